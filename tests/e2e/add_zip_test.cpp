// The console's -a on ZIP archives, run as the user runs it: levels, update, freshen, move,
// full path names, and the failures with their exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/console_run.h"
#include "tests/unit/test_paths.h"

namespace {

namespace fs = std::filesystem;

using e2e::Program;
using e2e::RunTessaly;
using e2e::Shell;
using e2e::TResult;
TResult Tessaly(const std::string& args) { return RunTessaly(args); }
bool Have(const std::string& tool) { return Shell("command -v " + tool).Status == 0; }
std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteText(const fs::path& p, const std::string& s) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << s;
}

// The members of an archive as `unzip -Z1` lists them, one per line.
std::string Names(const fs::path& archive) { return Shell("unzip -Z1 " + Q(archive)).Out; }

class AddZip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Program().empty()) GTEST_SKIP() << "the tessaly program is not built";
    if (!Have("unzip") || !Have("zipinfo")) GTEST_SKIP() << "unzip or zipinfo is not installed";
    dir_ = test::TempDir() / ("add-" + std::string(::testing::UnitTest::GetInstance()
                                                      ->current_test_info()->name()));
    fs::remove_all(dir_);
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "row " + std::to_string(i % 97) + " of the table\n";
    WriteText(src() / "a.txt", text);
    WriteText(src() / "b.txt", "bee\n");
    WriteText(src() / "sub" / "c.txt", text.substr(0, 5000));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path src() const { return dir_ / "src"; }
  fs::path dir_;
};

TEST_F(AddZip, EveryLevelWritesAnArchiveThePeersAccept) {
  // -c0..-c4: stored, then the four deflate levels with their flag bits.
  const char* subtypes[] = {"", "superfast", "fast", "normal", "maximum"};
  for (int level = 0; level <= 4; ++level) {
    SCOPED_TRACE(level);
    const fs::path archive = dir_ / ("l" + std::to_string(level) + ".zip");
    const TResult r = Tessaly("-a -c" + std::to_string(level) + " " + Q(archive) + " " + Q(src()));
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(Names(archive), "a.txt\nb.txt\nc.txt\n");
    const TResult t = Shell("unzip -t " + Q(archive));
    EXPECT_EQ(t.Status, 0) << t.Out;
    const std::string info = Shell("zipinfo -v " + Q(archive) + " a.txt").Out;
    if (level == 0) {
      EXPECT_NE(info.find("compression method:                             none (stored)"), std::string::npos) << info;
    } else {
      EXPECT_NE(info.find(std::string("compression sub-type (deflation):               ") + subtypes[level]),
                std::string::npos) << info;
    }
    const fs::path out = dir_ / ("x" + std::to_string(level));
    ASSERT_EQ(Shell("unzip -q -d " + Q(out) + " " + Q(archive)).Status, 0);
    EXPECT_EQ(ReadText(out / "a.txt"), ReadText(src() / "a.txt"));
    EXPECT_EQ(ReadText(out / "c.txt"), ReadText(src() / "sub" / "c.txt"));
  }
}

TEST_F(AddZip, FullPathNamesAndDefaultExtension) {
  const TResult r = Tessaly("-a -s " + Q(dir_ / "full") + " " + Q(src() / "*.txt"));
  ASSERT_EQ(r.Status, 0) << r.Out;
  ASSERT_TRUE(fs::exists(dir_ / "full.zip"));
  // Stored without the leading "/", which would make them extract outside the target.
  std::string base = src().string();
  base.erase(0, base.find_first_not_of('/'));
  const std::string expected = base + "/a.txt\n" + base + "/b.txt\n" + base + "/sub/c.txt\n";
  EXPECT_EQ(Names(dir_ / "full.zip"), expected);
}

TEST_F(AddZip, UpdateFreshenAndMove) {
  const fs::path archive = dir_ / "u.zip";
  ASSERT_EQ(Tessaly("-a " + Q(archive) + " " + Q(src() / "a.txt")).Status, 0);
  const auto later = fs::file_time_type::clock::now() + std::chrono::hours(24);
  WriteText(src() / "a.txt", "changed a\n");
  fs::last_write_time(src() / "a.txt", later);

  // Freshen: a.txt is newer and replaced; b.txt is not in the archive and stays out.
  TResult r = Tessaly("-a -f " + Q(archive) + " " + Q(src() / "*.txt"));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(Names(archive), "a.txt\n");
  EXPECT_EQ(Shell("unzip -p " + Q(archive) + " a.txt").Out, "changed a\n");

  // Update: b.txt and c.txt come in; a.txt is not newer than its member now.
  r = Tessaly("-a -u " + Q(archive) + " " + Q(src()));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(Names(archive), "a.txt\nb.txt\nc.txt\n");
  EXPECT_EQ(r.Out.find("adding: a.txt"), std::string::npos) << r.Out;

  // Move: the file goes into the archive and away from the disk.
  WriteText(dir_ / "m" / "moved.txt", "moved\n");
  r = Tessaly("-a -m " + Q(archive) + " " + Q(dir_ / "m" / "moved.txt"));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_FALSE(fs::exists(dir_ / "m" / "moved.txt"));
  EXPECT_EQ(Shell("unzip -p " + Q(archive) + " moved.txt").Out, "moved\n");
  EXPECT_EQ(Shell("unzip -t " + Q(archive)).Status, 0);
}

TEST_F(AddZip, FailuresAndUsage) {
  // Too few parameters: the program's message, exit 2, nothing written.
  TResult r = Tessaly("-a " + Q(dir_ / "x.zip"));
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Out.find("Error: There must be at least three parameters"), std::string::npos) << r.Out;
  EXPECT_FALSE(fs::exists(dir_ / "x.zip"));

  // An invalid level is reported and the add goes on at the default level.
  r = Tessaly("-a -c9 " + Q(dir_ / "x.zip") + " " + Q(src() / "b.txt"));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_NE(r.Out.find("Invalid compression level."), std::string::npos) << r.Out;
  EXPECT_EQ(Names(dir_ / "x.zip"), "b.txt\n");

  // Not a ZIP archive: refused and left alone.
  WriteText(dir_ / "text.zip", "this is not an archive\n");
  r = Tessaly("-a " + Q(dir_ / "text.zip") + " " + Q(src() / "b.txt"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("Bad file header"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadText(dir_ / "text.zip"), "this is not an archive\n");

  // Nothing matches: no archive is made.
  r = Tessaly("-a " + Q(dir_ / "none.zip") + " " + Q(src() / "*.nothing"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("Nothing to do"), std::string::npos) << r.Out;
  EXPECT_FALSE(fs::exists(dir_ / "none.zip"));
}

}  // namespace
