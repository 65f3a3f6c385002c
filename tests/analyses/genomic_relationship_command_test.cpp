// The genomic commands as the user runs them: the form, the genotype file
// read through the shared input, the report's tables and G's file, set
// against G and A22 computed plainly in the test.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/parentage_report.h"
#include "analyses/command_context.h"
#include "analyses/command_ids.h"
#include "report/report_store.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DocSession;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Genotypes of every animal of the open pedigree in code order, as the
// text form writes them: random calls, the first two animals homozygous
// for opposite alleles so that no SNP is monomorphic.
struct HerdGenotypes {
  std::vector<std::string> ids;
  std::vector<std::vector<int>> calls;  // per animal, 9 missing
  std::string text;
};

HerdGenotypes MakeGenotypes(const Pedigree& ped, int snps, std::uint32_t seed) {
  std::mt19937 rng(seed);
  HerdGenotypes h;
  for (std::int32_t c = 0; c < ped.nTotal; ++c) {
    const Rec& r = ped.rec(ped.records[static_cast<std::size_t>(c)]);
    h.ids.emplace_back(r.Id());
    std::vector<int> row;
    std::string line = h.ids.back() + " ";
    for (int k = 0; k < snps; ++k) {
      int x = c == 0 ? 0 : c == 1 ? 2 : static_cast<int>(rng() % 3);
      if (c > 1 && rng() % 50 == 0) x = 9;
      row.push_back(x);
      line += static_cast<char>('0' + x);
    }
    h.calls.push_back(row);
    h.text += line + "\n";
  }
  return h;
}

// VanRaden's first G over the calls, missing at the mean.
std::vector<std::vector<double>> PlainG(const HerdGenotypes& h) {
  const std::size_t n = h.calls.size(), m = h.calls[0].size();
  std::vector<double> p(m, 0.0);
  double scale = 0.0;
  for (std::size_t k = 0; k < m; ++k) {
    double sum = 0, called = 0;
    for (std::size_t a = 0; a < n; ++a) {
      if (h.calls[a][k] == 9) continue;
      sum += h.calls[a][k];
      called += 2;
    }
    p[k] = sum / called;
    scale += 2 * p[k] * (1 - p[k]);
  }
  std::vector<std::vector<double>> g(n, std::vector<double>(n, 0.0));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      for (std::size_t k = 0; k < m; ++k) {
        const double zi = h.calls[i][k] == 9 ? 0 : h.calls[i][k] - 2 * p[k];
        const double zj = h.calls[j][k] == 9 ? 0 : h.calls[j][k] - 2 * p[k];
        g[i][j] += zi * zj / scale;
      }
  return g;
}

std::vector<std::string> RelationshipForm(const std::string& genotypes, const std::string& output,
                                          const std::string& format = "triplets") {
  return {genotypes, "text", "0", "0", "0", "genotyped", "vanraden1", output, format, "5"};
}

TEST(GenomicRelationshipCommand, TablesAndTripletsMatchAPlainGAndTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 60);
    options.fColumn = false;
    DocSession s(test::MakeRandomPedigree(options).text);
    const Pedigree& ped = s.doc.pedigree();
    if (ped.nTotal < 4) continue;
    const HerdGenotypes h = MakeGenotypes(ped, 80, static_cast<std::uint32_t>(seed));
    const test::TempFile genotypes(h.text, ".txt");
    const std::string out = genotypes.path() + ".g";
    s.platform.forms = {RelationshipForm(genotypes.path(), out)};
    s.doc.RunCommand(kCmdGenomicRelationship);
    ASSERT_EQ(s.doc.lastCommand(), kCmdGenomicRelationship) << s.platform.JoinedTexts(MessageIcon::kError);
    EXPECT_EQ(s.platform.formCaptions.back(), "Genomic relationships");

    const std::vector<std::vector<double>> g = PlainG(h);
    const test::DenseMatrix a = test::TabularA(ped);
    const std::size_t n = g.size();
    std::string triplets;
    double sumG = 0, sumA = 0, sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        char value[32];
        const auto end = std::to_chars(value, value + sizeof value, static_cast<float>(g[i][j])).ptr;
        triplets += std::to_string(i + 1) + " " + std::to_string(j + 1) + " " + std::string(value, end) + "\n";
        if (i != j) {
          sumG += g[i][j];
          sumA += a(i, j);
        }
      }
    }
    const double pairs = static_cast<double>(n * (n - 1) / 2);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < i; ++j) {
        sxy += (a(i, j) - sumA / pairs) * (g[i][j] - sumG / pairs);
        sxx += (a(i, j) - sumA / pairs) * (a(i, j) - sumA / pairs);
      }
    // Values written as floats may differ from the test's in the last bit.
    const std::vector<std::string> written = Lines(test::ReadWholeFile(out));
    const std::vector<std::string> expected = Lines(triplets);
    ASSERT_EQ(written.size(), expected.size()) << seed;
    for (std::size_t k = 0; k < written.size(); ++k) {
      const auto w = written[k].rfind(' '), e = expected[k].rfind(' ');
      EXPECT_EQ(written[k].substr(0, w), expected[k].substr(0, e)) << seed;
      EXPECT_NEAR(std::stod(written[k].substr(w)), std::stod(expected[k].substr(e)), 1e-6) << seed;
    }
    const ResultSet& tables = s.doc.pedigree().report.tables();
    EXPECT_EQ(test::TableNames(tables), "genomic_relationship qc genomic_pedigree genomic_pedigree_pairs");
    const ResultTable& c = *tables.Find("genomic_pedigree");
    EXPECT_EQ(test::TextCells(c, "elements"), (std::vector<std::string>{"diagonal", "off-diagonal", "all"}));
    EXPECT_EQ(test::IntegerCells(c, "count")[1], static_cast<std::int64_t>(pairs)) << seed;
    EXPECT_NEAR(test::RealCells(c, "mean_g")[1], sumG / pairs, 1e-9) << seed;
    EXPECT_NEAR(test::RealCells(c, "mean_a22")[1], sumA / pairs, 1e-6) << seed;
    if (sxx > 1e-6) {
      EXPECT_NEAR(test::RealCells(c, "slope")[1], sxy / sxx, 1e-5) << seed;
    }
    EXPECT_EQ(tables.Find("genomic_pedigree_pairs")->rows(), std::min<std::size_t>(5, static_cast<std::size_t>(pairs)));
    std::filesystem::remove(out);
  }
}

TEST(GenomicRelationshipCommand, RefusedInputsSayWhyAndChangeNothing) {
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  const std::string vcf = KINVAR_EXAMPLES_DIR "/herd-genotypes.vcf";
  struct Row {
    std::string name;
    std::vector<std::string> form;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"no genotype file", {"", "", "0.9", "0.9", "0.01", "genotyped", "vanraden1", "", "triplets", "20"},
       "Name the genotype file."},
      {"a format unknown", {vcf, "csv", "0.9", "0.9", "0.01", "genotyped", "vanraden1", "", "triplets", "20"},
       "The genotype format is plink, vcf or text, or empty to go by the file's extension."},
      {"a call rate in percent", {vcf, "", "90", "0.9", "0.01", "genotyped", "vanraden1", "", "triplets", "20"},
       "The minimum SNP call rate must be a number from 0 to 1."},
      {"a method unknown", {vcf, "", "0.9", "0.9", "0.01", "genotyped", "vanraden3", "", "triplets", "20"},
       "The method must be vanraden1, vanraden2 or yang."},
      {"a frequency file not named", {vcf, "", "0.9", "0.9", "0.01", "", "vanraden1", "", "triplets", "20"},
       "Name the allele frequencies file."},
      {"a G format unknown", {vcf, "", "0.9", "0.9", "0.01", "genotyped", "vanraden1", "", "csv", "20"},
       "G's file must be triplets, dense or gcta."},
      {"pairs not a number", {vcf, "", "0.9", "0.9", "0.01", "genotyped", "vanraden1", "", "triplets", "2x"},
       "The pairs listed must be a whole number from 0 to 10000."},
  };
  for (const Row& row : rows) {
    s.platform.messages.clear();
    s.platform.forms = {row.form, std::nullopt};  // the refused form, then Cancel
    s.doc.RunCommand(kCmdGenomicRelationship);
    EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError), row.message) << row.name;
    EXPECT_NE(s.doc.lastCommand(), kCmdGenomicRelationship) << row.name;
  }
}

TEST(GenomicRelationshipCommand, ACancelAtAnyPollLeavesTheCancelLineAndTheFileAsItWas) {
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  const test::TempFile old("old\n", ".txt");
  const std::vector<std::string> form = RelationshipForm(KINVAR_EXAMPLES_DIR "/herd-genotypes.vcf", old.path());
  // A first run computes the coefficients; the second counts the polls of
  // a run like the ones cancelled below.
  s.platform.forms = {form};
  s.doc.RunCommand(kCmdGenomicRelationship);
  const std::string written = test::ReadWholeFile(old.path());
  test::WriteWholeFile(old.path(), "old\n");
  const int before = s.platform.polls;
  s.platform.forms = {form};
  s.doc.RunCommand(kCmdGenomicRelationship);
  ASSERT_EQ(test::ReadWholeFile(old.path()), written);
  const int polls = s.platform.polls - before;
  ASSERT_GE(polls, 1);
  for (int k = 1; k <= polls; ++k) {
    test::WriteWholeFile(old.path(), "old\n");
    s.platform.forms = {form};
    s.platform.cancelAtPoll = s.platform.polls + k;
    s.doc.RunCommand(kCmdGenomicRelationship);
    EXPECT_EQ(s.Report(), std::vector<std::string>{kCanceledLine}) << "poll " << k;
    EXPECT_EQ(s.doc.lastCommand(), kCmdNone) << "poll " << k;
    EXPECT_EQ(test::ReadWholeFile(old.path()), "old\n") << "poll " << k;
  }
}

TEST(GenomicInbreedingCommand, TheTableHoldsPedigreeFBesideTheGenomicCoefficients) {
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  s.platform.forms = {std::vector<std::string>{KINVAR_EXAMPLES_DIR "/herd-genotypes.vcf", "", "0.9", "0.9", "0.01",
                                               "genotyped", "50", "1", "5", "0.05", "50", "1000000"}};
  s.doc.RunCommand(kCmdGenomicInbreeding);
  ASSERT_EQ(s.doc.lastCommand(), kCmdGenomicInbreeding) << s.platform.JoinedTexts(MessageIcon::kError);
  const ResultSet& tables = s.doc.pedigree().report.tables();
  EXPECT_EQ(test::TableNames(tables),
            "genomic_inbreeding_summary qc genomic_inbreeding genomic_inbreeding_furthest");
  const ResultTable& t = *tables.Find("genomic_inbreeding");
  EXPECT_EQ(test::Schema(t),
            "id:id code:integer f_pedigree:real f_g:real f_hom:real f_roh:real roh_runs:integer "
            "roh_length:integer[bp] snps_called:integer");
  ASSERT_EQ(t.rows(), 17u);
  const std::vector<std::string> ids = test::TextCells(t, "id");
  const std::vector<double> fPed = test::RealCells(t, "f_pedigree");
  for (std::size_t a = 0; a < ids.size(); ++a) {
    const RecIndex r = test::RecordOfId(s.doc.pedigree(), ids[a]);
    EXPECT_NEAR(fPed[a], static_cast<double>(s.doc.pedigree().rec(r).f), 1e-7) << ids[a];
  }
  for (const double f : test::RealCells(t, "f_roh")) {
    EXPECT_GE(f, 0.0);
    EXPECT_LT(f, 1.0);
  }
  EXPECT_EQ(tables.Find("genomic_inbreeding_furthest")->rows(), 10u);
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

// The genotype file and its thresholds typed for one genomic command open
// the next one's form: a genotype file is named once per pedigree.
TEST(GenomicCommands, TheGenotypeInputTypedForOneOpensTheNextOnesForm) {
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  const std::string snps = KINVAR_EXAMPLES_DIR "/herd-snps.txt";
  s.platform.forms = {std::vector<std::string>{snps, "text", "0.5", "0.8", "0"}};
  s.doc.RunCommand(kCmdGenotypeQc);
  ASSERT_EQ(s.doc.lastCommand(), kCmdGenotypeQc) << s.platform.JoinedTexts(MessageIcon::kError);
  // No script left: the form is accepted as it opens. The steps' thresholds
  // are the animals' call rate, the SNPs', none and the minor allele's.
  for (const std::int32_t command : {kCmdGenotypeQc, kCmdParentage, kCmdGenomicInbreeding}) {
    if (command != kCmdGenotypeQc) s.doc.RunCommand(command);
    ASSERT_EQ(s.doc.lastCommand(), command) << s.platform.JoinedTexts(MessageIcon::kError);
    const std::vector<double> thresholds =
        test::RealCells(*s.doc.pedigree().report.tables().Find("qc"), "threshold");
    ASSERT_EQ(thresholds.size(), 4u) << command;
    EXPECT_EQ(thresholds[0], 0.8) << command;
    EXPECT_EQ(thresholds[1], 0.5) << command;
    EXPECT_EQ(thresholds[3], 0.0) << command;
  }
  // The command's own parameters start from their defaults.
  EXPECT_EQ(s.doc.remembered.values.Text(ParentageDeclaration(), "exclusion-threshold"), "0.01");
}

// A frequency file deep in folders names itself in the report, cut to the
// report's width: a longer line would end the program.
TEST(GenomicCommands, AFrequencyFileOfALongPathIsNamedCut) {
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kinvar-" + std::string(120, 'f') + "-frequencies");
  std::filesystem::create_directories(folder);
  const std::string frequencies = (folder / "p.txt").string();
  std::string lines;
  for (int snp = 1; snp <= 400; ++snp) lines += "SNP" + std::to_string(snp) + " 0.5\n";
  test::WriteWholeFile(frequencies, lines);
  s.platform.forms = {std::vector<std::string>{KINVAR_EXAMPLES_DIR "/herd-snps.txt", "text", "0.9", "0.9", "0.01",
                                               frequencies, "vanraden1", "", "triplets", "5"}};
  s.doc.RunCommand(kCmdGenomicRelationship);
  std::filesystem::remove_all(folder);
  ASSERT_EQ(s.doc.lastCommand(), kCmdGenomicRelationship) << s.platform.JoinedTexts(MessageIcon::kError);
  bool named = false;
  for (const std::string& line : s.Report()) {
    EXPECT_LE(line.size(), ReportStore::kMaxLineLength);
    if (line.starts_with("Allele frequencies|T3|Ifrom ")) named = line.ends_with("...");
  }
  EXPECT_TRUE(named);
}

// A genotype file deep in folders: every genomic command's report names it
// cut to the report's width.
TEST(GenomicCommands, AGenotypeFileOfALongPathIsNamedCut) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kinvar-" + std::string(120, 'g') + "-genotypes");
  std::filesystem::create_directories(folder);
  const std::string genotypes = (folder / "herd-snps.txt").string();
  std::filesystem::copy_file(KINVAR_EXAMPLES_DIR "/herd-snps.txt", genotypes,
                             std::filesystem::copy_options::overwrite_existing);
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  // Typed once; the later forms open with it and are taken as they open.
  s.platform.forms = {std::vector<std::string>{genotypes, "text", "0.9", "0.9", "0.01"}};
  for (const std::int32_t command : {kCmdGenotypeQc, kCmdParentage, kCmdGenomicInbreeding}) {
    s.doc.RunCommand(command);
    ASSERT_EQ(s.doc.lastCommand(), command) << s.platform.JoinedTexts(MessageIcon::kError);
    bool named = false;
    for (const std::string& line : s.Report()) {
      EXPECT_LE(line.size(), ReportStore::kMaxLineLength) << command;
      named = named || (line.find("ggg") != std::string::npos && line.ends_with("..."));
    }
    EXPECT_TRUE(named) << command;
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kinvar
