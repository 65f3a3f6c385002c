#include "genomics/genomic_relationship_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace kinvar {
namespace {

// Two animals at three SNPs, G worked by hand (p = 0.5, 0.25, 0.5;
// 2 sum p(1-p) = 1.375): z = (1, -0.5, -1) and (-1, 0.5, 0) (the second's
// third call missing), so G = [[2.25, -1.25], [-1.25, 1.25]] / 1.375.
Genotypes Pair() {
  Genotypes g;
  g.ids = {"BULL", "COW"};
  g.snps = {{"1", "S1", 1, "A", "B"}, {"1", "S2", 2, "A", "B"}, {"1", "S3", 3, "A", "B"}};
  g.codes = {2, 0, 0,  //
             0, 1, 9};
  return g;
}

std::string Folder() {
  const std::string folder = ::testing::TempDir() + "genog-" + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(folder);
  return folder;
}

std::vector<std::string> Write(GenomicMatrixForm form, const std::string& path, const Genotypes& g) {
  std::string error;
  auto writer = BeginGenomicMatrix(form, path, {3, 7}, g.ids, error);
  EXPECT_TRUE(writer) << error;
  SilentProgressWindow window;
  Progress progress(window);
  const std::vector<double> p = {0.5, 0.25, 0.5};
  GenomicRowOptions options;
  options.fullRows = writer->FullRows();
  options.counts = writer->Counts();
  options.blockBytes = 1;  // a row at a time
  EXPECT_TRUE(ForEachGenomicRowBlock(g, p, GenomicMethod::kVanRaden1, options, [&](const GenomicRowBlock& b) {
    WriteGenomicRows(*writer, b);
    return true;
  }, progress));
  EXPECT_TRUE(CommitGenomicMatrix(*writer, error)) << error;
  std::vector<std::string> contents;
  for (const std::string& file : GenomicMatrixPaths(form, path)) contents.push_back(test::ReadWholeFile(file));
  return contents;
}

std::string Floats(const std::vector<float>& values) {
  std::string bytes(values.size() * 4, '\0');
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

TEST(GenomicMatrixFiles, EveryFormWritesItsExactBytes) {
  const std::string folder = Folder();
  const float a = static_cast<float>(2.25 / 1.375), b = static_cast<float>(-1.25 / 1.375),
              c = static_cast<float>(1.25 / 1.375);
  struct Row {
    std::string name;
    GenomicMatrixForm form;
    std::string path;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"triplets in pedigree codes", GenomicMatrixForm::kTriplets, folder + "g.txt",
       {"3 3 1.6363636\n7 3 -0.90909094\n7 7 0.90909094\n"}},
      {"dense rows after the ID", GenomicMatrixForm::kDense, folder + "g.dense",
       {"BULL 1.6363636 -0.90909094\nCOW -0.90909094 0.90909094\n"}},
      {"GCTA's three files", GenomicMatrixForm::kGcta, folder + "herd",
       {Floats({a, b, c}), Floats({3, 2, 2}), "BULL\tBULL\nCOW\tCOW\n"}},
      {"GCTA named by its .grm.bin", GenomicMatrixForm::kGcta, folder + "named.grm.bin",
       {Floats({a, b, c}), Floats({3, 2, 2}), "BULL\tBULL\nCOW\tCOW\n"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Write(row.form, row.path, Pair()), row.expected) << row.name;
  }
  EXPECT_EQ(GenomicMatrixPaths(GenomicMatrixForm::kGcta, folder + "named.grm.bin")[1], folder + "named.grm.N.bin");
  std::filesystem::remove_all(folder);
}

TEST(GenomicMatrixFiles, AFailedRunLeavesTheTargetsAsTheyWere) {
  const std::string folder = Folder();
  const std::string target = folder + "kept.txt";
  test::WriteWholeFile(target, "old\n");
  std::string error;
  auto writer = BeginGenomicMatrix(GenomicMatrixForm::kTriplets, target, {1, 2}, {"A", "B"}, error);
  ASSERT_TRUE(writer);
  writer->files[0]->Raw("partial");
  writer.reset();  // dropped without a commit, as a cancel does
  EXPECT_EQ(test::ReadWholeFile(target), "old\n");
  EXPECT_FALSE(test::HasTemporaryBeside(target));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kinvar
