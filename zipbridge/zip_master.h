// TZipMaster, the ZIP bridge: how the main window and the dialogs add, delete, extract,
// test, rename and comment ZIP entries. It reads the central directory itself, rewrites the
// archive itself where nothing is compressed (rename, comment), and hands compression,
// deletion, extraction and testing to the two ZIP engine libraries, loaded by name for
// each operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/errors.h"
#include "zipbridge/zip_library.h"

namespace zipbridge {

class TZipMaster;

enum class AddOptsEnum : std::uint8_t {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS,
  AddHiddenFiles, AddArchiveOnly, AddResetArchive, AddEncrypt, AddSeparateDirs, AddDiskSpan,
  AddDiskSpanErase,
};
using AddOpts = std::set<AddOptsEnum>;

enum class ExtrOptsEnum : std::uint8_t { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
using ExtrOpts = std::set<ExtrOptsEnum>;

enum class SFXOptsEnum : std::uint8_t {
  SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize, SFXNoSuccessMsg,
};
using SFXOpts = std::set<SFXOptsEnum>;

enum class OvrOpts : std::uint8_t { OvrConfirm, OvrAlways, OvrNever };
enum class CodePageOpts : std::uint8_t { cpAuto, cpNone, cpOEM };
enum class DeleteOpts : std::uint8_t { htdFinal, htdAllowUndo };

enum class AddStoreExtsEnum : std::uint8_t {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assEXE,
};
using AddStoreExts = std::set<AddStoreExtsEnum>;

// OnProgress kinds.
enum class ProgressType : std::uint8_t {
  NewFile = 0, ProgressUpdate = 1, EndOfBatch = 2, TotalFiles2Process = 3, TotalSize2Process = 4,
};

// Why UNZDLL skipped a file.
using UnZipSkipTypes = TUnZipSkipType;

// One entry of the central directory: the 42 bytes after the central header's signature,
// in the file's order, then the converted name and comment. Sizes and the local header
// offset are widened to 64 bits (ZIP64 archives carry them in an extra field).
struct ZipDirEntry {
  std::uint8_t MadeByVersion = 0;   // version of the specification
  std::uint8_t HostVersionNo = 0;   // host system (0 FAT, 3 Unix, 6 HPFS, 11 NTFS, ...)
  std::uint16_t VersionNeeded = 0;
  std::uint16_t GeneralFlags = 0;
  std::uint16_t CompressionMethod = 0;
  std::uint32_t DosDateTime = 0;    // DOS time low, DOS date high
  std::uint32_t CRC32 = 0;
  std::uint64_t PackedSize = 0;
  std::uint64_t UnpackedSize = 0;
  std::uint16_t FileNameLength = 0;
  std::uint16_t ExtraFieldLength = 0;
  std::uint16_t FileCommentLen = 0;
  std::uint32_t StartOnDisk = 0;
  std::uint16_t IntFileAttrib = 0;
  std::uint32_t ExtFileAttrib = 0;
  std::uint64_t RelOffLocalHdr = 0;
  std::string EntryName;     // UTF-8, "\" between folders
  std::string EntryComment;  // UTF-8
  std::uint8_t IsEncrypted = 0;
};

struct ZipRenameRec {
  std::string Source;        // old name (or folder)
  std::string Dest;          // new name (or folder)
  std::uint32_t DateTime = 0;  // new DOS date-time; 0 keeps the entry's
};

// Raised inside the bridge's own operations and caught again at their end.
class EZipMaster : public engine::EBase {
 public:
  EZipMaster(int id, std::string text, bool display = true)
      : engine::EBase(text), Id(id), Display(display) {}
  int Id;
  bool Display;
};

// The message table of the bridge: the text of `id`, or the "not linked" text.
std::string ZipMessageText(int id);
// The text with its first placeholder ("%d", "%.1d", "%s") filled.
std::string ZipMessageFormat(int id, std::int64_t value);
std::string ZipMessageFormat(int id, std::string_view value);

// Message numbers the bridge uses.
enum : int {
  kZmFatalZipLib = 10101, kZmNoZipFile = 10102, kZmNoMemory = 10103, kZmPasswordsDiffer = 10104,
  kZmSfxHeaderCopy = 10140, kZmRenameSpanned = 10141, kZmNoAddPassword = 10150,
  kZmNoExtractPassword = 10151, kZmPasswordTitle = 10154, kZmSeekList = 10201,
  kZmListUnknown = 10202, kZmStructure = 10203, kZmGarbage = 10204, kZmNoFilesToZip = 10301,
  kZmUnattendedPassword = 10302, kZmSpanFreshen = 10303, kZmAutoSfx = 10304,
  kZmNoDeleteFiles = 10401, kZmFatalUnzipLib = 10501, kZmUnattendedExtract = 10502,
  kZmZipLoaded = 10601, kZmZipExecMissing = 10602, kZmZipVersionMissing = 10603,
  kZmZipNotFound = 10604, kZmUnzipLoaded = 10701, kZmUnzipExecMissing = 10702,
  kZmUnzipVersionMissing = 10703, kZmUnzipNotFound = 10704, kZmInputMissing = 11001,
  kZmOpenFailed = 11002, kZmDriveNotDefined = 11004, kZmCancelled = 11007,
  kZmSeekInput = 11008, kZmCreateFailed = 11009, kZmWriteFailed = 11010, kZmReadEnd = 11011,
  kZmReadLocal = 11012, kZmReadCentral = 11013, kZmLocalSig = 11014, kZmCentralSig = 11015,
  kZmReadLocalName = 11016, kZmReadCentralName = 11017, kZmReadLocalExtra = 11018,
  kZmReadCentralExtra = 11019, kZmReadDescriptor = 11020, kZmReadData = 11021,
  kZmReadFileComment = 11022, kZmReadZipComment = 11023, kZmUnknownRename = 11024,
  kZmTempFailed = 11027, kZmWriteLocal = 11028, kZmWriteCentral = 11029, kZmWriteEnd = 11030,
  kZmNotZip = 11036, kZmFirstDisk = 11037, kZmNthDisk = 11038, kZmSfxSpan = 11041,
  kZmFirstFile = 11045,
  // The bridge's own additions.
  kZmCommentTooLong = 11048, kZmExtractDirFailed = 11049, kZmLibraryTooOld = 11050,
  kZmNotAvailable = 11051,
};

class TZipMaster {
 public:
  TZipMaster();
  ~TZipMaster();
  TZipMaster(const TZipMaster&) = delete;
  TZipMaster& operator=(const TZipMaster&) = delete;

  // ---- published properties ----
  bool Verbose = false;
  bool Trace = false;
  int AddCompLevel = 9;
  AddOpts AddOptions;
  std::string ExtrBaseDir;
  ExtrOpts ExtrOptions;
  SFXOpts SFXOptions{SFXOptsEnum::SFXCheckSize};
  std::vector<std::string> FSpecArgs;
  std::vector<std::string> FSpecArgsExcl;
  bool Unattended = false;
  const std::string& ZipFileName() const { return zipFileName_; }
  // Stores the name and lists the archive.
  void SetZipFileName(std::string_view name);
  const std::string& Password() const { return password_; }
  void SetPassword(std::string_view value);  // at most 255 characters are kept
  std::string SFXPath = "ZipSFX.bin";
  const std::string& DLLDirectory() const { return dllDirectory_; }
  void SetDLLDirectory(std::string_view dir);  // a trailing separator is removed
  OvrOpts SFXOverWriteMode = OvrOpts::OvrConfirm;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXDefaultDir, SFXCommandLine, SFXMessage;
  std::string TempDir;
  int KeepFreeOnDisk1 = 0;
  int MaxVolumeSize = 0;
  int MinFreeVolumeSize = 65536;
  bool ConfirmErase = true;
  CodePageOpts CodePage = CodePageOpts::cpAuto;
  DeleteOpts HowToDelete = DeleteOpts::htdAllowUndo;
  std::string VersionInfo() const { return "1.60 K"; }
  AddStoreExts AddStoreSuffixes;
  unsigned PasswordReqCount() const { return passwordReqCount_; }
  void SetPasswordReqCount(unsigned value) { passwordReqCount_ = value > 15 ? 15 : value; }
  // The folder relative file specifications of an add and the stored folder names start
  // from; empty means the process's current folder at the time of the call. The libraries
  // are always given it explicitly.
  std::string AddBaseDir;

  // ---- events ----
  std::function<void(TZipMaster& sender)> OnDirUpdate;
  std::function<void(TZipMaster& sender, ProgressType type, const std::string& fileName,
                     std::uint32_t fileSize)> OnProgress;
  std::function<void(TZipMaster& sender, int errCode, const std::string& message)> OnMessage;
  std::function<void(TZipMaster& sender, std::string& oldFileName, bool& isChanged)> OnSetNewName;
  std::function<void(TZipMaster& sender, int seqNo, const ZipDirEntry& entry)> OnNewName;
  std::function<void(TZipMaster& sender, std::string& newPassword, const std::string& forFile,
                     unsigned& repeatCount)> OnPasswordError;
  std::function<void(TZipMaster& sender, const std::string& forFile, std::uint32_t foundCrc,
                     std::uint32_t expectedCrc, bool& doExtract)> OnCRC32Error;
  std::function<void(TZipMaster& sender, const std::string& forFile, bool isOlder,
                     bool& doOverwrite)> OnExtractOverwrite;
  std::function<void(TZipMaster& sender, const std::string& forFile, UnZipSkipTypes skipType,
                     int extError)> OnExtractSkipped;
  // The password dialog (caption, prompt; the answer in `text`); false when cancelled. The
  // front end installs it; without it every prompt is cancelled.
  std::function<bool(const std::string& caption, const std::string& prompt, std::string& text)>
      PasswordDialog;

  // ---- run-time state ----
  const std::vector<ZipDirEntry>& Entries() const { return entries_; }
  int ZipEntryCount() const { return static_cast<int>(entries_.size()); }
  // The stored comment, converted by the code-page rule.
  const std::string& ArchiveComment() const { return archiveComment_; }
  bool CancelRequested = false;
  bool ZipBusy() const { return zipBusy_; }
  bool UnzipBusy() const { return unzipBusy_; }
  bool SpannedArchive() const { return spannedArchive_; }
  int LastDiskNumber() const { return lastDiskNumber_; }
  int SucceededCount() const { return succeededCount_; }
  int LastErrorCode() const { return lastErrorCode_; }
  int LastFullErrorCode() const { return lastFullErrorCode_; }
  const std::string& LastMessage() const { return lastMessage_; }
  std::int64_t ZipDataStart() const { return zipDataStart_; }
  std::int64_t CentralDirOffset() const { return centralDirOffset_; }
  std::int64_t EndOfCentralDirPos() const { return endPos_; }
  std::int64_t EndOfCentralDirSize() const { return endSize_; }
  bool OffsetsShifted() const { return offsetsShifted_; }

  // ---- operations ----
  void List();
  void AddFiles();
  void DeleteEntries();
  void ExtractEntries();
  // 0; -7 a bridge error, -8 out of memory, -9 another failure, -10 a new name without a
  // file part. The archive is unchanged after a failure.
  int Rename(const std::vector<ZipRenameRec>& renameList, std::uint32_t dateTime);
  // Writes the comment into the archive (the archive is rewritten and replaced in one step).
  void WriteArchiveComment(std::string_view text);
  // A password from the dialog, or "" (see the prompts); `count` is 2 for a first request.
  std::string AskExtractPassword(const std::string& fileName, unsigned count);
  int ZipLibraryVersion();
  int UnzipLibraryVersion();
  bool LoadZipLibrary();
  void UnloadZipLibrary();
  bool LoadUnzipLibrary();
  void UnloadUnzipLibrary();

  // The library file names this platform loads.
  static std::string ZipLibraryFileName();
  static std::string UnzipLibraryFileName();

 private:
  friend struct TZipMasterAccess;
  struct TLoadedLibrary;
  std::int32_t HandleCallback(TZipCallbackRecord& record);
  static std::int32_t TESSALY_ZIPLIB_CALL CallbackEntry(TZipCallbackRecord* record);
  void SetError(int id, const std::string& extra = {});
  void ReportMessage(int code, const std::string& text);
  void LibraryTooOld(int version);
  void ClearListing();
  bool LoadLibraryFor(bool zipSide, bool& loadedHere);
  std::string DoAskPassword(const std::string& prompt);
  std::string ZipSidePassword();
  // Code-page rule for one entry (host system and specification version).
  bool UsesOem(std::uint8_t host, std::uint8_t version) const;
  std::string FromArchive(std::string_view bytes, std::uint8_t host, std::uint8_t version,
                          bool utf8) const;
  std::string ToArchive(std::string_view text, std::uint8_t host, std::uint8_t version,
                        bool utf8) const;
  std::string CommentFromArchive(std::string_view bytes) const;
  std::string CommentToArchive(std::string_view text) const;
  int RenameInto(const std::vector<ZipRenameRec>& recs, std::uint32_t dateTime);

  std::string zipFileName_;
  std::string password_;
  std::string dllDirectory_;
  unsigned passwordReqCount_ = 1;
  std::vector<ZipDirEntry> entries_;
  std::string archiveComment_;
  std::string rawComment_;
  bool zipBusy_ = false, unzipBusy_ = false;
  bool spannedArchive_ = false;
  int lastDiskNumber_ = 0;
  int succeededCount_ = 0;
  int lastErrorCode_ = 0, lastFullErrorCode_ = 0;
  std::string lastMessage_;
  std::int64_t zipDataStart_ = 0, centralDirOffset_ = 0, endPos_ = 0, endSize_ = 0;
  bool offsetsShifted_ = false;
  bool inCallback_ = false;
  std::uint32_t totalSize_ = 0;
};

}  // namespace zipbridge
