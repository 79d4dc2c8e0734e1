// Inflate (RFC 1951 deflate, ZIP method 8) and optionally Deflate64 (method 9): a streaming,
// table-driven decoder that pulls compressed blocks and hands out decoded blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/decoders/codec_io.h"

namespace engine {

class Inflater {
 public:
  // Deflate64 widens the history to 64 KiB, gives length code 285 sixteen extra bits and
  // makes distance codes 30 and 31 usable.
  explicit Inflater(bool deflate64 = false);

  // Prepares for a new stream; buffers and the fixed-code tables are kept.
  void Reset();

  // Decodes one whole stream: pulls input from `source` as needed and passes the output to
  // `sink` in blocks of at most twice the history size (64 KiB, Deflate64 128 KiB).
  // Returns csEnd after the final block; csStopped when the sink refused a block;
  // csBadBlock for a damaged block or input that ends inside the stream, block type 3, a
  // distance reaching before the start of the output, or a code the tables reject;
  // csBadLengths for more than 286 literal/length codes or more than 30 distance codes
  // (32 for Deflate64); csIncompleteCodeSet for code lengths that do not form a complete
  // prefix code (one code of one bit, and an empty distance code, are allowed), a missing
  // end-of-block code, or a repeat running past the declared count.
  // Output produced before a failure has already been passed to the sink. A source that
  // stops because the user cancelled gets csBadBlock back: the caller knows to ignore it.
  // Sources may block inside Read (for instance to ask for the next disk of a spanned set).
  CodecStatus Decode(IByteSource& source, IByteSink& sink);

  bool IsDeflate64() const { return deflate64_; }
  // Bytes produced so far in this stream.
  std::uint64_t TotalOut() const;
  // After csEnd: the bytes the decoder pulled from the source beyond the end of the stream
  // (a container's trailer starts there).
  std::vector<std::uint8_t> UnusedInput() const;

  // Packed table entry (32 bits):
  //   bits 0-7   bits to consume: the code's length, plus the extra bits for lengths and
  //              distances; for a link, the primary table's index width
  //   bits 8-11  the code's length (extra bits start there); for a link, the sub-table's
  //              index width
  //   bit 12     link to a sub-table (value = its first entry)
  //   bit 13     end of block
  //   bit 14     invalid code (a code no symbol uses, or a symbol data may not use)
  //   bit 15     literal (value = the byte)
  //   bits 16-31 value: literal byte, length or distance base, or sub-table start
  static constexpr std::uint32_t kLinkFlag = 1u << 12;
  static constexpr std::uint32_t kEndFlag = 1u << 13;
  static constexpr std::uint32_t kInvalidFlag = 1u << 14;
  static constexpr std::uint32_t kLiteralFlag = 1u << 15;

  // Lookup widths: 11 bits of literal/length code resolve nearly every symbol in one step;
  // distances use 8.
  static constexpr unsigned kLitBits = 11;
  static constexpr unsigned kDistBits = 8;
  static constexpr unsigned kCodeLenBits = 7;
  // Capacities: primary table plus the worst case of sub-tables (each sub-table of 2^k
  // entries holds at least k + 1 codes).
  static constexpr std::size_t kLitTableSize = 2048 + 1024;
  static constexpr std::size_t kDistTableSize = 256 + 512;

 private:
  struct Tables {
    std::uint32_t lit[kLitTableSize];
    std::uint32_t dist[kDistTableSize];
  };
  CodecStatus DecodeStream();
  CodecStatus CopyStored();
  CodecStatus DecodeHuffman();
  template <bool kDeflate64>
  CodecStatus FastLoop(bool& endOfBlock);
  CodecStatus SlowSymbol(bool& endOfBlock);
  CodecStatus CopyMatch(std::size_t distance, std::size_t length);
  CodecStatus ReadDynamicTables();
  CodecStatus BuildTables(Tables& t, const std::uint8_t* lens, unsigned nlen, unsigned ndist) const;

  bool Pull();
  bool Need(unsigned n);
  std::uint32_t Bits(unsigned n) const { return static_cast<std::uint32_t>(bitBuf_ & ((std::uint64_t{1} << n) - 1)); }
  void Drop(unsigned n) {
    bitBuf_ >>= n;
    bitCount_ -= n;
  }
  bool FlushTo(std::size_t pos);
  bool AfterWrite();

  bool deflate64_;
  std::size_t histSize_;  // the largest distance: 32 KiB or 64 KiB
  std::size_t ringSize_;  // twice that: word copies may overrun without touching history

  // Input: a block buffer with room for kCodecInputBlock bytes plus the few left over.
  std::vector<std::uint8_t> inBuf_;
  const std::uint8_t* inNext_ = nullptr;
  const std::uint8_t* inEnd_ = nullptr;
  bool inEof_ = false;
  // LSB-first bit buffer. Bits above bitCount_ are either zero or copies of the bits of the
  // bytes at inNext_ (the word-wise refill loads ahead), so ORing those bytes in again is
  // harmless.
  std::uint64_t bitBuf_ = 0;
  unsigned bitCount_ = 0;

  // Output ring: decoded bytes land here and leave in blocks each time it fills.
  std::vector<std::uint8_t> ring_;
  std::size_t outPos_ = 0;
  std::size_t flushed_ = 0;  // ring_[flushed_, outPos_) not yet handed to the sink
  std::uint64_t totalFlushed_ = 0;
  bool wrapped_ = false;  // the ring has been filled once: all of the history is valid

  std::vector<Tables> tables_;  // [0] current dynamic tables, [1] fixed tables
  bool fixedBuilt_ = false;
  const Tables* cur_ = nullptr;

  IByteSource* source_ = nullptr;
  IByteSink* sink_ = nullptr;
};

// Inflates a whole buffer (tests, fuzzers, small members). Output beyond `maxOut` bytes
// stops decoding with csStopped.
CodecStatus InflateBuffer(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                          bool deflate64 = false, std::size_t maxOut = static_cast<std::size_t>(-1));

}  // namespace engine
