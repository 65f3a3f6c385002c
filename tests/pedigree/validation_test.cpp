// Validation: the error list a rejected pedigree leaves in the report, and
// the counters a valid one leaves in the pedigree, against counts made from
// the text in the test.
#include "pedigree/validation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <array>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/load.h"
#include "pedigree/reader.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"
#include "support/workbook_writer.h"

namespace kinvar {
namespace {

using test::ReportLines;

using test::CopyFileLines;

// The report of a rejected file: its errors between the list's head and end.
std::vector<std::string> ErrorList(const std::vector<std::string>& errors) {
  std::vector<std::string> lines{"|XError(s) list:"};
  lines.insert(lines.end(), errors.begin(), errors.end());
  lines.insert(lines.end(), {"", "Correct the pedigree file."});
  return lines;
}

// What linking left behind in a rejected pedigree: nRead, nTotal, nFounders,
// nNonFounders; an added parent used in both roles was created twice and
// counts twice.
using Sizes = std::array<int, 4>;

// The errors of one ID, each with the lines of the rows at fault: in both
// roles (the first line naming it in each), listed twice, in a cycle.
std::string Both(const std::string& id, int sire, int dam) {
  return "|C" + id + " |Aappearing as both sire and dam (as a sire in line " + std::to_string(sire) +
         ", as a dam in line " + std::to_string(dam) + ").";
}
std::string Twice(const std::string& id, const std::string& lines) {
  return "|C" + id + " |Aappearing more than once in the progeny list (" + lines + ").";
}
std::string InCycle(const std::string& id, int line) {
  return "|C" + id + " |Aappearing in its ancestors list (Cycling pedigree), line " + std::to_string(line) + ".";
}
std::string UnknownProgeny(const std::string& lines) {
  return "There is at least one unknown ID in the progeny list (" + lines + ").";
}
// The lines of the family's members with a predefined F.
std::string FullSibsDiffer(const std::string& lines) {
  return "Predefined inbreeding coefficients of at least one full sib group are not the same (" + lines + ").";
}

TEST(ValidationErrors, AreListedInTheirOrderWithTheirLinesAndRejectTheFile) {
  struct Row {
    const char* name;
    const char* text;
    std::vector<std::string> errors;  // between "|XError(s) list:" and the closing pair
    Sizes sizes;
  };
  const Row rows[] = {
      {"UnknownProgenyOnceWithEachLine", "progeny sire dam\n0 0 0\n\n000 0 0\nA 0 0\n", {UnknownProgeny("lines 2, 4")},
       {3, 3, 3, 0}},
      {"UnknownWordAsProgeny", "progeny sire dam\nUnKnOwN 0 0\n", {UnknownProgeny("line 2")}, {1, 1, 1, 0}},
      {"ListedParentAsBothSexes", "progeny sire dam\nA 0 0\nB A 0\nC 0 A\n", {Both("A", 3, 4)}, {3, 3, 1, 2}},
      {"AddedParentAsBothSexes", "progeny sire dam\nB X 0\nC 0 X\n", {Both("X", 2, 3)}, {2, 4, 2, 2}},
      {"DuplicateOnceHoweverManyCopies", "progeny sire dam\nA 0 0\nB 0 0\nA 0 0\nA 0 0\n", {Twice("A", "lines 2, 4, 5")},
       {4, 4, 4, 0}},
      {"DuplicatesComparedAfterUpperCasing", "progeny sire dam\nab 0 0\nAB 0 0\n", {Twice("AB", "lines 2, 3")},
       {2, 2, 2, 0}},
      // Each time a record finds the other role's bit set the mark restarts.
      {"AlternatingRolesReportedAgain", "progeny sire dam\nP 0 0\nA P 0\nB 0 P\nC P 0\nD 0 P\n",
       {Both("P", 3, 4), Both("P", 3, 4)}, {5, 5, 1, 4}},
      // The file records are checked in ID order: K is found a dam at R,
      // after the copies of M; added parents come last.
      {"EveryCheckInTheListsOrder", "progeny sire dam\n0 0 0\nM 0 0\nM 0 0\nK 0 0\nQ K 0\nR 0 K\nS Y 0\nT 0 Y\n",
       {UnknownProgeny("line 2"), Twice("M", "lines 3, 4"), Both("K", 6, 7), Both("Y", 8, 9)}, {8, 10, 6, 4}},
      // Several IDs of one kind are listed in ID order, not in file order.
      {"DuplicatesInIdOrder", "progeny sire dam\nZ 0 0\nB 0 0\nZ 0 0\nB 0 0\nA1 0 0\nA1 0 0\n",
       {Twice("A1", "lines 6, 7"), Twice("B", "lines 3, 5"), Twice("Z", "lines 2, 4")}, {6, 6, 6, 0}},
      {"AddedParentsInIdOrder", "progeny sire dam\nA Y 0\nB 0 Y\nC X 0\nD 0 X\n", {Both("X", 4, 5), Both("Y", 2, 3)},
       {4, 8, 4, 4}},
      {"Cycle", "progeny sire dam\nA C 0\nB A 0\nC B 0\n", {InCycle("A", 2), "Cycle: A (line 2) > C (line 4) > B (line 3) > A"}, {3, 3, 0, 3}},
      {"SelfParent", "progeny sire dam\nA A 0\n", {InCycle("A", 2), "Cycle: A (line 2) > A"}, {1, 1, 0, 1}},
      // Of two individuals that are each other's sire, the first read.
      {"MutualSiresFirstRead", "progeny sire dam\nB A 0\nA B 0\n", {InCycle("B", 2), "Cycle: B (line 2) > A (line 3) > B"},
       {2, 2, 0, 2}},
      // The first record read whose ancestors cannot be coded may be a
      // descendant of the cycle rather than a member.
      {"DescendantOfACycleReadFirst", "progeny sire dam\nW 0 0\nZ A W\nA C 0\nB A 0\nC B 0\n",
       {InCycle("Z", 3), "Cycle: A (line 4) > C (line 6) > B (line 5) > A"}, {5, 5, 1, 4}},
      {"FullSibsWithDifferentF", "progeny sire dam f\nS 0 0 0\nD 0 0 0\nA S D 0.1\nB S D 0.2\n",
       {FullSibsDiffer("lines 4, 5")}, {4, 4, 2, 2}},
      {"FullSibsDisagreeingAmongThree", "progeny sire dam f\nA S D 0.25\nB S D .\nC S D 0.125\n",
       {FullSibsDiffer("lines 2, 4")}, {3, 5, 2, 3}},
      // An agreeing family before the one at fault is not named.
      {"TheFamilyAtFault", "progeny sire dam f\nA S D 0.25\nB S D 0.25\nC T U 0.5\nE T U 0\nG T U .\n",
       {FullSibsDiffer("lines 4, 5")}, {5, 9, 4, 5}},
      // Recoding stops at its first error, but both are listed in one pass.
      {"CycleAndDisagreeingFullSibsTogether", "progeny sire dam f\nA S D 0.1\nB S D 0.2\nX Y 0 .\nY X 0 .\n",
       {FullSibsDiffer("lines 2, 3"), InCycle("X", 4), "Cycle: X (line 4) > Y (line 5) > X"}, {4, 6, 2, 4}},
      // A cycle is listed with the other errors, so that one pass corrects
      // them all; the same records are named as on a clean file.
      {"CycleListedWithAnEarlierError", "progeny sire dam\nA C 0\nB A 0\nC B 0\nD 0 0\nD 0 0\n",
       {Twice("D", "lines 5, 6"), InCycle("A", 2), "Cycle: A (line 2) > C (line 4) > B (line 3) > A"}, {5, 5, 2, 3}},
      {"DescendantOfACycleWithAnEarlierError", "progeny sire dam\nW 0 0\nZ A W\nA C 0\nB A 0\nC B 0\nW 0 0\n",
       {Twice("W", "lines 2, 7"), InCycle("Z", 3), "Cycle: A (line 4) > C (line 6) > B (line 5) > A"}, {6, 6, 2, 4}},
      {"DisagreeingFullSibsListedWithAnEarlierError",
       "progeny sire dam f\nA S D 0.1\nB S D 0.2\nC S 0 .\nE 0 S .\n", {Both("S", 2, 5), FullSibsDiffer("lines 2, 3")},
       {4, 7, 3, 4}},
      // Every kind of mistake in one file, each with the lines to correct.
      {"EveryMistakeInOnePass",
       "progeny sire dam f\n0 0 0 .\nM 0 0 .\nM 0 0 .\nK 0 0 .\nQ K 0 .\nR 0 K .\nA S D 0.1\nB S D 0.2\n"
       "X Y 0 .\nY Z 0 .\nZ X 0 .\n",
       {UnknownProgeny("line 2"), Twice("M", "lines 3, 4"), Both("K", 6, 7), FullSibsDiffer("lines 8, 9"),
        InCycle("X", 10), "Cycle: X (line 10) > Y (line 11) > Z (line 12) > X"},
       {11, 13, 6, 7}},
      // The checks of recorded sexes and birth dates on what the reader
      // makes of Sex and Birth date columns.
      {"SexAndBirthDateColumns",
       "Progeny Sire Dam Sex Birth_date\nS 0 0 female 2001\nD 0 0 M 2000-03-01\nA S D . 2000-02-29\nB S D 2 2001\n",
       {"|CS |Ais recorded as female in line 2 but used as a sire in line 4.",
        "|CD |Ais recorded as male in line 3 but used as a dam in line 4.",
        "|CA |Ain line 4 is born before its sire S in line 2.", "|CA |Ain line 4 is born before its dam D in line 3."},
       {4, 4, 2, 2}},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_TRUE(ped.copyFile.Create());
    EXPECT_EQ(test::LoadText(row.text, ped).status, LoadStatus::kRejected) << row.name;
    EXPECT_EQ(ReportLines(ped), ErrorList(row.errors)) << row.name;
    EXPECT_EQ(CopyFileLines(ped), ErrorList(row.errors)) << row.name;
    EXPECT_EQ((Sizes{ped.nRead, ped.nTotal, ped.nFounders, ped.nNonFounders}), row.sizes) << row.name;
  }
}

// A workbook's lines are its sheet's row numbers, gaps included; a clean
// workbook leaves no report.
TEST(ValidationErrors, NameTheRowsOfAWorkbooksSheet) {
  const auto row = [](int r, std::vector<std::string> cells) {
    std::string xml = "<row r=\"" + std::to_string(r) + "\">";
    for (const std::string& c : cells) xml += "<c t=\"inlineStr\"><is><t>" + c + "</t></is></c>";
    return xml + "</row>";
  };
  struct Row {
    const char* name;
    std::string rows;
    std::vector<std::string> report;
  };
  const Row rows[] = {
      {"duplicate and cycle with a gap of rows",
       row(1, {"Progeny", "Sire", "Dam"}) + row(2, {"A", "B", "0"}) + row(5, {"B", "A", "0"}) +
           row(7, {"C", "0", "0"}) + row(9, {"C", "0", "0"}),
       ErrorList({Twice("C", "lines 7, 9"), InCycle("A", 2),
                  "Cycle: A (line 2) > B (line 5) > A"})},
      {"clean", row(1, {"Progeny", "Sire", "Dam"}) + row(3, {"A", "0", "0"}), {}},
  };
  for (const Row& r : rows) {
    test::TempFile file("", ".xlsx");
    test::WorkbookLayout layout;
    layout.sheets = {{"Herd book", r.rows}};
    ASSERT_TRUE(test::WriteZip(file.path(), test::WorkbookParts(layout))) << r.name;
    Pedigree ped;
    ASSERT_TRUE(ped.copyFile.Create());
    SilentProgressWindow window;
    Progress progress(window);
    LoadPedigree(file.path(), ped, progress);
    EXPECT_EQ(ReportLines(ped), r.report) << r.name;
  }
}

// Lines beyond what a report line holds are counted, not listed.
TEST(ValidationErrors, ListAsManyLinesAsTheReportLineHolds) {
  std::string text = "progeny sire dam\n";
  for (int zeros = 1; zeros <= 20; ++zeros) text += std::string(static_cast<std::size_t>(zeros), '0') + " 0 0\n";
  Pedigree ped;
  ASSERT_TRUE(ped.copyFile.Create());
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kRejected);
  const std::vector<std::string> lines = ReportLines(ped);
  ASSERT_EQ(lines.size(), 4u);
  // Lines 2..21: the longest list 2..last that fits in 110 characters with
  // the count of the rest, found by trying every last line.
  std::string expected;
  for (int last = 21; last >= 2 && expected.empty(); --last) {
    std::string candidate = "There is at least one unknown ID in the progeny list (lines 2";
    for (int k = 3; k <= last; ++k) candidate += ", " + std::to_string(k);
    candidate += (last < 21 ? " and " + std::to_string(21 - last) + " more" : std::string()) + ").";
    if (candidate.size() <= ReportStore::kMaxLineLength) expected = candidate;
  }
  EXPECT_EQ(lines[1], expected);
  EXPECT_LE(lines[1].size(), ReportStore::kMaxLineLength);
}

// The store keeps its capacity of lines and closes with its notice; the copy
// file, from which the report is saved, still gets every error and the end.
TEST(Validation, ListsEveryErrorInTheCopyFileBeyondTheStoresCapacity) {
  const int duplicates = ReportStore::kCapacity;
  std::vector<std::string> ids;
  std::map<std::string, std::string> lines;
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < duplicates; ++i) {
    ids.push_back(std::string("D").append(std::to_string(i)));
    lines[ids.back()] = "lines " + std::to_string(2 * i + 2) + ", " + std::to_string(2 * i + 3);
    text.append(ids.back()).append(" 0 0\n").append(ids.back()).append(" 0 0\n");
  }
  std::sort(ids.begin(), ids.end());  // plain ASCII: byte order is ID order
  for (std::string& id : ids) id = Twice(id, lines[id]);
  const std::vector<std::string> expected = ErrorList(ids);

  Pedigree ped;
  ASSERT_TRUE(ped.copyFile.Create());
  EXPECT_EQ(test::LoadText(text, ped).status, LoadStatus::kRejected);
  EXPECT_EQ(CopyFileLines(ped), expected);
  ASSERT_EQ(ped.report.Count(), ReportStore::kSlots);
  EXPECT_TRUE(ped.report.Full());
  for (int i = 0; i < ReportStore::kCapacity; ++i) {
    ASSERT_EQ(ped.report.Line(i), expected[static_cast<std::size_t>(i)]) << "line " << i;
  }
  EXPECT_EQ(ped.report.Line(ReportStore::kCapacity), "");
  EXPECT_EQ(ped.report.Line(ReportStore::kCapacity + 1), ReportStore::kFullNotice);
}

// nRead, nFounders, nNonFounders, nTotal, full-sib groups, their members,
// the largest and the smallest.
using Counters = std::array<int, 8>;

// Full sibs that agree, or of whom only some carry an F, load; the F then
// belongs to the whole family.
TEST(Validation, CountsFoundersAddedParentsAndFullSibsAndSpreadsAFamilysF) {
  struct Row {
    const char* name;
    const char* text;
    Counters expected;
    std::vector<float> f = {};  // the predefined F of the first records after loading
  };
  const Row rows[] = {
      {"all founders", "progeny sire dam\nC 0 0\nA 0 0\nB 0 0\n", {3, 3, 0, 3, 0, 0, 0, 0}},
      {"parents only in their columns are added", "progeny sire dam\nA X Y\nB X Z\n", {2, 3, 2, 5, 0, 0, 0, 0}},
      {"three full sibs are one family", "progeny sire dam\nS 0 0\nD 0 0\nA S D\nB S D\nC S D\n",
       {5, 2, 3, 5, 1, 3, 3, 3}},
      {"unknown dams make no family", "progeny sire dam\nS 0 0\nA S 0\nB S 0\nC S unknown\n",
       {4, 1, 3, 4, 0, 0, 0, 0}},
      {"families of two sizes", "progeny sire dam\nA S D\nB S D\nC S D\nE S F\nG S F\nH S D2\n",
       {6, 4, 6, 10, 2, 5, 3, 2}},
      {"zeros and unknown words are unknown parents",
       "progeny sire dam\nA 00 UNKNOWN\nB 0000 unknown\nC 0a unknownx\nE . 0\n", {4, 5, 2, 7, 0, 0, 0, 0}},
      {"full sibs of the same F", "progeny sire dam f\nA S D 0.25\nB S D 0.25\n", {2, 2, 2, 4, 1, 2, 2, 2},
       {0.25f, 0.25f}},
      {"one of three full sibs carries F", "progeny sire dam f\nA S D .\nB S D 0.25\nC S D .\n",
       {3, 2, 3, 5, 1, 3, 3, 3}, {0.25f, 0.25f, 0.25f}},
      {"two full sibs agree, the third has no F", "progeny sire dam f\nA S D 0.125\nB S D .\nC S D 0.125\n",
       {3, 2, 3, 5, 1, 3, 3, 3}, {0.125f, 0.125f, 0.125f}},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_EQ(test::LoadText(row.text, ped).status, LoadStatus::kLoaded) << row.name;
    EXPECT_EQ((Counters{ped.nRead, ped.nFounders, ped.nNonFounders, ped.nTotal, ped.nFullSibGroups,
                        ped.nFullSibMembers, ped.maxFullSibSize, ped.minFullSibSize}),
              row.expected)
        << row.name;
    EXPECT_EQ(ped.report.Count(), 0) << row.name;
    for (std::size_t k = 0; k < row.f.size(); ++k) {
      const Rec& r = ped.rec(static_cast<RecIndex>(k + 1));
      EXPECT_EQ(r.f, row.f[k]) << row.name << " " << r.id;
      EXPECT_TRUE(r.fPredefined) << row.name << " " << r.id;
    }
  }
}

// Sex and birth date are set on the records between reading and
// validation, so that these rows test validation alone, whatever syntax
// the file gives them.
struct Recorded {
  const char* id;
  Sex sex;
  int year = 0;  // 0: date not known
  unsigned month = 1, day = 1;
};

std::int32_t DayNumber(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  return sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}}
      .time_since_epoch()
      .count();
}

int ReadAndValidate(const char* text, const std::vector<Recorded>& recorded, Pedigree& ped,
                    Linking linking = Linking::kMergeWhenDistinct) {
  test::TempFile file(text);
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_TRUE(ReadPedigree(file.path(), ped, progress).ok);
  if (!recorded.empty()) {  // as a file with both columns
    ped.sexColumn = 3;
    ped.birthColumn = 4;
  }
  for (const Recorded& x : recorded) {
    for (RecIndex i = 1; i <= ped.nRead; ++i) {
      if (ped.rec(i).Id() != x.id) continue;
      ped.rec(i).sex = x.sex;
      if (x.year != 0) ped.rec(i).birth = DayNumber(x.year, x.month, x.day);
    }
  }
  return ValidatePedigree(ped, progress, linking);
}

constexpr Sex M = Sex::kMale, F = Sex::kFemale, U = Sex::kUnknown;

TEST(ValidationErrors, RecordedSexAndBirthDateAgainstParentRoles) {
  struct Row {
    const char* name;
    const char* text;
    std::vector<Recorded> recorded;
    std::vector<std::string> errors;  // empty: the file loads
  };
  // S, D and A on lines 2, 3 and 4.
  const char* trio = "progeny sire dam\nS 0 0\nD 0 0\nA S D\n";
  const auto female = [](const std::string& id, int own, int use) {
    return "|C" + id + " |Ais recorded as female in line " + std::to_string(own) + " but used as a sire in line " +
           std::to_string(use) + ".";
  };
  const auto male = [](const std::string& id, int own, int use) {
    return "|C" + id + " |Ais recorded as male in line " + std::to_string(own) + " but used as a dam in line " +
           std::to_string(use) + ".";
  };
  const std::string beforeS = "|CA |Ain line 4 is born before its sire S in line 2.";
  const std::string beforeD = "|CA |Ain line 4 is born before its dam D in line 3.";
  const Row rows[] = {
      {"SexesAgreeWithRoles", trio, {{"S", M}, {"D", F}, {"A", U}}, {}},
      {"FemaleAsSire", trio, {{"S", F}}, {female("S", 2, 4)}},
      {"MaleAsDam", "progeny sire dam\nS 0 0\nD 0 0\nA S D\nB S D\n", {{"D", M}}, {male("D", 3, 4)}},
      // Reported once per individual however many progeny it has, in file order.
      {"BothSwappedInFileOrder", "progeny sire dam\nD 0 0\nS 0 0\nA S D\nB S D\n", {{"S", F}, {"D", M}},
       {male("D", 2, 4), female("S", 3, 4)}},
      // The role error comes first; the recorded sex contradicts one role.
      {"BothRolesAndARecordedSex", "progeny sire dam\nP 0 0\nA P 0\nB 0 P\n", {{"P", F}},
       {Both("P", 3, 4), female("P", 2, 3)}},
      {"BornBeforeSire", trio, {{"S", M, 2020, 5, 2}, {"D", F, 2019}, {"A", U, 2020, 5, 1}}, {beforeS}},
      {"BornBeforeDam", trio, {{"S", M, 2018}, {"D", F, 2021, 3, 1}, {"A", U, 2020}}, {beforeD}},
      {"BornBeforeBoth", trio, {{"S", M, 2021}, {"D", F, 2021}, {"A", U, 2020}}, {beforeS, beforeD}},
      {"SameDayIsNotBefore", trio, {{"S", M, 2020, 6, 30}, {"D", F, 2020, 6, 30}, {"A", U, 2020, 6, 30}}, {}},
      {"UnknownDatesAreNotCompared", "progeny sire dam\nS 0 0\nD 0 0\nA S D\nB S 0\n",
       {{"S", M}, {"D", F, 2030}, {"A", U}, {"B", U, 2000}}, {}},
      // An added parent has no date and the sex of its role.
      {"AddedParentsAreNeverWrong", "progeny sire dam\nA X Y\n", {{"A", F, 1990}}, {}},
      {"SexBeforeDates", trio, {{"S", F, 2020}, {"A", U, 2019}}, {female("S", 2, 4), beforeS}},
      // A cycle is listed with these errors too.
      {"ListsACycleToo", "progeny sire dam\nA B 0\nB A 0\nC A 0\n", {{"C", F}, {"A", F}},
       {female("A", 2, 3), "|CA |Aappearing in its ancestors list (Cycling pedigree), line 2.", "Cycle: A (line 2) > B (line 3) > A"}},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_TRUE(ped.copyFile.Create());
    const int result = ReadAndValidate(row.text, row.recorded, ped);
    if (row.errors.empty()) {
      EXPECT_EQ(result, kValid) << row.name;
      EXPECT_EQ(ped.report.Count(), 0) << row.name;
      continue;
    }
    EXPECT_EQ(result, kValidationErrors) << row.name;
    EXPECT_EQ(ReportLines(ped), ErrorList(row.errors)) << row.name;
    EXPECT_EQ(CopyFileLines(ped), ErrorList(row.errors)) << row.name;
  }
}

// Parents without a line of their own are male as sires and female as
// dams; those listed keep the sex the file gives, known or not.
TEST(Validation, AddedParentsTakeTheSexOfTheirRole) {
  for (const Linking linking : {Linking::kMergeWhenDistinct, Linking::kBinarySearch}) {
    Pedigree ped;
    ASSERT_EQ(ReadAndValidate("progeny sire dam\nA X Y\nB X Z\nC 0 Y\nD A 0\n", {}, ped, linking), kValid);
    std::map<std::string, Sex> sexes;
    for (RecIndex i = 1; i <= ped.nTotal; ++i) sexes[std::string(ped.rec(i).Id())] = ped.rec(i).sex;
    const std::map<std::string, Sex> expected{{"A", U}, {"B", U}, {"C", U}, {"D", U},
                                              {"X", M}, {"Y", F}, {"Z", F}};
    EXPECT_EQ(sexes, expected);
  }
}

}  // namespace
}  // namespace kinvar
