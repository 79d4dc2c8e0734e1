// Archive kinds of the main window: engines and enabled commands per kind.
#include "app/archive_kinds.h"

#include "engine/decoders/un_gzip.h"
#include "engine/decoders/un_lha.h"
#include "engine/decoders/un_tar.h"
#include "engine/decoders/un_zip.h"
#include "engine/decoders/uu_decode.h"

namespace app {

namespace {

using enum TListingSource;
using enum TExtractEngine;

//                 kind    listing      extractor   add    delete comment rename test   uuenc  packed
constexpr TArchiveKindRow kKinds[] = {
    {".zip", lsZipBridge, eeZipMaster, true, true, true, true, true, true, true},
    {".exe", lsZipBridge, eeZipMaster, true, true, true, false, true, true, true},
    {".rar", lsLister, eeUnRAR, false, false, false, false, true, true, true},
    {".ace", lsLister, eeUnACE, false, false, false, false, true, true, true},
    {".arc", lsLister, eeUnARC, false, false, false, false, true, true, true},
    {".arj", lsLister, eeUnARJ, false, false, false, false, true, true, true},
    {".lzh", lsLister, eeUnLHA, true, true, false, false, true, true, true},
    {".cab", lsLister, eeUnCAB, true, false, false, false, false, true, false},
    {".zoo", lsLister, eeUnZOO, false, false, false, false, true, true, true},
    {".gz", lsLister, eeUnGZIP, false, false, false, false, true, true, true},
    {".tar", lsLister, eeUnTAR, true, true, false, false, true, true, true},
    {".bh", lsLister, eeUnBH, true, true, false, false, true, true, true},
    {".enc", lsLister, eeUUDecode, false, false, false, false, false, false, true},
    {".bz2", lsNone, eeBzip2, false, false, false, false, false, true, false},
};

struct TTypeKind {
  engine::TArcType Type;
  std::string_view Kind;
};

constexpr TTypeKind kTypeKinds[] = {
    {engine::TArcType::atACE, ".ace"},    {engine::TArcType::atArc, ".arc"},
    {engine::TArcType::atArcExe, ".arc"}, {engine::TArcType::atArj, ".arj"},
    {engine::TArcType::atArjExe, ".arj"}, {engine::TArcType::atBh, ".bh"},
    {engine::TArcType::atBhExe, ".bh"},   {engine::TArcType::atCab, ".cab"},
    {engine::TArcType::atGZip, ".gz"},    {engine::TArcType::atLha, ".lzh"},
    {engine::TArcType::atLhaExe, ".lzh"}, {engine::TArcType::atLzh, ".lzh"},
    {engine::TArcType::atLzhExe, ".lzh"}, {engine::TArcType::atRar, ".rar"},
    {engine::TArcType::atRarExe, ".rar"}, {engine::TArcType::atTar, ".tar"},
    {engine::TArcType::atUue, ".enc"},    {engine::TArcType::atZip, ".zip"},
    {engine::TArcType::atZipMV, ".zip"},  {engine::TArcType::atZipExe, ".exe"},
    {engine::TArcType::atZoo, ".zoo"},
};

}  // namespace

std::span<const TArchiveKindRow> ArchiveKindTable() { return kKinds; }

const TArchiveKindRow* FindArchiveKind(std::string_view kind) {
  for (const TArchiveKindRow& row : kKinds)
    if (row.Kind == kind) return &row;
  return nullptr;
}

std::string KindOfArcType(engine::TArcType type) {
  for (const TTypeKind& row : kTypeKinds)
    if (row.Type == type) return std::string(row.Kind);
  return {};
}

TListingSource EffectiveListingSource(std::string_view kind) {
  const TArchiveKindRow* row = FindArchiveKind(kind);
  if (!row) return lsLister;
  // The lister reads ZIP directories itself (Activate) until TZipMaster joins the program.
  return row->Listing == lsZipBridge ? lsLister : row->Listing;
}

std::unique_ptr<engine::TUnBase> MakeExtractor(std::string_view kind) {
  const TArchiveKindRow* row = FindArchiveKind(kind);
  if (!row) return nullptr;
  switch (row->Extractor) {
    case eeZipMaster:  // the own ZIP decoder stands in for the bridge
      return std::make_unique<engine::TUnZIP>();
    case eeUnLHA:
      return std::make_unique<engine::TUnLHA>();
    case eeUnTAR:
      return std::make_unique<engine::TUnTAR>();
    case eeUnGZIP:
      return std::make_unique<engine::TUnGZIP>();
    case eeUUDecode:
      return std::make_unique<engine::TUUDecode>();
    default:
      return nullptr;
  }
}

TCommandSet CommandsForArchive(const TCommandFacts& facts) {
  using enum TCommand;
  TCommandSet set;
  for (TCommand c : {cmExtract, cmView, cmSelectAll, cmSelectNone, cmInvertSelection, cmFind,
                     cmPrint, cmProperties, cmRefresh, cmClose, cmMail, cmCreateShortcut,
                     cmMoveArchive, cmCopyArchive, cmRenameArchive, cmDeleteArchive,
                     cmCheckOut})
    SetCommand(set, c);
  const TArchiveKindRow* row = FindArchiveKind(facts.Kind);
  const bool zipKind = facts.Kind == ".zip" || facts.Kind == ".exe";
  if (row) {
    SetCommand(set, cmAdd, row->CanAdd);
    SetCommand(set, cmDeleteEntries, row->CanDeleteEntries);
    SetCommand(set, cmComment, row->CanComment);
    SetCommand(set, cmRenameEntry, row->CanRenameEntry);
    SetCommand(set, cmTest, row->CanTest);
    SetCommand(set, cmUUencode, row->CanUUencode);
  } else {
    // A new archive of a kind no row lists: nothing to test or to encode yet.
    SetCommand(set, cmTest, true);
    SetCommand(set, cmUUencode, true);
  }
  SetCommand(set, cmMakeExe, facts.Kind == ".zip" && facts.FileExtension != ".exe");
  SetCommand(set, cmExeToZip, zipKind && facts.FileExtension == ".exe");
  SetCommand(set, cmVirusScan, facts.VirusScannerExists);
  // The read-only and multi-disk rules only disable, after everything else.
  if (facts.ReadOnly)
    for (TCommand c : {cmAdd, cmDeleteEntries, cmRenameEntry, cmMoveArchive, cmRenameArchive,
                       cmDeleteArchive})
      SetCommand(set, c, false);
  if (facts.MultiDisk && zipKind) {
    SetCommand(set, cmRenameEntry, false);
    SetCommand(set, cmMakeExe, false);
  }
  return set;
}

}  // namespace app
