// The text of a member's compression method as listings show it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/types.h"

namespace engine {

// Attribute bit that makes a member a folder ("Dir" for the formats that show one).
inline constexpr std::uint32_t kMethodDirAttr = 0x10;

// The method text of a member of an archive of `type`.
//   code:       the format's method value as its directory reader takes it (ARC/PAK: the
//               header type; LHA: the method letter of '-lh5-', i.e. '5'; RAR: '0'..'5';
//               CAB: the folder's compression type word).
//   flags:      ZIP family and BH: the general purpose flags (bits 1-2 choose the deflate
//               text); GZIP: the file's first two bytes as read little-endian (ReadLe16), so
//               1F 1E is 0x1E1F and 1F A0 is 0xA01F; unused by the other types.
//   attributes: a member that is a folder carries kMethodDirAttr. ZIP family: the external
//               attributes; RAR: the attributes; ARJ: the reader sets it for file type 3;
//               TAR: the reader sets it when the name has no file-name part. ARC folders are
//               known by their header type (30) instead.
// Codes without a text give "Unknown"; for atHa they give "" (HA defines no text).
std::string MethodName(TArcType type, std::uint16_t code, std::uint32_t flags,
                       std::uint32_t attributes = 0);

// The deflate variant from ZIP general purpose flags: "DeflateS", "DeflateF", "DeflateX" or
// "DeflateN".
const char* DeflateName(std::uint32_t flags);

}  // namespace engine
