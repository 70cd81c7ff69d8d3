#pragma once
// Recorded drawings: what the renderer drew (its lines and labels) as text
// that diffs well, one row a line, so a picture can be kept in a file and
// compared line for line with what the renderer draws now.
//
// The text, rows in drawing order:
//   # free comment
//   x1 y1 x2 y2 colour             one line; twips as shortest round-trip
//                                  floats, colour 0xBBGGRR as six hex digits
//   label NAME left top "caption"  one label that was set (FirstWavelength..BottomIntensity);
//                                  \" and \\ escape inside the caption
// Labels never set are left out.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "render/display_list.h"
#include "render/renderer.h"

namespace quillon::testing {

/// A picture as the tests compare it: the lines in drawing order and the
/// last setting of every label.
struct Drawing {
  std::vector<RecordedLine> lines;
  std::array<RecordedLabel, kPlotLabelCount> labels{};
};

/// The lines since the last Clear() and the labels of `list`.
Drawing DrawingOf(const DisplayList& list);

/// One line as its row: "x1 y1 x2 y2 colour".
std::string LineText(const RecordedLine& line);

/// The text of `drawing`, headed by `comment` (one "# " row per line of it).
std::string DrawingText(const Drawing& drawing, std::string_view comment);

/// Reads a drawing's text. Nullopt on a malformed row, with `error` naming
/// the row and what is wrong with it.
std::optional<Drawing> ParseDrawing(std::string_view text, std::string& error);

/// Empty when both are the same picture; otherwise the first differing line
/// (its index and both rows) or label, and the line counts when they differ.
std::string DrawingDifference(const Drawing& recorded, const Drawing& now);

/// Compares `now` with the recording tests/data/display_lists/NAME.txt.
/// With QUILLON_RECORD_DISPLAY_LISTS=1 in the environment it writes the
/// recording from `now` instead (and `recorded` is set).
::testing::AssertionResult MatchesRecording(const std::string& name, const Drawing& now, const std::string& comment,
                                            bool& recorded);

}  // namespace quillon::testing
