// Directory of LHA/LZH archives, header levels 0 to 3.
//
// Base header (22 bytes read per block):
//   0 header size (1; levels 0-1: bytes after the first two; level 2: 16 bits, whole header)
//   1 header checksum (1)   2 method id ('-lh5-', 5)   7 compressed size (4)
//   11 original size (4)    15 time (DOS for levels 0-1, Unix seconds for 2-3)
//   19 attribute (1)        20 level (1)               21 name length (levels 0-1)
// Levels 1-3 continue with extended headers: type (1), data, size of the next (2; 4 at
// level 3); type 1 is the file name, type 2 the folder (0xFF separated), 0x40 attributes.
#include <algorithm>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kBlock = 22;
// Extended headers of one member: at most this many, so a crafted chain cannot run long.
constexpr int kMaxExtHeaders = 256;
constexpr std::int64_t kMaxExtHeaderSize = 65536;

class LhaDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset());
    std::uint8_t first = 0;
    if (walk.ReadUpTo(walk.Cur, &first, 1) == 1 && first == 0) walk.Cur += 128;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const int level = h[20];
    // A zero size byte ends the archive (a level-2 size is 16 bits and may end in 0).
    if (level == 2 ? ReadLe16(h) == 0 : h[0] == 0) return walk.Stop();
    if (level > 3 || h[2] != '-' || h[6] != '-') return walk.Stop();

    std::string name, dir;
    std::uint16_t crc = 0;
    std::uint32_t attr = h[19];
    std::int64_t headerSize = 0;  // bytes from pos to the member's data
    std::int64_t extPos = 0, extSize = 0;
    int sizeWidth = 2;
    const std::int64_t packedField = ReadLe32(h + 7);
    std::int64_t extTotal = 0;

    if (level <= 1) {
      headerSize = static_cast<std::int64_t>(h[0]) + 2;
      const std::size_t nameLen = h[21];
      if (22 + static_cast<std::int64_t>(nameLen) + 2 > headerSize) return Bad(walk);
      name.resize(nameLen);
      walk.ReadExact(pos + 22, name.data(), nameLen);
      std::uint8_t tail[5] = {};
      walk.ReadExact(pos + 22 + static_cast<std::int64_t>(nameLen), tail, level == 1 ? 5 : 2);
      crc = ReadLe16(tail);
      if (level == 1) {
        extPos = pos + headerSize;
        extSize = ReadLe16(tail + 3);
      }
    } else if (level == 2) {
      headerSize = ReadLe16(h);
      std::uint8_t tail[4];
      walk.ReadExact(pos + 22, tail, 4);
      crc = ReadLe16(h + 21);
      extPos = pos + 26;
      extSize = ReadLe16(tail + 2);
    } else {
      if (ReadLe16(h) != 4) return Bad(walk);
      std::uint8_t tail[10];
      walk.ReadExact(pos + 22, tail, 10);
      crc = ReadLe16(h + 21);
      headerSize = ReadLe32(tail + 2);
      extPos = pos + 32;
      extSize = ReadLe32(tail + 6);
      sizeWidth = 4;
    }
    if (headerSize < 22) return Bad(walk);

    // Extended headers: each holds its type, its data and the size of the next one.
    for (int n = 0; extSize > 0 && n < kMaxExtHeaders; ++n) {
      if (extSize < 1 + sizeWidth || extSize > kMaxExtHeaderSize) return Bad(walk);
      ext_.resize(static_cast<std::size_t>(extSize));
      walk.ReadExact(extPos, ext_.data(), ext_.size());
      const std::uint8_t type = ext_[0];
      const std::string_view data(reinterpret_cast<const char*>(ext_.data()) + 1,
                                  ext_.size() - 1 - sizeWidth);
      if (type == 1) {
        name.assign(data);
      } else if (type == 2) {
        dir.assign(data);
      } else if (type == 0x40 && data.size() >= 2) {
        attr = ReadLe16(reinterpret_cast<const std::uint8_t*>(data.data()));
      }
      const std::uint8_t* next = ext_.data() + ext_.size() - sizeWidth;
      extTotal += extSize;
      extPos += extSize;
      extSize = sizeWidth == 2 ? ReadLe16(next) : ReadLe32(next);
    }

    // Level 1 counts its extended headers in the compressed size.
    std::int64_t packed = packedField;
    if (level == 1) packed = std::max<std::int64_t>(0, packedField - extTotal);
    const std::int64_t dataPos = level == 1 ? pos + headerSize + extTotal : pos + headerSize;

    // Folder names use 0xFF (and either slash) between components.
    std::string full;
    if (!dir.empty()) {
      for (char& c : dir)
        if (static_cast<unsigned char>(c) == 0xFF || c == '/') c = '\\';
      while (!dir.empty() && (dir.back() == '\\' || dir.back() == ' ')) dir.pop_back();
      while (!dir.empty() && dir.front() == ' ') dir.erase(0, 1);
      if (!dir.empty()) full = dir + "\\";
    }
    full += name;
    // Unix symbolic links store "name|target"; the member is the link itself.
    const auto bar = full.find('|');
    if (bar != std::string::npos) full.erase(bar);
    ConvertMemberName(full, TNameCoding::ncOem, l.Entry.FileName);
    l.NameRead(l.Entry.FileName);

    if (l.IsSelected(l.Entry.FileName, true)) {
      TArchiveEntry& e = l.Entry;
      const std::uint32_t time = ReadLe32(h + 15);
      e.DateTime = level >= 2 ? UnixToDateTime(time) : DosDateToDateTime(time);
      e.VersionMadeBy = e.VersionNeeded = 0;
      e.UnpackedSize = ReadLe32(h + 11);
      e.PackedSize = std::min(packed, e.UnpackedSize);
      e.CRC = crc;
      e.Encrypted = false;
      e.MethodCode = h[5];
      e.MethodName = MethodName(l.ArcType(), h[5], 0, 0);
      e.InternalAttr = 32;
      e.ExternalAttr = attr;
      l.ReportMember(walk, pos);
    }
    walk.Cur = dataPos + packed;
  }

 private:
  static void Bad(TListWalk& walk) {
    if (!walk.Reported)
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
    walk.Stop();
  }
  std::vector<std::uint8_t> ext_;
};

}  // namespace

std::unique_ptr<IDirReader> MakeLhaDirReader() { return std::make_unique<LhaDirReader>(); }

}  // namespace engine
