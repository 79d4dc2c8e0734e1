// TUnLHA against the LHA fixtures: contents, unsupported methods, unsafe names, damage.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "engine/core/lha_header.h"
#include "engine/decoders/un_lha.h"
#include "tests/unit/fixture_check.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
}

// What one run reported.
struct TRun {
  std::vector<int> errors;
  std::vector<std::pair<std::string, bool>> ends;
  int count = 0;
  int failed = 0;
  bool Has(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
};

TRun Extract(const std::string& archive, const std::string& out,
             std::vector<std::string> spec = {"*.*"}, bool verify = false) {
  engine::TUnLHA lha;
  TRun r;
  lha.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&,
                    const std::string&, int code) { r.errors.push_back(code); };
  lha.OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool pass) {
    r.ends.emplace_back(fn, pass);
  };
  lha.ConfirmOverwrites = false;
  lha.SetArchiveFile(archive);
  lha.SetExtractDir(out);
  lha.SetFileSpec(spec);
  r.count = verify ? lha.Verify() : lha.Extract();
  r.failed = lha.FailedCount();
  return r;
}

// How a fixture's result is judged.
enum class TExpect {
  exExact,        // every expected file, by name and content; no error
  exContent,      // the expected contents, names aside (names not in the OEM code page)
  exUnsupported,  // the one member is reported "Unsupported compression method", nothing written
};

struct TCase {
  const char* fixture;
  TExpect expect;
};

const TCase kCases[] = {
    {"lha/amiga122_lh4.lzh", TExpect::exExact},
    {"lha/atari313a_h2_lz5.lzh", TExpect::exExact},
    {"lha/atari313a_lz5.lzh", TExpect::exExact},
    {"lha/generated_lzs.lzs", TExpect::exExact},
    {"lha/larc333_initial.lzs", TExpect::exExact},
    {"lha/larc333_lz4.lzs", TExpect::exExact},
    {"lha/larc333_lz5.lzs", TExpect::exExact},
    {"lha/larc333_sfx.com", TExpect::exExact},
    {"lha/larc333_subdir.lzs", TExpect::exExact},
    {"lha/lengths_lh1-0.lzh", TExpect::exExact},
    {"lha/lengths_lh1-1.lzh", TExpect::exExact},
    {"lha/lengths_lh1-64k.lzh", TExpect::exExact},
    {"lha/lengths_lz5-0.lzs", TExpect::exExact},
    {"lha/lengths_lz5-1.lzs", TExpect::exExact},
    {"lha/lh2_222_lh5.lzh", TExpect::exExact},
    {"lha/lha213_lh0.lzh", TExpect::exExact},
    {"lha/lha213_lh5.lzh", TExpect::exExact},
    {"lha/lha213_sfx.exe", TExpect::exExact},
    {"lha/lha213_subdir.lzh", TExpect::exExact},
    {"lha/lha255e_sfx.exe", TExpect::exExact},
    {"lha/lharc113_lh0.lzh", TExpect::exExact},
    {"lha/lharc113_lh1.lzh", TExpect::exExact},
    {"lha/lharc113_sfx.com", TExpect::exExact},
    // LHARK's own method under the -lh7- label: not an LHA stream.
    {"lha/lhark04d_lh7.lzh", TExpect::exUnsupported},
    // Shift-JIS names: the bytes are taken as OEM text, so only the contents compare.
    {"lha/libarchive_filename_cp932.lzh", TExpect::exContent},
    {"lha/libarchive_header0.lzh", TExpect::exExact},
    {"lha/libarchive_header1.lzh", TExpect::exExact},
    {"lha/libarchive_header2.lzh", TExpect::exExact},
    {"lha/libarchive_header3.lzh", TExpect::exExact},
    {"lha/libarchive_lh6.lzh", TExpect::exExact},
    {"lha/libarchive_lh7.lzh", TExpect::exExact},
    {"lha/libarchive_withjunk.lzh", TExpect::exExact},
    {"lha/os2_208_h3_lh0.lzh", TExpect::exExact},
    {"lha/os2_208_h3_lh5.lzh", TExpect::exExact},
    {"lha/os2_208_h3_subdir.lzh", TExpect::exExact},
    {"lha/os2_208_lh1.lzh", TExpect::exExact},
    {"lha/pmarc2_pm0.pma", TExpect::exExact},
    // PMarc's own compression.
    {"lha/pmarc2_pm2.pma", TExpect::exUnsupported},
    {"lha/regression_abspath.lzh", TExpect::exExact},
    {"lha/regression_dir.lzh", TExpect::exExact},
    {"lha/regression_multiple.lzh", TExpect::exExact},
    {"lha/regression_unixsep.lzh", TExpect::exExact},
    {"lha/synthetic_mz_overlay_scan.exe", TExpect::exExact},
    {"lha/synthetic_mz_stub_lh5.exe", TExpect::exExact},
    {"lha/unix114i_h0_lh0.lzh", TExpect::exExact},
    {"lha/unix114i_h0_lh5.lzh", TExpect::exExact},
    {"lha/unix114i_h1_lh5.lzh", TExpect::exExact},
    {"lha/unix114i_h1_lh6.lzh", TExpect::exExact},
    {"lha/unix114i_h1_lh7.lzh", TExpect::exExact},
    {"lha/unix114i_h1_subdir.lzh", TExpect::exExact},
    {"lha/unix114i_h2_lh5.lzh", TExpect::exExact},
    {"lha/unix114i_h2_lh6.lzh", TExpect::exExact},
    {"lha/unix114i_h2_lh7.lzh", TExpect::exExact},
    {"lha/unix114i_h2_subdir.lzh", TExpect::exExact},
};

TEST(UnLha, FixturesExtractToTheExpectedContents) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.fixture);
    const std::string out = test::FreshDir("lha_out");
    const TRun r = Extract(test::FixturePath(c.fixture), out);
    const auto got = test::HashTree(out);
    const auto expected = test::ReadExpected(c.fixture);
    switch (c.expect) {
      case TExpect::exExact:
        EXPECT_TRUE(r.errors.empty()) << "first error " << r.errors.front();
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(got.size(), expected.size());
        for (const auto& e : expected) {
          auto it = got.find(e.name);
          ASSERT_NE(it, got.end()) << "missing " << e.name;
          EXPECT_EQ(it->second.size, e.size) << e.name;
          EXPECT_EQ(it->second.sha256, e.sha256) << e.name;
        }
        for (const auto& [fn, pass] : r.ends) EXPECT_TRUE(pass) << fn;
        EXPECT_EQ(r.count, static_cast<int>(expected.size()));
        break;
      case TExpect::exContent: {
        EXPECT_TRUE(r.errors.empty());
        std::multiset<std::string> want, have;
        for (const auto& e : expected) want.insert(e.sha256);
        for (const auto& [name, f] : got) have.insert(f.sha256);
        EXPECT_EQ(want, have);
        break;
      }
      case TExpect::exUnsupported:
        EXPECT_TRUE(r.Has(engine::kErrUnsupportedMethod));
        EXPECT_TRUE(got.empty());
        ASSERT_EQ(r.ends.size(), 1u);
        EXPECT_FALSE(r.ends[0].second);
        EXPECT_EQ(r.failed, 1);
        break;
    }
  }
}

TEST(UnLha, VerifyWritesNothingAndJudgesEveryMember) {
  for (const char* fixture : {"lha/libarchive_lh7.lzh", "lha/lharc113_sfx.com", "lha/os2_208_h3_lh5.lzh"}) {
    SCOPED_TRACE(fixture);
    const std::string out = test::FreshDir("lha_verify");
    const TRun r = Extract(test::FixturePath(fixture), out, {"*.*"}, true);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_GE(r.ends.size(), 1u);
    for (const auto& [fn, pass] : r.ends) EXPECT_TRUE(pass) << fn;
    EXPECT_TRUE(fs::is_empty(out));
  }
}

TEST(UnLha, FolderEntriesBecomeEmptyFoldersAndLinksAreNotMade) {
  const std::string out = test::FreshDir("lha_dirs");
  const TRun r = Extract(test::FixturePath("lha/libarchive_header2.lzh"), out);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_TRUE(fs::is_directory(fs::path(out) / "dir"));
  EXPECT_TRUE(fs::is_directory(fs::path(out) / "dir2"));
  EXPECT_FALSE(fs::exists(fs::path(out) / "dir2" / "symlink1"));
  EXPECT_EQ(r.count, 2) << "folder entries raise no events";
}

TEST(UnLha, SelectionByFileSpec) {
  const std::string out = test::FreshDir("lha_spec");
  const TRun r = Extract(test::FixturePath("lha/regression_multiple.lzh"), out, {"file2*"});
  const auto got = test::HashTree(out);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(got.size(), 2u);
  EXPECT_TRUE(got.count("file2-1.txt") && got.count("file2-2.txt"));
}

// Level-0 folder entries with empty names, as one archiver broke them: they are passed
// over, and the one file of the archive is still extracted.
TEST(UnLha, EmptyFolderNamesArePassedOver) {
  const std::string out = test::FreshDir("lha_h0dir");
  const TRun r = Extract(test::FixturePath("lha/unix114i_h0_subdir.lzh"), out);
  EXPECT_TRUE(r.errors.empty());
  const auto got = test::HashTree(out);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got.begin()->first, "hello.txt");
  EXPECT_EQ(got.begin()->second.sha256,
            "a948904f2f0f479b8f8197694b30184b0d2ed1c1cd2a1ec0fb85d299a192a447");
}

// Names with ".." are refused ("Invalid file name"), an absolute name lands under the
// target; nothing is written outside the target folder.
TEST(UnLha, UnsafeNamesStayInsideTheTarget) {
  const fs::path outer = test::FreshDir("lha_outer");
  const fs::path target = outer / "a" / "b";
  fs::create_directories(target);
  const bool hadAbs = fs::exists("/tmp/absolute_path.txt");

  const TRun dots = Extract(test::FixturePath("lha/regression_dotdot.lzh"), target.string());
  EXPECT_EQ(std::count(dots.errors.begin(), dots.errors.end(), engine::kErrInvalidFileName), 2);
  EXPECT_EQ(dots.failed, 2);
  EXPECT_EQ(dots.count, 0);
  EXPECT_TRUE(test::HashTree(outer).empty());

  const TRun abs = Extract(test::FixturePath("lha/regression_abspath.lzh"), target.string());
  EXPECT_TRUE(abs.errors.empty());
  const auto all = test::HashTree(outer);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all.begin()->first, "a/b/tmp/absolute_path.txt");
  if (!hadAbs) {
    EXPECT_FALSE(fs::exists("/tmp/absolute_path.txt"));
  }
}

// Damage never passes as a good member: a cut or a flipped byte ends with an error or a
// failed verdict, and whatever passes has the right contents.
TEST(UnLha, DamagedArchivesFailCleanly) {
  const char* fixtures[] = {
      "lha/lha213_lh5.lzh",      "lha/lharc113_lh1.lzh",      "lha/unix114i_h1_lh6.lzh",
      "lha/unix114i_h2_lh7.lzh", "lha/os2_208_h3_lh5.lzh",    "lha/larc333_lz5.lzs",
      "lha/generated_lzs.lzs",   "lha/unix114i_h0_lh0.lzh",   "lha/amiga122_lh4.lzh",
  };
  const std::string damaged = test::TempPath("damaged.lzh");
  for (const char* fixture : fixtures) {
    SCOPED_TRACE(fixture);
    const auto original = ReadBytes(test::FixturePath(fixture));
    const std::string want = test::ReadExpected(fixture).at(0).sha256;
    auto judge = [&](const TRun& r, const std::string& out, bool mustFail) {
      const auto got = test::HashTree(out);
      for (const auto& [fn, pass] : r.ends)
        if (pass) {
          ASSERT_EQ(got.size(), 1u);
          EXPECT_EQ(got.begin()->second.sha256, want) << "a damaged member passed";
        }
      if (mustFail) {
        EXPECT_TRUE(!r.errors.empty() || r.failed > 0);
        for (const auto& [fn, pass] : r.ends) EXPECT_FALSE(pass);
      }
    };
    // Cuts inside the data (the archive's last byte is its end mark).
    const std::size_t end = original.size() - (original.back() == 0 ? 1 : 0);
    for (const std::size_t cut : {end / 4, end / 2, end * 3 / 4, end - 1}) {
      SCOPED_TRACE("cut at " + std::to_string(cut));
      WriteBytes(damaged, {original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut)});
      const std::string out = test::FreshDir("lha_damaged");
      judge(Extract(damaged, out), out, cut > 64);
    }
    // Flipped bytes all over the archive, headers included.
    for (std::size_t at = 0; at < original.size(); at += std::max<std::size_t>(1, original.size() / 40)) {
      SCOPED_TRACE("flip at " + std::to_string(at));
      auto bytes = original;
      bytes[at] ^= 0x5A;
      WriteBytes(damaged, bytes);
      const std::string out = test::FreshDir("lha_damaged");
      judge(Extract(damaged, out), out, false);
    }
  }
}

TEST(UnLha, TruncatedFixtureReportsAnError) {
  const std::string out = test::FreshDir("lha_trunc");
  const TRun r = Extract(test::FixturePath("lha/regression_truncated.lzh"), out);
  EXPECT_FALSE(r.errors.empty());
  EXPECT_GT(r.failed, 0);
  for (const auto& [fn, pass] : r.ends) EXPECT_FALSE(pass);
}

// Header lengths that point outside the header or the file are refused by the reader.
TEST(UnLha, HeaderReaderChecksEveryLength) {
  const auto good = ReadBytes(test::FixturePath("lha/unix114i_h2_lh5.lzh"));
  auto read = [](std::vector<std::uint8_t> bytes) {
    engine::TMemoryStream s(std::move(bytes));
    engine::TLhaHeader h;
    return engine::ReadLhaHeader(s, 0, s.Size(), h);
  };
  EXPECT_EQ(read(good), 0);
  auto big = good;
  big[0] = 0xFF;
  big[1] = 0xFF;  // level-2 header size beyond the file
  EXPECT_EQ(read(big), engine::kErrBadFileHeader);
  auto small = good;
  small[0] = 10;
  small[1] = 0;  // below the fixed part
  EXPECT_EQ(read(small), engine::kErrBadFileHeader);
  auto ext = good;
  ext[24] = 0xF0;
  ext[25] = 0x0F;  // first extended header larger than the header
  EXPECT_EQ(read(ext), engine::kErrBadFileHeader);

  const auto l1 = ReadBytes(test::FixturePath("lha/unix114i_h1_lh5.lzh"));
  auto sum = l1;
  sum[1] ^= 1;
  EXPECT_EQ(read(sum), engine::kErrHeaderCrc);
  auto name = l1;
  name[21] = 0xF0;  // name longer than the header
  EXPECT_EQ(read(name), engine::kErrBadFileHeader);
  EXPECT_EQ(read({0}), engine::kLhaEnd);
  EXPECT_EQ(read({'x', 'y', 'z', 'z', 'y'}), engine::kLhaEnd);
}

// The Unix time of a level-1 extended header is the member's date, as at level 2.
TEST(UnLha, UnixTimeExtendedHeaderGivesTheDate) {
  auto header = [](const char* fixture) {
    engine::TFileStream s;
    EXPECT_TRUE(s.Open(test::FixturePath(fixture), platform::TFileAccess::faRead));
    engine::TLhaHeader h;
    EXPECT_EQ(engine::ReadLhaHeader(s, 0, s.Size(), h), 0);
    return h;
  };
  const engine::TLhaHeader l1 = header("lha/unix114i_h1_lh5.lzh");
  const engine::TLhaHeader l2 = header("lha/unix114i_h2_lh5.lzh");
  EXPECT_TRUE(l1.HasUnixTime);
  EXPECT_EQ(l1.UnixTime, l2.UnixTime);
  EXPECT_EQ(l1.DosDateTime(), l2.DosDateTime());
}

}  // namespace
