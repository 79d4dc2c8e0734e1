// Power-of-two output ring of the LZ decoders: history for matches and output block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace engine {

// Receives one finished block of decoded bytes; false when it could not be written
// (the frame binds this to its WriteBlock, which updates the CRC).
using ByteSinkFn = std::function<bool(const std::uint8_t* data, std::size_t count)>;

// The ring holds Size() bytes plus kSlack bytes past the end, so the decoders' word
// copies may overrun a match by up to 8 bytes without a bounds check. Decoders write at
// Pos() and call Wrap() when Pos() reaches Size(); the whole ring then goes to the sink.
class OutputWindow {
 public:
  static constexpr std::size_t kSlack = 16;

  // `ringBits` gives the size (2^ringBits); every byte starts as `fill`, the contents
  // the format defines for history before the first byte.
  OutputWindow(unsigned ringBits, ByteSinkFn sink, std::uint8_t fill = 0)
      : ring_((std::size_t{1} << ringBits) + kSlack, fill),
        size_(std::size_t{1} << ringBits),
        sink_(std::move(sink)) {}

  std::uint8_t* Data() { return ring_.data(); }
  std::size_t Size() const { return size_; }
  std::size_t Mask() const { return size_ - 1; }
  std::size_t& Pos() { return pos_; }
  // Bytes handed to the sink so far plus those waiting in the ring.
  std::uint64_t Produced() const { return delivered_ + (pos_ - flushed_); }
  bool Failed() const { return failed_; }

  // Hands [flushed, Pos()) to the sink; Pos() == Size() also wraps to 0.
  bool Flush() {
    if (pos_ > flushed_ && !failed_) {
      if (sink_ && !sink_(ring_.data() + flushed_, pos_ - flushed_)) failed_ = true;
      delivered_ += pos_ - flushed_;
    }
    flushed_ = pos_;
    if (pos_ == size_) pos_ = flushed_ = 0;
    return !failed_;
  }
  // Stores one byte, wrapping (and flushing) at the end of the ring.
  bool Put(std::uint8_t b) {
    ring_[pos_++] = b;
    return pos_ != size_ || Flush();
  }

 private:
  std::vector<std::uint8_t> ring_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::size_t flushed_ = 0;
  std::uint64_t delivered_ = 0;
  bool failed_ = false;
  ByteSinkFn sink_;
};

}  // namespace engine
