// Output ring of the LZ-style legacy codecs (implode, reduce) and block buffer of shrink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/decoders/codec_io.h"

namespace engine {

// The output side of the LZ-style legacy codecs: a zero-filled ring whose contents leave in
// whole blocks each time it fills. Matches may reach before the first byte written: they
// read the zeros, as the original decoders' zero-filled windows gave.
class OutputRing {
 public:
  // `size` is a power of two at least as large as the codec's largest distance.
  explicit OutputRing(std::size_t size) : ring_(size), mask_(size - 1) {}

  void Reset(IByteSink* sink, std::uint64_t limit) {
    std::memset(ring_.data(), 0, ring_.size());
    sink_ = sink;
    pos_ = 0;
    flushedTo_ = 0;
    total_ = 0;
    limit_ = limit;
    stopped_ = false;
  }

  // Bytes still allowed before the output limit.
  std::uint64_t Room() const { return limit_ - total_; }
  bool IsFull() const { return total_ == limit_; }
  bool Stopped() const { return stopped_; }
  std::uint64_t Total() const { return total_; }

  // Callers keep within Room().
  void Put(std::uint8_t b) {
    ring_[pos_++] = b;
    ++total_;
    if (pos_ == ring_.size()) FlushFull();
  }
  // Copies `length` bytes from `distance` back (1 <= distance <= ring size), clipped at the
  // output limit.
  void Copy(std::size_t distance, std::size_t length) {
    if (length > Room()) length = static_cast<std::size_t>(Room());
    std::size_t from = (pos_ - distance) & mask_;
    while (length-- != 0) {
      ring_[pos_++] = ring_[from];
      from = (from + 1) & mask_;
      ++total_;
      if (pos_ == ring_.size()) FlushFull();
    }
  }
  // Hands out what is pending (at the end of the stream or before reporting a failure).
  void Flush() {
    if (pos_ != flushedTo_ && !stopped_) stopped_ = !sink_->Write(ring_.data() + flushedTo_, pos_ - flushedTo_);
    flushedTo_ = pos_;  // the bytes stay in the ring as history
  }

 private:
  void FlushFull() {
    if (!stopped_) stopped_ = !sink_->Write(ring_.data() + flushedTo_, ring_.size() - flushedTo_);
    pos_ = 0;
    flushedTo_ = 0;
  }

  std::vector<std::uint8_t> ring_;
  std::size_t mask_;
  IByteSink* sink_ = nullptr;
  std::size_t pos_ = 0;
  std::size_t flushedTo_ = 0;
  std::uint64_t total_ = 0;
  std::uint64_t limit_ = kNoOutputLimit;
  bool stopped_ = false;
};

}  // namespace engine
