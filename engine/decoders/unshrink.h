// Unshrink: the PKWARE dynamic LZW method (ZIP method 1) with partial clearing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/codec_io.h"
#include "engine/decoders/lsb_bit_reader.h"
#include "engine/decoders/output_ring.h"

namespace engine {

class Unshrinker {
 public:
  Unshrinker();

  // Prepares for one member; `uncompressedSize` (or kNoOutputLimit) stops the output there.
  void Reset(std::uint64_t uncompressedSize = kNoOutputLimit);

  // Decodes until the input ends (or the size is reached). Returns csEnd; csStopped when the
  // sink refused; csBadBlock for a missing or non-literal first code, a control code other
  // than 256-1 and 256-2, codes growing past 13 bits, a string running through a cleared
  // code, or input ending before a given size; csStackOverflow when a string would exceed
  // 8191 bytes (a corrupt table can only do this by looping). Output decoded before a
  // failure has already been passed on.
  CodecStatus Decode(IByteSource& source, IByteSink& sink);

  std::uint64_t TotalOut() const { return out_.Total(); }

  static constexpr unsigned kTableSize = 8192;

 private:
  CodecStatus Run();
  void PartialClear();

  std::uint64_t limit_ = kNoOutputLimit;
  LsbBitReader reader_;
  OutputRing out_;
  // Code c >= 257 stands for the string of parent_[c] followed by value_[c]; 0-255 are
  // single bytes. A free slot keeps kFree as its parent.
  std::vector<std::uint16_t> parent_;
  std::vector<std::uint8_t> value_;
  std::vector<std::uint8_t> isParent_;  // partial clearing's scratch
  std::vector<std::uint8_t> stack_;
};

// Unshrinks a whole buffer (tests, fuzzers). Output beyond `maxOut` bytes stops with csStopped.
CodecStatus UnshrinkBuffer(std::span<const std::uint8_t> in, std::uint64_t uncompressedSize,
                           std::vector<std::uint8_t>& out, std::size_t maxOut = static_cast<std::size_t>(-1));

}  // namespace engine
