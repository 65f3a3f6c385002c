// The report view: the report store line by line in a fixed-pitch font with
// the markup's columns and colours, scrolled in pixels, with the printed page
// boundaries dotted under every page's last line; and the printing of the
// report with a two-line page header.
//
// Only the lines inside the exposed rectangle are laid out and drawn, so a
// full store scrolls as quickly as a short report. Line indexes count from 0;
// -1 is "no selected line". Lines per page come from the view's printer: the
// default printer, or with none installed the default page of a PDF printer.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <memory>

class QLabel;
class QMenu;
class QPrinter;

namespace kinvar {
class CKinvarDoc;
}

namespace kinvar::gui {

class CKinvarView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kLeftMargin = 24;
  static constexpr int kTopMargin = 0;
  // Print units are twips (1/1440 inch), and the printed body is the screen
  // font scaled by kPrintScale.
  static constexpr int kPrintScale = 12;
  static constexpr int kPrintTopMargin = 960;
  static constexpr int kPrintLeftMargin = 672;

  explicit CKinvarView(const CKinvarDoc& doc, QWidget* parent = nullptr);
  ~CKinvarView() override;

  // After every command: drops the selection, sizes the scroll range to the
  // report and scrolls to the top.
  void OnUpdate();
  void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

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
  int selectedLine() const { return selected_; }
  // The estimate of the Parts' formula for a printer's page height.
  int LinesPerPageFor(const QPrinter& printer) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int LineCount() const;
  void UpdateScrollSizes();
  void UpdatePages();
  int LineAt(int y) const;
  void SelectLine(int line, bool toggle);
  void UpdateLine(int line);
  void ShowPageCounter(int thumb);
  void PrintPage(QPainter& painter, const QPrinter& printer, int page, bool colour);

  const CKinvarDoc& doc_;
  QFont screenFont_;
  QFont headerFont_;
  int lineHeight_ = 16;
  int charWidth_ = 8;
  int printLineHeight_ = 35;
  int linesPerPage_ = 0;
  int pageCount_ = 0;
  int reportWidth_ = 0;
  int selected_ = -1;
  QString printTimestamp_;
  std::unique_ptr<QPrinter> printer_;
  QLabel* pageCounter_;
  QPoint counterAt_;
  QMenu* contextMenu_ = nullptr;
};

}  // namespace kinvar::gui
