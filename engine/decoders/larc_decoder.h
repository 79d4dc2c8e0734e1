// LZSS decoders of LArc's -lzs- (2 KiB history) and -lz5- (4 KiB history) methods.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/msb_bit_reader.h"
#include "engine/decoders/output_window.h"

namespace engine {

enum class TLArcMethod : std::uint8_t { lmLzs, lmLz5 };

// One instance per member. Matches name an absolute position in a small ring whose
// starting contents the method defines (-lz5-: a fixed pattern of byte runs, counts,
// zeros and spaces; -lzs-: spaces). The window only receives the output.
class LArcDecoder {
 public:
  explicit LArcDecoder(TLArcMethod method);

  // Decodes exactly `size` bytes. Returns 0, kErrReadingFile when the input ends early,
  // or kErrWritingFile when the sink failed.
  int Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size);

  static int DecodeBuffer(TLArcMethod method, std::span<const std::uint8_t> packed,
                          std::uint64_t size, std::vector<std::uint8_t>& output);

 private:
  TLArcMethod method_;
  std::vector<std::uint8_t> ring_;
  unsigned pos_;
};

}  // namespace engine
