#include "spectrum/column_roles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quillon {
namespace {

TEST(SpectralUnit, UsualSpellings) {
  struct Case {
    const char* unit;
    SpectralAxis axis;
    double to_angstrom;
    bool log10;
    bool known;
  };
  const Case cases[] = {
      {"", SpectralAxis::kWavelength, 1, false, true},
      {"Angstrom", SpectralAxis::kWavelength, 1, false, true},
      {"  Angstroms ", SpectralAxis::kWavelength, 1, false, true},
      {"AA", SpectralAxis::kWavelength, 1, false, true},
      {"A", SpectralAxis::kWavelength, 1, false, true},
      {"0.1 nm", SpectralAxis::kWavelength, 1, false, true},
      {"nm", SpectralAxis::kWavelength, 10, false, true},
      {"um", SpectralAxis::kWavelength, 1e4, false, true},
      {"micron", SpectralAxis::kWavelength, 1e4, false, true},
      {"Microns", SpectralAxis::kWavelength, 1e4, false, true},
      {"m", SpectralAxis::kWavelength, 1e10, false, true},
      {"log(Angstrom)", SpectralAxis::kWavelength, 1, true, true},
      {"GHz", SpectralAxis::kFrequency, 1, false, true},
      {"Hz", SpectralAxis::kFrequency, 1, false, true},
      {"km/s", SpectralAxis::kVelocity, 1, false, true},
      {"km s-1", SpectralAxis::kVelocity, 1, false, true},
      {"cm-1", SpectralAxis::kWavenumber, 1, false, true},
      {"keV", SpectralAxis::kEnergy, 1, false, true},
      {"pix", SpectralAxis::kPixel, 1, false, true},
      {"furlong", SpectralAxis::kWavelength, 1, false, false},
  };
  for (const Case& c : cases) {
    const SpectralUnit u = ParseSpectralUnit(c.unit);
    EXPECT_EQ(u.axis, c.axis) << c.unit;
    EXPECT_EQ(u.to_angstrom, c.to_angstrom) << c.unit;
    EXPECT_EQ(u.log10, c.log10) << c.unit;
    EXPECT_EQ(u.known, c.known) << c.unit;
  }
}

TEST(FluxUnit, DensitiesAndCountsOnly) {
  for (const char* unit : {"1E-17 erg/cm^2/s/Ang", "erg s**(-1) cm**(-2) nm**(-1)", "Jy", "MJy/sr", "W/m2/nm",
                           "counts", "electron/s", "ADU"})
    EXPECT_TRUE(IsFluxUnit(unit)) << unit;
  for (const char* unit : {"", "Angstrom", "nm", "um", "km/s", "deg", "s"}) EXPECT_FALSE(IsFluxUnit(unit)) << unit;
}

TEST(ClassifyColumn, UnitThenUcdThenName) {
  struct Case {
    ColumnDescription column;
    ColumnRole role;
    ErrorKind error;
    MaskKind mask;
    std::string group;
    bool log;
  };
  const Case cases[] = {
      // A length unit makes any name the spectral axis.
      {{"FLUX", "Angstrom", "", ""}, ColumnRole::kSpectral, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"loglam", "", "", ""}, ColumnRole::kSpectral, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", true},
      {{"LOGLAM", "", "", ""}, ColumnRole::kSpectral, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", true},
      {{"Lambda", "", "", ""}, ColumnRole::kSpectral, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"X1", "", "spec:Data.SpectralAxis.Value", ""}, ColumnRole::kSpectral, ErrorKind::kSigma,
       MaskKind::kNonZeroBad, "", false},
      {{"X2", "", "", "phot.flux.density;em.wl"}, ColumnRole::kFlux, ErrorKind::kSigma, MaskKind::kNonZeroBad, "",
       false},
      {{"X3", "erg/s/cm2/A", "spec:Data.FluxAxis.Accuracy.StatError", "stat.error"}, ColumnRole::kError,
       ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"SOMETHING", "Jy", "", ""}, ColumnRole::kFlux, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"ivar", "", "", ""}, ColumnRole::kError, ErrorKind::kInverseVariance, MaskKind::kNonZeroBad, "", false},
      {{"OPT_FLAM_IVAR", "", "", ""}, ColumnRole::kError, ErrorKind::kInverseVariance, MaskKind::kNonZeroBad, "OPT",
       false},
      {{"VAR", "", "", ""}, ColumnRole::kError, ErrorKind::kVariance, MaskKind::kNonZeroBad, "", false},
      {{"ERR_FLUX", "", "", ""}, ColumnRole::kError, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"and_mask", "", "", ""}, ColumnRole::kMask, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"OPT_MASK", "", "", ""}, ColumnRole::kMask, ErrorKind::kSigma, MaskKind::kTrueGood, "OPT", false},
      {{"DQ_WGT", "", "", ""}, ColumnRole::kMask, ErrorKind::kSigma, MaskKind::kZeroBad, "", false},
      {{"QUAL", "", "", ""}, ColumnRole::kMask, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
      {{"RA", "deg", "", "pos.eq.ra"}, ColumnRole::kNone, ErrorKind::kSigma, MaskKind::kNonZeroBad, "", false},
  };
  for (const Case& c : cases) {
    const ColumnClass k = ClassifyColumn(c.column);
    EXPECT_EQ(k.role, c.role) << c.column.name;
    if (k.role == ColumnRole::kError) {
      EXPECT_EQ(k.error, c.error) << c.column.name;
    }
    if (k.role == ColumnRole::kMask) {
      EXPECT_EQ(k.mask, c.mask) << c.column.name;
    }
    EXPECT_EQ(k.group, c.group) << c.column.name;
    EXPECT_EQ(k.log_wavelength, c.log) << c.column.name;
  }
}

std::vector<ColumnDescription> Named(const std::vector<std::string>& names) {
  std::vector<ColumnDescription> out;
  for (const std::string& name : names) out.push_back({name, "", "", ""});
  return out;
}

TEST(GroupColumns, LayoutsOfTheArchives) {
  struct Case {
    const char* what;
    std::vector<ColumnDescription> columns;
    bool surface;
    // Per spectrum: spectral, flux, error, mask indices.
    std::vector<std::vector<int>> sets;
  };
  const Case cases[] = {
      {"SDSS coadd", Named({"flux", "loglam", "ivar", "and_mask", "or_mask", "wdisp", "sky", "model"}), false,
       {{1, 0, 2, 3}}},
      {"PypeIt", Named({"TRACE_SPAT", "OPT_WAVE", "OPT_COUNTS", "OPT_COUNTS_IVAR", "OPT_COUNTS_SIG", "OPT_FLAM",
                        "OPT_FLAM_SIG", "OPT_FLAM_IVAR", "OPT_MASK", "BOX_WAVE", "BOX_COUNTS", "BOX_COUNTS_SIG",
                        "BOX_MASK"}),
       false,
       {{1, 5, 6, 8}, {9, 10, 11, 12}}},
      {"JWST point", Named({"WAVELENGTH", "FLUX", "FLUX_ERROR", "SURF_BRIGHT", "SB_ERROR", "DQ"}), false,
       {{0, 1, 2, 5}}},
      {"JWST extended", Named({"WAVELENGTH", "FLUX", "FLUX_ERROR", "SURF_BRIGHT", "SB_ERROR", "DQ"}), true,
       {{0, 3, 4, 5}}},
      {"ESO by TUTYP only",
       {{"A", "", "spec:Data.SpectralAxis.Value", ""}, {"B", "", "spec:Data.FluxAxis.Value", ""},
        {"C", "", "spec:Data.FluxAxis.Accuracy.StatError", ""}},
       false,
       {{0, 1, 2, -1}}},
      {"DEEP2", Named({"SPEC", "LAMBDA", "IVAR", "CRMASK", "BITMASK"}), false, {{1, 0, 2, -1}}},
      {"catalogue", {{"RA", "deg", "", ""}, {"DEC", "deg", "", ""}, {"Z", "", "", ""}}, false, {}},
  };
  for (const Case& c : cases) {
    const std::vector<ColumnSet> sets = GroupColumns(c.columns, c.surface);
    ASSERT_EQ(sets.size(), c.sets.size()) << c.what;
    for (std::size_t i = 0; i < sets.size(); ++i) {
      EXPECT_EQ((std::vector<int>{sets[i].spectral, sets[i].flux, sets[i].error, sets[i].mask}), c.sets[i])
          << c.what << " spectrum " << i;
    }
  }
}

TEST(SigmaAndMasks, KindsAndPolarities) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double value;
    ErrorKind kind;
    double sigma;  // NaN: none
    bool bad;
  };
  const Case cases[] = {
      {0.5, ErrorKind::kSigma, 0.5, false},     {-1, ErrorKind::kSigma, nan, false},
      {4, ErrorKind::kVariance, 2, false},      {4, ErrorKind::kInverseVariance, 0.5, false},
      {0, ErrorKind::kInverseVariance, nan, true}, {-3, ErrorKind::kInverseVariance, nan, true},
      {nan, ErrorKind::kInverseVariance, nan, false},
  };
  for (const Case& c : cases) {
    bool bad = false;
    const double sigma = SigmaOf(c.value, c.kind, bad);
    EXPECT_TRUE(sigma == c.sigma || (std::isnan(sigma) && std::isnan(c.sigma))) << c.value;
    EXPECT_EQ(bad, c.bad) << c.value;
  }
  EXPECT_TRUE(MaskIsBad(4, MaskKind::kNonZeroBad, 0));
  EXPECT_FALSE(MaskIsBad(0, MaskKind::kNonZeroBad, 0));
  EXPECT_FALSE(MaskIsBad(4, MaskKind::kNonZeroBad, 1));  // only bit 0 counts (JWST DO_NOT_USE)
  EXPECT_TRUE(MaskIsBad(5, MaskKind::kNonZeroBad, 1));
  EXPECT_TRUE(MaskIsBad(-32768, MaskKind::kNonZeroBad, 0x8000));
  EXPECT_TRUE(MaskIsBad(0, MaskKind::kTrueGood, 0));
  EXPECT_FALSE(MaskIsBad(1, MaskKind::kTrueGood, 0));
  EXPECT_TRUE(MaskIsBad(0, MaskKind::kZeroBad, 0));
  EXPECT_FALSE(MaskIsBad(1, MaskKind::kZeroBad, 0));
  EXPECT_FALSE(MaskIsBad(nan, MaskKind::kNonZeroBad, 0));
}

}  // namespace
}  // namespace quillon
