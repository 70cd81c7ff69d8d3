#pragma once
// IRAF multispec images: one aperture (an echelle order, a fibre, a slit
// position) on each image line, its wavelengths given only by the world
// coordinate attributes IRAF writes into WAT cards.
//
// WAT1_001, WAT1_002, ... hold the attributes of axis 1 (label=, units=),
// WAT2_001, ... those of axis 2: wtype=multispec and, for image line N,
//   specN = "ap beam dtype w1 dw nw z aplow aphigh [functions]"
// Each card's value is taken as exactly 68 characters, blanks dropped at its
// end restored: IRAF breaks the text every 68 characters, numbers included.
//
// The physical pixel of sample i (from 1) is p = (i - LTV1) / LTM1_1 and its
// wavelength W / (1 + z), where W is
//   dtype 0: w1 + dw (p - 1);  dtype 1: 10^(w1 + dw (p - 1));
//   dtype 2: the sum over the functions of wt (w0 + f(p)), each function
//   "wt w0 ftype ..." a Chebyshev (1) or Legendre (2) series
//   "order pmin pmax c1..c_order", a cubic (3) or linear (4) spline
//   "npieces pmin pmax c...", a pixel-coordinate array (5) "npts c1..c_npts"
//   or (pixel, coordinate) pairs (6) "npts p1 c1 p2 c2 ...".
// dtype -1 (not dispersion-corrected) is w1 + dw (p - 1) too, in pixels.
//
// Nothing here trusts a count in the text: every order, number of pieces or
// points must be matched by the numbers that follow it, so what is kept is
// bounded by the length of the cards.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits/byte_source.h"
#include "fits/hdu_list.h"
#include "spectrum/spectrum.h"

namespace quillon {

/// Whether the 80-character cards (index 0 unused) describe a multispec
/// image: CTYPE1 = 'MULTISPE', or WAT0_001 naming system=multispec.
bool IsMultispecHeader(const std::vector<std::string>& cards);

/// The attribute text of axis `axis`: the values of WATa_001, WATa_002, ...
/// joined in number order, each padded with blanks to 68 characters. "" when
/// there is no such card; nullopt with a sentence in `error` when a card of
/// the sequence is missing or holds no quoted text.
std::optional<std::string> JoinWatCards(const std::vector<std::string>& cards, int axis, std::string& error);

/// One term of a non-linear (dtype 2) dispersion: weight x (offset + f(p)).
struct MultispecFunction {
  enum Type { kChebyshev = 1, kLegendre = 2, kCubicSpline = 3, kLinearSpline = 4, kPixelArray = 5, kPairs = 6 };
  double weight = 1;
  double offset = 0;
  int type = kChebyshev;
  int64_t count = 0;   ///< order, pieces or points
  double pmin = 0;     ///< range of the series and splines
  double pmax = 0;
  /// Series and spline coefficients, the coordinates of a pixel array, or
  /// (pixel, coordinate) pairs one after the other.
  std::vector<double> values;
};

/// One image line's aperture, as its specN gives it.
struct MultispecAperture {
  int64_t line = 0;      ///< N of specN: the image line, from 1
  int64_t aperture = 0;  ///< IRAF's aperture number
  int64_t beam = 0;
  int dtype = 0;         ///< -1 none, 0 linear, 1 log-linear, 2 non-linear
  double w1 = 0;
  double dw = 0;
  int64_t nw = 0;        ///< samples of the line that belong to the aperture
  double z = 0;          ///< Doppler factor: wavelengths are divided by 1 + z
  std::optional<double> aplow;   ///< nullopt for INDEF
  std::optional<double> aphigh;
  std::vector<MultispecFunction> functions;
};

/// The multispec coordinates of one image.
struct MultispecWcs {
  std::string label;  ///< WAT1 label=, as written
  std::string units;  ///< WAT1 units=, as written
  double to_angstrom = 1;
  SpectralAxis axis = SpectralAxis::kWavelength;
  double ltv1 = 0;    ///< image section: p = (i - LTV1) / LTM1_1
  double ltm1_1 = 1;
  /// The apertures in line order; a line without its specN has none.
  std::vector<MultispecAperture> apertures;
  /// Lines or apertures left out, and units not known, one sentence each.
  std::vector<std::string> notes;
};

/// Parses the multispec coordinates of an image of `lines` lines of
/// `naxis1` samples from its cards (index 0 unused). nullopt with a sentence
/// in `error` when they cannot be read as a whole (a card missing from the
/// sequence, a text cut off, no specN at all: then `error` is empty). An
/// aperture that cannot be read (too few numbers, nw beyond NAXIS1, pmin =
/// pmax, a coefficient not a number) is left out with a note.
std::optional<MultispecWcs> ParseMultispec(const std::vector<std::string>& cards, int64_t naxis1, int64_t lines,
                                           std::string& error);

/// The wavelengths of samples 1..n of `aperture` in Angstroms (in the WCS's
/// own values when its axis is not a wavelength) into out[0..n-1]. No
/// allocation; a sample whose wavelength is not a finite number is NaN.
void EvaluateMultispec(const MultispecWcs& wcs, const MultispecAperture& aperture, int64_t n, double* out);
/// The same for samples first..first + n - 1 into out[0..n-1].
void EvaluateMultispec(const MultispecWcs& wcs, const MultispecAperture& aperture, int64_t first, int64_t n,
                       double* out);

/// One aperture read from its image.
struct MultispecSpectrum {
  int64_t line = 0;        ///< 0-based image line
  int64_t aperture = 0;    ///< IRAF's aperture number
  std::vector<double> wave;   ///< per sample, Angstroms (the first nw samples); first and last only when asked
  std::vector<double> flux;
  std::vector<double> sigma;  ///< a sigma band's values; empty without one
  SpectralAxis axis = SpectralAxis::kWavelength;
  std::string wave_unit;      ///< WAT1 units= as written
};

/// Which apertures to read: a line (0-based), an aperture number, or all;
/// `first_usable` stops at the first with a sample that is a number.
struct MultispecSelection {
  std::optional<int64_t> line;
  std::optional<int64_t> aperture;
  bool first_usable = false;
  /// Only the wavelengths of the first and last samples are wanted (a
  /// listing): `wave` holds those two.
  bool ends_only = false;
};

struct MultispecRead {
  std::vector<MultispecSpectrum> spectra;
  std::vector<std::string> notes;  ///< apertures left out, bands not used
  /// Why the WAT cards cannot be read at all; then there is no spectrum.
  std::string error;
  /// No two lines of the image share an aperture number.
  bool unique_apertures = true;
};

/// Reads the apertures of image HDU `hdu`: nullopt when it is not a
/// multispec image, or one whose WAT2 names no specN (no aperture is
/// described: it is read as any image is). Band 1 of a 3-D image is the
/// spectrum, a band whose BANDIDn names sigma or error its uncertainty.
std::optional<MultispecRead> ReadMultispec(ByteSource& source, const Hdu& hdu, const MultispecSelection& selection);

}  // namespace quillon
