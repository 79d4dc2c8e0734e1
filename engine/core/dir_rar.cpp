// Directory of RAR archives: the 1.5-4.x block format and the 5.x format, following
// members across the volumes of a set. Header parsing only; nothing is decompressed.
//
// RAR 1.5-4.x: marker block "Rar!" 1A 07 00, then blocks: CRC (2), type (1), flags (2),
// header size (2), and with flags bit 15 a data size (4). Main header type 0x73 (flags:
// 0x01 volume, 0x10 new volume naming, 0x80 encrypted headers). File header type 0x74:
// 7 packed size (4), 11 unpacked size (4), 15 host (1), 16 CRC-32 (4), 20 DOS date-time (4),
// 24 version (1), 25 method (1), 26 name length (2), 28 attributes (4); with flags 0x100
// the high halves of both sizes (4 + 4) follow; then the name (with flags 0x200 an OEM name,
// a zero and the Unicode name in RAR's compact coding). File flags: 0x01 continued from the
// previous volume, 0x02 continues in the next, 0x04 encrypted, 0xE0 all set: a folder.
//
// RAR 5: marker "Rar!" 1A 07 01 00, then blocks: CRC-32 (4), header size (vint), type
// (vint), flags (vint: 0x01 extra area, 0x02 data area, 0x08 continued from the previous
// volume, 0x10 continues in the next), extra size, data size, fields, extra records.
#include <algorithm>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"
#include "platform/codepage.h"

namespace engine {

namespace {

constexpr std::size_t kRar4Block = 32;
constexpr std::size_t kRar5Block = 7;
constexpr std::uint8_t kRar4Marker[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr std::uint8_t kRar5Marker[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxRar5Header = 2 * 1024 * 1024;

// RAR 3's compact Unicode name: the OEM name, then a high byte and pairs of flag bits that
// say how each character is made.
std::string DecodeRarUnicode(std::string_view oem, const std::uint8_t* enc, std::size_t size) {
  std::u32string out;
  if (size == 0) return {};
  std::size_t p = 0;
  const unsigned high = enc[p++];
  unsigned flags = 0;
  int flagBits = 0;
  while (p < size && out.size() < kMaxName) {
    if (flagBits == 0) {
      flags = enc[p++];
      flagBits = 8;
      if (p > size) break;
    }
    switch (flags >> 6) {
      case 0:
        if (p >= size) return {};
        out.push_back(enc[p++]);
        break;
      case 1:
        if (p >= size) return {};
        out.push_back(enc[p++] + (high << 8));
        break;
      case 2:
        if (p + 1 >= size) return {};
        out.push_back(enc[p] | (enc[p + 1] << 8));
        p += 2;
        break;
      default: {
        if (p >= size) return {};
        unsigned len = enc[p++];
        if (len & 0x80) {
          if (p >= size) return {};
          const unsigned correction = enc[p++];
          for (len = (len & 0x7F) + 2; len > 0 && out.size() < oem.size(); --len)
            out.push_back(((static_cast<unsigned char>(oem[out.size()]) + correction) & 0xFF) +
                          (high << 8));
        } else {
          for (len += 2; len > 0 && out.size() < oem.size(); --len)
            out.push_back(static_cast<unsigned char>(oem[out.size()]));
        }
        break;
      }
    }
    flags = (flags << 2) & 0xFF;
    flagBits -= 2;
  }
  std::string utf8;
  for (const char32_t c : out) {
    if (c == 0) break;
    platform::AppendUtf8(utf8, (c >= 0xD800 && c <= 0xDFFF) ? U'\uFFFD' : c);
  }
  return utf8;
}

// A RAR 5 variable-length integer: 7 bits per byte, low bits first.
bool ReadVint(const std::uint8_t* data, std::size_t size, std::size_t& p, std::uint64_t& out) {
  out = 0;
  for (int shift = 0; shift < 64 && p < size; shift += 7) {
    const std::uint8_t b = data[p++];
    out |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

class RarDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    const std::int64_t start = FirstHeaderPos(walk.Lister.StartOffset());
    std::uint8_t marker[8] = {};
    walk.ReadUpTo(start, marker, 8);
    rar5_ = std::memcmp(marker, kRar5Marker, 8) == 0;
    walk.BlockSize = rar5_ ? kRar5Block : kRar4Block;
    if (!ReadMain(walk, start)) walk.BlockSize = 0;
  }

  void Step(TListWalk& walk) override {
    if (rar5_) Step5(walk);
    else Step4(walk);
  }

 private:
  // Reads the marker and main header of a volume at `start` and sets the walk after them.
  bool ReadMain(TListWalk& walk, std::int64_t start) {
    TDivED& l = walk.Lister;
    if (rar5_) {
      walk.Cur = start + 8;
      return true;
    }
    std::uint8_t m[13];
    if (walk.ReadUpTo(start + 7, m, 13) != 13) l.RaiseError(l.CurrentVolume(), "", "0", kErrReadingFile);
    const std::uint16_t flags = ReadLe16(m + 3), size = ReadLe16(m + 5);
    if (m[2] != 0x73 || size < 13) {
      l.ReportError(l.CurrentVolume(), "", "0", kErrBadFileHeader);
      return false;
    }
    // Encrypted headers cannot be read without the password.
    if (flags & 0x80) return false;
    walk.Cur = start + 7 + size;
    return true;
  }

  bool NextVolume(TListWalk& walk) {
    TDivED& l = walk.Lister;
    if (!l.OpenNextVolume(walk)) {
      walk.Stop();
      return false;
    }
    std::uint8_t marker[8] = {};
    walk.ReadUpTo(0, marker, 8);
    if (std::memcmp(marker, rar5_ ? kRar5Marker : kRar4Marker, rar5_ ? 8 : 7) != 0)
      l.RaiseError(l.CurrentVolume(), "", "0", kErrOpeningFile);
    if (!ReadMain(walk, 0)) {
      walk.Stop();
      return false;
    }
    return true;
  }

  // Reports Entry (filled by the caller) unless the member continues in the next volume.
  // Returns false when the walk should not go on in this volume.
  void Finish(TListWalk& walk, bool continues, bool continued, std::int64_t packed,
              bool isDir, std::int64_t pos) {
    TDivED& l = walk.Lister;
    if (continued && pending_) packed += pendingPacked_;
    pending_ = false;
    if (continues) {
      pending_ = true;
      pendingPacked_ = packed;
      NextVolume(walk);
      return;
    }
    TArchiveEntry& e = l.Entry;
    l.NameRead(e.FileName);
    if (isDir ? !l.ShowBlankDirs : !l.IsSelected(e.FileName, true)) return;
    if (isDir) MarkFolder(e.FileName);
    e.PackedSize = packed;
    l.ReportMember(walk, pos, !isDir);
  }

  void Step4(TListWalk& walk) {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    const std::uint8_t type = h[2];
    const std::uint16_t flags = ReadLe16(h + 3);
    const std::uint16_t size = ReadLe16(h + 5);
    if (size < 7 || type == 0x7B) return walk.Stop();
    const std::int64_t dataSize = (flags & 0x8000) ? ReadLe32(h + 7) : 0;
    if (type != 0x74 || (flags & 0x4000) || size < kRar4Block) {
      walk.Cur = pos + size + dataSize;
      return;
    }
    const bool large = (flags & 0x100) != 0;
    const std::size_t nameOff = large ? 40 : 32;
    const std::size_t nameLen = ReadLe16(h + 26);
    if (nameOff + nameLen > size) return Bad(walk);
    std::uint8_t highs[8] = {};
    if (large) walk.ReadExact(pos + 32, highs, 8);
    raw_.resize(nameLen);
    walk.ReadExact(pos + static_cast<std::int64_t>(nameOff), raw_.data(), nameLen);
    const std::int64_t packed = ReadLe32(h + 7) | (static_cast<std::int64_t>(ReadLe32(highs) & 0x7FFFFFFF) << 32);
    const std::int64_t unpacked = ReadLe32(h + 11) | (static_cast<std::int64_t>(ReadLe32(highs + 4) & 0x7FFFFFFF) << 32);
    walk.Cur = pos + size + packed;

    TArchiveEntry& e = l.Entry;
    const auto zero = raw_.find('\0');
    if ((flags & 0x200) && zero == std::string::npos) {
      ConvertMemberName(raw_, TNameCoding::ncUtf8, e.FileName);
    } else if ((flags & 0x200) && zero + 1 < raw_.size()) {
      const std::string oem = raw_.substr(0, zero);
      std::string uni = DecodeRarUnicode(
          oem, reinterpret_cast<const std::uint8_t*>(raw_.data()) + zero + 1, raw_.size() - zero - 1);
      ConvertMemberName(uni.empty() ? oem : uni, uni.empty() ? TNameCoding::ncOem : TNameCoding::ncUtf8,
                        e.FileName);
    } else {
      // Unix hosts store names in the system's encoding, today UTF-8.
      ConvertMemberName(std::string_view(raw_).substr(0, zero),
                        h[15] == 3 ? TNameCoding::ncUtf8OrOem : TNameCoding::ncOem, e.FileName);
    }
    const std::uint8_t host = h[15];
    const std::uint32_t attr = ReadLe32(h + 28);
    const bool isDir = (flags & 0xE0) == 0xE0 || (host < 3 && (attr & 0x10)) ||
                       (host == 3 && (attr & 0xF000) == 0x4000);
    e.DateTime = DosDateToDateTime(ReadLe32(h + 20));
    e.VersionMadeBy = h[24];
    e.VersionNeeded = 0;
    e.UnpackedSize = unpacked;
    e.CRC = ReadLe32(h + 16);
    e.Encrypted = (flags & 0x04) != 0;
    e.MethodCode = h[25];
    e.MethodName = MethodName(l.ArcType(), h[25], 0, isDir ? kMethodDirAttr : 0);
    e.ExternalAttr = attr;
    e.InternalAttr = 0;
    Finish(walk, (flags & 0x02) != 0, (flags & 0x01) != 0, packed, isDir, pos);
  }

  void Step5(TListWalk& walk) {
    TDivED& l = walk.Lister;
    const std::int64_t pos = walk.HeaderPos;
    std::uint8_t pre[16];
    const std::size_t got = walk.ReadUpTo(pos, pre, sizeof pre);
    std::size_t p = 4;
    std::uint64_t headerSize = 0;
    if (got < 7 || !ReadVint(pre, got, p, headerSize) || headerSize == 0 ||
        headerSize > kMaxRar5Header)
      return Bad(walk);
    hdr_.resize(static_cast<std::size_t>(headerSize));
    const std::int64_t hstart = pos + static_cast<std::int64_t>(p);
    walk.ReadExact(hstart, hdr_.data(), hdr_.size());
    const std::uint8_t* d = hdr_.data();
    const std::size_t n = hdr_.size();
    std::size_t q = 0;
    std::uint64_t type = 0, hflags = 0, extraSize = 0, dataSize = 0;
    if (!ReadVint(d, n, q, type) || !ReadVint(d, n, q, hflags)) return Bad(walk);
    if ((hflags & 1) && !ReadVint(d, n, q, extraSize)) return Bad(walk);
    if ((hflags & 2) && !ReadVint(d, n, q, dataSize)) return Bad(walk);
    if (extraSize > n || dataSize > static_cast<std::uint64_t>(INT64_MAX / 2)) return Bad(walk);
    walk.Cur = hstart + static_cast<std::int64_t>(n) + static_cast<std::int64_t>(dataSize);
    if (type == 5 || type == 4) return walk.Stop();  // end of archive; encrypted headers
    if (type != 2) return;

    std::uint64_t fileFlags = 0, unpacked = 0, attr = 0, compInfo = 0, hostOs = 0, nameLen = 0;
    std::uint32_t mtime = 0, crc = 0;
    if (!ReadVint(d, n, q, fileFlags) || !ReadVint(d, n, q, unpacked) || !ReadVint(d, n, q, attr))
      return Bad(walk);
    if (fileFlags & 2) {
      if (q + 4 > n) return Bad(walk);
      mtime = ReadLe32(d + q);
      q += 4;
    }
    if (fileFlags & 4) {
      if (q + 4 > n) return Bad(walk);
      crc = ReadLe32(d + q);
      q += 4;
    }
    if (!ReadVint(d, n, q, compInfo) || !ReadVint(d, n, q, hostOs) || !ReadVint(d, n, q, nameLen) ||
        nameLen > n - q)
      return Bad(walk);
    const std::string_view name(reinterpret_cast<const char*>(d + q), static_cast<std::size_t>(nameLen));
    bool encrypted = false;
    for (std::size_t x = n - static_cast<std::size_t>(extraSize); x < n;) {
      std::uint64_t recSize = 0, recType = 0;
      std::size_t y = x;
      if (!ReadVint(d, n, y, recSize) || recSize == 0 || recSize > n - y) break;
      const std::size_t recEnd = y + static_cast<std::size_t>(recSize);
      if (ReadVint(d, recEnd, y, recType) && recType == 1) encrypted = true;
      x = recEnd;
    }
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(name, TNameCoding::ncUtf8, e.FileName);
    const bool isDir = (fileFlags & 1) != 0;
    const unsigned method = static_cast<unsigned>((compInfo >> 7) & 7);
    e.DateTime = (fileFlags & 2) ? UnixToDateTime(mtime) : kDate1980;
    e.VersionMadeBy = static_cast<std::uint16_t>(compInfo & 0x3F);
    e.VersionNeeded = 0;
    e.UnpackedSize = (fileFlags & 8) || unpacked > static_cast<std::uint64_t>(INT64_MAX)
                         ? 0 : static_cast<std::int64_t>(unpacked);
    e.CRC = crc;
    e.Encrypted = encrypted;
    e.MethodCode = static_cast<std::uint16_t>('0' + method);
    e.MethodName = MethodName(l.ArcType(), e.MethodCode, 0, isDir ? kMethodDirAttr : 0);
    e.ExternalAttr = static_cast<std::uint32_t>(attr);
    e.InternalAttr = 0;
    Finish(walk, (hflags & 0x10) != 0, (hflags & 0x08) != 0, static_cast<std::int64_t>(dataSize),
           isDir, pos);
  }

  static void Bad(TListWalk& walk) {
    if (!walk.Reported)
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
    walk.Stop();
  }

  bool rar5_ = false;
  bool pending_ = false;
  std::int64_t pendingPacked_ = 0;
  std::string raw_;
  std::vector<std::uint8_t> hdr_;
};

}  // namespace

std::unique_ptr<IDirReader> MakeRarDirReader() { return std::make_unique<RarDirReader>(); }

}  // namespace engine
