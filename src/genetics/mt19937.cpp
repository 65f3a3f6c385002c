#include "genetics/mt19937.h"

namespace kinvar {

namespace {

constexpr int kShift = 397;
constexpr std::uint32_t kMatrixA = 0x9908b0dfU;
constexpr std::uint32_t kUpperMask = 0x80000000U;
constexpr std::uint32_t kLowerMask = 0x7fffffffU;

std::uint32_t Twist(std::uint32_t upper, std::uint32_t lower, std::uint32_t shifted) {
  const std::uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
  return shifted ^ (y >> 1) ^ ((y & 1U) != 0 ? kMatrixA : 0U);
}

// Regenerates all 624 words at once.
void Regenerate(Mt19937& g) {
  auto& mt = g.state;
  constexpr int n = Mt19937::kWords;
  int k = 0;
  for (; k < n - kShift; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kShift]);
  for (; k < n - 1; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kShift - n]);
  mt[n - 1] = Twist(mt[n - 1], mt[0], mt[kShift - 1]);
  g.index = 0;
}

}  // namespace

void InitGenerator(Mt19937& g, std::uint32_t seed) {
  g.state[0] = seed;
  for (int i = 1; i < Mt19937::kWords; ++i) {
    const std::uint32_t previous = g.state[static_cast<std::size_t>(i - 1)];
    g.state[static_cast<std::size_t>(i)] =
        1812433253U * (previous ^ (previous >> 30)) + static_cast<std::uint32_t>(i);
  }
  g.index = Mt19937::kWords;
}

std::uint32_t NextRandom(Mt19937& g) {
  if (g.index == Mt19937::kUnseeded) InitGenerator(g, 5489U);
  if (g.index >= Mt19937::kWords) Regenerate(g);
  std::uint32_t y = g.state[static_cast<std::size_t>(g.index++)];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680U;
  y ^= (y << 15) & 0xefc60000U;
  y ^= y >> 18;
  return y;
}

}  // namespace kinvar
