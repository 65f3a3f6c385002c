// kinvar-cli COMMAND PEDIGREE [ARGS...] [OPTIONS]: opens the pedigree as the
// desktop program's Open does, runs one command, and writes what Save As
// would write after it (or, with --report, the report as the screen shows it).
// Exit status: 0 done, 1 an input rejected or an output not written, 2 usage.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/document.h"
#include "app/options.h"
#include "app/program_folder.h"
#include "app/settings_file.h"
#include "cli/cli_platform.h"
#include "matings/matings_command.h"
#include "report/markup.h"

namespace kinvar::cli {

namespace {

// kQuery: a dialog that shows one value, fed with the positional inputs.
// kListing: a relationship listing, or its matrix, chosen by its scope.
// kMatings: two groups and the files of the mating optimization.
enum class Kind { kReport, kQuery, kSettings, kListing, kMatings };

struct CliCommand {
  const char* name;
  const char* summary;      // the one line of --help
  const char* explanation;  // the rest of COMMAND --help
  std::int32_t id;
  Kind kind;
};

constexpr CliCommand kCliCommands[] = {
    {"view", "List the pedigree (View Pedigree); writes it as a pedigree file",
     "Loads PEDIGREE and writes the pedigree file that Save As writes after View Pedigree:\n"
     "the individuals in file order with sire, dam, group and F. With --report, the listing.",
     kCmdViewPedigree, Kind::kReport},
    {"recode", "Number the individuals 1..n so that parents precede progeny (Re-coding)",
     "Writes the recoded pedigree: code, sire code, dam code and original ID, in ascending\n"
     "code order, or in the file's order with --original-order.",
     kCmdRecoding, Kind::kReport},
    {"inbreeding", "Compute inbreeding coefficients; writes the list of inbreds",
     "Computes every inbreeding coefficient that the file does not predefine and writes the\n"
     "summary with the list of inbred evaluated individuals. With --report, the summary report.",
     kCmdCompute, Kind::kReport},
    {"recompute-inbreeding", "Discard predefined F and compute every coefficient (Re-compute for All)",
     "Needs a file with an F column. Replaces every predefined F by its computed value, then\n"
     "writes what the inbreeding command writes.",
     kCmdRecompute, Kind::kReport},
    {"inbreeding-of", "Print the inbreeding coefficient of one individual",
     "Usage: kinvar-cli inbreeding-of PEDIGREE ID\nPrints F of ID (upper-cased first) in the "
     "number format.",
     kCmdInbreedingOfIndividual, Kind::kQuery},
    {"relationship", "Print the relationship of two individuals",
     "Usage: kinvar-cli relationship PEDIGREE ID1 ID2\nPrints the numerator relationship of the "
     "two (or the coefficient with\n--relationship coefficient) in the number format.",
     kCmdBetweenTwoIndividuals, Kind::kQuery},
    {"relationships", "List relationships: all individuals, within a group, between two groups",
     "Usage: kinvar-cli relationships PEDIGREE all|within G|between G1 G2 [--matrix]\n"
     "Writes the pairs whose relationship lies in --range (numerator relationship, or the\n"
     "coefficient with --relationship coefficient). With --matrix, the whole matrix instead;\n"
     "it is written up to 250000 cells.",
     kCmdBetweenAll, Kind::kListing},
    {"average-between-groups", "Average numerator relationships between every two groups",
     "Writes, for every group and every group before it in the file (itself included), the\n"
     "average numerator relationship of their members.",
     kCmdAverageBetweenGroups, Kind::kReport},
    {"average-relatedness", "Average numerator relationship of each individual with all",
     "Writes, for every individual in code order, the average of its numerator relationships\n"
     "with all individuals, itself included.",
     kCmdAverageRelatedness, Kind::kReport},
    {"optimize-matings", "Assign sires to dams for the least average inbreeding of progeny",
     "Usage: kinvar-cli optimize-matings PEDIGREE SIRE_GROUP DAM_GROUP CONTRIBUTIONS\n"
     "[--forbidden FILE] [--exact] [--seed-file FILE]\n"
     "CONTRIBUTIONS gives each sire of SIRE_GROUP its number of dams; every dam of DAM_GROUP\n"
     "gets one sire. Writes the matings found by simulated annealing, continuing the random\n"
     "stream of the seed file (default: Seed in the program folder), and the proven minimum\n"
     "of the average. --forbidden names pairs that must not be mated; --exact lists the\n"
     "proven optimal matings instead and leaves the seed file alone.",
     kCmdOptimizeMatings, Kind::kMatings},
    {"settings", "Write a settings file from the options",
     "Usage: kinvar-cli settings --write FILE [--number-format N] [--relationship T]\n"
     "[--range LOW HIGH] [--list-founders] [--settings FILE]\n"
     "Writes the 13-byte settings file that the Options dialog's Save writes.",
     kCmdOptions, Kind::kSettings},
};

struct Arguments {
  std::string pedigree;
  std::string scope;                // relationships: all, within or between
  std::vector<std::string> inputs;  // IDs and group numbers for the pickers
  std::string sireGroup;            // optimize-matings: the two groups
  std::string damGroup;
  std::string contributions;        // and the contribution file
  std::optional<std::string> forbidden;
  bool exact = false;
  std::optional<std::string> seedFile;
  bool matrix = false;
  std::string writePath;
  bool originalOrder = false;
  std::optional<std::string> output;
  bool report = false;
  std::optional<std::string> numberFormat;
  std::optional<std::string> relationship;
  std::vector<float> range;
  bool listFounders = false;
  std::optional<std::string> settingsFile;
  bool quiet = false;
};

// Settings: the program folder's, then --settings, then each explicit option,
// validated as the Options dialog validates them. For the mating
// optimization, --forbidden alone decides whether forbidden matings count.
bool ApplySettings(CKinvarDoc& doc, const Arguments& args, const CliCommand& command) {
  Settings entries = doc.settings();
  if (args.settingsFile) {
    std::FILE* probe = std::fopen(args.settingsFile->c_str(), "rb");
    if (probe == nullptr) {
      std::fprintf(stderr, "Cannot open %s\n", args.settingsFile->c_str());
      return false;
    }
    std::fclose(probe);
    entries = ReadSettingsFile(*args.settingsFile);
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
  if (command.kind == Kind::kMatings) entries.allowForbidden = args.forbidden ? 1 : 0;
  return doc.ApplyOptions(entries).has_value();
}

void WriteReport(const CMS& report, std::FILE* file) {
  for (int i = 0; i < report.Count(); ++i) std::fputs(ExpandMarkup(report.Line(i)).c_str(), file);
}

// Opens -o FILE (or takes standard output), lets `write` fill it and tells
// the user when it could not be opened or written whole.
bool WriteOutput(const Arguments& args, const std::function<bool(std::FILE*)>& write) {
  std::FILE* file = stdout;
  if (args.output) {
    file = std::fopen(args.output->c_str(), "w");
    if (file == nullptr) {
      std::fprintf(stderr, "Cannot open %s for writing.\n", args.output->c_str());
      return false;
    }
  }
  const bool written = write(file) && std::ferror(file) == 0;
  const bool closed = args.output ? std::fclose(file) == 0 : std::fflush(file) == 0;
  if (written && closed) return true;
  std::fprintf(stderr, "Error while writing %s.\n", args.output ? args.output->c_str() : "the output");
  return false;
}

// The command a listing's scope names.
std::int32_t ListingCommand(const std::string& scope) {
  if (scope == "within") return kCmdWithinGroup;
  if (scope == "between") return kCmdBetweenTwoGroups;
  return kCmdBetweenAll;
}

// The files of the mating optimization answer its open dialogs; the seed
// file and the exact mode hold for this run.
void PrepareMatings(CKinvarDoc& doc, CliPlatform& platform, const Arguments& args) {
  platform.SetPickerInputs({args.sireGroup, args.damGroup});
  std::deque<std::string> files{args.contributions};
  if (args.forbidden) files.push_back(*args.forbidden);
  platform.SetOpenFiles(std::move(files));
  doc.remembered.exactMatings = args.exact;
  if (args.seedFile) doc.seedFile = *args.seedFile;
}

// A report that says the inputs admit no result (it is still written).
bool Refused(const CKinvarDoc& doc) {
  const CMS& report = doc.pedigree().report;
  return doc.lastCommand() == kCmdOptimizeMatings && report.Count() > 1 &&
         report.Line(1) == kCouldNotOptimizeLine;
}

// The command whose report a successful run leaves on screen.
std::int32_t ShownCommand(std::int32_t id) { return id == kCmdRecompute ? kCmdCompute : id; }

int RunCommand(const CliCommand& command, const Arguments& args) {
  CliPlatform platform(args.quiet);
  CKinvarDoc doc(platform, ProgramFolder());
  if (!doc.Initialize() || !ApplySettings(doc, args, command)) return 1;
  if (command.kind == Kind::kSettings) return doc.WriteSettings(args.writePath) ? 0 : 1;

  if (!doc.OpenPedigreeFile(args.pedigree)) return 1;
  if (doc.lastCommand() == kRejectedPedigree) {
    WriteReport(doc.pedigree().report, stderr);
    return 1;
  }
  const std::int32_t id = command.kind == Kind::kListing ? ListingCommand(args.scope) : command.id;
  if (!IsAvailable(*FindCommand(id), doc.State())) {
    std::fputs("This command is not available for the loaded pedigree.\n", stderr);
    return 1;
  }
  platform.SetPickerInputs({args.inputs.begin(), args.inputs.end()});
  if (command.kind == Kind::kMatings) PrepareMatings(doc, platform, args);
  doc.RunCommand(id);
  if (command.kind == Kind::kQuery) {
    const auto& value = platform.QueryValue();
    if (!value) return 1;
    return WriteOutput(args, [&](std::FILE* file) {
             return std::fprintf(file, "%s\n", value->c_str()) >= 0;
           })
               ? 0
               : 1;
  }
  // A refused group leaves the opening's report; an error report says why.
  if (doc.lastCommand() != ShownCommand(id)) {
    if (doc.lastCommand() == kCmdNone) WriteReport(doc.pedigree().report, stderr);
    return 1;
  }
  platform.SetSaveChoice(args.originalOrder || args.matrix ? 2 : 1);
  const int choice = doc.AskSaveChoice();
  if (args.matrix && choice != 2) {
    std::fputs("The matrix has more than 250000 cells.\n", stderr);
    return 1;
  }
  const bool written = WriteOutput(args, [&](std::FILE* file) {
    if (!args.report) return doc.WriteSaveFile(file, choice);
    WriteReport(doc.pedigree().report, file);
    return true;
  });
  return written && !Refused(doc) ? 0 : 1;
}

void AddGlobalOptions(CLI::App& app, Arguments& args) {
  app.add_option("-o,--output", args.output, "Write to FILE instead of standard output");
  app.add_flag("--report", args.report, "Write the report as the screen shows it");
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
}

void AddPositionals(CLI::App& sub, const CliCommand& command, Arguments& args) {
  switch (command.kind) {
    case Kind::kSettings:
      sub.add_option("--write", args.writePath, "The settings file to write")->required();
      break;
    case Kind::kQuery:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      sub.add_option("ID", args.inputs, "The individuals' IDs")
          ->required()
          ->expected(command.id == kCmdBetweenTwoIndividuals ? 2 : 1);
      break;
    case Kind::kListing:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      sub.add_option("SCOPE", args.scope, "all, within or between")
          ->required()
          ->check(CLI::IsMember({"all", "within", "between"}));
      sub.add_option("GROUP", args.inputs, "The group numbers: one for within, two for between");
      sub.add_flag("--matrix", args.matrix, "Write the matrix instead of the pairs");
      break;
    case Kind::kMatings:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      sub.add_option("SIRE_GROUP", args.sireGroup, "The group of the sires")->required();
      sub.add_option("DAM_GROUP", args.damGroup, "The group of the dams")->required();
      sub.add_option("CONTRIBUTIONS", args.contributions, "The contribution file")->required();
      sub.add_option("--forbidden", args.forbidden, "A forbidden-matings file");
      sub.add_flag("--exact", args.exact, "List the proven optimal matings");
      sub.add_option("--seed-file", args.seedFile, "The seed file of the random generator");
      break;
    case Kind::kReport:
      sub.add_option("PEDIGREE", args.pedigree, "The pedigree file")->required();
      if (command.id == kCmdRecoding)
        sub.add_flag("--original-order", args.originalOrder, "Keep the file's order");
      break;
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

int GroupsOf(const std::string& scope) {
  if (scope == "within") return 1;
  return scope == "between" ? 2 : 0;
}

bool GroupCountFits(const Arguments& args) {
  return args.scope.empty() || args.inputs.size() == static_cast<std::size_t>(GroupsOf(args.scope));
}

}  // namespace

int Main(int argc, char** argv) {
  CLI::App app("Kinvar: pedigree analysis for breeders and conservation geneticists.\n"
               "kinvar-cli COMMAND PEDIGREE [ARGS...] [OPTIONS]",
               "kinvar-cli");
  app.require_subcommand(1);
  app.fallthrough();
  Arguments args;
  AddGlobalOptions(app, args);
  for (const CliCommand& command : kCliCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    sub->footer(command.explanation);
    AddPositionals(*sub, command, args);
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
  if (!GroupCountFits(args)) return UsageError("relationships " + args.scope + " takes " +
                                               std::to_string(GroupsOf(args.scope)) + " group(s)");
  for (const CliCommand& command : kCliCommands)
    if (app.got_subcommand(command.name)) return RunCommand(command, args);
  return 2;
}

}  // namespace kinvar::cli

int main(int argc, char** argv) { return kinvar::cli::Main(argc, argv); }
