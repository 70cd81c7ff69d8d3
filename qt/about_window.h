#pragma once
// frmAbout, "About": the program's title, version, terms of distribution and
// where to send reports. A fixed-size window without commands; it remembers
// only its position (AboutLeft, AboutTop).

#include <QWidget>
#include <array>

#include "session/shared_state.h"
#include "qt/held_position.h"

class QLabel;

namespace quillon {

class frmAbout : public QWidget {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs Form_Load; show it with show() and
  /// raise(). `state` must outlive it. The window deletes itself when closed,
  /// after Form_Unload has stored AboutLeft and AboutTop.
  explicit frmAbout(SharedState& state, QWidget* parent = nullptr);

  /// Label n of the window (1, 3, 4, 5, 6 or 7); null for any other n.
  QLabel* Label(int n) const;

  /// "Version <version> of <year-month-day>" for this build.
  static QString VersionLine();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();

  SharedState& state_;
  std::array<QLabel*, 8> labels_{};  ///< indexed by label number
  HeldPosition position_;
};

}  // namespace quillon
