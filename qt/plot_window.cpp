#include "qt/plot_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>

#include "render/number_format.h"
#include "session/plot_view.h"
#include "qt/print_commands.h"
#include "qt/plot_picture.h"
#include "qt/printer.h"
#include "qt/raster_surface.h"
#include "qt/twips.h"
#include "qt/window_colours.h"

namespace quillon {

namespace {

int MouseButtons(Qt::MouseButtons buttons) {
  return ((buttons & Qt::LeftButton) ? 1 : 0) | ((buttons & Qt::RightButton) ? 2 : 0) |
         ((buttons & Qt::MiddleButton) ? 4 : 0);
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
  return ((modifiers & Qt::ShiftModifier) ? 1 : 0) | ((modifiers & Qt::ControlModifier) ? 2 : 0) |
         ((modifiers & Qt::AltModifier) ? 4 : 0);
}

}  // namespace

// The client area: paints the drawing from a device-pixel buffer and passes
// mouse motion to Form_MouseMove. A new drawing goes into the buffer as it
// is made (the live surface), so painting it costs nothing more; the
// recorded drawing is replayed only when the size or the pixel ratio
// changed since.
class PlotCanvas : public QWidget {
 public:
  PlotCanvas(frmPlot_Spectra& window, const DisplayList& drawing)
      : QWidget(&window), window_(window), drawing_(drawing) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Plot"));
  }

  // The drawing was erased: the next lines go straight into a fresh buffer
  // at the present size, as well as into the display list.
  void BeginDrawing() {
    live_.reset();
    const double ratio = devicePixelRatioF();
    PrepareBuffer(ratio);
    live_ = std::make_unique<RasterSurface>(buffer_, PixelsPerTwip(this) * ratio, Background());
    live_->Clear();
    live_->SetForeColor(drawing_.ForeColor());  // the list's colour carries over a Clear
    live_ratio_ = ratio;
    dirty_ = false;
    update();
  }

  // Where the lines of the drawing in progress are rasterised, if anywhere.
  RasterSurface* Live() { return live_.get(); }

  // The page the renderer's black frame, grey grid and slot colours are made
  // for: white under any theme.
  QColor Background() const { return Qt::white; }

  void Rasterize() {
    const double ratio = devicePixelRatioF();
    const QSize pixels = BufferSize(ratio);
    if (live_ && buffer_.size() == pixels && live_ratio_ == ratio && buffer_.isDetached()) {
      live_->Flush();  // the picture is complete; later lines still go live
      return;
    }
    live_.reset();
    if (!dirty_ && buffer_.size() == pixels && buffer_.devicePixelRatio() == ratio) return;
    PrepareBuffer(ratio);
    RasterSurface surface(buffer_, PixelsPerTwip(this) * ratio, Background());
    drawing_.Replay(surface);
    dirty_ = false;
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    Rasterize();
    QPainter painter(this);
    painter.drawImage(event->rect(), buffer_,
                      QRectF(QPointF(event->rect().topLeft()) * buffer_.devicePixelRatio(),
                             QSizeF(event->rect().size()) * buffer_.devicePixelRatio()));
  }

  // The wheel over the plot presses In (away from the user) or Out (towards
  // the user), one press a notch, through the buttons' own handlers, so their
  // limits and refusals hold. Over a control the wheel is that control's.
  void wheelEvent(QWheelEvent* event) override {
    if (childAt(event->position().toPoint()) != nullptr) {
      event->ignore();
      return;
    }
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    // Fine-grained wheels send parts of a notch; a turn back starts afresh.
    if ((delta > 0) != (wheel_ > 0)) wheel_ = 0;
    wheel_ += delta;
    while (wheel_ >= kNotch) {
      wheel_ -= kNotch;
      window_.Command1_Click();
    }
    while (wheel_ <= -kNotch) {
      wheel_ += kNotch;
      window_.Command2_Click();
    }
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    const QPointF p = event->position();
    window_.Form_MouseMove(MouseButtons(event->buttons()), ShiftState(event->modifiers()),
                           static_cast<float>(PixelsToTwips(p.x(), this)),
                           static_cast<float>(PixelsToTwips(p.y(), this)));
  }

 private:
  QSize BufferSize(double ratio) const { return (QSizeF(size()) * ratio).toSize().expandedTo(QSize(1, 1)); }

  // Only while no surface writes into it: a surface holds its pixels.
  void PrepareBuffer(double ratio) {
    const QSize pixels = BufferSize(ratio);
    if (buffer_.size() != pixels) buffer_ = QImage(pixels, QImage::Format_RGB32);
    buffer_.setDevicePixelRatio(ratio);
  }

  static constexpr int kNotch = 120;  // QWheelEvent's eighths of a degree in one wheel notch

  frmPlot_Spectra& window_;
  const DisplayList& drawing_;
  int wheel_ = 0;  // the part of a notch turned so far
  QImage buffer_;
  std::unique_ptr<RasterSurface> live_;  // after buffer_: it writes there until destroyed
  double live_ratio_ = 0;
  bool dirty_ = true;
};

// What RenderPlot draws on: records into the display list, places the axis
// labels at once and schedules a repaint.
class frmPlot_Spectra::WindowSurface : public DrawingSurface {
 public:
  explicit WindowSurface(frmPlot_Spectra& window) : window_(window) {}
  void Clear() override {
    window_.drawing_.Clear();
    window_.canvas_->BeginDrawing();
  }
  void SetForeColor(int32_t bgr) override {
    window_.drawing_.SetForeColor(bgr);
    if (RasterSurface* live = window_.canvas_->Live()) live->SetForeColor(bgr);
  }
  void Line(float x1, float y1, float x2, float y2) override {
    window_.drawing_.Line(x1, y1, x2, y2);
    if (RasterSurface* live = window_.canvas_->Live()) live->Line(x1, y1, x2, y2);
  }
  void DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) override {
    window_.drawing_.DrawRecorded(lines, count, previous);
    if (RasterSurface* live = window_.canvas_->Live()) live->DrawRecorded(lines, count, previous);
  }
  // The live buffer's pixels: the renderer draws dense pixel columns as one
  // run each, so the display list stays as small as the window's pixels.
  double PixelsPerTwip() const override {
    const RasterSurface* live = window_.canvas_->Live();
    return live != nullptr ? live->PixelsPerTwip() : 0;
  }
  void SetLabel(PlotLabel label, float left, float top, const std::string& caption) override {
    window_.drawing_.SetLabel(label, left, top, caption);
    QLabel* target = window_.AxisLabel(label);
    const AxisLabelSize& size = AxisLabelSizeOf(label);
    PlaceChild(target, left, top, size.width, size.height);
    target->setText(QString::fromStdString(caption));
    window_.canvas_->update();  // labels are widgets: the buffer holds no text
  }

 private:
  frmPlot_Spectra& window_;
};

// HScroll1 as the view arithmetic drives it. QScrollBar's setters emit
// valueChanged synchronously when they move the position (setMinimum clamps
// it), which runs HScroll1_Change nested, as the handlers expect.
class frmPlot_Spectra::ScrollBarAdapter : public ScrollBarControl {
 public:
  explicit ScrollBarAdapter(QScrollBar& bar) : bar_(bar) {}
  void SetMin(int32_t value) override { bar_.setMinimum(value); }
  void SetMax(int32_t value) override { bar_.setMaximum(value); }
  void SetValue(int32_t value) override { bar_.setValue(value); }
  void SetSmallChange(int32_t value) override { bar_.setSingleStep(value); }
  void SetLargeChange(int32_t value) override { bar_.setPageStep(value); }

 private:
  QScrollBar& bar_;
};

frmPlot_Spectra::frmPlot_Spectra(SharedState& state, WindowServices& services, QWidget* parent)
    : QMainWindow(parent, Qt::Window), state_(state), services_(services) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Plot Spectra"));
  setAccessibleName(windowTitle());
  surface_ = std::make_unique<WindowSurface>(*this);
  canvas_ = new PlotCanvas(*this, drawing_);
  canvas_->setFont(PlotWindowFont());
  setCentralWidget(canvas_);
  BuildMenu();
  BuildControls();
  BuildShortcuts();
  Form_Load();
}

frmPlot_Spectra::~frmPlot_Spectra() = default;

QWidget* frmPlot_Spectra::ClientArea() const { return canvas_; }

DrawingSurface& frmPlot_Spectra::Surface() { return *surface_; }

void frmPlot_Spectra::ClearDrawing() { surface_->Clear(); }

void frmPlot_Spectra::BuildMenu() {
  mFile = menuBar()->addMenu(QStringLiteral("&File"));
  mFile->setObjectName(QStringLiteral("mFile"));
  mPrintsetup = mFile->addAction(QStringLiteral("Print Setup ..."));
  mPrintsetup->setObjectName(QStringLiteral("mPrintsetup"));
  mPrint = mFile->addAction(QStringLiteral("Print"));
  mPrint->setObjectName(QStringLiteral("mPrint"));
  mPrint->setShortcut(QKeySequence::Print);
  mPrint->setShortcutContext(Qt::WindowShortcut);
  mExport = mFile->addAction(QStringLiteral("Export ..."));
  mExport->setObjectName(QStringLiteral("mExport"));
  mydash = mFile->addSeparator();
  mydash->setObjectName(QStringLiteral("mydash"));
  mExit = mFile->addAction(QStringLiteral("Exit"));
  mExit->setObjectName(QStringLiteral("mExit"));
  connect(mPrintsetup, &QAction::triggered, this, [this] { mPrintsetup_Click(); });
  connect(mPrint, &QAction::triggered, this, [this] { mPrint_Click(); });
  connect(mExport, &QAction::triggered, this, [this] { mExport_Click(); });
  connect(mExit, &QAction::triggered, this, [this] { mExit_Click(); });
}

void frmPlot_Spectra::BuildControls() {
  const auto make_label = [this](const char* name, const QString& text, const QString& accessible) {
    auto* label = new QLabel(text, canvas_);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(accessible);
    return label;
  };
  // Axis labels: placed and filled by the renderer.
  Label1 = make_label("Label1", {}, QStringLiteral("First wavelength tick"));
  Label2 = make_label("Label2", {}, QStringLiteral("Last wavelength tick"));
  Label3 = make_label("Label3", {}, QStringLiteral("Wavelength axis title"));
  Label4 = make_label("Label4", {}, QStringLiteral("Top intensity tick"));
  Label6 = make_label("Label6", {}, QStringLiteral("Intensity tick step"));
  Label8 = make_label("Label8", {}, QStringLiteral("Bottom intensity tick"));
  for (QLabel* label : {Label1, Label2, Label3, Label4, Label6, Label8}) {
    label->setAttribute(Qt::WA_TransparentForMouseEvents);  // the read-out keeps working over them
    FixTextColour(label, Qt::black);                       // on the white page
  }

  // Bottom row.
  Label5 = make_label("Label5", QStringLiteral("Wavelength"), QStringLiteral("Wavelength"));
  Label7 = make_label("Label7", {}, QStringLiteral("Wavelength read-out"));
  Label9 = make_label("Label9", QStringLiteral("Intensity"), QStringLiteral("Intensity"));
  Label10 = make_label("Label10", {}, QStringLiteral("Intensity read-out"));
  for (QLabel* plain : {Label5, Label9}) FixTextColour(plain, Qt::black);
  for (QLabel* box : {Label7, Label10}) {
    box->setAlignment(Qt::AlignCenter);
    box->setFrameShape(QFrame::Box);
    box->setLineWidth(1);
    FixColours(box, Qt::white, Qt::black);
  }
  // Created before Command1 so that the "In" button is drawn over it.
  Label11 = make_label("Label11", QStringLiteral("Zoom"), QStringLiteral("Zoom"));
  FixColours(Label11, Qt::white, Qt::black);

  HScroll1 = new QScrollBar(Qt::Horizontal, canvas_);
  HScroll1->setObjectName(QStringLiteral("HScroll1"));
  HScroll1->setAccessibleName(QStringLiteral("Pan along wavelength"));
  const auto make_button = [this](const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, canvas_);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
  };
  Command1 = make_button("Command1", QStringLiteral("In"));
  Command2 = make_button("Command2", QStringLiteral("Out"));
  Command3 = make_button("Command3", QStringLiteral("Full Range"));

  for (const BottomPlace& place : kBottomRow) {
    QWidget* control = BottomWidget(place.control);
    PlaceChild(control, place.left, 0, place.width, place.height);
  }

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  // With tracking on, a drag moves the value, so valueChanged covers both the
  // drag (Scroll) and every other change (Change); Change runs Scroll.
  connect(HScroll1, &QScrollBar::valueChanged, this, [this](int) { HScroll1_Change(); });
}

void frmPlot_Spectra::BuildShortcuts() {
  const auto bind = [this](const QKeySequence& keys, auto handler) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, handler);
  };
  bind(QKeySequence(Qt::Key_Plus), [this] { Command1_Click(); });
  bind(QKeySequence(Qt::Key_Equal), [this] { Command1_Click(); });  // "+" without Shift
  bind(QKeySequence(Qt::Key_Minus), [this] { Command2_Click(); });
  bind(QKeySequence(Qt::Key_0), [this] { Command3_Click(); });
  bind(QKeySequence(Qt::Key_Home), [this] { Command3_Click(); });
  // Panning moves the scroll bar, whose change handler redraws.
  bind(QKeySequence(Qt::Key_Left), [this] { HScroll1->setValue(HScroll1->value() - HScroll1->singleStep()); });
  bind(QKeySequence(Qt::Key_Right), [this] { HScroll1->setValue(HScroll1->value() + HScroll1->singleStep()); });
}

QWidget* frmPlot_Spectra::BottomWidget(BottomControl control) const {
  switch (control) {
    case BottomControl::Label5: return Label5;
    case BottomControl::Label7: return Label7;
    case BottomControl::Label9: return Label9;
    case BottomControl::Label10: return Label10;
    case BottomControl::Label11: return Label11;
    case BottomControl::HScroll1: return HScroll1;
    case BottomControl::Command1: return Command1;
    case BottomControl::Command2: return Command2;
    case BottomControl::Command3: return Command3;
  }
  return Label5;
}

QLabel* frmPlot_Spectra::AxisLabel(PlotLabel label) const {
  switch (label) {
    case PlotLabel::Label1: return Label1;
    case PlotLabel::Label2: return Label2;
    case PlotLabel::Label3: return Label3;
    case PlotLabel::Label4: return Label4;
    case PlotLabel::Label6: return Label6;
    case PlotLabel::Label8: return Label8;
  }
  return Label1;
}

void frmPlot_Spectra::PlaceBottomRow() {
  for (const BottomPlace& place : kBottomRow) {
    QWidget* control = BottomWidget(place.control);
    PlaceChild(control, place.left, BottomTop(place, state_.PlotHeight), place.width, place.height);
  }
}

void frmPlot_Spectra::ApplyGeometry() {
  MoveOuter(this, state_.PlotLeft, state_.PlotTop);
  // The outer size includes the frame where the platform already knows it.
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  const int extra_w = std::max(0, frame.width() - client.width());
  const int extra_h = std::max(0, frame.height() - client.height());
  const QSize size(std::max(1, TwipsToPixels(state_.PlotWidth, this) - extra_w),
                   std::max(1, TwipsToPixels(state_.PlotHeight, this) - extra_h));
  resize(size);
  applied_twips_ = {static_cast<double>(state_.PlotLeft), static_cast<double>(state_.PlotTop),
                    static_cast<double>(state_.PlotWidth), static_cast<double>(state_.PlotHeight)};
  applied_pos_ = QPoint(TwipsToPixels(state_.PlotLeft, this), TwipsToPixels(state_.PlotTop, this));
  applied_size_ = size;
  // Setting the size raises the resize handler at once (the caller runs it);
  // the window system's own notice of this size comes later and is ignored.
  handled_size_ = size;
}

void frmPlot_Spectra::ShowModeless() {
  show();
  // The frame is known only once the window is shown: give the window the
  // outer size it was asked for, once, while the user has not resized it.
  if (frame_checked_) return;
  frame_checked_ = true;
  if (frameGeometry().size() != geometry().size() && size() == applied_size_) {
    const bool busy = state_.RenderBusy;
    ApplyGeometry();
    if (!busy) Form_Resize();
  }
}

double frmPlot_Spectra::RecordedLeft() const { return pos() == applied_pos_ ? applied_twips_[0] : OuterLeft(this); }

double frmPlot_Spectra::RecordedTop() const { return pos() == applied_pos_ ? applied_twips_[1] : OuterTop(this); }

double frmPlot_Spectra::RecordedWidth() const { return size() == applied_size_ ? applied_twips_[2] : OuterWidth(this); }

double frmPlot_Spectra::RecordedHeight() const {
  return size() == applied_size_ ? applied_twips_[3] : OuterHeight(this);
}

void frmPlot_Spectra::Form_Load() {
  state_.PlotLambdaSpan = state_.PlotLambdaMax - state_.PlotLambdaMin;
  ScrollBarAdapter bar(*HScroll1);
  UpdateScrollBar(state_, bar);  // runs HScroll1_Change, which does nothing while RenderBusy is set
  ApplyGeometry();
  Form_Resize();
  PlaceBottomRow();
  for (int slot = 1; slot <= state_.SlotCount; ++slot) {
    if (!state_.Slots[slot].loaded) continue;
    std::string text = PlainDecimal(static_cast<double>(state_.Slots[slot].offset));
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    services_.SetOffsetText(static_cast<int16_t>(slot), text);
  }
}

void frmPlot_Spectra::Form_Resize() {
  if (state_.RenderBusy || !state_.SpectraLoaded) return;
  state_.PlotWidth = RoundToInt16(RecordedWidth());
  state_.PlotHeight = RoundToInt16(RecordedHeight());
  ClearDrawing();
  services_.RenderPlot();
  PlaceBottomRow();
}

void frmPlot_Spectra::Form_Unload() {
  const RecordedGeometry g = RecordGeometry(RecordedLeft(), RecordedTop(), RecordedWidth(), RecordedHeight());
  state_.PlotLeft = g.left;
  state_.PlotTop = g.top;
  state_.PlotWidth = g.width;
  state_.PlotHeight = g.height;
  state_.PlotWindowOpen = false;
}

void frmPlot_Spectra::Form_MouseMove(int /*button*/, int /*shift*/, float x, float y) {
  const CursorReadOut r = ReadOutAt(state_, frame_, x, y);
  if (!r.inside) {
    canvas_->setCursor(Qt::ArrowCursor);
    return;
  }
  canvas_->setCursor(Qt::CrossCursor);
  Label7->setText(QString::fromStdString(r.wavelength));
  Label10->setText(QString::fromStdString(r.intensity));
}

void frmPlot_Spectra::Command1_Click() {
  if (!ZoomIn(state_)) return;
  ScrollBarAdapter bar(*HScroll1);
  // A position change here runs HScroll1_Change -> HScroll1_Scroll, which
  // draws once re-centred; the button then draws again.
  UpdateScrollBar(state_, bar);
  ClearDrawing();
  services_.RenderPlot();
}

void frmPlot_Spectra::Command2_Click() {
  ZoomOut(state_);
  ScrollBarAdapter bar(*HScroll1);
  UpdateScrollBar(state_, bar);  // nested re-centred drawing when the position moves
  ClearDrawing();
  services_.RenderPlot();
}

void frmPlot_Spectra::Command3_Click() {
  ShowFullRange(state_);
  ScrollBarAdapter bar(*HScroll1);
  UpdateScrollBar(state_, bar);  // nested re-centred drawing when the position moves
  services_.RenderPlot();
}

void frmPlot_Spectra::HScroll1_Scroll() {
  if (state_.RenderBusy) return;
  CentreView(state_, HScroll1->value());
  services_.RenderPlot();
}

void frmPlot_Spectra::HScroll1_Change() { HScroll1_Scroll(); }

void frmPlot_Spectra::mExit_Click() { hide(); }

void frmPlot_Spectra::mPrint_Click() {
  QtSaveDialog desktop_dialog(this);
  QtInstalledPrinters desktop_printers(CurrentQtPrinter());
  PrintPlotWindow(*this, state_, services_, save_dialog_ != nullptr ? *save_dialog_ : desktop_dialog,
                  installed_printers_ != nullptr ? *installed_printers_ : desktop_printers);
}

void frmPlot_Spectra::mExport_Click() {
  QtSaveDialog desktop_dialog(this);
  ExportPlotWindow(*this, state_, services_, save_dialog_ != nullptr ? *save_dialog_ : desktop_dialog);
}

void frmPlot_Spectra::SetFileDesktop(SaveDialog* dialog, InstalledPrinters* printers) {
  save_dialog_ = dialog;
  installed_printers_ = printers;
}

PlotPicture frmPlot_Spectra::Picture() const {
  PictureMetrics metrics;
  metrics.area = canvas_->size();
  metrics.dots_per_inch = LogicalDpi(canvas_);
  metrics.device_ratio = canvas_->devicePixelRatioF();
  metrics.label_font = Label1->font();  // every axis label has the labels' font
  return PictureOfDrawing(drawing_, frame_, metrics);
}

void frmPlot_Spectra::mPrintsetup_Click() { SetUpPrinter(*this, services_); }

void frmPlot_Spectra::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmPlot_Spectra::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (event->size() == handled_size_) return;
  handled_size_ = event->size();
  Form_Resize();
}

void frmPlot_Spectra::RasterizeNow() { canvas_->Rasterize(); }

void frmPlot_Spectra::RenderClientArea(QPainter& painter, const QRectF& target) {
  const QSize area = canvas_->size();
  if (area.isEmpty() || target.isEmpty()) return;
  painter.save();
  painter.translate(target.topLeft());
  painter.scale(target.width() / area.width(), target.height() / area.height());
  painter.setClipRect(QRect(QPoint(0, 0), area));
  painter.setRenderHint(QPainter::Antialiasing, false);
  {
    // Logical pixels of the client area; lines one logical pixel wide.
    PainterSurface surface(painter, PixelsPerTwip(canvas_), 1.0, QRectF(QPointF(0, 0), QSizeF(area)),
                           canvas_->Background());
    drawing_.Replay(surface);
  }
  for (QObject* object : canvas_->children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (child == nullptr || !child->isVisibleTo(canvas_)) continue;
    // Transparent labels show the drawing through, as on the screen.
    const QWidget::RenderFlags flags = child->autoFillBackground()
                                           ? QWidget::DrawWindowBackground | QWidget::DrawChildren
                                           : QWidget::RenderFlags(QWidget::DrawChildren);
    child->render(&painter, child->pos(), QRegion(), flags);
  }
  painter.restore();
}

QImage frmPlot_Spectra::GrabClientArea(double ratio) {
  const QSize pixels = (QSizeF(canvas_->size()) * ratio).toSize().expandedTo(QSize(1, 1));
  QImage image(pixels, QImage::Format_RGB32);
  image.fill(canvas_->Background());
  QPainter painter(&image);
  RenderClientArea(painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  painter.end();
  return image;
}

}  // namespace quillon
