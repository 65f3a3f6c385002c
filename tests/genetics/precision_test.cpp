// Double precision against exact values computed here: deep full-sib and
// parent-offspring lines, whose D cancels towards 0, and random pedigrees;
// and the single-precision warning exactly where a D falls below 2^-16.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "genetics/relationship.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Dyadic fractions in fixed point: value * 2^kBits in an __int128. Every
// value of A on a line of fewer than ~110 generations is such a fraction;
// a halving that would drop a bit fails the test instead of rounding.
constexpr int kBits = 116;
using Fixed = __int128;
constexpr Fixed kOne = Fixed{1} << kBits;

Fixed Half(Fixed v) {
  EXPECT_EQ(v & 1, 0) << "a value beyond the fixed point";
  return v / 2;
}

long double ToLong(Fixed v) {
  return static_cast<long double>(v) / static_cast<long double>(kOne);
}

// The tabular A, exactly, by code (records in code order), index 0 the
// unknown parent (a row of zeros).
struct ExactA {
  std::vector<std::vector<Fixed>> a;
  std::vector<Fixed> f, d;  // by code; d = 1/2 - (Fs + Fd)/4, F(unknown) = -1
};

ExactA ExactTabular(const Pedigree& ped) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  ExactA e;
  e.a.assign(n + 1, std::vector<Fixed>(n + 1, 0));
  e.f.assign(n + 1, 0);
  e.d.assign(n + 1, 0);
  e.f[0] = -kOne;
  for (std::size_t i = 1; i <= n; ++i) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(i) - 1);
    const auto s = static_cast<std::size_t>(ped.rec(r.sire).code);
    const auto m = static_cast<std::size_t>(ped.rec(r.dam).code);
    for (std::size_t j = 1; j < i; ++j) e.a[i][j] = e.a[j][i] = Half(e.a[j][s] + e.a[j][m]);
    e.f[i] = s == 0 || m == 0 ? 0 : Half(e.a[s][m]);
    e.a[i][i] = kOne + e.f[i];
    e.d[i] = kOne / 2 - (e.f[s] + e.f[m]) / 4;
  }
  return e;
}

constexpr double kEps = 0x1p-53;

// Henderson's rules through the exact D: element (i, j), codes 1-based, in
// long double, where each 1/D is the only rounded step. Beside it the error
// that double arithmetic cannot avoid: D of k carries about 64 ulps of the
// cancellation 1/2 - (Fs + Fd)/4, so each contribution 1/D of k may be off
// by 64 * 2^-53 / D relative.
struct ExactInverseOfA {
  std::vector<std::vector<long double>> value, unavoidable;
};

ExactInverseOfA ExactInverse(const Pedigree& ped, const ExactA& e) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  ExactInverseOfA inv;
  inv.value.assign(n + 1, std::vector<long double>(n + 1, 0.0L));
  inv.unavoidable = inv.value;
  const auto add = [&](std::size_t i, std::size_t j, long double v, long double d) {
    inv.value[i][j] += v;
    inv.unavoidable[i][j] += std::fabs(v) * 64 * kEps / d;
  };
  for (std::size_t i = 1; i <= n; ++i) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(i) - 1);
    const auto s = static_cast<std::size_t>(ped.rec(r.sire).code);
    const auto m = static_cast<std::size_t>(ped.rec(r.dam).code);
    const long double d = ToLong(e.d[i]);
    const long double alpha = 1.0L / d;
    add(i, i, alpha, d);
    for (const std::size_t p : {s, m}) {
      if (p == 0) continue;
      add(i, p, -alpha / 2, d);
      add(p, i, -alpha / 2, d);
      for (const std::size_t q : {s, m})
        if (q != 0) add(p, q, alpha / 4, d);
    }
  }
  return inv;
}

std::string FullSibLine(int generations) {
  return test::FullSibLine("progeny sire dam\nM0 0 0\nF0 0 0\n", generations, "", 'M', 'F');
}

// Each individual by its parent and its grandparent, X(g) = X(g-1) x X(g-2);
// the even ones are the sires.
std::string ParentOffspringLine(int generations) {
  std::string text = "progeny sire dam\nX0 0 0\nX1 X0 0\n";
  for (int g = 2; g <= generations + 1; ++g) {
    const int sire = g % 2 == 0 ? g - 2 : g - 1;
    text += "X" + std::to_string(g) + " X" + std::to_string(sire) + " X" +
            std::to_string(2 * g - 3 - sire) + "\n";
  }
  return text;
}

std::unique_ptr<Pedigree> Load(const std::string& text) {
  auto ped = std::make_unique<Pedigree>();
  EXPECT_EQ(test::LoadText(text, *ped).status, LoadStatus::kLoaded);
  EnsureCodeOrder(*ped);
  return ped;
}

bool Compute(Pedigree& ped, InbreedingOptions options) {
  SilentProgressWindow window;
  Progress progress(window);
  return ComputeInbreeding(ped, progress, options);
}

InbreedingOptions InDouble(int blockWidth = 4) {
  InbreedingOptions o;
  o.doublePrecision = true;
  o.blockWidth = blockWidth;
  return o;
}

struct Line {
  const char* name;
  std::string text;
};

std::vector<Line> Lines() {
  return {{"full sibs 20", FullSibLine(20)},       {"full sibs 35", FullSibLine(35)},
          {"full sibs 60", FullSibLine(60)},       {"full sibs 100", FullSibLine(100)},
          {"parent-offspring 20", ParentOffspringLine(20)},
          {"parent-offspring 60", ParentOffspringLine(60)},
          {"parent-offspring 100", ParentOffspringLine(100)}};
}

TEST(DoublePrecision, DeepLinesAgreeWithExactFDAndInverse) {
  for (const Line& line : Lines()) {
    SCOPED_TRACE(line.name);
    auto ped = Load(line.text);
    for (const int width : {1, 4, 16}) {
      ASSERT_TRUE(Compute(*ped, InDouble(width)));
      EXPECT_TRUE(ped->InDouble());
      const ExactA e = ExactTabular(*ped);
      for (std::int32_t c = 1; c <= ped->nTotal; ++c) {
        const auto ci = static_cast<std::size_t>(c);
        ASSERT_NEAR(ped->fDouble[ci], static_cast<double>(ToLong(e.f[ci])), 1e-12) << c;
        const double d = static_cast<double>(ToLong(e.d[ci]));
        ASSERT_NEAR(ped->dDouble[ci], d, 64 * kEps) << c;
        ASSERT_EQ(ped->byCode(c - 1).f, static_cast<float>(ped->fDouble[ci]));
      }
      const auto inv = ExactInverse(*ped, e);
      SilentProgressWindow window;
      Progress progress(window);
      const auto build = BuildInverseOfA(*ped, ped->dDouble, progress);
      ASSERT_EQ(build.status, BuildStatus::kDone);
      for (std::int32_t i = 0; i < ped->nTotal; ++i) {
        for (std::int32_t j = 0; j <= i; ++j) {
          const auto ri = static_cast<std::size_t>(i) + 1, rj = static_cast<std::size_t>(j) + 1;
          const double exact = static_cast<double>(inv.value[ri][rj]);
          const double slack = static_cast<double>(inv.unavoidable[ri][rj]);
          ASSERT_LE(std::abs(build.matrix.At(i, j) - exact), 1e-9 * std::abs(exact) + slack)
              << i << " " << j;
        }
      }
    }
  }
}

TEST(DoublePrecision, RelationshipsOfDeepLinesAreExact) {
  for (const Line& line : Lines()) {
    SCOPED_TRACE(line.name);
    auto ped = Load(line.text);
    ASSERT_TRUE(Compute(*ped, InDouble()));
    const ExactA e = ExactTabular(*ped);
    const std::int32_t n = ped->nTotal;
    for (std::int32_t c = 1; c <= n; c += 7) {
      for (const std::int32_t other : {1, c / 2 + 1, c, n}) {
        const double a = PairRelationship(*ped, ped->dDouble, ped->records[std::size_t(c) - 1],
                                          ped->records[std::size_t(other) - 1]);
        ASSERT_NEAR(a, static_cast<double>(ToLong(e.a[std::size_t(c)][std::size_t(other)])),
                    1e-12);
      }
    }
  }
}

// The single-precision inverse of a deep line is what the option is for.
TEST(DoublePrecision, SinglePrecisionLosesTheInverseOfADeepLine) {
  auto ped = Load(FullSibLine(100));
  ASSERT_TRUE(Compute(*ped, InbreedingOptions{}));
  const ExactA e = ExactTabular(*ped);
  const auto last = static_cast<std::size_t>(ped->nTotal);
  const double exact = 1.0 / static_cast<double>(ToLong(e.d[last]));
  EXPECT_GT(exact, 1e9);
  EXPECT_GT(std::abs(1.0 / static_cast<double>(ped->d[last]) - exact), 0.5 * exact);
  EXPECT_EQ(ped->fDouble.size(), 0u);
}

TEST(DoublePrecision, RandomPedigreesAgreeWithTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    // Predefined F included: a(x, x) = 1 + F through D, as in single precision.
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 200));
    auto ped = Load(random.text);
    ASSERT_TRUE(Compute(*ped, InDouble(1)));
    const std::vector<double> byColumn = ped->fDouble;
    InbreedingOptions blocks = InDouble(8);
    blocks.threads = 2;
    blocks.individualsPerWorker = 1;
    ASSERT_TRUE(Compute(*ped, blocks));
    EXPECT_EQ(ped->fDouble, byColumn);  // the block kernel, bit for bit
    const test::DenseMatrix a = test::TabularA(*ped);
    for (std::int32_t c = 1; c <= ped->nTotal; ++c) {
      const auto k = static_cast<std::size_t>(c) - 1;
      ASSERT_NEAR(ped->fDouble[k + 1], a(k, k) - 1.0, 1e-12) << c;
      const RecIndex x = ped->records[k];
      ASSERT_NEAR(PairRelationship(*ped, ped->dDouble, x, x), a(k, k), 1e-12) << c;
      if (k > 0) {
        ASSERT_NEAR(PairRelationship(*ped, ped->dDouble, x, ped->records[k / 2]), a(k, k / 2),
                    1e-12)
            << c;
      }
    }
  }
}

// Switching back gives the single path's values bit for bit.
TEST(DoublePrecision, SingleAfterDoubleIsUnchanged) {
  for (std::uint64_t seed = 41; seed <= 60; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 200));
    auto fresh = Load(random.text);
    auto switched = Load(random.text);
    ASSERT_TRUE(Compute(*fresh, InbreedingOptions{}));
    ASSERT_TRUE(Compute(*switched, InDouble()));
    ASSERT_TRUE(Compute(*switched, InbreedingOptions{}));
    ASSERT_EQ(fresh->d, switched->d) << seed;
    for (std::int32_t c = 0; c < fresh->nTotal; ++c)
      ASSERT_EQ(fresh->byCode(c).f, switched->byCode(c).f) << seed;
  }
}

// Every command on the list goes through the one double-precision model of
// A: the tables of the listing, the averages, dii, T and the decomposition
// against the exact values of a deep line.
TEST(DoublePrecision, CommandsOfTheDocumentGoThroughTheDoubleModel) {
  const std::string text = FullSibLine(60);
  test::DocSession session(text);
  Settings settings = session.doc.settings();
  settings.precision = 1;
  ASSERT_TRUE(session.doc.ApplyOptions(settings).has_value());
  session.doc.RunCommand(kCmdCompute);
  Pedigree& ped = session.doc.pedigree();
  ASSERT_TRUE(ped.InDouble());
  EnsureCodeOrder(ped);
  const ExactA e = ExactTabular(ped);
  std::map<std::string, std::size_t> code;
  for (RecIndex i = 1; i <= ped.nTotal; ++i) code[std::string(ped.rec(i).Id())] = std::size_t(ped.rec(i).code);
  const auto exactA = [&](const std::string& x, const std::string& y) {
    return static_cast<double>(ToLong(e.a[code.at(x)][code.at(y)]));
  };
  const auto table = [&](const char* name) -> const ResultTable& {
    const ResultTable* t = ped.report.tables().Find(name);
    EXPECT_NE(t, nullptr) << name;
    return *t;
  };

  session.doc.RunCommand(kCmdBetweenAll);
  {
    const ResultTable& pairs = table("pairs");
    ASSERT_EQ(pairs.rows(), std::size_t(ped.nTotal) * std::size_t(ped.nTotal - 1) / 2);
    const auto id1 = test::TextCells(pairs, "id1"), id2 = test::TextCells(pairs, "id2");
    const auto value = test::RealCells(pairs, "value");
    for (std::size_t k = 0; k < pairs.rows(); ++k) {
      ASSERT_NEAR(value[k], exactA(id1[k], id2[k]), 1e-12) << id1[k] << " " << id2[k];
    }
  }

  session.doc.RunCommand(kCmdDii);
  {
    const auto ids = test::TextCells(table("dii"), "id");
    const auto dii = test::RealCells(table("dii"), "dii");
    for (std::size_t k = 0; k < ids.size(); ++k) {
      ASSERT_NEAR(dii[k], static_cast<double>(ToLong(e.d[code.at(ids[k])])), 64 * kEps);
    }
  }

  session.doc.RunCommand(kCmdAverageRelatedness);
  {
    const auto ids = test::TextCells(table("average_relatedness"), "id");
    const auto value = test::RealCells(table("average_relatedness"), "value");
    for (std::size_t k = 0; k < ids.size(); ++k) {
      long double sum = 0;
      for (std::int32_t c = 1; c <= ped.nTotal; ++c)
        sum += ToLong(e.a[code.at(ids[k])][std::size_t(c)]);
      ASSERT_NEAR(value[k], static_cast<double>(sum / ped.nTotal), 1e-12) << ids[k];
    }
  }

  // The decomposition's m add up to F, the last individual's.
  session.platform.typedIds = {"F60"};
  session.doc.RunCommand(kCmdDecompositionIndividual);
  {
    const auto m = test::RealCells(table("decomposition"), "m");
    long double total = 0;
    for (const double v : m) total += v;
    EXPECT_NEAR(static_cast<double>(total), static_cast<double>(ToLong(e.f[code.at("F60")])),
                1e-12);
  }
}

struct WarningCase {
  const char* name;
  std::string text;
};

// A negative D comes from a predefined F below what the parents give, which
// no precision mends: it is not warned of.
TEST(SinglePrecisionWarning, AppearsExactlyWhenADFallsBelowTheBound) {
  std::vector<WarningCase> cases = {{"trio", "progeny sire dam\nS 0 0\nD 0 0\nO S D\n"},
                                    {"full sibs 8", FullSibLine(8)},
                                    {"full sibs 30", FullSibLine(30)},
                                    {"parent-offspring 40", ParentOffspringLine(40)}};
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    cases.push_back({"random", test::MakeRandomPedigree(test::VariedOptions(seed, 60)).text});
  }
  cases.push_back({"predefined F below the parents'",
                   "progeny sire dam F\nS 0 0 .\nD 0 0 .\nA S D .\nB S D .\nC A B 0\n"});
  for (const WarningCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::DocSession session(c.text);
    session.doc.RunCommand(kCmdCompute);
    const Pedigree& ped = session.doc.pedigree();
    std::int32_t first = 0;
    for (std::int32_t k = ped.nTotal; k >= 1; --k)
      if (const float d = ped.d[static_cast<std::size_t>(k)]; d >= 0.0f && d < 0x1p-16f) first = k;
    const std::vector<std::string> report = session.Report();
    const std::string expected =
        first == 0 ? ""
                   : "Warning: D of " + std::string(ped.byCode(first - 1).Id()) +
                         " is below 2^-16 in single precision; use --precision double (Options).";
    EXPECT_EQ(SmallVarianceWarning(ped), expected);
    std::size_t count = 0;
    for (const std::string& line : report) count += line.find("Warning: D of") != std::string::npos;
    EXPECT_EQ(count, first == 0 ? 0u : 1u);
    if (first != 0) {
      EXPECT_EQ(report.front(), expected);
      // Save As: right after the file's header.
      const std::string saved = session.SaveAs();
      EXPECT_NE(saved.find("\n\n" + expected + "\n"), std::string::npos) << saved;
    }
    Settings settings = session.doc.settings();
    settings.precision = 1;
    ASSERT_TRUE(session.doc.ApplyOptions(settings).has_value());
    session.doc.RunCommand(kCmdCompute);
    EXPECT_EQ(SmallVarianceWarning(session.doc.pedigree()), "");
    EXPECT_EQ(session.Report().front().find("Warning"), std::string::npos);
  }
}

}  // namespace
}  // namespace kinvar
