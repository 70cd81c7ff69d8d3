#include "fits/binary_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "fits/sample_decoder.h"

namespace quillon {

namespace {

// Bytes read from the source at a time; a piece stays in the cache while
// its values are gathered and decoded.
constexpr int64_t kPieceBytes = int64_t{1} << 18;
constexpr int kMaxFields = 999;

// Bytes of one element of a type (X counts bits and is handled apart).
int ElementBytes(char type) {
  switch (type) {
    case 'L': case 'B': case 'A': return 1;
    case 'I': return 2;
    case 'J': case 'E': return 4;
    case 'K': case 'D': case 'C': return 8;
    case 'M': return 16;
    default: return 0;
  }
}

// The BITPIX whose samples are stored as elements of this type, 0 for none.
int BitpixOf(char type) {
  switch (type) {
    case 'B': return 8;
    case 'I': return 16;
    case 'J': return 32;
    case 'K': return 64;
    case 'E': return -32;
    case 'D': return -64;
    default: return 0;
  }
}

// Bytes that `count` elements of the column's type take.
int64_t BytesOf(const TableColumn& c, int64_t count) {
  return c.type == 'X' ? (count + 7) / 8 : count * ElementBytes(c.type);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string ColumnLabel(const TableColumn& c) {
  return "column " + std::to_string(c.number) + (c.name.empty() ? "" : " " + Quoted(c.name));
}

bool ReadDigits(std::string_view text, std::size_t& pos, int64_t& value) {
  const std::size_t start = pos;
  value = 0;
  for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
    if (__builtin_mul_overflow(value, 10, &value) || __builtin_add_overflow(value, text[pos] - '0', &value))
      return false;
  }
  return pos > start;
}

// TFORMn = rT, rPT(emax) or rQT(emax); rAw and anything after an A is
// allowed (the character-string conventions). Sets repeat, type and array.
bool ParseTform(std::string_view written, TableColumn& c) {
  std::string text;
  for (char ch : written) text += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, text.find_first_not_of(' '));
  std::size_t pos = 0;
  if (!ReadDigits(text, pos, c.repeat)) {
    if (pos != 0) return false;  // digits that overflow
    c.repeat = 1;
  }
  if (pos >= text.size()) return false;
  char type = text[pos++];
  if (type == 'P' || type == 'Q') {
    c.array = type;
    if (pos >= text.size()) return false;
    type = text[pos++];
    if (pos < text.size() && text[pos] == '(') {
      ++pos;
      if (!ReadDigits(text, pos, c.max_length) || pos >= text.size() || text[pos] != ')') return false;
      ++pos;
    }
  }
  c.type = type;
  if (type != 'X' && ElementBytes(type) == 0) return false;
  return pos == text.size() || type == 'A';
}

// TDIMn = '(a,b,...)', positive lengths.
bool ParseTdim(std::string_view text, std::vector<int64_t>& dims) {
  std::size_t pos = text.find_first_not_of(' ');
  if (pos == std::string_view::npos || text[pos] != '(') return false;
  ++pos;
  while (true) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    int64_t length = 0;
    if (!ReadDigits(text, pos, length) || length <= 0) return false;
    dims.push_back(length);
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos >= text.size()) return false;
    if (text[pos] == ')') return true;
    if (text[pos++] != ',') return false;
  }
}

uint64_t BigEndian(const unsigned char* p, int bytes) {
  uint64_t value = 0;
  for (int k = 0; k < bytes; ++k) value = value << 8 | p[k];
  return value;
}

// `count` elements from `p` (bits from the first of p[0]) into out.
void DecodeElements(const TableColumn& c, const unsigned char* p, int64_t count, double* out) {
  constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
  switch (c.type) {
    case 'L':
      for (int64_t i = 0; i < count; ++i) out[i] = p[i] == 'T' ? 1.0 : p[i] == 'F' ? 0.0 : kNull;
      return;
    case 'X':
      for (int64_t i = 0; i < count; ++i) out[i] = (p[i >> 3] >> (7 - (i & 7))) & 1;
      return;
    default: {
      SampleScaling scaling{c.scale, c.zero, std::nullopt};
      if (c.type != 'E' && c.type != 'D') scaling.blank = c.null;
      DecodeAnySamplesInto(p, count, BitpixOf(c.type), scaling, out);
    }
  }
}

// Copies `width` bytes from each of `rows` rows `stride` apart into `out`,
// one after another; the common widths with fixed-size copies.
template <int kWidth>
void GatherFixed(const unsigned char* in, int64_t rows, int64_t stride, unsigned char* out) {
  for (int64_t r = 0; r < rows; ++r) std::memcpy(out + r * kWidth, in + r * stride, kWidth);
}

void Gather(const unsigned char* in, int64_t rows, int64_t stride, int64_t width, unsigned char* out) {
  switch (width) {
    case 1: return GatherFixed<1>(in, rows, stride, out);
    case 2: return GatherFixed<2>(in, rows, stride, out);
    case 4: return GatherFixed<4>(in, rows, stride, out);
    case 8: return GatherFixed<8>(in, rows, stride, out);
    default:
      for (int64_t r = 0; r < rows; ++r)
        std::memcpy(out + r * width, in + r * stride, static_cast<std::size_t>(width));
  }
}

}  // namespace

bool TableColumn::Numeric() const {
  return type == 'L' || type == 'X' || BitpixOf(type) != 0;
}

std::optional<BinaryTable> BinaryTable::Open(ByteSource& source, const Hdu& hdu, std::string& error) {
  BinaryTable table;
  table.source_ = &source;
  table.name_ = DescribeHdu(hdu);
  const std::string& name = table.name_;
  if (hdu.kind != HduKind::kBinaryTable) {
    error = name + " is not a binary table.";
    return std::nullopt;
  }
  if (hdu.bitpix != 8 || hdu.axes.size() != 2 || hdu.gcount != 1) {
    error = name + " is not laid out as a binary table (it needs BITPIX = 8, NAXIS = 2 and GCOUNT = 1).";
    return std::nullopt;
  }
  const HduHeader& h = hdu.header;
  table.row_bytes_ = hdu.axes[0];
  table.rows_ = hdu.axes[1];
  table.data_offset_ = hdu.data_offset;
  const int64_t table_bytes = table.row_bytes_ * table.rows_;  // within data_size (ListHdus)
  table.heap_offset_ = h.Integer("THEAP").value_or(table_bytes);
  if (table.heap_offset_ < table_bytes || table.heap_offset_ > hdu.data_size) {
    error = name + " gives THEAP = " + std::to_string(table.heap_offset_) + ", outside the " +
            std::to_string(hdu.data_size - table_bytes) + " bytes after its rows.";
    return std::nullopt;
  }
  table.heap_bytes_ = hdu.data_size - table.heap_offset_;
  const std::optional<int64_t> fields = h.Integer("TFIELDS");
  if (!fields || *fields < 0 || *fields > kMaxFields) {
    error = name + " has no TFIELDS card with a number of columns from 0 to " + std::to_string(kMaxFields) + ".";
    return std::nullopt;
  }

  int64_t offset = 0;
  for (int n = 1; n <= *fields; ++n) {
    const std::string suffix = std::to_string(n);
    TableColumn c;
    c.number = n;
    c.name = h.String("TTYPE" + suffix).value_or("");
    c.tform = h.String("TFORM" + suffix).value_or("");
    const std::string label = ColumnLabel(c) + " of " + name;
    if (!ParseTform(c.tform, c)) {
      error = "The format of " + label + " (TFORM" + suffix + " = " + Quoted(c.tform) +
              ") is not a binary table format.";
      return std::nullopt;
    }
    // The cell must fit in the row before its width is worked out.
    const int64_t unit = c.array == 'P' ? 8 : c.array == 'Q' ? 16 : c.type == 'X' ? 0 : ElementBytes(c.type);
    const bool fits = unit == 0 ? c.repeat / 8 <= table.row_bytes_ : c.repeat <= table.row_bytes_ / unit;
    if (!fits) {
      error = "TFORM" + suffix + " = " + Quoted(c.tform) + " gives " + label + " more bytes than the row's " +
              std::to_string(table.row_bytes_) + " (NAXIS1).";
      return std::nullopt;
    }
    c.width = unit == 0 ? (c.repeat + 7) / 8 : c.repeat * unit;
    c.offset = offset;
    offset += c.width;
    if (offset > table.row_bytes_) {
      error = "The columns of " + name + " up to " + ColumnLabel(c) + " need more bytes than the row's " +
              std::to_string(table.row_bytes_) + " (NAXIS1).";
      return std::nullopt;
    }
    c.unit = h.String("TUNIT" + suffix).value_or("");
    c.utype = h.String("TUTYP" + suffix).value_or("");
    c.ucd = h.String("TUCD" + suffix).value_or("");
    c.display = h.String("TDISP" + suffix).value_or("");
    c.scale = h.Number("TSCAL" + suffix).value_or(1.0);
    c.zero = h.Number("TZERO" + suffix).value_or(0.0);
    if (BitpixOf(c.type) > 0) c.null = h.Integer("TNULL" + suffix);
    if (c.type == 'C' || c.type == 'M') c.problem = "The values of " + label + " are complex numbers.";
    if (c.array != 0 && c.repeat > 1)
      c.problem = label + " holds " + std::to_string(c.repeat) + " array descriptors in a cell; one is read.";
    if (const std::optional<std::string> tdim = h.String("TDIM" + suffix)) {
      int64_t product = 1;
      bool overflow = false;
      if (!ParseTdim(*tdim, c.dims)) {
        c.dims.clear();
        table.warnings_.push_back("TDIM" + suffix + " = " + Quoted(*tdim) + " of " + label +
                                  " is not a list of lengths; it is ignored.");
      }
      for (int64_t length : c.dims) overflow |= __builtin_mul_overflow(product, length, &product);
      const std::string says = "TDIM" + suffix + " = " + Quoted(*tdim) + " of " + label;
      if (!c.dims.empty() && c.array == 0 && (overflow || product > c.repeat)) {
        c.problem = says + " holds more elements than its TFORM" + suffix + " = " + Quoted(c.tform) + ".";
        c.dims.clear();
      } else if (!c.dims.empty() && c.array == 0 && product < c.repeat) {
        table.warnings_.push_back(says + " holds fewer elements than its TFORM" + suffix + " = " +
                                  Quoted(c.tform) + "; the cell's last elements have no place in it.");
      }
    }
    table.columns_.push_back(std::move(c));
  }
  if (offset != table.row_bytes_) {
    error = "The columns of " + name + " take " + std::to_string(offset) + " bytes of a row, but NAXIS1 = " +
            std::to_string(table.row_bytes_) + ".";
    return std::nullopt;
  }
  return table;
}

int BinaryTable::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const std::string& own = columns_[i].name;
    if (own.size() == name.size() &&
        std::equal(own.begin(), own.end(), name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        }))
      return static_cast<int>(i);
  }
  return -1;
}

bool BinaryTable::CheckColumn(int column, int64_t first, int64_t end, std::string& error) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) {
    error = name_ + " has no column " + std::to_string(column + 1) + ".";
    return false;
  }
  const TableColumn& c = columns_[static_cast<std::size_t>(column)];
  if (!c.problem.empty()) {
    error = c.problem;
    return false;
  }
  if (first < 0 || first > end || end > rows_) {
    error = "Rows " + std::to_string(first) + " to " + std::to_string(end) + " are outside the " +
            std::to_string(rows_) + " rows of " + name_ + ".";
    return false;
  }
  return true;
}

bool BinaryTable::ReadColumn(int column, int64_t first, int64_t end, double* out, std::string& error) const {
  if (!CheckColumn(column, first, end, error)) return false;
  const TableColumn& c = columns_[static_cast<std::size_t>(column)];
  if (!c.Numeric() || c.array != 0) {
    error = "The values of " + ColumnLabel(c) + " of " + name_ + " are " +
            (c.array != 0 ? "variable-length arrays, read a cell at a time." : "not numbers.");
    return false;
  }
  if (c.repeat == 0 || first == end) return true;
  const int64_t stride = row_bytes_;
  if (stride > kPieceBytes) {
    // Long rows: only this column's cells are read.
    for (int64_t row = first; row < end; ++row) {
      if (!ReadElements(c, data_offset_ + row * stride + c.offset, c.repeat, out + (row - first) * c.repeat, error))
        return false;
    }
    return true;
  }
  // Short rows: a piece of rows at a time, from this column's first byte in
  // the first row to its last byte in the last; the cells are gathered
  // side by side and decoded in one pass.
  const int64_t piece_rows = std::min(end - first, kPieceBytes / stride);
  // Buffers the reads fill are not zeroed first.
  const auto block =
      std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>((piece_rows - 1) * stride + c.width));
  std::vector<unsigned char> gathered;
  const bool whole_row = c.width == stride;
  const bool per_cell = c.type == 'X';
  if (!whole_row && !per_cell) gathered.resize(static_cast<std::size_t>(piece_rows * c.width));
  for (int64_t row = first; row < end;) {
    const int64_t m = std::min(piece_rows, end - row);
    if (!source_->Read(data_offset_ + row * stride + c.offset, (m - 1) * stride + c.width, block.get(), error))
      return false;
    double* dst = out + (row - first) * c.repeat;
    if (per_cell) {
      for (int64_t r = 0; r < m; ++r) DecodeElements(c, block.get() + r * stride, c.repeat, dst + r * c.repeat);
    } else if (whole_row) {
      DecodeElements(c, block.get(), m * c.repeat, dst);
    } else {
      Gather(block.get(), m, stride, c.width, gathered.data());
      DecodeElements(c, gathered.data(), m * c.repeat, dst);
    }
    row += m;
  }
  return true;
}

bool BinaryTable::ReadColumns(const std::vector<int>& columns, int64_t first, int64_t end,
                              const std::vector<double*>& outs, std::string& error) const {
  if (columns.size() != outs.size()) {
    error = "ReadColumns was given " + std::to_string(columns.size()) + " columns and " + std::to_string(outs.size()) +
            " outputs.";
    return false;
  }
  const int64_t stride = row_bytes_;
  bool together = columns.size() > 1 && stride <= kPieceBytes && first < end;
  for (const int column : columns) {
    if (!CheckColumn(column, first, end, error)) return false;
    const TableColumn& c = columns_[static_cast<std::size_t>(column)];
    together = together && c.Numeric() && c.array == 0 && c.repeat > 0;
  }
  if (!together) {
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (!ReadColumn(columns[k], first, end, outs[k], error)) return false;
    }
    return true;
  }
  // Whole rows a piece at a time; each column gathered from the piece.
  const int64_t piece_rows = std::min(end - first, kPieceBytes / stride);
  const auto block = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(piece_rows * stride));
  std::vector<unsigned char> gathered;
  for (int64_t row = first; row < end;) {
    const int64_t m = std::min(piece_rows, end - row);
    if (!source_->Read(data_offset_ + row * stride, m * stride, block.get(), error)) return false;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      const TableColumn& c = columns_[static_cast<std::size_t>(columns[k])];
      double* dst = outs[k] + (row - first) * c.repeat;
      const unsigned char* cell = block.get() + c.offset;
      if (c.type == 'X') {
        for (int64_t r = 0; r < m; ++r) DecodeElements(c, cell + r * stride, c.repeat, dst + r * c.repeat);
      } else if (c.width == stride) {
        DecodeElements(c, cell, m * c.repeat, dst);
      } else {
        gathered.resize(static_cast<std::size_t>(m * c.width));
        Gather(cell, m, stride, c.width, gathered.data());
        DecodeElements(c, gathered.data(), m * c.repeat, dst);
      }
    }
    row += m;
  }
  return true;
}

bool BinaryTable::ReadColumn(int column, int64_t first, int64_t end, std::vector<double>& out,
                             std::string& error) const {
  if (!CheckColumn(column, first, end, error)) return false;
  out.resize(static_cast<std::size_t>((end - first) * columns_[static_cast<std::size_t>(column)].repeat));
  return ReadColumn(column, first, end, out.data(), error);
}

bool BinaryTable::CellPlace(const TableColumn& c, int64_t row, int64_t& offset, int64_t& length,
                            std::string& error) const {
  offset = data_offset_ + row * row_bytes_ + c.offset;
  length = c.repeat;
  if (c.array == 0 || c.repeat == 0) return true;
  // A descriptor: the element count, then the byte offset into the heap;
  // 32-bit unsigned for P, 64-bit for Q.
  const int half = c.array == 'P' ? 4 : 8;
  unsigned char descriptor[16];
  if (!source_->Read(offset, 2 * half, descriptor, error)) return false;
  const uint64_t count = BigEndian(descriptor, half);
  const uint64_t start = BigEndian(descriptor + half, half);
  const auto heap = static_cast<uint64_t>(heap_bytes_);
  const bool inside = count <= heap * 8 && start <= heap &&
                      static_cast<uint64_t>(BytesOf(c, static_cast<int64_t>(count))) <= heap - start;
  if (!inside) {
    error = "Row " + std::to_string(row) + " of " + ColumnLabel(c) + " of " + name_ + " points to " +
            std::to_string(count) + " elements at byte " + std::to_string(start) + " of the heap, outside its " +
            std::to_string(heap_bytes_) + " bytes.";
    return false;
  }
  offset = data_offset_ + heap_offset_ + static_cast<int64_t>(start);
  length = static_cast<int64_t>(count);
  return true;
}

bool BinaryTable::CellLength(int column, int64_t row, int64_t& length, std::string& error) const {
  if (!CheckColumn(column, row, row + 1, error)) return false;
  int64_t offset = 0;
  return CellPlace(columns_[static_cast<std::size_t>(column)], row, offset, length, error);
}

bool BinaryTable::ReadCell(int column, int64_t row, std::vector<double>& out, std::string& error) const {
  int64_t length = 0;
  if (!CellLength(column, row, length, error)) return false;
  if (!columns_[static_cast<std::size_t>(column)].Numeric()) {
    error = "The values of " + ColumnLabel(columns_[static_cast<std::size_t>(column)]) + " of " + name_ +
            " are not numbers.";
    return false;
  }
  out.resize(static_cast<std::size_t>(length));
  return ReadCellPart(column, row, 0, length, out.data(), error);
}

bool BinaryTable::ReadCellPart(int column, int64_t row, int64_t first, int64_t count, double* out,
                               std::string& error) const {
  if (!CheckColumn(column, row, row + 1, error)) return false;
  const TableColumn& c = columns_[static_cast<std::size_t>(column)];
  if (!c.Numeric()) {
    error = "The values of " + ColumnLabel(c) + " of " + name_ + " are not numbers.";
    return false;
  }
  int64_t offset = 0, length = 0;
  if (!CellPlace(c, row, offset, length, error)) return false;
  if (first < 0 || count < 0 || first > length || count > length - first || (c.type == 'X' && first % 8 != 0)) {
    error = "Elements " + std::to_string(first) + " to " + std::to_string(first + count) + " of row " +
            std::to_string(row) + " of " + ColumnLabel(c) + " of " + name_ + " are outside its " +
            std::to_string(length) + " elements.";
    return false;
  }
  if (count == 0) return true;
  return ReadElements(c, offset + BytesOf(c, first), count, out, error);
}

bool BinaryTable::ReadText(int column, int64_t row, std::string& out, std::string& error) const {
  if (!CheckColumn(column, row, row + 1, error)) return false;
  const TableColumn& c = columns_[static_cast<std::size_t>(column)];
  if (!c.Text()) {
    error = "The values of " + ColumnLabel(c) + " of " + name_ + " are not characters.";
    return false;
  }
  int64_t offset = 0, length = 0;
  if (!CellPlace(c, row, offset, length, error)) return false;
  out.assign(static_cast<std::size_t>(length), '\0');
  if (!source_->Read(offset, length, reinterpret_cast<unsigned char*>(out.data()), error)) return false;
  out.resize(std::min(out.find('\0'), out.size()));
  out.erase(out.find_last_not_of(' ') + 1);
  return true;
}

// Contiguous elements from the file, a piece at a time.
bool BinaryTable::ReadElements(const TableColumn& c, int64_t offset, int64_t count, double* out,
                               std::string& error) const {
  // Whole bytes per piece, so that bits and elements split evenly.
  const int64_t per_byte = c.type == 'X' ? 8 : 1;
  const int64_t unit = c.type == 'X' ? 1 : ElementBytes(c.type);
  const int64_t piece = kPieceBytes / unit * per_byte;  // elements
  const auto buffer =
      std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(BytesOf(c, std::min(piece, count))));
  for (int64_t done = 0; done < count;) {
    const int64_t n = std::min(piece, count - done);
    if (!source_->Read(offset + BytesOf(c, done), BytesOf(c, n), buffer.get(), error)) return false;
    DecodeElements(c, buffer.get(), n, out + done);
    done += n;
  }
  return true;
}

}  // namespace quillon
