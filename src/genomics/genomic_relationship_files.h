// G written out for other programs, a block of rows at a time (so that a
// matrix too large for memory streams from the product to the disk):
// - triplets: "row column value" lines of the lower triangle with the
//   diagonal, rows and columns being the animals' codes in the pedigree (as
//   recoding numbers them), row by row;
// - dense text: one line per animal, its ID then its whole row;
// - GCTA's binary GRM: PREFIX.grm.bin (the lower triangle with the
//   diagonal, row by row, 4-byte little-endian floats), PREFIX.grm.N.bin
//   (the same layout: the SNPs called in both animals) and PREFIX.grm.id
//   (family and animal ID, tab-separated; the family ID is the animal's ID,
//   as the pedigree has no families).
// Values are rounded to 32-bit floats and written as the shortest text that
// reads back as the same float. Every file goes through an OutputFile, so a
// cancel or a failed write leaves the targets as they were.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "genomics/genomic_relationship.h"
#include "report/output_file.h"

namespace kinvar {

enum class GenomicMatrixForm { kTriplets, kDense, kGcta };

// The paths a form writes for `path`: the file itself, or for GCTA the
// three files of the prefix (a path ending in ".grm.bin" names its prefix).
std::vector<std::string> GenomicMatrixPaths(GenomicMatrixForm form, const std::string& path);

struct GenomicMatrixWriter {
  GenomicMatrixForm form = GenomicMatrixForm::kTriplets;
  std::vector<std::int32_t> codes;  // per animal, its code in the pedigree
  std::vector<std::string> ids;
  std::vector<std::unique_ptr<OutputFile>> files;  // as GenomicMatrixPaths

  bool FullRows() const { return form == GenomicMatrixForm::kDense; }
  bool Counts() const { return form == GenomicMatrixForm::kGcta; }
};

// Begins the files (the .grm.id is written at once); nothing, with the
// reason in `error`, when one cannot be begun.
std::unique_ptr<GenomicMatrixWriter> BeginGenomicMatrix(GenomicMatrixForm form, const std::string& path,
                                                        std::vector<std::int32_t> codes,
                                                        std::vector<std::string> ids,
                                                        std::string& error);
// Writes one block of rows (options FullRows and Counts as the writer asks).
void WriteGenomicRows(GenomicMatrixWriter& writer, const GenomicRowBlock& block);
// Puts every file in place; false, with the reason, when any write failed.
bool CommitGenomicMatrix(GenomicMatrixWriter& writer, std::string& error);

}  // namespace kinvar
