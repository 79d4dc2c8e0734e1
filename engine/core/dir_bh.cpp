// Directory of BH archives.
//
// Header, 37 bytes: 0 signature 42 48 05 07 (4), 4 a non-zero 16-bit value, 7 version made
// by (1), 8 version needed (1), 9 flags (1: bit 0 encrypted, bits 1-2 deflate option),
// 10 method (1), 11 DOS date-time (4), 15 compressed size (4), 19 original size (4),
// 23 CRC-32 (4), 27 attributes (2), 33 name length (1); the name follows at 37.
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 37;
constexpr std::uint8_t kSig[4] = {0x42, 0x48, 0x05, 0x07};

class BhDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset());
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    if (std::memcmp(h, kSig, 4) != 0 || ReadLe16(h + 4) == 0) return walk.Stop();
    const std::size_t nameLen = h[33];
    char name[256];
    walk.ReadExact(pos + static_cast<std::int64_t>(kBlock), name, nameLen);
    const std::int64_t packed = ReadLe32(h + 15);
    walk.Cur = pos + static_cast<std::int64_t>(kBlock + nameLen) + packed;
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(std::string_view(name, nameLen), TNameCoding::ncOem, e.FileName);
    l.NameRead(e.FileName);
    if (!l.IsSelected(e.FileName, true)) return;
    e.DateTime = DosDateToDateTime(ReadLe32(h + 11));
    e.VersionMadeBy = h[7];
    e.VersionNeeded = h[8];
    e.PackedSize = packed;
    e.UnpackedSize = ReadLe32(h + 19);
    e.CRC = ReadLe32(h + 23);
    e.Encrypted = (h[9] & 1) != 0;
    e.MethodCode = h[10];
    e.MethodName = MethodName(l.ArcType(), h[10], h[9], 0);
    e.InternalAttr = ReadLe16(h + 27);
    e.ExternalAttr = e.InternalAttr;
    l.ReportMember(walk, pos);
  }
};

}  // namespace

std::unique_ptr<IDirReader> MakeBhDirReader() { return std::make_unique<BhDirReader>(); }

}  // namespace engine
