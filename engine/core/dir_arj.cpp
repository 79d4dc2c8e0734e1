// Directory of ARJ archives, following members across the volumes of a set.
//
// Each header: id 0xEA60 (2), basic header size (2, at most 2600), basic header, its CRC-32
// (4), then extended headers, each a size (2; 0 ends them), data and CRC-32 (4).
// Basic header: 0 size of the fixed part (the name starts there), 1 archiver version,
// 2 minimum version, 3 host, 4 flags (bit 0 garbled, bit 2 continues in the next volume,
// bit 3 continued from the previous one), 5 method, 6 file type (3 directory), 8 DOS
// date-time (4), 12 compressed size (4), 16 original size (4), 20 CRC-32 (4), 26 access
// mode (2).
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::uint16_t kHeaderId = 0xEA60;
constexpr std::size_t kMaxBasicHeader = 2600;
constexpr std::uint8_t kFlagGarbled = 0x01, kFlagVolume = 0x04, kFlagExtFile = 0x08;
constexpr int kMaxExtHeaders = 64;

struct ArjHeader {
  std::uint8_t basic[kMaxBasicHeader];
  std::size_t size = 0;
  std::int64_t dataPos = 0;  // after the basic header, its CRC and the extended headers
  std::string name;
};

class ArjDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::int64_t start = FirstHeaderPos(l.StartOffset());
    ArjHeader main;
    if (!ReadHeader(walk, start, main)) l.RaiseError(l.ArchiveFile(), "", "0", kErrBadFileHeader);
    multiVolume_ = (main.basic[4] & kFlagVolume) != 0;
    walk.BlockSize = 4;
    walk.Cur = main.dataPos;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::int64_t pos = walk.HeaderPos;
    if (!ReadHeader(walk, pos, hdr_)) return walk.Stop();
    std::int64_t packed = ReadLe32(hdr_.basic + 12);
    std::int64_t unpacked = ReadLe32(hdr_.basic + 16);
    std::int64_t next = hdr_.dataPos + packed;
    std::uint8_t flags = hdr_.basic[4];

    if (flags & kFlagVolume) {
      // The member goes on in the next volume: add up its parts there.
      while (flags & kFlagVolume) {
        if (!l.OpenNextVolume(walk)) return walk.Stop();
        ArjHeader main;
        if (!ReadHeader(walk, 0, main) || !ReadHeader(walk, main.dataPos, hdr_)) {
          l.ReportError(l.CurrentVolume(), "", "0", kErrBadFileHeader);
          return walk.Stop();
        }
        packed += ReadLe32(hdr_.basic + 12);
        unpacked += ReadLe32(hdr_.basic + 16);
        flags = hdr_.basic[4];
        next = hdr_.dataPos + ReadLe32(hdr_.basic + 12);
      }
    } else if (multiVolume_ && (flags & kFlagExtFile)) {
      walk.Cur = next;  // the tail of a member listed with the previous volume
      return;
    }
    walk.Cur = next;

    TArchiveEntry& e = l.Entry;
    ConvertMemberName(hdr_.name, TNameCoding::ncOem, e.FileName);
    l.NameRead(e.FileName);
    const bool isDir = hdr_.basic[6] == 3;
    if (isDir ? !l.ShowBlankDirs : !l.IsSelected(e.FileName, true)) return;
    if (isDir) MarkFolder(e.FileName);
    const std::uint8_t* b = hdr_.basic;
    e.DateTime = DosDateToDateTime(ReadLe32(b + 8));
    e.VersionMadeBy = b[1];
    e.VersionNeeded = b[2];
    e.PackedSize = packed;
    e.UnpackedSize = unpacked;
    e.CRC = ReadLe32(b + 20);
    e.Encrypted = (flags & kFlagGarbled) != 0;
    e.MethodCode = b[5];
    e.MethodName = MethodName(l.ArcType(), b[5], 0, isDir ? kMethodDirAttr : 0);
    e.InternalAttr = ReadLe16(b + 26);
    e.ExternalAttr = e.InternalAttr;
    l.ReportMember(walk, pos, !isDir);
  }

 private:
  // Reads the header at `pos`; false at the end marker or at anything that is no header.
  static bool ReadHeader(TListWalk& walk, std::int64_t pos, ArjHeader& out) {
    std::uint8_t id[4];
    if (walk.ReadUpTo(pos, id, 4) != 4) return false;
    const std::size_t size = ReadLe16(id + 2);
    if (ReadLe16(id) != kHeaderId || size == 0) return false;
    if (size > kMaxBasicHeader || size < 30) return false;
    if (walk.ReadUpTo(pos + 4, out.basic, size) != size) return false;
    out.size = size;
    const std::size_t first = out.basic[0];
    if (first < 30 || first >= size) return false;
    const char* n = reinterpret_cast<const char*>(out.basic + first);
    const void* z = std::memchr(n, 0, size - first);
    if (!z) return false;
    out.name.assign(n, static_cast<const char*>(z));
    std::int64_t p = pos + 4 + static_cast<std::int64_t>(size) + 4;
    for (int i = 0; i < kMaxExtHeaders; ++i) {
      std::uint8_t ext[2];
      if (walk.ReadUpTo(p, ext, 2) != 2) return false;
      p += 2;
      const std::uint16_t extSize = ReadLe16(ext);
      if (extSize == 0) break;
      p += extSize + 4;
    }
    out.dataPos = p;
    return true;
  }

  ArjHeader hdr_;
  bool multiVolume_ = false;
};

}  // namespace

std::unique_ptr<IDirReader> MakeArjDirReader() { return std::make_unique<ArjDirReader>(); }

}  // namespace engine
