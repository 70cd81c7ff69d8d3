#pragma once
// The FITS file chooser: a drive list, a folder list, a file list filtered
// by a file-type pattern and a name box. OK hands the folder and the name to
// AcceptFitsFile for CurrentSlot and hides the window; Cancel stores the
// position and hides it; the close box stores the position and destroys it.
// The rules it follows live in session/chooser_logic.h.

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "session/chooser_logic.h"
#include "session/shared_state.h"
#include "session/window_services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTreeWidget;

namespace quillon {

class FileChooser : public QWidget {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs Load: placed at (LoadLeft,
  /// LoadTop) twips, lists at the process's current directory, "*.fts" as
  /// the pattern. `state` and `services` must outlive the window. Deletes
  /// itself when closed by its close box.
  FileChooser(SharedState& state, WindowServices& services, QWidget* parent = nullptr);

  /// Sets the file-type list's index (0-based); runs FileTypeChosen at once,
  /// which re-reads the file list. An index outside the list changes nothing.
  void SetFileTypeIndex(int index);

  /// Puts the keyboard in the name box with its text selected, so typing
  /// replaces the proposed name. Load does this each time it shows the window.
  void SelectFileName();

  /// Sets the window's outer size in twips and runs the size rules at once
  /// (a size below the minimum snaps back to it).
  void SetOuterSize(double width, double height);

  /// The folder list's current path; an absolute folder.
  const std::string& FolderPath() const { return folder_path_; }
  /// The file list's current folder and pattern.
  const std::string& FileListPath() const { return file_list_path_; }
  const std::string& FilePattern() const { return file_pattern_; }
  /// Sets the folder list's path by code, as DriveChanged does: reads the
  /// folder and runs FolderChanged. A folder that cannot be read is reported
  /// in a message box and changes nothing; the result says whether it worked.
  bool SetFolderPath(const std::string& path);
  /// Replaces the drives offered by the drive list (mount points, the root first)
  /// and shows the one holding the folder list's path. Filling the list
  /// chooses no drive, so the folder and file lists stay as they are.
  void SetDriveList(std::vector<std::string> drives);
  /// The mount points offered by the drive list, in list order.
  const std::vector<std::string>& Drives() const { return drives_; }
  /// The layout the size rules last gave the controls, twips.
  const ChooserLayout& CurrentLayout() const { return layout_; }
  /// Whether the band listing the spectra of the named file shows: the file
  /// holds more than one.
  bool SpectraShown() const { return band_shown_; }

  // Handlers, run by the controls and callable by code.
  /// The window's creation: placed, the file-type patterns, the lists at the
  /// current directory, the first file in the name box.
  void Load();
  void Resized();  ///< the size rules for the window's present size
  void Unload();   ///< the close box: stores the position
  /// A file type chosen: it becomes the file list's pattern (the list is
  /// re-read; the name box keeps its text).
  void FileTypeChosen();
  /// A drive chosen: the folder list moves to it (which runs FolderChanged).
  void DriveChanged();
  /// The folder list's path changed: the file list reads that folder, its
  /// first file goes in the name box and the path label shows the folder.
  void FolderChanged();
  void FileClicked();        ///< the selected file goes in the name box
  void FileDoubleClicked();  ///< the file goes in the name box, then OK
  /// The name box's text changed: list the spectra of the file it names
  /// when it holds several (the band shows), or hide the band.
  void NameChanged();
  /// A line of the spectra list chosen: its address goes in the name box.
  void SpectrumClicked();
  void Accept();  ///< "OK": loads the named file into CurrentSlot and hides the window
  void Cancel();  ///< "Cancel": stores the position and hides the window

  // Controls; owned by the window.
  QLabel* name_label_ = nullptr;          ///< "File Name:"
  QLineEdit* name_box_ = nullptr;
  QListWidget* file_list_ = nullptr;
  QLabel* type_label_ = nullptr;          ///< "List Files of Type:"
  QComboBox* type_list_ = nullptr;        ///< the file-type patterns
  QLabel* folder_label_ = nullptr;        ///< "Directories:"
  QLabel* path_label_ = nullptr;          ///< the folder list's path
  QListWidget* folder_list_ = nullptr;
  QLabel* drive_label_ = nullptr;         ///< "Drives:"
  QComboBox* drive_list_ = nullptr;
  QPushButton* ok_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  QLabel* spectra_label_ = nullptr;       ///< "Spectra in this file:"
  QTreeWidget* spectra_list_ = nullptr;   ///< the spectra of the named file, when it holds several

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ApplySizeRules(double width, double height);
  QSize ClientPixelsFor(double width, double height, bool round_up) const;
  void ResizeClient(const QSize& client);
  void ResizeOuterAtLeast(double width, double height);
  void PlaceControls();
  void FillFolderList(const FolderList& list);
  bool ReadFileList();
  void PutFirstFileInNameBox();
  void PutInNameBox(const QListWidgetItem* item);
  std::string NameBoxFileName() const;
  void ShowFolderPath();
  void KeepOnScreen();
  void StorePosition();
  void OpenFolderItem(QListWidgetItem* item);
  void ShowSpectraBand(bool shown);
  void SelectSpectrumOfName(const std::string& selector);
  void PutNameInNameBox(const std::string& name);

  SharedState& state_;
  WindowServices& services_;
  std::string folder_path_;
  std::string file_list_path_;
  std::string file_pattern_;
  std::vector<std::string> drives_;
  std::string name_box_native_;  ///< the bytes of the name the file list last put in the name box
  QString name_box_shown_;       ///< ... and how the name box showed it
  std::string last_file_error_;  ///< the file-list read failure last reported
  int drive_index_ = -1;  ///< the drive list's index as last applied, to undo a drive that cannot be read
  ChooserLayout layout_;
  bool band_shown_ = false;
  // The file the spectra list was filled for, as the name box names it, and
  // what identified it (path, size, modification time).
  std::string listed_file_;
  std::string listed_key_;
  std::vector<std::string> listed_selectors_;
  // Where the window was last placed or stored, in twips and in pixels.
  int16_t placed_left_ = 0;
  int16_t placed_top_ = 0;
  QPoint placed_at_;
  QSize handled_client_size_;  ///< a later resize event for this size has been handled already
};

}  // namespace quillon
