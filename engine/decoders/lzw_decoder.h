// LZW decoder of the Unix compress format (.Z, magic 1F 9D).
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "engine/decoders/msb_bit_reader.h"
#include "engine/decoders/output_window.h"

namespace engine {

// One instance per file. The stream is the whole file, header included: 1F 9D, then a
// byte with the largest code width (bits 0-4) and the block-mode flag (bit 7). Codes are
// LSB first from 9 bits up; they come in groups of eight codes (one group is `width`
// bytes), and a width change or a table clear (code 256 in block mode) skips the rest
// of the current group, as compress writes it. The stream ends with the input; trailing
// bits too few for a code are ignored.
class LzwDecoder {
 public:
  LzwDecoder();

  // Pulls input from `source` and hands output to `sink` in blocks of up to 32 KiB.
  // Returns 0, kErrIncompleteCodeSet (header flag bits 5 or 6 set), kErrCorruptInput
  // (bad magic, width above 16, a code beyond the next free one, a first code above
  // 255), or kErrWritingFile when the sink failed.
  int Decode(const ByteSourceFn& source, const ByteSinkFn& sink);

  std::uint64_t Consumed() const { return consumed_; }
  std::uint64_t Produced() const { return produced_; }

  // One-shot helper; stops with kErrWritingFile once more than `maxOutput` bytes come out.
  static int DecodeBuffer(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& output,
                          std::size_t maxOutput = std::numeric_limits<std::size_t>::max());

 private:
  static constexpr unsigned kMaxBits = 16;
  static constexpr std::size_t kTableSize = std::size_t{1} << kMaxBits;

  std::vector<std::uint16_t> prefix_;
  std::vector<std::uint8_t> suffix_;
  std::vector<std::uint8_t> stack_;
  std::uint64_t consumed_ = 0;
  std::uint64_t produced_ = 0;
};

}  // namespace engine
