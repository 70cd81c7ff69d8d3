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
#include <limits>

#include "qt/twips.h"
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

  frmLoad_FitsFile& Open() {
    chooser_ = new frmLoad_FitsFile(state_, services_);
    return *chooser_;
  }
  // What the main window's Load does.
  frmLoad_FitsFile& PressLoad(int16_t slot) {
    state_.CurrentSlot = slot;
    frmLoad_FitsFile& chooser = chooser_.isNull() ? Open() : *chooser_;
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
  QPointer<frmLoad_FitsFile> chooser_;
};

TEST_F(FileChooserTest, FirstLoadShowsTheCurrentFolderWithFtsFiles) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  EXPECT_EQ(chooser.windowTitle(), "Load 1-D Calibrated Fits file");
  EXPECT_EQ(chooser.pos(), QPoint(TwipsToPixels(500, &chooser), TwipsToPixels(500, &chooser)));
  EXPECT_EQ(Items(chooser.Combo1), (QStringList{"*.fts", "*.fit", "*.fits", "*.*"}));
  EXPECT_EQ(chooser.Combo1->currentText(), "*.fts");
  // Upper-case names match too.
  EXPECT_EQ(Items(chooser.File1), (QStringList{"A.FTS", "b.fts"}));
  EXPECT_EQ(chooser.Text1->text(), "A.FTS");
  EXPECT_EQ(chooser.Label4->text().toStdString(), start_);
  EXPECT_EQ(chooser.Dir1Path(), start_);
  // The folder list ends with the current folder and its subfolders.
  EXPECT_GE(RowOf(chooser.Dir1, "night2"), 0);
  EXPECT_GE(RowOf(chooser.Dir1, "empty"), 0);
  EXPECT_EQ(chooser.Dir1->item(0)->text(), "/");
  EXPECT_EQ(chooser.Drive1->itemText(0), "/");
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
    frmLoad_FitsFile& chooser = Open();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(room.contains(chooser.frameGeometry().topLeft())) << c.left << ", " << c.top;
    delete chooser_.data();
  }
}

TEST_F(FileChooserTest, CaptionsAccessibleNamesAndTabOrder) {
  frmLoad_FitsFile& chooser = Open();
  EXPECT_EQ(chooser.Label1->text(), "File Name:");
  EXPECT_EQ(chooser.Label2->text(), "List Files of Type:");
  EXPECT_EQ(chooser.Label3->text(), "Directories:");
  EXPECT_EQ(chooser.Label5->text(), "Drives:");
  EXPECT_EQ(chooser.Command1->text(), "OK");
  EXPECT_EQ(chooser.Command2->text(), "Cancel");
  const QList<QWidget*> controls = {chooser.Text1, chooser.File1,    chooser.Combo1,  chooser.Dir1,
                                    chooser.Drive1, chooser.Command1, chooser.Command2, chooser.Label4};
  for (QWidget* control : controls) EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();

  QList<QWidget*> order;
  for (QWidget* w = chooser.Text1; order.size() < 7; w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus) order << w;
  }
  EXPECT_EQ(order, controls.mid(0, 7));
}

TEST_F(FileChooserTest, FileTypeChoiceRereadsTheListAndKeepsTheName) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  chooser.Text1->setText("typed.fts");
  chooser.Combo1->setCurrentIndex(3);  // the user picks "*.*"
  EXPECT_EQ(chooser.Combo1->currentText(), "*.*");
  EXPECT_EQ(Items(chooser.File1), (QStringList{"A.FTS", "b.fts", "c.fit", "notes.txt"}));
  EXPECT_EQ(chooser.Text1->text(), "typed.fts");

  chooser.SetFileTypeIndex(1);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"c.fit"}));

  // Every Load re-reads the folder, so a file written meanwhile shows up.
  chooser.hide();
  Touch(dir_ / "new.fts");
  PressLoad(2);
  EXPECT_EQ(chooser.Combo1->currentText(), "*.fts");
  EXPECT_EQ(Items(chooser.File1), (QStringList{"A.FTS", "b.fts", "new.fts"}));
  EXPECT_EQ(chooser.Text1->text(), "typed.fts");

  // The same index again still re-reads.
  fs::remove(dir_ / "new.fts");
  chooser.SetFileTypeIndex(0);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"A.FTS", "b.fts"}));

  chooser.SetFileTypeIndex(7);  // no such entry: nothing changes
  EXPECT_EQ(chooser.Combo1->currentText(), "*.fts");
}

TEST_F(FileChooserTest, ClickingAFilePutsItInTheNameBox) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  ClickRow(chooser.File1, 1);
  EXPECT_EQ(chooser.Text1->text(), "b.fts");
  chooser.Text1->setText("other");
  ClickRow(chooser.File1, 1);  // pressing the selected entry again
  EXPECT_EQ(chooser.Text1->text(), "b.fts");
  EXPECT_TRUE(chooser.isVisible());
}

TEST_F(FileChooserTest, DoubleClickingAFileAcceptsItAtOnce) {
  frmLoad_FitsFile& chooser = PressLoad(4);
  DoubleClickRow(chooser.File1, 1);
  EXPECT_EQ(state_.Slots[4].file_name, "b.fts");
  EXPECT_EQ(state_.FitsDirectory, start_);
  EXPECT_FALSE(chooser.isVisible());
  EXPECT_FALSE(chooser_.isNull());
}

TEST_F(FileChooserTest, OkStoresNameAndFolderAndEntersTheFolder) {
  frmLoad_FitsFile& chooser = PressLoad(3);
  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));
  const std::string night2 = start_ + "/night2";
  ASSERT_EQ(chooser.Dir1Path(), night2);
  fs::current_path("/");  // OK must enter the folder itself
  QTest::mouseClick(chooser.Command1, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[3].file_name, "z.fts");
  EXPECT_EQ(state_.FitsDirectory, night2);
  EXPECT_EQ(fs::current_path().string(), night2);
  EXPECT_EQ(chooser.Label4->text().toStdString(), night2);
  EXPECT_FALSE(chooser.isVisible());

  // Hidden, the chooser keeps its folder: the next Load reopens there.
  PressLoad(5);
  EXPECT_EQ(chooser.Dir1Path(), night2);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"z.fts"}));

  // Closed and made anew, it starts in the accepted folder, now the current directory.
  chooser.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(chooser_.isNull());
  EXPECT_EQ(PressLoad(6).Dir1Path(), night2);
}

TEST_F(FileChooserTest, OkWithAnEmptyNameLoadsNothingAndHides) {
  frmLoad_FitsFile& chooser = PressLoad(3);
  state_.Slots[3].file_name = "earlier.fts";
  chooser.Text1->clear();
  QTest::mouseClick(chooser.Command1, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[3].file_name, "");
  EXPECT_FALSE(state_.Slots[3].loaded);
  EXPECT_EQ(state_.SpectraLoaded, 0);
  EXPECT_FALSE(chooser.isVisible());
  for (const std::string& call : services_.calls) EXPECT_NE(call, "ShowLoadedRow 3");
}

TEST_F(FileChooserTest, AMissingNameIsHandedToTheLoader) {
  frmLoad_FitsFile& chooser = PressLoad(2);
  chooser.Text1->setText("no-such-file.fts");
  QTest::keyClick(chooser.Text1, Qt::Key_Return);  // Return in the name box is OK
  EXPECT_EQ(state_.Slots[2].file_name, "no-such-file.fts");
  EXPECT_FALSE(state_.Slots[2].loaded);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find("no-such-file.fts"), std::string::npos) << services_.messages[0];
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, OkLoadsTheChosenSpectrumIntoTheRow) {
  WriteSpectrum(dir_ / "night2" / "real.fts");
  frmLoad_FitsFile& chooser = PressLoad(3);
  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));
  ClickRow(chooser.File1, RowOf(chooser.File1, "real.fts"));
  QTest::mouseClick(chooser.Command1, Qt::LeftButton);
  EXPECT_TRUE(state_.Slots[3].loaded);
  EXPECT_EQ(SlotHeader(state_, 3).object, "TEST STAR");
  EXPECT_DOUBLE_EQ(SlotSpectrum(state_, 3).lambda_start, 4000.0);
  EXPECT_NE(std::find(services_.calls.begin(), services_.calls.end(), "ShowLoadedRow 3"), services_.calls.end());
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, OkFillsTheRowPressedLast) {
  frmLoad_FitsFile& chooser = PressLoad(3);
  state_.CurrentSlot = 7;  // another row's button while the chooser is open
  ClickRow(chooser.File1, 1);
  QTest::mouseClick(chooser.Command1, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[7].file_name, "b.fts");
  EXPECT_EQ(state_.Slots[3].file_name, "");
}

TEST_F(FileChooserTest, OkWithoutARowLoadsNothing) {
  frmLoad_FitsFile& chooser = Open();
  chooser.show();
  state_.CurrentSlot = 0;
  QTest::mouseClick(chooser.Command1, Qt::LeftButton);
  EXPECT_EQ(state_.Slots[0].file_name, "");
  EXPECT_EQ(state_.FitsDirectory, "");
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, CancelStoresThePositionAndHides) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  chooser.move(200, 150);
  QTest::mouseClick(chooser.Command2, Qt::LeftButton);
  EXPECT_EQ(state_.LoadLeft, RoundToInt16(PixelsToTwips(200, &chooser)));
  EXPECT_EQ(state_.LoadTop, RoundToInt16(PixelsToTwips(150, &chooser)));
  EXPECT_FALSE(chooser.isVisible());
  EXPECT_FALSE(chooser_.isNull());
  EXPECT_EQ(state_.Slots[1].file_name, "");

  chooser.show();
  chooser.move(30, 45);
  QTest::keyClick(chooser.File1, Qt::Key_Escape);  // Escape is Cancel
  EXPECT_EQ(state_.LoadLeft, RoundToInt16(PixelsToTwips(30, &chooser)));
  EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FileChooserTest, AnUnmovedWindowKeepsItsStoredPlaceExactly) {
  // 500 twips is a third of a pixel off the grid at 96 DPI: converting back would give 495.
  state_.LoadLeft = 500;
  state_.LoadTop = 7;
  for (int round = 0; round < 3; ++round) {
    frmLoad_FitsFile& chooser = PressLoad(1);
    QTest::mouseClick(chooser.Command2, Qt::LeftButton);
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
  frmLoad_FitsFile& chooser = PressLoad(1);
  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));
  chooser.move(300, 60);
  const int16_t left = RoundToInt16(PixelsToTwips(300, &chooser));
  const int16_t top = RoundToInt16(PixelsToTwips(60, &chooser));
  EXPECT_TRUE(chooser.close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(chooser_.isNull());
  EXPECT_EQ(state_.LoadLeft, left);
  EXPECT_EQ(state_.LoadTop, top);

  // Made anew, it starts at the stored place and the current directory.
  frmLoad_FitsFile& again = PressLoad(1);
  EXPECT_EQ(again.pos(), QPoint(TwipsToPixels(left, &again), TwipsToPixels(top, &again)));
  EXPECT_EQ(again.Dir1Path(), start_);
}

TEST_F(FileChooserTest, OpeningAFolderUpdatesEveryListInOneStep) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  ClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));  // a single click only selects
  EXPECT_EQ(chooser.Dir1Path(), start_);

  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));
  EXPECT_EQ(chooser.Dir1Path(), start_ + "/night2");
  EXPECT_EQ(chooser.File1Path(), start_ + "/night2");
  EXPECT_EQ(Items(chooser.File1), (QStringList{"z.fts"}));
  EXPECT_EQ(chooser.Text1->text(), "z.fts");
  EXPECT_EQ(chooser.Label4->text().toStdString(), start_ + "/night2");
  EXPECT_EQ(chooser.Dir1->currentItem()->text(), "night2");

  // Up again through the parent's line, by keyboard this time.
  const std::string parent_name = fs::path(start_).filename().string();
  chooser.Dir1->setCurrentRow(RowOf(chooser.Dir1, QString::fromStdString(parent_name)));
  QTest::keyClick(chooser.Dir1, Qt::Key_Return);
  EXPECT_EQ(chooser.Dir1Path(), start_);

  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "empty"));
  EXPECT_EQ(chooser.File1->count(), 0);
  EXPECT_EQ(chooser.Text1->text(), "");
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(FileChooserTest, AFolderThatCannotBeReadLeavesTheListsAsTheyWere) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  ClickRow(chooser.File1, 1);
  const QStringList dirs = Items(chooser.Dir1);
  fs::remove_all(dir_ / "night2");  // gone between listing and opening
  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));

  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find(start_ + "/night2"), std::string::npos) << services_.messages[0];
  EXPECT_NE(services_.messages[0].find("No such file or directory"), std::string::npos) << services_.messages[0];
  EXPECT_EQ(chooser.Dir1Path(), start_);
  EXPECT_EQ(Items(chooser.Dir1), dirs);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"A.FTS", "b.fts"}));
  EXPECT_EQ(chooser.Text1->text(), "b.fts");
  EXPECT_EQ(chooser.Label4->text().toStdString(), start_);
}

TEST_F(FileChooserTest, AVanishedFolderIsReportedOncePerLoad) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  DoubleClickRow(chooser.Dir1, RowOf(chooser.Dir1, "night2"));
  chooser.hide();
  fs::remove_all(dir_ / "night2");
  PressLoad(1);  // two file-type selections, one message
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"z.fts"}));
}

TEST_F(FileChooserTest, ChangingTheDriveUpdatesEveryListInOneStep) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  chooser.Text1->setText("typed");
  const std::string other = start_ + "/night2";
  chooser.SetDriveList({"/", other, start_ + "/missing-drive"});
  EXPECT_EQ(chooser.Drive1->currentIndex(), 0);
  EXPECT_EQ(chooser.Dir1Path(), start_);  // filling the list chooses nothing

  chooser.Drive1->setCurrentIndex(1);
  EXPECT_EQ(chooser.Dir1Path(), other);
  EXPECT_EQ(Items(chooser.File1), (QStringList{"z.fts"}));
  EXPECT_EQ(chooser.Text1->text(), "z.fts");
  EXPECT_EQ(chooser.Label4->text().toStdString(), other);

  // A drive that is not ready: a message, and the drive in use stays shown.
  chooser.Drive1->setCurrentIndex(2);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].find("missing-drive"), std::string::npos);
  EXPECT_EQ(chooser.Drive1->currentIndex(), 1);
  EXPECT_EQ(chooser.Dir1Path(), other);
  EXPECT_EQ(chooser.Text1->text(), "z.fts");

  chooser.Drive1->setCurrentIndex(0);
  EXPECT_EQ(chooser.Dir1Path(), "/");
  EXPECT_EQ(chooser.Dir1->count() > 1, true);
}

// ---- Size rules ----------------------------------------------------------------

void ExpectPlaced(const QWidget* control, double left, double top, double width, double height) {
  EXPECT_EQ(control->geometry(), TwipsToPixelRect(left, top, width, height, control))
      << control->accessibleName().toStdString();
}

TEST_F(FileChooserTest, SizeRulesAt7830And6525TwipsWide) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  chooser.SetOuterSize(7830, 5445);
  ExpectPlaced(chooser.Text1, 120, 360, 3015, 315);
  ExpectPlaced(chooser.File1, 120, 840, 3015, 3345);
  ExpectPlaced(chooser.Label2, 120, 4335, 2415, 255);
  ExpectPlaced(chooser.Combo1, 120, 4575, 3015, 315);
  ExpectPlaced(chooser.Label3, 3360, 120, 2295, 255);
  ExpectPlaced(chooser.Label4, 3360, 360, 3975, 255);
  ExpectPlaced(chooser.Dir1, 3360, 720, 2655, 3555);
  ExpectPlaced(chooser.Label5, 3360, 4335, 1335, 255);
  ExpectPlaced(chooser.Drive1, 3360, 4575, 2655, 315);
  ExpectPlaced(chooser.Command1, 6240, 720, 1335, 375);
  ExpectPlaced(chooser.Command2, 6240, 1200, 1335, 375);

  chooser.SetOuterSize(6525, 3540);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().LeftColumnWidth, 2362.5);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().RightColumnLeft, 2707.5);
  ExpectPlaced(chooser.File1, 120, 840, 2362.5, 1440);
  ExpectPlaced(chooser.Dir1, 2707.5, 720, 2002.5, 1650);
  ExpectPlaced(chooser.Drive1, 2707.5, 2670, 2002.5, 315);
  ExpectPlaced(chooser.Command1, 4935, 720, 1335, 375);
}

TEST_F(FileChooserTest, ShrinkingBelowTheMinimumSnapsBack) {
  frmLoad_FitsFile& chooser = PressLoad(1);
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
    EXPECT_DOUBLE_EQ(chooser.CurrentLayout().LeftColumnWidth, want.LeftColumnWidth);
    EXPECT_DOUBLE_EQ(chooser.CurrentLayout().File1Height, want.File1Height);
  }

  // A user's drag below the minimum, reported by the window system.
  chooser.resize(50, 40);
  QCoreApplication::processEvents();
  EXPECT_GE(OuterWidth(&chooser), 6525 - 1e-9);
  EXPECT_GE(OuterHeight(&chooser), 3540 - 1e-9);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().ButtonLeft, 4935);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().Dir1Height, 1650);
}

TEST_F(FileChooserTest, SizeRulesWaitWhileMinimised) {
  frmLoad_FitsFile& chooser = PressLoad(1);
  chooser.SetOuterSize(9830, 6000);
  const ChooserLayout before = chooser.CurrentLayout();
  chooser.showMinimized();
  chooser.SetOuterSize(5000, 2000);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().LeftColumnWidth, before.LeftColumnWidth);
  // Restored, the window catches up: a size set meanwhile snaps to the minimum.
  chooser.showNormal();
  EXPECT_GE(OuterWidth(&chooser), 6525 - 1e-9);
  EXPECT_GE(OuterHeight(&chooser), 3540 - 1e-9);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().LeftColumnWidth, 2362.5);
  chooser.SetOuterSize(7830, 5445);
  EXPECT_DOUBLE_EQ(chooser.CurrentLayout().LeftColumnWidth, 3015);
}

}  // namespace
}  // namespace quillon
