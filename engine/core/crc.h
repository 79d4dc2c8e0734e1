// CRC-16 (ARC/LHA, reflected 0xA001) and CRC-32 (ZIP, reflected 0xEDB88320), block-wise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace engine {

// Update a CRC-16 register over a block. No initial value or final complement is applied.
std::uint16_t UpdateCrc16(std::uint16_t reg, const std::uint8_t* data, std::size_t count);
// Update a CRC-32 register over a block (slice-by-8). The caller starts the register at
// 0xFFFFFFFF and complements the result, as ZIP does.
std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count);
// One byte of CRC-32, the step the PKWARE cipher uses.
std::uint32_t Crc32Step(std::uint32_t reg, std::uint8_t byte);
// Complemented CRC-32 of a whole buffer, as stored in archives.
std::uint32_t Crc32Of(std::span<const std::uint8_t> data);

}  // namespace engine
