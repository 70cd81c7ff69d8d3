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
  AboutLine line;
  const char* name;  // the label's object name
  double top;
  double height;
};
// Top to bottom.
constexpr AboutLabel kLabels[] = {
    {AboutLine::Title, "title", 120, 375},
    {AboutLine::Version, "version", 960, 255},
    {AboutLine::Separator, "separator", 1200, 255},
    {AboutLine::Terms, "terms", 1440, 255},
    {AboutLine::ReportPrompt, "report_prompt", 1800, 255},
    {AboutLine::Address, "address", 2160, 255},
};
}  // namespace

QString AboutWindow::VersionLine() {
  return QStringLiteral("Version %1 of %2").arg(QStringLiteral(QUILLON_VERSION), QStringLiteral(QUILLON_RELEASE_DATE));
}

AboutWindow::AboutWindow(SharedState& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("About"));
  setAccessibleName(windowTitle());
  setFont(WindowFont());
  FixBackground(this, QColor(224, 224, 224));
  setFixedSize(TwipsToPixels(kClientWidth, this), TwipsToPixels(kClientHeight, this));

  for (const AboutLabel& place : kLabels) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(place.name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    FixTextColour(label, Qt::black);  // the window-text colour of the grey box, whatever the theme
    PlaceChild(label, kLabelLeft, place.top, kLabelWidth, place.height);
    lines_[static_cast<std::size_t>(place.line)] = label;
  }

  Line(AboutLine::Title)->setText(QStringLiteral("Quillon Software"));
  Line(AboutLine::Title)->setFont(BoldSerifFont(13.5));
  FixTextColour(Line(AboutLine::Title), QColor(0, 0, 128));
  Line(AboutLine::Version)->setText(VersionLine());
  Line(AboutLine::Separator)->setText(QString(61, QLatin1Char('-')));
  Line(AboutLine::Separator)->setAccessibleName(QStringLiteral("Separator"));
  Line(AboutLine::Terms)->setText(QStringLiteral("Quillon is free: pass it on without restriction."));
  Line(AboutLine::ReportPrompt)->setText(QStringLiteral("Please report bugs, plus suggestions to:"));
  Line(AboutLine::Address)->setText(QStringLiteral("bugs@quillon.example.org"));
  for (QLabel* label : lines_) {
    if (label != nullptr && label->accessibleName().isEmpty()) label->setAccessibleName(label->text());
  }

  Load();

  // Escape closes the window as its close box does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QLabel* AboutWindow::Line(AboutLine line) const {
  const int index = static_cast<int>(line);
  if (index < 0 || index >= kAboutLineCount) return nullptr;
  return lines_[static_cast<std::size_t>(index)];
}

void AboutWindow::Load() { position_.Apply(this, state_.AboutLeft, state_.AboutTop); }

void AboutWindow::Unload() {
  // A position outside 16 bits is clamped to the nearest storable one.
  state_.AboutLeft = RoundToInt16(position_.Left(this));
  state_.AboutTop = RoundToInt16(position_.Top(this));
}

void AboutWindow::closeEvent(QCloseEvent* event) {
  Unload();
  event->accept();
}

}  // namespace quillon
