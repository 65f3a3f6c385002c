// The analyses' typed tables: the names and columns scripts rely on, and on
// random pedigrees the summaries against the report's figure lines, row
// counts against the listings, and values against the tabular A.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "analyses/decomposition_report.h"
#include "analyses/command_ids.h"
#include "support/doc_session.h"
#include "support/test_files.h"
#include "support/random_pedigree.h"
#include "support/report_figures.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

constexpr const char* kHand =
    "progeny sire dam group f sex birth_date\n"
    "A 0 0 1 . M 2000-01-01\nB 0 0 1 . F 2000-03-01\nC A B 2 . F 2003-01-01\n"
    "D A C 2 . M 2005-05-05\nE D C 3 0.25 F 2008-01-01\nF D C 3 0.25 M 2008-01-01\n";

struct SchemaRow {
  const char* name;
  std::int32_t command;
  const char* input;  // an ID, or a group number after "#"
  const char* schemas;
};

void Script(test::DocSession& s, const std::string& input) {
  if (input.empty()) return;
  if (input[0] == '#') s.platform.groupChoices.push_back(std::stoi(input.substr(1)));
  else s.platform.typedIds.push_back(input);
}

class AnalysisTableSchemas : public testing::TestWithParam<SchemaRow> {};

TEST_P(AnalysisTableSchemas, NameTheirTablesAndColumnsAsPublished) {
  test::DocSession s(kHand);
  Script(s, GetParam().input);
  const std::string out = std::filesystem::temp_directory_path() /
                          ("kinvar-tables-" + std::to_string(getpid()) + ".pdg");
  s.platform.fileNames.push_back(out);
  s.doc.RunCommand(GetParam().command);
  std::filesystem::remove(out);
  EXPECT_EQ(test::Layout(s.doc.pedigree().report.tables()), GetParam().schemas);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AnalysisTableSchemas,
    testing::Values(
        SchemaRow{"Structure", kCmdStructure, "",
                  "summary(figure:text value:real)\n"
                  "f_distribution(above:real up_to:real individuals:integer)\n"
                  "longest_path(generations:integer[generations] individuals:integer)\n"
                  "groups(group:integer individuals:integer inbreds:integer founders:integer "
                  "both_parents_known:integer no_progeny:integer unique_ancestors:integer "
                  "mean_f:real mean_f_inbreds:real max_f:real min_f:real mean_relationship:real "
                  "mean_relationship_without_self:real mean_ecg:real[generations] "
                  "max_ecg:real[generations] min_ecg:real[generations])\n"
                  "generation_intervals(pathway:text years:real[years] pairs:integer "
                  "sd:real[years])\n"},
        SchemaRow{"PathCounting", kCmdPathCountingAll, "",
                  "inbreds(family:integer id:id f:real)\n"
                  "paths(family:integer ancestor:id sire_side:integer[generations] "
                  "dam_side:integer[generations] contribution:real path:text)\n"
                  "ncas(family:integer ancestor:id f:real contribution:real)\n"},
        SchemaRow{"Extraction", kCmdExtractAncestorsIndividual, "E",
                  "pedigree(id:id sire:id dam:id group:integer f:real sex:text "
                  "birth_date:text)\n"},
        SchemaRow{"GeneOrigin", kCmdGeneOrigin, "#3",
                  "summary(figure:text value:real)\n"
                  "founder_contributions(id:id contribution:real v1:real v2:real)\n"},
        SchemaRow{"Decomposition", kCmdDecompositionIndividual, "D",
                  "summary(figure:text value:real)\n"
                  "decomposition(id:id m:real u:real v:real)\n"},
        SchemaRow{"Diversity", kCmdDiversity, "#3",
                  "summary(figure:text value:real)\n"
                  "ancestors(rank:integer id:id contribution:real)\n"
                  "groups(group:integer members:integer mean_f:real "
                  "mean_ecg:real[generations] fe:real fa:real ne:real completeness:real "
                  "delta_f:real fa_lower:real)\n"
                  "generation_intervals(pathway:text years:real[years] pairs:integer "
                  "sd:real[years])\n"}),
    [](const testing::TestParamInfo<SchemaRow>& row) { return row.param.name; });

const ResultTable& Table(const test::DocSession& s, const char* name) {
  const ResultTable* t = s.doc.pedigree().report.tables().Find(name);
  if (t == nullptr) ADD_FAILURE() << "no table " << name;
  static const ResultTable kNone("none");
  return t == nullptr ? kNone : *t;
}

double Sum(const ResultTable& t, const char* column) {
  double sum = 0;
  const TableColumn* c = t.Find(column);
  for (std::size_t i = 0; c != nullptr && i < t.rows(); ++i)
    sum += c->type() == ColumnType::kReal ? c->Real(i) : static_cast<double>(c->Integer(i));
  return sum;
}

// Mean F and mean A over the members of `group` (-1: everybody) by the
// tabular method; codes as the loaded pedigree has them.
struct TabularMeans { double f = 0, a = 0, coancestry = 0; std::int64_t members = 0; };

TabularMeans Means(Pedigree& ped, int group) {
  EnsureCodeOrder(ped);
  const test::DenseMatrix a = test::TabularA(ped);
  std::vector<std::size_t> in;
  for (std::size_t i = 0; i < a.n; ++i)
    if (group < 0 || ped.byCode(static_cast<std::int32_t>(i)).group == group) in.push_back(i);
  TabularMeans m;
  m.members = static_cast<std::int64_t>(in.size());
  for (const std::size_t i : in) {
    m.f += a(i, i) - 1.0;
    for (const std::size_t j : in) m.a += a(i, j);
  }
  const double n = static_cast<double>(in.size());
  m.f /= n;
  m.a /= n * n;
  m.coancestry = m.a / 2;
  return m;
}

// `plain`: both parents known or none and no predefined F, where the
// founders' genes account for every member's whole genome.
test::RandomPedigree Random(std::uint64_t seed, bool plain = false) {
  test::RandomPedigreeOptions o = test::VariedOptions(seed, 60);
  o.groupColumn = true;
  if (plain) {
    o.unknownParentChance = 0;
    o.fColumn = false;
  }
  return test::MakeRandomPedigree(o);
}

TEST(AnalysisTables, StructureAgreesWithItsReportAndTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    test::DocSession s(Random(seed).text);
    s.doc.RunCommand(kCmdStructure);
    const std::string where = "seed " + std::to_string(seed);
    test::ExpectSummaryMatchesReport(s.Report(), Table(s, "summary"));
    Pedigree& ped = s.doc.pedigree();
    const ResultTable& groups = Table(s, "groups");
    ASSERT_EQ(groups.rows(), ped.groups.size() + 1) << where;
    EXPECT_EQ(groups.column(1).Integer(0), ped.nTotal) << where;
    EXPECT_EQ(Sum(Table(s, "longest_path"), "individuals"), ped.nTotal) << where;
    if (ped.nInbreds > 0) {
      EXPECT_EQ(Sum(Table(s, "f_distribution"), "individuals"), ped.nInbreds) << where;
    }
    const TabularMeans t = Means(ped, -1);
    EXPECT_NEAR(groups.Find("mean_f")->Real(0), t.f, 1e-5) << where;
    if (ped.nTotal < 2) continue;  // no pair: the report shows 0
    EXPECT_NEAR(groups.Find("mean_relationship")->Real(0), t.a, 1e-5) << where;
  }
}

bool Plain(const Pedigree& ped) {
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    if ((r.sire == kUnknownParent) != (r.dam == kUnknownParent) || r.fPredefined) return false;
  }
  return true;
}

TEST(AnalysisTables, GeneOriginAndDecompositionAgreeWithTheTabularA) {
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    test::DocSession s(Random(seed, true).text);
    Pedigree& ped = s.doc.pedigree();
    if (ped.groups.empty() || !Plain(ped)) continue;
    ++checked;
    const int number = ped.groups[0].group;
    const std::string where = "seed " + std::to_string(seed);
    s.platform.groupChoices.push_back(number);
    s.doc.RunCommand(kCmdGeneOrigin);
    test::ExpectSummaryMatchesReport(s.Report(), Table(s, "summary"));
    const ResultTable& founders = Table(s, "founder_contributions");
    EXPECT_NEAR(Sum(founders, "contribution"), 1.0, 1e-5) << where;
    const TabularMeans t = Means(ped, 0);
    EXPECT_NEAR(Sum(founders, "v1"), t.f, 1e-5) << where;
    EXPECT_NEAR(Sum(founders, "v2"), t.coancestry, 1e-5) << where;
    // Listed: the header and dash lines before, a dash line and Sum after.
    const std::vector<std::string> report = s.Report();
    std::size_t first = 0;
    while (report[first].rfind("Founder|T1", 0) != 0) ++first;
    EXPECT_EQ(founders.rows(), report.size() - first - 4) << where;

    s.platform.groupChoices.push_back(number);
    s.doc.RunCommand(kCmdDecompositionCoancestry);
    test::ExpectSummaryMatchesReport(s.Report(), Table(s, "summary"));
    const ResultTable& d = Table(s, "decomposition");
    EXPECT_EQ(d.rows(), static_cast<std::size_t>(ped.nTotal)) << where;
    EXPECT_NEAR(Sum(d, "m"), t.coancestry, 1e-5) << where;
    EXPECT_NEAR(Sum(d, "v"), t.coancestry, 1e-5) << where;
  }
  EXPECT_GT(checked, 8);
}

TEST(AnalysisTables, DiversitySummaryAgreesWithItsReportAndTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    test::DocSession s(Random(seed).text);
    s.platform.groupChoices.push_back(kAllIndividuals);
    s.doc.RunCommand(kCmdDiversity);
    const std::string where = "seed " + std::to_string(seed);
    const ResultTable& summary = Table(s, "summary");
    test::ExpectSummaryMatchesReport(s.Report(), summary);
    const TabularMeans t = Means(s.doc.pedigree(), -1);
    EXPECT_NEAR(test::Figure(summary, "Mean inbreeding"), t.f, 1e-5) << where;
    EXPECT_NEAR(test::Figure(summary, "Mean coancestry"), t.coancestry, 1e-5) << where;
    EXPECT_EQ(test::Figure(summary, "Reference individuals"), t.members) << where;
    EXPECT_TRUE(std::isnan(test::Figure(summary, "Reference population"))) << where;
    const ResultTable& chosen = Table(s, "ancestors");
    EXPECT_NEAR(Sum(chosen, "contribution"), 1.0, 1e-5) << where;
    EXPECT_EQ(Table(s, "groups").rows(), s.doc.pedigree().groups.size()) << where;
  }
}

// Per family: the paths add up to the NCAs' contributions, those to the F of
// every inbred listed, and that F is the tabular A's.
TEST(AnalysisTables, PathsAddUpToTheInbredsF) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    test::DocSession s(Random(seed).text);
    s.doc.RunCommand(kCmdPathCountingAll);
    if (s.doc.lastCommand() != kCmdPathCountingAll) continue;
    const std::string where = "seed " + std::to_string(seed);
    Pedigree& ped = s.doc.pedigree();
    std::map<std::int64_t, double> paths, ncas;
    const ResultTable& p = Table(s, "paths");
    for (std::size_t i = 0; i < p.rows(); ++i) paths[p.column(0).Integer(i)] += p.column(4).Real(i);
    const ResultTable& n = Table(s, "ncas");
    for (std::size_t i = 0; i < n.rows(); ++i) ncas[n.column(0).Integer(i)] += n.column(3).Real(i);
    EnsureCodeOrder(ped);
    const test::DenseMatrix a = test::TabularA(ped);
    std::map<std::string, double> f;
    std::map<std::string, bool> predefined;
    for (std::size_t i = 0; i < a.n; ++i) {
      const Rec& r = ped.byCode(static_cast<std::int32_t>(i));
      f[std::string(r.Id())] = a(i, i) - 1;
      predefined[std::string(r.Id())] = r.fPredefined;
    }
    const ResultTable& inbreds = Table(s, "inbreds");
    ASSERT_GT(inbreds.rows(), 0u) << where;
    for (std::size_t i = 0; i < inbreds.rows(); ++i) {
      const std::int64_t family = inbreds.column(0).Integer(i);
      const std::string id(inbreds.column(1).Text(i));
      if (predefined.at(id)) continue;
      EXPECT_NEAR(inbreds.column(2).Real(i), f.at(id), 1e-5) << where << " " << id;
      EXPECT_NEAR(paths[family], f.at(id), 1e-5) << where << " " << id;
      EXPECT_NEAR(ncas[family], f.at(id), 1e-5) << where << " " << id;
    }
  }
}

// The pedigree table lists the file's data lines; a file the system could
// not take whole is no extraction: no saved line, no table.
TEST(AnalysisTables, ExtractionListsTheFileItWrote) {
  const std::string out = std::filesystem::temp_directory_path() /
                          ("kinvar-tables-x-" + std::to_string(getpid()) + ".pdg");
  for (const std::string& target : {out, std::string("/dev/full")}) {
    test::DocSession s(kHand);
    s.platform.typedIds.push_back("E");
    s.platform.fileNames.push_back(target);
    const std::uint64_t shown = s.doc.pedigree().report.Generation();
    s.doc.RunCommand(kCmdExtractAncestorsIndividual);
    const ResultSet& tables = s.doc.pedigree().report.tables();
    if (target == "/dev/full") {  // the report shown before keeps its own tables
      EXPECT_EQ(s.doc.pedigree().report.Generation(), shown);
      ASSERT_NE(tables.Find("pedigree"), nullptr);
      EXPECT_EQ(tables.Find("pedigree")->rows(), static_cast<std::size_t>(s.doc.pedigree().nTotal));
      EXPECT_TRUE(s.Report().empty() || s.Report()[0].find("saved") == std::string::npos);
      EXPECT_FALSE(s.platform.messages.empty());
      continue;
    }
    const std::string text = test::ReadWholeFile(out);
    std::filesystem::remove(out);
    std::vector<std::string> ids;
    std::size_t at = text.find("\nProgeny");
    for (at = text.find('\n', at + 1); at + 1 < text.size(); at = text.find('\n', at + 1))
      if (text[at + 1] != '\n') ids.push_back(text.substr(at + 1, text.find(' ', at + 1) - at - 1));
    const ResultTable* t = tables.Find("pedigree");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rows(), ids.size()) << text;
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(t->column(0).Text(i), ids[i]);
    EXPECT_EQ(ids, (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    EXPECT_TRUE(std::isnan(t->Find("f")->Real(0)));
    EXPECT_EQ(t->Find("f")->Real(4), 0.25);
    EXPECT_EQ(t->Find("birth_date")->Text(4), "2008-01-01");
    EXPECT_EQ(t->Find("sex")->Text(4), "F");
    EXPECT_EQ(t->Find("group")->Integer(4), 3);
  }
}

}  // namespace
}  // namespace kinvar
