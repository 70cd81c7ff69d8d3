#include "qt/about_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QShortcut>

#include "base/int_convert.h"
#include "qt/twips.h"
#include "qt/window_colours.h"
#include "qt/window_fonts.h"

#ifndef QUILLON_VERSION
#error "QUILLON_VERSION must come from the build (the project version)"
#endif
#ifndef QUILLON_RELEASE_DATE
#error "QUILLON_RELEASE_DATE must come from the build (year-month-day)"
#endif

namespace quillon {

namespace {
constexpr double kClientWidth = 4710;
constexpr double kClientHeight = 2505;
constexpr double kLabelLeft = 120;
constexpr double kLabelWidth = 4455;

struct AboutLabel {
  int number;
  double top;
  double height;
};
// Top to bottom.
constexpr AboutLabel kLabels[] = {{1, 120, 375}, {6, 960, 255}, {7, 1200, 255},
                                  {3, 1440, 255}, {4, 1800, 255}, {5, 2160, 255}};
}  // namespace

QString frmAbout::VersionLine() {
  return QStringLiteral("Version %1 of %2").arg(QStringLiteral(QUILLON_VERSION), QStringLiteral(QUILLON_RELEASE_DATE));
}

frmAbout::frmAbout(SharedState& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("About"));
  setAccessibleName(windowTitle());
  setFont(WindowFont());
  FixBackground(this, QColor(224, 224, 224));
  setFixedSize(TwipsToPixels(kClientWidth, this), TwipsToPixels(kClientHeight, this));

  for (const AboutLabel& place : kLabels) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("Label%1").arg(place.number));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    FixTextColour(label, Qt::black);  // the window-text colour of the grey box, whatever the theme
    PlaceChild(label, kLabelLeft, place.top, kLabelWidth, place.height);
    labels_[static_cast<std::size_t>(place.number)] = label;
  }

  Label(1)->setText(QStringLiteral("Quillon Software"));
  Label(1)->setFont(BoldSerifFont(13.5));
  FixTextColour(Label(1), QColor(0, 0, 128));
  Label(6)->setText(VersionLine());
  Label(7)->setText(QString(61, QLatin1Char('-')));
  Label(7)->setAccessibleName(QStringLiteral("Separator"));
  Label(3)->setText(QStringLiteral("Quillon is free: pass it on without restriction."));
  Label(4)->setText(QStringLiteral("Please report bugs, plus suggestions to:"));
  Label(5)->setText(QStringLiteral("bugs@quillon.example.org"));
  for (QLabel* label : labels_) {
    if (label != nullptr && label->accessibleName().isEmpty()) label->setAccessibleName(label->text());
  }

  Form_Load();

  // Escape closes the window as its close box does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QLabel* frmAbout::Label(int n) const {
  if (n < 0 || n >= static_cast<int>(labels_.size())) return nullptr;
  return labels_[static_cast<std::size_t>(n)];
}

void frmAbout::Form_Load() { position_.Apply(this, state_.AboutLeft, state_.AboutTop); }

void frmAbout::Form_Unload() {
  // A position outside 16 bits is clamped to the nearest storable one.
  state_.AboutLeft = RoundToInt16(position_.Left(this));
  state_.AboutTop = RoundToInt16(position_.Top(this));
}

void frmAbout::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

}  // namespace quillon
