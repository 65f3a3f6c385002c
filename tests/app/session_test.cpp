// The session that the R and Python packages hold a pedigree through:
// columns in memory give the pedigree the same table saved as a file gives,
// IDs come back as the caller spelled them, the relationship matrix and the
// inverse of A agree with the tabular A, and refusals, rejections and
// cancels leave a usable session.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/table_export.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::RealCells;
using test::TextCells;

PedigreeColumns Columns(std::vector<std::string> ids, std::vector<std::string> sires,
                        std::vector<std::string> dams) {
  return {{"Progeny", "Sire", "Dam"}, {std::move(ids), std::move(sires), std::move(dams)}};
}

// The listed individuals of a random pedigree as columns, F written with
// the shortest digits of its float.
PedigreeColumns ColumnsOf(const test::RandomPedigree& p) {
  PedigreeColumns columns{{"Progeny", "Sire", "Dam"}, {{}, {}, {}}};
  if (p.hasGroupColumn) columns.names.push_back("Group");
  if (p.hasFColumn) columns.names.push_back("F");
  columns.cells.resize(columns.names.size());
  for (const test::RandomIndividual& r : p.individuals) {
    if (!r.listed) continue;
    columns.cells[0].push_back(r.id);
    columns.cells[1].push_back(r.sire);
    columns.cells[2].push_back(r.dam);
    std::size_t c = 3;
    if (p.hasGroupColumn) columns.cells[c++].push_back(r.group < 0 ? "" : std::to_string(r.group));
    if (p.hasFColumn) {
      std::string f;
      if (r.fInFile) {
        char buffer[32];
        f.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, *r.fInFile).ptr);
      }
      columns.cells[c].push_back(f);
    }
  }
  return columns;
}

std::string Csv(const ResultSet& tables) {
  std::string text;
  for (const ResultTable& table : tables.tables()) {
    ResultSet one;
    one.Add(ResultTable(table));
    text += table.name() + ":\n" + test::WrittenBy([&](OutputFile& out) {
              std::string error;
              WriteTables(one, {TableFormat::kCsv, "session", ""}, out, error);
            });
  }
  return text;
}

TEST(Session, ColumnsGiveThePedigreeTheFileGives) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    // Plain text: the spelling of an unknown parent ("000", "unknown") may
    // order full-sib families, and so codes, differently from "0".
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 120);
    options.decorate = false;
    const test::RandomPedigree p = test::MakeRandomPedigree(options);
    const test::TempFile file(p.text);
    const auto fromFile = Session::Read(file.path());
    const auto fromColumns = Session::FromColumns(ColumnsOf(p));
    ASSERT_EQ(fromColumns->Ids(), fromFile->Ids());
    EXPECT_EQ(Csv(fromColumns->Inbreeding()), Csv(fromFile->Inbreeding()));
    EXPECT_EQ(Csv(fromColumns->Dii()), Csv(fromFile->Dii()));
  }
}

// As the reader adds them: the dams that have no row, then the sires, each
// in order of first appearance.
TEST(Session, ResultsCoverTheRowsThenTheAddedParents) {
  const auto s = Session::FromColumns(Columns({"c", "d", "e"}, {"a", "NA", "c"}, {"0", "b", "d"}));
  EXPECT_EQ(s->Ids(), (std::vector<std::string>{"c", "d", "e", "b", "a"}));
  const ResultSet tables = s->Inbreeding();
  const ResultTable& f = *tables.Find("inbreeding");
  EXPECT_EQ(TextCells(f, "id"), (std::vector<std::string>{"c", "d", "e", "b", "a"}));
  EXPECT_EQ(TextCells(f, "sire"), (std::vector<std::string>{"a", "", "c", "", ""}));
  EXPECT_EQ(TextCells(f, "dam"), (std::vector<std::string>{"", "b", "d", "", ""}));
}

TEST(Session, IdsComeBackAsSpelledInEveryIdColumn) {
  const auto s = Session::FromColumns(Columns({"Bella", "max", "Kid", "kid2"}, {"sire1", "sire1", "max", "max"},
                                              {"0", "0", "Bella", "Bella"}));
  EXPECT_EQ(s->Ids(), (std::vector<std::string>{"Bella", "max", "Kid", "kid2", "sire1"}));
  const ResultSet paths = s->PathCountingIndividual("KID");
  EXPECT_EQ(TextCells(*paths.Find("ncas"), "ancestor"), std::vector<std::string>{"sire1"});
  EXPECT_EQ(TextCells(*paths.Find("inbreds"), "id"), std::vector<std::string>{"Kid"});
  const ResultSet pairs = s->Relationships({PairScope::Kind::kIds, 0, 0, {"kid", "Kid2", "SIRE1"}},
                                           RelationshipKind::kNumerator, std::pair{0.6, 2.0});
  EXPECT_EQ(TextCells(*pairs.Find("pairs"), "id1"), std::vector<std::string>{"Kid"});
  EXPECT_EQ(TextCells(*pairs.Find("pairs"), "id2"), std::vector<std::string>{"kid2"});
  EXPECT_EQ(RealCells(*pairs.Find("pairs"), "value"), std::vector<double>{0.625});
  const auto ancestors = s->ExtractIndividual(Session::Kinship::kAncestors, "kid");
  const std::vector<std::string> extracted = ancestors->Ids();
  EXPECT_EQ(std::set<std::string>(extracted.begin(), extracted.end()),
            (std::set<std::string>{"Bella", "Kid", "max", "sire1"}));
}

struct RejectedCase {
  const char* name;
  PedigreeColumns columns;
  std::vector<std::string> errors;
};

TEST(Session, RejectedPedigreesRaiseTheirErrorList) {
  const RejectedCase cases[] = {
      {"duplicate", Columns({"A", "B", "A"}, {"0", "0", "0"}, {"0", "0", "0"}),
       {"A appearing more than once in the progeny list."}},
      {"cycle", Columns({"A", "B"}, {"B", "A"}, {"C", "0"}),
       {"A appearing in its ancestors list (Cycling pedigree).", "Cycle: A > B > A"}},
      {"case clash in rows", Columns({"a1", "A1"}, {"0", "0"}, {"0", "0"}),
       {"IDs \"a1\" and \"A1\" differ only in letter case; Kinvar takes them for one individual."}},
      {"case clash in parents", Columns({"x", "y"}, {"Sire", "SIRE"}, {"0", "0"}),
       {"IDs \"Sire\" and \"SIRE\" differ only in letter case; Kinvar takes them for one individual."}},
      {"row without ID", Columns({"x", ""}, {"0", "x"}, {"0", "0"}), {"Row 2 has no ID."}},
  };
  for (const RejectedCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Session::FromColumns(c.columns);
      ADD_FAILURE() << "accepted";
    } catch (const InvalidPedigree& e) {
      EXPECT_EQ(e.errors(), c.errors);
    }
  }
}

TEST(Session, RefusedInputsLeaveTheSessionUsable) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  const ResultSet before = s->Inbreeding();
  EXPECT_THROW(s->Relationship("A1", "NOBODY", RelationshipKind::kNumerator), Refused);
  EXPECT_THROW(s->GeneOrigin(7), Refused);
  EXPECT_THROW(s->DecomposeIndividual("nobody"), Refused);
  EXPECT_EQ(Csv(s->Inbreeding()), Csv(before));
  const auto small = Session::Read(KINVAR_EXAMPLES_DIR "/small.pdg");
  try {
    small->AverageBetweenGroups();
    ADD_FAILURE() << "ran without groups";
  } catch (const Refused& e) {
    EXPECT_STREQ(e.what(), "This command is not available for the loaded pedigree.");
  }
  EXPECT_THROW(Session::Read("/nonexistent/herd.pdg"), Refused);
}

TEST(Session, ACancelStopsTheComputationAndLeavesThePedigree) {
  test::RandomPedigreeOptions options;
  options.size = 3000;
  options.seed = 5;
  const test::RandomPedigree p = test::MakeRandomPedigree(options);
  const auto s = Session::FromColumns(ColumnsOf(p));
  int polls = 0;
  s->SetCancelCheck([&polls] { return ++polls >= 1; });
  EXPECT_THROW(s->Inbreeding(), Cancelled);
  EXPECT_THROW(s->InverseOfA(), Cancelled);
  EXPECT_GT(polls, 0);
  s->SetCancelCheck({});
  const auto fresh = Session::FromColumns(ColumnsOf(p));
  EXPECT_EQ(Csv(s->Inbreeding()), Csv(fresh->Inbreeding()));
  EXPECT_EQ(s->InverseOfA().value, fresh->InverseOfA().value);
}

// The tabular A by input position: TabularA is by code.
std::vector<double> TabularByPosition(const Pedigree& ped) {
  const test::DenseMatrix a = test::TabularA(ped);
  const std::size_t n = a.n;
  std::vector<double> byPosition(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      byPosition[static_cast<std::size_t>(ped.records[i] - 1) * n +
                 static_cast<std::size_t>(ped.records[j] - 1)] = a(i, j);
  return byPosition;
}

// Gauss-Jordan with partial pivoting; A is positive definite.
std::vector<double> Inverse(std::vector<double> a, std::size_t n) {
  std::vector<double> inv(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i) inv[i * n + i] = 1.0;
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::abs(a[r * n + c]) > std::abs(a[pivot * n + c])) pivot = r;
    for (std::size_t k = 0; k < n; ++k) {
      std::swap(a[c * n + k], a[pivot * n + k]);
      std::swap(inv[c * n + k], inv[pivot * n + k]);
    }
    const double p = a[c * n + c];
    for (std::size_t k = 0; k < n; ++k) {
      a[c * n + k] /= p;
      inv[c * n + k] /= p;
    }
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c || a[r * n + c] == 0.0) continue;
      const double m = a[r * n + c];
      for (std::size_t k = 0; k < n; ++k) {
        a[r * n + k] -= m * a[c * n + k];
        inv[r * n + k] -= m * inv[c * n + k];
      }
    }
  }
  return inv;
}

TEST(Session, TheRelationshipMatrixIsTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE(seed);
    const test::RandomPedigree p = test::MakeRandomPedigree(test::VariedOptions(seed, 80));
    const auto s = Session::FromColumns(ColumnsOf(p));
    s->Inbreeding();
    const std::vector<std::string> ids = s->Ids();
    const std::size_t n = ids.size();
    const std::vector<double> a = TabularByPosition(s->pedigree());
    const std::vector<double> numerator = s->RelationshipMatrix(ids, RelationshipKind::kNumerator);
    const std::vector<double> coefficient = s->RelationshipMatrix(ids, RelationshipKind::kCoefficient);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        const double exact = a[i * n + j];
        EXPECT_NEAR(numerator[j * n + i], exact, 1e-5 * (1 + exact));
        EXPECT_NEAR(coefficient[j * n + i], exact / std::sqrt(a[i * n + i] * a[j * n + j]), 1e-5);
      }
    }
    EXPECT_NEAR(s->Relationship(ids[0], ids[n - 1], RelationshipKind::kNumerator), a[n - 1], 1e-5);
  }
}

TEST(Session, TheInverseOfAIsTheInverseOfTheTabularAInInputOrder) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE(seed);
    const test::RandomPedigree p = test::MakeRandomPedigree(test::VariedOptions(seed, 60));
    const auto s = Session::FromColumns(ColumnsOf(p));
    const LowerTriplets t = s->InverseOfA();
    const auto n = static_cast<std::size_t>(t.n);
    ASSERT_EQ(n, s->Ids().size());
    const std::vector<double> exact = Inverse(TabularByPosition(s->pedigree()), n);
    std::vector<double> got(n * n, 0.0);
    for (std::size_t k = 0; k < t.value.size(); ++k) {
      ASSERT_LE(t.col[k], t.row[k]);
      if (k > 0) {
        const bool ordered = t.col[k - 1] < t.col[k] || (t.col[k - 1] == t.col[k] && t.row[k - 1] < t.row[k]);
        ASSERT_TRUE(ordered) << "element " << k;
      }
      const auto r = static_cast<std::size_t>(t.row[k]);
      const auto c = static_cast<std::size_t>(t.col[k]);
      got[r * n + c] = got[c * n + r] = t.value[k];
    }
    for (std::size_t i = 0; i < n * n; ++i)
      EXPECT_NEAR(got[i], exact[i], 1e-4 * (1 + std::abs(exact[i]))) << "cell " << i;
  }
}

TEST(Session, TheMatrixIsRefusedAboveItsCells) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/small.pdg");
  const std::vector<std::string> ids(5001, "A");
  EXPECT_THROW(s->RelationshipMatrix(ids, RelationshipKind::kNumerator), Refused);
}

TEST(Session, MatingsFollowTheContributionsAndTheSeed) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  MatingRequest request{2, 3, {{"b1", 1}, {"B2", 1}, {"B3", 1}, {"B4", 1}}, {}, true, 7};
  const ResultSet exact = s->OptimizeMatings(request);
  const ResultTable& matings = *exact.Find("matings");
  ASSERT_EQ(matings.rows(), 4u);
  std::map<std::string, int> perSire;
  for (const std::string& sire : TextCells(matings, "sire")) ++perSire[sire];
  EXPECT_EQ(perSire, (std::map<std::string, int>{{"B1", 1}, {"B2", 1}, {"B3", 1}, {"B4", 1}}));
  request.exact = false;
  EXPECT_EQ(Csv(s->OptimizeMatings(request)), Csv(s->OptimizeMatings(request)));
  request.forbidden = {{"B1", "C1"}, {"B1", "C2"}, {"B1", "C3"}, {"B1", "C4"}};
  EXPECT_THROW(s->OptimizeMatings(request), Refused);
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

TEST(Session, PurgingAndPopulationCommandsTakeTheirSettings) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  const ResultSet plain = s->Purging({3, 0.0, 0, false, 1});
  const ResultSet purged = s->Purging({3, 0.25, 200, true, 1});
  const std::vector<double> f = RealCells(*plain.Find("purging"), "f");
  const std::vector<double> g0 = RealCells(*plain.Find("purging"), "g");
  const std::vector<double> g = RealCells(*purged.Find("purging"), "g");
  ASSERT_EQ(g.size(), 4u);
  for (std::size_t i = 0; i < g.size(); ++i) {
    EXPECT_EQ(g0[i], f[i]);
    EXPECT_LT(g[i], f[i]);
  }
  EXPECT_EQ(plain.Find("purging")->Find("fa_gene_drop"), nullptr);
  // The same seed, the same replicates.
  EXPECT_EQ(RealCells(*purged.Find("purging"), "fa_gene_drop"),
            RealCells(*s->Purging({3, 0.25, 200, true, 1}).Find("purging"), "fa_gene_drop"));

  const ResultSet ranked = s->MeanKinship(3);
  EXPECT_EQ(ranked.Find("mean_kinship")->rows(), 4u);
  const ResultSet pairs = s->MateSuitability(2, 3, std::nullopt, 0.0625);
  EXPECT_EQ(pairs.Find("mate_suitability")->rows(), 16u);

  // From the optimum contributions to the matings, as a breeder goes.
  ContributionRequest request{2, 3, {{"B1", 120}, {"B2", 35}, {"B3", 80}, {"B4", -10},
                                     {"C1", 60}, {"C2", 95}, {"C3", 20}, {"C4", 45}},
                              0.01, std::nullopt, std::nullopt, true};
  const ResultSet optimum = s->OptimumContributions(request);
  const ResultTable& sires = *optimum.Find("sire_matings");
  MatingRequest matings{2, 3, {}, {}, true, 0};
  std::int64_t total = 0;
  for (std::size_t i = 0; i < sires.rows(); ++i) {
    matings.contributions.emplace_back(std::string(sires.column(0).Text(i)),
                                       static_cast<std::int32_t>(sires.column(1).Integer(i)));
    total += sires.column(1).Integer(i);
  }
  EXPECT_EQ(total, 4);  // one progeny per dam
  EXPECT_EQ(s->OptimizeMatings(matings).Find("matings")->rows(), 4u);
  request.targetDeltaF = -0.5;
  EXPECT_THROW(s->OptimumContributions(request), Refused);
}

// A line of full-sib matings: single precision loses D, double keeps it.
TEST(Session, DoublePrecisionReachesTheInverseOfA) {
  std::vector<std::string> ids{"A", "B"}, sires{"0", "0"}, dams{"0", "0"};
  for (int g = 1; g <= 40; ++g) {
    for (const char* side : {"S", "D"}) {
      ids.push_back(side + std::to_string(g));
      sires.push_back(g == 1 ? "A" : "S" + std::to_string(g - 1));
      dams.push_back(g == 1 ? "B" : "D" + std::to_string(g - 1));
    }
  }
  const auto s = Session::FromColumns(Columns(ids, sires, dams));
  const std::vector<double> fSingle = RealCells(*s->Inbreeding().Find("inbreeding"), "f");
  s->SetDoublePrecision(true);
  EXPECT_NE(RealCells(*s->Inbreeding().Find("inbreeding"), "f"), fSingle);
  s->SetDoublePrecision(false);
  EXPECT_EQ(RealCells(*s->Inbreeding().Find("inbreeding"), "f"), fSingle);
  const LowerTriplets single = s->InverseOfA();
  s->SetDoublePrecision(true);
  const LowerTriplets exact = s->InverseOfA();
  ASSERT_EQ(single.value.size(), exact.value.size());
  double worst = 0;
  for (std::size_t k = 0; k < exact.value.size(); ++k)
    worst = std::max(worst, std::abs(single.value[k] - exact.value[k]) / std::abs(exact.value[k]));
  EXPECT_GT(worst, 1e-4);
  s->SetDoublePrecision(false);
  EXPECT_EQ(s->InverseOfA().value, single.value);
}

}  // namespace
}  // namespace kinvar
