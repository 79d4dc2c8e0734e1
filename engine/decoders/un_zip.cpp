// The ZIP and JAR decoders.
#include "engine/decoders/un_zip.h"

#include <algorithm>
#include <limits>

#include "engine/core/crc.h"
#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/decoders/explode.h"
#include "engine/decoders/inflate.h"
#include "engine/decoders/unreduce.h"
#include "engine/decoders/unshrink.h"
#include "engine/decoders/zip_span.h"

namespace engine {

namespace {

constexpr std::uint32_t kLocalSig = 0x04034B50;    // "PK" 03 04
constexpr std::uint32_t kCentralSig = 0x02014B50;  // "PK" 01 02
constexpr std::uint32_t kEndSig = 0x06054B50;      // "PK" 05 06
constexpr std::uint32_t kSpanSig = 0x08074B50;     // "PK" 07 08: spanned-set marker, data descriptor
constexpr std::uint32_t kSingleSpanSig = 0x30304B50;  // "PK00": a split set that needed one disk
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kBlockSize = 32768;
constexpr std::size_t kCryptHeaderSize = 12;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint32_t kAttrDirOrLabel = 0x18;  // DOS directory (0x10) and volume label (0x08)
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathId = 0x7075;  // Info-ZIP: UTF-8 name with the CRC of the stored one
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFFu;

bool IsSupportedMethod(std::uint32_t method) {
  switch (method) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 8: case 9:
      return true;
    default:
      return false;
  }
}

// The 64-bit values of a ZIP64 extra field (id 1). Each value is present, in this order,
// only when its 32-bit field holds the marker; local headers always carry both sizes.
struct TZip64Values {
  std::int64_t Unpacked, Packed, Offset;
  bool Found = false;
};

void ApplyZip64(const std::vector<std::uint8_t>& extra, TZip64Values& v, bool unpacked,
                bool packed, bool offset) {
  std::size_t p = 0;
  while (p + 4 <= extra.size()) {
    const std::uint16_t id = ReadLe16(&extra[p]);
    const std::size_t size = ReadLe16(&extra[p + 2]);
    const std::size_t data = p + 4;
    if (data + size > extra.size()) return;
    if (id == kZip64ExtraId) {
      std::size_t q = data;
      const std::size_t stop = data + size;
      auto take = [&](bool marked, std::int64_t& out) {
        if (!marked || q + 8 > stop) return;
        const std::uint64_t value = ReadLe64(&extra[q]);
        if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
          out = static_cast<std::int64_t>(value);
        q += 8;
      };
      take(unpacked, v.Unpacked);
      take(packed, v.Packed);
      take(offset, v.Offset);
      v.Found = true;
      return;
    }
    p = data + size;
  }
}

// A stored name in the program's form (UTF-8, "\" between folders). A Unicode path
// field wins over an OEM name when it was written for this very name (its CRC matches);
// a stale one, left by a tool that renamed the member, is ignored.
std::string MemberName(const std::vector<std::uint8_t>& raw, std::uint16_t flags,
                       const std::vector<std::uint8_t>& extra) {
  std::string name;
  if (!(flags & kFlagUtf8)) {
    std::size_t p = 0;
    while (p + 4 <= extra.size()) {
      const std::uint16_t id = ReadLe16(&extra[p]);
      const std::size_t size = ReadLe16(&extra[p + 2]);
      if (p + 4 + size > extra.size()) break;
      if (id == kUnicodePathId && size > 5 && extra[p + 4] == 1 &&
          ReadLe32(&extra[p + 5]) == Crc32Of(raw)) {
        const auto* utf8 = reinterpret_cast<const char*>(&extra[p + 9]);
        ConvertMemberName(std::string_view(utf8, size - 5), TNameCoding::ncUtf8, name);
        return name;
      }
      p += 4 + size;
    }
  }
  ConvertMemberName(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()),
                    (flags & kFlagUtf8) ? TNameCoding::ncUtf8 : TNameCoding::ncOem, name);
  return name;
}

bool ReadAt(IStream& in, std::int64_t pos, void* buffer, std::size_t count) {
  return pos >= 0 && in.Seek(pos, TSeekOrigin::soBegin) == pos &&
         (count == 0 || in.ReadExact(buffer, count));
}

// The data descriptor of a member whose sizes were deferred: the first "PK" 07 08 record
// after `dataPos` whose compressed size is its own distance from `dataPos`. Fills the
// values and the position after the record; false when none is found before `end`.
bool FindDescriptor(IStream& in, std::int64_t dataPos, std::int64_t end, std::uint32_t& crc,
                    std::int64_t& packed, std::int64_t& unpacked, std::int64_t& next) {
  constexpr std::size_t kChunk = 65536;
  constexpr std::size_t kRecord = 24;  // the ZIP64 form is the longest
  std::vector<std::uint8_t> buf(kChunk + kRecord);
  for (std::int64_t base = dataPos; base < end; base += kChunk) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(end - base, kChunk + kRecord));
    if (in.Seek(base, TSeekOrigin::soBegin) != base) return false;
    const std::int64_t got = in.Read(buf.data(), want);
    if (got <= 0) return false;
    const std::size_t len = static_cast<std::size_t>(got);
    for (std::size_t i = 0; i + 16 <= len && i < kChunk; ++i) {
      if (buf[i] != 'P' || ReadLe32(&buf[i]) != kSpanSig) continue;
      const std::int64_t distance = base + static_cast<std::int64_t>(i) - dataPos;
      if (ReadLe32(&buf[i + 8]) == static_cast<std::uint32_t>(distance)) {
        crc = ReadLe32(&buf[i + 4]);
        packed = distance;
        unpacked = ReadLe32(&buf[i + 12]);
        next = base + static_cast<std::int64_t>(i) + 16;
        return true;
      }
      if (i + kRecord <= len && ReadLe64(&buf[i + 8]) == static_cast<std::uint64_t>(distance)) {
        crc = ReadLe32(&buf[i + 4]);
        packed = distance;
        unpacked = static_cast<std::int64_t>(
            std::min<std::uint64_t>(ReadLe64(&buf[i + 16]), std::numeric_limits<std::int64_t>::max()));
        next = base + static_cast<std::int64_t>(i) + static_cast<std::int64_t>(kRecord);
        return true;
      }
    }
  }
  return false;
}

}  // namespace

// Compressed bytes of the current member, read through the block layer and decrypted when
// the member is encrypted. Ends with the member's data, a failed read or Cancel.
class TUnZIP::MemberSource final : public IByteSource {
 public:
  MemberSource(TUnZIP& owner, IStream* in, std::int64_t packed, bool decrypt)
      : owner_(owner), in_(in), left_(packed), decrypt_(decrypt) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    if (left_ <= 0 || owner_.Cancel()) return 0;
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(left_, static_cast<std::int64_t>(std::min(capacity, kBlockSize))));
    const std::int64_t got = owner_.ReadBlock(in_, want, kCrcNone, false, buffer);
    if (got <= 0) {
      left_ = 0;
      return 0;
    }
    const auto n = static_cast<std::size_t>(got);
    if (decrypt_) owner_.State.Cipher.DecryptBlock(buffer, n);
    left_ -= got;
    return n;
  }

 private:
  TUnZIP& owner_;
  IStream* in_;
  std::int64_t left_;
  bool decrypt_;
};

// Decoded bytes of the current member: written through the block layer with CRC-32, never
// more than the member's stated size (a longer stream is damaged). Errors of the writer
// are kept for the frame to raise, so that no exception passes through a codec.
class TUnZIP::MemberSink final : public IByteSink {
 public:
  MemberSink(TUnZIP& owner, std::int64_t size) : owner_(owner), size_(size) {}
  bool Write(const std::uint8_t* data, std::size_t count) override {
    if (count == 0) return true;
    if (static_cast<std::int64_t>(count) > size_ - Written) {
      Overflow = true;
      return false;
    }
    try {
      // The writer changes the bytes only when asked to decrypt, which it is not here.
      owner_.WriteBlock(owner_.output_, true, count, kCrc32, false, const_cast<std::uint8_t*>(data));
    } catch (const E_RAISE& e) {
      Error = e.Code;
      return false;
    } catch (const EBase&) {
      Error = kErrWritingFile;
      return false;
    }
    Written += static_cast<std::int64_t>(count);
    owner_.remainingBytes_ -= static_cast<std::int64_t>(count);
    owner_.MemberProgress(Written, size_);
    return !owner_.Cancel();
  }
  std::int64_t Written = 0;
  bool Overflow = false;
  int Error = 0;

 private:
  TUnZIP& owner_;
  std::int64_t size_;
};

TUnZIP::TUnZIP() = default;
TUnZIP::~TUnZIP() = default;

void TUnZIP::ExtractArchive(IStream* archive) {
  AsciiTranslation = false;
  if (!archive) return;
  const std::uint8_t flags = ZipFlags();
  constexpr std::uint8_t kAll = kZipEndFound | kZipCentralFound | kZipLocalFound;
  if (ArcType() != TArcType::atZipMV && OnCorruptZipHeader && (flags & kAll) != kAll) {
    bool cancel = true;
    Fire(OnCorruptZipHeader, flags, cancel);
    if (cancel) return;
  }

  // What stands at the start offset decides the walk: detection gives the central
  // directory's position also where the stored offsets are off (data put in front of the
  // archive without adjusting them, or the last segment of a split set).
  TLayout layout;
  layout.Start = StartOffset();
  std::uint8_t sig[4] = {};
  layout.Central = ReadAt(*archive, layout.Start, sig, 4) && ReadLe32(sig) == kCentralSig;
  const bool endFound = (flags & kZipEndFound) != 0;
  const int lastDisk = endFound ? ReadLe16(EndRecordProbe() + 4) : 0;

  TZipSpan span;
  IStream* in = archive;
  if (layout.Central && lastDisk > 0) {
    if (!span.Open(TZipSpan::SegmentNames(ArchiveFile(), lastDisk)))
      RaiseError(span.MissingName(), "", "0", kErrFileNotFound);
    const std::int64_t cdDisk = span.DiskStart(ReadLe16(EndRecordProbe() + 6));
    if (cdDisk < 0) RaiseError(ArchiveFile(), "", "0", kErrBrokenMultiVolume);
    layout.Start += cdDisk;
    layout.Span = &span;
    in = &span;
  } else if (layout.Central) {
    if (endFound) layout.Delta = StartOffset() - ReadLe32(EndRecordProbe() + 16);
  } else {
    // The first segment of a split set: its local headers continue on the next segments.
    std::vector<std::string> names = TZipSpan::SetFromFirstSegment(ArchiveFile());
    if (names.size() > 1) {
      if (!span.Open(std::move(names))) RaiseError(span.MissingName(), "", "0", kErrFileNotFound);
      in = &span;
    }
  }
  archive_ = in;
  ArchiveStream = in;
  if (in->Seek(layout.Start, TSeekOrigin::soBegin) != layout.Start)
    RaiseError(ArchiveFile(), "", "0", kErrSeek);

  items_.clear();
  timer_.Pause();
  try {
    if (layout.Central)
      ScanCentral(*in, layout);
    else
      ScanLocal(*in, layout);
  } catch (...) {
    timer_.Resume();
    throw;
  }
  timer_.Resume();

  for (const TExtractItem& item : items_) {
    if (Cancel()) break;
    bool endWalk = false;
    ExtractItem(*in, item, endWalk);
    if (endWalk) break;
  }
  archive_ = archive;
  ArchiveStream = archive;
}

bool TUnZIP::ScanCentral(IStream& in, const TLayout& layout) {
  std::int64_t pos = layout.Start;
  std::uint8_t h[kCentralSize];
  while (!Cancel()) {
    if (!ReadAt(in, pos, h, kCentralSize) || ReadLe32(h) != kCentralSig) break;
    const std::uint16_t gp = ReadLe16(h + 8);
    const std::size_t nameLen = ReadLe16(h + 28), extraLen = ReadLe16(h + 30),
                      commentLen = ReadLe16(h + 32);
    const std::uint32_t external = ReadLe32(h + 38);
    name_.resize(nameLen);
    extra_.resize(extraLen);
    if ((nameLen && !in.ReadExact(name_.data(), nameLen)) ||
        (extraLen && !in.ReadExact(extra_.data(), extraLen)))
      break;
    pos += static_cast<std::int64_t>(kCentralSize + nameLen + extraLen + commentLen);
    if (external & kAttrDirOrLabel) continue;
    std::string name = MemberName(name_, gp, extra_);
    // A folder stored without the folder attribute (some writers only end its name in "/").
    if (name.empty() || name.back() == '\\') continue;
    if (!IsSelected(name, false)) continue;

    const std::uint32_t packed32 = ReadLe32(h + 20), unpacked32 = ReadLe32(h + 24),
                        offset32 = ReadLe32(h + 42);
    TZip64Values v{unpacked32, packed32, offset32};
    if (packed32 == kZip64Marker || unpacked32 == kZip64Marker || offset32 == kZip64Marker)
      ApplyZip64(extra_, v, unpacked32 == kZip64Marker, packed32 == kZip64Marker,
                 offset32 == kZip64Marker);
    TExtractItem item;
    item.Flags = gp;
    item.Method = ReadLe16(h + 10);
    item.DosDateTime = ReadLe32(h + 12);
    item.Crc = ReadLe32(h + 16);
    item.PackedSize = v.Packed;
    item.UnpackedSize = v.Unpacked;
    item.Attributes = external & 0xFFFF;
    item.Name = std::move(name);
    if (layout.Span) {
      const std::int64_t disk = layout.Span->DiskStart(ReadLe16(h + 34));
      item.HeaderOffset = disk < 0 ? -1 : disk + v.Offset;
    } else {
      item.HeaderOffset = v.Offset + layout.Delta;
    }
    AddItem(std::move(item));
    if (CanStopAfterFirst()) break;
  }
  return true;
}

bool TUnZIP::ScanLocal(IStream& in, const TLayout& layout) {
  std::int64_t pos = layout.Start;
  const std::int64_t end = in.Size();
  std::uint8_t h[kLocalSize];
  bool first = true;
  while (!Cancel()) {
    if (!ReadAt(in, pos, h, kLocalSize)) break;
    const std::uint32_t sig = ReadLe32(h);
    if (first && (sig == kSpanSig || sig == kSingleSpanSig)) {
      pos += 4;
      first = false;
      continue;
    }
    first = false;
    if (sig != kLocalSig) {
      // The directory or the end record ends the walk; anything else where the first
      // member should be is a damaged archive.
      if (sig != kCentralSig && sig != kEndSig && items_.empty() && pos <= layout.Start + 4)
        ReportError(ArchiveFile(), "", "0", kErrBadFileHeader);
      break;
    }
    const std::uint16_t gp = ReadLe16(h + 6);
    const std::size_t nameLen = ReadLe16(h + 26), extraLen = ReadLe16(h + 28);
    name_.resize(nameLen);
    extra_.resize(extraLen);
    if ((nameLen && !in.ReadExact(name_.data(), nameLen)) ||
        (extraLen && !in.ReadExact(extra_.data(), extraLen)))
      break;
    const std::int64_t dataPos = pos + static_cast<std::int64_t>(kLocalSize + nameLen + extraLen);
    const std::uint32_t packed32 = ReadLe32(h + 18), unpacked32 = ReadLe32(h + 22);
    TZip64Values v{unpacked32, packed32, 0};
    if (packed32 == kZip64Marker || unpacked32 == kZip64Marker) ApplyZip64(extra_, v, true, true, false);
    std::uint32_t crc = ReadLe32(h + 14);
    std::int64_t next = dataPos + v.Packed;
    if (gp & kFlagDescriptor) {
      if (v.Packed == 0) {
        // Sizes and checksum come after the data: find the descriptor that fits.
        if (!FindDescriptor(in, dataPos, end, crc, v.Packed, v.Unpacked, next)) break;
      } else {
        std::uint8_t d[4] = {};
        const bool signed4 = ReadAt(in, next, d, 4) && ReadLe32(d) == kSpanSig;
        next += (signed4 ? 4 : 0) + (v.Found ? 20 : 12);
      }
    }
    std::string name = MemberName(name_, gp, extra_);
    if (!name.empty() && name.back() != '\\' && IsSelected(name, false)) {
      TExtractItem item;
      item.Flags = gp;
      item.Method = ReadLe16(h + 8);
      item.DosDateTime = ReadLe32(h + 10);
      item.Crc = crc;
      item.PackedSize = v.Packed;
      item.UnpackedSize = v.Unpacked;
      item.Attributes = 32;
      item.HeaderOffset = pos;
      item.Name = std::move(name);
      AddItem(std::move(item));
      if (CanStopAfterFirst()) break;
    }
    if (next <= pos) break;
    pos = next;
  }
  return true;
}

void TUnZIP::ExtractItem(IStream& in, const TExtractItem& item, bool& endWalk) {
  std::uint8_t h[kLocalSize];
  if (!ReadAt(in, item.HeaderOffset, h, kLocalSize) || ReadLe32(h) != kLocalSig) {
    MemberFailed("", kErrInconsistentLocalHeader);
    return;
  }
  const std::uint16_t localFlags = ReadLe16(h + 6);
  const std::uint32_t localDate = ReadLe32(h + 10);
  const std::int64_t dataPos =
      item.HeaderOffset + static_cast<std::int64_t>(kLocalSize + ReadLe16(h + 26) + ReadLe16(h + 28));
  // The name the directory gave (and selection used) is the one extracted.
  if (!BuildEntryName(item.Name)) return;
  std::string displayName = item.Name;
  bool skip = false;
  if (!ConfirmEntry(displayName, skip, DosDateToDateTime(localDate))) {
    endWalk = true;
    return;
  }
  if (skip) {
    SkipItem(item);
    return;
  }
  bool pass = false;
  TMemberOutcome outcome = TMemberOutcome::moDone;
  try {
    outcome = DecodeMember(in, item, localFlags, localDate, dataPos, pass);
  } catch (const EBase&) {
    // Reported through OnError where it was raised; this member has failed.
    pass = false;
  }
  switch (outcome) {
    case TMemberOutcome::moSkipped:
      return;
    case TMemberOutcome::moGiveUp:
      Fire(OnEnd, OutputMode == 0 || OutputMode == 2 ? outputName_ : displayName, false);
      endWalk = true;
      return;
    case TMemberOutcome::moDone:
      Verdict(pass, displayName);
      break;
  }
  if (Cancel()) endWalk = true;
}

TUnZIP::TMemberOutcome TUnZIP::DecodeMember(IStream& in, const TExtractItem& item,
                                            std::uint16_t localFlags, std::uint32_t localDate,
                                            std::int64_t dataPos, bool& pass) {
  pass = false;
  if (!IsSupportedMethod(item.Method)) RaiseError(outputName_, "", "0", kErrUnsupportedMethod);
  const bool encrypted = (localFlags & kFlagEncrypted) != 0;
  std::int64_t packed = item.PackedSize;
  if (in.Seek(dataPos, TSeekOrigin::soBegin) != dataPos) RaiseError(outputName_, "", "0", kErrSeek);
  if (encrypted) {
    // The 12-byte encryption header is part of the packed size: less is a damaged member.
    if (packed < static_cast<std::int64_t>(kCryptHeaderSize))
      RaiseError(outputName_, "", "0", kErrCorruptInput);
    std::uint8_t header[kCryptHeaderSize];
    if (ReadBlock(&in, kCryptHeaderSize, kCrcNone, false, header) !=
        static_cast<std::int64_t>(kCryptHeaderSize))
      RaiseError(outputName_, "", "0", kErrReadingFile);
    switch (ObtainPassword(header, localFlags, localDate, item.Crc)) {
      case TPasswordResult::prOk: break;
      case TPasswordResult::prSkip: return TMemberOutcome::moSkipped;
      case TPasswordResult::prGiveUp: return TMemberOutcome::moGiveUp;
    }
    packed -= static_cast<std::int64_t>(kCryptHeaderSize);
  }
  encrypted_ = encrypted;
  State.Crc32Register = 0xFFFFFFFFu;
  if (!OpenOutput()) RaiseError(outputName_, "", "0", kErrOpeningFile);
  bool complete = false;
  try {
    RunCodec(in, item, localFlags, packed, encrypted, complete);
  } catch (...) {
    CloseOutput(item.Attributes, localDate);
    throw;
  }
  CloseOutput(item.Attributes, localDate);
  pass = complete && (State.Crc32Register ^ 0xFFFFFFFFu) == item.Crc;
  return TMemberOutcome::moDone;
}

void TUnZIP::RunCodec(IStream& in, const TExtractItem& item, std::uint16_t flags,
                      std::int64_t packed, bool encrypted, bool& complete) {
  MemberSource source(*this, &in, packed, encrypted);
  MemberSink sink(*this, item.UnpackedSize);
  const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(item.UnpackedSize, 0));
  CodecStatus status = CodecStatus::csEnd;
  switch (item.Method) {
    case 0: {
      storedBuffer_.resize(kBlockSize);
      while (true) {
        const std::size_t n = source.Read(storedBuffer_.data(), kBlockSize);
        if (n == 0) break;
        if (!sink.Write(storedBuffer_.data(), n)) {
          status = CodecStatus::csStopped;
          break;
        }
      }
      break;
    }
    case 1:
      if (!unshrinker_) unshrinker_ = std::make_unique<Unshrinker>();
      unshrinker_->Reset(size);
      status = unshrinker_->Decode(source, sink);
      break;
    case 2: case 3: case 4: case 5:
      if (!unreducer_) unreducer_ = std::make_unique<Unreducer>();
      unreducer_->Reset(item.Method - 1, size);
      status = unreducer_->Decode(source, sink);
      break;
    case 6:
      if (!exploder_) exploder_ = std::make_unique<Exploder>();
      exploder_->Reset(flags, size);
      status = exploder_->Decode(source, sink);
      break;
    case 8:
      if (!inflater_) inflater_ = std::make_unique<Inflater>(false);
      inflater_->Reset();
      status = inflater_->Decode(source, sink);
      break;
    case 9:
      if (!inflater64_) inflater64_ = std::make_unique<Inflater>(true);
      inflater64_->Reset();
      status = inflater64_->Decode(source, sink);
      break;
    default:
      RaiseError(outputName_, "", "0", kErrUnsupportedMethod);
  }
  if (sink.Error) RaiseError(outputName_, "", "0", sink.Error);
  if (Cancel()) return;  // stopped on request: nothing more to report
  if (sink.Overflow) RaiseError(outputName_, "", "0", kErrBadBlock);
  if (IsCodecError(status)) RaiseError(outputName_, "", "0", ErrorCode(status));
  if (sink.Written < item.UnpackedSize) {
    // The data ended before the stated size: a truncated archive.
    RaiseError(outputName_, "", "0", item.Method == 0 ? kErrReadingFile : kErrBadBlock);
  }
  complete = sink.Written == item.UnpackedSize;
}

}  // namespace engine
