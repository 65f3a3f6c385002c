// Optimum contributions: optimality by the KKT conditions on random
// pedigrees, against an exhaustive grid for 3 and 4 candidates, the kinship
// constraint met at its target, infeasible targets and bounds, and the
// command through the document down to the matings it feeds.
#include "matings/contribution_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analyses/relationship_listings.h"
#include "app/commands.h"
#include "matings/ocs_figures.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

constexpr double kTol = 1e-6;

struct Candidates {
  std::unique_ptr<Pedigree> ped;
  MatingGroups groups;
  OcsProblem problem;
};

// Two groups of a random pedigree as sires and dams.
std::optional<Candidates> RandomCandidates(std::uint64_t seed, int size) {
  test::RandomPedigreeOptions options = test::VariedOptions(seed, size);
  options.groupColumn = true;
  Candidates c{test::Loaded(test::MakeRandomPedigree(options).text), {}, {}};
  const std::vector<int> numbers = GroupNumbers(*c.ped);
  if (numbers.size() < 2) return std::nullopt;
  EnsureCodeOrder(*c.ped);
  c.groups = {numbers[0], numbers[1], GroupMembers(*c.ped, numbers[0]), GroupMembers(*c.ped, numbers[1])};
  c.problem.nSires = static_cast<std::int32_t>(c.groups.sires.size());
  c.problem.nDams = static_cast<std::int32_t>(c.groups.dams.size());
  c.problem.kinship = CandidateKinship(*c.ped, c.groups);
  return c;
}

std::vector<double> TwiceKc(const OcsProblem& p, const std::vector<double>& c) {
  const std::size_t n = c.size();
  std::vector<double> g(n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) g[i] += 2.0 * p.kinship[i * n + j] * c[j];
  return g;
}

void ExpectFeasible(const OcsProblem& p, const OcsSolution& s, const std::string& where) {
  double sires = 0.0, dams = 0.0;
  for (std::size_t i = 0; i < s.c.size(); ++i) {
    EXPECT_GE(s.c[i], 0.0) << where;
    EXPECT_LE(s.c[i], p.maxContribution + kTol) << where;
    (static_cast<std::int32_t>(i) < p.nSires ? sires : dams) += s.c[i];
  }
  EXPECT_NEAR(sires, 0.5, kTol) << where;
  EXPECT_NEAR(dams, 0.5, kTol) << where;
  if (!p.ebv.empty()) {
    EXPECT_LE(s.kinship, p.targetKinship + kTol) << where;
  }
}

// Stationarity and complementary slackness of min c'Kc: within each sex the
// gradient 2Kc is one value μ over the contributions strictly inside their
// bounds, at least μ where c = 0 and at most μ where c is at its maximum.
void ExpectKkt(const OcsProblem& p, const std::vector<double>& gradient, const OcsSolution& s,
               const std::string& where) {
  for (const bool sires : {true, false}) {
    const std::size_t from = sires ? 0 : static_cast<std::size_t>(p.nSires);
    const std::size_t to = sires ? static_cast<std::size_t>(p.nSires) : s.c.size();
    double low = 1e300, high = -1e300;
    for (std::size_t i = from; i < to; ++i)
      if (s.c[i] > kTol && s.c[i] < p.maxContribution - kTol) {
        low = std::min(low, gradient[i]);
        high = std::max(high, gradient[i]);
      }
    if (low > high) continue;  // every contribution at a bound
    EXPECT_LT(high - low, kTol) << where << [&] {
      std::string text;
      for (std::size_t i = from; i < to; ++i)
        text += " " + std::to_string(s.c[i]) + ":" + std::to_string(gradient[i]);
      return text;
    }();
    for (std::size_t i = from; i < to; ++i) {
      if (s.c[i] == 0.0) {
        EXPECT_GE(gradient[i], low - kTol) << where << " i " << i;
      }
      if (s.c[i] >= p.maxContribution - 1e-9) {
        EXPECT_LE(gradient[i], high + kTol) << where;
      }
    }
  }
}

TEST(OptimumContributions, MinimalKinshipMeetsTheKktConditions) {
  int solved = 0;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    auto c = RandomCandidates(seed, 60);
    if (!c) continue;
    for (const double maximum : {0.5, 0.2}) {
      c->problem.maxContribution = maximum;
      const bool fits = c->problem.nSires * maximum >= 0.5 && c->problem.nDams * maximum >= 0.5;
      if (!fits) continue;
      const OcsSolution s = SolveOcs(c->problem);
      const std::string where = "seed " + std::to_string(seed) + " max " + std::to_string(maximum);
      ASSERT_EQ(s.status, OcsStatus::kSolved) << where;
      ExpectFeasible(c->problem, s, where);
      ExpectKkt(c->problem, TwiceKc(c->problem, s.c), s, where);
      EXPECT_NEAR(s.kinship, QuadraticForm(c->problem.kinship, s.c), 1e-12) << where;
      ++solved;
    }
  }
  EXPECT_GT(solved, 20);
}

// With breeding values: -EBV + λ 2Kc is μ per sex on the free
// contributions, with λ ≥ 0 and λ (c'Kc - target) = 0; λ, μ_sires and
// μ_dams by least squares over the free contributions.
void ExpectEbvKkt(const OcsProblem& p, const OcsSolution& s, const std::string& where) {
  const std::vector<double> kc = TwiceKc(p, s.c);
  double m[3][3] = {}, v[3] = {};
  std::vector<std::size_t> free;
  for (std::size_t i = 0; i < s.c.size(); ++i) {
    if (s.c[i] <= kTol || s.c[i] >= p.maxContribution - kTol) continue;
    free.push_back(i);
    const double row[3] = {kc[i], static_cast<std::int32_t>(i) < p.nSires ? -1.0 : 0.0,
                           static_cast<std::int32_t>(i) < p.nSires ? 0.0 : -1.0};
    for (int a = 0; a < 3; ++a) {
      v[a] += row[a] * p.ebv[i];
      for (int b = 0; b < 3; ++b) m[a][b] += row[a] * row[b];
    }
  }
  // Solve the 3x3 normal equations by Cramer's rule; skip degenerate ones.
  const auto det = [](double x[3][3]) {
    return x[0][0] * (x[1][1] * x[2][2] - x[1][2] * x[2][1]) -
           x[0][1] * (x[1][0] * x[2][2] - x[1][2] * x[2][0]) +
           x[0][2] * (x[1][0] * x[2][1] - x[1][1] * x[2][0]);
  };
  const double d = det(m);
  if (free.size() < 4 || std::fabs(d) < 1e-9) return;
  double x[3];
  for (int col = 0; col < 3; ++col) {
    double t[3][3];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) t[a][b] = b == col ? v[a] : m[a][b];
    x[col] = det(t) / d;
  }
  const double lambda = x[0];
  EXPECT_GE(lambda, -kTol) << where;
  const double scale = 1.0 + std::fabs(lambda);
  for (const std::size_t i : free) {
    const double mu = static_cast<std::int32_t>(i) < p.nSires ? x[1] : x[2];
    EXPECT_NEAR(lambda * kc[i] - mu, p.ebv[i], kTol * scale * 100) << where;
  }
  EXPECT_LT(std::fabs(lambda * (s.kinship - p.targetKinship)), kTol * scale) << where;
}

TEST(OptimumContributions, GainUnderAKinshipTargetMeetsTheTargetAndTheKktConditions) {
  int solved = 0;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    auto c = RandomCandidates(seed, 60);
    if (!c) continue;
    OcsProblem least = c->problem;
    const OcsSolution lower = SolveOcs(least);
    ASSERT_EQ(lower.status, OcsStatus::kSolved);
    for (std::int32_t i = 0; i < least.nSires + least.nDams; ++i)
      c->problem.ebv.push_back(std::sin(static_cast<double>(seed * 31 + static_cast<std::uint64_t>(i))));
    const double mean = MeanOfMatrix(c->problem.kinship, static_cast<std::size_t>(least.nSires + least.nDams));
    c->problem.targetKinship = std::max(lower.kinship + 0.002, mean + 0.01 * (1.0 - mean));
    const OcsSolution s = SolveOcs(c->problem);
    const std::string where = "seed " + std::to_string(seed);
    ASSERT_EQ(s.status, OcsStatus::kSolved) << where;
    ExpectFeasible(c->problem, s, where);
    ExpectEbvKkt(c->problem, s, where);
    ++solved;
  }
  EXPECT_GT(solved, 10);
}

struct GridCase {
  const char* name;
  std::int32_t nSires;
  std::vector<double> k;  // 3 or 4 candidates
  std::vector<double> ebv;
  double target;  // above the least kinship the candidates can reach
};

TEST(OptimumContributions, MatchesAnExhaustiveGridForThreeAndFourCandidates) {
  const GridCase cases[] = {
      {"two sires, two dams, related", 2,
       {0.55, 0.25, 0.125, 0.1, 0.25, 0.5, 0.05, 0.2, 0.125, 0.05, 0.6, 0.25, 0.1, 0.2, 0.25, 0.5}, {}, 0},
      {"one sire, two dams", 1, {0.5, 0.25, 0.1, 0.25, 0.5, 0.3, 0.1, 0.3, 0.55}, {}, 0},
      {"gain under a target", 2,
       {0.55, 0.25, 0.125, 0.1, 0.25, 0.5, 0.05, 0.2, 0.125, 0.05, 0.6, 0.25, 0.1, 0.2, 0.25, 0.5},
       {3, 1, 2, -1}, 0.01},
      {"gain, one sire", 1, {0.5, 0.25, 0.1, 0.25, 0.5, 0.3, 0.1, 0.3, 0.55}, {0, 5, 1}, 0.005},
  };
  constexpr int kSteps = 2000;
  for (const GridCase& g : cases) {
    OcsProblem p;
    p.nSires = g.nSires;
    p.nDams = static_cast<std::int32_t>(std::sqrt(static_cast<double>(g.k.size()))) - g.nSires;
    p.kinship = g.k;
    p.ebv = g.ebv;
    if (!g.ebv.empty()) {
      OcsProblem least = p;
      least.ebv.clear();
      p.targetKinship = SolveOcs(least).kinship + g.target;
    }
    const OcsSolution s = SolveOcs(p);
    ASSERT_EQ(s.status, OcsStatus::kSolved) << g.name;
    // The grid: each sex's half split in kSteps steps (one sire takes all).
    double best = g.ebv.empty() ? 1e300 : -1e300;
    for (int a = 0; a <= (p.nSires == 2 ? kSteps : 0); ++a)
      for (int b = 0; b <= kSteps; ++b) {
        std::vector<double> c;
        const double x = 0.5 * a / kSteps, y = 0.5 * b / kSteps;
        if (p.nSires == 2) c = {x, 0.5 - x, y, 0.5 - y};
        else c = {0.5, y, 0.5 - y};
        const double kinship = QuadraticForm(p.kinship, c);
        if (g.ebv.empty()) {
          best = std::min(best, kinship);
        } else if (kinship <= p.targetKinship) {
          double gain = 0.0;
          for (std::size_t i = 0; i < c.size(); ++i) gain += c[i] * g.ebv[i];
          best = std::max(best, gain);
        }
      }
    if (g.ebv.empty()) {
      EXPECT_LE(s.kinship, best + 1e-12) << g.name;
      EXPECT_GT(s.kinship, best - 1e-5) << g.name;
    } else {
      EXPECT_LE(s.kinship, p.targetKinship + kTol) << g.name;
      EXPECT_GE(s.gain, best - 1e-9) << g.name;
      EXPECT_LT(s.gain, best + 0.01) << g.name;
    }
  }
}

TEST(OptimumContributions, AnUnreachableTargetIsInfeasible) {
  OcsProblem p;
  p.nSires = 1;
  p.nDams = 2;
  p.kinship = {0.5, 0.25, 0.1, 0.25, 0.5, 0.3, 0.1, 0.3, 0.55};
  p.ebv = {0, 5, 1};
  p.targetKinship = 0.01;  // below any c'Kc of these candidates
  EXPECT_EQ(SolveOcs(p).status, OcsStatus::kInfeasible);
}

}  // namespace
}  // namespace kinvar
