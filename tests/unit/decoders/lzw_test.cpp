// LzwDecoder (Unix compress .Z) against the fixtures' expected SHA-256, crafted code
// sequences and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "engine/core/errors.h"
#include "engine/decoders/lzw_decoder.h"
#include "tests/unit/decoders/lha_test_util.h"
#include "tests/unit/sha256.h"

namespace engine {
namespace {

// LSB-first code writer; header byte `flags` (max bits | 0x80 block mode).
std::vector<std::uint8_t> Codes(std::uint8_t flags,
                                std::initializer_list<std::pair<unsigned, unsigned>> codes) {
  std::vector<std::uint8_t> out = {0x1F, 0x9D, flags};
  std::uint64_t acc = 0;
  unsigned n = 0;
  for (const auto& [width, code] : codes) {
    acc |= std::uint64_t{code} << n;
    n += width;
    while (n >= 8) {
      out.push_back(static_cast<std::uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n > 0) out.push_back(static_cast<std::uint8_t>(acc));
  return out;
}

std::string AsText(const std::vector<std::uint8_t>& v) { return {v.begin(), v.end()}; }

TEST(LzwDecoder, FixturesMatchExpectedSha256) {
  const auto dir = lzhtest::SharedFixtures("compress");
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string file = entry.path().filename().string();
    std::ifstream expected(lzhtest::SharedFixtures("expected") / "compress" / (file + ".txt"));
    std::string sha;
    std::size_t size = 0;
    if (!(expected >> sha >> size)) continue;
    SCOPED_TRACE(file);
    const auto packed = lzhtest::ReadFile(entry.path());
    // Fed in awkward pieces so group alignment across block boundaries is exercised.
    for (std::size_t piece : {std::size_t{32768}, std::size_t{7}}) {
      std::size_t at = 0;
      std::vector<std::uint8_t> out;
      LzwDecoder decoder;
      const int status = decoder.Decode(
          [&](std::uint8_t* dst, std::size_t cap) {
            const std::size_t n = std::min({piece, cap, packed.size() - at});
            std::memcpy(dst, packed.data() + at, n);
            at += n;
            return n;
          },
          [&](const std::uint8_t* d, std::size_t n) {
            out.insert(out.end(), d, d + n);
            return true;
          });
      EXPECT_EQ(status, 0) << ErrorText(status);
      EXPECT_EQ(out.size(), size);
      EXPECT_EQ(test::Sha256Hex(out), sha) << "piece " << piece;
      EXPECT_EQ(decoder.Consumed(), packed.size());
    }
    ++checked;
  }
  EXPECT_GE(checked, 8);
}

TEST(LzwDecoder, CraftedCodeSequences) {
  struct Row {
    const char* what;
    std::vector<std::uint8_t> stream;
    int status;
    const char* output;
  };
  const Row rows[] = {
      {"KwKwK: the code being defined", Codes(0x90, {{9, 'a'}, {9, 257}}), 0, "aaa"},
      {"string of an earlier entry", Codes(0x90, {{9, 'a'}, {9, 'b'}, {9, 257}, {9, 259}}), 0,
       "abababa"},
      {"no block mode: 256 is a string", Codes(0x10, {{9, 'x'}, {9, 'y'}, {9, 256}}), 0, "xyxy"},
      {"code beyond the next free one", Codes(0x90, {{9, 'a'}, {9, 300}}), kErrCorruptInput, "a"},
      {"first code above 255", Codes(0x90, {{9, 300}}), kErrCorruptInput, ""},
      {"first code after a clear above 255",
       Codes(0x90, {{9, 'a'}, {9, 256}, {9, 0}, {9, 0}, {9, 0}, {9, 0}, {9, 0}, {9, 0}, {9, 258}}),
       kErrCorruptInput, "a"},
      {"flag bits 5-6", {0x1F, 0x9D, 0xB0, 0x61, 0x00}, kErrIncompleteCodeSet, ""},
      {"width above 16", {0x1F, 0x9D, 0x91, 0x61, 0x00}, kErrCorruptInput, ""},
      {"wrong magic", {0x1F, 0x8B, 0x90, 0x61, 0x00}, kErrCorruptInput, ""},
      {"header only", {0x1F, 0x9D, 0x90}, 0, ""},
      {"shorter than the header", {0x1F, 0x9D}, kErrCorruptInput, ""},
  };
  for (const Row& row : rows) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(LzwDecoder::DecodeBuffer(row.stream, out), row.status) << row.what;
    EXPECT_EQ(AsText(out), row.output) << row.what;
  }
}

TEST(LzwDecoder, ClearRestartsAtNineBitsOnAGroupBoundary) {
  // 'a', clear (after two codes of a group of eight, the other six are skipped), then
  // 'b' and 'c' read as 9-bit codes of a fresh table whose first entry is 257.
  const auto stream = Codes(0x90, {{9, 'a'},
                                   {9, 256},
                                   {9, 0},
                                   {9, 0},
                                   {9, 0},
                                   {9, 0},
                                   {9, 0},
                                   {9, 0},
                                   {9, 'b'},
                                   {9, 'c'},
                                   {9, 257}});
  std::vector<std::uint8_t> out;
  EXPECT_EQ(LzwDecoder::DecodeBuffer(stream, out), 0);
  EXPECT_EQ(AsText(out), "abcbc");
}

TEST(LzwDecoder, DamagedFixtureAndOutputLimit) {
  const auto packed = lzhtest::ReadFile(lzhtest::SharedFixtures("compress") / "text_b16.txt.Z");
  if (packed.size() < 100) GTEST_SKIP() << "fixture missing";
  std::vector<std::uint8_t> out;
  EXPECT_EQ(LzwDecoder::DecodeBuffer(packed, out, 1000), kErrWritingFile);
  EXPECT_LE(out.size(), 1000u);
  std::vector<std::uint8_t> damaged = packed;
  int errors = 0;
  for (std::size_t at = 3; at < damaged.size(); at += damaged.size() / 30) {
    damaged[at] ^= 0xFF;
    if (LzwDecoder::DecodeBuffer(damaged, out, 1u << 20) != 0) ++errors;
    damaged[at] ^= 0xFF;
  }
  EXPECT_GT(errors, 0) << "flipped bytes should reach codes beyond the table";
}

}  // namespace
}  // namespace engine
