// Export file names and ReplacingFile on the real file system.
#include "session/export_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool Write(ReplacingFile& file, const std::string& text) {
  return ::write(file.Descriptor(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Names in the folder, the temporary files included (they start with a dot).
std::size_t EntryCount(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ExportFileTest, TheExtensionChoosesTheFormat) {
  const struct {
    const char* path;
    std::optional<ExportFormat> format;
  } cases[] = {
      {"plot.png", ExportFormat::kPng},       {"/a/b/plot.PNG", ExportFormat::kPng},
      {"plot.svg", ExportFormat::kSvg},       {"x.Svg", ExportFormat::kSvg},
      {"plot.pdf", ExportFormat::kPdf},       {"/tmp/a.b.pdf", ExportFormat::kPdf},
      {"plot", std::nullopt},                 {"plot.", std::nullopt},
      {"plot.jpg", std::nullopt},             {"plot.png.txt", std::nullopt},
      {".png", std::nullopt},                 {"/folder.pdf/plot", std::nullopt},
      {"", std::nullopt},                     {"plot.pngx", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ExportFormatForPath(c.path), c.format) << c.path;
}

TEST(ExportFileTest, ProposedPathsAndMessages) {
  EXPECT_EQ(ProposedFilePath("/data/spectra", "plot.pdf"), "/data/spectra/plot.pdf");
  EXPECT_EQ(ProposedFilePath("/data/spectra/", "plot.png"), "/data/spectra/plot.png");
  EXPECT_EQ(ProposedFilePath("", "plot.pdf"), "plot.pdf");
  EXPECT_EQ(ExportFormatMessage("/t/plot.jpg"),
            "The plot cannot be exported to \"/t/plot.jpg\": the file name must end in .png, .svg or .pdf, which "
            "chooses the format (PNG image, SVG drawing or PDF document). Nothing was written.");
  EXPECT_EQ(ExportFailureMessage("/t/x.png", "Permission denied"),
            "The plot could not be exported to \"/t/x.png\": Permission denied. Nothing was written.");
  EXPECT_EQ(PrintFailureForErrno(ENOENT), PrintFailure::kFolderMissing);
  EXPECT_EQ(PrintFailureForErrno(ENOTDIR), PrintFailure::kFolderMissing);
  EXPECT_EQ(PrintFailureForErrno(EACCES), PrintFailure::kPermissionDenied);
  EXPECT_EQ(PrintFailureForErrno(EROFS), PrintFailure::kPermissionDenied);
  EXPECT_EQ(PrintFailureForErrno(EISDIR), PrintFailure::kFileAccess);
  EXPECT_EQ(PrintFailureForErrno(ENOSPC), PrintFailure::kFileAccess);
}

TEST(ReplacingFileTest, TheTargetAppearsWholeOnlyAtCommit) {
  testing::TempDir dir;
  const fs::path target = dir / "plot.svg";
  WriteText(target, "old");
  ReplacingFile file;
  ASSERT_EQ(file.Create(target.string()), 0);
  EXPECT_EQ(fs::path(file.TemporaryPath()).parent_path(), dir.path()) << "beside the target";
  ASSERT_TRUE(Write(file, "new content"));
  EXPECT_EQ(ReadAll(target), "old") << "nothing reaches the target before the commit";
  EXPECT_EQ(file.Commit(), 0);
  EXPECT_EQ(ReadAll(target), "new content");
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "no temporary file is left";
}

TEST(ReplacingFileTest, AFileNotCommittedLeavesNothingBehind) {
  testing::TempDir dir;
  const fs::path target = dir / "plot.png";
  {
    ReplacingFile file;
    ASSERT_EQ(file.Create(target.string()), 0);
    ASSERT_TRUE(Write(file, "half"));
  }
  EXPECT_EQ(EntryCount(dir.path()), 0u);
  WriteText(target, "kept");
  ReplacingFile file;
  ASSERT_EQ(file.Create(target.string()), 0);
  file.Discard();
  EXPECT_EQ(ReadAll(target), "kept");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(ReplacingFileTest, ALinkAtTheTargetIsReplacedNotFollowed) {
  testing::TempDir dir;
  const fs::path victim = dir / "victim.txt";
  WriteText(victim, "someone else's file");
  const fs::path target = dir / "plot.pdf";
  fs::create_symlink(victim, target);
  ReplacingFile file;
  ASSERT_EQ(file.Create(target.string()), 0);
  ASSERT_TRUE(Write(file, "%PDF"));
  ASSERT_EQ(file.Commit(), 0);
  EXPECT_FALSE(fs::is_symlink(target));
  EXPECT_EQ(ReadAll(target), "%PDF");
  EXPECT_EQ(ReadAll(victim), "someone else's file");
}

TEST(ReplacingFileTest, PermissionsOfANewFileAndOfAReplacedOne) {
  testing::TempDir dir;
  const mode_t mask = ::umask(022);
  ReplacingFile fresh;
  ASSERT_EQ(fresh.Create((dir / "new.png").string()), 0);
  ASSERT_EQ(fresh.Commit(), 0);
  struct stat info {};
  ASSERT_EQ(::stat((dir / "new.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u) << "0666 less the umask, not the temporary file's 0600";

  WriteText(dir / "old.png", "x");
  fs::permissions(dir / "old.png", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ReplacingFile replacing;
  ASSERT_EQ(replacing.Create((dir / "old.png").string()), 0);
  ASSERT_EQ(replacing.Commit(), 0);
  ASSERT_EQ(::stat((dir / "old.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  ::umask(mask);
}

TEST(ReplacingFileTest, TargetsThatCannotBeWritten) {
  testing::TempDir dir;
  fs::create_directories(dir / "folder");
  const struct {
    fs::path target;
    int error;
  } cases[] = {
      {dir / "missing" / "plot.png", ENOENT},
      {dir / "folder", EISDIR},
      {dir.path() / "", EISDIR},
      {fs::path(), ENOENT},
  };
  for (const auto& c : cases) {
    ReplacingFile file;
    EXPECT_EQ(file.Create(c.target.string()), c.error) << c.target;
    EXPECT_EQ(file.Descriptor(), -1);
  }
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "only the folder";

  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
  WriteText(dir / "locked.png", "locked");
  fs::permissions(dir / "locked.png", fs::perms::owner_read);
  ReplacingFile locked;
  EXPECT_EQ(locked.Create((dir / "locked.png").string()), EACCES) << "a read-only file is not replaced";
  fs::permissions(dir / "folder", fs::perms::owner_read | fs::perms::owner_exec);
  ReplacingFile in_locked_folder;
  EXPECT_EQ(in_locked_folder.Create((dir / "folder" / "plot.png").string()), EACCES);
}

}  // namespace
}  // namespace quillon
