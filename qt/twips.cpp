#include "qt/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace quillon {

double LogicalDpi(const QWidget* widget) {
  if (widget != nullptr) {
    const double dpi = widget->logicalDpiX();
    if (dpi > 0) return dpi;
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->logicalDotsPerInchX();
  return 96.0;
}

double PixelsPerTwip(const QWidget* widget) { return LogicalDpi(widget) / kTwipsPerInch; }

int TwipsToPixels(double twips, const QWidget* widget) {
  return static_cast<int>(std::lround(twips * PixelsPerTwip(widget)));
}

double PixelsToTwips(double pixels, const QWidget* widget) { return pixels / PixelsPerTwip(widget); }

QRect TwipsToPixelRect(double left, double top, double width, double height, const QWidget* widget) {
  const int x = TwipsToPixels(left, widget);
  const int y = TwipsToPixels(top, widget);
  // Right and bottom edges are rounded on their own so neighbouring controls meet exactly.
  const int right = TwipsToPixels(left + std::max(0.0, width), widget);
  const int bottom = TwipsToPixels(top + std::max(0.0, height), widget);
  return QRect(x, y, right - x, bottom - y);
}

void PlaceChild(QWidget* child, double left, double top, double width, double height) {
  child->setGeometry(TwipsToPixelRect(left, top, width, height, child));
}

namespace {
QSize FrameExtra(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  return QSize(std::max(0, frame.width() - client.width()), std::max(0, frame.height() - client.height()));
}
}  // namespace

double OuterLeft(const QWidget* window) { return PixelsToTwips(window->frameGeometry().x(), window); }
double OuterTop(const QWidget* window) { return PixelsToTwips(window->frameGeometry().y(), window); }
double OuterWidth(const QWidget* window) { return PixelsToTwips(window->frameGeometry().width(), window); }
double OuterHeight(const QWidget* window) { return PixelsToTwips(window->frameGeometry().height(), window); }

void MoveOuter(QWidget* window, double left, double top) {
  window->move(TwipsToPixels(left, window), TwipsToPixels(top, window));
}

void ResizeOuter(QWidget* window, double width, double height) {
  const QSize extra = FrameExtra(window);
  const int w = std::max(1, TwipsToPixels(width, window) - extra.width());
  const int h = std::max(1, TwipsToPixels(height, window) - extra.height());
  window->resize(w, h);
}

QColor ColorFromBgr(int32_t bgr) {
  const auto value = static_cast<uint32_t>(bgr);
  return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                static_cast<int>((value >> 16) & 0xFFu));
}

}  // namespace quillon
