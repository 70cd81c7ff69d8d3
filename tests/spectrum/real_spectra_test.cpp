// Spectra as other software writes them (IRAF, astropy, specutils, HST and
// model grids), written here with CFITSIO: every one comes out at the
// wavelengths and values the FITS standard gives it, or is refused in one
// message, or loads with a word.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "spectrum/spectrum_reader.h"
#include "spectrum/wavelength_calibration.h"
#include "render/display_list.h"
#include "render/renderer.h"
#include "session/slot_loading.h"
#include "support/fits_writer.h"
#include "support/plot_test_support.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::vector<double> Wave(int n, int phase = 0) {
  std::vector<double> v;
  for (int i = 1; i <= n; ++i) v.push_back(1000 + 300 * std::sin((i + phase) / 9.0));
  return v;
}

class RealSpectraTest : public ::testing::Test {
 protected:
  RealSpectraTest() : keep_cwd_(fs::current_path()) { state_.FitsDirectory = dir_.path().string(); }

  FitsLoadDetails Load(const std::string& name, int16_t slot = 1) {
    rec_.messages.clear();
    rec_.calls.clear();
    state_.Slots[slot].file_name = name;
    return LoadFitsSpectrum(state_, slot, rec_, rec_, rec_);
  }

  // A -32 spectrum with only the cards given (CFITSIO adds the mandatory ones).
  std::string Write(const std::string& name, const std::vector<std::string>& cards, std::vector<double> raw = Wave(300),
                    int bitpix = -32, long naxis2 = 0) {
    testing::FitsImage image;
    image.bitpix = bitpix;
    image.raw = std::move(raw);
    image.naxis2 = naxis2;
    image.extra_cards = cards;
    testing::WriteFits(dir_ / name, image);
    return name;
  }

  // Sample i (1..n) of slot 1 in Angstroms.
  double Lambda(int i, int slot = 1) const { return SlotSpectrum(state_, slot).DrawnScale().At(i); }

  testing::TempDir dir_;
  testing::ScopedCurrentDir keep_cwd_;
  SharedState state_;
  testing::RecordingServices rec_;
};

// ---- Wavelengths -----------------------------------------------------------------

struct ScaleCase {
  const char* name;
  std::vector<std::string> cards;
  double first;        ///< Angstroms of sample 1
  double second;       ///< Angstroms of sample 2
  double last;         ///< Angstroms of sample 300
  bool logarithmic;
  std::vector<std::string> messages;
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

class ScaleTest : public RealSpectraTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ScaleTest, SamplesLieWhereTheHeaderPutsThem) {
  const ScaleCase& c = GetParam();
  ASSERT_TRUE(Load(Write("s.fits", c.cards)).published) << ::testing::PrintToString(rec_.messages);
  EXPECT_EQ(rec_.messages, c.messages);
  EXPECT_NEAR(Lambda(1), c.first, 1e-9 * c.first);
  EXPECT_NEAR(Lambda(2), c.second, 1e-9 * c.second);
  EXPECT_NEAR(Lambda(300), c.last, 1e-9 * c.last);
  EXPECT_EQ(SlotSpectrum(state_, 1).scale.logarithmic, c.logarithmic);
  // The slot's range runs from the short end to the long one, half a step
  // beyond the outer samples' centres... exactly: pixel 0 to pixel 300.
  const double p0 = Lambda(0), pn = Lambda(300);
  EXPECT_DOUBLE_EQ(SlotSpectrum(state_, 1).lambda_start, std::min(p0, pn));
  EXPECT_DOUBLE_EQ(SlotSpectrum(state_, 1).lambda_end, std::max(p0, pn));
  EXPECT_DOUBLE_EQ(SlotHeader(state_, 1).lambda0, p0) << "SlotLambda0 is the wavelength of pixel 0";
  EXPECT_EQ(state_.DataLambdaMin, SlotSpectrum(state_, 1).lambda_start);
  EXPECT_EQ(state_.DataLambdaMax, SlotSpectrum(state_, 1).lambda_end);
}

const double kLog = 3.6, kLogStep = 1e-4;

INSTANTIATE_TEST_SUITE_P(
    Headers, ScaleTest,
    ::testing::ValuesIn(std::vector<ScaleCase>{
        {"NoReferencePixelAsBefore", {"CRVAL1  = 4000.", "CD1_1   = 2."}, 4002, 4004, 4600, false, {}},
        {"ReferencePixelOne", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CD1_1   = 2."}, 4000, 4002, 4598, false, {}},
        {"ImageSection", {"CRVAL1  = 4000.", "CRPIX1  = -99.", "CD1_1   = 2."}, 4200, 4202, 4798, false, {}},
        {"ReferencePixelInside", {"CRVAL1  = 6562.8", "CRPIX1  = 150.5", "CD1_1   = 0.25"}, 6562.8 - 0.25 * 149.5,
         6562.8 - 0.25 * 148.5, 6562.8 + 0.25 * 149.5, false, {}},
        {"StoredRedToBlue", {"CRVAL1  = 7000.", "CRPIX1  = 1.", "CD1_1   = -2."}, 7000, 6998, 6402, false, {}},
        {"CdeltOnly", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2."}, 4000, 4002, 4598, false, {}},
        {"CdeltInMetres", {"CRVAL1  = 4.0E-07", "CRPIX1  = 1.", "CDELT1  = 2.0E-10", "CUNIT1  = 'm       '"}, 4000,
         4002, 4598, false, {}},
        {"CdeltInNanometres", {"CRVAL1  = 400.", "CRPIX1  = 1.", "CDELT1  = 0.2", "CUNIT1  = 'nm      '"}, 4000, 4002,
         4598, false, {}},
        {"Microns", {"CRVAL1  = 1.2", "CRPIX1  = 1.", "CDELT1  = 1.0E-4", "CUNIT1  = 'um'"}, 12000, 12001, 12299,
         false, {}},
        {"AngstromInCapitals", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2.", "CUNIT1  = 'ANGSTROM'"}, 4000, 4002,
         4598, false, {}},
        {"AngstromInLowerCase", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2.", "CUNIT1  = 'angstrom'"}, 4000,
         4002, 4598, false, {}},
        {"CdMatrixWinsOverCdelt", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 5.", "CD1_1   = 2."}, 4000, 4002, 4598,
         false, {}},
        {"CdeltTimesPc", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 4.", "PC1_1   = 0.5"}, 4000, 4002, 4598, false,
         {}},
        {"LogLinearDcFlag", {"CRVAL1  = 3.6", "CRPIX1  = 1.", "CD1_1   = 1.0E-4", "DC-FLAG =                    1"},
         std::pow(10.0, kLog), std::pow(10.0, kLog + kLogStep), std::pow(10.0, kLog + 299 * kLogStep), true, {}},
        {"LogLinearRedToBlue", {"CRVAL1  = 3.7", "CRPIX1  = 1.", "CD1_1   = -1.0E-4", "DC-FLAG =                    1"},
         std::pow(10.0, 3.7), std::pow(10.0, 3.7 - kLogStep), std::pow(10.0, 3.7 - 299 * kLogStep), true, {}},
        {"StandardLogAxis",
         {"CTYPE1  = 'WAVE-LOG'", "CRVAL1  = 5000.", "CRPIX1  = 1.", "CDELT1  = 0.5", "CUNIT1  = 'Angstrom'"}, 5000,
         5000 * std::exp(0.5 / 5000), 5000 * std::exp(0.5 * 299 / 5000), true, {}},
        {"UnknownUnitDrawnAsAngstroms", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2.", "CUNIT1  = 'Hz'"}, 4000,
         4002, 4598, false,
         {"The wavelength unit of \"s.fits\" (CUNIT1 = 'Hz') is not one Quillon knows (m, nm, um or Angstrom); its "
          "wavelengths are drawn as if they were Angstroms."}},
        {"DcFlagWithALinearCrval", {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CD1_1   = 2.", "DC-FLAG =                    1"},
         4000, 4002, 4598, false,
         {"The spectrum in \"s.fits\" says its wavelength scale is logarithmic (DC-FLAG = 1), but CRVAL1 = 4000. "
          "cannot be the logarithm of a wavelength; it is drawn as a linear scale."}},
        {"FrequencyAxis", {"CTYPE1  = 'FREQ    '", "CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2.", "CUNIT1  = 'Hz'"},
         4000, 4002, 4598, false,
         {"The axis of \"s.fits\" (CTYPE1 = 'FREQ    ') is a frequency, not a wavelength; its values are drawn as "
          "they are stored, not as Angstroms."}},
        {"VelocityAxis", {"CTYPE1  = 'VRAD'", "CRVAL1  = 200.", "CRPIX1  = 1.", "CDELT1  = 2.", "CUNIT1  = 'km/s'"},
         200, 202, 798, false,
         {"The axis of \"s.fits\" (CTYPE1 = 'VRAD') is a velocity, not a wavelength; its values are drawn as they are "
          "stored, not as Angstroms."}},
        {"TabularAxis", {"CTYPE1  = 'WAVE-TAB'", "CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2."}, 4000, 4002, 4598,
         false,
         {"The wavelength axis of \"s.fits\" (CTYPE1 = 'WAVE-TAB') is of a kind Quillon does not read; it is drawn "
          "as a linear scale from CRVAL1 and the dispersion."}},
        {"PlainWavelengthAxes", {"CTYPE1  = 'AWAV    '", "CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2."}, 4000, 4002,
         4598, false, {}},
        {"IrafLinear", {"CTYPE1  = 'LINEAR  '", "CRVAL1  = 4000.", "CRPIX1  = 1.", "CDELT1  = 2.", "CD1_1   = 2.",
                        "DC-FLAG =                    0", "WAT1_001= 'wtype=linear label=Wavelength units=angstroms'"},
         4000, 4002, 4598, false, {}},
        {"NeitherCdNorCdeltKeepsTheWarning", {"CRVAL1  = 4000.", "CRPIX1  = 1."}, 4000, 4000, 4000, false,
         {"You need to set the keyword for dLambda/dP."}},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealSpectraTest, OtherKeywordNamesKeepThePlainRule) {
  state_.KeywordLambda0 = "W0";
  state_.KeywordDispersion = "WPC";
  ASSERT_TRUE(Load(Write("w.fits", {"W0      = 4000.", "WPC     = 2.", "CRPIX1  = 1.", "CUNIT1  = 'nm'"})).published);
  EXPECT_EQ(Lambda(1), 4002) << "the keyword is the wavelength of pixel 0; CRPIX1 and CUNIT1 describe CRVAL1's axis";
  EXPECT_TRUE(rec_.messages.empty());
}

TEST_F(RealSpectraTest, TheLambdaZeroWarningTestsTheKeywordsOwnValue) {
  // Pixel 0 lies at 0 Angstroms, but CRVAL1 itself is set.
  ASSERT_TRUE(Load(Write("z.fits", {"CRVAL1  = 2.", "CRPIX1  = 2.", "CD1_1   = 2."})).published);
  EXPECT_TRUE(rec_.messages.empty());
  EXPECT_EQ(SlotHeader(state_, 1).lambda0, -2);
  ASSERT_TRUE(Load(Write("z.fits", {"CRPIX1  = 1.", "CD1_1   = 2."})).published);
  EXPECT_EQ(rec_.messages, std::vector<std::string>{kNoLambda0Message});
}

// ---- Sample values ---------------------------------------------------------------

TEST_F(RealSpectraTest, SkySubtractedSixteenBitSamplesKeepTheirSign) {
  const std::vector<double> raw = {-50, -3, 0, 120, 32767, -32768, 7};
  ASSERT_TRUE(Load(Write("sky.fits", {"CRVAL1  = 4000.", "CD1_1   = 2."}, raw, 16)).published);
  EXPECT_EQ(rec_.messages, std::vector<std::string>{kSignedSixteenMessage});
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity, (std::vector<double>{0, -50, -3, 0, 120, 32767, -32768, 7}));
  EXPECT_EQ(SlotSpectrum(state_, 1).norm, 32767);
}

TEST_F(RealSpectraTest, ScaledIntegersGiveTheirPhysicalValues) {
  struct Case {
    int bitpix;
    std::vector<std::string> cards;
    double scale, zero;
  };
  const std::vector<double> raw = {-32768, -1000, 0, 1, 2500, 32767};
  for (const Case& c : {Case{16, {"BSCALE  = 0.0147", "BZERO   = 680.5"}, 0.0147, 680.5},
                        Case{32, {"BSCALE  = 2.5E-3", "BZERO   = -12."}, 2.5e-3, -12},
                        Case{-32, {"BSCALE  = 2.", "BZERO   = 100."}, 2, 100}}) {
    SCOPED_TRACE(c.bitpix);
    std::vector<std::string> cards = {"CRVAL1  = 4000.", "CRPIX1  = 1.", "CD1_1   = 2."};
    cards.insert(cards.end(), c.cards.begin(), c.cards.end());
    ASSERT_TRUE(Load(Write("wfits.fits", cards, raw, c.bitpix)).published);
    EXPECT_TRUE(rec_.messages.empty()) << ::testing::PrintToString(rec_.messages);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      const double expected = c.zero + c.scale * raw[i];
      EXPECT_NEAR(SlotSpectrum(state_, 1).intensity[i + 1], expected, 1e-12 * std::fabs(expected)) << i;
    }
  }
}

TEST_F(RealSpectraTest, BscaleOfZeroIsRefused) {
  ASSERT_FALSE(Load(Write("zero.fits", {"CRVAL1  = 4000.", "CD1_1   = 2.", "BSCALE  = 0."}, Wave(10), 16)).published);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_NE(rec_.messages[0].find("gives BSCALE = 0., which would make every sample the same value"),
            std::string::npos);
}

// ---- Missing samples ---------------------------------------------------------------

TEST_F(RealSpectraTest, MissingSamplesAreLeftOutOfTheLevelAndBreakTheCurve) {
  // Three blocks of 50: the middle one entirely masked, the others with gaps.
  std::vector<double> raw(150, 100.0);
  raw[10] = 400;  // block 1's maximum
  raw[120] = 200;  // block 3's maximum
  for (int i = 50; i < 100; ++i) raw[static_cast<std::size_t>(i)] = std::nan("");
  raw[3] = std::numeric_limits<double>::infinity();
  raw[140] = std::nan("");
  ASSERT_TRUE(Load(Write("gaps.fits", {"CRVAL1  = 4000.", "CD1_1   = 2."}, raw)).published);
  EXPECT_TRUE(rec_.messages.empty());
  EXPECT_EQ(SlotSpectrum(state_, 1).norm, 300) << "the median of 400 and 200; the empty block gives no maximum";
  EXPECT_TRUE(std::isnan(SlotSpectrum(state_, 1).intensity[4]));
  EXPECT_TRUE(std::isnan(SlotSpectrum(state_, 1).levelled[60]));
  EXPECT_EQ(SlotSpectrum(state_, 1).levelled[1], 100 * 100.0 / 300);
  EXPECT_EQ(SlotSpectrum(state_, 1).levelled_max, 100 * 400.0 / 300);

  // Drawn: no line reaches the surface from a missing sample.
  state_.PlotWidth = 10000;
  state_.PlotHeight = 5000;
  testing::RecordingHost host(state_);
  RenderPlot(state_, host);
  std::size_t curve = 0;
  for (const RecordedLine& l : host.list.Lines()) {
    ASSERT_TRUE(std::isfinite(l.x1) && std::isfinite(l.y1) && std::isfinite(l.x2) && std::isfinite(l.y2));
    if (l.color == state_.Slots[1].color) ++curve;
  }
  // 150 samples make 299 lines; each lone gap loses its step and two risers,
  // the 50-sample gap its 50 steps and 51 risers.
  EXPECT_EQ(curve, 299u - 3 - 3 - 101 + 1) << "the marker included";
}

TEST_F(RealSpectraTest, BlankIntegersAreMissing) {
  const std::vector<double> raw = {10, -32768, 30, 40};
  ASSERT_TRUE(Load(Write("blank.fits", {"CRVAL1  = 4000.", "CD1_1   = 2.", "BLANK   = -32768"}, raw, 16)).published);
  EXPECT_EQ(Load(Write("blank.fits", {"CRVAL1  = 4000.", "CD1_1   = 2.", "BLANK   = -32768"}, raw, 16)).missing, 1);
  EXPECT_TRUE(std::isnan(SlotSpectrum(state_, 1).intensity[2]));
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[3], 30);
  // BLANK means nothing for floating-point data.
  ASSERT_TRUE(Load(Write("fblank.fits", {"CRVAL1  = 4000.", "CD1_1   = 2.", "BLANK   = 30"}, raw)).published);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[3], 30);
}

// ---- Files without a drawable spectrum ------------------------------------------------

TEST_F(RealSpectraTest, AnEmptyPrimaryArrayLoadsTheTableAfterIt) {
  for (int bitpix : {8, 16}) {
    SCOPED_TRACE(bitpix);
    testing::WriteEmptyPrimaryWithTable(dir_ / "table.fits", bitpix, {"OBJECT  = 'HD 93521'"}, {4000, 4002, 4004},
                                        {1, 2, 3});
    rec_.messages.clear();
    ASSERT_TRUE(Load("table.fits").published) << ::testing::PrintToString(rec_.messages);
    EXPECT_TRUE(rec_.messages.empty()) << ::testing::PrintToString(rec_.messages);
    EXPECT_EQ(SlotSpectrum(state_, 1).intensity[3], 3);
    EXPECT_EQ(SlotSpectrum(state_, 1).wavelengths[3], 4004);
  }
  // With nothing after it, the primary's own refusal stands.
  testing::WriteBytes(dir_ / "empty.fits", testing::HeaderBlocks({"SIMPLE  =                    T",
                                                                  "BITPIX  =                    8",
                                                                  "NAXIS   =                    0"}));
  rec_.messages.clear();
  EXPECT_FALSE(Load("empty.fits").published);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0].rfind("The file \"empty.fits\" holds no data in its primary array (NAXIS = 0).", 0), 0u);
  // An image with a second axis of length 0 holds no data either.
  testing::WriteBytes(dir_ / "flat.fits", testing::HeaderBlocks({"SIMPLE  =                    T",
                                                                 "BITPIX  =                  -32",
                                                                 "NAXIS   =                    2",
                                                                 "NAXIS1  =                   10",
                                                                 "NAXIS2  =                    0"}) +
                                              std::string(2880, '\0'));
  EXPECT_FALSE(Load("flat.fits").published);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0].rfind("The header of \"flat.fits\" gives NAXIS2 = 0, so its primary array holds no "
                                   "samples.",
                                   0),
            0u);
  // No NAXIS1 card at all.
  testing::WriteBytes(dir_ / "bare.fits", testing::HeaderBlocks({"SIMPLE  =                    T",
                                                                 "BITPIX  =                   16",
                                                                 "NAXIS   =                    1"}));
  EXPECT_FALSE(Load("bare.fits").published);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0].rfind("The header of \"bare.fits\" has no NAXIS1 card, so its primary array holds no "
                                   "samples.",
                                   0),
            0u);
}

TEST_F(RealSpectraTest, ImagesOfSeveralRowsAndMultispecFilesLoadWithAWord) {
  std::vector<double> four_rows;
  for (int row = 0; row < 4; ++row) {
    for (double v : Wave(100, row)) four_rows.push_back(v + row);
  }
  ASSERT_TRUE(Load(Write("rows.fits", {"CRVAL1  = 4000.", "CD1_1   = 2."}, four_rows, -32, 4)).published);
  EXPECT_EQ(rec_.messages,
            std::vector<std::string>{"The file \"rows.fits\" holds a 100 x 4 image; only its first row is drawn."});
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[100], static_cast<double>(static_cast<float>(four_rows[99])));

  // A multispec image whose WAT cards describe its apertures: the first
  // aperture at its own wavelengths, without a word.
  ASSERT_TRUE(Load(Write("ms.fits",
                         {"CTYPE1  = 'MULTISPE'", "CRVAL1  = 1.", "CD1_1   = 1.", "WAT0_001= 'system=multispec'",
                          "WAT2_001= 'wtype=multispec spec1 = \"1 1 0 4000. 2. 100 0. 0. 0.\" spec2 = \"2 2 0'",
                          "WAT2_002= ' 5000. 2. 100 0. 0. 0.\"'"},
                         four_rows, -32, 2))
                  .published);
  EXPECT_EQ(rec_.messages, std::vector<std::string>{});
  EXPECT_EQ(SlotSpectrum(state_, 1).wavelengths[1], 4000);
  EXPECT_EQ(SlotSpectrum(state_, 1).wavelengths[100], 4198);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[100], static_cast<double>(static_cast<float>(four_rows[99])));
  rec_.messages.clear();

  // Without a specN the apertures are not described: the first row, with
  // the word that its wavelengths are not its own.
  ASSERT_TRUE(Load(Write("ms1.fits", {"CRVAL1  = 1.", "CD1_1   = 1.", "WAT0_001= 'system=multispec'"}, Wave(100), -32,
                         1))
                  .published);
  EXPECT_EQ(rec_.messages,
            std::vector<std::string>{"The file \"ms1.fits\" is an IRAF multispec spectrum: its wavelengths are given "
                                     "by its WAT cards, not by CRVAL1 and CD1_1, so the wavelengths drawn are not its "
                                     "own."});
}

// ---- The plot of a spectrum stored red to blue ----------------------------------------

TEST_F(RealSpectraTest, ASpectrumStoredRedToBlueIsDrawnInsideTheFrame) {
  ASSERT_TRUE(Load(Write("flip.fits", {"CRVAL1  = 7000.", "CRPIX1  = 1.", "CD1_1   = -2."})).published);
  EXPECT_EQ(state_.PlotLambdaMin, 7002 - 600);
  EXPECT_EQ(state_.PlotLambdaMax, 7002);
  state_.PlotWidth = 10000;
  state_.PlotHeight = 5000;
  testing::RecordingHost host(state_);
  RenderPlot(state_, host);
  std::size_t curve = 0;
  float left = 1e9, right = -1e9;
  for (const RecordedLine& l : host.list.Lines()) {
    if (l.color != state_.Slots[1].color || (l.y1 == l.y2 && l.x1 == host.frame.right)) continue;
    ++curve;
    left = std::min({left, l.x1, l.x2});
    right = std::max({right, l.x1, l.x2});
  }
  EXPECT_EQ(curve, 599u);
  EXPECT_NEAR(left, 800, 0.01);
  EXPECT_NEAR(right, 9586, 0.01);
}

}  // namespace
}  // namespace quillon
