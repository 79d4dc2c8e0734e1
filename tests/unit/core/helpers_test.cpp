// Temporary files, folder helpers, separators and multi-volume names.
#include "engine/core/helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/errors.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "scratch_dir.h"

namespace engine {
namespace {

using tessaly_test::ScratchDir;
namespace fs = std::filesystem;

TEST(TempFiles, CreateTempFileNameMakesAnEmptyDozFile) {
  ScratchDir dir;
  const std::string a = CreateTempFileName(dir.Path());
  const std::string b = CreateTempFileName(dir.Path());
  EXPECT_NE(a, b);
  for (const auto& name : {a, b}) {
    EXPECT_EQ(platform::DirectoryPart(name), RemoveSlash(dir.Path()));
    EXPECT_EQ(platform::FileNamePart(name).substr(0, 3), "doz");
    EXPECT_EQ(platform::FileSize(name), 0);
  }
  // The system's temporary folder when none is given.
  const std::string c = CreateTempFileName("");
  EXPECT_EQ(AppendSlash(platform::DirectoryPart(c)), AppendSlash(platform::TempDirectory()));
  platform::DeleteFile(c);
}

TEST(TempFiles, CreateTempFileNameFailsWithOpenError) {
  ScratchDir dir;
  try {
    CreateTempFileName(platform::JoinPath(dir / "missing", "folder"));
    FAIL() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.Code, kErrOpeningFile);
    EXPECT_STREQ(e.what(), "Error opening file");
  }
}

TEST(TempFiles, StreamDeletesItsFileUnlessCommitted) {
  ScratchDir dir;
  std::string dropped, kept;
  {
    TTempFileStream s(dir.Path());
    dropped = s.FileName();
    EXPECT_EQ(s.Write("abc", 3), 3);
    EXPECT_TRUE(platform::FileExists(dropped));
  }
  EXPECT_FALSE(platform::FileExists(dropped));
  {
    TTempFileStream s(dir.Path());
    kept = s.FileName();
    EXPECT_EQ(s.Write("abcd", 4), 4);
    EXPECT_TRUE(s.Commit());
  }
  EXPECT_EQ(platform::FileSize(kept), 4);

  // CommitTo replaces the target in one step.
  const std::string target = dir / "archive.zip";
  tessaly_test::WriteBytes(target, {1, 2, 3, 4, 5, 6, 7, 8});
  std::string temp;
  {
    TTempFileStream s(dir.Path());
    temp = s.FileName();
    EXPECT_EQ(s.Write("new", 3), 3);
    EXPECT_TRUE(s.CommitTo(target));
  }
  EXPECT_FALSE(platform::FileExists(temp));
  EXPECT_EQ(tessaly_test::ReadBytes(target), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
}

TEST(Folders, ForceDirectoriesCreatesEveryLevel) {
  ScratchDir dir;
  const std::string deep = platform::JoinPath(dir / "a", "b") + platform::kPathSeparator + "c";
  ForceDirectories(AppendSlash(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  ForceDirectories(deep);  // existing: nothing to do
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(DirectoryExists(""));
  EXPECT_FALSE(DirectoryExists(dir / "nothing"));

  try {
    ForceDirectories("");
    FAIL() << "no exception";
  } catch (const E_RAISE&) {
    FAIL() << "an engine error instead of the base exception";
  } catch (const EBase& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
  // A file in the way: nothing is created and nothing is raised.
  tessaly_test::WriteBytes(dir / "file", {1});
  ForceDirectories(platform::JoinPath(dir / "file", "sub"));
  EXPECT_FALSE(DirectoryExists(platform::JoinPath(dir / "file", "sub")));
}

TEST(Folders, ForceDirectoriesDoesNotFollowLinks) {
  ScratchDir dir;
  ScratchDir outside;
  std::error_code ec;
  fs::create_directory_symlink(outside.Path(), dir / "link", ec);
  if (ec) GTEST_SKIP() << "cannot make a symbolic link here: " << ec.message();
  const std::string through = platform::JoinPath(dir / "link", "escaped");
  ForceDirectories(through);
  EXPECT_FALSE(DirectoryExists(outside / "escaped"));
  // Deeper below the link as well.
  ForceDirectories(platform::JoinPath(through, "deeper"));
  EXPECT_FALSE(DirectoryExists(outside / "escaped"));
  // A link above a trusted base is the caller's choice and is followed.
  ForceDirectories(through, dir / "link");
  EXPECT_TRUE(DirectoryExists(outside / "escaped"));
}

TEST(Folders, IsPlainWritableFile) {
  ScratchDir dir;
  const std::string file = dir / "plain.txt";
  tessaly_test::WriteBytes(file, {1});
  EXPECT_TRUE(IsPlainWritableFile(file));
  EXPECT_FALSE(IsPlainWritableFile(dir.Path()));
  EXPECT_FALSE(IsPlainWritableFile(dir / "missing"));
  ASSERT_TRUE(platform::SetFileAttributes(file, platform::kAttrReadOnly));
  EXPECT_FALSE(IsPlainWritableFile(file));
  platform::SetFileAttributes(file, 0);
  EXPECT_TRUE(DeleteFileEx(file, true));
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(DeleteFileEx(file, false));
}

TEST(Folders, Slashes) {
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(AppendSlash(""), "");
  EXPECT_EQ(AppendSlash("a"), "a" + sep);
  EXPECT_EQ(AppendSlash("a/"), "a/");
  EXPECT_EQ(RemoveSlash("a/"), "a");
  EXPECT_EQ(RemoveSlash("a" + sep), "a");
  EXPECT_EQ(RemoveSlash("a"), "a");
  EXPECT_EQ(RemoveSlash(""), "");
  EXPECT_EQ(RemoveSlash(sep), sep);  // a root stays a root
}

TEST(Volumes, VolumeFileName) {
  struct Row { const char* name; int number; char letter; int volumeNumber; const char* result; };
  const Row rows[] = {
      {"C:\\a\\set.r00", 5, 'r', 5, "C:\\a\\set.r05"},
      {"C:\\a\\set.r00", 12, 'r', 12, "C:\\a\\set.r12"},
      {"C:\\a\\set.r00", 123, 'r', 123, "C:\\a\\set.123"},
      {"C:\\a\\set.r00", 0, 'r', 0, "C:\\a\\set.r00"},
      {"set.rar", 1, 'r', 1, "set.r01"},
      {"set", 3, 'a', 3, "set.a03"},
      {"x.a03", 10, 'a', 4, "x.a10"},
      {"/data/v1.2/set.c07", 8, 'C', 8, "/data/v1.2/set.C08"},  // dots in folders stay
      {"my.backup.r00", 1, 'r', 1, "my.backup.r01"},  // only the last extension changes
      {"", 3, 'r', 3, ""},
      {"set.rar", -1, 'r', 0, ""},
  };
  for (const Row& r : rows)
    EXPECT_EQ(VolumeFileName(r.name, r.number, r.letter, r.volumeNumber), r.result)
        << r.name << " " << r.number;
}

TEST(Volumes, ParseVolumeSuffix) {
  using enum TArcType;
  struct Row { const char* name; TArcType type; char letter; int number; };
  const Row rows[] = {
      {"x.a03", atArj, 'a', 4},     {"x.arj", atArj, 'a', 1},     {"x", atArj, 'a', 1},
      {"x.rar", atRar, 'r', 0},     {"x.r00", atRar, 'r', 1},     {"x.r17", atRarExe, 'r', 18},
      {"x.exe", atRarExe, 'r', 0},  {"x.ace", atACE, 'C', 0},     {"x.c09", atACE, 'c', 10},
      {"x.123", atRar, '1', 124},   {"d.1/x", atRar, 'r', 0},     {"x.s1x", atRar, 'r', 0},
  };
  for (const Row& r : rows) {
    const auto v = ParseVolumeSuffix(r.name, r.type);
    ASSERT_TRUE(v.has_value()) << r.name;
    EXPECT_EQ(v->Letter, r.letter) << r.name;
    EXPECT_EQ(v->Number, r.number) << r.name;
  }
  EXPECT_FALSE(ParseVolumeSuffix("x.z01", atZip).has_value());
  EXPECT_FALSE(ParseVolumeSuffix("x.lzh", atLha).has_value());
  // Absurdly long digit runs do not overflow.
  const auto big = ParseVolumeSuffix("x.r99999999999999999999", atRar);
  ASSERT_TRUE(big.has_value());
  EXPECT_GT(big->Number, 0);
}

}  // namespace
}  // namespace engine
