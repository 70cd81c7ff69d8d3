#include "fits/header_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/fits_writer.h"

namespace quillon {
namespace {

using testing::Card;

TEST(TextCardCountTest, RoundsHalvesToEven) {
  struct Case {
    int64_t length;
    int64_t cards;
  };
  const Case cases[] = {
      {0, 0},     {39, 0},    {40, 0},    {41, 1},    {80, 1},    {120, 2},   {200, 2},
      {2800, 35}, {2840, 36}, {2880, 36}, {2920, 36}, {2921, 37}, {3000, 38},
  };
  for (const Case& c : cases) EXPECT_EQ(TextCardCount(c.length), c.cards) << "length " << c.length;
}

TEST(CardFieldsTest, KeywordAndValue) {
  struct Case {
    std::string card;
    std::string keyword;
    std::string value;
  };
  const Case cases[] = {
      {Card("BITPIX  =                   16 / bits per sample"), "BITPIX", "16"},
      {Card("NAXIS1  =                 3000"), "NAXIS1", "3000"},
      {Card("OBJECT  = 'HD 12/34 '           / target"), "OBJECT", "'HD 12"},
      {Card("OBJECT  = 'Vega  '"), "OBJECT", "'Vega  '"},
      {Card("  LEAD  = 5"), "  LEAD", "5"},
      {Card("lower   = 7"), "lower", "7"},
      {Card("COMMENT this is text"), "COMMENT", "his is text"},
      {Card("LONGKEYWORD= 3"), "LONGKEYW", "RD= 3"},
      {Card("EMPTY   =           / nothing"), "EMPTY", ""},
      {"SHORT", "SHORT", ""},
      {"KEY     = 12", "KEY", "12"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CardKeyword(c.card), c.keyword) << c.card;
    EXPECT_EQ(CardValue(c.card), c.value) << c.card;
  }
}

TEST(LenientNumberTest, LongestLeadingDecimalNumber) {
  struct Case {
    std::string text;
    double value;
  };
  const Case cases[] = {
      {"16", 16},          {"  -32", -32},          {"+4.5", 4.5},      {".5", 0.5},
      {"3.", 3},           {"1E3", 1000},           {"1.5e-2", 0.015},  {"2.5D+03", 2500},
      {"7d1", 70},         {"1E", 1},               {"1E+", 1},         {"12abc", 12},
      {"T", 0},            {"'16'", 0},             {"", 0},            {"-", 0},
      {".", 0},            {"4000.123456789012", 4000.123456789012}, {"1 2", 1},
      {"0.1", 0.1},        {"1e-400", 0},           {"-0", 0},
  };
  for (const Case& c : cases) {
    const LenientNumber number = ParseLenientNumber(c.text);
    EXPECT_TRUE(number.finite) << c.text;
    EXPECT_EQ(number.value, c.value) << c.text;
  }
  EXPECT_FALSE(ParseLenientNumber("1E400").finite);
  EXPECT_FALSE(ParseLenientNumber("-9D999").finite);
  EXPECT_TRUE(std::signbit(ParseLenientNumber("-0.0").value));
}

TEST(DataOffsetTest, BlockAfterTheEndCard) {
  struct Case {
    int64_t header_line_count;
    int64_t offset;
  };
  const Case cases[] = {{0, 2880}, {1, 2880}, {35, 2880}, {36, 5760}, {71, 5760}, {72, 8640}, {32767, 2623680}};
  for (const Case& c : cases) EXPECT_EQ(DataOffsetFor(c.header_line_count), c.offset) << c.header_line_count;
}

TEST(SplitCardsTest, StopsAtEndWrittenInAnyCase) {
  const std::string text = Card("SIMPLE  = T") + Card("BITPIX  = 16") + Card("end") + Card("NAXIS   = 1");
  const HeaderCards header = SplitCards(text, TextCardCount(static_cast<int64_t>(text.size())));
  EXPECT_TRUE(header.end_found);
  EXPECT_EQ(header.header_line_count, 2);
  ASSERT_EQ(header.cards.size(), 4u);  // index 0, two cards, the END card
  EXPECT_EQ(header.keywords[3], "end");
  EXPECT_EQ(header.values[3], "");
  EXPECT_FALSE(header.LastValue("NAXIS"));
}

TEST(SplitCardsTest, WithoutEndEveryCardIsLookedUpAndAShortLastCardIsKept) {
  const std::string text = Card("SIMPLE  = T") + Card("BITPIX  = 16") + std::string("NAXIS1  =  300") +
                           std::string(31, ' ');  // 45 characters: rounds up
  const HeaderCards header = SplitCards(text, TextCardCount(static_cast<int64_t>(text.size())));
  EXPECT_FALSE(header.end_found);
  EXPECT_EQ(header.header_line_count, 0);
  EXPECT_EQ(header.LookupCount(), 3);
  EXPECT_EQ(header.cards[3].size(), 45u);
  EXPECT_EQ(header.LastValue("NAXIS1"), "300");
}

TEST(SplitCardsTest, LastMatchWinsFirstMatchForObject) {
  const std::string text = Card("SIMPLE  = T") + Card("OBJECT  = 'first'") + Card("CRVAL1  = 1") +
                           Card("OBJECT  = 'second'") + Card("CRVAL1  = 2") + Card("crval1  = 3") + Card("END");
  const HeaderCards header = SplitCards(text, 7);
  EXPECT_EQ(header.LastValue("CRVAL1"), "2");
  EXPECT_EQ(header.FirstValue("OBJECT"), "'first'");
  EXPECT_EQ(header.LastValue("OBJECT"), "'second'");
  EXPECT_EQ(header.LastValue("crval1"), "3");
  EXPECT_FALSE(header.LastValue("CRVAL"));
}

}  // namespace
}  // namespace quillon
