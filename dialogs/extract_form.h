// TExtractForm: the Extract dialog's values, enabled states, validation and actions. The
// dialog collects the target folder, which entries and the overwrite options; the main
// window runs the extraction with what Request() holds once ExtractButtClick accepted it.
//
// The Win32 view (ui/win32/extract_dialog_view) copies Controls() into its controls on
// WM_INITDIALOG and after every action, forwards each user change to the matching method,
// and closes the dialog when ExtractButtClick or CancelButtClick says so.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zipbridge/zip_master.h"

namespace dialogs {

// Texts of the dialog.
inline constexpr std::string_view kDriveNotExistText = "Drive not exist!";
inline constexpr std::string_view kExtractHelpTopic = "extractfiles.html";
inline constexpr std::string_view kNewFolderCaption = "Create New Folder";

// Which entries the extraction takes.
enum class TExtractFiles : std::uint8_t {
  efSelected,  // "&Selected files"
  efAll,       // "&All files"
  efMask,      // "F&iles:" with the mask
};

// What the dialog is opened with.
struct TExtractContext {
  std::string ArchiveKind;           // ".zip", ".lzh", ".bz2", ...
  std::string ArchivePath;           // CurrentArchive
  bool HasSelection = false;         // the list has selected entries
  std::int32_t ExtractOverwrite = 0; // setting "Extract overwrite"
  std::int32_t EFolder = 0;          // setting "Efolder": 0, 1 or 2
  std::vector<std::string> RecentFolders;  // "Extract1".."Extract5", newest first
};

// The state of every control, as the view shows it.
struct TExtractControls {
  std::string Destination;                  // the destination box's text
  std::vector<std::string> DestinationList; // its drop-down: the recent target folders
  TExtractFiles Files = TExtractFiles::efAll;
  bool SelectedEnabled = false;  // "&Selected files"
  bool FileChoiceEnabled = true; // the three file choices and the mask box
  std::string Mask;              // "F&iles:"
  bool Overwrite = false;        // "&Overwrite Existing Files"
  bool OverwriteEnabled = true;
  bool SkipOlder = false;        // "S&kip Older Files"
  bool SkipOlderEnabled = false;
  bool UseFolderNames = true;    // "Use &Folder Name"
  bool UseFolderNamesEnabled = true;
  bool NewFolderEnabled = false;
};

// What ExtractButtClick accepted.
struct TExtractRequest {
  std::string TargetFolder;   // absolute or as typed, ends with the separator
  TExtractFiles Files = TExtractFiles::efAll;
  std::string Mask;           // for efMask: "*.*" when the box was empty or "."
  bool Overwrite = false;
  bool SkipOlder = false;
  bool UseFolderNames = true;
  bool StoreOverwrite = true; // write Overwrite to "Extract overwrite" (not for ".cab")
};

// Message kinds of the dialog's own messages (captioned like every box of the program).
enum class TDialogMessage : std::uint8_t { dmError, dmWarning, dmInformation };

// What the dialog asks of its window. Implemented by the Win32 view and by tests.
class IExtractView {
 public:
  virtual ~IExtractView() = default;
  virtual void ShowMessage(const std::string& text, TDialogMessage kind) = 0;
  // The create-folder dialog: the name of the new folder below `parent`; nullopt when
  // cancelled.
  virtual std::optional<std::string> AskNewFolderName(const std::string& parent) = 0;
  // Opens `folder` in the shell's file browser.
  virtual void ExploreFolder(const std::string& folder) = 0;
  virtual void ShowHelpTopic(std::string_view topic) = 0;
  // The controls changed: copy Controls() into them again.
  virtual void ControlsChanged() = 0;
};

// The recent target folders after `target` was used: it moves to slot 1; when it was in
// slot k the slots above k shift down one; when it was absent every slot shifts down and
// the last is dropped. Empty slots are closed up first. Kept without a trailing separator;
// on Windows lower-cased and compared without regard to case.
void RememberTargetFolder(std::span<std::string> slots, std::string_view target);

// The sub-folders of `folder` for the folder tree (expanded on demand), sorted without
// regard to case; hidden and system folders are left out on Windows, dot folders on POSIX.
std::vector<std::string> SubFolders(std::string_view folder);

class TExtractForm {
 public:
  TExtractForm();

  // Not owned; may be null (messages are then dropped and no folder name is asked).
  IExtractView* View = nullptr;
  // Whether drive `letter` ("D:") exists; the platform's answer by default.
  std::function<bool(std::string_view drive)> DriveExists;

  // Prepares every control for `context` (the dialog is about to be shown).
  void FormShow(const TExtractContext& context);
  const TExtractControls& Controls() const { return controls_; }
  const TExtractContext& Context() const { return context_; }

  // ---- user changes, forwarded by the view ----
  void DestinationChange(std::string_view text);
  void SetFiles(TExtractFiles files);
  void SetMask(std::string_view mask);
  void SetOverwrite(bool on);
  void SetSkipOlder(bool on);
  void SetUseFolderNames(bool on);
  // A folder was chosen in the tree: it becomes the destination.
  void TreeListChange(std::string_view folder);
  // The tree expands `folder`: its sub-folders.
  std::vector<std::string> TreeListExpanding(std::string_view folder) const {
    return SubFolders(folder);
  }

  // ---- buttons ----
  // Validates and prepares the target folder. True: the dialog closes and Request() holds
  // the extraction; false: the dialog stays (nothing to do, or a message was shown).
  bool ExtractButtClick();
  // Asks for a name and creates the folder below the destination, which then names it.
  void NewFolderButtClick();
  void ExploreButtClick();
  void CancelButtClick() { accepted_ = false; }
  void HelpButtClick();

  bool Accepted() const { return accepted_; }
  const TExtractRequest& Request() const { return request_; }

  // The dialog's own ZIP bridge, through which ".zip" and ".exe" archives are extracted.
  zipbridge::TZipMaster ZipMaster1;

 private:
  void UpdateNewFolder();
  void Changed();
  void Message(const std::string& text, TDialogMessage kind);
  std::string ArchiveFolder() const;

  TExtractContext context_;
  TExtractControls controls_;
  TExtractRequest request_;
  bool accepted_ = false;
};

}  // namespace dialogs
