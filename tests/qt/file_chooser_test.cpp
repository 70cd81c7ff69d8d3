#include "qt/file_chooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include <QTreeWidget>

#include "qt/twips.h"
#include "support/fits_writer.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) { std::ofstream(path) << "not a FITS file"; }

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

QStringList Items(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

int RowOf(const QListWidget* list, const QString& text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? -1 : list->row(found.front());
}

QPoint CentreOf(QListWidget* list, int row) {
  list->scrollToItem(list->item(row));
  return list->visualItemRect(list->item(row)).center();
}

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CentreOf(list, row));
}

// The sequence a real double click delivers: press, release, double-click, release.
void DoubleClickRow(QListWidget* list, int row) {
  const QPoint at = CentreOf(list, row);
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

// A small valid spectrum: 100 16-bit samples, 4000 Angstroms plus 2 per pixel.
void WriteSpectrum(const fs::path& path) {
  std::string header;
  const auto card = [&header](std::string text) {
    text.resize(80, ' ');
    header += text;
  };
  card("SIMPLE  =                    T");
  card("BITPIX  =                   16");
  card("NAXIS   =                    1");
  card("NAXIS1  =                  100");
  card("CRVAL1  =               4000.0");
  card("CD1_1   =                  2.0");
  card("OBJECT  = 'TEST STAR'");
  card("END");
  header.resize(2880, ' ');
  std::string data;
  for (int i = 0; i < 100; ++i) {
    const int value = 1000 + 10 * (i % 7);
    data += static_cast<char>(value >> 8);
    data += static_cast<char>(value & 0xFF);
  }
  data.resize(2880, '\0');
  std::ofstream(path, std::ios::binary) << header << data;
}

class FileChooserTest : public ::testing::Test {
 protected:
  FileChooserTest() {
    for (const char* name : {"b.fts", "A.FTS", "c.fit", "notes.txt"}) Touch(dir_ / name);
    fs::create_directories(dir_ / "night2");
    Touch(dir_ / "night2" / "z.fts");
    Touch(dir_ / "night2" / "y.fits");
    fs::create_directories(dir_ / "empty");
  }
  ~FileChooserTest() override { delete chooser_.data(); }

  FileChooser& Open() {
    chooser_ = new FileChooser(state_, services_);
    return *chooser_;
  }
  // What the main window's Load does.
  FileChooser& PressLoad(int16_t slot) {
    state_.CurrentSlot = slot;
    FileChooser& chooser = chooser_.isNull() ? Open() : *chooser_;
    chooser.SetFileTypeIndex(1);
    chooser.show();
    chooser.raise();
    chooser.SetFileTypeIndex(0);
    return chooser;
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir here_{dir_.path()};
  const std::string start_ = fs::current_path().string();
  SharedState state_;
  testing::RecordingServices services_;
  QPointer<FileChooser> chooser_;
};

TEST_F(FileChooserTest, FirstLoadShowsTheCurrentFolderWithFtsFiles) {
  FileChooser& chooser = PressLoad(1);
  EXPECT_EQ(chooser.windowTitle(), "Load 1-D Calibrated Fits file");
  EXPECT_EQ(chooser.pos(), QPoint(TwipsToPixels(500, &chooser), TwipsToPixels(500, &chooser)));
  EXPECT_EQ(Items(chooser.type_list_), (QStringList{"*.fts", "*.fit", "*.fits", "*.*", "*.fits.gz"}));
  EXPECT_EQ(chooser.type_list_->currentText(), "*.fts");
  // Upper-case names match too.
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"A.FTS", "b.fts"}));
  EXPECT_EQ(chooser.name_box_->text(), "A.FTS");
  EXPECT_EQ(chooser.path_label_->text().toStdString(), start_);
  EXPECT_EQ(chooser.FolderPath(), start_);
  // The folder list ends with the current folder and its subfolders.
  EXPECT_GE(RowOf(chooser.folder_list_, "night2"), 0);
  EXPECT_GE(RowOf(chooser.folder_list_, "empty"), 0);
  EXPECT_EQ(chooser.folder_list_->item(0)->text(), "/");
  EXPECT_EQ(chooser.drive_list_->itemText(0), "/");
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(chooser.palette().color(QPalette::Window), QColor(192, 192, 192));
}

TEST_F(FileChooserTest, AStoredPlaceOffEveryScreenIsBroughtBack) {
  struct Case {
    int16_t left, top;
  };
  for (const Case c : {Case{30000, 500}, Case{500, -20000}, Case{-32768, 32767}}) {
    state_.LoadLeft = c.left;
    state_.LoadTop = c.top;
    FileChooser& chooser = Open();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(room.contains(chooser.frameGeometry().topLeft())) << c.left << ", " << c.top;
    delete chooser_.data();
  }
}

TEST_F(FileChooserTest, CaptionsAccessibleNamesAndTabOrder) {
  FileChooser& chooser = Open();
  EXPECT_EQ(chooser.name_label_->text(), "File Name:");
  EXPECT_EQ(chooser.type_label_->text(), "List Files of Type:");
  EXPECT_EQ(chooser.folder_label_->text(), "Directories:");
  EXPECT_EQ(chooser.drive_label_->text(), "Drives:");
  EXPECT_EQ(chooser.ok_button_->text(), "OK");
  EXPECT_EQ(chooser.cancel_button_->text(), "Cancel");
  const QList<QWidget*> controls = {chooser.name_box_,   chooser.file_list_, chooser.type_list_,
                                    chooser.folder_list_, chooser.drive_list_, chooser.ok_button_,
                                    chooser.cancel_button_, chooser.path_label_};
  for (QWidget* control : controls) EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();

  QList<QWidget*> order;
  for (QWidget* w = chooser.name_box_; order.size() < 7; w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus) order << w;
  }
  EXPECT_EQ(order, controls.mid(0, 7));
}

TEST_F(FileChooserTest, FileTypeChoiceRereadsTheListAndKeepsTheName) {
  FileChooser& chooser = PressLoad(1);
  chooser.name_box_->setText("typed.fts");
  chooser.type_list_->setCurrentIndex(3);  // the user picks "*.*"
  EXPECT_EQ(chooser.type_list_->currentText(), "*.*");
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"A.FTS", "b.fts", "c.fit", "notes.txt"}));
  EXPECT_EQ(chooser.name_box_->text(), "typed.fts");

  chooser.SetFileTypeIndex(1);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"c.fit"}));

  // Every Load re-reads the folder, so a file written meanwhile shows up.
  chooser.hide();
  Touch(dir_ / "new.fts");
  PressLoad(2);
  EXPECT_EQ(chooser.type_list_->currentText(), "*.fts");
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"A.FTS", "b.fts", "new.fts"}));
  EXPECT_EQ(chooser.name_box_->text(), "typed.fts");

  // The same index again still re-reads.
  fs::remove(dir_ / "new.fts");
  chooser.SetFileTypeIndex(0);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"A.FTS", "b.fts"}));

  chooser.SetFileTypeIndex(7);  // no such entry: nothing changes
  EXPECT_EQ(chooser.type_list_->currentText(), "*.fts");
}

TEST_F(FileChooserTest, ClickingAFilePutsItInTheNameBox) {
  FileChooser& chooser = PressLoad(1);
  ClickRow(chooser.file_list_, 1);
  EXPECT_EQ(chooser.name_box_->text(), "b.fts");
  chooser.name_box_->setText("other");
  ClickRow(chooser.file_list_, 1);  // pressing the selected entry again
  EXPECT_EQ(chooser.name_box_->text(), "b.fts");
  EXPECT_TRUE(chooser.isVisible());
}

TEST_F(FileChooserTest, DoubleClickingAFileAcceptsItAtOnce) {
  FileChooser& chooser = PressLoad(4);
  DoubleClickRow(chooser.file_list_, 1);
  EXPECT_EQ(state_.Slots[4].file_name, "b.fts");
  EXPECT_EQ(state_.FitsDirectory, start_);
  EXPECT_FALSE(chooser.isVisible());
  EXPECT_FALSE(chooser_.isNull());
}

TEST_F(FileChooserTest, OkStoresNameAndFolderAndEntersTheFolder) {
  FileChooser& chooser = PressLoad(3);
  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));
  const std::string night2 = start_ + "/night2";
  ASSERT_EQ(chooser.FolderPath(), night2);
  fs::current_path("/");  // OK must enter the folder itself
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[3].file_name, "z.fts");
  EXPECT_EQ(state_.FitsDirectory, night2);
  EXPECT_EQ(fs::current_path().string(), night2);
  EXPECT_EQ(chooser.path_label_->text().toStdString(), night2);
  EXPECT_FALSE(chooser.isVisible());

  // Hidden, the chooser keeps its folder: the next Load reopens there.
  PressLoad(5);
  EXPECT_EQ(chooser.FolderPath(), night2);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"z.fts"}));

  // Closed and made anew, it starts in the accepted folder, now the current directory.
  chooser.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(chooser_.isNull());
  EXPECT_EQ(PressLoad(6).FolderPath(), night2);
}

TEST_F(FileChooserTest, OkWithAnEmptyNameLoadsNothingAndHides) {
  FileChooser& chooser = PressLoad(3);
  state_.Slots[3].file_name = "earlier.fts";
  chooser.name_box_->clear();
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[3].file_name, "");
  EXPECT_FALSE(state_.Slots[3].loaded);
  EXPECT_EQ(state_.SpectraLoaded, 0);
  EXPECT_FALSE(chooser.isVisible());
  for (const std::string& call : services_.calls) EXPECT_NE(call, "ShowLoadedRow 3");
}

TEST_F(FileChooserTest, AMissingNameIsHandedToTheLoader) {
  FileChooser& chooser = PressLoad(2);
  chooser.name_box_->setText("no-such-file.fts");
  QTest::keyClick(chooser.name_box_, Qt::Key_Return);  // Return in the name box is OK
  EXPECT_EQ(state_.Slots[2].file_name, "no-such-file.fts");
  EXPECT_FALSE(state_.Slots[2].loaded);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find("no-such-file.fts"), std::string::npos) << services_.messages[0];
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, OkLoadsTheChosenSpectrumIntoTheRow) {
  WriteSpectrum(dir_ / "night2" / "real.fts");
  FileChooser& chooser = PressLoad(3);
  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));
  ClickRow(chooser.file_list_, RowOf(chooser.file_list_, "real.fts"));
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_TRUE(state_.Slots[3].loaded);
  EXPECT_EQ(SlotHeader(state_, 3).object, "TEST STAR");
  EXPECT_DOUBLE_EQ(SlotHeader(state_, 3).lambda_start, 4000.0);
  EXPECT_NE(std::find(services_.calls.begin(), services_.calls.end(), "ShowLoadedRow 3"), services_.calls.end());
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, OkFillsTheRowPressedLast) {
  FileChooser& chooser = PressLoad(3);
  state_.CurrentSlot = 7;  // another row's button while the chooser is open
  ClickRow(chooser.file_list_, 1);
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[7].file_name, "b.fts");
  EXPECT_EQ(state_.Slots[3].file_name, "");
}

TEST_F(FileChooserTest, OkWithoutARowLoadsNothing) {
  FileChooser& chooser = Open();
  chooser.show();
  state_.CurrentSlot = 0;
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[0].file_name, "");
  EXPECT_EQ(state_.FitsDirectory, "");
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, CancelStoresThePositionAndHides) {
  FileChooser& chooser = PressLoad(1);
  chooser.move(200, 150);
  QTest::mouseClick(chooser.cancel_button_, Qt::LeftButton);
  EXPECT_EQ(state_.LoadLeft, RoundToInt16(PixelsToTwips(200, &chooser)));
  EXPECT_EQ(state_.LoadTop, RoundToInt16(PixelsToTwips(150, &chooser)));
  EXPECT_FALSE(chooser.isVisible());
  EXPECT_FALSE(chooser_.isNull());
  EXPECT_EQ(state_.Slots[1].file_name, "");

  chooser.show();
  chooser.move(30, 45);
  QTest::keyClick(chooser.file_list_, Qt::Key_Escape);  // Escape is Cancel
  EXPECT_EQ(state_.LoadLeft, RoundToInt16(PixelsToTwips(30, &chooser)));
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, AnUnmovedWindowKeepsItsStoredPlaceExactly) {
  // 500 twips is a third of a pixel off the grid at 96 DPI: converting back would give 495.
  state_.LoadLeft = 500;
  state_.LoadTop = 7;
  for (int round = 0; round < 3; ++round) {
    FileChooser& chooser = PressLoad(1);
    QTest::mouseClick(chooser.cancel_button_, Qt::LeftButton);
    EXPECT_EQ(state_.LoadLeft, 500);
    EXPECT_EQ(state_.LoadTop, 7);
    chooser.show();
    chooser.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(state_.LoadLeft, 500);
    EXPECT_EQ(state_.LoadTop, 7);
  }
}

TEST_F(FileChooserTest, CloseBoxStoresThePositionAndDestroysTheWindow) {
  FileChooser& chooser = PressLoad(1);
  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));
  chooser.move(300, 60);
  const int16_t left = RoundToInt16(PixelsToTwips(300, &chooser));
  const int16_t top = RoundToInt16(PixelsToTwips(60, &chooser));
  EXPECT_TRUE(chooser.close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(chooser_.isNull());
  EXPECT_EQ(state_.LoadLeft, left);
  EXPECT_EQ(state_.LoadTop, top);

  // Made anew, it starts at the stored place and the current directory.
  FileChooser& again = PressLoad(1);
  EXPECT_EQ(again.pos(), QPoint(TwipsToPixels(left, &again), TwipsToPixels(top, &again)));
  EXPECT_EQ(again.FolderPath(), start_);
}

TEST_F(FileChooserTest, OpeningAFolderUpdatesEveryListInOneStep) {
  FileChooser& chooser = PressLoad(1);
  ClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));  // a single click only selects
  EXPECT_EQ(chooser.FolderPath(), start_);

  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));
  EXPECT_EQ(chooser.FolderPath(), start_ + "/night2");
  EXPECT_EQ(chooser.FileListPath(), start_ + "/night2");
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"z.fts"}));
  EXPECT_EQ(chooser.name_box_->text(), "z.fts");
  EXPECT_EQ(chooser.path_label_->text().toStdString(), start_ + "/night2");
  EXPECT_EQ(chooser.folder_list_->currentItem()->text(), "night2");

  // Up again through the parent's line, by keyboard this time.
  const std::string parent_name = fs::path(start_).filename().string();
  chooser.folder_list_->setCurrentRow(RowOf(chooser.folder_list_, QString::fromStdString(parent_name)));
  QTest::keyClick(chooser.folder_list_, Qt::Key_Return);
  EXPECT_EQ(chooser.FolderPath(), start_);

  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "empty"));
  EXPECT_EQ(chooser.file_list_->count(), 0);
  EXPECT_EQ(chooser.name_box_->text(), "");
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(FileChooserTest, AFolderThatCannotBeReadLeavesTheListsAsTheyWere) {
  FileChooser& chooser = PressLoad(1);
  ClickRow(chooser.file_list_, 1);
  const QStringList dirs = Items(chooser.folder_list_);
  fs::remove_all(dir_ / "night2");  // gone between listing and opening
  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));

  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find(start_ + "/night2"), std::string::npos) << services_.messages[0];
  EXPECT_NE(services_.messages[0].find("No such file or directory"), std::string::npos) << services_.messages[0];
  EXPECT_EQ(chooser.FolderPath(), start_);
  EXPECT_EQ(Items(chooser.folder_list_), dirs);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"A.FTS", "b.fts"}));
  EXPECT_EQ(chooser.name_box_->text(), "b.fts");
  EXPECT_EQ(chooser.path_label_->text().toStdString(), start_);
}

TEST_F(FileChooserTest, AVanishedFolderIsReportedOncePerLoad) {
  FileChooser& chooser = PressLoad(1);
  DoubleClickRow(chooser.folder_list_, RowOf(chooser.folder_list_, "night2"));
  chooser.hide();
  fs::remove_all(dir_ / "night2");
  PressLoad(1);  // two file-type selections, one message
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"z.fts"}));
}

TEST_F(FileChooserTest, ChangingTheDriveUpdatesEveryListInOneStep) {
  FileChooser& chooser = PressLoad(1);
  chooser.name_box_->setText("typed");
  const std::string other = start_ + "/night2";
  chooser.SetDriveList({"/", other, start_ + "/missing-drive"});
  EXPECT_EQ(chooser.drive_list_->currentIndex(), 0);
  EXPECT_EQ(chooser.FolderPath(), start_);  // filling the list chooses nothing

  chooser.drive_list_->setCurrentIndex(1);
  EXPECT_EQ(chooser.FolderPath(), other);
  EXPECT_EQ(Items(chooser.file_list_), (QStringList{"z.fts"}));
  EXPECT_EQ(chooser.name_box_->text(), "z.fts");
  EXPECT_EQ(chooser.path_label_->text().toStdString(), other);

  // A drive that is not ready: a message, and the drive in use stays shown.
  chooser.drive_list_->setCurrentIndex(2);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find("missing-drive"), std::string::npos);
  EXPECT_EQ(chooser.drive_list_->currentIndex(), 1);
  EXPECT_EQ(chooser.FolderPath(), other);
  EXPECT_EQ(chooser.name_box_->text(), "z.fts");

  chooser.drive_list_->setCurrentIndex(0);
  EXPECT_EQ(chooser.FolderPath(), "/");
  EXPECT_EQ(chooser.folder_list_->count() > 1, true);
}

// ---- Files that hold several spectra -------------------------------------------

QStringList Line(const QTreeWidget* list, int row) {
  QStringList texts;
  for (int column = 0; column < list->columnCount(); ++column) texts << list->topLevelItem(row)->text(column);
  return texts;
}

TEST_F(FileChooserTest, AFileWithSeveralSpectraListsThemAndOkLoadsTheChosenOne) {
  testing::WriteImageExtensions(dir_ / "arms.fts", {{"BLUE", 4000}, {"RED", 6000}, {"IR", 8000}});
  WriteSpectrum(dir_ / "one.fts");
  FileChooser& chooser = PressLoad(2);
  const double height = OuterHeight(&chooser);
  EXPECT_FALSE(chooser.SpectraShown());

  ClickRow(chooser.file_list_, RowOf(chooser.file_list_, "arms.fts"));
  ASSERT_TRUE(chooser.SpectraShown());
  EXPECT_TRUE(chooser.spectra_list_->isVisible());
  ASSERT_EQ(chooser.spectra_list_->topLevelItemCount(), 3);
  EXPECT_EQ(Line(chooser.spectra_list_, 1),
            (QStringList{"[RED]", "100", QString::fromUtf8("6000.0 \u2013 6198.0"), "erg/s/cm2/A", "no"}));
  // The window grows by the band; the controls above it keep their places.
  EXPECT_NEAR(OuterHeight(&chooser) - height, kChooserSpectraBand, 2 / PixelsPerTwip(&chooser));
  const ChooserLayout rules = ComputeChooserLayout(OuterWidth(&chooser), OuterHeight(&chooser) - kChooserSpectraBand);
  EXPECT_NEAR(chooser.CurrentLayout().file_list_height, rules.file_list_height, 1 / PixelsPerTwip(&chooser));
  EXPECT_GT(chooser.spectra_list_->geometry().top(), chooser.type_list_->geometry().bottom());

  ClickRow(chooser.file_list_, RowOf(chooser.file_list_, "one.fts"));  // one spectrum: no band
  EXPECT_FALSE(chooser.SpectraShown());
  EXPECT_NEAR(OuterHeight(&chooser), height, 2 / PixelsPerTwip(&chooser));

  ClickRow(chooser.file_list_, RowOf(chooser.file_list_, "arms.fts"));
  QTest::mouseClick(chooser.spectra_list_->viewport(), Qt::LeftButton, {},
                    chooser.spectra_list_->visualItemRect(chooser.spectra_list_->topLevelItem(1)).center());
  EXPECT_EQ(chooser.name_box_->text(), "arms.fts[RED]");
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[2].file_name, "arms.fts[RED]");
  ASSERT_TRUE(state_.Slots[2].loaded);
  EXPECT_DOUBLE_EQ(SlotSpectrum(state_, 2).lambda_start, 5998.0);  // pixel 0, a step before the first sample
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_FALSE(chooser.isVisible());

  // Reopened, the address in the name box still selects its line; a double click loads another.
  PressLoad(3);
  ASSERT_TRUE(chooser.SpectraShown());
  EXPECT_EQ(chooser.spectra_list_->currentItem(), chooser.spectra_list_->topLevelItem(1));
  const QPoint ir = chooser.spectra_list_->visualItemRect(chooser.spectra_list_->topLevelItem(2)).center();
  QTest::mousePress(chooser.spectra_list_->viewport(), Qt::LeftButton, {}, ir);
  QTest::mouseRelease(chooser.spectra_list_->viewport(), Qt::LeftButton, {}, ir);
  QTest::mouseDClick(chooser.spectra_list_->viewport(), Qt::LeftButton, {}, ir);
  EXPECT_EQ(state_.Slots[3].file_name, "arms.fts[IR]");
  EXPECT_TRUE(state_.Slots[3].loaded);
}

TEST_F(FileChooserTest, TypedPathsAndAddressesLoadFromTheirOwnFolder) {
  testing::WriteImageExtensions(dir_ / "night2" / "arms.fits", {{"BLUE", 4000}, {"RED", 6000}});
  const std::string night2 = start_ + "/night2";
  struct Case {
    std::string typed;
    std::string file_name;
    double lambda_start;  // pixel 0: a step before the first sample
  };
  const Case cases[] = {
      {night2 + "/arms.fits[RED]", "arms.fits[RED]", 5998},
      {"night2/arms.fits[2]", "arms.fits[2]", 5998},
      {"night2/arms.fits", "arms.fits", 3998},
  };
  int16_t slot = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    FileChooser& chooser = PressLoad(++slot);
    chooser.SetFolderPath(start_);
    chooser.name_box_->setText(QString::fromStdString(c.typed));
    EXPECT_TRUE(chooser.SpectraShown());
    QTest::keyClick(chooser.name_box_, Qt::Key_Return);
    EXPECT_EQ(state_.Slots[slot].file_name, c.file_name);
    EXPECT_EQ(state_.FitsDirectory, night2);
    ASSERT_TRUE(state_.Slots[slot].loaded);
    EXPECT_DOUBLE_EQ(SlotSpectrum(state_, slot).lambda_start, c.lambda_start);
    EXPECT_EQ(chooser.FolderPath(), night2);  // reopens where the file was loaded from
  }
  EXPECT_TRUE(services_.messages.empty()) << services_.messages.front();
}

TEST_F(FileChooserTest, AFileThatCannotBeListedShowsNoBandAndGoesToTheLoader) {
  testing::WriteImageExtensions(dir_ / "arms.fts", {{"BLUE", 4000}, {"RED", 6000}});
  std::string bytes;
  {
    std::ifstream in(dir_ / "arms.fts", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  testing::WriteBytes(dir_ / "cut.fts", std::string_view(bytes).substr(0, 3000));
  FileChooser& chooser = PressLoad(4);
  ClickRow(chooser.file_list_, RowOf(chooser.file_list_, "cut.fts"));
  EXPECT_FALSE(chooser.SpectraShown());
  QTest::mouseClick(chooser.ok_button_, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[4].file_name, "cut.fts");
  EXPECT_FALSE(state_.Slots[4].loaded);
  EXPECT_EQ(services_.messages.size(), 1u);
}

// ---- Size rules ----------------------------------------------------------------

void ExpectPlaced(const QWidget* control, double left, double top, double width, double height) {
  EXPECT_EQ(control->geometry(), TwipsToPixelRect(left, top, width, height, control))
      << control->accessibleName().toStdString();
}

TEST_F(FileChooserTest, SizeRulesAt7830And6525TwipsWide) {
  FileChooser& chooser = PressLoad(1);
  chooser.SetOuterSize(7830, 5445);
  ExpectPlaced(chooser.name_box_, 120, 360, 3015, 315);
  ExpectPlaced(chooser.file_list_, 120, 840, 3015, 3345);
  ExpectPlaced(chooser.type_label_, 120, 4335, 2415, 255);
  ExpectPlaced(chooser.type_list_, 120, 4575, 3015, 315);
  ExpectPlaced(chooser.folder_label_, 3360, 120, 2295, 255);
  ExpectPlaced(chooser.path_label_, 3360, 360, 3975, 255);
  ExpectPlaced(chooser.folder_list_, 3360, 720, 2655, 3555);
  ExpectPlaced(chooser.drive_label_, 3360, 4335, 1335, 255);
  ExpectPlaced(chooser.drive_list_, 3360, 4575, 2655, 315);
  ExpectPlaced(chooser.ok_button_, 6240, 720, 1335, 375);
  ExpectPlaced(chooser.cancel_button_, 6240, 1200, 1335, 375);

  chooser.SetOuterSize(6525, 3540);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().left_column_width, 2362.5);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().right_column_left, 2707.5);
  ExpectPlaced(chooser.file_list_, 120, 840, 2362.5, 1440);
  ExpectPlaced(chooser.folder_list_, 2707.5, 720, 2002.5, 1650);
  ExpectPlaced(chooser.drive_list_, 2707.5, 2670, 2002.5, 315);
  ExpectPlaced(chooser.ok_button_, 4935, 720, 1335, 375);
}

TEST_F(FileChooserTest, ShrinkingBelowTheMinimumSnapsBack) {
  FileChooser& chooser = PressLoad(1);
  struct Case {
    double width, height;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Case c : {Case{5000, 2000}, Case{5000, 4000}, Case{8000, 1000}, Case{nan, 4000}}) {
    chooser.SetOuterSize(c.width, c.height);
    EXPECT_GE(OuterWidth(&chooser), 6525 - 1e-9);
    EXPECT_GE(OuterHeight(&chooser), 3540 - 1e-9);
    const ChooserSize snapped = SnapChooserSize(c.width, c.height);
    EXPECT_LT(OuterWidth(&chooser), snapped.width + 1 / PixelsPerTwip(&chooser));
    EXPECT_LT(OuterHeight(&chooser), snapped.height + 1 / PixelsPerTwip(&chooser));
    const ChooserLayout want = ComputeChooserLayout(snapped.width, snapped.height);
    EXPECT_DOUBLE_EQ(chooser.CurrentLayout().left_column_width, want.left_column_width);
    EXPECT_DOUBLE_EQ(chooser.CurrentLayout().file_list_height, want.file_list_height);
  }

  // A user's drag below the minimum, reported by the window system.
  chooser.resize(50, 40);
  QCoreApplication::processEvents();
  EXPECT_GE(OuterWidth(&chooser), 6525 - 1e-9);
  EXPECT_GE(OuterHeight(&chooser), 3540 - 1e-9);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().button_left, 4935);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().folder_list_height, 1650);
}

TEST_F(FileChooserTest, SizeRulesWaitWhileMinimised) {
  FileChooser& chooser = PressLoad(1);
  chooser.SetOuterSize(9830, 6000);
  const ChooserLayout before = chooser.CurrentLayout();
  chooser.showMinimized();
  chooser.SetOuterSize(5000, 2000);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().left_column_width, before.left_column_width);
  // Restored, the window catches up: a size set meanwhile snaps to the minimum.
  chooser.showNormal();
  EXPECT_GE(OuterWidth(&chooser), 6525 - 1e-9);
  EXPECT_GE(OuterHeight(&chooser), 3540 - 1e-9);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().left_column_width, 2362.5);
  chooser.SetOuterSize(7830, 5445);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().left_column_width, 3015);
}

}  // namespace
}  // namespace quillon
