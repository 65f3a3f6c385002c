// The genomic commands' handlers: Genomic Relationships (G written as a
// file, set against A22) and Genomic Inbreeding (F from the genotypes beside
// pedigree F). Both ask for their inputs with the form of their
// declaration, read the genotypes through the shared genotype input, and
// run on every front end through the platform.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/command_declaration.h"
#include "genomics/genotype_input.h"
#include "genomics/genomic_relationship.h"
#include "genomics/genomic_relationship_pedigree.h"
#include "report/platform.h"

namespace kinvar {

// The commands' identifiers, which lastCommand records.
inline constexpr std::int32_t kCmdGenomicRelationship = 32940;
inline constexpr std::int32_t kCmdGenomicInbreeding = 32941;

// The parameter both commands declare after the genotype input: where the
// allele frequencies come from, "genotyped", "founders" or a file's name.
Parameter FrequenciesParameter();

enum class FrequencySource { kGenotyped, kFounders, kFile };

struct GenotypeChoice {
  GenotypeInputOptions input;
  FrequencySource frequencies = FrequencySource::kGenotyped;
  std::string frequencyFile;
};

// The genotype input and the frequencies of the command's accepted values;
// nothing when no frequency file is named, which `platform` is told.
std::optional<GenotypeChoice> GenotypeChoiceOf(const CommandDeclaration& command, const CommandValues& values,
                                               Platform& platform);

// The allele frequencies the choice names, or a message. Cancelled: the
// optional is empty and `cancelled` set.
struct Frequencies {
  std::vector<double> p;
  std::string error;
  bool cancelled = false;
};
Frequencies ChooseFrequencies(Pedigree& ped, const GenotypeInput& input, const GenotypeChoice& choice,
                              Progress& progress);
std::string FrequencySourceText(const GenotypeChoice& choice);
// Report helpers of the genomic commands: a line, a labelled figure, a
// number in the number format ("-" for NaN).
void Line(Pedigree& ped, const std::string& line);
std::string Figure(const std::string& label, const std::string& value);
std::string Number(const Pedigree& ped, double value);
// How a genomic computation ended; kRefused: the user has been told why.
enum class GenomicOutcome { kDone, kCanceled, kRefused };
// What both commands compute on: the genotypes after quality control and
// the allele frequencies of the choice.
using GenomicCompute =
    std::function<GenomicOutcome(const GenotypeInput& input, const std::vector<double>& p, Progress& progress)>;
using GenomicWrite = std::function<void(Pedigree& ped, const GenotypeInput& input, const std::vector<double>& p)>;

// The run both commands share after their form: the coefficients, then on
// one progress window the genotypes, their frequencies and `compute`; when
// that is done, the report cleared, lastCommand set to `id` and `write`.
// A cancel anywhere ends in the cancel state.
void RunGenomicCommand(CommandContext& ctx, std::int32_t id, const GenotypeChoice& choice,
                       const GenomicCompute& compute, const GenomicWrite& write);
// The report's head both commands begin with: the title, the genotype
// input's lines, the animals and SNPs used, then `figures` (labelled lines).
void WriteGenomicHead(Pedigree& ped, const std::string& title, const GenotypeInput& input, std::int64_t snpsUsed,
                      const std::vector<std::string>& figures);

void OnGenomicRelationship(CommandContext& ctx);
void OnGenomicInbreeding(CommandContext& ctx);
// Their parameters: the genotype input's, the frequencies, and each one's own.
CommandDeclaration GenomicRelationshipDeclaration();
CommandDeclaration GenomicInbreedingDeclaration();

}  // namespace kinvar
