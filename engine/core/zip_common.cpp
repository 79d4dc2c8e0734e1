// The engine base: archive assignment, the block layer, errors, progress and selection.
#include "engine/core/zip_common.h"

#include <algorithm>
#include <cctype>

#include "engine/core/crc.h"
#include "engine/core/dates.h"
#include "engine/core/helpers.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/clock.h"
#include "platform/yield.h"

namespace engine {

namespace {
thread_local TZipCommon* gCurrent = nullptr;

std::string FileNamePart(std::string_view name) {
  const auto slash = name.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

std::vector<std::string> NormaliseSpec(const std::vector<std::string>& spec) {
  std::vector<std::string> out;
  out.reserve(spec.size());
  for (std::string entry : spec) {
    if (entry.empty()) continue;
    std::replace(entry.begin(), entry.end(), '/', '\\');
    out.push_back(std::move(entry));
  }
  return out;
}
}  // namespace

TZipCommon* CurrentComponent() { return gCurrent; }
void SetCurrentComponent(TZipCommon* engine) { gCurrent = engine; }

// ---- TztvTimer ----

void TztvTimer::Start() {
  start_ = platform::TickCountMs();
  running_ = true;
  paused_ = false;
}
void TztvTimer::Pause() {
  if (running_ && !paused_) {
    pauseTick_ = platform::TickCountMs();
    paused_ = true;
  }
}
void TztvTimer::Resume() {
  if (running_ && paused_) {
    start_ += platform::TickCountMs() - pauseTick_;
    paused_ = false;
  }
}
void TztvTimer::Stop() {
  if (!running_) return;
  Resume();
  result_ = static_cast<float>(platform::TickCountMs() - start_) * 0.001f;
  running_ = false;
}

// ---- TztvMain ----

TztvMain::TztvMain() = default;
TztvMain::~TztvMain() = default;

void TztvMain::SetArchiveFile(std::string_view name) {
  archiveFile_ = std::string(name);
  startOffset_ = 0;
  if (archiveFile_.empty()) {
    arcType_ = TArcType::atNA;
    return;
  }
  DetectArchiveType();
  SetupVolumeNaming();
}

void TztvMain::SetArcType(TArcType) {
  DetectArchiveType();
}

void TztvMain::SetZipCmntBufSize(int size) {
  zipCmntBufSize_ = std::clamp(size, 2000, 32767);
}

void TztvMain::RefreshDrive() {
  removableDrive_ = false;
  volumeLabel_.clear();
  if (archiveFile_.empty() || !diskManager_.Refresh(archiveFile_)) return;
  removableDrive_ = diskManager_.IsRemovable();
  volumeLabel_ = diskManager_.VolumeLabel();
}

void TztvMain::SetupVolumeNaming() {
  using enum TArcType;
  volumeNumber_ = 0;
  if (arcType_ != atACE && arcType_ != atArj && arcType_ != atRar && arcType_ != atRarExe)
    return;
  volumeLetter_ = arcType_ == atACE ? 'C' : (arcType_ == atArj ? 'a' : 'r');
  const std::string base = FileNamePart(archiveFile_);
  const auto dot = base.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : base.substr(dot + 1);
  if (ext.empty()) ext = arcType_ == atACE ? "Ace" : (arcType_ == atArj ? "Arj" : "Rar");
  bool digit = false;
  std::int64_t number = 0;
  for (std::size_t i = ext.size(); i-- > 0;) {
    if (!std::isdigit(static_cast<unsigned char>(ext[i]))) continue;
    digit = true;
    number = 0;
    bool allDigits = true;
    for (std::size_t k = i; k < ext.size(); ++k) {
      if (!std::isdigit(static_cast<unsigned char>(ext[k]))) {
        allDigits = false;
        break;
      }
      number = std::min<std::int64_t>(number * 10 + (ext[k] - '0'), 1000000);
    }
    if (!allDigits) number = 0;
    if (i == ext.size() - 1) volumeLetter_ = ext[0];
  }
  if (!digit)
    volumeNumber_ = arcType_ == atArj ? 1 : 0;
  else
    volumeNumber_ = static_cast<std::int32_t>(number + 1);
}

std::string TztvMain::VolumeFileName(std::string_view name, int number) const {
  if (name.empty() || number < 0) return {};
  const auto slash = name.find_last_of("/\\");
  const std::string dir(slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1));
  std::string file(slash == std::string_view::npos ? name : name.substr(slash + 1));
  const auto dot = file.find('.');
  if (dot != std::string::npos) file.resize(dot);
  std::string ext = ".";
  if (number <= 9) {
    ext += volumeLetter_;
    ext += '0';
    ext += static_cast<char>('0' + number);
  } else if (volumeNumber_ >= 100) {
    ext += std::to_string(number);
  } else {
    ext += volumeLetter_;
    ext += std::to_string(number);
  }
  return dir + file + ext;
}

// ---- TReadWriteObj ----

TReadWriteObj::TReadWriteObj() {
  ReadBlockProc = [this](IStream* s, std::size_t n, int crc, bool dec, std::uint8_t* b) {
    return DefaultReadBlock(s, n, crc, dec, b);
  };
  WriteBlockProc = [this](IStream* s, bool doCrc, std::size_t n, int crc, bool dec,
                          std::uint8_t* b) { return DefaultWriteBlock(s, doCrc, n, crc, dec, b); };
  WriteEncryptedBlockProc = [this](IStream* s, bool doCrc, std::size_t n, int crc, bool enc,
                                   std::uint8_t* b) {
    return DefaultWriteEncryptedBlock(s, doCrc, n, crc, enc, b);
  };
}

void TReadWriteObj::UpdateCrc(int crcKind, const std::uint8_t* data, std::size_t count) {
  if (crcKind == kCrc16)
    State.Crc16Register = UpdateCrc16(State.Crc16Register, data, count);
  else if (crcKind == kCrc32)
    State.Crc32Register = UpdateCrc32(State.Crc32Register, data, count);
}

std::int64_t TReadWriteObj::DefaultReadBlock(IStream* stream, std::size_t count, int crcKind,
                                             bool decrypt, std::uint8_t* buffer) {
  using enum TArcType;
  if (count == 0) return 0;
  std::int64_t got = -1;
  switch (InputMode) {
    case 0:
      got = ArchiveStream ? ArchiveStream->Read(buffer, count) : -1;
      break;
    case 4:
      if (!MemoryInput) return -1;
      std::copy(MemoryInput, MemoryInput + count, buffer);
      MemoryInput += count;
      got = static_cast<std::int64_t>(count);
      break;
    default:
      got = stream ? stream->Read(buffer, count) : -1;
      break;
  }
  if (got <= 0) return got;
  const auto n = static_cast<std::size_t>(got);
  if (decrypt) {
    switch (arcType_) {
      case atArj: case atArjExe:
        State.Garble.Apply(buffer, n);
        break;
      case atBh: case atBhExe: case atJar: case atZip: case atZipExe:
        State.Cipher.DecryptBlock(buffer, n);
        break;
      default:
        break;
    }
  }
  UpdateCrc(crcKind, buffer, n);
  return got;
}

std::int64_t TReadWriteObj::WriteOut(IStream* stream, std::size_t count,
                                     const std::uint8_t* buffer) {
  IStream* dest = nullptr;
  switch (OutputMode) {
    case 0: dest = OutputStream; break;
    case 1: case 2: case 3: dest = stream; break;
    default: return static_cast<std::int64_t>(count);  // a mode that discards the data
  }
  if (!dest) return 0;
  if (!AsciiTranslation) {
    const std::int64_t w = dest->Write(buffer, count);
    return w;
  }
  translateBuffer_.clear();
  translateBuffer_.reserve(count + count / 8 + 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (buffer[i] == '\n' && (i == 0 || buffer[i - 1] != '\r')) translateBuffer_.push_back('\r');
    translateBuffer_.push_back(buffer[i]);
  }
  const std::int64_t w = dest->Write(translateBuffer_.data(), translateBuffer_.size());
  // Every source byte is accounted for when the translated buffer went out whole.
  return w == static_cast<std::int64_t>(translateBuffer_.size()) ? static_cast<std::int64_t>(count)
                                                                  : w;
}

std::int64_t TReadWriteObj::DefaultWriteBlock(IStream* stream, bool doCrc, std::size_t count,
                                              int crcKind, bool decrypt, std::uint8_t* buffer) {
  using enum TArcType;
  if (decrypt && doCrc) {
    switch (arcType_) {
      case atBh: case atBhExe: case atJar: case atZip: case atZipExe: case atZipMV:
        State.Cipher.DecryptBlock(buffer, count);
        break;
      default:
        break;
    }
  }
  if (WriteOut(stream, count, buffer) != static_cast<std::int64_t>(count))
    throw E_RAISE(kErrWritingFile);
  if (doCrc) UpdateCrc(crcKind, buffer, count);
  return static_cast<std::int64_t>(count);
}

std::int64_t TReadWriteObj::DefaultWriteEncryptedBlock(IStream* stream, bool doCrc,
                                                       std::size_t count, int crcKind,
                                                       bool encrypt, std::uint8_t* buffer) {
  using enum TArcType;
  // The checksum covers the plain bytes, so it is taken before encryption.
  if (doCrc) UpdateCrc(crcKind, buffer, count);
  if (encrypt && doCrc) {
    switch (arcType_) {
      case atBh: case atBhExe: case atJar: case atZip: case atZipExe: case atZipMV:
        State.Cipher.EncryptBlock(buffer, count);
        break;
      default:
        break;
    }
  }
  if (WriteOut(stream, count, buffer) != static_cast<std::int64_t>(count))
    throw E_RAISE(kErrWritingFile);
  return static_cast<std::int64_t>(count);
}

// ---- TZipCommon ----

TZipCommon::TZipCommon() = default;

TZipCommon::~TZipCommon() {
  if (CurrentComponent() == this) SetCurrentComponent(nullptr);
}

void TZipCommon::SetFileSpec(const std::vector<std::string>& spec) {
  fileSpec_ = NormaliseSpec(spec);
}
void TZipCommon::SetExcludeSpec(const std::vector<std::string>& spec) {
  excludeSpec_ = NormaliseSpec(spec);
}

void TZipCommon::SetCancel(bool value) {
  cancel_ = value;
  platform::YieldToHost();
}

bool TZipCommon::IsSelected(std::string_view name, bool namesOnly) const {
  bool selected = false;
  for (const std::string& entry : fileSpec_) {
    if (entry == "*.*" || WildcardMatch(entry, name, namesOnly)) {
      selected = true;
      break;
    }
  }
  if (!selected) return false;
  for (const std::string& entry : excludeSpec_) {
    if (entry == "*.*" || WildcardMatch(entry, name, false)) return false;
  }
  return true;
}

bool TZipCommon::CanStopAfterFirst() const {
  return fileSpec_.size() == 1 && fileSpec_[0].find('*') == std::string::npos;
}

void TZipCommon::ReportError(std::string_view fn, std::string_view msgEx,
                             std::string_view volumeId, int code) {
  timer_.Pause();
  // The engine that reports is the one whose operation runs (one at a time per thread).
  if (!Cancel())
    Fire(OnError, std::string(fn), std::string(msgEx), std::string(volumeId), code);
  timer_.Resume();
}

void TZipCommon::RaiseError(std::string_view fn, std::string_view msgEx,
                            std::string_view volumeId, int code) {
  ReportError(fn, msgEx, volumeId, code);
  throw E_RAISE(code, std::string(fn), std::string(msgEx), std::string(volumeId));
}

void TZipCommon::Progress(std::int64_t bytesDoneOfFile, std::int64_t fileSize,
                          std::int64_t total, std::int64_t remaining) {
  ProgressByFile = static_cast<std::uint8_t>(Percent(bytesDoneOfFile, fileSize));
  ProgressByArchive = static_cast<std::uint8_t>(Percent(total - remaining, total));
  if (ProgressProc) ProgressProc();
}

void TZipCommon::BeginOperation() {
  SetCurrentComponent(this);
  cancel_ = false;
  Count = 0;
  TotalPackedSize = TotalUnpackedSize = 0;
  TotalRatio = 0;
  if (OnElapsedTime) timer_.Start();
  Fire(OnActivate);
}

void TZipCommon::EndOperation() {
  Fire(OnDeactivate);
  if (timer_.Running()) {
    timer_.Stop();
    Fire(OnElapsedTime, timer_.Result());
  }
}

std::string TZipCommon::TempDir() const {
  if (tempDir_.empty() || !platform::DirectoryExists(tempDir_)) return platform::TempDirectory();
  return tempDir_;
}

void TZipCommon::SetTempDir(std::string_view dir) {
  tempDir_ = dir.empty() ? std::string() : AppendSlash(dir);
  if (tempDir_.empty() || platform::DirectoryExists(tempDir_)) return;
  const std::string question = tempDir_ + "\r\r" + std::string(ErrorText(kErrDirNotExistCreate));
  if (platform::Confirm(question)) {
    try {
      ForceDirectories(tempDir_);
    } catch (const EBase&) {
    }
  } else {
    tempDir_.clear();
  }
  if (!platform::DirectoryExists(tempDir_)) tempDir_.clear();
}

}  // namespace engine
