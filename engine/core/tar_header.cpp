// Tar header reading.
#include "engine/core/tar_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine {

namespace {
constexpr std::int64_t kMaxExtension = 65536;

std::string Field(const std::uint8_t* p, std::size_t width) {
  std::size_t n = 0;
  while (n < width && p[n]) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::int64_t RoundUp(std::int64_t v) { return (v + kTarBlock - 1) / kTarBlock * kTarBlock; }

// "len key=value\n" records of a pax extended header.
void ParsePax(const std::string& text, std::string& path, std::string& linkPath,
              std::int64_t& size, bool& hasSize) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t sp = text.find(' ', pos);
    if (sp == std::string::npos) return;
    std::size_t len = 0;
    for (std::size_t i = pos; i < sp; ++i) {
      if (text[i] < '0' || text[i] > '9') return;
      len = len * 10 + static_cast<std::size_t>(text[i] - '0');
      if (len > text.size()) return;
    }
    if (len == 0 || pos + len > text.size() || sp + 1 >= pos + len) return;
    const std::string record = text.substr(sp + 1, pos + len - sp - 2);
    const std::size_t eq = record.find('=');
    if (eq != std::string::npos) {
      const std::string key = record.substr(0, eq), value = record.substr(eq + 1);
      if (key == "path") path = value;
      else if (key == "linkpath") linkPath = value;
      else if (key == "size") {
        std::int64_t v = 0;
        bool ok = !value.empty();
        for (char c : value) {
          if (c < '0' || c > '9' || v > (INT64_MAX - 9) / 10) { ok = false; break; }
          v = v * 10 + (c - '0');
        }
        if (ok) { size = v; hasSize = true; }
      }
    }
    pos += len;
  }
}
}  // namespace

bool TarChecksumValid(const std::uint8_t* block) {
  const std::int64_t stored = TarNumber(block + 148, 8);
  std::int64_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : block[i];
  return sum == stored;
}

std::int64_t TarNumber(const std::uint8_t* field, int width) {
  if (field[0] & 0x80) {
    // Base-256: big-endian, the top bit of the first byte marks the form.
    std::int64_t v = field[0] & 0x3F;
    for (int i = 1; i < width; ++i) {
      if (v > (INT64_MAX >> 8)) return -1;
      v = (v << 8) | field[i];
    }
    return v;
  }
  std::int64_t v = 0;
  for (int i = 0; i < width; ++i) {
    const std::uint8_t c = field[i];
    if (c >= '0' && c <= '7') {
      if (v > (INT64_MAX >> 3)) return -1;
      v = v * 8 + (c - '0');
    }
  }
  return v;
}

TTarRead ReadTarMember(IStream& in, std::int64_t pos, std::int64_t fileSize, TTarMember& out) {
  out = TTarMember{};
  out.HeaderOffset = pos;
  std::string longName, longLink, paxPath, paxLink;
  std::int64_t paxSize = 0;
  bool hasPaxSize = false;
  std::uint8_t block[512];
  // Extension records come before the header they describe; a chain of them is bounded.
  for (int guard = 0; guard < 16; ++guard) {
    if (pos + kTarBlock > fileSize) return TTarRead::trEof;
    if (in.Seek(pos, TSeekOrigin::soBegin) != pos || !in.ReadExact(block, 512)) return TTarRead::trEof;
    if (std::all_of(block, block + 512, [](std::uint8_t b) { return b == 0; })) return TTarRead::trEnd;
    if (!TarChecksumValid(block)) return TTarRead::trBadHeader;
    const char type = static_cast<char>(block[156]);
    const std::int64_t size = TarNumber(block + 124, 12);
    if (size < 0 || size > fileSize) return TTarRead::trEof;
    if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
      if (size > kMaxExtension || pos + kTarBlock + size > fileSize) return TTarRead::trEof;
      std::string text(static_cast<std::size_t>(size), '\0');
      if (!in.ReadExact(text.data(), text.size())) return TTarRead::trEof;
      if (type == 'L') longName = text.substr(0, text.find('\0'));
      else if (type == 'K') longLink = text.substr(0, text.find('\0'));
      else if (type == 'x') ParsePax(text, paxPath, paxLink, paxSize, hasPaxSize);
      pos += kTarBlock + RoundUp(size);
      continue;
    }
    std::string name = Field(block, 100);
    // ustar (and POSIX) archives keep the front of long paths in the prefix field.
    if (std::memcmp(block + 257, "ustar", 5) == 0 && block[345] && std::memcmp(block + 257, "ustar  ", 7) != 0)
      name = Field(block + 345, 155) + "/" + name;
    out.Name = !paxPath.empty() ? paxPath : (!longName.empty() ? longName : name);
    out.LinkName = !paxLink.empty() ? paxLink : (!longLink.empty() ? longLink : Field(block + 157, 100));
    out.Size = hasPaxSize ? paxSize : size;
    out.ModTime = TarNumber(block + 136, 12);
    out.Mode = static_cast<std::uint32_t>(TarNumber(block + 100, 8));
    out.Type = type;
    out.DataOffset = pos + kTarBlock;
    // Links and folders carry no data whatever their size field says.
    const bool hasData = type != '1' && type != '2' && type != '5' && type != '3' &&
                         type != '4' && type != '6' && type != 'V';
    const std::int64_t dataSize = hasData ? out.Size : 0;
    if (!hasData) out.Size = 0;
    if (out.DataOffset + dataSize > fileSize) return TTarRead::trEof;
    out.NextOffset = out.DataOffset + RoundUp(dataSize);
    if (out.Name.empty()) return TTarRead::trEnd;
    return TTarRead::trMember;
  }
  return TTarRead::trBadHeader;
}

}  // namespace engine
