#pragma once
// The state that every window and every routine of the program shares: the
// sixteen spectrum slots, the data and plotted wavelength ranges, the flags,
// the calibration keyword names, the stored geometry of every window and the
// run-time error texts. The plot window keeps the frame of its last drawing
// itself.
//
// It is created at start-up, lives until exit and belongs to no window. Field
// names are the names used throughout the program (the settings file stores
// the geometry under them); the slot table is indexed by slot 0..16 (entry 0
// belongs to no slot) and checks its index.

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/int_convert.h"
#include "spectrum/spectrum.h"
#include "spectrum/spectrum_reader.h"

namespace quillon {

inline constexpr int16_t kSlotCount = 16;
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

/// One row of the spectrum table.
struct Slot {
  bool loaded = false;    ///< the slot holds a spectrum that is drawn
  std::string file_name;  ///< the file's name inside FitsDirectory, as the chooser last gave it
  int32_t color = 0;      ///< curve colour, 0x00BBGGRR
  int16_t offset = 0;     ///< vertical offset in levelled units
  /// The spectrum last published into the slot. It stays when the slot is
  /// unloaded (only `loaded` falls) and when a later file is refused.
  SpectrumPtr spectrum;
  /// The header last read into the slot: the published spectrum's, or what
  /// a refused file's reading had stored before its refusal (its cards, or
  /// only its first keyword). The header viewer shows its cards.
  std::shared_ptr<const SpectrumHeader> header;
};

struct SharedState {
  // ---- Slot table -------------------------------------------------------
  SlotTable<Slot> Slots;

  /// Arrays the reader fills instead of new memory; a replaced spectrum
  /// nobody else holds gives its arrays back here (RecycleSpectrum).
  ReaderScratch LoaderScratch;

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
  bool SpectraLoaded = false;   ///< a spectrum has been loaded since the table was last empty
  bool PlotWindowOpen = false;  ///< the plot window has been shown and not closed since
  bool RenderBusy = false;      ///< a drawing is showing and clearing the plot window
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

/// Gives every slot its fixed colour.
void FillSlotColors(SharedState& state);

/// Start offset of a slot: 20 x (slot - 15), so slot 1 is drawn highest.
inline int16_t DefaultSlotOffset(int slot) { return static_cast<int16_t>(20 * (slot - 15)); }

/// Recomputes DataLambdaMin/Max from the loaded slots (starting from 9999 and
/// -9999) and makes that range the plotted one.
void UpdateDataRange(SharedState& state);

/// Number of slots 1..16 that are loaded.
int16_t CountLoadedSlots(const SharedState& state);

/// The spectrum of a loaded slot (the slot must be loaded).
const Spectrum& SlotSpectrum(const SharedState& state, int slot);

/// The header last read into `slot`; an empty one before any.
const SpectrumHeader& SlotHeader(const SharedState& state, int slot);

/// The slot's calibration keyword names, as the reader takes them.
CalibrationKeywords KeywordsOf(const SharedState& state);

}  // namespace quillon
