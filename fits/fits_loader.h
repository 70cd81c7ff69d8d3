#pragma once
// LoadFitsSpectrum: reads one FITS file into one spectrum slot.

#include <cstdint>

#include "shell/shared_state.h"
#include "shell/window_services.h"

namespace quillon {

/// Loads FitsDirectory / SlotFileName(slot) into `slot`: reads and checks the
/// header, decodes and calibrates the samples, computes the level, and
/// publishes the slot (row display, flags, a redraw when PlotWindowOpen is
/// set). Refusals and warnings go to `messages` in order; a refused file
/// leaves SlotLoaded, the row and the data range as they were.
void LoadFitsSpectrum(SharedState& state, int16_t slot, MessageSink& messages, RowDisplay& rows,
                      PlotRedraw& plot);

}  // namespace quillon
