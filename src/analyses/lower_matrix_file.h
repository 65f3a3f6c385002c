// The files of the sparse symmetric matrices that the commands write (the
// inverse of A, S of the X-linked loci, D, H inverse): the lower triangle
// with the output header, the entire matrix, or "row column value" triplets,
// and the typed tables that hold the same elements.
#pragma once

#include <cstdint>
#include <string>

#include "genetics/inverse_a.h"
#include "pedigree/pedigree.h"
#include "report/output_file.h"
#include "report/progress.h"

namespace kinvar {

// 1: the non-zero elements of the lower triangle; 2: the entire matrix;
// 3: "row column value" lines for mixed-model software, no header.
enum class InverseOutput { kNonZero = 1, kEntire = 2, kTriplets = 3 };

// Cells up to which the entire matrix may be written.
constexpr std::int64_t kMaxInverseCells = 250000;

// The lower triangle written as the inverse's file is: the header, `title`
// (followed by " (Lower triangular):" or ":"), one row per individual (rows
// beyond nTotal are the genetic groups), and the counts. False when the
// user cancelled.
template <class T>
bool WriteLowerMatrixFile(const Pedigree& ped, const BasicSparseLower<T>& m, InverseOutput output,
                          const std::string& pedigreePath, const std::string& title,
                          OutputFile& file, Progress& progress);
// "row column value" for every stored element, codes 1-based, values with
// the shortest text that reads back as the same float (or double).
template <class T>
bool WriteTriplets(const BasicSparseLower<T>& m, OutputFile& file, Progress& progress);
// Replaces ped.writtenTables with `name` (row, col, value: the stored
// elements, codes 1-based), "recoding", and "groups" when there are groups.
template <class T>
void AddLowerMatrixTables(Pedigree& ped, const BasicSparseLower<T>& m, const std::string& name);

}  // namespace kinvar
