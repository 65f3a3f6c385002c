#include "genetics/x_linked.h"

#include <new>
#include <queue>
#include <unordered_map>

#include "genetics/group_inverse.h"
#include "genetics/result_file.h"

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

// s(a, b) by the relationship of two earlier individuals' ancestors: the
// rows of T for a and b traced down to the founders together, oldest last,
// summing t_ak t_bk d_k.
class AncestorTrace {
 public:
  AncestorTrace(const Pedigree& ped, const std::vector<Sex>& sex, const std::vector<double>& d)
      : ped_(ped), sex_(sex), d_(d), a_(d.size(), 0.0), b_(d.size(), 0.0), queued_(d.size(), 0) {}

  double Relationship(std::int32_t a, std::int32_t b) {
    Push(a);
    a_[static_cast<std::size_t>(a)] += 1.0;
    Push(b);
    b_[static_cast<std::size_t>(b)] += 1.0;
    double sum = 0.0;
    while (!heap_.empty()) {
      const std::int32_t k = heap_.top();
      heap_.pop();
      const auto at = static_cast<std::size_t>(k);
      const double xa = a_[at], xb = b_[at];
      sum += xa * xb * d_[at];
      a_[at] = b_[at] = 0.0;
      queued_[at] = 0;
      const Parents p = ParentsOf(ped_, k);
      const double share = sex_[at] == Sex::kMale ? 0.0 : 0.5;
      if (p.sire >= 0 && share > 0.0) Add(p.sire, share * xa, share * xb);
      if (p.dam >= 0) Add(p.dam, (sex_[at] == Sex::kMale ? 1.0 : 0.5) * xa,
                          (sex_[at] == Sex::kMale ? 1.0 : 0.5) * xb);
    }
    return sum;
  }

 private:
  void Push(std::int32_t k) {
    if (queued_[static_cast<std::size_t>(k)] != 0) return;
    queued_[static_cast<std::size_t>(k)] = 1;
    heap_.push(k);
  }
  void Add(std::int32_t k, double xa, double xb) {
    if (xa == 0.0 && xb == 0.0) return;
    Push(k);
    a_[static_cast<std::size_t>(k)] += xa;
    b_[static_cast<std::size_t>(k)] += xb;
  }

  const Pedigree& ped_;
  const std::vector<Sex>& sex_;
  const std::vector<double>& d_;
  std::vector<double> a_, b_;
  std::vector<std::uint8_t> queued_;
  std::priority_queue<std::int32_t> heap_;
};

// The within-family variances by code, through s on the dams' diagonal, in
// code order.
bool XLinkedVariances(const Pedigree& ped, const std::vector<Sex>& sex, std::vector<double>& d,
                      Progress& progress) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  d.assign(n, 0.0);
  std::vector<double> diagonal(n, 0.0);
  AncestorTrace trace(ped, sex, d);
  std::unordered_map<std::uint64_t, double> mates;  // full sisters share it
  // Only a dam's diagonal enters the variances: the others need no trace.
  std::vector<std::uint8_t> isDam(n, 0);
  for (std::int32_t i = 0; i < ped.nTotal; ++i)
    if (const Parents p = ParentsOf(ped, i); p.dam >= 0) isDam[static_cast<std::size_t>(p.dam)] = 1;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const Parents p = ParentsOf(ped, i);
    const double dam = p.dam >= 0 ? diagonal[static_cast<std::size_t>(p.dam)] : 0.0;
    if (sex[at] == Sex::kMale) {
      diagonal[at] = 1.0;
      d[at] = 1.0 - dam;
    } else {
      double between = 0.0;
      if (p.sire >= 0 && p.dam >= 0 && isDam[at] != 0) {
        const std::uint64_t key = static_cast<std::uint64_t>(p.sire) << 32 | static_cast<std::uint32_t>(p.dam);
        const auto found = mates.find(key);
        between = found != mates.end() ? found->second : mates[key] = trace.Relationship(p.sire, p.dam);
      }
      diagonal[at] = 0.5 * (1.0 + between);
      d[at] = 0.5 - (p.sire >= 0 ? 0.25 : 0.0) - 0.25 * dam;
    }
    if (progress.Step(i)) return false;
  }
  return true;
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

InverseBuild BuildXLinkedMatrix(const Pedigree& ped, const std::vector<Sex>& sex, Progress& progress) {
  InverseBuild build;
  const std::int32_t n = ped.nTotal;
  try {
    std::vector<float> lower(static_cast<std::size_t>(n) * (static_cast<std::size_t>(n) + 1) / 2);
    const auto s = [&](std::int32_t a, std::int32_t b) -> float& {
      if (a < b) std::swap(a, b);
      return lower[static_cast<std::size_t>(a) * (static_cast<std::size_t>(a) + 1) / 2 + static_cast<std::size_t>(b)];
    };
    const auto with = [&](std::int32_t x, std::int32_t p) { return p < 0 ? 0.0f : s(x, p); };
    for (std::int32_t y = 0; y < n; ++y) {
      const Parents p = ParentsOf(ped, y);
      const bool male = sex[static_cast<std::size_t>(y)] == Sex::kMale;
      for (std::int32_t x = 0; x < y; ++x)
        s(y, x) = male ? with(x, p.dam) : 0.5f * (with(x, p.sire) + with(x, p.dam));
      s(y, y) = male ? 1.0f : 0.5f * (1.0f + (p.sire >= 0 ? with(p.sire, p.dam) : 0.0f));
      if (progress.Step(y)) {
        build.status = BuildStatus::kCanceled;
        return build;
      }
    }
    std::vector<LowerContribution<float>> all;
    for (std::int32_t y = 0; y < n; ++y)
      for (std::int32_t x = 0; x <= y; ++x)
        if (s(y, x) != 0.0f) all.push_back({y, x, s(y, x)});
    build.matrix = AssembleLower(n, all);
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
  }
  return build;
}

InverseBuild BuildXLinkedInverse(const Pedigree& ped, const std::vector<Sex>& sex, Progress& progress) {
  InverseBuild build;
  try {
    std::vector<double> d;
    if (!XLinkedVariances(ped, sex, d, progress)) {
      build.status = BuildStatus::kCanceled;
      return build;
    }
    std::vector<LowerContribution<float>> all;
    all.reserve(static_cast<std::size_t>(ped.nTotal) * 6);
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const Parents p = ParentsOf(ped, i);
      const float alpha = static_cast<float>(1.0 / d[static_cast<std::size_t>(i)]);
      const bool male = sex[static_cast<std::size_t>(i)] == Sex::kMale;
      std::pair<std::int32_t, float> c[3] = {{i, 1.0f}, {male ? -1 : p.sire, -0.5f},
                                             {p.dam, male ? -1.0f : -0.5f}};
      for (int j = 0; j < 3; ++j)
        for (int k = j; k < 3; ++k) {
          if (c[j].first < 0 || c[k].first < 0) continue;
          const float value = alpha * (c[j].second * c[k].second);
          all.push_back({std::max(c[j].first, c[k].first), std::min(c[j].first, c[k].first), value});
        }
    }
    build.matrix = AssembleLower(ped.nTotal, all);
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
  }
  return build;
}

namespace {

void BuildAndWrite(CommandContext& ctx, const std::vector<Sex>& sex, bool inverse,
                   InverseOutput output, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const std::int32_t n = ctx.ped.nTotal;
  progress.SetStage(0, 50, n - 1, "Computing the X-linked relationships");
  const InverseBuild build =
      inverse ? BuildXLinkedInverse(ctx.ped, sex, progress) : BuildXLinkedMatrix(ctx.ped, sex, progress);
  if (build.status == BuildStatus::kNoElementMemory || build.status == BuildStatus::kNoRowMemory) {
    file.Discard();
    window->Hide();
    ctx.platform.ShowMessage("Not enough memory for the X-linked relationships.", MessageIcon::kError);
    return;
  }
  bool done = build.status == BuildStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, n - 1, "Saving the X-linked relationships");
    const std::string title = inverse ? "Inverse of the X-linked relationship matrix"
                                      : "X-linked relationship matrix";
    done = output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteLowerMatrixFile(ctx.ped, build.matrix, output, ctx.path, title, file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, inverse ? "xlinked_inverse" : "xlinked");
  CommitOutputFile(file, ctx.platform);
}

}  // namespace

void WriteXLinked(CommandContext& ctx, bool inverse, InverseOutput output) {
  const XLinkedSexes sexes = SexesForXLinked(ctx.ped);
  if (sexes.sex.empty()) {
    ctx.platform.ShowMessage(XLinkedUnknownSexMessage(sexes.unknownId), MessageIcon::kError);
    return;
  }
  if (!inverse && ctx.ped.nTotal > kMaxXLinkedIndividuals) {
    ctx.platform.ShowMessage(kXLinkedTooLarge, MessageIcon::kError);
    return;
  }
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  BuildAndWrite(ctx, sexes.sex, inverse, output, *file);
}

void OnXLinked(CommandContext& ctx) {
  const int choice = ctx.platform.ChooseSaveOption("Save the X-linked relationship matrix S",
                                                   "Save the inverse of S");
  if (choice == -1) return;
  WriteXLinked(ctx, choice == 2, InverseOutput::kNonZero);
}

}  // namespace kinvar
