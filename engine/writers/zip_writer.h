// ZIP and JAR writers on the compression frame: deflated, stored and encrypted members,
// with the members of an updated archive copied byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/core/comp_base.h"

namespace engine {

// Writes ZIP archives. New members get a local header without extra field and without data
// descriptor (the header is rewritten in place once the data is out), method 8 or 0, and
// the traditional encryption when Password is set. Members of an existing archive that stay
// are copied verbatim (local header, name, extra field, data, data descriptor) and keep
// their own central record with only the local-header offset changed; the archive comment
// is kept. Archives whose layout cannot be accounted for that way (ZIP64, spanned sets,
// overlapping members, unknown sizes) are refused with "Bad file header" and left as they
// are. Sizes and offsets must fit the 32-bit fields: a file that does not is refused with
// an error and left out.
class TZip : public TCompBase {
 public:
  TZip();

  // Update: a member is replaced only by a newer file; files not in the archive are added.
  // Freshen: the same, but files not in the archive are not added. Without either, a
  // changed file replaces its member when OnReplaceFile agrees (the frame's rule).
  bool AddUpdate = false;
  bool AddFreshen = false;

  // The raw archive comment of the archive last read (kept when it is rewritten).
  const std::string& ArchiveComment() const { return comment_; }

  // Local header and end record sizes of the format.
  static constexpr std::size_t kLocalHeaderSize = 30;
  static constexpr std::size_t kCentralHeaderSize = 46;
  static constexpr std::size_t kEndRecordSize = 22;

 protected:
  void UpdateArchive() override;
  void ReadArchiveDirectory() override;
  void ProcessEntryList() override;
  void CompressFile(TCompEntry& entry) override;
  void CopyKeptEntry(TCompEntry& entry) override;
  void CommitArchive() override;
  void ReportNewEntries() override;
  void ReadEntry(const std::string& name) override;
  bool ReadFirstHeader(std::string& name) override;
  bool ReadNextHeader(std::string& name) override;
  bool SupportsMethod(TCompressMethod method) const override;
  std::string StandardExt() const override { return ".zip"; }
  virtual TArcType OwnType() const { return TArcType::atZip; }

 private:
  // One member of an existing archive as the writer accounts for it.
  struct TOldMember {
    std::vector<std::uint8_t> Central;  // the whole central record: 46 bytes, name, extra, comment
    std::int64_t SpanStart = 0;         // its local header in the archive file
    std::int64_t SpanLength = 0;        // local header to the end of its data descriptor
    std::string Name;                   // UTF-8, "\" between folders (for matching only)
  };
  // What a run writes into the new central directory, in archive order.
  struct TNewRecord {
    std::vector<std::uint8_t> Central;
  };

  // Reads every member's central record and the span of bytes it owns, the bytes before the
  // first member (a self-extractor stub) and the archive comment. False when the layout
  // cannot be accounted for; an empty file is an archive without members.
  bool ReadLayout(IStream& archive, std::vector<TOldMember>& members, std::int64_t& prefix,
                  std::string& comment);
  void WriteOut(const std::uint8_t* data, std::size_t count);
  void CopyOld(std::int64_t from, std::int64_t count);
  void FillEntry(const std::vector<std::uint8_t>& central);
  // Writes one file; false when the item is refused (the output is then cut back).
  bool WriteMember(TCompEntry& entry, TFileStream& in, const std::string& zipName);
  void KeepOldOrSkip(TCompEntry& entry);

  std::vector<TNewRecord> central_;
  std::unordered_set<std::string> namesInArchive_;  // lower-cased ZIP names written this run
  std::vector<TOldMember> listing_;  // swRead
  std::size_t listIndex_ = 0;
  std::string comment_;
  std::vector<std::uint8_t> ioBuffer_, outBuffer_;
};

// TZip with archive type atJar and the extension ".jar".
class TJar : public TZip {
 public:
  TJar();

 protected:
  std::string StandardExt() const override { return ".jar"; }
  TArcType OwnType() const override { return TArcType::atJar; }
};

}  // namespace engine
