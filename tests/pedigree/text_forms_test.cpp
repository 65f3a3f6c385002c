// The forms of delimited text that spreadsheets and R write: each rule on a
// small file with the records it gives or its exact message, the parallel
// reader against the one-thread reader on the same forms, and the rows of a
// workbook against the same pedigree as text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "genetics/inbreeding.h"
#include "pedigree/chunk_reader.h"
#include "pedigree/load.h"
#include "pedigree/reader.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Days from 1970-01-01, counted here without the reader's formula.
std::string D(int year, int month, int day) {
  std::int32_t days = 0;
  for (int y = 1970; y < year; ++y) days += (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 ? 366 : 365;
  const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m < month; ++m) {
    days += lengths[m - 1] + (m == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0);
  }
  return std::to_string(days + day - 1);
}

// Each rule on a small file: the records it gives, or its exact refusal. A
// column named by its own name wins over a synonym.
TEST(TextForms, EachFormGivesItsRecordsOrItsMessage) {
  struct Row {
    const char* name;
    std::string text;
    std::string records;
    const char* message = nullptr;  // refused with this message
  };
  const Row rows[] = {
      {"blanks, tabs and commas as always", "progeny sire dam\nS 0 0\nD 0 0\nA,,S \t D\n",
       "S 0 0 . . ? .\nD 0 0 . . ? .\nA S D . . ? .\n"},
      {"semicolons, blanks around, empty cells", "Animal ; Father;Mother;F\nS;;;\nD; ;0;0,25\nA;S;D;\n",
       "S 0 0 . . ? .\nD 0 0 . 0.250000 ? .\nA S D . . ? .\n"},
      {"comma file with empty cells split again", "Progeny,Sire,Dam,Sex\nS,,,M\nD,,,F\nA,S,D,\n",
       "S 0 0 . . M .\nD 0 0 . . F .\nA S D . . ? .\n"},
      {"tab file with empty cells", "Progeny\tSire\tDam\tGroup\nS\t\t\t7\nA\tS\t\t\n",
       "S 0 0 7 . ? .\nA S 0 . . ? .\n"},
      {"quotes of write.csv, row names ignored", "\"\",\"Animal\",\"Sire\",\"Dam\"\n\"1\",\"S\",NA,NA\n"
       "\"2\",\"D\",NA,NA\n\"3\",\"A\",\"S\",\"D\"\n",
       "S 0 0 . . ? .\nD 0 0 . . ? .\nA S D . . ? .\n"},
      {"quotes in a blank-separated file", "\"ID\" \"Sire\" \"Dam\"\n\"S\" \"0\" \"0\"\n\"A\" \"S\" \"0\"\n",
       "S 0 0 . . ? .\nA S 0 . . ? .\n"},
      {"doubled quote inside quotes", "ID,Sire,Dam\n\"S\"\"1\",0,0\n", "",
       "Error in line 2, column ID.\nThe ID \"S\"1\" contains a double quote. IDs cannot contain double quotes, since "
       "Kinvar reads a double quote in its files as the start of a quoted field."},
      {"byte-order mark", "\xEF\xBB\xBFID;Sire;Dam\nA;0;0\n", "A 0 0 . . ? .\n"},
      {"synonyms in any case", "INDIVIDUAL FATHER MOTHER COHORT INBREEDING GENDER DOB\nA 0 0 3 0.5 female 2021-04-17\n",
       "A 0 0 3 0.500000 F " + D(2021, 4, 17) + "\n"},
      {"names with blanks in a comma header", "Name,Father,Mother,Birth year,Date of birth\nA,0,0,2021,2021\n",
       "A 0 0 2021 . ? " + D(2021, 7, 1) + "\n"},
      {"ignored columns, forbidden characters in them",
       "Colour;Animal;Notes;Sire;Dam;Breeder\nred;A;<fine> | ok!;0;0;x\n", "A 0 0 . . ? .\n"},
      {"NA parents are unknown", "ID Sire Dam\nS1 0 0\nS2 0 0\nX1 S1 NA\nX2 S2 na\nY X1 X2\n",
       "S1 0 0 . . ? .\nS2 0 0 . . ? .\nX1 S1 0 . . ? .\nX2 S2 0 . . ? .\nY X1 X2 . . ? .\n"},
      {"NA as an individual", "progeny sire dam\nA 0 NA\nNa 0 0\n", "",
       "Error in line 3, column progeny.\nThe ID \"Na\" means an unknown parent, so no individual can have it."},
      {"NA, empty and dot as missing group and F", "ID;Sire;Dam;Group;F\nA;0;0;NA;na\nB;0;0;;\nC;0;0;.;.\n",
       "A 0 0 . . ? .\nB 0 0 . . ? .\nC 0 0 . . ? .\n"},
      {"largest groups", "ID Sire Dam Group\nA 0 0 2021\nB 0 0 2147483647\nC 0 0 0\n",
       "A 0 0 2021 . ? .\nB 0 0 2147483647 . ? .\nC 0 0 0 . ? .\n"},
      {"sexes", "ID Sire Dam Sex\nA 0 0 m\nB 0 0 MALE\nC 0 0 1\nD 0 0 f\nE 0 0 Female\nG 0 0 2\nH 0 0 .\n",
       "A 0 0 . . M .\nB 0 0 . . M .\nC 0 0 . . M .\nD 0 0 . . F .\nE 0 0 . . F .\nG 0 0 . . F .\n"
       "H 0 0 . . ? .\n"},
      {"dates", "ID Sire Dam Born\nA 0 0 1970-01-01\nB 0 0 2000-02-29\nC 0 0 1969-12-31\nE 0 0 1900\n",
       "A 0 0 . . ? 0\nB 0 0 . . ? " + D(2000, 2, 29) + "\nC 0 0 . . ? -1\nE 0 0 . . ? " +
           "-25386\n"},  // 1 July 1900: 25567 - 181 days before 1970
      {"two synonyms of one column", "Animal ID Sire Dam\nA B 0 0\n", "",
       "Error: The header names the column Progeny twice: \"Animal\" and \"ID\"."},
      {"one name twice", "ID;Sire;Dam;sire\nA;0;0;0\n", "",
       "Error: The header names the column Sire twice: \"Sire\" and \"sire\"."},
      {"empty individual", "ID;Sire;Dam\n;0;0\n", "", "Error in line 2, column ID.\nThe individual has no ID."},
      {"blank in an ID", "ID,Sire,Dam\n\"A B\",0,0\n", "",
       "Error in line 2, column ID.\nThe ID \"A B\" contains a blank. IDs cannot contain blanks, since Kinvar "
       "writes its files with blanks between the columns."},
      {"comma in a quoted ID", "ID,Sire,Dam\n\"A,1\",0,0\n", "",
       "Error in line 2, column ID.\nThe ID \"A,1\" contains a comma. IDs cannot contain commas, since Kinvar "
       "reads a comma in its files as a blank between the columns."},
      {"comma in a sire at semicolons", "Animal;Father;Mother\nA;0,;0\n", "",
       "Error in line 2, column Father.\nThe ID \"0,\" contains a comma. IDs cannot contain commas, since Kinvar "
       "reads a comma in its files as a blank between the columns."},
      {"blank in a dam", "ID;Sire;Dam\nA;0;D 1\n", "",
       "Error in line 2, column Dam.\nThe ID \"D 1\" contains a blank. IDs cannot contain blanks, since Kinvar "
       "writes its files with blanks between the columns."},
      {"unknown sex", "ID Sire Dam Gender\nA 0 0 X\n", "",
       "Error in line 2, column Gender.\nThe sex must be M, F, male, female, 1 or 2 (1 male, 2 female), or "
       "empty or \".\" when it is not known; \"X\" is none of these."},
      {"30 February", "ID;Sire;Dam;Birth date\nA;0;0;2021-02-30\n", "",
       "Error in line 2, column Birth date.\n\"2021-02-30\" is not a birth date. Write a date as 2021-04-17, or a "
       "year alone as 2021."},
      {"29 February of a common year", "ID Sire Dam DOB\nA 0 0 2021-02-29\n", "",
       "Error in line 2, column DOB.\n\"2021-02-29\" is not a birth date. Write a date as 2021-04-17, or a year "
       "alone as 2021."},
      {"day before month", "ID Sire Dam DOB\nA 0 0 17.04.2021\n", "",
       "Error in line 2, column DOB.\n\"17.04.2021\" is not a birth date. Write a date as 2021-04-17, or a year "
       "alone as 2021."},
      {"group beyond 32 bits", "ID Sire Dam Herd\nA 0 0 2147483648\n", "",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn Herd: \"2147483648\""},
      {"semicolon file with too few cells", "ID;Sire;Dam\nA;0\n", "", "Error in line 2.\nThe format is not correct."},
      {"decimal comma above one", "ID;Sire;Dam;F\nA;0;0;1,5\n", "",
       "Error in line 2.\nThe inbreeding coefficient must be in the range of 0 - 1.\nColumn F: \"1,5\""},
      {"re-coding file: Progeny before Original ID", "Progeny Sire Dam Original ID\nA 0 0 a1\nB 0 0 b1\nC A B c1\n",
       "A 0 0 . . ? .\nB 0 0 . . ? .\nC A B . . ? .\n"},
      {"own name after a synonym", "ID;Sire;Dam;Progeny\nx;0;0;A\ny;0;0;B\n", "A 0 0 . . ? .\nB 0 0 . . ? .\n"},
      {"Sire before Father", "Animal;Sire;Dam;Father\nS;;;\nA;S;;Z\n", "S 0 0 . . ? .\nA S 0 . . ? .\n"},
      {"Mother before Dam", "Animal,Mother,Sire,Dam\nD,,,\nA,D,,Q\n", "D 0 0 . . ? .\nA 0 Q . . ? .\n"},
      {"two synonyms", "Animal Sire Dam ID\nA 0 0 a\n", "",
       "Error: The header names the column Progeny twice: \"Animal\" and \"ID\"."},
      {"two synonyms at semicolons", "Animal;Father;Dam;Born;DOB\nA;0;0;2020;2020\n", "",
       "Error: The header names the column Birth date twice: \"Born\" and \"DOB\"."},
      {"the five old names: the later column counts", "Progeny Sire Dam sire\nA 0 0 S\nB 0 0 A\n",
       "A S 0 . . ? .\nB A 0 . . ? .\n"},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    test::ExpectRead(row.name, row.text, row.records, row.message, ped);
  }
}

TEST(TextForms, ChunkReaderReadsTheNewFormsAsTheOneThreadReader) {
  const char* const heads[] = {"Animal;Father;Mother;Year;F;Sex;Born\n", "\"\",\"ID\",\"Sire\",\"Dam\",\"Herd\",\"F\",\"Sex\",\"DOB\"\n",
                               "Progeny\tSire\tDam\tGroup\tF\tSex\tBirth date\n"};
  SilentProgressWindow window;
  Progress progress(window);
  for (int form = 0; form < 3; ++form) {
    std::string text = heads[form];
    for (int i = 0; i < 3000; ++i) {
      const std::string id = "I" + std::to_string(i);
      const std::string sire = i < 10 ? "" : "I" + std::to_string(i % 10);
      const std::string dam = i < 20 || i % 3 == 0 ? "NA" : "I" + std::to_string(10 + i % 10);
      const std::string f = i % 4 == 0 ? "" : "0" + std::string(form == 0 ? "," : ".") + std::to_string(i % 9);
      const std::string sex = i % 5 == 0 ? "" : (i % 2 == 0 ? "F" : "M");
      const std::string born = i % 6 == 0 ? "" : std::to_string(1990 + i % 30) + (i % 2 == 0 ? "" : "-03-1" + std::to_string(i % 10));
      const std::string group = i % 7 == 0 ? "" : std::to_string(i * 100003 % 50000);
      const std::string cells[] = {id, sire, dam, group, f, sex, born};
      if (form == 1) text += "\"" + std::to_string(i + 1) + "\",";
      for (int c = 0; c < 7; ++c) {
        const char sep = form == 0 ? ';' : form == 1 ? ',' : '\t';
        text += (form == 1 && c < 3 ? "\"" + cells[c] + "\"" : cells[c]) + (c < 6 ? std::string(1, sep) : "\n");
      }
    }
    const test::TempFile file(text);
    Pedigree want;
    const ReadOutcome read = ReadPedigree(file.path(), want, progress);
    ASSERT_TRUE(read.ok) << form << read.message;
    for (const int threads : {1, 3}) {
      Pedigree got;
      ASSERT_EQ(ReadPedigreeInChunks(file.path(), got, progress, threads, 4096), ChunkRead::kRead) << form;
      ASSERT_EQ(got.recs.size(), want.recs.size());
      for (std::size_t i = 0; i < got.recs.size(); ++i) {
        const Rec& a = got.recs[i];
        const Rec& b = want.recs[i];
        ASSERT_EQ(std::string(a.id), std::string(b.id));
        EXPECT_EQ(std::tuple(a.f, a.fPredefined, a.group, a.sex, a.birth), std::tuple(b.f, b.fPredefined, b.group, b.sex, b.birth));
      }
      for (std::size_t i = 0; i < got.links.size(); ++i) {
        EXPECT_EQ(std::string(got.links[i].sire) + " " + got.links[i].dam, std::string(want.links[i].sire) + " " + want.links[i].dam);
      }
      EXPECT_EQ(got.groupOrder, want.groupOrder);
      EXPECT_EQ(std::tuple(got.sexColumn, got.birthColumn, got.fColumn, got.groupColumn),
                std::tuple(want.sexColumn, want.birthColumn, want.fColumn, want.groupColumn));
    }
  }
}

TEST(TextForms, WorkbookRowsGiveTheRecordsOfTheSameText) {
  const std::string text = "Animal;Father;Mother;F;Sex;Birth date\nS;;;;M;2019\nD;;;0,125;f;2019-05-02\nA;S;D;;;\n";
  Pedigree fromText;
  ASSERT_EQ(test::LoadText(text, fromText).status, LoadStatus::kLoaded);
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree fromRows;
  CellRowReader reader(fromRows, progress);
  const std::vector<std::vector<std::string_view>> rows = {
      {"Animal", "Father", "Mother", "F", "Sex", "Birth date"}, {}, {"S", "", "", "", "M", "2019"},
      {" D ", "", "", "0,125", "f", "2019-05-02"}, {"A", "S", "D"}};
  for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_TRUE(reader.Row(static_cast<std::int64_t>(i + 1), rows[i], 0));
  ASSERT_TRUE(reader.Finish());
  fromRows.nRead = static_cast<std::int32_t>(fromRows.recs.size() - 1);
  // Through the same validation as text: compare what the reader filled.
  for (RecIndex i = 1; i <= fromText.nRead; ++i) {
    EXPECT_EQ(std::string(fromRows.rec(i).id), std::string(fromText.rec(i).id));
    EXPECT_EQ(fromRows.rec(i).f, fromText.rec(i).f);
    EXPECT_EQ(fromRows.rec(i).sex, fromText.rec(i).sex);
    EXPECT_EQ(fromRows.rec(i).birth, fromText.rec(i).birth);
  }
  EXPECT_EQ(std::string(fromRows.links[2].sire) + fromRows.links[2].dam, "SD");

  Pedigree bad;
  CellRowReader badReader(bad, progress);
  const std::vector<std::string_view> header = {"ID", "Sire", "Dam", "Sex"};
  const std::vector<std::string_view> row = {"A", "0", "0", "X"};
  ASSERT_TRUE(badReader.Row(4, header, 0));
  ASSERT_FALSE(badReader.Row(9, row, 0));
  EXPECT_EQ(badReader.outcome().message.substr(0, 29), "Error in line 9, column Sex.\n");
}

// The spreadsheet export of the example herd: the same individuals and F as
// the text file, sexes that fit the roles and parents born before progeny.
TEST(TextForms, TheExampleHerdExportedAsTheText) {
  Pedigree text;
  Pedigree sheet;
  ASSERT_EQ(test::LoadPath(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg", text).status, LoadStatus::kLoaded);
  ASSERT_EQ(test::LoadPath(std::string(KINVAR_EXAMPLES_DIR) + "/herd.csv", sheet).status, LoadStatus::kLoaded);
  SilentProgressWindow window;
  Progress progress(window);
  ASSERT_TRUE(ComputeInbreeding(text, progress));
  ASSERT_TRUE(ComputeInbreeding(sheet, progress));
  ASSERT_EQ(sheet.nTotal, text.nTotal);
  for (RecIndex i = 1; i <= text.nTotal; ++i) {
    const Rec& r = text.rec(i);
    const Rec& s = sheet.rec(i);
    ASSERT_STREQ(s.id, r.id);
    EXPECT_STREQ(sheet.rec(s.sire).id, text.rec(r.sire).id) << r.id;
    EXPECT_STREQ(sheet.rec(s.dam).id, text.rec(r.dam).id) << r.id;
    EXPECT_EQ(s.f, r.f) << r.id;
    EXPECT_EQ(s.fPredefined, r.fPredefined) << r.id;
    if (s.sire != kUnknownParent) {
      EXPECT_EQ(sheet.rec(s.sire).sex, Sex::kMale) << r.id;
    }
    if (s.dam != kUnknownParent) {
      EXPECT_EQ(sheet.rec(s.dam).sex, Sex::kFemale) << r.id;
    }
    for (const RecIndex parent : {s.sire, s.dam}) {
      const Rec& p = sheet.rec(parent);
      if (parent != kUnknownParent && p.birth != kUnknownBirth) {
        EXPECT_LT(p.birth, s.birth) << r.id;
      }
    }
    // Groups of the text file are birth years: 1 is 2021.
    if (r.group >= 0) {
      EXPECT_EQ(static_cast<int>(s.birth / 365.2425) + 1970, 2020 + text.GroupNumber(r)) << r.id;
    }
  }
}

}  // namespace
}  // namespace kinvar
