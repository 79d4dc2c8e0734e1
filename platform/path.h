// Path strings (UTF-8), the current, temporary and configuration folders, temporary names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr bool kIsWindows = true;
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr bool kIsWindows = false;
inline constexpr char kPathSeparator = '/';
#endif

// True for a character that separates path components here ('\' and '/' on Windows).
constexpr bool IsPathSeparator(char c) { return c == '/' || (kIsWindows && c == '\\'); }

// `dir` + separator + `name`; no separator doubled; an empty part yields the other.
std::string JoinPath(std::string_view dir, std::string_view name);
// The folder part without the trailing separator ("" when there is none); a root keeps
// its separator ("/", "C:\"), a bare drive stays "C:".
std::string DirectoryPart(std::string_view path);
// The part after the last separator (and, on Windows, after a drive colon).
std::string FileNamePart(std::string_view path);
// The extension of the file name part with its dot (".txt"), or "" when there is none.
std::string ExtensionPart(std::string_view path);
// Both '/' and '\' turned into kPathSeparator.
std::string ToNativeSeparators(std::string_view path);
// POSIX: starts with '/'. Windows: a drive and separator ("C:\"), a UNC or device path
// ("\\server"), or a path rooted on the current drive ("\dir").
bool IsAbsolute(std::string_view path);

// The process's current folder ("" on failure).
std::string CurrentDirectory();
// The user's temporary folder, ending with a separator (GetTempPathW; $TMPDIR or /tmp/).
std::string TempDirectory();
// Creates a new, empty, uniquely named file in `dir` whose name starts with `prefix`
// (Windows uses the first three characters, like GetTempFileNameW) and returns its path.
std::optional<std::string> CreateTempFileName(std::string_view dir, std::string_view prefix);
// Creates a new uniquely named folder in TempDirectory() and returns its path (no
// trailing separator).
std::optional<std::string> CreateTempDirectory(std::string_view prefix);
// The per-user configuration folder: %APPDATA%; $XDG_CONFIG_HOME or ~/.config on POSIX.
// "" when it cannot be found. It is not created.
std::string UserConfigDirectory();

}  // namespace platform
