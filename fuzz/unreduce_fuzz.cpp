// Fuzzes the unreducer: byte 0 gives the factor (1-4) and whether bytes 1-2 give the size;
// the rest is the member data. Output is capped at 1 MiB.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/unreduce.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const unsigned factor = 1 + (data[0] & 3);
  const std::uint64_t limit = (data[0] & 4) ? engine::kNoOutputLimit : (data[1] | (data[2] << 8)) * 16u;
  std::vector<std::uint8_t> out;
  const engine::CodecStatus s = engine::UnreduceBuffer({data + 3, size - 3}, factor, limit, out, 1 << 20);
  if (s == engine::CodecStatus::csEnd && limit != engine::kNoOutputLimit && out.size() != limit) __builtin_trap();
  return 0;
}
