#pragma once
// ReadSpectrum: turns the bytes of one FITS file into a Spectrum, or into a
// refusal, each with the messages a user is to see, in order. It knows no
// slot, window, redraw or working folder: whoever calls it decides what a
// spectrum or a refusal changes.

#include <cstdint>
#include <string>
#include <vector>

#include "fits/byte_source.h"
#include "spectrum/spectrum.h"

namespace quillon {

/// The names of the header keywords that hold the wavelength of pixel 0 and
/// the step per pixel, compared with the cards exactly as given.
struct CalibrationKeywords {
  std::string lambda0 = "CRVAL1";
  std::string dispersion = "CD1_1";
};

/// Arrays a read fills instead of taking new memory, so that reading a
/// spectrum again finds its pages already touched. Only ever modest: a read
/// leaves nothing longer than 4 M samples in it, however it ends.
struct ReaderScratch {
  SampleArray intensity;
  SampleArray levelled;
  std::vector<double> peaks;  ///< block maxima of the level
};

/// What one read made of a file.
struct ReadResult {
  /// The spectrum; null when the file was refused.
  SpectrumPtr spectrum;
  /// Refusals and warnings in the order they arose; a refusal is the last.
  std::vector<std::string> messages;

  /// How far the reader came with the header. A refused file leaves what
  /// had been read: its first keyword, or the whole header table up to the
  /// refusal (`header`).
  enum class Reached { kNothing, kFirstKeyword, kHeader };
  Reached reached = Reached::kNothing;
  std::string first_keyword;
  /// The header as read so far when the file was refused; an accepted
  /// file's header is `spectrum->header`.
  SpectrumHeader header;

  bool file_read = false;       ///< the file was opened and its header text read
  int64_t text_card_count = 0;  ///< length of the header text / 80, halves to even
  int64_t data_offset = 0;      ///< 0-based offset of the first sample (bytes)
  int64_t missing = 0;          ///< samples that are missing (NaN in the arrays)
  /// Refused because the primary array holds no samples: a spectrum may lie
  /// in an extension (spectrum_layouts.h reads those).
  bool empty_primary = false;
};

/// Reads the bytes of `source`, naming the file `file_label` in messages.
/// `scratch`, when given, lends its arrays to the spectrum and takes back
/// nothing; see RecycleSpectrum. Throws nothing for bad input; a lack of
/// memory is a refusal with its own message.
ReadResult ReadSpectrum(ByteSource& source, const std::string& file_label, const CalibrationKeywords& keywords,
                        ReaderScratch* scratch = nullptr);

/// Opens `path` and reads it as ReadSpectrum does, naming it `file_label`.
/// A file that cannot be opened is one message naming `path`.
ReadResult ReadSpectrumFile(const std::string& path, const std::string& file_label,
                            const CalibrationKeywords& keywords, ReaderScratch* scratch = nullptr);

/// Hands the arrays of `spectrum` to `scratch` when nobody else holds the
/// spectrum any more and they are modest (4 M samples at most); otherwise
/// just lets go of it.
void RecycleSpectrum(SpectrumPtr&& spectrum, ReaderScratch& scratch);

/// The texts of the reader's fixed messages.
inline constexpr const char* kNotFitsMessage = "This is not a fits file!  Please try again.";
inline constexpr const char* kEightBitMessage =
    "Sorry, this program does not support 8-bit integer data.  Convert to 16-bit unsigned.";
inline constexpr const char* kSignedSixteenMessage =
    "Your data are signed (16-bit) integer. They work as long as all values are < 32768.  Unsigned "
    "(16-bit) integer data type is recommended.";
inline constexpr const char* kNoLambda0Message = "You need to set the keyword for Lambda 0.";
inline constexpr const char* kNoDispersionMessage = "You need to set the keyword for dLambda/dP.";

}  // namespace quillon
