#include "app/listings.h"

#include "analyses/command_ids.h"
#include "analyses/individual_tables.h"
#include "app/save_as.h"
#include "pedigree/sex_and_birth_text.h"
#include "report/number_format.h"
#include "report/timestamp.h"

namespace kinvar {

namespace {

const char* FSeparator(const Pedigree& ped) { return ped.HasGroupColumn() ? "|T5" : "|T1"; }

// The tab that closes the column before Sex and Birth date, whose field
// shows `length` characters.
std::string TabBeforeSex(const Pedigree& ped, std::size_t length) {
  if (ShowsFColumn(ped)) return TabAfterF(length);
  return ped.HasGroupColumn() ? "|T5" : "|T1";
}

// Sex and Birth date follow the other columns when the file had them.
std::string SexAndBirth(const Pedigree& ped, std::size_t lastLength, const std::string& sex,
                        const std::string& birth) {
  std::string text;
  if (ped.HasSexColumn()) text += TabBeforeSex(ped, lastLength) + sex;
  if (ped.HasBirthColumn()) text += (ped.HasSexColumn() ? "|T5" : TabBeforeSex(ped, lastLength)) + birth;
  return text;
}

// `birthTitle`: the report may say "Birth date"; a file needs one word.
std::string Heading(const Pedigree& ped, const char* fTitle, const char* birthTitle) {
  std::string line = "Progeny|T1Sire|T1Dam";
  if (ped.HasGroupColumn()) line += "|T1Group";
  if (ShowsFColumn(ped)) line += std::string(FSeparator(ped)) + fTitle;
  return line + SexAndBirth(ped, 1, kSexHeader, birthTitle);
}

std::string PedigreeUnderline(const Pedigree& ped) {
  std::string line = "----------|T1----------|T1----------";
  if (ped.HasGroupColumn()) line += "|T1---------";
  if (ShowsFColumn(ped)) line += std::string(FSeparator(ped)) + "----------";
  return line + SexAndBirth(ped, 10, "---", "----------");
}

std::string GroupField(const Pedigree& ped, const Rec& r, const char* colour) {
  if (r.group < 0) return std::string("|T1") + colour + ".";
  return std::string("|T1") + colour + std::to_string(ped.GroupNumber(r));
}

std::string ListingLine(const Pedigree& ped, const Rec& r) {
  std::string line = std::string(r.id) + "|T1|M" + ped.rec(r.sire).id + "|T1|F" + ped.rec(r.dam).id;
  if (ped.HasGroupColumn()) line += GroupField(ped, r, "|A");
  std::size_t fLength = 0;
  if (ShowsFColumn(ped)) {
    line += FSeparator(ped);
    std::string f = ".";
    if (r.fPredefined)
      f = FormatNumber(ped.settings.numberFormat, r.f) + " |X*";
    else if (r.f != -1.0f)
      f = FormatNumber(ped.settings.numberFormat, r.f);
    fLength = r.fPredefined ? f.size() - 2 : f.size();
    line += "|A" + f;
  }
  return line + SexAndBirth(ped, fLength, "|A" + SexText(r.sex), "|A" + BirthText(r.birth));
}

// In the Re-coding file Sex and Birth date stand before the original ID:
// its title is two words, and the reader counts header words as columns.
std::string RecodedSexAndBirth(const Pedigree& ped, const std::string& sex,
                               const std::string& birth) {
  std::string text;
  if (ped.HasSexColumn()) text += sex + "|T5";
  if (ped.HasBirthColumn()) text += birth + "|T2";
  return text;
}

std::string RecodingLine(const Pedigree& ped, const Rec& r, bool coloured) {
  const std::string sire = std::to_string(ped.rec(r.sire).code);
  const std::string dam = std::to_string(ped.rec(r.dam).code);
  if (coloured)
    return std::to_string(r.code) + "|T7|M" + sire + "|T7|F" + dam + "|T7|A" + r.id;
  return std::to_string(r.code) + "|T7" + sire + "|T7" + dam + "|T7" +
         RecodedSexAndBirth(ped, SexText(r.sex), BirthText(r.birth)) + r.id;
}

// The listing's columns: group, F, sex and birth date only when the
// listing shows them.
void AddPedigreeTable(Pedigree& ped) {
  ResultTable& table = ped.report.tables().Add("pedigree");
  table.AddColumn("id", ColumnType::kId);
  table.AddColumn("sire", ColumnType::kId);
  table.AddColumn("dam", ColumnType::kId);
  if (ped.HasGroupColumn()) table.AddColumn("group", ColumnType::kInteger);
  const bool f = ShowsFColumn(ped);
  if (f) {
    table.AddColumn("f", ColumnType::kReal);
    table.AddColumn("f_predefined", ColumnType::kBoolean);
  }
  if (ped.HasSexColumn()) table.AddColumn("sex", ColumnType::kText);
  if (ped.HasBirthColumn()) table.AddColumn("birth_date", ColumnType::kText);
  if (!ped.report.tables().RowsWanted()) return;
  table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    TableRow row = table.AddRow();
    row.Id(r.Id()).Id(ParentId(ped, r.sire)).Id(ParentId(ped, r.dam));
    if (ped.HasGroupColumn()) GroupCell(row, ped, r);
    if (f) {
      if (r.fPredefined || r.f != -1.0f) row.Float(r.f);
      else row.Missing();
      row.Boolean(r.fPredefined);
    }
    if (ped.HasSexColumn()) row.Text(r.sex == Sex::kUnknown ? "" : SexText(r.sex));
    if (ped.HasBirthColumn()) row.Text(r.birth == kUnknownBirth ? "" : BirthText(r.birth));
  }
}

}  // namespace

bool ShowsFColumn(const Pedigree& ped) { return ped.HasFColumn() || ped.inbreedingComputed; }

void ListPedigree(Pedigree& ped) {
  ped.report.Clear();
  ped.report.Add(Heading(ped, "F", "Birth date"));
  ped.report.Add(PedigreeUnderline(ped));
  AddPedigreeTable(ped);
  for (RecIndex i = 1; i <= ped.nTotal && !ped.report.Full(); ++i) {
    ped.report.Add(ListingLine(ped, ped.rec(i)));
    if (i == ped.lastRead() && i < ped.nTotal) ped.report.Add(PedigreeUnderline(ped));
  }
}

void ListRecoding(Pedigree& ped) {
  constexpr const char* kUnderline = "----------|T7----------|T7----------|T7----------";
  ped.report.Clear();
  ped.report.Add("Progeny|T7Sire|T7Dam|T7Original ID");
  ped.report.Add(kUnderline);
  AddRecodingTable(ped, ped.report.tables());
  for (RecIndex i = 1; i <= ped.nTotal && !ped.report.Full(); ++i) {
    ped.report.Add(RecodingLine(ped, ped.rec(i), true));
    if (i == ped.lastRead() && i < ped.nTotal) ped.report.Add(kUnderline);
  }
  if (!ped.geneticGroups.Active()) return;
  AddGroupsTable(ped, ped.report.tables());
  ped.report.Add(kUnderline);
  for (std::int32_t g = 0; g < ped.geneticGroups.Count() && !ped.report.Full(); ++g)
    ped.report.Add(std::to_string(ped.nTotal + g + 1) + "|T7|M0|T7|F0|T7|A" +
                   ped.geneticGroups.ids[static_cast<std::size_t>(g)]);
}

void WriteFileHeader(OutputFile& out, HeaderKind kind, const std::tm& time,
                     const std::string& pedigreePath) {
  const std::string mark = kind == HeaderKind::kPedigree ? "!" : "";
  out.Raw(mark + FormatTimestamp(time) + "\n");
  out.Raw(mark + "Pedigree file name: " + pedigreePath + "\n");
  out.Raw("\n");
}

// F is written exactly, whatever the display format: the file is read again,
// and a rounded or fraction F would come back as another coefficient.
bool WritePedigreeFile(const Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.nTotal, kSavingLabel);
  out.Markup(Heading(ped, "F", kBirthHeader));
  out.Markup("");
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    std::string line = std::string(r.id) + "|T1" + ped.rec(r.sire).id + "|T1" + ped.rec(r.dam).id;
    if (ped.HasGroupColumn()) line += GroupField(ped, r, "");
    std::string f;
    if (ShowsFColumn(ped)) {
      f = r.fPredefined || r.f != -1.0f ? FormatExactF(r.f) : ".";
      line += FSeparator(ped) + f;
    }
    out.Markup(line + SexAndBirth(ped, f.size(), SexText(r.sex), BirthText(r.birth)));
    if (i == ped.lastRead()) out.Markup("");
    if (progress.Step(i - 1)) return false;
  }
  return true;
}

// The genetic groups as progeny of unknown parents, numbered after the
// individuals, so that the codes of the inverse with groups read back to IDs.
void WriteGroupLines(const Pedigree& ped, OutputFile& out) {
  if (!ped.geneticGroups.Active()) return;
  out.Markup("");
  const std::string none = RecodedSexAndBirth(ped, SexText(Sex::kUnknown), BirthText(kUnknownBirth));
  for (std::int32_t g = 0; g < ped.geneticGroups.Count(); ++g)
    out.Markup(std::to_string(ped.nTotal + g + 1) + "|T70|T70|T7" + none +
               ped.geneticGroups.ids[static_cast<std::size_t>(g)]);
}

bool WriteRecodedFile(Pedigree& ped, OutputFile& out, bool originalOrder, Progress& progress) {
  progress.SetStage(0, 100, ped.nTotal, kSavingLabel);
  const std::string n = std::to_string(ped.nTotal);
  out.Raw("! The individuals have been consecutively numbered from 1 to " + n +
          " so that parents precede their progeny.\n");
  out.Raw("! Number of individuals:  " + n + "\n");
  if (ped.geneticGroups.Active())
    out.Raw(std::string(ped.geneticGroups.Metafounders() ? "! Metafounders" : "! Genetic groups") +
            ", after the individuals:  " + std::to_string(ped.nTotal + 1) + " to " +
            std::to_string(ped.nTotal + ped.geneticGroups.Count()) + "\n");
  out.Raw("!------------------------------------------------------------------\n\n");
  out.Markup("Progeny|T7Sire|T7Dam|T7" + RecodedSexAndBirth(ped, kSexHeader, kBirthHeader) +
             "Original ID");
  out.Markup("");
  if (originalOrder) {
    for (RecIndex i = 1; i <= ped.nTotal; ++i) {
      out.Markup(RecodingLine(ped, ped.rec(i), false));
      if (i == ped.lastRead()) out.Markup("");
      if (progress.Step(i - 1)) return false;
    }
    WriteGroupLines(ped, out);
    return true;
  }
  EnsureCodeOrder(ped);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    out.Markup(RecodingLine(ped, ped.byCode(i), false));
    if (progress.Step(i)) return false;
  }
  WriteGroupLines(ped, out);
  return true;
}

CommandDeclaration ViewPedigreeDeclaration() {
  return CommandDeclaration{kCmdViewPedigree, "view", {}}
      .Summary("List the pedigree (View Pedigree); writes it as a pedigree file")
      .Explanation("Loads PEDIGREE and writes the pedigree file that Save As writes after View Pedigree:\n"
                   "the individuals in file order with sire, dam, group and F. With --report, the listing.")
      .Menu({.menu = "View", .text = "&View Pedigree\tCtrl+Shift+V", .accelerator = "Ctrl+Shift+V",
             .prompt = "View pedigree", .tooltip = "View pedigree", .rule = kValidNotShown,
             .follows = kCmdViewStatusBar});
}

CommandDeclaration RecodingDeclaration() {
  return CommandDeclaration{kCmdRecoding, "recode", {}}
      .Summary("Number the individuals 1..n so that parents precede progeny (Re-coding)")
      .Explanation("Writes the recoded pedigree: code, sire code, dam code and original ID, in ascending\n"
                   "code order, or in the file's order with --original-order.")
      .Menu({.menu = kToolsMenu, .text = "Re-&coding\tCtrl+Shift+C", .accelerator = "Ctrl+Shift+C",
             .prompt = "Re-code individuals in chronological and sequential order",
             .tooltip = "Re-code individuals in chronological and sequential order", .rule = kValidNotShown,
             .follows = kCmdDii});
}

}  // namespace kinvar
