// Inbreeding beyond F: Ballou's ancestral inbreeding against the recursion
// worked by hand, gene dropping against the exact probabilities found by
// enumerating every Mendelian transmission, partial inbreeding against a
// tabular method run per founder, purged inbreeding against a tabular purged
// coancestry matrix, and the command's report, tables and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/purging.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DocSession;

// The worked pedigree of Gulisija & Crow (2007), sire x dam.
constexpr const char* kWorked =
    "Progeny Sire Dam\nM 0 0\nK 0 0\nJ 0 0\na J K\nc M a\nb J a\ne b c\nd b c\nI d e\n";

struct Fixture {
  std::unique_ptr<Pedigree> ped;
  AncestorSubset subset;
  std::vector<std::int32_t> everyone;  // local numbers 1..m
  std::map<std::string, std::int32_t> local;

  explicit Fixture(const std::string& text) : ped(test::Loaded(text)) {
    std::vector<RecIndex> seeds;
    for (RecIndex r = 1; r <= ped->nTotal; ++r) seeds.push_back(r);
    subset = BuildAncestorSubset(*ped, seeds);
    for (std::int32_t k = 1; k < static_cast<std::int32_t>(subset.recOf.size()); ++k) {
      everyone.push_back(k);
      local[std::string(ped->rec(subset.recOf[static_cast<std::size_t>(k)]).Id())] = k;
    }
  }
  std::int32_t m() const { return static_cast<std::int32_t>(everyone.size()); }
  const Rec& rec(std::int32_t k) const { return ped->rec(subset.recOf[static_cast<std::size_t>(k)]); }
  KernelPedigree::Parents parents(std::int32_t k) const {
    return subset.kernel.parents[static_cast<std::size_t>(k)];
  }
};

Progress& Quiet() {
  static SilentProgressWindow window;
  static Progress progress(window);
  return progress;
}

struct BallouCase {
  const char* name;
  const char* text;
  std::map<std::string, float> fa;
};

// Worked by hand: Fa = [Fa_s + (1 - Fa_s) F_s + Fa_d + (1 - Fa_d) F_d] / 2.
TEST(Purging, BallouFollowsTheRecursionWorkedByHand) {
  const BallouCase cases[] = {
      // C is a full-sib offspring (F = 1/4); its progeny X with an unrelated
      // founder gets half of C's F as Fa; Y = X x C gets Fa from both sides.
      {"full sibs then backcross", "Progeny Sire Dam\nA 0 0\nB 0 0\nS A B\nD A B\nC S D\nU 0 0\nX C U\nY C X\n",
       {{"C", 0.0f}, {"X", 0.125f}, {"Y", (0.25f + (0.125f + 0.875f * 0.0f)) / 2.0f}}},
      {"one parent unknown", "Progeny Sire Dam\nA 0 0\nB 0 0\nS A B\nD A B\nC S D\nX C 0\n",
       {{"X", 0.125f}}},
      {"worked pedigree", kWorked, {{"a", 0.0f}, {"c", 0.0f}, {"b", 0.0f}, {"e", 0.125f}, {"d", 0.125f}}},
  };
  for (const BallouCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Fixture f(c.text);
    const std::vector<float> fa = BallouAncestralInbreeding(*f.ped, f.subset);
    for (const auto& [id, value] : c.fa) {
      std::string upper = id;
      for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      EXPECT_FLOAT_EQ(fa[static_cast<std::size_t>(f.local.at(upper))], value) << id;
    }
  }
  // I = d x e: both parents carry Fa 1/8 and F(d) = F(e) = 1/8 (b and c are
  // half sibs through a... b = J x a and c = M x a share a).
  const Fixture worked(kWorked);
  const std::vector<float> fa = BallouAncestralInbreeding(*worked.ped, worked.subset);
  const float parent = 0.125f + (1.0f - 0.125f) * worked.rec(worked.local.at("D")).f;
  EXPECT_FLOAT_EQ(fa[static_cast<std::size_t>(worked.local.at("I"))], parent);
}

// Exact probabilities by enumerating every transmission: the share of old
// alleles, homozygosity by descent, and homozygosity of an old allele.
struct Exact {
  std::vector<double> ancestral, f, fOld;
};

Exact Enumerate(const Fixture& fx) {
  const std::int32_t m = fx.m();
  int transmissions = 0;
  for (std::int32_t k = 1; k <= m; ++k)
    transmissions += (fx.parents(k).sire != 0) + (fx.parents(k).dam != 0);
  Exact e{std::vector<double>(static_cast<std::size_t>(m) + 1), std::vector<double>(static_cast<std::size_t>(m) + 1),
          std::vector<double>(static_cast<std::size_t>(m) + 1)};
  const std::uint64_t outcomes = std::uint64_t{1} << transmissions;
  std::vector<int> id(2 * (static_cast<std::size_t>(m) + 1));
  std::vector<int> old(id.size());
  for (std::uint64_t mask = 0; mask < outcomes; ++mask) {
    int bit = 0, next = 0;
    for (std::int32_t k = 1; k <= m; ++k) {
      const std::int32_t parents[2] = {fx.parents(k).sire, fx.parents(k).dam};
      for (int side = 0; side < 2; ++side) {
        const std::size_t slot = 2 * static_cast<std::size_t>(k) + static_cast<std::size_t>(side);
        const std::int32_t p = parents[side];
        if (p == 0) {
          id[slot] = next++;
          old[slot] = 0;
          continue;
        }
        const std::size_t from = 2 * static_cast<std::size_t>(p) + ((mask >> bit++) & 1U);
        const bool ibd = id[2 * static_cast<std::size_t>(p)] == id[2 * static_cast<std::size_t>(p) + 1];
        id[slot] = id[from];
        old[slot] = old[from] || ibd;
      }
      const std::size_t a = 2 * static_cast<std::size_t>(k);
      e.ancestral[static_cast<std::size_t>(k)] += (old[a] + old[a + 1]) / 2.0;
      if (id[a] == id[a + 1]) {
        e.f[static_cast<std::size_t>(k)] += 1;
        if (old[a] || old[a + 1]) e.fOld[static_cast<std::size_t>(k)] += 1;
      }
    }
  }
  for (std::vector<double>* v : {&e.ancestral, &e.f, &e.fOld})
    for (double& x : *v) x /= static_cast<double>(outcomes);
  return e;
}

void ExpectWithin(double estimate, double exact, double se, const std::string& what) {
  if (se == 0.0) {
    EXPECT_DOUBLE_EQ(estimate, exact) << what;
  } else {
    EXPECT_LE(std::abs(estimate - exact), 4.0 * se) << what << " exact " << exact;
  }
}

TEST(Purging, GeneDroppingEstimatesTheExactProbabilities) {
  std::vector<std::string> texts{kWorked};
  for (std::uint64_t seed = 1; texts.size() < 8; ++seed) {
    test::RandomPedigreeOptions o;
    o.seed = seed;
    o.size = 9;
    o.founders = 3;
    o.window = 5;
    o.closeMatingChance = 0.6;
    o.unknownParentChance = 0.1;
    o.unlistedChance = 0;
    texts.push_back(test::MakeRandomPedigree(o).text);
  }
  constexpr int kReplicates = 20000;
  std::vector<std::uint32_t> seeds(kReplicates);
  for (std::size_t r = 0; r < seeds.size(); ++r) seeds[r] = static_cast<std::uint32_t>(r * 2654435761U + 17);
  for (std::size_t t = 0; t < texts.size(); ++t) {
    SCOPED_TRACE(t);
    const Fixture fx(texts[t]);
    const Exact exact = Enumerate(fx);
    const auto drops = DropGenes(*fx.ped, fx.subset, fx.everyone, seeds, 2, Quiet());
    ASSERT_TRUE(drops);
    for (std::size_t i = 0; i < fx.everyone.size(); ++i) {
      const auto k = static_cast<std::size_t>(fx.everyone[i]);
      const std::string who(fx.rec(fx.everyone[i]).Id());
      ExpectWithin(drops->ancestral[i], exact.ancestral[k], drops->ancestralSe[i], "Fa of " + who);
      const double f = exact.f[k], old = exact.fOld[k];
      ExpectWithin(drops->f[i], f, std::sqrt(f * (1 - f) / kReplicates), "F of " + who);
      ExpectWithin(drops->fOld[i], old, std::sqrt(old * (1 - old) / kReplicates), "F old of " + who);
      EXPECT_DOUBLE_EQ(drops->fNew[i] + drops->fOld[i], drops->f[i]);
      // The coefficient of the program is the same probability.
      EXPECT_NEAR(f, static_cast<double>(fx.rec(fx.everyone[i]).f), 1e-6) << who;
    }
  }
}

TEST(Purging, EveryFigureRepeatsWhateverTheThreads) {
  const Fixture fx(test::MakeRandomPedigree(test::VariedOptions(3, 150)).text);
  EXPECT_EQ(*PurgedInbreeding(*fx.ped, fx.subset, 0.2f, 1, Quiet()),
            *PurgedInbreeding(*fx.ped, fx.subset, 0.2f, 3, Quiet()));
  const std::vector<FounderOrigin> founders = FounderOrigins(fx.subset, fx.everyone, 5);
  EXPECT_EQ(*PartialInbreeding(*fx.ped, fx.subset, founders, 1, Quiet()),
            *PartialInbreeding(*fx.ped, fx.subset, founders, 3, Quiet()));
  const std::vector<std::uint32_t> seeds{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const auto one = DropGenes(*fx.ped, fx.subset, fx.everyone, seeds, 1, Quiet());
  const auto three = DropGenes(*fx.ped, fx.subset, fx.everyone, seeds, 3, Quiet());
  ASSERT_TRUE(one && three);
  EXPECT_EQ(one->ancestral, three->ancestral);
  EXPECT_EQ(one->fOld, three->fOld);
}

// The partial relationship matrix of one founder by the tabular method, by
// local number: genes enter at the founder (all) or at the individual whose
// unknown parent it is (half).
std::vector<double> TabularPartial(const Fixture& fx, const FounderOrigin& founder) {
  const auto n = static_cast<std::size_t>(fx.m()) + 1;
  std::vector<double> a(n * n, 0.0), genes(n, 0.0), partial(n, 0.0);
  for (std::size_t i = 1; i < n; ++i) {
    const auto p = fx.parents(static_cast<std::int32_t>(i));
    const auto s = static_cast<std::size_t>(p.sire), d = static_cast<std::size_t>(p.dam);
    genes[i] = (genes[s] + genes[d]) / 2;
    if (static_cast<std::size_t>(founder.local) == i) genes[i] += founder.side == 0 ? 1.0 : 0.5;
    for (std::size_t j = 1; j < i; ++j) a[i * n + j] = a[j * n + i] = (a[j * n + s] + a[j * n + d]) / 2;
    if (s != 0 && d != 0) partial[i] = a[s * n + d] / 2;
    a[i * n + i] = genes[i] + partial[i];
  }
  return partial;
}

TEST(Purging, PartialInbreedingIsTheTabularMethodPerFounderAndAddsUpToF) {
  std::vector<std::string> texts{kWorked};
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 60);
    o.fColumn = false;
    texts.push_back(test::MakeRandomPedigree(o).text);
  }
  for (std::size_t t = 0; t < texts.size(); ++t) {
    SCOPED_TRACE(t);
    const Fixture fx(texts[t]);
    const std::vector<FounderOrigin> founders = FounderOrigins(fx.subset, fx.everyone, 0);
    const auto partial = PartialInbreeding(*fx.ped, fx.subset, founders, 2, Quiet());
    ASSERT_TRUE(partial);
    const std::size_t nj = founders.size();
    std::vector<double> sums(static_cast<std::size_t>(fx.m()) + 1, 0.0);
    for (std::size_t j = 0; j < nj; ++j) {
      const std::vector<double> exact = TabularPartial(fx, founders[j]);
      for (std::int32_t k = 1; k <= fx.m(); ++k) {
        const auto got = static_cast<double>((*partial)[static_cast<std::size_t>(k) * nj + j]);
        EXPECT_NEAR(got, exact[static_cast<std::size_t>(k)], 1e-6);
        sums[static_cast<std::size_t>(k)] += got;
      }
    }
    for (std::int32_t k = 1; k <= fx.m(); ++k)
      EXPECT_NEAR(sums[static_cast<std::size_t>(k)], static_cast<double>(fx.rec(k).f), 1e-5);
  }
}

TEST(Purging, TheWorkedPedigreeSplitsFOfIByFounder) {
  const Fixture fx(kWorked);
  const std::vector<FounderOrigin> founders = FounderOrigins(fx.subset, {fx.local.at("I")}, 0);
  const auto partial = PartialInbreeding(*fx.ped, fx.subset, founders, 2, Quiet());
  ASSERT_TRUE(partial);
  std::map<std::string, float> byFounder;
  for (std::size_t j = 0; j < founders.size(); ++j)
    byFounder[std::string(fx.rec(founders[j].local).Id())] =
        (*partial)[static_cast<std::size_t>(fx.local.at("I")) * founders.size() + j];
  EXPECT_EQ(byFounder, (std::map<std::string, float>{{"J", 7.0f / 32}, {"K", 3.0f / 32}, {"M", 1.0f / 16}}));
  EXPECT_FLOAT_EQ(fx.rec(fx.local.at("I")).f, 0.375f);
}

// The purged coancestry matrix by the tabular method, expanding the younger.
std::vector<double> TabularPurged(const Fixture& fx, double d) {
  const auto n = static_cast<std::size_t>(fx.m()) + 1;
  std::vector<double> g(n * n, 0.0), purged(n, 0.0);
  for (std::size_t i = 1; i < n; ++i) {
    const auto p = fx.parents(static_cast<std::int32_t>(i));
    const auto s = static_cast<std::size_t>(p.sire), dm = static_cast<std::size_t>(p.dam);
    const double fi = static_cast<double>(fx.rec(static_cast<std::int32_t>(i)).f);
    for (std::size_t j = 1; j < i; ++j)
      g[i * n + j] = g[j * n + i] = (g[j * n + s] + g[j * n + dm]) / 2 * (1 - d * fi);
    purged[i] = g[s * n + dm];
    g[i * n + i] = (1 + purged[i]) / 2 * (1 - 2 * d * fi);
  }
  return purged;
}

TEST(Purging, PurgedInbreedingIsTheTabularPurgedCoancestryAndFWithoutPurging) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE(seed);
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 120);
    o.fColumn = false;
    const Fixture fx(test::MakeRandomPedigree(o).text);
    for (const float d : {0.0f, 0.1f, 0.3f, 0.5f}) {
      const auto g = PurgedInbreeding(*fx.ped, fx.subset, d, 2, Quiet());
      ASSERT_TRUE(g);
      const std::vector<double> exact = TabularPurged(fx, static_cast<double>(d));
      for (std::int32_t k = 1; k <= fx.m(); ++k) {
        const auto got = static_cast<double>((*g)[static_cast<std::size_t>(k)]);
        EXPECT_NEAR(got, exact[static_cast<std::size_t>(k)], 1e-6) << "d " << d;
        if (d == 0.0f) {
          EXPECT_NEAR(got, static_cast<double>(fx.rec(k).f), 1e-6);
        }
        EXPECT_LE(got, static_cast<double>(fx.rec(k).f) + 1e-6);
      }
    }
  }
}

TEST(Purging, TheCommandAsksItsSettingsAndWritesItsTables) {
  const test::TempFile seed("");
  DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  s.doc.seedFile = seed.path();
  s.platform.groupChoices = {kAllIndividuals};
  s.platform.forms = {std::vector<std::string>{"0.2", "500", "1"}};
  s.doc.RunCommand(kCmdPurging);
  ASSERT_EQ(s.doc.lastCommand(), kCmdPurging);
  EXPECT_EQ(s.platform.formCaptions, std::vector<std::string>{"Inbreeding-purging analysis"});
  const ResultSet& tables = s.doc.pedigree().report.tables();
  EXPECT_EQ(test::TableNames(tables), "summary purging_groups founders purging partial_inbreeding");
  EXPECT_EQ(test::Schema(*tables.Find("purging")),
            "id:id code:integer f:real fa_ballou:real g:real fa_gene_drop:real fa_gene_drop_se:real "
            "f_gene_drop:real f_new:real f_old:real");
  EXPECT_EQ(tables.Find("purging")->rows(), 18u);
  // The seed file goes on: a second run draws other replicates.
  const std::vector<double> first = test::RealCells(*tables.Find("purging"), "fa_gene_drop");
  s.platform.groupChoices = {kAllIndividuals};
  s.platform.forms = {std::vector<std::string>{"0.2", "500", "1"}};
  s.doc.RunCommand(kCmdPurging);
  EXPECT_NE(test::RealCells(*s.doc.pedigree().report.tables().Find("purging"), "fa_gene_drop"), first);
}

std::string SeedLine(const std::vector<std::string>& report) {
  for (const std::string& line : report)
    if (line.starts_with("Random seed|T3|I")) return line;
  return "";
}

struct SeedRow {
  const char* name;
  // Between the first run and the second: a re-run by the Options dialog,
  // or a new run from the menu with the seed typed ("" for none).
  bool optionsRerun;
  const char* typedSeed;
  bool sameFigures;
  bool seedFileAdvances;
};

// Random figures repeat where the user did not ask for new ones, and the
// report names the seed that repeats them.
TEST(Purging, GeneDroppingRepeatsItsSeedUnlessANewOneIsAskedFor) {
  const SeedRow rows[] = {
      {"the Options dialog re-runs the same replicates", true, "", true, false},
      {"a new run from the menu draws a new seed", false, "", false, true},
      {"the seed the report named, typed, repeats the run", false, "named", true, false},
  };
  for (const SeedRow& row : rows) {
    const test::TempFile seedFile("");
    DocSession s;
    ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
    s.doc.seedFile = seedFile.path();
    s.platform.groupChoices = {kAllIndividuals};
    s.platform.forms = {std::vector<std::string>{"0.2", "300", "0", ""}};
    s.doc.RunCommand(kCmdPurging);
    const std::string named = SeedLine(s.Report());
    ASSERT_FALSE(named.empty()) << row.name;
    const std::string seed = named.substr(std::string("Random seed|T3|I").size());
    const ResultTable& summary = *s.doc.pedigree().report.tables().Find("summary");
    EXPECT_EQ(std::to_string(static_cast<std::uint32_t>(test::Figure(summary, "Random seed"))), seed) << row.name;
    const std::vector<double> first =
        test::RealCells(*s.doc.pedigree().report.tables().Find("purging"), "fa_gene_drop");
    const std::string stream = test::ReadWholeFile(seedFile.path());
    if (row.optionsRerun) {
      Settings entries = s.doc.settings();
      entries.numberFormat = entries.numberFormat == 3 ? 4 : 3;
      const auto changes = s.doc.ApplyOptions(entries);
      ASSERT_TRUE(changes.has_value()) << row.name;
      s.doc.RerunAfterOptions(*changes);
    } else {
      s.platform.groupChoices = {kAllIndividuals};
      s.platform.forms = {std::vector<std::string>{"0.2", "300", "0", *row.typedSeed == '\0' ? "" : seed}};
      s.doc.RunCommand(kCmdPurging);
    }
    ASSERT_EQ(s.doc.lastCommand(), kCmdPurging) << row.name;
    const std::vector<double> second =
        test::RealCells(*s.doc.pedigree().report.tables().Find("purging"), "fa_gene_drop");
    EXPECT_EQ(second == first, row.sameFigures) << row.name;
    EXPECT_EQ(SeedLine(s.Report()) == named, row.sameFigures) << row.name;
    EXPECT_EQ(test::ReadWholeFile(seedFile.path()) != stream, row.seedFileAdvances) << row.name;
  }
}

struct RefusedSetting {
  const char* name;
  std::vector<std::string> texts;
  const char* message;
};

TEST(Purging, TheFormRefusesSettingsOutOfRange) {
  const RefusedSetting cases[] = {
      {"d above one half", {"0.6", "0", "0"}, "The purging coefficient must be a number from 0 to 0.5."},
      {"d not a number", {"x", "0", "0"}, "The purging coefficient must be a number from 0 to 0.5."},
      {"negative replicates", {"0", "-1", "0"},
       "The number of gene-dropping replicates must be a whole number from 0 to 1000000."},
      {"seed not a whole number", {"0", "10", "0", "1.5"},
       "The random seed must be a whole number from 0 to 4294967295, or empty for a new one."},
      {"seed beyond 32 bits", {"0", "10", "0", "4294967296"},
       "The random seed must be a whole number from 0 to 4294967295, or empty for a new one."},
  };
  for (const RefusedSetting& c : cases) {
    SCOPED_TRACE(c.name);
    DocSession s;
  ASSERT_TRUE(s.OpenPath(KINVAR_EXAMPLES_DIR "/herd.pdg"));
    s.platform.groupChoices = {2};
    s.platform.forms = {c.texts};
    s.doc.RunCommand(kCmdPurging);
    EXPECT_NE(s.doc.lastCommand(), kCmdPurging);
    EXPECT_EQ(s.platform.MessageTexts(), std::vector<std::string>{c.message});
  }
}

}  // namespace
}  // namespace kinvar
