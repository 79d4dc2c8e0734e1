// Unreduce: the PKWARE probabilistic method (ZIP methods 2-5, factors 1-4): follower sets
// and an escape-coded LZ layer over a 4 KiB window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/codec_io.h"
#include "engine/decoders/lsb_bit_reader.h"
#include "engine/decoders/output_ring.h"

namespace engine {

class Unreducer {
 public:
  Unreducer();

  // Prepares for one member: `factor` = method - 1 (1..4); `uncompressedSize` ends the
  // output (the last byte's spare bits would otherwise decode as data); kNoOutputLimit
  // decodes until the input ends.
  void Reset(unsigned factor, std::uint64_t uncompressedSize);

  // Returns csEnd; csStopped when the sink refused; csBadBlock for follower sets cut short,
  // a follower index past its set, or input ending before a given size. Matches reaching
  // before the first byte copy zeros.
  CodecStatus Decode(IByteSource& source, IByteSink& sink);

  std::uint64_t TotalOut() const { return out_.Total(); }

 private:
  CodecStatus Run();

  unsigned factor_ = 1;
  std::uint64_t limit_ = kNoOutputLimit;
  LsbBitReader reader_;
  OutputRing out_;
  // Follower sets: a 6-bit count allows 63 entries although encoders send at most 32.
  std::uint8_t setSize_[256] = {};
  std::uint8_t followers_[256][64] = {};
};

// Unreduces a whole buffer (tests, fuzzers). Output beyond `maxOut` bytes stops with csStopped.
CodecStatus UnreduceBuffer(std::span<const std::uint8_t> in, unsigned factor, std::uint64_t uncompressedSize,
                           std::vector<std::uint8_t>& out, std::size_t maxOut = static_cast<std::size_t>(-1));

}  // namespace engine
