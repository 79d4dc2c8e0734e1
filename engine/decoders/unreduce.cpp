// Unreduce: follower-set decoding, then the DLE (144) escape state machine for matches.
#include "engine/decoders/unreduce.h"

namespace engine {

namespace {
using enum CodecStatus;
constexpr std::uint8_t kDle = 144;

// Bits of a follower index for a set of n entries.
unsigned IndexBits(unsigned n) {
  if (n <= 2) return 1;
  if (n <= 4) return 2;
  if (n <= 8) return 3;
  if (n <= 16) return 4;
  if (n <= 32) return 5;
  return 6;
}
}  // namespace

Unreducer::Unreducer() : out_(32768) {}

void Unreducer::Reset(unsigned factor, std::uint64_t uncompressedSize) {
  factor_ = factor < 1 ? 1 : factor > 4 ? 4 : factor;
  limit_ = uncompressedSize;
}

CodecStatus Unreducer::Decode(IByteSource& source, IByteSink& sink) {
  reader_.Reset(&source);
  out_.Reset(&sink, limit_);
  const CodecStatus s = Run();
  out_.Flush();
  if (out_.Stopped()) return csStopped;
  return s == csOk ? csEnd : s;
}

CodecStatus Unreducer::Run() {
  if (limit_ == 0) return csOk;
  // Follower sets, from byte 255 down to 0.
  for (int c = 255; c >= 0; --c) {
    std::uint32_t n = 0;
    if (!reader_.Read(6, n)) return csBadBlock;
    setSize_[c] = static_cast<std::uint8_t>(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t b = 0;
      if (!reader_.Read(8, b)) return csBadBlock;
      followers_[c][i] = static_cast<std::uint8_t>(b);
    }
  }

  const unsigned lengthMask = 0xFFu >> factor_;  // 0x7F, 0x3F, 0x1F, 0x0F
  const CodecStatus atInputEnd = limit_ == kNoOutputLimit ? csOk : csBadBlock;
  unsigned last = 0;   // the previous byte of the follower layer
  unsigned state = 0;  // 0 plain, 1 after DLE, 2 length byte follows, 3 distance byte follows
  unsigned length = 0, distHigh = 0;
  while (!out_.IsFull()) {
    if (out_.Stopped()) return csOk;
    std::uint32_t byte = 0;
    const unsigned n = setSize_[last];
    if (n == 0) {
      if (!reader_.Read(8, byte)) return atInputEnd;
    } else {
      std::uint32_t literal = 0;
      if (!reader_.Read(1, literal)) return atInputEnd;
      if (literal != 0) {
        if (!reader_.Read(8, byte)) return atInputEnd;
      } else {
        std::uint32_t index = 0;
        if (!reader_.Read(IndexBits(n), index)) return atInputEnd;
        if (index >= n) return csBadBlock;
        byte = followers_[last][index];
      }
    }
    last = byte;

    switch (state) {
      case 0:
        if (byte == kDle)
          state = 1;
        else
          out_.Put(static_cast<std::uint8_t>(byte));
        break;
      case 1:
        if (byte == 0) {
          out_.Put(kDle);
          state = 0;
        } else {
          length = byte & lengthMask;
          distHigh = byte >> (8 - factor_);
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += byte;
        state = 3;
        break;
      default:
        out_.Copy(distHigh * 256 + byte + 1, length + 3);
        state = 0;
        break;
    }
  }
  return csOk;
}

CodecStatus UnreduceBuffer(std::span<const std::uint8_t> in, unsigned factor, std::uint64_t uncompressedSize,
                           std::vector<std::uint8_t>& out, std::size_t maxOut) {
  Unreducer unreducer;
  unreducer.Reset(factor, uncompressedSize);
  MemorySource source(in);
  VectorSink sink(out, maxOut);
  return unreducer.Decode(source, sink);
}

}  // namespace engine
