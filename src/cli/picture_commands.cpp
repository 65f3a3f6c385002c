#include "cli/picture_commands.h"

#include <QSize>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <stdlib.h>

#include "analyses/command_context.h"
#include "analyses/decomposition_report.h"
#include "analyses/pedigree_chart.h"
#include "analyses/pedigree_drawing.h"
#include "matings/planned_mating_command.h"
#include "pictures/pedigree_certificate_picture.h"
#include "pictures/pedigree_chart_picture.h"
#include "pictures/pedigree_drawing_picture.h"
#include "pictures/picture.h"

namespace kinvar::cli {

std::optional<QSize> ParsePixels(const std::string& text) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto number = [](const std::string& part) -> int {
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos)
      return 0;
    return std::atoi(part.c_str());
  };
  const int w = number(text.substr(0, x)), h = number(text.substr(x + 1));
  if (w < 1 || h < 1 || w > 20000 || h > 20000) return std::nullopt;
  return QSize(w, h);
}

bool ChooseOffscreen() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}

PrivateRuntimeFolder::PrivateRuntimeFolder() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  std::string name = (std::filesystem::temp_directory_path() / "kinvar-runtime-XXXXXX").string();
  // mkdtemp makes it 0700, the mode Qt asks of a runtime folder.
  if (::mkdtemp(name.data()) == nullptr) return;
  path = name;
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path));
}

PrivateRuntimeFolder::~PrivateRuntimeFolder() {
  if (path.empty()) return;
  qunsetenv("XDG_RUNTIME_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::optional<std::string> PictureFileProblem(const std::string& output, const std::string& size) {
  if (!pictures::PictureFormatOf(QString::fromStdString(output)))
    return "cannot tell the format of " + output + ": name it .svg, .png or .pdf";
  if (!size.empty() && !ParsePixels(size))
    return "--size takes WIDTHxHEIGHT in pixels, such as 1600x1000: " + size;
  return std::nullopt;
}

int WritePictureFile(const pictures::Picture& picture, const std::string& output, const std::string& size) {
  const QSize pixels = size.empty() ? pictures::kDefaultPixels : *ParsePixels(size);
  QString error;
  if (pictures::WritePicture(picture, QString::fromStdString(output), pixels, error)) return 0;
  std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
  return 1;
}

std::optional<std::string> ChartUsageProblem(const ChartRequest& request) {
  return PictureFileProblem(request.output, request.size);
}

namespace {

// The drawing's start as the pickers give it; nothing when refused.
std::optional<DrawingRequest> AskStart(CommandContext& ctx, const DrawRequest& asked) {
  DrawingRequest request;
  request.kinship = asked.kinship == "descendants" ? Kinship::kDescendants : Kinship::kAncestors;
  request.generations = asked.generations;
  if (asked.scope == "group") {
    const std::optional<int> group = AskGroup(ctx, "Pedigree Drawing", "Draw");
    if (!group) return std::nullopt;
    request.group = GroupIndexOf(ctx.ped, *group);
  } else {
    const std::optional<RecIndex> individual = AskIndividual(ctx, "Pedigree Drawing", "Draw");
    if (!individual) return std::nullopt;
    request.individual = *individual;
  }
  return request;
}

}  // namespace

std::optional<std::string> DrawUsageProblem(const DrawRequest& request) {
  if (request.generations < 0) return "--generations takes a number of generations, 1 or more";
  return ChartUsageProblem({request.input, 1, request.size, request.output});
}

int WriteDrawing(Document& doc, const DrawRequest& asked) {
  CommandContext ctx = doc.Context();
  const std::optional<DrawingRequest> request = AskStart(ctx, asked);
  if (!request) return 1;
  // Counted before anything is built or any F computed: a line a million
  // generations deep is refused at once.
  const DrawingSizeProblem problem = CheckDrawingSize(doc.pedigree(), *request);
  if (!problem.message.empty()) {
    std::fprintf(stderr, "%s\n", problem.message.c_str());
    if (problem.fittingGenerations > 0)
      std::fprintf(stderr, "Add --generations %d.\n", problem.fittingGenerations);
    return 1;
  }
  if (!EnsureInbreeding(ctx)) return 1;
  const PedigreeDrawing drawing = BuildPedigreeDrawing(doc.pedigree(), *request);
  PaintingApplication application;
  return WritePictureFile(pictures::PedigreeDrawingPicture(drawing), asked.output, asked.size);
}

int WriteChart(Document& doc, const ChartRequest& request) {
  const std::string problem = ChartGenerationsProblem(request.generations);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  CommandContext ctx = doc.Context();
  const std::optional<RecIndex> individual = AskIndividual(ctx, "Pedigree Chart", "Draw");
  if (!individual) return 1;
  if (!EnsureInbreeding(ctx)) return 1;
  PaintingApplication application;
  const pictures::Picture picture =
      pictures::PedigreeChartPicture(doc.pedigree(), *individual, request.generations);
  return WritePictureFile(picture, request.output, request.size);
}

int WritePlannedChart(Document& doc, const ChartRequest& request) {
  CommandContext ctx = doc.Context();
  const std::optional<PlannedInputs> in = ReadPlannedInputs(ctx);
  if (!in || !EnsureInbreeding(ctx)) return 1;
  Pedigree& ped = doc.pedigree();
  const PlannedMating m = ComputePlannedMating(ped, in->sire, in->dam);
  PaintingApplication application;
  const pictures::Picture picture =
      pictures::PedigreeChartPicture(BuildPlannedChart(ped, in->sire, in->dam, m, request.generations));
  return WritePictureFile(picture, request.output, request.size);
}

int WriteCertificate(Document& doc, const ChartRequest& request) {
  const std::string problem = pictures::CertificateGenerationsProblem(request.generations);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  CommandContext ctx = doc.Context();
  const std::optional<RecIndex> individual = AskIndividual(ctx, "Pedigree Certificate", "Draw");
  if (!individual) return 1;
  if (!EnsureInbreeding(ctx)) return 1;
  PaintingApplication application;
  const pictures::Picture picture =
      pictures::PedigreeCertificatePicture(doc.pedigree(), *individual, request.generations);
  // A page, not a screen: its PNG is A4 at 150 dots an inch unless asked otherwise.
  return WritePictureFile(picture, request.output, request.size.empty() ? "1240x1754" : request.size);
}

}  // namespace kinvar::cli
