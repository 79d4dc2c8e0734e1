// TZipMaster: properties, library loading and callbacks, add, delete, extract and test.
#include "zipbridge/zip_master.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <new>
#include <system_error>

#include "engine/core/helpers.h"
#include "platform/dynlib.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/yield.h"
#include "zipbridge/libs/lib_callback.h"
#include "zipbridge/zip_directory.h"

namespace zipbridge {

namespace {

// One module of each library for all instances; `Explicit` when a caller loaded it with
// LoadZipLibrary / LoadUnzipLibrary (operations then leave it loaded).
struct TSharedLibrary {
  platform::Library Lib;
  bool Explicit = false;
};
TSharedLibrary& SharedLibrary(bool zipSide) {
  static TSharedLibrary zip, unzip;
  return zipSide ? zip : unzip;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) !=
        std::toupper(static_cast<unsigned char>(suffix[i])))
      return false;
  return true;
}

// The folder of the running program (where Windows looks for libraries first; elsewhere
// the bridge looks there itself). Empty when it cannot be told.
std::string ProgramDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Keeps the strings of one library request alive and hands out their pointers.
class TStringPool {
 public:
  char* Add(std::string s) {
    items_.push_back(std::make_unique<std::string>(std::move(s)));
    return items_.back()->data();
  }
  char* AddOrNull(std::string s) { return s.empty() ? nullptr : Add(std::move(s)); }

 private:
  std::vector<std::unique_ptr<std::string>> items_;
};

const char* SuffixName(AddStoreExtsEnum e) {
  switch (e) {
    case AddStoreExtsEnum::assGIF: return "gif";
    case AddStoreExtsEnum::assPNG: return "png";
    case AddStoreExtsEnum::assZ: return "z";
    case AddStoreExtsEnum::assZIP: return "zip";
    case AddStoreExtsEnum::assZOO: return "zoo";
    case AddStoreExtsEnum::assARC: return "arc";
    case AddStoreExtsEnum::assLZH: return "lzh";
    case AddStoreExtsEnum::assARJ: return "arj";
    case AddStoreExtsEnum::assTAZ: return "taz";
    case AddStoreExtsEnum::assTGZ: return "tgz";
    case AddStoreExtsEnum::assLHA: return "lha";
    case AddStoreExtsEnum::assEXE: return "exe";
  }
  return "";
}

// Clears a flag at the end of a scope (busy flags, the cancel request).
struct TScopeExit {
  std::function<void()> Run;
  ~TScopeExit() {
    if (Run) Run();
  }
};

}  // namespace

TZipMaster::TZipMaster() {
  using enum AddStoreExtsEnum;
  AddStoreSuffixes = {assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ,
                      assTGZ, assLHA};
}

TZipMaster::~TZipMaster() = default;

void TZipMaster::SetZipFileName(std::string_view name) {
  zipFileName_ = std::string(name);
  List();
}

void TZipMaster::SetPassword(std::string_view value) {
  password_ = std::string(value.substr(0, 255));
}

void TZipMaster::SetDLLDirectory(std::string_view dir) {
  std::string d(dir);
  if (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.pop_back();
  dllDirectory_ = d;
}

std::string TZipMaster::ZipLibraryFileName() {
  return platform::kIsWindows ? "ZIPDLL.DLL" : "libzipdll.so";
}
std::string TZipMaster::UnzipLibraryFileName() {
  return platform::kIsWindows ? "UNZDLL.DLL" : "libunzdll.so";
}

void TZipMaster::SetError(int id, const std::string& extra) {
  lastErrorCode_ = id;
  lastMessage_ = ZipMessageText(id) + extra;
}

// Libraries older than the request layout this bridge writes are not called at all.
void TZipMaster::LibraryTooOld(int version) {
  lastErrorCode_ = kZmLibraryTooOld;
  lastMessage_ = ZipMessageFormat(kZmLibraryTooOld, version);
}

void TZipMaster::ReportMessage(int code, const std::string& text) {
  if (OnMessage) OnMessage(*this, code, text);
}

// ---- Loading the libraries ----

bool TZipMaster::LoadLibraryFor(bool zipSide, bool& loadedHere) {
  loadedHere = false;
  TSharedLibrary& shared = SharedLibrary(zipSide);
  if (shared.Lib.IsLoaded()) return true;
  const std::string file = zipSide ? ZipLibraryFileName() : UnzipLibraryFileName();
  std::string path = file;
  const std::string inDllDir = dllDirectory_.empty() ? std::string() : platform::JoinPath(dllDirectory_, file);
  const std::string programDir = ProgramDirectory();
  const std::string inProgramDir = programDir.empty() ? std::string() : platform::JoinPath(programDir, file);
  if (!inDllDir.empty() && platform::FileExists(inDllDir))
    path = inDllDir;
  else if (!inProgramDir.empty() && platform::FileExists(inProgramDir))
    path = inProgramDir;
  if (!shared.Lib.Load(path)) {
    SetError(zipSide ? kZmZipNotFound : kZmUnzipNotFound);
    return false;
  }
  const char* exec = zipSide ? kZipExecExport : kUnzipExecExport;
  const char* version = zipSide ? kZipVersionExport : kUnzipVersionExport;
  if (!shared.Lib.Symbol(exec) || !shared.Lib.Symbol(version)) {
    SetError(!shared.Lib.Symbol(exec) ? (zipSide ? kZmZipExecMissing : kZmUnzipExecMissing)
                                      : (zipSide ? kZmZipVersionMissing : kZmUnzipVersionMissing));
    shared.Lib.Unload();
    return false;
  }
  loadedHere = true;
  if (Trace) ReportMessage(0, ZipMessageText(zipSide ? kZmZipLoaded : kZmUnzipLoaded));
  return true;
}

bool TZipMaster::LoadZipLibrary() {
  bool here = false;
  if (!LoadLibraryFor(true, here)) return false;
  SharedLibrary(true).Explicit = true;
  return true;
}
void TZipMaster::UnloadZipLibrary() {
  SharedLibrary(true).Lib.Unload();
  SharedLibrary(true).Explicit = false;
}
bool TZipMaster::LoadUnzipLibrary() {
  bool here = false;
  if (!LoadLibraryFor(false, here)) return false;
  SharedLibrary(false).Explicit = true;
  return true;
}
void TZipMaster::UnloadUnzipLibrary() {
  SharedLibrary(false).Lib.Unload();
  SharedLibrary(false).Explicit = false;
}

int TZipMaster::ZipLibraryVersion() {
  bool here = false;
  if (!LoadLibraryFor(true, here)) return 0;
  const auto fn = SharedLibrary(true).Lib.Resolve<TGetVersionFn>(kZipVersionExport);
  const int v = fn ? fn() : 0;
  if (here) SharedLibrary(true).Lib.Unload();
  return v;
}

int TZipMaster::UnzipLibraryVersion() {
  bool here = false;
  if (!LoadLibraryFor(false, here)) return 0;
  const auto fn = SharedLibrary(false).Lib.Resolve<TGetVersionFn>(kUnzipVersionExport);
  const int v = fn ? fn() : 0;
  if (here) SharedLibrary(false).Lib.Unload();
  return v;
}

// ---- Callbacks ----

std::int32_t TESSALY_ZIPLIB_CALL TZipMaster::CallbackEntry(TZipCallbackRecord* record) {
  // No exception may unwind into the library.
  try {
    if (!record || !record->Caller) return -1;
    return static_cast<TZipMaster*>(record->Caller)->HandleCallback(*record);
  } catch (...) {
    return -1;
  }
}

std::int32_t TZipMaster::HandleCallback(TZipCallbackRecord& r) {
  std::string text = Trimmed(lib::RecordText(r));
  std::replace(text.begin(), text.end(), '/', '\\');
  inCallback_ = true;
  TScopeExit leave{[this] { inCallback_ = false; }};
  auto progress = [&](ProgressType type, std::uint32_t size) {
    if (OnProgress) OnProgress(*this, type, text, size);
  };
  switch (r.Action) {
    case caNewFile: progress(ProgressType::NewFile, r.Size); break;
    case caProgress: progress(ProgressType::ProgressUpdate, r.Size); break;
    case caEndOfBatch: progress(ProgressType::EndOfBatch, 0); break;
    case caMessage:
      lastMessage_ = text;
      if (r.ErrorCode != 0) {
        lastErrorCode_ = r.ErrorCode & 0xFF;
        lastFullErrorCode_ = r.ErrorCode;
      }
      ReportMessage(r.ErrorCode, text);
      break;
    case caTotalFiles: progress(ProgressType::TotalFiles2Process, r.Size); break;
    case caTotalSize:
      totalSize_ = r.Size;
      progress(ProgressType::TotalSize2Process, r.Size);
      break;
    case caNewName:
      if (OnSetNewName) {
        std::string name = text;
        bool changed = false;
        OnSetNewName(*this, name, changed);
        if (changed) {
          lib::CopyText(r.Text, sizeof r.Text, name);
          r.Action = caPassword;
        }
      }
      break;
    case caPassword: {
      std::string answer;
      unsigned count = std::min<unsigned>(r.Size, kMaxPasswordRequests);
      if (OnPasswordError) {
        OnPasswordError(*this, answer, text, count);
        count = std::min<unsigned>(count, kMaxPasswordRequests);
      } else if (r.ErrorCode & 1) {
        answer = ZipSidePassword();
      } else {
        answer = AskExtractPassword(text, count >= PasswordReqCount() ? 2 : 1);
      }
      if (!answer.empty()) {
        lib::CopyText(r.Text, kMaxLibraryPassword + 1, answer);
        r.ErrorCode = 1;
        r.Size = count;
      } else {
        r.ErrorCode = 0;
        r.Size = 0;
      }
      break;
    }
    case caCrcError:
      if (OnCRC32Error) {
        bool doExtract = true;
        OnCRC32Error(*this, text, static_cast<std::uint32_t>(r.ErrorCode), r.Size, doExtract);
        r.ErrorCode = doExtract ? 1 : 0;
      } else {
        r.ErrorCode = 2;
      }
      break;
    case caOverwrite:
      if (OnExtractOverwrite) {
        bool doOverwrite = r.Size != 0;
        OnExtractOverwrite(*this, text, (r.ErrorCode & 1) != 0, doOverwrite);
        r.Size = doOverwrite ? 1 : 0;
      }
      break;
    case caSkipped:
      if (OnExtractSkipped)
        OnExtractSkipped(*this, text, static_cast<UnZipSkipTypes>(r.Size), r.ErrorCode);
      break;
    default:
      break;
  }
  platform::YieldToHost();
  return CancelRequested ? -1 : 0;
}

// ---- Password prompts ----

std::string TZipMaster::DoAskPassword(const std::string& prompt) {
  std::string text;
  if (!PasswordDialog || !PasswordDialog(ZipMessageText(kZmPasswordTitle), prompt, text)) return {};
  return text.substr(0, kMaxLibraryPassword);
}

std::string TZipMaster::ZipSidePassword() {
  if (Unattended) {
    SetError(kZmNoAddPassword);
    ReportMessage(0, lastMessage_);
    return {};
  }
  const std::string first = DoAskPassword("Enter Password ");
  if (first.empty()) return {};
  const std::string second = DoAskPassword("Confirm Password ");
  if (second.empty()) return {};
  if (first != second) {
    SetError(kZmPasswordsDiffer);
    ReportMessage(0, lastMessage_);
    return {};
  }
  return first;
}

std::string TZipMaster::AskExtractPassword(const std::string& fileName, unsigned count) {
  if (CancelRequested) return {};
  if (Unattended) {
    SetError(kZmNoExtractPassword);
    ReportMessage(0, lastMessage_);
    return {};
  }
  std::string name = fileName;
  const auto slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::string prompt = count == 2 ? "Enter password for " + name + ":"
                                        : "Wrong password, please re-enter for " + name + ": ";
  const std::string answer = DoAskPassword(prompt);
  if (answer.empty()) {
    CancelRequested = true;
    return {};
  }
  if (!inCallback_) SetPassword(answer);
  return answer;
}

// ---- Adding and deleting ----

void TZipMaster::AddFiles() {
  succeededCount_ = 0;
  using enum AddOptsEnum;
  auto has = [this](AddOptsEnum o) { return AddOptions.count(o) != 0; };
  TScopeExit clearSpecs{[this] {
    FSpecArgs.clear();
    FSpecArgsExcl.clear();
  }};
  if (FSpecArgs.empty()) return SetError(kZmNoFilesToZip);
  if (zipFileName_.empty()) return SetError(kZmNoZipFile);
  if (Unattended && has(AddEncrypt) && password_.empty()) return SetError(kZmUnattendedPassword);
  if (has(AddDiskSpan) || has(AddDiskSpanErase)) {
    if (has(AddFreshen) || has(AddUpdate)) return SetError(kZmSpanFreshen);
    if (EndsWithNoCase(zipFileName_, ".EXE")) return SetError(kZmSfxSpan);
    // Writing a set onto removable disks needs the disk-spanning dialogs of this build.
    return SetError(kZmNotAvailable);
  }
  if (zipBusy_) return;
  if (EndsWithNoCase(zipFileName_, ".EXE") && zipDataStart_ == 0 &&
      !platform::FileExists(zipFileName_))
    return SetError(kZmNotAvailable, " (self-extractor stub)");

  bool loadedHere = false;
  if (!LoadLibraryFor(true, loadedHere)) return;
  zipBusy_ = true;
  CancelRequested = false;
  TScopeExit done{[&] {
    if (loadedHere && !SharedLibrary(true).Explicit) SharedLibrary(true).Lib.Unload();
    CancelRequested = false;
    zipBusy_ = false;
  }};
  const auto version = SharedLibrary(true).Lib.Resolve<TGetVersionFn>(kZipVersionExport)();
  if (version < kMinZipLibraryVersion) return LibraryTooOld(version);

  TStringPool pool;
  TZipRequest req{};
  req.Window = nullptr;
  req.Caller = this;
  req.Version = kRequestVersion;
  req.Callback = &TZipMaster::CallbackEntry;
  req.Trace = LibBool(Trace);
  std::string pw(kMaxLibraryPassword + 1, '\0');
  std::copy_n(password_.begin(), std::min(password_.size(), kMaxLibraryPassword), pw.begin());
  req.Password = pool.Add(pw);
  std::string suffixes;
  for (AddStoreExtsEnum e : AddStoreSuffixes)
    suffixes += (suffixes.empty() ? "." : ":.") + std::string(SuffixName(e));
  req.StoreSuffixes = pool.AddOrNull(suffixes);
  req.Encrypt = LibBool(has(AddEncrypt));
  req.SystemFiles = LibBool(has(AddHiddenFiles));
  req.NoDirEntries = LibBool(!has(AddSeparateDirs));
  req.Verbose = LibBool(Verbose || Trace);
  req.Quiet = kLibTrue;
  req.Level = std::clamp(AddCompLevel, 0, 9);
  req.JunkDirs = LibBool(!has(AddDirNames));
  req.Recurse = has(AddRecurseDirs) ? 0xFFFF : 0;
  req.Grow = kLibTrue;
  req.ForceDos = LibBool(has(AddForceDOS));
  req.Move = LibBool(has(AddMove));
  req.Update = LibBool(has(AddUpdate));
  req.Freshen = LibBool(has(AddFreshen) && !has(AddUpdate));
  req.LatestTime = LibBool(has(AddZipTime));
  req.ArchiveName = pool.Add(zipFileName_);
  req.TempDir = pool.AddOrNull(TempDir);
  req.ArchiveComment = pool.AddOrNull(rawComment_);
  req.ArchiveOnly = has(AddArchiveOnly) ? 1 : 0;
  req.ResetArchive = has(AddResetArchive) ? 1 : 0;
  std::vector<TZipFileSpec> specs(FSpecArgs.size());
  for (std::size_t i = 0; i < FSpecArgs.size(); ++i) specs[i].FileSpec = pool.Add(FSpecArgs[i]);
  req.SpecCount = static_cast<std::int32_t>(specs.size());
  req.Specs = specs.data();
  std::vector<char*> excludes;
  for (const std::string& e : FSpecArgsExcl) excludes.push_back(pool.Add(e));
  req.ExcludeCount = static_cast<std::int32_t>(excludes.size());
  req.Excludes = excludes.empty() ? nullptr : excludes.data();
  req.BaseDir = pool.Add(AddBaseDir.empty() ? platform::CurrentDirectory() : AddBaseDir);
  req.Trailer = kRequestTrailer;
  if (Verbose && OnMessage) ReportMessage(0, "Archive: " + zipFileName_);

  try {
    succeededCount_ = SharedLibrary(true).Lib.Resolve<TZipExecFn>(kZipExecExport)(&req);
  } catch (...) {
    SetError(kZmFatalZipLib);
    succeededCount_ = 0;
  }
  clearSpecs.Run();
  clearSpecs.Run = nullptr;
  done.Run();
  done.Run = nullptr;
  if (succeededCount_ > 0) List();
}

void TZipMaster::DeleteEntries() {
  succeededCount_ = 0;
  TScopeExit clearSpecs{[this] { FSpecArgs.clear(); }};
  if (FSpecArgs.empty()) return SetError(kZmNoDeleteFiles);
  if (zipFileName_.empty() || !platform::FileExists(zipFileName_)) return SetError(kZmNoZipFile);
  if (zipBusy_) return;
  bool loadedHere = false;
  if (!LoadLibraryFor(true, loadedHere)) return;
  zipBusy_ = true;
  CancelRequested = false;
  TScopeExit done{[&] {
    if (loadedHere && !SharedLibrary(true).Explicit) SharedLibrary(true).Lib.Unload();
    CancelRequested = false;
    zipBusy_ = false;
  }};
  const auto version = SharedLibrary(true).Lib.Resolve<TGetVersionFn>(kZipVersionExport)();
  if (version < kMinZipLibraryVersion) return LibraryTooOld(version);
  TStringPool pool;
  TZipRequest req{};
  req.Caller = this;
  req.Version = kRequestVersion;
  req.Callback = &TZipMaster::CallbackEntry;
  req.Trace = LibBool(Trace);
  req.Password = pool.Add(std::string(kMaxLibraryPassword + 1, '\0'));
  req.SystemFiles = LibBool(AddOptions.count(AddOptsEnum::AddHiddenFiles) != 0);
  req.NoDirEntries = kLibTrue;
  req.Verbose = LibBool(Verbose || Trace);
  req.Quiet = kLibTrue;
  req.Level = std::clamp(AddCompLevel, 0, 9);
  req.Delete = kLibTrue;
  req.ArchiveName = pool.Add(zipFileName_);
  req.TempDir = pool.AddOrNull(TempDir);
  req.ArchiveComment = pool.AddOrNull(rawComment_);
  std::vector<TZipFileSpec> specs(FSpecArgs.size());
  for (std::size_t i = 0; i < FSpecArgs.size(); ++i) specs[i].FileSpec = pool.Add(FSpecArgs[i]);
  req.SpecCount = static_cast<std::int32_t>(specs.size());
  req.Specs = specs.data();
  req.Trailer = kRequestTrailer;
  try {
    succeededCount_ = SharedLibrary(true).Lib.Resolve<TZipExecFn>(kZipExecExport)(&req);
  } catch (...) {
    SetError(kZmFatalZipLib);
    succeededCount_ = 0;
  }
  done.Run();
  done.Run = nullptr;
  if (succeededCount_ > 0) List();
}

// ---- Extracting and testing ----

void TZipMaster::ExtractEntries() {
  succeededCount_ = 0;
  TScopeExit clearSpecs{[this] { FSpecArgs.clear(); }};
  if (zipFileName_.empty() || !platform::FileExists(zipFileName_)) return SetError(kZmNoZipFile);
  if (unzipBusy_) return;
  const unsigned savedCount = passwordReqCount_;
  TScopeExit restoreCount{[&] { passwordReqCount_ = savedCount; }};
  if (Unattended && password_.empty() && !OnPasswordError) {
    passwordReqCount_ = 0;
    SetError(kZmUnattendedExtract);
  }
  const bool testOnly = ExtrOptions.count(ExtrOptsEnum::ExtrTest) != 0;
  // The target folder is given to the library explicitly; one that is missing is made.
  std::string base = ExtrBaseDir.empty() ? platform::CurrentDirectory() : ExtrBaseDir;
  if (!testOnly && !platform::DirectoryExists(base) && !platform::CreateDirectories(base)) {
    lastErrorCode_ = kZmExtractDirFailed;
    lastMessage_ = ZipMessageFormat(kZmExtractDirFailed, base);
    return;
  }

  bool loadedHere = false;
  if (!LoadLibraryFor(false, loadedHere)) return;
  unzipBusy_ = true;
  CancelRequested = false;
  TScopeExit done{[&] {
    if (loadedHere && !SharedLibrary(false).Explicit) SharedLibrary(false).Lib.Unload();
    CancelRequested = false;
    unzipBusy_ = false;
  }};
  const auto version = SharedLibrary(false).Lib.Resolve<TGetVersionFn>(kUnzipVersionExport)();
  if (version < kMinUnzipLibraryVersion) return LibraryTooOld(version);

  using enum ExtrOptsEnum;
  auto has = [this](ExtrOptsEnum o) { return ExtrOptions.count(o) != 0; };
  TStringPool pool;
  TUnzipRequest req{};
  req.Caller = this;
  req.Version = kRequestVersion;
  req.Callback = &TZipMaster::CallbackEntry;
  req.Trace = LibBool(Trace);
  req.Password = pool.Add(password_.substr(0, kMaxLibraryPassword));
  req.TestOnly = LibBool(testOnly);
  req.Quiet = kLibTrue;
  req.Verbose = LibBool(Verbose || Trace);
  req.Update = LibBool(has(ExtrUpdate));
  req.Freshen = LibBool(has(ExtrFreshen) && !has(ExtrUpdate));
  req.DirNames = LibBool(has(ExtrDirNames));
  req.Overwrite = LibBool(has(ExtrOverWrite));
  req.ArchiveName = pool.Add(zipFileName_);
  std::vector<TUnzipFileSpec> specs(FSpecArgs.size());
  for (std::size_t i = 0; i < FSpecArgs.size(); ++i) specs[i].FileSpec = pool.Add(FSpecArgs[i]);
  req.SpecCount = static_cast<std::int32_t>(specs.size());
  req.Specs = specs.empty() ? nullptr : specs.data();
  req.PasswordReqCount = static_cast<std::int32_t>(passwordReqCount_);
  req.BaseDir = pool.Add(base);
  req.Trailer = kRequestTrailer;
  try {
    succeededCount_ = SharedLibrary(false).Lib.Resolve<TUnzipExecFn>(kUnzipExecExport)(&req);
  } catch (...) {
    SetError(kZmFatalUnzipLib);
    succeededCount_ = 0;
  }
}

}  // namespace zipbridge
