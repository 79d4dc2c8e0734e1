// The listing behind the main window's list view: one TFile per shown entry, the folder
// list and tree of the explorer display style, the eight sort orders, the selection
// status, type-ahead and the "*"/"?" mask matcher of the select-by-mask dialogs.
//
// Nothing here has a fixed capacity: a ZIP may hold 65,535 members and more (ZIP64), and
// the tables grow as the listing needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/display_texts.h"

namespace app {

// Texts of the pseudo entries and of sizes nobody knows.
inline constexpr std::string_view kSubDirText = "SUB-DIR";
inline constexpr std::string_view kUpDirText = "UP---DIR";
inline constexpr std::string_view kUpEntryName = "..\\";
inline constexpr std::string_view kUnknownText = "?";
inline constexpr std::string_view kRootFolder = "\\";

// One listed entry (the main window's own record; the engines report TArchiveEntry).
struct TFile {
  std::string Name;      // without folder; folder pseudo entries end with "\"; "..\" is up
  double Date = 0;       // day count with the time as fraction
  std::string Size;      // decimal unpacked size, "SUB-DIR", "UP---DIR" or "?"
  std::string Packed;    // decimal packed size, "SUB-DIR", "UP---DIR" or "?"
  std::string Ratio;     // "00%".."99%", "100%", "?"; empty for pseudo entries
  std::string Path;      // folder inside the archive, no leading "\", ends with "\" or empty
  std::uint8_t Encrypted = 0;
  std::int32_t Icon = 0;     // index in the system small-icon list
  std::uint8_t Selected = 0; // mirror of the list view's selection
  // The volume (file) the lister was reading when it reported the entry, as an index into
  // TContentsModel::Volumes (0: none, as through the ZIP bridge). A set has a few volumes
  // and may have many thousand entries, so the names are kept once.
  std::uint32_t VolumeIndex = 0;
  // Size and Packed as numbers (-1 when the text is not a number), kept beside the texts
  // so that sorting and totals do not parse text again and again.
  std::int64_t SizeValue = -1;
  std::int64_t PackedValue = -1;

  bool IsFolderEntry() const { return !Name.empty() && Name.back() == '\\'; }
  bool IsUpEntry() const { return Name == kUpEntryName; }
};

enum class TDisplayStyle : std::uint8_t { dsClassic, dsExplorer };

// Sort order codes (setting "Sort order"): 1..8 base orders, code + 9 reversed; 8 (the
// listed order) has no reversed form.
enum TSortCode : int {
  kSortName = 1, kSortPath = 2, kSortType = 3, kSortSize = 4, kSortPacked = 5,
  kSortRatio = 6, kSortDate = 7, kSortListed = 8, kSortReversed = 9,
};
bool IsValidSortOrder(int code);
// The order after the command for base order `base` when `current` is in force: the
// reversed code when `current` is `base`, else `base`; the listed order stays 8.
int NextSortOrder(int current, int base);

// List view columns, in their order.
enum class TColumn : std::uint8_t { coName, coModified, coSize, coRatio, coPacked, coPath };
inline constexpr int kColumnCount = 6;
enum class TSortArrow : std::uint8_t { saNone, saUp, saDown };
struct TSortIndicator {
  TColumn Column = TColumn::coName;
  TSortArrow Arrow = TSortArrow::saNone;  // saNone: no column shows an arrow
};
// The header arrow for the direction actually shown.
TSortIndicator SortIndicatorFor(int sortOrder);
// The base sort order of a header click.
int SortBaseForColumn(TColumn column);

// One member as a listing source reports it.
struct TListedMember {
  std::string_view FullName;  // stored path, "\" or "/" between folders
  std::int64_t PackedSize = 0;
  std::int64_t UnpackedSize = 0;
  double Date = 0;
  bool Encrypted = false;
  std::string_view Volume;
};

// One node of the explorer style's folder tree; node 0 is the archive (folder "\").
// Parents come before their children.
struct TFolderNode {
  std::string Name;    // the folder level shown
  std::string Folder;  // full folder path with trailing "\" ("\" for the root node)
  int Parent = -1;
};

// The texts of one list row (columns Name, Modified, Size, Ratio, Packed, Path).
struct TDisplayRecord {
  std::int32_t Icon = 0;
  std::string Texts[kColumnCount];
};

class TContentsModel {
 public:
  // ---- the listing (filled by LoadListing) ----
  std::vector<TFile> EntryTable;
  std::size_t EntryCount() const { return EntryTable.size(); }
  // Folders of the archive (explorer style), each ending with "\", every prefix included.
  std::vector<std::string> FolderList;
  std::string CurrentFolder = std::string(kRootFolder);
  int SortOrder = kSortName;
  TDisplayStyle Style = TDisplayStyle::dsClassic;
  bool DownCaseNames = false;   // setting "Down case file names"
  std::string Kind;             // ArchiveKind of the listing (".cab" has no packed sizes)
  // Volume names of the listing; index 0 is the empty name.
  std::vector<std::string> Volumes{std::string()};
  const std::string& VolumeOf(const TFile& f) const {
    return f.VolumeIndex < Volumes.size() ? Volumes[f.VolumeIndex] : Volumes[0];
  }

  // Totals of the last listing.
  std::int64_t TotalPacked = 0;
  std::int64_t TotalUnpacked = 0;
  std::int64_t EntriesRead = 0;     // members read
  std::int64_t FolderEntries = 0;   // folder pseudo entries made
  std::size_t FolderCount() const { return FolderList.size(); }

  // Empties the listing and the totals; CurrentFolder, SortOrder and the style stay.
  void BeginListing();
  // Fills one entry from a listed member: counters, name and path, texts, and in explorer
  // style the folder list, the folder pseudo entries and the filter by CurrentFolder.
  void AddMember(const TListedMember& member);
  // Adds an entry as it is (the one pseudo entry of a bzip2 file) and counts it.
  void AddEntry(TFile entry);
  // After the last member: in explorer style the up entry and the folder pseudo entries
  // moved to the front.
  void FinishListing();

  // Sorts by SortOrder: folder pseudo entries stay in front, sorted by name.
  void Sort();

  // ---- explorer style ----
  bool IsRoot() const { return CurrentFolder == kRootFolder || CurrentFolder.empty(); }
  // `folder` without its last level ("\" when nothing is left).
  static std::string ParentFolder(std::string_view folder);
  // The folder tree built from FolderList; node 0 is named `archiveName`.
  std::vector<TFolderNode> BuildFolderTree(std::string_view archiveName) const;
  // The node of `folder` in a tree BuildFolderTree made; 0 (the root) when none.
  static int FindFolderNode(const std::vector<TFolderNode>& tree, std::string_view folder);
  // Lower-cased archive name without extension + "\" + lower-cased CurrentFolder without
  // its final "\"; the archive name alone at the root.
  std::string FolderTitle(std::string_view archiveFileName) const;

  // ---- selection ----
  // Sets every TFile::Selected from the selected indices (out-of-range ones ignored).
  void SetSelection(const std::vector<std::size_t>& selected);
  // "No file(s) selected." or "Selected n files, k kB" for the entries marked Selected.
  std::string SelectionStatusText(const TLocaleFormat& locale) const;
  std::size_t SelectedCount() const;
  // Type-ahead: the first entry after `focused` whose name begins with `c` (ASCII letters
  // without regard to case); no wrap-around. `focused` may be -1 (search from the top).
  std::optional<std::size_t> FindByFirstChar(std::ptrdiff_t focused, char c) const;

  // ---- display ----
  TDisplayRecord DisplayRecordOf(std::size_t index, const TLocaleFormat& locale) const;

 private:
  void AddFolder(const std::string& folder);
  void AddFolderPseudoEntry(const std::string& memberFolder, double date);
  std::unordered_set<std::string> folderKeys_;     // lower-cased FolderList
  std::unordered_set<std::string> pseudoKeys_;     // lower-cased pseudo entry names
  std::string currentKey_;                          // lower-cased CurrentFolder ("" = root)
  // The folder of the previous member: members come folder by folder, and the folder
  // rules give the same result for the same folder.
  std::string lastFolder_;
  bool haveLastFolder_ = false;
};

// The selection texts.
inline constexpr std::string_view kNoFilesSelectedText = "No file(s) selected.";

// Case-insensitive "*" and "?" matching of the select-by-mask dialogs: "*" matches any
// run of characters, "?" one character; "*.*" matches only names holding a dot.
bool MatchMask(std::string_view name, std::string_view mask);

}  // namespace app
