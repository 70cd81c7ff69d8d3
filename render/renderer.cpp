#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/int_convert.h"
#include "spectrum/level_summary.h"
#include "render/number_format.h"
#include "render/pixel_grid.h"

namespace quillon {

namespace {

constexpr int32_t kGrey = 0x00C0C0C0;
constexpr int32_t kBlack = 0x00000000;
constexpr double kIntensityAxisBottom = -40;
constexpr int16_t kTickLength = 100;
// The decade of a span is found with this divisor, not the exact ln 10, so
// spans of exactly 0.1, 0.01 ... fall into the decade below.
constexpr double kDecadeDivisor = 2.302585;

bool IsUsableSpan(double span) { return std::isfinite(span) && span > 0; }

// Pulls a coordinate into +-kSafeCoordinate; NaN stays NaN for the caller to
// drop. Written as max then min so that it compiles without branches.
double Safe(double v) { return std::min(std::max(v, -kSafeCoordinate), kSafeCoordinate); }

// A line as a surface receives it, pulled into the safe range; false for a
// line with an undefined end (a NaN sample), which is dropped.
bool SafeLine(double x1, double y1, double x2, double y2, int32_t color, RecordedLine& out) {
  x1 = Safe(x1);
  y1 = Safe(y1);
  x2 = Safe(x2);
  y2 = Safe(y2);
  // Four values within +-kSafeCoordinate add up to a finite sum unless one is NaN.
  if (std::isnan(x1 + y1 + x2 + y2)) return false;
  out = {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2), color};
  return true;
}

// Hands one line to the surface, as SafeLine lets it through.
void EmitLine(DrawingSurface& surface, double x1, double y1, double x2, double y2) {
  RecordedLine line;
  if (SafeLine(x1, y1, x2, y2, 0, line)) surface.Line(line.x1, line.y1, line.x2, line.y2);
}

void EmitLabel(DrawingSurface& surface, PlotLabel label, double left, double top, const std::string& caption) {
  surface.SetLabel(label, static_cast<float>(std::isnan(left) ? 0.0 : Safe(left)),
                   static_cast<float>(std::isnan(top) ? 0.0 : Safe(top)), caption);
}

// The first 6 characters of the plain text of a single-precision value,
// leading blank included (" 6562." for 6562.5).
std::string ShortPlain(float value) { return PlainDecimal(value).substr(0, 6); }

// The mappings of one drawing, from its frame and axis ranges.
struct Mapping {
  double lambda_min;
  double span_x;
  double intensity_min;
  double span_y;
  double frame_left;
  double frame_bottom;
  double w_g;  // frame width for the grid
  double w_c;  // frame width for the curves and the x labels
  double h;

  double Xg(double v) const { return (v - lambda_min) / span_x * w_g + frame_left; }
  double Xc(double v) const { return (v - lambda_min) / span_x * w_c + frame_left; }
  double Y(double v) const { return frame_bottom - (v - intensity_min) / span_y * h; }
};

float TickValue(const AxisTicks& ticks, int32_t k) { return static_cast<float>(k) * ticks.step; }

// The lines of one curve, handed to the surface a block at a time: a
// million-sample staircase is two million lines, and one call each would
// cost more than drawing them. Every line is still emitted, in order, with
// the same filtering as EmitLine.
class CurveLines {
 public:
  CurveLines(DrawingSurface& surface, int32_t color) : surface_(surface) { in_force_.color = color; }
  ~CurveLines() { Flush(); }
  CurveLines(const CurveLines&) = delete;
  CurveLines& operator=(const CurveLines&) = delete;

  void Add(double x1, double y1, double x2, double y2) {
    if (!SafeLine(x1, y1, x2, y2, in_force_.color, block_[filled_])) return;
    if (++filled_ == kBlock) Flush();
  }

  void Flush() {
    if (filled_ == 0) return;
    // The curve's colour is already set: `in_force_` says so.
    surface_.DrawRecorded(block_, filled_, &in_force_);
    filled_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 512;
  DrawingSurface& surface_;
  RecordedLine in_force_{};
  RecordedLine block_[kBlock];
  std::size_t filled_ = 0;
};

// The last position of first..last whose riser lies in pixel column
// `column`, given that position `first` lies there. Column positions never
// decrease along the positions, so those in one column are consecutive:
// gallop, then halve.
template <typename ColumnOf>
int32_t LastInColumn(int32_t first, int32_t last, int column, const ColumnOf& column_of) {
  int64_t good = first;
  int64_t step = 1;
  while (good + step <= last && column_of(static_cast<int32_t>(good + step)) == column) {
    good += step;
    step *= 2;
  }
  int64_t bad = std::min<int64_t>(good + step, int64_t{last} + 1);
  while (bad - good > 1) {
    const int64_t mid = good + (bad - good) / 2;
    if (column_of(static_cast<int32_t>(mid)) == column) good = mid;
    else bad = mid;
  }
  return static_cast<int32_t>(good);
}

// The summary of a spectrum's levelled samples: its own, or one built for
// this drawing when the spectrum was made without one.
std::shared_ptr<const LevelSummary> SummaryOf(const Spectrum& spectrum) {
  if (spectrum.summary && spectrum.summary->Describes(spectrum.levelled)) return spectrum.summary;
  return LevelSummary::Build(spectrum.levelled);
}

// Draws at x the pixel column where samples lo..hi (sample numbers) meet:
// one vertical run per stretch of present samples, from the lowest to the
// highest level of the stretch. Runs in one column may come in any order.
template <typename YOf>
void ColumnRuns(const LevelSummary& summary, const SampleArray& levelled, int64_t lo, int64_t hi, double x,
                const YOf& y_of, CurveLines& lines) {
  for (int64_t a = summary.NextPresent(lo); a <= hi;) {
    const int64_t b = std::min<int64_t>(summary.NextMissing(a) - 1, hi);
    const LevelExtent extent = summary.Extent(levelled, a, b);
    if (!extent.empty) lines.Add(x, y_of(extent.high), x, y_of(extent.low));
    a = summary.NextPresent(b + 1);
  }
}

// Positions 1..count of one staircase, left to right: position k is sample
// first + k - 1, or first + count - k when the samples run red to blue.
struct Stretch {
  int64_t first = 1;
  int32_t count = 0;
  bool reversed = false;
  int64_t SampleAt(int32_t k) const { return reversed ? first + count - k : first - 1 + k; }
};

// Where position k's step ends on a wavelength scale (k = 0: where
// position 1's begins).
template <bool kLog>
struct ScaleEdges {
  double origin;
  double step;
  double operator()(int32_t k) const {
    const double linear = origin + step * k;
    return kLog ? std::pow(10.0, linear) : linear;
  }
};

// The same for a stretch with a wavelength per sample: a sample's step ends
// at its wavelength as a scale's does (begins there when the stretch runs
// red to blue); the outer edge of the stretch lies a neighbour's distance
// beyond its end sample.
struct SampleEdges {
  const double* wavelengths;  // 1-based
  Stretch stretch;
  double outer;
  double operator()(int32_t k) const {
    if (!stretch.reversed) return k == 0 ? outer : wavelengths[stretch.first - 1 + k];
    return k == stretch.count ? outer : wavelengths[stretch.first + stretch.count - 1 - k];
  }
};

// The staircase of one stretch over positions range.first..range.last, its
// last step cut at end_x (the plotted range's end, or +infinity). A
// missing sample (NaN) leaves out its step and both risers that touch it,
// so the curve breaks there.
//
// Position j is a step from the previous position's edge to its own at
// its level, joined to the next by a riser. On a surface with pixels
// (`summary` given), where the risers of positions j..k all fall into one
// pixel column, that column lights exactly the rows from the lowest to the
// highest level among positions j..k+1 (the riser of k reaches k+1), broken
// only at missing samples; those runs come from the summary instead of the
// 2(k - j) segments, so the cost of a curve follows the pixels it covers,
// not its samples.
template <bool kReversed, typename Edges>
void DrawSteps(const Stretch& stretch, const Edges& edge, const SampleArray& levelled, double offset,
               const SlotPixelRange& range, double end_x, const Mapping& m, CurveLines& lines,
               const LevelSummary* summary, double pixels_per_twip) {
  // Position k's value is base[k] left to right, base[-k] red to blue.
  const double* base =
      kReversed ? levelled.data() + stretch.first + stretch.count : levelled.data() + stretch.first - 1;
  const auto value = [base](int32_t k) { return kReversed ? base[-k] : base[k]; };
  const auto x_of = [&](int32_t j) { return m.Xc(edge(j)); };
  // The column a surface lights for a line end at x, as SafeLine hands it on.
  const auto column_at = [&](double x) { return PixelOf(static_cast<float>(Safe(x)), pixels_per_twip); };
  const auto column_of = [&](int32_t j) { return column_at(x_of(j)); };
  const auto y_of = [&](double level) { return m.Y(level - offset); };
  double x = m.Xc(range.start_lambda);
  double y = m.Y(value(range.first) - offset);
  for (int32_t j = range.first; j <= range.last; ++j) {
    const double xj = x_of(j);
    if (j == range.last && xj > end_x) {
      // The last step reaches past the plotted range: cut at its end.
      lines.Add(x, y, end_x, y);
      break;
    }
    lines.Add(x, y, xj, y);
    if (j == stretch.count) break;
    if (summary != nullptr && j < range.last && std::isfinite(xj)) {
      const int column = column_at(xj);
      if (column_of(j + 1) == column) {
        const int32_t k = LastInColumn(j + 1, range.last, column, column_of);
        const int32_t top = std::min(k + 1, stretch.count);
        if (kReversed) {
          ColumnRuns(*summary, levelled, stretch.SampleAt(top), stretch.SampleAt(j), xj, y_of, lines);
        } else {
          ColumnRuns(*summary, levelled, stretch.SampleAt(j), stretch.SampleAt(top), xj, y_of, lines);
        }
        if (k == range.last || k == stretch.count) break;
        // Position k + 1's step starts at k's riser, as in the plain loop.
        x = x_of(k);
        y = m.Y(value(k + 1) - offset);
        j = k;
        continue;
      }
    }
    const double y_next = m.Y(value(j + 1) - offset);
    lines.Add(xj, y, xj, y_next);
    x = xj;
    y = y_next;
  }
}

template <typename Edges>
void DrawStretch(const Stretch& stretch, const Edges& edge, const SampleArray& levelled, double offset,
                 const SlotPixelRange& range, double end_x, const Mapping& m, CurveLines& lines,
                 const LevelSummary* summary, double pixels_per_twip) {
  if (stretch.reversed) {
    DrawSteps<true>(stretch, edge, levelled, offset, range, end_x, m, lines, summary, pixels_per_twip);
  } else {
    DrawSteps<false>(stretch, edge, levelled, offset, range, end_x, m, lines, summary, pixels_per_twip);
  }
}

// The positions of one stretch with a wavelength per sample inside the
// plotted range: from the first whose step ends past lambda_min to the last
// whose step begins before lambda_max. Edges never fall along a stretch.
SlotPixelRange VisiblePositions(const SampleEdges& edge, double lambda_min, double lambda_max) {
  const auto first_where = [&](auto&& holds) {
    int32_t lo = 1, hi = edge.stretch.count + 1;  // the answer lies in lo..hi
    while (lo < hi) {
      const int32_t mid = lo + (hi - lo) / 2;
      if (holds(mid)) hi = mid;
      else lo = mid + 1;
    }
    return lo;
  };
  SlotPixelRange range;
  range.first = first_where([&](int32_t k) { return edge(k) > lambda_min; });
  range.last = first_where([&](int32_t k) { return edge(k - 1) >= lambda_max; }) - 1;
  if (!range.empty()) range.start_lambda = std::max(lambda_min, edge(range.first - 1));
  return range;
}

// A spectrum with a wavelength per sample: each of its stretches is a
// staircase of its own, in stored order, none joined to the next.
void DrawSampleWavelengths(const Spectrum& spectrum, const PlotScene& scene, const Mapping& m, double offset,
                           CurveLines& lines, const LevelSummary* summary, double pixels_per_twip) {
  const SampleArray& w = spectrum.wavelengths;
  const int64_t held = std::min<int64_t>({RoundToInt32(spectrum.SampleCount()),
                                          static_cast<int64_t>(spectrum.levelled.size()) - 1,
                                          static_cast<int64_t>(w.size()) - 1});
  std::vector<SampleRun> found;
  if (spectrum.runs.empty()) found = WavelengthRuns(w, held);
  const std::vector<SampleRun>& runs = spectrum.runs.empty() ? found : spectrum.runs;
  // A lone sample's step is as wide as the spectrum's mean step.
  double lone_width = std::fabs(spectrum.lambda_end - spectrum.lambda_start) / static_cast<double>(std::max<int64_t>(held, 1));
  if (!std::isfinite(lone_width) || lone_width <= 0) lone_width = 1;
  for (const SampleRun& run : runs) {
    if (run.first < 1 || run.first > held) continue;
    const int64_t last = std::min<int64_t>({run.last, held, run.first + std::numeric_limits<int32_t>::max() - 2});
    if (last < run.first) continue;
    Stretch stretch{run.first, static_cast<int32_t>(last - run.first + 1), w[last] < w[run.first]};
    const double first_w = w[run.first];
    const double reach = stretch.count >= 2 ? std::fabs(w[run.first + 1] - first_w) : lone_width;
    const SampleEdges edge{w.data(), stretch, stretch.reversed ? first_w + reach : first_w - reach};
    const SlotPixelRange range = VisiblePositions(edge, scene.lambda_min, scene.lambda_max);
    if (range.empty()) continue;
    DrawStretch(stretch, edge, spectrum.levelled, offset, range, m.Xc(scene.lambda_max), m, lines, summary,
                pixels_per_twip);
  }
}

void DrawCurve(const PlotCurve& curve, const PlotScene& scene, const Mapping& m, DrawingSurface& surface) {
  const Spectrum& spectrum = *curve.spectrum;
  const bool per_sample = !spectrum.wavelengths.empty();
  const SlotPixelRange range =
      per_sample ? SlotPixelRange{} : VisibleSamples(spectrum, scene.lambda_min, scene.lambda_max);
  if (!per_sample && range.empty()) return;
  const SampleArray& levelled = spectrum.levelled;
  const double offset = curve.offset;
  const double pixels_per_twip = surface.PixelsPerTwip();
  const bool by_columns = pixels_per_twip > 0 && std::isfinite(pixels_per_twip);
  const std::shared_ptr<const LevelSummary> kept = by_columns ? SummaryOf(spectrum) : nullptr;
  const LevelSummary* summary = kept.get();
  CurveLines lines(surface, curve.color);
  if (per_sample) {
    DrawSampleWavelengths(spectrum, scene, m, offset, lines, summary, pixels_per_twip);
    return;
  }
  // VisibleSamples keeps last <= view.count, so position j + 1 is read only
  // while j is below it.
  const AscendingSamples view = AscendingView(spectrum);
  // Its last step may reach half a step past the plotted range, as the
  // positions are rounded to the range's ends.
  const Stretch stretch{1, view.count, view.reversed};
  constexpr double kUncut = std::numeric_limits<double>::infinity();
  if (view.scale.logarithmic) {
    DrawStretch(stretch, ScaleEdges<true>{view.scale.origin, view.scale.step}, levelled, offset, range, kUncut, m,
                lines, summary, pixels_per_twip);
  } else {
    DrawStretch(stretch, ScaleEdges<false>{view.scale.origin, view.scale.step}, levelled, offset, range, kUncut, m,
                lines, summary, pixels_per_twip);
  }
}

}  // namespace

void DrawingSurface::DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) {
  for (std::size_t i = 0; i < count; ++i) {
    const RecordedLine& line = lines[i];
    if (ColorChangesAt(lines, i, previous)) SetForeColor(line.color);
    Line(line.x1, line.y1, line.x2, line.y2);
  }
}

AxisTicks ComputeTicks(double span, double minimum, double maximum) {
  AxisTicks ticks;
  if (!IsUsableSpan(span) || !std::isfinite(minimum) || !std::isfinite(maximum)) return ticks;
  const float decade = static_cast<float>(std::pow(10.0, std::floor(std::log(span) / kDecadeDivisor)));
  if (!std::isfinite(decade) || decade <= 0) return ticks;
  const double g = span / decade;
  double factor = 10;
  if (g < 5) factor = 5;
  if (g < 2) factor = 2;
  const float step = static_cast<float>(decade * factor / 10);
  if (!std::isfinite(step) || step <= 0) return ticks;

  // Indices beyond 32 bits cannot be counted exactly; such an axis gets no ticks.
  constexpr double kIndexLimit = 2147483000.0;
  const double first_guess = std::floor(minimum / step);
  const double last_guess = std::floor(maximum / step);
  if (!(std::fabs(first_guess) < kIndexLimit) || !(std::fabs(last_guess) < kIndexLimit)) return ticks;

  // The corrections move an index by at most a few steps; the bound only
  // guards against arithmetic that has lost its precision.
  constexpr int kMaxCorrections = 8;
  int32_t first = static_cast<int32_t>(first_guess);
  for (int i = 0; i < kMaxCorrections && static_cast<float>(first) * step < minimum; ++i) ++first;
  if (static_cast<float>(first) * step < minimum) return ticks;
  int32_t last = static_cast<int32_t>(last_guess);
  for (int i = 0; i < kMaxCorrections && static_cast<float>(last) * step > maximum; ++i) --last;
  if (static_cast<float>(last) * step > maximum) return ticks;

  if (first > last || static_cast<int64_t>(last) - first + 1 > kMaxTicks) return ticks;
  ticks.step = step;
  ticks.first = first;
  ticks.last = last;
  ticks.valid = true;
  return ticks;
}

AscendingSamples AscendingView(const Spectrum& spectrum) {
  AscendingSamples view;
  view.count = std::min(RoundToInt32(spectrum.SampleCount()), static_cast<int32_t>(spectrum.levelled.size()) - 1);
  view.scale = spectrum.DrawnScale();
  if (view.scale.Descending()) {
    view.reversed = true;
    view.scale = view.scale.Reversed(spectrum.SampleCount());
  }
  return view;
}

SlotPixelRange VisibleSamples(const Spectrum& spectrum, double lambda_min, double lambda_max) {
  SlotPixelRange range;
  const double n = spectrum.SampleCount();
  const double start = spectrum.lambda_start;
  const double end = spectrum.lambda_end;
  // Positions are proportional to the scale's own axis: the wavelength, or
  // its logarithm for a logarithmic scale.
  const bool log = spectrum.scale.logarithmic;
  const auto axis = [log](double lambda) { return log ? std::log10(lambda) : lambda; };
  if (lambda_min > start) {
    range.first = RoundToInt32(1 + n * (axis(lambda_min) - axis(start)) / (axis(end) - axis(start)));
    range.start_lambda = lambda_min;
  } else {
    range.first = 1;
    range.start_lambda = start;
  }
  if (lambda_max < end) {
    range.last = RoundToInt32(n * (axis(lambda_max) - axis(start)) / (axis(end) - axis(start)));
  } else {
    range.last = RoundToInt32(n);
  }
  // Clamped to the samples the spectrum really holds: a spectrum far outside
  // the view (or a dispersion of 0) comes out empty instead of reading past
  // them.
  const auto held = static_cast<int32_t>(spectrum.levelled.size()) - 1;
  const int32_t count = std::min(RoundToInt32(n), held);
  range.first = std::max<int32_t>(range.first, 1);
  range.last = std::min(range.last, count);
  return range;
}

double MaxPlottedIntensity(const std::vector<PlotCurve>& curves) {
  double top = -9999;
  for (const PlotCurve& curve : curves) {
    const double value = curve.spectrum->levelled_max - curve.offset;
    if (value > top) top = value;
  }
  return top;
}

PlotFrame LayOutPlot(const PlotScene& scene) {
  PlotFrame frame;
  frame.lambda_min = scene.lambda_min;
  frame.lambda_span = scene.lambda_max - scene.lambda_min;
  frame.intensity_max = MaxPlottedIntensity(scene.curves);
  frame.intensity_min = kIntensityAxisBottom;
  frame.left = 800;
  frame.right = ClampToInt16(int32_t{scene.width} - 415);
  frame.top = 300;
  frame.bottom = ClampToInt16(int32_t{scene.height} - 850 - kBottomReserve);
  return frame;
}

PlotFrame RenderScene(const PlotScene& scene, DrawingSurface& surface) {
  const PlotFrame frame = LayOutPlot(scene);
  surface.Clear();
  DrawPlot(scene, frame, surface);
  return frame;
}

void DrawPlot(const PlotScene& scene, const PlotFrame& f, DrawingSurface& surface_ref) {
  DrawingSurface* const surface = &surface_ref;
  const double span_x = f.lambda_span;
  const double span_y = f.intensity_max - f.intensity_min;
  const int16_t bottom_reserve = kBottomReserve;
  const Mapping m{f.lambda_min,
                  span_x,
                  f.intensity_min,
                  span_y,
                  static_cast<double>(f.left),
                  static_cast<double>(f.bottom),
                  static_cast<double>(f.right - f.left),
                  static_cast<double>(f.right - f.left + 1),
                  static_cast<double>(f.bottom - f.top)};
  const double frame_left = f.left;
  const double frame_right = f.right;
  const double frame_top = f.top;
  const double frame_bottom = f.bottom;
  // A span of zero or less, or not finite, has no picture: the frame alone is
  // drawn, and the number labels are blanked rather than left from an
  // earlier drawing.
  const bool drawable = IsUsableSpan(span_x) && IsUsableSpan(span_y);

  // Wavelength axis.
  const AxisTicks xt = drawable ? ComputeTicks(span_x, scene.lambda_min, scene.lambda_max) : AxisTicks{};
  if (xt.valid) {
    for (int32_t k = xt.first; k <= xt.last; ++k) {
      const double xg = m.Xg(TickValue(xt, k));
      if (!(frame_left <= xg && xg <= frame_right)) continue;
      surface->SetForeColor(kGrey);
      EmitLine(*surface, xg, frame_top, xg, frame_bottom);
      surface->SetForeColor(kBlack);
      EmitLine(*surface, xg, frame_top, xg, frame_top + kTickLength);
      EmitLine(*surface, xg, frame_bottom - kTickLength, xg, frame_bottom);
    }
  }
  const double x_label_top = int32_t{scene.height} - bottom_reserve - 800;
  if (xt.valid) {
    const float first = TickValue(xt, xt.first);
    const float last = TickValue(xt, xt.last);
    EmitLabel(*surface, PlotLabel::FirstWavelength, m.Xc(first) - 200, x_label_top, ShortPlain(first));
    EmitLabel(*surface, PlotLabel::LastWavelength, m.Xc(last) - 200, x_label_top, ShortPlain(last));
  } else {
    // No numbers rather than the numbers of an earlier drawing.
    EmitLabel(*surface, PlotLabel::FirstWavelength, frame_left - 200, x_label_top, "");
    EmitLabel(*surface, PlotLabel::LastWavelength, frame_right - 200, x_label_top, "");
  }
  EmitLabel(*surface, PlotLabel::WavelengthTitle, 0.7 * scene.outer_width, int32_t{scene.height} - bottom_reserve - 600,
            "Wavelength /Angstroms");

  // Intensity axis.
  const AxisTicks yt =
      drawable ? ComputeTicks(span_y, f.intensity_min, f.intensity_max) : AxisTicks{};
  if (yt.valid) {
    for (int32_t k = yt.first; k <= yt.last; ++k) {
      const double y = m.Y(TickValue(yt, k));
      if (!(frame_top <= y && y <= frame_bottom)) continue;
      surface->SetForeColor(kGrey);
      EmitLine(*surface, frame_left, y, frame_right, y);
      surface->SetForeColor(kBlack);
      EmitLine(*surface, frame_left, y, frame_left + kTickLength, y);
      EmitLine(*surface, frame_right, y, frame_right - kTickLength, y);
    }
  }
  const double step_label_top = 0.6 * m.h + frame_top;
  if (yt.valid) {
    const float first = TickValue(yt, yt.first);
    const float last = TickValue(yt, yt.last);
    EmitLabel(*surface, PlotLabel::TopIntensity, 0, m.Y(last) - 100, FormatValue(last, 6, 0));
    EmitLabel(*surface, PlotLabel::BottomIntensity, 0, m.Y(first) - 100, FormatValue(first, 6, 0));
    EmitLabel(*surface, PlotLabel::IntensityStep, 0, step_label_top, ShortPlain(yt.step));
  } else {
    EmitLabel(*surface, PlotLabel::TopIntensity, 0, frame_top - 100, "");
    EmitLabel(*surface, PlotLabel::BottomIntensity, 0, frame_bottom - 100, "");
    EmitLabel(*surface, PlotLabel::IntensityStep, 0, step_label_top, "");
  }

  surface->SetForeColor(kBlack);
  EmitLine(*surface, frame_left, frame_top, frame_right, frame_top);
  EmitLine(*surface, frame_right, frame_top, frame_right, frame_bottom);
  EmitLine(*surface, frame_right, frame_bottom, frame_left, frame_bottom);
  EmitLine(*surface, frame_left, frame_bottom, frame_left, frame_top);

  if (!drawable) return;
  for (const PlotCurve& curve : scene.curves) {
    surface->SetForeColor(curve.color);
    DrawCurve(curve, scene, m, *surface);
    const double y0 = m.Y(0.0 - curve.offset);
    EmitLine(*surface, frame_right, y0, scene.width, y0);
  }
}

}  // namespace quillon
