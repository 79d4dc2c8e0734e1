// The archive test.
#include "engine/decoders/zip_check.h"

#include <algorithm>

#include "engine/decoders/un_gzip.h"
#include "engine/decoders/un_lha.h"
#include "engine/decoders/un_tar.h"
#include "engine/decoders/un_zip.h"

namespace engine {

std::unique_ptr<TUnBase> MakeTestDecoder(TArcType type) {
  using enum TArcType;
  // One row per kind whose decoder is in the program; the others cannot be tested yet.
  switch (type) {
    case atZip: case atZipExe:
      return std::make_unique<TUnZIP>();
    case atJar:
      return std::make_unique<TUnJar>();
    case atLha: case atLhaExe: case atLzh: case atLzhExe:
      return std::make_unique<TUnLHA>();
    case atTar:
      return std::make_unique<TUnTAR>();
    case atGZip:
      return std::make_unique<TUnGZIP>();
    default:
      return nullptr;
  }
}

TZipCheck::TZipCheck() = default;

void TZipCheck::SetCancel(bool value) {
  TZipCommon::SetCancel(value);
  if (running_) running_->SetCancel(value);
}

int TZipCheck::Test() {
  failedCount_ = 0;
  Count = 0;
  SetCurrentComponent(this);
  cancel_ = false;
  std::unique_ptr<TUnBase> decoder;
  if (!ArchiveFile().empty() && IsTestable(ArcType())) decoder = MakeTestDecoder(ArcType());
  if (!decoder) {
    ReportError(ArchiveFile(), "", "0", kErrInvalidArcType);
    return 0;
  }
  if (!OnStatus) {
    ReportError(ArchiveFile(), "OnStatus", "0", kErrEventNotAssigned);
    return 0;
  }
  if (OnElapsedTime) timer_.Start();

  TUnBase& d = *decoder;
  // The test sink: decrypts when asked, keeps the checksum, and writes nothing.
  d.WriteBlockProc = [&d](IStream*, bool doCrc, std::size_t count, int crcKind, bool decrypt,
                          std::uint8_t* buffer) -> std::int64_t {
    using enum TArcType;
    const TArcType t = d.ArcType();
    if (decrypt && doCrc &&
        (t == atBh || t == atBhExe || t == atJar || t == atZip || t == atZipExe || t == atZipMV))
      d.State.Cipher.DecryptBlock(buffer, count);
    if (doCrc) d.UpdateCrc(crcKind, buffer, count);
    return static_cast<std::int64_t>(count);
  };
  d.UseStoredDirs = false;
  d.SetArchiveFile(ArchiveFile());
  d.SetFileSpec(FileSpec());
  d.SetExcludeSpec(ExcludeSpec());
  d.Passwords = Passwords;
  d.PasswordAttempts = PasswordAttempts;
  d.OnBegin = OnBegin;
  d.OnActivate = OnActivate;
  d.OnDeactivate = OnDeactivate;
  d.OnError = OnError;
  d.OnGetPassword = OnGetPassword;
  d.OnProgress = OnProgress;
  d.OnCorruptZipHeader = OnCorruptZipHeader;
  d.OnNextVolume = OnNextVolume;
  d.OnEnd = [this](TZipCommon&, const std::string& fn, bool pass) {
    if (!pass) ++failedCount_;
    if (OnStatus) OnStatus(*this, fn, pass);
    if (OnEnd) OnEnd(*this, fn);
  };
  running_ = &d;
  int count = 0;
  try {
    count = d.Verify();
  } catch (const EBase&) {
    // Reported by the decoder through OnError.
    ++failedCount_;
  }
  running_ = nullptr;
  // Members refused before decoding (bad local header, no password) have no status.
  failedCount_ = std::max(failedCount_, d.FailedCount());
  Passwords = d.Passwords;
  Count = count;
  SetCurrentComponent(this);
  if (timer_.Running()) {
    timer_.Stop();
    Fire(OnElapsedTime, timer_.Result());
  }
  return count;
}

}  // namespace engine
