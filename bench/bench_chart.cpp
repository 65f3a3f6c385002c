// kinvar-bench-chart: the pedigree chart of 8 generations on a deep generated
// pedigree, for its most inbred latest individual: the model (places,
// colours and the decomposition of F), the layout and the painting into a
// PNG of the default size.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "analyses/pedigree_chart.h"
#include "bench_support.h"
#include "pictures/pedigree_chart_picture.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-chart [--n N] [--deep G] [--seed S]\n  Defaults: n 100000, deep 30.\n";

RecIndex MostInbredLatest(const Pedigree& ped) {
  RecIndex best = ped.records[static_cast<std::size_t>(ped.nTotal - 1)];
  for (std::int32_t i = std::max(0, ped.nTotal - 1000); i < ped.nTotal; ++i)
    if (ped.byCode(i).f > ped.rec(best).f) best = ped.records[static_cast<std::size_t>(i)];
  return best;
}

bool Measure(const Options& args, Results& r) {
  GeneratorOptions gen = GeneratorOf(args, 100000);
  gen.deepGenerations = static_cast<int>(args.Int("deep", 30));
  return MeasureOnGenerated(gen, "kinvar-bench-chart", [&](Pedigree& ped, Progress&, Results& out) {
    const RecIndex x = MostInbredLatest(ped);
    PedigreeChart chart;
    out["model"] = CpuSecondsOf([&] { chart = BuildPedigreeChart(ped, x, kMaxChartGenerations); });
    pictures::ChartLayout layout;
    out["layout"] = CpuSecondsOf([&] { layout = pictures::LayOutPedigreeChart(chart); });
    out["paint"] = CpuSecondsOf([&] {
      const pictures::Picture picture = pictures::PedigreeChartPicture(chart);
      QImage image(pictures::kDefaultPixels, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::white);
      QPainter painter(&image);
      pictures::PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    });
    std::size_t known = 0;
    for (const ChartBox& box : chart.boxes) known += box.rec != kUnknownParent;
    out["known"] = static_cast<double>(known);
    out["common"] = static_cast<double>(chart.common.size());
    out["F"] = ped.rec(x).f;
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
    std::fputs("kinvar-bench-chart: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f, chart of 8 generations: %.0f known places of 511, "
              "%.0f repeated ancestors, F = %.4f\n\n",
              r.at("nTotal"), r.at("known"), r.at("common"), r.at("F"));
  std::printf("  model (places, colours, parts of F) %8.4f s\n", r.at("model"));
  std::printf("  layout                              %8.4f s\n", r.at("layout"));
  std::printf("  painting, 1600x1000 PNG image       %8.4f s\n", r.at("paint"));
  std::printf("  total                               %8.4f s\n",
              r.at("model") + r.at("layout") + r.at("paint"));
  std::printf("\n  Processor seconds. Target: below 0.1 s.\n");
  return 0;
}
