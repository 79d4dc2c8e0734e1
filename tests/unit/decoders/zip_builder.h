// Hand-made ZIP archives for tests: stored or pre-packed members with any name, flags,
// date and attributes, so crafted cases (hostile names, broken sizes) need no tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/crc.h"
#include "engine/core/stream.h"

namespace ziptest {

// 2021-06-15 10:20:30 as a DOS date-time.
inline constexpr std::uint32_t kDosDate = (((2021u - 1980u) << 9 | 6u << 5 | 15u) << 16) |
                                          (10u << 11 | 20u << 5 | 15u);

struct TMember {
  std::string Name;
  std::vector<std::uint8_t> Data;            // the member's content
  std::uint16_t Method = 0;
  std::uint16_t Flags = 0;
  std::uint32_t DosDate = kDosDate;
  std::uint32_t External = 0x20;
  std::optional<std::vector<std::uint8_t>> Packed;  // bytes stored; Data when absent
  std::optional<std::uint32_t> Crc;                 // CRC-32 of Data when absent
  std::optional<std::uint32_t> PackedSize;          // size field; Packed's size when absent
};

// A stored member with the defaults above.
inline TMember Stored(std::string name, std::vector<std::uint8_t> data, std::uint16_t method = 0) {
  TMember m;
  m.Name = std::move(name);
  m.Data = std::move(data);
  m.Method = method;
  return m;
}

inline std::vector<std::uint8_t> Bytes(const std::string& s) {
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

inline std::vector<std::uint8_t> BuildZip(const std::vector<TMember>& members) {
  std::vector<std::uint8_t> out, central;
  auto put16 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
  };
  auto put32 = [&](std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
  };
  for (const TMember& m : members) {
    const std::vector<std::uint8_t>& packed = m.Packed ? *m.Packed : m.Data;
    const std::uint32_t crc = m.Crc ? *m.Crc : engine::Crc32Of(m.Data);
    const std::uint32_t packedSize = m.PackedSize ? *m.PackedSize : static_cast<std::uint32_t>(packed.size());
    const auto offset = static_cast<std::uint32_t>(out.size());
    put32(out, 0x04034B50);
    put16(out, 20);
    put16(out, m.Flags);
    put16(out, m.Method);
    put32(out, m.DosDate);
    put32(out, crc);
    put32(out, packedSize);
    put32(out, static_cast<std::uint32_t>(m.Data.size()));
    put16(out, static_cast<std::uint32_t>(m.Name.size()));
    put16(out, 0);
    out.insert(out.end(), m.Name.begin(), m.Name.end());
    out.insert(out.end(), packed.begin(), packed.end());

    put32(central, 0x02014B50);
    put16(central, 20);
    put16(central, 20);
    put16(central, m.Flags);
    put16(central, m.Method);
    put32(central, m.DosDate);
    put32(central, crc);
    put32(central, packedSize);
    put32(central, static_cast<std::uint32_t>(m.Data.size()));
    put16(central, static_cast<std::uint32_t>(m.Name.size()));
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put32(central, m.External);
    put32(central, offset);
    central.insert(central.end(), m.Name.begin(), m.Name.end());
  }
  const auto cdOffset = static_cast<std::uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  put32(out, 0x06054B50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<std::uint32_t>(members.size()));
  put16(out, static_cast<std::uint32_t>(members.size()));
  put32(out, static_cast<std::uint32_t>(central.size()));
  put32(out, cdOffset);
  put16(out, 0);
  return out;
}

}  // namespace ziptest
