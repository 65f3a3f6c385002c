// The rules by which a text line is refused rather than guessed at: each
// mistake that used to be read as something else is the case, its exact
// refusal (line, column, text) or the records it now gives the expectation.
// The parallel reader gives up on every refused file and on every file whose
// lines it would cut differently, and numbers the lines as the one-thread
// reader does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pedigree/chunk_reader.h"
#include "pedigree/load.h"
#include "pedigree/reader.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

struct Row {
  const char* name;
  std::string text;
  std::string records;            // as test::RecordLines gives them
  const char* message = nullptr;  // refused with exactly this
};

void ExpectRows(const Row* begin, const Row* end) {
  for (const Row* row = begin; row != end; ++row) {
    Pedigree ped;
    test::ExpectRead(row->name, row->text, row->records, row->message, ped);
  }
}

TEST(TextRules, ANumberCellIsWhollyANumberOrRefused) {
  const Row rows[] = {
      {"letters as F", "Progeny Sire Dam F\nA 0 0 abc\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"abc\""},
      {"letters after F", "Progeny Sire Dam F\nA 0 0 0.5xyz\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"0.5xyz\""},
      {"two decimal points", "Progeny Sire Dam F\nA 0 0 0.2.5\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"0.2.5\""},
      {"two decimal commas at semicolons", "Progeny;Sire;Dam;F\nA;0;0;0,2,5\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"0,2,5\""},
      {"text after a quoted F", "Progeny,Sire,Dam,F\nA,0,0,\"0.5\"garbage\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: "
       "\"0.5garbage\""},
      {"not a number", "Progeny Sire Dam F\nA 0 0 nan\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"nan\""},
      {"a long cell", "Progeny;Sire;Dam;F\nA;0;0;0.000000000000000000000000000001\n", "",
       "Error in line 2.\nThe length of each field should not be more than 20.\nColumn F: "
       "\"0.000000000000000000000000000001\""},
      {"fraction as group", "Progeny Sire Dam Group\nA 0 0 3.0\n", "",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn Group: \"3.0\""},
      {"exponent as group", "Progeny Sire Dam Group\nA 0 0 1e3\n", "",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn Group: \"1e3\""},
      {"numbers written whole", "Progeny;Sire;Dam;F;Group\nA;0;0;0,25;007\nB;0;0;1e-1;.\nC;0;0;+0.5;0\n",
       "A 0 0 7 0.250000 ? .\nB 0 0 . 0.100000 ? .\nC 0 0 0 0.500000 ? .\n"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(TextRules, AFieldBeyondTheHeaderIsRefused) {
  const Row rows[] = {
      {"a name with a blank shifts the line", "Progeny Sire Dam\nS1 0 0\nD1 0 0\nBIG BEN S1 D1\n", "",
       "Error in line 4.\nThe field \"D1\" stands beyond the columns that the header names. Remove it, or name "
       "its column in the header; an ID cannot contain blanks."},
      {"an extra field at commas", "Progeny,Sire,Dam\nX1,S1,D1,extra\n", "",
       "Error in line 2.\nThe field \"extra\" stands beyond the columns that the header names. Remove it, or name "
       "its column in the header; an ID cannot contain blanks."},
      {"an extra field after empty ones", "Progeny;Sire;Dam\nX1;S1;D1;;;x\n", "",
       "Error in line 2.\nThe field \"x\" stands beyond the columns that the header names. Remove it, or name "
       "its column in the header; an ID cannot contain blanks."},
      {"empty trailing fields as spreadsheets write them", "Progeny,Sire,Dam\nX1,0,0,\nX2,X1,0,,,\n",
       "X1 0 0 . . ? .\nX2 X1 0 . . ? .\n"},
      {"a trailing tab", "Progeny\tSire\tDam\nX1\t0\t0\t\n", "X1 0 0 . . ? .\n"},
      {"named extra columns stay ignored", "Progeny Sire Dam Colour Notes\nX1 0 0 red calm\nX2 X1 0\n",
       "X1 0 0 . . ? .\nX2 X1 0 . . ? .\n"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(TextRules, IdsHoldNoQuoteNoControlCharacterAndAreNotNa) {
  const Row rows[] = {
      {"an unclosed quote", "Progeny,Sire,Dam\n\"S1,0,0\nA,S1,0\n", "",
       "Error in line 2.\nThe format is not correct.\nThe double quote that opens \"S1,0,0\" is not closed on the "
       "line."},
      {"an unclosed quote in an ignored column", "Progeny Sire Dam Notes\nA 0 0 \"calm\n", "",
       "Error in line 2.\nThe format is not correct.\nThe double quote that opens \"calm\" is not closed on the "
       "line."},
      {"a quote inside an ID", "Progeny Sire Dam\nA\"B 0 0\n", "",
       "Error in line 2, column Progeny.\nThe ID \"A\"B\" contains a double quote. IDs cannot contain double quotes, "
       "since Kinvar reads a double quote in its files as the start of a quoted field."},
      {"a quoted ID is read without its quotes", "Progeny,Sire,Dam\n\"Q\",0,0\n", "Q 0 0 . . ? .\n"},
      {"a control character in a sire", std::string("Progeny Sire Dam\nA S\x01 0\n"), "",
       "Error in line 2, column Sire.\nThe ID \"S?\" contains a control character (shown as ?). IDs cannot contain "
       "control characters."},
      {"a vertical tab in a dam", "Progeny;Sire;Dam\nA;0;D\v1\n", "",
       "Error in line 2, column Dam.\nThe ID \"D?1\" contains a control character (shown as ?). IDs cannot contain "
       "control characters."},
      {"NA as an individual", "ID Sire Dam\nS 0 0\nna S NA\n", "",
       "Error in line 3, column ID.\nThe ID \"na\" means an unknown parent, so no individual can have it."},
      {"NA quoted as an individual", "ID,Sire,Dam\n\"NA\",0,0\n", "",
       "Error in line 2, column ID.\nThe ID \"NA\" means an unknown parent, so no individual can have it."},
      {"NA as a parent stays unknown", "ID Sire Dam\nS 0 0\nA S na\n", "S 0 0 . . ? .\nA S 0 . . ? .\n"},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

TEST(TextRules, HeadersAndLineEndsAsTheyAreWritten) {
  const Row rows[] = {
      {"blanks around semicolons", "Animal ; Father ; Mother\nS;0;0\nD ; 0 ; 0\nA;S;D\n",
       "S 0 0 . . ? .\nD 0 0 . . ? .\nA S D . . ? .\n"},
      {"blanks around semicolons with F", "Progeny ; Sire ; Dam ; F\nA;0;0;0,5\n", "A 0 0 . 0.500000 ? .\n"},
      {"carriage returns alone", "! old\rProgeny Sire Dam\rS 0 0\r\rA S 0\r", "S 0 0 . . ? .\nA S 0 . . ? .\n"},
      {"mixed line ends", "Progeny Sire Dam\r\nS 0 0\rA S 0\nB A 0", "S 0 0 . . ? .\nA S 0 . . ? .\nB A 0 . . ? .\n"},
      {"a header and no animal", "! c\nProgeny Sire Dam\n\n  \n", "", "The file has a header row but no animal."},
      {"nothing", "\n\n", "", "File is empty."},
      {"line numbers count lone carriage returns", "Progeny Sire Dam\rS 0 0\r\nA S 0 x\n", "",
       "Error in line 3.\nThe field \"x\" stands beyond the columns that the header names. Remove it, or name "
       "its column in the header; an ID cannot contain blanks."},
  };
  ExpectRows(std::begin(rows), std::end(rows));
}

// Rows that come as cells (workbooks, R and Python) meet the same cell
// rules; cells beyond the named columns are not theirs to check.
TEST(TextRules, RowsOfCellsMeetTheSameRules) {
  const struct {
    const char* name;
    std::vector<std::string> progeny, f;
    const char* message;
  } rows[] = {
      {"F with letters after it", {"A", "B"}, {".", "0.5x"},
       "Error in line 3.\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"0.5x\""},
      {"a line break in an ID", {"A", "B\nC"}, {".", "."},
       "Error in line 3, column Progeny.\nThe ID \"B?C\" contains a control character (shown as ?). IDs cannot "
       "contain control characters."},
      {"quotes around an ID", {"\"Q\"", "B"}, {".", "."},
       "Error in line 2, column Progeny.\nThe ID \"\"Q\"\" contains a double quote. IDs cannot contain double "
       "quotes, since Kinvar reads a double quote in its files as the start of a quoted field."},
      {"NA as an individual", {"A", "NA"}, {".", "."},
       "Error in line 3, column Progeny.\nThe ID \"NA\" means an unknown parent, so no individual can have it."},
  };
  SilentProgressWindow window;
  Progress progress(window);
  for (const auto& row : rows) {
    PedigreeColumns columns;
    columns.names = {"Progeny", "Sire", "Dam", "F"};
    columns.cells = {row.progeny, {"0", "0"}, {"0", "0"}, row.f};
    Pedigree ped;
    const LoadOutcome outcome = LoadPedigreeColumns(columns, ped, progress);
    EXPECT_EQ(outcome.status, LoadStatus::kReadFailed) << row.name;
    EXPECT_EQ(outcome.message, row.message) << row.name;
  }
}

// A file longer than the chunk reader's blocks: `head`, `line` repeated,
// `tail`.
std::string Repeated(const std::string& head, const std::string& line, int times, const std::string& tail) {
  std::string text = head;
  for (int i = 0; i < times; ++i) text += line + std::to_string(i) + " 0 0\n";
  return text + tail;
}

TEST(TextRules, TheParallelReaderGivesUpWhereTheRulesRefuse) {
  const std::string head = "Progeny Sire Dam F\n";
  const struct {
    const char* name;
    std::string text;
  } rows[] = {
      {"not a number", Repeated(head, "A", 3000, "B 0 0 0.5x\n")},
      {"a field beyond", Repeated("Progeny Sire Dam\n", "A", 3000, "BIG BEN 0 0\n")},
      {"an unclosed quote", Repeated(head, "A", 3000, "\"B 0 0\n")},
      {"a control character", Repeated(head, "A", 3000, "B\x02 0 0\n")},
      {"NA", Repeated(head, "A", 3000, "NA 0 0\n")},
      {"a carriage return alone", Repeated(head, "A", 3000, "B 0 0\rC 0 0\n")},
      {"carriage returns alone throughout", "Progeny Sire Dam\rA 0 0\rB A 0\r" + std::string(9000, ' ') + "\n"},
  };
  SilentProgressWindow window;
  Progress progress(window);
  for (const auto& row : rows) {
    const test::TempFile file(row.text);
    Pedigree ped;
    EXPECT_EQ(ReadPedigreeInChunks(file.path(), ped, progress, 3, 4096), ChunkRead::kGaveUp) << row.name;
  }
}

TEST(TextRules, BothReadersNumberTheLinesAlike) {
  std::string text = "! comment\n\nProgeny Sire Dam\n";
  for (int i = 0; i < 4000; ++i) {
    text += "I" + std::to_string(i) + (i < 5 ? " 0 0" : " I" + std::to_string(i / 2) + " 0") + "\r\n";
    if (i % 7 == 0) text += "   \n";
    if (i % 11 == 0) text += "\n\n";
  }
  const test::TempFile file(text);
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree one;
  ASSERT_TRUE(ReadPedigree(file.path(), one, progress).ok);
  ASSERT_EQ(one.lines.size(), 4000u);
  EXPECT_EQ(one.lines.front(), 4);
  for (const int threads : {1, 3}) {
    Pedigree many;
    ASSERT_EQ(ReadPedigreeInChunks(file.path(), many, progress, threads, 4096), ChunkRead::kRead);
    EXPECT_EQ(many.lines, one.lines) << threads;
  }
}

// Blank lines take no memory: what is reserved follows the records.
TEST(TextRules, BlankLinesReserveNoRecords) {
  const std::string text = "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\nD A B\nE C D\n" + std::string(3'000'000, '\n') +
                           std::string(1000, ' ') + "\r\n";
  const test::TempFile file(text);
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree one;
  ASSERT_TRUE(ReadPedigree(file.path(), one, progress).ok);
  EXPECT_LT(one.recs.capacity(), 100u);
  EXPECT_LT(one.links.capacity(), 100u);
  Pedigree many;
  ASSERT_EQ(ReadPedigreeInChunks(file.path(), many, progress, 2), ChunkRead::kRead);
  EXPECT_EQ(many.nRead, 5);
  EXPECT_LT(many.recs.capacity(), 100u);
  Pedigree loaded;
  ASSERT_EQ(test::LoadPath(file.path(), loaded).status, LoadStatus::kLoaded);
  EXPECT_EQ(loaded.nTotal, 5);
}

// A FIFO gives its bytes once: the pedigree is read from one open.
TEST(TextRules, APipeIsReadInOnePass) {
  const std::string path = testing::TempDir() + "/kinvar-fifo-" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const std::string text = "Progeny Sire Dam\nS 0 0\nD 0 0\nA S D\n";
  std::thread writer([&] {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  });
  Pedigree ped;
  const LoadOutcome outcome = test::LoadPath(path, ped);
  writer.join();
  std::filesystem::remove(path);
  ASSERT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message;
  EXPECT_EQ(test::RecordLines(ped), "S 0 0 . . ? .\nD 0 0 . . ? .\nA S D . . ? .\n");
}

}  // namespace
}  // namespace kinvar
