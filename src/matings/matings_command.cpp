#include "matings/matings_command.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analyses/relationship_listings.h"
#include "matings/exact_matings.h"
#include "analyses/seed_file.h"
#include "pedigree/number_text.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

// The run state kept for a re-run: the seed the last run used (or was
// given), and whether it read a forbidden-matings file.
constexpr const char* kSeedState = "seed";
constexpr const char* kForbiddenUsedState = "forbidden-used";

std::optional<std::uint32_t> KeptSeed(const CommandValues& values) {
  const std::string text = values.State(kCmdOptimizeMatings, kSeedState);
  std::uint32_t seed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return seed;
}

struct MatingInputs {
  std::vector<std::int32_t> contributions;
  std::optional<ForbiddenList> forbidden;
};

// The first member in file order recorded with `sex`, or kUnknownParent.
RecIndex FirstRecordedAs(const Pedigree& ped, const std::vector<RecIndex>& members, Sex sex) {
  RecIndex first = kUnknownParent;
  for (const RecIndex r : members)
    if (ped.rec(r).sex == sex && (first == kUnknownParent || r < first)) first = r;
  return first;
}

// The individuals listed, else the group's members; in code order, each once.
std::vector<RecIndex> MembersOf(const Pedigree& ped, const std::optional<std::vector<RecIndex>>& listed,
                                int group) {
  if (!listed) return GroupMembers(ped, group);
  std::vector<char> named(ped.recs.size(), 0);
  for (const RecIndex r : *listed) named[static_cast<std::size_t>(r)] = 1;
  std::vector<RecIndex> members;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex r = ped.records[static_cast<std::size_t>(i)];
    if (named[static_cast<std::size_t>(r)] != 0) members.push_back(r);
  }
  return members;
}

// The first sire in file order that is also listed among the dams.
RecIndex FirstInBoth(const MatingGroups& groups) {
  RecIndex first = kUnknownParent;
  for (const RecIndex s : groups.sires)
    if (std::find(groups.dams.begin(), groups.dams.end(), s) != groups.dams.end() &&
        (first == kUnknownParent || s < first))
      first = s;
  return first;
}

}  // namespace

std::pair<std::string, std::string> MateGroupNames(const CommandDeclaration& command) {
  std::vector<std::string> names;
  for (const Parameter& p : command.parameters)
    if (p.control == Control::kGroupPicker) names.push_back(p.name);
  return {names.at(0), names.at(1)};
}

void ListMates(CommandValues& values, std::int32_t command, const char* state, const std::vector<RecIndex>& recs) {
  std::string text;
  for (const RecIndex r : recs) text += (text.empty() ? "" : " ") + std::to_string(r);
  values.SetState(command, state, std::move(text));
}

std::optional<std::vector<RecIndex>> ListedMates(const CommandValues& values, std::int32_t command,
                                                 const char* state) {
  const std::string text = values.State(command, state);
  if (text.empty()) return std::nullopt;
  constexpr std::int64_t kLast = std::numeric_limits<RecIndex>::max();
  std::vector<RecIndex> recs;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    // Written by ListMates: every word is a record's index.
    recs.push_back(static_cast<RecIndex>(*WholeInteger(std::string_view(text).substr(at, end - at), 0, kLast)));
    at = end + 1;
  }
  return recs;
}

void ForgetListedMates(CommandValues& values, std::int32_t command) {
  values.SetState(command, kListedSiresState, "");
  values.SetState(command, kListedDamsState, "");
}

std::optional<MatingGroups> ChooseSireAndDamGroups(CommandContext& ctx, const CommandDeclaration& command,
                                                   const char* caption) {
  CommandValues& values = ctx.remembered.values;
  const std::optional<std::vector<RecIndex>> sireList = ListedMates(values, command.id, kListedSiresState);
  const std::optional<std::vector<RecIndex>> damList = ListedMates(values, command.id, kListedDamsState);
  const bool listed = sireList || damList;
  const auto [sireName, damName] = MateGroupNames(command);
  if (ctx.askInputs && !listed) {
    GroupPicker picker{caption, "Compute", GroupNumbers(ctx.ped),
                       [&ctx](int a, int b) {
                         if (a != b) return true;
                         ctx.platform.ShowMessage(
                             "Error: Two groups are the same!\nSelect two different groups.",
                             MessageIcon::kError);
                         return false;
                       },
                       {}, "Sire group", "Dam group"};
    const auto chosen = ctx.platform.PickTwoGroups(picker);
    if (!chosen) return std::nullopt;
    values.Set(command.id, sireName, std::to_string(chosen->first));
    values.Set(command.id, damName, std::to_string(chosen->second));
  }
  // Code order first, so that the same seed file gives the same matings
  // whatever order an earlier command left the records in.
  EnsureCodeOrder(ctx.ped);
  // A side named one by one has no group.
  const int sireGroup = sireList ? -1 : GroupNumber(values, command, sireName);
  const int damGroup = damList ? -1 : GroupNumber(values, command, damName);
  MatingGroups groups{sireGroup, damGroup, MembersOf(ctx.ped, sireList, sireGroup),
                      MembersOf(ctx.ped, damList, damGroup)};
  if (groups.sires.empty() || groups.dams.empty()) return std::nullopt;
  if (const RecIndex both = listed ? FirstInBoth(groups) : kUnknownParent; both != kUnknownParent) {
    ctx.platform.ShowMessage(std::string("Error: Individual ") + ctx.ped.rec(both).id +
                                 " is listed both as a sire and as a dam.",
                             MessageIcon::kError);
    return std::nullopt;
  }
  if (!RecordedSexesFit(ctx, groups)) return std::nullopt;
  return groups;
}

namespace {

// Asks for a file (unless `ask` is false) and keeps its path among the
// command's values as `name`.
bool ChooseFile(CommandContext& ctx, bool ask, const char* description, const char* pattern,
                const char* extension, const char* name) {
  if (!ask) return true;
  FileRequest request{true, {{description, pattern}, {"All Files (*.*)", "*.*"}}, extension,
                      "Open"};
  const auto chosen = ctx.platform.AskFileName(request);
  if (!chosen) return false;
  ctx.remembered.values.Set(kCmdOptimizeMatings, name, *chosen);
  return true;
}

// The contribution file, explained where it is asked for, with the offer
// to make one to start from: a .c file is easily taken for a program.
bool ChooseContributionFile(CommandContext& ctx, const MatingGroups& groups) {
  if (!ctx.askInputs) return true;
  FileRequest request{true, {{"Contribution files (*.c)", "*.c"}, {"All Files (*.*)", "*.*"}}, "c",
                      "Open the contribution file: each sire's number of dams"};
  request.note = ContributionFileNote(groups);
  request.createLabel = "Create one from the groups...";
  request.create = [&ctx, &groups]() -> std::optional<std::string> {
    FileRequest save{false, {{"Contribution files (*.c)", "*.c"}, {"All Files (*.*)", "*.*"}}, "c",
                     "Create a contribution file"};
    const auto path = ctx.platform.AskFileName(save);
    if (!path || !WriteStartingContributions(*path, ctx.ped, groups, ctx.platform)) return std::nullopt;
    ctx.platform.ShowMessage("The contribution file " + *path +
                                 " gives every dam one mating, the sires an even share.\n"
                                 "Change its numbers to give sires more or fewer dams.",
                             MessageIcon::kInformation);
    return path;
  };
  const auto chosen = ctx.platform.AskFileName(request);
  if (!chosen) return false;
  ctx.remembered.values.Set(kCmdOptimizeMatings, "contributions", *chosen);
  return true;
}

std::optional<MatingInputs> ReadInputs(CommandContext& ctx, const MatingGroups& groups) {
  const CommandDeclaration declaration = OptimizeMatingsDeclaration();
  const CommandValues& values = ctx.remembered.values;
  if (!ChooseContributionFile(ctx, groups)) return std::nullopt;
  MatingInputs inputs;
  auto contributions =
      ReadContributionFile(values.Text(declaration, "contributions"), ctx.ped, groups, ctx.platform);
  if (!contributions) return std::nullopt;
  inputs.contributions = std::move(*contributions);
  if (ctx.ped.settings.allowForbidden == 0) return inputs;
  // A re-run asks for the file only when the option was switched on since
  // the run it repeats.
  const bool forbiddenUsed = values.State(kCmdOptimizeMatings, kForbiddenUsedState) == "1";
  if (!ChooseFile(ctx, ctx.askInputs || !forbiddenUsed, "Forbidden matings Files (*.fm)", "*.fm", "fm",
                  "forbidden"))
    return std::nullopt;
  auto pairs = ReadForbiddenFile(values.Text(declaration, "forbidden"), ctx.ped, groups, ctx.platform);
  if (!pairs) return std::nullopt;
  inputs.forbidden = SortForbidden(std::move(*pairs), ctx.ped, groups);
  return inputs;
}

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

constexpr std::uint8_t kAsSire = 1;
constexpr std::uint8_t kAsDam = 2;

// How each record is used as a parent, by RecIndex.
std::vector<std::uint8_t> ParentRoles(const Pedigree& ped) {
  std::vector<std::uint8_t> roles(ped.recs.size(), 0);
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    roles[static_cast<std::size_t>(ped.recs[i].sire)] |= kAsSire;
    roles[static_cast<std::size_t>(ped.recs[i].dam)] |= kAsDam;
  }
  return roles;
}

// The members used as parents in `role`, in the order of the pedigree file,
// where the user will look for them.
std::vector<RecIndex> RecordedAs(const std::vector<std::uint8_t>& roles,
                                 const std::vector<RecIndex>& members, std::uint8_t role) {
  std::vector<RecIndex> found;
  for (const RecIndex r : members)
    if ((roles[static_cast<std::size_t>(r)] & role) != 0) found.push_back(r);
  std::sort(found.begin(), found.end());
  return found;
}

// One line per individual, or, for many, one line with the count and as
// many of the first IDs as a report line holds.
void WarnRecordedAs(const Pedigree& ped, const std::vector<RecIndex>& found, const char* group,
                    const char* one, const char* many, std::vector<std::string>& lines) {
  if (found.size() <= kRoleWarningLines) {
    for (const RecIndex r : found)
      lines.push_back(std::string("|XWarning: ") + ped.rec(r).id + " of the " + group +
                      " group is recorded as " + one + " in the pedigree.");
    return;
  }
  std::string line = "|XWarning: " + std::to_string(found.size()) + " members of the " + group +
                     " group are recorded as " + many + ":";
  constexpr std::size_t kMore = 5;  // ", ..."
  for (std::size_t i = 0; i < kRoleWarningIds; ++i) {
    const std::string next = (i == 0 ? " " : ", ") + std::string(ped.rec(found[i]).id);
    if (line.size() + next.size() + kMore > ReportStore::kMaxLineLength) break;
    line += next;
  }
  lines.push_back(line + ", ...");
}

// The run's seed: the one given or kept from the last run, else the next
// word of the seed file's stream. The file is loaded before the report
// changes, so that a refused file stops the run with the report as it was.
struct Seeding {
  Mt19937 stream;
  SeedSource source = SeedSource::kFile;
  bool fresh = false;  // drawn now: the file advances after a run
  std::uint32_t seed = 0;
};

std::optional<Seeding> SeedTheRun(CommandContext& ctx) {
  Seeding s;
  if (const std::optional<std::uint32_t> kept = KeptSeed(ctx.remembered.values)) {
    s.seed = *kept;
    return s;
  }
  s.source = LoadSeedFile(s.stream, ctx.seedPath, ctx.platform, ClockSeed(), SeedOwner(ctx.seedFileNamed));
  if (s.source == SeedSource::kRefused) return std::nullopt;
  s.fresh = true;
  s.seed = NextRandom(s.stream);
  return s;
}

// The annealing from the run's own seed, so that the report can name what
// repeats it, with the proven minimum after the matings. Infeasible
// constraints are found by the exact method at once, where the repair of
// the initial assignment would try for a long time.
void AnnealAndReport(CommandContext& ctx, const MatingGroups& groups, const CoancestryMatrix& c,
                     const MatingInputs& inputs, const Seeding& seeding) {
  const std::span<const Mating> barred =
      inputs.forbidden ? std::span<const Mating>(inputs.forbidden->pairs) : std::span<const Mating>();
  const auto optimum = OptimalMatings(c, inputs.contributions, barred);
  std::optional<std::vector<Mating>> matings;
  Mt19937 g;
  InitGenerator(g, seeding.seed);
  if (optimum)
    matings = Anneal(c, inputs.contributions, inputs.forbidden ? &*inputs.forbidden : nullptr, g);
  if (!matings) return WriteTooRestricted(ctx.ped, groups);
  if (seeding.fresh) SaveSeedFile(seeding.stream, ctx.seedPath, ctx.platform, BackupAfter(seeding.source));
  ctx.remembered.values.SetState(kCmdOptimizeMatings, kSeedState, std::to_string(seeding.seed));
  if (seeding.source == SeedSource::kClock) Write(ctx.ped, kClockSeedMessage);
  WriteMatingsReport(ctx.ped, groups, c, *matings, seeding.seed);
  const float minimum = MeanCoancestry(c, *optimum);
  ctx.ped.report.tables().Find("summary")->AddFigure(
      "The minimum possible average inbreeding of progeny", minimum);
  Write(ctx.ped, "The minimum possible average inbreeding of progeny = |X" +
                     Printf("%f", static_cast<double>(minimum)));
}

// The seed given for a run from the menu or the command line; false after
// saying it is no seed.
bool TypedSeed(CommandContext& ctx, std::optional<std::uint32_t>& seed) {
  const auto parsed = ParseTypedSeed(ctx.remembered.values.Text(OptimizeMatingsDeclaration(), "seed"));
  if (!parsed) ctx.platform.ShowMessage(kTypedSeedMessage, MessageIcon::kError);
  else seed = *parsed;
  return parsed.has_value();
}

}  // namespace

// A female cannot sire progeny nor a male carry it, whatever the pedigree
// made of them so far; the first of them in the file is named.
bool RecordedSexesFit(CommandContext& ctx, const MatingGroups& groups) {
  const auto refuse = [&](RecIndex r, const char* group, const char* sex) {
    ctx.platform.ShowMessage(std::string("Error: Individual ") + ctx.ped.rec(r).id + " of the " +
                                 group + " group is recorded as " + sex + ".",
                             MessageIcon::kError);
    return false;
  };
  if (const RecIndex r = FirstRecordedAs(ctx.ped, groups.sires, Sex::kFemale); r != kUnknownParent)
    return refuse(r, "sire", "female");
  if (const RecIndex r = FirstRecordedAs(ctx.ped, groups.dams, Sex::kMale); r != kUnknownParent)
    return refuse(r, "dam", "male");
  return true;
}

CommandDeclaration OptimizeMatingsDeclaration() {
  using T = ParameterType;
  return CommandDeclaration{kCmdOptimizeMatings, "optimize-matings",
          {Declare("sire_group", T::kGroup).Help("The group of the sires").Shown(Control::kGroupPicker)
               .Positional().Keyword("sires"),
           Declare("dam_group", T::kGroup).Help("The group of the dams").Shown(Control::kGroupPicker)
               .Positional().Keyword("dams"),
           Declare("contributions", T::kFile).Help("The contribution file").Shown(Control::kOpenDialog).Positional(),
           Declare("forbidden", T::kFile).Help("A forbidden-matings file").Shown(Control::kOpenDialog),
           // The desktop lists the annealing's matings; its matings chart
           // asks for the proven optimum first.
           Declare("exact", T::kFlag).Default("0").Help("List the proven optimal matings").Shown(Control::kNone),
           Declare(kSeedFileParameter, T::kFile).Help("The seed file of the random generator")
               .Shown(Control::kNone).Keyword("seed"),
           // Checked by the handler, which refuses it before asking anything.
           Declare("seed", T::kInteger).Range(0.0, 4294967295.0).Help("The annealing's seed (default a new one)")
               .Refusal(kTypedSeedMessage).Keyword("-").EmptyMeansNone().Shown(Control::kNone)}}
      .Runs(OnOptimizingMatings)
      .Summary("Assign sires to dams for the least average inbreeding of progeny")
      .Explanation("Usage: kinvar-cli optimize-matings PEDIGREE SIRE_GROUP DAM_GROUP CONTRIBUTIONS\n"
                   "[--forbidden FILE] [--exact] [--seed-file FILE] [--seed S]\n"
                   "CONTRIBUTIONS gives each sire of SIRE_GROUP its number of dams; every dam of DAM_GROUP\n"
                   "gets one sire. Writes the matings found by simulated annealing from the random seed S,\n"
                   "or a new seed drawn from the stream of the seed file (default: Seed in the program\n"
                   "folder; the report names the seed), and the proven minimum of the average. --forbidden\n"
                   "names pairs that must not be mated; --exact lists the proven optimal matings instead\n"
                   "and leaves the seed file alone.")
      .Menu({.menu = kToolsMenu, .text = "Optimizing Matings...",
             .prompt = "Optimize matings to minimize the average inbreeding",
             .tooltip = "Optimize matings to minimize the average inbreeding", .rule = kTwoGroupRule,
             .follows = kCmdGeneOrigin});
}

void OnOptimizingMatings(CommandContext& ctx) {
  // A re-run by the Options dialog keeps the last run's seed; any other run
  // takes the seed given, or none for a new one.
  const bool ask = ctx.askInputs;
  std::optional<std::uint32_t> typed;
  if (ask && !TypedSeed(ctx, typed)) return;
  const auto groups = ChooseSireAndDamGroups(ctx, OptimizeMatingsDeclaration(), "Optimizing matings");
  if (!groups) return;
  const auto inputs = ReadInputs(ctx, *groups);
  if (!inputs) return;
  CommandValues& values = ctx.remembered.values;
  if (ask) values.SetState(kCmdOptimizeMatings, kSeedState, typed ? std::to_string(*typed) : std::string());
  ctx.askInputs = true;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  std::optional<Seeding> seeding;
  if (!values.Flag(OptimizeMatingsDeclaration(), "exact") && !(seeding = SeedTheRun(ctx))) return;
  ctx.lastCommand = kCmdOptimizeMatings;
  values.SetState(kCmdOptimizeMatings, kForbiddenUsedState, inputs->forbidden.has_value() ? "1" : "0");
  ctx.ped.report.Clear();
  ctx.ped.copyFile.Reset();
  const CoancestryMatrix c = ComputeCoancestryMatrix(ctx.ped, *groups);
  if (seeding) return AnnealAndReport(ctx, *groups, c, *inputs, *seeding);
  const std::span<const Mating> barred =
      inputs->forbidden ? std::span<const Mating>(inputs->forbidden->pairs) : std::span<const Mating>();
  const auto optimum = OptimalMatings(c, inputs->contributions, barred);
  if (optimum) WriteMatingsReport(ctx.ped, *groups, c, *optimum);
  else WriteTooRestricted(ctx.ped, *groups);
}

// Sires that are dams of some individual and dams that are sires usually
// mean the groups were swapped or hold both sexes; the matings are still made.
std::vector<std::string> RoleWarnings(const Pedigree& ped, const MatingGroups& groups) {
  const std::vector<std::uint8_t> roles = ParentRoles(ped);
  std::vector<std::string> lines;
  WarnRecordedAs(ped, RecordedAs(roles, groups.sires, kAsDam), "sire", "a dam", "dams", lines);
  WarnRecordedAs(ped, RecordedAs(roles, groups.dams, kAsSire), "dam", "a sire", "sires", lines);
  return lines;
}

void WriteMatingsReport(Pedigree& ped, const MatingGroups& groups, const CoancestryMatrix& c,
                        std::span<const Mating> matings, std::optional<std::uint32_t> seed) {
  const float mean = MeanCoancestry(c, matings);
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  summary.AddFigure("The average inbreeding coefficient of progeny", mean);
  summary.AddFigure("No. of matings", static_cast<std::int64_t>(matings.size()));
  if (seed) summary.AddFigure("Random seed", std::int64_t{*seed});
  ResultTable& table = ped.report.tables().Add("matings");
  table.AddColumn("sire", ColumnType::kId)
      .AddColumn("dam", ColumnType::kId)
      .AddColumn("coancestry", ColumnType::kReal);
  table.Reserve(matings.size());
  for (const Mating m : matings)
    table.AddRow()
        .Id(ped.rec(groups.sires[static_cast<std::size_t>(m.sire)]).Id())
        .Id(ped.rec(groups.dams[static_cast<std::size_t>(m.dam)]).Id())
        .Float(c.at(m.sire, m.dam));
  Write(ped, "|XOptimized Matings:");
  Write(ped, "The average inbreeding coefficient of progeny = |X" +
                 Printf("%f", static_cast<double>(mean)));
  Write(ped, "No. of matings = |X" + std::to_string(matings.size()));
  if (seed) Write(ped, "Random seed = |X" + std::to_string(*seed));
  for (const std::string& line : RoleWarnings(ped, groups)) Write(ped, line);
  Write(ped, "Sire|T1Dam|T1Coancestry");
  const auto& col = table.columns();
  for (std::size_t row = 0; row < table.rows(); ++row)
    Write(ped, "|M" + std::string(col[0].Text(row)) + "|T1|F" + std::string(col[1].Text(row)) +
                   "|T1" +
                   FormatNumber(ped.settings.numberFormat, static_cast<float>(col[2].Real(row))));
}

void WriteTooRestricted(Pedigree& ped, const MatingGroups& groups) {
  Write(ped, "");
  Write(ped, kCouldNotOptimizeLine);
  Write(ped, "Matings are too restricted.");
  for (const std::string& line : RoleWarnings(ped, groups)) Write(ped, line);
}

}  // namespace kinvar
