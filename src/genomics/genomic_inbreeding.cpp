#include "genomics/genomic_inbreeding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "genomics/genomic_relationship.h"

namespace kinvar {
namespace {

void Homozygosity(const Genotypes& g, const std::vector<double>& p, std::int64_t animal, GenomicF& out) {
  const std::uint8_t* row = g.Row(animal);
  double observed = 0.0, expected = 0.0;
  std::int64_t called = 0;
  for (std::size_t k = 0; k < p.size(); ++k) {
    if (row[k] == kMissingGenotype || !(p[k] > 0.0 && p[k] < 1.0)) continue;
    ++called;
    observed += row[k] != 1 ? 1.0 : 0.0;
    expected += 1.0 - 2.0 * p[k] * (1.0 - p[k]);
  }
  out.called = called;
  const double room = static_cast<double>(called) - expected;
  out.fHom = room > 0.0 ? (observed - expected) / room : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

GenomicInbreedingResult GenomicInbreeding(const Genotypes& g, const std::vector<double>& p,
                                          const RohOptions& roh, Progress& progress) {
  GenomicInbreedingResult out;
  const std::vector<double> diagonal = GenomicDiagonal(g, p, GenomicMethod::kVanRaden1);
  const AutosomeMap map = MapAutosomes(g);
  out.animals.resize(static_cast<std::size_t>(g.AnimalCount()));
  progress.SetStage(0, 100, g.AnimalCount(), "Genomic inbreeding");
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    if (progress.Step(a)) return {{}, true};
    GenomicF& f = out.animals[static_cast<std::size_t>(a)];
    f.fG = diagonal[static_cast<std::size_t>(a)] - 1.0;
    Homozygosity(g, p, a, f);
    f.roh = RunsOfHomozygosity(g, map, a, roh);
  }
  return out;
}

LineFit FitAndFurthest(const std::vector<double>& x, const std::vector<double>& y, std::int32_t count) {
  std::vector<std::int64_t> used;
  double sx = 0, sy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::isnan(x[i]) || std::isnan(y[i])) continue;
    used.push_back(static_cast<std::int64_t>(i));
    sx += x[i];
    sy += y[i];
  }
  LineFit fit;
  if (used.empty()) return fit;
  const double n = static_cast<double>(used.size()), mx = sx / n, my = sy / n;
  double sxx = 0, sxy = 0;
  for (const std::int64_t i : used) {
    const auto k = static_cast<std::size_t>(i);
    sxx += (x[k] - mx) * (x[k] - mx);
    sxy += (x[k] - mx) * (y[k] - my);
  }
  fit.slope = sxx > 1e-12 * n ? sxy / sxx : 0.0;
  fit.intercept = my - fit.slope * mx;
  const auto residual = [&](std::int64_t i) {
    const auto k = static_cast<std::size_t>(i);
    return std::abs(y[k] - (fit.intercept + fit.slope * x[k]));
  };
  std::stable_sort(used.begin(), used.end(),
                   [&](std::int64_t a, std::int64_t b) { return residual(a) > residual(b); });
  used.resize(std::min(used.size(), static_cast<std::size_t>(std::max(count, 0))));
  fit.furthest = std::move(used);
  return fit;
}

}  // namespace kinvar
