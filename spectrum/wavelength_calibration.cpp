#include "spectrum/wavelength_calibration.h"

#include <cmath>

#include "base/ascii_text.h"

namespace quillon {

namespace {

std::optional<double> Number(const HeaderCards& header, const char* name) {
  const std::optional<std::string> value = header.LastValue(name);
  if (!value) return std::nullopt;
  const LenientNumber number = ParseLenientNumber(*value);
  if (!number.finite) return std::nullopt;
  return number.value;
}

// log10(e): the standard's logarithmic axis in base 10.
constexpr double kLog10E = 0.43429448190325182765;

}  // namespace

std::string UnquotedValue(const std::string& value) {
  if (value.size() < 2 || value.front() != '\'') return value;
  std::string inner = value.substr(1, value.find('\'', 1) == std::string::npos ? std::string::npos
                                                                                 : value.find('\'', 1) - 1);
  const auto last = inner.find_last_not_of(' ');
  inner = last == std::string::npos ? std::string{} : inner.substr(0, last + 1);
  const auto first = inner.find_first_not_of(' ');
  return first == std::string::npos ? std::string{} : inner.substr(first);
}

std::optional<double> AngstromsPerUnit(const std::string& unit) {
  const std::string u = UpperAscii(UnquotedValue(unit));
  if (u == "ANGSTROM" || u == "ANGSTROMS" || u == "AA" || u == "A") return 1.0;
  if (u == "M") return 1e10;
  if (u == "CM") return 1e8;
  if (u == "MM") return 1e7;
  if (u == "UM" || u == "MICRON" || u == "MICRONS") return 1e4;
  if (u == "NM") return 10.0;
  if (u == "PM") return 0.01;
  return std::nullopt;
}

Calibration CalibrateWavelengths(const HeaderCards& header, const std::string& keyword_lambda0,
                                 const std::string& keyword_dispersion, double lambda0, double dispersion,
                                 double naxis1, const std::string& quoted_label) {
  Calibration c;
  // The dispersion: the named card, or CDELT1 (times PC1_1) standing in for
  // a missing CD1_1; the CD matrix wins where both are written.
  double d = dispersion;
  const bool fits_axis = keyword_lambda0 == "CRVAL1";
  if (!header.LastValue(keyword_dispersion) && keyword_dispersion == "CD1_1") {
    if (const auto cdelt = Number(header, "CDELT1")) {
      d = *cdelt;
      if (fits_axis) {
        if (const auto pc = Number(header, "PC1_1")) d *= *pc;
      }
    }
  }

  const std::optional<std::string> dc_flag = header.LastValue("DC-FLAG");
  const bool dc_log = dc_flag && ParseLenientNumber(*dc_flag).value == 1;
  if (!fits_axis) {
    // Another keyword names the wavelength of pixel 0 directly.
    c.scale = {lambda0, d, false};
    c.keyword_lambda0 = lambda0;
    c.dispersion = d;
    if (dc_log) {
      c.warnings.push_back("The spectrum in " + quoted_label +
                           " has a logarithmic wavelength scale (DC-FLAG = 1); it is drawn as if the scale were "
                           "linear.");
    }
    return c;
  }

  const double crpix = Number(header, "CRPIX1").value_or(0);
  const std::string ctype_card = header.LastValue("CTYPE1").value_or("");
  const std::string ctype = UpperAscii(UnquotedValue(ctype_card));
  // FITS spectral axes that are not wavelengths, and algorithm codes other
  // than the logarithm (grisms, tables), cannot be drawn right.
  const std::string kind = ctype.substr(0, 4);
  const bool not_wavelength = kind == "FREQ" || kind == "ENER" || kind == "WAVN" || kind == "VRAD" ||
                              kind == "VOPT" || kind == "ZOPT" || kind == "VELO" || kind == "BETA";
  const bool standard_log = ctype.size() == 8 && ctype.compare(4, 4, "-LOG") == 0;
  const bool other_algorithm = !not_wavelength && ctype.size() == 8 && ctype[4] == '-' && !standard_log &&
                               ctype.find_first_not_of(' ', 5) != std::string::npos;
  if (not_wavelength) {
    const char* word = kind == "FREQ" ? "a frequency"
                       : kind == "ENER" ? "an energy"
                       : kind == "WAVN" ? "a wavenumber"
                                        : "a velocity";
    c.warnings.push_back("The axis of " + quoted_label + " (CTYPE1 = " + ctype_card + ") is " + word +
                         ", not a wavelength; its values are drawn as they are stored, not as Angstroms.");
  } else if (other_algorithm) {
    c.warnings.push_back("The wavelength axis of " + quoted_label + " (CTYPE1 = " + ctype_card +
                         ") is of a kind Quillon does not read; it is drawn as a linear scale from CRVAL1 and the "
                         "dispersion.");
  }
  double factor = 1;
  if (const auto unit = header.LastValue("CUNIT1")) {
    if (const auto known = AngstromsPerUnit(*unit)) {
      factor = *known;
    } else if (!not_wavelength) {
      c.warnings.push_back("The wavelength unit of " + quoted_label + " (CUNIT1 = " + *unit +
                           ") is not one Quillon knows (m, nm, um or Angstrom); its wavelengths are drawn as if "
                           "they were Angstroms.");
    }
  }
  if (not_wavelength) factor = 1;

  if (dc_log) {
    // log10 of the wavelength in the file's unit, as IRAF writes it.
    const double log_origin = lambda0 - d * crpix + std::log10(factor);
    if (log_origin + d * naxis1 > 10 || log_origin > 10) {
      c.warnings.push_back("The spectrum in " + quoted_label +
                           " says its wavelength scale is logarithmic (DC-FLAG = 1), but CRVAL1 = " +
                           header.LastValue("CRVAL1").value_or("0") +
                           " cannot be the logarithm of a wavelength; it is drawn as a linear scale.");
    } else {
      c.scale = {log_origin, d, true};
      c.keyword_lambda0 = lambda0;
      c.dispersion = naxis1 != 0 ? (c.scale.At(naxis1) - c.scale.At(0)) / naxis1 : 0;
      return c;
    }
  } else if (standard_log) {
    // lambda = CRVAL1 x exp(D x (p - CRPIX1) / CRVAL1).
    if (lambda0 > 0) {
      const double step = d / lambda0 * kLog10E;
      c.scale = {std::log10(lambda0 * factor) - step * crpix, step, true};
      c.keyword_lambda0 = lambda0 * factor;
      c.dispersion = naxis1 != 0 ? (c.scale.At(naxis1) - c.scale.At(0)) / naxis1 : 0;
      return c;
    }
    c.warnings.push_back("The spectrum in " + quoted_label + " has a logarithmic wavelength axis (CTYPE1 = " +
                         header.LastValue("CTYPE1").value_or("") +
                         ") but no positive CRVAL1 to scale it by; it is drawn as a linear scale.");
  }

  // Linear: pixel 0 lies at CRVAL1 - D x CRPIX1. Without CRPIX1 and CUNIT1
  // these are the card values themselves.
  const double step = d * factor;
  c.scale = {(lambda0 - d * crpix) * factor, step, false};
  c.keyword_lambda0 = lambda0 * factor;
  c.dispersion = step;
  return c;
}

}  // namespace quillon
