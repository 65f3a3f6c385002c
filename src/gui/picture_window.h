// A window that shows one picture (a pedigree chart, ...): zoomed, panned,
// fitted, printed, copied and exported. The picture paints itself at the
// scale of the moment, so it stays sharp at every zoom and on HiDPI screens;
// nothing is rasterised until it leaves the program as an image.
//
// Zoom: Ctrl+wheel (about the pointer), Ctrl+plus and Ctrl+minus. The plain
// wheel scrolls, as in the report; dragging with the left button pans.
// The window opens fitted and stays fitted while it is resized, until the
// user zooms; a picture too large to read when fitted (a drawing of
// thousands of animals) may open at a readable zoom on a point of its own.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QMainWindow>
#include <QPageLayout>
#include <QPoint>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "analyses/pedigree_drawing.h"
#include "pictures/picture.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressDialog;
class QSpinBox;

namespace kinvar::gui {

class PictureCanvas : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr double kMinZoom = 0.02;
  static constexpr double kMaxZoom = 32.0;
  // One key press or one notch of the wheel.
  static constexpr double kZoomStep = 1.25;

  explicit PictureCanvas(pictures::Picture picture, QWidget* parent = nullptr);

  const pictures::Picture& picture() const { return picture_; }
  // Screen pixels (device independent) per logical unit of the picture.
  double zoom() const { return zoom_; }
  bool fitted() const { return fitted_; }
  // Keeps the picture's point under `anchor` (viewport coordinates) where it
  // is; the viewport's centre without one.
  void SetZoom(double zoom, std::optional<QPointF> anchor = std::nullopt);
  void ZoomIn() { SetZoom(zoom_ * kZoomStep); }
  void ZoomOut() { SetZoom(zoom_ / kZoomStep); }
  void FitToWindow();
  void ActualSize() { SetZoom(1.0); }
  // Shows another picture in place of this one, fitted.
  void SetPicture(pictures::Picture picture);
  // Where the picture's top-left corner is in the viewport.
  QPointF Origin() const;
  // Zooms to `zoom` with the picture's `point` in the middle of the view.
  void CentreOn(QPointF point, double zoom);
  // The view a window opens with: kept through the resizes of its showing
  // until the user zooms, fits or pans.
  void SetOpeningView(QPointF point, double zoom);
  // A frame drawn around this part of the picture (a found animal); none
  // without.
  void SetHighlight(std::optional<QRectF> area);
  std::optional<QRectF> highlight() const { return highlight_; }

 signals:
  void zoomChanged(double zoom);
  // A double click on an animal of the picture (its ID as the file has it).
  void individualActivated(const QByteArray& id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  double FitZoom() const;
  QSize ScaledSize() const;
  void UpdateScrollBars();

  pictures::Picture picture_;
  double zoom_ = 1.0;
  bool fitted_ = true;
  std::optional<QPoint> dragFrom_;
  std::optional<std::pair<QPointF, double>> opening_;
  std::optional<QRectF> highlight_;
};

// The size in pixels of the picture as an image (copy and PNG export): its
// proportions, as large as fits in `bounds`, at least one pixel each way.
QSize ImagePixels(const QSizeF& size, QSize bounds = pictures::kDefaultPixels);

// The picture as an image of ImagePixels on white.
QImage PictureImage(const pictures::Picture& picture);

// A picture drawn again for another value of one setting (the chart's
// generations): the window then offers a spin box for it. `draw` gives
// nothing once the data the picture came from is gone (another pedigree
// was opened): the box is then disabled and the picture stays.
struct PictureVariants {
  QString label;  // "Generations"
  int value = 0;
  int least = 0;
  int most = 0;
  std::function<std::optional<pictures::Picture>(int)> draw;
};

// A picture drawn again for another of a few named choices (the chart's
// measure): the window then offers a list of them. `draw` as above.
struct PictureChoices {
  QString label;  // "Genomic F"
  QStringList items;
  int current = 0;
  std::function<std::optional<pictures::Picture>(int)> draw;
};

class PictureWindow : public QMainWindow {
  Q_OBJECT

 public:
  // A window of its own (not modal) above `parent`, deleted when closed.
  explicit PictureWindow(pictures::Picture picture, QWidget* parent = nullptr);
  ~PictureWindow() override;

  PictureCanvas* canvas() const { return canvas_; }
  const pictures::Picture& picture() const { return canvas_->picture(); }

  // Writes the picture to `path` as PNG (of ImagePixels), SVG or PDF by its
  // extension; false with the reason in `error`.
  bool ExportTo(const QString& path, QString& error) const;
  // The picture fitted to the printable area of one page.
  bool PrintTo(QPrinter& printer) const;
  // The page File › Print starts from: A4 portrait for a picture of A4's
  // size (a certificate), else the printer's own in the picture's
  // orientation.
  QPageLayout pageLayout() const;
  void Copy() const;

  // Adds the spin box of `variants` to the window's tool bar.
  void OfferVariants(PictureVariants variants);
  QSpinBox* variantBox() const { return variantBox_; }
  // Adds the list of `choices` to the window's tool bar.
  void OfferChoices(PictureChoices choices);
  QComboBox* choiceList() const { return choiceList_; }

  // Adds a search box to the tool bar (Ctrl+F goes to it): Enter centres
  // the view on what `find` gives for the text, at `readableZoom` at least,
  // and frames it; nothing found is said beside the box.
  void OfferSearch(std::function<std::optional<QRectF>(const QString&)> find, double readableZoom);
  QLineEdit* searchBox() const { return searchBox_; }
  QLabel* searchNote() const { return searchNote_; }
  void Search(const QString& text);

  void OnExport();
  void OnPrint();
  void OnPrintPreview();

 private:
  void CreateMenus();
  void ShowZoom(double zoom);

  PictureCanvas* canvas_;
  QLabel* zoomLabel_;
  QSpinBox* variantBox_ = nullptr;
  QComboBox* choiceList_ = nullptr;
  QLineEdit* searchBox_ = nullptr;
  QLabel* searchNote_ = nullptr;
  std::function<std::optional<QRectF>(const QString&)> find_;
  double readableZoom_ = 1.0;
  std::unique_ptr<QPrinter> printer_;
};

// A picture made off the interface thread, with how its window opens.
struct LaidOutPicture {
  pictures::Picture picture;
  // Opened at `zoom` centred here where fitting the window would show the
  // picture smaller; fitted otherwise, and without a centre.
  std::optional<QPointF> centre;
  double zoom = 1.0;
  // The search box's finder (see OfferSearch); no box without one.
  std::function<std::optional<QRectF>(const QString&)> find;
  double readableZoom = 1.0;
};

// A pedigree drawing laid out by Graphviz (seconds for thousands of nodes:
// meant for a worker thread), opening readable on its start, with a search
// box over its IDs.
LaidOutPicture LaidOutDrawing(std::shared_ptr<const PedigreeDrawing> drawing);

// Shows `laidOut` in a window of its own above `parent`.
PictureWindow* OpenLaidOut(LaidOutPicture laidOut, QWidget* parent);

// Makes a picture on a worker thread (a large drawing's layout takes
// seconds) while a progress window with Cancel stands over `parent`, which
// stays painted; then opens it. Cancel abandons the job: the worker's
// result is dropped and no window opens, and so when `parent` goes first.
// The job deletes itself when it ends.
class PictureJob : public QObject {
  Q_OBJECT

 public:
  // The progress window shows once the work has run for this long.
  static constexpr int kProgressDelayMs = 300;

  PictureJob(std::function<LaidOutPicture()> work, const QString& label, QWidget* parent);
  ~PictureJob() override;

  QProgressDialog* progress() const;
  void Cancel();

 signals:
  void opened(PictureWindow* window);
  void ended(bool opened);

 private:
  void Finish(LaidOutPicture laidOut);

  QPointer<QWidget> parent_;
  // A child of `parent_` (a window-modal dialog needs one), so it may go
  // with it before this job does.
  QPointer<QProgressDialog> progress_;
  bool done_ = false;
};

}  // namespace kinvar::gui
