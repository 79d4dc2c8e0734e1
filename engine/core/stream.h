// Byte streams the block layer reads and writes: files, memory, and nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace engine {

using platform::TSeekOrigin;

// A seekable byte stream. Read/Write return the count moved, or -1 on error.
class IStream {
 public:
  virtual ~IStream() = default;
  virtual std::int64_t Read(void* buffer, std::size_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::size_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin = TSeekOrigin::soBegin) = 0;
  virtual std::int64_t Position() = 0;
  virtual std::int64_t Size() = 0;
  // Reads exactly `count` bytes; false on error or a short read.
  bool ReadExact(void* buffer, std::size_t count) {
    return Read(buffer, count) == static_cast<std::int64_t>(count);
  }
};

// A stream over an open platform file.
class TFileStream : public IStream {
 public:
  TFileStream() = default;
  explicit TFileStream(platform::File file) : file_(std::move(file)) {}
  bool Open(std::string_view path, platform::TFileAccess access,
            platform::TShareMode share = platform::TShareMode::smDenyWrite) {
    return file_.Open(path, access, share);
  }
  bool Close() { return file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  platform::File& File() { return file_; }
  std::int64_t Read(void* buffer, std::size_t count) override { return file_.Read(buffer, count); }
  std::int64_t Write(const void* buffer, std::size_t count) override {
    return file_.Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    return file_.Seek(offset, origin);
  }
  std::int64_t Position() override { return file_.Tell(); }
  std::int64_t Size() override { return file_.Size(); }

 private:
  platform::File file_;
};

// A growable stream in memory (also used to read a buffer already in memory).
class TMemoryStream : public IStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}
  std::int64_t Read(void* buffer, std::size_t count) override;
  std::int64_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Position() override { return static_cast<std::int64_t>(pos_); }
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  std::vector<std::uint8_t>& Data() { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Little-endian field readers over byte spans (never cast a struct onto a buffer).
inline std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t ReadLe64(const std::uint8_t* p) {
  return ReadLe32(p) | (static_cast<std::uint64_t>(ReadLe32(p + 4)) << 32);
}
inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace engine
