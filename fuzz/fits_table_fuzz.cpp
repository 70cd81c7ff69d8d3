// libFuzzer entry points for the FITS file layer beyond the primary reader,
// with bytes in memory. Built twice:
//   fits_table_fuzz - the HDU walk, then every row of every image and every
//     column and cell of every binary table it lists, within a budget of
//     decoded values per input;
//   fits_gzip_fuzz - the gzip source (inflated within a small bound), then
//     the walk over what it inflated to.
// Besides the sanitizers, each run checks what the layer promises: every
// listed HDU lies inside the bytes, a fault is always told, every refusal
// has its sentence, and a read gives exactly the values it announced.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fits/binary_table.h"
#include "fits/byte_source.h"
#include "fits/gzip_source.h"
#include "fits/hdu_list.h"
#include "fits/image_data.h"

namespace {

using namespace quillon;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Values decoded per input at most, so that a small input claiming a large
// (but present) data unit keeps a run short.
constexpr int64_t kBudget = int64_t{1} << 20;

void ReadImage(ByteSource& source, const Hdu& hdu, int64_t& budget) {
  std::string error;
  const std::optional<ImageLayout> image = ImageLayoutOf(hdu, error);
  if (!image) {
    Check(!error.empty());
    return;
  }
  std::vector<double> row;
  for (int64_t r = 0; r < image->Rows() && budget >= image->RowLength(); ++r) {
    budget -= std::max<int64_t>(1, image->RowLength());
    Check(ReadImageRow(source, *image, r, row, error));
    Check(static_cast<int64_t>(row.size()) == image->RowLength());
  }
}

void ReadTable(ByteSource& source, const Hdu& hdu, int64_t& budget) {
  std::string error;
  const std::optional<BinaryTable> table = BinaryTable::Open(source, hdu, error);
  if (!table) {
    Check(!error.empty());
    return;
  }
  int64_t width = 0;
  for (const TableColumn& c : table->Columns()) {
    Check(c.offset == width && c.width >= 0);
    width += c.width;
  }
  Check(width == table->RowBytes());
  std::vector<double> values;
  std::string text;
  for (int col = 0; col < static_cast<int>(table->Columns().size()); ++col) {
    const TableColumn& c = table->Columns()[static_cast<std::size_t>(col)];
    // The whole column, as far as the budget goes.
    const int64_t per_row = std::max<int64_t>(1, c.repeat);
    const int64_t rows = std::min(table->Rows(), budget / per_row);
    budget -= rows * per_row;
    if (table->ReadColumn(col, 0, rows, values, error)) {
      Check(c.Numeric() && c.array == 0 && c.problem.empty());
      Check(static_cast<int64_t>(values.size()) == rows * c.repeat);
    } else {
      Check(!error.empty());
    }
    // Each cell of the first rows: a variable-length one from the heap.
    for (int64_t row = 0; row < std::min<int64_t>(table->Rows(), 64) && budget > 0; ++row) {
      int64_t length = -1;
      if (!table->CellLength(col, row, length, error)) {
        Check(!error.empty());
        continue;
      }
      Check(length >= 0 && (c.type == 'X' ? (length + 7) / 8 : length) <= std::max(table->HeapBytes(), c.repeat));
      if (length > budget) break;
      budget -= std::max<int64_t>(1, length);
      if (c.Text()) {
        Check(table->ReadText(col, row, text, error));
        Check(static_cast<int64_t>(text.size()) <= length);
      } else if (table->ReadCell(col, row, values, error)) {
        Check(static_cast<int64_t>(values.size()) == length);
        // Its second half read alone gives the same values; a range past
        // its end is refused.
        const int64_t half = length / 2 / 8 * 8;
        std::vector<double> part(static_cast<std::size_t>(length - half));
        Check(table->ReadCellPart(col, row, half, length - half, part.data(), error));
        for (int64_t k = half; k < length; ++k) {
          const double a = values[static_cast<std::size_t>(k)], b = part[static_cast<std::size_t>(k - half)];
          Check(a == b || (std::isnan(a) && std::isnan(b)));
        }
        Check(!table->ReadCellPart(col, row, half, length - half + 1, part.data(), error) && !error.empty());
      } else {
        Check(!error.empty());
      }
    }
  }
}

void WalkAndRead(ByteSource& source) {
  const HduLimits limits{64, 4096, 20000};
  const HduList list = ListHdus(source, limits);
  Check(!list.faulty || !list.note.empty());
  Check(static_cast<int>(list.hdus.size()) <= limits.max_hdus);
  int64_t budget = kBudget;
  for (const Hdu& hdu : list.hdus) {
    Check(hdu.header_offset % 2880 == 0 && hdu.data_offset % 2880 == 0 && hdu.data_offset > hdu.header_offset);
    Check(hdu.data_size >= 0 && hdu.data_size <= source.Size() - std::min(source.Size(), hdu.data_offset));
    Check(!DescribeHdu(hdu).empty());
    if (hdu.kind == HduKind::kBinaryTable) {
      ReadTable(source, hdu, budget);
    } else {
      ReadImage(source, hdu, budget);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
#ifdef QUILLON_FUZZ_GZIP
  constexpr int64_t kBound = int64_t{8} << 20;
  std::string reason;
  const std::unique_ptr<GzipSource> inflated = GzipSource::Inflate(source, reason, kBound);
  if (!inflated) {
    Check(!reason.empty());
    return 0;
  }
  Check(inflated->Size() <= kBound);
  WalkAndRead(*inflated);
#else
  WalkAndRead(source);
#endif
  return 0;
}
