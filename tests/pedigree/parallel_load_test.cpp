// Loading on several threads gives what one thread gives: the chunk reader
// against the one-thread reader on many random texts and block sizes, the
// same for columns, and whole loads (reader, sorts, error list, codes) of
// large damaged files with 1, 2 and 8 threads. Linking by merge gives what linking by binary
// search gives, on random sound and damaged herds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "pedigree/chunk_reader.h"
#include "pedigree/load.h"
#include "pedigree/reader.h"
#include "report/progress.h"
#include "pedigree/validation.h"
#include "support/cancel_window.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

void ExpectSameRead(const Pedigree& got, const Pedigree& want) {
  EXPECT_EQ(std::tuple(got.nRead, got.nGroups, got.fColumn, got.groupColumn),
            std::tuple(want.nRead, want.nGroups, want.fColumn, want.groupColumn));
  ASSERT_EQ(got.recs.size(), want.recs.size());
  for (std::size_t i = 0; i < got.recs.size(); ++i) {
    const Rec& a = got.recs[i];
    const Rec& b = want.recs[i];
    ASSERT_EQ(a.Id(), b.Id()) << "record " << i;
    EXPECT_EQ(std::tuple(a.fPredefined, a.f, a.group), std::tuple(b.fPredefined, b.f, b.group)) << a.id;
  }
  ASSERT_EQ(got.links.size(), want.links.size());
  for (std::size_t i = 0; i < got.links.size(); ++i) {
    const ParentLink& a = got.links[i];
    const ParentLink& b = want.links[i];
    EXPECT_EQ(std::tuple(std::string(a.sire), std::string(a.dam), a.rec),
              std::tuple(std::string(b.sire), std::string(b.dam), b.rec)) << "link " << i;
  }
  ASSERT_EQ(got.groups.size(), want.groups.size());
  for (std::size_t i = 0; i < got.groups.size(); ++i) {
    EXPECT_EQ(std::pair(got.groups[i].group, got.groups[i].count),
              std::pair(want.groups[i].group, want.groups[i].count));
  }
  EXPECT_EQ(got.groupOrder, want.groupOrder);
}

TEST(ChunkReader, ReadsRandomFilesAsTheOneThreadReader) {
  SilentProgressWindow window;
  Progress progress(window);
  int read = 0;
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 300);
    options.crlf = seed % 3 == 0;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    const test::TempFile file(random.text);
    Pedigree want;
    ASSERT_TRUE(ReadPedigree(file.path(), want, progress).ok) << "seed " << seed;
    for (const int threads : {1, 2, 8}) {
      for (const std::size_t block : {std::size_t{64}, std::size_t{1000}, std::size_t{1} << 16}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(threads) + " threads, block " +
                     std::to_string(block));
        Pedigree got;
        const ChunkRead result = ReadPedigreeInChunks(file.path(), got, progress, threads, block);
        // Only a small block may miss the header or cut through a line.
        if (result == ChunkRead::kGaveUp && block < 1000) continue;
        ASSERT_EQ(result, ChunkRead::kRead);
        ExpectSameRead(got, want);
        ++read;
      }
    }
  }
  EXPECT_GT(read, 50 * 3 * 2);
}

// Damages that each reader error or validation error comes from; `at`
// picks the data line as a fraction of the file.
struct Damage {
  const char* name;
  const char* line;  // inserted as a data line ("" = none)
  bool duplicate;    // also repeat a line: a progeny listed twice
  bool bothSexes;    // also make a dam of one line the sire of another
  LoadStatus status;
};

// A shuffled herd with parents always older than their progeny, sires of
// even and dams of odd number, full sibs, unknown and unlisted parents,
// long IDs, groups and predefined F; damaged as the row says.
std::string LargeText(int n, const Damage& damage) {
  std::mt19937 rng(77);
  const auto id = [](int i) { return (i % 7 == 0 ? "LONGNAMEDANIMAL" : "A") + std::to_string(i); };
  const auto draw = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
  constexpr int kFounders = 3000;
  std::vector<std::string> lines;
  int sire = 0, dam = 1;
  for (int i = 0; i < n; ++i) {
    if (i < kFounders) {
      if (i % 10 != 0) lines.push_back(id(i) + " 0 0 " + std::to_string(i % 50) + (i % 13 == 0 ? " 0.125" : " ."));
      continue;
    }
    if (draw(10) >= 3) {  // else a full sib of the one before
      sire = (i - 1 - draw(std::min(i - 1, 20000))) & ~1;
      dam = ((i - 1 - draw(std::min(i - 1, 20000))) & ~1) + 1;
      if (dam >= i) dam -= 2;
    }
    const std::string s = draw(20) == 0 ? "0" : id(sire);
    const std::string d = draw(20) == 0 ? "0" : id(dam);
    lines.push_back(id(i) + " " + s + " " + d + " " + (i % 3 == 0 ? "." : std::to_string(i % 40)) + " .");
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  const std::size_t late = lines.size() * 7 / 8;
  const std::size_t early = lines.size() / 5;
  if (*damage.line != 0) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(late), damage.line);
  if (damage.duplicate) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(late), lines[early]);
  if (damage.bothSexes) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(early), {"X1 0 0 . .", "X2 X1 0 . .", "X3 0 X1 . ."});
  }
  std::string text = "progeny sire dam group f\n";
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

using test::ReportLines;

// Everything reading and validation leave in a pedigree, the same.
void ExpectSameValidation(const Pedigree& a, const Pedigree& b) {
  EXPECT_EQ(ReportLines(a), ReportLines(b));
  EXPECT_EQ((std::vector{a.nRead, a.nTotal, a.nFounders, a.nNonFounders, a.nFullSibGroups, a.nFullSibMembers,
                         a.maxFullSibSize, a.minFullSibSize}),
            (std::vector{b.nRead, b.nTotal, b.nFounders, b.nNonFounders, b.nFullSibGroups, b.nFullSibMembers,
                         b.maxFullSibSize, b.minFullSibSize}));
  EXPECT_EQ(a.records, b.records);
  EXPECT_EQ(a.familyOrder, b.familyOrder);
  EXPECT_EQ(a.fullSibs, b.fullSibs);
  EXPECT_EQ(a.generationCount, b.generationCount);
  ASSERT_EQ(a.recs.size(), b.recs.size());
  for (std::size_t i = 0; i < a.recs.size(); ++i) {
    const Rec& x = a.recs[i];
    const Rec& y = b.recs[i];
    ASSERT_EQ(x.Id(), y.Id()) << i;
    EXPECT_EQ((std::vector{x.sire, x.dam, x.code, x.generation, x.mark, x.fPredefined ? 1 : 0}),
              (std::vector{y.sire, y.dam, y.code, y.generation, y.mark, y.fPredefined ? 1 : 0})) << x.id;
    EXPECT_EQ(x.f, y.f) << x.id;
  }
}

TEST(LargeLoad, GivesTheSameOutcomeOnEveryThreadCount) {
  const Damage damages[] = {
      {"sound", "", false, false, LoadStatus::kLoaded},
      {"forbidden byte", "A<B 0 0 1 .", false, false, LoadStatus::kReadFailed},
      {"too few fields", "LONE 0", false, false, LoadStatus::kReadFailed},
      {"F out of range", "FBAD 0 0 1 2", false, false, LoadStatus::kReadFailed},
      {"duplicate progeny", "", true, false, LoadStatus::kRejected},
      {"both sexes", "", false, true, LoadStatus::kRejected},
      {"duplicate and both sexes", "", true, true, LoadStatus::kRejected},
  };
  for (const Damage& damage : damages) {
    const std::string text = LargeText(60000, damage);
    ASSERT_GE(text.size(), std::size_t{1} << 20);  // large enough for the threads
    const test::TempFile file(text);
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree one;
    one.settings.threads = 1;
    const LoadOutcome want = LoadPedigree(file.path(), one, progress);
    ASSERT_EQ(want.status, damage.status) << damage.name << ": " << want.message;
    for (const int threads : {2, 8}) {
      SCOPED_TRACE(std::string(damage.name) + ", " + std::to_string(threads) + " threads");
      Pedigree many;
      many.settings.threads = threads;
      const LoadOutcome got = LoadPedigree(file.path(), many, progress);
      EXPECT_EQ(got.status, want.status);
      EXPECT_EQ(got.message, want.message);
      ExpectSameValidation(many, one);
    }
  }
}

// A random herd: founders with their unknown parents spelled four ways and
// F, IDs that share their first 15 bytes or begin with a byte above 127,
// parents with no line, full sibs; shuffled, then damaged by the row.
struct Harm {
  const char* name;
  std::vector<std::string> lines;  // inserted data lines
  bool duplicate;                  // also repeat a data line
  int size = 20;                   // data lines at least, before the harm
  bool ascii = false;              // no byte above 127, so that the long IDs' keys are packed
};

std::string HerdText(std::uint32_t seed, const Harm& harm) {
  std::mt19937 rng(seed);
  const auto draw = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
  const char* const prefixes[] = {"A", "LONGNAMEDANIMAL", "\xC9", "LONGNAMEDANIMAM", "b"};
  const auto id = [&](int i) { return (harm.ascii && i % 5 == 2 ? "C" : prefixes[i % 5]) + std::to_string(i); };
  const char* const unknown[] = {"0", "000", "unknown", "UnKnOwN"};
  const int n = harm.size + draw(400);
  std::vector<std::string> lines;
  std::string sire = "0", dam = "0";
  for (int i = 0; i < n; ++i) {
    if (i < 5 + n / 10) {
      const std::string f = draw(4) == 0 ? "0.25" : ".";
      lines.push_back(id(i) + " " + unknown[draw(4)] + " " + unknown[draw(4)] + " " + f);
      continue;
    }
    if (draw(4) != 0) {  // else a full sib of the one before
      const auto parent = [&](int odd) {
        if (draw(12) == 0) return std::string(unknown[draw(4)]);
        if (draw(12) == 0) return "UNLISTED" + std::to_string(2 * draw(5) + odd);
        return id(((i - 1 - draw(std::min(i, 60))) & ~1) + odd);
      };
      sire = parent(0);
      dam = parent(1);
      if (dam == id(i)) dam = "0";
    }
    lines.push_back(id(i) + " " + sire + " " + dam + " .");
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  if (harm.duplicate) lines.insert(lines.begin() + draw(n), lines[static_cast<std::size_t>(draw(n))]);
  for (const std::string& line : harm.lines) lines.insert(lines.begin() + draw(n), line);
  std::string text = "progeny sire dam f\n";
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

struct Validated { int result = -1; Pedigree ped; };

void Validate(const std::string& path, int threads, Linking linking, Validated& out) {
  SilentProgressWindow window;
  Progress progress(window);
  out.ped.settings.threads = threads;
  ASSERT_TRUE(ReadPedigree(path, out.ped, progress).ok);
  out.result = ValidatePedigree(out.ped, progress, linking);
}

TEST(MergeLinking, LeavesWhatBinarySearchLeaves) {
  const Harm harms[] = {
      {"sound", {}, false},
      {"duplicate", {}, true},
      {"listed both sexes", {"X1 0 0 .", "X2 X1 0 .", "X3 0 X1 .", "X4 X1 0 ."}, false},
      {"added both sexes", {"X5 NEW 0 .", "X6 0 NEW ."}, false},
      {"cycle", {"C1 C2 0 .", "C2 C1 0 .", "C3 C1 C2 ."}, false},
      {"full sibs disagree on F", {"S1 NEWS NEWD 0.25", "S2 NEWS NEWD 0.125"}, false},
      {"unknown progeny", {"00 0 0 ."}, false},
      {"everything", {"X2 X1 0 .", "X3 0 X1 .", "C1 C1 0 .", "UNKNOWN 0 0 ."}, true},
      // Large enough for the sorts to split over threads.
      {"large", {}, false, 40000},
      {"large with both sexes and cycle", {"X2 X1 0 .", "X3 0 X1 .", "C1 C1 0 ."}, false, 40000},
      {"packed keys", {}, false, 20, true},
      {"packed keys, everything", {"X2 X1 0 .", "X3 0 X1 .", "C1 C1 0 .", "UNKNOWN 0 0 ."}, true, 20, true},
      {"packed keys, large", {}, false, 40000, true},
  };
  for (const Harm& harm : harms) {
    for (std::uint32_t seed = 1; seed <= (harm.size > 1000 ? 2u : 40u); ++seed) {
      const test::TempFile file(HerdText(seed, harm));
      Validated want;
      Validate(file.path(), 1, Linking::kBinarySearch, want);
      for (const int threads : {1, 2, 8}) {
        SCOPED_TRACE(std::string(harm.name) + ", seed " + std::to_string(seed) + ", " + std::to_string(threads) +
                     " threads");
        Validated got;
        Validate(file.path(), threads, Linking::kMergeWhenDistinct, got);
        EXPECT_EQ(got.result, want.result);
        ExpectSameValidation(got.ped, want.ped);
      }
    }
  }
}

// Columns of a random herd as a host language's table gives them: cells
// with blanks around them, unknown parents empty, "0" or NA, now and then
// a row of empty cells; `extra` rows inserted at random places. With
// `names`, those are the columns' names, and the cells of the Progeny,
// Sire and Dam of the herd are their first three.
PedigreeColumns RandomColumns(std::uint64_t seed, const std::vector<std::vector<std::string>>& extra,
                              const std::vector<std::string>& names = {}) {
  test::RandomPedigreeOptions options = test::VariedOptions(seed, 300);
  options.decorate = false;
  if (!names.empty()) options.groupColumn = options.fColumn = false;
  const test::RandomPedigree random = test::MakeRandomPedigree(options);
  std::mt19937 rng(static_cast<std::uint32_t>(seed));
  const auto draw = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
  const char* const unknown[] = {"", "0", "NA", " 0 "};
  const auto cell = [&](const std::string& text) {
    if (text.empty()) return std::string(unknown[draw(4)]);
    return draw(6) == 0 ? " " + text + "\t" : text;
  };
  PedigreeColumns columns{{"Progeny", "Sire", "Dam"}, {{}, {}, {}}};
  if (random.hasGroupColumn) columns.names.emplace_back("Group");
  if (random.hasFColumn) columns.names.emplace_back("F");
  columns.cells.resize(columns.names.size());
  const auto add = [&](std::vector<std::string> row) {
    for (std::size_t c = 0; c < columns.cells.size(); ++c) columns.cells[c].push_back(c < row.size() ? row[c] : "");
  };
  for (const test::RandomIndividual& one : random.individuals) {
    if (!one.listed) continue;
    if (draw(40) == 0) add({});
    std::vector<std::string> row{cell(one.id), cell(one.sire), cell(one.dam)};
    if (random.hasGroupColumn) row.push_back(one.group < 0 ? "." : std::to_string(one.group));
    if (random.hasFColumn) row.push_back(one.fInFile ? std::to_string(*one.fInFile) : "");
    add(row);
  }
  if (!names.empty()) {
    columns.cells.resize(names.size(), std::vector<std::string>(columns.cells[0].size()));
    columns.names = names;
  }
  for (const std::vector<std::string>& row : extra) {
    const auto at = static_cast<std::ptrdiff_t>(draw(static_cast<int>(columns.cells[0].size()) + 1));
    for (std::size_t c = 0; c < columns.cells.size(); ++c)
      columns.cells[c].insert(columns.cells[c].begin() + at, c < row.size() ? row[c] : "");
  }
  return columns;
}

// What the one-thread reader of columns reads: the header row, then each
// row numbered as the line of a file.
ReadOutcome ReadColumnsOnOneThread(const PedigreeColumns& columns, Pedigree& ped, Progress& progress) {
  CellRowReader reader(ped, progress);
  std::vector<std::string_view> cells(columns.names.begin(), columns.names.end());
  if (!reader.Row(1, cells, 0)) return reader.outcome();
  for (std::size_t i = 0; i < columns.cells[0].size(); ++i) {
    for (std::size_t c = 0; c < cells.size(); ++c) cells[c] = columns.cells[c][i];
    if (!reader.Row(static_cast<std::int64_t>(i) + 2, cells, 0)) return reader.outcome();
  }
  reader.Finish();
  return reader.outcome().message.empty() ? ReadOutcome{true, {}} : reader.outcome();
}

TEST(ColumnPieces, ReadRandomColumnsAsTheOneThreadReader) {
  SilentProgressWindow window;
  Progress progress(window);
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const PedigreeColumns columns = RandomColumns(seed, {});
    Pedigree want;
    ASSERT_TRUE(ReadColumnsOnOneThread(columns, want, progress).ok) << "seed " << seed;
    for (const int threads : {1, 2, 8}) {
      for (const std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(threads) + " threads, block " +
                     std::to_string(block));
        Pedigree got;
        ASSERT_EQ(ReadColumnsInPieces(ViewsOf(columns), got, progress, threads, block), ChunkRead::kRead);
        ExpectSameRead(got, want);
        EXPECT_EQ(got.lines, want.lines);
      }
    }
  }
}

// Whatever the one-thread reader refuses or passes over, the pieces leave
// to it; the whole load then says what one thread says.
TEST(ColumnPieces, LeaveFaultsToTheOneThreadReader) {
  struct Row {
    const char* name;
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> extra;
  };
  const std::vector<std::string> plain{"Progeny", "Sire", "Dam"};
  const Row rows[] = {
      {"forbidden byte", plain, {{"A<B", "0", "0"}}},
      {"no ID", plain, {{"", "X", "0"}}},
      {"NA as an ID", plain, {{"NA", "0", "0"}}},
      {"blank in an ID", plain, {{"A B", "0", "0"}}},
      {"group not a number", {"Progeny", "Sire", "Dam", "Group"}, {{"G1", "0", "0", "x"}}},
      {"F out of range", {"Progeny", "Sire", "Dam", "F"}, {{"F1", "0", "0", "2"}}},
      {"header without a dam", {"Progeny", "Sire", "Mum"}, {}},
      {"header of blanks", {" ", "", "\t"}, {}},
      {"header a comment", {"!Progeny", "Sire", "Dam"}, {}},
  };
  SilentProgressWindow window;
  Progress progress(window);
  for (const Row& row : rows) {
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
      SCOPED_TRACE(std::string(row.name) + ", seed " + std::to_string(seed));
      const PedigreeColumns columns = RandomColumns(seed, row.extra, row.names);
      Pedigree got;
      EXPECT_EQ(ReadColumnsInPieces(ViewsOf(columns), got, progress, 2, 16), ChunkRead::kGaveUp);
    }
  }
  PedigreeColumns columns = RandomColumns(1, {});
  columns.cells[1].pop_back();
  Pedigree got;
  EXPECT_EQ(ReadColumnsInPieces(ViewsOf(columns), got, progress, 2, 16), ChunkRead::kGaveUp);
}

// A herd of columns large enough for the pieces: each damage gives the
// outcome and message of the same rows written as a file, on every thread
// count.
TEST(ColumnPieces, LoadLargeColumnsAsTheSameFile) {
  const std::pair<const char*, std::string> damages[] = {
      {"sound", ""}, {"forbidden byte", "A<B 0 0 1 ."}, {"F out of range", "FBAD 0 0 1 2"},
      {"group not a number", "GBAD 0 0 x ."},
  };
  for (const auto& [name, line] : damages) {
    const std::string text = LargeText(40000, {name, line.c_str(), true, true, LoadStatus::kLoaded});
    PedigreeColumns columns{{"progeny", "sire", "dam", "group", "f"}, std::vector<std::vector<std::string>>(5)};
    std::istringstream lines(text.substr(text.find('\n') + 1));
    for (std::string one; std::getline(lines, one);) {
      std::istringstream cells(one);
      for (std::vector<std::string>& column : columns.cells) cells >> column.emplace_back();
    }
    const test::TempFile file(text);
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree fromFile;
    fromFile.settings.threads = 1;
    const LoadOutcome want = LoadPedigree(file.path(), fromFile, progress);
    for (const int threads : {1, 2, 8}) {
      SCOPED_TRACE(std::string(name) + ", " + std::to_string(threads) + " threads");
      Pedigree fromColumns;
      fromColumns.settings.threads = threads;
      const LoadOutcome got = LoadPedigreeColumns(columns, fromColumns, progress);
      EXPECT_EQ(got.status, want.status);
      EXPECT_EQ(got.message, want.message);
      if (want.status != LoadStatus::kReadFailed) ExpectSameValidation(fromColumns, fromFile);
    }
  }
}

// Cancelling in the progress window stops the pieces between two blocks.
TEST(ColumnPieces, StopWhenTheUserCancels) {
  test::CancelAtPoll window;
  Progress progress(window);
  Pedigree got;
  EXPECT_EQ(ReadColumnsInPieces(ViewsOf(RandomColumns(3, {})), got, progress, 2, 7), ChunkRead::kCancelled);
}

}  // namespace
}  // namespace kinvar
