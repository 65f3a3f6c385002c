// kinvar-bench-plots: each chart from tables of the size a 1,000,000-
// individual pedigree's analyses leave (a founder per 20 individuals, 60
// groups, 5,000 matings, the 20 classes of F), painted into a PNG of the
// default size. The charts read only the tables, so this is their whole cost
// beyond the analyses.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>

#include "pictures/charts.h"

namespace {

using namespace kinvar;
using namespace kinvar::pictures;

double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Paint(const Picture& picture) {
  QImage image(kDefaultPixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
}

ResultSet Tables(std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  ResultSet set;
  ResultTable& summary = set.Add(SummaryTable());
  summary.AddFigure("Individuals in total", 1000000);
  summary.AddFigure("Inbreds in total", 600000);
  summary.AddFigure("Reference population", 60.0);
  ResultTable& groups = set.Add("groups");
  for (const char* c : {"group", "members"}) groups.AddColumn(c, ColumnType::kInteger);
  for (const char* c : {"mean_f", "mean_ecg", "fe", "fa", "ne", "completeness", "delta_f"})
    groups.AddColumn(c, ColumnType::kReal);
  for (int g = 1; g <= 60; ++g) {
    TableRow row = groups.AddRow();
    row.Integer(1960 + g).Integer(16000);
    for (int c = 0; c < 7; ++c) row.Real(unit(random) * 10);
  }
  ResultTable& f = set.Add("f_distribution");
  f.AddColumn("above", ColumnType::kReal).AddColumn("up_to", ColumnType::kReal).AddColumn("individuals", ColumnType::kInteger);
  for (int k = 0; k < 20; ++k) f.AddRow().Real(k / 20.0).Real((k + 1) / 20.0).Integer(30000);
  ResultTable& founders = set.Add("founder_contributions");
  founders.AddColumn("id", ColumnType::kId).AddColumn("contribution", ColumnType::kReal);
  for (int k = 0; k < 50000; ++k) founders.AddRow().Id("F" + std::to_string(k)).Real(1.0 / (k + 2.0));
  ResultTable& averages = set.Add("group_averages");
  averages.AddColumn("group1", ColumnType::kInteger).AddColumn("group2", ColumnType::kInteger).AddColumn("value", ColumnType::kReal);
  for (int g = 1; g <= 60; ++g)
    for (int h = 1; h <= g; ++h) averages.AddRow().Integer(1960 + g).Integer(1960 + h).Real(unit(random));
  ResultTable& matings = set.Add("matings");
  matings.AddColumn("sire", ColumnType::kId).AddColumn("dam", ColumnType::kId).AddColumn("coancestry", ColumnType::kReal);
  for (int k = 0; k < 5000; ++k) matings.AddRow().Id("S").Id("D" + std::to_string(k)).Real(unit(random) * 0.2);
  return set;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::mt19937_64 random(1);
  const ResultSet tables = Tables(random);
  const struct {
    const char* name;
    std::function<Picture()> draw;
  } kinds[] = {
      {"trends", [&] { return PlotPicture(TrendsPlot(tables, true)); }},
      {"f-histogram", [&] { return PlotPicture(FDistributionPlot(tables)); }},
      {"founders", [&] { return PlotPicture(FoundersPlot(tables, 60)); }},
      {"group-heatmap", [&] { return HeatMapPicture(GroupHeatMap(tables)); }},
      {"matings", [&] { return PlotPicture(MatingsPlot(tables, tables)); }},
  };
  std::printf("\n  chart           from the tables   painted 1600x1000\n");
  for (const auto& kind : kinds) {
    Picture picture;
    const double build = SecondsOf([&] { picture = kind.draw(); });
    const double paint = SecondsOf([&] { Paint(picture); });
    std::printf("  %-14s %10.4f s %16.4f s\n", kind.name, build, paint);
  }
  std::printf("\n  Wall seconds. Target: below 3 s each.\n");
  return 0;
}
