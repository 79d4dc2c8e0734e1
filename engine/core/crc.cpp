// CRC-16 (reflected 0xA001) and CRC-32 (reflected 0xEDB88320): table-driven, CRC-32 sliced.
#include "engine/core/crc.h"

#include "engine/core/crc_tables.h"

#include <bit>
#include <cstring>

namespace engine {
namespace {

using crc_detail::kCrc16;
using crc_detail::kCrc32;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t reg, const std::uint8_t* data, std::size_t count) {
  unsigned r = reg;
  const std::uint8_t* end = data + count;
  while (data != end) r = kCrc16[(r ^ *data++) & 0xFF] ^ (r >> 8);
  return static_cast<std::uint16_t>(r);
}

std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
  std::uint32_t r = reg;
  // Byte steps up to an 8-byte boundary keep the wide loads aligned.
  while (count && (reinterpret_cast<std::uintptr_t>(data) & 7)) {
    r = kCrc32[0][(r ^ *data++) & 0xFF] ^ (r >> 8);
    --count;
  }
  while (count >= 8) {
    const std::uint32_t lo = Load32(data) ^ r;
    const std::uint32_t hi = Load32(data + 4);
    r = kCrc32[7][lo & 0xFF] ^ kCrc32[6][(lo >> 8) & 0xFF] ^ kCrc32[5][(lo >> 16) & 0xFF] ^
        kCrc32[4][lo >> 24] ^ kCrc32[3][hi & 0xFF] ^ kCrc32[2][(hi >> 8) & 0xFF] ^
        kCrc32[1][(hi >> 16) & 0xFF] ^ kCrc32[0][hi >> 24];
    data += 8;
    count -= 8;
  }
  while (count--) r = kCrc32[0][(r ^ *data++) & 0xFF] ^ (r >> 8);
  return r;
}

std::uint32_t Crc32Step(std::uint32_t reg, std::uint8_t byte) {
  return kCrc32[0][(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

std::uint32_t Crc32Of(std::span<const std::uint8_t> data) {
  return UpdateCrc32(0xFFFFFFFFu, data.data(), data.size()) ^ 0xFFFFFFFFu;
}

}  // namespace engine
