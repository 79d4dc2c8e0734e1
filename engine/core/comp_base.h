// The compression frame every archive writer derives from: gathering files, the entry
// list of the new archive, the temporary archive and its replacement, moves and deletes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/helpers.h"
#include "engine/core/zip_common.h"

namespace engine {

// Which attribute bits a file may have to be added.
class TztvFileAttr {
 public:
  enum : std::uint32_t {
    kReadOnly = 1, kHidden = 2, kSysFile = 4, kVolumeID = 8, kDirectory = 16, kArchive = 32,
    kTemporary = 256, kCompressed = 2048, kAnyFileMask = 2367,
  };
  bool AnyFile() const { return anyFile_; }
  std::uint32_t FileAttr() const { return mask_; }
  void SetFileAttr(std::uint32_t value);
  bool Flag(std::uint32_t bit) const { return (flags_ & bit) != 0; }
  void SetFlag(std::uint32_t bit, bool on);

 private:
  void Recompute();
  bool anyFile_ = true;
  std::uint32_t flags_ = kAnyFileMask;
  std::uint32_t mask_ = kAnyFileMask;
};

// One entry of the new archive.
enum class TEntryState : std::uint8_t {
  esNew = 0,        // a file to add
  esReplace = 1,    // an old member replaced by a file
  esKeep = 2,       // an old member copied unchanged
  esSkipped = 3,
};

struct THeadObject {
  std::vector<std::uint8_t> Header;  // raw header of an old member (format-defined)
  std::int64_t Size = 0;             // uncompressed size
  std::uint32_t Date = 0;            // DOS date-time
  std::uint32_t Attributes = 0;
  std::int64_t HeaderOffset = 0;     // in the old archive
  std::int64_t SpanLength = 0;       // bytes of the old member to copy verbatim (writers set)
  std::string StoredName;            // the member's stored name ("\" between folders)
  TEntryState State = TEntryState::esNew;
};

struct TCompEntry {
  std::string Name;   // full path for files, stored name for old members
  THeadObject Head;
};

class TCompBase : public TZipCommon {
 public:
  TCompBase();

  TSwitch Switch = TSwitch::swAdd;
  bool RecurseDirs = false;
  TStoredDirNames StoredDirNames = TStoredDirNames::sdRelative;
  TztvFileAttr FileAttribute;
  bool VerifyBeforeDelete = true;
  bool StoreAlreadyCompressedFiles = true;
  std::string Password;

  TCompressMethod CompressMethod() const { return compressMethod_; }
  void SetCompressMethod(TCompressMethod method);
  TDeflateType DeflateType() const { return deflateType_; }
  int DeflateLevel() const;
  void SetDeflateType(TDeflateType type) { deflateType_ = type; }
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(std::string_view value);
  std::string DefaultDir();
  void SetDefaultDir(std::string_view value);

  // Runs one update; returns the entries written (swDelete: the members deleted).
  int Compress();

  // True after the last run replaced the archive.
  bool Replaced() const { return replaced_; }
  // The temporary file kept after a failed replacement (empty otherwise).
  const std::string& KeptTempFile() const { return keptTemp_; }
  // Files the last swMove run deleted after they were safely in the archive.
  const std::vector<std::string>& MovedFiles() const { return moved_; }

 protected:
  // Writer operations.
  virtual void UpdateArchive();
  virtual void ReadEntry(const std::string&) {}
  // Writes one new entry into the temporary archive; set the entry's state to esSkipped
  // when nothing was written.
  virtual void CompressFile(TCompEntry&) {}
  virtual void ReadArchiveDirectory() {}
  virtual void ProcessEntryList();
  virtual void CommitArchive();
  virtual void ReportNewEntries() {}
  virtual void FinishArchive() {}
  // Copies a kept member from the old archive (default: its span from its header offset).
  virtual void CopyKeptEntry(TCompEntry& entry);
  // Listing through the writer (swRead): first and next headers.
  virtual bool ReadFirstHeader(std::string&) { return false; }
  virtual bool ReadNextHeader(std::string&) { return false; }
  // The methods this writer accepts and its standard extension (".zip").
  virtual bool SupportsMethod(TCompressMethod) const { return false; }
  virtual std::string StandardExt() const { return ""; }
  // True when the temporary archive must replace the old one even with nothing written
  // (a writer that deleted members).
  virtual bool ShouldReplace() const { return written_ > 0 || deleted_ > 0; }

  // Helpers for writers.
  int AddEntry(const std::string& fullName, std::int64_t size, std::uint32_t attributes,
               std::uint32_t dosDateTime);
  bool BeginEntry(std::string& name, int recNum);
  bool OpenSourceFile(TCompEntry& entry, TFileStream& file);
  std::int64_t CopyEntryData(IStream& from, IStream& to, std::int64_t count);
  std::uint32_t EntryDate(std::uint32_t fileDate) const;
  bool IsExcluded(const std::string& storedName);
  bool AttributeAccepted(std::uint32_t attributes) const;
  // The stored name of a file for the current base directory ("\" between folders, UTF-8).
  std::string BuildStoredName(std::string_view fullPath) const;
  void EntryProgress(std::int64_t done, std::int64_t size);

  std::vector<TCompEntry> entries_;
  std::unique_ptr<TTempFileStream> temp_;
  TFileStream old_;
  bool archiveExisted_ = false;
  int written_ = 0;
  int deleted_ = 0;
  std::int64_t totalBytes_ = 0, remainingBytes_ = 0;
  std::uint32_t latestDate_ = 0;
  std::string baseDir_;       // directory of the current spec, with a trailing separator
  std::string currentStoredName_;

 private:
  void GatherFiles();
  void GatherIn(const std::string& dir, const std::string& pattern);
  // True for the archive itself and the temporary archive beside it.
  bool IsOwnFile(const std::string& fullName) const;
  void DeleteMovedSources();
  void ListArchive();
  std::string ExpandSpec(const std::string& spec);
  void EnsureWritable();

  TCompressMethod compressMethod_ = TCompressMethod::cmStore;
  TDeflateType deflateType_ = TDeflateType::dtDeflateN;
  std::string defaultExt_;
  std::string defaultDir_;
  bool replaced_ = false;
  std::string keptTemp_;
  std::vector<std::string> moved_;
  std::vector<std::string> addedSources_;
};

}  // namespace engine
