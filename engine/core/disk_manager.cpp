// Drive facts of the current archive, through the platform's volume information.
#include "engine/core/disk_manager.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "engine/core/helpers.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/volume.h"

namespace engine {
namespace {

constexpr std::array<std::string_view, kDriveTypeNameCount> kDriveTypeNames = {
    "Unknown", "None", "Floppy", "Fixed", "Network", "CD-ROM", "RAM",
    "3\u00BD Floppy", "5\u00BC Floppy",
};

constexpr std::string_view kSpanLabel = "PKBACK# ";

// The volume information is unreadable for a path on no volume and, on Windows, for a drive
// without a medium (no file system is reported then).
bool IsReadable(const platform::TVolumeInfo& info) {
  if (info.DriveType == platform::kDriveNoRootDir || info.Root.empty()) return false;
  return !platform::kIsWindows || !info.FileSystemName.empty();
}

std::string NotAccessibleMessage(std::string_view drive) {
  std::string upper = AppendSlash(drive.empty() ? std::string_view("?") : drive);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper + " is not accessible.\r\n\r\nSystem error " +
         std::to_string(platform::LastOsError());
}

}  // namespace

std::string_view DriveTypeName(int driveType) {
  return driveType >= 0 && driveType < kDriveTypeNameCount ? kDriveTypeNames[driveType]
                                                           : kDriveTypeNames[0];
}

int DiskNumberFromLabel(std::string_view label) {
  const std::size_t at = label.rfind(kSpanLabel);
  if (at == std::string_view::npos) return 0;
  const std::string_view digits = label.substr(at + kSpanLabel.size());
  if (digits.empty() || digits.size() > 9) return 0;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool TDiskManager::Refresh(std::string_view path) {
  path_.assign(path);
  platform::TVolumeInfo info;
  for (;;) {
    info = platform::VolumeInfoOf(path);
    if (IsReadable(info)) break;
    std::string drive = info.Root.empty() ? platform::DirectoryPart(path) : info.Root;
    if (!OnNotAccessible || !OnNotAccessible(NotAccessibleMessage(RemoveSlash(drive))))
      return false;
  }
  drive_ = RemoveSlash(info.Root);
  label_ = info.Label;
  serialValue_ = info.Serial;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(info.Serial));
  serial_ = hex;
  maxComponentLength_ = info.MaxComponentLength;
  fileSystemFlags_ = info.FileSystemFlags;
  fileSystemName_ = info.FileSystemName;
  // The diskette size cannot be asked for on current systems; the kind stays the drive type.
  driveType_ = info.DriveType;
  freeBytes_ = info.FreeBytes;
  totalBytes_ = info.TotalBytes;
  diskNumber_ = DiskNumberFromLabel(label_);
  return true;
}

bool TDiskManager::Poll() {
  if (path_.empty()) return false;
  const std::uint32_t before = serialValue_;
  const std::string path = path_;
  if (!Refresh(path)) return false;
  if (serialValue_ == before) return false;
  if (OnChange) OnChange(*this);
  return true;
}

}  // namespace engine
