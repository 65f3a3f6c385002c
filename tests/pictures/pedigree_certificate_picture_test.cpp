// The pedigree certificate: its exact texts for a small pedigree, every
// ancestor of 3, 4 and 5 generations in its place with the F of the
// tabular method on random pedigrees, no text wider than its place even for
// IDs of 20 characters, and one A4 portrait page in the PDF.
#include "pictures/pedigree_certificate_picture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar::pictures {
namespace {

std::vector<std::string> Texts(const CertificateLayout& layout) {
  std::vector<std::string> texts;
  for (const CertificateText& t : layout.texts) texts.push_back(t.text.toStdString());
  return texts;
}

TEST(PedigreeCertificate, GenerationsAreThreeFourOrFive) {
  const struct {
    int generations;
    const char* problem;
  } rows[] = {{2, "A pedigree certificate shows 3, 4 or 5 generations."}, {3, ""}, {4, ""}, {5, ""},
              {6, "A pedigree certificate shows 3, 4 or 5 generations."}};
  for (const auto& row : rows)
    EXPECT_EQ(CertificateGenerationsProblem(row.generations), row.problem) << row.generations;
}

// X of a full-sib mating (F 1/4); B's birth date and D's sex are not in
// the file, D is a dam and so female.
constexpr const char* kSmall =
    "Progeny Sire Dam Sex Birth_date\n"
    "S 0 0 M 2010-03-01\n"
    "D 0 0 . 2011-04-02\n"
    "A S D M 2015-05-05\n"
    "B S D F .\n"
    "X A B F 2020-07-07\n"
    "Y 0 B . .\n";

TEST(PedigreeCertificate, TheTextsOfASmallPedigreeInReadingOrder) {
  const std::string born2010 = "born 2010 \xC2\xB7 F 0", born2011 = "born 2011 \xC2\xB7 F 0";
  const struct {
    const char* name;
    const char* id;
    std::vector<std::string> texts;
  } rows[] = {
      {"both parents known",
       "X",
       {"Pedigree Certificate", "ID", "X", "Sex", "female", "Birth date", "2020-07-07", "F", "0.25",
        "Sire", "A", "Dam", "B", "Parents", "A", "born 2015 \xC2\xB7 F 0", "B", "F 0", "Grandparents",
        "S", born2010, "D", born2011, "S", born2010, "D", born2011, "Great-grandparents", "unknown",
        "unknown", "unknown", "unknown", "unknown", "unknown", "unknown", "unknown",
        "F: inbreeding coefficient, from the whole pedigree."}},
      {"an unknown sire and nothing known of the animal",
       "Y",
       {"Pedigree Certificate", "ID", "Y", "Sex", "unknown", "Birth date", "unknown", "F", "0", "Sire",
        "unknown", "Dam", "B", "Parents", "unknown", "B", "F 0", "Grandparents", "S", born2010, "D",
        born2011, "Great-grandparents", "unknown", "unknown", "unknown", "unknown",
        "F: inbreeding coefficient, from the whole pedigree."}},
  };
  for (const auto& row : rows) {
    auto ped = test::Loaded(kSmall);
    const PedigreeCertificate certificate = BuildPedigreeCertificate(*ped, test::RecordOfId(*ped, row.id), 3);
    EXPECT_EQ(Texts(LayOutPedigreeCertificate(certificate)), row.texts) << row.name;
  }
}

// The ancestor in place (g, k) by the generated parents: slot 2k of
// generation g is the sire of slot k of generation g - 1.
std::string AncestorAt(const std::map<std::string, const test::RandomIndividual*>& byId,
                       const std::string& id, int g, int k) {
  std::string at = id;
  for (int level = g - 1; level >= 0 && !at.empty(); --level) {
    const test::RandomIndividual& r = *byId.at(at);
    at = ((k >> level) & 1) == 0 ? r.sire : r.dam;
  }
  return at;
}

TEST(PedigreeCertificate, EveryAncestorStandsInItsPlaceWithItsF) {
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= 16; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 200);
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    auto ped = test::Loaded(random.text);
    std::map<std::string, const test::RandomIndividual*> byId;
    for (const test::RandomIndividual& r : random.individuals) byId[r.id] = &r;
    const test::DenseMatrix a = test::TabularA(*ped);
    const auto tabularF = [&](const std::string& id) {
      const std::size_t k = static_cast<std::size_t>(ped->rec(test::RecordOfId(*ped, id)).code - 1);
      return a(k, k) - 1;
    };
    // The individual with the most known ancestors five generations back.
    std::string id;
    int most = -1;
    for (const test::RandomIndividual& r : random.individuals) {
      int known = 0;
      for (int g = 1; g <= 5; ++g)
        for (int k = 0; k < (1 << g); ++k) known += AncestorAt(byId, r.id, g, k).empty() ? 0 : 1;
      if (known > most) std::tie(most, id) = std::pair(known, r.id);
    }
    for (const int generations : {3, 4, 5}) {
      const std::string where = "seed " + std::to_string(seed) + ", " + std::to_string(generations);
      PedigreeCertificate certificate = BuildPedigreeCertificate(*ped, test::RecordOfId(*ped, id), generations);
      certificate.chart.numberFormat = 1;
      const CertificateLayout layout = LayOutPedigreeCertificate(certificate);
      const std::vector<std::string> texts = Texts(layout);
      // The place boxes in reading order: each known one is its ID, then
      // its detail; an unknown one with a known child says "unknown".
      std::size_t next = static_cast<std::size_t>(
          std::find(texts.begin(), texts.end(), "Parents") - texts.begin());
      for (int g = 1; g <= generations; ++g) {
        for (int k = 0; k < (1 << g); ++k) {
          const std::string child = AncestorAt(byId, id, g - 1, k / 2);
          if (child.empty()) continue;
          const std::string ancestor = AncestorAt(byId, id, g, k);
          const auto found = std::find(texts.begin() + static_cast<std::ptrdiff_t>(next), texts.end(),
                                       ancestor.empty() ? "unknown" : ancestor);
          ASSERT_NE(found, texts.end()) << where << " place " << g << "," << k << " " << ancestor;
          next = static_cast<std::size_t>(found - texts.begin()) + 1;
          if (ancestor.empty()) continue;
          const std::string detail = texts[next];
          const std::size_t f = detail.rfind("F ");
          ASSERT_NE(f, std::string::npos) << where << " " << detail;
          EXPECT_NEAR(std::stod(detail.substr(f + 2)), tabularF(ancestor), 1e-5) << where << " " << ancestor;
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 500);  // the seeds reach deep enough to test something
}

TEST(PedigreeCertificate, NoTextIsWiderThanItsPlaceAndAllStayOnThePage) {
  // IDs of 20 characters, the longest the reader takes, five generations deep.
  std::string text = "Progeny Sire Dam\n";
  const auto name = [](int g, int k) {
    std::string id = "G" + std::to_string(g) + "K" + std::to_string(k) + "-";
    return id + std::string(20 - id.size(), 'W');
  };
  for (int g = 5; g >= 0; --g)
    for (int k = 0; k < (1 << g); ++k)
      text += name(g, k) + " " + (g == 5 ? "0 0" : name(g + 1, 2 * k) + " " + name(g + 1, 2 * k + 1)) + "\n";
  auto ped = test::Loaded(text);
  for (const int generations : {3, 4, 5}) {
    const CertificateLayout layout =
        LayOutPedigreeCertificate(BuildPedigreeCertificate(*ped, test::RecordOfId(*ped, name(0, 0)), generations));
    const QRectF page(QPointF(0, 0), layout.size);
    for (const CertificateText& t : layout.texts) {
      EXPECT_LE(TextWidth(t.font, t.text), t.rect.width() + 0.01) << generations << " " << t.text.toStdString();
      EXPECT_TRUE(page.contains(t.rect)) << generations << " " << t.text.toStdString();
      EXPECT_GT(t.font.pointSizeF(), 0.0) << generations;
    }
  }
}

TEST(PedigreeCertificate, ThePdfIsOneA4PortraitPage) {
  auto ped = test::Loaded(kSmall);
  const Picture picture = PedigreeCertificatePicture(*ped, test::RecordOfId(*ped, "X"), 4);
  EXPECT_EQ(picture.title, QStringLiteral("Pedigree certificate of X"));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("c.pdf"));
  QString error;
  ASSERT_TRUE(WritePicture(picture, path, kDefaultPixels, error)) << error.toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString pdf = QString::fromLatin1(file.readAll());
  // 210 mm by 297 mm are 595 by 842 points.
  const QRegularExpression box(QStringLiteral("/MediaBox \\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]"));
  const QRegularExpressionMatch match = box.match(pdf);
  ASSERT_TRUE(match.hasMatch());
  EXPECT_NEAR(match.captured(1).toDouble(), 595.0, 1.0);
  EXPECT_NEAR(match.captured(2).toDouble(), 842.0, 1.0);
  EXPECT_EQ(pdf.count(QStringLiteral("/Type /Page\n")) + pdf.count(QStringLiteral("/Type /Page ")) +
                pdf.count(QStringLiteral("/Type /Page/")),
            1);
}

}  // namespace
}  // namespace kinvar::pictures
