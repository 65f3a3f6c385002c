#include "analyses/extraction.h"

#include <algorithm>
#include <cstdint>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/sex_and_birth_text.h"
#include "report/markup.h"
#include "report/number_format.h"
#include "report/timestamp.h"

namespace kinvar {

namespace {

std::int32_t CodeOf(const Pedigree& ped, RecIndex r) { return ped.rec(r).code; }

// Completes `list` (all selected) with every ancestor, then sorts it by code.
std::vector<RecIndex> WithAncestors(const Pedigree& ped, std::vector<RecIndex> list) {
  std::vector<std::uint8_t> selected(static_cast<std::size_t>(ped.nTotal) + 1);
  for (const RecIndex r : list) selected[static_cast<std::size_t>(CodeOf(ped, r))] = 1;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Rec& r = ped.rec(list[i]);
    for (const RecIndex parent : {r.sire, r.dam}) {
      std::uint8_t& flag = selected[static_cast<std::size_t>(CodeOf(ped, parent))];
      if (parent == kUnknownParent || flag != 0) continue;
      flag = 1;
      list.push_back(parent);
    }
  }
  std::sort(list.begin(), list.end(),
            [&ped](RecIndex a, RecIndex b) { return CodeOf(ped, a) < CodeOf(ped, b); });
  return list;
}

// Walks codes from `from` upward and takes those that `starts` or whose
// parent is taken; an unknown parent is never taken.
template <class Starts>
std::vector<RecIndex> Descendants(const Pedigree& ped, std::int32_t from, Starts starts) {
  std::vector<std::uint8_t> selected(static_cast<std::size_t>(ped.nTotal) + 1);
  std::vector<RecIndex> list;
  for (std::int32_t code = from; code <= ped.nTotal; ++code) {
    const Rec& r = ped.byCode(code - 1);
    const bool fromParent = selected[static_cast<std::size_t>(CodeOf(ped, r.sire))] != 0 ||
                            selected[static_cast<std::size_t>(CodeOf(ped, r.dam))] != 0;
    if (!starts(code, r) && !fromParent) continue;
    selected[static_cast<std::size_t>(code)] = 1;
    list.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  }
  return list;
}

std::string Comments(const Pedigree& ped, const ExtractionFile& what, std::size_t count) {
  const char* kind = what.kinship == Kinship::kAncestors ? "ancestors" : "descendants";
  std::string text;
  if (what.groupNumber < 0) {
    text = std::string("! This file contains the ") + kind + " of individual " +
           ped.rec(what.individual).id + ", including individual itself.\n";
  } else {
    const std::string g = std::to_string(what.groupNumber);
    text = std::string("! This file contains the ") + kind + " of the individuals of group " + g +
           ".\n! The individuals of group " + g + " are included.\n";
  }
  return text + "! Number of individuals:  " + std::to_string(count) +
         "\n!------------------------------------------------------------------\n\n";
}

// The columns written besides Progeny, Sire and Dam.
struct Columns {
  bool group = false;
  // The source's predefined F, exactly, so that the extracted individuals
  // keep the coefficients they have in the source.
  bool f = false;
  // Sex and birth date as the source gives them, so that the extracted
  // file can be checked and analysed as the source can.
  bool sex = false;
  bool birth = false;
  const char* FSeparator() const { return group ? "|T5" : "|T1"; }
  // The tab before Sex or Birth date, after a last column of `length`.
  std::string TabAfter(std::size_t length) const {
    if (f) return TabAfterF(length);
    return group ? "|T5" : "|T1";
  }
  std::string SexAndBirth(std::size_t lastLength, const std::string& sexText,
                          const std::string& birthText) const {
    std::string text;
    if (sex) text += TabAfter(lastLength) + sexText;
    if (birth) text += (sex ? "|T5" : TabAfter(lastLength)) + birthText;
    return text;
  }
};

std::string Heading(const Columns& columns) {
  std::string heading = "Progeny|T1Sire|T1Dam";
  if (columns.group) heading += "|T1Group";
  if (columns.f) heading += std::string(columns.FSeparator()) + "F";
  return ExpandMarkup(heading + columns.SexAndBirth(1, kSexHeader, kBirthHeader));
}

std::string Row(const Pedigree& ped, RecIndex i, const Columns& columns) {
  const Rec& r = ped.rec(i);
  std::string row = std::string(r.id) + "|T1" + ParentIdAsGiven(ped, i, ParentRole::kSire) + "|T1" +
                    ParentIdAsGiven(ped, i, ParentRole::kDam);
  if (columns.group) row += r.group < 0 ? "|T1." : "|T1" + std::to_string(ped.GroupNumber(r));
  std::string f;
  if (columns.f) {
    f = r.fPredefined ? FormatExactF(r.f) : ".";
    row += std::string(columns.FSeparator()) + f;
  }
  return ExpandMarkup(row + columns.SexAndBirth(f.size(), SexText(r.sex), BirthText(r.birth)));
}

// The extracted individuals as the file lists them, with the columns it has.
ResultTable PedigreeTable(const Pedigree& ped, const std::vector<RecIndex>& selection,
                          const Columns& columns) {
  ResultTable table("pedigree");
  table.AddColumn("id", ColumnType::kId)
      .AddColumn("sire", ColumnType::kId)
      .AddColumn("dam", ColumnType::kId);
  if (columns.group) table.AddColumn("group", ColumnType::kInteger);
  if (columns.f) table.AddColumn("f", ColumnType::kReal);
  if (columns.sex) table.AddColumn("sex", ColumnType::kText);
  if (columns.birth) table.AddColumn("birth_date", ColumnType::kText);
  table.Reserve(selection.size());
  for (const RecIndex i : selection) {
    const Rec& r = ped.rec(i);
    TableRow row = table.AddRow();
    row.Id(r.id).Id(ParentIdAsGiven(ped, i, ParentRole::kSire)).Id(ParentIdAsGiven(ped, i, ParentRole::kDam));
    if (columns.group) r.group < 0 ? row.Missing() : row.Integer(ped.GroupNumber(r));
    if (columns.f) r.fPredefined ? row.Float(r.f) : row.Missing();
    if (columns.sex) row.Text(r.sex == Sex::kUnknown ? "" : SexText(r.sex));
    if (columns.birth) row.Text(r.birth == kUnknownBirth ? "" : BirthText(r.birth));
  }
  return table;
}

Columns FileColumns(const Pedigree& ped, bool forGroup) {
  return {forGroup || ped.HasGroupColumn(), ped.HasFColumn(), ped.HasSexColumn(),
          ped.HasBirthColumn()};
}

void OnExtract(CommandContext& ctx, std::int32_t command, Kinship kinship, bool forGroup) {
  const char* caption =
      kinship == Kinship::kAncestors ? "Extract Ancestors" : "Extract Descendants";
  ExtractionFile what{kinship, kUnknownParent, -1, ctx.path};
  if (forGroup) {
    const auto group = AskGroup(ctx, caption, "Extract");
    if (!group) return;
    what.groupNumber = *group;
  } else {
    const auto x = AskIndividual(ctx, caption, "Extract");
    if (!x) return;
    what.individual = *x;
  }
  FileRequest request{false, {{"Pedigree Files (*.pdg)", "*.pdg"}}, "pdg", "Save As"};
  const auto chosen = ctx.platform.AskFileName(request);
  if (!chosen) return;
  const auto file = OpenOutputFile(*chosen, ctx.platform);
  if (!file) return;
  ResultTable extracted("pedigree");
  {
    WaitCursor cursor(ctx.platform);
    EnsureCodeOrder(ctx.ped);
    const std::vector<RecIndex> selection =
        forGroup ? SelectGroup(ctx.ped, kinship, GroupIndexOf(ctx.ped, what.groupNumber))
                 : SelectIndividual(ctx.ped, kinship, what.individual);
    auto window = ctx.platform.OpenProgress();
    Progress progress(*window);
    if (!WriteExtractionFile(ctx.ped, what, selection, *file, progress)) {
      file->Discard();
      ShowCanceled(ctx);
      return;
    }
    window->Hide();
    // A file that could not be written whole must not pass for an extracted
    // one: the user has been told, and the report stays what it was.
    if (!CommitOutputFile(*file, ctx.platform)) return;
    extracted = PedigreeTable(ctx.ped, selection, FileColumns(ctx.ped, forGroup));
  }
  const std::string whose =
      forGroup ? "the individuals of group " + std::to_string(what.groupNumber)
               : "individual " + std::string(ctx.ped.rec(what.individual).id);
  ctx.lastCommand = command;
  ctx.ped.report.Clear();
  ctx.ped.report.Add((kinship == Kinship::kAncestors ? "Ancestors of " : "Descendants of ") +
                     whose + " are saved.");
  ctx.ped.report.tables().Add(std::move(extracted));
}

}  // namespace

std::vector<RecIndex> SelectIndividual(const Pedigree& ped, Kinship kinship, RecIndex x) {
  if (kinship == Kinship::kAncestors) return WithAncestors(ped, {x});
  const std::int32_t start = CodeOf(ped, x);
  return Descendants(ped, start, [start](std::int32_t code, const Rec&) { return code == start; });
}

std::vector<RecIndex> SelectGroup(const Pedigree& ped, Kinship kinship, std::int32_t group) {
  const auto member = [group](std::int32_t, const Rec& r) { return r.group == group; };
  if (kinship == Kinship::kDescendants) return Descendants(ped, 1, member);
  std::vector<RecIndex> members;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (member(code, ped.byCode(code - 1)))
      members.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  return WithAncestors(ped, std::move(members));
}

bool WriteExtractionFile(const Pedigree& ped, const ExtractionFile& what,
                         const std::vector<RecIndex>& selection, OutputFile& file,
                         Progress& progress) {
  progress.SetStage(0, 100, static_cast<std::int64_t>(selection.size()), "Saving...");
  const bool forGroup = what.groupNumber >= 0;
  const Columns columns = FileColumns(ped, forGroup);
  std::string text(1, '!');
  text.append(FormatTimestamp(CurrentLocalTime()))
      .append("\n!Pedigree file name: ")
      .append(what.pedigreePath)
      .append("\n\n")
      .append(Comments(ped, what, selection.size()))
      .append(Heading(columns))
      .append("\n");
  file.Raw(text);
  for (std::size_t i = 0; i < selection.size(); ++i) {
    file.Raw(Row(ped, selection[i], columns));
    if (progress.Step(static_cast<std::int64_t>(i))) return false;
  }
  return true;
}

void OnExtractAncestorsOfIndividual(CommandContext& ctx) {
  OnExtract(ctx, kCmdExtractAncestorsIndividual, Kinship::kAncestors, false);
}
void OnExtractAncestorsOfGroup(CommandContext& ctx) {
  OnExtract(ctx, kCmdExtractAncestorsGroup, Kinship::kAncestors, true);
}
void OnExtractDescendantsOfIndividual(CommandContext& ctx) {
  OnExtract(ctx, kCmdExtractDescendantsIndividual, Kinship::kDescendants, false);
}
void OnExtractDescendantsOfGroup(CommandContext& ctx) {
  OnExtract(ctx, kCmdExtractDescendantsGroup, Kinship::kDescendants, true);
}

namespace {

// The help of kinvar-cli's extract, which its four commands share.
CommandDeclaration Extract(std::int32_t id, const char* scope, bool forGroup, void (*run)(CommandContext&)) {
  Parameter input = forGroup ? Declare("group", ParameterType::kGroup).Help("The group number")
                                   .Shown(Control::kGroupPicker)
                             : Declare("id", ParameterType::kId).Help("The individual's ID")
                                   .Shown(Control::kIndividualPicker);
  return CommandDeclaration{id, "extract", {std::move(input.Positional())}}
      .Scope(scope)
      .Runs(run)
      .Summary("Write the ancestors or descendants of an individual or a group as a pedigree")
      .Explanation("Usage: kinvar-cli extract PEDIGREE ancestors|descendants individual ID|group G\n"
                   "Writes a pedigree file (that Open reads again) with the individual or the group's\n"
                   "members and all their ancestors, or all their descendants.")
      .Writes(CommandOutput::kFile);
}

}  // namespace

CommandDeclaration ExtractAncestorsOfIndividualDeclaration() {
  return Extract(kCmdExtractAncestorsIndividual, "ancestors individual", false, OnExtractAncestorsOfIndividual)
      .Menu({.menu = kAncestorsMenu, .text = "An Individual...", .prompt = "Extract ancestors for a specific individual",
             .rule = kValid, .follows = kCmdStructure});
}
CommandDeclaration ExtractAncestorsOfGroupDeclaration() {
  return Extract(kCmdExtractAncestorsGroup, "ancestors group", true, OnExtractAncestorsOfGroup)
      .Menu({.menu = kAncestorsMenu, .text = "A Group...", .prompt = "Extract ancestors for a group of interest",
             .rule = kValid | kGroups});
}
CommandDeclaration ExtractDescendantsOfIndividualDeclaration() {
  return Extract(kCmdExtractDescendantsIndividual, "descendants individual", false, OnExtractDescendantsOfIndividual)
      .Menu({.menu = kDescendantsMenu, .text = "An Individual...",
             .prompt = "Extract descendants for a specific individual", .rule = kValid,
             .follows = kCmdExtractAncestorsGroup});
}
CommandDeclaration ExtractDescendantsOfGroupDeclaration() {
  return Extract(kCmdExtractDescendantsGroup, "descendants group", true, OnExtractDescendantsOfGroup)
      .Menu({.menu = kDescendantsMenu, .text = "A Group...", .prompt = "Extract descendants for a group of interest",
             .rule = kValid | kGroups});
}

}  // namespace kinvar
