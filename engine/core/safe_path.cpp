// Member-name sanitiser.
#include "engine/core/safe_path.h"

#include <cctype>
#include <vector>

#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool IsReservedDeviceName(std::string_view component) {
  // The device names are reserved whatever extension follows ("NUL.txt" is NUL too) and
  // with trailing spaces.
  std::string stem = Upper(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
      stem == "CONOUT$")
    return true;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
      stem[3] >= '1' && stem[3] <= '9')
    return true;
  return false;
}

std::optional<std::string> SanitiseMemberPath(std::string_view storedName, bool useStoredDirs) {
  std::string name(storedName);
  for (char& c : name)
    if (c == '/') c = '\\';
  // Drive and leading separators go: "X:\a", "X:a", "\a", "\\server\share\a".
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    name.erase(0, 2);
  std::size_t lead = 0;
  while (lead < name.size() && name[lead] == '\\') ++lead;
  name.erase(0, lead);

  std::vector<std::string_view> parts;
  std::string_view rest(name);
  while (!rest.empty()) {
    const std::size_t sep = rest.find('\\');
    parts.push_back(rest.substr(0, sep));
    rest.remove_prefix(sep == std::string_view::npos ? rest.size() : sep + 1);
  }
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    const bool last = i + 1 == parts.size();
    if (!useStoredDirs && !last) continue;
    if (part.empty() || part == ".") continue;
    bool onlyDotsAndSpaces = true;
    for (const char c : part) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F || c == ':') return std::nullopt;
      if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces || IsReservedDeviceName(part)) return std::nullopt;
    if (!out.empty()) out += '\\';
    out.append(part);
  }
  return out;
}

std::string JoinUnder(std::string_view baseDir, std::string_view relative) {
  std::string out(baseDir);
  if (!out.empty() && !platform::IsPathSeparator(out.back())) out += platform::kPathSeparator;
  for (const char c : relative) out += c == '\\' ? platform::kPathSeparator : c;
  return out;
}

bool CrossesLink(std::string_view baseDir, std::string_view path) {
  if (path.substr(0, baseDir.size()) != baseDir) return true;
  std::size_t pos = baseDir.size();
  while (pos < path.size()) {
    std::size_t sep = pos;
    while (sep < path.size() && !platform::IsPathSeparator(path[sep])) ++sep;
    const std::string prefix(path.substr(0, sep));
    if (platform::IsSymlinkOrReparse(prefix)) return true;
    pos = sep + 1;
  }
  return false;
}

}  // namespace engine
