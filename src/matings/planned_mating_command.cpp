#include "matings/planned_mating_command.h"

#include <cmath>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "matings/population.h"
#include "matings/population_commands.h"
#include "pedigree/number_text.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

bool Refuse(CommandContext& ctx, const std::string& message) {
  ctx.platform.ShowMessage(message, MessageIcon::kError);
  return false;
}

bool NamesUnknown(const std::string& text) { return text.empty() || text == "0"; }

// Refuses an individual whose sex, from the Sex column or its role as a
// parent, is not the one `role` needs.
bool FitsRole(CommandContext& ctx, const std::vector<Sex>& sexes, RecIndex r, bool male,
              const std::string& role) {
  const Sex wrong = male ? Sex::kFemale : Sex::kMale;
  if (sexes[static_cast<std::size_t>(r)] != wrong) return true;
  const std::string id(ctx.ped.rec(r).Id());
  if (ctx.ped.rec(r).sex == wrong)
    return Refuse(ctx, "Error: " + id + " is " + (male ? "female" : "male") + " and cannot be " +
                           role + ".");
  return Refuse(ctx, "Error: " + id + " is " + (male ? "a dam" : "a sire") +
                         " in the pedigree and cannot be " + role + ".");
}

// An individual of the pedigree for `role`, or the unknown parent for ""
// and "0"; nothing after a message.
std::optional<RecIndex> Individual(CommandContext& ctx, const std::vector<Sex>& sexes,
                                   std::string text, bool male, const std::string& role) {
  if (NamesUnknown(text)) return kUnknownParent;
  const RecIndex r = FindTypedId(ctx.ped, text);
  if (r == kUnknownParent) {
    Refuse(ctx, "Cannot find individual \"" + text + "\" in the pedigree.");
    return std::nullopt;
  }
  if (!FitsRole(ctx, sexes, r, male, role)) return std::nullopt;
  return r;
}

bool NotBoth(CommandContext& ctx, RecIndex s, RecIndex d, const std::string& of) {
  if (s == kUnknownParent || s != d) return true;
  return Refuse(ctx, "Error: " + std::string(ctx.ped.rec(s).Id()) +
                         " cannot be both the sire and the dam" + of + ".");
}

// The sire (male) or the dam: an individual, a new one when either of its
// parents is typed, or unknown.
std::optional<PlannedParent> Parent(CommandContext& ctx, const std::vector<Sex>& sexes,
                                    std::string id, const std::string& sireText,
                                    const std::string& damText, bool male) {
  const std::string role = male ? "the sire" : "the dam";
  PlannedParent p;
  if (sireText.empty() && damText.empty()) {
    const auto r = Individual(ctx, sexes, id, male, role);
    if (!r) return std::nullopt;
    NormalizeTypedId(id);
    if (*r != kUnknownParent) p = {PlannedParent::Kind::kKnown, *r, kUnknownParent, kUnknownParent, id};
    return p;
  }
  const std::string newOne = male ? "the new sire" : "the new dam";
  std::string name = id;
  if (!NamesUnknown(name) && FindTypedId(ctx.ped, name) != kUnknownParent) {
    Refuse(ctx, "Error: " + name + " is in the pedigree; " + newOne +
                    " needs a name of its own, or no parents.");
    return std::nullopt;
  }
  // The name goes into the report and the chart as an ID would, so it
  // keeps to what an ID of the pedigree file may be.
  if (name.size() > static_cast<std::size_t>(kMaxIdLength) || name.find_first_of("| \t") != std::string::npos) {
    Refuse(ctx, "Error: " + name + " cannot name " + newOne + ": a name has at most " +
                    std::to_string(kMaxIdLength) + " characters, and no blank or |.");
    return std::nullopt;
  }
  const auto s = Individual(ctx, sexes, sireText, true, newOne + "'s sire");
  if (!s) return std::nullopt;
  const auto d = Individual(ctx, sexes, damText, false, newOne + "'s dam");
  if (!d || !NotBoth(ctx, *s, *d, " of " + newOne)) return std::nullopt;
  return PlannedParent{PlannedParent::Kind::kNew, kUnknownParent, *s, *d,
                       NamesUnknown(name) ? (male ? "NEW SIRE" : "NEW DAM") : name};
}

// A group number typed in a box: -1 for an empty box.
std::optional<std::int32_t> GroupIndex(CommandContext& ctx, const std::string& text,
                                       const std::string& what) {
  std::optional<double> number;
  if (!ReadTypedNumber(ctx, text, what, number)) return std::nullopt;
  if (!number) return -1;
  const std::int32_t index =
      *number == std::floor(*number) && std::fabs(*number) < 3e9 ? GroupIndexOf(ctx.ped, static_cast<int>(*number)) : -1;
  if (index < 0) {
    Refuse(ctx, "Error: There is no group " + text + ".");
    return std::nullopt;
  }
  return index;
}

}  // namespace

CommandDeclaration PlannedMatingDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdPlannedMating, "mating", {}};
  d.parameters = {
      // The command line's words; the form's boxes follow.
      Declare("parents", T::kId).Help("SIRE and DAM: their IDs (0: unknown)").Parts({"sire", "dam"})
          .Positional().Keyword("-"),
      Declare("sire-parents", T::kId).Help("SIRE is a new sire with these parents (0: unknown)").ValueName("S D")
          .Parts({"sire-sire", "sire-dam"}).Shown(Control::kNone),
      Declare("dam-parents", T::kId).Help("DAM is a new dam with these parents (0: unknown)").ValueName("S D")
          .Parts({"dam-sire", "dam-dam"}).Shown(Control::kNone),
      Declare("candidates", T::kGroup).Help("The best sires from group G (default: all males)").ValueName("G")
          .Label("Best sires from group (empty: all males)"),
      Declare("reference", T::kGroup).Help("Mean kinship with group G (default: all individuals)").ValueName("G")
          .Label("Mean kinship with group (empty: all individuals)"),
      // Checked by the handler with the range in its message.
      Declare("top", T::kInteger).Default("20").Help("Best sires listed (default 20; 0: none)").ValueName("N")
          .Label("Best sires listed"),
      // kinvar-cli draws the chart into the file of its --chart instead.
      Declare("chart", T::kFlag).Default("1").Help("Show the planned offspring's pedigree chart").Label("Show the pedigree chart").Shown(Control::kCheck)
          .DesktopOnly().Keyword("-"),
      // A sire or dam with parents typed is a new one; "" or "0" is an
      // unknown parent.
      Declare("sire", T::kId).Help("The sire's ID, or the new sire's name (0: unknown)").Label("Sire"),
      Declare("dam", T::kId).Help("The dam's ID, or the new dam's name (0: unknown)").Label("Dam"),
      Declare("sire-sire", T::kId).Help("The new sire's sire (0: unknown)").Label("New sire's sire").Keyword("-"),
      Declare("sire-dam", T::kId).Help("The new sire's dam (0: unknown)").Label("New sire's dam").Keyword("-"),
      Declare("dam-sire", T::kId).Help("The new dam's sire (0: unknown)").Label("New dam's sire").Keyword("-"),
      Declare("dam-dam", T::kId).Help("The new dam's dam (0: unknown)").Label("New dam's dam").Keyword("-"),
  };
  return d.Runs(OnPlannedMating)
      .Summary("A planned mating: the offspring's F, common ancestors and the best sires for the dam")
      .Explanation("Usage: kinvar-cli mating PEDIGREE SIRE DAM [--sire-parents S D] [--dam-parents S D]\n"
                   "[--candidates G] [--reference G] [--top N] [--chart FILE.svg|png|pdf] [--generations N]\n"
                   "Writes the relationship of SIRE and DAM, the F of their offspring (half of it), every\n"
                   "ancestor of both with its part of that F, and the --top N (default 20; 0: none) sires of\n"
                   "least offspring F with DAM among group G (--candidates) or all males, with their mean\n"
                   "kinship with group G (--reference) or all individuals. A parent not yet born is given\n"
                   "by its own parents: --sire-parents makes SIRE the name of a new sire (0: unknown). SIRE\n"
                   "or DAM 0 is an unknown parent. --chart also draws the offspring's pedigree chart,\n"
                   "--generations back (default 4, at most 8), a PNG --size pixels (default 1600x1000).")
      .Menu({.menu = kToolsMenu, .text = "&Planned Mating...",
             .prompt = "The offspring's F of a sire and a dam, its common ancestors, and the best sires for the dam",
             .tooltip = "Planned mating"});
}

std::optional<PlannedInputs> ReadPlannedInputs(CommandContext& ctx) {
  const CommandDeclaration declaration = PlannedMatingDeclaration();
  const CommandValues& values = ctx.remembered.values;
  const auto text = [&](const char* name) { return values.Text(declaration, name); };
  const std::vector<Sex> sexes = KnownSexes(ctx.ped);
  PlannedInputs in;
  const auto sire = Parent(ctx, sexes, text("sire"), text("sire-sire"), text("sire-dam"), true);
  if (!sire) return std::nullopt;
  const auto dam = Parent(ctx, sexes, text("dam"), text("dam-sire"), text("dam-dam"), false);
  if (!dam) return std::nullopt;
  in.sire = *sire;
  in.dam = *dam;
  const bool bothKnown = in.sire.kind == PlannedParent::Kind::kKnown &&
                         in.dam.kind == PlannedParent::Kind::kKnown;
  if (bothKnown && !NotBoth(ctx, in.sire.rec, in.dam.rec, "")) return std::nullopt;
  const auto candidates = GroupIndex(ctx, text("candidates"), "The group of the candidate sires");
  if (!candidates) return std::nullopt;
  const auto reference = GroupIndex(ctx, text("reference"), "The reference group");
  if (!reference) return std::nullopt;
  in.candidateGroup = *candidates;
  in.referenceNumber = *reference < 0 ? kAllIndividuals : ctx.ped.groups[static_cast<std::size_t>(*reference)].group;
  const std::string typedTop = text("top");
  const auto top = WholeInteger(typedTop, 0, kMostBestSires);
  if (!top) {
    Refuse(ctx, "Error: The number of best sires must be a whole number from 0 to " +
                    std::to_string(kMostBestSires) + ", not " + typedTop + ".");
    return std::nullopt;
  }
  in.top = static_cast<std::size_t>(*top);
  return in;
}

namespace {

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

std::string Described(const Pedigree& ped, const PlannedParent& p) {
  const auto id = [&](RecIndex r) { return r == kUnknownParent ? std::string("unknown") : std::string(ped.rec(r).Id()); };
  switch (p.kind) {
    case PlannedParent::Kind::kKnown: return p.label;
    case PlannedParent::Kind::kNew:
      return p.label + " (new: sire " + id(p.sire) + ", dam " + id(p.dam) + ")";
    case PlannedParent::Kind::kUnknown: break;
  }
  return "unknown";
}

std::string UnknownLine(const PlannedInputs& in) {
  const bool s = in.sire.kind == PlannedParent::Kind::kUnknown;
  const bool d = in.dam.kind == PlannedParent::Kind::kUnknown;
  if (s && d) return "The sire and the dam are unknown, so the offspring's F is 0.";
  if (s) return "The sire is unknown, so the offspring's F is 0.";
  if (d) return "The dam is unknown, so the offspring's F is 0.";
  return {};
}

void WriteOffspring(Pedigree& ped, const PlannedInputs& in, const PlannedMating& m) {
  const int format = ped.settings.numberFormat;
  Write(ped, "|XPlanned mating");
  Write(ped, "Sire = |X" + Described(ped, in.sire));
  Write(ped, "Dam = |X" + Described(ped, in.dam));
  Write(ped, "Relationship of the parents = |X" + FormatNumber(format, m.relationship));
  Write(ped, "Inbreeding coefficient of the offspring = |X" + FormatNumber(format, m.offspringF));
  if (const std::string unknown = UnknownLine(in); !unknown.empty()) {
    Write(ped, unknown);
    return;
  }
  Write(ped, "");
  if (m.common.empty()) {
    Write(ped, "The sire and the dam have no common ancestor.");
    return;
  }
  Write(ped, "|XCommon ancestors of the sire and the dam, with their parts of the offspring's F");
  Write(ped, "ID|T1Part of F");
  ResultTable& table = ped.report.tables().Add("common_ancestors");
  table.AddColumn("id", ColumnType::kId).AddColumn("part_of_f", ColumnType::kReal);
  table.Reserve(m.common.size());
  for (const AncestorPart& p : m.common) {
    const std::string id(ped.rec(p.rec).Id());
    table.AddRow().Id(id).Real(p.part);
    Write(ped, "|M" + id + "|T1" + SixDecimals(p.part));
  }
  Write(ped, "Total|T1" + SixDecimals(m.partsTotal));
  Write(ped, "The parts add up to the offspring's F.");
}

void WriteBestSires(Pedigree& ped, const PlannedInputs& in, const BestSires& best) {
  const std::string among = in.candidateGroup < 0
                                ? std::string("all males")
                                : "group " + std::to_string(ped.groups[static_cast<std::size_t>(in.candidateGroup)].group);
  Write(ped, "");
  Write(ped, "|XBest sires for the dam " +
                 (in.dam.kind == PlannedParent::Kind::kUnknown ? std::string("(unknown)") : in.dam.label) +
                 " among " + among + ", lowest offspring F first");
  Write(ped, "Candidates = |X" + std::to_string(best.candidates));
  Write(ped, "Mean kinship (MK) with " +
                 (in.referenceNumber == kAllIndividuals ? std::string("all individuals")
                                                        : "group " + std::to_string(in.referenceNumber)));
  if (best.rows.empty()) return;
  Write(ped, "Rank|T1Sire|T1Group|T1Offspring F|T1MK");
  ResultTable& table = ped.report.tables().Add("best_sires");
  table.AddColumn("rank", ColumnType::kInteger).AddColumn("sire", ColumnType::kId)
      .AddColumn("group", ColumnType::kInteger).AddColumn("offspring_f", ColumnType::kReal)
      .AddColumn("mk", ColumnType::kReal);
  table.Reserve(best.rows.size());
  for (std::size_t i = 0; i < best.rows.size(); ++i) {
    const SireCandidate& c = best.rows[i];
    const Rec& r = ped.rec(c.rec);
    TableRow row = table.AddRow();
    row.Integer(static_cast<std::int64_t>(i + 1)).Id(r.Id());
    if (r.group < 0) row.Missing();
    else row.Integer(ped.GroupNumber(r));
    row.Float(c.offspringF).Real(c.mk);
    Write(ped, std::to_string(i + 1) + "|T1|M" + std::string(r.Id()) + "|T1" +
                   (r.group < 0 ? std::string(".") : std::to_string(ped.GroupNumber(r))) + "|T1" +
                   FormatNumber(ped.settings.numberFormat, c.offspringF) + "|T1" + SixDecimals(c.mk));
  }
}

}  // namespace

namespace {

// The form's boxes in the order of its fields; the first six take IDs.
constexpr const char* kFormKeys[] = {"sire",     "dam",        "sire-sire", "sire-dam", "dam-sire",
                                     "dam-dam",  "candidates", "reference", "top",      "chart"};
constexpr std::size_t kIdBoxes = 6;

// The form with the texts of the last run; its accept keeps what is typed
// (so that the form opens with it again) and checks it.
bool AskPlannedInputs(CommandContext& ctx) {
  const CommandDeclaration declaration = PlannedMatingDeclaration();
  CommandValues& values = ctx.remembered.values;
  ValueForm form{kPlannedMatingCaption, {}, [&](const std::vector<std::string>& texts) {
                   for (std::size_t i = 0; i < std::size(kFormKeys) && i < texts.size(); ++i) {
                     std::string text = texts[i];
                     // As every ID box shows an ID.
                     if (i < kIdBoxes) NormalizeTypedId(text);
                     values.Set(kCmdPlannedMating, kFormKeys[i], std::move(text));
                   }
                   return ReadPlannedInputs(ctx).has_value();
                 }};
  for (const char* key : kFormKeys) {
    const Parameter& p = *declaration.Find(key);
    form.fields.push_back({key, p.label, values.Text(declaration, key), p.control == Control::kCheck});
  }
  return ctx.platform.AskValues(form);
}

}  // namespace

void OnPlannedMating(CommandContext& ctx) {
  EnsureCodeOrder(ctx.ped);
  if (ctx.askInputs && !AskPlannedInputs(ctx)) return;
  ctx.askInputs = true;
  const std::optional<PlannedInputs> in = ReadPlannedInputs(ctx);
  if (!in) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Pedigree& ped = ctx.ped;
  const PlannedMating m = ComputePlannedMating(ped, in->sire, in->dam);
  BestSires best;
  if (in->top > 0)
    best = RankSires(ped, in->dam, CandidateSires(ped, in->candidateGroup, in->dam),
                     ReferenceOf(ped, in->referenceNumber), in->top);
  ctx.lastCommand = kCmdPlannedMating;
  ped.report.Clear();
  ped.copyFile.Reset();
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  summary.AddFigure("Relationship of the parents", m.relationship);
  summary.AddFigure("Offspring F", m.offspringF);
  summary.AddFigure("Common ancestors", static_cast<std::int64_t>(m.common.size()));
  summary.AddFigure("Sum of the parts of F", m.partsTotal);
  if (in->top > 0) summary.AddFigure("Candidate sires", static_cast<std::int64_t>(best.candidates));
  WriteOffspring(ped, *in, m);
  if (in->top > 0) WriteBestSires(ped, *in, best);
}

}  // namespace kinvar
