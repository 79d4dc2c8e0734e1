// Reads the numbers that self-extractor stubs keep in their string resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file.h"

namespace engine {

// Values of string resources 1..count of a Windows executable, in order, stopping at the
// first missing, empty or non-numeric string (at most 5 characters are read, as integers).
// `head` holds the first bytes of the file. Never reads outside the file; no OS loader.
std::vector<std::int64_t> ReadPeStringOffsets(const std::uint8_t* head, std::size_t headLen,
                                              platform::File& file, int count);

}  // namespace engine
