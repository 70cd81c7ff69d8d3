#pragma once
// The main window: the table of sixteen spectrum rows, "Plot Spectra" and
// the menus. Its rules live in session/main_window_logic.h; this
// class builds the controls in twips, passes their events to the handlers
// and shows what the rules set. The rows' controls are arrays indexed by slot
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

class MainWindow : public QMainWindow, private MainView {
  Q_OBJECT

 public:
  template <typename T>
  using RowArray = std::array<T*, kSlotCount + 1>;

  /// Files dropped onto the window: the row under the drop point (0 when the
  /// point lies outside the table) and the local paths, in order.
  using DropHandler = std::function<void(int16_t row, const std::vector<std::string>& paths)>;

  /// Creates the window (hidden) and runs the start-up, which reads
  /// `settings_file`. `end_program` ends the program at once after the
  /// settings are saved; `state` and `services` must outlive the window.
  MainWindow(SharedState& state, WindowServices& services, std::function<void()> end_program,
             std::filesystem::path settings_file = kSettingsFileName, QWidget* parent = nullptr);
  ~MainWindow() override;

  MainWindowLogic& Logic() { return logic_; }
  void SetDropHandler(DropHandler handler) { drop_handler_ = std::move(handler); }

  /// Shows the window with the keyboard focus on row 1's Load button and its
  /// focus frame drawn, as after a Tab.
  void ShowAtStart();

  /// File, Exit: saves the settings and ends the program, as closing the window does.
  void Exit();

  /// The client area that holds the table (its coordinates are the layout's).
  QWidget* ClientArea() const { return client_; }

  // ---- Controls ----
  QLabel* title_ = nullptr;
  QPushButton* plot_button_ = nullptr;       ///< "Plot Spectra"
  QLabel* spectrum_heading_ = nullptr;
  QLabel* filename_heading_ = nullptr;
  QLabel* object_heading_ = nullptr;
  QLabel* level_heading_ = nullptr;
  QLabel* offset_heading_ = nullptr;
  QLabel* velocity_heading_ = nullptr;       ///< "Velocity Shift (km/s)"
  RowArray<QPushButton> load_buttons_{};
  RowArray<QLabel> row_numbers_{};
  RowArray<QLabel> swatches_{};              ///< the slot's colour
  RowArray<QPushButton> header_buttons_{};   ///< "Hdr"
  RowArray<QLabel> file_name_cells_{};
  RowArray<QLabel> object_cells_{};
  RowArray<QLabel> level_cells_{};
  RowArray<QScrollBar> offset_bars_{};
  RowArray<QLabel> offset_cells_{};          ///< the offset as text
  RowArray<QFrame> gap_lines_{};             ///< across the gap the staggered offset bars leave
  RowArray<QScrollBar> velocity_bars_{};     ///< velocity shift, inert
  RowArray<QLabel> velocity_cells_{};        ///< always "0"
  RowArray<QPushButton> unload_buttons_{};
  QMenu* file_menu_ = nullptr;
  QAction* open_action_ = nullptr;           ///< "Open ...", no handler
  QAction* file_separator_ = nullptr;
  QAction* exit_action_ = nullptr;
  QAction* print_setup_action_ = nullptr;    ///< "Print Setup ...", no handler
  QMenu* help_menu_ = nullptr;
  QAction* help_intro_action_ = nullptr;
  QAction* help_separator_ = nullptr;
  QAction* about_action_ = nullptr;

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
