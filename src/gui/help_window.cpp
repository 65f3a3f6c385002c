#include "gui/help_window.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "analyses/command_ids.h"
#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"
#include "app/command_declarations.h"
#include "app/commands.h"
#include "app/manual.h"

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
    {"Report", "Double-click an error", "",
     "Open the pedigree file, read only, at the line that a validation error names"},
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

namespace {

constexpr const char* kScheme = "kinvar-manual";
constexpr const char* kKeysPage = "keys";

// Pages live under kinvar-manual:/NAME.md, so the browser resolves the links
// between them ("../options.md") and keeps its own history.
QUrl PageUrl(const QString& page) {
  return QUrl(QStringLiteral("%1:/%2.%3").arg(QLatin1String(kScheme), page,
                                                page == QLatin1String(kKeysPage) ? "html" : "md"));
}

QString PageOf(const QUrl& url) {
  QString path = url.path();
  if (path.startsWith(QLatin1Char('/'))) path.remove(0, 1);
  return path.section(QLatin1Char('.'), 0, 0);
}

// The browser reads the pages the program carries, never files.
class ManualBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

  QVariant loadResource(int type, const QUrl& name) override {
    if (name.scheme() != QLatin1String(kScheme)) return QTextBrowser::loadResource(type, name);
    const QString page = PageOf(name);
    if (page == QLatin1String(kKeysPage)) return HelpHtml();
    const ManualPage* found = FindManualPage(page.toStdString());
    return found ? Q(ManualForDesktop(*found)) : QStringLiteral("# Not found\n\nThe manual has no page %1.").arg(page);
  }
};

struct CommandPage {
  std::int32_t command;
  const char* page;
};

// The pages of the commands that declare no parameters; a declared command's
// page is found by its name.
constexpr CommandPage kCommandPages[] = {
    {kCmdFileOpen, "pedigree-file"},
    {kCmdCompute, "commands/inbreeding"},
    {kCmdRecompute, "commands/recompute-inbreeding"},
    {kCmdAverageBetweenGroups, "commands/average-between-groups"},
    {kCmdAverageRelatedness, "commands/average-relatedness"},
    {kCmdInverseA, "commands/inverse"},
    {kCmdInverseWithGroups, "commands/inverse"},
    {kCmdInverseWithMetafounders, "commands/inverse"},
    {kCmdGenomicRelationship, "commands/genomic-relationship"},
    {kCmdGenomicInbreeding, "commands/genomic-inbreeding"},
    {kCmdHInverse, "commands/hinverse"},
    {kCmdParentage, "commands/parentage"},
    {kCmdXLinked, "commands/x-linked"},
    {kCmdMatrixT, "commands/matrix-t"},
    {kCmdDii, "commands/dii"},
    {kCmdRecoding, "commands/recode"},
    {kCmdStructure, "commands/structure"},
    {kCmdOptimizeMatings, "commands/optimize-matings"},
    {kCmdPlannedMating, "commands/mating"},
    {kCmdGenotypeQc, "commands/genotype-qc"},
    {kCmdOptions, "options"},
    {kCmdViewPedigree, "commands/view"},
    {kCmdViewPedigreeChart, "commands/chart"},
    {kCmdViewPedigreeCertificate, "commands/certificate"},
    {kCmdDrawAncestorsIndividual, "commands/draw"},
    {kCmdDrawAncestorsGroup, "commands/draw"},
    {kCmdDrawDescendantsIndividual, "commands/draw"},
    {kCmdDrawDescendantsGroup, "commands/draw"},
    {kCmdChartTrends, "commands/plot"},
    {kCmdChartFDistribution, "commands/plot"},
    {kCmdChartFounders, "commands/plot"},
    {kCmdChartGroupHeatMap, "commands/plot"},
    {kCmdChartMatings, "commands/plot"},
    {kCmdChartPurging, "commands/plot"},
    {kCmdChartContributions, "commands/charts-optimum-contributions"},
    {kCmdChartGenomicInbreeding, "commands/genomic-inbreeding"},
};

QPushButton* ToolButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  button->setEnabled(false);
  return button;
}

}  // namespace

QString HelpPageOf(std::int32_t command) {
  for (const CommandPage& entry : kCommandPages)
    if (entry.command == command) return QLatin1String(entry.page);
  // A declared command's page bears its name.
  if (const auto declared = FindDeclaration(command)) return QString::fromStdString("commands/" + declared->name);
  return QStringLiteral("index");
}

HelpWindow::HelpWindow(QWidget* parent, const QString& page)
    : QDialog(parent),
      browser_(new ManualBrowser(this)),
      contents_(new QListWidget(this)),
      search_(new QLineEdit(this)) {
  setWindowTitle(tr("Kinvar Help"));
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(false);
  // The contents first, then the topics, then the commands.
  for (const int pass : {0, 1, 2}) {
    for (const ManualPage& manual : ManualPages()) {
      const int rank = manual.name == "index" ? 0 : manual.name.find('/') == std::string_view::npos ? 1 : 2;
      if (rank != pass) continue;
      auto* item = new QListWidgetItem(Q(DesktopTitle(manual)), contents_);
      item->setData(Qt::UserRole, Q(manual.name));
    }
  }
  auto* keys = new QListWidgetItem(tr("Menus and keys"), contents_);
  keys->setData(Qt::UserRole, QLatin1String(kKeysPage));
  search_->setPlaceholderText(tr("Search the manual"));
  search_->setClearButtonEnabled(true);

  auto* back = ToolButton(tr("< Back"), this);
  auto* forward = ToolButton(tr("Forward >"), this);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
  connect(contents_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toString()); });
  connect(contents_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toString()); });
  connect(search_, &QLineEdit::textChanged, this, &HelpWindow::Filter);
  connect(search_, &QLineEdit::returnPressed, this, &HelpWindow::FindNext);

  auto* top = new QHBoxLayout;
  top->addWidget(back);
  top->addWidget(forward);
  top->addWidget(search_, 1);
  auto* splitter = new QSplitter(this);
  splitter->addWidget(contents_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({230, 590});
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);
  resize(860, 640);
  ShowPage(page);
}

QString HelpWindow::currentPage() const { return PageOf(browser_->source()); }

// Enter belongs to the search box: the dialog would take it for its Close
// button and shut the manual in the reader's face.
void HelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (search_->hasFocus()) FindNext();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// The next place that holds the first word typed: further on the page on
// screen, else on the next page found (from the top of the list again).
void HelpWindow::FindNext() {
  const QString word = search_->text().split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0);
  if (word.isEmpty()) return;
  int at = -1;
  for (int i = 0; i < contents_->count(); ++i)
    if (contents_->item(i)->data(Qt::UserRole).toString() == currentPage()) at = i;
  if (at >= 0 && !contents_->item(at)->isHidden() && browser_->find(word)) return;
  for (int step = 1; step <= contents_->count(); ++step) {
    QListWidgetItem* item = contents_->item((at + step) % contents_->count());
    if (item->isHidden()) continue;
    contents_->setCurrentItem(item);
    ShowPage(item->data(Qt::UserRole).toString());
    browser_->find(word);
    return;
  }
}

void HelpWindow::ShowPage(const QString& page) {
  browser_->setSource(PageUrl(page), page == QLatin1String(kKeysPage) ? QTextDocument::HtmlResource
                                                                     : QTextDocument::MarkdownResource);
}

// The pages that hold every word typed, in any letter case.
void HelpWindow::Filter(const QString& text) {
  const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (int i = 0; i < contents_->count(); ++i) {
    QListWidgetItem* item = contents_->item(i);
    const QString page = item->data(Qt::UserRole).toString();
    const ManualPage* manual = FindManualPage(page.toStdString());
    const QString body = manual ? Q(manual->text) : HelpHtml();
    bool all = true;
    for (const QString& word : words) all = all && body.contains(word, Qt::CaseInsensitive);
    item->setHidden(!all);
  }
}

}  // namespace kinvar::gui
