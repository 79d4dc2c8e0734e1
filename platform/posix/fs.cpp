// File-system services over POSIX calls.
#include "platform/fs.h"

#include "platform/path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

namespace platform {
namespace {

bool StatPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

std::uint32_t AttributesOf(const struct stat& st) {
  std::uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= kAttrDirectory;
  } else if ((st.st_mode & S_IWUSR) == 0) {
    attr |= kAttrReadOnly;
  }
  return attr;
}

// Closes a descriptor on scope exit.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Copies a regular file to a new file `to` (which must not exist) with its mode and times;
// removes the partial copy on failure.
bool CopyRegularFile(const std::string& from, const std::string& to) {
  FdCloser in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) return false;
  struct stat st {};
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = EXDEV;
    return false;
  }
  FdCloser out{::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777)};
  if (out.fd < 0) return false;
  bool ok = true;
  static constexpr std::size_t kCopyBlock = 1 << 16;
  std::string buffer(kCopyBlock, '\0');
  while (ok) {
    const ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out.fd, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ok = ok && ::futimens(out.fd, times) == 0;
  ok = ::close(std::exchange(out.fd, -1)) == 0 && ok;
  if (!ok) {
    const int saved = errno;
    ::unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

// Creates every missing folder of a trusted path the ordinary way (links followed).
bool CreateTrusted(const std::string& path) {
  struct stat st {};
  if (StatPath(path, st)) return S_ISDIR(st.st_mode);
  const std::string parent = DirectoryPart(path);
  if (!parent.empty() && parent != path && !CreateTrusted(parent)) return false;
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace

std::optional<std::uint32_t> FileAttributes(std::string_view path) {
  struct stat st {};
  if (!StatPath(std::string(path), st)) return std::nullopt;
  return AttributesOf(st);
}

bool SetFileAttributes(std::string_view path, std::uint32_t attributes) {
  const std::string p(path);
  struct stat st {};
  if (!StatPath(p, st)) return false;
  // A read-only folder would refuse the files extracted into it; Windows does not enforce
  // the bit on folders either, so folders keep their permissions.
  if (S_ISDIR(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  return mode == (st.st_mode & 07777) || ::chmod(p.c_str(), mode) == 0;
}

std::optional<std::int64_t> FileModTime(std::string_view path) {
  struct stat st {};
  if (!StatPath(std::string(path), st)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

bool SetFileModTime(std::string_view path, std::int64_t unixSeconds) {
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unixSeconds);
  if (static_cast<std::int64_t>(times[1].tv_sec) != unixSeconds) {
    errno = EOVERFLOW;
    return false;
  }
  return ::utimensat(AT_FDCWD, std::string(path).c_str(), times, 0) == 0;
}

std::optional<std::int64_t> FileSize(std::string_view path) {
  struct stat st {};
  if (!StatPath(std::string(path), st) || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

bool FileExists(std::string_view path) {
  struct stat st {};
  return StatPath(std::string(path), st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  struct stat st {};
  return StatPath(std::string(path), st) && S_ISDIR(st.st_mode);
}

bool IsSymlinkOrReparse(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();  // "link/" would name the target
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool CreateDirectory(std::string_view path) {
  return ::mkdir(std::string(path).c_str(), 0777) == 0;
}

bool CreateDirectories(std::string_view path, std::string_view trustedBase) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string base;
  std::string_view rest = path;
  if (!trustedBase.empty()) {
    while (trustedBase.size() > 1 && trustedBase.back() == '/') trustedBase.remove_suffix(1);
    const bool isPrefix =
        path.substr(0, trustedBase.size()) == trustedBase &&
        (path.size() == trustedBase.size() || path[trustedBase.size()] == '/' ||
         trustedBase == "/");
    if (!isPrefix) {
      errno = EINVAL;
      return false;
    }
    base.assign(trustedBase);
    rest.remove_prefix(trustedBase.size());
  } else {
    base.assign(1, path.front() == '/' ? '/' : '.');
  }
  // ".." below the base could climb out of it: refuse before anything is created.
  for (std::string_view scan = rest; !scan.empty();) {
    const std::size_t sep = scan.find('/');
    if (scan.substr(0, sep) == "..") {
      errno = EACCES;
      return false;
    }
    scan.remove_prefix(sep == std::string_view::npos ? scan.size() : sep + 1);
  }
  if (!trustedBase.empty() && !CreateTrusted(base)) return false;
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  FdCloser current{fd};
  while (!rest.empty()) {
    const std::size_t sep = rest.find('/');
    const std::string_view part = rest.substr(0, sep);
    rest.remove_prefix(sep == std::string_view::npos ? rest.size() : sep + 1);
    if (part.empty() || part == ".") continue;
    const std::string name(part);
    if (::mkdirat(current.fd, name.c_str(), 0777) != 0 && errno != EEXIST) return false;
    // O_NOFOLLOW: a link in the way fails with ELOOP (or ENOTDIR) instead of being entered.
    const int next = ::openat(current.fd, name.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return false;
    ::close(current.fd);
    current.fd = next;
  }
  return true;
}

bool DeleteFile(std::string_view path) { return ::unlink(std::string(path).c_str()) == 0; }

bool RemoveDirectory(std::string_view path) {
  return ::rmdir(std::string(path).c_str()) == 0;
}

bool MoveFile(std::string_view from, std::string_view to) {
  const std::string src(from), dst(to);
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EINVAL || errno == ENOSYS) {
      // The file system cannot rename without replacing: check, then rename.
      struct stat st {};
      if (::lstat(dst.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
      }
      if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    }
    if (errno != EXDEV) return false;
    return CopyRegularFile(src, dst) && ::unlink(src.c_str()) == 0;
  }
  return true;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  return ::rename(std::string(from).c_str(), std::string(to).c_str()) == 0;
}

int LastOsError() { return errno; }

std::vector<TFindEntry> FindFiles(std::string_view dir, std::string_view pattern) {
  std::vector<TFindEntry> entries;
  const std::string folder = dir.empty() ? std::string(".") : std::string(dir);
  DIR* d = ::opendir(folder.c_str());
  if (!d) return entries;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == ".." || !MatchFindPattern(name, pattern)) continue;
    const std::string full = JoinPath(folder, name);
    struct stat st {};
    // A dangling link still shows, as the link itself.
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) continue;
    TFindEntry entry;
    entry.Name.assign(name);
    entry.Attributes = AttributesOf(st);
    entry.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    entry.ModTime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
}

}  // namespace platform
