// Positioned reads through one block buffer, so that walking thousands of small headers
// costs a memcpy each instead of a seek and a read call each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/stream.h"

namespace engine {

class BufferedReader {
 public:
  static constexpr std::size_t kBufferSize = 65536;

  BufferedReader() : buffer_(kBufferSize) {}
  explicit BufferedReader(IStream* stream) : BufferedReader() { Reset(stream); }

  // Reads from `stream` from now on (nullptr detaches); the buffer is dropped.
  void Reset(IStream* stream) {
    stream_ = stream;
    bufStart_ = 0;
    bufLen_ = 0;
  }
  IStream* Stream() const { return stream_; }

  // Copies up to `count` bytes from file position `pos`. Returns the count copied (short at
  // the end of the file), or -1 on a seek or read error.
  std::int64_t ReadAt(std::int64_t pos, void* out, std::size_t count) {
    if (!stream_ || pos < 0) return -1;
    auto* dst = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < count) {
      const std::int64_t at = pos + static_cast<std::int64_t>(done);
      if (at >= bufStart_ && at < bufStart_ + static_cast<std::int64_t>(bufLen_)) {
        const std::size_t off = static_cast<std::size_t>(at - bufStart_);
        const std::size_t n = std::min(count - done, bufLen_ - off);
        std::memcpy(dst + done, buffer_.data() + off, n);
        done += n;
        continue;
      }
      // Large reads bypass the buffer.
      if (count - done >= kBufferSize) {
        if (stream_->Seek(at, TSeekOrigin::soBegin) != at) return -1;
        const std::int64_t n = stream_->Read(dst + done, count - done);
        if (n < 0) return -1;
        done += static_cast<std::size_t>(n);
        break;
      }
      if (!Fill(at)) return -1;
      if (bufLen_ == 0) break;  // end of file
    }
    return static_cast<std::int64_t>(done);
  }

  // True when exactly `count` bytes were read at `pos`.
  bool ReadExactAt(std::int64_t pos, void* out, std::size_t count) {
    return ReadAt(pos, out, count) == static_cast<std::int64_t>(count);
  }

 private:
  bool Fill(std::int64_t at) {
    bufStart_ = at;
    bufLen_ = 0;
    if (stream_->Seek(at, TSeekOrigin::soBegin) != at) return false;
    const std::int64_t n = stream_->Read(buffer_.data(), buffer_.size());
    if (n < 0) return false;
    bufLen_ = static_cast<std::size_t>(n);
    return true;
  }

  IStream* stream_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::int64_t bufStart_ = 0;
  std::size_t bufLen_ = 0;
};

}  // namespace engine
