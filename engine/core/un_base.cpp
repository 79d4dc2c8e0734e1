// The extraction frame.
#include "engine/core/un_base.h"

#include <algorithm>

#include "engine/core/dates.h"
#include "engine/core/helpers.h"
#include "engine/core/safe_path.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/yield.h"

namespace engine {

namespace {
constexpr std::size_t kBlockSize = 32768;

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && !platform::IsPathSeparator(dir.back())) dir += platform::kPathSeparator;
  return dir;
}
}  // namespace

TUnBase::TUnBase() = default;

void TUnBase::SetExtractDir(std::string_view value) {
  if (!value.empty())
    extractDir_ = WithTrailingSeparator(platform::ToNativeSeparators(value));
  else if (!ArchiveFile().empty())
    extractDir_ = WithTrailingSeparator(platform::DirectoryPart(ArchiveFile()));
  else
    extractDir_.clear();
}

int TUnBase::Extract() { return Run(0); }
int TUnBase::Verify() { return Run(7); }

int TUnBase::Run(std::uint8_t outputMode) {
  SetCurrentComponent(this);
  Count = 0;
  latestDate_ = 0;
  totalBytes_ = remainingBytes_ = 0;
  ProgressByFile = ProgressByArchive = 0;
  failedCount_ = 0;
  SetCancel(false);
  encrypted_ = false;
  ProgressProc = [this] {
    platform::YieldToHost();
    Fire(OnProgress, ProgressByFile, ProgressByArchive);
  };
  if (CpuType == TCpuType::cpt80486) CpuType = TCpuType::cptAuto;
  archiveName_ = ArchiveFile();
  OutputMode = outputMode;
  InputMode = 0;

  if (ArchiveFile().empty()) RaiseError(ArchiveFile(), "", "0", kErrFileNotFound);
  if (!IsExtractable(ArcType())) RaiseError(ArchiveFile(), "", "0", kErrInvalidArcType);
  TFileStream archive;
  if (!OpensArchiveItself()) {
    if (!archive.Open(ArchiveFile(), platform::TFileAccess::faRead,
                      platform::TShareMode::smDenyWrite))
      RaiseError(ArchiveFile(), "", "0", kErrOpeningFile);
    archive_ = &archive;
    ArchiveStream = &archive;
  }

  Fire(OnActivate);
  Password.clear();
  outputName_.clear();
  items_.clear();
  if (OnElapsedTime) timer_.Start();
  try {
    ExtractArchive(archive_);
  } catch (const EBase&) {
    // Reported through OnError where it was raised; the walk ends here.
  }
  if (outFile_.IsOpen()) outFile_.Close();
  if (timer_.Running()) {
    timer_.Stop();
    Fire(OnElapsedTime, timer_.Result());
  }
  Fire(OnDeactivate);
  items_.clear();
  archive_ = nullptr;
  ArchiveStream = nullptr;
  OutputStream = nullptr;
  if (archive.IsOpen()) archive.Close();
  if (ArchiveFile() != archiveName_) SetArchiveFile(archiveName_);
  return Count;
}

void TUnBase::AddItem(TExtractItem item) {
  totalBytes_ += item.UnpackedSize;
  remainingBytes_ += item.UnpackedSize;
  latestDate_ = std::max(latestDate_, item.DosDateTime);
  items_.push_back(std::move(item));
}

void TUnBase::SkipItem(const TExtractItem& item) {
  remainingBytes_ -= item.UnpackedSize;
  Progress(0, 0, totalBytes_, remainingBytes_);
}

void TUnBase::MemberProgress(std::int64_t done, std::int64_t size) {
  Progress(done, size, totalBytes_, remainingBytes_);
}

void TUnBase::MemberFailed(std::string_view fn, int code) {
  ++failedCount_;
  ReportError(fn, "", "0", code);
}

bool TUnBase::BuildEntryName(std::string_view storedName) {
  outputName_.clear();
  if (storedName.empty()) return false;
  if (extractDir_.empty()) SetExtractDir("");
  if (extractDir_.empty()) extractDir_ = WithTrailingSeparator(platform::CurrentDirectory());
  const auto relative = SanitiseMemberPath(storedName, UseStoredDirs);
  if (!relative || relative->empty()) {
    MemberFailed(storedName, kErrInvalidFileName);
    return false;
  }
  outputName_ = JoinUnder(extractDir_, *relative);
  return true;
}

bool TUnBase::ConfirmEntry(std::string& displayName, bool& skip, double memberDate) {
  timer_.Pause();
  if (OnProgress) {
    ProgressByFile = 0;
    Fire(OnProgress, ProgressByFile, ProgressByArchive);
  }
  const bool toFile = OutputMode == 0 || OutputMode == 2;
  const bool exists = OutputMode == 0 && platform::FileExists(outputName_);
  if (ConfirmOverwrites && exists) {
    if (OnFileExists)
      Fire(OnFileExists, outputName_, memberDate, OverwriteMode);
    else
      OverwriteMode = TOverwriteMode::omSkip;
  }
  skip = exists && OverwriteMode == TOverwriteMode::omSkip;
  if (!skip && !Cancel()) {
    ++Count;
    std::string fn = toFile ? outputName_ : displayName;
    bool extract = true;
    Fire(OnBegin, fn, Count, extract);
    if (extract && toFile && OnRenameCompressedFile) Fire(OnRenameCompressedFile, fn);
    if (extract) {
      if (toFile && fn != outputName_) {
        // A host may rename the output, but never out of the target folder.
        const std::string dir = extractDir_;
        if (fn.compare(0, dir.size(), dir) == 0 && SanitiseMemberPath(fn.substr(dir.size()), true))
          outputName_ = fn;
      } else if (!toFile) {
        displayName = fn;
      }
    }
  }
  timer_.Resume();
  return !Cancel();
}

bool TUnBase::OpenOutput() {
  switch (OutputMode) {
    case 0: {
      if (CrossesLink(extractDir_, outputName_)) return false;
      const std::string dir = platform::DirectoryPart(outputName_);
      if (!dir.empty() && !platform::DirectoryExists(dir) &&
          !platform::CreateDirectories(dir, RemoveSlash(extractDir_)))
        return false;
      if (CrossesLink(extractDir_, outputName_)) return false;
      if (!outFile_.Open(outputName_, platform::TFileAccess::faCreate)) {
        const auto attrs = platform::FileAttributes(outputName_);
        if (!attrs || !(*attrs & platform::kAttrReadOnly)) return false;
        platform::SetFileAttributes(outputName_, *attrs & ~platform::kAttrReadOnly);
        if (!outFile_.Open(outputName_, platform::TFileAccess::faCreate)) return false;
      }
      output_ = &outFile_;
      OutputStream = &outFile_;
      return true;
    }
    case 2:
      output_ = callerStream_;
      return callerStream_ != nullptr;
    case 4:
      return false;
    default:
      output_ = nullptr;
      return true;
  }
}

void TUnBase::CloseOutput(std::uint32_t attributes, std::uint32_t dosDateTime) {
  if (OutputMode != 0) {
    output_ = nullptr;
    return;
  }
  const bool wasOpen = outFile_.IsOpen();
  if (wasOpen) outFile_.Close();
  output_ = nullptr;
  OutputStream = nullptr;
  if (!wasOpen) return;
  std::int64_t stamp = 0;
  switch (DateAttribute) {
    case TDateAttribute::daFileDate:
      stamp = DateTimeToUnix(DosDateToDateTime(dosDateTime));
      break;
    case TDateAttribute::daSysDate:
      stamp = platform::UnixTimeNow();
      break;
    case TDateAttribute::daMaxFileDate:
      stamp = DateTimeToUnix(DosDateToDateTime(latestDate_));
      break;
  }
  platform::SetFileModTime(outputName_, stamp);
  if (RestoreFileAttr && attributes != 32)
    platform::SetFileAttributes(outputName_, attributes & (platform::kAttrReadOnly |
                                                           platform::kAttrHidden |
                                                           platform::kAttrSystem |
                                                           platform::kAttrArchive));
}

void TUnBase::CopyStored(std::int64_t size, bool decrypt, int crcKind) {
  using enum TArcType;
  const TArcType t = ArcType();
  const bool arj = t == atArj || t == atArjExe;
  const bool pk = t == atBh || t == atBhExe || t == atJar || t == atZip || t == atZipExe ||
                  t == atZipMV;
  copyBuffer_.resize(static_cast<std::size_t>(std::min<std::int64_t>(size, kBlockSize)) + 1);
  std::int64_t left = size;
  while (left > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlockSize));
    const std::int64_t got =
        ReadBlock(archive_, want, kCrcNone, arj && decrypt, copyBuffer_.data());
    if (got <= 0) break;
    const auto n = static_cast<std::size_t>(got);
    WriteBlock(output_, true, n, crcKind, pk && decrypt, copyBuffer_.data());
    left -= got;
    remainingBytes_ -= got;
    MemberProgress(size - left, size);
    if (Cancel()) break;
  }
}

void TUnBase::Verdict(bool pass, std::string_view storedName) {
  if (!pass) ++failedCount_;
  const std::string fn = (OutputMode == 0 || OutputMode == 2) ? outputName_ : std::string(storedName);
  if (OnEnd)
    Fire(OnEnd, fn, pass);
  else if (!pass)
    ReportError(fn, "", "0", kErrCrcCheck);
}

TPasswordResult TUnBase::ObtainPassword(const std::uint8_t (&header)[12], std::uint16_t flags,
                                        std::uint32_t dosDateTime, std::uint32_t crc) {
  auto check = [&](const std::string& pw) {
    return State.Cipher.CheckCryptHeader(header, flags, pw, dosDateTime, crc);
  };
  if (check(Password)) return TPasswordResult::prOk;
  for (const std::string& pw : Passwords) {
    if (check(pw)) {
      Password = pw;
      return TPasswordResult::prOk;
    }
  }
  if (!OnGetPassword) {
    ReportError(outputName_, "OnGetPassword", "0", kErrEventNotAssigned);
    ++failedCount_;
    return TPasswordResult::prSkip;
  }
  bool tryAgain = true;
  for (int attempt = 0; attempt < PasswordAttempts && tryAgain; ++attempt) {
    timer_.Pause();
    Fire(OnGetPassword, outputName_, Password, tryAgain);
    timer_.Resume();
    if (!tryAgain && Password.empty()) break;
    if (check(Password)) {
      Passwords.insert(Passwords.begin(), Password);
      return TPasswordResult::prOk;
    }
    Password.clear();
    ReportError(outputName_, "", "0", kErrInvalidPassword);
  }
  ++failedCount_;
  ReportError(outputName_, "", "0", kErrPasswordFailed);
  return TPasswordResult::prGiveUp;
}

}  // namespace engine
