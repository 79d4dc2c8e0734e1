// Fuzzes the compress (.Z) LZW decoder; output is capped at 1 MiB. The input is the whole
// file; the magic is forced so the fuzzer need not find it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/lzw_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> in(data, data + size);
  if (in.size() >= 2) in[0] = 0x1F, in[1] = 0x9D;
  std::vector<std::uint8_t> out;
  engine::LzwDecoder::DecodeBuffer(in, out, std::size_t{1} << 20);
  if (out.size() > (std::size_t{1} << 20)) __builtin_trap();
  return 0;
}
