#pragma once
// The help window, "Help": a title and three fixed paragraphs in word-wrapped
// labels. Its height follows from its width and the length of the text every
// time the window changes size (HelpWindowLogic); the user sets only the width.

#include <QSize>
#include <QWidget>
#include <array>

#include "session/shared_state.h"
#include "qt/held_position.h"
#include "session/help_layout.h"

class QLabel;

namespace quillon {

class HelpWindow : public QWidget, private HelpView {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs the logic's Load; show it with
  /// show() and raise(). `state` must outlive it. The window deletes itself
  /// when closed, after the logic's Unload has stored HelpLeft/Top/Width/Height.
  explicit HelpWindow(SharedState& state, QWidget* parent = nullptr);

  /// The title label.
  QLabel* Title() const { return title_; }
  /// The label of paragraph k, k = 1..3; null for any other k.
  QLabel* Paragraph(int k) const;
  const HelpWindowLogic& Logic() const { return logic_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ApplyPosition(double left, double top) override;
  void ApplySize(double width, double height) override;
  void ApplyTexts(const std::string& title, const std::array<std::string, 17>& paragraphs) override;
  void ApplyLayout(const HelpLayout& layout) override;
  QSize FrameExtra() const;

  QLabel* title_ = nullptr;
  std::array<QLabel*, kHelpParagraphs> paragraphs_{};
  HelpWindowLogic logic_;
  HeldPosition position_;
  QSize handled_client_;
  bool displayed_ = false;
};

}  // namespace quillon
