// TZipMaster's work without the libraries: listing the central directory, the code-page
// rule, renaming entries and writing the archive comment.
#include <algorithm>
#include <cctype>
#include <new>
#include <optional>

#include "engine/core/crc.h"
#include "engine/core/helpers.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/yield.h"
#include "zipbridge/zip_directory.h"
#include "zipbridge/zip_master.h"

namespace zipbridge {

namespace {

constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kDescriptorSig = 0x08074B50;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::size_t kMaxComment = 65535;

bool IsValidUtf8(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t before = pos;
    if (platform::DecodeUtf8(s, pos) == 0xFFFD && !(pos - before == 3 && s.substr(before, 3) == "\xEF\xBF\xBD"))
      return false;
  }
  return true;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string ToLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void Raise(int id) { throw EZipMaster(id, ZipMessageText(id)); }

// Writes through a platform file, raising `id` on a short write.
void WriteOrRaise(platform::File& f, const void* data, std::size_t n, int id) {
  if (n && !f.WriteAll(data, n)) Raise(id);
}

void CopyOrRaise(platform::File& from, platform::File& to, std::int64_t count, int readId,
                 std::vector<std::uint8_t>& buf) {
  buf.resize(65536);
  while (count > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, static_cast<std::int64_t>(buf.size())));
    if (!from.ReadExact(buf.data(), n)) Raise(readId);
    WriteOrRaise(to, buf.data(), n, kZmWriteFailed);
    count -= static_cast<std::int64_t>(n);
    platform::YieldToHost();
  }
}

// A temporary file beside `archive` (so that replacing the archive is one rename), else in
// `tempDir` or the system's temporary folder.
std::string MakeTempBeside(const std::string& archive, const std::string& tempDir) {
  std::string dir = platform::DirectoryPart(archive);
  if (dir.empty()) dir = platform::CurrentDirectory();
  if (auto name = platform::CreateTempFileName(dir, "zip")) return *name;
  if (auto name = platform::CreateTempFileName(tempDir.empty() ? platform::TempDirectory() : tempDir, "zip"))
    return *name;
  Raise(kZmTempFailed);
}

// Deletes the temporary file unless it was moved into place.
struct TTempGuard {
  std::string Path;
  ~TTempGuard() {
    if (!Path.empty()) platform::DeleteFile(Path);
  }
};

// Replaces `archive` by `temp` in one step, keeping the archive's date when `keepDate`.
void ReplaceArchive(TTempGuard& temp, const std::string& archive, bool keepDate) {
  const auto date = platform::FileModTime(archive);
  if (!platform::ReplaceFile(temp.Path, archive)) Raise(kZmWriteFailed);
  temp.Path.clear();
  if (keepDate && date) platform::SetFileModTime(archive, *date);
}

// The UTF-8 name of an Info-ZIP Unicode path extra field (0x7075, version 1), when it
// belongs to the stored name (its CRC-32 matches) and the name is not flagged UTF-8.
std::optional<std::string> UnicodePathOf(const TRawCentral& c) {
  if (Le16(c.Header + 8) & kFlagUtf8) return std::nullopt;
  const auto* x = reinterpret_cast<const std::uint8_t*>(c.Extra.data());
  std::size_t p = 0;
  while (p + 4 <= c.Extra.size()) {
    const std::size_t size = Le16(x + p + 2);
    if (p + 4 + size > c.Extra.size()) break;
    if (Le16(x + p) == 0x7075 && size > 5 && x[p + 4] == 1 &&
        Le32(x + p + 5) == engine::Crc32Of({reinterpret_cast<const std::uint8_t*>(c.Name.data()),
                                            c.Name.size()})) {
      std::string name(reinterpret_cast<const char*>(x + p + 9), size - 5);
      if (IsValidUtf8(name)) return name;
    }
    p += 4 + size;
  }
  return std::nullopt;
}

}  // namespace

// ---- Code pages ----

bool TZipMaster::UsesOem(std::uint8_t host, std::uint8_t version) const {
  if (CodePage == CodePageOpts::cpOEM) return true;
  if (host == 0 && CodePage == CodePageOpts::cpAuto) return true;
  return host == 6 || (host == 11 && version == 50);
}

std::string TZipMaster::FromArchive(std::string_view bytes, std::uint8_t host, std::uint8_t version,
                                    bool utf8) const {
  if (utf8 || IsAscii(bytes)) return std::string(bytes);
  if (UsesOem(host, version)) return platform::OemToUtf8(bytes);
  // Left as stored: names written as UTF-8 stay so, the rest is taken as ANSI.
  return IsValidUtf8(bytes) ? std::string(bytes) : platform::AnsiToUtf8(bytes);
}

std::string TZipMaster::ToArchive(std::string_view text, std::uint8_t host, std::uint8_t version,
                                  bool utf8) const {
  if (utf8 || IsAscii(text)) return std::string(text);
  if (UsesOem(host, version)) return platform::Utf8ToOem(text);
  return std::string(text);
}

std::string TZipMaster::CommentFromArchive(std::string_view bytes) const {
  if (IsAscii(bytes)) return std::string(bytes);
  if (CodePage != CodePageOpts::cpNone) return platform::OemToUtf8(bytes);
  return IsValidUtf8(bytes) ? std::string(bytes) : platform::AnsiToUtf8(bytes);
}

std::string TZipMaster::CommentToArchive(std::string_view text) const {
  if (IsAscii(text)) return std::string(text);
  if (CodePage != CodePageOpts::cpNone) return platform::Utf8ToOem(text);
  return std::string(text);
}

// ---- Listing ----

void TZipMaster::ClearListing() {
  entries_.clear();
  archiveComment_.clear();
  rawComment_.clear();
  spannedArchive_ = false;
  lastDiskNumber_ = 0;
  zipDataStart_ = centralDirOffset_ = endPos_ = endSize_ = 0;
  offsetsShifted_ = false;
}

void TZipMaster::List() {
  ClearListing();
  if (zipFileName_.empty() || !platform::FileExists(zipFileName_)) {
    if (OnDirUpdate) OnDirUpdate(*this);
    return;
  }
  try {
    TZipLayout z;
    try {
      z = ReadZipLayout(zipFileName_);
    } catch (const TLayoutError& e) {
      throw EZipMaster(e.Id, e.Arg.empty() ? ZipMessageText(e.Id) : ZipMessageFormat(e.Id, e.Arg));
    }
    spannedArchive_ = z.SpanSignature || z.ThisDisk != 0;
    lastDiskNumber_ = static_cast<int>(z.ThisDisk);
    rawComment_ = z.Comment;
    archiveComment_ = CommentFromArchive(z.Comment);
    endPos_ = z.EndPos;
    endSize_ = 22 + static_cast<std::int64_t>(z.Comment.size());
    centralDirOffset_ = z.CentralComputed;
    if (z.Garbage) SetError(kZmGarbage);
    if (z.Shifted) {
      offsetsShifted_ = true;
      SetError(kZmStructure);
    }
    int seq = 0;
    for (const TRawCentral& c : z.Entries) {
      ZipDirEntry e;
      const std::uint8_t* h = c.Header;
      e.MadeByVersion = h[4];
      e.HostVersionNo = h[5];
      e.VersionNeeded = Le16(h + 6);
      e.GeneralFlags = Le16(h + 8);
      e.CompressionMethod = Le16(h + 10);
      e.DosDateTime = Le32(h + 12);
      e.CRC32 = Le32(h + 16);
      e.PackedSize = c.PackedSize;
      e.UnpackedSize = c.UnpackedSize;
      e.FileNameLength = Le16(h + 28);
      e.ExtraFieldLength = Le16(h + 30);
      e.FileCommentLen = Le16(h + 32);
      e.StartOnDisk = c.Disk;
      e.IntFileAttrib = Le16(h + 36);
      e.ExtFileAttrib = Le32(h + 38);
      e.RelOffLocalHdr = c.LocalOffset;
      const bool utf8 = (e.GeneralFlags & kFlagUtf8) != 0;
      e.EntryName = UnicodePathOf(c) ? *UnicodePathOf(c)
                                     : FromArchive(c.Name, e.HostVersionNo, e.MadeByVersion, utf8);
      std::replace(e.EntryName.begin(), e.EntryName.end(), '/', '\\');
      e.EntryComment = FromArchive(c.Comment, e.HostVersionNo, e.MadeByVersion, utf8);
      e.IsEncrypted = (e.GeneralFlags & kFlagEncrypted) ? 1 : 0;
      entries_.push_back(std::move(e));
      if (OnNewName) OnNewName(*this, ++seq, entries_.back());
    }
    zipDataStart_ = z.DataStart;
  } catch (const EZipMaster& e) {
    ClearListing();
    zipFileName_.clear();
    lastErrorCode_ = e.Id;
    lastMessage_ = e.what();
    ReportMessage(0, lastMessage_);
  } catch (const std::bad_alloc&) {
    ClearListing();
    zipFileName_.clear();
    SetError(kZmNoMemory);
    ReportMessage(0, lastMessage_);
  } catch (const std::exception& e) {
    ClearListing();
    zipFileName_.clear();
    SetError(kZmListUnknown, e.what());
    ReportMessage(0, lastMessage_);
  }
  if (OnDirUpdate) OnDirUpdate(*this);
}

// ---- Renaming ----

int TZipMaster::Rename(const std::vector<ZipRenameRec>& renameList, std::uint32_t dateTime) {
  // Normalise: backslashes; folder records become prefixes ending in a backslash.
  std::vector<ZipRenameRec> recs;
  for (ZipRenameRec r : renameList) {
    std::replace(r.Source.begin(), r.Source.end(), '/', '\\');
    std::replace(r.Dest.begin(), r.Dest.end(), '/', '\\');
    const bool oldIsFile = !r.Source.empty() && r.Source.back() != '\\';
    if (oldIsFile) {
      if (r.Dest.empty() || r.Dest.back() == '\\') return -10;
    } else {
      const auto slash = r.Dest.rfind('\\');
      r.Dest = slash == std::string::npos ? std::string() : r.Dest.substr(0, slash + 1);
      if (r.Source.empty()) continue;
    }
    recs.push_back(std::move(r));
  }
  if (zipBusy_) return -7;
  zipBusy_ = true;
  int result = 0;
  try {
    result = RenameInto(recs, dateTime);
  } catch (const EZipMaster& e) {
    lastErrorCode_ = e.Id;
    lastMessage_ = e.what();
    ReportMessage(0, lastMessage_);
    result = -7;
  } catch (const std::bad_alloc&) {
    SetError(kZmNoMemory);
    ReportMessage(0, lastMessage_);
    result = -8;
  } catch (const std::exception& e) {
    SetError(kZmUnknownRename, e.what());
    ReportMessage(0, lastMessage_);
    result = -9;
  }
  zipBusy_ = false;
  if (result == 0) List();
  return result;
}

int TZipMaster::RenameInto(const std::vector<ZipRenameRec>& recs, std::uint32_t dateTime) {
  if (zipFileName_.empty() || !platform::FileExists(zipFileName_)) Raise(kZmInputMissing);
  TZipLayout z;
  try {
    z = ReadZipLayout(zipFileName_);
  } catch (const TLayoutError& e) {
    Raise(e.Id);
  }
  if (z.SpanSignature || z.ThisDisk != 0 || z.CentralDisk != 0) Raise(kZmRenameSpanned);
  const std::int64_t shift = z.CentralComputed - static_cast<std::int64_t>(z.CentralOffset);

  TTempGuard temp{MakeTempBeside(zipFileName_, TempDir)};
  platform::File out;
  if (!out.Open(temp.Path, platform::TFileAccess::faCreate)) Raise(kZmCreateFailed);
  platform::File in;
  if (!in.Open(zipFileName_, platform::TFileAccess::faRead, platform::TShareMode::smDenyWrite))
    Raise(kZmOpenFailed);
  std::vector<std::uint8_t> buf;
  if (in.Seek(0) != 0) Raise(kZmSeekInput);
  if (z.DataStart > 0) {
    try {
      CopyOrRaise(in, out, z.DataStart, kZmSfxHeaderCopy, buf);
    } catch (const EZipMaster&) {
      Raise(kZmSfxHeaderCopy);
    }
  }

  std::int64_t progressTotal = 0;
  for (const TRawCentral& c : z.Entries)
    progressTotal += static_cast<std::int64_t>(c.Name.size() + c.Extra.size() + c.PackedSize);
  if (OnProgress) {
    OnProgress(*this, ProgressType::TotalFiles2Process, "", static_cast<std::uint32_t>(z.Entries.size()));
    OnProgress(*this, ProgressType::TotalSize2Process, "",
               static_cast<std::uint32_t>(std::min<std::int64_t>(progressTotal, 0xFFFFFFFFll)));
  }

  struct TNewCentral {
    std::vector<std::uint8_t> Record;
  };
  std::vector<TNewCentral> central;
  for (const TRawCentral& c : z.Entries) {
    const std::uint16_t flagsC = Le16(c.Header + 8);
    const std::uint8_t host = c.Header[5], version = c.Header[4];
    const bool utf8 = (flagsC & kFlagUtf8) != 0;
    std::string name = FromArchive(c.Name, host, version, utf8);
    std::replace(name.begin(), name.end(), '/', '\\');
    const std::string oldName = name;
    std::uint32_t newDate = 0;
    for (const ZipRenameRec& r : recs) {
      if (r.Source.back() != '\\') {
        if (ToLower(r.Source) == ToLower(name)) {
          name = r.Dest;
          newDate = r.DateTime;
        }
      } else {
        const auto at = ToLower(name).find(ToLower(r.Source));
        if (at != std::string::npos) {
          name.replace(at, r.Source.size(), r.Dest);
          newDate = r.DateTime;
        }
      }
    }
    if (newDate == 0 && name != oldName) newDate = dateTime;
    const bool changed = name != oldName;
    std::string message = "Processing: " + oldName;

    // The local header.
    const std::int64_t localPos = static_cast<std::int64_t>(c.LocalOffset) + shift;
    std::uint8_t local[30];
    if (in.Seek(localPos) != localPos || !in.ReadExact(local, 30)) Raise(kZmReadLocal);
    if (Le32(local) != kLocalSig) Raise(kZmLocalSig);
    std::string localName(Le16(local + 26), '\0');
    if (!localName.empty() && !in.ReadExact(localName.data(), localName.size())) Raise(kZmReadLocalName);
    std::string storedName = c.Name;
    std::uint16_t flags = flagsC, localFlags = Le16(local + 6);
    if (changed) {
      std::string slashed = name;
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      storedName = ToArchive(slashed, host, version, utf8);
      if (!utf8 && !IsAscii(storedName) && !UsesOem(host, version)) {
        flags |= kFlagUtf8;
        localFlags |= kFlagUtf8;
      }
      if (storedName.size() > 0xFFFF) Raise(kZmWriteLocal);
      message += " renamed to: " + slashed;
    }
    if (OnMessage) ReportMessage(0, message);
    const std::int64_t newLocal = out.Tell();
    PutLe16(local + 6, localFlags);
    if (changed && newDate != 0) PutLe32(local + 10, newDate);
    PutLe16(local + 26, static_cast<std::uint16_t>(storedName.size()));
    WriteOrRaise(out, local, 30, kZmWriteLocal);
    WriteOrRaise(out, storedName.data(), storedName.size(), kZmWriteLocal);
    try {
      CopyOrRaise(in, out, Le16(local + 28), kZmReadLocalExtra, buf);
      CopyOrRaise(in, out, static_cast<std::int64_t>(c.PackedSize), kZmReadData, buf);
      if (flagsC & kFlagDescriptor) {
        // 12 bytes, or 16 with the signature (ZIP64 members: 8-byte sizes).
        const bool zip64 = c.PackedSize >= 0xFFFFFFFFu || c.UnpackedSize >= 0xFFFFFFFFu;
        std::uint8_t d[4] = {};
        const std::int64_t at = in.Tell();
        const bool signed4 = in.ReadExact(d, 4) && Le32(d) == kDescriptorSig;
        if (in.Seek(at) != at) Raise(kZmSeekInput);
        CopyOrRaise(in, out, (signed4 ? 4 : 0) + (zip64 ? 20 : 12), kZmReadDescriptor, buf);
      }
    } catch (const EZipMaster& e) {
      if (e.Id == kZmWriteFailed) Raise(kZmWriteLocal);
      throw;
    }

    // Its central record.
    TNewCentral nc;
    nc.Record.assign(c.Header, c.Header + 46);
    std::uint8_t* h = nc.Record.data();
    PutLe16(h + 8, flags);
    if (changed && newDate != 0) PutLe32(h + 12, newDate);
    PutLe16(h + 28, static_cast<std::uint16_t>(storedName.size()));
    PutLe16(h + 34, 0);
    std::string extra = c.Extra;
    if (Le32(c.Header + 42) == 0xFFFFFFFFu) {
      const std::int64_t field = Zip64OffsetField(extra, Le32(c.Header + 24) == 0xFFFFFFFFu,
                                                  Le32(c.Header + 20) == 0xFFFFFFFFu);
      if (field < 0) Raise(kZmReadCentralExtra);
      PutLe64(reinterpret_cast<std::uint8_t*>(extra.data()) + field, static_cast<std::uint64_t>(newLocal));
    } else {
      if (newLocal > 0xFFFFFFFEll) Raise(kZmWriteCentral);
      PutLe32(h + 42, static_cast<std::uint32_t>(newLocal));
    }
    nc.Record.insert(nc.Record.end(), storedName.begin(), storedName.end());
    nc.Record.insert(nc.Record.end(), extra.begin(), extra.end());
    nc.Record.insert(nc.Record.end(), c.Comment.begin(), c.Comment.end());
    central.push_back(std::move(nc));
    if (OnProgress) OnProgress(*this, ProgressType::ProgressUpdate, oldName,
                               static_cast<std::uint32_t>(c.Name.size() + c.Extra.size() + c.PackedSize));
    platform::YieldToHost();
    if (CancelRequested) throw EZipMaster(kZmCancelled, ZipMessageText(kZmCancelled), false);
  }

  const std::int64_t cdStart = out.Tell();
  for (const TNewCentral& nc : central) WriteOrRaise(out, nc.Record.data(), nc.Record.size(), kZmWriteCentral);
  const std::int64_t cdEnd = out.Tell();
  if (central.size() > 0xFFFF || cdStart > 0xFFFFFFFEll || cdEnd - cdStart > 0xFFFFFFFEll)
    Raise(kZmWriteEnd);
  std::uint8_t end[22] = {};
  PutLe32(end, 0x06054B50);
  PutLe16(end + 8, static_cast<std::uint16_t>(central.size()));
  PutLe16(end + 10, static_cast<std::uint16_t>(central.size()));
  PutLe32(end + 12, static_cast<std::uint32_t>(cdEnd - cdStart));
  PutLe32(end + 16, static_cast<std::uint32_t>(cdStart));
  PutLe16(end + 20, static_cast<std::uint16_t>(z.Comment.size()));
  WriteOrRaise(out, end, 22, kZmWriteEnd);
  WriteOrRaise(out, z.Comment.data(), z.Comment.size(), kZmReadZipComment);
  if (OnProgress) OnProgress(*this, ProgressType::EndOfBatch, "", 0);
  if (!out.Close()) Raise(kZmWriteFailed);
  in.Close();
  ReplaceArchive(temp, zipFileName_, true);
  return 0;
}

// ---- The archive comment ----

void TZipMaster::WriteArchiveComment(std::string_view text) {
  const std::string converted = CommentToArchive(text);
  try {
    // A longer comment does not fit the end record's 16-bit length.
    if (converted.size() > kMaxComment) Raise(kZmCommentTooLong);
    if (zipFileName_.empty()) Raise(kZmInputMissing);
    TZipLayout z;
    try {
      z = ReadZipLayout(zipFileName_, false);
    } catch (const TLayoutError& e) {
      Raise(e.Id == kZmOpenFailed ? kZmOpenFailed : kZmReadEnd);
    }
    platform::File in;
    if (!in.Open(zipFileName_, platform::TFileAccess::faRead, platform::TShareMode::smDenyWrite))
      Raise(kZmOpenFailed);
    std::uint8_t end[22];
    if (in.Seek(z.EndPos) != z.EndPos) Raise(kZmSeekInput);
    if (!in.ReadExact(end, 22) || Le32(end) != 0x06054B50) Raise(kZmReadEnd);
    // The archive is rewritten beside itself and replaced in one step: a failure leaves it
    // as it was.
    TTempGuard temp{MakeTempBeside(zipFileName_, TempDir)};
    platform::File out;
    if (!out.Open(temp.Path, platform::TFileAccess::faCreate)) Raise(kZmCreateFailed);
    std::vector<std::uint8_t> buf;
    if (in.Seek(0) != 0) Raise(kZmSeekInput);
    CopyOrRaise(in, out, z.EndPos, kZmSeekInput, buf);
    PutLe16(end + 20, static_cast<std::uint16_t>(converted.size()));
    WriteOrRaise(out, end, 22, kZmWriteEnd);
    WriteOrRaise(out, converted.data(), converted.size(), kZmWriteFailed);
    if (!out.Close()) Raise(kZmWriteFailed);
    in.Close();
    ReplaceArchive(temp, zipFileName_, false);
    rawComment_ = converted;
    archiveComment_ = CommentFromArchive(converted);
  } catch (const EZipMaster& e) {
    lastErrorCode_ = e.Id;
    lastMessage_ = e.what();
    ReportMessage(0, lastMessage_);
    return;
  }
  List();
}

}  // namespace zipbridge
