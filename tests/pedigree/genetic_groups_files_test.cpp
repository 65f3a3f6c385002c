// The genetic groups, group fractions and metafounders files as files: a
// number is all of its cell, Gamma is a relationship matrix, and what is
// not a text file is refused for what it is while a FIFO is read.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pedigree/genetic_groups.h"
#include "pedigree/metafounders.h"
#include "support/side_sources.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Where a row names its file: in the text, or a folder, a device, or a
// FIFO that writes the text.
enum class Source { kFile, kFolder, kDevZero, kFifo };

// A source holding `text`, and its path.
struct SourceFor {
  SourceFor(Source source, const std::string& text) {
    switch (source) {
      case Source::kFile: file.emplace(text, ".txt"); path = file->path(); break;
      case Source::kFolder: path = folder.path(); break;
      case Source::kDevZero: path = "/dev/zero"; break;
      case Source::kFifo: fifo.emplace(text); path = fifo->path(); break;
    }
  }
  test::TempFolder folder;
  std::optional<test::TempFile> file;
  std::optional<test::FifoWithWriter> fifo;
  std::string path;
};

// "FILE" in `message` stands for the path.
std::string Named(std::string message, const std::string& path) {
  if (const auto at = message.find("FILE"); at != std::string::npos) message.replace(at, 4, path);
  return message;
}

TEST(GeneticGroupsFile, ReadOrRefusedForWhatItIs) {
  struct Row {
    const char* name;
    Source source;
    const char* text;
    const char* message;  // "": read
  };
  const Row rows[] = {
      {"a file", Source::kFile, "G1\r\n\ng2\n", ""},
      {"a FIFO", Source::kFifo, "G1\ng2\n", ""},
      {"a folder", Source::kFolder, "", "FILE is a folder, not a file."},
      {"/dev/zero", Source::kDevZero, "", "FILE is not a text file: line 1 holds a zero byte."},
      {"a FIFO's second group twice", Source::kFifo, "G1\ng1\n",
       "Line 2 of the genetic groups file: G1 is listed twice."},
  };
  for (const Row& row : rows) {
    const SourceFor source(row.source, row.text);
    std::vector<std::string> ids;
    EXPECT_EQ(ReadGroupIds(source.path, ids), Named(row.message, source.path)) << row.name;
    if (std::string(row.message).empty()) {
      EXPECT_EQ(ids, (std::vector<std::string>{"G1", "G2"})) << row.name;
    }
  }
}

TEST(GeneticGroupsFile, ManyGroupsAreReadWithEveryDuplicateFound) {
  // Each ID against those before it through a set: a large list reads in
  // linear time, and the duplicate at its end is still found.
  std::string text;
  for (int k = 0; k < 200000; ++k) text += "G" + std::to_string(k) + "\n";
  const test::TempFile file(text + "g17\n", ".txt");
  std::vector<std::string> ids;
  EXPECT_EQ(ReadGroupIds(file.path(), ids), "Line 200001 of the genetic groups file: G17 is listed twice.");
  const test::TempFile distinct(text, ".txt");
  EXPECT_EQ(ReadGroupIds(distinct.path(), ids), "");
  EXPECT_EQ(ids.size(), 200000u);
  EXPECT_EQ(ids.back(), "G199999");
}

TEST(GroupFractionsFile, AFractionIsAllOfItsCell) {
  const std::string pedigree = "Progeny Sire Dam\nA G1 G2\nB G1 0\nC A B\n";
  struct Row {
    const char* name;
    Source source;
    const char* text;
    const char* message;  // "": read
  };
  const Row rows[] = {
      {"two shares", Source::kFile, "# B's dam\nB dam G1 0.25\r\nB dam G2 .75\n", ""},
      {"a FIFO", Source::kFifo, "B dam G1 0.25\nB dam G2 0.75\n", ""},
      {"a letter after the digits", Source::kFile, "B dam G1 0.25x\nB dam G2 0.75\n",
       "Line 1 of the group fractions file: \"0.25x\" in column 4 of FILE is not a number."},
      {"two decimal points", Source::kFile, "B dam G1 0.25\nB dam G2 0.7.5\n",
       "Line 2 of the group fractions file: \"0.7.5\" in column 4 of FILE is not a number."},
      {"nan", Source::kFile, "B dam G1 nan\n",
       "Line 1 of the group fractions file: \"nan\" in column 4 of FILE is not a number."},
      {"a comma for the decimal point", Source::kFile, "B dam G1 0,25\n",
       "Line 1 of the group fractions file: \"0,25\" in column 4 of FILE is not a number."},
      {"a folder", Source::kFolder, "", "FILE is a folder, not a file."},
      {"/dev/zero", Source::kDevZero, "", "FILE is not a text file: line 1 holds a zero byte."},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_EQ(CheckGroupIds({"G1", "G2"}, ped.geneticGroups.ids), "");
    ASSERT_EQ(test::LoadText(pedigree, ped).message, "");
    const SourceFor source(row.source, row.text);
    EXPECT_EQ(ReadGroupFractions(source.path, ped), Named(row.message, source.path)) << row.name;
    EXPECT_EQ(ped.geneticGroups.shares.size(), std::string(row.message).empty() ? 2u : 0u) << row.name;
  }
}

TEST(MetafoundersFile, GammaIsARelationshipMatrixOfNumbers) {
  const std::string notPsd = "The metafounders' relationships are not positive semi-definite";
  struct Row {
    const char* name;
    Source source;
    std::string text;
    std::string message;  // "": read
  };
  const Row rows[] = {
      {"a file", Source::kFile, "A A 0.5\nA B 0.1\nB B 2\n", ""},
      {"a FIFO", Source::kFifo, "A A 0.5\nA B 0.1\nB B 2\n", ""},
      {"the edges of the diagonal", Source::kFile, "A A 0\nB B 2\n", ""},
      {"a unit after the value", Source::kFile, "A A 0.5kg\n",
       "Line 1 of the metafounders file: \"0.5kg\" in column 3 of FILE is not a number."},
      {"inf", Source::kFile, "A A 0.5\nA B inf\nB B 1\n",
       "Line 2 of the metafounders file: \"inf\" in column 3 of FILE is not a number."},
      {"beyond a double", Source::kFile, "A A 1e400\n",
       "Line 1 of the metafounders file: \"1e400\" in column 3 of FILE is not a number."},
      {"a diagonal above 2", Source::kFile, "A A 0.5\nB B 2.5\n",
       "Line 2 of the metafounders file: the value 2.5 of B with itself lies outside 0 to 2."},
      {"a diagonal of 1e308", Source::kFile, "A A 1e308\n",
       "Line 1 of the metafounders file: the value 1e308 of A with itself lies outside 0 to 2."},
      {"a negative diagonal", Source::kFile, "A A -0.1\n",
       "Line 1 of the metafounders file: the value -0.1 of A with itself lies outside 0 to 2."},
      {"an off-diagonal of 1e308", Source::kFile, "A A 1\nB B 1\nA B -1e308\n",
       "Line 3 of the metafounders file: the value -1e308 of A with B lies outside -2 to 2."},
      {"an off-diagonal beyond its diagonals", Source::kFile, "# Gamma\nA A 0.5\nB B 0.5\nb a 0.9\n",
       "Line 4 of the metafounders file: the value 0.9 of B with A exceeds 0.5 in size, the square root of "
       "the product of their values with themselves, so the metafounders' relationships are not "
       "positive semi-definite."},
      {"an off-diagonal beside a zero diagonal", Source::kFile, "A A 0\nB B 1\nA B 0.01\n",
       "Line 3 of the metafounders file: the value 0.01 of A with B exceeds 0 in size, the square root of "
       "the product of their values with themselves, so the metafounders' relationships are not "
       "positive semi-definite."},
      {"each pair possible, the three not", Source::kFile,
       "A A 1\nB B 1\nC C 1\nD D 1\nA B 0.9\nA C 0.9\nB C -0.9\n",
       notPsd + " (smallest eigenvalue -0.800000); the values of C with itself and the metafounders "
                "before it make them so."},
      {"a folder", Source::kFolder, "", "FILE is a folder, not a file."},
      {"/dev/zero", Source::kDevZero, "", "FILE is not a text file: line 1 holds a zero byte."},
  };
  for (const Row& row : rows) {
    const SourceFor source(row.source, row.text);
    GeneticGroups groups;
    EXPECT_EQ(ReadMetafounders(source.path, groups), Named(row.message, source.path)) << row.name;
    EXPECT_EQ(groups.Metafounders(), row.message.empty()) << row.name;
  }
}

TEST(MetafoundersFile, TooManyMetafoundersAreRefusedAtTheLineThatPassesTheLimit) {
  std::string text;
  for (int k = 0; k <= 300; ++k) text += "M" + std::to_string(k) + " M" + std::to_string(k) + " 1\n";
  const test::TempFile file(text, ".txt");
  GeneticGroups groups;
  EXPECT_EQ(ReadMetafounders(file.path(), groups),
            "Line 301 of the metafounders file: more than 300 metafounders; Kinvar holds at most 300.");
}

// Random positive semi-definite Gammas B B' with entries of B in [-1, 1]
// scaled so that the diagonal is at most 2 are read, whatever their rank.
TEST(MetafoundersFile, RandomRelationshipMatricesAreRead) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const std::size_t g = 2 + seed % 6, rank = 1 + seed % g;
    std::vector<double> b(g * rank);
    unsigned state = seed;
    for (double& x : b) {
      state = state * 1103515245u + 12345u;
      x = static_cast<double>((state >> 8) % 2001) / 1000.0 - 1.0;
    }
    std::string text;
    for (std::size_t i = 0; i < g; ++i)
      for (std::size_t j = i; j < g; ++j) {
        double sum = 0.0;
        for (std::size_t k = 0; k < rank; ++k) sum += b[i * rank + k] * b[j * rank + k];
        char value[40];
        std::snprintf(value, sizeof value, "%.17g", 2.0 * sum / static_cast<double>(rank));
        text += "M" + std::to_string(i) + " M" + std::to_string(j) + " " + value + "\n";
      }
    const test::TempFile file(text, ".txt");
    GeneticGroups groups;
    EXPECT_EQ(ReadMetafounders(file.path(), groups), "") << seed;
    EXPECT_EQ(groups.gammaSingular, rank < g) << seed;
  }
}

}  // namespace
}  // namespace kinvar
