// Memory stream.
#include "engine/core/stream.h"

#include <algorithm>
#include <cstring>

namespace engine {

std::int64_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = pos_ < data_.size() ? std::min(count, data_.size() - pos_) : 0;
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  if (count) std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
  return static_cast<std::int64_t>(count);
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = static_cast<std::int64_t>(pos_);
  if (origin == TSeekOrigin::soEnd) base = static_cast<std::int64_t>(data_.size());
  const std::int64_t p = base + offset;
  if (p < 0) return -1;
  pos_ = static_cast<std::size_t>(p);
  return p;
}

}  // namespace engine
