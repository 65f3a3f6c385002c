// kinvar-bench-drawing: the drawing of a group's ancestors on a deep
// generated pedigree, as near 5,000 nodes as the generations allow: the
// model (selection, compaction, rows), Graphviz's layout and the painting
// into a PNG of the default size.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "analyses/pedigree_drawing.h"
#include "bench_support.h"
#include "pictures/pedigree_drawing_picture.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-drawing [--n N] [--deep G] [--group K] [--seed S]\n"
    "  Defaults: n 100000, deep 30, group 2400 (the latest individuals).\n";

// The latest `members` individuals become a group of their own.
std::int32_t MakeGroup(Pedigree& ped, std::int64_t members) {
  EnsureCodeOrder(ped);
  ped.groups.push_back({999, 0});
  const auto group = static_cast<std::int32_t>(ped.groups.size() - 1);
  for (std::int32_t i = std::max<std::int32_t>(0, ped.nTotal - static_cast<std::int32_t>(members)); i < ped.nTotal; ++i) {
    ped.byCode(i).group = group;
    ++ped.groups.back().count;
  }
  return group;
}

// The most generations whose drawing stays within the limit.
DrawingRequest Sized(Pedigree& ped, std::int32_t group) {
  DrawingRequest request{Kinship::kAncestors, kUnknownParent, group, 1};
  for (int g = 2; g < 100; ++g) {
    DrawingRequest deeper = request;
    deeper.generations = g;
    const PedigreeDrawing drawing = BuildPedigreeDrawing(ped, deeper);
    if (drawing.nodes.size() > static_cast<std::size_t>(kMaxDrawingNodes)) break;
    request = deeper;
    if (BuildPedigreeDrawing(ped, {Kinship::kAncestors, kUnknownParent, group, g + 1}).nodes.size() ==
        drawing.nodes.size())
      break;  // every ancestor drawn already
  }
  return request;
}

bool Measure(const Options& args, Results& r) {
  GeneratorOptions gen = GeneratorOf(args, 100000);
  gen.deepGenerations = static_cast<int>(args.Int("deep", 30));
  const std::int64_t members = args.Int("group", 2400);
  return MeasureOnGenerated(gen, "kinvar-bench-drawing", [&](Pedigree& ped, Progress&, Results& out) {
    const DrawingRequest request = Sized(ped, MakeGroup(ped, members));
    PedigreeDrawing drawing;
    out["model"] = CpuSecondsOf([&] { drawing = BuildPedigreeDrawing(ped, request); });
    pictures::DrawingLayout layout;
    out["layout"] = CpuSecondsOf([&] { layout = pictures::LayOutPedigreeDrawing(drawing); });
    out["picture"] = CpuSecondsOf([&] {
      const pictures::Picture picture = pictures::PedigreeDrawingPicture(drawing);
      QImage image(pictures::kDefaultPixels, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::white);
      QPainter painter(&image);
      pictures::PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    });
    std::size_t families = 0;
    for (const DrawingNode& n : drawing.nodes) families += n.kind == DrawingNodeKind::kFamily;
    out["nodes"] = static_cast<double>(drawing.nodes.size());
    out["edges"] = static_cast<double>(drawing.edges.size());
    out["families"] = static_cast<double>(families);
    out["generations"] = request.generations;
    out["rows"] = drawing.rows;
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  Results r;
  if (!Measure(args, r)) {
    std::fputs("kinvar-bench-drawing: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f, ancestors of a group %.0f generations back: %.0f nodes "
              "(%.0f families), %.0f edges, %.0f rows\n\n",
              r.at("nTotal"), r.at("generations"), r.at("nodes"), r.at("families"), r.at("edges"),
              r.at("rows"));
  std::printf("  model (selection, families, rows) %8.4f s\n", r.at("model"));
  std::printf("  layout alone (Graphviz dot)       %8.4f s\n", r.at("layout"));
  std::printf("  picture: layout, 1600x1000 PNG    %8.4f s\n", r.at("picture"));
  std::printf("  total: model and picture          %8.4f s\n", r.at("model") + r.at("picture"));
  std::printf("\n  Processor seconds. Target: below 5 s.\n");
  return 0;
}
