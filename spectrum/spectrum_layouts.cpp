#include "spectrum/spectrum_layouts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <utility>

#include "base/ascii_text.h"
#include "base/large_buffer.h"
#include "fits/binary_table.h"
#include "fits/gzip_source.h"
#include "fits/hdu_list.h"
#include "fits/image_data.h"
#include "spectrum/column_roles.h"
#include "spectrum/image_row_spectra.h"
#include "spectrum/iraf_multispec.h"
#include "spectrum/spectrum_levelling.h"
#include "spectrum/spectrum_statistics.h"

namespace quillon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  text.erase(text.find_last_not_of(' ') + 1);
  return text.substr(first);
}

bool ParseInteger(const std::string& text, int64_t& value) {
  const std::string t = Trimmed(text);
  if (t.empty()) return false;
  const char* end = t.data() + t.size();
  const auto result = std::from_chars(t.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// ---- What was read, before the level --------------------------------------

// A spectrum's samples as a layout reads them: arrays of samples 1..n with
// entry 0 unused, as the spectrum keeps them, so that they become its arrays
// without a copy.
struct RawSpectrum {
  SpectrumOrigin origin;
  SampleArray wave;                      ///< per sample; empty when `scale` places them
  std::optional<WavelengthScale> scale;  ///< a WCS: sample i at scale.At(i)
  SampleArray flux;
  SampleArray sigma;                     ///< empty: no uncertainty
  int64_t flagged = 0;
  std::string flux_unit;
  std::string wave_unit;
  SpectralAxis axis = SpectralAxis::kWavelength;
  bool multiple_in_hdu = false;          ///< the HDU holds more than one spectrum (rows or groups)
  bool grouped = false;                  ///< one of several extraction groups of its table
  std::optional<int64_t> aperture;       ///< IRAF aperture number of a multispec line
  bool by_aperture = false;              ///< addressed by its aperture number (unique in its file)
  /// First samples of the pieces after the first, when spectra of one HDU
  /// are joined ([all]): the curve is not joined across them.
  std::vector<int64_t> cuts;

  /// What the levelling's first pass finds, when a layout took it while
  /// reading: the missing samples (NaN in `flux` already), those among them
  /// that had a finite flux but no finite wavelength, the range of the
  /// finite per-sample wavelengths and the block maxima of the level.
  struct Presence {
    bool known = false;
    int64_t missing = 0;
    int64_t unplaced = 0;
    double wave_low = std::numeric_limits<double>::infinity();
    double wave_high = -std::numeric_limits<double>::infinity();
    std::vector<double> peaks{0};
  } presence;

  int64_t Count() const { return flux.empty() ? 0 : static_cast<int64_t>(flux.size()) - 1; }
};

// values[0..n-1] as samples 1..n (entry 0 unused), as the raw arrays hold
// them: moved in place when the vector has room for one more.
SampleArray OneBased(std::vector<double>& values) {
  if (!values.empty()) values.insert(values.begin(), 0.0);
  return std::move(values);
}

// Marks samples[0..count-1] missing (NaN) where the sample or its wavelength
// wave[0..count-1] is not finite, counting them in `missing` and those with
// a finite sample in `unplaced`; [low, high] widens to take in the finite
// wavelengths. Without branches, so that it runs at the speed of memory.
void MarkUnplaced(double* samples, const double* wave, int64_t count, int64_t& missing, int64_t& unplaced,
                  double& low, double& high) {
  int64_t gone_count = 0, unplaced_count = 0;
  double lo = low, hi = high;
  for (int64_t i = 0; i < count; ++i) {
    const double v = samples[i];
    const double w = wave[i];
    const bool placed = std::isfinite(w);
    const bool present = std::isfinite(v);
    const bool gone = !present || !placed;
    gone_count += gone;
    unplaced_count += present && !placed;
    samples[i] = gone ? kNaN : v;
    lo = std::min(lo, placed ? w : lo);
    hi = std::max(hi, placed ? w : hi);
  }
  missing += gone_count;
  unplaced += unplaced_count;
  low = lo;
  high = hi;
}

// values[0..n-1] as an array of samples 1..n (entry 0 unused): moved in place
// when the vector has room for one more.
SampleArray OneBased(std::vector<double>&& values) {
  values.insert(values.begin(), 0.0);
  return std::move(values);
}

// One sample's flags: its 1-sigma (NaN where there is none) and whether its
// pipeline marks it bad.
struct SampleFlags {
  const double* error = nullptr;  // the uncertainty values as stored, or null
  ErrorKind kind = ErrorKind::kSigma;
  const double* mask = nullptr;  // the mask values, or null
  MaskKind mask_kind = MaskKind::kNonZeroBad;
  uint64_t bits = 0;
};

// Applies the flags of values[0..count-1] to flux[0..count-1] and, when
// there are errors, writes their sigma to sigma[0..count-1]: bad samples
// become NaN in both. Returns the count of bad samples.
// The loop of ApplyFlags for one kind of error and mask, without a branch
// a sample: its values are chosen, not jumped to, so that flags scattered
// at random cost no more than none.
template <ErrorKind kKind, bool kErrors, bool kPlainMask>
int64_t ApplyFlagsOf(const SampleFlags& flags, int64_t count, double* flux, double* sigma) {
  int64_t flagged = 0;
  for (int64_t i = 0; i < count; ++i) {
    bool bad = false;
    if constexpr (kPlainMask) {
      if (flags.mask != nullptr) bad = flags.mask[i] != 0 && !std::isnan(flags.mask[i]);
    } else {
      bad = flags.mask != nullptr && MaskIsBad(flags.mask[i], flags.mask_kind, flags.bits);
    }
    if constexpr (kErrors) {
      const double v = flags.error[i];
      double s;
      if constexpr (kKind == ErrorKind::kInverseVariance) {
        bad |= v <= 0;  // an ivar that is not a number flags nothing, but gives no sigma
        s = 1 / std::sqrt(v > 0 ? v : 1.0);
        s = v > 0 && v < std::numeric_limits<double>::infinity() ? s : kNaN;
      } else if constexpr (kKind == ErrorKind::kVariance) {
        s = std::sqrt(v >= 0 ? v : 0.0);
        s = v >= 0 && v < std::numeric_limits<double>::infinity() ? s : kNaN;
      } else {
        s = v >= 0 && v < std::numeric_limits<double>::infinity() ? v : kNaN;
      }
      sigma[i] = bad ? kNaN : s;
    }
    flagged += bad;
    flux[i] = bad ? kNaN : flux[i];
  }
  return flagged;
}

int64_t ApplyFlags(const SampleFlags& flags, int64_t count, double* flux, double* sigma) {
  const bool plain = flags.mask == nullptr || (flags.mask_kind == MaskKind::kNonZeroBad && flags.bits == 0);
  if (flags.error == nullptr) {
    return plain ? ApplyFlagsOf<ErrorKind::kSigma, false, true>(flags, count, flux, sigma)
                 : ApplyFlagsOf<ErrorKind::kSigma, false, false>(flags, count, flux, sigma);
  }
  switch (flags.kind) {
    case ErrorKind::kInverseVariance:
      return plain ? ApplyFlagsOf<ErrorKind::kInverseVariance, true, true>(flags, count, flux, sigma)
                   : ApplyFlagsOf<ErrorKind::kInverseVariance, true, false>(flags, count, flux, sigma);
    case ErrorKind::kVariance:
      return plain ? ApplyFlagsOf<ErrorKind::kVariance, true, true>(flags, count, flux, sigma)
                   : ApplyFlagsOf<ErrorKind::kVariance, true, false>(flags, count, flux, sigma);
    case ErrorKind::kSigma:
      break;
  }
  return plain ? ApplyFlagsOf<ErrorKind::kSigma, true, true>(flags, count, flux, sigma)
               : ApplyFlagsOf<ErrorKind::kSigma, true, false>(flags, count, flux, sigma);
}

// Flags the samples a mask or an inverse variance marks, turns the errors
// (0-based, beside samples 1..n) into sigma: bad samples become NaN in flux
// and sigma and are counted.
void ApplyErrorsAndMask(RawSpectrum& s, const std::vector<double>* error, ErrorKind kind,
                        const std::vector<double>* mask, MaskKind mask_kind, uint64_t bits) {
  const int64_t n = s.Count();
  if (error != nullptr) s.sigma.assign(static_cast<std::size_t>(n) + 1, 0.0);
  const SampleFlags flags{error != nullptr ? error->data() : nullptr, kind, mask != nullptr ? mask->data() : nullptr,
                          mask_kind, bits};
  s.flagged += ApplyFlags(flags, n, s.flux.data() + 1, error != nullptr ? s.sigma.data() + 1 : nullptr);
}

// Converts stored spectral values values[0..count-1] to Angstroms (a
// wavelength), in place.
void ToAngstroms(double* values, int64_t count, const SpectralUnit& unit, bool log_wavelength) {
  if (unit.axis != SpectralAxis::kWavelength) return;
  const double factor = unit.to_angstrom;
  if (unit.log10 || log_wavelength) {
    for (int64_t i = 0; i < count; ++i) values[i] = std::pow(10.0, values[i]) * factor;
  } else if (factor != 1) {
    for (int64_t i = 0; i < count; ++i) values[i] *= factor;
  }
}

// What a spectrum's pieces hold besides the flux, in this order after it:
// per-sample wavelengths, errors, mask values.
struct PieceColumns {
  bool wave = true;
  bool error = false;
  bool mask = false;
  ErrorKind error_kind = ErrorKind::kSigma;
  MaskKind mask_kind = MaskKind::kNonZeroBad;
  bool log_wavelength = false;
  std::size_t Count() const { return 1 + wave + error + mask; }
};

PieceColumns PiecesOf(const ColumnSet& set) {
  return {true, set.error >= 0, set.mask >= 0, set.error_kind, set.mask_kind, set.log_wavelength};
}

// Reads the `count` samples of a spectrum a piece at a time (`piece`, a
// multiple of 50) with read(first, count, outs), which puts the flux and
// the values `columns` names into outs, or returns false with a sentence
// where the caller keeps it. While each piece is in the cache the
// wavelengths are converted, the flags applied, the missing samples counted
// and marked and the level's block maxima taken; the values are then
// appended to the spectrum's arrays, so each long array is written once and
// the error and mask values are never held whole.
template <typename Read>
bool ReadPieces(const PieceColumns& columns, const SpectralUnit& unit, uint64_t mask_bits, int64_t count,
                int64_t piece, RawSpectrum& s, Read read) {
  piece = std::min(piece, count);  // a short spectrum's buffers hold it, no more
  const std::size_t held = columns.Count();
  std::vector<double> buffers((held + 1) * static_cast<std::size_t>(piece));
  std::vector<double*> outs;
  for (std::size_t k = 0; k < held; ++k) outs.push_back(buffers.data() + k * static_cast<std::size_t>(piece));
  double* const sigma = buffers.data() + held * static_cast<std::size_t>(piece);
  const auto size = static_cast<std::size_t>(count) + 1;
  ReserveLarge(s.flux, size);
  s.flux.push_back(0);
  if (columns.wave) {
    ReserveLarge(s.wave, size);
    s.wave.push_back(0);
  }
  if (columns.error) {
    ReserveLarge(s.sigma, size);
    s.sigma.push_back(0);
  }
  // The second halves of the new arrays are given their pages on a second
  // thread while this one fills the first halves.
  BackgroundPrefault prefault;
  const std::size_t half = size / 2;
  prefault.Add(s.flux.data() + half, (size - half) * sizeof(double));
  if (columns.wave) prefault.Add(s.wave.data() + half, (size - half) * sizeof(double));
  if (columns.error) prefault.Add(s.sigma.data() + half, (size - half) * sizeof(double));
  prefault.Start();
  SampleFlags flags{nullptr, columns.error_kind, nullptr, columns.mask_kind, mask_bits};
  std::size_t next = 1;
  double* const wave = columns.wave ? outs[next++] : nullptr;
  if (columns.error) flags.error = outs[next++];
  if (columns.mask) flags.mask = outs[next++];
  RawSpectrum::Presence& presence = s.presence;
  presence.peaks.reserve(static_cast<std::size_t>(count / kPeakBlockLength) + 2);
  for (int64_t first = 0; first < count;) {
    const int64_t m = std::min(piece, count - first);
    if (!read(first, m, outs)) return false;
    double* const flux = outs[0];
    s.flagged += ApplyFlags(flags, m, flux, sigma);
    if (wave != nullptr) {
      ToAngstroms(wave, m, unit, columns.log_wavelength);
      MarkUnplaced(flux, wave, m, presence.missing, presence.unplaced, presence.wave_low, presence.wave_high);
      s.wave.insert(s.wave.end(), wave, wave + m);
    } else {
      for (int64_t i = 0; i < m; ++i) {
        const bool gone = !std::isfinite(flux[i]);
        presence.missing += gone;
        flux[i] = gone ? kNaN : flux[i];
      }
    }
    AppendBlockPeaksOfPresent(flux, m, presence.peaks);
    s.flux.insert(s.flux.end(), flux, flux + m);
    if (columns.error) s.sigma.insert(s.sigma.end(), sigma, sigma + m);
    first += m;
  }
  presence.known = true;
  return true;
}

// ---- The file's HDUs ------------------------------------------------------

struct FileContext {
  ByteSource& source;
  const std::string& label;
  HduList list;
  std::string primary_bunit;
  bool extended_source = false;  // SRCTYPE = 'EXTENDED' in the primary
  bool jwst = false;
};

std::string HduAddress(const FileContext& f, const Hdu& hdu) {
  if (hdu.index == 0) return "[0]";
  // A name that brackets, commas or digits alone would misread goes by number.
  int64_t number = 0;
  if (hdu.extname.empty() || hdu.extname.find_first_of("[],;") != std::string::npos ||
      Trimmed(hdu.extname) != hdu.extname || ParseInteger(hdu.extname, number) || UpperAscii(hdu.extname) == "ALL")
    return "[" + std::to_string(hdu.index) + "]";
  // The first HDU of its name answers to the name alone, a later one to its
  // name and version, unless an earlier one has both too.
  for (const Hdu& other : f.list.hdus) {
    if (other.index < hdu.index && UpperAscii(other.extname) == UpperAscii(hdu.extname) && other.extver == hdu.extver)
      return "[" + std::to_string(hdu.index) + "]";
  }
  for (const Hdu& other : f.list.hdus) {
    if (other.index < hdu.index && UpperAscii(other.extname) == UpperAscii(hdu.extname))
      return "[" + hdu.extname + "," + std::to_string(hdu.extver) + "]";
  }
  return "[" + hdu.extname + "]";
}

bool CelestialType(const std::string& ctype) {
  const std::string t = UpperAscii(ctype);
  for (const char* prefix : {"RA--", "DEC-", "GLON", "GLAT", "ELON", "ELAT", "RA", "DEC"}) {
    if (t.rfind(prefix, 0) == 0 && (t.size() == std::string(prefix).size() || t[std::string(prefix).size()] == '-'))
      return true;
  }
  return false;
}

// ---- Tables ---------------------------------------------------------------

// A per-row length cell: NELEM (HST) or N_ALONGDISP (JWST).
int FindLengthColumn(const BinaryTable& table) {
  for (const char* name : {"NELEM", "N_ALONGDISP"}) {
    const int c = table.FindColumn(name);
    if (c >= 0 && table.Columns()[static_cast<std::size_t>(c)].Numeric()) return c;
  }
  return -1;
}

class TableLayout {
 public:
  TableLayout(FileContext& f, const Hdu& hdu, std::vector<std::string>& notes) : f_(f), hdu_(hdu), notes_(notes) {}

  // Reads every spectrum of the table (those `want` accepts), appending to
  // `out`. Returns false when the table holds no spectrum.
  bool Read(std::vector<RawSpectrum>& out, const SpectrumSelector* want, std::string& holds) {
    std::string error;
    std::optional<BinaryTable> opened = BinaryTable::Open(f_.source, hdu_, error);
    if (!opened) {
      notes_.push_back(error);
      holds = DescribeHdu(hdu_) + ", which cannot be read";
      return false;
    }
    const BinaryTable& table = *opened;
    std::vector<ColumnDescription> columns;
    std::string names;
    for (const TableColumn& c : table.Columns()) {
      // Only numbers are samples: a text column has no role.
      columns.push_back({c.Numeric() ? c.name : std::string(), c.unit, c.utype, c.ucd});
      if (names.size() < 60) names += (names.empty() ? "" : ", ") + c.name;
    }
    // The table's own SRCTYPE counts before the primary's.
    const std::optional<std::string> srctype = hdu_.header.String("SRCTYPE");
    const bool extended = srctype ? UpperAscii(*srctype) == "EXTENDED" : f_.extended_source;
    std::vector<ColumnSet> sets = GroupColumns(columns, extended, want != nullptr ? want->column : std::string());
    // A table is a spectrum only with a spectral axis beside its flux, and
    // not by units alone (a catalogue with a reference wavelength and
    // photometric fluxes): one of the two is named or described so.
    const auto described = [&](int column) {
      return ClassifyColumn(columns[static_cast<std::size_t>(column)]).evidence % 4 != 0;
    };
    std::erase_if(sets, [&](const ColumnSet& s) { return s.spectral < 0 || !(described(s.spectral) || described(s.flux)); });
    holds = DescribeHdu(hdu_) + ", a table of " + std::to_string(table.Rows()) + " rows (" + names +
            (names.size() >= 60 ? ", ..." : "") + ")";
    if (sets.empty() || table.Rows() == 0) return false;
    const TableColumn& first_flux = table.Columns()[static_cast<std::size_t>(sets[0].flux)];
    const bool per_row = first_flux.array != 0 || first_flux.repeat > 1;
    // Which DQ bits count: SDQFLAGS of the table (HST), bit 0 for JWST.
    uint64_t bits = 0;
    if (const auto sdq = hdu_.header.Integer("SDQFLAGS"); sdq && *sdq > 0) bits = static_cast<uint64_t>(*sdq);
    else if (f_.jwst) bits = 1;
    const int64_t rows = per_row ? table.Rows() : 1;
    const bool multiple = rows > 1 || sets.size() > 1;
    for (int64_t row = 0; row < rows; ++row) {
      if (want != nullptr && want->row && *want->row != row) continue;
      for (const ColumnSet& set : sets) {
        const TableColumn& flux = table.Columns()[static_cast<std::size_t>(set.flux)];
        if (want != nullptr && !want->column.empty() && UpperAscii(want->column) != UpperAscii(flux.name) &&
            UpperAscii(want->column) != set.group)
          continue;
        RawSpectrum s;
        s.origin.hdu = hdu_.index;
        s.origin.extname = hdu_.extname;
        s.origin.extver = hdu_.extver;
        s.origin.row = per_row ? row : -1;
        s.multiple_in_hdu = multiple;
        s.grouped = sets.size() > 1;
        const TableColumn& spectral = table.Columns()[static_cast<std::size_t>(set.spectral)];
        s.origin.columns = flux.name + "," + spectral.name;
        s.flux_unit = !flux.unit.empty() ? flux.unit : hdu_.header.String("BUNIT").value_or(f_.primary_bunit);
        s.wave_unit = spectral.unit;
        const SpectralUnit unit = ParseSpectralUnit(set.log_wavelength && spectral.unit.empty() ? "" : spectral.unit);
        s.axis = unit.axis;
        const uint64_t mask_bits =
            UpperAscii(table.Columns()[static_cast<std::size_t>(std::max(set.mask, 0))].name) == "DQ" ? bits : 0;
        const bool read = per_row ? ReadRowCells(table, row, set, unit, mask_bits, s, error)
                                  : ReadSampleRows(table, set, unit, mask_bits, s, error);
        if (!read) {
          if (!error.empty()) notes_.push_back(error);
          continue;
        }
        if (s.Count() == 0) continue;
        out.push_back(std::move(s));
      }
    }
    return true;
  }

 private:
  // The spectrum of one row of array cells, cut to its valid length. False
  // with a sentence in `error` when a cell cannot be read or the cells
  // disagree in length.
  bool ReadRowCells(const BinaryTable& table, int64_t row, const ColumnSet& set, const SpectralUnit& unit,
                    uint64_t mask_bits, RawSpectrum& s, std::string& error) {
    const std::vector<int> wanted = Wanted(set);
    std::vector<int64_t> lengths;
    for (const int column : wanted) {
      int64_t length = 0;
      if (!table.CellLength(column, row, length, error)) return false;
      // Bits are read whole: their pieces would split bytes.
      if (table.Columns()[static_cast<std::size_t>(column)].type == 'X')
        return ReadRowCellsWhole(table, row, set, unit, mask_bits, s, error);
      lengths.push_back(length);
    }
    // The valid length: NELEM or N_ALONGDISP, then less the trailing samples
    // whose flux and wavelength are both NaN (padding), found from the end.
    int64_t n = std::min(lengths[0], CutLength(table, row, lengths[0]));
    const auto disagree = [&] {
      error = table.Name() + ": the cells of " + s.origin.columns + " in row " + std::to_string(row) +
              " do not hold as many values each; that spectrum is not read.";
      return false;
    };
    if (lengths[1] < n) return disagree();
    constexpr int64_t kTail = 4096;
    std::vector<double> flux_tail(static_cast<std::size_t>(std::min(kTail, n))), wave_tail(flux_tail.size());
    while (n > 0) {
      const int64_t m = std::min(kTail, n);
      if (!table.ReadCellPart(set.flux, row, n - m, m, flux_tail.data(), error) ||
          !table.ReadCellPart(set.spectral, row, n - m, m, wave_tail.data(), error))
        return false;
      int64_t kept = m;
      while (kept > 0 && std::isnan(flux_tail[static_cast<std::size_t>(kept - 1)]) &&
             std::isnan(wave_tail[static_cast<std::size_t>(kept - 1)]))
        --kept;
      n -= m - kept;
      if (kept > 0) break;
    }
    for (std::size_t k = 2; k < lengths.size(); ++k) {
      if (lengths[k] < n) return disagree();
    }
    if (n == 0) return true;
    constexpr int64_t kPiece = 80 * kPeakBlockLength;
    return ReadPieces(PiecesOf(set), unit, mask_bits, n, kPiece, s,
                      [&](int64_t first, int64_t count, const std::vector<double*>& outs) {
                        for (std::size_t k = 0; k < wanted.size(); ++k) {
                          if (!table.ReadCellPart(wanted[k], row, first, count, outs[k], error)) return false;
                        }
                        return true;
                      });
  }

  // The same for cells of bits: each cell read whole.
  bool ReadRowCellsWhole(const BinaryTable& table, int64_t row, const ColumnSet& set, const SpectralUnit& unit,
                         uint64_t mask_bits, RawSpectrum& s, std::string& error) {
    std::vector<double> flux, wave, error_values, mask_values;
    if (!table.ReadCell(set.flux, row, flux, error) || !table.ReadCell(set.spectral, row, wave, error) ||
        (set.error >= 0 && !table.ReadCell(set.error, row, error_values, error)) ||
        (set.mask >= 0 && !table.ReadCell(set.mask, row, mask_values, error)))
      return false;
    const auto whole = static_cast<int64_t>(flux.size());
    auto n = static_cast<std::size_t>(std::min(whole, CutLength(table, row, whole)));
    while (n > 0 && std::isnan(flux[n - 1]) && n <= wave.size() && std::isnan(wave[n - 1])) --n;
    const auto cut = [n](std::vector<double>& v) {
      if (v.size() > n) v.resize(n);
    };
    cut(flux);
    cut(wave);
    cut(error_values);
    cut(mask_values);
    if (wave.size() != flux.size() || (set.error >= 0 && error_values.size() != flux.size()) ||
        (set.mask >= 0 && mask_values.size() != flux.size())) {
      error = table.Name() + ": the cells of " + s.origin.columns + " in row " + std::to_string(row) +
              " do not hold as many values each; that spectrum is not read.";
      return false;
    }
    if (flux.empty()) return true;
    ToAngstroms(wave.data(), static_cast<int64_t>(wave.size()), unit, set.log_wavelength);
    s.flux = OneBased(std::move(flux));
    s.wave = OneBased(std::move(wave));
    ApplyErrorsAndMask(s, set.error >= 0 ? &error_values : nullptr, set.error_kind,
                       set.mask >= 0 ? &mask_values : nullptr, set.mask_kind, mask_bits);
    return true;
  }

  // A row's NELEM or N_ALONGDISP cell when it holds a length below `length`;
  // `length` otherwise.
  static int64_t CutLength(const BinaryTable& table, int64_t row, int64_t length) {
    const int length_column = FindLengthColumn(table);
    std::string ignored;
    std::vector<double> cell;
    if (length_column >= 0 && table.ReadCell(length_column, row, cell, ignored) && cell.size() == 1 &&
        cell[0] >= 0 && cell[0] < static_cast<double>(length))
      return static_cast<int64_t>(cell[0]);
    return length;
  }

  // The columns of a spectrum in the order its pieces are read: flux,
  // wavelength, then the error and the mask when it has them.
  static std::vector<int> Wanted(const ColumnSet& set) {
    std::vector<int> wanted{set.flux, set.spectral};
    if (set.error >= 0) wanted.push_back(set.error);
    if (set.mask >= 0) wanted.push_back(set.mask);
    return wanted;
  }

  // The spectrum of a table with a row per sample, read by ReadPieces a
  // piece of rows at a time.
  bool ReadSampleRows(const BinaryTable& table, const ColumnSet& set, const SpectralUnit& unit, uint64_t mask_bits,
                      RawSpectrum& s, std::string& error) {
    const std::vector<int> wanted = Wanted(set);
    for (const int column : wanted) {
      const TableColumn& c = table.Columns()[static_cast<std::size_t>(column)];
      if (c.array != 0 || c.repeat != 1) {
        error = table.Name() + ": the cells of " + s.origin.columns +
                " do not hold as many values each; that spectrum is not read.";
        return false;
      }
    }
    // Pieces of whole rows that one read of the file brings in.
    constexpr int64_t kPieceBytes = int64_t{1} << 18;
    const int64_t piece =
        std::clamp<int64_t>(kPieceBytes / std::max<int64_t>(table.RowBytes(), 1) / kPeakBlockLength, 1, 80) *
        kPeakBlockLength;
    return ReadPieces(PiecesOf(set), unit, mask_bits, table.Rows(), piece, s,
                      [&](int64_t first, int64_t count, const std::vector<double*>& outs) {
                        return table.ReadColumns(wanted, first, first + count, outs, error);
                      });
  }

  FileContext& f_;
  const Hdu& hdu_;
  std::vector<std::string>& notes_;
};

// ---- Images ---------------------------------------------------------------

struct ImageRole {
  std::string prefix;  // "B_" of DESI's cameras; "" otherwise
  ColumnClass role;
};

ImageRole RoleOfImage(const Hdu& hdu) {
  ImageRole out;
  const std::string name = UpperAscii(hdu.extname);
  const auto classify = [&](const std::string& base) {
    ColumnClass c = ClassifyColumn({base, "", "", ""});
    const std::string b = UpperAscii(base);
    if (c.role == ColumnRole::kNone && (b == "SCI" || b == "SPEC1D" || b == "SPECTRUM")) c.role = ColumnRole::kFlux;
    return c;
  };
  const auto underscore = name.find('_');
  if (underscore != std::string::npos && underscore >= 1 && underscore <= 3) {
    const ColumnClass c = classify(name.substr(underscore + 1));
    if (c.role != ColumnRole::kNone) {
      out.prefix = name.substr(0, underscore + 1);
      out.role = c;
      return out;
    }
  }
  out.role = classify(name);
  return out;
}

// Images that lie beside a flux and are no spectrum of their own: a
// continuum, a sky, a model, a resolution matrix.
bool AccompaniesFlux(const Hdu& hdu) {
  std::string name = UpperAscii(hdu.extname);
  const auto underscore = name.find('_');
  if (underscore != std::string::npos && underscore <= 3) name = name.substr(underscore + 1);
  for (const char* other : {"CONTINUUM", "CONT", "CO", "SKY", "MODEL", "RESOLUTION", "RES", "WEIGHT", "WDISP"}) {
    if (name == other) return true;
  }
  return false;
}

class ImageLayouts {
 public:
  ImageLayouts(FileContext& f, std::vector<std::string>& notes) : f_(f), notes_(notes) {}

  // The spectra of image HDU `hdu` (none for a companion: an error, mask or
  // wavelength image). `holds` says what it is otherwise.
  bool Read(const Hdu& hdu, std::vector<RawSpectrum>& out, const SpectrumSelector* want, std::string& holds) {
    std::string error;
    const std::optional<ImageLayout> image = ImageLayoutOf(hdu, error);
    const std::string dims = Dims(hdu);
    holds = DescribeHdu(hdu) + (hdu.axes.empty() ? ", empty" : ", a " + dims + " image");
    if (!image) {
      notes_.push_back(error);
      return false;
    }
    if (image->Samples() == 0) return false;
    const ImageRole role = RoleOfImage(hdu);
    if (role.role.role == ColumnRole::kError || role.role.role == ColumnRole::kMask ||
        role.role.role == ColumnRole::kSpectral || AccompaniesFlux(hdu)) {
      holds += " beside the flux";
      return false;
    }
    if (CelestialType(hdu.header.String("CTYPE1").value_or("")) ||
        CelestialType(hdu.header.String("CTYPE2").value_or(""))) {
      holds += " on the sky (" + hdu.header.String("CTYPE1").value_or("") + ", " +
               hdu.header.String("CTYPE2").value_or("") + ")";
      return false;
    }
    // Rows are spectra only for an image named for its flux.
    if (image->Rows() > 1 && role.role.role != ColumnRole::kFlux) return false;
    if (hdu.axes.size() > 2) return false;
    const Hdu* wave_hdu = FindCompanion(role.prefix, ColumnRole::kSpectral, hdu);
    const Hdu* error_hdu = FindCompanion(role.prefix, ColumnRole::kError, hdu);
    const Hdu* mask_hdu = FindCompanion(role.prefix, ColumnRole::kMask, hdu);
    const int64_t length = image->RowLength();
    // A wavelength image: one row for all, or one per row.
    std::optional<ImageLayout> wave_image, error_image, mask_image;
    if (wave_hdu) wave_image = Fits(*wave_hdu, length, image->Rows(), true);
    if (error_hdu) error_image = Fits(*error_hdu, length, image->Rows(), false);
    if (mask_hdu) mask_image = Fits(*mask_hdu, length, image->Rows(), false);
    const ErrorKind error_kind = error_hdu ? RoleOfImage(*error_hdu).role.error : ErrorKind::kSigma;
    // APOGEE's mask (beside a log-linear FLUX) holds information bits too:
    // only its bad-pixel bits (BADPIX to BADERR, bits 0-6) flag a sample.
    const uint64_t bits = (mask_image && role.prefix.empty() && WcsUnit(hdu).log10) ? 0x7F : 0;
    const std::optional<WavelengthScale> wcs = wave_image ? std::nullopt : Wcs(hdu);
    SpectralUnit unit;
    std::string wave_unit;
    if (wave_image) {
      wave_unit = wave_hdu->header.String("BUNIT").value_or("");
      unit = ParseSpectralUnit(wave_unit);
    } else {
      wave_unit = hdu.header.String("CUNIT1").value_or("");
      unit = WcsUnit(hdu);
    }
    for (int64_t row = 0; row < image->Rows(); ++row) {
      if (want != nullptr && want->row && *want->row != row) continue;
      RawSpectrum s;
      s.origin.hdu = hdu.index;
      s.origin.extname = hdu.extname;
      s.origin.extver = hdu.extver;
      s.origin.row = image->Rows() > 1 ? row : -1;
      s.multiple_in_hdu = image->Rows() > 1;
      s.flux_unit = hdu.header.String("BUNIT").value_or(f_.primary_bunit);
      s.wave_unit = wave_unit;
      s.axis = wave_image || HasWcs(hdu) ? unit.axis : SpectralAxis::kPixel;
      const PieceColumns columns{wave_image.has_value(), error_image.has_value(), mask_image.has_value(), error_kind,
                                 MaskKind::kNonZeroBad, false};
      const int64_t wave_row = wave_image && wave_image->Rows() > 1 ? row : 0;
      const auto read = [&](int64_t first, int64_t count, const std::vector<double*>& outs) {
        std::size_t k = 0;
        return ReadImageSamples(f_.source, *image, row * length + first, count, outs[k++], error) &&
               (!wave_image ||
                ReadImageSamples(f_.source, *wave_image, wave_row * length + first, count, outs[k++], error)) &&
               (!error_image ||
                ReadImageSamples(f_.source, *error_image, row * length + first, count, outs[k++], error)) &&
               (!mask_image ||
                ReadImageSamples(f_.source, *mask_image, row * length + first, count, outs[k++], error));
      };
      if (!ReadPieces(columns, unit, bits, length, 80 * kPeakBlockLength, s, read)) {
        notes_.push_back(DescribeHdu(hdu) + ": " + error);
        continue;
      }
      s.scale = wcs;
      out.push_back(std::move(s));
    }
    return true;
  }

 private:
  static std::string Dims(const Hdu& hdu) {
    std::string dims;
    for (const int64_t a : hdu.axes) dims += (dims.empty() ? "" : " x ") + std::to_string(a);
    return dims;
  }

  const Hdu* FindCompanion(const std::string& prefix, ColumnRole role, const Hdu& flux) const {
    for (const Hdu& other : f_.list.hdus) {
      if (other.kind != HduKind::kImage || other.index == flux.index || other.axes.empty()) continue;
      const ImageRole r = RoleOfImage(other);
      if (r.prefix == prefix && r.role.role == role && other.extver == flux.extver) return &other;
    }
    return nullptr;
  }

  // The companion's layout when its rows fit the flux's (a wavelength image
  // may hold one row for all); nullopt with a note otherwise.
  std::optional<ImageLayout> Fits(const Hdu& other, int64_t length, int64_t rows, bool one_row_will_do) {
    std::string error;
    std::optional<ImageLayout> image = ImageLayoutOf(other, error);
    if (image && image->RowLength() == length && (image->Rows() == rows || (one_row_will_do && image->Rows() == 1)))
      return image;
    notes_.push_back(DescribeHdu(other) + " does not fit the flux beside it (" + Dims(other) + "); it is not used.");
    return std::nullopt;
  }

  static SpectralUnit WcsUnit(const Hdu& hdu) {
    SpectralUnit unit = ParseSpectralUnit(hdu.header.String("CUNIT1").value_or(""));
    const std::string ctype = UpperAscii(hdu.header.String("CTYPE1").value_or(""));
    const std::string head = ctype.substr(0, 4);
    if (head == "FREQ") unit.axis = SpectralAxis::kFrequency;
    else if (head == "VRAD" || head == "VOPT" || head == "VELO" || head == "ZOPT") unit.axis = SpectralAxis::kVelocity;
    else if (head == "WAVN") unit.axis = SpectralAxis::kWavenumber;
    else if (head == "ENER") unit.axis = SpectralAxis::kEnergy;
    if (ctype == "LOG-LINEAR" || ctype == "LOGLAM" || hdu.header.Integer("DC-FLAG").value_or(0) == 1) unit.log10 = true;
    return unit;
  }

  static bool HasWcs(const Hdu& hdu) {
    return hdu.header.Number("CRVAL1") && (hdu.header.Number("CDELT1") || hdu.header.Number("CD1_1"));
  }

  // The HDU's own linear (or log-linear) WCS as a scale over samples 1..n.
  static std::optional<WavelengthScale> Wcs(const Hdu& hdu) {
    const std::optional<double> crval = hdu.header.Number("CRVAL1");
    std::optional<double> step = hdu.header.Number("CDELT1");
    if (!step || *step == 0) step = hdu.header.Number("CD1_1");
    const double crpix = hdu.header.Number("CRPIX1").value_or(1);
    const SpectralUnit unit = WcsUnit(hdu);
    WavelengthScale scale;
    if (!crval || !step) {
      scale = {0, 1, false};  // pixels
      return scale;
    }
    const double factor = unit.axis == SpectralAxis::kWavelength ? unit.to_angstrom : 1;
    if (unit.log10) {
      scale = {*crval - crpix * *step + std::log10(factor), *step, true};
    } else {
      scale = {(*crval - crpix * *step) * factor, *step * factor, false};
    }
    return scale;
  }

  FileContext& f_;
  std::vector<std::string>& notes_;
};

// ---- Walking the file -----------------------------------------------------

struct Walk {
  std::vector<RawSpectrum> spectra;
  std::vector<std::string> notes;
  std::vector<std::string> holds;  // what each HDU without a spectrum holds
  bool primary_image = false;
  bool has_extensions = false;
  std::string walk_note;
};

bool PrimaryHoldsSamples(const Hdu& primary) {
  if (primary.axes.empty()) return false;
  for (const int64_t a : primary.axes) {
    if (a <= 0) return false;
  }
  return true;
}

FileContext Context(ByteSource& source, const std::string& label) {
  FileContext f{source, label, ListHdus(source), "", false, false};
  if (!f.list.hdus.empty()) {
    const HduHeader& h = f.list.hdus[0].header;
    f.primary_bunit = h.String("BUNIT").value_or("");
    f.extended_source = UpperAscii(h.String("SRCTYPE").value_or("")) == "EXTENDED";
    f.jwst = UpperAscii(h.String("TELESCOP").value_or("")) == "JWST";
  }
  return f;
}

bool HduMatches(const Hdu& hdu, const SpectrumSelector& want) {
  if (want.hdu) return hdu.index == *want.hdu;
  if (UpperAscii(hdu.extname) != UpperAscii(want.extname)) return false;
  return !want.extver || hdu.extver == *want.extver;
}

// Samples whose flux is missing (flagged, not a number or infinite); a
// sample that lacks only its wavelength is not counted.
int64_t CountMissing(const RawSpectrum& s) {
  if (s.presence.known) return s.presence.missing - s.presence.unplaced;
  return std::count_if(s.flux.begin() + 1, s.flux.end(), [](double v) { return std::isnan(v) || std::isinf(v); });
}

// The primary array's extent in words, as the refusals name it: "30 x 20".
std::string AxesText(const Hdu& hdu) {
  std::string text;
  for (const int64_t a : hdu.axes) text += (text.empty() ? "" : " x ") + std::to_string(a);
  return text;
}

// A primary image of two or more axes whose axes are celestial: a picture
// of the sky, no spectrum.
bool PrimaryIsSkyImage(const Hdu& primary) {
  return primary.axes.size() >= 2 && (CelestialType(primary.header.String("CTYPE1").value_or("")) ||
                                      CelestialType(primary.header.String("CTYPE2").value_or("")));
}

// The spectra a writer keeps in the rows of the primary image (SDSS spSpec,
// LAMOST up to DR8, Spextool), one a plane.
void ReadPrimaryRows(FileContext& f, const ImageRowPlan& plan, std::vector<RawSpectrum>& out,
                     const SpectrumSelector* want, std::vector<std::string>& notes) {
  const Hdu& primary = f.list.hdus[0];
  for (int64_t plane = 0; plane < plan.planes; ++plane) {
    if (want != nullptr && want->row && *want->row != plane) continue;
    ImageRowSpectrum read;
    std::string error;
    if (!ReadImageRowSpectrum(f.source, primary, plan, plane, read, error)) {
      notes.push_back(DescribeHdu(primary) + ": " + error);
      continue;
    }
    RawSpectrum s;
    s.origin.hdu = 0;
    s.origin.row = plan.planes > 1 ? plane : -1;
    s.multiple_in_hdu = plan.planes > 1;
    s.flux = OneBased(read.flux);
    s.wave = OneBased(read.wave);
    s.scale = read.scale;
    // A sample its writer flags (the mask, ivar <= 0) is bad: NaN, counted.
    ApplyErrorsAndMask(s, plan.error_row >= 0 ? &read.errors : nullptr, plan.error_kind,
                       plan.mask_row >= 0 ? &read.mask : nullptr, MaskKind::kNonZeroBad, 0);
    s.flux_unit = plan.flux_unit;
    s.wave_unit = plan.wave_unit_text;
    s.axis = plan.wave_row >= 0 && s.wave.size() == s.flux.size() ? plan.wave_unit.axis : SpectralAxis::kWavelength;
    out.push_back(std::move(s));
  }
}

Walk WalkFile(FileContext& f, const SpectrumSelector* want) {
  Walk walk;
  walk.walk_note = f.list.faulty ? f.list.note : "";
  if (f.list.hdus.empty()) return walk;
  const Hdu& primary = f.list.hdus[0];
  walk.primary_image = PrimaryHoldsSamples(primary);
  walk.has_extensions = f.list.hdus.size() > 1;
  if (walk.primary_image && (want == nullptr || want->Empty() || (want->hdu && *want->hdu == 0))) {
    if (const std::optional<ImageRowPlan> plan = PlanImageRows(primary)) {
      // Its rows are the spectrum: the walk reads them, not the primary reader.
      walk.primary_image = false;
      ReadPrimaryRows(f, *plan, walk.spectra, want, walk.notes);
    } else if (PrimaryIsSkyImage(primary)) {
      walk.primary_image = false;
      walk.holds.push_back(DescribeHdu(primary) + ", a " + AxesText(primary) + " image on the sky (" +
                           primary.header.String("CTYPE1").value_or("") + ", " +
                           primary.header.String("CTYPE2").value_or("") + ")");
    }
  }
  if (want != nullptr && want->hdu && *want->hdu == 0) return walk;
  ImageLayouts images(f, walk.notes);
  // Matching by name takes the first HDU of that name (and version).
  bool matched = false;
  for (const Hdu& hdu : f.list.hdus) {
    if (hdu.index == 0) continue;
    if (want != nullptr && !want->Empty()) {
      if (matched || !HduMatches(hdu, *want)) continue;
      matched = true;
    }
    std::string holds;
    bool any = false;
    if (hdu.kind == HduKind::kBinaryTable) {
      TableLayout table(f, hdu, walk.notes);
      any = table.Read(walk.spectra, want, holds);
    } else if (hdu.kind == HduKind::kImage) {
      any = images.Read(hdu, walk.spectra, want, holds);
    } else {
      holds = DescribeHdu(hdu);
    }
    if (!any) walk.holds.push_back(holds);
    // Once one spectrum of the whole file is wanted, the first will do.
    if (want != nullptr && want->Empty() && !walk.spectra.empty()) {
      bool usable = false;
      for (const RawSpectrum& s : walk.spectra) usable = usable || CountMissing(s) < s.Count();
      if (usable) break;
    }
  }
  return walk;
}

std::string AddressOf(const FileContext& f, const RawSpectrum& s) {
  const Hdu& hdu = f.list.hdus[static_cast<std::size_t>(s.origin.hdu)];
  if (s.aperture && s.by_aperture) return f.label + "[ap " + std::to_string(*s.aperture) + "]";
  std::string address = f.label + HduAddress(f, hdu);
  if (s.origin.row >= 0 && s.multiple_in_hdu) address += "[row " + std::to_string(s.origin.row) + "]";
  if (s.grouped) address += "[col " + s.origin.columns.substr(0, s.origin.columns.find(',')) + "]";
  return address;
}

std::string NoSpectrumMessage(const FileContext& f, const Walk& walk) {
  // A primary with samples (a sky image) is among the HDUs it holds.
  const bool empty_primary = f.list.hdus.empty() || !PrimaryHoldsSamples(f.list.hdus[0]);
  std::string text = "The file " + Quoted(f.label) + " holds no spectrum: ";
  text += empty_primary ? "its primary array is empty" : "it holds ";
  const std::string first = empty_primary ? ", and it holds " : "";
  for (std::size_t i = 0; i < walk.holds.size(); ++i) {
    text += (i + 1 == walk.holds.size() ? (i == 0 ? first : " and ") : (i == 0 ? first : ", ")) + walk.holds[i];
  }
  text += ".";
  if (!walk.notes.empty()) text += " " + walk.notes.front();
  return text;
}


// Levels a raw spectrum exactly as the primary reader does, into a Spectrum.
ReadResult Level(RawSpectrum&& raw, const std::string& label, const std::string& address, const FileContext& f) {
  ReadResult result;
  const Hdu& hdu = f.list.hdus[static_cast<std::size_t>(raw.origin.hdu)];
  result.reached = ReadResult::Reached::kHeader;
  result.file_read = true;
  const int64_t n = raw.Count();
  const std::string name = Quoted(address);
  try {
    // The flux becomes the samples; the block maxima of the level are taken
    // a piece at a time, while each piece is in the cache.
    SampleArray samples = std::move(raw.flux);
    // The levelled values and the summary's bottom level are given their
    // pages on a second thread while this one looks for missing samples.
    SampleArray levelled;
    LevelSummary::Blocks bottom;
    const bool new_levelled = ReserveLarge(levelled, static_cast<std::size_t>(n) + 1);
    bottom.Reserve(n);
    BackgroundPrefault prefault;
    if (new_levelled) prefault.Add(levelled.data(), (static_cast<std::size_t>(n) + 1) * sizeof(double));
    prefault.Add(bottom.low.data(), bottom.low.capacity() * sizeof(double));
    prefault.Add(bottom.high.data(), bottom.high.capacity() * sizeof(double));
    prefault.Start();
    // A sample without a wavelength of its own cannot be placed: missing.
    // The range of the per-sample values is taken in the same pass, unless
    // the layout took both while reading.
    RawSpectrum::Presence& presence = raw.presence;
    if (!presence.known) {
      presence.peaks.reserve(static_cast<std::size_t>(n / kPeakBlockLength) + 2);
      const double* wave = raw.scale ? nullptr : raw.wave.data();
      constexpr int64_t kPiece = 40 * kPeakBlockLength;
      for (int64_t first = 1; first <= n; first += kPiece) {
        const int64_t last = std::min(n, first + kPiece - 1);
        if (wave == nullptr) {
          for (int64_t i = first; i <= last; ++i) {
            double& v = samples[static_cast<std::size_t>(i)];
            const bool gone = !std::isfinite(v);
            presence.missing += gone;
            if (gone) v = kNaN;
          }
        } else {
          MarkUnplaced(samples.data() + first, wave + first, last - first + 1, presence.missing, presence.unplaced,
                       presence.wave_low, presence.wave_high);
        }
        AppendBlockPeaksOfPresent(samples.data() + first, last - first + 1, presence.peaks);
      }
    }
    const int64_t missing = presence.missing;
    std::vector<double>& peaks = presence.peaks;
    const double wave_low = presence.wave_low, wave_high = presence.wave_high;
    result.missing = missing;
    if (missing == n) {
      result.messages.push_back("Every sample of " + name + " is missing (flagged as bad by its pipeline, not a number or infinite), so there is nothing to draw; the spectrum cannot be shown.");
      return result;
    }
    const Levelling levelling = LevelSamplesByPeaks(samples, n, peaks, levelled, bottom);
    if (levelling.outcome != Levelling::Outcome::kLevelled) {
      result.messages.push_back(LevellingRefusal(levelling, name, "it"));
      return result;
    }
    auto spectrum = std::make_shared<Spectrum>();
    // Where the samples lie: the WCS, or a linear scale from the first to
    // the last of the per-sample values (which the spectrum keeps).
    WavelengthScale scale;
    if (raw.scale) {
      scale = *raw.scale;
    } else {
      // The approximate scale runs through the first and last placed samples.
      int64_t a = 0, b = n - 1;
      while (a < n && !std::isfinite(raw.wave[static_cast<std::size_t>(a + 1)])) ++a;
      while (b > a && !std::isfinite(raw.wave[static_cast<std::size_t>(b + 1)])) --b;
      const double first = raw.wave[static_cast<std::size_t>(a + 1)];
      const double last = raw.wave[static_cast<std::size_t>(b + 1)];
      const double step = b > a ? (last - first) / static_cast<double>(b - a) : 1;
      scale = {first - step * static_cast<double>(a + 1), step, false};
      // Wavelengths evenly spaced in their logarithm (SDSS's loglam, LAMOST's
      // LOGLAM) take a logarithmic scale, so that the scale places each
      // sample where it lies.
      if (b > a && first > 0 && last > 0 && raw.axis == SpectralAxis::kWavelength) {
        const double log_step = (std::log10(last) - std::log10(first)) / static_cast<double>(b - a);
        const WavelengthScale log_scale{std::log10(first) - log_step * static_cast<double>(a + 1), log_step, true};
        double linear_error = 0, log_error = 0;
        for (int64_t i = a; i <= b; i += std::max<int64_t>(1, (b - a) / 64)) {
          const double w = raw.wave[static_cast<std::size_t>(i + 1)];
          if (!std::isfinite(w)) continue;
          linear_error = std::max(linear_error, std::fabs(scale.At(static_cast<double>(i + 1)) - w));
          log_error = std::max(log_error, std::fabs(log_scale.At(static_cast<double>(i + 1)) - w));
        }
        if (log_error < linear_error) scale = log_scale;
      }
    }
    // The ends as the primary reader gives them: pixel 0 and pixel n, the
    // outer edges of the first and last steps, and every per-sample value.
    double low = std::min(scale.At(0), scale.At(static_cast<double>(n)));
    double high = std::max(scale.At(0), scale.At(static_cast<double>(n)));
    if (wave_low <= wave_high) {
      low = std::min(low, wave_low);
      high = std::max(high, wave_high);
    }
    if (!std::isfinite(low) || !std::isfinite(high)) {
      result.messages.push_back("The wavelengths of " + name + " are not numbers or reach beyond the range of numbers; the spectrum cannot be shown.");
      return result;
    }
    if (raw.axis != SpectralAxis::kWavelength) {
      const std::string word = SpectralAxisWord(raw.axis);
      result.messages.push_back("The spectral axis of " + name + (word == "energy" ? " is an " : " is a ") + word +
                                (raw.wave_unit.empty() ? "" : " (in " + raw.wave_unit + ")") +
                                ", not a wavelength; its values are drawn as they are stored, not as Angstroms.");
    }
    if (!raw.scale) {
      spectrum->wavelengths = std::move(raw.wave);
      spectrum->runs = WavelengthRuns(spectrum->wavelengths, n, raw.cuts);
    }
    SpectrumHeader& h = spectrum->header;
    // The header is the spectrum's own HDU's, as the header viewer shows it.
    const HeaderCards& cards = hdu.header.Cards();
    h.cards = cards.cards;
    h.keywords = cards.keywords;
    h.values = cards.values;
    h.line_count = static_cast<int16_t>(std::min<int64_t>(cards.header_line_count, 32767));
    h.object = hdu.header.String("OBJECT").value_or(f.list.hdus[0].header.String("OBJECT").value_or(""));
    result.data_offset = hdu.data_offset;
    h.bitpix = -64;
    h.naxis = 1;
    h.naxis1 = static_cast<double>(n);
    h.bscale = 1;
    h.lambda0 = scale.At(0);
    h.dispersion = scale.logarithmic ? (scale.At(static_cast<double>(n)) - scale.At(0)) / static_cast<double>(n) : scale.step;
    h.lambda_start = low;
    spectrum->file_name = label;
    spectrum->scale = scale;
    spectrum->lambda_start = low;
    spectrum->lambda_end = high;
    TakeLevelled(*spectrum, levelling, missing, std::move(samples), std::move(levelled), std::move(bottom));
    if (!raw.sigma.empty()) spectrum->uncertainty = std::move(raw.sigma);
    spectrum->flagged = raw.flagged;
    spectrum->flux_unit = raw.flux_unit;
    spectrum->wave_unit = raw.wave_unit;
    spectrum->axis = raw.axis;
    spectrum->origin = std::move(raw.origin);
    spectrum->origin.file = label;
    result.spectrum = std::move(spectrum);
  } catch (const std::bad_alloc&) {
    result.spectrum = nullptr;
    result.messages.push_back("There is not enough memory to load the file " + name + ".");
  }
  return result;
}

// What the walk could not read (a table that cannot be opened, an error
// image that does not fit its flux) comes before the spectrum's own messages.
// A refusal of a file that was read: one message.
ReadResult Refusal(std::string message) {
  ReadResult refused;
  refused.file_read = true;
  refused.messages.push_back(std::move(message));
  return refused;
}

// Why a multispec image is read as any image, as one sentence.
std::string MultispecUnreadable(const std::string& label, const std::string& why) {
  return "The IRAF multispec image " + Quoted(label) + " cannot be read at its own wavelengths: " + why + ".";
}

ReadResult WithNotes(ReadResult&& result, const std::vector<std::string>& notes) {
  result.messages.insert(result.messages.begin(), notes.begin(), notes.end());
  return std::move(result);
}

// ---- IRAF multispec images -------------------------------------------------

// The apertures of a multispec primary image as raw spectra; nullopt when
// the primary is not one whose WAT cards describe apertures.
std::optional<MultispecRead> PrimaryApertures(FileContext& f, const MultispecSelection& selection,
                                              std::vector<RawSpectrum>& out) {
  if (f.list.hdus.empty() || !PrimaryHoldsSamples(f.list.hdus[0])) return std::nullopt;
  std::optional<MultispecRead> read = ReadMultispec(f.source, f.list.hdus[0], selection);
  if (!read) return std::nullopt;
  const Hdu& hdu = f.list.hdus[0];
  for (MultispecSpectrum& m : read->spectra) {
    RawSpectrum s;
    s.origin.hdu = 0;
    s.origin.row = hdu.axes.size() >= 2 ? m.line : -1;
    s.multiple_in_hdu = true;
    s.aperture = m.aperture;
    s.by_aperture = read->unique_apertures;
    s.wave = OneBased(m.wave);
    s.flux = OneBased(m.flux);
    s.sigma = OneBased(m.sigma);
    s.axis = m.axis;
    s.wave_unit = m.wave_unit;
    s.flux_unit = f.primary_bunit;
    // A sigma that is not a number flags nothing; only the flux counts.
    if (!s.sigma.empty() && s.sigma.size() != s.flux.size()) s.sigma.clear();
    out.push_back(std::move(s));
  }
  return read;
}

// Reads the aperture `selector` names (the first with a sample when it names
// none) of a multispec primary; nullopt when the primary is not one, or
// when its WAT cards cannot be read (why, in `why`).
std::optional<ReadResult> ReadPrimaryAperture(FileContext& f, const SpectrumSelector& selector, std::string& why) {
  MultispecSelection selection;
  if (selector.row) selection.line = *selector.row;
  selection.aperture = selector.aperture;
  selection.first_usable = !selection.line && !selection.aperture;
  std::vector<RawSpectrum> spectra;
  const std::optional<MultispecRead> read = PrimaryApertures(f, selection, spectra);
  if (!read) return std::nullopt;
  if (!read->error.empty()) {
    why = read->error;
    return std::nullopt;
  }
  ReadResult refused;
  refused.file_read = true;
  for (RawSpectrum& s : spectra) {
    if (selection.first_usable && CountMissing(s) == s.Count()) continue;
    const std::string address = AddressOf(f, s);
    return WithNotes(Level(std::move(s), f.label, address, f), read->notes);
  }
  if (selection.aperture || selection.line) {
    refused.messages.push_back("The IRAF multispec image " + Quoted(f.label) + " has no " +
                               (selection.aperture ? "aperture " + std::to_string(*selection.aperture)
                                                   : "aperture on row " + std::to_string(*selection.line)) +
                               (read->notes.empty() ? "." : ": " + read->notes.front()));
  } else {
    refused.messages.push_back("Every aperture of " + Quoted(f.label) +
                               " is missing every sample (not a number or infinite), so there is nothing to draw; "
                               "the file cannot be shown.");
  }
  return refused;
}

// ---- Every spectrum of one HDU in one ----------------------------------------

// The spectra of one HDU (an echelle's orders, a multispec image's
// apertures) end to end: each keeps its own wavelengths, and a cut before
// each piece after the first keeps the curve from joining them.
RawSpectrum JoinPieces(std::vector<RawSpectrum>& pieces) {
  RawSpectrum joined;
  const RawSpectrum& first = pieces.front();
  joined.origin = first.origin;
  joined.origin.row = -1;
  joined.flux_unit = first.flux_unit;
  joined.wave_unit = first.wave_unit;
  joined.axis = first.axis;
  int64_t total = 0;
  bool any_sigma = false;
  for (const RawSpectrum& p : pieces) {
    total += p.Count();
    any_sigma = any_sigma || !p.sigma.empty();
  }
  const auto size = static_cast<std::size_t>(total) + 1;
  joined.flux.reserve(size);
  joined.wave.reserve(size);
  joined.flux.push_back(0);
  joined.wave.push_back(0);
  if (any_sigma) {
    joined.sigma.reserve(size);
    joined.sigma.push_back(0);
  }
  for (RawSpectrum& p : pieces) {
    const int64_t n = p.Count();
    if (joined.Count() > 0) joined.cuts.push_back(joined.Count() + 1);
    for (int64_t i = 1; i <= n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      joined.flux.push_back(p.flux[k]);
      joined.wave.push_back(p.scale ? p.scale->At(static_cast<double>(i)) : p.wave[k]);
      if (any_sigma) joined.sigma.push_back(p.sigma.empty() ? kNaN : p.sigma[k]);
    }
    joined.flagged += p.flagged;
    p = RawSpectrum{};  // its arrays are given back at once
  }
  return joined;
}

// Reads every spectrum of the HDU `selector` names (the file's first that
// holds any, when it names none) as one spectrum; nullopt when the HDU holds
// none, for the caller to refuse as for any address.
std::optional<ReadResult> ReadWholeHdu(FileContext& f, const SpectrumSelector& selector) {
  std::vector<RawSpectrum> spectra;
  std::vector<std::string> notes;
  const bool primary = selector.Empty() || (selector.hdu && *selector.hdu == 0);
  if (primary) {
    const std::optional<MultispecRead> read = PrimaryApertures(f, {}, spectra);
    if (read && !read->error.empty()) {
      notes.push_back(MultispecUnreadable(f.label, read->error));
      spectra.clear();
    } else if (read) {
      notes = read->notes;
    }
  }
  if (spectra.empty()) {
    SpectrumSelector want = selector;
    want.all = false;
    Walk walk = WalkFile(f, &want);
    spectra = std::move(walk.spectra);
    notes.insert(notes.end(), walk.notes.begin(), walk.notes.end());
  }
  if (spectra.empty()) return std::nullopt;
  // One HDU, and one extraction of each of its rows (PypeIt's OPT or BOX).
  const SpectrumOrigin& first = spectra.front().origin;
  const int hdu_index = first.hdu;
  const std::string columns = first.columns;
  const SpectralAxis axis = spectra.front().axis;
  std::erase_if(spectra, [&](const RawSpectrum& s) {
    return s.origin.hdu != hdu_index || s.origin.columns != columns || s.axis != axis;
  });
  const Hdu& hdu = f.list.hdus[static_cast<std::size_t>(hdu_index)];
  std::string address = f.label + HduAddress(f, hdu) + "[all]";
  if (!selector.column.empty()) address += "[col " + selector.column + "]";
  RawSpectrum joined = JoinPieces(spectra);
  return WithNotes(Level(std::move(joined), f.label, address, f), notes);
}

}  // namespace

std::optional<SpectrumAddress> ParseSpectrumAddress(const std::string& name) {
  // Bracketed parts from the end: [col NAME], [row N], then the HDU.
  std::vector<std::string> parts;
  std::size_t end = name.size();
  while (end > 0 && name[end - 1] == ']') {
    const std::size_t open = name.rfind('[', end - 1);
    if (open == std::string::npos || open == 0) return std::nullopt;
    const std::string inner = name.substr(open + 1, end - open - 2);
    if (inner.find_first_of("[]") != std::string::npos) return std::nullopt;
    parts.insert(parts.begin(), inner);
    end = open;
    if (parts.size() > 3) return std::nullopt;
  }
  if (parts.empty() || end == 0) return std::nullopt;
  SpectrumAddress address;
  address.file = name.substr(0, end);
  // [ap N]: an aperture of a multispec primary image, first or after [0].
  const auto aperture_part = [&address](const std::string& part) {
    const std::string upper = UpperAscii(part);
    int64_t number = 0;
    if (upper.rfind("AP ", 0) != 0 || address.selector.aperture || !ParseInteger(part.substr(3), number)) return false;
    address.selector.aperture = number;
    return true;
  };
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string part = Trimmed(parts[i]);
    // [all]: every spectrum of the HDU before it (or of the file's first).
    if (UpperAscii(part) == "ALL") {
      if (address.selector.all || address.selector.row || address.selector.aperture) return std::nullopt;
      address.selector.all = true;
      continue;
    }
    if (address.selector.all && UpperAscii(part).rfind("COL ", 0) != 0) return std::nullopt;  // only [col NAME] after [all]
    if (i == 0 && aperture_part(part)) {
      address.selector.hdu = 0;
      continue;
    }
    if (i == 0) {
      int64_t number = 0;
      if (ParseInteger(part, number)) {
        if (number < 0 || number > 100000) return std::nullopt;
        address.selector.hdu = static_cast<int>(number);
        continue;
      }
      const std::size_t comma = part.find(',');
      address.selector.extname = Trimmed(part.substr(0, comma));
      if (address.selector.extname.empty()) return std::nullopt;
      if (comma != std::string::npos) {
        if (!ParseInteger(part.substr(comma + 1), number) || number < 0) return std::nullopt;
        address.selector.extver = number;
      }
      continue;
    }
    const std::string lower = UpperAscii(part);
    if (aperture_part(part)) {
      if (address.selector.hdu != 0 || address.selector.row) return std::nullopt;
    } else if (lower.rfind("ROW ", 0) == 0 && !address.selector.row && !address.selector.aperture &&
               !address.selector.all) {
      int64_t row = 0;
      if (!ParseInteger(part.substr(4), row) || row < 0) return std::nullopt;
      address.selector.row = row;
    } else if (lower.rfind("COL ", 0) == 0 && address.selector.column.empty()) {
      address.selector.column = Trimmed(part.substr(4));
      if (address.selector.column.empty()) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return address;
}

SpectrumList ListSpectra(ByteSource& source, const std::string& file_label) {
  SpectrumList list;
  FileContext f = Context(source, file_label);
  if (f.list.hdus.empty()) {
    list.refusal = "The file " + Quoted(file_label) + " is not a FITS file: " + f.list.note;
    return list;
  }
  Walk walk = WalkFile(f, nullptr);
  list.notes = walk.notes;
  if (!walk.walk_note.empty()) list.notes.push_back(walk.walk_note);
  // The apertures of an IRAF multispec image come first, each its own spectrum.
  if (walk.primary_image) {
    std::vector<RawSpectrum> apertures;
    // A listing wants the wavelengths of each aperture's ends only.
    MultispecSelection ends;
    ends.ends_only = true;
    const std::optional<MultispecRead> read = PrimaryApertures(f, ends, apertures);
    if (read && !read->error.empty()) {
      list.notes.insert(list.notes.begin(), MultispecUnreadable(file_label, read->error));
    } else if (read) {
      list.notes.insert(list.notes.begin(), read->notes.begin(), read->notes.end());
      walk.primary_image = false;
      walk.spectra.insert(walk.spectra.begin(), std::make_move_iterator(apertures.begin()),
                          std::make_move_iterator(apertures.end()));
    }
  }
  list.primary_image = walk.primary_image;
  if (walk.primary_image) {
    ReadResult primary = ReadSpectrum(source, file_label, {});
    SpectrumListEntry entry;
    entry.origin.file = file_label;
    entry.address = file_label + "[0]";
    const Hdu& hdu = f.list.hdus[0];
    entry.n = hdu.axes[0];
    entry.flux_unit = hdu.header.String("BUNIT").value_or("");
    entry.wave_unit = hdu.header.String("CUNIT1").value_or("");
    if (primary.spectrum) {
      const WavelengthScale scale = primary.spectrum->DrawnScale();
      entry.wave_first = scale.At(1);
      entry.wave_last = scale.At(static_cast<double>(entry.n));
      entry.missing = primary.missing;
    } else {
      entry.wave_first = entry.wave_last = kNaN;
    }
    list.spectra.push_back(entry);
  }
  for (RawSpectrum& s : walk.spectra) {
    SpectrumListEntry entry;
    entry.address = AddressOf(f, s);
    entry.origin = s.origin;
    entry.origin.file = file_label;
    entry.n = s.Count();
    const bool wavelength = s.axis == SpectralAxis::kWavelength;
    if (s.scale) {
      entry.wave_first = wavelength ? s.scale->At(1) : kNaN;
      entry.wave_last = wavelength ? s.scale->At(static_cast<double>(entry.n)) : kNaN;
    } else {
      // The first and last samples that have a wavelength (padding has none).
      const auto placed = [](double w) { return std::isfinite(w); };
      const auto first = std::find_if(s.wave.begin() + 1, s.wave.end(), placed);
      const auto last = std::find_if(s.wave.rbegin(), s.wave.rend() - 1, placed);
      entry.wave_first = wavelength && first != s.wave.end() ? *first : kNaN;
      entry.wave_last = wavelength && last != s.wave.rend() - 1 ? *last : kNaN;
    }
    entry.wave_unit = s.wave_unit;
    entry.flux_unit = s.flux_unit;
    entry.axis = s.axis;
    entry.uncertainty = !s.sigma.empty();
    entry.flagged = s.flagged;
    entry.missing = CountMissing(s);
    entry.aperture = s.aperture;
    list.spectra.push_back(std::move(entry));
  }
  if (list.spectra.empty()) list.refusal = NoSpectrumMessage(f, walk);
  // An HDU whose spectra cover different ranges (an echelle's orders, a
  // Spextool file's) can be read whole. One whose spectra all share one
  // range holds targets, visits or exposures, which are not offered joined.
  // Spectra of one HDU and extraction, found by key: a table's rows may
  // alternate between extractions.
  struct Group {
    std::size_t count = 0;
    double first = 0, last = 0;
    bool ranges_differ = false;
  };
  std::map<std::pair<int, std::string>, Group> groups;
  for (const SpectrumListEntry& entry : list.spectra) {
    Group& g = groups[{entry.origin.hdu, entry.origin.columns}];
    if (g.count++ == 0) {
      g.first = entry.wave_first;
      g.last = entry.wave_last;
    }
    g.ranges_differ = g.ranges_differ || entry.wave_first != g.first || entry.wave_last != g.last;
  }
  for (SpectrumListEntry& entry : list.spectra) {
    if (groups[{entry.origin.hdu, entry.origin.columns}].ranges_differ) {
      entry.whole_address =
          file_label + HduAddress(f, f.list.hdus[static_cast<std::size_t>(entry.origin.hdu)]) + "[all]";
    }
  }
  return list;
}

namespace {

// Whether the primary array is read by the walk rather than by the primary
// reader: a writer's rows (SDSS spSpec, LAMOST, Spextool) or a sky image.
// Only the primary header is read for this.
bool PrimaryIsForTheWalk(ByteSource& source) {
  const HduList list = ListHdus(source, HduLimits{1});
  if (list.hdus.empty() || !PrimaryHoldsSamples(list.hdus[0])) return false;
  return PlanImageRows(list.hdus[0]).has_value() || PrimaryIsSkyImage(list.hdus[0]);
}

}  // namespace

ReadResult ReadSelectedSpectrum(ByteSource& source, const std::string& file_label, const SpectrumSelector& selector,
                                const CalibrationKeywords& keywords, ReaderScratch* scratch) {
  if (selector.all) {
    FileContext f = Context(source, file_label);
    if (std::optional<ReadResult> whole = ReadWholeHdu(f, selector)) return std::move(*whole);
    // One spectrum, or none: read as the address without [all] reads it.
    SpectrumSelector one = selector;
    one.all = false;
    return ReadSelectedSpectrum(source, file_label, one, keywords, scratch);
  }
  const bool primary_asked = selector.hdu && *selector.hdu == 0;
  if (selector.Empty() || primary_asked) {
    // The primary reader first, exactly as it has always read.
    ReadResult primary = ReadSpectrum(source, file_label, keywords, scratch);
    // A writer's rows or a picture of the sky are the walk's to read; only
    // an image of two axes or more can be either, so a 1-D spectrum costs
    // no second look at its header.
    const SpectrumHeader& read = primary.spectrum ? primary.spectrum->header : primary.header;
    const bool walk_primary = read.naxis >= 2 && PrimaryIsForTheWalk(source);
    std::string why;
    if (walk_primary) {
      if (scratch != nullptr) RecycleSpectrum(std::move(primary.spectrum), *scratch);
      primary = ReadResult{};
    } else if (IsMultispecHeader(read.cards) || selector.aperture || selector.row) {
      // An IRAF multispec image: its apertures, at their own wavelengths.
      // (An addressed aperture or row is looked for whatever the primary
      // reader made of the header, as the listing looks for it.)
      FileContext f = Context(source, file_label);
      if (std::optional<ReadResult> aperture = ReadPrimaryAperture(f, selector, why)) {
        if (scratch != nullptr) RecycleSpectrum(std::move(primary.spectrum), *scratch);
        return std::move(*aperture);
      }
      if (!why.empty()) primary.messages.insert(primary.messages.begin(), MultispecUnreadable(file_label, why));
    }
    if (selector.aperture) {
      return Refusal(!why.empty() ? MultispecUnreadable(file_label, why)
                                  : "The file " + Quoted(file_label) + " has no aperture " +
                                        std::to_string(*selector.aperture) +
                                        ": its primary array is not an IRAF multispec image whose WAT cards "
                                        "describe apertures.");
    }
    if (!walk_primary && (primary.spectrum || !primary.empty_primary || primary_asked)) return primary;
    FileContext f = Context(source, file_label);
    if (!walk_primary && f.list.hdus.size() <= 1) return primary;
    Walk walk = WalkFile(f, &selector);
    if (walk_primary && selector.row && walk.spectra.empty()) {
      return Refusal("There is no spectrum at HDU 0, row " + std::to_string(*selector.row) + " of " +
                     Quoted(file_label) + ".");
    }
    for (RawSpectrum& s : walk.spectra) {
      if (CountMissing(s) == s.Count()) continue;
      const std::string address = AddressOf(f, s);
      return WithNotes(Level(std::move(s), file_label, address, f), walk.notes);
    }
    ReadResult refused;
    refused.file_read = true;
    refused.messages.push_back(walk.spectra.empty()
                                   ? NoSpectrumMessage(f, walk)
                                   : "Every spectrum of " + Quoted(file_label) +
                                         " is missing every sample (flagged as bad by its pipeline, not a number or "
                                         "infinite), so there is nothing to draw; the file cannot be shown.");
    return refused;
  }
  FileContext f = Context(source, file_label);
  ReadResult refused;
  refused.file_read = true;
  Walk walk = WalkFile(f, &selector);
  if (walk.spectra.empty()) {
    std::string what = selector.hdu ? "HDU " + std::to_string(*selector.hdu)
                                    : "HDU named " + selector.extname +
                                          (selector.extver ? " (EXTVER " + std::to_string(*selector.extver) + ")" : "");
    bool found = false;
    for (const Hdu& hdu : f.list.hdus) found = found || (hdu.index > 0 && HduMatches(hdu, selector));
    if (!found) {
      refused.messages.push_back("The file " + Quoted(file_label) + " has no " + what + ".");
    } else {
      std::string text = "There is no spectrum at " + what;
      if (selector.row) text += ", row " + std::to_string(*selector.row);
      if (!selector.column.empty()) text += ", column " + selector.column;
      text += " of " + Quoted(file_label);
      text += walk.holds.empty() ? "." : ": it is " + walk.holds.front() + ".";
      if (!walk.notes.empty()) text += " " + walk.notes.front();
      refused.messages.push_back(text);
    }
    return refused;
  }
  RawSpectrum& s = walk.spectra.front();
  const std::string address = AddressOf(f, s);
  return WithNotes(Level(std::move(s), file_label, address, f), walk.notes);
}

ReadResult ReadSpectrumAt(const std::string& name, const std::string& file_label,
                          const CalibrationKeywords& keywords, ReaderScratch* scratch) {
  std::string reason;
  // The whole name as a file first: a real file may end in ']'.
  std::unique_ptr<ByteSource> source = OpenFitsBytes(name, reason);
  SpectrumSelector selector;
  std::string label = file_label;
  if (!source) {
    const std::optional<SpectrumAddress> address = ParseSpectrumAddress(name);
    std::string address_reason;
    if (address) source = OpenFitsBytes(address->file, address_reason);
    if (!source) {
      ReadResult refused;
      refused.messages.push_back("The file " + Quoted(address ? address->file : name) + " cannot be read: " +
                                 (address ? address_reason : reason) + ".");
      return refused;
    }
    selector = address->selector;
    // Messages and addresses name the file without its selector.
    const std::string suffix = name.substr(address->file.size());
    if (label.size() > suffix.size() && label.ends_with(suffix)) label.resize(label.size() - suffix.size());
  }
  return ReadSelectedSpectrum(*source, label, selector, keywords, scratch);
}

}  // namespace quillon
