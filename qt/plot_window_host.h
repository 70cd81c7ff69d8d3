#pragma once
// PlotWindowHost: the plot window as the rest of the program reaches it. The
// application object owns exactly one; it creates the PlotWindow the first
// time RenderPlot needs to show it (inside RenderPlot, while RenderBusy is
// set) and runs the renderer over it.

#include <memory>

#include "render/renderer.h"
#include "session/plot_view.h"
#include "session/shared_state.h"
#include "qt/window_holder.h"
#include "session/window_services.h"

namespace quillon {

class PlotWindow;

class PlotWindowHost : public PlotRedraw {
 public:
  /// `state` and `services` must outlive the host; `services` is what the
  /// window calls (its RenderPlot should come back to this host).
  PlotWindowHost(SharedState& state, WindowServices& services);
  ~PlotWindowHost() override;
  PlotWindowHost(const PlotWindowHost&) = delete;
  PlotWindowHost& operator=(const PlotWindowHost&) = delete;

  /// quillon::RenderPlot over the window, creating (loading) it first if needed.
  void RenderPlot() override;
  /// Clears the window's drawing if it is loaded.
  void ClearPlotWindow();
  /// Hides the window if it is loaded; it stays loaded.
  void HidePlotWindow();
  /// The window, or nullptr when it is not loaded.
  PlotWindow* Window();

 private:
  SharedState& state_;
  WindowServices& services_;
  class Host;
  WindowHolder<PlotWindow> holder_;
  std::unique_ptr<Host> host_;
};

}  // namespace quillon
