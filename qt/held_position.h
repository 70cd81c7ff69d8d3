#pragma once
// A window's outer position in twips that survives the trip through whole
// pixels: a window placed at 500 twips (33.3 pixels at 96 DPI) and closed
// without being moved gives back 500, not 495, so the settings file does not
// creep on every open and close.

#include <QPoint>

class QWidget;

namespace quillon {

class HeldPosition {
 public:
  /// Moves `window` to the outer position (`left`, `top`) in twips and remembers it.
  void Apply(QWidget* window, double left, double top);
  /// The window's outer left and top in twips: the remembered values while the
  /// window stands where they put it, else its present position converted.
  double Left(const QWidget* window) const;
  double Top(const QWidget* window) const;

 private:
  double left_ = 0;
  double top_ = 0;
  QPoint pixels_{-1000000, -1000000};  // no position applied yet
};

}  // namespace quillon
