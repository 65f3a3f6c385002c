// Metafounders against A^Gamma built in the test by the tabular method over
// the augmented pedigree (metafounders first, their block Gamma): F,
// relationships and the inverse, on hand pedigrees and many random ones;
// and the refusals of the Gamma file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"
#include "genetics/metafounders.h"
#include "genetics/relationship.h"
#include "pedigree/metafounders.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

// Individuals I1..In, parents earlier; a parent is -1 (unknown), 0..g-1 (a
// metafounder) or g + k (individual I(k+1)).
struct MfPedigree {
  int g = 0;
  std::vector<double> gamma;  // g x g, the values as the file writes them
  std::vector<std::array<int, 2>> parents;
  std::vector<std::optional<double>> f;  // predefined F
  bool fColumn = false;

  std::string Name(int parent) const {
    if (parent < 0) return "0";
    if (parent < g) return "MF" + std::to_string(parent + 1);
    return "I" + std::to_string(parent - g + 1);
  }
  std::string Text() const {
    std::string text = fColumn ? "Progeny Sire Dam F\n" : "Progeny Sire Dam\n";
    for (std::size_t i = 0; i < parents.size(); ++i) {
      text += "I" + std::to_string(i + 1) + " " + Name(parents[i][0]) + " " + Name(parents[i][1]);
      if (fColumn) text += f[i] ? " " + std::to_string(*f[i]) : std::string(" .");
      text += "\n";
    }
    return text;
  }
  std::string GammaText() const {
    std::string text = "# metafounders\n\n";
    char value[64];
    for (int i = 0; i < g; ++i)
      for (int j = 0; j <= i; ++j) {
        if (i != j && gamma[static_cast<std::size_t>(i * g + j)] == 0.0) continue;  // missing is 0
        std::snprintf(value, sizeof value, "%.9g", gamma[static_cast<std::size_t>(i * g + j)]);
        text += Name(i) + " " + Name(j) + " " + value + "\n";
      }
    return text;
  }
};

// The tabular method over the augmented pedigree.
DenseMatrix AugmentedA(const MfPedigree& p) {
  const auto g = static_cast<std::size_t>(p.g);
  const std::size_t m = g + p.parents.size();
  DenseMatrix a{m, std::vector<double>(m * m, 0.0)};
  for (std::size_t i = 0; i < g; ++i)
    for (std::size_t j = 0; j < g; ++j) a(i, j) = p.gamma[i * g + j];
  const auto at = [&](int x, std::size_t y) { return x < 0 ? 0.0 : a(static_cast<std::size_t>(x), y); };
  for (std::size_t k = 0; k < p.parents.size(); ++k) {
    const std::size_t i = g + k;
    const auto [s, d] = p.parents[k];
    for (std::size_t j = 0; j < i; ++j) a(i, j) = a(j, i) = 0.5 * (at(s, j) + at(d, j));
    const double fromParents = s < 0 || d < 0 ? 0.0 : 0.5 * a(static_cast<std::size_t>(s), static_cast<std::size_t>(d));
    a(i, i) = 1.0 + (p.f[k] ? *p.f[k] : fromParents);
  }
  return a;
}

// Random Gamma = B B' / g + e I, with the six decimals the file gives, so
// that double precision is checked against the values as written.
std::vector<double> RandomGamma(std::mt19937& random, int g, double ridge) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> b(static_cast<std::size_t>(g * g));
  for (double& x : b) x = u(random);
  std::vector<double> gamma(static_cast<std::size_t>(g * g));
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j) {
      double sum = i == j ? ridge : 0.0;
      for (int k = 0; k < g; ++k) sum += b[static_cast<std::size_t>(i * g + k)] * b[static_cast<std::size_t>(j * g + k)] / g;
      char text[64];
      std::snprintf(text, sizeof text, "%.6f", sum);
      gamma[static_cast<std::size_t>(i * g + j)] = std::stod(text);
    }
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < i; ++j) gamma[static_cast<std::size_t>(j * g + i)] = gamma[static_cast<std::size_t>(i * g + j)];
  return gamma;
}

// `g` metafounders, or 2 to 4 when 0.
MfPedigree RandomMf(std::uint32_t seed, int size, bool fColumn, int g = 0) {
  std::mt19937 random(seed);
  MfPedigree p;
  p.g = 2 + static_cast<int>(random() % 3);
  if (g > 0) p.g = g;
  p.gamma = RandomGamma(random, p.g, 0.05);
  p.fColumn = fColumn;
  for (int i = 0; i < size; ++i) {
    std::array<int, 2> parents{};
    for (int role = 0; role < 2; ++role) {
      const int kind = static_cast<int>(random() % 10);
      if (i > 2 && kind < 6) {
        const int low = std::max(0, i - 10);
        // Sires are odd individuals, dams even ones, as a parent has one sex.
        int k = low + static_cast<int>(random() % static_cast<unsigned>(i - low));
        if (k % 2 != role) --k;
        parents[static_cast<std::size_t>(role)] = k < 0 ? -1 : p.g + k;
      } else {
        parents[static_cast<std::size_t>(role)] = kind == 9 ? -1 : static_cast<int>(random() % static_cast<unsigned>(p.g));
      }
    }
    p.parents.push_back(parents);
    p.f.push_back(fColumn && random() % 8 == 0 ? std::optional<double>((random() % 40) / 100.0) : std::nullopt);
  }
  // Full sibs share a predefined F or none.
  for (std::size_t i = 0; i < p.parents.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (p.parents[i] == p.parents[j] && p.parents[i][0] >= p.g && p.parents[i][1] >= p.g) p.f[i] = p.f[j];
  return p;
}

std::unique_ptr<Pedigree> LoadMf(const MfPedigree& p, bool doublePrecision = false,
                                 const InbreedingOptions* options = nullptr) {
  auto ped = std::make_unique<Pedigree>();
  test::TempFile file(p.GammaText(), ".txt");
  EXPECT_EQ(ReadMetafounders(file.path(), ped->geneticGroups), "");
  const LoadOutcome outcome = test::LoadText(p.Text(), *ped);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message;
  if (outcome.status != LoadStatus::kLoaded) {
    for (const std::string& line : test::ReportLines(*ped)) ADD_FAILURE() << line;
    return ped;
  }
  SilentProgressWindow window;
  Progress progress(window);
  InbreedingOptions o = options ? *options : InbreedingOptions{};
  o.doublePrecision = doublePrecision;
  EXPECT_TRUE(ComputeInbreeding(*ped, progress, o));
  return ped;
}

// The augmented index of each code's individual (code k + 1 at k).
std::vector<std::size_t> AugmentedIndexByCode(const Pedigree& ped, int g) {
  std::vector<std::size_t> index;
  for (std::int32_t k = 0; k < ped.nTotal; ++k)
    index.push_back(static_cast<std::size_t>(g) + std::stoul(std::string(ped.byCode(k).Id()).substr(1)) - 1);
  return index;
}

void ExpectFAndRelationships(const MfPedigree& p, const Pedigree& ped, double tolerance,
                             const std::string& name) {
  const DenseMatrix a = AugmentedA(p);
  const std::vector<std::size_t> aug = AugmentedIndexByCode(ped, p.g);
  for (std::int32_t k = 0; k < ped.nTotal; ++k) {
    const Rec& r = ped.byCode(k);
    EXPECT_NEAR(FOfRecord(ped, r), a(aug[static_cast<std::size_t>(k)], aug[static_cast<std::size_t>(k)]) - 1.0, tolerance)
        << name << " F of " << r.Id();
  }
  for (std::int32_t x = 0; x < ped.nTotal; x += 3)
    for (std::int32_t y = x; y < ped.nTotal; y += 2) {
      const RecIndex rx = ped.records[static_cast<std::size_t>(x)], ry = ped.records[static_cast<std::size_t>(y)];
      const double got = ped.InDouble() ? PairRelationship(ped, ped.dDouble, rx, ry)
                                        : static_cast<double>(PairRelationship(ped, ped.d, rx, ry));
      EXPECT_NEAR(got, a(aug[static_cast<std::size_t>(x)], aug[static_cast<std::size_t>(y)]), tolerance)
          << name << " a(" << ped.rec(rx).Id() << ", " << ped.rec(ry).Id() << ")";
    }
}

// Kinvar's inverse against the inverse of the test's A^Gamma, the
// metafounders' rows after the individuals' in Kinvar's numbering.
template <class T>
void ExpectInverse(const MfPedigree& p, const Pedigree& ped, const BasicSparseLower<T>& inverse,
                   double tolerance, const std::string& name) {
  const DenseMatrix a = AugmentedA(p);
  const DenseMatrix expected = test::DenseInverse(a);
  std::vector<std::size_t> aug = AugmentedIndexByCode(ped, p.g);
  for (int k = 0; k < p.g; ++k) aug.push_back(static_cast<std::size_t>(k));
  ASSERT_EQ(inverse.n, static_cast<std::int32_t>(aug.size())) << name;
  const auto n = aug.size();
  double worst = 0.0, worstProduct = 0.0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j <= i; ++j) {
      const double got = static_cast<double>(inverse.At(static_cast<std::int32_t>(i), static_cast<std::int32_t>(j)));
      worst = std::max(worst, std::fabs(got - expected(aug[i], aug[j])));
    }
  // A^Gamma^-1 A^Gamma = I, row by row.
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < n; ++k) {
        const auto ik = static_cast<double>(k <= i ? inverse.At(static_cast<std::int32_t>(i), static_cast<std::int32_t>(k))
                                                   : inverse.At(static_cast<std::int32_t>(k), static_cast<std::int32_t>(i)));
        sum += ik * a(aug[k], aug[j]);
      }
      worstProduct = std::max(worstProduct, std::fabs(sum - (i == j ? 1.0 : 0.0)));
    }
  EXPECT_LT(worst, tolerance) << name;
  EXPECT_LT(worstProduct, tolerance) << name;
}

template <class T>
BasicSparseLower<T> BuildInverse(const Pedigree& ped, const std::vector<T>& d) {
  SilentProgressWindow window;
  Progress progress(window);
  BasicInverseBuild<T> build = BuildInverseWithGroups(ped, d, progress);
  EXPECT_EQ(build.status, BuildStatus::kDone);
  return std::move(build.matrix);
}

TEST(Metafounders, HandPedigrees) {
  struct Row {
    const char* name;
    std::vector<std::array<int, 2>> parents;
  };
  // Two metafounders (0, 1): Gamma = [0.4 0.1; 0.1 0.6].
  const Row rows[] = {
      {"BothParentsOneMetafounder", {{0, 0}}},
      {"TwoMetafounders", {{0, 1}, {1, 1}, {2, 3}}},
      {"OneUnknownParent", {{0, -1}, {0, 2}, {3, 1}}},
      {"FullSibsMated", {{0, 1}, {0, 1}, {2, 3}, {2, 3}, {4, 5}}},
      {"BackcrossToAMetafounder", {{0, 1}, {2, 1}, {3, 1}, {2, 4}}},
  };
  for (const Row& row : rows) {
    MfPedigree p;
    p.g = 2;
    p.gamma = {0.4, 0.1, 0.1, 0.6};
    p.parents = row.parents;
    p.f.assign(row.parents.size(), std::nullopt);
    const auto ped = LoadMf(p);
    ExpectFAndRelationships(p, *ped, 2e-6, row.name);
    ExpectInverse(p, *ped, BuildInverse(*ped, ped->d), 2e-4, row.name);
  }
}

TEST(Metafounders, FounderOfOneMetafounderHasHalfItsGamma) {
  MfPedigree p;
  p.g = 1;
  p.gamma = {0.3};
  p.parents = {{0, 0}};
  p.f = {std::nullopt};
  const auto ped = LoadMf(p);
  EXPECT_FLOAT_EQ(ped->byCode(0).f, 0.15f);
  EXPECT_EQ(ped->nInbreds, 1);
  // D = 1 - (0.3 + 0.3) / 4.
  EXPECT_FLOAT_EQ(ped->d[1], 0.85f);
}

TEST(Metafounders, RandomPedigreesAgainstTheTabularMethod) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const MfPedigree p = RandomMf(seed, 20 + static_cast<int>(seed % 5) * 10, seed % 3 == 0);
    const std::string name = "seed " + std::to_string(seed);
    const auto single = LoadMf(p);
    ExpectFAndRelationships(p, *single, 5e-5, name);
    ExpectInverse(p, *single, BuildInverse(*single, single->d), 5e-3, name);
    const auto twice = LoadMf(p, true);
    // A predefined F is read as a float, Gamma as given.
    ExpectFAndRelationships(p, *twice, p.fColumn ? 1e-7 : 1e-12, name + " double");
    ExpectInverse(p, *twice, BuildInverse(*twice, twice->dDouble), p.fColumn ? 1e-6 : 1e-9,
                  name + " double");
  }
}

// The walk in blocks, on threads, and the one-column walk give the same F
// bit for bit with metafounders too.
TEST(Metafounders, BlocksAndColumnsAgree) {
  for (std::uint32_t seed = 100; seed < 120; ++seed) {
    const MfPedigree p = RandomMf(seed, 80, seed % 2 == 0);
    InbreedingOptions column;
    column.blockWidth = 1;
    InbreedingOptions blocks;
    blocks.blockWidth = 8;
    blocks.threads = 2;
    blocks.individualsPerWorker = 1;
    InbreedingOptions full;
    full.fullPasses = true;
    const auto a = LoadMf(p, false, &column);
    const auto b = LoadMf(p, false, &blocks);
    const auto c = LoadMf(p, false, &full);
    for (std::int32_t k = 0; k < a->nTotal; ++k) {
      EXPECT_EQ(a->byCode(k).f, b->byCode(k).f) << seed;
      EXPECT_EQ(a->byCode(k).f, c->byCode(k).f) << seed;
    }
    EXPECT_EQ(a->d, b->d) << seed;
    EXPECT_EQ(a->nInbreds, b->nInbreds) << seed;
  }
}

// q_x' Gamma q_y over dense rows of g fractions each, every sum over all
// metafounders in ascending order: Gamma q_y skipping the zero q_y[l], then
// q_x' times it.
template <class T>
struct DenseFractions {
  int g = 0;
  std::vector<T> q;  // row by row, as the model numbers them
  const T* Row(std::int32_t row) const { return q.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(g); }

  DenseFractions(const Pedigree& ped, const MetafounderModel<T>& m) : g(m.g) {
    const auto width = static_cast<std::size_t>(g);
    q.assign((static_cast<std::size_t>(m.n) + 1 + width) * width, T(0));
    for (std::size_t k = 0; k < width; ++k) q[(static_cast<std::size_t>(m.n) + 1 + k) * width + k] = T(1);
    for (std::int32_t i = 0; i < m.n; ++i) {
      const RecIndex ri = ped.records[static_cast<std::size_t>(i)];
      const T* s = Row(m.ParentRow(ped, ri, ParentRole::kSire));
      const T* d = Row(m.ParentRow(ped, ri, ParentRole::kDam));
      T* own = q.data() + static_cast<std::size_t>(i + 1) * width;
      for (std::size_t k = 0; k < width; ++k) own[k] = T(0.5) * (s[k] + d[k]);
    }
  }

  T Between(const std::vector<T>& gamma, std::int32_t x, std::int32_t y) const {
    if (x == 0 || y == 0) return T(0);
    std::vector<T> gq(static_cast<std::size_t>(g), T(0));
    for (int l = 0; l < g; ++l) {
      const T ql = Row(y)[l];
      if (ql == T(0)) continue;
      for (int k = 0; k < g; ++k)
        gq[static_cast<std::size_t>(k)] = gq[static_cast<std::size_t>(k)] + gamma[static_cast<std::size_t>(l * g + k)] * ql;
    }
    T sum = T(0);
    for (int k = 0; k < g; ++k) sum = sum + Row(x)[k] * gq[static_cast<std::size_t>(k)];
    return sum;
  }
};

template <class T>
void ExpectSparseRowsGiveTheDenseSums(const Pedigree& ped, const std::string& where) {
  const MetafounderModel<T> m = BuildMetafounderModel<T>(ped);
  ASSERT_TRUE(m.Active()) << where;
  const DenseFractions<T> dense(ped, m);
  std::size_t stored = 0;
  for (std::int32_t x = 0; x <= m.n + m.g; ++x) {
    if (x <= m.n) stored += m.Row(x).size;
    for (std::int32_t y = 0; y <= m.n + m.g; ++y) {
      const T got = m.Between(x, y), want = dense.Between(m.gamma, x, y);
      ASSERT_EQ(std::memcmp(&got, &want, sizeof(T)), 0)
          << where << ": rows " << x << " and " << y << ", " << got << " against " << want;
    }
  }
  // Only the fractions that are not 0 are kept.
  std::size_t nonZero = 0;
  for (std::int32_t x = 0; x <= m.n; ++x)
    for (int k = 0; k < m.g; ++k) nonZero += dense.Row(x)[k] != T(0) ? 1 : 0;
  EXPECT_EQ(stored, nonZero) << where;
}

// The model keeps only each row's fractions that are not 0; its sums are
// those of the dense rows bit for bit, with few metafounders per individual
// and with many.
TEST(Metafounders, SparseFractionsGiveTheDenseSumsBitForBit) {
  for (std::uint32_t seed = 300; seed < 312; ++seed) {
    const int g = seed % 3 == 0 ? 3 : seed % 3 == 1 ? 12 : 40;
    const MfPedigree p = RandomMf(seed, 70, seed % 2 == 0, g);
    const auto ped = LoadMf(p);
    const std::string where = "seed " + std::to_string(seed) + ", " + std::to_string(g) + " metafounders";
    ExpectSparseRowsGiveTheDenseSums<float>(*ped, where + ", single");
    ExpectSparseRowsGiveTheDenseSums<double>(*ped, where + ", double");
  }
}

// Gamma = 0: the metafounders are unrelated founders of no inbreeding
// themselves, so F, D and relationships are those of the plain pedigree;
// only the inverse needs Gamma inverse and is refused.
TEST(Metafounders, ZeroGammaGivesThePlainA) {
  for (std::uint32_t seed = 200; seed < 210; ++seed) {
    MfPedigree p = RandomMf(seed, 40, false);
    std::fill(p.gamma.begin(), p.gamma.end(), 0.0);
    const auto mf = LoadMf(p);
    EXPECT_TRUE(mf->geneticGroups.gammaSingular);
    MfPedigree plain = p;
    for (auto& parents : plain.parents)
      for (int& x : parents)
        if (x >= 0 && x < p.g) x = -1;
    const auto ped = test::Loaded(plain.Text());
    const test::DenseMatrix a = test::TabularA(*ped);
    for (std::int32_t k = 0; k < mf->nTotal; ++k) {
      EXPECT_EQ(mf->byCode(k).f, ped->byCode(k).f) << seed;
      // D of a founder of metafounders: 1 - (0 + 0) / 4 = 1, as unknown.
      EXPECT_EQ(mf->d[static_cast<std::size_t>(k) + 1], ped->d[static_cast<std::size_t>(k) + 1]) << seed;
    }
    const RecIndex x = mf->records.front(), y = mf->records.back();
    EXPECT_NEAR(PairRelationship(*mf, mf->d, x, y),
                a(0, static_cast<std::size_t>(mf->nTotal) - 1), 1e-5);
  }
}

TEST(Metafounders, GammaFiles) {
  struct Row {
    const char* name;
    const char* text;
    const char* error;  // nullptr: read
  };
  const Row rows[] = {
      {"CommentsAndBlanks", "# Gamma\n\nA A 0.5\nb a 0.1\nB B 0.4\n", nullptr},
      {"MissingPairIsZero", "A A 0.5\nB B 0.4\n", nullptr},
      {"PairTwice", "A A 0.5\nA B 0.1\nB A 0.1\nB B 0.4\n",
       "Line 3 of the metafounders file: the pair B A is given twice."},
      {"NoDiagonal", "A A 0.5\nA B 0.1\n", "The metafounders file gives no value of B with itself."},

      {"TwoFields", "A 0.5\n", "Line 1 of the metafounders file: three fields, \"group group value\"."},
      {"UnknownMark", "0 0 1\n", "Line 1 of the metafounders file: 0 is the mark of an unknown parent."},
      {"Empty", "# nothing\n", "The metafounders file names no metafounder."},
      {"NotSemiDefinite", "A A 1\nB B 1\nC C 1\nA B 0.9\nA C 0.9\nB C -0.9\n",
       "The metafounders' relationships are not positive semi-definite (smallest eigenvalue "
       "-0.800000); the values of C with itself and the metafounders before it make them so."},
  };
  for (const Row& row : rows) {
    test::TempFile file(row.text, ".txt");
    GeneticGroups groups;
    const std::string error = ReadMetafounders(file.path(), groups);
    EXPECT_EQ(error, row.error ? row.error : "") << row.name;
    EXPECT_EQ(groups.Metafounders(), row.error == nullptr) << row.name;
  }
  test::TempFile file("# Gamma\n\nA A 0.5\nb a 0.1\nB B 0.4\n", ".txt");
  GeneticGroups groups;
  ASSERT_EQ(ReadMetafounders(file.path(), groups), "");
  EXPECT_EQ(groups.ids, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(groups.gamma, (std::vector<double>{0.5, 0.1, 0.1, 0.4}));
  EXPECT_FALSE(groups.gammaSingular);
}

// Eigenvalues of small symmetric matrices against their closed forms.
TEST(Metafounders, EigenRange) {
  for (std::uint32_t seed = 1; seed <= 50; ++seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    const double a = u(random), b = u(random), c = u(random);
    double low = 0, high = 0;
    SymmetricEigenRange({a, b, b, c}, 2, low, high);
    const double mean = (a + c) / 2, radius = std::sqrt((a - c) * (a - c) / 4 + b * b);
    EXPECT_NEAR(low, mean - radius, 1e-12);
    EXPECT_NEAR(high, mean + radius, 1e-12);
  }
}

}  // namespace
}  // namespace kinvar
