// Directory of ARC and PAK archives.
//
// Header, 29 bytes: 0 marker 0x1A, 1 header type (0 end; 1 old stored form without the
// original size, 25 bytes; 30 subdirectory; 31 end of subdirectory, 2 bytes), 2 name (13,
// zero-terminated), 15 compressed size (4), 19 date (2), 21 time (2), 23 CRC-16 (2),
// 25 original size (4).
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 29;
constexpr int kMaxDepth = 64;

class ArcDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset());
    const TArcType t = walk.Lister.ArcType();
    pak_ = t == TArcType::atPak || t == TArcType::atPakExe;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const std::uint8_t type = h[1];
    if (h[0] != 0x1A || type == 0) return walk.Stop();
    if (!pak_ && type == 31) {
      // End of a subdirectory: a two-byte record.
      if (!prefix_.empty()) {
        prefix_.pop_back();
        const auto cut = prefix_.find_last_of('\\');
        prefix_.erase(cut == std::string::npos ? 0 : cut + 1);
        --depth_;
      }
      walk.Cur = pos + 2;
      return;
    }
    const char* n = reinterpret_cast<const char*>(h + 2);
    const std::string_view field(n, strnlen(n, 13));
    const bool isSubdir = !pak_ && type == 30;
    const std::int64_t packed = ReadLe32(h + 15);
    const std::int64_t unpacked = type == 1 ? packed : ReadLe32(h + 25);
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(std::string(pak_ ? "" : prefix_) + std::string(field), TNameCoding::ncOem,
                      e.FileName);
    l.NameRead(e.FileName);
    const bool report = isSubdir ? l.ShowBlankDirs : l.IsSelected(e.FileName, true);
    if (report) {
      if (isSubdir) MarkFolder(e.FileName);
      e.DateTime = DosDateToDateTime((static_cast<std::uint32_t>(ReadLe16(h + 19)) << 16) |
                                     ReadLe16(h + 21));
      e.VersionMadeBy = e.VersionNeeded = 0;
      e.PackedSize = isSubdir ? 0 : packed;
      e.UnpackedSize = isSubdir ? 0 : unpacked;
      e.CRC = ReadLe16(h + 23);
      e.Encrypted = false;
      e.MethodCode = type;
      e.MethodName = MethodName(l.ArcType(), type, 0, 0);
      e.InternalAttr = e.ExternalAttr = isSubdir ? 16 : 32;
      l.ReportMember(walk, pos, !isSubdir);
    }
    if (isSubdir) {
      // The subdirectory's members follow its header.
      if (depth_ < kMaxDepth) {
        prefix_ += std::string(field) + "\\";
        ++depth_;
      }
      walk.Cur = pos + static_cast<std::int64_t>(kBlock);
      return;
    }
    walk.Cur = pos + (type == 1 ? 25 : static_cast<std::int64_t>(kBlock)) + packed;
  }

 private:
  bool pak_ = false;
  std::string prefix_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<IDirReader> MakeArcDirReader() { return std::make_unique<ArcDirReader>(); }

}  // namespace engine
