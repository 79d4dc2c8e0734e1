// Extraction and test through UNZDLL: expected contents of every fixture, and the
// overwrite, password, CRC-error and skip questions the library asks the bridge.
#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "platform/fs.h"
#include "platform/path.h"
#include "tests/unit/decoders/zip_test_util.h"
#include "tests/unit/zipbridge/bridge_test_util.h"

namespace {

using namespace bridgetest;
using zipbridge::ExtrOptsEnum;
using zipbridge::TZipMaster;

const std::set<std::string> kUnsupported = {"zip/zip_bzip2.zip"};

TEST(ZipMasterExtract, EveryFixtureThroughTheLibrary) {
  const auto rows = ziptest::ZipFixtureRows();
  ASSERT_GE(rows.size(), 40u);
  int matched = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Path);
    ScratchDir out;
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    z.Unattended = true;
    z.SetPassword(row.Password);
    z.SetZipFileName(test::FixturePath(row.Path));
    z.ExtrBaseDir = out.Path();
    z.ExtrOptions = {ExtrOptsEnum::ExtrDirNames, ExtrOptsEnum::ExtrOverWrite};
    z.ExtractEntries();
    const auto expected = ziptest::ExpectedFiles(row.Expected);
    std::multiset<std::pair<std::string, std::int64_t>> want;
    for (const auto& f : expected) want.emplace(f.Sha, f.Size);
    const auto have = ContentsOf(out.Path());
    if (kUnsupported.count(row.Path)) {
      EXPECT_TRUE(have.empty());
      EXPECT_EQ(z.SucceededCount(), 0);
      continue;
    }
    EXPECT_EQ(want, have) << ev.Describe();
    EXPECT_EQ(z.SucceededCount(), static_cast<int>(expected.size())) << ev.Describe();
    EXPECT_EQ(ev.EndOfBatch, 1);
    if (!HasFailure()) ++matched;

    // The same archive tested: every member passes.
    TZipMaster t;
    t.Unattended = true;
    t.SetPassword(row.Password);
    t.SetZipFileName(test::FixturePath(row.Path));
    t.ExtrOptions = {ExtrOptsEnum::ExtrTest};
    t.ExtractEntries();
    EXPECT_EQ(t.SucceededCount(), static_cast<int>(expected.size())) << t.LastMessage();
  }
  std::printf("[ fixtures ] %zu ZIP fixtures extracted through the library as expected: %d\n",
              rows.size(), matched);
}

TEST(ZipMasterExtract, MissingTargetFolderIsMadeAndCurrentFolderUntouched) {
  ScratchDir s;
  const std::string before = platform::CurrentDirectory();
  TZipMaster z;
  z.SetZipFileName(test::FixturePath("zip/zip_paths.zip"));
  z.ExtrBaseDir = s / "new/deeper";
  z.ExtrOptions = {ExtrOptsEnum::ExtrDirNames};
  z.ExtractEntries();
  EXPECT_GT(z.SucceededCount(), 0) << z.LastMessage();
  EXPECT_TRUE(platform::DirectoryExists(s / "new/deeper"));
  EXPECT_EQ(platform::CurrentDirectory(), before);

  // A target that cannot be made fails with a message.
  WriteText(s / "file", "x");
  TZipMaster f;
  f.SetZipFileName(test::FixturePath("zip/zip_paths.zip"));
  f.ExtrBaseDir = s / "file/sub";
  f.ExtractEntries();
  EXPECT_EQ(f.SucceededCount(), 0);
  EXPECT_EQ(f.LastErrorCode(), zipbridge::kZmExtractDirFailed);
  EXPECT_NE(f.LastMessage().find("file"), std::string::npos);
}

TEST(ZipMasterExtract, OverwriteQuestionAndSkips) {
  ScratchDir s;
  const std::string archive = test::FixturePath("zip/zip_stored.zip");
  TZipMaster z;
  z.SetZipFileName(archive);
  z.ExtrBaseDir = s.Path();
  z.ExtractEntries();
  const int all = z.SucceededCount();
  ASSERT_GT(all, 0);
  const auto first = HashesIn(s.Path());
  for (auto& [name, hash] : first) WriteText(s / name, "changed");

  // Asked for each existing file; "keep" leaves it and reports a skip.
  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite);
    TEvents ev;
    ev.Attach(z);
    int asked = 0;
    bool defaultAnswer = true;
    z.OnExtractOverwrite = [&](TZipMaster&, const std::string&, bool, bool& doOverwrite) {
      ++asked;
      defaultAnswer = doOverwrite;
      doOverwrite = overwrite;
    };
    z.ExtrOptions = {};
    z.ExtractEntries();
    EXPECT_EQ(asked, all);
    EXPECT_FALSE(defaultAnswer);  // no ExtrOverWrite: the library's own answer is "keep"
    EXPECT_EQ(z.SucceededCount(), overwrite ? all : 0);
    EXPECT_EQ(static_cast<int>(ev.Skipped.size()), overwrite ? 0 : all);
    for (const auto& [name, type] : ev.Skipped)
      EXPECT_EQ(type, static_cast<int>(zipbridge::UnZipSkipTypes::stNoOverwrite));
    for (auto& [name, hash] : first) {
      if (overwrite) {
        EXPECT_EQ(test::Sha256OfFile(s / name), hash) << name;
      } else {
        EXPECT_EQ(Slurp(s / name), "changed") << name;
      }
    }
  }

  // Freshen: files on disk that are not older are skipped; missing files are not made.
  const std::string one = first.begin()->first;
  std::filesystem::remove(s / one);
  TEvents ev;
  ev.Attach(z);
  z.OnExtractOverwrite = nullptr;
  z.ExtrOptions = {ExtrOptsEnum::ExtrFreshen};
  z.ExtractEntries();
  EXPECT_EQ(z.SucceededCount(), 0);
  EXPECT_FALSE(platform::FileExists(s / one));
}

TEST(ZipMasterExtract, PasswordRequestsAndUnattended) {
  const std::string archive = test::FixturePath("zip/zip_encrypted.zip");
  const auto expected = ziptest::ExpectedFiles("expected/zip/zip_encrypted.zip.txt");
  ASSERT_FALSE(expected.empty());
  {  // Wrong answers count down; the right one extracts; the password is remembered.
    ScratchDir s;
    TZipMaster z;
    z.SetZipFileName(archive);
    z.ExtrBaseDir = s.Path();
    z.SetPasswordReqCount(2);
    std::vector<unsigned> counts;
    z.OnPasswordError = [&](TZipMaster&, std::string& pw, const std::string&, unsigned& count) {
      counts.push_back(count);
      pw = counts.size() == 1 ? "wrong" : "Secret1";
    };
    z.ExtractEntries();
    EXPECT_EQ(z.SucceededCount(), static_cast<int>(expected.size()));
    ASSERT_GE(counts.size(), 2u);
    EXPECT_EQ(counts[0], 2u);
    EXPECT_EQ(counts[1], 1u);
    EXPECT_EQ(counts.size(), 2u);  // later members open with the password found
    EXPECT_TRUE(z.Password().empty());
  }
  {  // The dialog: cancelling stops the extraction.
    ScratchDir s;
    TZipMaster z;
    z.SetZipFileName(archive);
    z.ExtrBaseDir = s.Path();
    std::vector<std::string> prompts;
    z.PasswordDialog = [&](const std::string& caption, const std::string& prompt, std::string&) {
      EXPECT_EQ(caption, "Password");
      prompts.push_back(prompt);
      return false;
    };
    z.ExtractEntries();
    EXPECT_EQ(z.SucceededCount(), 0);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].rfind("Enter password for ", 0), 0u) << prompts[0];
  }
  {  // Unattended without a password never asks: every encrypted member is skipped.
    ScratchDir s;
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    z.SetZipFileName(archive);
    z.ExtrBaseDir = s.Path();
    z.Unattended = true;
    int asked = 0;
    z.PasswordDialog = [&](const std::string&, const std::string&, std::string&) {
      ++asked;
      return true;
    };
    z.ExtractEntries();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(z.SucceededCount(), 0);
    EXPECT_EQ(z.LastErrorCode() == zipbridge::kZmUnattendedExtract ||
                  !ev.Skipped.empty(), true);
    EXPECT_EQ(ev.Skipped.size(), expected.size());
    EXPECT_EQ(z.PasswordReqCount(), 1u);  // restored after the call
  }
}

TEST(ZipMasterExtract, CrcErrorQuestion) {
  ScratchDir s;
  // A stored member with one data byte flipped fails its CRC.
  auto bytes = ReadBytes(test::FixturePath("zip/zip_stored.zip"));
  TZipMaster probe;
  probe.SetZipFileName(test::FixturePath("zip/zip_stored.zip"));
  const auto& entries = probe.Entries();
  auto big = std::max_element(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.PackedSize < b.PackedSize;
  });
  ASSERT_NE(big, entries.end());
  ASSERT_GT(big->PackedSize, 0u);
  const std::size_t dataAt = big->RelOffLocalHdr + 30 + big->FileNameLength;
  bytes[dataAt] ^= 0x55;
  const std::string damaged = s / "damaged.zip";
  WriteBytes(damaged, bytes);
  std::string name = big->EntryName;

  for (const int handler : {0, 1, 2}) {  // none, keep, delete
    SCOPED_TRACE(handler);
    ScratchDir out;
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    z.SetZipFileName(damaged);
    z.ExtrBaseDir = out.Path();
    std::uint32_t found = 0, expected = 0;
    if (handler)
      z.OnCRC32Error = [&](TZipMaster&, const std::string& file, std::uint32_t f, std::uint32_t e,
                           bool& doExtract) {
        EXPECT_EQ(file, name);
        found = f;
        expected = e;
        doExtract = handler == 1;
      };
    z.FSpecArgs = {name};
    z.ExtractEntries();
    const bool present = platform::FileExists(out / name);
    if (handler == 0) {
      EXPECT_TRUE(present);
      EXPECT_EQ(z.SucceededCount(), 0);
      EXPECT_FALSE(ev.Messages.empty());
    } else {
      EXPECT_EQ(expected, big->CRC32);
      EXPECT_NE(found, expected);
      EXPECT_EQ(present, handler == 1);
      EXPECT_EQ(z.SucceededCount(), handler == 1 ? 1 : 0);
    }
  }
}

TEST(ZipMasterExtract, CancelFromAProgressEventStops) {
  ScratchDir s;
  TZipMaster z;
  z.SetZipFileName(test::FixturePath("zip/zip_paths.zip"));
  z.ExtrBaseDir = s.Path();
  z.ExtrOptions = {ExtrOptsEnum::ExtrDirNames};
  int newFiles = 0;
  z.OnProgress = [&](TZipMaster& m, zipbridge::ProgressType type, const std::string&, std::uint32_t) {
    if (type == zipbridge::ProgressType::NewFile && ++newFiles == 1) m.CancelRequested = true;
  };
  z.ExtractEntries();
  EXPECT_EQ(newFiles, 1);
  EXPECT_LE(z.SucceededCount(), 1);
  EXPECT_FALSE(z.CancelRequested);  // cleared at the end
}

TEST(ZipMasterExtract, MissingLibraryOrExportLeavesNoEffect) {
  ScratchDir libs, out;
  // A file of the library's name that is no library, and a library without the exports.
  WriteText(libs / TZipMaster::UnzipLibraryFileName(), "not a library");
  TZipMaster z;
  z.SetDLLDirectory(libs.Path());
  z.SetZipFileName(test::FixturePath("zip/zip_stored.zip"));
  z.ExtrBaseDir = out.Path();
  z.ExtractEntries();
  EXPECT_EQ(z.SucceededCount(), 0);
  EXPECT_EQ(z.LastErrorCode(), zipbridge::kZmUnzipNotFound);
  EXPECT_EQ(z.LastMessage(), "UNZDLL.DLL not found!");
  EXPECT_TRUE(HashesIn(out.Path()).empty());

  ScratchDir libs2;
  // The ZIP library under the name of the UNZIP library: it lacks UnzDllExec. (Tests run
  // in their build folder, where the libraries are copied.)
  const std::string zipLib = platform::JoinPath(std::filesystem::current_path().string(),
                                                TZipMaster::ZipLibraryFileName());
  if (!platform::FileExists(zipLib)) GTEST_SKIP() << "the ZIP library is not beside the test";
  std::filesystem::copy_file(zipLib, libs2 / TZipMaster::UnzipLibraryFileName());
  TZipMaster m;
  m.SetDLLDirectory(libs2.Path());
  m.SetZipFileName(test::FixturePath("zip/zip_stored.zip"));
  m.ExtrBaseDir = out.Path();
  m.ExtractEntries();
  EXPECT_EQ(m.SucceededCount(), 0);
  EXPECT_EQ(m.LastErrorCode(), zipbridge::kZmUnzipExecMissing);
  EXPECT_TRUE(HashesIn(out.Path()).empty());
}

}  // namespace
