#pragma once
// The settings file "Quillon3.ini": the two calibration keyword names and the
// stored geometry of every window, 25 comma-separated fields on eight CR LF
// lines. Read once at start-up, written once at exit, both by the main window.

#include <filesystem>
#include <string>

#include "session/shared_state.h"

namespace quillon {

/// The file's bare name: it lives in the current directory at the moment of use.
inline constexpr const char* kSettingsFileName = "Quillon3.ini";

/// Reads the 25 fields into KeywordLambda0, KeywordDispersion and the geometry
/// fields (twips). On any failure (missing, unreadable or damaged file, too few
/// fields, a non-numeric field, a number outside the int16 range) every setting
/// of the file takes its default, silently. Returns true when the file was read.
bool ReadSettingsFile(SharedState& state, const std::filesystem::path& path = kSettingsFileName);

/// Writes the eight CR LF lines from the shared state, through a temporary file
/// in the same folder that is renamed over the old file in one step, so the old
/// file stays whole when anything fails. Returns "" on success, else the reason
/// (e.g. "Permission denied"). Does not store MainLeft/MainTop: the caller does.
[[nodiscard]] std::string WriteSettingsFile(const SharedState& state,
                                            const std::filesystem::path& path = kSettingsFileName);

/// The text of the one "Quillon" message box shown when writing failed at exit:
/// names the file (as an absolute path) and the reason.
std::string SettingsWriteFailureMessage(const std::filesystem::path& path, const std::string& reason);

/// Restores every setting of the file (keyword names and all geometry) to its default.
void ApplyDefaultSettings(SharedState& state);

/// The complete file text that WriteSettingsFile writes for `state`.
std::string SettingsFileText(const SharedState& state);

}  // namespace quillon
