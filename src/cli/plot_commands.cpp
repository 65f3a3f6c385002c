#include "cli/plot_commands.h"

#include <cstdio>
#include <deque>

#include "analyses/genomic_relationship_command.h"
#include "app/commands.h"
#include "cli/picture_commands.h"
#include "matings/matings_command.h"
#include "pictures/charts.h"
#include "report/markup.h"

namespace kinvar::cli {

namespace {

struct PlotKind {
  const char* name;
  const char* arguments;  // as the usage shows them
  std::size_t least, most;  // inputs
};

constexpr PlotKind kKinds[] = {
    {"trends", "[G]", 0, 1},
    {"f-histogram", "", 0, 0},
    {"founders", "G", 1, 1},
    {"group-heatmap", "", 0, 0},
    {"matings", "SIRES DAMS FILE.c [--forbidden FILE.fm]", 3, 3},
    {"purging", "[G] [--purging-coefficient D] [--gene-drop N] [--seed-file FILE]", 0, 1},
    {"genomic-f", "--genotypes FILE [--measure fg|fhom|froh]", 0, 0},
};

const PlotKind* FindKind(const std::string& name) {
  for (const PlotKind& kind : kKinds)
    if (name == kind.name) return &kind;
  return nullptr;
}

std::string KindList() {
  std::string list;
  for (const PlotKind& kind : kKinds)
    list += std::string("\n  ") + kind.name + (*kind.arguments ? " " : "") + kind.arguments;
  return list;
}

// Runs `id` through the document with the pickers answered by `inputs`;
// false (said on standard error) when it left no result of its own.
bool Run(Document& doc, CliPlatform& platform, std::int32_t id, std::deque<std::string> inputs) {
  if (!IsAvailable(*FindCommand(id), doc.State())) {
    std::fputs("This command is not available for the loaded pedigree.\n", stderr);
    return false;
  }
  platform.SetPickerInputs(std::move(inputs));
  doc.RunCommand(id);
  if (doc.lastCommand() == id) return true;
  const ReportStore& report = doc.pedigree().report;
  if (doc.lastCommand() == kCmdNone)
    for (int i = 0; i < report.Count(); ++i) std::fputs(ExpandMarkup(report.Line(i)).c_str(), stderr);
  return false;
}

// One run of the mating optimization, annealing or exact; its tables, or
// nothing when the inputs admit no assignment.
std::optional<ResultSet> RunMatings(Document& doc, CliPlatform& platform, const PlotRequest& request,
                                    bool exact) {
  std::deque<std::string> files{request.inputs[2]};
  if (request.forbidden) files.push_back(*request.forbidden);
  platform.SetOpenFiles(std::move(files));
  doc.remembered.values.Set(kCmdOptimizeMatings, "exact", exact ? "1" : "0");
  if (!Run(doc, platform, kCmdOptimizeMatings, {request.inputs[0], request.inputs[1]})) return std::nullopt;
  const ReportStore& report = doc.pedigree().report;
  if (report.Count() > 1 && report.Line(1) == kCouldNotOptimizeLine) {
    std::fputs("Could not optimize matings.\n", stderr);
    return std::nullopt;
  }
  return doc.pedigree().report.tables();
}

bool NeedsGroups(const Document& doc, const std::string& kind) {
  if (doc.pedigree().HasGroupColumn()) return true;
  std::fprintf(stderr, "The %s chart needs a pedigree with a group column.\n", kind.c_str());
  return false;
}

std::optional<pictures::Picture> Draw(Document& doc, CliPlatform& platform, const PlotRequest& request) {
  const std::string& kind = request.kind;
  const ResultSet& tables = doc.pedigree().report.tables();
  if (kind == "trends") {
    if (!NeedsGroups(doc, kind)) return std::nullopt;
    const bool reference = !request.inputs.empty();
    if (!Run(doc, platform, kCmdDiversity, {reference ? request.inputs[0] : std::string("all")}))
      return std::nullopt;
    return pictures::PlotPicture(pictures::TrendsPlot(tables, reference));
  }
  if (kind == "purging") {
    if (!NeedsGroups(doc, kind)) return std::nullopt;
    platform.SetFormValues(request.form);
    if (!Run(doc, platform, kCmdPurging, {request.inputs.empty() ? std::string("all") : request.inputs[0]}))
      return std::nullopt;
    return pictures::PlotPicture(pictures::PurgingPlot(tables));
  }
  if (kind == "genomic-f") {
    platform.SetFormValues(request.genomic);
    if (!Run(doc, platform, kCmdGenomicInbreeding, {})) return std::nullopt;
    const auto measure = pictures::MeasureOfWord(request.measure.empty() ? "fg" : request.measure);
    return pictures::ScatterPicture(pictures::GenomicInbreedingScatter(tables, *measure));
  }
  if (kind == "f-histogram") {
    if (!Run(doc, platform, kCmdStructure, {})) return std::nullopt;
    return pictures::PlotPicture(pictures::FDistributionPlot(tables));
  }
  if (kind == "founders") {
    if (!Run(doc, platform, kCmdGeneOrigin, {request.inputs[0]})) return std::nullopt;
    return pictures::PlotPicture(pictures::FoundersPlot(tables, std::stoi(request.inputs[0])));
  }
  if (kind == "group-heatmap") {
    if (!NeedsGroups(doc, kind) || !Run(doc, platform, kCmdAverageBetweenGroups, {})) return std::nullopt;
    return pictures::HeatMapPicture(pictures::GroupHeatMap(tables));
  }
  const std::optional<ResultSet> annealing = RunMatings(doc, platform, request, false);
  if (!annealing) return std::nullopt;
  const std::optional<ResultSet> optimum = RunMatings(doc, platform, request, true);
  if (!optimum) return std::nullopt;
  return pictures::PlotPicture(pictures::MatingsPlot(*annealing, *optimum));
}

}  // namespace

std::optional<std::string> PlotUsageProblem(const PlotRequest& request) {
  const PlotKind* kind = FindKind(request.kind);
  if (kind == nullptr) return "unknown kind of chart \"" + request.kind + "\"; the kinds are:" + KindList();
  if (request.inputs.size() < kind->least || request.inputs.size() > kind->most)
    return std::string("usage: plot PEDIGREE ") + kind->name + (*kind->arguments ? " " : "") + kind->arguments;
  if (request.forbidden && request.kind != "matings") return "--forbidden applies to the matings chart";
  if (request.form.size() > 1 && request.kind != "purging")
    return "--purging-coefficient and --gene-drop apply to the purging chart";
  const bool genomic = request.kind == "genomic-f";
  if (genomic && request.genomic.count("genotypes") == 0) return "the genomic-f chart needs --genotypes FILE";
  if (!genomic && !request.genomic.empty()) return "--genotypes and its options apply to the genomic-f chart";
  if (!request.measure.empty() && !genomic) return "--measure applies to the genomic-f chart";
  if (!request.measure.empty() && !pictures::MeasureOfWord(request.measure))
    return "--measure takes fg, fhom or froh: " + request.measure;
  return PictureFileProblem(request.output, request.size);
}

int WritePlot(Document& doc, CliPlatform& platform, const PlotRequest& request) {
  // Laying a chart out measures its texts, which needs the fonts already.
  PaintingApplication application;
  const std::optional<pictures::Picture> picture = Draw(doc, platform, request);
  if (!picture) return 1;
  return WritePictureFile(*picture, request.output, request.size);
}

}  // namespace kinvar::cli
