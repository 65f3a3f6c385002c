// Optimum contributions as a quadratic programme, solved by Ipopt (Debian's
// coinor-libipopt): contributions c >= 0 of the candidates, the sires' summing
// to 1/2 and the dams' to 1/2, each at most a maximum, that either minimise
// the progeny's mean kinship c'Kc or maximise c'EBV under c'Kc <= a target.
//
// Conventions of this header:
// - Candidates are numbered sires first, then dams; K is their coancestry
//   matrix, row by row, in doubles (the 32-bit coancestries widened).
// - The solver is an interior-point method; contributions it leaves below
//   kZeroContribution are reported as 0, and the kinship and gain are those
//   of the contributions reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinvar {

// Contributions above this count as selected.
inline constexpr double kSelectedContribution = 1e-6;
// Contributions below this are the interior point's rendering of 0.
inline constexpr double kZeroContribution = 1e-9;
// Up to this many candidates the solver uses the exact (dense) Hessian.
inline constexpr std::int32_t kExactHessianLimit = 600;

struct OcsProblem {
  std::int32_t nSires = 0;
  std::int32_t nDams = 0;
  std::vector<double> kinship;  // (nSires + nDams)^2
  std::vector<double> ebv;      // empty: minimise the kinship
  double targetKinship = 0.0;   // with breeding values: c'Kc at most this
  double maxContribution = 0.5;
  // Every dam one progeny: the dams' contributions fixed at 1 / (2 nDams).
  bool damsEqual = false;
};

enum class OcsStatus { kSolved, kInfeasible, kFailed };

struct OcsSolution {
  OcsStatus status = OcsStatus::kFailed;
  std::vector<double> c;
  double kinship = 0.0;  // c'Kc
  double gain = 0.0;     // c'EBV, 0 without breeding values
};

// The solver's contributions as they are listed: below kZeroContribution
// 0, each sex's then summing to exactly 1/2.
std::vector<double> ListedContributions(const OcsProblem& problem, std::vector<double> c);

// c'Kc in doubles.
double QuadraticForm(const std::vector<double>& k, const std::vector<double>& c);

OcsSolution SolveOcs(const OcsProblem& problem);

}  // namespace kinvar
