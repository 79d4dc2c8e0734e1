// UNZDLL: the ZIP extraction library. Extracts and tests ZIP archives with the program's own
// ZIP decoder and reports only through the caller's callback.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/core/lister.h"
#include "engine/core/safe_path.h"
#include "engine/decoders/un_zip.h"
#include "engine/decoders/zip_check.h"
#include "platform/fs.h"
#include "zipbridge/libs/lib_callback.h"

namespace zipbridge::lib {
namespace {

// One selected member as the directory lists it.
struct TMemberInfo {
  std::string Name;  // stored name, "\" between folders
  std::int64_t Size = 0;
  std::uint32_t Crc = 0;
};

class TUnzipRun {
 public:
  TUnzipRun(const TUnzipRequest& request)
      : req_(request), cb_(request.Callback, request.Window, request.Caller) {}

  std::int32_t Run();

 private:
  bool ListMembers();
  std::int32_t Extract();
  std::int32_t Test();
  template <class Engine>
  void AttachCommon(Engine& e);
  std::string ErrorLine(int code, const std::string& fn, const std::string& msgEx) const;
  const TMemberInfo* InfoFor(const std::string& fn) const;
  std::string NameFor(const std::string& fn) const {
    const TMemberInfo* info = InfoFor(fn);
    return info ? info->Name : fn;
  }

  const TUnzipRequest& req_;
  TCallbackSender cb_;
  std::string archive_;
  std::string password_;
  std::vector<std::string> specs_;
  int passwordRequests_ = 0;
  std::vector<TMemberInfo> members_;
  std::map<std::string, std::size_t> byOutput_;  // output path (or stored name) -> member
  int attempts_ = 0;
  bool errorSinceBegin_ = false;
  engine::TZipCommon* running_ = nullptr;
};

std::string TUnzipRun::ErrorLine(int code, const std::string& fn, const std::string& msgEx) const {
  // "name: text (detail)", as the program's other messages read.
  std::string text(engine::ErrorText(code));
  if (text.empty()) text = "Error " + std::to_string(code);
  if (!msgEx.empty()) text += " (" + msgEx + ")";
  return fn.empty() ? text : NameFor(fn) + ": " + text;
}

const TMemberInfo* TUnzipRun::InfoFor(const std::string& fn) const {
  const auto it = byOutput_.find(fn);
  return it == byOutput_.end() ? nullptr : &members_[it->second];
}

bool TUnzipRun::ListMembers() {
  engine::TDivED lister;
  lister.SetArchiveFile(archive_);
  lister.SetFileSpec(specs_);
  lister.OnRead = [this](engine::TZipCommon& s, std::int64_t, int) {
    members_.push_back({s.Entry.FileName, s.Entry.UnpackedSize, s.Entry.CRC});
  };
  lister.OnError = [this](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                          const std::string&, int code) {
    cb_.Message(ErrorLine(code, fn == archive_ ? std::string() : fn, msgEx) + " (" + archive_ + ")",
                code);
  };
  if (!engine::IsZipFamily(lister.ArcType())) {
    cb_.Message("Not a ZIP archive: " + archive_, engine::kErrInvalidArcType);
    return false;
  }
  return lister.Activate() != 0;
}

template <class Engine>
void TUnzipRun::AttachCommon(Engine& e) {
  running_ = &e;
  e.SetArchiveFile(archive_);
  e.SetFileSpec(specs_);
  if (!password_.empty()) e.Passwords = {password_};
  e.PasswordAttempts = passwordRequests_;
  e.OnError = [this](engine::TZipCommon& s, const std::string& fn, const std::string& msgEx,
                     const std::string&, int code) {
    errorSinceBegin_ = true;
    const std::string name = NameFor(fn);
    bool go = true;
    switch (code) {
      case engine::kErrEventNotAssigned:  // no password may be asked for
      case engine::kErrPasswordFailed:
        go = cb_.Send(caSkipped, code, static_cast<std::uint32_t>(TUnZipSkipType::stBadPassword),
                      name);
        break;
      case engine::kErrInvalidFileName:
        go = cb_.Message(ErrorLine(code, fn, msgEx), code) &&
             cb_.Send(caSkipped, code, static_cast<std::uint32_t>(TUnZipSkipType::stBadName), name);
        break;
      case engine::kErrUserAborted:
        break;
      default:
        go = cb_.Message(ErrorLine(code, fn, msgEx), code);
        break;
    }
    if (!go) s.SetCancel(true);
  };
  if (passwordRequests_ > 0) {
    e.OnGetPassword = [this](engine::TZipCommon& s, const std::string& fn, std::string& password,
                             bool& tryAgain) {
      ++attempts_;
      const int left = std::max(passwordRequests_ - attempts_ + 1, 1);
      const bool go = cb_.Send(caPassword, 0, static_cast<std::uint32_t>(left), NameFor(fn));
      const TZipCallbackRecord& r = cb_.Record();
      if (go && (r.ErrorCode & 1)) {
        password = RecordText(r).substr(0, kMaxLibraryPassword);
        tryAgain = true;
      } else {
        password.clear();
        tryAgain = false;
      }
      if (!go) s.SetCancel(true);
    };
  }
}

std::int32_t TUnzipRun::Extract() {
  const std::string base = RequestString(req_.BaseDir);
  if (base.empty() || !platform::DirectoryExists(base)) {
    cb_.Message("Extraction folder not found: " + base, engine::kErrUnableCreateDir);
    return 0;
  }
  const bool update = req_.Update != 0;
  const bool freshen = req_.Freshen != 0 && !update;
  const bool useDirs = req_.DirNames != 0;

  engine::TUnZIP e;
  e.SetExtractDir(base);
  const std::string dir = e.ExtractDir();
  std::vector<std::string> chosen;
  std::int64_t totalBytes = 0;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const auto relative = engine::SanitiseMemberPath(members_[i].Name, useDirs);
    if (!relative || relative->empty()) continue;
    const std::string out = engine::JoinUnder(dir, *relative);
    // Freshen touches only files that are there already.
    if (freshen && !platform::FileExists(out)) continue;
    byOutput_.emplace(out, i);
    chosen.push_back(members_[i].Name);
    totalBytes += members_[i].Size;
  }
  if (freshen) {
    if (chosen.empty()) return 0;
    specs_ = chosen;
  }
  cb_.Send(caTotalFiles, 0, Size32(static_cast<std::int64_t>(chosen.size())), "");
  cb_.Send(caTotalSize, 0, Size32(totalBytes), "");
  if (cb_.Stopped()) return 0;

  AttachCommon(e);
  e.SetExtractDir(base);
  e.UseStoredDirs = useDirs;
  e.ConfirmOverwrites = true;
  e.OverwriteMode = engine::TOverwriteMode::omOverwrite;
  int extracted = 0;

  e.OnFileExists = [&](engine::TZipCommon& s, const std::string& fn, double memberDate,
                       engine::TOverwriteMode& mode) {
    const std::string name = NameFor(fn);
    const auto onDisk = platform::FileModTime(fn);
    // DOS times have two-second steps.
    const bool older = onDisk && *onDisk + 1 < engine::DateTimeToUnix(memberDate);
    if ((update || freshen) && !older) {
      mode = engine::TOverwriteMode::omSkip;
      if (!cb_.Send(caSkipped, 0, static_cast<std::uint32_t>(TUnZipSkipType::stOnFreshen), name))
        s.SetCancel(true);
      return;
    }
    const bool own = req_.Overwrite != 0 || update || freshen;
    bool go = cb_.Send(caOverwrite, older ? 1 : 0, own ? 1 : 0, name);
    const bool overwrite = go && cb_.Record().Size != 0;
    mode = overwrite ? engine::TOverwriteMode::omOverwrite : engine::TOverwriteMode::omSkip;
    if (go && !overwrite)
      go = cb_.Send(caSkipped, 0, static_cast<std::uint32_t>(TUnZipSkipType::stNoOverwrite), name);
    if (!go) s.SetCancel(true);
  };
  e.OnBegin = [&](engine::TZipCommon& s, const std::string& fn, int, bool&) {
    attempts_ = 0;
    errorSinceBegin_ = false;
    const TMemberInfo* info = InfoFor(fn);
    if (!cb_.Send(caNewFile, 0, info ? Size32(info->Size) : 0, info ? info->Name : fn))
      s.SetCancel(true);
  };
  e.WriteBlockProc = [&e, this](engine::IStream* s, bool doCrc, std::size_t n, int crcKind,
                                bool decrypt, std::uint8_t* b) {
    const std::int64_t r = e.DefaultWriteBlock(s, doCrc, n, crcKind, decrypt, b);
    if (!cb_.Send(caProgress, 0, static_cast<std::uint32_t>(n), "")) e.SetCancel(true);
    return r;
  };
  e.OnEnd = [&](engine::TZipCommon& s, const std::string& fn, bool pass) {
    if (pass) {
      ++extracted;
      return;
    }
    if (errorSinceBegin_) return;  // already reported (password, damaged data)
    const TMemberInfo* info = InfoFor(fn);
    const std::uint32_t found = s.State.Crc32Register ^ 0xFFFFFFFFu;
    const std::string name = info ? info->Name : fn;
    const bool go = cb_.Send(caCrcError, static_cast<std::int32_t>(found), info ? info->Crc : 0, name);
    const std::int32_t answer = go ? cb_.Record().ErrorCode : 0;
    if (answer == 1) {
      ++extracted;
    } else if (answer == 0) {
      platform::DeleteFile(fn);
    } else {
      cb_.Message(ErrorLine(engine::kErrCrcCheck, fn, ""), engine::kErrCrcCheck);
    }
    if (!go) s.SetCancel(true);
  };
  try {
    e.Extract();
  } catch (const engine::EBase&) {
    // Reported through OnError.
  }
  running_ = nullptr;
  return extracted;
}

std::int32_t TUnzipRun::Test() {
  std::int64_t totalBytes = 0;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    byOutput_.emplace(members_[i].Name, i);
    totalBytes += members_[i].Size;
  }
  cb_.Send(caTotalFiles, 0, Size32(static_cast<std::int64_t>(members_.size())), "");
  cb_.Send(caTotalSize, 0, Size32(totalBytes), "");
  if (cb_.Stopped()) return 0;
  engine::TZipCheck t;
  AttachCommon(t);
  int passed = 0;
  t.OnBegin = [&](engine::TZipCommon& s, const std::string& fn, int, bool&) {
    attempts_ = 0;
    errorSinceBegin_ = false;
    const TMemberInfo* info = InfoFor(fn);
    if (!cb_.Send(caNewFile, 0, info ? Size32(info->Size) : 0, fn)) s.SetCancel(true);
  };
  t.OnStatus = [&](engine::TZipCheck& s, const std::string& fn, bool ok) {
    const TMemberInfo* info = InfoFor(fn);
    bool go = cb_.Send(caProgress, 0, info ? Size32(info->Size) : 0, "");
    if (ok) {
      ++passed;
      if (req_.Verbose) go = cb_.Message("OK: " + fn) && go;
    } else if (!errorSinceBegin_) {
      go = cb_.Message(ErrorLine(engine::kErrCrcCheck, fn, ""), engine::kErrCrcCheck) && go;
    }
    if (!go) s.SetCancel(true);
  };
  t.Test();
  running_ = nullptr;
  return passed;
}

std::int32_t TUnzipRun::Run() {
  archive_ = RequestString(req_.ArchiveName);
  password_ = RequestString(req_.Password).substr(0, kMaxLibraryPassword);
  passwordRequests_ = std::clamp(req_.PasswordReqCount, 0, kMaxPasswordRequests);
  for (std::int32_t i = 0; req_.Specs && i < req_.SpecCount; ++i) {
    std::string spec = RequestString(req_.Specs[i].FileSpec);
    if (!spec.empty()) specs_.push_back(std::move(spec));
  }
  if (specs_.empty()) specs_.push_back("*.*");

  std::int32_t result = 0;
  if (archive_.empty() || !platform::FileExists(archive_)) {
    cb_.Message("Archive not found: " + archive_, engine::kErrFileNotFound);
  } else if (ListMembers()) {
    result = req_.TestOnly ? Test() : Extract();
  }
  cb_.Send(caEndOfBatch, 0, 0, "");
  return result;
}

}  // namespace
}  // namespace zipbridge::lib

extern "C" {

std::int32_t TESSALY_ZIPLIB_CALL GetUnzDllVersion() { return zipbridge::kLibraryVersion; }

std::int32_t TESSALY_ZIPLIB_CALL UnzDllExec(zipbridge::TUnzipRequest* request) {
  // Nothing may unwind into the caller's frame.
  try {
    if (!request || request->Version != zipbridge::kRequestVersion ||
        request->Trailer != zipbridge::kRequestTrailer)
      return 0;
    zipbridge::lib::TUnzipRun run(*request);
    return run.Run();
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
