#include "fits/header_reader.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "base/ascii_text.h"

namespace quillon {

namespace {

constexpr int64_t kCardLength = 80;
constexpr int64_t kBlockLength = 2880;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// strtod follows LC_NUMERIC, which a Qt program sets from the user's
// environment; header numbers always use a point.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

int64_t TextCardCount(int64_t length) {
  if (length <= 0) return 0;
  const int64_t whole = length / kCardLength;
  const int64_t rest = length % kCardLength;
  // A half (40 characters left) goes to the even neighbour.
  const bool round_up = rest > kCardLength / 2 || (rest == kCardLength / 2 && whole % 2 == 1);
  return whole + (round_up ? 1 : 0);
}

std::string CardKeyword(std::string_view card) {
  std::string_view keyword = card.substr(0, 8);
  const auto last = keyword.find_last_not_of(' ');
  return std::string(last == std::string_view::npos ? std::string_view{} : keyword.substr(0, last + 1));
}

std::string CardValue(std::string_view card) {
  if (card.size() <= 9) return {};
  std::string_view field = card.substr(9, 71);
  const auto slash = field.find('/');
  if (slash != std::string_view::npos) field = field.substr(0, slash);
  return std::string(TrimBlanks(field));
}

LenientNumber ParseLenientNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::string number;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) number += text[pos++];
  std::size_t digits = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    number += text[pos++];
    ++digits;
  }
  if (pos < text.size() && text[pos] == '.') {
    number += text[pos++];
    while (pos < text.size() && IsDigit(text[pos])) {
      number += text[pos++];
      ++digits;
    }
  }
  if (digits == 0) return {};
  // The exponent counts only when at least one digit follows the letter
  // (and its sign); FITS writes double-precision exponents with D.
  if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' || text[pos] == 'd')) {
    std::size_t look = pos + 1;
    std::string exponent = "E";
    if (look < text.size() && (text[look] == '+' || text[look] == '-')) exponent += text[look++];
    if (look < text.size() && IsDigit(text[look])) {
      while (look < text.size() && IsDigit(text[look])) exponent += text[look++];
      number += exponent;
    }
  }
  const double value = strtod_l(number.c_str(), nullptr, CLocale());
  // Overflow gives +-HUGE_VAL (infinity); underflow gives 0 or a subnormal, which is the number.
  if (!std::isfinite(value)) return {0, false};
  return {value, true};
}

int64_t DataOffsetFor(int64_t header_line_count) {
  return kBlockLength * ((kCardLength * header_line_count + 3) / kBlockLength + 1);
}

std::optional<std::string> HeaderCards::LastValue(const std::string& name) const {
  for (int64_t n = LookupCount(); n >= 1; --n) {
    if (keywords[static_cast<std::size_t>(n)] == name) return values[static_cast<std::size_t>(n)];
  }
  return std::nullopt;
}

std::optional<std::string> HeaderCards::FirstValue(const std::string& name) const {
  for (int64_t n = 1; n <= LookupCount(); ++n) {
    if (keywords[static_cast<std::size_t>(n)] == name) return values[static_cast<std::size_t>(n)];
  }
  return std::nullopt;
}

HeaderCards SplitCards(std::string_view text, int64_t card_count) {
  HeaderCards header;
  for (int64_t n = 1; n <= card_count; ++n) {
    const auto start = static_cast<std::size_t>((n - 1) * kCardLength);
    const std::string_view card = start < text.size() ? text.substr(start, kCardLength) : std::string_view{};
    std::string keyword = CardKeyword(card);
    header.cards.emplace_back(card);
    // The END test is the reader's only case-blind comparison.
    const bool end = UpperAscii(keyword) == "END";
    header.keywords.push_back(std::move(keyword));
    if (end) {
      header.values.emplace_back();
      header.end_found = true;
      header.header_line_count = n - 1;
      return header;
    }
    header.values.push_back(CardValue(card));
  }
  return header;
}

}  // namespace quillon
