#include "qt/plot_window_host.h"

#include "qt/plot_window.h"
#include "qt/twips.h"

namespace quillon {

class PlotWindowHost::Host : public PlotHost {
 public:
  explicit Host(WindowHolder<PlotWindow>& holder) : holder_(holder) {}
  void Show() override {
    PlotWindow& window = holder_.Get();  // a first touch creates it and runs its load handler
    window.ShowModeless();
  }
  void SetFrame(const PlotFrame& frame) override { holder_.Get().SetFrame(frame); }
  DrawingSurface& Surface() override { return holder_.Get().Surface(); }
  double OuterWidth() override { return quillon::OuterWidth(&holder_.Get()); }

 private:
  WindowHolder<PlotWindow>& holder_;
};

PlotWindowHost::PlotWindowHost(SharedState& state, WindowServices& services)
    : state_(state),
      services_(services),
      holder_([this] { return new PlotWindow(state_, services_); }),
      host_(std::make_unique<Host>(holder_)) {}

PlotWindowHost::~PlotWindowHost() = default;

void PlotWindowHost::RenderPlot() { quillon::RenderPlot(state_, *host_); }

void PlotWindowHost::ClearPlotWindow() {
  if (PlotWindow* window = holder_.IfLoaded()) window->ClearDrawing();
}

void PlotWindowHost::HidePlotWindow() {
  if (PlotWindow* window = holder_.IfLoaded()) window->hide();
}

PlotWindow* PlotWindowHost::Window() { return holder_.IfLoaded(); }

}  // namespace quillon
