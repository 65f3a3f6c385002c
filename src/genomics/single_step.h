// The single-step inverse of H, the relationship matrix that joins the
// pedigree with the genomic relationships of the genotyped animals
// (Aguilar et al. 2010, Christensen and Lund 2010):
//   H^-1 = A^-1 + [[0, 0], [0, tau G_w^-1 - omega A22^-1]],
//   G_w  = alpha G* + beta A22,
// A22 being the block of A among the genotyped animals and G* the genomic
// relationships scaled to it: G* = a + b G with b and a chosen so that the
// mean diagonal and the mean off-diagonal of G* are those of A22,
//   b = (diagA - offA) / (diagG - offG),  a = offA - b offG.
//
// A22 is never taken from A: its columns come from the relationship-vector
// passes over the genotyped animals and their ancestors only, through the
// same D as inbreeding, so a genotyped animal's diagonal is 1 + F whatever
// F was predefined. A22 and G_w are inverted by Cholesky in doubles.
//
// Conventions: the genotyped animals are records in ascending code order;
// dense blocks are n x n doubles, row-major, both triangles filled. With
// genetic groups A^-1 is A*^-1 (groups in rows nTotal..), and the genomic
// block goes to the animals' rows only, as in the groups-transformed form
// of the literature; metafounders are left to the caller to refuse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "genetics/inverse_a.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

struct SingleStepOptions {
  double alpha = 0.95;  // weight of G in G_w
  double beta = 0.05;   // weight of A22 in G_w
  double tau = 1.0;     // factor of G_w^-1
  double omega = 1.0;   // factor of A22^-1
  bool scaleToA22 = true;
  int threads = 0;      // the thread setting: 0 all cores
};

// G* = a + b G, and the means it matched.
struct GenomicScaling {
  bool applied = false;
  double a = 0.0;
  double b = 1.0;
  double diagonalA22 = 0.0, offDiagonalA22 = 0.0;
  double diagonalG = 0.0, offDiagonalG = 0.0;
};

enum class SingleStepStatus {
  kDone,
  kCanceled,
  kNoMemory,
  kGNotPositiveDefinite,    // G_w has no Cholesky factor
  kA22NotPositiveDefinite,  // A22 has none (predefined F can do that)
  kCannotScale,             // G's mean diagonal equals its mean off-diagonal
};

template <class T>
struct HInverseBuild {
  SingleStepStatus status = SingleStepStatus::kDone;
  BasicSparseLower<T> matrix;  // rows and columns by code - 1; complete when kDone
  GenomicScaling scaling;
};

// A22 among `genotyped` through the variances `d` by code (ped.d or
// ped.dDouble), computed over the genotyped animals and their ancestors only;
// empty when cancelled. Steps `progress` once per genotyped animal.
template <class T>
std::vector<double> PedigreeBlock(Pedigree& ped, const std::vector<T>& d,
                                  std::span<const RecIndex> genotyped, int threads, Progress& progress);

// Inverts the symmetric n x n matrix `m` in place by Cholesky; false (m
// undefined) when it is not positive definite.
bool InvertPositiveDefinite(std::vector<double>& m, std::int64_t n);

// G* = a + b G in place; `applied` false when G's two means are equal (one
// animal, or every pair alike), G then left as it was.
GenomicScaling ScaleToPedigree(std::vector<double>& g, const std::vector<double>& a22, std::int64_t n);

// H^-1 in the precision of `d` (float: every stored value rounded to 32
// bits). `g` is the genomic relationship matrix of `genotyped`, in their
// order; it is overwritten. Needs `records` in code order and the
// coefficients computed. Sets the progress stages from 0 to `lastPercent`.
template <class T>
HInverseBuild<T> BuildHInverse(Pedigree& ped, const std::vector<T>& d,
                               std::span<const RecIndex> genotyped, std::vector<double> g,
                               const SingleStepOptions& options, Progress& progress,
                               int lastPercent = 100);

}  // namespace kinvar
