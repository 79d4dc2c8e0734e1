// Fuzzes the inflater: byte 0 picks Deflate64 and the input piece size, the rest is the
// stream. Output is capped at 1 MiB.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static constexpr std::size_t kPieces[4] = {1, 7, 4096, 1 << 20};
  const bool deflate64 = (data[0] & 1) != 0;
  engine::Inflater inflater(deflate64);
  engine::MemorySource source({data + 1, size - 1}, kPieces[(data[0] >> 1) & 3]);
  std::vector<std::uint8_t> out;
  engine::VectorSink sink(out, 1 << 20);
  const engine::CodecStatus s = inflater.Decode(source, sink);
  if (s == engine::CodecStatus::csEnd && inflater.TotalOut() != out.size()) __builtin_trap();
  return 0;
}
