#pragma once
// Colours a control keeps under any desktop theme. Where the windows fix a
// control's background (the white cells, the main window's light blue, the
// chooser's and the about box's grey, the plot's white page), its text
// colour is fixed with it: a dark theme would otherwise put its light text
// on the light background. Controls that follow the theme (buttons, lists,
// the menu bar, message boxes) are left to it.

#include <QColor>

class QWidget;

namespace quillon {

/// Fills the widget's background with `colour` (the Window role, every colour group).
void FixBackground(QWidget* widget, const QColor& colour);
/// Text and a plain frame in `colour` (WindowText and Text, every colour group).
void FixTextColour(QWidget* widget, const QColor& colour);
/// Both: a cell, a box or a label on a fixed background.
void FixColours(QWidget* widget, const QColor& background, const QColor& text);

}  // namespace quillon
