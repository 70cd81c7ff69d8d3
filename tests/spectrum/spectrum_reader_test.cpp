#include "spectrum/spectrum_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fits/header_reader.h"
#include "fits/sample_decoder.h"
#include "spectrum/spectrum_statistics.h"
#include "spectrum/level_summary.h"
#include "session/slot_loading.h"
#include "support/fits_writer.h"
#include "support/plot_test_support.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

const std::string kSimple = "SIMPLE  =                    T";

std::string NumberCard(const std::string& keyword, const std::string& value) {
  std::string card = keyword;
  card.resize(8, ' ');
  return card + "= " + value;
}

std::vector<std::string> Plus(std::vector<std::string> cards, const std::vector<std::string>& more) {
  cards.insert(cards.end(), more.begin(), more.end());
  return cards;
}

// The cards of a plain one-dimensional spectrum, then `extra`; a keyword
// repeated in `extra` overrides the standard one (the last card wins).
std::vector<std::string> SpectrumCards(int bitpix, const std::string& naxis1, const std::vector<std::string>& extra) {
  return Plus({kSimple, NumberCard("BITPIX", std::to_string(bitpix)), NumberCard("NAXIS", "1"),
               NumberCard("NAXIS1", naxis1)},
              extra);
}

const std::vector<std::string> kCalibration = {"CRVAL1  = 5000", "CD1_1   = 1.5"};

// Samples 1, 2, ..., n: up to 140 no byte of them is 13.
std::vector<double> Ramp(int n) {
  std::vector<double> values;
  for (int i = 1; i <= n; ++i) values.push_back(i);
  return values;
}

std::string FloatRamp(int n) { return testing::BigEndianSamples(-32, Ramp(n)); }

// Each writes a file into `dir` and returns its name.
std::string Write(const fs::path& dir, const std::string& name, const std::string& bytes) {
  testing::WriteBytes(dir / name, bytes);
  return name;
}

std::string Write(const fs::path& dir, const std::string& name, const std::vector<std::string>& cards,
                  const std::string& data, bool with_end = true) {
  return Write(dir, name, testing::HeaderBlocks(cards, with_end) + data);
}

// A sound ten-sample spectrum with card `index` replaced.
std::string WithCard(const fs::path& dir, const std::string& name, std::size_t index, const std::string& card) {
  std::vector<std::string> cards = SpectrumCards(-32, "10", kCalibration);
  cards.at(index) = card;
  return Write(dir, name, cards, FloatRamp(10));
}

// Filler cards that no lookup asks for.
std::vector<std::string> Fillers(int count) {
  std::vector<std::string> cards;
  for (int i = 0; i < count; ++i) cards.push_back("COMMENT filler card " + std::to_string(i));
  return cards;
}

// A CFITSIO image of `raw` with the two default calibration cards.
testing::FitsImage Image(int bitpix, std::vector<double> raw, double lambda0 = 4000, double dispersion = 1) {
  testing::FitsImage image;
  image.bitpix = bitpix;
  image.raw = std::move(raw);
  image.crval1 = lambda0;
  image.cd1_1 = dispersion;
  return image;
}

std::vector<double> WithUnusedZero(const std::vector<double>& values) {
  std::vector<double> out{0.0};
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

class LoaderTest : public ::testing::Test {
 protected:
  LoaderTest() : keep_cwd_(fs::current_path()) { state_.FitsDirectory = dir_.path().string(); }

  FitsLoadDetails Load(int16_t slot, const std::string& name) {
    state_.Slots[slot].file_name = name;
    return LoadFitsSpectrum(state_, slot, rec_, rec_, rec_);
  }

  void WriteImage(const std::string& name, const testing::FitsImage& image) { testing::WriteFits(dir_ / name, image); }

  // A -32 spectrum of samples 1..n from `lambda0` in steps of `dispersion`.
  void WriteSpectrum(const std::string& name, double lambda0, double dispersion, int n) {
    WriteImage(name, Image(-32, Ramp(n), lambda0, dispersion));
  }

  // Calls to the windows other than message boxes.
  std::vector<std::string> WindowCalls() const {
    std::vector<std::string> calls;
    for (const std::string& call : rec_.calls)
      if (call.rfind("ShowMessage ", 0) != 0) calls.push_back(call);
    return calls;
  }

  void Forget() {
    rec_.messages.clear();
    rec_.calls.clear();
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir keep_cwd_;  // the loader enters the folder
  SharedState state_;
  testing::RecordingServices rec_;
};

// ---- Sound files written by CFITSIO ----------------------------------------

struct SoundCase {
  const char* name;
  int bitpix;
  std::optional<double> bzero;
  std::optional<double> bscale;
  std::vector<double> stored;
  std::vector<double> decoded;  ///< the first row of a 2-D image
  bool signed_warning;
  long naxis2 = 0;
  const char* image_warning = nullptr;  ///< the one warning of a file with more than one row
};

void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

class SoundFileTest : public LoaderTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SoundFileTest, DecodesTheStoredValuesLevelsThemAndPublishesTheSlot) {
  const SoundCase& c = GetParam();
  testing::FitsImage image = Image(c.bitpix, c.stored, 4000, 2.5);
  image.bzero = c.bzero;
  image.bscale = c.bscale;
  image.object = "HD 209458 b";
  image.naxis2 = c.naxis2;
  WriteImage("sound.fts", image);
  const FitsLoadDetails details = Load(5, "sound.fts");

  std::vector<std::string> expected_messages =
      c.signed_warning ? std::vector<std::string>{kSignedSixteenMessage} : std::vector<std::string>{};
  if (c.image_warning) expected_messages.push_back(c.image_warning);
  EXPECT_EQ(rec_.messages, expected_messages);
  ASSERT_TRUE(details.published);
  const auto n = static_cast<double>(c.decoded.size());
  EXPECT_EQ(SlotSpectrum(state_, 5).intensity, WithUnusedZero(c.decoded)) << "BZERO + BSCALE x stored";

  // Fewer than 50 samples make one block, whose maximum starts at 0.
  double norm = 0;
  for (double x : c.decoded) norm = std::max(norm, x);
  EXPECT_EQ(SlotSpectrum(state_, 5).norm, norm);
  std::vector<double> levelled;
  for (double x : c.decoded) levelled.push_back(100 * x / norm);
  EXPECT_EQ(SlotSpectrum(state_, 5).levelled, WithUnusedZero(levelled));
  EXPECT_EQ(SlotSpectrum(state_, 5).levelled_max, *std::max_element(levelled.begin(), levelled.end()));

  EXPECT_EQ(SlotHeader(state_, 5).object, "HD 209458 b");
  EXPECT_EQ(SlotHeader(state_, 5).bitpix, c.bitpix);
  EXPECT_EQ(SlotHeader(state_, 5).naxis1, n);
  EXPECT_EQ(SlotHeader(state_, 5).naxis2, c.naxis2);
  EXPECT_EQ(SlotHeader(state_, 5).lambda_start, 4000);
  EXPECT_EQ(SlotSpectrum(state_, 5).lambda_end, 4000 + 2.5 * n);
  const int16_t lines = SlotHeader(state_, 5).line_count;
  ASSERT_EQ(SlotHeader(state_, 5).cards.size(), static_cast<std::size_t>(lines) + 2);
  EXPECT_EQ(SlotHeader(state_, 5).keywords[1], "SIMPLE");
  EXPECT_EQ(CardKeyword(SlotHeader(state_, 5).cards[static_cast<std::size_t>(lines) + 1]), "END");
  EXPECT_EQ(details.data_offset, 2880);

  EXPECT_TRUE(state_.Slots[5].loaded);
  EXPECT_TRUE(state_.SpectraLoaded);
  EXPECT_EQ(WindowCalls(), std::vector<std::string>{"ShowLoadedRow 5"}) << "no redraw while the plot is closed";
}

INSTANTIATE_TEST_SUITE_P(
    Bitpix, SoundFileTest,
    ::testing::ValuesIn(std::vector<SoundCase>{
        {"Sixteen_Bzero32768_StoredPlus32768", 16, 32768.0, std::nullopt, {-32768, -1, 0, 1, 32767, 1200},
         {0, 32767, 32768, 32769, 65535, 33968}, false},
        // Physical values, BZERO + BSCALE x stored (before, BZERO only chose
        // the rule and BSCALE was ignored).
        {"Sixteen_Bzero1000_Bscale2_Physical", 16, 1000.0, 2.0, {-32768, -1, 0, 1, 32767, 1200},
         {-64536, 998, 1000, 1002, 66534, 3400}, false},
        // Signed, as every sky-subtracted spectrum needs (before, s + 65536).
        {"Sixteen_Bzero0_SignedWithWarning", 16, 0.0, std::nullopt, {-1, 1, 300, -32768, 32767},
         {-1, 1, 300, -32768, 32767}, true},
        {"Sixteen_NoBzero_SignedWithWarning", 16, std::nullopt, std::nullopt, {-1, 1, 300, -32768, 32767},
         {-1, 1, 300, -32768, 32767}, true},
        {"ThirtyTwo_Unsigned_Bzero2147483648", 32, 2147483648.0, std::nullopt, {-1, 256, 0, 2147483647, -2147483648.0},
         {2147483647, 2147483904, 2147483648.0, 4294967295.0, 0}, false},
        {"ThirtyTwo_Signed_NoBzero", 32, std::nullopt, std::nullopt, {-1, 256, 0, 2147483647, -2147483648.0},
         {-1, 256, 0, 2147483647, -2147483648.0}, false},
        {"ThirtyTwo_Scaled", 32, 2147483648.0, 3.0, {-1, 256, 0, 2147483647, -2147483648.0},
         {2147483645, 2147484416, 2147483648.0, 8589934589.0, -4294967296.0}, false},
        {"Single_Scaled", -32, 5.0, 10.0, {1.5, -2, 0.1, 3.4e37, 1e-45},
         {20, -15, 5 + 10 * static_cast<double>(0.1f), 5 + 10 * static_cast<double>(3.4e37f),
          5 + 10 * static_cast<double>(1e-45f)}, false},
        {"ThirtyTwo_TwoRows_FirstRowOnly", 32, std::nullopt, std::nullopt, {1, 2, 3, 4, 50, 60, 70, 80}, {1, 2, 3, 4},
         false, 2, "The file \"sound.fts\" holds a 4 x 2 image; only its first row is drawn."},
        {"Double", -64, std::nullopt, std::nullopt, {0.1, -3.25, 1e-300, 12345.678901234567, 4.9e-324},
         {0.1, -3.25, 1e-300, 12345.678901234567, 4.9e-324}, false},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoaderTest, LevelIsTheMedianOfFiftySampleBlockMaxima) {
  struct Case {
    const char* name;
    int count;
    double background;
    std::vector<std::pair<int, double>> peaks;  // sample number, value
    double norm;
  };
  const Case cases[] = {
      {"three blocks, the last of 20 samples", 120, 1, {{10, 7}, {75, 3}, {115, 9}}, 7},
      {"two blocks give the mean of their maxima; sample 50 ends block 1", 100, 1, {{50, 8}, {51, 3}}, 5.5},
      {"a block of negative samples has maximum 0", 100, -3, {{60, 10}}, 5},
      {"equal samples all read 100", 200, 200, {}, 200},
      {"a single sample", 1, 42, {}, 42},
  };
  int file = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> samples(static_cast<std::size_t>(c.count), c.background);
    for (const auto& [at, value] : c.peaks) samples[static_cast<std::size_t>(at) - 1] = value;
    const std::string name = "level" + std::to_string(++file) + ".fts";
    WriteImage(name, Image(-64, samples));
    Forget();
    ASSERT_TRUE(Load(1, name).published) << ::testing::PrintToString(rec_.messages);
    EXPECT_EQ(SlotSpectrum(state_, 1).norm, c.norm);
    std::vector<double> levelled;
    for (double x : samples) levelled.push_back(100 * x / c.norm);
    EXPECT_EQ(SlotSpectrum(state_, 1).levelled, WithUnusedZero(levelled));
    EXPECT_EQ(SlotSpectrum(state_, 1).levelled_max, *std::max_element(levelled.begin(), levelled.end()));
  }
  EXPECT_EQ(SlotSpectrum(state_, 1).levelled_max, 100);  // the single sample reads 100
}

TEST_F(LoaderTest, LoadsWidenTheDataRangeAndResetThePlottedRange) {
  WriteSpectrum("wide.fts", 4000, 2, 1000);
  ASSERT_TRUE(Load(1, "wide.fts").published);
  EXPECT_EQ(SlotHeader(state_, 1).lambda_start, 4000);
  EXPECT_EQ(SlotSpectrum(state_, 1).lambda_end, 6000);
  EXPECT_EQ(state_.DataLambdaMin, 4000);
  EXPECT_EQ(state_.DataLambdaMax, 6000);

  state_.PlotLambdaMin = 4500;  // zoomed in
  state_.PlotLambdaMax = 5000;
  WriteSpectrum("inside.fts", 4500, 1, 300);
  ASSERT_TRUE(Load(2, "inside.fts").published);
  EXPECT_EQ(state_.DataLambdaMin, 4000) << "a load only widens the data range";
  EXPECT_EQ(state_.DataLambdaMax, 6000);
  EXPECT_EQ(state_.PlotLambdaMin, 4000) << "the plotted range is the full data range again";
  EXPECT_EQ(state_.PlotLambdaMax, 6000);

  WriteSpectrum("below.fts", 3000, 0.5, 400);
  ASSERT_TRUE(Load(3, "below.fts").published);
  WriteSpectrum("above.fts", 6500, 1, 1000);
  ASSERT_TRUE(Load(4, "above.fts").published);
  EXPECT_EQ(state_.DataLambdaMin, 3000);
  EXPECT_EQ(state_.DataLambdaMax, 7500);
  EXPECT_EQ(state_.PlotLambdaMin, 3000);
  EXPECT_EQ(state_.PlotLambdaMax, 7500);
}

// Calls `probe` at each redraw, to see what the renderer would find.
class RedrawProbe : public PlotRedraw {
 public:
  explicit RedrawProbe(std::function<void()> probe) : probe_(std::move(probe)) {}
  void RenderPlot() override { probe_(); }

 private:
  std::function<void()> probe_;
};

TEST_F(LoaderTest, RedrawsAnOpenPlotOnceTheSlotIsPublished) {
  WriteSpectrum("star.fts", 4000, 2, 100);
  state_.PlotWindowOpen = true;
  state_.Slots[4].file_name = "star.fts";
  std::vector<std::string> seen;
  RedrawProbe probe([&] {
    seen.push_back(rec_.calls.empty() ? "" : rec_.calls.back());
    EXPECT_TRUE(state_.Slots[4].loaded && state_.SpectraLoaded);
    EXPECT_EQ(SlotSpectrum(state_, 4).levelled.size(), 101u);
  });
  LoadFitsSpectrum(state_, 4, rec_, rec_, probe);
  EXPECT_EQ(seen, std::vector<std::string>{"ShowLoadedRow 4"}) << "one redraw, after the row";
  EXPECT_TRUE(rec_.messages.empty());
}

TEST_F(LoaderTest, DataStartsInTheBlockAfterTheOneHoldingEnd) {
  testing::FitsImage image = Image(-32, Ramp(10));
  WriteImage("probe.fts", image);
  ASSERT_TRUE(Load(1, "probe.fts").published);
  const int own_cards = SlotHeader(state_, 1).line_count;  // the cards CFITSIO writes itself
  ASSERT_LE(own_cards, 35);

  struct Case {
    int cards;
    int64_t offset;
  };
  for (const Case& c : {Case{35, 2880}, Case{36, 5760}, Case{71, 5760}, Case{72, 8640}}) {
    SCOPED_TRACE(c.cards);
    image.extra_cards = Fillers(c.cards - own_cards);
    WriteImage("cards.fts", image);
    const FitsLoadDetails details = Load(2, "cards.fts");
    ASSERT_TRUE(details.published);
    EXPECT_EQ(SlotHeader(state_, 2).line_count, c.cards);
    EXPECT_EQ(details.data_offset, c.offset);
    EXPECT_EQ(SlotSpectrum(state_, 2).intensity, WithUnusedZero(Ramp(10)));
  }
}

// ---- Header rules on hand-made bytes ---------------------------------------

TEST_F(LoaderTest, OnlyAFirstKeywordOfExactlySimpleIsAccepted) {
  struct Case {
    std::string first_card;
    std::string keyword;
  };
  const Case cases[] = {{"simple  =                    T", "simple"},
                        {"SIMPLEX =                    T", "SIMPLEX"},
                        {" SIMPLE =                    T", " SIMPLE"},
                        {"XTENSION= 'IMAGE   '", "XTENSION"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_card);
    Forget();
    EXPECT_FALSE(Load(1, WithCard(dir_.path(), "other.fts", 0, c.first_card)).published);
    EXPECT_EQ(rec_.messages, std::vector<std::string>{kNotFitsMessage});
    EXPECT_EQ(SlotHeader(state_, 1).keywords[1], c.keyword);
    EXPECT_FALSE(state_.Slots[1].loaded);
  }
  Forget();
  EXPECT_TRUE(Load(1, WithCard(dir_.path(), "false.fts", 0, "SIMPLE  =                    F")).published)
      << "the value of SIMPLE is not examined";
  EXPECT_TRUE(rec_.messages.empty());
}

// Six cards, an END card spelt as given (or none), a CRVAL1 card after it and
// 20 samples make a file of 2960 bytes. Without END every card of the header
// text is looked up; the data start at 2880 all the same.
TEST_F(LoaderTest, EndInAnyCaseAndTheFirstCarriageReturnEndTheCards) {
  struct Case {
    const char* name;
    const char* end;  // nullptr: no END card
    int64_t cut;      // offset of a byte 13, -1 for none
    int64_t text_cards;
    int16_t header_lines;
    double lambda0;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"END: the card after it is not looked up", "END", -1, 37, 6, 5000, {}},
      {"end in lower case", "end", -1, 37, 6, 5000, {}},
      {"End in mixed case", "End", -1, 37, 6, 5000, {}},
      {"no END: every card of the text, the last CRVAL1 wins", nullptr, -1, 37, 0, 9999, {}},
      {"byte 13 inside the CRVAL1 card: four cards, no END", "END", 325, 4, 0, 0,
       {kNoLambda0Message, kNoDispersionMessage}},
      {"2840 characters give 36 cards", "END", 2840, 36, 6, 5000, {}},
      {"2920 characters also give 36 cards", "END", 2920, 36, 6, 5000, {}},
      {"2921 characters give 37 cards", "END", 2921, 37, 6, 5000, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> cards = SpectrumCards(-32, "20", kCalibration);
    if (c.end != nullptr) cards.push_back(c.end);
    cards.push_back("CRVAL1  = 9999");
    std::string bytes = testing::HeaderBlocks(cards, /*with_end=*/false) + FloatRamp(20);
    if (c.cut >= 0) bytes[static_cast<std::size_t>(c.cut)] = 13;
    Write(dir_.path(), "cut.fts", bytes);
    Forget();
    const FitsLoadDetails details = Load(1, "cut.fts");
    EXPECT_TRUE(details.published);
    EXPECT_EQ(details.text_card_count, c.text_cards);
    EXPECT_EQ(SlotHeader(state_, 1).line_count, c.header_lines);
    const int64_t kept = c.header_lines > 0 ? c.header_lines + 1 : c.text_cards;  // END card included
    EXPECT_EQ(SlotHeader(state_, 1).cards.size(), static_cast<std::size_t>(kept) + 1);
    if (c.header_lines > 0) {
      EXPECT_EQ(SlotHeader(state_, 1).keywords.back(), c.end);
    }
    EXPECT_EQ(details.data_offset, 2880);
    EXPECT_EQ(SlotHeader(state_, 1).lambda0, c.lambda0);
    EXPECT_EQ(rec_.messages, c.messages);
  }
}

struct LookupCase {
  const char* name;
  std::vector<std::string> cards;  // after SIMPLE, BITPIX = -32, NAXIS = 1, NAXIS1 = 60
  double lambda0;
  double dispersion;
  double naxis1;
  std::string object;
  std::vector<std::string> messages;
  std::string lambda0_keyword = "CRVAL1";
  std::string dispersion_keyword = "CD1_1";
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class HeaderLookupTest : public LoaderTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(HeaderLookupTest, FindsTheValuesAndWarnsInOrder) {
  const LookupCase& c = GetParam();
  state_.KeywordLambda0 = c.lambda0_keyword;
  state_.KeywordDispersion = c.dispersion_keyword;
  auto previous = std::make_shared<SpectrumHeader>();
  previous->object = "previous object";
  state_.Slots[1].header = previous;
  Write(dir_.path(), "lookup.fts", SpectrumCards(-32, "60", c.cards), FloatRamp(60));
  ASSERT_TRUE(Load(1, "lookup.fts").published);
  EXPECT_EQ(rec_.messages, c.messages);
  EXPECT_EQ(SlotHeader(state_, 1).lambda0, c.lambda0);
  EXPECT_EQ(SlotHeader(state_, 1).dispersion, c.dispersion);
  EXPECT_EQ(SlotHeader(state_, 1).naxis1, c.naxis1);
  EXPECT_EQ(SlotHeader(state_, 1).object, c.object);
  EXPECT_EQ(SlotHeader(state_, 1).lambda_start, c.lambda0);
  EXPECT_EQ(SlotSpectrum(state_, 1).lambda_end, c.lambda0 + c.dispersion * c.naxis1);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity.size(), static_cast<std::size_t>(std::nearbyint(c.naxis1)) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, HeaderLookupTest,
    ::testing::ValuesIn(std::vector<LookupCase>{
        {"RepeatedKeywordTakesItsLastCard", {"CRVAL1  = 4000", "CD1_1   = 1", "CRVAL1  = 6000", "CD1_1   = 2"},
         6000, 2, 60, "", {}},
        {"ObjectTakesItsFirstCard", {"OBJECT  = 'first star'", "CRVAL1  = 5000", "OBJECT  = 'second star'",
         "CD1_1   = 1.5"}, 5000, 1.5, 60, "first star", {}},
        {"ValueEndsAtTheFirstSlashEvenInsideQuotes",
         {"CRVAL1  = 4500.5/ comment", "CD1_1   =  0.5 / A per pixel", "OBJECT  = 'HD 12/34'"}, 4500.5, 0.5, 60,
         "HD 1", {}},
        {"BlanksInsideTheQuotesStay", {"OBJECT  = 'Vega  '", "CRVAL1  = 5000", "CD1_1   = 1.5"}, 5000, 1.5, 60,
         "Vega  ", {}},
        {"OneCharacterObjectGivesAnEmptyName", {"OBJECT  = '", "CRVAL1  = 5000", "CD1_1   = 1.5"}, 5000, 1.5, 60,
         "", {}},
        {"NumbersAreReadLeniently", {"CRVAL1  =   +4.2E3xyz", "CD1_1   = 2.5D-1 Angstrom", "NAXIS1  = 60.4abc"},
         4200, 0.25, 60.4, "", {}},
        {"QuotedNumberReadsAsZero", {"CRVAL1  = '4000'", "CD1_1   = 1.5"}, 0, 1.5, 60, "", {kNoLambda0Message}},
        {"LowerCaseKeywordIsAnotherKeyword", {"crval1  = 4000", "cd1_1   = 1.5"}, 0, 0, 60, "",
         {kNoLambda0Message, kNoDispersionMessage}},
        {"LambdaZeroBelowAThousandthWarns", {"CRVAL1  = 0.0009", "CD1_1   = 1"}, 0.0009, 1, 60, "",
         {kNoLambda0Message}},
        {"SpanBelowAThousandthWarns", {"CRVAL1  = 4000", "CD1_1   = 0.00001"}, 4000, 0.00001, 60, "",
         {kNoDispersionMessage}},
        {"OneSampleWarnsAboutTheDispersionWhateverItIs", {"NAXIS1  = 1", "CRVAL1  = 4000", "CD1_1   = 100"}, 4000,
         100, 1, "", {kNoDispersionMessage}},
        {"CalibrationKeywordsFromTheSettings", {"WSTART  = 3500", "WSTEP   = 0.75", "CRVAL1  = 1", "CD1_1   = 9"},
         3500, 0.75, 60, "", {}, "WSTART", "WSTEP"},
        {"SettingsNamesKeepTheirCase", {"CRVAL1  = 4000", "CD1_1   = 2"}, 0, 0, 60, "",
         {kNoLambda0Message, kNoDispersionMessage}, "crval1", "Cd1_1"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoaderTest, WarningsComeInTheirOrderAndTheLoadGoesOn) {
  Write(dir_.path(), "order.fts", SpectrumCards(16, "40", {"DC-FLAG =                    1"}),
        testing::BigEndianSamples(16, Ramp(40)));
  ASSERT_TRUE(Load(7, "order.fts").published);
  // A logarithmic scale is drawn at its true wavelengths now, without the
  // warning that it would be drawn as if linear.
  const std::vector<std::string> expected = {kSignedSixteenMessage, kNoLambda0Message, kNoDispersionMessage};
  EXPECT_EQ(rec_.messages, expected);
  EXPECT_EQ(rec_.calls.back(), "ShowLoadedRow 7") << "the row comes after every message";

  struct Case {
    const char* value;
    bool logarithmic;
  };
  for (const Case& c : {Case{"1.0", true}, Case{"0", false}, Case{"2", false}, Case{"'1'", false}}) {
    SCOPED_TRACE(c.value);
    Write(dir_.path(), "flag.fts",
          SpectrumCards(-32, "10", {"CRVAL1  = 3.6", "CD1_1   = 1E-3", NumberCard("DC-FLAG", c.value)}),
          FloatRamp(10));
    Forget();
    ASSERT_TRUE(Load(7, "flag.fts").published);
    EXPECT_EQ(rec_.messages.size(), 0u);
    EXPECT_EQ(SlotSpectrum(state_, 7).scale.logarithmic, c.logarithmic);
  }
}

TEST_F(LoaderTest, BlockDecodingMatchesTheByteByByteRule) {
  std::mt19937_64 random(11);
  const std::pair<int, double> kinds[] = {{16, 32768}, {16, 0}, {32, 0}, {-32, 0}, {-64, 0}};
  for (const auto& [bitpix, bzero] : kinds) {
    SCOPED_TRACE(bitpix);
    const int width = BytesPerSample(bitpix);
    std::string data(static_cast<std::size_t>(3000 * width), '\0');
    for (char& b : data) b = static_cast<char>(random());
    // No exponent-2047 doubles: the loader refuses those.
    if (bitpix == -64) {
      for (std::size_t i = 0; i < data.size(); i += 8) data[i + 1] = static_cast<char>(data[i + 1] & 0x7F);
    }
    const std::vector<std::string> extra = Plus(Plus(kCalibration, {NumberCard("BZERO", std::to_string(bzero))}),
                                                Fillers(40));  // two header blocks
    Write(dir_.path(), "random.fts", SpectrumCards(bitpix, "3000", extra), data);
    const FitsLoadDetails details = Load(1, "random.fts");
    ASSERT_TRUE(details.published) << ::testing::PrintToString(rec_.messages);
    ASSERT_EQ(details.data_offset, 5760);
    std::vector<double> reference;
    ASSERT_TRUE(ReadSamplesByteByByte((dir_ / "random.fts").string(), 5760, 3000, bitpix, bzero, reference));
    // Missing samples (exponent 255 singles) are NaN in both.
    ASSERT_EQ(SlotSpectrum(state_, 1).intensity.size(), reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) {
      const double got = SlotSpectrum(state_, 1).intensity[i];
      ASSERT_TRUE(got == reference[i] || (std::isnan(got) && std::isnan(reference[i]))) << i;
    }
  }
}

// A long data block is read and decoded a piece at a time: samples across
// the pieces' edges, missing ones included, are those of the whole block
// decoded at once, and the slot gets the level summary of its samples.
TEST_F(LoaderTest, LongDataDecodedPieceByPieceMatchesTheWholeBlock) {
  std::mt19937_64 random(17);
  for (const int bitpix : {16, -32, -64}) {
    SCOPED_TRACE(bitpix);
    const int width = BytesPerSample(bitpix);
    const int n = 300007;  // several pieces at every width, the last one short
    std::string data(static_cast<std::size_t>(n) * static_cast<std::size_t>(width), '\0');
    for (char& b : data) b = static_cast<char>(random() % 64);  // no exponent-2047 doubles
    if (bitpix == -32) {
      // Missing samples on both sides of piece edges (65536 samples of 4 bytes).
      for (const std::size_t i : {65535u, 65536u, 131071u, 200000u}) data.replace(i * 4, 4, "\x7F\xC0\0\0", 4);
    }
    const std::vector<std::string> extra = Plus(kCalibration, {NumberCard("BLANK", "7")});
    Write(dir_.path(), "long.fts", SpectrumCards(bitpix, std::to_string(n), extra), data);
    const FitsLoadDetails details = Load(2, "long.fts");
    ASSERT_TRUE(details.published) << ::testing::PrintToString(rec_.messages);
    std::vector<double> reference;
    SampleScaling scaling;
    if (bitpix > 0) scaling.blank = 7;
    const int64_t missing = DecodeSamples(reinterpret_cast<const unsigned char*>(data.data()), n, bitpix, scaling,
                                          reference);
    EXPECT_EQ(details.missing, missing);
    std::vector<double> peaks;
    EXPECT_EQ(SlotSpectrum(state_, 2).norm, BlockPeakMedianOfPresent(reference, n, peaks));
    if (bitpix == -32) {
      EXPECT_EQ(missing, 4);
    }
    const SampleArray& got = SlotSpectrum(state_, 2).intensity;
    ASSERT_EQ(got.size(), reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i)
      ASSERT_TRUE(got[i] == reference[i] || (std::isnan(got[i]) && std::isnan(reference[i]))) << i;
    ASSERT_NE(SlotSpectrum(state_, 2).summary, nullptr);
    EXPECT_TRUE(SlotSpectrum(state_, 2).summary->Describes(SlotSpectrum(state_, 2).levelled));
    EXPECT_EQ(SlotSpectrum(state_, 2).summary->MissingCount(), missing);
  }
}

// A reload decodes into the arrays the slot's previous load gave up, so its
// pages are not faulted in afresh; the values are those of a first load into
// a fresh state, and a short spectrum does not keep a long one's room.
TEST_F(LoaderTest, ReloadsReuseTheReplacedArraysWithTheValuesOfAFreshLoad) {
  const int n = 300000;  // 2.4 MB a array: above the size kept for any load
  std::vector<double> other = Ramp(n);
  for (double& v : other) v = 3 + 2 * std::fmod(v, 977);
  WriteSpectrum("a.fts", 4000, 2, n);
  WriteImage("b.fts", Image(-32, other, 5000, 1));
  WriteSpectrum("short.fts", 6000, 1, 100);

  ASSERT_TRUE(Load(1, "a.fts").published);
  const double* first_intensity = SlotSpectrum(state_, 1).intensity.data();
  const double* first_levelled = SlotSpectrum(state_, 1).levelled.data();
  ASSERT_TRUE(Load(1, "b.fts").published);
  EXPECT_NE(SlotSpectrum(state_, 1).intensity.data(), first_intensity);
  ASSERT_TRUE(Load(1, "a.fts").published);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity.data(), first_intensity);
  EXPECT_EQ(SlotSpectrum(state_, 1).levelled.data(), first_levelled);

  for (const char* name : {"a.fts", "b.fts", "short.fts"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Load(1, name).published);
    SharedState fresh;
    fresh.FitsDirectory = state_.FitsDirectory;
    fresh.Slots[1].file_name = name;
    ASSERT_TRUE(LoadFitsSpectrum(fresh, 1, rec_, rec_, rec_).published);
    EXPECT_EQ(SlotSpectrum(state_, 1).intensity, SlotSpectrum(fresh, 1).intensity);
    EXPECT_EQ(SlotSpectrum(state_, 1).levelled, SlotSpectrum(fresh, 1).levelled);
    EXPECT_EQ(SlotSpectrum(state_, 1).norm, SlotSpectrum(fresh, 1).norm);
    EXPECT_EQ(SlotSpectrum(state_, 1).levelled_max, SlotSpectrum(fresh, 1).levelled_max);
    EXPECT_EQ(SlotHeader(state_, 1).lambda_start, SlotHeader(fresh, 1).lambda_start);
    EXPECT_EQ(SlotSpectrum(state_, 1).lambda_end, SlotSpectrum(fresh, 1).lambda_end);
    if (SlotSpectrum(state_, 1).summary) {
      EXPECT_TRUE(SlotSpectrum(state_, 1).summary->Describes(SlotSpectrum(state_, 1).levelled));
    }
    EXPECT_EQ(SlotSpectrum(state_, 1).summary == nullptr, SlotSpectrum(fresh, 1).summary == nullptr);
  }
  EXPECT_LT(SlotSpectrum(state_, 1).intensity.capacity(), std::size_t{1000});
  EXPECT_LT(SlotSpectrum(state_, 1).levelled.capacity(), std::size_t{1000});
  EXPECT_TRUE(rec_.messages.empty()) << ::testing::PrintToString(rec_.messages);
}

// A replaced spectrum that someone still holds (a drawing, a test) keeps its
// arrays: only the last holder's are taken for the next load.
TEST_F(LoaderTest, AReloadNeverTakesTheArraysOfASpectrumStillHeld) {
  WriteSpectrum("a.fts", 4000, 2, 5000);
  WriteSpectrum("b.fts", 5000, 1, 5000);
  ASSERT_TRUE(Load(1, "a.fts").published);
  const SpectrumPtr held = state_.Slots[1].spectrum;
  const SampleArray intensity = held->intensity;
  const SampleArray levelled = held->levelled;
  for (const char* name : {"b.fts", "c.fts", "b.fts"}) {
    SCOPED_TRACE(name);
    WriteSpectrum("c.fts", 6000, 3, 4000);
    ASSERT_TRUE(Load(1, name).published);
    EXPECT_NE(state_.Slots[1].spectrum, held);
    EXPECT_EQ(held->intensity, intensity);
    EXPECT_EQ(held->levelled, levelled);
    EXPECT_TRUE(held->summary->Describes(held->levelled));
  }
}

// What a refused file leaves of itself in the slot's header (the header
// viewer shows it): its first keyword alone when it is not FITS, its cards
// once they were read; nothing when it could not be read. The spectrum
// drawn stays.
TEST_F(LoaderTest, ARefusedFileLeavesWhatWasReadOfItsHeader) {
  struct Case {
    const char* name;
    std::function<std::string(const fs::path&)> make;
    std::string first_keyword;  // keyword 1 of the slot's header afterwards
    int16_t line_count;         // cards before END afterwards
    double bitpix;
  };
  WriteSpectrum("good.fts", 4000, 2, 100);
  const Case cases[] = {
      {"NotFits", [](const fs::path& d) { return WithCard(d, "ext.fts", 0, "XTENSION= 'IMAGE   '"); }, "XTENSION",
       0, -32},
      {"EightBit", [](const fs::path& d) {
         testing::WriteFits(d / "8.fts", Image(8, {1, 2}));
         return std::string("8.fts");
       }, "SIMPLE", -1, 8},
      {"Missing", [](const fs::path&) { return std::string("no such file.fts"); }, "SIMPLE", 0, -32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(3, "good.fts").published);
    const SpectrumPtr drawn = state_.Slots[3].spectrum;
    const SpectrumHeader before = SlotHeader(state_, 3);
    Forget();
    EXPECT_FALSE(Load(3, c.make(dir_.path())).published);
    EXPECT_EQ(state_.Slots[3].spectrum, drawn);
    const SpectrumHeader& after = SlotHeader(state_, 3);
    EXPECT_EQ(after.keywords[1], c.first_keyword);
    EXPECT_EQ(after.bitpix, c.bitpix);
    if (c.line_count >= 0) {
      // The good file's cards stay (with the new first keyword, if any).
      EXPECT_EQ(after.cards, before.cards);
      EXPECT_EQ(after.line_count, before.line_count);
    } else {
      EXPECT_NE(after.cards, before.cards) << "the refused file's cards";
      EXPECT_GT(after.line_count, 0);
    }
    EXPECT_EQ(SlotSpectrum(state_, 3).header.bitpix, -32) << "the spectrum drawn keeps its own header";
  }
}

// A spectrum beyond the size kept for reuse gives its replaced arrays back,
// so a reload of a very long spectrum never holds two copies of it, and the
// program holds no more than the spectra it shows.
TEST_F(LoaderTest, AVeryLongSpectrumsReplacedArraysAreGivenBack) {
  const int n = 4500000;  // 36 MB a array
  WriteSpectrum("long.fts", 4000, 2, n);
  ASSERT_TRUE(Load(1, "long.fts").published);
  ASSERT_TRUE(Load(1, "long.fts").published);
  EXPECT_EQ(state_.LoaderScratch.intensity.capacity(), std::size_t{0});
  EXPECT_EQ(state_.LoaderScratch.levelled.capacity(), std::size_t{0});
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity.size(), static_cast<std::size_t>(n) + 1);
  EXPECT_TRUE(rec_.messages.empty()) << ::testing::PrintToString(rec_.messages);

  // Nor does a load refused once its samples are decoded (every one of them
  // missing) keep the room it took for them.
  WriteImage("masked.fts", Image(-32, std::vector<double>(static_cast<std::size_t>(n), std::nan(""))));
  EXPECT_FALSE(Load(2, "masked.fts").published);
  EXPECT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(state_.LoaderScratch.intensity.capacity(), std::size_t{0});
  EXPECT_EQ(state_.LoaderScratch.levelled.capacity(), std::size_t{0});
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity.size(), static_cast<std::size_t>(n) + 1);
}

// ---- Refusals leave the slot as it was --------------------------------------

struct RefusalCase {
  const char* name;
  std::function<std::string(const fs::path& dir)> make;  // writes the bad file, returns its name
  std::string message;                                    // part of the one message shown
  bool needs_unprivileged = false;
};

std::string DoubleFile(const fs::path& dir, const std::string& name, const std::vector<double>& samples) {
  return Write(dir, name, SpectrumCards(-64, std::to_string(samples.size()), kCalibration),
               testing::BigEndianSamples(-64, samples));
}

// Sample 120 is huge against a level of 1e-300 (three blocks of 1e-300).
std::vector<double> Overflowing(double big) {
  std::vector<double> samples(150, 1e-300);
  samples[119] = big;
  return samples;
}

std::vector<std::string> ManyCards(int count) { return Plus({kSimple}, Fillers(count - 1)); }

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RefusalTest : public LoaderTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, ShowsOneMessageAndKeepsTheLoadedSpectrum) {
  const RefusalCase& c = GetParam();
  if (c.needs_unprivileged && ::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  state_.PlotWindowOpen = true;
  WriteSpectrum("good.fts", 4000, 2, 100);
  // Loaded twice, so that the arrays a load decodes into are the slot's
  // previous ones, of the same size.
  ASSERT_TRUE(Load(2, "good.fts").published);
  ASSERT_TRUE(Load(2, "good.fts").published);
  const SharedState before = state_;
  const std::string name = c.make(dir_.path());
  Forget();

  const FitsLoadDetails details = Load(2, name);
  EXPECT_FALSE(details.published);
  ASSERT_EQ(rec_.messages.size(), 1u) << ::testing::PrintToString(rec_.messages);
  // A file that cannot be opened is named by its whole path.
  const std::string expected = c.message[0] == '/' ? "The file \"" + dir_.path().string() + c.message : c.message;
  EXPECT_NE(rec_.messages[0].find(expected), std::string::npos) << rec_.messages[0];
  EXPECT_TRUE(WindowCalls().empty()) << "no row shown, no redraw";

  EXPECT_TRUE(state_.Slots[2].loaded);
  EXPECT_TRUE(state_.SpectraLoaded);
  EXPECT_EQ(state_.Slots[2].spectrum, before.Slots[2].spectrum) << "the slot draws what it drew";
  EXPECT_EQ(SlotSpectrum(state_, 2).intensity, SlotSpectrum(before, 2).intensity);
  EXPECT_EQ(SlotSpectrum(state_, 2).levelled, SlotSpectrum(before, 2).levelled);
  EXPECT_EQ(SlotSpectrum(state_, 2).norm, SlotSpectrum(before, 2).norm);
  EXPECT_EQ(SlotSpectrum(state_, 2).levelled_max, SlotSpectrum(before, 2).levelled_max);
  EXPECT_EQ(SlotSpectrum(state_, 2).lambda_end, SlotSpectrum(before, 2).lambda_end);
  // The renderer places the kept samples by these; a refused file must not move them.
  EXPECT_EQ(SlotSpectrum(state_, 2).lambda_start, SlotSpectrum(before, 2).lambda_start);
  EXPECT_EQ(SlotSpectrum(state_, 2).header.dispersion, SlotSpectrum(before, 2).header.dispersion);
  EXPECT_EQ(SlotSpectrum(state_, 2).header.naxis1, SlotSpectrum(before, 2).header.naxis1);
  EXPECT_EQ(state_.DataLambdaMin, before.DataLambdaMin);
  EXPECT_EQ(state_.DataLambdaMax, before.DataLambdaMax);
  EXPECT_EQ(state_.PlotLambdaMin, before.PlotLambdaMin);
  EXPECT_EQ(state_.PlotLambdaMax, before.PlotLambdaMax);

  for (int slot = 0; slot <= kSlotCount; ++slot) {
    const SpectrumHeader& header = SlotHeader(state_, slot);
    for (double value : {header.lambda0, header.dispersion, header.lambda_start, header.bitpix, header.naxis1,
                         header.bzero})
      EXPECT_TRUE(std::isfinite(value)) << "slot " << slot;
    if (!state_.Slots[slot].spectrum) continue;
    for (double value : {SlotSpectrum(state_, slot).norm, SlotSpectrum(state_, slot).levelled_max,
                         SlotSpectrum(state_, slot).lambda_start, SlotSpectrum(state_, slot).lambda_end})
      EXPECT_TRUE(std::isfinite(value)) << "slot " << slot;
    for (const SampleArray* samples : {&SlotSpectrum(state_, slot).intensity, &SlotSpectrum(state_, slot).levelled})
      EXPECT_TRUE(std::all_of(samples->begin(), samples->end(), [](double v) { return std::isfinite(v); }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RefusalTest,
    ::testing::ValuesIn(std::vector<RefusalCase>{
        {"NotFits", [](const fs::path& d) { return WithCard(d, "ext.fts", 0, "XTENSION= 'IMAGE   '"); },
         kNotFitsMessage},
        {"EightBit", [](const fs::path& d) {
           testing::WriteFits(d / "8.fts", Image(8, {1, 2}));
           return "8.fts";
         }, kEightBitMessage},
        {"Bitpix64", [](const fs::path& d) { return WithCard(d, "b64.fts", 1, "BITPIX  = 64"); },
         "The file \"b64.fts\" has BITPIX = 64. Quillon reads only 16-bit and 32-bit integer and 32-bit and 64-bit "
         "floating-point samples (BITPIX 16, 32, -32 or -64)."},
        {"BitpixNotWhole", [](const fs::path& d) { return WithCard(d, "half.fts", 1, "BITPIX  = -32.5"); },
         "has BITPIX = -32.5."},
        {"BitpixMissing", [](const fs::path& d) { return WithCard(d, "nobitpix.fts", 1, "COMMENT no BITPIX"); },
         "has BITPIX = 0."},
        {"NoSamples", [](const fs::path& d) { return WithCard(d, "none.fts", 3, "NAXIS1  = 0"); },
         "gives NAXIS1 = 0, so the file holds no samples to show."},
        {"DataOneByteShort", [](const fs::path& d) {
           return Write(d, "short.fts", SpectrumCards(-32, "100", kCalibration), FloatRamp(100).substr(1));
         }, "The file \"short.fts\" is too short for its data: 100 samples of 4 bytes after a header of 2880 bytes "
            "need 3280 bytes, but the file holds 3279 bytes."},
        {"FileEndsInsideTheHeader", [](const fs::path& d) {
           const std::vector<std::string> cards = SpectrumCards(-32, "10", Plus(kCalibration, Fillers(34)));
           return Write(d, "cut.fts", testing::HeaderBlocks(cards).substr(0, 3300));  // 40 cards and END
         }, "The file \"cut.fts\" ends inside its header: the header needs 5760 bytes, but the file holds 3300 bytes."},
        {"LevelZero", [](const fs::path& d) {
           std::vector<double> samples(120, 0.0);
           samples[60] = -5;
           return DoubleFile(d, "dark.fts", samples);
         }, "(the median of the largest values of its 50-sample blocks) is 0, so the spectrum cannot be scaled"},
        // NaN and infinite samples are missing; a file of nothing else is refused.
        {"OnlyMissingSamples",
         [](const fs::path& d) { return DoubleFile(d, "nan.fts", {std::nan(""), HUGE_VAL, -HUGE_VAL}); },
         "Every sample of \"nan.fts\" is missing (not a number, infinite or equal to BLANK), so there is nothing to "
         "draw"},
        {"LevelledValueOverflows", [](const fs::path& d) { return DoubleFile(d, "big.fts", Overflowing(1e10)); },
         "Sample 120 of \"big.fts\" is too large against the level of the spectrum to be drawn"},
        {"NegativeLevelledValueOverflows",
         [](const fs::path& d) { return DoubleFile(d, "low.fts", Overflowing(-1e10)); },
         "Sample 120 of \"low.fts\" is too large against the level"},
        {"HeaderNumberBeyondDoubles", [](const fs::path& d) { return WithCard(d, "big.fts", 4, "CRVAL1  = 1E400"); },
         "The header of \"big.fts\" gives CRVAL1 the value 1E400, which is beyond the range of numbers"},
        {"WavelengthScaleBeyondDoubles", [](const fs::path& d) { return WithCard(d, "far.fts", 5, "CD1_1   = 1E308"); },
         "The wavelength scale of \"far.fts\" reaches beyond the range of numbers"},
        // Refused from the sizes alone: the loader would not survive allocating these.
        {"PetabyteOfSamples", [](const fs::path& d) { return WithCard(d, "peta.fts", 3, "NAXIS1  = 1E15"); },
         "1000000000000000 samples of 4 bytes after a header of 2880 bytes need 4000000000002880 bytes, but the "
         "file holds 2920 bytes."},
        {"SampleCountBeyondAnyFile", [](const fs::path& d) { return WithCard(d, "vast.fts", 3, "NAXIS1  = 1E300"); },
         "4611686018427387904 samples of 4 bytes after a header of 2880 bytes need more than 9223372036854775807 "
         "bytes, but the file holds 2920 bytes."},
        {"MissingFile", [](const fs::path&) { return std::string("missing.fts"); },
         "/missing.fts\" cannot be read: no such file or directory."},
        {"Folder", [](const fs::path& d) { return fs::create_directory(d / "dir.fts") ? "dir.fts" : ""; },
         "/dir.fts\" cannot be read: it is a folder, not a file."},
        {"EmptyFile", [](const fs::path& d) { return Write(d, "empty.fts", ""); },
         "/empty.fts\" cannot be read: it is empty (0 bytes)."},
        {"NamedPipe", [](const fs::path& d) { return ::mkfifo((d / "p.fts").c_str(), 0600) == 0 ? "p.fts" : ""; },
         "/p.fts\" cannot be read: it is not a regular file."},
        {"NoPermission", [](const fs::path& d) {
           const std::string name = WithCard(d, "locked.fts", 0, kSimple);
           fs::permissions(d / name, fs::perms::none);
           return name;
         }, "/locked.fts\" cannot be read: permission denied.", true},
        {"NoEndWithin32767Cards", [](const fs::path& d) {
           return Write(d, "long.fts", testing::HeaderBlocks(ManyCards(32768), false));
         }, "The header of \"long.fts\" has no END card within its first 32767 cards; Quillon reads headers of at "
            "most 32767 cards."},
        {"EndAfter32768Cards",
         [](const fs::path& d) { return Write(d, "longer.fts", testing::HeaderBlocks(ManyCards(32768))); },
         "has no END card within its first 32767 cards"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Large inputs ------------------------------------------------------------

TEST_F(LoaderTest, AMillionSamplesLoadWhole) {
  std::vector<double> samples;
  for (int i = 1; i <= 1000000; ++i) samples.push_back(i % 977);
  WriteImage("million.fts", Image(-32, samples, 3000, 0.004));
  ASSERT_TRUE(Load(1, "million.fts").published);
  EXPECT_TRUE(rec_.messages.empty());
  ASSERT_EQ(SlotSpectrum(state_, 1).intensity.size(), 1000001u);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[1], 1);
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity[1000000], 1000000 % 977);
  EXPECT_EQ(SlotSpectrum(state_, 1).lambda_end, 3000 + 0.004 * 1000000);
  ASSERT_EQ(SlotSpectrum(state_, 1).levelled.size(), 1000001u);
  EXPECT_EQ(SlotSpectrum(state_, 1).levelled[999999], 100 * SlotSpectrum(state_, 1).intensity[999999] / SlotSpectrum(state_, 1).norm);
}

TEST_F(LoaderTest, EveryCardUpTo32767IsKept) {
  const std::vector<std::string> cards = SpectrumCards(-32, "10", Plus(Fillers(32767 - 6), kCalibration));
  ASSERT_EQ(cards.size(), 32767u);
  Write(dir_.path(), "cards.fts", cards, FloatRamp(10));
  const FitsLoadDetails details = Load(1, "cards.fts");
  ASSERT_TRUE(details.published) << ::testing::PrintToString(rec_.messages);
  EXPECT_EQ(SlotHeader(state_, 1).line_count, 32767);
  EXPECT_EQ(SlotHeader(state_, 1).cards.size(), 32769u);
  EXPECT_EQ(details.data_offset, 2623680);
  EXPECT_EQ(SlotHeader(state_, 1).lambda0, 5000) << "the last cards are looked up";
  EXPECT_EQ(SlotSpectrum(state_, 1).intensity, WithUnusedZero(Ramp(10)));
}

// ---- The folder and the path ------------------------------------------------

TEST_F(LoaderTest, TheFolderBecomesTheCurrentDirectoryAndARelativeFolderStillNamesTheFile) {
  WriteSpectrum("star.fts", 4000, 2, 100);
  fs::current_path(fs::temp_directory_path());
  ASSERT_TRUE(Load(1, "star.fts").published);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_.path()));

  fs::current_path(dir_.path().parent_path());
  state_.FitsDirectory = dir_.path().filename().string();
  ASSERT_TRUE(Load(2, "star.fts").published);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), dir_.path()));
}

TEST_F(LoaderTest, NothingHappensWithoutAFolderAFileOrAValidSlot) {
  WriteSpectrum("star.fts", 4000, 2, 100);
  fs::current_path(fs::temp_directory_path());
  state_.Slots[1].file_name = "star.fts";
  const std::string folder = state_.FitsDirectory;

  state_.FitsDirectory = "";
  LoadFitsSpectrum(state_, 1, rec_, rec_, rec_);
  state_.FitsDirectory = folder;
  state_.Slots[1].file_name = "";
  LoadFitsSpectrum(state_, 1, rec_, rec_, rec_);
  state_.Slots[0].file_name = state_.Slots[5].file_name = "star.fts";
  state_.SlotCount = 4;  // slots 1..4 only
  for (int16_t slot : {0, 5, 17, -1}) LoadFitsSpectrum(state_, slot, rec_, rec_, rec_);
  EXPECT_TRUE(rec_.calls.empty());
  EXPECT_FALSE(state_.SpectraLoaded);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::temp_directory_path()));

  state_.FitsDirectory = (dir_ / "nowhere").string();
  state_.Slots[1].file_name = "star.fts";
  LoadFitsSpectrum(state_, 1, rec_, rec_, rec_);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0].rfind("The folder \"" + state_.FitsDirectory + "\" cannot be opened: ", 0), 0u)
      << rec_.messages[0];
  EXPECT_FALSE(state_.Slots[1].loaded);
}

TEST(JoinFitsPathTest, AddsOneSlashOnlyWhenTheFolderHasNone) {
  EXPECT_EQ(JoinFitsPath("/data/spectra", "a.fts"), "/data/spectra/a.fts");
  EXPECT_EQ(JoinFitsPath("/data/spectra/", "a.fts"), "/data/spectra/a.fts");
  EXPECT_EQ(JoinFitsPath("/", "a.fts"), "/a.fts");
}

}  // namespace
}  // namespace quillon
