// The extraction frame every decoder derives from: output names, overwrite questions,
// passwords, dates, attributes and the checksum verdict.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/zip_common.h"

namespace engine {

// A decoder's record of one selected member between its directory pass and its
// extraction pass. Formats fill what they have.
struct TExtractItem {
  std::uint32_t Flags = 0;          // the format's flags (ZIP: general purpose flags)
  std::uint32_t Method = 0;
  std::int64_t HeaderOffset = 0;    // position of the member's header in the archive file
  std::int64_t PackedSize = 0;
  std::int64_t UnpackedSize = 0;
  std::uint32_t Crc = 0;
  std::uint32_t Attributes = 32;    // 32 (archive only) when the format gives none
  std::uint32_t DosDateTime = 0;
  std::string Name;                 // stored name, "\" between folders
};

// Outcome of the password procedure for one member.
enum class TPasswordResult : std::uint8_t {
  prOk,          // keys stand ready for the member's data
  prSkip,        // no password and nobody to ask: skip the member
  prGiveUp,      // the user gave up: end the run after this member
};

class TUnBase : public TZipCommon {
 public:
  TUnBase();

  // Target folder, always stored with a trailing separator.
  const std::string& ExtractDir() const { return extractDir_; }
  void SetExtractDir(std::string_view value);
  TCpuType CpuType = TCpuType::cptAuto;

  // Extracts the selected members; returns the count announced. Errors before the walk
  // (no archive, wrong type, archive not openable) leave as E_RAISE.
  int Extract();
  // The same with output mode 7 (nothing written); the test component substitutes the
  // block writer.
  int Verify();

  // Members whose checksum failed, that could not be written, or that were refused
  // during the last run (what a front end needs for its exit status).
  int FailedCount() const { return failedCount_; }

  // The password in force (cleared at the start of each run).
  std::string Password;

 protected:
  // The engine's walk over the archive. `archive` is the opened archive (null for the
  // formats whose library opens the archive itself).
  virtual void ExtractArchive(IStream* archive) = 0;
  // ACE, CAB and RAR libraries open the archive themselves.
  virtual bool OpensArchiveItself() const { return false; }

  // Steps of the walk, per member, in this order.
  // 1. The output path of a member; false (after reporting "Invalid file name") when the
  //    name would leave ExtractDir, the member is then skipped.
  bool BuildEntryName(std::string_view storedName);
  // 2. The announcement; false when the run is cancelled. `skip` is set when the file
  //    exists and is not to be overwritten.
  bool ConfirmEntry(std::string& displayName, bool& skip, double memberDate);
  // 3. Opens the output of the current member (mode 0: creates the file and its folders).
  bool OpenOutput();
  // 5. Closes the output with the member's date and attributes. Always called.
  void CloseOutput(std::uint32_t attributes, std::uint32_t dosDateTime);
  // 4 (stored members). Copies `size` bytes; decrypts by type when `decrypt`.
  void CopyStored(std::int64_t size, bool decrypt, int crcKind);
  // 6. The checksum verdict: OnEnd, or "File fails CRC check" when nobody listens.
  void Verdict(bool pass, std::string_view storedName);
  // PKWARE-encrypted members: finds the password that opens `header`.
  TPasswordResult ObtainPassword(const std::uint8_t (&header)[12], std::uint16_t flags,
                                 std::uint32_t dosDateTime, std::uint32_t crc);

  // Adds a selected member to the run's list and totals.
  void AddItem(TExtractItem item);
  // Takes a skipped member's size off the remaining bytes and reports progress.
  void SkipItem(const TExtractItem& item);
  // Progress of the current member (bytes written so far of `size`).
  void MemberProgress(std::int64_t done, std::int64_t size);
  // Reports an error for the current member and counts it as failed; the run goes on.
  void MemberFailed(std::string_view fn, int code);

  std::vector<TExtractItem> items_;
  std::string outputName_;         // full output path of the current member
  std::string archiveName_;        // ArchiveFile as it was at the start of the run
  IStream* archive_ = nullptr;
  IStream* output_ = nullptr;      // output of the current member (mode 0: outFile_)
  IStream* callerStream_ = nullptr;
  std::uint32_t latestDate_ = 0;
  std::int64_t totalBytes_ = 0;
  std::int64_t remainingBytes_ = 0;
  bool encrypted_ = false;
  int failedCount_ = 0;

 private:
  int Run(std::uint8_t outputMode);
  std::string extractDir_;
  TFileStream outFile_;
  std::vector<std::uint8_t> copyBuffer_;
};

}  // namespace engine
