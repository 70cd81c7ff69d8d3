#include "spectrum/spectrum_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "fits/header_reader.h"
#include "fits/sample_decoder.h"
#include "spectrum/spectrum_levelling.h"
#include "spectrum/spectrum_statistics.h"
#include "spectrum/wavelength_calibration.h"
#include "base/large_buffer.h"
#include "base/int_convert.h"

namespace quillon {

namespace {

constexpr unsigned char kCarriageReturn = 13;
constexpr int64_t kCardLength = 80;
// The count of cards before END is a 16-bit number.
constexpr int64_t kMaxCards = std::numeric_limits<int16_t>::max();
// Bytes of the data block read from the file at a time.
constexpr int64_t kDecodePieceBytes = int64_t{1} << 18;
// The largest array a load keeps for the next one (4 M samples): a reload of
// a spectrum up to that length finds its memory already touched; a longer
// one's arrays are given back, so the program holds one copy of it.
constexpr std::size_t kScratchKeptBytes = std::size_t{32} << 20;
// Cards examined before falling back to reading the whole permitted header.
constexpr int64_t kProbeCards = 144;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Shortest text that reads back as the same number.
std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// One read of one file; the refusals and warnings keep their order, and the
// reader's own checks come where the data they need is known.
class Reader {
 public:
  Reader(ByteSource& source, const std::string& label, const CalibrationKeywords& keywords, ReaderScratch& scratch)
      : source_(source), label_(label), keywords_(keywords), scratch_(scratch) {}

  ReadResult Run() {
    try {
      Read();
    } catch (const std::bad_alloc&) {
      // Nothing is accepted before every sample has been computed.
      result_.spectrum = nullptr;
      Show("There is not enough memory to load the file " + Quoted(label_) + ".");
    }
    // An accepted file's header is its spectrum's; a refused one's is what
    // had been read.
    if (!result_.spectrum) result_.header = std::move(header_);
    return std::move(result_);
  }

 private:
  void Read() {
    // The header text runs up to the first byte 13, or to the end of the file.
    int64_t text_length = 0;
    std::string error;
    if (!source_.Find(kCarriageReturn, 0, text_length, error)) return ReadFailure(error);
    result_.file_read = true;
    result_.text_card_count = TextCardCount(text_length);

    // The signature: the first keyword must be SIMPLE.
    std::string first;
    if (!ReadText(0, std::min<int64_t>(text_length, 8), first)) return;
    result_.first_keyword = CardKeyword(first);
    result_.reached = ReadResult::Reached::kFirstKeyword;
    if (result_.first_keyword != "SIMPLE") return Show(kNotFitsMessage);

    // The card table.
    std::optional<HeaderCards> header = ReadCards(text_length);
    if (!header) return;
    // The lookups below need the keywords and values only.
    header_.cards = std::move(header->cards);
    header_.keywords = header->keywords;
    header_.values = header->values;
    header_.line_count = static_cast<int16_t>(header->header_line_count);
    result_.reached = ReadResult::Reached::kHeader;
    result_.data_offset = DataOffsetFor(header->header_line_count);
    cards_ = std::move(*header);

    // The sample type. A primary array without data is told as such, before the
    // 8-bit advice (an empty primary header usually says BITPIX = 8).
    if (!LookUpNumber("BITPIX", header_.bitpix)) return;
    if (RefuseEmptyPrimary()) {
      result_.empty_primary = true;
      return;
    }
    if (header_.bitpix == 8) return Show(kEightBitMessage);

    // The axes and the scaling of the samples.
    double naxis3 = 0;
    if (!LookUpNumber("NAXIS", header_.naxis) || !LookUpNumber("NAXIS1", header_.naxis1) ||
        !LookUpNumber("NAXIS2", header_.naxis2) || !LookUpNumber("NAXIS3", naxis3))
      return;
    header_.naxis3 = RoundToInt16(naxis3);
    if (!LookUpNumber("BSCALE", header_.bscale) || !LookUpNumber("BZERO", header_.bzero)) return;
    const bool has_bscale = cards_.LastValue("BSCALE").has_value();
    if (has_bscale && header_.bscale == 0) {
      return Show("The header of " + Quoted(label_) + " gives BSCALE = " + *cards_.LastValue("BSCALE") +
                  ", which would make every sample the same value; the file cannot be shown.");
    }
    if (header_.bitpix == 16 && header_.bzero == 0) Show(kSignedSixteenMessage);

    // OBJECT alone takes its first card; its value loses the quotes,
    // and a value too short to have two quotes gives an empty name.
    const std::optional<std::string> object = cards_.FirstValue("OBJECT");
    header_.object = (object && object->size() >= 2) ? object->substr(1, object->size() - 2) : "";
    if (!LookUpNumber(keywords_.lambda0, header_.lambda0) || !LookUpNumber(keywords_.dispersion, header_.dispersion))
      return;

    // The wavelength scale and the calibration checks. The "Lambda
    // 0" check tests the keyword's own value; the dispersion check the span
    // from pixel 0 to the last sample but one.
    const double naxis1 = header_.naxis1;
    const Calibration calibration = CalibrateWavelengths(cards_, keywords_.lambda0, keywords_.dispersion,
                                                         header_.lambda0, header_.dispersion, naxis1, Quoted(label_));
    const WavelengthScale scale = calibration.scale;
    const double lambda0 = scale.At(0);
    header_.lambda0 = lambda0;
    header_.dispersion = calibration.dispersion;
    // The ends of the spectrum, short wavelength first: pixel 0 and the last
    // sample, in either order.
    const double last_lambda = scale.logarithmic ? scale.At(naxis1) : lambda0 + scale.step * naxis1;
    const double lambda_low = std::min(lambda0, last_lambda);
    const double lambda_high = std::max(lambda0, last_lambda);
    header_.lambda_start = lambda_low;
    const double provisional_end = scale.logarithmic ? scale.At(naxis1 - 1) : lambda0 + scale.step * (naxis1 - 1);
    if (std::fabs(calibration.keyword_lambda0) < 0.001) Show(kNoLambda0Message);
    if (std::fabs(provisional_end - lambda0) < 0.001) Show(kNoDispersionMessage);
    for (const std::string& warning : calibration.warnings) Show(warning);
    WarnOfImageOrMultispec();

    // The samples.
    const double bitpix = header_.bitpix;
    const int width = (std::fabs(bitpix) <= 64 && bitpix == std::trunc(bitpix))
                          ? BytesPerSample(static_cast<int64_t>(bitpix))
                          : 0;
    if (width == 0) {
      return Show("The file " + Quoted(label_) + " has BITPIX = " + NumberText(bitpix) +
                  ". Quillon reads only 16-bit and 32-bit integer and 32-bit and 64-bit floating-point "
                  "samples (BITPIX 16, 32, -32 or -64).");
    }
    const int64_t n = RoundToInt64(naxis1);
    if (!CheckDataSize(n, width)) return;
    // The physical values BZERO + BSCALE x stored; NaN, infinities and
    // BLANK are missing samples.
    SampleScaling scaling;
    if (has_bscale) scaling.bscale = header_.bscale;
    scaling.bzero = header_.bzero;
    if (bitpix > 0) {
      if (const auto blank = cards_.LastValue("BLANK")) {
        const LenientNumber value = ParseLenientNumber(*blank);
        if (value.finite && value.value == std::trunc(value.value) && std::fabs(value.value) < 9.2e18)
          scaling.blank = static_cast<int64_t>(value.value);
      }
    }
    // The data block is read a piece at a time into one buffer that stays
    // in the cache, and decoded a few thousand samples at a time into a
    // buffer in the first-level cache, where their block maxima for the
    // level are taken, before they are appended: the long array is written
    // once, never zeroed first, and no second copy of a long file's bytes
    // is ever made.
    // The scratch arrays take the samples and their levels; the spectrum
    // takes them once every check has passed.
    // Whatever way the read ends, the scratch does not keep a very long
    // spectrum's room (see kScratchKeptBytes).
    struct ScratchTrim {
      ReaderScratch& scratch;
      ~ScratchTrim() {
        DropLargerThan(scratch.intensity, kScratchKeptBytes);
        DropLargerThan(scratch.levelled, kScratchKeptBytes);
      }
    } trim{scratch_};
    SampleArray& samples = scratch_.intensity;
    SampleArray& levelled = scratch_.levelled;
    DropOversized(samples, static_cast<std::size_t>(n) + 1);
    DropOversized(levelled, static_cast<std::size_t>(n) + 1);
    const bool new_samples = ReserveLarge(samples, static_cast<std::size_t>(n) + 1);
    const bool new_levelled = ReserveLarge(levelled, static_cast<std::size_t>(n) + 1);
    LevelSummary::Blocks bottom;
    bottom.Reserve(n);
    // New storage is given its pages by the system on a second thread while
    // this one decodes: the second half of the samples (this thread starts
    // at the first), the levelled values and the summary's bottom level.
    BackgroundPrefault prefault;
    const auto bytes = static_cast<std::size_t>(n + 1) * sizeof(double);
    if (new_samples) prefault.Add(samples.data() + (n + 1) / 2, bytes - static_cast<std::size_t>((n + 1) / 2) * sizeof(double));
    if (new_levelled) prefault.Add(levelled.data(), bytes);
    prefault.Add(bottom.low.data(), bottom.low.capacity() * sizeof(double));
    prefault.Add(bottom.high.data(), bottom.high.capacity() * sizeof(double));
    prefault.Start();
    samples.push_back(0);
    // Both buffers hold whole 50-sample blocks, so that no block of the
    // level straddles two of them.
    constexpr int64_t kStaged = 40 * kPeakBlockLength;
    const int64_t piece = std::min(n, kDecodePieceBytes / width / kStaged * kStaged);
    std::vector<double>& peaks = scratch_.peaks;
    DropOversized(peaks, static_cast<std::size_t>(n / kPeakBlockLength) + 2);
    peaks.clear();
    peaks.reserve(static_cast<std::size_t>(n / kPeakBlockLength) + 2);
    peaks.push_back(0);
    std::vector<unsigned char> block(static_cast<std::size_t>(piece * width));
    double staged[kStaged];
    int64_t missing = 0;
    for (int64_t done = 0; done < n;) {
      const int64_t count = std::min(piece, n - done);
      if (!source_.Read(result_.data_offset + done * width, count * width, block.data(), error))
        return ReadFailure(error);
      for (int64_t first = 0; first < count; first += kStaged) {
        const int64_t m = std::min(kStaged, count - first);
        missing += DecodeSamplesInto(block.data() + first * width, m, static_cast<int64_t>(bitpix), scaling, staged);
        AppendBlockPeaksOfPresent(staged, m, peaks);
        samples.insert(samples.end(), staged, staged + m);
      }
      done += count;
    }
    block = {};
    result_.missing = missing;
    if (missing == n) {
      return Show("Every sample of " + Quoted(label_) +
                  " is missing (not a number, infinite or equal to BLANK), so there is nothing to draw; the "
                  "file cannot be shown.");
    }
    if (scaling.bscale != 1 || scaling.bzero != 0) {
      if (const int64_t beyond = FirstInfinite(samples, n); beyond != 0) {
        return Show("Sample " + std::to_string(beyond) + " of " + Quoted(label_) +
                    " is beyond the range of numbers once scaled by BSCALE and BZERO; the file cannot be shown.");
      }
    }

    // Wavelength range of the spectrum.
    if (!std::isfinite(lambda_low) || !std::isfinite(lambda_high) || (scale.logarithmic && !(lambda_low > 0))) {
      return Show("The wavelength scale of " + Quoted(label_) +
                  " reaches beyond the range of numbers; the file cannot be shown.");
    }

    // Statistics. Missing samples are left out of the block
    // maxima, which were taken as the samples were decoded.
    const Levelling levelling = LevelSamplesByPeaks(samples, n, peaks, levelled, bottom);
    if (levelling.outcome != Levelling::Outcome::kLevelled)
      return Show(LevellingRefusal(levelling, Quoted(label_), "the file"));

    // Every check has passed: the spectrum takes the arrays.
    auto spectrum = std::make_shared<Spectrum>();
    spectrum->file_name = label_;
    spectrum->origin.file = label_;
    spectrum->header = std::move(header_);
    spectrum->scale = scale;
    spectrum->lambda_start = lambda_low;
    spectrum->lambda_end = lambda_high;
    TakeLevelled(*spectrum, levelling, missing, std::move(samples), std::move(levelled), std::move(bottom));
    samples.clear();
    levelled.clear();
    result_.spectrum = std::move(spectrum);
  }

  void Show(const std::string& text) { result_.messages.push_back(text); }

  // A primary array that holds no samples (NAXIS = 0, no NAXIS1 card, or a
  // NAXIS1 of 0 or less) gets one message and ends the load.
  bool RefuseEmptyPrimary() {
    const std::optional<std::string> naxis = cards_.LastValue("NAXIS");
    const std::optional<std::string> naxis1 = cards_.LastValue("NAXIS1");
    const char* const elsewhere =
        " Its spectrum, if it has one, lies in an extension or a table after the primary header, which Quillon "
        "does not read; Quillon shows spectra stored as the primary array.";
    if (naxis && ParseLenientNumber(*naxis).finite && ParseLenientNumber(*naxis).value == 0) {
      Show("The file " + Quoted(label_) + " holds no data in its primary array (NAXIS = 0)." + elsewhere);
      return true;
    }
    if (!naxis1) {
      Show("The header of " + Quoted(label_) + " has no NAXIS1 card, so its primary array holds no samples." +
           elsewhere);
      return true;
    }
    const LenientNumber count = ParseLenientNumber(*naxis1);
    if (count.finite && RoundToInt64(count.value) <= 0) {
      Show("The header of " + Quoted(label_) + " gives NAXIS1 = " + NumberText(count.value) +
           ", so the file holds no samples to show.");
      return true;
    }
    // An image with an axis of length 0 holds no data either; what follows
    // its header belongs to the next unit of the file.
    const int64_t axes = naxis ? RoundToInt64(ParseLenientNumber(*naxis).value) : 0;
    for (int64_t k = 2; k <= axes && k <= 999; ++k) {
      const std::string name = "NAXIS" + std::to_string(k);
      const std::optional<std::string> size = cards_.LastValue(name);
      if (size && RoundToInt64(ParseLenientNumber(*size).value) == 0) {
        Show("The header of " + Quoted(label_) + " gives " + name +
             " = 0, so its primary array holds no samples." + elsewhere);
        return true;
      }
    }
    return false;
  }

  // One warning for a file with more than one row (only the first is drawn)
  // and for an IRAF multispec file, whose wavelengths are not CRVAL1 and CD1_1.
  void WarnOfImageOrMultispec() {
    std::string text;
    const int64_t axes = RoundToInt64(header_.naxis);
    if (axes >= 2 && axes <= 999) {
      std::string dims;
      double rows = 1;
      for (int64_t k = 1; k <= axes; ++k) {
        const std::optional<std::string> value = cards_.LastValue("NAXIS" + std::to_string(k));
        const double size = value ? ParseLenientNumber(*value).value : 0;
        if (k >= 2) rows *= size;
        dims += (k == 1 ? "" : " x ") + NumberText(size);
      }
      if (rows != 1) text = "The file " + Quoted(label_) + " holds a " + dims + " image; only its first row is drawn.";
    }
    const std::string ctype = UnquotedValue(cards_.LastValue("CTYPE1").value_or(""));
    std::string system = cards_.LastValue("WAT0_001").value_or("");
    for (char& c : system) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (ctype == "MULTISPE" || system.find("system=multispec") != std::string::npos) {
      text += text.empty() ? "The file " + Quoted(label_) + " is an IRAF multispec spectrum"
                           : " It is an IRAF multispec spectrum";
      text += ": its wavelengths are given by its WAT cards, not by CRVAL1 and CD1_1, so the wavelengths drawn are "
              "not its own.";
    }
    if (!text.empty()) Show(text);
  }

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
  // in the header text) do not fit that count and refuse the file.
  std::optional<HeaderCards> ReadCards(int64_t text_length) {
    const int64_t card_count = result_.text_card_count;
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
    const std::optional<std::string> value = cards_.LastValue(name);
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
    const int64_t offset = result_.data_offset;
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

  ByteSource& source_;
  const std::string& label_;
  const CalibrationKeywords& keywords_;
  ReaderScratch& scratch_;
  HeaderCards cards_;
  SpectrumHeader header_;
  ReadResult result_;
};

}  // namespace

ReadResult ReadSpectrum(ByteSource& source, const std::string& file_label, const CalibrationKeywords& keywords,
                        ReaderScratch* scratch) {
  ReaderScratch own;
  return Reader(source, file_label, keywords, scratch != nullptr ? *scratch : own).Run();
}

ReadResult ReadSpectrumFile(const std::string& path, const std::string& file_label,
                            const CalibrationKeywords& keywords, ReaderScratch* scratch) {
  std::string reason;
  std::unique_ptr<FileSource> source = FileSource::Open(path, reason);
  if (!source) {
    ReadResult refused;
    refused.messages.push_back("The file " + Quoted(path) + " cannot be read: " + reason + ".");
    return refused;
  }
  return ReadSpectrum(*source, file_label, keywords, scratch);
}

void RecycleSpectrum(SpectrumPtr&& spectrum, ReaderScratch& scratch) {
  SpectrumPtr old = std::move(spectrum);
  if (old == nullptr || old.use_count() != 1) return;
  // Nobody else can see it any more: its arrays, their pages already
  // touched, take the next read, as long as they are modest. The spectrum
  // was made by make_shared<Spectrum> and is not const itself.
  const auto owned = std::const_pointer_cast<Spectrum>(old);
  if (owned->intensity.capacity() * sizeof(double) <= kScratchKeptBytes) scratch.intensity.swap(owned->intensity);
  if (owned->levelled.capacity() * sizeof(double) <= kScratchKeptBytes) scratch.levelled.swap(owned->levelled);
}

}  // namespace quillon
