// kinvar-cli COMMAND PEDIGREE [ARGS...] [OPTIONS]: opens the pedigree as the
// desktop program's Open does, runs one command, and writes what Save As
// would write after it (or, with --report, the report as the screen shows it).
// Exit status: 0 done, 1 an input rejected or an output not written, 2 usage,
// 130 interrupted (Ctrl+C or SIGTERM; a partly written -o file is removed).

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"
#include "app/command_declarations.h"
#include "app/document.h"
#include "app/manual.h"
#include "app/options.h"
#include "app/program_folder.h"
#include "app/settings_file.h"
#include "app/table_export.h"
#include "cli/cli_platform.h"
#include "cli/declared_options.h"
#include "cli/interrupt.h"
#include "analyses/path_counting.h"
#include "analyses/pedigree_chart.h"
#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "genetics/x_linked.h"
#include "analyses/inverse_a_command.h"
#include "analyses/lower_matrix_file.h"
#include "analyses/x_linked_command.h"
#include "matings/matings_command.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/metafounders.h"
#include "pedigree/xlsx_reader.h"
#include "report/markup.h"
#ifdef KINVAR_HAS_PICTURES
#include "cli/picture_commands.h"
#include "cli/plot_commands.h"
#endif

namespace kinvar::cli {

namespace {

namespace fs = std::filesystem;

// kQuery: a dialog that shows one value, fed with the positional inputs.
// kFile: the command writes a file of its own, named through the platform.
// kListing: a relationship listing, or its matrix, chosen by its scope.
// kScoped: a report whose command its scope chooses (individual, group ...).
// kExtract: a pedigree file of ancestors or descendants, written by the
// command itself.
// kPicture: a picture written as a file (the Qt build only). kDrawing: a
// picture of ancestors or descendants, chosen as extract chooses them.
// A command that declares its parameters takes its
// options and help from the declaration, and its kind from what it writes.
enum class Kind { kReport, kQuery, kSettings, kFile, kListing, kScoped, kExtract,
                  kPicture, kDrawing };

struct CliCommand {
  const char* name;
  const char* summary;      // the one line of --help
  const char* explanation;  // the rest of COMMAND --help
  std::int32_t id;
  Kind kind;
};

constexpr CliCommand kCliCommands[] = {
#ifdef KINVAR_HAS_PICTURES
    {"chart", "Draw the pedigree chart of an individual as SVG, PNG or PDF",
     "Usage: kinvar-cli chart PEDIGREE ID [--generations N] [--size WxH] -o FILE.svg|png|pdf\n"
     "Draws ID with its parents, grandparents and so on, N generations back (default 4, at\n"
     "most 8). An ancestor that stands in several places has one colour in all of them; the\n"
     "legend gives each one's part of the F of ID. The format is the extension of -o; a PNG\n"
     "is --size pixels (default 1600x1000). No display is needed.",
     kCmdNone, Kind::kPicture},
    {"certificate", "Draw the pedigree certificate of an individual as PDF, SVG or PNG",
     "Usage: kinvar-cli certificate PEDIGREE ID [--generations 3|4|5] [--size WxH]\n"
     "-o FILE.pdf|svg|png\n"
     "Draws one A4 portrait page: ID, sex, birth date, F, sire and dam on top, then the\n"
     "ancestors of N generations (default 4) in columns, each with its ID, birth year and F;\n"
     "an unknown parent reads \"unknown\". A PNG is --size pixels (default 1240x1754, A4 at\n"
     "150 dpi). No display is needed.",
     kCmdNone, Kind::kPicture},
    {"plot", "Draw a chart of an analysis as SVG, PNG or PDF",
     "Usage: kinvar-cli plot PEDIGREE KIND [ARGS] [--size WxH] -o FILE.svg|png|pdf\n"
     "KIND is one of: trends [G] (mean F and its rate of increase, equivalent complete\n"
     "generations, completeness, fe, fa and Ne over the groups; with G, the diversity figures\n"
     "of group G beside them), f-histogram (the distribution of F), founders G (the 20\n"
     "largest founder contributions to group G and their cumulative share), group-heatmap\n"
     "(average relationships between groups), matings SIRES DAMS FILE.c [--forbidden FILE.fm]\n"
     "(progeny F of the annealing's matings against the proven optimum), purging [G]\n"
     "[--purging-coefficient D] [--gene-drop N] (mean F, ancestral and purged inbreeding over\n"
     "the groups), genomic-f --genotypes FILE [--measure fg|fhom|froh] (genomic against\n"
     "pedigree F, each genotyped animal a point, with y = x, the least-squares line and the\n"
     "animals furthest from it named; the genotype and --roh-* options of genomic-inbreeding).\n"
     "The format is the extension of -o; a PNG is --size pixels (default 1600x1000). No\n"
     "display is needed.",
     kCmdNone, Kind::kPicture},
    {"draw", "Draw the ancestors or descendants of an individual or a group as SVG, PNG or PDF",
     "Usage: kinvar-cli draw PEDIGREE ancestors|descendants individual ID|group G\n"
     "[--generations N] [--size WxH] -o FILE.svg|png|pdf\n"
     "Draws one row per generation, oldest on top, parents joined to their progeny, all\n"
     "generations or N back or forward. Full-sib families of more than 3 without progeny in\n"
     "the drawing are one node that says how many; a descendants drawing shows mates from\n"
     "outside as small nodes. Colours show F; the group's members are outlined. A drawing\n"
     "of more than 5000 nodes is refused with the number of generations that fit.",
     kCmdNone, Kind::kDrawing},
#endif
    {"settings", "Write a settings file from the options",
     "Usage: kinvar-cli settings --write FILE [--number-format N] [--relationship T]\n"
     "[--range LOW HIGH] [--list-founders] [--settings FILE]\n"
     "Writes the 13-byte settings file that the Options dialog's Save writes.",
     kCmdOptions, Kind::kSettings},
};

// The kind of a declared command: what it writes, and whether a scope word
// chooses it among the commands of its name.
Kind KindOf(const CommandDeclaration& d) {
  const bool scoped = !d.scope.empty();
  switch (d.output) {
    case CommandOutput::kListing: return Kind::kListing;
    case CommandOutput::kFile: return scoped ? Kind::kExtract : Kind::kFile;
    case CommandOutput::kValue: return Kind::kQuery;
    case CommandOutput::kReport: break;
  }
  return scoped ? Kind::kScoped : Kind::kReport;
}

// The commands that declare their parameters, whose help comes with the
// declaration (`declarations` must outlive the list), then the table's. The
// commands of one name that a scope word tells apart are one command, with
// the first one's help.
std::vector<CliCommand> CliCommands(const std::vector<CommandDeclaration>& declarations) {
  std::vector<CliCommand> commands;
  for (std::size_t i = 0; i < declarations.size(); ++i) {
    const CommandDeclaration& d = declarations[i];
    if (i > 0 && !d.scope.empty() && declarations[i - 1].name == d.name) continue;
    commands.push_back({d.name.c_str(), d.summary.c_str(), d.explanation.c_str(), d.id, KindOf(d)});
  }
  commands.insert(commands.end(), std::begin(kCliCommands), std::end(kCliCommands));
  return commands;
}

// The commands that a scope word chooses, and how many inputs each takes.
struct ScopeWord {
  std::string command;
  std::string scope;
  std::size_t inputs;
  std::int32_t id;
};

// The scopes of the declared commands: one input per positional parameter.
std::vector<ScopeWord> Scopes() {
  std::vector<ScopeWord> scopes;
  for (const CommandDeclaration& d : CommandDeclarations()) {
    if (d.scope.empty()) continue;
    const auto inputs = static_cast<std::size_t>(
        std::count_if(d.parameters.begin(), d.parameters.end(), [](const Parameter& p) { return p.positional; }));
    scopes.push_back({d.name, d.scope, inputs, d.id});
  }
  return scopes;
}

std::optional<ScopeWord> FindScope(std::string_view command, std::string_view scope) {
  for (ScopeWord& s : Scopes())
    if (s.command == command && s.scope == scope) return std::move(s);
  return std::nullopt;
}

std::vector<std::string> ScopeWords(std::string_view command) {
  std::vector<std::string> words;
  for (const ScopeWord& s : Scopes())
    if (s.command == command) words.push_back(s.scope);
  return words;
}

struct Arguments {
  std::string pedigree;
  std::string kinship;              // extract: ancestors or descendants
  std::string scope;                // relationships: all, within or between
  std::vector<std::string> inputs;  // IDs and group numbers for the pickers
  std::optional<std::string> forbidden;  // plot matings: the forbidden-matings file
  std::optional<std::string> seedFile;
  bool matrix = false;
  bool firstPairs = false;  // relationships: the first pairs are enough
  std::string writePath;
  bool originalOrder = false;
  bool full = false;      // inverse: the entire matrix
  bool triplets = false;  // inverse: "row column value" lines
  bool inverse = false;   // x-linked: S inverse instead of S
  std::optional<std::string> geneticGroups;   // the groups file
  std::optional<std::string> groupFractions;  // and the fuzzy groups' fractions
  std::optional<std::string> metafounders;    // the metafounders' Gamma file
  std::optional<std::string> output;
  bool force = false;  // replace a read-only output file
  bool report = false;
  std::optional<std::string> numberFormat;
  std::optional<std::string> relationship;
  std::vector<float> range;
  bool listFounders = false;
  std::optional<std::string> settingsFile;
  bool quiet = false;
  std::optional<int> threads;
  std::optional<std::int64_t> maxPaths;  // path-counting: the most paths written
  std::optional<std::string> precision;  // single or double
  std::optional<std::string> sheet;  // the worksheet of a workbook
  TableFormat format = TableFormat::kText;
  std::optional<std::string> table;  // --table: only this one of the result's tables
  int generations = 4;               // chart: generations back
  std::string size;                  // chart, plot, draw: WxH pixels of a PNG
  std::string plotKind;              // plot: which chart
  std::string plotMeasure;           // plot genomic-f: fg, fhom or froh
  int drawGenerations = 0;           // draw: back or forward, 0 for all
  std::optional<std::string> purgingCoefficient;  // purging: its settings
  std::optional<std::string> geneDrops;
  std::optional<std::string> seed;  // purging, optimize-matings: the seed as typed
  bool allFounders = false;
  std::optional<std::string> chart;  // mating: the planned offspring's chart
  // The options of a command that declares its parameters.
  DeclaredArguments declared;
};

bool IsPlot(const CliCommand& command) { return std::string_view(command.name) == "plot"; }
bool IsCertificate(const CliCommand& command) { return std::string_view(command.name) == "certificate"; }

// A float as the shortest text that reads back as it.
std::string Shortest(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// What the Options dialog would refuse in --range, told as the option: the
// dialog's message names boxes the command line does not have.
std::optional<std::string> RangeProblem(const Arguments& args, const Settings& entries) {
  if (args.range.size() != 2) return std::nullopt;
  Settings probe = entries;
  const std::optional<std::string> refused = CheckOptions(probe);
  if (!refused) return std::nullopt;
  const std::string given = "--range " + Shortest(args.range[0]) + " " + Shortest(args.range[1]);
  if (refused->starts_with("The relationships range")) return given + ": the two bounds must differ.";
  return given + (probe.relationshipType == 0
                      ? ": the bounds must be numbers from 0 to 1 (the relationship coefficient)."
                      : ": the bounds must be numbers from 0 to 2 (the numerator relationship).");
}

// Settings: the program folder's, then --settings, then each explicit option,
// validated as the Options dialog validates them. For the mating
// optimization and its chart, --forbidden alone decides whether forbidden
// matings count.
bool ApplySettings(Document& doc, const Arguments& args, const CliCommand& command) {
  Settings entries = doc.settings();
  if (args.settingsFile) {
    std::string error;
    const auto read = ReadSettingsFile(*args.settingsFile, error);
    if (!read) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    entries = *read;
  }
  if (args.numberFormat) entries.numberFormat = *ParseNumberFormat(*args.numberFormat);
  if (args.relationship) {
    entries.relationshipType = *args.relationship == "coefficient" ? 0 : 1;
    // As a click on the type's button: the range of the other type is
    // clamped to this one, unless the user gives the range as well.
    if (args.range.size() != 2) NormalizeRangeForType(entries);
  }
  if (args.range.size() == 2) {
    entries.relationshipLower = args.range[0];
    entries.relationshipUpper = args.range[1];
  }
  if (args.listFounders) entries.listFounders = 1;
  if (args.threads) entries.threads = *args.threads;
  if (args.maxPaths) entries.maxPaths = *args.maxPaths;
  if (args.precision) entries.precision = *args.precision == "double" ? 1 : 0;
  if (IsPlot(command)) entries.allowForbidden = args.forbidden ? 1 : 0;
  if (command.id == kCmdOptimizeMatings) entries.allowForbidden = args.declared.Given("forbidden") ? 1 : 0;
  if (const auto problem = RangeProblem(args, entries)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    return false;
  }
  return doc.ApplyOptions(entries).has_value();
}

void WriteReport(const ReportStore& report, std::FILE* file) {
  for (int i = 0; i < report.Count(); ++i) std::fputs(ExpandMarkup(report.Line(i)).c_str(), file);
}

void WriteReport(const ReportStore& report, OutputFile& file) {
  for (int i = 0; i < report.Count(); ++i) file.Markup(report.Line(i));
}

// Begins -o FILE (or takes standard output), lets `write` fill it and puts
// it in place, telling the user when it could not be opened or written
// whole. `write` returns false when it was interrupted: -o then keeps what
// it held before.
bool WriteOutput(const Arguments& args, const std::function<bool(OutputFile&)>& write) {
  std::unique_ptr<OutputFile> file;
  if (args.output) {
    std::string error;
    file = OutputFile::Begin(*args.output, error, Temporary::kUnnamedWherePossible,
                             args.force ? ReadOnly::kReplace : ReadOnly::kRefuse);
    if (!file && error == kReadOnlyReason) {
      std::fprintf(stderr, "%s\n", ReadOnlyRefusal(*args.output).c_str());
      return false;
    }
    if (!file) {
      std::fprintf(stderr, "Cannot open %s for writing.\n%s\n", args.output->c_str(),
                   error.c_str());
      return false;
    }
  } else {
    file = OutputFile::OnStream(stdout, "the output");
  }
  if (!write(*file)) return false;
  if (file->Commit()) return true;
  std::fprintf(stderr, "Error while writing %s.\n%s\n", file->target().c_str(),
               file->error().c_str());
  return false;
}

// Copies a finished file to standard output, telling the user when the
// output could not take it.
bool CopyToStandardOutput(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[1 << 16];
  int failure = 0;
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    if (failure == 0 && std::fwrite(buffer, 1, got, stdout) != got) failure = errno != 0 ? errno : EIO;
  std::fclose(file);
  if (std::fflush(stdout) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
  if (failure == 0) return true;
  std::fprintf(stderr, "Error while writing the output.\n%s\n", std::strerror(failure));
  return false;
}

// A name for a file that only this run writes: the commands that write their
// own file get it when the output goes to standard output.
std::optional<std::string> PrivateTempFile() {
  std::string name = (fs::temp_directory_path() / "kinvar-cli-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd == -1) return std::nullopt;
  ::close(fd);
  return name;
}

// --format other than text: the tables of the result, to standard output or
// -o FILE, or into -o DIR when CSV or TSV must write several files.
int WriteTablesOutput(const Arguments& args, const ResultSet& all, std::int32_t id,
                      const std::string& pedigree) {
  ResultSet chosen;
  if (args.table) {
    const ResultTable* table = all.Find(*args.table);
    if (table == nullptr) {
      std::string names;
      for (const ResultTable& t : all.tables()) names += (names.empty() ? "" : ", ") + t.name();
      std::fprintf(stderr, "The result has no table %s; its tables: %s.\n", args.table->c_str(),
                   names.empty() ? "none" : names.c_str());
      return 1;
    }
    chosen.Add(ResultTable(*table));
  }
  const ResultSet& tables = args.table ? chosen : all;
  TableExport how{args.format, std::string(TablesCommandName(id)), pedigree};
  how.readOnly = args.force ? ReadOnly::kReplace : ReadOnly::kRefuse;
  std::string error;
  bool ok = false;
  if (args.output) {
    for (const std::string& file : ExportFiles(tables, args.format, *args.output)) {
      if (args.force || !IsReadOnlyFile(file)) continue;
      std::fprintf(stderr, "%s\n", ReadOnlyRefusal(file).c_str());
      return 1;
    }
    ok = ExportTables(tables, how, *args.output, error);
  } else if (NeedsFolder(tables, args.format)) {
    std::string names;
    for (const ResultTable& t : tables.tables()) names += (names.empty() ? "" : ", ") + t.name();
    error = "The result has " + std::to_string(tables.tables().size()) + " tables (" + names +
            "); with --format " + std::string(TableFormatName(args.format)) +
            " choose one with --table NAME, or name a folder with -o DIR to write one file per "
            "table, or use --format json or xlsx.";
  } else {
    const std::unique_ptr<OutputFile> out = OutputFile::OnStream(stdout, "the output");
    ok = WriteTables(tables, how, *out, error);
    if (ok && !out->Commit()) error = "Error while writing the output.\n" + out->error();
    ok = ok && out->Good();
  }
  if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
  return ok ? 0 : 1;
}

// plot genomic-f takes the genomic inbreeding's options, whose run it draws.
CommandDeclaration GenomicPlotDeclaration() {
  CommandDeclaration d = *FindDeclaration(kCmdGenomicInbreeding);
  std::erase_if(d.parameters, [](const Parameter& p) { return p.positional; });
  return d;
}

// A declared command's positionals answer its pickers and open-file dialogs
// and its options its form; what the desktop never asks for, and a seed file
// named, hold for this run.
void PrepareDeclared(Document& doc, CliPlatform& platform, const CommandDeclaration& command,
                     const Arguments& args) {
  platform.SetPickerInputs(PickerAnswers(command, args.declared));
  platform.SetFormValues(FormAnswers(command, args.declared));
  platform.SetOpenFiles(OpenFileAnswers(command, args.declared));
  for (const auto& [name, text] : UnaskedAnswers(command, args.declared))
    doc.remembered.values.Set(command.id, name, text);
  if (const auto seedFile = args.declared.Given(kSeedFileParameter)) {
    doc.seedFile = *seedFile;
    doc.seedFileNamed = true;
  }
}

// The inverse of A and matrix T write their files themselves, through the
// same handler as the desktop program's; the file is the platform's answer
// to the Save As dialog.
int RunFileCommand(std::int32_t id, const Arguments& args, Document& doc,
                   CliPlatform& platform) {
  const std::int64_t n = doc.pedigree().nTotal;
  const std::int64_t cells = (n + doc.pedigree().geneticGroups.Count()) * (n + doc.pedigree().geneticGroups.Count());
  if (args.full && id != kCmdDominance && cells > kMaxInverseCells) {
    std::fputs("The matrix has more than 250000 cells.\n", stderr);
    return 1;
  }
  // With --format the tables are the output; the command's own file is not.
  const bool tables = args.format != TableFormat::kText;
  const std::optional<std::string> path =
      tables ? std::optional<std::string>("/dev/null") : args.output ? args.output : PrivateTempFile();
  if (!path) {
    std::fputs("Cannot create a temporary file.\n", stderr);
    return 1;
  }
  platform.SetOutputPath(path);
  platform.SetSaveChoice(args.full ? 2 : 1);
  // The private file is ours to remove; -o is replaced only when complete.
  if (!args.output && !tables) SetInterruptRemovalPath(*path);
  // The output choices the desktop asks in a dialog are the switches' here.
  if (id == kCmdXLinked) {
    CommandContext ctx = doc.Context();
    WriteXLinked(ctx, args.inverse, args.triplets ? InverseOutput::kTriplets : InverseOutput::kNonZero);
  } else if (id == kCmdInverseA && args.triplets) {
    CommandContext ctx = doc.Context();
    WriteInverseOfA(ctx, InverseOutput::kTriplets);
  } else {
    // A scoped command's inputs answer its pickers as they are.
    if (const auto declared = FindDeclaration(id); declared && declared->scope.empty())
      PrepareDeclared(doc, platform, *declared, args);
    doc.RunCommand(id);
  }
  if (Interrupted()) {
    if (!args.output && !tables) std::remove(path->c_str());
    return kInterruptedStatus;
  }
  if (tables) {
    if (platform.ErrorShown()) return 1;
    // Extraction's table is its report's; the other file commands leave the
    // report alone and keep the tables of the file they wrote.
    const Pedigree& ped = doc.pedigree();
    return WriteTablesOutput(args, ped.writtenTables.empty() ? ped.report.tables() : ped.writtenTables,
                             id, doc.path());
  }
  bool ok = !platform.ErrorShown() && fs::exists(*path);
  if (!args.output) {
    ok = ok && CopyToStandardOutput(*path);
    std::remove(path->c_str());
  }
  return ok ? 0 : 1;
}

// The command that the scope words name, or the command's own.
std::int32_t CommandIdFor(const CliCommand& command, const Arguments& args) {
  const std::string scope =
      command.kind == Kind::kExtract ? args.kinship + " " + args.scope : args.scope;
  const auto word = FindScope(command.name, scope);
  return word ? word->id : command.id;
}

#ifdef KINVAR_HAS_PICTURES
// --seed-file: a file the user named, used only when it is a seed file.
void UseSeedFile(Document& doc, const Arguments& args) {
  if (!args.seedFile) return;
  doc.seedFile = *args.seedFile;
  doc.seedFileNamed = true;
}
#endif

#ifdef KINVAR_HAS_PICTURES
// The purging settings as its form's boxes take them.
std::map<std::string, std::string> PurgingForm(const Arguments& args) {
  std::map<std::string, std::string> values;
  if (args.purgingCoefficient) values["purging-coefficient"] = *args.purgingCoefficient;
  if (args.geneDrops) values["gene-drop"] = *args.geneDrops;
  if (args.seed) values["seed"] = *args.seed;
  values["all-founders"] = args.allFounders ? "1" : "0";
  return values;
}
#endif

// A report that says the inputs admit no result (it is still written).
bool Refused(const Document& doc) {
  const ReportStore& report = doc.pedigree().report;
  return doc.lastCommand() == kCmdOptimizeMatings && report.Count() > 1 &&
         report.Line(1) == kCouldNotOptimizeLine;
}

bool IsListing(std::int32_t id) {
  return id == kCmdBetweenAll || id == kCmdWithinGroup || id == kCmdBetweenTwoGroups;
}

// The command whose report a successful run leaves on screen.
std::int32_t ShownCommand(std::int32_t id) { return id == kCmdRecompute ? kCmdCompute : id; }

// Path counting that finds nobody inbred leaves a report no command can
// repeat; it is still the answer, and Save As writes it. A run stopped by an
// error leaves the same state, and is no answer.
bool FoundNothing(std::int32_t id, const Document& doc, const CliPlatform& platform) {
  const bool pathCounting = id == kCmdPathCountingIndividual || id == kCmdPathCountingGroup ||
                            id == kCmdPathCountingAll;
  return pathCounting && doc.lastCommand() == kCmdNone && !platform.ErrorShown();
}

// --sheet names a sheet of the workbook, or the run ends here. A workbook
// that cannot be read at all is left to the load, which says why.
bool SheetExists(const std::string& path, const std::string& sheet) {
  if (PedigreeFileKindOf(path) == PedigreeFileKind::kText) {
    std::fprintf(stderr, "--sheet applies to .xlsx workbooks; %s is not one.\n", path.c_str());
    return false;
  }
  const WorkbookSheets sheets = ListWorkbookSheets(path);
  if (!sheets.message.empty()) return true;
  if (std::find(sheets.names.begin(), sheets.names.end(), sheet) != sheets.names.end()) return true;
  std::fprintf(stderr, "%s\n", NoSuchSheetMessage(path, sheet, sheets.names).c_str());
  return false;
}

#ifdef KINVAR_HAS_PICTURES
DrawRequest DrawRequestOf(const Arguments& args) {
  return {args.kinship, args.scope, args.inputs.front(), args.drawGenerations, args.size,
          args.output.value_or("")};
}
#endif

// The groups stand for unknown parents from the load on, so they are read
// before the pedigree; the fractions name individuals, so after it.
bool UseGeneticGroups(Document& doc, const Arguments& args) {
  if (args.metafounders) {
    const std::string error = ReadMetafounders(*args.metafounders, doc.pedigree().geneticGroups);
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    return error.empty();
  }
  if (!args.geneticGroups) return true;
  const std::string error = ReadGroupIds(*args.geneticGroups, doc.pedigree().geneticGroups.ids);
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
  return error.empty();
}

bool ReadFractions(Document& doc, const Arguments& args) {
  if (!args.groupFractions) return true;
  const std::string error = ReadGroupFractions(*args.groupFractions, doc.pedigree());
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
  return error.empty();
}

CLI::Option* AddMetafounderOption(CLI::App& sub, Arguments& args) {
  return sub.add_option("--metafounders", args.metafounders,
                        "Related base populations: lines \"group group value\" of their "
                        "relationships; parent IDs naming them are metafounders")
      ->type_name("FILE");
}

void AddGroupOptions(CLI::App& sub, Arguments& args) {
  auto* groups = sub.add_option("--genetic-groups", args.geneticGroups,
                                "Parent IDs listed in FILE (one a line) are genetic groups, "
                                "numbered after the individuals")
                     ->type_name("FILE");
  sub.add_option("--group-fractions", args.groupFractions,
                 "Fuzzy groups: lines \"individual sire|dam group fraction\"")
      ->type_name("FILE")
      ->needs(groups);
  AddMetafounderOption(sub, args)->excludes(groups);
}

// Without --format only text is written, and a table of a million rows
// would be built for nobody; the pictures draw from the tables.
bool WantsTableRows(const CliCommand& command, const Arguments& args) {
  return args.format != TableFormat::kText || IsPlot(command) || IsCertificate(command) ||
         command.kind == Kind::kPicture || command.kind == Kind::kDrawing;
}

int RunCommand(const CliCommand& command, const Arguments& args) {
  CliPlatform platform(args.quiet);
  platform.SetForce(args.force);
  Document doc(platform, ProgramFolder());
  if (!doc.Initialize() || !ApplySettings(doc, args, command)) return 1;
  if (command.kind == Kind::kSettings) return doc.WriteSettings(args.writePath) ? 0 : 1;
  if (!WantsTableRows(command, args)) {
    doc.pedigree().report.tables().SetRowsWanted(false);
    doc.pedigree().writtenTables.SetRowsWanted(false);
  }

  if (args.sheet && !SheetExists(args.pedigree, *args.sheet)) return 1;
  platform.SetSheet(args.sheet);
  SetInterruptExitsAtOnce(true);
  if (!UseGeneticGroups(doc, args)) return 1;
  if (!doc.OpenPedigreeFile(args.pedigree)) return 1;
  SetInterruptExitsAtOnce(false);
  if (doc.lastCommand() == kRejectedPedigree) {
    WriteReport(doc.pedigree().report, stderr);
    return 1;
  }
  if (!ReadFractions(doc, args)) return 1;
  platform.SetPickerInputs({args.inputs.begin(), args.inputs.end()});
  // A command outside the metafounder model would give another model's
  // figures: refused, whichever way the command below reaches its analysis.
  if (const std::string refusal = MetafounderRefusal(doc.pedigree(), CommandIdFor(command, args));
      !refusal.empty()) {
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return 1;
  }
#ifdef KINVAR_HAS_PICTURES
  if (IsPlot(command)) {
    UseSeedFile(doc, args);
    return WritePlot(doc, platform,
                     {args.plotKind, args.inputs, args.forbidden, args.size, *args.output, PurgingForm(args),
                     FormAnswers(GenomicPlotDeclaration(), args.declared), args.plotMeasure});
  }
  if (IsCertificate(command))
    return WriteCertificate(doc, {args.inputs.front(), args.generations, args.size, *args.output});
  if (command.kind == Kind::kPicture)
    return WriteChart(doc, {args.inputs.front(), args.generations, args.size, *args.output});
  if (command.kind == Kind::kDrawing)
    return WriteDrawing(doc, DrawRequestOf(args));
#endif
  const std::int32_t id = CommandIdFor(command, args);
  if (!IsAvailable(*FindCommand(id), doc.State())) {
    std::fprintf(stderr, "%s\n", UnavailableMessage(*FindCommand(id), doc.State()).c_str());
    return 1;
  }
  if (command.kind == Kind::kFile || command.kind == Kind::kExtract)
    return RunFileCommand(id, args, doc, platform);
  // A scoped command's inputs answer its pickers as they are.
  if (const auto declared = FindDeclaration(command.id); declared && declared->scope.empty())
    PrepareDeclared(doc, platform, *declared, args);
  doc.RunCommand(id);
  if (Interrupted()) return kInterruptedStatus;
  if (const std::string warning = SmallVarianceWarning(doc.pedigree());
      !warning.empty() && doc.pedigree().report.Count() > 0 &&
      doc.pedigree().report.Line(0) == warning)
    std::fprintf(stderr, "%s\n", warning.c_str());
  if (command.kind == Kind::kQuery) {
    const auto& value = platform.QueryValue();
    if (!value) return 1;
    if (args.format != TableFormat::kText)
      return WriteTablesOutput(args, doc.QueryTables(), id, doc.path());
    return WriteOutput(args, [&](OutputFile& file) {
             file.Raw(*value + "\n");
             return true;
           })
               ? 0
               : 1;
  }
  // A refused group leaves the opening's report; an error report says why.
  if (doc.lastCommand() != ShownCommand(id) && !FoundNothing(id, doc, platform)) {
    if (doc.lastCommand() == kCmdNone) WriteReport(doc.pedigree().report, stderr);
    return 1;
  }
  // A listing cut at its cap is only part of the result: a script must not
  // take it for the whole unless it asked for the first pairs.
  if (IsListing(id) && platform.ErrorShown() && !args.firstPairs) {
    std::fputs("Nothing was written; --first writes the first pairs.\n", stderr);
    return 1;
  }
  // A refusal is no result: it goes to standard error, and -o keeps what it
  // held.
  if (Refused(doc)) {
    WriteReport(doc.pedigree().report, stderr);
    return 1;
  }
#ifdef KINVAR_HAS_PICTURES
  if (command.id == kCmdPlannedMating && args.chart &&
      WritePlannedChart(doc, {"", args.generations, args.size, *args.chart}) != 0)
    return 1;
#endif
  if (args.format != TableFormat::kText) {
    CommandContext ctx = doc.Context();
    if (!CompletePathCountingTables(ctx)) return Interrupted() ? kInterruptedStatus : 1;
    return WriteTablesOutput(args, doc.pedigree().report.tables(), id, doc.path());
  }
  platform.SetSaveChoice(args.originalOrder || args.matrix ? 2 : 1);
  const int choice = doc.AskSaveChoice();
  if (args.matrix && choice != 2) {
    std::fputs("The matrix has more than 250000 cells.\n", stderr);
    return 1;
  }
  const bool written = WriteOutput(args, [&](OutputFile& file) {
    if (!args.report) return doc.WriteSaveFile(file, choice);
    WriteReport(doc.pedigree().report, file);
    return true;
  });
  return written ? 0 : 1;
}

void AddGlobalOptions(CLI::App& app, Arguments& args) {
  app.add_option("-o,--output", args.output, "Write to FILE instead of standard output (- for it)");
  app.add_flag("--force", args.force, "Replace a read-only output file");
  auto* report = app.add_flag("--report", args.report, "Write the report as the screen shows it");
  app.add_option("--format", args.format,
                 "text (default), or the result's tables as csv, tsv, json or xlsx")
      ->transform([](const std::string& word) -> std::string {
        const auto format = ParseTableFormat(word);
        if (!format) throw CLI::ValidationError("--format", "not a format: " + word +
                                                " (text, csv, tsv, json or xlsx)");
        return std::to_string(static_cast<int>(*format));
      })
      ->type_name("FORMAT")
      ->excludes(report);
  app.add_option("--table", args.table, "With --format: only the result's table NAME")
      ->type_name("NAME");
  app.add_option("--number-format", args.numberFormat,
                 "0-7, or fraction, general, fixed1 ... fixed6")
      ->check([](const std::string& text) {
        return ParseNumberFormat(text) ? std::string() : "not a number format: " + text;
      });
  app.add_option("--relationship", args.relationship, "coefficient or numerator")
      ->check(CLI::IsMember({"coefficient", "numerator"}));
  app.add_option("--range", args.range, "Relationships shown: LOW HIGH")->expected(2);
  app.add_flag("--list-founders", args.listFounders,
               "List individuals with unknown parents and no progeny");
  app.add_option("--settings", args.settingsFile, "Read a 13-byte settings file first");
  app.add_flag("-q,--quiet", args.quiet, "No progress bar");
  app.add_option("--sheet", args.sheet, "The worksheet of an .xlsx workbook to read (default: the first)");
  app.add_option("--threads", args.threads, "Threads of the long computations (default: all cores)")
      ->check(CLI::Range(1, 1024));
  app.add_option("--precision", args.precision,
                 "single (default) or double: F, D, relationships, A inverse, T and S in 64-bit floats")
      ->check(CLI::IsMember({"single", "double"}));
}

// Extraction and drawing: PEDIGREE ancestors|descendants individual ID|group G.
void AddKinshipAndStart(CLI::App& sub, Arguments& args) {
  sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
  sub.add_option("KINSHIP", args.kinship, "ancestors or descendants")
      ->required()
      ->check(CLI::IsMember({"ancestors", "descendants"}));
  sub.add_option("SCOPE", args.scope, "individual or group")
      ->required()
      ->check(CLI::IsMember({"individual", "group"}));
  sub.add_option("INPUT", args.inputs, "The individual's ID or the group number")
      ->required()
      ->expected(1);
}

// The planned mating's chart, which the desktop shows in a window.
void AddMatingChartOptions([[maybe_unused]] CLI::App& sub, [[maybe_unused]] Arguments& args) {
#ifdef KINVAR_HAS_PICTURES
  sub.add_option("--chart", args.chart, "Draw the offspring's pedigree chart into FILE.svg|png|pdf")
      ->type_name("FILE");
  sub.add_option("--generations", args.generations, "The chart's generations back, 1 to 8 (default 4)");
  sub.add_option("--size", args.size, "Pixels of a PNG, WIDTHxHEIGHT (default 1600x1000)");
#endif
}

void AddPositionals(CLI::App& sub, const CliCommand& command, Arguments& args) {
  switch (command.kind) {
    case Kind::kSettings:
      sub.add_option("--write", args.writePath, "The settings file to write")->required();
      break;
    case Kind::kListing:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      sub.add_option("SCOPE", args.scope, "all, within or between")
          ->required()
          ->check(CLI::IsMember(ScopeWords(command.name)));
      sub.add_option("GROUP", args.inputs, "The group numbers: one for within, two for between");
      sub.add_flag("--matrix", args.matrix, "Write the matrix instead of the pairs");
      sub.add_flag("--first", args.firstPairs,
                   "When more pairs lie in --range than a listing holds, write the first of them");
      break;
    case Kind::kScoped:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      sub.add_option("SCOPE", args.scope, "What to analyse")
          ->required()
          ->check(CLI::IsMember(ScopeWords(command.name)));
      sub.add_option("INPUT", args.inputs, "The individual's ID or the group number");
      if (std::string_view(command.name) == "path-counting")
        sub.add_option("--max-paths", args.maxPaths, "Refuse a run of more paths (default 1000000; 0: no limit)")
            ->type_name("N")
            ->check(CLI::NonNegativeNumber);
      break;
    case Kind::kExtract:
      AddKinshipAndStart(sub, args);
      break;
    case Kind::kPicture:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      if (IsPlot(command)) {
        sub.add_option("KIND", args.plotKind,
                       "trends, f-histogram, founders, group-heatmap, matings, purging or genomic-f")->required();
        sub.add_option("ARGS", args.inputs, "The kind's arguments: groups, files");
        sub.add_option("--forbidden", args.forbidden, "matings: a forbidden-matings file");
        sub.add_option("--purging-coefficient", args.purgingCoefficient, "purging: the purging coefficient d");
        sub.add_option("--gene-drop", args.geneDrops, "purging: gene-dropping replicates");
        sub.add_option("--seed-file", args.seedFile, "purging: the seed file of the random generator");
        // The genomic inbreeding's own options; the genotypes are needed by
        // genomic-f alone, which its usage check says.
        AddDeclaredOptions(sub, GenomicPlotDeclaration(), args.declared);
        sub.get_option("--genotypes")->required(false);
        sub.add_option("--measure", args.plotMeasure, "genomic-f: the genomic F drawn, fg (default), fhom or froh")
            ->type_name("F");
        sub.add_option("--size", args.size, "Pixels of a PNG, WIDTHxHEIGHT (default 1600x1000)");
        break;
      }
      sub.add_option("ID", args.inputs, "The individual's ID")->required()->expected(1);
      sub.add_option("--generations", args.generations,
                     IsCertificate(command) ? "Generations back, 3, 4 or 5 (default 4)"
                                            : "Generations back, 1 to 8 (default 4)");
      sub.add_option("--size", args.size, "Pixels of a PNG, WIDTHxHEIGHT (default 1600x1000)");
      break;
    case Kind::kDrawing:
      AddKinshipAndStart(sub, args);
      sub.add_option("--generations", args.drawGenerations, "Generations back or forward (default all)");
      sub.add_option("--size", args.size, "Pixels of a PNG, WIDTHxHEIGHT (default 1600x1000)");
      break;
    // Declared and unscoped: their options are the declaration's.
    case Kind::kReport:
    case Kind::kQuery:
    case Kind::kFile:
      break;
  }
}

// The output choices that the desktop asks in a dialog of two buttons, not in
// a form: the inverse's and X-linked's, and the order of the recoded file.
// The command line's switches alone, added after the declared options.
void AddOutputChoices(CLI::App& sub, std::int32_t id, Arguments& args) {
  if (id == kCmdInverseA) {
    auto* full = sub.add_flag("--full", args.full, "The entire matrix (at most 250000 cells)");
    sub.add_flag("--triplets", args.triplets,
                 "\"row column value\" lines for mixed-model software; pair with 'recode'")
        ->excludes(full);
  } else if (id == kCmdXLinked) {
    sub.add_flag("--inverse", args.inverse, "S inverse instead of S");
    sub.add_flag("--triplets", args.triplets, "\"row column value\" lines; pair with 'recode'");
  } else if (id == kCmdRecoding) {
    sub.add_flag("--original-order", args.originalOrder, "Keep the file's order");
  }
}

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "kinvar-cli: %s\nUsage: kinvar-cli COMMAND PEDIGREE [ARGS...] [OPTIONS]\n"
                       "Run 'kinvar-cli --help' for the commands.\n",
               problem.c_str());
  return 2;
}

// The first word that named no command, when no command was recognised.
std::optional<std::string> UnknownCommand(const CLI::App& app) {
  if (!app.get_subcommands().empty()) return std::nullopt;
  for (const std::string& word : app.remaining())
    if (!word.empty() && word[0] != '-') return "unknown command \"" + word + "\"";
  return std::nullopt;
}

// What is wrong with the number of inputs after a scope word, if anything.
std::optional<std::string> InputCountProblem(const CliCommand& command, const Arguments& args) {
  if (command.kind != Kind::kListing && command.kind != Kind::kScoped) return std::nullopt;
  const auto word = FindScope(command.name, args.scope);
  if (!word || args.inputs.size() == word->inputs) return std::nullopt;
  return std::string(command.name) + " " + args.scope + " takes " + std::to_string(word->inputs) +
         (command.kind == Kind::kListing ? " group(s)" : " argument(s)");
}

// A picture is written to a file of its format, named with -o.
std::optional<std::string> PictureUsageProblem(const CliCommand& command, const Arguments& args) {
  if (command.kind != Kind::kPicture && command.kind != Kind::kDrawing) return std::nullopt;
  if (!args.output) return std::string(command.name) + " needs -o FILE.svg, FILE.png or FILE.pdf";
  if (args.format != TableFormat::kText || args.report)
    return std::string(command.name) + " draws a picture; --format and --report do not apply";
#ifdef KINVAR_HAS_PICTURES
  if (IsPlot(command))
    return PlotUsageProblem({args.plotKind, args.inputs, args.forbidden, args.size, *args.output, PurgingForm(args),
                     FormAnswers(GenomicPlotDeclaration(), args.declared), args.plotMeasure});
  if (command.kind == Kind::kDrawing) return DrawUsageProblem(DrawRequestOf(args));
  return ChartUsageProblem({args.inputs.front(), args.generations, args.size, *args.output});
#else
  return std::nullopt;
#endif
}

// The planned offspring's chart is checked before the pedigree is opened.
std::optional<std::string> MatingUsageProblem(const CliCommand& command, const Arguments& args) {
  if (command.id != kCmdPlannedMating || !args.chart) return std::nullopt;
#ifdef KINVAR_HAS_PICTURES
  if (const std::string problem = ChartGenerationsProblem(args.generations); !problem.empty())
    return problem;
  return ChartUsageProblem({"", args.generations, args.size, *args.chart});
#else
  return std::nullopt;
#endif
}

// The run, then what an interrupt leaves: no output file, status 130.
int RunInterruptibly(const CliCommand& command, const Arguments& args) {
  InstallInterruptHandlers();
  // Beyond the file-size limit a write fails (and is reported) instead of
  // ending the run.
  std::signal(SIGXFSZ, SIG_IGN);
  const int status = RunCommand(command, args);
  if (!Interrupted()) return status;
  std::fprintf(stderr, "%s\n", kCanceledMessage);
  return kInterruptedStatus;
}

// `kinvar-cli help [TOPIC]`: the manual's page of a command or a topic. A
// topic that has no page is a usage error, with the list to choose from.
int Help(int argc, char** argv) {
  const auto list = [](std::FILE* to) {
    std::fprintf(to, "Pages: kinvar-cli help COMMAND or TOPIC\n");
    for (const std::string& topic : HelpTopics()) std::fprintf(to, "  %s\n", topic.c_str());
  };
  if (argc < 3) {
    list(stdout);
    return 0;
  }
  const ManualPage* page = argc == 3 ? FindHelpTopic(argv[2]) : nullptr;
  if (page == nullptr) {
    std::fprintf(stderr, "kinvar-cli: no help for \"%s\"\n", argv[2]);
    list(stderr);
    return 2;
  }
  const std::string text = ManualAsText(page->text);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int Main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "help") return Help(argc, argv);
  CLI::App app("Kinvar: pedigree analysis for breeders and conservation geneticists.\n"
               "kinvar-cli COMMAND PEDIGREE [ARGS...] [OPTIONS]",
               "kinvar-cli");
  app.require_subcommand(1);
#ifndef KINVAR_HAS_PICTURES
  app.footer("The pictures (chart, certificate, draw and plot) need the Qt build of kinvar-cli.");
#endif
  app.fallthrough();
  Arguments args;
  AddGlobalOptions(app, args);
  const std::vector<CommandDeclaration> declarations = CommandDeclarations();
  const std::vector<CliCommand> commands = CliCommands(declarations);
  for (const CliCommand& command : commands) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    sub->footer(command.explanation);
    if (const auto declared = FindDeclaration(command.id); declared && declared->scope.empty()) {
      sub->add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      AddDeclaredOptions(*sub, *declared, args.declared);
      AddOutputChoices(*sub, command.id, args);
      if (command.id == kCmdPlannedMating) AddMatingChartOptions(*sub, args);
    } else {
      AddPositionals(*sub, command, args);
    }
    // Every command that reads a pedigree reads it with the same groups, so
    // that its figures follow the model of every other report.
    if (command.kind != Kind::kSettings) AddGroupOptions(*sub, args);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageError(UnknownCommand(app).value_or(e.what()));
  }
  for (const CliCommand& command : commands) {
    if (!app.got_subcommand(command.name)) continue;
    if (const auto problem = InputCountProblem(command, args)) return UsageError(*problem);
    if (command.kind == Kind::kSettings && args.format != TableFormat::kText)
      return UsageError("settings writes a settings file; --format does not apply");
    if (args.output && args.output->empty()) return UsageError("the output file name after -o is empty");
    if (args.output && *args.output == "-") args.output.reset();  // standard output
    if (const auto problem = PictureUsageProblem(command, args)) return UsageError(*problem);
    if (const auto problem = MatingUsageProblem(command, args)) return UsageError(*problem);
    return RunInterruptibly(command, args);
  }
  return 2;
}

}  // namespace kinvar::cli

int main(int argc, char** argv) {
  // The document tells of a command that runs out of memory or threads; this
  // catches the rest (the load, the writing), so that none ends in an abort.
  try {
    return kinvar::cli::Main(argc, argv);
  } catch (const std::bad_alloc& failure) {
    std::fprintf(stderr, "%s\n", kinvar::ResourceFailureMessage(failure).c_str());
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s\n", kinvar::ResourceFailureMessage(failure).c_str());
  }
  return 1;
}
