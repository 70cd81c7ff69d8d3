#include "spectrum/spectrum_layouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fits/gzip_source.h"
#include "spectrum/spectrum_statistics.h"
#include "support/cfitsio_file.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

const fs::path kDir = fs::path(TEST_DATA_DIR) / "layouts";

// One spectrum as astropy read it (tests/data/layouts/make_layouts.py).
struct Expected {
  std::string address;
  int64_t n = 0;
  std::vector<double> wave, flux, sigma;  // sigma empty: none
  int64_t flagged = 0;
};

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(word == "nan" ? NAN : std::stod(word));
  return out;
}

std::vector<Expected> ReadExpected() {
  std::vector<Expected> out;
  std::ifstream in(kDir / "expected.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> f;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
      f.push_back(line.substr(start, bar - start));
    f.push_back(line.substr(start));
    if (f.size() != 6) continue;
    Expected e{f[0], std::stoll(f[1]), Numbers(f[2]), Numbers(f[3]), f[4] == "-" ? std::vector<double>{} : Numbers(f[4]),
               std::stoll(f[5])};
    out.push_back(std::move(e));
  }
  return out;
}

bool Close(double a, double b, double relative) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b)) + 1e-300;
}

std::string FileOf(const std::string& address) { return address.substr(0, address.find('[')); }

// Every spectrum of every layout, addressed, against astropy's reading:
// wavelengths 1e-6, fluxes 1e-5, sigmas 1e-4 relative; flags counted alike.
TEST(SpectrumLayouts, EveryLayoutReadsAsAstropyReadsIt) {
  const std::vector<Expected> all = ReadExpected();
  ASSERT_GE(all.size(), 29u);
  for (const Expected& e : all) {
    SCOPED_TRACE(e.address);
    const ReadResult r = ReadSpectrumAt((kDir / e.address).string(), e.address, {});
    ASSERT_NE(r.spectrum, nullptr) << (r.messages.empty() ? "" : r.messages.back());
    const Spectrum& s = *r.spectrum;
    ASSERT_EQ(static_cast<int64_t>(s.intensity.size()) - 1, e.n);
    EXPECT_EQ(s.SampleCount(), static_cast<double>(e.n));
    EXPECT_EQ(s.flagged, e.flagged);
    EXPECT_EQ(s.uncertainty.empty(), e.sigma.empty());
    const WavelengthScale scale = s.scale;
    for (int64_t i = 1; i <= e.n; ++i) {
      const double wave = s.wavelengths.empty() ? scale.At(static_cast<double>(i)) : s.wavelengths[i];
      ASSERT_TRUE(Close(wave, e.wave[i - 1], 1e-6)) << "wavelength " << i << ": " << wave << " vs " << e.wave[i - 1];
      ASSERT_TRUE(Close(s.intensity[i], e.flux[i - 1], 1e-5)) << "flux " << i;
      if (!e.sigma.empty()) {
        ASSERT_TRUE(Close(s.uncertainty[i], e.sigma[i - 1], 1e-4)) << "sigma " << i;
      }
      // The levelled values follow the samples, as for a primary spectrum.
      ASSERT_TRUE(Close(s.levelled[i], 100 * s.intensity[i] / s.norm, 1e-12));
    }
    // The scale places each sample near its own wavelength (a logarithmic
    // one for wavelengths evenly spaced in their logarithm).
    if (!s.wavelengths.empty() && e.address.find("sdss") != std::string::npos) {
      EXPECT_TRUE(s.scale.logarithmic);
      for (int64_t i = 1; i <= e.n; ++i) ASSERT_TRUE(Close(s.scale.At(static_cast<double>(i)), s.wavelengths[i], 1e-6));
    }
    EXPECT_EQ(s.missing, r.missing);
    EXPECT_GE(s.missing, s.flagged);
  }
}

// The listing holds the same spectra in file order, with their addresses, and
// a plain name loads the first.
TEST(SpectrumLayouts, ListingInFileOrderAndThePlainNameLoadsTheFirst) {
  std::map<std::string, std::vector<const Expected*>> by_file;
  std::vector<std::string> files;
  const std::vector<Expected> all = ReadExpected();
  for (const Expected& e : all) {
    if (by_file[FileOf(e.address)].empty()) files.push_back(FileOf(e.address));
    by_file[FileOf(e.address)].push_back(&e);
  }
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string reason;
    std::unique_ptr<ByteSource> source = OpenFitsBytes((kDir / file).string(), reason);
    ASSERT_NE(source, nullptr) << reason;
    const SpectrumList list = ListSpectra(*source, file);
    ASSERT_EQ(list.spectra.size(), by_file[file].size());
    for (std::size_t i = 0; i < list.spectra.size(); ++i) {
      const SpectrumListEntry& got = list.spectra[i];
      const Expected& want = *by_file[file][i];
      EXPECT_EQ(got.address, want.address);
      EXPECT_EQ(got.n, want.n);
      EXPECT_TRUE(Close(got.wave_first, want.wave.front(), 1e-6)) << got.address;
      EXPECT_TRUE(Close(got.wave_last, want.wave.back(), 1e-6)) << got.address;
      EXPECT_EQ(got.uncertainty, !want.sigma.empty());
      EXPECT_EQ(got.flagged, want.flagged);
    }
    const ReadResult plain = ReadSpectrumAt((kDir / file).string(), file, {});
    ASSERT_NE(plain.spectrum, nullptr);
    EXPECT_EQ(plain.spectrum->SampleCount(), static_cast<double>(by_file[file][0]->n));
    EXPECT_EQ(plain.spectrum->flagged, by_file[file][0]->flagged);
  }
}

// Files that do not give a plain spectrum: one clear message each, and what
// a spectrum that is not a wavelength keeps.
TEST(SpectrumLayouts, RefusalsAndOddAxes) {
  struct Case {
    const char* name;
    const char* message_part;  // "" when it loads
  };
  const Case cases[] = {
      {"sky-image.fits", "holds no spectrum: its primary array is empty, and it holds HDU 1 (IMAGE 'SCI'), a 30 x 20 "
                         "image on the sky (RA---TAN, DEC--TAN)."},
      {"catalogue.fits", "holds no spectrum: its primary array is empty, and it holds HDU 1 (BINTABLE 'CATALOG'), a "
                         "table of 2 rows (RA, DEC, Z, LAMBDA_REF, PHOT_G, SPECFILE)."},
      {"all-flagged.fits", "Every spectrum of \"all-flagged.fits\" is missing every sample"},
      {"all-flagged.fits[COADD]", "Every sample of \"all-flagged.fits[COADD]\" is missing"},
      {"all-flagged.fits[3]", "The file \"all-flagged.fits\" has no HDU 3."},
      {"all-flagged.fits[NOPE,2]", "The file \"all-flagged.fits\" has no HDU named NOPE (EXTVER 2)."},
      {"stis-x1d.fits[SCI][row 3]", "There is no spectrum at"},
      {"sky-primary.fits", "holds no spectrum: it holds HDU 0 (primary), a 30 x 20 image on the sky (RA---TAN, "
                           "DEC--TAN)."},
      {"sky-primary.fits[0]", "holds no spectrum: it holds HDU 0 (primary)"},
      {"spextool.fits[0][row 3]", "There is no spectrum at HDU 0, row 3 of \"spextool.fits\"."},
      {"spextool.fits", ""},
      {"pypeit-spec1d.fits[1][col OPT_COUNTS]", ""},
      {"frequency.fits", ""},
      {"misfit-error.fits[FLUX][row 1]", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadSpectrumAt((kDir / c.name).string(), c.name, {});
    if (*c.message_part == 0) {
      ASSERT_NE(r.spectrum, nullptr) << (r.messages.empty() ? "" : r.messages.back());
      continue;
    }
    EXPECT_EQ(r.spectrum, nullptr);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].find(c.message_part), std::string::npos) << r.messages[0];
  }
  const ReadResult radio = ReadSpectrumAt((kDir / "frequency.fits").string(), "frequency.fits", {});
  ASSERT_NE(radio.spectrum, nullptr);
  EXPECT_EQ(radio.spectrum->axis, SpectralAxis::kFrequency);
  EXPECT_EQ(radio.spectrum->wave_unit, "GHz");
  EXPECT_EQ(radio.spectrum->scale.At(1), 100.0);  // as stored, not Angstroms
  ASSERT_EQ(radio.messages.size(), 1u);
  EXPECT_NE(radio.messages[0].find("is a frequency (in GHz), not a wavelength"), std::string::npos);
  // An error image that does not fit its flux is left aside, not misread.
  const ReadResult misfit = ReadSpectrumAt((kDir / "misfit-error.fits[FLUX][row 1]").string(), "m", {});
  ASSERT_NE(misfit.spectrum, nullptr);
  EXPECT_TRUE(misfit.spectrum->uncertainty.empty());
  ASSERT_EQ(misfit.messages.size(), 2u);
  EXPECT_EQ(misfit.messages[0], "HDU 2 (IMAGE 'ERROR') does not fit the flux beside it (40 x 2); it is not used.");
  EXPECT_EQ(misfit.messages[1], "The spectral axis of \"m[FLUX][row 1]\" is a pixel, not a wavelength; its values are "
                                "drawn as they are stored, not as Angstroms.");
  EXPECT_EQ(misfit.spectrum->axis, SpectralAxis::kPixel);
  // Of three tables only the sound one is a spectrum; the others are told.
  std::string reason;
  std::unique_ptr<ByteSource> odd = OpenFitsBytes((kDir / "odd-tables.fits").string(), reason);
  ASSERT_NE(odd, nullptr) << reason;
  const SpectrumList odd_list = ListSpectra(*odd, "odd-tables.fits");
  ASSERT_EQ(odd_list.spectra.size(), 1u);
  EXPECT_EQ(odd_list.spectra[0].address, "odd-tables.fits[GOOD]");
  EXPECT_EQ(odd_list.spectra[0].n, 20);
  ASSERT_EQ(odd_list.notes.size(), 2u);
  EXPECT_NE(odd_list.notes[0].find("'ODD'"), std::string::npos) << odd_list.notes[0];
  EXPECT_NE(odd_list.notes[1].find("'BAD'"), std::string::npos) << odd_list.notes[1];
  const ReadResult odd_plain = ReadSpectrumAt((kDir / "odd-tables.fits").string(), "odd-tables.fits", {});
  ASSERT_NE(odd_plain.spectrum, nullptr);
  EXPECT_EQ(odd_plain.spectrum->origin.extname, "GOOD");
  EXPECT_EQ(odd_plain.messages, odd_list.notes);
  // PypeIt's counts by column, with their own error.
  const ReadResult counts = ReadSpectrumAt((kDir / "pypeit-spec1d.fits[1][col OPT_COUNTS]").string(), "p", {});
  ASSERT_NE(counts.spectrum, nullptr);
  EXPECT_EQ(counts.spectrum->uncertainty[1], 1.0);
}

// Long spectra are read a piece of samples at a time: the level's 50-sample
// blocks, the flags, the missing samples and the trailing padding of a cell
// must come out as if the spectrum had been read whole, in a table with a
// row per sample, in one of array cells and in images.
TEST(SpectrumLayouts, LongSpectraReadInPiecesAsIfWhole) {
  testing::TempDir dir;
  const fs::path path = dir / "long.fits";
  constexpr long kN = 10007, kPadding = 5;
  std::vector<double> wave(kN + kPadding, NAN), flux(kN + kPadding, NAN), ivar(kN + kPadding, 0);
  for (long i = 0; i < kN; ++i) {
    wave[static_cast<std::size_t>(i)] = 4000 + 0.1 * static_cast<double>(i);
    // A peak at a different place in every block, so that blocks cut
    // anywhere else give other maxima.
    flux[static_cast<std::size_t>(i)] = i % 50 == (i / 50) % 50 ? 100.0 + static_cast<double>(i % 977) : 1.0 + i % 3;
    if (i % 997 == 3) flux[static_cast<std::size_t>(i)] = NAN;
    ivar[static_cast<std::size_t>(i)] = i % 1231 == 7 ? 0 : 4;
  }
  {
    testing::CfitsioFile f = testing::CfitsioFile::Create(path);
    fits_create_img(f.f, BYTE_IMG, 0, nullptr, &f.status);
    char wave_name[] = "WAVE", flux_name[] = "FLUX", ivar_name[] = "IVAR", d[] = "1D", e[] = "1E";
    char* names[] = {wave_name, flux_name, ivar_name};
    char* rows_forms[] = {d, d, e};
    fits_create_tbl(f.f, BINARY_TBL, kN, 3, names, rows_forms, nullptr, "ROWS", &f.status);
    fits_write_col(f.f, TDOUBLE, 1, 1, 1, kN, wave.data(), &f.status);
    fits_write_col(f.f, TDOUBLE, 2, 1, 1, kN, flux.data(), &f.status);
    fits_write_col(f.f, TDOUBLE, 3, 1, 1, kN, ivar.data(), &f.status);
    std::string dn = std::to_string(kN + kPadding) + "D", en = std::to_string(kN + kPadding) + "E";
    char* cell_forms[] = {dn.data(), dn.data(), en.data()};
    fits_create_tbl(f.f, BINARY_TBL, 1, 3, names, cell_forms, nullptr, "CELLS", &f.status);
    fits_write_col(f.f, TDOUBLE, 1, 1, 1, kN + kPadding, wave.data(), &f.status);
    fits_write_col(f.f, TDOUBLE, 2, 1, 1, kN + kPadding, flux.data(), &f.status);
    fits_write_col(f.f, TDOUBLE, 3, 1, 1, kN + kPadding, ivar.data(), &f.status);
    // The same as images named for their roles, placed by their WCS.
    long axes[] = {kN};
    for (const char* role : {"FLUX", "IVAR"}) {
      fits_create_img(f.f, DOUBLE_IMG, 1, axes, &f.status);
      std::string extname = role;
      fits_update_key(f.f, TSTRING, "EXTNAME", extname.data(), nullptr, &f.status);
      fits_write_img(f.f, TDOUBLE, 1, kN, (extname == "FLUX" ? flux : ivar).data(), &f.status);
    }
    QUILLON_CFITSIO_OK(f.status);
  }
  // What a whole read gives: flagged samples missing, the level over the rest.
  std::vector<double> samples{0};
  int64_t flagged = 0, missing = 0;
  for (long i = 0; i < kN; ++i) {
    const bool bad = ivar[static_cast<std::size_t>(i)] == 0;
    flagged += bad;
    samples.push_back(bad ? NAN : flux[static_cast<std::size_t>(i)]);
    missing += std::isnan(samples.back());
  }
  std::vector<double> peaks;
  const double norm = BlockPeakMedianOfPresent(samples, kN, peaks);
  for (const char* hdu : {"[ROWS]", "[CELLS]", "[FLUX]"}) {
    SCOPED_TRACE(hdu);
    const ReadResult r = ReadSpectrumAt(path.string() + hdu, "long.fits", {});
    ASSERT_NE(r.spectrum, nullptr) << (r.messages.empty() ? "" : r.messages.front());
    const Spectrum& s = *r.spectrum;
    ASSERT_EQ(s.intensity.size(), static_cast<std::size_t>(kN) + 1) << "the padding is cut";
    EXPECT_EQ(s.norm, norm);
    EXPECT_EQ(s.missing, missing);
    EXPECT_EQ(s.flagged, flagged);
    for (long i = 1; i <= kN; ++i) {
      const auto k = static_cast<std::size_t>(i);
      ASSERT_TRUE(Close(s.intensity[k], samples[k], 0)) << "sample " << i;
      if (!s.wavelengths.empty()) {
        ASSERT_EQ(s.wavelengths[k], wave[k - 1]) << "sample " << i;
      }
      ASSERT_TRUE(Close(s.uncertainty[k], ivar[k - 1] == 0 ? NAN : 0.5, 0)) << "sample " << i;
    }
  }
}

TEST(SpectrumAddress, FormsAndMalformedOnes) {
  struct Case {
    const char* text;
    bool ok;
    std::string file;
    int hdu;  // -1: by name
    std::string extname;
    int64_t extver;  // -1: none
    int64_t row;     // -1: none
    std::string column;
    bool all = false;
  };
  const Case cases[] = {
      {"a.fits[SCI][all]", true, "a.fits", -1, "SCI", -1, -1, "", true},
      {"a.fits[ALL]", true, "a.fits", -1, "", -1, -1, "", true},
      {"a.fits[0][all][col OPT_FLAM]", true, "a.fits", 0, "", -1, -1, "OPT_FLAM", true},
      {"a.fits[SCI][all][row 1]", false, "", 0, "", -1, -1, ""},
      {"a.fits[SCI][row 1][all]", false, "", 0, "", -1, -1, ""},
      {"a.fits[all][all]", false, "", 0, "", -1, -1, ""},
      {"a.fits[1]", true, "a.fits", 1, "", -1, -1, ""},
      {"a.fits[0]", true, "a.fits", 0, "", -1, -1, ""},
      {"dir/a.fits[COADD]", true, "dir/a.fits", -1, "COADD", -1, -1, ""},
      {"a.fits[EXTRACT1D,2]", true, "a.fits", -1, "EXTRACT1D", 2, -1, ""},
      {"a.fits[SCI][row 3]", true, "a.fits", -1, "SCI", -1, 3, ""},
      {"a.fits[1][row 0][col BOX_COUNTS]", true, "a.fits", 1, "", -1, 0, "BOX_COUNTS"},
      {"a.fits[ B_FLUX ][ROW 2]", true, "a.fits", -1, "B_FLUX", -1, 2, ""},
      {"a.fits", false, "", 0, "", -1, -1, ""},
      {"[1]", false, "", 0, "", -1, -1, ""},
      {"a.fits[]", false, "", 0, "", -1, -1, ""},
      {"a.fits[-1]", false, "", 0, "", -1, -1, ""},
      {"a.fits[SCI,x]", false, "", 0, "", -1, -1, ""},
      {"a.fits[SCI][row -1]", false, "", 0, "", -1, -1, ""},
      {"a.fits[SCI][row 1][row 2]", false, "", 0, "", -1, -1, ""},
      {"a.fits[SCI][#row==3]", false, "", 0, "", -1, -1, ""},
      {"a.fits[1]]", false, "", 0, "", -1, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<SpectrumAddress> a = ParseSpectrumAddress(c.text);
    ASSERT_EQ(a.has_value(), c.ok);
    if (!a) continue;
    EXPECT_EQ(a->file, c.file);
    EXPECT_EQ(a->selector.hdu.value_or(-1), c.hdu);
    EXPECT_EQ(a->selector.extname, c.extname);
    EXPECT_EQ(a->selector.extver.value_or(-1), c.extver);
    EXPECT_EQ(a->selector.row.value_or(-1), c.row);
    EXPECT_EQ(a->selector.column, c.column);
    EXPECT_EQ(a->selector.all, c.all);
  }
}

// [all]: every order of an echelle table, every aperture of a multispec
// image, as one spectrum whose pieces are drawn apart under one level.
TEST(SpectrumLayouts, AWholeHduInOneSpectrum) {
  struct Case {
    const char* address;
    std::vector<const char*> pieces;  // each as addressed alone
  };
  const Case cases[] = {
      {"stis-x1d.fits[SCI][all]", {"stis-x1d.fits[SCI][row 0]", "stis-x1d.fits[SCI][row 1]", "stis-x1d.fits[SCI][row 2]"}},
      {"stis-x1d.fits[all]", {"stis-x1d.fits[SCI][row 0]", "stis-x1d.fits[SCI][row 1]", "stis-x1d.fits[SCI][row 2]"}},
      {"spextool.fits[0][all]", {"spextool.fits[0][row 0]", "spextool.fits[0][row 1]", "spextool.fits[0][row 2]"}},
      {"sdss-spec.fits[COADD][all]", {"sdss-spec.fits[COADD]"}},  // one spectrum: read as itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const ReadResult whole = ReadSpectrumAt((kDir / c.address).string(), c.address, {});
    ASSERT_NE(whole.spectrum, nullptr) << (whole.messages.empty() ? "" : whole.messages.back());
    const Spectrum& s = *whole.spectrum;
    int64_t at = 0, flagged = 0;
    for (const char* piece : c.pieces) {
      const ReadResult one = ReadSpectrumAt((kDir / piece).string(), piece, {});
      ASSERT_NE(one.spectrum, nullptr);
      const Spectrum& p = *one.spectrum;
      const int64_t n = static_cast<int64_t>(p.intensity.size()) - 1;
      for (int64_t i = 1; i <= n; i += std::max<int64_t>(1, n / 7)) {
        const auto k = static_cast<std::size_t>(at + i);
        const double v = p.intensity[static_cast<std::size_t>(i)];
        EXPECT_TRUE(s.intensity[k] == v || (std::isnan(s.intensity[k]) && std::isnan(v))) << i;
        const double w = p.wavelengths.empty() ? p.scale.At(static_cast<double>(i)) : p.wavelengths[static_cast<std::size_t>(i)];
        ASSERT_FALSE(s.wavelengths.empty());
        EXPECT_NEAR(s.wavelengths[k], w, 1e-9 * w);
      }
      at += n;
      flagged += p.flagged;
    }
    EXPECT_EQ(static_cast<int64_t>(s.intensity.size()) - 1, at);
    EXPECT_EQ(s.flagged, flagged);
    if (c.pieces.size() > 1) {
      EXPECT_EQ(s.runs.size(), c.pieces.size()) << "each piece a stretch of its own";
      EXPECT_EQ(s.origin.row, -1);
    }
  }
  // The listing offers the whole HDU beside its spectra.
  std::string reason;
  std::unique_ptr<ByteSource> stis = OpenFitsBytes((kDir / "stis-x1d.fits").string(), reason);
  ASSERT_NE(stis, nullptr);
  const SpectrumList list = ListSpectra(*stis, "stis-x1d.fits");
  ASSERT_EQ(list.spectra.size(), 3u);
  EXPECT_EQ(list.spectra[2].whole_address, "stis-x1d.fits[SCI][all]");
  // A coadd's targets share one range: they are not offered joined.
  std::unique_ptr<ByteSource> desi = OpenFitsBytes((kDir / "desi-coadd.fits").string(), reason);
  ASSERT_NE(desi, nullptr);
  for (const SpectrumListEntry& entry : ListSpectra(*desi, "desi-coadd.fits").spectra)
    EXPECT_EQ(entry.whole_address, "") << entry.address;
}

// A real file whose name ends in ']' opens as itself; gzip opens directly.
TEST(SpectrumAddress, RealBracketNamesAndGzip) {
  testing::TempDir dir;
  const fs::path odd = dir.path() / "lamost.fits[1]";
  fs::copy_file(kDir / "lamost.fits", odd);
  const ReadResult as_itself = ReadSpectrumAt(odd.string(), "lamost.fits[1]", {});
  ASSERT_NE(as_itself.spectrum, nullptr);
  EXPECT_EQ(as_itself.spectrum->origin.hdu, 1);
  const ReadResult missing = ReadSpectrumAt((dir.path() / "nothing.fits[1]").string(), "nothing.fits[1]", {});
  ASSERT_EQ(missing.messages.size(), 1u);
  EXPECT_NE(missing.messages[0].find("nothing.fits\" cannot be read"), std::string::npos) << missing.messages[0];
  const ReadResult gz = ReadSpectrumAt((kDir / "lamost.fits.gz[COADD]").string(), "lamost.fits.gz[COADD]", {});
  ASSERT_NE(gz.spectrum, nullptr);
  EXPECT_EQ(gz.spectrum->SampleCount(), 200);
  EXPECT_EQ(gz.spectrum->origin.file, "lamost.fits.gz");
}

}  // namespace
}  // namespace quillon
