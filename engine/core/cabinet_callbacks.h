// The file and memory callbacks that the cabinet engines hand to the cabinet library, over
// the platform's files, and the library's compression type words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace engine {

// C run-time open flags as the cabinet library passes them.
inline constexpr int kCabOpenWriteOnly = 0x0001;
inline constexpr int kCabOpenReadWrite = 0x0002;
inline constexpr int kCabOpenCreate = 0x0100;
inline constexpr int kCabOpenExclusive = 0x0400;

// Handle the library uses for a file; -1 reports a failed open.
using TCabHandle = std::intptr_t;
inline constexpr TCabHandle kCabInvalidHandle = -1;

// The callbacks the cabinet library calls. Each file callback sets `error` (the library's
// error slot). The library's C entry points forward to these and must not let exceptions
// through: the bindings wrap each call.
class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  // A block of `size` bytes from the heap (nullptr when there is none).
  virtual void* Alloc(std::size_t size);
  virtual int Free(void* block);  // returns 0
  virtual TCabHandle Open(std::string_view name, int flags, int mode, int& error) = 0;
  // Bytes moved; on a failure of the file -1 with the system's error.
  virtual std::int64_t Read(TCabHandle handle, void* buffer, std::size_t count, int& error) = 0;
  virtual std::int64_t Write(TCabHandle handle, const void* buffer, std::size_t count,
                             int& error) = 0;
  virtual int Close(TCabHandle handle, int& error) = 0;
  // `origin` 0 from the start, 1 from the current position, 2 from the end.
  virtual std::int64_t Seek(TCabHandle handle, std::int64_t offset, int origin, int& error) = 0;
  virtual int Delete(std::string_view name, int& error) = 0;
};

// Files of the library kept in a list; the library knows each by a handle number that this
// handler assigns (never reused), so a stale handle is never taken for a newer file.
// Destroying the handler closes every file still open.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  // Flags: 0x100 creates (replacing an existing file); otherwise 0x2 opens read-write, 0x1
  // write-only (opened read-write), none read-only. 0x400 opens exclusively, otherwise the
  // file is shared. `mode` is not used. Failure: error = the system's error, result -1.
  TCabHandle Open(std::string_view name, int flags, int mode, int& error) override;
  // An unknown handle: error -1, result 0. Otherwise error 0 when `count` bytes moved, else
  // the system's error (0 at the end of a file).
  std::int64_t Read(TCabHandle handle, void* buffer, std::size_t count, int& error) override;
  std::int64_t Write(TCabHandle handle, const void* buffer, std::size_t count,
                     int& error) override;
  // The file leaves the list and is closed (an unknown handle is ignored); error 0; result 0.
  int Close(TCabHandle handle, int& error) override;
  // An unknown handle: error -1, result 0. From the start: error = the system's error when
  // the new position is not `offset`; other origins: error 0.
  std::int64_t Seek(TCabHandle handle, std::int64_t offset, int origin, int& error) override;
  // Deletes the file; error 0, or the system's error on failure; result 0.
  int Delete(std::string_view name, int& error) override;

  std::size_t OpenCount() const { return files_.size(); }

 private:
  struct Entry {
    TCabHandle Handle;
    std::unique_ptr<platform::File> File;
  };
  platform::File* Find(TCabHandle handle);
  std::vector<Entry> files_;
  TCabHandle nextHandle_ = 1;
};

// The library's compression type word for LZX with a window of 2^`windowBits` bytes.
constexpr std::uint16_t CabLzxType(int windowBits) {
  return static_cast<std::uint16_t>(windowBits * 256 + 3);
}
// The type word for compression `type` with `level` and `memory` (Quantum's parameters).
constexpr std::uint16_t CabCompressionType(int type, int level, int memory) {
  return static_cast<std::uint16_t>(memory * 256 + level * 16 + type);
}

}  // namespace engine
