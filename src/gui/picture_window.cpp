#include "gui/picture_window.h"

#include "gui/main_window.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPromise>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>

#include "pictures/pedigree_certificate_picture.h"
#include "pictures/pedigree_drawing_picture.h"

namespace kinvar::gui {

using pictures::Picture;

// ---------------------------------------------------------------- canvas

PictureCanvas::PictureCanvas(Picture picture, QWidget* parent)
    : QAbstractScrollArea(parent), picture_(std::move(picture)) {
  viewport()->setCursor(Qt::OpenHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(20);
}

void PictureCanvas::SetPicture(Picture picture) {
  picture_ = std::move(picture);
  FitToWindow();
  viewport()->update();
}

QSize PictureCanvas::ScaledSize() const {
  return QSize(static_cast<int>(std::lround(picture_.size.width() * zoom_)),
               static_cast<int>(std::lround(picture_.size.height() * zoom_)));
}

// The scroll bars' own room is left out: a fitted picture needs none.
double PictureCanvas::FitZoom() const {
  if (picture_.size.isEmpty()) return 1.0;
  const QSize room = maximumViewportSize();
  const double zoom = std::min(room.width() / picture_.size.width(),
                               room.height() / picture_.size.height());
  return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void PictureCanvas::UpdateScrollBars() {
  const QSize scaled = ScaledSize();
  const QSize room = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, scaled.width() - room.width()));
  verticalScrollBar()->setRange(0, std::max(0, scaled.height() - room.height()));
  horizontalScrollBar()->setPageStep(room.width());
  verticalScrollBar()->setPageStep(room.height());
}

// A picture smaller than the viewport sits in its middle.
QPointF PictureCanvas::Origin() const {
  const QSize scaled = ScaledSize();
  const QSize room = viewport()->size();
  const double x = scaled.width() < room.width() ? (room.width() - scaled.width()) / 2.0
                                                 : -horizontalScrollBar()->value();
  const double y = scaled.height() < room.height() ? (room.height() - scaled.height()) / 2.0
                                                   : -verticalScrollBar()->value();
  return {x, y};
}

void PictureCanvas::SetZoom(double zoom, std::optional<QPointF> anchor) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  fitted_ = false;
  opening_.reset();
  const QPointF at = anchor.value_or(QRectF(viewport()->rect()).center());
  const QPointF point = (at - Origin()) / zoom_;  // in the picture's units
  zoom_ = zoom;
  UpdateScrollBars();
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(point.x() * zoom_ - at.x())));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(point.y() * zoom_ - at.y())));
  viewport()->update();
  emit zoomChanged(zoom_);
}

void PictureCanvas::CentreOn(QPointF point, double zoom) {
  const auto opening = opening_;
  SetZoom(zoom);
  opening_ = opening;
  const QSize room = viewport()->size();
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(point.x() * zoom_ - room.width() / 2.0)));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(point.y() * zoom_ - room.height() / 2.0)));
  viewport()->update();
}

void PictureCanvas::SetOpeningView(QPointF point, double zoom) {
  opening_ = {point, zoom};
  CentreOn(point, zoom);
}

void PictureCanvas::SetHighlight(std::optional<QRectF> area) {
  highlight_ = area;
  viewport()->update();
}

void PictureCanvas::FitToWindow() {
  opening_.reset();
  zoom_ = FitZoom();
  fitted_ = true;
  UpdateScrollBars();
  viewport()->update();
  emit zoomChanged(zoom_);
}

void PictureCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Mid));
  const QRectF page(Origin(), QSizeF(ScaledSize()));
  painter.fillRect(page, Qt::white);
  if (!picture_.paint) return;
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setClipRect(page);
  painter.translate(page.topLeft());
  painter.scale(zoom_, zoom_);
  picture_.paint(painter);
  if (!highlight_) return;
  // Wide enough to see at any zoom: three screen pixels, and a margin.
  const double margin = 6 / zoom_;
  painter.setPen(QPen(QColor(0xe0, 0x1b, 0x84), 3 / zoom_));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(highlight_->adjusted(-margin, -margin, margin, margin), margin, margin);
}

void PictureCanvas::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (opening_) {
    CentreOn(opening_->first, opening_->second);
    return;
  }
  if (fitted_) {
    FitToWindow();
    return;
  }
  UpdateScrollBars();
}

void PictureCanvas::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  const int delta = event->angleDelta().y();
  if (delta != 0) SetZoom(zoom_ * std::pow(kZoomStep, delta / 120.0), event->position());
  event->accept();
}

void PictureCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  dragFrom_ = event->position().toPoint();
  opening_.reset();
  viewport()->setCursor(Qt::ClosedHandCursor);
  event->accept();
}

void PictureCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !picture_.idAt) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
    return;
  }
  dragFrom_.reset();
  viewport()->setCursor(Qt::OpenHandCursor);
  const QString id = picture_.idAt((event->position() - Origin()) / zoom_);
  if (!id.isEmpty()) emit individualActivated(id.toUtf8());
  event->accept();
}

void PictureCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (!dragFrom_) {
    QAbstractScrollArea::mouseMoveEvent(event);
    return;
  }
  const QPoint now = event->position().toPoint();
  const QPoint moved = now - *dragFrom_;
  dragFrom_ = now;
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() - moved.x());
  verticalScrollBar()->setValue(verticalScrollBar()->value() - moved.y());
  event->accept();
}

void PictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragFrom_ || event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    return;
  }
  dragFrom_.reset();
  viewport()->setCursor(Qt::OpenHandCursor);
  event->accept();
}

void PictureCanvas::scrollContentsBy(int, int) { viewport()->update(); }

// ---------------------------------------------------------------- images

QSize ImagePixels(const QSizeF& size, QSize bounds) {
  if (size.isEmpty()) return bounds;
  const double scale = std::min(bounds.width() / size.width(), bounds.height() / size.height());
  return QSize(std::max(1, static_cast<int>(std::lround(size.width() * scale))),
               std::max(1, static_cast<int>(std::lround(size.height() * scale))));
}

QImage PictureImage(const Picture& picture) {
  QImage image(ImagePixels(picture.size), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  pictures::PaintFitted(picture, painter, QRectF(image.rect()));
  painter.end();
  return image;
}

// ---------------------------------------------------------------- window

namespace {

struct ExportFilter {
  const char* filter;
  const char* suffix;
};

// In the order of the dialog's list; the first is the default.
constexpr ExportFilter kExportFilters[] = {
    {"PNG image (*.png)", "png"},
    {"SVG drawing (*.svg)", "svg"},
    {"PDF document (*.pdf)", "pdf"},
};

// The title as a file name: no characters that some file systems refuse.
QString SuggestedName(const QString& title) {
  QString name = title.simplified();
  static const QString kRefused = QStringLiteral("\\/:*?\"<>|");
  for (QChar& c : name)
    if (kRefused.contains(c) || c.unicode() < 32) c = QLatin1Char('_');
  return name.isEmpty() ? QStringLiteral("picture") : name;
}

QAction* AddItem(QMenu* menu, const QString& text, QList<QKeySequence> keys) {
  QAction* act = menu->addAction(text);
  act->setShortcuts(keys);
  return act;
}

}  // namespace

PictureWindow::PictureWindow(Picture picture, QWidget* parent)
    : QMainWindow(parent, Qt::Window),
      canvas_(new PictureCanvas(std::move(picture), this)),
      zoomLabel_(new QLabel(this)),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(this->picture().title);
  setCentralWidget(canvas_);
  statusBar()->addPermanentWidget(zoomLabel_);
  connect(canvas_, &PictureCanvas::zoomChanged, this, &PictureWindow::ShowZoom);
  // The main window offers the commands for an animal double-clicked here,
  // as it does for one in the report or a table.
  if (auto* frame = qobject_cast<MainWindow*>(parent)) {
    connect(canvas_, &PictureCanvas::individualActivated, frame,
            [frame](const QByteArray& id) { frame->ShowIndividualMenu(id); });
  }
  CreateMenus();
  const QSizeF size = this->picture().size;
  printer_->setPageOrientation(size.width() > size.height() ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);
  printer_->setDocName(this->picture().title);
  const QSizeF a4 = pictures::kA4Portrait;
  if (std::abs(size.width() - a4.width()) < 1 && std::abs(size.height() - a4.height()) < 1)
    printer_->setPageSize(QPageSize(QPageSize::A4));
  // The picture at its own size where the screen has room for it.
  QSize room(1000, 700);
  if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    room = screen->availableGeometry().size() * 0.85;
  const QSize wanted = size.toSize() + QSize(40, 80);
  resize(std::clamp(wanted.width(), 480, std::max(480, room.width())),
         std::clamp(wanted.height(), 360, std::max(360, room.height())));
  canvas_->FitToWindow();
  canvas_->setFocus(Qt::OtherFocusReason);
}

PictureWindow::~PictureWindow() = default;

void PictureWindow::OfferVariants(PictureVariants variants) {
  QToolBar* bar = addToolBar(variants.label);
  bar->setMovable(false);
  bar->addWidget(new QLabel(variants.label + QStringLiteral(": "), bar));
  variantBox_ = new QSpinBox(bar);
  variantBox_->setRange(variants.least, variants.most);
  variantBox_->setValue(variants.value);
  bar->addWidget(variantBox_);
  connect(variantBox_, &QSpinBox::valueChanged, this,
          [this, draw = std::move(variants.draw)](int value) {
            std::optional<Picture> redrawn = draw(value);
            if (!redrawn) {
              variantBox_->setEnabled(false);
              return;
            }
            canvas_->SetPicture(std::move(*redrawn));
            setWindowTitle(picture().title);
            printer_->setDocName(picture().title);
          });
}

void PictureWindow::OfferChoices(PictureChoices choices) {
  QToolBar* bar = addToolBar(choices.label);
  bar->setMovable(false);
  bar->addWidget(new QLabel(choices.label + QStringLiteral(": "), bar));
  choiceList_ = new QComboBox(bar);
  choiceList_->addItems(choices.items);
  choiceList_->setCurrentIndex(choices.current);
  choiceList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  bar->addWidget(choiceList_);
  connect(choiceList_, &QComboBox::currentIndexChanged, this, [this, draw = std::move(choices.draw)](int index) {
    std::optional<Picture> redrawn = draw(index);
    if (!redrawn) {
      choiceList_->setEnabled(false);
      return;
    }
    canvas_->SetPicture(std::move(*redrawn));
    setWindowTitle(picture().title);
    printer_->setDocName(picture().title);
  });
}

void PictureWindow::OfferSearch(std::function<std::optional<QRectF>(const QString&)> find,
                                 double readableZoom) {
  find_ = std::move(find);
  readableZoom_ = readableZoom;
  QToolBar* bar = addToolBar(tr("Find"));
  bar->setMovable(false);
  bar->addWidget(new QLabel(tr("Find: "), bar));
  searchBox_ = new QLineEdit(bar);
  searchBox_->setPlaceholderText(tr("ID"));
  searchBox_->setClearButtonEnabled(true);
  searchBox_->setMaximumWidth(220);
  bar->addWidget(searchBox_);
  searchNote_ = new QLabel(bar);
  searchNote_->setContentsMargins(8, 0, 0, 0);
  bar->addWidget(searchNote_);
  connect(searchBox_, &QLineEdit::returnPressed, this, [this] { Search(searchBox_->text()); });
  auto* goToBox = new QAction(tr("&Find...\tCtrl+F"), this);
  goToBox->setShortcut(QKeySequence::Find);
  menuBar()->findChild<QMenu*>(QStringLiteral("edit"))->addAction(goToBox);
  connect(goToBox, &QAction::triggered, this, [this] {
    searchBox_->setFocus(Qt::ShortcutFocusReason);
    searchBox_->selectAll();
  });
}

void PictureWindow::Search(const QString& text) {
  if (!find_ || text.trimmed().isEmpty()) return;
  const std::optional<QRectF> found = find_(text);
  canvas_->SetHighlight(found);
  if (!found) {
    searchNote_->setText(tr("Not in this drawing"));
    return;
  }
  searchNote_->clear();
  canvas_->CentreOn(found->center(), std::max(canvas_->zoom(), readableZoom_));
}

void PictureWindow::CreateMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  connect(AddItem(file, tr("&Export Picture..."), {}), &QAction::triggered, this,
          &PictureWindow::OnExport);
  file->addSeparator();
  connect(AddItem(file, tr("&Print...\tCtrl+P"), {QKeySequence(Qt::CTRL | Qt::Key_P)}),
          &QAction::triggered, this, &PictureWindow::OnPrint);
  connect(AddItem(file, tr("Print Pre&view"), {}), &QAction::triggered, this,
          &PictureWindow::OnPrintPreview);
  file->addSeparator();
  connect(AddItem(file, tr("&Close\tCtrl+W"),
                  {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}),
          &QAction::triggered, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->setObjectName(QStringLiteral("edit"));
  connect(AddItem(edit, tr("&Copy\tCtrl+C"), {QKeySequence(Qt::CTRL | Qt::Key_C)}),
          &QAction::triggered, this, &PictureWindow::Copy);

  // Ctrl+= too: on many keyboards plus needs Shift.
  QMenu* view = menuBar()->addMenu(tr("&View"));
  connect(AddItem(view, tr("Zoom &In\tCtrl++"),
                  {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}),
          &QAction::triggered, canvas_, &PictureCanvas::ZoomIn);
  connect(AddItem(view, tr("Zoom &Out\tCtrl+-"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}),
          &QAction::triggered, canvas_, &PictureCanvas::ZoomOut);
  connect(AddItem(view, tr("&Fit to Window\tCtrl+0"), {QKeySequence(Qt::CTRL | Qt::Key_0)}),
          &QAction::triggered, canvas_, &PictureCanvas::FitToWindow);
  connect(AddItem(view, tr("&Actual Size\tCtrl+1"), {QKeySequence(Qt::CTRL | Qt::Key_1)}),
          &QAction::triggered, canvas_, &PictureCanvas::ActualSize);
}

void PictureWindow::ShowZoom(double zoom) {
  zoomLabel_->setText(tr("Zoom %1%").arg(std::lround(zoom * 100)));
}

bool PictureWindow::ExportTo(const QString& path, QString& error) const {
  return pictures::WritePicture(picture(), path, ImagePixels(picture().size), error);
}

bool PictureWindow::PrintTo(QPrinter& printer) const {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  pictures::PaintFitted(picture(), painter,
                        QRectF(0, 0, printer.width(), printer.height()));
  return painter.end();
}

QPageLayout PictureWindow::pageLayout() const { return printer_->pageLayout(); }

void PictureWindow::Copy() const { QApplication::clipboard()->setImage(PictureImage(picture())); }

void PictureWindow::OnExport() {
  QStringList filters;
  for (const ExportFilter& f : kExportFilters) filters << QString::fromLatin1(f.filter);
  QString chosenFilter = filters.front();
  QString path = QFileDialog::getSaveFileName(
      this, tr("Export Picture"), SuggestedName(picture().title) + QStringLiteral(".png"),
      filters.join(QStringLiteral(";;")), &chosenFilter);
  if (path.isEmpty()) return;
  // A name without a known extension takes the chosen filter's.
  if (!pictures::PictureFormatOf(path)) {
    const auto index = filters.indexOf(chosenFilter);
    path += QLatin1Char('.') + QString::fromLatin1(kExportFilters[std::max<qsizetype>(0, index)].suffix);
  }
  QString error;
  if (!ExportTo(path, error)) QMessageBox::warning(this, tr("Export Picture"), error);
}

void PictureWindow::OnPrint() {
  QPrintDialog dialog(printer_.get(), this);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!PrintTo(*printer_))
    QMessageBox::warning(this, tr("Print"), tr("The picture could not be printed."));
}

void PictureWindow::OnPrintPreview() {
  QPrintPreviewDialog preview(printer_.get(), this);
  connect(&preview, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* printer) { PrintTo(*printer); });
  preview.resize(900, 700);
  preview.exec();
}

// ---------------------------------------------------------------- jobs

LaidOutPicture LaidOutDrawing(std::shared_ptr<const PedigreeDrawing> drawing) {
  auto layout = std::make_shared<const pictures::DrawingLayout>(pictures::LayOutPedigreeDrawing(*drawing));
  LaidOutPicture laidOut;
  laidOut.picture = pictures::PedigreeDrawingPicture(*drawing, *layout);
  laidOut.readableZoom = pictures::ReadableDrawingZoom();
  laidOut.find = [drawing, layout](const QString& id) -> std::optional<QRectF> {
    const std::optional<std::size_t> node = pictures::FindDrawingNode(*drawing, id);
    if (!node) return std::nullopt;
    return layout->nodes[*node];
  };
  if (const std::optional<std::size_t> start = pictures::StartNode(*drawing)) {
    laidOut.centre = layout->nodes[*start].center();
    laidOut.zoom = laidOut.readableZoom;
  }
  return laidOut;
}

PictureWindow* OpenLaidOut(LaidOutPicture laidOut, QWidget* parent) {
  auto* window = new PictureWindow(std::move(laidOut.picture), parent);
  if (laidOut.find) window->OfferSearch(std::move(laidOut.find), laidOut.readableZoom);
  // Sized and laid out first, so that the opening view is of the real viewport.
  window->show();
  if (laidOut.centre && window->canvas()->zoom() < laidOut.zoom)
    window->canvas()->SetOpeningView(*laidOut.centre, laidOut.zoom);
  window->raise();
  window->activateWindow();
  return window;
}

PictureJob::PictureJob(std::function<LaidOutPicture()> work, const QString& label, QWidget* parent)
    : QObject(parent), parent_(parent), progress_(new QProgressDialog(parent)) {
  progress_->setAttribute(Qt::WA_DeleteOnClose, false);
  progress_->setWindowTitle(tr("Pedigree Drawing"));
  progress_->setLabelText(label);
  progress_->setRange(0, 0);  // no steps to count: a busy bar
  progress_->setWindowModality(Qt::WindowModal);
  progress_->setAutoClose(false);
  progress_->setAutoReset(false);
  progress_->reset();  // stops its own timer: the job decides when it shows
  progress_->hide();
  connect(progress_.data(), &QProgressDialog::canceled, this, &PictureJob::Cancel);
  connect(progress_.data(), &QDialog::rejected, this, &PictureJob::Cancel);  // Escape
  QTimer::singleShot(kProgressDelayMs, progress_.data(), [this] {
    if (!done_) progress_->show();
  });
  // The result travels through the promise: a watcher that is gone (the
  // job cancelled or its window closed) simply never hears of it.
  auto promise = std::make_shared<QPromise<LaidOutPicture>>();
  auto* watcher = new QFutureWatcher<LaidOutPicture>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
    if (watcher->future().resultCount() > 0) Finish(watcher->future().result());
  });
  watcher->setFuture(promise->future());
  promise->start();
  QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
    promise->addResult(work());
    promise->finish();
  });
}

PictureJob::~PictureJob() { delete progress_.data(); }

QProgressDialog* PictureJob::progress() const { return progress_.data(); }

void PictureJob::Cancel() {
  if (done_) return;
  done_ = true;
  if (progress_) progress_->hide();
  emit ended(false);
  deleteLater();
}

void PictureJob::Finish(LaidOutPicture laidOut) {
  if (done_) return;
  done_ = true;
  if (progress_) progress_->hide();
  PictureWindow* window = parent_ ? OpenLaidOut(std::move(laidOut), parent_) : nullptr;
  if (window != nullptr) emit opened(window);
  emit ended(window != nullptr);
  deleteLater();
}

}  // namespace kinvar::gui
