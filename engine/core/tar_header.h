// Reading tar headers: the 512-byte block with its checksum, and the extensions that
// carry long names (GNU 'L'/'K' records, pax 'x' records, the ustar prefix field).
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/stream.h"

namespace engine {

inline constexpr std::int64_t kTarBlock = 512;

// One logical member: its header block may be preceded by extension records.
struct TTarMember {
  std::string Name;             // "/" as stored, UTF-8 for pax names, raw bytes otherwise
  std::string LinkName;
  std::int64_t Size = 0;        // data bytes following the header
  std::int64_t ModTime = 0;     // Unix seconds
  std::uint32_t Mode = 0;
  char Type = '0';
  std::int64_t HeaderOffset = 0;  // the first block of the member (extensions included)
  std::int64_t DataOffset = 0;
  std::int64_t NextOffset = 0;    // the next member's first block
};

enum class TTarRead : std::uint8_t {
  trMember,     // a member was read
  trEnd,        // a zero block or an empty name: the archive ends
  trBadHeader,  // a block whose checksum is wrong
  trEof,        // the file ended (or a length ran past it)
};

bool TarChecksumValid(const std::uint8_t* block);
// The numeric fields: octal text, or GNU base-256 when the top bit of the first byte is set.
std::int64_t TarNumber(const std::uint8_t* field, int width);

// Reads the member whose first block is at `pos` in `in` (of size `fileSize`). Never reads
// past the end; extension records are bounded (a long name is at most 64 KiB).
TTarRead ReadTarMember(IStream& in, std::int64_t pos, std::int64_t fileSize, TTarMember& out);

}  // namespace engine
