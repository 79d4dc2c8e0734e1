// Unshrink: LZW codes of 9 to 13 bits, control code 256, free slots reused lowest first.
#include "engine/decoders/unshrink.h"

#include <algorithm>

namespace engine {

namespace {
using enum CodecStatus;
constexpr std::uint16_t kFree = 0xFFFF;
constexpr unsigned kFirstFree = 257;
constexpr unsigned kMaxCodeBits = 13;
// Strings are spelled backwards into the stack; the longest one a valid table can hold is
// one byte per table entry.
constexpr std::size_t kStackSize = 8191;
}  // namespace

Unshrinker::Unshrinker()
    : out_(32768), parent_(kTableSize), value_(kTableSize), isParent_(kTableSize), stack_(kStackSize) {}

void Unshrinker::Reset(std::uint64_t uncompressedSize) { limit_ = uncompressedSize; }

// Frees every code 257 and above that no other code extends.
void Unshrinker::PartialClear() {
  std::fill(isParent_.begin(), isParent_.end(), std::uint8_t{0});
  for (unsigned c = kFirstFree; c < kTableSize; ++c)
    if (parent_[c] != kFree) isParent_[parent_[c]] = 1;
  for (unsigned c = kFirstFree; c < kTableSize; ++c)
    if (!isParent_[c]) parent_[c] = kFree;
}

CodecStatus Unshrinker::Decode(IByteSource& source, IByteSink& sink) {
  reader_.Reset(&source);
  out_.Reset(&sink, limit_);
  const CodecStatus s = Run();
  out_.Flush();
  if (out_.Stopped()) return csStopped;
  return s == csOk ? csEnd : s;
}

CodecStatus Unshrinker::Run() {
  if (limit_ == 0) return csEnd;
  for (unsigned c = 0; c < kTableSize; ++c) {
    parent_[c] = c < 256 ? 0 : kFree;
    value_[c] = static_cast<std::uint8_t>(c);
  }
  unsigned codeBits = 9;
  std::uint32_t code = 0;
  if (!reader_.Read(codeBits, code) || code > 255) return csBadBlock;
  out_.Put(static_cast<std::uint8_t>(code));
  unsigned prev = code;
  std::uint8_t prevFirst = static_cast<std::uint8_t>(code);  // first byte of prev's string
  unsigned nextFree = kFirstFree;

  std::uint8_t* const stackEnd = stack_.data() + stack_.size();
  while (!out_.IsFull()) {
    if (out_.Stopped()) return csOk;
    if (!reader_.Read(codeBits, code)) return limit_ == kNoOutputLimit ? csEnd : csBadBlock;
    if (code == 256) {
      std::uint32_t sub = 0;
      if (!reader_.Read(codeBits, sub)) return limit_ == kNoOutputLimit ? csEnd : csBadBlock;
      if (sub == 1) {
        if (++codeBits > kMaxCodeBits) return csBadBlock;
      } else if (sub == 2) {
        PartialClear();
        nextFree = kFirstFree;
      } else {
        return csBadBlock;
      }
      continue;
    }

    // Spell the string backwards. A free code is the one being defined by this very step
    // (the previous string plus its own first byte).
    std::uint8_t* p = stackEnd;
    unsigned c = code;
    if (code >= kFirstFree && parent_[code] == kFree) {
      *--p = prevFirst;
      c = prev;
    }
    while (c >= kFirstFree) {
      if (p == stack_.data()) return csStackOverflow;  // only a looping table gets here
      if (parent_[c] == kFree) return csBadBlock;
      *--p = value_[c];
      c = parent_[c];
    }
    if (p == stack_.data()) return csStackOverflow;
    *--p = static_cast<std::uint8_t>(c);
    const std::uint8_t first = *p;

    std::size_t n = static_cast<std::size_t>(stackEnd - p);
    if (n > out_.Room()) n = static_cast<std::size_t>(out_.Room());
    for (std::size_t i = 0; i < n; ++i) out_.Put(p[i]);

    // The previous string plus this string's first byte becomes the lowest free code.
    while (nextFree < kTableSize && parent_[nextFree] != kFree) ++nextFree;
    if (nextFree < kTableSize) {
      parent_[nextFree] = static_cast<std::uint16_t>(prev);
      value_[nextFree] = first;
      ++nextFree;
    }
    prev = code;
    prevFirst = first;
  }
  return csOk;
}

CodecStatus UnshrinkBuffer(std::span<const std::uint8_t> in, std::uint64_t uncompressedSize,
                           std::vector<std::uint8_t>& out, std::size_t maxOut) {
  Unshrinker unshrinker;
  unshrinker.Reset(uncompressedSize);
  MemorySource source(in);
  VectorSink sink(out, maxOut);
  return unshrinker.Decode(source, sink);
}

}  // namespace engine
