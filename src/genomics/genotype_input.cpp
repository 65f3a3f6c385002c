#include "genomics/genotype_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "genomics/genotype_qc.h"
#include "genomics/genotype_reader.h"

namespace kinvar {

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  return UpperCased(text.substr(text.size() - end.size())) == UpperCased(end);
}

GenotypeFile ReadFile(const std::string& format, const std::string& path, Progress& progress) {
  if (format == "plink") return ReadPlinkGenotypes(EndsWith(path, ".bed") ? path : path + ".bed", progress);
  if (format == "vcf") return ReadVcfGenotypes(path, progress);
  if (format == "text") return ReadTextGenotypes(path, progress);
  return GenotypeFile{{}, {}, 0,
                      "Error: \"" + format + "\" is not a genotype format; the formats are plink, vcf and text."};
}

// The pedigree's records by ID, as the reader stored them.
std::unordered_map<std::string_view, RecIndex> RecordsById(const Pedigree& ped) {
  std::unordered_map<std::string_view, RecIndex> recs;
  recs.reserve(ped.recs.size());
  for (RecIndex i = 1; i < static_cast<RecIndex>(ped.recs.size()); ++i) recs.emplace(ped.rec(i).Id(), i);
  return recs;
}

struct Matched {
  std::vector<std::int64_t> rows;  // file rows of the animals in the pedigree, in code order
  std::vector<RecIndex> recs;      // their records
};

Matched MatchToPedigree(const Pedigree& ped, const Genotypes& file, GenotypeInput& input) {
  const auto recs = RecordsById(ped);
  std::vector<std::pair<std::int32_t, std::int64_t>> found;  // code, row
  std::vector<bool> genotyped(ped.recs.size(), false);
  for (std::int64_t row = 0; row < file.AnimalCount(); ++row) {
    const std::string& id = file.ids[static_cast<std::size_t>(row)];
    const auto rec = recs.find(UpperCased(id));
    if (rec == recs.end()) {
      input.notInPedigree.push_back(id);
      continue;
    }
    found.emplace_back(ped.rec(rec->second).code, row);
    genotyped[static_cast<std::size_t>(rec->second)] = true;
  }
  std::sort(found.begin(), found.end());
  Matched matched;
  for (const auto& [code, row] : found) {
    matched.rows.push_back(row);
    matched.recs.push_back(recs.at(UpperCased(file.ids[static_cast<std::size_t>(row)])));
  }
  for (std::int32_t i = 0; i < ped.nTotal && ped.orderState == 1; ++i) {
    const RecIndex rec = ped.records[static_cast<std::size_t>(i)];
    if (!genotyped[static_cast<std::size_t>(rec)]) input.withoutGenotypes.push_back(rec);
  }
  input.pedigreeWithoutGenotypes = ped.nTotal - static_cast<std::int64_t>(found.size());
  return matched;
}

std::string Figure(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

std::string StepLine(std::size_t number, const GenotypeQcStep& step) {
  std::string what;
  if (step.reason == "animal call rate") what = "Animals with call rate below " + Figure(step.threshold);
  if (step.reason == "SNP call rate") what = "SNPs with call rate below " + Figure(step.threshold);
  if (step.reason == "monomorphic") what = "Monomorphic SNPs";
  if (step.reason == "minor allele frequency")
    what = "SNPs with minor allele frequency below " + Figure(step.threshold);
  return "  " + std::to_string(number) + ". " + what + ": " + std::to_string(step.dropped) + " dropped, " +
         std::to_string(step.left) + " left";
}

// The IDs of `ids`, the first ten of them, for a report line.
std::string FirstIds(const std::vector<std::string>& ids) {
  std::string line;
  const std::size_t shown = std::min<std::size_t>(ids.size(), 10);
  for (std::size_t k = 0; k < shown; ++k) line += (k == 0 ? "" : ", ") + ids[k];
  if (ids.size() > shown) line += " and " + std::to_string(ids.size() - shown) + " more";
  return line;
}

struct FileCounts {
  std::int64_t animals = 0;
  std::int64_t snps = 0;
};

std::vector<std::string> Report(const std::string& path, const std::string& format, FileCounts file,
                                const GenotypeInput& input, const GenotypeQcResult& qc) {
  const char* form = format == "plink" ? "PLINK set" : format == "vcf" ? "VCF" : "text form";
  const auto found = file.animals - static_cast<std::int64_t>(input.notInPedigree.size());
  std::vector<std::string> lines{
      "Genotypes: " + path + " (" + form + ")",
      "Animals in the file: " + std::to_string(file.animals),
      "  in the pedigree: " + std::to_string(found),
      "  not in the pedigree: " + std::to_string(input.notInPedigree.size()),
  };
  if (!input.notInPedigree.empty()) lines.push_back("  not in the pedigree: " + FirstIds(input.notInPedigree));
  lines.push_back("Pedigree animals without genotypes: " + std::to_string(input.pedigreeWithoutGenotypes));
  lines.push_back("SNPs in the file: " + std::to_string(file.snps));
  if (format == "vcf")
    lines.push_back("Records skipped, not biallelic SNPs with a GT: " + std::to_string(input.skippedRecords));
  lines.emplace_back("Quality control, in this order:");
  for (std::size_t k = 0; k < qc.steps.size(); ++k) lines.push_back(StepLine(k + 1, qc.steps[k]));
  lines.push_back("Kept: " + std::to_string(input.genotypes.AnimalCount()) + " animals, " +
                  std::to_string(input.genotypes.SnpCount()) + " SNPs");
  return lines;
}

}  // namespace

std::string GenotypeFormatOf(const GenotypeInputOptions& options) {
  if (!options.format.empty()) return options.format;
  if (EndsWith(options.path, ".bed")) return "plink";
  if (EndsWith(options.path, ".vcf") || EndsWith(options.path, ".vcf.gz") || EndsWith(options.path, ".bcf"))
    return "vcf";
  return "text";
}

GenotypeInput ReadGenotypeInput(const Pedigree& ped, const GenotypeInputOptions& options, Progress& progress) {
  GenotypeInput input;
  if (const std::string wrong = CheckGenotypeQcOptions(options.qc); !wrong.empty()) {
    input.error = "Error: " + wrong;
    return input;
  }
  const std::string format = GenotypeFormatOf(options);
  GenotypeFile file = ReadFile(format, options.path, progress);
  if (!file.error.empty()) {
    input.error = std::move(file.error);
    return input;
  }
  input.skippedRecords = file.skippedRecords;
  const Matched matched = MatchToPedigree(ped, file.genotypes, input);
  GenotypeQcResult qc = RunGenotypeQc(file.genotypes, matched.rows, options.qc);
  const FileCounts counts{file.genotypes.AnimalCount(), file.genotypes.SnpCount()};
  for (std::size_t k = 0; k < qc.keptAnimals.size(); ++k)
    input.recOf.push_back(matched.recs[static_cast<std::size_t>(qc.keptAnimalOrdinals[k])]);
  input.genotypes = KeepGenotypes(file.genotypes, qc.keptAnimals, qc.keptSnps);
  file.genotypes = Genotypes{};
  input.qcTable = std::move(qc.table);
  input.droppedTable = std::move(qc.dropped);
  input.reportLines = Report(options.path, format, counts, input, qc);
  if (matched.rows.empty())
    input.error = "Error: No genotyped animal of " + options.path + " is in the pedigree.";
  else if (input.genotypes.AnimalCount() == 0)
    input.error = "Error: No genotyped animal of " + options.path + " passes quality control.";
  else if (input.genotypes.SnpCount() == 0)
    input.error = "Error: No SNP of " + options.path + " passes quality control.";
  return input;
}

}  // namespace kinvar
