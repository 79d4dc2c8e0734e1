// The engine base: selection, specifications, errors and the block layer.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/core/crc.h"
#include "engine/core/zip_common.h"
#include "tests/unit/test_paths.h"

namespace {

using engine::WildcardMatch;

class TEngine : public engine::TZipCommon {};

TEST(Wildcard, Table) {
  struct TCase {
    const char* pattern;
    const char* name;
    bool namesOnly;
    bool match;
  } cases[] = {
      {"*.txt", "a.TXT", false, true},
      {"readme", "readme.", false, true},       // trailing dot dropped
      {"a*", "*", false, true},                 // wildcards on the name side
      {"*.*", "README", false, true},
      {"*.txt", "a.txt.bak", false, false},
      {"a?c", "abc", false, true},
      {"a?c", "ac", false, false},
      {"docs\\*.txt", "docs\\a.txt", false, true},
      {"docs\\*.txt", "src\\a.txt", false, false},
      {"*.txt", "docs\\a.txt", true, true},     // names only
      {"readme", "readme.*", false, true},
      {"", "", false, true},
      {"", "*x", false, true},
      {"", "x", false, false},
      {"*", "", false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.name, c.namesOnly), c.match)
        << c.pattern << " vs " << c.name;
}

TEST(Wildcard, ManyStarsDoNotHang) {
  // Recursion over every suffix would take exponential time here.
  std::string pattern, name;
  for (int i = 0; i < 200; ++i) pattern += "*a";
  pattern += "b";
  name.assign(3000, 'a');
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(WildcardMatch(pattern, name, false));
  EXPECT_FALSE(WildcardMatch(name, pattern, false));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST(Selection, SpecsKeepFoldersAndSelect) {
  TEngine e;
  e.SetFileSpec({"docs/readme.txt", ""});
  ASSERT_EQ(e.FileSpec().size(), 1u);
  EXPECT_EQ(e.FileSpec()[0], "docs\\readme.txt");
  EXPECT_TRUE(e.IsSelected("docs\\readme.txt", false));
  EXPECT_FALSE(e.IsSelected("other\\readme.txt", false));
  // The lister compares names only.
  EXPECT_TRUE(e.IsSelected("other\\readme.txt", true));
  EXPECT_TRUE(e.CanStopAfterFirst());

  e.SetFileSpec({});
  EXPECT_FALSE(e.IsSelected("a.txt", false));  // an empty spec selects nothing
  e.SetFileSpec({"*.*"});
  EXPECT_TRUE(e.IsSelected("NODOT", false));
  EXPECT_FALSE(e.CanStopAfterFirst());
  e.SetExcludeSpec({"*.bak"});
  EXPECT_FALSE(e.IsSelected("x\\a.bak", false));
  EXPECT_TRUE(e.IsSelected("x\\a.txt", false));
  e.SetExcludeSpec({"*.*"});
  EXPECT_FALSE(e.IsSelected("a.txt", false));
}

TEST(Errors, RaiseReportsUnlessCancelled) {
  TEngine e;
  int reported = 0;
  int code = 0;
  e.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&,
                  const std::string&, int c) {
    ++reported;
    code = c;
  };
  e.BeginOperation();
  try {
    e.RaiseError("a.zip", "", "0", engine::kErrBadFileHeader);
    FAIL() << "no exception";
  } catch (const engine::E_RAISE& err) {
    EXPECT_EQ(err.Code, engine::kErrBadFileHeader);
    EXPECT_STREQ(err.what(), "Bad file header");
  }
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(code, engine::kErrBadFileHeader);
  e.SetCancel(true);
  EXPECT_THROW(e.RaiseError("a.zip", "", "0", engine::kErrBadBlock), engine::E_RAISE);
  EXPECT_EQ(reported, 1);  // silent after a cancel
  e.EndOperation();
}

TEST(Errors, TextsAreExact) {
  EXPECT_EQ(engine::ErrorText(engine::kErrInconsistentLocalHeader), "Inconsistant local header");
  EXPECT_EQ(engine::ErrorText(engine::kErrLineBeforeBegin), "Line found before 'BEGIN'");
  EXPECT_EQ(engine::ErrorText(12345), "");
}

TEST(BlockLayer, AsciiTranslationAndChecksumOfSourceBytes) {
  TEngine e;
  engine::TMemoryStream out;
  e.OutputMode = 2;
  e.AsciiTranslation = true;
  std::uint8_t data[] = {'a', '\n', 'b', '\r', '\n', 'c'};
  e.State.Crc32Register = 0xFFFFFFFFu;
  EXPECT_EQ(e.WriteBlock(&out, true, sizeof data, engine::kCrc32, false, data), 6);
  const std::string written(out.Data().begin(), out.Data().end());
  EXPECT_EQ(written, std::string("a\r\nb\r\nc"));
  EXPECT_EQ(e.State.Crc32Register ^ 0xFFFFFFFFu, engine::Crc32Of({data, sizeof data}));
}

TEST(BlockLayer, ZipCipherRoundTripsThroughWriterAndReader) {
  TEngine writer, reader;
  // Both engines need a ZIP archive type for the cipher to apply.
  writer.SetArchiveFile(test::FixturePath("zip/zip_stored.zip"));
  reader.SetArchiveFile(test::FixturePath("zip/zip_stored.zip"));
  engine::TMemoryStream archive;
  writer.OutputMode = 2;
  writer.State.Cipher.InitKeys("secret");
  std::string plain = "The quick brown fox jumps over the lazy dog";
  std::vector<std::uint8_t> buf(plain.begin(), plain.end());
  writer.WriteEncryptedBlock(&archive, true, buf.size(), engine::kCrc32, true, buf.data());
  EXPECT_NE(std::string(archive.Data().begin(), archive.Data().end()), plain);
  reader.InputMode = 2;
  reader.State.Cipher.InitKeys("secret");
  archive.Seek(0, engine::TSeekOrigin::soBegin);
  std::vector<std::uint8_t> back(buf.size());
  EXPECT_EQ(reader.ReadBlock(&archive, back.size(), engine::kCrc32, true, back.data()),
            static_cast<std::int64_t>(back.size()));
  EXPECT_EQ(std::string(back.begin(), back.end()), plain);
  EXPECT_EQ(reader.State.Crc32Register, writer.State.Crc32Register);
}

TEST(Options, ZipCmntBufSizeIsClamped) {
  TEngine e;
  e.SetZipCmntBufSize(100);
  EXPECT_EQ(e.ZipCmntBufSize(), 2000);
  e.SetZipCmntBufSize(40000);
  EXPECT_EQ(e.ZipCmntBufSize(), 32767);
}

TEST(Volumes, NamesAndNumbers) {
  TEngine e;
  e.SetArchiveFile(test::FixturePath("rar/sc_rar2_multi.r00"));
  EXPECT_EQ(e.VolumeNumber(), 1);
  EXPECT_EQ(e.VolumeLetter(), 'r');
  EXPECT_EQ(e.VolumeFileName("C:\\a\\set.r00", 5), "C:\\a\\set.r05");
  e.SetVolumeNumber(12);
  EXPECT_EQ(e.VolumeFileName("C:\\a\\set.r00", 12), "C:\\a\\set.r12");
  e.SetVolumeNumber(100);
  EXPECT_EQ(e.VolumeFileName("C:\\a\\set.r00", 123), "C:\\a\\set.123");
  e.SetArchiveFile(test::FixturePath("arj/arj_multivol.a01"));
  EXPECT_EQ(e.VolumeLetter(), 'a');
  EXPECT_EQ(e.VolumeNumber(), 2);
  e.SetArchiveFile(test::FixturePath("arj/arj_multivol.arj"));
  EXPECT_EQ(e.VolumeNumber(), 1);
}

}  // namespace
