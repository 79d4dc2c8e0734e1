// LzhBlockDecoder (-lh4- to -lh7-) and the LArc -lz5-/-lzs- decoder against fixture
// archives (stored CRC-16 and size), crafted streams and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/core/crc.h"
#include "engine/core/errors.h"
#include "engine/decoders/larc_decoder.h"
#include "engine/decoders/lzh_block_decoder.h"
#include "tests/unit/decoders/lha_test_util.h"

namespace engine {
namespace {

using lzhtest::BitWriter;
using lzhtest::LhaMember;

std::span<const std::uint8_t> Packed(const std::vector<std::uint8_t>& a, const LhaMember& m) {
  return {a.data() + m.dataOffset, m.packedSize};
}

// Decodes one member with the codec its method names; nullopt for methods not covered here.
std::optional<int> DecodeMember(const std::vector<std::uint8_t>& a, const LhaMember& m,
                                std::vector<std::uint8_t>& out) {
  if (const LzhParams* p = LzhParamsForMethod(m.method.c_str())) {
    return LzhBlockDecoder::DecodeBuffer(*p, Packed(a, m), m.originalSize, out);
  }
  if (m.method == "-lz5-") {
    return LArcDecoder::DecodeBuffer(TLArcMethod::lmLz5, Packed(a, m), m.originalSize, out);
  }
  if (m.method == "-lzs-") {
    return LArcDecoder::DecodeBuffer(TLArcMethod::lmLzs, Packed(a, m), m.originalSize, out);
  }
  return std::nullopt;
}

TEST(LzhBlockDecoder, FixtureMembersMatchStoredCrcAndSize) {
  const auto dir = lzhtest::SharedFixtures("lha");
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no fixtures at " << dir;
  std::map<std::string, int> decoded;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string file = entry.path().filename().string();
    // LHARK labels its own, different format "-lh7-".
    if (file == "lhark04d_lh7.lzh") continue;
    const auto archive = lzhtest::ReadFile(entry.path());
    for (const LhaMember& m : lzhtest::WalkLha(archive)) {
      std::vector<std::uint8_t> out;
      const auto status = DecodeMember(archive, m, out);
      if (!status || m.truncated) continue;
      SCOPED_TRACE(file + " " + m.name + " " + m.method);
      EXPECT_EQ(*status, 0) << ErrorText(*status);
      ASSERT_EQ(out.size(), m.originalSize);
      EXPECT_EQ(UpdateCrc16(0, out.data(), out.size()), m.crc);
      ++decoded[m.method];
    }
  }
  for (const char* method : {"-lh4-", "-lh5-", "-lh6-", "-lh7-", "-lz5-", "-lzs-"}) {
    EXPECT_GE(decoded[method], 1) << "no fixture member decoded with " << method;
  }
}

// First member of `file` with the given method.
std::optional<std::pair<std::vector<std::uint8_t>, LhaMember>> LoadMember(const char* file) {
  auto archive = lzhtest::ReadFile(lzhtest::SharedFixtures("lha") / file);
  const auto members = lzhtest::WalkLha(archive);
  for (const LhaMember& m : members) {
    if (m.originalSize > 0 && LzhParamsForMethod(m.method.c_str())) return std::pair{archive, m};
  }
  return std::nullopt;
}

TEST(LzhBlockDecoder, InputInAwkwardPiecesGivesTheSameBytes) {
  for (const char* file : {"unix114i_h1_lh5.lzh", "unix114i_h1_lh6.lzh", "libarchive_lh7.lzh"}) {
    SCOPED_TRACE(file);
    const auto loaded = LoadMember(file);
    if (!loaded) GTEST_SKIP() << "fixture missing: " << file;
    const auto& [archive, m] = *loaded;
    std::vector<std::uint8_t> whole;
    ASSERT_EQ(LzhBlockDecoder::DecodeBuffer(*LzhParamsForMethod(m.method.c_str()),
                                            Packed(archive, m), m.originalSize, whole),
              0);
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      std::size_t at = 0;
      const auto packed = Packed(archive, m);
      MsbBitReader in([&](std::uint8_t* dst, std::size_t cap) {
        const std::size_t n = std::min({piece, cap, packed.size() - at});
        std::memcpy(dst, packed.data() + at, n);
        at += n;
        return n;
      });
      std::vector<std::uint8_t> out;
      std::size_t calls = 0;
      LzhBlockDecoder decoder(*LzhParamsForMethod(m.method.c_str()));
      auto window = decoder.MakeWindow([&](const std::uint8_t* d, std::size_t n) {
        ++calls;
        out.insert(out.end(), d, d + n);
        return true;
      });
      EXPECT_EQ(decoder.Decode(in, *window, m.originalSize), 0) << "piece " << piece;
      EXPECT_EQ(out, whole) << "piece " << piece;
      EXPECT_LE(calls, m.originalSize / window->Size() + 1);
    }
  }
}

// A block whose three codes are single symbols sent with count 0: every literal/length
// lookup is the match symbol `cSymbol` and every position lookup is `j`, both taking no
// bits; each symbol then costs only its j-1 extra distance bits.
std::vector<std::uint8_t> ConstantBlock(const LzhParams& p, unsigned symbols, unsigned cSymbol,
                                        unsigned j, unsigned extra) {
  BitWriter w;
  w.Put(16, symbols);
  w.Put(5, 0);
  w.Put(5, 0);
  w.Put(9, 0);
  w.Put(9, cSymbol);
  w.Put(p.positionBits, 0);
  w.Put(p.positionBits, j);
  for (unsigned i = 0; i < symbols; ++i) w.Put(j - 1, extra);
  return w.Finish();
}

// lhasa 0.3.1 extracts such streams (the whole history copied before any byte is
// written) as spaces: the history starts filled with 0x20.
TEST(LzhBlockDecoder, HistoryBeforeTheFirstByteIsSpaces) {
  struct Row {
    LzhParams params;
    unsigned dictBits;
  };
  for (const Row& row : {Row{kLzhLh5, 13}, Row{kLzhLh6, 15}, Row{kLzhLh7, 16}}) {
    const unsigned history = 1u << row.dictBits;
    const unsigned j = row.dictBits;  // distance 2^(j-1) + all-ones extra = history - 1
    const auto stream = ConstantBlock(row.params, history / 256, 509, j, (1u << (j - 1)) - 1);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzhBlockDecoder::DecodeBuffer(row.params, stream, history, out), 0);
    ASSERT_EQ(out.size(), history);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == ' '; }))
        << "dict bits " << row.dictBits;
  }
}

TEST(LzhBlockDecoder, ConstantCodesAndClippedLastMatch) {
  // Literal 'A' as the only symbol: 1000 bytes from a handful of input bytes.
  BitWriter w;
  w.Put(16, 1000);
  w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'A'), w.Put(4, 0), w.Put(4, 0);
  std::vector<std::uint8_t> out;
  ASSERT_EQ(LzhBlockDecoder::DecodeBuffer(kLzhLh5, w.Finish(), 1000, out), 0);
  EXPECT_EQ(out, std::vector<std::uint8_t>(1000, 'A'));
  // Matches of 256 copying from two bytes back (j = 1), the second cut at 300 bytes.
  const auto stream = ConstantBlock(kLzhLh5, 2, 509, 1, 0);
  ASSERT_EQ(LzhBlockDecoder::DecodeBuffer(kLzhLh5, stream, 300, out), 0);
  EXPECT_EQ(out.size(), 300u);
}

TEST(LzhBlockDecoder, HostileTablesAreErrorsNotCrashes) {
  struct Row {
    const char* what;
    std::vector<std::uint8_t> stream;
    int expected;
  };
  std::vector<Row> rows;
  {
    BitWriter w;  // 20 code-length lengths, more than the 19 symbols
    w.Put(16, 1), w.Put(5, 20);
    rows.push_back({"pt count 20", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // constant literal/length symbol 510 is outside the alphabet
    w.Put(16, 1), w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 510);
    rows.push_back({"c constant 510", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // constant position code 14 for -lh5- (codes 0..13)
    w.Put(16, 1), w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'x'), w.Put(4, 0), w.Put(4, 14);
    rows.push_back({"p constant 14", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // three code-length lengths of 1: over-subscribed
    w.Put(16, 1), w.Put(5, 3), w.Put(3, 1), w.Put(3, 1), w.Put(3, 1), w.Put(2, 0);
    rows.push_back({"oversubscribed", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // one length of 1: incomplete
    w.Put(16, 1), w.Put(5, 1), w.Put(3, 1);
    rows.push_back({"incomplete", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // a length of 7 followed by eleven 1-bits: 18, above 16
    w.Put(16, 1), w.Put(5, 1), w.Put(3, 7), w.Put(11, 0x7FF), w.Put(1, 0);
    rows.push_back({"length 18", w.Finish(), kErrBadHuffmanCode});
  }
  {
    BitWriter w;  // a block of 1 symbol, then a zero block count before the size is reached
    w.Put(16, 1), w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'A'), w.Put(4, 0), w.Put(4, 0);
    w.Put(16, 0);
    rows.push_back({"zero block count", w.Finish(), kErrCorruptInput});
  }
  rows.push_back({"empty input", {}, kErrReadingFile});
  for (const Row& row : rows) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(LzhBlockDecoder::DecodeBuffer(kLzhLh5, row.stream, 100, out), row.expected)
        << row.what;
  }
}

TEST(LzhBlockDecoder, TruncatedAndFlippedFixturesFailCleanly) {
  for (const char* file : {"unix114i_h1_lh5.lzh", "unix114i_h2_lh7.lzh", "amiga122_lh4.lzh"}) {
    const auto loaded = LoadMember(file);
    if (!loaded) GTEST_SKIP() << "fixture missing: " << file;
    const auto& [archive, m] = *loaded;
    const LzhParams& params = *LzhParamsForMethod(m.method.c_str());
    const auto packed = Packed(archive, m);
    std::vector<std::uint8_t> out;
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{1}, std::size_t{5}, packed.size() / 2, packed.size() - 1}) {
      const int status =
          LzhBlockDecoder::DecodeBuffer(params, packed.first(cut), m.originalSize, out);
      EXPECT_NE(status, 0) << file << " cut at " << cut;
      EXPECT_LE(out.size(), m.originalSize);
    }
    std::vector<std::uint8_t> damaged(packed.begin(), packed.end());
    for (std::size_t at = 0; at < damaged.size(); at += 1 + damaged.size() / 40) {
      damaged[at] ^= 0x5A;
      const int status = LzhBlockDecoder::DecodeBuffer(params, damaged, m.originalSize, out);
      // Damage is either detected by the decoder or left to the CRC.
      EXPECT_TRUE(status != 0 || out.size() == m.originalSize) << file << " flip at " << at;
      damaged[at] ^= 0x5A;
    }
  }
  // The fixture archive cut short by its maker.
  const auto archive =
      lzhtest::ReadFile(lzhtest::SharedFixtures("lha") / "regression_truncated.lzh");
  const auto members = lzhtest::WalkLha(archive);
  ASSERT_FALSE(members.empty());
  EXPECT_TRUE(members.back().truncated);
  std::vector<std::uint8_t> out;
  EXPECT_NE(DecodeMember(archive, members.back(), out).value_or(0), 0);
}

TEST(LzhBlockDecoder, SinkFailureIsAWriteError) {
  const auto stream = ConstantBlock(kLzhLh5, 1000, 509, 1, 0);
  LzhBlockDecoder decoder(kLzhLh5);
  MsbBitReader in(stream);
  auto window = decoder.MakeWindow([](const std::uint8_t*, std::size_t) { return false; });
  EXPECT_EQ(decoder.Decode(in, *window, 200000), kErrWritingFile);
}

}  // namespace
}  // namespace engine
