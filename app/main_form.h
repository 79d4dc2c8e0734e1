// TMainForm: the main window's controller. It holds the open archive (path, kind, temp
// files, recent archives), builds the listing through the engine of the archive's kind,
// and drives the window through IMainView. It owns no window handle: the Win32 front end
// forwards user actions to the handlers below and draws what the view calls tell it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/archive_kinds.h"
#include "app/contents_model.h"
#include "app/display_texts.h"
#include "app/extract_operation.h"
#include "app/main_view.h"
#include "app/settings.h"
#include "engine/core/lister.h"
#include "engine/decoders/un_gzip.h"
#include "engine/decoders/uu_decode.h"

namespace zipbridge {
class Tbzip2;
}

namespace app {

// Texts of this window (kept in one place, used as they are).
inline constexpr std::string_view kAppTitle = "Tessaly 2000";
inline constexpr std::string_view kTitlePanelText = "Tessaly 2000 v5.5";
inline constexpr std::string_view kEmptyStateText =
    "Choose \"New\" to create or \"Open\" to open an archive.";
inline constexpr std::string_view kCannotOpenText =
    "Tessaly cannot open this file. It doesn't appear to be a vaild archive.\r\r"
    "If it is a SFX file it is either not in the standard Zip file format or it is "
    "corrupt.\r\rIf you are trying to open a spannning disk, please open last archive of "
    "that set.";
inline constexpr std::string_view kBackupSetText =
    "If this Zip file is part of a backup set, please insert the last disk of the backup "
    "set and try again (this is required by the standard Zip multi-disk format). ";
inline constexpr std::string_view kDecodeAskText =
    "Decode archive TO a temp folder AND open it?";
inline constexpr std::string_view kReadingDirectoryText = "Reading directory...";
inline constexpr std::string_view kSortingFilesText = "Sorting files...";
inline constexpr std::string_view kLoadingFileListText = "Loading file list...";
inline constexpr std::string_view kInsertFirstDiskText = "Insert FIRST disk of this archive set.";
inline constexpr std::string_view kInsertLastDiskText = "Insert LAST disk of this archive set.";
inline constexpr std::string_view kCheckOutCaption = "CheckOut";
inline constexpr std::string_view kCheckOutHint = "Create icons for files in the archive";
inline constexpr std::string_view kInstallCaption = "Install";
inline constexpr std::string_view kInstallHint = "Extract all files and start installation";

// Where the program runs.
struct TMainFormEnvironment {
  std::string ProgramFolder;             // with a trailing separator
  std::vector<std::string> Parameters;   // command-line parameters 1..n
};

// Figures of the last listing for the archive properties dialog.
struct TArchiveTotals {
  std::string UnpackedKB;            // with thousands separators
  std::string PackedKB;              // "?" for ".cab" and ".bz2"
  std::optional<int> OverallRatio;   // percent saved; none when nothing is unpacked
};

enum class TOpenResult : std::uint8_t {
  orOpened,      // the archive is open; the caller loads the listing
  orRedirected,  // another route opened and loaded it already
  orClosed,      // the file could not be opened; the window is in the empty state
};

class TMainForm {
 public:
  TMainForm(IMainView& view, TSettings& settings, TMainFormEnvironment env,
            TLocaleFormat locale = {});
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // ---- the open archive ----
  const std::string& CurrentArchive() const { return currentArchive_; }
  const std::string& ArchiveKind() const { return archiveKind_; }
  bool IsArchiveOpen() const { return !currentArchive_.empty(); }
  // Working folder of the last listing (setting "Temp"), with a trailing separator.
  const std::string& TempFolder() const { return tempFolder_; }
  // Files extracted into TempFolder to be opened; deleted when the archive closes.
  std::vector<std::string> OpenedTempFiles;
  // Slot 0 is the newest (settings "Active_File1".."Active_File5").
  const THistory& RecentArchives() const { return settings_.RecentArchives; }
  const TArchiveTotals& Totals() const { return totals_; }
  const TCommandSet& Commands() const { return commands_; }
  bool IsMultiDisk() const { return multiDisk_; }
  const std::vector<TFolderNode>& FolderTree() const { return tree_; }
  const std::string& RememberedPassword() const { return password_; }

  // The listing: EntryTable, FolderList, CurrentFolder, SortOrder.
  TContentsModel Contents;

  // Makes `path` the open archive and decides its kind; does not read the entries.
  // `fromRecentMenu` leaves the recent archives' order alone.
  TOpenResult OpenArchive(const std::string& path, bool fromRecentMenu = false);
  // Rebuilds the listing from CurrentArchive and refreshes the window.
  void LoadListing();
  // Closes the archive; the window returns to the empty state.
  void CloseArchiveClick();
  // What the Open dialog, the command line and a dropped archive do: close, open, load.
  TOpenResult OpenAndLoad(const std::string& path);
  // Recent-archive command k (1..5).
  void RecentArchiveClick(int k);
  // Files dropped on the window. Returns false when the drag-and-drop dialog is to be
  // shown instead (OnShowDragDialog is called then).
  bool FileDrag1Drop(const std::vector<std::string>& files, bool ctrlHeld);

  // ---- sorting ----
  // Name, path, type, size, packed, ratio, date (1..7) or the listed order (8).
  void SortCommand(int baseOrder);
  void FILELISTColumnClick(TColumn column) { SortCommand(SortBaseForColumn(column)); }

  // ---- selection ----
  void SelectAllClick();
  void UnSelectAllClick();
  void InvertSelectionClick();
  // Run after every change of selection, sorting, folder and listing.
  void UpdateSelectionStatus();
  // A character typed in the list: type-ahead search.
  void ListKeyChar(char c);
  // Delete key on the list.
  void ListDeleteKey();

  // ---- navigation and opening ----
  // Opens the focused entry: a folder, the up entry, or a file (extracted and opened).
  void OpenClick();
  void UpOneFolderButtClick();
  // A tree node was chosen (index into FolderTree()).
  void TreeView1Change(int node);
  // "&Classic Display Style" / "&Explorer Display Style".
  void SetDisplayStyle(TDisplayStyle style);
  void N9Click() { SetDisplayStyle(TDisplayStyle::dsClassic); }
  void ExplorerDisplayStyle1Click() { SetDisplayStyle(TDisplayStyle::dsExplorer); }

  // ---- list rows for the virtual list view ----
  // LVN_ODCACHEHINT: prepares rows from..to (inclusive).
  void CacheHint(std::size_t from, std::size_t to);
  // The texts of row `index`; valid until the next call.
  const TDisplayRecord& DisplayItem(std::size_t index);

  // ---- engine events ----
  void DivED1Read(engine::TZipCommon& sender);
  void ArcNextVolume(engine::TZipCommon& sender, std::string& volumeName,
                     const std::string& volumeId, bool fExists, bool& cancel);
  void UnZIPGetZipFirstDisk(engine::TZipCommon& sender, bool& cancel);
  void UnZIPGetZipLastDisk(engine::TZipCommon& sender, bool& cancel);
  void UnZIPGetZipNextDisk(engine::TZipCommon& sender, const std::string& volumeName,
                           bool& cancel);

  // ---- extraction (extract_operation.cpp) ----
  // The Extract command (menu, toolbar, pop-up): the Extract dialog, then the extraction.
  void ExtractButtonClick();
  // Who shows the Extract dialog and the overwrite question; null: the view, when it
  // implements IExtractPrompts too.
  void SetExtractPrompts(IExtractPrompts* prompts) { extractPrompts_ = prompts; }
  // True while an engine extracts for the window (the interrupt question may be asked).
  bool IsExtracting() const { return extractionRunning_; }
  // A click or key press in the main window: during an extraction asks whether to go on;
  // No cancels the running engine at its next block.
  void ExtractInterruptCheck();
  // Set by the answer All and by the overwrite option; cleared when the dialog opens.
  bool OverwriteAll() const { return overwriteAll_; }
  // The Extract dialog (created once for the run, as every dialog).
  dialogs::TExtractForm ExtractForm;

  // Drag-out of entries: button down at (x, y); a move with a button held returns true
  // once a drag is to start (10 pixels away, with a selection); DragFileList names the
  // files the drag carries; DropFileSource1Drop extracts them into TempFolder when the
  // drop target accepts (false when that failed).
  void FileListMouseDown(int x, int y);
  bool FileListMouseMove(int x, int y, bool buttonHeld);
  std::vector<std::string> DragFileList();
  bool DropFileSource1Drop();

  // Handlers bound to every decoder during an extraction.
  void UnARCFileExists(engine::TZipCommon& sender, const std::string& fn, double fileDate,
                       engine::TOverwriteMode& mode);
  void ArcProgress(engine::TZipCommon& sender, std::uint8_t byFile, std::uint8_t byArchive);
  void UnARJ1Begin(engine::TZipCommon& sender, const std::string& fn, int recNum, bool& extract);
  void UnARJ1End(engine::TZipCommon& sender, const std::string& fn, bool crcPass);
  void UnARJ1GetPassword(engine::TZipCommon& sender, const std::string& fn,
                         std::string& password, bool& tryAgain);
  void UnARJ1Error(engine::TZipCommon& sender, const std::string& fn, const std::string& msgEx,
                   const std::string& volumeId, int code);
  // Handlers bound to the Extract dialog's ZIP bridge.
  void ZipMaster1Progress(zipbridge::TZipMaster& sender, zipbridge::ProgressType type,
                          const std::string& fileName, std::uint32_t fileSize);
  void ZipMaster1Message(zipbridge::TZipMaster& sender, int errCode, const std::string& message);
  void ZipMaster1CRC32Error(zipbridge::TZipMaster& sender, const std::string& forFile,
                            std::uint32_t foundCrc, std::uint32_t expectedCrc, bool& doExtract);
  void ZipMaster1ExtractOverwrite(zipbridge::TZipMaster& sender, const std::string& forFile,
                                  bool isOlder, bool& doOverwrite);
  void ZipMaster1ExtractSkipped(zipbridge::TZipMaster& sender, const std::string& forFile,
                                zipbridge::UnZipSkipTypes skipType, int extError);
  void ZipMaster1PasswordError(zipbridge::TZipMaster& sender, std::string& newPassword,
                               const std::string& forFile, unsigned& repeatCount);

  // ---- hooks into the other commands' controllers (empty: nothing happens) ----
  std::function<void()> OnShowComment;     // comment command, shown on the first load
  std::function<void()> OnAutoInstall;     // installation dialog, once per run
  std::function<void()> OnDeleteEntries;   // delete command (Delete key on the list)
  std::function<void(const std::vector<std::string>&)> OnShowDragDialog;

  // Check-out state of the check-out command: cleaned up when the archive closes.
  std::string CheckOutFolder;
  std::string CheckOutProgramGroup;

  // The engines the window owns for its whole life.
  engine::TDivED DivED1;
  engine::TUnGZIP UnGZIP1;
  engine::TUUDecode UUDecode1;

  // Captions of the recent-archive menu items.
  static std::string RecentMenuCaption(int k, std::string_view path);

  const TLocaleFormat& Locale() const { return locale_; }

 private:
  TOpenResult CannotOpen(std::string_view text);
  TOpenResult OpenTgz(const std::string& path, bool fromRecentMenu);
  bool DecodeEncoded(const std::string& path, std::string& decoded);
  void RefreshRecentMenus();
  void UpdateRecentArchives(const std::string& path, bool& redirected);
  void SetStatus(TStatusPanel panel, std::string_view text);
  void PrepareWorkingFolder();
  void ListThroughLister();
  void ListBzip2();
  void AssignIcons();
  void UpdateTotals();
  void UpdateInstallState();
  void ShowFolderView();
  void ResetDisplayCache();
  void NavigateTo(std::string folder);
  void OpenFileEntry(const TFile& entry);
  bool ExtractEntry(const TFile& entry, std::string& extracted, std::string& error);
  void CleanUpCheckOut();
  std::string Bzip2EntryName() const;
  IExtractPrompts* Prompts();
  void RunExtraction(const dialogs::TExtractRequest& request);
  bool ExtractThroughBridge(const dialogs::TExtractRequest& request,
                            const std::vector<std::string>& specs, std::int64_t total);
  bool DecompressBzip2(const std::string& target);
  bool ExtractThroughDecoder(const dialogs::TExtractRequest& request,
                             const std::vector<std::string>& specs, const std::string& volume);
  std::string ExistingEntryLine(const std::string& existingPath, double fallbackDate) const;

  IMainView& view_;
  TSettings& settings_;
  TMainFormEnvironment env_;
  TLocaleFormat locale_;

  std::string currentArchive_;
  std::string archiveKind_;
  std::string tempFolder_;
  std::string password_;
  TArchiveTotals totals_;
  TCommandSet commands_;
  bool multiDisk_ = false;
  bool firstLoadAfterOpen_ = false;
  bool autoInstallOffered_ = false;
  std::vector<TFolderNode> tree_;
  std::string statusTexts_[2];
  std::unique_ptr<zipbridge::Tbzip2> bzip2_;

  // Extraction state.
  IExtractPrompts* extractPrompts_ = nullptr;
  bool extractionRunning_ = false;
  bool overwriteAll_ = false;
  bool extractCancelled_ = false;     // Cancel was answered: nothing more is asked
  bool interruptAsking_ = false;
  bool operationFailed_ = false;      // a wrong password on ARJ and ACE archives
  engine::TZipCommon* runningEngine_ = nullptr;
  zipbridge::TZipMaster* runningBridge_ = nullptr;
  std::string extractTarget_;         // target folder of the running extraction
  bool extractUseFolders_ = true;
  bool extractSkipOlder_ = false;
  std::int64_t progressUnit_ = 32768;
  std::int64_t progressBytes_ = 0;
  std::int64_t progressPosition_ = 0;
  std::int64_t progressMaximum_ = 100;
  int dragX_ = 0, dragY_ = 0;
  bool dragArmed_ = false;

  // Display cache: prepared rows cacheFrom_ .. cacheFrom_ + cache_.size() - 1.
  std::vector<TDisplayRecord> cache_;
  std::size_t cacheFrom_ = 0;
  TDisplayRecord scratch_;
};

}  // namespace app
