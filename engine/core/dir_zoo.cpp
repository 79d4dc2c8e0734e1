// Directory of ZOO archives: a chain of directory entries from the archive header.
//
// Archive header (58 bytes read): 20 tag 0xFDC4A7DC (4), 24 position of the first entry (4),
// 28 its negation (4). Directory entry: 0 tag (4), 4 type (1), 5 method (1), 6 next entry
// (4), 10 data position (4), 14 date (2), 16 time (2), 18 CRC-16 (2), 20 original size (4),
// 24 compressed size (4), 28 major and 29 minor version, 30 deleted (1), 38 short name (13);
// type 2 entries go on at 56 with the long-name length (1) and the folder length (1), then
// the long name and the folder.
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 58;
constexpr std::uint32_t kTag = 0xFDC4A7DC;

class ZooDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    std::uint8_t a[kBlock];
    const std::int64_t start = FirstHeaderPos(walk.Lister.StartOffset());
    walk.BlockSize = kBlock;
    if (walk.ReadUpTo(start, a, kBlock) != kBlock || ReadLe32(a + 20) != kTag ||
        ReadLe32(a + 24) + ReadLe32(a + 28) != 0) {
      walk.BlockSize = 0;
      return;
    }
    walk.Cur = ReadLe32(a + 24);
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const std::int64_t next = ReadLe32(h + 6);
    // The chain ends with an entry whose next position is 0.
    if (ReadLe32(h) != kTag || next == 0) return walk.Stop();
    walk.Cur = next;  // the frame stops a chain that does not move forward
    if (h[30] != 0) return;  // deleted entry
    const char* s = reinterpret_cast<const char*>(h + 38);
    std::string name(s, strnlen(s, 13));
    std::string dir;
    if (h[4] == 2) {
      const std::size_t longLen = h[56], dirLen = h[57];
      std::string buf(longLen + dirLen, '\0');
      walk.ReadExact(pos + static_cast<std::int64_t>(kBlock), buf.data(), buf.size());
      if (longLen > 0) {
        std::string longName = buf.substr(0, longLen);
        longName.resize(strnlen(longName.c_str(), longName.size()));
        if (!longName.empty()) name = longName;
      }
      dir = buf.substr(longLen);
      dir.resize(strnlen(dir.c_str(), dir.size()));
      while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
      if (!dir.empty()) dir += '\\';
    }
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(dir + name, TNameCoding::ncOem, e.FileName);
    l.NameRead(e.FileName);
    if (!l.IsSelected(e.FileName, true)) return;
    e.DateTime = DosDateToDateTime((static_cast<std::uint32_t>(ReadLe16(h + 14)) << 16) |
                                   ReadLe16(h + 16));
    e.VersionMadeBy = h[28];
    e.VersionNeeded = h[29];
    e.PackedSize = ReadLe32(h + 24);
    e.UnpackedSize = ReadLe32(h + 20);
    e.CRC = ReadLe16(h + 18);
    e.Encrypted = false;
    e.MethodCode = h[5];
    e.MethodName = MethodName(l.ArcType(), h[5], 0, 0);
    e.InternalAttr = 0;
    e.ExternalAttr = 0x20;
    l.ReportMember(walk, pos);
  }
};

}  // namespace

std::unique_ptr<IDirReader> MakeZooDirReader() { return std::make_unique<ZooDirReader>(); }

}  // namespace engine
