// Loading end to end: the reader's messages, and the recoded pedigree checked
// against the structure the random texts were made from.
#include "pedigree/load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

TEST(PedigreeReader, StopsTheLoadWithTheMessageOfEachFault) {
  struct Row { const char* name; std::string text; const char* message; };
  const Row rows[] = {
      {"empty", "", "File is empty."},
      {"only comments", "! a\n\n   ! b\n", "File is empty."},
      {"header without data", "progeny sire dam\n\n", "The file has a header row but no animal."},
      {"header without dam", "progeny sire\nA 0\n",
       "Error: The header row format is not correct.\nThe pedigree file must have header "
       "row with field names.\n(i.e. Progeny Sire Dam Group F. Group and F are optional)."},
      {"twenty-one character ID", "progeny sire dam\nABCDEFGHIJKLMNOPQRSTU 0 0\n", 
       "Error in line 2.\nThe length of each field should not be more than 20.\nColumn progeny: \"ABCDEFGHIJKLMNOPQRSTU\""},
      // A line longer than the chunks the file is read in.
      {"twenty-one characters after a long run of blanks",
       "progeny sire dam\nA 0 0\nB 0" + std::string(3'000'000, ' ') + "ABCDEFGHIJKLMNOPQRSTU\n", 
       "Error in line 3.\nThe length of each field should not be more than 20.\nColumn dam: \"ABCDEFGHIJKLMNOPQRSTU\""},
      {"exclamation mark in data", "! c\nprogeny sire dam\nA 0 0!x\n",
       "Error in line 3.\nThese characters   '<'   '>'   '|'   '!'   are not permitted.\nColumn dam: \"0!x\""},
      {"too few fields", "\nprogeny sire dam\n\nA 0\n", "Error in line 4.\nThe format is not correct."},
      {"a NUL byte ends the line", std::string("progeny sire dam\nA 0\0 0\n", 25),
       "Error in line 2.\nThe format is not correct."},
      {"fields count up to the F column", "progeny sire dam x f\nA 0 0 y\n",
       "Error in line 2.\nThe format is not correct."},
      {"F above one", "progeny sire dam f\nA 0 0 1.0001\n",
       "Error in line 2.\nThe inbreeding coefficient must be in the range of 0 - 1.\nColumn f: \"1.0001\""},
      {"group above 2147483647", "progeny sire dam group\nA 0 0 2147483648\n",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn group: \"2147483648\""},
      {"negative group", "progeny sire dam group\nA 0 0 -1\n",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn group: \"-1\""},
      {"letter after the group's digits", "progeny sire dam group\nA 0 0 12a\n",
       "Error in line 2.\nThe group must be a whole number in the range of 0 to 2147483647.\nColumn group: \"12a\""},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    test::ExpectRead(row.name, row.text, "", row.message, ped);
  }
}

TEST(PedigreeReader, AcceptsTheEdgesOfEveryRule) {
  struct Row { const char* name; const char* text; const char* records; };
  const Row rows[] = {
      {"comments, carriage returns, commas, upper-cased IDs of 20 characters, F of 0 and 1",
       "  ! comment\r\nDam,,SIRE  Progeny group F\r\n0 0 abcdefghijklmnopqrst 1000 .\r\n0 0 b2 0 1\r\n"
       "0 0 b3 . 0e0\r\n",
       "ABCDEFGHIJKLMNOPQRST 0 0 1000 . ? .\nB2 0 0 0 1.000000 ? .\nB3 0 0 . 0.000000 ? .\n"},
      {"byte-order mark, carriage return at the end", "\xEF\xBB\xBFprogeny sire dam\r\nA 0 0\r\nB A 0\r",
       "A 0 0 . . ? .\nB A 0 . . ? .\n"},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    test::ExpectRead(row.name, row.text, row.records, nullptr, ped);
    EXPECT_EQ(ped.nTotal, ped.nRead) << row.name;
  }
}

TEST(PedigreeReader, RefusesWhatIsNoPedigreeFile) {
  Pedigree ped;
  const std::string folder = testing::TempDir();
  for (const std::string& path : {folder, folder + "/no such file.pdg"}) {
    const LoadOutcome outcome = test::LoadPath(path, ped);
    EXPECT_EQ(outcome.status, LoadStatus::kReadFailed);
    EXPECT_EQ(outcome.message, "Cannot open " + path);
  }
}

// Records what the load shows: the window's text before the first label.
class RecordingWindow final : public ProgressWindow {
 public:
  void SetLabel(const std::string& label) override { shown.push_back("label " + label); }
  void SetPosition(int) override {}
  bool PollCancel() override { return false; }
  void SetWindowText(const std::string& text) override { shown.push_back("text " + text); }
  void ShowCancelButton(bool) override {}
  void Hide() override {}
  std::vector<std::string> shown;
};

TEST(PedigreeLoad, SaysWhichFileItLoads) {
  const struct {
    const char* name;
    const char* text;
  } rows[] = {{"read", "progeny sire dam\nA 0 0\n"}, {"not read", "progeny\nA\n"}};
  for (const auto& row : rows) {
    const test::TempFile file(row.text, ".pdg");
    RecordingWindow window;
    Progress progress(window);
    Pedigree ped;
    LoadPedigree(file.path(), ped, progress);
    const std::string name = std::filesystem::path(file.path()).filename().string();
    ASSERT_GE(window.shown.size(), 2u) << row.name;
    EXPECT_EQ(window.shown[0], "text Loading " + name) << row.name;
    EXPECT_EQ(window.shown[1], "label Reading") << row.name;
  }
  EXPECT_EQ(LoadingText("/data/herds/herd.pdg"), "Loading herd.pdg");
  EXPECT_EQ(LoadingText("herd.pdg"), "Loading herd.pdg");
}

// Codes against the structure the text was made from: every individual once,
// parents first, founders first, and generation the longest ancestral path.
void ExpectRecodedLike(const Pedigree& ped, const test::RandomPedigree& made) {
  ASSERT_EQ(ped.nTotal, static_cast<int>(made.individuals.size()));
  std::map<std::string, const Rec*> byId;
  std::vector<bool> seen(static_cast<std::size_t>(ped.nTotal) + 1, false);
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    byId[std::string(r.Id())] = &r;
    ASSERT_GE(r.code, 1);
    ASSERT_LE(r.code, ped.nTotal);
    EXPECT_FALSE(seen[static_cast<std::size_t>(r.code)]) << "code " << r.code << " twice";
    seen[static_cast<std::size_t>(r.code)] = true;
  }
  std::map<std::string, int> generation;
  for (int k : test::ParentsFirstOrder(made.individuals)) {
    const auto& ind = made.individuals[static_cast<std::size_t>(k)];
    int g = 0;
    for (const std::string& parent : {ind.sire, ind.dam})
      if (!parent.empty()) g = std::max(g, generation[parent] + 1);
    generation[ind.id] = g;
  }
  int lastFounderCode = 0, firstNonFounderCode = ped.nTotal + 1;
  for (const auto& ind : made.individuals) {
    ASSERT_EQ(byId.count(ind.id), 1u) << ind.id;
    const Rec& r = *byId[ind.id];
    EXPECT_EQ(r.generation, generation[ind.id]) << ind.id;
    EXPECT_EQ(ped.rec(r.sire).Id(), ind.sire.empty() ? "0" : ind.sire) << ind.id;
    EXPECT_EQ(ped.rec(r.dam).Id(), ind.dam.empty() ? "0" : ind.dam) << ind.id;
    EXPECT_LT(ped.rec(r.sire).code, r.code) << ind.id;
    EXPECT_LT(ped.rec(r.dam).code, r.code) << ind.id;
    if (r.sire == kUnknownParent && r.dam == kUnknownParent)
      lastFounderCode = std::max(lastFounderCode, r.code);
    else
      firstNonFounderCode = std::min(firstNonFounderCode, r.code);
  }
  EXPECT_LT(lastFounderCode, firstNonFounderCode);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) EXPECT_EQ(ped.byCode(i).code, i + 1);
}

// The counters of validation, from the structure: nRead, nFounders,
// nNonFounders, nTotal, full-sib groups, their members, the largest and the
// smallest.
std::array<int, 8> MadeCounters(const test::RandomPedigree& made) {
  std::map<std::pair<std::string, std::string>, int> familySize;
  int nRead = 0, listedFounders = 0, added = 0;
  for (const test::RandomIndividual& r : made.individuals) {
    if (!r.listed) {
      ++added;
      continue;
    }
    ++nRead;
    if (r.sire.empty() && r.dam.empty()) ++listedFounders;
    if (!r.sire.empty() && !r.dam.empty()) ++familySize[{r.sire, r.dam}];
  }
  int groups = 0, members = 0, maxSize = 0, minSize = 0;
  for (const auto& [parents, size] : familySize) {
    if (size < 2) continue;
    ++groups;
    members += size;
    maxSize = std::max(maxSize, size);
    minSize = minSize == 0 ? size : std::min(minSize, size);
  }
  return {nRead, listedFounders + added, nRead - listedFounders, nRead + added, groups, members, maxSize, minSize};
}

TEST(Recoding, NumbersAndCountsRandomPedigreesAsTheyWereMade) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    const test::RandomPedigree made = test::MakeRandomPedigree(test::VariedOptions(seed, 300));
    Pedigree ped;
    const LoadOutcome outcome = test::LoadText(made.text, ped);
    ASSERT_EQ(outcome.status, LoadStatus::kLoaded) << "seed " << seed << ": " << outcome.message;
    EXPECT_EQ((std::array{ped.nRead, ped.nFounders, ped.nNonFounders, ped.nTotal, ped.nFullSibGroups,
                          ped.nFullSibMembers, ped.maxFullSibSize, ped.minFullSibSize}),
              MadeCounters(made))
        << "counters, seed " << seed;
    EnsureCodeOrder(ped);
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectRecodedLike(ped, made);
  }
}

// Parents drawn from the last few individuals, sometimes unknown, listed in
// a shuffled order: generations vary from individual to individual and
// reach far beyond the generation table's first size.
TEST(Recoding, NumbersADeepRandomPedigreeAndCountsItsGenerations) {
  test::RandomPedigreeOptions options;
  options.seed = 17;
  options.size = 3000;
  options.founders = 2;
  options.window = 4;
  const test::RandomPedigree made = test::MakeRandomPedigree(options);
  ASSERT_GT(made.maxGeneration, 400);
  Pedigree ped;
  ASSERT_EQ(test::LoadText(made.text, ped).status, LoadStatus::kLoaded);
  ExpectRecodedLike(ped, made);
  // Entry k: individuals whose generation exceeds k, for every k an
  // individual can stand above.
  ASSERT_GE(ped.generationCount.size(), static_cast<std::size_t>(made.maxGeneration));
  for (std::size_t k = 0; k < ped.generationCount.size(); ++k) {
    const auto above = std::count_if(ped.recs.begin() + 1, ped.recs.begin() + 1 + ped.nTotal,
                                     [&](const Rec& r) { return static_cast<std::size_t>(r.generation) > k; });
    ASSERT_EQ(ped.generationCount[k], above) << "k " << k;
  }
  EXPECT_EQ(ped.generationFill, ped.generationCount);
}

// Random bytes and damaged pedigree texts must end in one of the outcomes,
// never in a crash, and a loaded pedigree must be consistent.
TEST(Fuzz, DamagedTextsLoadOrFailCleanly) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] { return state ^= state << 13, state ^= state >> 7, state ^= state << 17; };
  const char alphabet[] = "aB0 ,\t\n\r.!|<>-1e9x\0\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    if (round % 2 == 0) {
      text = test::MakeRandomPedigree(test::VariedOptions(next() % 1000, 40)).text;
      const int edits = 1 + static_cast<int>(next() % 6);
      for (int e = 0; e < edits && !text.empty(); ++e) {
        const std::size_t at = next() % text.size();
        switch (next() % 4) {
          case 0: text[at] = alphabet[next() % (sizeof alphabet - 1)]; break;
          case 1: text.erase(at, next() % 30); break;
          case 2: text.insert(at, std::string(next() % 25, 'Z')); break;
          default: text.resize(at); break;
        }
      }
    } else {
      text = "progeny sire dam group f\n";
      const int bytes = static_cast<int>(next() % 400);
      for (int b = 0; b < bytes; ++b) text += alphabet[next() % (sizeof alphabet - 1)];
    }
    Pedigree ped;
    const LoadOutcome outcome = test::LoadText(text, ped);
    switch (outcome.status) {
      case LoadStatus::kLoaded:
        EXPECT_EQ(ped.report.Count(), 0);
        EnsureCodeOrder(ped);
        for (std::int32_t i = 0; i < ped.nTotal; ++i) {
          const Rec& r = ped.byCode(i);
          ASSERT_EQ(r.code, i + 1);
          ASSERT_LT(ped.rec(r.sire).code, r.code);
          ASSERT_LT(ped.rec(r.dam).code, r.code);
        }
        break;
      case LoadStatus::kRejected: EXPECT_GT(ped.report.Count(), 0); break;
      case LoadStatus::kReadFailed: EXPECT_FALSE(outcome.message.empty()); break;
      case LoadStatus::kCancelled: ADD_FAILURE() << "nobody cancelled"; break;
    }
  }
}

}  // namespace
}  // namespace kinvar
