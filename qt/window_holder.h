#pragma once
// Each window of the program exists at most once: it is created the first
// time any code touches it, hiding keeps it, and unloading (its close box)
// destroys it after its unload handler has stored its geometry. A WindowHolder
// keeps that lifetime for one window class.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

namespace quillon {

template <typename Window>
class WindowHolder {
 public:
  /// `factory` creates the window (its construction runs its load handler); the
  /// window must have Qt::WA_DeleteOnClose so that closing it unloads it.
  explicit WindowHolder(std::function<Window*()> factory) : factory_(std::move(factory)) {}
  ~WindowHolder() { delete window_.data(); }  // program end: no close event, no unload handler
  WindowHolder(const WindowHolder&) = delete;
  WindowHolder& operator=(const WindowHolder&) = delete;

  /// The window, created (and so loaded) first if it does not exist.
  Window& Get() {
    if (window_.isNull()) window_ = factory_();
    return *window_;
  }
  /// The window if it exists, without creating it.
  Window* IfLoaded() const { return window_.data(); }
  bool IsLoaded() const { return !window_.isNull(); }

 private:
  std::function<Window*()> factory_;
  QPointer<Window> window_;
};

}  // namespace quillon
