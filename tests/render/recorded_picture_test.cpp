// The renderer draws a fixed set of scenes exactly as recorded: every line
// (twips and colour) and every label, against display lists kept in
// tests/data/display_lists/NAME.txt (format: support/recorded_drawing.h).
//
// The scenes are plain descriptions (spectra, wavelength scales, view);
// Draw() alone turns one into a picture, so the comparison holds whatever
// way the renderer is called.
//
// To record them again, deliberately, after a change that is meant to alter
// the picture, run
//   QUILLON_RECORD_DISPLAY_LISTS=1 ./render_tests --gtest_filter='Scenes/RecordedPictureTest.*'
// (the tests report themselves skipped, having rewritten the files) and
// review the diff of tests/data/display_lists before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "render/display_list.h"
#include "render/renderer.h"
#include "support/plot_test_support.h"
#include "support/recorded_drawing.h"

namespace quillon {
namespace {

using testing::Drawing;
using testing::DrawingDifference;
using testing::DrawingText;
using testing::ParseDrawing;

// ---- The scenes ---------------------------------------------------------------

/// One loaded spectrum: its levelled samples 1..n placed by `scale` (sample
/// i at scale.At(i)), in `slot` with its offset.
struct SceneSpectrum {
  SceneSpectrum(int slot_, WavelengthScale scale_, std::vector<double> levelled_, int16_t offset_ = 0,
                std::optional<double> levelled_max_ = std::nullopt)
      : slot(slot_), scale(scale_), levelled(std::move(levelled_)), offset(offset_), levelled_max(levelled_max_) {}
  int slot;
  WavelengthScale scale;
  std::vector<double> levelled;
  int16_t offset;
  /// The levelled maximum when it is not the largest sample (the axis is
  /// then set by the ordinary samples, not by a huge one).
  std::optional<double> levelled_max;
};

struct Scene {
  Scene(std::string name_, std::string what_, std::vector<SceneSpectrum> spectra_, double lambda_min_,
        double lambda_max_, double outer_width_ = 10000)
      : name(std::move(name_)), what(std::move(what_)), spectra(std::move(spectra_)), lambda_min(lambda_min_),
        lambda_max(lambda_max_), outer_width(outer_width_) {}
  std::string name;  ///< the recording's file name and the test's
  std::string what;  ///< a line heading the recording
  std::vector<SceneSpectrum> spectra;
  double lambda_min, lambda_max;  ///< the plotted range, Angstroms
  double outer_width;             ///< the plot window's, twips
};

void PrintTo(const Scene& scene, std::ostream* out) { *out << scene.name; }

/// Draws `scene` in the standard window (10000 x 5000 twips) and returns
/// what the renderer drew.
Drawing Draw(const Scene& scene) {
  SharedState state;
  state.PlotWidth = 10000;
  state.PlotHeight = 5000;
  for (const SceneSpectrum& s : scene.spectra) {
    const auto n = static_cast<double>(s.levelled.size());
    if (s.scale.logarithmic) {
      testing::PutSpectrum(state, s.slot, 0, 0, s.levelled, s.offset);
      EditSpectrum(state, s.slot).scale = s.scale;
      EditSpectrum(state, s.slot).header.dispersion = (s.scale.At(n) - s.scale.At(0)) / n;
      EditSpectrum(state, s.slot).lambda_start = std::min(s.scale.At(0), s.scale.At(n));
      EditSpectrum(state, s.slot).lambda_end = std::max(s.scale.At(0), s.scale.At(n));
    } else {
      testing::PutSpectrum(state, s.slot, s.scale.origin, s.scale.step, s.levelled, s.offset);
      if (s.scale.Descending()) {  // pixel 0 is the long-wavelength end
        EditSpectrum(state, s.slot).lambda_start = s.scale.At(n);
        EditSpectrum(state, s.slot).lambda_end = s.scale.origin;
      }
    }
    if (s.levelled_max) EditSpectrum(state, s.slot).levelled_max = *s.levelled_max;
  }
  state.PlotLambdaMin = scene.lambda_min;
  state.PlotLambdaMax = scene.lambda_max;
  testing::RecordingHost host(state, scene.outer_width);
  RenderPlot(state, host);
  return testing::DrawingOf(host.list);
}

WavelengthScale Linear(double start, double step) { return {start, step, false}; }

// Random linear ascending spectra (one to four slots, with offsets, now and
// then a missing sample or no dispersion) in random views, the whole range
// or a zoom and pan across it. The numbers come from the raw 64-bit stream,
// which the standard fixes, so every library builds the same scenes.
std::vector<Scene> RandomLinearScenes() {
  std::mt19937_64 random(14);
  const auto unit = [&] { return static_cast<double>(random() >> 11) * 0x1p-53; };
  std::vector<Scene> scenes;
  for (int trial = 0; trial < 20; ++trial) {
    Scene scene("linear_random_" + std::string(trial < 10 ? "0" : "") + std::to_string(trial),
                "random linear spectra, trial " + std::to_string(trial), {}, 0, 0);
    const int slots = 1 + static_cast<int>(random() % 4);
    double lo = 1e300, hi = -1e300;
    for (int s = 1; s <= slots; ++s) {
      const auto n = static_cast<std::size_t>(1 + random() % 40);
      std::vector<double> levelled(n);
      for (double& v : levelled) v = 150 * unit() - 20;
      if (trial % 5 == 0) levelled[n / 2] = std::nan("");
      const double start = 3000 + 300 * unit();
      const double step = trial % 7 == 0 ? 0.0 : 0.01 + 3 * unit();
      scene.spectra.push_back({s * 3, Linear(start, step), levelled, static_cast<int16_t>(20 * (s * 3 - 15))});
      lo = std::min(lo, start);
      hi = std::max(hi, start + step * static_cast<double>(n));
    }
    const double a = trial % 3 == 0 ? 0 : unit();
    const double b = trial % 3 == 0 ? 1 : unit();
    scene.lambda_min = lo + (hi - lo) * std::min(a, b) - 50;
    scene.lambda_max = lo + (hi - lo) * std::max(a, b) + 1;
    scenes.push_back(scene);
  }
  return scenes;
}

// Pictures the renderer tests pin down piece by piece, whole.
std::vector<Scene> PinnedScenes() {
  const double nan = std::nan("");
  const std::vector<double> rising = {10, 20, 30, 40, 50};
  std::vector<Scene> scenes = {
      {"staircase", "five samples filling the view: grid, ticks, frame, staircase, marker",
       {{1, Linear(6500, 20), rising}}, 6500, 6600},
      {"starts_inside_view", "a spectrum starting inside the view", {{1, Linear(6500, 25), {10, 20, 30, 40}}}, 6400,
       6600},
      {"zoomed_in", "zoomed: the curve starts at the frame's edge", {{1, Linear(6500, 20), rising}}, 6540, 6600},
      {"ends_with_riser", "the view ends before the last sample", {{1, Linear(6500, 20), rising}}, 6500, 6570},
      {"single_sample", "one sample", {{1, Linear(6500, 100), {30}}}, 6500, 6600},
      {"axis_labels", "axis end labels in a window 9000 twips wide",
       {{1, Linear(6500, 20), {100, 300, 200, 150, 120}}}, 6500, 6600, 9000},
      {"narrow_zoom_halpha", "a zoom of one Angstrom at 6563",
       {{1, Linear(6000, 1), std::vector<double>(1000, 100)}}, 6562.5, 6563.5},
      {"outside_the_view", "spectra beside, far beyond and without dispersion inside the view",
       {{1, Linear(6500, 20), rising},
        {2, Linear(7000, 20), {10, 20, 30}},
        {3, Linear(1.0e9, 20), {10, 20, 30}},
        {4, Linear(-1.0e9, 20), {10, 20, 30}},
        {5, Linear(6550, 0), {10, 20, 30}}},
       6500, 6600},
      {"missing_samples", "two missing samples break the staircase",
       {{1, Linear(6500, 20), {10, 20, nan, nan, 50}, 0, 50}}, 6500, 6600},
      {"huge_and_undefined", "a huge sample runs off the frame, clipped; an undefined one is left out",
       {{1, Linear(6500, 20), {10, 20, 1e40, 40, 50}, 0, 50}, {2, Linear(6500, 20), {10, 20, nan, 40, 50}, 0, 50}},
       6500, 6600},
      {"frame_only_zero_span", "no wavelength span: the frame alone", {{1, Linear(6500, 0), {10, 50}}}, 6500, 6500},
      {"frame_only_undefined_span", "an undefined wavelength: the frame alone", {{1, Linear(6500, 0), {10, 50}}}, nan,
       6500},
      {"frame_only_no_intensity_span", "offset 90 leaves no intensity span: the frame alone",
       {{1, Linear(6500, 0), {10, 50}, 90}}, 6500, 6600},
  };

  // Several slots with offsets over a long range, slot 6 over slot 1 and 3.
  std::vector<double> wave(300), ramp(300), teeth(120);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    wave[i] = 80 + 30 * std::sin(static_cast<double>(i) / 8);
    ramp[i] = 40 + static_cast<double>(i % 60) * 1.25;
  }
  for (std::size_t i = 0; i < teeth.size(); ++i) teeth[i] = 20 + static_cast<double>(i * 7 % 50);
  scenes.push_back({"several_slots",
                    "three slots with offsets -100, 60 and 0, 720 samples",
                    {{1, Linear(4000, 5), wave, -100}, {3, Linear(4500, 10), teeth, 60}, {6, Linear(5500, 5), ramp}},
                    4000,
                    7000});

  // Stored red to blue, with a missing sample, in three views.
  const std::vector<double> down = {10, 80, 30, 55, nan, 60, 20, 95};
  for (const auto& [name, min, max] : {std::tuple{"descending_whole", 4990.0, 5020.0},
                                       std::tuple{"descending_inside", 4995.0, 5005.0},
                                       std::tuple{"descending_right", 5003.0, 5030.0}})
    scenes.push_back({name, "a spectrum stored red to blue", {{1, Linear(5016, -2), down}}, min, max});

  // Logarithmic scales, ascending and descending, whole and zoomed.
  const int n = 200;
  std::vector<double> sine(n);
  for (int i = 0; i < n; ++i) sine[static_cast<std::size_t>(i)] = 50 + 40 * std::sin(i / 7.0);
  for (const auto& [name, scale] : {std::pair{"log", WavelengthScale{3.6, 0.002, true}},
                                    std::pair{"log_descending", WavelengthScale{3.6 + 0.002 * n, -0.002, true}}}) {
    const double whole_min = std::min(scale.At(0), scale.At(n));
    const double whole_max = std::max(scale.At(0), scale.At(n));
    scenes.push_back({name, "a logarithmic wavelength scale", {{1, scale, sine}}, whole_min, whole_max});
    scenes.push_back({std::string(name) + "_zoomed", "a logarithmic wavelength scale, zoomed", {{1, scale, sine}},
                      std::pow(10.0, 3.6 + 0.002 * 50.3), std::pow(10.0, 3.6 + 0.002 * 120.3)});
  }
  return scenes;
}

std::vector<Scene> AllScenes() {
  std::vector<Scene> scenes = RandomLinearScenes();
  const std::vector<Scene> pinned = PinnedScenes();
  scenes.insert(scenes.end(), pinned.begin(), pinned.end());
  return scenes;
}

// ---- The comparison ---------------------------------------------------------------

class RecordedPictureTest : public ::testing::TestWithParam<Scene> {};

TEST_P(RecordedPictureTest, DrawsTheRecordedPicture) {
  const Scene& scene = GetParam();
  bool recorded = false;
  EXPECT_TRUE(testing::MatchesRecording(scene.name, Draw(scene), scene.what, recorded));
  if (recorded) GTEST_SKIP() << "recorded " << scene.name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, RecordedPictureTest, ::testing::ValuesIn(AllScenes()),
                         [](const auto& info) { return info.param.name; });

// The recording keeps every value exactly and refuses what it cannot read.
TEST(RecordedDrawingTest, TextKeepsEveryValueAndRefusesMalformedRows) {
  Drawing drawing;
  drawing.lines = {{800, 300, 9585, 300, 0},
                   {0.1f, -0.0f, 1e-30f, 1.0e6f, 0x00C0C0C0},
                   {std::nextafter(2950.0f, 0.0f), 3.4028235e38f, -1.0e6f, 1234.5677f, 0x00FFA000}};
  drawing.labels[0] = {true, 600, 3000, " 6500"};
  drawing.labels[2] = {true, 7000.25f, 3200, "a \"quoted\" \\ caption"};
  drawing.labels[3] = {true, 0, 0, ""};
  std::string error;
  const std::optional<Drawing> back = ParseDrawing(DrawingText(drawing, "two\nrows"), error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->lines, drawing.lines);
  EXPECT_EQ(DrawingDifference(drawing, *back), "");
  EXPECT_FALSE(back->labels[1].set);

  Drawing moved = drawing;
  moved.lines[2].x2 = std::nextafter(moved.lines[2].x2, 0.0f);  // one bit off
  EXPECT_NE(DrawingDifference(drawing, moved).find("first differing line: index 2"), std::string::npos);
  moved = drawing;
  moved.labels[2].caption = "other";
  EXPECT_NE(DrawingDifference(drawing, moved).find("label WavelengthTitle differs"), std::string::npos);

  for (const char* bad : {"1 2 3 4", "1 2 3 4 ff extra", "1 2 x 4 ff", "1 2 3 4 fg", "label NoSuchLabel 0 0 \"\"",
                          "label FirstWavelength 0 0 \"open", "label FirstWavelength 0 \"\""}) {
    EXPECT_FALSE(ParseDrawing(std::string("# comment\n") + bad + "\n", error)) << bad;
    EXPECT_EQ(error.rfind("row 2 ", 0), 0u) << bad << ": " << error;
  }
}

}  // namespace
}  // namespace quillon
