#pragma once
// Spectra kept in the rows of one primary image by writers that say so in
// their keywords, never recognised by shape alone:
//  - SDSS spSpec files (DR7 and before; TELESCOP 'SDSS ...', COEFF0 and
//    COEFF1 the log-linear scale): rows flux, continuum-subtracted flux,
//    sigma, mask;
//  - LAMOST low-resolution files up to DR8 (TELESCOP 'LAMOST'): rows flux,
//    inverse variance, wavelength, and-mask, or-mask;
//  - Spextool (XUNITS, YUNITS): rows wavelength, flux, error and perhaps
//    flags, one plane per order (and aperture) along the third axis.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fits/byte_source.h"
#include "fits/hdu_list.h"
#include "spectrum/column_roles.h"
#include "spectrum/wavelength_scale.h"

namespace quillon {

/// Which row of a plane holds what, for one writer's primary image.
struct ImageRowPlan {
  std::string writer;       ///< "SDSS", "LAMOST", "Spextool"
  int64_t length = 0;       ///< NAXIS1: samples a row
  int64_t rows = 0;         ///< NAXIS2: rows a plane
  int64_t planes = 1;       ///< NAXIS3: spectra in the image (Spextool's orders x apertures)
  int flux_row = 0;
  int wave_row = -1;        ///< -1: `scale` places the samples
  int error_row = -1;       ///< -1: none
  ErrorKind error_kind = ErrorKind::kSigma;
  int mask_row = -1;        ///< -1: none; a non-zero value is a bad sample
  /// The log-linear scale of the keywords (sample i, 1-based, at At(i)):
  /// SDSS's samples, LAMOST's when its wavelength row is not one.
  std::optional<WavelengthScale> scale;
  SpectralUnit wave_unit;      ///< of the wavelength row
  std::string wave_unit_text;  ///< as stored ("" when the writer gives none)
  std::string flux_unit;       ///< BUNIT or YUNITS as stored
  /// What each plane is, when there are several ("order 5", "order 5,
  /// aperture 2"); empty for one plane.
  std::vector<std::string> plane_names;
};

/// The plan of `primary` when its keywords name one of the writers above
/// and its axes agree with them; nullopt otherwise.
std::optional<ImageRowPlan> PlanImageRows(const Hdu& primary);

/// One plane's rows as read: 0-based arrays of the plane's samples (its
/// padding cut), each with room for one more entry (the spectrum's arrays
/// are 1-based). The errors and the mask are as stored; the reader of the
/// layouts flags the samples they mark.
struct ImageRowSpectrum {
  std::vector<double> flux;    ///< NaN where missing
  std::vector<double> wave;    ///< Angstroms; empty when `scale` places them
  std::optional<WavelengthScale> scale;
  std::vector<double> errors;  ///< of the plan's error kind; empty: none
  std::vector<double> mask;    ///< non-zero is bad; empty: none
};

/// Reads plane `plane` (0-based) of `primary` as `plan` says. False with a
/// sentence in `error` when the image cannot be read.
bool ReadImageRowSpectrum(ByteSource& source, const Hdu& primary, const ImageRowPlan& plan, int64_t plane,
                          ImageRowSpectrum& out, std::string& error);

}  // namespace quillon
