// The session that the R and Python packages hold a pedigree through:
// columns in memory give the pedigree the same table saved as a file gives,
// IDs come back as the caller spelled them, the relationship matrix and the
// inverse of A agree with the tabular A, and refusals, rejections and
// cancels leave a usable session.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "analyses/dominance_command.h"
#include "analyses/inverse_a_command.h"
#include "app/session.h"
#include "app/table_export.h"
#include "genetics/dominance.h"
#include "genetics/inverse_a.h"
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
       {"A appearing more than once in the progeny list (rows 1, 3)."}},
      {"cycle", Columns({"A", "B"}, {"B", "A"}, {"C", "0"}),
       {"A appearing in its ancestors list (Cycling pedigree), row 1.", "Cycle: A (row 1) > B (row 2) > A"}},
      {"sire and dam", Columns({"A", "B", "C", "D"}, {"0", "0", "A", "C"}, {"0", "0", "B", "A"}),
       {"A appearing as both sire and dam (as a sire in row 3, as a dam in row 4)."}},
      {"one ID in two letter cases in two rows", Columns({"a1", "A1"}, {"0", "0"}, {"0", "0"}),
       {"A1 appearing more than once in the progeny list (rows 1, 2)."}},
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

// As in a file, IDs that differ only in letter case are one individual;
// results spell it as it first appears, row by row, progeny before parents.
TEST(Session, IdsInTwoLetterCasesAreOneIndividualSpelledAsFirstWritten) {
  struct Row {
    const char* name;
    PedigreeColumns columns;
    std::vector<std::string> ids;
  };
  const Row rows[] = {
      {"parent in two cases", Columns({"x", "y"}, {"Sire", "SIRE"}, {"0", "0"}), {"x", "y", "Sire"}},
      {"upper case first", Columns({"x", "y"}, {"AT49M45398", "at49m45398"}, {"0", "0"}),
       {"x", "y", "AT49M45398"}},
      {"progeny, then parent", Columns({"Bull", "calf"}, {"0", "BULL"}, {"0", "0"}), {"Bull", "calf"}},
      {"parent, then progeny", Columns({"calf", "BULL"}, {"bull", "0"}, {"0", "0"}), {"calf", "bull"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto s = Session::FromColumns(row.columns);
    EXPECT_EQ(s->Ids(), row.ids);
    EXPECT_EQ(TextCells(*s->Inbreeding().Find("inbreeding"), "id"), row.ids);
  }
}

// The same on random pedigrees whose IDs are written in random letter
// cases, against a walk that keeps every ID's first spelling.
TEST(Session, RandomLetterCasesComeBackAsFirstWritten) {
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 150);
    options.decorate = false;
    const test::RandomPedigree p = test::MakeRandomPedigree(options);
    PedigreeColumns columns = ColumnsOf(p);
    std::mt19937_64 rng(seed);
    std::map<std::string, std::string> first;  // upper case -> first spelling
    for (std::size_t row = 0; row < columns.cells[0].size(); ++row)
      for (std::size_t c = 0; c < 3; ++c) {
        std::string& cell = columns.cells[c][row];
        for (char& ch : cell)
          if (ch >= 'A' && ch <= 'Z' && rng() % 3 == 0) ch = static_cast<char>(ch - 'A' + 'a');
        const std::string upper = UpperCased(cell);
        if (!cell.empty() && upper != "NA" && !IsUnknownId(upper)) first.try_emplace(upper, cell);
      }
    const auto s = Session::FromColumns(columns);
    std::vector<std::string> expected;
    for (RecIndex i = 1; i <= s->size(); ++i) {
      const std::string id(s->pedigree().rec(i).Id());
      expected.push_back(first.count(id) != 0 ? first.at(id) : id);
    }
    EXPECT_EQ(s->Ids(), expected);
  }
}

// Thousands of IDs spelled in lower case, some of them only in a later row
// than their first upper-case one: every cell of the id, sire and dam
// columns shows the first spelling, and an ID written in upper case first
// stays so.
TEST(Session, ThousandsOfSpellingsComeBackInEveryIdColumn) {
  struct Row {
    const char* name;
    int size;
    int lowerOneIn;  // a letter is put in lower case with chance 1 / this
  };
  const Row rows[] = {{"few spellings", 4000, 40}, {"most IDs spelled", 6000, 2}, {"one letter in nine", 5000, 9}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::RandomPedigreeOptions options;
    options.seed = static_cast<std::uint64_t>(row.size);
    options.size = row.size;
    options.founders = row.size / 20;
    options.window = 400;
    options.decorate = false;
    const test::RandomPedigree p = test::MakeRandomPedigree(options);
    PedigreeColumns columns = ColumnsOf(p);
    std::mt19937_64 rng(options.seed);
    std::map<std::string, std::string> first;  // upper case -> first spelling
    for (std::size_t r = 0; r < columns.cells[0].size(); ++r)
      for (std::size_t c = 0; c < 3; ++c) {
        std::string& cell = columns.cells[c][r];
        for (char& ch : cell)
          if (ch >= 'A' && ch <= 'Z' && rng() % static_cast<unsigned>(row.lowerOneIn) == 0)
            ch = static_cast<char>(ch - 'A' + 'a');
        const std::string upper = UpperCased(cell);
        if (!cell.empty() && !IsUnknownId(upper)) first.try_emplace(upper, cell);
      }
    const auto s = Session::FromColumns(columns);
    const Pedigree& ped = s->pedigree();
    const auto spelled = [&](RecIndex i) -> std::string {
      if (i == kUnknownParent) return "";
      const std::string id(ped.rec(i).Id());
      return first.count(id) != 0 ? first.at(id) : id;
    };
    std::vector<std::string> ids;
    std::vector<std::string> sires;
    std::vector<std::string> dams;
    for (RecIndex i = 1; i <= s->size(); ++i) {
      ids.push_back(spelled(i));
      sires.push_back(spelled(ped.rec(i).sire));
      dams.push_back(spelled(ped.rec(i).dam));
    }
    const ResultSet tables = s->Inbreeding();
    const ResultTable& f = *tables.Find("inbreeding");
    EXPECT_EQ(TextCells(f, "id"), ids);
    EXPECT_EQ(TextCells(f, "sire"), sires);
    EXPECT_EQ(TextCells(f, "dam"), dams);
  }
}

// Groups the caller numbered for their names come back as the names in
// every group column; an individual without a group stays empty.
TEST(Session, NamedGroupsComeBackAsTheirNamesInEveryGroupColumn) {
  PedigreeColumns columns = Columns({"A", "B", "C", "D"}, {"0", "0", "A", "A"}, {"0", "0", "B", "B"});
  columns.names.push_back("Group");
  columns.cells.push_back({"1", "2", "1", ""});
  const auto s = Session::FromColumns(columns);
  s->NameGroups({"North", "South"});
  EXPECT_EQ(TextCells(*s->Inbreeding().Find("inbreeding"), "group"),
            (std::vector<std::string>{"North", "South", "North", ""}));
  const ResultSet averages = s->AverageBetweenGroups();
  for (const ResultTable& table : averages.tables())
    for (const char* column : {"group1", "group2"}) {
      if (table.Find(column) == nullptr) continue;
      for (const std::string& name : TextCells(table, column)) EXPECT_TRUE(name == "North" || name == "South");
    }
  EXPECT_EQ(s->ExtractIndividual(Session::Kinship::kAncestors, "C")->GroupNames(),
            (std::vector<std::string>{"North", "South"}));
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

struct GroupCall {
  const char* name;
  std::function<ResultSet(Session&, int group)> run;
};

// Each command run first for a group of the pedigree, then for one that is
// not: the second call raises and never hands back the first call's tables.
TEST(Session, AGroupNotInThePedigreeIsRefusedAfterTheSameCommandRan) {
  const GroupCall calls[] = {
      {"diversity", [](Session& s, int g) { return s.Diversity(g); }},
      {"gene origin", [](Session& s, int g) { return s.GeneOrigin(g); }},
      {"mean kinship", [](Session& s, int g) { return s.MeanKinship(g); }},
      {"purging", [](Session& s, int g) { return s.Purging({g, 0.0, 0, false, 1}); }},
      {"decomposition of a group", [](Session& s, int g) { return s.DecomposeGroup(g); }},
      {"decomposition of coancestry", [](Session& s, int g) { return s.DecomposeCoancestry(g); }},
      {"path counting", [](Session& s, int g) { return s.PathCountingGroup(g); }},
      {"within a group",
       [](Session& s, int g) {
         return s.Relationships({PairScope::Kind::kWithinGroup, g, 0, {}}, RelationshipKind::kNumerator,
                                std::nullopt);
       }},
      {"between groups",
       [](Session& s, int g) {
         return s.Relationships({PairScope::Kind::kBetweenGroups, 1, g, {}}, RelationshipKind::kNumerator,
                                std::nullopt);
       }},
  };
  for (const GroupCall& call : calls) {
    SCOPED_TRACE(call.name);
    const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
    const std::string first = Csv(call.run(*s, 3));
    try {
      call.run(*s, 1800);
      ADD_FAILURE() << "an unknown group gave tables";
    } catch (const Refused& e) {
      EXPECT_STREQ(e.what(), "Group \"1800\" is not in the pedigree.");
    }
    EXPECT_EQ(Csv(call.run(*s, 3)), first);
  }
}

// 2002 unrelated founders, 2001 of them in group 1: every pair is 0.
TEST(Session, AListingPastItsCapIsRefusedWithTheCountAndTheWayOut) {
  PedigreeColumns columns{{"Progeny", "Sire", "Dam", "Group"}, {{}, {}, {}, {}}};
  for (int i = 0; i < 2002; ++i) {
    columns.cells[0].push_back("F" + std::to_string(i));
    columns.cells[1].push_back("0");
    columns.cells[2].push_back("0");
    columns.cells[3].push_back(i < 2001 ? "1" : "2");
  }
  const auto s = Session::FromColumns(columns);
  const auto refusal = [](const std::string& pairs) {
    return "More than 2000000 of the " + pairs + " pairs lie between 0 and 2, and a listing stops at 2000000: "
           "none are returned. Narrow the range, choose a smaller group, or ask for the pairs of given IDs "
           "(at most 5000 at a time).";
  };
  struct Row {
    const char* name;
    PairScope scope;
    std::string message;
  };
  const Row rows[] = {
      {"all", {PairScope::Kind::kAll, 0, 0, {}}, refusal("2003001")},
      {"within a group", {PairScope::Kind::kWithinGroup, 1, 0, {}}, refusal("2001000")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      s->Relationships(row.scope, RelationshipKind::kNumerator, std::nullopt);
      ADD_FAILURE() << "a cut listing passed for a whole one";
    } catch (const Refused& e) {
      EXPECT_EQ(e.what(), row.message);
    }
    EXPECT_EQ(s->Relationships(row.scope, RelationshipKind::kNumerator, std::pair{0.5, 2.0}).Find("pairs")->rows(),
              0u);
  }
  EXPECT_EQ(s->Relationships({PairScope::Kind::kBetweenGroups, 1, 2, {}}, RelationshipKind::kNumerator, std::nullopt)
                .Find("pairs")
                ->rows(),
            2001u);
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

// The inverse of an n x n matrix of cells by position.
std::vector<double> Inverse(std::vector<double> a, std::size_t n) {
  return test::DenseInverse(test::DenseMatrix{n, std::move(a)}).cells;
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

// A symmetric matrix from its lower triangle.
std::vector<double> Dense(const LowerTriplets& t) {
  const auto n = static_cast<std::size_t>(t.n);
  std::vector<double> dense(n * n, 0.0);
  for (std::size_t k = 0; k < t.value.size(); ++k) {
    const auto r = static_cast<std::size_t>(t.row[k]);
    const auto c = static_cast<std::size_t>(t.col[k]);
    dense[r * n + c] = dense[c * n + r] = t.value[k];
  }
  return dense;
}

// Rows I1..In whose parents are earlier rows (sires odd, dams even), or an
// unknown parent that is a group, spread over two groups by fraction rows,
// or plain unknown. Kept by position: each row's parents (-1 unknown) and
// the groups of an unknown parent with their shares.
struct GroupedRows {
  PedigreeColumns columns{{"Progeny", "Sire", "Dam"}, {{}, {}, {}}};
  LoadOptions options;
  std::vector<std::array<int, 2>> parent;
  std::vector<std::array<std::vector<std::pair<int, double>>, 2>> groups;
};

GroupedRows MakeGroupedRows(std::uint32_t seed, int n) {
  // The load matches group IDs whatever their case.
  const std::vector<std::string> given{"gA", "Gb", "GC"}, cells{"GA", "gb", "Gc"};
  std::mt19937 random(seed);
  GroupedRows out;
  out.options.geneticGroups = given;
  const auto draw = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
  for (int i = 0; i < n; ++i) {
    out.columns.cells[0].push_back("I" + std::to_string(i + 1));
    out.parent.push_back({-1, -1});
    out.groups.emplace_back();
    for (int role = 0; role < 2; ++role) {
      std::string cell = "0";
      const int kind = draw(10);
      // Earlier rows of the role's parity: index 0, 2, ... are sires.
      const int candidates = (i + (role == 0 ? 1 : 0)) / 2;
      if (kind < 5 && candidates > 0) {
        const int p = 2 * draw(candidates) + role;
        out.parent[i][role] = p;
        cell = out.columns.cells[0][static_cast<std::size_t>(p)];
      } else if (kind < 8) {
        const int g = draw(3);
        out.groups[i][role].emplace_back(g, 1.0);
        cell = cells[static_cast<std::size_t>(g)];
      } else if (kind == 8) {
        const int a = draw(3), b = (a + 1 + draw(2)) % 3;
        const double share = 0.25 * (1 + draw(3));
        out.groups[i][role] = {{a, share}, {b, 1.0 - share}};
        const std::string parent = role == 0 ? "Sire" : "DAM";
        out.options.groupFractions.push_back({"i" + std::to_string(i + 1), parent, given[a], share});
        out.options.groupFractions.push_back({"I" + std::to_string(i + 1), parent, cells[b], 1.0 - share});
      }
      out.columns.cells[static_cast<std::size_t>(role) + 1].push_back(cell);
    }
  }
  return out;
}

// Quaas's augmented inverse [A^-1, -A^-1 Q; -Q'A^-1, Q'A^-1 Q], Q being each
// individual's expected share of each group's genes, and A the tabular A
// of the rows.
std::vector<double> QuaasInverse(const GroupedRows& rows) {
  const std::size_t n = rows.parent.size(), g = 3, m = n + g;
  std::vector<double> a(n * n, 0.0), q(n * g, 0.0);
  const auto at = [&](int i, int j) { return i < 0 || j < 0 ? 0.0 : a[static_cast<std::size_t>(i) * n + static_cast<std::size_t>(j)]; };
  for (std::size_t i = 0; i < n; ++i) {
    const auto [s, d] = rows.parent[i];
    for (std::size_t j = 0; j < i; ++j)
      a[i * n + j] = a[j * n + i] = 0.5 * (at(s, static_cast<int>(j)) + at(d, static_cast<int>(j)));
    a[i * n + i] = 1.0 + 0.5 * at(s, d);
    for (int role = 0; role < 2; ++role) {
      const int p = rows.parent[i][static_cast<std::size_t>(role)];
      for (std::size_t k = 0; k < g && p >= 0; ++k) q[i * g + k] += 0.5 * q[static_cast<std::size_t>(p) * g + k];
      for (const auto& [group, share] : rows.groups[i][static_cast<std::size_t>(role)])
        q[i * g + static_cast<std::size_t>(group)] += 0.5 * share;
    }
  }
  const std::vector<double> ainv = Inverse(a, n);
  std::vector<double> out(m * m, 0.0), aq(n * g, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k < g; ++k)
      for (std::size_t j = 0; j < n; ++j) aq[i * g + k] += ainv[i * n + j] * q[j * g + k];
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) out[i * m + j] = ainv[i * n + j];
    for (std::size_t k = 0; k < g; ++k) out[i * m + n + k] = out[(n + k) * m + i] = -aq[i * g + k];
  }
  for (std::size_t k = 0; k < g; ++k)
    for (std::size_t l = 0; l < g; ++l)
      for (std::size_t i = 0; i < n; ++i) out[(n + k) * m + n + l] += q[i * g + k] * aq[i * g + l];
  return out;
}

TEST(Session, TheInverseWithGroupsIsQuaasAugmentedInverse) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    const GroupedRows rows = MakeGroupedRows(seed, 20 + static_cast<int>(seed % 25));
    const std::vector<double> exact = QuaasInverse(rows);
    const auto s = Session::FromColumns(rows.columns, 0, rows.options);
    EXPECT_EQ(s->GroupIds(), rows.options.geneticGroups);
    EXPECT_EQ(s->size(), static_cast<std::int32_t>(rows.parent.size()));
    for (const bool inDouble : {false, true}) {
      s->SetDoublePrecision(inDouble);
      const LowerTriplets t = s->InverseOfA();
      ASSERT_EQ(t.n, s->size() + 3);
      for (std::size_t k = 1; k < t.value.size(); ++k)
        ASSERT_TRUE(t.col[k - 1] < t.col[k] || (t.col[k - 1] == t.col[k] && t.row[k - 1] < t.row[k]));
      const std::vector<double> got = Dense(t);
      const double tolerance = inDouble ? 1e-9 : 1e-4;
      for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_NEAR(got[i], exact[i], tolerance * (1 + std::abs(exact[i]))) << "cell " << i;
    }
  }
}

// Groups are unknown parents to everything but the matrices for mixed
// models: F, D and the census are those of the pedigree with "0" for them.
TEST(Session, GroupsLeaveFAndTheCensusAsUnknownParentsDo) {
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    GroupedRows rows = MakeGroupedRows(seed, 40);
    const auto grouped = Session::FromColumns(rows.columns, 0, rows.options);
    for (std::size_t c = 1; c < 3; ++c)
      for (std::string& cell : rows.columns.cells[c])
        if (cell[0] != 'I') cell = "0";
    const auto plain = Session::FromColumns(rows.columns);
    EXPECT_EQ(Csv(grouped->Inbreeding()), Csv(plain->Inbreeding()));
    EXPECT_EQ(Csv(grouped->Dii()), Csv(plain->Dii()));
    EXPECT_TRUE(plain->GroupIds().empty());
    EXPECT_EQ(plain->InverseOfA().n, plain->size());
  }
}

TEST(Session, GroupOptionsAreRefusedWithTheirReason) {
  const PedigreeColumns columns = Columns({"A", "B", "C"}, {"0", "G1", "A"}, {"0", "G2", "B"});
  struct Case {
    const char* name;
    LoadOptions options;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"fractions without groups", {{}, {{"B", "sire", "G1", 1.0}}}, "Group fractions need genetic groups."},
      {"a group twice", {{"G1", "g1"}, {}}, "Genetic group 2: G1 is listed twice."},
      {"the unknown mark", {{"G1", "0"}, {}}, "Genetic group 2: 0 is the mark of an unknown parent."},
      {"an empty ID", {{"G1", " "}, {}}, "Genetic group 2: the ID is empty."},
      {"a blank inside", {{"G 1"}, {}}, "Genetic group 1: the ID has a blank inside."},
      {"a group with a row", {{"G1", "A"}, {}}, "A is a genetic group and has a line of its own."},
      {"an unknown individual", {{"G1", "G2"}, {{"Z", "sire", "G1", 1.0}}},
       "Row 1 of the group fractions: Z is not in the pedigree."},
      {"a known parent", {{"G1", "G2"}, {{"B", "dam", "G1", 0.5}, {"C", "sire", "G1", 1.0}}},
       "Row 2 of the group fractions: the sire of C is known."},
      {"neither sire nor dam", {{"G1", "G2"}, {{"B", "mother", "G1", 1.0}}},
       "Row 1 of the group fractions: the second field is sire or dam."},
      {"not a group", {{"G1", "G2"}, {{"B", "sire", "G3", 1.0}}},
       "Row 1 of the group fractions: G3 is not a genetic group."},
      {"a fraction above 1", {{"G1", "G2"}, {{"B", "sire", "G1", 1.5}}},
       "Row 1 of the group fractions: the fraction is a number above 0 and at most 1."},
      {"a missing fraction", {{"G1", "G2"}, {{"B", "sire", "G1", std::nan("")}}},
       "Row 1 of the group fractions: the fraction is a number above 0 and at most 1."},
      {"fractions short of 1", {{"G1", "G2"}, {{"B", "sire", "G1", 0.5}, {"B", "sire", "G2", 0.25}}},
       "The fractions of the sire of B do not sum to 1."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Session::FromColumns(columns, 0, c.options);
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_EQ(refused.what(), c.message);
    }
  }
  // The same groups as a file's are accepted from a file's pedigree too.
  const test::TempFile file("Progeny Sire Dam\nA 0 0\nB G1 G2\nC A B\n");
  const auto read = Session::Read(file.path(), {}, 0, {{" G1", "G2\t"}, {{" b ", "Sire", "g2", 1.0}}});
  EXPECT_EQ(read->InverseOfA().n, 5);
}

// Rows X1..Xn, odd ones male: parents earlier (a sire male, a dam female)
// or unknown; the Sex column gives the founders' sexes. By position.
struct SexedRows {
  PedigreeColumns columns{{"Progeny", "Sire", "Dam", "Sex"}, {{}, {}, {}, {}}};
  std::vector<std::array<int, 2>> parent;
};

SexedRows MakeSexedRows(std::uint32_t seed, int n) {
  std::mt19937 random(seed);
  SexedRows out;
  for (int i = 0; i < n; ++i) {
    out.columns.cells[0].push_back("X" + std::to_string(i + 1));
    out.parent.push_back({-1, -1});
    for (int role = 0; role < 2; ++role) {
      const int candidates = (i + (role == 0 ? 1 : 0)) / 2;
      const bool known = candidates > 0 && random() % 4 != 0;
      const int p = known ? 2 * static_cast<int>(random() % static_cast<unsigned>(candidates)) + role : -1;
      out.parent[static_cast<std::size_t>(i)][static_cast<std::size_t>(role)] = p;
      out.columns.cells[static_cast<std::size_t>(role) + 1].push_back(
          p < 0 ? "0" : out.columns.cells[0][static_cast<std::size_t>(p)]);
    }
    out.columns.cells[3].push_back(i % 2 == 0 ? "M" : "F");
  }
  return out;
}

// S by its tabular rules, in input order (parents come first).
std::vector<double> TabularS(const SexedRows& rows) {
  const std::size_t n = rows.parent.size();
  std::vector<double> s(n * n, 0.0);
  const auto at = [&](std::size_t x, int p) { return p < 0 ? 0.0 : s[x * n + static_cast<std::size_t>(p)]; };
  for (std::size_t y = 0; y < n; ++y) {
    const auto [sire, dam] = rows.parent[y];
    const bool male = y % 2 == 0;
    for (std::size_t x = 0; x < y; ++x)
      s[x * n + y] = s[y * n + x] = male ? at(x, dam) : 0.5 * (at(x, sire) + at(x, dam));
    s[y * n + y] = male ? 1.0 : 0.5 * (1.0 + (sire < 0 ? 0.0 : at(static_cast<std::size_t>(sire), dam)));
  }
  return s;
}

TEST(Session, XLinkedRelationshipsFollowTheTabularRulesAndInvert) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    const SexedRows rows = MakeSexedRows(seed, 10 + static_cast<int>(seed % 40));
    const auto s = Session::FromColumns(rows.columns);
    const std::vector<double> exact = TabularS(rows);
    const std::vector<double> got = Dense(s->XLinked(false));
    const std::vector<double> inverse = Dense(s->XLinked(true));
    const std::size_t n = rows.parent.size();
    ASSERT_EQ(got.size(), n * n);
    ASSERT_EQ(inverse.size(), n * n);
    for (std::size_t i = 0; i < n * n; ++i) ASSERT_NEAR(got[i], exact[i], 1e-6) << "cell " << i;
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) {
        double product = 0.0;
        for (std::size_t k = 0; k < n; ++k) product += inverse[i * n + k] * exact[k * n + j];
        ASSERT_NEAR(product, i == j ? 1.0 : 0.0, 1e-4) << i << ", " << j;
      }
  }
}

TEST(Session, XLinkedIsRefusedForAnUnknownSexAndSAboveItsSize) {
  // Z is a founder of no progeny with no sex given.
  const auto unknown = Session::FromColumns(Columns({"A", "B", "C", "Z"}, {"0", "0", "A", "0"}, {"0", "0", "B", "0"}));
  for (const bool inverse : {false, true}) {
    try {
      unknown->XLinked(inverse);
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_STREQ(refused.what(),
                   "The sex of Z is unknown: X-linked relationships need the sex of every individual "
                   "(a Sex column, or its role as a parent).");
    }
  }
  PedigreeColumns many{{"Progeny", "Sire", "Dam", "Sex"}, {{}, {}, {}, {}}};
  for (int i = 0; i < 5001; ++i) {
    many.cells[0].push_back("F" + std::to_string(i));
    many.cells[1].push_back("0");
    many.cells[2].push_back("0");
    many.cells[3].push_back("F");
  }
  const auto large = Session::FromColumns(many);
  try {
    large->XLinked(false);
    ADD_FAILURE() << "accepted";
  } catch (const Refused& refused) {
    EXPECT_STREQ(refused.what(),
                 "The X-linked relationship matrix is written for at most 5000 individuals; its "
                 "inverse for any number.");
  }
  EXPECT_EQ(large->XLinked(true).value, std::vector<double>(5001, 2.0));
}


// Rows M1..Mn whose parents are earlier rows (sires odd, dams even), one
// of three metafounders, or plain unknown; Gamma a random positive definite
// matrix given as rows in the order "mf2", "MF0", "mf1" first appear. Kept
// by position: each row's parents, -1 unknown, -2 - k metafounder k.
struct MetafounderRows {
  PedigreeColumns columns{{"Progeny", "Sire", "Dam"}, {{}, {}, {}}};
  LoadOptions options;
  std::vector<std::array<int, 2>> parent;
  std::vector<double> gamma;  // 3 x 3, by metafounder number
};

MetafounderRows MakeMetafounderRows(std::uint32_t seed, int n) {
  const std::vector<std::string> names{"MF0", "mf1", "mf2"};
  std::mt19937 random(seed);
  const auto uniform = [&] { return static_cast<double>(random() % 1000) / 1000.0; };
  MetafounderRows out;
  // Gamma = B B' / 3 + 0.05 I: positive definite, values of a few tenths.
  std::array<double, 9> b{};
  for (double& x : b) x = uniform();
  out.gamma.assign(9, 0.0);
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) {
      for (std::size_t k = 0; k < 3; ++k) out.gamma[i * 3 + j] += b[i * 3 + k] * b[j * 3 + k] / 3.0;
      if (i == j) out.gamma[i * 3 + j] += 0.05;
      // What the file's float holds.
      out.gamma[i * 3 + j] = static_cast<double>(static_cast<float>(out.gamma[i * 3 + j]));
    }
  for (const auto& [i, j] : std::vector<std::pair<int, int>>{{2, 2}, {0, 2}, {0, 0}, {1, 0}, {1, 1}, {2, 1}})
    out.options.metafounders.push_back({names[static_cast<std::size_t>(i)], names[static_cast<std::size_t>(j)],
                                        out.gamma[static_cast<std::size_t>(i * 3 + j)]});
  for (int i = 0; i < n; ++i) {
    out.columns.cells[0].push_back("M" + std::to_string(i + 1));
    out.parent.push_back({-1, -1});
    for (int role = 0; role < 2; ++role) {
      const int kind = static_cast<int>(random() % 10);
      const int candidates = (i + (role == 0 ? 1 : 0)) / 2;
      std::string cell = "0";
      int p = -1;
      if (kind < 5 && candidates > 0) {
        p = 2 * static_cast<int>(random() % static_cast<unsigned>(candidates)) + role;
        cell = out.columns.cells[0][static_cast<std::size_t>(p)];
      } else if (kind < 9) {
        const int k = static_cast<int>(random() % 3);
        p = -2 - k;
        cell = names[static_cast<std::size_t>(k)];
      }
      out.parent[static_cast<std::size_t>(i)][static_cast<std::size_t>(role)] = p;
      out.columns.cells[static_cast<std::size_t>(role) + 1].push_back(cell);
    }
  }
  return out;
}

// A^Gamma by the tabular method over the pedigree augmented with the
// metafounders: the individuals in input order, then the metafounders in
// the order `order` gives (GroupIds' order, by metafounder number).
std::vector<double> TabularAGamma(const MetafounderRows& rows, const std::array<int, 3>& order) {
  const std::size_t n = rows.parent.size(), m = n + 3;
  // Working index: metafounders 0..2 first, individual i at 3 + i.
  std::vector<double> w(m * m, 0.0);
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) w[i * m + j] = rows.gamma[i * 3 + j];
  const auto index = [](int p) { return p <= -2 ? -2 - p : p < 0 ? -1 : 3 + p; };
  const auto at = [&](int i, std::size_t j) { return i < 0 ? 0.0 : w[static_cast<std::size_t>(i) * m + j]; };
  for (std::size_t i = 0; i < n; ++i) {
    const int s = index(rows.parent[i][0]), d = index(rows.parent[i][1]);
    const std::size_t x = 3 + i;
    for (std::size_t j = 0; j < x; ++j) w[x * m + j] = w[j * m + x] = 0.5 * (at(s, j) + at(d, j));
    w[x * m + x] = 1.0 + (d < 0 ? 0.0 : 0.5 * at(s, static_cast<std::size_t>(d)));
  }
  const auto place = [&](std::size_t k) { return k < 3 ? n + static_cast<std::size_t>(order[k]) : k - 3; };
  std::vector<double> out(m * m);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < m; ++j) out[place(i) * m + place(j)] = w[i * m + j];
  return out;
}

TEST(Session, MetafoundersGiveFRelationshipsAndTheInverseOfTheTabularAGamma) {
  for (std::uint32_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE(seed);
    const MetafounderRows rows = MakeMetafounderRows(seed, 15 + static_cast<int>(seed % 30));
    const auto s = Session::FromColumns(rows.columns, 0, rows.options);
    // Numbered as they first appear, spelled as they first appear.
    ASSERT_EQ(s->GroupIds(), (std::vector<std::string>{"mf2", "MF0", "mf1"}));
    const std::vector<double> exact = TabularAGamma(rows, {1, 2, 0});
    const std::size_t n = rows.parent.size(), m = n + 3;
    const std::vector<double> f = RealCells(*s->Inbreeding().Find("inbreeding"), "f");
    ASSERT_EQ(f.size(), n);
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(f[i], exact[i * m + i] - 1.0, 1e-5) << "F of " << i;
    const std::vector<std::string> ids = s->Ids();
    const std::vector<double> a = s->RelationshipMatrix(ids, RelationshipKind::kNumerator);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) ASSERT_NEAR(a[j * n + i], exact[i * m + j], 1e-5) << i << ", " << j;
    EXPECT_NEAR(s->Relationship(ids[0], ids[n - 1], RelationshipKind::kNumerator), exact[n - 1], 1e-5);
    const std::vector<double> inverse = Inverse(exact, m);
    for (const bool inDouble : {false, true}) {
      s->SetDoublePrecision(inDouble);
      const LowerTriplets t = s->InverseOfA();
      ASSERT_EQ(t.n, static_cast<std::int32_t>(m));
      const std::vector<double> got = Dense(t);
      const double tolerance = inDouble ? 1e-8 : 2e-4;
      for (std::size_t i = 0; i < m * m; ++i)
        ASSERT_NEAR(got[i], inverse[i], tolerance * (1 + std::abs(inverse[i]))) << "cell " << i;
    }
  }
}

// An extract keeps the groups or metafounders where they stood: the same
// F under Gamma, the same groups after the individuals in the inverse.
TEST(Session, ExtractsKeepTheGroupsAndMetafounders) {
  LoadOptions options;
  options.metafounders = {{"MF1", "MF1", 0.4}, {"MF2", "MF1", 0.1}, {"MF2", "MF2", 0.6}};
  const PedigreeColumns columns = Columns({"A", "B", "C", "D"}, {"MF1", "MF1", "A", "0"}, {"MF1", "MF2", "B", "MF2"});
  const auto withGamma = Session::FromColumns(columns, 0, options);
  const auto up = withGamma->ExtractIndividual(Session::Kinship::kAncestors, "C");
  EXPECT_EQ(up->GroupIds(), (std::vector<std::string>{"MF1", "MF2"}));
  EXPECT_EQ(RealCells(*up->Inbreeding().Find("inbreeding"), "f"), (std::vector<double>{0.2, 0.05, 0.125}));
  LoadOptions plain;
  plain.geneticGroups = {"MF1", "MF2"};
  const auto withGroups = Session::FromColumns(columns, 0, plain);
  const auto extracted = withGroups->ExtractIndividual(Session::Kinship::kAncestors, "C");
  EXPECT_EQ(extracted->size(), 3);
  EXPECT_EQ(extracted->InverseOfA().n, 5);
}

TEST(Session, MetafounderOptionsAndCommandsWithoutTheModelAreRefused) {
  const PedigreeColumns columns = Columns({"A", "B", "C"}, {"0", "G1", "A"}, {"0", "G2", "B"});
  const std::vector<MetafounderRow> gamma{{"G1", "G1", 0.5}, {"G2", "G2", 0.5}};
  struct Case {
    const char* name;
    std::vector<std::string> groups;
    std::vector<GroupFractionRow> fractions;
    std::vector<MetafounderRow> metafounders;
    std::string message;
  };
  const std::string withGroups = "Metafounders cannot be used with genetic groups or group fractions.";
  const std::vector<Case> cases = {
      {"with groups", {"G1"}, {}, gamma, withGroups},
      {"with fractions", {}, {{"B", "sire", "G1", 1.0}}, gamma, withGroups},
      {"a pair twice", {}, {}, {{"G1", "G1", 0.5}, {"g1", "G1", 0.5}},
       "Row 2 of the metafounders: the pair G1 G1 is given twice."},
      {"the unknown mark", {}, {}, {{"G1", "0", 0.1}}, "Row 1 of the metafounders: 0 is the mark of an unknown parent."},
      {"a missing group", {}, {}, {{"G1", "G1", 0.5}, {" ", "G1", 0.5}}, "Row 2 of the metafounders: a group is missing."},
      {"a missing value", {}, {}, {{"G1", "G1", std::nan("")}}, "Row 1 of the metafounders: the value nan is not a number."},
      {"no diagonal", {}, {}, {{"G1", "G1", 0.5}, {"G1", "G2", 0.1}},
       "The metafounders file gives no value of G2 with itself."},
      {"not positive semi-definite", {}, {}, {{"G1", "G1", 0.1}, {"G1", "G2", -0.5}, {"G2", "G2", 0.1}},
       "Row 2 of the metafounders: the value -0.5 of G1 with G2 exceeds 0.1 in size, the square root of the "
       "product of their values with themselves, so the metafounders' relationships are not positive "
       "semi-definite."},
      {"a diagonal beyond 2", {}, {}, {{"G1", "G1", 1e308}},
       "Row 1 of the metafounders: the value 1e+308 of G1 with itself lies outside 0 to 2."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadOptions options;
    options.geneticGroups = c.groups;
    options.groupFractions = c.fractions;
    options.metafounders = c.metafounders;
    try {
      Session::FromColumns(columns, 0, options);
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_EQ(refused.what(), c.message);
    }
  }
  LoadOptions options;
  options.metafounders = gamma;
  const auto s = Session::FromColumns(columns, 0, options);
  const std::string noModel =
      "This command does not take metafounders into account. Open the pedigree again to use it without them.";
  const std::vector<std::pair<const char*, std::function<void()>>> commands = {
      {"dominance", [&] { s->Dominance(std::nullopt, false, 0.0); }},
      {"x-linked", [&] { s->XLinked(true); }},
      {"diversity", [&] { s->Diversity(std::nullopt); }},
      {"average relatedness", [&] { s->AverageRelatedness(); }},
  };
  for (const auto& [name, run] : commands) {
    SCOPED_TRACE(name);
    try {
      run();
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_EQ(refused.what(), noModel);
    }
  }
  EXPECT_EQ(s->InverseOfA().n, 5);  // still usable
  // Gamma of rank 1 gives F and relationships, but no inverse.
  options.metafounders = {{"G1", "G1", 0.25}, {"G1", "G2", 0.25}, {"G2", "G2", 0.25}};
  const auto singular = Session::FromColumns(columns, 0, options);
  EXPECT_EQ(RealCells(*singular->Inbreeding().Find("inbreeding"), "f"), (std::vector<double>{0, 0.125, 0}));
  try {
    singular->InverseOfA();
    ADD_FAILURE() << "accepted";
  } catch (const Refused& refused) {
    EXPECT_STREQ(refused.what(), kSingularGamma);
  }
}

// d_ij = (a(s_i, s_j) a(d_i, d_j) + a(s_i, d_j) a(d_i, s_j)) / 4 from the
// tabular A by position, among `members` (positions, ascending).
std::vector<double> FormulaD(const Pedigree& ped, const std::vector<std::size_t>& members) {
  const std::vector<double> a = TabularByPosition(ped);
  const auto n = static_cast<std::size_t>(ped.nTotal);
  const auto parent = [&](std::size_t i, bool sire) {
    const Rec& r = ped.rec(static_cast<RecIndex>(i + 1));
    return static_cast<int>(sire ? r.sire : r.dam) - 1;  // -1: unknown
  };
  const auto at = [&](int x, int y) {
    return x < 0 || y < 0 ? 0.0 : a[static_cast<std::size_t>(x) * n + static_cast<std::size_t>(y)];
  };
  const std::size_t k = members.size();
  std::vector<double> d(k * k, 0.0);
  for (std::size_t i = 0; i < k; ++i)
    for (std::size_t j = 0; j < k; ++j) {
      const std::size_t x = members[i], y = members[j];
      d[i * k + j] = i == j ? 1.0
                            : 0.25 * (at(parent(x, true), parent(y, true)) * at(parent(x, false), parent(y, false)) +
                                      at(parent(x, true), parent(y, false)) * at(parent(x, false), parent(y, true)));
    }
  return d;
}

TEST(Session, DominanceIsTheFormulaOnTheTabularAAndInverts) {
  int inverted = 0;
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 50);
    const test::RandomPedigree p = test::MakeRandomPedigree(options);
    const auto s = Session::FromColumns(ColumnsOf(p));
    if (s->size() < 2) continue;  // the command needs two individuals
    const Pedigree& ped = s->pedigree();
    const std::vector<int> groups = s->Groups();
    const std::optional<int> group =
        seed % 2 == 0 && !groups.empty() ? std::optional<int>(groups[seed % groups.size()]) : std::nullopt;
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < static_cast<std::size_t>(ped.nTotal); ++i)
      if (!group || ped.GroupNumber(ped.rec(static_cast<RecIndex>(i + 1))) == *group) members.push_back(i);
    const std::vector<double> exact = FormulaD(ped, members);
    const std::size_t k = members.size();
    for (const bool inDouble : {false, true}) {
      s->SetDoublePrecision(inDouble);
      const MemberMatrix d = s->Dominance(group, false, 0.0);
      ASSERT_EQ(d.ids.size(), k);
      for (std::size_t i = 0; i < k; ++i) EXPECT_EQ(d.ids[i], s->Ids()[members[i]]);
      ASSERT_EQ(d.lower.n, static_cast<std::int32_t>(k));
      for (std::size_t e = 0; e < d.lower.value.size(); ++e) {
        ASSERT_NE(d.lower.value[e], 0.0);
        if (e > 0) {
          ASSERT_TRUE(d.lower.col[e - 1] < d.lower.col[e] ||
                      (d.lower.col[e - 1] == d.lower.col[e] && d.lower.row[e - 1] < d.lower.row[e]));
        }
      }
      const std::vector<double> got = Dense(d.lower);
      for (std::size_t i = 0; i < k * k; ++i) ASSERT_NEAR(got[i], exact[i], 1e-6) << "cell " << i;
      // Small elements left out, the others kept.
      const std::vector<double> large = Dense(s->Dominance(group, false, 0.1).lower);
      for (std::size_t i = 0; i < k * k; ++i) ASSERT_EQ(large[i], std::abs(got[i]) < 0.1 ? 0.0 : got[i]);
    }
    MemberMatrix inverse;
    try {
      inverse = s->Dominance(group, true, 0.0);
    } catch (const Refused& refused) {  // inbreeding may leave D indefinite
      EXPECT_NE(std::string(refused.what()).find("not positive definite"), std::string::npos);
      continue;
    }
    const std::vector<double> dinv = Dense(inverse.lower);
    for (std::size_t i = 0; i < k; ++i)
      for (std::size_t j = 0; j < k; ++j) {
        double product = 0.0;
        for (std::size_t l = 0; l < k; ++l) product += dinv[i * k + l] * exact[l * k + j];
        ASSERT_NEAR(product, i == j ? 1.0 : 0.0, 1e-3) << i << ", " << j;
      }
    ++inverted;
  }
  EXPECT_GE(inverted, 10);
}

TEST(Session, DominanceRefusals) {
  const PedigreeColumns columns{{"Progeny", "Sire", "Dam", "Group"}, {{"A", "B", "C"}, {"0", "0", "A"}, {"0", "0", "B"}, {"1", "1", "2"}}};
  const auto s = Session::FromColumns(columns);
  struct Case {
    const char* name;
    std::optional<int> group;
    bool inverse;
    double minValue;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a group not there", 7, false, 0.0, "Group \"7\" is not in the pedigree."},
      {"a negative smallest value", std::nullopt, false, -0.5, "The smallest value must be a number of 0 or more."},
      {"a missing smallest value", std::nullopt, true, std::nan(""), "The smallest value must be a number of 0 or more."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      s->Dominance(c.group, c.inverse, c.minValue);
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_EQ(refused.what(), c.message);
    }
  }
  EXPECT_EQ(s->Dominance(2, true, 0.0).ids, std::vector<std::string>{"C"});
  PedigreeColumns many = Columns({}, {}, {});
  for (int i = 0; i < kMaxDominanceIndividuals + 1; ++i) {
    many.cells[0].push_back("F" + std::to_string(i));
    many.cells[1].push_back("0");
    many.cells[2].push_back("0");
  }
  const auto large = Session::FromColumns(many);
  for (const bool inverse : {false, true}) {
    try {
      large->Dominance(std::nullopt, inverse, 0.0);
      ADD_FAILURE() << "accepted";
    } catch (const Refused& refused) {
      EXPECT_EQ(refused.what(), DominanceSizeRefusal(kMaxDominanceIndividuals + 1, inverse));
    }
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

// Groups by birth year hold both sexes: the sires and dams of one year
// are named by ID.
TEST(Session, MatingCommandsTakeSiresAndDamsByIdWithinOneGroup) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  EXPECT_THROW(s->MateSuitability(2, 2, std::nullopt, 0.0625), Refused);
  const MateSet sires = std::vector<std::string>{"b4", "B1"};
  const MateSet dams = std::vector<std::string>{"B2", "B3"};
  const ResultTable pairs = *s->MateSuitability(sires, dams, std::nullopt, 0.0625).Find("mate_suitability");
  ASSERT_EQ(pairs.rows(), 4u);
  const std::vector<std::string> sireCells = TextCells(pairs, "sire");
  const std::vector<std::string> damCells = TextCells(pairs, "dam");
  const std::vector<double> f = RealCells(pairs, "offspring_f");
  for (std::size_t i = 0; i < pairs.rows(); ++i) {
    EXPECT_TRUE(sireCells[i] == "B1" || sireCells[i] == "B4") << sireCells[i];
    const double kinship = s->Relationship(sireCells[i], damCells[i], RelationshipKind::kNumerator) / 2;
    EXPECT_NEAR(f[i], kinship, 1e-6) << sireCells[i] << " x " << damCells[i];
  }
  // A group on one side, IDs on the other.
  EXPECT_EQ(s->MateSuitability(std::vector<std::string>{"B1", "B4"}, 3, std::nullopt, 0.0625)
                .Find("mate_suitability")->rows(), 8u);
  // The listed form gives what the groups give.
  EXPECT_EQ(Csv(s->MateSuitability(std::vector<std::string>{"B1", "B2", "B3", "B4"},
                                   std::vector<std::string>{"C1", "C2", "C3", "C4"}, std::nullopt, 0.0625)),
            Csv(s->MateSuitability(2, 3, std::nullopt, 0.0625)));
  ContributionRequest request;
  request.sireGroup = sires;
  request.damGroup = dams;
  EXPECT_EQ(s->OptimumContributions(request).Find("contributions")->rows(), 4u);
}

TEST(Session, ListedMatesAreRefusedByName) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  struct Row {
    const char* name;
    MateSet sires;
    MateSet dams;
    std::string message;
  };
  using Ids = std::vector<std::string>;
  const Row rows[] = {
      {"unknown ID", Ids{"B1", "ZZ"}, Ids{"B2"}, "Cannot find individual \"ZZ\" in the pedigree."},
      {"twice", Ids{"B1", "b1"}, Ids{"B2"}, "Error: Individual b1 is listed twice among the sires."},
      {"both", Ids{"B1", "B4"}, Ids{"B2", "B4"}, "Error: Individual B4 is listed both as a sire and as a dam."},
      {"no dams", Ids{"B1"}, Ids{}, "Error: No dams are listed."},
      {"no group", Ids{"B1"}, 9, "Error: There is no group 9."},
  };
  for (const Row& row : rows) {
    try {
      s->MateSuitability(row.sires, row.dams, std::nullopt, 0.0625);
      ADD_FAILURE() << row.name << ": not refused";
    } catch (const Refused& e) {
      EXPECT_EQ(std::string(e.what()), row.message) << row.name;
    }
  }
  // Still usable, with the groups.
  EXPECT_EQ(s->MateSuitability(2, 3, std::nullopt, 0.0625).Find("mate_suitability")->rows(), 16u);
}

TEST(Session, SiresLeftOutOfTheContributionsGetNoDams) {
  const auto s = Session::Read(KINVAR_EXAMPLES_DIR "/herd.pdg");
  struct Row {
    const char* name;
    MatingRequest request;
    std::map<std::string, int> perSire;  // empty: refused with `message`
    std::string message;
  };
  using Ids = std::vector<std::string>;
  const Row rows[] = {
      {"two of four sires of a group", {2, 3, {{"B1", 3}, {"b4", 1}}, {}, true, 7}, {{"B1", 3}, {"B4", 1}}, ""},
      {"listed sires", {Ids{"B1", "B4"}, Ids{"B2", "B3"}, {{"B4", 2}}, {}, true, 7}, {{"B4", 2}}, ""},
      {"not a sire", {2, 3, {{"B1", 3}, {"C1", 1}, {"XX", 0}}, {}, true, 7}, {},
       "Error: The contributions name individuals that are not among the sires: C1, XX."},
      {"repeated", {2, 3, {{"B1", 3}, {"b1", 1}}, {}, true, 7}, {}, "Error: Sire b1 has more than one contribution."},
      {"negative", {2, 3, {{"B1", 5}, {"B2", -1}}, {}, true, 7}, {}, "Error: The contribution of sire B2 is negative."},
      {"sum", {Ids{"B1", "B4"}, Ids{"B2", "B3"}, {{"B4", 1}}, {}, true, 7}, {},
       "Error: The contributions sum to 1, not to the 2 dams."},
      {"forbidden stranger", {Ids{"B1", "B4"}, Ids{"B2", "B3"}, {{"B4", 2}}, {{"B4", "C1"}}, true, 7}, {},
       "Error: Individual C1 of the forbidden matings is neither a sire nor a dam here."},
  };
  for (const Row& row : rows) {
    if (row.perSire.empty()) {
      try {
        s->OptimizeMatings(row.request);
        ADD_FAILURE() << row.name << ": not refused";
      } catch (const Refused& e) {
        EXPECT_EQ(std::string(e.what()), row.message) << row.name;
      }
      continue;
    }
    const ResultSet result = s->OptimizeMatings(row.request);
    std::map<std::string, int> perSire;
    for (const std::string& sire : TextCells(*result.Find("matings"), "sire")) ++perSire[sire];
    EXPECT_EQ(perSire, row.perSire) << row.name;
  }
}

}  // namespace
}  // namespace kinvar
