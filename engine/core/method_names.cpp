// Method texts per archive type.
#include "engine/core/method_names.h"

namespace engine {
namespace {

const char* Pick(const char* const* texts, std::size_t count, unsigned code) {
  return code < count ? texts[code] : nullptr;
}

template <std::size_t N>
const char* Pick(const char* const (&texts)[N], unsigned code) {
  return Pick(texts, N, code);
}

}  // namespace

const char* DeflateName(std::uint32_t flags) {
  const bool b1 = flags & 0x02, b2 = flags & 0x04;
  if (b1 && b2) return "DeflateS";
  if (b2) return "DeflateF";
  if (b1) return "DeflateX";
  return "DeflateN";
}

std::string MethodName(TArcType type, std::uint16_t code, std::uint32_t flags,
                       std::uint32_t attributes) {
  using enum TArcType;
  const bool isDir = (attributes & kMethodDirAttr) != 0;
  const char* text = nullptr;
  switch (type) {
    case atACE: {
      static const char* const kTexts[] = {"Fastest", "Fast", "Normal", "Good", "Best", "Lzw"};
      text = Pick(kTexts, code);
      break;
    }
    case atArc: case atArcExe: {
      static const char* const kTexts[] = {nullptr,    "Stored",   "Stored",   "Packed",
                                           "Squeezed", "crunched", "crunched", "crunched",
                                           "Crunched", "Squashed", "Pack10",   "Pack11",
                                           "Pack12"};
      text = Pick(kTexts, code);
      if (!text && code == 30) text = "Dir";
      break;
    }
    case atArj: case atArjExe: {
      static const char* const kTexts[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
      text = Pick(kTexts, code);
      if (!text && isDir) text = "Dir";
      break;
    }
    case atBh: case atBhExe:
      if (code == 0) text = "Stored";
      else if (code == 1) text = "Fused";
      else if (code == 2) text = "Deflate";
      else if (code == 8) text = DeflateName(flags);
      break;
    case atCab: {
      static const char* const kTexts[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
      text = Pick(kTexts, code & 0x0F);
      break;
    }
    case atGZip:
      if (code == 0) text = "Stored";
      else if (code == 8) text = "Deflate";
      else if (code == 144) text = "LzwMAGIC";
      else if ((flags & 0xFFFF) == 0x1E1F) text = "PackMAGIC";
      else if ((flags & 0xFFFF) == 0xA01F) text = "LzhMAGIC";
      break;
    case atHa:
      switch (code) {
        case 0: return "Cpy";
        case 1: return "Asc";
        case 2: return "HSC";
        case 14: return "Dir";
        case 15: return "Special";
        default: return "";
      }
    case atJar: case atZip: case atZipExe: case atZipMV: {
      static const char* const kTexts[] = {"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                           "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
      if (code == 8) text = DeflateName(flags);
      else text = Pick(kTexts, code);
      if (!text && isDir) text = "Dir";
      break;
    }
    case atLha: case atLhaExe: case atLzh: case atLzhExe: {
      static const char* const kTexts[] = {"Stored",   "Frozen-1", "Frozen-2", "Frozen-3",
                                           "Frozen-4", "Frozen-5", "Frozen-6"};
      if (code >= '0') text = Pick(kTexts, code - '0');
      break;
    }
    case atPak: case atPakExe: {
      static const char* const kTexts[] = {nullptr,    "Stored",   "Stored",  "RLE",
                                           "Squeezed", "FIXEDLEN", "FIXEDLEN", "FIXEDLEN",
                                           "VARIBLE",  "VARIBLE",  "Crushed", "Distill"};
      text = Pick(kTexts, code);
      break;
    }
    case atRar: case atRarExe: {
      static const char* const kTexts[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
      if (code >= '0') text = Pick(kTexts, code - '0');
      if (!text && isDir) text = "Dir";
      break;
    }
    case atTar:
      if (code == 0) text = "Tarred";
      else if (isDir) text = "Dir";
      break;
    case atZoo: {
      static const char* const kTexts[] = {"Stored", "Fastest", "Greatest"};
      text = Pick(kTexts, code);
      break;
    }
    default:
      break;
  }
  return text ? text : "Unknown";
}

}  // namespace engine
