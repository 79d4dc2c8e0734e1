// Files: an owned handle with 64-bit reads, writes and seeks, and the OS error kept for logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class TFileAccess : std::uint8_t {
  faRead,        // existing file, read only
  faReadWrite,   // existing file, read and write
  faCreate,      // create or truncate, read and write
  faCreateNew,   // create, failing when the file exists
  faAppend,      // open or create, read and write, positioned at the end
};

enum class TShareMode : std::uint8_t {
  smDenyNone,    // others may read, write and delete
  smDenyWrite,   // others may read only
  smExclusive,   // nobody else may open it
};

enum class TSeekOrigin : std::uint8_t { soBegin, soCurrent, soEnd };

// A file handle. Move-only; closes on destruction. Paths are UTF-8.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(std::string_view path, TFileAccess access,
            TShareMode share = TShareMode::smDenyWrite);
  // Closes the handle; false when the OS reports an error on close.
  bool Close();
  bool IsOpen() const;

  // Bytes read (0 at the end of the file), or -1 on error.
  std::int64_t Read(void* buffer, std::size_t count);
  // Reads exactly `count` bytes; false on error or a short read.
  bool ReadExact(void* buffer, std::size_t count);
  // Bytes written, or -1 on error.
  std::int64_t Write(const void* buffer, std::size_t count);
  bool WriteAll(const void* buffer, std::size_t count);
  // New position, or -1 on error.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin = TSeekOrigin::soBegin);
  std::int64_t Tell() const;
  std::int64_t Size() const;  // -1 on error
  bool Truncate();            // at the current position
  bool Flush();
  const std::string& Path() const { return path_; }
  // The last OS error code seen by this object (errno or GetLastError()).
  int LastError() const { return lastError_; }

 private:
  std::intptr_t handle_ = -1;
  std::string path_;
  mutable int lastError_ = 0;
};

}  // namespace platform
