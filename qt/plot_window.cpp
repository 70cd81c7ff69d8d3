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
// mouse motion to TrackCursor. A new drawing goes into the buffer as it
// is made (the live surface), so painting it costs nothing more; the
// recorded drawing is replayed only when the size or the pixel ratio
// changed since.
class PlotCanvas : public QWidget {
 public:
  PlotCanvas(PlotWindow& window, const DisplayList& drawing)
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
      window_.ZoomIn();
    }
    while (wheel_ <= -kNotch) {
      wheel_ += kNotch;
      window_.ZoomOut();
    }
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    const QPointF p = event->position();
    window_.TrackCursor(MouseButtons(event->buttons()), ShiftState(event->modifiers()),
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

  PlotWindow& window_;
  const DisplayList& drawing_;
  int wheel_ = 0;  // the part of a notch turned so far
  QImage buffer_;
  std::unique_ptr<RasterSurface> live_;  // after buffer_: it writes there until destroyed
  double live_ratio_ = 0;
  bool dirty_ = true;
};

// What RenderPlot draws on: records into the display list, places the axis
// labels at once and schedules a repaint.
class PlotWindow::WindowSurface : public DrawingSurface {
 public:
  explicit WindowSurface(PlotWindow& window) : window_(window) {}
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
  PlotWindow& window_;
};

// The pan bar as the view arithmetic drives it. QScrollBar's setters emit
// valueChanged synchronously when they move the position (setMinimum clamps
// it), which runs ScrollChanged nested, as the handlers expect.
class PlotWindow::ScrollBarAdapter : public ScrollBarControl {
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

PlotWindow::PlotWindow(SharedState& state, WindowServices& services, QWidget* parent)
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
  Load();
}

PlotWindow::~PlotWindow() = default;

QWidget* PlotWindow::ClientArea() const { return canvas_; }

DrawingSurface& PlotWindow::Surface() { return *surface_; }

void PlotWindow::ClearDrawing() { surface_->Clear(); }

void PlotWindow::BuildMenu() {
  file_menu_ = menuBar()->addMenu(QStringLiteral("&File"));
  file_menu_->setObjectName(QStringLiteral("file_menu"));
  print_setup_action_ = file_menu_->addAction(QStringLiteral("Print Setup ..."));
  print_setup_action_->setObjectName(QStringLiteral("print_setup_action"));
  print_action_ = file_menu_->addAction(QStringLiteral("Print"));
  print_action_->setObjectName(QStringLiteral("print_action"));
  print_action_->setShortcut(QKeySequence::Print);
  print_action_->setShortcutContext(Qt::WindowShortcut);
  export_action_ = file_menu_->addAction(QStringLiteral("Export ..."));
  export_action_->setObjectName(QStringLiteral("export_action"));
  separator_ = file_menu_->addSeparator();
  separator_->setObjectName(QStringLiteral("separator"));
  exit_action_ = file_menu_->addAction(QStringLiteral("Exit"));
  exit_action_->setObjectName(QStringLiteral("exit_action"));
  connect(print_setup_action_, &QAction::triggered, this, [this] { PrintSetup(); });
  connect(print_action_, &QAction::triggered, this, [this] { Print(); });
  connect(export_action_, &QAction::triggered, this, [this] { Export(); });
  connect(exit_action_, &QAction::triggered, this, [this] { Exit(); });
}

void PlotWindow::BuildControls() {
  const auto make_label = [this](const char* name, const QString& text, const QString& accessible) {
    auto* label = new QLabel(text, canvas_);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(accessible);
    return label;
  };
  // Axis labels: placed and filled by the renderer.
  first_wavelength_label_ = make_label("first_wavelength_label", {}, QStringLiteral("First wavelength tick"));
  last_wavelength_label_ = make_label("last_wavelength_label", {}, QStringLiteral("Last wavelength tick"));
  wavelength_title_ = make_label("wavelength_title", {}, QStringLiteral("Wavelength axis title"));
  top_intensity_label_ = make_label("top_intensity_label", {}, QStringLiteral("Top intensity tick"));
  intensity_step_label_ = make_label("intensity_step_label", {}, QStringLiteral("Intensity tick step"));
  bottom_intensity_label_ = make_label("bottom_intensity_label", {}, QStringLiteral("Bottom intensity tick"));
  for (QLabel* label : {first_wavelength_label_, last_wavelength_label_, wavelength_title_, top_intensity_label_,
                        intensity_step_label_, bottom_intensity_label_}) {
    label->setAttribute(Qt::WA_TransparentForMouseEvents);  // the read-out keeps working over them
    FixTextColour(label, Qt::black);                       // on the white page
  }

  // Bottom row.
  wavelength_caption_ = make_label("wavelength_caption", QStringLiteral("Wavelength"), QStringLiteral("Wavelength"));
  wavelength_readout_ = make_label("wavelength_readout", {}, QStringLiteral("Wavelength read-out"));
  intensity_caption_ = make_label("intensity_caption", QStringLiteral("Intensity"), QStringLiteral("Intensity"));
  intensity_readout_ = make_label("intensity_readout", {}, QStringLiteral("Intensity read-out"));
  for (QLabel* plain : {wavelength_caption_, intensity_caption_}) FixTextColour(plain, Qt::black);
  for (QLabel* box : {wavelength_readout_, intensity_readout_}) {
    box->setAlignment(Qt::AlignCenter);
    box->setFrameShape(QFrame::Box);
    box->setLineWidth(1);
    FixColours(box, Qt::white, Qt::black);
  }
  // Created before the "In" button so that the button is drawn over it.
  zoom_caption_ = make_label("zoom_caption", QStringLiteral("Zoom"), QStringLiteral("Zoom"));
  FixColours(zoom_caption_, Qt::white, Qt::black);

  pan_bar_ = new QScrollBar(Qt::Horizontal, canvas_);
  pan_bar_->setObjectName(QStringLiteral("pan_bar"));
  pan_bar_->setAccessibleName(QStringLiteral("Pan along wavelength"));
  const auto make_button = [this](const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, canvas_);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
  };
  zoom_in_button_ = make_button("zoom_in_button", QStringLiteral("In"));
  zoom_out_button_ = make_button("zoom_out_button", QStringLiteral("Out"));
  full_range_button_ = make_button("full_range_button", QStringLiteral("Full Range"));

  for (const BottomPlace& place : kBottomRow) {
    QWidget* control = BottomWidget(place.control);
    PlaceChild(control, place.left, 0, place.width, place.height);
  }

  connect(zoom_in_button_, &QPushButton::clicked, this, [this] { ZoomIn(); });
  connect(zoom_out_button_, &QPushButton::clicked, this, [this] { ZoomOut(); });
  connect(full_range_button_, &QPushButton::clicked, this, [this] { FullRange(); });
  // With tracking on, a drag moves the value, so valueChanged covers both the
  // drag (Scroll) and every other change (Change); Change runs Scroll.
  connect(pan_bar_, &QScrollBar::valueChanged, this, [this](int) { ScrollChanged(); });
}

void PlotWindow::BuildShortcuts() {
  const auto bind = [this](const QKeySequence& keys, auto handler) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, handler);
  };
  bind(QKeySequence(Qt::Key_Plus), [this] { ZoomIn(); });
  bind(QKeySequence(Qt::Key_Equal), [this] { ZoomIn(); });  // "+" without Shift
  bind(QKeySequence(Qt::Key_Minus), [this] { ZoomOut(); });
  bind(QKeySequence(Qt::Key_0), [this] { FullRange(); });
  bind(QKeySequence(Qt::Key_Home), [this] { FullRange(); });
  // Panning moves the scroll bar, whose change handler redraws.
  bind(QKeySequence(Qt::Key_Left), [this] { pan_bar_->setValue(pan_bar_->value() - pan_bar_->singleStep()); });
  bind(QKeySequence(Qt::Key_Right), [this] { pan_bar_->setValue(pan_bar_->value() + pan_bar_->singleStep()); });
}

QWidget* PlotWindow::BottomWidget(BottomControl control) const {
  switch (control) {
    case BottomControl::WavelengthCaption: return wavelength_caption_;
    case BottomControl::WavelengthReadout: return wavelength_readout_;
    case BottomControl::IntensityCaption: return intensity_caption_;
    case BottomControl::IntensityReadout: return intensity_readout_;
    case BottomControl::ZoomCaption: return zoom_caption_;
    case BottomControl::PanBar: return pan_bar_;
    case BottomControl::ZoomInButton: return zoom_in_button_;
    case BottomControl::ZoomOutButton: return zoom_out_button_;
    case BottomControl::FullRangeButton: return full_range_button_;
  }
  return wavelength_caption_;
}

QLabel* PlotWindow::AxisLabel(PlotLabel label) const {
  switch (label) {
    case PlotLabel::FirstWavelength: return first_wavelength_label_;
    case PlotLabel::LastWavelength: return last_wavelength_label_;
    case PlotLabel::WavelengthTitle: return wavelength_title_;
    case PlotLabel::TopIntensity: return top_intensity_label_;
    case PlotLabel::IntensityStep: return intensity_step_label_;
    case PlotLabel::BottomIntensity: return bottom_intensity_label_;
  }
  return first_wavelength_label_;
}

void PlotWindow::PlaceBottomRow() {
  for (const BottomPlace& place : kBottomRow) {
    QWidget* control = BottomWidget(place.control);
    PlaceChild(control, place.left, BottomTop(place, state_.PlotHeight), place.width, place.height);
  }
}

void PlotWindow::ApplyGeometry() {
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

void PlotWindow::ShowModeless() {
  show();
  // The frame is known only once the window is shown: give the window the
  // outer size it was asked for, once, while the user has not resized it.
  if (frame_checked_) return;
  frame_checked_ = true;
  if (frameGeometry().size() != geometry().size() && size() == applied_size_) {
    const bool busy = state_.RenderBusy;
    ApplyGeometry();
    if (!busy) Resized();
  }
}

double PlotWindow::RecordedLeft() const { return pos() == applied_pos_ ? applied_twips_[0] : OuterLeft(this); }

double PlotWindow::RecordedTop() const { return pos() == applied_pos_ ? applied_twips_[1] : OuterTop(this); }

double PlotWindow::RecordedWidth() const { return size() == applied_size_ ? applied_twips_[2] : OuterWidth(this); }

double PlotWindow::RecordedHeight() const {
  return size() == applied_size_ ? applied_twips_[3] : OuterHeight(this);
}

void PlotWindow::Load() {
  state_.PlotLambdaSpan = state_.PlotLambdaMax - state_.PlotLambdaMin;
  ScrollBarAdapter bar(*pan_bar_);
  UpdateScrollBar(state_, bar);  // runs ScrollChanged, which does nothing while RenderBusy is set
  ApplyGeometry();
  Resized();
  PlaceBottomRow();
  for (int slot = 1; slot <= state_.SlotCount; ++slot) {
    if (!state_.Slots[slot].loaded) continue;
    std::string text = PlainDecimal(static_cast<double>(state_.Slots[slot].offset));
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    services_.SetOffsetText(static_cast<int16_t>(slot), text);
  }
}

void PlotWindow::Resized() {
  if (state_.RenderBusy || !state_.SpectraLoaded) return;
  state_.PlotWidth = RoundToInt16(RecordedWidth());
  state_.PlotHeight = RoundToInt16(RecordedHeight());
  ClearDrawing();
  services_.RenderPlot();
  PlaceBottomRow();
}

void PlotWindow::Unload() {
  const RecordedGeometry g = RecordGeometry(RecordedLeft(), RecordedTop(), RecordedWidth(), RecordedHeight());
  state_.PlotLeft = g.left;
  state_.PlotTop = g.top;
  state_.PlotWidth = g.width;
  state_.PlotHeight = g.height;
  state_.PlotWindowOpen = false;
}

void PlotWindow::TrackCursor(int /*button*/, int /*shift*/, float x, float y) {
  const CursorReadOut r = ReadOutAt(state_, frame_, x, y);
  if (!r.inside) {
    canvas_->setCursor(Qt::ArrowCursor);
    return;
  }
  canvas_->setCursor(Qt::CrossCursor);
  wavelength_readout_->setText(QString::fromStdString(r.wavelength));
  intensity_readout_->setText(QString::fromStdString(r.intensity));
}

void PlotWindow::ZoomIn() {
  if (!quillon::ZoomIn(state_)) return;
  ScrollBarAdapter bar(*pan_bar_);
  // A position change here runs ScrollChanged -> Scroll, which
  // draws once re-centred; the button then draws again.
  UpdateScrollBar(state_, bar);
  ClearDrawing();
  services_.RenderPlot();
}

void PlotWindow::ZoomOut() {
  quillon::ZoomOut(state_);
  ScrollBarAdapter bar(*pan_bar_);
  UpdateScrollBar(state_, bar);  // nested re-centred drawing when the position moves
  ClearDrawing();
  services_.RenderPlot();
}

void PlotWindow::FullRange() {
  ShowFullRange(state_);
  ScrollBarAdapter bar(*pan_bar_);
  UpdateScrollBar(state_, bar);  // nested re-centred drawing when the position moves
  services_.RenderPlot();
}

void PlotWindow::Scroll() {
  if (state_.RenderBusy) return;
  CentreView(state_, pan_bar_->value());
  services_.RenderPlot();
}

void PlotWindow::ScrollChanged() { Scroll(); }

void PlotWindow::Exit() { hide(); }

void PlotWindow::Print() {
  QtSaveDialog desktop_dialog(this);
  QtInstalledPrinters desktop_printers(CurrentQtPrinter());
  const auto draw = [this](QPainter& painter, const QRectF& target) { RenderClientArea(painter, target); };
  PrintPlotWindow(QSizeF(ClientArea()->size()), draw, state_, services_,
                  save_dialog_ != nullptr ? *save_dialog_ : desktop_dialog,
                  installed_printers_ != nullptr ? *installed_printers_ : desktop_printers);
}

void PlotWindow::Export() {
  QtSaveDialog desktop_dialog(this);
  ExportPlotWindow([this] { return Picture(); }, state_, services_,
                   save_dialog_ != nullptr ? *save_dialog_ : desktop_dialog);
}

void PlotWindow::SetFileDesktop(SaveDialog* dialog, InstalledPrinters* printers) {
  save_dialog_ = dialog;
  installed_printers_ = printers;
}

PlotPicture PlotWindow::Picture() const {
  PictureMetrics metrics;
  metrics.area = canvas_->size();
  metrics.dots_per_inch = LogicalDpi(canvas_);
  metrics.device_ratio = canvas_->devicePixelRatioF();
  metrics.label_font = first_wavelength_label_->font();  // every axis label has the labels' font
  return PictureOfDrawing(drawing_, frame_, metrics);
}

void PlotWindow::PrintSetup() { SetUpPrinter(this, services_); }

void PlotWindow::closeEvent(QCloseEvent* event) {
  Unload();
  event->accept();
}

void PlotWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (event->size() == handled_size_) return;
  handled_size_ = event->size();
  Resized();
}

void PlotWindow::RasterizeNow() { canvas_->Rasterize(); }

void PlotWindow::RenderClientArea(QPainter& painter, const QRectF& target) {
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

QImage PlotWindow::GrabClientArea(double ratio) {
  const QSize pixels = (QSizeF(canvas_->size()) * ratio).toSize().expandedTo(QSize(1, 1));
  QImage image(pixels, QImage::Format_RGB32);
  image.fill(canvas_->Background());
  QPainter painter(&image);
  RenderClientArea(painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  painter.end();
  return image;
}

}  // namespace quillon
