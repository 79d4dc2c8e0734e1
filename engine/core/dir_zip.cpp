// Directory of ZIP and JAR archives: the central directory, or the local headers when the
// end record or the central directory cannot be trusted.
#include <cstring>

#include "engine/core/crc.h"
#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::uint32_t kLocalSig = 0x04034B50;    // "PK" 03 04
constexpr std::uint32_t kCentralSig = 0x02014B50;  // "PK" 01 02
constexpr std::uint32_t kSpanSig = 0x08074B50;     // "PK" 07 08, start of a spanned set
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::uint16_t kFlagUtf8 = 0x0800;        // general purpose bit 11: UTF-8 names
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathId = 0x7075;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFFu;

// The 64-bit values of a ZIP64 extra field, present in a fixed order for each 32-bit field
// that holds 0xFFFFFFFF.
struct Zip64Sizes {
  std::int64_t unpacked, packed, localOffset;
};

void ApplyZip64(const std::uint8_t* extra, std::size_t len, Zip64Sizes& v, bool unpackedMarked,
                bool packedMarked, bool offsetMarked) {
  std::size_t p = 0;
  while (p + 4 <= len) {
    const std::uint16_t id = ReadLe16(extra + p);
    const std::size_t size = ReadLe16(extra + p + 2);
    const std::size_t data = p + 4;
    if (data + size > len) return;
    if (id == kZip64ExtraId) {
      std::size_t q = data;
      const std::size_t stop = data + size;
      auto take = [&](bool marked, std::int64_t& out) {
        if (!marked || q + 8 > stop) return;
        const std::uint64_t value = ReadLe64(extra + q);
        if (value <= static_cast<std::uint64_t>(INT64_MAX)) out = static_cast<std::int64_t>(value);
        q += 8;
      };
      take(unpackedMarked, v.unpacked);
      take(packedMarked, v.packed);
      take(offsetMarked, v.localOffset);
      return;
    }
    p = data + size;
  }
}

class ZipDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    std::uint8_t flags = l.ZipFlags();
    if (l.ArcType() == TArcType::atZipMV && !l.IsRemovableDrive()) {
      // A spanned set is read from its last disk, which only a removable drive offers.
      walk.BlockSize = 0;
      return;
    }
    constexpr std::uint8_t kAll = kZipEndFound | kZipCentralFound | kZipLocalFound;
    if (l.OnCorruptZipHeader && (flags & kAll) != kAll) {
      bool cancel = true;
      l.OnCorruptZipHeader(l, flags, cancel);
      if (cancel) {
        walk.BlockSize = 0;
        return;
      }
    }
    walk.End = walk.Size;
    walk.Cur = l.StartOffset();
    if (!(flags & kZipCentralFound)) flags = kZipLocalFound;
    central_ = flags != kZipLocalFound;
    // Detection may point at a directory it could not confirm, or at local headers where
    // it expected a directory; what stands there decides.
    std::uint8_t sig[4] = {};
    if (walk.ReadUpTo(walk.Cur, sig, 4) == 4) {
      if (central_ && ReadLe32(sig) == kLocalSig) central_ = false;
      else if (!central_ && ReadLe32(sig) == kCentralSig) central_ = true;
    }
    walk.BlockSize = central_ ? kCentralSize : kLocalSize;
    first_ = walk.Cur;
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::uint32_t sig = ReadLe32(h);
    if (!central_ && sig == kSpanSig && walk.HeaderPos == first_) {
      walk.Cur = walk.HeaderPos + 4;  // the first local header follows the marker
      first_ = -1;
      return;
    }
    if (sig != (central_ ? kCentralSig : kLocalSig)) {
      if (!walk.Reported) l.ReportError(l.ArchiveFile(), "", "0", kErrBadFileHeader);
      walk.Stop();
      return;
    }
    return central_ ? CentralStep(walk) : LocalStep(walk);
  }

 private:
  // Info-ZIP's Unicode path field (0x7075): version 1, the CRC-32 of the stored name, and
  // the name in UTF-8. Used only while the stored name is the one it was made for.
  void ApplyUnicodePath(const std::uint8_t* extra, std::size_t len, std::string& name) const {
    std::size_t p = 0;
    while (p + 4 <= len) {
      const std::uint16_t id = ReadLe16(extra + p);
      const std::size_t size = ReadLe16(extra + p + 2);
      const std::size_t data = p + 4;
      if (data + size > len) return;
      if (id == kUnicodePathId && size > 5 && extra[data] == 1 &&
          ReadLe32(extra + data + 1) ==
              Crc32Of({reinterpret_cast<const std::uint8_t*>(raw_.data()), raw_.size()})) {
        const std::string_view utf8(reinterpret_cast<const char*>(extra + data + 5), size - 5);
        if (IsValidUtf8(utf8)) ConvertMemberName(utf8, TNameCoding::ncUtf8, name);
        return;
      }
      p = data + size;
    }
  }

  void ReadName(TListWalk& walk, std::int64_t pos, std::size_t len, std::uint16_t gpFlags) {
    raw_.resize(len);
    if (len) walk.ReadExact(pos, raw_.data(), len);
    ConvertMemberName(raw_, (gpFlags & kFlagUtf8) ? TNameCoding::ncUtf8 : TNameCoding::ncOem,
                      walk.Lister.Entry.FileName);
    walk.Lister.NameRead(walk.Lister.Entry.FileName);
  }

  void LocalStep(TListWalk& walk) {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::uint16_t gp = ReadLe16(h + 6);
    const std::uint16_t method = ReadLe16(h + 8);
    const std::uint32_t packed32 = ReadLe32(h + 18), unpacked32 = ReadLe32(h + 22);
    const std::size_t nameLen = ReadLe16(h + 26), extraLen = ReadLe16(h + 28);
    const std::int64_t namePos = walk.HeaderPos + static_cast<std::int64_t>(kLocalSize);
    ReadName(walk, namePos, nameLen, gp);
    Zip64Sizes v{unpacked32, packed32, 0};
    if (packed32 == kZip64Marker || unpacked32 == kZip64Marker) {
      extra_.resize(extraLen);
      const std::size_t got =
          walk.ReadUpTo(namePos + static_cast<std::int64_t>(nameLen), extra_.data(), extraLen);
      // A local ZIP64 field carries both sizes whenever either is marked.
      ApplyZip64(extra_.data(), got, v, true, true, false);
    }
    if (l.IsSelected(l.Entry.FileName, true)) {
      TArchiveEntry& e = l.Entry;
      e.DateTime = DosDateToDateTime(ReadLe32(h + 10));
      e.VersionMadeBy = e.VersionNeeded = ReadLe16(h + 4);
      e.PackedSize = v.packed;
      e.UnpackedSize = v.unpacked;
      e.CRC = ReadLe32(h + 14);
      e.Encrypted = (gp & 1) != 0;
      e.MethodCode = method;
      e.MethodName = MethodName(l.ArcType(), method, gp, 0);
      e.InternalAttr = 0;
      e.ExternalAttr = 0;
      l.ReportMember(walk, walk.HeaderPos);
    }
    walk.Cur = namePos + static_cast<std::int64_t>(nameLen + extraLen) + v.packed;
  }

  void CentralStep(TListWalk& walk) {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::uint16_t gp = ReadLe16(h + 8);
    const std::uint16_t method = ReadLe16(h + 10);
    const std::uint32_t packed32 = ReadLe32(h + 20), unpacked32 = ReadLe32(h + 24);
    const std::size_t nameLen = ReadLe16(h + 28), extraLen = ReadLe16(h + 30),
                      commentLen = ReadLe16(h + 32);
    const std::uint32_t external = ReadLe32(h + 38);
    const std::uint32_t offset32 = ReadLe32(h + 42);
    const std::int64_t namePos = walk.HeaderPos + static_cast<std::int64_t>(kCentralSize);
    ReadName(walk, namePos, nameLen, gp);
    walk.Cur = namePos + static_cast<std::int64_t>(nameLen + extraLen + commentLen);
    if (!l.IsSelected(l.Entry.FileName, true)) return;
    const bool isDir = (external & 0x10) != 0;
    if (isDir && !l.ShowBlankDirs) return;
    if (isDir) MarkFolder(l.Entry.FileName);
    Zip64Sizes v{unpacked32, packed32, offset32};
    if (extraLen > 0) {
      extra_.resize(extraLen);
      const std::size_t got =
          walk.ReadUpTo(namePos + static_cast<std::int64_t>(nameLen), extra_.data(), extraLen);
      if (packed32 == kZip64Marker || unpacked32 == kZip64Marker || offset32 == kZip64Marker)
        ApplyZip64(extra_.data(), got, v, unpacked32 == kZip64Marker, packed32 == kZip64Marker,
                   offset32 == kZip64Marker);
      ApplyUnicodePath(extra_.data(), got, l.Entry.FileName);
      if (isDir) MarkFolder(l.Entry.FileName);
    }
    TArchiveEntry& e = l.Entry;
    e.DateTime = DosDateToDateTime(ReadLe32(h + 12));
    e.VersionMadeBy = ReadLe16(h + 4);
    e.VersionNeeded = ReadLe16(h + 6);
    e.PackedSize = v.packed;
    e.UnpackedSize = v.unpacked;
    e.CRC = ReadLe32(h + 16);
    e.Encrypted = (gp & 1) != 0;
    e.MethodCode = method;
    e.MethodName = MethodName(l.ArcType(), method, gp, external);
    e.InternalAttr = ReadLe16(h + 36);
    e.ExternalAttr = external & 0xFFFF;
    l.ReportMember(walk, v.localOffset, !isDir);
  }

  bool central_ = true;
  std::int64_t first_ = -1;
  std::string raw_;
  std::vector<std::uint8_t> extra_;
};

}  // namespace

std::unique_ptr<IDirReader> MakeZipDirReader() { return std::make_unique<ZipDirReader>(); }

}  // namespace engine
