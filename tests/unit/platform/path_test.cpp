// Path strings, temporary names and the per-user folders.
#include "platform/path.h"

#include "platform/env.h"
#include "platform/fs.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform_test::ScratchDir;

// Expected results are written with '/' and turned native, so one table serves both.
std::string N(const char* s) { return platform::ToNativeSeparators(s); }

TEST(PlatformPath, StringHelpers) {
  struct Row {
    const char* path;
    const char* dir;
    const char* name;
    const char* ext;
  };
  const Row rows[] = {
      {"/a/b/c.txt", "/a/b", "c.txt", ".txt"},
      {"/a", "/", "a", ""},
      {"a/b", "a", "b", ""},
      {"a//b.tar.gz", "a", "b.tar.gz", ".gz"},
      {"name", "", "name", ""},
      {"dir/", "dir", "", ""},
      {"dir/.hidden", "dir", ".hidden", ".hidden"},
      {"dir/..", "dir", "..", ""},
      {"a.d/file", "a.d", "file", ""},
  };
  for (const Row& r : rows) {
    const std::string p = N(r.path);
    EXPECT_EQ(platform::DirectoryPart(p), N(r.dir)) << r.path;
    EXPECT_EQ(platform::FileNamePart(p), r.name) << r.path;
    EXPECT_EQ(platform::ExtensionPart(p), r.ext) << r.path;
  }
  EXPECT_EQ(platform::JoinPath(N("a"), "b"), N("a/b"));
  EXPECT_EQ(platform::JoinPath(N("a/"), N("/b")), N("a/b"));
  EXPECT_EQ(platform::JoinPath("", "b"), "b");
  EXPECT_EQ(platform::JoinPath("a", ""), "a");
  EXPECT_TRUE(platform::IsAbsolute(N("/x")));
  EXPECT_FALSE(platform::IsAbsolute("x/y"));
  EXPECT_FALSE(platform::IsAbsolute(""));

  if (platform::kIsWindows) {
    EXPECT_EQ(platform::ToNativeSeparators("a/b\\c"), "a\\b\\c");
    EXPECT_EQ(platform::DirectoryPart("C:\\x.txt"), "C:\\");
    EXPECT_EQ(platform::DirectoryPart("C:x.txt"), "C:");
    EXPECT_EQ(platform::FileNamePart("C:x.txt"), "x.txt");
    EXPECT_EQ(platform::DirectoryPart("\\\\srv\\share\\f"), "\\\\srv\\share\\");
    EXPECT_EQ(platform::JoinPath("C:", "x"), "C:\\x");
    EXPECT_TRUE(platform::IsAbsolute("C:\\x"));
    EXPECT_TRUE(platform::IsAbsolute("c:/x"));
    EXPECT_TRUE(platform::IsAbsolute("\\\\srv\\share"));
    EXPECT_FALSE(platform::IsAbsolute("C:x"));
  } else {
    EXPECT_EQ(platform::ToNativeSeparators("a/b\\c"), "a/b/c");
    EXPECT_EQ(platform::FileNamePart("a\\b"), "a\\b") << "a backslash is a name character";
    EXPECT_FALSE(platform::IsAbsolute("C:/x"));
  }
}

TEST(PlatformPath, Folders) {
  const std::string temp = platform::TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), platform::kPathSeparator);
  EXPECT_TRUE(platform::IsAbsolute(temp));
  EXPECT_TRUE(platform::DirectoryExists(temp));
  const std::string cwd = platform::CurrentDirectory();
  EXPECT_TRUE(platform::IsAbsolute(cwd));
  EXPECT_TRUE(platform::DirectoryExists(cwd));
  EXPECT_FALSE(platform::UserConfigDirectory().empty());
}

TEST(PlatformPath, UserConfigDirectoryFollowsXdg) {
  if (platform::kIsWindows) GTEST_SKIP() << "Windows uses the shell's APPDATA folder";
  const auto saved = platform::GetEnv("XDG_CONFIG_HOME");
  ASSERT_TRUE(platform::SetEnv("XDG_CONFIG_HOME", "/some/where"));
  EXPECT_EQ(platform::UserConfigDirectory(), "/some/where");
  ASSERT_TRUE(platform::SetEnv("XDG_CONFIG_HOME", "relative"));  // ignored
  const auto home = platform::GetEnv("HOME");
  ASSERT_TRUE(platform::SetEnv("HOME", "/home/someone"));
  EXPECT_EQ(platform::UserConfigDirectory(), "/home/someone/.config");
  platform::SetEnv("HOME", home);
  platform::SetEnv("XDG_CONFIG_HOME", saved);
}

TEST(PlatformPath, TempNamesAreUniqueAndCreated) {
  ScratchDir dir;
  const auto a = platform::CreateTempFileName(dir.Path(), "tsl");
  const auto b = platform::CreateTempFileName(dir.Path(), "tsl");
  ASSERT_TRUE(a.has_value());
  ASSERT_TRUE(b.has_value());
  EXPECT_NE(*a, *b);
  EXPECT_EQ(platform::DirectoryPart(*a), dir.Path());
  EXPECT_EQ(platform::FileNamePart(*a).substr(0, 3), "tsl");
  EXPECT_EQ(platform::FileSize(*a), 0) << "the file exists, empty";
  EXPECT_FALSE(platform::CreateTempFileName(dir / "missing", "tsl").has_value());

  const auto d1 = platform::CreateTempDirectory("tsl");
  const auto d2 = platform::CreateTempDirectory("tsl");
  ASSERT_TRUE(d1 && d2);
  EXPECT_NE(*d1, *d2);
  EXPECT_TRUE(platform::DirectoryExists(*d1));
  EXPECT_EQ(platform::FileNamePart(*d1).substr(0, 3), "tsl");
  EXPECT_TRUE(platform::RemoveDirectory(*d1));
  EXPECT_TRUE(platform::RemoveDirectory(*d2));
}

TEST(PlatformPath, Environment) {
  ASSERT_TRUE(platform::SetEnv("TESSALY_TEST_VAR", "wert ä"));
  EXPECT_EQ(platform::GetEnv("TESSALY_TEST_VAR"), "wert ä");
  ASSERT_TRUE(platform::SetEnv("TESSALY_TEST_VAR", std::nullopt));
  EXPECT_FALSE(platform::GetEnv("TESSALY_TEST_VAR").has_value());
}

}  // namespace
