#include "report/report_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/report_copy_file.h"

namespace kinvar {
namespace {

struct TooLong {
  std::string message;
};

std::vector<std::string> CopyLines(ReportCopyFile& copy) {
  std::vector<std::string> lines;
  copy.ForEachLine([&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

void Fill(CMS& store, int lines) {
  for (int i = 0; i < lines; ++i) store.Add("line " + std::to_string(i));
}

TEST(ReportStore, ClosesWithEmptyLineAndNoticeWhenTheLastOrdinaryLineArrives) {
  CMS store;
  Fill(store, CMS::kCapacity - 1);
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
}

TEST(ReportStore, ClearOfAFullStoreStartsAnEmptyReport) {
  CMS store;
  Fill(store, CMS::kCapacity);
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_FALSE(store.Full());

  WriteReportLine(store, "again", nullptr);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Line(0), "again");
  Fill(store, 3);
  EXPECT_EQ(store.Line(3), "line 2");
}

TEST(ReportStore, AcceptsALineReadFromTheStoreItself) {
  CMS store;
  store.Add("short");
  store.Add(std::string(100, 'b'));
  for (int i = 0; i < 2000; ++i) store.Add(store.Line(i % 2));
  ASSERT_EQ(store.Count(), 2002);
  EXPECT_EQ(store.Line(2000), "short");
  EXPECT_EQ(store.Line(2001), std::string(100, 'b'));
}

// 110 characters are stored whole; 111 go to the fatal handler.
TEST(ReportStore, HandsALineOf111CharactersToTheFatalHandler) {
  CMS store;
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
  CMS store;
  EXPECT_EXIT(store.Add(std::string(111, 'a')), testing::ExitedWithCode(1),
              "Error in CMS::Add function!");
}

TEST(ReportStore, WriteReportLineCopiesEveryLineEvenWhenTheStoreIsFull) {
  CMS store;
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  Fill(store, CMS::kCapacity);
  WriteReportLine(store, "beyond", &copy);
  WriteReportLine(store, "", &copy);
  WriteReportLine(store, "|Mlast", &copy);
  EXPECT_EQ(store.Count(), 100004);
  EXPECT_EQ(CopyLines(copy), (std::vector<std::string>{"beyond", "", "|Mlast"}));
}

// Writing after reading appends; a reset truncates, so only the new report
// is read.
TEST(ReportCopyFile, AppendsUntilAResetTruncates) {
  ReportCopyFile copy;
  ASSERT_TRUE(copy.Create());
  copy.WriteLine("one");
  EXPECT_EQ(CopyLines(copy), std::vector<std::string>{"one"});
  for (int i = 0; i < 1000; ++i) copy.WriteLine("an old and rather long line " + std::to_string(i));
  EXPECT_EQ(CopyLines(copy).size(), 1001u);
  copy.Reset();
  copy.WriteLine("new 1");
  copy.WriteLine("");
  copy.WriteLine("new 3");
  EXPECT_EQ(CopyLines(copy), (std::vector<std::string>{"new 1", "", "new 3"}));
}

}  // namespace
}  // namespace kinvar
