#pragma once
// What the file chooser's OK does with a folder and a file name; drag and
// drop and file names on the command line go through the same steps.

#include <string>

#include "shell/shared_state.h"
#include "shell/window_services.h"

namespace quillon {

/// Stores `name` in SlotFileName(CurrentSlot) and `folder` in FitsDirectory,
/// makes the folder the current directory and runs
/// LoadFitsSpectrum(CurrentSlot). The name is stored whether the load then
/// succeeds or not; the loader reports every failure itself (an empty name or
/// folder loads nothing).
void AcceptFitsFile(SharedState& state, const std::string& folder, const std::string& name,
                    WindowServices& services);

}  // namespace quillon
