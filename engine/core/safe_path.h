// The one member-name sanitiser every decoder, the ZIP engine library and the bridges share:
// a member name never leaves the target folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Turns a stored member name ("\" or "/" between folders, drive and leading separators
// already allowed) into a relative path of safe components joined by "\". Returns nothing
// when the name must be refused: a ".." component, a ":" left after the drive is removed,
// control characters, reserved device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension), components made only of dots and spaces (Windows trims them to nothing).
// "." components and empty components are dropped. An empty result is allowed (a name
// that was only a folder root).
std::optional<std::string> SanitiseMemberPath(std::string_view storedName, bool useStoredDirs);

// True when `component` is a reserved device name on Windows.
bool IsReservedDeviceName(std::string_view component);

// Joins a sanitised relative path ("\" separators) under `baseDir` (ending with the native
// separator) with native separators.
std::string JoinUnder(std::string_view baseDir, std::string_view relative);

// True when some existing component of `path` below `baseDir` is a symbolic link or a
// reparse point, so that writing there could leave `baseDir`.
bool CrossesLink(std::string_view baseDir, std::string_view path);

}  // namespace engine
