// make-examples: writes the example spectra of examples/ with CFITSIO.
//
//   make-examples FOLDER
//
// Five synthetic one-dimensional spectra, one per sample format the viewer
// reads, and two spectra in binary tables as pipelines write them (a coadd
// with one row per sample, errors and flagged samples; an echelle file with
// three orders, one row each), all within 3800-7000 Angstroms so that they
// can be plotted together. The noise comes from a fixed-seed generator and
// the header holds no time stamp, so two runs write the same bytes.
//
// Wavelength scale: CRVAL1 is the wavelength of pixel 0 and CD1_1 the step,
// so sample i (from 1) lies at CRVAL1 + CD1_1 x i, as the viewer reads it.
// CRPIX1 = 0 says the same to any reader that follows the FITS convention.

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: make-examples FOLDER\n"
    "Writes the synthetic example spectra (*.fts) into FOLDER, creating it when needed.\n";

constexpr double kPi = 3.14159265358979323846;

// ---- Deterministic noise ----------------------------------------------------

// SplitMix64: the same sequence on every platform, unlike the standard
// library's distributions.
class Noise {
 public:
  explicit Noise(uint64_t seed) : state_(seed) {}

  double Uniform() {  // [0, 1)
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
  }

  // Mean 0, standard deviation 1: the sum of twelve uniforms, plain
  // arithmetic and so the same bits everywhere.
  double Gaussian() {
    double sum = 0;
    for (int k = 0; k < 12; ++k) sum += Uniform();
    return sum - 6;
  }

 private:
  uint64_t state_;
};

// ---- Spectrum models --------------------------------------------------------

// Planck's law in wavelength, up to a constant factor; Angstroms and kelvin.
double Planck(double lambda, double temperature) {
  constexpr double kHcOverK = 1.438777e8;  // Angstrom kelvin
  return std::pow(lambda, -5) / std::expm1(kHcOverK / (lambda * temperature));
}

double Gauss(double x, double centre, double sigma) {
  const double u = (x - centre) / sigma;
  return std::exp(-0.5 * u * u);
}

double Lorentz(double x, double centre, double hwhm) {
  const double u = (x - centre) / hwhm;
  return 1 / (1 + u * u);
}

// An absorption line: the fraction of the continuum it removes at x. The
// core is Gaussian; `wings` (0..1) mixes in a Lorentzian of the same depth
// for pressure-broadened lines.
struct Absorption {
  double centre;  // Angstroms
  double depth;   // 0..1 at the centre
  double width;   // Gaussian sigma and Lorentzian half width, Angstroms
  double wings = 0;
  double At(double x) const {
    return depth * ((1 - wings) * Gauss(x, centre, width) + wings * Lorentz(x, centre, width));
  }
};

// An emission line of Gaussian shape with `peak` above the continuum.
struct Emission {
  double centre;
  double peak;
  double sigma;
  double At(double x) const { return peak * Gauss(x, centre, sigma); }
};

// The continuum times the transmission of every line (overlapping lines
// multiply, so no point goes below zero).
double Absorbed(double x, double continuum, const std::vector<Absorption>& lines) {
  double transmission = 1;
  for (const Absorption& line : lines) {
    if (std::fabs(x - line.centre) < 60 * line.width) transmission *= 1 - line.At(x);
  }
  return continuum * transmission;
}

// Weak metal lines at drawn positions, denser towards the blue as in late
// type stars.
std::vector<Absorption> MetalForest(Noise& noise, double from, double to, int count, double max_depth) {
  std::vector<Absorption> lines;
  while (static_cast<int>(lines.size()) < count) {
    const double centre = from + (to - from) * noise.Uniform();
    const double blueness = (to - centre) / (to - from);
    if (noise.Uniform() > 0.35 + 0.65 * blueness) continue;
    const double depth = max_depth * (0.15 + 0.85 * noise.Uniform() * noise.Uniform());
    lines.push_back({centre, depth, 0.35 + 0.5 * noise.Uniform()});
  }
  return lines;
}

// ---- The examples -----------------------------------------------------------

enum class Format { kUnsigned16, kSigned32, kFloat32, kFloat64 };

struct Example {
  std::string file;    // lower case, .fts
  std::string object;  // at least 8 characters, so CFITSIO pads no blanks into the quotes
  Format format;
  long samples;
  double crval1;  // wavelength of pixel 0, Angstroms
  double cd1_1;   // Angstroms per pixel
  std::string date_obs;
  double exptime;  // seconds
  std::string bunit;
  std::string comment;
  std::vector<double> data;  // the samples as stored, physical values
};

double Wavelength(const Example& e, long i) { return e.crval1 + e.cd1_1 * static_cast<double>(i); }

// Fills e.data from `model` plus Gaussian noise of standard deviation
// `sigma(model value)`.
void Sample(Example& e, uint64_t seed, const std::function<double(double)>& model,
            const std::function<double(double)>& sigma) {
  Noise noise(seed);
  e.data.resize(static_cast<std::size_t>(e.samples));
  for (long i = 1; i <= e.samples; ++i) {
    const double value = model(Wavelength(e, i));
    e.data[static_cast<std::size_t>(i - 1)] = value + sigma(value) * noise.Gaussian();
  }
}

// A0 V star: a steep blue continuum and broad hydrogen lines, H-alpha to
// H9, with wide pressure wings.
Example HotStar() {
  Example e{"hot-star.fts", "A0 V star", Format::kFloat32, 3000, 3800.0, 1.0, "2026-03-14T21:05:12",
            600, "10**-16 erg.cm**-2.s**-1.Angstrom**-1",
            "Synthetic A0 V star: 9600 K continuum, Balmer lines H-alpha to H9.", {}};
  const std::vector<Absorption> lines = {
      {6562.8, 0.55, 9, 0.7},  {4861.3, 0.62, 11, 0.75}, {4340.5, 0.64, 12, 0.75},
      {4101.7, 0.64, 12, 0.75}, {3970.1, 0.60, 11, 0.75}, {3889.0, 0.55, 9, 0.7},
      {3835.4, 0.50, 8, 0.7},  {3933.7, 0.25, 0.9},      {4481.2, 0.18, 0.9},
      {5167.3, 0.06, 0.8},     {5890.0, 0.05, 0.7},      {4471.5, 0.08, 1.2},
  };
  const double scale = 1500 / Planck(5500, 9600);
  Sample(e, 0xA0A0A0A0ull,
         [&](double x) { return Absorbed(x, scale * Planck(x, 9600), lines); },
         [](double v) { return 0.006 * v + 2; });
  return e;
}

// K1 III giant: a red continuum, Ca II H and K, the G band, Mg b, Na D and a
// forest of weak metal lines. Counts from a detector, stored unsigned.
Example CoolStar() {
  Example e{"cool-star.fts", "K1 III star", Format::kUnsigned16, 2800, 3900.0, 1.0, "2026-03-15T02:41:55",
            900, "adu", "Synthetic K1 III giant: 4300 K continuum, metal lines, unsigned counts.", {}};
  Noise forest(0xC001C001ull);
  std::vector<Absorption> lines = MetalForest(forest, 3900, 6700, 420, 0.45);
  const std::vector<Absorption> strong = {
      {3933.7, 0.92, 6, 0.8},   {3968.5, 0.90, 6, 0.8},   {4226.7, 0.75, 1.8, 0.4}, {4300.0, 0.35, 12},
      {4045.8, 0.55, 1.0},      {4383.5, 0.55, 1.0},      {4861.3, 0.30, 1.6},      {4957.6, 0.40, 0.9},
      {5167.3, 0.60, 1.4, 0.4}, {5172.7, 0.65, 1.4, 0.4}, {5183.6, 0.70, 1.5, 0.4}, {5269.5, 0.50, 1.0},
      {5328.0, 0.45, 1.0},      {5889.95, 0.80, 1.3, 0.5}, {5895.92, 0.75, 1.3, 0.5}, {6122.2, 0.45, 1.0},
      {6162.2, 0.50, 1.0},      {6562.8, 0.35, 1.6},      {6495.0, 0.35, 1.0},
  };
  lines.insert(lines.end(), strong.begin(), strong.end());
  const double scale = 38000 / Planck(6500, 4300);
  Sample(e, 0xC002C002ull,
         [&](double x) { return 120 + Absorbed(x, scale * Planck(x, 4300), lines); },
         [](double v) { return std::sqrt(v + 25); });
  return e;
}

// H II region around H-alpha: the nebular lines over the continuum that the
// exciting stars scatter into the slit; detector counts in 32 bits.
Example Nebula() {
  Example e{"nebula.fts", "H II region", Format::kSigned32, 2500, 6450.0, 0.14, "2026-01-20T23:12:40",
            300, "adu",
            "Synthetic H II region: H-alpha, [N II] 6548 6583, He I, [S II] doublet.", {}};
  const std::vector<Emission> lines = {
      {6548.05, 1500, 0.95}, {6562.80, 11500, 0.95}, {6583.45, 4400, 0.95},
      {6678.15, 380, 0.95},  {6716.44, 700, 0.95},   {6730.82, 820, 0.95},
  };
  Sample(e, 0x4E4E4E4Eull,
         [&](double x) {
           double value = 250 + 1900 * (1 - 0.0004 * (x - 6450));  // bias plus a falling continuum
           for (const Emission& line : lines) value += line.At(x);
           return value;
         },
         [](double v) { return std::sqrt(v + 16); });
  return e;
}

// The Sun seen as a star: a 5780 K continuum with the strong Fraunhofer
// lines and a metal forest, in double precision.
Example Solar() {
  Example e{"solar.fts", "Sun-like G2 V", Format::kFloat64, 3000, 4000.0, 1.0, "2026-06-21T12:00:00",
            5, "10**-16 erg.cm**-2.s**-1.Angstrom**-1",
            "Synthetic solar-type spectrum: 5780 K continuum, Fraunhofer lines.", {}};
  Noise forest(0x50150150ull);
  std::vector<Absorption> lines = MetalForest(forest, 4000, 7000, 380, 0.35);
  const std::vector<Absorption> strong = {
      {4101.7, 0.55, 3, 0.6},   {4226.7, 0.55, 1.2},      {4300.0, 0.25, 10},       {4340.5, 0.60, 4, 0.6},
      {4383.5, 0.45, 0.9},      {4861.3, 0.65, 4, 0.6},   {5167.3, 0.55, 1.2, 0.3}, {5172.7, 0.60, 1.2, 0.3},
      {5183.6, 0.65, 1.3, 0.3}, {5269.5, 0.45, 0.9},      {5889.95, 0.75, 1.1, 0.4}, {5895.92, 0.70, 1.1, 0.4},
      {6562.8, 0.70, 3, 0.6},   {6867.0, 0.35, 4},
  };
  lines.insert(lines.end(), strong.begin(), strong.end());
  const double scale = 190 / Planck(5500, 5780);
  Sample(e, 0x50150151ull,
         [&](double x) { return Absorbed(x, scale * Planck(x, 5780), lines); },
         [](double v) { return 0.003 * v + 0.05; });
  return e;
}

// A quasar at redshift 0.158: a blue power law with broad Balmer and He I
// lines and the narrow [O III] pair, all moved to the red.
Example Quasar() {
  Example e{"quasar.fts", "QSO z=0.158", Format::kFloat32, 2400, 4000.0, 1.25, "2026-04-02T03:30:05",
            1800, "10**-16 erg.cm**-2.s**-1.Angstrom**-1",
            "Synthetic quasar, z = 0.158: power law, broad H-beta, narrow [O III].", {}};
  constexpr double z1 = 1.158;
  const std::vector<Emission> lines = {
      {4101.7 * z1, 9, 20},   {4340.5 * z1, 20, 24},  {4861.3 * z1, 62, 26}, {4861.3 * z1, 20, 4},
      {4958.9 * z1, 11, 3.5}, {5006.8 * z1, 33, 3.5}, {5875.6 * z1, 9, 26},  {4686.0 * z1, 6, 35},
      {4570.0 * z1, 8, 60},   {5250.0 * z1, 7, 70},
  };
  Sample(e, 0x3C273ull,
         [&](double x) {
           double value = 120 * std::pow(x / 5500, -1.5);
           for (const Emission& line : lines) value += line.At(x);
           return value;
         },
         [](double v) { return 0.025 * v + 1; });
  return e;
}

// ---- Writing ----------------------------------------------------------------

void Check(int status, const std::string& what) {
  if (status == 0) return;
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  throw std::runtime_error(what + ": " + text);
}

template <typename T>
std::vector<T> Stored(const std::vector<double>& values, double lo, double hi) {
  std::vector<T> out;
  out.reserve(values.size());
  for (double v : values) out.push_back(static_cast<T>(std::clamp(std::nearbyint(v), lo, hi)));
  return out;
}

void Write(const std::filesystem::path& path, const Example& e) {
  fitsfile* file = nullptr;
  int status = 0;
  const std::string target = "!" + path.string();  // "!" replaces an existing file
  fits_create_file(&file, target.c_str(), &status);
  Check(status, "cannot create " + path.string());

  int image_type = FLOAT_IMG;
  switch (e.format) {
    case Format::kUnsigned16: image_type = USHORT_IMG; break;  // BITPIX 16, BZERO 32768
    case Format::kSigned32: image_type = LONG_IMG; break;
    case Format::kFloat32: image_type = FLOAT_IMG; break;
    case Format::kFloat64: image_type = DOUBLE_IMG; break;
  }
  long naxes[1] = {e.samples};
  fits_create_img(file, image_type, 1, naxes, &status);
  fits_write_key_str(file, "OBJECT", e.object.c_str(), "object name", &status);
  fits_write_key_str(file, "CTYPE1", "WAVE", "linear wavelength scale", &status);
  fits_write_key_str(file, "CUNIT1", "Angstrom", "unit of CRVAL1 and CD1_1", &status);
  fits_write_key_fixdbl(file, "CRPIX1", 0.0, 1, "reference pixel: pixel 0", &status);
  fits_write_key_fixdbl(file, "CRVAL1", e.crval1, 4, "wavelength of pixel 0 (Angstrom)", &status);
  fits_write_key_fixdbl(file, "CD1_1", e.cd1_1, 6, "step per pixel (Angstrom)", &status);
  fits_write_key_str(file, "BUNIT", e.bunit.c_str(), "unit of the samples", &status);
  fits_write_key_str(file, "DATE-OBS", e.date_obs.c_str(), "start of the exposure (UTC)", &status);
  fits_write_key_fixdbl(file, "EXPTIME", e.exptime, 1, "exposure time (s)", &status);
  fits_write_key_str(file, "TELESCOP", "Synthetic", "no telescope: a computed spectrum", &status);
  fits_write_key_str(file, "ORIGIN", "make-examples", "written by the Quillon example tool", &status);
  fits_write_comment(file, e.comment.c_str(), &status);
  Check(status, "cannot write the header of " + path.string());

  const auto count = static_cast<LONGLONG>(e.data.size());
  switch (e.format) {
    case Format::kUnsigned16: {
      std::vector<unsigned short> v = Stored<unsigned short>(e.data, 0, 65535);
      fits_write_img(file, TUSHORT, 1, count, v.data(), &status);
      break;
    }
    case Format::kSigned32: {
      std::vector<int> v = Stored<int>(e.data, 0, 2147483647.0);  // the viewer reads 32-bit samples unsigned
      fits_write_img(file, TINT, 1, count, v.data(), &status);
      break;
    }
    case Format::kFloat32: {
      std::vector<float> v(e.data.begin(), e.data.end());
      fits_write_img(file, TFLOAT, 1, count, v.data(), &status);
      break;
    }
    case Format::kFloat64: {
      std::vector<double> v = e.data;
      fits_write_img(file, TDOUBLE, 1, count, v.data(), &status);
      break;
    }
  }
  Check(status, "cannot write the samples of " + path.string());
  fits_close_file(file, &status);
  Check(status, "cannot close " + path.string());
}

// ---- Spectra in binary tables --------------------------------------------------

// A table column: name, TFORM, TUNIT.
struct Column {
  const char* name;
  const char* form;
  const char* unit;
};

void CreateEmptyPrimary(fitsfile* file, const std::string& object, const std::string& comment, int& status) {
  fits_create_img(file, BYTE_IMG, 0, nullptr, &status);  // NAXIS = 0, EXTEND = T
  fits_write_key_str(file, "OBJECT", object.c_str(), "object name", &status);
  fits_write_key_str(file, "TELESCOP", "Synthetic", "no telescope: a computed spectrum", &status);
  fits_write_key_str(file, "ORIGIN", "make-examples", "written by the Quillon example tool", &status);
  fits_write_comment(file, comment.c_str(), &status);
}

void CreateTable(fitsfile* file, long rows, const std::vector<Column>& columns, const char* extname, int& status) {
  std::vector<char*> names, forms, units;
  for (const Column& c : columns) {
    names.push_back(const_cast<char*>(c.name));
    forms.push_back(const_cast<char*>(c.form));
    units.push_back(const_cast<char*>(c.unit));
  }
  fits_create_tbl(file, BINARY_TBL, rows, static_cast<int>(columns.size()), names.data(), forms.data(), units.data(),
                  extname, &status);
}

fitsfile* CreateFile(const std::filesystem::path& path) {
  fitsfile* file = nullptr;
  int status = 0;
  const std::string target = "!" + path.string();  // "!" replaces an existing file
  fits_create_file(&file, target.c_str(), &status);
  Check(status, "cannot create " + path.string());
  return file;
}

// A star-forming galaxy at z = 0.041 as a survey's coadd stores it: an empty
// primary array, then a table COADD with one row per sample on a log-linear
// grid (10^-4 dex per pixel), the flux in 1E-17 erg/cm^2/s/Angstrom, its
// inverse variance and an AND_MASK; five samples hit by a cosmic ray are
// flagged (the mask set, the inverse variance 0).
void WriteGalaxyCoadd(const std::filesystem::path& path) {
  constexpr long kSamples = 2500;
  constexpr double kLogStart = 3.5855;  // 3850 Angstroms
  constexpr double z1 = 1.041;
  const std::vector<Emission> lines = {
      {3727.1 * z1, 14, 2.6}, {3729.9 * z1, 18, 2.6}, {4101.7 * z1, 2.2, 2.2}, {4340.5 * z1, 4.5, 2.2},
      {4861.3 * z1, 11, 2.3}, {4958.9 * z1, 6, 2.3},  {5006.8 * z1, 18, 2.3},  {6300.3 * z1, 1.5, 2.5},
      {6548.1 * z1, 6, 2.5},  {6562.8 * z1, 42, 2.5}, {6583.5 * z1, 17, 2.5},
  };
  const std::vector<Absorption> stellar = {
      {3933.7 * z1, 0.30, 4},  {3968.5 * z1, 0.25, 4}, {4101.7 * z1, 0.15, 5}, {4340.5 * z1, 0.15, 5},
      {4861.3 * z1, 0.12, 5},  {5175.0 * z1, 0.12, 6}, {5892.9 * z1, 0.10, 4}, {4300.0 * z1, 0.10, 9},
  };
  std::vector<float> wavelength(kSamples), flux(kSamples), ivar(kSamples);
  std::vector<int> and_mask(kSamples, 0);
  Noise noise(0x6A1A6A1Aull);
  for (long i = 0; i < kSamples; ++i) {
    const double x = std::pow(10.0, kLogStart + 1e-4 * static_cast<double>(i));
    double value = Absorbed(x, 6.5 * std::pow(x / 5500, -0.6) * (1 - 0.18 * Gauss(x, 3900, 120)), stellar);
    for (const Emission& line : lines) value += line.At(x);
    const double sigma = 0.55 + 0.04 * value;
    const auto k = static_cast<std::size_t>(i);
    wavelength[k] = static_cast<float>(x);
    flux[k] = static_cast<float>(value + sigma * noise.Gaussian());
    ivar[k] = static_cast<float>(1 / (sigma * sigma));
  }
  for (long i = 1702; i < 1707; ++i) {  // a cosmic ray: flux far too high, flagged
    const auto k = static_cast<std::size_t>(i);
    flux[k] += 60.0f * static_cast<float>(std::sin(kPi * static_cast<double>(i - 1701) / 6));
    ivar[k] = 0;
    and_mask[k] = 0x40000;  // COSMIC_RAY
  }

  fitsfile* file = CreateFile(path);
  int status = 0;
  CreateEmptyPrimary(file, "SF galaxy z=0.041", "Synthetic star-forming galaxy, z = 0.041: a coadd table.", status);
  CreateTable(file, kSamples,
              {{"WAVELENGTH", "1E", "Angstrom"},
               {"FLUX", "1E", "1E-17 erg/cm^2/s/Angstrom"},
               {"IVAR", "1E", "1E+34 cm^4 s^2 Angstrom^2 / erg^2"},
               {"AND_MASK", "1J", ""}},
              "COADD", status);
  fits_write_col(file, TFLOAT, 1, 1, 1, kSamples, wavelength.data(), &status);
  fits_write_col(file, TFLOAT, 2, 1, 1, kSamples, flux.data(), &status);
  fits_write_col(file, TFLOAT, 3, 1, 1, kSamples, ivar.data(), &status);
  fits_write_col(file, TINT, 4, 1, 1, kSamples, and_mask.data(), &status);
  Check(status, "cannot write the table of " + path.string());
  fits_close_file(file, &status);
  Check(status, "cannot close " + path.string());
}

// A sun-like star through an echelle spectrograph, as a space telescope's
// x1d file holds it: a table SCI with one row per order, array columns
// WAVELENGTH, FLUX, ERROR and DQ of 800 elements of which NELEM = 780 count,
// and SDQFLAGS in the table header; a hot pixel in the middle order has a
// DQ bit that SDQFLAGS marks as bad.
void WriteEchelleX1d(const std::filesystem::path& path) {
  constexpr long kElements = 800;
  constexpr int kUsed = 780;
  struct Order {
    short sporder;
    double start;  // Angstroms
  };
  const Order orders[] = {{70, 4815}, {66, 5125}, {58, 5845}};
  Noise forest(0x50150150ull);
  std::vector<Absorption> lines = MetalForest(forest, 4000, 7000, 380, 0.35);
  const std::vector<Absorption> strong = {
      {4861.3, 0.65, 4, 0.6},   {5167.3, 0.55, 1.2, 0.3}, {5172.7, 0.60, 1.2, 0.3}, {5183.6, 0.65, 1.3, 0.3},
      {5889.95, 0.75, 1.1, 0.4}, {5895.92, 0.70, 1.1, 0.4},
  };
  lines.insert(lines.end(), strong.begin(), strong.end());
  const double scale = 3.2e-13 / Planck(5500, 5780);

  fitsfile* file = CreateFile(path);
  int status = 0;
  CreateEmptyPrimary(file, "G2 V echelle", "Synthetic echelle spectrum of a solar-type star: three orders.",
                     status);
  CreateTable(file, 3,
              {{"SPORDER", "1I", ""},
               {"NELEM", "1J", ""},
               {"WAVELENGTH", "800D", "Angstrom"},
               {"FLUX", "800E", "erg/s/cm**2/Angstrom"},
               {"ERROR", "800E", "erg/s/cm**2/Angstrom"},
               {"DQ", "800I", ""}},
              "SCI", status);
  fits_write_key_lng(file, "SDQFLAGS", 31743, "serious data quality flags", &status);
  Noise noise(0xEC4E11Eull);
  for (long row = 1; row <= 3; ++row) {
    const Order& order = orders[row - 1];
    std::vector<double> wavelength(kElements, 0);
    std::vector<float> flux(kElements, 0), error(kElements, 0);
    std::vector<short> dq(kElements, 0);
    for (int i = 0; i < kUsed; ++i) {
      const double x = order.start + 0.128 * i;
      // The blaze: the order is brightest in its middle.
      const double blaze = 0.45 + 0.55 * std::pow(std::sin(kPi * (i + 40) / (kUsed + 80)), 2);
      const double value = Absorbed(x, scale * Planck(x, 5780), lines) * blaze;
      const double sigma = 0.02 * scale * Planck(5500, 5780) / std::sqrt(blaze);
      const auto k = static_cast<std::size_t>(i);
      wavelength[k] = x;
      flux[k] = static_cast<float>(value + sigma * noise.Gaussian());
      error[k] = static_cast<float>(sigma);
    }
    if (row == 2) {
      for (std::size_t k = 402; k < 405; ++k) {
        flux[k] *= 3;
        dq[k] = 16;  // hot pixel
      }
    }
    short sporder = order.sporder;
    int nelem = kUsed;
    fits_write_col(file, TSHORT, 1, row, 1, 1, &sporder, &status);
    fits_write_col(file, TINT, 2, row, 1, 1, &nelem, &status);
    fits_write_col(file, TDOUBLE, 3, row, 1, kElements, wavelength.data(), &status);
    fits_write_col(file, TFLOAT, 4, row, 1, kElements, flux.data(), &status);
    fits_write_col(file, TFLOAT, 5, row, 1, kElements, error.data(), &status);
    fits_write_col(file, TSHORT, 6, row, 1, kElements, dq.data(), &status);
  }
  Check(status, "cannot write the table of " + path.string());
  fits_close_file(file, &status);
  Check(status, "cannot close " + path.string());
}

// ---- An IRAF multispec echelle ----------------------------------------------------

// The Chebyshev dispersion of one order: centre and half-width of the
// order in Angstroms and two curvature terms, over physical pixels 1..nw.
struct EchelleOrder {
  int aperture;
  int beam;  // the echelle order number
  double centre, half_width, c3, c4;
};

// The wavelength IRAF gives pixel p of an order: c1 + c2 T1(x) + c3 T2(x)
// + c4 T3(x), x = (2p - (pmax + pmin)) / (pmax - pmin).
double ChebyshevWavelength(const EchelleOrder& o, double p, double pmin, double pmax) {
  const double x = (2 * p - (pmax + pmin)) / (pmax - pmin);
  return o.centre + o.half_width * x + o.c3 * (2 * x * x - 1) + o.c4 * (4 * x * x * x - 3 * x);
}

// A sun-like star through an echelle, as IRAF writes a reduced echelle
// with variance weighting: an 800 x 8 x 2 image, one order a line, the
// spectrum in band 1 and its sigma in band 2 (BANDIDn), CTYPE1 =
// 'MULTISPE', and each order's non-linear (Chebyshev) dispersion in WAT2
// cards that break its numbers every 68 characters; only the first 780
// pixels of a line belong to its order. Neighbouring orders overlap by
// about 17 Angstroms.
void WriteMultispecEchelle(const std::filesystem::path& path) {
  constexpr long kWidth = 800;
  constexpr int kUsed = 780;
  constexpr int kOrders = 8;
  std::vector<EchelleOrder> orders;
  for (int k = 0; k < kOrders; ++k) {
    orders.push_back({k + 1, 62 - k, 4990.0 + 95.0 * k, 56.0 + 0.5 * k, -1.2 + 0.05 * k, 0.25});
  }
  Noise forest(0x1AF5EC1Eull);
  std::vector<Absorption> lines = MetalForest(forest, 4900, 5900, 260, 0.4);
  const std::vector<Absorption> strong = {
      {5167.3, 0.55, 1.2, 0.3}, {5172.7, 0.60, 1.2, 0.3}, {5183.6, 0.65, 1.3, 0.3},
      {5269.5, 0.45, 0.6, 0.2}, {5889.95, 0.75, 1.1, 0.4}, {5895.92, 0.70, 1.1, 0.4},
  };
  lines.insert(lines.end(), strong.begin(), strong.end());
  Noise noise(0xEC4E11E2ull);
  std::vector<float> pixels(static_cast<std::size_t>(2 * kWidth * kOrders), 0.0f);  // band 1, then band 2
  std::string wat2 = "wtype=multispec";
  for (int k = 0; k < kOrders; ++k) {
    const EchelleOrder& o = orders[static_cast<std::size_t>(k)];
    for (int i = 0; i < kUsed; ++i) {
      const double x = ChebyshevWavelength(o, i + 1, 1, kUsed);
      const double blaze = 0.3 + 0.7 * std::pow(std::sin(kPi * (i + 60) / (kUsed + 120)), 2);
      const double value = 2400 * Absorbed(x, Planck(x, 5780) / Planck(5500, 5780), lines) * blaze;
      const double sigma = std::sqrt(value + 25);
      pixels[static_cast<std::size_t>(k * kWidth + i)] = static_cast<float>(value + sigma * noise.Gaussian());
      pixels[static_cast<std::size_t>((kOrders + k) * kWidth + i)] = static_cast<float>(sigma);
    }
    char spec[256];
    const double w1 = ChebyshevWavelength(o, 1, 1, kUsed);
    const double dw = (ChebyshevWavelength(o, kUsed, 1, kUsed) - w1) / (kUsed - 1);
    std::snprintf(spec, sizeof spec, " spec%d = \"%d %d 2 %.6f %.8f %d 0. %.2f %.2f 1. 0. 1 4 1. %d. %.4f %.4f %.4f %.4f\"",
                  k + 1, o.aperture, o.beam, w1, dw, kUsed, 3.0 + 10.5 * k, 10.0 + 10.5 * k, kUsed, o.centre,
                  o.half_width, o.c3, o.c4);
    wat2 += spec;
  }

  fitsfile* file = CreateFile(path);
  int status = 0;
  long axes[3] = {kWidth, kOrders, 2};
  fits_create_img(file, FLOAT_IMG, 3, axes, &status);
  fits_write_key_str(file, "OBJECT", "G2 V echelle (IRAF)", "object name", &status);
  fits_write_key_str(file, "TELESCOP", "Synthetic", "no telescope: a computed spectrum", &status);
  fits_write_key_str(file, "ORIGIN", "make-examples", "written by the Quillon example tool", &status);
  fits_write_key_str(file, "BUNIT", "counts", "", &status);
  fits_write_key_str(file, "CTYPE1", "MULTISPE", "", &status);
  fits_write_key_str(file, "CTYPE2", "MULTISPE", "", &status);
  fits_write_key_dbl(file, "CD1_1", 1.0, -3, "", &status);
  fits_write_key_dbl(file, "CD2_2", 1.0, -3, "", &status);
  fits_write_key_str(file, "CTYPE3", "LINEAR", "", &status);
  fits_write_key_dbl(file, "CD3_3", 1.0, -3, "", &status);
  fits_write_key_str(file, "BANDID1", "spectrum - background none, weights variance, clean no", "", &status);
  fits_write_key_str(file, "BANDID2", "sigma - background none, weights variance, clean no", "", &status);
  fits_write_key_lng(file, "LTM1_1", 1, "", &status);
  fits_write_key_lng(file, "LTM2_2", 1, "", &status);
  fits_write_key_lng(file, "LTM3_3", 1, "", &status);
  fits_write_key_str(file, "WAT0_001", "system=multispec", "", &status);
  fits_write_key_str(file, "WAT1_001", "wtype=multispec label=Wavelength units=angstroms", "", &status);
  fits_write_key_str(file, "WAT3_001", "wtype=linear", "", &status);
  // IRAF cuts the attribute text every 68 characters, mid-number if need be.
  for (std::size_t at = 0, card = 1; at < wat2.size(); at += 68, ++card) {
    char keyword[16];
    std::snprintf(keyword, sizeof keyword, "WAT2_%03zu", card);
    fits_write_key_str(file, keyword, wat2.substr(at, 68).c_str(), "", &status);
  }
  fits_write_img(file, TFLOAT, 1, 2 * kWidth * kOrders, pixels.data(), &status);
  Check(status, "cannot write " + path.string());
  fits_close_file(file, &status);
  Check(status, "cannot close " + path.string());
}

int Run(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
    std::cerr << kUsage;
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::cerr << "make-examples: cannot create " << folder.string() << ": " << ec.message() << "\n";
    return 1;
  }
  try {
    for (const Example& e : {HotStar(), CoolStar(), Nebula(), Solar(), Quasar()}) {
      Write(folder / e.file, e);
      std::cout << (folder / e.file).string() << "\n";
    }
    WriteGalaxyCoadd(folder / "galaxy-coadd.fts");
    std::cout << (folder / "galaxy-coadd.fts").string() << "\n";
    WriteEchelleX1d(folder / "echelle-x1d.fts");
    std::cout << (folder / "echelle-x1d.fts").string() << "\n";
    WriteMultispecEchelle(folder / "echelle-multispec.fts");
    std::cout << (folder / "echelle-multispec.fts").string() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "make-examples: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
