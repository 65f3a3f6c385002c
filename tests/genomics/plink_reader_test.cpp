// PLINK binary sets: genotypes decoded from sets written here bit by bit
// (every padding of the last byte), and each kind of damage refused with
// the file and the line or SNP, nothing read past it.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "genomics/genotype_reader.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// A .bed/.bim/.fam set under a fresh name, removed with it. The name holds
// the process id: ctest runs the cases as processes side by side, each
// counting from 1.
class PlinkSet {
 public:
  PlinkSet()
      : folder_(::testing::TempDir() + "plink_" + std::to_string(::getpid()) + "_" + std::to_string(++counter_)) {
    std::remove((folder_ + ".bed").c_str());
  }
  ~PlinkSet() {
    for (const char* ext : {".bed", ".bim", ".fam"}) std::remove((folder_ + ext).c_str());
  }
  std::string Bed() const { return folder_ + ".bed"; }
  void Write(const char* ext, const std::string& bytes) const {
    std::FILE* out = std::fopen((folder_ + ext).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  // A sound set of `g` (animal-major codes 0, 1, 2, 9), every file.
  void WriteAll(const std::vector<std::vector<int>>& g) const {
    std::string fam, bim;
    for (std::size_t a = 0; a < g.size(); ++a) fam += "F I" + std::to_string(a) + " 0 0 0 -9\n";
    const std::size_t m = g.empty() ? 0 : g[0].size();
    for (std::size_t j = 0; j < m; ++j) bim += "1\trs" + std::to_string(j) + "\t0\t" + std::to_string(100 * j) + "\tA\tG\n";
    Write(".fam", fam);
    Write(".bim", bim);
    Write(".bed", Encode(g));
  }
  // The .bed bytes as the format describes them: SNP by SNP, four animals
  // a byte, first animal in the lowest bits, zero padding.
  static std::string Encode(const std::vector<std::vector<int>>& g) {
    std::string bytes = "\x6c\x1b\x01";
    const std::size_t m = g.empty() ? 0 : g[0].size();
    for (std::size_t j = 0; j < m; ++j) {
      for (std::size_t a = 0; a < g.size(); a += 4) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 4 && a + k < g.size(); ++k) {
          const int c = g[a + k][j];
          const unsigned bits = c == 0 ? 0u : c == 9 ? 1u : c == 1 ? 2u : 3u;
          byte |= bits << (2 * k);
        }
        bytes += static_cast<char>(byte);
      }
    }
    return bytes;
  }

 private:
  static inline int counter_ = 0;
  std::string folder_;
};

GenotypeFile Read(const PlinkSet& set) {
  SilentProgressWindow window;
  Progress progress(window);
  return ReadPlinkGenotypes(set.Bed(), progress);
}

TEST(PlinkReader, DecodesRandomSetsOfEverySize) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    const int n = 1 + static_cast<int>(random() % 13);
    const int m = 1 + static_cast<int>(random() % (seed % 4 == 0 ? 700 : 9));
    std::vector<std::vector<int>> g(static_cast<std::size_t>(n), std::vector<int>(static_cast<std::size_t>(m)));
    for (auto& row : g)
      for (int& c : row) c = std::vector<int>{0, 1, 2, 9}[random() % 4];
    PlinkSet set;
    set.WriteAll(g);
    const GenotypeFile file = Read(set);
    const std::string name = "seed " + std::to_string(seed);
    ASSERT_EQ(file.error, "") << name;
    ASSERT_EQ(file.genotypes.AnimalCount(), n) << name;
    ASSERT_EQ(file.genotypes.SnpCount(), m) << name;
    for (int a = 0; a < n; ++a)
      for (int j = 0; j < m; ++j)
        ASSERT_EQ(file.genotypes.At(a, j), g[static_cast<std::size_t>(a)][static_cast<std::size_t>(j)])
            << name << " animal " << a << " SNP " << j;
    EXPECT_EQ(file.genotypes.ids.back(), "I" + std::to_string(n - 1)) << name;
    EXPECT_EQ(file.places.back(), n) << name;
  }
}

// Sets larger than the reader's tiles of animals and blocks of SNPs, their
// sizes just past and just short of the edges, and blocks enough to be
// shared among threads.
TEST(PlinkReader, DecodesSetsAcrossItsBlocksAndTiles) {
  struct Row {
    std::string name;
    int animals;
    int snps;
  };
  const std::vector<Row> rows = {
      {"one tile and a ragged one", 515, 37},
      {"two whole tiles", 1024, 9},
      {"one block and a ragged one", 21, 1029},
      {"ragged both ways", 1031, 531},
      {"blocks enough for several threads", 9, 5003},
  };
  for (const Row& row : rows) {
    std::mt19937 random(static_cast<std::uint32_t>(row.animals * 7 + row.snps));
    std::vector<std::vector<int>> g(static_cast<std::size_t>(row.animals),
                                    std::vector<int>(static_cast<std::size_t>(row.snps)));
    for (auto& animal : g)
      for (int& c : animal) c = std::vector<int>{0, 1, 2, 9}[random() % 4];
    PlinkSet set;
    set.WriteAll(g);
    const GenotypeFile file = Read(set);
    ASSERT_EQ(file.error, "") << row.name;
    ASSERT_EQ(file.genotypes.AnimalCount(), row.animals) << row.name;
    ASSERT_EQ(file.genotypes.SnpCount(), row.snps) << row.name;
    for (int a = 0; a < row.animals; ++a)
      for (int j = 0; j < row.snps; ++j)
        ASSERT_EQ(file.genotypes.At(a, j), g[static_cast<std::size_t>(a)][static_cast<std::size_t>(j)])
            << row.name << " animal " << a << " SNP " << j;
  }
}

TEST(PlinkReader, TakesSnpDetailsFromTheBim) {
  PlinkSet set;
  set.Write(".fam", "F1 a1 0 0 1 -9\n");
  set.Write(".bim", "X rs7 0.5 12345 T C\n");
  set.Write(".bed", std::string("\x6c\x1b\x01\x03", 4));
  const GenotypeFile file = Read(set);
  ASSERT_EQ(file.error, "");
  const SnpInfo& snp = file.genotypes.snps[0];
  EXPECT_EQ(snp.chromosome, "X");
  EXPECT_EQ(snp.name, "rs7");
  EXPECT_EQ(snp.position, 12345);
  EXPECT_EQ(snp.allele1, "T");
  EXPECT_EQ(snp.allele2, "C");
  EXPECT_EQ(file.genotypes.At(0, 0), 2);  // 11: two copies of the .bim's A2
  EXPECT_EQ(file.genotypes.ids[0], "a1");
}

TEST(PlinkReader, RefusesDamageNamingFileAndRecord) {
  const std::string fam = "F I1 0 0 0 -9\nF I2 0 0 0 -9\nF I3 0 0 0 -9\nF I4 0 0 0 -9\nF I5 0 0 0 -9\n";
  const std::string bim = "1 s1 0 1 A G\n1 s2 0 2 A G\n1 s3 0 3 A G\n";
  const std::string good = std::string("\x6c\x1b\x01", 3) + std::string(6, '\0');  // 3 SNPs x 2 bytes
  struct Row {
    const char* name;
    std::string fam, bim, bed;
    std::string message;  // "%" stands for the set's path without extension
  };
  const Row rows[] = {
      {"truncated .bed", fam, bim, good.substr(0, 6),
       "Error: %.bed is truncated: it ends within SNP 2 (s2); the 3 SNPs of the .bim and the 5 "
       "animals of the .fam need 9 bytes, the file has 6."},
      {"a .bim with a SNP too many", fam, bim + "1 s4 0 4 A G\n", good,
       "Error: %.bed is truncated: it ends within SNP 4 (s4); the 4 SNPs of the .bim and the 5 "
       "animals of the .fam need 11 bytes, the file has 9."},
      {"a .fam longer than the .bed", fam + "F I6 0 0 0 -9\nF I7 0 0 0 -9\nF I8 0 0 0 -9\nF I9 0 0 0 -9\n", bim,
       good, "Error: %.bed is truncated: it ends within SNP 3 (s3); the 3 SNPs of the .bim and the 9 "
             "animals of the .fam need 12 bytes, the file has 9."},
      {"bytes beyond the last SNP", fam, bim, good + "\x01",
       "Error: %.bed has 10 bytes where the 3 SNPs of the .bim and the 5 animals of the .fam need 9 bytes: the "
       ".bim or the .fam is not the one written with it."},
      {"not a .bed", fam, bim, "hello, world",
       "Error: %.bed is not a PLINK .bed file: it does not start with the bytes 0x6C 0x1B."},
      {"shorter than the magic bytes", fam, bim, "\x6c",
       "Error: %.bed is not a PLINK .bed file: it is shorter than the 3 bytes that start one."},
      {"animal-major mode", fam, bim, std::string("\x6c\x1b\x00", 3) + std::string(6, '\0'),
       "Error: %.bed holds its genotypes animal by animal (an old PLINK mode); write it again with a current "
       "PLINK, which stores them SNP by SNP."},
      {"a .fam line of five fields", "F I1 0 0 0 -9\nF I2 0 0 0\n", bim, good,
       "Error in line 2 of %.fam.\nThe line holds 5 fields where this file has 6 a line."},
      {"an animal twice in the .fam", "F I1 0 0 0 -9\nG i1 0 0 0 -9\n", bim, good,
       "Error in line 2 of %.fam.\nThe animal \"i1\" has a line of its own in line 1 already."},
      {"a .bim position that is not a number", fam, "1 s1 0 1 A G\n1 s2 0 2x A G\n", good,
       "Error in line 2 of %.bim.\nThe position \"2x\" is not a whole number."},
      {"a .bim distance that is not a number", fam, "1 s1 cM 1 A G\n", good,
       "Error in line 1 of %.bim.\nThe genetic distance \"cM\" is not a number."},
      {"an empty .fam", "", bim, good, "Error: %.fam lists no animal."},
      {"an empty .bim", fam, "\n", good, "Error: %.bim lists no SNP."},
  };
  for (const Row& row : rows) {
    PlinkSet set;
    set.Write(".fam", row.fam);
    set.Write(".bim", row.bim);
    set.Write(".bed", row.bed);
    const GenotypeFile file = Read(set);
    std::string message = row.message;
    const std::string prefix = set.Bed().substr(0, set.Bed().size() - 4);
    for (std::size_t at = message.find('%'); at != std::string::npos; at = message.find('%'))
      message.replace(at, 1, prefix);
    EXPECT_EQ(file.error, message) << row.name;
    EXPECT_TRUE(file.genotypes.codes.empty()) << row.name;
  }
}

TEST(PlinkReader, AMissingFileIsNamed) {
  PlinkSet set;
  set.Write(".fam", "F I1 0 0 0 -9\n");
  const GenotypeFile file = Read(set);
  EXPECT_EQ(file.error, "Cannot open " + set.Bed().substr(0, set.Bed().size() - 4) + ".bim");
}

}  // namespace
}  // namespace kinvar
