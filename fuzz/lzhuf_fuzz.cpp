// Fuzzes the -lh1- decoder with bounded output. Input: bytes 0-1 the output size (up to
// 256 KiB), the rest the compressed stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/lzhuf_coder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint64_t outSize = (std::uint64_t{data[0]} | (std::uint64_t{data[1]} << 8)) * 4;
  std::vector<std::uint8_t> out;
  const int status = engine::LzhufCoder::DecodeBuffer({data + 2, size - 2}, outSize, out);
  if ((status == 0 && out.size() != outSize) || out.size() > outSize) __builtin_trap();
  return 0;
}
