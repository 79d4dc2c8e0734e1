// TUUDecode: uu, xx and base64 texts, headers, volumes, unsafe names and damage.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/decoders/uu_decode.h"
#include "tests/unit/fixture_check.h"

namespace {

namespace fs = std::filesystem;

const std::string kXx = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string UuTable() {
  std::string t(1, '`');
  for (char c = 0x21; c <= 0x5F; ++c) t += c;
  return t;
}

// Encoded lines of `data` (45 bytes a line) in `table`, followed by the zero line.
std::string Encode(const std::string& data, const std::string& table) {
  std::string out;
  for (std::size_t at = 0; at <= data.size(); at += 45) {
    const std::size_t n = std::min<std::size_t>(45, data.size() - at);
    out += table[n];
    for (std::size_t i = 0; i < n; i += 3) {
      unsigned char b[3] = {};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k) b[k] = static_cast<unsigned char>(data[at + i + k]);
      out += table[b[0] >> 2];
      out += table[((b[0] & 3) << 4) | (b[1] >> 4)];
      out += table[((b[1] & 15) << 2) | (b[2] >> 6)];
      out += table[b[2] & 63];
    }
    out += '\n';
    if (n == 0) break;
  }
  return out;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct TRun {
  std::vector<int> errors;
  std::vector<std::pair<std::string, bool>> ends;
  std::vector<std::pair<std::string, std::string>> volumes;  // name asked, volume id
  int failed = 0;
  bool Has(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
  bool Passed() const { return ends.size() == 1 && ends[0].second; }
};

// Runs the decoder; `answer` handles OnNextVolume when set.
TRun Decode(const std::string& path, const std::string& out,
            const std::function<void(engine::TUUDecode&)>& setup = {}, bool answerVolumes = false) {
  engine::TUUDecode uu;
  TRun r;
  uu.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&,
                   const std::string&, int code) { r.errors.push_back(code); };
  uu.OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool pass) { r.ends.emplace_back(fn, pass); };
  if (answerVolumes)
    uu.OnNextVolume = [&](engine::TZipCommon&, std::string& name, const std::string& id, bool exists,
                          bool& cancel) {
      r.volumes.emplace_back(fs::path(name).filename().string(), id);
      cancel = !exists;
    };
  uu.ConfirmOverwrites = false;
  uu.SetArchiveFile(path);
  uu.SetExtractDir(out);
  if (setup) setup(uu);
  uu.Extract();
  r.failed = uu.FailedCount();
  return r;
}

TEST(UuDecode, FixturesDecodeToTheExpectedFiles) {
  for (const char* fixture : {"uue/text.uue", "uue/random.uue", "uue/libarchive_raw.uue", "uue/crlf.uue",
                              "uue/with_preamble.uue", "uue/text.xxe", "uue/base64.uue",
                              "uue/multipart.uue", "uue/multipart_xx.xxe"}) {
    SCOPED_TRACE(fixture);
    const std::string out = test::FreshDir("uu_out");
    const TRun r = Decode(test::FixturePath(fixture), out, {}, true);
    EXPECT_TRUE(r.errors.empty()) << "first error " << r.errors.front();
    EXPECT_TRUE(r.Passed());
    EXPECT_EQ(r.failed, 0);
    const auto expected = test::ReadExpected(fixture);
    const auto got = test::HashTree(out);
    ASSERT_EQ(got.size(), expected.size());
    for (const auto& e : expected) {
      auto it = got.find(e.name);
      ASSERT_NE(it, got.end()) << "missing " << e.name;
      EXPECT_EQ(it->second.sha256, e.sha256);
      EXPECT_EQ(it->second.size, e.size);
    }
  }
}

TEST(UuDecode, VolumesAreAskedForInTurn) {
  const std::string out = test::FreshDir("uu_vol");
  const TRun r = Decode(test::FixturePath("uue/multipart.uue"), out, {}, true);
  ASSERT_EQ(r.volumes.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(r.volumes[static_cast<std::size_t>(i)].first, "multipart.uu" + std::to_string(i + 2));
    EXPECT_EQ(r.volumes[static_cast<std::size_t>(i)].second, std::to_string(i + 2));
  }
}

// A set whose next volume is refused (or, with nobody to ask, not looked for) is an
// incomplete file: "EOL not found" and a failed verdict, never a pass.
TEST(UuDecode, RefusedVolumeFailsTheFile) {
  const std::string path = test::FixturePath("uue/multipart_xx.xxe");
  {
    const std::string out = test::FreshDir("uu_refused");
    const TRun r = Decode(path, out);
    EXPECT_TRUE(r.Has(engine::kErrEolNotFound));
    ASSERT_EQ(r.ends.size(), 1u);
    EXPECT_FALSE(r.ends[0].second);
    EXPECT_EQ(r.failed, 1);
  }
  {
    const std::string out = test::FreshDir("uu_auto");
    const TRun r = Decode(path, out, [](engine::TUUDecode& uu) { uu.AutoNextVolume = true; });
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.Passed());
    EXPECT_EQ(test::HashTree(out).at("big.dat").sha256,
              test::ReadExpected("uue/multipart_xx.xxe").at(0).sha256);
  }
}

TEST(UuDecode, NextVolumeNames) {
  engine::TUUDecode uu;
  struct TName {
    const char* archive;
    engine::TNextVolumeName rule;
    bool longNames;
    int number;
    const char* want;
  };
  using enum engine::TNextVolumeName;
  const TName cases[] = {
      {"part.uue", nvChangeExt, false, 2, "part.uu2"},
      {"part.uue", nvChangeExt, false, 12, "part.u12"},
      {"part.uue", nvChangeExt, false, 123, "part.123"},
      {"part", nvChangeExt, false, 3, "part3"},
      {"part.tar.uue", nvChangeExt, false, 2, "part.ta2"},
      {"part.uue", nvChangeFilename, true, 2, "par2.uue"},
      {"part.uue", nvChangeFilename, true, 12, "pa12.uue"},
      {"longfilename.uue", nvChangeFilename, false, 2, "longfil2.uue"},
      {"longfilename.uue", nvChangeFilename, false, 123, "longf123.uue"},
  };
  const std::string dir = test::FreshDir("uu_names.d");  // a dot in the folder name
  for (const TName& c : cases) {
    uu.SetArchiveFile((fs::path(dir) / c.archive).string());
    uu.NextVolumeName = c.rule;
    uu.VolumeLongFilenames = c.longNames;
    EXPECT_EQ(uu.NextVolumeFileName(c.number), (fs::path(dir) / c.want).string()) << c.archive;
  }
  uu.SetVolumeStartNum(40);
  EXPECT_EQ(uu.VolumeStartNum(), 10);
}

TEST(UuDecode, CraftedTexts) {
  const std::string small = "tiny file\n";  // one short line: no full line to tell the alphabet
  std::string big;
  for (int i = 0; i < 300; ++i) big += static_cast<char>(i * 7);
  struct TText {
    const char* what;
    std::string text;
    std::string name;      // expected output name ("" when nothing is written)
    std::string content;
    int error;             // an error that must be reported (0: none at all)
    bool pass;
  };
  std::string spaces = Encode(big, UuTable());
  for (char& c : spaces)
    if (c == '`') c = ' ';  // old encoders wrote spaces for zero
  std::string table = kXx;
  std::reverse(table.begin(), table.end());
  // The second and third full lines joined (a lost line end): the third one's bytes are
  // lost. (The first line stays whole: it tells the alphabet.)
  std::string joined = Encode(big, UuTable());
  joined.erase(joined.find('\n', joined.find('\n') + 1), 1);
  const std::string joinedContent = big.substr(0, 90) + big.substr(135);
  // A full line with two characters more (some encoders add a check character) is fine.
  std::string checked = Encode(big, UuTable());
  checked.insert(checked.find('\n'), "QQ");
  const TText texts[] = {
      {"small uu", "begin 644 a.txt\n" + Encode(small, UuTable()) + "end\n", "a.txt", small, 0, true},
      {"small xx", "begin 644 a.txt\n" + Encode(small, kXx) + "end\n", "a.txt", small, 0, true},
      {"spaces as zero", "begin 600 b.bin\n" + spaces + "end\n", "b.bin", big, 0, true},
      {"header table", "table\n" + table.substr(0, 32) + "\n" + table.substr(32) + "\nbegin 644 c.bin\n" +
                           Encode(big, table) + "end\n",
       "c.bin", big, 0, true},
      {"name with spaces", "begin 644 my file.txt\n" + Encode(small, UuTable()) + "end\n", "my file.txt",
       small, 0, true},
      {"size line agrees", "size 10\nbegin 644 d.txt\n" + Encode(small, UuTable()) + "end\n", "d.txt",
       small, 0, true},
      {"size line disagrees", "size 11\nbegin 644 d.txt\n" + Encode(small, UuTable()) + "end\n", "d.txt",
       small, 0, false},
      {"no end line", "begin 644 e.bin\n" + Encode(big, UuTable()), "e.bin", big, engine::kErrEolNotFound,
       false},
      {"full line runs on", "begin 644 h.bin\n" + joined + "end\n", "h.bin", joinedContent,
       engine::kErrUnexpectedEol, false},
      {"check characters", "begin 644 i.bin\n" + checked + "end\n", "i.bin", big, 0, true},
      {"unknown alphabet", "begin 644 f.bin\n~~~~~~~~\nend\n", "", "", engine::kErrUnsupportedMethod, false},
      {"leaves the target", "begin 644 ../g.txt\n" + Encode(small, UuTable()) + "end\n", "", "",
       engine::kErrInvalidFileName, false},
  };
  const std::string path = test::TempPath("crafted.uue");
  for (const TText& t : texts) {
    SCOPED_TRACE(t.what);
    WriteText(path, t.text);
    const fs::path outer = test::FreshDir("uu_crafted");
    const fs::path out = outer / "target";
    fs::create_directories(out);
    const TRun r = Decode(path, out.string());
    if (t.error == 0) {
      EXPECT_TRUE(r.errors.empty()) << "first error " << r.errors.front();
    } else {
      EXPECT_TRUE(r.Has(t.error));
    }
    if (t.name.empty()) {
      EXPECT_TRUE(test::HashTree(outer).empty());
      EXPECT_TRUE(r.ends.empty() || !r.ends[0].second);
    } else {
      ASSERT_TRUE(fs::exists(out / t.name));
      EXPECT_EQ(ReadText(out / t.name), t.content);
      ASSERT_EQ(r.ends.size(), 1u);
      EXPECT_EQ(r.ends[0].second, t.pass);
    }
  }
}

TEST(UuDecode, BeginIsLookedForInMaxHeaderLines) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "x\n";
  text += "begin 644 late.txt\n" + Encode("late\n", UuTable()) + "end\n";
  const std::string path = test::TempPath("late.uue");
  WriteText(path, text);
  const std::string out = test::FreshDir("uu_late");
  const TRun notFound = Decode(path, out);
  EXPECT_TRUE(notFound.Has(engine::kErrBadFileHeader));
  EXPECT_TRUE(test::HashTree(out).empty());
  const TRun found = Decode(path, out, [](engine::TUUDecode& uu) { uu.MaxHeaderLines = 101; });
  EXPECT_TRUE(found.Passed());
  EXPECT_EQ(ReadText(fs::path(out) / "late.txt"), "late\n");
}

// Cut or flipped texts end with an error or a failed verdict, or decode to something;
// never a crash or a hang.
TEST(UuDecode, DamagedTextsEndCleanly) {
  const std::string original = ReadText(test::FixturePath("uue/random.uue"));
  const std::string want = test::ReadExpected("uue/random.uue").at(0).sha256;
  const std::string path = test::TempPath("damaged.uue");
  for (std::size_t cut = 0; cut < original.size(); cut += original.size() / 16) {
    WriteText(path, original.substr(0, cut));
    const std::string out = test::FreshDir("uu_damaged");
    engine::TUUDecode uu;
    uu.SetArchiveFile(path);
    if (uu.ArcType() != engine::TArcType::atUue) continue;  // too short to be taken for a text
    const TRun r = Decode(path, out);
    if (cut <= original.rfind("\nend")) {
      EXPECT_FALSE(r.Passed()) << "cut at " << cut;
    }
  }
  for (std::size_t at = 0; at < original.size(); at += 97) {
    std::string bytes = original;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x41);
    WriteText(path, bytes);
    const std::string out = test::FreshDir("uu_damaged");
    engine::TUUDecode uu;
    uu.SetArchiveFile(path);
    if (uu.ArcType() != engine::TArcType::atUue) continue;
    Decode(path, out);
  }
}

}  // namespace
