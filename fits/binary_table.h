#pragma once
// Binary tables (XTENSION = 'BINTABLE'): the column descriptions, checked
// against the row width and the data before anything is read, and a
// column's values or a cell's array as doubles.
//
// A row holds one cell per column, NAXIS1 bytes in all, NAXIS2 rows. A cell
// holds `repeat` elements of its type (TFORMn = rT), big-endian:
//   L logical (1 byte: 'T', 'F', 0 for null)   X bits (repeat bits, padded to bytes)
//   B unsigned 8-bit   I 16-bit   J 32-bit   K 64-bit (two's complement)
//   E 32-bit and D 64-bit IEEE floating point
//   A characters   C, M complex pairs of E or D
//   P, Q a descriptor (count, offset) of a variable-length array of the
//        element type that follows (1PE(100)), stored in the heap after the
//        rows (from THEAP, PCOUNT bytes of data after the rows in all).
// Numeric values are TZEROn + TSCALn x stored; an integer equal to TNULLn,
// a floating-point NaN or infinity, and a null logical are NaN. Unsigned
// integers are the usual TZERO offsets (32768, 2^31, 2^63) and need nothing
// more. Logicals read 1 (T) and 0 (F); bits read 1 and 0, the first bit of a
// byte first. Complex columns are not numbers here and are refused.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits/byte_source.h"
#include "fits/hdu_list.h"

namespace quillon {

/// One column of a binary table, as its header describes it.
struct TableColumn {
  int number = 0;           ///< n of TTYPEn, TFORMn, ... (1-based)
  std::string name;         ///< TTYPEn; "" when absent
  std::string tform;        ///< TFORMn as written
  char type = 0;            ///< element type: L X B I J K A E D C M
  char array = 0;           ///< 'P' or 'Q' for a variable-length array column, 0 otherwise
  int64_t repeat = 0;       ///< elements of a cell (bits for X, characters for A); 1 descriptor for P, Q
  int64_t max_length = -1;  ///< the (emax) of a P or Q format; -1 when not written
  int64_t width = 0;        ///< bytes of the cell in a row
  int64_t offset = 0;       ///< where the cell begins in the row
  std::vector<int64_t> dims;  ///< TDIMn axes, fastest first; empty without a usable TDIMn
  std::string unit;         ///< TUNITn
  std::string utype;        ///< TUTYPn
  std::string ucd;          ///< TUCDn
  std::string display;      ///< TDISPn
  double scale = 1;         ///< TSCALn
  double zero = 0;          ///< TZEROn
  std::optional<int64_t> null;  ///< TNULLn of an integer column
  /// Why this column's values cannot be read (complex, or TDIMn holding more
  /// elements than the cell); "" when they can. Reads of it refuse with it.
  std::string problem;

  /// Elements become numbers: L X B I J K E D (fixed or variable-length).
  bool Numeric() const;
  /// Characters: A (fixed or variable-length).
  bool Text() const { return type == 'A'; }
};

/// A binary table HDU over the bytes it came from. Reads go straight to the
/// source (which must outlive the table), a piece of rows at a time.
class BinaryTable {
 public:
  /// Reads and checks the column descriptions of `hdu`: BITPIX 8, NAXIS 2,
  /// GCOUNT 1, TFIELDS from 0 to 999, every TFORMn readable, the cells' widths
  /// adding up to NAXIS1, THEAP inside the data. Returns nullopt with one
  /// sentence naming the HDU (and the column) in `error` otherwise.
  /// Disagreements that leave the values readable (a TDIMn holding fewer
  /// elements than the cell, a TDIMn that cannot be read) become Warnings().
  static std::optional<BinaryTable> Open(ByteSource& source, const Hdu& hdu, std::string& error);

  int64_t Rows() const { return rows_; }
  int64_t RowBytes() const { return row_bytes_; }
  /// Bytes of the heap, from THEAP to the end of the data.
  int64_t HeapBytes() const { return heap_bytes_; }
  const std::vector<TableColumn>& Columns() const { return columns_; }
  const std::vector<std::string>& Warnings() const { return warnings_; }
  /// The table's HDU as messages name it ("HDU 1 (BINTABLE 'COADD')").
  const std::string& Name() const { return name_; }
  /// Index into Columns() of the first column whose TTYPE equals `name`
  /// without regard to case; -1 when none does.
  int FindColumn(std::string_view name) const;

  // Reads. `column` is an index into Columns(), rows are 0-based. Each returns
  // false with one sentence in `error` (naming the HDU and the column) for a
  // column that cannot be read so, a range outside the table, a heap pointer
  // outside the heap, or a failed read.

  /// The values of a fixed-size numeric column for rows [first, end): `repeat`
  /// values per row, row after row, into out[0 .. (end - first) x repeat - 1].
  bool ReadColumn(int column, int64_t first, int64_t end, double* out, std::string& error) const;
  /// The same into `out`, resized to fit.
  bool ReadColumn(int column, int64_t first, int64_t end, std::vector<double>& out, std::string& error) const;
  /// Several fixed-size numeric columns for rows [first, end), each piece of
  /// rows read once for all of them: outs[k] receives the values of
  /// columns[k] as ReadColumn gives them (a table spectrum's wavelength, flux,
  /// error and mask come from one pass over the rows).
  bool ReadColumns(const std::vector<int>& columns, int64_t first, int64_t end, const std::vector<double*>& outs,
                   std::string& error) const;
  /// Elements of one cell: `repeat` for a fixed column, the descriptor's count
  /// for a variable-length one (checked against the heap).
  bool CellLength(int column, int64_t row, int64_t& length, std::string& error) const;
  /// The array of one numeric cell, fixed or variable-length, into `out`.
  bool ReadCell(int column, int64_t row, std::vector<double>& out, std::string& error) const;
  /// Elements [first, first + count) of one numeric cell, fixed or
  /// variable-length (checked against the heap as ReadCell checks it), into
  /// out[0 .. count - 1]: a long cell read a piece at a time. The range must
  /// lie inside the cell; for bits (X) `first` is a multiple of 8.
  bool ReadCellPart(int column, int64_t row, int64_t first, int64_t count, double* out, std::string& error) const;
  /// The characters of one A cell (fixed or variable-length) up to the first
  /// NUL, trailing blanks removed.
  bool ReadText(int column, int64_t row, std::string& out, std::string& error) const;

 private:
  BinaryTable() = default;
  bool CheckColumn(int column, int64_t first, int64_t end, std::string& error) const;
  bool CellPlace(const TableColumn& c, int64_t row, int64_t& offset, int64_t& length, std::string& error) const;
  bool ReadElements(const TableColumn& c, int64_t offset, int64_t count, double* out, std::string& error) const;

  ByteSource* source_ = nullptr;
  std::string name_;
  int64_t rows_ = 0;
  int64_t row_bytes_ = 0;
  int64_t data_offset_ = 0;
  int64_t heap_offset_ = 0;  ///< THEAP, from the start of the data
  int64_t heap_bytes_ = 0;
  std::vector<TableColumn> columns_;
  std::vector<std::string> warnings_;
};

}  // namespace quillon
