// Path counting: every listed path against a brute-force enumeration, the
// NCA contributions against Wright's formula and the tabular A, the exact
// report of a small pedigree, the cutting of long paths, a full report
// store, a pedigree far deeper than the machine stack, and cancels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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
    std::int32_t command;
    std::optional<int> group;
    const char* id;
    std::string line;
  };
  const Row rows[] = {
      {"individual", kCmdPathCountingIndividual, {}, "n", "|XN |Ais not inbred."},
      {"group", kCmdPathCountingGroup, 1, nullptr, "There is no inbred in the group |X1."},
  };
  for (const Row& row : rows) {
    Session s(kSmall);
    s.platform.groupChoices.push_back(row.group);
    if (row.id != nullptr) s.platform.typedIds.push_back(row.id);
    s.doc.RunCommand(row.command);
    EXPECT_EQ(s.Report(), std::vector<std::string>{row.line}) << row.name;
    EXPECT_EQ(s.doc.lastCommand(), 0) << row.name;
  }
  Session none("progeny sire dam\nA 0 0\nB 0 0\nC A B\n");
  none.doc.RunCommand(kCmdPathCountingAll);
  EXPECT_EQ(none.Report(), std::vector<std::string>{"There is no inbred."});
}

// X out of the last of `depth` sires above a founder, and of Q, the
// founder's daughter: one path through every generation.
std::string SireLine(const std::string& prefix, int depth) {
  std::string text = "progeny sire dam\n" + prefix + "0 0 0\n";
  for (int g = 1; g <= depth; ++g)
    text += prefix + std::to_string(g) + " " + prefix + std::to_string(g - 1) + " 0\n";
  return text + "Q " + prefix + "0 0\nX " + prefix + std::to_string(depth) + " Q\n";
}

// Long IDs and a chain of eight generations between the sire and the NCA.
TEST(PathCounting, LongPathsContinueOnLinesOfNinetyVisibleCharacters) {
  Session s(SireLine("AAAAAAAAAAAAAAAAAAA", 8));
  s.platform.typedIds.push_back("x");
  s.doc.RunCommand(kCmdPathCountingIndividual);
  const std::vector<std::string> lines = s.Report();
  const std::string saved = s.SaveAs();
  const std::size_t at = saved.find("<");
  const std::string path = saved.substr(at, saved.find('\n', at) - at);
  std::string joined;
  for (std::size_t i = 5; i < lines.size() && lines[i].starts_with(i == 5 ? "<" : "     |"); ++i) {
    std::string visible = ExpandMarkup(lines[i]);
    visible.pop_back();
    EXPECT_LE(visible.size(), 90u) << lines[i];
    if (visible.size() < 90) {
      EXPECT_EQ(lines[i + 1].substr(0, 4), "NCAs");
    }
    joined += i == 5 ? visible : visible.substr(5);
  }
  EXPECT_EQ(joined, path);
  EXPECT_EQ(lines[6].substr(0, 7), "     |A");
  EXPECT_GT(path.size(), 180u);
}

// Full sibs mated for many generations: far more paths than the store holds.
std::string FullSibChain(int generations) {
  std::string text = "progeny sire dam\nS0 0 0\nD0 0 0\n";
  for (int g = 1; g <= generations; ++g) {
    const std::string p = std::to_string(g - 1), c = std::to_string(g);
    text.append("S").append(c).append(" S").append(p).append(" D").append(p);
    text.append("\nD").append(c).append(" S").append(p).append(" D").append(p).append("\n");
  }
  return text;
}

TEST(PathCounting, AFullStoreStopsTheSearch) {
  Session s(FullSibChain(30));
  s.doc.RunCommand(kCmdPathCountingAll);
  EXPECT_EQ(s.doc.pedigree().report.Count(), CMS::kSlots);
  EXPECT_EQ(s.Report().back(), CMS::kFullNotice);
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

TEST(PathCounting, CancelLeavesTheCancelStateAndAnEmptyFile) {
  for (const std::int32_t command : {kCmdPathCountingAll, kCmdPathCountingIndividual}) {
    Session s(FullSibChain(40));
    s.platform.typedIds.push_back("s40");
    s.doc.RunCommand(command);
    ASSERT_EQ(s.doc.lastCommand(), command);
    s.platform.cancelAtPoll = s.platform.polls + 1;
    std::FILE* f = std::tmpfile();
    s.doc.WriteSaveFile(f, 1);
    EXPECT_EQ(test::ReadFromStart(f), "");
    std::fclose(f);
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

}  // namespace
}  // namespace kinvar
