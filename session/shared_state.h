#pragma once
// The state that every window and every routine of the program shares: the
// sixteen spectrum slots, the data and plotted wavelength ranges, the frame of
// the last drawing, the flags, the calibration keyword names, the stored
// geometry of every window and the run-time error texts.
//
// It is created at start-up, lives until exit and belongs to no window. Field
// names are the names used throughout the program; every per-slot table is
// indexed by slot 0..16 (entry 0 belongs to no slot) and checks its index.

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/int_convert.h"
#include "spectrum/wavelength_scale.h"

namespace quillon {

inline constexpr int16_t kSlotCount = 16;

/// The min/max pyramid over a slot's levelled samples (plot/level_summary.h).
class LevelSummary;
inline constexpr int kErrorTextLast = 1000;

/// A per-slot table with entries 0..16. An index outside that range is a
/// programming error and throws std::out_of_range; nothing is ever written out
/// of bounds.
template <typename T>
class SlotTable {
 public:
  T& operator[](int slot) { return values_.at(CheckedIndex(slot)); }
  const T& operator[](int slot) const { return values_.at(CheckedIndex(slot)); }
  void Fill(const T& value) { values_.fill(value); }

 private:
  static std::size_t CheckedIndex(int slot) {
    if (slot < 0 || slot > kSlotCount) throw std::out_of_range("slot index " + std::to_string(slot));
    return static_cast<std::size_t>(slot);
  }
  std::array<T, kSlotCount + 1> values_{};
};

/// Growable per-slot array with entry 0 unused: samples 1..n or cards 1..n.
/// Reads past the end are programming errors (use .at()).
using SampleArray = std::vector<double>;
using CardArray = std::vector<std::string>;

struct SharedState {
  // ---- Slot table -------------------------------------------------------
  SlotTable<int16_t> SlotLoaded;        ///< flag: the slot holds a spectrum
  SlotTable<std::string> SlotFileName;  ///< file name inside FitsDirectory
  SlotTable<std::string> SlotObject;    ///< OBJECT value without its quotes
  SlotTable<int32_t> SlotColor;         ///< curve colour, 0x00BBGGRR
  SlotTable<int16_t> SlotOffset;        ///< vertical offset in levelled units
  SlotTable<double> SlotLambda0;        ///< wavelength of pixel 0, Angstroms
  SlotTable<double> SlotDispersion;     ///< Angstroms per pixel (negative: stored red to blue)
  SlotTable<double> SlotLambdaStart;    ///< short-wavelength end of the spectrum (pixel 0 when ascending)
  SlotTable<double> SlotLambdaEnd;      ///< long-wavelength end of the spectrum (the last sample when ascending)
  /// The loader's wavelength scale of the slot. Read it through
  /// SlotWavelengthScale, which describes linear slots by the four fields above.
  SlotTable<WavelengthScale> SlotScale;
  SlotTable<double> SlotBitpix;
  SlotTable<double> SlotNaxis;
  SlotTable<double> SlotNaxis1;  ///< number of samples
  SlotTable<double> SlotNaxis2;
  SlotTable<int16_t> SlotNaxis3;
  SlotTable<double> SlotBscale;
  SlotTable<double> SlotBzero;
  SlotTable<SampleArray> SlotIntensity;  ///< decoded samples, index 1..NAXIS1
  SlotTable<double> SlotNorm;            ///< normalising level (median of block maxima)
  SlotTable<SampleArray> SlotLevelled;   ///< 100 x SlotIntensity / SlotNorm, index 1..NAXIS1
  SlotTable<double> SlotLevelledMax;     ///< largest levelled value of the slot
  /// Min/max pyramid over SlotLevelled, built by the loader; the renderer
  /// builds it again when it no longer describes SlotLevelled.
  SlotTable<std::shared_ptr<const LevelSummary>> SlotSummary;
  SlotTable<CardArray> HeaderCard;       ///< 80-character cards in file order, index 1..
  SlotTable<CardArray> HeaderKeyword;    ///< keyword of each card, index 1..
  SlotTable<CardArray> HeaderValue;      ///< value part of each card, index 1..
  SlotTable<int16_t> HeaderLineCount;    ///< number of cards before END; 0 without END

  // ---- Loader scratch ---------------------------------------------------
  /// The arrays a load decodes and levels a file into. A load that succeeds
  /// exchanges them with the slot's, so the slot's previous arrays, their
  /// memory already touched, take the next load without a page fault per
  /// page, and a refused load leaves the slot as it was. Only the loader
  /// uses them; they hold no spectrum between loads.
  struct LoadScratch {
    SampleArray intensity;
    SampleArray levelled;
    std::vector<double> peaks;  ///< block maxima of the level
  };
  LoadScratch LoaderScratch;

  // ---- Shared scalars ---------------------------------------------------
  int16_t SlotCount = kSlotCount;
  int16_t CurrentSlot = 0;
  std::string FitsDirectory;
  std::string KeywordLambda0 = "CRVAL1";
  std::string KeywordDispersion = "CD1_1";
  double DataLambdaMin = 99999;
  double DataLambdaMax = -99999;
  double PlotLambdaMin = 0;
  double PlotLambdaMax = 0;
  double PlotLambdaSpan = 0;
  double PlotIntensityMax = 0;
  double PlotIntensityMin = 0;
  int16_t FrameLeft = 0;
  int16_t FrameRight = 0;
  int16_t FrameTop = 0;
  int16_t FrameBottom = 0;
  int16_t SpectraLoaded = kFalse;
  int16_t PlotWindowOpen = kFalse;
  int16_t RenderBusy = kFalse;
  std::array<std::string, kErrorTextLast + 1> ErrorText{};

  // ---- Window geometry, twips (defaults are those of the settings file) --
  int16_t MainLeft = 200, MainTop = 200;
  int16_t LoadLeft = 500, LoadTop = 500;
  int16_t HdrLeft = 500;
  double HdrTop = 500;  ///< the viewer stores its Top unconverted
  int16_t HdrWidth = 3000, HdrHeight = 10000;
  int16_t SpareLeft = 500, SpareTop = 500, SpareWidth = 3000, SpareHeight = 10000;
  int16_t PlotLeft = 100, PlotTop = 2000, PlotWidth = 10000, PlotHeight = 5000;
  int16_t HelpLeft = 500, HelpTop = 500, HelpWidth = 10000, HelpHeight = 500;
  int16_t AboutLeft = 500, AboutTop = 500;

  SharedState();
};

/// The fixed curve colour of a slot 1..16 (0x00BBGGRR).
int32_t DefaultSlotColor(int slot);

/// Fills SlotColor with the fixed colour table.
void FillSlotColors(SharedState& state);

/// Start offset of a slot: 20 x (slot - 15), so slot 1 is drawn highest.
inline int16_t DefaultSlotOffset(int slot) { return static_cast<int16_t>(20 * (slot - 15)); }

/// Recomputes DataLambdaMin/Max from the loaded slots (starting from 9999 and
/// -9999) and makes that range the plotted one.
void UpdateDataRange(SharedState& state);

/// Where the samples of `slot` lie. A logarithmic SlotScale is the slot's
/// scale; otherwise the scale is linear with step SlotDispersion from pixel 0,
/// which is SlotLambdaStart for an ascending spectrum and SlotLambdaEnd for a
/// descending one, so a slot described by those fields alone (as the
/// renderer has always read it) keeps its place.
WavelengthScale SlotWavelengthScale(const SharedState& state, int slot);

/// Number of slots 1..16 whose SlotLoaded is non-zero.
int16_t CountLoadedSlots(const SharedState& state);

}  // namespace quillon
