#pragma once
// Spectrum: one spectrum as read from a file, a value. It holds the header
// the reader found, where the samples lie, the physical samples with the
// missing ones as NaN, the level and the levelled values with their min/max
// summary. Nothing in it knows a slot or a window; a slot holds a spectrum
// through a shared pointer to const, so the renderer and the windows read
// it and nobody changes it once published.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "spectrum/level_summary.h"
#include "spectrum/wavelength_runs.h"
#include "spectrum/wavelength_scale.h"

namespace quillon {

/// Header cards, keywords or values, index 0 unused: entry n is card n.
using CardArray = std::vector<std::string>;

/// What the reader takes from a primary header, in the order it looks the
/// values up. A refused file keeps what had been read before the refusal
/// (the rest stays 0 or empty), which the slot then holds as its header.
struct SpectrumHeader {
  // Empty until the card table is read (index 0 is then unused): a
  // default header costs no memory.
  CardArray cards;     ///< 80-character cards in file order, the END card included when found
  CardArray keywords;  ///< keyword of each card
  CardArray values;    ///< value part of each card
  int16_t line_count = 0;  ///< cards before END; 0 without END

  double bitpix = 0;
  double naxis = 0;
  double naxis1 = 0;  ///< number of samples
  double naxis2 = 0;
  int16_t naxis3 = 0;
  double bscale = 0;
  double bzero = 0;
  std::string object;  ///< OBJECT without its quotes

  /// Wavelength of pixel 0 and Angstroms per pixel (the mean step of a
  /// logarithmic scale) once calibrated; the keywords' values before.
  double lambda0 = 0;
  double dispersion = 0;
  /// Short-wavelength end of the spectrum: pixel 0 when it ascends.
  double lambda_start = 0;
};

/// What a spectrum's spectral axis measures. Only a wavelength is drawn in
/// Angstroms; the others keep their values as stored and are named.
enum class SpectralAxis { kWavelength, kFrequency, kVelocity, kWavenumber, kEnergy, kPixel };

/// The word naming a spectral axis in messages and listings ("wavelength",
/// "frequency", "velocity", "wavenumber", "energy", "pixel").
inline const char* SpectralAxisWord(SpectralAxis axis) {
  switch (axis) {
    case SpectralAxis::kWavelength: return "wavelength";
    case SpectralAxis::kFrequency: return "frequency";
    case SpectralAxis::kVelocity: return "velocity";
    case SpectralAxis::kWavenumber: return "wavenumber";
    case SpectralAxis::kEnergy: return "energy";
    case SpectralAxis::kPixel: return "pixel";
  }
  return "pixel";
}

/// Where in its file a spectrum lies. A primary-image spectrum is HDU 0 with
/// no row and no columns.
struct SpectrumOrigin {
  std::string file;      ///< the file's name as given
  int hdu = 0;           ///< 0 = primary, then the extensions in file order
  std::string extname;   ///< EXTNAME of that HDU; "" when it has none
  int64_t extver = 1;    ///< EXTVER of that HDU; 1 when absent
  int64_t row = -1;      ///< 0-based table row or image row; -1 when the HDU holds one spectrum
  /// The flux column (or image) the samples come from and the wavelength
  /// column beside it, as "FLUX" or "OPT_FLAM,OPT_WAVE"; "" for an image HDU
  /// that is the spectrum itself.
  std::string columns;
  bool operator==(const SpectrumOrigin&) const = default;
};

struct Spectrum {
  std::string file_name;  ///< the file's name as it was given to the reader
  SpectrumHeader header;

  WavelengthScale scale;    ///< where each sample lies
  double lambda_start = 0;  ///< short-wavelength end, Angstroms
  double lambda_end = 0;    ///< long-wavelength end, Angstroms

  SampleArray intensity;       ///< physical samples 1..n (entry 0 unused), NaN where missing
  int64_t missing = 0;         ///< samples that are missing
  double norm = 0;             ///< the level: median of the 50-sample block maxima
  SampleArray levelled;        ///< 100 x intensity / norm, 1..n (entry 0 unused)
  double levelled_max = 0;     ///< largest levelled value, at least -9999
  /// Min/max pyramid over `levelled`; may be null for a spectrum made by
  /// hand, which the renderer then summarises for one drawing.
  std::shared_ptr<const LevelSummary> summary;

  // What a spectrum read from a table or an extension carries besides; a
  // primary-image spectrum leaves them as they are here.

  /// Per-sample wavelengths in Angstroms, 1..n in stored order (which may
  /// descend, or jump back where pieces overlap); empty: `scale` places them.
  SampleArray wavelengths;
  /// The stretches of `wavelengths` the curve is drawn in, each a staircase
  /// of its own (WavelengthRuns); empty with `wavelengths`. A spectrum made
  /// by hand may leave it empty: the renderer then finds them for a drawing.
  std::vector<SampleRun> runs;
  /// 1-sigma uncertainty of each sample, 1..n, in the flux's unit; NaN where
  /// there is none. Empty: the file gives no uncertainty.
  SampleArray uncertainty;
  /// Samples its pipeline flagged as bad (a mask, a quality flag, ivar <= 0):
  /// they are missing (NaN) and counted in `missing` too.
  int64_t flagged = 0;
  std::string flux_unit;  ///< the flux unit as stored (BUNIT, TUNITn); "" when none
  std::string wave_unit;  ///< the spectral axis' unit as stored (CUNIT1, TUNITn); "" when none
  /// What the spectral axis measures; a spectrum whose axis is not a
  /// wavelength keeps its axis values as stored in `wavelengths`.
  SpectralAxis axis = SpectralAxis::kWavelength;
  SpectrumOrigin origin;  ///< where in its file it lies

  /// Number of samples: NAXIS1 as read, which may differ from the samples
  /// held for a spectrum made by hand (the renderer draws the fewer).
  double SampleCount() const { return header.naxis1; }

  /// Where the samples are drawn. A logarithmic scale is the spectrum's
  /// scale; otherwise the scale is linear with step `header.dispersion` from
  /// pixel 0, which is lambda_start for an ascending spectrum and lambda_end
  /// for a descending one.
  WavelengthScale DrawnScale() const {
    if (scale.logarithmic) return scale;
    const double step = header.dispersion;
    return {step < 0 ? lambda_end : lambda_start, step, false};
  }
};

/// A spectrum as slots and the renderer share it.
using SpectrumPtr = std::shared_ptr<const Spectrum>;

}  // namespace quillon
