// kinvar-cli genotype-qc: the report and the tables of a genotype file
// checked against a pedigree, byte for byte, in each format the readers
// take, and the refusals of the shared genotype options.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

// CSV rows end with CR LF.
std::string Crlf(const std::string& lines) {
  std::string out;
  for (const char c : lines) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class CliGenotypeQc : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    test::WriteWholeFile(Out("p.pdg"), "Progeny Sire Dam\nP2 F1 M1\nP1 F1 F2\nF1 0 0\nF2 0 0\n");
    // M1 misses 8 of 10 calls; SNP 5 is monomorphic among the animals kept,
    // SNP 10 called in one of two; X9 has no line in the pedigree.
    test::WriteWholeFile(Out("g.txt"), "p2 0121001210\nX9 1111011110\nF1 2101021019\nM1 9901999999\n");
  }
  std::string Pedigree() const { return Quote(Out("p.pdg")); }
  std::string Genotypes() const { return Quote(Out("g.txt")); }
};

TEST_F(CliGenotypeQc, TheReportSaysWhatWasDroppedAndWhy) {
  const CliRun run = Execute("-q genotype-qc " + Pedigree() + " --genotypes " + Genotypes() + " --report");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::size_t body = run.out.find("Genotype quality control");
  ASSERT_NE(body, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(body),
            "Genotype quality control\n"
            "Genotypes = " + Out("g.txt") + " (text form)\n"
            "Animals in the file = 4\n"
            "Animals in the pedigree = 3\n"
            "Animals not in the pedigree = 1 (X9)\n"
            "Pedigree animals without genotypes = 2\n"
            "SNPs in the file = 10\n"
            "Quality control, in this order:\n"
            "  1. Animals with call rate below 0.9 = 1 dropped, 2 left\n"
            "  2. SNPs with call rate below 0.9 = 1 dropped, 9 left\n"
            "  3. Monomorphic SNPs = 1 dropped, 8 left\n"
            "  4. SNPs with minor allele frequency below 0.01 = 0 dropped, 8 left\n"
            "Animals kept = 2\n"
            "SNPs kept = 8\n"
            "\n"
            "Dropped:\n"
            "Kind                  Name                  Reason                Value\n"
            "animal                M1                    animal call rate      0.2\n"
            "SNP                   SNP5                  monomorphic           0\n"
            "SNP                   SNP10                 SNP call rate         0.5\n");
}

TEST_F(CliGenotypeQc, TablesForScripts) {
  struct Row {
    const char* table;
    const char* csv;
  };
  const Row rows[] = {
      {"qc",
       "step,reason,kind,threshold,dropped,left\n"
       "1,animal call rate,animals,0.9,1,2\n"
       "2,SNP call rate,SNPs,0.9,1,9\n"
       "3,monomorphic,SNPs,,1,8\n"
       "4,minor allele frequency,SNPs,0.01,0,8\n"},
      {"qc_dropped", "kind,name,reason,value\nanimal,M1,animal call rate,0.2\nSNP,SNP5,monomorphic,0\n"
                     "SNP,SNP10,SNP call rate,0.5\n"},
      {"not_in_pedigree", "id\nX9\n"},
      {"without_genotypes", "id\nF2\nP1\n"},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q genotype-qc " + Pedigree() + " --genotypes " + Genotypes() +
                               " --format csv --table " + row.table);
    EXPECT_EQ(run.status, 0) << row.table << run.err;
    EXPECT_EQ(run.out, Crlf(row.csv)) << row.table;
  }
}

TEST_F(CliGenotypeQc, ThresholdsAndFormatFromTheOptions) {
  const CliRun run = Execute("-q genotype-qc " + Pedigree() + " --genotypes " + Genotypes() +
                             " --genotype-format text --min-animal-call-rate 0.2 --min-snp-call-rate 0.3"
                             " --min-maf 0.34 --format csv --table summary");
  EXPECT_EQ(run.status, 0) << run.err;
  // M1 stays; SNP 3 (two copies in six) falls below 0.34, SNP 10 (called
  // in one of three) is monomorphic.
  EXPECT_EQ(run.out,
            Crlf("figure,value\nAnimals in the file,4\nAnimals in the pedigree,3\nAnimals not in the pedigree,1\n"
            "Pedigree animals without genotypes,2\nSNPs in the file,10\nAnimals kept,3\nSNPs kept,7\n"));
}

TEST_F(CliGenotypeQc, Refusals) {
  test::WriteWholeFile(Out("bad.txt"), "F1 0120\nF2 012\n");
  const std::string start = "-q genotype-qc " + Pedigree() + " --genotypes ";
  ExpectRefusals({
      {"no genotype file", "-q genotype-qc " + Pedigree(), 2, ""},
      {"an unknown format", start + Genotypes() + " --genotype-format csv", 2, ""},
      {"a threshold that is not a number", start + Genotypes() + " --min-maf 1%", 1,
       "The minimum minor allele frequency must be a number from 0 to 0.5.\n"},
      {"a call rate above 1", start + Genotypes() + " --min-snp-call-rate 90", 1,
       "The minimum SNP call rate must be a number from 0 to 1.\n"},
      {"a missing file", start + Quote(Out("none.txt")), 1, "Cannot open " + Out("none.txt") + "\n"},
      {"a row of the wrong length", start + Quote(Out("bad.txt")), 1,
       "Error in line 2 of " + Out("bad.txt") + ".\nThe line holds 3 genotypes where line 1 holds 4.\n"},
  });
}

}  // namespace
}  // namespace kinvar
