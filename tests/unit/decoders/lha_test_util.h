// Test helpers for the LHA-family codecs: a minimal member walk over fixture archives,
// an MSB-first bit writer for crafted streams, and file reading.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace lzhtest {

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline std::filesystem::path SharedFixtures(const char* sub) {
  return std::filesystem::path(TESSALY_SHARED_DIR) / "fixtures" / sub;
}

inline std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
inline std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

// One member's compressed stream and the values its header states.
struct LhaMember {
  std::string method;  // "-lh5-"
  std::string name;
  std::size_t dataOffset = 0;
  std::size_t packedSize = 0;
  std::uint32_t originalSize = 0;
  std::uint16_t crc = 0;
  int level = 0;
  bool truncated = false;  // the archive ends inside the member's data
};

// Walks the headers of levels 0-3 from the first "-l??-" signature (skipping any
// self-extractor stub). Stops at a zero header size or anything it cannot follow.
inline std::vector<LhaMember> WalkLha(const std::vector<std::uint8_t>& a) {
  std::vector<LhaMember> out;
  std::size_t at = 0;
  for (; at + 22 <= a.size(); ++at) {
    if (a[at + 2] == '-' && a[at + 3] == 'l' && a[at + 6] == '-' && a[at + 20] <= 3) break;
  }
  while (at + 22 <= a.size() && a[at] != 0) {
    const std::uint8_t* h = &a[at];
    LhaMember m;
    m.method.assign(reinterpret_cast<const char*>(h + 2), 5);
    m.packedSize = Le32(h + 7);
    m.originalSize = Le32(h + 11);
    m.level = h[20];
    std::size_t next = 0;
    if (m.level == 0 || m.level == 1) {
      const std::size_t headerSize = h[0] + 2u;
      const unsigned nameLen = h[21];
      if (at + headerSize > a.size() || 22u + nameLen + 2 > headerSize) break;
      m.name.assign(reinterpret_cast<const char*>(h + 22), nameLen);
      m.crc = static_cast<std::uint16_t>(Le16(h + 22 + nameLen));
      std::size_t data = at + headerSize;
      if (m.level == 1) {
        std::size_t extSize = Le16(h + headerSize - 2);
        while (extSize != 0 && data + extSize <= a.size()) {
          m.packedSize -= extSize;
          data += extSize;
          extSize = Le16(&a[data - 2]);
        }
      }
      m.dataOffset = data;
    } else if (m.level == 2) {
      m.crc = static_cast<std::uint16_t>(Le16(h + 21));
      m.dataOffset = at + Le16(h);
    } else {
      m.crc = static_cast<std::uint16_t>(Le16(h + 21));
      m.dataOffset = at + Le32(h + 24);
    }
    next = m.dataOffset + m.packedSize;
    if (next > a.size() && m.dataOffset < a.size()) {
      m.packedSize = a.size() - m.dataOffset;
      m.truncated = true;
      out.push_back(m);
      break;
    }
    if (next > a.size() || next <= at) break;
    out.push_back(m);
    at = next;
  }
  return out;
}

// MSB-first bit writer for crafted streams.
class BitWriter {
 public:
  void Put(unsigned width, std::uint32_t value) {
    for (unsigned i = width; i-- > 0;) {
      acc_ = (acc_ << 1) | ((value >> i) & 1);
      if (++n_ == 8) {
        bytes_.push_back(static_cast<std::uint8_t>(acc_));
        acc_ = n_ = 0;
      }
    }
  }
  std::vector<std::uint8_t> Finish() {
    std::vector<std::uint8_t> out = bytes_;
    if (n_ != 0) out.push_back(static_cast<std::uint8_t>(acc_ << (8 - n_)));
    return out;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  unsigned acc_ = 0, n_ = 0;
};

}  // namespace lzhtest
