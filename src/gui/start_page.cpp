#include "gui/start_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace kinvar::gui {

QStringList ExampleNames() {
  return {QStringLiteral("herd.pdg"), QStringLiteral("small.pdg"), QStringLiteral("herd.xlsx")};
}

QString ExampleCopy(const QString& name, const QString& folder) {
  if (!ExampleNames().contains(name) || !QDir().mkpath(folder)) return {};
  const QString path = QDir(folder).filePath(name);
  if (QFileInfo::exists(path)) return path;
  // Copied beside and renamed, so a failed copy leaves no half file.
  const QString part = path + QStringLiteral(".part");
  QFile::remove(part);
  if (!QFile::copy(QStringLiteral(":/examples/") + name, part)) return {};
  QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  if (!QFile::rename(part, path)) {
    QFile::remove(part);
    return {};
  }
  return path;
}

QString StartPageHtml(const QStringList& recent) {
  QString html = QStringLiteral(
      "<h1>Kinvar</h1>"
      "<p>Pedigree analysis: inbreeding, relationships, the origin of genes, genetic diversity "
      "and matings. Open a pedigree to begin.</p>"
      "<p><a href=\"open:\"><b>Open a pedigree...</b></a> (Ctrl+O)</p>");
  if (!recent.isEmpty()) {
    html += QStringLiteral("<h3>Recent files</h3><ul>");
    for (int i = 0; i < recent.size(); ++i)
      html += QStringLiteral("<li><a href=\"recent:%1\">%2</a></li>")
                  .arg(i)
                  .arg(QDir::toNativeSeparators(recent[i]).toHtmlEscaped());
  }
  if (!recent.isEmpty()) html += QStringLiteral("</ul>");
  html += QStringLiteral(
      "<h3>Open an example</h3><ul>"
      "<li><a href=\"example:herd.pdg\">herd</a>: a small herd over four generations in three "
      "birth-year groups</li>"
      "<li><a href=\"example:small.pdg\">small</a>: two founder lines that meet in the third "
      "generation</li>"
      "<li><a href=\"example:herd.xlsx\">herd.xlsx</a>: the herd as a spreadsheet</li></ul>"
      "<h3>Help</h3><p><a href=\"help:getting-started\">Getting started</a>: open an example, "
      "compute inbreeding, save and print. F1 opens the manual at any time.</p>");
  return html;
}

StartPage::StartPage(StartActions actions, QWidget* parent)
    : QTextBrowser(parent), actions_(std::move(actions)) {
  setOpenLinks(false);
  setObjectName(QStringLiteral("startPage"));
  connect(this, &QTextBrowser::anchorClicked, this, &StartPage::Follow);
  SetRecent({});
}

void StartPage::SetRecent(const QStringList& recent) {
  recent_ = recent;
  setHtml(StartPageHtml(recent_));
}

void StartPage::Follow(const QUrl& link) {
  const QString what = link.path();
  if (link.scheme() == QLatin1String("open") && actions_.open) actions_.open();
  if (link.scheme() == QLatin1String("recent") && actions_.openFile) {
    const int i = what.toInt();
    if (i >= 0 && i < recent_.size()) actions_.openFile(recent_[i]);
  }
  if (link.scheme() == QLatin1String("example") && actions_.openExample) actions_.openExample(what);
  if (link.scheme() == QLatin1String("help") && actions_.help) actions_.help(what);
}

}  // namespace kinvar::gui
