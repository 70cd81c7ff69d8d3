// quillon-inspect: loads FITS files with the viewer's own loader, each into
// slot 1 of a fresh shared state, and prints what the viewer makes of them:
// the messages it would show and the slot it would hold. No Qt, no window.
//
//   quillon-inspect [--keywords LAMBDA0 DISPERSION] [--text] [--cards] FILE...
//
// By default one JSON object a file, one a line, with the slot's fields named
// as the program names them; --text prints the same for a reader.
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

#include "spectrum/spectrum_reader.h"
#include "session/shared_state.h"
#include "session/window_services.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

namespace quillon {
namespace {

constexpr const char* kUsage =
    "usage: quillon-inspect [--keywords LAMBDA0 DISPERSION] [--text] [--cards] FILE...\n"
    "Loads each FITS FILE as the Quillon viewer does and prints what it makes of it,\n"
    "one JSON object a file, one a line.\n"
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

class MessageRecorder : public MessageSink, public RowDisplay, public PlotRedraw {
 public:
  std::vector<std::string> messages;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowLoadedRow(int16_t) override {}
  void SetOffsetText(int16_t, const std::string&) override {}
  void RenderPlot() override {}
};

struct Inspection {
  std::string file;  // as given on the command line
  std::vector<std::string> messages;
  bool loaded = false;
  FitsLoadDetails details;
  SharedState state;
};

constexpr int16_t kSlot = 1;

void Inspect(const std::filesystem::path& absolute, const Options& options, Inspection& out) {
  SharedState& state = out.state;
  state.KeywordLambda0 = options.lambda0;
  state.KeywordDispersion = options.dispersion;
  state.CurrentSlot = kSlot;
  std::filesystem::path path = absolute;
  if (path.filename().empty()) path = path.parent_path();  // "folder/": the loader reports the folder
  state.FitsDirectory = path.parent_path().string();
  state.SlotFileName[kSlot] = path.filename().string();
  MessageRecorder recorder;
  if (state.SlotFileName[kSlot].empty()) {  // the root folder: the loader would skip it without a word
    out.messages.push_back("The file \"" + absolute.string() + "\" cannot be read: it is a folder, not a file.");
    return;
  }
  try {
    out.details = LoadFitsSpectrumDetailed(state, kSlot, recorder, recorder, recorder);
  } catch (const std::exception& error) {
    recorder.messages.push_back(std::string("Quillon could not load the file: ") + error.what());
  }
  out.messages = std::move(recorder.messages);
  out.loaded = out.details.published && IsSet(state.SlotLoaded[kSlot]);
}

// The cards the load stored for the file (the END card included), if any.
std::vector<std::string> StoredCards(const SharedState& state) {
  const CardArray& cards = state.HeaderCard[kSlot];
  if (cards.size() <= 1) return {};
  return std::vector<std::string>(cards.begin() + 1, cards.end());
}

void PrintText(const Inspection& r, const Options& options, std::ostream& out) {
  const SharedState& s = r.state;
  out << "file: " << Printable(r.file) << "\n";
  for (const std::string& message : r.messages) out << "message: " << Printable(message) << "\n";
  out << "loaded: " << (r.loaded ? "yes" : "no") << "\n";
  if (r.loaded) {
    out << "object: \"" << Printable(s.SlotObject[kSlot]) << "\"\n"
        << "bitpix: " << Number(s.SlotBitpix[kSlot]) << "\n"
        << "naxis1: " << Number(s.SlotNaxis1[kSlot]) << "\n"
        << "lambda0 (" << Printable(s.KeywordLambda0) << "): " << Number(s.SlotLambda0[kSlot]) << "\n"
        << "dispersion (" << Printable(s.KeywordDispersion) << "): " << Number(s.SlotDispersion[kSlot]) << "\n"
        << "wavelength start: " << Number(s.SlotLambdaStart[kSlot]) << "\n"
        << "wavelength end: " << Number(s.SlotLambdaEnd[kSlot]) << "\n"
        << "level: " << Number(s.SlotNorm[kSlot]) << "\n"
        << "levelled max: " << Number(s.SlotLevelledMax[kSlot]) << "\n"
        << "header cards: " << s.HeaderLineCount[kSlot] << "\n"
        << "text cards: " << r.details.text_card_count << "\n"
        << "data offset: " << r.details.data_offset << "\n"
        << "wavelength scale: " << (SlotWavelengthScale(s, kSlot).logarithmic ? "logarithmic" : "linear") << "\n"
        << "missing samples: " << r.details.missing << "\n";
  }
  if (options.cards) {
    const std::vector<std::string> cards = StoredCards(s);
    for (std::size_t n = 0; n < cards.size(); ++n)
      out << "card " << n + 1 << ": " << Printable(TrimTrailingBlanks(cards[n])) << "\n";
  }
}

// The slot's samples 1..n as the load left them: none for a refused file,
// since a fresh state holds none and a refusal publishes nothing.
void PrintJsonSamples(const char* name, const SampleArray& samples, std::ostream& out) {
  out << ",\"" << name << "\":[";
  for (std::size_t i = 1; i < samples.size(); ++i) out << (i > 1 ? "," : "") << JsonNumber(samples[i]);
  out << "]";
}

void PrintJson(const Inspection& r, const Options& options, std::ostream& out) {
  const SharedState& s = r.state;
  out << "{\"file\":" << Json(r.file) << ",\"refused\":" << (r.loaded ? "false" : "true") << ",\"messages\":[";
  for (std::size_t i = 0; i < r.messages.size(); ++i) out << (i ? "," : "") << Json(r.messages[i]);
  out << "],\"HeaderLineCount\":" << s.HeaderLineCount[kSlot] << ",\"TextCardCount\":" << r.details.text_card_count
      << ",\"DataOffset\":" << r.details.data_offset << ",\"SlotBitpix\":" << JsonNumber(s.SlotBitpix[kSlot])
      << ",\"SlotNaxis1\":" << JsonNumber(s.SlotNaxis1[kSlot]) << ",\"SlotBzero\":" << JsonNumber(s.SlotBzero[kSlot])
      << ",\"SlotObject\":" << Json(s.SlotObject[kSlot]) << ",\"SlotLambda0\":" << JsonNumber(s.SlotLambda0[kSlot])
      << ",\"SlotDispersion\":" << JsonNumber(s.SlotDispersion[kSlot])
      << ",\"SlotLambdaStart\":" << JsonNumber(s.SlotLambdaStart[kSlot])
      << ",\"SlotLambdaEnd\":" << JsonNumber(s.SlotLambdaEnd[kSlot]) << ",\"SlotNorm\":" << JsonNumber(s.SlotNorm[kSlot])
      << ",\"SlotLevelledMax\":" << JsonNumber(s.SlotLevelledMax[kSlot]);
  PrintJsonSamples("SlotIntensity", s.SlotIntensity[kSlot], out);
  PrintJsonSamples("SlotLevelled", s.SlotLevelled[kSlot], out);
  // Where each sample lies, in Angstroms, and how many are missing (null above).
  out << ",\"Wavelength\":[";
  if (r.loaded) {
    const WavelengthScale scale = SlotWavelengthScale(s, kSlot);
    const std::size_t n = s.SlotIntensity[kSlot].size();
    for (std::size_t i = 1; i < n; ++i) out << (i > 1 ? "," : "") << JsonNumber(scale.At(static_cast<double>(i)));
  }
  out << "],\"Missing\":" << (r.loaded ? r.details.missing : 0);
  if (options.cards) {
    const std::vector<std::string> cards = StoredCards(s);
    out << ",\"cards\":[";
    for (std::size_t n = 0; n < cards.size(); ++n) out << (n ? "," : "") << Json(TrimTrailingBlanks(cards[n]));
    out << "]";
  }
  out << "}\n";
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
  for (std::size_t i = 0; i < paths.size(); ++i) {
    // A SharedState holds sixteen slots of tables: one at a time, on the heap.
    auto inspection = std::make_unique<Inspection>();
    inspection->file = options.files[i];
    Inspect(paths[i], options, *inspection);
    if (!inspection->details.file_read) all_read = false;
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
