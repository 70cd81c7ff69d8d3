#pragma once
// Test FITS files: whole files written by CFITSIO (an independent writer),
// and byte-level pieces for the malformed files that no library writes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::testing {

/// A primary image as CFITSIO should write it.
struct FitsImage {
  int bitpix = 16;                 ///< 8, 16, 32, -32 or -64
  std::vector<double> raw;         ///< stored values, converted to the BITPIX type as they are
  long naxis2 = 0;                 ///< > 0: a 2-D image of raw.size() / naxis2 columns
  std::optional<double> bzero;     ///< BZERO card (never applied to `raw`)
  std::optional<double> bscale;    ///< BSCALE card (never applied to `raw`)
  std::optional<std::string> object;
  std::optional<double> crval1;    ///< CRVAL1 card
  std::optional<double> cd1_1;     ///< CD1_1 card
  std::vector<std::string> extra_cards;  ///< card images appended before END, as written
};

/// Writes `image` to `path` (replacing a file there) with CFITSIO. The stored
/// samples are exactly `raw`: CFITSIO's own scaling is switched off. Throws
/// std::runtime_error with CFITSIO's message on failure.
void WriteFits(const std::filesystem::path& path, const FitsImage& image);

/// Writes, as most pipelines store a spectrum in a table, an empty primary
/// array (BITPIX = `primary_bitpix`, NAXIS = 0, EXTEND = T, then
/// `primary_cards`) followed by a binary table with columns WAVELENGTH and
/// FLUX. Throws std::runtime_error with CFITSIO's message on failure.
void WriteEmptyPrimaryWithTable(const std::filesystem::path& path, int primary_bitpix,
                                const std::vector<std::string>& primary_cards, const std::vector<double>& wavelength,
                                const std::vector<double>& flux);

/// `text` padded with blanks (or cut) to an 80-character card.
std::string Card(std::string_view text);

/// The cards, then an END card unless `with_end` is false, padded with
/// blanks to a multiple of 2880 bytes.
std::string HeaderBlocks(const std::vector<std::string>& cards, bool with_end = true);

/// Big-endian bytes of stored values: 16 and 32 as signed integers, -32 and
/// -64 as IEEE numbers.
std::string BigEndianSamples(int bitpix, const std::vector<double>& values);

/// One 1-D image extension of WriteImageExtensions: 100 float samples at
/// `start` Angstroms (pixel 1) plus 2 per pixel.
struct ImageExtension {
  std::string extname;
  double start = 4000;
};

/// Writes an empty primary array followed by one 1-D image extension per
/// entry, each with its own wavelength scale (CRVAL1, CDELT1, CRPIX1 = 1,
/// CUNIT1 'Angstrom') and BUNIT 'erg/s/cm2/A': a file that holds several spectra.
void WriteImageExtensions(const std::filesystem::path& path, const std::vector<ImageExtension>& extensions);

/// Writes `bytes` to `path` as they are.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace quillon::testing
