// LZHUF (-lh1-) decoding: adaptive Huffman tree with frequency-ordered nodes.
#include "engine/decoders/lzhuf_coder.h"

#include <array>
#include <cstring>

#include "engine/core/errors.h"

namespace engine {

namespace {

// The fixed prefix code of a position's upper 6 bits, indexed by the next 8 input bits:
// 1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7, 16 of 8, assigned in order.
struct PositionCode {
  std::array<std::uint8_t, 256> upper{};
  std::array<std::uint8_t, 256> length{};
  constexpr PositionCode() {
    constexpr unsigned kCounts[] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
    unsigned index = 0, value = 0;
    for (unsigned len = 3; len <= 8; ++len) {
      for (unsigned k = 0; k < kCounts[len]; ++k, ++value) {
        for (unsigned n = 0; n < (1u << (8 - len)); ++n, ++index) {
          upper[index] = static_cast<std::uint8_t>(value);
          length[index] = static_cast<std::uint8_t>(len);
        }
      }
    }
  }
};
constexpr PositionCode kPositionCode;

}  // namespace

LzhufCoder::LzhufCoder() { StartTree(); }

void LzhufCoder::StartTree() {
  for (unsigned i = 0; i < kNChar; ++i) {
    freq_[i] = 1;
    son_[i] = static_cast<std::uint16_t>(i + kT);
    parent_[i + kT] = static_cast<std::uint16_t>(i);
  }
  for (unsigned i = 0, j = kNChar; j <= kR; i += 2, ++j) {
    freq_[j] = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
    son_[j] = static_cast<std::uint16_t>(i);
    parent_[i] = parent_[i + 1] = static_cast<std::uint16_t>(j);
  }
  freq_[kT] = 0xFFFF;  // sentinel that stops the search in Update
  parent_[kR] = 0;
}

// Halves the frequencies and rebuilds the tree, keeping the node order sorted.
void LzhufCoder::Rebuild() {
  unsigned j = 0;
  for (unsigned i = 0; i < kT; ++i) {
    if (son_[i] >= kT) {
      freq_[j] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
      son_[j] = son_[i];
      ++j;
    }
  }
  for (unsigned i = 0, k = kNChar; k < kT; i += 2, ++k) {
    const std::uint16_t f = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
    unsigned at = k;
    while (at > 0 && f < freq_[at - 1]) --at;
    std::memmove(&freq_[at + 1], &freq_[at], (k - at) * sizeof(freq_[0]));
    freq_[at] = f;
    std::memmove(&son_[at + 1], &son_[at], (k - at) * sizeof(son_[0]));
    son_[at] = static_cast<std::uint16_t>(i);
  }
  for (unsigned i = 0; i < kT; ++i) {
    const unsigned k = son_[i];
    parent_[k] = static_cast<std::uint16_t>(i);
    if (k < kT) parent_[k + 1] = static_cast<std::uint16_t>(i);
  }
}

void LzhufCoder::Update(unsigned symbol) {
  if (freq_[kR] == kMaxFreq) Rebuild();
  unsigned c = parent_[symbol + kT];
  do {
    const unsigned k = ++freq_[c];
    unsigned l = c + 1;
    if (k > freq_[l]) {
      while (k > freq_[++l]) {
      }
      --l;
      freq_[c] = freq_[l];
      freq_[l] = static_cast<std::uint16_t>(k);
      const unsigned i = son_[c];
      parent_[i] = static_cast<std::uint16_t>(l);
      if (i < kT) parent_[i + 1] = static_cast<std::uint16_t>(l);
      const unsigned j = son_[l];
      son_[l] = static_cast<std::uint16_t>(i);
      parent_[j] = static_cast<std::uint16_t>(c);
      if (j < kT) parent_[j + 1] = static_cast<std::uint16_t>(c);
      son_[c] = static_cast<std::uint16_t>(j);
      c = l;
    }
    c = parent_[c];
  } while (c != 0);
}

int LzhufCoder::Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size) {
  std::uint8_t* const ring = out.Data();
  const std::size_t mask = out.Mask();
  std::uint64_t remaining = size;
  int status = 0;
  while (remaining > 0) {
    // The tree is at most 24 levels deep (frequencies stay below 0x8000), so one refill
    // covers a symbol and its 8 to 14 position bits; the check keeps that an assumption
    // the code does not depend on.
    in.Refill();
    unsigned c = son_[kR];
    while (c < kT) {
      if (in.Count() == 0) in.Refill();
      c = son_[c + in.Peek(1)];
      in.Consume(1);
    }
    c -= kT;
    Update(c);
    if (c < 256) {
      out.Put(static_cast<std::uint8_t>(c));
      --remaining;
    } else {
      in.Refill();
      unsigned i = in.Peek(8);
      in.Consume(8);
      const unsigned upper = kPositionCode.upper[i];
      const unsigned more = kPositionCode.length[i] - 2u;
      i = (i << more) | in.Read(more);
      const std::size_t distance = (upper << 6) | (i & 0x3F);
      const std::size_t src = (out.Pos() - distance - 1) & mask;
      unsigned length = c - 253;
      if (length > remaining) length = static_cast<unsigned>(remaining);
      for (unsigned k = 0; k < length; ++k) out.Put(ring[(src + k) & mask]);
      remaining -= length;
    }
    if (out.Failed()) break;
    if (in.Overrun()) {
      status = kErrReadingFile;
      break;
    }
  }
  out.Flush();
  return out.Failed() ? kErrWritingFile : status;
}

int LzhufCoder::DecodeBuffer(std::span<const std::uint8_t> packed, std::uint64_t size,
                             std::vector<std::uint8_t>& output) {
  output.clear();
  LzhufCoder coder;
  MsbBitReader in(packed);
  OutputWindow window(
      kRingBits,
      [&output](const std::uint8_t* data, std::size_t count) {
        output.insert(output.end(), data, data + count);
        return true;
      },
      kFill);
  return coder.Decode(in, window, size);
}

}  // namespace engine
