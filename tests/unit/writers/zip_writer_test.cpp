// The ZIP writer: archives checked by the peer tools (unzip, 7zz) at every level, stored and
// encrypted; updates of archives made by zip and 7zz keep the other members byte for byte;
// layouts it cannot account for are refused; failures and cancels leave the old archive.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/core/cipher.h"
#include "engine/core/crc.h"
#include "engine/core/stream.h"
#include "engine/writers/zip_writer.h"
#include "tests/unit/test_paths.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using engine::ReadLe16;
using engine::ReadLe32;

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const fs::path& p, const Bytes& data) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}
void WriteText(const fs::path& p, const std::string& s) { WriteFile(p, Bytes(s.begin(), s.end())); }

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen() >> 24);
  return v;
}
Bytes TextBytes(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 7919 % 1000) + " of some text\n";
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

struct TRun {
  int Status = -1;
  std::string Out;
};
TRun Shell(const std::string& command) {
  TRun r;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) r.Out.append(buf, n);
  const int raw = pclose(pipe);
#ifdef _WIN32
  r.Status = raw;
#else
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  return r;
}
bool Have(const std::string& tool) { return Shell("command -v " + tool).Status == 0; }
std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// An independent reading of a ZIP archive: each member's central record and the bytes of
// its local record (header to the end of its data descriptor).
struct TMember {
  std::string Name;
  Bytes Central;  // with the local-header offset zeroed
  Bytes Local;
  std::uint32_t Offset = 0;
  std::uint16_t Flags = 0, Method = 0;
  std::uint32_t Crc = 0, Packed = 0, Unpacked = 0;
};
struct TArchive {
  std::vector<TMember> Members;
  std::string Comment;
};
std::optional<TArchive> Parse(const Bytes& d) {
  if (d.size() < 22) return std::nullopt;
  std::size_t e = d.size() - 22;
  while (ReadLe32(&d[e]) != 0x06054B50) {
    if (e == 0) return std::nullopt;
    --e;
  }
  TArchive a;
  const unsigned n = ReadLe16(&d[e + 10]);
  std::size_t p = ReadLe32(&d[e + 16]);
  a.Comment.assign(d.begin() + e + 22, d.begin() + e + 22 + ReadLe16(&d[e + 20]));
  for (unsigned i = 0; i < n; ++i) {
    if (p + 46 > d.size() || ReadLe32(&d[p]) != 0x02014B50) return std::nullopt;
    TMember m;
    const std::size_t len = 46 + ReadLe16(&d[p + 28]) + ReadLe16(&d[p + 30]) + ReadLe16(&d[p + 32]);
    m.Central.assign(d.begin() + p, d.begin() + p + len);
    m.Name.assign(d.begin() + p + 46, d.begin() + p + 46 + ReadLe16(&d[p + 28]));
    m.Flags = ReadLe16(&d[p + 8]);
    m.Method = ReadLe16(&d[p + 10]);
    m.Crc = ReadLe32(&d[p + 16]);
    m.Packed = ReadLe32(&d[p + 20]);
    m.Unpacked = ReadLe32(&d[p + 24]);
    m.Offset = ReadLe32(&d[p + 42]);
    std::fill(m.Central.begin() + 42, m.Central.begin() + 46, 0);
    const std::size_t l = m.Offset;
    if (l + 30 > d.size() || ReadLe32(&d[l]) != 0x04034B50) return std::nullopt;
    std::size_t end = l + 30 + ReadLe16(&d[l + 26]) + ReadLe16(&d[l + 28]) + m.Packed;
    if (m.Flags & 8) end += ReadLe32(&d[end]) == 0x08074B50 ? 16 : 12;
    if (end > d.size()) return std::nullopt;
    m.Local.assign(d.begin() + l, d.begin() + end);
    a.Members.push_back(std::move(m));
    p += len;
  }
  return a;
}
const TMember* Find(const TArchive& a, const std::string& name) {
  for (const auto& m : a.Members)
    if (m.Name == name) return &m;
  return nullptr;
}

// Events of one writer run.
struct TLog {
  std::vector<std::pair<std::string, int>> Errors;
  std::vector<std::string> Ended;
  void Attach(engine::TZip& z) {
    z.OnError = [this](engine::TZipCommon&, const std::string& fn, const std::string&,
                       const std::string&, int code) { Errors.emplace_back(fn, code); };
    z.OnEnd = [this](engine::TZipCommon&, const std::string& fn, bool) { Ended.push_back(fn); };
  }
  std::string Describe() const {
    std::string s;
    for (const auto& [fn, code] : Errors)
      s += fn + ": " + std::to_string(code) + " " + std::string(engine::ErrorText(code)) + "\n";
    return s;
  }
};

class ZipWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = test::TempDir() / ("zipw-" + std::string(::testing::UnitTest::GetInstance()
                                                         ->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir / "src");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  // Temporary files ("doz...") left in the archive's folder.
  static std::vector<std::string> Leftovers(const fs::path& archive) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(archive.parent_path()))
      if (e.path().filename().string().rfind("doz", 0) == 0) out.push_back(e.path().filename().string());
    return out;
  }
  // A writer for `archive` adding `specs` (relative to src/) with stored folder names.
  void Setup(engine::TZip& z, const fs::path& archive, std::vector<std::string> specs) {
    z.SetArchiveFile(archive.string());
    for (auto& s : specs) s = (dir / "src" / s).string();
    z.SetFileSpec(specs);
    z.RecurseDirs = true;
    z.OnReplaceFile = [](engine::TZipCommon&, const std::string&, const std::string&, double,
                         double, std::int64_t, std::int64_t, std::uint32_t, std::uint32_t,
                         bool& replace) { replace = true; };
  }
  fs::path dir;
};

// The sample files most tests add, with the bytes each should extract to.
std::map<std::string, Bytes> MakeSample(const fs::path& src) {
  std::map<std::string, Bytes> files = {
      {"text.txt", TextBytes(200000)},
      {"random.bin", RandomBytes(70000, 1)},
      {"empty.dat", {}},
      {"small.bin", RandomBytes(100, 2)},
      {"inner.zip", TextBytes(5000)},
      {"sub/deep.txt", TextBytes(3000)},
  };
  for (const auto& [name, data] : files) WriteFile(src / name, data);
  return files;
}

TEST_F(ZipWriter, EveryLevelStoredAndEncryptedPassPeersAndExtractIdentically) {
  if (!Have("unzip") || !Have("7zz")) GTEST_SKIP() << "unzip or 7zz is not installed";
  const auto files = MakeSample(dir / "src");
  struct TCase {
    const char* label;
    engine::TCompressMethod method;
    engine::TDeflateType type;
    std::uint16_t levelBits;
  } cases[] = {
      {"S", engine::TCompressMethod::cmDeflate, engine::TDeflateType::dtDeflateS, 6},
      {"F", engine::TCompressMethod::cmDeflate, engine::TDeflateType::dtDeflateF, 4},
      {"N", engine::TCompressMethod::cmDeflate, engine::TDeflateType::dtDeflateN, 0},
      {"X", engine::TCompressMethod::cmDeflate, engine::TDeflateType::dtDeflateX, 2},
      {"store", engine::TCompressMethod::cmStore, engine::TDeflateType::dtDeflateN, 0},
  };
  for (const auto& c : cases) {
    for (const std::string password : {"", "s3cret"}) {
      SCOPED_TRACE(std::string(c.label) + (password.empty() ? "" : " encrypted"));
      const fs::path archive = dir / (std::string(c.label) + (password.empty() ? "" : "-p") + ".zip");
      engine::TZip z;
      TLog log;
      log.Attach(z);
      Setup(z, archive, {"*.*"});
      z.SetCompressMethod(c.method);
      z.SetDeflateType(c.type);
      z.Password = password;
      EXPECT_EQ(z.Compress(), static_cast<int>(files.size())) << log.Describe();
      EXPECT_TRUE(log.Errors.empty()) << log.Describe();

      const auto parsed = Parse(ReadFile(archive));
      ASSERT_TRUE(parsed);
      for (const auto& m : parsed->Members) {
        SCOPED_TRACE(m.Name);
        const Bytes& data = files.at(m.Name);
        EXPECT_EQ(m.Unpacked, data.size());
        EXPECT_EQ(m.Crc, data.empty() ? 0u : engine::Crc32Of(data));
        EXPECT_EQ(m.Flags & 1, data.empty() || password.empty() ? 0 : 1);
        if (m.Method == 8) {
          EXPECT_EQ(c.method, engine::TCompressMethod::cmDeflate);
          EXPECT_EQ(m.Flags & 6, c.levelBits);
        } else {
          EXPECT_EQ(m.Flags & 6, 0);
        }
        const bool mustStore = data.empty() || c.method == engine::TCompressMethod::cmStore ||
                               m.Name == "inner.zip";
        if (mustStore) {
          EXPECT_EQ(m.Method, 0);
        }
        if (m.Name == "text.txt") {
          EXPECT_EQ(m.Method, mustStore ? 0 : 8);
        }
      }

      const std::string pw = password.empty() ? "" : " -P " + password;
      const TRun test = Shell("unzip -t" + pw + " " + Q(archive));
      EXPECT_EQ(test.Status, 0) << test.Out;
      const TRun seven = Shell("7zz t -p" + (password.empty() ? std::string("x") : password) + " " + Q(archive));
      EXPECT_EQ(seven.Status, 0) << seven.Out;
      const fs::path out = dir / ("out-" + archive.stem().string());
      const TRun x = Shell("unzip -q" + pw + " -d " + Q(out) + " " + Q(archive));
      EXPECT_EQ(x.Status, 0) << x.Out;
      for (const auto& [name, data] : files) EXPECT_EQ(ReadFile(out / name), data) << name;
    }
  }
}

TEST_F(ZipWriter, EdgeCasesOfSingleMembers) {
  struct TCase {
    const char* name;
    Bytes data;
    bool storeCompressedKinds;
    std::uint16_t method;
  } cases[] = {
      {"empty.txt", {}, true, 0},
      {"noise.bin", RandomBytes(1000, 3), true, 0},   // incompressible: stored, not framed
      {"data.ZIP", TextBytes(4000), true, 0},          // already-compressed kind
      {"photo.jar", TextBytes(4000), true, 0},
      {"data.zip", TextBytes(4000), false, 8},         // the option off
      {"setup.exe", TextBytes(4000), true, 8},         // programs are deflated
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "src");
    WriteFile(dir / "src" / c.name, c.data);
    const fs::path archive = dir / "edge.zip";
    fs::remove(archive);
    engine::TZip z;
    Setup(z, archive, {c.name});
    z.StoreAlreadyCompressedFiles = c.storeCompressedKinds;
    z.Password = "pw";
    EXPECT_EQ(z.Compress(), 1);
    const auto a = Parse(ReadFile(archive));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->Members.size(), 1u);
    const TMember& m = a->Members[0];
    EXPECT_EQ(m.Method, c.method);
    EXPECT_EQ(m.Unpacked, c.data.size());
    // The local header says what the central one says (it is rewritten after the data).
    EXPECT_TRUE(std::equal(m.Local.begin() + 6, m.Local.begin() + 26, m.Central.begin() + 8));
    EXPECT_EQ(ReadLe16(&m.Local[28]), 0) << "no extra field";
    if (c.data.empty()) {
      EXPECT_EQ(m.Crc, 0u);
      EXPECT_EQ(m.Packed, 0u);
      EXPECT_EQ(m.Flags, 0) << "empty files are never encrypted";
      continue;
    }
    EXPECT_EQ(m.Flags & 1, 1);
    // The encryption header is part of the compressed size; its 12th byte is the CRC's top
    // byte (and the 11th the next one), which is how unzip checks a password.
    engine::TPkCipher cipher;
    cipher.InitKeys("pw");
    const std::size_t dataAt = 30 + m.Name.size();
    Bytes body(m.Local.begin() + static_cast<std::ptrdiff_t>(dataAt), m.Local.end());
    ASSERT_EQ(body.size(), m.Packed);
    cipher.DecryptBlock(body.data(), body.size());
    EXPECT_EQ(body[11], static_cast<std::uint8_t>(m.Crc >> 24));
    EXPECT_EQ(body[10], static_cast<std::uint8_t>(m.Crc >> 16));
    if (m.Method == 0) {
      EXPECT_EQ(Bytes(body.begin() + 12, body.end()), c.data);
    }
  }
}

// Archives made by the peers: zip with extra fields (and data descriptors when it writes to
// a pipe), 7zz with its own extra fields, plus an archive comment.
class ZipWriterForeign : public ZipWriter {
 protected:
  void SetUp() override {
    ZipWriter::SetUp();
    if (!Have("zip") || !Have("7zz") || !Have("unzip") || !Have("zipinfo"))
      GTEST_SKIP() << "zip, 7zz, unzip or zipinfo is not installed";
    WriteFile(dir / "src" / "a.txt", TextBytes(5000));
    WriteFile(dir / "src" / "b.bin", RandomBytes(3000, 9));
    WriteFile(dir / "src" / "c.txt", TextBytes(100));
    WriteText(dir / "src" / "new.txt", "a file that was not in the archive\n");
  }
  // The foreign archives: name -> path.
  std::vector<fs::path> MakeForeign() {
    const std::string src = Q(dir / "src");
    std::vector<fs::path> out = {dir / "zip-plain.zip", dir / "zip-piped.zip", dir / "7zz.zip"};
    EXPECT_EQ(Shell("cd " + src + " && zip -q " + Q(out[0]) + " a.txt b.bin c.txt && echo 'the comment' | zip -q -z " + Q(out[0])).Status, 0);
    EXPECT_EQ(Shell("cd " + src + " && zip -q - a.txt b.bin c.txt | cat > " + Q(out[1])).Status, 0);
    EXPECT_EQ(Shell("cd " + src + " && 7zz a -tzip -bso0 -bsp0 " + Q(out[2]) + " a.txt b.bin c.txt").Status, 0);
    return out;
  }
  // zipinfo's view of one member without the lines that name offsets.
  static std::string ZipinfoOf(const fs::path& archive, const std::string& member) {
    const TRun r = Shell("zipinfo -v " + Q(archive) + " " + member);
    std::string out, line;
    std::istringstream in(r.Out);
    bool inEntry = false;
    while (std::getline(in, line)) {
      if (line.find("Central directory entry #") != std::string::npos) inEntry = true;
      // The offset line wraps its hexadecimal form onto the next line.
      if (!inEntry || line.find("offset") != std::string::npos ||
          line.find("entry #") != std::string::npos || line.find("h) bytes") != std::string::npos)
        continue;
      out += line + "\n";
    }
    return out;
  }
  // Every member of `before` named in `kept` is in `after` byte for byte, offsets aside.
  void ExpectKept(const fs::path& beforePath, const Bytes& before, const fs::path& afterPath,
                  const std::vector<std::string>& kept) {
    const auto a = Parse(before), b = Parse(ReadFile(afterPath));
    ASSERT_TRUE(a && b);
    for (const std::string& name : kept) {
      SCOPED_TRACE(name);
      const TMember* x = Find(*a, name);
      const TMember* y = Find(*b, name);
      ASSERT_TRUE(x && y);
      EXPECT_EQ(x->Local, y->Local);
      EXPECT_EQ(x->Central, y->Central);
      EXPECT_EQ(ZipinfoOf(beforePath, name), ZipinfoOf(afterPath, name));
    }
    EXPECT_EQ(a->Comment, b->Comment);
  }
};

TEST_F(ZipWriterForeign, AddDeleteFreshenAndMoveKeepOtherMembersVerbatim) {
  for (const fs::path& original : MakeForeign()) {
    SCOPED_TRACE(original.filename().string());
    const Bytes before = ReadFile(original);
    ASSERT_TRUE(Parse(before)) << "peer archive not understood by the test";
    const fs::path copy = dir / "copy.zip";
    const fs::path beforeCopy = dir / "before.zip";
    fs::copy_file(original, beforeCopy, fs::copy_options::overwrite_existing);

    struct TStep {
      const char* what;
      std::vector<std::string> kept;
      std::vector<std::string> present;
    } steps[] = {
        {"add", {"a.txt", "b.bin", "c.txt"}, {"new.txt"}},
        {"delete", {"a.txt", "c.txt"}, {}},
        {"freshen", {"a.txt", "c.txt"}, {"b.bin"}},
        {"update", {"a.txt", "c.txt"}, {"b.bin", "new.txt"}},
        {"move", {"a.txt", "b.bin", "c.txt"}, {"new.txt"}},
        {"delete-all", {}, {}},
    };
    for (const auto& s : steps) {
      SCOPED_TRACE(s.what);
      fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
      WriteText(dir / "src" / "new.txt", "a file that was not in the archive\n");
      engine::TZip z;
      TLog log;
      log.Attach(z);
      const std::string what = s.what;
      if (what == "add") {
        Setup(z, copy, {"new.txt"});
      } else if (what == "delete" || what == "delete-all") {
        z.SetArchiveFile(copy.string());
        z.Switch = engine::TSwitch::swDelete;
        z.SetFileSpec({what == "delete" ? "b.bin" : "*.*"});
      } else if (what == "freshen") {
        // b.bin is newer on disk; new.txt is not in the archive and stays out.
        fs::last_write_time(dir / "src" / "b.bin", fs::file_time_type::clock::now() + std::chrono::hours(48));
        Setup(z, copy, {"b.bin", "new.txt"});
        z.AddFreshen = true;
      } else if (what == "update") {
        // b.bin is newer (as above) and replaced; new.txt comes in; c.txt is older and stays.
        fs::last_write_time(dir / "src" / "c.txt", fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        Setup(z, copy, {"b.bin", "new.txt", "c.txt"});
        z.AddUpdate = true;
      } else {
        Setup(z, copy, {"new.txt"});
        z.Switch = engine::TSwitch::swMove;
      }
      z.Compress();
      EXPECT_TRUE(log.Errors.empty()) << log.Describe();
      EXPECT_TRUE(z.Replaced());
      ExpectKept(beforeCopy, before, copy, s.kept);
      const auto after = Parse(ReadFile(copy));
      ASSERT_TRUE(after);
      EXPECT_EQ(after->Members.size(), s.kept.size() + s.present.size());
      for (const auto& name : s.present) EXPECT_TRUE(Find(*after, name)) << name;
      if (what == "move") {
        EXPECT_FALSE(fs::exists(dir / "src" / "new.txt"));
      }
      if (what == "delete-all") {
        // A valid empty archive: the end record and the comment, nothing else.
        EXPECT_EQ(fs::file_size(copy), 22 + after->Comment.size());
        EXPECT_EQ(Shell("7zz t " + Q(copy)).Status, 0);
      } else {
        const TRun t = Shell("unzip -t " + Q(copy));
        EXPECT_EQ(t.Status, 0) << t.Out;
        const fs::path out = dir / "x";
        fs::remove_all(out);
        EXPECT_EQ(Shell("unzip -q -d " + Q(out) + " " + Q(copy)).Status, 0);
        for (const auto& name : s.kept) EXPECT_EQ(ReadFile(out / name), ReadFile(dir / "src" / name)) << name;
      }
      EXPECT_TRUE(Leftovers(copy).empty()) << "temporary file left";
    }
  }
}

TEST_F(ZipWriter, UpdateFreshenAndPlainAddDecideByDate) {
  const fs::path archive = dir / "u.zip";
  WriteText(dir / "src" / "a.txt", "old a\n");
  WriteText(dir / "src" / "b.txt", "old b\n");
  {
    engine::TZip z;
    Setup(z, archive, {"a.txt", "b.txt"});
    ASSERT_EQ(z.Compress(), 2);
  }
  const Bytes original = ReadFile(archive);
  const auto now = fs::file_time_type::clock::now();
  struct TCase {
    const char* what;
    bool update, freshen, plain;
    std::vector<std::string> names;
    const char* aText;
    const char* bText;
  } cases[] = {
      {"update", true, false, false, {"a.txt", "b.txt", "c.txt"}, "new a\n", "old b\n"},
      {"freshen", false, true, false, {"a.txt", "b.txt"}, "new a\n", "old b\n"},
      {"plain", false, false, true, {"a.txt", "b.txt", "c.txt"}, "new a\n", "new b older\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(archive, original);
    WriteText(dir / "src" / "a.txt", "new a\n");
    fs::last_write_time(dir / "src" / "a.txt", now + std::chrono::hours(24));
    WriteText(dir / "src" / "b.txt", "new b older\n");
    fs::last_write_time(dir / "src" / "b.txt", now - std::chrono::hours(24 * 400));
    WriteText(dir / "src" / "c.txt", "c\n");
    engine::TZip z;
    Setup(z, archive, {"*.txt"});
    z.AddUpdate = c.update;
    z.AddFreshen = c.freshen;
    z.Compress();
    const auto a = Parse(ReadFile(archive));
    ASSERT_TRUE(a);
    std::vector<std::string> names;
    for (const auto& m : a->Members) names.push_back(m.Name);
    EXPECT_EQ(names, c.names);
    const TMember* ma = Find(*a, "a.txt");
    const TMember* mb = Find(*a, "b.txt");
    ASSERT_TRUE(ma && mb);
    EXPECT_EQ(ma->Crc, engine::Crc32Of(Bytes(c.aText, c.aText + std::string(c.aText).size())));
    EXPECT_EQ(mb->Crc, engine::Crc32Of(Bytes(c.bText, c.bText + std::string(c.bText).size())));
  }
}

TEST_F(ZipWriter, RefusesLayoutsItCannotAccountFor) {
  const fs::path good = dir / "good.zip";
  WriteText(dir / "src" / "a.txt", "aaaa\n");
  WriteText(dir / "src" / "b.txt", "bbbb\n");
  {
    engine::TZip z;
    Setup(z, good, {"*.txt"});
    ASSERT_EQ(z.Compress(), 2);
  }
  const Bytes g = ReadFile(good);
  const auto parsed = Parse(g);
  ASSERT_TRUE(parsed);
  const std::size_t cdAt = g.size() - 22 - parsed->Members[0].Central.size() * 2;

  std::vector<std::pair<std::string, Bytes>> cases;
  {  // the second central record points at the first member: overlapping spans
    Bytes d = g;
    std::fill(d.begin() + static_cast<std::ptrdiff_t>(cdAt + parsed->Members[0].Central.size() + 42),
              d.begin() + static_cast<std::ptrdiff_t>(cdAt + parsed->Members[0].Central.size() + 46), 0);
    cases.emplace_back("overlap", d);
  }
  {  // a packed size running into the central directory
    Bytes d = g;
    engine::WriteLe32(&d[cdAt + 20], 0x1000);
    cases.emplace_back("size", d);
  }
  {  // a ZIP64 size marker
    Bytes d = g;
    engine::WriteLe32(&d[cdAt + 24], 0xFFFFFFFFu);
    cases.emplace_back("zip64 marker", d);
  }
  cases.emplace_back("truncated", Bytes(g.begin(), g.end() - 30));
  cases.emplace_back("not a zip", TextBytes(100));
  if (Have("zip")) {
    const fs::path z64 = dir / "z64.zip";
    Shell("printf x | zip -q -fz " + Q(z64) + " -");
    cases.emplace_back("zip64 by zip", ReadFile(z64));
    fs::remove(z64);
  }
  for (const auto& [label, data] : cases) {
    SCOPED_TRACE(label);
    const fs::path archive = dir / "bad.zip";
    WriteFile(archive, data);
    for (const engine::TSwitch sw : {engine::TSwitch::swAdd, engine::TSwitch::swDelete}) {
      engine::TZip z;
      TLog log;
      log.Attach(z);
      Setup(z, archive, {"a.txt"});
      z.Switch = sw;
      if (sw == engine::TSwitch::swDelete) z.SetFileSpec({"*.*"});
      z.Compress();
      EXPECT_FALSE(z.Replaced());
      ASSERT_EQ(log.Errors.size(), 1u) << log.Describe();
      EXPECT_EQ(log.Errors[0].second, engine::kErrBadFileHeader);
      EXPECT_EQ(ReadFile(archive), data);
      EXPECT_TRUE(Leftovers(archive).empty()) << "temporary file left";
    }
  }
}

// A block writer that fails once `limit` bytes went out, standing in for a full disk.
void InjectWriteFailure(engine::TZip& z, std::int64_t limit) {
  auto written = std::make_shared<std::int64_t>(0);
  z.WriteEncryptedBlockProc = [&z, written, limit](engine::IStream* s, bool doCrc, std::size_t n,
                                                   int crc, bool enc, std::uint8_t* b) {
    *written += static_cast<std::int64_t>(n);
    if (*written > limit) throw engine::E_RAISE(engine::kErrWritingFile);
    return z.DefaultWriteEncryptedBlock(s, doCrc, n, crc, enc, b);
  };
}

TEST_F(ZipWriter, WriteFailureOrCancelMidUpdateLeavesOldArchive) {
  const fs::path archive = dir / "f.zip";
  WriteFile(dir / "src" / "one.bin", RandomBytes(200000, 4));
  WriteFile(dir / "src" / "two.txt", TextBytes(300000));
  {
    engine::TZip z;
    Setup(z, archive, {"one.bin", "two.txt"});
    ASSERT_EQ(z.Compress(), 2);
  }
  const Bytes before = ReadFile(archive);
  WriteFile(dir / "src" / "three.txt", TextBytes(400000));
  WriteFile(dir / "src" / "one.bin", RandomBytes(200000, 5));  // a replacement
  fs::last_write_time(dir / "src" / "one.bin", fs::file_time_type::clock::now() + std::chrono::hours(24));
  // The size of the whole new archive, from a run on a copy.
  std::int64_t full = 0;
  std::vector<std::int64_t> limits;
  {
    const fs::path copy = dir / "measure" / "f.zip";
    WriteFile(copy, before);
    engine::TZip z;
    Setup(z, copy, {"*.*"});
    ASSERT_EQ(z.Compress(), 2);
    full = static_cast<std::int64_t>(fs::file_size(copy));
    const auto a = Parse(ReadFile(copy));
    ASSERT_TRUE(a && a->Members.size() == 3);
    // Failing in the replacing member, in the kept one, in the new one, in the central
    // directory and in the end record.
    limits = {1000, a->Members[1].Offset + 100, a->Members[2].Offset + 100, full - 100, full - 10};
  }
  for (const std::int64_t limit : limits) {
    SCOPED_TRACE(limit);
    engine::TZip z;
    TLog log;
    log.Attach(z);
    Setup(z, archive, {"*.*"});
    z.Switch = engine::TSwitch::swMove;
    InjectWriteFailure(z, limit);
    z.Compress();
    EXPECT_FALSE(z.Replaced());
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_TRUE(Leftovers(archive).empty()) << "temporary file left";
    EXPECT_FALSE(log.Errors.empty());
    for (const auto& [fn, code] : log.Errors) EXPECT_EQ(code, engine::kErrWritingFile) << fn;
    EXPECT_TRUE(fs::exists(dir / "src" / "three.txt")) << "a move deleted a source";
  }
  // Cancel from the progress event, at the first and at a later report.
  for (const int at : {1, 6}) {
    SCOPED_TRACE(at);
    engine::TZip z;
    Setup(z, archive, {"*.*"});
    z.Switch = engine::TSwitch::swMove;
    int reports = 0;
    z.OnProgress = [&](engine::TZipCommon& sender, std::uint8_t, std::uint8_t) {
      if (++reports == at) sender.SetCancel(true);
    };
    z.Compress();
    EXPECT_GE(reports, at);
    EXPECT_FALSE(z.Replaced());
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_TRUE(Leftovers(archive).empty()) << "temporary file left";
    EXPECT_TRUE(fs::exists(dir / "src" / "three.txt"));
  }
}

TEST_F(ZipWriter, FailedReplacementKeepsTheNewArchiveAndNamesIt) {
  if (!Have("unzip")) GTEST_SKIP() << "unzip is not installed";
  const fs::path archive = dir / "r.zip";
  WriteText(dir / "src" / "a.txt", "a\n");
  engine::TZip z;
  TLog log;
  log.Attach(z);
  Setup(z, archive, {"a.txt"});
  // While the run is busy, something takes the archive's name that a file cannot replace.
  z.OnProgress = [&](engine::TZipCommon&, std::uint8_t, std::uint8_t) {
    if (!fs::exists(archive)) {
      fs::create_directories(archive / "x");
    }
  };
  EXPECT_EQ(z.Compress(), 1);
  EXPECT_FALSE(z.Replaced());
  ASSERT_FALSE(z.KeptTempFile().empty());
  EXPECT_TRUE(fs::is_regular_file(z.KeptTempFile()));
  ASSERT_EQ(log.Errors.size(), 1u) << log.Describe();
  EXPECT_EQ(log.Errors[0].first, z.KeptTempFile());
  EXPECT_EQ(log.Errors[0].second, engine::kErrWritingFile);
  EXPECT_EQ(Shell("unzip -t " + Q(z.KeptTempFile())).Status, 0);
}

TEST_F(ZipWriter, ItemsThatCannotBeWrittenAreLeftOutOrKeepTheirOldMember) {
  const fs::path archive = dir / "i.zip";
  WriteText(dir / "src" / "keep.txt", "old content\n");
  {
    engine::TZip z;
    Setup(z, archive, {"keep.txt"});
    ASSERT_EQ(z.Compress(), 1);
  }
  const auto oldMember = Parse(ReadFile(archive))->Members[0];
  // A file too large for the 32-bit fields (sparse, so it costs no disk), a file that is
  // vetoed, and a changed file whose replacement is vetoed: the old member stays.
  {
    std::ofstream(dir / "src" / "huge.bin").close();
    fs::resize_file(dir / "src" / "huge.bin", 0x100000000ull);
  }
  WriteText(dir / "src" / "vetoed.txt", "no\n");
  WriteText(dir / "src" / "keep.txt", "new content, vetoed\n");
  WriteText(dir / "src" / "fine.txt", "yes\n");
  engine::TZip z;
  TLog log;
  log.Attach(z);
  Setup(z, archive, {"*.*"});
  z.Switch = engine::TSwitch::swMove;
  z.OnBegin = [](engine::TZipCommon&, const std::string& fn, int, bool& go) {
    go = fn.find("vetoed") == std::string::npos && fn != "keep.txt";
  };
  EXPECT_EQ(z.Compress(), 1);
  ASSERT_EQ(log.Errors.size(), 1u) << log.Describe();
  EXPECT_NE(log.Errors[0].first.find("huge.bin"), std::string::npos);
  const auto a = Parse(ReadFile(archive));
  ASSERT_TRUE(a);
  ASSERT_EQ(a->Members.size(), 2u);
  EXPECT_EQ(a->Members[0].Local, oldMember.Local);
  EXPECT_EQ(a->Members[1].Name, "fine.txt");
  EXPECT_FALSE(fs::exists(dir / "src" / "fine.txt"));
  EXPECT_TRUE(fs::exists(dir / "src" / "keep.txt"));
  EXPECT_TRUE(fs::exists(dir / "src" / "vetoed.txt"));
  EXPECT_TRUE(fs::exists(dir / "src" / "huge.bin"));
}

TEST_F(ZipWriter, ArchiveInsideTheAddedFolderIsNotAddedToItself) {
  WriteText(dir / "src" / "a.txt", "a\n");
  const fs::path archive = dir / "src" / "self.zip";
  for (int round = 0; round < 2; ++round) {
    engine::TZip z;
    Setup(z, archive, {"*.*"});
    z.Compress();
    const auto a = Parse(ReadFile(archive));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->Members.size(), 1u) << "round " << round;
    EXPECT_EQ(a->Members[0].Name, "a.txt");
  }
}

TEST_F(ZipWriter, ReadSwitchListsMembersAndJarUsesItsExtension) {
  WriteText(dir / "src" / "a.txt", "aaaa\n");
  WriteText(dir / "src" / "sub" / "b.txt", std::string(10000, 'b'));
  engine::TJar jar;
  Setup(jar, dir / "lib", {"*.txt"});
  jar.StoredDirNames = engine::TStoredDirNames::sdRelative;
  ASSERT_EQ(jar.Compress(), 2);
  ASSERT_TRUE(fs::exists(dir / "lib.jar"));

  engine::TZip z;
  z.SetArchiveFile((dir / "missing.zip").string());
  z.Switch = engine::TSwitch::swRead;
  z.SetFileSpec({(dir / "src" / "*.*").string()});
  EXPECT_EQ(z.Compress(), 0);
  EXPECT_FALSE(fs::exists(dir / "missing.zip")) << "listing made an archive";
  z.SetArchiveFile((dir / "lib.jar").string());
  std::vector<std::tuple<std::string, std::int64_t, std::string>> seen;
  z.OnRead = [&](engine::TZipCommon& s, std::int64_t, int) {
    seen.emplace_back(s.Entry.FileName, s.Entry.UnpackedSize, s.Entry.MethodName);
  };
  EXPECT_EQ(z.Compress(), 2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(std::get<0>(seen[0]), "a.txt");
  EXPECT_EQ(std::get<1>(seen[0]), 5);
  EXPECT_EQ(std::get<0>(seen[1]), "sub\\b.txt");
  EXPECT_EQ(std::get<1>(seen[1]), 10000);
  EXPECT_FALSE(std::get<2>(seen[1]).empty());
}

}  // namespace
