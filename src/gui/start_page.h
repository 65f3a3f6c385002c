// What the window shows while no pedigree is open: the way in for someone who
// has never used Kinvar — open a file, a recent file, an example, or the
// manual's first steps.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <functional>

namespace kinvar::gui {

// The examples the program carries, as File › Open would name them.
QStringList ExampleNames();

// Writes the example `name` into `folder` unless a file of that name is
// there already (a copy the user changed is never overwritten), and returns
// its path, or "" when it cannot be written.
QString ExampleCopy(const QString& name, const QString& folder);

struct StartActions {
  std::function<void()> open;
  std::function<void(const QString& path)> openFile;
  std::function<void(const QString& example)> openExample;
  std::function<void(const QString& page)> help;
};

// The page as HTML, its links "open:", "recent:N", "example:NAME", "help:PAGE".
QString StartPageHtml(const QStringList& recent);

class StartPage : public QTextBrowser {
  Q_OBJECT

 public:
  StartPage(StartActions actions, QWidget* parent = nullptr);
  void SetRecent(const QStringList& recent);
  // Follows a link of the page as a click does.
  void Follow(const QUrl& link);

 private:
  StartActions actions_;
  QStringList recent_;
};

}  // namespace kinvar::gui
