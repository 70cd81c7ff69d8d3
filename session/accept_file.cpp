#include "session/accept_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "spectrum/spectrum_reader.h"

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

FolderAndName SplitFilePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  full = full.lexically_normal();
  return {full.parent_path().string(), full.filename().string()};
}

namespace {

void LoadIntoSlot(SharedState& state, int16_t slot, const std::string& path, WindowServices& services) {
  const FolderAndName file = SplitFilePath(path);
  state.CurrentSlot = slot;  // as the row's Load button makes it
  AcceptFitsFile(state, file.folder, file.name, services);
}

void ReportLeftOver(const std::string& reason, const std::vector<std::string>& left_over, WindowServices& services) {
  if (left_over.empty()) return;
  std::string text = reason;
  for (const std::string& path : left_over) text += "\n" + path;
  services.ShowMessage(text);
}

int16_t FirstEmptyRow(const SharedState& state) {
  for (int16_t r = 1; r <= state.SlotCount && r <= kSlotCount; ++r) {
    if (!IsSet(state.SlotLoaded[r])) return r;
  }
  return 0;
}

std::vector<std::string> AbsolutePaths(const std::vector<std::string>& paths) {
  std::vector<std::string> absolute;
  absolute.reserve(paths.size());
  for (const std::string& path : paths) {
    const FolderAndName file = SplitFilePath(path);
    absolute.push_back((std::filesystem::path(file.folder) / file.name).string());
  }
  return absolute;
}

}  // namespace

void LoadCommandLineFiles(SharedState& state, const std::vector<std::string>& paths, WindowServices& services) {
  // Every load makes its folder current, so relative names are resolved first.
  const std::vector<std::string> files = AbsolutePaths(paths);
  const std::size_t rows = static_cast<std::size_t>(std::clamp<int16_t>(state.SlotCount, 0, kSlotCount));
  for (std::size_t i = 0; i < files.size() && i < rows; ++i) {
    LoadIntoSlot(state, static_cast<int16_t>(i + 1), files[i], services);
  }
  if (files.size() > rows) {
    ReportLeftOver("Quillon has " + std::to_string(rows) + " rows; these files were not loaded:",
                   std::vector<std::string>(files.begin() + static_cast<std::ptrdiff_t>(rows), files.end()),
                   services);
  }
}

void LoadDroppedFiles(SharedState& state, int16_t row, const std::vector<std::string>& paths,
                      WindowServices& services) {
  const std::vector<std::string> files = AbsolutePaths(paths);
  if (files.size() == 1 && row >= 1 && row <= state.SlotCount && row <= kSlotCount) {
    LoadIntoSlot(state, row, files.front(), services);
    return;
  }
  std::vector<std::string> left_over;
  for (const std::string& file : files) {
    const int16_t empty = FirstEmptyRow(state);
    if (empty == 0) {
      left_over.push_back(file);
    } else {
      LoadIntoSlot(state, empty, file, services);
    }
  }
  ReportLeftOver("No empty row is left for these files; they were not loaded:", left_over, services);
}

}  // namespace quillon
