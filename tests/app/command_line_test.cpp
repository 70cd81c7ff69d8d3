// The command line of `quillon`: the parser, table-driven, and the program
// itself answering --help, --version and an unknown option (none of them
// needs a display: the program ends before it opens one).

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <string>
#include <vector>

namespace quillon {
namespace {

using Action = CommandLine::Action;
using Args = std::vector<std::string>;

struct ParseCase {
  const char* name;
  Args args;
  Action action;
  Args files;
  Args toolkit;
  std::string error;
};

const ParseCase kCases[] = {
    {"Nothing", {}, Action::Run, {}, {}, ""},
    {"Files", {"a.fts", "dir/b.fts"}, Action::Run, {"a.fts", "dir/b.fts"}, {}, ""},
    {"Help", {"--help"}, Action::Help, {}, {}, ""},
    {"ShortHelp", {"a.fts", "-h"}, Action::Help, {}, {}, ""},
    {"Version", {"--version", "--foo"}, Action::Version, {}, {}, ""},
    {"UnknownLong", {"--foo"}, Action::Error, {}, {}, "unknown option '--foo'"},
    {"UnknownShort", {"a.fts", "-x"}, Action::Error, {}, {}, "unknown option '-x'"},
    {"UnknownWithValue", {"--help=yes"}, Action::Error, {}, {}, "unknown option '--help=yes'"},
    {"DashDashEndsOptions", {"--", "--foo.fts", "-h", "--"}, Action::Run, {"--foo.fts", "-h", "--"}, {}, ""},
    {"HelpAfterDashDashIsAFile", {"a.fts", "--", "--help"}, Action::Run, {"a.fts", "--help"}, {}, ""},
    {"LoneDashIsAFile", {"-"}, Action::Run, {"-"}, {}, ""},
    {"ToolkitStyle", {"-style", "Fusion", "a.fts"}, Action::Run, {"a.fts"}, {"-style", "Fusion"}, ""},
    {"ToolkitTwoDashes", {"--platform", "offscreen"}, Action::Run, {}, {"--platform", "offscreen"}, ""},
    {"ToolkitEquals", {"-style=fusion", "b.fts"}, Action::Run, {"b.fts"}, {"-style=fusion"}, ""},
    {"ToolkitFlag", {"-reverse", "c.fts"}, Action::Run, {"c.fts"}, {"-reverse"}, ""},
    {"ToolkitFlagTakesNoValue", {"-reverse=1"}, Action::Error, {}, {}, "unknown option '-reverse=1'"},
    {"ToolkitValueMissing", {"a.fts", "-style"}, Action::Error, {}, {}, "option '-style' needs a value"},
    {"ToolkitValueMayLookLikeAnOption", {"-qwindowtitle", "-x-"}, Action::Run, {}, {"-qwindowtitle", "-x-"}, ""},
    {"NonUtf8NameKeptAsBytes", {"caf\xe9.fts"}, Action::Run, {"caf\xe9.fts"}, {}, ""},
};

class ParseCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, ReadsTheArguments) {
  const ParseCase& c = GetParam();
  const CommandLine line = ParseCommandLine(c.args);
  EXPECT_EQ(line.action, c.action);
  if (c.action == Action::Run) {
    EXPECT_EQ(line.files, c.files);
    EXPECT_EQ(line.toolkit_options, c.toolkit);
  }
  EXPECT_EQ(line.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseCommandLineTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

struct ProgramRun {
  int code;
  std::string out, err;
};

ProgramRun RunQuillon(const QStringList& args) {
  QProcess process;
  process.start(QStringLiteral(QUILLON_PATH), args);
  EXPECT_TRUE(process.waitForFinished(60000));
  return {process.exitCode(), process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

TEST(QuillonProgram, AnUnknownOptionPrintsTheUsageOnStandardErrorAndEndsWithStatusTwo) {
  const ProgramRun run = RunQuillon({"--foo"});
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_EQ(run.err, "quillon: unknown option '--foo'\n" + UsageText());
}

TEST(QuillonProgram, HelpAndVersionGoToStandardOutput) {
  const ProgramRun help = RunQuillon({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out, UsageText());
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  const ProgramRun version = RunQuillon({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "quillon " PROJECT_VERSION_TEXT "\n");
}

}  // namespace
}  // namespace quillon
