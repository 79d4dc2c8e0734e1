// Inflate: block parsing, table building, a fast decode loop and a careful tail loop.
#include "engine/decoders/inflate.h"

#include <bit>
#include <cstring>

#include "engine/decoders/lsb_huffman.h"

namespace engine {

static_assert(std::endian::native == std::endian::little, "the word-wise bit refill assumes little-endian");

namespace {

using enum CodecStatus;

// The fast loop runs only while this many input bytes are left: each refill reads 8 bytes
// and advances at most 7, and a round refills at most three times.
constexpr std::ptrdiff_t kInMargin = 32;
// A fast round that starts at the ring's end writes at most two literals and a 258-byte
// match there, plus the 15-byte overrun of the word-wise copy; the ring has this much room
// after its end (also enough for copies reading from the end of the previous lap).
constexpr std::size_t kOverflow = 2 + 258 + 16 + 44;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                         49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                         2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                         7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which the code-length code's lengths are sent.
constexpr std::uint8_t kCodeLenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Copy16(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint64_t a, b;
  std::memcpy(&a, src, 8);
  std::memcpy(&b, src + 8, 8);
  std::memcpy(dst, &a, 8);
  std::memcpy(dst + 8, &b, 8);
}

inline std::uint64_t LowBits(std::uint64_t v, unsigned n) { return v & ((std::uint64_t{1} << n) - 1); }

// A table is usable when complete, or when it holds one code of one bit (the other pattern
// is then invalid); an empty distance code is allowed too (a block of literals only).
CodecStatus CheckShape(CodeBuildResult r, const std::uint8_t* lens, unsigned n, bool emptyOk) {
  switch (r.shape) {
    case CodeShape::cpComplete:
      return csOk;
    case CodeShape::cpEmpty:
      return emptyOk ? csOk : csIncompleteCodeSet;
    case CodeShape::cpIncomplete:
      if (r.usedCodes == 1)
        for (unsigned i = 0; i < n; ++i)
          if (lens[i] != 0) return lens[i] == 1 ? csOk : csIncompleteCodeSet;
      return csIncompleteCodeSet;
    default:
      return csIncompleteCodeSet;
  }
}

}  // namespace

Inflater::Inflater(bool deflate64)
    : deflate64_(deflate64),
      histSize_(deflate64 ? 65536 : 32768),
      ringSize_(2 * histSize_),
      inBuf_(kCodecInputBlock + 2 * kInMargin),
      ring_(ringSize_ + kOverflow),
      tables_(2) {
  Reset();
}

void Inflater::Reset() {
  inNext_ = inEnd_ = inBuf_.data();
  inEof_ = false;
  bitBuf_ = 0;
  bitCount_ = 0;
  outPos_ = flushed_ = 0;
  totalFlushed_ = 0;
  wrapped_ = false;
  cur_ = nullptr;
  source_ = nullptr;
  sink_ = nullptr;
}

std::uint64_t Inflater::TotalOut() const { return totalFlushed_ + (outPos_ - flushed_); }

std::vector<std::uint8_t> Inflater::UnusedInput() const {
  std::vector<std::uint8_t> rest;
  std::uint64_t bits = bitBuf_ >> (bitCount_ & 7);
  for (unsigned i = 0; i < bitCount_ / 8; ++i, bits >>= 8) rest.push_back(static_cast<std::uint8_t>(bits));
  rest.insert(rest.end(), inNext_, inEnd_);
  return rest;
}

bool Inflater::Pull() {
  if (inEof_) return false;
  const std::size_t rest = static_cast<std::size_t>(inEnd_ - inNext_);
  std::memmove(inBuf_.data(), inNext_, rest);
  const std::size_t got = source_->Read(inBuf_.data() + rest, inBuf_.size() - rest);
  inNext_ = inBuf_.data();
  inEnd_ = inNext_ + rest + got;
  if (got == 0) inEof_ = true;
  return got != 0;
}

// Makes n (<= 56) bits available; false when the input ends first.
bool Inflater::Need(unsigned n) {
  while (bitCount_ < n) {
    if (inNext_ == inEnd_ && !Pull()) return false;
    bitBuf_ |= static_cast<std::uint64_t>(*inNext_++) << bitCount_;
    bitCount_ += 8;
  }
  return true;
}

bool Inflater::FlushTo(std::size_t pos) {
  if (pos == flushed_) return true;
  const std::size_t n = pos - flushed_;
  const bool ok = sink_->Write(ring_.data() + flushed_, n);
  totalFlushed_ += n;
  flushed_ = pos;
  return ok;
}

// At the ring's end: hand out the block and continue at the start. Bytes the fast loop wrote
// past the end belong at the start of the new lap.
bool Inflater::AfterWrite() {
  if (outPos_ < ringSize_) return true;
  const bool ok = FlushTo(ringSize_);
  const std::size_t spill = outPos_ - ringSize_;
  std::memcpy(ring_.data(), ring_.data() + ringSize_, spill);
  outPos_ = spill;
  flushed_ = 0;
  wrapped_ = true;
  return ok;
}

CodecStatus Inflater::Decode(IByteSource& source, IByteSink& sink) {
  source_ = &source;
  sink_ = &sink;
  CodecStatus s = DecodeStream();
  if (s != csStopped && !FlushTo(outPos_) && s == csEnd) s = csStopped;
  return s;
}

CodecStatus Inflater::DecodeStream() {
  bool final = false;
  do {
    if (!Need(3)) return csBadBlock;
    final = Bits(1) != 0;
    const unsigned type = (bitBuf_ >> 1) & 3;
    Drop(3);
    CodecStatus s = csOk;
    switch (type) {
      case 0:
        s = CopyStored();
        break;
      case 1:
        if (!fixedBuilt_) {
          std::uint8_t lens[288 + 32];
          std::memset(lens, 8, 144);
          std::memset(lens + 144, 9, 112);
          std::memset(lens + 256, 7, 24);
          std::memset(lens + 280, 8, 8);
          std::memset(lens + 288, 5, 32);
          s = BuildTables(tables_[1], lens, 288, 32);
          if (s != csOk) return s;
          fixedBuilt_ = true;
        }
        cur_ = &tables_[1];
        s = DecodeHuffman();
        break;
      case 2:
        s = ReadDynamicTables();
        if (s == csOk) {
          cur_ = &tables_[0];
          s = DecodeHuffman();
        }
        break;
      default:
        return csBadBlock;
    }
    if (s != csOk) return s;
  } while (!final);
  return csEnd;
}

CodecStatus Inflater::CopyStored() {
  Drop(bitCount_ & 7);
  if (!Need(32)) return csBadBlock;
  const std::uint32_t len = Bits(16);
  const std::uint32_t nlen = (bitBuf_ >> 16) & 0xFFFF;
  Drop(32);
  if (len != (~nlen & 0xFFFF)) return csBadBlock;
  std::uint32_t left = len;
  // Whole bytes still in the bit buffer come first.
  while (left != 0 && bitCount_ != 0) {
    ring_[outPos_++] = static_cast<std::uint8_t>(bitBuf_);
    Drop(8);
    --left;
    if (!AfterWrite()) return csStopped;
  }
  if (bitCount_ == 0) bitBuf_ = 0;  // drop the look-ahead copies: bytes are taken directly now
  while (left != 0) {
    if (inNext_ == inEnd_ && !Pull()) return csBadBlock;
    std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(inEnd_ - inNext_));
    n = std::min(n, ringSize_ - outPos_);
    std::memcpy(ring_.data() + outPos_, inNext_, n);
    inNext_ += n;
    outPos_ += n;
    left -= static_cast<std::uint32_t>(n);
    if (!AfterWrite()) return csStopped;
  }
  return csOk;
}

CodecStatus Inflater::BuildTables(Tables& t, const std::uint8_t* lens, unsigned nlen, unsigned ndist) const {
  const bool d64 = deflate64_;
  auto litLeaf = [d64](unsigned sym, unsigned len) -> std::uint32_t {
    const std::uint32_t l = len | (len << 8);
    if (sym < 256) return kLiteralFlag | (sym << 16) | l;
    if (sym == 256) return kEndFlag | l;
    if (sym <= 285) {
      const unsigned i = sym - 257;
      if (d64 && sym == 285) return (3u << 16) | (len + 16) | (len << 8);
      return (static_cast<std::uint32_t>(kLengthBase[i]) << 16) | (len + kLengthExtra[i]) | (len << 8);
    }
    return kInvalidFlag | l;
  };
  auto distLeaf = [d64](unsigned sym, unsigned len) -> std::uint32_t {
    if (sym < (d64 ? 32u : 30u))
      return (static_cast<std::uint32_t>(kDistBase[sym]) << 16) | (len + kDistExtra[sym]) | (len << 8);
    return kInvalidFlag | len | (len << 8);
  };
  auto litLink = [](unsigned start, unsigned bits) -> std::uint32_t {
    return kLinkFlag | (start << 16) | (bits << 8) | kLitBits;
  };
  auto distLink = [](unsigned start, unsigned bits) -> std::uint32_t {
    return kLinkFlag | (start << 16) | (bits << 8) | kDistBits;
  };
  const CodeBuildResult lr =
      BuildLsbHuffmanTable(lens, nlen, kLitBits, 15, t.lit, kLitTableSize, kInvalidFlag, litLeaf, litLink);
  CodecStatus s = CheckShape(lr, lens, nlen, false);
  if (s != csOk) return s;
  if (lens[256] == 0) return csIncompleteCodeSet;  // a block that could never end
  const CodeBuildResult dr = BuildLsbHuffmanTable(lens + nlen, ndist, kDistBits, 15, t.dist, kDistTableSize,
                                                  kInvalidFlag, distLeaf, distLink);
  return CheckShape(dr, lens + nlen, ndist, true);
}

CodecStatus Inflater::ReadDynamicTables() {
  if (!Need(14)) return csBadBlock;
  const unsigned nlen = Bits(5) + 257;
  const unsigned ndist = ((bitBuf_ >> 5) & 31) + 1;
  const unsigned ncode = ((bitBuf_ >> 10) & 15) + 4;
  Drop(14);
  if (nlen > 286 || ndist > (deflate64_ ? 32u : 30u)) return csBadLengths;

  std::uint8_t codeLens[19] = {};
  for (unsigned i = 0; i < ncode; ++i) {
    if (!Need(3)) return csBadBlock;
    codeLens[kCodeLenOrder[i]] = static_cast<std::uint8_t>(Bits(3));
    Drop(3);
  }
  std::uint32_t codeTable[1u << kCodeLenBits];
  const CodeBuildResult cr = BuildLsbHuffmanTable(
      codeLens, 19, kCodeLenBits, 7, codeTable, std::size(codeTable), kInvalidFlag,
      [](unsigned sym, unsigned len) -> std::uint32_t { return (sym << 16) | len; },
      [](unsigned, unsigned) -> std::uint32_t { return kInvalidFlag; });
  if (cr.shape != CodeShape::cpComplete) return csIncompleteCodeSet;

  std::uint8_t lens[288 + 32];
  const unsigned total = nlen + ndist;
  unsigned i = 0;
  while (i < total) {
    Need(14);  // a code (<= 7 bits) and its repeat count (<= 7 bits); checked below
    const std::uint32_t e = codeTable[Bits(kCodeLenBits)];
    const unsigned n = e & 0xFF;
    if (n > bitCount_) return csBadBlock;
    Drop(n);
    const unsigned sym = e >> 16;
    if (sym < 16) {
      lens[i++] = static_cast<std::uint8_t>(sym);
      continue;
    }
    static constexpr std::uint8_t kRepeatBits[3] = {2, 3, 7};
    static constexpr std::uint8_t kRepeatMin[3] = {3, 3, 11};
    const unsigned xb = kRepeatBits[sym - 16];
    if (xb > bitCount_) return csBadBlock;
    const unsigned repeat = kRepeatMin[sym - 16] + Bits(xb);
    Drop(xb);
    std::uint8_t value = 0;
    if (sym == 16) {
      if (i == 0) return csIncompleteCodeSet;  // nothing to repeat
      value = lens[i - 1];
    }
    if (repeat > total - i) return csIncompleteCodeSet;
    std::memset(lens + i, value, repeat);
    i += repeat;
  }
  return BuildTables(tables_[0], lens, nlen, ndist);
}

// Copies a match with every check: history reach, ring wrap and flush points.
CodecStatus Inflater::CopyMatch(std::size_t distance, std::size_t length) {
  if (distance > outPos_ && !wrapped_) return csBadBlock;
  std::uint8_t* const ring = ring_.data();
  const std::size_t mask = ringSize_ - 1;
  while (length != 0) {
    const std::size_t n = std::min(length, ringSize_ - outPos_);
    std::size_t from = (outPos_ + ringSize_ - distance) & mask;
    for (std::size_t k = 0; k < n; ++k, from = (from + 1) & mask) ring[outPos_ + k] = ring[from];
    outPos_ += n;
    length -= n;
    if (!AfterWrite()) return csStopped;
  }
  return csOk;
}

// One symbol with every check (near the ends of the input and of the ring).
CodecStatus Inflater::SlowSymbol(bool& endOfBlock) {
  Need(48);  // may come up short at the end of the input: every use is checked below
  std::uint32_t e = cur_->lit[Bits(kLitBits)];
  if (e & kLinkFlag) {
    if (kLitBits > bitCount_) return csBadBlock;
    Drop(kLitBits);
    e = cur_->lit[(e >> 16) + Bits((e >> 8) & 15)];
  }
  unsigned n = e & 0xFF;
  if ((e & kInvalidFlag) || n > bitCount_) return csBadBlock;
  if (e & kLiteralFlag) {
    Drop(n);
    ring_[outPos_++] = static_cast<std::uint8_t>(e >> 16);
    return AfterWrite() ? csOk : csStopped;
  }
  if (e & kEndFlag) {
    Drop(n);
    endOfBlock = true;
    return csOk;
  }
  const std::size_t length = (e >> 16) + (Bits(n) >> ((e >> 8) & 15));
  Drop(n);
  Need(32);
  e = cur_->dist[Bits(kDistBits)];
  if (e & kLinkFlag) {
    if (kDistBits > bitCount_) return csBadBlock;
    Drop(kDistBits);
    e = cur_->dist[(e >> 16) + Bits((e >> 8) & 15)];
  }
  n = e & 0xFF;
  if ((e & kInvalidFlag) || n > bitCount_) return csBadBlock;
  const std::size_t distance = (e >> 16) + (Bits(n) >> ((e >> 8) & 15));
  Drop(n);
  return CopyMatch(distance, length);
}

// Decodes symbols while input is plentiful, with no per-symbol bound checks.
// Entry assumptions, re-checked at the top of every round:
//   - at least kInMargin bytes remain in the input buffer: a round refills the bit buffer at
//     most three times, each reading 8 bytes and advancing at most 7;
//   - output has not passed the ring's end: a round writes at most two literals and one
//     match of up to 258 bytes, plus up to 15 bytes of word-copy overrun, all within the
//     overflow room after the end (ring bytes that far ahead are never part of the history);
//   - after a refill the bit buffer holds at least 56 bits: enough for a length code with its
//     extra bits and a distance code with its extra bits (15+5 + 15+13 = 48; Deflate64's
//     31 + 29 gets a second refill).
// Longer Deflate64 matches, and matches running from the end of the previous lap into the
// current one, leave through the careful copy.
template <bool kDeflate64>
CodecStatus Inflater::FastLoop(bool& endOfBlock) {
  if (inEnd_ - inNext_ < kInMargin) return csOk;
  const std::uint32_t* const lit = cur_->lit;
  const std::uint32_t* const dist = cur_->dist;
  constexpr std::uint64_t kLitMask = (1u << kLitBits) - 1;
  constexpr std::uint64_t kDistMask = (1u << kDistBits) - 1;
  const std::uint8_t* in = inNext_;
  const std::uint8_t* const inLimit = inEnd_ - kInMargin;
  std::uint8_t* const ring = ring_.data();
  std::uint8_t* const ringEnd = ring + ringSize_;
  std::uint8_t* out = ring + outPos_;
  std::uint64_t bb = bitBuf_;
  unsigned bc = bitCount_;
  CodecStatus status = csOk;

  // Only the low 6 bits of `bc` count: consuming subtracts a whole entry (its bit count is
  // in the low bits and never exceeds the bits held, so no borrow reaches them).
  auto refill = [&] {
    bb |= Load64(in) << (bc & 63);
    in += (~bc & 63) >> 3;
    bc |= 56;
  };
  auto drop = [&](std::uint32_t entry) {
    bb >>= entry & 63;
    bc -= entry;
  };

  while (in <= inLimit) {
    if (out >= ringEnd) [[unlikely]] {
      outPos_ = static_cast<std::size_t>(out - ring);
      if (!AfterWrite()) {
        status = csStopped;
        break;
      }
      out = ring + outPos_;
    }
    refill();
    std::uint32_t e = lit[bb & kLitMask];
    if (e & kLiteralFlag) {
      // Up to three literals from one refill: 3 x 15 bits <= 56.
      drop(e);
      *out++ = static_cast<std::uint8_t>(e >> 16);
      e = lit[bb & kLitMask];
      if (e & kLiteralFlag) {
        drop(e);
        *out++ = static_cast<std::uint8_t>(e >> 16);
        e = lit[bb & kLitMask];
        if (e & kLiteralFlag) {
          drop(e);
          *out++ = static_cast<std::uint8_t>(e >> 16);
          continue;
        }
      }
      refill();  // `e` stays valid: a refill only adds bits above the ones it was read from
    }
    if (e & kLinkFlag) {
      drop(e);
      e = lit[(e >> 16) + LowBits(bb, (e >> 8) & 15)];
      if (e & kLiteralFlag) {
        drop(e);
        *out++ = static_cast<std::uint8_t>(e >> 16);
        continue;
      }
    }
    if (e & (kEndFlag | kInvalidFlag)) {
      if (e & kEndFlag) {
        drop(e);
        endOfBlock = true;
      } else {
        status = csBadBlock;
      }
      break;
    }
    std::uint64_t saved = bb;
    drop(e);
    const std::size_t length = (e >> 16) + (LowBits(saved, e & 0xFF) >> ((e >> 8) & 15));
    if constexpr (kDeflate64) refill();
    e = dist[bb & kDistMask];
    if (e & kLinkFlag) {
      drop(e);
      e = dist[(e >> 16) + LowBits(bb, (e >> 8) & 15)];
    }
    if (e & kInvalidFlag) {
      status = csBadBlock;
      break;
    }
    saved = bb;
    drop(e);
    const std::size_t distance = (e >> 16) + (LowBits(saved, e & 0xFF) >> ((e >> 8) & 15));

    const std::size_t have = static_cast<std::size_t>(out - ring);
    const std::uint8_t* src = out - distance;
    if (distance > have) [[unlikely]] {
      // The match starts in the previous lap, at the ring's end. When it lies there whole it
      // is one contiguous piece (over-reads land in the ring's slack).
      const std::size_t back = distance - have;
      if (!wrapped_) {
        status = csBadBlock;
        break;
      }
      src = ring + ringSize_ - back;
      if (length > back) src = nullptr;
    }
    if (src == nullptr || (kDeflate64 && length > 258)) [[unlikely]] {
      outPos_ = have;
      if (!AfterWrite()) {  // the careful copy starts inside the ring
        status = csStopped;
        break;
      }
      status = CopyMatch(distance, length);
      if (status != csOk) break;
      out = ring + outPos_;
      continue;
    }
    std::uint8_t* dst = out;
    std::uint8_t* const end = out + length;
    if (distance >= 16) {
      do {
        Copy16(dst, src);
        dst += 16;
        src += 16;
      } while (dst < end);
    } else if (distance >= 8) {
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < end);
    } else if (distance == 1) {
      const std::uint64_t v = 0x0101010101010101ull * *src;
      do {
        std::memcpy(dst, &v, 8);
        dst += 8;
      } while (dst < end);
    } else {
      do *dst++ = *src++;
      while (dst < end);
    }
    out = end;
  }
  inNext_ = in;
  bitBuf_ = bb;
  bitCount_ = bc & 63;
  outPos_ = static_cast<std::size_t>(out - ring);
  // Everything outside this loop works inside the ring.
  if (!AfterWrite() && status == csOk) status = csStopped;
  return status;
}

CodecStatus Inflater::DecodeHuffman() {
  for (;;) {
    while (inEnd_ - inNext_ < kInMargin && Pull()) {
    }
    bool endOfBlock = false;
    CodecStatus s = deflate64_ ? FastLoop<true>(endOfBlock) : FastLoop<false>(endOfBlock);
    if (s != csOk || endOfBlock) return s;
    s = SlowSymbol(endOfBlock);
    if (s != csOk || endOfBlock) return s;
  }
}

CodecStatus InflateBuffer(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out, bool deflate64,
                          std::size_t maxOut) {
  Inflater inflater(deflate64);
  MemorySource source(in);
  VectorSink sink(out, maxOut);
  return inflater.Decode(source, sink);
}

}  // namespace engine
