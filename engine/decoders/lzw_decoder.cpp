// Unix compress (.Z) LZW decoding.
#include "engine/decoders/lzw_decoder.h"

#include <algorithm>
#include <cstring>

#include "engine/core/errors.h"

namespace engine {

namespace {

constexpr std::size_t kInBlock = 32768;
constexpr std::size_t kOutBlock = 32768;
constexpr unsigned kInitBits = 9;
constexpr unsigned kClear = 256;

// LSB-first bit reader over the block source; only whole codes are handed out.
class LsbCodeReader {
 public:
  LsbCodeReader(const ByteSourceFn& source, std::uint64_t& consumed)
      : source_(source), consumed_(consumed), buffer_(kInBlock) {}

  // Reads `width` bits; false at the end of the input.
  bool Read(unsigned width, unsigned& code) {
    if (count_ < width) {
      Fill();
      if (count_ < width) return false;
    }
    code = static_cast<unsigned>(bits_ & ((1u << width) - 1));
    bits_ >>= width;
    count_ -= width;
    return true;
  }
  // Skips `n` bits, fewer when the input ends.
  void Skip(std::uint64_t n) {
    while (n > 0) {
      if (count_ == 0) {
        Fill();
        if (count_ == 0) return;
      }
      const unsigned step = static_cast<unsigned>(std::min<std::uint64_t>(n, count_));
      bits_ = step == 64 ? 0 : bits_ >> step;
      count_ -= step;
      n -= step;
    }
  }

 private:
  void Fill() {
    while (count_ <= 56) {
      if (cur_ == end_) {
        if (done_) return;
        const std::size_t got = source_ ? source_(buffer_.data(), buffer_.size()) : 0;
        if (got == 0) {
          done_ = true;
          return;
        }
        cur_ = buffer_.data();
        end_ = cur_ + std::min(got, buffer_.size());
        consumed_ += end_ - cur_;
      }
      bits_ |= std::uint64_t{*cur_++} << count_;
      count_ += 8;
    }
  }

  const ByteSourceFn& source_;
  std::uint64_t& consumed_;
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* cur_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
  bool done_ = false;
};

}  // namespace

LzwDecoder::LzwDecoder() : prefix_(kTableSize), suffix_(kTableSize), stack_(kTableSize + 1) {}

int LzwDecoder::Decode(const ByteSourceFn& source, const ByteSinkFn& sink) {
  consumed_ = produced_ = 0;
  LsbCodeReader in(source, consumed_);
  unsigned magic0 = 0, magic1 = 0, flags = 0;
  if (!in.Read(8, magic0) || !in.Read(8, magic1) || !in.Read(8, flags) || magic0 != 0x1F ||
      magic1 != 0x9D) {
    return kErrCorruptInput;
  }
  if (flags & 0x60) return kErrIncompleteCodeSet;
  const unsigned maxBits = flags & 0x1F;
  const bool blockMode = (flags & 0x80) != 0;
  if (maxBits > kMaxBits) return kErrCorruptInput;
  const unsigned maxMaxCode = 1u << maxBits;

  std::vector<std::uint8_t> out(kOutBlock);
  std::size_t outPos = 0;
  auto flush = [&]() {
    if (outPos == 0) return true;
    produced_ += outPos;
    const bool ok = !sink || sink(out.data(), outPos);
    outPos = 0;
    return ok;
  };

  unsigned width = kInitBits;
  unsigned maxCode = (1u << width) - 1;
  unsigned freeCode = blockMode ? 257 : 256;
  unsigned codesInGroup = 0;  // codes read since the last group boundary
  int oldCode = -1;
  unsigned finChar = 0;
  // Moves to the next group boundary: a group is 8 codes of the current width.
  auto skipGroup = [&]() {
    if (codesInGroup % 8 != 0) in.Skip(std::uint64_t{8 - codesInGroup % 8} * width);
    codesInGroup = 0;
  };

  for (;;) {
    if (freeCode > maxCode) {
      skipGroup();
      ++width;
      maxCode = width == maxBits ? maxMaxCode : (1u << width) - 1;
    }
    unsigned code;
    if (!in.Read(width, code)) break;
    ++codesInGroup;
    if (oldCode == -1) {
      if (code >= 256) return flush(), kErrCorruptInput;
      finChar = code;
      oldCode = static_cast<int>(code);
      out[outPos++] = static_cast<std::uint8_t>(code);
      if (outPos == out.size() && !flush()) return kErrWritingFile;
      continue;
    }
    if (code == kClear && blockMode) {
      // The entry made after the clear lands on 256, which is never read as a string.
      freeCode = 256;
      skipGroup();
      width = kInitBits;
      maxCode = (1u << width) - 1;
      continue;
    }
    const unsigned inCode = code;
    std::size_t depth = 0;
    if (code >= freeCode) {
      if (code > freeCode) return flush(), kErrCorruptInput;
      stack_[depth++] = static_cast<std::uint8_t>(finChar);  // the KwKwK case
      code = static_cast<unsigned>(oldCode);
    }
    while (code >= 256) {
      if (depth >= kTableSize) return flush(), kErrCorruptInput;
      stack_[depth++] = suffix_[code];
      code = prefix_[code];
    }
    finChar = code;
    stack_[depth++] = static_cast<std::uint8_t>(code);
    while (depth > 0) {
      const std::size_t n = std::min(depth, out.size() - outPos);
      for (std::size_t k = 0; k < n; ++k) out[outPos + k] = stack_[depth - 1 - k];
      outPos += n;
      depth -= n;
      if (outPos == out.size() && !flush()) return kErrWritingFile;
    }
    if (freeCode < maxMaxCode) {
      prefix_[freeCode] = static_cast<std::uint16_t>(oldCode);
      suffix_[freeCode] = static_cast<std::uint8_t>(finChar);
      ++freeCode;
    }
    oldCode = static_cast<int>(inCode);
  }
  return flush() ? 0 : kErrWritingFile;
}

int LzwDecoder::DecodeBuffer(std::span<const std::uint8_t> packed,
                             std::vector<std::uint8_t>& output, std::size_t maxOutput) {
  output.clear();
  std::size_t at = 0;
  LzwDecoder decoder;
  return decoder.Decode(
      [&](std::uint8_t* dst, std::size_t capacity) {
        const std::size_t n = std::min(capacity, packed.size() - at);
        if (n != 0) std::memcpy(dst, packed.data() + at, n);
        at += n;
        return n;
      },
      [&](const std::uint8_t* data, std::size_t count) {
        if (output.size() + count > maxOutput) return false;
        output.insert(output.end(), data, data + count);
        return true;
      });
}

}  // namespace engine
