// Inbreeding coefficients by ancestor lists, written apart from the library
// (standard C++ only) so that the benchmarks can weigh these methods against
// its columns on the same herds, and the tests can check one against the
// other.
//
// Every method rests on A = L D L', L lower triangular with a unit diagonal
// (Quaas): the row of an individual holds 1 for itself and, for each
// ancestor j, half the sum of the values of j's progeny on the paths down to
// it; d_j = 1/2 - (F_sire + F_dam)/4. A row is traced with a list of the
// ancestors reached so far, each taken out only after every descendant of it
// in the list, so that its value is complete when it passes half of it on.
//
// - kAnimals: for each individual, its own row, the list ordered by number
//   (a heap): F_i = sum_j L_ij^2 d_j - 1.
// - kFamilies: once per full-sib family, the row of the family's pseudo
//   member (1/2 to each parent), the list kept in buckets by generation, so
//   that an insertion costs nothing (an ancestor's generation is below each
//   of its descendants').
// - kSires: families taken by generation and, within one, by sire: the
//   sire's row is traced once for all its mates of that generation, and
//   each dam's row is dotted with it, A_sd = sum_j L_sj d_j L_dj.
//
// Conventions of this header:
// - Individuals are numbered 1..n, parents before progeny; 0 is the unknown
//   parent, and index 0 of every vector is its own.
// - All figures are doubles. A predefined F (not NaN) is the individual's
//   own: its diagonal of A is 1 + F, so its d becomes 1/2 - (F_sire +
//   F_dam)/4 + F - F_computed (1 + F for a founder).
// - `entries` counts the ancestors taken out of a list, summed over every
//   row traced: the work these methods do.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kinvar::bench {

struct ListPedigree {
  std::vector<std::int32_t> sire{0};  // n + 1 entries
  std::vector<std::int32_t> dam{0};
  std::vector<double> predefinedF{std::numeric_limits<double>::quiet_NaN()};
  std::int32_t size() const { return static_cast<std::int32_t>(sire.size()) - 1; }
};

enum class ListMethod { kAnimals, kFamilies, kSires };

struct ListOptions {
  ListMethod method = ListMethod::kFamilies;
  // Computes only every sample-th unit (animal, full-sib family, or sire
  // within a generation, in the order the method meets them), taking every
  // d from `givenF` (F of each individual, index 0 ignored) instead of from
  // its own results; for timing a share of a large herd. 1: every unit.
  std::int64_t sample = 1;
  const std::vector<double>* givenF = nullptr;
  // Stops after this many seconds of wall time (0: never); the counts then
  // hold what was done.
  double secondsLimit = 0;
};

struct ListResult {
  std::vector<double> f;       // n + 1; NaN for an individual not computed
  std::int64_t entries = 0;    // ancestors taken out of a list
  std::int64_t rows = 0;       // rows traced
  std::int64_t units = 0;      // units computed
  std::int64_t totalUnits = 0; // units the herd has (those met before a stop)
  bool stopped = false;        // the time limit ended the run
};

namespace f_methods_detail {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// d of individual i from its parents' F (-1 for the unknown parent) and,
// for a predefined F, the F its parents' relationship gives.
inline double Variance(const ListPedigree& p, const std::vector<double>& f, std::int32_t i,
                       double computedF) {
  const auto at = [&](std::int32_t j) { return j == 0 ? -1.0 : f[static_cast<std::size_t>(j)]; };
  double d = 0.5 - 0.25 * (at(p.sire[static_cast<std::size_t>(i)]) + at(p.dam[static_cast<std::size_t>(i)]));
  const double pre = p.predefinedF[static_cast<std::size_t>(i)];
  if (!std::isnan(pre)) d += pre - computedF;
  return d;
}

// Longest path to a founder: every ancestor lies in a lower generation.
inline std::vector<std::int32_t> Generations(const ListPedigree& p) {
  std::vector<std::int32_t> gen(p.sire.size(), 0);
  for (std::size_t i = 1; i < gen.size(); ++i) {
    const std::int32_t s = p.sire[i], d = p.dam[i];
    if (s != 0) gen[i] = std::max(gen[i], gen[static_cast<std::size_t>(s)] + 1);
    if (d != 0) gen[i] = std::max(gen[i], gen[static_cast<std::size_t>(d)] + 1);
  }
  return gen;
}

// Traces rows with the list in buckets by generation. `value` stays zero
// between traces: a non-zero value marks an ancestor already in the list.
class BucketTracer {
 public:
  explicit BucketTracer(const ListPedigree& p)
      : p_(p), gen_(Generations(p)), value_(p.sire.size(), 0.0),
        buckets_(static_cast<std::size_t>(*std::max_element(gen_.begin(), gen_.end())) + 1) {}

  const std::vector<std::int32_t>& generations() const { return gen_; }

  void Add(std::int32_t j, double l) {
    if (j == 0) return;
    double& v = value_[static_cast<std::size_t>(j)];
    if (v == 0.0) {
      const std::int32_t g = gen_[static_cast<std::size_t>(j)];
      buckets_[static_cast<std::size_t>(g)].push_back(j);
      top_ = std::max(top_, g);
    }
    v += l;
  }

  // Empties the list from its latest generation down, calling visit(j, L_j)
  // once per ancestor; gives the count taken out.
  template <class Visit>
  std::int64_t Drain(Visit&& visit) {
    std::int64_t taken = 0;
    for (std::int32_t g = top_; g >= 0; --g) {
      std::vector<std::int32_t>& bucket = buckets_[static_cast<std::size_t>(g)];
      for (std::size_t k = 0; k < bucket.size(); ++k) {
        const std::int32_t j = bucket[k];
        const double l = std::exchange(value_[static_cast<std::size_t>(j)], 0.0);
        visit(j, l);
        Add(p_.sire[static_cast<std::size_t>(j)], 0.5 * l);
        Add(p_.dam[static_cast<std::size_t>(j)], 0.5 * l);
      }
      taken += static_cast<std::int64_t>(bucket.size());
      bucket.clear();
    }
    top_ = 0;
    return taken;
  }

 private:
  const ListPedigree& p_;
  std::vector<std::int32_t> gen_;
  std::vector<double> value_;
  std::vector<std::vector<std::int32_t>> buckets_;
  std::int32_t top_ = 0;
};

// F from the row of a pseudo member of the family (s, d): its own d, from
// its parents' F, plus the sum over their ancestors.
inline double FamilyF(BucketTracer& tracer, const std::vector<double>& d, std::int32_t s,
                      std::int32_t dm, double ownD, std::int64_t& entries) {
  tracer.Add(s, 0.5);
  tracer.Add(dm, 0.5);
  double sum = ownD;
  entries += tracer.Drain([&](std::int32_t j, double l) { sum += l * l * d[static_cast<std::size_t>(j)]; });
  return sum - 1.0;
}

class Clock {
 public:
  explicit Clock(double limit) : limit_(limit), start_(std::chrono::steady_clock::now()) {}
  bool Over() const {
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start_;
    return limit_ > 0 && spent.count() > limit_;
  }

 private:
  double limit_;
  std::chrono::steady_clock::time_point start_;
};

// The work state every method shares: F and d of each individual, taken
// from `givenF` up front when sampling.
struct State {
  std::vector<double> f;
  std::vector<double> d;
};

inline double MendelianD(const ListPedigree& p, const std::vector<double>& f, std::int32_t i) {
  return Variance(p, f, i, 0.0) - (std::isnan(p.predefinedF[static_cast<std::size_t>(i)])
                                       ? 0.0
                                       : p.predefinedF[static_cast<std::size_t>(i)]);
}

// Every F and d from given F; a predefined F above known parents needs the
// F their relationship gives, traced here (not counted).
inline State GivenState(const ListPedigree& p, const std::vector<double>& given) {
  State st{given, std::vector<double>(p.sire.size(), 0.0)};
  st.f[0] = -1.0;
  BucketTracer tracer(p);
  std::int64_t uncounted = 0;
  for (std::int32_t i = 1; i <= p.size(); ++i) {
    const auto u = static_cast<std::size_t>(i);
    double computed = 0.0;
    if (!std::isnan(p.predefinedF[u]) && p.sire[u] != 0 && p.dam[u] != 0) {
      computed = FamilyF(tracer, st.d, p.sire[u], p.dam[u], MendelianD(p, st.f, i), uncounted);
    }
    st.d[u] = Variance(p, st.f, i, computed);
  }
  return st;
}

inline State StartState(const ListPedigree& p, const ListOptions& o) {
  State st = o.givenF == nullptr ? State{std::vector<double>(p.sire.size(), kNaN),
                                         std::vector<double>(p.sire.size(), 0.0)}
                                 : GivenState(p, *o.givenF);
  st.f[0] = -1.0;
  return st;
}

// Sets F and d of individual i once the F of its parents' relationship is known.
inline void Settle(const ListPedigree& p, State& st, std::int32_t i, double computed) {
  const auto u = static_cast<std::size_t>(i);
  st.f[u] = std::isnan(p.predefinedF[u]) ? computed : p.predefinedF[u];
  st.d[u] = Variance(p, st.f, i, computed);
}

}  // namespace f_methods_detail

// Meuwissen and Luo: each individual's own row, its list a heap by number.
inline ListResult InbreedingByAnimals(const ListPedigree& p, const ListOptions& o) {
  using namespace f_methods_detail;
  const bool own = o.givenF == nullptr;
  State st = StartState(p, o);
  ListResult r{std::vector<double>(p.sire.size(), kNaN)};
  std::vector<double> value(p.sire.size(), 0.0);
  std::priority_queue<std::int32_t> list;
  const auto add = [&](std::int32_t j, double l) {
    if (j == 0) return;
    if (value[static_cast<std::size_t>(j)] == 0.0) list.push(j);
    value[static_cast<std::size_t>(j)] += l;
  };
  const Clock clock(o.secondsLimit);
  for (std::int32_t i = 1; i <= p.size() && !(r.stopped = clock.Over()); ++i) {
    const auto u = static_cast<std::size_t>(i);
    const bool both = p.sire[u] != 0 && p.dam[u] != 0;
    const bool chosen = own || (both && r.totalUnits % o.sample == 0);
    r.totalUnits += both ? 1 : 0;
    double computed = 0.0;
    if (both && chosen) {
      const double mendelian = MendelianD(p, st.f, i);
      double sum = 0.0;
      add(i, 1.0);
      while (!list.empty()) {
        const std::int32_t j = list.top();
        list.pop();
        const double l = std::exchange(value[static_cast<std::size_t>(j)], 0.0);
        sum += l * l * (j == i ? mendelian : st.d[static_cast<std::size_t>(j)]);
        add(p.sire[static_cast<std::size_t>(j)], 0.5 * l);
        add(p.dam[static_cast<std::size_t>(j)], 0.5 * l);
        ++r.entries;
      }
      computed = sum - 1.0;
      ++r.rows;
      ++r.units;
    }
    if (chosen) r.f[u] = std::isnan(p.predefinedF[u]) ? computed : p.predefinedF[u];
    if (own) Settle(p, st, i, computed);
  }
  return r;
}

// Once per full-sib family, the list in buckets by generation.
inline ListResult InbreedingByFamilies(const ListPedigree& p, const ListOptions& o) {
  using namespace f_methods_detail;
  const bool own = o.givenF == nullptr;
  State st = StartState(p, o);
  ListResult r{std::vector<double>(p.sire.size(), kNaN)};
  BucketTracer tracer(p);
  std::unordered_map<std::uint64_t, double> families;  // (sire, dam) -> F, NaN when sampled out
  const Clock clock(o.secondsLimit);
  for (std::int32_t i = 1; i <= p.size() && !(r.stopped = clock.Over()); ++i) {
    const auto u = static_cast<std::size_t>(i);
    const std::int32_t s = p.sire[u], dm = p.dam[u];
    double computed = 0.0;
    if (s != 0 && dm != 0) {
      const std::uint64_t key = (static_cast<std::uint64_t>(s) << 32) | static_cast<std::uint32_t>(dm);
      auto [it, fresh] = families.try_emplace(key, kNaN);
      if (fresh && (own || r.totalUnits % o.sample == 0)) {
        it->second = FamilyF(tracer, st.d, s, dm, MendelianD(p, st.f, i), r.entries);
        ++r.rows;
        ++r.units;
      }
      r.totalUnits += fresh ? 1 : 0;
      computed = it->second;
    }
    if (!std::isnan(computed)) r.f[u] = std::isnan(p.predefinedF[u]) ? computed : p.predefinedF[u];
    if (own) Settle(p, st, i, computed);
  }
  return r;
}

namespace f_methods_detail {

// Individuals by generation, then sire, dam and number: the order kSires
// takes families in.
inline std::vector<std::int32_t> BySireWithinGeneration(const ListPedigree& p,
                                                        const std::vector<std::int32_t>& gen) {
  std::vector<std::int32_t> order(static_cast<std::size_t>(p.size()));
  for (std::int32_t i = 1; i <= p.size(); ++i) order[static_cast<std::size_t>(i - 1)] = i;
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    const auto ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
    if (gen[ua] != gen[ub]) return gen[ua] < gen[ub];
    if (p.sire[ua] != p.sire[ub]) return p.sire[ua] < p.sire[ub];
    if (p.dam[ua] != p.dam[ub]) return p.dam[ua] < p.dam[ub];
    return a < b;
  });
  return order;
}

// The sire's row, its values times d, spread over `weighted` for the dot
// products with its mates' rows; gives the ancestors (and itself) it set.
inline std::vector<std::int32_t> SpreadSireRow(BucketTracer& tracer, const std::vector<double>& d,
                                               std::int32_t s, std::vector<double>& weighted,
                                               std::int64_t& entries) {
  std::vector<std::int32_t> touched;
  tracer.Add(s, 1.0);
  entries += tracer.Drain([&](std::int32_t j, double l) {
    weighted[static_cast<std::size_t>(j)] = l * d[static_cast<std::size_t>(j)];
    touched.push_back(j);
  });
  return touched;
}

// F of order[m], a progeny of the sire whose weighted row is spread, from
// its dam's row; a full sib (of the same group, just before) takes its F.
inline double MateF(BucketTracer& tracer, const ListPedigree& p, const std::vector<std::int32_t>& order,
                    std::size_t groupStart, std::size_t m, const std::vector<double>& weighted,
                    const std::vector<double>& computed, ListResult& r) {
  const std::int32_t dm = p.dam[static_cast<std::size_t>(order[m])];
  if (m > groupStart && p.dam[static_cast<std::size_t>(order[m - 1])] == dm) {
    return computed[static_cast<std::size_t>(order[m - 1])];
  }
  double a = 0.0;
  tracer.Add(dm, 1.0);
  r.entries +=
      tracer.Drain([&](std::int32_t j, double l) { a += l * weighted[static_cast<std::size_t>(j)]; });
  ++r.rows;
  return 0.5 * a;
}

}  // namespace f_methods_detail

// Families by generation and sire: one row per sire and generation, one
// per dam.
inline ListResult InbreedingBySires(const ListPedigree& p, const ListOptions& o) {
  using namespace f_methods_detail;
  const bool own = o.givenF == nullptr;
  State st = StartState(p, o);
  ListResult r{std::vector<double>(p.sire.size(), kNaN)};
  BucketTracer tracer(p);
  const std::vector<std::int32_t> order = BySireWithinGeneration(p, tracer.generations());
  std::vector<double> weighted(p.sire.size(), 0.0);
  std::vector<double> computed(p.sire.size(), 0.0);
  const Clock clock(o.secondsLimit);
  std::size_t k = 0;
  while (k < order.size() && !(r.stopped = clock.Over())) {
    const auto first = static_cast<std::size_t>(order[k]);
    const std::int32_t gen = tracer.generations()[first], s = p.sire[first];
    std::size_t end = k;  // the individuals of this generation and sire
    while (end < order.size() && tracer.generations()[static_cast<std::size_t>(order[end])] == gen &&
           p.sire[static_cast<std::size_t>(order[end])] == s) {
      ++end;
    }
    const bool anyDam = p.dam[static_cast<std::size_t>(order[end - 1])] != 0;
    const bool chosen = s != 0 && anyDam && (own || r.totalUnits % o.sample == 0);
    r.totalUnits += s != 0 && anyDam ? 1 : 0;
    std::vector<std::int32_t> touched;
    if (chosen) {
      touched = SpreadSireRow(tracer, st.d, s, weighted, r.entries);
      ++r.rows;
      ++r.units;
    }
    for (std::size_t m = k; m < end; ++m) {
      const auto u = static_cast<std::size_t>(order[m]);
      computed[u] = s == 0 || p.dam[u] == 0 ? 0.0
                    : chosen               ? MateF(tracer, p, order, k, m, weighted, computed, r)
                                           : kNaN;
      if (!std::isnan(computed[u])) r.f[u] = std::isnan(p.predefinedF[u]) ? computed[u] : p.predefinedF[u];
    }
    for (const std::int32_t j : touched) weighted[static_cast<std::size_t>(j)] = 0.0;
    // The next generation's rows need this one's d; a generation ends here
    // when the next group lies in a later one.
    const bool generationEnds =
        end == order.size() || tracer.generations()[static_cast<std::size_t>(order[end])] != gen;
    if (own && generationEnds) {
      for (std::size_t m = end; m-- > 0 && tracer.generations()[static_cast<std::size_t>(order[m])] == gen;) {
        Settle(p, st, order[m], computed[static_cast<std::size_t>(order[m])]);
      }
    }
    k = end;
  }
  return r;
}

inline ListResult InbreedingByLists(const ListPedigree& p, const ListOptions& o) {
  switch (o.method) {
    case ListMethod::kAnimals: return InbreedingByAnimals(p, o);
    case ListMethod::kFamilies: return InbreedingByFamilies(p, o);
    case ListMethod::kSires: return InbreedingBySires(p, o);
  }
  return {};
}

}  // namespace kinvar::bench
