#include "genomics/parentage.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

#include "genetics/parallel.h"

namespace kinvar {

PackedGenotypes PackGenotypes(const Genotypes& g) {
  PackedGenotypes p;
  p.animals = g.AnimalCount();
  p.words = (g.SnpCount() + 63) / 64;
  const auto cells = static_cast<std::size_t>(p.animals * p.words);
  p.homFirst.assign(cells, 0);
  p.homCounted.assign(cells, 0);
  p.called.assign(cells, 0);
  // A word of each plane built in registers, 64 SNPs at a time.
  for (std::int64_t a = 0; a < p.animals; ++a) {
    const std::uint8_t* row = g.Row(a);
    for (std::int64_t w = 0; w < p.words; ++w) {
      std::uint64_t first = 0, counted = 0, called = 0;
      const std::int64_t end = std::min<std::int64_t>(64, g.SnpCount() - w * 64);
      const std::uint8_t* codes = row + w * 64;
      for (std::int64_t k = 0; k < end; ++k) {
        const std::uint8_t code = codes[k];
        first |= std::uint64_t{code == 0} << k;
        counted |= std::uint64_t{code == 2} << k;
        called |= std::uint64_t{code <= 2} << k;  // missing, or a code no reader gives: not typed
      }
      const auto cell = static_cast<std::size_t>(a * p.words + w);
      p.homFirst[cell] = first;
      p.homCounted[cell] = counted;
      p.called[cell] = called;
    }
  }
  return p;
}

double OpposingHomozygotes::Rate() const {
  if (typedInBoth == 0) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(opposing) / static_cast<double>(typedInBoth);
}

namespace {

// The processor's own population count where it has one: the portable
// fallback of the default build costs several times as much, and the
// candidate search is nothing but these counts; where it counts eight words
// at once (AVX-512's VPOPCNTQ) the loop runs on whole vectors. Clang cannot
// clone templates and functions alike for several targets; its builds (the
// fuzz targets) keep the default one.
// Inlined into each target's version below, so that it is compiled for that
// target's instructions.
[[gnu::always_inline]] inline void CountWordsBody(const std::uint64_t* a0, const std::uint64_t* a2,
                                                  const std::uint64_t* ac, const std::uint64_t* b0,
                                                  const std::uint64_t* b2, const std::uint64_t* bc,
                                                  std::int64_t words, OpposingHomozygotes& count) {
  std::int64_t opposing = 0, typed = 0;
  for (std::int64_t w = 0; w < words; ++w) {
    opposing += std::popcount((a0[w] & b2[w]) | (a2[w] & b0[w]));
    typed += std::popcount(ac[w] & bc[w]);
  }
  count.opposing = opposing;
  count.typedInBoth = typed;
}

using CountWordsFunction = void (*)(const std::uint64_t*, const std::uint64_t*, const std::uint64_t*,
                                    const std::uint64_t*, const std::uint64_t*, const std::uint64_t*,
                                    std::int64_t, OpposingHomozygotes&);

#if defined(__clang__)
CountWordsFunction ChooseCountWords() { return CountWordsBody; }
#else
[[gnu::target_clones("popcnt", "default")]] void CountWords(const std::uint64_t* a0, const std::uint64_t* a2,
                                                            const std::uint64_t* ac, const std::uint64_t* b0,
                                                            const std::uint64_t* b2, const std::uint64_t* bc,
                                                            std::int64_t words, OpposingHomozygotes& count) {
  CountWordsBody(a0, a2, ac, b0, b2, bc, words, count);
}
[[gnu::target("avx512f,avx512vpopcntdq")]] void CountWordsWide(const std::uint64_t* a0, const std::uint64_t* a2,
                                                               const std::uint64_t* ac, const std::uint64_t* b0,
                                                               const std::uint64_t* b2, const std::uint64_t* bc,
                                                               std::int64_t words, OpposingHomozygotes& count) {
  CountWordsBody(a0, a2, ac, b0, b2, bc, words, count);
}
// By the processor's features rather than its model, which a compiler
// older than the processor does not know.
CountWordsFunction ChooseCountWords() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512vpopcntdq") ? CountWordsWide : CountWords;
}
#endif

}  // namespace

OpposingHomozygotes CountOpposing(const PackedGenotypes& p, std::int64_t a, std::int64_t b) {
  const std::uint64_t* a0 = p.Plane(p.homFirst, a);
  const std::uint64_t* a2 = p.Plane(p.homCounted, a);
  const std::uint64_t* ac = p.Plane(p.called, a);
  const std::uint64_t* b0 = p.Plane(p.homFirst, b);
  const std::uint64_t* b2 = p.Plane(p.homCounted, b);
  const std::uint64_t* bc = p.Plane(p.called, b);
  static const CountWordsFunction countWords = ChooseCountWords();
  OpposingHomozygotes count;
  countWords(a0, a2, ac, b0, b2, bc, p.words, count);
  return count;
}

namespace {

// Who may be a parent of whom, from the pedigree alone.
struct Family {
  std::vector<Sex> sex;             // by record: the Sex column's, else the role
  std::vector<std::int64_t> rowOf;  // by record: genotype row, -1 none
};

Family FamilyOf(const Pedigree& ped, std::span<const RecIndex> recOf) {
  Family f;
  const std::size_t recs = ped.recs.size();
  f.sex.resize(recs);
  f.rowOf.assign(recs, -1);
  for (std::size_t r = 0; r < recs; ++r) f.sex[r] = ped.recs[r].sex;
  const auto fill = [&](RecIndex parent, Sex role) {
    if (parent != kUnknownParent && f.sex[static_cast<std::size_t>(parent)] == Sex::kUnknown)
      f.sex[static_cast<std::size_t>(parent)] = role;
  };
  for (std::size_t r = 1; r < recs; ++r) {
    fill(ped.recs[r].sire, Sex::kMale);
    fill(ped.recs[r].dam, Sex::kFemale);
  }
  for (std::size_t row = 0; row < recOf.size(); ++row)
    f.rowOf[static_cast<std::size_t>(recOf[row])] = static_cast<std::int64_t>(row);
  return f;
}

// Whether a candidate descends from the animal, by a walk up from the
// candidate that stops below the animal's generation: asked only of the
// few candidates that would rank first or second, so an animal with a
// thousand descendants costs no more than one with none. The stamps of the
// walk are the worker's, never cleared.
struct AncestryWalk {
  std::vector<std::int64_t> stamp;
  std::vector<RecIndex> stack;
  std::int64_t turn = 0;

  bool Descends(const Pedigree& ped, RecIndex candidate, RecIndex animal) {
    ++turn;
    const std::int32_t floor = ped.rec(animal).generation;
    stack.assign(1, candidate);
    while (!stack.empty()) {
      const RecIndex r = stack.back();
      stack.pop_back();
      for (const RecIndex p : {ped.rec(r).sire, ped.rec(r).dam}) {
        if (p == kUnknownParent || stamp[static_cast<std::size_t>(p)] == turn) continue;
        if (p == animal) return true;
        stamp[static_cast<std::size_t>(p)] = turn;
        if (ped.rec(p).generation > floor) stack.push_back(p);
      }
    }
    return false;
  }
};

// Lower rate first; then more SNPs typed in both; then the earlier row.
bool Better(const OpposingHomozygotes& a, std::int64_t rowA, const OpposingHomozygotes& b, std::int64_t rowB) {
  const double ra = a.Rate(), rb = b.Rate();
  if (ra != rb) return ra < rb;
  if (a.typedInBoth != b.typedInBoth) return a.typedInBoth > b.typedInBoth;
  return rowA < rowB;
}

struct Search {
  const Pedigree& ped;
  const PackedGenotypes& packed;
  std::span<const RecIndex> recOf;
  const std::vector<std::int64_t>& candidates;  // rows of the parent's sex

  void Run(ParentCall& call, AncestryWalk& walk) const {
    const RecIndex self = recOf[static_cast<std::size_t>(call.offspring)];
    const std::int32_t born = ped.rec(self).birth;
    for (const std::int64_t c : candidates) {
      const RecIndex r = recOf[static_cast<std::size_t>(c)];
      if (c == call.offspring) continue;
      const std::int32_t candidateBorn = ped.rec(r).birth;
      if (born != kUnknownBirth && candidateBorn != kUnknownBirth && candidateBorn >= born) continue;
      const OpposingHomozygotes count = CountOpposing(packed, call.offspring, c);
      if (count.typedInBoth == 0) continue;
      const bool first = call.best < 0 || Better(count, c, call.bestCount, call.best);
      if (!first && call.runnerUp >= 0 && !Better(count, c, call.runnerUpCount, call.runnerUp)) {
        ++call.candidates;
        continue;
      }
      if (walk.Descends(ped, r, self)) continue;
      ++call.candidates;
      if (first) {
        call.runnerUp = call.best;
        call.runnerUpCount = call.bestCount;
        call.best = c;
        call.bestCount = count;
      } else {
        call.runnerUp = c;
        call.runnerUpCount = count;
      }
    }
  }
};

}  // namespace

ParentageResult CheckParentage(const Pedigree& ped, const Genotypes& g, std::span<const RecIndex> recOf,
                               const ParentageOptions& options, Progress& progress) {
  ParentageResult result;
  const PackedGenotypes packed = PackGenotypes(g);
  const Family family = FamilyOf(ped, recOf);
  std::vector<std::int64_t> sires, dams;
  for (std::int64_t row = 0; row < g.AnimalCount(); ++row) {
    const Sex sex = family.sex[static_cast<std::size_t>(recOf[static_cast<std::size_t>(row)])];
    if (sex != Sex::kFemale) sires.push_back(row);
    if (sex != Sex::kMale) dams.push_back(row);
  }
  const Search sireSearch{ped, packed, recOf, sires};
  const Search damSearch{ped, packed, recOf, dams};

  const std::int64_t n = g.AnimalCount();
  // Two slots per animal, kept when used, so the calls come out in row order
  // whichever worker made them.
  std::vector<ParentCall> slots(static_cast<std::size_t>(2 * n));
  std::vector<std::uint8_t> used(static_cast<std::size_t>(2 * n), 0);
  constexpr std::int64_t kAnimalsPerBlock = 16;
  const auto blocks = static_cast<std::int32_t>((n + kAnimalsPerBlock - 1) / kAnimalsPerBlock);
  const int workers = WorkerCountFor(options.threads, n, 4 * kAnimalsPerBlock);
  std::vector<AncestryWalk> walks(static_cast<std::size_t>(workers));
  for (AncestryWalk& w : walks) w.stamp.assign(ped.recs.size(), 0);
  std::atomic<std::int64_t> untested{0};
  std::atomic<std::int64_t> done{0};

  const auto check = [&](std::int64_t row, AncestryWalk& walk) {
    const Rec& animal = ped.rec(recOf[static_cast<std::size_t>(row)]);
    for (const ParentRole role : {ParentRole::kSire, ParentRole::kDam}) {
      ParentCall call;
      call.offspring = row;
      call.role = role;
      call.recorded = role == ParentRole::kSire ? animal.sire : animal.dam;
      if (call.recorded != kUnknownParent) {
        call.recordedRow = family.rowOf[static_cast<std::size_t>(call.recorded)];
        if (call.recordedRow < 0) {
          ++untested;
          continue;
        }
        call.recordedCount = CountOpposing(packed, row, call.recordedRow);
        const double rate = call.recordedCount.Rate();
        call.verdict = std::isnan(rate) ? ParentVerdict::kUntestable
                       : rate > options.exclusionThreshold ? ParentVerdict::kExcluded
                                                           : ParentVerdict::kConfirmed;
      } else {
        call.verdict = ParentVerdict::kUnknown;
      }
      if (options.searchCandidates && (call.verdict == ParentVerdict::kExcluded || call.verdict == ParentVerdict::kUnknown)) {
        (role == ParentRole::kSire ? sireSearch : damSearch).Run(call, walk);
      }
      const auto slot = static_cast<std::size_t>(2 * row + (role == ParentRole::kSire ? 0 : 1));
      slots[slot] = call;
      used[slot] = 1;
    }
  };
  const bool finished = RunBlocks(
      workers, blocks,
      [&](std::int32_t b, int worker) {
        const std::int64_t first = std::int64_t{b} * kAnimalsPerBlock;
        const std::int64_t last = std::min(n, first + kAnimalsPerBlock);
        for (std::int64_t row = first; row < last; ++row) check(row, walks[static_cast<std::size_t>(worker)]);
        done += last - first;
      },
      [&] { return progress.Step(done.load()); });
  if (!finished) {
    result.canceled = true;
    return result;
  }
  for (std::size_t s = 0; s < slots.size(); ++s)
    if (used[s] != 0) result.calls.push_back(slots[s]);
  result.parentsNotGenotyped = untested.load();
  return result;
}

}  // namespace kinvar
