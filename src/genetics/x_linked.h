// Relationships at X-chromosome loci (S), on the scale where an animal's
// value is the mean of its X copies: a male has one copy, from his dam, and
// s(m, m) = 1; a female has one from each parent, s(f, f) = 1/2 [1 + s(sire,
// dam)]. Below the diagonal, y younger than x: s(x, y) = s(x, dam of y) for
// a male y, the mean of s(x, sire) and s(x, dam) for a female y; an unknown
// parent is unrelated to everybody. Predefined F does not enter: it is the
// inbreeding at autosomal loci.
//
// The inverse follows Henderson's rules with each animal's row of the
// equations: a male 1 and -1 at his dam, a female 1 and -1/2 at each
// parent; its within-family variance is 1 - s(dam, dam) for a male (1 when
// the dam is unknown) and 1/2 - 1/4 s(sire, sire) - 1/4 s(dam, dam) for a
// female, an unknown parent's term left out. Only s of the dams' diagonal
// is needed, so the inverse is linear in the pedigree but for the
// relationship of each dam's parents (x_linked_variances.h).
#pragma once

#include <string>
#include <vector>

#include "genetics/command_context.h"
#include "genetics/inverse_a.h"
#include "genetics/x_linked_variances.h"

namespace kinvar {

// S itself is written for at most this many individuals.
constexpr std::int32_t kMaxXLinkedIndividuals = 5000;
constexpr const char* kXLinkedTooLarge =
    "The X-linked relationship matrix is written for at most 5000 individuals; its inverse for "
    "any number.";

// The sex of each individual by code (index code - 1): the Sex column's,
// else the role it has as a parent. `unknownId` names the first individual
// of neither, and `sex` is then empty.
struct XLinkedSexes {
  std::vector<Sex> sex;
  std::string unknownId;
};
XLinkedSexes SexesForXLinked(const Pedigree& ped);
// Why S cannot be built when an individual's sex is unknown.
std::string XLinkedUnknownSexMessage(const std::string& id);

// Needs `records` in code order. S by the tabular rules, every element of
// the lower triangle stored (zeros left out); kNoElementMemory when it does
// not fit. T is float, or double for double precision.
template <class T = float>
BasicInverseBuild<T> BuildXLinkedMatrix(const Pedigree& ped, const std::vector<Sex>& sex,
                                        Progress& progress);
// The inverse through the variances of x_linked_variances.h, with the
// pedigree's thread setting or with `options`.
template <class T = float>
BasicInverseBuild<T> BuildXLinkedInverse(const Pedigree& ped, const std::vector<Sex>& sex,
                                         Progress& progress);
template <class T = float>
BasicInverseBuild<T> BuildXLinkedInverse(const Pedigree& ped, const std::vector<Sex>& sex,
                                         const XLinkedOptions& options, Progress& progress);

// The command: S or its inverse, as a lower triangle or triplets, then the
// file.
void OnXLinked(CommandContext& ctx);
// Its parameters: the form's two check boxes.
CommandDeclaration XLinkedDeclaration();
// Writes S (or S inverse when `inverse`) as `output`; tables "xlinked" or
// "xlinked_inverse" with "recoding".
void WriteXLinked(CommandContext& ctx, bool inverse, InverseOutput output);

}  // namespace kinvar
