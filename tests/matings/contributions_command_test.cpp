// Optimum Contributions through the document: the figures of the report
// recomputed from the contributions it lists, with the coancestries built
// here by the tabular method; the sexes it shows; the options refused
// outside their meaning; and the breeding value file read strictly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "analyses/relationship_listings.h"
#include "app/commands.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Figure;

// What a run of the command should report, from the contributions it
// lists: c'Kc with K = A / 2 of the tabular method, c'EBV, and delta F
// against the mean of K over the candidates.
struct Recomputed {
  double kinship = 0.0;
  double gain = 0.0;
  double meanK = 0.0;
  double sum = 0.0;
};

Recomputed FromListedRows(const Pedigree& loaded, const test::DenseMatrix& a,
                          const std::vector<std::string>& ids, const std::vector<double>& c,
                          const std::vector<double>& ebv) {
  std::map<std::string, std::size_t> index;
  for (std::int32_t code = 1; code <= loaded.nTotal; ++code)
    index[std::string(loaded.byCode(code - 1).Id())] = static_cast<std::size_t>(code - 1);
  Recomputed r;
  const std::size_t n = ids.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t x = index.at(ids[i]);
    r.sum += c[i];
    if (!ebv.empty()) r.gain += c[i] * ebv[i];
    for (std::size_t j = 0; j < n; ++j) {
      const double k = a(x, index.at(ids[j])) / 2.0;
      r.kinship += c[i] * k * c[j];
      r.meanK += k / (static_cast<double>(n) * static_cast<double>(n));
    }
  }
  return r;
}

struct FiguresCase {
  const char* name;
  bool withEbv;
  const char* targetDeltaF;
  const char* maxContribution;
  bool matingsFile;
};

TEST(OptimumContributionsCommand, ReportsTheFiguresOfTheContributionsItLists) {
  const FiguresCase cases[] = {
      {"least kinship", false, "", "", false},
      {"least kinship, at most 0.2 each", false, "", "0.2", false},
      {"least kinship, every dam one progeny", false, "", "", true},
      {"gain at delta F 0.02", true, "0.02", "", false},
      {"gain at delta F 0.05, every dam one progeny", true, "0.05", "", true},
  };
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 150);
    const int threads = seed % 2 == 0 ? 1 : 8;
    options.groupColumn = true;
    const test::RandomPedigree made = test::MakeRandomPedigree(options);
    const auto loaded = test::Loaded(made.text);
    const std::vector<int> groups = GroupNumbers(*loaded);
    if (groups.size() < 2) continue;
    EnsureCodeOrder(*loaded);
    const test::DenseMatrix a = test::TabularA(*loaded);
    // A value for every individual, drawn from the seed.
    std::string values = "ID EBV\n";
    for (std::int32_t code = 1; code <= loaded->nTotal; ++code)
      values += std::string(loaded->byCode(code - 1).Id()) + " " +
                std::to_string(std::sin(static_cast<double>(seed * 97 + static_cast<std::uint64_t>(code))) * 40) +
                "\n";
    const test::TempFile ebvFile(values, ".txt");
    for (const FiguresCase& f : cases) {
      const std::string where = std::string(f.name) + ", seed " + std::to_string(seed);
      test::DocSession s(made.text);
      s.doc.pedigree().settings.threads = threads;
      test::TempFile matings("", ".c");
      s.platform.groupPairs.push_back(std::pair{groups[0], groups[1]});
      CommandValues& given = s.doc.remembered.values;
      if (f.withEbv) given.Set(kCmdOptimumContributions, "ebv", ebvFile.path());
      given.Set(kCmdOptimumContributions, "target-delta-f", f.targetDeltaF);
      given.Set(kCmdOptimumContributions, "max-contribution", f.maxContribution);
      if (f.matingsFile) given.Set(kCmdOptimumContributions, "matings-file", matings.path());
      s.doc.RunCommand(kCmdOptimumContributions);
      // Refusals (a bound that cannot be met, sexes that do not fit) are
      // tested elsewhere; here only what was reported.
      if (s.doc.lastCommand() != kCmdOptimumContributions) continue;
      const ResultSet& tables = s.doc.pedigree().report.tables();
      const ResultTable& listed = *tables.Find("contributions");
      const ResultTable& summary = *tables.Find("summary");
      const std::vector<double> c = test::RealCells(listed, "contribution");
      const Recomputed r = FromListedRows(*loaded, a, test::TextCells(listed, "id"), c,
                                          f.withEbv ? test::RealCells(listed, "ebv") : std::vector<double>{});
      EXPECT_NEAR(r.sum, 1.0, 1e-9) << where;
      for (const double x : c) EXPECT_GE(x, 0.0) << where;
      // The coancestries are 32-bit floats in the program.
      EXPECT_NEAR(Figure(summary, "Mean kinship of the candidates"), r.meanK, 1e-6) << where;
      EXPECT_NEAR(Figure(summary, "Kinship of the offspring"), r.kinship, 1e-6) << where;
      const double meanK = Figure(summary, "Mean kinship of the candidates");
      EXPECT_NEAR(Figure(summary, "Delta F"),
                  (Figure(summary, "Kinship of the offspring") - meanK) / (1.0 - meanK), 1e-12)
          << where;
      EXPECT_NEAR(Figure(summary, "Delta F"), (r.kinship - r.meanK) / (1.0 - r.meanK), 2e-6) << where;
      if (f.withEbv) {
        EXPECT_NEAR(Figure(summary, "Genetic gain"), r.gain, 1e-9 * (1.0 + std::fabs(r.gain))) << where;
        EXPECT_LE(r.kinship, Figure(summary, "Target kinship") + 1e-6) << where;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 60);
}

std::string ExampleHerd() { return std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"; }

// The herd has no Sex column: B2 and B3 are dams of its pedigree, B1 and B4
// sires, and the C animals have no progeny.
TEST(OptimumContributionsCommand, ShowsTheSexThePedigreeGivesAndWarnsOfAMismatch) {
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(ExampleHerd()));
  s.platform.groupPairs.push_back(std::pair{2, 3});
  s.doc.RunCommand(kCmdOptimumContributions);
  ASSERT_EQ(s.doc.lastCommand(), kCmdOptimumContributions) << testing::PrintToString(s.platform.MessageTexts());
  const ResultTable& listed = *s.doc.pedigree().report.tables().Find("contributions");
  EXPECT_EQ(test::TextCells(listed, "id"),
            (std::vector<std::string>{"B1", "B3", "B2", "B4", "C1", "C2", "C3", "C4"}));
  // Chosen as dams with no other word of their sex, the C animals are dams.
  EXPECT_EQ(test::TextCells(listed, "sex"),
            (std::vector<std::string>{"M", "F", "F", "M", "F", "F", "F", "F"}));
  const std::vector<std::string> report = s.Report();
  const std::vector<std::string> warnings = {
      "|XWarning: B2 of the sire group is recorded as a dam in the pedigree.",
      "|XWarning: B3 of the sire group is recorded as a dam in the pedigree."};
  const auto at = std::search(report.begin(), report.end(), warnings.begin(), warnings.end());
  ASSERT_NE(at, report.end()) << testing::PrintToString(report);
  EXPECT_EQ(*(at + 2), "");
  const std::vector<double> c = test::RealCells(listed, "contribution");
  EXPECT_EQ(*(at - 1), "Selected candidates = |X" +
                           std::to_string(std::count_if(c.begin(), c.end(), [](double x) { return x > 1e-6; })));
  char share[32];
  std::snprintf(share, sizeof share, "%.6f", c[2]);
  EXPECT_NE(std::find(report.begin(), report.end(), "|MB2|T2F|T1" + std::string(share)), report.end());
}

TEST(MeanKinshipCommand, ShowsTheSexThatTheRoleAsAParentGives) {
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(ExampleHerd()));
  s.platform.groupChoices.push_back(2);
  s.doc.RunCommand(kCmdMeanKinship);
  ASSERT_EQ(s.doc.lastCommand(), kCmdMeanKinship);
  const ResultTable& table = *s.doc.pedigree().report.tables().Find("mean_kinship");
  const std::vector<std::string> ids = test::TextCells(table, "id");
  const std::vector<std::string> sexes = test::TextCells(table, "sex");
  const std::map<std::string, std::string> expected = {{"B1", "M"}, {"B2", "F"}, {"B3", "F"}, {"B4", "M"}};
  ASSERT_EQ(ids.size(), 4u);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(sexes[i], expected.at(ids[i])) << ids[i];
    const std::string line = s.Report()[6 + i];
    EXPECT_NE(line.find("|M" + ids[i] + "|T2" + expected.at(ids[i]) + "|T1"), std::string::npos) << line;
  }
  // A Sex column wins over nothing, and an animal without progeny or column
  // stays unknown.
  test::DocSession c("Progeny Sire Dam Group Sex\nS 0 0 1 .\nD 0 0 1 .\nA S D 2 F\nB S D 2 .\n");
  c.platform.groupChoices.push_back(kAllIndividuals);
  c.doc.RunCommand(kCmdMeanKinship);
  const ResultTable& all = *c.doc.pedigree().report.tables().Find("mean_kinship");
  std::map<std::string, std::string> shown;
  for (std::size_t i = 0; i < all.rows(); ++i)
    shown[test::TextCells(all, "id")[i]] = test::TextCells(all, "sex")[i];
  EXPECT_EQ(shown, (std::map<std::string, std::string>{{"A", "F"}, {"B", "."}, {"D", "F"}, {"S", "M"}}));
}

struct OptionCase {
  const char* name;
  CommandId command;
  std::string deltaF, kinship, maxContribution, maxF;
  std::string message;  // empty: runs
};

TEST(PopulationCommands, RefuseOptionsOutsideTheirMeaningNamingTheRange) {
  const test::TempFile ebv("B1 120\nB2 35\nB3 80\nB4 -10\nC1 60\nC2 95\nC3 20\nC4 45\n", ".txt");
  const OptionCase cases[] = {
      {"delta F of 5", kCmdOptimumContributions, "5", "", "", "",
       "Error: The target delta F must be at least 0 and below 1, not 5."},
      {"delta F of 1", kCmdOptimumContributions, "1", "", "", "",
       "Error: The target delta F must be at least 0 and below 1, not 1."},
      {"a negative delta F", kCmdOptimumContributions, "-0.01", "", "", "",
       "Error: The target delta F must be at least 0 and below 1, not -0.01."},
      {"delta F with a unit", kCmdOptimumContributions, "0.01%", "", "", "",
       "Error: The target delta F is not a number: 0.01%"},
      {"delta F not a number", kCmdOptimumContributions, "nan", "", "", "",
       "Error: The target delta F is not a number: nan"},
      {"delta F with blanks around", kCmdOptimumContributions, " 0.01 ", "", "", "", ""},
      {"delta F of 0", kCmdOptimumContributions, "0", "", "", "", ""},
      {"a kinship above 1", kCmdOptimumContributions, "", "1.5", "", "",
       "Error: The target kinship must be from 0 to 1, not 1.5."},
      {"a negative kinship", kCmdOptimumContributions, "", "-0.2", "", "",
       "Error: The target kinship must be from 0 to 1, not -0.2."},
      {"a kinship of 1", kCmdOptimumContributions, "", "1", "", "", ""},
      {"a largest contribution of 0", kCmdOptimumContributions, "0.01", "", "0", "",
       "Error: The largest contribution must be above 0 and at most 0.5, not 0."},
      {"a largest contribution above 1/2", kCmdOptimumContributions, "0.01", "", "0.6", "",
       "Error: The largest contribution must be above 0 and at most 0.5, not 0.6."},
      {"a largest contribution of 1/2", kCmdOptimumContributions, "0.01", "", "0.5", "", ""},
      {"an offspring F of 1", kCmdMateSuitability, "", "", "", "1",
       "Error: The largest offspring F must be at least 0 and below 1, not 1."},
      {"a negative offspring F", kCmdMateSuitability, "", "", "", "-0.1",
       "Error: The largest offspring F must be at least 0 and below 1, not -0.1."},
      {"an offspring F in words", kCmdMateSuitability, "", "", "", "high",
       "Error: The largest offspring F is not a number: high"},
      {"an offspring F of 0", kCmdMateSuitability, "", "", "", "0", ""},
  };
  for (const OptionCase& c : cases) {
    test::DocSession s;
    ASSERT_TRUE(s.OpenPath(ExampleHerd()));
    s.platform.groupPairs.push_back(std::pair{2, 3});
    RememberedInputs& r = s.doc.remembered;
    if (c.command == kCmdOptimumContributions && (!c.deltaF.empty() || !c.kinship.empty()))
      r.values.Set(kCmdOptimumContributions, "ebv", ebv.path());
    r.values.Set(kCmdOptimumContributions, "target-delta-f", c.deltaF);
    r.values.Set(kCmdOptimumContributions, "target-kinship", c.kinship);
    r.values.Set(kCmdOptimumContributions, "max-contribution", c.maxContribution);
    r.values.Set(kCmdMateSuitability, "max-f", c.maxF);
    s.doc.RunCommand(c.command);
    if (c.message.empty()) {
      EXPECT_EQ(s.doc.lastCommand(), c.command) << c.name;
      EXPECT_TRUE(s.platform.MessageTexts().empty()) << c.name << testing::PrintToString(s.platform.MessageTexts());
    } else {
      EXPECT_NE(s.doc.lastCommand(), c.command) << c.name;
      EXPECT_EQ(s.platform.MessageTexts(), std::vector<std::string>{c.message}) << c.name;
    }
  }
}

}  // namespace
}  // namespace kinvar
