// Directory of HA archives.
//
// "HA" and a 16-bit member count, then per member: 0 version (high 4 bits) and method (low
// 4 bits; 14 a folder), 1 compressed size (4), 5 original size (4), 9 CRC-32 (4), 13 time
// (4, Unix seconds); then the path and the name (zero-terminated; 0xFF separates folders),
// and the machine-dependent information: its length (1) and that many bytes.
// The lister reads each block from one byte before the header, as the walk always has.
#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 18;
constexpr std::size_t kMaxPath = 1024;

class HaDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset()) + 3;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t hdr = walk.HeaderPos + 1;
    std::size_t used = 0;
    std::int64_t p = hdr + 17;
    std::string path = walk.ReadCString(p, kMaxPath, used);
    p += static_cast<std::int64_t>(used);
    std::string name = walk.ReadCString(p, kMaxPath, used);
    p += static_cast<std::int64_t>(used);
    std::uint8_t mdiLen = 0;
    walk.ReadExact(p, &mdiLen, 1);
    const std::int64_t packed = ReadLe32(h + 2);
    // Cur is where the next block is read: one byte before the next header.
    walk.Cur = p + 1 + mdiLen + packed - 1;

    for (char& c : path)
      if (static_cast<unsigned char>(c) == 0xFF) c = '\\';
    const unsigned method = h[1] & 0x0F;
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(method == 14 ? path + name + "\\" : path + name, TNameCoding::ncUtf8OrOem,
                      e.FileName);
    l.NameRead(e.FileName);
    const bool isDir = method == 14;
    if (isDir ? !l.ShowBlankDirs : !l.IsSelected(e.FileName, true)) return;
    e.DateTime = UnixToDateTime(ReadLe32(h + 14));
    e.VersionMadeBy = e.VersionNeeded = h[1] >> 4;
    e.PackedSize = packed;
    e.UnpackedSize = ReadLe32(h + 6);
    e.CRC = ReadLe32(h + 10);
    e.Encrypted = false;
    e.MethodCode = static_cast<std::uint16_t>(method);
    e.MethodName = MethodName(l.ArcType(), static_cast<std::uint16_t>(method), 0, 0);
    e.InternalAttr = e.ExternalAttr = isDir ? 0x10 : 32;
    l.ReportMember(walk, hdr, !isDir);
  }
};

}  // namespace

std::unique_ptr<IDirReader> MakeHaDirReader() { return std::make_unique<HaDirReader>(); }

}  // namespace engine
