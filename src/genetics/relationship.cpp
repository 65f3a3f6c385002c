#include "genetics/relationship.h"

#include <algorithm>
#include <cmath>

namespace kinvar {

float PairRelationship(const Pedigree& ped, const std::vector<float>& d, RecIndex x, RecIndex y) {
  const std::int32_t c = std::max(ped.rec(x).code, ped.rec(y).code);
  const std::int32_t e = std::min(ped.rec(x).code, ped.rec(y).code);
  std::vector<float> w(static_cast<std::size_t>(c) + 1, 0.0f);
  auto parents = [&](std::int32_t k) {
    const Rec& r = ped.byCode(k - 1);
    return std::pair{static_cast<std::size_t>(ped.rec(r.sire).code),
                     static_cast<std::size_t>(ped.rec(r.dam).code)};
  };
  w[static_cast<std::size_t>(c)] = 1.0f;
  for (std::int32_t k = c; k >= 1; --k) {
    const auto ki = static_cast<std::size_t>(k);
    if (w[ki] == 0.0f) continue;
    const auto [s, m] = parents(k);
    if (s != 0) w[s] = w[s] + 0.5f * w[ki];
    if (m != 0) w[m] = w[m] + 0.5f * w[ki];
    w[ki] = d[ki] * w[ki];
  }
  for (std::int32_t k = 1; k <= e; ++k) {
    const auto ki = static_cast<std::size_t>(k);
    const auto [s, m] = parents(k);
    w[ki] = w[ki] + 0.5f * w[s];
    w[ki] = w[ki] + 0.5f * w[m];
  }
  return w[static_cast<std::size_t>(e)];
}

float RelationshipCoefficient(float a, float fx, float fy) {
  const float p = (1.0f + fx) * (1.0f + fy);
  const float q = std::sqrt(p);
  return a / q;
}

}  // namespace kinvar
