#pragma once
// The rules of the main window without Qt: its layout in twips, the start-up
// and exit sequences, the row commands and the row display that the FITS
// loader uses. The Qt window (qt/main_window.h) implements MainView and
// forwards its controls' events to the handlers here.
//
// Nesting matters: setting an offset bar's value through MainView must run
// OffsetChanged for that row at once when the value changes, as the real
// scroll bar does, because start-up relies on it to show the offsets.

#include <cstdint>
#include <filesystem>
#include <string>

#include "session/settings_file.h"
#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {

// ---- Layout, twips --------------------------------------------------------

inline constexpr double kMainClientWidth = 13605;
inline constexpr double kMainClientHeight = 13065;
inline constexpr int32_t kMainBackColor = 0x00FFE0A0;  ///< 0x00BBGGRR: red 160, green 224, blue 255
inline constexpr int32_t kTitleColor = 0x00000080;     ///< dark red

inline constexpr int kOffsetBarMinimum = -300;  ///< at the top
inline constexpr int kOffsetBarMaximum = 100;   ///< at the bottom
inline constexpr int kOffsetBarSmallStep = 1;
inline constexpr int kOffsetBarLargeStep = 5;

struct TwipsBox {
  double left, top, width, height;
  friend bool operator==(const TwipsBox&, const TwipsBox&) = default;
};

/// The controls of one row, in the order they take the keyboard focus.
enum class RowControl {
  LoadButton,
  Number,         ///< the row number
  Swatch,         ///< the slot's colour
  HeaderButton,   ///< "Hdr"
  FileName,
  Object,
  Level,
  OffsetBar,
  OffsetValue,    ///< the offset as text
  GapLine,        ///< the line across the gap the staggered offset bars leave
  VelocityBar,    ///< velocity shift (inert)
  VelocityValue,  ///< always "0"
  UnloadButton,
};
inline constexpr int kRowControlCount = 13;

/// Whether a row control is shown only while its slot is loaded.
bool IsRowDetail(RowControl control);

/// Position and size of a row control of row r (1..16). GapLine gives the
/// box its line spans: from `left` to `left + width` at `top`, 0 high.
TwipsBox RowControlBox(RowControl control, int16_t row);

/// The gap line of row r, start and end x at height y: from 9360
/// to 8280 for odd rows, from 8400 to 7320 for even rows, at 600 + 600 r.
struct RowLine {
  double x1, x2, y;
};
RowLine RowLineOf(int16_t row);

/// The row whose band (Top 360 + 600 r to 960 + 600 r, the Load button's
/// extent) holds the client y coordinate, or 0 above and below the table.
int16_t RowAtClientY(double y);

/// The offset as the row shows it: the decimal number, a minus sign when
/// negative and no leading space ("-280", "0", "20").
std::string OffsetText(int16_t offset);

/// The level as the row shows it: the whole part of the normalising level,
/// rounded down ("1234" for 1234.9). A level that is not finite shows "0".
std::string LevelText(double norm);

// ---- The window as the rules see it ----------------------------------------

/// The cells of a row whose text the rules set.
enum class RowCell { FileName, Object, Level, Offset, Velocity };

class MainView {
 public:
  virtual ~MainView() = default;
  /// Places the window's outer top-left corner, twips.
  virtual void PlaceWindow(double left, double top) = 0;
  /// The window's outer top-left corner now, twips.
  virtual double WindowLeft() const = 0;
  virtual double WindowTop() const = 0;
  /// Shows or hides the detail controls of a row (everything but its Load
  /// button, number and swatch).
  virtual void SetRowDetailsVisible(int16_t row, bool visible) = 0;
  virtual void SetCellText(int16_t row, RowCell cell, const std::string& text) = 0;
  /// The offset bar of a row. Changing the value (also by narrowing the
  /// range around it) runs OffsetChanged(row) before returning.
  virtual void SetOffsetBarMaximum(int16_t row, int maximum) = 0;
  virtual void SetOffsetBarMinimum(int16_t row, int minimum) = 0;
  virtual void SetOffsetBarValue(int16_t row, int value) = 0;
  virtual void SetOffsetBarSteps(int16_t row, int small_step, int large_step) = 0;
  virtual int OffsetBarValue(int16_t row) const = 0;
};

class MainWindowLogic : public RowDisplay {
 public:
  /// `state`, `services` and `view` must outlive the logic.
  MainWindowLogic(SharedState& state, WindowServices& services, MainView& view);

  /// The start-up: slot count, settings file, placing, rows, colours, data
  /// range, offsets and their bars, flags and the error texts.
  void Start(const std::filesystem::path& settings_file = kSettingsFileName);
  /// The exit's first step: stores the window's position and writes the
  /// settings file; a failure is reported once. The caller then ends the
  /// program at once.
  void SaveSettings(const std::filesystem::path& settings_file = kSettingsFileName);

  /// The row's Load button: the row's slot becomes CurrentSlot and the file
  /// chooser opens for it.
  void LoadRow(int16_t row);
  /// The row's Unload button: empties the slot and hides the row's details;
  /// with the plot window open, recomputes the data range and redraws or
  /// hides the plot.
  void UnloadRow(int16_t row);
  /// "Plot Spectra": redraws the plot (nothing while no spectrum is loaded).
  void PlotSpectra();
  /// The row's Hdr button: the row's slot becomes CurrentSlot and, when it
  /// is loaded, the header viewer shows its cards.
  void ShowRowHeader(int16_t row);
  /// The row's offset bar moved: the slot takes its value, the plot is
  /// redrawn and the offset cell shows the value.
  void OffsetChanged(int16_t row);
  void ShowHelp();   ///< Help, "Help - Intro"
  void ShowAbout();  ///< Help, "About"

  // RowDisplay, used by the FITS loader after a successful load.
  void ShowLoadedRow(int16_t slot) override;
  void SetOffsetText(int16_t slot, const std::string& text) override;

 private:
  bool IsRow(int16_t row) const;

  SharedState& state_;
  WindowServices& services_;
  MainView& view_;
};

}  // namespace quillon
