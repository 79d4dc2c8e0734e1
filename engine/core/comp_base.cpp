// The compression frame.
#include "engine/core/comp_base.h"

#include <algorithm>
#include <cctype>

#include "engine/core/dates.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/yield.h"

namespace engine {

namespace {
constexpr std::size_t kBlockSize = 32768;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string ToBackslashes(std::string s) {
  for (char& c : s)
    if (platform::IsPathSeparator(c)) c = '\\';
  return s;
}

std::uint32_t UnixToDos(std::int64_t seconds) {
  return DateTimeToDosDate(UnixToDateTime(seconds));
}

// A path made absolute with "." and ".." resolved, for telling whether two names are one file.
std::string NormalisedPath(std::string_view path) {
  std::string full = platform::ToNativeSeparators(path);
  if (!platform::IsAbsolute(full)) full = platform::JoinPath(platform::CurrentDirectory(), full);
  std::vector<std::string> parts;
  std::string part, out;
  std::size_t i = 0;
  while (i < full.size() && !platform::IsPathSeparator(full[i])) out += full[i++];  // "" or "C:"
  for (; i <= full.size(); ++i) {
    if (i < full.size() && !platform::IsPathSeparator(full[i])) {
      part += full[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  for (const std::string& p : parts) out += "/" + p;
  return platform::kIsWindows ? Lower(out) : out;
}
}  // namespace

// ---- TztvFileAttr ----

void TztvFileAttr::SetFileAttr(std::uint32_t v) {
  if (v == 0 || (v & 0x3F) == 0x3F || (v & 0x80)) {
    anyFile_ = true;
  } else {
    anyFile_ = false;
    flags_ = v & kAnyFileMask;
  }
  Recompute();
}

void TztvFileAttr::SetFlag(std::uint32_t bit, bool on) {
  flags_ = on ? (flags_ | bit) : (flags_ & ~bit);
  if ((flags_ & kAnyFileMask) == kAnyFileMask || (flags_ & kAnyFileMask) == 0)
    anyFile_ = true;
  else if (!on)
    anyFile_ = false;
  Recompute();
}

void TztvFileAttr::Recompute() {
  mask_ = anyFile_ ? kAnyFileMask : (flags_ & kAnyFileMask);
  flags_ = mask_;
}

// ---- TCompBase ----

TCompBase::TCompBase() = default;

void TCompBase::SetCompressMethod(TCompressMethod method) {
  if (SupportsMethod(method)) compressMethod_ = method;
}

int TCompBase::DeflateLevel() const {
  switch (deflateType_) {
    case TDeflateType::dtDeflateS: return 1;
    case TDeflateType::dtDeflateF: return 2;
    case TDeflateType::dtDeflateN: return 7;
    case TDeflateType::dtDeflateX: return 9;
  }
  return 7;
}

void TCompBase::SetDefaultExt(std::string_view value) {
  const std::string previous = defaultExt_;
  if (value.empty() || value == ".") {
    defaultExt_ = StandardExt();
  } else {
    std::string ext(value);
    if (ext.front() != '.') ext.insert(ext.begin(), '.');
    defaultExt_ = Lower(ext.substr(0, 4));
  }
  if (ArchiveFile().empty()) return;
  const std::string ext = platform::ExtensionPart(ArchiveFile());
  if (ext.empty()) {
    archiveFile_ += defaultExt_;
  } else if (EqualNoCase(ext, previous)) {
    archiveFile_.resize(archiveFile_.size() - ext.size());
    archiveFile_ += defaultExt_;
  }
}

std::string TCompBase::DefaultDir() {
  if (defaultDir_.empty()) defaultDir_ = AppendSlash(platform::CurrentDirectory());
  return defaultDir_;
}

void TCompBase::SetDefaultDir(std::string_view value) {
  std::string v(value);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.erase(v.begin());
  if (!v.empty() && platform::DirectoryExists(v))
    defaultDir_ = AppendSlash(v);
  else
    defaultDir_ = AppendSlash(platform::CurrentDirectory());
}

int TCompBase::Compress() {
  if (ArchiveFile().empty()) return 0;
  replaced_ = false;
  keptTemp_.clear();
  moved_.clear();
  addedSources_.clear();
  SetCurrentComponent(this);
  SetCancel(false);
  latestDate_ = 0;
  written_ = deleted_ = 0;
  totalBytes_ = remainingBytes_ = 0;
  baseDir_.clear();
  ProgressProc = [this] {
    platform::YieldToHost();
    Fire(OnProgress, ProgressByFile, ProgressByArchive);
  };
  if (defaultExt_.empty()) defaultExt_ = StandardExt();
  if (platform::ExtensionPart(ArchiveFile()).empty() && !defaultExt_.empty())
    SetArchiveFile(ArchiveFile() + defaultExt_);
  InputMode = 2;
  OutputMode = 2;
  UpdateArchive();
  return Switch == TSwitch::swDelete ? deleted_ : written_;
}

void TCompBase::EnsureWritable() {
  if (IsPlainWritableFile(ArchiveFile())) return;
  bool writeToFile = false;
  if (!OnNonWriteableArchive) RaiseError(ArchiveFile(), "", "0", kErrWritingFile);
  Fire(OnNonWriteableArchive, ArchiveFile(), writeToFile);
  if (!platform::SetFileAttributes(ArchiveFile(), platform::kAttrArchive))
    RaiseError(ArchiveFile(), "", "0", kErrWritingFile);
}

void TCompBase::UpdateArchive() {
  archiveExisted_ = platform::FileExists(ArchiveFile());
  if (Switch == TSwitch::swRead && archiveExisted_) {
    ListArchive();
    return;
  }
  if (!archiveExisted_ && Switch == TSwitch::swDelete)
    RaiseError(ArchiveFile(), "", "0", kErrNothingToDo);
  if (archiveExisted_) EnsureWritable();

  // The new archive is built beside the old one, so that replacing it is one rename.
  const std::string archiveDir = platform::DirectoryPart(ArchiveFile());
  try {
    temp_ = std::make_unique<TTempFileStream>(archiveDir.empty() ? "." : archiveDir);
  } catch (const EBase&) {
    temp_ = std::make_unique<TTempFileStream>(TempDir());
  }
  if (archiveExisted_ &&
      !old_.Open(ArchiveFile(), platform::TFileAccess::faRead, platform::TShareMode::smDenyWrite)) {
    temp_.reset();
    RaiseError(ArchiveFile(), "", "0", kErrOpeningFile);
  }
  ArchiveStream = archiveExisted_ ? &old_ : nullptr;

  Fire(OnActivate);
  try {
    // A self-extractor stub in front of the archive data goes over unchanged. (For the ZIP
    // family the start offset names the central directory; the ZIP writer keeps its stub.)
    if (archiveExisted_ && StartOffset() > 1 && !IsZipFamily(ArcType())) {
      old_.Seek(0, TSeekOrigin::soBegin);
      CopyEntryData(old_, *temp_, StartOffset() - 1);
    }
    if (archiveExisted_) {
      if (Switch == TSwitch::swDelete) excludeSpec_.clear();
      ReadArchiveDirectory();
    }
    if (Switch != TSwitch::swDelete) GatherFiles();
    remainingBytes_ = totalBytes_;
    if (OnElapsedTime) timer_.Start();
    ProcessEntryList();
    if (timer_.Running()) timer_.Stop();
    if (Cancel()) throw E_RAISE(kErrUserAborted, ArchiveFile());
    CommitArchive();
    ReportNewEntries();
    FinishArchive();
  } catch (const EBase&) {
    // Reported where raised. The old archive is untouched: the temporary file goes away.
  }
  if (old_.IsOpen()) old_.Close();
  ArchiveStream = nullptr;
  temp_.reset();
  entries_.clear();

  if (Switch == TSwitch::swMove && replaced_) DeleteMovedSources();
  Fire(OnDeactivate);
  if (OnElapsedTime) {
    Progress(0, 0, 0, 0);
    if (timer_.Running()) timer_.Stop();
    Fire(OnElapsedTime, timer_.Result());
  }
}

void TCompBase::ListArchive() {
  if (!OnRead) return;
  if (!old_.Open(ArchiveFile(), platform::TFileAccess::faRead, platform::TShareMode::smDenyNone)) {
    ReportError(ArchiveFile(), "", "0", kErrReadingFile);
    return;
  }
  ArchiveStream = &old_;
  int count = 0;
  std::string name;
  try {
    if (ReadFirstHeader(name)) {
      do {
        ReadEntry(name);
        ++count;
        Fire(OnRead, old_.Position(), count);
      } while (ReadNextHeader(name));
    }
  } catch (const EBase&) {
  }
  old_.Close();
  ArchiveStream = nullptr;
  written_ = count;
}

std::string TCompBase::ExpandSpec(const std::string& spec) {
  std::string s = platform::ToNativeSeparators(spec);
  if (!platform::IsAbsolute(s)) s = DefaultDir() + s;
  return s;
}

void TCompBase::GatherFiles() {
  for (const std::string& spec : FileSpec()) {
    platform::YieldToHost();
    if (Cancel()) return;
    const std::string full = ExpandSpec(spec);
    baseDir_ = AppendSlash(platform::DirectoryPart(full));
    const std::string pattern = platform::FileNamePart(full);
    GatherIn(baseDir_, pattern.empty() ? std::string("*.*") : pattern);
  }
}

void TCompBase::GatherIn(const std::string& dir, const std::string& pattern) {
  auto found = platform::FindFiles(dir, pattern);
  std::sort(found.begin(), found.end(),
            [](const platform::TFindEntry& a, const platform::TFindEntry& b) { return a.Name < b.Name; });
  for (const auto& f : found) {
    platform::YieldToHost();
    if (Cancel()) return;
    if (f.IsDirectory() || !AttributeAccepted(f.Attributes)) continue;
    const std::string full = dir + f.Name;
    // The archive being rewritten and the new one being built are never added to it.
    if (IsOwnFile(full)) continue;
    const std::string stored = BuildStoredName(full);
    if (stored.empty() || stored.front() == '.' || IsExcluded(stored)) continue;
    const std::uint32_t dos = UnixToDos(f.ModTime);
    latestDate_ = std::max(latestDate_, dos);
    currentStoredName_ = stored;
    AddEntry(full, f.Size, f.Attributes, dos);
  }
  if (!RecurseDirs) return;
  auto dirs = platform::FindFiles(dir, "*");
  std::sort(dirs.begin(), dirs.end(),
            [](const platform::TFindEntry& a, const platform::TFindEntry& b) { return a.Name < b.Name; });
  for (const auto& d : dirs) {
    if (!d.IsDirectory() || d.Name.empty() || d.Name.front() == '.') continue;
    const std::string sub = dir + d.Name;
    // Never descend through a link: it could lead outside the tree or round in a circle.
    if (platform::IsSymlinkOrReparse(sub)) continue;
    GatherIn(AppendSlash(sub), pattern);
    if (Cancel()) return;
  }
}

bool TCompBase::IsOwnFile(const std::string& fullName) const {
  const std::string name = NormalisedPath(fullName);
  return name == NormalisedPath(ArchiveFile()) || (temp_ && name == NormalisedPath(temp_->FileName()));
}

bool TCompBase::AttributeAccepted(std::uint32_t a) const {
  if (a & TztvFileAttr::kDirectory) return false;
  struct { std::uint32_t bit; } const bits[] = {{TztvFileAttr::kArchive}, {TztvFileAttr::kReadOnly},
                                                {TztvFileAttr::kHidden}, {TztvFileAttr::kSysFile},
                                                {TztvFileAttr::kCompressed}, {TztvFileAttr::kTemporary}};
  for (const auto& b : bits)
    if ((a & b.bit) && !FileAttribute.Flag(b.bit)) return false;
  return true;
}

std::string TCompBase::BuildStoredName(std::string_view fullPath) const {
  const std::string path = ToBackslashes(std::string(fullPath));
  switch (StoredDirNames) {
    case TStoredDirNames::sdNone: {
      const auto slash = path.rfind('\\');
      return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    case TStoredDirNames::sdAbsolute:
      return path;
    case TStoredDirNames::sdAbsoluteNoDrv: {
      const auto colon = path.find(':');
      return colon == std::string::npos ? path : path.substr(colon + 1);
    }
    case TStoredDirNames::sdRelative:
    case TStoredDirNames::sdRelativeStoreStart: {
      const std::string base = ToBackslashes(baseDir_);
      std::string below = path.compare(0, base.size(), base) == 0 ? path.substr(base.size()) : path;
      if (StoredDirNames == TStoredDirNames::sdRelative) return below;
      std::string trimmed = base;
      while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
      const auto slash = trimmed.rfind('\\');
      const std::string start = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
      if (start.empty() || start.back() == ':') return "\\" + below;
      return start + "\\" + below;
    }
  }
  return path;
}

bool TCompBase::IsExcluded(const std::string& storedName) {
  for (const std::string& entry : ExcludeSpec()) {
    // Patterns with a folder part compare with the stored path; plain name patterns with
    // any member of that name.
    const bool namesOnly = entry.find('\\') == std::string::npos;
    if (WildcardMatch(entry, storedName, namesOnly)) return true;
  }
  return false;
}

int TCompBase::AddEntry(const std::string& fullName, std::int64_t size,
                        std::uint32_t attributes, std::uint32_t dosDateTime) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    TCompEntry& e = entries_[i];
    const bool match = e.Head.State != TEntryState::esNew
                           ? EqualNoCase(e.Head.StoredName, currentStoredName_)
                           : e.Name == fullName;
    if (!match) continue;
    if (e.Head.State == TEntryState::esNew) return static_cast<int>(i);
    if (e.Head.Date == dosDateTime && e.Head.Size == size &&
        (e.Head.Attributes & 0x27) == (attributes & 0x27))
      return static_cast<int>(i);
    if (!OnReplaceFile) return static_cast<int>(i);
    bool replace = true;
    timer_.Pause();
    Fire(OnReplaceFile, e.Head.StoredName, fullName, DosDateToDateTime(e.Head.Date),
         DosDateToDateTime(dosDateTime), e.Head.Size, size, e.Head.Attributes, attributes, replace);
    timer_.Resume();
    if (replace) {
      totalBytes_ += size;
      e.Head.Size = size;
      e.Head.Date = dosDateTime;
      e.Head.Attributes = attributes;
      e.Head.State = TEntryState::esReplace;
      e.Name = fullName;
    }
    return static_cast<int>(i);
  }
  TCompEntry e;
  e.Name = fullName;
  e.Head.Size = size;
  e.Head.Date = dosDateTime;
  e.Head.Attributes = attributes;
  e.Head.StoredName = currentStoredName_;
  e.Head.State = TEntryState::esNew;
  entries_.push_back(std::move(e));
  totalBytes_ += size;
  return -1;
}

void TCompBase::ProcessEntryList() {
  written_ = 0;
  int recNum = 0;
  for (TCompEntry& e : entries_) {
    ++recNum;
    if (Cancel()) {
      e.Head.State = TEntryState::esSkipped;
      continue;
    }
    switch (e.Head.State) {
      case TEntryState::esNew:
      case TEntryState::esReplace: {
        CompressFile(e);
        if (e.Head.State != TEntryState::esSkipped) {
          ++written_;
          addedSources_.push_back(e.Name);
        }
        break;
      }
      case TEntryState::esKeep:
        CopyKeptEntry(e);
        break;
      case TEntryState::esSkipped:
        break;
    }
  }
}

void TCompBase::CopyKeptEntry(TCompEntry& e) {
  if (old_.Seek(e.Head.HeaderOffset, TSeekOrigin::soBegin) != e.Head.HeaderOffset)
    RaiseError(e.Head.StoredName, "", "0", kErrSeek);
  if (CopyEntryData(old_, *temp_, e.Head.SpanLength) != e.Head.SpanLength)
    RaiseError(e.Head.StoredName, "", "0", kErrWritingFile);
}

std::int64_t TCompBase::CopyEntryData(IStream& from, IStream& to, std::int64_t count) {
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(count, kBlockSize)) + 1);
  std::int64_t done = 0;
  while (done < count) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - done, kBlockSize));
    const std::int64_t got = ReadBlock(&from, want, kCrcNone, false, buf.data());
    if (got != static_cast<std::int64_t>(want)) RaiseError(ArchiveFile(), "", "0", kErrWritingFile);
    try {
      WriteEncryptedBlock(&to, false, want, kCrcNone, false, buf.data());
    } catch (const E_RAISE&) {
      // The block writer throws without reporting; a full disk must not end the run silently.
      RaiseError(ArchiveFile(), "", "0", kErrWritingFile);
    }
    done += got;
    remainingBytes_ -= got;
    EntryProgress(done, count);
    if (Cancel()) RaiseError(ArchiveFile(), "", "0", kErrUserAborted);
  }
  return done;
}

bool TCompBase::BeginEntry(std::string& name, int recNum) {
  bool extract = true;
  timer_.Pause();
  if (OnProgress) {
    ProgressByFile = 0;
    Fire(OnProgress, ProgressByFile, ProgressByArchive);
  }
  Fire(OnBegin, name, recNum, extract);
  if (extract && OnRenameCompressedFile) Fire(OnRenameCompressedFile, name);
  timer_.Resume();
  return extract;
}

bool TCompBase::OpenSourceFile(TCompEntry& entry, TFileStream& file) {
  if (file.Open(entry.Name, platform::TFileAccess::faRead, platform::TShareMode::smDenyNone))
    return true;
  entry.Head.State = TEntryState::esSkipped;
  totalBytes_ -= entry.Head.Size;
  remainingBytes_ -= entry.Head.Size;
  return false;
}

std::uint32_t TCompBase::EntryDate(std::uint32_t fileDate) const {
  switch (DateAttribute) {
    case TDateAttribute::daSysDate:
      return UnixToDos(platform::UnixTimeNow());
    case TDateAttribute::daMaxFileDate:
      return latestDate_;
    default:
      return fileDate;
  }
}

void TCompBase::EntryProgress(std::int64_t done, std::int64_t size) {
  Progress(done, size, totalBytes_, remainingBytes_);
}

void TCompBase::CommitArchive() {
  if (!temp_) return;
  if (!ShouldReplace()) {
    // Nothing changed: the old archive stays exactly as it was.
    return;
  }
  if (old_.IsOpen()) old_.Close();
  ArchiveStream = nullptr;
  const std::string tempName = temp_->FileName();
  if (temp_->CommitTo(ArchiveFile())) {
    replaced_ = true;
    return;
  }
  // The old archive is untouched; the new one is kept for the user and named.
  temp_->Commit();
  keptTemp_ = tempName;
  ReportError(tempName, "", "0", kErrWritingFile);
}

void TCompBase::DeleteMovedSources() {
  // Only the files that really went into the archive, and only now that it is in place.
  for (const std::string& file : addedSources_) {
    if (DeleteFileEx(file, DeleteOptions == TDeleteOptions::doAllowUndo)) moved_.push_back(file);
  }
}

}  // namespace engine
