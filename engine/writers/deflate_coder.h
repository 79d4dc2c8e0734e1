// Raw deflate compressor (RFC 1951) shared by the ZIP, JAR, BH and GZIP writers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/core/types.h"

namespace engine {

// Streaming deflate coder. It knows nothing of files, headers, checksums or events: the
// writer feeds the member's bytes with Write() in pieces of any size (the block layer hands
// at most 32768 at a time), calls Finish() once, and receives the compressed bytes through
// the sink, one call per finished deflate block (never per byte). The sink may throw (a
// short write); the coder is then unusable until Reset().
//
// Matching follows the classic deflate scheme: 32 KiB window in a 64 KiB buffer, hash
// chains walked at most the level's chain length, greedy parsing at levels 1-3 and lazy
// parsing at 4-9, blocks of up to 32767 symbols, each sent stored, with the fixed code or
// with a dynamic code, whichever is smallest. Levels 1-3 chain on a 3-byte hash; the lazy
// levels chain on a 4-byte hash (their long walks then skip strings that cannot beat a
// 3-byte match) and take 3-byte matches from a table of the latest position per 3 bytes.
//
// Stored method: when `allowStoredMethod` is set and the whole member fits one block that
// would not shrink, Finish() hands the member's bytes unchanged (no deflate framing at all)
// to the sink and IsStored() turns true; the writer then records method 0 instead of 8.
// Only containers with a stored method (ZIP) may allow this; GZIP must not.
class DeflateCoder {
 public:
  using TSink = std::function<void(std::span<const std::uint8_t>)>;

  // Level 1-9 for a deflate type: dtDeflateS 1, dtDeflateF 2, dtDeflateN 7, dtDeflateX 9.
  static int LevelOf(TDeflateType type);

  DeflateCoder(TDeflateType type, TSink sink, bool allowStoredMethod = false);
  // `level` is clamped to 1-9.
  DeflateCoder(int level, TSink sink, bool allowStoredMethod = false);
  ~DeflateCoder();
  DeflateCoder(const DeflateCoder&) = delete;
  DeflateCoder& operator=(const DeflateCoder&) = delete;

  // Compresses the next piece of the member. Nothing may be written after Finish().
  void Write(std::span<const std::uint8_t> data);
  // Compresses what is left, sends the final block and pads the stream to a byte.
  void Finish();
  // Starts a new member with the same level, sink and stored-method choice; buffers are
  // kept, so one coder serves a whole archive.
  void Reset();

  // True after Finish() when the member went out as plain bytes (see above).
  bool IsStored() const;
  std::uint64_t BytesIn() const;
  std::uint64_t BytesOut() const;
  int Level() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// One-shot raw deflate of a buffer (never the stored method), for tests and small data.
std::vector<std::uint8_t> DeflateBuffer(std::span<const std::uint8_t> in, TDeflateType type);
std::vector<std::uint8_t> DeflateBuffer(std::span<const std::uint8_t> in, int level);

}  // namespace engine
