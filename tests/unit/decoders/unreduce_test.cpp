// Unreducer: the reduced ZIP fixtures (factors 1-4) and damaged follower data.
#include "engine/decoders/unreduce.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/core/crc.h"
#include "tests/unit/decoders/codec_test_util.h"

namespace {

using engine::CodecStatus;
using codec_test::BitWriter;
using codec_test::StatusText;
using Bytes = std::vector<std::uint8_t>;

std::vector<codec_test::ZipMember> ReducedMembers() {
  std::vector<codec_test::ZipMember> found;
  for (const char* file : {"zip/sc_reduce1.zip", "zip/sc_reduce2.zip", "zip/sc_reduce3.zip", "zip/sc_reduce4.zip",
                           "zip/oldunzip_reduce4.zip"})
    for (auto& m : codec_test::ReadZipMembers(codec_test::FixturePath(file)))
      if (m.method >= 2 && m.method <= 5) found.push_back(std::move(m));
  return found;
}

TEST(Unreduce, ReducedFixturesMatchTheirCrc) {
  const auto members = ReducedMembers();
  if (members.empty()) GTEST_SKIP() << "no reduced fixtures under " << TESSALY_SHARED_DIR;
  unsigned factors = 0;
  for (const auto& m : members) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{32768}}) {
      engine::Unreducer u;
      u.Reset(m.method - 1u, m.unpackedSize);
      engine::MemorySource src(m.data, piece);
      Bytes out;
      engine::VectorSink sink(out);
      const CodecStatus st = u.Decode(src, sink);
      ASSERT_EQ(st, CodecStatus::csEnd) << m.name << ": " << StatusText(st);
      ASSERT_EQ(out.size(), m.unpackedSize) << m.name;
      EXPECT_EQ(engine::Crc32Of(out), m.crc) << m.name << " method " << m.method;
    }
    factors |= 1u << (m.method - 1);
  }
  EXPECT_EQ(factors, 0x1Eu) << "not every factor 1-4 was exercised";
}

TEST(Unreduce, DamagedDataGivesBadBlock) {
  // Follower sets: none for bytes 255..1, three for byte 0 (2-bit index); then a follower
  // index of 3.
  BitWriter w;
  for (int c = 255; c >= 1; --c) w.Put(0, 6);
  w.Put(3, 6);
  for (char f : {'x', 'y', 'z'}) w.Put(static_cast<std::uint8_t>(f), 8);
  BitWriter good = w;
  w.Put(0, 1);
  w.Put(3, 2);
  Bytes out;
  EXPECT_EQ(engine::UnreduceBuffer(w.Bytes(), 1, 10, out), CodecStatus::csBadBlock);

  // The same sets with a valid index decode; cut short of the size they are Bad block.
  good.Put(0, 1);
  good.Put(2, 2);    // 'z'
  good.Put('!', 8);  // 'z' has no followers: a plain byte without a flag bit
  out.clear();
  EXPECT_EQ(engine::UnreduceBuffer(good.Bytes(), 1, 2, out), CodecStatus::csEnd);
  EXPECT_EQ(std::string(out.begin(), out.end()), "z!");
  out.clear();
  EXPECT_EQ(engine::UnreduceBuffer(good.Bytes(), 1, 5, out), CodecStatus::csBadBlock);
  out.clear();
  const Bytes sets = BitWriter(good).Bytes();
  EXPECT_EQ(engine::UnreduceBuffer(Bytes(sets.begin(), sets.begin() + 20), 1, 5, out), CodecStatus::csBadBlock);
}

TEST(Unreduce, RandomDamageNeverReadsOutsideItsBuffers) {
  const auto members = ReducedMembers();
  if (members.empty()) GTEST_SKIP() << "no reduced fixtures under " << TESSALY_SHARED_DIR;
  std::mt19937 rng(13);
  for (const auto& m : members)
    for (int round = 0; round < 40; ++round) {
      Bytes bad = m.data;
      bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      Bytes out;
      const CodecStatus st = engine::UnreduceBuffer(bad, m.method - 1u, m.unpackedSize, out, 1 << 20);
      EXPECT_TRUE(st == CodecStatus::csEnd || st == CodecStatus::csStopped || engine::IsCodecError(st));
    }
}

}  // namespace
