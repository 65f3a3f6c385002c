// Genomic against pedigree F: the points are the table's animals that have
// both coefficients, the line is the least-squares line worked out here by
// its normal equations, the animals named are the furthest from it found by
// brute force, and the picture names them and no other.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/genomic_relationship_command.h"
#include "pictures/charts.h"
#include "support/doc_session.h"
#include "support/table_cells.h"

namespace kinvar::pictures {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Animal {
  std::string id;
  double fPedigree, fG, fHom, fRoh;
};

// The command's table as it writes it: floats rounded to 32 bits.
ResultSet TableOf(const std::vector<Animal>& animals) {
  ResultSet tables;
  ResultTable& t = tables.Add("genomic_inbreeding");
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("f_pedigree", ColumnType::kReal);
  t.AddColumn("f_g", ColumnType::kReal);
  t.AddColumn("f_hom", ColumnType::kReal);
  t.AddColumn("f_roh", ColumnType::kReal);
  for (const Animal& a : animals)
    t.AddRow().Id(a.id).Real(a.fPedigree).Real(a.fG).Real(a.fHom).Real(a.fRoh);
  return tables;
}

double Measure(const Animal& a, GenomicMeasure m) {
  return m == GenomicMeasure::kDiagonal ? a.fG : m == GenomicMeasure::kHomozygosity ? a.fHom : a.fRoh;
}

struct Expected {
  std::vector<std::string> ids;  // the points, in the table's order
  double slope = 0, intercept = 0;
  std::vector<std::string> named;
};

// The line from the normal equations over sums, the furthest by sorting
// every point's absolute residual (ties: the earlier row first).
Expected Independent(const std::vector<Animal>& animals, GenomicMeasure m, std::size_t named) {
  Expected e;
  std::vector<std::pair<double, double>> xy;
  for (const Animal& a : animals) {
    if (std::isnan(a.fPedigree) || std::isnan(Measure(a, m))) continue;
    e.ids.push_back(a.id);
    xy.emplace_back(a.fPedigree, Measure(a, m));
  }
  const double n = static_cast<double>(xy.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const auto& [x, y] : xy) sx += x, sy += y, sxx += x * x, sxy += x * y;
  const double det = n * sxx - sx * sx;
  e.slope = std::abs(det) > 1e-12 * n * n ? (n * sxy - sx * sy) / det : 0.0;
  e.intercept = (sy - e.slope * sx) / n;
  std::vector<std::size_t> order(xy.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  const auto residual = [&](std::size_t k) { return std::abs(xy[k].second - e.intercept - e.slope * xy[k].first); };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return residual(a) > residual(b); });
  for (std::size_t k = 0; k < std::min(named, order.size()); ++k) e.named.push_back(e.ids[order[k]]);
  return e;
}

void ExpectScatter(const Scatter& s, const Expected& e, const std::string& where) {
  ASSERT_EQ(s.points.size(), e.ids.size()) << where;
  for (std::size_t k = 0; k < e.ids.size(); ++k) EXPECT_EQ(s.points[k].id.toStdString(), e.ids[k]) << where;
  EXPECT_NEAR(s.slope, e.slope, 1e-9) << where;
  EXPECT_NEAR(s.intercept, e.intercept, 1e-9) << where;
  std::vector<std::string> named;
  for (const std::size_t k : s.named) named.push_back(s.points[k].id.toStdString());
  EXPECT_EQ(named, e.named) << where;
}

std::vector<Animal> RandomAnimals(std::uint32_t seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> f(0.0, 0.3), noise(-0.08, 0.08);
  std::vector<Animal> animals;
  for (int k = 0; k < count; ++k) {
    const double x = rng() % 4 == 0 ? 0.0 : static_cast<double>(static_cast<float>(f(rng)));
    Animal a{"A" + std::to_string(k), x, static_cast<float>(x - 0.05 + noise(rng)),
             static_cast<float>(0.9 * x + noise(rng)), static_cast<float>(x + 0.02 + noise(rng) / 2)};
    // Some animals have no F_hom (nothing called) or no F_ROH (no map).
    if (rng() % 7 == 0) a.fHom = kNaN;
    if (rng() % 5 == 0) a.fRoh = kNaN;
    animals.push_back(a);
  }
  return animals;
}

TEST(GenomicScatter, NamesAtMostTenAndAThirdOfASmallSet) {
  const struct {
    std::size_t points, named;
  } rows[] = {{0, 0}, {1, 1}, {2, 1}, {5, 1}, {6, 2}, {17, 5}, {30, 10}, {31, 10}, {5000, 10}};
  for (const auto& row : rows) EXPECT_EQ(NamedCount(row.points), row.named) << row.points << " points";
}

TEST(GenomicScatter, PointsLineAndNamedAnimalsMatchAnIndependentFit) {
  const struct Row {
    const char* name;
    std::vector<Animal> animals;
  } rows[] = {
      // On y = 2x + 0.1 but for one far off (F_G: E above; F_hom: E below;
      // F_ROH: C above) and B a little below.
      {"one outlier",
       {{"A", 0.0, 0.1, 0.1, 0.1}, {"B", 0.1, 0.28, 0.28, 0.28}, {"C", 0.2, 0.5, 0.5, 0.9},
        {"D", 0.3, 0.7, 0.7, 0.7}, {"E", 0.25, 0.95, 0.3, 0.6}, {"F", 0.05, 0.2, 0.2, 0.2}}},
      // Every pedigree F the same: the line is flat at the mean.
      {"no spread of pedigree F", {{"A", 0.0, 0.1, 0.0, 0.0}, {"B", 0.0, -0.2, 0.1, 0.0}, {"C", 0.0, 0.4, 0.2, 0.0}}},
      {"random 40", RandomAnimals(1, 40)},
      {"random 200", RandomAnimals(2, 200)},
      {"random 9", RandomAnimals(3, 9)},
  };
  for (const Row& row : rows) {
    const ResultSet tables = TableOf(row.animals);
    for (const GenomicMeasure m : kGenomicMeasures) {
      const std::string where = std::string(row.name) + " / " + MeasureName(m).toStdString();
      const Scatter s = GenomicInbreedingScatter(tables, m);
      const Expected e = Independent(row.animals, m, NamedCount(Independent(row.animals, m, 0).ids.size()));
      ExpectScatter(s, e, where);
      EXPECT_EQ(s.yTitle, MeasureName(m)) << where;
      for (std::size_t k = 0; k < s.points.size(); ++k) {
        const auto it = std::find_if(row.animals.begin(), row.animals.end(),
                                     [&](const Animal& a) { return a.id == s.points[k].id.toStdString(); });
        EXPECT_EQ(s.points[k].x, it->fPedigree) << where;
        EXPECT_EQ(s.points[k].y, Measure(*it, m)) << where;
      }
    }
  }
  const struct {
    GenomicMeasure measure;
    const char* furthest;
  } outliers[] = {{GenomicMeasure::kDiagonal, "E"}, {GenomicMeasure::kHomozygosity, "E"}, {GenomicMeasure::kRuns, "C"}};
  for (const auto& o : outliers) {
    const Scatter outlier = GenomicInbreedingScatter(TableOf(rows[0].animals), o.measure);
    ASSERT_EQ(outlier.named.size(), 2u);
    EXPECT_EQ(outlier.points[outlier.named[0]].id, QString::fromUtf8(o.furthest)) << MeasureName(o.measure).toStdString();
  }
}

TEST(GenomicScatter, AnimalsWithoutTheCoefficientAreLeftOutAndCounted) {
  const ResultSet tables = TableOf({{"A", 0.0, 0.1, kNaN, kNaN}, {"B", 0.1, 0.2, 0.1, kNaN}, {"C", kNaN, 0.3, 0.2, 0.1}});
  const struct {
    GenomicMeasure measure;
    std::size_t points;
    const char* leftOut;  // the note, "" for none
  } rows[] = {{GenomicMeasure::kDiagonal, 2, "Left out, without this coefficient: 1"},
              {GenomicMeasure::kHomozygosity, 1, "Left out, without this coefficient: 2"},
              {GenomicMeasure::kRuns, 0, "Left out, without this coefficient: 3"}};
  for (const auto& row : rows) {
    const Scatter s = GenomicInbreedingScatter(tables, row.measure);
    EXPECT_EQ(s.points.size(), row.points) << MeasureName(row.measure).toStdString();
    EXPECT_TRUE(s.notes.contains(QString::fromUtf8(row.leftOut))) << s.notes.join('|').toStdString();
  }
  // Without points there is no line and nothing to name, and still a picture.
  const Scatter none = GenomicInbreedingScatter(tables, GenomicMeasure::kRuns);
  EXPECT_TRUE(std::isnan(none.slope));
  EXPECT_TRUE(none.named.empty());
  EXPECT_FALSE(ScatterPicture(none).size.isEmpty());
  EXPECT_TRUE(GenomicInbreedingScatter(ResultSet(), GenomicMeasure::kDiagonal).points.empty());
}

// The herd's genotypes through the command: every genotyped animal is a
// point at its pedigree F and its genomic F of the table, and F_G names the
// animals the report lists furthest first.
TEST(GenomicScatter, TheHerdsPointsAreTheCommandsTable) {
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"));
  // The form in its declaration's order, every box at its default.
  std::vector<std::string> form;
  for (const Parameter& p : GenomicInbreedingDeclaration().parameters) form.push_back(p.defaultText);
  form.front() = KINVAR_EXAMPLES_DIR "/herd-genotypes.vcf";
  s.platform.forms = {form};
  s.doc.RunCommand(kCmdGenomicInbreeding);
  ASSERT_EQ(s.doc.lastCommand(), kCmdGenomicInbreeding);
  const ResultSet& tables = s.doc.pedigree().report.tables();
  const ResultTable& t = *tables.Find("genomic_inbreeding");
  const std::vector<std::string> ids = test::TextCells(t, "id");
  const std::vector<double> x = test::RealCells(t, "f_pedigree"), fg = test::RealCells(t, "f_g");
  const std::vector<double> fhom = test::RealCells(t, "f_hom"), froh = test::RealCells(t, "f_roh");
  std::vector<Animal> animals;
  for (std::size_t k = 0; k < ids.size(); ++k) animals.push_back({ids[k], x[k], fg[k], fhom[k], froh[k]});
  for (const GenomicMeasure m : kGenomicMeasures) {
    const Scatter scatter = GenomicInbreedingScatter(tables, m);
    const std::size_t named = NamedCount(Independent(animals, m, 0).ids.size());
    ExpectScatter(scatter, Independent(animals, m, named), MeasureName(m).toStdString());
  }
  // The report's furthest animals are those of the chart, its first five.
  const std::vector<std::string> furthest = test::TextCells(*tables.Find("genomic_inbreeding_furthest"), "id");
  const Scatter scatter = GenomicInbreedingScatter(tables, GenomicMeasure::kDiagonal);
  ASSERT_EQ(scatter.named.size(), 5u);
  for (std::size_t k = 0; k < scatter.named.size(); ++k)
    EXPECT_EQ(scatter.points[scatter.named[k]].id.toStdString(), furthest[k]);
}

QStringList SvgTexts(const Picture& picture) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "kinvar-genomic-scatter.svg";
  QString error;
  EXPECT_TRUE(WritePicture(picture, QString::fromStdString(path.string()), kDefaultPixels, error));
  QFile file(QString::fromStdString(path.string()));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(file.readAll());
  std::filesystem::remove(path);
  QStringList texts;
  while (!xml.atEnd())
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
      texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
  EXPECT_FALSE(xml.hasError());
  return texts;
}

// The named animals are written once each beside their points, the others
// not at all; the legend says which line is which; nothing runs off the
// picture; a double click on a point gives its animal.
TEST(GenomicScatter, ThePictureNamesTheFurthestAndSaysWhichLineIsWhich) {
  const std::vector<Animal> animals = RandomAnimals(4, 60);
  const Scatter s = GenomicInbreedingScatter(TableOf(animals), GenomicMeasure::kDiagonal);
  ASSERT_EQ(s.named.size(), 10u);
  const Picture picture = ScatterPicture(s);
  const QStringList texts = SvgTexts(picture);
  EXPECT_TRUE(texts.contains(s.title));
  EXPECT_TRUE(texts.contains(QStringLiteral("y = x, where genomic and pedigree F agree")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Least-squares line")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Named: the 10 furthest from the least-squares line")));
  std::vector<bool> named(s.points.size(), false);
  for (const std::size_t k : s.named) named[k] = true;
  for (std::size_t k = 0; k < s.points.size(); ++k)
    EXPECT_EQ(texts.count(s.points[k].id), named[k] ? 1 : 0) << s.points[k].id.toStdString();

  const QSize size = picture.size.toSize();
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintFitted(picture, painter, QRectF(QPointF(0, 0), picture.size));
  }
  int inked = 0;
  for (int y = 0; y < size.height(); ++y)
    for (int x = size.width() - 6; x < size.width(); ++x) inked += image.pixel(x, y) != qRgb(255, 255, 255);
  for (int x = 0; x < size.width(); ++x)
    for (int y = size.height() - 6; y < size.height(); ++y) inked += image.pixel(x, y) != qRgb(255, 255, 255);
  EXPECT_EQ(inked, 0);

  // The animals are found where their points are (all but a few hidden
  // under a neighbour), and nothing where none is.
  std::vector<bool> found(s.points.size(), false);
  for (double y = 0; y < picture.size.height(); y += 2)
    for (double x = 0; x < picture.size.width(); x += 2) {
      const QString id = picture.idAt(QPointF(x, y));
      for (std::size_t k = 0; k < s.points.size() && !id.isEmpty(); ++k)
        if (s.points[k].id == id) found[k] = true;
    }
  EXPECT_GE(std::count(found.begin(), found.end(), true), static_cast<long>(s.points.size() * 9 / 10));
  EXPECT_TRUE(picture.idAt(QPointF(1, 1)).isEmpty());
}

}  // namespace
}  // namespace kinvar::pictures
