// Directory of TAR archives: v7, ustar (name prefix), GNU long names ('L') and pax path and
// size records ('x').
//
// Header record, 512 bytes: 0 name (100), 124 size (12, octal or GNU base-256), 136 time
// (12, octal Unix seconds), 148 checksum (8, octal), 156 type flag, 257 magic "ustar",
// 345 name prefix (155, ustar).
#include <algorithm>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

constexpr std::size_t kRecord = 512;
// Long names and pax records above this size are not believed.
constexpr std::int64_t kMaxMetaSize = 1 << 20;

std::string_view Field(const std::uint8_t* h, std::size_t off, std::size_t len) {
  const char* p = reinterpret_cast<const char*>(h + off);
  const void* z = std::memchr(p, 0, len);
  return {p, z ? static_cast<std::size_t>(static_cast<const char*>(z) - p) : len};
}

// Octal digits (others skipped) or, with the high bit of the first byte, GNU base-256.
// -1 when the value does not fit.
std::int64_t Number(const std::uint8_t* h, std::size_t off, std::size_t len) {
  if (h[off] & 0x80) {
    std::uint64_t v = h[off] & 0x7F;
    for (std::size_t i = 1; i < len; ++i) {
      if (v >> 55) return -1;
      v = (v << 8) | h[off + i];
    }
    return v > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(v);
  }
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const char c = static_cast<char>(h[off + i]);
    if (c < '0' || c > '7') continue;
    if (v >> 60) return -1;
    v = v * 8 + static_cast<unsigned>(c - '0');
  }
  return static_cast<std::int64_t>(v);
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ')) s.remove_suffix(1);
  return std::string(s);
}

// The header checksum: the byte sum with the checksum field counted as spaces (unsigned, or
// signed as some old writers computed it).
bool ChecksumMatches(const std::uint8_t* h) {
  const std::int64_t stored = Number(h, 148, 8);
  std::int64_t sum = 0, signedSum = 0;
  for (std::size_t i = 0; i < kRecord; ++i) {
    const std::uint8_t c = (i >= 148 && i < 156) ? ' ' : h[i];
    sum += c;
    signedSum += static_cast<std::int8_t>(c);
  }
  return stored == sum || stored == signedSum;
}

class TarDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kRecord;
    walk.Cur = FirstHeaderPos(walk.Lister.StartOffset());
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    const std::uint8_t* h = walk.Block;
    const std::int64_t pos = walk.HeaderPos;
    if (walk.BlockRead < kRecord) return walk.Stop();
    const std::string_view rawName = Field(h, 0, 100);
    if (rawName.empty()) return walk.Stop();
    if (!ChecksumMatches(h)) return Bad(walk);
    const std::int64_t size = Number(h, 124, 12);
    // Sizes beyond any file end the walk (and keep the position arithmetic in range).
    if (size < 0 || size > (std::int64_t{1} << 56)) return Bad(walk);
    const std::int64_t padded = (size + 511) / 512 * 512;
    const std::int64_t dataPos = pos + static_cast<std::int64_t>(kRecord);
    const char type = static_cast<char>(h[156]);

    // Records that describe the next member.
    if (type == 'L' || type == 'x') {
      if (size > kMaxMetaSize) return Bad(walk);
      meta_.resize(static_cast<std::size_t>(size));
      walk.ReadExact(dataPos, meta_.data(), meta_.size());
      if (type == 'L') {
        const auto z = meta_.find('\0');
        longName_ = meta_.substr(0, z);
      } else {
        ParsePax(meta_);
      }
      walk.Cur = dataPos + padded;
      return;
    }
    if (type == 'g' || type == 'K' || type == 'V') {
      walk.Cur = dataPos + padded;
      return;
    }

    std::string name;
    if (!longName_.empty()) {
      name = std::move(longName_);
    } else {
      const bool ustar = std::memcmp(h + 257, "ustar", 5) == 0;
      const std::string_view prefix = ustar && h[262] == 0 ? Field(h, 345, 155) : std::string_view();
      name = prefix.empty() ? std::string(rawName) : std::string(prefix) + "/" + std::string(rawName);
    }
    std::int64_t memberSize = size;
    if (paxSize_ >= 0 && paxSize_ <= (std::int64_t{1} << 56)) memberSize = paxSize_;
    longName_.clear();
    paxSize_ = -1;
    ConvertMemberName(Trim(name), TNameCoding::ncUtf8OrOem, l.Entry.FileName);
    l.NameRead(l.Entry.FileName);

    const bool isFile = type == 0 || type == '0' || type == '1' || type == '7';
    const bool isDir = type == '5';
    if ((isFile || (isDir && l.ShowBlankDirs)) && l.IsSelected(l.Entry.FileName, !l.ShowBlankDirs)) {
      TArchiveEntry& e = l.Entry;
      if (isDir) MarkFolder(e.FileName);
      const std::int64_t time = Number(h, 136, 12);
      e.DateTime = time > 0 ? UnixToDateTime(time) : kDate1980;
      e.PackedSize = e.UnpackedSize = memberSize;
      e.CRC = static_cast<std::uint32_t>(Number(h, 148, 8));
      e.Encrypted = false;
      e.MethodCode = 0;
      const bool noFilePart = !e.FileName.empty() && e.FileName.back() == '\\';
      e.MethodName = MethodName(l.ArcType(), 0, 0, (isDir || noFilePart) ? kMethodDirAttr : 0);
      e.InternalAttr = 0;
      e.ExternalAttr = isDir ? 0x10 : 0;
      e.VersionMadeBy = e.VersionNeeded = 0;
      l.ReportMember(walk, pos, !isDir);
    }
    // Pax may give the true size of a member whose header field cannot hold it.
    std::int64_t skip = memberSize != size ? (memberSize + 511) / 512 * 512 : padded;
    if (type == '1' && skip > 0 && !HasDataAfterLink(walk, dataPos)) skip = 0;
    walk.Cur = dataPos + skip;
  }

 private:
  void ParsePax(const std::string& text) {
    // Records: "<length> <key>=<value>\n".
    std::size_t p = 0;
    while (p < text.size()) {
      std::size_t q = p;
      std::size_t len = 0;
      while (q < text.size() && text[q] >= '0' && text[q] <= '9' && len < (1u << 24))
        len = len * 10 + static_cast<std::size_t>(text[q++] - '0');
      if (len == 0 || q >= text.size() || text[q] != ' ' || p + len > text.size()) return;
      const std::string_view rec(text.data() + q + 1, p + len - q - 1);
      const auto eq = rec.find('=');
      if (eq != std::string_view::npos) {
        std::string_view value = rec.substr(eq + 1);
        if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
        const std::string_view key = rec.substr(0, eq);
        if (key == "path") {
          longName_.assign(value);
        } else if (key == "size") {
          std::int64_t v = 0;
          bool ok = !value.empty();
          for (const char c : value) {
            if (c < '0' || c > '9' || v > (INT64_MAX - 9) / 10) {
              ok = false;
              break;
            }
            v = v * 10 + (c - '0');
          }
          if (ok) paxSize_ = v;
        }
      }
      p += len;
    }
  }

  // Hard links normally carry no data whatever their size field says; a header (or the end)
  // right after one shows that.
  static bool HasDataAfterLink(TListWalk& walk, std::int64_t dataPos) {
    std::uint8_t next[kRecord];
    if (walk.ReadUpTo(dataPos, next, kRecord) < kRecord) return false;
    bool zero = true;
    for (const std::uint8_t c : next) zero = zero && c == 0;
    return !zero && !ChecksumMatches(next);
  }

  static void Bad(TListWalk& walk) {
    if (!walk.Reported)
      walk.Lister.ReportError(walk.Lister.ArchiveFile(), "", "0", kErrBadFileHeader);
    walk.Stop();
  }

  std::string meta_, longName_;
  std::int64_t paxSize_ = -1;
};

}  // namespace

std::unique_ptr<IDirReader> MakeTarDirReader() { return std::make_unique<TarDirReader>(); }

}  // namespace engine
