// ZIP and JAR writers.
#include "engine/writers/zip_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <span>
#include <unordered_set>

#include "engine/core/crc.h"
#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/method_names.h"
#include "engine/writers/deflate_coder.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kDescriptorSig = 0x08074B50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::size_t kCryptHeaderSize = 12;
constexpr std::size_t kBlockSize = 32768;
constexpr std::size_t kMaxComment = 65535;
// The largest value a 32-bit field may hold: 0xFFFFFFFF itself means "see the ZIP64 record".
constexpr std::int64_t kMax32 = 0xFFFFFFFE;
constexpr std::size_t kMaxEntries = 0xFFFF - 1;

// Files of these kinds are already compressed: deflating them again costs time for nothing.
constexpr std::array<std::string_view, 18> kCompressedKinds = {
    ".uue", ".xxe", ".enc", ".tar", ".z",   ".gz",  ".zip", ".zoo", ".lha",
    ".lzh", ".arc", ".arj", ".bh",  ".pak", ".cab", ".rar", ".jar", ".ace"};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool IsAlreadyCompressed(std::string_view name) {
  const std::string ext = platform::ExtensionPart(name);
  for (std::string_view kind : kCompressedKinds)
    if (EqualNoCase(ext, kind)) return true;
  return false;
}

// General purpose bits 1-2 that tell the deflate level.
std::uint16_t LevelFlags(TDeflateType type) {
  switch (type) {
    case TDeflateType::dtDeflateS: return 6;
    case TDeflateType::dtDeflateF: return 4;
    case TDeflateType::dtDeflateN: return 0;
    case TDeflateType::dtDeflateX: return 2;
  }
  return 0;
}

// The name as a ZIP archive stores it: "/" between folders, never a drive or a leading "/"
// (such names would extract outside the target folder).
std::string ZipName(std::string_view stored) {
  std::string name(stored);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    name.erase(0, 2);
  const auto first = name.find_first_not_of('/');
  name.erase(0, first == std::string::npos ? name.size() : first);
  return name;
}

std::string FoldedName(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// ---- TZip ----

TZip::TZip() {
  arcType_ = TArcType::atZip;
  SetCompressMethod(TCompressMethod::cmDeflate);
}

TJar::TJar() { arcType_ = TArcType::atJar; }

bool TZip::SupportsMethod(TCompressMethod method) const {
  return method == TCompressMethod::cmStore || method == TCompressMethod::cmDeflate;
}

void TZip::UpdateArchive() {
  // Listing an archive that is not there must not fall through to building one.
  if (Switch == TSwitch::swRead && !platform::FileExists(ArchiveFile())) {
    ReportError(ArchiveFile(), "", "0", kErrFileNotFound);
    return;
  }
  central_.clear();
  comment_.clear();
  // Detection leaves a missing archive without a type; the block layer encrypts by type.
  if (!IsZipFamily(arcType_)) arcType_ = OwnType();
  // Update and freshen: only a newer file replaces its member; the host may still refuse.
  const TOnReplaceFile host = OnReplaceFile;
  struct TRestore {
    TZip& zip;
    TOnReplaceFile saved;
    ~TRestore() { zip.OnReplaceFile = std::move(saved); }
  } restore{*this, host};
  if (AddUpdate || AddFreshen) {
    OnReplaceFile = [host](TZipCommon& sender, const std::string& oldFn, const std::string& fn,
                           double oldDate, double newDate, std::int64_t oldSize,
                           std::int64_t newSize, std::uint32_t oldAttr, std::uint32_t newAttr,
                           bool& replace) {
      replace = newDate > oldDate;
      if (replace && host)
        host(sender, oldFn, fn, oldDate, newDate, oldSize, newSize, oldAttr, newAttr, replace);
    };
  }
  TCompBase::UpdateArchive();
}

// ---- Reading the old archive ----

bool TZip::ReadLayout(IStream& s, std::vector<TOldMember>& members, std::int64_t& prefix,
                      std::string& comment) {
  members.clear();
  prefix = 0;
  comment.clear();
  const std::int64_t size = s.Size();
  if (size == 0) return true;  // an empty file is an archive with nothing in it yet
  if (size < static_cast<std::int64_t>(kEndRecordSize)) return false;

  // The end record nearest the end whose comment reaches exactly to the end of the file.
  const std::int64_t tailLen =
      std::min<std::int64_t>(size, static_cast<std::int64_t>(kEndRecordSize + kMaxComment));
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(tailLen));
  if (s.Seek(size - tailLen, TSeekOrigin::soBegin) < 0 || !s.ReadExact(tail.data(), tail.size()))
    return false;
  std::int64_t at = -1;
  for (std::int64_t i = tailLen - static_cast<std::int64_t>(kEndRecordSize); i >= 0; --i) {
    const std::uint8_t* p = tail.data() + i;
    if (ReadLe32(p) == kEndSig &&
        i + static_cast<std::int64_t>(kEndRecordSize) + ReadLe16(p + 20) == tailLen) {
      at = i;
      break;
    }
  }
  if (at < 0) return false;
  const std::uint8_t* end = tail.data() + at;
  const std::int64_t endPos = size - tailLen + at;
  const std::uint16_t entries = ReadLe16(end + 10);
  const std::uint32_t cdSize = ReadLe32(end + 12);
  const std::uint32_t cdOffset = ReadLe32(end + 16);
  // Spanned sets and ZIP64 archives cannot be rewritten with 32-bit records.
  if (ReadLe16(end + 4) != 0 || ReadLe16(end + 6) != 0 || ReadLe16(end + 8) != entries ||
      entries == 0xFFFF || cdSize == 0xFFFFFFFFu || cdOffset == 0xFFFFFFFFu)
    return false;
  if (endPos >= 20) {
    std::uint8_t locator[4];
    if (s.Seek(endPos - 20, TSeekOrigin::soBegin) < 0 || !s.ReadExact(locator, 4)) return false;
    if (ReadLe32(locator) == kZip64LocatorSig) return false;
  }
  const std::int64_t cdStart = endPos - cdSize;
  // Bytes put in front of an archive whose offsets do not count them (a stub added later).
  const std::int64_t shift = cdStart - cdOffset;
  if (cdStart < 0 || shift < 0) return false;

  std::vector<std::uint8_t> cd(cdSize);
  if (s.Seek(cdStart, TSeekOrigin::soBegin) < 0 || (cdSize && !s.ReadExact(cd.data(), cd.size())))
    return false;
  std::size_t p = 0;
  members.reserve(entries);
  for (unsigned k = 0; k < entries; ++k) {
    if (p + kCentralHeaderSize > cd.size() || ReadLe32(&cd[p]) != kCentralSig) return false;
    const std::uint8_t* c = &cd[p];
    const std::size_t n = ReadLe16(c + 28), m = ReadLe16(c + 30), k2 = ReadLe16(c + 32);
    const std::size_t recLen = kCentralHeaderSize + n + m + k2;
    if (p + recLen > cd.size()) return false;
    const std::uint16_t flags = ReadLe16(c + 8);
    const std::uint32_t crc = ReadLe32(c + 16);
    const std::uint32_t packed = ReadLe32(c + 20);
    const std::uint32_t unpacked = ReadLe32(c + 24);
    const std::uint32_t offset = ReadLe32(c + 42);
    if (ReadLe16(c + 34) != 0 || packed == 0xFFFFFFFFu || unpacked == 0xFFFFFFFFu ||
        offset == 0xFFFFFFFFu)
      return false;
    for (std::size_t q = 0; q + 4 <= m;) {
      const std::uint8_t* x = c + kCentralHeaderSize + n + q;
      if (ReadLe16(x) == kZip64ExtraId) return false;
      q += 4 + ReadLe16(x + 2);
    }

    TOldMember member;
    member.Central.assign(c, c + recLen);
    member.SpanStart = static_cast<std::int64_t>(offset) + shift;
    std::uint8_t local[kLocalHeaderSize];
    if (member.SpanStart + static_cast<std::int64_t>(kLocalHeaderSize) > cdStart ||
        s.Seek(member.SpanStart, TSeekOrigin::soBegin) < 0 || !s.ReadExact(local, sizeof local) ||
        ReadLe32(local) != kLocalSig)
      return false;
    const std::int64_t dataEnd = member.SpanStart + static_cast<std::int64_t>(kLocalHeaderSize) +
                                 ReadLe16(local + 26) + ReadLe16(local + 28) + packed;
    std::int64_t spanEnd = dataEnd;
    if (flags & kFlagDescriptor) {
      // The descriptor is 16 bytes with its signature or 12 without; its values must be the
      // member's, or the member's end is not known.
      std::uint8_t d[16] = {};
      const std::int64_t avail = std::min<std::int64_t>(16, cdStart - dataEnd);
      if (avail < 12 || s.Seek(dataEnd, TSeekOrigin::soBegin) < 0 ||
          !s.ReadExact(d, static_cast<std::size_t>(avail)))
        return false;
      auto matches = [&](const std::uint8_t* v) {
        return ReadLe32(v) == crc && ReadLe32(v + 4) == packed && ReadLe32(v + 8) == unpacked;
      };
      if (avail == 16 && ReadLe32(d) == kDescriptorSig && matches(d + 4))
        spanEnd += 16;
      else if (matches(d))
        spanEnd += 12;
      else
        return false;
    }
    if (spanEnd > cdStart) return false;
    member.SpanLength = spanEnd - member.SpanStart;
    const std::string_view rawName(reinterpret_cast<const char*>(c + kCentralHeaderSize), n);
    ConvertMemberName(rawName, (flags & kFlagUtf8) ? TNameCoding::ncUtf8 : TNameCoding::ncUtf8OrOem,
                      member.Name);
    members.push_back(std::move(member));
    p += recLen;
  }
  if (p != cd.size()) return false;

  // Every member must own its bytes: two records pointing into one span cannot both be kept.
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  for (const TOldMember& m : members) spans.emplace_back(m.SpanStart, m.SpanStart + m.SpanLength);
  std::sort(spans.begin(), spans.end());
  for (std::size_t i = 1; i < spans.size(); ++i)
    if (spans[i].first < spans[i - 1].second) return false;
  prefix = spans.empty() ? cdStart : spans.front().first;
  comment.assign(reinterpret_cast<const char*>(end + kEndRecordSize), ReadLe16(end + 20));
  return true;
}

void TZip::ReadArchiveDirectory() {
  std::vector<TOldMember> members;
  std::int64_t prefix = 0;
  if (!ReadLayout(old_, members, prefix, comment_)) {
    comment_.clear();
    RaiseError(ArchiveFile(), "", "0", kErrBadFileHeader);
  }
  // A self-extractor stub in front of the first member goes over unchanged.
  if (prefix > 0) CopyOld(0, prefix);
  for (TOldMember& m : members) {
    if (Switch == TSwitch::swDelete && IsSelected(m.Name, false)) {
      ++deleted_;
      continue;
    }
    TCompEntry e;
    e.Name = m.Name;
    e.Head.StoredName = m.Name;
    e.Head.State = TEntryState::esKeep;
    e.Head.Size = ReadLe32(m.Central.data() + 24);
    e.Head.Date = ReadLe32(m.Central.data() + 12);
    e.Head.Attributes = ReadLe32(m.Central.data() + 38);
    e.Head.HeaderOffset = m.SpanStart;
    e.Head.SpanLength = m.SpanLength;
    e.Head.Header = std::move(m.Central);
    totalBytes_ += m.SpanLength;
    entries_.push_back(std::move(e));
  }
}

// ---- Writing ----

void TZip::WriteOut(const std::uint8_t* data, std::size_t count) {
  if (count == 0) return;
  outBuffer_.assign(data, data + count);
  try {
    WriteEncryptedBlock(temp_.get(), false, count, kCrcNone, false, outBuffer_.data());
  } catch (const E_RAISE&) {
    RaiseError(temp_->FileName(), "", "0", kErrWritingFile);
  }
}

void TZip::CopyOld(std::int64_t from, std::int64_t count) {
  if (old_.Seek(from, TSeekOrigin::soBegin) != from)
    RaiseError(ArchiveFile(), "", "0", kErrSeek);
  ioBuffer_.resize(kBlockSize);
  std::int64_t done = 0;
  while (done < count) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - done, kBlockSize));
    if (ReadBlock(&old_, want, kCrcNone, false, ioBuffer_.data()) != static_cast<std::int64_t>(want))
      RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
    WriteOut(ioBuffer_.data(), want);
    done += static_cast<std::int64_t>(want);
    remainingBytes_ -= static_cast<std::int64_t>(want);
    EntryProgress(done, count);
    if (Cancel()) RaiseError(ArchiveFile(), "", "0", kErrUserAborted);
  }
}

void TZip::ProcessEntryList() {
  central_.clear();
  namesInArchive_.clear();
  if (AddFreshen && !AddUpdate) {
    // Freshen never brings in files the archive did not hold.
    for (TCompEntry& e : entries_) {
      if (e.Head.State != TEntryState::esNew) continue;
      e.Head.State = TEntryState::esSkipped;
      totalBytes_ -= e.Head.Size;
      remainingBytes_ -= e.Head.Size;
    }
  }
  TCompBase::ProcessEntryList();
}

void TZip::CopyKeptEntry(TCompEntry& e) {
  const std::int64_t offset = temp_->Position();
  if (offset < 0 || offset > kMax32 || central_.size() >= kMaxEntries)
    RaiseError(e.Head.StoredName, "too large for a ZIP archive", "0", kErrWritingFile);
  CopyOld(e.Head.HeaderOffset, e.Head.SpanLength);
  namesInArchive_.insert(FoldedName(ZipName(e.Head.StoredName)));
  TNewRecord record;
  record.Central = e.Head.Header;
  WriteLe32(record.Central.data() + 42, static_cast<std::uint32_t>(offset));
  central_.push_back(std::move(record));
}

void TZip::KeepOldOrSkip(TCompEntry& e) {
  // A replacement that did not happen leaves the old member where it was.
  if (!e.Head.Header.empty() && e.Head.SpanLength > 0) CopyKeptEntry(e);
  e.Head.State = TEntryState::esSkipped;
}

void TZip::CompressFile(TCompEntry& e) {
  const bool replacing = e.Head.State == TEntryState::esReplace;
  TFileStream in;
  if (!OpenSourceFile(e, in)) {
    if (replacing) KeepOldOrSkip(e);
    return;
  }
  std::string name = e.Head.StoredName;
  const int recNum = static_cast<int>(&e - entries_.data()) + 1;
  if (!BeginEntry(name, recNum)) {
    KeepOldOrSkip(e);
    return;
  }
  const std::string zipName = ZipName(name);
  if (zipName.empty() || zipName.size() > 0xFFFF) {
    ReportError(name, "", "0", kErrInvalidFileName);
    KeepOldOrSkip(e);
    return;
  }
  // Two files of one stored name (folders left out of the names) cannot both be members.
  if (!replacing && namesInArchive_.count(FoldedName(zipName))) {
    ReportError(name, "already in the archive", "0", kErrInvalidFileName);
    KeepOldOrSkip(e);
    return;
  }
  if (!WriteMember(e, in, zipName)) {
    KeepOldOrSkip(e);
    return;
  }
  e.Head.StoredName = name;
  namesInArchive_.insert(FoldedName(zipName));
  Fire(OnEnd, name, true);
}

bool TZip::WriteMember(TCompEntry& e, TFileStream& in, const std::string& zipName) {
  const std::int64_t headerPos = temp_->Position();
  const std::string& who = e.Name;
  // Gives up on this file: the output is cut back to where its header began.
  auto refuse = [&](int code, const char* why) {
    if (temp_->Seek(headerPos, TSeekOrigin::soBegin) != headerPos || !temp_->File().Truncate())
      RaiseError(temp_->FileName(), "", "0", kErrWritingFile);
    ReportError(who, why, "0", code);
    return false;
  };
  if (headerPos < 0 || headerPos > kMax32 || central_.size() >= kMaxEntries || e.Head.Size > kMax32)
    return refuse(kErrWritingFile, "too large for a ZIP archive");

  const bool empty = e.Head.Size == 0;
  const bool encrypt = !Password.empty() && !empty;
  std::uint16_t method = kMethodDeflated;
  if (CompressMethod() == TCompressMethod::cmStore ||
      (StoreAlreadyCompressedFiles && IsAlreadyCompressed(e.Name)))
    method = kMethodStored;
  std::uint16_t flags = IsAscii(zipName) ? 0 : kFlagUtf8;
  if (encrypt) flags |= kFlagEncrypted;
  const std::uint32_t dosDate = EntryDate(e.Head.Date);

  std::uint8_t local[kLocalHeaderSize] = {};
  auto fillLocal = [&](std::uint32_t crc, std::uint32_t packed, std::uint32_t unpacked) {
    WriteLe32(local, kLocalSig);
    WriteLe16(local + 4, kVersion);
    WriteLe16(local + 6, flags);
    WriteLe16(local + 8, method);
    WriteLe32(local + 10, dosDate);
    WriteLe32(local + 14, crc);
    WriteLe32(local + 18, packed);
    WriteLe32(local + 22, unpacked);
    WriteLe16(local + 26, static_cast<std::uint16_t>(zipName.size()));
    WriteLe16(local + 28, 0);
  };
  fillLocal(0, 0, static_cast<std::uint32_t>(e.Head.Size));
  WriteOut(local, sizeof local);
  WriteOut(reinterpret_cast<const std::uint8_t*>(zipName.data()), zipName.size());

  ioBuffer_.resize(kBlockSize);
  // Reads the next block of the file into ioBuffer_, updating the running CRC-32; -1 on a
  // read error.
  auto readBlock = [&]() -> std::int64_t {
    return ReadBlock(&in, kBlockSize, kCrc32, false, ioBuffer_.data());
  };

  std::uint32_t precomputedCrc = 0;
  std::int64_t packed = 0;
  if (encrypt) {
    // The encryption header carries the CRC's top bytes, so the CRC comes first.
    State.Crc32Register = 0xFFFFFFFFu;
    for (std::int64_t got; (got = readBlock()) != 0;) {
      if (got < 0) return refuse(kErrReadingFile, "");
      if (Cancel()) RaiseError(ArchiveFile(), "", "0", kErrUserAborted);
    }
    precomputedCrc = State.Crc32Register ^ 0xFFFFFFFFu;
    if (in.Seek(0, TSeekOrigin::soBegin) != 0) return refuse(kErrSeek, "");
    const auto header = State.Cipher.MakeCryptHeader(Password, precomputedCrc);
    WriteOut(header.data(), header.size());
    packed += static_cast<std::int64_t>(kCryptHeaderSize);
  }

  // Member data through the block layer (encrypting when asked); counts what went out.
  auto emit = [&](const std::uint8_t* data, std::size_t count) {
    outBuffer_.assign(data, data + count);
    try {
      WriteEncryptedBlock(temp_.get(), true, count, kCrcNone, encrypt, outBuffer_.data());
    } catch (const E_RAISE&) {
      RaiseError(temp_->FileName(), "", "0", kErrWritingFile);
    }
    packed += static_cast<std::int64_t>(count);
  };

  State.Crc32Register = 0xFFFFFFFFu;
  std::int64_t unpacked = 0;
  std::unique_ptr<DeflateCoder> coder;
  if (!empty && method == kMethodDeflated)
    coder = std::make_unique<DeflateCoder>(
        DeflateType(), [&](std::span<const std::uint8_t> out) { emit(out.data(), out.size()); },
        true);
  if (!empty) {
    for (std::int64_t got; (got = readBlock()) != 0;) {
      if (got < 0) return refuse(kErrReadingFile, "");
      unpacked += got;
      if (unpacked > kMax32) return refuse(kErrWritingFile, "too large for a ZIP archive");
      if (coder)
        coder->Write({ioBuffer_.data(), static_cast<std::size_t>(got)});
      else
        emit(ioBuffer_.data(), static_cast<std::size_t>(got));
      remainingBytes_ -= got;
      EntryProgress(unpacked, e.Head.Size);
      if (Cancel()) RaiseError(ArchiveFile(), "", "0", kErrUserAborted);
    }
    if (coder) {
      coder->Finish();
      if (coder->IsStored()) method = kMethodStored;
    }
  }
  const std::uint32_t crc = unpacked == 0 ? 0 : State.Crc32Register ^ 0xFFFFFFFFu;
  if (unpacked == 0) {
    // An empty file (or one emptied since it was found) is stored plainly.
    if (encrypt) return refuse(kErrReadingFile, "file changed while it was read");
    method = kMethodStored;
    flags &= kFlagUtf8;
    packed = 0;
  }
  if (encrypt && crc != precomputedCrc) return refuse(kErrReadingFile, "file changed while it was read");
  if (packed > kMax32) return refuse(kErrWritingFile, "too large for a ZIP archive");
  if (method == kMethodDeflated) flags |= LevelFlags(DeflateType());

  fillLocal(crc, static_cast<std::uint32_t>(packed), static_cast<std::uint32_t>(unpacked));
  const std::int64_t endPos = temp_->Position();
  if (temp_->Seek(headerPos, TSeekOrigin::soBegin) != headerPos)
    RaiseError(temp_->FileName(), "", "0", kErrSeek);
  WriteOut(local, sizeof local);
  if (temp_->Seek(endPos, TSeekOrigin::soBegin) != endPos)
    RaiseError(temp_->FileName(), "", "0", kErrSeek);

  TNewRecord record;
  record.Central.resize(kCentralHeaderSize + zipName.size());
  std::uint8_t* c = record.Central.data();
  WriteLe32(c, kCentralSig);
  WriteLe16(c + 4, kVersion);  // made by: version 2.0 on a DOS host (attributes are DOS bits)
  WriteLe16(c + 6, kVersion);
  std::copy(local + 6, local + 28, c + 8);  // flags, method, date, CRC, sizes, name length
  WriteLe16(c + 30, 0);
  WriteLe16(c + 32, 0);
  WriteLe16(c + 34, 0);
  WriteLe16(c + 36, 1);
  WriteLe32(c + 38, e.Head.Attributes & 0xFF);
  WriteLe32(c + 42, static_cast<std::uint32_t>(headerPos));
  std::copy(zipName.begin(), zipName.end(), c + kCentralHeaderSize);
  central_.push_back(std::move(record));
  e.Head.Size = unpacked;
  return true;
}

void TZip::CommitArchive() {
  if (!temp_ || !ShouldReplace()) {
    TCompBase::CommitArchive();
    return;
  }
  const std::int64_t cdStart = temp_->Position();
  for (const TNewRecord& r : central_) WriteOut(r.Central.data(), r.Central.size());
  const std::int64_t cdEnd = temp_->Position();
  if (cdStart < 0 || cdEnd - cdStart > kMax32 || cdStart > kMax32 || central_.size() > kMaxEntries)
    RaiseError(ArchiveFile(), "too large for a ZIP archive", "0", kErrWritingFile);
  std::vector<std::uint8_t> end(kEndRecordSize + comment_.size());
  WriteLe32(end.data(), kEndSig);
  WriteLe16(end.data() + 8, static_cast<std::uint16_t>(central_.size()));
  WriteLe16(end.data() + 10, static_cast<std::uint16_t>(central_.size()));
  WriteLe32(end.data() + 12, static_cast<std::uint32_t>(cdEnd - cdStart));
  WriteLe32(end.data() + 16, static_cast<std::uint32_t>(cdStart));
  WriteLe16(end.data() + 20, static_cast<std::uint16_t>(comment_.size()));
  std::copy(comment_.begin(), comment_.end(), end.begin() + kEndRecordSize);
  WriteOut(end.data(), end.size());
  if (!temp_->File().Flush()) RaiseError(temp_->FileName(), "", "0", kErrWritingFile);
  TCompBase::CommitArchive();
}

// ---- Reporting and listing ----

void TZip::FillEntry(const std::vector<std::uint8_t>& central) {
  const std::uint8_t* c = central.data();
  const std::uint16_t flags = ReadLe16(c + 8);
  const std::uint16_t method = ReadLe16(c + 10);
  const std::size_t n = ReadLe16(c + 28);
  TArchiveEntry& en = Entry;
  en = TArchiveEntry{};
  ConvertMemberName(std::string_view(reinterpret_cast<const char*>(c + kCentralHeaderSize), n),
                    (flags & kFlagUtf8) ? TNameCoding::ncUtf8 : TNameCoding::ncUtf8OrOem,
                    en.FileName);
  en.PackedSize = ReadLe32(c + 20);
  en.UnpackedSize = ReadLe32(c + 24);
  en.Ratio = en.UnpackedSize > 0
                 ? static_cast<std::int32_t>(100 - std::min<std::int64_t>(
                                                       100, en.PackedSize * 100 / en.UnpackedSize))
                 : 0;
  en.CRC = ReadLe32(c + 16);
  en.DateTime = DosDateToDateTime(ReadLe32(c + 12));
  en.MethodCode = method;
  en.ExternalAttr = ReadLe32(c + 38);
  en.MethodName = MethodName(OwnType(), method, flags, en.ExternalAttr);
  en.Encrypted = (flags & kFlagEncrypted) != 0;
  en.VersionMadeBy = ReadLe16(c + 4);
  en.VersionNeeded = ReadLe16(c + 6);
  en.InternalAttr = ReadLe16(c + 36);
  CurrentFileName = en.FileName;
  TotalPackedSize += en.PackedSize;
  TotalUnpackedSize += en.UnpackedSize;
}

void TZip::ReportNewEntries() {
  if (!OnRead || !Replaced()) return;
  TotalPackedSize = TotalUnpackedSize = 0;
  int index = 0;
  for (const TNewRecord& r : central_) {
    FillEntry(r.Central);
    Count = ++index;
    Fire(OnRead, static_cast<std::int64_t>(ReadLe32(r.Central.data() + 42)), index);
  }
}

bool TZip::ReadFirstHeader(std::string& name) {
  std::int64_t prefix = 0;
  listIndex_ = 0;
  TotalPackedSize = TotalUnpackedSize = 0;
  if (!ReadLayout(old_, listing_, prefix, comment_)) {
    listing_.clear();
    ReportError(ArchiveFile(), "", "0", kErrBadFileHeader);
    return false;
  }
  if (listing_.empty()) return false;
  name = listing_[0].Name;
  return true;
}

bool TZip::ReadNextHeader(std::string& name) {
  if (++listIndex_ >= listing_.size()) return false;
  name = listing_[listIndex_].Name;
  return true;
}

void TZip::ReadEntry(const std::string&) {
  if (listIndex_ < listing_.size()) FillEntry(listing_[listIndex_].Central);
}

}  // namespace engine
