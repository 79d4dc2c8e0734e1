// Explode: the PKWARE implode method (ZIP method 6), Shannon-Fano trees and a 4 or 8 KiB
// sliding window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/codec_io.h"
#include "engine/decoders/lsb_bit_reader.h"
#include "engine/decoders/output_ring.h"

namespace engine {

class Exploder {
 public:
  Exploder();

  // Prepares for one member. `flags` are its general purpose flags: bit 1 selects the
  // 8 KiB window (7 low distance bits, else 4 KiB and 6), bit 2 three trees (a literal tree
  // and minimum match 3, else literals as plain bytes and minimum match 2).
  // `uncompressedSize` ends the data (the format has no end code); kNoOutputLimit decodes
  // until the input ends.
  void Reset(std::uint16_t flags, std::uint64_t uncompressedSize);

  // Decodes the member, passing output to `sink` in blocks. Returns csEnd; csStopped when
  // the sink refused; csBadBlock for trees whose description is damaged or incomplete, an
  // unused code, or input ending before the uncompressed size; csAmbiguousTree for trees
  // with more codes than bit patterns. Matches reaching before the first byte copy zeros.
  CodecStatus Decode(IByteSource& source, IByteSink& sink);

  std::uint64_t TotalOut() const { return ring_.Total(); }

  // Table entry: bits 0-7 code length (for a link: the primary width), bits 8-11 a
  // sub-table's index width, bit 12 link, bit 14 unused pattern, bits 16-31 symbol or
  // sub-table start.
  static constexpr std::uint32_t kLinkFlag = 1u << 12;
  static constexpr std::uint32_t kInvalidFlag = 1u << 14;

 private:
  struct Tree {
    unsigned bits = 0;  // primary width
    std::vector<std::uint32_t> table;
  };
  CodecStatus ReadTree(Tree& tree, unsigned symbols, unsigned primaryBits);
  bool DecodeSymbol(const Tree& tree, unsigned& symbol);

  bool bigWindow_ = false;
  bool threeTrees_ = false;
  std::uint64_t limit_ = kNoOutputLimit;
  LsbBitReader reader_;
  OutputRing ring_;
  Tree literals_, lengths_, distances_;
};

// Explodes a whole buffer (tests, fuzzers). Output beyond `maxOut` bytes stops with csStopped.
CodecStatus ExplodeBuffer(std::span<const std::uint8_t> in, std::uint16_t flags, std::uint64_t uncompressedSize,
                          std::vector<std::uint8_t>& out, std::size_t maxOut = static_cast<std::size_t>(-1));

}  // namespace engine
