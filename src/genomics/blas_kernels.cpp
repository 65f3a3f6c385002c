#include "genomics/blas_kernels.h"

#include <cblas.h>

#include <cstdlib>
#include <mutex>

// The re-initialisation of OpenBLAS's dynamic-architecture builds: quit
// forgets the kernels, init picks them again, reading OPENBLAS_CORETYPE
// first. Weak, so that a BLAS without them links and leaves them null.
extern "C" {
void gotoblas_dynamic_quit(void) __attribute__((weak));
void gotoblas_dynamic_init(void) __attribute__((weak));
}

namespace kinvar {
namespace {

BlasSituation CurrentSituation() {
  BlasSituation s;
  s.userChose = std::getenv("OPENBLAS_CORETYPE") != nullptr;
  const char* core = openblas_get_corename();
  s.core = core != nullptr ? core : "";
#if defined(__x86_64__) || defined(__i386__)
  // The compiler's checks include the operating system's saving of the
  // wider registers, without which the instructions fault.
  __builtin_cpu_init();
  s.avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512cd");
  s.avx2Fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
  s.reinitialisable = gotoblas_dynamic_quit != nullptr && gotoblas_dynamic_init != nullptr;
  return s;
}

}  // namespace

std::string KernelsToChoose(const BlasSituation& s) {
  if (s.userChose || !s.reinitialisable || s.core != kGenericBlasCore) return {};
  if (s.avx512) return "SkylakeX";
  if (s.avx2Fma) return "Haswell";
  return {};
}

void PrepareBlas() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string kernels = KernelsToChoose(CurrentSituation());
    if (kernels.empty()) return;
    // Left set, so that a program started from this one (a second Kinvar,
    // an R or Python session) gets the same kernels from its start.
    setenv("OPENBLAS_CORETYPE", kernels.c_str(), 0);
    gotoblas_dynamic_quit();
    gotoblas_dynamic_init();
  });
}

}  // namespace kinvar
