// bzip2 stream wrapper: round trips, concatenated streams and library errors.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "tests/unit/fixture_check.h"
#include "zipbridge/bzip2.h"

namespace {

using engine::TMemoryStream;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Bzip2, RoundTripsAcrossBufferSizes) {
  std::mt19937 rng(7);
  struct TCase {
    std::size_t size;
    bool random;
    int block, buffer;
  } cases[] = {{0, false, 1, 32}, {1, false, 1, 1}, {900000, true, 9, 32}, {300000, false, 1, 1}};
  for (const auto& c : cases) {
    std::vector<std::uint8_t> data(c.size);
    for (auto& b : data) b = c.random ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>('a' + rng() % 3);
    zipbridge::Tbzip2 bz;
    bz.SetBlockSize(c.block);
    bz.SetBufferSize(c.buffer);
    TMemoryStream src(data), packed, back;
    bz.CompressStream(src, packed);
    ASSERT_GE(packed.Data().size(), 4u);
    EXPECT_EQ(packed.Data()[0], 'B');
    bz.DecompressStream(packed, back);
    EXPECT_EQ(back.Data(), data) << c.size;
  }
}

TEST(Bzip2, SettersIgnoreOutOfRange) {
  zipbridge::Tbzip2 bz;
  bz.SetBlockSize(0);
  bz.SetBlockSize(10);
  EXPECT_EQ(bz.BlockSize(), 1);
  bz.SetBufferSize(5000);
  EXPECT_EQ(bz.BufferSize(), 32);
}

TEST(Bzip2, FixturesDecompressToExpectedContent) {
  for (const char* f : {"bzip2/text.txt.bz2", "bzip2/big.dat.bz2", "bzip2/multi_stream.bz2",
                        "bzip2/archive.tar.bz2"}) {
    TMemoryStream src(FileBytes(test::FixturePath(f))), out;
    zipbridge::Tbzip2 bz;
    bz.DecompressStream(src, out);
    const auto expected = test::ReadExpected(f);
    ASSERT_EQ(expected.size(), 1u) << f;
    EXPECT_EQ(static_cast<std::int64_t>(out.Data().size()), expected[0].size) << f;
    EXPECT_EQ(test::Sha256Hex(out.Data()), expected[0].sha256) << f;
  }
}

TEST(Bzip2, ErrorsAreNamed) {
  zipbridge::Tbzip2 bz;
  std::string text = "this is not bzip2 data at all";
  TMemoryStream src(std::vector<std::uint8_t>(text.begin(), text.end())), out;
  try {
    bz.DecompressStream(src, out);
    FAIL();
  } catch (const zipbridge::EBzip2& e) {
    EXPECT_STREQ(e.what(), "BZ_DATA_ERROR_MAGIC");
  }
  // A stream cut short.
  TMemoryStream plain(std::vector<std::uint8_t>(200000, 'x')), packed;
  bz.CompressStream(plain, packed);
  packed.Data().resize(packed.Data().size() / 2);
  TMemoryStream back;
  EXPECT_THROW(bz.DecompressStream(packed, back), zipbridge::EBzip2);
}

}  // namespace
