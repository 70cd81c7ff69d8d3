#pragma once
// The wavelength scale of a FITS spectrum from its header, by the FITS
// standard's description of axis 1: sample i (counted from 1) lies at
// CRVAL1 + D x (i - CRPIX1), where D is the dispersion card (CD1_1, or
// CDELT1 x PC1_1 without it), converted to Angstroms by CUNIT1; a
// logarithmic axis (DC-FLAG = 1, or a CTYPE1 of the "-LOG" kind) gives
// 10 ^ that value, or the standard's CRVAL1 x exp(D x (i - CRPIX1) / CRVAL1).

#include <optional>
#include <string>
#include <vector>

#include "fits/header_reader.h"
#include "spectrum/wavelength_scale.h"

namespace quillon {

/// What the header says about the wavelengths of one spectrum.
struct Calibration {
  WavelengthScale scale;        ///< where the samples lie, Angstroms
  double keyword_lambda0 = 0;   ///< the wavelength keyword's own value, in Angstroms on a linear scale
  double dispersion = 0;        ///< Angstroms per pixel (the mean step on a logarithmic scale)
  /// Warnings of the loader's own, in order, each one sentence or two; the
  /// file is named by the caller's quoted label.
  std::vector<std::string> warnings;
};

/// The wavelength scale of a spectrum of `naxis1` samples from `header`.
/// `lambda0` and `dispersion` are the values of the cards named by the
/// settings (0 when absent), `keyword_lambda0` and `keyword_dispersion` their
/// names and `quoted_label` the file's name in quotes. CRPIX1, CUNIT1,
/// CTYPE1, DC-FLAG and PC1_1 describe the axis whose CRVAL1 is read, so they
/// count only when the wavelength keyword is "CRVAL1"; with other names the
/// keyword is the wavelength of pixel 0 and the scale is linear, as it
/// always was. CDELT1 stands in for a missing dispersion card only when its
/// name is the default "CD1_1".
Calibration CalibrateWavelengths(const HeaderCards& header, const std::string& keyword_lambda0,
                                 const std::string& keyword_dispersion, double lambda0, double dispersion,
                                 double naxis1, const std::string& quoted_label);

/// Angstroms per unit of a CUNIT1 value (its quotes and blanks removed, any
/// case): "Angstrom" (and its plural, "AA"), "m", "cm", "mm", "um" (and
/// "micron"), "nm", "pm"; nullopt for anything else.
std::optional<double> AngstromsPerUnit(const std::string& unit);

/// A string value without its quotes and trailing blanks ('Angstrom  ' gives
/// Angstrom); other values unchanged.
std::string UnquotedValue(const std::string& value);

}  // namespace quillon
