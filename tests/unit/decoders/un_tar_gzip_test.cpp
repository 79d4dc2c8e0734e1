// TAR, gzip and compress extraction against the fixtures' expected contents.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/decoders/un_gzip.h"
#include "engine/decoders/un_tar.h"
#include "tests/unit/fixture_check.h"

namespace {

namespace fs = std::filesystem;

struct TCase {
  const char* fixture;
  bool tar;  // compare every member by name (else: the one file's content)
};

// Extracts one fixture and checks every expected file. Single-stream files are named by
// the engine after the archive (up to the first dot), so only their content is compared.
void CheckFixture(const TCase& c) {
  SCOPED_TRACE(c.fixture);
  const std::string out = test::FreshDir(std::string("x_") + fs::path(c.fixture).filename().string());
  engine::TUnTAR untar;
  untar.ConfirmOverwrites = false;
  int errors = 0;
  auto onError = [&](engine::TZipCommon&, const std::string& fn, const std::string&,
                     const std::string&, int code) {
    ++errors;
    ADD_FAILURE() << fn << ": " << engine::ErrorText(code);
  };
  untar.OnError = onError;
  const std::string path = test::FixturePath(c.fixture);
  const auto expected = test::ReadExpected(c.fixture);
  if (std::string(c.fixture).rfind("tar/", 0) == 0) {
    untar.SetArchiveFile(path);
    untar.SetExtractDir(out);
    untar.SetFileSpec({"*.*"});
    untar.Extract();
  } else {
    engine::TUnGZIP gz;
    gz.OnError = onError;
    gz.SetArchiveFile(path);
    gz.SetExtractDir(out);
    gz.SetFileSpec({"*.*"});
    bool passed = false;
    gz.OnEnd = [&](engine::TZipCommon&, const std::string&, bool pass) { passed = pass; };
    gz.Extract();
    EXPECT_TRUE(passed);
  }
  const auto got = test::HashTree(out);
  if (!c.tar || std::string(c.fixture).rfind("tar/", 0) != 0) {
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(got.begin()->second.sha256, expected[0].sha256);
    EXPECT_EQ(got.begin()->second.size, expected[0].size);
    return;
  }
  for (const auto& e : expected) {
    auto it = got.find(e.name);
    ASSERT_NE(it, got.end()) << "missing " << e.name;
    EXPECT_EQ(it->second.size, e.size) << e.name;
    if (e.sha256 != "?") EXPECT_EQ(it->second.sha256, e.sha256) << e.name;
  }
  EXPECT_EQ(errors, 0);
}

TEST(UnTarGzip, FixturesExtractExactly) {
  const TCase cases[] = {
      {"tar/v7.tar", true}, {"tar/ustar.tar", true}, {"tar/gnu_longname.tar", true},
      {"tar/oldgnu.tar", true}, {"tar/pax.tar", true}, {"tar/links.tar", true},
      {"tar/volume_label.tar", true}, {"tar/libarchive_gtar_longname.tar", true},
      // A pax name that is not UTF-8: stored as OEM text, so only the content is compared.
      {"tar/libarchive_pax_filename.tar", false}, {"tar/sc_long_paths.tar", true},
      {"tar/libarchive_perl_archive_tar.tar", true}, {"tar/libarchive_hardlink.tar", true},
      {"gzip/text.txt.gz", false}, {"gzip/noname.txt.gz", false}, {"gzip/random.bin.gz", false},
      {"gzip/empty.txt.gz", false}, {"gzip/multi_member.gz", false},
      {"gzip/old_magic_1f9e.gz", false}, {"gzip/fextra_dictzip.gz", false},
      {"gzip/fextra_bgzf.gz", false}, {"gzip/fcomment.gz", false}, {"gzip/fhcrc.gz", false},
      {"gzip/all_flags.gz", false}, {"gzip/archive.tar.gz", false},
      {"gzip/libarchive_compat_1.tgz", false}, {"compress/text_b16.txt.Z", false},
      {"compress/text_b12.txt.Z", false}, {"compress/big_b10.dat.Z", false},
      {"compress/random_b16.bin.Z", false}, {"compress/archive.tar.Z", false},
      {"compress/sc_large_test.txt.Z", false}, {"compress/libarchive_mac-1.tar.Z", false},
  };
  for (const auto& c : cases) CheckFixture(c);
}

TEST(UnTarGzip, CompressedTarIsHandedToTheTarEngine) {
  for (const char* fixture : {"gzip/archive.tar.gz", "compress/archive.tar.Z"}) {
    const std::string mid = test::FreshDir("mid");
    const std::string out = test::FreshDir("members");
    engine::TUnTAR untar;
    engine::TUnGZIP gz;
    gz.SetArchiveFile(test::FixturePath(fixture));
    gz.SetExtractDir(mid);
    gz.TarExtractDir = out;
    gz.UnTar = &untar;
    gz.SetFileSpec({"*.*"});
    gz.Extract();
    // The same members as the plain tar fixture made from the same files.
    const auto members = test::HashTree(out);
    EXPECT_GE(members.size(), 2u) << fixture;
    EXPECT_EQ(test::HashTree(mid).size(), 1u) << "the decoded tar stays in the first folder";
  }
}

TEST(UnTarGzip, DamagedGzipFailsItsVerdict) {
  const std::string src = test::FixturePath("gzip/text.txt.gz");
  std::ifstream in(src, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), {});
  for (const std::size_t cut : {data.size() / 2, data.size() - 4}) {
    const std::string path = test::TempPath("damaged.txt.gz");
    std::ofstream(path, std::ios::binary) << data.substr(0, cut);
    engine::TUnGZIP gz;
    gz.SetArchiveFile(path);
    gz.SetExtractDir(test::FreshDir("damaged_out"));
    gz.SetFileSpec({"*.*"});
    bool passed = true, ended = false;
    gz.OnEnd = [&](engine::TZipCommon&, const std::string&, bool pass) { passed = pass; ended = true; };
    gz.Extract();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(passed) << "cut at " << cut;
    EXPECT_GT(gz.FailedCount(), 0);
  }
}

}  // namespace
