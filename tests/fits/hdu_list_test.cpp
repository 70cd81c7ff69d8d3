// The walk over a file's HDUs and the samples of image HDUs, against
// CFITSIO's reading of the same files; malformed walks by hand-made bytes.

#include "fits/hdu_list.h"

#include <gtest/gtest.h>

#include <random>

#include "fits/image_data.h"
#include "support/cfitsio_file.h"
#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using testing::Card;
using testing::CfitsioFile;
using testing::HeaderBlocks;

// An image extension as CFITSIO writes it: `raw` stored as they are, under
// the scaling keywords given.
struct ImageCase {
  const char* name;
  int bitpix;  // CFITSIO's image type (SBYTE_IMG, ULONGLONG_IMG, ... included)
  std::vector<long> axes;
  std::vector<std::string> cards;  // BSCALE, BZERO, BLANK as card images
  bool raw = true;                 // write `values` as stored values (scaling off)
};

void WriteImage(fitsfile* f, const ImageCase& c, int& status, std::mt19937_64& gen) {
  std::vector<long> axes = c.axes;
  fits_create_img(f, c.bitpix, static_cast<int>(axes.size()), axes.data(), &status);
  fits_write_key(f, TSTRING, "EXTNAME", const_cast<char*>(c.name), nullptr, &status);
  for (const std::string& card : c.cards) fits_write_record(f, card.c_str(), &status);
  if (c.raw) fits_set_bscale(f, 1.0, 0.0, &status);
  long n = 1;
  for (long a : axes) n *= a;
  std::vector<double> values(static_cast<std::size_t>(n));
  for (double& v : values) {
    switch (c.bitpix) {
      case BYTE_IMG: v = static_cast<double>(gen() % 256); break;
      case SBYTE_IMG: v = static_cast<double>(static_cast<int8_t>(gen())); break;
      case SHORT_IMG: v = static_cast<double>(static_cast<int16_t>(gen())); break;
      case USHORT_IMG: v = static_cast<double>(static_cast<uint16_t>(gen())); break;
      case LONG_IMG: v = static_cast<double>(static_cast<int32_t>(gen())); break;
      case LONGLONG_IMG: v = static_cast<double>(static_cast<int64_t>(gen()) >> 11); break;
      case ULONGLONG_IMG: v = static_cast<double>(gen() >> 11); break;
      default: v = std::ldexp(static_cast<double>(gen() % 2000000) - 1e6, static_cast<int>(gen() % 40) - 20);
    }
  }
  if (c.bitpix == FLOAT_IMG || c.bitpix == DOUBLE_IMG) {
    values[1] = testing::kNaN;
    values[2] = std::numeric_limits<double>::infinity();
    values[3] = -std::numeric_limits<double>::infinity();
  }
  // The BLANK value of the cards appears among the samples.
  for (const std::string& card : c.cards) {
    if (card.rfind("BLANK", 0) == 0) values[4] = values[7] = std::stod(card.substr(10));
  }
  if (c.bitpix == ULONGLONG_IMG) {
    std::vector<unsigned long long> u(values.begin(), values.end());
    u[0] = 18446744073709551615ull;
    fits_write_img(f, TULONGLONG, 1, n, u.data(), &status);
  } else {
    fits_write_img(f, TDOUBLE, 1, n, values.data(), &status);
  }
}

const std::vector<ImageCase>& ImageCases() {
  static const std::vector<ImageCase> cases = {
      {"B8", BYTE_IMG, {7, 3}, {"BLANK   =                   17"}},
      {"SB8", SBYTE_IMG, {40}, {}, false},
      {"I16", SHORT_IMG, {6, 4}, {"BSCALE  =                  0.5", "BZERO   =                100.0",
                                  "BLANK   =                -32768"}},
      {"U16CUBE", USHORT_IMG, {5, 3, 2}, {}, false},
      {"J32", LONG_IMG, {9, 2}, {"BLANK   =                   -1"}},
      {"K64", LONGLONG_IMG, {8, 2}, {"BLANK   =  -9223372036854775808", "BZERO   =               1000.0"}},
      {"UK64", ULONGLONG_IMG, {10}, {}, false},
      {"E32", FLOAT_IMG, {11, 3}, {"BSCALE  =                  2.5"}},
      {"D64", DOUBLE_IMG, {12}, {"BZERO   =                 1E10"}},
  };
  return cases;
}

class HduListTest : public ::testing::Test {
 protected:
  // A file of every kind of HDU: an empty primary, each image case, binary
  // tables (one with EXTVER), an ASCII table.
  void SetUp() override {
    path_ = dir_ / "many.fits";
    CfitsioFile file = CfitsioFile::Create(path_);
    int& st = file.status;
    fits_create_img(file.f, BYTE_IMG, 0, nullptr, &st);
    std::mt19937_64 gen(22);
    for (const ImageCase& c : ImageCases()) WriteImage(file.f, c, st, gen);
    char wave[] = "WAVE", flux[] = "FLUX", d[] = "1D", e20[] = "20E", f10[] = "F10.3", a8[] = "A8";
    char* names[] = {wave, flux};
    char* forms[] = {d, e20};
    char* ascii_forms[] = {f10, a8};
    fits_create_tbl(file.f, BINARY_TBL, 3, 2, names, forms, nullptr, "COADD", &st);
    fits_create_tbl(file.f, BINARY_TBL, 0, 2, names, forms, nullptr, "EXTRACT1D", &st);
    int extver = 2;
    fits_write_key(file.f, TINT, "EXTVER", &extver, nullptr, &st);
    fits_create_tbl(file.f, ASCII_TBL, 2, 2, names, ascii_forms, nullptr, "CAT", &st);
    file.Close();
    QUILLON_CFITSIO_OK(st);
  }

  testing::TempDir dir_;
  std::filesystem::path path_;
};

TEST_F(HduListTest, EveryHduWhereCfitsioFindsIt) {
  std::string reason;
  auto source = FileSource::Open(path_.string(), reason);
  ASSERT_TRUE(source) << reason;
  const HduList list = ListHdus(*source);
  EXPECT_EQ(list.note, "");
  EXPECT_FALSE(list.faulty);

  CfitsioFile file = CfitsioFile::Open(path_);
  int count = 0;
  fits_get_num_hdus(file.f, &count, &file.status);
  QUILLON_CFITSIO_OK(file.status);
  ASSERT_EQ(static_cast<int>(list.hdus.size()), count);
  for (int i = 0; i < count; ++i) {
    const Hdu& hdu = list.hdus[static_cast<std::size_t>(i)];
    SCOPED_TRACE(DescribeHdu(hdu));
    int type = 0;
    LONGLONG head = 0, data = 0, end = 0;
    fits_movabs_hdu(file.f, i + 1, &type, &file.status);
    fits_get_hduaddrll(file.f, &head, &data, &end, &file.status);
    char extname[FLEN_VALUE] = "";
    int ignored = 0;
    fits_read_key(file.f, TSTRING, "EXTNAME", extname, nullptr, &ignored);
    QUILLON_CFITSIO_OK(file.status);
    EXPECT_EQ(hdu.index, i);
    EXPECT_EQ(hdu.header_offset, head);
    EXPECT_EQ(hdu.data_offset, data);
    EXPECT_EQ(hdu.data_offset + (hdu.data_size + 2879) / 2880 * 2880, end);
    EXPECT_EQ(hdu.extname, extname);
    const HduKind want = i == 0 ? HduKind::kPrimary
                         : type == IMAGE_HDU ? HduKind::kImage
                         : type == BINARY_TBL ? HduKind::kBinaryTable
                                              : HduKind::kOther;
    EXPECT_EQ(hdu.kind, want);
  }
  const Hdu& extract = list.hdus[list.hdus.size() - 2];
  EXPECT_EQ(DescribeHdu(extract), "HDU " + std::to_string(count - 2) + " (BINTABLE 'EXTRACT1D', EXTVER 2)");
  EXPECT_EQ(list.hdus.back().xtension, "TABLE");
  EXPECT_EQ(DescribeHdu(list.hdus[0]), "HDU 0 (primary)");
}

// Every row of every image, each BITPIX with its scaling and BLANK, equals
// what CFITSIO reads (NaN for a missing sample).
TEST_F(HduListTest, ImageRowsEqualCfitsio) {
  std::string reason;
  auto source = FileSource::Open(path_.string(), reason);
  ASSERT_TRUE(source) << reason;
  const HduList list = ListHdus(*source);
  CfitsioFile file = CfitsioFile::Open(path_);
  for (std::size_t i = 1; i <= ImageCases().size(); ++i) {
    const Hdu& hdu = list.hdus[i];
    SCOPED_TRACE(DescribeHdu(hdu));
    std::string error;
    const std::optional<ImageLayout> image = ImageLayoutOf(hdu, error);
    ASSERT_TRUE(image) << error;
    fits_movabs_hdu(file.f, static_cast<int>(i) + 1, nullptr, &file.status);
    const int64_t n = image->RowLength();
    std::vector<double> want(static_cast<std::size_t>(n));
    int64_t missing_seen = 0;
    for (int64_t row = 0; row < image->Rows(); ++row) {
      long first[3] = {1, 1, 1};
      if (image->axes.size() >= 2) first[1] = static_cast<long>(row % image->axes[1]) + 1;
      if (image->axes.size() >= 3) first[2] = static_cast<long>(row / image->axes[1]) + 1;
      double null = testing::kNaN;
      int any = 0;
      fits_read_pix(file.f, TDOUBLE, first, static_cast<LONGLONG>(n), &null, want.data(), &any, &file.status);
      QUILLON_CFITSIO_OK(file.status);
      std::vector<double> got;
      int64_t missing = -1;
      ASSERT_TRUE(ReadImageRow(*source, *image, row, got, error, &missing)) << error;
      ASSERT_EQ(got.size(), want.size());
      for (std::size_t k = 0; k < got.size(); ++k)
        ASSERT_TRUE(testing::SameValue(got[k], want[k])) << "row " << row << " sample " << k << ": " << got[k]
                                                          << " against " << want[k];
      missing_seen += missing;
    }
    const bool has_missing = hdu.bitpix < 0 || hdu.header.Has("BLANK");
    EXPECT_EQ(missing_seen > 0, has_missing);
  }
  std::string error;
  EXPECT_FALSE(ImageLayoutOf(list.hdus.back(), error));
  EXPECT_EQ(error, DescribeHdu(list.hdus.back()) + " is not an image.");
}

TEST(HduHeaderTest, ValuesByTheFitsRules) {
  const HduHeader h(SplitCards(
      HeaderBlocks({"XTENSION= 'BINTABLE'           / binary table",
                    "TUNIT1  = 'erg/s/cm2/A'        / slashes belong to the string",
                    "TTYPE1  = 'O''Brien  '",
                    "TTYPE2  = '  lead'",
                    "LONG    = 'abc&'", "CONTINUE  'def&'", "CONTINUE  'ghi'",
                    "NUMBER  =              1.5D+03 / D exponent",
                    "WHOLE   =                1.0E2",
                    "BIG     =  9223372036854775807",
                    "PLUS    =                  +42",
                    "HALF    =                  2.5",
                    "TEXTNUM = '12'",
                    "HUGE    =               1E+999",
                    "FLAG    =                    T",
                    "NOVALUE   'no value indicator'",
                    "TTYPE1  = 'second'             / a repeated keyword: the first counts"}),
      200));
  EXPECT_EQ(h.String("XTENSION"), "BINTABLE");
  EXPECT_EQ(h.String("TUNIT1"), "erg/s/cm2/A");
  EXPECT_EQ(h.String("TTYPE1"), "O'Brien");
  EXPECT_EQ(h.String("TTYPE2"), "  lead");
  EXPECT_EQ(h.String("LONG"), "abcdefghi");
  EXPECT_EQ(h.Number("NUMBER"), 1500.0);
  EXPECT_EQ(h.Integer("WHOLE"), 100);
  EXPECT_EQ(h.Integer("BIG"), 9223372036854775807);
  EXPECT_EQ(h.Integer("PLUS"), 42);
  EXPECT_EQ(h.Integer("HALF"), std::nullopt);
  EXPECT_EQ(h.Number("TEXTNUM"), std::nullopt);
  EXPECT_EQ(h.String("NUMBER"), std::nullopt);
  EXPECT_EQ(h.Number("HUGE"), std::nullopt);
  EXPECT_EQ(h.Logical("FLAG"), true);
  EXPECT_EQ(h.Logical("NUMBER"), std::nullopt);
  EXPECT_EQ(h.String("NOVALUE"), std::nullopt);
  EXPECT_EQ(h.String("ABSENT"), std::nullopt);
  EXPECT_EQ(h.CardIndex("TUNIT1"), 2);
}

// Hand-made files that the walk must stop at, with the HDUs before the
// fault listed and one sentence naming where it stopped.
TEST(HduListWalkTest, MalformedFilesStopWithANote) {
  const std::string primary = HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8",
                                            "NAXIS   =                    0", "EXTEND  =                    T"});
  const auto table = [](const std::string& naxis1, const std::string& naxis2) {
    return HeaderBlocks({"XTENSION= 'BINTABLE'", "BITPIX  =                    8", "NAXIS   =                    2",
                         "NAXIS1  = " + naxis1, "NAXIS2  = " + naxis2, "PCOUNT  =                    0",
                         "GCOUNT  =                    1", "TFIELDS =                    1", "TFORM1  = '1D'",
                         "EXTNAME = 'SCI'"});
  };
  std::string many_cards;
  for (int i = 0; i < 50; ++i) many_cards += Card("COMMENT " + std::to_string(i));
  struct Case {
    const char* what;
    std::string bytes;
    std::size_t listed;
    bool faulty;
    std::string note;  // a part of the note
    HduLimits limits{};
  };
  const Case cases[] = {
      {"empty", "", 0, true, "The file is empty."},
      {"not FITS", std::string(3000, 'x'), 0, true, "it is not a FITS file"},
      {"no END", HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8"}, false) +
                     std::string(2880, ' '),
       0, true, "The header of HDU 0 (at byte 0) has no END card before the file ends."},
      {"absurd NAXIS1", HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                  -32",
                                      "NAXIS   =                    1", "NAXIS1  =        1000000000000"}),
       0, true,
       "HDU 0 (primary) declares 4000000000000 bytes of data (BITPIX = -32, NAXIS = 1000000000000, PCOUNT = 0, "
       "GCOUNT = 1), but the file holds only 0 bytes after its header."},
      {"size overflow", primary + table("  9000000000000000000", "9000000000000000000"), 1, true,
       "HDU 1 (BINTABLE 'SCI') declares more than 2^63 bytes"},
      {"truncated last HDU", primary + table("8", "100") + std::string(400, '\0'), 1, true,
       "but the file holds only 400 bytes after its header"},
      {"missing padding of the last HDU", primary + table("8", "100") + std::string(800, '\0'), 2, false, ""},
      {"bad BITPIX", HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                   12",
                                   "NAXIS   =                    0"}),
       0, true, "gives BITPIX = 12, which is not a FITS sample type"},
      {"no NAXIS2", HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                   16",
                                  "NAXIS   =                    2", "NAXIS1  =                    1"}),
       0, true, "has no NAXIS2 card with a length of 0 or more"},
      {"negative PCOUNT", primary + HeaderBlocks({"XTENSION= 'IMAGE   '", "BITPIX  =                   16",
                                                  "NAXIS   =                    0", "PCOUNT  =                   -5"}),
       1, true, "gives PCOUNT a value that is not a count"},
      {"trailing bytes", primary + std::string(2880, '\0'), 1, false,
       "The 2880 bytes after HDU 0 do not begin with an XTENSION card and are ignored."},
      {"header beyond the card bound", HeaderBlocks({"SIMPLE  =                    T"}, false) + many_cards +
                                           HeaderBlocks({}),
       0, true, "has no END card within its first 40 cards", HduLimits{10, 40, 1000}},
      {"more HDUs than the bound", primary + table("8", "0") + table("8", "0") + table("8", "0"), 2, false,
       "The file holds more than 2 HDUs; those after HDU 1 are not listed.", HduLimits{2, 100, 1000}},
      {"more cards than the bound", primary + table("8", "0") + table("8", "0"), 2, false,
       "hold more than 20 cards; the HDUs from HDU 2 on are not listed", HduLimits{10, 100, 20}},
  };
  for (const Case& c : cases) {
    MemorySource source(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
    const HduList list = ListHdus(source, c.limits);
    EXPECT_EQ(list.hdus.size(), c.listed) << c.what;
    EXPECT_EQ(list.faulty, c.faulty) << c.what;
    if (c.note.empty()) {
      EXPECT_EQ(list.note, "") << c.what;
    } else {
      EXPECT_NE(list.note.find(c.note), std::string::npos) << c.what << ": " << list.note;
    }
  }
}

}  // namespace
}  // namespace quillon
