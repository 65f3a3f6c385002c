// The charts of the analyses: what each plots equals the analysis' table
// (and, where the test can, a count or a mean computed here from the
// per-individual F), the Qt chart carries exactly those values, and the
// files are what they claim to be.
#include "pictures/charts.h"

#include <gtest/gtest.h>

#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

#include "genetics/command_ids.h"
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
