#include "session/printer_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "session/error_text.h"
#include "support/recording_services.h"

namespace quillon {
namespace {

// A printer as the fakes keep it: everything Print Setup may touch.
struct FakePrinterState {
  std::string name;
  std::string driver;
  std::string port;
  std::map<PrinterSetting, int32_t> settings;
  bool follows_default = true;
  std::string output_file;
  bool operator==(const FakePrinterState&) const = default;
};

FakePrinterState Printer(const std::string& name, int16_t copies, int16_t bin) {
  FakePrinterState p;
  p.name = name;
  p.driver = name + " driver";
  p.port = name + " port";
  p.settings = {{PrinterSetting::kCopies, copies},     {PrinterSetting::kOrientation, 1},
                {PrinterSetting::kColorMode, 2},       {PrinterSetting::kDuplexMode, 1},
                {PrinterSetting::kPaperBin, bin},      {PrinterSetting::kPaperSize, 9},
                {PrinterSetting::kPrintQuality, 600}};
  return p;
}

// The call log shared by all fakes, and the calls that are made to fail.
struct World {
  std::vector<std::string> log;
  std::set<std::string> failing;
  bool Call(const std::string& call) {
    log.push_back(call);
    return failing.count(call) == 0;
  }
};

std::string Name(PrinterSetting s) { return SettingName(s); }

class FakeCurrentPrinter : public CurrentPrinter {
 public:
  FakeCurrentPrinter(World& world, FakePrinterState state) : world_(world), state(std::move(state)) {}

  std::optional<std::string> DeviceName() override {
    if (!world_.Call("printer.DeviceName")) return std::nullopt;
    return state.name;
  }
  std::optional<std::string> DriverName() override {
    if (!world_.Call("printer.DriverName")) return std::nullopt;
    return state.driver;
  }
  std::optional<std::string> Port() override {
    if (!world_.Call("printer.Port")) return std::nullopt;
    return state.port;
  }
  std::optional<int32_t> Setting(PrinterSetting s) override {
    if (!world_.Call("printer.Setting " + Name(s))) return std::nullopt;
    return state.settings.at(s);
  }
  bool SetSetting(PrinterSetting s, int16_t value) override {
    if (!world_.Call("printer.SetSetting " + Name(s) + " " + std::to_string(value))) return false;
    state.settings[s] = value;
    return true;
  }
  bool SetFollowsDefault(bool follows) override {
    if (!world_.Call(std::string("printer.SetFollowsDefault ") + (follows ? "true" : "false"))) return false;
    state.follows_default = follows;
    return true;
  }
  bool SetOutputFile(const std::string& path) override {
    if (!world_.Call("printer.SetOutputFile '" + path + "'")) return false;
    state.output_file = path;
    return true;
  }
  std::unique_ptr<PrinterSnapshot> Save() override {
    if (!world_.Call("printer.Save")) return nullptr;
    return std::make_unique<Snapshot>(state);
  }
  bool Restore(const PrinterSnapshot& snapshot) override {
    if (!world_.Call("printer.Restore")) return false;
    state = static_cast<const Snapshot&>(snapshot).state;
    return true;
  }

 private:
  struct Snapshot : PrinterSnapshot {
    explicit Snapshot(FakePrinterState s) : state(std::move(s)) {}
    FakePrinterState state;
  };
  World& world_;

 public:
  FakePrinterState state;
};

class FakeInstalledPrinters : public InstalledPrinters {
 public:
  FakeInstalledPrinters(World& world, FakeCurrentPrinter& current) : world_(world), current_(current) {}

  std::optional<std::size_t> Count() override {
    if (!world_.Call("installed.Count")) return std::nullopt;
    return printers.size();
  }
  std::optional<std::string> DeviceName(std::size_t i) override {
    if (!world_.Call("installed.DeviceName " + std::to_string(i))) return std::nullopt;
    return printers.at(i).name;
  }
  // The platform replaces the current printer by the installed one, with its
  // own settings; the destination and default flag belong to the current one.
  bool MakeCurrent(std::size_t i) override {
    if (!world_.Call("installed.MakeCurrent " + std::to_string(i))) return false;
    FakePrinterState next = printers.at(i);
    next.follows_default = current_.state.follows_default;
    next.output_file = current_.state.output_file;
    current_.state = next;
    current_index = static_cast<int>(i);
    return true;
  }

  std::vector<FakePrinterState> printers;
  int current_index = -1;

 private:
  World& world_;
  FakeCurrentPrinter& current_;
};

// What the user does in the dialog.
struct DialogChoice {
  std::optional<bool> confirmed = true;
  std::string printer;
  std::map<PrinterSetting, int16_t> settings;
  std::string output_file;
};

class FakeDialog : public PrinterDialog {
 public:
  FakeDialog(World& world, const DialogChoice& choice, int& alive) : world_(world), choice_(choice), alive_(alive) {
    ++alive_;
  }
  ~FakeDialog() override { --alive_; }

  bool SetPrinterName(const std::string& name) override { return world_.Call("dialog.SetPrinterName '" + name + "'"); }
  bool SetDriverName(const std::string& name) override { return world_.Call("dialog.SetDriverName '" + name + "'"); }
  bool SetPort(const std::string& port) override { return world_.Call("dialog.SetPort '" + port + "'"); }
  bool SetSetting(PrinterSetting s, int16_t value) override {
    return world_.Call("dialog.SetSetting " + Name(s) + " " + std::to_string(value));
  }
  bool SetFlags(int32_t flags) override { return world_.Call("dialog.SetFlags " + std::to_string(flags)); }
  std::optional<bool> Show() override {
    if (!world_.Call("dialog.Show")) return std::nullopt;
    return choice_.confirmed;
  }
  std::optional<std::string> PrinterName() override {
    if (!world_.Call("dialog.PrinterName")) return std::nullopt;
    return choice_.printer;
  }
  std::optional<int16_t> Setting(PrinterSetting s) override {
    if (!world_.Call("dialog.Setting " + Name(s))) return std::nullopt;
    return choice_.settings.at(s);
  }
  std::optional<std::string> OutputFile() override {
    if (!world_.Call("dialog.OutputFile")) return std::nullopt;
    return choice_.output_file;
  }

 private:
  World& world_;
  const DialogChoice& choice_;
  int& alive_;
};

class FakeDialogFactory : public PrinterDialogFactory {
 public:
  FakeDialogFactory(World& world, const DialogChoice& choice) : world_(world), choice_(choice) {}
  std::unique_ptr<PrinterDialog> Create() override {
    if (!world_.Call("factory.Create")) return nullptr;
    ++created;
    return std::make_unique<FakeDialog>(world_, choice_, alive);
  }
  int created = 0;
  int alive = 0;

 private:
  World& world_;
  const DialogChoice& choice_;
};

// Two installed printers "hp_office" and "Lab-Color"; the current one is
// hp_office with its own settings.
class PrintSetupTest : public ::testing::Test {
 protected:
  PrintSetupTest()
      : printer(world, Printer("hp_office", 1, 7)), installed(world, printer), factory(world, choice) {
    installed.printers = {Printer("hp_office", 1, 7), Printer("Lab-Color", 1, 15)};
    choice.printer = "Lab-Color";
    choice.settings = {{PrinterSetting::kCopies, 3},     {PrinterSetting::kOrientation, 2},
                       {PrinterSetting::kColorMode, 1},  {PrinterSetting::kDuplexMode, 3},
                       {PrinterSetting::kPaperBin, 2},   {PrinterSetting::kPaperSize, 8},
                       {PrinterSetting::kPrintQuality, 300}};
  }

  PrintSetupResult Run() { return PrintSetupCommand(printer, installed, factory, messages); }

  // The log entries from the dialog's Show on.
  std::vector<std::string> AfterShow() const {
    std::vector<std::string> tail;
    bool seen = false;
    for (const std::string& call : world.log) {
      if (seen) tail.push_back(call);
      if (call == "dialog.Show") seen = true;
    }
    return tail;
  }

  World world;
  DialogChoice choice;
  FakeCurrentPrinter printer;
  FakeInstalledPrinters installed;
  FakeDialogFactory factory;
  testing::RecordingServices messages;
};

const std::vector<std::string> kCopyCalls = {
    "dialog.OutputFile",
    "printer.SetOutputFile ''",
    "dialog.Setting copies",
    "printer.SetSetting copies 3",
    "dialog.Setting orientation",
    "printer.SetSetting orientation 2",
    "dialog.Setting colour mode",
    "printer.SetSetting colour mode 1",
    "dialog.Setting duplex mode",
    "printer.SetSetting duplex mode 3",
    "dialog.Setting paper bin",
    "printer.SetSetting paper bin 2",
    "dialog.Setting paper size",
    "printer.SetSetting paper size 8",
    "dialog.Setting print quality",
    "printer.SetSetting print quality 300",
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(PrintSetupTest, ConfirmRunsTheStepsInOrder) {
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  const std::vector<std::string> expected = Concat(
      {
          "factory.Create",
          "printer.DeviceName",
          "dialog.SetPrinterName 'hp_office'",
          "printer.DriverName",
          "dialog.SetDriverName 'hp_office driver'",
          "printer.Port",
          "dialog.SetPort 'hp_office port'",
          "printer.Setting paper bin",
          "dialog.SetSetting paper bin 7",
          "dialog.SetFlags 268",
          "printer.Save",
          "printer.SetFollowsDefault false",
          "dialog.Show",
          "dialog.PrinterName",
          "printer.DeviceName",
          "installed.Count",
          "installed.DeviceName 0",
          "installed.DeviceName 1",
          "installed.MakeCurrent 1",
      },
      kCopyCalls);
  EXPECT_EQ(world.log, expected);
  EXPECT_TRUE(messages.messages.empty());

  // The chosen printer is current, with the dialog's settings.
  EXPECT_EQ(printer.state.name, "Lab-Color");
  EXPECT_EQ(printer.state.driver, "Lab-Color driver");
  for (const auto& [setting, value] : choice.settings) EXPECT_EQ(printer.state.settings.at(setting), value);
  EXPECT_FALSE(printer.state.follows_default);
  EXPECT_EQ(factory.created, 1);
  EXPECT_EQ(factory.alive, 0) << "the dialog is released when the command ends";
}

TEST_F(PrintSetupTest, CancelLeavesEverythingButTheDefaultFlag) {
  choice.confirmed = false;
  FakePrinterState expected = printer.state;
  expected.follows_default = false;
  EXPECT_EQ(Run(), PrintSetupResult::kCancelled);
  EXPECT_EQ(printer.state, expected);
  EXPECT_TRUE(AfterShow().empty()) << "nothing is read or copied after a cancel";
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(factory.alive, 0);
}

TEST_F(PrintSetupTest, ConfirmingTheCurrentPrinterWithLowerCaseLettersSearchesAnyway) {
  choice.printer = "hp_office";
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  const std::vector<std::string> expected = Concat(
      {"dialog.PrinterName", "printer.DeviceName", "installed.Count", "installed.DeviceName 0",
       "installed.MakeCurrent 0", "installed.DeviceName 1"},
      kCopyCalls);
  EXPECT_EQ(AfterShow(), expected);
  EXPECT_EQ(installed.current_index, 0);
  EXPECT_EQ(printer.state.name, "hp_office");
  EXPECT_EQ(printer.state.settings.at(PrinterSetting::kCopies), 3) << "settings come from the dialog";
}

TEST_F(PrintSetupTest, AnUpperCaseCurrentNameThatMatchesExactlySkipsTheSearch) {
  printer.state.name = "LAB-COLOR";
  choice.printer = "lab-color";
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  EXPECT_EQ(AfterShow(), Concat({"dialog.PrinterName", "printer.DeviceName"}, kCopyCalls));
  EXPECT_EQ(installed.current_index, -1);
}

TEST_F(PrintSetupTest, SeveralMatchesMakeEachCurrentAndTheLastStays) {
  installed.printers = {Printer("Lab-Color", 1, 1), Printer("hp_office", 1, 7), Printer("LAB-color", 1, 3),
                        Printer("other", 1, 1)};
  choice.printer = "lab-COLOR";
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  std::vector<std::string> makes;
  for (const std::string& call : world.log) {
    if (call.rfind("installed.MakeCurrent", 0) == 0) makes.push_back(call);
  }
  EXPECT_EQ(makes, (std::vector<std::string>{"installed.MakeCurrent 0", "installed.MakeCurrent 2"}));
  EXPECT_EQ(printer.state.name, "LAB-color");
}

TEST_F(PrintSetupTest, NoMatchKeepsTheCurrentPrinterAndStillCopiesTheSettings) {
  choice.printer = "Gone Printer";
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  EXPECT_EQ(installed.current_index, -1);
  EXPECT_EQ(printer.state.name, "hp_office");
  EXPECT_EQ(printer.state.settings.at(PrinterSetting::kPaperSize), 8);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PrintSetupTest, ChoosingAPdfFileMakesItTheDestination) {
  // A file destination comes back from the dialog with an empty printer name.
  choice.printer = "";
  choice.output_file = "/tmp/plot.pdf";
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  EXPECT_EQ(printer.state.output_file, "/tmp/plot.pdf");
  EXPECT_EQ(printer.state.name, "hp_office");
  EXPECT_EQ(printer.state.settings.at(PrinterSetting::kOrientation), 2);
}

TEST_F(PrintSetupTest, EachCommandUsesAFreshDialog) {
  EXPECT_EQ(Run(), PrintSetupResult::kConfirmed);
  choice.confirmed = false;
  EXPECT_EQ(Run(), PrintSetupResult::kCancelled);
  EXPECT_EQ(factory.created, 2);
  EXPECT_EQ(factory.alive, 0);
}

// Any failing call: one message, and the printer exactly as before the
// command, default flag included.
struct FailureCase {
  const char* call;
  bool dialog_shown;
  const char* message;
};

const FailureCase kFailures[] = {
    {"factory.Create", false, "Print Setup could not open the printer dialog. The printer keeps its settings."},
    {"printer.DeviceName", false, "Print Setup could not read the printer's device name."},
    {"dialog.SetPrinterName 'hp_office'", false, "Print Setup could not give the printer dialog the printer's name."},
    {"printer.DriverName", false, "Print Setup could not read the printer's driver name."},
    {"dialog.SetDriverName 'hp_office driver'", false, "driver name"},
    {"printer.Port", false, "Print Setup could not read the printer's port."},
    {"dialog.SetPort 'hp_office port'", false, "port"},
    {"printer.Setting paper bin", false, "Print Setup could not read the printer's paper bin."},
    {"dialog.SetSetting paper bin 7", false, "paper bin"},
    {"dialog.SetFlags 268", false, "Print Setup could not set the printer dialog's options."},
    {"printer.Save", false, "note the printer's settings"},
    {"printer.SetFollowsDefault false", false, "default printer"},
    {"dialog.Show", true, "Print Setup could not show the printer dialog. The printer keeps its settings."},
    {"dialog.PrinterName", true, "read the printer chosen in the dialog"},
    {"installed.Count", true, "Print Setup could not read the list of installed printers."},
    {"installed.DeviceName 0", true, "read the name of installed printer 1"},
    {"installed.MakeCurrent 1", true, "Print Setup could not make Lab-Color the current printer."},
    {"dialog.OutputFile", true, "destination"},
    {"printer.SetOutputFile ''", true, "Print Setup could not print to the printer device."},
    {"dialog.Setting copies", true, "read the copies chosen in the dialog"},
    {"printer.SetSetting orientation 2", true, "Print Setup could not set the printer's orientation to 2."},
    {"printer.SetSetting paper size 8", true, "paper size"},
    {"printer.SetSetting print quality 300", true, "Print Setup could not set the printer's print quality to 300."},
};

class PrintSetupFailureTest : public PrintSetupTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PrintSetupFailureTest, IsReportedOnceAndChangesNothing) {
  const FailureCase& c = GetParam();
  world.failing.insert(c.call);
  const FakePrinterState before = printer.state;
  EXPECT_EQ(Run(), PrintSetupResult::kFailed);
  ASSERT_EQ(messages.messages.size(), 1U);
  EXPECT_NE(messages.messages[0].find(c.message), std::string::npos) << messages.messages[0];
  EXPECT_EQ(printer.state, before);
  const bool shown = std::find(world.log.begin(), world.log.end(), "dialog.Show") != world.log.end();
  EXPECT_EQ(shown, c.dialog_shown);
  EXPECT_EQ(factory.alive, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, PrintSetupFailureTest, ::testing::ValuesIn(kFailures));

TEST_F(PrintSetupTest, AFailedRestoreIsSaidInTheSameMessage) {
  world.failing = {"printer.SetSetting paper size 8", "printer.Restore"};
  EXPECT_EQ(Run(), PrintSetupResult::kFailed);
  ASSERT_EQ(messages.messages.size(), 1U);
  EXPECT_EQ(messages.messages[0],
            "Print Setup could not set the printer's paper size to 8. The printer's earlier settings could not be "
            "restored either.");
}

TEST_F(PrintSetupTest, APaperBinBeyondSixteenBitsIsRefusedBeforeTheDialog) {
  for (int32_t bin : {32768, -32769, std::numeric_limits<int32_t>::max()}) {
    world.log.clear();
    messages.messages.clear();
    printer.state.settings[PrinterSetting::kPaperBin] = bin;
    const FakePrinterState before = printer.state;
    EXPECT_EQ(Run(), PrintSetupResult::kFailed);
    ASSERT_EQ(messages.messages.size(), 1U);
    EXPECT_EQ(messages.messages[0], "Print Setup could not give the printer dialog paper bin " + std::to_string(bin) +
                                        ". The printer keeps its settings.");
    EXPECT_EQ(printer.state, before);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "dialog.Show"), 0);
  }
  // The 16-bit limits themselves pass unchanged.
  for (int32_t bin : {-32768, 32767}) {
    world.log.clear();
    printer.state.settings[PrinterSetting::kPaperBin] = bin;
    choice.confirmed = false;
    EXPECT_EQ(Run(), PrintSetupResult::kCancelled);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "dialog.SetSetting paper bin " + std::to_string(bin)), 1);
  }
}

TEST(UpperCaseAsciiTest, ChangesOnlyAsciiLetters) {
  const std::pair<std::string, std::string> cases[] = {
      {"hp_LaserJet-4", "HP_LASERJET-4"},
      {"", ""},
      {"Drucker \xC3\xa9tage 2", "DRUCKER \xC3\xa9TAGE 2"},  // UTF-8 bytes untouched
      {"az{}@[`", "AZ{}@[`"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UpperCaseAscii(in), out) << in;
}

TEST(PrintFailureTest, EachFailureHasItsErrorNumberAndReport) {
  SharedState state;
  FillErrorText(state);
  const struct {
    PrintFailure failure;
    const char* report;
  } cases[] = {
      {PrintFailure::kNoDestination, " 68 Error 68: Device unavailable."},
      {PrintFailure::kDeviceUnavailable, " 68 Error 68: Device unavailable."},
      {PrintFailure::kFolderMissing, " 76 Error 76: Path not found."},
      {PrintFailure::kPermissionDenied, " 70 Error 70: Permission denied."},
      {PrintFailure::kFileAccess, " 75 Error 75: Path/file access error."},
      {PrintFailure::kOutputFailed, " 57 Error 57: Device I/O error."},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintFailureReport(state, c.failure), c.report);
}

TEST(PrintFailureTest, ANumberWithoutAnEntryGivesTheNumberAndOneBlank) {
  SharedState state;
  FillErrorText(state);
  EXPECT_EQ(ErrorReportText(state, 5), " 5 ");
  EXPECT_EQ(ErrorReportText(state, 1000), " 1000 ");
  EXPECT_EQ(ErrorReportText(state, 57), " 57 Error 57: Device I/O error.");
}

TEST(ClassifyOutputFileFailureTest, Table) {
  const struct {
    OutputFileFacts facts;
    PrintFailure expected;
    const char* name;
  } cases[] = {
      {{false, false, false, false, false}, PrintFailure::kFolderMissing, "folder missing"},
      {{true, false, false, false, false}, PrintFailure::kPermissionDenied, "new file in read-only folder"},
      {{true, true, true, false, false}, PrintFailure::kPermissionDenied, "read-only file"},
      {{true, false, true, true, false}, PrintFailure::kFileAccess, "writable file in read-only folder"},
      {{true, true, false, false, false}, PrintFailure::kFileAccess, "unexplained"},
      {{true, true, true, true, true}, PrintFailure::kFileAccess, "a folder named as file"},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyOutputFileFailure(c.facts), c.expected) << c.name;
}

TEST(FitToPageTest, KeepsTheAspectRatioAndCentres) {
  const struct {
    double pw, ph, gw, gh;
    PageRect expected;
  } cases[] = {
      {1000, 500, 4000, 6000, {0, 2000, 4000, 2000}},     // wide picture: full width
      {500, 1000, 6000, 4000, {2000, 0, 2000, 4000}},     // tall picture: full height
      {300, 300, 900, 900, {0, 0, 900, 900}},             // same shape: the whole page
      {10, 5, 100000, 3, {49997, 0, 6, 3}},               // limited by the short side
  };
  for (const auto& c : cases) {
    const std::optional<PageRect> r = FitToPage(c.pw, c.ph, c.gw, c.gh);
    ASSERT_TRUE(r.has_value());
    EXPECT_DOUBLE_EQ(r->left, c.expected.left);
    EXPECT_DOUBLE_EQ(r->top, c.expected.top);
    EXPECT_DOUBLE_EQ(r->width, c.expected.width);
    EXPECT_DOUBLE_EQ(r->height, c.expected.height);
    EXPECT_DOUBLE_EQ(r->width / r->height, c.pw / c.ph);
  }
}

TEST(FitToPageTest, RefusesSizesThatWouldGiveNoFiniteRectangle) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const double sizes[][4] = {
      {0, 100, 100, 100}, {100, -1, 100, 100}, {100, 100, 0, 100},  {100, 100, 100, nan},
      {inf, 100, 100, 100}, {nan, 1, 1, 1},    {1e-300, 1e-300, 1e300, 1e300},
  };
  for (const auto& s : sizes) {
    EXPECT_FALSE(FitToPage(s[0], s[1], s[2], s[3]).has_value()) << s[0] << " " << s[1] << " " << s[2] << " " << s[3];
  }
}

}  // namespace
}  // namespace quillon
