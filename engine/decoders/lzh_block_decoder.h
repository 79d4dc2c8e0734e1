// Static-Huffman LZSS block decoder of -lh4- to -lh7-, shared with ARJ 1-3, ZOO 2 and BH.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/decoders/huffman_table.h"
#include "engine/decoders/msb_bit_reader.h"
#include "engine/decoders/output_window.h"

namespace engine {

// What differs between the formats that use the block decoder.
struct LzhParams {
  unsigned dictBits;         // the stream reaches back at most 2^dictBits bytes
  unsigned positionCodes;    // largest count of position-code lengths the stream may send
  unsigned positionBits;     // width of that count field
  std::uint8_t fill = 0x20;  // history before the first byte (LHA fills with spaces)
};

// LHA methods. -lh4- accepts 14 position codes like -lh5-, as LHa for UNIX writes it.
inline constexpr LzhParams kLzhLh4{12, 14, 4};
inline constexpr LzhParams kLzhLh5{13, 14, 4};
inline constexpr LzhParams kLzhLh6{15, 16, 5};
inline constexpr LzhParams kLzhLh7{16, 17, 5};
// ARJ methods 1-3: 26624-byte history, position codes as for a 64 KiB window.
inline constexpr LzhParams kLzhArj{16, 17, 5};
// ZOO method 2 and the BH Fuse method use the -lh5- stream.
inline constexpr LzhParams kLzhZoo = kLzhLh5;
inline constexpr LzhParams kLzhBh = kLzhLh5;

// The parameters of an LHA method ID ("-lh4-" ... "-lh7-"), or nullptr for another.
const LzhParams* LzhParamsForMethod(const char* methodId5);

// One instance per member. Decode() reads blocks (a 16-bit symbol count, the code-length
// code, the literal/length code, the position code, then the symbols) until exactly
// `size` bytes are out, handing them to the window's sink. It returns 0, or an error
// code: kErrBadHuffmanCode for impossible tables, kErrCorruptInput for a symbol the
// tables cannot give or a zero block count before the end, kErrReadingFile when the
// input ends early, kErrWritingFile when the sink failed. The bytes decoded before an
// error have been handed to the sink.
class LzhBlockDecoder {
 public:
  explicit LzhBlockDecoder(const LzhParams& params);

  // Ring size (as bits) the OutputWindow must have: at least twice the history and 64 KiB.
  unsigned RingBits() const;
  // A window of RingBits() filled as the format defines, delivering to `sink`.
  std::unique_ptr<OutputWindow> MakeWindow(ByteSinkFn sink) const;

  int Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size);

  // One-shot helper over memory (tests, fuzzers): decodes `size` bytes of `packed`.
  static int DecodeBuffer(const LzhParams& params, std::span<const std::uint8_t> packed,
                          std::uint64_t size, std::vector<std::uint8_t>& output);

 private:
  static constexpr unsigned kNC = 510;  // 256 literals + 254 match lengths (3..256)
  static constexpr unsigned kNT = 19;   // code-length code symbols
  static constexpr unsigned kTBit = 5;
  static constexpr unsigned kCBit = 9;

  int ReadBlockHeader(MsbBitReader& in);
  int ReadPtLengths(MsbBitReader& in, unsigned count, unsigned countBits, int special,
                    HuffmanTable& table);
  int ReadCLengths(MsbBitReader& in);

  LzhParams params_;
  std::uint32_t blockLeft_ = 0;
  std::uint8_t lengths_[kNC] = {};
  HuffmanTable ptTable_;  // code-length code
  HuffmanTable cTable_;   // literals and lengths
  HuffmanTable pTable_;   // position codes
};

}  // namespace engine
