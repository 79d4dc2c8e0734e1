// File-system services: attributes, times, folders, moves, the find API and its patterns.
#include "platform/fs.h"

#include "platform/path.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

namespace {

using platform_test::ReadWholeFile;
using platform_test::ScratchDir;
using platform_test::WriteFile;

TEST(PlatformFs, ExistenceAndSize) {
  ScratchDir dir;
  const std::string file = dir / "f.txt";
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(platform::FileSize(file).has_value());
  ASSERT_TRUE(WriteFile(file, "12345"));
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::DirectoryExists(file));
  EXPECT_EQ(platform::FileSize(file), 5);
  EXPECT_TRUE(platform::DirectoryExists(dir.Path()));
  EXPECT_FALSE(platform::FileExists(dir.Path()));
  EXPECT_FALSE(platform::FileSize(dir.Path()).has_value());
  EXPECT_TRUE(platform::DeleteFile(file));
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(platform::DeleteFile(file));
  EXPECT_NE(platform::LastOsError(), 0);
}

TEST(PlatformFs, AttributesRoundTrip) {
  ScratchDir dir;
  const std::string file = dir / "a.txt";
  ASSERT_TRUE(WriteFile(file, "a"));
  auto attr = platform::FileAttributes(file);
  ASSERT_TRUE(attr.has_value());
  EXPECT_EQ(*attr & (platform::kAttrReadOnly | platform::kAttrDirectory), 0u);

  ASSERT_TRUE(platform::SetFileAttributes(file, platform::kAttrReadOnly | platform::kAttrArchive));
  attr = platform::FileAttributes(file);
  ASSERT_TRUE(attr.has_value());
  EXPECT_TRUE(*attr & platform::kAttrReadOnly);
  if (platform::kIsWindows) {
    EXPECT_TRUE(*attr & platform::kAttrArchive);
  }

  ASSERT_TRUE(platform::SetFileAttributes(file, 0));
  attr = platform::FileAttributes(file);
  EXPECT_FALSE(attr.value_or(platform::kAttrReadOnly) & platform::kAttrReadOnly);

  if (platform::kIsWindows) {
    ASSERT_TRUE(platform::SetFileAttributes(file, platform::kAttrHidden | platform::kAttrSystem));
    EXPECT_EQ(platform::FileAttributes(file).value_or(0) & 0x07u,
              platform::kAttrHidden | platform::kAttrSystem);
    ASSERT_TRUE(platform::SetFileAttributes(file, 0));
  }

  EXPECT_EQ(platform::FileAttributes(dir.Path()).value_or(0) & platform::kAttrDirectory,
            platform::kAttrDirectory);
  EXPECT_FALSE(platform::FileAttributes(dir / "missing").has_value());
}

TEST(PlatformFs, ModificationTimeRoundTrip) {
  ScratchDir dir;
  const std::string file = dir / "t.txt";
  ASSERT_TRUE(WriteFile(file, "t"));
  // 1980-01-01 (the DOS epoch), 2001-09-09, 1969-12-31 (before the Unix epoch), 2040.
  for (const std::int64_t t : {std::int64_t{315532800}, std::int64_t{1000000000},
                               std::int64_t{-86400}, std::int64_t{2208988800}}) {
    ASSERT_TRUE(platform::SetFileModTime(file, t)) << t;
    EXPECT_EQ(platform::FileModTime(file), t);
  }
  ASSERT_TRUE(platform::SetFileModTime(dir.Path(), 1234567890)) << "folders take times too";
  EXPECT_EQ(platform::FileModTime(dir.Path()), 1234567890);
  EXPECT_FALSE(platform::SetFileModTime(dir / "missing", 1000));
  EXPECT_FALSE(platform::FileModTime(dir / "missing").has_value());
}

TEST(PlatformFs, CreateAndRemoveDirectories) {
  ScratchDir dir;
  const std::string one = dir / "one";
  EXPECT_TRUE(platform::CreateDirectory(one));
  EXPECT_FALSE(platform::CreateDirectory(one)) << "exists";
  EXPECT_FALSE(platform::CreateDirectory(platform::JoinPath(dir / "no", "parent")));

  const std::string deep = platform::JoinPath(platform::JoinPath(one, "two"), "three");
  EXPECT_TRUE(platform::CreateDirectories(deep));
  EXPECT_TRUE(platform::DirectoryExists(deep));
  EXPECT_TRUE(platform::CreateDirectories(deep)) << "already there";
  EXPECT_TRUE(platform::CreateDirectories(deep + "/four/", dir.Path())) << "trailing separator";
  EXPECT_TRUE(platform::DirectoryExists(platform::JoinPath(deep, "four")));

  // A file in the way, and ".." below the trusted base, are refused.
  ASSERT_TRUE(WriteFile(dir / "file", "x"));
  EXPECT_FALSE(platform::CreateDirectories(platform::JoinPath(dir / "file", "sub")));
  EXPECT_FALSE(platform::CreateDirectories(dir.Path() + "/x/../../escape", dir.Path()));
  EXPECT_FALSE(platform::DirectoryExists(dir / "x"));
  EXPECT_FALSE(platform::CreateDirectories(""));
  // The base must lead the path.
  EXPECT_FALSE(platform::CreateDirectories(dir / "a", dir / "b"));

  EXPECT_FALSE(platform::RemoveDirectory(one)) << "not empty";
  EXPECT_TRUE(platform::RemoveDirectory(platform::JoinPath(deep, "four")));
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(deep, "four")));
}

TEST(PlatformFs, CreateDirectoriesNeverEntersALink) {
  ScratchDir dir;
  const std::string target = dir / "target";
  const std::string base = dir / "base";
  ASSERT_TRUE(platform::CreateDirectory(target));
  ASSERT_TRUE(platform::CreateDirectory(base));
  const std::string link = platform::JoinPath(base, "link");
  std::error_code ec;
  std::filesystem::create_directory_symlink(std::filesystem::path(target),
                                            std::filesystem::path(link), ec);
  if (ec) GTEST_SKIP() << "cannot create a folder link here: " << ec.message();
  if (!platform::IsSymlinkOrReparse(link)) {
    ASSERT_FALSE(platform::kIsWindows == false) << "POSIX must see its own symbolic link";
    GTEST_SKIP() << "this Windows emulation does not report links as reparse points";
  }
  EXPECT_TRUE(platform::IsSymlinkOrReparse(link + platform::kPathSeparator));
  EXPECT_FALSE(platform::IsSymlinkOrReparse(target));
  EXPECT_TRUE(platform::DirectoryExists(link)) << "the link itself resolves";

  const std::string through = platform::JoinPath(platform::JoinPath(link, "x"), "y");
  EXPECT_FALSE(platform::CreateDirectories(through, base));
  EXPECT_FALSE(platform::CreateDirectories(through));
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(target, "x")))
      << "nothing was created behind the link";
  // The link's own folder is trusted when it is the base.
  EXPECT_TRUE(platform::CreateDirectories(through, link));
}

TEST(PlatformFs, MoveAndReplace) {
  ScratchDir dir;
  const std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt";
  ASSERT_TRUE(WriteFile(a, "new"));
  ASSERT_TRUE(WriteFile(b, "old"));
  EXPECT_FALSE(platform::MoveFile(a, b)) << "the target exists";
  EXPECT_EQ(ReadWholeFile(b), "old");
  EXPECT_TRUE(platform::ReplaceFile(a, b));
  EXPECT_FALSE(platform::FileExists(a));
  EXPECT_EQ(ReadWholeFile(b), "new");
  EXPECT_TRUE(platform::MoveFile(b, c));
  EXPECT_FALSE(platform::FileExists(b));
  EXPECT_EQ(ReadWholeFile(c), "new");
  EXPECT_TRUE(platform::ReplaceFile(c, a)) << "replacing nothing is a plain rename";
  EXPECT_EQ(ReadWholeFile(a), "new");
  EXPECT_FALSE(platform::MoveFile(dir / "missing", b));

  const std::string sub = dir / "sub";
  ASSERT_TRUE(platform::CreateDirectory(sub));
  EXPECT_TRUE(platform::MoveFile(sub, dir / "renamed")) << "folders move too";
  EXPECT_TRUE(platform::DirectoryExists(dir / "renamed"));
}

TEST(PlatformFs, FindFilesReportsEntries) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFile(dir / "a.txt", "abc"));
  ASSERT_TRUE(WriteFile(dir / "README", ""));
  ASSERT_TRUE(platform::CreateDirectory(dir / "Sub.dir"));
  ASSERT_TRUE(platform::SetFileModTime(dir / "a.txt", 1000000000));

  auto all = platform::FindFiles(dir.Path(), "*.*");
  std::sort(all.begin(), all.end(), [](auto& x, auto& y) { return x.Name < y.Name; });
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].Name, "README");
  EXPECT_EQ(all[0].Size, 0);
  EXPECT_FALSE(all[0].IsDirectory());
  EXPECT_EQ(all[1].Name, "Sub.dir");
  EXPECT_TRUE(all[1].IsDirectory());
  EXPECT_EQ(all[2].Name, "a.txt");
  EXPECT_EQ(all[2].Size, 3);
  EXPECT_EQ(all[2].ModTime, 1000000000);
  EXPECT_FALSE(all[2].Attributes & platform::kAttrDirectory);

  const auto names = [&](std::string_view pattern) {
    std::set<std::string> out;
    for (const auto& e : platform::FindFiles(dir.Path(), pattern)) out.insert(e.Name);
    return out;
  };
  EXPECT_EQ(names("*.TXT"), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(names("*."), (std::set<std::string>{"README"}));
  EXPECT_EQ(names("sub*"), (std::set<std::string>{"Sub.dir"}));
  EXPECT_TRUE(names("*.zip").empty());
  EXPECT_TRUE(platform::FindFiles(dir / "missing", "*").empty());
}

TEST(PlatformFs, FindPatternFollowsWindowsRules) {
  struct Row {
    const char* name;
    const char* pattern;
    bool match;
  };
  const Row rows[] = {
      {"README", "*.*", true},      {"a.txt", "*.*", true},      {"a.txt", "*", true},
      {"a.txt", "*.txt", true},     {"A.TXT", "*.txt", true},    {"a.txt", "*.TxT", true},
      {"a.txt1", "*.txt", false},   {"a.txt.bak", "*.txt", false}, {"x.tar.txt", "*.txt", true},
      {"abc", "a?c", true},         {"ac", "a?c", false},        {"abbc", "a?c", false},
      {"abc", "abc?", true},        {"a.c", "a?c", false},       {"ab.c", "a?.c", true},
      {"a.c", "a?.c", true},        {"README", "*.", true},      {"a.txt", "*.", false},
      {"abc", "abc.", true},        {"abc", "abc.*", true},      {"abc.d", "abc.*", true},
      {"abcd", "abc.*", false},     {"abcdef", "a*d*f", true},   {"abcdef", "a*d*e", false},
      {"", "*", true},              {"x", "", false},            {"ÄÖÜ.txt", "äöü.*", true},
      {"Привет", "пРИВЕТ", true},   {"é", "?", true},            {"éé", "?", false},
      {"data_01.bin", "data_??.bin", true},
      {"data_1.bin", "data_??.bin", true},  // '?' before a dot may match nothing
  };
  for (const Row& r : rows) {
    EXPECT_EQ(platform::MatchFindPattern(r.name, r.pattern), r.match)
        << "name \"" << r.name << "\" pattern \"" << r.pattern << "\"";
  }
}

}  // namespace
