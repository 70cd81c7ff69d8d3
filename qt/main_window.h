#pragma once
// frmMain, the main window: the table of sixteen spectrum rows, "Plot
// Spectra" and the menus. Its rules live in shell/main_window_logic.h; this
// class builds the controls in twips, passes their events to the handlers
// and shows what the rules set. The rows are control arrays indexed by slot
// (entry 0 unused).

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "qt/held_position.h"
#include "session/main_window_logic.h"
#include "session/settings_file.h"
#include "session/shared_state.h"
#include "session/window_services.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QScrollBar;

namespace quillon {

class frmMain : public QMainWindow, private MainView {
  Q_OBJECT

 public:
  template <typename T>
  using RowArray = std::array<T*, kSlotCount + 1>;

  /// Files dropped onto the window: the row under the drop point (0 when the
  /// point lies outside the table) and the local paths, in order.
  using DropHandler = std::function<void(int16_t row, const std::vector<std::string>& paths)>;

  /// Creates the window (hidden) and runs Form_Load, which reads
  /// `settings_file`. `end_program` ends the program at once after
  /// Form_Unload; `state` and `services` must outlive the window.
  frmMain(SharedState& state, WindowServices& services, std::function<void()> end_program,
          std::filesystem::path settings_file = kSettingsFileName, QWidget* parent = nullptr);
  ~frmMain() override;

  MainWindowLogic& Logic() { return logic_; }
  void SetDropHandler(DropHandler handler) { drop_handler_ = std::move(handler); }

  /// Shows the window with the keyboard focus on row 1's Load button and its
  /// focus frame drawn, as after a Tab.
  void ShowAtStart();

  /// File, Exit: runs Form_Unload and ends the program, as closing the window does.
  void mExit_Click();

  /// The client area that holds the table (its coordinates are the layout's).
  QWidget* ClientArea() const { return client_; }

  // ---- Controls, named as in the design ----
  QLabel* Label1 = nullptr;         ///< title
  QPushButton* Command3 = nullptr;  ///< "Plot Spectra"
  QLabel* Label2 = nullptr;         ///< headings: "Spectrum"
  QLabel* Label5 = nullptr;         ///< "Filename"
  QLabel* Label6 = nullptr;         ///< "Object"
  QLabel* Label14 = nullptr;        ///< "Level"
  QLabel* Label9 = nullptr;         ///< "Offset"
  QLabel* Label11 = nullptr;        ///< "Velocity Shift (km/s)"
  RowArray<QPushButton> Command1{};  ///< "Load"
  RowArray<QLabel> Label4{};         ///< row number
  RowArray<QLabel> Label3{};         ///< colour swatch
  RowArray<QPushButton> Command4{};  ///< "Hdr"
  RowArray<QLabel> Label7{};         ///< file name
  RowArray<QLabel> Label8{};         ///< object
  RowArray<QLabel> Label13{};        ///< level
  RowArray<QScrollBar> VScroll1{};   ///< offset
  RowArray<QLabel> Label10{};        ///< offset value
  RowArray<QFrame> Line10{};
  RowArray<QScrollBar> HScroll1{};  ///< velocity shift, inert
  RowArray<QLabel> Label12{};       ///< velocity value
  RowArray<QPushButton> Command2{};  ///< "Unload"
  QMenu* mFile = nullptr;
  QAction* mOpen = nullptr;
  QAction* mDash1 = nullptr;
  QAction* mExit = nullptr;
  QAction* mPrintSetup = nullptr;
  QMenu* mHelp = nullptr;
  QAction* mHelpIntro = nullptr;
  QAction* mDash2 = nullptr;
  QAction* mAbout = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // MainView
  void PlaceWindow(double left, double top) override;
  double WindowLeft() const override;
  double WindowTop() const override;
  void SetRowDetailsVisible(int16_t row, bool visible) override;
  void SetCellText(int16_t row, RowCell cell, const std::string& text) override;
  void SetOffsetBarMaximum(int16_t row, int maximum) override;
  void SetOffsetBarMinimum(int16_t row, int minimum) override;
  void SetOffsetBarValue(int16_t row, int value) override;
  void SetOffsetBarSteps(int16_t row, int small_step, int large_step) override;
  int OffsetBarValue(int16_t row) const override;

  void BuildFixedControls();
  void BuildRow(int16_t row);
  void BuildMenus();
  void BuildShortcuts();
  void FitToScreen();
  QLabel* Heading(const char* text, double left, double width);
  QLabel* Cell(const QString& accessible_name, RowControl control, int16_t row);
  QWidget* RowDetail(RowControl control, int16_t row) const;
  void EndTheProgram();

  SharedState& state_;
  std::function<void()> end_program_;
  std::filesystem::path settings_file_;
  MainWindowLogic logic_;
  QScrollArea* scroll_ = nullptr;
  QWidget* client_ = nullptr;
  HeldPosition position_;
  DropHandler drop_handler_;
  bool ended_ = false;
};

}  // namespace quillon
