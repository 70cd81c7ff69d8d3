#pragma once
// The about window, "About": the program's title, version, terms of
// distribution and where to send reports. A fixed-size window without
// commands; it remembers only its position (AboutLeft, AboutTop).

#include <QWidget>
#include <array>

#include "session/shared_state.h"
#include "qt/held_position.h"

class QLabel;

namespace quillon {

/// The lines of the about window, top to bottom.
enum class AboutLine {
  Title,         ///< "Quillon Software"
  Version,       ///< "Version <version> of <year-month-day>"
  Separator,     ///< a row of hyphens
  Terms,         ///< the terms of distribution
  ReportPrompt,  ///< "Please report bugs, plus suggestions to:"
  Address,       ///< where reports go
};
inline constexpr int kAboutLineCount = 6;

class AboutWindow : public QWidget {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs Load; show it with show() and
  /// raise(). `state` must outlive it. The window deletes itself when closed,
  /// after Unload has stored AboutLeft and AboutTop.
  explicit AboutWindow(SharedState& state, QWidget* parent = nullptr);

  /// The label that shows `line`; null for a value outside AboutLine.
  QLabel* Line(AboutLine line) const;

  /// "Version <version> of <year-month-day>" for this build.
  static QString VersionLine();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Load();    ///< places the window at (AboutLeft, AboutTop)
  void Unload();  ///< stores its position there

  SharedState& state_;
  std::array<QLabel*, kAboutLineCount> lines_{};  ///< indexed by AboutLine
  HeldPosition position_;
};

}  // namespace quillon
