// File-system services over the Win32 W functions.
#include "platform/fs.h"

#include "platform/path.h"
#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

using win32::Narrow;
using win32::WidePath;

constexpr DWORD kDosBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                           FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettableBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool AttributeData(std::string_view path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return ::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

DWORD RawAttributes(std::string_view path) {
  return ::GetFileAttributesW(WidePath(path).c_str());
}

std::string StripTrailingSeparators(std::string_view path) {
  std::string p(path);
  // Keep the separator of a root ("\", "C:\").
  while (p.size() > 1 && IsPathSeparator(p.back()) && !(p.size() == 3 && p[1] == ':')) {
    p.pop_back();
  }
  return p;
}

// Creates every missing folder of a trusted path the ordinary way.
bool CreateTrusted(const std::string& path) {
  const DWORD attr = RawAttributes(path);
  if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string parent = DirectoryPart(path);
  if (!parent.empty() && parent != path && !CreateTrusted(parent)) return false;
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) ||
         ::GetLastError() == ERROR_ALREADY_EXISTS;
}

char FoldAscii(char c) {
  if (c == '/') return '\\';
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// True when `base` names the leading components of `path` (case and separator blind).
bool IsPathPrefix(std::string_view base, std::string_view path) {
  if (base.size() > path.size()) return false;
  for (std::size_t i = 0; i < base.size(); ++i) {
    if (FoldAscii(base[i]) != FoldAscii(path[i])) return false;
  }
  return base.size() == path.size() || IsPathSeparator(path[base.size()]) ||
         IsPathSeparator(base.back());
}

// Length of the root of an absolute path ("C:\", "\\server\share\", "\"), else 0.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') {
    return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    std::size_t i = 2;
    for (int part = 0; part < 2 && i < path.size(); ++part) {
      while (i < path.size() && !IsPathSeparator(path[i])) ++i;
      if (i < path.size()) ++i;
    }
    return i;
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

}  // namespace

std::optional<std::uint32_t> FileAttributes(std::string_view path) {
  const DWORD attr = RawAttributes(path);
  if (attr == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attr & kDosBits;
}

bool SetFileAttributes(std::string_view path, std::uint32_t attributes) {
  DWORD attr = attributes & kSettableBits;
  if (attr == 0) attr = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesW(WidePath(path).c_str(), attr) != 0;
}

std::optional<std::int64_t> FileModTime(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributeData(path, data)) return std::nullopt;
  return win32::FileTimeToUnix(Ticks(data.ftLastWriteTime));
}

bool SetFileModTime(std::string_view path, std::int64_t unixSeconds) {
  std::uint64_t ticks;
  if (!win32::UnixToFileTime(unixSeconds, ticks)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // FILE_FLAG_BACKUP_SEMANTICS lets folders open too.
  const HANDLE h = ::CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const bool ok = ::SetFileTime(h, nullptr, nullptr, &ft) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(h);
  ::SetLastError(error);
  return ok;
}

std::optional<std::int64_t> FileSize(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributeData(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool FileExists(std::string_view path) {
  const DWORD attr = RawAttributes(path);
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
  const DWORD attr = RawAttributes(path);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSymlinkOrReparse(std::string_view path) {
  const DWORD attr = RawAttributes(StripTrailingSeparators(path));
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool CreateDirectory(std::string_view path) {
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

bool CreateDirectories(std::string_view path, std::string_view trustedBase) {
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string current;
  std::string_view rest = path;
  if (!trustedBase.empty()) {
    const std::string base = StripTrailingSeparators(trustedBase);
    if (!IsPathPrefix(base, path)) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    current = base;
    rest.remove_prefix(base.size());
  } else {
    const std::size_t root = RootLength(path);
    current.assign(path.substr(0, root));
    rest.remove_prefix(root);
  }
  // ".." below the base could climb out of it: refuse before anything is created.
  for (std::string_view scan = rest; !scan.empty();) {
    std::size_t sep = 0;
    while (sep < scan.size() && !IsPathSeparator(scan[sep])) ++sep;
    if (scan.substr(0, sep) == "..") {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    scan.remove_prefix(sep < scan.size() ? sep + 1 : sep);
  }
  if (!trustedBase.empty() && !CreateTrusted(current)) return false;
  while (!rest.empty()) {
    std::size_t sep = 0;
    while (sep < rest.size() && !IsPathSeparator(rest[sep])) ++sep;
    const std::string_view part = rest.substr(0, sep);
    rest.remove_prefix(sep < rest.size() ? sep + 1 : sep);
    if (part.empty() || part == ".") continue;
    current = JoinPath(current, part);
    DWORD attr = RawAttributes(current);
    if (attr == INVALID_FILE_ATTRIBUTES) {
      if (!::CreateDirectoryW(WidePath(current).c_str(), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
      }
      attr = RawAttributes(current);
    }
    // A junction or link in the way is never entered; neither is a file.
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY) ||
        (attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
  }
  return true;
}

bool DeleteFile(std::string_view path) { return ::DeleteFileW(WidePath(path).c_str()) != 0; }

bool RemoveDirectory(std::string_view path) {
  return ::RemoveDirectoryW(WidePath(path).c_str()) != 0;
}

bool MoveFile(std::string_view from, std::string_view to) {
  return ::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  return ::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

int LastOsError() { return static_cast<int>(::GetLastError()); }

std::vector<TFindEntry> FindFiles(std::string_view dir, std::string_view pattern) {
  std::vector<TFindEntry> entries;
  // Every name is fetched and filtered here, so short 8.3 names never match by accident
  // and both platforms select the same names.
  const std::string mask = JoinPath(dir.empty() ? std::string_view(".") : dir, "*");
  WIN32_FIND_DATAW data;
  const HANDLE h = ::FindFirstFileW(WidePath(mask).c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring_view wide = data.cFileName;
    if (wide == L"." || wide == L"..") continue;
    std::string name = Narrow(wide);
    if (!MatchFindPattern(name, pattern)) continue;
    TFindEntry entry;
    entry.Name = std::move(name);
    entry.Attributes = data.dwFileAttributes & kDosBits;
    entry.Size = entry.IsDirectory()
                     ? 0
                     : static_cast<std::int64_t>(
                           (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                           data.nFileSizeLow);
    entry.ModTime = win32::FileTimeToUnix(Ticks(data.ftLastWriteTime));
    entries.push_back(std::move(entry));
  } while (::FindNextFileW(h, &data));
  ::FindClose(h);
  return entries;
}

}  // namespace platform
