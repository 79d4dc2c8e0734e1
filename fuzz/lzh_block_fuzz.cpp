// Fuzzes LzhBlockDecoder (all parameter sets) and the LArc decoders with bounded output.
// Input: byte 0 picks the codec, bytes 1-2 the output size (up to 256 KiB), the rest is
// the compressed stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoders/larc_decoder.h"
#include "engine/decoders/lzh_block_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint64_t outSize = (std::uint64_t{data[1]} | (std::uint64_t{data[2]} << 8)) * 4;
  const std::span<const std::uint8_t> stream(data + 3, size - 3);
  std::vector<std::uint8_t> out;
  static const engine::LzhParams* const kSets[] = {
      &engine::kLzhLh4, &engine::kLzhLh5, &engine::kLzhLh6, &engine::kLzhLh7, &engine::kLzhArj};
  const unsigned pick = data[0] % 7;
  int status;
  if (pick < 5) {
    status = engine::LzhBlockDecoder::DecodeBuffer(*kSets[pick], stream, outSize, out);
  } else {
    status = engine::LArcDecoder::DecodeBuffer(
        pick == 5 ? engine::TLArcMethod::lmLz5 : engine::TLArcMethod::lmLzs, stream, outSize, out);
  }
  if (status == 0 && out.size() != outSize) __builtin_trap();
  if (out.size() > outSize) __builtin_trap();
  return 0;
}
