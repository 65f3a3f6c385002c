#include "report/markup.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kinvar {
namespace {

std::string Blanks(std::size_t n) { return std::string(n, ' '); }
std::string Stars(std::size_t n) { return std::string(n, '*'); }
std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

struct LayoutRow { const char* name; std::string line; std::string text; };

const LayoutRow kLayoutRows[] = {
    {"SireDamCoancestry", "Sire|T1Dam|T1Coancestry",
     "Sire" + Blanks(18) + "Dam" + Blanks(19) + "Coancestry"},
    {"T1", "|T1x", Blanks(22) + "x"},
    {"T2", "|T2x", Blanks(12) + "x"},
    {"T3", "|T3x", Blanks(52) + "x"},
    {"T4", "|T4x", Blanks(16) + "x"},
    {"T5", "|T5x", Blanks(10) + "x"},
    {"T6", "|T6x", Blanks(6) + "x"},
    {"T7", "|T7x", Blanks(17) + "x"},
    {"RunOfTabsAfterEmptyField", "|T1|T6x", Blanks(28) + "x"},
    {"FieldOneShortOfStopFits", Repeat('a', 21) + "|T1b", Repeat('a', 21) + " b"},
    {"FieldReachingStopOverflows", Repeat('a', 22) + "|T1b", Stars(20) + "  b"},
    {"OverflowDiscardsTextBeyondStop", Repeat('a', 30) + "|T1b", Stars(20) + "  b"},
    {"OverflowStartsAtPreviousStop", "ab|T1" + Repeat('c', 25) + "|T6z",
     "ab" + Blanks(20) + Stars(4) + "  z"},
    // The widths of a run are summed before the field is measured.
    {"RunMeasuresFieldAgainstSummedStop", Repeat('a', 25) + "|T1|T6x",
     Repeat('a', 25) + Blanks(3) + "x"},
    {"RunOverflowCoversWholeRun", Repeat('a', 28) + "|T1|T6x", Stars(26) + "  x"},
    {"SeparatedTabsMeasureEachField", Repeat('a', 25) + "|T1.|T6x",
     Stars(20) + "  ." + Blanks(5) + "x"},
    {"TabWithOtherDigitMovesNothing", "a|T9b|T0c", "abc"},
    {"ColourCodesTakeNoColumn", "|XAB|AC", "ABC"},
    {"UnknownCodesConsumed", "a|Qb|zc||d", "abcd"},
    {"TabConsumesTheCharacterAfterIt", "a|T|Ab", "aAb"},
    {"DanglingBarAndTabConsumed", "ab|T", "ab"},
    {"DanglingBar", "ab|", "ab"},
    {"TrailingTabPads", "ab|T6", "ab" + Blanks(4)},
    {"TextAfterLastTabNeverCut", "|T6" + Repeat('z', 60), Blanks(6) + Repeat('z', 60)},
    {"ExclamationIsOrdinaryText", "!comment|T6x", Stars(4) + "  x"},
    {"MatingLine", "12|T7|M3|T7|F4|T7|AABC",
     "12" + Blanks(15) + "3" + Blanks(16) + "4" + Blanks(16) + "ABC"},
    {"Empty", "", ""},
    // Columns count characters: "Müll" is 5 bytes and 4 columns.
    {"Utf8NamesAlignByCharacters", "M\xC3\xBCll|T6x", "M\xC3\xBCll  x"},
    {"Utf8FieldPaddedByCharacters", "\xC3\x89|T1B", "\xC3\x89" + Blanks(21) + "B"},
    {"Utf8OverflowCountsCharacters", Repeat('a', 20) + "\xC3\xA9\xC3\xA9|T1b", Stars(20) + "  b"},
    {"Utf8OneShortOfStopFits", Repeat('a', 20) + "\xC3\xA9|T1b", Repeat('a', 20) + "\xC3\xA9 b"},
};

class MarkupLayout : public testing::TestWithParam<LayoutRow> {};

TEST_P(MarkupLayout, ExpandsToColumnsWithNewline) {
  EXPECT_EQ(ExpandMarkup(GetParam().line), GetParam().text + "\n");
}

TEST_P(MarkupLayout, GivesOneAttributePerCharacter) {
  for (const bool colour : {true, false}) {
    const LaidOutLine out = LayOutLine(GetParam().line, colour);
    EXPECT_EQ(out.text, GetParam().text);
    EXPECT_EQ(out.attributes.size(), out.text.size());
  }
}

TEST_P(MarkupLayout, AppendsAfterWhatTheBufferHolds) {
  std::string out = "kept|T1";
  AppendExpandedMarkup(out, GetParam().line);
  EXPECT_EQ(out, "kept|T1" + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, MarkupLayout, testing::ValuesIn(kLayoutRows),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(MarkupAttributes, ColourCodesColourTheTextAfterThemAndPaddingIsBlack) {
  const LaidOutLine out = LayOutLine("|MSire|T1|FDam|T1|Iv|Cw|Xx|Ay");
  EXPECT_EQ(out.attributes, "MMMM" + Repeat('A', 18) + "FFF" + Repeat('A', 19) + "ICXA");
}

TEST(MarkupAttributes, BlackAndWhiteTurnsEveryColourCodeBlack) {
  const LaidOutLine out = LayOutLine("|MSire|T1|FDam|T1|Iv|Cw|Xx|Ay", false);
  EXPECT_EQ(out.attributes, Repeat('A', out.text.size()));
}

TEST(MarkupAttributes, OverflowAsterisksKeepBrickRedInBlackAndWhite) {
  const std::string line = "|M" + Repeat('a', 22) + "|T1b";
  EXPECT_EQ(LayOutLine(line, true).attributes, Repeat('X', 20) + "AAM");
  EXPECT_EQ(LayOutLine(line, false).attributes, Repeat('X', 20) + "AAA");
}

TEST(MarkupAttributes, UnknownCodeBecomesTheAttributeOfTheTextAfterIt) {
  EXPECT_EQ(LayOutLine("|Ca|Qb|T9c").attributes, "CQQ");
  EXPECT_EQ(LayOutLine("ab").attributes, "AA");
}

// Lines of random fields, codes and UTF-8 text, overflowing or not, some
// ending in a lone "|" or "|T": what a file receives is the text the view
// lays out, whichever way it was laid out.
TEST(MarkupFiles, FilesGetTheViewsTextOnRandomLines) {
  const std::string pieces[] = {"|T1", "|T2", "|T3", "|T4", "|T5", "|T6", "|T7", "|T9", "|T",
                                "|M", "|F", "|I", "|X", "|A", "|Q", "|", "||", "\xC3\xA9",
                                "\xE2\x82\xAC", "a", "ID", " ", "0.125"};
  std::mt19937 random(7);
  for (int n = 0; n < 20000; ++n) {
    std::string line;
    const int count = static_cast<int>(random() % 12);
    for (int k = 0; k < count; ++k) {
      const std::string& piece = pieces[random() % std::size(pieces)];
      line += piece.size() == 1 && piece != "|" ? std::string(random() % 30, piece[0]) : piece;
    }
    SCOPED_TRACE(line);
    std::string out;
    AppendExpandedMarkup(out, line);
    ASSERT_EQ(out, LayOutLine(line, false).text);
    ASSERT_EQ(ExpandMarkup(line), out + "\n");
  }
}

}  // namespace
}  // namespace kinvar
