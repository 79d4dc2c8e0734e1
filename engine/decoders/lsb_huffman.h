// Builds two-level lookup tables for canonical prefix codes read LSB-first (deflate, implode).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace engine {

// How a set of code lengths fits together (Kraft sum).
enum class CodeShape : std::uint8_t {
  cpComplete,        // every bit pattern decodes
  cpIncomplete,      // some patterns decode to nothing (those entries are `invalid`)
  cpEmpty,           // no code has a length
  cpOversubscribed,  // more codes than patterns: no table is built
  cpTooBig,          // the table does not fit its capacity (cannot happen with the sizes used)
};

struct CodeBuildResult {
  CodeShape shape;
  unsigned usedCodes;  // codes with a non-zero length
};

namespace lsb_huffman_detail {
inline constexpr std::array<std::uint8_t, 256> kReverse8 = [] {
  std::array<std::uint8_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = 0;
    for (unsigned b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
    t[i] = static_cast<std::uint8_t>(r);
  }
  return t;
}();
// The low `len` (1..16) bits of `code` in reverse order.
inline unsigned Reverse(unsigned code, unsigned len) {
  const unsigned r16 = (static_cast<unsigned>(kReverse8[code & 0xFF]) << 8) | kReverse8[(code >> 8) & 0xFF];
  return r16 >> (16 - len);
}
}  // namespace lsb_huffman_detail

// Fills `table` for the code given by `lengths[0..count)` (0 = symbol unused, at most
// `maxLength` <= 16). Codes are canonical: shorter codes first, equal lengths by symbol,
// the first bit read being the code's most significant bit, so the table is indexed by the
// next `primaryBits` bits of an LSB-first bit buffer.
//
// Layout: entries [0, 2^primaryBits) are the primary table; a code longer than that gets a
// sub-table appended after it, indexed by the following bits. Entries come from the
// callbacks: leaf(symbol, bits used within this table), link(index of the sub-table's first entry in
// `table`, its index bits), and `invalid` for patterns no code covers (incomplete codes only).
// Over-subscribed sets are rejected before anything is written. `table` must hold
// `capacity` entries; the result's usedCodes lets callers allow special cases.
template <class Entry, class Leaf, class Link>
CodeBuildResult BuildLsbHuffmanTable(const std::uint8_t* lengths, unsigned count, unsigned primaryBits,
                                     unsigned maxLength, Entry* table, std::size_t capacity, Entry invalid,
                                     Leaf leaf, Link link) {
  using lsb_huffman_detail::Reverse;
  unsigned lenCount[17] = {};
  for (unsigned s = 0; s < count; ++s) ++lenCount[lengths[s]];
  lenCount[0] = 0;

  int left = 1;  // patterns still free at the current length
  unsigned used = 0;
  for (unsigned len = 1; len <= maxLength; ++len) {
    left = left * 2 - static_cast<int>(lenCount[len]);
    if (left < 0) return {CodeShape::cpOversubscribed, 0};
    used += lenCount[len];
  }
  if (used == 0) {
    for (std::size_t i = 0; i < (std::size_t{1} << primaryBits); ++i) table[i] = invalid;
    return {CodeShape::cpEmpty, 0};
  }
  static_assert(std::is_trivially_copyable_v<Entry>);
  const bool complete = left == 0;
  const std::size_t primarySize = std::size_t{1} << primaryBits;
  if (primarySize > capacity) return {CodeShape::cpTooBig, used};

  // Symbols sorted by (length, symbol): the order of their canonical code values.
  unsigned offset[18];
  offset[1] = 0;
  for (unsigned len = 1; len <= 16; ++len) offset[len + 1] = offset[len] + lenCount[len];
  std::uint16_t sorted[320];
  if (count > 320) return {CodeShape::cpTooBig, used};
  for (unsigned s = 0; s < count; ++s)
    if (lengths[s] != 0) sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);

  // The primary table grows by doubling: at width w, entry i stands for every pattern whose
  // low w bits are i, so doubling copies each entry to its twin and a code of length w is
  // stored once. Patterns no code covers keep the `invalid` entry they started from.
  table[0] = invalid;
  unsigned width = 0;
  auto growTo = [&](unsigned bits) {
    for (; width < bits; ++width) std::memcpy(table + (std::size_t{1} << width), table, sizeof(Entry) << width);
  };

  unsigned code = 0;
  unsigned i = 0;
  std::size_t next = primarySize;  // first free entry after the primary table
  unsigned subPrefix = ~0u;        // the primary index of the sub-table being filled
  std::size_t subBase = 0;
  unsigned subBits = 0;
  for (unsigned len = 1; len <= maxLength; ++len) {
    if (lenCount[len] != 0) growTo(len < primaryBits ? len : primaryBits);
    for (unsigned k = 0; k < lenCount[len]; ++k, ++i, ++code) {
      const unsigned sym = sorted[i];
      const unsigned rev = Reverse(code, len);
      if (len <= primaryBits) {
        table[rev] = leaf(sym, len);
        continue;
      }
      const unsigned prefix = rev & static_cast<unsigned>(primarySize - 1);
      if (prefix != subPrefix) {
        // Codes sharing these first bits are consecutive here; the sub-table is as wide as
        // the longest of them needs.
        unsigned lastLen = len;
        unsigned c = code;
        unsigned l = len;
        unsigned remainingAtLen = lenCount[len] - k;
        const unsigned topBits = code >> (len - primaryBits);
        while (true) {
          // Advance to the next code in canonical order.
          ++c;
          if (--remainingAtLen == 0) {
            unsigned nl = l + 1;
            while (nl <= maxLength && lenCount[nl] == 0) {
              c <<= 1;
              ++nl;
            }
            if (nl > maxLength) break;
            c <<= 1;
            l = nl;
            remainingAtLen = lenCount[l];
          }
          if ((c >> (l - primaryBits)) != topBits) break;
          lastLen = l;
        }
        subPrefix = prefix;
        subBits = lastLen - primaryBits;
        subBase = next;
        next += std::size_t{1} << subBits;
        if (next > capacity) return {CodeShape::cpTooBig, used};
        if (!complete)
          for (std::size_t j = subBase; j < next; ++j) table[j] = invalid;
        table[prefix] = link(static_cast<unsigned>(subBase), subBits);
      }
      const unsigned subLen = len - primaryBits;
      const Entry e = leaf(sym, subLen);
      for (std::size_t j = rev >> primaryBits; j < (std::size_t{1} << subBits); j += std::size_t{1} << subLen)
        table[subBase + j] = e;
    }
    code <<= 1;
  }
  growTo(primaryBits);
  return {complete ? CodeShape::cpComplete : CodeShape::cpIncomplete, used};
}

}  // namespace engine
