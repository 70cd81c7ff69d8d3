#include "session/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ScopedCurrentDir;
using testing::TempDir;

const std::string kDefaultFile =
    "\"CRVAL1\",\"CD1_1\",\"Names for Lambda0 and dLambda/dp, resp.\"\r\n"
    "200,200\r\n"
    "500,500\r\n"
    "500,500,3000,10000\r\n"
    "500,500,3000,10000\r\n"
    "100,2000,10000,5000\r\n"
    "500,500,10000,500\r\n"
    "500,500\r\n";

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every field of the file away from its default, so a test sees which ones a
// read or a fallback changed.
void SetNonDefaults(SharedState& s) {
  s.KeywordLambda0 = "OLD0";
  s.KeywordDispersion = "OLD1";
  s.MainLeft = 1;
  s.MainTop = 2;
  s.LoadLeft = 3;
  s.LoadTop = 4;
  s.HdrLeft = 5;
  s.HdrTop = 6.5;
  s.HdrWidth = 7;
  s.HdrHeight = 8;
  s.SpareLeft = 9;
  s.SpareTop = 10;
  s.SpareWidth = 11;
  s.SpareHeight = 12;
  s.PlotLeft = 13;
  s.PlotTop = 14;
  s.PlotWidth = 15;
  s.PlotHeight = 16;
  s.HelpLeft = 17;
  s.HelpTop = 18;
  s.HelpWidth = 19;
  s.HelpHeight = 20;
  s.AboutLeft = 21;
  s.AboutTop = 22;
}

void ExpectDefaults(const SharedState& s) {
  EXPECT_EQ(s.KeywordLambda0, "CRVAL1");
  EXPECT_EQ(s.KeywordDispersion, "CD1_1");
  EXPECT_EQ(SettingsFileText(s), kDefaultFile);
}

std::vector<std::string> FolderEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// ---- Reading: files that fall back to every default -----------------------

struct BadFile {
  const char* name;
  std::string bytes;
};

class BadSettingsFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadSettingsFile, GivesEveryDefault) {
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", GetParam().bytes);
  SharedState state;
  SetNonDefaults(state);
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ExpectDefaults(state);
}

// Valid lines 2..8, to build damaged files from.
const std::string kGeometry =
    "1,2\r\n3,4\r\n5,6,7,8\r\n9,10,11,12\r\n13,14,15,16\r\n17,18,19,20\r\n21,22\r\n";
const std::string kLine1 = "\"WAVE0\",\"DELTA\",\"comment\"\r\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSettingsFile,
    ::testing::Values(
        BadFile{"EmptyFile", ""},
        BadFile{"OnlyLineEnds", "\r\n\r\n\r\n"},
        BadFile{"TwoFieldFirstLine", "\"WAVE0\",\"DELTA\"\r\n" + kGeometry},
        BadFile{"ShortFile", kLine1 + "1,2\r\n3,4\r\n"},
        BadFile{"LastFieldMissing", kLine1 + Replace(kGeometry, "21,22", "21")},
        BadFile{"ValueAboveInt16", kLine1 + Replace(kGeometry, "1,2", "32768,2")},
        BadFile{"ValueBelowInt16", kLine1 + Replace(kGeometry, "1,2", "1,-32769")},
        BadFile{"FractionRoundingOutOfRange", kLine1 + Replace(kGeometry, "21,22", "21,32767.5")},
        BadFile{"HugeExponent", kLine1 + Replace(kGeometry, "5,6", "5,1E400")},
        BadFile{"NonNumericField", kLine1 + Replace(kGeometry, "13,14", "13,abc")},
        BadFile{"NumberWithTrailingText", kLine1 + Replace(kGeometry, "13,14", "13,14px")},
        BadFile{"HexNumber", kLine1 + Replace(kGeometry, "13,14", "13,0x10")},
        BadFile{"InfinityAsHdrTop", kLine1 + Replace(kGeometry, "5,6", "5,inf")},
        BadFile{"NanAsHdrTop", kLine1 + Replace(kGeometry, "5,6", "5,nan")},
        BadFile{"EmptyNumericField", kLine1 + Replace(kGeometry, "3,4", "3,")},
        BadFile{"LoneSign", kLine1 + Replace(kGeometry, "3,4", "3,-")},
        BadFile{"TwoPoints", kLine1 + Replace(kGeometry, "3,4", "3,4.5.6")},
        BadFile{"NulInNumber", kLine1 + Replace(kGeometry, "3,4", std::string("3,4\0", 4))},
        BadFile{"QuoteNeverCloses", "\"WAVE0,\"DELTA\",\"comment\"\r\n" + kGeometry},
        BadFile{"QuoteAtEndOfFile", kLine1 + kGeometry.substr(0, kGeometry.size() - 7) + "21,\"22"},
        BadFile{"BinaryNoise", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reading: files that are read -----------------------------------------

struct GoodFile {
  const char* name;
  std::string bytes;
  std::string lambda0;
  std::string dispersion;
  int16_t main_left;
  double hdr_top;
  int16_t about_top;
};

class GoodSettingsFile : public ::testing::TestWithParam<GoodFile> {};

TEST_P(GoodSettingsFile, IsReadField) {
  const GoodFile& c = GetParam();
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", c.bytes);
  SharedState state;
  ASSERT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  EXPECT_EQ(state.KeywordLambda0, c.lambda0);
  EXPECT_EQ(state.KeywordDispersion, c.dispersion);
  EXPECT_EQ(state.MainLeft, c.main_left);
  EXPECT_EQ(state.HdrTop, c.hdr_top);
  EXPECT_EQ(state.AboutTop, c.about_top);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoodSettingsFile,
    ::testing::Values(
        GoodFile{"DefaultFile", kDefaultFile, "CRVAL1", "CD1_1", 200, 500, 500},
        GoodFile{"OtherKeywords", kLine1 + kGeometry, "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"QuotedComma", "\"A,B\",\" C \",\"x, y\"\r\n" + kGeometry, "A,B", " C ", 1, 6, 22},
        GoodFile{"UnquotedTextTrimmed", "  WAVE0 , DELTA\t,comment\r\n" + kGeometry, "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"BlanksAroundQuotes", " \"WAVE0\" , \"DELTA\",\"c\"\r\n" + kGeometry, "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"BareLineFeeds", Replace(kLine1, "\r\n", "\n") + "1,2\n3,4\n5,6,7,8\n9,10,11,12\n"
                 "13,14,15,16\n17,18,19,20\n21,22\n", "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"BareCarriageReturns", "\"WAVE0\",\"DELTA\",\"c\"\r1,2\r3,4\r5,6,7,8\r9,10,11,12\r13,14,15,16\r"
                 "17,18,19,20\r21,22", "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"AllOnOneLine", "\"WAVE0\",\"DELTA\",\"c\",1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22",
                 "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"OneFieldPerLine", "WAVE0\r\nDELTA\r\nc\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n"
                 "11\r\n12\r\n13\r\n14\r\n15\r\n16\r\n17\r\n18\r\n19\r\n20\r\n21\r\n22", "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"BlankLinesSkipped", "\r\n" + kLine1 + "  \r\n\r\n" + kGeometry, "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"NoFinalLineEnd", kLine1 + kGeometry.substr(0, kGeometry.size() - 2), "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"TrailingFieldsIgnored", kLine1 + kGeometry + "junk,\"never closed\r\n", "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"TextAfterClosingQuoteIgnored", "\"WAVE0\"x,\"DELTA\" ,\"c\"\r\n" + kGeometry, "WAVE0", "DELTA",
                 1, 6, 22},
        GoodFile{"QuotedNumbers", kLine1 + Replace(kGeometry, "1,2", "\"1\",\" 2 \""), "WAVE0", "DELTA", 1, 6, 22},
        GoodFile{"SpacesAroundNumbers", kLine1 + Replace(kGeometry, "1,2", "  1 ,\t2"), "WAVE0", "DELTA", 1, 6,
                 22},
        GoodFile{"HdrTopKeepsFraction", kLine1 + Replace(kGeometry, "5,6", "5,512.5"), "WAVE0", "DELTA", 1, 512.5,
                 22},
        GoodFile{"HdrTopLeadingPoint", kLine1 + Replace(kGeometry, "5,6", "5,-.25"), "WAVE0", "DELTA", 1, -0.25, 22},
        GoodFile{"HdrTopBeyondInt16", kLine1 + Replace(kGeometry, "5,6", "5,1E6"), "WAVE0", "DELTA", 1, 1E6, 22},
        GoodFile{"HalfGoesToEvenDown", kLine1 + Replace(kGeometry, "1,2", "200.5,2"), "WAVE0", "DELTA", 200, 6, 22},
        GoodFile{"HalfGoesToEvenUp", kLine1 + Replace(kGeometry, "1,2", "201.5,2"), "WAVE0", "DELTA", 202, 6, 22},
        GoodFile{"NearestInteger", kLine1 + Replace(kGeometry, "21,22", "21,-7.6"), "WAVE0", "DELTA", 1, 6, -8},
        GoodFile{"PointWithoutDecimals", kLine1 + Replace(kGeometry, "21,22", "21,12."), "WAVE0", "DELTA", 1, 6, 12},
        GoodFile{"ExponentAndPlusSign", kLine1 + Replace(kGeometry, "21,22", "21,+1.5e2"), "WAVE0", "DELTA", 1, 6,
                 150},
        GoodFile{"Int16Extremes", kLine1 + Replace(kGeometry, "21,22", "21,-32768.5"), "WAVE0", "DELTA", 1, 6,
                 -32768},
        GoodFile{"NulBytesInText", std::string("\"W\0V\",\"D\",\"c\"\r\n", 15) + kGeometry, std::string("W\0V", 3),
                 "D", 1, 6, 22},
        GoodFile{"EmptyKeywords", "\"\",,\"\"\r\n" + kGeometry, "", "", 1, 6, 22},
        GoodFile{"HighBytesInText", "\"\xe9t\xe9\",\"\xff\",\"c\"\r\n" + kGeometry, "\xe9t\xe9", "\xff", 1, 6, 22}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadSettingsFile, EveryFieldLandsInItsPlace) {
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", kLine1 + kGeometry);
  SharedState state;
  ASSERT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  SharedState expected;
  SetNonDefaults(expected);
  expected.KeywordLambda0 = "WAVE0";
  expected.KeywordDispersion = "DELTA";
  expected.HdrTop = 6;
  EXPECT_EQ(SettingsFileText(state), SettingsFileText(expected));
}

TEST(ReadSettingsFile, MissingFileGivesDefaults) {
  TempDir dir;
  SharedState state;
  SetNonDefaults(state);
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ExpectDefaults(state);
}

TEST(ReadSettingsFile, OpensTheBareNameInTheCurrentDirectory) {
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", kLine1 + kGeometry);
  ScopedCurrentDir here(dir.path());
  SharedState state;
  EXPECT_TRUE(ReadSettingsFile(state));
  EXPECT_EQ(state.KeywordLambda0, "WAVE0");
}

TEST(ReadSettingsFile, ThingsThatAreNotRegularFilesGiveDefaults) {
  TempDir dir;
  fs::create_directory(dir / "Quillon3.ini");
  SharedState state;
  SetNonDefaults(state);
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ExpectDefaults(state);

  // A FIFO must neither hang the start-up nor be read.
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  SetNonDefaults(state);
  EXPECT_FALSE(ReadSettingsFile(state, dir / "fifo.ini"));
  ExpectDefaults(state);

  SetNonDefaults(state);
  EXPECT_FALSE(ReadSettingsFile(state, "/dev/zero"));
  ExpectDefaults(state);
}

TEST(ReadSettingsFile, UnreadableFileGivesDefaults) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", kLine1 + kGeometry);
  fs::permissions(dir / "Quillon3.ini", fs::perms::none);
  SharedState state;
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ExpectDefaults(state);
}

TEST(ReadSettingsFile, LongFieldsAreReadUpToABound) {
  TempDir dir;
  SharedState state;
  const std::string long_name(100000, 'K');
  WriteBytes(dir / "Quillon3.ini", "\"" + long_name + "\",DELTA,c\r\n" + kGeometry);
  ASSERT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  EXPECT_EQ(state.KeywordLambda0, long_name);

  // Fields that do not end within the first megabyte make a damaged file.
  WriteBytes(dir / "Quillon3.ini", "WAVE0,DELTA,c," + std::string(2 << 20, '7'));
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ExpectDefaults(state);
  WriteBytes(dir / "Quillon3.ini", "WAVE0,DELTA,\"" + std::string(2 << 20, 'c'));
  EXPECT_FALSE(ReadSettingsFile(state, dir / "Quillon3.ini"));

  // A valid file followed by a megabyte of anything is still read.
  WriteBytes(dir / "Quillon3.ini", kLine1 + kGeometry + std::string(2 << 20, 'x'));
  EXPECT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  EXPECT_EQ(state.AboutTop, 22);
}

// ---- Writing --------------------------------------------------------------

TEST(WriteSettingsFile, DefaultStateWritesTheDefaultFileByteForByte) {
  TempDir dir;
  SharedState state;
  ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), kDefaultFile);
}

TEST(WriteSettingsFile, WritesIntoTheCurrentDirectoryAndLeavesNoTemporaryFile) {
  TempDir dir;
  ScopedCurrentDir here(dir.path());
  SharedState state;
  state.MainLeft = 1234;
  state.MainTop = -15;
  ASSERT_EQ(WriteSettingsFile(state), "");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quillon3.ini"});
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), Replace(kDefaultFile, "200,200", "1234,-15"));
}

TEST(WriteSettingsFile, RoundTripKeepsEveryField) {
  TempDir dir;
  SharedState written;
  SetNonDefaults(written);
  written.KeywordLambda0 = std::string("CR, \"VAL\"\r\n\0\xe9", 14);  // quotes and line ends cannot be kept
  written.KeywordDispersion = "  spaced  ";
  written.MainLeft = -32768;
  written.MainTop = 32767;
  written.HdrTop = 512.5;
  ASSERT_EQ(WriteSettingsFile(written, dir / "Quillon3.ini"), "");

  SharedState read;
  ASSERT_TRUE(ReadSettingsFile(read, dir / "Quillon3.ini"));
  EXPECT_EQ(read.KeywordLambda0, std::string("CR, VAL\0\xe9", 10));
  EXPECT_EQ(read.KeywordDispersion, "  spaced  ");
  EXPECT_EQ(read.MainLeft, -32768);
  EXPECT_EQ(read.MainTop, 32767);
  EXPECT_EQ(read.HdrTop, 512.5);
  written.KeywordLambda0 = read.KeywordLambda0;
  EXPECT_EQ(SettingsFileText(read), SettingsFileText(written));
}

TEST(WriteSettingsFile, CustomKeywordsAreWrittenBackUnchanged) {
  TempDir dir;
  const std::string line1 = "\"WAVE0\",\"DELTA\",\"Names for Lambda0 and dLambda/dp, resp.\"\r\n";
  WriteBytes(dir / "Quillon3.ini", line1 + kDefaultFile.substr(kDefaultFile.find('\n') + 1));
  SharedState state;
  ASSERT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini"));
  ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), line1 + kDefaultFile.substr(kDefaultFile.find('\n') + 1));
}

// A name read from an unquoted field may hold a double quote; it is written
// back unquoted, so the next run reads the same name.
TEST(WriteSettingsFile, AKeywordWithAQuoteFromAnUnquotedFieldIsKeptExactly) {
  const struct {
    std::string field;  // as the file holds it
    std::string name;   // as read
    std::string written;
  } cases[] = {
      {"WAVE\"0", "WAVE\"0", "WAVE\"0"},
      {"  WA\"VE\"  ", "WA\"VE\"", "WA\"VE\""},
      {"X\"", "X\"", "X\""},
      {"\"WAVE0\"", "WAVE0", "\"WAVE0\""},
      {"WAVE0", "WAVE0", "\"WAVE0\""},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteBytes(dir / "Quillon3.ini", c.field + ",DELTA,\"comment\"\r\n" + kGeometry);
    SharedState state;
    ASSERT_TRUE(ReadSettingsFile(state, dir / "Quillon3.ini")) << c.field;
    EXPECT_EQ(state.KeywordLambda0, c.name);
    ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
    EXPECT_EQ(ReadBytes(dir / "Quillon3.ini").substr(0, c.written.size() + 1), c.written + ",") << c.field;
    SharedState again;
    ASSERT_TRUE(ReadSettingsFile(again, dir / "Quillon3.ini")) << c.field;
    EXPECT_EQ(again.KeywordLambda0, c.name);
    EXPECT_EQ(again.KeywordDispersion, "DELTA");
    EXPECT_EQ(SettingsFileText(again), SettingsFileText(state));
  }
}

TEST(WriteSettingsFile, HdrTopIsAPlainNumber) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {500, "500"},
      {512.5, "512.5"},
      {-7.25, "-7.25"},
      {0.5, "0.5"},
      {-0.0, "0"},
      {1E20, "100000000000000000000"},
      {0.1, "0.1"},
      {std::numeric_limits<double>::quiet_NaN(), "500"},  // a NaN would spoil the next read
      {std::numeric_limits<double>::infinity(), "500"},
  };
  for (const auto& c : cases) {
    SharedState state;
    state.HdrTop = c.value;
    EXPECT_EQ(SettingsFileText(state), Replace(kDefaultFile, "500,500,3000", std::string("500,") + c.text + ",3000"))
        << c.value;
  }
}

TEST(WriteSettingsFile, ReplacesTheOldFileAndKeepsItsPermissions) {
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", std::string(5000, 'x'));
  ::chmod((dir / "Quillon3.ini").c_str(), 0640);
  SharedState state;
  ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), kDefaultFile);
  struct stat info {};
  ASSERT_EQ(::stat((dir / "Quillon3.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A link named "Quillon3.ini" is replaced by a regular file; the file it
// points to is never opened, whoever owns it and wherever it lies.
TEST(WriteSettingsFile, ReplacesASymbolicLinkItselfAndNeverWritesThroughIt) {
  TempDir dir;
  fs::create_directory(dir / "real");
  WriteBytes(dir / "real" / "notes.txt", "someone's notes");
  ::chmod((dir / "real" / "notes.txt").c_str(), 0600);
  const struct {
    const char* name;
    std::string target;
  } links[] = {
      {"relative", "real/notes.txt"},
      {"absolute", (dir / "real" / "notes.txt").string()},
      {"dangling", (dir / "real" / "created.txt").string()},  // must not be created
      {"to a folder", (dir / "real").string()},
  };
  for (const auto& link : links) {
    fs::create_symlink(link.target, dir / "Quillon3.ini");
    SharedState state;
    ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "") << link.name;
    EXPECT_FALSE(fs::is_symlink(dir / "Quillon3.ini")) << link.name;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "Quillon3.ini"))) << link.name;
    EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), kDefaultFile) << link.name;
    EXPECT_EQ(ReadBytes(dir / "real" / "notes.txt"), "someone's notes") << link.name;
    EXPECT_EQ(FolderEntries(dir / "real"), std::vector<std::string>{"notes.txt"}) << link.name;
    struct stat info {};
    ASSERT_EQ(::stat((dir / "real" / "notes.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << link.name;
    fs::remove(dir / "Quillon3.ini");
  }
}

// A sticky, world-writable folder where another user planted the link towards
// a file of theirs: as root the rename replaces the link, and the other
// user's file stays byte for byte.
TEST(WriteSettingsFile, ALinkPlantedInAStickySharedFolderLeavesTheOtherOwnersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another owner";
  TempDir dir;
  const fs::path shared = dir / "shared";
  fs::create_directory(shared);
  ::chmod(shared.c_str(), 01777);
  const uid_t nobody = 65534;
  WriteBytes(dir / "victim.txt", "the victim's file\n");
  ASSERT_EQ(::chown((dir / "victim.txt").c_str(), nobody, nobody), 0);
  fs::create_symlink(dir / "victim.txt", shared / "Quillon3.ini");
  ASSERT_EQ(::lchown((shared / "Quillon3.ini").c_str(), nobody, nobody), 0);

  ScopedCurrentDir here(shared);
  SharedState state;
  ASSERT_EQ(WriteSettingsFile(state), "");
  EXPECT_EQ(ReadBytes(dir / "victim.txt"), "the victim's file\n");
  struct stat info {};
  ASSERT_EQ(::lstat((shared / "Quillon3.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(ReadBytes(shared / "Quillon3.ini"), kDefaultFile);
  EXPECT_EQ(FolderEntries(shared), std::vector<std::string>{"Quillon3.ini"});

  // The other way round: an ordinary user's write meets a link that another
  // user (root here) planted. The sticky folder forbids replacing it, so the
  // write fails with a reason; nothing is written through it.
  fs::remove(shared / "Quillon3.ini");
  WriteBytes(dir / "root.txt", "root's file\n");
  fs::create_symlink(dir / "root.txt", shared / "Quillon3.ini");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
    const std::string reason = WriteSettingsFile(SharedState{}, shared / "Quillon3.ini");
    ::_exit(reason == "Operation not permitted" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(dir / "root.txt"), "root's file\n");
  EXPECT_TRUE(fs::is_symlink(shared / "Quillon3.ini"));
  EXPECT_EQ(FolderEntries(shared), std::vector<std::string>{"Quillon3.ini"});
}

TEST(WriteSettingsFile, AFifoOrOtherSpecialFileStaysAndFailsTheWrite) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "Quillon3.ini").c_str(), 0600), 0);
  SharedState state;
  EXPECT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "Not a regular file");
  struct stat info {};
  ASSERT_EQ(::lstat((dir / "Quillon3.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quillon3.ini"});
}

// A temporary file is left behind when the program is killed during the
// write; the next successful write in that folder removes those of processes
// that no longer run, and nothing else.
TEST(WriteSettingsFile, RemovesTheTemporaryFilesOfEndedWritersOnly) {
  TempDir dir;
  const pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string gone = std::to_string(ended);
  const std::string running = std::to_string(::getppid());
  const std::string self = std::to_string(::getpid());

  WriteBytes(dir / "elsewhere.txt", "kept");
  const std::vector<std::string> removed = {"Quillon3.ini." + gone + ".0.tmp", "Quillon3.ini." + gone + ".17.tmp"};
  const std::vector<std::string> kept_files = {
      "Quillon3.ini." + running + ".0.tmp",       // its writer still runs
      "Quillon3.ini." + self + ".99.tmp",         // this process's own
      "Quillon3.ini." + gone + ".tmp",            // no number
      "Quillon3.ini." + gone + ".0.tmp.bak",      // not the exact form
      "Quillon3.ini." + gone + ".x.tmp",
      "Quillon3.ini.0" + gone + ".0.tmp",         // the writer prints no leading zero
      "Quillon3.ini." + gone + ".00.tmp",
      "Quillon3.ini.-" + gone + ".0.tmp",
      "Quillon3.ini." + gone + ".0.TMP",
      "other.ini." + gone + ".0.tmp",
      "Quillon3.ini" + gone + ".0.tmp",
  };
  for (const std::string& name : removed) WriteBytes(dir / name, "partial");
  for (const std::string& name : kept_files) WriteBytes(dir / name, "partial");
  // A link and a folder of the stale form stay, and so does what the link points to.
  const std::string link = "Quillon3.ini." + gone + ".1.tmp";
  const std::string folder = "Quillon3.ini." + gone + ".2.tmp";
  fs::create_symlink(dir / "elsewhere.txt", dir / link);
  fs::create_directory(dir / folder);

  SharedState state;
  ASSERT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  std::vector<std::string> expected = kept_files;
  expected.insert(expected.end(), {"Quillon3.ini", "elsewhere.txt", link, folder});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderEntries(dir.path()), expected);
  EXPECT_EQ(ReadBytes(dir / "elsewhere.txt"), "kept");
  EXPECT_TRUE(fs::is_symlink(dir / link));

  // A write that fails leaves every file as it was.
  for (const std::string& name : removed) WriteBytes(dir / name, "partial");
  fs::remove(dir / "Quillon3.ini");
  fs::create_directory(dir / "Quillon3.ini");
  EXPECT_NE(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  for (const std::string& name : removed) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

TEST(WriteSettingsFile, MissingFolderGivesTheReason) {
  TempDir dir;
  SharedState state;
  EXPECT_EQ(WriteSettingsFile(state, dir / "no such folder" / "Quillon3.ini"), "No such file or directory");
}

TEST(WriteSettingsFile, AFolderInTheWayStaysAndNoTemporaryFileRemains) {
  TempDir dir;
  fs::create_directories(dir / "Quillon3.ini" / "inside");
  SharedState state;
  EXPECT_NE(WriteSettingsFile(state, dir / "Quillon3.ini"), "");
  EXPECT_TRUE(fs::is_directory(dir / "Quillon3.ini" / "inside"));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quillon3.ini"});
}

TEST(WriteSettingsFile, AFailedWriteLeavesTheOldFileIntact) {
  // A file size limit makes the write fail part-way, as a full disk would.
  TempDir dir;
  const std::string old_content = kLine1 + kGeometry;
  WriteBytes(dir / "Quillon3.ini", old_content);

  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 40;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  SharedState state;
  const std::string reason = WriteSettingsFile(state, dir / "Quillon3.ini");
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(reason, "File too large");
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), old_content);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Quillon3.ini"});
}

TEST(WriteSettingsFile, ReadOnlyFolderGivesTheReasonAndKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  WriteBytes(dir / "Quillon3.ini", "old");
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  SharedState state;
  EXPECT_EQ(WriteSettingsFile(state, dir / "Quillon3.ini"), "Permission denied");
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(dir / "Quillon3.ini"), "old");
}

TEST(SettingsWriteFailureMessage, NamesTheAbsoluteFileAndTheReason) {
  TempDir dir;
  ScopedCurrentDir here(dir.path());
  const std::string text = SettingsWriteFailureMessage("Quillon3.ini", "Permission denied");
  const std::string absolute = (fs::current_path() / "Quillon3.ini").string();
  EXPECT_NE(text.find("\"" + absolute + "\""), std::string::npos) << text;
  EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
  EXPECT_NE(SettingsWriteFailureMessage("Quillon3.ini", "").find("unknown error"), std::string::npos);
}

TEST(SettingsWriteFailureMessage, ADeletedCurrentFolderIsStillNamedInFull) {
  TempDir dir;
  fs::create_directory(dir / "gone");
  ScopedCurrentDir here(dir / "gone");
  fs::remove(dir / "gone");
  SharedState state;
  const std::string reason = WriteSettingsFile(state);
  EXPECT_EQ(reason, "No such file or directory");
  const std::string text = SettingsWriteFailureMessage(kSettingsFileName, reason);
  EXPECT_NE(text.find("\"" + (dir / "gone" / "Quillon3.ini").string() + "\""), std::string::npos) << text;
}

TEST(ApplyDefaultSettings, RestoresEverySettingAndNothingElse) {
  SharedState state;
  SetNonDefaults(state);
  state.CurrentSlot = 7;
  state.FitsDirectory = "/data";
  ApplyDefaultSettings(state);
  ExpectDefaults(state);
  EXPECT_EQ(state.CurrentSlot, 7);
  EXPECT_EQ(state.FitsDirectory, "/data");
}

}  // namespace
}  // namespace quillon
