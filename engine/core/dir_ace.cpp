// Directory of ACE archives, following members across the volumes of a set.
//
// Every block: CRC (2), size of the rest of the header (2), type (1), flags (2; bit 0 a
// data size follows, bit 1 comment, 0x1000 continued from the previous volume, 0x2000
// continues in the next, 0x4000 encrypted). The main header (type 0) carries "**ACE**" at
// offset 7 and the archiver version at 15. A file header (type 1) goes on with packed size
// (4), original size (4), DOS date-time (4), attributes (4), CRC-32 (4), technical
// information (4: type, quality, parameter), reserved (2), name length (2), name.
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 7;
constexpr std::size_t kFileFixed = 4 + 3 + 28;   // up to and including the name length
constexpr std::size_t kMaxName = 255;            // longer names are refused
constexpr std::uint16_t kFlagAddSize = 0x0001, kFlagSplitBefore = 0x1000,
                        kFlagSplitAfter = 0x2000, kFlagPassword = 0x4000;

class AceDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    if (!ReadMain(walk, FirstHeaderPos(walk.Lister.StartOffset()))) {
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
      walk.BlockSize = 0;
    }
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const std::uint16_t size = ReadLe16(h + 2);
    const std::uint8_t type = h[4];
    const std::uint16_t flags = ReadLe16(h + 5);
    if (size < 3) return Bad(walk);
    if (type != 1) {
      // Recovery records and other blocks are passed over with their data.
      std::int64_t add = 0;
      if (flags & kFlagAddSize) {
        std::uint8_t a[4];
        walk.ReadExact(pos + 7, a, 4);
        add = ReadLe32(a);
      }
      walk.Cur = pos + 4 + size + add;
      return;
    }
    if (static_cast<std::size_t>(size) + 4 < kFileFixed) return Bad(walk);
    std::uint8_t f[kFileFixed];
    walk.ReadExact(pos, f, kFileFixed);
    const std::size_t nameLen = ReadLe16(f + 33);
    if (nameLen > kMaxName || kFileFixed + nameLen > static_cast<std::size_t>(size) + 4)
      return Bad(walk);
    char name[kMaxName];
    walk.ReadExact(pos + static_cast<std::int64_t>(kFileFixed), name, nameLen);
    const std::int64_t packed = ReadLe32(f + 7);
    walk.Cur = pos + 4 + size + packed;

    packedTotal_ = (flags & kFlagSplitBefore) && pending_ ? packedTotal_ + packed : packed;
    pending_ = false;
    if (flags & kFlagSplitAfter) {
      pending_ = true;
      if (!walk.Lister.OpenNextVolume(walk) || !ReadMain(walk, 0)) return walk.Stop();
      return;
    }
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(std::string_view(name, nameLen), TNameCoding::ncOem, e.FileName);
    l.NameRead(e.FileName);
    const std::uint32_t attr = ReadLe32(f + 19);
    const bool isDir = (attr & 0x10) != 0;
    if (isDir ? !l.ShowBlankDirs : !l.IsSelected(e.FileName, true)) return;
    if (isDir) MarkFolder(e.FileName);
    e.DateTime = DosDateToDateTime(ReadLe32(f + 15));
    e.VersionMadeBy = e.VersionNeeded = versionMadeBy_;
    e.PackedSize = packedTotal_;
    e.UnpackedSize = ReadLe32(f + 11);
    e.CRC = ReadLe32(f + 23);
    e.Encrypted = (flags & kFlagPassword) != 0;
    e.MethodCode = f[28];
    e.MethodName = MethodName(l.ArcType(), f[28], 0, 0);
    e.InternalAttr = static_cast<std::uint16_t>(attr);
    e.ExternalAttr = attr;
    l.ReportMember(walk, pos, !isDir);
  }

 private:
  // Reads the main header at `pos` and sets the walk after it (its size covers the
  // authenticity string and the comment).
  bool ReadMain(TListWalk& walk, std::int64_t pos) {
    std::uint8_t m[16];
    if (walk.ReadUpTo(pos, m, sizeof m) != sizeof m || m[4] != 0 ||
        std::memcmp(m + 7, "**ACE**", 7) != 0)
      return false;
    versionMadeBy_ = m[15];
    walk.Cur = pos + 4 + ReadLe16(m + 2);
    return true;
  }

  static void Bad(TListWalk& walk) {
    if (!walk.Reported)
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
    walk.Stop();
  }

  std::uint8_t versionMadeBy_ = 0;
  std::int64_t packedTotal_ = 0;
  bool pending_ = false;
};

}  // namespace

std::unique_ptr<IDirReader> MakeAceDirReader() { return std::make_unique<AceDirReader>(); }

}  // namespace engine
