// The one member of a single-stream file: gzip (1F 8B, old 1F 9E), compress (1F 9D), pack
// (1F 1E), SCO LZH (1F A0) and bzip2 ("BZh").
//
// gzip header, 10 bytes: magic (2), method (1), flags (1: bit 1 header CRC, bit 2 extra,
// bit 3 name, bit 4 comment, bit 5 encrypted), time (4, Unix seconds), extra flags (1),
// system (1). Trailer: CRC-32 (4) and the size modulo 2^32 (4).
#include <algorithm>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 10;
constexpr std::size_t kMaxName = 1024;
// Some writers append the name after the trailer, marked by this value where the CRC
// would stand.
constexpr std::uint32_t kNameTrailerMark = 0x00008B1F;

class GzipDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset());
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const std::int64_t size = walk.Size;
    const std::uint16_t magic = ReadLe16(h);
    const bool gzip = magic == 0x8B1F || magic == 0x9E1F;
    const bool bzip2 = h[0] == 'B' && h[1] == 'Z' && h[2] == 'h';
    if (!gzip && !bzip2 && magic != 0x9D1F && magic != 0x1E1F && magic != 0xA01F)
      return walk.Stop();
    walk.Stop();  // one member only

    TArchiveEntry& e = l.Entry;
    const std::uint8_t method = h[2], flags = h[3];
    std::int64_t p = pos + static_cast<std::int64_t>(kBlock);  // end of the header so far
    e.CRC = 0;
    e.Encrypted = false;
    e.PackedSize = e.UnpackedSize = std::max<std::int64_t>(0, size - pos - 10);
    if (magic == 0x9D1F || bzip2) {
      const auto t = platform::FileModTime(l.CurrentVolume());
      e.DateTime = t ? UnixToDateTime(*t) : kDate1980;
    } else {
      e.DateTime = UnixToDateTime(ReadLe32(h + 4));
    }

    std::string name;
    if (gzip) {
      if (flags & 0x04) {
        std::uint8_t xlen[2];
        walk.ReadExact(p, xlen, 2);
        p += 2 + ReadLe16(xlen);
      }
      std::size_t used = 0;
      if (flags & 0x08) {
        name = walk.ReadCString(p, kMaxName, used);
        p += static_cast<std::int64_t>(used);
      }
      if (flags & 0x10) {
        walk.ReadCString(p, kMaxName * 64, used);
        p += static_cast<std::int64_t>(used);
      }
      if (flags & 0x02) p += 2;
      std::int64_t trailer = size - 8;
      std::uint8_t t[8];
      if (trailer < p) return Truncated(walk);
      walk.ReadExact(trailer, t, 8);
      if (ReadLe32(t) == kNameTrailerMark) {
        const std::uint32_t len = ReadLe32(t + 4);
        // The name and a second trailer must fit between the header and the mark.
        if (len > kMaxName || static_cast<std::int64_t>(len) + 8 > trailer - p)
          return Truncated(walk);
        std::string tail(len, '\0');
        walk.ReadExact(trailer - len, tail.data(), len);
        name = tail.substr(0, tail.find('\0'));
        trailer -= static_cast<std::int64_t>(len) + 8;
        walk.ReadExact(trailer, t, 8);
      }
      e.CRC = ReadLe32(t);
      e.UnpackedSize = ReadLe32(t + 4);
      e.Encrypted = (flags & 0x20) != 0;
      e.PackedSize = std::max<std::int64_t>(0, trailer - p);
    }
    if (name.empty()) {
      // No stored name: the archive's own name up to its first dot.
      name = platform::FileNamePart(l.ArchiveFile());
      name = name.substr(0, name.find('.'));
    }
    ConvertMemberName(name, TNameCoding::ncUtf8OrOem, e.FileName);
    l.NameRead(e.FileName);

    const auto attr = platform::FileAttributes(l.CurrentVolume());
    e.ExternalAttr = attr && *attr != 128 ? (*attr & ~platform::kAttrDirectory) : 0;
    e.InternalAttr = 0;
    e.VersionMadeBy = e.VersionNeeded = 0;
    e.MethodCode = bzip2 ? 0 : method;
    e.MethodName = bzip2 ? std::string("bzip2") : MethodName(l.ArcType(), method, magic, 0);
    l.ReportMember(walk, pos);
  }

 private:
  static void Truncated(TListWalk& walk) {
    walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrReadingFile);
    walk.Stop();
  }
};

}  // namespace

std::unique_ptr<IDirReader> MakeGzipDirReader() { return std::make_unique<GzipDirReader>(); }

}  // namespace engine
