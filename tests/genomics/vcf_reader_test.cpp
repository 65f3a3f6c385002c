// VCF and BCF through htslib: genotypes from GT as allele counts, records
// that are not biallelic SNPs skipped and counted, the same from the text,
// the bgzipped text and the binary form, and damage refused by record.
#include <gtest/gtest.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <string>
#include <vector>

#include "genomics/genotype_reader.h"
#include "support/genotype_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

constexpr const char* kHeader =
    "##fileformat=VCFv4.2\n"
    "##contig=<ID=1>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tcow1\tCow2\tcow3\n";

// Records of every kind: kept SNPs, and one of each skipped kind.
constexpr const char* kRecords =
    "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/0\t0/1\t1/1\n"
    "1\t200\trs2\tC\tT,G\t.\t.\t.\tGT\t0/0\t0/1\t1/2\n"    // multiallelic
    "1\t300\trs3\tCA\tC\t.\t.\t.\tGT\t0/0\t0/1\t1/1\n"     // an indel
    "1\t400\t.\tT\tC\t.\t.\t.\tGT:DP\t1|0:5\t./.:0\t1|1:7\n"
    "1\t500\trs5\tG\tA\t.\t.\t.\tGT\t0\t1\t1\n"            // haploid
    "1\t600\trs6\tG\t*\t.\t.\t.\tGT\t0/0\t0/1\t1/1\n"      // a spanning deletion
    "1\t700\trs7\tg\tt\t.\t.\t.\tGT\t./1\t1/1\t0/0\n";

using test::GenotypeCells;

GenotypeFile Read(const std::string& path) {
  SilentProgressWindow window;
  Progress progress(window);
  return ReadVcfGenotypes(path, progress);
}

// The VCF text at `from` written again by htslib in `mode` ("wb" BCF, "wz"
// bgzipped VCF) at `to`.
void Convert(const std::string& from, const std::string& to, const char* mode) {
  htsFile* in = hts_open(from.c_str(), "r");
  bcf_hdr_t* header = bcf_hdr_read(in);
  htsFile* out = hts_open(to.c_str(), mode);
  ASSERT_EQ(bcf_hdr_write(out, header), 0);
  bcf1_t* record = bcf_init();
  while (bcf_read(in, header, record) == 0) ASSERT_EQ(bcf_write(out, header, record), 0);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(out);
  hts_close(in);
}

TEST(VcfReader, CountsAllelesOfBiallelicSnpsInEveryForm) {
  const test::TempFile vcf(std::string(kHeader) + kRecords, ".vcf");
  const test::TempFile bcf("", ".bcf");
  const test::TempFile gz("", ".vcf.gz");
  Convert(vcf.path(), bcf.path(), "wb");
  Convert(vcf.path(), gz.path(), "wz");
  for (const std::string& path : {vcf.path(), bcf.path(), gz.path()}) {
    const GenotypeFile file = Read(path);
    ASSERT_EQ(file.error, "") << path;
    EXPECT_EQ(GenotypeCells(file), "cow1:019 Cow2:192 cow3:220") << path;
    EXPECT_EQ(file.skippedRecords, 4) << path;
    ASSERT_EQ(file.genotypes.SnpCount(), 3) << path;
    EXPECT_EQ(file.genotypes.snps[0].name, "rs1");
    EXPECT_EQ(file.genotypes.snps[0].allele1, "A");
    EXPECT_EQ(file.genotypes.snps[0].allele2, "G");
    EXPECT_EQ(file.genotypes.snps[1].name, "1:400");  // no ID
    EXPECT_EQ(file.genotypes.snps[2].position, 700);
    EXPECT_EQ(file.places, (std::vector<std::int64_t>{1, 2, 3}));
  }
}

TEST(VcfReader, RefusesDamageNamingFileAndRecord) {
  const std::string noGt =
      "##fileformat=VCFv4.2\n##contig=<ID=1>\n"
      "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tc1\n"
      "1\t100\trs1\tA\tG\t.\t.\t.\tDP\t3\n";
  struct Row {
    const char* name;
    std::string text;
    std::string message;  // after the path
  };
  const Row rows[] = {
      {"no GT in the header", noGt, " declares no GT field in its header; Kinvar reads genotypes from GT."},
      {"a record without GT", std::string(kHeader) + kRecords + "1\t800\trs8\tA\tG\t.\t.\t.\tDP\t1\t2\t3\n",
       " (chromosome \"1\", position 800).\nThe record has no GT field."},
      {"only skipped records", std::string(kHeader) + "1\t200\trs2\tC\tT,G\t.\t.\t.\tGT\t0/0\t0/1\t1/2\n",
       " holds no biallelic SNP (1 other records skipped)."},
      {"no samples", "##fileformat=VCFv4.2\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"G\">\n"
                     "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n",
       " holds no samples."},
      {"not a VCF", "ID 0120\n", " is neither a VCF nor a BCF file."},
      {"a record cut short", std::string(kHeader) + "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/0\n",
       ".\nThe record cannot be read: the file is damaged or truncated."},
      {"a genotype that is not one", std::string(kHeader) + "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/0\tx/y\t1/1\n",
       ".\nThe record cannot be read: the file is damaged or truncated."},
  };
  for (const Row& row : rows) {
    const test::TempFile file(row.text, ".vcf");
    SCOPED_TRACE(row.name);
    const GenotypeFile read = Read(file.path());
    const std::size_t at = read.error.find(file.path());
    ASSERT_NE(at, std::string::npos) << row.name << ": " << read.error;
    EXPECT_EQ(read.error.substr(at + file.path().size()), row.message) << row.name;
    EXPECT_TRUE(read.genotypes.codes.empty()) << row.name;
  }
}

TEST(VcfReader, RefusesATruncatedBgzippedFile) {
  const test::TempFile vcf(std::string(kHeader) + kRecords, ".vcf");
  const test::TempFile gz("", ".vcf.gz");
  Convert(vcf.path(), gz.path(), "wz");
  const std::string whole = test::ReadWholeFile(gz.path());
  const test::TempFile cut(whole.substr(0, whole.size() * 2 / 3), ".vcf.gz");
  const GenotypeFile read = Read(cut.path());
  EXPECT_NE(read.error.find(cut.path()), std::string::npos) << read.error;
  EXPECT_EQ(read.error.substr(0, 16), "Error in record ");
  EXPECT_TRUE(read.genotypes.codes.empty());
}

TEST(VcfReader, AMissingFileIsNamed) {
  EXPECT_EQ(Read("/nonexistent/g.vcf").error, "Cannot open /nonexistent/g.vcf");
}

}  // namespace
}  // namespace kinvar
