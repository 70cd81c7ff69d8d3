#pragma once
// The header and data units (HDUs) of a FITS file, walked in file order: the
// primary HDU, then each extension. Each header is read in 2880-byte blocks
// of 80-character cards up to its END card; the size of each data unit comes
// from BITPIX, NAXISn, PCOUNT and GCOUNT and is checked against the file's
// real size before anything is read or allocated for it.
//
// This is the standard reading of a file, used for extensions and tables. The
// primary spectrum reader (spectrum/spectrum_reader) keeps its own rules for
// the primary header.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits/byte_source.h"
#include "fits/header_reader.h"

namespace quillon {

/// One header's cards with typed look-ups of their values. A keyword's first
/// card counts (a repeated keyword is an error in a file; the first is what
/// CFITSIO reads too). Values are read by the FITS rules, not leniently:
/// strings are quoted, a doubled quote stands for one, trailing blanks do not
/// count, and a string ending in '&' runs on over the CONTINUE cards that
/// follow; a number is the whole value field (E or D exponent).
class HduHeader {
 public:
  HduHeader() = default;
  explicit HduHeader(HeaderCards cards);

  /// The cards as split by SplitCards: index 0 unused, the END card last.
  const HeaderCards& Cards() const { return cards_; }
  /// Index (1-based) of the first card named `keyword`, 0 when there is none.
  int64_t CardIndex(std::string_view keyword) const;
  bool Has(std::string_view keyword) const { return CardIndex(keyword) != 0; }

  /// The string value; nullopt when the card is absent or holds no quoted string.
  std::optional<std::string> String(std::string_view keyword) const;
  /// The number; nullopt when absent, not a number, or beyond the double range.
  std::optional<double> Number(std::string_view keyword) const;
  /// The whole number; nullopt when absent, not a number, not whole, or
  /// outside the 64-bit range. "100", "+100", "1.0E2" and "100." all give 100.
  std::optional<int64_t> Integer(std::string_view keyword) const;
  /// T or F; nullopt otherwise.
  std::optional<bool> Logical(std::string_view keyword) const;

 private:
  HeaderCards cards_;
  std::map<std::string, int64_t, std::less<>> first_;  ///< keyword -> index of its first card
};

/// What an HDU holds.
enum class HduKind {
  kPrimary,      ///< HDU 0: an image (or random groups), possibly empty
  kImage,        ///< XTENSION = 'IMAGE'
  kBinaryTable,  ///< XTENSION = 'BINTABLE'
  kOther,        ///< any other extension ('TABLE', 'A3DTABLE', 'FOREIGN', ...): skipped by its size
};

/// One header and data unit, as its header describes it. Every size here has
/// been checked against the file: data_offset + data_size <= the file's size.
struct Hdu {
  int index = 0;              ///< 0 = primary, then the extensions in file order
  HduKind kind = HduKind::kPrimary;
  std::string xtension;       ///< XTENSION value ("IMAGE", "BINTABLE", ...); "" for the primary
  std::string extname;        ///< EXTNAME; "" when absent
  int64_t extver = 1;         ///< EXTVER; 1 when absent
  HduHeader header;
  int64_t header_offset = 0;  ///< first byte of the header
  int64_t data_offset = 0;    ///< first byte of the data: the block after the END card
  int64_t data_size = 0;      ///< bytes of data, the padding to 2880 bytes not included
  int bitpix = 0;             ///< 8, 16, 32, 64, -32 or -64
  std::vector<int64_t> axes;  ///< NAXIS1, NAXIS2, ... (NAXIS of them)
  int64_t pcount = 0;         ///< PCOUNT (a binary table's heap); 0 when absent
  int64_t gcount = 1;         ///< GCOUNT; 1 when absent
};

/// "HDU 2 (BINTABLE 'COADD')", "HDU 0 (primary)": how messages name an HDU.
std::string DescribeHdu(const Hdu& hdu);

/// Bounds of one walk, so that no file makes it read or keep without end.
/// A file beyond them is listed up to the bound, with a note.
struct HduLimits {
  int max_hdus = 10000;                 ///< HDUs listed
  int64_t max_header_cards = 100000;    ///< cards in one header (8 MB of header text)
  int64_t max_total_cards = 1000000;    ///< cards in all headers together (80 MB of text)
};

/// The HDUs of a file, in file order, and why the walk stopped where it did.
struct HduList {
  std::vector<Hdu> hdus;
  /// Empty when the walk reached the end of the file right after the last
  /// HDU. Otherwise one sentence naming where it stopped: a fault (a header
  /// without END, a size beyond the file, a malformed keyword), or bytes after
  /// the last HDU that begin no extension, or a bound of HduLimits.
  std::string note;
  /// true when the note tells of a fault in the file: the HDU it names is not
  /// listed, and nothing after it is.
  bool faulty = false;
};

/// Walks the HDUs of `source`. Reads only headers (a few blocks at a time);
/// allocates nothing for data. A file that does not begin with SIMPLE gives no
/// HDU and a faulty note.
HduList ListHdus(ByteSource& source, const HduLimits& limits = {});

}  // namespace quillon
