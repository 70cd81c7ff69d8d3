// As it was before FITS physical values and wavelength scales, kept in
// quillon::before for the side-by-side benchmarks.
#include "bench/before/fits_loader.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "fits/header_reader.h"
#include "bench/before/sample_decoder.h"
#include "bench/before/spectrum_statistics.h"
#include "base/int_convert.h"

namespace quillon::before {

namespace {

constexpr unsigned char kCarriageReturn = 13;
constexpr int64_t kCardLength = 80;
// HeaderLineCount is a 16-bit number.
constexpr int64_t kMaxCards = std::numeric_limits<int16_t>::max();
// Cards examined before falling back to reading the whole permitted header.
constexpr int64_t kProbeCards = 144;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Shortest text that reads back as the same number.
std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

bool ValidSlot(const SharedState& state, int16_t slot) {
  return slot >= 1 && slot <= state.SlotCount && slot <= kSlotCount;
}

// One load of one slot; the specified refusals and warnings keep their order,
// and the reader's own checks come where the data they need is known.
class SlotLoader {
 public:
  SlotLoader(SharedState& state, int16_t slot, ByteSource& source, const std::string& label,
             MessageSink& messages, RowDisplay& rows, PlotRedraw& plot)
      : state_(state), slot_(slot), source_(source), label_(label), messages_(messages), rows_(rows),
        plot_(plot) {}

  FitsLoadDetails Run() {
    // The renderer places a loaded slot's samples by these header values, so
    // a refused file must not leave its own in a slot that still draws the
    // previous spectrum.
    const bool was_loaded = IsSet(state_.SlotLoaded[slot_]);
    const double lambda0 = state_.SlotLambda0[slot_];
    const double lambda_start = state_.SlotLambdaStart[slot_];
    const double dispersion = state_.SlotDispersion[slot_];
    const double naxis1 = state_.SlotNaxis1[slot_];
    try {
      Load();
    } catch (const std::bad_alloc&) {
      // Nothing is published before every sample has been computed, so the
      // slot is as it was.
      messages_.ShowMessage("There is not enough memory to load the file " + Quoted(label_) + ".");
    }
    if (was_loaded && !details_.published) {
      state_.SlotLambda0[slot_] = lambda0;
      state_.SlotLambdaStart[slot_] = lambda_start;
      state_.SlotDispersion[slot_] = dispersion;
      state_.SlotNaxis1[slot_] = naxis1;
    }
    return details_;
  }

 private:
  void Load() {
    // The header text runs up to the first byte 13, or to the end of the file.
    int64_t text_length = 0;
    std::string error;
    if (!source_.Find(kCarriageReturn, 0, text_length, error)) return ReadFailure(error);
    details_.file_read = true;
    details_.text_card_count = TextCardCount(text_length);

    // The signature: the first keyword must be SIMPLE.
    std::string first;
    if (!ReadText(0, std::min<int64_t>(text_length, 8), first)) return;
    const std::string first_keyword = CardKeyword(first);
    CardArray& keywords = state_.HeaderKeyword[slot_];
    if (keywords.size() < 2) keywords.resize(2);
    keywords[1] = first_keyword;
    if (first_keyword != "SIMPLE") return Show(kNotFitsMessage);

    // The card table.
    std::optional<HeaderCards> header = ReadCards(text_length);
    if (!header) return;
    state_.HeaderCard[slot_] = header->cards;
    state_.HeaderKeyword[slot_] = header->keywords;
    state_.HeaderValue[slot_] = header->values;
    state_.HeaderLineCount[slot_] = static_cast<int16_t>(header->header_line_count);
    details_.data_offset = DataOffsetFor(header->header_line_count);
    header_ = std::move(*header);

    // The sample type; 8-bit data get their advice.
    if (!LookUpNumber("BITPIX", state_.SlotBitpix[slot_])) return;
    if (state_.SlotBitpix[slot_] == 8) return Show(kEightBitMessage);

    // The axes and the scaling of the samples.
    double naxis3 = 0;
    if (!LookUpNumber("NAXIS", state_.SlotNaxis[slot_]) || !LookUpNumber("NAXIS1", state_.SlotNaxis1[slot_]) ||
        !LookUpNumber("NAXIS2", state_.SlotNaxis2[slot_]) || !LookUpNumber("NAXIS3", naxis3))
      return;
    state_.SlotNaxis3[slot_] = RoundToInt16(naxis3);
    if (!LookUpNumber("BSCALE", state_.SlotBscale[slot_]) || !LookUpNumber("BZERO", state_.SlotBzero[slot_]))
      return;
    if (state_.SlotBitpix[slot_] == 16 && state_.SlotBzero[slot_] == 0) Show(kSignedSixteenMessage);

    // OBJECT alone takes its first card; its value loses the quotes,
    // and a value too short to have two quotes gives an empty name.
    const std::optional<std::string> object = header_.FirstValue("OBJECT");
    state_.SlotObject[slot_] = (object && object->size() >= 2) ? object->substr(1, object->size() - 2) : "";
    if (!LookUpNumber(state_.KeywordLambda0, state_.SlotLambda0[slot_]) ||
        !LookUpNumber(state_.KeywordDispersion, state_.SlotDispersion[slot_]))
      return;

    // Calibration checks.
    const double lambda0 = state_.SlotLambda0[slot_];
    const double dispersion = state_.SlotDispersion[slot_];
    const double naxis1 = state_.SlotNaxis1[slot_];
    state_.SlotLambdaStart[slot_] = lambda0;
    const double provisional_end = lambda0 + dispersion * (naxis1 - 1);
    if (std::fabs(lambda0) < 0.001) Show(kNoLambda0Message);
    if (std::fabs(provisional_end - state_.SlotLambdaStart[slot_]) < 0.001) Show(kNoDispersionMessage);
    if (const auto flag = header_.LastValue("DC-FLAG"); flag && ParseLenientNumber(*flag).value == 1) {
      Show("The spectrum in " + Quoted(label_) +
           " has a logarithmic wavelength scale (DC-FLAG = 1); it is drawn as if the scale were linear.");
    }

    // The samples, read in one piece and decoded from memory.
    const double bitpix = state_.SlotBitpix[slot_];
    const int width = (std::fabs(bitpix) <= 64 && bitpix == std::trunc(bitpix))
                          ? BytesPerSample(static_cast<int64_t>(bitpix))
                          : 0;
    if (width == 0) {
      return Show("The file " + Quoted(label_) + " has BITPIX = " + NumberText(bitpix) +
                  ". Quillon reads only 16-bit and 32-bit integer and 32-bit and 64-bit floating-point "
                  "samples (BITPIX 16, 32, -32 or -64).");
    }
    const int64_t n = RoundToInt64(naxis1);
    if (n <= 0) {
      return Show("The header of " + Quoted(label_) + " gives NAXIS1 = " + NumberText(naxis1) +
                  ", so the file holds no samples to show.");
    }
    if (!CheckDataSize(n, width)) return;
    std::vector<unsigned char> block(static_cast<std::size_t>(n * width));
    if (!source_.Read(details_.data_offset, n * width, block.data(), error)) return ReadFailure(error);
    std::vector<double> samples;
    const int64_t infinite =
        DecodeSamples(block.data(), n, static_cast<int64_t>(bitpix), state_.SlotBzero[slot_], samples);
    block = {};
    if (infinite != 0) {
      return Show("Sample " + std::to_string(infinite) + " of " + Quoted(label_) +
                  " is beyond the range of numbers (a 64-bit floating-point value with exponent 2047); "
                  "the file cannot be shown.");
    }

    // Wavelength range of the slot.
    const double lambda_end = lambda0 + dispersion * naxis1;
    if (!std::isfinite(lambda_end)) {
      return Show("The wavelength scale of " + Quoted(label_) +
                  " reaches beyond the range of numbers; the file cannot be shown.");
    }

    // Statistics.
    const double norm = BlockPeakMedian(samples, n);
    if (norm == 0 || !std::isfinite(norm)) {
      return Show("The level of " + Quoted(label_) + " (the median of the largest values of its 50-sample " +
                  "blocks) is " + (norm == 0 ? "0" : "beyond the range of numbers") +
                  ", so the spectrum cannot be scaled to read 100; the file cannot be shown.");
    }
    std::vector<double> levelled;
    const LevelledRange range = LevelSamples(samples, n, norm, levelled);
    if (!std::isfinite(range.min) || !std::isfinite(range.max)) {
      return Show("Sample " + std::to_string(FirstNonFinite(levelled, n)) + " of " + Quoted(label_) +
                  " is too large against the level of the spectrum to be drawn; the file cannot be shown.");
    }
    const double levelled_max = std::max(range.max, -9999.0);

    // Every check has passed: publish in the order the rest of the program
    // sees it (wavelengths, data range, statistics, then step 12).
    state_.SlotLambdaStart[slot_] = lambda0;
    state_.SlotLambdaEnd[slot_] = lambda_end;
    if (state_.DataLambdaMin > state_.SlotLambdaStart[slot_]) state_.DataLambdaMin = state_.SlotLambdaStart[slot_];
    if (state_.DataLambdaMax < state_.SlotLambdaEnd[slot_]) state_.DataLambdaMax = state_.SlotLambdaEnd[slot_];
    state_.PlotLambdaMin = state_.DataLambdaMin;
    state_.PlotLambdaMax = state_.DataLambdaMax;
    state_.SlotIntensity[slot_] = std::move(samples);
    state_.SlotNorm[slot_] = norm;
    state_.SlotLevelled[slot_] = std::move(levelled);
    state_.SlotLevelledMax[slot_] = levelled_max;

    state_.SlotLoaded[slot_] = kTrue;
    rows_.ShowLoadedRow(slot_);
    state_.SpectraLoaded = kTrue;
    details_.published = true;
    if (IsSet(state_.PlotWindowOpen)) plot_.RenderPlot();
  }

  void Show(const std::string& text) { messages_.ShowMessage(text); }

  void ReadFailure(const std::string& reason) {
    Show("The file " + Quoted(label_) + " cannot be read: " + reason + ".");
  }

  bool ReadText(int64_t offset, int64_t length, std::string& text) {
    text.assign(static_cast<std::size_t>(length), '\0');
    std::string error;
    if (source_.Read(offset, length, reinterpret_cast<unsigned char*>(text.data()), error)) return true;
    ReadFailure(error);
    return false;
  }

  // The cards up to END. More than 32767 cards before END (or, without END,
  // in the header text) do not fit HeaderLineCount and refuse the file.
  std::optional<HeaderCards> ReadCards(int64_t text_length) {
    const int64_t card_count = details_.text_card_count;
    const int64_t allowed = std::min(card_count, kMaxCards + 1);
    const int64_t probe = std::min(allowed, kProbeCards);
    std::string text;
    if (!ReadText(0, std::min(text_length, probe * kCardLength), text)) return std::nullopt;
    HeaderCards header = SplitCards(text, probe);
    if (!header.end_found && allowed > probe) {
      if (!ReadText(0, std::min(text_length, allowed * kCardLength), text)) return std::nullopt;
      header = SplitCards(text, allowed);
    }
    if (!header.end_found && card_count > kMaxCards) {
      Show("The header of " + Quoted(label_) + " has no END card within its first " + std::to_string(kMaxCards) +
           " cards; Quillon reads headers of at most " + std::to_string(kMaxCards) + " cards.");
      return std::nullopt;
    }
    return header;
  }

  // Sets `field` from the last card named `name` (0 when there is none); a
  // number beyond the double range refuses the file.
  bool LookUpNumber(const std::string& name, double& field) {
    const std::optional<std::string> value = header_.LastValue(name);
    if (!value) {
      field = 0;
      return true;
    }
    const LenientNumber number = ParseLenientNumber(*value);
    if (!number.finite) {
      Show("The header of " + Quoted(label_) + " gives " + name + " the value " + *value +
           ", which is beyond the range of numbers; the file cannot be shown.");
      return false;
    }
    field = number.value;
    return true;
  }

  // Checked before anything is allocated, so an absurd NAXIS1 costs nothing.
  bool CheckDataSize(int64_t n, int width) {
    const int64_t size = source_.Size();
    const int64_t offset = details_.data_offset;
    if (size < offset) {
      Show("The file " + Quoted(label_) + " ends inside its header: the header needs " + std::to_string(offset) +
           " bytes, but the file holds " + std::to_string(size) + " bytes.");
      return false;
    }
    if (n <= (size - offset) / width) return true;
    const int64_t max = std::numeric_limits<int64_t>::max();
    const std::string needed =
        n <= (max - offset) / width ? std::to_string(offset + n * width) : "more than " + std::to_string(max);
    Show("The file " + Quoted(label_) + " is too short for its data: " + std::to_string(n) + " samples of " +
         std::to_string(width) + " bytes after a header of " + std::to_string(offset) + " bytes need " + needed +
         " bytes, but the file holds " + std::to_string(size) + " bytes.");
    return false;
  }

  SharedState& state_;
  const int16_t slot_;
  ByteSource& source_;
  const std::string& label_;
  MessageSink& messages_;
  RowDisplay& rows_;
  PlotRedraw& plot_;
  HeaderCards header_;
  FitsLoadDetails details_;
};

}  // namespace

std::string JoinFitsPath(const std::string& folder, const std::string& name) {
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (!folder.empty() && folder.back() == separator) return folder + name;
  return folder + separator + name;
}

FitsLoadDetails LoadFitsSpectrumFromSource(SharedState& state, int16_t slot, ByteSource& source,
                                           const std::string& file_label, MessageSink& messages,
                                           RowDisplay& rows, PlotRedraw& plot) {
  if (!ValidSlot(state, slot)) return {};
  return SlotLoader(state, slot, source, file_label, messages, rows, plot).Run();
}

FitsLoadDetails LoadFitsSpectrumDetailed(SharedState& state, int16_t slot, MessageSink& messages,
                                         RowDisplay& rows, PlotRedraw& plot) {
  if (!ValidSlot(state, slot)) return {};
  const std::string folder = state.FitsDirectory;
  const std::string name = state.SlotFileName[slot];
  if (folder.empty() || name.empty()) return {};

  // The path is fixed before the folder becomes current, so a relative
  // folder still names the same file afterwards.
  std::error_code ec;
  std::filesystem::path absolute_folder = std::filesystem::absolute(folder, ec);
  if (ec) absolute_folder = folder;
  std::filesystem::current_path(absolute_folder, ec);
  if (ec) {
    messages.ShowMessage("The folder " + Quoted(folder) + " cannot be opened: " + ec.message() + ".");
    return {};
  }
  const std::string path = JoinFitsPath(absolute_folder.string(), name);
  std::string reason;
  std::unique_ptr<FileSource> source = FileSource::Open(path, reason);
  if (!source) {
    messages.ShowMessage("The file " + Quoted(path) + " cannot be read: " + reason + ".");
    return {};
  }
  return before::LoadFitsSpectrumFromSource(state, slot, *source, name, messages, rows, plot);
}

void LoadFitsSpectrum(SharedState& state, int16_t slot, MessageSink& messages, RowDisplay& rows,
                      PlotRedraw& plot) {
  (void)before::LoadFitsSpectrumDetailed(state, slot, messages, rows, plot);
}

}  // namespace quillon::before
