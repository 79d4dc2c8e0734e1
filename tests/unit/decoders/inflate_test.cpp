// Inflater: differential tests against zlib streams, hand-made hostile streams, awkward input
// pieces, and the ZIP deflate / Deflate64 fixtures.
#include "engine/decoders/inflate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/core/crc.h"
#include "tests/unit/decoders/codec_test_util.h"

namespace {

namespace fs = std::filesystem;
using engine::CodecStatus;
using engine::Inflater;
using codec_test::BitWriter;
using codec_test::StatusText;
using Bytes = std::vector<std::uint8_t>;

CodecStatus InflatePieces(const Bytes& in, std::size_t piece, Bytes& out, bool deflate64 = false) {
  Inflater inflater(deflate64);
  engine::MemorySource src(in, piece);
  engine::VectorSink sink(out);
  return inflater.Decode(src, sink);
}

// ---- Differential: streams made by zlib (through python3) at several levels and strategies.

struct DataSet {
  const char* name;
  Bytes data;
};

std::vector<DataSet> MakeDataSets() {
  std::mt19937 rng(12345);
  std::vector<DataSet> sets;
  {
    static const char* const kWords[] = {"the ",   "archive ", "window ", "of ",  "deflate ", "and ",  "a ",
                                         "block ", "tree ",    "to ",     "code ", "length\n", "bits, ", "is "};
    Bytes text;
    while (text.size() < 300000) {
      const char* w = kWords[rng() % std::size(kWords)];
      text.insert(text.end(), w, w + std::strlen(w));
    }
    sets.push_back({"text", std::move(text)});
  }
  {
    Bytes random(100000);
    for (auto& b : random) b = static_cast<std::uint8_t>(rng());
    sets.push_back({"random", std::move(random)});
  }
  {
    // Runs and short periods (distances 1-7 overlap their own output).
    Bytes runs;
    while (runs.size() < 200000) {
      const unsigned period = 1 + rng() % 7, reps = 3 + rng() % 300;
      Bytes unit(period);
      for (auto& b : unit) b = static_cast<std::uint8_t>(rng() % 4);
      for (unsigned r = 0; r < reps; ++r) runs.insert(runs.end(), unit.begin(), unit.end());
      for (unsigned r = rng() % 20; r > 0; --r) runs.push_back(static_cast<std::uint8_t>(rng()));
    }
    sets.push_back({"runs", std::move(runs)});
  }
  sets.push_back({"empty", {}});
  sets.push_back({"one", {'x'}});
  return sets;
}

// Variant name -> python expression building the compressor; "sync" also flushes every
// 10007 bytes (empty stored blocks, byte alignment mid-stream).
const std::pair<const char*, const char*> kVariants[] = {
    {"l0", "zlib.compressobj(0, 8, -15)"},
    {"l1", "zlib.compressobj(1, 8, -15)"},
    {"l6", "zlib.compressobj(6, 8, -15)"},
    {"l9", "zlib.compressobj(9, 8, -15)"},
    {"filtered", "zlib.compressobj(6, 8, -15, 8, zlib.Z_FILTERED)"},
    {"huffman", "zlib.compressobj(6, 8, -15, 8, zlib.Z_HUFFMAN_ONLY)"},
    {"rle", "zlib.compressobj(9, 8, -15, 8, zlib.Z_RLE)"},
    {"fixed", "zlib.compressobj(6, 8, -15, 8, zlib.Z_FIXED)"},
    {"sync", "zlib.compressobj(6, 8, -15)"},
};

class ZlibStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("tessaly_inflate_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    sets_ = MakeDataSets();
    std::string script = "import zlib,sys\nd=sys.argv[1]\n";
    for (const auto& s : sets_) {
      std::ofstream(dir_ / (std::string(s.name) + ".raw"), std::ios::binary)
          .write(reinterpret_cast<const char*>(s.data.data()), static_cast<std::streamsize>(s.data.size()));
      for (const auto& [v, expr] : kVariants) {
        script += "raw=open(d+'/" + std::string(s.name) + ".raw','rb').read()\nc=" + expr + "\n";
        if (std::string(v) == "sync")
          script +=
              "out=b''.join(c.compress(raw[i:i+10007])+c.flush(zlib.Z_SYNC_FLUSH if i%20014 else "
              "zlib.Z_FULL_FLUSH) for i in range(0,len(raw),10007))+c.flush()\n";
        else
          script += "out=c.compress(raw)+c.flush()\n";
        script += "open(d+'/" + std::string(s.name) + "." + v + "','wb').write(out)\n";
      }
    }
    std::ofstream(dir_ / "make.py") << script;
    const std::string cmd = "python3 " + (dir_ / "make.py").string() + " " + dir_.string() + " 2>/dev/null";
    ok_ = std::system(cmd.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static inline fs::path dir_;
  static inline std::vector<DataSet> sets_;
  static inline bool ok_ = false;
};

TEST_F(ZlibStreams, InflatesEveryLevelAndStrategyInAnyPieces) {
  if (!ok_) GTEST_SKIP() << "python3 with zlib is needed to make the reference streams";
  for (const auto& s : sets_) {
    for (const auto& [v, expr] : kVariants) {
      const Bytes packed = codec_test::ReadFile(dir_ / (std::string(s.name) + "." + v));
      for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, packed.size() + 1}) {
        if (piece == 1 && packed.size() > 40000 && std::string(v) != "l6") continue;  // keep it quick
        Bytes out;
        const CodecStatus st = InflatePieces(packed, piece, out);
        ASSERT_EQ(st, CodecStatus::csEnd) << s.name << "." << v << " piece " << piece << ": " << StatusText(st);
        ASSERT_TRUE(out == s.data) << s.name << "." << v << " piece " << piece;
      }
    }
  }
}

TEST_F(ZlibStreams, EveryTruncationIsBadBlock) {
  if (!ok_) GTEST_SKIP() << "python3 with zlib is needed to make the reference streams";
  // A strict prefix always lacks some of the stream's bits, whichever block it cuts.
  for (const char* v : {"l6", "sync", "l0"}) {
    Bytes packed = codec_test::ReadFile(dir_ / (std::string("runs.") + v));
    packed.resize(std::min<std::size_t>(packed.size(), 30000));  // the prefixes of a long prefix
    for (std::size_t cut = 0; cut < packed.size(); cut += (cut < 600 ? 1 : 97)) {
      const Bytes part(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
      Bytes out;
      const CodecStatus st = engine::InflateBuffer(part, out);
      ASSERT_EQ(st, CodecStatus::csBadBlock) << v << " cut at " << cut << ": " << StatusText(st);
    }
  }
}

TEST_F(ZlibStreams, StopsWhenTheSinkRefusesAndKeepsTheUnusedTail) {
  if (!ok_) GTEST_SKIP() << "python3 with zlib is needed to make the reference streams";
  const Bytes packed = codec_test::ReadFile(dir_ / "text.l6");
  Bytes out;
  EXPECT_EQ(engine::InflateBuffer(packed, out, false, 50000), CodecStatus::csStopped);
  EXPECT_LE(out.size(), 50000u);

  // A container's trailer after the stream is handed back untouched.
  Bytes withTrailer = packed;
  const Bytes trailer = {'T', 'R', 'A', 'I', 'L', 'E', 'R', 0, 1, 2};
  withTrailer.insert(withTrailer.end(), trailer.begin(), trailer.end());
  Inflater inflater;
  engine::MemorySource src(withTrailer, 4096);
  Bytes all;
  engine::VectorSink sink(all);
  ASSERT_EQ(inflater.Decode(src, sink), CodecStatus::csEnd);
  EXPECT_EQ(inflater.TotalOut(), sets_[0].data.size());
  EXPECT_EQ(inflater.UnusedInput(), trailer);
}

// ---- Hand-made streams: valid corner cases and hostile input.

// Fixed-code symbols.
void FixedLiteral(BitWriter& w, unsigned sym) {
  if (sym < 144) w.PutCode(0x30 + sym, 8);
  else if (sym < 256) w.PutCode(0x190 + sym - 144, 9);
  else if (sym < 280) w.PutCode(sym - 256, 7);
  else w.PutCode(0xC0 + sym - 280, 8);
}
// Length 3..258 as code + extra bits (the base table of the format).
void FixedLength(BitWriter& w, unsigned length) {
  static const unsigned base[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const unsigned extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  unsigned i = 28;
  while (base[i] > length) --i;
  FixedLiteral(w, 257 + i);
  w.Put(length - base[i], extra[i]);
}
void FixedDistance(BitWriter& w, unsigned distance) {
  unsigned code = 0, base = 1, extra = 0;
  for (code = 0; code < 30; ++code) {
    extra = code < 4 ? 0 : code / 2 - 1;
    const unsigned next = base + (1u << extra);
    if (distance < next) break;
    base = next;
  }
  w.PutCode(code, 5);
  w.Put(distance - base, extra);
}

TEST(Inflate, MatchAtTheFullWindowDistance) {
  // A stored block of 32768 bytes, then a match reaching exactly 32768 back.
  Bytes expected(32768);
  std::mt19937 rng(7);
  for (auto& b : expected) b = static_cast<std::uint8_t>(rng());
  BitWriter w;
  w.Put(0, 1);
  w.Put(0, 2);
  w.AlignToByte();
  w.Put(32768, 16);
  w.Put(~32768u & 0xFFFF, 16);
  for (auto b : expected) w.PutByte(b);
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLength(w, 258);
  FixedDistance(w, 32768);
  FixedLiteral(w, 256);
  expected.insert(expected.end(), expected.begin(), expected.begin() + 258);
  for (std::size_t piece : {std::size_t{3}, std::size_t{100000}}) {
    Bytes out;
    const Bytes in = w.Bytes();
    ASSERT_EQ(InflatePieces(in, piece, out), CodecStatus::csEnd);
    EXPECT_TRUE(out == expected);
  }
}

TEST(Inflate, SingleDistanceCodeIsAllowed) {
  // Dynamic block: literal 'a' (1 bit), end (2 bits), length 3 (2 bits); one distance code
  // of one bit. Decodes to "aaaa".
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(1, 5);   // 258 literal/length codes
  w.Put(0, 5);   // 1 distance code
  w.Put(14, 4);  // 18 code-length codes sent
  // Code-length code: symbols 0, 1, 2 and 18 of length 2 (complete).
  const unsigned order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (unsigned i = 0; i < 18; ++i) {
    const unsigned s = order[i];
    w.Put((s == 0 || s == 1 || s == 2 || s == 18) ? 2 : 0, 3);
  }
  // Canonical codes of length 2 by symbol: 0 -> 00, 1 -> 01, 2 -> 10, 18 -> 11.
  auto zeros = [&](unsigned n) {
    while (n >= 11) {
      const unsigned k = std::min(n, 138u);
      w.PutCode(3, 2);
      w.Put(k - 11, 7);
      n -= k;
    }
    for (; n > 0; --n) w.PutCode(0, 2);
  };
  zeros(97);
  w.PutCode(1, 2);  // 'a': 1
  zeros(256 - 98);
  w.PutCode(2, 2);  // end: 2
  w.PutCode(2, 2);  // 257: 2
  w.PutCode(1, 2);  // distance code 0: 1
  // Literal/length code: 'a' = 0, end = 10, 257 = 11.
  w.PutCode(0, 1);
  w.PutCode(3, 2);  // length 3
  w.PutCode(0, 1);  // distance 1
  w.PutCode(2, 2);  // end
  Bytes out;
  const Bytes in = w.Bytes();
  const CodecStatus st = engine::InflateBuffer(in, out);
  ASSERT_EQ(st, CodecStatus::csEnd) << StatusText(st);
  EXPECT_EQ(std::string(out.begin(), out.end()), "aaaa");
}

struct HostileCase {
  const char* name;
  Bytes (*make)();
  CodecStatus expected;
};

Bytes DistanceTooFar() {  // 'a' then a match 2 back: only one byte exists
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLiteral(w, 'a');
  FixedLength(w, 3);
  FixedDistance(w, 2);
  FixedLiteral(w, 256);
  return w.Bytes();
}
Bytes DistanceAtStart() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLength(w, 5);
  FixedDistance(w, 1);
  FixedLiteral(w, 256);
  return w.Bytes();
}
Bytes DistanceFarAfterManyBytes() {
  // 200 literals, then distance 201; more literals after it, so that the fast loop meets it.
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (int i = 0; i < 200; ++i) FixedLiteral(w, 'a' + i % 26);
  FixedLength(w, 10);
  FixedDistance(w, 201);
  for (int i = 0; i < 100; ++i) FixedLiteral(w, 'a');
  FixedLiteral(w, 256);
  return w.Bytes();
}
Bytes FixedDistanceCode30() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (int i = 0; i < 100; ++i) FixedLiteral(w, 'a');
  FixedLength(w, 3);
  w.PutCode(30, 5);
  for (int i = 0; i < 100; ++i) FixedLiteral(w, 'a');
  FixedLiteral(w, 256);
  return w.Bytes();
}
Bytes FixedLengthCode286() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (int i = 0; i < 100; ++i) FixedLiteral(w, 'a');
  FixedLiteral(w, 286);
  for (int i = 0; i < 100; ++i) FixedLiteral(w, 'a');
  return w.Bytes();
}
Bytes BlockType3() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(3, 2);
  w.Put(0, 16);
  return w.Bytes();
}
Bytes StoredLengthMismatch() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(0, 2);
  w.AlignToByte();
  w.Put(5, 16);
  w.Put(5, 16);  // must be the complement
  for (int i = 0; i < 5; ++i) w.PutByte('x');
  return w.Bytes();
}
// Dynamic-block header with the given counts, then code-length code lengths.
void DynamicHeader(BitWriter& w, unsigned nlen, unsigned ndist, const std::vector<unsigned>& codeLens) {
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(nlen - 257, 5);
  w.Put(ndist - 1, 5);
  w.Put(static_cast<std::uint32_t>(codeLens.size() - 4), 4);
  for (unsigned l : codeLens) w.Put(l, 3);
}
Bytes TooManyLengthCodes() {
  BitWriter w;
  DynamicHeader(w, 287, 1, std::vector<unsigned>(19, 5));
  return w.Bytes();
}
Bytes TooManyDistanceCodes() {
  BitWriter w;
  DynamicHeader(w, 257, 31, std::vector<unsigned>(19, 5));
  return w.Bytes();
}
Bytes OversubscribedCodeLengthCode() {
  BitWriter w;
  DynamicHeader(w, 257, 1, std::vector<unsigned>(19, 1));
  for (int i = 0; i < 40; ++i) w.Put(0, 8);
  return w.Bytes();
}
Bytes IncompleteCodeLengthCode() {
  // Only symbols 16, 17 of length 2 (half of the patterns unused).
  BitWriter w;
  DynamicHeader(w, 257, 1, {2, 2, 0, 0});
  for (int i = 0; i < 40; ++i) w.Put(0, 8);
  return w.Bytes();
}
// A dynamic header whose code-length code has symbols 0, 1, 2 and 18 of two bits each
// (codes 00, 01, 10, 11): lengths 0-2 and runs of zeros can then be written.
void SimpleCodeLengthCode(BitWriter& w, unsigned nlen, unsigned ndist) {
  const unsigned order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  std::vector<unsigned> lens;
  for (unsigned i = 0; i < 18; ++i) {
    const unsigned s = order[i];
    lens.push_back((s == 0 || s == 1 || s == 2 || s == 18) ? 2 : 0);
  }
  DynamicHeader(w, nlen, ndist, lens);
}
Bytes OversubscribedLiteralCode() {
  // Three literal codes of length 1 (and the end code): more codes than patterns.
  BitWriter w;
  SimpleCodeLengthCode(w, 257, 1);
  w.PutCode(1, 2);
  w.PutCode(1, 2);
  w.PutCode(1, 2);
  for (unsigned n = 256 - 3; n >= 11;) {  // zeros up to 256
    const unsigned k = std::min(n, 138u);
    w.PutCode(3, 2);
    w.Put(k - 11, 7);
    n -= k;
    if (n < 11) {
      for (; n > 0; --n) w.PutCode(0, 2);
      break;
    }
  }
  w.PutCode(1, 2);  // end: 1
  w.PutCode(1, 2);  // distance 0: 1
  for (int i = 0; i < 8; ++i) w.Put(0, 8);
  return w.Bytes();
}
Bytes IncompleteLiteralCode() {
  // Literals 0 and 1 of length 2, end of length 2: three quarters of the patterns.
  BitWriter w;
  SimpleCodeLengthCode(w, 257, 1);
  w.PutCode(2, 2);
  w.PutCode(2, 2);
  for (unsigned n = 254; n > 0;) {
    const unsigned k = std::min(n, 138u);
    if (k >= 11) {
      w.PutCode(3, 2);
      w.Put(k - 11, 7);
      n -= k;
    } else {
      w.PutCode(0, 2);
      --n;
    }
  }
  w.PutCode(2, 2);  // end: 2
  w.PutCode(1, 2);  // distance 0: 1
  for (int i = 0; i < 8; ++i) w.Put(0, 8);
  return w.Bytes();
}
Bytes RepeatPastTheEnd() {
  BitWriter w;
  SimpleCodeLengthCode(w, 257, 1);
  w.PutCode(3, 2);
  w.Put(127, 7);  // 138 zeros
  w.PutCode(3, 2);
  w.Put(127, 7);  // 276 > 258 declared
  for (int i = 0; i < 8; ++i) w.Put(0, 8);
  return w.Bytes();
}
Bytes RepeatWithNothingBefore() {
  // Code 16 (copy the previous length) as the very first length.
  const unsigned order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  std::vector<unsigned> lens;
  for (unsigned i = 0; i < 19; ++i) {
    const unsigned s = order[i];
    lens.push_back((s == 16 || s == 1 || s == 2 || s == 18) ? 2 : 0);
  }
  BitWriter w;
  DynamicHeader(w, 257, 1, lens);
  w.PutCode(2, 2);  // symbol 16 (canonical order 1, 2, 16, 18 -> 00, 01, 10, 11)
  w.Put(0, 2);
  for (int i = 0; i < 8; ++i) w.Put(0, 8);
  return w.Bytes();
}
Bytes MissingEndCode() {
  // A complete literal code without the end-of-block symbol: the block could never end.
  BitWriter w;
  SimpleCodeLengthCode(w, 257, 1);
  w.PutCode(1, 2);  // literal 0: 1
  w.PutCode(1, 2);  // literal 1: 1
  for (unsigned n = 255; n > 0;) {
    const unsigned k = std::min(n, 138u);
    if (k >= 11) {
      w.PutCode(3, 2);
      w.Put(k - 11, 7);
      n -= k;
    } else {
      w.PutCode(0, 2);
      --n;
    }
  }
  w.PutCode(1, 2);  // distance 0
  for (int i = 0; i < 8; ++i) w.Put(0, 8);
  return w.Bytes();
}

const HostileCase kHostile[] = {
    {"distance too far back", DistanceTooFar, CodecStatus::csBadBlock},
    {"distance at the start", DistanceAtStart, CodecStatus::csBadBlock},
    {"distance one past the output", DistanceFarAfterManyBytes, CodecStatus::csBadBlock},
    {"distance code 30", FixedDistanceCode30, CodecStatus::csBadBlock},
    {"length code 286", FixedLengthCode286, CodecStatus::csBadBlock},
    {"block type 3", BlockType3, CodecStatus::csBadBlock},
    {"stored length check", StoredLengthMismatch, CodecStatus::csBadBlock},
    {"287 literal/length codes", TooManyLengthCodes, CodecStatus::csBadLengths},
    {"31 distance codes", TooManyDistanceCodes, CodecStatus::csBadLengths},
    {"over-subscribed code-length code", OversubscribedCodeLengthCode, CodecStatus::csIncompleteCodeSet},
    {"incomplete code-length code", IncompleteCodeLengthCode, CodecStatus::csIncompleteCodeSet},
    {"over-subscribed literal code", OversubscribedLiteralCode, CodecStatus::csIncompleteCodeSet},
    {"incomplete literal code", IncompleteLiteralCode, CodecStatus::csIncompleteCodeSet},
    {"repeat past the declared count", RepeatPastTheEnd, CodecStatus::csIncompleteCodeSet},
    {"repeat with nothing before", RepeatWithNothingBefore, CodecStatus::csIncompleteCodeSet},
    {"no end-of-block code", MissingEndCode, CodecStatus::csIncompleteCodeSet},
    {"empty input", [] { return Bytes{}; }, CodecStatus::csBadBlock},
};

TEST(Inflate, HostileStreamsGiveTheirErrors) {
  for (const auto& c : kHostile) {
    const Bytes in = c.make();
    for (std::size_t piece : {std::size_t{1}, std::size_t{4096}}) {
      Bytes out;
      const CodecStatus st = InflatePieces(in, piece, out);
      EXPECT_EQ(st, c.expected) << c.name << " (piece " << piece << "): got " << StatusText(st);
    }
  }
}

TEST(Inflate, DistanceCode30IsValidInDeflate64) {
  // Distance code 30 (base 32769) after 40000 stored bytes: fine in Deflate64.
  Bytes data(40000);
  std::mt19937 rng(3);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  BitWriter w;
  w.Put(0, 1);
  w.Put(0, 2);
  w.AlignToByte();
  w.Put(40000, 16);
  w.Put(~40000u & 0xFFFF, 16);
  for (auto b : data) w.PutByte(b);
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLength(w, 10);
  w.PutCode(30, 5);
  w.Put(100, 14);  // distance 32869
  FixedLiteral(w, 256);
  Bytes expected = data;
  for (int i = 0; i < 10; ++i) expected.push_back(expected[expected.size() - 32869]);
  Bytes out;
  const Bytes in = w.Bytes();
  ASSERT_EQ(InflatePieces(in, 5000, out, true), CodecStatus::csEnd);
  EXPECT_TRUE(out == expected);
  out.clear();
  EXPECT_EQ(InflatePieces(in, 5000, out, false), CodecStatus::csBadBlock);
}

TEST(Inflate, RandomDamageNeverReadsOutsideItsBuffers) {
  // Flipped bytes in a real stream: any status, but no crash (run under the sanitizers).
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  for (int i = 0; i < 3000; ++i) {
    if (i % 7 == 3 && i > 40) {
      FixedLength(w, 3 + i % 200);
      FixedDistance(w, 1 + (i * 37) % 40);
    } else {
      FixedLiteral(w, (i * 13) % 256);
    }
  }
  FixedLiteral(w, 256);
  const Bytes good = w.Bytes();
  Bytes ref;
  ASSERT_EQ(engine::InflateBuffer(good, ref), CodecStatus::csEnd);
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    for (int k = 0; k < 1 + round % 4; ++k) bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    Bytes out;
    const CodecStatus st = engine::InflateBuffer(bad, out, round % 2 == 1, 1 << 20);
    EXPECT_TRUE(st == CodecStatus::csEnd || st == CodecStatus::csStopped || engine::IsCodecError(st));
  }
}

// ---- ZIP fixtures: deflated members (method 8) and Deflate64 (method 9).

TEST(Inflate, ZipFixturesMatchTheirCrc) {
  int decoded = 0, deflate64 = 0;
  for (const char* file : {"zip/zip_deflate_max.zip", "zip/zip_deflate_fast.zip", "zip/sc_deflate64.zip"}) {
    const fs::path p = codec_test::FixturePath(file);
    if (!fs::exists(p)) continue;
    for (const auto& m : codec_test::ReadZipMembers(p)) {
      if ((m.method != 8 && m.method != 9) || (m.flags & 1)) continue;
      for (std::size_t piece : {std::size_t{7}, std::size_t{32768}}) {
        Bytes out;
        const CodecStatus st = InflatePieces(m.data, piece, out, m.method == 9);
        ASSERT_EQ(st, CodecStatus::csEnd) << file << ": " << m.name << ": " << StatusText(st);
        EXPECT_EQ(out.size(), m.unpackedSize) << file << ": " << m.name;
        EXPECT_EQ(engine::Crc32Of(out), m.crc) << file << ": " << m.name;
      }
      ++decoded;
      deflate64 += m.method == 9;
    }
  }
  if (decoded == 0) GTEST_SKIP() << "no ZIP fixtures under " << TESSALY_SHARED_DIR;
  EXPECT_GT(deflate64, 0) << "the Deflate64 fixture was not found or not read";
}

}  // namespace
