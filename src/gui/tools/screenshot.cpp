// Writes the README's screenshot: the main window, offscreen, with the
// inbreeding report of a pedigree on screen. With a folder as third argument
// it also writes there a picture of every dialog, of the window with its
// right-click menu open, its find bar, its help window and its first table
// tab (when the report has tables), and the report
// printed to PDF, for review.
//   QT_QPA_PLATFORM=offscreen kinvar-screenshot examples/herd.pdg docs/screenshot.png [DIR]
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QPixmap>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QProgressDialog>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <cstdio>

#include "analyses/parentage_report.h"
#include "app/commands.h"
#include "app/document.h"
#include "gui/about_dialog.h"
#include "gui/dialogs.h"
#include "gui/find_bar.h"
#include "gui/help_window.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui/options_dialog.h"
#include "gui/parentage_window.h"
#include "gui/picture_window.h"
#include "gui/planned_mating_dialog.h"
#include "gui/progress_dialog.h"
#include "gui/qt_platform.h"
#include "gui/table_model.h"
#include "gui/table_pane.h"
#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/pedigree_drawing.h"
#include "analyses/genotype_input_form.h"
#include "pictures/pedigree_chart_picture.h"

namespace {

bool Shoot(QWidget& widget, const QString& path, int settleMs = 0) {
  widget.show();
  QEventLoop loop;
  QTimer::singleShot(settleMs, &loop, &QEventLoop::quit);
  loop.exec();
  if (widget.grab().save(path)) return true;
  std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
  return false;
}

bool ShootDialogs(kinvar::Document& doc, kinvar::Platform& platform, const QDir& dir) {
  using namespace kinvar;
  using namespace kinvar::gui;
  const IndividualPicker individual{"Extract ancestors", "Extract", {}};
  const GroupPicker groups{"Relationships within a group", "Compute", {1, 2, 3}, {}};
  const GroupPicker matings{"Optimizing matings", "Compute", {1, 2, 3}, {}, {},
                            "Sire group", "Dam group"};
  const QueryDialog query{"Numerator relationship",
                          {"First individual ID", "Second individual ID"},
                          "Relationship",
                          {"B3", "B2"},
                          {}};
  OptionsDialog options(doc, platform);
  IdDialog getId(individual);
  GroupChoiceDialog selectGroup(groups);
  TwoGroupsDialog twoGroups(groups);
  TwoGroupsDialog matingGroups(matings);
  IdQueryDialog queryDialog(query);
  const ValueForm populationForm{"Optimum contributions",
                                 {{"ebv-column", "Breeding values: column of the pedigree file", ""},
                                  {"ebv", "Breeding values: file of ID and value", "herd-ebv.txt"},
                                  {"target-delta-f", "Target delta F", "0.01"},
                                  {"target-kinship", "Target kinship", ""},
                                  {"max-contribution", "Largest contribution", ""},
                                  {"matings-file", "Matings file to write (every dam one progeny)", "next.c"}},
                                 [](const std::vector<std::string>&) { return true; }};
  ValueFormDialog fields(populationForm);
  // The genomic dialogs as their declarations build them, a genotype file
  // named.
  CommandValues values;
  const CommandDeclaration qc = GenotypeQcDeclaration();
  const CommandDeclaration relationship = GenomicRelationshipDeclaration();
  const CommandDeclaration hinverse = HInverseDeclaration();
  for (const std::int32_t id : {qc.id, relationship.id, hinverse.id})
    values.Set(id, kGenotypesKey, "herd-genotypes.txt");
  ValueFormDialog genotypes(DeclaredForm(qc, "Genotype quality control", values, platform));
  ValueFormDialog genomicRelationship(DeclaredForm(relationship, "Genomic relationships", values, platform));
  ValueFormDialog singleStep(DeclaredForm(hinverse, "Single-step H-inverse", values, platform));
  TwoChoiceDialog save("Save the pairwise relationships", "Save the numerator relationship matrix");
  SheetChoiceDialog sheet({"Herd 2021", "Herd 2022", "Notes"});
  AboutDialog about(AboutDialog::Mode::kAbout);
  ProgressDialog progress;
  progress.SetLabel("Computing inbreeding coefficients");
  progress.SetPosition(40);
  const std::pair<QWidget*, const char*> shots[] = {
      {&options, "options"},     {&getId, "get-an-id"}, {&selectGroup, "select-a-group"},
      {&twoGroups, "two-groups"}, {&matingGroups, "mating-groups"},
      {&queryDialog, "query"},   {&fields, "population-options"}, {&genotypes, "genotype-input"}, {&genomicRelationship, "genomic-relationship"},
      {&singleStep, "hinverse"}, {&save, "save-choice"},   {&sheet, "select-a-sheet"},
      {&about, "about"},         {&progress, "progress"}};
  bool ok = true;
  for (const auto& [widget, name] : shots) {
    // The About box once its animation has run through.
    const int settle = widget == &about ? 3600 : 0;
    ok = Shoot(*widget, dir.filePath(QString::fromLatin1(name) + ".png"), settle) && ok;
  }
  return ok;
}

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The window with its right-click menu open on the report and the
// Inbreeding submenu unfolded, the pop-ups painted where they stand.
bool ShootContextMenu(kinvar::gui::MainWindow& frame, const QString& path) {
  QMenu* menu = frame.contextMenu();
  menu->popup(frame.view()->mapToGlobal(QPoint(160, 60)));
  Settle(50);
  QMenu* submenu = nullptr;
  for (QAction* a : menu->actions())
    if (a->menu() != nullptr && submenu == nullptr) {
      menu->setActiveAction(a);
      submenu = a->menu();
      submenu->popup(menu->geometry().topRight() + QPoint(0, menu->actionGeometry(a).top()));
    }
  Settle(50);
  QPixmap shot = frame.grab();
  QPainter painter(&shot);
  for (QMenu* shown : {menu, submenu})
    if (shown != nullptr && shown->isVisible())
      painter.drawPixmap(frame.mapFromGlobal(shown->pos()), shown->grab());
  painter.end();
  if (submenu != nullptr) submenu->close();
  menu->close();
  return shot.save(path);
}

// The last table tab of the report (the per-individual one after Compute),
// sorted by its last column with the largest values on top; nothing to
// shoot for a report without tables.
bool ShootTableTab(kinvar::gui::MainWindow& frame, const QString& path) {
  if (frame.tablePanes().empty()) return true;
  kinvar::gui::TablePane* pane = frame.tablePanes().back();
  frame.tabs()->setCurrentWidget(pane);
  const int last = pane->model().columnCount() - 1;
  pane->view()->sortByColumn(last, Qt::DescendingOrder);
  pane->numberBox()->setText(QStringLiteral("f > 0"));
  pane->view()->selectRow(1);
  const bool ok = Shoot(frame, path);
  pane->numberBox()->clear();
  frame.tabs()->setCurrentIndex(0);
  return ok;
}

// An ID box with "b" typed: the dialog and the popup of the IDs it offers.
bool ShootIdCompletion(kinvar::Document& doc, const QString& path) {
  kinvar::IndividualPicker picker{"Inbreeding coefficient", "Compute",
                                  [](std::string&) { return true; }};
  auto cache = std::make_shared<kinvar::gui::IdIndexCache>();
  kinvar::gui::IdDialog dialog(picker, nullptr, [&doc, cache] { return cache->Get(doc.pedigree()); });
  dialog.show();
  dialog.activateWindow();
  dialog.edit()->setFocus();
  dialog.edit()->setText(QStringLiteral("b"));
  emit dialog.edit()->textEdited(QStringLiteral("b"));
  QApplication::processEvents();
  QWidget* popup = QApplication::activePopupWidget();
  const int below = popup == nullptr ? 0 : dialog.mapFromGlobal(popup->geometry().bottomLeft()).y() + 4;
  QPixmap shot(dialog.width(), std::max(dialog.height(), below));
  shot.fill(Qt::white);
  QPainter painter(&shot);
  painter.drawPixmap(0, 0, dialog.grab());
  if (popup != nullptr) painter.drawPixmap(dialog.mapFromGlobal(popup->pos()), popup->grab());
  painter.end();
  if (popup != nullptr) popup->close();
  return shot.save(path);
}

// The pedigree chart of the last individual of the file, in its window.
bool ShootChartWindow(kinvar::gui::MainWindow& frame, kinvar::Document& doc,
                      const QString& path) {
  kinvar::Pedigree& ped = doc.pedigree();
  if (ped.nRead == 0) return true;
  kinvar::gui::PictureWindow* window =
      frame.ShowPicture(kinvar::pictures::PedigreeChartPicture(ped, ped.nRead, 4));
  window->resize(900, 600);
  const bool ok = Shoot(*window, path);
  window->close();
  return ok;
}

// The planned mating of the manual's example, as a breeder fills it in:
// the dialog, the report it leaves and the planned offspring's chart.
bool ShootPlannedMating(kinvar::gui::MainWindow& frame, const QDir& dir) {
  using kinvar::gui::PlannedMatingDialog;
  bool ok = true;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<PlannedMatingDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    dialog->box("sire")->setText(QStringLiteral("C3"));
    dialog->box("dam")->setText(QStringLiteral("B3"));
    dialog->box("top")->setText(QStringLiteral("5"));
    ok = Shoot(*dialog, dir.filePath(QStringLiteral("planned-mating.png"))) && ok;
    dialog->computeButton()->click();
  });
  frame.Dispatch(kinvar::kCmdPlannedMating);
  const auto windows = frame.findChildren<kinvar::gui::PictureWindow*>();
  if (windows.isEmpty()) return false;
  kinvar::gui::PictureWindow* chart = windows.back();
  chart->resize(1000, 640);
  ok = Shoot(*chart, dir.filePath(QStringLiteral("planned-mating-chart.png"))) && ok;
  chart->close();
  return Shoot(frame, dir.filePath(QStringLiteral("planned-mating-report.png"))) && ok;
}

// Waits up to a minute for a picture window shown among the frame's
// children (a closed one lingers until its deferred delete).
kinvar::gui::PictureWindow* AwaitPictureWindow(kinvar::gui::MainWindow& frame) {
  for (int waited = 0; waited < 60000; waited += 20) {
    for (auto* window : frame.findChildren<kinvar::gui::PictureWindow*>())
      if (window->isVisible()) return window;
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return nullptr;
}

// The descendants drawing of the file's first individual (as many
// generations as can be drawn), laid out behind its progress window, and
// the certificate of the last individual.
bool ShootDrawingAndCertificate(kinvar::gui::MainWindow& frame, kinvar::Document& doc,
                                kinvar::gui::QtPlatform& platform, const QDir& dir) {
  using namespace kinvar;
  Pedigree& ped = doc.pedigree();
  if (ped.nRead == 0) return true;
  DrawingRequest request;
  request.kinship = Kinship::kDescendants;
  request.individual = 1;
  const DrawingSizeProblem size = CheckDrawingSize(ped, request);
  if (!size.message.empty()) request.generations = size.fittingGenerations;
  auto drawing = std::make_shared<const PedigreeDrawing>(BuildPedigreeDrawing(ped, request));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QPointer<gui::PictureJob> job = new gui::PictureJob([drawing] { return gui::LaidOutDrawing(drawing); },
                                   QStringLiteral("Laying out %1 nodes...").arg(static_cast<qulonglong>(drawing->nodes.size())),
                                   &frame);
  QEventLoop settle;
  QTimer::singleShot(gui::PictureJob::kProgressDelayMs + 200, &settle, &QEventLoop::quit);
  settle.exec();
  bool ok = true;
  // A job laid out before its progress window was due is gone already.
  if (!job.isNull() && job->progress()->isVisible()) {
    ok = Shoot(*job->progress(), dir.filePath(QStringLiteral("drawing-progress.png")));
    if (!job.isNull()) ok = Shoot(frame, dir.filePath(QStringLiteral("drawing-busy.png"))) && ok;
  }
  gui::PictureWindow* window = AwaitPictureWindow(frame);
  if (window == nullptr) return false;
  window->resize(900, 600);
  ok = Shoot(*window, dir.filePath(QStringLiteral("drawing-window.png")), 100) && ok;
  window->searchBox()->setText(QString::fromLatin1(ped.rec(ped.nRead / 2).Id()).toLower());
  window->Search(window->searchBox()->text());
  ok = Shoot(*window, dir.filePath(QStringLiteral("drawing-search.png")), 50) && ok;
  window->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  platform.AnswerNextIndividual(std::string(ped.rec(ped.nRead).Id()));
  frame.Dispatch(kCmdViewPedigreeCertificate);
  if (gui::PictureWindow* certificate = AwaitPictureWindow(frame)) {
    certificate->resize(700, 900);
    ok = Shoot(*certificate, dir.filePath(QStringLiteral("certificate-window.png")), 50) && ok;
    certificate->close();
  }
  return ok;
}

// Fills the genotype file into the form the command opens, then runs it.
void AnswerGenotypes(const QString& genotypes) {
  QTimer::singleShot(0, [genotypes] {
    auto* form = qobject_cast<kinvar::gui::ValueFormDialog*>(QApplication::activeModalWidget());
    if (form == nullptr) return;
    if (auto* path = qobject_cast<QLineEdit*>(form->fields().front())) path->setText(genotypes);
    form->button()->click();
    if (form->isVisible()) form->reject();
  });
}

// Each Tools › Genomics dialog as it opens with a genotype file named, the
// chart of genomic against pedigree F (F_G and F_ROH) and the window of the
// flagged parents with the pedigree chart it opens: when the pedigree has
// its genotypes beside it (herd.pdg: herd-genotypes.vcf, herd-snps.txt).
bool ShootGenomics(kinvar::gui::MainWindow& frame, const QString& pedigree, const QDir& dir) {
  using namespace kinvar;
  const QFileInfo info(pedigree);
  const QString vcf = info.dir().filePath(info.completeBaseName() + QStringLiteral("-genotypes.vcf"));
  const QString snps = info.dir().filePath(info.completeBaseName() + QStringLiteral("-snps.txt"));
  if (!QFileInfo::exists(vcf) || !QFileInfo::exists(snps)) return true;
  const std::pair<std::int32_t, const char*> dialogs[] = {{kCmdGenomicRelationship, "genomic-relationship"},
                                                          {kCmdGenomicInbreeding, "genomic-inbreeding"},
                                                          {kCmdHInverse, "hinverse"},
                                                          {kCmdParentage, "parentage"},
                                                          {kCmdGenotypeQc, "genotype-qc"}};
  bool ok = true;
  for (const auto& [id, name] : dialogs) {
    QTimer::singleShot(0, [&ok, &dir, &vcf, name] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialog == nullptr) {
        ok = false;
        return;
      }
      if (auto* form = qobject_cast<gui::ValueFormDialog*>(dialog))
        if (auto* path = qobject_cast<QLineEdit*>(form->fields().front())) path->setText(vcf);
      ok = Shoot(*dialog, dir.filePath(QStringLiteral("%1-dialog.png").arg(QString::fromLatin1(name)))) && ok;
      dialog->close();
    });
    frame.Dispatch(id);
  }
  AnswerGenotypes(vcf);
  frame.Dispatch(kCmdChartGenomicInbreeding);
  gui::PictureWindow* scatter = AwaitPictureWindow(frame);
  if (scatter == nullptr) return false;
  scatter->resize(1100, 660);
  ok = Shoot(*scatter, dir.filePath(QStringLiteral("genomic-scatter.png")), 100) && ok;
  if (scatter->choiceList() != nullptr) scatter->choiceList()->setCurrentIndex(2);
  ok = Shoot(*scatter, dir.filePath(QStringLiteral("genomic-scatter-roh.png")), 100) && ok;
  scatter->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  AnswerGenotypes(snps);
  frame.Dispatch(kCmdParentage);
  const auto windows = frame.findChildren<gui::ParentageWindow*>();
  if (windows.isEmpty()) return false;
  gui::ParentageWindow* parentage = windows.back();
  // The excluded parent is the row a breeder looks at first.
  for (std::size_t k = 0; k < parentage->rows().size(); ++k)
    if (parentage->rows()[k].verdict == "excluded") parentage->table()->selectRow(static_cast<int>(k));
  ok = Shoot(*parentage, dir.filePath(QStringLiteral("parentage-window.png")), 100) && ok;
  parentage->chartButton()->click();
  if (gui::PictureWindow* chart = AwaitPictureWindow(frame)) {
    chart->resize(900, 600);
    ok = Shoot(*chart, dir.filePath(QStringLiteral("parentage-chart.png")), 50) && ok;
    chart->close();
  }
  parentage->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return ok;
}

bool ShootWindowViews(kinvar::gui::MainWindow& frame, kinvar::Document& doc, const QDir& dir) {
  bool ok = ShootContextMenu(frame, dir.filePath(QStringLiteral("context-menu.png")));
  frame.Dispatch(kinvar::kCmdEditFind);
  frame.findBar()->edit()->setText(QStringLiteral("B3"));
  frame.findBar()->FindNext();
  ok = Shoot(frame, dir.filePath(QStringLiteral("find-bar.png"))) && ok;
  frame.findBar()->Close();
  frame.Dispatch(kinvar::kCmdHelpContents);
  ok = Shoot(*frame.helpWindow(), dir.filePath(QStringLiteral("help.png"))) && ok;
  frame.helpWindow()->close();
  ok = ShootTableTab(frame, dir.filePath(QStringLiteral("table.png"))) && ok;
  ok = ShootIdCompletion(doc, dir.filePath(QStringLiteral("id-completion.png"))) && ok;
  ok = ShootChartWindow(frame, doc, dir.filePath(QStringLiteral("chart-window.png"))) && ok;
  ok = ShootPlannedMating(frame, dir) && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: kinvar-screenshot PEDIGREE OUTPUT.png [DIALOG_FOLDER]\n");
    return 2;
  }
  kinvar::gui::QtPlatform platform;
  // No program folder: the shot shows the default settings, no recent files.
  kinvar::Document doc(platform, "");
  if (!doc.Initialize()) return 1;
  kinvar::gui::MainWindow frame(platform, doc);
  frame.resize(900, 600);
  frame.show();
  // Before any file: the start page a new user sees.
  if (argc == 4 && !Shoot(frame, QDir(QString::fromLocal8Bit(argv[3])).filePath(QStringLiteral("start.png"))))
    return 1;
  frame.OpenFile(QString::fromLocal8Bit(argv[1]));
  frame.Dispatch(kinvar::kCmdCompute);
  if (!Shoot(frame, QString::fromLocal8Bit(argv[2]))) return 1;
  if (argc != 4) return 0;
  const QDir dir(QString::fromLocal8Bit(argv[3]));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("report.pdf")));
  frame.view()->PrintReport(&printer);
  if (!ShootWindowViews(frame, doc, dir)) return 1;
  if (!ShootGenomics(frame, QString::fromLocal8Bit(argv[1]), dir)) return 1;
  if (!ShootDrawingAndCertificate(frame, doc, platform, dir)) return 1;
  if (!ShootDialogs(doc, platform, dir)) return 1;
  return 0;
}
