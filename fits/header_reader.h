#pragma once
// The FITS header as the loader reads it: the text up to the first byte 13,
// 80-character cards, keyword and value fields, lenient numbers, the END
// search and the offset of the data block.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

/// Number of cards in a header text of `length` characters: length / 80,
/// rounded to the nearest whole number with halves to the even neighbour
/// (2840 and 2920 characters both give 36).
int64_t TextCardCount(int64_t length);

/// Keyword of a card: its first 8 characters with trailing blanks removed,
/// case kept (fewer when the card is shorter).
std::string CardKeyword(std::string_view card);

/// Value of a card: columns 10..80 up to the first "/" (even inside quotes),
/// leading and trailing blanks removed; quotes stay part of the value.
std::string CardValue(std::string_view card);

/// Result of reading a value as a number.
struct LenientNumber {
  double value = 0;     ///< the number; 0 when the text holds none
  bool finite = true;   ///< false when the written number is beyond the double range
};

/// Reads the longest leading decimal number of `text` (leading blanks
/// skipped; sign, digits, decimal point, exponent with E or D). A text
/// without one (a logical, a quoted string) gives 0. Independent of the
/// process locale.
LenientNumber ParseLenientNumber(std::string_view text);

/// 0-based offset of the first data byte: the start of the 2880-byte block
/// after the one holding the END card; 2880 when there is no END card.
int64_t DataOffsetFor(int64_t header_line_count);

/// The cards of one header as read from a file, index 0 unused as in the
/// slot's tables.
struct HeaderCards {
  std::vector<std::string> cards{1};     ///< cards as found, END card included when found
  std::vector<std::string> keywords{1};  ///< keyword of each stored card
  std::vector<std::string> values{1};    ///< value of each card ("" for the END card)
  bool end_found = false;
  int64_t header_line_count = 0;  ///< cards before END; 0 without END
  /// Cards that lookups go through: 1..header_line_count with END, every
  /// stored card without.
  int64_t LookupCount() const {
    return end_found ? header_line_count : static_cast<int64_t>(keywords.size()) - 1;
  }
  /// Value of the last card whose keyword equals `name` exactly (case kept,
  /// no trimming); nullopt when none matches.
  std::optional<std::string> LastValue(const std::string& name) const;
  /// Value of the first matching card (OBJECT).
  std::optional<std::string> FirstValue(const std::string& name) const;
};

/// Splits `text` (the header text, or a leading part of it that holds the
/// END card) into cards 1..`card_count`, stopping after a card whose
/// keyword, in upper case, is "END".
HeaderCards SplitCards(std::string_view text, int64_t card_count);

}  // namespace quillon
