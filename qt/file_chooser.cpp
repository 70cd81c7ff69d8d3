#include "qt/file_chooser.h"

#include <QCloseEvent>
#include <QEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "session/slot_loading.h"
#include "base/int_convert.h"
#include "qt/file_names.h"
#include "qt/twips.h"
#include "qt/window_colours.h"

namespace quillon {

namespace {

constexpr int kPathRole = Qt::UserRole;        // the folder a Dir1 line opens
constexpr int kDepthRole = Qt::UserRole + 1;   // its indentation level
constexpr int kNameRole = Qt::UserRole + 2;    // a File1 line's name as the system's bytes
constexpr int32_t kFormBackground = 0x00C0C0C0;

// Design client area of the window, twips.
constexpr double kDesignClientWidth = 6930;
constexpr double kDesignClientHeight = 5085;

// Names and paths show readably; the items keep their bytes (kNameRole, kPathRole).
QString ToQt(const std::string& text) { return ShownFileName(text); }

// Indents each folder line by its depth, so the list reads as a path
// opening down to the current folder with its subfolders beneath.
class FolderLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(Indent(option) * index.data(kDepthRole).toInt(), 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += Indent(option) * index.data(kDepthRole).toInt();
    return size;
  }

 private:
  static int Indent(const QStyleOptionViewItem& option) { return std::max(6, option.fontMetrics.height() / 2); }
};

}  // namespace

frmLoad_FitsFile::frmLoad_FitsFile(SharedState& state, WindowServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), services_(services) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Load 1-D Calibrated Fits file");
  setAccessibleName("Load 1-D Calibrated Fits file");
  FixBackground(this, ColorFromBgr(kFormBackground));

  CreateControls();
  // Start at the design size, laid out by the size rules, so the window
  // looks the same before and after its first resize.
  resize(TwipsToPixels(kDesignClientWidth, this), TwipsToPixels(kDesignClientHeight, this));
  handled_client_size_ = size();
  Form_Resize();
  Form_Load();
}

void frmLoad_FitsFile::CreateControls() {
  Label1 = new QLabel("File Name:", this);
  Text1 = new QLineEdit(this);
  File1 = new QListWidget(this);
  Label2 = new QLabel("List Files of Type:", this);
  Combo1 = new QComboBox(this);
  Label3 = new QLabel("Directories:", this);
  Label4 = new QLabel(this);
  Dir1 = new QListWidget(this);
  Label5 = new QLabel("Drives:", this);
  Drive1 = new QComboBox(this);
  Command1 = new QPushButton("OK", this);
  Command2 = new QPushButton("Cancel", this);

  // The labels stand on the grey window: black under any theme.
  for (QLabel* label : {Label1, Label2, Label3, Label4, Label5}) FixTextColour(label, Qt::black);
  Label1->setBuddy(Text1);
  Label2->setBuddy(Combo1);
  Label3->setBuddy(Dir1);
  Label5->setBuddy(Drive1);
  Text1->setAccessibleName("File Name");
  File1->setAccessibleName("Files");
  Combo1->setAccessibleName("List Files of Type");
  Label4->setAccessibleName("Current folder");
  Dir1->setAccessibleName("Directories");
  Drive1->setAccessibleName("Drives");
  Command1->setAccessibleName("OK");
  Command2->setAccessibleName("Cancel");
  Command1->setDefault(true);

  File1->setSelectionMode(QAbstractItemView::SingleSelection);
  Dir1->setSelectionMode(QAbstractItemView::SingleSelection);
  Dir1->setItemDelegate(new FolderLineDelegate(Dir1));
  File1->installEventFilter(this);
  Dir1->installEventFilter(this);

  setTabOrder(Text1, File1);
  setTabOrder(File1, Combo1);
  setTabOrder(Combo1, Dir1);
  setTabOrder(Dir1, Drive1);
  setTabOrder(Drive1, Command1);
  setTabOrder(Command1, Command2);

  connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int) { Combo1_Click(); });
  connect(Drive1, &QComboBox::currentIndexChanged, this, [this](int) { Drive1_Change(); });
  connect(File1, &QListWidget::currentRowChanged, this, [this](int) { File1_Click(); });
  // Pressing an entry that is already selected puts it back in the name box too.
  connect(File1, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) { PutInNameBox(item); });
  connect(File1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { File1_DblClick(); });
  // A folder opens on a double click; a single click only selects it.
  connect(Dir1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { OpenDir1Item(item); });
  connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

// ---- Handlers ----------------------------------------------------------------

void frmLoad_FitsFile::Form_Load() {
  MoveOuter(this, state_.LoadLeft, state_.LoadTop);
  placed_left_ = state_.LoadLeft;
  placed_top_ = state_.LoadTop;
  placed_at_ = frameGeometry().topLeft();
  KeepOnScreen();
  {
    // Filling the list is no choice of the user's: the pattern is set below.
    const QSignalBlocker filling(Combo1);
    Combo1->clear();
    for (const char* pattern : kChooserPatterns) Combo1->addItem(pattern);
    Combo1->setCurrentIndex(0);
  }
  file1_pattern_ = kChooserPatterns[0];

  std::error_code ec;
  std::string start = std::filesystem::current_path(ec).string();
  if (ec) {
    services_.ShowMessage("The current folder cannot be found: " + ec.message() + ".");
    start = "/";
  }
  FolderList list = BuildFolderList(start);
  if (!list.ok()) {
    services_.ShowMessage(list.error);
    list = BuildFolderList("/");
  }
  if (list.ok()) {
    FillDir1(list);
    dir1_path_ = list.path;
  }
  SetDriveList(ListDrives());
  file1_path_ = dir1_path_;
  if (!file1_path_.empty()) ReadFile1();
  PutFirstFileInNameBox();
  ShowPathInLabel4();
}

void frmLoad_FitsFile::Form_Resize() {
  ApplySizeRules(OuterWidth(this), OuterHeight(this));
}

void frmLoad_FitsFile::Form_Unload() { StorePosition(); }

void frmLoad_FitsFile::Combo1_Click() {
  const int index = Combo1->currentIndex();
  if (index < 0) return;
  file1_pattern_ = Combo1->itemText(index).toStdString();
  ReadFile1();  // the name box keeps its text
}

void frmLoad_FitsFile::Drive1_Change() {
  const int index = Drive1->currentIndex();
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  // Setting the folder list's path runs Dir1_Change.
  if (SetDir1Path(drives_[static_cast<std::size_t>(index)])) {
    drive_index_ = index;
    return;
  }
  // The drive cannot be read: show the one still in use again.
  const QSignalBlocker undoing(Drive1);
  Drive1->setCurrentIndex(drive_index_);
}

void frmLoad_FitsFile::Dir1_Change() {
  file1_path_ = dir1_path_;
  if (!ReadFile1()) {
    // The folder was readable a moment ago; whatever the list held belonged elsewhere.
    const QSignalBlocker clearing(File1);
    File1->clear();
  }
  PutFirstFileInNameBox();
  ShowPathInLabel4();
}

void frmLoad_FitsFile::File1_Click() {
  if (const QListWidgetItem* item = File1->currentItem()) PutInNameBox(item);
}

void frmLoad_FitsFile::File1_DblClick() {
  File1_Click();
  Command1_Click();
}

void frmLoad_FitsFile::Command1_Click() {
  ShowPathInLabel4();
  // Slot 0 belongs to no row: without a Load press there is nothing to fill.
  if (state_.CurrentSlot >= 1 && state_.CurrentSlot <= state_.SlotCount) {
    AcceptFitsFile(state_, dir1_path_, NameBoxFileName(), services_);
  }
  hide();  // the position is stored by Cancel and the close box only
}

void frmLoad_FitsFile::Command2_Click() {
  StorePosition();
  hide();
}

// ---- Public helpers ------------------------------------------------------------

void frmLoad_FitsFile::SelectFileName() {
  Text1->setFocus(Qt::OtherFocusReason);
  Text1->selectAll();
}

void frmLoad_FitsFile::SetFileTypeIndex(int index) {
  if (index < 0 || index >= Combo1->count()) return;
  if (Combo1->currentIndex() == index) {
    Combo1_Click();  // the combo raises no change for the same index; the list is re-read all the same
  } else {
    Combo1->setCurrentIndex(index);  // runs Combo1_Click at once
  }
}

void frmLoad_FitsFile::SetOuterSize(double width, double height) {
  ResizeClient(ClientPixelsFor(width, height, false));
  ApplySizeRules(width, height);
}

void frmLoad_FitsFile::SetDriveList(std::vector<std::string> drives) {
  if (drives.empty()) drives.push_back("/");
  drives_ = std::move(drives);
  // Filling the list is no choice of the user's.
  const QSignalBlocker filling(Drive1);
  Drive1->clear();
  for (const std::string& drive : drives_) Drive1->addItem(ToQt(drive));
  drive_index_ = static_cast<int>(DriveIndexOfPath(drives_, dir1_path_));
  Drive1->setCurrentIndex(drive_index_);
}

bool frmLoad_FitsFile::SetDir1Path(const std::string& path) {
  const FolderList list = BuildFolderList(path);
  if (!list.ok()) {
    services_.ShowMessage(list.error);
    return false;
  }
  FillDir1(list);
  dir1_path_ = list.path;
  Dir1_Change();
  return true;
}

// ---- Events ------------------------------------------------------------------------

void frmLoad_FitsFile::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Sizes set by code were handled when they were set; the window system may
  // report them again later.
  if (event->size() == handled_client_size_) return;
  handled_client_size_ = event->size();
  Form_Resize();
}

void frmLoad_FitsFile::showEvent(QShowEvent* event) {
  // Volumes come and go while the program runs (a USB stick); offer those mounted now.
  if (!event->spontaneous()) SetDriveList(ListDrives());
  QWidget::showEvent(event);
}

void frmLoad_FitsFile::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The size rules wait while the window is minimised; catch up on restoring it.
  if (event->type() == QEvent::WindowStateChange && !isMinimized() &&
      (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized)) {
    Form_Resize();
  }
}

void frmLoad_FitsFile::closeEvent(QCloseEvent* event) {
  Form_Unload();
  QWidget::closeEvent(event);
}

void frmLoad_FitsFile::keyPressEvent(QKeyEvent* event) {
  // Escape, not taken by a control (an open drop-down closes itself first), is Cancel.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    Command2_Click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool frmLoad_FitsFile::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == Dir1) {
        OpenDir1Item(Dir1->currentItem());
        return true;
      }
      if (watched == File1 && File1->currentItem() != nullptr) {
        File1_DblClick();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Private -------------------------------------------------------------------------

void frmLoad_FitsFile::ApplySizeRules(double width, double height) {
  if (isMinimized()) return;  // nothing to lay out; the rules run again on the next real resize
  const ChooserSize snapped = SnapChooserSize(width, height);
  // Setting the height or the width runs the handler again with the new size.
  if (snapped.height != height) {
    ResizeOuterAtLeast(width, snapped.height);
    ApplySizeRules(width, snapped.height);
    return;
  }
  if (snapped.width != width) {
    ResizeOuterAtLeast(snapped.width, height);
    ApplySizeRules(snapped.width, height);
    return;
  }
  layout_ = ComputeChooserLayout(width, height);
  PlaceControls();
  // A shorter folder list still shows where it stands.
  if (QListWidgetItem* current = Dir1->currentItem()) Dir1->scrollToItem(current);
}

QSize frmLoad_FitsFile::ClientPixelsFor(double width, double height, bool round_up) const {
  const double per_twip = PixelsPerTwip(this);
  const auto pixels = [&](double twips) {
    const double exact = twips * per_twip;
    if (!std::isfinite(exact)) return 1;  // the size rules then snap it to the minimum
    const double whole = round_up ? std::ceil(exact - 1e-6) : std::round(exact);
    return static_cast<int>(std::clamp(whole, 1.0, 16777215.0));  // QWIDGETSIZE_MAX
  };
  const QSize extra(std::max(0, frameGeometry().width() - geometry().width()),
                    std::max(0, frameGeometry().height() - geometry().height()));
  return QSize(std::max(1, pixels(width) - extra.width()), std::max(1, pixels(height) - extra.height()));
}

void frmLoad_FitsFile::ResizeClient(const QSize& client) {
  // The caller runs the size rules for this size itself, at once: the resize
  // event the window system sends for it (now or later) is already handled.
  handled_client_size_ = client;
  resize(client);
}

void frmLoad_FitsFile::ResizeOuterAtLeast(double width, double height) {
  // Rounded up, so that reading the size back never gives less than was set.
  ResizeClient(ClientPixelsFor(width, height, true));
}

void frmLoad_FitsFile::PlaceControls() {
  const ChooserLayout& l = layout_;
  PlaceChild(Label1, 120, 120, 975, 255);
  PlaceChild(Text1, 120, 360, l.LeftColumnWidth, 315);
  PlaceChild(File1, 120, 840, l.LeftColumnWidth, l.File1Height);
  PlaceChild(Label2, 120, l.Label2Top, 2415, 255);
  PlaceChild(Combo1, 120, l.Combo1Top, l.LeftColumnWidth, 315);
  PlaceChild(Label3, l.RightColumnLeft, 120, 2295, 255);
  PlaceChild(Label4, l.RightColumnLeft, 360, 3975, 255);
  PlaceChild(Dir1, l.RightColumnLeft, 720, l.RightColumnWidth, l.Dir1Height);
  PlaceChild(Label5, l.RightColumnLeft, l.Label5Top, 1335, 255);
  PlaceChild(Drive1, l.RightColumnLeft, l.Drive1Top, l.RightColumnWidth, 315);
  PlaceChild(Command1, l.ButtonLeft, 720, 1335, 375);
  PlaceChild(Command2, l.ButtonLeft, 1200, 1335, 375);
}

void frmLoad_FitsFile::FillDir1(const FolderList& list) {
  const QSignalBlocker filling(Dir1);
  Dir1->clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (const FolderEntry& entry : list.entries) {
    auto* item = new QListWidgetItem(entry.open ? open : closed, ToQt(entry.name), Dir1);
    item->setData(kPathRole, NameBytes(entry.path));
    item->setData(kDepthRole, entry.depth);
    item->setToolTip(ToQt(entry.path));
  }
  if (!list.entries.empty()) {
    Dir1->setCurrentRow(static_cast<int>(list.current));
    Dir1->scrollToItem(Dir1->currentItem());
  }
}

bool frmLoad_FitsFile::ReadFile1() {
  const FolderNames files = ListMatchingFiles(file1_path_, file1_pattern_);
  if (!files.ok()) {
    // A folder that went away would otherwise be reported by every re-read of one Load.
    if (files.error != last_file_error_) services_.ShowMessage(files.error);
    last_file_error_ = files.error;
    return false;
  }
  last_file_error_.clear();
  const QSignalBlocker filling(File1);
  File1->clear();
  for (const std::string& name : files.names) {
    auto* item = new QListWidgetItem(ToQt(name), File1);
    item->setData(kNameRole, NameBytes(name));
  }
  return true;
}

void frmLoad_FitsFile::PutFirstFileInNameBox() {
  PutInNameBox(File1->count() > 0 ? File1->item(0) : nullptr);
}

void frmLoad_FitsFile::PutInNameBox(const QListWidgetItem* item) {
  name_box_native_ = item != nullptr ? NameString(item->data(kNameRole).toByteArray()) : std::string();
  name_box_shown_ = item != nullptr ? item->text() : QString();
  Text1->setText(name_box_shown_);
}

std::string frmLoad_FitsFile::NameBoxFileName() const {
  // A name the list put there is opened by its own bytes, which its shown
  // form may have lost; a name the user typed is taken as typed.
  if (Text1->text() == name_box_shown_) return name_box_native_;
  return NativeFileName(Text1->text());
}

void frmLoad_FitsFile::ShowPathInLabel4() {
  const QString path = ToQt(dir1_path_);
  Label4->setText(path);
  Label4->setToolTip(path);
  // A path too long for the label shows its end, the part that tells folders apart.
  const bool fits = Label4->fontMetrics().horizontalAdvance(path) <= Label4->width();
  Label4->setAlignment((fits ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

void frmLoad_FitsFile::KeepOnScreen() {
  // A position from another monitor set-up (or a damaged settings file) would
  // put the window where nobody can reach it; bring it onto the primary screen.
  const QRect frame = frameGeometry();
  if (QGuiApplication::screenAt(frame.topLeft() + QPoint(8, 8)) != nullptr) return;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  const int x = std::clamp(frame.x(), room.left(), std::max(room.left(), room.right() + 1 - frame.width()));
  const int y = std::clamp(frame.y(), room.top(), std::max(room.top(), room.bottom() + 1 - frame.height()));
  move(x, y);
}

void frmLoad_FitsFile::StorePosition() {
  // A window that has not moved keeps the twips it was placed at: converting
  // its pixel position back would lose a few twips to rounding on every store.
  if (frameGeometry().topLeft() != placed_at_) {
    placed_left_ = RoundToInt16(OuterLeft(this));
    placed_top_ = RoundToInt16(OuterTop(this));
    placed_at_ = frameGeometry().topLeft();
  }
  state_.LoadLeft = placed_left_;
  state_.LoadTop = placed_top_;
}

void frmLoad_FitsFile::OpenDir1Item(QListWidgetItem* item) {
  if (item == nullptr) return;
  SetDir1Path(NameString(item->data(kPathRole).toByteArray()));
}

}  // namespace quillon
