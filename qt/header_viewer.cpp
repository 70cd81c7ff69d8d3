#include "qt/header_viewer.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <algorithm>
#include <cmath>

#include "qt/twips.h"

namespace quillon {

HeaderViewer::HeaderViewer(SharedState& state, WindowServices& /*services: the viewer calls nothing outside itself*/,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(state, *this) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Display Fits Hdr - 2D Spectrum"));
  setAccessibleName(windowTitle());
  setAccessibleDescription(QStringLiteral("Header cards of the spectrum, one per line"));

  scroll_bar_ = new QScrollBar(Qt::Vertical, this);
  scroll_bar_->setObjectName(QStringLiteral("scroll_bar"));
  scroll_bar_->setAccessibleName(QStringLiteral("Scroll header cards"));
  const HeaderScrollBar& designed = logic_.ScrollBar();
  scroll_bar_->setRange(designed.min, designed.max);
  scroll_bar_->setValue(designed.value);
  // Each change of value runs the logic's Scrolled at once; the logic's own
  // mirroring arrives here with the value it already holds and is ignored there.
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this](int value) { logic_.ScrolledByUser(value); });

  ChooseCardFont();
  logic_.Load();

  // Escape closes the window as its close box does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  // Ctrl+C, or the entry of the surface's context menu, copies the header.
  copy_header_action_ = new QAction(QStringLiteral("Copy Header"), this);
  copy_header_action_->setShortcut(QKeySequence::Copy);
  copy_header_action_->setShortcutContext(Qt::WindowShortcut);
  connect(copy_header_action_, &QAction::triggered, this, &HeaderViewer::CopyHeader);
  addAction(copy_header_action_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void HeaderViewer::CopyHeader() {
  const int16_t slot = logic_.PrintedSlot();
  if (slot == 0) return;  // nothing printed yet
  const std::string text = HeaderText(logic_.State(), slot);
  // Cards are ASCII; Latin-1 keeps any other byte as the character it stands for on the screen.
  QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

double HeaderViewer::LinePixels() const { return HeaderViewerLogic::kLineTwips * PixelsPerTwip(this); }

void HeaderViewer::ChooseCardFont() {
  // A fixed-pitch font small enough that one card fits in one 194.5-twip line,
  // so the 80 columns of every card line up and lines never overlap.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  const int limit = std::max(1, static_cast<int>(std::floor(LinePixels())));
  for (int pixels = limit; pixels >= 1; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= limit) break;
  }
  card_font_ = font;
}

void HeaderViewer::ShowCardsFromTop(int16_t slot) {
  if (!isVisible()) {
    show();  // the first display runs the logic's Resized (showEvent)
  } else if (isMinimized()) {
    showNormal();
  }
  raise();
  activateWindow();
  logic_.PrintCardsFromTop(slot);
}

QSize HeaderViewer::FrameExtra() const {
  const QSize frame = frameGeometry().size();
  const QSize client = geometry().size();
  return QSize(std::max(0, frame.width() - client.width()), std::max(0, frame.height() - client.height()));
}

void HeaderViewer::ApplyPosition(double left, double top) { position_.Apply(this, left, top); }

void HeaderViewer::ApplySize(double width, double height) {
  const QSize extra = FrameExtra();
  applied_extra_ = extra;
  // Recorded before resizing: the window system may report this size at once
  // or later, and the logic has already handled it either way.
  handled_client_ = QSize(std::max(1, TwipsToPixels(width, this) - extra.width()),
                          std::max(1, TwipsToPixels(height, this) - extra.height()));
  ResizeOuter(this, width, height);
}

void HeaderViewer::ApplyScrollBar(const HeaderScrollBar& bar) {
  if (scroll_bar_ == nullptr) return;
  scroll_bar_->setRange(bar.min, bar.max);
  scroll_bar_->setValue(bar.value);
  scroll_bar_->setSingleStep(bar.small_change);
  scroll_bar_->setPageStep(bar.large_change);
  PlaceChild(scroll_bar_, bar.left, bar.top, bar.width, std::max(0.0, bar.height));
  scroll_bar_->setVisible(bar.visible);
}

void HeaderViewer::SurfaceChanged() { update(); }

void HeaderViewer::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setFont(card_font_);
  painter.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics(card_font_);
  const auto& lines = logic_.PrintedLines();
  const QRect dirty = event->rect();
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const int top = TwipsToPixels(static_cast<double>(k) * HeaderViewerLogic::kLineTwips, this);
    if (top > dirty.bottom()) break;
    if (top + metrics.height() < dirty.top()) continue;
    // Cards are ASCII; Latin-1 shows any other byte as itself instead of failing.
    painter.drawText(0, top + metrics.ascent(), QString::fromLatin1(lines[k].data(), static_cast<qsizetype>(lines[k].size())));
  }
}

void HeaderViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isMinimized()) return;
  if (event->size() == handled_client_) return;  // already handled when the size was set
  handled_client_ = event->size();
  const QSize extra = FrameExtra();
  logic_.ResizedByUser(PixelsToTwips(event->size().width() + extra.width(), this),
                       PixelsToTwips(event->size().height() + extra.height(), this), isMinimized());
}

void HeaderViewer::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (displayed_) return;
  displayed_ = true;
  // The frame is known only now: keep the outer size the logic holds.
  ApplySize(logic_.Width(), logic_.Height());
  logic_.Resized();  // the first display raises a resize
}

void HeaderViewer::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Where the window manager frames a window only after it is shown, the
  // size set at its first display gave the whole outer height to the client,
  // and the window stood taller than the logic takes it to be, with blank
  // lines below the last card. Once the frame is known, make the outer size
  // the logic's again, unless the user has resized the window since.
  if (!displayed_ || isMinimized() || isMaximized() || isFullScreen()) return;
  if (FrameExtra() == applied_extra_ || size() != handled_client_) return;
  ApplySize(logic_.Width(), logic_.Height());
}

void HeaderViewer::closeEvent(QCloseEvent* event) {
  logic_.Unload(position_.Left(this), position_.Top(this));
  event->accept();
}

}  // namespace quillon
