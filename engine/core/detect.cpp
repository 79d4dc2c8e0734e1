// Archive type detection: the type of ArchiveFile and where its data starts.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/crc.h"
#include "engine/core/pe_resources.h"
#include "engine/core/zip_common.h"
#include "platform/file.h"

namespace engine {

namespace {

constexpr std::size_t kBufferSize = 32768;
constexpr std::int64_t kMinArchiveSize = 20;

bool IsSig(const std::uint8_t* p, const char* sig, std::size_t n) {
  return std::memcmp(p, sig, n) == 0;
}
bool IsLocalSig(const std::uint8_t* p) { return IsSig(p, "PK\x03\x04", 4); }

std::string UpperExtension(const std::string& name) {
  const auto slash = name.find_last_of("/\\");
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

// An LHA header at `p` (the byte before "-lh?-"/"-lz?-" is the header size or checksum):
// checked by its level and, for levels 0 and 1, its one-byte header checksum, so that a
// stray "-lh5-" in a stub's code is not taken for an archive.
bool IsLhaHeader(const std::uint8_t* p, std::size_t avail) {
  if (avail < 22) return false;
  if (p[2] != '-' || p[3] != 'l' || (p[4] != 'h' && p[4] != 'z') || p[6] != '-') return false;
  const std::uint8_t level = p[20];
  if (level == 0 || level == 1) {
    const std::size_t size = p[0];
    if (size < 20 || size + 2 > avail) return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < size + 2; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    return sum == p[1];
  }
  return level == 2 || level == 3;
}

// An ARJ main header at `p`: 60 EA, a basic header size up to 2600 and its CRC-32.
bool IsArjHeader(const std::uint8_t* p, std::size_t avail) {
  if (avail < 8 || p[0] != 0x60 || p[1] != 0xEA) return false;
  const std::size_t size = ReadLe16(p + 2);
  if (size < 30 || size > 2600 || 4 + size + 4 > avail) return false;
  return Crc32Of({p + 4, size}) == ReadLe32(p + 4 + size);
}

// A cabinet header: "MSCF", reserved fields zero, a cabinet size that fits the file and
// format version 1.3.
bool IsCabHeader(const std::uint8_t* p, std::size_t avail, std::int64_t remaining) {
  if (avail < 36 || !IsSig(p, "MSCF", 4) || ReadLe32(p + 4) != 0) return false;
  const std::int64_t size = ReadLe32(p + 8);
  return size >= 36 && size <= remaining && p[24] == 3 && p[25] == 1;
}

bool TarChecksumHolds(const std::uint8_t* block) {
  std::uint64_t stored = 0;
  for (int i = 148; i < 156; ++i)
    if (block[i] >= '0' && block[i] <= '7') stored = stored * 8 + (block[i] - '0');
  std::uint64_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : block[i];
  return sum == stored;
}

bool IsZeroBlock(const std::uint8_t* block) {
  for (int i = 0; i < 512; ++i)
    if (block[i]) return false;
  return true;
}

}  // namespace

// Runs detection for one engine. Reads the file only; never raises.
class TDetector {
 public:
  explicit TDetector(TztvMain& m) : m_(m) {}

  void Run();

 private:
  TArcType Classify(int mode, const std::uint8_t* sig);
  bool ZipProbe();
  void ExecutableBranch();
  void PlainBranch();
  std::int64_t FindZipDirectory();
  std::int64_t LocateZipStart();
  std::int64_t ScanSelfExtractor(std::int64_t from);
  bool ScanValidatedHeaders(std::int64_t from, std::int64_t to);
  bool PmarcFollows() const {
    return candidate_ + 7 <= bufLen_ && buf_[candidate_ + 4] == 'm' && buf_[candidate_ + 6] == '-';
  }
  bool ReadAt(std::int64_t pos, void* buf, std::size_t n) {
    return file_.Seek(pos) == pos && file_.ReadExact(buf, n);
  }

  TztvMain& m_;
  platform::File file_;
  std::vector<std::uint8_t> buf_;
  std::size_t bufLen_ = 0;
  std::size_t candidate_ = 0;
  std::int64_t endRecordPos_ = -1;
};

TArcType TDetector::Classify(int mode, const std::uint8_t* s) {
  using enum TArcType;
  const bool plain = mode == 1;
  if (s[0] == 'P' && s[1] == 'K') {
    if (s[2] == 7 && s[3] == 8) {
      m_.zipFlags_ = kZipLocalFound;
      return m_.removableDrive_ ? atZipMV : atZip;
    }
    if (s[2] == 1 && s[3] == 2) {
      if (m_.removableDrive_) {
        FindZipDirectory();
        return atZipMV;
      }
      return atNA;
    }
    if (s[2] == 'G' && s[3] == '4') return atNA;
    return plain ? atZip : atZipExe;
  }
  if (IsSig(s, "MSCF", 4)) return plain ? atCab : atUnsupported;
  if (s[0] == 0x42 && s[1] == 0x48 && s[2] == 5 && s[3] == 7) return plain ? atBh : atBhExe;
  if (s[0] == 0x13 && s[1] == 0x5D && s[2] == 0x65 && s[3] == 0x8C)
    return plain ? atMsGZ : atUnsupported;
  if (s[0] == 'H' && s[1] == 'A') return plain ? atHa : atUnsupported;
  const unsigned w = s[0] << 8 | s[1];
  if (w == 0x1F8B || w == 0x1F9D || w == 0x1F9E || w == 0x1F1E || w == 0x2521 || w == 0x1FA0)
    return plain ? atGZip : atUnsupported;
  if (w == 0x60EA) return plain ? atArj : atArjExe;
  if (s[0] == 'Z' && s[1] == 'O') return plain ? atZoo : atUnsupported;
  if (s[2] == '-' && s[3] == 'l') return plain ? atLha : atLhaExe;
  // PMarc archives share the LHA header layout ("-pm0-", "-pm2-").
  if (s[2] == '-' && s[3] == 'p' && plain && PmarcFollows()) return atLha;
  if (IsSig(s, "Rar!", 4)) return plain ? atRar : atRarExe;
  if (w == 0x1A0A || w == 0x1A0B) return plain ? atPak : atPakExe;
  if (w == 0x1A1E || w == 0x1A02) return plain ? atArc : atUnsupported;
  if (w == 0x1A08 || w == 0x1A09) return plain ? atArc : atArcExe;
  // An ARC file whose first member is stored, packed, squeezed or crunched (types 1-7)
  // is an ARC file all the same.
  if (plain && s[0] == 0x1A && s[1] >= 1 && s[1] <= 7) return atArc;
  if (w == 0xB792 || w == 0xB7DF) {
    m_.startOffset_ = 7717;
    return atArcExe;
  }
  return atUnknown;
}

void TDetector::Run() {
  using enum TArcType;
  m_.zipFlags_ = 0;
  if (m_.archiveFile_.empty()) {
    m_.arcType_ = atNA;
    return;
  }
  m_.arcType_ = atFileOpenErr;
  m_.RefreshDrive();
  if (!file_.Open(m_.archiveFile_, platform::TFileAccess::faRead,
                  platform::TShareMode::smDenyNone))
    return;
  m_.startOffset_ = 1;
  m_.archiveSize_ = file_.Size();
  if (m_.archiveSize_ < kMinArchiveSize) return;
  buf_.assign(kBufferSize, 0);

  if (!ZipProbe()) {
    const std::int64_t got = file_.Seek(0) == 0 ? file_.Read(buf_.data(), kBufferSize - 1) : -1;
    bufLen_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (bufLen_ >= 2 && buf_[0] == 'M' && buf_[1] == 'Z')
      ExecutableBranch();
    else
      PlainBranch();
  }
  if (m_.arcType_ == atZip && UpperExtension(m_.archiveFile_) == ".JAR") m_.arcType_ = atJar;
}

bool TDetector::ZipProbe() {
  using enum TArcType;
  m_.arcType_ = atZipExe;
  std::uint8_t sig[4];
  if (m_.archiveSize_ > 4 && ReadAt(0, sig, 4)) {
    if (IsLocalSig(sig)) {
      const std::int64_t start = LocateZipStart();
      if (start > 0) {
        m_.startOffset_ = start;
        m_.arcType_ = atZip;
        return true;
      }
      m_.arcType_ = atNA;
      return false;
    }
    struct TProbe { std::int64_t pos; bool walkLocal; };
    for (const TProbe probe : {TProbe{7612, true}, TProbe{15770, true}, TProbe{25661, false}}) {
      if (m_.archiveSize_ <= probe.pos + 4) continue;
      if (file_.Seek(probe.pos) != probe.pos) break;
      if (file_.ReadExact(sig, 4) && IsLocalSig(sig)) {
        m_.startOffset_ = probe.pos;
        m_.arcType_ = atZipExe;
        if (probe.walkLocal) m_.zipFlags_ = kZipLocalFound;
        return true;
      }
    }
  }
  m_.arcType_ = atNA;
  return false;
}

void TDetector::ExecutableBranch() {
  using enum TArcType;
  m_.arcType_ = atUnknown;

  // Self-extractor stubs may name the archive's position in string resources 1-4.
  for (std::int64_t value : ReadPeStringOffsets(buf_.data(), bufLen_, file_, 4)) {
    if (value < 0 || value >= m_.archiveSize_) break;
    std::uint8_t sig[4];
    if (!ReadAt(value, sig, 4)) continue;
    const TArcType t = Classify(0, sig);
    if (t != atUnknown) {
      m_.arcType_ = t;
      m_.startOffset_ = value;
      m_.zipFlags_ = kZipLocalFound;
      return;
    }
  }

  // The end of the DOS image, where many stubs put the archive.
  bool unsupported = false;
  std::int64_t imageEnd = 0;
  if (bufLen_ >= 6) {
    const std::int64_t lastPage = ReadLe16(&buf_[2]);
    const std::int64_t pages = ReadLe16(&buf_[4]);
    imageEnd = (pages - 1) * 512 + lastPage;
  }
  if (imageEnd > 0 && imageEnd + 4 < m_.archiveSize_) {
    std::uint8_t sig[4];
    if (file_.Seek(imageEnd) != imageEnd) {
      m_.arcType_ = atFileOpenErr;
      return;
    }
    if (file_.ReadExact(sig, 4)) {
      std::int64_t pos = imageEnd;
      if (sig[2] == 0x60 && sig[3] == 0xEA) pos += 2;
      m_.startOffset_ = pos + 1;
      if (pos + 5 < m_.archiveSize_) {
        if (file_.Seek(pos) != pos) {
          m_.arcType_ = atUnknown;
          return;
        }
        if (file_.ReadExact(sig, 4) && !IsLocalSig(sig)) {
          m_.arcType_ = Classify(0, sig);
          if (IsRecognised(m_.arcType_)) return;
          unsupported = m_.arcType_ == atUnsupported;
        }
      }
    }
  }

  // A ZIP archive behind the stub.
  std::memset(m_.endProbe_, 0, 4);
  std::int64_t start = IsRecognised(m_.arcType_) ? LocateZipStart() : FindZipDirectory();
  if (start > 0) {
    m_.startOffset_ = start;
    m_.arcType_ = atZipExe;
    return;
  }
  if ((m_.zipFlags_ & kZipEndFound) && !IsRecognised(m_.arcType_)) {
    start = LocateZipStart();
    m_.startOffset_ = start;
    if (start > 0) m_.arcType_ = atZipExe;
    return;
  }
  m_.startOffset_ = ScanSelfExtractor(17000);
  // Stubs whose archive starts before the scan window (DOS LHA and ARC self-extractors are
  // a few KiB long): look for a header that validates from the start of the file.
  if (!IsRecognised(m_.arcType_)) ScanValidatedHeaders(0, 17000);
  // A format that is known but not handled inside an executable (a cabinet, say) is
  // reported as such rather than as an unknown file.
  if (!IsRecognised(m_.arcType_) && unsupported) {
    m_.arcType_ = atUnsupported;
    m_.startOffset_ = 0;
  }
}

void TDetector::PlainBranch() {
  using enum TArcType;
  std::size_t candidate = 0;
  while (candidate < bufLen_ && buf_[candidate] == 0) ++candidate;
  candidate_ = candidate;
  if (candidate + 4 > bufLen_) {
    // Nothing but zeros (or too little) was read: nothing to classify.
    m_.arcType_ = atUnknown;
    return;
  }
  m_.arcType_ = Classify(1, &buf_[candidate]);
  if (m_.arcType_ == atZip || m_.arcType_ == atZipExe || m_.arcType_ == atJar) {
    if (m_.removableDrive_) m_.arcType_ = atZipMV;
    m_.startOffset_ = FindZipDirectory();
    if (m_.startOffset_ == 0) {
      m_.startOffset_ = static_cast<std::int64_t>(candidate);
      m_.zipFlags_ |= kZipLocalFound;
    }
    return;
  }
  if (IsRecognised(m_.arcType_)) {
    m_.startOffset_ = static_cast<std::int64_t>(candidate) + 1;
  } else if (m_.arcType_ != atZipMV && bufLen_ >= 14 && IsSig(&buf_[7], "**ACE**", 7)) {
    m_.arcType_ = atACE;
  }
  if (IsRecognised(m_.arcType_)) return;

  // a. A disk of a spanned set on removable media.
  if (m_.removableDrive_ && m_.volumeLabel_.find("PKBACK# ") != std::string::npos) {
    m_.startOffset_ = FindZipDirectory();
    if (m_.zipFlags_ < kZipLocalFound) m_.arcType_ = atZipMV;
    return;
  }
  // b. ACE.
  if (bufLen_ >= 14 && IsSig(&buf_[7], "**ACE**", 7)) {
    m_.arcType_ = atACE;
    return;
  }
  // c. UU/XX text: "begin " at the start or right after a line feed.
  const std::size_t textLen = std::min<std::size_t>(bufLen_, 2500);
  for (std::size_t i = 0; i + 6 <= textLen; ++i) {
    if ((i == 0 || buf_[i - 1] == '\n') && IsSig(&buf_[i], "begin ", 6)) {
      m_.arcType_ = atUue;
      m_.startOffset_ = 1;
      return;
    }
  }
  // d. TAR: a header block whose checksum holds (after a volume label block, the second).
  if (m_.archiveSize_ > 512) {
    std::uint8_t block[512];
    bool ok = ReadAt(0, block, 512);
    if (ok && block[156] == 'V') {
      // A volume label: the archive proper starts with the second block. An archive that
      // holds nothing but its label is a tar file too (its label block checksums).
      const bool labelValid = TarChecksumHolds(block);
      m_.startOffset_ = 513;
      ok = m_.archiveSize_ > 1025 && ReadAt(512, block, 512);
      if (labelValid && (!ok || IsZeroBlock(block))) {
        m_.arcType_ = atTar;
        return;
      }
    }
    if (ok && TarChecksumHolds(block)) {
      m_.arcType_ = atTar;
      return;
    }
    m_.startOffset_ = 1;
  }
  // e. A ZIP directory at the end of an otherwise unknown file.
  const std::int64_t cd = FindZipDirectory();
  const bool elfStub = bufLen_ >= 4 && IsSig(buf_.data(), "\x7f" "ELF", 4);
  if (cd > 0) {
    m_.startOffset_ = cd;
    m_.arcType_ = elfStub ? atZipExe : atZip;
    return;
  }
  if (m_.zipFlags_ & kZipEndFound) {
    const std::int64_t stated = ReadLe32(m_.endProbe_ + 16);
    const std::int64_t cdSize = ReadLe32(m_.endProbe_ + 12);
    const std::uint16_t disk = ReadLe16(m_.endProbe_ + 4);
    if ((m_.zipFlags_ & kZipCentralFound) && disk != 0) {
      // The last segment of a split set: the local headers are on earlier segments.
      m_.startOffset_ = stated;
      m_.arcType_ = atZip;
      return;
    }
    // Data was put in front of the archive without adjusting its offsets: the directory
    // ends where the end record begins.
    const std::int64_t actual = endRecordPos_ - cdSize;
    std::uint8_t sig[4];
    if (disk == 0 && cdSize > 0 && actual > stated && ReadAt(actual, sig, 4) &&
        IsSig(sig, "PK\x01\x02", 4)) {
      m_.startOffset_ = actual;
      m_.arcType_ = elfStub ? atZipExe : atZip;
      return;
    }
  }
  // Self-extractors without an MZ header (DOS .COM and ELF stubs): a header that validates.
  if (m_.arcType_ == atUnknown) ScanValidatedHeaders(0, 6 * static_cast<std::int64_t>(kBufferSize));
}

std::int64_t TDetector::FindZipDirectory() {
  const std::int64_t size = m_.archiveSize_;
  std::int64_t n = m_.zipCmntBufSize_ + 23;
  if (n > size) n = m_.zipCmntBufSize_ == 0 ? 23 : (size > 32768 ? 32768 : size - 1);
  m_.zipFlags_ = 0;
  if (size <= n || n < 22) return 0;
  std::vector<std::uint8_t> window(static_cast<std::size_t>(n));
  if (!ReadAt(size - n, window.data(), window.size())) return 0;
  std::int64_t found = -1;
  for (std::int64_t i = n - 22; i >= 1; --i) {
    if (IsSig(&window[static_cast<std::size_t>(i)], "PK\x05\x06", 4)) {
      found = size - n + i;
      break;
    }
  }
  if (found < 0) return 0;
  if (!ReadAt(found, m_.endProbe_, 22) || !IsSig(m_.endProbe_, "PK\x05\x06", 4)) return 0;
  endRecordPos_ = found;
  m_.zipFlags_ |= kZipEndFound;
  const std::int64_t cd = ReadLe32(m_.endProbe_ + 16);
  if (!ReadAt(cd, m_.centralProbe_, 46) || !IsSig(m_.centralProbe_, "PK\x01\x02", 4)) return 0;
  m_.zipFlags_ |= kZipCentralFound;
  const std::int64_t local = ReadLe32(m_.centralProbe_ + 42);
  if (!ReadAt(local, m_.localProbe_, 30) || !IsLocalSig(m_.localProbe_)) return 0;
  m_.zipFlags_ |= kZipLocalFound;
  return cd;
}

std::int64_t TDetector::LocateZipStart() {
  m_.arcType_ = TArcType::atUnknown;
  FindZipDirectory();
  if (!(m_.zipFlags_ & kZipEndFound)) return 0;
  const std::int64_t cd = ReadLe32(m_.endProbe_ + 16);
  if (cd >= m_.archiveSize_) return 0;
  std::uint8_t sig[4];
  if (cd > 0 && ReadAt(cd, sig, 4) && IsSig(sig, "PK\x01\x02", 4)) return cd;
  if (m_.archiveSize_ > 25000) {
    std::vector<std::uint8_t> chunk(kBufferSize);
    if (file_.Seek(25000) != 25000) return 0;
    const std::int64_t got = file_.Read(chunk.data(), chunk.size());
    for (std::int64_t i = 0; i + 4 <= got; ++i) {
      if (IsLocalSig(&chunk[static_cast<std::size_t>(i)])) {
        m_.zipFlags_ = kZipLocalFound;
        return 25000 + i;
      }
    }
  }
  return 0;
}

std::int64_t TDetector::ScanSelfExtractor(std::int64_t from) {
  using enum TArcType;
  m_.arcType_ = atUnknown;
  // Chunks overlap by 4 bytes so that a signature across a chunk border is still seen.
  std::vector<std::uint8_t> chunk(kBufferSize + 4);
  for (int c = 0; c < 6; ++c) {
    const std::int64_t base = from + static_cast<std::int64_t>(c) * kBufferSize;
    if (base >= m_.archiveSize_ || file_.Seek(base) != base) break;
    const std::int64_t got = file_.Read(chunk.data(), chunk.size());
    if (got <= 0) break;
    const std::size_t len = static_cast<std::size_t>(got);
    const std::size_t limit = std::min(len, kBufferSize);
    for (std::size_t i = 0; i < limit; ++i) {
      const std::int64_t p = base + static_cast<std::int64_t>(i);
      const std::uint8_t* s = &chunk[i];
      const std::size_t avail = len - i;
      if (avail >= 5 && s[0] == '-' && s[1] == 'l' && s[2] == 'h' && s[4] == '-' &&
          p + 5 < m_.archiveSize_) {
        m_.arcType_ = atLhaExe;
        return p - 1;
      }
      if (avail >= 4 && IsLocalSig(s)) {
        m_.arcType_ = atZipExe;
        m_.zipFlags_ = kZipLocalFound;
        return p;
      }
      if (avail >= 4 && IsSig(s, "Rar!", 4)) {
        m_.arcType_ = atRarExe;
        return p + 1;
      }
    }
  }
  return 0;
}

bool TDetector::ScanValidatedHeaders(std::int64_t from, std::int64_t to) {
  using enum TArcType;
  const bool plainFile = !(bufLen_ >= 2 && buf_[0] == 'M' && buf_[1] == 'Z');
  to = std::min(to, m_.archiveSize_);
  constexpr std::size_t kOverlap = 2700;  // a whole ARJ basic header fits
  std::vector<std::uint8_t> chunk(kBufferSize + kOverlap);
  for (std::int64_t base = from; base < to; base += kBufferSize) {
    if (file_.Seek(base) != base) return false;
    const std::int64_t got = file_.Read(chunk.data(), chunk.size());
    if (got <= 0) return false;
    const std::size_t len = static_cast<std::size_t>(got);
    const std::size_t limit = std::min<std::size_t>(len, static_cast<std::size_t>(to - base));
    for (std::size_t i = 0; i < std::min(limit, kBufferSize); ++i) {
      const std::uint8_t* s = &chunk[i];
      const std::size_t avail = len - i;
      const std::int64_t p = base + static_cast<std::int64_t>(i);
      TArcType found = atUnknown;
      if (IsLhaHeader(s, avail)) found = atLhaExe;
      else if (IsArjHeader(s, avail)) found = atArjExe;
      else if (plainFile && IsCabHeader(s, avail, m_.archiveSize_ - p)) found = atCab;
      if (found != atUnknown) {
        m_.arcType_ = found;
        m_.startOffset_ = p + 1;
        return true;
      }
    }
  }
  return false;
}

void TztvMain::DetectArchiveType() {
  TDetector(*this).Run();
}

}  // namespace engine
