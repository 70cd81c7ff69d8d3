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
#include <QHeaderView>
#include <QTreeWidget>
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

constexpr int kPathRole = Qt::UserRole;        // the folder a folder-list line opens
constexpr int kDepthRole = Qt::UserRole + 1;   // its indentation level
constexpr int kNameRole = Qt::UserRole + 2;    // a file-list line's name as the system's bytes
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

FileChooser::FileChooser(SharedState& state, WindowServices& services, QWidget* parent)
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
  Resized();
  Load();
}

void FileChooser::CreateControls() {
  name_label_ = new QLabel("File Name:", this);
  name_box_ = new QLineEdit(this);
  file_list_ = new QListWidget(this);
  type_label_ = new QLabel("List Files of Type:", this);
  type_list_ = new QComboBox(this);
  folder_label_ = new QLabel("Directories:", this);
  path_label_ = new QLabel(this);
  folder_list_ = new QListWidget(this);
  drive_label_ = new QLabel("Drives:", this);
  drive_list_ = new QComboBox(this);
  ok_button_ = new QPushButton("OK", this);
  cancel_button_ = new QPushButton("Cancel", this);
  spectra_label_ = new QLabel("Spectra in this file:", this);
  spectra_list_ = new QTreeWidget(this);

  // The labels stand on the grey window: black under any theme.
  for (QLabel* label : {name_label_, type_label_, folder_label_, path_label_, drive_label_, spectra_label_}) {
    FixTextColour(label, Qt::black);
  }
  name_label_->setBuddy(name_box_);
  type_label_->setBuddy(type_list_);
  folder_label_->setBuddy(folder_list_);
  drive_label_->setBuddy(drive_list_);
  spectra_label_->setBuddy(spectra_list_);
  name_box_->setAccessibleName("File Name");
  file_list_->setAccessibleName("Files");
  type_list_->setAccessibleName("List Files of Type");
  path_label_->setAccessibleName("Current folder");
  folder_list_->setAccessibleName("Directories");
  drive_list_->setAccessibleName("Drives");
  ok_button_->setAccessibleName("OK");
  cancel_button_->setAccessibleName("Cancel");
  spectra_list_->setAccessibleName("Spectra in this file");
  ok_button_->setDefault(true);

  file_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  folder_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  folder_list_->setItemDelegate(new FolderLineDelegate(folder_list_));
  // The spectra list shows only for a file that holds several spectra.
  spectra_list_->setColumnCount(5);
  spectra_list_->setHeaderLabels({"Spectrum", "Samples", QString::fromUtf8("Range (\u00C5)"), "Flux unit", "Errors"});
  spectra_list_->setRootIsDecorated(false);
  spectra_list_->setUniformRowHeights(true);
  spectra_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  spectra_list_->header()->setStretchLastSection(false);
  spectra_label_->hide();
  spectra_list_->hide();
  spectra_list_->installEventFilter(this);
  file_list_->installEventFilter(this);
  folder_list_->installEventFilter(this);

  setTabOrder(name_box_, file_list_);
  setTabOrder(file_list_, type_list_);
  setTabOrder(type_list_, folder_list_);
  setTabOrder(folder_list_, drive_list_);
  setTabOrder(drive_list_, ok_button_);
  setTabOrder(ok_button_, cancel_button_);
  setTabOrder(cancel_button_, spectra_list_);

  connect(type_list_, &QComboBox::currentIndexChanged, this, [this](int) { FileTypeChosen(); });
  connect(drive_list_, &QComboBox::currentIndexChanged, this, [this](int) { DriveChanged(); });
  connect(file_list_, &QListWidget::currentRowChanged, this, [this](int) { FileClicked(); });
  // Pressing an entry that is already selected puts it back in the name box too.
  connect(file_list_, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) { PutInNameBox(item); });
  connect(file_list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { FileDoubleClicked(); });
  // A folder opens on a double click; a single click only selects it.
  connect(folder_list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { OpenFolderItem(item); });
  connect(name_box_, &QLineEdit::returnPressed, this, [this] { Accept(); });
  connect(name_box_, &QLineEdit::textChanged, this, [this](const QString&) { NameChanged(); });
  connect(spectra_list_, &QTreeWidget::currentItemChanged, this, [this] { SpectrumClicked(); });
  connect(spectra_list_, &QTreeWidget::itemPressed, this, [this] { SpectrumClicked(); });
  connect(spectra_list_, &QTreeWidget::itemDoubleClicked, this, [this] {
    SpectrumClicked();
    Accept();
  });
  connect(ok_button_, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel_button_, &QPushButton::clicked, this, [this] { Cancel(); });
}

// ---- Handlers ----------------------------------------------------------------

void FileChooser::Load() {
  MoveOuter(this, state_.LoadLeft, state_.LoadTop);
  placed_left_ = state_.LoadLeft;
  placed_top_ = state_.LoadTop;
  placed_at_ = frameGeometry().topLeft();
  KeepOnScreen();
  {
    // Filling the list is no choice of the user's: the pattern is set below.
    const QSignalBlocker filling(type_list_);
    type_list_->clear();
    for (const char* pattern : kChooserPatterns) type_list_->addItem(pattern);
    type_list_->setCurrentIndex(0);
  }
  file_pattern_ = kChooserPatterns[0];

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
    FillFolderList(list);
    folder_path_ = list.path;
  }
  SetDriveList(ListDrives());
  file_list_path_ = folder_path_;
  if (!file_list_path_.empty()) ReadFileList();
  PutFirstFileInNameBox();
  ShowFolderPath();
}

void FileChooser::Resized() {
  ApplySizeRules(OuterWidth(this), OuterHeight(this));
}

void FileChooser::Unload() { StorePosition(); }

void FileChooser::FileTypeChosen() {
  const int index = type_list_->currentIndex();
  if (index < 0) return;
  file_pattern_ = type_list_->itemText(index).toStdString();
  ReadFileList();  // the name box keeps its text
}

void FileChooser::DriveChanged() {
  const int index = drive_list_->currentIndex();
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  // Setting the folder list's path runs FolderChanged.
  if (SetFolderPath(drives_[static_cast<std::size_t>(index)])) {
    drive_index_ = index;
    return;
  }
  // The drive cannot be read: show the one still in use again.
  const QSignalBlocker undoing(drive_list_);
  drive_list_->setCurrentIndex(drive_index_);
}

void FileChooser::FolderChanged() {
  file_list_path_ = folder_path_;
  if (!ReadFileList()) {
    // The folder was readable a moment ago; whatever the list held belonged elsewhere.
    const QSignalBlocker clearing(file_list_);
    file_list_->clear();
  }
  PutFirstFileInNameBox();
  NameChanged();  // the same name may name another file here
  ShowFolderPath();
}

void FileChooser::FileClicked() {
  if (const QListWidgetItem* item = file_list_->currentItem()) PutInNameBox(item);
}

void FileChooser::FileDoubleClicked() {
  FileClicked();
  Accept();
}

void FileChooser::Accept() {
  ShowFolderPath();
  // Slot 0 belongs to no row: without a Load press there is nothing to fill.
  if (state_.CurrentSlot >= 1 && state_.CurrentSlot <= state_.SlotCount) {
    ChosenName chosen = ResolveChosenName(folder_path_, NameBoxFileName());
    // A typed path loads from its own folder; the chooser follows it there,
    // so that it reopens where the file was loaded from.
    if (chosen.folder != folder_path_ && BuildFolderList(chosen.folder).ok() && SetFolderPath(chosen.folder)) {
      PutNameInNameBox(chosen.name);
      chosen.folder = folder_path_;
    }
    AcceptFitsFile(state_, chosen.folder, chosen.name, services_);
  }
  hide();  // the position is stored by Cancel and the close box only
}

void FileChooser::NameChanged() {
  const std::string typed = NameBoxFileName();
  // An address half typed keeps the list of its file: the band does not
  // come and go with every key.
  const FileAndSelector parts = ListedFileOfName(folder_path_, typed);
  std::string path, key;
  if (!parts.file.empty()) {
    path = std::filesystem::path(parts.file).is_absolute() ? parts.file : JoinFitsPath(folder_path_, parts.file);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const auto time = ec ? std::filesystem::file_time_type() : std::filesystem::last_write_time(path, ec);
    if (!ec) key = path + '\n' + std::to_string(size) + '\n' + std::to_string(time.time_since_epoch().count());
  }
  listed_file_ = parts.file;
  if (key != listed_key_) {
    listed_key_ = key;
    listed_selectors_.clear();
    const QSignalBlocker filling(spectra_list_);
    spectra_list_->clear();
    if (!key.empty()) {
      const std::string label = std::filesystem::path(parts.file).filename().string();
      for (const SpectrumChoice& choice : ListSpectrumChoices(path, label)) {
        auto* item = new QTreeWidgetItem(spectra_list_);
        item->setText(0, ToQt(choice.selector));
        item->setText(1, QString::number(choice.samples));
        item->setText(2, QString::fromStdString(choice.range));
        item->setText(3, ToQt(choice.flux_unit));
        item->setText(4, choice.errors ? "yes" : "no");
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        listed_selectors_.push_back(choice.selector);
      }
      for (int column = 0; column < spectra_list_->columnCount(); ++column) {
        spectra_list_->resizeColumnToContents(column);
      }
    }
    ShowSpectraBand(!listed_selectors_.empty());
  }
  SelectSpectrumOfName(parts.selector);
}

void FileChooser::SpectrumClicked() {
  QTreeWidgetItem* item = spectra_list_->currentItem();
  const int row = item != nullptr ? spectra_list_->indexOfTopLevelItem(item) : -1;
  if (row < 0 || row >= static_cast<int>(listed_selectors_.size())) return;
  PutNameInNameBox(listed_file_ + listed_selectors_[static_cast<std::size_t>(row)]);
}

void FileChooser::Cancel() {
  StorePosition();
  hide();
}

// ---- Public helpers ------------------------------------------------------------

void FileChooser::SelectFileName() {
  name_box_->setFocus(Qt::OtherFocusReason);
  name_box_->selectAll();
}

void FileChooser::SetFileTypeIndex(int index) {
  if (index < 0 || index >= type_list_->count()) return;
  if (type_list_->currentIndex() == index) {
    FileTypeChosen();  // the combo raises no change for the same index; the list is re-read all the same
  } else {
    type_list_->setCurrentIndex(index);  // runs FileTypeChosen at once
  }
}

void FileChooser::SetOuterSize(double width, double height) {
  ResizeClient(ClientPixelsFor(width, height, false));
  ApplySizeRules(width, height);
}

void FileChooser::SetDriveList(std::vector<std::string> drives) {
  if (drives.empty()) drives.push_back("/");
  drives_ = std::move(drives);
  // Filling the list is no choice of the user's.
  const QSignalBlocker filling(drive_list_);
  drive_list_->clear();
  for (const std::string& drive : drives_) drive_list_->addItem(ToQt(drive));
  drive_index_ = static_cast<int>(DriveIndexOfPath(drives_, folder_path_));
  drive_list_->setCurrentIndex(drive_index_);
}

bool FileChooser::SetFolderPath(const std::string& path) {
  const FolderList list = BuildFolderList(path);
  if (!list.ok()) {
    services_.ShowMessage(list.error);
    return false;
  }
  FillFolderList(list);
  folder_path_ = list.path;
  FolderChanged();
  return true;
}

// ---- Events ------------------------------------------------------------------------

void FileChooser::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Sizes set by code were handled when they were set; the window system may
  // report them again later.
  if (event->size() == handled_client_size_) return;
  handled_client_size_ = event->size();
  Resized();
}

void FileChooser::showEvent(QShowEvent* event) {
  // Volumes come and go while the program runs (a USB stick); offer those mounted now.
  if (!event->spontaneous()) {
    SetDriveList(ListDrives());
    NameChanged();  // the named file may have changed since the last Load
  }
  QWidget::showEvent(event);
}

void FileChooser::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The size rules wait while the window is minimised; catch up on restoring it.
  if (event->type() == QEvent::WindowStateChange && !isMinimized() &&
      (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized)) {
    Resized();
  }
}

void FileChooser::closeEvent(QCloseEvent* event) {
  Unload();
  QWidget::closeEvent(event);
}

void FileChooser::keyPressEvent(QKeyEvent* event) {
  // Escape, not taken by a control (an open drop-down closes itself first), is Cancel.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    Cancel();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool FileChooser::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == folder_list_) {
        OpenFolderItem(folder_list_->currentItem());
        return true;
      }
      if (watched == file_list_ && file_list_->currentItem() != nullptr) {
        FileDoubleClicked();
        return true;
      }
      if (watched == spectra_list_ && spectra_list_->currentItem() != nullptr) {
        SpectrumClicked();
        Accept();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Private -------------------------------------------------------------------------

void FileChooser::ApplySizeRules(double width, double height) {
  if (isMinimized()) return;  // nothing to lay out; the rules run again on the next real resize
  // The spectra band lies under the controls: the rules see the height without it.
  const double band = band_shown_ ? kChooserSpectraBand : 0;
  const ChooserSize snapped = SnapChooserSize(width, height - band);
  // Setting the height or the width runs the handler again with the new size.
  if (snapped.height != height - band) {
    ResizeOuterAtLeast(width, snapped.height + band);
    ApplySizeRules(width, snapped.height + band);
    return;
  }
  if (snapped.width != width) {
    ResizeOuterAtLeast(snapped.width, height);
    ApplySizeRules(snapped.width, height);
    return;
  }
  layout_ = ComputeChooserLayout(width, height - band);
  PlaceControls();
  // A shorter folder list still shows where it stands.
  if (QListWidgetItem* current = folder_list_->currentItem()) folder_list_->scrollToItem(current);
}

QSize FileChooser::ClientPixelsFor(double width, double height, bool round_up) const {
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

void FileChooser::ResizeClient(const QSize& client) {
  // The caller runs the size rules for this size itself, at once: the resize
  // event the window system sends for it (now or later) is already handled.
  handled_client_size_ = client;
  resize(client);
}

void FileChooser::ResizeOuterAtLeast(double width, double height) {
  // Rounded up, so that reading the size back never gives less than was set.
  ResizeClient(ClientPixelsFor(width, height, true));
}

void FileChooser::PlaceControls() {
  const ChooserLayout& l = layout_;
  PlaceChild(name_label_, 120, 120, 975, 255);
  PlaceChild(name_box_, 120, 360, l.left_column_width, 315);
  PlaceChild(file_list_, 120, 840, l.left_column_width, l.file_list_height);
  PlaceChild(type_label_, 120, l.type_label_top, 2415, 255);
  PlaceChild(type_list_, 120, l.type_list_top, l.left_column_width, 315);
  PlaceChild(folder_label_, l.right_column_left, 120, 2295, 255);
  PlaceChild(path_label_, l.right_column_left, 360, 3975, 255);
  PlaceChild(folder_list_, l.right_column_left, 720, l.right_column_width, l.folder_list_height);
  PlaceChild(drive_label_, l.right_column_left, l.drive_label_top, 1335, 255);
  PlaceChild(drive_list_, l.right_column_left, l.drive_list_top, l.right_column_width, 315);
  PlaceChild(ok_button_, l.button_left, 720, 1335, 375);
  PlaceChild(cancel_button_, l.button_left, 1200, 1335, 375);
  if (band_shown_) {
    const ChooserBand band = ComputeChooserBand(l);
    PlaceChild(spectra_label_, 120, band.label_top, 2415, 255);
    PlaceChild(spectra_list_, 120, band.list_top, band.list_width, band.list_height);
  }
}

void FileChooser::ShowSpectraBand(bool shown) {
  if (shown == band_shown_) return;
  band_shown_ = shown;
  spectra_label_->setVisible(shown);
  spectra_list_->setVisible(shown);
  // The window grows by the band, or gives it back; the rest keeps its layout.
  const double band = shown ? kChooserSpectraBand : -kChooserSpectraBand;
  SetOuterSize(OuterWidth(this), OuterHeight(this) + band);
}

void FileChooser::SelectSpectrumOfName(const std::string& selector) {
  const QSignalBlocker selecting(spectra_list_);
  const auto found = std::find(listed_selectors_.begin(), listed_selectors_.end(), selector);
  if (selector.empty() || found == listed_selectors_.end()) {
    spectra_list_->setCurrentItem(nullptr);
    spectra_list_->clearSelection();
    return;
  }
  QTreeWidgetItem* item = spectra_list_->topLevelItem(static_cast<int>(found - listed_selectors_.begin()));
  spectra_list_->setCurrentItem(item);
  spectra_list_->scrollToItem(item);
}

void FileChooser::PutNameInNameBox(const std::string& name) {
  name_box_native_ = name;
  name_box_shown_ = ToQt(name);
  name_box_->setText(name_box_shown_);
}

void FileChooser::FillFolderList(const FolderList& list) {
  const QSignalBlocker filling(folder_list_);
  folder_list_->clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (const FolderEntry& entry : list.entries) {
    auto* item = new QListWidgetItem(entry.open ? open : closed, ToQt(entry.name), folder_list_);
    item->setData(kPathRole, NameBytes(entry.path));
    item->setData(kDepthRole, entry.depth);
    item->setToolTip(ToQt(entry.path));
  }
  if (!list.entries.empty()) {
    folder_list_->setCurrentRow(static_cast<int>(list.current));
    folder_list_->scrollToItem(folder_list_->currentItem());
  }
}

bool FileChooser::ReadFileList() {
  const FolderNames files = ListMatchingFiles(file_list_path_, file_pattern_);
  if (!files.ok()) {
    // A folder that went away would otherwise be reported by every re-read of one Load.
    if (files.error != last_file_error_) services_.ShowMessage(files.error);
    last_file_error_ = files.error;
    return false;
  }
  last_file_error_.clear();
  const QSignalBlocker filling(file_list_);
  file_list_->clear();
  for (const std::string& name : files.names) {
    auto* item = new QListWidgetItem(ToQt(name), file_list_);
    item->setData(kNameRole, NameBytes(name));
  }
  return true;
}

void FileChooser::PutFirstFileInNameBox() {
  PutInNameBox(file_list_->count() > 0 ? file_list_->item(0) : nullptr);
}

void FileChooser::PutInNameBox(const QListWidgetItem* item) {
  name_box_native_ = item != nullptr ? NameString(item->data(kNameRole).toByteArray()) : std::string();
  name_box_shown_ = item != nullptr ? item->text() : QString();
  name_box_->setText(name_box_shown_);
}

std::string FileChooser::NameBoxFileName() const {
  // A name the list put there is opened by its own bytes, which its shown
  // form may have lost; a name the user typed is taken as typed.
  if (name_box_->text() == name_box_shown_) return name_box_native_;
  return NativeFileName(name_box_->text());
}

void FileChooser::ShowFolderPath() {
  const QString path = ToQt(folder_path_);
  path_label_->setText(path);
  path_label_->setToolTip(path);
  // A path too long for the label shows its end, the part that tells folders apart.
  const bool fits = path_label_->fontMetrics().horizontalAdvance(path) <= path_label_->width();
  path_label_->setAlignment((fits ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

void FileChooser::KeepOnScreen() {
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

void FileChooser::StorePosition() {
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

void FileChooser::OpenFolderItem(QListWidgetItem* item) {
  if (item == nullptr) return;
  SetFolderPath(NameString(item->data(kPathRole).toByteArray()));
}

}  // namespace quillon
