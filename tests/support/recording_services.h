#pragma once
// A WindowServices that records what the core asks of the windows, in order.

#include <string>
#include <vector>

#include "session/window_services.h"

namespace quillon::testing {

class RecordingServices : public WindowServices {
 public:
  std::vector<std::string> messages;  ///< message box texts, in order
  std::vector<std::string> calls;     ///< every call, e.g. "ShowLoadedRow 3", "RenderPlot"

  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    calls.push_back("ShowMessage " + text);
  }
  void ShowLoadedRow(int16_t slot) override { calls.push_back("ShowLoadedRow " + std::to_string(slot)); }
  void SetOffsetText(int16_t slot, const std::string& text) override {
    calls.push_back("SetOffsetText " + std::to_string(slot) + " " + text);
  }
  void RenderPlot() override { calls.push_back("RenderPlot"); }
  void ClearPlotWindow() override { calls.push_back("ClearPlotWindow"); }
  void HidePlotWindow() override { calls.push_back("HidePlotWindow"); }
  void OpenFileChooser() override { calls.push_back("OpenFileChooser"); }
  void ShowHeaderCards(int16_t slot) override { calls.push_back("ShowHeaderCards " + std::to_string(slot)); }
  void ShowHelpWindow() override { calls.push_back("ShowHelpWindow"); }
  void ShowAboutWindow() override { calls.push_back("ShowAboutWindow"); }
};

}  // namespace quillon::testing
