// Fuzzes the exploder: byte 0 gives the general purpose flags (window, trees) and whether the
// size is known, bytes 1-2 the size; the rest is the member data. Output is capped at 1 MiB.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/explode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint16_t flags = data[0] & 6;
  const std::uint64_t limit = (data[0] & 1) ? engine::kNoOutputLimit : (data[1] | (data[2] << 8)) * 16u;
  std::vector<std::uint8_t> out;
  const engine::CodecStatus s = engine::ExplodeBuffer({data + 3, size - 3}, flags, limit, out, 1 << 20);
  if (s == engine::CodecStatus::csEnd && limit != engine::kNoOutputLimit && out.size() != limit) __builtin_trap();
  return 0;
}
