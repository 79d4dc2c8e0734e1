// Length-limited Huffman code construction and an LSB-first bit writer for the deflate coder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace engine::deflate_detail {

// Code lengths for `count` symbols with frequencies `freq`, none longer than `maxBits`;
// unused symbols get 0. At least two symbols always get a code (the first unused ones are
// added with length 1 when fewer are used), since some inflaters reject a code with a
// single symbol. Lengths come from an optimal Huffman tree (in-place construction over the
// frequencies in ascending order); when the tree is deeper than `maxBits`, the deepest
// leaves are lifted to `maxBits` and the Kraft sum is repaired by pushing the shallowest
// possible leaves one level down, then the lengths are given out again by frequency.
// Requirements: count <= 288, maxBits <= 15, every frequency < 65536.
inline void BuildCodeLengths(const std::uint32_t* freq, int count, int maxBits,
                             std::uint8_t* lens) {
  std::uint32_t keys[288];  // frequency << 16 | symbol, sorted ascending
  int n = 0;
  for (int i = 0; i < count; ++i) {
    lens[i] = 0;
    if (freq[i] != 0) keys[n++] = (freq[i] << 16) | static_cast<std::uint32_t>(i);
  }
  if (n < 2) {
    for (int i = 0; i < count && n < 2; ++i) {
      if (freq[i] == 0) {
        lens[i] = 1;
        ++n;
      }
    }
    for (int i = 0; i < count; ++i)
      if (freq[i] != 0) lens[i] = 1;
    return;
  }
  std::sort(keys, keys + n);

  // Moffat-Katajainen: A[] first holds the weights, then parent links, then depths.
  std::uint32_t a[288];
  for (int i = 0; i < n; ++i) a[i] = keys[i] >> 16;
  int leaf = 0;
  int node = 0;
  for (int t = 0; t < n - 1; ++t) {
    if (leaf >= n || (node < t && a[node] < a[leaf])) {
      a[t] = a[node];
      a[node++] = static_cast<std::uint32_t>(t);
    } else {
      a[t] = a[leaf++];
    }
    if (leaf >= n || (node < t && a[node] < a[leaf])) {
      a[t] += a[node];
      a[node++] = static_cast<std::uint32_t>(t);
    } else {
      a[t] += a[leaf++];
    }
  }
  a[n - 2] = 0;
  for (int t = n - 3; t >= 0; --t) a[t] = a[a[t]] + 1;
  int avail = 1;
  int used = 0;
  std::uint32_t depth = 0;
  int root = n - 2;
  int next = n - 1;
  while (avail > 0) {
    while (root >= 0 && a[root] == depth) {
      ++used;
      --root;
    }
    while (avail > used) {
      a[next--] = depth;
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
  // a[i] is now the length of keys[i]; a[0] is the longest.
  if (static_cast<int>(a[0]) <= maxBits) {
    for (int i = 0; i < n; ++i) lens[keys[i] & 0xFFFF] = static_cast<std::uint8_t>(a[i]);
    return;
  }
  std::uint32_t blCount[16] = {};
  for (int i = 0; i < n; ++i) blCount[std::min<std::uint32_t>(a[i], maxBits)]++;
  std::uint32_t total = 0;
  for (int len = 1; len <= maxBits; ++len) total += blCount[len] << (maxBits - len);
  const std::uint32_t full = 1u << maxBits;
  while (total > full) {
    // Drop one leaf from the deepest level and split a leaf of the deepest level below
    // maxBits into two: the leaf count stays, the Kraft sum falls by one unit.
    blCount[maxBits]--;
    for (int len = maxBits - 1; len > 0; --len) {
      if (blCount[len] != 0) {
        blCount[len]--;
        blCount[len + 1] += 2;
        break;
      }
    }
    --total;
  }
  int i = 0;
  for (int len = maxBits; len > 0; --len)
    for (std::uint32_t k = blCount[len]; k > 0; --k)
      lens[keys[i++] & 0xFFFF] = static_cast<std::uint8_t>(len);
}

inline std::uint32_t ReverseBits(std::uint32_t code, int len) {
  std::uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// Canonical codes (RFC 1951, 3.2.2) for `lens`, bit-reversed for LSB-first output.
inline void BuildCanonicalCodes(const std::uint8_t* lens, int count, std::uint16_t* codes) {
  std::uint32_t blCount[16] = {};
  for (int i = 0; i < count; ++i) blCount[lens[i]]++;
  blCount[0] = 0;
  std::uint32_t nextCode[16] = {};
  std::uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + blCount[len - 1]) << 1;
    nextCode[len] = code;
  }
  for (int i = 0; i < count; ++i) {
    const int len = lens[i];
    codes[i] = len ? static_cast<std::uint16_t>(ReverseBits(nextCode[len]++, len)) : 0;
  }
}

// LSB-first bit writer over a byte buffer that the caller sized generously: each Flush()
// stores 8 bytes at the write pointer, so 8 bytes of slack must follow the last real byte.
// Put() takes at most 56 bits minus what is pending; one Flush() after every symbol (at
// most 48 bits) keeps that true.
struct BitWriter {
  std::uint64_t bits = 0;
  int count = 0;
  std::uint8_t* out = nullptr;

  void Put(std::uint64_t value, int n) {
    bits |= value << count;
    count += n;
  }
  void Flush() {
    std::memcpy(out, &bits, 8);  // little-endian targets only
    const int bytes = count >> 3;
    out += bytes;
    bits >>= bytes * 8;
    count &= 7;
  }
  // Pads to a byte boundary and writes the pending byte.
  void AlignToByte() {
    Flush();
    if (count > 0) {
      *out++ = static_cast<std::uint8_t>(bits);
      bits = 0;
      count = 0;
    }
  }
};

}  // namespace engine::deflate_detail
