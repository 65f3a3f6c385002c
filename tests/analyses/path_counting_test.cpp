// Path counting: every listed path against a brute-force enumeration, the
// NCA contributions against Wright's formula and the tabular A, the exact
// report of a small pedigree, the cutting of long paths, a full report
// store, a pedigree far deeper than the machine stack, and cancels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analyses/path_counting.h"
#include "report/markup.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

// The paths of Wright's method from the sire up to an ancestor A and from
// the dam up to A, sharing only A; sire side dam first, then sire.
class BruteForce {
 public:
  explicit BruteForce(const Pedigree& ped) : ped_(ped) {}

  std::vector<std::string> Paths(const Rec& x) {
    paths_.clear();
    sireSide_.clear();
    dam_ = x.dam;
    Up(x.sire);
    return paths_;
  }

 private:
  void Up(RecIndex u) {
    sireSide_.push_back(u);
    damSide_.clear();
    Down(u, dam_);
    for (const RecIndex p : {ped_.rec(u).dam, ped_.rec(u).sire})
      if (p != kUnknownParent) Up(p);
    sireSide_.pop_back();
  }
  // Every way from v up to a.
  void Down(RecIndex a, RecIndex v) {
    for (std::size_t i = 0; i + 1 < sireSide_.size(); ++i)
      if (sireSide_[i] == v) return;
    damSide_.push_back(v);
    if (v == a) {
      std::string text;
      for (std::size_t i = 0; i + 1 < sireSide_.size(); ++i)
        text.append("<").append(Id(sireSide_[i]));
      text.append("<").append(Id(a)).append(">");
      for (std::size_t j = damSide_.size() - 1; j-- > 0;) text.append(Id(damSide_[j])).append(">");
      paths_.push_back(text);
    } else {
      for (const RecIndex p : {ped_.rec(v).dam, ped_.rec(v).sire})
        if (p != kUnknownParent) Down(a, p);
    }
    damSide_.pop_back();
  }
  const char* Id(RecIndex r) const { return ped_.rec(r).id; }

  const Pedigree& ped_;
  RecIndex dam_ = kUnknownParent;
  std::vector<RecIndex> sireSide_, damSide_;
  std::vector<std::string> paths_;
};

struct Block {
  std::vector<std::string> ids;
  std::vector<std::string> paths;
  std::map<std::string, double> contributions;  // by NCA
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The result blocks of a path-counting file.
std::vector<Block> ParseBlocks(const std::string& text) {
  std::istringstream in(text);
  std::vector<Block> blocks;
  std::string line;
  while (std::getline(in, line) && !line.starts_with("----------")) {
  }
  Block b;
  while (std::getline(in, line)) {
    if (line.starts_with("<")) {
      b.paths.push_back(line);
    } else if (line.starts_with("NCAs:")) {
      for (int n = std::atoi(line.c_str() + 11); n > 0 && std::getline(in, line); --n) {
        const auto w = Words(line);
        b.contributions[w[0]] = std::strtod(w[2].c_str(), nullptr);
      }
    } else if (line.starts_with("-----")) {
      blocks.push_back(b);
      b = {};
    } else if (line != "Path(s):") {
      b.ids.push_back(Words(line)[0]);
    }
  }
  return blocks;
}

using Session = test::DocSession;

TEST(PathCounting, ListsExactlyTheBruteForcePathsAndTheirContributionsAddUpToF) {
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= 80; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 60));
    Session s(random.text);
    s.doc.settings().numberFormat = 7;  // six decimals
    s.doc.RunCommand(kCmdPathCountingAll);
    const Pedigree& ped = s.doc.pedigree();
    const test::DenseMatrix a = test::TabularA(ped);
    BruteForce brute(ped);
    std::map<std::string, const Block*> blockOf;
    const std::vector<Block> blocks =
        s.doc.lastCommand() == kCmdPathCountingAll ? ParseBlocks(s.SaveAs()) : std::vector<Block>{};
    for (const Block& b : blocks)
      for (const std::string& id : b.ids) blockOf[id] = &b;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const Rec& x = ped.byCode(i);
      const std::string where = "seed " + std::to_string(seed) + " " + x.id;
      if (x.sire == kUnknownParent || x.dam == kUnknownParent) {
        EXPECT_EQ(blockOf.count(x.id), 0u) << where;
        continue;
      }
      const std::vector<std::string> paths = brute.Paths(x);
      if (paths.empty()) {
        EXPECT_EQ(blockOf.count(x.id), 0u) << where;
        continue;
      }
      ASSERT_EQ(blockOf.count(x.id), 1u) << where;
      const Block& b = *blockOf[x.id];
      EXPECT_EQ(b.paths, paths) << where;
      // Wright's formula: the contributions add up to half the parents' A.
      double sum = 0.0;
      for (const auto& [nca, p] : b.contributions) sum += p;
      const double f = a(static_cast<std::size_t>(ped.rec(x.sire).code - 1),
                         static_cast<std::size_t>(ped.rec(x.dam).code - 1)) /
                       2;
      EXPECT_NEAR(sum, f, 1e-5 * (1 + b.contributions.size())) << where;
      ++checked;
    }
  }
  EXPECT_GT(checked, 200);
}

// E, W: full sibs out of full sibs; F: a sire mated to his own dam's
// offspring; N: not inbred.
constexpr const char* kSmall =
    "progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 1\nD A B 2\nE C D 2\nW C D 2\nF A E 2\n"
    "N A 0 2\n";

TEST(PathCounting, GroupReportLinesExactly) {
  Session s(kSmall);
  s.platform.groupChoices.push_back(2);
  s.doc.RunCommand(kCmdPathCountingGroup);
  EXPECT_EQ(s.doc.lastCommand(), kCmdPathCountingGroup);
  const std::vector<std::string> want = {"|XResults for path counting method:",
                                         "Group|T52",
                                         "",
                                         "Individual|T1|T5F",
                                         "----------|T1|T5----------",
                                         "E|T1|T5|I0.25",
                                         "W|T1|T5|I0.25",
                                         "Path(s):",
                                         "<C<|XB|A>D>",
                                         "<C<|XA|A>D>",
                                         "NCAs: (N = 2)|T1|T5F|T7|T5P",
                                         "|XB|T1|T5|I0|T7|T50.125",
                                         "|XA|T1|T5|I0|T7|T50.125",
                                         std::string(69, '-'),
                                         "F|T1|T5|I0.25",
                                         "Path(s):",
                                         "<|XA|A>D>E>",
                                         "<|XA|A>C>E>",
                                         "NCAs: (N = 1)|T1|T5F|T7|T5P",
                                         "|XA|T1|T5|I0|T7|T50.25",
                                         std::string(69, '-')};
  EXPECT_EQ(s.Report(), want);
  // Save As writes the same, laid out, with the literal lines as they are.
  std::string file;
  for (const std::string& line : want) file += ExpandMarkup(line);
  const std::string saved = s.SaveAs();
  EXPECT_EQ(saved.substr(saved.find("Results")), file);
}

TEST(PathCounting, NobodyInbredIsSaidSo) {
  struct Row {
    const char* name;
    const char* text;
    std::int32_t command;
    std::optional<int> group;
    const char* id;
    std::string line;
  };
  const Row rows[] = {
      {"individual", kSmall, kCmdPathCountingIndividual, {}, "n", "|XN |Ais not inbred."},
      {"group", kSmall, kCmdPathCountingGroup, 1, "", "There is no inbred in the group |X1."},
      {"all", "progeny sire dam\nA 0 0\nB 0 0\nC A B\n", kCmdPathCountingAll, {}, "",
       "There is no inbred."},
  };
  for (const Row& row : rows) {
    Session s(row.text);
    s.platform.groupChoices.push_back(row.group);
    s.platform.typedIds.push_back(row.id);
    s.doc.RunCommand(row.command);
    EXPECT_EQ(s.Report(), std::vector<std::string>{row.line}) << row.name;
    EXPECT_EQ(s.doc.lastCommand(), 0) << row.name;
  }
}

// X out of the last of `depth` sires above a founder, and of Q, the
// founder's daughter: one path through every generation.
std::string SireLine(const std::string& prefix, int depth) {
  std::string text = "progeny sire dam\n" + prefix + "0 0 0\n";
  for (int g = 1; g <= depth; ++g)
    text += prefix + std::to_string(g) + " " + prefix + std::to_string(g - 1) + " 0\n";
  return text + "Q " + prefix + "0 0\nX " + prefix + std::to_string(depth) + " Q\n";
}

// `count` IDs of exactly `length` characters: the letter repeated, then a
// number.
std::vector<std::string> Ids(char letter, int count, std::size_t length) {
  std::vector<std::string> ids;
  for (int i = 1; i <= count; ++i) {
    const std::string number = std::to_string(i);
    ids.push_back(std::string(length - number.size(), letter) + number);
  }
  return ids;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

int VisibleWidth(const std::string& line) {
  return static_cast<int>(ExpandMarkup(line).size()) - 1;  // less the "\n"
}

struct LongPathRow {
  const char* name;
  std::vector<std::string> sireSide;  // from X's sire up to just below the NCA
  std::string nca;
  std::vector<std::string> damSide;   // from just below the NCA down to X's dam
  std::vector<std::string> exact;     // the path's lines, when given
};

// X, whose sire and dam descend from the NCA along the two sides (through
// sires only, up to X's dam), has one path: the sire side, the NCA, the dam
// side.
std::string TwoSides(const LongPathRow& row) {
  std::string text = "progeny sire dam\n" + row.nca + " 0 0\n";
  std::string above = row.nca;
  for (std::size_t i = row.sireSide.size(); i-- > 0; above = row.sireSide[i])
    text += row.sireSide[i] + " " + above + " 0\n";
  above = row.nca;
  for (const std::string& id : row.damSide) {
    text += id + " " + above + " 0\n";
    above = id;
  }
  return text + "X " + (row.sireSide.empty() ? row.nca : row.sireSide[0]) + " " + above + "\n";
}

const std::string kTwenty(20, 'A');

TEST(PathCounting, LongPathsBreakOnlyBetweenElementsOfTheirLines) {
  const LongPathRow rows[] = {
      {"fits on one line", {"S1", "S2"}, "A", {"D1"}, {"<S1<S2<|XA|A>D1>"}},
      // 4 x 21 + 3 + 3 visible characters.
      {"exactly ninety visible characters", Ids('S', 4, 20), "A", {"DD"},
       {"<SSSSSSSSSSSSSSSSSSS1<SSSSSSSSSSSSSSSSSSS2<SSSSSSSSSSSSSSSSSSS3<SSSSSSSSSSSSSSSSSSS4<|XA|A>"
        "DD>"}},
      // One more: the dam's element moves whole to the next line.
      {"ninety-one visible characters", Ids('S', 4, 20), "A", {"DDD"},
       {"<SSSSSSSSSSSSSSSSSSS1<SSSSSSSSSSSSSSSSSSS2<SSSSSSSSSSSSSSSSSSS3<SSSSSSSSSSSSSSSSSSS4<|XA|A>",
        "     |ADDD>"}},
      {"twenty-character IDs up the sire side", Ids('S', 12, 20), kTwenty, {"D1"}, {}},
      {"twenty-character IDs on both sides", Ids('S', 9, 20), kTwenty, Ids('D', 9, 20), {}},
      {"the sire is the NCA", {}, kTwenty, Ids('D', 14, 19), {}},
      {"short IDs, a long path", Ids('S', 60, 3), "A", Ids('D', 45, 3), {}},
      {"IDs of every length", Concat(Ids('S', 9, 11), Ids('T', 9, 5)), "AT17L",
       Concat(Ids('D', 9, 17), Ids('F', 9, 6)), {}},
  };
  for (const LongPathRow& row : rows) {
    Session s(TwoSides(row));
    s.platform.typedIds.push_back("x");
    s.doc.RunCommand(kCmdPathCountingIndividual);
    ASSERT_EQ(s.doc.lastCommand(), kCmdPathCountingIndividual) << row.name;
    // The path's elements, written here from the IDs.
    std::vector<std::string> elements;
    for (const std::string& id : row.sireSide) elements.push_back("<" + id);
    elements.push_back("<|X" + row.nca + "|A>");
    for (const std::string& id : row.damSide) elements.push_back(id + ">");
    const std::vector<std::string> report = s.Report();
    std::vector<std::string> lines;
    for (std::size_t i = 5; i < report.size() && !report[i].starts_with("NCAs"); ++i)
      lines.push_back(report[i]);
    if (!row.exact.empty()) {
      EXPECT_EQ(lines, row.exact) << row.name;
    }
    // Each line is a run of whole elements, as many as fit in 90 visible
    // characters, and the runs together are the path.
    std::size_t e = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      EXPECT_LE(line.size(), ReportStore::kMaxLineLength) << row.name;
      std::string body = line;
      if (i > 0) {
        ASSERT_EQ(line.substr(0, 7), "     |A") << row.name;
        body = line.substr(7);
      }
      std::size_t used = 0;
      while (used < body.size()) {
        ASSERT_LT(e, elements.size()) << row.name << " line " << i;
        ASSERT_EQ(body.compare(used, elements[e].size(), elements[e]), 0)
            << row.name << " line " << i << ": " << line;
        used += elements[e++].size();
      }
      EXPECT_LE(VisibleWidth(line), 90) << row.name << ": " << line;
      if (i + 1 < lines.size() && e < elements.size()) {
        EXPECT_GT(VisibleWidth(line) + VisibleWidth(elements[e]), 90) << row.name << ": " << line;
      }
    }
    EXPECT_EQ(e, elements.size()) << row.name;
    // The saved file keeps each path on one line.
    std::string path;
    for (const std::string& element : elements) path += element;
    const std::string saved = s.SaveAs();
    EXPECT_NE(saved.find("Path(s):\n" + ExpandMarkup(path) + "NCAs"), std::string::npos)
        << row.name;
  }
}

// A random deep pedigree with IDs of 1 to 20 characters: males and females
// alternate, and parents come from the last three of each sex.
std::string LongIdPedigree(std::uint64_t seed, int size) {
  std::mt19937_64 draw(seed);
  std::vector<std::string> ids[2];  // by sex
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < size; ++i) {
    const std::string number = std::to_string(i);
    const std::size_t length = std::max<std::size_t>(number.size() + 1, 1 + draw() % 20);
    const std::string id =
        std::string(length - number.size(), static_cast<char>('A' + draw() % 26)) + number;
    if (i < 4) {
      text += id + " 0 0\n";
    } else {
      const auto pick = [&](const std::vector<std::string>& sex) -> const std::string& {
        return sex[sex.size() - 1 - draw() % std::min<std::size_t>(sex.size(), 3)];
      };
      text += id + " " + pick(ids[0]) + " " + pick(ids[1]) + "\n";
    }
    ids[i % 2].push_back(id);
  }
  return text;
}

TEST(PathCounting, EveryReportedPathJoinsToTheSavedOneAndBreaksOnlyAtElements) {
  int cut = 0;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    Session s(LongIdPedigree(seed, 22));
    s.doc.RunCommand(kCmdPathCountingAll);
    ASSERT_EQ(s.doc.lastCommand(), kCmdPathCountingAll) << seed;
    ASSERT_FALSE(s.doc.pedigree().report.Full()) << seed;
    std::vector<std::string> reported;
    for (const std::string& line : s.Report()) {
      EXPECT_LE(line.size(), ReportStore::kMaxLineLength) << seed;
      EXPECT_LE(VisibleWidth(line), 90) << seed << ": " << line;
      if (line.starts_with("<")) {
        reported.push_back(line);
      } else if (line.starts_with("     |A")) {
        ASSERT_FALSE(reported.empty()) << seed;
        const std::string& before = reported.back();
        // The cut: after a closing '>' or before an opening '<'.
        EXPECT_TRUE(before.back() == '>' || line[7] == '<') << seed << ": " << before << " / " << line;
        reported.back() += line.substr(7);
        ++cut;
      }
    }
    std::vector<std::string> saved;
    std::istringstream in(s.SaveAs());
    for (std::string line; std::getline(in, line);)
      if (line.starts_with("<")) saved.push_back(line);
    ASSERT_EQ(reported.size(), saved.size()) << seed;
    for (std::size_t i = 0; i < saved.size(); ++i)
      EXPECT_EQ(ExpandMarkup(reported[i]), saved[i] + "\n") << seed;
  }
  EXPECT_GT(cut, 50);
}

// Full sibs mated for many generations: far more paths than the store holds.
std::string FullSibChain(int generations) {
  return test::FullSibLine("progeny sire dam\nS0 0 0\nD0 0 0\n", generations);
}

// Thirty generations hold more paths than a day's search: only the full
// store's stop ends it.
TEST(PathCounting, AFullStoreStopsTheSearch) {
  Session s(FullSibChain(30));
  s.doc.RunCommand(kCmdPathCountingAll);
  EXPECT_EQ(s.Report().back(), ReportStore::kFullNotice);
}

TEST(PathCounting, DeepPedigreeNeedsNoDeepRecursion) {
  constexpr int kDepth = 60000;
  Session s(SireLine("B", kDepth));
  s.platform.typedIds.push_back("x");
  s.doc.RunCommand(kCmdPathCountingIndividual);
  ASSERT_EQ(s.doc.lastCommand(), kCmdPathCountingIndividual);
  const std::string saved = s.SaveAs();
  EXPECT_NE(saved.find("<B" + std::to_string(kDepth) + "<B" + std::to_string(kDepth - 1) + "<"),
            std::string::npos);
  EXPECT_NE(saved.find("<B1<B0>Q>\n"), std::string::npos);
}

TEST(PathCounting, CancelledSaveLeavesTheCancelStateAndTheOldFile) {
  for (const std::int32_t command : {kCmdPathCountingAll, kCmdPathCountingIndividual}) {
    Session s(FullSibChain(40));
    s.platform.typedIds.push_back("s40");
    s.doc.RunCommand(command);
    ASSERT_EQ(s.doc.lastCommand(), command);
    s.platform.cancelAtPoll = s.platform.polls + 1;
    test::TempFile old("the old paths\n", ".out");
    EXPECT_FALSE(s.doc.SaveTo(old.path(), 1));
    EXPECT_EQ(test::ReadWholeFile(old.path()), "the old paths\n");
    EXPECT_EQ(s.Report(), std::vector<std::string>{"|XProcess has been canceled by the user."});
    EXPECT_EQ(s.doc.lastCommand(), 0);
  }
  // Cancelled before anybody was listed: still the cancel, not "no inbred".
  Session s(kSmall);
  s.doc.RunCommand(kCmdCompute);
  s.platform.cancelAtPoll = s.platform.polls + 1;
  s.platform.groupChoices.push_back(2);
  s.doc.RunCommand(kCmdPathCountingGroup);
  EXPECT_EQ(s.Report(), std::vector<std::string>{"|XProcess has been canceled by the user."});
}

// A file takes a run's paths only when they number at most the limit: the
// count made before writing is the number of paths the file would hold, so
// a limit of exactly that many writes them all and one less writes nothing.
TEST(PathCountingLimit, AFileIsWrittenUpToTheLimitAndRefusedPastIt) {
  struct Row {
    std::string name;
    std::string text;
    std::int32_t command;
  };
  std::vector<Row> rows = {{"full-sib chain, all", FullSibChain(6), kCmdPathCountingAll},
                           {"full-sib chain, one", FullSibChain(6), kCmdPathCountingIndividual},
                           {"small, group", kSmall, kCmdPathCountingGroup}};
  for (std::uint64_t seed = 1; seed <= 30; ++seed)
    rows.push_back({"random " + std::to_string(seed),
                    test::MakeRandomPedigree(test::VariedOptions(seed, 60)).text, kCmdPathCountingAll});
  int limited = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Session s(row.text);
    s.platform.typedIds.push_back("s6");
    s.platform.groupChoices.push_back(2);
    s.doc.settings().maxPaths = 0;
    s.doc.RunCommand(row.command);
    if (s.doc.lastCommand() != row.command) continue;
    const std::string unlimited = s.SaveAs();
    std::int64_t paths = 0;
    std::istringstream lines(unlimited);
    for (std::string line; std::getline(lines, line);) paths += line.rfind('<', 0) == 0 ? 1 : 0;
    ASSERT_GT(paths, 0);
    s.doc.settings().maxPaths = paths;
    EXPECT_EQ(s.SaveAs(), unlimited);
    s.doc.settings().maxPaths = paths - 1;
    if (paths == 1) continue;
    const std::vector<std::string> report = s.Report();
    test::TempFile old("the old paths\n", ".out");
    EXPECT_FALSE(s.doc.SaveTo(old.path(), 1));
    EXPECT_EQ(test::ReadWholeFile(old.path()), "the old paths\n");
    EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError), PathLimitMessage(paths - 1));
    EXPECT_EQ(s.Report(), report);
    EXPECT_EQ(s.doc.lastCommand(), row.command);
    ++limited;
  }
  EXPECT_GT(limited, 10);
}

// Twenty-five generations of full-sib matings, 685 bytes: billions of
// paths, refused before the first is written.
TEST(PathCountingLimit, AFullSibLineIsRefusedAtTheDefaultLimit) {
  Session s(FullSibChain(25));
  s.doc.RunCommand(kCmdPathCountingAll);
  ASSERT_EQ(s.doc.lastCommand(), kCmdPathCountingAll);
  test::TempFile old("", ".out");
  EXPECT_FALSE(s.doc.SaveTo(old.path(), 1));
  EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError),
            "The paths number more than 1000000, the limit of paths written; nothing was written. Raise the "
            "limit to write them all.");
  EXPECT_EQ(test::ReadWholeFile(old.path()), "");
}

// Sixteen generations of full-sib matings: more paths than the report
// holds. The report's tables stop with its search; completed, they hold
// every path that Save As writes, with the same families.
TEST(PathCountingTables, CompletedTablesHoldEveryPathOfALongRun) {
  test::DocSession s(FullSibChain(16));
  s.doc.RunCommand(kCmdPathCountingAll);
  ASSERT_TRUE(s.doc.pedigree().report.Full());
  EXPECT_EQ(s.doc.pedigree().report.Count(), ReportStore::kSlots);
  EXPECT_EQ(s.Report().back(), ReportStore::kFullNotice);
  const std::size_t cut = s.doc.pedigree().report.tables().Find("paths")->rows();
  CommandContext ctx = s.doc.Context();
  ASSERT_TRUE(CompletePathCountingTables(ctx));
  const ResultSet& tables = s.doc.pedigree().report.tables();
  std::size_t paths = 0;  // the saved file writes a path a line, from '<'
  std::istringstream saved(s.SaveAs());
  for (std::string line; std::getline(saved, line);) paths += line.rfind('<', 0) == 0 ? 1 : 0;
  EXPECT_GT(tables.Find("paths")->rows(), cut);
  EXPECT_EQ(tables.Find("paths")->rows(), paths);
  EXPECT_EQ(tables.Find("inbreds")->rows(), 30u);  // all but the first generation
  EXPECT_EQ(tables.Find("paths")->column(0).Integer(tables.Find("paths")->rows() - 1), 15);
  // Completing again leaves the tables whole.
  ASSERT_TRUE(CompletePathCountingTables(ctx));
  EXPECT_EQ(tables.Find("paths")->rows(), paths);
}

}  // namespace
}  // namespace kinvar
