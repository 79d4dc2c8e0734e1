// platform::File over Win32 handles (CreateFileW with the requested sharing).
#include "platform/file.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile and WriteFile take a 32-bit count: larger requests go in pieces of this size.
constexpr std::size_t kMaxIo = 1u << 30;

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      path_(std::move(other.path_)),
      lastError_(other.lastError_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    lastError_ = other.lastError_;
  }
  return *this;
}

bool File::Open(std::string_view path, TFileAccess access, TShareMode share) {
  Close();
  path_.assign(path);
  DWORD desired = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (access) {
    case TFileAccess::faRead:
      desired = GENERIC_READ;
      break;
    case TFileAccess::faReadWrite:
      break;
    case TFileAccess::faCreate:
      disposition = CREATE_ALWAYS;
      break;
    case TFileAccess::faCreateNew:
      disposition = CREATE_NEW;
      break;
    case TFileAccess::faAppend:
      disposition = OPEN_ALWAYS;
      break;
  }
  DWORD shareFlags = 0;
  switch (share) {
    case TShareMode::smDenyNone:
      shareFlags = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case TShareMode::smDenyWrite:
      shareFlags = FILE_SHARE_READ;
      break;
    case TShareMode::smExclusive:
      break;
  }
  const HANDLE h = ::CreateFileW(win32::WidePath(path).c_str(), desired, shareFlags, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    lastError_ = static_cast<int>(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  if (access == TFileAccess::faAppend && Seek(0, TSeekOrigin::soEnd) < 0) {
    Close();
    return false;
  }
  return true;
}

bool File::Close() {
  if (handle_ == -1) return true;
  if (!::CloseHandle(H(std::exchange(handle_, -1)))) {
    lastError_ = static_cast<int>(::GetLastError());
    return false;
  }
  return true;
}

bool File::IsOpen() const { return handle_ != -1; }

std::int64_t File::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const DWORD want = static_cast<DWORD>(std::min(count - done, kMaxIo));
    DWORD got = 0;
    if (!::ReadFile(H(handle_), out + done, want, &got, nullptr)) {
      lastError_ = static_cast<int>(::GetLastError());
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

bool File::ReadExact(void* buffer, std::size_t count) {
  return Read(buffer, count) == static_cast<std::int64_t>(count);
}

std::int64_t File::Write(const void* buffer, std::size_t count) {
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const DWORD want = static_cast<DWORD>(std::min(count - done, kMaxIo));
    DWORD put = 0;
    if (!::WriteFile(H(handle_), in + done, want, &put, nullptr) || put == 0) {
      lastError_ = static_cast<int>(::GetLastError());
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    done += put;
  }
  return static_cast<std::int64_t>(done);
}

bool File::WriteAll(const void* buffer, std::size_t count) {
  return Write(buffer, count) == static_cast<std::int64_t>(count);
}

std::int64_t File::Seek(std::int64_t offset, TSeekOrigin origin) {
  const DWORD method = origin == TSeekOrigin::soBegin     ? FILE_BEGIN
                       : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                          : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER pos;
  if (!::SetFilePointerEx(H(handle_), distance, &pos, method)) {
    lastError_ = static_cast<int>(::GetLastError());
    return -1;
  }
  return pos.QuadPart;
}

std::int64_t File::Tell() const {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER pos;
  if (!::SetFilePointerEx(H(handle_), zero, &pos, FILE_CURRENT)) {
    lastError_ = static_cast<int>(::GetLastError());
    return -1;
  }
  return pos.QuadPart;
}

std::int64_t File::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(handle_), &size)) {
    lastError_ = static_cast<int>(::GetLastError());
    return -1;
  }
  return size.QuadPart;
}

bool File::Truncate() {
  if (!::SetEndOfFile(H(handle_))) {
    lastError_ = static_cast<int>(::GetLastError());
    return false;
  }
  return true;
}

bool File::Flush() {
  if (!::FlushFileBuffers(H(handle_))) {
    lastError_ = static_cast<int>(::GetLastError());
    return false;
  }
  return true;
}

}  // namespace platform
