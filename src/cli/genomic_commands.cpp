#include "cli/genomic_commands.h"

#include "analyses/command_ids.h"

namespace kinvar::cli {
namespace {

void AddValue(CLI::App& sub, GenomicValues& values, const std::string& key, const std::string& help,
              const std::string& type) {
  sub.add_option_function<std::string>(
         "--" + key, [&values, key](const std::string& text) { values[key] = text; }, help)
      ->type_name(type);
}

}  // namespace

void AddGenotypeOptions(CLI::App& sub, GenomicValues& values) {
  sub.add_option_function<std::string>(
         "--genotypes", [&values](const std::string& text) { values["genotypes"] = text; },
         "The genotypes: a PLINK set (.bed), a VCF or BCF, or the 0/1/2 text form")
      ->type_name("FILE")
      ->required();
  sub.add_option_function<std::string>(
         "--genotype-format", [&values](const std::string& text) { values["genotype-format"] = text; },
         "plink, vcf or text (default: by the file's extension)")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"plink", "vcf", "text"}));
  AddValue(sub, values, "min-snp-call-rate", "Drop SNPs called in fewer animals (default 0.90)", "X");
  AddValue(sub, values, "min-animal-call-rate", "Drop animals called at fewer SNPs (default 0.90)", "X");
  AddValue(sub, values, "min-maf", "Drop SNPs of a smaller minor allele frequency (default 0.01)", "X");
  // One option for the form's two boxes: a word, or the file to read.
  sub.add_option_function<std::string>(
         "--frequencies",
         [&values](const std::string& text) {
           if (text == "genotyped" || text == "founders") {
             values["frequencies"] = text;
           } else {
             values["frequencies"] = "file";
             values["frequency-file"] = text;
           }
         },
         "Allele frequencies: genotyped (default), founders (the base by gene content) or a FILE of "
         "\"SNP frequency\" lines")
      ->type_name("FROM");
}

void AddGenomicOptions(CLI::App& sub, std::int32_t id, GenomicValues& values) {
  AddGenotypeOptions(sub, values);
  if (id == kCmdGenomicRelationship) {
    sub.add_option_function<std::string>(
           "--method", [&values](const std::string& text) { values["method"] = text; },
           "vanraden1 (default), vanraden2 or yang")
        ->type_name("METHOD")
        ->check(CLI::IsMember({"vanraden1", "vanraden2", "yang"}));
    sub.add_option_function<std::string>(
           "--write-g", [&values](const std::string& text) { values["output"] = text; },
           "Write G to FILE (for gcta: the prefix of FILE.grm.bin, .grm.N.bin and .grm.id)")
        ->type_name("FILE");
    sub.add_option_function<std::string>(
           "--g-format", [&values](const std::string& text) { values["output-format"] = text; },
           "G's file: triplets (default), dense or gcta")
        ->type_name("FORM")
        ->check(CLI::IsMember({"triplets", "dense", "gcta"}));
    AddValue(sub, values, "pairs", "Pairs listed whose G differs most from A22 (default 20)", "N");
  }
  if (id == kCmdGenomicInbreeding) {
    AddValue(sub, values, "roh-window-snps", "Runs: SNPs in a sliding window (default 50)", "N");
    AddValue(sub, values, "roh-max-het", "Runs: heterozygous calls allowed in a window (default 1)", "N");
    AddValue(sub, values, "roh-max-missing", "Runs: missing calls allowed in a window (default 5)", "N");
    AddValue(sub, values, "roh-min-share",
             "Runs: a SNP is in a run when this share of the windows over it are homozygous (default 0.05)", "X");
    AddValue(sub, values, "roh-min-snps", "Runs: the fewest SNPs in a run (default 50)", "N");
    AddValue(sub, values, "roh-min-length", "Runs: the shortest run in base pairs (default 1000000)", "BP");
  }
}

}  // namespace kinvar::cli
