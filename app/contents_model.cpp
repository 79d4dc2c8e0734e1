// The listing behind the main window's list view.
#include "app/contents_model.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace app {

namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[static_cast<std::size_t>(i)] =
        static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  return t;
}
constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

// Sorts t[from, to) by the key of base order `base`, in the key's base direction.
// Entries with equal keys keep their listed order, so the result does not depend on the
// sort algorithm.
void SortRange(std::vector<TFile>& t, std::size_t from, std::size_t to, int base) {
  const std::size_t n = to - from;
  if (n < 2) return;
  std::vector<std::uint32_t> order(n);
  if (base == kSortName || base == kSortPath || base == kSortType) {
    // Text keys: lower-cased once into one buffer (key = first part, NUL, name), then
    // compared as bytes. A NUL sorts below every character, so a shorter first part that
    // is a prefix of another sorts first, as comparing the parts one by one would.
    struct TKey {
      std::uint32_t Offset, Length, Index;
    };
    std::string arena;
    std::vector<TKey> keys(n);
    auto append = [&](std::string_view part) {
      for (char c : part) arena += static_cast<char>(kLower[static_cast<unsigned char>(c)]);
    };
    for (std::size_t i = 0; i < n; ++i) {
      const TFile& f = t[from + i];
      const std::size_t start = arena.size();
      if (base == kSortPath) {
        append(f.Path);
        arena += '\0';
      } else if (base == kSortType) {
        append(ExtensionOf(f.Name));
        arena += '\0';
      }
      append(f.Name);
      keys[i] = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(arena.size() - start),
                 static_cast<std::uint32_t>(from + i)};
    }
    const char* a = arena.data();
    std::stable_sort(keys.begin(), keys.end(), [a](const TKey& x, const TKey& y) {
      return std::string_view(a + x.Offset, x.Length) < std::string_view(a + y.Offset, y.Length);
    });
    for (std::size_t i = 0; i < n; ++i) order[i] = keys[i].Index;
  } else {
    std::iota(order.begin(), order.end(), static_cast<std::uint32_t>(from));
    auto by = [&](auto less) {
      std::stable_sort(order.begin(), order.end(),
                       [&](std::uint32_t x, std::uint32_t y) { return less(t[x], t[y]); });
    };
    switch (base) {
      case kSortSize:  // largest first; texts that are no number ("?") go last
        by([](const TFile& x, const TFile& y) { return x.SizeValue > y.SizeValue; });
        break;
      case kSortPacked:
        by([](const TFile& x, const TFile& y) { return x.PackedValue > y.PackedValue; });
        break;
      case kSortRatio:  // the text, byte by byte, highest first ("100%" between 10% and 11%)
        by([](const TFile& x, const TFile& y) { return x.Ratio > y.Ratio; });
        break;
      case kSortDate:  // newest first
        by([](const TFile& x, const TFile& y) { return x.Date > y.Date; });
        break;
      default:
        return;
    }
  }
  // One move per entry: the new table is built whole and replaces the old one.
  std::vector<TFile> sorted;
  sorted.reserve(t.size());
  for (std::size_t i = 0; i < from; ++i) sorted.push_back(std::move(t[i]));
  for (std::uint32_t i : order) sorted.push_back(std::move(t[i]));
  for (std::size_t i = to; i < t.size(); ++i) sorted.push_back(std::move(t[i]));
  t.swap(sorted);
}

}  // namespace

bool IsValidSortOrder(int code) { return code >= 1 && code <= 16; }

int NextSortOrder(int current, int base) {
  if (base == kSortListed) return kSortListed;
  return current == base ? base + kSortReversed : base;
}

TSortIndicator SortIndicatorFor(int sortOrder) {
  using enum TColumn;
  // Base directions are what users expect first (names A-Z, sizes and dates largest and
  // newest first), so the "ascending" arrow belongs to the reversed size and date codes.
  switch (sortOrder) {
    case 1: return {coName, TSortArrow::saUp};
    case 10: return {coName, TSortArrow::saDown};
    case 2: return {coPath, TSortArrow::saUp};
    case 11: return {coPath, TSortArrow::saDown};
    case 13: return {coSize, TSortArrow::saUp};
    case 4: return {coSize, TSortArrow::saDown};
    case 14: return {coPacked, TSortArrow::saUp};
    case 5: return {coPacked, TSortArrow::saDown};
    case 15: return {coRatio, TSortArrow::saUp};
    case 6: return {coRatio, TSortArrow::saDown};
    case 16: return {coModified, TSortArrow::saUp};
    case 7: return {coModified, TSortArrow::saDown};
    default: return {coName, TSortArrow::saNone};
  }
}

int SortBaseForColumn(TColumn column) {
  switch (column) {
    case TColumn::coName: return kSortName;
    case TColumn::coModified: return kSortDate;
    case TColumn::coSize: return kSortSize;
    case TColumn::coRatio: return kSortRatio;
    case TColumn::coPacked: return kSortPacked;
    case TColumn::coPath: return kSortPath;
  }
  return kSortName;
}

void TContentsModel::BeginListing() {
  EntryTable.clear();
  FolderList.clear();
  folderKeys_.clear();
  pseudoKeys_.clear();
  Volumes.assign(1, std::string());
  haveLastFolder_ = false;
  lastFolder_.clear();
  TotalPacked = TotalUnpacked = EntriesRead = FolderEntries = 0;
  if (CurrentFolder.empty()) CurrentFolder = std::string(kRootFolder);
  currentKey_ = IsRoot() ? std::string() : LowerText(CurrentFolder);
}

void TContentsModel::AddMember(const TListedMember& m) {
  ++EntriesRead;
  TotalPacked += m.PackedSize;
  TotalUnpacked += m.UnpackedSize;

  TFile f;
  const std::string_view full = m.FullName;
  std::size_t start = full.size();  // where the name begins, after the last separator
  while (start > 0 && full[start - 1] != '\\' && full[start - 1] != '/') --start;
  if (start == 0) {
    f.Name = std::string(full);
  } else {
    f.Name = std::string(full.substr(start));
    const std::string_view folder = full.substr(0, start);
    if (folder.size() > 1 || (folder[0] != '\\' && folder[0] != '/')) {  // "\" alone: none
      f.Path = std::string(folder);
      std::replace(f.Path.begin(), f.Path.end(), '/', '\\');
    }
  }
  const bool explorer = Style == TDisplayStyle::dsExplorer;
  if (explorer && !f.Path.empty() && f.Path.front() == '\\') f.Path.erase(0, 1);
  if (DownCaseNames) {
    LowerInPlace(f.Name);
    LowerInPlace(f.Path);
  }
  f.SizeValue = m.UnpackedSize;
  f.Size = DecimalText(m.UnpackedSize);
  if (Kind == ".cab") {
    // Cabinets compress folders of files together: a member has no packed size.
    f.Packed = std::string(kUnknownText);
    f.Ratio = std::string(kUnknownText);
  } else {
    f.PackedValue = m.PackedSize;
    f.Packed = DecimalText(m.PackedSize);
    f.Ratio = RatioText(m.PackedSize, m.UnpackedSize);
  }
  f.Date = m.Date;
  f.Encrypted = m.Encrypted ? 1 : 0;
  if (!m.Volume.empty()) {
    if (Volumes.back() != m.Volume) Volumes.emplace_back(m.Volume);
    f.VolumeIndex = static_cast<std::uint32_t>(Volumes.size() - 1);
  }

  if (explorer) {
    if (!f.Path.empty() && (!haveLastFolder_ || f.Path != lastFolder_)) {
      AddFolder(f.Path);
      AddFolderPseudoEntry(f.Path, m.Date);
      lastFolder_ = f.Path;
      haveLastFolder_ = true;
    }
    // Only the entries of the folder shown stay.
    if (currentKey_.empty() ? !f.Path.empty() : !SameTextCI(f.Path, currentKey_)) return;
  }
  EntryTable.push_back(std::move(f));
}

void TContentsModel::AddEntry(TFile entry) {
  ++EntriesRead;
  if (entry.PackedValue > 0) TotalPacked += entry.PackedValue;
  if (entry.SizeValue > 0) TotalUnpacked += entry.SizeValue;
  EntryTable.push_back(std::move(entry));
}

void TContentsModel::AddFolder(const std::string& folder) {
  // Every prefix ending at a "\" is a folder too (a\b\c\ adds a\, a\b\, a\b\c\), parents
  // first so that the tree finds them.
  for (std::size_t at = folder.find('\\'); at != std::string::npos;
       at = folder.find('\\', at + 1)) {
    std::string prefix = folder.substr(0, at + 1);
    if (folderKeys_.insert(LowerText(prefix)).second) FolderList.push_back(std::move(prefix));
  }
}

void TContentsModel::AddFolderPseudoEntry(const std::string& memberFolder, double date) {
  if (!currentKey_.empty() && !StartsWithCI(memberFolder, currentKey_)) return;
  const std::size_t from = currentKey_.size();
  const std::size_t end = memberFolder.find('\\', from);
  if (end == std::string::npos || end == from) return;  // the member lies in CurrentFolder
  std::string level = memberFolder.substr(from, end + 1 - from);
  if (!pseudoKeys_.insert(LowerText(level)).second) return;
  TFile f;
  f.Name = DownCaseNames ? LowerText(level) : std::move(level);
  f.Path = currentKey_.empty() ? std::string() : CurrentFolder;
  f.Size = f.Packed = std::string(kSubDirText);
  f.Date = date;
  ++FolderEntries;
  EntryTable.push_back(std::move(f));
}

void TContentsModel::FinishListing() {
  if (Style != TDisplayStyle::dsExplorer) return;
  if (!IsRoot()) {
    TFile up;
    up.Name = std::string(kUpEntryName);
    up.Path = CurrentFolder;
    up.Size = up.Packed = std::string(kUpDirText);
    EntryTable.push_back(std::move(up));
  }
  // Folder entries to the front, each swapped with the first entry that is no folder.
  std::size_t front = 0;
  for (std::size_t i = 0; i < EntryTable.size(); ++i) {
    if (!EntryTable[i].IsFolderEntry()) continue;
    if (i != front) std::swap(EntryTable[i], EntryTable[front]);
    ++front;
  }
}

void TContentsModel::Sort() {
  if (!IsValidSortOrder(SortOrder) || SortOrder == kSortListed) return;
  const bool reversed = SortOrder > kSortReversed;
  const int base = reversed ? SortOrder - kSortReversed : SortOrder;
  std::size_t front = 0;
  if (Style == TDisplayStyle::dsExplorer) {
    while (front < EntryTable.size() && EntryTable[front].IsFolderEntry()) ++front;
    SortRange(EntryTable, 0, front, kSortName);
  }
  SortRange(EntryTable, front, EntryTable.size(), base);
  if (reversed)
    std::reverse(EntryTable.begin() + static_cast<std::ptrdiff_t>(front), EntryTable.end());
}

std::string TContentsModel::ParentFolder(std::string_view folder) {
  if (folder.empty() || folder == kRootFolder) return std::string(kRootFolder);
  std::string_view f = folder;
  if (f.back() == '\\') f.remove_suffix(1);
  const std::size_t cut = f.rfind('\\');
  if (cut == std::string_view::npos || cut == 0) return std::string(kRootFolder);
  return std::string(f.substr(0, cut + 1));
}

std::vector<TFolderNode> TContentsModel::BuildFolderTree(std::string_view archiveName) const {
  std::vector<TFolderNode> tree;
  tree.reserve(FolderList.size() + 1);
  tree.push_back({LowerText(archiveName), std::string(kRootFolder), -1});
  std::unordered_map<std::string, int> nodeOf;
  nodeOf.reserve(FolderList.size());
  for (const std::string& folder : FolderList) {
    const std::string parent = ParentFolder(folder);
    int parentNode = 0;
    if (parent != kRootFolder) {
      const auto it = nodeOf.find(LowerText(parent));
      if (it != nodeOf.end()) parentNode = it->second;
    }
    std::string name = folder.substr(parent == kRootFolder ? 0 : parent.size());
    if (!name.empty() && name.back() == '\\') name.pop_back();
    if (DownCaseNames) name = LowerText(name);
    nodeOf.emplace(LowerText(folder), static_cast<int>(tree.size()));
    tree.push_back({std::move(name), folder, parentNode});
  }
  return tree;
}

int TContentsModel::FindFolderNode(const std::vector<TFolderNode>& tree,
                                   std::string_view folder) {
  if (folder.empty() || folder == kRootFolder) return 0;
  for (std::size_t i = 1; i < tree.size(); ++i)
    if (SameTextCI(tree[i].Folder, folder)) return static_cast<int>(i);
  return 0;
}

std::string TContentsModel::FolderTitle(std::string_view archiveFileName) const {
  std::string_view name = archiveFileName;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  std::string title = LowerText(name);
  if (!IsRoot()) {
    std::string_view folder = CurrentFolder;
    if (folder.back() == '\\') folder.remove_suffix(1);
    title += '\\';
    title += LowerText(folder);
  }
  return title;
}

void TContentsModel::SetSelection(const std::vector<std::size_t>& selected) {
  for (TFile& f : EntryTable) f.Selected = 0;
  for (std::size_t i : selected)
    if (i < EntryTable.size()) EntryTable[i].Selected = 1;
}

std::size_t TContentsModel::SelectedCount() const {
  return static_cast<std::size_t>(std::count_if(
      EntryTable.begin(), EntryTable.end(), [](const TFile& f) { return f.Selected != 0; }));
}

std::string TContentsModel::SelectionStatusText(const TLocaleFormat& locale) const {
  std::size_t n = 0;
  std::int64_t bytes = 0;
  const TFile* last = nullptr;
  for (const TFile& f : EntryTable) {
    if (!f.Selected) continue;
    ++n;
    last = &f;
    if (!f.IsFolderEntry() && f.SizeValue > 0) bytes += f.SizeValue;
  }
  if (n == 0 || (n == 1 && last->IsUpEntry())) return std::string(kNoFilesSelectedText);
  std::string text = "Selected " + ThousandsText(static_cast<std::int64_t>(n), locale) +
                     (n == 1 ? " file" : " files");
  if (Kind == ".bz2" || Kind == ".cab")
    text += ", ? kB";
  else
    text += ", " + ThousandsText(RoundedKiB(bytes), locale) + " kB";
  return text;
}

std::optional<std::size_t> TContentsModel::FindByFirstChar(std::ptrdiff_t focused,
                                                           char c) const {
  const unsigned char want = kLower[static_cast<unsigned char>(c)];
  for (std::size_t i = focused < 0 ? 0 : static_cast<std::size_t>(focused) + 1;
       i < EntryTable.size(); ++i) {
    const std::string& name = EntryTable[i].Name;
    if (!name.empty() && kLower[static_cast<unsigned char>(name[0])] == want) return i;
  }
  return std::nullopt;
}

TDisplayRecord TContentsModel::DisplayRecordOf(std::size_t index,
                                               const TLocaleFormat& locale) const {
  TDisplayRecord r;
  if (index >= EntryTable.size()) return r;
  const TFile& f = EntryTable[index];
  r.Icon = f.Icon;
  auto& t = r.Texts;
  if (f.IsFolderEntry()) {
    t[0] = f.Name.substr(0, f.Name.size() - 1);
    t[2] = f.Size;
    t[3] = f.Ratio;
    t[4] = f.Packed;
  } else {
    t[0] = f.Encrypted ? f.Name + "+" : f.Name;
    t[1] = FormatEntryDate(f.Date, locale);
    t[2] = ThousandsText(f.Size, locale);
    t[3] = f.Ratio;
    t[4] = ThousandsText(f.Packed, locale);
  }
  t[5] = f.Path;
  return r;
}

namespace {

// Whether `segment` ("?" matches any character) matches `name` at `at`.
bool SegmentAt(std::string_view name, std::size_t at, std::string_view segment) {
  if (name.size() - at < segment.size()) return false;
  for (std::size_t i = 0; i < segment.size(); ++i)
    if (segment[i] != '?' && segment[i] != name[at + i]) return false;
  return true;
}

}  // namespace

bool MatchMask(std::string_view nameIn, std::string_view maskIn) {
  const std::string name = UpperText(nameIn);
  std::string mask = UpperText(maskIn);
  for (std::size_t at = mask.find("**"); at != std::string::npos; at = mask.find("**"))
    mask.erase(at, 1);
  if (mask == "*") return true;
  std::size_t i = 0, j = 0;
  while (i < mask.size()) {
    if (mask[i] != '*') {
      if (j >= name.size()) return false;
      if (mask[i] != '?' && mask[i] != name[j]) return false;
      ++i;
      ++j;
      continue;
    }
    ++i;
    const std::size_t end = mask.find('*', i);
    const std::string_view segment =
        std::string_view(mask).substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (end == std::string::npos) {
      // The last segment: the name must end with it, after what is matched already.
      if (segment.empty()) return true;
      if (name.size() - j < segment.size()) return false;
      return SegmentAt(name, name.size() - segment.size(), segment);
    }
    std::size_t at = j;
    while (at + segment.size() <= name.size() && !SegmentAt(name, at, segment)) ++at;
    if (at + segment.size() > name.size()) return false;
    j = at + segment.size();
    i = end;
  }
  return j == name.size();
}

}  // namespace app
