#pragma once
// Twips (1/1440 inch) are the unit of every position and size in the shared
// state and the core; only the Qt layer turns them into pixels, from the
// screen's logical DPI. Colours arrive as 0x00BBGGRR.

#include <QColor>
#include <QRect>
#include <cstdint>

class QWidget;

namespace quillon {

inline constexpr double kTwipsPerInch = 1440.0;

/// Logical DPI of the screen a widget is on (the primary screen for null).
double LogicalDpi(const QWidget* widget);

/// Pixels per twip for `widget` (1/15 at 96 DPI).
double PixelsPerTwip(const QWidget* widget);

int TwipsToPixels(double twips, const QWidget* widget);
double PixelsToTwips(double pixels, const QWidget* widget);

/// A rectangle in twips as pixels.
QRect TwipsToPixelRect(double left, double top, double width, double height, const QWidget* widget);

/// Places a child control at a position and size given in twips.
void PlaceChild(QWidget* child, double left, double top, double width, double height);

/// Outer geometry of a top-level window (frame included where the platform
/// reports one), in twips.
double OuterLeft(const QWidget* window);
double OuterTop(const QWidget* window);
double OuterWidth(const QWidget* window);
double OuterHeight(const QWidget* window);

/// Sets a top-level window's outer position or size in twips. A size is never
/// made smaller than one pixel of client area.
void MoveOuter(QWidget* window, double left, double top);
void ResizeOuter(QWidget* window, double width, double height);

/// A colour stored as 0x00BBGGRR (red in the low byte).
QColor ColorFromBgr(int32_t bgr);

}  // namespace quillon
