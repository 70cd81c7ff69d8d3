#include "spectrum/iraf_multispec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <new>

#include "base/ascii_text.h"
#include "fits/image_data.h"
#include "spectrum/column_roles.h"

namespace quillon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kWatValueLength = 68;

std::string Keyword(const std::string& card) { return std::string(TrimBlanksAndTabs(std::string_view(card).substr(0, 8))); }

// The quoted string of a card's value ('' stands for '), nullopt when the
// value is not a quoted string.
std::optional<std::string> QuotedValue(const std::string& card) {
  if (card.size() < 10 || card[8] != '=') return std::nullopt;
  std::size_t i = 9;
  while (i < card.size() && card[i] == ' ') ++i;
  if (i >= card.size() || card[i] != '\'') return std::nullopt;
  std::string out;
  for (++i; i < card.size(); ++i) {
    if (card[i] == '\'') {
      if (i + 1 < card.size() && card[i + 1] == '\'') {
        out += '\'';
        ++i;
        continue;
      }
      return out;
    }
    out += card[i];
  }
  return std::nullopt;  // no closing quote
}

// The last card named `keyword`.
std::optional<std::string> LastCard(const std::vector<std::string>& cards, std::string_view keyword) {
  for (std::size_t i = cards.size(); i-- > 1;) {
    if (TrimBlanksAndTabs(std::string_view(cards[i]).substr(0, 8)) == keyword) return cards[i];
  }
  return std::nullopt;
}

std::optional<double> NumberCard(const std::vector<std::string>& cards, std::string_view keyword) {
  const std::optional<std::string> card = LastCard(cards, keyword);
  if (!card || card->size() < 10 || (*card)[8] != '=') return std::nullopt;
  std::string_view value = std::string_view(*card).substr(10);
  value = TrimBlanksAndTabs(value.substr(0, value.find('/')));
  if (!value.empty() && value.front() == '+') value.remove_prefix(1);
  double out = 0;
  std::string text(value);
  for (char& c : text) {
    if (c == 'D' || c == 'd') c = 'E';
  }
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(out)) return std::nullopt;
  return out;
}

// A number of a specN text: decimal, optional sign and exponent.
bool ParseNumber(std::string_view token, double& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty()) return false;
  const auto r = std::from_chars(token.data(), token.data() + token.size(), value);
  return r.ec == std::errc() && r.ptr == token.data() + token.size();
}

// One `key = value` attribute of a WAT text; a value may be quoted with ".
struct Attribute {
  std::string_view key;
  std::string_view value;
};

// Splits an attribute text. false with `error` for a quote never closed.
bool Attributes(std::string_view text, std::vector<Attribute>& out, std::string& error) {
  std::size_t i = 0;
  const auto skip = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  while (true) {
    skip();
    if (i >= text.size()) return true;
    const std::size_t key_start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '=') ++i;
    Attribute a;
    a.key = text.substr(key_start, i - key_start);
    skip();
    if (i >= text.size() || text[i] != '=') {
      out.push_back(a);  // a word without a value
      continue;
    }
    ++i;
    skip();
    if (i < text.size() && text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos) {
        error = "the value of " + std::string(a.key) + " has no closing quote: the text is cut off";
        return false;
      }
      a.value = text.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      const std::size_t start = i;
      while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
      a.value = text.substr(start, i - start);
    }
    out.push_back(a);
  }
}

std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

// Reads the functions of a dtype 2 aperture from tokens[at..].
bool ParseFunctions(const std::vector<std::string_view>& tokens, std::size_t at, MultispecAperture& ap,
                    std::string& why) {
  std::size_t k = at;
  const auto number = [&](const char* what, double& v) {
    if (k >= tokens.size()) {
      why = std::string("its ") + what + " is missing: the text ends early";
      return false;
    }
    if (!ParseNumber(tokens[k], v) || !std::isfinite(v)) {
      why = std::string("its ") + what + " \"" + std::string(tokens[k]) + "\" is not a number";
      return false;
    }
    ++k;
    return true;
  };
  // A count is a whole number no larger than what the text still holds
  // (per count `per` numbers, plus `extra`).
  const auto count = [&](const char* what, int64_t per, int64_t extra, int64_t& c) {
    double v = 0;
    if (!number(what, v)) return false;
    const auto left = static_cast<int64_t>(tokens.size() - k);
    if (v != std::floor(v) || v < 1 || v > static_cast<double>(left)) {
      why = "its " + std::string(what) + " is " + std::string(tokens[k - 1]) + ", " +
            (v < 1 || v != std::floor(v) ? "not a whole number of at least 1"
                                          : "more than the " + std::to_string(left) + " numbers that follow it");
      return false;
    }
    c = static_cast<int64_t>(v);
    if (c * per + extra > left) {
      why = "its " + std::string(what) + " of " + std::to_string(c) + " needs " + std::to_string(c * per + extra) +
            " numbers after it, but the text holds " + std::to_string(left);
      return false;
    }
    return true;
  };
  while (k < tokens.size()) {
    MultispecFunction f;
    double type = 0;
    if (!number("function weight", f.weight) || !number("function offset", f.offset) ||
        !number("function type", type))
      return false;
    if (type != std::floor(type) || type < 1 || type > 6) {
      why = "its function type " + std::string(tokens[k - 1]) + " is not one of 1 to 6";
      return false;
    }
    f.type = static_cast<int>(type);
    int64_t values = 0;
    if (f.type <= 4) {
      if (!count(f.type <= 2 ? "order" : "number of pieces", 1, f.type == 3 ? 5 : f.type == 4 ? 3 : 2, f.count) ||
          !number("pmin", f.pmin) || !number("pmax", f.pmax))
        return false;
      if (f.pmin == f.pmax) {
        why = "its pmin and pmax are both " + std::string(tokens[k - 1]) + ", which spans no pixel";
        return false;
      }
      values = f.type <= 2 ? f.count : f.type == 3 ? f.count + 3 : f.count + 1;
    } else {
      if (!count("number of points", f.type == 6 ? 2 : 1, 0, f.count)) return false;
      values = f.type == 6 ? 2 * f.count : f.count;
    }
    f.values.reserve(static_cast<std::size_t>(values));
    for (int64_t v = 0; v < values; ++v) {
      double c = 0;
      if (!number("coefficient", c)) return false;
      f.values.push_back(c);
    }
    if (f.type == 6) {
      for (int64_t v = 1; v < f.count; ++v) {
        if (!(f.values[static_cast<std::size_t>(2 * v)] > f.values[static_cast<std::size_t>(2 * v - 2)])) {
          why = "the pixels of its (pixel, coordinate) pairs do not rise";
          return false;
        }
      }
    }
    ap.functions.push_back(std::move(f));
  }
  if (ap.functions.empty()) {
    why = "it is non-linear (dtype 2) but gives no function";
    return false;
  }
  return true;
}

// Reads one specN text. false with a reason in `why`.
bool ParseAperture(std::string_view text, int64_t naxis1, MultispecAperture& ap, std::string& why) {
  const std::vector<std::string_view> tokens = Tokens(text);
  if (tokens.size() < 9) {
    why = "it holds " + std::to_string(tokens.size()) + " values where at least 9 are needed";
    return false;
  }
  double v[9] = {};
  const char* names[9] = {"aperture", "beam", "dtype", "w1", "dw", "nw", "z", "aplow", "aphigh"};
  for (int k = 0; k < 9; ++k) {
    if ((k == 7 || k == 8) && tokens[static_cast<std::size_t>(k)] == "INDEF") {
      v[k] = kNaN;
      continue;
    }
    if (!ParseNumber(tokens[static_cast<std::size_t>(k)], v[k]) || !std::isfinite(v[k])) {
      why = std::string("its ") + names[k] + " \"" + std::string(tokens[static_cast<std::size_t>(k)]) +
            "\" is not a number";
      return false;
    }
  }
  for (const int k : {0, 1, 2, 5}) {
    if (v[k] != std::floor(v[k]) || std::fabs(v[k]) > 1e15) {
      why = std::string("its ") + names[k] + " " + std::string(tokens[static_cast<std::size_t>(k)]) +
            " is not a whole number";
      return false;
    }
  }
  ap.aperture = static_cast<int64_t>(v[0]);
  ap.beam = static_cast<int64_t>(v[1]);
  ap.dtype = static_cast<int>(std::clamp(v[2], -2.0, 3.0));
  ap.w1 = v[3];
  ap.dw = v[4];
  ap.nw = static_cast<int64_t>(v[5]);
  ap.z = v[6];
  if (!std::isnan(v[7])) ap.aplow = v[7];
  if (!std::isnan(v[8])) ap.aphigh = v[8];
  if (ap.dtype < -1 || ap.dtype > 2) {
    why = "its dispersion type " + std::string(tokens[2]) + " is not one of -1, 0, 1 and 2";
    return false;
  }
  if (ap.nw < 1 || ap.nw > naxis1) {
    why = "it claims " + std::string(tokens[5]) + " samples (nw), but its line holds " + std::to_string(naxis1);
    return false;
  }
  if (!(std::fabs(1 + ap.z) > 0)) {
    why = "its Doppler factor z = -1 would divide every wavelength by 0";
    return false;
  }
  // Functions after a linear or log-linear dispersion do not count.
  if (ap.dtype == 2) return ParseFunctions(tokens, 9, ap, why);
  return true;
}

// Adds weight x (offset + f(p)) of one function to out[0..n-1], for the
// physical pixels p of samples 1..n. One loop per kind of function, so that
// the loop over the samples holds no choice but the function's own.
void AddFunction(const MultispecFunction& f, double ltv1, double ltm1_1, int64_t n, double* out) {
  const double* c = f.values.data();
  const int64_t count = f.count;
  const double w = f.weight, w0 = f.offset;
  const double per_sample = 1 / ltm1_1;
  const auto pixel = [ltv1, per_sample](int64_t i) { return (static_cast<double>(i + 1) - ltv1) * per_sample; };
  switch (f.type) {
    case MultispecFunction::kChebyshev: {
      const double scale = 2 / (f.pmax - f.pmin), shift = (f.pmax + f.pmin) / (f.pmax - f.pmin);
      for (int64_t i = 0; i < n; ++i) {
        const double x = pixel(i) * scale - shift;
        double previous = 1, current = x;
        double value = c[0] + (count > 1 ? c[1] * x : 0);
        for (int64_t k = 2; k < count; ++k) {
          const double next = 2 * x * current - previous;
          value += c[k] * next;
          previous = current;
          current = next;
        }
        out[i] += w * (w0 + value);
      }
      return;
    }
    case MultispecFunction::kLegendre: {
      const double scale = 2 / (f.pmax - f.pmin), shift = (f.pmax + f.pmin) / (f.pmax - f.pmin);
      // P_k = ((2k - 1) x P_k-1 - (k - 1) P_k-2) / k, its two factors kept
      // for up to 32 terms (a longer series divides as it goes).
      double a[32], b[32];
      for (int64_t k = 2; k < std::min<int64_t>(count, 32); ++k) {
        a[k] = (2 * static_cast<double>(k) - 1) / static_cast<double>(k);
        b[k] = (static_cast<double>(k) - 1) / static_cast<double>(k);
      }
      for (int64_t i = 0; i < n; ++i) {
        const double x = pixel(i) * scale - shift;
        double previous = 1, current = x;
        double value = c[0] + (count > 1 ? c[1] * x : 0);
        for (int64_t k = 2; k < count; ++k) {
          const double kd = static_cast<double>(k);
          const double next = k < 32 ? a[k] * x * current - b[k] * previous
                                     : ((2 * kd - 1) * x * current - (kd - 1) * previous) / kd;
          value += c[k] * next;
          previous = current;
          current = next;
        }
        out[i] += w * (w0 + value);
      }
      return;
    }
    case MultispecFunction::kCubicSpline:
    case MultispecFunction::kLinearSpline: {
      const double per_pixel = static_cast<double>(count) / (f.pmax - f.pmin);
      const double last = static_cast<double>(count - 1);
      const bool cubic = f.type == MultispecFunction::kCubicSpline;
      for (int64_t i = 0; i < n; ++i) {
        const double s = (pixel(i) - f.pmin) * per_pixel;
        // floor(s) held inside 0..npieces - 1: s held there first, then cut
        // to its whole part (a NaN takes piece 0 and stays NaN below).
        const double held = !(s >= 0) ? 0 : s > last ? last : s;
        const auto j = static_cast<int64_t>(held);
        const double a = static_cast<double>(j + 1) - s;
        const double b = s - static_cast<double>(j);
        double value;
        if (cubic) {
          const double ab = a * b;
          value = c[j] * a * a * a + c[j + 1] * (1 + 3 * a * (1 + ab)) + c[j + 2] * (1 + 3 * b * (1 + ab)) +
                  c[j + 3] * b * b * b;
        } else {
          value = a * c[j] + b * c[j + 1];
        }
        out[i] += w * (w0 + value);
      }
      return;
    }
    case MultispecFunction::kPixelArray: {
      // Coordinates of pixels 1..npts, joined by straight lines (and
      // continued beyond the ends along the end segments).
      const double last = static_cast<double>(count - 1);
      for (int64_t i = 0; i < n; ++i) {
        const double p = pixel(i);
        double value = c[0];
        if (count > 1) {
          const double held = !(p >= 1) ? 1 : p > last ? last : p;
          const auto j = static_cast<int64_t>(held);
          value = c[j - 1] + (p - static_cast<double>(j)) * (c[j] - c[j - 1]);
        }
        out[i] += w * (w0 + value);
      }
      return;
    }
    case MultispecFunction::kPairs: {
      // (pixel, coordinate) pairs joined by straight lines: the segment of
      // one sample is near the last one's, as the pixels run one way.
      int64_t lo = 0;
      for (int64_t i = 0; i < n; ++i) {
        const double p = pixel(i);
        double value = c[1];
        if (count > 1) {
          while (lo > 0 && p < c[2 * lo]) --lo;
          while (lo + 2 < count && p >= c[2 * (lo + 1)]) ++lo;
          const double p0 = c[2 * lo], p1 = c[2 * lo + 2];
          value = c[2 * lo + 1] + (p - p0) / (p1 - p0) * (c[2 * lo + 3] - c[2 * lo + 1]);
        }
        out[i] += w * (w0 + value);
      }
      return;
    }
    default:
      for (int64_t i = 0; i < n; ++i) out[i] = kNaN;
  }
}

}  // namespace

bool IsMultispecHeader(const std::vector<std::string>& cards) {
  if (const std::optional<std::string> ctype = LastCard(cards, "CTYPE1")) {
    const std::optional<std::string> value = QuotedValue(*ctype);
    if (value && TrimBlanksAndTabs(*value) == "MULTISPE") return true;
  }
  if (const std::optional<std::string> wat0 = LastCard(cards, "WAT0_001")) {
    const std::optional<std::string> value = QuotedValue(*wat0);
    if (value && LowerAscii(*value).find("system=multispec") != std::string::npos) return true;
  }
  return false;
}

std::optional<std::string> JoinWatCards(const std::vector<std::string>& cards, int axis, std::string& error) {
  const std::string prefix = "WAT" + std::to_string(axis) + "_";
  std::map<int, const std::string*> numbered;
  for (std::size_t i = 1; i < cards.size(); ++i) {
    const std::string keyword = Keyword(cards[i]);
    if (keyword.size() <= prefix.size() || keyword.compare(0, prefix.size(), prefix) != 0) continue;
    int number = 0;
    const char* first = keyword.data() + prefix.size();
    const char* last = keyword.data() + keyword.size();
    const auto r = std::from_chars(first, last, number);
    if (r.ec != std::errc() || r.ptr != last || number < 1) continue;
    numbered.emplace(number, &cards[i]);  // the first card of a number counts
  }
  if (numbered.empty()) return std::string();
  std::string text;
  int expected = 1;
  for (const auto& [number, card] : numbered) {
    if (number != expected) {
      char name[16];
      std::snprintf(name, sizeof name, "%s%03d", prefix.c_str(), expected);
      error = std::string(name) + " is missing, so the text of the WAT" + std::to_string(axis) +
              " cards breaks off before card " + std::to_string(number);
      return std::nullopt;
    }
    const std::optional<std::string> value = QuotedValue(*card);
    if (!value) {
      error = Keyword(*card) + " holds no quoted text";
      return std::nullopt;
    }
    std::string piece = value->substr(0, kWatValueLength);
    piece.resize(kWatValueLength, ' ');
    text += piece;
    ++expected;
  }
  return text;
}

std::optional<MultispecWcs> ParseMultispec(const std::vector<std::string>& cards, int64_t naxis1, int64_t lines,
                                           std::string& error) {
  error.clear();
  std::string why;
  const std::optional<std::string> wat1 = JoinWatCards(cards, 1, why);
  if (!wat1) {
    error = why;
    return std::nullopt;
  }
  const std::optional<std::string> wat2 = JoinWatCards(cards, 2, why);
  if (!wat2) {
    error = why;
    return std::nullopt;
  }
  MultispecWcs wcs;
  std::vector<Attribute> attributes;
  if (!Attributes(*wat1, attributes, why)) {
    error = "in the WAT1 cards, " + why;
    return std::nullopt;
  }
  for (const Attribute& a : attributes) {
    if (a.key == "label") wcs.label = std::string(a.value);
    if (a.key == "units") wcs.units = std::string(a.value);
  }
  const SpectralUnit unit = ParseSpectralUnit(wcs.units);
  wcs.axis = unit.axis;
  wcs.to_angstrom = unit.axis == SpectralAxis::kWavelength ? unit.to_angstrom : 1;
  if (!unit.known) {
    wcs.notes.push_back("The wavelength unit in the WAT1 cards (units=" + wcs.units +
                        ") is not one Quillon knows; the wavelengths are taken as Angstroms.");
  }
  if (const std::optional<double> ltv = NumberCard(cards, "LTV1")) wcs.ltv1 = *ltv;
  if (const std::optional<double> ltm = NumberCard(cards, "LTM1_1")) wcs.ltm1_1 = *ltm;
  if (wcs.ltm1_1 == 0) {
    error = "LTM1_1 = 0 maps every sample to the same pixel";
    return std::nullopt;
  }
  attributes.clear();
  if (!Attributes(*wat2, attributes, why)) {
    error = "in the WAT2 cards, " + why;
    return std::nullopt;
  }
  std::map<int64_t, std::string_view> specs;  // by line
  for (const Attribute& a : attributes) {
    if (a.key.size() <= 4 || a.key.substr(0, 4) != "spec") continue;
    int64_t line = 0;
    const auto r = std::from_chars(a.key.data() + 4, a.key.data() + a.key.size(), line);
    if (r.ec != std::errc() || r.ptr != a.key.data() + a.key.size()) continue;
    if (line < 1 || line > lines) {
      wcs.notes.push_back("The WAT2 cards describe " + std::string(a.key) + ", but the image has " +
                          std::to_string(lines) + (lines == 1 ? " line" : " lines") + "; it is not read.");
      continue;
    }
    specs.emplace(line, a.value);
  }
  if (specs.empty()) return std::nullopt;  // no aperture described: not read as multispec
  int64_t undescribed = 0;
  for (const auto& [line, text] : specs) {
    MultispecAperture ap;
    ap.line = line;
    if (!ParseAperture(text, naxis1, ap, why)) {
      wcs.notes.push_back("The aperture of image line " + std::to_string(line) + " (spec" + std::to_string(line) +
                          " in the WAT2 cards) cannot be read: " + why + ".");
      continue;
    }
    wcs.apertures.push_back(std::move(ap));
  }
  undescribed = lines - static_cast<int64_t>(specs.size());
  if (undescribed > 0) {
    wcs.notes.push_back(std::to_string(undescribed) + (undescribed == 1 ? " image line has" : " image lines have") +
                        " no specN in the WAT2 cards and " + (undescribed == 1 ? "is" : "are") + " not read.");
  }
  return wcs;
}

void EvaluateMultispec(const MultispecWcs& wcs, const MultispecAperture& ap, int64_t n, double* out) {
  EvaluateMultispec(wcs, ap, 1, n, out);
}

void EvaluateMultispec(const MultispecWcs& wcs, const MultispecAperture& ap, int64_t first, int64_t n, double* out) {
  // Sample first + i lies where sample 1 + i would with LTV1 less first - 1.
  const double ltv1 = wcs.ltv1 - static_cast<double>(first - 1), ltm = wcs.ltm1_1, per_sample = 1 / ltm;
  if (ap.dtype == 2) {
    std::fill(out, out + n, 0.0);
    for (const MultispecFunction& f : ap.functions) AddFunction(f, ltv1, ltm, n, out);
  } else {
    for (int64_t i = 0; i < n; ++i) {
      const double p = (static_cast<double>(i + 1) - ltv1) * per_sample;
      out[i] = ap.w1 + ap.dw * (p - 1);
    }
    if (ap.dtype == 1) {
      for (int64_t i = 0; i < n; ++i) out[i] = std::pow(10.0, out[i]);
    }
  }
  const double factor = (ap.dtype == -1 ? 1 : wcs.to_angstrom) / (1 + ap.z);
  for (int64_t i = 0; i < n; ++i) {
    const double w = out[i] * factor;
    out[i] = std::isfinite(w) ? w : kNaN;
  }
}

std::optional<MultispecRead> ReadMultispec(ByteSource& source, const Hdu& hdu, const MultispecSelection& selection) {
  const std::vector<std::string>& cards = hdu.header.Cards().cards;
  if (hdu.axes.empty() || hdu.axes.size() > 3 || !IsMultispecHeader(cards)) return std::nullopt;
  MultispecRead read;
  std::string error;
  const std::optional<ImageLayout> image = ImageLayoutOf(hdu, error);
  if (!image || image->Samples() == 0) return std::nullopt;
  const int64_t naxis1 = image->RowLength();
  const int64_t lines = hdu.axes.size() >= 2 ? hdu.axes[1] : 1;
  const int64_t bands = hdu.axes.size() >= 3 ? hdu.axes[2] : 1;
  std::optional<MultispecWcs> wcs = ParseMultispec(cards, naxis1, lines, error);
  if (!wcs) {
    if (error.empty()) return std::nullopt;
    read.error = error;
    return read;
  }
  read.notes = wcs->notes;
  std::vector<int64_t> numbers;
  for (const MultispecAperture& ap : wcs->apertures) numbers.push_back(ap.aperture);
  std::sort(numbers.begin(), numbers.end());
  read.unique_apertures = std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end();
  // The band of sigmas, when a BANDIDn names one.
  int64_t sigma_band = -1;
  for (int64_t b = 2; b <= bands && b <= 999; ++b) {
    const std::string id = LowerAscii(hdu.header.String("BANDID" + std::to_string(b)).value_or(""));
    if (id.rfind("sigma", 0) == 0 || id.rfind("error", 0) == 0 || id.find("uncertaint") != std::string::npos) {
      sigma_band = b - 1;
      break;
    }
  }
  const std::string wave_unit = wcs->units;
  try {
    for (const MultispecAperture& ap : wcs->apertures) {
      const int64_t line = ap.line - 1;
      if (selection.line && *selection.line != line) continue;
      if (selection.aperture && *selection.aperture != ap.aperture) continue;
      MultispecSpectrum s;
      s.line = line;
      s.aperture = ap.aperture;
      s.axis = ap.dtype == -1 ? SpectralAxis::kPixel : wcs->axis;
      s.wave_unit = wave_unit;
      // Room for the leading entry of the spectrum's 1-based arrays.
      s.flux.reserve(static_cast<std::size_t>(naxis1) + 1);
      if (!ReadImageRow(source, *image, line, s.flux, error)) {
        read.notes.push_back("Aperture " + std::to_string(ap.aperture) + " cannot be read: " + error);
        continue;
      }
      if (sigma_band >= 0) {
        s.sigma.reserve(static_cast<std::size_t>(naxis1) + 1);
        if (!ReadImageRow(source, *image, sigma_band * lines + line, s.sigma, error)) s.sigma.clear();
        s.sigma.resize(std::min<std::size_t>(s.sigma.size(), static_cast<std::size_t>(ap.nw)));
      }
      s.flux.resize(static_cast<std::size_t>(ap.nw));
      if (selection.ends_only) {
        s.wave.resize(2);
        EvaluateMultispec(*wcs, ap, 1, 1, &s.wave[0]);
        EvaluateMultispec(*wcs, ap, ap.nw, 1, &s.wave[1]);
      } else {
        s.wave.reserve(static_cast<std::size_t>(ap.nw) + 1);
        s.wave.resize(static_cast<std::size_t>(ap.nw));
        EvaluateMultispec(*wcs, ap, ap.nw, s.wave.data());
      }
      const bool usable = std::any_of(s.flux.begin(), s.flux.end(), [](double v) { return !std::isnan(v); });
      read.spectra.push_back(std::move(s));
      if (selection.first_usable && usable) break;
      if (selection.line || selection.aperture) break;
    }
  } catch (const std::bad_alloc&) {
    read.spectra.clear();
    read.error = "there is not enough memory to read its apertures";
  }
  return read;
}

}  // namespace quillon
