// Directory of cabinet files, following the cabinets of a set by the names they give.
//
// Cabinet header, 36 bytes: "MSCF" (4), reserved (4), cabinet size (4), reserved (4),
// offset of the first file entry (4), reserved (4), minor (1) and major (1) version,
// folder count (2), file count (2), flags (2: bit 0 previous cabinet, bit 1 next cabinet,
// bit 2 reserve sizes present), set id (2), index (2). Then the reserve sizes (2+1+1) and
// header reserve, previous and next cabinet and disk names (zero-terminated), the folder
// entries (offset of the first data block (4), block count (2), compression type (2), and
// the folder reserve).
// File entry, 16 bytes: size (4), offset in the folder (4), folder index (2), date (2),
// time (2), attributes (2), then the zero-terminated name (UTF-8 when attribute 0x80).
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"
#include "platform/path.h"

namespace engine {

namespace {

constexpr std::size_t kHeader = 36;
constexpr std::size_t kFileEntry = 16;
constexpr std::size_t kMaxName = 257;
constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t kContinuedPrevAndNext = 0xFFFF;
constexpr std::uint16_t kAttrNameIsUtf8 = 0x80;

class CabDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kFileEntry;
    cabStart_ = FirstHeaderPos(walk.Lister.StartOffset());
    if (!ReadCabinet(walk, cabStart_)) {
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
      walk.BlockSize = 0;
    }
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* f = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    if (remaining_ == 0) return walk.Stop();
    std::size_t used = 0;
    const std::string name = walk.ReadCString(pos + static_cast<std::int64_t>(kFileEntry), kMaxName, used);
    if (used == kMaxName && name.size() == kMaxName) return walk.Stop();
    --remaining_;
    walk.Cur = pos + static_cast<std::int64_t>(kFileEntry + used);

    const std::uint16_t folder = ReadLe16(f + 8);
    const std::uint16_t attr = ReadLe16(f + 14);
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(name, (attr & kAttrNameIsUtf8) ? TNameCoding::ncUtf8 : TNameCoding::ncOem,
                      e.FileName);
    l.NameRead(e.FileName);
    // Files that began in an earlier cabinet were listed there.
    if (folder != kContinuedFromPrev && folder != kContinuedPrevAndNext &&
        l.IsSelected(e.FileName, true)) {
      e.DateTime = DosDateToDateTime((static_cast<std::uint32_t>(ReadLe16(f + 10)) << 16) |
                                     ReadLe16(f + 12));
      e.VersionMadeBy = minor_;
      e.VersionNeeded = major_;
      e.PackedSize = e.UnpackedSize = ReadLe32(f);
      e.CRC = 0;
      e.Encrypted = false;
      // Files continued into the next cabinet (0xFFFE) belong to the last folder.
      const std::size_t fi = folder == 0xFFFE ? folderTypes_.size() - 1 : folder;
      const std::uint16_t type = fi < folderTypes_.size() ? folderTypes_[fi] : folderTypes_.front();
      e.MethodCode = type;
      e.MethodName = MethodName(l.ArcType(), type, 0, 0);
      e.InternalAttr = attr;
      e.ExternalAttr = attr;
      e.Ratio = 0;
      l.ReportMember(walk, pos, true, true);
    }
    if (remaining_ > 0) return;
    if (nextCabinet_.empty()) return walk.Stop();
    const std::string path =
        platform::JoinPath(platform::DirectoryPart(l.CurrentVolume()), nextCabinet_);
    if (!l.OpenNamedVolume(walk, path, nextDisk_)) return walk.Stop();
    cabStart_ = 0;
    if (!ReadCabinet(walk, 0)) {
      l.ReportError(l.CurrentVolume(), "", "0", kErrBadFileHeader);
      walk.Stop();
    }
  }

 private:
  // Reads a cabinet's header and folders; sets the walk to its first file entry.
  bool ReadCabinet(TListWalk& walk, std::int64_t start) {
    std::uint8_t h[kHeader];
    if (walk.ReadUpTo(start, h, kHeader) != kHeader || std::memcmp(h, "MSCF", 4) != 0)
      return false;
    minor_ = h[24];
    major_ = h[25];
    const std::uint16_t folders = ReadLe16(h + 26);
    remaining_ = ReadLe16(h + 28);
    const std::uint16_t flags = ReadLe16(h + 30);
    std::int64_t p = start + static_cast<std::int64_t>(kHeader);
    std::size_t folderReserve = 0;
    if (flags & 4) {
      std::uint8_t r[4];
      walk.ReadExact(p, r, 4);
      p += 4 + ReadLe16(r);
      folderReserve = r[2];
    }
    std::size_t used = 0;
    nextCabinet_.clear();
    nextDisk_.clear();
    if (flags & 1) {
      for (int i = 0; i < 2; ++i) {
        walk.ReadCString(p, kMaxName, used);
        p += static_cast<std::int64_t>(used);
      }
    }
    if (flags & 2) {
      nextCabinet_ = walk.ReadCString(p, kMaxName, used);
      p += static_cast<std::int64_t>(used);
      nextDisk_ = walk.ReadCString(p, kMaxName, used);
      p += static_cast<std::int64_t>(used);
      // A name with a folder part could reach outside the set's folder.
      if (nextCabinet_.find_first_of("/\\:") != std::string::npos) nextCabinet_.clear();
    }
    folderTypes_.clear();
    for (std::uint16_t i = 0; i < folders; ++i) {
      std::uint8_t fe[8];
      if (walk.ReadUpTo(p, fe, 8) != 8) break;
      folderTypes_.push_back(ReadLe16(fe + 6));
      p += 8 + static_cast<std::int64_t>(folderReserve);
    }
    if (folderTypes_.empty()) folderTypes_.push_back(0);
    const std::int64_t firstFile = start + ReadLe32(h + 16);
    if (firstFile < p && remaining_ > 0) return false;
    walk.Cur = firstFile;
    return true;
  }

  std::int64_t cabStart_ = 0;
  std::uint32_t remaining_ = 0;
  std::uint8_t minor_ = 0, major_ = 0;
  std::string nextCabinet_, nextDisk_;
  std::vector<std::uint16_t> folderTypes_;
};

}  // namespace

std::unique_ptr<IDirReader> MakeCabDirReader() { return std::make_unique<CabDirReader>(); }

}  // namespace engine
