#include "support/recorded_drawing.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace quillon::testing {
namespace {

constexpr std::array<const char*, kPlotLabelCount> kLabelNames = {"FirstWavelength", "LastWavelength", "WavelengthTitle",
                                                                  "TopIntensity", "IntensityStep", "BottomIntensity"};

void AppendFloat(std::string& out, float v) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

void AppendColor(std::string& out, int32_t color) {
  char buffer[16];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<uint32_t>(color), 16);
  const std::size_t digits = ec == std::errc() ? static_cast<std::size_t>(end - buffer) : 0;
  if (digits < 6) out.append(6 - digits, '0');
  out.append(buffer, digits);
}

std::string LabelText(std::size_t index, const RecordedLabel& label) {
  std::string out = "label ";
  out += kLabelNames[index];
  out += ' ';
  AppendFloat(out, label.left);
  out += ' ';
  AppendFloat(out, label.top);
  out += " \"";
  for (char c : label.caption) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Splits off the next blank-separated word of `rest`.
std::string_view NextWord(std::string_view& rest) {
  const std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  const std::size_t end = std::min(rest.find(' '), rest.size());
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  return word;
}

bool ParseFloat(std::string_view word, float& v) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  return !word.empty() && ec == std::errc() && end == word.data() + word.size();
}

bool ParseColor(std::string_view word, int32_t& color) {
  uint32_t v = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v, 16);
  if (word.empty() || ec != std::errc() || end != word.data() + word.size()) return false;
  color = static_cast<int32_t>(v);
  return true;
}

// `rest` after the name: left top "caption".
std::optional<std::string> ParseLabel(std::string_view rest, RecordedLabel& label) {
  if (!ParseFloat(NextWord(rest), label.left) || !ParseFloat(NextWord(rest), label.top))
    return "a label needs its left and top as numbers";
  const std::size_t open = rest.find_first_not_of(' ');
  if (open == std::string_view::npos || rest[open] != '"') return "a label's caption must be in double quotes";
  std::size_t i = open + 1;
  for (; i < rest.size() && rest[i] != '"'; ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
    label.caption += rest[i];
  }
  if (i >= rest.size()) return "a label's caption has no closing quote";
  if (rest.find_first_not_of(' ', i + 1) != std::string_view::npos) return "text after a label's caption";
  label.set = true;
  return std::nullopt;
}

std::string RecordingPath(const std::string& name) {
  return std::string(TEST_DATA_DIR) + "/display_lists/" + name + ".txt";
}

}  // namespace

Drawing DrawingOf(const DisplayList& list) {
  Drawing drawing;
  drawing.lines = list.Lines();
  for (std::size_t i = 0; i < drawing.labels.size(); ++i) drawing.labels[i] = list.Label(static_cast<PlotLabel>(i));
  return drawing;
}

std::string LineText(const RecordedLine& line) {
  std::string out;
  for (float v : {line.x1, line.y1, line.x2, line.y2}) {
    AppendFloat(out, v);
    out += ' ';
  }
  AppendColor(out, line.color);
  return out;
}

std::string DrawingText(const Drawing& drawing, std::string_view comment) {
  std::string out;
  std::istringstream comment_lines{std::string(comment)};
  for (std::string row; std::getline(comment_lines, row);) out += "# " + row + "\n";
  for (const RecordedLine& line : drawing.lines) out += LineText(line) + "\n";
  for (std::size_t i = 0; i < drawing.labels.size(); ++i)
    if (drawing.labels[i].set) out += LabelText(i, drawing.labels[i]) + "\n";
  return out;
}

std::optional<Drawing> ParseDrawing(std::string_view text, std::string& error) {
  Drawing drawing;
  int row_number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view row = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++row_number;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (row.empty() || row.front() == '#') continue;
    const auto fail = [&](const std::string& why) {
      error = "row " + std::to_string(row_number) + " (" + std::string(row) + "): " + why;
      return std::nullopt;
    };
    std::string_view rest = row;
    const std::string_view first = NextWord(rest);
    if (first == "label") {
      const std::string_view name = NextWord(rest);
      std::size_t index = 0;
      while (index < kLabelNames.size() && name != kLabelNames[index]) ++index;
      if (index == kLabelNames.size()) return fail("no label is named " + std::string(name));
      RecordedLabel label;
      if (const auto why = ParseLabel(rest, label)) return fail(*why);
      drawing.labels[index] = label;
      continue;
    }
    RecordedLine line{};
    const std::string_view y1 = NextWord(rest), x2 = NextWord(rest), y2 = NextWord(rest), color = NextWord(rest);
    if (!ParseFloat(first, line.x1) || !ParseFloat(y1, line.y1) || !ParseFloat(x2, line.x2) ||
        !ParseFloat(y2, line.y2) || !ParseColor(color, line.color) || !NextWord(rest).empty())
      return fail("a line is four numbers and a hexadecimal colour");
    drawing.lines.push_back(line);
  }
  return drawing;
}

std::string DrawingDifference(const Drawing& recorded, const Drawing& now) {
  std::ostringstream out;
  const std::size_t common = std::min(recorded.lines.size(), now.lines.size());
  std::size_t i = 0;
  while (i < common && recorded.lines[i] == now.lines[i]) ++i;
  if (i < common || recorded.lines.size() != now.lines.size()) {
    if (recorded.lines.size() != now.lines.size())
      out << "recorded " << recorded.lines.size() << " lines, drawn now " << now.lines.size() << "\n";
    out << "first differing line: index " << i << "\n"
        << "  recorded:  " << (i < recorded.lines.size() ? LineText(recorded.lines[i]) : "(none)") << "\n"
        << "  drawn now: " << (i < now.lines.size() ? LineText(now.lines[i]) : "(none)") << "\n";
  }
  for (std::size_t k = 0; k < recorded.labels.size(); ++k) {
    const RecordedLabel& a = recorded.labels[k];
    const RecordedLabel& b = now.labels[k];
    if (a.set == b.set && (!a.set || (a.left == b.left && a.top == b.top && a.caption == b.caption))) continue;
    out << "label " << kLabelNames[k] << " differs\n"
        << "  recorded:  " << (a.set ? LabelText(k, a) : "(not set)") << "\n"
        << "  drawn now: " << (b.set ? LabelText(k, b) : "(not set)") << "\n";
    break;
  }
  return out.str();
}

::testing::AssertionResult MatchesRecording(const std::string& name, const Drawing& now, const std::string& comment,
                                            bool& recorded) {
  const std::string path = RecordingPath(name);
  const char* record = std::getenv("QUILLON_RECORD_DISPLAY_LISTS");
  recorded = record != nullptr && std::string_view(record) == "1";
  if (recorded) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << DrawingText(now, comment);
    file.close();
    if (!file) return ::testing::AssertionFailure() << "cannot write the recording " << path;
    return ::testing::AssertionSuccess();
  }
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return ::testing::AssertionFailure() << "no recording " << path
                                         << " (QUILLON_RECORD_DISPLAY_LISTS=1 records it)";
  std::ostringstream text;
  text << file.rdbuf();
  std::string error;
  const std::optional<Drawing> before = ParseDrawing(text.str(), error);
  if (!before) return ::testing::AssertionFailure() << path << ": " << error;
  const std::string difference = DrawingDifference(*before, now);
  if (!difference.empty())
    return ::testing::AssertionFailure() << "the picture differs from " << path << "\n" << difference;
  return ::testing::AssertionSuccess();
}

}  // namespace quillon::testing
