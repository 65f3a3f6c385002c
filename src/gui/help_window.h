// Help › Contents (F1): the manual's pages, and among them every command of
// the menus with its keys, taken from the command table so that page cannot
// drift from the menus.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

class QKeyEvent;
class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace kinvar {
struct Command;
}

namespace kinvar::gui {

// What the status bar shows for a command: its prompt, or for a command that
// leaves it to the platform, the standard text.
QString CommandPrompt(const Command& command);

// A menu or item text without its '&' marks and its shown key.
QString PlainMenuText(QString text);

struct HelpRow {
  QString where;  // "File", "Tools › Inbreeding", "Report"
  QString what;   // the item as the menu shows it, without '&' and key
  QString keys;   // "" for none
  QString prompt;
};

// The menu bar's commands in menu order, then the report view's commands,
// then its mouse actions and scrolling keys.
std::vector<HelpRow> HelpRows();
QString HelpHtml();

// The page that F1 opens in a command's dialog ("commands/inbreeding"), or
// the contents page for a command without one of its own.
QString HelpPageOf(std::int32_t command);

// The manual in a window: its pages as the program carries them, rendered
// from their Markdown, with a contents list, a search box and back/forward.
class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr, const QString& page = QStringLiteral("index"));
  QTextBrowser* browser() const { return browser_; }
  QListWidget* contents() const { return contents_; }
  QLineEdit* search() const { return search_; }
  // The page on screen, as HelpPageOf names it.
  QString currentPage() const;
  void ShowPage(const QString& page);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Filter(const QString& text);
  void FindNext();
  QTextBrowser* browser_;
  QListWidget* contents_;
  QLineEdit* search_;
};

}  // namespace kinvar::gui
