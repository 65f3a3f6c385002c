// The pedigree file Save As writes after View Pedigree, read again: every F
// comes back bit for bit, whatever the display number format, while the
// report on screen keeps the display format.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "app/document.h"
#include "report/number_format.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

using test::Bits;
using test::DocSession;
using test::FById;
using test::KnownF;

// What the text was made with: F predefined on a line or through a full sib.
FById PredefinedF(const test::RandomPedigree& made) {
  FById known;
  for (const test::RandomIndividual& r : made.individuals)
    known[r.id] = r.fPredefined ? std::optional(Bits(*r.fPredefined)) : std::nullopt;
  return known;
}

// Saved after View Pedigree under `format` and opened in a new document.
FById Reopened(DocSession& s, int format) {
  s.doc.settings().numberFormat = format;
  s.doc.RunCommand(kCmdViewPedigree);
  const std::string saved = s.SaveAs();
  EXPECT_NE(saved.find("F\n\n"), std::string::npos) << "the F column is headed F";
  DocSession back(saved);
  EXPECT_EQ(back.doc.lastCommand(), kCmdViewPedigree) << back.platform.MessageTexts().size();
  // Every F that comes back is a predefined one.
  for (const Rec& r : back.doc.pedigree().recs) EXPECT_TRUE(r.f == -1.0f || r.fPredefined) << r.id;
  return KnownF(back.doc.pedigree());
}

TEST(SavedPedigreeFile, GivesBackEveryFBitForBitUnderEveryFormat) {
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 120);
    options.fColumn = true;
    const test::RandomPedigree made = test::MakeRandomPedigree(options);
    DocSession s(made.text);
    ASSERT_EQ(KnownF(s.doc.pedigree()), PredefinedF(made)) << "seed " << seed;
    for (int format = 0; format <= 7; ++format)
      EXPECT_EQ(Reopened(s, format), PredefinedF(made)) << "seed " << seed << " format " << format;

    s.doc.RunCommand(kCmdCompute);
    ASSERT_TRUE(s.doc.pedigree().inbreedingComputed);
    const FById computed = KnownF(s.doc.pedigree());
    for (const auto& [id, f] : computed) ASSERT_TRUE(f.has_value()) << id;
    for (int format = 0; format <= 7; ++format)
      EXPECT_EQ(Reopened(s, format), computed) << "seed " << seed << " format " << format;
  }
}

TEST(SavedPedigreeFile, KeepsTheDisplayFormatOnScreenOnly) {
  DocSession s("progeny sire dam f\nA 0 0 0.1\nB 0 0 .\nC A B .\nD C B .\n");
  s.doc.RunCommand(kCmdCompute);
  s.doc.settings().numberFormat = 4;
  s.doc.RunCommand(kCmdViewPedigree);
  EXPECT_EQ(s.Report()[2], "A|T1|M0|T1|F0|T1|A0.100 |X*");
  EXPECT_EQ(s.Report()[5], "D|T1|MC|T1|FB|T1|A0.250");
  const std::string saved = s.SaveAs();
  const std::string body = saved.substr(saved.find("Progeny"));
  EXPECT_EQ(body,
            "Progeny               Sire                  Dam                   F\n\n"
            "A                     0                     0                     0.1\n"
            "B                     0                     0                     0\n"
            "C                     A                     B                     0\n"
            "D                     C                     B                     0.25\n\n");

  // Reopened, the computed coefficients are predefined ones: none is evaluated.
  DocSession back(saved);
  back.doc.RunCommand(kCmdCompute);
  EXPECT_EQ(back.Report()[2], "No. of evaluated individuals|T7|T7|I0");
}

}  // namespace
}  // namespace kinvar
