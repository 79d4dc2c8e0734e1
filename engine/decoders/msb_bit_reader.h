// MSB-first bit reader over compressed bytes pulled in blocks (LHA, ARJ, ZOO, BH codecs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace engine {

// Pulls the next block of compressed bytes into `dst` (at most `capacity`) and returns
// how many it stored; 0 means the input is exhausted. The frame binds this to its
// ReadBlock, which limits reading to the member's packed size and decrypts when asked.
using ByteSourceFn = std::function<std::size_t(std::uint8_t* dst, std::size_t capacity)>;

// Bits are kept left-aligned in a 64-bit word: the next bit to read is bit 63. After
// Refill() at least 57 bits are buffered, so a symbol of up to 16 bits plus a position
// code plus its extra bits (at most 47 bits together) needs one refill. Past the end of
// the input zero bytes are supplied, as the original readers do; Overrun() tells whether
// any of those were consumed, which the decoders report as a truncated stream.
class MsbBitReader {
 public:
  static constexpr std::size_t kBlockSize = 32768;

  // Reads from a block source (owns a 32 KiB buffer).
  explicit MsbBitReader(ByteSourceFn source) : source_(std::move(source)), buffer_(kBlockSize) {}
  // Reads a whole input held in memory; `data` must outlive the reader. No copy is made.
  explicit MsbBitReader(std::span<const std::uint8_t> data)
      : cur_(data.data()), end_(data.data() + data.size()) {}

  MsbBitReader(const MsbBitReader&) = delete;
  MsbBitReader& operator=(const MsbBitReader&) = delete;

  // Tops the bit buffer up to at least 57 bits.
  void Refill() {
    if (end_ - cur_ >= 8) {
      bits_ |= LoadBe64(cur_) >> count_;
      cur_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      RefillSlow();
    }
  }
  // The next `n` bits (1..32) without consuming them; needs a Refill() covering them.
  std::uint32_t Peek(unsigned n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
  // Drops `n` bits (0..57) already buffered.
  void Consume(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Reads `n` bits (0..32).
  std::uint32_t Read(unsigned n) {
    if (n == 0) return 0;
    if (count_ < n) Refill();
    const std::uint32_t v = Peek(n);
    Consume(n);
    return v;
  }
  // True when bits beyond the end of the input were consumed.
  bool Overrun() const { return padBytes_ * 8 > count_; }
  // Bytes of real input still unread (buffered bits not counted).
  std::size_t Available() const { return static_cast<std::size_t>(end_ - cur_); }

  // Direct access for decoders' inner loops: they copy these into locals, run while
  // Available() >= 8 using the same branchless refill, and store them back.
  std::uint64_t& Bits() { return bits_; }
  unsigned& Count() { return count_; }
  const std::uint8_t*& Cursor() { return cur_; }
  const std::uint8_t* End() const { return end_; }

  static std::uint64_t LoadBe64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__GNUC__)
    return __builtin_bswap64(v);
#else
    return ((v & 0xFFull) << 56) | ((v & 0xFF00ull) << 40) | ((v & 0xFF0000ull) << 24) |
           ((v & 0xFF000000ull) << 8) | ((v >> 8) & 0xFF000000ull) | ((v >> 24) & 0xFF0000ull) |
           ((v >> 40) & 0xFF00ull) | (v >> 56);
#endif
  }

 private:
  void RefillSlow() {
    while (count_ <= 56) {
      if (cur_ == end_ && !FetchBlock()) {
        // Past the end: zeros, counted so Overrun() can tell.
        ++padBytes_;
        count_ += 8;
        continue;
      }
      bits_ |= static_cast<std::uint64_t>(*cur_++) << (56 - count_);
      count_ += 8;
    }
  }
  bool FetchBlock() {
    if (!source_ || exhausted_) return false;
    const std::size_t got = source_(buffer_.data(), buffer_.size());
    if (got == 0) {
      exhausted_ = true;
      return false;
    }
    cur_ = buffer_.data();
    end_ = cur_ + (got < buffer_.size() ? got : buffer_.size());
    return true;
  }

  ByteSourceFn source_;
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* cur_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
  std::uint64_t padBytes_ = 0;
  bool exhausted_ = false;
};

}  // namespace engine
