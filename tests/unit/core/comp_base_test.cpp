// The compression frame through a toy writer: gathering, stored names, replacement,
// cancel and move.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "engine/core/comp_base.h"
#include "tests/unit/test_paths.h"

namespace {

namespace fs = std::filesystem;
using engine::TStoredDirNames;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const fs::path& p, const std::string& s) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << s;
}

// One line per member: "name<TAB>content\n". Old members are kept by copying their line.
class TToyWriter : public engine::TCompBase {
 public:
  std::vector<std::string> storedNames;
  bool failOnSecond = false;
  bool cancelOnFirst = false;

 protected:
  std::string StandardExt() const override { return ".toy"; }
  void ReadArchiveDirectory() override {
    const std::string text = ReadAll(ArchiveFile());
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t end = text.find('\n', pos);
      const std::string line = text.substr(pos, end - pos);
      engine::TCompEntry e;
      e.Name = line.substr(0, line.find('\t'));
      e.Head.StoredName = e.Name;
      e.Head.State = engine::TEntryState::esKeep;
      e.Head.HeaderOffset = static_cast<std::int64_t>(pos);
      e.Head.SpanLength = static_cast<std::int64_t>(end - pos + 1);
      if (Switch == engine::TSwitch::swDelete && IsSelected(e.Name, false)) {
        ++deleted_;
        pos = end + 1;
        continue;
      }
      entries_.push_back(e);
      pos = end + 1;
    }
  }
  void CompressFile(engine::TCompEntry& e) override {
    if (cancelOnFirst) SetCancel(true);
    if (failOnSecond && storedNames.size() == 1) RaiseError(e.Name, "", "0", engine::kErrWritingFile);
    engine::TFileStream in;
    if (!OpenSourceFile(e, in)) return;
    std::string data(static_cast<std::size_t>(e.Head.Size), '\0');
    in.Read(data.data(), data.size());
    const std::string line = e.Head.StoredName + "\t" + data + "\n";
    temp_->Write(line.data(), line.size());
    storedNames.push_back(e.Head.StoredName);
  }
};

class CompBase : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(test::TempPath("comp")) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root);
    WriteAll(root / "data" / "a.txt", "A");
    WriteAll(root / "data" / "sub" / "b.txt", "B");
    WriteAll(root / "data" / ".profile", "P");
    WriteAll(root / "data" / "c.bin", "C");
    archive = (root / "out.toy").string();
  }
  fs::path root;
  std::string archive;
};

TEST_F(CompBase, StoredNamesByMode) {
  struct TCase {
    TStoredDirNames mode;
    std::set<std::string> names;
  } cases[] = {
      {TStoredDirNames::sdRelative, {"a.txt", "sub\\b.txt"}},
      {TStoredDirNames::sdNone, {"a.txt", "b.txt"}},
      {TStoredDirNames::sdRelativeStoreStart, {"data\\a.txt", "data\\sub\\b.txt"}},
  };
  for (const auto& c : cases) {
    fs::remove(archive);
    TToyWriter w;
    w.SetArchiveFile(archive);
    w.StoredDirNames = c.mode;
    w.RecurseDirs = true;
    w.SetFileSpec({(root / "data" / "*.txt").string()});
    EXPECT_EQ(w.Compress(), 2);
    EXPECT_EQ(std::set<std::string>(w.storedNames.begin(), w.storedNames.end()), c.names);
  }
}

TEST_F(CompBase, DotFilesAndExclusionsAreLeftOut) {
  TToyWriter w;
  w.SetArchiveFile(archive);
  w.SetFileSpec({(root / "data" / "*").string()});
  w.SetExcludeSpec({"*.bin"});
  EXPECT_EQ(w.Compress(), 1);
  EXPECT_EQ(w.storedNames, std::vector<std::string>{"a.txt"});
}

TEST_F(CompBase, FailureOrCancelLeavesOldArchiveAndNoTempFile) {
  WriteAll(archive, "old\tcontent\n");
  const auto before = ReadAll(archive);
  for (int mode = 0; mode < 2; ++mode) {
    TToyWriter w;
    w.SetArchiveFile(archive);
    w.failOnSecond = mode == 0;
    w.cancelOnFirst = mode == 1;
    w.RecurseDirs = true;
    w.SetFileSpec({(root / "data" / "*.txt").string()});
    w.Compress();
    EXPECT_FALSE(w.Replaced());
    EXPECT_EQ(ReadAll(archive), before);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(root))
      if (entry.is_regular_file()) ++files;
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
  }
}

TEST_F(CompBase, UpdateKeepsOldMembersAndMoveDeletesOnlyAdded) {
  WriteAll(archive, "old\tcontent\n");
  TToyWriter w;
  w.SetArchiveFile(archive);
  w.Switch = engine::TSwitch::swMove;
  w.SetFileSpec({(root / "data" / "*.txt").string()});
  EXPECT_EQ(w.Compress(), 1);
  EXPECT_TRUE(w.Replaced());
  EXPECT_EQ(ReadAll(archive), "old\tcontent\na.txt\tA\n");
  EXPECT_FALSE(fs::exists(root / "data" / "a.txt"));
  EXPECT_TRUE(fs::exists(root / "data" / "c.bin"));
  EXPECT_TRUE(fs::exists(root / "data" / "sub" / "b.txt"));
}

TEST_F(CompBase, DeleteOnMissingArchiveIsNothingToDo) {
  TToyWriter w;
  w.SetArchiveFile(archive);
  w.Switch = engine::TSwitch::swDelete;
  w.SetFileSpec({"*.*"});
  int code = 0;
  w.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&,
                  const std::string&, int c) { code = c; };
  EXPECT_THROW(w.Compress(), engine::E_RAISE);
  EXPECT_EQ(code, engine::kErrNothingToDo);
}

TEST(FileAttr, Rules) {
  engine::TztvFileAttr a;
  a.SetFileAttr(0);
  EXPECT_TRUE(a.AnyFile());
  EXPECT_EQ(a.FileAttr(), 2367u);
  a.SetFlag(engine::TztvFileAttr::kHidden, false);
  EXPECT_FALSE(a.AnyFile());
  EXPECT_FALSE(a.Flag(engine::TztvFileAttr::kHidden));
  a.SetFileAttr(0x21);
  EXPECT_EQ(a.FileAttr(), 0x21u);
}

TEST(DefaultExt, NormalisedAndApplied) {
  TToyWriter w;
  w.SetArchiveFile(test::TempPath("noext"));
  w.SetDefaultExt("ZIPX");
  EXPECT_EQ(w.DefaultExt(), ".zip");
  EXPECT_EQ(fs::path(w.ArchiveFile()).extension(), ".zip");
}

}  // namespace
