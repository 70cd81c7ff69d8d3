#include "spectrum/image_row_spectra.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/ascii_text.h"
#include "fits/image_data.h"

namespace quillon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The log-linear scale of COEFF0/COEFF1 (log10 of the wavelength of the
// first sample and the step): sample i (1-based) at 10^(COEFF0 + COEFF1 (i - 1)).
std::optional<WavelengthScale> CoefficientScale(const HduHeader& h) {
  const std::optional<double> c0 = h.Number("COEFF0");
  const std::optional<double> c1 = h.Number("COEFF1");
  if (!c0 || !c1 || !std::isfinite(*c0) || !std::isfinite(*c1) || *c1 == 0 || *c0 <= 0 || *c0 > 7) return std::nullopt;
  return WavelengthScale{*c0 - *c1, *c1, true};
}

// Spextool's ORDERS ('5,6,7,8') as numbers; empty when it does not parse.
std::vector<int64_t> OrderNumbers(const std::string& text, std::size_t limit) {
  std::vector<int64_t> orders;
  std::size_t at = 0;
  while (at < text.size() && orders.size() < limit) {
    const std::size_t comma = text.find(',', at);
    std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    const auto first = part.find_first_not_of(' ');
    const auto last = part.find_last_not_of(' ');
    if (first == std::string::npos) return {};
    part = part.substr(first, last - first + 1);
    int64_t value = 0;
    const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    if (result.ec != std::errc() || result.ptr != part.data() + part.size()) return {};
    orders.push_back(value);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return orders;
}

// A wavelength row worth the name: finite, positive and running one way
// where it has values (Spextool pads with NaN).
bool PlausibleWavelengths(const std::vector<double>& w) {
  int direction = 0;
  double previous = kNaN;
  int64_t finite = 0;
  for (const double v : w) {
    if (std::isnan(v)) continue;
    if (!std::isfinite(v) || v <= 0) return false;
    ++finite;
    if (!std::isnan(previous) && v != previous) {
      const int step = v > previous ? 1 : -1;
      if (direction == 0) direction = step;
      else if (step != direction) return false;
    }
    previous = v;
  }
  return finite >= 2;
}

}  // namespace

std::optional<ImageRowPlan> PlanImageRows(const Hdu& primary) {
  const HduHeader& h = primary.header;
  const std::vector<int64_t>& axes = primary.axes;
  if (axes.size() < 2 || axes.size() > 3 || axes[0] < 1 || axes[1] < 1) return std::nullopt;
  if (axes.size() == 3 && axes[2] < 1) return std::nullopt;
  ImageRowPlan plan;
  plan.length = axes[0];
  plan.rows = axes[1];
  plan.planes = axes.size() == 3 ? axes[2] : 1;
  const std::string telescope = UpperAscii(h.String("TELESCOP").value_or(""));
  const std::optional<std::string> xunits = h.String("XUNITS");

  if (xunits && (plan.rows == 3 || plan.rows == 4)) {
    plan.writer = "Spextool";
    plan.wave_row = 0;
    plan.flux_row = 1;
    plan.error_row = 2;
    if (plan.rows == 4) plan.mask_row = 3;
    plan.wave_unit_text = *xunits;
    plan.wave_unit = ParseSpectralUnit(*xunits);
    plan.flux_unit = h.String("YUNITS").value_or("");
    if (plan.planes > 1) {
      const int64_t apertures = std::max<int64_t>(1, h.Integer("NAPS").value_or(1));
      const std::vector<int64_t> orders =
          OrderNumbers(h.String("ORDERS").value_or(""), static_cast<std::size_t>(std::min<int64_t>(plan.planes, 4096)));
      for (int64_t p = 0; p < plan.planes && p < 4096; ++p) {
        const int64_t index = p / apertures;
        const std::string order =
            index < static_cast<int64_t>(orders.size()) ? std::to_string(orders[static_cast<std::size_t>(index)])
                                                        : std::to_string(index + 1);
        plan.plane_names.push_back("order " + order +
                                   (apertures > 1 ? ", aperture " + std::to_string(p % apertures + 1) : ""));
      }
    }
    return plan;
  }
  if (plan.planes != 1) return std::nullopt;
  if (telescope == "LAMOST" && plan.rows >= 3) {
    plan.writer = "LAMOST";
    plan.flux_row = 0;
    plan.error_row = 1;
    plan.error_kind = ErrorKind::kInverseVariance;
    plan.wave_row = 2;
    if (plan.rows >= 4) plan.mask_row = 3;  // the and-mask: bad in every exposure
    plan.scale = CoefficientScale(h);
    plan.flux_unit = h.String("BUNIT").value_or("");
    return plan;
  }
  if (telescope.rfind("SDSS", 0) == 0 && plan.rows >= 3) {
    plan.scale = CoefficientScale(h);
    if (!plan.scale) return std::nullopt;  // an SDSS image, not a spectrum
    plan.writer = "SDSS";
    plan.flux_row = 0;
    plan.error_row = 2;
    if (plan.rows >= 4) plan.mask_row = 3;
    plan.flux_unit = h.String("BUNIT").value_or("");
    return plan;
  }
  return std::nullopt;
}

bool ReadImageRowSpectrum(ByteSource& source, const Hdu& primary, const ImageRowPlan& plan, int64_t plane,
                          ImageRowSpectrum& out, std::string& error) {
  out = {};
  std::optional<ImageLayout> image = ImageLayoutOf(primary, error);
  if (!image) return false;
  if (plane < 0 || plane >= plan.planes) {
    error = "the image has no plane " + std::to_string(plane);
    return false;
  }
  const auto read_row = [&](int row, std::vector<double>& values) {
    values.reserve(static_cast<std::size_t>(plan.length) + 1);
    return ReadImageRow(source, *image, plane * plan.rows + row, values, error);
  };
  if (!read_row(plan.flux_row, out.flux)) return false;
  if (plan.wave_row >= 0) {
    if (!read_row(plan.wave_row, out.wave)) return false;
    if (!PlausibleWavelengths(out.wave) && plan.scale) {
      out.wave.clear();  // not a wavelength row (LAMOST's earliest files): the keywords' scale
    } else {
      for (double& v : out.wave) v *= plan.wave_unit.to_angstrom;
      if (plan.wave_unit.log10) {
        for (double& v : out.wave) v = std::pow(10.0, v);
      }
    }
  }
  if (out.wave.empty()) {
    out.scale = plan.scale;
  } else {
    // Trailing samples with neither a wavelength nor a flux pad a short order.
    std::size_t used = out.wave.size();
    while (used > 0 && std::isnan(out.wave[used - 1]) && std::isnan(out.flux[used - 1])) --used;
    out.wave.resize(used);
    out.flux.resize(used);
  }
  if (plan.error_row >= 0 && !read_row(plan.error_row, out.errors)) return false;
  if (plan.mask_row >= 0 && !read_row(plan.mask_row, out.mask)) return false;
  return true;
}

}  // namespace quillon
