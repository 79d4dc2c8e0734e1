// LSB-first bit reader over a block-buffered byte source (implode, shrink, reduce).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/decoders/codec_io.h"

namespace engine {

// Bits are taken from each byte starting at its least significant bit. A 64-bit buffer is
// refilled a whole byte at a time; bits past the end of the input read as 0, and Ensure()
// tells whether the asked-for bits really exist.
class LsbBitReader {
 public:
  LsbBitReader() : buf_(kCodecInputBlock) {}

  void Reset(IByteSource* source) {
    source_ = source;
    next_ = end_ = buf_.data();
    eof_ = false;
    bits_ = 0;
    count_ = 0;
  }

  // Makes n (<= 56) bits available; false when the input ends first.
  bool Ensure(unsigned n) {
    if (count_ >= n) return true;
    return Refill(n);
  }
  std::uint32_t Peek(unsigned n) const { return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1)); }
  // Drops n bits; callers drop only bits that Ensure() found.
  void Consume(unsigned n) {
    bits_ >>= n;
    count_ -= n;
  }
  // Reads n (<= 32) bits into `value`; false (value undefined) when the input ends first.
  bool Read(unsigned n, std::uint32_t& value) {
    if (!Ensure(n)) return false;
    value = Peek(n);
    Consume(n);
    return true;
  }
  unsigned Available() const { return count_; }
  // Inverted next n bits, for codes sent with every bit complemented.
  std::uint32_t PeekInverted(unsigned n) const {
    return static_cast<std::uint32_t>(~bits_ & ((std::uint64_t{1} << n) - 1));
  }

 private:
  bool Refill(unsigned n) {
    while (count_ <= 56) {
      if (next_ == end_) {
        if (eof_) break;
        const std::size_t got = source_->Read(buf_.data(), buf_.size());
        if (got == 0) {
          eof_ = true;
          break;
        }
        next_ = buf_.data();
        end_ = next_ + got;
      }
      bits_ |= static_cast<std::uint64_t>(*next_++) << count_;
      count_ += 8;
    }
    return count_ >= n;
  }

  std::vector<std::uint8_t> buf_;
  IByteSource* source_ = nullptr;
  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  bool eof_ = false;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
};

}  // namespace engine
