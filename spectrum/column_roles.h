#pragma once
// What the columns of a table (or the images of a file) hold for a spectrum:
// the spectral axis, the flux, its uncertainty and the bad-sample flags, each
// recognised by its unit first (a length, a frequency or a flux density),
// then by its TUTYPn/TUCDn, then by its name, without regard to case. The
// units of the spectral axis, the kinds of uncertainty (sigma, variance,
// inverse variance) and the polarities of masks are read here too, in one
// place for every layout.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "spectrum/spectrum.h"

namespace quillon {

/// A spectral axis unit as written (TUNITn, CUNITn, BUNIT).
struct SpectralUnit {
  SpectralAxis axis = SpectralAxis::kWavelength;
  /// Angstroms per unit, for a wavelength (1 for the others).
  double to_angstrom = 1;
  /// The values are log10 of the unit ("log(Angstrom)", a loglam column).
  bool log10 = false;
  /// The text was recognised; "" counts (as Angstroms).
  bool known = true;
};

/// Reads a spectral axis unit: Angstrom, Angstroms, AA, A, Ang, Å, 0.1 nm,
/// nm, um, micron(s), µm, mm, cm, m (meter, metre); log(Angstrom) and dex;
/// Hz to THz (frequency); km/s, m/s (velocity); cm-1 (wavenumber); eV, keV
/// (energy); pix (pixel). Case and blanks around do not count. "" is
/// Angstroms. Anything else is unknown (taken as Angstroms, known = false).
SpectralUnit ParseSpectralUnit(std::string_view unit);

/// Whether the unit is a flux density, a surface brightness or a count rate
/// ("1E-17 erg/cm^2/s/Ang", "erg s**(-1) cm**(-2) nm**(-1)", "Jy", "MJy/sr",
/// "W/m2/nm", "counts", "electron/s", "ADU").
bool IsFluxUnit(std::string_view unit);

enum class ColumnRole { kNone, kSpectral, kFlux, kError, kMask };
enum class ErrorKind { kSigma, kVariance, kInverseVariance };
/// How a mask column tells a bad sample.
enum class MaskKind {
  kNonZeroBad,  ///< any set bit (of the bits that count) is bad: and_mask, DQ, QUAL
  kTrueGood,    ///< true (non-zero) is good: PypeIt's OPT_MASK
  kZeroBad,     ///< 0 is bad: COS's DQ_WGT
};

/// A column (or an image HDU) as its header names it.
struct ColumnDescription {
  std::string name;   ///< TTYPEn, or the EXTNAME of an image
  std::string unit;   ///< TUNITn, BUNIT
  std::string utype;  ///< TUTYPn
  std::string ucd;    ///< TUCDn
};

/// What one column was recognised as.
struct ColumnClass {
  ColumnRole role = ColumnRole::kNone;
  /// How it was recognised: 4 by its unit, 2 by its TUTYP or TUCD, 1 by its
  /// name; the larger wins among columns of one role.
  int evidence = 0;
  /// Place of its name among the names of its role (smaller is preferred);
  /// 100 for a name not in the list.
  int rank = 100;
  /// The extraction the column belongs to ("OPT", "BOX" of a PypeIt table),
  /// upper case; "" for a table of one extraction.
  std::string group;
  /// The name without the group's prefix, lower case ("flam_sig").
  std::string base;
  ErrorKind error = ErrorKind::kSigma;
  MaskKind mask = MaskKind::kNonZeroBad;
  /// A spectral column named loglam (log10 Angstroms without a unit).
  bool log_wavelength = false;
};

ColumnClass ClassifyColumn(const ColumnDescription& column);

/// The columns of one spectrum: indices into the columns given, -1 for none.
struct ColumnSet {
  int spectral = -1;
  int flux = -1;
  int error = -1;
  int mask = -1;
  ErrorKind error_kind = ErrorKind::kSigma;
  MaskKind mask_kind = MaskKind::kNonZeroBad;
  bool log_wavelength = false;
  std::string group;
};

/// The spectra a set of columns holds: one per extraction group that has a
/// flux column, in the order the groups first appear. A group without its own
/// spectral, error or mask column takes the ungrouped one. Among columns of a
/// role the strongest evidence wins, then the preferred name, then the first.
/// `surface_brightness` prefers SURF_BRIGHT to FLUX (an extended source);
/// `flux_name`, when given, is the flux of its group (OPT_COUNTS rather than
/// OPT_FLAM), its error following it.
std::vector<ColumnSet> GroupColumns(const std::vector<ColumnDescription>& columns, bool surface_brightness = false,
                                    std::string_view flux_name = {});

/// 1-sigma of an uncertainty value of `kind`; NaN when the value gives none
/// (NaN, negative sigma or variance). An inverse variance <= 0 gives NaN and
/// marks the sample bad (`bad` set), as the pipelines that write ivar mean it.
inline double SigmaOf(double value, ErrorKind kind, bool& bad) {
  bad = false;
  if (std::isnan(value)) return std::numeric_limits<double>::quiet_NaN();
  switch (kind) {
    case ErrorKind::kSigma:
      return value >= 0 && std::isfinite(value) ? value : std::numeric_limits<double>::quiet_NaN();
    case ErrorKind::kVariance:
      return value >= 0 && std::isfinite(value) ? std::sqrt(value) : std::numeric_limits<double>::quiet_NaN();
    case ErrorKind::kInverseVariance:
      if (!(value > 0)) {
        bad = true;
        return std::numeric_limits<double>::quiet_NaN();
      }
      return std::isfinite(value) ? 1 / std::sqrt(value) : std::numeric_limits<double>::quiet_NaN();
  }
  return std::numeric_limits<double>::quiet_NaN();
}

/// Whether a mask value marks a bad sample. `bits` are the bits that count
/// for kNonZeroBad (all when 0). A NaN mask value (a null) flags nothing.
inline bool MaskIsBad(double value, MaskKind kind, uint64_t bits) {
  if (std::isnan(value)) return false;
  switch (kind) {
    case MaskKind::kNonZeroBad: {
      if (bits == 0) return value != 0;
      if (!(std::fabs(value) < 9.2e18)) return true;
      return (static_cast<uint64_t>(static_cast<int64_t>(value)) & bits) != 0;
    }
    case MaskKind::kTrueGood:
      return value == 0;
    case MaskKind::kZeroBad:
      return value == 0;
  }
  return false;
}

}  // namespace quillon
