// The lister on damaged, truncated and crafted archives: the right error, never a crash or
// an endless walk; and the frame's checks and selection.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/errors.h"
#include "engine/core/lister.h"
#include "engine/core/stream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
const std::string kFixtures = std::string(TESSALY_SHARED_DIR) + "/fixtures/";

struct Result {
  int activate = 0;
  std::vector<int> errors;
  std::vector<std::string> names;
  int totals = -1;
};

Result ListFile(const std::string& path, std::vector<std::string> spec = {"*.*"}) {
  Result r;
  engine::TDivED lister;
  lister.SetFileSpec(spec);
  lister.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&,
                       const std::string&, int code) { r.errors.push_back(code); };
  lister.OnNextVolume = [](engine::TZipCommon&, std::string&, const std::string&, bool exists,
                           bool& cancel) { cancel = !exists; };
  lister.OnRead = [&](engine::TZipCommon& s, std::int64_t, int) {
    r.names.push_back(s.Entry.FileName);
  };
  lister.OnTotals = [&](engine::TZipCommon&, int n) { r.totals = n; };
  lister.SetArchiveFile(path);
  r.activate = lister.Activate();
  return r;
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("lister_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const Bytes& data) const {
    const std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                             static_cast<std::streamsize>(data.size()));
    return p;
  }

 private:
  fs::path path_;
};

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Put16(Bytes& b, std::size_t at, std::uint16_t v) { engine::WriteLe16(b.data() + at, v); }
void Put32(Bytes& b, std::size_t at, std::uint32_t v) { engine::WriteLe32(b.data() + at, v); }

TEST(ListerFrame, ReportsWhyNothingCouldBeListed) {
  TempDir dir;
  EXPECT_EQ(ListFile(dir.Write("x", {}) + ".missing").errors, std::vector<int>{engine::kErrFileNotFound});
  const Bytes text(100, 'q');
  const Result unknown = ListFile(dir.Write("plain.txt", text));
  EXPECT_EQ(unknown.activate, 0);
  EXPECT_EQ(unknown.errors, std::vector<int>{engine::kErrUnknownFileType});

  engine::TDivED lister;
  std::vector<int> errors;
  lister.OnError = [&](engine::TZipCommon&, const std::string&, const std::string& msgEx,
                       const std::string&, int code) {
    errors.push_back(code);
    EXPECT_EQ(msgEx, "OnRead");
  };
  lister.SetArchiveFile(kFixtures + "zip/zip_stored.zip");
  EXPECT_EQ(lister.Activate(), 0);
  EXPECT_EQ(errors, std::vector<int>{engine::kErrEventNotAssigned});
}

TEST(ListerFrame, SelectsByFileNamePartAndAlwaysRaisesTotals) {
  const Result txt = ListFile(kFixtures + "zip/zip_paths.zip", {"*.txt"});
  EXPECT_EQ(txt.names, std::vector<std::string>{"dir\\sub\\deep.txt"});
  EXPECT_EQ(txt.totals, 1);
  const Result none = ListFile(kFixtures + "zip/zip_paths.zip", {"*.none"});
  EXPECT_TRUE(none.names.empty());
  EXPECT_EQ(none.totals, 0);
}

// Every truncation of a few small fixtures: the listing ends, at worst with an error.
TEST(ListerDamaged, TruncatedArchivesEndWithoutCrash) {
  TempDir dir;
  const char* files[] = {"zip/zip_paths.zip", "lha/unix114i_h2_subdir.lzh", "arj/arj_m0.arj",
                         "rar/sc_rar3_stored.rar", "rar/rar5_linux.rar", "cab/gcab_none.cab",
                         "tar/ustar.tar", "zoo/zoo_stored.zoo", "ace/sc_store.ace",
                         "ha/ha_dirs.ha", "arc/arc_stored.arc", "gzip/text.txt.gz",
                         "msgz/unshieldv3_nocompression.Z"};
  for (const char* f : files) {
    const Bytes whole = ReadAll(kFixtures + f);
    ASSERT_FALSE(whole.empty()) << f;
    const std::string name = fs::path(f).filename().string();
    const std::size_t step = std::max<std::size_t>(1, whole.size() / 97);
    for (std::size_t n = 20; n < whole.size(); n += step) {
      const std::string p = dir.Write(name, Bytes(whole.begin(), whole.begin() + n));
      const Result r = ListFile(p);
      for (const int code : r.errors) {
        EXPECT_FALSE(engine::ErrorText(code).empty()) << f << " cut at " << n;
      }
    }
  }
}

TEST(ListerDamaged, ZipWithDamagedFirstLocalHeaderReportsBadHeaderOnce) {
  TempDir dir;
  Bytes zip = ReadAll(kFixtures + "zip/zip_stored.zip");
  // Without its end record the local headers are walked; the first one is spoilt.
  zip.resize(zip.size() - 22);
  zip[2] = 'X';
  const Result r = ListFile(dir.Write("bad.zip", zip));
  EXPECT_EQ(r.errors, std::vector<int>{engine::kErrBadFileHeader});
  EXPECT_TRUE(r.names.empty());
}

TEST(ListerDamaged, ZipLocalSizeOfAllOnesEndsTheWalkForward) {
  TempDir dir;
  Bytes zip = ReadAll(kFixtures + "zip/zip_stored.zip");
  zip.resize(zip.size() - 22);  // no end record: walk the local headers
  Put32(zip, 18, 0xFFFFFFFFu);  // compressed size, no ZIP64 field behind it
  const Result r = ListFile(dir.Write("ff.zip", zip));
  EXPECT_EQ(r.names.size(), 1u);
  EXPECT_EQ(r.errors, std::vector<int>{engine::kErrReadingFile});
}

// ZOO entries whose next pointer goes back to themselves or an earlier entry.
TEST(ListerDamaged, ZooChainThatLoopsEnds) {
  TempDir dir;
  Bytes zoo = ReadAll(kFixtures + "zoo/zoo_stored.zoo");
  const std::uint32_t first = engine::ReadLe32(zoo.data() + 24);
  for (const std::uint32_t target : {first, first - 1, 0u + 34}) {
    Bytes z = zoo;
    Put32(z, first + 6, target);
    const Result r = ListFile(dir.Write("loop.zoo", z));
    EXPECT_LE(r.names.size(), 1u);
  }
}

// Three cabinets naming each other A -> B -> C -> B.
TEST(ListerDamaged, CabinetChainThatRevisitsEnds) {
  TempDir dir;
  const Bytes base = ReadAll(kFixtures + "cab/gcab_none.cab");
  auto withNext = [&](const std::string& next) {
    // Header, then the next cabinet's and disk's names, then the rest shifted.
    Bytes c;
    c.reserve(base.size() + next.size() + 8);
    for (std::size_t i = 0; i < 36; ++i) c.push_back(base[i]);
    Put16(c, 30, static_cast<std::uint16_t>(engine::ReadLe16(c.data() + 30) | 2));
    const std::size_t extra = next.size() + 1 + 2;
    for (const char ch : next) c.push_back(static_cast<std::uint8_t>(ch));
    c.push_back(0);
    c.push_back('d');
    c.push_back(0);
    c.insert(c.end(), base.begin() + 36, base.end());
    Put32(c, 16, engine::ReadLe32(c.data() + 16) + static_cast<std::uint32_t>(extra));
    // Folder data offsets move too.
    const std::uint16_t folders = engine::ReadLe16(c.data() + 26);
    for (std::uint16_t i = 0; i < folders; ++i) {
      const std::size_t at = 36 + extra + 8u * i;
      Put32(c, at, engine::ReadLe32(c.data() + at) + static_cast<std::uint32_t>(extra));
    }
    return c;
  };
  const std::string a = dir.Write("a.cab", withNext("b.cab"));
  dir.Write("b.cab", withNext("c.cab"));
  dir.Write("c.cab", withNext("b.cab"));
  const Result r = ListFile(a);
  EXPECT_EQ(r.activate, 1);
  EXPECT_EQ(r.names.size(), 9u);  // three files in each cabinet, each cabinet once
}

TEST(ListerDamaged, OversizedLengthsAreRefused) {
  TempDir dir;
  {  // ARJ basic header larger than its 2600-byte buffer
    Bytes arj = ReadAll(kFixtures + "arj/arj_m0.arj");
    Put16(arj, 2, 2601);
    const Result r = ListFile(dir.Write("big.arj", arj));
    EXPECT_EQ(r.activate, 0);
    EXPECT_EQ(r.errors, std::vector<int>{engine::kErrBadFileHeader});
  }
  {  // ACE name length above 255
    Bytes ace = ReadAll(kFixtures + "ace/sc_store.ace");
    const std::size_t first = 4 + engine::ReadLe16(ace.data() + 2);
    ASSERT_EQ(ace[first + 4], 1);
    Put16(ace, first + 33, 300);
    Put16(ace, first + 2, 400);
    const Result r = ListFile(dir.Write("long.ace", ace));
    EXPECT_TRUE(r.names.empty());
    EXPECT_EQ(r.errors, std::vector<int>{engine::kErrBadFileHeader});
  }
  {  // gzip trailer that claims a name longer than the file
    Bytes gz = ReadAll(kFixtures + "gzip/text.txt.gz");
    const std::size_t n = gz.size();
    Put32(gz, n - 8, 0x00008B1F);
    Put32(gz, n - 4, 0x7FFFFFF0u);
    const Result r = ListFile(dir.Write("t.gz", gz));
    EXPECT_EQ(r.errors, std::vector<int>{engine::kErrReadingFile});
  }
  {  // MSGZ folder index outside the folder table
    Bytes z = ReadAll(kFixtures + "msgz/unshieldv3_nocompression.Z");
    const std::uint32_t table = engine::ReadLe32(z.data() + 51);
    Put16(z, table + 1, 99);
    const Result r = ListFile(dir.Write("i.Z", z));
    EXPECT_TRUE(r.names.empty());
    EXPECT_EQ(r.errors, std::vector<int>{engine::kErrBadFileHeader});
  }
  {  // LHA level-2 extended header size running past the header
    Bytes lzh = ReadAll(kFixtures + "lha/unix114i_h2_lh5.lzh");
    ASSERT_EQ(lzh[20], 2);
    Put16(lzh, 24, 0xFFFF);
    const Result r = ListFile(dir.Write("x.lzh", lzh));
    EXPECT_TRUE(r.names.empty());
    EXPECT_FALSE(r.errors.empty());
  }
}

TEST(ListerVolumes, MembersSplitOverVolumesAreListedOnceWithAllParts) {
  // The console's unattended handler: take the volume the set names when it exists.
  for (const char* set : {"arj/arj_multivol.arj", "rar/sc_rar4_multi.part01.rar",
                          "ace/sc_split.ace", "cab/split-1.cab"}) {
    engine::TDivED lister;
    lister.SetFileSpec({"*.*"});
    int volumes = 0;
    lister.OnNextVolume = [&](engine::TZipCommon&, std::string&, const std::string&,
                              bool exists, bool& cancel) {
      ++volumes;
      cancel = !exists;
    };
    std::vector<std::string> names;
    lister.OnRead = [&](engine::TZipCommon& s, std::int64_t, int) {
      names.push_back(s.Entry.FileName);
    };
    lister.SetArchiveFile(kFixtures + set);
    EXPECT_EQ(lister.Activate(), 1) << set;
    EXPECT_GT(volumes, 0) << set;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << set;
    // Without a handler the walk stops at the first split member.
    engine::TDivED alone;
    alone.SetFileSpec({"*.*"});
    int count = 0;
    alone.OnRead = [&](engine::TZipCommon&, std::int64_t, int) { ++count; };
    alone.SetArchiveFile(kFixtures + set);
    alone.Activate();
    EXPECT_LT(count, static_cast<int>(names.size())) << set;
  }
}

}  // namespace
