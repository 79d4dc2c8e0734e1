// Explode: reads the compressed Shannon-Fano trees, then literals and matches.
#include "engine/decoders/explode.h"

#include "engine/decoders/lsb_huffman.h"

namespace engine {

namespace {
using enum CodecStatus;
// Sub-table room: each sub-table of 2^k entries holds at least k + 1 codes (codes are at
// most 16 bits).
constexpr std::size_t kLiteralTableSize = 512 + 4096;  // 256 symbols, 9-bit primary table
constexpr std::size_t kSmallTableSize = 128 + 3072;     // 64 symbols, 7-bit primary table
}  // namespace

Exploder::Exploder() : ring_(32768) {
  literals_.table.resize(kLiteralTableSize);
  lengths_.table.resize(kSmallTableSize);
  distances_.table.resize(kSmallTableSize);
}

void Exploder::Reset(std::uint16_t flags, std::uint64_t uncompressedSize) {
  bigWindow_ = (flags & 2) != 0;
  threeTrees_ = (flags & 4) != 0;
  limit_ = uncompressedSize;
}

// A tree is sent as a count byte (entries - 1), then entries of one byte each: the low
// nibble is a bit length - 1, the high nibble how many consecutive symbols have it - 1.
// Codes are canonical with every bit inverted: the longest codes take the lowest values.
CodecStatus Exploder::ReadTree(Tree& tree, unsigned symbols, unsigned primaryBits) {
  std::uint32_t count = 0;
  if (!reader_.Read(8, count)) return csBadBlock;
  std::uint8_t lens[256];
  unsigned n = 0;
  for (unsigned i = 0; i <= count; ++i) {
    std::uint32_t b = 0;
    if (!reader_.Read(8, b)) return csBadBlock;
    const unsigned repeat = (b >> 4) + 1;
    if (repeat > symbols - n) return csBadBlock;
    for (unsigned k = 0; k < repeat; ++k) lens[n++] = static_cast<std::uint8_t>((b & 15) + 1);
  }
  if (n != symbols) return csBadBlock;
  tree.bits = primaryBits;
  const CodeBuildResult r = BuildLsbHuffmanTable(
      lens, symbols, primaryBits, 16, tree.table.data(), tree.table.size(), kInvalidFlag,
      [](unsigned sym, unsigned len) -> std::uint32_t { return (sym << 16) | len; },
      [primaryBits](unsigned start, unsigned bits) -> std::uint32_t {
        return kLinkFlag | (start << 16) | (bits << 8) | primaryBits;
      });
  switch (r.shape) {
    case CodeShape::cpComplete:
      return csOk;
    case CodeShape::cpOversubscribed:
      return csAmbiguousTree;
    default:
      return csBadBlock;
  }
}

bool Exploder::DecodeSymbol(const Tree& tree, unsigned& symbol) {
  reader_.Ensure(16);  // may come up short at the end of the input: checked below
  std::uint32_t e = tree.table[reader_.PeekInverted(tree.bits)];
  if (e & kLinkFlag) {
    if (tree.bits > reader_.Available()) return false;
    reader_.Consume(tree.bits);
    e = tree.table[(e >> 16) + reader_.PeekInverted((e >> 8) & 15)];
  }
  const unsigned n = e & 0xFF;
  if ((e & kInvalidFlag) || n > reader_.Available()) return false;
  reader_.Consume(n);
  symbol = e >> 16;
  return true;
}

CodecStatus Exploder::Decode(IByteSource& source, IByteSink& sink) {
  reader_.Reset(&source);
  ring_.Reset(&sink, limit_);
  if (limit_ == 0) return csEnd;
  CodecStatus s = csOk;
  if (threeTrees_) s = ReadTree(literals_, 256, 9);
  if (s == csOk) s = ReadTree(lengths_, 64, 7);
  if (s == csOk) s = ReadTree(distances_, 64, 7);
  if (s != csOk) return s;

  const unsigned lowBits = bigWindow_ ? 7 : 6;
  const unsigned minMatch = threeTrees_ ? 3 : 2;
  while (!ring_.IsFull() && !ring_.Stopped()) {
    std::uint32_t v = 0;
    if (!reader_.Read(1, v)) {
      // Out of input: the end when no size was given, else the data was cut short.
      s = limit_ == kNoOutputLimit ? csEnd : csBadBlock;
      break;
    }
    if (v != 0) {
      unsigned sym = 0;
      if (threeTrees_ ? !DecodeSymbol(literals_, sym) : !reader_.Read(8, v)) {
        s = csBadBlock;
        break;
      }
      ring_.Put(static_cast<std::uint8_t>(threeTrees_ ? sym : v));
      continue;
    }
    std::uint32_t low = 0;
    unsigned high = 0, length = 0;
    if (!reader_.Read(lowBits, low) || !DecodeSymbol(distances_, high) || !DecodeSymbol(lengths_, length)) {
      s = csBadBlock;
      break;
    }
    if (length == 63) {
      if (!reader_.Read(8, v)) {
        s = csBadBlock;
        break;
      }
      length += v;
    }
    ring_.Copy(((high << lowBits) | low) + 1, length + minMatch);
  }
  ring_.Flush();
  if (ring_.Stopped()) return csStopped;
  return s == csOk ? csEnd : s;
}

CodecStatus ExplodeBuffer(std::span<const std::uint8_t> in, std::uint16_t flags, std::uint64_t uncompressedSize,
                          std::vector<std::uint8_t>& out, std::size_t maxOut) {
  Exploder exploder;
  exploder.Reset(flags, uncompressedSize);
  MemorySource source(in);
  VectorSink sink(out, maxOut);
  return exploder.Decode(source, sink);
}

}  // namespace engine
