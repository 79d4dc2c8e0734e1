// Adding, updating, freshening, moving and deleting through ZIPDLL; renaming and the archive
// comment through the bridge itself. Info-ZIP's unzip, zipnote and zip are the oracles.
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/core/dates.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "tests/unit/zipbridge/bridge_test_util.h"
#include "zipbridge/zip_directory.h"

namespace {

using namespace bridgetest;
using zipbridge::AddOptsEnum;
using zipbridge::TZipMaster;

// Names of the archive's entries, in order ("/" between folders).
std::vector<std::string> Names(const TZipMaster& z) {
  std::vector<std::string> out;
  for (const auto& e : z.Entries()) {
    std::string n = e.EntryName;
    std::replace(n.begin(), n.end(), '\\', '/');
    out.push_back(n);
  }
  return out;
}

void ExpectUnzipTestPasses(const std::string& archive) {
  if (!HaveTool("unzip")) return;
  int rc = 0;
  const std::string out = RunAll("unzip -t " + Quote(archive), &rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
}

// A source tree: a.txt, b.dat, sub/c.txt, sub/deeper/d.txt.
struct TTree {
  ScratchDir Dir;
  TTree() {
    WriteText(Dir / "src/a.txt", std::string(5000, 'a') + "end");
    WriteBytes(Dir / "src/b.dat", tessaly_test::RandomBytes(20000, 7));
    WriteText(Dir / "src/sub/c.txt", "cccc");
    WriteText(Dir / "src/sub/deeper/d.txt", std::string(100000, 'd'));
  }
  std::string Src() const { return Dir / "src"; }
};

void SetDate(const std::string& path, std::int64_t unix) { platform::SetFileModTime(path, unix); }

TEST(ZipMasterAdd, AddsWithFolderNamesRelativeToTheBaseFolder) {
  TTree t;
  const std::string archive = t.Dir / "out.zip";
  for (const int level : {0, 1, 6, 9}) {
    SCOPED_TRACE(level);
    std::filesystem::remove(archive);
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    z.SetZipFileName(archive);
    z.AddBaseDir = t.Src();
    z.AddCompLevel = level;
    z.AddOptions = {AddOptsEnum::AddDirNames, AddOptsEnum::AddRecurseDirs};
    z.FSpecArgs = {"*.*"};
    z.AddFiles();
    EXPECT_EQ(z.SucceededCount(), 4) << z.LastMessage() << ev.Describe();
    EXPECT_TRUE(z.FSpecArgs.empty());
    auto names = Names(z);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.dat", "sub/c.txt", "sub/deeper/d.txt"}));
    for (const auto& e : z.Entries())
      EXPECT_EQ(e.CompressionMethod, level == 0 || e.EntryName == "b.dat" ? 0 : 8) << e.EntryName;
    EXPECT_EQ(ev.TotalFiles, 4u);
    EXPECT_EQ(ev.ProgressBytes, 5003 + 20000 + 4 + 100000);
    EXPECT_EQ(ev.NewFiles.size(), 4u);
    ExpectUnzipTestPasses(archive);
  }

  // Without folder names, and a spec that names a sub-folder relative to the base.
  std::filesystem::remove(archive);
  TZipMaster z;
  z.SetZipFileName(archive);
  z.AddBaseDir = t.Src();
  z.FSpecArgs = {"sub/*.txt"};
  z.AddFiles();
  EXPECT_EQ(Names(z), std::vector<std::string>{"c.txt"});
  z.AddOptions = {AddOptsEnum::AddDirNames};
  z.FSpecArgs = {"sub/deeper/*.txt"};
  z.AddFiles();
  EXPECT_EQ(Names(z), (std::vector<std::string>{"c.txt", "sub/deeper/d.txt"}));
}

TEST(ZipMasterAdd, UpdateFreshenAndForeignMembersStayByteIdentical) {
  // A foreign archive: Info-ZIP's, with extra fields and member comments.
  ScratchDir s;
  const std::string archive = s / "foreign.zip";
  std::filesystem::copy_file(test::FixturePath("zip/zip_member_comment.zip"), archive);
  const std::string src = s / "src";
  TZipMaster before;
  before.SetZipFileName(archive);
  before.WriteArchiveComment("kept comment");
  ASSERT_EQ(before.ZipEntryCount(), 2);
  ASSERT_GT(before.Entries()[1].ExtraFieldLength, 0);
  const auto oldBytes = ReadBytes(archive);
  auto memberBytes = [](const std::vector<std::uint8_t>& bytes, const zipbridge::ZipDirEntry& e) {
    // Local header, name, extra field and data.
    const std::size_t at = e.RelOffLocalHdr;
    const std::size_t len = 30 + zipbridge::Le16(&bytes[at + 26]) + zipbridge::Le16(&bytes[at + 28]) + e.PackedSize;
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + len));
  };
  auto entry = [](const TZipMaster& z, const std::string& name) {
    return std::find_if(z.Entries().begin(), z.Entries().end(),
                        [&](const auto& e) { return e.EntryName == name; });
  };

  // Freshen with a newer text.txt and a new file: only text.txt changes, nothing is added.
  WriteText(src + "/text.txt", "new text");
  SetDate(src + "/text.txt", platform::UnixTimeNow() + 3600);
  WriteText(src + "/new.txt", "new");
  TZipMaster z;
  z.SetZipFileName(archive);
  z.AddBaseDir = src;
  z.AddOptions = {AddOptsEnum::AddDirNames, AddOptsEnum::AddFreshen};
  z.FSpecArgs = {"text.txt", "new.txt"};
  z.AddFiles();
  EXPECT_EQ(z.SucceededCount(), 1) << z.LastMessage();
  ASSERT_EQ(z.ZipEntryCount(), 2);
  EXPECT_EQ(z.ArchiveComment(), "kept comment");
  EXPECT_EQ(entry(z, "text.txt")->UnpackedSize, 8u);
  const auto kept = entry(z, "one.txt");
  const auto old = entry(before, "one.txt");
  ASSERT_NE(kept, z.Entries().end());
  EXPECT_EQ(memberBytes(oldBytes, *old), memberBytes(ReadBytes(archive), *kept));
  EXPECT_EQ(kept->EntryComment, old->EntryComment);
  EXPECT_EQ(kept->ExtraFieldLength, old->ExtraFieldLength);
  ExpectUnzipTestPasses(archive);

  // Update: the new file comes in; text.txt (not newer now) stays as it is.
  const auto textCrc = entry(z, "text.txt")->CRC32;
  z.AddOptions = {AddOptsEnum::AddDirNames, AddOptsEnum::AddUpdate, AddOptsEnum::AddFreshen};
  z.FSpecArgs = {"text.txt", "new.txt"};
  z.AddFiles();
  EXPECT_EQ(z.SucceededCount(), 1) << z.LastMessage();
  EXPECT_EQ(z.ZipEntryCount(), 3);
  EXPECT_EQ(entry(z, "text.txt")->CRC32, textCrc);
  ExpectUnzipTestPasses(archive);

  // Nothing newer: the archive is not touched at all.
  const auto unchanged = ReadBytes(archive);
  z.FSpecArgs = {"text.txt"};
  z.AddFiles();
  EXPECT_EQ(z.SucceededCount(), 0);
  EXPECT_EQ(ReadBytes(archive), unchanged);
}

TEST(ZipMasterAdd, MoveDeletesOnlyWhatWasAdded) {
  TTree t;
  const std::string archive = t.Dir / "moved.zip";
  const std::string src = t.Src();
  // Without folder names two files called c.txt meet: the second is refused, so it must
  // stay where it is.
  WriteText(src + "/dup/c.txt", "first c");
  TZipMaster z;
  TEvents ev;
  ev.Attach(z);
  z.SetZipFileName(archive);
  z.AddBaseDir = src;
  z.AddOptions = {AddOptsEnum::AddMove, AddOptsEnum::AddRecurseDirs};
  z.FSpecArgs = {"*.txt"};
  z.AddFiles();
  EXPECT_EQ(z.SucceededCount(), 3) << ev.Describe();
  auto names = Names(z);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt", "d.txt"}));
  EXPECT_FALSE(platform::FileExists(src + "/a.txt"));
  EXPECT_FALSE(platform::FileExists(src + "/dup/c.txt"));
  EXPECT_FALSE(platform::FileExists(src + "/sub/deeper/d.txt"));
  EXPECT_TRUE(platform::FileExists(src + "/sub/c.txt"));  // refused, so kept
  EXPECT_TRUE(platform::FileExists(src + "/b.dat"));      // not named
  EXPECT_FALSE(ev.Messages.empty());
  ExpectUnzipTestPasses(archive);
}

TEST(ZipMasterAdd, EncryptedAddOpensWithThePassword) {
  TTree t;
  const std::string archive = t.Dir / "enc.zip";
  {  // Unattended without a password: refused before anything happens.
    TZipMaster z;
    z.SetZipFileName(archive);
    z.AddBaseDir = t.Src();
    z.Unattended = true;
    z.AddOptions = {AddOptsEnum::AddEncrypt};
    z.FSpecArgs = {"a.txt"};
    z.AddFiles();
    EXPECT_EQ(z.LastErrorCode(), zipbridge::kZmUnattendedPassword);
    EXPECT_FALSE(platform::FileExists(archive));
  }
  {  // Two different answers: message 10104 and the file goes in without a password.
    TZipMaster z;
    z.SetZipFileName(archive);
    z.AddBaseDir = t.Src();
    z.AddOptions = {AddOptsEnum::AddEncrypt};
    int n = 0;
    z.PasswordDialog = [&](const std::string&, const std::string& prompt, std::string& text) {
      EXPECT_EQ(prompt, n == 0 ? "Enter Password " : "Confirm Password ");
      text = n++ == 0 ? "one" : "two";
      return true;
    };
    z.FSpecArgs = {"a.txt"};
    z.AddFiles();
    EXPECT_EQ(z.SucceededCount(), 1);
    ASSERT_EQ(z.ZipEntryCount(), 1);
    EXPECT_EQ(z.Entries()[0].IsEncrypted, 0);
  }
  std::filesystem::remove(archive);
  TZipMaster z;
  z.SetZipFileName(archive);
  z.AddBaseDir = t.Src();
  z.AddOptions = {AddOptsEnum::AddEncrypt};
  z.SetPassword("s3cret");
  z.FSpecArgs = {"a.txt", "b.dat"};
  z.AddFiles();
  ASSERT_EQ(z.ZipEntryCount(), 2);
  for (const auto& e : z.Entries()) EXPECT_EQ(e.IsEncrypted, 1);
  if (HaveTool("unzip")) {
    int rc = 0;
    const std::string out = RunAll("unzip -t -P s3cret " + Quote(archive), &rc);
    EXPECT_EQ(rc, 0) << out;
  }
  ScratchDir x;
  TZipMaster u;
  u.SetZipFileName(archive);
  u.SetPassword("s3cret");
  u.ExtrBaseDir = x.Path();
  u.ExtractEntries();
  EXPECT_EQ(u.SucceededCount(), 2);
  EXPECT_EQ(Slurp(x / "a.txt"), std::string(5000, 'a') + "end");
}

TEST(ZipMasterAdd, DeleteEntries) {
  TTree t;
  const std::string archive = t.Dir / "del.zip";
  TZipMaster z;
  z.SetZipFileName(archive);
  z.AddBaseDir = t.Src();
  z.DeleteEntries();
  EXPECT_EQ(z.LastErrorCode(), zipbridge::kZmNoDeleteFiles);
  z.AddOptions = {AddOptsEnum::AddDirNames, AddOptsEnum::AddRecurseDirs};
  z.FSpecArgs = {"*.*"};
  z.AddFiles();
  ASSERT_EQ(z.ZipEntryCount(), 4);
  z.FSpecArgs = {"sub\\c.txt", "b.dat"};
  z.DeleteEntries();
  EXPECT_EQ(z.SucceededCount(), 2) << z.LastMessage();
  auto names = Names(z);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub/deeper/d.txt"}));
  ExpectUnzipTestPasses(archive);
}

TEST(ZipMasterRename, FilesAndFoldersWithZipnote) {
  TTree t;
  const std::string archive = t.Dir / "ren.zip";
  WriteText(t.Src() + "/docs/x.txt", "x");
  WriteText(t.Src() + "/more/docs/y.txt", "y");
  TZipMaster z;
  z.SetZipFileName(archive);
  z.AddBaseDir = t.Src();
  z.AddOptions = {AddOptsEnum::AddDirNames, AddOptsEnum::AddRecurseDirs};
  z.FSpecArgs = {"*.*"};
  z.AddFiles();
  ASSERT_EQ(z.ZipEntryCount(), 6);
  z.WriteArchiveComment("stays");
  const auto before = ReadBytes(archive);

  // A file renamed to a bare folder name: -10, archive untouched.
  EXPECT_EQ(z.Rename({{"a.txt", "folder\\", 0}}, 0), -10);
  EXPECT_EQ(ReadBytes(archive), before);

  const std::uint32_t date = 0x58A55C00;  // 2024-05-05 11:32:00
  EXPECT_EQ(z.Rename({{"A.TXT", "renamed/a.txt", date}, {"docs\\", "text\\", 0}}, 0), 0)
      << z.LastMessage();
  auto names = Names(z);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"b.dat", "more/text/y.txt", "renamed/a.txt",
                                             "sub/c.txt", "sub/deeper/d.txt", "text/x.txt"}));
  const auto renamed = std::find_if(z.Entries().begin(), z.Entries().end(),
                                    [](const auto& e) { return e.EntryName == "renamed\\a.txt"; });
  EXPECT_EQ(renamed->DosDateTime, date);
  EXPECT_EQ(z.ArchiveComment(), "stays");
  ExpectUnzipTestPasses(archive);
  if (HaveTool("zipnote")) {
    const std::string notes = RunAll("zipnote " + Quote(archive));
    EXPECT_NE(notes.find("@ renamed/a.txt"), std::string::npos) << notes;
    EXPECT_NE(notes.find("@ more/text/y.txt"), std::string::npos) << notes;
    EXPECT_EQ(notes.find("docs/"), std::string::npos) << notes;
  }
  ScratchDir x;
  z.ExtrBaseDir = x.Path();
  z.ExtrOptions = {zipbridge::ExtrOptsEnum::ExtrDirNames};
  z.ExtractEntries();
  EXPECT_EQ(Slurp(x / "text/x.txt"), "x");
  EXPECT_EQ(Slurp(x / "renamed/a.txt"), std::string(5000, 'a') + "end");
}

TEST(ZipMasterRename, SelfExtractorPrefixIsKept) {
  // A stub in front of an archive whose offsets count it.
  const std::string fixture = test::FixturePath("zip/zip_mz_stub.exe");
  ScratchDir s;
  const std::string exe = s / "stub.exe";
  std::filesystem::copy_file(fixture, exe);
  TZipMaster z;
  z.SetZipFileName(exe);
  const auto start = z.ZipDataStart();
  ASSERT_GT(start, 0);
  ASSERT_GT(z.ZipEntryCount(), 0);
  const std::string first = z.Entries()[0].EntryName;
  EXPECT_EQ(z.Rename({{first, "renamed.bin", 0}}, 0), 0) << z.LastMessage();
  EXPECT_EQ(z.ZipDataStart(), start);
  EXPECT_FALSE(z.OffsetsShifted());
  const auto a = ReadBytes(fixture), b = ReadBytes(exe);
  EXPECT_TRUE(std::equal(a.begin(), a.begin() + start, b.begin()));
  ExpectUnzipTestPasses(exe);
}

TEST(ZipMasterComment, WrittenReadBackAndLimited) {
  ScratchDir s;
  const std::string archive = s / "c.zip";
  std::filesystem::copy_file(test::FixturePath("zip/zip_comments.zip"), archive);
  TZipMaster z;
  z.SetZipFileName(archive);
  const int count = z.ZipEntryCount();
  z.WriteArchiveComment("A new comment\r\nline two");
  EXPECT_EQ(z.ArchiveComment(), "A new comment\r\nline two");
  EXPECT_EQ(z.ZipEntryCount(), count);
  if (HaveTool("unzip")) {
    const std::string out = RunAll("unzip -z " + Quote(archive));
    EXPECT_NE(out.find("A new comment"), std::string::npos) << out;
    EXPECT_NE(out.find("line two"), std::string::npos) << out;
  }
  ExpectUnzipTestPasses(archive);
  // Non-ASCII text goes through the OEM code page and back.
  z.WriteArchiveComment("caf\xC3\xA9");
  TZipMaster r;
  r.SetZipFileName(archive);
  EXPECT_EQ(r.ArchiveComment(), "caf\xC3\xA9");
  const auto raw = ReadBytes(archive);
  EXPECT_EQ(raw.back(), 0x82);  // é in code page 437

  // Longer than the 16-bit length: refused, archive untouched.
  const auto before = ReadBytes(archive);
  z.WriteArchiveComment(std::string(65536, 'x'));
  EXPECT_EQ(z.LastErrorCode(), zipbridge::kZmCommentTooLong);
  EXPECT_EQ(ReadBytes(archive), before);
  z.WriteArchiveComment(std::string(65535, 'x'));
  EXPECT_EQ(r.ZipEntryCount(), count);
  TZipMaster again;
  again.SetZipFileName(archive);
  EXPECT_EQ(again.ArchiveComment().size(), 65535u);
  EXPECT_EQ(again.ZipEntryCount(), count);
  // The empty comment.
  z.WriteArchiveComment("");
  EXPECT_EQ(std::filesystem::file_size(archive) + 0, static_cast<std::uintmax_t>(z.EndOfCentralDirPos() + 22));
}

}  // namespace
