// kinvar-bench-view: how the report view copes with a report far longer than
// the store. Writes N numbered report lines (default 10,000,000) as the
// analyses that keep the copy file write them, then times, each as wall
// time: opening the report in the view (the refresh after a command),
// scrolling to its end with Ctrl+End and drawing the last screen, a find of
// the last line from the top, and the resident memory the view and the
// file's index cost beyond the store. With --png PATH it also saves a picture
// of the view scrolled to the end.
#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/document.h"
#include "bench_support.h"
#include "gui/report_view.h"
#include "gui/qt_platform.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-view [--n N] [--png PATH]\n"
    "  Defaults: n 10000000. Run with QT_QPA_PLATFORM=offscreen.\n";

std::string Numbered(std::int64_t i) {
  return "|MLine|T1|F" + std::to_string(i + 1) + "|T1|Avalue " + std::to_string(i % 997);
}

double SecondsOf(const std::function<void()>& f) {
  const double start = Now();
  f();
  return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Options options(argc, argv, {});
  if (const int code = UsageStatus(options, kUsage); code >= 0) return code;
  const std::int64_t n = options.Int("n", 10'000'000);

  QTemporaryDir folder;
  const std::string pedigree = folder.filePath("tiny.pdg").toStdString();
  std::ofstream(pedigree) << "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n";
  gui::QtPlatform platform;
  Document doc(platform, folder.path().toStdString() + "/");
  if (!doc.OpenPedigreeFile(pedigree)) {
    std::fprintf(stderr, "cannot open the pedigree\n");
    return 1;
  }
  gui::ReportView view(doc);
  view.resize(900, 700);
  view.show();
  app.processEvents();

  Pedigree& ped = doc.pedigree();
  const std::int64_t residentBefore = ResidentBytes();
  const double writing = SecondsOf([&] {
    ped.report.Clear();
    ped.copyFile.Reset();
    for (std::int64_t i = 0; i < n; ++i) WriteReportLine(ped.report, Numbered(i), &ped.copyFile);
  });
  const double opening = SecondsOf([&] {
    view.OnUpdate();
    view.viewport()->repaint();
  });
  const double toEnd = SecondsOf([&] {
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view, &end);
    view.viewport()->repaint();
  });
  const double find = SecondsOf([&] {
    view.SelectLines(0, 0);
    view.Find(QString::fromStdString("Line                  " + std::to_string(n)), true);
    view.viewport()->repaint();
  });
  const std::int64_t residentAfter = ResidentBytes();
  const std::string png = options.Get("png", "");
  if (!png.empty()) {
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view, &end);
    view.viewport()->repaint();
    if (!view.grab().save(QString::fromStdString(png))) std::fprintf(stderr, "cannot write %s\n", png.c_str());
  }

  std::printf("%-34s %12lld\n", "lines", static_cast<long long>(n));
  std::printf("%-34s %12.3f\n", "writing the report (s)", writing);
  std::printf("%-34s %12.3f\n", "opening it in the view (s)", opening);
  std::printf("%-34s %12.3f\n", "Ctrl+End and the last screen (s)", toEnd);
  std::printf("%-34s %12.3f\n", "find of the last line (s)", find);
  std::printf("%-34s %12.1f\n", "resident growth (MB)",
              static_cast<double>(residentAfter - residentBefore) / 1e6);
  std::printf("%-34s %12.1f\n", "copy file (MB)", static_cast<double>(ped.copyFile.Size()) / 1e6);
  std::printf("%-34s %12d\n", "selected line after the find", view.selectedLine());
  return view.selectedLine() == n - 1 ? 0 : 1;
}
