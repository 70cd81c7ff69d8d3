#include "spectrum/column_roles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "base/ascii_text.h"

namespace quillon {

namespace {

// Lower case without blanks, so "km s-1" and "0.1 nm" compare as one word.
std::string Compact(std::string_view text) {
  std::string out;
  for (const char c : LowerAscii(TrimBlanksAndTabs(text))) {
    if (c != ' ' && c != '\t') out += c;
  }
  return out;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

template <std::size_t N>
int IndexIn(const std::array<std::string_view, N>& list, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (list[i] == name) return static_cast<int>(i);
  }
  return -1;
}

// The names of each role, lower case, preferred first.
constexpr std::array<std::string_view, 11> kSpectralNames = {
    "wavelength", "wave", "loglam", "lambda", "wavelen", "lam", "wl", "wavelength_air", "wave_air", "freq",
    "frequency"};
constexpr std::array<std::string_view, 9> kFluxNames = {
    "flux", "flam", "spec", "surf_bright", "flux_density", "fluxdens", "counts", "spectrum", "data"};
constexpr std::array<std::string_view, 22> kErrorNames = {
    "flam_sig", "flux_error", "error", "err", "err_flux", "flux_err", "fluxerr", "sigma", "sig", "sb_error",
    "uncertainty", "noise", "stddev", "ivar", "flam_ivar", "inverse_variance", "invvar", "var", "variance",
    "counts_sig", "counts_ivar", "error_flux"};
constexpr std::array<std::string_view, 10> kMaskNames = {
    "and_mask", "andmask", "mask", "pixmask", "dq_wgt", "dq", "qual", "quality", "bad", "flag"};
// Extraction prefixes: PypeIt's optimal and boxcar extractions side by side.
constexpr std::array<std::string_view, 2> kGroups = {"opt_", "box_"};

ErrorKind ErrorKindOfName(std::string_view base) {
  if (Contains(base, "ivar") || Contains(base, "invvar") || Contains(base, "inverse")) return ErrorKind::kInverseVariance;
  if (base == "var" || base == "variance" || base.ends_with("_var")) return ErrorKind::kVariance;
  return ErrorKind::kSigma;
}

}  // namespace

SpectralUnit ParseSpectralUnit(std::string_view unit) {
  std::string u = Compact(unit);
  SpectralUnit out;
  // Quotes left by a writer, and a log written around the unit.
  if (u.size() >= 2 && (u.front() == '\'' || u.front() == '"') && u.back() == u.front()) u = u.substr(1, u.size() - 2);
  for (const std::string_view log : {"log10(", "log("}) {
    if (u.starts_with(log) && u.ends_with(")")) {
      u = u.substr(log.size(), u.size() - log.size() - 1);
      out.log10 = true;
    }
  }
  if (u == "dex") u = "", out.log10 = true;
  struct Known {
    std::string_view text;
    SpectralAxis axis;
    double to_angstrom;
  };
  static constexpr Known kKnown[] = {
      {"", SpectralAxis::kWavelength, 1},
      {"angstrom", SpectralAxis::kWavelength, 1},
      {"angstroms", SpectralAxis::kWavelength, 1},
      {"aa", SpectralAxis::kWavelength, 1},
      {"a", SpectralAxis::kWavelength, 1},
      {"ang", SpectralAxis::kWavelength, 1},
      {"\xc3\xa5", SpectralAxis::kWavelength, 1},  // Å, lower-cased by its bytes: only ASCII changes
      {"\xc3\x85", SpectralAxis::kWavelength, 1},
      {"0.1nm", SpectralAxis::kWavelength, 1},
      {"1e-10m", SpectralAxis::kWavelength, 1},
      {"nm", SpectralAxis::kWavelength, 10},
      {"nanometer", SpectralAxis::kWavelength, 10},
      {"nanometers", SpectralAxis::kWavelength, 10},
      {"um", SpectralAxis::kWavelength, 1e4},
      {"micron", SpectralAxis::kWavelength, 1e4},
      {"microns", SpectralAxis::kWavelength, 1e4},
      {"micrometer", SpectralAxis::kWavelength, 1e4},
      {"micrometers", SpectralAxis::kWavelength, 1e4},
      {"\xc2\xb5m", SpectralAxis::kWavelength, 1e4},
      {"mum", SpectralAxis::kWavelength, 1e4},
      {"mm", SpectralAxis::kWavelength, 1e7},
      {"cm", SpectralAxis::kWavelength, 1e8},
      {"m", SpectralAxis::kWavelength, 1e10},
      {"meter", SpectralAxis::kWavelength, 1e10},
      {"meters", SpectralAxis::kWavelength, 1e10},
      {"metre", SpectralAxis::kWavelength, 1e10},
      {"hz", SpectralAxis::kFrequency, 1},
      {"khz", SpectralAxis::kFrequency, 1},
      {"mhz", SpectralAxis::kFrequency, 1},
      {"ghz", SpectralAxis::kFrequency, 1},
      {"thz", SpectralAxis::kFrequency, 1},
      {"km/s", SpectralAxis::kVelocity, 1},
      {"kms-1", SpectralAxis::kVelocity, 1},
      {"km.s-1", SpectralAxis::kVelocity, 1},
      {"kms^-1", SpectralAxis::kVelocity, 1},
      {"km.s**-1", SpectralAxis::kVelocity, 1},
      {"kms**-1", SpectralAxis::kVelocity, 1},
      {"m/s", SpectralAxis::kVelocity, 1},
      {"ms-1", SpectralAxis::kVelocity, 1},
      {"m.s-1", SpectralAxis::kVelocity, 1},
      {"cm-1", SpectralAxis::kWavenumber, 1},
      {"cm**-1", SpectralAxis::kWavenumber, 1},
      {"cm^-1", SpectralAxis::kWavenumber, 1},
      {"1/cm", SpectralAxis::kWavenumber, 1},
      {"ev", SpectralAxis::kEnergy, 1},
      {"kev", SpectralAxis::kEnergy, 1},
      {"pix", SpectralAxis::kPixel, 1},
      {"pixel", SpectralAxis::kPixel, 1},
      {"pixels", SpectralAxis::kPixel, 1},
  };
  for (const Known& k : kKnown) {
    if (u == k.text) {
      out.axis = k.axis;
      out.to_angstrom = k.to_angstrom;
      return out;
    }
  }
  out.known = false;
  return out;
}

bool IsFluxUnit(std::string_view unit) {
  const std::string u = Compact(unit);
  if (u.empty()) return false;
  for (const std::string_view part : {"erg", "jy", "w/m", "wm-", "wm**", "w.m", "photon", "count", "electron", "adu",
                                      "ct/s", "cts", "flam", "dn/s", "e-/s"}) {
    if (Contains(u, part)) return true;
  }
  return false;
}

ColumnClass ClassifyColumn(const ColumnDescription& column) {
  ColumnClass out;
  std::string name = LowerAscii(TrimBlanksAndTabs(column.name));
  for (const std::string_view group : kGroups) {
    if (name.starts_with(group) && name.size() > group.size()) {
      out.group = LowerAscii(group.substr(0, group.size() - 1));
      for (char& c : out.group) c = static_cast<char>(c - 'a' + 'A');
      name = name.substr(group.size());
      break;
    }
  }
  out.base = name;
  const std::string ucd = LowerAscii(column.ucd);
  const std::string utype = LowerAscii(column.utype);
  const bool has_unit = !TrimBlanksAndTabs(column.unit).empty();
  const SpectralUnit spectral_unit = ParseSpectralUnit(column.unit);
  const bool unit_spectral = has_unit && spectral_unit.known;
  const bool unit_flux = IsFluxUnit(column.unit);

  const int mask_index = IndexIn(kMaskNames, name);
  const int error_index = IndexIn(kErrorNames, name);
  const int spectral_index = IndexIn(kSpectralNames, name);
  const int flux_index = IndexIn(kFluxNames, name);
  const bool ucd_error = Contains(ucd, "stat.error") || Contains(utype, "accuracy.staterror") ||
                         Contains(utype, "accuracy.stat");
  const bool ucd_mask = Contains(ucd, "meta.code.qual") || Contains(utype, "quality");
  const bool ucd_spectral = ucd.starts_with("em.wl") || ucd.starts_with("em.freq") || ucd.starts_with("em.wavenumber") ||
                            ucd.starts_with("em.energy") || Contains(utype, "spectralaxis");
  const bool ucd_flux = ucd.starts_with("phot.flux") || ucd.starts_with("phot.fludens") || ucd.starts_with("phot.count") ||
                        Contains(utype, "fluxaxis.value");

  // The unit speaks first: a length (or frequency) is the spectral axis.
  if (unit_spectral && !ucd_error && !ucd_mask && mask_index < 0 && error_index < 0) {
    out.role = ColumnRole::kSpectral;
    out.evidence = 4 + (ucd_spectral ? 2 : 0) + (spectral_index >= 0 ? 1 : 0);
    out.rank = spectral_index >= 0 ? spectral_index : 100;
    out.log_wavelength = name == "loglam";
    return out;
  }
  if (ucd_mask || mask_index >= 0) {
    out.role = ColumnRole::kMask;
    out.evidence = ucd_mask ? 2 : 1;
    out.rank = mask_index >= 0 ? mask_index : 100;
    if (name == "dq_wgt") {
      out.mask = MaskKind::kZeroBad;
    } else if (name == "mask" && !out.group.empty()) {
      out.mask = MaskKind::kTrueGood;
    }
    return out;
  }
  if (ucd_error || error_index >= 0) {
    out.role = ColumnRole::kError;
    out.evidence = (unit_flux ? 4 : 0) + (ucd_error ? 2 : 0) + (error_index >= 0 ? 1 : 0);
    out.rank = error_index >= 0 ? error_index : 100;
    out.error = ErrorKindOfName(name);
    if (Contains(ucd, "stat.weight")) out.error = ErrorKind::kInverseVariance;
    return out;
  }
  if (ucd_spectral || spectral_index >= 0) {
    out.role = ColumnRole::kSpectral;
    out.evidence = (ucd_spectral ? 2 : 0) + (spectral_index >= 0 ? 1 : 0);
    out.rank = spectral_index >= 0 ? spectral_index : 100;
    out.log_wavelength = name == "loglam";
    return out;
  }
  if (unit_flux || ucd_flux || flux_index >= 0) {
    out.role = ColumnRole::kFlux;
    out.evidence = (unit_flux ? 4 : 0) + (ucd_flux ? 2 : 0) + (flux_index >= 0 ? 1 : 0);
    out.rank = flux_index >= 0 ? flux_index : 100;
    return out;
  }
  return out;
}

std::vector<ColumnSet> GroupColumns(const std::vector<ColumnDescription>& columns, bool surface_brightness,
                                    std::string_view flux_name) {
  std::vector<ColumnClass> classes;
  classes.reserve(columns.size());
  std::vector<std::string> groups;
  for (const ColumnDescription& column : columns) {
    classes.push_back(ClassifyColumn(column));
    ColumnClass& c = classes.back();
    if (c.role == ColumnRole::kFlux && surface_brightness && c.base == "surf_bright") c.rank = -1;
    if (c.role == ColumnRole::kFlux && !flux_name.empty() && LowerAscii(column.name) == LowerAscii(flux_name)) {
      c.rank = -2;
      c.evidence = 7;
    }
    if (c.role == ColumnRole::kFlux && std::find(groups.begin(), groups.end(), c.group) == groups.end())
      groups.push_back(c.group);
  }
  // The best column of `role` in `group`; the flux's own name leads its error
  // ("flam" -> "flam_sig", "surf_bright" -> "sb_error").
  const auto best = [&](ColumnRole role, const std::string& group, const std::string& flux_base) {
    int chosen = -1;
    int chosen_score = 0;
    for (std::size_t i = 0; i < classes.size(); ++i) {
      const ColumnClass& c = classes[i];
      if (c.role != role || c.group != group) continue;
      int score = c.evidence * 1000 + (100 - std::min(c.rank, 100)) * 2;
      if (role == ColumnRole::kError && !flux_base.empty()) {
        const std::string lead = flux_base == "surf_bright" ? "sb_" : flux_base + "_";
        if (c.base.starts_with(lead)) score += 500;
        else if (flux_base == "surf_bright" || (c.base.find('_') != std::string::npos &&
                                                 (c.base.starts_with("flux") || c.base.starts_with("flam") ||
                                                  c.base.starts_with("counts") || c.base.starts_with("sb_"))))
          score -= 500;
      }
      if (chosen < 0 || score > chosen_score) {
        chosen = static_cast<int>(i);
        chosen_score = score;
      }
    }
    return chosen;
  };
  std::vector<ColumnSet> sets;
  for (const std::string& group : groups) {
    ColumnSet set;
    set.group = group;
    set.flux = best(ColumnRole::kFlux, group, "");
    const std::string flux_base = classes[static_cast<std::size_t>(set.flux)].base;
    set.spectral = best(ColumnRole::kSpectral, group, "");
    if (set.spectral < 0 && !group.empty()) set.spectral = best(ColumnRole::kSpectral, "", "");
    set.error = best(ColumnRole::kError, group, flux_base);
    if (set.error < 0 && !group.empty()) set.error = best(ColumnRole::kError, "", flux_base);
    set.mask = best(ColumnRole::kMask, group, "");
    if (set.mask < 0 && !group.empty()) set.mask = best(ColumnRole::kMask, "", "");
    if (set.spectral >= 0) set.log_wavelength = classes[static_cast<std::size_t>(set.spectral)].log_wavelength;
    if (set.error >= 0) set.error_kind = classes[static_cast<std::size_t>(set.error)].error;
    if (set.mask >= 0) set.mask_kind = classes[static_cast<std::size_t>(set.mask)].mask;
    sets.push_back(std::move(set));
  }
  return sets;
}

}  // namespace quillon
