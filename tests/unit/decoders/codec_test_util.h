// Shared helpers of the codec tests: an LSB-first bit writer, a piecewise decode driver and a
// minimal reader of ZIP local headers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/decoders/codec_io.h"

namespace codec_test {

// Writes bit fields LSB-first, as deflate, implode, shrink and reduce read them.
class BitWriter {
 public:
  void Put(std::uint32_t value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i) PutBit((value >> i) & 1);
  }
  // A prefix code: its first bit is the code's most significant bit.
  void PutCode(std::uint32_t code, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) PutBit((code >> i) & 1);
  }
  void AlignToByte() {
    while (count_ != 0) PutBit(0);
  }
  void PutByte(std::uint8_t b) { Put(b, 8); }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out = bytes_;
    if (count_ != 0) out.push_back(cur_);
    return out;
  }

 private:
  void PutBit(unsigned b) {
    cur_ |= static_cast<std::uint8_t>(b << count_);
    if (++count_ == 8) {
      bytes_.push_back(cur_);
      cur_ = 0;
      count_ = 0;
    }
  }
  std::vector<std::uint8_t> bytes_;
  std::uint8_t cur_ = 0;
  unsigned count_ = 0;
};

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline std::string StatusText(engine::CodecStatus s) {
  const int v = static_cast<int>(s);
  if (!engine::IsCodecError(s)) return std::to_string(v);
  return std::to_string(v) + " \"" + std::string(engine::ErrorText(v)) + "\"";
}

// One member's compressed data from a ZIP file, found by walking its local headers.
struct ZipMember {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t unpackedSize = 0;
  std::vector<std::uint8_t> data;
};

inline std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, unsigned n) {
  std::uint32_t v = 0;
  for (unsigned i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

// Members with sizes in their local headers (no data descriptor, no ZIP64), from offset 0.
inline std::vector<ZipMember> ReadZipMembers(const std::filesystem::path& p) {
  const std::vector<std::uint8_t> b = ReadFile(p);
  std::vector<ZipMember> out;
  std::size_t at = 0;
  while (at + 30 <= b.size() && Le(b, at, 4) == 0x04034B50) {
    ZipMember m;
    m.flags = static_cast<std::uint16_t>(Le(b, at + 6, 2));
    m.method = static_cast<std::uint16_t>(Le(b, at + 8, 2));
    m.crc = Le(b, at + 14, 4);
    const std::uint32_t packed = Le(b, at + 18, 4);
    m.unpackedSize = Le(b, at + 22, 4);
    const std::size_t nameLen = Le(b, at + 26, 2), extraLen = Le(b, at + 28, 2);
    const std::size_t dataAt = at + 30 + nameLen + extraLen;
    if ((m.flags & 8) || packed == 0xFFFFFFFF || dataAt + packed > b.size()) break;
    m.name.assign(b.begin() + at + 30, b.begin() + at + 30 + nameLen);
    m.data.assign(b.begin() + dataAt, b.begin() + dataAt + packed);
    out.push_back(std::move(m));
    at = dataAt + packed;
  }
  return out;
}

inline std::filesystem::path FixturePath(const std::string& rel) {
  return std::filesystem::path(TESSALY_SHARED_DIR) / "fixtures" / rel;
}

}  // namespace codec_test
