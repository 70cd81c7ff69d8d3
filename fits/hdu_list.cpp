#include "fits/hdu_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "base/ascii_text.h"

namespace quillon {

namespace {

constexpr int64_t kBlock = 2880;
constexpr int64_t kCard = 80;
// The header is read a few blocks at a time, doubling up to this many.
constexpr int64_t kMaxBlocksPerRead = 64;

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsEndKeyword(std::string_view card) {
  // The same case-blind test as SplitCards, so that both stop at one card.
  return UpperAscii(CardKeyword(card)) == "END";
}

// The value field of a card with a value indicator ("= " in columns 9 and
// 10), from column 11; nullopt for a commentary card.
std::optional<std::string_view> ValueField(std::string_view card) {
  if (card.size() < 10 || card[8] != '=') return std::nullopt;
  return card.substr(10);
}

// A quoted string starting at the first non-blank of `field`: '' stands for
// one quote, trailing blanks are dropped. An unterminated string runs to the
// end of the card.
std::optional<std::string> QuotedString(std::string_view field) {
  const auto start = field.find_first_not_of(' ');
  if (start == std::string_view::npos || field[start] != '\'') return std::nullopt;
  std::string out;
  for (std::size_t i = start + 1; i < field.size(); ++i) {
    if (field[i] == '\'') {
      if (i + 1 < field.size() && field[i + 1] == '\'') {
        out += '\'';
        ++i;
        continue;
      }
      break;
    }
    out += field[i];
  }
  out.erase(out.find_last_not_of(' ') + 1);
  return out;
}

// The whole of `field` before any comment, as a number.
std::optional<double> StrictNumber(std::string_view field) {
  const auto slash = field.find('/');
  std::string text(Trimmed(field.substr(0, slash)));
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  if (text.empty()) return std::nullopt;
  for (char& c : text) {
    if (c == 'D' || c == 'd') c = 'E';
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int64_t> StrictInteger(std::string_view field) {
  const auto slash = field.find('/');
  std::string_view text = Trimmed(field.substr(0, slash));
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) return value;
  const std::optional<double> number = StrictNumber(field);
  if (!number || *number != std::trunc(*number) || std::fabs(*number) >= 9223372036854775808.0) return std::nullopt;
  return static_cast<int64_t>(*number);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Where a header could not be read to its END card.
enum class HeaderEnd { kFound, kWrongStart, kNoEnd, kTooManyCards, kReadFailed };

struct RawHeader {
  std::string text;      // whole cards, END included
  int64_t cards = 0;     // cards up to and including END
  std::string error;     // the system's reason for a failed read
};

// Reads the header at `offset` block by block up to its END card. The first
// card must be named `first_keyword`.
HeaderEnd ReadRawHeader(ByteSource& source, int64_t offset, std::string_view first_keyword, int64_t max_cards,
                        RawHeader& out) {
  const int64_t size = source.Size();
  int64_t pos = offset;
  int64_t blocks = 1;
  int64_t scanned = 0;
  while (true) {
    if (pos >= size) return HeaderEnd::kNoEnd;
    const int64_t length = std::min(blocks * kBlock, size - pos);
    const std::size_t old = out.text.size();
    out.text.resize(old + static_cast<std::size_t>(length));
    if (!source.Read(pos, length, reinterpret_cast<unsigned char*>(out.text.data() + old), out.error))
      return HeaderEnd::kReadFailed;
    pos += length;
    if (scanned == 0 && CardKeyword(std::string_view(out.text).substr(0, 8)) != first_keyword)
      return HeaderEnd::kWrongStart;
    const auto whole = static_cast<int64_t>(out.text.size()) / kCard;
    for (; scanned < whole; ++scanned) {
      if (scanned >= max_cards) return HeaderEnd::kTooManyCards;
      if (IsEndKeyword(std::string_view(out.text).substr(static_cast<std::size_t>(scanned * kCard), kCard))) {
        out.cards = scanned + 1;
        out.text.resize(static_cast<std::size_t>(out.cards * kCard));
        return HeaderEnd::kFound;
      }
    }
    blocks = std::min(blocks * 2, kMaxBlocksPerRead);
  }
}

class Walker {
 public:
  Walker(ByteSource& source, const HduLimits& limits) : source_(source), limits_(limits) {}

  HduList Run() {
    int64_t offset = 0;
    const int64_t size = source_.Size();
    if (size == 0) Fault("The file is empty.");
    while (offset < size) {
      const int index = static_cast<int>(list_.hdus.size());
      if (index >= limits_.max_hdus) {
        list_.note = "The file holds more than " + std::to_string(limits_.max_hdus) +
                     " HDUs; those after HDU " + std::to_string(limits_.max_hdus - 1) + " are not listed.";
        break;
      }
      std::optional<Hdu> hdu = ReadHdu(index, offset);
      if (!hdu) break;
      offset = hdu->data_offset + (hdu->data_size + kBlock - 1) / kBlock * kBlock;
      list_.hdus.push_back(std::move(*hdu));
    }
    return std::move(list_);
  }

 private:
  void Fault(const std::string& text) {
    list_.note = text;
    list_.faulty = true;
  }

  std::optional<Hdu> ReadHdu(int index, int64_t offset) {
    const std::string where = "HDU " + std::to_string(index) + " (at byte " + std::to_string(offset) + ")";
    RawHeader raw;
    const int64_t max_cards = std::min(limits_.max_header_cards, limits_.max_total_cards - total_cards_);
    switch (ReadRawHeader(source_, offset, index == 0 ? "SIMPLE" : "XTENSION", max_cards, raw)) {
      case HeaderEnd::kFound:
        break;
      case HeaderEnd::kWrongStart:
        if (index == 0) {
          Fault("The file does not begin with a SIMPLE card: it is not a FITS file.");
        } else {
          list_.note = "The " + std::to_string(source_.Size() - offset) + " bytes after HDU " +
                       std::to_string(index - 1) + " do not begin with an XTENSION card and are ignored.";
        }
        return std::nullopt;
      case HeaderEnd::kNoEnd:
        Fault("The header of " + where + " has no END card before the file ends.");
        return std::nullopt;
      case HeaderEnd::kTooManyCards:
        if (max_cards < limits_.max_header_cards) {
          list_.note = "The headers of the file hold more than " + std::to_string(limits_.max_total_cards) +
                       " cards; the HDUs from HDU " + std::to_string(index) + " on are not listed.";
        } else {
          Fault("The header of " + where + " has no END card within its first " + std::to_string(max_cards) +
                " cards.");
        }
        return std::nullopt;
      case HeaderEnd::kReadFailed:
        Fault("The header of " + where + " cannot be read: " + raw.error + ".");
        return std::nullopt;
    }
    total_cards_ += raw.cards;

    Hdu hdu;
    hdu.index = index;
    hdu.header_offset = offset;
    hdu.data_offset = offset + (raw.cards * kCard + kBlock - 1) / kBlock * kBlock;
    hdu.header = HduHeader(SplitCards(raw.text, raw.cards));
    const HduHeader& h = hdu.header;
    if (index > 0) {
      hdu.xtension = h.String("XTENSION").value_or("");
      hdu.kind = hdu.xtension == "IMAGE"      ? HduKind::kImage
                 : hdu.xtension == "BINTABLE" ? HduKind::kBinaryTable
                                              : HduKind::kOther;
    }
    hdu.extname = h.String("EXTNAME").value_or("");
    hdu.extver = h.Integer("EXTVER").value_or(1);
    const std::string name = DescribeHdu(hdu);

    const std::optional<int64_t> bitpix = h.Integer("BITPIX");
    if (!bitpix || (*bitpix != 8 && *bitpix != 16 && *bitpix != 32 && *bitpix != 64 && *bitpix != -32 &&
                    *bitpix != -64)) {
      Fault("The header of " + name + (bitpix ? " gives BITPIX = " + std::to_string(*bitpix) + ", which is not"
                                              : " has no BITPIX card with") +
            " a FITS sample type (8, 16, 32, 64, -32 or -64).");
      return std::nullopt;
    }
    hdu.bitpix = static_cast<int>(*bitpix);
    const std::optional<int64_t> naxis = h.Integer("NAXIS");
    if (!naxis || *naxis < 0 || *naxis > 999) {
      Fault("The header of " + name + " has no NAXIS card with a number of axes from 0 to 999.");
      return std::nullopt;
    }
    for (int64_t k = 1; k <= *naxis; ++k) {
      const std::string keyword = "NAXIS" + std::to_string(k);
      const std::optional<int64_t> length = h.Integer(keyword);
      if (!length || *length < 0) {
        Fault("The header of " + name + " has no " + keyword + " card with a length of 0 or more.");
        return std::nullopt;
      }
      hdu.axes.push_back(*length);
    }
    const auto count = [&](const char* keyword, int64_t fallback, int64_t& field) {
      const std::optional<int64_t> value = h.Has(keyword) ? h.Integer(keyword) : fallback;
      if (!value || *value < 0) {
        Fault("The header of " + name + " gives " + keyword + " a value that is not a count of 0 or more.");
        return false;
      }
      field = *value;
      return true;
    };
    if (!count("PCOUNT", 0, hdu.pcount) || !count("GCOUNT", 1, hdu.gcount)) return std::nullopt;
    if (!CheckDataSize(hdu)) return std::nullopt;
    return hdu;
  }

  // |BITPIX|/8 x GCOUNT x (PCOUNT + NAXIS1 x ... x NAXISn) bytes must lie in
  // the file; the padding of the last HDU may be missing. (Random groups,
  // NAXIS1 = 0 with GROUPS = T in the primary, leave NAXIS1 out of the product.)
  bool CheckDataSize(Hdu& hdu) {
    const int64_t available = std::max<int64_t>(0, source_.Size() - hdu.data_offset);
    const bool groups = hdu.index == 0 && !hdu.axes.empty() && hdu.axes[0] == 0 &&
                        hdu.header.Logical("GROUPS").value_or(false);
    int64_t elements = hdu.axes.empty() ? 0 : 1;
    bool overflow = false;
    if (std::find(hdu.axes.begin() + (groups ? 1 : 0), hdu.axes.end(), 0) != hdu.axes.end()) elements = 0;
    for (std::size_t k = groups ? 1 : 0; k < hdu.axes.size() && elements != 0; ++k)
      overflow |= __builtin_mul_overflow(elements, hdu.axes[k], &elements);
    int64_t bytes = 0;
    overflow = overflow || __builtin_add_overflow(elements, hdu.pcount, &bytes) ||
               __builtin_mul_overflow(bytes, hdu.gcount, &bytes) ||
               __builtin_mul_overflow(bytes, std::abs(hdu.bitpix) / 8, &bytes);
    if (!overflow && bytes <= available) {
      hdu.data_size = bytes;
      return true;
    }
    std::string axes;
    for (std::size_t k = 0; k < hdu.axes.size(); ++k) axes += (k ? " x " : "") + std::to_string(hdu.axes[k]);
    Fault(DescribeHdu(hdu) + " declares " + (overflow ? "more than 2^63" : std::to_string(bytes)) +
          " bytes of data (BITPIX = " + std::to_string(hdu.bitpix) + ", NAXIS = " + (axes.empty() ? "0" : axes) +
          ", PCOUNT = " + std::to_string(hdu.pcount) + ", GCOUNT = " + std::to_string(hdu.gcount) +
          "), but the file holds only " + std::to_string(available) + " bytes after its header.");
    return false;
  }

  ByteSource& source_;
  const HduLimits& limits_;
  HduList list_;
  int64_t total_cards_ = 0;
};

}  // namespace

HduHeader::HduHeader(HeaderCards cards) : cards_(std::move(cards)) {
  for (int64_t n = cards_.LookupCount(); n >= 1; --n) first_[cards_.keywords[static_cast<std::size_t>(n)]] = n;
}

int64_t HduHeader::CardIndex(std::string_view keyword) const {
  const auto found = first_.find(keyword);
  return found == first_.end() ? 0 : found->second;
}

std::optional<std::string> HduHeader::String(std::string_view keyword) const {
  int64_t n = CardIndex(keyword);
  if (n == 0) return std::nullopt;
  const std::optional<std::string_view> field = ValueField(cards_.cards[static_cast<std::size_t>(n)]);
  if (!field) return std::nullopt;
  std::optional<std::string> value = QuotedString(*field);
  // A long string: '&' at its end continues it on the next CONTINUE card.
  while (value && !value->empty() && value->back() == '&' && n + 1 <= cards_.LookupCount() &&
         cards_.keywords[static_cast<std::size_t>(n + 1)] == "CONTINUE") {
    ++n;
    const std::string& card = cards_.cards[static_cast<std::size_t>(n)];
    const std::optional<std::string> more = QuotedString(std::string_view(card).substr(std::min<std::size_t>(card.size(), 8)));
    if (!more) break;
    value->pop_back();
    *value += *more;
  }
  return value;
}

std::optional<double> HduHeader::Number(std::string_view keyword) const {
  const int64_t n = CardIndex(keyword);
  if (n == 0) return std::nullopt;
  const std::optional<std::string_view> field = ValueField(cards_.cards[static_cast<std::size_t>(n)]);
  return field ? StrictNumber(*field) : std::nullopt;
}

std::optional<int64_t> HduHeader::Integer(std::string_view keyword) const {
  const int64_t n = CardIndex(keyword);
  if (n == 0) return std::nullopt;
  const std::optional<std::string_view> field = ValueField(cards_.cards[static_cast<std::size_t>(n)]);
  return field ? StrictInteger(*field) : std::nullopt;
}

std::optional<bool> HduHeader::Logical(std::string_view keyword) const {
  const int64_t n = CardIndex(keyword);
  if (n == 0) return std::nullopt;
  const std::optional<std::string_view> field = ValueField(cards_.cards[static_cast<std::size_t>(n)]);
  if (!field) return std::nullopt;
  const std::string_view text = Trimmed(field->substr(0, field->find('/')));
  if (text == "T") return true;
  if (text == "F") return false;
  return std::nullopt;
}

std::string DescribeHdu(const Hdu& hdu) {
  std::string text = "HDU " + std::to_string(hdu.index) + " (";
  text += hdu.index == 0 ? "primary" : hdu.xtension.empty() ? "extension" : hdu.xtension;
  if (!hdu.extname.empty()) text += " " + Quoted(hdu.extname);
  if (hdu.extver != 1) text += ", EXTVER " + std::to_string(hdu.extver);
  return text + ")";
}

HduList ListHdus(ByteSource& source, const HduLimits& limits) { return Walker(source, limits).Run(); }

}  // namespace quillon
