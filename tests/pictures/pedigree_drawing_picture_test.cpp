// The pedigree drawing as a picture: Graphviz's layout on random pedigrees
// (no two nodes overlap, rows from top to bottom in order, each edge from
// its parent's node to its progeny's), and its files: SVG that parses with
// every ID as text, PNG of the size asked.
#include "pictures/pedigree_drawing_picture.h"

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

bool Overlap(const QRectF& a, const QRectF& b) {
  return a.left() < b.right() && b.left() < a.right() && a.top() < b.bottom() && b.top() < a.bottom();
}

// Within `slack` units of the rectangle.
bool Near(const QPointF& p, const QRectF& r, double slack = 2.0) {
  return r.adjusted(-slack, -slack, slack, slack).contains(p);
}

void CheckLayout(const PedigreeDrawing& drawing, const DrawingLayout& layout, const std::string& where) {
  ASSERT_EQ(layout.nodes.size(), drawing.nodes.size()) << where;
  ASSERT_EQ(layout.edges.size(), drawing.edges.size()) << where;
  const QRectF whole(QPointF(0, 0), layout.size);
  for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
    const QRectF& a = layout.nodes[i];
    EXPECT_TRUE(whole.contains(a)) << where << " node " << i;
    EXPECT_FALSE(Overlap(a, layout.legend)) << where << " node " << i;
    for (std::size_t j = i + 1; j < layout.nodes.size(); ++j) {
      const QRectF& b = layout.nodes[j];
      ASSERT_FALSE(Overlap(a, b)) << where << " nodes " << i << ", " << j;
      const int ra = drawing.nodes[i].row, rb = drawing.nodes[j].row;
      // One row per generation: same centre line, and a later row lower down.
      if (ra == rb) {
        EXPECT_NEAR(a.center().y(), b.center().y(), 0.01) << where << " " << i << ", " << j;
      } else {
        EXPECT_EQ(ra < rb, a.bottom() < b.top()) << where << " " << i << ", " << j;
      }
    }
  }
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    const QPainterPath& path = layout.edges[e];
    ASSERT_FALSE(path.isEmpty()) << where << " edge " << e;
    const QRectF& parent = layout.nodes[static_cast<std::size_t>(drawing.edges[e].parent)];
    const QRectF& progeny = layout.nodes[static_cast<std::size_t>(drawing.edges[e].progeny)];
    EXPECT_TRUE(Near(path.pointAtPercent(0), parent)) << where << " edge " << e;
    EXPECT_TRUE(Near(path.pointAtPercent(1), progeny)) << where << " edge " << e;
  }
}

TEST(PedigreeDrawingPicture, NodesNeverOverlapAndRowsGoDown) {
  for (std::uint64_t seed = 1; seed <= 10; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 150);
    options.maxFamilySize = 6;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    auto ped = test::Loaded(random.text);
    for (std::size_t chosen = 0; chosen < random.individuals.size(); chosen += 30)
      for (const Kinship kinship : {Kinship::kAncestors, Kinship::kDescendants}) {
        RecIndex x = kUnknownParent;
        for (RecIndex i = 1; i <= ped->nTotal; ++i)
          if (ped->rec(i).Id() == random.individuals[chosen].id) x = i;
        const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, {kinship, x, -1, 0});
        CheckLayout(drawing, LayOutPedigreeDrawing(drawing),
                    "seed " + std::to_string(seed) + " " + random.individuals[chosen].id);
      }
  }
}

struct Written {
  std::filesystem::path path;
  ~Written() { std::filesystem::remove(path); }
};

QByteArray Write(const Picture& picture, const std::string& name, QSize pixels) {
  const Written file{std::filesystem::temp_directory_path() / ("kinvar-drawing-" + name)};
  QString error;
  EXPECT_TRUE(WritePicture(picture, QString::fromStdString(file.path.string()), pixels, error))
      << error.toStdString();
  QFile f(QString::fromStdString(file.path.string()));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

// A double click on an animal's node names it; a family's node, which
// stands for several, names nobody.
TEST(PedigreeDrawingPicture, NamesTheAnimalOfEachIndividualNode) {
  test::RandomPedigreeOptions options = test::VariedOptions(3, 120);
  options.maxFamilySize = 6;
  auto ped = test::Loaded(test::MakeRandomPedigree(options).text);
  for (const Kinship kinship : {Kinship::kAncestors, Kinship::kDescendants}) {
    for (RecIndex x = 1; x <= ped->nTotal; x += 17) {
      const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, {kinship, x, -1, 0});
      const DrawingLayout layout = LayOutPedigreeDrawing(drawing);
      const Picture picture = PedigreeDrawingPicture(drawing, layout);
      ASSERT_TRUE(picture.idAt);
      for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
        const DrawingNode& node = drawing.nodes[i];
        const std::string expected = node.kind == DrawingNodeKind::kIndividual ? node.id : "";
        EXPECT_EQ(picture.idAt(layout.nodes[i].center()).toStdString(), expected) << x << " node " << i;
      }
      EXPECT_TRUE(picture.idAt(layout.title.center()).isEmpty()) << x;
    }
  }
}

TEST(PedigreeDrawingPicture, FilesKeepTheirFormatAndTexts) {
  const std::string text =
      "progeny sire dam group\nS 0 0 1\nD 0 0 .\nM 0 0 .\nF1 S D .\nF2 S D 2\nF3 S D 2\nF4 S D .\n"
      "F5 S D .\nH F1 M 2\n";
  auto ped = test::Loaded(text);
  const struct {
    const char* name;
    Kinship kinship;
    std::int32_t group;
    const char* title;
    std::vector<std::string> texts;
  } rows[] = {
      {"descendants of S", Kinship::kDescendants, -1, "Descendants of individual S",
       {"S", "D", "F1", "M", "H", "4 full sibs", "of S x D", "Mate from outside", "F"}},
      {"ancestors of group 2", Kinship::kAncestors, 1, "Ancestors of group 2",
       {"S", "D", "F1", "F2", "F3", "M", "H", "Group 2"}},
  };
  for (const auto& row : rows) {
    DrawingRequest request{row.kinship, kUnknownParent, row.group, 0};
    if (row.group < 0) request.individual = 1;  // S, the first line
    const Picture picture = PedigreeDrawingPicture(BuildPedigreeDrawing(*ped, request));
    EXPECT_EQ(picture.title.toStdString(), row.title) << row.name;
    QXmlStreamReader xml(Write(picture, "t.svg", QSize(1600, 1000)));
    QSet<QString> texts;
    while (!xml.atEnd())
      if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
        texts.insert(xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
    ASSERT_FALSE(xml.hasError()) << row.name << ": " << xml.errorString().toStdString();
    EXPECT_TRUE(texts.contains(picture.title)) << row.name;
    for (const std::string& t : row.texts) EXPECT_TRUE(texts.contains(QString::fromStdString(t))) << row.name << " " << t;
    for (const QSize pixels : {QSize(1600, 1000), QSize(300, 900)}) {
      const QImage image = QImage::fromData(Write(picture, "t.png", pixels), "PNG");
      EXPECT_EQ(image.size(), pixels) << row.name;
    }
  }
}

}  // namespace
}  // namespace kinvar::pictures
