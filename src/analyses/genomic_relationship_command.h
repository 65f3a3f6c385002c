// The genomic commands' handlers: Genomic Relationships (G written as a
// file, set against A22) and Genomic Inbreeding (F from the genotypes beside
// pedigree F). Both ask for their inputs with one form whose keys are the
// command line's options, read the genotypes through the shared genotype
// input, and run on every front end through the platform.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "genomics/genotype_input.h"
#include "genomics/genomic_relationship.h"
#include "genomics/genomic_relationship_pedigree.h"
#include "report/platform.h"

namespace kinvar {

// The form's fields that the genomic relationship and inbreeding commands
// share: the genotype input's boxes, then where the allele frequencies come
// from (keys "frequencies" and "frequency-file").
std::vector<ValueForm::Field> GenotypeFields(const std::map<std::string, std::string>& remembered);

enum class FrequencySource { kGenotyped, kFounders, kFile };

struct GenotypeChoice {
  GenotypeInputOptions input;
  FrequencySource frequencies = FrequencySource::kGenotyped;
  std::string frequencyFile;
};

// Reads the shared fields from texts[0..GenotypeFields().size()); false
// when one is refused, which `platform` is told.
bool ReadGenotypeChoice(const std::vector<std::string>& texts, GenotypeChoice& choice, Platform& platform);

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
// ChooseFrequencies, showing the cancel state or the error when there are
// none.
std::optional<std::vector<double>> FrequenciesOrStop(CommandContext& ctx, const GenotypeInput& input,
                                                     const GenotypeChoice& choice, Progress& progress);

// Report helpers of the genomic commands: a line, a labelled figure, a
// number in the number format ("-" for NaN), the genotype input's lines.
void Line(Pedigree& ped, const std::string& line);
std::string Figure(const std::string& label, const std::string& value);
std::string Number(const Pedigree& ped, double value);
void WriteInputLines(Pedigree& ped, const GenotypeInput& input);
// A progress window that remembers a cancel: the genotype readers tell one
// as an error, which must end in the cancel state like any other.
class CancelLatch final : public ProgressWindow {
 public:
  explicit CancelLatch(ProgressWindow& window) : window_(window) {}
  void SetLabel(const std::string& label) override { window_.SetLabel(label); }
  void SetPosition(int percent) override { window_.SetPosition(percent); }
  bool PollCancel() override {
    cancelled_ = window_.PollCancel() || cancelled_;
    return cancelled_;
  }
  void SetWindowText(const std::string& text) override { window_.SetWindowText(text); }
  void ShowCancelButton(bool shown) override { window_.ShowCancelButton(shown); }
  void Hide() override { window_.Hide(); }
  bool cancelled() const { return cancelled_; }

 private:
  ProgressWindow& window_;
  bool cancelled_ = false;
};

// The genotypes after the coefficients, OpenBLAS's threads set; nothing
// when the reading failed (the error has been shown) or was cancelled (the
// cancel state is shown).
std::optional<GenotypeInput> ReadGenotypes(CommandContext& ctx, const GenotypeChoice& choice,
                                           const CancelLatch& latch, Progress& progress);

void OnGenomicRelationship(CommandContext& ctx);
void OnGenomicInbreeding(CommandContext& ctx);

}  // namespace kinvar
