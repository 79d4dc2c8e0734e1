// Tbzip2: whole-stream bzip2 compression and decompression through the bzip2 library.
#pragma once

#include <stdexcept>
#include <string>

#include "engine/core/errors.h"
#include "engine/core/stream.h"
#include "platform/bzip2_library.h"

namespace zipbridge {

// A library result other than success, named as the library names it ("BZ_DATA_ERROR").
class EBzip2 : public engine::EBase {
 public:
  explicit EBzip2(const std::string& what) : engine::EBase(what) {}
};

class Tbzip2 {
 public:
  // Loads the library; raises EBzip2 "Error load OCI dll !!!" when it cannot be loaded.
  Tbzip2();

  int BlockSize() const { return blockSize_; }
  void SetBlockSize(int value);    // 1..9; other values are ignored
  int BufferSize() const { return bufferSize_; }
  void SetBufferSize(int value);   // KiB, 1..4096; other values are ignored

  // The source, from its start, becomes a bzip2 stream at the target's position.
  void CompressStream(engine::IStream& source, engine::IStream& target);
  // Streams from the source's start are written, decompressed, at the target's position.
  // Streams that follow one another (as bzip2 itself writes for concatenated input) are
  // all decompressed.
  void DecompressStream(engine::IStream& source, engine::IStream& target);

 private:
  platform::Bzip2Library lib_;
  int blockSize_ = 1;
  int bufferSize_ = 32;
};

// The name of a library result: "BZ_SEQUENCE_ERROR", ..., "BZ_UNKNOWN_ERROR".
std::string Bzip2ResultName(int result);

}  // namespace zipbridge
