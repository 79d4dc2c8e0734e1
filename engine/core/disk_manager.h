// The drive of the current archive: label, serial number, type and free space, and the disk
// number of spanned ZIP sets ("PKBACK# 003" labels).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace engine {

// Drive kinds: 0..6 as the system numbers drive types, 7 and 8 the two diskette sizes.
inline constexpr int kDriveKind35Floppy = 7;
inline constexpr int kDriveKind525Floppy = 8;
inline constexpr int kDriveTypeNameCount = 9;

// "Unknown", "None", "Floppy", "Fixed", "Network", "CD-ROM", "RAM", "3½ Floppy", "5¼ Floppy"
// (UTF-8); "Unknown" for a number outside 0..8.
std::string_view DriveTypeName(int driveType);

// The disk number in a spanned-set label: the digits after the last "PKBACK# "; 0 when the
// label has none or anything else follows.
int DiskNumberFromLabel(std::string_view label);

class TDiskManager {
 public:
  static constexpr int kPollingInterval = 2000;  // ms between polls of removable drives

  // Reads the volume holding `path` (which need not exist). When the volume cannot be read,
  // OnNotAccessible is asked with the message to show; true retries, false (or no handler)
  // gives up and Refresh returns false, keeping the previous values.
  bool Refresh(std::string_view path);
  // Refreshes the last path and reports whether the disk changed (serial number differs).
  // A front end with a timer calls it every kPollingInterval ms while polling is wanted;
  // OnChange fires as well when the disk changed.
  bool Poll();

  const std::string& Drive() const { return drive_; }             // "A:", "/media/usb"
  const std::string& VolumeLabel() const { return label_; }
  const std::string& SerialNumber() const { return serial_; }     // 8 hexadecimal digits
  std::uint32_t Serial() const { return serialValue_; }
  std::uint32_t MaxComponentLength() const { return maxComponentLength_; }
  std::uint32_t FileSystemFlags() const { return fileSystemFlags_; }
  const std::string& FileSystemName() const { return fileSystemName_; }
  int DriveType() const { return driveType_; }
  std::string_view DriveTypeText() const { return DriveTypeName(driveType_); }
  bool IsRemovable() const { return driveType_ == 2 || driveType_ >= kDriveKind35Floppy; }
  // -1 when unknown. 64-bit: volumes of more than 4 GB are common.
  std::int64_t FreeBytes() const { return freeBytes_; }
  std::int64_t TotalBytes() const { return totalBytes_; }
  int DiskNumber() const { return diskNumber_; }

  // Asked with "X:\ is not accessible.\r\n\r\n<reason>" when the volume cannot be read.
  std::function<bool(const std::string& message)> OnNotAccessible;
  std::function<void(TDiskManager& sender)> OnChange;

 private:
  std::string path_;
  std::string drive_;
  std::string label_;
  std::string serial_;
  std::uint32_t serialValue_ = 0;
  std::uint32_t maxComponentLength_ = 0;
  std::uint32_t fileSystemFlags_ = 0;
  std::string fileSystemName_;
  int driveType_ = 0;
  std::int64_t freeBytes_ = -1;
  std::int64_t totalBytes_ = -1;
  int diskNumber_ = 0;
};

}  // namespace engine
