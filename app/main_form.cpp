// TMainForm: opening an archive, loading its listing, closing it, and the list commands.
#include "app/main_form.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/core/stream.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "zipbridge/bzip2.h"

namespace app {

namespace {

using enum TStatusPanel;

std::string EnsureTrailingSeparator(std::string folder) {
  if (!folder.empty() && !platform::IsPathSeparator(folder.back()))
    folder += platform::kPathSeparator;
  return folder;
}

std::string LowerExtension(std::string_view path) {
  return LowerText(platform::ExtensionPart(path));
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), value) != list.end();
}
bool IsOneOf(std::string_view value, std::span<const std::string_view> list) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// Extensions of a file dropped on the window that open it as an archive.
constexpr std::string_view kDropArchiveExtensions[] = {
    ".exe", ".rar", ".arj", ".arc", ".ace", ".lha", ".lzh", ".jar", ".tar", ".gz",
    ".cab", ".zoo", ".xxe", ".uue", ".zip", ".bh", ".bz2", ".tbz", ".tbz2", ".bz"};
// Extensions of an opened member that make it the new open archive.
constexpr std::string_view kNestedArchiveExtensions[] = {
    ".zip", ".rar", ".arj", ".ace", ".arc", ".zoo", ".cab", ".lzh", ".tar", ".gz",
    ".uue", ".xxe"};

std::string EngineErrorText(int code, std::string_view extra) {
  std::string text(engine::ErrorText(code));
  if (text.empty()) text = "Error " + std::to_string(code);
  if (!extra.empty()) {
    text += ": ";
    text += extra;
  }
  return text;
}

// Empties a folder recursively, clearing read-only attributes first, and removes it.
// Links are removed, never followed.
void RemoveTree(const std::string& dir) {
  for (const platform::TFindEntry& e : platform::FindFiles(dir)) {
    const std::string p = platform::JoinPath(dir, e.Name);
    if (e.IsDirectory() && !platform::IsSymlinkOrReparse(p)) {
      RemoveTree(p);
    } else {
      platform::SetFileAttributes(p, 0);
      if (!platform::DeleteFile(p)) platform::RemoveDirectory(p);
    }
  }
  platform::SetFileAttributes(dir, 0);
  platform::RemoveDirectory(dir);
}

}  // namespace

TMainForm::TMainForm(IMainView& view, TSettings& settings, TMainFormEnvironment env,
                     TLocaleFormat locale)
    : view_(view), settings_(settings), env_(std::move(env)), locale_(std::move(locale)) {
  Contents.SortOrder = IsValidSortOrder(settings_.SortOrder) ? settings_.SortOrder : kSortName;
  Contents.Style =
      settings_.DisplayStyle == 1 ? TDisplayStyle::dsExplorer : TDisplayStyle::dsClassic;
  // The engines live as long as the window, so their handlers may hold `this`.
  DivED1.OnRead = [this](engine::TZipCommon& sender, std::int64_t, int) { DivED1Read(sender); };
  DivED1.OnError = [](engine::TZipCommon&, const std::string&, const std::string&,
                      const std::string&, int) {};  // a damaged listing shows what was read
  DivED1.OnNextVolume = [this](engine::TZipCommon& s, std::string& name, const std::string& id,
                               bool exists, bool& cancel) {
    ArcNextVolume(s, name, id, exists, cancel);
  };
  UUDecode1.OnNextVolume = DivED1.OnNextVolume;
}

TMainForm::~TMainForm() = default;

// ---------------------------------------------------------------------------------------
// Opening

TOpenResult TMainForm::OpenArchive(const std::string& path, bool fromRecentMenu) {
  currentArchive_.clear();
  view_.ShowLeftPane(TLeftPane::lpFolderTree);
  view_.ClearFolderTree();
  tree_.clear();
  Contents.CurrentFolder = std::string(kRootFolder);
  currentArchive_ = path;
  multiDisk_ = false;
  firstLoadAfterOpen_ = true;

  const std::string ext = LowerExtension(path);
  const bool exists = platform::FileExists(path);
  archiveKind_ = ext;
  if (IsOneOf(ext, {".bz2", ".bz", ".tbz", ".tbz2"})) {
    archiveKind_ = ".bz2";
  } else if (IsOneOf(ext, {".zip", ".jar", ".pk3"})) {
    archiveKind_ = ".zip";
    if (exists) {
      // Stands in for the ZIP bridge's directory check: what it calls "wrong" we cannot
      // open, and a spanned set must be opened on its last disk.
      DivED1.SetArchiveFile(path);
      const bool endFound = (DivED1.ZipFlags() & engine::kZipEndFound) != 0;
      if (!engine::IsZipFamily(DivED1.ArcType()) || !endFound) {
        // No end record: a disk of a spanned set other than the last one begins with the
        // spanning signature PK 07 08; anything else is no ZIP we can read.
        std::uint8_t head[4] = {};
        engine::TFileStream in;
        const bool spanned = in.Open(path, platform::TFileAccess::faRead) &&
                             in.ReadExact(head, 4) && head[0] == 'P' && head[1] == 'K' &&
                             head[2] == 7 && head[3] == 8;
        return CannotOpen(spanned ? kBackupSetText : kCannotOpenText);
      }
      // End record: number of this disk at offset 4, entries in the whole set at 10.
      const std::uint8_t* end = DivED1.EndRecordProbe();
      multiDisk_ = engine::ReadLe16(end + 4) > 0;
      if (multiDisk_ && engine::ReadLe16(end + 10) == 0) return CannotOpen(kBackupSetText);
    }
  } else if (ext == ".tgz") {
    return OpenTgz(path, fromRecentMenu);
  } else {
    DivED1.SetArchiveFile(path);
    std::string kind = KindOfArcType(DivED1.ArcType());
    if (kind.empty()) {
      if (ext == ".lha") kind = ".lzh";
      else if (exists) return CannotOpen(kCannotOpenText);
      else kind = ext;  // a new, empty archive of that kind
    }
    archiveKind_ = kind;
    if (kind == ".enc" && env_.Parameters.size() == 1 &&
        view_.ShowMessageBox(std::string(kDecodeAskText), TMsgKind::mkConfirmation,
                             TMsgButtons::mbYesNo) == TMsgResult::mrYes) {
      std::string decoded;
      if (DecodeEncoded(path, decoded)) return OpenArchive(decoded, fromRecentMenu);
      // The encoded file stays open as it is; the failure was shown.
    }
  }

  // Captions and status.
  view_.SetCaption(std::string(kAppTitle) + " - " + LowerText(platform::FileNamePart(path)));
  SetStatus(spFirst, "");
  SetStatus(spSecond, "");
  view_.SetLamp(TLamp::lpReady);
  view_.ShowSelectionTools(true);
  view_.ShowSecondPanel(true);

  TCommandFacts facts;
  facts.Kind = archiveKind_;
  facts.FileExtension = ext;
  const auto attributes = platform::FileAttributes(path);
  facts.ReadOnly = attributes && (*attributes & platform::kAttrReadOnly);
  facts.MultiDisk = multiDisk_;
  facts.VirusScannerExists =
      !settings_.VirusScanProgram.empty() && platform::FileExists(settings_.VirusScanProgram);
  commands_ = CommandsForArchive(facts);
  view_.SetCommands(commands_);

  if (!fromRecentMenu) {
    bool redirected = false;
    UpdateRecentArchives(path, redirected);
    if (redirected) return TOpenResult::orRedirected;
  }
  RefreshRecentMenus();
  const std::string folder = platform::DirectoryPart(path);
  if (!folder.empty()) settings_.LastOpenDir = EnsureTrailingSeparator(folder);

  // Favourite folders.
  if (!folder.empty()) {
    const bool known = std::any_of(
        settings_.Favorites.Folders.begin(), settings_.Favorites.Folders.end(),
        [&](const std::string& f) {
          std::string a = f;
          while (a.size() > 1 && platform::IsPathSeparator(a.back())) a.pop_back();
          return SameTextCI(a, folder);
        });
    if (!known) {
      if (settings_.Favorites.AddFolderMode == 0) {
        settings_.Favorites.Folders.push_back(folder);
      } else if (settings_.Favorites.AddFolderMode == 1 &&
                 view_.ShowMessageBox("Add \"" + LowerText(folder) + "\" TO favorite Zip Folders?",
                                      TMsgKind::mkConfirmation,
                                      TMsgButtons::mbYesNo) == TMsgResult::mrYes) {
        settings_.Favorites.Folders.push_back(folder);
      }
    }
  }
  return TOpenResult::orOpened;
}

TOpenResult TMainForm::CannotOpen(std::string_view text) {
  view_.ShowMessageBox(std::string(text), TMsgKind::mkError, TMsgButtons::mbOK);
  RefreshRecentMenus();
  CloseArchiveClick();
  return TOpenResult::orClosed;
}

TOpenResult TMainForm::OpenTgz(const std::string& path, bool fromRecentMenu) {
  UnGZIP1.SetArchiveFile(path);
  UnGZIP1.SetFileSpec({"*.*"});
  UnGZIP1.SetExtractDir(UnGZIP1.TempDir());
  UnGZIP1.UnTar = nullptr;
  UnGZIP1.ConfirmOverwrites = false;
  UnGZIP1.OverwriteMode = engine::TOverwriteMode::omOverwrite;
  std::string error;
  UnGZIP1.OnError = [&](engine::TZipCommon&, const std::string&, const std::string& msgEx,
                        const std::string&, int code) {
    if (error.empty()) error = EngineErrorText(code, msgEx);
  };
  try {
    UnGZIP1.Extract();
  } catch (const engine::E_RAISE& e) {
    if (error.empty()) error = EngineErrorText(e.Code, e.MsgEx);
  } catch (const engine::EBase& e) {
    if (error.empty()) error = e.what();
  }
  UnGZIP1.OnError = nullptr;
  std::string tar = UnGZIP1.DecodedFile();
  // Opening a half-decoded or missing file as "a new, empty archive" would hide the
  // failure: say what went wrong instead.
  if (tar.empty() || !platform::FileExists(tar) || UnGZIP1.FailedCount() > 0)
    return CannotOpen(error.empty() ? std::string(kCannotOpenText) : error);
  if (LowerExtension(tar) != ".tar") {
    const std::string renamed = tar + ".tar";
    if (platform::ReplaceFile(tar, renamed)) tar = renamed;
    else return CannotOpen(EngineErrorText(engine::kErrWritingFile, renamed));
  }
  return OpenArchive(tar, fromRecentMenu);
}

bool TMainForm::DecodeEncoded(const std::string& path, std::string& decoded) {
  std::string error;
  UUDecode1.SetArchiveFile(path);
  UUDecode1.SetFileSpec({"*.*"});
  UUDecode1.SetExtractDir(UUDecode1.TempDir());
  UUDecode1.ConfirmOverwrites = false;
  UUDecode1.OverwriteMode = engine::TOverwriteMode::omOverwrite;
  bool passed = false;
  UUDecode1.OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool pass) {
    decoded = fn;
    passed = pass;
  };
  UUDecode1.OnError = [&](engine::TZipCommon&, const std::string&, const std::string& msgEx,
                          const std::string&, int code) {
    if (error.empty()) error = EngineErrorText(code, msgEx);
  };
  try {
    UUDecode1.Extract();
  } catch (const engine::E_RAISE& e) {
    if (error.empty()) error = EngineErrorText(e.Code, e.MsgEx);
  } catch (const engine::EBase& e) {
    if (error.empty()) error = e.what();
  }
  UUDecode1.OnEnd = nullptr;
  UUDecode1.OnError = nullptr;
  const bool ok = passed && !decoded.empty() && platform::FileExists(decoded);
  if (!ok)
    view_.ShowMessageBox(error.empty() ? std::string(kCannotOpenText) : error, TMsgKind::mkError,
                         TMsgButtons::mbOK);
  return ok;
}

TOpenResult TMainForm::OpenAndLoad(const std::string& path) {
  CloseArchiveClick();
  const TOpenResult result = OpenArchive(path);
  if (result == TOpenResult::orOpened) LoadListing();
  return result;
}

// ---------------------------------------------------------------------------------------
// Recent archives

std::string TMainForm::RecentMenuCaption(int k, std::string_view path) {
  // Split into components, remembering the separator that follows each.
  std::vector<std::string> parts;
  std::vector<char> seps;
  std::string cur;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      parts.push_back(cur);
      seps.push_back(c);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  // Folder levels lie between the drive (or the empty root) and the file name.
  std::size_t first = 0;
  if (parts.size() > 1 && (parts[0].empty() || parts[0].back() == ':')) first = 1;
  const std::size_t last = parts.size() - 1;
  if (last >= first + 4) {
    for (std::size_t i = first; i < last; ++i)
      if (parts[i].size() > 3) parts[i] = parts[i].substr(0, 3) + "...";
  }
  std::string out = "&" + std::to_string(k) + " ";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    out += parts[i];
    if (i < seps.size()) out += seps[i];
  }
  return out;
}

void TMainForm::RefreshRecentMenus() {
  std::vector<TRecentItem> items;
  for (std::size_t i = 0; i < settings_.RecentArchives.size(); ++i) {
    const std::string& p = settings_.RecentArchives[i];
    if (p.empty()) continue;
    const int k = static_cast<int>(i) + 1;
    items.push_back({RecentMenuCaption(k, p), "&" + std::to_string(k) + " " + p});
  }
  view_.SetRecentArchives(items);
}

void TMainForm::UpdateRecentArchives(const std::string& path, bool& redirected) {
  THistory& slots = settings_.RecentArchives;
  std::size_t k = slots.size();
  for (std::size_t i = 0; i < slots.size(); ++i)
    if (SameTextCI(slots[i], path)) {
      k = i;
      break;
    }
  if (k == slots.size()) {
    std::move_backward(slots.begin(), slots.end() - 1, slots.end());
    slots[0] = path;
  } else if (k > 0) {
    if (platform::FileExists(slots[k])) {
      RecentArchiveClick(static_cast<int>(k) + 1);
      redirected = true;
    } else {
      // A new archive named like a remembered one: the recent command would drop the
      // slot and leave nothing open, so only the order changes.
      std::rotate(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(k),
                  slots.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    }
  }
}

void TMainForm::RecentArchiveClick(int k) {
  THistory& slots = settings_.RecentArchives;
  if (k < 1 || k > static_cast<int>(slots.size())) return;
  const std::size_t i = static_cast<std::size_t>(k - 1);
  const std::string path = slots[i];
  if (path.empty()) return;
  if (platform::FileExists(path)) {
    std::rotate(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(i),
                slots.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    CloseArchiveClick();
    if (OpenArchive(path, true) == TOpenResult::orOpened) LoadListing();
  } else {
    std::move(slots.begin() + static_cast<std::ptrdiff_t>(i) + 1, slots.end(),
              slots.begin() + static_cast<std::ptrdiff_t>(i));
    slots.back().clear();
    RefreshRecentMenus();
  }
}

bool TMainForm::FileDrag1Drop(const std::vector<std::string>& files, bool ctrlHeld) {
  if (files.size() == 1 && IsOneOf(LowerExtension(files[0]), kDropArchiveExtensions) &&
      (!IsArchiveOpen() || ctrlHeld)) {
    OpenAndLoad(files[0]);
    return true;
  }
  if (OnShowDragDialog) OnShowDragDialog(files);
  return false;
}

// ---------------------------------------------------------------------------------------
// Listing

void TMainForm::SetStatus(TStatusPanel panel, std::string_view text) {
  statusTexts_[static_cast<int>(panel)] = std::string(text);
  view_.SetStatusText(panel, std::string(text));
}

void TMainForm::PrepareWorkingFolder() {
  const std::string& configured = settings_.TempFolder;
  if (!configured.empty() && platform::DirectoryExists(configured)) {
    tempFolder_ = EnsureTrailingSeparator(configured);
    return;
  }
  const std::string folder = platform::JoinPath(env_.ProgramFolder, "TEMP");
  platform::CreateDirectories(folder);
  tempFolder_ = EnsureTrailingSeparator(folder);
  settings_.TempFolder = tempFolder_;
}

void TMainForm::LoadListing() {
  if (!IsArchiveOpen()) return;
  view_.SetSortIndicator(SortIndicatorFor(Contents.SortOrder));
  view_.SetSortMenuCheck(Contents.SortOrder);
  PrepareWorkingFolder();
  view_.SetBusyCursor(true);
  SetStatus(spFirst, kReadingDirectoryText);
  view_.RepaintStatus();
  view_.ShowSecondPanel(false);
  view_.ShowProgress(true);
  view_.SetProgress(0, 100);
  view_.SetLamp(TLamp::lpBusy);

  Contents.Kind = archiveKind_;
  Contents.Style =
      settings_.DisplayStyle == 1 ? TDisplayStyle::dsExplorer : TDisplayStyle::dsClassic;
  Contents.DownCaseNames = settings_.DownCaseFileNames == 1;
  Contents.BeginListing();
  ResetDisplayCache();

  if (archiveKind_ == ".bz2") ListBzip2();
  else ListThroughLister();
  Contents.FinishListing();
  AssignIcons();
  if (Contents.Style == TDisplayStyle::dsExplorer) ShowFolderView();

  SetStatus(spFirst, kSortingFilesText);
  Contents.Sort();
  SetStatus(spFirst, kLoadingFileListText);
  UpdateTotals();
  view_.SetWebStyle(settings_.AsWebPage == 1);

  view_.SetLamp(TLamp::lpReady);
  view_.SetBusyCursor(false);
  view_.SetProgress(100, 100);
  view_.ShowProgress(false);
  view_.ShowSecondPanel(true);

  UpdateInstallState();

  // The comment indicator: the end record of a ZIP archive tells the comment's length.
  bool hasComment = false;
  if ((archiveKind_ == ".zip" || archiveKind_ == ".exe") &&
      (DivED1.ZipFlags() & engine::kZipEndFound)) {
    const std::uint8_t* end = DivED1.EndRecordProbe();
    hasComment = engine::ReadLe16(end + 20) > 0;
  }
  view_.ShowCommentIndicator(hasComment);
  if (firstLoadAfterOpen_ && hasComment && settings_.AShowComment == 1 && OnShowComment)
    OnShowComment();

  if (!autoInstallOffered_) {
    autoInstallOffered_ = true;  // only the first load after start-up may offer it
    const auto& p = env_.Parameters;
    if (HasCommand(commands_, TCommand::cmInstall) && settings_.AutoPackageInstall == 1 &&
        (p.empty() || (p.size() == 1 && (p[0].empty() || p[0][0] != '-'))) && OnAutoInstall)
      OnAutoInstall();
  }
  firstLoadAfterOpen_ = false;

  view_.SetItemCount(Contents.EntryCount());
  ResetDisplayCache();
  UpdateSelectionStatus();
}

void TMainForm::ListThroughLister() {
  if (!platform::FileExists(currentArchive_)) return;  // a new archive has no members yet
  DivED1.SetArchiveFile(currentArchive_);
  DivED1.SetFileSpec({"*.*"});
  // A ZIP's end record tells how many members follow (0xFFFF: more, in a ZIP64 record).
  if (engine::IsZipFamily(DivED1.ArcType()) && (DivED1.ZipFlags() & engine::kZipEndFound) &&
      Contents.Style == TDisplayStyle::dsClassic)
    Contents.EntryTable.reserve(engine::ReadLe16(DivED1.EndRecordProbe() + 10));
  try {
    DivED1.Activate();
  } catch (const engine::EBase&) {
    // What was read before the damage stays listed.
  }
}

void TMainForm::DivED1Read(engine::TZipCommon& sender) {
  const engine::TArchiveEntry& e = sender.Entry;
  // Folder members are not listed (and not counted: "Total n files" counts files).
  if (!e.FileName.empty() && (e.FileName.back() == '\\' || e.FileName.back() == '/')) return;
  if (e.ExternalAttr & platform::kAttrDirectory) return;
  TListedMember m;
  m.FullName = e.FileName;
  m.PackedSize = e.PackedSize;
  m.UnpackedSize = e.UnpackedSize;
  m.Date = e.DateTime;
  m.Encrypted = e.Encrypted;
  m.Volume = DivED1.CurrentVolume();
  Contents.AddMember(m);
}

std::string TMainForm::Bzip2EntryName() const {
  const std::string file = platform::FileNamePart(currentArchive_);
  const std::string ext = LowerExtension(file);
  std::string stem = file.substr(0, file.size() - ext.size());
  if (ext == ".bz2" || ext == ".bz") {
    if (stem.find('.') == std::string::npos) stem += ".out";
  } else if (ext == ".tbz2" || ext == ".tbz") {
    if (LowerExtension(stem) != ".tar") stem += ".tar";
  }
  return stem;
}

void TMainForm::ListBzip2() {
  TFile f;
  f.Name = Bzip2EntryName();
  f.Size = std::string(kUnknownText);
  f.Ratio = std::string(kUnknownText);
  const auto size = platform::FileSize(currentArchive_);
  f.PackedValue = size.value_or(0);
  f.Packed = DecimalText(f.PackedValue);
  const auto time = platform::FileModTime(currentArchive_);
  f.Date = time ? engine::UnixToDateTime(*time) : engine::kDate1980;
  Contents.AddEntry(std::move(f));
}

void TMainForm::AssignIcons() {
  // The shell is asked once per extension.
  std::unordered_map<std::string, int> byExtension;
  std::optional<int> folderIcon, installIcon, readmeIcon;
  const std::string& program = env_.ProgramFolder;
  std::string lastExt;
  int lastIcon = 0;
  bool haveLast = false;
  for (TFile& f : Contents.EntryTable) {
    if (f.IsFolderEntry()) {
      if (!folderIcon) folderIcon = view_.SmallIconIndex(tempFolder_, true);
      f.Icon = *folderIcon;
      continue;
    }
    const std::string_view name = f.Name;
    const std::size_t dot = name.rfind('.');
    const std::string_view rawExt = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    if (!haveLast || !SameTextCI(rawExt, lastExt)) {
      const std::string ext = LowerText(rawExt);
      auto it = byExtension.find(ext);
      if (it == byExtension.end()) {
        const int icon =
            IsOneOf(ext, {".exe", ".com", ".pif", ".bat"})
                ? view_.SmallIconIndex(platform::JoinPath(program, "exe.ico"), false)
                : view_.SmallIconIndex(tempFolder_ + "tslytmp" + ext, false);
        it = byExtension.emplace(ext, icon).first;
      }
      lastExt = ext;
      lastIcon = it->second;
      haveLast = true;
    }
    f.Icon = lastIcon;
    if (SameTextCI(name, "setup.exe") || SameTextCI(name, "install.exe")) {
      if (!installIcon)
        installIcon = view_.SmallIconIndex(platform::JoinPath(program, "INSTALL.ico"), false);
      f.Icon = *installIcon;
    } else if ((name.size() > 5 && StartsWithCI(name, "readme")) || SameTextCI(rawExt, ".diz")) {
      if (!readmeIcon)
        readmeIcon = view_.SmallIconIndex(platform::JoinPath(program, "readme.ico"), false);
      f.Icon = *readmeIcon;
    }
  }
}

void TMainForm::ShowFolderView() {
  const std::string archiveName = platform::FileNamePart(currentArchive_);
  if (tree_.empty()) {
    tree_ = Contents.BuildFolderTree(archiveName);
    view_.SetFolderTree(tree_);
  }
  view_.SelectFolderNode(TContentsModel::FindFolderNode(tree_, Contents.CurrentFolder));
  view_.SetTitle(Contents.FolderTitle(archiveName));
}

void TMainForm::UpdateTotals() {
  const std::int64_t n = Contents.EntriesRead;
  std::string text = "Total " + ThousandsText(n, locale_) + (n == 1 ? " file" : " files");
  if (Contents.Style == TDisplayStyle::dsExplorer) {
    const auto d = static_cast<std::int64_t>(Contents.FolderCount());
    text += "; " + ThousandsText(d, locale_) + (d == 1 ? " dir" : " dirs");
  }
  totals_.UnpackedKB = ThousandsText(RoundedKiB(Contents.TotalUnpacked), locale_);
  totals_.PackedKB = (archiveKind_ == ".cab" || archiveKind_ == ".bz2")
                         ? std::string(kUnknownText)
                         : ThousandsText(RoundedKiB(Contents.TotalPacked), locale_);
  totals_.OverallRatio.reset();
  if (Contents.TotalUnpacked > 0)
    totals_.OverallRatio = static_cast<int>(std::llround(
        (1.0 - static_cast<double>(Contents.TotalPacked) /
                   static_cast<double>(Contents.TotalUnpacked)) * 100.0));
  text += ", " + totals_.UnpackedKB + " kB [" + totals_.PackedKB + " kB]";
  SetStatus(spSecond, text);
}

void TMainForm::UpdateInstallState() {
  bool install = false;
  for (const TFile& f : Contents.EntryTable)
    if (f.Path.empty() && (SameTextCI(f.Name, "setup.exe") || SameTextCI(f.Name, "install.exe"))) {
      install = true;
      break;
    }
  SetCommand(commands_, TCommand::cmInstall, install);
  view_.SetCommands(commands_);
  view_.SetCheckOutButton(install
                              ? TCheckOutButton{std::string(kInstallCaption), std::string(kInstallHint)}
                              : TCheckOutButton{std::string(kCheckOutCaption),
                                                std::string(kCheckOutHint)});
}

// ---------------------------------------------------------------------------------------
// Closing

void TMainForm::CloseArchiveClick() {
  const std::string closing = currentArchive_;
  SetCommand(commands_, TCommand::cmMail, false);
  SetCommand(commands_, TCommand::cmRenameEntry, false);
  view_.ShowCommentIndicator(false);
  view_.SetTitle(std::string(kTitlePanelText));
  currentArchive_.clear();
  archiveKind_.clear();
  multiDisk_ = false;
  Contents.BeginListing();
  Contents.CurrentFolder = std::string(kRootFolder);
  ResetDisplayCache();
  view_.SetItemCount(0);
  view_.ClearFolderTree();
  tree_.clear();

  view_.ShowLeftPane(TLeftPane::lpFileBrowser);
  view_.BrowseFolder(platform::DirectoryExists(settings_.LastOpenDir) ? settings_.LastOpenDir
                                                                      : env_.ProgramFolder);

  password_.clear();
  firstLoadAfterOpen_ = false;

  CleanUpCheckOut();

  for (const std::string& f : OpenedTempFiles)
    if (platform::FileExists(f)) {
      platform::SetFileAttributes(f, 0);
      platform::DeleteFile(f);
    }
  OpenedTempFiles.clear();

  if (!closing.empty() && platform::FileExists(closing)) view_.AddToRecentDocuments(closing);

  commands_.reset();
  view_.SetCommands(commands_);
  view_.SetCaption(std::string(kAppTitle));
  SetStatus(spFirst, kEmptyStateText);
  view_.SetLamp(TLamp::lpIdle);
  UpdateSelectionStatus();
}

void TMainForm::CleanUpCheckOut() {
  if (CheckOutFolder.empty()) return;
  if (platform::DirectoryExists(CheckOutFolder)) {
    const std::string text =
        "You were using checkout feature. \rDo you want now to delete that folder and "
        "coresponding program group?\r\r Directory: " +
        CheckOutFolder + "\r" + " Programs directory: " + CheckOutProgramGroup;
    if (view_.ShowMessageBox(text, TMsgKind::mkInformation, TMsgButtons::mbYesNo) ==
        TMsgResult::mrYes) {
      RemoveTree(CheckOutFolder);
      if (!CheckOutProgramGroup.empty() && platform::DirectoryExists(CheckOutProgramGroup))
        RemoveTree(CheckOutProgramGroup);
    }
  }
  CheckOutFolder.clear();
  CheckOutProgramGroup.clear();
}

// ---------------------------------------------------------------------------------------
// Volume and disk prompts

void TMainForm::ArcNextVolume(engine::TZipCommon&, std::string& volumeName,
                              const std::string& volumeId, bool fExists, bool& cancel) {
  // The engine has named the volume (RAR .r00 .. .r99, .s00 ...; .partNN.rar; ARJ .a01 ...).
  cancel = false;
  if (fExists && settings_.AutoVolume == 1) return;
  cancel = view_.ShowMessageBox("Insert volume(" + volumeId + "): " + volumeName,
                                TMsgKind::mkConfirmation,
                                TMsgButtons::mbOKCancel) != TMsgResult::mrOK;
}

void TMainForm::UnZIPGetZipFirstDisk(engine::TZipCommon&, bool& cancel) {
  cancel = view_.ShowMessageBox(std::string(kInsertFirstDiskText), TMsgKind::mkConfirmation,
                                TMsgButtons::mbOKCancel) != TMsgResult::mrOK;
}

void TMainForm::UnZIPGetZipLastDisk(engine::TZipCommon&, bool& cancel) {
  cancel = view_.ShowMessageBox(std::string(kInsertLastDiskText), TMsgKind::mkConfirmation,
                                TMsgButtons::mbOKCancel) != TMsgResult::mrOK;
}

void TMainForm::UnZIPGetZipNextDisk(engine::TZipCommon&, const std::string& volumeName,
                                    bool& cancel) {
  cancel = view_.ShowMessageBox("Insert disk#: " + volumeName, TMsgKind::mkConfirmation,
                                TMsgButtons::mbOKCancel) != TMsgResult::mrOK;
}

// ---------------------------------------------------------------------------------------
// Sorting and selection

void TMainForm::SortCommand(int baseOrder) {
  if (baseOrder < kSortName || baseOrder > kSortListed) return;
  if (baseOrder == kSortListed && Contents.SortOrder == kSortListed) return;
  Contents.SortOrder = NextSortOrder(Contents.SortOrder, baseOrder);
  settings_.SortOrder = Contents.SortOrder;
  view_.SetSortMenuCheck(Contents.SortOrder);
  view_.SetSortIndicator(SortIndicatorFor(Contents.SortOrder));
  if (IsArchiveOpen()) LoadListing();
  UpdateSelectionStatus();
}

void TMainForm::UpdateSelectionStatus() {
  if (!IsArchiveOpen()) {
    view_.SetListPopup(TListPopup::lpNone);
    return;
  }
  const std::vector<std::size_t> selected = view_.SelectedItems();
  Contents.SetSelection(selected);
  if (selected.empty()) {
    SetStatus(spFirst, kNoFilesSelectedText);
    view_.SetListPopup(TListPopup::lpSortMenu);
    return;
  }
  view_.SetListPopup(TListPopup::lpFileMenu);
  SetStatus(spFirst, Contents.SelectionStatusText(locale_));
}

void TMainForm::SelectAllClick() {
  if (!view_.IsListEnabled()) return;
  view_.SelectAllItems(true);
  view_.FocusList();
  UpdateSelectionStatus();
}

void TMainForm::UnSelectAllClick() {
  if (!view_.IsListEnabled()) return;
  view_.SelectAllItems(false);
  view_.FocusList();
  UpdateSelectionStatus();
}

void TMainForm::InvertSelectionClick() {
  Contents.SetSelection(view_.SelectedItems());
  for (std::size_t i = 0; i < Contents.EntryCount(); ++i)
    view_.SetItemSelected(i, Contents.EntryTable[i].Selected == 0);
  view_.FocusList();
  UpdateSelectionStatus();
}

void TMainForm::ListKeyChar(char c) {
  const std::ptrdiff_t focused = view_.FocusedItem();
  const auto found = Contents.FindByFirstChar(focused, c);
  if (!found) return;
  if (focused >= 0) view_.SetItemSelected(static_cast<std::size_t>(focused), false);
  view_.SetItemSelected(*found, true);
  view_.FocusItem(*found);
  UpdateSelectionStatus();
}

void TMainForm::ListDeleteKey() {
  if (HasCommand(commands_, TCommand::cmDeleteEntries) && !view_.SelectedItems().empty() &&
      OnDeleteEntries)
    OnDeleteEntries();
}

// ---------------------------------------------------------------------------------------
// Navigation and opening entries

void TMainForm::NavigateTo(std::string folder) {
  while (!folder.empty() && folder.front() == '\\' && folder != kRootFolder) folder.erase(0, 1);
  Contents.CurrentFolder = folder.empty() ? std::string(kRootFolder) : std::move(folder);
  LoadListing();
  view_.FocusList();
  if (Contents.EntryCount() > 0) view_.FocusItem(0);
  UpdateSelectionStatus();
}

void TMainForm::OpenClick() {
  if (!IsArchiveOpen()) return;
  const std::vector<std::size_t> selected = view_.SelectedItems();
  if (selected.empty()) return;
  std::ptrdiff_t index = view_.FocusedItem();
  if (index < 0 || static_cast<std::size_t>(index) >= Contents.EntryCount())
    index = static_cast<std::ptrdiff_t>(selected.front());
  if (static_cast<std::size_t>(index) >= Contents.EntryCount()) return;
  const TFile entry = Contents.EntryTable[static_cast<std::size_t>(index)];
  if (entry.IsUpEntry()) {
    NavigateTo(TContentsModel::ParentFolder(Contents.CurrentFolder));
  } else if (entry.IsFolderEntry()) {
    NavigateTo((Contents.IsRoot() ? std::string() : Contents.CurrentFolder) + entry.Name);
  } else {
    OpenFileEntry(entry);
  }
}

void TMainForm::UpOneFolderButtClick() {
  if (!IsArchiveOpen()) {
    view_.BrowseParentFolder();
  } else if (Contents.IsRoot()) {
    CloseArchiveClick();
  } else {
    NavigateTo(TContentsModel::ParentFolder(Contents.CurrentFolder));
  }
}

void TMainForm::TreeView1Change(int node) {
  if (!IsArchiveOpen() || node < 0 || static_cast<std::size_t>(node) >= tree_.size()) return;
  const std::string folder = tree_[static_cast<std::size_t>(node)].Folder;
  if (SameTextCI(folder, Contents.CurrentFolder)) return;
  Contents.CurrentFolder = folder;
  LoadListing();
}

void TMainForm::SetDisplayStyle(TDisplayStyle style) {
  settings_.DisplayStyle = style == TDisplayStyle::dsExplorer ? 1 : 0;
  Contents.Style = style;
  view_.ShowExplorerParts(style == TDisplayStyle::dsExplorer);
  if (IsArchiveOpen()) LoadListing();
}

void TMainForm::OpenFileEntry(const TFile& entry) {
  if (tempFolder_.empty()) PrepareWorkingFolder();
  const std::string saved[2] = {statusTexts_[0], statusTexts_[1]};
  view_.SetLamp(TLamp::lpBusy);
  view_.EnableList(false);
  std::string extracted, error;
  const bool ok = ExtractEntry(entry, extracted, error);
  if (!extracted.empty() &&
      std::find(OpenedTempFiles.begin(), OpenedTempFiles.end(), extracted) == OpenedTempFiles.end())
    OpenedTempFiles.push_back(extracted);
  SetStatus(spFirst, saved[0]);
  SetStatus(spSecond, saved[1]);
  view_.SetLamp(TLamp::lpReady);

  if (!ok) {
    view_.ShowMessageBox(error.empty() ? EngineErrorText(engine::kErrReadingFile, entry.Name) : error,
                         TMsgKind::mkError, TMsgButtons::mbOK);
  } else if (IsOneOf(LowerExtension(entry.Name), kNestedArchiveExtensions)) {
    OpenedTempFiles.erase(std::remove(OpenedTempFiles.begin(), OpenedTempFiles.end(), extracted),
                          OpenedTempFiles.end());
    OpenAndLoad(extracted);
    // The nested archive is a temporary file too: it goes when it is closed.
    if (IsArchiveOpen() && currentArchive_ == extracted) OpenedTempFiles.push_back(extracted);
  } else {
    int shellError = 0;
    if (!view_.ShellOpen(extracted, tempFolder_, shellError) && shellError == 31)
      view_.RunProgram(settings_.Viewer, "\"" + extracted + "\"");
  }
  view_.EnableList(true);
  view_.FocusList();
  UpdateSelectionStatus();
}

bool TMainForm::ExtractEntry(const TFile& entry, std::string& extracted, std::string& error) {
  if (archiveKind_ == ".bz2") {
    const std::string target = tempFolder_ + entry.Name;
    try {
      if (!bzip2_) bzip2_ = std::make_unique<zipbridge::Tbzip2>();
      engine::TFileStream in, out;
      if (!in.Open(currentArchive_, platform::TFileAccess::faRead)) {
        error = EngineErrorText(engine::kErrOpeningFile, currentArchive_);
        return false;
      }
      if (!out.Open(target, platform::TFileAccess::faCreate)) {
        error = EngineErrorText(engine::kErrOpeningFile, target);
        return false;
      }
      bzip2_->DecompressStream(in, out);
    } catch (const engine::EBase& e) {
      error = e.what();
      platform::DeleteFile(target);
      return false;
    }
    extracted = target;
    return true;
  }

  std::unique_ptr<engine::TUnBase> unit = MakeExtractor(archiveKind_);
  if (!unit) {
    error = EngineErrorText(engine::kErrUnsupportedMethod, archiveKind_);
    return false;
  }
  unit->SetArchiveFile(currentArchive_);
  unit->SetFileSpec({entry.Path + entry.Name});
  unit->SetExtractDir(tempFolder_);
  unit->UseStoredDirs = false;
  unit->ConfirmOverwrites = false;
  unit->OverwriteMode = engine::TOverwriteMode::omOverwrite;
  if (!password_.empty()) unit->Passwords = {password_};
  bool passed = false;
  unit->OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool pass) {
    extracted = fn;
    passed = pass;
  };
  unit->OnError = [&](engine::TZipCommon&, const std::string&, const std::string& msgEx,
                      const std::string&, int code) {
    if (error.empty()) error = EngineErrorText(code, msgEx);
  };
  unit->OnGetPassword = [&](engine::TZipCommon&, const std::string& fn, std::string& password,
                            bool& tryAgain) {
    const std::optional<std::string> answer = view_.AskPassword(fn);
    tryAgain = answer.has_value();
    if (answer) {
      password = *answer;
      password_ = *answer;  // remembered for later extractions
    }
  };
  unit->OnNextVolume = DivED1.OnNextVolume;
  unit->OnGetZipFirstDisk = [this](engine::TZipCommon& s, bool& c) { UnZIPGetZipFirstDisk(s, c); };
  unit->OnGetZipLastDisk = [this](engine::TZipCommon& s, bool& c) { UnZIPGetZipLastDisk(s, c); };
  unit->OnGetZipNextDisk = [this](engine::TZipCommon& s, const std::string& v, bool& c) {
    UnZIPGetZipNextDisk(s, v, c);
  };
  try {
    unit->Extract();
  } catch (const engine::E_RAISE& e) {
    if (error.empty()) error = EngineErrorText(e.Code, e.MsgEx);
  } catch (const engine::EBase& e) {
    if (error.empty()) error = e.what();
  }
  return passed && !extracted.empty() && error.empty() && unit->FailedCount() == 0;
}

// ---------------------------------------------------------------------------------------
// Rows of the virtual list

void TMainForm::ResetDisplayCache() {
  cache_.clear();
  cacheFrom_ = 0;
}

void TMainForm::CacheHint(std::size_t from, std::size_t to) {
  constexpr std::size_t kMaxCached = 512;  // a screenful or two
  if (to < from || from >= Contents.EntryCount()) return;
  to = std::min({to, Contents.EntryCount() - 1, from + kMaxCached - 1});
  if (!cache_.empty() && from >= cacheFrom_ && to < cacheFrom_ + cache_.size()) return;
  cache_.clear();
  cacheFrom_ = from;
  for (std::size_t i = from; i <= to; ++i)
    cache_.push_back(Contents.DisplayRecordOf(i, locale_));
}

const TDisplayRecord& TMainForm::DisplayItem(std::size_t index) {
  if (index >= cacheFrom_ && index < cacheFrom_ + cache_.size()) return cache_[index - cacheFrom_];
  scratch_ = Contents.DisplayRecordOf(index, locale_);
  return scratch_;
}

}  // namespace app
