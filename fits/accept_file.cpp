#include "fits/accept_file.h"

#include <filesystem>
#include <system_error>

#include "fits/fits_loader.h"

namespace quillon {

void AcceptFitsFile(SharedState& state, const std::string& folder, const std::string& name,
                    WindowServices& services) {
  const int16_t slot = state.CurrentSlot;
  state.SlotFileName[slot] = name;
  state.FitsDirectory = folder;
  if (!folder.empty()) {
    // A folder that cannot be entered is reported by the loader, which
    // enters it again and then fails to open the file there.
    std::error_code ignored;
    std::filesystem::current_path(folder, ignored);
  }
  LoadFitsSpectrum(state, slot, services, services, services);
}

}  // namespace quillon
