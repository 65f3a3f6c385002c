// The charts of the analyses: what each plots equals the analysis' table
// (and, where the test can, a count or a mean computed here from the
// per-individual F), the Qt chart carries exactly those values, and the
// files are what they claim to be.
#include "pictures/charts.h"

#include <gtest/gtest.h>

#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QValueAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "analyses/command_ids.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"

namespace kinvar::pictures {
namespace {

std::string Herd() { return std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"; }

// The herd, and random pedigrees with groups (some with predefined F).
struct Source {
  const char* name;
  std::uint64_t seed;  // 0: the herd
};
constexpr Source kSources[] = {{"herd", 0}, {"random 1", 1}, {"random 2", 2}, {"random 3", 3}};

std::unique_ptr<test::DocSession> Open(const Source& source) {
  if (source.seed == 0) {
    auto session = std::make_unique<test::DocSession>();
    EXPECT_TRUE(session->OpenPath(Herd()));
    return session;
  }
  test::RandomPedigreeOptions options;
  options.seed = source.seed;
  options.size = 400;
  options.founders = 12;
  options.window = 60;
  options.groupColumn = true;
  options.fColumn = source.seed % 2 == 1;
  return std::make_unique<test::DocSession>(test::MakeRandomPedigree(options).text);
}

// In ascending order.
std::vector<int> GroupNumbers(test::DocSession& s) {
  std::vector<int> numbers;
  for (const Description& d : s.doc.pedigree().groups) numbers.push_back(d.group);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

ResultSet RunCommand(test::DocSession& s, std::int32_t id, std::optional<int> group = std::nullopt) {
  if (group) s.platform.groupChoices.push_back(*group);
  s.doc.RunCommand(id);
  EXPECT_EQ(s.doc.lastCommand(), id);
  return s.doc.pedigree().report.tables();
}

// Equal, NaN equal to NaN.
void ExpectSame(const std::vector<double>& plotted, const std::vector<double>& expected, const std::string& where) {
  ASSERT_EQ(plotted.size(), expected.size()) << where;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    if (std::isnan(expected[k])) {
      EXPECT_TRUE(std::isnan(plotted[k])) << where << " " << k;
    } else {
      EXPECT_EQ(plotted[k], expected[k]) << where << " " << k;
    }
  }
}

// The values the Qt chart of the panel holds, series by series: bars by
// set, lines by point (their x as well), finite values only.
void ExpectChartHolds(const PlotPanel& panel, const std::string& where) {
  const std::unique_ptr<QChart> chart = PanelChart(panel);
  std::vector<const QBarSet*> sets;
  std::vector<const QLineSeries*> lines;
  for (QAbstractSeries* s : chart->series()) {
    if (auto* bars = qobject_cast<QBarSeries*>(s))
      for (const QBarSet* set : bars->barSets()) sets.push_back(set);
    if (auto* line = qobject_cast<QLineSeries*>(s)) lines.push_back(line);
  }
  std::size_t nextSet = 0, nextLine = 0;
  for (const PlotSeries& series : panel.series) {
    if (!series.line) {
      ASSERT_LT(nextSet, sets.size()) << where;
      const QBarSet* set = sets[nextSet++];
      EXPECT_EQ(set->label(), series.name) << where;
      ASSERT_EQ(static_cast<std::size_t>(set->count()), series.values.size()) << where;
      for (std::size_t k = 0; k < series.values.size(); ++k)
        EXPECT_EQ(set->at(static_cast<qsizetype>(k)), series.values[k]) << where << " bar " << k;
      continue;
    }
    ASSERT_LT(nextLine, lines.size()) << where;
    const QList<QPointF> points = lines[nextLine++]->points();
    std::size_t p = 0;
    for (std::size_t k = 0; k < series.values.size(); ++k) {
      if (!std::isfinite(series.values[k])) continue;
      ASSERT_LT(p, static_cast<std::size_t>(points.size())) << where;
      const double x = panel.categories.isEmpty() ? panel.x[k] : static_cast<double>(k);
      EXPECT_EQ(points[static_cast<qsizetype>(p)].x(), x) << where;
      EXPECT_EQ(points[static_cast<qsizetype>(p)].y(), series.values[k]) << where << " point " << k;
      ++p;
    }
    EXPECT_EQ(p, static_cast<std::size_t>(points.size())) << where;
  }
}

void ExpectChartsHold(const Plot& plot, const std::string& where) {
  for (const PlotPanel& panel : plot.panels) ExpectChartHolds(panel, where + " / " + panel.title.toStdString());
}

// Per-individual F and group, from the inbreeding command's table.
struct IndividualF {
  std::vector<double> f;
  std::vector<std::int64_t> group;
};
IndividualF EveryF(test::DocSession& s) {
  const ResultSet tables = RunCommand(s, kCmdCompute);
  const ResultTable& t = *tables.Find("inbreeding");
  return {test::RealCells(t, "f"), test::IntegerCells(t, "group")};
}

TEST(Charts, TrendsPlotTheGroupsTableAndTheRateOfInbreeding) {
  for (const Source& source : kSources) {
    auto s = Open(source);
    const IndividualF every = EveryF(*s);
    const ResultSet tables = RunCommand(*s, kCmdDiversity, kAllIndividuals);
    const ResultTable& groups = *tables.Find("groups");
    const Plot plot = TrendsPlot(tables, false);
    ASSERT_EQ(plot.panels.size(), 5u) << source.name;
    const struct {
      std::size_t panel, series;
      const char* column;
    } expected[] = {{0, 0, "mean_f"}, {0, 1, "delta_f"}, {1, 0, "mean_ecg"}, {2, 0, "completeness"},
                    {3, 0, "fe"},     {3, 1, "fa"},      {4, 0, "ne"}};
    for (const auto& row : expected)
      ExpectSame(plot.panels[row.panel].series[row.series].values, test::RealCells(groups, row.column),
                 std::string(source.name) + " " + row.column);
    // Mean F and its rate of increase from the individuals' F.
    const std::vector<std::int64_t> numbers = test::IntegerCells(groups, "group");
    std::map<std::int64_t, std::pair<double, int>> sums;
    for (std::size_t i = 0; i < every.f.size(); ++i)
      if (every.group[i] != kMissingInteger) {
        sums[every.group[i]].first += every.f[i];
        ++sums[every.group[i]].second;
      }
    double before = std::nan("");
    for (std::size_t g = 0; g < numbers.size(); ++g) {
      const double mean = sums[numbers[g]].first / sums[numbers[g]].second;
      EXPECT_NEAR(plot.panels[0].series[0].values[g], mean, 1e-6) << source.name << " group " << numbers[g];
      const double rate = plot.panels[0].series[1].values[g];
      if (g == 0) {
        EXPECT_TRUE(std::isnan(rate)) << source.name;
      } else {
        EXPECT_NEAR(rate, (mean - before) / (1 - before), 1e-6) << source.name << " group " << numbers[g];
      }
      before = mean;
      EXPECT_EQ(plot.panels[0].x[g], static_cast<double>(numbers[g])) << source.name;
    }
    ExpectChartsHold(plot, source.name);
    EXPECT_TRUE(plot.notes.isEmpty());
  }
}

// The group means against the per-individual figures of the same run.
TEST(Charts, PurgingPlotsTheGroupMeansOfTheIndividuals) {
  for (const Source& source : kSources) {
    auto s = Open(source);
    s->doc.seedFile = (std::filesystem::temp_directory_path() / "kinvar-charts-purging-seed").string();
    for (const int drops : {0, 50}) {
      s->platform.forms.push_back(std::vector<std::string>{"0.2", std::to_string(drops), "0"});
      const ResultSet tables = RunCommand(*s, kCmdPurging, kAllIndividuals);
      const Plot plot = PurgingPlot(tables);
      ASSERT_EQ(plot.panels.size(), drops == 0 ? 1u : 2u) << source.name;
      // The replicates' seed, as the report names it.
      const ResultTable& summary = *tables.Find("summary");
      const std::vector<std::string> labels = test::TextCells(summary, "figure");
      const auto seedRow = std::find(labels.begin(), labels.end(), "Random seed");
      ASSERT_EQ(seedRow != labels.end(), drops > 0) << source.name;
      if (drops > 0) {
        const double seed = test::RealCells(summary, "value")[static_cast<std::size_t>(seedRow - labels.begin())];
        EXPECT_EQ(plot.notes.back().toStdString(), "Random seed: " + std::to_string(static_cast<std::uint64_t>(seed)))
            << source.name;
      }
      const ResultTable& each = *tables.Find("purging");
      const std::vector<std::int64_t> codes = test::IntegerCells(each, "code");
      const Pedigree& ped = s->doc.pedigree();
      const struct { std::size_t panel, series; const char* column; } expected[] = {
          {0, 0, "f"}, {0, 1, "fa_ballou"}, {0, 2, "g"}, {1, 0, "fa_gene_drop"}, {1, 1, "f_new"}, {1, 2, "f_old"}};
      for (const auto& row : expected) {
        if (row.panel >= plot.panels.size()) continue;
        const std::vector<double> values = test::RealCells(each, row.column);
        std::map<int, std::pair<double, int>> sums;
        for (std::size_t i = 0; i < values.size(); ++i) {
          const int group = ped.GroupNumber(ped.byCode(static_cast<std::int32_t>(codes[i] - 1)));
          if (group < 0) continue;
          sums[group].first += values[i];
          ++sums[group].second;
        }
        const PlotPanel& panel = plot.panels[row.panel];
        ASSERT_EQ(panel.x.size(), sums.size()) << source.name;
        std::size_t g = 0;
        for (const auto& [group, sum] : sums) {
          EXPECT_EQ(panel.x[g], group) << source.name;
          EXPECT_NEAR(panel.series[row.series].values[g], sum.first / sum.second, 1e-6)
              << source.name << " " << row.column << " group " << group;
          ++g;
        }
      }
      ExpectChartsHold(plot, source.name);
    }
    std::filesystem::remove(s->doc.seedFile);
    std::filesystem::remove(s->doc.seedFile + ".bak");
  }
}

TEST(Charts, TrendsWithAReferenceGroupShowItsFigures) {
  auto s = Open(kSources[0]);
  const Plot plot = TrendsPlot(RunCommand(*s, kCmdDiversity, 3), true);
  ASSERT_FALSE(plot.notes.isEmpty());
  EXPECT_EQ(plot.notes[0], QStringLiteral("Group 3"));
  const Plot all = TrendsPlot(RunCommand(*s, kCmdDiversity, kAllIndividuals), true);
  EXPECT_EQ(all.notes[0], QStringLiteral("All individuals"));
}

TEST(Charts, FHistogramCountsEveryIndividualInItsClass) {
  for (const Source& source : kSources) {
    auto s = Open(source);
    const IndividualF every = EveryF(*s);
    const Plot plot = FDistributionPlot(RunCommand(*s, kCmdStructure));
    std::vector<double> counts(21, 0.0);  // F = 0, then (0, 0.05] ... (0.95, 1]
    for (const double f : every.f)
      ++counts[f > 0 ? 1 + static_cast<std::size_t>(std::clamp(std::ceil(f / 0.05 - 1.0), 0.0, 19.0)) : 0];
    const bool inbreds = std::any_of(counts.begin() + 1, counts.end(), [](double c) { return c > 0; });
    ASSERT_EQ(plot.panels.size(), inbreds ? 2u : 1u) << source.name;
    if (!inbreds) counts.resize(1);
    ExpectSame(plot.panels[0].series[0].values, counts, source.name);
    if (inbreds)
      ExpectSame(plot.panels[1].series[0].values, std::vector<double>(counts.begin() + 1, counts.end()),
                 source.name);
    ExpectChartsHold(plot, source.name);
  }
}

TEST(Charts, FoundersAreTheLargestContributionsWithTheirRunningShare) {
  for (const Source& source : kSources) {
    auto s = Open(source);
    const std::vector<int> groups = GroupNumbers(*s);
    for (const int group : {groups.front(), groups.back()}) {
      const ResultSet tables = RunCommand(*s, kCmdGeneOrigin, group);
      const ResultTable& founders = *tables.Find("founder_contributions");
      const std::vector<double> all = test::RealCells(founders, "contribution");
      const std::vector<std::string> ids = test::TextCells(founders, "id");
      for (const int count : {3, kFoundersShown}) {
        const Plot plot = FoundersPlot(tables, group, count);
        const std::string where = std::string(source.name) + " group " + std::to_string(group);
        const PlotPanel& panel = plot.panels.at(0);
        const std::size_t shown = std::min(all.size(), static_cast<std::size_t>(count));
        ExpectSame(panel.series[0].values, std::vector<double>(all.begin(), all.begin() + static_cast<long>(shown)), where);
        ASSERT_EQ(static_cast<std::size_t>(panel.categories.size()), shown);
        double sum = 0;
        for (std::size_t k = 0; k < shown; ++k) {
          EXPECT_EQ(panel.categories[static_cast<qsizetype>(k)].toStdString(), ids[k]) << where;
          if (k > 0) {
            EXPECT_GE(all[k - 1], all[k]) << where;
          }
          sum += all[k];
          EXPECT_NEAR(panel.series[1].values[k], sum, 1e-12) << where;
        }
        double total = 0;
        for (const double c : all) total += c;
        // Genes through an unknown parent come from no founder: a whole
        // share only where every line goes back to founders, as in the herd.
        EXPECT_LE(total, 1.0 + 1e-5) << where;
        if (source.seed == 0) {
          EXPECT_NEAR(total, 1.0, 1e-5) << where;
        }
        ExpectChartsHold(plot, where);
      }
    }
  }
}

TEST(Charts, HeatMapIsTheSymmetricTableOfAverages) {
  for (const Source& source : kSources) {
    auto s = Open(source);
    if (GroupNumbers(*s).size() < 2) continue;  // nothing to average between
    const ResultSet tables = RunCommand(*s, kCmdAverageBetweenGroups);
    const ResultTable& t = *tables.Find("group_averages");
    const HeatMap map = GroupHeatMap(tables);
    const std::vector<int> groups = GroupNumbers(*s);
    std::vector<int> sorted = groups;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(map.groups, sorted) << source.name;
    const std::vector<std::int64_t> g1 = test::IntegerCells(t, "group1"), g2 = test::IntegerCells(t, "group2");
    const std::vector<double> value = test::RealCells(t, "value");
    const auto at = [&](std::int64_t g) {
      return static_cast<std::size_t>(std::find(sorted.begin(), sorted.end(), g) - sorted.begin());
    };
    for (std::size_t r = 0; r < value.size(); ++r) {
      EXPECT_EQ(map.At(at(g1[r]), at(g2[r])), value[r]) << source.name;
      EXPECT_EQ(map.At(at(g2[r]), at(g1[r])), value[r]) << source.name;
    }
    // Every pair of groups once: the whole square is filled.
    EXPECT_EQ(value.size(), sorted.size() * (sorted.size() + 1) / 2) << source.name;
    for (const double v : map.values) EXPECT_FALSE(std::isnan(v)) << source.name;
  }
}

struct TrendsNoteRow {
  const char* name;
  std::vector<double> fa, faLower;  // groups 1, 2, 3
  QStringList notes;
};

// Where the ancestor search stopped at its limit the fa drawn is an upper
// bound, and the chart says for which groups.
TEST(Charts, TrendsSayWhichFaAreUpperBounds) {
  const TrendsNoteRow rows[] = {
      {"every fa exact", {4, 3, 2}, {4, 3, 2}, {}},
      {"groups 2 and 3 bounded", {4, 3, 2.5}, {4, 2.9, 2},
       {QStringLiteral("fa is an upper bound for group(s) 2, 3: the search stopped before every gene was explained")}},
  };
  for (const TrendsNoteRow& row : rows) {
    ResultSet set;
    ResultTable& t = set.Add("groups");
    for (const char* name : {"group", "fa", "fa_lower"}) t.AddColumn(name, ColumnType::kReal);
    for (std::size_t g = 0; g < row.fa.size(); ++g)
      t.AddRow().Real(static_cast<double>(g + 1)).Real(row.fa[g]).Real(row.faLower[g]);
    EXPECT_EQ(TrendsPlot(set, false).notes, row.notes) << row.name;
  }
}

ResultSet Matings(const std::vector<double>& coancestries) {
  ResultSet set;
  ResultTable& t = set.Add("matings");
  t.AddColumn("sire", ColumnType::kId).AddColumn("dam", ColumnType::kId).AddColumn("coancestry", ColumnType::kReal);
  for (std::size_t k = 0; k < coancestries.size(); ++k)
    t.AddRow().Id("S" + std::to_string(k)).Id("D" + std::to_string(k)).Real(coancestries[k]);
  return set;
}

TEST(Charts, MatingsCountEveryMatingOnceInClassesThatHoldIt) {
  const struct {
    const char* name;
    std::vector<double> annealing, optimum;
  } rows[] = {
      {"unrelated", {0, 0, 0}, {0, 0, 0}},
      {"small", {0.0625, 0.125, 0.03125, 0}, {0, 0.03125, 0.0625, 0}},
      {"wide", {0.5, 0.25, 0.375}, {0.25, 0.25, 0.125}},
      {"on a class edge", {0.05, 0.1, 0.15}, {0.05, 0.05, 0.0}},
  };
  for (const auto& row : rows) {
    const Plot plot = MatingsPlot(Matings(row.annealing), Matings(row.optimum));
    ASSERT_EQ(plot.panels.size(), 2u) << row.name;
    const PlotPanel& a = plot.panels[0];
    const PlotPanel& b = plot.panels[1];
    EXPECT_EQ(a.categories, b.categories) << row.name;
    const auto counted = [](const PlotPanel& p) {
      double n = 0;
      for (const double c : p.series[0].values) n += c;
      return n;
    };
    EXPECT_EQ(counted(a), static_cast<double>(row.annealing.size())) << row.name;
    EXPECT_EQ(counted(b), static_cast<double>(row.optimum.size())) << row.name;
    // Each value lies in the class its label names.
    for (const double v : row.annealing) {
      bool found = false;
      for (qsizetype k = 0; k < a.categories.size(); ++k) {
        const double from = a.categories[k].toDouble();
        const double to = k + 1 < a.categories.size() ? a.categories[k + 1].toDouble() : 2.0;
        if (v >= from - 1e-12 && v < to - 1e-12 && a.series[0].values[static_cast<std::size_t>(k)] > 0)
          found = true;
      }
      EXPECT_TRUE(found) << row.name << " " << v;
    }
    ExpectChartsHold(plot, row.name);
  }
}

QByteArray WriteAndRead(const Picture& picture, const std::string& name, QSize pixels) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / ("kinvar-plot-" + name);
  QString error;
  EXPECT_TRUE(WritePicture(picture, QString::fromStdString(path.string()), pixels, error)) << error.toStdString();
  QFile f(QString::fromStdString(path.string()));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  std::filesystem::remove(path);
  return bytes;
}

TEST(Charts, FilesParseAndKeepTheirTexts) {
  auto s = Open(kSources[0]);
  const struct {
    const char* name;
    Picture picture;
    QString text;  // a text the SVG holds
  } rows[] = {
      {"trends", PlotPicture(TrendsPlot(RunCommand(*s, kCmdDiversity, 3), true)), QStringLiteral("Pedigree depth")},
      {"f-histogram", PlotPicture(FDistributionPlot(RunCommand(*s, kCmdStructure))), QStringLiteral("Inbreds")},
      {"founders", PlotPicture(FoundersPlot(RunCommand(*s, kCmdGeneOrigin, 3), 3)), QStringLiteral("S1")},
      {"group-heatmap", HeatMapPicture(GroupHeatMap(RunCommand(*s, kCmdAverageBetweenGroups))), QStringLiteral("0.559")},
      {"matings", PlotPicture(MatingsPlot(Matings({0.0625, 0}), Matings({0, 0}))), QStringLiteral("Proven optimum")},
  };
  for (const auto& row : rows) {
    QXmlStreamReader xml(WriteAndRead(row.picture, std::string(row.name) + ".svg", QSize(1600, 1000)));
    QStringList texts;
    while (!xml.atEnd())
      if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
        texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    ASSERT_FALSE(xml.hasError()) << row.name << ": " << xml.errorString().toStdString();
    EXPECT_TRUE(texts.contains(row.picture.title)) << row.name;
    EXPECT_TRUE(texts.contains(row.text)) << row.name << ": " << texts.join(QStringLiteral("|")).toStdString();
    const QImage png = QImage::fromData(WriteAndRead(row.picture, std::string(row.name) + ".png", QSize(900, 700)), "PNG");
    EXPECT_EQ(png.size(), QSize(900, 700)) << row.name;
    EXPECT_TRUE(WriteAndRead(row.picture, std::string(row.name) + ".pdf", QSize()).startsWith("%PDF")) << row.name;
  }
}

}  // namespace
}  // namespace kinvar::pictures

namespace kinvar::pictures {
namespace {

// The selected candidates of optimum contributions, sires then dams, each
// from the largest share down; the rest are left out.
TEST(ContributionsChart, PlotsTheSelectedCandidatesByGroupAndShare) {
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"));
  s.platform.groupPairs.push_back(std::pair{2, 3});
  s.doc.RunCommand(kCmdOptimumContributions);
  ASSERT_EQ(s.doc.lastCommand(), kCmdOptimumContributions);
  const ResultSet& tables = s.doc.pedigree().report.tables();
  const Plot plot = ContributionsPlot(tables);
  ASSERT_EQ(plot.panels.size(), 1u);
  const PlotPanel& panel = plot.panels[0];
  const ResultTable& table = *tables.Find("contributions");
  std::vector<std::pair<std::string, double>> sires, dams;
  for (std::size_t r = 0; r < table.rows(); ++r) {
    const double c = table.column(2).Real(r);
    if (c <= 1e-6) continue;
    (table.column(1).Text(r) == "M" ? sires : dams).emplace_back(std::string(table.column(0).Text(r)), c);
  }
  for (auto* side : {&sires, &dams})
    std::stable_sort(side->begin(), side->end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  ASSERT_EQ(static_cast<std::size_t>(panel.categories.size()), sires.size() + dams.size());
  for (std::size_t k = 0; k < sires.size() + dams.size(); ++k) {
    const bool sire = k < sires.size();
    const auto& [id, c] = sire ? sires[k] : dams[k - sires.size()];
    EXPECT_EQ(panel.categories[static_cast<qsizetype>(k)].toStdString(), id);
    EXPECT_EQ(panel.series[sire ? 0 : 1].values[k], c);
    EXPECT_TRUE(std::isnan(panel.series[sire ? 1 : 0].values[k]));
  }
  EXPECT_EQ(plot.notes.size(), 3);  // no breeding values, no gain
  EXPECT_FALSE(PlotPicture(plot).size.isEmpty());
}

}  // namespace
}  // namespace kinvar::pictures

namespace kinvar::pictures {
namespace {

// A herd over birth years from 2001, the groups numbered by year: sires and
// dams of each year drawn from the years before.
std::string YearlyHerd(int years, int perYear) {
  std::mt19937 random(2024);
  std::string text = "Progeny Sire Dam Group\n";
  std::vector<std::string> sires, dams;
  for (int year = 2001; year < 2001 + years; ++year) {
    std::vector<std::string> newSires, newDams;
    for (int k = 0; k < perYear; ++k) {
      const std::string id = (k % 2 == 0 ? "S" : "D") + std::to_string(year) + "X" + std::to_string(k);
      std::string sire = "0", dam = "0";
      if (!sires.empty()) {
        sire = sires[random() % std::min<std::size_t>(sires.size(), 6)];
        dam = dams[random() % dams.size()];
      }
      text += id + " " + sire + " " + dam + " " + std::to_string(year) + "\n";
      (k % 2 == 0 ? newSires : newDams).push_back(id);
    }
    sires.insert(sires.begin(), newSires.begin(), newSires.end());
    dams.insert(dams.begin(), newDams.begin(), newDams.end());
  }
  return text;
}

// Every chart of a pedigree with groups, as the desktop and kinvar-cli
// draw them.
struct DrawnChart {
  std::string name;
  std::optional<Plot> plot;  // none for the heat map
  Picture picture;
};
std::vector<DrawnChart> EveryChart(test::DocSession& s, const std::string& source) {
  const std::vector<int> groups = GroupNumbers(s);
  std::vector<DrawnChart> charts;
  const auto add = [&](const std::string& name, Plot plot) {
    Picture picture = PlotPicture(plot);
    charts.push_back({source + " " + name, std::move(plot), std::move(picture)});
  };
  add("trends", TrendsPlot(RunCommand(s, kCmdDiversity, kAllIndividuals), false));
  add("trends of a group", TrendsPlot(RunCommand(s, kCmdDiversity, groups.back()), true));
  add("f-histogram", FDistributionPlot(RunCommand(s, kCmdStructure)));
  add("founders", FoundersPlot(RunCommand(s, kCmdGeneOrigin, groups.back()), groups.back()));
  s.doc.seedFile = (std::filesystem::temp_directory_path() / "kinvar-chart-layout-seed").string();
  s.platform.forms.push_back(std::vector<std::string>{"0.2", "30", "0"});
  add("purging", PurgingPlot(RunCommand(s, kCmdPurging, kAllIndividuals)));
  add("matings", MatingsPlot(Matings({0.0625, 0.125, 0.03125, 0, 0.25}), Matings({0, 0.03125, 0.0625, 0, 0.125})));
  const HeatMap map = GroupHeatMap(RunCommand(s, kCmdAverageBetweenGroups));
  charts.push_back({source + " group-heatmap", std::nullopt, HeatMapPicture(map)});
  return charts;
}

QStringList SvgTexts(const Picture& picture, const std::string& name) {
  QXmlStreamReader xml(WriteAndRead(picture, name + ".svg", kDefaultPixels));
  QStringList texts;
  while (!xml.atEnd())
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
      texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
  EXPECT_FALSE(xml.hasError()) << name;
  return texts;
}

std::vector<std::unique_ptr<test::DocSession>> ChartSources() {
  std::vector<std::unique_ptr<test::DocSession>> sessions;
  sessions.push_back(Open(kSources[0]));
  sessions.push_back(Open(kSources[1]));
  sessions.push_back(std::make_unique<test::DocSession>(YearlyHerd(12, 30)));
  sessions.push_back(std::make_unique<test::DocSession>(YearlyHerd(64, 10)));
  return sessions;
}

// Every label of every chart is written whole: no ellipsis, and each
// category and group of the plots is among the texts as it is.
TEST(ChartLayout, LabelsAreNeverCutShort) {
  const char* names[] = {"herd", "random", "years", "many years"};
  auto sessions = ChartSources();
  for (std::size_t i = 0; i < sessions.size(); ++i)
    for (const DrawnChart& chart : EveryChart(*sessions[i], names[i])) {
      const QStringList texts = SvgTexts(chart.picture, "layout");
      ASSERT_FALSE(texts.isEmpty()) << chart.name;
      // Qt cuts a label to three dots, or to an ellipsis character.
      for (const QString& text : texts)
        EXPECT_FALSE(text.contains(QChar(0x2026)) || text.endsWith(QStringLiteral("...")))
            << chart.name << ": " << text.toStdString();
      if (!chart.plot) continue;
      for (const PlotPanel& panel : chart.plot->panels) {
        for (const QString& category : panel.categories)
          EXPECT_TRUE(texts.contains(category)) << chart.name << " / " << panel.title.toStdString() << ": "
                                                << category.toStdString() << " not whole";
        // The groups ticked (which are checked below) are drawn whole.
        const std::unique_ptr<QChart> qchart = PanelChart(panel);
        for (QAbstractAxis* axis : qchart->axes(Qt::Horizontal)) {
          if (auto* groups = qobject_cast<QCategoryAxis*>(axis)) {
            for (const QString& label : groups->categoriesLabels()) {
              EXPECT_TRUE(texts.contains(label)) << chart.name << ": group " << label.toStdString();
            }
          }
        }
        EXPECT_TRUE(texts.contains(panel.title)) << chart.name;
      }
    }
}

// Nothing painted reaches the picture's right or bottom edge, where the
// window or file would cut it.
TEST(ChartLayout, EverythingFitsInsideThePicture) {
  const char* names[] = {"herd", "random", "years", "many years"};
  auto sessions = ChartSources();
  for (std::size_t i = 0; i < sessions.size(); ++i)
    for (const DrawnChart& chart : EveryChart(*sessions[i], names[i])) {
      const QSize size = chart.picture.size.toSize();
      QImage image(size, QImage::Format_ARGB32);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        PaintFitted(chart.picture, painter, QRectF(QPointF(0, 0), chart.picture.size));
      }
      int inked = 0;
      for (int y = 0; y < size.height(); ++y)
        for (int x = size.width() - 6; x < size.width(); ++x) inked += image.pixel(x, y) != qRgb(255, 255, 255);
      for (int x = 0; x < size.width(); ++x)
        for (int y = size.height() - 6; y < size.height(); ++y) inked += image.pixel(x, y) != qRgb(255, 255, 255);
      EXPECT_EQ(inked, 0) << chart.name;
    }
}

// The value axes: from 0 (lower only for a negative value), above every
// value, shares to 1 at most; the group axes tick at the groups themselves.
TEST(ChartLayout, AxesCoverTheValuesFromZeroAndTickAtTheGroups) {
  const char* names[] = {"herd", "random", "years", "many years"};
  auto sessions = ChartSources();
  for (std::size_t i = 0; i < sessions.size(); ++i)
    for (const DrawnChart& chart : EveryChart(*sessions[i], names[i])) {
      if (!chart.plot) continue;
      for (const PlotPanel& panel : chart.plot->panels) {
        const std::string where = chart.name + " / " + panel.title.toStdString();
        const std::unique_ptr<QChart> qchart = PanelChart(panel);
        for (QAbstractAxis* axis : qchart->axes(Qt::Vertical)) {
          auto* values = qobject_cast<QValueAxis*>(axis);
          ASSERT_NE(values, nullptr) << where;
          const bool right = axis->alignment() == Qt::AlignRight;
          double low = 0, high = 0;
          for (const PlotSeries& s : panel.series)
            if (s.rightAxis == right)
              for (const double v : s.values)
                if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
          EXPECT_LE(values->min(), low) << where;
          EXPECT_GE(values->max(), high) << where;
          if (low >= 0) {
            EXPECT_EQ(values->min(), 0.0) << where;
          }
          const AxisKind kind = right ? panel.rightKind : panel.yKind;
          if (kind == AxisKind::kShare && high <= 1) {
            EXPECT_LE(values->max(), 1.0) << where;
          }
        }
        if (!panel.categories.isEmpty()) continue;
        const auto horizontal = qchart->axes(Qt::Horizontal);
        ASSERT_EQ(horizontal.size(), 1) << where;
        auto* groups = qobject_cast<QCategoryAxis*>(horizontal.front());
        ASSERT_NE(groups, nullptr) << where;
        std::vector<double> ticks;
        for (const QString& label : groups->categoriesLabels()) {
          ticks.push_back(groups->endValue(label));
          EXPECT_EQ(label, QString::number(ticks.back(), 'f', 0)) << where;
        }
        if (panel.x.size() <= 20) {
          EXPECT_EQ(ticks, panel.x) << where;  // few enough to tick each one
        } else {  // every so many, from the first
          ASSERT_FALSE(ticks.empty()) << where;
          EXPECT_EQ(ticks.front(), panel.x.front()) << where;
          for (const double tick : ticks)
            EXPECT_NE(std::find(panel.x.begin(), panel.x.end(), tick), panel.x.end()) << where << ": " << tick;
          EXPECT_GE(ticks.size(), panel.x.size() / 4) << where;
        }
        EXPECT_LT(groups->min(), panel.x.front()) << where;
        EXPECT_GT(groups->max(), panel.x.back()) << where;
      }
    }
}

// A value a rounding error beyond a tick takes no tick more, yet the axis
// reaches it, so that its point is not clipped (a gene-dropping mean of
// 0.45 had drawn just above an axis ending at 0.45).
TEST(ChartLayout, AxesReachValuesARoundingErrorBeyondATick) {
  struct Row {
    const char* name;
    double value;
    AxisKind kind;
    double lastTick;
  };
  const Row rows[] = {
      {"above 0.45", std::nextafter(0.45, 1.0), AxisKind::kValue, 0.45},
      {"a share above 0.45", std::nextafter(0.45, 1.0), AxisKind::kShare, 0.45},
      {"below -0.45", std::nextafter(-0.45, -1.0), AxisKind::kValue, -0.45},
      {"above 3", std::nextafter(3.0, 4.0), AxisKind::kValue, 3.0},
  };
  for (const Row& row : rows) {
    const AxisTicks t = NiceTicks({row.value}, row.kind);
    if (row.value > 0) {
      EXPECT_GE(t.high, row.value) << row.name;
      EXPECT_NEAR(t.high, row.lastTick, 1e-12) << row.name;
    } else {
      EXPECT_LE(t.low, row.value) << row.name;
      EXPECT_NEAR(t.low, row.lastTick, 1e-12) << row.name;
    }
  }
}

// Ticks over random values: round steps, every label in one format that
// tells the ticks apart exactly, 0 in view, counts in whole steps, shares
// ending at 1 at most.
TEST(ChartLayout, TicksAreRoundAndShareOneFormat) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 2000; ++trial) {
    const AxisKind kind = static_cast<AxisKind>(trial % 3);
    const double scale = std::pow(10.0, static_cast<int>(random() % 9) - 6);
    std::vector<double> values(1 + random() % 30);
    for (double& v : values) {
      v = std::uniform_real_distribution<double>(0, 1)(random) * scale;
      if (kind == AxisKind::kCount) v = std::round(v * 1000);
      if (kind == AxisKind::kValue && trial % 7 == 0) v -= scale / 2;
      if (kind == AxisKind::kShare) v = std::min(v, 1.0);
    }
    const std::string where = "trial " + std::to_string(trial);
    const AxisTicks t = NiceTicks(values, kind);
    const double low = std::min(0.0, *std::min_element(values.begin(), values.end()));
    const double high = *std::max_element(values.begin(), values.end());
    EXPECT_LE(t.low, low) << where;
    EXPECT_GE(t.high, high) << where;
    if (low >= 0) {
      EXPECT_EQ(t.low, 0.0) << where;
    }
    if (kind == AxisKind::kShare) {
      EXPECT_LE(t.high, 1.0) << where;
    }
    if (kind == AxisKind::kCount) {
      EXPECT_EQ(t.step, std::round(t.step)) << where;
      EXPECT_EQ(t.decimals, 0) << where;
    }
    const double steps = (t.high - t.low) / t.step;
    EXPECT_NEAR(steps, std::round(steps), 1e-6) << where;
    EXPECT_LE(std::round(steps), 12) << where;
    QStringList labels;
    for (int k = 0; k <= std::lround(steps); ++k) {
      const double tick = t.low + t.step * k;
      labels << QString::number(tick, 'f', t.decimals);
      EXPECT_NEAR(labels.back().toDouble(), tick, t.step * 1e-6) << where;
    }
    EXPECT_EQ(labels.removeDuplicates(), 0) << where;
  }
}

// The heat map's colour scale from 0, its labels in one fixed format
// whatever the size of the averages, and its title whole.
TEST(ChartLayout, HeatMapScaleHasOneFormat) {
  const struct Row {
    const char* name;
    std::vector<double> values;  // 2 x 2
  } rows[] = {
      {"tiny and small", {5.562e-05, 0.0104, 0.0104, 0.002}},
      {"halves", {0.5586, 0.3003, 0.3003, 0.4294}},
      {"above one", {1.25, 0.5, 0.5, 1.0}},
  };
  for (const Row& row : rows) {
    // Forty groups: too small a cell for values, so every number drawn
    // apart from the group labels is the scale's.
    HeatMap map{QStringLiteral("Average relationships between groups"),
                QStringLiteral("Average numerator relationship"), {}, {}};
    const std::size_t n = 40;
    for (std::size_t g = 0; g < n; ++g) map.groups.push_back(static_cast<int>(2001 + g));
    map.values.assign(n * n, 0.0);
    for (std::size_t r = 0; r < n; ++r)
      for (std::size_t c = 0; c < n; ++c) map.values[r * n + c] = row.values[(r % 2) * 2 + c % 2];
    const QStringList texts = SvgTexts(HeatMapPicture(map), "heat");
    EXPECT_TRUE(texts.contains(map.scaleTitle)) << row.name;
    std::set<qsizetype> decimals;
    double lowest = 1e9, highest = -1e9;
    for (const QString& text : texts) {
      bool number = false;
      const double v = text.toDouble(&number);
      if (!number || (!text.contains('.') && v > 2000)) continue;  // a group
      EXPECT_FALSE(text.contains('e')) << row.name << ": " << text.toStdString();
      decimals.insert(text.contains('.') ? text.size() - text.indexOf('.') - 1 : 0);
      lowest = std::min(lowest, v), highest = std::max(highest, v);
    }
    EXPECT_EQ(decimals.size(), 1u) << row.name << ": " << texts.join('|').toStdString();
    EXPECT_EQ(lowest, 0.0) << row.name;
    EXPECT_GE(highest, *std::max_element(row.values.begin(), row.values.end())) << row.name;
  }
}

// The founders' panel says how many contributions it shows, of how many.
TEST(ChartLayout, FoundersTitleSaysWhatIsShown) {
  auto s = Open(kSources[0]);
  const ResultSet tables = RunCommand(*s, kCmdGeneOrigin, 3);
  const std::size_t total = tables.Find("founder_contributions")->rows();
  ASSERT_GT(total, 2u);
  const struct Row {
    int count;
    QString title;
  } rows[] = {
      {2, QStringLiteral("The 2 largest of %1 contributions").arg(total)},
      {static_cast<int>(total), QStringLiteral("All %1 founders' contributions").arg(total)},
      {kFoundersShown, QStringLiteral("All %1 founders' contributions").arg(total)},
  };
  for (const Row& row : rows) {
    const Plot plot = FoundersPlot(tables, 3, row.count);
    EXPECT_EQ(plot.panels.at(0).title, row.title) << row.count;
    EXPECT_EQ(plot.panels.at(0).categories.size(), std::min<qsizetype>(row.count, static_cast<qsizetype>(total)));
  }
}

}  // namespace
}  // namespace kinvar::pictures
