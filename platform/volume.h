// Information on the volume holding a path: drive type, label, serial number, free space.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Drive types, numbered as GetDriveTypeW reports them.
inline constexpr int kDriveUnknown = 0;
inline constexpr int kDriveNoRootDir = 1;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
inline constexpr int kDriveCdRom = 5;
inline constexpr int kDriveRamDisk = 6;

struct TVolumeInfo {
  std::string Root;              // "C:\", "\\server\share\"; the mount point on POSIX
  int DriveType = kDriveUnknown;
  std::string Label;             // always empty on POSIX
  std::uint32_t Serial = 0;      // POSIX: folded file-system id
  std::uint32_t MaxComponentLength = 0;
  std::uint32_t FileSystemFlags = 0;
  std::string FileSystemName;    // "NTFS", "FAT"; empty on POSIX
  std::int64_t FreeBytes = -1;   // available to the caller; -1 when unknown
  std::int64_t TotalBytes = -1;  // -1 when unknown
};

// The volume of `path`, which need not exist (its nearest existing folder is used).
// Fields that cannot be read keep their defaults; a path on no volume gives kDriveUnknown
// (kDriveNoRootDir on Windows).
TVolumeInfo VolumeInfoOf(std::string_view path);
// True when the volume of `path` is a removable drive (diskettes and the like).
bool IsRemovable(std::string_view path);
// Sets the label of the volume whose root is `root` (Windows only; false elsewhere).
bool WriteVolumeLabel(std::string_view root, std::string_view label);

}  // namespace platform
