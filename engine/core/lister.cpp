// The lister's frame: checks, the header walk common to every format, volumes and totals.
#include "engine/core/lister.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/yield.h"

namespace engine {

namespace {

// Volume prompts answered with a name that still does not exist are not repeated forever.
constexpr int kMaxVolumePrompts = 64;

std::unique_ptr<IDirReader> MakeDirReader(TArcType type) {
  using enum TArcType;
  switch (type) {
    case atZip: case atZipExe: case atZipMV: case atJar: return MakeZipDirReader();
    case atLha: case atLhaExe: case atLzh: case atLzhExe: return MakeLhaDirReader();
    case atArj: case atArjExe: return MakeArjDirReader();
    case atArc: case atArcExe: case atPak: case atPakExe: return MakeArcDirReader();
    case atZoo: return MakeZooDirReader();
    case atBh: case atBhExe: return MakeBhDirReader();
    case atHa: return MakeHaDirReader();
    case atCab: return MakeCabDirReader();
    case atRar: case atRarExe: return MakeRarDirReader();
    case atACE: return MakeAceDirReader();
    case atGZip: return MakeGzipDirReader();
    case atMsGZ: return MakeMsgzDirReader();
    case atTar: return MakeTarDirReader();
    case atUue: return MakeUueDirReader();
    default: return nullptr;
  }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

// ---- walk helpers ----

void TListWalk::ReadExact(std::int64_t pos, void* out, std::size_t count) {
  if (!In.ReadExactAt(pos, out, count))
    Lister.RaiseError(Lister.CurrentVolume(), "", "0", kErrReadingFile);
}

std::size_t TListWalk::ReadUpTo(std::int64_t pos, void* out, std::size_t count) {
  const std::int64_t n = In.ReadAt(pos, out, count);
  if (n < 0) Lister.RaiseError(Lister.CurrentVolume(), "", "0", kErrReadingFile);
  return static_cast<std::size_t>(n);
}

std::string TListWalk::ReadCString(std::int64_t pos, std::size_t maxLen, std::size_t& consumed) {
  std::string out;
  consumed = 0;
  char chunk[256];
  while (consumed < maxLen) {
    const std::size_t want = std::min(sizeof chunk, maxLen - consumed);
    const std::size_t got = ReadUpTo(pos + static_cast<std::int64_t>(consumed), chunk, want);
    if (got == 0) Lister.RaiseError(Lister.CurrentVolume(), "", "0", kErrReadingFile);
    const void* zero = std::memchr(chunk, 0, got);
    if (zero) {
      const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(zero) - chunk);
      out.append(chunk, n);
      consumed += n + 1;
      return out;
    }
    out.append(chunk, got);
    consumed += got;
  }
  return out;
}

std::int64_t FirstHeaderPos(std::int64_t startOffset) {
  return startOffset > 0 ? startOffset - 1 : 0;
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
    else return false;
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

void ConvertMemberName(std::string_view bytes, TNameCoding coding, std::string& out) {
  bool ascii = true;
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) {
    out.assign(bytes.data(), bytes.size());  // keeps the string's storage: no allocation
  } else {
    switch (coding) {
      case TNameCoding::ncAnsi:
        out = platform::AnsiToUtf8(bytes);
        break;
      case TNameCoding::ncUtf8:
      case TNameCoding::ncUtf8OrOem:
        if (IsValidUtf8(bytes)) out.assign(bytes.data(), bytes.size());
        else out = platform::OemToUtf8(bytes);
        break;
      case TNameCoding::ncOem:
        out = platform::OemToUtf8(bytes);
        break;
    }
  }
  std::replace(out.begin(), out.end(), '/', '\\');
}

// ---- TDivED ----

TDivED::TDivED() {
  SetZipCmntBufSize(32000);
}

void TDivED::ReportMember(TListWalk& walk, std::int64_t offset, bool counted, bool keepRatio) {
  if (counted) {
    ++Count;
    TotalPackedSize += Entry.PackedSize;
    TotalUnpackedSize += Entry.UnpackedSize;
  }
  if (!keepRatio) Entry.Ratio = CompressionRatio(Entry.PackedSize, Entry.UnpackedSize);
  walk.Reported = true;
  Fire(OnReadBegin);
  if (OnRead) OnRead(*this, offset, Count);
  Fire(OnReadEnd);
}

std::string TDivED::ResolveCaseInsensitive(const std::string& path) {
  if (path.empty() || platform::FileExists(path)) return path;
  const std::string dir = platform::DirectoryPart(path);
  const std::string name = platform::FileNamePart(path);
  for (const platform::TFindEntry& e : platform::FindFiles(dir.empty() ? "." : dir, "*")) {
    if (!e.IsDirectory() && EqualsNoCase(e.Name, name))
      return dir.empty() ? e.Name : platform::JoinPath(dir, e.Name);
  }
  return path;
}

bool TDivED::RequestNextVolume(std::string& name, int number) {
  if (number > 999) {
    ReportError(name, "", std::to_string(number), kErrMaxVolumes);
    return false;
  }
  if (name.empty()) {
    ReportError(name, "", std::to_string(number), kErrInvalidFileName);
    return false;
  }
  if (!OnNextVolume) return false;
  if (platform::DirectoryPart(name).empty())
    name = platform::JoinPath(platform::CurrentDirectory(), name);
  name = ResolveCaseInsensitive(name);
  bool exists = platform::FileExists(name);
  for (int prompt = 0; prompt < kMaxVolumePrompts; ++prompt) {
    bool cancel = true;
    timer_.Pause();
    OnNextVolume(*this, name, std::to_string(number), exists, cancel);
    timer_.Resume();
    if (cancel) return false;
    name = ResolveCaseInsensitive(name);
    if (platform::FileExists(name)) {
      SetVolumeNumber(VolumeNumber() + 1);
      return true;
    }
    exists = false;
  }
  return false;
}

bool TDivED::SwitchTo(TListWalk& walk, const std::string& path) {
  auto next = std::make_unique<TFileStream>();
  if (!next->Open(path, platform::TFileAccess::faRead, platform::TShareMode::smDenyWrite))
    RaiseError(path, "", std::to_string(VolumeNumber()), kErrReadingFile);
  const std::int64_t size = next->Size();
  if (size < 0) RaiseError(path, "", std::to_string(VolumeNumber()), kErrReadingFile);
  if (file_ && !file_->Close())
    RaiseError(volumeName_, "", std::to_string(VolumeNumber()), kErrClosingFile);
  file_ = std::move(next);
  volumeName_ = path;
  visited_.push_back(path);
  walk.In.Reset(file_.get());
  walk.Size = size;
  walk.End = size;
  ++walk.VolumeSerial;
  return true;
}

bool TDivED::OpenNextVolume(TListWalk& walk) {
  if (!OnNextVolume) {
    SetCancel(true);
    return false;
  }
  std::string name;
  // RAR 3 sets may name their volumes 'set.part01.rar', 'set.part02.rar', ...
  const std::string base = platform::FileNamePart(volumeName_);
  std::string lower = base;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto part = lower.rfind(".part");
  if ((ArcType() == TArcType::atRar || ArcType() == TArcType::atRarExe) &&
      part != std::string::npos && lower.size() > 4 &&
      lower.compare(lower.size() - 4, 4, ".rar") == 0 && part + 5 < lower.size() - 4) {
    const std::string digits = base.substr(part + 5, lower.size() - 4 - part - 5);
    if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        }) && digits.size() < 9) {
      std::string next = std::to_string(std::stol(digits) + 1);
      if (next.size() < digits.size()) next.insert(0, digits.size() - next.size(), '0');
      name = platform::JoinPath(platform::DirectoryPart(volumeName_),
                                base.substr(0, part + 5) + next + base.substr(lower.size() - 4));
    }
  }
  if (name.empty()) name = VolumeFileName(volumeName_, VolumeNumber());
  const int number = VolumeNumber();
  if (!RequestNextVolume(name, number)) {
    SetCancel(true);
    return false;
  }
  for (const std::string& seen : visited_)
    if (seen == name) {  // a set that names an earlier volume again would loop
      walk.Stop();
      return false;
    }
  return SwitchTo(walk, name);
}

bool TDivED::OpenNamedVolume(TListWalk& walk, const std::string& path,
                             const std::string& diskName) {
  std::string name = ResolveCaseInsensitive(path);
  for (const std::string& seen : visited_)
    if (EqualsNoCase(seen, name)) {
      walk.Stop();
      return false;
    }
  (void)diskName;
  if (!RequestNextVolume(name, VolumeNumber())) {
    if (OnNextVolume) SetCancel(true);
    walk.Stop();
    return false;
  }
  for (const std::string& seen : visited_)
    if (EqualsNoCase(seen, name)) {
      walk.Stop();
      return false;
    }
  return SwitchTo(walk, name);
}

void TDivED::ListWalk(TListWalk& walk) {
  std::unique_ptr<IDirReader> reader = MakeDirReader(ArcType());
  if (!reader) RaiseError(ArchiveFile(), "", "0", kErrUnknownFileType);
  walk.End = walk.Size;
  reader->Init(walk);
  // A header block may end right at the end of the file (a TAR without its closing blocks).
  while (walk.BlockSize > 0 && walk.Cur + static_cast<std::int64_t>(walk.BlockSize) <= walk.End &&
         !Cancel()) {
    platform::YieldToHost();
    walk.HeaderPos = walk.Cur;
    const std::size_t n = walk.ReadUpTo(walk.Cur, walk.Block, walk.BlockSize);
    if (n == 0) break;
    walk.BlockRead = n;
    walk.Cur += static_cast<std::int64_t>(n);
    const int serial = walk.VolumeSerial;
    reader->Step(walk);
    if (serial != walk.VolumeSerial || walk.Cur >= walk.End) {
      // A member whose data runs past the end of the file: the archive is truncated.
      if (serial == walk.VolumeSerial && walk.Cur > walk.End && !Cancel())
        ReportError(volumeName_, "", "0", kErrReadingFile);
      continue;
    }
    if (walk.Cur <= walk.HeaderPos) {
      // A next-header position that does not move forward would walk in circles.
      if (!walk.Reported) ReportError(ArchiveFile(), "", "0", kErrBadFileHeader);
      break;
    }
  }
}

int TDivED::Activate() {
  SetCurrentComponent(this);
  cancel_ = false;
  ProgressProc = nullptr;
  volumeName_ = ArchiveFile();
  visited_.clear();
  if (ArchiveFile().empty()) return 0;
  const std::int32_t volumeNumber = VolumeNumber();
  bool activated = false;
  int result = 1;
  try {
    using enum TArcType;
    if (!platform::FileExists(ArchiveFile())) RaiseError(ArchiveFile(), "", "0", kErrFileNotFound);
    if (!OnRead) RaiseError(ArchiveFile(), "OnRead", "0", kErrEventNotAssigned);
    const TArcType type = ArcType();
    if (type == atNA || type == atUnknown || type == atUnsupported)
      RaiseError(ArchiveFile(), "", "0", kErrUnknownFileType);
    if (type == atFileOpenErr) RaiseError(ArchiveFile(), "", "0", kErrFileNotFound);

    file_ = std::make_unique<TFileStream>();
    if (!file_->Open(ArchiveFile(), platform::TFileAccess::faRead,
                     platform::TShareMode::smDenyWrite))
      RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
    TListWalk walk(*this);
    walk.Size = file_->Size();
    if (walk.Size < 0) RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
    walk.In.Reset(file_.get());
    visited_.push_back(ArchiveFile());

    BeginOperation();
    activated = true;
    ListWalk(walk);
    if (OnTotals) {
      TotalRatio = CompressionRatio(TotalPackedSize, TotalUnpackedSize);
      OnTotals(*this, Count);
    }
  } catch (const E_RAISE&) {
    result = 0;
  }
  if (file_ && file_->IsOpen() && !file_->Close())
    ReportError(volumeName_, "", "0", kErrClosingFile);
  file_.reset();
  SetVolumeNumber(volumeNumber);
  if (activated) EndOperation();
  return result;
}

}  // namespace engine
