// The console's -e, -es and -test on ZIP archives, run as the user runs them (standard
// input is never a terminal here, so nothing is asked).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/unit/sha256.h"
#include "tests/e2e/console_run.h"
#include "tests/unit/test_paths.h"

namespace {

namespace fs = std::filesystem;

using e2e::Program;
using e2e::RunTessaly;
using e2e::TResult;

std::string Q(const std::string& s) { return "'" + s + "'"; }

class ExtractZip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Program().empty()) GTEST_SKIP() << "the tessaly program is not built";
    dir_ = test::TempDir() / ("e2e-" + std::to_string(++counter_));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Out() const { return (dir_ / "out").string(); }
  static std::string Sha(const fs::path& p) { return test::Sha256OfFile(p.string()).value_or(""); }

  fs::path dir_;
  static inline int counter_ = 0;
};

const char* kTextSha = "dba297ae9225d3ad8b804e0b4bb028c043b2cc6d76c1cec3484d4f63f8394450";

TEST_F(ExtractZip, ExtractsIntoTheFolderGiven) {
  const TResult r = RunTessaly("-e " + Q(test::FixturePath("zip/zip_paths.zip")) + " " + Q(Out()));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(Sha(fs::path(Out()) / "dir/sub/deep.txt"),
            "4e509f549ac00f6b230e472d9bc8bd069a118d0e216e2f4239c7e0dd8728cb8c");
  EXPECT_TRUE(fs::exists(fs::path(Out()) / "dir/mid.bin"));
}

TEST_F(ExtractZip, SubfolderNamedAfterTheArchive) {
  fs::copy_file(test::FixturePath("zip/zip_stored.zip"), dir_ / "docs.zip");
  const TResult r = RunTessaly("-es " + Q((dir_ / "docs.zip").string()));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(Sha(dir_ / "docs" / "text.txt"), kTextSha);
}

TEST_F(ExtractZip, PasswordOptionAndNoPromptWithoutTerminal) {
  const std::string archive = Q(test::FixturePath("zip/zip_encrypted.zip"));
  TResult r = RunTessaly("-e " + archive + " " + Q(Out()));
  EXPECT_EQ(r.Status, 1) << r.Out;
  EXPECT_FALSE(fs::exists(fs::path(Out()) / "text.txt"));
  r = RunTessaly("-e -pwrong -pSecret1 " + archive + " " + Q(Out()));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(Sha(fs::path(Out()) / "text.txt"), kTextSha);
}

TEST_F(ExtractZip, ExistingFilesAreKeptAndReported) {
  fs::create_directories(Out());
  { std::ofstream(fs::path(Out()) / "one.txt") << "mine"; }
  const TResult r = RunTessaly("-e " + Q(test::FixturePath("zip/zip_stored.zip")) + " " + Q(Out()));
  EXPECT_EQ(r.Status, 1) << r.Out;
  EXPECT_NE(r.Out.find("skipped"), std::string::npos) << r.Out;
  std::ifstream in(fs::path(Out()) / "one.txt");
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "mine");
  EXPECT_EQ(Sha(fs::path(Out()) / "text.txt"), kTextSha);
}

TEST_F(ExtractZip, FailuresAreNamedAndTheRestExtracts) {
  TResult r = RunTessaly("-e " + Q(test::FixturePath("zip/zip_bzip2.zip")) + " " + Q(Out()));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("runs.dat: Unsupported compression method"), std::string::npos) << r.Out;
  r = RunTessaly("-e " + Q(test::FixturePath("cab/gcab_none.cab")) + " " + Q(Out()));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("Unsupported archive type"), std::string::npos) << r.Out;
  EXPECT_EQ(RunTessaly("-e").Status, 2);
  EXPECT_EQ(RunTessaly("-e -x " + Q(test::FixturePath("zip/zip_stored.zip"))).Status, 2);
}

TEST_F(ExtractZip, TestPrintsOneLinePerMemberAndASummary) {
  TResult r = RunTessaly("-test " + Q(test::FixturePath("zip/zip_mz_stub.exe")));
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_NE(r.Out.find("one.txt: OK"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("2 members tested: 2 OK, 0 failed"), std::string::npos) << r.Out;

  // One flipped byte in the first member's data.
  std::ifstream in(test::FixturePath("zip/zip_stored.zip"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  bytes[100] = static_cast<char>(bytes[100] ^ 1);
  const fs::path bad = dir_ / "bad.zip";
  std::ofstream(bad, std::ios::binary) << bytes;
  r = RunTessaly("-test " + Q(bad.string()));
  EXPECT_EQ(r.Status, 1) << r.Out;
  EXPECT_NE(r.Out.find("text.txt: File fails CRC check"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("random.bin: OK"), std::string::npos) << r.Out;

  r = RunTessaly("-test -pSecret1 " + Q(test::FixturePath("zip/zip_encrypted_stored.zip")));
  EXPECT_EQ(r.Status, 0) << r.Out;
  r = RunTessaly("-test " + Q(test::FixturePath("zip/zip_encrypted_stored.zip")));
  EXPECT_EQ(r.Status, 1) << r.Out;
}

}  // namespace
