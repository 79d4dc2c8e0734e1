// LHA header reading, levels 0 to 3.
#include "engine/core/lha_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/errors.h"

namespace engine {

namespace {

constexpr std::size_t kBase = 22;
// A level-3 header states its size in 32 bits; real ones are a few hundred bytes.
constexpr std::int64_t kMaxLevel3Header = 1 << 20;
// Extended headers of one level-1 member (they sit in the data area, so the header size
// does not bound their count).
constexpr int kMaxExtHeaders = 4096;
// FILETIME (100 ns since 1601) of the Unix epoch.
constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

enum : std::uint8_t {
  kExtFileName = 0x01,
  kExtDirectory = 0x02,
  kExtDosAttribute = 0x40,
  kExtWindowsTime = 0x41,   // creation, modification, access FILETIMEs
  kExtLargeSizes = 0x42,    // 64-bit packed and original sizes
  kExtUnixTime = 0x54,
};

std::uint64_t ReadLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(ReadLe32(p)) | static_cast<std::uint64_t>(ReadLe32(p + 4)) << 32;
}

bool ReadAt(IStream& in, std::int64_t pos, void* out, std::size_t count) {
  return in.Seek(pos, TSeekOrigin::soBegin) == pos && in.ReadExact(out, count);
}

// Applies one extended header (type byte first, then `size` data bytes).
void ApplyExtHeader(TLhaHeader& h, std::uint8_t type, const std::uint8_t* data, std::size_t size,
                    bool& hasWindowsTime, std::int64_t& windowsTime) {
  switch (type) {
    case kExtFileName:
      h.FileName.assign(reinterpret_cast<const char*>(data), size);
      break;
    case kExtDirectory:
      h.Directory.assign(reinterpret_cast<const char*>(data), size);
      break;
    case kExtDosAttribute:
      if (size >= 2) h.Attribute = ReadLe16(data);
      break;
    case kExtWindowsTime:
      if (size >= 16) {
        const std::uint64_t ft = ReadLe64(data + 8);
        if (ft > kFileTimeUnixEpoch) {
          hasWindowsTime = true;
          windowsTime = static_cast<std::int64_t>((ft - kFileTimeUnixEpoch) / 10000000u);
        }
      }
      break;
    case kExtLargeSizes:
      if (size >= 16 && h.Level >= 2) {
        const std::uint64_t packed = ReadLe64(data), original = ReadLe64(data + 8);
        // Sizes beyond 2^62 cannot be real; keep the 32-bit fields then.
        if (packed < (1ull << 62) && original < (1ull << 62)) {
          h.PackedSize = static_cast<std::int64_t>(packed);
          h.OriginalSize = static_cast<std::int64_t>(original);
        }
      }
      break;
    case kExtUnixTime:
      if (size >= 4) {
        h.HasUnixTime = true;
        h.UnixTime = ReadLe32(data);
      }
      break;
    default:
      break;
  }
}

// Walks a chain of extended headers held in `buf` from `at` (sizes `width` bytes wide),
// starting with `next` as the size of the first. False when one does not fit in `buf`.
bool WalkExtHeaders(TLhaHeader& h, const std::vector<std::uint8_t>& buf, std::size_t at,
                    std::uint64_t next, unsigned width, bool& hasWindowsTime,
                    std::int64_t& windowsTime) {
  while (next != 0) {
    if (next < 1 + width || next > buf.size() - at) return false;
    const auto size = static_cast<std::size_t>(next);
    const std::uint8_t* e = buf.data() + at;
    ApplyExtHeader(h, e[0], e + 1, size - 1 - width, hasWindowsTime, windowsTime);
    const std::uint8_t* n = e + size - width;
    next = width == 2 ? ReadLe16(n) : ReadLe32(n);
    at += size;
  }
  return true;
}

}  // namespace

bool TLhaHeader::IsDirectory() const { return std::memcmp(Method, "-lhd-", 5) == 0; }

std::uint32_t TLhaHeader::DosDateTime() const {
  return HasUnixTime ? DateTimeToDosDate(UnixToDateTime(UnixTime)) : DosTime;
}

double TLhaHeader::DateTime() const {
  return HasUnixTime ? UnixToDateTime(UnixTime) : DosDateToDateTime(DosTime);
}

int ReadLhaHeader(IStream& in, std::int64_t pos, std::int64_t fileSize, TLhaHeader& h) {
  h = TLhaHeader{};
  h.Offset = pos;
  std::uint8_t b[kBase] = {};
  if (pos < 0 || pos >= fileSize || in.Seek(pos, TSeekOrigin::soBegin) != pos) return kLhaEnd;
  const std::int64_t got = in.Read(b, kBase);
  if (got <= 0 || b[0] == 0) return kLhaEnd;
  // Anything without the method's dashes is not a header (junk after the archive).
  if (got < 7 || b[2] != '-' || b[6] != '-') return kLhaEnd;
  if (got < static_cast<std::int64_t>(kBase)) return kErrBadFileHeader;
  h.Level = b[20];
  if (h.Level > 3) return kLhaEnd;
  if (h.Level == 2 && ReadLe16(b) == 0) return kLhaEnd;
  std::memcpy(h.Method, b + 2, 5);
  h.PackedSize = ReadLe32(b + 7);
  h.OriginalSize = ReadLe32(b + 11);
  const std::uint32_t time = ReadLe32(b + 15);
  h.Attribute = b[19];

  bool hasWindowsTime = false;
  std::int64_t windowsTime = 0;
  std::vector<std::uint8_t> buf;
  std::int64_t headerSize = 0;

  if (h.Level <= 1) {
    headerSize = static_cast<std::int64_t>(b[0]) + 2;
    const std::size_t nameLen = b[21];
    const std::int64_t need = static_cast<std::int64_t>(kBase + nameLen) + 2 + (h.Level == 1 ? 3 : 0);
    if (need > headerSize || headerSize > fileSize - pos) return kErrBadFileHeader;
    buf.resize(static_cast<std::size_t>(headerSize));
    if (!ReadAt(in, pos, buf.data(), buf.size())) return kErrBadFileHeader;
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < buf.size(); ++i) sum = static_cast<std::uint8_t>(sum + buf[i]);
    if (sum != buf[1]) return kErrHeaderCrc;
    h.FileName.assign(reinterpret_cast<const char*>(buf.data()) + kBase, nameLen);
    h.Crc = ReadLe16(buf.data() + kBase + nameLen);
    h.DosTime = time;
    h.DataOffset = pos + headerSize;
    if (h.Level == 1) {
      h.OsId = buf[kBase + nameLen + 2];
      // Extended headers follow the base header and count in the packed size.
      std::uint64_t next = ReadLe16(buf.data() + buf.size() - 2);
      std::int64_t at = pos + headerSize;
      std::int64_t extTotal = 0;
      std::vector<std::uint8_t> ext;
      for (int n = 0; next != 0; ++n) {
        const auto size = static_cast<std::int64_t>(next);
        if (n >= kMaxExtHeaders || size < 3 || size > h.PackedSize - extTotal ||
            size > fileSize - at)
          return kErrBadFileHeader;
        ext.resize(static_cast<std::size_t>(size));
        if (!ReadAt(in, at, ext.data(), ext.size())) return kErrBadFileHeader;
        ApplyExtHeader(h, ext[0], ext.data() + 1, ext.size() - 3, hasWindowsTime, windowsTime);
        next = ReadLe16(ext.data() + ext.size() - 2);
        at += size;
        extTotal += size;
      }
      h.PackedSize -= extTotal;
      h.DataOffset = at;
    }
    if (!h.HasUnixTime && hasWindowsTime) {
      h.HasUnixTime = true;
      h.UnixTime = windowsTime;
    }
  } else {
    std::size_t extStart = 0;
    unsigned width = 2;
    if (h.Level == 2) {
      headerSize = ReadLe16(b);
      extStart = 26;
    } else {
      if (ReadLe16(b) != 4) return kErrBadFileHeader;
      std::uint8_t size[4];
      if (!ReadAt(in, pos + 24, size, 4)) return kErrBadFileHeader;
      headerSize = ReadLe32(size);
      extStart = 32;
      width = 4;
      if (headerSize > kMaxLevel3Header) return kErrBadFileHeader;
    }
    if (headerSize < static_cast<std::int64_t>(extStart) || headerSize > fileSize - pos)
      return kErrBadFileHeader;
    buf.resize(static_cast<std::size_t>(headerSize));
    if (!ReadAt(in, pos, buf.data(), buf.size())) return kErrBadFileHeader;
    h.Crc = ReadLe16(buf.data() + 21);
    h.OsId = buf[23];
    const std::uint64_t next = width == 2 ? ReadLe16(buf.data() + 24) : ReadLe32(buf.data() + 28);
    if (!WalkExtHeaders(h, buf, extStart, next, width, hasWindowsTime, windowsTime))
      return kErrBadFileHeader;
    // The base header's Unix time is the member's; a time extended header repeats it.
    h.HasUnixTime = true;
    h.UnixTime = time;
    h.DataOffset = pos + headerSize;
  }
  if (h.PackedSize < 0 || h.PackedSize > fileSize - h.DataOffset) {
    // The data runs past the end of the file: a truncated archive. The member is still
    // listed so that its decoding reports the damage; no header can follow it.
    h.NextOffset = fileSize;
  } else {
    h.NextOffset = h.DataOffset + h.PackedSize;
  }
  return 0;
}

std::int64_t LhaFirstHeader(IStream& in, std::int64_t startOffset) {
  std::int64_t pos = FirstHeaderPos(startOffset);
  std::uint8_t first = 1;
  if (in.Seek(pos, TSeekOrigin::soBegin) == pos && in.ReadExact(&first, 1) && first == 0)
    pos += 128;
  return pos;
}

std::string LhaStoredName(const TLhaHeader& h, std::string* linkTarget) {
  std::string dir = h.Directory;
  for (char& c : dir)
    if (static_cast<unsigned char>(c) == 0xFF || c == '/') c = '\\';
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == ' ' || dir.back() == '\0'))
    dir.pop_back();
  while (!dir.empty() && dir.front() == ' ') dir.erase(0, 1);
  std::string raw = dir.empty() ? std::string() : dir + "\\";
  std::string name = h.FileName;
  // Some writers pad or terminate the name with zeros.
  if (const auto zero = name.find('\0'); zero != std::string::npos) name.erase(zero);
  raw += name;
  std::string target;
  if (const auto bar = raw.find('|'); bar != std::string::npos) {
    target = raw.substr(bar + 1);
    raw.erase(bar);
  }
  if (linkTarget) ConvertMemberName(target, TNameCoding::ncOem, *linkTarget);
  std::string out;
  ConvertMemberName(raw, TNameCoding::ncOem, out);
  return out;
}

}  // namespace engine
