#pragma once
// As it was before FITS physical values and wavelength scales, kept in
// quillon::before for the side-by-side load benchmark.
// LoadFitsSpectrum: reads one FITS file into one spectrum slot.

#include <cstdint>
#include <string>

#include "fits/byte_source.h"
#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon::before {

/// Loads FitsDirectory / SlotFileName(slot) into `slot`: reads and checks the
/// header, decodes and calibrates the samples, computes the level, and
/// publishes the slot (row display, flags, a redraw when PlotWindowOpen is
/// set). Refusals and warnings go to `messages` in order; a refused file
/// leaves SlotLoaded, the samples, the row and the data range as they were,
/// and a slot that stays loaded keeps the wavelength scale and sample count
/// (SlotLambda0, SlotLambdaStart, SlotDispersion, SlotNaxis1) it is drawn by.
/// A slot outside 1..SlotCount loads nothing.
void LoadFitsSpectrum(SharedState& state, int16_t slot, MessageSink& messages, RowDisplay& rows,
                      PlotRedraw& plot);

/// Working values of one load that the shared state does not keep, for the
/// diagnostics of tools/quillon-inspect.
struct FitsLoadDetails {
  bool file_read = false;       ///< the file was opened and its header text read
  bool published = false;       ///< the slot was filled and published
  int64_t text_card_count = 0;  ///< length of the header text / 80, halves to even
  int64_t data_offset = 0;      ///< 0-based offset of the first sample (bytes)
};

/// LoadFitsSpectrum, returning the working values as well.
FitsLoadDetails LoadFitsSpectrumDetailed(SharedState& state, int16_t slot, MessageSink& messages,
                                         RowDisplay& rows, PlotRedraw& plot);

/// Everything after the file is open: loads the bytes of `source` into
/// `slot` exactly as LoadFitsSpectrum loads a file (steps 2 to 12), naming
/// the file `file_label` in messages. Does not touch the current directory.
/// Used by LoadFitsSpectrum and by the fuzz target over bytes in memory.
FitsLoadDetails LoadFitsSpectrumFromSource(SharedState& state, int16_t slot, ByteSource& source,
                                           const std::string& file_label, MessageSink& messages,
                                           RowDisplay& rows, PlotRedraw& plot);

/// FitsDirectory and a file name joined with the platform's separator (none
/// added when the folder already ends with one).
std::string JoinFitsPath(const std::string& folder, const std::string& name);

/// The texts of the reader's fixed messages.
inline constexpr const char* kNotFitsMessage = "This is not a fits file!  Please try again.";
inline constexpr const char* kEightBitMessage =
    "Sorry, this program does not support 8-bit integer data.  Convert to 16-bit unsigned.";
inline constexpr const char* kSignedSixteenMessage =
    "Your data are signed (16-bit) integer. They work as long as all values are < 32768.  Unsigned "
    "(16-bit) integer data type is recommended.";
inline constexpr const char* kNoLambda0Message = "You need to set the keyword for Lambda 0.";
inline constexpr const char* kNoDispersionMessage = "You need to set the keyword for dLambda/dP.";

}  // namespace quillon::before
