// The pedigree chart as a picture: its layout on random pedigrees (no two
// boxes overlap, every drawn place is a box), and its files: SVG that parses
// and keeps every ID as text, PNG of the size asked, PDF.
#include "pictures/pedigree_chart_picture.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QXmlStreamReader>
#include <filesystem>
#include <string>

#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar::pictures {
namespace {

// Strictly overlapping interiors; touching edges are allowed.
bool Overlap(const QRectF& a, const QRectF& b) {
  return a.left() < b.right() && b.left() < a.right() && a.top() < b.bottom() && b.top() < a.bottom();
}

TEST(PedigreeChartPicture, BoxesNeverOverlapAndStayInThePicture) {
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 300));
    auto ped = test::Loaded(random.text);
    for (std::size_t chosen = 0; chosen < random.individuals.size(); chosen += 25)
    for (const int generations : {1, 4, 8}) {
      const std::string& id = random.individuals[chosen].id;
      const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, id), generations);
      const ChartLayout layout = LayOutPedigreeChart(chart);
      const QRectF whole(QPointF(0, 0), layout.size);
      std::vector<QRectF> drawn;
      for (std::size_t p = 0; p < chart.boxes.size(); ++p) {
        const QRectF& box = layout.boxes[p];
        if (chart.boxes[p].rec != kUnknownParent) {
          EXPECT_FALSE(box.isNull()) << seed << " place " << p;
        }
        if (box.isNull()) continue;
        EXPECT_TRUE(whole.contains(box)) << seed << " place " << p;
        EXPECT_FALSE(Overlap(box, layout.legend)) << seed << " place " << p;
        drawn.push_back(box);
      }
      for (std::size_t i = 0; i < drawn.size(); ++i)
        for (std::size_t j = i + 1; j < drawn.size(); ++j)
          ASSERT_FALSE(Overlap(drawn[i], drawn[j])) << "seed " << seed << " boxes " << i << ", " << j;
      EXPECT_TRUE(whole.contains(layout.legend)) << seed;
      EXPECT_FALSE(Overlap(layout.title, layout.legend)) << seed;
    }
  }
}

// A double click on a box names its animal; nowhere else names anybody.
TEST(PedigreeChartPicture, NamesTheAnimalOfEachBoxAndNobodyElsewhere) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 200));
    auto ped = test::Loaded(random.text);
    const std::string& id = random.individuals[random.individuals.size() - 1].id;
    const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, id), 4);
    const ChartLayout layout = LayOutPedigreeChart(chart);
    const Picture picture = PedigreeChartPicture(chart);
    ASSERT_TRUE(picture.idAt);
    for (std::size_t p = 0; p < chart.boxes.size(); ++p) {
      if (layout.boxes[p].isNull()) continue;
      const std::string expected = chart.boxes[p].rec != kUnknownParent ? chart.boxes[p].id : "";
      EXPECT_EQ(picture.idAt(layout.boxes[p].center()).toStdString(), expected) << seed << " place " << p;
    }
    EXPECT_TRUE(picture.idAt(layout.title.center()).isEmpty()) << seed;
    EXPECT_TRUE(picture.idAt(QPointF(-5, -5)).isEmpty()) << seed;
  }
}

struct Written {
  std::filesystem::path path;
  ~Written() { std::filesystem::remove(path); }
};

Written Write(const Picture& picture, const std::string& name, QSize pixels) {
  Written file{std::filesystem::temp_directory_path() / ("kinvar-chart-" + name)};
  QString error;
  EXPECT_TRUE(WritePicture(picture, QString::fromStdString(file.path.string()), pixels, error))
      << error.toStdString();
  return file;
}

QByteArray Bytes(const Written& file) {
  QFile f(QString::fromStdString(file.path.string()));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

TEST(PedigreeChartPicture, FilesKeepTheirFormatAndTexts) {
  const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(7, 200));
  auto ped = test::Loaded(random.text);
  const std::string id = random.individuals.back().id;
  const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, id), 5);
  const Picture picture = PedigreeChartPicture(chart);
  EXPECT_EQ(picture.title.toStdString(), "Pedigree chart of " + id);

  // SVG: well formed, every ID of the chart among its texts.
  const Written svg = Write(picture, "t.svg", QSize(1600, 1000));
  QXmlStreamReader xml(Bytes(svg));
  QSet<QString> texts;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
      texts.insert(xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  for (const ChartBox& box : chart.boxes)
    if (box.rec != kUnknownParent) {
      EXPECT_TRUE(texts.contains(QString::fromStdString(box.id))) << box.id;
    }
  EXPECT_TRUE(texts.contains(picture.title));

  const struct {
    const char* name;
    QSize pixels;
  } sizes[] = {{"default", QSize()}, {"small", QSize(320, 200)}, {"tall", QSize(700, 2400)}};
  for (const auto& row : sizes) {
    const Written png = Write(picture, std::string(row.name) + ".png", row.pixels);
    const QImage image = QImage::fromData(Bytes(png), "PNG");
    EXPECT_EQ(image.size(), row.pixels.isEmpty() ? kDefaultPixels : row.pixels) << row.name;
  }
  const Written pdf = Write(picture, "t.pdf", QSize());
  EXPECT_TRUE(Bytes(pdf).startsWith("%PDF")) << "pdf";
}

}  // namespace
}  // namespace kinvar::pictures
