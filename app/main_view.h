// IMainView: what the main window shows and asks, as the controller TMainForm drives it.
// The Win32 view implements it with a virtual list view (LVS_OWNERDATA; columns Name,
// Modified, Size, Ratio, Packed, Path; row texts from TMainForm::DisplayItem), a folder
// tree, a file browser pane, a status bar with two text panels, a progress bar and the
// lamps, and menus and toolbar buttons fed by one command id table (TCommand). Tests
// implement it with a recording fake. The view holds no decisions: every call is a
// plain "show this" or "ask this".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/archive_kinds.h"
#include "app/contents_model.h"

namespace app {

// Every message box of the program is captioned with this.
inline constexpr std::string_view kMessageBoxCaption = "Tessaly 2000";

enum class TMsgKind : std::uint8_t { mkWarning, mkError, mkInformation, mkConfirmation };
enum class TMsgButtons : std::uint8_t { mbOK, mbYesNo, mbOKCancel };
enum class TMsgResult : std::uint8_t { mrOK, mrCancel, mrYes, mrNo };

enum class TStatusPanel : std::uint8_t { spFirst, spSecond };
enum class TLamp : std::uint8_t { lpIdle, lpBusy, lpReady };
enum class TLeftPane : std::uint8_t { lpFolderTree, lpFileBrowser };
// Pop-up menu of the file list.
enum class TListPopup : std::uint8_t { lpNone, lpSortMenu, lpFileMenu };

// One recent-archive menu item.
struct TRecentItem {
  std::string MenuCaption;      // File menu: "&1 " + path, long paths shortened
  std::string DropDownCaption;  // Open button's drop-down: "&1 " + full path
};

// The check-out toolbar button.
struct TCheckOutButton {
  std::string Caption;  // "CheckOut" or "Install"
  std::string Hint;
};

class IMainView {
 public:
  virtual ~IMainView() = default;

  // ---- window texts ----
  // Window caption and application title.
  virtual void SetCaption(const std::string& caption) = 0;
  // The title panel above the list ("Tessaly 2000 v5.5" when empty, the folder title in
  // explorer style).
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetStatusText(TStatusPanel panel, const std::string& text) = 0;
  // Repaint now (the window is busy and the message loop does not run).
  virtual void RepaintStatus() = 0;
  virtual void ShowSecondPanel(bool visible) = 0;
  // The progress bar in place of the second panel while a listing loads.
  virtual void ShowProgress(bool visible) = 0;
  virtual void SetProgress(std::int64_t position, std::int64_t maximum) = 0;
  virtual void SetLamp(TLamp lamp) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // Selection tools (the two small buttons) of the status bar.
  virtual void ShowSelectionTools(bool visible) = 0;
  virtual void ShowCommentIndicator(bool visible) = 0;

  // ---- commands ----
  // Enabled state of every archive command; the rest (New, Open, Favourites, sort and
  // style commands, ...) are the view's own.
  virtual void SetCommands(const TCommandSet& enabled) = 0;
  virtual void SetCheckOutButton(const TCheckOutButton& button) = 0;
  virtual void SetRecentArchives(const std::vector<TRecentItem>& items) = 0;
  // Check mark of "Arrange Icons" and of the list pop-up (SortOrder code).
  virtual void SetSortMenuCheck(int sortOrder) = 0;
  virtual void SetListPopup(TListPopup popup) = 0;

  // ---- the list (virtual: the view asks TMainForm::DisplayItem for row texts) ----
  // Sets the number of rows, drops the view's own row caches and repaints.
  virtual void SetItemCount(std::size_t count) = 0;
  virtual void SetSortIndicator(const TSortIndicator& indicator) = 0;
  // Single-click activation and underline on hover.
  virtual void SetWebStyle(bool on) = 0;
  virtual bool IsListEnabled() = 0;
  virtual void EnableList(bool enabled) = 0;
  virtual void FocusList() = 0;
  // The selected rows, ascending.
  virtual std::vector<std::size_t> SelectedItems() = 0;
  // Selects or clears every row at once.
  virtual void SelectAllItems(bool selected) = 0;
  virtual void SetItemSelected(std::size_t index, bool selected) = 0;
  // The focused row; -1 when none.
  virtual std::ptrdiff_t FocusedItem() = 0;
  virtual void FocusItem(std::size_t index) = 0;

  // ---- left pane ----
  virtual void ShowLeftPane(TLeftPane pane) = 0;
  // Explorer style: the tree pane and the folder-bar command are shown.
  virtual void ShowExplorerParts(bool visible) = 0;
  // The file browser pane shows `folder`.
  virtual void BrowseFolder(const std::string& folder) = 0;
  // The file browser pane goes to its parent folder.
  virtual void BrowseParentFolder() = 0;
  virtual void ClearFolderTree() = 0;
  // Replaces the tree (node 0 is the archive); closed and open folder images.
  virtual void SetFolderTree(const std::vector<TFolderNode>& nodes) = 0;
  // Expands, selects and scrolls into view node `index` of the last SetFolderTree.
  virtual void SelectFolderNode(int index) = 0;

  // ---- questions and messages ----
  // Modal, centred on the main window, kept on screen, captioned kMessageBoxCaption.
  virtual TMsgResult ShowMessageBox(const std::string& text, TMsgKind kind,
                                    TMsgButtons buttons) = 0;
  // A password for an encrypted member; nullopt when the user cancels.
  virtual std::optional<std::string> AskPassword(const std::string& memberName) = 0;
  // "View Last Output": appends one line to the log window.
  virtual void AppendLog(const std::string& line) = 0;

  // ---- shell ----
  // Index in the system small-icon list of a file named `path` (which need not exist: the
  // Win32 view asks with SHGFI_USEFILEATTRIBUTES), or of a folder.
  virtual int SmallIconIndex(const std::string& path, bool isFolder) = 0;
  // Opens a document with its default verb in `folder`; false with the shell's error
  // code (31: no program is associated).
  virtual bool ShellOpen(const std::string& path, const std::string& folder,
                         int& shellError) = 0;
  // Starts `program` with `parameters`.
  virtual bool RunProgram(const std::string& program, const std::string& parameters) = 0;
  // Adds a file to the shell's recent documents.
  virtual void AddToRecentDocuments(const std::string& path) = 0;
};

}  // namespace app
