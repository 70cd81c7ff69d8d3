#pragma once
// Spectra wherever a file holds them besides the primary array: image
// extensions and binary tables, each layout recognised by a small rule over
// the file's HDUs and read into the same Spectrum value as a primary-image
// spectrum, levelled the same way.
//
// The layouts, each in file order (HDU, then row):
//  - a binary table with one row per sample (SDSS coadd, PypeIt, JWST
//    old-style x1d): columns by role (column_roles.h), one spectrum per
//    extraction group (PypeIt's OPT and BOX);
//  - a binary table with one row per spectrum and array columns (LAMOST,
//    HST STIS/COS, newer JWST x1d, ESO SPECTRUM, DEEP2): each row a
//    spectrum, cut to its NELEM or N_ALONGDISP cell or its trailing NaN
//    padding;
//  - image extensions: a 1-D image with its own WCS (CRVAL1, CDELT1 or
//    CD1_1, CRPIX1, CUNIT1, CTYPE1 of that HDU, never another's); images
//    named for their role, FLUX with ERROR/SIG/IVAR/VAR, MASK and
//    WAVELENGTH beside it (linetools, APOGEE: a row each), a camera prefix
//    shared by them (DESI: B_FLUX, B_IVAR, B_MASK, B_WAVELENGTH).
//  - an IRAF multispec image in the primary array (iraf_multispec.h): each
//    aperture on its own line, at the wavelengths of its WAT cards, with
//    the sigma band of a 3-D image as its uncertainty.
// Bad samples (a mask, a quality flag, ivar <= 0) are missing (NaN) and
// counted as flagged. The primary's BUNIT is the flux unit of extensions
// that give none.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fits/byte_source.h"
#include "spectrum/spectrum.h"
#include "spectrum/spectrum_reader.h"

namespace quillon {

/// Which spectrum of a file an address names: an HDU by number or by
/// EXTNAME (and EXTVER), then optionally a row and a flux column, or an
/// IRAF aperture number.
struct SpectrumSelector {
  std::optional<int> hdu;           ///< HDU number, 0 the primary
  std::string extname;              ///< EXTNAME, compared without regard to case
  std::optional<int64_t> extver;    ///< EXTVER, when given with the EXTNAME
  std::optional<int64_t> row;       ///< 0-based row of a table or an image
  std::string column;               ///< the flux column (or group: "OPT", "BOX"), without regard to case
  std::optional<int64_t> aperture;  ///< IRAF aperture number of a multispec image
  /// Every spectrum of the HDU at once ([all]): an echelle's orders, a
  /// multispec image's apertures, joined into one spectrum whose pieces are
  /// drawn apart.
  bool all = false;
  bool Empty() const { return !hdu && extname.empty(); }
};

/// A name split into its file and its selector:
///   file.fits[1]   file.fits[COADD]   file.fits[EXTRACT1D,2]
///   file.fits[SCI][row 3]   file.fits[SPEC1D][col BOX_COUNTS]
/// An IRAF multispec image (in the primary array) names an aperture by its
/// aperture number, or an image line by its row:
///   file.fits[ap 5]   file.fits[0][ap 5]   file.fits[0][row 4]
/// Rows count from 0, like the HDUs; aperture numbers are IRAF's own (an
/// EXTNAME "AP n" is therefore addressed by its number). Every spectrum of
/// one HDU in one (a whole echelle in one slot, each order a piece of its
/// own under one level):
///   file.fits[SCI][all]   file.fits[0][all]   file.fits[all]
/// where file.fits[all] takes the first HDU that holds a spectrum (a
/// multispec image's apertures, else the first extension with spectra), and
/// [col NAME] may follow the HDU to choose one extraction of each row. An
/// EXTNAME "ALL" is addressed by its number. nullopt when `name`
/// ends in no well-formed selector (it is then a plain file name).
struct SpectrumAddress {
  std::string file;
  SpectrumSelector selector;
};
std::optional<SpectrumAddress> ParseSpectrumAddress(const std::string& name);

/// One spectrum of a file as it is listed.
struct SpectrumListEntry {
  SpectrumOrigin origin;
  std::string address;  ///< file[...], the shortest that names it
  int64_t n = 0;        ///< samples
  /// The spectral axis at the first and last sample, Angstroms in stored
  /// order; NaN when the axis is not a wavelength.
  double wave_first = 0;
  double wave_last = 0;
  std::string wave_unit;
  std::string flux_unit;
  SpectralAxis axis = SpectralAxis::kWavelength;
  bool uncertainty = false;
  int64_t flagged = 0;
  int64_t missing = 0;  ///< flagged or not a number
  std::optional<int64_t> aperture;  ///< IRAF aperture number (multispec images only)
  /// The address of every spectrum of its HDU at once ("file.fits[SCI][all]")
  /// when the HDU holds more than one and they cover different ranges (an
  /// echelle's orders, not a coadd's targets); "" otherwise.
  std::string whole_address;
};

/// Every spectrum of a file, in file order, or why there is none.
struct SpectrumList {
  std::vector<SpectrumListEntry> spectra;
  /// When there is none: one sentence saying what the file holds.
  std::string refusal;
  /// Spectra that could not be read (a malformed table, a column that
  /// disagrees with its neighbours), one sentence each.
  std::vector<std::string> notes;
  /// The primary array holds samples: the primary reader reads it.
  bool primary_image = false;
};

/// Lists the spectra of `source`, naming the file `file_label` in addresses
/// and messages. A primary array that holds samples is listed first (HDU 0).
SpectrumList ListSpectra(ByteSource& source, const std::string& file_label);

/// Reads the spectrum `selector` names (the first with an unflagged sample
/// when it is empty) from `source`, as ReadSpectrum reads a primary one. A
/// primary array that holds samples, asked for by [0] or by a plain name, is
/// read by ReadSpectrum itself, exactly as always.
ReadResult ReadSelectedSpectrum(ByteSource& source, const std::string& file_label, const SpectrumSelector& selector,
                                const CalibrationKeywords& keywords, ReaderScratch* scratch = nullptr);

/// Opens a name that is a file or an address (a name that opens as a file is
/// that file, whatever it ends in), .fits.gz included, and reads what it
/// names. A file that cannot be opened is one message naming it.
ReadResult ReadSpectrumAt(const std::string& name, const std::string& file_label,
                          const CalibrationKeywords& keywords, ReaderScratch* scratch = nullptr);

}  // namespace quillon
