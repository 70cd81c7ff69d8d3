#pragma once
// What the file chooser's OK does with a folder and a file name; drag and
// drop and file names on the command line go through the same steps.

#include <string>
#include <vector>

#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {

/// Stores `name` in SlotFileName(CurrentSlot) and `folder` in FitsDirectory,
/// makes the folder the current directory and runs
/// LoadFitsSpectrum(CurrentSlot). The name is stored whether the load then
/// succeeds or not; the loader reports every failure itself (an empty name or
/// folder loads nothing).
void AcceptFitsFile(SharedState& state, const std::string& folder, const std::string& name,
                    WindowServices& services);

/// A file path as the chooser would hand it over: its absolute folder and its
/// name. A relative path is taken against the current directory now.
struct FolderAndName {
  std::string folder;
  std::string name;
};
FolderAndName SplitFilePath(const std::string& path);

/// Files named on the command line: into rows 1, 2, ... in order, each as if
/// chosen in the chooser for that row and confirmed. Files beyond the last
/// row are reported in one message. Paths must be absolute or relative to the
/// current directory at the call (a load changes it).
void LoadCommandLineFiles(SharedState& state, const std::vector<std::string>& paths, WindowServices& services);

/// Files dropped onto the main window: one file dropped onto row `row`
/// (1..SlotCount) goes into that row; otherwise each file in turn goes into
/// the first row that is empty at that moment, so a file that fails to load
/// leaves its row to the next one. Files with no empty row left are reported
/// in one message.
void LoadDroppedFiles(SharedState& state, int16_t row, const std::vector<std::string>& paths,
                      WindowServices& services);

}  // namespace quillon
