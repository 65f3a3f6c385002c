// The main window's pictures beside the pedigree chart: the layered
// drawing of a family's pedigree and the charts of the analyses. A chart
// runs its analysis as the Tools menu does (its report is then on screen)
// and draws the analysis's tables.
#include "analyses/decomposition_report.h"
#include "analyses/diversity.h"
#include "analyses/gene_origin.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/pedigree_drawing.h"
#include "app/commands.h"
#include "app/document.h"
#include "gui/main_window.h"
#include "gui/picture_window.h"
#include "gui/qt_platform.h"
#include "matings/matings_command.h"
#include "pictures/charts.h"
#include "pictures/pedigree_certificate_picture.h"
#include "pictures/pedigree_drawing_picture.h"

namespace kinvar::gui {

namespace {

// The drawing the user asked for, or nothing when the picker was cancelled.
std::optional<DrawingRequest> AskDrawing(CommandContext& ctx, std::int32_t id) {
  DrawingRequest request;
  const bool ancestors = id == kCmdDrawAncestorsIndividual || id == kCmdDrawAncestorsGroup;
  request.kinship = ancestors ? Kinship::kAncestors : Kinship::kDescendants;
  if (id == kCmdDrawAncestorsGroup || id == kCmdDrawDescendantsGroup) {
    const auto group = AskGroup(ctx, "Pedigree Drawing", "Draw");
    if (!group) return std::nullopt;
    request.group = GroupIndexOf(ctx.ped, *group);
  } else {
    const auto x = AskIndividual(ctx, "Pedigree Drawing", "Draw");
    if (!x) return std::nullopt;
    request.individual = *x;
  }
  return request;
}

// The charts over one group ask for it in a dialog named after the chart,
// not after the analysis that computes it, and hand it to the analysis as
// a re-run would; false when the user cancelled. The other charts ask
// nothing here.
bool AskChartGroup(Document& doc, Platform& platform, std::int32_t id) {
  if (id != kCmdChartTrends && id != kCmdChartFounders) return true;
  const bool trends = id == kCmdChartTrends;
  GroupPicker picker{trends ? "Trends by group" : "Founder contributions", "Draw", GroupNumbers(doc.pedigree()), {},
                     trends ? "All individuals" : ""};
  const std::optional<int> group = platform.PickGroup(picker);
  if (!group) return false;
  const std::string text = *group == kAllIndividuals ? std::string("all") : std::to_string(*group);
  doc.remembered.values.Set(trends ? kCmdDiversity : kCmdGeneOrigin, "group", text);
  doc.askInputs = false;
  return true;
}

// Genomic against pedigree F, F_G first; the window's list switches to
// F_hom or F_ROH, all three drawn from the one run's table, kept with the
// window so that they stay those of this run.
void ShowGenomicScatter(MainWindow& frame, const ResultSet& tables) {
  const ResultTable* animals = tables.Find("genomic_inbreeding");
  if (animals == nullptr) return;
  auto kept = std::make_shared<ResultSet>();
  kept->Add(ResultTable(*animals));
  PictureWindow* window = frame.ShowPicture(
      pictures::ScatterPicture(pictures::GenomicInbreedingScatter(*kept, pictures::GenomicMeasure::kDiagonal)));
  QStringList measures;
  for (const pictures::GenomicMeasure m : pictures::kGenomicMeasures) measures << pictures::MeasureName(m);
  auto draw = [kept](int k) -> std::optional<pictures::Picture> {
    return pictures::ScatterPicture(pictures::GenomicInbreedingScatter(*kept, pictures::kGenomicMeasures[k]));
  };
  window->OfferChoices({QStringLiteral("Genomic F"), measures, 0, std::move(draw)});
}

}  // namespace

void MainWindow::OnPedigreeDrawing(std::int32_t id) {
  CommandContext ctx = doc_.Context();
  std::optional<DrawingRequest> request = AskDrawing(ctx, id);
  if (!request) return;
  Pedigree& ped = doc_.pedigree();
  // Counted before anything is built or any F computed, so that a refusal
  // comes at once.
  const DrawingSizeProblem problem = CheckDrawingSize(ped, *request);
  if (!problem.message.empty()) {
    // Too many nodes: offer the most generations that fit, when some do.
    if (problem.fittingGenerations == 0) {
      platform_.ShowMessage(problem.message, MessageIcon::kError);
      return;
    }
    if (platform_.ShowMessage(problem.message, MessageIcon::kQuestion) != Answer::kYes) return;
    request->generations = problem.fittingGenerations;
  }
  // The nodes are coloured by F: the same coefficients as every report.
  if (!EnsureInbreeding(ctx)) return;
  auto drawing = std::make_shared<const PedigreeDrawing>(BuildPedigreeDrawing(ped, *request));
  // Graphviz takes seconds over thousands of nodes: on a worker, with the
  // drawing of its own, so the window stays alive and another pedigree may
  // be opened meanwhile.
  auto work = [drawing] { return LaidOutDrawing(drawing); };
  const QString label = QStringLiteral("Laying out %1 nodes...").arg(static_cast<qulonglong>(drawing->nodes.size()));
  new PictureJob(std::move(work), label, this);
}

// Opens on the usual four generations; the window's box gives 3 or 5, and
// File › Print or Export Picture gives the page.
void MainWindow::OnPedigreeCertificate() {
  CommandContext ctx = doc_.Context();
  const auto x = AskIndividual(ctx, "Pedigree Certificate", "Show");
  if (!x) return;
  if (!EnsureInbreeding(ctx)) return;
  Pedigree& ped = doc_.pedigree();
  const RecIndex individual = *x;
  const std::string id(ped.rec(individual).Id());
  constexpr int kOpening = pictures::kDefaultCertificateGenerations;
  PictureWindow* window =
      ShowPicture(pictures::PedigreeCertificatePicture(ped, individual, kOpening));
  // Drawn again only from the pedigree it came from, coefficients and all.
  auto draw = [&ped, individual, id](int generations) -> std::optional<pictures::Picture> {
    const bool same = individual <= ped.nTotal && ped.rec(individual).Id() == id &&
                      ped.inbreedingComputed && ped.orderState == 1;
    if (!same) return std::nullopt;
    return pictures::PedigreeCertificatePicture(ped, individual, generations);
  };
  window->OfferVariants({QStringLiteral("Generations"), kOpening, pictures::kLeastCertificateGenerations,
                         pictures::kMostCertificateGenerations, std::move(draw)});
}

void MainWindow::OnChart(std::int32_t id) {
  const std::int32_t analysis = id == kCmdChartTrends          ? kCmdDiversity
                                : id == kCmdChartFDistribution ? kCmdStructure
                                : id == kCmdChartFounders      ? kCmdGeneOrigin
                                : id == kCmdChartContributions ? kCmdOptimumContributions
                                : id == kCmdChartPurging       ? kCmdPurging
                                : id == kCmdChartGenomicInbreeding ? kCmdGenomicInbreeding
                                                               : kCmdAverageBetweenGroups;
  if (!AskChartGroup(doc_, platform_, id)) return;
  RunCommand(analysis);
  // A cancel, a refused group or an error report: the report says why.
  if (doc_.lastCommand() != analysis) return;
  const ResultSet& tables = doc_.pedigree().report.tables();
  switch (id) {
    case kCmdChartTrends: {
      const auto group = GroupValue(doc_.remembered.values, DiversityDeclaration(), "group");
      const bool reference = group && *group != kAllIndividuals;
      ShowPicture(pictures::PlotPicture(pictures::TrendsPlot(tables, reference)));
      break;
    }
    case kCmdChartFDistribution:
      ShowPicture(pictures::PlotPicture(pictures::FDistributionPlot(tables)));
      break;
    case kCmdChartFounders:
      ShowPicture(pictures::PlotPicture(
          pictures::FoundersPlot(tables, GroupValue(doc_.remembered.values, GeneOriginDeclaration(), "group").value_or(-1))));
      break;
    case kCmdChartContributions:
      ShowPicture(pictures::PlotPicture(pictures::ContributionsPlot(tables)));
      break;
    case kCmdChartPurging:
      ShowPicture(pictures::PlotPicture(pictures::PurgingPlot(tables)));
      break;
    case kCmdChartGenomicInbreeding: ShowGenomicScatter(*this, tables); break;
    default: ShowPicture(pictures::HeatMapPicture(pictures::GroupHeatMap(tables))); break;
  }
}

// The proven optimum first, asking for the groups and files as Optimize
// Matings does; then the annealing with the same inputs, whose report stays
// on screen as after Optimize Matings.
void MainWindow::OnMatingsChart() {
  CommandValues& values = doc_.remembered.values;
  const std::string exact = values.Text(OptimizeMatingsDeclaration(), "exact");
  values.Set(kCmdOptimizeMatings, "exact", "1");
  doc_.RunCommand(kCmdOptimizeMatings);
  const bool optimized = doc_.lastCommand() == kCmdOptimizeMatings &&
                         doc_.pedigree().report.tables().Find("matings") != nullptr;
  ResultSet optimum = doc_.pedigree().report.tables();
  values.Set(kCmdOptimizeMatings, "exact", "0");
  if (optimized) {
    doc_.askInputs = false;  // the inputs just given
    doc_.RunCommand(kCmdOptimizeMatings);
  }
  values.Set(kCmdOptimizeMatings, "exact", exact);
  // A cancel, a refusal or matings too restricted: the report says why.
  if (!optimized || doc_.pedigree().report.tables().Find("matings") == nullptr) return;
  ShowPicture(pictures::PlotPicture(
      pictures::MatingsPlot(doc_.pedigree().report.tables(), optimum)));
}

}  // namespace kinvar::gui
