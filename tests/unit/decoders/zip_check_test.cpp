// The archive test: every fixture passes, damaged copies fail exactly where unzip -t says
// they do, a wrong checksum is a status and not an error.
#include "engine/decoders/zip_check.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "tests/unit/core/scratch_dir.h"
#include "tests/unit/decoders/zip_builder.h"
#include "tests/unit/decoders/zip_test_util.h"

namespace {

using engine::TZipCheck;
using tessaly_test::ReadBytes;
using tessaly_test::ScratchDir;
using tessaly_test::WriteBytes;

struct TCheckResult {
  std::map<std::string, bool> Status;  // member ("/" between folders) -> passed
  std::vector<int> Errors;
  int Count = 0;
  int Failed = 0;
};

std::string Slashed(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

TCheckResult RunCheck(const std::string& archive, const std::string& password) {
  TCheckResult r;
  TZipCheck check;
  check.SetArchiveFile(archive);
  check.SetFileSpec({"*.*"});
  if (!password.empty()) check.Passwords = {password};
  check.OnStatus = [&](TZipCheck&, const std::string& fn, bool pass) { r.Status[Slashed(fn)] = pass; };
  check.OnError = [&](engine::TZipCommon&, const std::string&, const std::string&, const std::string&,
                      int code) { r.Errors.push_back(code); };
  r.Count = check.Test();
  r.Failed = check.FailedCount();
  return r;
}

TEST(ZipCheck, EveryFixturePasses) {
  for (const auto& row : ziptest::ZipFixtureRows()) {
    SCOPED_TRACE(row.Path);
    const TCheckResult r = RunCheck(test::FixturePath(row.Path), row.Password);
    const bool unsupported = row.Path == "zip/zip_bzip2.zip";
    EXPECT_EQ(r.Failed == 0, !unsupported);
    for (const auto& [fn, pass] : r.Status) EXPECT_EQ(pass, !unsupported) << fn;
    EXPECT_EQ(r.Count, static_cast<int>(ziptest::ExpectedFiles(row.Expected).size()));
  }
}

TEST(ZipCheck, WrongChecksumIsOneStatusAndTheTestGoesOn) {
  ScratchDir s;
  ziptest::TMember bad = ziptest::Stored("bad.txt", ziptest::Bytes("bytes"));
  bad.Crc = 1;
  const std::string archive = s / "crc.zip";
  WriteBytes(archive, ziptest::BuildZip({bad, ziptest::Stored("good.txt", ziptest::Bytes("fine"))}));
  const TCheckResult r = RunCheck(archive, "");
  EXPECT_EQ(r.Status, (std::map<std::string, bool>{{"bad.txt", false}, {"good.txt", true}}));
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(r.Failed, 1);
}

TEST(ZipCheck, RefusesKindsItCannotTestAndNeedsOnStatus) {
  TZipCheck check;
  std::vector<int> errors;
  check.OnError = [&](engine::TZipCommon&, const std::string&, const std::string& msgEx,
                      const std::string&, int code) { errors.push_back(code); (void)msgEx; };
  check.SetArchiveFile(test::FixturePath("cab/gcab_none.cab"));
  check.OnStatus = [](TZipCheck&, const std::string&, bool) {};
  EXPECT_EQ(check.Test(), 0);
  check.SetArchiveFile(test::FixturePath("zip/zip_stored.zip"));
  check.OnStatus = nullptr;
  EXPECT_EQ(check.Test(), 0);
  EXPECT_EQ(errors, (std::vector<int>{engine::kErrInvalidArcType, engine::kErrEventNotAssigned}));
}

TEST(ZipCheck, KeepsThePasswordTypedDuringTheTest) {
  ScratchDir s;
  const std::string archive = test::FixturePath("zip/zip_encrypted.zip");
  TZipCheck check;
  check.SetArchiveFile(archive);
  check.SetFileSpec({"*.*"});
  int asked = 0;
  check.OnGetPassword = [&](engine::TZipCommon&, const std::string&, std::string& pw, bool&) {
    ++asked;
    pw = "Secret1";
  };
  int passed = 0;
  check.OnStatus = [&](TZipCheck&, const std::string&, bool pass) { passed += pass; };
  EXPECT_EQ(check.Test(), 2);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(passed, 2);
  EXPECT_EQ(check.Passwords, (std::vector<std::string>{"Secret1"}));
}

// unzip -t's verdict per member: "testing: NAME   OK" lines.
std::map<std::string, bool> UnzipVerdicts(const std::string& archive, const std::string& password,
                                          bool& allOk) {
  const std::string pw = password.empty() ? "" : "-P '" + password + "' ";
  FILE* pipe = popen(("unzip -t " + pw + "'" + archive + "' 2>&1").c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  allOk = pclose(pipe) == 0;
  std::map<std::string, bool> v;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const auto at = line.find("testing: ");
    if (at == std::string::npos) continue;
    std::string rest = line.substr(at + 9);
    const bool ok = rest.size() >= 2 && rest.compare(rest.size() - 2, 2, "OK") == 0;
    std::string name = rest.substr(0, rest.find("  "));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    v[name] = ok;
  }
  return v;
}

// Damaged copies: truncated inside member data, bytes flipped in member data, a broken local
// header. The overall verdict and each member's verdict agree with unzip -t.
TEST(ZipCheck, AgreesWithUnzipOnDamagedArchives) {
  if (!tessaly_test::HaveTool("unzip")) GTEST_SKIP() << "unzip not installed";
  struct TCase {
    const char* fixture;
    const char* password;
  };
  const TCase cases[] = {{"zip/zip_stored.zip", ""},         {"zip/zip_deflate_max.zip", ""},
                         {"zip/zip_7z_deflate.zip", ""},     {"zip/sc_shrink.zip", ""},
                         {"zip/sc_implode.zip", ""},         {"zip/zip_encrypted.zip", "Secret1"},
                         {"zip/zip_encrypted_stored.zip", "Secret1"}};
  ScratchDir s;
  int compared = 0, members = 0;
  for (const TCase& c : cases) {
    const auto good = ReadBytes(test::FixturePath(c.fixture));
    // Where the members' data lies: between the first local header and the directory.
    const std::int64_t cd = engine::ReadLe32(&good[good.size() - 22 + 16]);
    std::vector<std::vector<std::uint8_t>> variants;
    for (int k = 1; k <= 3; ++k) {
      auto v = good;
      v.resize(static_cast<std::size_t>(cd * k / 4));
      variants.push_back(v);
    }
    for (int k = 1; k <= 4; ++k) {
      auto v = good;
      v[static_cast<std::size_t>(40 + (cd - 80) * k / 5)] ^= 0x55;
      variants.push_back(v);
    }
    for (std::size_t i = 0; i < variants.size(); ++i) {
      SCOPED_TRACE(std::string(c.fixture) + " variant " + std::to_string(i));
      const std::string archive = s / "damaged.zip";
      WriteBytes(archive, variants[i]);
      bool unzipOk = false;
      const auto theirs = UnzipVerdicts(archive, c.password, unzipOk);
      const TCheckResult ours = RunCheck(archive, c.password);
      const bool oursOk = ours.Failed == 0 && ours.Errors.empty();
      EXPECT_EQ(oursOk, unzipOk);
      for (const auto& [name, ok] : theirs) {
        const auto it = ours.Status.find(name);
        if (it != ours.Status.end()) EXPECT_EQ(it->second, ok) << name;
        else EXPECT_FALSE(ok) << name << " passed unzip but was not tested";
        ++members;
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared, 49);
  EXPECT_GT(members, 50);
}

}  // namespace
