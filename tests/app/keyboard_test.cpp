// The program from the keyboard: key presses (QTest key events) on the real
// windows reach the menus and the same handlers the mouse does.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <string>
#include <vector>

#include "app/quillon_app.h"
#include "qt/file_chooser.h"
#include "qt/plot_window.h"
#include "qt/main_window.h"
#include "session/settings_file.h"
#include "support/fits_writer.h"
#include "support/temp_dir.h"
#include "qt/about_window.h"
#include "qt/header_viewer.h"
#include "qt/help_window.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

void WriteSpectrum(const fs::path& path, const std::string& object, double start) {
  testing::FitsImage image;
  image.bitpix = -32;
  image.object = object;
  image.crval1 = start;
  image.cd1_1 = 1.0;
  for (int i = 1; i <= 600; ++i) image.raw.push_back(1000.0 + 40.0 * std::sin(i * 0.3));
  testing::WriteFits(path, image);
}

// A caption as shown: the "&" that marks the mnemonic is not drawn.
QString Shown(const QString& text) {
  QString shown = text;
  shown.remove(QLatin1Char('&'));
  return shown;
}

class KeyboardTest : public ::testing::Test {
 protected:
  KeyboardTest() {
    WriteSpectrum(dir / "vega.fts", "Alpha Lyr", 4000);
    WriteSpectrum(dir / "sun.fts", "Sun", 5000);
  }

  QuillonApp& Start(const std::vector<std::string>& files = {}) {
    QuillonApp::Options options;
    options.messages = &sink;
    options.end_program = [this] { ++ends; };
    options.settings_file = dir / kSettingsFileName;
    app = std::make_unique<QuillonApp>(options);
    app->Start(files);
    Main().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Main()));
    return *app;
  }
  MainWindow& Main() { return app->Main(); }

  static void CloseMenus() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  }

  testing::TempDir dir;
  testing::ScopedCurrentDir here{dir.path()};
  RecordingSink sink;
  int ends = 0;
  std::unique_ptr<QuillonApp> app;
};

TEST_F(KeyboardTest, MenuCaptionsStayTheDesignedOnesWithAMnemonicEach) {
  Start();
  struct Entry {
    QAction* action;
    const char* caption;
    QKeySequence keys;  // Alt+letter opens or runs it
  };
  const std::vector<Entry> entries = {
      {Main().file_menu_->menuAction(), "File", QKeySequence(Qt::ALT | Qt::Key_F)},
      {Main().open_action_, "Open ...", QKeySequence(Qt::ALT | Qt::Key_O)},
      {Main().exit_action_, "Exit", QKeySequence(Qt::ALT | Qt::Key_X)},
      {Main().print_setup_action_, "Print Setup ...", QKeySequence(Qt::ALT | Qt::Key_P)},
      {Main().help_menu_->menuAction(), "Help", QKeySequence(Qt::ALT | Qt::Key_H)},
      {Main().help_intro_action_, "Help - Intro", QKeySequence(Qt::ALT | Qt::Key_H)},
      {Main().about_action_, "About", QKeySequence(Qt::ALT | Qt::Key_A)},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(Shown(e.action->text()), e.caption);
    EXPECT_EQ(QKeySequence::mnemonic(e.action->text()), e.keys);
    EXPECT_TRUE(e.action->shortcut().isEmpty()) << "no key hint beside the caption";
  }
}

TEST_F(KeyboardTest, AltFOpensTheFileMenuAndXRunsExit) {
  Start();
  QTest::keyClick(&Main(), Qt::Key_F, Qt::AltModifier);
  ASSERT_TRUE(Main().file_menu_->isVisible());
  QTest::keyClick(Main().file_menu_, Qt::Key_X);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(fs::exists(dir / kSettingsFileName));
}

TEST_F(KeyboardTest, F10ReachesTheMenuBarAndTheArrowsMoveAlongIt) {
  Start();
  QTest::keyClick(&Main(), Qt::Key_F10);
  ASSERT_TRUE(Main().file_menu_->isVisible());
  EXPECT_EQ(Main().menuBar()->activeAction(), Main().file_menu_->menuAction());
  QTest::keyClick(Main().file_menu_, Qt::Key_Escape);
  CloseMenus();
  EXPECT_FALSE(Main().file_menu_->isVisible());
  EXPECT_EQ(ends, 0);
}

TEST_F(KeyboardTest, F1OpensHelpFromAnyWindowAndCtrlQExits) {
  Start({(dir / "vega.fts").string()});
  QTest::keyClick(&Main(), Qt::Key_F1);
  ASSERT_NE(app->HelpIfLoaded(), nullptr);
  EXPECT_TRUE(app->HelpIfLoaded()->isVisible());
  app->HelpIfLoaded()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(app->HelpIfLoaded(), nullptr);

  // From the plot window too.
  Main().plot_button_->click();
  PlotWindow* plot = app->PlotWindowIfLoaded();
  ASSERT_NE(plot, nullptr);
  plot->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(plot));
  QTest::keyClick(plot, Qt::Key_F1);
  ASSERT_NE(app->HelpIfLoaded(), nullptr);
  EXPECT_TRUE(app->HelpIfLoaded()->isVisible());

  EXPECT_EQ(ends, 0);
  Main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  QTest::keyClick(&Main(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(ends, 1);
  SharedState written;
  EXPECT_TRUE(ReadSettingsFile(written, dir / kSettingsFileName));
}

TEST_F(KeyboardTest, TheKeyboardStartsOnRowOnesLoadWithItsFocusFrameShown) {
  Start();
  QPushButton* load1 = Main().load_buttons_[1];
  EXPECT_EQ(QApplication::focusWidget(), load1);
  EXPECT_TRUE(Main().testAttribute(Qt::WA_KeyboardFocusChange));
  // The focus frame: row 1's button looks different from row 2's.
  const QImage focused = load1->grab().toImage();
  const QImage plain = Main().load_buttons_[2]->grab().toImage();
  ASSERT_EQ(focused.size(), plain.size());
  EXPECT_NE(focused, plain);
  // Without the focus a button looks exactly as the style draws any button.
  QPushButton reference(QStringLiteral("Load"), Main().ClientArea());
  reference.setGeometry(Main().load_buttons_[2]->geometry().translated(0, 600));
  reference.show();
  EXPECT_EQ(reference.grab().toImage(), plain);
  // Space presses it: the chooser opens for row 1.
  QTest::keyClick(load1, Qt::Key_Space);
  ASSERT_NE(app->ChooserIfLoaded(), nullptr);
  EXPECT_TRUE(app->ChooserIfLoaded()->isVisible());
  EXPECT_EQ(app->State().CurrentSlot, 1);
}

TEST_F(KeyboardTest, TheChooserSelectsItsProposedNameSoTypingReplacesIt) {
  Start();
  Main().load_buttons_[2]->click();
  FileChooser& chooser = app->Chooser();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&chooser));
  ASSERT_EQ(chooser.name_box_->text(), "sun.fts");  // the folder's first .fts file
  EXPECT_TRUE(chooser.name_box_->hasFocus());
  EXPECT_EQ(chooser.name_box_->selectedText(), "sun.fts");
  QTest::keyClicks(chooser.name_box_, "vega.fts");
  EXPECT_EQ(chooser.name_box_->text(), "vega.fts");
  QTest::keyClick(chooser.name_box_, Qt::Key_Return);
  EXPECT_EQ(SlotHeader(app->State(), 2).object, "Alpha Lyr");

  // The next Load selects the name again, also while the chooser is open.
  Main().load_buttons_[3]->click();
  EXPECT_EQ(chooser.name_box_->selectedText(), chooser.name_box_->text());
}

TEST_F(KeyboardTest, EscapeClosesHelpAboutAndTheHeaderViewerAsTheirCloseBoxesDo) {
  Start({(dir / "vega.fts").string()});
  SharedState& s = app->State();

  Main().help_intro_action_->trigger();
  HelpWindow* help = app->HelpIfLoaded();
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowActive(help));
  s.HelpLeft = -1;
  QTest::keyClick(help, Qt::Key_Escape);
  EXPECT_NE(s.HelpLeft, -1) << "the unload stored the place";

  Main().about_action_->trigger();
  AboutWindow* about = app->AboutIfLoaded();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowActive(about));
  s.AboutLeft = -1;
  QTest::keyClick(about, Qt::Key_Escape);
  EXPECT_NE(s.AboutLeft, -1);

  Main().header_buttons_[1]->click();
  HeaderViewer* viewer = app->HeaderViewerIfLoaded();
  ASSERT_NE(viewer, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
  s.HdrLeft = -1;
  QTest::keyClick(viewer, Qt::Key_Escape);
  EXPECT_NE(s.HdrLeft, -1);

  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(app->HelpIfLoaded(), nullptr);
  EXPECT_EQ(app->AboutIfLoaded(), nullptr);
  EXPECT_EQ(app->HeaderViewerIfLoaded(), nullptr);
  EXPECT_EQ(ends, 0);
}

TEST_F(KeyboardTest, TheHeaderViewerCopiesTheWholeHeaderOneCardALine) {
  Start({(dir / "vega.fts").string(), (dir / "sun.fts").string()});
  const SharedState& s = app->State();
  Main().header_buttons_[2]->click();
  HeaderViewer& viewer = app->Viewer();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));

  std::string expected;
  for (int k = 1; k <= SlotHeader(s, 2).line_count; ++k) expected += SlotHeader(s, 2).cards[static_cast<std::size_t>(k)] + "\n";
  ASSERT_GT(SlotHeader(s, 2).line_count, 5);
  ASSERT_NE(expected.find("OBJECT  = 'Sun"), std::string::npos);

  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("before"));
  QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text().toStdString(), expected);

  // The context menu's entry copies the same; the shown slot counts, not the row pressed last.
  clipboard->setText(QStringLiteral("before"));
  ASSERT_TRUE(viewer.actions().contains(viewer.CopyHeaderAction()));
  EXPECT_EQ(viewer.contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_EQ(viewer.CopyHeaderAction()->text(), "Copy Header");
  app->State().CurrentSlot = 1;
  viewer.CopyHeaderAction()->trigger();
  EXPECT_EQ(clipboard->text().toStdString(), expected);
}

}  // namespace
}  // namespace quillon
