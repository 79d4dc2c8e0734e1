// Volume information on Windows.
#include "platform/volume.h"

#include "platform/path.h"
#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// Suppresses the system's "no disk in drive" boxes for the life of the object.
class QuietErrors {
 public:
  QuietErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_); }
  ~QuietErrors() { ::SetThreadErrorMode(old_, nullptr); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD old_ = 0;
};

// The root of the volume holding `path` ("C:\", "\\server\share\", a mount point).
std::wstring VolumeRoot(std::string_view path) {
  std::wstring wide = win32::Widen(path.empty() ? std::string_view(".") : path);
  wchar_t full[MAX_PATH * 2];
  const DWORD len = ::GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
  if (len > 0 && len < MAX_PATH * 2) wide.assign(full, len);
  wchar_t root[MAX_PATH * 2];
  if (::GetVolumePathNameW(wide.c_str(), root, MAX_PATH * 2)) return root;
  if (wide.size() >= 2 && wide[1] == L':') return wide.substr(0, 2) + L"\\";
  return wide;
}

}  // namespace

TVolumeInfo VolumeInfoOf(std::string_view path) {
  QuietErrors quiet;
  TVolumeInfo info;
  const std::wstring root = VolumeRoot(path);
  info.Root = win32::Narrow(root);
  info.DriveType = static_cast<int>(::GetDriveTypeW(root.c_str()));
  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0, maxComponent = 0, flags = 0;
  if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, &maxComponent, &flags,
                              fileSystem, MAX_PATH + 1)) {
    info.Label = win32::Narrow(label);
    info.Serial = serial;
    info.MaxComponentLength = maxComponent;
    info.FileSystemFlags = flags;
    info.FileSystemName = win32::Narrow(fileSystem);
  }
  ULARGE_INTEGER freeToCaller, total;
  if (::GetDiskFreeSpaceExW(root.c_str(), &freeToCaller, &total, nullptr)) {
    info.FreeBytes = static_cast<std::int64_t>(freeToCaller.QuadPart);
    info.TotalBytes = static_cast<std::int64_t>(total.QuadPart);
  }
  return info;
}

bool IsRemovable(std::string_view path) {
  QuietErrors quiet;
  return ::GetDriveTypeW(VolumeRoot(path).c_str()) == DRIVE_REMOVABLE;
}

bool WriteVolumeLabel(std::string_view root, std::string_view label) {
  QuietErrors quiet;
  std::wstring wideRoot = win32::Widen(root);
  if (!wideRoot.empty() && wideRoot.back() != L'\\') wideRoot += L'\\';
  return ::SetVolumeLabelW(wideRoot.c_str(), win32::Widen(label).c_str()) != 0;
}

}  // namespace platform
