// The typed tables of the relationship, dii, inverse and matrix T commands:
// their names and columns as scripts rely on them, their rows against the
// report's lines, and their values against the tabular A in double precision
// on random pedigrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analyses/inverse_a_command.h"
#include "genetics/inverse_a.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

using test::DenseMatrix;
using test::DocSession;

constexpr const char* kGroups =
    "progeny sire dam group\nS 0 0 1\nD 0 0 1\nO S D 2\nP O D 2\nQ O D 1\n";

struct LayoutCase {
  const char* name;
  std::function<void(DocSession&, const std::string& out)> run;
  const char* layout;
};

void RunCommand(DocSession& s, std::int32_t command) { s.doc.RunCommand(command); }

// The answers a file command asks for: the first choice, then `out`.
void Files(DocSession& s, const std::string& out) {
  s.platform.saveChoices = {1};
  s.platform.fileNames = {out};
}

const char* const kPairs = "pairs(id1:id id2:id value:real)\n";
const char* const kInverse =
    "ainverse(row:integer col:integer value:real)\n"
    "recoding(code:integer sire_code:integer dam_code:integer id:id)\n";

const LayoutCase kLayouts[] = {
    {"dii", [](DocSession& s, const std::string&) { RunCommand(s, kCmdDii); }, "dii(id:id code:integer dii:real)\n"},
    {"inverse listing", [](DocSession& s, const std::string& out) { Files(s, out); RunCommand(s, kCmdInverseA); },
     kInverse},
    {"inverse triplets",
     [](DocSession& s, const std::string& out) {
       Files(s, out);
       CommandContext ctx = s.doc.Context();
       WriteInverseOfA(ctx, InverseOutput::kTriplets);
     },
     kInverse},
    {"matrix T", [](DocSession& s, const std::string& out) { Files(s, out); RunCommand(s, kCmdMatrixT); },
     "matrix_t(row_id:id col_id:id value:real)\n"},
    {"between all", [](DocSession& s, const std::string&) { RunCommand(s, kCmdBetweenAll); }, kPairs},
    {"within a group",
     [](DocSession& s, const std::string&) { s.platform.groupChoices = {1}; RunCommand(s, kCmdWithinGroup); },
     kPairs},
    {"between two groups",
     [](DocSession& s, const std::string&) {
       s.platform.groupPairs = {std::pair{1, 2}};
       RunCommand(s, kCmdBetweenTwoGroups);
     },
     kPairs},
    {"average between groups", [](DocSession& s, const std::string&) { RunCommand(s, kCmdAverageBetweenGroups); },
     "group_averages(group1:integer group2:integer value:real)\n"},
    {"average relatedness", [](DocSession& s, const std::string&) { RunCommand(s, kCmdAverageRelatedness); },
     "average_relatedness(id:id value:real)\n"},
};

TEST(GeneticsTables, NamesAndColumnsThatScriptsRelyOn) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    DocSession s(kGroups);
    const test::TempFile out("", ".out");
    c.run(s, out.path());
    const Pedigree& ped = s.doc.pedigree();
    EXPECT_EQ(test::Layout(ped.writtenTables.empty() ? ped.report.tables() : ped.writtenTables), c.layout);
  }
}

// A random pedigree with its tabular A (records in code order once a
// command has computed the coefficients) and the code of every ID.
struct Case {
  explicit Case(std::uint64_t seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 45);
    options.groupColumn = true;
    random = test::MakeRandomPedigree(options);
    session = std::make_unique<DocSession>(random.text);
    RunCommand(*session, kCmdDii);
    a = test::TabularA(ped());
    for (RecIndex i = 1; i <= ped().nTotal; ++i) code[ped().rec(i).id] = ped().rec(i).code - 1;
  }
  const Pedigree& ped() const { return session->doc.pedigree(); }
  const ResultTable& Table(const char* name) const {
    const ResultTable* t = ped().report.tables().Find(name);
    if (t == nullptr) t = ped().writtenTables.Find(name);
    EXPECT_NE(t, nullptr) << name;
    return *t;
  }
  double A(const std::string& x, const std::string& y) const {
    return a(static_cast<std::size_t>(code.at(x)), static_cast<std::size_t>(code.at(y)));
  }

  test::RandomPedigree random;
  std::unique_ptr<DocSession> session;
  DenseMatrix a;
  std::map<std::string, std::int32_t> code;  // 0-based
};

// The number a report line ends with, after its last "|I".
double LineNumber(const std::string& line) { return std::stod(line.substr(line.rfind("|I") + 2)); }

// The default %g keeps six significant digits.
bool SameAsShown(double shown, double value) {
  return std::abs(shown - value) <= 6e-6 * std::abs(value) + 1e-30;
}

bool Near(double x, double y, double tolerance = 2e-5) {
  return std::abs(x - y) <= tolerance * std::max(1.0, std::abs(y));
}

// dii is the D of A = T D T': a(i,i) less a quarter of the known parents' A.
void ExpectDiiCoversEveryIndividualInTheFilesOrder(const Case& c) {
  const ResultTable& t = c.Table("dii");
  ASSERT_EQ(t.rows(), static_cast<std::size_t>(c.ped().nTotal));
  const auto ids = test::TextCells(t, "id");
  const auto codes = test::IntegerCells(t, "code");
  const auto dii = test::RealCells(t, "dii");
  const auto lines = c.session->Report();
  for (std::size_t k = 0; k < t.rows(); ++k) {
    const Rec& r = c.ped().rec(static_cast<RecIndex>(k) + 1);
    ASSERT_EQ(ids[k], r.Id());
    EXPECT_EQ(codes[k], r.code);
    const std::string s = c.ped().rec(r.sire).id, d = c.ped().rec(r.dam).id;
    double expected = c.A(ids[k], ids[k]);
    if (r.sire != kUnknownParent) expected -= 0.25 * c.A(s, s);
    if (r.dam != kUnknownParent) expected -= 0.25 * c.A(d, d);
    if (r.sire != kUnknownParent && r.dam != kUnknownParent) expected -= 0.5 * c.A(s, d);
    EXPECT_TRUE(Near(dii[k], expected)) << ids[k] << " " << dii[k] << " " << expected;
    // Lines 0 and 1 head the listing; one more separates the added parents.
    const std::size_t line = k + 2 + (k >= static_cast<std::size_t>(c.ped().nRead) ? 1 : 0);
    EXPECT_TRUE(SameAsShown(LineNumber(lines[line]), dii[k])) << lines[line];
  }
}

// A times the inverse built from the table is the identity; the recoding
// table maps every code to its individual.
void ExpectInverseTimesTheTabularAIsTheIdentity(const Case& c) {
  const test::TempFile out("", ".out");
  c.session->platform.saveChoices = {1};
  c.session->platform.fileNames = {out.path()};
  RunCommand(*c.session, kCmdInverseA);
  const ResultTable& t = c.Table("ainverse");
  const std::size_t n = c.a.n;
  DenseMatrix inverse{n, std::vector<double>(n * n, 0.0)};
  const auto rows = test::IntegerCells(t, "row");
  const auto cols = test::IntegerCells(t, "col");
  const auto values = test::RealCells(t, "value");
  for (std::size_t k = 0; k < t.rows(); ++k) {
    ASSERT_LE(cols[k], rows[k]);
    ASSERT_TRUE(k == 0 || rows[k - 1] < rows[k] || cols[k - 1] < cols[k]);
    const auto i = static_cast<std::size_t>(rows[k] - 1), j = static_cast<std::size_t>(cols[k] - 1);
    inverse(i, j) = inverse(j, i) = values[k];
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < n; ++k) sum += c.a(i, k) * inverse(k, j);
      ASSERT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-3) << i << " " << j;
    }
  const ResultTable& recoding = c.Table("recoding");
  const auto ids = test::TextCells(recoding, "id");
  const auto codes = test::IntegerCells(recoding, "code");
  ASSERT_EQ(recoding.rows(), n);
  for (std::size_t k = 0; k < n; ++k) {
    EXPECT_EQ(codes[k], static_cast<std::int64_t>(k) + 1);
    EXPECT_EQ(c.code.at(ids[k]), static_cast<std::int32_t>(k));
  }
}

// T from its table and D from dii give back A.
void ExpectMatrixTWithDiiGivesTheTabularA(const Case& c) {
  const std::size_t n = c.a.n;
  std::vector<double> d(n);
  const auto diiIds = test::TextCells(c.Table("dii"), "id");
  const auto dii = test::RealCells(c.Table("dii"), "dii");
  for (std::size_t k = 0; k < n; ++k) d[static_cast<std::size_t>(c.code.at(diiIds[k]))] = dii[k];
  const test::TempFile out("", ".out");
  c.session->platform.fileNames = {out.path()};
  RunCommand(*c.session, kCmdMatrixT);
  const ResultTable& t = c.Table("matrix_t");
  DenseMatrix tm{n, std::vector<double>(n * n, 0.0)};
  const auto rowIds = test::TextCells(t, "row_id");
  const auto colIds = test::TextCells(t, "col_id");
  const auto values = test::RealCells(t, "value");
  for (std::size_t k = 0; k < t.rows(); ++k) {
    const auto i = static_cast<std::size_t>(c.code.at(rowIds[k]));
    const auto j = static_cast<std::size_t>(c.code.at(colIds[k]));
    ASSERT_LE(j, i);
    ASSERT_NE(values[k], 0.0);
    tm(i, j) = values[k];
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < n; ++k) sum += tm(i, k) * d[k] * tm(j, k);
      ASSERT_TRUE(Near(sum, c.a(i, j))) << i << " " << j << " " << sum << " " << c.a(i, j);
    }
}

// Each table of a random pedigree against the tabular A and the report's
// lines (the listings' and averages' tables are checked with their
// handlers).
TEST(GeneticsTables, TablesOfRandomPedigreesAgreeWithTheTabularAAndTheReport) {
  for (int seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    const Case c(static_cast<std::uint64_t>(seed));
    if (c.ped().nTotal < 2) continue;  // the matrix and pair commands need two
    ExpectDiiCoversEveryIndividualInTheFilesOrder(c);
    ExpectMatrixTWithDiiGivesTheTabularA(c);
    ExpectInverseTimesTheTabularAIsTheIdentity(c);
  }
}

}  // namespace
}  // namespace kinvar
