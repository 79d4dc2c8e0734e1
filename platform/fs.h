// File-system services: attributes, modification times, folders, moves and the find API.
// Paths are UTF-8; on Windows both '\' and '/' separate components.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// <windows.h> defines several of these names as macros for their A/W variants; this
// interface owns the plain names, so the macros go (call the W functions by name instead).
#ifdef _WIN32
#undef CreateDirectory
#undef DeleteFile
#undef RemoveDirectory
#undef MoveFile
#undef ReplaceFile
#undef SetFileAttributes
#endif

namespace platform {

// DOS attribute bits, as stored in archive headers and reported by Windows.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrVolumeLabel = 0x08;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// The DOS attribute bits of a file or folder; nullopt when it cannot be read.
// POSIX knows only read-only (no write permission for the owner) and directory.
std::optional<std::uint32_t> FileAttributes(std::string_view path);
// Sets read-only, hidden, system and archive; other bits are ignored. POSIX keeps only
// read-only, on files: setting it clears every write permission, clearing it gives the
// owner write. Folders keep their permissions (a read-only folder would refuse the files
// extracted into it, and Windows does not enforce the bit on folders either).
bool SetFileAttributes(std::string_view path, std::uint32_t attributes);

// Last modification time as Unix seconds (UTC); nullopt when it cannot be read.
std::optional<std::int64_t> FileModTime(std::string_view path);
// Sets the last modification time of a file or folder (access time is left alone).
bool SetFileModTime(std::string_view path, std::int64_t unixSeconds);

// Size of a file in bytes; nullopt for a missing file or a folder.
std::optional<std::int64_t> FileSize(std::string_view path);

bool FileExists(std::string_view path);       // exists and is not a folder
bool DirectoryExists(std::string_view path);  // exists and is a folder
// True when the path itself (not its target) is a symbolic link or, on Windows, a
// reparse point (junction, mount point, link).
bool IsSymlinkOrReparse(std::string_view path);

// Creates one folder; false when it exists already or its parent is missing.
bool CreateDirectory(std::string_view path);
// Creates every missing folder of `path`; true when `path` is a folder afterwards.
// The components of `path` below `trustedBase` (a prefix of `path`, or empty for none)
// must be real folders: a symbolic link or reparse point there, a ".." component or a
// file in the way makes it fail without creating anything beyond that point. This keeps
// a crafted link (for example one extracted earlier from an archive) from redirecting
// the new folders outside the base.
bool CreateDirectories(std::string_view path, std::string_view trustedBase = {});

bool DeleteFile(std::string_view path);
bool RemoveDirectory(std::string_view path);  // empty folders only
// Moves or renames a file or folder; fails when `to` exists. A file may move to another
// volume (it is then copied and the source deleted).
bool MoveFile(std::string_view from, std::string_view to);
// Atomically renames `from` over `to`, which may exist; both on one volume.
bool ReplaceFile(std::string_view from, std::string_view to);

// The last OS error code of the calling thread (errno or GetLastError()), for logs.
int LastOsError();

// One entry found in a folder.
struct TFindEntry {
  std::string Name;            // name only, UTF-8
  std::int64_t Size = 0;       // 0 for folders
  std::uint32_t Attributes = 0;  // DOS attribute bits
  std::int64_t ModTime = 0;    // Unix seconds, UTC
  bool IsDirectory() const { return (Attributes & kAttrDirectory) != 0; }
};

// The entries of `dir` whose names match `pattern` (see MatchFindPattern), without "."
// and "..", in no particular order. Empty when the folder cannot be read.
std::vector<TFindEntry> FindFiles(std::string_view dir, std::string_view pattern = "*");

// Windows find-pattern rules, the same on every platform: case-insensitive; '*' matches
// any run of characters, '?' one character (none at the end of the name or before a '.');
// "*" and "*.*" match every name, including names without a dot; a pattern ending in '.'
// matches names without an extension ("*." matches "README", not "a.txt"); a pattern
// ending in ".*" also matches the name without the dot ("a.*" matches "a").
// Windows also matches 8.3 short names ("*.htm" finding "page.html"); that is not done.
bool MatchFindPattern(std::string_view name, std::string_view pattern);

}  // namespace platform
