// Optimum Contributions through the document: the figures of the report
// recomputed from the contributions it lists, with the coancestries built
// here by the tabular method; the sexes it shows; the options refused
// outside their meaning; and the breeding value file read strictly.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "app/commands.h"
#include "genetics/relationship_listings.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

double Figure(const ResultTable& summary, const std::string& label) {
  const std::vector<std::string> labels = test::TextCells(summary, "figure");
  const std::vector<double> values = test::RealCells(summary, "value");
  for (std::size_t i = 0; i < labels.size(); ++i)
    if (labels[i] == label) return values[i];
  ADD_FAILURE() << "no figure " << label;
  return std::nan("");
}

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
      if (f.withEbv) s.doc.remembered.ebvFile = ebvFile.path();
      s.doc.remembered.targetDeltaF = f.targetDeltaF;
      s.doc.remembered.maxContribution = f.maxContribution;
      if (f.matingsFile) s.doc.remembered.matingsFile = matings.path();
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

}  // namespace
}  // namespace kinvar
