// The member-name sanitiser: what stays inside the target folder and what is refused.
#include "engine/core/safe_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/path.h"
#include "tests/unit/core/scratch_dir.h"

namespace {

using engine::SanitiseMemberPath;

struct TNameCase {
  const char* stored;
  bool useStoredDirs;
  const char* expected;  // nullptr: refused
};

TEST(SafePath, SanitisesOrRefusesMemberNames) {
  const TNameCase cases[] = {
      {"a/b/c.txt", true, "a\\b\\c.txt"},
      {"a/b/c.txt", false, "c.txt"},
      {"C:\\temp\\a.txt", true, "temp\\a.txt"},
      {"C:a.txt", true, "a.txt"},
      {"\\b\\c.txt", true, "b\\c.txt"},
      {"//server/share/x", true, "server\\share\\x"},
      {"a/./b//c", true, "a\\b\\c"},
      {"../x", false, "x"},  // folders dropped: nothing left to climb with
      {"", true, ""},
      {"../x", true, nullptr},
      {"a/../../x", true, nullptr},
      {"a\\..\\x", true, nullptr},
      {"CON", true, nullptr},
      {"dir/nul.txt", true, nullptr},
      {"com1", true, nullptr},
      {"LPT9.log", true, nullptr},
      {"AUX .txt", true, nullptr},
      {"a/b:c", true, nullptr},
      {"tab\there", true, nullptr},
      {"a/ . /b", true, nullptr},
      {"...", true, nullptr},
      {"COM0", true, "COM0"},
      {"CONSOLE.txt", true, "CONSOLE.txt"},
      {"..a", true, "..a"},
  };
  for (const TNameCase& c : cases) {
    SCOPED_TRACE(c.stored);
    const auto got = SanitiseMemberPath(c.stored, c.useStoredDirs);
    if (c.expected) {
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, c.expected);
    } else {
      EXPECT_FALSE(got.has_value()) << *got;
    }
  }
}

TEST(SafePath, JoinsWithNativeSeparators) {
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(engine::JoinUnder("base" + sep, "a\\b.txt"), "base" + sep + "a" + sep + "b.txt");
  EXPECT_EQ(engine::JoinUnder("base", "b.txt"), "base" + sep + "b.txt");
}

TEST(SafePath, SeesLinksBelowTheBase) {
  tessaly_test::ScratchDir s;
  const std::string base = s.Path() + platform::kPathSeparator;
  std::filesystem::create_directories(s / "real/sub");
  std::error_code ec;
  std::filesystem::create_directory_symlink(s / "real", s / "link", ec);
  if (ec) GTEST_SKIP() << "symbolic links cannot be made here";
  EXPECT_FALSE(engine::CrossesLink(base, s / "real/sub/file.txt"));
  EXPECT_FALSE(engine::CrossesLink(base, s / "missing/file.txt"));
  EXPECT_TRUE(engine::CrossesLink(base, s / "link/sub/file.txt"));
  EXPECT_TRUE(engine::CrossesLink(base, s / "link"));
  EXPECT_TRUE(engine::CrossesLink(base, "/elsewhere/file.txt"));
}

}  // namespace
