#pragma once
// Loading a file into a slot: the one place where a spectrum read from a
// file is published into the shared state (wavelength range, the slot, its
// row, a redraw) and where the folder is remembered. The file chooser's OK,
// drag and drop and file names on the command line all come here.

#include <string>
#include <vector>

#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {

/// What one load came to, beyond what the state shows.
struct FitsLoadDetails {
  bool file_read = false;       ///< the file was opened and its header text read
  bool published = false;       ///< the slot took the spectrum
  int64_t text_card_count = 0;  ///< length of the header text / 80, halves to even
  int64_t data_offset = 0;      ///< 0-based offset of the first sample (bytes)
  int64_t missing = 0;          ///< samples that are missing (NaN in the arrays)
};

/// Loads FitsDirectory / SlotFileName(slot) into `slot`: makes the folder
/// current, reads the file with the slot's calibration keywords and, when
/// the reader accepts it, publishes it: the slot's wavelengths widen the data
/// range, which becomes the plotted range, the slot takes the spectrum and is
/// loaded, its row is shown, SpectraLoaded is set and the plot is redrawn
/// when PlotWindowOpen is set. The reader's messages go to `messages` in
/// order before any of that. A refused file leaves the slot loaded or not and
/// drawn as it was; the slot's header becomes what the reader had read of
/// the refused file. An empty folder or name, or a slot outside
/// 1..SlotCount, loads nothing.
FitsLoadDetails LoadFitsSpectrum(SharedState& state, int16_t slot, MessageSink& messages, RowDisplay& rows,
                                 PlotRedraw& plot);

/// Publishes what the reader made of a file into `slot`, as LoadFitsSpectrum
/// does after reading it: shows the messages, then either publishes the
/// spectrum or keeps the refused file's header. Used by LoadFitsSpectrum and
/// by the fuzz target over bytes in memory.
FitsLoadDetails PublishReadResult(SharedState& state, int16_t slot, ReadResult&& result, MessageSink& messages,
                                  RowDisplay& rows, PlotRedraw& plot);

/// A folder and a file name joined with the platform's separator (none
/// added when the folder already ends with one).
std::string JoinFitsPath(const std::string& folder, const std::string& name);

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
