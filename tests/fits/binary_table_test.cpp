// Binary tables: every column type CFITSIO writes, read here and by CFITSIO
// (the reference) from the same file; malformed tables by hand-made bytes.

#include "fits/binary_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "fits/gzip_source.h"
#include "fits/image_data.h"
#include "support/cfitsio_file.h"
#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using testing::CfitsioFile;
using testing::HeaderBlocks;
using testing::kNaN;

// A column as written: its format, the keywords added after it, and stored
// values (written raw, the scaling switched off) for fixed columns.
struct ColumnSpec {
  std::string name, tform;
  std::vector<std::string> cards;  // keyword = value, the column number appended to the keyword
};

constexpr long kRows = 50;

const std::vector<ColumnSpec>& Columns() {
  static const std::vector<ColumnSpec> columns = {
      {"LOG", "1L", {}},
      {"LOGS", "3L", {}},
      {"BITS", "11X", {}},
      {"UB", "1B", {"TNULL=255"}},
      {"SB", "1B", {"TZERO=-128"}},
      {"I16", "1I", {"TSCAL=0.5", "TZERO=100", "TNULL=-32768"}},
      {"U16", "1I", {"TZERO=32768"}},
      {"J32", "2J", {"TNULL=-1"}},
      {"U32", "1J", {"TZERO=2147483648"}},
      {"K64", "1K", {"TNULL=-9223372036854775808"}},
      {"U64", "1K", {"TZERO=9223372036854775808"}},
      {"E", "1E", {}},
      {"EARR", "6E", {"TDIM='(3,2)'", "TSCAL=2.0"}},
      {"WAVE", "1D", {"TUNIT='Angstrom'", "TUCD='em.wl'", "TUTYP='spec:Data.SpectralAxis.Value'"}},
      {"NAME", "12A", {}},
      {"CPLX", "1C", {}},
      {"VE", "1PE(9)", {}},
      {"VJ", "1PJ", {"TNULL=7"}},
      {"VD", "1QD", {"TZERO=0.25"}},
      {"VA", "1PA", {}},
  };
  return columns;
}

// Stored values of a fixed numeric column, within its type's range, with
// the specials a reader must get right (nulls, NaN, infinities, extremes).
std::vector<double> StoredValues(const std::string& tform, long count, std::mt19937_64& gen) {
  std::vector<double> v(static_cast<std::size_t>(count));
  const char type = tform.back();
  for (double& x : v) {
    switch (type) {
      case 'B': x = static_cast<double>(gen() % 256); break;
      case 'I': x = static_cast<double>(static_cast<int16_t>(gen())); break;
      case 'J': x = static_cast<double>(static_cast<int32_t>(gen())); break;
      case 'K': x = static_cast<double>(static_cast<int64_t>(gen()) >> 11); break;
      default: x = std::ldexp(static_cast<double>(gen() % 2000000) - 1e6, static_cast<int>(gen() % 60) - 30);
    }
  }
  if (count < 4) return v;
  if (type == 'B') v[3] = 255;
  if (type == 'I') v[3] = -32768;
  if (type == 'J') v[3] = -1;
  if (type == 'E' || type == 'D') {
    v[1] = kNaN;
    v[2] = std::numeric_limits<double>::infinity();
  }
  return v;
}

// CFITSIO's values of elements [1, count] of a row and column (NaN for null).
std::vector<double> Reference(fitsfile* f, int col, long row, long count) {
  std::vector<double> v(static_cast<std::size_t>(count));
  double null = kNaN;
  int any = 0, status = 0;
  fits_read_col(f, TDOUBLE, col, row, 1, count, &null, v.data(), &any, &status);
  EXPECT_EQ(status, 0) << testing::CfitsioError(status);
  return v;
}

void ExpectSame(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t k = 0; k < got.size(); ++k)
    ASSERT_TRUE(testing::SameValue(got[k], want[k])) << what << " element " << k << ": " << got[k] << " against "
                                                     << want[k];
}

// Every fixed numeric column of `table` (the current HDU of `f`), whole and
// in a middle range of rows, against CFITSIO: logicals as its bytes, bits as
// its bits. Returns the number of columns compared.
int ExpectFixedColumnsEqualCfitsio(const BinaryTable& table, fitsfile* f) {
  std::string error;
  int checked = 0;
  const long rows = static_cast<long>(table.Rows());
  std::vector<int> together;
  std::vector<std::vector<double>> together_want;
  for (const TableColumn& c : table.Columns()) {
    if (!c.Numeric() || c.array != 0) continue;
    SCOPED_TRACE(c.name);
    std::vector<double> want;
    int status = 0;
    if (c.type == 'L') {
      // CFITSIO reads logicals as bytes: 1, 0 and the null value given (2).
      std::vector<char> flags(static_cast<std::size_t>(rows * c.repeat));
      char null = 2;
      int any = 0;
      fits_read_col(f, TLOGICAL, c.number, 1, 1, rows * c.repeat, &null, flags.data(), &any, &status);
      for (char flag : flags) want.push_back(flag == 2 ? kNaN : flag);
    } else if (c.type == 'X') {
      std::vector<char> bits(static_cast<std::size_t>(c.repeat));
      for (long row = 1; row <= rows; ++row) {
        fits_read_col_bit(f, c.number, row, 1, c.repeat, bits.data(), &status);
        want.insert(want.end(), bits.begin(), bits.end());
      }
    } else {
      want = Reference(f, c.number, 1, rows * c.repeat);
    }
    EXPECT_EQ(status, 0) << testing::CfitsioError(status);
    std::vector<double> got;
    EXPECT_TRUE(table.ReadColumn(c.number - 1, 0, rows, got, error)) << error;
    ExpectSame(got, want, "all rows");
    const long first = rows / 7, end = rows * 3 / 4;
    EXPECT_TRUE(table.ReadColumn(c.number - 1, first, end, got, error)) << error;
    ExpectSame(got, std::vector<double>(want.begin() + first * c.repeat, want.begin() + end * c.repeat), "a range");
    together.push_back(c.number - 1);
    together_want.push_back(got);
    ++checked;
  }
  // All of them read in one pass give each column's values.
  const long first = rows / 7, end = rows * 3 / 4;
  std::vector<std::vector<double>> outs;
  std::vector<double*> pointers;
  for (const std::vector<double>& w : together_want) outs.emplace_back(w.size(), -12345.0);
  for (std::vector<double>& o : outs) pointers.push_back(o.data());
  EXPECT_TRUE(table.ReadColumns(together, first, end, pointers, error)) << error;
  for (std::size_t k = 0; k < outs.size(); ++k) ExpectSame(outs[k], together_want[k], "read together");
  return checked;
}

// Each cell of a column (fixed or variable-length) against CFITSIO.
void ExpectCellsEqualCfitsio(const BinaryTable& table, fitsfile* f, int col) {
  std::string error;
  const TableColumn& c = table.Columns()[static_cast<std::size_t>(col)];
  for (long row = 1; row <= table.Rows(); ++row) {
    long count = static_cast<long>(c.repeat), offset = 0;
    int status = 0;
    if (c.array != 0) fits_read_descript(f, c.number, row, &count, &offset, &status);
    int64_t length = -1;
    std::vector<double> got;
    ASSERT_TRUE(table.CellLength(col, row - 1, length, error)) << error;
    EXPECT_EQ(length, count);
    ASSERT_TRUE(table.ReadCell(col, row - 1, got, error)) << error;
    ExpectSame(got, count == 0 ? std::vector<double>{} : Reference(f, c.number, row, count),
               c.name + " row " + std::to_string(row));
  }
}

class BinaryTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::TempDir;
    path_ = *dir_ / "tables.fits";
    Write();
  }
  static void TearDownTestSuite() { delete dir_; }

  static void Write() {
    CfitsioFile file = CfitsioFile::Create(path_);
    int& st = file.status;
    fitsfile* f = file.f;
    fits_create_img(f, BYTE_IMG, 0, nullptr, &st);
    std::vector<char*> names, forms;
    for (const ColumnSpec& c : Columns()) {
      names.push_back(const_cast<char*>(c.name.c_str()));
      forms.push_back(const_cast<char*>(c.tform.c_str()));
    }
    fits_create_tbl(f, BINARY_TBL, kRows, static_cast<int>(names.size()), names.data(), forms.data(), nullptr,
                    "ALL", &st);
    for (std::size_t i = 0; i < Columns().size(); ++i) {
      for (const std::string& card : Columns()[i].cards) {
        const auto eq = card.find('=');
        const std::string record = card.substr(0, eq) + std::to_string(i + 1);
        fits_write_record(f, (testing::Card(record).substr(0, 8) + "= " + card.substr(eq + 1)).c_str(), &st);
      }
    }
    fits_set_hdustruc(f, &st);
    std::mt19937_64 gen(2024);
    for (std::size_t i = 0; i < Columns().size(); ++i) {
      const int col = static_cast<int>(i) + 1;
      const std::string& tform = Columns()[i].tform;
      fits_set_tscale(f, col, 1.0, 0.0, &st);
      const long repeat = std::isdigit(static_cast<unsigned char>(tform[0])) ? std::stol(tform) : 1;
      if (tform.find('P') != std::string::npos || tform.find('Q') != std::string::npos) {
        for (long row = 1; row <= kRows; ++row) {
          const long n = static_cast<long>(gen() % 10);  // 0 to 9 elements
          if (tform.back() == 'A') {
            std::string text = "row " + std::string(static_cast<std::size_t>(n), 'x');
            char* texts[] = {text.data()};
            fits_write_col(f, TSTRING, col, row, 1, 1, texts, &st);
          } else {
            std::vector<double> v = StoredValues(tform.substr(0, 3) == "1PJ" ? "J" : "D", n, gen);
            if (tform == "1PJ" && n > 0) v[0] = 7;
            fits_write_col(f, TDOUBLE, col, row, 1, n, v.data(), &st);
          }
        }
      } else if (tform.back() == 'L') {
        std::vector<char> v(static_cast<std::size_t>(kRows * repeat));
        for (char& b : v) b = static_cast<char>(gen() % 2);
        fits_write_col(f, TLOGICAL, col, 1, 1, kRows * repeat, v.data(), &st);
        fits_write_col_null(f, col, 4, 1, 1, &st);  // a null logical
      } else if (tform.back() == 'X') {
        for (long row = 1; row <= kRows; ++row) {
          char bits[11];
          for (char& b : bits) b = static_cast<char>(gen() % 2);
          fits_write_col_bit(f, col, row, 1, 11, bits, &st);
        }
      } else if (tform.back() == 'A') {
        for (long row = 1; row <= kRows; ++row) {
          std::string text = "star " + std::to_string(row * 37) + (row % 3 ? "  " : "");
          char* texts[] = {text.data()};
          fits_write_col(f, TSTRING, col, row, 1, 1, texts, &st);
        }
      } else if (tform == "1K") {
        std::vector<double> d = StoredValues(tform, kRows, gen);
        std::vector<LONGLONG> v(d.begin(), d.end());
        v[0] = std::numeric_limits<LONGLONG>::min();
        v[1] = std::numeric_limits<LONGLONG>::max();
        fits_write_col(f, TLONGLONG, col, 1, 1, kRows, v.data(), &st);
      } else if (tform.back() != 'C') {
        std::vector<double> v = StoredValues(tform, kRows * repeat, gen);
        fits_write_col(f, TDOUBLE, col, 1, 1, kRows * repeat, v.data(), &st);
      }
    }
    // A table whose rows are longer than a piece of reading: one row, an
    // array of 300,000 doubles. And one of many short rows.
    char idx[] = "INDEX", flux[] = "FLUX", ivar[] = "IVAR", mask[] = "MASK", j[] = "1J", big[] = "300000D",
         d[] = "1D", e[] = "1E", j3[] = "3J";
    char* wide_names[] = {idx, flux};
    char* wide_forms[] = {j, big};
    fits_create_tbl(f, BINARY_TBL, 1, 2, wide_names, wide_forms, nullptr, "WIDE", &st);
    std::vector<double> values = StoredValues("D", 300000, gen);
    fits_write_col(f, TDOUBLE, 2, 1, 1, 300000, values.data(), &st);
    char* long_names[] = {flux, ivar, mask};
    char* long_forms[] = {d, e, j3};
    fits_create_tbl(f, BINARY_TBL, 100000, 3, long_names, long_forms, nullptr, "LONG", &st);
    fits_write_col(f, TDOUBLE, 1, 1, 1, 100000, values.data(), &st);
    fits_write_col(f, TDOUBLE, 2, 1, 1, 100000, values.data() + 100000, &st);
    std::vector<double> masks = StoredValues("J", 300000, gen);
    fits_write_col(f, TDOUBLE, 3, 1, 1, 300000, masks.data(), &st);
    char* one_names[] = {flux};
    char* one_forms[] = {d};
    fits_create_tbl(f, BINARY_TBL, 100000, 1, one_names, one_forms, nullptr, "ONE", &st);
    fits_write_col(f, TDOUBLE, 1, 1, 1, 100000, values.data() + 200000, &st);
    file.Close();
    ASSERT_EQ(st, 0) << testing::CfitsioError(st);
  }

  void SetUp() override {
    std::string reason;
    source_ = FileSource::Open(path_.string(), reason);
    ASSERT_TRUE(source_) << reason;
    list_ = ListHdus(*source_);
    ASSERT_EQ(list_.hdus.size(), 5u) << list_.note;
    cfitsio_ = std::make_unique<CfitsioFile>(CfitsioFile::Open(path_));
    ASSERT_EQ(cfitsio_->status, 0);
  }

  BinaryTable Open(int hdu) {
    std::string error;
    std::optional<BinaryTable> table = BinaryTable::Open(*source_, list_.hdus[static_cast<std::size_t>(hdu)], error);
    EXPECT_TRUE(table) << error;
    int ignored = 0;
    fits_movabs_hdu(cfitsio_->f, hdu + 1, nullptr, &ignored);
    return std::move(*table);
  }

  static testing::TempDir* dir_;
  static std::filesystem::path path_;
  std::unique_ptr<FileSource> source_;
  HduList list_;
  std::unique_ptr<CfitsioFile> cfitsio_;
};

testing::TempDir* BinaryTableTest::dir_ = nullptr;
std::filesystem::path BinaryTableTest::path_;

TEST_F(BinaryTableTest, ColumnDescriptionsAsCfitsioHasThem) {
  const BinaryTable table = Open(1);
  EXPECT_TRUE(table.Warnings().empty());
  ASSERT_EQ(table.Columns().size(), Columns().size());
  long row_bytes = 0;
  fits_read_key(cfitsio_->f, TLONG, "NAXIS1", &row_bytes, nullptr, &cfitsio_->status);
  EXPECT_EQ(table.RowBytes(), row_bytes);
  EXPECT_EQ(table.Rows(), kRows);
  for (const TableColumn& c : table.Columns()) {
    SCOPED_TRACE(c.name);
    int typecode = 0, naxis = 0;
    long repeat = 0, width = 0, dims[4] = {};
    fits_get_coltype(cfitsio_->f, c.number, &typecode, &repeat, &width, &cfitsio_->status);
    fits_read_tdim(cfitsio_->f, c.number, 4, &naxis, dims, &cfitsio_->status);
    ASSERT_EQ(cfitsio_->status, 0) << testing::CfitsioError(cfitsio_->status);
    EXPECT_EQ(c.name, Columns()[static_cast<std::size_t>(c.number - 1)].name);
    EXPECT_EQ(c.array != 0, typecode < 0);
    if (c.array == 0) {
      EXPECT_EQ(c.repeat, repeat);
    }
    if (c.type != 'A' && c.array == 0) {
      EXPECT_EQ(c.dims.size() > 0, naxis > 1);
    }
    for (std::size_t k = 0; k < c.dims.size(); ++k) EXPECT_EQ(c.dims[k], dims[k]);
    EXPECT_EQ(c.problem.empty(), c.type != 'C');
  }
  const TableColumn& wave = table.Columns()[static_cast<std::size_t>(table.FindColumn("wave"))];
  EXPECT_EQ(wave.unit, "Angstrom");
  EXPECT_EQ(wave.ucd, "em.wl");
  EXPECT_EQ(wave.utype, "spec:Data.SpectralAxis.Value");
  EXPECT_EQ(table.FindColumn("nothing"), -1);
}

TEST_F(BinaryTableTest, FixedColumnsEqualCfitsio) {
  const BinaryTable table = Open(1);
  EXPECT_EQ(ExpectFixedColumnsEqualCfitsio(table, cfitsio_->f), 14);
}

TEST_F(BinaryTableTest, VariableLengthCellsAndTextEqualCfitsio) {
  const BinaryTable table = Open(1);
  std::string error;
  for (const char* name : {"VE", "VJ", "VD", "EARR", "J32"}) ExpectCellsEqualCfitsio(table, cfitsio_->f, table.FindColumn(name));
  for (const char* name : {"NAME", "VA"}) {
    const int col = table.FindColumn(name);
    for (long row = 1; row <= kRows; ++row) {
      char buffer[64] = "";
      char* texts[] = {buffer};
      int any = 0;
      fits_read_col(cfitsio_->f, TSTRING, col + 1, row, 1, 1, nullptr, texts, &any, &cfitsio_->status);
      std::string got;
      ASSERT_TRUE(table.ReadText(col, row - 1, got, error)) << error;
      EXPECT_EQ(got, buffer) << name << " row " << row;
    }
  }
}

// Long rows (one cell larger than a piece of reading) and many short rows
// (pieces of rows; a column that is the whole row).
TEST_F(BinaryTableTest, LongRowsAndManyRowsEqualCfitsio) {
  std::string error;
  std::vector<double> got;
  const BinaryTable wide = Open(2);
  ASSERT_TRUE(wide.ReadColumn(1, 0, 1, got, error)) << error;
  ExpectSame(got, Reference(cfitsio_->f, 2, 1, 300000), "wide column");
  ASSERT_TRUE(wide.ReadCell(1, 0, got, error)) << error;
  ExpectSame(got, Reference(cfitsio_->f, 2, 1, 300000), "wide cell");
  const BinaryTable many = Open(3);
  for (int col : {0, 1, 2}) {
    ASSERT_TRUE(many.ReadColumn(col, 0, 100000, got, error)) << error;
    ExpectSame(got, Reference(cfitsio_->f, col + 1, 1, 100000 * many.Columns()[static_cast<std::size_t>(col)].repeat),
               many.Columns()[static_cast<std::size_t>(col)].name);
  }
  ASSERT_TRUE(many.ReadColumn(1, 500, 500, got, error)) << error;
  EXPECT_TRUE(got.empty());
  const BinaryTable one = Open(4);
  ASSERT_TRUE(one.ReadColumn(0, 12345, 99999, got, error)) << error;
  std::vector<double> want = Reference(cfitsio_->f, 1, 1, 100000);
  ExpectSame(got, std::vector<double>(want.begin() + 12345, want.begin() + 99999), "whole-row column");
}

TEST_F(BinaryTableTest, ReadsThatDoNotFitTheColumnAreRefused) {
  const BinaryTable table = Open(1);
  std::vector<double> values;
  std::string text;
  const auto col = [&](const char* name) { return table.FindColumn(name); };
  struct Case {
    std::function<bool(std::string&)> read;
    std::string error;
  };
  const Case cases[] = {
      {[&](std::string& e) { return table.ReadColumn(col("CPLX"), 0, 1, values, e); },
       "The values of column 16 'CPLX' of HDU 1 (BINTABLE 'ALL') are complex numbers."},
      {[&](std::string& e) { return table.ReadColumn(col("VE"), 0, 1, values, e); },
       "The values of column 17 'VE' of HDU 1 (BINTABLE 'ALL') are variable-length arrays, read a cell at a time."},
      {[&](std::string& e) { return table.ReadColumn(col("NAME"), 0, 1, values, e); },
       "The values of column 15 'NAME' of HDU 1 (BINTABLE 'ALL') are not numbers."},
      {[&](std::string& e) { return table.ReadText(col("E"), 0, text, e); },
       "The values of column 12 'E' of HDU 1 (BINTABLE 'ALL') are not characters."},
      {[&](std::string& e) { return table.ReadColumn(col("E"), 40, 51, values, e); },
       "Rows 40 to 51 are outside the 50 rows of HDU 1 (BINTABLE 'ALL')."},
      {[&](std::string& e) { return table.ReadCell(col("E"), -1, values, e); },
       "Rows -1 to 0 are outside the 50 rows of HDU 1 (BINTABLE 'ALL')."},
      {[&](std::string& e) { return table.ReadCell(99, 0, values, e); }, "HDU 1 (BINTABLE 'ALL') has no column 100."},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(c.read(error));
    EXPECT_EQ(error, c.error);
  }
}

// A second writer: astropy's tables and image extensions
// (tests/data/tables/make_astropy_tables.py), against CFITSIO and against
// values astropy read from the file.
TEST(AstropyTableTest, AstropyWrittenFileEqualsCfitsio) {
  const std::string path = std::string(TEST_DATA_DIR) + "/tables/astropy-tables.fits";
  std::string reason, error;
  const std::unique_ptr<ByteSource> source = OpenFitsBytes(path, reason);
  ASSERT_TRUE(source) << reason;
  const HduList list = ListHdus(*source);
  ASSERT_EQ(list.hdus.size(), 4u) << list.note;
  EXPECT_EQ(list.note, "");
  CfitsioFile file = CfitsioFile::Open(path);
  fits_movabs_hdu(file.f, 2, nullptr, &file.status);
  QUILLON_CFITSIO_OK(file.status);
  const std::optional<BinaryTable> table = BinaryTable::Open(*source, list.hdus[1], error);
  ASSERT_TRUE(table) << error;
  EXPECT_EQ(ExpectFixedColumnsEqualCfitsio(*table, file.f), 8);
  ExpectCellsEqualCfitsio(*table, file.f, table->FindColumn("LINES"));
  ExpectCellsEqualCfitsio(*table, file.f, table->FindColumn("ORDERS"));
  const TableColumn& orders = table->Columns()[static_cast<std::size_t>(table->FindColumn("ORDERS"))];
  EXPECT_EQ(orders.dims, (std::vector<int64_t>{3, 2}));
  EXPECT_EQ(table->Columns()[1].unit, "1E-17 erg/s/cm^2/Angstrom");
  // As astropy reads them: unsigned through TZERO, a null byte.
  std::vector<double> values;
  ASSERT_TRUE(table->ReadColumn(table->FindColumn("PIXMASK"), 0, 1, values, error)) << error;
  EXPECT_EQ(values, std::vector<double>{3836163437.0});
  ASSERT_TRUE(table->ReadColumn(table->FindColumn("COUNTS"), 0, 1, values, error)) << error;
  EXPECT_EQ(values, std::vector<double>{12862.0});
  ASSERT_TRUE(table->ReadColumn(table->FindColumn("QUAL"), 2, 4, values, error)) << error;
  EXPECT_EQ(values[0], 241.0);
  EXPECT_TRUE(std::isnan(values[1]));
  for (int index : {2, 3}) {
    const std::optional<ImageLayout> image = ImageLayoutOf(list.hdus[static_cast<std::size_t>(index)], error);
    ASSERT_TRUE(image) << error;
    fits_movabs_hdu(file.f, index + 1, nullptr, &file.status);
    for (int64_t row = 0; row < image->Rows(); ++row) {
      long first[2] = {1, static_cast<long>(row) + 1};
      std::vector<double> want(static_cast<std::size_t>(image->RowLength()));
      double null = kNaN;
      int any = 0;
      fits_read_pix(file.f, TDOUBLE, first, image->RowLength(), &null, want.data(), &any, &file.status);
      QUILLON_CFITSIO_OK(file.status);
      ASSERT_TRUE(ReadImageRow(*source, *image, row, values, error)) << error;
      ExpectSame(values, want, DescribeHdu(list.hdus[static_cast<std::size_t>(index)]));
    }
  }
}

// Hand-made tables: a primary header, a table header with the cards given,
// the data. Each is refused at Open, or at the read of column 1 (row 0),
// with the text given; or opens with the warning given.
TEST(BinaryTableMalformedTest, EachFaultHasItsRefusal) {
  const std::string primary = HeaderBlocks({"SIMPLE  =                    T", "BITPIX  =                    8",
                                            "NAXIS   =                    0"});
  const auto table = [&](long naxis1, long naxis2, long pcount, const std::vector<std::string>& cards,
                         const std::string& data) {
    std::vector<std::string> all = {"XTENSION= 'BINTABLE'", "BITPIX  =                    8",
                                    "NAXIS   =                    2", "NAXIS1  = " + std::to_string(naxis1),
                                    "NAXIS2  = " + std::to_string(naxis2), "PCOUNT  = " + std::to_string(pcount),
                                    "GCOUNT  =                    1", "EXTNAME = 'T'"};
    all.insert(all.end(), cards.begin(), cards.end());
    std::string bytes = primary + HeaderBlocks(all) + data;
    bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
    return bytes;
  };
  // A P descriptor (count, offset) and a Q one.
  const auto p = [](uint32_t count, uint32_t offset) {
    return testing::BigEndianSamples(32, {static_cast<double>(static_cast<int32_t>(count)),
                                          static_cast<double>(static_cast<int32_t>(offset))});
  };
  const std::string q_negative = std::string(8, '\0') + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xF0";
  const std::string heap(40, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    std::string open_error;  // "" when it opens
    std::string read_error;  // "" when column 1's first cell reads
    std::string warning;     // "" when there is none
  };
  const Case cases[] = {
      {"widths against NAXIS1", table(16, 1, 0, {"TFIELDS =                    2", "TFORM1  = '1D'", "TFORM2  = '1E'"},
                                      std::string(16, '\0')),
       "The columns of HDU 1 (BINTABLE 'T') take 12 bytes of a row, but NAXIS1 = 16.", "", ""},
      {"absurd repeat", table(8, 1, 0, {"TFIELDS =                    1", "TFORM1  = '99999999999999E'"},
                              std::string(8, '\0')),
       "TFORM1 = '99999999999999E' gives column 1 of HDU 1 (BINTABLE 'T') more bytes than the row's 8 (NAXIS1).",
       "", ""},
      {"repeat beyond 64 bits", table(8, 1, 0, {"TFIELDS =                    1",
                                                "TFORM1  = '99999999999999999999E'"}, std::string(8, '\0')),
       "The format of column 1 of HDU 1 (BINTABLE 'T') (TFORM1 = '99999999999999999999E') is not a binary table "
       "format.",
       "", ""},
      {"unknown type", table(8, 1, 0, {"TFIELDS =                    1", "TFORM1  = '8Z'", "TTYPE1  = 'ZED'"},
                             std::string(8, '\0')),
       "The format of column 1 'ZED' of HDU 1 (BINTABLE 'T') (TFORM1 = '8Z') is not a binary table format.", "", ""},
      {"no TFIELDS", table(8, 1, 0, {"TFORM1  = '1D'"}, std::string(8, '\0')),
       "HDU 1 (BINTABLE 'T') has no TFIELDS card with a number of columns from 0 to 999.", "", ""},
      {"THEAP outside", table(8, 1, 40, {"TFIELDS =                    1", "TFORM1  = '1PE'", "THEAP   = 100"},
                              p(1, 0) + heap),
       "HDU 1 (BINTABLE 'T') gives THEAP = 100, outside the 40 bytes after its rows.", "", ""},
      {"TDIM beyond TFORM", table(24, 1, 0, {"TFIELDS =                    1", "TFORM1  = '6E'", "TTYPE1  = 'F'",
                                             "TDIM1   = '(4,2)'"}, std::string(24, '\0')),
       "", "TDIM1 = '(4,2)' of column 1 'F' of HDU 1 (BINTABLE 'T') holds more elements than its TFORM1 = '6E'.",
       ""},
      {"TDIM short of TFORM", table(24, 1, 0, {"TFIELDS =                    1", "TFORM1  = '6E'",
                                               "TDIM1   = '(2,2)'"}, std::string(24, '\0')),
       "", "", "TDIM1 = '(2,2)' of column 1 of HDU 1 (BINTABLE 'T') holds fewer elements than its TFORM1 = '6E'"},
      {"TDIM unreadable", table(24, 1, 0, {"TFIELDS =                    1", "TFORM1  = '6E'", "TDIM1   = '6'"},
                                std::string(24, '\0')),
       "", "", "TDIM1 = '6' of column 1 of HDU 1 (BINTABLE 'T') is not a list of lengths; it is ignored."},
      {"heap pointer beyond the heap", table(8, 1, 40, {"TFIELDS =                    1", "TFORM1  = '1PE'"},
                                             p(10, 8) + heap),
       "", "Row 0 of column 1 of HDU 1 (BINTABLE 'T') points to 10 elements at byte 8 of the heap, outside its 40 "
           "bytes.",
       ""},
      {"heap offset beyond the heap", table(8, 1, 40, {"TFIELDS =                    1", "TFORM1  = '1PE'"},
                                            p(0, 4000000000u) + heap),
       "", "points to 0 elements at byte 4000000000 of the heap, outside its 40 bytes.", ""},
      {"heap pointer at the heap's end", table(8, 1, 40, {"TFIELDS =                    1", "TFORM1  = '1PE'"},
                                               p(2, 32) + heap),
       "", "", ""},
      {"negative Q offset", table(16, 1, 40, {"TFIELDS =                    1", "TFORM1  = '1QD'"},
                                  q_negative + heap),
       "", "points to 0 elements at byte 18446744073709551600 of the heap, outside its 40 bytes.", ""},
      {"two descriptors in a cell", table(16, 1, 40, {"TFIELDS =                    1", "TFORM1  = '2PE'"},
                                          p(0, 0) + p(0, 0) + heap),
       "", "column 1 of HDU 1 (BINTABLE 'T') holds 2 array descriptors in a cell; one is read.", ""},
      {"not a table's layout", primary + HeaderBlocks({"XTENSION= 'BINTABLE'", "BITPIX  =                   16",
                                                       "NAXIS   =                    1", "NAXIS1  = 4",
                                                       "PCOUNT  =                    0", "GCOUNT  =                    1",
                                                       "EXTNAME = 'T'"}) +
                                   std::string(2880, '\0'),
       "HDU 1 (BINTABLE 'T') is not laid out as a binary table (it needs BITPIX = 8, NAXIS = 2 and GCOUNT = 1).",
       "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
    const HduList list = ListHdus(source);
    ASSERT_EQ(list.hdus.size(), 2u) << list.note;
    std::string error;
    const std::optional<BinaryTable> t = BinaryTable::Open(source, list.hdus[1], error);
    if (!c.open_error.empty()) {
      EXPECT_FALSE(t);
      EXPECT_EQ(error, c.open_error);
      continue;
    }
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->Warnings().size(), c.warning.empty() ? 0u : 1u);
    if (!c.warning.empty() && !t->Warnings().empty()) {
      EXPECT_NE(t->Warnings()[0].find(c.warning), std::string::npos) << t->Warnings()[0];
    }
    std::vector<double> values;
    const bool read = t->ReadCell(0, 0, values, error);
    EXPECT_EQ(read, c.read_error.empty()) << error;
    if (!c.read_error.empty()) {
      EXPECT_NE(error.find(c.read_error), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace quillon
