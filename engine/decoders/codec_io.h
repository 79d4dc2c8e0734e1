// Byte source, block sink and status shared by the stand-alone decompression codecs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "engine/core/errors.h"

namespace engine {

// Compressed bytes in fixed-size input blocks. Each codec owns its input buffer and pulls
// from the source only when the buffer is (nearly) empty, so a source is called once per
// block, never per byte.
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Copies up to `capacity` next bytes into `buffer` and returns how many; `capacity` is
  // always at least kCodecInputBlock. 0 means the input has ended (end of the member,
  // read failure or cancel): the codec then stops asking.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
};

// Receives decoded bytes in whole blocks (at most one window at a time). The data pointer
// is valid only during the call.
class IByteSink {
 public:
  virtual ~IByteSink() = default;
  // Returns false to stop decoding at once (the codec then returns csStopped).
  virtual bool Write(const std::uint8_t* data, std::size_t count) = 0;
};

// The biggest input block a frame hands over in one read (the ZIP frame's ReadBlock size).
inline constexpr std::size_t kCodecInputBlock = 32768;
// No output limit: decode until the stream says it ends or the input ends.
inline constexpr std::uint64_t kNoOutputLimit = std::numeric_limits<std::uint64_t>::max();

// Outcome of a codec run. Failures carry the engine error code as their value, so a frame
// raises ErrorCode(status) directly.
enum class CodecStatus : std::int32_t {
  csOk = 0,       // no failure (internal steps)
  csEnd = 1,      // the stream is complete
  csStopped = 2,  // the sink asked to stop
  csBadBlock = kErrBadBlock,
  csIncompleteCodeSet = kErrIncompleteCodeSet,
  csBadLengths = kErrBadLengths,
  csAmbiguousTree = kErrAmbiguousShannonFano,
  csStackOverflow = kErrStackOverflow,
};

inline bool IsCodecError(CodecStatus s) { return static_cast<std::int32_t>(s) > 2; }
// The engine error code of a failed status; 0 for the others.
inline int ErrorCode(CodecStatus s) { return IsCodecError(s) ? static_cast<int>(s) : 0; }

// A source over bytes already in memory, handed out in blocks of at most `maxPiece`
// (tests use small pieces to exercise block boundaries).
class MemorySource final : public IByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> data,
                        std::size_t maxPiece = std::numeric_limits<std::size_t>::max())
      : data_(data), maxPiece_(maxPiece == 0 ? 1 : maxPiece) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t n = std::min({capacity, maxPiece_, data_.size() - pos_});
    if (n != 0) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t maxPiece_;
  std::size_t pos_ = 0;
};

// A sink appending to a vector, refusing (stopping the codec) past `maxSize` bytes.
class VectorSink final : public IByteSink {
 public:
  explicit VectorSink(std::vector<std::uint8_t>& out,
                      std::size_t maxSize = std::numeric_limits<std::size_t>::max())
      : out_(out), maxSize_(maxSize) {}
  bool Write(const std::uint8_t* data, std::size_t count) override {
    if (count > maxSize_ - out_.size()) return false;
    out_.insert(out_.end(), data, data + count);
    return true;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::size_t maxSize_;
};

}  // namespace engine
