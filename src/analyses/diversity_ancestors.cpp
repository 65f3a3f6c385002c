// Boichard's effective number of ancestors by lazy greedy choice. Choosing an
// ancestor only ever lowers the others' marginal contributions: the p of its
// own ancestors fall by what it passed up to them, and the share of every
// descendant's genes already explained grows. So a contribution computed in
// an earlier round is an upper bound, and a round only needs the exact value
// of the candidates whose bound is on top of the heap: p is kept exact by
// tracing each chosen individual's flow up through its ancestors, and the
// explained share of a candidate is traced up from it on demand. Both traces
// stop at chosen individuals, whose parents count as unknown. A trace walks
// the generations (longest ancestral paths) downwards, so that everything
// from below has arrived before an individual passes it on.
//
// The explained shares are remembered between rounds: a share changes only
// when an ancestor is chosen, and then only for that ancestor's descendants,
// which are marked stale. A candidate's share is then its parents' shares
// halved and added, recomputed only for its stale ancestors. Shares are
// sums of powers of 1/2 no smaller than 1/2 to the longest ancestral path,
// so in pedigrees of at most 52 generations every sum is exact in doubles
// and the order of the additions cannot change a bit: there the remembered
// shares equal the traced ones. Deeper pedigrees trace every share afresh.
//
// Choosing an ancestor takes what it passed up from each of its own
// ancestors, and a recent sire has tens of thousands. Most choices near the
// end of a search are young individuals with an unknown parent, one after
// another, whose flows meet in the same few parents and grandparents. So a
// choice only records what the chosen individual owes its parents; the
// owed amounts are passed on, the youngest generation first and each
// individual's in one go, when a candidate of an older generation is looked
// at (only descendants can change a p, and they are of younger generations).
// Every p times the number of members is a sum of powers of 1/2 no smaller
// than 1/2 to the longest ancestral path and no larger than the number of
// members: where that fits in a double's 53 bits, the sums and differences
// are exact and the late p are the bits of the p traced at each choice.
// Other pedigrees trace each choice at once.
//
// A candidate's bound also falls with its own p, which is kept exact: its
// bound from its current p and its share when last computed is checked
// against the heap's top before the share is brought up to date.
//
// A search stopped by the round limit still bounds fa. The marginal
// contributions still to come add up to the unexplained share r, and each is
// at most its candidate's bound in the heap. Their sum of squares is then
// smallest when they are spread evenly below a common level (water filling)
// and largest when they fill the largest bounds first; with the sum of
// squares S of the chosen, fa lies between 1 / (S + largest) and
// 1 / (S + smallest).
#include <algorithm>
#include <bit>
#include <functional>
#include <optional>
#include <utility>

#include "analyses/diversity.h"

namespace kinvar {

namespace {

std::size_t Slot(std::int32_t k) { return static_cast<std::size_t>(k); }

// Shares of genes summed in this many halvings or fewer are exact in
// doubles.
constexpr std::int32_t kExactGenerations = 52;

// Whether every p times the number of members, and every flow a choice
// takes from it, is exact in doubles: sums of (1/2)^g over at most
// `generations` halvings, the largest the number of members.
bool FlowsAreExact(std::int32_t generations, std::int32_t members) {
  return generations + std::bit_width(static_cast<std::uint32_t>(members)) <= 53;
}

struct Candidate {
  double bound;  // q times the number of members, an upper bound
  std::int32_t code;
  std::int32_t local;
  double unexplained = 1.0;  // 1 - the explained share when last computed
};

// Heap order: the largest bound on top, then the lower code.
bool Below(const Candidate& a, const Candidate& b) {
  return a.bound < b.bound || (a.bound == b.bound && a.code > b.code);
}
// The same as an object, so that the heap's operations inline it.
struct HeapOrder {
  bool operator()(const Candidate& a, const Candidate& b) const { return Below(a, b); }
};

class Search {
 public:
  Search(const Pedigree& ped, const AncestorSubset& subset, const ReferencePopulation& ref,
         bool plainRoute)
      : parents_(subset.kernel.parents),
        w_(parents_.size(), 0.0),
        chosen_(parents_.size(), 0),
        t_(parents_.size(), 0.0),
        reached_(parents_.size(), 0),
        generation_(parents_.size(), 0),
        share_(parents_.size(), 0.0),
        stale_(parents_.size(), 1),
        owed_(parents_.size(), 0.0) {
    const std::int32_t n = subset.kernel.size();
    std::vector<Candidate> all;
    all.reserve(Slot(n));
    for (std::int32_t k = 1; k <= n; ++k) {
      const Rec& r = ped.rec(subset.recOf[Slot(k)]);
      generation_[Slot(k)] = r.generation;
      if (Slot(r.generation) >= buckets_.size()) buckets_.resize(Slot(r.generation) + 1);
      const std::int32_t code = r.code;
      if (ref.byCode[Slot(code)] != 0) w_[Slot(k)] = 1.0;
      all.push_back({0.0, code, k});
    }
    remembered_ = !plainRoute && buckets_.size() <= Slot(kExactGenerations) + 1;
    // One halving more for the unknown parents' halves.
    settleLate_ = !plainRoute && FlowsAreExact(static_cast<std::int32_t>(buckets_.size()),
                                               ref.members);
    if (remembered_) ListChildren();
    if (settleLate_) owing_.resize(buckets_.size());
    for (std::int32_t k = n; k >= 1; --k) PassUp(w_, k, w_[Slot(k)]);
    if (settleLate_)
      for (std::int32_t k = 1; k <= n; ++k) unexplained_ += Unknown(k) * w_[Slot(k)] / 2;
    for (Candidate& c : all) c.bound = w_[Slot(c.local)];
    heap_ = std::move(all);
    std::make_heap(heap_.begin(), heap_.end(), HeapOrder{});
  }

  // The next ancestor with its scaled q, or nothing when no q is above 0.
  // `take` false only looks. The candidate on top is looked at in place and
  // lowered into the heap (bounds only fall), so that each look costs one
  // pass down the heap rather than a removal and an insertion.
  std::optional<Candidate> Next(bool take) {
    while (!heap_.empty() && heap_.front().bound > 0.0) {
      Candidate& c = heap_.front();
      const Candidate* second = SecondBest();
      const double quick = Contribution(c.local) * c.unexplained;
      if (quick > 0.0 && second != nullptr && Below({quick, c.code, c.local}, *second)) {
        c.bound = quick;
        LowerTop();
        continue;
      }
      c.unexplained = 1.0 - Explained(c.local);
      c.bound = Contribution(c.local) * c.unexplained;
      if (c.bound <= 0.0) {
        RemoveTop();
        continue;
      }
      const bool onTop = second == nullptr || !Below(c, *second);
      const Candidate found = c;
      if (onTop && take) {
        RemoveTop();
        Choose(found.local);
        return found;
      }
      LowerTop();
      if (onTop) return found;
    }
    return std::nullopt;
  }

  // Whether no candidate is left with a q above 0, every gene of the members
  // being explained, known without looking at the candidates: only where
  // choices are passed up late. The unexplained genes are those the members
  // have from unknown parents of individuals not chosen; what is still owed
  // can lower them by no more than itself.
  bool AllExplained() {
    if (!settleLate_ || unexplained_ > owedSum_) return false;
    Settle(-1);
    owedSum_ = 0.0;
    return unexplained_ == 0.0;
  }

  // The bounds of the candidates not chosen, in the search's units.
  std::vector<double> Bounds() const {
    std::vector<double> bounds;
    bounds.reserve(heap_.size());
    for (const Candidate& c : heap_)
      if (c.bound > 0.0) bounds.push_back(c.bound);
    return bounds;
  }

 private:
  // The heap's largest below its top, null when the top is alone.
  const Candidate* SecondBest() const {
    if (heap_.size() < 2) return nullptr;
    if (heap_.size() == 2 || Below(heap_[2], heap_[1])) return &heap_[1];
    return &heap_[2];
  }

  // The top, its bound lowered, goes down to its place.
  void LowerTop() {
    const std::size_t n = heap_.size();
    const Candidate x = heap_.front();
    std::size_t at = 0;
    for (std::size_t child = 1; child < n; child = 2 * at + 1) {
      if (child + 1 < n && Below(heap_[child], heap_[child + 1])) ++child;
      if (!Below(x, heap_[child])) break;
      heap_[at] = heap_[child];
      at = child;
    }
    heap_[at] = x;
  }

  void RemoveTop() {
    heap_.front() = heap_.back();
    heap_.pop_back();
    if (!heap_.empty()) LowerTop();
  }

  double Unknown(std::int32_t k) const {
    return (parents_[Slot(k)].sire == 0 ? 1.0 : 0.0) + (parents_[Slot(k)].dam == 0 ? 1.0 : 0.0);
  }

  void PassUp(std::vector<double>& x, std::int32_t k, double value) const {
    const KernelPedigree::Parents& p = parents_[Slot(k)];
    if (p.sire != 0) x[Slot(p.sire)] += value / 2;
    if (p.dam != 0) x[Slot(p.dam)] += value / 2;
  }

  // Carries `start` from k up through its ancestors; visit(x, t) for every
  // strict ancestor returns whether x passes on.
  template <class Visit>
  void TraceUp(std::int32_t k, double start, Visit visit) {
    t_[Slot(k)] = start;
    buckets_[Slot(generation_[Slot(k)])].push_back(k);
    for (std::int32_t g = generation_[Slot(k)]; g >= 0; --g) {
      std::vector<std::int32_t>& bucket = buckets_[Slot(g)];
      for (const std::int32_t x : bucket) {
        const double tx = t_[Slot(x)];
        t_[Slot(x)] = 0.0;
        reached_[Slot(x)] = 0;
        if (x != k && !visit(x, tx)) continue;
        for (const std::int32_t p : {parents_[Slot(x)].sire, parents_[Slot(x)].dam}) {
          if (p == 0) continue;
          t_[Slot(p)] += tx / 2;
          if (reached_[Slot(p)] != 0) continue;
          reached_[Slot(p)] = 1;
          buckets_[Slot(generation_[Slot(p)])].push_back(p);
        }
      }
      bucket.clear();
    }
  }

  // The share of k's genes that come from chosen individuals.
  double Explained(std::int32_t k) {
    if (remembered_) return Remembered(k);
    double a = 0.0;
    TraceUp(k, 1.0, [&](std::int32_t x, double tx) {
      if (chosen_[Slot(x)] == 0) return true;
      a += tx;
      return false;
    });
    return a;
  }

  // k's parents become unknown: its ancestors lose what it passed up.
  void Choose(std::int32_t k) {
    if (settleLate_) {
      unexplained_ -= Unknown(k) * w_[Slot(k)] / 2;
      Owe(k, w_[Slot(k)]);
    } else {
      TraceUp(k, w_[Slot(k)], [&](std::int32_t x, double tx) {
        w_[Slot(x)] -= tx;
        return chosen_[Slot(x)] == 0;
      });
    }
    chosen_[Slot(k)] = 1;
    if (remembered_) MarkStale(k);
  }

  // k's p times the number of members, with every choice so far passed on.
  double Contribution(std::int32_t k) {
    if (highestOwing_ > generation_[Slot(k)]) Settle(generation_[Slot(k)]);
    return w_[Slot(k)];
  }

  // k has `amount` more to pass up to its parents, and through them to
  // their ancestors.
  void Owe(std::int32_t k, double amount) {
    if (owed_[Slot(k)] == 0.0) owing_[Slot(generation_[Slot(k)])].push_back(k);
    owed_[Slot(k)] += amount;
    owedSum_ += amount;
    highestOwing_ = std::max(highestOwing_, generation_[Slot(k)]);
  }

  // Passes on what the generations above g owe, the youngest first, so that
  // an individual passes on everything it received in one go. Chosen
  // individuals take nothing more from their progeny: their parents count
  // as unknown.
  void Settle(std::int32_t g) {
    for (; highestOwing_ > g; --highestOwing_) {
      std::vector<std::int32_t>& bucket = owing_[Slot(highestOwing_)];
      for (const std::int32_t x : bucket) {
        const double half = owed_[Slot(x)] / 2;
        owedSum_ -= owed_[Slot(x)];
        owed_[Slot(x)] = 0.0;
        for (const std::int32_t p : {parents_[Slot(x)].sire, parents_[Slot(x)].dam}) {
          if (p == 0 || chosen_[Slot(p)] != 0) continue;
          w_[Slot(p)] -= half;
          unexplained_ -= Unknown(p) * half / 2;
          Owe(p, half);
        }
      }
      bucket.clear();
    }
  }

  // The subset's progeny lists, for marking descendants stale.
  void ListChildren() {
    firstChild_.assign(parents_.size() + 1, 0);
    for (std::size_t k = 1; k < parents_.size(); ++k)
      for (const std::int32_t p : {parents_[k].sire, parents_[k].dam})
        if (p != 0) ++firstChild_[Slot(p) + 1];
    for (std::size_t k = 1; k < firstChild_.size(); ++k) firstChild_[k] += firstChild_[k - 1];
    children_.resize(Slot(firstChild_.back()));
    std::vector<std::int32_t> fill(firstChild_.begin(), firstChild_.end() - 1);
    for (std::size_t k = 1; k < parents_.size(); ++k)
      for (const std::int32_t p : {parents_[k].sire, parents_[k].dam})
        if (p != 0) children_[Slot(fill[Slot(p)]++)] = static_cast<std::int32_t>(k);
  }

  // The descendants of a newly chosen k. Stale individuals have only stale
  // descendants, so the walk stops at them.
  void MarkStale(std::int32_t k) {
    std::vector<std::int32_t>& walk = walk_;
    walk.assign(1, k);
    while (!walk.empty()) {
      const std::int32_t x = walk.back();
      walk.pop_back();
      for (std::int32_t i = firstChild_[Slot(x)]; i < firstChild_[Slot(x) + 1]; ++i) {
        const std::int32_t child = children_[Slot(i)];
        if (stale_[Slot(child)] != 0) continue;
        stale_[Slot(child)] = 1;
        walk.push_back(child);
      }
    }
  }

  // Explained through the remembered shares: k's stale ancestors that are
  // not chosen are gathered by generation and computed from the oldest.
  double Remembered(std::int32_t k) {
    if (stale_[Slot(k)] == 0) return share_[Slot(k)];
    std::vector<std::int32_t>& walk = walk_;
    walk.assign(1, k);
    reached_[Slot(k)] = 1;
    std::int32_t lowest = generation_[Slot(k)];
    while (!walk.empty()) {
      const std::int32_t x = walk.back();
      walk.pop_back();
      buckets_[Slot(generation_[Slot(x)])].push_back(x);
      lowest = std::min(lowest, generation_[Slot(x)]);
      for (const std::int32_t p : {parents_[Slot(x)].sire, parents_[Slot(x)].dam}) {
        if (p == 0 || chosen_[Slot(p)] != 0 || stale_[Slot(p)] == 0 || reached_[Slot(p)] != 0)
          continue;
        reached_[Slot(p)] = 1;
        walk.push_back(p);
      }
    }
    for (std::int32_t g = lowest; g <= generation_[Slot(k)]; ++g) {
      std::vector<std::int32_t>& bucket = buckets_[Slot(g)];
      for (const std::int32_t x : bucket) {
        const KernelPedigree::Parents& p = parents_[Slot(x)];
        share_[Slot(x)] = ShareFrom(p.sire) / 2 + ShareFrom(p.dam) / 2;
        stale_[Slot(x)] = 0;
        reached_[Slot(x)] = 0;
      }
      bucket.clear();
    }
    return share_[Slot(k)];
  }

  // What a parent passes on of its explained share: all of it when chosen.
  double ShareFrom(std::int32_t p) const {
    if (p == 0) return 0.0;
    return chosen_[Slot(p)] != 0 ? 1.0 : share_[Slot(p)];
  }

  const std::vector<KernelPedigree::Parents>& parents_;
  std::vector<double> w_;  // p times the number of members
  std::vector<std::uint8_t> chosen_;
  std::vector<double> t_;  // a trace's shares, 0 between traces
  std::vector<std::uint8_t> reached_;
  std::vector<std::int32_t> generation_;  // longest ancestral path
  std::vector<std::vector<std::int32_t>> buckets_;  // a trace's individuals by generation
  // The remembered shares (exact pedigrees only): share_ is the explained
  // share of an individual not stale; the progeny lists are by parent.
  bool remembered_ = false;
  std::vector<double> share_;
  std::vector<std::uint8_t> stale_;
  std::vector<std::int32_t> firstChild_, children_, walk_;
  std::vector<Candidate> heap_;  // a heap by Below, the largest bound in front
  // Choices passed up late (exact pedigrees only): owed_ is what an
  // individual has taken from its progeny's choices and not yet passed on,
  // listed in owing_ by generation; none above highestOwing_.
  bool settleLate_ = false;
  std::vector<double> owed_;
  std::vector<std::vector<std::int32_t>> owing_;
  std::int32_t highestOwing_ = -1;
  // With them: the members' genes from the unknown parents of individuals
  // not chosen (times the number of members), exact as p is, and the sum
  // of owed_, a bound on what passing it on can still take from them.
  double unexplained_ = 0.0;
  double owedSum_ = 0.0;
};

// The least sum of squares of shares that add up to `rest`, each at most its
// bound: every share at a common level, or at its bound where that is lower.
double LeastSquares(std::vector<double> bounds, double rest) {
  std::sort(bounds.begin(), bounds.end());
  double squares = 0.0;
  for (std::size_t i = 0; i < bounds.size() && rest > 0.0; ++i) {
    const double left = static_cast<double>(bounds.size() - i);
    if (bounds[i] * left >= rest) return squares + rest * rest / left;
    squares += bounds[i] * bounds[i];
    rest -= bounds[i];
  }
  return squares;
}

// The largest: the largest bounds filled first.
double MostSquares(std::vector<double> bounds, double rest) {
  std::sort(bounds.begin(), bounds.end(), std::greater<>());
  double squares = 0.0;
  for (std::size_t i = 0; i < bounds.size() && rest > 0.0; ++i) {
    const double share = std::min(bounds[i], rest);
    squares += share * share;
    rest -= share;
  }
  // Rounding may leave a trace of the share beyond the bounds: it goes
  // to the largest, which keeps the figure a bound.
  if (rest > 0.0 && !bounds.empty()) squares += rest * (2.0 * bounds.front() + rest);
  return squares;
}

}  // namespace

bool FindEffectiveAncestors(const Pedigree& ped, const AncestorSubset& subset,
                            const ReferencePopulation& ref, Progress* progress,
                            EffectiveAncestors& result, int maxRounds, bool plainRoute) {
  result = EffectiveAncestors{};
  if (ref.members == 0) return true;
  Search search(ped, subset, ref, plainRoute);
  // Summed in the search's own units, exact in the cases that matter (equal
  // shares of 1/m), so that half is found where it is reached.
  const double members = ref.members;
  double scaledSum = 0.0, sumOfSquares = 0.0;
  for (int round = 0; round < maxRounds; ++round) {
    // Most runs end long before the limit: the bar follows the explained
    // share, and the rounds where that creeps.
    const auto share = static_cast<std::int64_t>(scaledSum / members * kMaxAncestorRounds);
    if (progress != nullptr && progress->Step(std::max<std::int64_t>(round, share))) return false;
    if (search.AllExplained()) break;
    const std::optional<Candidate> c = search.Next(true);
    if (!c) break;
    const double q = c->bound / members;
    result.chosen.push_back({subset.recOf[Slot(c->local)], q});
    scaledSum += c->bound;
    sumOfSquares += q * q;
    if (result.halfExplainedBy == 0 && 2 * scaledSum >= members)
      result.halfExplainedBy = static_cast<std::int32_t>(result.chosen.size());
  }
  result.explained = scaledSum / members;
  if (static_cast<int>(result.chosen.size()) == maxRounds)
    result.stoppedAtLimit = search.Next(false).has_value();
  result.fa = result.faLower = 1.0 / sumOfSquares;
  if (!result.stoppedAtLimit) return true;
  const std::vector<double> bounds = search.Bounds();
  const double rest = std::max(0.0, members - scaledSum);
  const double scale = members * members;
  result.fa = 1.0 / (sumOfSquares + LeastSquares(bounds, rest) / scale);
  result.faLower = 1.0 / (sumOfSquares + MostSquares(bounds, rest) / scale);
  return true;
}

bool FaIsExact(const EffectiveAncestors& a) {
  return static_cast<float>(a.faLower) == static_cast<float>(a.fa);
}

}  // namespace kinvar
