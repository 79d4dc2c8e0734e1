// CRC-16 and CRC-32: known vectors, block splitting, and agreement with zlib over random data.
#include "engine/core/crc.h"

#include <gtest/gtest.h>

#include <vector>

#include <cstring>
#include <string>

#include "scratch_dir.h"

namespace engine {
namespace {

std::span<const std::uint8_t> Bytes(const char* s) {
  return {reinterpret_cast<const std::uint8_t*>(s), std::strlen(s)};
}

TEST(Crc16, KnownVectors) {
  const auto check = Bytes("123456789");
  EXPECT_EQ(UpdateCrc16(0, check.data(), check.size()), 0xBB3D);
  EXPECT_EQ(UpdateCrc16(0, check.data(), 0), 0);
  // The register carries over between blocks.
  const std::uint16_t first = UpdateCrc16(0, check.data(), 4);
  EXPECT_EQ(UpdateCrc16(first, check.data() + 4, 5), 0xBB3D);
  // Initial value as the caller sets it (the MODBUS variant starts with 0xFFFF).
  EXPECT_EQ(UpdateCrc16(0xFFFF, check.data(), check.size()), 0x4B37);
}

TEST(Crc16, SlicedBlocksMatchTheByteStep) {
  std::vector<std::uint8_t> data(1000);
  std::uint32_t x = 12345;
  for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (std::size_t offset : {0u, 1u, 3u, 7u}) {
    for (std::size_t len : {0u, 7u, 8u, 9u, 64u, 999u - 7u}) {
      std::uint16_t bytewise = 0x1234;
      for (std::size_t i = 0; i < len; ++i)
        bytewise = UpdateCrc16(bytewise, data.data() + offset + i, 1);
      EXPECT_EQ(UpdateCrc16(0x1234, data.data() + offset, len), bytewise) << offset << "+" << len;
    }
  }
}

TEST(Crc32, KnownVectors) {
  EXPECT_EQ(Crc32Of({}), 0u);
  EXPECT_EQ(Crc32Of(Bytes("a")), 0xE8B7BE43u);
  EXPECT_EQ(Crc32Of(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32Of(Bytes("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
  std::vector<std::uint8_t> zeros(32, 0);
  EXPECT_EQ(Crc32Of(zeros), 0x190A55ADu);
  std::vector<std::uint8_t> ones(32, 0xFF);
  EXPECT_EQ(Crc32Of(ones), 0xFF6CAB0Bu);
}

// The sliced and the carry-less multiplication paths agree with the byte step for every
// alignment, length (around the 256-byte switch and the 64-byte fold) and split.
TEST(Crc32, FastPathsMatchByteStep) {
  const auto data = tessaly_test::RandomBytes(4096 + 64, 7);
  for (std::size_t offset = 0; offset < 9; ++offset) {
    for (std::size_t len : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 255u, 256u, 257u, 271u,
                            320u, 511u, 1000u, 1036u, 4096u}) {
      std::uint32_t ref = 0xFFFFFFFFu;
      for (std::size_t i = 0; i < len; ++i) ref = Crc32Step(ref, data[offset + i]);
      EXPECT_EQ(UpdateCrc32(0xFFFFFFFFu, data.data() + offset, len), ref)
          << "offset " << offset << " length " << len;
      const std::size_t cut = len / 3;
      const std::uint32_t split = UpdateCrc32(
          UpdateCrc32(0xFFFFFFFFu, data.data() + offset, cut), data.data() + offset + cut,
          len - cut);
      EXPECT_EQ(split, ref) << "offset " << offset << " length " << len << " split " << cut;
    }
  }
}

// zlib's crc32, reached through python3 or the gzip trailer, is the reference.
TEST(Crc32, AgreesWithZlibOnRandomData) {
  tessaly_test::ScratchDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string file = dir / "random.bin";
  const auto data = tessaly_test::RandomBytes(1 << 20 | 123, 2024);
  tessaly_test::WriteBytes(file, data);
  std::uint32_t expected = 0;
  if (tessaly_test::HaveTool("python3")) {
    auto out = tessaly_test::RunCapture(
        "python3 -c \"import sys,zlib; print(zlib.crc32(open(sys.argv[1],'rb').read()))\" '" +
        file + "'");
    ASSERT_TRUE(out.has_value());
    expected = static_cast<std::uint32_t>(std::stoul(*out));
  } else if (tessaly_test::HaveTool("gzip")) {
    auto out = tessaly_test::RunCapture("gzip -c '" + file + "' > '" + file + ".gz'");
    ASSERT_TRUE(out.has_value());
    const auto gz = tessaly_test::ReadBytes(file + ".gz");
    ASSERT_GE(gz.size(), 8u);
    const std::uint8_t* t = gz.data() + gz.size() - 8;
    expected = t[0] | (t[1] << 8) | (t[2] << 16) | (static_cast<std::uint32_t>(t[3]) << 24);
  } else {
    GTEST_SKIP() << "neither python3 nor gzip is available to compute zlib's CRC-32";
  }
  EXPECT_EQ(Crc32Of(data), expected);
}

}  // namespace
}  // namespace engine
