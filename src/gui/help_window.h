// Help › Contents (F1): every command of the menus with its keys and what it
// does, then the keys and mouse actions of the report view, all taken from
// the command table so the window cannot drift from the menus.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

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

class CHelpDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CHelpDlg(QWidget* parent = nullptr);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace kinvar::gui
