// Volume information on POSIX: every volume counts as a fixed drive without a label.
#include "platform/volume.h"

#include "platform/path.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <string>

namespace platform {
namespace {

// The path itself or its nearest existing ancestor ("" when none exists).
std::string ExistingAncestor(std::string_view path) {
  std::string p = path.empty() ? std::string(".") : std::string(path);
  for (;;) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) return p;
    std::string parent = DirectoryPart(p);
    if (parent.empty()) parent.assign(1, IsAbsolute(p) ? '/' : '.');
    if (parent == p) return {};
    p = std::move(parent);
  }
}

// The mount point of `path`: the highest ancestor on the same device.
std::string MountPoint(std::string path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return path;
  if (!IsAbsolute(path)) path = JoinPath(CurrentDirectory(), path);
  for (;;) {
    std::string parent = DirectoryPart(path);
    struct stat up {};
    if (parent.empty() || parent == path || ::stat(parent.c_str(), &up) != 0 ||
        up.st_dev != st.st_dev) {
      return path;
    }
    path = std::move(parent);
  }
}

}  // namespace

TVolumeInfo VolumeInfoOf(std::string_view path) {
  TVolumeInfo info;
  const std::string existing = ExistingAncestor(path);
  if (existing.empty()) return info;
  struct statvfs vfs {};
  if (::statvfs(existing.c_str(), &vfs) != 0) return info;
  info.Root = MountPoint(existing);
  info.DriveType = kDriveFixed;
  const std::uint64_t fsid = static_cast<std::uint64_t>(vfs.f_fsid);
  info.Serial = static_cast<std::uint32_t>(fsid ^ (fsid >> 32));
  info.MaxComponentLength = static_cast<std::uint32_t>(vfs.f_namemax);
  const auto blockSize = static_cast<std::int64_t>(vfs.f_frsize);
  info.FreeBytes = static_cast<std::int64_t>(vfs.f_bavail) * blockSize;
  info.TotalBytes = static_cast<std::int64_t>(vfs.f_blocks) * blockSize;
  return info;
}

bool IsRemovable(std::string_view path) { return VolumeInfoOf(path).DriveType == kDriveRemovable; }

bool WriteVolumeLabel(std::string_view /*root*/, std::string_view /*label*/) {
  errno = ENOTSUP;
  return false;
}

}  // namespace platform
