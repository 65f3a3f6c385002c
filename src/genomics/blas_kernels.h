// The kernels OpenBLAS runs on this processor.
//
// An OpenBLAS built for every architecture picks its kernels when it loads,
// from a table of the processors it knows. A library older than the
// processor does not find it there and takes its generic SSE3 kernels
// ("Prescott"), three to four times slower than the AVX-512 or AVX2 ones
// the processor runs (Debian 12's 0.3.21 on recent Xeons). The library
// reads OPENBLAS_CORETYPE when it initialises and exports the pair of
// functions that initialise it again, so the core sets the variable itself
// (never over a user's) and re-initialises the library once, before its
// first BLAS call: nobody has to know the variable.
//
// Conventions of this header:
// - Every BLAS or LAPACK call of the core, Ipopt's among them, comes after
//   PrepareBlas, so that a process runs one set of kernels whatever it
//   computes first (results differ between kernels in the last bits). A
//   front end with threads of its own calls it at start-up, before they
//   exist, since the choice sets an environment variable.
// - Kernels are named as the library names them ("SkylakeX", "Haswell").
#pragma once

#include <string>

namespace kinvar {

// What the choice depends on, gathered at the first call.
struct BlasSituation {
  bool userChose = false;        // OPENBLAS_CORETYPE was set before
  std::string core;              // the kernels the library runs now
  bool avx512 = false;           // AVX-512 F, BW, DQ, VL and CD, usable
  bool avx2Fma = false;          // AVX2 and FMA, usable
  bool reinitialisable = false;  // the library exports its re-initialisation
};

// The library's name for its generic x86-64 kernels.
inline constexpr const char* kGenericBlasCore = "Prescott";

// The kernels to switch to, or empty to leave the library as it is: the
// user chose, the library recognised the processor, the processor has
// neither instruction set, or the library cannot be re-initialised (a
// build for one architecture, or another BLAS).
std::string KernelsToChoose(const BlasSituation& s);

// Makes that choice once per process; later calls return at once, and a
// call made while the first runs waits for it.
void PrepareBlas();

}  // namespace kinvar
