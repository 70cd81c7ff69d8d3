#include "qt/held_position.h"

#include <QWidget>

#include "qt/twips.h"

namespace quillon {

void HeldPosition::Apply(QWidget* window, double left, double top) {
  MoveOuter(window, left, top);
  left_ = left;
  top_ = top;
  pixels_ = window->frameGeometry().topLeft();
}

double HeldPosition::Left(const QWidget* window) const {
  const int x = window->frameGeometry().x();
  return x == pixels_.x() ? left_ : OuterLeft(window);
}

double HeldPosition::Top(const QWidget* window) const {
  const int y = window->frameGeometry().y();
  return y == pixels_.y() ? top_ : OuterTop(window);
}

}  // namespace quillon
