// The report view: the report store line by line in a fixed-pitch font with
// the markup's columns and colours, scrolled in pixels, with the printed page
// boundaries dotted under every page's last line; a selection of whole lines
// that copies as plain text; finding text; and the printing of the report
// with a two-line page header.
//
// A report longer than the store is shown whole, its lines read from the
// report copy file on demand. Only the lines inside the exposed rectangle
// are read, laid out and drawn, so a report of millions of lines opens and
// scrolls as quickly as a short one. Line indexes count from 0;
// -1 is "no selected line". The selection runs from an anchor (where the
// click was) to the line under the pointer, in either direction. Lines per page come from the view's printer: the
// default printer, or with none installed the default page of a PDF printer.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <utility>

class QLabel;
class QMenu;
class QPrinter;
class QRect;
class QSize;

namespace kinvar {
class Document;
class ShownReport;
}

namespace kinvar::gui {

// Where a pop-up of `size` goes when it would like to be at `wanted`: moved
// left and up as far as needed to lie inside `visible`, but never past its
// left or top edge.
QPoint PlaceInside(QPoint wanted, QSize size, const QRect& visible);

class ReportView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kLeftMargin = 24;
  static constexpr int kTopMargin = 0;
  // Print units are twips (1/1440 inch), and the printed body is the screen
  // font scaled by kPrintScale.
  static constexpr int kPrintScale = 12;
  static constexpr int kPrintTopMargin = 960;
  static constexpr int kPrintLeftMargin = 672;

  explicit ReportView(const Document& doc, QWidget* parent = nullptr);
  ~ReportView() override;

  // After every command: drops the selection, sizes the scroll range to the
  // report and scrolls to the top.
  void OnUpdate();
  void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

  // The first and last selected line, both -1 without a selection.
  std::pair<int, int> selection() const;
  bool HasSelection() const { return anchor_ >= 0; }
  void SelectLines(int anchor, int line);
  void SelectAll();
  // The selected lines as the view shows them (markup removed, columns laid
  // out, trailing blanks dropped), joined with "\n"; "" without a selection.
  QString SelectedText() const;
  // Puts SelectedText() on the clipboard; a copy with nothing selected
  // leaves the clipboard alone.
  void Copy();
  // The next (or previous) line after (before) the selection's anchor that
  // holds `text`, ignoring case, going round the report's end; -1 when no
  // line holds it. A found line is selected and scrolled into view.
  int Find(const QString& text, bool forward);
  // True when the last Find went round the end of the report.
  bool findWrapped() const { return findWrapped_; }
  QLabel* pageCounter() const { return pageCounter_; }

  void OnPrint();
  void OnPrintPreview();
  void OnPrintSetup();
  // Prints the printer's page range (all pages when it has none).
  void PrintReport(QPrinter* printer);

  QPrinter& printer() { return *printer_; }
  int lineHeight() const { return lineHeight_; }
  int charWidth() const { return charWidth_; }
  int linesPerPage() const { return linesPerPage_; }
  int pageCount() const { return pageCount_; }
  // The line of the last click or find, -1 for none.
  int selectedLine() const { return selected_; }
  // Lines per page for a printer: (page height in tenths of a millimetre
  // - 8 print line heights) / print line height, an estimate that keeps the
  // screen's page boundaries where the printed pages end.
  int LinesPerPageFor(const QPrinter& printer) const;

 // The link-like "Help: F1" the view shows over a report's header.
  QLabel* helpHint() const { return helpHint_; }

 signals:
  void selectionChanged();
  // The reader asked what the report on screen means.
  void helpRequested();
  // A double click on an abbreviation: its entry in the glossary.
  void glossaryRequested(const QString& term);
  // A double click on a word that may be an individual's ID (the bytes as
  // the report shows them); the window offers its commands if it is one.
  void individualActivated(const QByteArray& id);
  // A double click on report line `line`, which stays highlighted.
  void lineDoubleClicked(int line);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void PlaceHelpHint();
  // The plain line and character under a point of the viewport; line -1
  // where there is none.
  std::pair<int, int> CharacterAt(const QPoint& at) const;
  // The legend of the lettered column under `column` of `line`, or "".
  QString LegendAt(int line, int column) const;
  // The report as shown: every line of a report longer than the store.
  ShownReport Shown() const;
  int LineCount() const;
  // Printing prints the store, as Save As of most reports writes it.
  int StoreCount() const;
  // The pixel at the top of the viewport, and scrolling there.
  std::int64_t ScrollTop() const;
  void SetScrollTop(std::int64_t pixels);
  void UpdateScrollSizes();
  void UpdatePages();
  // The line at a viewport y, -1 below the last line; `clamp` gives the
  // last line there instead.
  int LineAt(int y, bool clamp) const;
  void SetSelection(int anchor, int line);
  void ScrollToLine(int line);
  void ShowPageCounter(int thumb);
  void PrintPage(QPainter& painter, const QPrinter& printer, int page, bool colour);

  const Document& doc_;
  QFont screenFont_;
  QFont headerFont_;
  int lineHeight_ = 16;
  int charWidth_ = 8;
  int printLineHeight_ = 35;
  int linesPerPage_ = 0;
  int pageCount_ = 0;
  int reportWidth_ = 0;
  // Pixels per vertical scroll bar step: 1, or a line height for reports
  // too tall for the bar's int range.
  int scrollUnit_ = 1;
  int anchor_ = -1;
  int selected_ = -1;
  // The line a left-button press landed on while the button is down.
  int pressed_ = -1;
  bool findWrapped_ = false;
  QString printTimestamp_;
  std::unique_ptr<QPrinter> printer_;
  QLabel* pageCounter_;
  QLabel* helpHint_;
  QPoint counterAt_;
  QMenu* contextMenu_ = nullptr;
};

}  // namespace kinvar::gui
