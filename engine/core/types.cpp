// Names and sets of archive types.
#include "engine/core/types.h"

#include <array>
#include <cctype>

namespace engine {
namespace {

constexpr std::array<std::string_view, kArcTypeCount> kArcTypeNames = {
    "atNA", "atUnsupported", "atFileOpenErr", "atUnknown", "atACE", "atArc", "atArcExe",
    "atArj", "atArjExe", "atBh", "atBhExe", "atCab", "atGZip", "atHa", "atJar", "atLha",
    "atLhaExe", "atLzh", "atLzhExe", "atMsGZ", "atPak", "atPakExe", "atRar", "atRarExe",
    "atTar", "atUue", "atZip", "atZipExe", "atZipMV", "atZoo",
};

constexpr std::array<std::string_view, 19> kExtensions = {
    ".UUE", ".XXE", ".ENC", ".TAR", ".Z", ".GZ", ".ZIP", ".ZOO", ".LHA", ".LZH",
    ".ARC", ".ARJ", ".BH", ".PAK", ".CAB", ".RAR", ".EXE", ".JAR", ".ACE",
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::string_view ArcTypeName(TArcType type) {
  const auto i = static_cast<std::size_t>(type);
  return i < kArcTypeNames.size() ? kArcTypeNames[i] : std::string_view("atNA");
}

bool IsRecognised(TArcType type) {
  using enum TArcType;
  return type != atNA && type != atUnsupported && type != atFileOpenErr && type != atUnknown;
}

bool IsExtractable(TArcType type) {
  using enum TArcType;
  switch (type) {
    case atACE: case atArc: case atArcExe: case atArj: case atArjExe: case atBh: case atBhExe:
    case atCab: case atGZip: case atJar: case atLha: case atLhaExe: case atLzh: case atLzhExe:
    case atRar: case atRarExe: case atTar: case atUue: case atZip: case atZipExe: case atZipMV:
    case atZoo:
      return true;
    default:
      return false;
  }
}

bool IsTestable(TArcType type) {
  using enum TArcType;
  return IsExtractable(type) && type != atCab && type != atUue && type != atZipMV;
}

bool IsZipFamily(TArcType type) {
  using enum TArcType;
  return type == atZip || type == atZipExe || type == atZipMV || type == atJar;
}

int ExtensionIndex(std::string_view ext) {
  for (std::size_t i = 0; i < kExtensions.size(); ++i)
    if (EqualsNoCase(ext, kExtensions[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace engine
