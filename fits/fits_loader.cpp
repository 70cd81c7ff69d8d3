#include "fits/fits_loader.h"

namespace quillon {
// Placeholder until the FITS reader lands.
void LoadFitsSpectrum(SharedState&, int16_t, MessageSink&, RowDisplay&, PlotRedraw&) {}
}  // namespace quillon
