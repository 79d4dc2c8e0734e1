// platform::File over POSIX descriptors. Share modes have no POSIX counterpart and are
// not enforced here.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

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

bool File::Open(std::string_view path, TFileAccess access, TShareMode /*share*/) {
  Close();
  path_.assign(path);
  int flags = O_CLOEXEC;
  switch (access) {
    case TFileAccess::faRead:
      flags |= O_RDONLY;
      break;
    case TFileAccess::faReadWrite:
      flags |= O_RDWR;
      break;
    case TFileAccess::faCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case TFileAccess::faCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case TFileAccess::faAppend:
      flags |= O_RDWR | O_CREAT;
      break;
  }
  int fd;
  do {
    fd = ::open(path_.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    lastError_ = errno;
    return false;
  }
  // A folder opens for reading on POSIX but never on Windows; refuse it alike.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    lastError_ = EISDIR;
    return false;
  }
  handle_ = fd;
  if (access == TFileAccess::faAppend && ::lseek(fd, 0, SEEK_END) < 0) {
    lastError_ = errno;
    Close();
    return false;
  }
  return true;
}

bool File::Close() {
  if (handle_ < 0) return true;
  const int fd = static_cast<int>(std::exchange(handle_, -1));
  if (::close(fd) != 0 && errno != EINTR) {
    lastError_ = errno;
    return false;
  }
  return true;
}

bool File::IsOpen() const { return handle_ >= 0; }

std::int64_t File::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(static_cast<int>(handle_), out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
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
    const ssize_t n = ::write(static_cast<int>(handle_), in + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

bool File::WriteAll(const void* buffer, std::size_t count) {
  return Write(buffer, count) == static_cast<std::int64_t>(count);
}

std::int64_t File::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBegin     ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  const off_t pos = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
  if (pos < 0) {
    lastError_ = errno;
    return -1;
  }
  return pos;
}

std::int64_t File::Tell() const {
  const off_t pos = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
  if (pos < 0) lastError_ = errno;
  return pos < 0 ? -1 : pos;
}

std::int64_t File::Size() const {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) {
    lastError_ = errno;
    return -1;
  }
  return st.st_size;
}

bool File::Truncate() {
  const std::int64_t pos = Tell();
  if (pos < 0) return false;
  if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(pos)) != 0) {
    lastError_ = errno;
    return false;
  }
  return true;
}

bool File::Flush() {
  if (::fsync(static_cast<int>(handle_)) != 0) {
    lastError_ = errno;
    return false;
  }
  return true;
}

}  // namespace platform
