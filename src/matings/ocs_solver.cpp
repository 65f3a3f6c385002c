#include "matings/ocs_solver.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <IpIpoptApplication.hpp>
#include <IpTNLP.hpp>

#include "genomics/blas_kernels.h"

namespace kinvar {

namespace {

using Ipopt::Index;
using Ipopt::Number;

// The programme as Ipopt asks for it: n variables, the two sums (and, with
// breeding values, the kinship) as constraints, the Hessian's lower triangle
// dense, since K is.
class OcsProgramme final : public Ipopt::TNLP {
 public:
  explicit OcsProgramme(const OcsProblem& p)
      : p_(p), n_(p.nSires + p.nDams), withEbv_(!p.ebv.empty()) {}

  const std::vector<double>& result() const { return result_; }
  Ipopt::SolverReturn status() const { return status_; }

  bool get_nlp_info(Index& n, Index& m, Index& nnzJac, Index& nnzHess,
                    IndexStyleEnum& style) override {
    n = n_;
    m = withEbv_ ? 3 : 2;
    nnzJac = n_ + (withEbv_ ? n_ : 0);
    nnzHess = n_ * (n_ + 1) / 2;
    style = C_STYLE;
    return true;
  }

  bool get_bounds_info(Index n, Number* xl, Number* xu, Index m, Number* gl,
                       Number* gu) override {
    const double damShare = 0.5 / p_.nDams;
    for (Index i = 0; i < n; ++i) {
      const bool fixed = p_.damsEqual && i >= p_.nSires;
      xl[i] = fixed ? damShare : 0.0;
      xu[i] = fixed ? damShare : p_.maxContribution;
    }
    gl[0] = gu[0] = gl[1] = gu[1] = 0.5;
    if (m == 3) {
      gl[2] = -2e19;
      gu[2] = p_.targetKinship;
    }
    return true;
  }

  bool get_starting_point(Index n, bool, Number* x, bool, Number*, Number*, Index, bool,
                          Number*) override {
    for (Index i = 0; i < n; ++i)
      x[i] = std::min(p_.maxContribution, i < p_.nSires ? 0.5 / p_.nSires : 0.5 / p_.nDams);
    return true;
  }

  bool eval_f(Index n, const Number* x, bool, Number& value) override {
    value = 0.0;
    if (withEbv_) {
      for (Index i = 0; i < n; ++i) value -= p_.ebv[static_cast<std::size_t>(i)] * x[i];
    } else {
      value = Form(x);
    }
    return true;
  }

  bool eval_grad_f(Index n, const Number* x, bool, Number* grad) override {
    if (withEbv_) {
      for (Index i = 0; i < n; ++i) grad[i] = -p_.ebv[static_cast<std::size_t>(i)];
    } else {
      TwiceKx(x, grad);
    }
    return true;
  }

  bool eval_g(Index n, const Number* x, bool, Index m, Number* g) override {
    g[0] = g[1] = 0.0;
    for (Index i = 0; i < n; ++i) g[i < p_.nSires ? 0 : 1] += x[i];
    if (m == 3) g[2] = Form(x);
    return true;
  }

  bool eval_jac_g(Index n, const Number* x, bool, Index, Index, Index* rows, Index* cols,
                  Number* values) override {
    if (values == nullptr) {
      for (Index i = 0; i < n; ++i) {
        rows[i] = i < p_.nSires ? 0 : 1;
        cols[i] = i;
        if (withEbv_) {
          rows[n + i] = 2;
          cols[n + i] = i;
        }
      }
      return true;
    }
    std::fill(values, values + n, 1.0);
    if (withEbv_) TwiceKx(x, values + n);
    return true;
  }

  bool eval_h(Index n, const Number*, bool, Number objFactor, Index, const Number* lambda, bool,
              Index, Index* rows, Index* cols, Number* values) override {
    Index at = 0;
    if (values == nullptr) {
      for (Index i = 0; i < n; ++i)
        for (Index j = 0; j <= i; ++j, ++at) {
          rows[at] = i;
          cols[at] = j;
        }
      return true;
    }
    const double factor = 2.0 * (withEbv_ ? lambda[2] : objFactor);
    for (Index i = 0; i < n; ++i)
      for (Index j = 0; j <= i; ++j) values[at++] = factor * K(i, j);
    return true;
  }

  void finalize_solution(Ipopt::SolverReturn status, Index n, const Number* x, const Number*,
                         const Number*, Index, const Number*, const Number*, Number,
                         const Ipopt::IpoptData*, Ipopt::IpoptCalculatedQuantities*) override {
    status_ = status;
    result_.assign(x, x + n);
  }

 private:
  double K(Index i, Index j) const {
    return p_.kinship[static_cast<std::size_t>(i) * static_cast<std::size_t>(n_) +
                      static_cast<std::size_t>(j)];
  }
  double Form(const Number* x) const {
    double sum = 0.0;
    for (Index i = 0; i < n_; ++i) {
      double row = 0.0;
      for (Index j = 0; j < n_; ++j) row += K(i, j) * x[j];
      sum += x[i] * row;
    }
    return sum;
  }
  void TwiceKx(const Number* x, Number* out) const {
    for (Index i = 0; i < n_; ++i) {
      double row = 0.0;
      for (Index j = 0; j < n_; ++j) row += K(i, j) * x[j];
      out[i] = 2.0 * row;
    }
  }

  const OcsProblem& p_;
  Index n_;
  bool withEbv_;
  std::vector<double> result_;
  Ipopt::SolverReturn status_ = Ipopt::INTERNAL_ERROR;
};

// Each sex's shares from the solver's: the interior point's near-zeros set
// to 0 and the rest scaled to make exactly 1/2, so that the listed
// contributions add up as they must. The scale differs from 1 by the
// solver's tolerance only.
void ScaleToHalf(std::vector<double>& c, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) {
    if (c[i] < kZeroContribution) c[i] = 0.0;
    sum += c[i];
  }
  if (sum <= 0.0) return;
  for (std::size_t i = from; i < to; ++i) c[i] *= 0.5 / sum;
}

// Within the solver's tolerances, with room for the rounding of the sums.
bool MeetsConstraints(const OcsProblem& problem, const OcsSolution& s) {
  constexpr double kSlack = 1e-8;
  double half[2] = {0.0, 0.0};
  for (std::size_t i = 0; i < s.c.size(); ++i) {
    if (!(s.c[i] >= 0.0 && s.c[i] <= problem.maxContribution + kSlack)) return false;
    half[static_cast<std::int32_t>(i) < problem.nSires ? 0 : 1] += s.c[i];
  }
  if (std::fabs(half[0] - 0.5) > kSlack || std::fabs(half[1] - 0.5) > kSlack) return false;
  return problem.ebv.empty() || s.kinship <= problem.targetKinship + kSlack;
}

}  // namespace

std::vector<double> ListedContributions(const OcsProblem& problem, std::vector<double> c) {
  const auto sires = static_cast<std::size_t>(problem.nSires);
  ScaleToHalf(c, 0, sires);
  ScaleToHalf(c, sires, c.size());
  return c;
}

double QuadraticForm(const std::vector<double>& k, const std::vector<double>& c) {
  const std::size_t n = c.size();
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    double row = 0.0;
    for (std::size_t j = 0; j < n; ++j) row += k[i * n + j] * c[j];
    sum += c[i] * row;
  }
  return sum;
}

namespace {

bool TargetOutOfReach(const OcsProblem& problem) {
  OcsProblem least = problem;
  least.ebv.clear();
  const OcsSolution s = SolveOcs(least);
  return s.status == OcsStatus::kSolved && s.kinship > problem.targetKinship + 1e-9;
}

}  // namespace

OcsSolution SolveOcs(const OcsProblem& problem) {
  // Ipopt's linear algebra runs on the same OpenBLAS as the genomic kernels:
  // the same kernels for both, whichever command a process runs first, keep
  // its contributions the same to the last bit.
  PrepareBlas();
  OcsSolution solution;
  Ipopt::SmartPtr<Ipopt::IpoptApplication> app = IpoptApplicationFactory();
  app->Options()->SetIntegerValue("print_level", 0);
  app->Options()->SetStringValue("sb", "yes");
  // Tight absolute tolerances as well: with the default complementarity
  // tolerance, contributions that belong at 0 stay around 1e-5.
  app->Options()->SetNumericValue("tol", 1e-10);
  app->Options()->SetNumericValue("compl_inf_tol", 1e-12);
  app->Options()->SetNumericValue("dual_inf_tol", 1e-10);
  app->Options()->SetNumericValue("constr_viol_tol", 1e-10);
  app->Options()->SetStringValue("mu_strategy", "adaptive");
  // Ipopt relaxes the bounds by a relative 1e-8 and may return contributions
  // a little below 0; held to them, the shares need no clipping that would
  // leave a sex's half short or over.
  app->Options()->SetNumericValue("bound_relax_factor", 0.0);
  app->Options()->SetStringValue("honor_original_bounds", "yes");
  // A point Ipopt calls acceptable must still meet the constraints: by
  // default it may miss them by 1e-2, and the report would then list shares
  // that break the target it names.
  app->Options()->SetNumericValue("acceptable_constr_viol_tol", 1e-9);
  app->Options()->SetIntegerValue("max_iter", 3000);
  // The dense Hessian makes each step a dense factorization, cubic in the
  // candidates: beyond a few hundred, quasi-Newton steps with the exact
  // gradients are far quicker and reach the same optimum.
  if (problem.nSires + problem.nDams > kExactHessianLimit)
    app->Options()->SetStringValue("hessian_approximation", "limited-memory");
  app->Options()->SetStringValue("jac_c_constant", "yes");
  if (problem.ebv.empty()) app->Options()->SetStringValue("hessian_constant", "yes");
  if (app->Initialize() != Ipopt::Solve_Succeeded) return solution;
  auto* programme = new OcsProgramme(problem);
  Ipopt::SmartPtr<Ipopt::TNLP> owner = programme;
  const Ipopt::ApplicationReturnStatus status = app->OptimizeTNLP(owner);
  if (status == Ipopt::Infeasible_Problem_Detected) {
    solution.status = OcsStatus::kInfeasible;
    return solution;
  }
  if (status != Ipopt::Solve_Succeeded && status != Ipopt::Solved_To_Acceptable_Level) {
    // Interior-point runs do not always prove a target unreachable (how
    // many iterations that takes depends on the BLAS underneath): the least
    // kinship the candidates can reach, a convex problem solved reliably,
    // settles whether the target is out of reach.
    if (!problem.ebv.empty() && TargetOutOfReach(problem)) solution.status = OcsStatus::kInfeasible;
    return solution;
  }
  solution.c = ListedContributions(problem, programme->result());
  // The figures of exactly the contributions that are listed.
  solution.kinship = QuadraticForm(problem.kinship, solution.c);
  for (std::size_t i = 0; i < problem.ebv.size(); ++i) solution.gain += problem.ebv[i] * solution.c[i];
  if (!MeetsConstraints(problem, solution)) solution.c.clear();
  else solution.status = OcsStatus::kSolved;
  return solution;
}

}  // namespace kinvar
