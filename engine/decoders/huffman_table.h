// Table-driven decoding of canonical MSB-first Huffman codes of up to 16 bits (LHA family).
#pragma once

#include <cstdint>
#include <vector>

namespace engine {

// A primary table indexed by the next `rootBits` bits, with one sub-table per prefix of
// the longer codes. Codes are assigned as the LHA family does: shorter codes first,
// equal lengths in symbol order. Entries pack the symbol (bits 0-15) and the code's
// full length (bits 16-20); a link entry (kLink) holds the sub-table offset and its
// index width instead. kInvalid marks lookups in a table without any code.
class HuffmanTable {
 public:
  static constexpr std::uint32_t kLink = 0x80000000u;
  static constexpr std::uint32_t kInvalid = 0x40000000u;
  static constexpr unsigned kMaxLength = 16;

  // `maxSymbols` bounds the alphabet; the storage is allocated here, once.
  HuffmanTable(unsigned rootBits, unsigned maxSymbols);

  // Builds from `count` code lengths (0 = unused). False when a length exceeds 16 or
  // the lengths over- or under-subscribe the code space. All lengths 0 gives an empty
  // table whose every lookup is kInvalid.
  bool Build(const std::uint8_t* lengths, unsigned count);
  // Every lookup gives `symbol` with a length of 0 bits (the single-symbol form).
  void SetConstant(unsigned symbol);

  // The entry for the bits at the top of `bits` (left-aligned; at least 16 valid).
  std::uint32_t Lookup(std::uint64_t bits) const {
    std::uint32_t e = table_[bits >> (64 - rootBits_)];
    if (e & kLink) {
      e = table_[(e & 0xFFFF) + ((bits << rootBits_) >> (64 - ((e >> 16) & 31)))];
    }
    return e;
  }
  static unsigned Symbol(std::uint32_t e) { return e & 0xFFFF; }
  static unsigned Length(std::uint32_t e) { return (e >> 16) & 31; }

 private:
  unsigned rootBits_;
  std::vector<std::uint32_t> table_;
  std::vector<std::uint8_t> subBits_;
  std::vector<std::uint16_t> codes_;
};

}  // namespace engine
