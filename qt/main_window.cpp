#include "qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleFactory>
#include <QStyleOption>
#include <QUrl>
#include <algorithm>

#include "qt/file_names.h"
#include "qt/twips.h"
#include "qt/window_colours.h"
#include "qt/window_fonts.h"

namespace quillon {

namespace {

void PlaceBox(QWidget* widget, const TwipsBox& box) { PlaceChild(widget, box.left, box.top, box.width, box.height); }

// The style of the window's buttons: the application's own, plus the classic
// dotted rectangle inside the button that has the keyboard focus, so the
// focus shows clearly on the light blue window whatever the style draws for
// it (Fusion only tints the button's outline). Nothing else changes.
class FocusFrameStyle : public QProxyStyle {
 public:
  FocusFrameStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element != CE_PushButton || !(option->state & State_HasFocus) ||
        !(option->state & State_KeyboardFocusChange)) {
      return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(option->palette.color(QPalette::ButtonText), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(3, 3, -4, -4));
    painter->restore();
  }
};

QString RowName(const char* role, int16_t row) { return QStringLiteral("%1 row %2").arg(QLatin1String(role)).arg(row); }

}  // namespace

MainWindow::MainWindow(SharedState& state, WindowServices& services, std::function<void()> end_program,
                       std::filesystem::path settings_file, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      end_program_(std::move(end_program)),
      settings_file_(std::move(settings_file)),
      logic_(state, services, *this) {
  setWindowTitle(QStringLiteral("Quillon"));
  setAccessibleName(windowTitle());
  setObjectName(QStringLiteral("MainWindow"));
  setFont(WindowFont());
  setAcceptDrops(true);

  client_ = new QWidget;
  client_->setObjectName(QStringLiteral("ClientArea"));
  FixBackground(client_, ColorFromBgr(kMainBackColor));
  client_->setFixedSize(TwipsToPixels(kMainClientWidth, this), TwipsToPixels(kMainClientHeight, this));
  // The table keeps its designed size; on a screen too small for it the
  // window scrolls instead of cutting off the last rows.
  scroll_ = new QScrollArea;
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(false);
  scroll_->setWidget(client_);
  FixBackground(scroll_, ColorFromBgr(kMainBackColor));
  setCentralWidget(scroll_);

  BuildFixedControls();
  for (int16_t r = 1; r <= kSlotCount; ++r) BuildRow(r);
  BuildMenus();
  BuildShortcuts();
  FitToScreen();
  // Made last, so it outlives the buttons it draws.
  auto* buttons = new FocusFrameStyle;
  buttons->setParent(this);
  for (QPushButton* button : client_->findChildren<QPushButton*>()) button->setStyle(buttons);

  connect(plot_button_, &QPushButton::clicked, this, [this] { logic_.PlotSpectra(); });
  logic_.Start(settings_file_);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildFixedControls() {
  title_ = new QLabel(QStringLiteral("Quillon"), client_);
  title_->setObjectName(QStringLiteral("title"));
  title_->setAlignment(Qt::AlignCenter);
  title_->setFont(BoldSansFont(24));
  FixTextColour(title_, ColorFromBgr(kTitleColor));
  PlaceChild(title_, 1560, 0, 6855, 495);

  plot_button_ = new QPushButton(QStringLiteral("Plot Spectra"), client_);
  plot_button_->setObjectName(QStringLiteral("plot_button"));
  plot_button_->setFont(WindowFont());
  PlaceChild(plot_button_, 8640, 120, 2055, 375);

  spectrum_heading_ = Heading("Spectrum", 1080, 855);
  filename_heading_ = Heading("Filename", 2400, 2295);
  object_heading_ = Heading("Object", 4800, 1455);
  level_heading_ = Heading("Level", 6360, 735);
  offset_heading_ = Heading("Offset", 7560, 855);
  velocity_heading_ = Heading("Velocity Shift (km/s)", 9360, 1815);
}

QLabel* MainWindow::Heading(const char* text, double left, double width) {
  auto* label = new QLabel(QString::fromUtf8(text), client_);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(WindowFont());
  label->setAccessibleName(label->text());
  FixTextColour(label, Qt::black);  // on the window colour, whatever the theme
  PlaceChild(label, left, 720, width, 255);
  // Where this platform's font sets the heading wider than its box, widen the
  // box about the same centre rather than cut the text off.
  const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2;
  if (needed > label->width()) {
    QRect box = label->geometry();
    box.adjust(-(needed - box.width()) / 2, 0, (needed - box.width() + 1) / 2, 0);
    label->setGeometry(box);
  }
  return label;
}

QLabel* MainWindow::Cell(const QString& accessible_name, RowControl control, int16_t row) {
  auto* cell = new QLabel(client_);
  cell->setTextFormat(Qt::PlainText);
  cell->setAlignment(Qt::AlignCenter);
  cell->setFrameStyle(QFrame::Box | QFrame::Plain);
  cell->setLineWidth(1);
  FixColours(cell, Qt::white, Qt::black);  // black text and border on white, whatever the theme
  cell->setAccessibleName(accessible_name);
  PlaceBox(cell, RowControlBox(control, row));
  return cell;
}

// Controls are made row by row and, within a row, left to right, so the
// keyboard focus moves along the rows.
void MainWindow::BuildRow(int16_t r) {
  const auto index = static_cast<std::size_t>(r);

  auto* load = new QPushButton(QStringLiteral("Load"), client_);
  load->setAccessibleName(RowName("Load", r));
  PlaceBox(load, RowControlBox(RowControl::LoadButton, r));
  connect(load, &QPushButton::clicked, this, [this, r] { logic_.LoadRow(r); });
  load_buttons_[index] = load;

  auto* number = new QLabel(QString::number(r), client_);
  number->setAlignment(Qt::AlignCenter);
  number->setFont(BoldSansFont(9.75));
  number->setAccessibleName(QStringLiteral("Spectrum %1").arg(r));
  FixTextColour(number, Qt::black);
  PlaceBox(number, RowControlBox(RowControl::Number, r));
  row_numbers_[index] = number;

  auto* swatch = new QLabel(client_);
  swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
  // Row 10's curve is a near-black red that no eye tells from black; its swatch is plain black.
  FixBackground(swatch, ColorFromBgr(r == 10 ? 0 : DefaultSlotColor(r)));
  FixTextColour(swatch, Qt::black);  // the border
  swatch->setAccessibleName(RowName("Colour", r));
  PlaceBox(swatch, RowControlBox(RowControl::Swatch, r));
  swatches_[index] = swatch;

  auto* hdr = new QPushButton(QStringLiteral("Hdr"), client_);
  hdr->setAccessibleName(RowName("Hdr", r));
  PlaceBox(hdr, RowControlBox(RowControl::HeaderButton, r));
  connect(hdr, &QPushButton::clicked, this, [this, r] { logic_.ShowRowHeader(r); });
  header_buttons_[index] = hdr;

  file_name_cells_[index] = Cell(RowName("Filename", r), RowControl::FileName, r);
  object_cells_[index] = Cell(RowName("Object", r), RowControl::Object, r);
  level_cells_[index] = Cell(RowName("Level", r), RowControl::Level, r);

  auto* offset = new QScrollBar(Qt::Vertical, client_);
  offset->setAccessibleName(RowName("Offset", r));
  // Change runs on a click or when the thumb is let go, not for every step of a drag.
  offset->setTracking(false);
  offset->setFocusPolicy(Qt::StrongFocus);  // reachable by Tab, moved by the arrow keys
  PlaceBox(offset, RowControlBox(RowControl::OffsetBar, r));
  connect(offset, &QScrollBar::valueChanged, this, [this, r] { logic_.OffsetChanged(r); });
  offset_bars_[index] = offset;

  offset_cells_[index] = Cell(RowName("Offset value", r), RowControl::OffsetValue, r);

  auto* line = new QFrame(client_);
  FixBackground(line, Qt::black);
  const TwipsBox span = RowControlBox(RowControl::GapLine, r);
  QRect pixels = TwipsToPixelRect(span.left, span.top, span.width, 0, this);
  line->setGeometry(pixels.x(), pixels.y() - 1, pixels.width(), 2);  // two pixels wide, centred on the line
  line->setAccessibleName(RowName("Line", r));
  gap_lines_[index] = line;

  auto* velocity = new QScrollBar(Qt::Horizontal, client_);
  velocity->setAccessibleName(RowName("Velocity Shift (km/s)", r));
  PlaceBox(velocity, RowControlBox(RowControl::VelocityBar, r));
  velocity->setFocusPolicy(Qt::NoFocus);
  velocity_bars_[index] = velocity;  // no handler: the velocity shift has no effect

  velocity_cells_[index] = Cell(RowName("Velocity value", r), RowControl::VelocityValue, r);

  auto* unload = new QPushButton(QStringLiteral("Unload"), client_);
  unload->setAccessibleName(RowName("Unload", r));
  PlaceBox(unload, RowControlBox(RowControl::UnloadButton, r));
  connect(unload, &QPushButton::clicked, this, [this, r] { logic_.UnloadRow(r); });
  unload_buttons_[index] = unload;

  // The swatch sits above the line in the design; the line must not cover the cells.
  line->lower();
}

// The captions are the designed ones; each "&" only underlines the letter
// that opens the menu or runs the entry from the keyboard (Alt+F, Alt+P, Alt+H).
void MainWindow::BuildMenus() {
  file_menu_ = menuBar()->addMenu(QStringLiteral("&File"));
  open_action_ = file_menu_->addAction(QStringLiteral("&Open ..."));  // no handler
  file_separator_ = file_menu_->addSeparator();
  exit_action_ = file_menu_->addAction(QStringLiteral("E&xit"));
  connect(exit_action_, &QAction::triggered, this, &MainWindow::Exit);
  print_setup_action_ = menuBar()->addAction(QStringLiteral("&Print Setup ..."));  // no handler
  help_menu_ = menuBar()->addMenu(QStringLiteral("&Help"));
  help_intro_action_ = help_menu_->addAction(QStringLiteral("&Help - Intro"));
  connect(help_intro_action_, &QAction::triggered, this, [this] { logic_.ShowHelp(); });
  help_separator_ = help_menu_->addSeparator();
  about_action_ = help_menu_->addAction(QStringLiteral("&About"));
  connect(about_action_, &QAction::triggered, this, [this] { logic_.ShowAbout(); });
}

// Keys beside the menus. They are the window's shortcuts rather than the
// entries', so the menus show the designed captions alone.
void MainWindow::BuildShortcuts() {
  const auto bind = [this](const QKeySequence& keys, Qt::ShortcutContext context, auto handler) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(context);
    connect(shortcut, &QShortcut::activated, this, handler);
  };
  // Help and Exit from whichever of the program's windows is active.
  bind(QKeySequence(Qt::Key_F1), Qt::ApplicationShortcut, [this] { help_intro_action_->trigger(); });
  bind(QKeySequence(Qt::CTRL | Qt::Key_Q), Qt::ApplicationShortcut, [this] { exit_action_->trigger(); });
  // F10 opens the first menu; the arrow keys then move along the menu bar.
  bind(QKeySequence(Qt::Key_F10), Qt::WindowShortcut, [this] { menuBar()->setActiveAction(file_menu_->menuAction()); });
}

void MainWindow::ShowAtStart() {
  show();
  // The keyboard starts on row 1's Load button, its focus frame shown as
  // after a Tab, so the user sees where keys go.
  load_buttons_[1]->setFocus(Qt::TabFocusReason);
  setAttribute(Qt::WA_KeyboardFocusChange);
}

void MainWindow::FitToScreen() {
  // The whole table where the screen has room for it, else as much as fits.
  const QSize full = client_->size() + QSize(0, menuBar()->sizeHint().height());
  QSize size = full;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    if (size.width() > room.width() || size.height() > room.height()) {
      const int bar = scroll_->verticalScrollBar()->sizeHint().width();
      size = QSize(std::min(full.width() + bar, room.width()), std::min(full.height() + bar, room.height()));
    }
  }
  setMaximumSize(full + QSize(scroll_->verticalScrollBar()->sizeHint().width(),
                              scroll_->horizontalScrollBar()->sizeHint().height()));
  resize(size);
}

// ---- MainView -----------------------------------------------------------------

void MainWindow::PlaceWindow(double left, double top) { position_.Apply(this, left, top); }
double MainWindow::WindowLeft() const { return position_.Left(this); }
double MainWindow::WindowTop() const { return position_.Top(this); }

QWidget* MainWindow::RowDetail(RowControl control, int16_t row) const {
  const auto i = static_cast<std::size_t>(row);
  switch (control) {
    case RowControl::HeaderButton: return header_buttons_[i];
    case RowControl::FileName: return file_name_cells_[i];
    case RowControl::Object: return object_cells_[i];
    case RowControl::Level: return level_cells_[i];
    case RowControl::OffsetBar: return offset_bars_[i];
    case RowControl::OffsetValue: return offset_cells_[i];
    case RowControl::GapLine: return gap_lines_[i];
    case RowControl::VelocityBar: return velocity_bars_[i];
    case RowControl::VelocityValue: return velocity_cells_[i];
    case RowControl::UnloadButton: return unload_buttons_[i];
    default: return nullptr;
  }
}

void MainWindow::SetRowDetailsVisible(int16_t row, bool visible) {
  if (row < 1 || row > kSlotCount) return;
  for (int c = 0; c < kRowControlCount; ++c) {
    const auto control = static_cast<RowControl>(c);
    if (!IsRowDetail(control)) continue;
    if (QWidget* widget = RowDetail(control, row)) widget->setVisible(visible);
  }
}

void MainWindow::SetCellText(int16_t row, RowCell cell, const std::string& text) {
  if (row < 1 || row > kSlotCount) return;
  const auto i = static_cast<std::size_t>(row);
  QLabel* label = nullptr;
  switch (cell) {
    case RowCell::FileName: label = file_name_cells_[i]; break;
    case RowCell::Object: label = object_cells_[i]; break;
    case RowCell::Level: label = level_cells_[i]; break;
    case RowCell::Offset: label = offset_cells_[i]; break;
    case RowCell::Velocity: label = velocity_cells_[i]; break;
  }
  // The file name is the system's bytes; it shows readable and on one line.
  const QString value = cell == RowCell::FileName ? ShownFileName(text) : QString::fromStdString(text);
  label->setText(value);
  // A long file or object name is cut off by its cell; the tip shows it whole.
  if (cell == RowCell::FileName || cell == RowCell::Object) label->setToolTip(value);
}

void MainWindow::SetOffsetBarMaximum(int16_t row, int maximum) {
  offset_bars_[static_cast<std::size_t>(row)]->setMaximum(maximum);
}
void MainWindow::SetOffsetBarMinimum(int16_t row, int minimum) {
  offset_bars_[static_cast<std::size_t>(row)]->setMinimum(minimum);
}
void MainWindow::SetOffsetBarValue(int16_t row, int value) {
  offset_bars_[static_cast<std::size_t>(row)]->setValue(value);
}

void MainWindow::SetOffsetBarSteps(int16_t row, int small_step, int large_step) {
  QScrollBar* bar = offset_bars_[static_cast<std::size_t>(row)];
  bar->setSingleStep(small_step);
  bar->setPageStep(large_step);
}

int MainWindow::OffsetBarValue(int16_t row) const { return offset_bars_[static_cast<std::size_t>(row)]->value(); }

// ---- Exit and drops ------------------------------------------------------------

void MainWindow::EndTheProgram() {
  if (ended_) return;  // the exit runs once, whether from the menu or the close box
  ended_ = true;
  logic_.SaveSettings(settings_file_);
  if (end_program_) end_program_();
}

void MainWindow::Exit() {
  EndTheProgram();
  hide();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  EndTheProgram();
  event->accept();
}

namespace {
std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    // The path's own bytes: a name that is not UTF-8 must still open.
    if (url.isLocalFile()) paths.push_back(NativeLocalFile(url));
  }
  return paths;
}
}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = LocalFiles(event->mimeData());
  if (paths.empty() || !drop_handler_) return;
  event->acceptProposedAction();
  const QPoint at = client_->mapFrom(this, event->position().toPoint());
  const int16_t row = RowAtClientY(PixelsToTwips(at.y(), this));
  // Loading may show message boxes; the drop is finished first, so the
  // program the files came from is not left waiting on a modal box.
  QMetaObject::invokeMethod(
      this, [this, row, paths] { drop_handler_(row, paths); }, Qt::QueuedConnection);
}

}  // namespace quillon
