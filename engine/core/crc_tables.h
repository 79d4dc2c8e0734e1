// The CRC lookup tables, built at compile time, for code that needs the byte step inline
// (the PKWARE cipher updates its keys one byte at a time).
#pragma once

#include <array>
#include <cstdint>

namespace engine::crc_detail {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
    t[i] = static_cast<std::uint16_t>(r);
  }
  return t;
}

// Slicing tables: kCrc32[0] is the classic byte table; kCrc32[k][b] is the register effect of
// byte b followed by k zero bytes, so 8 input bytes fold with 8 independent lookups.
inline constexpr int kSlices = 8;
using Crc32Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr Crc32Tables MakeCrc32Tables() {
  Crc32Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    t[0][i] = r;
  }
  for (int s = 1; s < kSlices; ++s)
    for (std::uint32_t i = 0; i < 256; ++i)
      t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

inline constexpr auto kCrc16 = MakeCrc16Table();
inline constexpr Crc32Tables kCrc32 = MakeCrc32Tables();

inline std::uint32_t Crc32StepInline(std::uint32_t reg, std::uint8_t byte) {
  return kCrc32[0][(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

}  // namespace engine::crc_detail
