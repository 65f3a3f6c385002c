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

std::optional<PlannedInputs> ReadPlannedInputs(CommandContext& ctx) {
  const RememberedInputs& r = ctx.remembered;
  const std::vector<Sex> sexes = KnownSexes(ctx.ped);
  PlannedInputs in;
  const auto sire = Parent(ctx, sexes, r.matingSire, r.matingSireSire, r.matingSireDam, true);
  if (!sire) return std::nullopt;
  const auto dam = Parent(ctx, sexes, r.matingDam, r.matingDamSire, r.matingDamDam, false);
  if (!dam) return std::nullopt;
  in.sire = *sire;
  in.dam = *dam;
  const bool bothKnown = in.sire.kind == PlannedParent::Kind::kKnown &&
                         in.dam.kind == PlannedParent::Kind::kKnown;
  if (bothKnown && !NotBoth(ctx, in.sire.rec, in.dam.rec, "")) return std::nullopt;
  const auto candidates = GroupIndex(ctx, r.matingCandidates, "The group of the candidate sires");
  if (!candidates) return std::nullopt;
  const auto reference = GroupIndex(ctx, r.matingReference, "The reference group");
  if (!reference) return std::nullopt;
  in.candidateGroup = *candidates;
  in.referenceNumber = *reference < 0 ? kAllIndividuals : ctx.ped.groups[static_cast<std::size_t>(*reference)].group;
  const auto top = WholeInteger(r.matingTop, 0, kMostBestSires);
  if (!top) {
    Refuse(ctx, "Error: The number of best sires must be a whole number from 0 to " +
                    std::to_string(kMostBestSires) + ", not " + r.matingTop + ".");
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

void OnPlannedMating(CommandContext& ctx) {
  RememberedInputs& r = ctx.remembered;
  EnsureCodeOrder(ctx.ped);
  if (ctx.askInputs) {
    ValueForm form{kPlannedMatingCaption, {}, [&](const std::vector<std::string>& texts) {
                     std::string* boxes[] = {&r.matingSire,     &r.matingDam,        &r.matingSireSire,
                                             &r.matingSireDam,  &r.matingDamSire,    &r.matingDamDam,
                                             &r.matingCandidates, &r.matingReference, &r.matingTop,
                                             &r.matingChart};
                     for (std::size_t i = 0; i < std::size(boxes) && i < texts.size(); ++i) *boxes[i] = texts[i];
                     // The six ID boxes, as every ID box shows an ID.
                     for (std::size_t i = 0; i < 6; ++i) NormalizeTypedId(*boxes[i]);
                     return ReadPlannedInputs(ctx).has_value();
                   }};
    form.fields = {{"sire", "Sire", r.matingSire},
                   {"dam", "Dam", r.matingDam},
                   {"sire-sire", "New sire's sire", r.matingSireSire},
                   {"sire-dam", "New sire's dam", r.matingSireDam},
                   {"dam-sire", "New dam's sire", r.matingDamSire},
                   {"dam-dam", "New dam's dam", r.matingDamDam},
                   {"candidates", "Best sires from group (empty: all males)", r.matingCandidates},
                   {"reference", "Mean kinship with group (empty: all individuals)", r.matingReference},
                   {"top", "Best sires listed", r.matingTop},
                   {"chart", "Show the pedigree chart", r.matingChart, true}};
    if (!ctx.platform.AskValues(form)) return;
  }
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
