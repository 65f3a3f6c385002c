// kinvar: the desktop program. `kinvar [FILE]` opens FILE at start; without
// one the About box greets the user first.
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "app/document.h"
#include "app/program_folder.h"
#include "genomics/blas_kernels.h"
#include "gui/about_dialog.h"
#include "gui/main_window.h"
#include "gui/qt_platform.h"

namespace {

// Files larger than this load with the window minimised.
constexpr std::uintmax_t kLargeFile = 2097152;

struct CommandLine {
  bool valid = true;
  std::optional<QString> file;
};

// Qt has taken its own options out already; anything else with a dash, or a
// second file, is a switch this program does not know.
CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  for (const QString& argument : arguments.mid(1)) {
    if ((argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) || line.file) {
      line.valid = false;
      break;
    }
    line.file = argument;
  }
  return line;
}

void Fail(const QString& text) {
  QMessageBox::critical(nullptr, QStringLiteral("Kinvar"), text);
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt starts its threads: the choice sets an environment variable.
  kinvar::PrepareBlas();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kinvar"));
  QApplication::setApplicationVersion(QStringLiteral(KINVAR_VERSION));
  const CommandLine line = ParseCommandLine(QApplication::arguments());
  if (!line.valid) {
    Fail(QStringLiteral("Error: The Command line is not valid."));
    return 1;
  }
  if (!line.file) {
    kinvar::gui::AboutDialog splash(kinvar::gui::AboutDialog::Mode::kSplash);
    splash.exec();
  }

  kinvar::gui::QtPlatform platform;
  kinvar::Document doc(platform, kinvar::ProgramFolder());
  if (!doc.Initialize()) return 1;
  kinvar::gui::MainWindow frame(platform, doc);

  if (line.file) {
    const std::string path = line.file->toStdString();
    std::ifstream probe(path);
    std::error_code error;
    if (!probe || std::filesystem::is_directory(path, error)) {
      Fail(QStringLiteral("Error: Cannot open %1!").arg(*line.file));
      return 1;
    }
    if (std::filesystem::file_size(path, error) > kLargeFile && !error) frame.showMinimized();
    frame.OpenFile(*line.file);
  }
  frame.ShowAtStart();
  return QApplication::exec();
}
