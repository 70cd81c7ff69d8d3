#include "qt/window_colours.h"

#include <QPalette>
#include <QWidget>

namespace quillon {

void FixBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void FixTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::Text, colour);
  widget->setPalette(palette);
}

void FixColours(QWidget* widget, const QColor& background, const QColor& text) {
  FixBackground(widget, background);
  FixTextColour(widget, text);
}

}  // namespace quillon
