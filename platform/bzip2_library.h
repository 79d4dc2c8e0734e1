// The bzip2 library, loaded by name at run time (libbz2.dll on Windows, libbz2.so.1 here),
// with its streaming interface.
#pragma once

#include <cstdint>

#include "platform/dynlib.h"

namespace platform {

// The library's stream record (the layout of bzlib's bz_stream).
struct TBzStream {
  char* next_in = nullptr;
  unsigned int avail_in = 0;
  unsigned int total_in_lo32 = 0;
  unsigned int total_in_hi32 = 0;
  char* next_out = nullptr;
  unsigned int avail_out = 0;
  unsigned int total_out_lo32 = 0;
  unsigned int total_out_hi32 = 0;
  void* state = nullptr;
  void* (*bzalloc)(void*, int, int) = nullptr;
  void (*bzfree)(void*, void*) = nullptr;
  void* opaque = nullptr;
};

enum : int { kBzRun = 0, kBzFlush = 1, kBzFinish = 2 };
enum : int { kBzOk = 0, kBzRunOk = 1, kBzFlushOk = 2, kBzFinishOk = 3, kBzStreamEnd = 4 };

class Bzip2Library {
 public:
  // Loads the library and resolves the six stream functions; false when either fails.
  bool Load();
  bool IsLoaded() const { return ready_; }

  int CompressInit(TBzStream* s, int blockSize100k, int verbosity, int workFactor) const;
  int Compress(TBzStream* s, int action) const;
  int CompressEnd(TBzStream* s) const;
  int DecompressInit(TBzStream* s, int verbosity, int small) const;
  int Decompress(TBzStream* s) const;
  int DecompressEnd(TBzStream* s) const;

 private:
  Library lib_;
  bool ready_ = false;
  void* fn_[6] = {};
};

}  // namespace platform
