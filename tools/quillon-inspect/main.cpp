// quillon-inspect: reads FITS files with the viewer's own reader and prints
// what the viewer makes of them: the messages it would show and the values a
// slot would hold, under the viewer's names for them. No Qt, no window.
//
//   quillon-inspect [--keywords LAMBDA0 DISPERSION] [--text] [--cards] FILE...
//   quillon-inspect --list FILE...
//
// By default one JSON object a file, one a line, with the slot's fields named
// as the program names them; --text prints the same for a reader. A FILE may
// be an address of one spectrum of a file (file.fits[COADD],
// file.fits[SCI][row 2], file.fits[SPEC1D][col BOX_COUNTS], the aperture
// file.fits[ap 5] of an IRAF multispec image); --list prints
// one JSON object a spectrum of each file, in file order.
//
// Exit status: 0 when every file was read (refused ones included), 1 for
// wrong arguments, 2 when a file could not be opened or read, 3 when the
// output could not be written.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fits/gzip_source.h"
#include "spectrum/spectrum_layouts.h"
#include "spectrum/spectrum_reader.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

namespace quillon {
namespace {

constexpr const char* kUsage =
    "usage: quillon-inspect [--keywords LAMBDA0 DISPERSION] [--text] [--cards] FILE...\n"
    "       quillon-inspect --list FILE...\n"
    "Loads each FITS FILE as the Quillon viewer does and prints what it makes of it,\n"
    "one JSON object a file, one a line. FILE may name one spectrum of a file:\n"
    "file.fits[1], file.fits[COADD], file.fits[EXTRACT1D,2], file.fits[SCI][row 3],\n"
    "file.fits[SPEC1D][col BOX_COUNTS] (HDUs and rows count from 0), file.fits[ap 5]\n"
    "(an aperture of an IRAF multispec image, by its aperture number).\n"
    "  --list          print one JSON object for every spectrum of each file\n"
    "  --keywords L D  take the wavelength of pixel 0 from keyword L and the step\n"
    "                  per pixel from keyword D (default CRVAL1 CD1_1)\n"
    "  --text          print plain text for a reader instead of JSON\n"
    "  --cards         print the header cards as well\n"
    "  --help          print this text;  --version  print the version\n"
    "Exit status: 0 every file was read (refused ones included), 1 wrong arguments,\n"
    "2 a file could not be opened or read, 3 the output could not be written.\n";

enum ExitStatus : int { kAllRead = 0, kBadArguments = 1, kUnreadableFile = 2, kOutputFailed = 3 };

struct Options {
  std::string lambda0 = "CRVAL1";
  std::string dispersion = "CD1_1";
  bool cards = false;
  bool text = false;
  bool help = false;
  bool version = false;
  bool list = false;
  std::vector<std::string> files;
};

// Returns an error text, or "" when the arguments are sound. Options may
// stand before, between or after the files; "--" ends them.
std::string ParseArguments(const std::vector<std::string>& args, Options& o) {
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.empty()) return "an empty file name";
    if (options_done || a[0] != '-' || a == "-") {
      o.files.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "--keywords") {
      // Keyword names are compared with the cards as given: case and blanks count.
      if (i + 2 >= args.size())
        return "--keywords needs two keyword names, LAMBDA0 and DISPERSION";
      o.lambda0 = args[++i];
      o.dispersion = args[++i];
      if (o.lambda0.empty() || o.dispersion.empty()) return "--keywords needs two keyword names, not empty ones";
    } else if (a == "--text") {
      o.text = true;
    } else if (a == "--list") {
      o.list = true;
    } else if (a == "--cards") {
      o.cards = true;
    } else if (a == "--json") {
      o.text = false;  // the default; kept so that older scripts still run
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else {
      return "unknown option " + a;
    }
  }
  if (!o.help && !o.version && o.files.empty()) return "no FITS file given";
  return "";
}

// ---- Output ---------------------------------------------------------------

// Seventeen significant digits, so that every double reads back unchanged;
// integers print without a point ("-32", "3000").
std::string Number(double value) {
  if (!std::isfinite(value)) return value != value ? "nan" : (value > 0 ? "inf" : "-inf");
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

std::string Hex2(unsigned char byte) {
  constexpr const char* kDigits = "0123456789abcdef";
  return {kDigits[byte >> 4], kDigits[byte & 15]};
}

// Plain text: control bytes and the backslash are written as escapes, so a
// header cannot move the terminal's cursor or fake a line of output.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x" + Hex2(byte);
    } else {
      out += c;
    }
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  std::size_t length = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

// A JSON string. Header bytes that are not UTF-8 are taken as Latin-1, one
// character per byte as the loader reads them, so the output is always
// valid JSON.
std::string Json(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += text[i++];
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00" + Hex2(byte);
      ++i;
    } else if (byte < 0x80) {
      out += text[i++];
    } else if (const std::size_t length = Utf8Length(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\\u00" + Hex2(byte);
      ++i;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) { return std::isfinite(value) ? Number(value) : "null"; }

std::string TrimTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// ---- Loading --------------------------------------------------------------

struct Inspection {
  std::string file;  // as given on the command line
  std::vector<std::string> messages;
  ReadResult read;
  bool loaded() const { return read.spectrum != nullptr; }
  // The spectrum's values, or those of a spectrum that was never read: a
  // refused file shows 0 and no samples there.
  const Spectrum& spectrum() const {
    static const Spectrum kNone;
    return read.spectrum ? *read.spectrum : kNone;
  }
  // What the header reading stored: all of it once the card table was read.
  const SpectrumHeader& header() const {
    static const SpectrumHeader kNone;
    if (read.spectrum) return read.spectrum->header;
    return read.reached == ReadResult::Reached::kHeader ? read.header : kNone;
  }
};

// Reads the file as the viewer loads it: its folder entered first, then the
// reader with the chosen calibration keywords.
void Inspect(const std::filesystem::path& absolute, const Options& options, Inspection& out) {
  std::filesystem::path path = absolute;
  if (path.filename().empty()) path = path.parent_path();  // "folder/": the reader reports the folder
  const std::string folder = path.parent_path().string();
  const std::string name = path.filename().string();
  if (name.empty()) {  // the root folder: the viewer would skip it without a word
    out.messages.push_back("The file \"" + absolute.string() + "\" cannot be read: it is a folder, not a file.");
    return;
  }
  std::error_code ec;
  std::filesystem::current_path(folder, ec);
  if (ec) {
    out.messages.push_back("The folder \"" + folder + "\" cannot be opened: " + ec.message() + ".");
    return;
  }
  try {
    // Read as the viewer reads it: a plain name is the primary array, or
    // the first spectrum after it when the primary holds none; an address
    // names one spectrum of the file.
    out.read = ReadSpectrumAt(path.string(), name, {options.lambda0, options.dispersion});
  } catch (const std::exception& error) {
    out.read.messages.push_back(std::string("Quillon could not load the file: ") + error.what());
  }
  out.messages = std::move(out.read.messages);
}

// The cards the read stored for the file (the END card included), if any.
std::vector<std::string> StoredCards(const Inspection& r) {
  const CardArray& cards = r.header().cards;
  if (cards.size() <= 1) return {};
  return std::vector<std::string>(cards.begin() + 1, cards.end());
}

void PrintText(const Inspection& r, const Options& options, std::ostream& out) {
  const SpectrumHeader& h = r.header();
  const Spectrum& s = r.spectrum();
  out << "file: " << Printable(r.file) << "\n";
  for (const std::string& message : r.messages) out << "message: " << Printable(message) << "\n";
  out << "loaded: " << (r.loaded() ? "yes" : "no") << "\n";
  if (r.loaded()) {
    out << "object: \"" << Printable(h.object) << "\"\n"
        << "bitpix: " << Number(h.bitpix) << "\n"
        << "naxis1: " << Number(h.naxis1) << "\n"
        << "lambda0 (" << Printable(options.lambda0) << "): " << Number(h.lambda0) << "\n"
        << "dispersion (" << Printable(options.dispersion) << "): " << Number(h.dispersion) << "\n"
        << "wavelength start: " << Number(s.lambda_start) << "\n"
        << "wavelength end: " << Number(s.lambda_end) << "\n"
        << "level: " << Number(s.norm) << "\n"
        << "levelled max: " << Number(s.levelled_max) << "\n"
        << "header cards: " << h.line_count << "\n"
        << "text cards: " << r.read.text_card_count << "\n"
        << "data offset: " << r.read.data_offset << "\n"
        << "wavelength scale: " << (s.DrawnScale().logarithmic ? "logarithmic" : "linear") << "\n"
        << "missing samples: " << r.read.missing << "\n";
    if (s.origin.hdu != 0 || !s.wavelengths.empty()) out << "flagged samples: " << s.flagged << "\n";
  }
  if (options.cards) {
    const std::vector<std::string> cards = StoredCards(r);
    for (std::size_t n = 0; n < cards.size(); ++n)
      out << "card " << n + 1 << ": " << Printable(TrimTrailingBlanks(cards[n])) << "\n";
  }
}

// The samples 1..n of the spectrum: none for a refused file.
void PrintJsonSamples(const char* name, const SampleArray& samples, std::ostream& out) {
  out << ",\"" << name << "\":[";
  for (std::size_t i = 1; i < samples.size(); ++i) out << (i > 1 ? "," : "") << JsonNumber(samples[i]);
  out << "]";
}

// The field names are the viewer's names for a slot's values.
void PrintJson(const Inspection& r, const Options& options, std::ostream& out) {
  const SpectrumHeader& h = r.header();
  const Spectrum& s = r.spectrum();
  out << "{\"file\":" << Json(r.file) << ",\"refused\":" << (r.loaded() ? "false" : "true") << ",\"messages\":[";
  for (std::size_t i = 0; i < r.messages.size(); ++i) out << (i ? "," : "") << Json(r.messages[i]);
  out << "],\"HeaderLineCount\":" << h.line_count << ",\"TextCardCount\":" << r.read.text_card_count
      << ",\"DataOffset\":" << r.read.data_offset << ",\"SlotBitpix\":" << JsonNumber(h.bitpix)
      << ",\"SlotNaxis1\":" << JsonNumber(h.naxis1) << ",\"SlotBzero\":" << JsonNumber(h.bzero)
      << ",\"SlotObject\":" << Json(h.object) << ",\"SlotLambda0\":" << JsonNumber(h.lambda0)
      << ",\"SlotDispersion\":" << JsonNumber(h.dispersion)
      << ",\"SlotLambdaStart\":" << JsonNumber(h.lambda_start)
      << ",\"SlotLambdaEnd\":" << JsonNumber(s.lambda_end) << ",\"SlotNorm\":" << JsonNumber(s.norm)
      << ",\"SlotLevelledMax\":" << JsonNumber(s.levelled_max);
  PrintJsonSamples("SlotIntensity", s.intensity, out);
  PrintJsonSamples("SlotLevelled", s.levelled, out);
  // Where each sample lies, in Angstroms, and how many are missing (null above).
  out << ",\"Wavelength\":[";
  if (r.loaded() && !s.wavelengths.empty()) {
    // A spectrum from a table: each sample's own wavelength, in stored order.
    for (std::size_t i = 1; i < s.wavelengths.size(); ++i) out << (i > 1 ? "," : "") << JsonNumber(s.wavelengths[i]);
  } else if (r.loaded()) {
    const WavelengthScale scale = s.DrawnScale();
    const std::size_t n = s.intensity.size();
    for (std::size_t i = 1; i < n; ++i) out << (i > 1 ? "," : "") << JsonNumber(scale.At(static_cast<double>(i)));
  }
  out << "],\"Missing\":" << (r.loaded() ? r.read.missing : 0);
  // A spectrum from an extension, a table or a multispec aperture: its
  // 1-sigma uncertainty (null where there is none) and its samples flagged as
  // bad. A primary-image spectrum prints neither.
  if (r.loaded() && (s.origin.hdu != 0 || !s.wavelengths.empty())) {
    out << ",\"Uncertainty\":";
    if (s.uncertainty.empty()) {
      out << "null";
    } else {
      out << "[";
      for (std::size_t i = 1; i < s.uncertainty.size(); ++i) out << (i > 1 ? "," : "") << JsonNumber(s.uncertainty[i]);
      out << "]";
    }
    out << ",\"Flagged\":" << s.flagged;
  }
  if (options.cards) {
    const std::vector<std::string> cards = StoredCards(r);
    out << ",\"cards\":[";
    for (std::size_t n = 0; n < cards.size(); ++n) out << (n ? "," : "") << Json(TrimTrailingBlanks(cards[n]));
    out << "]";
  }
  out << "}\n";
}

// --list: one line a spectrum of the file, or the file's refusal line as
// its inspection prints it. Returns false when the file cannot be opened.
bool PrintList(const std::string& file, const std::filesystem::path& absolute, const Options& options,
               std::ostream& out) {
  std::string reason;
  std::unique_ptr<ByteSource> source = OpenFitsBytes(absolute.string(), reason);
  if (source) {
    const SpectrumList list = ListSpectra(*source, file);
    if (!list.spectra.empty()) {
      for (const SpectrumListEntry& e : list.spectra) {
        const bool wavelength = e.axis == SpectralAxis::kWavelength && std::isfinite(e.wave_first);
        out << "{\"file\":" << Json(file) << ",\"address\":" << Json(e.address) << ",\"hdu\":" << e.origin.hdu
            << ",\"extname\":" << Json(e.origin.extname) << ",\"row\":"
            << (e.origin.row >= 0 ? std::to_string(e.origin.row) : "null") << ",\"n\":" << e.n
            << ",\"wave_first\":" << (wavelength ? JsonNumber(e.wave_first) : "null")
            << ",\"wave_last\":" << (wavelength ? JsonNumber(e.wave_last) : "null")
            << ",\"wave_unit\":" << Json(e.wave_unit) << ",\"flux_unit\":" << Json(e.flux_unit)
            << ",\"axis\":" << Json(SpectralAxisWord(e.axis))
            << ",\"uncertainty\":" << (e.uncertainty ? "true" : "false") << ",\"flagged\":" << e.flagged
            << ",\"aperture\":" << (e.aperture ? std::to_string(*e.aperture) : "null") << "}\n";
      }
      return true;
    }
  }
  auto inspection = std::make_unique<Inspection>();
  inspection->file = file;
  Inspect(absolute, options, *inspection);
  PrintJson(*inspection, options, out);
  return inspection->read.file_read;
}

int Run(int argc, char** argv) {
  Options options;
  const std::string error = ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!error.empty()) {
    std::cerr << "quillon-inspect: " << error << "\n" << kUsage;
    return kBadArguments;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "quillon-inspect " << QUILLON_VERSION << "\n";
    return 0;
  }

  // Every load makes its file's folder current, so relative names are fixed first.
  std::vector<std::filesystem::path> paths;
  for (const std::string& file : options.files) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    paths.push_back(ec ? std::filesystem::path(file) : absolute);
  }

  bool all_read = true;
  for (std::size_t i = 0; i < paths.size() && options.list; ++i) {
    if (!PrintList(options.files[i], paths[i], options, std::cout)) all_read = false;
  }
  for (std::size_t i = 0; i < paths.size() && !options.list; ++i) {
    auto inspection = std::make_unique<Inspection>();
    inspection->file = options.files[i];
    Inspect(paths[i], options, *inspection);
    if (!inspection->read.file_read) all_read = false;
    if (options.text) {
      if (i > 0) std::cout << "\n";
      PrintText(*inspection, options, std::cout);
    } else {
      PrintJson(*inspection, options, std::cout);
    }
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "quillon-inspect: cannot write the output\n";
    return kOutputFailed;
  }
  return all_read ? kAllRead : kUnreadableFile;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) { return quillon::Run(argc, argv); }
