// The few LAPACK routines the genomic kernels call, as libopenblas exports
// them with the Fortran calling convention: every argument by address, the
// matrices column-major, and the hidden lengths of the character arguments
// last (gfortran's convention; ignored by builds that do not read them).
#pragma once

#include <cstddef>

extern "C" {
// Cholesky factor of a symmetric positive definite matrix; info > 0: the
// leading minor of that order is not positive definite.
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uploLength);
// The inverse from that factor, in the same triangle.
void dpotri_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uploLength);
}
