// The PKWARE cipher against members encrypted by zip and 7-Zip, its own header round trip,
// and the ARJ garble against a member garbled by arj.
#include "engine/core/cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/core/crc.h"
#include "scratch_dir.h"

namespace engine {
namespace {

using tessaly_test::HaveTool;
using tessaly_test::ReadBytes;
using tessaly_test::RunCapture;
using tessaly_test::ScratchDir;
using tessaly_test::WriteBytes;

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

const std::vector<std::uint8_t> kPlain = [] {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Line " + std::to_string(i) + " of the stored member.\n";
  return std::vector<std::uint8_t>(text.begin(), text.end());
}();

// The first member of a ZIP file: flags, DOS date-time, CRC and the encrypted bytes.
struct ZipMember {
  std::uint16_t flags = 0;
  std::uint32_t dosDateTime = 0;
  std::uint32_t crc = 0;
  std::uint8_t header[12] = {};
  std::vector<std::uint8_t> data;
};

ZipMember FirstMember(const std::vector<std::uint8_t>& zip, std::size_t plainSize) {
  ZipMember m;
  EXPECT_EQ(Le32(zip, 0), 0x04034B50u);
  m.flags = Le16(zip, 6);
  EXPECT_EQ(Le16(zip, 8), 0) << "the member should be stored";
  m.dosDateTime = Le16(zip, 10) | (static_cast<std::uint32_t>(Le16(zip, 12)) << 16);
  m.crc = Le32(zip, 14);
  std::size_t at = 30 + Le16(zip, 26) + Le16(zip, 28);
  for (int i = 0; i < 12; ++i) m.header[i] = zip.at(at + i);
  at += 12;
  m.data.assign(zip.begin() + static_cast<std::ptrdiff_t>(at),
                zip.begin() + static_cast<std::ptrdiff_t>(at + plainSize));
  return m;
}

// Checks a member encrypted with "secret": the header check, the decrypted data, and that a
// wrong password is refused (a 1-in-256 header match is allowed only if the data then
// comes out wrong, as it must).
void CheckMember(const ZipMember& m) {
  TPkCipher cipher;
  ASSERT_TRUE(cipher.CheckCryptHeader(m.header, m.flags, "secret", m.dosDateTime, m.crc));
  std::vector<std::uint8_t> data = m.data;
  cipher.DecryptBlock(data.data(), data.size());
  EXPECT_EQ(data, kPlain);
  EXPECT_EQ(Crc32Of(data), Crc32Of(kPlain));

  for (const char* wrong : {"wrong", "Secret", "secret "}) {
    TPkCipher other;
    if (other.CheckCryptHeader(m.header, m.flags, wrong, m.dosDateTime, m.crc)) {
      std::vector<std::uint8_t> bad = m.data;
      other.DecryptBlock(bad.data(), bad.size());
      EXPECT_NE(bad, kPlain) << wrong;
    }
  }
  // The header is read from a copy: the right password still works after wrong ones.
  EXPECT_TRUE(cipher.CheckCryptHeader(m.header, m.flags, "secret", m.dosDateTime, m.crc));
}

TEST(PkCipher, OpensMemberMadeByZip) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  ScratchDir dir;
  WriteBytes(dir / "member.txt", kPlain);
  ASSERT_TRUE(RunCapture("cd '" + dir.Path() + "' && zip -q -0 -P secret x.zip member.txt"));
  const ZipMember m = FirstMember(ReadBytes(dir / "x.zip"), kPlain.size());
  ASSERT_TRUE(m.flags & 1);
  // zip announces a data descriptor, so the check byte comes from the DOS time.
  EXPECT_TRUE(m.flags & 8);
  CheckMember(m);
}

TEST(PkCipher, OpensMemberMadeBy7Zip) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  ScratchDir dir;
  WriteBytes(dir / "member.txt", kPlain);
  ASSERT_TRUE(RunCapture("cd '" + dir.Path() +
                         "' && 7zz a -tzip -psecret -mem=ZipCrypto -mx0 x.zip member.txt"));
  const ZipMember m = FirstMember(ReadBytes(dir / "x.zip"), kPlain.size());
  ASSERT_TRUE(m.flags & 1);
  // Without a data descriptor the check byte is the CRC's high byte.
  EXPECT_FALSE(m.flags & 8);
  CheckMember(m);
}

TEST(PkCipher, EmptyPasswordFailsWithoutTouchingTheKeys) {
  TPkCipher cipher;
  cipher.InitKeys("abc");
  const std::uint32_t k0 = cipher.Key(0), k1 = cipher.Key(1), k2 = cipher.Key(2);
  const std::uint8_t header[12] = {};
  for (std::uint16_t flags : {0, 8})
    for (std::uint32_t crc : {0u, 0xFFFFFFFFu})
      EXPECT_FALSE(cipher.CheckCryptHeader(header, flags, "", crc, crc));
  EXPECT_EQ(cipher.Key(0), k0);
  EXPECT_EQ(cipher.Key(1), k1);
  EXPECT_EQ(cipher.Key(2), k2);
}

TEST(PkCipher, OwnHeaderAndDataRoundTrip) {
  const std::uint32_t crc = Crc32Of(kPlain);
  TPkCipher writer;
  const auto header = writer.MakeCryptHeader("pass word", crc);
  std::vector<std::uint8_t> data = kPlain;
  writer.EncryptBlock(data.data(), data.size());
  EXPECT_NE(data, kPlain);

  std::uint8_t h[12];
  std::copy(header.begin(), header.end(), h);
  TPkCipher reader;
  ASSERT_TRUE(reader.CheckCryptHeader(h, 0, "pass word", 0, crc));
  // Byte-wise and block-wise decryption agree and restore the data.
  TPkCipher byteReader = reader;
  std::vector<std::uint8_t> bytewise(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) bytewise[i] = byteReader.Decrypt(data[i]);
  reader.DecryptBlock(data.data(), data.size());
  EXPECT_EQ(data, kPlain);
  EXPECT_EQ(bytewise, kPlain);

  // Two headers for the same member differ in their random part.
  TPkCipher again;
  EXPECT_NE(again.MakeCryptHeader("pass word", crc), header);
}

TEST(PkCipher, InitKeysFollowsThePublishedKeySchedule) {
  TPkCipher cipher;
  cipher.InitKeys("");
  EXPECT_EQ(cipher.Key(0), 0x12345678u);
  EXPECT_EQ(cipher.Key(1), 0x23456789u);
  EXPECT_EQ(cipher.Key(2), 0x34567890u);
  // One step by hand: key0 is a CRC-32 step, key1 the linear congruence, key2 a CRC step.
  cipher.UpdateKeys('a');
  const std::uint32_t k0 = Crc32Step(0x12345678u, 'a');
  const std::uint32_t k1 = (0x23456789u + (k0 & 0xFF)) * 134775813u + 1;
  EXPECT_EQ(cipher.Key(0), k0);
  EXPECT_EQ(cipher.Key(1), k1);
  EXPECT_EQ(cipher.Key(2), Crc32Step(0x34567890u, static_cast<std::uint8_t>(k1 >> 24)));
}

TEST(ArjGarble, DecryptsStoredMemberMadeByArj) {
  if (!HaveTool("arj")) GTEST_SKIP() << "arj is not installed";
  ScratchDir dir;
  WriteBytes(dir / "member.txt", kPlain);
  ASSERT_TRUE(RunCapture("cd '" + dir.Path() + "' && arj a -y -m0 -gsecret x.arj member.txt"));
  const auto arj = ReadBytes(dir / "x.arj");
  // Main header, then the member's: id 0xEA60, basic header size, basic header, CRC-32,
  // extended headers (a zero size ends them).
  auto skipHeader = [&](std::size_t at) {
    EXPECT_EQ(Le16(arj, at), 0xEA60);
    at += 4 + Le16(arj, at + 2) + 4;
    while (std::uint16_t ext = Le16(arj, at)) at += 2 + ext + 4;
    return at + 2;
  };
  const std::size_t member = skipHeader(0);
  const std::size_t basic = member + 4;
  const std::uint8_t flags = arj.at(basic + 4), method = arj.at(basic + 5);
  const std::uint8_t modifier = arj.at(basic + 7);
  const std::uint32_t packed = Le32(arj, basic + 12);
  ASSERT_TRUE(flags & 1) << "member not garbled";
  ASSERT_EQ(method, 0);
  ASSERT_EQ(packed, kPlain.size());
  const std::size_t data = skipHeader(member);

  // The key is the password with the header's modifier added to each character.
  std::string key = "secret";
  for (char& c : key) c = static_cast<char>(static_cast<std::uint8_t>(c) + modifier);
  std::vector<std::uint8_t> bytes(arj.begin() + static_cast<std::ptrdiff_t>(data),
                                  arj.begin() + static_cast<std::ptrdiff_t>(data + packed));
  TArjGarble garble;
  garble.Reset(key);
  // Blocks of odd sizes: the key position carries over.
  std::size_t at = 0;
  for (std::size_t step : {1u, 4u, 7u, 100u}) {
    const std::size_t n = std::min(step, bytes.size() - at);
    garble.Apply(bytes.data() + at, n);
    at += n;
  }
  garble.Apply(bytes.data() + at, bytes.size() - at);
  EXPECT_EQ(bytes, kPlain);
  EXPECT_EQ(Crc32Of(bytes), Le32(arj, basic + 20));

  // Reset starts the key again at its first character.
  std::vector<std::uint8_t> again(arj.begin() + static_cast<std::ptrdiff_t>(data),
                                  arj.begin() + static_cast<std::ptrdiff_t>(data + packed));
  garble.Reset(key);
  garble.Apply(again.data(), again.size());
  EXPECT_EQ(again, kPlain);
}

}  // namespace
}  // namespace engine
