// LzhufCoder (-lh1-) decoding of fixture members, and damaged input.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/crc.h"
#include "engine/core/errors.h"
#include "engine/decoders/lzhuf_coder.h"
#include "tests/unit/decoders/lha_test_util.h"

namespace engine {
namespace {

TEST(LzhufCoder, FixtureMembersMatchStoredCrcAndSize) {
  const auto dir = lzhtest::SharedFixtures("lha");
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  int decoded = 0;
  std::uint32_t largest = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto archive = lzhtest::ReadFile(entry.path());
    for (const auto& m : lzhtest::WalkLha(archive)) {
      if (m.method != "-lh1-" || m.truncated) continue;
      SCOPED_TRACE(entry.path().filename().string() + " " + m.name);
      std::vector<std::uint8_t> out;
      const int status = LzhufCoder::DecodeBuffer({archive.data() + m.dataOffset, m.packedSize},
                                                  m.originalSize, out);
      EXPECT_EQ(status, 0) << ErrorText(status);
      ASSERT_EQ(out.size(), m.originalSize);
      EXPECT_EQ(UpdateCrc16(0, out.data(), out.size()), m.crc);
      ++decoded;
      largest = std::max(largest, m.originalSize);
    }
  }
  EXPECT_GE(decoded, 3);
  EXPECT_GE(largest, 65536u) << "the 64 KiB member exercises the frequency halving";
}

TEST(LzhufCoder, TruncatedInputIsAReadError) {
  const auto archive = lzhtest::ReadFile(lzhtest::SharedFixtures("lha") / "lengths_lh1-64k.lzh");
  const auto members = lzhtest::WalkLha(archive);
  if (members.empty() || members[0].method != "-lh1-") GTEST_SKIP() << "fixture missing";
  const auto& m = members[0];
  std::vector<std::uint8_t> out;
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, m.packedSize / 2, m.packedSize - 2}) {
    EXPECT_EQ(LzhufCoder::DecodeBuffer({archive.data() + m.dataOffset, cut}, m.originalSize, out),
              kErrReadingFile)
        << "cut at " << cut;
    EXPECT_LT(out.size(), m.originalSize);
  }
}

}  // namespace
}  // namespace engine
