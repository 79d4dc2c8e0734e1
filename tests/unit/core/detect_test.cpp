// Type detection over every fixture archive, and the rules that matter on crafted files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/core/zip_common.h"
#include "tests/unit/test_paths.h"

namespace {

using engine::TArcType;
using enum engine::TArcType;

class TProbe : public engine::TZipCommon {};

struct TManifestRow {
  std::string path, format, feature;
};

std::vector<TManifestRow> ReadManifest() {
  std::vector<TManifestRow> rows;
  std::ifstream in(test::FixturePath("MANIFEST.tsv"));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::stringstream ss(line);
    TManifestRow row;
    std::getline(ss, row.path, '\t');
    std::getline(ss, row.format, '\t');
    std::getline(ss, row.feature, '\t');
    if (!row.path.empty()) rows.push_back(row);
  }
  return rows;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// What detection must say of a fixture: the format's type, the self-extractor variant for
// executables, and the documented exceptions.
TArcType ExpectedType(const TManifestRow& row) {
  static const std::map<std::string, TArcType> kByFolder = {
      {"lha", atLha}, {"arj", atArj}, {"arc", atArc}, {"zoo", atZoo}, {"ha", atHa},
      {"cab", atCab}, {"rar", atRar}, {"ace", atACE}, {"zip", atZip}, {"gzip", atGZip},
      {"compress", atGZip}, {"uue", atUue}, {"tar", atTar}, {"msgz", atMsGZ},
      // bzip2 has no signature of its own here: such files are opened by their extension.
      {"bzip2", atUnknown},
  };
  static const std::map<std::string, TArcType> kExceptions = {
      {"detect/nineteen_bytes.zip", atFileOpenErr},
      {"detect/xbegin_not_uue.txt", atUnknown},
      {"detect/central_dir_first.bin", atNA},
      {"compress/empty.Z", atFileOpenErr},             // shorter than 20 bytes
      {"compress/libarchive_raw_data.Z", atFileOpenErr},
      {"bzip2/empty.bz2", atFileOpenErr},
      {"cab/cab_mz_stub.exe", atUnsupported},          // cabinets are not taken from executables
      {"uue/base64.uue", atUnknown},                   // "begin-base64" is not "begin "
  };
  if (auto it = kExceptions.find(row.path); it != kExceptions.end()) return it->second;
  const std::string& p = row.path;
  if (row.format == "uue" && !EndsWith(p, ".uue") && !EndsWith(p, ".xxe")) return atUnknown;
  if (EndsWith(p, ".jar")) return atJar;
  const bool exe = EndsWith(p, ".exe") || EndsWith(p, ".com");
  const TArcType base = kByFolder.at(row.format);
  if (!exe) return base;
  switch (base) {
    case atLha: return atLhaExe;
    case atArj: return atArjExe;
    case atArc: return atArcExe;
    case atRar: return atRarExe;
    case atZip: return atZipExe;
    default: return base;
  }
}

TEST(Detect, EveryFixtureHasItsType) {
  const auto rows = ReadManifest();
  ASSERT_GT(rows.size(), 200u) << "fixtures not found at " << test::FixturePath("");
  const std::regex offsetRe("(first header|marker|main header) at offset ([0-9]+)");
  int checked = 0;
  for (const auto& row : rows) {
    TProbe probe;
    probe.SetArchiveFile(test::FixturePath(row.path));
    const TArcType want = ExpectedType(row);
    EXPECT_EQ(engine::ArcTypeName(probe.ArcType()), engine::ArcTypeName(want)) << row.path;
    std::smatch m;
    if (std::regex_search(row.feature, m, offsetRe) && engine::IsRecognised(want)) {
      // Other types count their start from 1.
      EXPECT_EQ(probe.StartOffset(), std::stoll(m[2]) + 1) << row.path;
    }
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(rows.size()));
}

TEST(Detect, ZipStartOffsets) {
  struct TCase {
    const char* path;
    TArcType type;
    std::int64_t start;
    std::uint8_t flags;
  } cases[] = {
      // The central directory where the end record says.
      {"zip/zip_prefix_adjusted.zip", atZip, 10301, 25},
      // Offsets not adjusted for the 1000 bytes in front: the directory is found where it
      // really is, just before the end record.
      {"zip/zip_prefix_unadjusted.zip", atZip, 10301, 1},
      // A probe position of self-extractors: walk the local headers from there.
      {"zip/zip_mz_stub_at15770.exe", atZipExe, 15770, 16},
      // No usable directory (ZIP64 end record): walk the local headers from the start.
      {"zip/zip_zip64.zip", atZip, 0, 17},
      {"zip/zip_empty.zip", atZip, 0, 16},
      // First segment of a split set: the spanning signature.
      {"zip/zip_split.z01", atZip, 0, 16},
  };
  for (const auto& c : cases) {
    TProbe probe;
    probe.SetArchiveFile(test::FixturePath(c.path));
    EXPECT_EQ(engine::ArcTypeName(probe.ArcType()), engine::ArcTypeName(c.type)) << c.path;
    EXPECT_EQ(probe.StartOffset(), c.start) << c.path;
    EXPECT_EQ(probe.ZipFlags(), c.flags) << c.path;
  }
}

// Crafted files for the rules no fixture shows.
class DetectCrafted : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = test::TempPath(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  TArcType Detect(const std::string& path, std::int64_t* start = nullptr) {
    TProbe probe;
    probe.SetArchiveFile(path);
    if (start) *start = probe.StartOffset();
    return probe.ArcType();
  }
};

TEST_F(DetectCrafted, SmallAndEmptyNames) {
  TProbe probe;
  probe.SetArchiveFile("");
  EXPECT_EQ(probe.ArcType(), atNA);
  EXPECT_EQ(Detect(test::TempPath("does-not-exist.zip")), atFileOpenErr);
  std::vector<std::uint8_t> rar = {'R', 'a', 'r', '!', 0x1A, 7, 0};
  rar.resize(19, 0);
  EXPECT_EQ(Detect(Write("nineteen.rar", rar)), atFileOpenErr);
  rar.resize(20, 0);
  EXPECT_EQ(Detect(Write("twenty.rar", rar)), atRar);
}

TEST_F(DetectCrafted, AllZeroFileIsNotClassifiedFromUnreadBytes) {
  EXPECT_EQ(Detect(Write("zeros.bin", std::vector<std::uint8_t>(40000, 0))), atUnknown);
}

TEST_F(DetectCrafted, UuBeginMustStartALine) {
  std::string text = "Some preamble\nbegin 644 x.txt\n`\nend\n";
  text.resize(100, '\n');
  EXPECT_EQ(Detect(Write("a.uue", {text.begin(), text.end()})), atUue);
  std::string mid = "the word begin 644 is inside a line\n";
  mid.resize(100, '\n');
  EXPECT_EQ(Detect(Write("b.txt", {mid.begin(), mid.end()})), atUnknown);
}

TEST_F(DetectCrafted, ArjTwoBytesAfterTheDosImage) {
  // An MZ image of 1000 bytes (2 pages, 488 on the last), two bytes of padding, then 60 EA.
  std::vector<std::uint8_t> exe(3000, 0);
  exe[0] = 'M';
  exe[1] = 'Z';
  exe[2] = 488 & 0xFF;
  exe[3] = 488 >> 8;
  exe[4] = 2;
  exe[1002] = 0x60;
  exe[1003] = 0xEA;
  std::int64_t start = 0;
  EXPECT_EQ(Detect(Write("arjsfx.exe", exe), &start), atArjExe);
  EXPECT_EQ(start, 1003);
}

TEST_F(DetectCrafted, JarOnlyForPlainZipFiles) {
  std::ifstream in(test::FixturePath("zip/zip_stored.zip"), std::ios::binary);
  std::vector<std::uint8_t> zip((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(zip.empty());
  EXPECT_EQ(Detect(Write("x.jar", zip)), atJar);
  EXPECT_EQ(Detect(Write("x.zip", zip)), atZip);
  EXPECT_EQ(Detect(test::FixturePath("zip/zip_mz_stub.exe")), atZipExe);
  // A ZIP behind a stub stays an executable whatever its name.
  std::ifstream stubIn(test::FixturePath("zip/zip_mz_stub.exe"), std::ios::binary);
  std::vector<std::uint8_t> stub((std::istreambuf_iterator<char>(stubIn)), {});
  EXPECT_EQ(Detect(Write("stub.jar", stub)), atZipExe);
}

TEST(DetectSet, ArcTypeAssignmentRerunsDetection) {
  TProbe probe;
  probe.SetArchiveFile(test::FixturePath("lha/lha213_lh5.lzh"));
  probe.SetArcType(atZip);
  EXPECT_EQ(probe.ArcType(), atLha);
}

}  // namespace
