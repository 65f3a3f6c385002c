#include "genetics/x_linked.h"

#include <new>

#include "genetics/command_ids.h"
#include "genetics/group_inverse.h"
#include "genetics/result_file.h"
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

namespace {

template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<Sex>& sex, bool inverse,
                   InverseOutput output, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const std::int32_t n = ctx.ped.nTotal;
  progress.SetStage(0, 50, n - 1, "Computing the X-linked relationships");
  const BasicInverseBuild<T> build = inverse ? BuildXLinkedInverse<T>(ctx.ped, sex, progress)
                                             : BuildXLinkedMatrix<T>(ctx.ped, sex, progress);
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
  if (ctx.ped.settings.precision == 1) BuildAndWrite<double>(ctx, sexes.sex, inverse, output, *file);
  else BuildAndWrite<float>(ctx, sexes.sex, inverse, output, *file);
}

CommandDeclaration XLinkedDeclaration() {
  using T = ParameterType;
  return CommandDeclaration{kCmdXLinked, "x-linked",
          {Declare("inverse", T::kFlag).Default("0").Help("S inverse instead of S")
               .Label("The inverse of S (S itself is written for at most 5000 individuals)").Shown(Control::kCheck),
           // The library hands the lower triangle over as it is.
           Declare("triplets", T::kFlag).Default("0").Help("\"row column value\" lines; pair with 'recode'")
               .Label("Triplets: \"row column value\" lines for mixed-model software").Shown(Control::kCheck)
               .Keyword("-")}}
      .Runs(OnXLinked)
      .Summary("Write the relationships at X-chromosome loci (S) or their inverse")
      .Explanation("Writes S, the relationships at X-linked loci on the scale where a male's value is his\n"
                   "one X copy and a female's the mean of her two (at most 5000 individuals), as the\n"
                   "inverse of A is written; with --inverse, S inverse by Henderson-like rules (any size).\n"
                   "With --triplets, \"row column value\" lines, codes as 'kinvar-cli recode' lists them.\n"
                   "Every individual needs a sex: the Sex column's, or its role as a sire or a dam.")
      .Writes(CommandOutput::kFile);
}

void OnXLinked(CommandContext& ctx) {
  const CommandDeclaration declaration = XLinkedDeclaration();
  CommandValues& values = ctx.remembered.values;
  if (!ctx.platform.AskValues(DeclaredForm(declaration, "X-linked relationships", values, ctx.platform))) return;
  WriteXLinked(ctx, values.Flag(declaration, "inverse"),
               values.Flag(declaration, "triplets") ? InverseOutput::kTriplets : InverseOutput::kNonZero);
}

}  // namespace kinvar
