#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "genomics/genotype_reader.h"
#include "pedigree/number_text.h"
#include "pedigree/pedigree.h"

namespace kinvar {

namespace {

struct HtsCloser {
  void operator()(htsFile* file) const { hts_close(file); }
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
};

// The GT array htslib fills and grows, freed once.
struct GtBuffer {
  ~GtBuffer() { std::free(values); }
  std::int32_t* values = nullptr;
  int capacity = 0;
};

GenotypeFile Failed(std::string message) { return GenotypeFile{{}, {}, 0, std::move(message)}; }

bool IsBase(const char* allele) {
  return std::strlen(allele) == 1 && std::strchr("ACGTacgt", allele[0]) != nullptr;
}

// A biallelic SNP: two alleles, each one base.
bool IsBiallelicSnp(bcf1_t* record) {
  return record->n_allele == 2 && IsBase(record->d.allele[0]) && IsBase(record->d.allele[1]);
}

std::string Where(const std::string& path, std::int64_t number, const bcf_hdr_t* header, const bcf1_t* record) {
  const char* contig = record->rid >= 0 ? bcf_hdr_id2name(header, record->rid) : "?";
  return "Error in record " + std::to_string(number) + " of " + path + " (chromosome " + QuotedCell(contig) +
         ", position " + std::to_string(record->pos + 1) + ").\n";
}

std::string TakeSamples(const std::string& path, const bcf_hdr_t* header, GenotypeFile& file) {
  std::unordered_map<std::string, std::int64_t> columnOf;
  for (int s = 0; s < bcf_hdr_nsamples(header); ++s) {
    const std::string id = header->samples[s];
    const auto [seen, fresh] = columnOf.emplace(UpperCased(id), s + 1);
    if (!fresh)
      return "Error: " + path + " names the animal " + QuotedCell(id) + " in sample columns " +
             std::to_string(seen->second) + " and " + std::to_string(s + 1) + ".";
    file.genotypes.ids.push_back(id);
    file.places.push_back(s + 1);
  }
  return {};
}

SnpInfo SnpOf(const bcf_hdr_t* header, const bcf1_t* record) {
  SnpInfo snp;
  snp.chromosome = bcf_hdr_id2name(header, record->rid);
  snp.position = record->pos + 1;
  const std::string id = record->d.id ? record->d.id : ".";
  snp.name = id == "." ? snp.chromosome + ":" + std::to_string(snp.position) : id;
  snp.allele1 = record->d.allele[0];
  snp.allele2 = record->d.allele[1];
  return snp;
}

// Appends the record's genotypes SNP-major; false when it is haploid or of
// a ploidy above two, and so skipped. A sample called with one allele only
// (a male's X in a diploid record) is missing.
bool TakeGenotypes(const std::int32_t* gt, int perSample, std::int64_t n, std::vector<std::uint8_t>& out) {
  if (perSample != 2) return false;
  for (std::int64_t s = 0; s < n; ++s) {
    const std::int32_t a = gt[2 * s];
    const std::int32_t b = gt[2 * s + 1];
    const bool missing = bcf_gt_is_missing(a) || bcf_gt_is_missing(b) || b == bcf_int32_vector_end ||
                         a == bcf_int32_vector_end;
    out.push_back(missing ? kMissingGenotype : static_cast<std::uint8_t>(bcf_gt_allele(a) + bcf_gt_allele(b)));
  }
  return true;
}

// The damage htslib reports in a record; CTG_UNDEF and TAG_UNDEF are only
// missing header lines, which it mends.
bool Damaged(const bcf1_t* record) {
  return (record->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF)) != 0;
}

// SNP-major codes turned animal-major.
void Transpose(const std::vector<std::uint8_t>& snpMajor, Genotypes& g) {
  const std::int64_t n = g.AnimalCount();
  const std::int64_t m = g.SnpCount();
  g.codes.resize(static_cast<std::size_t>(n * m));
  constexpr std::int64_t kBlock = 64;
  for (std::int64_t j0 = 0; j0 < m; j0 += kBlock)
    for (std::int64_t a0 = 0; a0 < n; a0 += kBlock)
      for (std::int64_t a = a0; a < std::min(n, a0 + kBlock); ++a)
        for (std::int64_t j = j0; j < std::min(m, j0 + kBlock); ++j)
          g.codes[static_cast<std::size_t>(a * m + j)] = snpMajor[static_cast<std::size_t>(j * n + a)];
}

struct VcfRecords {
  std::vector<std::uint8_t> snpMajor;
  std::string error;
};

VcfRecords ReadRecords(const std::string& path, htsFile* vcf, bcf_hdr_t* header, GenotypeFile& file,
                       Progress& progress) {
  VcfRecords records;
  const std::unique_ptr<bcf1_t, HtsCloser> record(bcf_init());
  GtBuffer gt;
  const std::int64_t n = file.genotypes.AnimalCount();
  std::int64_t number = 0;
  int status = 0;
  while ((status = bcf_read(vcf, header, record.get())) == 0) {
    ++number;
    if (progress.Step(number >> 12)) return {{}, "The reading of " + path + " was cancelled."};
    if (Damaged(record.get()) || bcf_unpack(record.get(), BCF_UN_STR) != 0)
      return {{}, Where(path, number, header, record.get()) + "The record is damaged."};
    if (!IsBiallelicSnp(record.get())) {
      ++file.skippedRecords;
      continue;
    }
    const int values = bcf_get_genotypes(header, record.get(), &gt.values, &gt.capacity);
    if (values <= 0) return {{}, Where(path, number, header, record.get()) + "The record has no GT field."};
    if (!TakeGenotypes(gt.values, values / static_cast<int>(n), n, records.snpMajor)) {
      ++file.skippedRecords;
      continue;
    }
    file.genotypes.snps.push_back(SnpOf(header, record.get()));
  }
  if (status < -1)
    records.error = "Error in record " + std::to_string(number + 1) + " of " + path +
                    ".\nThe record cannot be read: the file is damaged or truncated.";
  return records;
}

}  // namespace

GenotypeFile ReadVcfGenotypes(const std::string& path, Progress& progress) {
  // Kinvar's own messages name the file and the record; htslib's would
  // only repeat them on the standard error.
  hts_set_log_level(HTS_LOG_OFF);
  const std::unique_ptr<htsFile, HtsCloser> vcf(hts_open(path.c_str(), "r"));
  if (!vcf) return Failed("Cannot open " + path);
  const htsExactFormat format = hts_get_format(vcf.get())->format;
  if (format != htsExactFormat::vcf && format != htsExactFormat::bcf)
    return Failed("Error: " + path + " is neither a VCF nor a BCF file.");
  const std::unique_ptr<bcf_hdr_t, HtsCloser> header(bcf_hdr_read(vcf.get()));
  if (!header) return Failed("Error: " + path + " has no VCF header that can be read.");
  if (bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT") < 0 ||
      !bcf_hdr_idinfo_exists(header.get(), BCF_HL_FMT, bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT")))
    return Failed("Error: " + path + " declares no GT field in its header; Kinvar reads genotypes from GT.");
  GenotypeFile file;
  if (std::string fault = TakeSamples(path, header.get(), file); !fault.empty()) return Failed(std::move(fault));
  if (file.genotypes.ids.empty()) return Failed("Error: " + path + " holds no samples.");
  progress.SetStage(0, 100, 0, "Reading " + path);
  VcfRecords records = ReadRecords(path, vcf.get(), header.get(), file, progress);
  if (!records.error.empty()) return Failed(std::move(records.error));
  if (file.genotypes.snps.empty())
    return Failed("Error: " + path + " holds no biallelic SNP (" + std::to_string(file.skippedRecords) +
                  " other records skipped).");
  Transpose(records.snpMajor, file.genotypes);
  return file;
}

}  // namespace kinvar
