// DeflateCoder: round trips through an independent inflater (Python's zlib), streaming
// equivalence, and the stored-method choice.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/decoders/inflate.h"
#include "engine/writers/deflate_coder.h"
#include "tests/unit/test_paths.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using engine::DeflateBuffer;
using engine::DeflateCoder;
using engine::TDeflateType;
namespace fs = std::filesystem;

constexpr TDeflateType kAllTypes[] = {TDeflateType::dtDeflateS, TDeflateType::dtDeflateF,
                                      TDeflateType::dtDeflateN, TDeflateType::dtDeflateX};

bool HavePythonZlib() {
  static const bool have = std::system("python3 -c 'import zlib' > /dev/null 2>&1") == 0;
  return have;
}

// Inflates each raw deflate stream with Python's zlib; a stream that does not end exactly
// at its last byte (or fails) gives nullopt.
std::vector<std::optional<Bytes>> InflateWithPython(const std::vector<Bytes>& streams) {
  const fs::path dir = test::TempPath("deflate_python");
  std::vector<std::optional<Bytes>> results(streams.size());
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return results;
  std::string cmd =
      "python3 -c 'import sys,zlib\n"
      "for f in sys.argv[1:]:\n"
      "  d=zlib.decompressobj(-15); r=d.decompress(open(f,\"rb\").read())\n"
      "  if d.eof and not d.unused_data: open(f+\".out\",\"wb\").write(r)\n'";
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const fs::path in = fs::path(dir) / std::to_string(i);
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(streams[i].data()),
               static_cast<std::streamsize>(streams[i].size()));
    cmd += ' ';
    cmd += in.string();
  }
  if (std::system(cmd.c_str()) == 0) {
    for (std::size_t i = 0; i < streams.size(); ++i) {
      const fs::path out = fs::path(dir) / (std::to_string(i) + ".out");
      if (!fs::exists(out)) continue;
      std::ifstream f(out, std::ios::binary);
      results[i] = Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
  }
  fs::remove_all(dir);
  return results;
}

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

// Bytes in which no 3-byte string occurs twice: no match anywhere, every block stored.
Bytes UnrepeatedBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<bool> seen(1 << 24);
  Bytes b = {0, 0};
  while (b.size() < n) {
    const std::uint32_t prefix = (b[b.size() - 2] << 16) | (b[b.size() - 1] << 8);
    std::uint32_t c = rng() & 0xFF;
    while (seen[prefix | c]) c = (c + 1) & 0xFF;  // 256 successors per prefix: never all seen
    seen[prefix | c] = true;
    b.push_back(static_cast<std::uint8_t>(c));
  }
  return b;
}

// English-like text: words from a small vocabulary, so it has matches of every distance.
Bytes Text(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",    "archive ", "member ", "deflate ", "window ",
                                       "of ",     "and ",     "header ", "block ",   "a ",
                                       "stored ", "file ",    "name.\n", "Huffman ", "code "};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const std::string w = kWords[rng() % std::size(kWords)];
    b.insert(b.end(), w.begin(), w.end());
  }
  b.resize(n);
  return b;
}

struct Case {
  const char* name;
  Bytes data;
};

std::vector<Case> RoundTripCases() {
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {0x41}});
  cases.push_back({"zeros 1 MiB", Bytes(1 << 20, 0)});
  // More than the window and than a stored block can hold, with no match anywhere.
  cases.push_back({"70000 unrepeated bytes", UnrepeatedBytes(70000, 7)});
  cases.push_back({"random 200 KB", RandomBytes(200000, 8)});
  cases.push_back({"text 300 KB", Text(300000, 1)});
  // Text, noise and runs in turn, so that blocks of every kind follow each other.
  Bytes mixed;
  for (int i = 0; i < 6; ++i) {
    const Bytes t = Text(40000 + 977 * i, 10 + i);
    const Bytes r = RandomBytes(30000 + 1231 * i, 20 + i);
    mixed.insert(mixed.end(), t.begin(), t.end());
    mixed.insert(mixed.end(), r.begin(), r.end());
    mixed.insert(mixed.end(), 5000 + i, static_cast<std::uint8_t>(i));
  }
  cases.push_back({"text, noise and runs", mixed});
  // A 300-byte period: every match longer than the maximum length.
  Bytes period;
  const Bytes unit = RandomBytes(300, 3);
  while (period.size() < 200000) period.insert(period.end(), unit.begin(), unit.end());
  cases.push_back({"300-byte period", period});
  return cases;
}

TEST(DeflateCoder, RoundTripsAtEveryLevelThroughPythonZlib) {
  if (!HavePythonZlib()) GTEST_SKIP() << "python3 with zlib is not installed";
  const auto cases = RoundTripCases();
  std::vector<Bytes> streams;
  for (const auto& c : cases)
    for (const TDeflateType type : kAllTypes) streams.push_back(DeflateBuffer(c.data, type));
  const auto inflated = InflateWithPython(streams);
  std::size_t k = 0;
  for (const auto& c : cases) {
    for (const TDeflateType type : kAllTypes) {
      SCOPED_TRACE(std::string(c.name) + ", level " + std::to_string(DeflateCoder::LevelOf(type)));
      ASSERT_TRUE(inflated[k].has_value()) << "not a valid, complete raw deflate stream";
      EXPECT_TRUE(*inflated[k] == c.data);
      // Never more than stored blocks cost (5 bytes per block of 32 KiB or more).
      EXPECT_LE(streams[k].size(), c.data.size() + 5 * (c.data.size() / 32768 + 1));
      ++k;
    }
  }
}

// The same cases through the engine's own inflater, which also runs where Python does not.
TEST(DeflateCoder, RoundTripsAtEveryLevelThroughTheEngineInflater) {
  for (const auto& c : RoundTripCases()) {
    for (const TDeflateType type : kAllTypes) {
      SCOPED_TRACE(std::string(c.name) + ", level " + std::to_string(DeflateCoder::LevelOf(type)));
      Bytes back;
      ASSERT_EQ(engine::InflateBuffer(DeflateBuffer(c.data, type), back),
                engine::CodecStatus::csEnd);
      EXPECT_TRUE(back == c.data);
    }
  }
}

TEST(DeflateCoder, CompressesTextAndRunsAndHigherLevelsDoNotLose) {
  const Bytes text = Text(300000, 5);
  const std::size_t s = DeflateBuffer(text, TDeflateType::dtDeflateS).size();
  const std::size_t n = DeflateBuffer(text, TDeflateType::dtDeflateN).size();
  const std::size_t x = DeflateBuffer(text, TDeflateType::dtDeflateX).size();
  EXPECT_LT(s, text.size() / 3);
  EXPECT_LE(n, s);
  EXPECT_LE(x, n);
  // Data without matches leaves in stored blocks, including the block that spans the
  // window's slide (its bytes must not be lost before it is sent).
  const Bytes unrepeated = UnrepeatedBytes(200000, 14);
  for (const TDeflateType type : kAllTypes)
    EXPECT_LE(DeflateBuffer(unrepeated, type).size(), unrepeated.size() + 5 * 12);
  // A megabyte of zeros is 4064 maximum-length matches, about two bits each when every
  // position is hashed (lazy levels); greedy levels jump over long matches and so match at
  // distance 258, nine bits each (as zlib's fast levels do).
  const Bytes zeros(1 << 20, 0);
  EXPECT_LT(DeflateBuffer(zeros, TDeflateType::dtDeflateN).size(), 1500u);
  EXPECT_LT(DeflateBuffer(zeros, TDeflateType::dtDeflateS).size(), 4700u);
}

TEST(DeflateCoder, LevelsOfTheDeflateTypes) {
  EXPECT_EQ(DeflateCoder::LevelOf(TDeflateType::dtDeflateS), 1);
  EXPECT_EQ(DeflateCoder::LevelOf(TDeflateType::dtDeflateF), 2);
  EXPECT_EQ(DeflateCoder::LevelOf(TDeflateType::dtDeflateN), 7);
  EXPECT_EQ(DeflateCoder::LevelOf(TDeflateType::dtDeflateX), 9);
}

// The writer feeds whatever pieces the block layer hands it; the stream must not depend on
// them, and the sink must be called per block, not per piece or byte.
TEST(DeflateCoder, PiecesOfAnySizeGiveTheSameStream) {
  Bytes data = Text(150000, 2);
  const Bytes noise = RandomBytes(60000, 4);
  data.insert(data.end(), noise.begin(), noise.end());
  const Bytes more = Text(90000, 6);
  data.insert(data.end(), more.begin(), more.end());
  for (const TDeflateType type : kAllTypes) {
    const Bytes whole = DeflateBuffer(data, type);
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{32768}}) {
      SCOPED_TRACE("level " + std::to_string(DeflateCoder::LevelOf(type)) + ", pieces of " +
                   std::to_string(piece));
      Bytes out;
      int calls = 0;
      DeflateCoder coder(type, [&](std::span<const std::uint8_t> block) {
        ++calls;
        out.insert(out.end(), block.begin(), block.end());
      });
      for (std::size_t at = 0; at < data.size(); at += piece)
        coder.Write(std::span(data).subspan(at, std::min(piece, data.size() - at)));
      coder.Finish();
      EXPECT_TRUE(out == whole);
      EXPECT_LT(calls, 64);
      EXPECT_EQ(coder.BytesIn(), data.size());
      EXPECT_EQ(coder.BytesOut(), out.size());
    }
  }
}

TEST(DeflateCoder, ResetStartsAFreshMember) {
  const Bytes a = Text(100000, 8);
  const Bytes b = Text(80000, 9);
  Bytes out;
  DeflateCoder coder(TDeflateType::dtDeflateN, [&](std::span<const std::uint8_t> block) {
    out.insert(out.end(), block.begin(), block.end());
  });
  coder.Write(a);
  coder.Finish();
  EXPECT_TRUE(out == DeflateBuffer(a, TDeflateType::dtDeflateN));
  out.clear();
  coder.Reset();
  coder.Write(b);
  coder.Finish();
  EXPECT_TRUE(out == DeflateBuffer(b, TDeflateType::dtDeflateN));
}

Bytes Collect(const Bytes& data, TDeflateType type, bool allowStored, bool& stored) {
  Bytes out;
  DeflateCoder coder(
      type,
      [&](std::span<const std::uint8_t> block) {
        out.insert(out.end(), block.begin(), block.end());
      },
      allowStored);
  coder.Write(data);
  coder.Finish();
  stored = coder.IsStored();
  return out;
}

// Incompressible members: one block whose dynamic code beats the fixed one goes out as the
// plain bytes (method stored) when the container allows it; a short one, where the fixed
// code wins, becomes a deflate stored block; compressible data is never stored.
TEST(DeflateCoder, StoredMethodForIncompressibleSingleBlockMembers) {
  if (!HavePythonZlib()) GTEST_SKIP() << "python3 with zlib is not installed";
  const Bytes noise = RandomBytes(20000, 11);
  // Bytes of 144-255 cost 9 bits each under the fixed code: 100 of them take 113 bytes
  // fixed, while the dynamic header alone outweighs that.
  Bytes small = RandomBytes(100, 12);
  for (auto& c : small) c = static_cast<std::uint8_t>(144 + c % 112);
  const Bytes text = Text(20000, 13);
  for (const TDeflateType type : kAllTypes) {
    SCOPED_TRACE("level " + std::to_string(DeflateCoder::LevelOf(type)));
    bool stored = false;
    EXPECT_TRUE(Collect(noise, type, true, stored) == noise);
    EXPECT_TRUE(stored);

    std::vector<Bytes> streams;
    streams.push_back(Collect(noise, type, false, stored));
    EXPECT_FALSE(stored);
    streams.push_back(Collect(small, type, true, stored));
    EXPECT_FALSE(stored);
    EXPECT_EQ(streams.back().size(), small.size() + 5);  // one stored block
    streams.push_back(Collect(text, type, true, stored));
    EXPECT_FALSE(stored);
    const auto inflated = InflateWithPython(streams);
    ASSERT_TRUE(inflated[0] && inflated[1] && inflated[2]);
    EXPECT_TRUE(*inflated[0] == noise);
    EXPECT_TRUE(*inflated[1] == small);
    EXPECT_TRUE(*inflated[2] == text);
  }
}

}  // namespace
