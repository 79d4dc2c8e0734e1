// LHA/LZH member headers of levels 0 to 3 with their extended headers, read with every
// length checked against the header and the file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/stream.h"

namespace engine {

// One member header as stored.
//
// Base header (first 22 bytes):
//   0 size (1; levels 0-1: bytes after the first two; level 2: 16 bits, whole header;
//     level 3: 16 bits, always 4, the width of size fields)
//   1 checksum of the header bytes after the first two (levels 0-1)
//   2 method id ("-lh5-", 5)   7 packed size (4)   11 original size (4)
//   15 time (DOS date/time for levels 0-1, Unix seconds for 2-3)
//   19 MS-DOS attribute (levels 0-1; reserved, often 0x20, at 2-3)   20 level (1)
// Levels 0-1: 21 name length (1), name, CRC-16 (2); level 1: OS id (1), next size (2).
// Level 2: 21 CRC-16 (2), 23 OS id (1), 24 next size (2).
// Level 3: 21 CRC-16 (2), 23 OS id (1), 24 whole header size (4), 28 next size (4).
// Extended headers: type (1), data, size of the next one (2; 4 at level 3). Level 1
// counts them in the packed size; levels 2-3 in the header size.
struct TLhaHeader {
  std::int64_t Offset = 0;       // of the header in the archive
  std::int64_t DataOffset = 0;   // first byte of the packed data
  std::int64_t PackedSize = 0;   // packed data only (level 1: extended headers taken off)
  std::int64_t OriginalSize = 0;
  std::int64_t NextOffset = 0;   // where the next header starts
  char Method[6] = {};           // the five characters of the method id, terminated
  int Level = 0;
  std::uint8_t OsId = 0;         // 0 when the level has none
  std::uint16_t Attribute = 0x20;
  std::uint32_t DosTime = 0;     // levels 0-1
  bool HasUnixTime = false;      // levels 2-3, or a Unix or Windows time extended header
  std::int64_t UnixTime = 0;
  std::uint16_t Crc = 0;         // CRC-16 of the original data
  std::string FileName;          // bytes as stored (OEM)
  std::string Directory;         // bytes as stored, 0xFF or "/" between folders

  bool IsDirectory() const;
  // DOS date/time of the member, from whichever time the header gave.
  std::uint32_t DosDateTime() const;
  // Day-count date of the member.
  double DateTime() const;
};

// ReadLhaHeader result when no further member follows (a zero size byte, the end of the
// file, or bytes that are not an LHA header, such as trailing junk).
inline constexpr int kLhaEnd = -1;

// Reads the header at `pos` of an archive of `fileSize` bytes into `h`. Returns 0,
// kLhaEnd, or an error code: kErrBadFileHeader for sizes that do not fit (a base header
// below its minimum, a name or an extended header outside its header, data outside the
// file), kErrHeaderCrc for a level 0-1 header whose checksum fails.
int ReadLhaHeader(IStream& in, std::int64_t pos, std::int64_t fileSize, TLhaHeader& h);

// Position of the first header: detection's start offset less one, moved on by 128
// bytes when the byte there is 0 (a block that some self-extractors put first).
std::int64_t LhaFirstHeader(IStream& in, std::int64_t startOffset);

// The member's stored path in UTF-8 with "\" between folders: the folder of the
// extended header in front of the name, each trimmed. A Unix symbolic link stores
// "name|target": the target goes to `linkTarget` (when given) and is cut from the name.
std::string LhaStoredName(const TLhaHeader& h, std::string* linkTarget = nullptr);

}  // namespace engine
