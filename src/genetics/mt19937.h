// The Mersenne Twister MT19937 of Matsumoto and Nishimura (1998): the
// reference init_genrand and genrand_int32, bit for bit, so that a seed file
// written by one build continues the same stream in another.
//
// Conventions of this header:
// - The state is a plain value owned by the run that draws from it; between
//   runs it lives only in the seed file (seed_file.h).
// - `index` is the next word to use, 0..624; 625 means never seeded, and the
//   first draw then seeds with 5489 as the reference does.
#pragma once

#include <array>
#include <cstdint>

namespace kinvar {

struct Mt19937 {
  static constexpr int kWords = 624;
  static constexpr int kUnseeded = kWords + 1;
  std::array<std::uint32_t, kWords> state{};
  int index = kUnseeded;
};

// The reference init_genrand.
void InitGenerator(Mt19937& g, std::uint32_t seed);
// The reference genrand_int32.
std::uint32_t NextRandom(Mt19937& g);

// An index below m (m > 0): NextRandom modulo m.
inline std::uint32_t RandomBelow(Mt19937& g, std::uint32_t m) { return NextRandom(g) % m; }
// A uniform number in [0, 1): NextRandom / 2^32.
inline double RandomUnit(Mt19937& g) { return NextRandom(g) * 2.3283064365386963e-10; }

}  // namespace kinvar
