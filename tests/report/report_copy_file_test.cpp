// The report store, the copy file that keeps every line of a report, and
// the report shown from either.
#include "report/report_copy_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "report/report_store.h"

namespace kinvar {
namespace {

// Lines of random length (0 to `longest` characters) of printable text and
// markup, empty ones among them.
std::vector<std::string> RandomLines(std::mt19937& random, int count, int longest) {
  std::uniform_int_distribution<int> length(0, longest);
  std::uniform_int_distribution<int> character(' ', '~');
  std::vector<std::string> lines(static_cast<std::size_t>(count));
  for (std::string& line : lines) {
    line.resize(static_cast<std::size_t>(length(random)));
    for (char& c : line) c = static_cast<char>(character(random));
  }
  return lines;
}

std::vector<std::string> CopyLines(ReportCopyFile& copy) {
  std::vector<std::string> lines;
  copy.ForEachLine([&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

// Every line read back by index, in the order given.
void ExpectEveryLine(const ReportCopyFile& copy, const std::vector<std::string>& written,
                     const std::vector<std::size_t>& order, const std::string& name) {
  ASSERT_EQ(copy.LineCount(), static_cast<std::int64_t>(written.size())) << name;
  for (std::size_t i : order)
    ASSERT_EQ(copy.Line(static_cast<std::int64_t>(i)), written[i]) << name << ", line " << i;
}

TEST(ReportCopyFileIndex, EveryLineReadsBackAsWritten) {
  const int block = static_cast<int>(ReportCopyFile::kBlockLines);
  const struct { const char* name; int lines; int longest; bool shuffled; } cases[] = {
      {"no line", 0, 10, false},
      {"one line", 1, 10, false},
      {"one short of a block", block - 1, 30, false},
      {"exactly a block", block, 30, false},
      {"a block and a line", block + 1, 30, false},
      {"two blocks exactly", 2 * block, 30, true},
      {"only empty lines", 3 * block + 5, 0, true},
      {"lines of the store's longest", 500, 110, true},
      {"many blocks, random order", 20000, 80, true},
  };
  std::mt19937 random(20240601);
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  for (const auto& c : cases) {
    copy.Reset();
    const std::vector<std::string> lines = RandomLines(random, c.lines, c.longest);
    for (const std::string& line : lines) copy.WriteLine(line);
    std::vector<std::size_t> order(lines.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    ExpectEveryLine(copy, lines, order, c.name);
    std::reverse(order.begin(), order.end());
    ExpectEveryLine(copy, lines, order, std::string(c.name) + " backwards");
    if (c.shuffled) {
      std::shuffle(order.begin(), order.end(), random);
      ExpectEveryLine(copy, lines, order, std::string(c.name) + " shuffled");
    }
    // The sequential reader Save As uses sees the same lines.
    EXPECT_EQ(CopyLines(copy), lines) << c.name;
  }
}

TEST(ReportCopyFileIndex, OutsideTheLinesReadsEmpty) {
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  copy.WriteLine("only");
  for (std::int64_t i : {std::int64_t{-1}, std::int64_t{1}, std::int64_t{1} << 40})
    EXPECT_EQ(copy.Line(i), "") << i;
  ReportCopyFile never;  // not created
  never.WriteLine("lost");
  EXPECT_EQ(never.LineCount(), 0);
  EXPECT_EQ(never.Line(0), "");
}

TEST(ReportCopyFileIndex, ANewlineInsideATextEndsALine) {
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  // 62 lines, then a message of three lines and an empty one across the
  // first block boundary.
  std::vector<std::string> expected;
  for (int i = 0; i < 62; ++i) {
    expected.push_back("row " + std::to_string(i));
    copy.WriteLine(expected.back());
  }
  copy.WriteLine("Not all listed!\nThe number is\nbetween 1 and 2.\n");
  for (const char* line : {"Not all listed!", "The number is", "between 1 and 2.", ""})
    expected.emplace_back(line);
  copy.WriteLine("after");
  expected.emplace_back("after");
  std::vector<std::size_t> order(expected.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = order.size() - 1 - i;
  ExpectEveryLine(copy, expected, order, "message across a block boundary");
}

TEST(ReportCopyFileIndex, ReadsBetweenWritesSeeTheLinesAddedSince) {
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  std::vector<std::string> written;
  for (int i = 0; i < 300; ++i) {
    written.push_back("line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), '.'));
    copy.WriteLine(written.back());
    // The last line and the first of its block, through a block that was
    // read before it was complete.
    const std::int64_t last = i;
    ASSERT_EQ(copy.Line(last), written.back()) << i;
    ASSERT_EQ(copy.Line(last - last % ReportCopyFile::kBlockLines),
              written[static_cast<std::size_t>(last - last % ReportCopyFile::kBlockLines)])
        << i;
  }
}

// Writing after reading appends; a reset truncates, so only the new report
// is read.
TEST(ReportCopyFileIndex, AppendsUntilAResetForgetsTheLongerReportBefore) {
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  copy.WriteLine("one");
  EXPECT_EQ(CopyLines(copy), std::vector<std::string>{"one"});
  for (int i = 0; i < 1000; ++i) copy.WriteLine("an old and rather long line number " + std::to_string(i));
  EXPECT_EQ(CopyLines(copy).size(), 1001u);
  ASSERT_EQ(copy.Line(1000), "an old and rather long line number 999");
  copy.Reset();
  EXPECT_EQ(copy.LineCount(), 0);
  EXPECT_EQ(copy.Line(0), "");
  for (const char* line : {"new", "", "report"}) copy.WriteLine(line);
  ExpectEveryLine(copy, {"new", "", "report"}, {2, 1, 0}, "after the reset");
  EXPECT_EQ(CopyLines(copy), (std::vector<std::string>{"new", "", "report"}));
  EXPECT_EQ(copy.Size(), 12);
}

void Fill(ReportStore& store, int lines) {
  for (int i = 0; i < lines; ++i) store.Add("line " + std::to_string(i));
}

TEST(ReportStore, ClosesWithEmptyLineAndNoticeWhenTheLastOrdinaryLineArrives) {
  ReportStore store;
  Fill(store, ReportStore::kCapacity - 1);
  EXPECT_FALSE(store.Full());
  EXPECT_EQ(store.Count(), 100001);

  store.Add("last");
  EXPECT_TRUE(store.Full());
  ASSERT_EQ(store.Count(), 100004);
  EXPECT_EQ(store.Line(100001), "last");
  EXPECT_EQ(store.Line(100002), "");
  EXPECT_EQ(store.Line(100003),
            "|X*There are more pages to view! Save in a file and then read with an editor.");

  store.Add("ignored");
  EXPECT_EQ(store.Count(), 100004);
  EXPECT_EQ(store.Line(100003).substr(0, 3), "|X*");
  // The copy file still takes every line.
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  for (const char* line : {"beyond", "", "|Mlast"}) WriteReportLine(store, line, &copy);
  EXPECT_EQ(store.Count(), 100004);
  EXPECT_EQ(CopyLines(copy), (std::vector<std::string>{"beyond", "", "|Mlast"}));

  // A clear starts an empty report.
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_FALSE(store.Full());
  WriteReportLine(store, "again", nullptr);
  Fill(store, 3);
  EXPECT_EQ(store.Count(), 4);
  EXPECT_EQ(store.Line(0), "again");
  EXPECT_EQ(store.Line(3), "line 2");
}

TEST(ReportStore, AcceptsALineReadFromTheStoreItself) {
  ReportStore store;
  store.Add("short");
  store.Add(std::string(100, 'b'));
  for (int i = 0; i < 2000; ++i) store.Add(store.Line(i % 2));
  ASSERT_EQ(store.Count(), 2002);
  EXPECT_EQ(store.Line(2000), "short");
  EXPECT_EQ(store.Line(2001), std::string(100, 'b'));
}

// 110 characters are stored whole; 111 go to the fatal handler, which by
// default exits with code 1.
TEST(ReportStore, HandsALineOf111CharactersToTheFatalHandler) {
  struct TooLong { std::string message; };
  ReportStore store;
  store.Add(std::string(110, 'a'));
  std::string reported;
  store.SetFatalHandler([](const std::string& message) { throw TooLong{message}; });
  try {
    store.Add(std::string(111, 'a'));
    ADD_FAILURE() << "the over-long line was accepted";
  } catch (const TooLong& e) {
    reported = e.message;
  }
  EXPECT_EQ(reported, "Error in CMS::Add function!");
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Line(0), std::string(110, 'a'));
}

TEST(ReportStoreDeathTest, ExitsWithCodeOneOnAnOverLongLineByDefault) {
  ReportStore store;
  EXPECT_EXIT(store.Add(std::string(111, 'a')), testing::ExitedWithCode(1),
              "Error in CMS::Add function!");
}

// Writes `lines` numbered lines the way the analyses do.
void Write(ReportStore& store, ReportCopyFile* copy, int lines, const std::string& word) {
  for (int i = 0; i < lines; ++i) WriteReportLine(store, word + " " + std::to_string(i), copy);
}

TEST(ShownReport, ComesFromTheCopyFileOnlyWhenItHoldsTheOverflowingReport) {
  const int capacity = ReportStore::kCapacity;
  const struct {
    const char* name;
    std::function<void(ReportStore&, ReportCopyFile&)> run;
    bool fromCopy;
    std::int64_t count;
    std::string last;
  } cases[] = {
      {"a report that fits the store",
       [](ReportStore& s, ReportCopyFile& c) { Write(s, &c, 10, "fits"); }, false, 10, "fits 9"},
      {"exactly the store's lines",
       [&](ReportStore& s, ReportCopyFile& c) { Write(s, &c, capacity, "full"); }, true, capacity,
       "full 100001"},
      {"longer than the store",
       [&](ReportStore& s, ReportCopyFile& c) { Write(s, &c, capacity + 777, "long"); }, true,
       capacity + 777, "long 100778"},
      {"an overflowing report without the copy file, after one with it",
       [&](ReportStore& s, ReportCopyFile& c) {
         Write(s, &c, capacity + 5, "earlier");
         s.Clear();
         Write(s, nullptr, capacity + 5, "pedigree");
       },
       false, capacity + 2, ReportStore::kFullNotice},
      {"two reports written to the copy file without a reset between them",
       [&](ReportStore& s, ReportCopyFile& c) {
         Write(s, &c, 20, "first");
         s.Clear();
         Write(s, &c, capacity + 5, "second");
       },
       false, capacity + 2, ReportStore::kFullNotice},
      {"canceled after overflowing",
       [&](ReportStore& s, ReportCopyFile& c) {
         Write(s, &c, capacity + 5, "long");
         s.Clear();
         s.Add("|XProcess has been canceled by the user.");
       },
       false, 1, "|XProcess has been canceled by the user."},
  };
  for (const auto& c : cases) {
    ReportStore store;
    ReportCopyFile copy;
    ASSERT_TRUE(copy.Create());
    // Each analysis clears the store and resets the copy file first.
    store.Clear();
    copy.Reset();
    c.run(store, copy);
    const ShownReport shown(store, copy);
    EXPECT_EQ(shown.FromCopyFile(), c.fromCopy) << c.name;
    ASSERT_EQ(shown.Count(), c.count) << c.name;
    EXPECT_EQ(shown.Line(shown.Count() - 1), c.last) << c.name;
    EXPECT_EQ(shown.Line(shown.Count()), "") << c.name;
    // Where both hold a line, they agree.
    const int ordinary = store.Full() ? ReportStore::kCapacity : store.Count();
    for (int i : {0, 1, 63, 64, 99999, 100001}) {
      if (i >= ordinary) continue;
      EXPECT_EQ(shown.Line(i), store.Line(i)) << c.name << ", line " << i;
    }
  }
}

}  // namespace
}  // namespace kinvar
