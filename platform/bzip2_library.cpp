// Binding of the bzip2 library's stream functions.
#include "platform/bzip2_library.h"

#ifdef _WIN32
#include <windows.h>
// The 32-bit Windows library exports its functions with the stdcall convention.
#define TESSALY_BZ_API WINAPI
#else
#define TESSALY_BZ_API
#endif

namespace platform {

namespace {
using CompressInitFn = int(TESSALY_BZ_API*)(TBzStream*, int, int, int);
using ActionFn = int(TESSALY_BZ_API*)(TBzStream*, int);
using EndFn = int(TESSALY_BZ_API*)(TBzStream*);
using DecompressInitFn = int(TESSALY_BZ_API*)(TBzStream*, int, int);

#ifdef _WIN32
constexpr const char* kLibraryNames[] = {"libbz2.dll"};
#else
constexpr const char* kLibraryNames[] = {"libbz2.so.1.0", "libbz2.so.1", "libbz2.so"};
#endif

// Current builds export BZ2_-prefixed names; very old ones the plain names.
constexpr const char* kNames[6] = {"bzCompressInit", "bzCompress", "bzCompressEnd",
                                   "bzDecompressInit", "bzDecompress", "bzDecompressEnd"};
}  // namespace

bool Bzip2Library::Load() {
  if (ready_) return true;
  bool loaded = false;
  for (const char* name : kLibraryNames)
    if ((loaded = lib_.Load(name))) break;
  if (!loaded) return false;
  for (int i = 0; i < 6; ++i) {
    fn_[i] = lib_.Symbol((std::string("BZ2_") + kNames[i]).c_str());
    if (!fn_[i]) fn_[i] = lib_.Symbol(kNames[i]);
    if (!fn_[i]) {
      lib_.Unload();
      return false;
    }
  }
  ready_ = true;
  return true;
}

int Bzip2Library::CompressInit(TBzStream* s, int blockSize100k, int verbosity, int workFactor) const {
  return reinterpret_cast<CompressInitFn>(fn_[0])(s, blockSize100k, verbosity, workFactor);
}
int Bzip2Library::Compress(TBzStream* s, int action) const {
  return reinterpret_cast<ActionFn>(fn_[1])(s, action);
}
int Bzip2Library::CompressEnd(TBzStream* s) const { return reinterpret_cast<EndFn>(fn_[2])(s); }
int Bzip2Library::DecompressInit(TBzStream* s, int verbosity, int small) const {
  return reinterpret_cast<DecompressInitFn>(fn_[3])(s, verbosity, small);
}
int Bzip2Library::Decompress(TBzStream* s) const { return reinterpret_cast<EndFn>(fn_[4])(s); }
int Bzip2Library::DecompressEnd(TBzStream* s) const { return reinterpret_cast<EndFn>(fn_[5])(s); }

}  // namespace platform
