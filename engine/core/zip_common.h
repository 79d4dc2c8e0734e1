// The base of every archive engine: archive and type, options, events, the block layer with
// running checksums and ciphers, error reporting, progress and member selection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/cipher.h"
#include "engine/core/disk_manager.h"
#include "engine/core/errors.h"
#include "engine/core/stream.h"
#include "engine/core/types.h"

namespace engine {

class TZipCommon;

// Values of one archive member, valid during OnRead. Sizes are 64-bit inside the program.
struct TArchiveEntry {
  std::string FileName;             // stored path, "\" between folders
  std::int64_t PackedSize = 0;
  std::int64_t UnpackedSize = 0;
  std::int32_t Ratio = 0;           // percentage saved
  std::uint32_t CRC = 0;            // CRC-16 or CRC-32 by format; 0 where none
  double DateTime = 29221.0;        // day count; 1980-01-01 when missing or invalid
  std::uint16_t MethodCode = 0;
  std::string MethodName;
  bool Encrypted = false;
  std::uint16_t VersionMadeBy = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint16_t InternalAttr = 0;
  std::uint32_t ExternalAttr = 0;   // DOS bits: 0x10 directory, 0x20 archive
};

// Elapsed time of an operation, excluding prompts.
class TztvTimer {
 public:
  void Start();
  void Pause();
  void Resume();
  void Stop();
  bool Running() const { return running_; }
  float Result() const { return result_; }

 private:
  bool running_ = false;
  bool paused_ = false;
  std::uint64_t start_ = 0, pauseTick_ = 0;
  float result_ = 0;
};

// Per-engine state that the original design kept program-wide: running checksum registers
// and cipher keys. Only one member is processed at a time by one engine.
struct TEngineState {
  std::uint16_t Crc16Register = 0;
  std::uint32_t Crc32Register = 0xFFFFFFFFu;
  TPkCipher Cipher;
  TArjGarble Garble;
  void Reset() { *this = TEngineState{}; }
};

// ZIP structure flags of detection.
enum : std::uint8_t {
  kZipEndFound = 1,       // end-of-central-directory record found
  kZipCentralFound = 8,   // a central header where the end record points
  kZipLocalFound = 16,    // a local header where the first central header points
};

// Archive, type detection and the small pieces of state every engine holds.
class TztvMain {
 public:
  TztvMain();
  virtual ~TztvMain();
  TztvMain(const TztvMain&) = delete;
  TztvMain& operator=(const TztvMain&) = delete;

  const std::string& ArchiveFile() const { return archiveFile_; }
  // Stores the name and runs type detection.
  virtual void SetArchiveFile(std::string_view name);
  TArcType ArcType() const { return arcType_; }
  // Whatever is assigned, detection runs again on the current archive.
  virtual void SetArcType(TArcType type);

  // 0-based position of the archive data for the ZIP family; first header + 1 otherwise.
  std::int64_t StartOffset() const { return startOffset_; }
  std::int64_t ArchiveSize() const { return archiveSize_; }
  std::uint8_t ZipFlags() const { return zipFlags_; }
  const std::uint8_t* EndRecordProbe() const { return endProbe_; }
  const std::uint8_t* CentralProbe() const { return centralProbe_; }
  const std::uint8_t* LocalProbe() const { return localProbe_; }

  int ZipCmntBufSize() const { return zipCmntBufSize_; }
  void SetZipCmntBufSize(int size);

  std::vector<std::string> Passwords;
  int PasswordAttempts = 3;
  bool UseStoredDirs = true;
  bool RestoreFileAttr = true;

  // Multi-volume state: the letter of generated volume extensions and the volume number.
  char VolumeLetter() const { return volumeLetter_; }
  std::int32_t VolumeNumber() const { return volumeNumber_; }
  void SetVolumeNumber(std::int32_t n) { volumeNumber_ = n; }
  // Name of volume `number` of the set `name` belongs to ('set.r05', 'set.a12', 'set.123').
  virtual std::string VolumeFileName(std::string_view name, int number) const;

  // Runs detection on ArchiveFile; never raises.
  void DetectArchiveType();
  // Reads the drive facts of ArchiveFile that detection and spanned sets need.
  void RefreshDrive();
  bool IsRemovableDrive() const { return removableDrive_; }
  TDiskManager& DiskManager() { return diskManager_; }
  const std::string& VolumeLabel() const { return volumeLabel_; }

 protected:
  friend class TDetector;
  std::string archiveFile_;
  TArcType arcType_ = TArcType::atNA;
  std::int64_t startOffset_ = 0;
  std::int64_t archiveSize_ = 0;
  std::uint8_t zipFlags_ = 0;
  std::uint8_t endProbe_[22] = {};
  std::uint8_t centralProbe_[46] = {};
  std::uint8_t localProbe_[30] = {};
  int zipCmntBufSize_ = 32000;
  char volumeLetter_ = 'r';
  std::int32_t volumeNumber_ = 0;
  // True when the archive's drive is removable (spanned ZIP sets); from the platform.
  bool removableDrive_ = false;
  std::string volumeLabel_;
  TDiskManager diskManager_;

 private:
  void SetupVolumeNaming();
};

// The block layer: input and output modes and the block procedures, which a component may
// replace (the archive test substitutes a writer that only checks).
class TReadWriteObj : public TztvMain {
 public:
  TReadWriteObj();

  // Transfer modes: 0 the archive or output file, 2 the stream passed by the caller,
  // 4 memory (input only), anything else on output writes nothing.
  std::uint8_t InputMode = 0;
  std::uint8_t OutputMode = 0;

  // Reads up to `count` bytes; decrypts by ArcType when `decrypt`; updates the running
  // checksum `crcKind` (16, 32, other none). Returns the count read, -1 on a read error.
  std::int64_t ReadBlock(IStream* stream, std::size_t count, int crcKind, bool decrypt,
                         std::uint8_t* buffer) {
    return ReadBlockProc(stream, count, crcKind, decrypt, buffer);
  }
  // Decoders' output: decrypts when `decrypt` and `doCrc`, writes, updates the checksum.
  // Raises E_RAISE 25136 on a short write.
  std::int64_t WriteBlock(IStream* stream, bool doCrc, std::size_t count, int crcKind,
                          bool decrypt, std::uint8_t* buffer) {
    return WriteBlockProc(stream, doCrc, count, crcKind, decrypt, buffer);
  }
  // Writers' output: encrypts when `encrypt` and `doCrc`, then as WriteBlock.
  std::int64_t WriteEncryptedBlock(IStream* stream, bool doCrc, std::size_t count,
                                   int crcKind, bool encrypt, std::uint8_t* buffer) {
    return WriteEncryptedBlockProc(stream, doCrc, count, crcKind, encrypt, buffer);
  }

  using TReadBlockProc =
      std::function<std::int64_t(IStream*, std::size_t, int, bool, std::uint8_t*)>;
  using TWriteBlockProc =
      std::function<std::int64_t(IStream*, bool, std::size_t, int, bool, std::uint8_t*)>;
  TReadBlockProc ReadBlockProc;
  TWriteBlockProc WriteBlockProc;
  TWriteBlockProc WriteEncryptedBlockProc;

  // Default procedures.
  std::int64_t DefaultReadBlock(IStream* stream, std::size_t count, int crcKind, bool decrypt,
                                std::uint8_t* buffer);
  std::int64_t DefaultWriteBlock(IStream* stream, bool doCrc, std::size_t count, int crcKind,
                                 bool decrypt, std::uint8_t* buffer);
  std::int64_t DefaultWriteEncryptedBlock(IStream* stream, bool doCrc, std::size_t count,
                                          int crcKind, bool encrypt, std::uint8_t* buffer);

  // The archive file (input mode 0), the output file (output mode 0) and the memory
  // source of input mode 4, as the running operation set them.
  IStream* ArchiveStream = nullptr;
  IStream* OutputStream = nullptr;
  const std::uint8_t* MemoryInput = nullptr;

  // Only the GZIP engine publishes it: LF not preceded by CR is written as CR LF.
  bool AsciiTranslation = false;

  TEngineState State;
  void UpdateCrc(int crcKind, const std::uint8_t* data, std::size_t count);

 private:
  std::int64_t WriteOut(IStream* stream, std::size_t count, const std::uint8_t* buffer);
  std::vector<std::uint8_t> translateBuffer_;
};

// Event types: the sending engine first, answers by reference.
using TNotifyEvent = std::function<void(TZipCommon& sender)>;
using TOnBegin = std::function<void(TZipCommon& sender, const std::string& fn, int recNum,
                                    bool& extract)>;
using TOnEnd = std::function<void(TZipCommon& sender, const std::string& fn, bool crcPass)>;
using TOnError = std::function<void(TZipCommon& sender, const std::string& fn,
                                    const std::string& msgEx, const std::string& volumeId,
                                    int eCode)>;
using TOnElapsedTime = std::function<void(TZipCommon& sender, float elapsedTime)>;
using TOnFileExists = std::function<void(TZipCommon& sender, const std::string& fn,
                                         double fileDate, TOverwriteMode& overwriteMode)>;
using TOnGetPassword = std::function<void(TZipCommon& sender, const std::string& fn,
                                          std::string& password, bool& tryAgain)>;
using TOnProgress = std::function<void(TZipCommon& sender, std::uint8_t progressByFile,
                                       std::uint8_t progressByArchive)>;
using TOnRead = std::function<void(TZipCommon& sender, std::int64_t offset, int filenum)>;
using TOnRenameFile = std::function<void(TZipCommon& sender, std::string& filename)>;
using TOnNextVolume = std::function<void(TZipCommon& sender, std::string& volumeName,
                                         const std::string& volumeId, bool fExists,
                                         bool& cancel)>;
using TOnGetZipDisk = std::function<void(TZipCommon& sender, bool& cancel)>;
using TOnGetZipNextDisk = std::function<void(TZipCommon& sender, const std::string& volumeName,
                                             bool& cancel)>;
using TOnCorruptZipHeader = std::function<void(TZipCommon& sender, std::uint8_t headFlag,
                                               bool& cancel)>;
using TOnReplaceFile = std::function<void(
    TZipCommon& sender, const std::string& oldFn, const std::string& fn, double oldDate,
    double newDate, std::int64_t oldFileSize, std::int64_t newFileSize, std::uint32_t oldAttr,
    std::uint32_t newAttr, bool& replace)>;
using TOnNonWriteableArchive = std::function<void(TZipCommon& sender,
                                                  const std::string& archiveFile,
                                                  bool& writeToFile)>;

// Options, events, counters and the current member of every engine.
class TZipCommon : public TReadWriteObj {
 public:
  TZipCommon();
  ~TZipCommon() override;

  // File specifications: empty entries dropped, "/" becomes "\"; folder parts are kept.
  const std::vector<std::string>& FileSpec() const { return fileSpec_; }
  void SetFileSpec(const std::vector<std::string>& spec);
  const std::vector<std::string>& ExcludeSpec() const { return excludeSpec_; }
  void SetExcludeSpec(const std::vector<std::string>& spec);

  // The temporary folder; the system's when empty or gone. Ends with the separator.
  std::string TempDir() const;
  void SetTempDir(std::string_view dir);

  TDeleteOptions DeleteOptions = TDeleteOptions::doAllowUndo;
  bool ConfirmOverwrites = true;
  TOverwriteMode OverwriteMode = TOverwriteMode::omOverwrite;
  TDateAttribute DateAttribute = TDateAttribute::daFileDate;

  bool Cancel() const { return cancel_; }
  // Setting the flag also lets the host's message pump run once.
  void SetCancel(bool value);

  // Events.
  TNotifyEvent OnActivate, OnDeactivate;
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnError OnError;
  TOnElapsedTime OnElapsedTime;
  TOnFileExists OnFileExists;
  TOnGetPassword OnGetPassword;
  TOnProgress OnProgress;
  TOnRead OnRead;
  TOnRenameFile OnRenameCompressedFile;
  TOnNextVolume OnNextVolume;
  TOnGetZipDisk OnGetZipFirstDisk, OnGetZipLastDisk;
  TOnGetZipNextDisk OnGetZipNextDisk;
  TOnCorruptZipHeader OnCorruptZipHeader;
  TOnReplaceFile OnReplaceFile;
  TOnNonWriteableArchive OnNonWriteableArchive;

  // The current member while OnRead runs, and the run's totals.
  TArchiveEntry Entry;
  int Count = 0;
  std::int64_t TotalPackedSize = 0;
  std::int64_t TotalUnpackedSize = 0;
  int TotalRatio = 0;
  std::string CurrentFileName;
  std::uint8_t ProgressByFile = 0, ProgressByArchive = 0;

  // Selection of members by FileSpec and ExcludeSpec.
  bool IsSelected(std::string_view name, bool namesOnly) const;
  // True when a scan may stop after the first selected member.
  bool CanStopAfterFirst() const;

  // Reports through OnError (unless cancelled) and throws E_RAISE.
  [[noreturn]] void RaiseError(std::string_view fn, std::string_view msgEx,
                               std::string_view volumeId, int code);
  // Reports through OnError (unless cancelled) and returns.
  void ReportError(std::string_view fn, std::string_view msgEx, std::string_view volumeId,
                   int code);

  // Computes and raises OnProgress (through ProgressProc, which frames set per run).
  void Progress(std::int64_t bytesDoneOfFile, std::int64_t fileSize, std::int64_t total,
                std::int64_t remaining);
  std::function<void()> ProgressProc;

  TztvTimer& Timer() { return timer_; }

  // Called by each operation as it starts and ends: current component, Cancel cleared,
  // counters reset, OnActivate; and OnDeactivate with the elapsed time.
  void BeginOperation();
  void EndOperation();

  // Fires an event when assigned.
  template <class F, class... A>
  void Fire(const F& event, A&&... args) {
    if (event) event(*this, std::forward<A>(args)...);
  }

 protected:
  std::vector<std::string> fileSpec_, excludeSpec_;
  std::string tempDir_;
  bool cancel_ = false;
  TztvTimer timer_;
};

// Symmetric wildcard match ("*" and "?" on either side, case-insensitive), in time bounded by
// the product of the lengths.
bool WildcardMatch(std::string_view pattern, std::string_view name, bool namesOnly);

// The engine whose operation runs now (the one error reporting asks about Cancel).
TZipCommon* CurrentComponent();
void SetCurrentComponent(TZipCommon* engine);

}  // namespace engine
