// Directory of InstallShield 3 "Z" archives (signature 13 5D 65 8C), listed only.
//
// Main header, 255 bytes: 12 file count (2), 41 position of the folder table (4), 49 folder
// count (2), 51 position of the file table (4; its entries start one byte later). Folder entry: file count (2), entry length
// (2), name length (2), name. File entry: 0 folder index (2), 2 original size (4),
// 6 compressed size (4), 10 data position (4), 14 date (2) and time (2), 18 attributes (4),
// 22 entry length (2), 28 name length (1), name; every file entry starts with one byte more
// (not used here), which its entry length counts.
#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 30;  // the lead byte and the 29-byte header
constexpr std::size_t kMain = 255;
constexpr std::size_t kMaxFolders = 4096;

class MsgzDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    const std::int64_t start = FirstHeaderPos(walk.Lister.StartOffset());
    std::uint8_t m[kMain];
    walk.BlockSize = kBlock;
    if (walk.ReadUpTo(start, m, kMain) != kMain) {
      walk.BlockSize = 0;
      return;
    }
    const std::int64_t dirTable = ReadLe32(m + 41);
    const std::size_t folders = ReadLe16(m + 49);
    std::int64_t fileTable = ReadLe32(m + 51);
    remaining_ = ReadLe16(m + 12);
    std::int64_t p = dirTable;
    for (std::size_t i = 0; i < folders && i < kMaxFolders && p > 0 && p + 6 <= walk.Size; ++i) {
      std::uint8_t d[6];
      walk.ReadExact(p, d, 6);
      const std::size_t len = ReadLe16(d + 2), nameLen = ReadLe16(d + 4);
      if (len < 6 || nameLen > len - 6) break;
      std::string name(nameLen, '\0');
      walk.ReadExact(p + 6, name.data(), nameLen);
      ConvertMemberName(name, TNameCoding::ncAnsi, name);
      folders_.push_back(name);
      p += static_cast<std::int64_t>(len);
    }
    if (fileTable <= 0 || fileTable >= walk.Size) fileTable = p;
    walk.Cur = fileTable;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block + 1;
    const std::int64_t pos = walk.HeaderPos;
    if (remaining_ == 0) return walk.Stop();
    --remaining_;
    const std::size_t entryLen = ReadLe16(h + 22), nameLen = h[28];
    const std::size_t folder = ReadLe16(h);
    if (entryLen < kBlock + nameLen) return Bad(walk);
    char name[256];
    walk.ReadExact(pos + static_cast<std::int64_t>(kBlock), name, nameLen);
    walk.Cur = pos + static_cast<std::int64_t>(entryLen);
    std::string full;
    if (!folders_.empty()) {
      if (folder >= folders_.size()) return Bad(walk);
      if (!folders_[folder].empty()) full = folders_[folder] + "\\";
    }
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(full + std::string(name, nameLen), TNameCoding::ncAnsi, e.FileName);
    l.NameRead(e.FileName);
    if (!l.IsSelected(e.FileName, true)) return;
    e.UnpackedSize = ReadLe32(h + 2);
    e.PackedSize = ReadLe32(h + 6);
    e.CRC = 0;
    e.Encrypted = false;
    e.MethodName.clear();
    e.MethodCode = 0;
    e.ExternalAttr = ReadLe32(h + 18);
    e.InternalAttr = static_cast<std::uint16_t>(e.ExternalAttr);
    e.DateTime = DosDateToDateTime((static_cast<std::uint32_t>(ReadLe16(h + 14)) << 16) |
                                   ReadLe16(h + 16));
    e.VersionMadeBy = e.VersionNeeded = 0;
    l.ReportMember(walk, ReadLe32(h + 10));
  }

 private:
  static void Bad(TListWalk& walk) {
    if (!walk.Reported)
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
    walk.Stop();
  }
  std::vector<std::string> folders_;
  std::size_t remaining_ = 0;
};

}  // namespace

std::unique_ptr<IDirReader> MakeMsgzDirReader() { return std::make_unique<MsgzDirReader>(); }

}  // namespace engine
