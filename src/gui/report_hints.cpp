#include "gui/report_hints.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <iterator>

namespace kinvar::gui {

namespace {

struct Abbreviation {
  const char* text;
  const char* meaning;
};

// Longer forms first, so "Delta GD" wins over "GD" and "v1" over "v".
constexpr Abbreviation kAbbreviations[] = {
    {"No. of dis. gen. equiv.",
     "Number of discrete generation equivalents (equivalent complete generations): each known "
     "ancestor counts (1/2)^n, n generations back"},
    {"No. of dis. gen.", "Number of discrete generation equivalents (equivalent complete generations)"},
    {"No.", "Number"},
    {"no.", "Number"},
    {"Longest ancestral path", "Generations on the longest line back to a founder"},
    {"Delta GD", "Change of the reference's gene diversity if the pair had one offspring"},
    {"Delta F", "Rate of inbreeding: the increase in F per generation"},
    {"MK difference", "Difference of the mates' mean kinships"},
    {"MK sire", "Mean kinship of the sire with the reference population"},
    {"MK dam", "Mean kinship of the dam with the reference population"},
    {"NCAs", "Nodal common ancestors: common ancestors of sire and dam where the paths meet"},
    {"LAP", "Longest ancestral path, in generations"},
    {"equiv.", "Equivalent complete generations"},
    {"dii", "Within-family segregation variance, the D of A = TDT'"},
    {"TDT'", "A = TDT': T the fractions of genes that pass from ancestors to descendants, D the within-family segregation variances"},
    {"N =", "Number of nodal common ancestors"},
    {"SD", "Standard deviation"},
    {"EBV", "Estimated breeding value"},
    {"ID", "Identifier of the individual, as the pedigree file spells it (upper case)"},
    {"fa / fe", "Effective number of ancestors over founder equivalent: well below 1 means bottlenecks"},
    {"fe", "Founder equivalent: 1/sum of the founders' squared contributions (Lacy 1989)"},
    {"fa", "Effective number of ancestors (Boichard et al. 1997)"},
    {"fg", "Founder genome equivalent: 1/(2 x mean coancestry) (Lacy 1989)"},
    {"Ne", "Effective population size from the individual increase in inbreeding (Gutierrez et al. 2008)"},
    {"MK", "Mean kinship: average coancestry with every member, itself included"},
    {"GD", "Gene diversity: 1 - mean coancestry"},
    {"Fa", "Ancestral inbreeding (Ballou 1997)"},
    {"nan", "Not a number: no individual was left to estimate from"},
    {"inf", "Infinite: no increase in inbreeding at all"},
    {"v1", "The founder's contribution to the group's average inbreeding"},
    {"v2", "The founder's contribution to the group's average coancestry"},
    {"F", "Inbreeding coefficient: the probability that the two alleles at a locus are identical by descent"},
    {"P", "Contribution of the nodal common ancestor to F"},
    {"g", "Purged inbreeding (Garcia-Dorado 2012)"},
    {"m", "Contribution of the ancestor's Mendelian sampling"},
    {"u", "Contribution of the ancestor's genes as a nodal common ancestor"},
    {"v", "Contribution of the founder's genes"},
    {"d", "Purging coefficient: how strongly selection removes harmful recessive alleles (Garcia-Dorado 2012)"},
};

bool WordCharacter(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// The abbreviation stands alone: no letter or digit joins it on either side.
bool StandsAlone(const QString& line, qsizetype at, qsizetype length) {
  const bool before = at == 0 || !WordCharacter(line[at - 1]);
  const bool after = at + length >= line.size() || !WordCharacter(line[at + length]);
  return before && after;
}

// The entry of the abbreviation under `column`, or nullptr.
const Abbreviation* EntryAt(const QString& line, int column) {
  if (column < 0 || column >= line.size()) return nullptr;
  for (const Abbreviation& a : kAbbreviations) {
    const QString text = QString::fromUtf8(a.text);
    for (qsizetype at = line.indexOf(text); at >= 0; at = line.indexOf(text, at + 1)) {
      if (column < at || column >= at + text.size()) continue;
      if (StandsAlone(line, at, text.size())) return &a;
    }
  }
  return nullptr;
}

}  // namespace

QChar LegendLetterAt(const QString& line, int column) {
  if (column < 0 || column >= line.size() || !line.startsWith(QLatin1String("Group "))) return {};
  const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.size() < 2) return {};
  for (qsizetype i = 1; i < words.size(); ++i)
    if (words[i].size() != 1 || !words[i][0].isUpper()) return {};
  const QChar c = line[column];
  return c.isUpper() && StandsAlone(line, column, 1) && column > 0 ? c : QChar();
}

QString WordAt(const QString& line, int column) {
  if (column < 0 || column >= line.size()) return {};
  // IDs sit between blanks, commas and the <> of the path listings.
  const auto apart = [](QChar c) {
    return c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char('<') || c == QLatin1Char('>') ||
           c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char(':');
  };
  if (apart(line[column])) return {};
  qsizetype begin = column, end = column + 1;
  while (begin > 0 && !apart(line[begin - 1])) --begin;
  while (end < line.size() && !apart(line[end])) ++end;
  return line.mid(begin, end - begin);
}

QString AbbreviationAt(const QString& line, int column) {
  const Abbreviation* a = EntryAt(line, column);
  return a == nullptr ? QString() : QString::fromUtf8(a->meaning);
}

QString AbbreviationTextAt(const QString& line, int column) {
  const Abbreviation* a = EntryAt(line, column);
  return a == nullptr ? QString() : QString::fromUtf8(a->text);
}

void ShowGlossaryEntry(QTextBrowser& browser, const QString& term) {
  QTextDocument* page = browser.document();
  QTextCursor found;
  // A plural heading ("NCAs") has its entry in the singular.
  QStringList forms{term};
  if (term.size() > 2 && term.endsWith(QLatin1Char('s'))) forms.push_back(term.chopped(1));
  for (const QString& form : forms)
    for (QTextBlock b = page->begin(); b.isValid() && found.isNull(); b = b.next()) {
      const QString text = b.text();
      if (text.startsWith(form) && (text.size() == form.size() || !WordCharacter(text[form.size()])))
        found = QTextCursor(b);
    }
  if (found.isNull()) found = page->find(term, 0, QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords);
  if (found.isNull()) return;
  // At the bottom first, so that showing the entry brings it to the top.
  QTextCursor end(page);
  end.movePosition(QTextCursor::End);
  browser.setTextCursor(end);
  browser.ensureCursorVisible();
  found.clearSelection();
  browser.setTextCursor(found);
  browser.ensureCursorVisible();
}

}  // namespace kinvar::gui
