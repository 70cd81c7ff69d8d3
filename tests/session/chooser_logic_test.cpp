#include "session/chooser_logic.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>

#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ScopedCurrentDir;
using testing::TempDir;

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

// ---- Size rules ------------------------------------------------------------

struct LayoutCase {
  const char* name;
  double width, height;
  ChooserLayout expected;
};

const LayoutCase kLayoutCases[] = {
    // At the minimum the columns shrink by half of 7830 - 6525 each.
    {"Minimum", 6525, 3540, {2362.5, 1440, 2430, 2670, 2707.5, 2002.5, 1650, 2430, 2670, 4935}},
    // At 7830 wide the columns have their design widths.
    {"Width7830", 7830, 5445, {3015, 3345, 4335, 4575, 3360, 2655, 3555, 4335, 4575, 6240}},
    // 2000 twips beyond 7830: 1000 more for each column.
    {"Wide", 9830, 6000, {4015, 3900, 4890, 5130, 4360, 3655, 4110, 4890, 5130, 8240}},
    {"OddWidth", 7831, 3541, {3015.5, 1441, 2431, 2671, 3360.5, 2655.5, 1651, 2431, 2671, 6241}},
};

class ChooserLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ChooserLayoutTest, ControlsFollowTheWindow) {
  const LayoutCase& c = GetParam();
  const ChooserLayout got = ComputeChooserLayout(c.width, c.height);
  const ChooserLayout& want = c.expected;
  EXPECT_DOUBLE_EQ(got.left_column_width, want.left_column_width);
  EXPECT_DOUBLE_EQ(got.file_list_height, want.file_list_height);
  EXPECT_DOUBLE_EQ(got.type_label_top, want.type_label_top);
  EXPECT_DOUBLE_EQ(got.type_list_top, want.type_list_top);
  EXPECT_DOUBLE_EQ(got.right_column_left, want.right_column_left);
  EXPECT_DOUBLE_EQ(got.right_column_width, want.right_column_width);
  EXPECT_DOUBLE_EQ(got.folder_list_height, want.folder_list_height);
  EXPECT_DOUBLE_EQ(got.drive_label_top, want.drive_label_top);
  EXPECT_DOUBLE_EQ(got.drive_list_top, want.drive_list_top);
  EXPECT_DOUBLE_EQ(got.button_left, want.button_left);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChooserLayoutTest, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChooserSizeTest, SnapsEachDimensionToItsMinimum) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double width, height, want_width, want_height;
  };
  const Case cases[] = {
      {6000, 3000, 6525, 3540}, {7000, 3000, 7000, 3540}, {6000, 4000, 6525, 4000},
      {7000, 4000, 7000, 4000}, {6525, 3540, 6525, 3540}, {6524.9, 3539.9, 6525, 3540},
      {-100, 0, 6525, 3540},    {nan, nan, 6525, 3540},   {inf, -inf, 6525, 3540},
  };
  for (const Case& c : cases) {
    const ChooserSize got = SnapChooserSize(c.width, c.height);
    EXPECT_EQ(got.width, c.want_width) << c.width << " x " << c.height;
    EXPECT_EQ(got.height, c.want_height) << c.width << " x " << c.height;
  }
}

TEST(ChooserSizeTest, SizesBelowTheMinimumAreLaidOutAsTheMinimum) {
  const ChooserLayout minimum = ComputeChooserLayout(kChooserMinWidth, kChooserMinHeight);
  for (const double width : {0.0, -5000.0, std::numeric_limits<double>::quiet_NaN()}) {
    const ChooserLayout got = ComputeChooserLayout(width, width);
    EXPECT_EQ(got.left_column_width, minimum.left_column_width);
    EXPECT_EQ(got.file_list_height, minimum.file_list_height);
    EXPECT_EQ(got.button_left, minimum.button_left);
    EXPECT_GT(got.right_column_width, 0);
    EXPECT_GT(got.folder_list_height, 0);
  }
}

// ---- Patterns and sorting ------------------------------------------------------

TEST(MatchesPatternTest, Table) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case cases[] = {
      {"star.fts", "*.fts", true},    {"STAR.FTS", "*.fts", true},     {"Star.Fts", "*.FTS", true},
      {"star.fits", "*.fts", false},  {"star.fts", "*.fits", false},   {"star.fit", "*.fit", true},
      {"star.fits", "*.fit", false},  {"star.fts.gz", "*.fts", false}, {"fts", "*.fts", false},
      {".fts", "*.fts", true},        {"README", "*.*", true},         {"a.b.c", "*.*", true},
      {"", "*.*", true},              {"ab.fts", "?b.fts", true},      {"b.fts", "?b.fts", false},
      {"banana.fts", "*an*.fts", true}, {"bnn.fts", "*an*.fts", false}, {"abc", "a*c*", true},
      {"", "*", true},                {"", "?", false},                {"x", "", false},
      {"aaab", "*a*b", true},         {"aaac", "*a*b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches) << '"' << c.name << "\" against \"" << c.pattern << '"';
  }
}

TEST(MatchesFileTypeTest, FitsPatternsListTheirCompressedFilesToo) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case cases[] = {
      {"star.fts.gz", "*.fts", true},     {"STAR.FITS.GZ", "*.fits", true},  {"star.fit.gz", "*.fits", false},
      {"star.fits.gz", "*.fits.gz", true}, {"star.fits", "*.fits.gz", false}, {"star.fts.gz", "*.fits.gz", false},
      {"notes.txt.gz", "*.fits", false},  {".gz", "*.fts", false},          {"star.fts.gz.gz", "*.fts", false},
      {"star.fts", "*.fts", true},        {"star.gz", "*.*", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesFileType(c.name, c.pattern), c.matches) << '"' << c.name << "\" against \"" << c.pattern << '"';
  }
}

TEST(SortAsFileListTest, IgnoresCaseAndKeepsCaseTwinsInByteOrder) {
  std::vector<std::string> names = {"b.fts", "C.fts", "a.fts", "B.fts", "A.FTS", "a.FTS", "_x", "10", "9"};
  SortAsFileList(names);
  // Compared in lower case, so '_' (0x5F) comes before every letter.
  const std::vector<std::string> want = {"10", "9", "_x", "A.FTS", "a.FTS", "a.fts", "B.fts", "b.fts", "C.fts"};
  EXPECT_EQ(names, want);
}

// ---- Folder contents -------------------------------------------------------------

TEST(ListMatchingFilesTest, ListsMatchingFilesSortedWithoutFoldersOrHiddenFiles) {
  TempDir dir;
  for (const char* name : {"b.fts", "A.FTS", "c.fit", "d.fits", "notes.txt", ".hidden.fts"}) Touch(dir / name);
  fs::create_directory(dir / "folder.fts");
  fs::create_symlink(dir / "b.fts", dir / "link.fts");
  fs::create_symlink(dir / "missing", dir / "broken.fts");

  struct Case {
    const char* pattern;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"*.fts", {"A.FTS", "b.fts", "link.fts"}},
      {"*.fit", {"c.fit"}},
      {"*.fits", {"d.fits"}},
      {"*.*", {"A.FTS", "b.fts", "c.fit", "d.fits", "link.fts", "notes.txt"}},
      {"*.gz", {}},
  };
  for (const Case& c : cases) {
    const FolderNames got = ListMatchingFiles(dir.path().string(), c.pattern);
    ASSERT_TRUE(got.ok()) << got.error;
    EXPECT_EQ(got.names, c.want) << c.pattern;
  }
}

// ---- Typed names and the spectra of a file ------------------------------------------

TEST(ResolveChosenNameTest, PathsBecomeTheirFolderAndNameAndAddressesKeepTheirSelector) {
  TempDir dir;
  const std::string here = dir.path().string();
  fs::create_directory(dir / "night2");
  Touch(dir / "night2" / "odd[1]");  // a real file whose name ends in ']'
  struct Case {
    std::string typed;
    ChosenName want;
  };
  const Case cases[] = {
      {"star.fits", {here, "star.fits"}},
      {"x1d.fits[SCI][row 3]", {here, "x1d.fits[SCI][row 3]"}},
      {"x.fits[col A/B]", {here, "x.fits[col A/B]"}},  // a separator inside the selector is no path
      {"night2/z.fits", {here + "/night2", "z.fits"}},
      {"./night2/../night2/z.fits[2]", {here + "/night2", "z.fits[2]"}},
      {"night2/odd[1]", {here + "/night2", "odd[1]"}},
      {"/data/x1d.fits[SCI][row 2]", {"/data", "x1d.fits[SCI][row 2]"}},
      {"/x.fits[COADD]", {"/", "x.fits[COADD]"}},
      {"night2/", {here, "night2/"}},
      {"", {here, ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveChosenName(here, c.typed), c.want) << c.typed;

  const FileAndSelector odd = SplitChosenName(here + "/night2", "odd[1]");
  EXPECT_EQ(odd.file, "odd[1]");
  EXPECT_EQ(odd.selector, "");
  const FileAndSelector address = SplitChosenName(here, "night2/z.fits[EXTRACT1D,2]");
  EXPECT_EQ(address.file, "night2/z.fits");
  EXPECT_EQ(address.selector, "[EXTRACT1D,2]");

  // The file listed while an address is typed.
  Touch(dir / "night2" / "x1d.fits");
  struct Listed {
    std::string typed, file, selector;
  };
  const Listed listed[] = {
      {"night2/x1d.fits", "night2/x1d.fits", ""},
      {"night2/x1d.fits[SCI][row 1]", "night2/x1d.fits", "[SCI][row 1]"},
      {"night2/x1d.fits[SCI][ro", "night2/x1d.fits", "[SCI][ro"},
      {"night2/odd[1]", "night2/odd[1]", ""},
      {"night2/odd[1][2", "night2/odd[1]", "[2"},
      {"night2/x1d.fit", "", ""},
      {"[1]", "", ""},
  };
  for (const Listed& c : listed) {
    const FileAndSelector got = ListedFileOfName(here, c.typed);
    EXPECT_EQ(got.file, c.file) << c.typed;
    EXPECT_EQ(got.selector, c.selector) << c.typed;
  }
}

TEST(ListSpectrumChoicesTest, OnlyAFileWithSeveralSpectraIsListed) {
  TempDir dir;
  testing::WriteImageExtensions(dir / "arms.fits", {{"BLUE", 4000}, {"RED", 6000}});
  testing::WriteImageExtensions(dir / "one.fits", {{"ONLY", 5000}});
  ASSERT_EQ(std::system(("gzip -c '" + (dir / "arms.fits").string() + "' > '" + (dir / "arms.fits.gz").string() + "'")
                            .c_str()),
            0);
  std::string bytes;
  {
    std::ifstream in(dir / "arms.fits", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  testing::WriteBytes(dir / "cut.fits", std::string_view(bytes).substr(0, 2880 * 2 + 100));
  Touch(dir / "text.fits");

  for (const char* name : {"arms.fits", "arms.fits.gz"}) {
    const std::vector<SpectrumChoice> got = ListSpectrumChoices((dir / name).string(), name);
    ASSERT_EQ(got.size(), 2u) << name;
    EXPECT_EQ(got[0].selector, "[BLUE]");
    EXPECT_EQ(got[1].selector, "[RED]");
    EXPECT_EQ(got[1].samples, 100);
    EXPECT_EQ(got[1].range, "6000.0 \u2013 6198.0");
    EXPECT_EQ(got[1].flux_unit, "erg/s/cm2/A");
    EXPECT_FALSE(got[1].errors);
  }
  // An echelle table's orders, then all of them in one row.
  const std::string stis = std::string(TEST_DATA_DIR) + "/layouts/stis-x1d.fits";
  const std::vector<SpectrumChoice> orders = ListSpectrumChoices(stis, "stis-x1d.fits");
  ASSERT_EQ(orders.size(), 4u);
  EXPECT_EQ(orders[2].selector, "[SCI][row 2]");
  EXPECT_EQ(orders[3].selector, "[SCI][all]");
  EXPECT_EQ(orders[3].samples, orders[0].samples + orders[1].samples + orders[2].samples);
  EXPECT_EQ(orders[3].range, "2000.0 \u2013 2104.5");
  EXPECT_TRUE(orders[3].errors);
  // One spectrum, none, a broken file, no file: no list.
  for (const char* name : {"one.fits", "cut.fits", "text.fits", "missing.fits"}) {
    EXPECT_TRUE(ListSpectrumChoices((dir / name).string(), name).empty()) << name;
  }
}

TEST(ListSubfoldersTest, ListsFoldersAndLinksToFoldersSorted) {
  TempDir dir;
  for (const char* name : {"Zeta", "alpha", "beta", ".git"}) fs::create_directory(dir / name);
  Touch(dir / "file");
  fs::create_directory_symlink(dir / "beta", dir / "Gamma");
  const FolderNames got = ListSubfolders(dir.path().string());
  ASSERT_TRUE(got.ok()) << got.error;
  EXPECT_EQ(got.names, (std::vector<std::string>{"alpha", "beta", "Gamma", "Zeta"}));
}

TEST(FolderReadErrorTest, UnreadableFoldersAreReportedByNameWithTheReason) {
  TempDir dir;
  Touch(dir / "plain.fts");
  const std::string missing = (dir / "gone").string();
  const std::string file = (dir / "plain.fts").string();

  struct Case {
    std::string folder;
    std::string reason;
  };
  std::vector<Case> cases = {{missing, "No such file or directory"}, {file, "not a folder"}, {"", "no folder"}};
  const fs::path locked = dir / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms::none);
  if (geteuid() != 0) cases.push_back({locked.string(), "Permission denied"});  // root reads everything

  for (const Case& c : cases) {
    for (const FolderNames& got : {ListMatchingFiles(c.folder, "*.*"), ListSubfolders(c.folder)}) {
      EXPECT_FALSE(got.ok()) << c.folder;
      EXPECT_TRUE(got.names.empty());
      EXPECT_NE(got.error.find("\"" + c.folder + "\""), std::string::npos) << got.error;
      EXPECT_NE(got.error.find(c.reason), std::string::npos) << got.error;
    }
    const FolderList list = BuildFolderList(c.folder);
    EXPECT_FALSE(list.ok()) << c.folder;
    EXPECT_TRUE(list.entries.empty());
  }
}

// ---- Folder list -------------------------------------------------------------------

TEST(NormalizeFolderPathTest, Table) {
  TempDir dir;
  ScopedCurrentDir here(dir.path());
  const std::string cwd = fs::current_path().string();
  struct Case {
    std::string path, want;
  };
  const Case cases[] = {
      {"/", "/"},          {"/a/b/", "/a/b"}, {"/a/./b/../c", "/a/c"}, {"/a//b", "/a/b"},
      {"sub", cwd + "/sub"}, {".", cwd},      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeFolderPath(c.path), c.want) << '"' << c.path << '"';
}

TEST(BuildFolderListTest, AncestorsThenSubfoldersOneLevelDeeper) {
  TempDir dir;
  const fs::path here = dir / "obs" / "night1";
  fs::create_directories(here / "red");
  fs::create_directories(here / "Blue");
  Touch(here / "star.fts");

  const FolderList list = BuildFolderList(here.string() + "/");
  ASSERT_TRUE(list.ok()) << list.error;
  EXPECT_EQ(list.path, here.string());

  // Root first, then each component of the path, each one level deeper.
  ASSERT_GE(list.entries.size(), 3u);
  EXPECT_EQ(list.entries[0].name, "/");
  EXPECT_EQ(list.entries[0].path, "/");
  EXPECT_EQ(list.entries[0].depth, 0);
  const FolderEntry& current = list.entries.at(list.current);
  EXPECT_EQ(current.name, "night1");
  EXPECT_EQ(current.path, here.string());
  EXPECT_TRUE(current.open);
  const FolderEntry& parent = list.entries.at(list.current - 1);
  EXPECT_EQ(parent.name, "obs");
  EXPECT_EQ(parent.path, (dir / "obs").string());
  EXPECT_EQ(parent.depth + 1, current.depth);
  for (std::size_t i = 0; i <= list.current; ++i) {
    EXPECT_TRUE(list.entries[i].open);
    EXPECT_EQ(list.entries[i].depth, static_cast<int>(i));
  }

  ASSERT_EQ(list.entries.size(), list.current + 3);
  const FolderEntry& blue = list.entries[list.current + 1];
  const FolderEntry& red = list.entries[list.current + 2];
  EXPECT_EQ(blue.name, "Blue");
  EXPECT_EQ(red.name, "red");
  EXPECT_EQ(red.path, (here / "red").string());
  EXPECT_EQ(red.depth, current.depth + 1);
  EXPECT_FALSE(red.open);
}

TEST(BuildFolderListTest, RootHasOneAncestorLine) {
  const FolderList list = BuildFolderList("/");
  ASSERT_TRUE(list.ok()) << list.error;
  EXPECT_EQ(list.current, 0u);
  ASSERT_FALSE(list.entries.empty());
  EXPECT_EQ(list.entries[0].name, "/");
  for (std::size_t i = 1; i < list.entries.size(); ++i) {
    EXPECT_EQ(list.entries[i].depth, 1);
    EXPECT_EQ(list.entries[i].path, "/" + list.entries[i].name);
  }
}

// ---- Drives ----------------------------------------------------------------------------

TEST(ParseMountPointsTest, KeepsRealVolumesRootFirst) {
  const char* kMounts =
      "proc /proc proc rw,relatime 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "cgroup /sys/fs/cgroup/cpu cgroup rw,cpu 0 0\n"
      "devtmpfs /dev devtmpfs rw 0 0\n"
      "tmpfs /dev/shm tmpfs rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
      "/dev/vda / ext4 rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "/dev/loop3 /snap/core/123 squashfs ro 0 0\n"
      "/dev/vda /dev/termination-log ext4 rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "server:/export /data nfs4 rw 0 0\n"
      "broken line\n"
      "\n";
  EXPECT_EQ(ParseMountPoints(kMounts), (std::vector<std::string>{"/", "/data", "/home", "/media/usb stick"}));
}

TEST(ParseMountPointsTest, RootIsAlwaysThere) {
  EXPECT_EQ(ParseMountPoints(""), std::vector<std::string>{"/"});
  EXPECT_EQ(ParseMountPoints("proc /proc proc rw 0 0\n/dev/sdc1 /mnt/disk/ ext4 rw 0 0\n"),
            (std::vector<std::string>{"/", "/mnt/disk"}));
}

TEST(ListDrivesTest, ThisMachineOffersTheRootFirstAndEachVolumeOnce) {
  const std::vector<std::string> drives = ListDrives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front(), "/");
  std::vector<std::string> sorted = drives;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  for (const std::string& drive : drives) {
    EXPECT_NE(drive.rfind("/proc", 0), 0u) << drive;
    EXPECT_TRUE(fs::is_directory(drive)) << drive;
  }
}

TEST(DriveIndexOfPathTest, LongestWholeComponentPrefixWins) {
  const std::vector<std::string> drives = {"/", "/home", "/home/user/data", "/media"};
  struct Case {
    const char* path;
    std::size_t want;
  };
  const Case cases[] = {{"/", 0},           {"/usr/share", 0},           {"/home", 1},
                        {"/home/user/x", 1}, {"/home/user/data/obs", 2}, {"/homework", 0},
                        {"/media", 3},      {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(DriveIndexOfPath(drives, c.path), c.want) << c.path;
  EXPECT_EQ(DriveIndexOfPath({}, "/home"), 0u);
}

}  // namespace
}  // namespace quillon
