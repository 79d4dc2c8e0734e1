// Canonical Huffman table construction with code-space validation.
#include "engine/decoders/huffman_table.h"

#include <algorithm>

namespace engine {

HuffmanTable::HuffmanTable(unsigned rootBits, unsigned maxSymbols)
    : rootBits_(rootBits),
      // Every code longer than the root adds at most one sub-table of 2^(16-root) entries.
      table_((std::size_t{1} << rootBits) + (std::size_t{maxSymbols} << (kMaxLength - rootBits))),
      subBits_(std::size_t{1} << rootBits),
      codes_(maxSymbols) {}

void HuffmanTable::SetConstant(unsigned symbol) {
  std::fill_n(table_.begin(), std::size_t{1} << rootBits_, symbol & 0xFFFF);
}

bool HuffmanTable::Build(const std::uint8_t* lengths, unsigned count) {
  if (count > codes_.size()) return false;
  unsigned perLength[kMaxLength + 1] = {};
  for (unsigned i = 0; i < count; ++i) {
    if (lengths[i] > kMaxLength) return false;
    ++perLength[lengths[i]];
  }
  perLength[0] = 0;
  std::uint32_t space = 0;
  for (unsigned len = 1; len <= kMaxLength; ++len) space += perLength[len] << (kMaxLength - len);
  const std::size_t rootSize = std::size_t{1} << rootBits_;
  if (space == 0) {
    std::fill_n(table_.begin(), rootSize, kInvalid);
    return true;
  }
  if (space != (1u << kMaxLength)) return false;

  std::uint32_t next[kMaxLength + 2] = {};
  for (unsigned len = 1; len <= kMaxLength; ++len)
    next[len + 1] = (next[len] + perLength[len]) << 1;

  std::fill(subBits_.begin(), subBits_.end(), 0);
  for (unsigned sym = 0; sym < count; ++sym) {
    const unsigned len = lengths[sym];
    if (len == 0) continue;
    const std::uint32_t code = next[len]++;
    codes_[sym] = static_cast<std::uint16_t>(code);
    if (len > rootBits_) {
      std::uint8_t& sb = subBits_[code >> (len - rootBits_)];
      sb = std::max<std::uint8_t>(sb, static_cast<std::uint8_t>(len - rootBits_));
    }
  }
  // Link entries and sub-table placement.
  std::uint32_t offset = static_cast<std::uint32_t>(rootSize);
  for (std::size_t prefix = 0; prefix < rootSize; ++prefix) {
    if (subBits_[prefix] == 0) continue;
    table_[prefix] = kLink | (std::uint32_t{subBits_[prefix]} << 16) | offset;
    offset += 1u << subBits_[prefix];
  }
  for (unsigned sym = 0; sym < count; ++sym) {
    const unsigned len = lengths[sym];
    if (len == 0) continue;
    const std::uint32_t code = codes_[sym];
    const std::uint32_t entry = (len << 16) | sym;
    if (len <= rootBits_) {
      const unsigned shift = rootBits_ - len;
      std::fill_n(table_.begin() + (std::size_t{code} << shift), std::size_t{1} << shift, entry);
    } else {
      const unsigned extra = len - rootBits_;
      const std::uint32_t link = table_[code >> extra];
      const unsigned sb = (link >> 16) & 31;
      const std::size_t base =
          (link & 0xFFFF) + (std::size_t{code & ((1u << extra) - 1)} << (sb - extra));
      std::fill_n(table_.begin() + base, std::size_t{1} << (sb - extra), entry);
    }
  }
  return true;
}

}  // namespace engine
