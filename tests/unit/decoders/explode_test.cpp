// Exploder: the imploded ZIP fixtures (2 and 3 trees, 4 and 8 KiB windows) and damaged trees.
#include "engine/decoders/explode.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/core/crc.h"
#include "tests/unit/decoders/codec_test_util.h"

namespace {

using engine::CodecStatus;
using codec_test::StatusText;
using Bytes = std::vector<std::uint8_t>;

CodecStatus Explode(const codec_test::ZipMember& m, std::size_t piece, Bytes& out, std::uint64_t size) {
  engine::Exploder exploder;
  exploder.Reset(m.flags, size);
  engine::MemorySource src(m.data, piece);
  engine::VectorSink sink(out);
  return exploder.Decode(src, sink);
}

std::vector<codec_test::ZipMember> ImplodedMembers() {
  std::vector<codec_test::ZipMember> found;
  for (const char* file : {"zip/sc_implode.zip", "zip/oldunzip_implode.zip"})
    for (auto& m : codec_test::ReadZipMembers(codec_test::FixturePath(file)))
      if (m.method == 6) found.push_back(std::move(m));
  return found;
}

TEST(Explode, ImplodedFixturesMatchTheirCrc) {
  const auto members = ImplodedMembers();
  if (members.empty()) GTEST_SKIP() << "no imploded fixtures under " << TESSALY_SHARED_DIR;
  unsigned shapes = 0;  // which flag combinations were seen
  for (const auto& m : members) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{32768}}) {
      Bytes out;
      const CodecStatus st = Explode(m, piece, out, m.unpackedSize);
      ASSERT_EQ(st, CodecStatus::csEnd) << m.name << ": " << StatusText(st);
      ASSERT_EQ(out.size(), m.unpackedSize) << m.name;
      EXPECT_EQ(engine::Crc32Of(out), m.crc) << m.name << " flags " << m.flags;
    }
    shapes |= 1u << ((m.flags >> 1) & 3);
  }
  EXPECT_TRUE(shapes & 1) << "no 4 KiB / two-tree member";
  EXPECT_TRUE(shapes & 8) << "no 8 KiB / three-tree member";
}

TEST(Explode, TruncatedDataIsBadBlock) {
  const auto members = ImplodedMembers();
  if (members.empty()) GTEST_SKIP() << "no imploded fixtures under " << TESSALY_SHARED_DIR;
  for (const auto& m : members) {
    for (std::size_t keep : {std::size_t{0}, std::size_t{1}, m.data.size() / 3, m.data.size() - 1}) {
      codec_test::ZipMember cut = m;
      cut.data.resize(keep);
      Bytes out;
      const CodecStatus st = Explode(cut, 4096, out, m.unpackedSize);
      EXPECT_EQ(st, CodecStatus::csBadBlock) << m.name << " cut to " << keep << ": " << StatusText(st);
    }
  }
}

TEST(Explode, DamagedTreesGiveTheirErrors) {
  struct Case {
    const char* name;
    Bytes data;
    CodecStatus expected;
  };
  const Case cases[] = {
      // Length tree: 4 entries of 16 codes of 1 bit: far more codes than patterns.
      {"over-subscribed", {3, 0xF0, 0xF0, 0xF0, 0xF0}, CodecStatus::csAmbiguousTree},
      // 64 codes of 16 bits leave most patterns unused.
      {"incomplete", {3, 0xFF, 0xFF, 0xFF, 0xFF}, CodecStatus::csBadBlock},
      // 5 entries of 16 describe 80 lengths for a 64-symbol tree.
      {"too many lengths", {4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}, CodecStatus::csBadBlock},
      // 2 entries of 16 describe only 32.
      {"too few lengths", {1, 0xF5, 0xF5}, CodecStatus::csBadBlock},
      {"cut inside the tree", {3, 0xF5}, CodecStatus::csBadBlock},
  };
  for (const auto& c : cases) {
    Bytes out;
    const CodecStatus st = engine::ExplodeBuffer(c.data, 0, 100, out);
    EXPECT_EQ(st, c.expected) << c.name << ": " << StatusText(st);
  }
}

TEST(Explode, RandomDamageNeverReadsOutsideItsBuffers) {
  const auto members = ImplodedMembers();
  if (members.empty()) GTEST_SKIP() << "no imploded fixtures under " << TESSALY_SHARED_DIR;
  std::mt19937 rng(5);
  for (const auto& m : members)
    for (int round = 0; round < 60; ++round) {
      Bytes bad = m.data;
      bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      Bytes out;
      const CodecStatus st = engine::ExplodeBuffer(bad, m.flags, round % 3 ? m.unpackedSize : engine::kNoOutputLimit,
                                                   out, 1 << 20);
      EXPECT_TRUE(st == CodecStatus::csEnd || st == CodecStatus::csStopped || engine::IsCodecError(st));
    }
}

}  // namespace
