// Fuzzes the deflate coder: compresses the input (after a two-byte preamble choosing the
// level, the stored-method permission and the feeding piece size) and checks that the
// engine's inflater gives it back, that feeding in pieces changes nothing, and that the
// output never exceeds the stored-block bound.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/codec_io.h"
#include "engine/decoders/inflate.h"
#include "engine/writers/deflate_coder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int level = 1 + data[0] % 9;
  const bool allowStored = (data[0] & 0x80) != 0;
  static constexpr std::size_t kPieces[] = {1, 3, 7, 100, 4096, 32768};
  const std::size_t piece = kPieces[data[1] % std::size(kPieces)];
  const std::span<const std::uint8_t> in(data + 2, size - 2);

  std::vector<std::uint8_t> out;
  engine::DeflateCoder coder(
      level,
      [&out](std::span<const std::uint8_t> block) {
        out.insert(out.end(), block.begin(), block.end());
      },
      allowStored);
  for (std::size_t at = 0; at < in.size(); at += piece)
    coder.Write(in.subspan(at, std::min(piece, in.size() - at)));
  coder.Finish();

  // Stored blocks cost 5 bytes per block, and a block holds at least 32767 input bytes
  // unless it is the last; an empty stream is one 2-byte block.
  if (out.size() > in.size() + 5 * (in.size() / 32767 + 1) + 2) __builtin_trap();
  if (coder.IsStored()) {
    if (!allowStored || out.size() != in.size() || !std::equal(out.begin(), out.end(), in.begin()))
      __builtin_trap();
    return 0;
  }
  if (out != engine::DeflateBuffer(in, level)) __builtin_trap();
  std::vector<std::uint8_t> back;
  if (engine::InflateBuffer(out, back) != engine::CodecStatus::csEnd) __builtin_trap();
  if (back.size() != in.size() || !std::equal(back.begin(), back.end(), in.begin()))
    __builtin_trap();
  return 0;
}
