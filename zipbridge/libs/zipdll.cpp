// ZIPDLL: the ZIP compression library. Adds, updates, freshens, moves and deletes members
// with the program's own ZIP writer (members that stay are copied byte for byte) and
// reports only through the caller's callback.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/writers/zip_writer.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "zipbridge/libs/lib_callback.h"

namespace zipbridge::lib {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string ToBackslashes(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && !platform::IsPathSeparator(dir.back())) dir += platform::kPathSeparator;
  return dir;
}

// Every folder and the file name cut to 8.3 upper case, as DOS would store them.
std::string DosName(const std::string& stored) {
  std::string out;
  std::size_t start = 0;
  while (start <= stored.size()) {
    std::size_t end = stored.find('\\', start);
    if (end == std::string::npos) end = stored.size();
    std::string part = stored.substr(start, end - start);
    const auto dot = part.rfind('.');
    std::string stem = dot == std::string::npos ? part : part.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : part.substr(dot + 1);
    stem.erase(std::remove_if(stem.begin(), stem.end(), [](char c) { return c == '.' || c == ' '; }),
               stem.end());
    std::string dos = Upper(stem.substr(0, 8));
    if (!ext.empty()) {
      dos += '.';
      dos += Upper(ext.substr(0, 3));
    }
    if (!out.empty() || start > 0) out += '\\';
    out += dos;
    start = end + 1;
  }
  return out;
}

// The writer with the library's own gathering of files: stored names are taken relative to
// the request's base folder (never the process's current folder), and the request's
// attribute, suffix and name options apply.
class TLibZip : public engine::TZip {
 public:
  struct TFile {
    std::string Path;     // full path
    std::string Stored;   // stored name, "\" between folders
    std::int64_t Size = 0;
    std::uint32_t Attributes = 0;
    std::uint32_t DosDate = 0;
  };
  std::vector<TFile> Files;             // what the run offers to the writer
  std::vector<std::string> Suffixes;    // lower case, with the dot
  int Level = 9;
  std::vector<std::string> Added;       // full paths of the files written

 protected:
  void ProcessEntryList() override {
    for (const TFile& f : Files) {
      currentStoredName_ = f.Stored;
      latestDate_ = std::max(latestDate_, f.DosDate);
      const std::int64_t before = totalBytes_;
      AddEntry(f.Path, f.Size, f.Attributes, f.DosDate);
      remainingBytes_ += totalBytes_ - before;
    }
    engine::TZip::ProcessEntryList();
    for (const engine::TCompEntry& e : entries_)
      if (e.Head.State == engine::TEntryState::esNew || e.Head.State == engine::TEntryState::esReplace)
        Added.push_back(e.Name);
  }
  void CompressFile(engine::TCompEntry& e) override {
    const std::string ext = Lower(platform::ExtensionPart(e.Name));
    const bool store = Level == 0 || (!ext.empty() && std::find(Suffixes.begin(), Suffixes.end(),
                                                                ext) != Suffixes.end());
    SetCompressMethod(store ? engine::TCompressMethod::cmStore : engine::TCompressMethod::cmDeflate);
    engine::TZip::CompressFile(e);
  }
};

class TZipRun {
 public:
  explicit TZipRun(const TZipRequest& request)
      : req_(request), cb_(request.Callback, request.Window, request.Caller) {}
  std::int32_t Run();

 private:
  void Gather();
  void GatherIn(const std::string& dir, const std::string& pattern);
  bool Excluded(const std::string& stored, const std::string& name) const;
  std::string StoredNameOf(const std::string& full) const;
  std::string ErrorLine(int code, const std::string& fn, const std::string& msgEx) const;
  bool AskPassword(std::string& password);

  const TZipRequest& req_;
  TCallbackSender cb_;
  TLibZip zip_;
  std::string base_;  // with a trailing separator, or empty
  std::vector<std::string> excludes_;
  std::map<std::string, std::int64_t> sizes_;  // stored name -> size
  std::int64_t memberSize_ = 0, memberSent_ = 0;
};

std::string TZipRun::ErrorLine(int code, const std::string& fn, const std::string& msgEx) const {
  // "name: text (detail)", as the program's other messages read.
  std::string text(engine::ErrorText(code));
  if (text.empty()) text = "Error " + std::to_string(code);
  if (!msgEx.empty()) text += " (" + msgEx + ")";
  return fn.empty() ? text : fn + ": " + text;
}

std::string TZipRun::StoredNameOf(const std::string& full) const {
  std::string path = ToBackslashes(full);
  if (req_.JunkDirs) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  const std::string base = ToBackslashes(base_);
  const bool below = !base.empty() && path.size() > base.size() &&
                     (platform::kIsWindows ? Lower(path.substr(0, base.size())) == Lower(base)
                                           : path.compare(0, base.size(), base) == 0);
  if (below) return path.substr(base.size());
  // Outside the base folder: the path without its drive and root.
  if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
  const auto first = path.find_first_not_of('\\');
  return first == std::string::npos ? std::string() : path.substr(first);
}

bool TZipRun::Excluded(const std::string& stored, const std::string& name) const {
  for (const std::string& pattern : excludes_) {
    const bool namesOnly = pattern.find('\\') == std::string::npos;
    if (engine::WildcardMatch(pattern, namesOnly ? name : stored, namesOnly)) return true;
  }
  return false;
}

void TZipRun::GatherIn(const std::string& dir, const std::string& pattern) {
  auto found = platform::FindFiles(dir, pattern);
  std::sort(found.begin(), found.end(),
            [](const platform::TFindEntry& a, const platform::TFindEntry& b) { return a.Name < b.Name; });
  for (const auto& f : found) {
    if (f.IsDirectory()) continue;
    if (!req_.SystemFiles && (f.Attributes & (platform::kAttrHidden | platform::kAttrSystem)))
      continue;
    if (req_.ArchiveOnly && !(f.Attributes & platform::kAttrArchive)) continue;
    const std::string full = dir + f.Name;
    std::string stored = StoredNameOf(full);
    if (req_.ForceDos) stored = DosName(stored);
    if (stored.empty() || Excluded(stored, f.Name)) continue;
    const bool duplicate = std::any_of(zip_.Files.begin(), zip_.Files.end(),
                                       [&](const TLibZip::TFile& x) { return x.Path == full; });
    if (duplicate) continue;
    TLibZip::TFile file;
    file.Path = full;
    file.Stored = stored;
    file.Size = f.Size;
    file.Attributes = f.Attributes;
    file.DosDate = engine::DateTimeToDosDate(engine::UnixToDateTime(f.ModTime));
    sizes_[stored] = f.Size;
    zip_.Files.push_back(std::move(file));
  }
  if (req_.Recurse == 0) return;
  auto dirs = platform::FindFiles(dir, "*");
  std::sort(dirs.begin(), dirs.end(),
            [](const platform::TFindEntry& a, const platform::TFindEntry& b) { return a.Name < b.Name; });
  for (const auto& d : dirs) {
    if (!d.IsDirectory() || d.Name == "." || d.Name == "..") continue;
    if (!req_.SystemFiles && (d.Attributes & (platform::kAttrHidden | platform::kAttrSystem)))
      continue;
    const std::string sub = dir + d.Name;
    // Never through a link: it could lead out of the tree or round in a circle.
    if (platform::IsSymlinkOrReparse(sub)) continue;
    GatherIn(WithSeparator(sub), pattern);
  }
}

void TZipRun::Gather() {
  for (std::int32_t i = 0; req_.Specs && i < req_.SpecCount; ++i) {
    std::string spec = platform::ToNativeSeparators(RequestString(req_.Specs[i].FileSpec));
    if (spec.empty()) continue;
    if (!platform::IsAbsolute(spec)) {
      if (base_.empty()) {
        cb_.Message("No folder for the relative file specification: " + spec,
                    engine::kErrFileNotFound);
        continue;
      }
      spec = base_ + spec;
    }
    std::string dir, pattern;
    if (platform::DirectoryExists(spec)) {
      dir = WithSeparator(spec);
      pattern.assign(1, '*');
    } else {
      dir = WithSeparator(platform::DirectoryPart(spec));
      pattern = platform::FileNamePart(spec);
      if (pattern.empty()) pattern.assign(1, '*');
    }
    const std::size_t before = zip_.Files.size();
    GatherIn(dir, pattern);
    if (zip_.Files.size() == before && req_.Verbose)
      cb_.Message("Nothing matches " + spec);
  }
}

bool TZipRun::AskPassword(std::string& password) {
  const bool go = cb_.Send(caPassword, 1, 1, RequestString(req_.ArchiveName));
  const TZipCallbackRecord& r = cb_.Record();
  if (!go || !(r.ErrorCode & 1)) return go;
  password = RecordText(r).substr(0, kMaxLibraryPassword);
  return true;
}

std::int32_t TZipRun::Run() {
  const std::string archive = RequestString(req_.ArchiveName);
  base_ = RequestString(req_.BaseDir);
  if (!base_.empty()) base_ = WithSeparator(platform::ToNativeSeparators(base_));
  if (archive.empty()) {
    cb_.Message("No archive given", engine::kErrFileNotFound);
    cb_.Send(caEndOfBatch, 0, 0, "");
    return 0;
  }
  for (std::int32_t i = 0; req_.Excludes && i < req_.ExcludeCount; ++i) {
    const std::string e = ToBackslashes(RequestString(req_.Excludes[i]));
    if (!e.empty()) excludes_.push_back(e);
  }
  const bool deleting = req_.Delete != 0;
  TLibZip& z = zip_;
  z.SetArchiveFile(archive);
  z.SetDefaultExt(".zip");
  if (const std::string temp = RequestString(req_.TempDir); !temp.empty()) z.SetTempDir(temp);
  z.DeleteOptions = engine::TDeleteOptions::doFinal;
  z.StoreAlreadyCompressedFiles = false;
  z.Level = std::clamp(req_.Level, 0, 9);
  // The writer knows four deflate levels (1, 2, 7, 9); the ten levels map onto them.
  if (z.Level <= 2)
    z.SetDeflateType(engine::TDeflateType::dtDeflateS);
  else if (z.Level <= 4)
    z.SetDeflateType(engine::TDeflateType::dtDeflateF);
  else if (z.Level <= 7)
    z.SetDeflateType(engine::TDeflateType::dtDeflateN);
  else
    z.SetDeflateType(engine::TDeflateType::dtDeflateX);
  if (req_.StoreSuffixes) {
    std::string list = Lower(req_.StoreSuffixes);
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      std::string s = list.substr(start, end - start);
      if (!s.empty()) z.Suffixes.push_back(s.front() == '.' ? s : "." + s);
      start = end + 1;
    }
  }

  if (deleting) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; req_.Specs && i < req_.SpecCount; ++i) {
      std::string spec = RequestString(req_.Specs[i].FileSpec);
      if (!spec.empty()) names.push_back(spec);
    }
    z.Switch = engine::TSwitch::swDelete;
    z.SetFileSpec(names);
    if (!platform::FileExists(z.ArchiveFile())) {
      cb_.Message("Archive not found: " + z.ArchiveFile(), engine::kErrFileNotFound);
      cb_.Send(caEndOfBatch, 0, 0, "");
      return 0;
    }
  } else {
    z.Switch = req_.Move ? engine::TSwitch::swMove : engine::TSwitch::swAdd;
    z.AddUpdate = req_.Update != 0;
    z.AddFreshen = req_.Freshen != 0 && !z.AddUpdate;
    Gather();
    if (z.Files.empty()) {
      cb_.Message(std::string(engine::ErrorText(engine::kErrNothingToDo)), engine::kErrNothingToDo);
      cb_.Send(caEndOfBatch, 0, 0, "");
      return 0;
    }
    std::int64_t total = 0;
    for (const auto& f : z.Files) total += f.Size;
    cb_.Send(caTotalFiles, 0, Size32(static_cast<std::int64_t>(z.Files.size())), "");
    cb_.Send(caTotalSize, 0, Size32(total), "");
    std::string password = RequestString(req_.Password).substr(0, kMaxLibraryPassword);
    if (req_.Encrypt && password.empty() && !AskPassword(password)) {
      cb_.Send(caEndOfBatch, 0, 0, "");
      return 0;
    }
    z.Password = req_.Encrypt ? password : std::string();
    // Plain add replaces a member by a changed file; update and freshen only by a newer one
    // (the writer's own rule).
    z.OnReplaceFile = [](engine::TZipCommon&, const std::string&, const std::string&, double,
                         double, std::int64_t, std::int64_t, std::uint32_t, std::uint32_t,
                         bool& replace) { replace = true; };
  }
  if (cb_.Stopped()) {
    cb_.Send(caEndOfBatch, 0, 0, "");
    return 0;
  }

  double newest = 0;
  z.OnError = [this](engine::TZipCommon& s, const std::string& fn, const std::string& msgEx,
                     const std::string&, int code) {
    if (code == engine::kErrUserAborted) return;
    if (!cb_.Message(ErrorLine(code, fn, msgEx), code)) s.SetCancel(true);
  };
  z.OnBegin = [this](engine::TZipCommon& s, const std::string& name, int, bool&) {
    const auto it = sizes_.find(name);
    memberSize_ = it == sizes_.end() ? 0 : it->second;
    memberSent_ = 0;
    if (!cb_.Send(caNewFile, 0, Size32(memberSize_), name)) s.SetCancel(true);
  };
  z.OnRenameCompressedFile = [this](engine::TZipCommon& s, std::string& name) {
    if (!cb_.Send(caNewName, 0, 0, name)) {
      s.SetCancel(true);
      return;
    }
    if (cb_.Record().Action == caPassword) {
      std::string changed = ToBackslashes(RecordText(cb_.Record()));
      if (!changed.empty()) name = changed;
    }
  };
  z.OnEnd = [this](engine::TZipCommon& s, const std::string& name, bool) {
    if (req_.Verbose && !cb_.Message("  added: " + name)) s.SetCancel(true);
  };
  z.OnRead = [&newest](engine::TZipCommon& s, std::int64_t, int) {
    newest = std::max(newest, s.Entry.DateTime);
  };
  // Progress in bytes of the files read (an encrypted file is read twice: its CRC comes
  // first; its bytes are counted once).
  z.ReadBlockProc = [this, &z](engine::IStream* s, std::size_t n, int crc, bool dec,
                               std::uint8_t* b) {
    const std::int64_t got = z.DefaultReadBlock(s, n, crc, dec, b);
    if (got > 0 && s != z.ArchiveStream) {
      const std::int64_t add = std::min(got, memberSize_ - memberSent_);
      if (add > 0) {
        memberSent_ += add;
        if (!cb_.Send(caProgress, 0, static_cast<std::uint32_t>(add), "")) z.SetCancel(true);
      }
    }
    return got;
  };

  std::int32_t result = 0;
  try {
    result = z.Compress();
  } catch (const engine::EBase& e) {
    cb_.Message(e.what(), engine::kErrWritingFile);
  }
  if (!z.Replaced()) result = 0;
  if (z.Replaced() && !deleting) {
    if (req_.ResetArchive)
      for (const std::string& f : z.Added)
        if (const auto a = platform::FileAttributes(f))
          platform::SetFileAttributes(f, *a & ~platform::kAttrArchive);
    if (req_.LatestTime && newest > 0)
      platform::SetFileModTime(z.ArchiveFile(), engine::DateTimeToUnix(newest));
    if (req_.Move && req_.Verbose)
      for (const std::string& f : z.MovedFiles()) cb_.Message("  moved: " + f);
  }
  cb_.Send(caEndOfBatch, 0, 0, "");
  return result;
}

}  // namespace
}  // namespace zipbridge::lib

extern "C" {

std::int32_t TESSALY_ZIPLIB_CALL GetZipDllVersion() { return zipbridge::kLibraryVersion; }

std::int32_t TESSALY_ZIPLIB_CALL ZipDllExec(zipbridge::TZipRequest* request) {
  // Nothing may unwind into the caller's frame.
  try {
    if (!request || request->Version != zipbridge::kRequestVersion ||
        request->Trailer != zipbridge::kRequestTrailer)
      return 0;
    zipbridge::lib::TZipRun run(*request);
    return run.Run();
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
