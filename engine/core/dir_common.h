// What the lister's walk shares with the directory readers of the formats: the walk state,
// the reader interface, and name conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/core/buffered_reader.h"
#include "engine/core/types.h"

namespace engine {

class TDivED;

// Largest header block any format reads at once (TAR's 512-byte record).
inline constexpr std::size_t kMaxHeaderBlock = 512;

// State of one listing run. Positions are 0-based offsets in the current volume.
struct TListWalk {
  explicit TListWalk(TDivED& lister) : Lister(lister) {}

  TDivED& Lister;
  BufferedReader In;
  std::int64_t Size = 0;       // size of the current volume
  std::int64_t Cur = 0;        // where the next header block is read
  std::int64_t HeaderPos = 0;  // where the block being handled was read
  std::int64_t End = 0;        // the walk stops when a block would reach it
  std::size_t BlockSize = 0;   // bytes read at each header position
  std::size_t BlockRead = 0;   // bytes actually read into Block
  std::uint8_t Block[kMaxHeaderBlock] = {};
  int VolumeSerial = 0;        // changes whenever the walk moves to another volume
  bool Reported = false;       // any member (folders too) reported in this run

  // Ends the walk after the current step.
  void Stop() { Cur = End; }
  // Reads exactly `count` bytes at `pos`; raises "Error reading file or unexpected end of
  // file" when that fails.
  void ReadExact(std::int64_t pos, void* out, std::size_t count);
  // Reads up to `count` bytes; raises only on a read error.
  std::size_t ReadUpTo(std::int64_t pos, void* out, std::size_t count);
  // A zero-terminated string of at most `maxLen` bytes at `pos`; `consumed` receives the
  // bytes passed over including the terminator (maxLen when none was found).
  std::string ReadCString(std::int64_t pos, std::size_t maxLen, std::size_t& consumed);
};

// A format's part of the listing: its initialisation and its header step.
class IDirReader {
 public:
  virtual ~IDirReader() = default;
  // Sets BlockSize, Cur and End (End defaults to the archive size); may read main headers.
  virtual void Init(TListWalk& walk) = 0;
  // Handles the block just read at walk.HeaderPos: reads the rest of the header, reports
  // the member when selected, and sets walk.Cur to the next header (or stops the walk).
  virtual void Step(TListWalk& walk) = 0;
};

// One reader per format family (dir_*.cpp).
std::unique_ptr<IDirReader> MakeZipDirReader();
std::unique_ptr<IDirReader> MakeLhaDirReader();
std::unique_ptr<IDirReader> MakeArjDirReader();
std::unique_ptr<IDirReader> MakeArcDirReader();   // ARC and PAK
std::unique_ptr<IDirReader> MakeZooDirReader();
std::unique_ptr<IDirReader> MakeBhDirReader();
std::unique_ptr<IDirReader> MakeHaDirReader();
std::unique_ptr<IDirReader> MakeCabDirReader();
std::unique_ptr<IDirReader> MakeRarDirReader();
std::unique_ptr<IDirReader> MakeAceDirReader();
std::unique_ptr<IDirReader> MakeGzipDirReader();  // gzip, compress, pack, bzip2 streams
std::unique_ptr<IDirReader> MakeMsgzDirReader();
std::unique_ptr<IDirReader> MakeTarDirReader();
std::unique_ptr<IDirReader> MakeUueDirReader();

// How a format stores member names.
enum class TNameCoding : std::uint8_t {
  ncOem,        // the OEM code page (CP437 unless the system says otherwise)
  ncAnsi,       // Windows-1252
  ncUtf8,       // UTF-8 (ZIP with flag bit 11, RAR 5); malformed bytes are taken as OEM
  ncUtf8OrOem,  // UTF-8 when the bytes are valid UTF-8, else OEM (TAR, HA)
};

// Converts a stored name to UTF-8 into `out` (reusing its storage) and turns "/" into "\".
void ConvertMemberName(std::string_view bytes, TNameCoding coding, std::string& out);
bool IsValidUtf8(std::string_view bytes);
// Folder members end in "\" whatever their format stores, so hosts can tell them apart.
inline void MarkFolder(std::string& name) {
  if (name.empty() || name.back() != '\\') name += '\\';
}
// The 0-based position of the first header from detection's 1-based start offset.
std::int64_t FirstHeaderPos(std::int64_t startOffset);

}  // namespace engine
