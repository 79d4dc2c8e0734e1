// The ZIP bridge's directory reader.
#include "zipbridge/zip_directory.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "zipbridge/zip_master.h"

namespace zipbridge {

namespace {

constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kSpanSig = 0x08074B50;
constexpr std::uint32_t kZip64EndSig = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
constexpr std::int64_t kMaxTail = 65535 + 22;

[[noreturn]] void Fail(int id, std::string arg = {}) { throw TLayoutError{id, std::move(arg)}; }

bool ReadAt(platform::File& f, std::int64_t pos, void* buf, std::size_t n) {
  return f.Seek(pos) == pos && f.ReadExact(buf, n);
}

// Reads the central directory sequentially, going on to the next part of a split set where
// a part ends.
class TPartReader {
 public:
  TPartReader(const std::string& lastPart, std::uint32_t lastDisk, platform::File& last)
      : lastPart_(lastPart), lastDisk_(lastDisk), last_(last) {}

  void Start(std::uint32_t disk, std::int64_t offset) {
    disk_ = disk;
    Open();
    if (Current().Seek(offset) != offset) Fail(kZmSeekList);
  }
  // False at the end of the set.
  bool Read(void* buffer, std::size_t n) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
      const std::int64_t got = Current().Read(out, n);
      if (got < 0) return false;
      out += got;
      n -= static_cast<std::size_t>(got);
      if (n == 0) break;
      if (got == 0) {
        if (disk_ >= lastDisk_) return false;
        ++disk_;
        Open();
      }
    }
    return true;
  }

 private:
  platform::File& Current() { return disk_ == lastDisk_ ? last_ : other_; }
  void Open() {
    if (disk_ == lastDisk_) return;
    const std::string name = SplitPartName(lastPart_, disk_, lastDisk_);
    if (name.empty() || !other_.Open(name, platform::TFileAccess::faRead, platform::TShareMode::smDenyNone))
      Fail(kZmInputMissing);
  }
  const std::string& lastPart_;
  std::uint32_t lastDisk_;
  platform::File& last_;
  platform::File other_;
  std::uint32_t disk_ = 0;
};

}  // namespace

std::string SplitPartName(const std::string& lastPart, std::uint32_t disk, std::uint32_t lastDisk) {
  if (disk == lastDisk) return lastPart;
  const std::string dir = platform::DirectoryPart(lastPart);
  std::string name = platform::FileNamePart(lastPart);
  const std::string ext = platform::ExtensionPart(name);
  const std::string stem = name.substr(0, name.size() - ext.size());
  char buf[16];
  // Info-ZIP: x.z01, x.z02, ... with the last part x.zip.
  std::snprintf(buf, sizeof buf, ".z%02u", disk + 1);
  std::string candidate = platform::JoinPath(dir, stem + buf);
  if (platform::FileExists(candidate)) return candidate;
  std::snprintf(buf, sizeof buf, ".Z%02u", disk + 1);
  candidate = platform::JoinPath(dir, stem + buf);
  if (platform::FileExists(candidate)) return candidate;
  // Numbered files: x001.zip, x002.zip, ... (the last one numbered too).
  if (stem.size() >= 3 && std::all_of(stem.end() - 3, stem.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::snprintf(buf, sizeof buf, "%03u", disk + 1);
    candidate = platform::JoinPath(dir, stem.substr(0, stem.size() - 3) + buf + ext);
    if (platform::FileExists(candidate)) return candidate;
  }
  return {};
}

std::int64_t Zip64OffsetField(std::string_view extra, bool unpackedMarked, bool packedMarked) {
  std::size_t p = 0;
  while (p + 4 <= extra.size()) {
    const auto* x = reinterpret_cast<const std::uint8_t*>(extra.data() + p);
    const std::size_t size = Le16(x + 2);
    if (p + 4 + size > extra.size()) return -1;
    if (Le16(x) == 1) {
      const std::size_t at = 4 + (unpackedMarked ? 8 : 0) + (packedMarked ? 8 : 0);
      return at + 8 <= 4 + size ? static_cast<std::int64_t>(p + at) : -1;
    }
    p += 4 + size;
  }
  return -1;
}

TZipLayout ReadZipLayout(const std::string& path, bool entries) {
  TZipLayout z;
  platform::File f;
  if (!f.Open(path, platform::TFileAccess::faRead, platform::TShareMode::smDenyNone))
    Fail(kZmOpenFailed);
  z.FileSize = f.Size();
  if (z.FileSize < 0) Fail(kZmSeekList);
  if (z.FileSize >= 8) {
    std::uint8_t head[8];
    if (ReadAt(f, 0, head, 8) && Le32(head) == kSpanSig && Le32(head + 4) == kLocalSig)
      z.SpanSignature = true;
  }

  // The end record: the last 22 bytes, else searched backwards through the tail.
  std::int64_t endPos = -1;
  std::vector<std::uint8_t> tail;
  if (z.FileSize >= 22) {
    std::uint8_t last[22];
    if (!ReadAt(f, z.FileSize - 22, last, 22)) Fail(kZmReadEnd);
    if (Le32(last) == kEndSig) endPos = z.FileSize - 22;
  }
  if (endPos < 0 && z.FileSize >= 22) {
    const std::int64_t len = std::min(z.FileSize, kMaxTail);
    tail.resize(static_cast<std::size_t>(len));
    if (!ReadAt(f, z.FileSize - len, tail.data(), tail.size())) Fail(kZmReadEnd);
    for (std::int64_t i = len - 23; i >= 0; --i) {
      const std::uint8_t* p = &tail[static_cast<std::size_t>(i)];
      if (p[0] == 'P' && Le32(p) == kEndSig) {
        endPos = z.FileSize - len + i;
        break;
      }
    }
  }
  if (endPos < 0) {
    if (z.SpanSignature) Fail(kZmFirstFile);
    Fail(kZmNotZip);
  }
  z.EndPos = endPos;
  if (!ReadAt(f, endPos, z.End, 22)) Fail(kZmReadEnd);
  const std::uint16_t commentLen = Le16(z.End + 20);
  const std::int64_t available = z.FileSize - endPos - 22;
  z.Comment.resize(static_cast<std::size_t>(std::min<std::int64_t>(commentLen, available)));
  if (!z.Comment.empty() && !ReadAt(f, endPos + 22, z.Comment.data(), z.Comment.size()))
    Fail(kZmReadZipComment);
  const std::int64_t surplus = available - commentLen;
  if (surplus > 0) {
    // Zero padding to a 512-byte block (some transfer programs add it) is not garbage.
    bool padding = z.FileSize % 512 == 0 && surplus < 512;
    if (padding) {
      std::vector<std::uint8_t> rest(static_cast<std::size_t>(surplus));
      padding = ReadAt(f, endPos + 22 + commentLen, rest.data(), rest.size()) &&
                std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; });
    }
    z.Garbage = !padding;
  }

  z.ThisDisk = Le16(z.End + 4);
  z.CentralDisk = Le16(z.End + 6);
  z.TotalEntries = Le16(z.End + 10);
  z.CentralSize = Le32(z.End + 12);
  z.CentralOffset = Le32(z.End + 16);
  std::int64_t centralEnd = endPos;  // where the central directory ends in this file
  // ZIP64: the locator right before the end record names the ZIP64 end record.
  if (endPos >= 20) {
    std::uint8_t loc[20];
    if (ReadAt(f, endPos - 20, loc, 20) && Le32(loc) == kZip64LocatorSig) {
      const std::uint64_t at = Le64(loc + 8);
      std::uint8_t rec[56];
      // Where the record lies relative to the locator tells the shift of a prefixed archive.
      const std::int64_t expected = endPos - 20 - 56;
      std::int64_t pos = static_cast<std::int64_t>(at);
      if (!(ReadAt(f, pos, rec, 56) && Le32(rec) == kZip64EndSig) && expected >= 0 &&
          ReadAt(f, expected, rec, 56) && Le32(rec) == kZip64EndSig)
        pos = expected;
      if (Le32(rec) == kZip64EndSig) {
        z.Zip64 = true;
        z.ThisDisk = Le32(rec + 16);
        z.CentralDisk = Le32(rec + 20);
        z.TotalEntries = Le64(rec + 32);
        z.CentralSize = Le64(rec + 40);
        z.CentralOffset = Le64(rec + 48);
        centralEnd = pos;
      }
    }
  }

  std::int64_t shift = 0;
  if (z.CentralDisk == z.ThisDisk) {
    z.CentralComputed = centralEnd - static_cast<std::int64_t>(z.CentralSize);
    if (z.CentralComputed < 0) Fail(kZmSeekList);
    shift = z.CentralComputed - static_cast<std::int64_t>(z.CentralOffset);
    z.Shifted = shift != 0;
  } else {
    z.CentralComputed = static_cast<std::int64_t>(z.CentralOffset);
  }
  if (!entries) {
    z.DataStart = z.TotalEntries == 0 ? z.CentralComputed : 0;
    return z;
  }

  TPartReader reader(path, z.ThisDisk, f);
  reader.Start(z.CentralDisk, z.CentralComputed);
  std::uint64_t smallest = UINT64_MAX;
  // Each entry needs at least 46 bytes of the directory: a count beyond that is damage.
  const std::uint64_t limit = z.CentralSize / 46 + 1;
  for (std::uint64_t i = 0; i < z.TotalEntries; ++i) {
    if (i >= limit) Fail(kZmReadCentral);
    TRawCentral c;
    if (!reader.Read(c.Header, 46)) Fail(kZmReadCentral);
    if (Le32(c.Header) != kCentralSig) Fail(kZmCentralSig);
    c.Name.resize(Le16(c.Header + 28));
    c.Extra.resize(Le16(c.Header + 30));
    c.Comment.resize(Le16(c.Header + 32));
    if (!reader.Read(c.Name.data(), c.Name.size())) Fail(kZmReadCentralName);
    if (!reader.Read(c.Extra.data(), c.Extra.size())) Fail(kZmReadCentralExtra);
    if (!reader.Read(c.Comment.data(), c.Comment.size())) Fail(kZmReadFileComment);
    c.PackedSize = Le32(c.Header + 20);
    c.UnpackedSize = Le32(c.Header + 24);
    c.LocalOffset = Le32(c.Header + 42);
    c.Disk = Le16(c.Header + 34);
    // ZIP64 values, in the order of the fields that hold the marker.
    const bool uMark = c.UnpackedSize == 0xFFFFFFFFu, pMark = c.PackedSize == 0xFFFFFFFFu,
               oMark = c.LocalOffset == 0xFFFFFFFFu, dMark = c.Disk == 0xFFFF;
    if (uMark || pMark || oMark || dMark) {
      std::size_t p = 0;
      while (p + 4 <= c.Extra.size()) {
        const auto* x = reinterpret_cast<const std::uint8_t*>(c.Extra.data() + p);
        const std::size_t size = Le16(x + 2);
        if (p + 4 + size > c.Extra.size()) break;
        if (Le16(x) == 1) {
          std::size_t q = 4;
          auto take = [&](bool marked, std::uint64_t& v) {
            if (marked && q + 8 <= 4 + size) {
              v = Le64(x + q);
              q += 8;
            }
          };
          take(uMark, c.UnpackedSize);
          take(pMark, c.PackedSize);
          take(oMark, c.LocalOffset);
          if (dMark && q + 4 <= 4 + size) c.Disk = Le32(x + q);
          break;
        }
        p += 4 + size;
      }
    }
    smallest = std::min(smallest, c.LocalOffset);
    z.Entries.push_back(std::move(c));
  }
  if (z.Entries.empty())
    z.DataStart = z.CentralComputed;
  else
    z.DataStart = static_cast<std::int64_t>(smallest) + shift;
  if (z.DataStart < 0) z.DataStart = 0;
  return z;
}

}  // namespace zipbridge
