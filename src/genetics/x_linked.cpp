#include "genetics/x_linked.h"

#include <new>

#include "genetics/group_inverse.h"
#include "genetics/x_linked_variances.h"

namespace kinvar {

namespace {

struct Parents {
  std::int32_t sire;  // 0-based codes, -1 unknown
  std::int32_t dam;
};

Parents ParentsOf(const Pedigree& ped, std::int32_t i) {
  const Rec& r = ped.byCode(i);
  return {ped.rec(r.sire).code - 1, ped.rec(r.dam).code - 1};
}

}  // namespace

XLinkedSexes SexesForXLinked(const Pedigree& ped) {
  XLinkedSexes out;
  std::vector<Sex> sex(static_cast<std::size_t>(ped.nTotal), Sex::kUnknown);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (r.sex != Sex::kUnknown) sex[static_cast<std::size_t>(i)] = r.sex;
    if (r.sire != kUnknownParent && ped.rec(r.sire).sex == Sex::kUnknown)
      sex[static_cast<std::size_t>(ped.rec(r.sire).code - 1)] = Sex::kMale;
    if (r.dam != kUnknownParent && ped.rec(r.dam).sex == Sex::kUnknown)
      sex[static_cast<std::size_t>(ped.rec(r.dam).code - 1)] = Sex::kFemale;
  }
  for (std::int32_t i = 0; i < ped.nTotal; ++i)
    if (sex[static_cast<std::size_t>(i)] == Sex::kUnknown) {
      out.unknownId = ped.byCode(i).id;
      return out;
    }
  out.sex = std::move(sex);
  return out;
}

std::string XLinkedUnknownSexMessage(const std::string& id) {
  return "The sex of " + id +
         " is unknown: X-linked relationships need the sex of every individual (a Sex column, or "
         "its role as a parent).";
}

template <class T>
BasicInverseBuild<T> BuildXLinkedMatrix(const Pedigree& ped, const std::vector<Sex>& sex,
                                        Progress& progress) {
  BasicInverseBuild<T> build;
  const std::int32_t n = ped.nTotal;
  try {
    std::vector<T> lower(static_cast<std::size_t>(n) * (static_cast<std::size_t>(n) + 1) / 2);
    const auto s = [&](std::int32_t a, std::int32_t b) -> T& {
      if (a < b) std::swap(a, b);
      return lower[static_cast<std::size_t>(a) * (static_cast<std::size_t>(a) + 1) / 2 + static_cast<std::size_t>(b)];
    };
    const auto with = [&](std::int32_t x, std::int32_t p) { return p < 0 ? T(0) : s(x, p); };
    for (std::int32_t y = 0; y < n; ++y) {
      const Parents p = ParentsOf(ped, y);
      const bool male = sex[static_cast<std::size_t>(y)] == Sex::kMale;
      for (std::int32_t x = 0; x < y; ++x)
        s(y, x) = male ? with(x, p.dam) : T(0.5) * (with(x, p.sire) + with(x, p.dam));
      s(y, y) = male ? T(1) : T(0.5) * (T(1) + (p.sire >= 0 ? with(p.sire, p.dam) : T(0)));
      if (progress.Step(y)) {
        build.status = BuildStatus::kCanceled;
        return build;
      }
    }
    std::vector<LowerContribution<T>> all;
    for (std::int32_t y = 0; y < n; ++y)
      for (std::int32_t x = 0; x <= y; ++x)
        if (s(y, x) != T(0)) all.push_back({y, x, s(y, x)});
    build.matrix = AssembleLower(n, all);
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
  }
  return build;
}

template InverseBuild BuildXLinkedMatrix(const Pedigree&, const std::vector<Sex>&, Progress&);
template BasicInverseBuild<double> BuildXLinkedMatrix(const Pedigree&, const std::vector<Sex>&,
                                                      Progress&);

template <class T>
BasicInverseBuild<T> BuildXLinkedInverse(const Pedigree& ped, const std::vector<Sex>& sex,
                                         Progress& progress) {
  XLinkedOptions options;
  options.threads = ped.settings.threads;
  return BuildXLinkedInverse<T>(ped, sex, options, progress);
}

template <class T>
BasicInverseBuild<T> BuildXLinkedInverse(const Pedigree& ped, const std::vector<Sex>& sex,
                                         const XLinkedOptions& options, Progress& progress) {
  BasicInverseBuild<T> build;
  try {
    std::vector<T> d;
    if (!XLinkedVariances(ped, sex, options, d, progress)) {
      build.status = BuildStatus::kCanceled;
      return build;
    }
    std::vector<LowerContribution<T>> all;
    all.reserve(static_cast<std::size_t>(ped.nTotal) * 6);
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const Parents p = ParentsOf(ped, i);
      const T alpha = T(1) / d[static_cast<std::size_t>(i) + 1];
      const bool male = sex[static_cast<std::size_t>(i)] == Sex::kMale;
      std::pair<std::int32_t, T> c[3] = {{i, T(1)}, {male ? -1 : p.sire, T(-0.5)},
                                         {p.dam, male ? T(-1) : T(-0.5)}};
      for (int j = 0; j < 3; ++j)
        for (int k = j; k < 3; ++k) {
          if (c[j].first < 0 || c[k].first < 0) continue;
          const T value = alpha * (c[j].second * c[k].second);
          all.push_back({std::max(c[j].first, c[k].first), std::min(c[j].first, c[k].first), value});
        }
    }
    build.matrix = AssembleLower(ped.nTotal, all);
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
  }
  return build;
}

template InverseBuild BuildXLinkedInverse(const Pedigree&, const std::vector<Sex>&, Progress&);
template BasicInverseBuild<double> BuildXLinkedInverse(const Pedigree&, const std::vector<Sex>&,
                                                       Progress&);
template InverseBuild BuildXLinkedInverse(const Pedigree&, const std::vector<Sex>&,
                                          const XLinkedOptions&, Progress&);
template BasicInverseBuild<double> BuildXLinkedInverse(const Pedigree&, const std::vector<Sex>&,
                                                       const XLinkedOptions&, Progress&);

}  // namespace kinvar
