// The pedigree files written back and read again. Every F comes back bit
// for bit, whatever the display number format, while the report on screen
// keeps the display format. Sex and Birth date: the exact lines of View
// Pedigree's report and file and of the Re-coding file, and the files read
// again on random pedigrees giving every individual the sex and date it had.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "report/number_format.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

using test::Bits;
using test::DayNumber;
using test::DocSession;
using test::FById;
using test::KnownF;
const auto Padded = test::PaddedRow;

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

// Sets what a file with Sex and Birth date columns would have given; X is
// a sire without a line of its own and has the sex of its role.
void RecordFamily(Pedigree& ped) {
  ped.sexColumn = 5;
  ped.birthColumn = 6;
  const std::map<std::string, std::pair<Sex, std::int32_t>> known{
      {"A", {Sex::kMale, DayNumber(2000, 1, 1)}},
      {"B", {Sex::kFemale, kUnknownBirth}},
      {"C", {Sex::kFemale, DayNumber(2005, 6, 15)}},
      {"D", {Sex::kUnknown, DayNumber(2010, 2, 3)}}};
  for (RecIndex i = 1; i <= ped.nRead; ++i) {
    const auto& [sex, birth] = known.at(std::string(ped.rec(i).Id()));
    ped.rec(i).sex = sex;
    ped.rec(i).birth = birth;
  }
}

constexpr const char* kFamily = "progeny sire dam group f\nA 0 0 1 0.1\nB 0 0 1 .\nC A B 2 .\nD X C . .\n";

TEST(SexAndBirthWritten, ViewPedigreeReportExactly) {
  DocSession s(kFamily);
  RecordFamily(s.doc.pedigree());
  s.doc.RunCommand(kCmdViewPedigree);
  const std::string underline =
      "----------|T1----------|T1----------|T1---------|T5----------|T4---|T5----------";
  EXPECT_EQ(s.Report(), (std::vector<std::string>{
                            "Progeny|T1Sire|T1Dam|T1Group|T5F|T4Sex|T5Birth date", underline,
                            "A|T1|M0|T1|F0|T1|A1|T5|A0.1 |X*|T4|AM|T5|A2000-01-01",
                            "B|T1|M0|T1|F0|T1|A1|T5|A.|T4|AF|T5|A.",
                            "C|T1|MA|T1|FB|T1|A2|T5|A.|T4|AF|T5|A2005-06-15",
                            "D|T1|MX|T1|FC|T1|A.|T5|A.|T4|A.|T5|A2010-02-03", underline,
                            "X|T1|M0|T1|F0|T1|A.|T5|A.|T4|AM|T5|A."}));
}

// After Group and F, or after the dam without them; each of the two may
// come alone; the longest exact F still leaves a blank before Sex.
TEST(SexAndBirthWritten, ViewPedigreeFileColumnsInEveryCombination) {
  struct Case {
    const char* name;
    const char* text;
    bool sex, birth;
    std::string expected;  // the file from its heading on
  };
  const std::vector<std::size_t> w{22, 22, 22, 10, 16, 10}, dam{22, 22, 22, 10},
      f{22, 22, 22, 16};
  const Case rows[] = {
      {"after group and F, with an added parent", kFamily, true, true,
       Padded({"Progeny", "Sire", "Dam", "Group", "F", "Sex", "Birth_date"}, w) + "\n" +
           Padded({"A", "0", "0", "1", "0.1", "M", "2000-01-01"}, w) +
           Padded({"B", "0", "0", "1", ".", "F", "."}, w) +
           Padded({"C", "A", "B", "2", ".", "F", "2005-06-15"}, w) +
           Padded({"D", "X", "C", ".", ".", ".", "2010-02-03"}, w) + "\n" +
           Padded({"X", "0", "0", ".", ".", "M", "."}, w)},
      {"both after the dam", "progeny sire dam\nA 0 0\n", true, true,
       Padded({"Progeny", "Sire", "Dam", "Sex", "Birth_date"}, dam) + "\n" +
           Padded({"A", "0", "0", "M", "2000-01-01"}, dam) + "\n"},
      {"sex alone", "progeny sire dam\nA 0 0\n", true, false,
       Padded({"Progeny", "Sire", "Dam", "Sex"}, dam) + "\n" + Padded({"A", "0", "0", "M"}, dam) +
           "\n"},
      {"birth date alone", "progeny sire dam\nA 0 0\n", false, true,
       Padded({"Progeny", "Sire", "Dam", "Birth_date"}, dam) + "\n" +
           Padded({"A", "0", "0", "2000-01-01"}, dam) + "\n"},
      // Shortest texts of a float in 0..1 are at most 15 characters long.
      {"a long exact F", "progeny sire dam f\nA 0 0 1.17549435E-38\n", true, false,
       Padded({"Progeny", "Sire", "Dam", "F", "Sex"}, f) + "\n" +
           Padded({"A", "0", "0", "1.1754944e-38", "M"}, f) + "\n"},
  };
  for (const Case& row : rows) {
    DocSession s(row.text);
    Pedigree& ped = s.doc.pedigree();
    if (std::string_view(row.text) == kFamily) {
      RecordFamily(ped);
    } else {
      ped.sexColumn = row.sex ? 3 : -1;
      ped.birthColumn = row.birth ? 4 : -1;
      ped.rec(1).sex = Sex::kMale;
      ped.rec(1).birth = DayNumber(2000, 1, 1);
    }
    s.doc.RunCommand(kCmdViewPedigree);
    const std::string saved = s.SaveAs();
    EXPECT_EQ(saved.substr(saved.find("Progeny")), row.expected) << row.name;
  }
}

// The Re-coding file puts the two columns before the original ID, whose
// title is two words, so that every title stands over its column.
TEST(SexAndBirthWritten, RecodingFileBeforeTheOriginalId) {
  DocSession s(kFamily);
  RecordFamily(s.doc.pedigree());
  s.doc.RunCommand(kCmdRecoding);
  const Pedigree& ped = s.doc.pedigree();
  const std::vector<std::size_t> w{17, 17, 17, 10, 12};
  std::string expected =
      Padded({"Progeny", "Sire", "Dam", "Sex", "Birth_date", "Original ID"}, w) + "\n";
  const std::map<std::string, std::pair<std::string, std::string>> written{
      {"A", {"M", "2000-01-01"}}, {"B", {"F", "."}}, {"C", {"F", "2005-06-15"}},
      {"D", {".", "2010-02-03"}}, {"X", {"M", "."}}};
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    const auto& [sex, birth] = written.at(std::string(r.Id()));
    expected += Padded({std::to_string(r.code), std::to_string(ped.rec(r.sire).code),
                     std::to_string(ped.rec(r.dam).code), sex, birth, r.id},
                    w);
  }
  const std::string saved = s.SaveAs(1);
  EXPECT_EQ(saved.substr(saved.find("Progeny")), expected);
}

// ID -> sex and date as the program holds them.
using Recorded = std::map<std::string, std::pair<Sex, std::int32_t>>;

Recorded RecordedIn(const Pedigree& ped) {
  Recorded recorded;
  for (RecIndex i = 1; i <= ped.nTotal; ++i)
    recorded[std::string(ped.rec(i).Id())] = {ped.rec(i).sex, ped.rec(i).birth};
  return recorded;
}

std::string SexWord(Sex sex, int style) {
  static const char* const words[3][3] = {{".", "M", "F"}, {"", "male", "Female"}, {"NA", "1", "2"}};
  return words[style][static_cast<int>(sex)];
}

// A file with Sex and Birth date columns written in several ways, and what
// loading it must give: parents have the sex of their role, dates put
// parents before progeny, some sexes and dates are unknown.
struct DatedPedigree { std::string text; Recorded expected; };

DatedPedigree MakeDated(std::uint64_t seed) {
  test::RandomPedigreeOptions options = test::VariedOptions(seed, 120);
  options.decorate = false;
  const test::RandomPedigree rp = test::MakeRandomPedigree(options);
  std::mt19937 g(static_cast<std::uint32_t>(seed));
  std::map<std::string, Sex> role;
  for (const test::RandomIndividual& r : rp.individuals) {
    if (!r.sire.empty()) role[r.sire] = Sex::kMale;
    if (!r.dam.empty()) role[r.dam] = Sex::kFemale;
  }
  DatedPedigree d;
  for (const int i : test::ParentsFirstOrder(rp.individuals)) {
    const test::RandomIndividual& r = rp.individuals[static_cast<std::size_t>(i)];
    std::int32_t earliest = DayNumber(1960, 1, 1);
    for (const std::string& p : {r.sire, r.dam})
      if (!p.empty() && d.expected[p].second != kUnknownBirth) earliest = std::max(earliest, d.expected[p].second);
    const auto it = role.find(r.id);
    Sex sex = it != role.end() ? it->second : static_cast<Sex>(g() % 3);
    if (r.listed && it != role.end() && g() % 5 == 0) sex = Sex::kUnknown;
    std::int32_t birth = kUnknownBirth;
    if (r.listed && g() % 6 != 0) birth = earliest + static_cast<std::int32_t>(g() % 3000);
    d.expected[r.id] = {sex, birth};
  }
  d.text = "Progeny Sire Dam Sex Birth_date\n";
  for (const test::RandomIndividual& r : rp.individuals) {
    if (!r.listed) continue;
    const auto& [sex, birth] = d.expected[r.id];
    const std::string sexText = SexWord(sex, static_cast<int>(g() % 3));
    std::string date = birth == kUnknownBirth ? "." : "";
    if (birth != kUnknownBirth) {
      const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::days{birth}}};
      char text[16];
      std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                    static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
      date = text;
    }
    d.text += r.id + " " + (r.sire.empty() ? "0" : r.sire) + " " + (r.dam.empty() ? "0" : r.dam) +
              " " + (sexText.empty() ? "." : sexText) + " " + date + "\n";
  }
  return d;
}

// View Pedigree's file by ID, the Re-coding file in both orders by code.
TEST(SexAndBirthWritten, FilesReadBackTheSameSexesAndDates) {
  {
    // "ID" of the last column's two-word title names Progeny too; the
    // column named Progeny itself wins, so a Re-coding file opens.
    Pedigree ped;
    ASSERT_EQ(test::LoadText("Progeny Sire Dam Original ID\n1 0 0 A\n", ped).status,
              LoadStatus::kLoaded);
  }
  for (std::uint64_t seed = 1; seed <= 15; ++seed) {
    const DatedPedigree d = MakeDated(seed);
    DocSession s(d.text);
    ASSERT_EQ(RecordedIn(s.doc.pedigree()), d.expected) << "seed " << seed;
    s.doc.RunCommand(kCmdViewPedigree);
    DocSession viewed(s.SaveAs());
    EXPECT_EQ(RecordedIn(viewed.doc.pedigree()), d.expected) << "seed " << seed;
    if (seed > 10) continue;
    for (const int choice : {1, 2}) {
      s.doc.RunCommand(kCmdRecoding);
      DocSession back(s.SaveAs(choice));
      const Pedigree& ped = s.doc.pedigree();
      Recorded byCode;
      for (RecIndex i = 1; i <= ped.nTotal; ++i)
        byCode[std::to_string(ped.rec(i).code)] = d.expected.at(std::string(ped.rec(i).Id()));
      EXPECT_EQ(RecordedIn(back.doc.pedigree()), byCode) << "seed " << seed << " choice " << choice;
    }
  }
}

}  // namespace
}  // namespace kinvar
