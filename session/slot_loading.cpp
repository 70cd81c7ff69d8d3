#include "session/slot_loading.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "session/chooser_logic.h"
#include "spectrum/spectrum_layouts.h"
#include "spectrum/spectrum_reader.h"

namespace quillon {

namespace {

bool ValidSlot(const SharedState& state, int16_t slot) {
  return slot >= 1 && slot <= state.SlotCount && slot <= kSlotCount;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What a refused read leaves of the file in the slot's header: the cards it
// had read, or only the keyword of its first card over the header before.
void KeepRefusedHeader(Slot& slot, ReadResult& result) {
  switch (result.reached) {
    case ReadResult::Reached::kNothing:
      return;
    case ReadResult::Reached::kFirstKeyword: {
      auto header = std::make_shared<SpectrumHeader>(slot.header ? *slot.header : SpectrumHeader{});
      if (header->keywords.size() < 2) header->keywords.resize(2);
      header->keywords[1] = result.first_keyword;
      slot.header = std::move(header);
      return;
    }
    case ReadResult::Reached::kHeader:
      slot.header = std::make_shared<const SpectrumHeader>(std::move(result.header));
      return;
  }
}

}  // namespace

std::string JoinFitsPath(const std::string& folder, const std::string& name) {
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (!folder.empty() && folder.back() == separator) return folder + name;
  return folder + separator + name;
}

FitsLoadDetails PublishReadResult(SharedState& state, int16_t slot, ReadResult&& result, MessageSink& messages,
                                  RowDisplay& rows, PlotRedraw& plot) {
  if (!ValidSlot(state, slot)) return {};
  FitsLoadDetails details{result.file_read, false, result.text_card_count, result.data_offset, result.missing};
  for (const std::string& text : result.messages) messages.ShowMessage(text);
  Slot& target = state.Slots[slot];
  if (!result.spectrum) {
    KeepRefusedHeader(target, result);
    return details;
  }

  // Published in the order the rest of the program sees it: the data range,
  // the slot, then the row and the plot.
  const Spectrum& spectrum = *result.spectrum;
  if (state.DataLambdaMin > spectrum.lambda_start) state.DataLambdaMin = spectrum.lambda_start;
  if (state.DataLambdaMax < spectrum.lambda_end) state.DataLambdaMax = spectrum.lambda_end;
  state.PlotLambdaMin = state.DataLambdaMin;
  state.PlotLambdaMax = state.DataLambdaMax;
  SpectrumPtr replaced = std::exchange(target.spectrum, std::move(result.spectrum));
  target.header = std::shared_ptr<const SpectrumHeader>(target.spectrum, &target.spectrum->header);
  // The replaced spectrum's arrays take the next read, when nobody else
  // holds it and they are modest.
  RecycleSpectrum(std::move(replaced), state.LoaderScratch);
  target.loaded = true;
  details.published = true;
  rows.ShowLoadedRow(slot);
  state.SpectraLoaded = true;
  if (state.PlotWindowOpen) plot.RenderPlot();
  return details;
}

FitsLoadDetails LoadFitsSpectrum(SharedState& state, int16_t slot, MessageSink& messages, RowDisplay& rows,
                                 PlotRedraw& plot) {
  if (!ValidSlot(state, slot)) return {};
  const std::string folder = state.FitsDirectory;
  const std::string name = state.Slots[slot].file_name;
  if (folder.empty() || name.empty()) return {};

  // The path is fixed before the folder becomes current, so a relative
  // folder still names the same file afterwards.
  std::error_code ec;
  std::filesystem::path absolute_folder = std::filesystem::absolute(folder, ec);
  if (ec) absolute_folder = folder;
  std::filesystem::current_path(absolute_folder, ec);
  if (ec) {
    messages.ShowMessage("The folder " + Quoted(folder) + " cannot be opened: " + ec.message() + ".");
    return {};
  }
  const std::string path = JoinFitsPath(absolute_folder.string(), name);
  // The name may be an address of one spectrum of the file (file.fits[2]);
  // a plain name reads the primary array, or the first spectrum elsewhere
  // in the file when the primary holds none.
  return PublishReadResult(state, slot, ReadSpectrumAt(path, name, KeywordsOf(state), &state.LoaderScratch), messages,
                           rows, plot);
}

void AcceptFitsFile(SharedState& state, const std::string& folder, const std::string& name,
                    WindowServices& services) {
  const int16_t slot = state.CurrentSlot;
  state.Slots[slot].file_name = name;
  state.FitsDirectory = folder;
  if (!folder.empty()) {
    // A folder that cannot be entered is reported by the loader, which
    // enters it again and then fails to open the file there.
    std::error_code ignored;
    std::filesystem::current_path(folder, ignored);
  }
  (void)LoadFitsSpectrum(state, slot, services, services, services);
}

FolderAndName SplitFilePath(const std::string& path) {
  // An address keeps its selector whole, whatever it holds ("[col A/B]").
  const FileAndSelector parts = SplitChosenName("", path);
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(parts.file, ec);
  if (ec) full = parts.file;
  full = full.lexically_normal();
  return {full.parent_path().string(), full.filename().string() + parts.selector};
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
    if (!state.Slots[r].loaded) return r;
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
