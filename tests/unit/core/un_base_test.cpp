// The extraction frame's own steps: the target folder, output names and the overwrite
// question (whole runs through a real decoder are in the decoder tests).
#include "engine/core/un_base.h"

#include <gtest/gtest.h>

#include "platform/path.h"
#include "tests/unit/core/scratch_dir.h"

namespace {

// The frame with its steps made reachable; it has no archive walk of its own.
class TFrame : public engine::TUnBase {
 public:
  using TUnBase::BuildEntryName;
  using TUnBase::ConfirmEntry;
  const std::string& OutputName() const { return outputName_; }
  void ForceOutputName(std::string name) { outputName_ = std::move(name); }

 protected:
  void ExtractArchive(engine::IStream*) override {}
};

const std::string kSep(1, platform::kPathSeparator);

TEST(UnBase, ExtractDirAlwaysEndsWithASeparator) {
  TFrame f;
  f.SetExtractDir("out/dir");
  EXPECT_EQ(f.ExtractDir(), "out" + kSep + "dir" + kSep);
  f.SetExtractDir("out/");
  EXPECT_EQ(f.ExtractDir(), "out" + kSep);
  f.SetExtractDir("");
  EXPECT_EQ(f.ExtractDir(), "");
  tessaly_test::ScratchDir s;
  const std::string archive = s / "x.zip";
  tessaly_test::WriteBytes(archive, std::vector<std::uint8_t>(64, 0));
  f.SetArchiveFile(archive);
  f.SetExtractDir("");
  EXPECT_EQ(f.ExtractDir(), s.Path() + kSep);
}

TEST(UnBase, OutputNamesFollowUseStoredDirs) {
  TFrame f;
  f.SetExtractDir("t");
  const std::string t = "t" + kSep;
  struct TCase {
    const char* stored;
    bool dirs;
    std::string expected;
  };
  const TCase cases[] = {
      {"C:\\temp\\a.txt", true, t + "temp" + kSep + "a.txt"},
      {"\\b\\c.txt", true, t + "b" + kSep + "c.txt"},
      {"C:\\temp\\a.txt", false, t + "a.txt"},
      {"\\b\\c.txt", false, t + "c.txt"},
  };
  for (const TCase& c : cases) {
    f.UseStoredDirs = c.dirs;
    ASSERT_TRUE(f.BuildEntryName(c.stored)) << c.stored;
    EXPECT_EQ(f.OutputName(), c.expected);
  }
  int invalid = 0;
  f.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&, const std::string&,
                  int code) { invalid += code == engine::kErrInvalidFileName; };
  f.UseStoredDirs = true;
  EXPECT_FALSE(f.BuildEntryName("..\\up.txt"));
  EXPECT_FALSE(f.BuildEntryName(""));
  EXPECT_EQ(invalid, 1);  // an empty name is passed over without a message
  EXPECT_EQ(f.FailedCount(), 1);
}

TEST(UnBase, ExistingFileWithoutHandlerIsSkippedForTheRestOfTheRun) {
  tessaly_test::ScratchDir s;
  const std::string existing = s / "there.txt";
  tessaly_test::WriteBytes(existing, {1, 2, 3});
  TFrame f;
  int begun = 0;
  f.OnBegin = [&](engine::TZipCommon&, const std::string&, int, bool&) { ++begun; };
  f.ForceOutputName(existing);
  std::string display = "there.txt";
  bool skip = false;
  EXPECT_TRUE(f.ConfirmEntry(display, skip, 0));
  EXPECT_TRUE(skip);
  EXPECT_EQ(f.OverwriteMode, engine::TOverwriteMode::omSkip);
  EXPECT_EQ(begun, 0);
  f.ForceOutputName(s / "new.txt");
  EXPECT_TRUE(f.ConfirmEntry(display, skip, 0));
  EXPECT_FALSE(skip);
  EXPECT_EQ(begun, 1);
  EXPECT_EQ(f.Count, 1);
  // A cancelled run says so.
  f.SetCancel(true);
  EXPECT_FALSE(f.ConfirmEntry(display, skip, 0));
}

}  // namespace
