// LArc -lzs- and -lz5- decoding.
#include "engine/decoders/larc_decoder.h"

#include <cstring>

#include "engine/core/errors.h"

namespace engine {

namespace {

constexpr unsigned kLz5Ring = 4096;
constexpr unsigned kLzsRing = 2048;

}  // namespace

LArcDecoder::LArcDecoder(TLArcMethod method) : method_(method) {
  if (method == TLArcMethod::lmLz5) {
    // The history LArc starts from: 13 copies of every byte value, the values rising,
    // the values falling, 128 zeros, 110 spaces, then 18 zeros where writing begins.
    ring_.assign(kLz5Ring, 0);
    unsigned at = 0;
    for (unsigned v = 0; v < 256; ++v, at += 13) std::memset(&ring_[at], static_cast<int>(v), 13);
    for (unsigned v = 0; v < 256; ++v) ring_[at++] = static_cast<std::uint8_t>(v);
    for (unsigned v = 0; v < 256; ++v) ring_[at++] = static_cast<std::uint8_t>(255 - v);
    at += 128;
    std::memset(&ring_[at], ' ', 110);
    pos_ = kLz5Ring - 18;
  } else {
    ring_.assign(kLzsRing, ' ');
    pos_ = kLzsRing - 17;
  }
}

int LArcDecoder::Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size) {
  const unsigned mask = static_cast<unsigned>(ring_.size() - 1);
  std::uint64_t remaining = size;
  unsigned flags = 0;  // -lz5-: flag bits left in the low byte, with a marker bit above
  auto emit = [&](std::uint8_t b) {
    ring_[pos_] = b;
    pos_ = (pos_ + 1) & mask;
    out.Put(b);
    --remaining;
  };
  while (remaining > 0) {
    bool literal;
    unsigned from = 0, length = 0;
    if (method_ == TLArcMethod::lmLzs) {
      // Bit 1: an 8-bit literal; bit 0: an 11-bit position and a 4-bit length - 2.
      literal = in.Read(1) != 0;
      if (!literal) {
        from = in.Read(11);
        length = in.Read(4) + 2;
      }
    } else {
      // A flag byte, least significant bit first, covers the next eight items:
      // 1 a literal byte, 0 a match of two bytes (position low 8 bits; then position
      // high 4 bits and length - 3).
      if (flags <= 1) flags = in.Read(8) | 0x100;
      literal = (flags & 1) != 0;
      flags >>= 1;
      if (!literal) {
        const unsigned b0 = in.Read(8);
        const unsigned b1 = in.Read(8);
        from = b0 | ((b1 & 0xF0) << 4);
        length = (b1 & 0x0F) + 3;
      }
    }
    if (literal) {
      emit(static_cast<std::uint8_t>(in.Read(8)));
    } else {
      for (unsigned k = 0; k < length && remaining > 0; ++k) emit(ring_[(from + k) & mask]);
    }
    if (out.Failed()) break;
    if (in.Overrun()) {
      out.Flush();
      return kErrReadingFile;
    }
  }
  out.Flush();
  return out.Failed() ? kErrWritingFile : 0;
}

int LArcDecoder::DecodeBuffer(TLArcMethod method, std::span<const std::uint8_t> packed,
                              std::uint64_t size, std::vector<std::uint8_t>& output) {
  output.clear();
  LArcDecoder decoder(method);
  MsbBitReader in(packed);
  OutputWindow window(16, [&output](const std::uint8_t* data, std::size_t count) {
    output.insert(output.end(), data, data + count);
    return true;
  });
  return decoder.Decode(in, window, size);
}

}  // namespace engine
