// Relationships against the tabular method over an explicit A in double
// precision (diagonal 1 + F, predefined F included) on random pedigrees, and
// the edge cases of the listings, matrices and averages.
#include "genetics/relationship.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analyses/relationship_averages.h"
#include "analyses/relationship_commands.h"
#include "analyses/relationship_listings.h"
#include "analyses/relationship_matrices.h"
#include "report/number_format.h"
#include "support/random_pedigree.h"
#include "support/scripted_platform.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

std::unique_ptr<Pedigree> Load(const std::string& text) {
  auto ped = test::Loaded(text);
  EXPECT_TRUE(ped->copyFile.Create());
  EnsureCodeOrder(*ped);
  return ped;
}

// The relationship of the individuals with codes i + 1 and j + 1 in the
// tabular A, or of two records.
double R(const DenseMatrix& a, std::size_t i, std::size_t j, bool coefficient) {
  return coefficient ? a(i, j) / std::sqrt(a(i, i) * a(j, j)) : a(i, j);
}
double R(const DenseMatrix& a, const Pedigree& ped, RecIndex x, RecIndex y, bool coefficient) {
  return R(a, static_cast<std::size_t>(ped.rec(x).code - 1), static_cast<std::size_t>(ped.rec(y).code - 1),
           coefficient);
}

// A command's surroundings, as the document gives them.
struct Harness {
  explicit Harness(const std::string& text) : ped(Load(text)) {}
  CommandContext Context() { return {*ped, platform, lastCommand, askInputs, remembered, path}; }
  std::vector<std::string> Report() const { return test::ReportLines(*ped); }
  std::vector<std::string> CopyFile() const {
    std::vector<std::string> lines;
    ped->copyFile.ForEachLine([&](std::string_view l) {
      lines.emplace_back(l);
      return true;
    });
    return lines;
  }
  std::unique_ptr<Pedigree> ped;
  test::ScriptedPlatform platform;
  std::int32_t lastCommand = 0;
  bool askInputs = true;
  RememberedInputs remembered;
  std::string path = "x.pdg";
};

std::vector<std::string> Split(const std::string& line, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = line.find(separator, start)) != std::string::npos;
       start = at + separator.size())
    parts.push_back(line.substr(start, at - start));
  parts.push_back(line.substr(start));
  return parts;
}

struct Pair { std::string first, second; double value; };

// The pairs of a listing: every line after the four heading lines.
std::vector<Pair> ListedPairs(const std::vector<std::string>& report) {
  std::vector<Pair> pairs;
  for (std::size_t i = 4; i < report.size() && !report[i].empty(); ++i) {
    const auto parts = Split(report[i], "|T1");
    pairs.push_back({parts[0], parts[1], std::stod(parts[2].substr(2))});
  }
  return pairs;
}

// The table a report keeps beside its lines `first` on: a row per line,
// its keys (IDs or groups) the line's fields, its value the number the line
// shows (six decimals) at full precision.
void ExpectTableIsTheLines(const Pedigree& ped, const char* name, std::size_t first, const std::string& where) {
  const std::vector<std::string> lines = test::ReportLines(ped);
  const ResultTable* table = ped.report.tables().Find(name);
  ASSERT_NE(table, nullptr) << name << ", " << where;
  std::size_t end = first;
  while (end < lines.size() && !lines[end].empty()) ++end;
  ASSERT_EQ(table->rows(), end - first) << name << ", " << where;
  const std::size_t keys = table->columns().size() - 1;
  for (std::size_t r = 0; r < table->rows(); ++r) {
    const std::vector<std::string> fields = Split(lines[first + r], "|");  // "A", "T1B", "T1", "I0.5"
    for (std::size_t c = 0; c < keys; ++c) {
      const TableColumn& key = table->column(c);
      EXPECT_EQ(c == 0 ? fields[0] : fields[c].substr(2),
                key.IsText() ? std::string(key.Text(r)) : std::to_string(key.Integer(r)))
          << name << ", " << where;
    }
    EXPECT_NEAR(std::stod(fields.back().substr(1)), table->column(keys).Real(r), 5.1e-7) << name << ", " << where;
  }
}

// The listed pairs are exactly the candidates in range, in order, each within
// 1e-5 of the tabular value; candidates within 1e-5 of a bound may go either
// way and are left out of both.
testing::AssertionResult SamePairs(const std::vector<Pair>& listed,
                                   const std::vector<Pair>& candidates, double low, double high) {
  std::set<std::pair<std::string, std::string>> borderline;
  std::vector<Pair> expected;
  for (const Pair& c : candidates) {
    if (std::abs(c.value - low) < 1e-5 || std::abs(c.value - high) < 1e-5)
      borderline.insert({c.first, c.second});
    else if (low <= c.value && c.value <= high)
      expected.push_back(c);
  }
  std::vector<Pair> kept;
  for (const Pair& p : listed)
    if (!borderline.count({p.first, p.second})) kept.push_back(p);
  if (kept.size() != expected.size())
    return testing::AssertionFailure()
           << kept.size() << " pairs listed, " << expected.size() << " expected";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i].first != expected[i].first || kept[i].second != expected[i].second ||
        std::abs(kept[i].value - expected[i].value) > 1e-5)
      return testing::AssertionFailure()
             << "pair " << i << ": " << kept[i].first << " " << kept[i].second << " "
             << kept[i].value << ", expected " << expected[i].first << " " << expected[i].second
             << " " << expected[i].value;
  }
  return testing::AssertionSuccess();
}

struct RangeCase { const char* name; int type; float low, high; };
constexpr RangeCase kRanges[] = {
    {"all numerator", 1, 0.0f, 2.0f},
    {"coefficient band", 0, 0.25f, 0.6f},
    {"numerator band", 1, 0.3f, 1.1f},
};

// Each column of the kernel is the tabular A's, its diagonal 1 + F.
void ExpectColumnsMatch(const Pedigree& ped, const DenseMatrix& a, const std::string& where) {
  const std::int32_t n = ped.nTotal;
  KernelPedigree kp = WholePedigreeKernel(ped, ped.d, n);
  for (std::int32_t c = 1; c <= n; ++c) {
    ComputeColumn(kp, c, n);
    const Rec& rc = ped.byCode(c - 1);
    EXPECT_NEAR(kp.at(c), 1.0f + rc.f, 1e-5) << where << " " << rc.id;
    for (std::int32_t k = 1; k <= n; ++k) ASSERT_NEAR(kp.at(k), R(a, c - 1, k - 1, false), 1e-5) << where;
    ClearWork(kp, n);
  }
  // The pair query reads the same column.
  const RecIndex x = ped.records.back(), y = ped.records.front();
  EXPECT_NEAR(PairRelationship(ped, ped.d, x, y), R(a, ped, x, y, false), 1e-5) << where;
}

// Columns side by side, in any grouping, against the one-column kernel.
template <int W>
void ExpectBlocksGiveTheOneColumnBits(std::uint64_t seed) {
  test::RandomPedigreeOptions o = test::VariedOptions(seed, 200);
  o.fColumn = seed % 3 == 0;  // predefined F, so some d are negative
  const auto ped = Load(test::MakeRandomPedigree(o).text);
  const std::int32_t n = ped->nTotal;
  KernelPedigree kp = WholePedigreeKernel(*ped, ped->d, n);
  std::vector<float> block(static_cast<std::size_t>(n + 1) * W, 0.0f);
  for (std::int32_t first = 1; first <= n; first += W - 1) {  // blocks overlap
    std::vector<std::int32_t> columns;
    for (std::int32_t c = first; c <= n && static_cast<int>(columns.size()) < W; ++c) {
      columns.push_back(n + first - c);
    }
    const std::int32_t last = std::max(1, n - first);
    ComputeColumns<W>(kp, columns, last, block.data());
    for (std::size_t l = 0; l < columns.size(); ++l) {
      ComputeColumn(kp, columns[l], last);
      for (std::int32_t k = 0; k <= last; ++k) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(block[static_cast<std::size_t>(k) * W + l]),
                  std::bit_cast<std::uint32_t>(kp.at(k)))
            << "seed " << seed << ", width " << W << ", column " << columns[l] << ", k " << k;
      }
      ClearWork(kp, n);
    }
    std::fill(block.begin(), block.end(), 0.0f);
  }
}

TEST(RelationshipKernel, BlocksOfColumnsGiveTheOneColumnBits) {
  for (std::uint64_t seed = 1; seed <= 100; ++seed) {
    ExpectBlocksGiveTheOneColumnBits<4>(seed);
    ExpectBlocksGiveTheOneColumnBits<8>(seed);
    ExpectBlocksGiveTheOneColumnBits<16>(seed);
  }
}

// The pairs a listing considers, with their tabular values: each of `xs`
// with each of `ys`, or with only the earlier ones when `triangle`.
std::vector<Pair> Candidates(const Pedigree& ped, const DenseMatrix& a, bool coefficient,
                             const std::vector<RecIndex>& xs, const std::vector<RecIndex>& ys, bool triangle) {
  std::vector<Pair> pairs;
  for (std::size_t p = 0; p < xs.size(); ++p)
    for (std::size_t q = 0; q < (triangle ? p : ys.size()); ++q)
      pairs.push_back({ped.rec(xs[p]).id, ped.rec(ys[q]).id, R(a, ped, xs[p], ys[q], coefficient)});
  return pairs;
}

// The first two groups of a pedigree and their members.
struct TwoGroups { int g0, g1; std::vector<RecIndex> m0, m1; };
TwoGroups FirstTwoGroups(const Pedigree& ped) {
  const int g0 = ped.groups[0].group, g1 = ped.groups[1].group;
  return {g0, g1, GroupMembers(ped, g0), GroupMembers(ped, g1)};
}

void ExpectListingsMatch(Harness& h, const DenseMatrix& a, const RangeCase& range, const std::string& where) {
  Pedigree& ped = *h.ped;
  ped.settings = {range.low, range.high, range.type, 0, 0, 7};  // six decimals
  const bool coefficient = range.type == 0;
  SilentProgressWindow window;
  Progress progress(window);
  const std::vector<RecIndex> all(ped.records.begin(), ped.records.begin() + ped.nTotal);
  ASSERT_EQ(ListBetweenAll(ped, h.platform, progress), ListingEnd::kDone) << where;
  EXPECT_TRUE(SamePairs(ListedPairs(h.Report()), Candidates(ped, a, coefficient, all, all, true), range.low,
                        range.high))
      << where;
  EXPECT_EQ(h.CopyFile(), h.Report()) << where;
  ExpectTableIsTheLines(ped, "pairs", 4, where);

  if (ped.groups.size() < 2) return;
  const auto [g0, g1, m0, m1] = FirstTwoGroups(ped);
  if (m0.size() >= 2) {
    ASSERT_EQ(ListWithinGroup(ped, h.platform, progress, g0, m0), ListingEnd::kDone) << where;
    EXPECT_TRUE(SamePairs(ListedPairs(h.Report()), Candidates(ped, a, coefficient, m0, m0, true), range.low,
                          range.high))
        << where;
    ExpectTableIsTheLines(ped, "pairs", 4, where);
  }
  const bool swap = m1.size() < m0.size();
  const std::vector<RecIndex>& x = swap ? m1 : m0;
  const std::vector<RecIndex>& y = swap ? m0 : m1;
  ASSERT_EQ(ListBetweenGroups(ped, h.platform, progress, g0, m0, g1, m1), ListingEnd::kDone) << where;
  const std::vector<Pair> listed = ListedPairs(h.Report());
  EXPECT_TRUE(SamePairs(listed, Candidates(ped, a, coefficient, x, y, false), range.low, range.high)) << where;
  ExpectTableIsTheLines(ped, "pairs", 4, where);
  EXPECT_EQ(h.Report()[0], "Between group " + std::to_string(swap ? g1 : g0) + " and group " +
                               std::to_string(swap ? g0 : g1) + ".");
  if (range.type != 1 || range.low != 0.0f) return;
  // Every pair is listed, with the values of one-column passes.
  std::vector<RecIndex> seeds(x);
  seeds.insert(seeds.end(), y.begin(), y.end());
  AncestorSubset subset = BuildAncestorSubset(ped, seeds);
  KernelPedigree& kp = subset.kernel;
  ASSERT_EQ(listed.size(), x.size() * y.size()) << where;
  for (std::size_t i = 0; i < x.size(); ++i) {
    ComputeColumn(kp, subset.LocalOf(ped.rec(x[i])), kp.size());
    for (std::size_t j = 0; j < y.size(); ++j)
      EXPECT_EQ(listed[i * y.size() + j].value,
                std::stod(FormatNumber(7, kp.at(subset.LocalOf(ped.rec(y[j]))))))
          << where;
    ClearWork(kp, kp.size());
  }
}

// A written matrix: the label's ID and the values of each row.
struct MatrixRow { std::string id; std::vector<double> values; };

std::vector<MatrixRow> WrittenMatrix(const std::function<void(OutputFile&)>& write,
                                     std::size_t headingLines) {
  std::istringstream in(test::WrittenBy(write));
  std::vector<MatrixRow> rows;
  std::string line;
  for (std::size_t i = 0; std::getline(in, line); ++i) {
    if (i < headingLines) continue;
    MatrixRow row{line.substr(0, line.find(',')), {}};
    auto values = Split(line.substr(34), ", ");
    values.pop_back();  // after the last ", "
    for (const std::string& v : values) row.values.push_back(std::stod(v));
    rows.push_back(row);
  }
  return rows;
}

void ExpectMatricesMatch(Harness& h, const DenseMatrix& a, int type, const std::string& where) {
  Pedigree& ped = *h.ped;
  ped.settings.relationshipType = type;
  ped.settings.numberFormat = 7;  // six decimals
  const bool coefficient = type == 0;
  const auto all = WrittenMatrix([&](OutputFile& f) { WriteMatrixAll(ped, f); }, 2);
  ASSERT_EQ(all.size(), static_cast<std::size_t>(ped.nTotal)) << where;
  for (std::size_t j = 0; j < all.size(); ++j) {
    EXPECT_EQ(all[j].id, ped.byCode(static_cast<std::int32_t>(j)).Id()) << where;
    for (std::size_t i = 0; i < all.size(); ++i) {
      EXPECT_NEAR(all[j].values[i], R(a, i, j, coefficient), 1e-5) << where;
      EXPECT_NEAR(all[j].values[i], all[i].values[j], 2e-6) << "symmetric, " << where;
    }
  }
  if (type == 1) {  // rows written in blocks hold the values of one-column passes
    KernelPedigree kp = WholePedigreeKernel(ped, ped.d, ped.nTotal);
    for (std::int32_t j = 1; j <= ped.nTotal; ++j) {
      ComputeColumn(kp, j, ped.nTotal);
      for (std::int32_t i = 1; i <= ped.nTotal; ++i) {
        EXPECT_EQ(all[static_cast<std::size_t>(j - 1)].values[static_cast<std::size_t>(i - 1)],
                  std::stod(FormatNumber(7, kp.at(i))))
            << where << ", row " << j << ", column " << i;
      }
      ClearWork(kp, ped.nTotal);
    }
  }
  if (ped.groups.size() < 2) return;
  const auto [g0, g1, m0, m1] = FirstTwoGroups(ped);
  const auto within = WrittenMatrix([&](OutputFile& f) { WriteMatrixWithinGroup(ped, g0, m0, f); }, 2);
  for (std::size_t p = 0; p < m0.size(); ++p)
    for (std::size_t i = 0; i < m0.size(); ++i)
      EXPECT_NEAR(within[p].values[i], R(a, ped, m0[p], m0[i], coefficient), 1e-5) << where;
  const bool swap = m1.size() > m0.size();
  const std::vector<RecIndex>& rows = swap ? m1 : m0;
  const std::vector<RecIndex>& columns = swap ? m0 : m1;
  const auto between =
      WrittenMatrix([&](OutputFile& f) { WriteMatrixBetweenGroups(ped, g0, m0, g1, m1, f); }, 4);
  ASSERT_EQ(between.size(), rows.size()) << where;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < columns.size(); ++c)
      EXPECT_NEAR(between[r].values[c], R(a, ped, rows[r], columns[c], coefficient), 1e-5) << where;
}

void ExpectAveragesMatch(Harness& h, const DenseMatrix& a, const std::string& where) {
  Pedigree& ped = *h.ped;
  ped.settings.numberFormat = 7;  // six decimals
  ReportAverageRelatedness(ped);
  auto report = h.Report();
  ASSERT_EQ(report.size(), static_cast<std::size_t>(ped.nTotal) + 2) << where;
  for (std::size_t k = 0; k < a.n; ++k) {
    double sum = 0;
    for (std::size_t j = 0; j < a.n; ++j) sum += a(k, j);
    const auto parts = Split(report[k + 2], "|T1|I");
    EXPECT_EQ(parts[0], ped.byCode(static_cast<std::int32_t>(k)).Id()) << where;
    EXPECT_NEAR(std::stod(parts[1]), sum / ped.nTotal, 1e-5) << where;
  }
  ExpectTableIsTheLines(ped, "average_relatedness", 2, where);

  SilentProgressWindow window;
  Progress progress(window);
  ASSERT_TRUE(ReportAverageBetweenGroups(ped, progress)) << where;
  report = h.Report();
  std::size_t line = 2;
  for (std::size_t g = 0; g < ped.groups.size(); ++g)
    for (std::size_t hh = 0; hh <= g; ++hh, ++line) {
      double sum = 0;
      for (const RecIndex i : GroupMembers(ped, ped.groups[g].group))
        for (const RecIndex j : GroupMembers(ped, ped.groups[hh].group)) sum += R(a, ped, i, j, false);
      const auto parts = Split(report[line], "|T7");
      EXPECT_EQ(parts[0] + " " + parts[1],
                std::to_string(ped.groups[g].group) + " " + std::to_string(ped.groups[hh].group));
      EXPECT_NEAR(std::stod(parts[2].substr(2)), sum / (ped.groups[g].count * ped.groups[hh].count), 1e-5)
          << where;
    }
  EXPECT_EQ(line, report.size()) << where;
  ExpectTableIsTheLines(ped, "group_averages", 2, where);
}

// The kernel's columns, listings, matrices and averages, and the tables of
// the listings and averages, over the same grouped random pedigrees.
TEST(Relationships, KernelListingsMatricesAndAveragesMatchTheTabularMethod) {
  for (std::uint64_t seed = 1; seed <= 150; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 150);
    o.groupColumn = true;
    Harness h(test::MakeRandomPedigree(o).text);
    const DenseMatrix a = test::TabularA(*h.ped);
    const std::string where = "seed " + std::to_string(seed);
    ExpectColumnsMatch(*h.ped, a, "kernel columns, " + where);
    if (seed > 100) continue;
    ExpectAveragesMatch(h, a, "averages, " + where);
    if (seed > 60) continue;
    for (const RangeCase& range : kRanges) ExpectListingsMatch(h, a, range, where + ", " + range.name);
    for (const int type : {0, 1})
      ExpectMatricesMatch(h, a, type, "matrices, " + where + ", type " + std::to_string(type));
  }
}

// Founders A, B, C; full sibs D and E (A x B), F (A x C); G (D x E) has F 1/4.
constexpr const char* kSibs = "progeny sire dam\nA 0 0\nB 0 0\nC 0 0\nD A B\nE A B\nF A C\nG D E\n";

TEST(PairRelationship, WorkedCases) {
  struct Row { const char* name; const char* x; const char* y; float numerator; float coefficient; };
  const Row rows[] = {
      {"unrelated founders", "A", "B", 0.0f, 0.0f},
      {"parent and offspring", "A", "D", 0.5f, 0.5f},
      {"full sibs", "D", "E", 0.5f, 0.5f},
      {"half sibs", "D", "F", 0.25f, 0.25f},
      {"the same inbred individual twice", "G", "G", 1.25f, 1.0f},
      {"inbred individual and its sire", "G", "D", 0.75f, 0.67082f},
      {"the larger code is the column either way", "D", "G", 0.75f, 0.67082f},
  };
  const auto ped = Load(kSibs);
  for (const Row& row : rows) {
    std::string x = row.x, y = row.y;
    const Rec& rx = ped->rec(FindTypedId(*ped, x));
    const Rec& ry = ped->rec(FindTypedId(*ped, y));
    const float a = PairRelationship(*ped, ped->d, FindTypedId(*ped, x), FindTypedId(*ped, y));
    EXPECT_EQ(a, row.numerator) << row.name;
    EXPECT_NEAR(RelationshipCoefficient(a, rx.f, ry.f), row.coefficient, 1e-5) << row.name;
  }
}

using Handler = void (*)(CommandContext&);

struct ListingCase {
  const char* name;
  const char* text;
  Handler run;
  std::optional<int> group;                   // the one-group picker's choice
  std::optional<std::pair<int, int>> groups;  // the two-groups picker's choice
  float low, high;
  std::vector<std::string> report;
};

TEST(RelationshipCommands, WriteTheReportOfEachCase) {
  const char* abc = "progeny sire dam group\nA 0 0 1\nB 0 0 2\nC A B 2\n";
  const std::string relatedness[] = {
      "Individual ID|T1Average relatedness (based on the numerator relationships)", "----------|T1----------"};
  const std::string averages[] = {"Group no.|T7Group no.|T7Average numerator relationships",
                                  "----------|T7----------|T7----------"};
  const std::string range02 = "Relationships in the range of |X0 |A- |X2 |Aare shown.";
  const std::string header = "Individual ID|T1Individual ID|T1Numerator relationship";
  const std::string dashes = "----------|T1----------|T1----------";
  // G (generation 2, D x C) is listed before E (generation 1, A x H).
  const char* generations =
      "progeny sire dam group\nA 0 0 .\nB 0 0 .\nC 0 0 .\nH 0 0 .\n"
      "D A B .\nG D C 4\nE A H 4\n";
  const char* groups =
      "progeny sire dam group\nA 0 0 3\nB 0 0 3\nC A B 3\nD A B 1\nE 0 0 5\nF 0 0 5\n";
  const char* twoFounders = "progeny sire dam\nA 0 0\nB 0 0\n";
  const char* equalGroups = "progeny sire dam group\nA 0 0 1\nD 0 0 1\nE 0 0 5\nF 0 0 5\n";
  const ListingCase cases[] = {
      {"unrelated founders, 0 is in range", twoFounders, OnBetweenAllIndividuals, {}, {}, 0.0f, 2.0f,
       {"Between all individuals.", range02, header, dashes, "B|T1A|T1|I0"}},
      {"no pair in range", twoFounders, OnBetweenAllIndividuals, {}, {}, 0.1f, 2.0f,
       {"Between all individuals.", "Relationships in the range of |X0.1 |A- |X2 |Aare shown.",
        header, dashes, "", "|XThere is no relationship between 0.1 and 2."}},
      {"only the half sibs (and G with F) at 0.25", kSibs, OnBetweenAllIndividuals, {}, {}, 0.25f, 0.25f,
       {"Between all individuals.", "Relationships in the range of |X0.25 |A- |X0.25 |Aare shown.",
        header, dashes, "F|T1D|T1|I0.25", "F|T1E|T1|I0.25", "G|T1F|T1|I0.25"}},
      {"grandchild listed before a generation-1 member", generations, OnWithinAGroup, 4, {}, 0.0f, 2.0f,
       {"Within group 4.", range02, header, dashes, "E|T1G|T1|I0.125"}},
      {"group of one member", groups, OnWithinAGroup, 1, {}, 0.0f, 2.0f,
       {"|XError: |ANumber of individuals is less than 2 in the group 1."}},
      {"smaller group first", groups, OnBetweenTwoGroups, {}, std::pair{3, 1}, 0.0f, 2.0f,
       {"Between group 1 and group 3.", range02, "Group 1|T1Group 3|T1Numerator relationship",
        dashes, "D|T1A|T1|I0.5", "D|T1B|T1|I0.5", "D|T1C|T1|I0.5"}},
      {"equal groups: the first chosen first", equalGroups, OnBetweenTwoGroups, {}, std::pair{5, 1}, 0.0f, 2.0f,
       {"Between group 5 and group 1.", range02, "Group 5|T1Group 1|T1Numerator relationship",
        dashes, "E|T1A|T1|I0", "E|T1D|T1|I0", "F|T1A|T1|I0", "F|T1D|T1|I0"}},
      {"relatedness of two founders and their offspring", abc, OnAverageRelatedness, {}, {}, 0.0f, 2.0f,
       {relatedness[0], relatedness[1], "A|T1|I0.5", "B|T1|I0.5", "C|T1|I0.666667"}},
      {"relatedness of a single individual", "progeny sire dam\nA 0 0\n", OnAverageRelatedness, {}, {},
       0.0f, 2.0f, {relatedness[0], relatedness[1], "A|T1|I1"}},
      {"group averages with the diagonal", abc, OnAverageBetweenGroups, {}, {}, 0.0f, 2.0f,
       {averages[0], averages[1], "1|T71|T7|I1", "2|T71|T7|I0.25", "2|T72|T7|I0.75"}},
      {"a group of one inbred individual",
       "progeny sire dam group\nA 0 0 .\nB 0 0 .\nC A B .\nD A B .\nE C D 3\n", OnAverageBetweenGroups, {},
       {}, 0.0f, 2.0f, {averages[0], averages[1], "3|T73|T7|I1.25"}},
      {"groups in table order, named by number", "progeny sire dam group\nA 0 0 7\nB 0 0 2\nC A B 2\n",
       OnAverageBetweenGroups, {}, {}, 0.0f, 2.0f,
       {averages[0], averages[1], "7|T77|T7|I1", "2|T77|T7|I0.25", "2|T72|T7|I0.75"}},
  };
  for (const ListingCase& c : cases) {
    Harness h(c.text);
    h.ped->settings.relationshipLower = c.low;
    h.ped->settings.relationshipUpper = c.high;
    if (c.group) h.platform.groupChoices.push_back(*c.group);
    if (c.groups) h.platform.groupPairs.push_back(*c.groups);
    CommandContext ctx = h.Context();
    c.run(ctx);
    EXPECT_EQ(h.Report(), c.report) << c.name;
    if (c.report.size() > 1) {
      EXPECT_EQ(h.CopyFile(), c.report) << c.name;
    }
    EXPECT_EQ(h.platform.messages.size(), 0u) << c.name;
  }
}

// Averages between groups list a line per pair of groups: above the limit
// of groups the command refuses before computing anything, naming the limit
// and the number of groups; at the limit it lists every pair.
TEST(RelationshipCommands, AverageBetweenGroupsRefusesMoreGroupsThanTheLimit) {
  struct Row {
    const char* name;
    std::int64_t groups;
    std::vector<std::string> firstLines;
    std::int32_t lastCommand;
  };
  const Row rows[] = {
      {"one more than the limit", kMaxAveragedGroups + 1,
       {"|XError: |AThere are 2001 groups; averages between groups are listed for at most 2000 groups."},
       0},
      {"at the limit", kMaxAveragedGroups,
       {"Group no.|T7Group no.|T7Average numerator relationships", "----------|T7----------|T7----------"},
       kCmdAverageBetweenGroups},
  };
  for (const Row& row : rows) {
    std::string text = "progeny sire dam group\n";
    for (std::int64_t g = 1; g <= row.groups; ++g)
      text += "I" + std::to_string(g) + " 0 0 " + std::to_string(g) + "\n";
    Harness h(text);
    CommandContext ctx = h.Context();
    OnAverageBetweenGroups(ctx);
    std::vector<std::string> report = h.Report();
    report.resize(std::min(report.size(), row.firstLines.size()));
    EXPECT_EQ(report, row.firstLines) << row.name;
    EXPECT_EQ(h.lastCommand, row.lastCommand) << row.name;
    const ResultTable* table = h.ped->report.tables().Find("group_averages");
    const std::int64_t pairs = row.lastCommand == 0 ? 0 : row.groups * (row.groups + 1) / 2;
    EXPECT_EQ(table == nullptr ? 0 : static_cast<std::int64_t>(table->rows()), pairs) << row.name;
    EXPECT_TRUE(h.platform.messages.empty()) << row.name;
  }
}

TEST(RelationshipCommands, CapStopsAfterTwoMillionPairsWithTheMessageInTheCopyFile) {
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < 2001; ++i)
    text.append("I").append(std::to_string(i)).append(" 0 0\n");  // 2001000 pairs
  Harness h(text);
  CommandContext ctx = h.Context();
  OnBetweenAllIndividuals(ctx);
  const std::string message =
      "Not all relationships were listed!\nThe number of pairwise relationships, which are "
      "between 0 "
      "and 2, should not be more than 2000000.\n";
  EXPECT_EQ(h.platform.MessageTexts(), std::vector<std::string>{message});
  const std::vector<std::string> copy = h.CopyFile();
  ASSERT_EQ(copy.size(), 4u + 2000000u + 3u);
  EXPECT_EQ(std::vector<std::string>(copy.end() - 4, copy.end()),
            (std::vector<std::string>{
                std::string(h.ped->byCode(2000).id) + "|T1" + h.ped->byCode(999).id + "|T1|I0",
                "Not all relationships were listed!",
                "The number of pairwise relationships, which are between 0 and 2, "
                "should not be more than 2000000.",
                ""}));
  EXPECT_EQ(h.lastCommand, kCmdBetweenAll);
  EXPECT_EQ(h.ped->report.Count(), ReportStore::kSlots);
}

TEST(RelationshipCommands, CancelLeavesTheCancelLineAnEmptyCopyFileAndNoTable) {
  for (const Handler run :
       {OnBetweenAllIndividuals, OnWithinAGroup, OnBetweenTwoGroups, OnAverageBetweenGroups}) {
    Harness h("progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A B 2\n");
    h.ped->copyFile.WriteLine("an earlier report");
    h.platform.groupChoices.push_back(1);
    h.platform.groupPairs.push_back(std::pair{1, 2});
    h.platform.cancelAtPoll = 1;
    CommandContext ctx = h.Context();
    run(ctx);
    EXPECT_EQ(h.Report(), std::vector<std::string>{kCanceledLine});
    EXPECT_EQ(h.CopyFile(), std::vector<std::string>{});
    EXPECT_EQ(h.lastCommand, 0);
    EXPECT_TRUE(h.ped->report.tables().empty());
  }
}

TEST(RelationshipCommands, ReRunReusesTheRememberedGroupsWithoutAsking) {
  Harness h("progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A B 2\n");
  h.remembered.values.Set(kCmdBetweenTwoGroups, "group1", "2");
  h.remembered.values.Set(kCmdBetweenTwoGroups, "group2", "1");
  h.askInputs = false;
  CommandContext ctx = h.Context();
  OnBetweenTwoGroups(ctx);
  EXPECT_EQ(h.Report()[0], "Between group 2 and group 1.");
  EXPECT_TRUE(h.askInputs);
  EXPECT_TRUE(h.platform.pickerCaptions.empty());
  OnWithinAGroup(ctx);  // asks now; the script is empty, so it is cancelled
  EXPECT_EQ(h.platform.pickerCaptions, std::vector<std::string>{"Relationships within a group"});
  EXPECT_EQ(h.lastCommand, kCmdBetweenTwoGroups);
}

TEST(RelationshipMatrices, ExactBytes) {
  Harness h("progeny sire dam group\nA 0 0 1\nB 0 0 2\nC A B 2\n");
  const auto& bytes = test::WrittenBy;
  Pedigree& ped = *h.ped;
  EXPECT_EQ(bytes([&](OutputFile& f) { WriteMatrixAll(ped, f); }),
            "Numerator relationship matrix:\n"
            "Individual ID         Individual code\n"
            "A,                    1,          1, 0, 0.5, \n"
            "B,                    2,          0, 1, 0.5, \n"
            "C,                    3,          0.5, 0.5, 1, \n");
  ped.settings.relationshipType = 0;
  ped.settings.numberFormat = 0;
  EXPECT_EQ(bytes([&](OutputFile& f) {
              WriteMatrixBetweenGroups(ped, 1, GroupMembers(ped, 1), 2, GroupMembers(ped, 2), f);
            }),
            "Relationship coefficient matrix between group 2 and group 1\n"
            "Individual ID         Individual code\n"
            ",                     ,           A, \n"
            ",                     ,           1, \n"
            "B,                    2,          0, \n"
            "C,                    3,          1/2, \n");
  EXPECT_EQ(bytes([&](OutputFile& f) { WriteMatrixWithinGroup(ped, 2, GroupMembers(ped, 2), f); }),
            "Relationship coefficient matrix for group 2\n"
            "Individual ID         Individual code\n"
            "B,                    2,          1, 1/2, \n"
            "C,                    3,          1/2, 1, \n");
}

}  // namespace
}  // namespace kinvar
