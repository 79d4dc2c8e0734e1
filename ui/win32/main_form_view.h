// TMainFormView: the main window. Real Win32 controls (menu bar, toolbar, virtual list
// view, folder tree, file browser pane, status bar) that show what TMainForm tells them
// through IMainView and forward every user action to TMainForm.
#pragma once

#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/main_view.h"
#include "app/settings.h"

namespace win32ui {

class TMainFormView;
class TExtractPrompts;

// Where a command sits in the menu bar.
enum class TMenuPlace : std::uint8_t {
  mpNone, mpFile, mpEdit, mpActions, mpView, mpArrange, mpOptions, mpHelp,
};

// Standard toolbar image lists of the common controls.
enum class TButtonImages : std::uint8_t { biStandard, biView, biHistory };

// One command: its menu item, accelerator, toolbar button and handler. One table of these
// (CommandTable) builds the menus, the pop-ups, the toolbar and the accelerators.
struct TCommandDef {
  UINT Id = 0;                   // 0: a separator in Menu
  TMenuPlace Menu = TMenuPlace::mpNone;
  const wchar_t* Caption = nullptr;
  int Command = -1;              // app::TCommand whose state it follows; -1: the view's own
  BYTE AccelFlags = 0;           // FVIRTKEY | FCONTROL | FSHIFT | FALT
  WORD AccelKey = 0;             // 0: no accelerator
  int Button = -1;               // index in the setting "Buttons"; -1: no toolbar button
  TButtonImages Images = TButtonImages::biStandard;
  int Image = 0;
  const wchar_t* ButtonText = nullptr;
  const wchar_t* Hint = nullptr;
  bool InFilePopup = false;
  bool InSortPopup = false;
  void (TMainFormView::*Handler)() = nullptr;  // null: not built yet, always disabled
};

// Indices of the status bar parts.
inline constexpr int kStatusPartTools = 0;   // the two selection buttons
inline constexpr int kStatusPartFirst = 1;   // first text panel
inline constexpr int kStatusPartSecond = 2;  // second text panel (the progress bar covers it)
inline constexpr int kStatusPartComment = 3; // comment indicator
inline constexpr int kStatusPartLamp = 4;    // idle / busy / ready lamp
inline constexpr int kStatusPartCount = 5;

inline constexpr std::wstring_view kCommentIndicatorText = L"Comment";

// How the window is run (the program and the tests differ here).
struct TMainFormViewOptions {
  std::optional<app::TLocaleFormat> Locale;  // none: the user's locale
  bool SaveSettingsOnClose = true;
  bool QuitOnDestroy = true;
};

class TMainFormView final : public app::IMainView {
 public:
  TMainFormView(app::TSettings& settings, app::TMainFormEnvironment env,
                TMainFormViewOptions options = {});
  ~TMainFormView() override;
  TMainFormView(const TMainFormView&) = delete;
  TMainFormView& operator=(const TMainFormView&) = delete;

  // Creates the window and its controls and puts the controller into the empty state.
  // The window is shown with `showCommand` (SW_HIDE keeps it hidden).
  bool Create(int showCommand);
  // What a non-switch command-line parameter does: opens and lists the archive.
  void OpenFromCommandLine(const std::string& path);
  // Accelerators and dialog keys for the message loop; true when the message was used.
  bool PreTranslateMessage(MSG& msg);

  HWND Handle() const { return hwnd_; }
  HWND ListView() const { return list_; }
  HWND FolderTree() const { return tree_; }
  HWND FileBrowser() const { return browser_; }
  HWND StatusBar() const { return status_; }
  HWND Toolbar() const { return toolbar_; }
  HWND TitlePanel() const { return title_; }
  HWND ProgressBar() const { return progress_; }
  app::TMainForm& Form() { return *form_; }
  // The Extract dialog and questions of this window (installed by Create).
  TExtractPrompts& ExtractPrompts() { return *extractPrompts_; }
  const app::TSettings& Settings() const { return settings_; }
  // The menu bar state: enabled commands as the menus and toolbar show them.
  bool IsCommandEnabled(UINT id) const;
  const std::vector<std::string>& LogLines() const { return log_; }
  app::TLamp Lamp() const { return lamp_; }

  // Tests answer questions here instead of a modal box.
  std::function<app::TMsgResult(const std::string&, app::TMsgKind, app::TMsgButtons)>
      MessageBoxOverride;
  std::function<std::optional<std::string>(const std::string&)> PasswordOverride;

  static std::span<const TCommandDef> CommandTable();

  // ---- IMainView ----
  void SetCaption(const std::string& caption) override;
  void SetTitle(const std::string& title) override;
  void SetStatusText(app::TStatusPanel panel, const std::string& text) override;
  void RepaintStatus() override;
  void ShowSecondPanel(bool visible) override;
  void ShowProgress(bool visible) override;
  void SetProgress(std::int64_t position, std::int64_t maximum) override;
  void SetLamp(app::TLamp lamp) override;
  void SetBusyCursor(bool busy) override;
  void ShowSelectionTools(bool visible) override;
  void ShowCommentIndicator(bool visible) override;
  void SetCommands(const app::TCommandSet& enabled) override;
  void SetCheckOutButton(const app::TCheckOutButton& button) override;
  void SetRecentArchives(const std::vector<app::TRecentItem>& items) override;
  void SetSortMenuCheck(int sortOrder) override;
  void SetListPopup(app::TListPopup popup) override;
  void SetItemCount(std::size_t count) override;
  void SetSortIndicator(const app::TSortIndicator& indicator) override;
  void SetWebStyle(bool on) override;
  bool IsListEnabled() override;
  void EnableList(bool enabled) override;
  void FocusList() override;
  std::vector<std::size_t> SelectedItems() override;
  void SelectAllItems(bool selected) override;
  void SetItemSelected(std::size_t index, bool selected) override;
  std::ptrdiff_t FocusedItem() override;
  void FocusItem(std::size_t index) override;
  void ShowLeftPane(app::TLeftPane pane) override;
  void ShowExplorerParts(bool visible) override;
  void BrowseFolder(const std::string& folder) override;
  void BrowseParentFolder() override;
  void ClearFolderTree() override;
  void SetFolderTree(const std::vector<app::TFolderNode>& nodes) override;
  void SelectFolderNode(int index) override;
  app::TMsgResult ShowMessageBox(const std::string& text, app::TMsgKind kind,
                                 app::TMsgButtons buttons) override;
  std::optional<std::string> AskPassword(const std::string& memberName) override;
  void AppendLog(const std::string& line) override;
  int SmallIconIndex(const std::string& path, bool isFolder) override;
  bool ShellOpen(const std::string& path, const std::string& folder, int& shellError) override;
  bool RunProgram(const std::string& program, const std::string& parameters) override;
  void AddToRecentDocuments(const std::string& path) override;

  // ---- command handlers (one per command id; the table names them) ----
  void OpenCommand();
  void CloseCommand();
  void ExitCommand();
  void RecentCommand(int k);
  void SelectAllCommand();
  void SelectNoneCommand();
  void InvertSelectionCommand();
  void SortByName();
  void SortByPath();
  void SortByType();
  void SortBySize();
  void SortByPacked();
  void SortByRatio();
  void SortByDate();
  void SortByListedOrder();
  void ClassicStyleCommand();
  void ExplorerStyleCommand();
  void UpFolderCommand();
  void RefreshCommand();
  void ExtractCommand();
  void ViewToolbarCommand();
  void ViewStatusBarCommand();
  void AboutCommand();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnNotify(NMHDR& header);
  LRESULT OnListNotify(NMHDR& header);
  void OnCommand(UINT id);
  void CreateControls();
  void CreateToolbar();
  void BuildMenuBar();
  HMENU BuildPopup(bool filePopup) const;
  void BuildAccelerators();
  void ApplyCommandStates();
  void ApplyMenuChecks();
  void Layout();
  void LayoutStatusBar();
  RECT SplitterRect() const;
  bool ExplorerStyle() const { return explorerParts_; }
  void FillFileBrowser();
  void OpenBrowserItem(int index);
  void ShowListPopup(POINT screen);
  void DrawLamp(const DRAWITEMSTRUCT& item);
  void ScheduleSelectionStatus();

  app::TSettings& settings_;
  app::TMainFormEnvironment env_;
  TMainFormViewOptions options_;
  std::unique_ptr<app::TMainForm> form_;
  // After form_: it detaches itself from the controller when destroyed.
  std::unique_ptr<TExtractPrompts> extractPrompts_;

  HWND hwnd_ = nullptr;
  HWND toolbar_ = nullptr;
  HWND status_ = nullptr;
  HWND list_ = nullptr;
  HWND tree_ = nullptr;
  HWND browser_ = nullptr;
  HWND title_ = nullptr;
  HWND progress_ = nullptr;
  HWND selectAllTool_ = nullptr;
  HWND selectNoneTool_ = nullptr;
  HMENU menu_ = nullptr;
  HACCEL accel_ = nullptr;
  HFONT font_ = nullptr;
  HFONT titleFont_ = nullptr;
  HIMAGELIST smallIcons_ = nullptr;

  // What the view shows.
  app::TCommandSet commands_;
  std::vector<app::TRecentItem> recent_;
  int sortCheck_ = app::kSortName;
  app::TListPopup listPopup_ = app::TListPopup::lpNone;
  app::TLeftPane leftPane_ = app::TLeftPane::lpFileBrowser;
  bool explorerParts_ = false;
  bool secondPanelVisible_ = true;
  bool progressVisible_ = false;
  bool selectionToolsVisible_ = false;
  bool commentVisible_ = false;
  bool busy_ = false;
  app::TLamp lamp_ = app::TLamp::lpIdle;
  std::wstring statusTexts_[2];
  std::wstring checkOutHint_;
  std::vector<HTREEITEM> treeItems_;
  std::string browsedFolder_;
  bool browserStale_ = false;
  struct TBrowserItem {
    std::string Name;
    bool IsFolder;
  };
  std::vector<TBrowserItem> browserItems_;
  std::vector<std::string> log_;

  // Programmatic changes of the list and the tree notify like the user's; the controller
  // asked for them and must not hear about them again.
  int quiet_ = 0;
  bool selectionUpdatePending_ = false;
  int paneWidth_ = 0;
  bool dragging_ = false;
  int dpi_ = 96;
};

}  // namespace win32ui
