#include "spectrum/iraf_multispec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fits/byte_source.h"
#include "spectrum/spectrum_layouts.h"
#include "support/fits_writer.h"

namespace quillon {
namespace {

// The WATa_nnn cards of an attribute text as IRAF writes them: 68
// characters a card, numbers broken wherever the 68th falls; the blanks at
// the end of each value dropped, as FITS writers drop them.
bool number_broken = false;  // a card boundary fell inside a number
std::vector<std::string> WatCards(int axis, const std::string& text) {
  std::vector<std::string> cards;
  for (std::size_t at = 0, k = 1; at < text.size(); at += 68, ++k) {
    if (at > 0 && std::isdigit(static_cast<unsigned char>(text[at - 1])) &&
        std::isdigit(static_cast<unsigned char>(text[at])))
      number_broken = true;
    std::string piece = text.substr(at, 68);
    piece.erase(piece.find_last_not_of(' ') + 1);
    char keyword[16];
    std::snprintf(keyword, sizeof keyword, "WAT%d_%03zu", axis, k);
    cards.push_back(std::string(keyword) + "= '" + piece + "'");
  }
  return cards;
}

// An IRAF image: NAXIS1 = n, `lines` lines (0: a 1-D image), `bands` bands,
// the given cards; sample i of line l of band b is Flux(b, l, i).
double Flux(int band, int line, int i) {
  return 100 + 10 * band + line + std::sin(0.1 * i);
}

std::string Image(int n, int lines, int bands, std::vector<std::string> cards) {
  std::vector<std::string> head = {"SIMPLE  =                    T", "BITPIX  =                  -64",
                                   "NAXIS   = " + std::to_string(bands > 1   ? 3
                                                                 : lines > 0 ? 2
                                                                             : 1),
                                   "NAXIS1  = " + std::to_string(n)};
  if (lines > 0) head.push_back("NAXIS2  = " + std::to_string(lines));
  if (bands > 1) head.push_back("NAXIS3  = " + std::to_string(bands));
  head.insert(head.end(), cards.begin(), cards.end());
  std::vector<double> samples;
  for (int b = 0; b < std::max(bands, 1); ++b) {
    for (int l = 0; l < std::max(lines, 1); ++l) {
      for (int i = 1; i <= n; ++i) samples.push_back(Flux(b, l, i));
    }
  }
  std::string bytes = testing::HeaderBlocks(head) + testing::BigEndianSamples(-64, samples);
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
  return bytes;
}

std::vector<std::string> Multispec(const std::string& wat2, const std::string& units = "angstroms",
                                   std::vector<std::string> more = {}) {
  std::vector<std::string> cards = {"CTYPE1  = 'MULTISPE'", "CTYPE2  = 'MULTISPE'", "WAT0_001= 'system=multispec'"};
  for (const std::string& c : WatCards(1, "wtype=multispec label=Wavelength units=" + units)) cards.push_back(c);
  for (const std::string& c : WatCards(2, "wtype=multispec " + wat2)) cards.push_back(c);
  cards.insert(cards.end(), more.begin(), more.end());
  return cards;
}

// Direct evaluations of the dispersion functions, written from their
// definitions rather than by recurrence.
double Chebyshev(double x, const std::vector<double>& c) {
  double f = 0;
  for (std::size_t k = 0; k < c.size(); ++k) f += c[k] * std::cos(static_cast<double>(k) * std::acos(x));
  return f;
}
double Legendre(double x, const std::vector<double>& c) {  // up to order 4
  const double p[4] = {1, x, (3 * x * x - 1) / 2, (5 * x * x * x - 3 * x) / 2};
  double f = 0;
  for (std::size_t k = 0; k < c.size(); ++k) f += c[k] * p[k];
  return f;
}
double CubicSpline(double p, double pmin, double pmax, int pieces, const std::vector<double>& c) {
  const double s = (p - pmin) / (pmax - pmin) * pieces;
  const int j = std::clamp(static_cast<int>(std::floor(s)), 0, pieces - 1);
  const double a = j + 1 - s, b = s - j;
  return c[j] * a * a * a + c[j + 1] * (1 + 3 * a * (1 + a * b)) + c[j + 2] * (1 + 3 * b * (1 + a * b)) +
         c[j + 3] * b * b * b;
}
double LinearSpline(double p, double pmin, double pmax, int pieces, const std::vector<double>& c) {
  const double s = (p - pmin) / (pmax - pmin) * pieces;
  const int j = std::clamp(static_cast<int>(std::floor(s)), 0, pieces - 1);
  return (j + 1 - s) * c[j] + (s - j) * c[j + 1];
}
double Interpolate(double p, const std::vector<double>& px, const std::vector<double>& w) {
  std::size_t j = 0;
  while (j + 2 < px.size() && p > px[j + 1]) ++j;
  return w[j] + (p - px[j]) / (px[j + 1] - px[j]) * (w[j + 1] - w[j]);
}

struct Aperture {
  int64_t number;
  int64_t n;                                  // samples that belong to it (nw)
  std::function<double(double p)> angstroms;  // at physical pixel p
};

struct Case {
  const char* name;
  int n, lines, bands;
  std::vector<std::string> cards;
  std::vector<Aperture> apertures;  // line 1, 2, ...
  double ltv1 = 0;
  bool sigma = false;  // band 4 is the sigma band
};

std::vector<Case> Cases() {
  const std::vector<double> cheb = {5000, 50, -3, 0.7};
  const std::vector<double> leg = {6000, 40, 2.5, -0.4};
  const std::vector<double> cubic = {4990, 5010, 5030, 5052, 5071, 5090};
  const std::vector<double> lin = {7000, 7050, 7110};
  const std::vector<double> arr = {3000, 3001, 3003, 3006, 3010, 3015};
  // A long Chebyshev series spread over several cards.
  std::vector<double> longc = {5500, 120.25};
  std::string longs;
  for (int k = 2; k < 24; ++k) longc.push_back(0.001234567 / k);
  for (double c : longc) {
    char b[32];
    std::snprintf(b, sizeof b, " %.9g", c);
    longs += b;
  }
  const auto x = [](double p, double pmin, double pmax) { return (2 * p - (pmax + pmin)) / (pmax - pmin); };
  return {
      {"LinearWithIndefLimits",
       100,
       2,
       1,
       Multispec("spec1 = \"1 1 0 4000. 2. 100 0. INDEF INDEF\" spec2 = \"2 2 0 5000. 1.5 100 0. 10.5 20.5\""),
       {{1, 100, [](double p) { return 4000 + 2 * (p - 1); }},
        {2, 100, [](double p) { return 5000 + 1.5 * (p - 1); }}}},
      {"LogLinearAndDoppler",
       100,
       2,
       1,
       Multispec("spec1 = \"5 5 1 3.6 0.0001 100 0. 0 0\" spec2 = \"6 6 0 4000 1 100 0.01 0 0\""),
       {{5, 100, [](double p) { return std::pow(10.0, 3.6 + 0.0001 * (p - 1)); }},
        {6, 100, [](double p) { return (4000 + (p - 1)) / 1.01; }}}},
      {"ChebyshevPlusLegendreAndShortNw",
       100,
       2,
       1,
       Multispec("spec1 = \"7 7 2 4000 0.1 100 0 INDEF INDEF 1. 0. 1 4 1 100 5000 50 -3 0.7 0.5 10. 2 3 1 100 "
                 "6000 40 2.5\" spec2 = \"8 8 2 6000 0.1 80 0 0 0 1 0 2 4 1 80 6000 40 2.5 -0.4\""),
       {{7, 100,
         [=](double p) {
           return Chebyshev(x(p, 1, 100), cheb) + 0.5 * (10 + Legendre(x(p, 1, 100), {6000, 40, 2.5}));
         }},
        {8, 80, [=](double p) { return Legendre(x(p, 1, 80), leg); }}}},
      {"SplinesInNanometres",
       60,
       2,
       1,
       Multispec("spec1 = \"3 3 2 0 0 60 0 0 0 1 0 3 3 1 60 4990 5010 5030 5052 5071 5090\" spec2 = \"4 4 2 0 0 60 "
                 "0 0 0 1 0 4 2 1 60 7000 7050 7110\"",
                 "nanometers"),
       {{3, 60, [=](double p) { return 10 * CubicSpline(p, 1, 60, 3, cubic); }},
        {4, 60, [=](double p) { return 10 * LinearSpline(p, 1, 60, 2, lin); }}}},
      {"PixelArraysInASection",
       8,
       2,
       1,
       Multispec("spec1 = \"9 9 2 0 0 8 0 0 0 1 0 5 6 3000 3001 3003 3006 3010 3015\" spec2 = \"10 10 2 0 0 8 0 0 0 "
                 "1 0 6 3 0.5 4000 4.5 4100 12.5 4500\"",
                 "angstroms", {"LTV1    = -2.", "LTM1_1  = 1."}),
       {{9, 8,
         [=](double p) {
           return Interpolate(p, {1, 2, 3, 4, 5, 6}, arr);
         }},
        {10, 8,
         [=](double p) {
           return Interpolate(p, {0.5, 4.5, 12.5}, {4000, 4100, 4500});
         }}},
       -2},
      {"NumbersBrokenAcrossCards",
       50,
       1,
       1,
       Multispec("spec1 = \"11 11 2 5500 1 50 0 INDEF INDEF 1 0 1 " + std::to_string(longc.size()) + " 1 50" + longs +
                 "\""),
       {{11, 50, [=](double p) { return Chebyshev(x(p, 1, 50), longc); }}}},
      {"BandsWithSigma",
       40,
       2,
       4,
       Multispec("spec1 = \"1 1 0 4000 2 40 0 0 0\" spec2 = \"2 2 0 5000 2 40 0 0 0\"", "angstroms",
                 {"BANDID1 = 'spectrum - background fit, weights variance, clean no'",
                  "BANDID2 = 'raw - background fit, weights none, clean no'", "BANDID3 = 'background - fit'",
                  "BANDID4 = 'sigma - background fit, weights variance, clean no'"}),
       {{1, 40, [](double p) { return 4000 + 2 * (p - 1); }}, {2, 40, [](double p) { return 5000 + 2 * (p - 1); }}},
       0,
       true},
      {"OneDimensional",
       30,
       0,
       1,
       Multispec("spec1 = \"3 1 0 6500 0.25 30 0 INDEF INDEF\""),
       {{3, 30, [](double p) { return 6500 + 0.25 * (p - 1); }}}},
  };
}

// Every aperture of every case is listed in line order with its number, and
// loads by its address at the wavelengths the formulas give, its fluxes the
// first nw samples of its line (and the sigma band's beside them).
TEST(IrafMultispec, EveryApertureAtTheWavelengthsOfItsFormula) {
  number_broken = false;
  const std::vector<Case> cases = Cases();
  EXPECT_TRUE(number_broken);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Image(c.n, c.lines, c.bands, c.cards);
    MemorySource source(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const SpectrumList list = ListSpectra(source, "ms.fits");
    EXPECT_TRUE(list.notes.empty()) << list.notes.front();
    ASSERT_EQ(list.spectra.size(), c.apertures.size());
    for (std::size_t a = 0; a < c.apertures.size(); ++a) {
      const Aperture& want = c.apertures[a];
      const SpectrumListEntry& entry = list.spectra[a];
      EXPECT_EQ(entry.aperture, want.number);
      EXPECT_EQ(entry.address, "ms.fits[ap " + std::to_string(want.number) + "]");
      EXPECT_EQ(entry.origin.row, c.lines > 0 ? static_cast<int64_t>(a) : -1);
      EXPECT_EQ(entry.n, want.n);
      EXPECT_EQ(entry.uncertainty, c.sigma);
      const double first = want.angstroms(1 - c.ltv1), last = want.angstroms(static_cast<double>(want.n) - c.ltv1);
      EXPECT_NEAR(entry.wave_first, first, 1e-9 * first);
      EXPECT_NEAR(entry.wave_last, last, 1e-9 * last);
      const std::optional<SpectrumAddress> address = ParseSpectrumAddress(entry.address);
      ASSERT_TRUE(address);
      for (const SpectrumSelector& selector :
           {address->selector, SpectrumSelector{0, "", {}, static_cast<int64_t>(a), "", {}}}) {
        const ReadResult r = ReadSelectedSpectrum(source, "ms.fits", selector, {});
        ASSERT_TRUE(r.spectrum) << r.messages.back();
        EXPECT_TRUE(r.messages.empty()) << r.messages.front();
        const Spectrum& s = *r.spectrum;
        ASSERT_EQ(s.SampleCount(), static_cast<double>(want.n));
        ASSERT_EQ(s.wavelengths.size(), static_cast<std::size_t>(want.n + 1));
        for (int64_t i = 1; i <= want.n; ++i) {
          const double expected = want.angstroms(static_cast<double>(i) - c.ltv1);
          ASSERT_NEAR(s.wavelengths[i], expected, 1e-9 * expected) << "sample " << i;
          ASSERT_DOUBLE_EQ(s.intensity[i], Flux(0, static_cast<int>(a), static_cast<int>(i)));
          if (c.sigma) {
            ASSERT_DOUBLE_EQ(s.uncertainty[i], Flux(3, static_cast<int>(a), static_cast<int>(i)));
          }
        }
        EXPECT_EQ(s.uncertainty.empty(), !c.sigma);
      }
    }
    // The plain name loads the first aperture, without a word.
    const ReadResult plain = ReadSelectedSpectrum(source, "ms.fits", {}, {});
    ASSERT_TRUE(plain.spectrum);
    EXPECT_TRUE(plain.messages.empty());
    EXPECT_NEAR(plain.spectrum->wavelengths[1], c.apertures[0].angstroms(1 - c.ltv1), 1e-6);
  }
}

// Malformed WAT text: the aperture it spoils is left out with a sentence
// saying why (the others stay), or the whole image falls back to its first
// line with the reason; nothing is allocated for a count the text does not
// hold.
TEST(IrafMultispec, MalformedCoordinatesAreNamed) {
  const std::string good = " spec2 = \"2 2 0 5000 1 50 0 0 0\"";
  struct Bad {
    const char* name;
    std::vector<std::string> cards;
    std::string words;  // in the note (or the reason of the fallback)
    bool fallback;      // the WAT cards cannot be read at all
  };
  std::vector<std::string> missing_card = Multispec(
      "spec1 = \"1 1 2 0 0 50 0 0 0 1 0 1 12 1 50 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25\"" +
      good);
  std::erase_if(missing_card, [](const std::string& c) { return c.rfind("WAT2_002", 0) == 0; });
  std::vector<std::string> cut = Multispec("spec1 = \"1 1 0 4000 1 50 0 0 0\"" + good);
  cut.back() = cut.back().substr(0, cut.back().size() - 4) + "'";  // the closing " of spec2 lost
  const std::vector<Bad> bad = {
      {"CardMissing", missing_card, "WAT2_002 is missing", true},
      {"TextCutOff", cut, "no closing quote", true},
      {"HugeOrder", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 1 2000000000 1 50 1 2\"" + good),
       "more than the 4 numbers that follow it", false},
      {"HugePieces", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 3 4 1 50 1 2 3\"" + good),
       "needs 9 numbers after it, but the text holds 5", false},
      {"HugePoints", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 6 1e300 1 2\"" + good), "number of points", false},
      {"NwBeyondNaxis1", Multispec("spec1 = \"1 1 0 4000 1 51 0 0 0\"" + good),
       "claims 51 samples (nw), but its line holds 50", false},
      {"PminEqualsPmax", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 1 2 7 7 1 2\"" + good), "spans no pixel", false},
      {"NaNCoefficient", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 2 2 1 50 nan 2\"" + good),
       "coefficient \"nan\" is not a number", false},
      {"DopplerMinusOne", Multispec("spec1 = \"1 1 0 4000 1 50 -1 0 0\"" + good), "divide every wavelength by 0",
       false},
      {"TooFewValues", Multispec("spec1 = \"1 1 0 4000\"" + good), "4 values where at least 9", false},
      {"FunctionsMissing", Multispec("spec1 = \"1 1 2 4000 1 50 0 0 0\"" + good), "gives no function", false},
      {"PairsThatDoNotRise", Multispec("spec1 = \"1 1 2 0 0 50 0 0 0 1 0 6 2 5 4000 5 4100\"" + good), "do not rise",
       false},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    const std::string bytes = Image(50, 2, 1, b.cards);
    MemorySource source(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const SpectrumList list = ListSpectra(source, "bad.fits");
    const ReadResult plain = ReadSelectedSpectrum(source, "bad.fits", {}, {});
    ASSERT_TRUE(plain.spectrum);
    ASSERT_FALSE(plain.messages.empty());
    EXPECT_NE(plain.messages.front().find(b.words), std::string::npos) << plain.messages.front();
    if (b.fallback) {
      // Read as any image: its first line, with the word that it is multispec.
      EXPECT_TRUE(list.primary_image);
      EXPECT_TRUE(plain.spectrum->wavelengths.empty());
      EXPECT_TRUE(std::any_of(plain.messages.begin(), plain.messages.end(), [](const std::string& m) {
        return m.find("is an IRAF multispec spectrum: its wavelengths are given by its WAT cards") != std::string::npos;
      }));
      ASSERT_FALSE(list.notes.empty());
      EXPECT_NE(list.notes.front().find(b.words), std::string::npos) << list.notes.front();
      // An aperture asked for by number is refused with the same reason.
      const ReadResult asked =
          ReadSelectedSpectrum(source, "bad.fits", ParseSpectrumAddress("bad.fits[ap 1]")->selector, {});
      ASSERT_FALSE(asked.spectrum);
      EXPECT_EQ(asked.messages.back().rfind(
                    "The IRAF multispec image \"bad.fits\" cannot be read at its own wavelengths: ", 0),
                0u);
      EXPECT_NE(asked.messages.back().find(b.words), std::string::npos) << asked.messages.back();
    } else {
      // Only aperture 2 is left.
      ASSERT_EQ(list.spectra.size(), 1u);
      EXPECT_EQ(list.spectra[0].aperture, 2);
      ASSERT_FALSE(list.notes.empty());
      EXPECT_NE(list.notes.front().find(b.words), std::string::npos) << list.notes.front();
      EXPECT_EQ(plain.spectrum->wavelengths[1], 5000);
      EXPECT_FALSE(
          ReadSelectedSpectrum(source, "bad.fits", ParseSpectrumAddress("bad.fits[ap 1]")->selector, {}).spectrum);
    }
  }
}

// [ap N] names an aperture, first or after [0]; with a row or another HDU
// it is no address.
TEST(IrafMultispec, ApertureAddresses) {
  struct Form {
    const char* name;
    std::optional<int64_t> aperture, row;
    bool valid;
  };
  for (const Form& f : std::vector<Form>{{"f.fits[ap 5]", 5, {}, true},
                                         {"f.fits[AP  12 ]", 12, {}, true},
                                         {"f.fits[0][ap 5]", 5, {}, true},
                                         {"f.fits[0][row 3]", {}, 3, true},
                                         {"f.fits[SCI][ap 5]", {}, {}, false},
                                         {"f.fits[ap 5][row 1]", {}, {}, false},
                                         {"f.fits[0][ap 1][ap 2]", {}, {}, false}}) {
    SCOPED_TRACE(f.name);
    const std::optional<SpectrumAddress> a = ParseSpectrumAddress(f.name);
    ASSERT_EQ(a.has_value(), f.valid);
    if (!f.valid) continue;
    EXPECT_EQ(a->file, "f.fits");
    EXPECT_EQ(a->selector.hdu, 0);
    EXPECT_EQ(a->selector.aperture, f.aperture);
    EXPECT_EQ(a->selector.row, f.row);
  }
  // Apertures that share a number are named by their rows; an aperture the
  // file lacks, or any aperture of a file that is not multispec, is refused.
  const std::string bytes =
      Image(20, 2, 1, Multispec("spec1 = \"4 1 0 4000 1 20 0 0 0\" spec2 = \"4 2 0 5000 1 20 0 0 0\""));
  MemorySource source(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  const SpectrumList list = ListSpectra(source, "twin.fits");
  ASSERT_EQ(list.spectra.size(), 2u);
  EXPECT_EQ(list.spectra[1].address, "twin.fits[0][row 1]");
  const ReadResult second =
      ReadSelectedSpectrum(source, "twin.fits", ParseSpectrumAddress(list.spectra[1].address)->selector, {});
  ASSERT_TRUE(second.spectrum);
  EXPECT_EQ(second.spectrum->wavelengths[1], 5000);
  const ReadResult none =
      ReadSelectedSpectrum(source, "twin.fits", ParseSpectrumAddress("twin.fits[ap 9]")->selector, {});
  ASSERT_FALSE(none.spectrum);
  EXPECT_EQ(none.messages.back(), "The IRAF multispec image \"twin.fits\" has no aperture 9.");
  const std::string plain_bytes = Image(20, 0, 1, {"CRVAL1  = 4000.", "CD1_1   = 1."});
  MemorySource plain(reinterpret_cast<const unsigned char*>(plain_bytes.data()), plain_bytes.size());
  const ReadResult not_multispec =
      ReadSelectedSpectrum(plain, "p.fits", ParseSpectrumAddress("p.fits[ap 1]")->selector, {});
  ASSERT_FALSE(not_multispec.spectrum);
  EXPECT_NE(not_multispec.messages.back().find("has no aperture 1"), std::string::npos);
}

}  // namespace
}  // namespace quillon
