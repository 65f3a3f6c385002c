#include "gui/help_window.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/commands.h"

namespace kinvar::gui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Step() { return QStringLiteral(" \u203a "); }

// The report view's mouse actions and scrolling keys, which are no commands.
std::vector<HelpRow> ViewActions() {
  return {
      {"Report", "Click a line", "", "Highlight the line; a second click removes the highlight"},
    {"Report", "Drag, or Shift+click", "", "Select the lines from the first click to here"},
    {"Report", "Right click", "",
     "Copy, Select All and Find, the Tools menu, View Pedigree, Save and Print"},
    {"Report", "Scroll by a line", "Up, Down", "Also the mouse wheel"},
    {"Report", "Scroll sideways", "Left, Right", "By one character"},
    {"Report", "Scroll by a page", "Page Up, Page Down",
     "Dragging the scroll box shows the page you are on"},
    {"Report", "Top, end", "Ctrl+Home, Ctrl+End", "Go to the first or the last line"},
    {"Find bar", "Next, previous", "Enter, Shift+Enter",
     "Find the next or previous line; the search goes on from the other end"},
    {"Find bar", "Close", "Escape", "Close the find bar and go back to the report"},
  };
}

}  // namespace

QString CommandPrompt(const Command& command) {
  if (!command.prompt.empty()) return Q(command.prompt);
  switch (command.id) {
    case kCmdPrintSetup: return QStringLiteral("Change the printer, the page size and orientation");
    case kCmdRecentFile: return QStringLiteral("Open one of the last four files");
    case kCmdExit: return QStringLiteral("Quit the program; asks first when a pedigree is open");
    case kCmdViewToolbar: return QStringLiteral("Show or hide the toolbar");
    case kCmdViewStatusBar: return QStringLiteral("Show or hide the status bar");
    default: return {};
  }
}

QString PlainMenuText(QString text) {
  text = text.section(QLatin1Char('\t'), 0, 0);
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    // "&&" stands for one ampersand.
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

std::vector<HelpRow> HelpRows() {
  std::vector<HelpRow> rows;
  auto add = [&rows](const Command& c) {
    QString where = PlainMenuText(Q(c.menu));  // a submenu's name may mark its key
    where.replace(QLatin1Char('>'), Step());
    rows.push_back({where, PlainMenuText(Q(c.text)), Q(c.accelerator), CommandPrompt(c)});
  };
  for (const Command& c : Commands()) add(c);
  for (const Command& c : ViewCommands()) add(c);
  for (const HelpRow& row : ViewActions()) rows.push_back(row);
  return rows;
}

QString HelpHtml() {
  QString html = QStringLiteral(
      "<h2>Kinvar</h2>"
      "<p>Open a pedigree file with File &rsaquo; Open, then run the analyses from the Tools "
      "menu, the toolbar or the report's right-click menu. A command is greyed out while it "
      "does not apply: no pedigree, no Group column, or its report already on screen.</p>");
  QString section;
  for (const HelpRow& row : HelpRows()) {
    const QString top = row.where.section(Step(), 0, 0);
    if (top != section) {
      if (!section.isEmpty()) html += QStringLiteral("</table>");
      section = top;
      html += QStringLiteral("<h3>%1</h3><table cellspacing=\"0\" cellpadding=\"3\">")
                  .arg(top == QLatin1String("Report") ? QStringLiteral("The report")
                                                      : top.toHtmlEscaped());
    }
    const QString path = row.where.section(Step(), 1);
    const QString what = path.isEmpty() ? row.what : path + Step() + row.what;
    html += QStringLiteral("<tr><td><b>%1</b></td><td nowrap><tt>%2</tt></td><td>%3</td></tr>")
                .arg(what.toHtmlEscaped(), row.keys.toHtmlEscaped(), row.prompt.toHtmlEscaped());
  }
  return html + QStringLiteral("</table>");
}

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setWindowTitle(tr("Kinvar Help"));
  browser_->setHtml(HelpHtml());
  browser_->setOpenLinks(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addWidget(buttons);
  resize(820, 640);
}

}  // namespace kinvar::gui
