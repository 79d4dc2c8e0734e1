// The ZIP decoder: every ZIP fixture, crafted hostile names, damaged archives, and the
// frame's overwrite, password, date and cancel behaviour through TUnZIP.
#include "engine/decoders/un_zip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/core/dates.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "tests/unit/core/scratch_dir.h"
#include "tests/unit/decoders/zip_builder.h"
#include "tests/unit/decoders/zip_test_util.h"

namespace {

using engine::TOverwriteMode;
using engine::TUnZIP;
using tessaly_test::ReadBytes;
using tessaly_test::ScratchDir;
using tessaly_test::WriteBytes;
using ziptest::Bytes;
using ziptest::Stored;
using ziptest::TMember;
using ziptest::TRecorder;

// Fixtures whose members use a method this decoder does not have: each member must be
// refused with "Unsupported compression method" and nothing written.
const std::set<std::string> kUnsupportedFixtures = {"zip/zip_bzip2.zip"};

void Prepare(TUnZIP& e, const std::string& archive, const std::string& dir) {
  e.SetArchiveFile(archive);
  e.SetExtractDir(dir);
  e.SetFileSpec({"*.*"});
}

std::string Write(const ScratchDir& s, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = s / name;
  WriteBytes(path, bytes);
  return path;
}

TEST(UnZip, EveryFixtureExtractsToTheExpectedFiles) {
  const auto rows = ziptest::ZipFixtureRows();
  ASSERT_GE(rows.size(), 40u) << "fixture manifest not found";
  int matched = 0, unsupported = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Path);
    ScratchDir out;
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, test::FixturePath(row.Path), out.Path());
    if (!row.Password.empty()) e.Passwords = {row.Password};
    e.Extract();
    const auto expected = ziptest::ExpectedFiles(row.Expected);
    const auto got = ziptest::FilesIn(out.Path());
    if (kUnsupportedFixtures.count(row.Path)) {
      EXPECT_EQ(rec.CountCode(engine::kErrUnsupportedMethod), static_cast<int>(expected.size()));
      EXPECT_TRUE(got.empty());
      if (!HasFailure()) ++unsupported;
      continue;
    }
    EXPECT_TRUE(rec.Errors.empty()) << rec.Describe();
    for (const auto& [fn, pass] : rec.Ends) EXPECT_TRUE(pass) << fn;
    EXPECT_EQ(e.FailedCount(), 0);
    // Contents must match exactly; names wherever the listing's name is plain ASCII (the
    // peer tools disagree among themselves on non-ASCII names).
    std::multiset<std::pair<std::string, std::int64_t>> want, have;
    for (const auto& f : expected) want.emplace(f.Sha, f.Size);
    for (const auto& f : got) have.emplace(f.Sha, f.Size);
    EXPECT_EQ(want, have);
    for (const auto& f : expected) {
      if (!ziptest::IsAscii(f.Name)) continue;
      const bool found = std::any_of(got.begin(), got.end(), [&](const ziptest::TFileEntry& g) {
        return g.Name == f.Name && g.Sha == f.Sha;
      });
      EXPECT_TRUE(found) << f.Name;
    }
    if (want == have && !HasFailure()) ++matched;
  }
  std::printf("[ fixtures ] %zu ZIP fixtures: %d extracted as expected, %d refused as unsupported\n",
              rows.size(), matched, unsupported);
}

TEST(UnZip, JarEngineExtractsTheSameBytesAsZip) {
  ScratchDir s;
  const auto archive = ReadBytes(test::FixturePath("zip/zip_as_jar.jar"));
  const std::string asZip = Write(s, "same.zip", archive);
  const std::string asJar = Write(s, "same.jar", archive);
  std::filesystem::create_directories(s / "z");
  std::filesystem::create_directories(s / "j");
  TUnZIP z;
  engine::TUnJar j;
  Prepare(z, asZip, s / "z");
  Prepare(j, asJar, s / "j");
  EXPECT_EQ(z.ArcType(), engine::TArcType::atZip);
  EXPECT_EQ(j.ArcType(), engine::TArcType::atJar);
  EXPECT_EQ(z.Extract(), 2);
  EXPECT_EQ(j.Extract(), 2);
  EXPECT_EQ(ziptest::FilesIn(s / "z"), ziptest::FilesIn(s / "j"));
}

// Names that must never reach outside the target; the sound member still extracts.
TEST(UnZip, HostileNamesStayInsideTheTarget) {
  ScratchDir s;
  const std::vector<std::string> refused = {"../x1.txt", "..\\x2.txt", "a/../../x3.txt",
                                            "CON", "dir/aux.txt", "a/b:c.txt", "...", "a/ /b"};
  const std::vector<std::string> contained = {"/abs.txt", "C:\\drive.txt", "\\\\srv\\share\\unc.txt",
                                              "x:y.txt"};
  std::vector<TMember> members;
  for (const auto& n : refused) members.push_back(Stored(n, Bytes("evil")));
  for (const auto& n : contained) members.push_back(Stored(n, Bytes("kept")));
  members.push_back(Stored("good/ok.txt", Bytes("fine")));
  const std::string archive = Write(s, "hostile.zip", ziptest::BuildZip(members));
  const std::string target = s / "target";
  std::filesystem::create_directories(target);
  TUnZIP e;
  TRecorder rec;
  rec.Attach(e);
  Prepare(e, archive, target);
  e.Extract();
  EXPECT_EQ(rec.CountCode(engine::kErrInvalidFileName), static_cast<int>(refused.size()))
      << rec.Describe();
  // Only the archive and the target folder sit in the scratch folder.
  std::set<std::string> top;
  for (const auto& it : std::filesystem::directory_iterator(s.Path()))
    top.insert(it.path().filename().string());
  EXPECT_EQ(top, (std::set<std::string>{"hostile.zip", "target"}));
  const auto files = ziptest::FilesIn(target);
  std::set<std::string> names;
  for (const auto& f : files) names.insert(f.Name);
  EXPECT_EQ(names, (std::set<std::string>{"abs.txt", "drive.txt", "srv/share/unc.txt", "y.txt", "good/ok.txt"}));
  EXPECT_EQ(e.FailedCount(), static_cast<int>(refused.size()));
}

TEST(UnZip, NeverWritesThroughALinkInsideTheTarget) {
  ScratchDir s;
  const std::string target = s / "target";
  const std::string outside = s / "outside";
  std::filesystem::create_directories(target);
  std::filesystem::create_directories(outside);
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside, target + "/link", ec);
  if (ec) GTEST_SKIP() << "symbolic links cannot be made here";
  const std::string archive = Write(s, "link.zip", ziptest::BuildZip({Stored("link/evil.txt", Bytes("evil")),
                                                                       Stored("link/sub/evil.txt", Bytes("evil"))}));
  TUnZIP e;
  TRecorder rec;
  rec.Attach(e);
  Prepare(e, archive, target);
  e.Extract();
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  EXPECT_EQ(e.FailedCount(), 2);
  EXPECT_EQ(rec.CountCode(engine::kErrOpeningFile), 2) << rec.Describe();
}

TEST(UnZip, RestoresDatesAndAttributes) {
  ScratchDir s;
  TMember ro = Stored("ro.txt", Bytes("read only"));
  ro.External = 0x21;
  TMember later = Stored("later.txt", Bytes("later"));
  later.DosDate = (((2022u - 1980u) << 9 | 3u << 5 | 4u) << 16) | (5u << 11 | 6u << 5 | 7u);
  const std::string archive = Write(s, "dates.zip", ziptest::BuildZip({ro, later}));
  {
    TUnZIP e;
    Prepare(e, archive, s / "a");
    ASSERT_EQ(e.Extract(), 2);
    EXPECT_EQ(platform::FileModTime(s / "a/ro.txt"),
              engine::DateTimeToUnix(engine::DosDateToDateTime(ziptest::kDosDate)));
    EXPECT_EQ(platform::FileModTime(s / "a/later.txt"),
              engine::DateTimeToUnix(engine::DosDateToDateTime(later.DosDate)));
    EXPECT_TRUE(*platform::FileAttributes(s / "a/ro.txt") & platform::kAttrReadOnly);
    EXPECT_FALSE(*platform::FileAttributes(s / "a/later.txt") & platform::kAttrReadOnly);
  }
  {
    // The latest date of the run for every file; attributes left as created.
    TUnZIP e;
    Prepare(e, archive, s / "b");
    e.DateAttribute = engine::TDateAttribute::daMaxFileDate;
    e.RestoreFileAttr = false;
    ASSERT_EQ(e.Extract(), 2);
    const auto want = engine::DateTimeToUnix(engine::DosDateToDateTime(later.DosDate));
    EXPECT_EQ(platform::FileModTime(s / "b/ro.txt"), want);
    EXPECT_EQ(platform::FileModTime(s / "b/later.txt"), want);
    EXPECT_FALSE(*platform::FileAttributes(s / "b/ro.txt") & platform::kAttrReadOnly);
  }
  platform::SetFileAttributes(s / "a/ro.txt", 0);
}

TEST(UnZip, OverwriteModesAndFileExists) {
  ScratchDir s;
  const std::string archive = Write(s, "ow.zip", ziptest::BuildZip({Stored("a.txt", Bytes("new a")),
                                                                     Stored("b.txt", Bytes("new b"))}));
  const std::string dir = s / "out";
  std::filesystem::create_directories(dir);
  auto reset = [&] {
    WriteBytes(dir + "/a.txt", Bytes("old a"));
    WriteBytes(dir + "/b.txt", Bytes("old b"));
  };
  auto content = [&](const char* n) { return ReadBytes(dir + "/" + n); };

  // No handler: existing files are kept and the answer stays omSkip.
  reset();
  TUnZIP e;
  Prepare(e, archive, dir);
  EXPECT_EQ(e.Extract(), 0);
  EXPECT_EQ(content("a.txt"), Bytes("old a"));
  EXPECT_EQ(e.OverwriteMode, TOverwriteMode::omSkip);

  // The handler decides per file; its last answer stays for the next one.
  reset();
  std::vector<std::string> asked;
  e.OverwriteMode = TOverwriteMode::omOverwrite;
  e.OnFileExists = [&](engine::TZipCommon&, const std::string& fn, double date, TOverwriteMode& mode) {
    asked.push_back(platform::FileNamePart(fn));
    EXPECT_DOUBLE_EQ(date, engine::DosDateToDateTime(ziptest::kDosDate));
    mode = asked.size() == 1 ? TOverwriteMode::omOverwrite : TOverwriteMode::omSkip;
  };
  EXPECT_EQ(e.Extract(), 1);
  EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(content("a.txt"), Bytes("new a"));
  EXPECT_EQ(content("b.txt"), Bytes("old b"));

  // Without confirmation, omOverwrite replaces even a read-only file.
  reset();
  platform::SetFileAttributes(dir + "/a.txt", platform::kAttrReadOnly);
  e.OnFileExists = nullptr;
  e.ConfirmOverwrites = false;
  e.OverwriteMode = TOverwriteMode::omOverwrite;
  EXPECT_EQ(e.Extract(), 2);
  EXPECT_EQ(content("a.txt"), Bytes("new a"));
  EXPECT_EQ(content("b.txt"), Bytes("new b"));
}

TEST(UnZip, UnsupportedMethodAndBrokenMembersLeaveTheRest) {
  ScratchDir s;
  TMember bzip = Stored("bzip.bin", Bytes("whatever"), 12);
  TMember tiny = Stored("tiny.bin", Bytes("x"));
  tiny.Flags = 1;  // encrypted, but smaller than its own encryption header
  TMember badCrc = Stored("crc.txt", Bytes("checked"));
  badCrc.Crc = 0x12345678;
  TMember shortData = Stored("short.bin", Bytes("0123456789"));
  shortData.Packed = Bytes("01234");  // stored, 5 bytes where 10 are stated
  shortData.PackedSize = 5;
  const std::string archive = Write(
      s, "mixed.zip", ziptest::BuildZip({bzip, tiny, badCrc, shortData, Stored("good.txt", Bytes("good"))}));
  TUnZIP e;
  TRecorder rec;
  rec.Attach(e);
  e.Passwords = {"pw"};
  Prepare(e, archive, s / "out");
  e.Extract();
  EXPECT_EQ(rec.CountCode(engine::kErrUnsupportedMethod), 1) << rec.Describe();
  EXPECT_EQ(rec.CountCode(engine::kErrCorruptInput), 1);
  EXPECT_FALSE(platform::FileExists(s / "out/bzip.bin"));
  std::map<std::string, bool> verdict;
  for (const auto& [fn, pass] : rec.Ends) verdict[platform::FileNamePart(fn)] = pass;
  EXPECT_EQ(verdict, (std::map<std::string, bool>{{"bzip.bin", false}, {"tiny.bin", false},
                                                  {"crc.txt", false}, {"short.bin", false},
                                                  {"good.txt", true}}));
  EXPECT_EQ(ReadBytes(s / "out/good.txt"), Bytes("good"));
  EXPECT_EQ(e.FailedCount(), 4);

  // Without OnEnd the failed checksum is reported as an error.
  TUnZIP quiet;
  TRecorder errs;
  errs.Attach(quiet);
  quiet.OnEnd = nullptr;
  quiet.SetArchiveFile(archive);
  quiet.SetExtractDir(s / "quiet");
  quiet.SetFileSpec({"crc.txt"});
  quiet.Extract();
  EXPECT_EQ(errs.CountCode(engine::kErrCrcCheck), 1) << errs.Describe();
}

TEST(UnZip, SingleNameSpecStopsAtTheFirstMatch) {
  ScratchDir s;
  const std::string archive = Write(s, "dup.zip", ziptest::BuildZip({Stored("a.txt", Bytes("1")),
                                                                      Stored("b.txt", Bytes("first b")),
                                                                      Stored("sub/b.txt", Bytes("second b"))}));
  TUnZIP e;
  e.SetArchiveFile(archive);
  e.SetExtractDir(s / "out");
  e.SetFileSpec({"b.txt"});
  EXPECT_EQ(e.Extract(), 1);
  EXPECT_EQ(ReadBytes(s / "out/b.txt"), Bytes("first b"));
  EXPECT_FALSE(platform::FileExists(s / "out/sub/b.txt"));
}

TEST(UnZip, CancelEndsTheRunAfterTheCurrentBlock) {
  ScratchDir s;
  const auto big = tessaly_test::RandomBytes(200000, 7);
  const std::string archive = Write(s, "big.zip", ziptest::BuildZip({Stored("big.bin", big), Stored("next.txt", Bytes("n"))}));
  TUnZIP e;
  TRecorder rec;
  rec.Attach(e);
  Prepare(e, archive, s / "out");
  int progress = 0;
  e.OnProgress = [&](engine::TZipCommon& sender, std::uint8_t byFile, std::uint8_t) {
    if (byFile > 0 && ++progress == 2) sender.SetCancel(true);
  };
  e.Extract();
  EXPECT_TRUE(e.Cancel());
  EXPECT_FALSE(platform::FileExists(s / "out/next.txt"));
  const auto size = platform::FileSize(s / "out/big.bin");
  ASSERT_TRUE(size);
  EXPECT_LT(*size, 200000);
  ASSERT_EQ(rec.Ends.size(), 1u);
  EXPECT_FALSE(rec.Ends[0].second);
}

TEST(UnZip, SplitSetFromEitherEnd) {
  for (const char* name : {"zip/zip_split.zip", "zip/zip_split.z01"}) {
    SCOPED_TRACE(name);
    ScratchDir out;
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, test::FixturePath(name), out.Path());
    EXPECT_EQ(e.Extract(), 2) << rec.Describe();
    EXPECT_EQ(ziptest::FilesIn(out.Path()).size(), 2u);
    EXPECT_EQ(e.FailedCount(), 0);
  }
  // A missing segment ends the run with its name.
  ScratchDir s;
  const std::string last = s / "set.zip";
  std::filesystem::copy_file(test::FixturePath("zip/zip_split.zip"), last);
  TUnZIP e;
  TRecorder rec;
  rec.Attach(e);
  Prepare(e, last, s / "out");
  EXPECT_EQ(e.Extract(), 0);
  ASSERT_EQ(rec.Errors.size(), 1u);
  EXPECT_EQ(rec.Errors[0].second, engine::kErrFileNotFound);
  EXPECT_EQ(platform::FileNamePart(rec.Errors[0].first), "set.z01");
}

// Truncated and flipped copies of every fixture: no crash, no hang, and a damaged member
// is never reported as passed unless its bytes really came out right.
TEST(UnZip, DamagedArchivesNeverCrash) {
  ScratchDir s;
  int runs = 0;
  for (const auto& row : ziptest::ZipFixtureRows()) {
    const auto good = ReadBytes(test::FixturePath(row.Path));
    if (good.size() > 40000) continue;  // the small ones cover every method
    for (int variant = 0; variant < 12; ++variant) {
      auto bad = good;
      if (variant < 4) {
        bad.resize(good.size() * (variant + 1) / 5);
      } else {
        std::uint32_t seed = static_cast<std::uint32_t>(variant * 7919 + good.size());
        for (int k = 0; k < 3; ++k) {
          seed = seed * 1103515245u + 12345u;
          bad[seed % bad.size()] ^= static_cast<std::uint8_t>(1u << (seed >> 16) % 8);
        }
      }
      const std::string archive = Write(s, "damaged.zip", bad);
      TUnZIP e;
      e.SetArchiveFile(archive);
      e.SetFileSpec({"*.*"});
      e.Passwords = {row.Password};
      e.OnError = [](engine::TZipCommon&, const std::string&, const std::string&, const std::string&, int) {};
      try {
        e.Verify();
      } catch (const engine::EBase&) {
      }
      ++runs;
    }
  }
  EXPECT_GT(runs, 200);
}

}  // namespace

namespace {

// a.txt and b.txt encrypted with "pw", c.txt plain, made by the zip tool.
std::string MakeEncryptedZip(const ScratchDir& s) {
  const std::string src = s / "src";
  std::filesystem::create_directories(src);
  WriteBytes(src + "/a.txt", Bytes("alpha alpha alpha"));
  WriteBytes(src + "/b.txt", Bytes("bravo bravo bravo"));
  WriteBytes(src + "/c.txt", Bytes("charlie"));
  const std::string archive = s / "enc.zip";
  const std::string cd = "cd '" + src + "' && ";
  if (!tessaly_test::RunCapture(cd + "zip -q -P pw '" + archive + "' a.txt b.txt") ||
      !tessaly_test::RunCapture(cd + "zip -q '" + archive + "' c.txt"))
    return {};
  return archive;
}

TEST(UnZipPassword, TriesPasswordsThenAsks) {
  if (!tessaly_test::HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  ScratchDir s;
  const std::string archive = MakeEncryptedZip(s);
  ASSERT_FALSE(archive.empty());

  {  // A listed password opens both members; nobody is asked.
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, archive, s / "listed");
    e.Passwords = {"wrong", "pw"};
    int asked = 0;
    e.OnGetPassword = [&](engine::TZipCommon&, const std::string&, std::string&, bool&) { ++asked; };
    EXPECT_EQ(e.Extract(), 3) << rec.Describe();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ReadBytes(s / "listed/b.txt"), Bytes("bravo bravo bravo"));
    EXPECT_EQ(e.FailedCount(), 0);
  }
  {  // A wrong answer, then the right one, which goes to the front of Passwords and
     // serves the next member without asking again.
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, archive, s / "asked");
    e.Passwords = {"other"};
    std::vector<std::string> answers = {"bad", "pw"};
    int asked = 0;
    e.OnGetPassword = [&](engine::TZipCommon&, const std::string&, std::string& pw, bool&) {
      pw = answers[static_cast<std::size_t>(std::min(asked++, 1))];
    };
    EXPECT_EQ(e.Extract(), 3);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(rec.CountCode(engine::kErrInvalidPassword), 1);
    EXPECT_EQ(e.Passwords, (std::vector<std::string>{"pw", "other"}));
    EXPECT_EQ(ReadBytes(s / "asked/a.txt"), Bytes("alpha alpha alpha"));
    EXPECT_EQ(e.FailedCount(), 0);
  }
  {  // Wrong every time: PasswordAttempts tries, then "Password failed" ends the run.
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, archive, s / "wrong");
    e.PasswordAttempts = 2;
    int asked = 0;
    e.OnGetPassword = [&](engine::TZipCommon&, const std::string&, std::string& pw, bool&) {
      ++asked;
      pw = "nope";
    };
    e.Extract();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(rec.CountCode(engine::kErrInvalidPassword), 2);
    EXPECT_EQ(rec.CountCode(engine::kErrPasswordFailed), 1);
    ASSERT_EQ(rec.Ends.size(), 1u);
    EXPECT_FALSE(rec.Ends[0].second);
    EXPECT_FALSE(platform::FileExists(s / "wrong/c.txt"));
  }
  {  // Nobody to ask: each encrypted member is skipped, the plain one extracts.
    TUnZIP e;
    TRecorder rec;
    rec.Attach(e);
    Prepare(e, archive, s / "none");
    e.Extract();
    EXPECT_EQ(rec.CountCode(engine::kErrEventNotAssigned), 2);
    EXPECT_EQ(ReadBytes(s / "none/c.txt"), Bytes("charlie"));
    EXPECT_FALSE(platform::FileExists(s / "none/a.txt"));
    EXPECT_EQ(e.FailedCount(), 2);
  }
}

}  // namespace
