// The whole program driven as a user drives it: buttons clicked, files chosen
// in the chooser, scroll bars moved, files dropped, the program ended.

#include "app/quillon_app.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "qt/file_chooser.h"
#include "qt/plot_window.h"
#include "qt/main_window.h"
#include "qt/twips.h"
#include "session/settings_file.h"
#include "support/fits_writer.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"
#include "qt/header_viewer.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// A spectrum of `samples` 32-bit real samples from `start` Angstroms on, with
// one absorption line, as an observatory's pipeline would write it.
void WriteSpectrum(const fs::path& path, const std::string& object, double start, double step, int samples = 600) {
  testing::FitsImage image;
  image.bitpix = -32;
  image.object = object;
  image.crval1 = start;
  image.cd1_1 = step;
  for (int i = 1; i <= samples; ++i) {
    const double x = i - samples / 2.0;
    image.raw.push_back(1000.0 - 400.0 * std::exp(-x * x / 50.0) + 20.0 * std::sin(i * 0.7));
  }
  testing::WriteFits(path, image);  // names under 8 characters would be padded with blanks
}

class QuillonAppTest : public ::testing::Test {
 protected:
  QuillonAppTest() {
    WriteSpectrum(dir / "vega.fts", "Alpha Lyr", 4000, 2.0);  // 4000 .. 5200
    WriteSpectrum(dir / "sun.fts", "Sun as a star", 5000, 1.0);    // 5000 .. 5600
    WriteSpectrum(dir / "NEBULA.FTS", "M 42 Orion", 6400, 0.5);
  }

  QuillonApp& Start(const std::vector<std::string>& files = {}) {
    QuillonApp::Options options;
    options.messages = &sink;
    options.end_program = [this] { ++ends; };
    options.settings_file = dir / kSettingsFileName;
    app = std::make_unique<QuillonApp>(options);
    app->Start(files);
    return *app;
  }
  MainWindow& Main() { return app->Main(); }
  SharedState& State() { return app->State(); }
  static std::size_t Row(int r) { return static_cast<std::size_t>(r); }

  // Load in row r, then pick `name` in the chooser's file list and press OK.
  void LoadThroughChooser(int r, const std::string& name) {
    Main().load_buttons_[Row(r)]->click();
    FileChooser& chooser = app->Chooser();
    ASSERT_TRUE(chooser.isVisible());
    if (chooser.FolderPath() != dir.path().string()) {
      ASSERT_TRUE(chooser.SetFolderPath(dir.path().string()));
    }
    const auto found = chooser.file_list_->findItems(QString::fromStdString(name), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name;
    chooser.file_list_->setCurrentItem(found.front());
    chooser.FileClicked();
    ASSERT_EQ(chooser.name_box_->text().toStdString(), name);
    chooser.ok_button_->click();
  }
  bool RowShowsDetails(int r) {
    const std::size_t i = Row(r);
    for (QWidget* w : std::initializer_list<QWidget*>{Main().header_buttons_[i], Main().file_name_cells_[i],
                                                      Main().object_cells_[i], Main().level_cells_[i],
                                                      Main().offset_bars_[i], Main().offset_cells_[i],
                                                      Main().gap_lines_[i], Main().velocity_bars_[i],
                                                      Main().velocity_cells_[i], Main().unload_buttons_[i]}) {
      if (!w->isVisibleTo(&Main())) return false;
    }
    return true;
  }
  PlotWindow* Plot() { return app->PlotWindowIfLoaded(); }

  testing::TempDir dir;
  testing::ScopedCurrentDir here{dir.path()};
  RecordingSink sink;
  int ends = 0;
  std::unique_ptr<QuillonApp> app;
};

TEST_F(QuillonAppTest, StartUpShowsOnlyLoadNumberAndSwatchInEveryRow) {
  Start();
  EXPECT_EQ(Main().windowTitle(), "Quillon");
  EXPECT_TRUE(Main().isVisible());
  for (int r = 1; r <= 16; ++r) {
    SCOPED_TRACE(r);
    EXPECT_TRUE(Main().load_buttons_[Row(r)]->isVisibleTo(&Main()));
    EXPECT_TRUE(Main().row_numbers_[Row(r)]->isVisibleTo(&Main()));
    EXPECT_EQ(Main().row_numbers_[Row(r)]->text(), QString::number(r));
    EXPECT_TRUE(Main().swatches_[Row(r)]->isVisibleTo(&Main()));
    for (QWidget* w : {static_cast<QWidget*>(Main().header_buttons_[Row(r)]),
                       static_cast<QWidget*>(Main().file_name_cells_[Row(r)]),
                       static_cast<QWidget*>(Main().offset_bars_[Row(r)]),
                       static_cast<QWidget*>(Main().unload_buttons_[Row(r)])}) {
      EXPECT_FALSE(w->isVisibleTo(&Main()));
    }
  }
  EXPECT_EQ(Main().swatches_[10]->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(Main().swatches_[1]->palette().color(QPalette::Window), QColor(255, 0, 0));
  EXPECT_EQ(Plot(), nullptr);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(QuillonAppTest, LoadIntoRowThreeThroughTheChooser) {
  Start();
  LoadThroughChooser(3, "vega.fts");
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_FALSE(app->Chooser().isVisible());
  EXPECT_TRUE(RowShowsDetails(3));
  EXPECT_FALSE(RowShowsDetails(2));
  EXPECT_EQ(Main().file_name_cells_[3]->text(), "vega.fts");
  EXPECT_EQ(Main().object_cells_[3]->text(), "Alpha Lyr");
  EXPECT_EQ(Main().offset_cells_[3]->text(), "-240");
  EXPECT_EQ(Main().velocity_cells_[3]->text(), "0");
  EXPECT_EQ(Main().level_cells_[3]->text().toStdString(),
            std::to_string(static_cast<long>(std::floor(SlotSpectrum(State(), 3).norm))));
  EXPECT_TRUE(State().Slots[3].loaded);
  EXPECT_TRUE(State().SpectraLoaded);
  EXPECT_EQ(Plot(), nullptr);  // the plot opens with "Plot Spectra", not with a first load

  // The chooser's "*.fts" pattern lists upper-case names too.
  Main().load_buttons_[4]->click();
  EXPECT_EQ(app->Chooser().file_list_->findItems("NEBULA.FTS", Qt::MatchExactly).size(), 1);
}

TEST_F(QuillonAppTest, LoadingIntoALoadedRowReplacesTheSpectrumAndKeepsTheOffset) {
  Start();
  LoadThroughChooser(2, "vega.fts");
  Main().offset_bars_[2]->setValue(-50);
  LoadThroughChooser(2, "sun.fts");
  EXPECT_EQ(Main().object_cells_[2]->text(), "Sun as a star");
  EXPECT_EQ(State().Slots[2].offset, -50);
  EXPECT_EQ(Main().offset_cells_[2]->text(), "-50");
  EXPECT_EQ(State().DataLambdaMin, 4000);  // the range keeps the old extent until an Unload
}

TEST_F(QuillonAppTest, PlotSpectraWithNothingLoadedDoesNothing) {
  Start();
  Main().plot_button_->click();
  EXPECT_EQ(Plot(), nullptr);
  EXPECT_FALSE(State().PlotWindowOpen);
}

TEST_F(QuillonAppTest, OffsetBarRedrawsAndStaysWithinItsRange) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  Main().plot_button_->click();
  ASSERT_NE(Plot(), nullptr);
  EXPECT_TRUE(Plot()->isVisible());
  const std::size_t before = Plot()->Drawing().Lines().size();
  ASSERT_GT(before, 0u);

  QScrollBar* bar = Main().offset_bars_[1];
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(State().Slots[1].offset, -279);
  EXPECT_EQ(Main().offset_cells_[1]->text(), "-279");
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(State().Slots[1].offset, -284);
  for (int i = 0; i < 100; ++i) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(State().Slots[1].offset, 100);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(State().Slots[1].offset, -300);
  EXPECT_EQ(Main().offset_cells_[1]->text(), "-300");

  // With the plot window closed, moving the bar opens it again.
  Plot()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(Plot(), nullptr);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_NE(Plot(), nullptr);
  EXPECT_TRUE(Plot()->isVisible());
}

TEST_F(QuillonAppTest, UnloadingTheLastSpectrumHidesThePlotAndTheNextLoadShowsIt) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  Main().plot_button_->click();
  ASSERT_TRUE(Plot()->isVisible());
  Main().unload_buttons_[1]->click();
  EXPECT_FALSE(RowShowsDetails(1));
  ASSERT_NE(Plot(), nullptr);  // hidden, not unloaded
  EXPECT_FALSE(Plot()->isVisible());
  EXPECT_TRUE(State().PlotWindowOpen);
  EXPECT_EQ(State().DataLambdaMin, 9999);
  EXPECT_EQ(State().DataLambdaMax, -9999);
  EXPECT_FALSE(State().SpectraLoaded);

  LoadThroughChooser(5, "sun.fts");
  EXPECT_TRUE(Plot()->isVisible());
  EXPECT_EQ(State().PlotLambdaMin, 5000);
}

TEST_F(QuillonAppTest, UnloadingWithThePlotNeverOpenKeepsTheDataRange) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  Main().unload_buttons_[1]->click();
  EXPECT_EQ(State().DataLambdaMin, 4000);
  EXPECT_EQ(State().DataLambdaMax, 5200);
  LoadThroughChooser(2, "sun.fts");  // widens from the unloaded spectrum's extent
  EXPECT_EQ(State().DataLambdaMin, 4000);
  EXPECT_EQ(State().DataLambdaMax, 5600);
}

TEST_F(QuillonAppTest, UnloadingOneOfTwoWithThePlotOpenRedrawsTheRest) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  LoadThroughChooser(2, "sun.fts");
  Main().plot_button_->click();
  Main().unload_buttons_[1]->click();
  EXPECT_TRUE(Plot()->isVisible());
  EXPECT_EQ(State().PlotLambdaMin, 5000);
  EXPECT_EQ(State().PlotLambdaMax, 5600);
  EXPECT_GT(Plot()->Drawing().Lines().size(), 0u);
}

TEST_F(QuillonAppTest, AnotherRowPressedWhileTheChooserIsOpenGetsTheFile) {
  Start();
  Main().load_buttons_[3]->click();
  FileChooser& chooser = app->Chooser();
  ASSERT_TRUE(chooser.SetFolderPath(dir.path().string()));
  Main().load_buttons_[7]->click();  // the chooser stays open and now fills row 7
  EXPECT_EQ(State().CurrentSlot, 7);
  chooser.name_box_->setText("sun.fts");
  chooser.ok_button_->click();
  EXPECT_FALSE(State().Slots[3].loaded);
  EXPECT_TRUE(State().Slots[7].loaded);
  EXPECT_TRUE(RowShowsDetails(7));
}

TEST_F(QuillonAppTest, HdrShowsTheRowsCards) {
  Start();
  LoadThroughChooser(4, "vega.fts");
  Main().header_buttons_[4]->click();
  ASSERT_NE(app->HeaderViewerIfLoaded(), nullptr);
  EXPECT_TRUE(app->Viewer().isVisible());
  EXPECT_EQ(State().CurrentSlot, 4);
}

TEST_F(QuillonAppTest, HelpAndAboutOpenFromTheMenu) {
  Start();
  Main().help_intro_action_->trigger();
  Main().about_action_->trigger();
  ASSERT_NE(app->HelpIfLoaded(), nullptr);
  ASSERT_NE(app->AboutIfLoaded(), nullptr);
  // "Open ..." and "Print Setup ..." have no action.
  Main().open_action_->trigger();
  Main().print_setup_action_->trigger();
  EXPECT_EQ(app->ChooserIfLoaded(), nullptr);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(QuillonAppTest, ExitKeepsThePlotWindowsGeometryFromItsLastClose) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  Main().plot_button_->click();
  MoveOuter(Plot(), 1500, 2500);
  Plot()->close();  // its unload stores the place
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const int16_t closed_left = State().PlotLeft;
  const int16_t closed_top = State().PlotTop;
  Main().plot_button_->click();
  MoveOuter(Plot(), 4000, 4500);  // moved again, but never closed
  Main().exit_action_->trigger();
  EXPECT_EQ(ends, 1);

  SharedState written;
  ASSERT_TRUE(ReadSettingsFile(written, dir / kSettingsFileName));
  EXPECT_EQ(written.PlotLeft, closed_left);
  EXPECT_EQ(written.PlotTop, closed_top);
  EXPECT_NEAR(written.PlotLeft, 1500, 20);

  Main().close();  // a second end (the close box after Exit) does not write or end again
  EXPECT_EQ(ends, 1);
}

TEST_F(QuillonAppTest, ClosingTheMainWindowWritesTheSettingsAndEnds) {
  Start();
  MoveOuter(&Main(), 3000, 1500);
  Main().close();
  EXPECT_EQ(ends, 1);
  SharedState written;
  ASSERT_TRUE(ReadSettingsFile(written, dir / kSettingsFileName));
  EXPECT_NEAR(written.MainLeft, 3000, 20);
  EXPECT_NEAR(written.MainTop, 1500, 20);
}

TEST_F(QuillonAppTest, FilesOnTheCommandLineFillRowsFromTheTop) {
  // Relative names are taken from the folder the program started in, although
  // each load makes its own folder current.
  fs::create_directories(dir / "night2");
  WriteSpectrum(dir / "night2" / "late.fts", "Late night", 4500, 1.0);
  Start({"vega.fts", "night2/late.fts", (dir / "sun.fts").string()});
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_EQ(Main().object_cells_[1]->text(), "Alpha Lyr");
  EXPECT_EQ(Main().object_cells_[2]->text(), "Late night");
  EXPECT_EQ(Main().object_cells_[3]->text(), "Sun as a star");
  EXPECT_EQ(State().FitsDirectory, dir.path().string());
  EXPECT_EQ(State().CurrentSlot, 3);
}

TEST_F(QuillonAppTest, AddressesOnTheCommandLineLoadTheSpectraTheyName) {
  fs::create_directories(dir / "night2");
  testing::WriteImageExtensions(dir / "night2" / "arms.fits", {{"BLUE", 4000}, {"RED", 6000}});
  Start({"night2/arms.fits[RED]", (dir / "night2" / "arms.fits[1]").string()});
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_EQ(Main().file_name_cells_[1]->text(), "arms.fits[RED]");
  EXPECT_EQ(Main().file_name_cells_[2]->text(), "arms.fits[1]");
  ASSERT_TRUE(State().Slots[1].loaded && State().Slots[2].loaded);
  EXPECT_DOUBLE_EQ(SlotSpectrum(State(), 1).lambda_start, 5998);  // pixel 0, a step before the first sample
  EXPECT_DOUBLE_EQ(SlotSpectrum(State(), 2).lambda_start, 3998);
  EXPECT_EQ(State().FitsDirectory, (dir / "night2").string());
}

TEST_F(QuillonAppTest, MoreFilesThanRowsAreReportedOnce) {
  std::vector<std::string> files(18, "vega.fts");
  files[16] = "x17.fts";
  files[17] = "x18.fts";
  Start(files);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].find("x17.fts"), std::string::npos);
  EXPECT_NE(sink.messages[0].find("x18.fts"), std::string::npos);
  EXPECT_EQ(CountLoadedSlots(State()), 16);
}

TEST_F(QuillonAppTest, AMissingFileOnTheCommandLineIsReportedByTheLoader) {
  Start({"absent.fts", "sun.fts"});
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].find("absent.fts"), std::string::npos);
  EXPECT_FALSE(State().Slots[1].loaded);
  EXPECT_TRUE(State().Slots[2].loaded);
}

// ---- Names that are not UTF-8 ---------------------------------------------------

// "café.fts" as an older disk or a network share names it, in Latin-1.
const std::string kLatin1Name = "caf\xe9.fts";
const QString kLatin1Shown = QStringLiteral("caf\uFFFD.fts");

TEST_F(QuillonAppTest, ALatin1NamedSpectrumLoadsFromTheChooserAndShowsReadable) {
  const fs::path folder = dir / "r\xe9sultats";  // a Latin-1 folder too
  fs::create_directories(folder);
  WriteSpectrum(folder / kLatin1Name, "Latin star", 4000, 2.0);
  WriteSpectrum(folder / "line\nbreak.fts", "Two lines", 4000, 2.0);
  Start();
  Main().load_buttons_[Row(2)]->click();
  FileChooser& chooser = app->Chooser();
  // The folder, entered from the folder list by its line.
  const auto folders = chooser.folder_list_->findItems(QStringLiteral("r\uFFFDsultats"), Qt::MatchExactly);
  ASSERT_EQ(folders.size(), 1);
  emit chooser.folder_list_->itemDoubleClicked(folders.front());
  ASSERT_EQ(chooser.FolderPath(), folder.string());
  EXPECT_EQ(chooser.path_label_->text(),
            QString::fromStdString(dir.path().string()) + QStringLiteral("/r\uFFFDsultats"));
  QStringList listed;
  for (int i = 0; i < chooser.file_list_->count(); ++i) listed << chooser.file_list_->item(i)->text();
  EXPECT_EQ(listed, (QStringList{kLatin1Shown, QStringLiteral("line\u240Abreak.fts")}));
  EXPECT_EQ(chooser.name_box_->text(), kLatin1Shown);
  chooser.ok_button_->click();
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_TRUE(State().Slots[2].loaded);
  EXPECT_EQ(State().Slots[2].file_name, kLatin1Name);
  EXPECT_EQ(State().FitsDirectory, folder.string());
  EXPECT_EQ(Main().file_name_cells_[Row(2)]->text(), kLatin1Shown);
  EXPECT_EQ(Main().object_cells_[Row(2)]->text(), "Latin star");

  // A name with a line end shows whole on one line, and opens.
  Main().load_buttons_[Row(3)]->click();
  chooser.file_list_->setCurrentRow(1);
  chooser.FileClicked();
  EXPECT_EQ(chooser.name_box_->text(), QStringLiteral("line\u240Abreak.fts"));
  chooser.ok_button_->click();
  EXPECT_TRUE(State().Slots[3].loaded);
  EXPECT_EQ(State().Slots[3].file_name, "line\nbreak.fts");
  EXPECT_EQ(Main().file_name_cells_[Row(3)]->text(), QStringLiteral("line\u240Abreak.fts"));

  // A name the user types is taken as typed: the shown form names no file.
  Main().load_buttons_[Row(4)]->click();
  chooser.name_box_->setText(QStringLiteral("caf\u00e9.fts"));
  chooser.ok_button_->click();
  EXPECT_EQ(State().Slots[4].file_name, "caf\xc3\xa9.fts");
  EXPECT_FALSE(State().Slots[4].loaded);
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(QuillonAppTest, ALatin1NamedSpectrumLoadsFromTheCommandLine) {
  fs::create_directories(dir / "r\xe9sultats");
  WriteSpectrum(dir / "r\xe9sultats" / kLatin1Name, "Latin star", 4000, 2.0);
  Start({"r\xe9sultats/" + kLatin1Name, (dir / "r\xe9sultats" / kLatin1Name).string()});
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  for (int r : {1, 2}) {
    EXPECT_TRUE(State().Slots[r].loaded);
    EXPECT_EQ(State().Slots[r].file_name, kLatin1Name);
    EXPECT_EQ(Main().file_name_cells_[Row(r)]->text(), kLatin1Shown);
  }
  EXPECT_EQ(State().FitsDirectory, (dir / "r\xe9sultats").string());
}

class DropTest : public QuillonAppTest {
 protected:
  void Drop(const std::vector<fs::path>& files, double y_twips) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const fs::path& f : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f.string())));
    data->setUrls(urls);
    const QPoint in_client(TwipsToPixels(3000, &Main()), TwipsToPixels(y_twips, &Main()));
    const QPointF at = Main().ClientArea()->mapTo(&Main(), in_client);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Main(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Main(), &drop);
    delete data;
    QCoreApplication::processEvents();  // the files load once the drop has finished
  }
};

TEST_F(DropTest, OneFileDroppedOnARowLoadsIntoThatRow) {
  Start();
  Drop({dir / "sun.fts"}, 480 + 600 * 6);  // row 6's cells
  EXPECT_TRUE(State().Slots[6].loaded);
  EXPECT_EQ(State().CurrentSlot, 6);
  EXPECT_EQ(State().Slots[6].file_name, "sun.fts");
  EXPECT_EQ(State().FitsDirectory, dir.path().string());
  EXPECT_EQ(Main().object_cells_[6]->text(), "Sun as a star");
}

TEST_F(DropTest, SeveralFilesFillTheEmptyRowsFromTheTop) {
  Start();
  LoadThroughChooser(1, "vega.fts");
  Drop({dir / "sun.fts", dir / "NEBULA.FTS"}, 480 + 600 * 9);
  EXPECT_EQ(Main().object_cells_[1]->text(), "Alpha Lyr");
  EXPECT_EQ(Main().object_cells_[2]->text(), "Sun as a star");
  EXPECT_EQ(Main().object_cells_[3]->text(), "M 42 Orion");
  EXPECT_FALSE(State().Slots[9].loaded);
}

TEST_F(DropTest, AFileThatFailsLeavesItsRowToTheNext) {
  Start();
  testing::WriteBytes(dir / "junk.fts", "not a fits file at all");
  Drop({dir / "junk.fts", dir / "sun.fts"}, 100);  // above the table
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_TRUE(State().Slots[1].loaded);
  EXPECT_EQ(Main().object_cells_[1]->text(), "Sun as a star");
}

TEST_F(DropTest, ALatin1NamedFileDropsByItsBytes) {
  WriteSpectrum(dir / kLatin1Name, "Latin star", 4000, 2.0);
  Start();
  auto* data = new QMimeData;
  // A file manager hands the name over percent-encoded byte for byte.
  const QByteArray url = "file://" + QByteArray::fromStdString(dir.path().string()).toPercentEncoding("/") + "/caf%E9.fts";
  data->setUrls({QUrl::fromEncoded(url)});
  const QPointF at = Main().ClientArea()->mapTo(&Main(), QPoint(TwipsToPixels(3000, &Main()), TwipsToPixels(480 + 600 * 5, &Main())));
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Main(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Main(), &drop);
  delete data;
  QCoreApplication::processEvents();
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_TRUE(State().Slots[5].loaded);
  EXPECT_EQ(State().Slots[5].file_name, kLatin1Name);
  EXPECT_EQ(Main().file_name_cells_[Row(5)]->text(), kLatin1Shown);
}

TEST(MainWindowAccessibility, EveryRowControlIsNamedAndTheTabOrderFollowsTheRows) {
  testing::TempDir dir;
  testing::ScopedCurrentDir here(dir.path());
  RecordingSink sink;
  QuillonApp::Options options;
  options.messages = &sink;
  options.end_program = [] {};
  options.settings_file = dir / kSettingsFileName;
  QuillonApp app(options);
  MainWindow& main = app.Main();
  EXPECT_EQ(main.load_buttons_[3]->accessibleName(), "Load row 3");
  EXPECT_EQ(main.offset_bars_[12]->accessibleName(), "Offset row 12");
  EXPECT_EQ(main.file_name_cells_[16]->accessibleName(), "Filename row 16");
  // Focus moves from a row's Load button through its commands to the next row.
  const QWidget* w = main.load_buttons_[1];
  std::vector<const QWidget*> order;
  for (int i = 0; i < 6; ++i) {
    order.push_back(w);
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
  }
  EXPECT_EQ(order[1], main.header_buttons_[1]);
  EXPECT_EQ(order[2], main.offset_bars_[1]);
  EXPECT_EQ(order[3], main.unload_buttons_[1]);
  EXPECT_EQ(order[4], main.load_buttons_[2]);
}

}  // namespace
}  // namespace quillon
