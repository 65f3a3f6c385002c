// Seeded generator of large, realistic pedigree files for the benchmarks.
//
// Conventions of this header:
// - The same options always give the same bytes, on every platform and
//   standard library: the generator has its own random number generator and
//   derives every draw from it with integer arithmetic or exact doubles.
// - A breeding population: overlapping generations of equal size, a few
//   thousand parents per generation (a few heavily used sires, many dams),
//   founders at the start and a trickle of them later, unknown parents,
//   full-sib families, herd-book style IDs of mixed length, a Group column
//   (birth generation) and optionally an F column for some founders.
// - Every generated file loads without errors: IDs are unique, no ID is
//   both a sire and a dam, full sibs never disagree on a predefined F.
#pragma once

#include <cstdint>
#include <string>

namespace kinvar::bench {

enum class Order {
  kRandom,        // data lines shuffled
  kParentsFirst,  // in birth order, every listed parent before its progeny
};

struct GeneratorOptions {
  std::int64_t individuals = 1000000;  // data lines written
  std::uint64_t seed = 1;
  Order order = Order::kRandom;
  // 0: a commercial population. G > 0: G discrete generations bred from
  // few parents each, so that inbreeding and pedigree loops build up.
  int deepGenerations = 0;
  // G > 0 (and deepGenerations 0): a wide herd book, the commercial
  // population with N/G births per generation instead of at most 40000, so
  // that its sires and dams grow with the herd and it stays G generations
  // deep (one more where unlisted founders leave it short).
  int wideGenerations = 0;
  bool fColumn = false;
};

struct GeneratorSummary {
  std::int64_t lines = 0;         // data lines written
  std::int64_t parentsOnly = 0;   // parents that appear only as sire or dam
  std::int64_t bytes = 0;
  int generations = 0;            // birth generations, founders' included
};

// Writes the pedigree file; false with `error` set when the file cannot be
// written.
bool GeneratePedigreeFile(const GeneratorOptions& options, const std::string& path,
                          GeneratorSummary& summary, std::string& error);

}  // namespace kinvar::bench
