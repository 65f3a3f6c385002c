// The text form of genotypes: what a well-formed file gives, and each kind
// of damage refused with the file and the line, nothing read past it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "genomics/genotype_reader.h"
#include "support/genotype_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::GenotypeCells;

TEST(TextGenotypes, ReadsIdsAndCodesAsWritten) {
  struct Row {
    const char* name;
    std::string text;
    std::string cells;
    std::vector<std::int64_t> lines;
  };
  const Row rows[] = {
      {"one animal", "A1 0120\n", "A1:0120", {1}},
      {"five and nine are missing", "A1 5921\n", "A1:9921", {1}},
      {"tabs and several blanks", "A1\t\t012\n  b2   210  \n", "A1:012 b2:210", {1, 2}},
      {"blank lines skipped", "\nA1 01\n\n   \nB2 22\n", "A1:01 B2:22", {2, 5}},
      {"crlf line ends", "A1 01\r\nB2 22\r\n", "A1:01 B2:22", {1, 2}},
      {"last line without a line feed", "A1 01\nB2 22", "A1:01 B2:22", {1, 2}},
  };
  for (const Row& row : rows) {
    const test::TempFile file(row.text, ".txt");
    SilentProgressWindow window;
    Progress progress(window);
    const GenotypeFile read = ReadTextGenotypes(file.path(), progress);
    EXPECT_EQ(read.error, "") << row.name;
    EXPECT_EQ(GenotypeCells(read), row.cells) << row.name;
    EXPECT_EQ(read.places, row.lines) << row.name;
    const GenotypeFile parsed = ParseTextGenotypes(row.text, "mem");
    EXPECT_EQ(GenotypeCells(parsed), row.cells) << row.name << " (in memory)";
  }
}

TEST(TextGenotypes, NamesSnpsInOrderWhenTheFileHasNoNames) {
  const GenotypeFile read = ParseTextGenotypes("A 012\n", "g.txt");
  ASSERT_EQ(read.genotypes.SnpCount(), 3);
  EXPECT_EQ(read.genotypes.snps[0].name, "SNP1");
  EXPECT_EQ(read.genotypes.snps[2].name, "SNP3");
}

TEST(TextGenotypes, RefusesDamageNamingFileAndLine) {
  struct Row {
    const char* name;
    std::string text;
    std::string message;
  };
  const Row rows[] = {
      {"row shorter than the first", "A 0120\nB 012\nC 0000\n",
       "Error in line 2 of g.txt.\nThe line holds 3 genotypes where line 1 holds 4."},
      {"row longer than the first", "\nA 01\nB 012\n",
       "Error in line 3 of g.txt.\nThe line holds 3 genotypes where line 2 holds 2."},
      {"a letter among the genotypes", "A 0120\nB 01x0\n",
       "Error in line 2 of g.txt.\nThe genotype \"x\" (number 3 of the line) is not 0, 1, 2, 5 or 9."},
      {"a three", "A 3\n", "Error in line 1 of g.txt.\nThe genotype \"3\" (number 1 of the line) is not 0, 1, 2, 5 or 9."},
      {"an ID alone", "A 01\nB\n", "Error in line 2 of g.txt.\nThe line holds an ID but no genotypes."},
      {"genotypes split by a blank", "A 01 20\n",
       "Error in line 1 of g.txt.\nThe line holds more than an ID and one string of genotypes."},
      {"an animal twice, letter case aside", "a7 01\nB 11\nA7 20\n",
       "Error in line 3 of g.txt.\nThe animal \"A7\" has genotypes in line 1 already."},
      {"empty", "", "Error: g.txt holds no genotypes."},
      {"blank lines only", "\n \n", "Error: g.txt holds no genotypes."},
      {"a zero byte", std::string("A 01\nB 0\0\n", 10), "g.txt is not a text file: line 2 holds a zero byte."},
  };
  for (const Row& row : rows) {
    const GenotypeFile read = ParseTextGenotypes(row.text, "g.txt");
    EXPECT_EQ(read.error, row.message) << row.name;
    EXPECT_EQ(read.genotypes.AnimalCount(), 0) << row.name;
    EXPECT_TRUE(read.genotypes.codes.empty()) << row.name;
  }
}

TEST(TextGenotypes, FileErrorsNameThePath) {
  SilentProgressWindow window;
  Progress progress(window);
  const GenotypeFile missing = ReadTextGenotypes("/nonexistent/g.txt", progress);
  EXPECT_EQ(missing.error, "Cannot open /nonexistent/g.txt");
  const test::TempFile file("A 01\nB 0\n", ".txt");
  const GenotypeFile shortRow = ReadTextGenotypes(file.path(), progress);
  EXPECT_EQ(shortRow.error, "Error in line 2 of " + file.path() + ".\nThe line holds 1 genotype where line 1 holds 2.");
}

}  // namespace
}  // namespace kinvar
