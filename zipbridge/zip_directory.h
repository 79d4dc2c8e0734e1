// The ZIP bridge's directory reader: the end record and the central directory of an archive
// (also of a split set, whose earlier parts lie beside the last one), as raw records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zipbridge {

// One central header with its variable parts, raw.
struct TRawCentral {
  std::uint8_t Header[46] = {};
  std::string Name, Extra, Comment;  // bytes as stored
  // From the header, or from its ZIP64 extra field where the header holds the marker.
  std::uint64_t PackedSize = 0, UnpackedSize = 0, LocalOffset = 0;
  std::uint32_t Disk = 0;
};

struct TZipLayout {
  std::int64_t FileSize = 0;
  std::int64_t EndPos = 0;            // the end record in the (last) file
  std::uint8_t End[22] = {};
  std::string Comment;                // raw archive comment (what the file holds of it)
  bool Garbage = false;               // bytes after the comment that are not padding
  bool SpanSignature = false;         // the file starts with PK 07 08 PK 03 04
  std::uint32_t ThisDisk = 0, CentralDisk = 0;
  std::uint64_t TotalEntries = 0, CentralSize = 0, CentralOffset = 0;  // as stored (ZIP64 applied)
  bool Zip64 = false;
  // Where the central directory begins in this file when it starts on this disk (computed
  // from the end record's position), else the stored offset.
  std::int64_t CentralComputed = 0;
  std::vector<TRawCentral> Entries;
  std::int64_t DataStart = 0;         // first byte of ZIP data
  bool Shifted = false;               // stored and computed central offsets differ
};

// The message number and text of a failure; the listing raises it as EZipMaster.
struct TLayoutError {
  int Id;
  std::string Arg;  // filled into the message's placeholder, or empty
};

// Reads the archive's layout. With `entries` false only the end record is read. Throws
// TLayoutError.
TZipLayout ReadZipLayout(const std::string& path, bool entries = true);

// The file of part `disk` (counted from 0) of the split set whose last part is `lastPart`
// (Info-ZIP names "x.z01", "x.z02"..., or numbered names "x001.zip", "x002.zip"...); the
// last part is `lastPart` itself. Empty when no such file exists.
std::string SplitPartName(const std::string& lastPart, std::uint32_t disk, std::uint32_t lastDisk);

// Little-endian helpers on byte arrays.
inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}
inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutLe64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Offset of the ZIP64 value for the local header offset inside `extra`, or -1 (the
// central header's sizes marked 0xFFFFFFFF come first in that field).
std::int64_t Zip64OffsetField(std::string_view extra, bool unpackedMarked, bool packedMarked);

}  // namespace zipbridge
