// Writes the README's screenshot: the main window, offscreen, with the
// inbreeding report of a pedigree on screen.
//   QT_QPA_PLATFORM=offscreen kinvar-screenshot examples/herd.pdg docs/screenshot.png
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/commands.h"
#include "app/document.h"
#include "gui/main_frame.h"
#include "gui/qt_platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: kinvar-screenshot PEDIGREE OUTPUT.png\n");
    return 2;
  }
  kinvar::gui::QtPlatform platform;
  // No program folder: the shot shows the default settings, no recent files.
  kinvar::CKinvarDoc doc(platform, "");
  if (!doc.Initialize()) return 1;
  kinvar::gui::CMainFrame frame(platform, doc);
  frame.resize(900, 600);
  frame.show();
  frame.OpenFile(QString::fromLocal8Bit(argv[1]));
  frame.Dispatch(kinvar::kCmdCompute);
  QApplication::processEvents();
  if (!frame.grab().save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "Cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
