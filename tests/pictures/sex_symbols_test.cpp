// The sex symbols of the chart and the drawing, read back from their SVG
// files: before each animal's ID stands a square (male), a circle (female)
// or a diamond (not known), the sex taken from the Sex column, else from
// the animal's role as a parent; and the birth year shows where it is known.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "pictures/pedigree_chart_picture.h"
#include "pictures/pedigree_drawing_picture.h"
#include "support/test_files.h"

namespace kinvar::pictures {
namespace {

QByteArray Svg(const Picture& picture) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("p.svg"));
  QString error;
  EXPECT_TRUE(WritePicture(picture, path, QSize(1600, 1000), error)) << error.toStdString();
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

// The shape drawn last before each text, by the text: "square", "circle",
// "diamond" or what else it was; and the text right after each text.
struct SvgReading {
  std::map<std::string, std::string> shapeBefore;
  std::map<std::string, std::string> textAfter;
};

std::string ShapeOf(const QXmlStreamReader& xml) {
  const auto number = [&](const char* name) { return xml.attributes().value(QLatin1String(name)).toDouble(); };
  if (xml.name() == QLatin1String("circle")) return "circle";
  if (xml.name() == QLatin1String("ellipse"))
    return std::abs(number("rx") - number("ry")) < 0.01 ? "circle" : "ellipse";
  if (xml.name() == QLatin1String("rect"))
    return std::abs(number("width") - number("height")) < 0.01 ? "square" : "rectangle";
  if (xml.name() == QLatin1String("polygon")) {
    const QStringList corners =
        xml.attributes().value(QLatin1String("points")).toString().simplified().split(QLatin1Char(' '));
    return corners.size() == 4 ? "diamond" : "polygon";
  }
  // Qt writes a polygon as a path: a move, then straight lines back to
  // its start.
  if (xml.name() == QLatin1String("path")) {
    const QString d = xml.attributes().value(QLatin1String("d")).toString();
    const QStringList moves = d.split(QRegularExpression(QStringLiteral("[ML]")), Qt::SkipEmptyParts);
    const bool straight = !d.contains(QLatin1Char('C')) && d.count(QLatin1Char('M')) == 1;
    if (straight && moves.size() == 5 && moves.front().trimmed() == moves.back().trimmed()) return "diamond";
  }
  return "path";
}

SvgReading Read(const QByteArray& svg) {
  SvgReading reading;
  QXmlStreamReader xml(svg);
  std::string shape = "none", previousText;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto name = xml.name();
    if (name == QLatin1String("rect") || name == QLatin1String("ellipse") ||
        name == QLatin1String("polygon") || name == QLatin1String("path") || name == QLatin1String("circle") ||
        name == QLatin1String("polyline")) {
      shape = ShapeOf(xml);
    } else if (name == QLatin1String("text")) {
      const std::string text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().toStdString();
      reading.shapeBefore.emplace(text, shape);
      if (!previousText.empty()) reading.textAfter.emplace(previousText, text);
      previousText = text;
      shape = "none";
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return reading;
}

const char* Symbol(Sex sex) {
  return sex == Sex::kMale ? "square" : sex == Sex::kFemale ? "circle" : "diamond";
}

// herd.pdg has no Sex column: sires are male, dams female, and C2 and the
// other animals without progeny unknown. The small file has one: its word
// stands, and a dam with "." in it is female by her role.
constexpr const char* kWithSexColumn =
    "Progeny Sire Dam Sex Birth_date\n"
    "S 0 0 M 2010-03-01\n"
    "D 0 0 . 2011-04-02\n"
    "A S D M 2015-05-05\n"
    "B S D F .\n"
    "X A B F 2020-07-07\n"
    "Y A B . .\n";

struct Row {
  const char* name;
  std::string text;
  const char* individual;
  std::map<std::string, Sex> sexes;  // every animal of the picture
};

std::vector<Row> Rows() {
  return {
      {"herd.pdg, sex by role",
       test::ReadWholeFile(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"),
       "C2",
       {{"C2", Sex::kUnknown}, {"B1", Sex::kMale}, {"B3", Sex::kFemale}, {"A1", Sex::kMale},
        {"A4", Sex::kFemale}, {"A3", Sex::kMale}, {"A2", Sex::kFemale}, {"S1", Sex::kMale},
        {"D1", Sex::kFemale}, {"S2", Sex::kMale}, {"D3", Sex::kFemale}, {"D2", Sex::kFemale}}},
      {"a Sex column first, then the role",
       kWithSexColumn,
       "X",
       {{"X", Sex::kFemale}, {"A", Sex::kMale}, {"B", Sex::kFemale}, {"S", Sex::kMale}, {"D", Sex::kFemale}}},
      {"neither a Sex word nor a role", kWithSexColumn, "Y", {{"Y", Sex::kUnknown}, {"A", Sex::kMale}}},
  };
}

TEST(SexSymbols, TheChartShowsEachAnimalsSymbolBeforeItsId) {
  for (const Row& row : Rows()) {
    auto ped = test::Loaded(row.text);
    const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, row.individual), 4);
    const SvgReading svg = Read(Svg(PedigreeChartPicture(chart)));
    for (const auto& [id, sex] : row.sexes) {
      ASSERT_TRUE(svg.shapeBefore.count(id)) << row.name << ": " << id;
      EXPECT_EQ(svg.shapeBefore.at(id), Symbol(sex)) << row.name << ": " << id;
    }
  }
}

TEST(SexSymbols, TheDrawingShowsEachAnimalsSymbolBeforeItsId) {
  for (const Row& row : Rows()) {
    auto ped = test::Loaded(row.text);
    DrawingRequest request;
    request.individual = test::RecordOfId(*ped, row.individual);
    const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, request);
    const SvgReading svg = Read(Svg(PedigreeDrawingPicture(drawing)));
    for (const auto& [id, sex] : row.sexes) {
      ASSERT_TRUE(svg.shapeBefore.count(id)) << row.name << ": " << id;
      EXPECT_EQ(svg.shapeBefore.at(id), Symbol(sex)) << row.name << ": " << id;
    }
  }
}

// A mate from outside of a descendants drawing has its symbol too: the
// sires of A's and B's progeny are drawn small beside them.
TEST(SexSymbols, MatesFromOutsideHaveTheirSymbol) {
  auto ped = test::Loaded(test::ReadWholeFile(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"));
  DrawingRequest request;
  request.kinship = Kinship::kDescendants;
  request.individual = test::RecordOfId(*ped, "D1");
  const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, request);
  const SvgReading svg = Read(Svg(PedigreeDrawingPicture(drawing)));
  for (const auto& [id, sex] : std::map<std::string, Sex>{{"D1", Sex::kFemale}, {"S1", Sex::kMale},
                                                           {"A4", Sex::kFemale}, {"A1", Sex::kMale}}) {
    ASSERT_TRUE(svg.shapeBefore.count(id)) << id;
    EXPECT_EQ(svg.shapeBefore.at(id), Symbol(sex)) << id;
  }
}

TEST(SexSymbols, TheBirthYearShowsWhereItIsKnown) {
  auto ped = test::Loaded(kWithSexColumn);
  const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, "X"), 2);
  const SvgReading chartSvg = Read(Svg(PedigreeChartPicture(chart)));
  const struct {
    const char* id;
    const char* detail;
  } chartRows[] = {
      {"X", "female \xC2\xB7 born 2020 \xC2\xB7 F 0.25"},
      {"A", "male \xC2\xB7 born 2015 \xC2\xB7 F 0"},
      {"B", "female \xC2\xB7 F 0"},
      {"S", "male \xC2\xB7 born 2010 \xC2\xB7 F 0"},
      {"D", "female \xC2\xB7 born 2011 \xC2\xB7 F 0"},
  };
  for (const auto& row : chartRows) {
    ASSERT_TRUE(chartSvg.textAfter.count(row.id)) << row.id;
    EXPECT_EQ(chartSvg.textAfter.at(row.id), row.detail) << row.id;
  }

  DrawingRequest request;
  request.individual = test::RecordOfId(*ped, "X");
  const SvgReading drawingSvg = Read(Svg(PedigreeDrawingPicture(BuildPedigreeDrawing(*ped, request))));
  const struct {
    const char* id;
    const char* after;  // the year, or the next node's ID when none is known
  } drawingRows[] = {{"S", "2010"}, {"D", "2011"}, {"A", "2015"}, {"X", "2020"}};
  for (const auto& row : drawingRows) {
    ASSERT_TRUE(drawingSvg.textAfter.count(row.id)) << row.id;
    EXPECT_EQ(drawingSvg.textAfter.at(row.id), row.after) << row.id;
  }
  ASSERT_TRUE(drawingSvg.textAfter.count("B"));
  EXPECT_NE(drawingSvg.textAfter.at("B").find_first_not_of("0123456789"), std::string::npos);
}

}  // namespace
}  // namespace kinvar::pictures
