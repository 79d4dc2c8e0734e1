// Adaptive-Huffman LZSS coder of the -lh1- method (LZHUF): the decoding half.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/msb_bit_reader.h"
#include "engine/decoders/output_window.h"

namespace engine {

// One instance per member. Symbols 0-255 are literals, 256-313 matches of 3-60 bytes;
// their tree adapts after every symbol. A match position is 12 bits: the upper 6 with a
// fixed prefix code, the lower 6 plain. History starts as 4096 spaces.
class LzhufCoder {
 public:
  static constexpr unsigned kRingBits = 16;  // the OutputWindow to use (history is 4 KiB)
  static constexpr std::uint8_t kFill = 0x20;

  LzhufCoder();

  // Decodes exactly `size` bytes into `out`. Returns 0, kErrReadingFile when the input
  // ends early, or kErrWritingFile when the sink failed.
  int Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size);

  static int DecodeBuffer(std::span<const std::uint8_t> packed, std::uint64_t size,
                          std::vector<std::uint8_t>& output);

 private:
  static constexpr unsigned kNChar = 314;         // 256 literals + 58 lengths
  static constexpr unsigned kT = 2 * kNChar - 1;  // nodes
  static constexpr unsigned kR = kT - 1;          // root
  static constexpr unsigned kMaxFreq = 0x8000;

  void StartTree();
  void Rebuild();
  void Update(unsigned symbol);

  std::uint16_t freq_[kT + 1];
  std::uint16_t parent_[kT + kNChar];  // of nodes and (at kT + symbol) of leaves
  std::uint16_t son_[kT];              // >= kT: a leaf for symbol son - kT
};

}  // namespace engine
