#include "session/main_window_logic.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "session/error_text.h"
#include "base/int_convert.h"

namespace quillon {

namespace {

constexpr double kRowPitch = 600;
constexpr double kCellHeight = 255;

double CellTop(int16_t row) { return 480 + kRowPitch * row; }
bool IsOdd(int16_t row) { return row % 2 != 0; }

}  // namespace

bool IsRowDetail(RowControl control) {
  switch (control) {
    case RowControl::LoadButton:
    case RowControl::Number:
    case RowControl::Swatch:
      return false;
    default:
      return true;
  }
}

TwipsBox RowControlBox(RowControl control, int16_t row) {
  const double top = CellTop(row);
  switch (control) {
    case RowControl::LoadButton:
      return {120, 360 + kRowPitch * row, 855, 495};
    case RowControl::Number:
      return {1080, top, 255, kCellHeight};
    case RowControl::Swatch:
      return {1440, top, 255, kCellHeight};
    case RowControl::HeaderButton:
      return {1800, top, 495, kCellHeight};
    case RowControl::FileName:
      return {2400, top, 2295, kCellHeight};
    case RowControl::Object:
      return {4800, top, 1455, kCellHeight};
    case RowControl::Level:
      return {6360, top, 855, kCellHeight};
    case RowControl::OffsetBar:
      return {IsOdd(row) ? 7320.0 : 8520.0, 120 + kRowPitch * row, 255, 975};
    case RowControl::OffsetValue:
      return {IsOdd(row) ? 7680.0 : 8880.0, top, 495, kCellHeight};
    case RowControl::GapLine: {
      const RowLine line = RowLineOf(row);
      return {std::min(line.x1, line.x2), line.y, std::abs(line.x1 - line.x2), 0};
    }
    case RowControl::VelocityBar:
      return {9480, top, 975, kCellHeight};
    case RowControl::VelocityValue:
      return {10560, top, 495, kCellHeight};
    case RowControl::UnloadButton:
      return {11160, top, 735, kCellHeight};
  }
  return {};
}

RowLine RowLineOf(int16_t row) {
  const double y = 600 + kRowPitch * row;
  return IsOdd(row) ? RowLine{9360, 8280, y} : RowLine{8400, 7320, y};
}

int16_t RowAtClientY(double y) {
  if (!std::isfinite(y)) return 0;
  const double band = std::floor((y - 360) / kRowPitch);
  if (band < 1 || band > kSlotCount) return 0;
  return static_cast<int16_t>(band);
}

std::string OffsetText(int16_t offset) { return std::to_string(offset); }

std::string LevelText(double norm) {
  if (!std::isfinite(norm)) return "0";
  // Whole digits of any size, not only those that fit an integer type.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::floor(norm), std::chars_format::fixed, 0);
  std::string text(buffer, result.ptr);
  return text == "-0" ? "0" : text;
}

MainWindowLogic::MainWindowLogic(SharedState& state, WindowServices& services, MainView& view)
    : state_(state), services_(services), view_(view) {}

bool MainWindowLogic::IsRow(int16_t row) const { return row >= 1 && row <= state_.SlotCount && row <= kSlotCount; }

void MainWindowLogic::Start(const std::filesystem::path& settings_file) {
  state_.SlotCount = kSlotCount;
  ReadSettingsFile(state_, settings_file);  // any failure: every setting takes its default, silently
  view_.PlaceWindow(state_.MainLeft, state_.MainTop);
  for (int16_t r = 1; r <= state_.SlotCount; ++r) {
    state_.Slots[r].loaded = false;
    view_.SetRowDetailsVisible(r, false);
  }
  FillSlotColors(state_);
  state_.DataLambdaMin = 99999;
  state_.DataLambdaMax = -99999;
  state_.PlotWindowOpen = false;
  for (int16_t r = 1; r <= state_.SlotCount; ++r) state_.Slots[r].offset = DefaultSlotOffset(r);
  // Setting a value that differs from the bar's runs OffsetChanged(r), which
  // writes the offset cell; the bar that already stands at its offset does not.
  for (int16_t r = 1; r <= state_.SlotCount; ++r) {
    view_.SetOffsetBarMaximum(r, kOffsetBarMaximum);
    view_.SetOffsetBarMinimum(r, kOffsetBarMinimum);
    view_.SetOffsetBarValue(r, state_.Slots[r].offset);
    view_.SetOffsetBarSteps(r, kOffsetBarSmallStep, kOffsetBarLargeStep);
  }
  state_.SpectraLoaded = false;
  FillErrorText(state_);
}

void MainWindowLogic::SaveSettings(const std::filesystem::path& settings_file) {
  state_.MainLeft = RoundToInt16(view_.WindowLeft());
  state_.MainTop = RoundToInt16(view_.WindowTop());
  const std::string reason = WriteSettingsFile(state_, settings_file);
  if (!reason.empty()) services_.ShowMessage(SettingsWriteFailureMessage(settings_file, reason));
}

void MainWindowLogic::LoadRow(int16_t row) {
  if (!IsRow(row)) return;
  state_.CurrentSlot = row;
  services_.OpenFileChooser();
}

void MainWindowLogic::UnloadRow(int16_t row) {
  if (!IsRow(row)) return;
  state_.CurrentSlot = row;
  state_.Slots[row].loaded = false;
  view_.SetRowDetailsVisible(row, false);  // the cells keep their texts, hidden
  if (CountLoadedSlots(state_) == 0) state_.SpectraLoaded = false;
  if (state_.PlotWindowOpen) {
    UpdateDataRange(state_);
    if (CountLoadedSlots(state_) > 0) {
      services_.ClearPlotWindow();
      services_.RenderPlot();
    } else {
      // Hidden, not unloaded: PlotWindowOpen stays set, so the next load shows it again.
      services_.HidePlotWindow();
      state_.DataLambdaMin = 9999;
      state_.DataLambdaMax = -9999;
    }
  }
}

void MainWindowLogic::PlotSpectra() { services_.RenderPlot(); }

void MainWindowLogic::ShowRowHeader(int16_t row) {
  if (!IsRow(row)) return;
  state_.CurrentSlot = row;
  if (state_.Slots[row].loaded) services_.ShowHeaderCards(row);
}

void MainWindowLogic::OffsetChanged(int16_t row) {
  if (!IsRow(row)) return;
  state_.Slots[row].offset = ClampToInt16(view_.OffsetBarValue(row));
  if (state_.SpectraLoaded) services_.RenderPlot();
  view_.SetCellText(row, RowCell::Offset, OffsetText(state_.Slots[row].offset));
}

void MainWindowLogic::ShowHelp() { services_.ShowHelpWindow(); }

void MainWindowLogic::ShowAbout() { services_.ShowAboutWindow(); }

void MainWindowLogic::ShowLoadedRow(int16_t slot) {
  if (!IsRow(slot)) return;
  view_.SetRowDetailsVisible(slot, true);
  view_.SetCellText(slot, RowCell::FileName, state_.Slots[slot].file_name);
  view_.SetCellText(slot, RowCell::Object, SlotSpectrum(state_, slot).header.object);
  view_.SetCellText(slot, RowCell::Level, LevelText(SlotSpectrum(state_, slot).norm));
  view_.SetCellText(slot, RowCell::Offset, OffsetText(state_.Slots[slot].offset));
  view_.SetCellText(slot, RowCell::Velocity, "0");
}

void MainWindowLogic::SetOffsetText(int16_t slot, const std::string& text) {
  if (IsRow(slot)) view_.SetCellText(slot, RowCell::Offset, text);
}

}  // namespace quillon
