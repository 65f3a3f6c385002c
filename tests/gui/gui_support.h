// What the desktop tests share: a platform that records messages instead of
// showing boxes (every other call opens the real Qt dialog), a document in a
// temporary program folder, and a way to act on a modal dialog once it runs.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "gui/main_window.h"
#include "gui/qt_platform.h"

namespace kinvar::gui::test {

class RecordingPlatform : public QtPlatform {
 public:
  // Questions are answered with `answer`, Yes unless a test says No.
  Answer ShowMessage(const std::string& text, MessageIcon icon) override {
    messages.push_back(text);
    return icon == MessageIcon::kQuestion ? answer : Answer::kOk;
  }
  // The save question is recorded among the messages and answered with
  // `saveAnswer`.
  SaveAnswer AskToSave(const std::string& question) override {
    messages.push_back(question);
    return saveAnswer;
  }
  void ShowStatus(const std::string& text) override {
    statusLines.push_back(text);
    QtPlatform::ShowStatus(text);
  }
  std::vector<std::string> messages;
  std::vector<std::string> statusLines;
  Answer answer = Answer::kYes;
  SaveAnswer saveAnswer = SaveAnswer::kDiscard;
};

struct DocumentFixture {
  QTemporaryDir folder;
  RecordingPlatform platform;
  Document doc{platform, folder.path().toStdString() + "/"};
};

// The main window shown with the example herd open, as most command tests
// begin.
struct HerdWindow : DocumentFixture {
  HerdWindow() {
    frame.show();
    frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg");
  }
  MainWindow frame{platform, doc};
};

// Runs `act` on the modal dialog of type D as soon as the event loop of its
// exec() runs; a dialog that `act` leaves open is cancelled, so a failing
// test cannot hang.
template <class D>
void WhenShown(std::function<void(D&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      ADD_FAILURE() << "no modal dialog of the expected type";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    act(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
}

}  // namespace kinvar::gui::test
