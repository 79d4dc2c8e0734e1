// String resources of a PE file, read straight from the file's resource directory.
#include "engine/core/pe_resources.h"

#include "engine/core/stream.h"

namespace engine {
namespace {

constexpr std::uint32_t kRtString = 6;
constexpr int kMaxSections = 96;

class TPeReader {
 public:
  explicit TPeReader(platform::File& f) : f_(f) { size_ = f.Size(); }

  bool Read(std::int64_t pos, void* buf, std::size_t n) {
    if (pos < 0 || size_ < 0 || pos + static_cast<std::int64_t>(n) > size_) return false;
    return f_.Seek(pos) == pos && f_.ReadExact(buf, n);
  }
  std::uint32_t U32(std::int64_t pos, bool& ok) {
    std::uint8_t b[4];
    ok = ok && Read(pos, b, 4);
    return ok ? ReadLe32(b) : 0;
  }
  std::uint16_t U16(std::int64_t pos, bool& ok) {
    std::uint8_t b[2];
    ok = ok && Read(pos, b, 2);
    return ok ? ReadLe16(b) : 0;
  }

 private:
  platform::File& f_;
  std::int64_t size_ = -1;
};

struct TSection {
  std::uint32_t va, vsize, raw, rawSize;
};

// Finds the entry with `id` (or the first entry when id is 0) in a resource directory;
// returns its OffsetToData field or -1.
std::int64_t FindEntry(TPeReader& r, std::int64_t dir, std::uint32_t id, bool& ok) {
  const std::uint16_t named = r.U16(dir + 12, ok);
  const std::uint16_t ids = r.U16(dir + 14, ok);
  if (!ok) return -1;
  const int total = named + ids;
  for (int i = 0; i < total && i < 4096; ++i) {
    const std::int64_t e = dir + 16 + 8LL * i;
    const std::uint32_t name = r.U32(e, ok);
    const std::uint32_t data = r.U32(e + 4, ok);
    if (!ok) return -1;
    if ((name & 0x80000000u) != 0) continue;
    if (id == 0 || name == id) return data;
  }
  return -1;
}

}  // namespace

std::vector<std::int64_t> ReadPeStringOffsets(const std::uint8_t* head, std::size_t headLen,
                                              platform::File& file, int count) {
  std::vector<std::int64_t> values;
  if (headLen < 0x40 || head[0] != 'M' || head[1] != 'Z') return values;
  TPeReader r(file);
  bool ok = true;
  const std::int64_t pe = ReadLe32(head + 0x3C);
  if (r.U32(pe, ok) != 0x00004550u || !ok) return values;
  const std::uint16_t nSections = r.U16(pe + 6, ok);
  const std::uint16_t optSize = r.U16(pe + 20, ok);
  const std::int64_t opt = pe + 24;
  const std::uint16_t magic = r.U16(opt, ok);
  if (!ok || nSections > kMaxSections) return values;
  const std::int64_t dirs = magic == 0x20B ? opt + 112 : opt + 96;
  const std::uint32_t resRva = r.U32(dirs + 2 * 8, ok);
  if (!ok || resRva == 0) return values;
  std::vector<TSection> sections;
  for (int i = 0; i < nSections; ++i) {
    const std::int64_t s = opt + optSize + 40LL * i;
    sections.push_back({r.U32(s + 12, ok), r.U32(s + 8, ok), r.U32(s + 20, ok), r.U32(s + 16, ok)});
  }
  if (!ok) return values;
  auto toFile = [&](std::uint32_t rva) -> std::int64_t {
    for (const TSection& s : sections) {
      const std::uint32_t span = std::max(s.vsize, s.rawSize);
      if (rva >= s.va && rva - s.va < span) return static_cast<std::int64_t>(s.raw) + (rva - s.va);
    }
    return -1;
  };
  const std::int64_t root = toFile(resRva);
  if (root < 0) return values;
  const std::int64_t typeEntry = FindEntry(r, root, kRtString, ok);
  if (typeEntry < 0 || !(typeEntry & 0x80000000u)) return values;
  const std::int64_t typeDir = root + (typeEntry & 0x7FFFFFFF);

  for (int id = 1; id <= count; ++id) {
    const std::uint32_t block = static_cast<std::uint32_t>(id / 16 + 1);
    const std::int64_t nameEntry = FindEntry(r, typeDir, block, ok);
    if (nameEntry < 0 || !(nameEntry & 0x80000000u)) break;
    const std::int64_t langEntry = FindEntry(r, root + (nameEntry & 0x7FFFFFFF), 0, ok);
    if (langEntry < 0 || (langEntry & 0x80000000u)) break;
    const std::int64_t dataEntry = root + langEntry;
    const std::uint32_t dataRva = r.U32(dataEntry, ok);
    const std::uint32_t dataSize = r.U32(dataEntry + 4, ok);
    const std::int64_t data = ok ? toFile(dataRva) : -1;
    if (data < 0) break;
    // A block holds 16 counted UTF-16 strings.
    std::int64_t pos = data;
    const std::int64_t end = data + dataSize;
    for (int k = 0; k < id % 16 && pos < end; ++k) pos += 2 + 2LL * r.U16(pos, ok);
    if (!ok || pos + 2 > end) break;
    const int len = std::min<int>(r.U16(pos, ok), 5);
    if (!ok || len == 0) break;
    std::int64_t value = 0;
    bool numeric = true;
    for (int k = 0; k < len; ++k) {
      const std::uint16_t ch = r.U16(pos + 2 + 2LL * k, ok);
      if (!ok || ch < '0' || ch > '9') {
        numeric = false;
        break;
      }
      value = value * 10 + (ch - '0');
    }
    if (!numeric) break;
    values.push_back(value);
  }
  return values;
}

}  // namespace engine
