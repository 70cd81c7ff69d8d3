#pragma once
// frmLoad_FitsFile, the FITS file chooser: a drive list, a folder list, a
// file list filtered by a file-type pattern and a name box. OK hands the
// folder and the name to AcceptFitsFile for CurrentSlot and hides the window;
// Cancel stores the position and hides it; the close box stores the position
// and destroys it. The rules it follows live in fits/chooser_logic.h.

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

namespace quillon {

class frmLoad_FitsFile : public QWidget {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs Form_Load: placed at (LoadLeft,
  /// LoadTop) twips, lists at the process's current directory, "*.fts" as
  /// the pattern. `state` and `services` must outlive the window. Deletes
  /// itself when closed by its close box.
  frmLoad_FitsFile(SharedState& state, WindowServices& services, QWidget* parent = nullptr);

  /// Sets Combo1's list index (0-based); runs Combo1_Click at once, which
  /// re-reads the file list. An index outside 0..3 changes nothing.
  void SetFileTypeIndex(int index);

  /// Puts the keyboard in the name box with its text selected, so typing
  /// replaces the proposed name. Load does this each time it shows the window.
  void SelectFileName();

  /// Sets the window's outer size in twips and runs the size rules at once
  /// (a size below the minimum snaps back to it).
  void SetOuterSize(double width, double height);

  /// The folder list's current path (Dir1's Path); an absolute folder.
  const std::string& Dir1Path() const { return dir1_path_; }
  /// The file list's current folder and pattern.
  const std::string& File1Path() const { return file1_path_; }
  const std::string& File1Pattern() const { return file1_pattern_; }
  /// Sets the folder list's path by code, as Drive1_Change does: reads the
  /// folder and runs Dir1_Change. A folder that cannot be read is reported
  /// in a message box and changes nothing; the result says whether it worked.
  bool SetDir1Path(const std::string& path);
  /// Replaces the drives offered by Drive1 (mount points, the root first)
  /// and shows the one holding the folder list's path. Filling the list
  /// chooses no drive, so the folder and file lists stay as they are.
  void SetDriveList(std::vector<std::string> drives);
  /// The mount points offered by Drive1, in list order.
  const std::vector<std::string>& Drives() const { return drives_; }
  /// The layout the size rules last gave the controls, twips.
  const ChooserLayout& CurrentLayout() const { return layout_; }

  // Handlers, run by the controls and callable by code.
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  void Combo1_Click();
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void File1_DblClick();
  void Command1_Click();  ///< OK
  void Command2_Click();  ///< Cancel

  // Controls, named as in the design table; owned by the window.
  QLabel* Label1 = nullptr;  ///< "File Name:"
  QLineEdit* Text1 = nullptr;
  QListWidget* File1 = nullptr;
  QLabel* Label2 = nullptr;  ///< "List Files of Type:"
  QComboBox* Combo1 = nullptr;
  QLabel* Label3 = nullptr;  ///< "Directories:"
  QLabel* Label4 = nullptr;  ///< the folder list's path
  QListWidget* Dir1 = nullptr;
  QLabel* Label5 = nullptr;  ///< "Drives:"
  QComboBox* Drive1 = nullptr;
  QPushButton* Command1 = nullptr;  ///< "OK"
  QPushButton* Command2 = nullptr;  ///< "Cancel"

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
  void FillDir1(const FolderList& list);
  bool ReadFile1();
  void PutFirstFileInNameBox();
  void PutInNameBox(const QListWidgetItem* item);
  std::string NameBoxFileName() const;
  void ShowPathInLabel4();
  void KeepOnScreen();
  void StorePosition();
  void OpenDir1Item(QListWidgetItem* item);

  SharedState& state_;
  WindowServices& services_;
  std::string dir1_path_;
  std::string file1_path_;
  std::string file1_pattern_;
  std::vector<std::string> drives_;
  std::string name_box_native_;  ///< the bytes of the name the file list last put in Text1
  QString name_box_shown_;       ///< ... and how Text1 showed it
  std::string last_file_error_;  ///< the file-list read failure last reported
  int drive_index_ = -1;  ///< Drive1's index as last applied, to undo a drive that cannot be read
  ChooserLayout layout_;
  // Where the window was last placed or stored, in twips and in pixels.
  int16_t placed_left_ = 0;
  int16_t placed_top_ = 0;
  QPoint placed_at_;
  QSize handled_client_size_;  ///< a later resize event for this size has been handled already
};

}  // namespace quillon
