// Archive kinds of the main window: which engine lists and which extracts each kind,
// how a detected archive type becomes a kind, and which commands each kind enables.
// Adding a format means adding its row here.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/core/types.h"

namespace engine {
class TUnBase;
}

namespace app {

// Who lists an archive of a kind.
enum class TListingSource : std::uint8_t {
  lsNone,       // ".bz2": one pseudo entry for the whole file
  lsLister,     // the lister TDivED
  lsZipBridge,  // the ZIP bridge TZipMaster
};

// Who extracts members of a kind (the main window owns one instance of each).
enum class TExtractEngine : std::uint8_t {
  eeNone, eeZipMaster, eeUnRAR, eeUnACE, eeUnARC, eeUnARJ, eeUnLHA, eeUnCAB, eeUnZOO,
  eeUnGZIP, eeUnTAR, eeUnBH, eeUUDecode, eeBzip2,
};

// Commands whose state follows the open archive. The Win32 view maps each to its menu
// items, toolbar buttons and pop-up items through one id table.
enum class TCommand : std::uint8_t {
  cmExtract, cmView, cmSelectAll, cmSelectNone, cmInvertSelection, cmFind, cmPrint,
  cmProperties, cmRefresh, cmClose, cmMail, cmCreateShortcut, cmMoveArchive,
  cmCopyArchive, cmRenameArchive, cmDeleteArchive, cmCheckOut,
  cmAdd,            // menu, toolbar, pop-up and dropping files on the list
  cmDeleteEntries, cmComment, cmRenameEntry, cmTest, cmMakeExe, cmExeToZip, cmUUencode,
  cmVirusScan, cmInstall,
  cmCount
};
inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(TCommand::cmCount);
using TCommandSet = std::bitset<kCommandCount>;
inline void SetCommand(TCommandSet& set, TCommand c, bool on = true) {
  set.set(static_cast<std::size_t>(c), on);
}
inline bool HasCommand(const TCommandSet& set, TCommand c) {
  return set.test(static_cast<std::size_t>(c));
}

// One archive kind.
struct TArchiveKindRow {
  std::string_view Kind;  // canonical lower-case extension
  TListingSource Listing;
  TExtractEngine Extractor;
  bool CanAdd;            // Add and dropping files
  bool CanDeleteEntries;
  bool CanComment;
  bool CanRenameEntry;
  bool CanTest;
  bool CanUUencode;
  bool KnowsPackedSizes;  // false: packed size and ratio "?"
};

// Every kind, ".zip" first.
std::span<const TArchiveKindRow> ArchiveKindTable();
// The row of `kind`; null for an extension the table does not list (a new archive of an
// unknown kind).
const TArchiveKindRow* FindArchiveKind(std::string_view kind);

// The kind of a detected type (".zip" for atZip and atZipMV, ".exe" for atZipExe, ...);
// empty for types that no kind serves.
std::string KindOfArcType(engine::TArcType type);

// The listing source in force: the ZIP bridge's rows are listed by the lister until the
// bridge is part of the program.
TListingSource EffectiveListingSource(std::string_view kind);

// A new extraction engine for `kind`: the decoders that exist today (ZIP, LHA, TAR, GZIP,
// UU/XX); null for the others (".bz2" is decompressed by Tbzip2, not by a TUnBase).
std::unique_ptr<engine::TUnBase> MakeExtractor(std::string_view kind);

// Facts about the open archive that decide the enabled commands.
struct TCommandFacts {
  std::string Kind;            // ArchiveKind
  std::string FileExtension;   // lower-cased extension of the archive file
  bool ReadOnly = false;       // the file has the read-only attribute
  bool MultiDisk = false;      // a spanned ZIP set (kinds ".zip", ".exe")
  bool VirusScannerExists = false;
};

// The commands enabled right after opening (Install is decided by the listing).
TCommandSet CommandsForArchive(const TCommandFacts& facts);

}  // namespace app
