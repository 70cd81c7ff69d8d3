#include "qt/window_fonts.h"

#include <QStringList>

namespace quillon {

namespace {
QFont Make(const QStringList& families, QFont::StyleHint hint, double points) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}
}  // namespace

QFont WindowFont() {
  return Make({"MS Sans Serif", "Arial", "Helvetica", "Nimbus Sans", "Liberation Sans", "DejaVu Sans"},
              QFont::SansSerif, 8.25);
}

QFont BoldSansFont(double points) {
  return Make({"Arial", "Helvetica", "Nimbus Sans", "Liberation Sans", "DejaVu Sans"}, QFont::SansSerif, points);
}

QFont BoldSerifFont(double points) {
  return Make({"MS Serif", "Times New Roman", "Times", "Nimbus Roman", "Liberation Serif", "DejaVu Serif"},
              QFont::Serif, points);
}

}  // namespace quillon
