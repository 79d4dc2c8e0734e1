// Path string helpers shared by both platforms (no OS calls; rules follow kIsWindows).
#include "platform/path.h"

namespace platform {
namespace {

bool HasDrive(std::string_view path) {
  return kIsWindows && path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Index of the last separator (or drive colon on Windows), or npos.
std::size_t LastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return HasDrive(path) ? 1 : std::string_view::npos;
}

// Length of the root prefix: "/" (POSIX), "C:\", "C:", "\", or "\\server\share\".
std::size_t RootLength(std::string_view path) {
  if (kIsWindows) {
    if (HasDrive(path)) return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
      // "\\server\share\": the server and share names belong to the root.
      std::size_t i = 2;
      for (int part = 0; part < 2 && i < path.size(); ++part) {
        while (i < path.size() && !IsPathSeparator(path[i])) ++i;
        if (i < path.size()) ++i;
      }
      return i;
    }
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

}  // namespace

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  while (!name.empty() && IsPathSeparator(name.front())) name.remove_prefix(1);
  std::string out(dir);
  if (name.empty()) return out;
  if (!IsPathSeparator(out.back())) out += kPathSeparator;  // "C:" + "x" gives "C:\x"
  out += name;
  return out;
}

std::string DirectoryPart(std::string_view path) {
  const std::size_t sep = LastSeparator(path);
  if (sep == std::string_view::npos) return {};
  const std::size_t root = RootLength(path);
  std::size_t end = sep + 1;  // keep the separator for now
  if (HasDrive(path) && sep == 1) return std::string(path.substr(0, 2));
  // Drop trailing separators, but not those of the root.
  while (end > root && IsPathSeparator(path[end - 1])) --end;
  if (end < root) end = root;
  return std::string(path.substr(0, end));
}

std::string FileNamePart(std::string_view path) {
  const std::size_t sep = LastSeparator(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string ExtensionPart(std::string_view path) {
  const std::string name = FileNamePart(path);
  if (name == "." || name == "..") return {};
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ToNativeSeparators(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '/' || c == '\\') c = kPathSeparator;
  }
  return out;
}

bool IsAbsolute(std::string_view path) {
  if (path.empty()) return false;
  if (IsPathSeparator(path[0])) return true;
  return HasDrive(path) && path.size() >= 3 && IsPathSeparator(path[2]);
}

}  // namespace platform
