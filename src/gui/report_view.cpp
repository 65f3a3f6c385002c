#include "gui/report_view.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStringList>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <string>
#include <vector>
#include <cmath>

#include "app/document.h"
#include "gui/line_renderer.h"
#include "gui/report_hints.h"
#include "report/markup.h"
#include "report/report_copy_file.h"
#include "report/timestamp.h"

namespace kinvar::gui {

namespace {

const QColor kEmptyGrey(128, 128, 128);
const QColor kSelectedGrey(180, 180, 180);

// Reports are laid out for 44 columns at least, so short ones still scroll
// sideways in a narrow window.
constexpr int kMinimumColumns = 44;

QFont ScreenFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(13);
  return font;
}

QFont HeaderFont() {
  QFont font(QStringLiteral("Times New Roman"));
  font.setStyleHint(QFont::Serif);
  font.setUnderline(true);
  return font;
}

int CeilDiv(int count, int per) {
  return per <= 0 ? 0 : static_cast<int>(std::ceil(static_cast<double>(count) / per));
}

// Scroll bar values are ints: a report taller than this in pixels scrolls in
// whole lines instead.
constexpr std::int64_t kMostPixels = INT_MAX / 2;

// Whether a report line, as the view shows it, holds the text, ignoring
// case. Long reports are searched line by line, so ASCII lines (nearly all)
// are compared without building a QString.
class LineMatcher {
 public:
  explicit LineMatcher(const QString& text) : text_(text) {
    ascii_ = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii_) return;
    lower_ = Lower(text.toStdString());
    // Blanks and asterisks may come from the layout; the rest of the text
    // comes from the line's own characters, piece by piece.
    std::size_t begin = 0;
    while ((begin = lower_.find_first_not_of(" *", begin)) != std::string::npos) {
      const std::size_t end = std::min(lower_.find_first_of(" *", begin), lower_.size());
      pieces_.push_back(lower_.substr(begin, end - begin));
      begin = end;
    }
  }
  bool Matches(std::string_view line) const {
    if (!ascii_) return PlainText(line).contains(text_, Qt::CaseInsensitive);
    if (!PiecesPresent(line)) return false;
    std::string shown = LayOutLine(line).text;
    if (!std::all_of(shown.begin(), shown.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return PlainText(line).contains(text_, Qt::CaseInsensitive);
    // Trailing blanks are no part of the shown line.
    shown.erase(shown.find_last_not_of(' ') + 1);
    return Lower(std::move(shown)).find(lower_) != std::string::npos;
  }

 private:
  // A quick necessary condition: a line without the codes holds every
  // piece. Codes are a "|" and a letter, a "|T" and the character after it.
  bool PiecesPresent(std::string_view line) const {
    std::string text;
    text.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
      if (line[i] != '|') {
        text.push_back(line[i++]);
        continue;
      }
      const bool tab = i + 1 < line.size() && line[i + 1] == 'T';
      i += tab ? 3 : 2;
    }
    text = Lower(std::move(text));
    return std::all_of(pieces_.begin(), pieces_.end(), [&](const std::string& piece) {
      return text.find(piece) != std::string::npos;
    });
  }
  static std::string Lower(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  }
  QString text_;
  std::string lower_;
  std::vector<std::string> pieces_;
  bool ascii_ = false;
};

// The wait cursor for as long as the object lives.
struct WaitCursor {
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

QPoint PlaceInside(QPoint wanted, QSize size, const QRect& visible) {
  const int x = std::max(visible.left(), std::min(wanted.x(), visible.right() + 1 - size.width()));
  const int y =
      std::max(visible.top(), std::min(wanted.y(), visible.bottom() + 1 - size.height()));
  return {x, y};
}

ReportView::ReportView(const Document& doc, QWidget* parent)
    : QAbstractScrollArea(parent),
      doc_(doc),
      screenFont_(ScreenFont()),
      headerFont_(HeaderFont()),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      pageCounter_(new QLabel(this, Qt::ToolTip)),
      helpHint_(new QLabel(viewport())) {
  const QFontMetrics metrics(screenFont_);
  lineHeight_ = metrics.height() + metrics.leading() + (metrics.leading() == 0 ? 2 : 0);
  charWidth_ = metrics.averageCharWidth();
  printLineHeight_ = static_cast<int>(lineHeight_ * 2.19);
  linesPerPage_ = LinesPerPageFor(*printer_);
  viewport()->setFont(screenFont_);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);

  pageCounter_->setStyleSheet(
      "QLabel { background: rgb(255,255,200); color: black; border: 1px solid black;"
      " padding: 1px 4px; }");
  pageCounter_->hide();
  // Drawn over the view, not written into the report: its lines, saved files
  // and printouts stay as they are.
  helpHint_->setText(QStringLiteral("<a href=\"help\">Help: F1</a>"));
  helpHint_->setObjectName(QStringLiteral("helpHint"));
  helpHint_->setToolTip(tr("What this report's lines and columns mean"));
  helpHint_->setFont(screenFont_);
  helpHint_->setStyleSheet(QStringLiteral("QLabel { background: white; padding: 0px 6px; }"));
  connect(helpHint_, &QLabel::linkActivated, this, [this] { emit helpRequested(); });
  helpHint_->hide();
  QScrollBar* bar = verticalScrollBar();
  connect(bar, &QScrollBar::sliderPressed, this, [this] {
    counterAt_ = QCursor::pos() + QPoint(12, 12);
    ShowPageCounter(verticalScrollBar()->sliderPosition());
  });
  connect(bar, &QScrollBar::sliderMoved, this, &ReportView::ShowPageCounter);
  connect(bar, &QScrollBar::sliderReleased, pageCounter_, &QLabel::hide);
  OnUpdate();
}

ReportView::~ReportView() = default;

ShownReport ReportView::Shown() const {
  return ShownReport(doc_.pedigree().report, doc_.pedigree().copyFile);
}

int ReportView::LineCount() const {
  return static_cast<int>(std::min<std::int64_t>(Shown().Count(), INT_MAX - 1));
}

int ReportView::StoreCount() const { return doc_.pedigree().report.Count(); }

std::int64_t ReportView::ScrollTop() const {
  return static_cast<std::int64_t>(verticalScrollBar()->value()) * scrollUnit_;
}

void ReportView::SetScrollTop(std::int64_t pixels) {
  verticalScrollBar()->setValue(static_cast<int>(pixels / scrollUnit_));
}

int ReportView::LinesPerPageFor(const QPrinter& printer) const {
  const double heightMm = printer.pageLayout().paintRect(QPageLayout::Millimeter).height();
  const int tenths = static_cast<int>(heightMm * 10);
  return std::max(0, (tenths - 8 * printLineHeight_) / printLineHeight_);
}

void ReportView::UpdatePages() { pageCount_ = CeilDiv(LineCount(), linesPerPage_); }

void ReportView::OnUpdate() {
  const bool hadSelection = HasSelection();
  anchor_ = -1;
  selected_ = -1;
  pressed_ = -1;
  UpdatePages();
  int columns = kMinimumColumns;
  const ReportStore& report = doc_.pedigree().report;
  // A report longer than the store is sized by the lines the store kept, its
  // first; a wider line further on widens the view when it is drawn.
  const int sized = Shown().FromCopyFile() ? ReportStore::kCapacity : report.Count();
  if (doc_.lastCommand() != kNoPedigree)
    for (int i = 0; i < sized; ++i) columns = std::max(columns, LaidOutLength(report.Line(i)));
  reportWidth_ = doc_.lastCommand() == kNoPedigree ? 0 : columns * charWidth_ + 4 * kLeftMargin;
  UpdateScrollSizes();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  const std::int32_t last = doc_.lastCommand();
  helpHint_->setVisible(LineCount() > 0 && last != kNoPedigree && last != kCmdNone);
  PlaceHelpHint();
  viewport()->update();
  if (hadSelection) emit selectionChanged();
}

void ReportView::UpdateScrollSizes() {
  const QSize client = viewport()->size();
  const int pageHeight = std::max(lineHeight_, client.height() / lineHeight_ * lineHeight_);
  const std::int64_t height =
      doc_.lastCommand() == kNoPedigree
          ? 0
          : (static_cast<std::int64_t>(LineCount()) + 1) * lineHeight_ + kTopMargin;
  const std::int64_t top = ScrollTop();
  scrollUnit_ = height > kMostPixels ? lineHeight_ : 1;
  const std::int64_t range = std::max<std::int64_t>(0, height - pageHeight);
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, static_cast<int>((range + scrollUnit_ - 1) / scrollUnit_));
  v->setPageStep(pageHeight / scrollUnit_);
  v->setSingleStep(lineHeight_ / scrollUnit_);
  SetScrollTop(top);
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, std::max(0, reportWidth_ - client.width()));
  h->setPageStep(client.width());
  h->setSingleStep(charWidth_);
}

void ReportView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollSizes();
  PlaceHelpHint();
}

// In the top right corner, on the header's first line.
void ReportView::PlaceHelpHint() {
  helpHint_->adjustSize();
  helpHint_->move(std::max(0, viewport()->width() - helpHint_->width() - 4), kTopMargin);
}

// The pointer resting on an abbreviation shows what it stands for.
bool ReportView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const auto [line, column] = CharacterAt(help->pos());
  const QString legend = line < 0 ? QString() : LegendAt(line, column);
  const QString meaning = line < 0 || !legend.isEmpty() ? QString() : AbbreviationAt(PlainText(Shown().Line(line)), column);
  if (!legend.isEmpty()) {
    QToolTip::showText(help->globalPos(), legend, viewport());
  } else if (meaning.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), meaning + tr("\nDouble-click: the glossary"), viewport());
  }
  return true;
}

// A lettered column's legend line stands a few lines above its heading.
QString ReportView::LegendAt(int line, int column) const {
  const ShownReport shown = Shown();
  const QChar letter = LegendLetterAt(PlainText(shown.Line(line)), column);
  if (letter.isNull()) return {};
  const QString prefix = QString(letter) + QStringLiteral(": ");
  for (int i = line - 1; i >= std::max(0, line - 12); --i) {
    const QString text = PlainText(shown.Line(i));
    if (text.startsWith(prefix)) return text.mid(prefix.size()).trimmed();
  }
  return {};
}

std::pair<int, int> ReportView::CharacterAt(const QPoint& at) const {
  const int line = LineAt(at.y(), false);
  const int column = (at.x() + horizontalScrollBar()->value() - kLeftMargin) / std::max(1, charWidth_);
  return {line, column};
}

// An abbreviation opens the glossary; any other word may be an ID, which
// the window looks up.
void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || LineCount() == 0) return;
  const auto [line, column] = CharacterAt(event->position().toPoint());
  if (line < 0) return;
  const QString text = PlainText(Shown().Line(line));
  if (const QString term = AbbreviationTextAt(text, column); !term.isEmpty()) {
    emit glossaryRequested(term);
    return;
  }
  // A refused file's report: its lines name rows of the file, not animals.
  if (doc_.lastCommand() == kRejectedPedigree) {
    pressed_ = -1;
    SetSelection(line, line);
    emit lineDoubleClicked(line);
    return;
  }
  const QString word = WordAt(text, column);
  if (!word.isEmpty()) emit individualActivated(word.toUtf8());
}

void ReportView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect exposed = event->rect();
  const int count = LineCount();
  if (count == 0) {
    painter.fillRect(exposed, kEmptyGrey);
    return;
  }
  painter.fillRect(exposed, Qt::white);
  painter.setFont(screenFont_);
  const int dx = horizontalScrollBar()->value();
  const std::int64_t dy = ScrollTop();
  auto lineAt = [&](int y) {
    return static_cast<int>(std::clamp<std::int64_t>((y + dy - kTopMargin) / lineHeight_, 0,
                                                     count - 1));
  };
  const int first = lineAt(exposed.top());
  const int last = lineAt(exposed.bottom());
  const ShownReport report = Shown();
  const auto [from, to] = selection();
  int widest = 0;
  for (int i = first; i <= last; ++i) {
    const int top = static_cast<int>(kTopMargin + std::int64_t{i} * lineHeight_ - dy);
    const bool selected = i >= from && i <= to;
    if (selected) painter.fillRect(0, top, viewport()->width(), lineHeight_, kSelectedGrey);
    const std::string line = report.Line(i);
    if (report.FromCopyFile()) widest = std::max(widest, LaidOutLength(line));
    DrawReportLine(painter, line, kLeftMargin - dx, top, true,
                   selected ? kSelectedGrey : QColor(Qt::white));
  }
  if (widest * charWidth_ + 4 * kLeftMargin > reportWidth_) {
    reportWidth_ = widest * charWidth_ + 4 * kLeftMargin;
    UpdateScrollSizes();
  }
  if (linesPerPage_ == 0) return;
  painter.setPen(Qt::black);
  for (int i = first; i <= last; ++i) {
    if ((i + 1) % linesPerPage_ != 0) continue;
    const int y = static_cast<int>(kTopMargin + (std::int64_t{i} + 1) * lineHeight_ - 1 - dy);
    for (int x = 0; x < viewport()->width(); x += 3) painter.drawPoint(x, y);
  }
}

int ReportView::LineAt(int y, bool clamp) const {
  const int count = LineCount();
  const std::int64_t line =
      std::max<std::int64_t>(0, (y + ScrollTop() - kTopMargin) / lineHeight_);
  if (line < count) return static_cast<int>(line);
  return clamp ? count - 1 : -1;
}

std::pair<int, int> ReportView::selection() const {
  if (anchor_ < 0) return {-1, -1};
  return {std::min(anchor_, selected_), std::max(anchor_, selected_)};
}

void ReportView::SetSelection(int anchor, int line) {
  if (anchor == anchor_ && line == selected_) return;
  anchor_ = line < 0 ? -1 : anchor;
  selected_ = line < 0 ? -1 : line;
  viewport()->update();
  emit selectionChanged();
}

void ReportView::SelectLines(int anchor, int line) {
  const int last = LineCount() - 1;
  if (last < 0 || anchor < 0 || line < 0) {
    SetSelection(-1, -1);
    return;
  }
  SetSelection(std::min(anchor, last), std::min(line, last));
}

void ReportView::SelectAll() { SelectLines(0, LineCount() - 1); }

QString ReportView::SelectedText() const {
  const auto [from, to] = selection();
  const ShownReport report = Shown();
  QString text;
  for (int i = from; i >= 0 && i <= to; ++i) {
    if (i != from) text += QLatin1Char('\n');
    text += PlainText(report.Line(i));
  }
  return text;
}

void ReportView::Copy() {
  if (!HasSelection()) return;
  const WaitCursor wait;
  QGuiApplication::clipboard()->setText(SelectedText());
}

int ReportView::Find(const QString& text, bool forward) {
  findWrapped_ = false;
  const int count = LineCount();
  if (text.isEmpty() || count == 0) return -1;
  const auto [from, to] = selection();
  // From the line after (before) the selection, or from the first (last)
  // line when nothing is selected.
  int start = forward ? 0 : count - 1;
  if (from >= 0) start = forward ? to + 1 : from - 1;
  const int step = forward ? 1 : -1;
  const WaitCursor wait;
  const ShownReport report = Shown();
  const LineMatcher matcher(text);
  for (int k = 0; k < count; ++k) {
    const std::int64_t raw = start + std::int64_t{k} * step;
    const int line = static_cast<int>(((raw % count) + count) % count);
    if (!matcher.Matches(report.Line(line))) continue;
    findWrapped_ = raw != line;
    SetSelection(line, line);
    ScrollToLine(line);
    return line;
  }
  return -1;
}

void ReportView::ScrollToLine(int line) {
  const std::int64_t top = kTopMargin + std::int64_t{line} * lineHeight_;
  const int height = viewport()->height();
  if (top < ScrollTop()) {
    SetScrollTop(top);
  } else if (top + lineHeight_ > ScrollTop() + height) {
    // Keep a few lines of context above the found one.
    SetScrollTop(top - std::max(0, height / 3 / lineHeight_) * lineHeight_);
  }
}

void ReportView::mousePressEvent(QMouseEvent* event) {
  const std::int32_t last = doc_.lastCommand();
  if (event->button() != Qt::LeftButton || LineCount() == 0 || last == kCmdNone ||
      last == kNoPedigree)
    return;
  const int line = LineAt(event->position().toPoint().y(), false);
  pressed_ = line;
  if (line < 0) {
    SetSelection(-1, -1);
  } else if ((event->modifiers() & Qt::ShiftModifier) && HasSelection()) {
    pressed_ = anchor_;
    SetSelection(anchor_, line);
  } else if (anchor_ == line && selected_ == line) {
    SetSelection(-1, -1);  // a second click on the one highlighted line
  } else {
    SetSelection(line, line);
  }
}

// The press before it has highlighted the line, and the second press of a
// double click must not take the highlight away again.
void ReportView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || pressed_ < 0) return;
  const int line = LineAt(event->position().toPoint().y(), true);
  // A press that removed the highlight selects again only once the pointer
  // leaves its line.
  if (!HasSelection() && line == pressed_) return;
  SetSelection(HasSelection() ? anchor_ : pressed_, line);
}

void ReportView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = -1;
  QAbstractScrollArea::mouseReleaseEvent(event);
}

void ReportView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* v = verticalScrollBar();
  QScrollBar* h = horizontalScrollBar();
  const bool vertical = v->maximum() > 0;
  const bool horizontal = h->maximum() > 0;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_PageUp: if (vertical) v->triggerAction(QScrollBar::SliderPageStepSub); break;
    case Qt::Key_PageDown: if (vertical) v->triggerAction(QScrollBar::SliderPageStepAdd); break;
    case Qt::Key_Home: if (vertical && ctrl) v->triggerAction(QScrollBar::SliderToMinimum); break;
    case Qt::Key_End: if (vertical && ctrl) v->triggerAction(QScrollBar::SliderToMaximum); break;
    case Qt::Key_Up: if (vertical) v->triggerAction(QScrollBar::SliderSingleStepSub); break;
    case Qt::Key_Down: if (vertical) v->triggerAction(QScrollBar::SliderSingleStepAdd); break;
    case Qt::Key_Left: if (horizontal) h->triggerAction(QScrollBar::SliderSingleStepSub); break;
    case Qt::Key_Right: if (horizontal) h->triggerAction(QScrollBar::SliderSingleStepAdd); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

void ReportView::wheelEvent(QWheelEvent* event) {
  QScrollBar* v = verticalScrollBar();
  const int delta = event->angleDelta().y();
  if (v->maximum() > 0 && delta != 0)
    v->triggerAction(delta > 0 ? QScrollBar::SliderSingleStepSub
                               : QScrollBar::SliderSingleStepAdd);
  event->accept();
}

void ReportView::ShowPageCounter(int thumb) {
  if (linesPerPage_ == 0) return;
  const std::int64_t pixels = std::int64_t{thumb} * scrollUnit_ + 1;
  const int page = static_cast<int>((pixels + std::int64_t{lineHeight_} * linesPerPage_ - 1) /
                                    (std::int64_t{lineHeight_} * linesPerPage_));
  pageCounter_->setText(QStringLiteral("Page %1 of %2").arg(page).arg(pageCount_));
  pageCounter_->adjustSize();
  pageCounter_->show();
  // Inside the view, and so on the screen even in a maximised window; the
  // size with the window's frame is known once it is shown.
  QRect visible(mapToGlobal(QPoint(0, 0)), size());
  if (const QScreen* shown = screen()) visible &= shown->availableGeometry();
  pageCounter_->move(PlaceInside(counterAt_, pageCounter_->frameSize(), visible));
  pageCounter_->raise();
}

void ReportView::contextMenuEvent(QContextMenuEvent* event) {
  if (contextMenu_ == nullptr) return;
  contextMenu_->exec(event->globalPos());
  viewport()->update();
}

void ReportView::OnPrint() {
  printer_->setPrintRange(QPrinter::AllPages);
  QPrintDialog dialog(printer_.get(), this);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setMinMax(1, std::max(1, CeilDiv(StoreCount(), LinesPerPageFor(*printer_))));
  if (dialog.exec() != QDialog::Accepted) return;
  PrintReport(printer_.get());
}

void ReportView::OnPrintPreview() {
  QPrintPreviewDialog preview(printer_.get(), this);
  connect(&preview, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* printer) { PrintReport(printer); });
  preview.resize(900, 700);
  preview.exec();
}

void ReportView::OnPrintSetup() {
  QPageSetupDialog dialog(printer_.get(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  linesPerPage_ = LinesPerPageFor(*printer_);
  UpdatePages();
  viewport()->update();
}

void ReportView::PrintReport(QPrinter* printer) {
  const bool colour = printer->colorMode() == QPrinter::Color;
  const int perPage = LinesPerPageFor(*printer);
  const int pages = CeilDiv(StoreCount(), perPage);
  printTimestamp_ = QString::fromStdString(FormatTimestamp(CurrentLocalTime()));
  int from = 1;
  int to = pages;
  if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
    from = std::max(1, printer->fromPage());
    to = std::min(pages, printer->toPage() > 0 ? printer->toPage() : pages);
  }
  if (pages == 0 || from > to) return;
  QPainter painter;
  if (!painter.begin(printer)) return;
  for (int page = from; page <= to; ++page) {
    if (page != from) printer->newPage();
    PrintPage(painter, *printer, page, colour);
  }
  painter.end();
}

void ReportView::PrintPage(QPainter& painter, const QPrinter& printer, int page, bool colour) {
  // Twips to device pixels.
  const double unit = printer.resolution() / 1440.0;
  auto px = [unit](double twips) { return static_cast<int>(std::lround(twips * unit)); };
  const int perPage = LinesPerPageFor(printer);
  const int pages = CeilDiv(StoreCount(), perPage);
  const int step = px(kPrintScale * lineHeight_);
  const int left = px(kPrintLeftMargin);
  const int top = px(kPrintTopMargin);

  QFont header = headerFont_;
  header.setPixelSize(std::max(1, px(kPrintScale * 16)));
  painter.setFont(header);
  painter.setPen(Qt::black);
  const int headerAscent = QFontMetrics(header, &printer).ascent();
  painter.drawText(left, top - 3 * step + headerAscent,
                   QStringLiteral("%1    (Page %2 of %3)").arg(printTimestamp_).arg(page).arg(pages));
  painter.drawText(left, top - 2 * step + headerAscent,
                   QStringLiteral("Pedigree file name: %1")
                       .arg(QString::fromStdString(doc_.path())));

  QFont body = screenFont_;
  body.setPixelSize(std::max(1, px(kPrintScale * screenFont_.pixelSize())));
  painter.setFont(body);
  const ReportStore& report = doc_.pedigree().report;
  const int first = (page - 1) * perPage;
  const int end = std::min(page * perPage, report.Count());
  for (int i = first; i < end; ++i)
    DrawReportLine(painter, report.Line(i), left, top + (i - first) * step, colour,
                   QColor(Qt::white));
}

}  // namespace kinvar::gui
