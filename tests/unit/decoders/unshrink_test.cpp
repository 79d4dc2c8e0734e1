// Unshrinker: the shrunk ZIP fixtures, and hostile code sequences (looping table, bad
// control codes, truncation).
#include "engine/decoders/unshrink.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/core/crc.h"
#include "tests/unit/decoders/codec_test_util.h"

namespace {

using engine::CodecStatus;
using codec_test::BitWriter;
using codec_test::StatusText;
using Bytes = std::vector<std::uint8_t>;

std::vector<codec_test::ZipMember> ShrunkMembers() {
  std::vector<codec_test::ZipMember> found;
  for (const char* file : {"zip/sc_shrink.zip", "zip/oldunzip_shrink.zip", "zip/sc_reduce1.zip"})
    for (auto& m : codec_test::ReadZipMembers(codec_test::FixturePath(file)))
      if (m.method == 1) found.push_back(std::move(m));
  return found;
}

TEST(Unshrink, ShrunkFixturesMatchTheirCrc) {
  const auto members = ShrunkMembers();
  if (members.empty()) GTEST_SKIP() << "no shrunk fixtures under " << TESSALY_SHARED_DIR;
  for (const auto& m : members)
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{32768}}) {
      // With the size known, and without it (the input's end ends the data).
      for (std::uint64_t size : {std::uint64_t{m.unpackedSize}, engine::kNoOutputLimit}) {
        engine::Unshrinker u;
        u.Reset(size);
        engine::MemorySource src(m.data, piece);
        Bytes out;
        engine::VectorSink sink(out);
        const CodecStatus st = u.Decode(src, sink);
        ASSERT_EQ(st, CodecStatus::csEnd) << m.name << ": " << StatusText(st);
        ASSERT_EQ(out.size(), m.unpackedSize) << m.name;
        EXPECT_EQ(engine::Crc32Of(out), m.crc) << m.name;
      }
    }
}

// Codes of the given widths.
Bytes Codes(std::initializer_list<std::pair<unsigned, unsigned>> codes) {
  BitWriter w;
  for (auto [code, bits] : codes) w.Put(code, bits);
  return w.Bytes();
}

TEST(Unshrink, HostileCodeSequencesGiveTheirErrors) {
  struct Case {
    const char* name;
    Bytes data;
    CodecStatus expected;
  };
  const Case cases[] = {
      {"no first code", {}, CodecStatus::csBadBlock},
      {"first code not a byte", Codes({{300, 9}}), CodecStatus::csBadBlock},
      {"control code 256 then 3", Codes({{'a', 9}, {256, 9}, {3, 9}, {'b', 9}}), CodecStatus::csBadBlock},
      {"codes wider than 13 bits",
       Codes({{'a', 9}, {256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12}, {256, 13},
              {1, 13}, {'b', 14}}),
       CodecStatus::csBadBlock},
      // 257 = "aa"; the partial clear frees it (nobody extends it); the next new code takes
      // the freed slot with itself as parent. Spelling it must stop, not loop.
      {"self-referencing code after a partial clear",
       Codes({{'a', 9}, {257, 9}, {256, 9}, {2, 9}, {'b', 9}, {257, 9}, {'c', 9}}), CodecStatus::csStackOverflow},
  };
  for (const auto& c : cases) {
    Bytes out;
    const CodecStatus st = engine::UnshrinkBuffer(c.data, engine::kNoOutputLimit, out);
    EXPECT_EQ(st, c.expected) << c.name << ": " << StatusText(st);
  }
}

TEST(Unshrink, KwKwKAndCodeGrowth) {
  // Each code is read before it exists: the previous string plus its own first byte. The
  // width grows to 10 bits before 259.
  const Bytes data = Codes({{'a', 9}, {257, 9}, {258, 9}, {256, 9}, {1, 9}, {259, 10}, {'z', 10}, {260, 10}});
  Bytes out;
  ASSERT_EQ(engine::UnshrinkBuffer(data, engine::kNoOutputLimit, out), CodecStatus::csEnd);
  // 260 = 259 + 'z' was defined when 'z' came.
  EXPECT_EQ(std::string(out.begin(), out.end()), "a" "aa" "aaa" "aaaa" "z" "aaaaz");
}

TEST(Unshrink, TruncatedDataWithKnownSizeIsBadBlock) {
  const auto members = ShrunkMembers();
  if (members.empty()) GTEST_SKIP() << "no shrunk fixtures under " << TESSALY_SHARED_DIR;
  for (const auto& m : members) {
    Bytes cut(m.data.begin(), m.data.begin() + static_cast<std::ptrdiff_t>(m.data.size() / 2));
    Bytes out;
    const CodecStatus st = engine::UnshrinkBuffer(cut, m.unpackedSize, out);
    EXPECT_EQ(st, CodecStatus::csBadBlock) << m.name << ": " << StatusText(st);
  }
}

TEST(Unshrink, RandomDamageNeverLoopsOrOverflows) {
  const auto members = ShrunkMembers();
  if (members.empty()) GTEST_SKIP() << "no shrunk fixtures under " << TESSALY_SHARED_DIR;
  std::mt19937 rng(11);
  for (const auto& m : members)
    for (int round = 0; round < 60; ++round) {
      Bytes bad = m.data;
      for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      Bytes out;
      const CodecStatus st = engine::UnshrinkBuffer(bad, engine::kNoOutputLimit, out, 1 << 20);
      EXPECT_TRUE(st == CodecStatus::csEnd || st == CodecStatus::csStopped || engine::IsCodecError(st));
    }
}

}  // namespace
