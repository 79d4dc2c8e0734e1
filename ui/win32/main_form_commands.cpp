// The main window's commands: the one table that builds the menu bar, the list pop-ups,
// the toolbar and the accelerators, and one small handler per command.
#include "ui/win32/main_form_view.h"

#include <commdlg.h>

#include <algorithm>
#include <array>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/win32/utf16.h"
#include "ui/win32/resources/resource.h"

namespace win32ui {

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;
using enum TMenuPlace;
using enum TButtonImages;
using V = TMainFormView;

constexpr int Cmd(app::TCommand c) { return static_cast<int>(c); }
constexpr BYTE kCtrl = FVIRTKEY | FCONTROL;
constexpr BYTE kKey = FVIRTKEY;

// Marks: a row without id and with a caption in mpView opens the "Arrange Icons" submenu
// (the mpArrange rows); the row IDM_RECENT_FIRST in mpFile is where the recent archives go.
// Commands whose handler is null are not built yet: they are shown, always disabled.
// clang-format off
constexpr TCommandDef kCommands[] = {
  // Id                  Menu       Caption                                   Command                             Accel          Button Images Image                 Button text     Hint                                   File Sort Handler
  {IDM_NEW,              mpFile,    L"&New Archive...\tCtrl+N",               -1,                                 kCtrl, 'N',    0,  biStandard, STD_FILENEW,     L"New",        L"Create a new archive",               false, false, nullptr},
  {IDM_OPEN,             mpFile,    L"&Open Archive...\tCtrl+O",              -1,                                 kCtrl, 'O',    1,  biStandard, STD_FILEOPEN,    L"Open",       L"Open an archive",                    false, false, &V::OpenCommand},
  {IDM_FAVORITES,        mpFile,    L"&Favorite Zip Folders...",              -1,                                 0, 0,          2,  biHistory,  HIST_FAVORITES,  L"Favorites",  L"Favorite archive folders",           false, false, nullptr},
  {IDM_CLOSE,            mpFile,    L"&Close Archive",                        Cmd(app::TCommand::cmClose),        0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::CloseCommand},
  {0,                    mpFile},
  {IDM_PROPERTIES,       mpFile,    L"P&roperties...",                        Cmd(app::TCommand::cmProperties),   0, 0,          3,  biStandard, STD_PROPERTIES,  L"Properties", L"Archive properties",                 true,  false, nullptr},
  {IDM_PRINT,            mpFile,    L"&Print...\tCtrl+P",                     Cmd(app::TCommand::cmPrint),        kCtrl, 'P',    4,  biStandard, STD_PRINT,       L"Print",      L"Print the file list",                false, false, nullptr},
  {IDM_MAIL,             mpFile,    L"&Mail Archive...",                      Cmd(app::TCommand::cmMail),         0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_CREATE_SHORTCUT,  mpFile,    L"Create &Shortcut",                      Cmd(app::TCommand::cmCreateShortcut), 0, 0,        -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {0,                    mpFile},
  {IDM_MOVE_ARCHIVE,     mpFile,    L"&Move Archive...",                      Cmd(app::TCommand::cmMoveArchive),  0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_COPY_ARCHIVE,     mpFile,    L"Cop&y Archive...",                      Cmd(app::TCommand::cmCopyArchive),  0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_RENAME_ARCHIVE,   mpFile,    L"Re&name Archive...",                    Cmd(app::TCommand::cmRenameArchive), 0, 0,         -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_DELETE_ARCHIVE,   mpFile,    L"&Delete Archive...",                    Cmd(app::TCommand::cmDeleteArchive), 0, 0,         -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {0,                    mpFile},
  {IDM_RECENT_FIRST,     mpFile},
  {IDM_EXIT,             mpFile,    L"E&xit",                                 -1,                                 0, 0,          13, biView,     VIEW_NETDISCONNECT, L"Exit",    L"Close Tessaly",                      false, false, &V::ExitCommand},

  {IDM_SELECT_ALL,       mpEdit,    L"Select &All\tCtrl+A",                   Cmd(app::TCommand::cmSelectAll),    kCtrl, 'A',    -1, biStandard, 0,               nullptr,       nullptr,                               true,  false, &V::SelectAllCommand},
  {IDM_SELECT_NONE,      mpEdit,    L"Select &None",                          Cmd(app::TCommand::cmSelectNone),   0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               true,  false, &V::SelectNoneCommand},
  {IDM_INVERT_SELECTION, mpEdit,    L"&Invert Selection",                     Cmd(app::TCommand::cmInvertSelection), 0, 0,       -1, biStandard, 0,               nullptr,       nullptr,                               true,  false, &V::InvertSelectionCommand},
  {0,                    mpEdit},
  {IDM_FIND,             mpEdit,    L"&Find...\tCtrl+F",                      Cmd(app::TCommand::cmFind),         kCtrl, 'F',    -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},

  {IDM_ADD,              mpActions, L"&Add...",                               Cmd(app::TCommand::cmAdd),          0, 0,          5,  biStandard, STD_PASTE,       L"Add",        L"Add files to the archive",           true,  false, nullptr},
  {IDM_DELETE_ENTRIES,   mpActions, L"&Delete...",                            Cmd(app::TCommand::cmDeleteEntries), 0, 0,         6,  biStandard, STD_DELETE,      L"Delete",     L"Delete the selected files",          true,  false, nullptr},
  {IDM_EXTRACT,          mpActions, L"&Extract...\tCtrl+E",                   Cmd(app::TCommand::cmExtract),      kCtrl, 'E',    7,  biStandard, STD_FILESAVE,    L"Extract",    L"Extract files from the archive",     true,  false, &V::ExtractCommand},
  {IDM_VIEW,             mpActions, L"&View...",                              Cmd(app::TCommand::cmView),         0, 0,          8,  biStandard, STD_PRINTPRE,    L"View",       L"View the selected file",             true,  false, nullptr},
  {IDM_RENAME_ENTRY,     mpActions, L"&Rename...",                            Cmd(app::TCommand::cmRenameEntry),  0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               true,  false, nullptr},
  {IDM_COMMENT,          mpActions, L"&Comment...",                           Cmd(app::TCommand::cmComment),      0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {0,                    mpActions},
  {IDM_VIRUS_SCAN,       mpActions, L"Virus &Scan",                           Cmd(app::TCommand::cmVirusScan),    0, 0,          9,  biStandard, STD_FIND,        L"Scan",       L"Scan the archive for viruses",       false, false, nullptr},
  {IDM_TEST,             mpActions, L"&Test\tCtrl+T",                         Cmd(app::TCommand::cmTest),         kCtrl, 'T',    10, biView,     VIEW_DETAILS,    L"Test",       L"Test the archive",                   true,  false, nullptr},
  {IDM_CHECKOUT,         mpActions, L"Check&Out...",                          Cmd(app::TCommand::cmCheckOut),     0, 0,          11, biView,     VIEW_NEWFOLDER,  L"CheckOut",   L"Create icons for files in the archive", false, false, nullptr},
  {IDM_INSTALL,          mpActions, L"&Install",                              Cmd(app::TCommand::cmInstall),      0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               true,  false, nullptr},
  {0,                    mpActions},
  {IDM_MAKE_EXE,         mpActions, L"Make .E&XE File...",                    Cmd(app::TCommand::cmMakeExe),      0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_EXE_TO_ZIP,       mpActions, L".EXE to .&ZIP",                         Cmd(app::TCommand::cmExeToZip),     0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_UUENCODE,         mpActions, L"&UUencode...",                          Cmd(app::TCommand::cmUUencode),     0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},

  {0,                    mpView,    L"Arrange &Icons"},
  {IDM_SORT_FIRST + 0,   mpArrange, L"by &Name",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByName},
  {IDM_SORT_FIRST + 1,   mpArrange, L"by &Path",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByPath},
  {IDM_SORT_FIRST + 2,   mpArrange, L"by &Type",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByType},
  {IDM_SORT_FIRST + 3,   mpArrange, L"by &Size",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortBySize},
  {IDM_SORT_FIRST + 4,   mpArrange, L"by Pac&ked Size",                       -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByPacked},
  {IDM_SORT_FIRST + 5,   mpArrange, L"by &Ratio",                             -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByRatio},
  {IDM_SORT_FIRST + 6,   mpArrange, L"by &Date",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByDate},
  {IDM_SORT_FIRST + 7,   mpArrange, L"by &Original Order",                    -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, true,  &V::SortByListedOrder},
  {0,                    mpView},
  {IDM_STYLE_CLASSIC,    mpView,    L"&Classic Display Style",                -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::ClassicStyleCommand},
  {IDM_STYLE_EXPLORER,   mpView,    L"&Explorer Display Style",               -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::ExplorerStyleCommand},
  {IDM_FOLDERS_BAR,      mpView,    L"Archive &Folders Bar",                  -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {0,                    mpView},
  {IDM_UP_FOLDER,        mpView,    L"&Up One Level\tBackspace",              -1,                                 kKey, VK_BACK, -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::UpFolderCommand},
  {IDM_REFRESH,          mpView,    L"&Refresh\tF5",                          Cmd(app::TCommand::cmRefresh),      kKey, VK_F5,   -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::RefreshCommand},
  {0,                    mpView},
  {IDM_VIEW_TOOLBAR,     mpView,    L"&Toolbar",                              -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::ViewToolbarCommand},
  {IDM_VIEW_STATUSBAR,   mpView,    L"&Status Bar",                           -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::ViewStatusBarCommand},
  {IDM_LAST_OUTPUT,      mpView,    L"Vie&w Last Output...",                  -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},

  {IDM_CONFIGURATION,    mpOptions, L"&Configuration...",                     -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_SELECT_BUTTONS,   mpOptions, L"Select &Buttons...",                    -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},
  {IDM_REUSE_WINDOWS,    mpOptions, L"&Reuse Tessaly Windows",                -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, nullptr},

  {IDM_HELP_CONTENTS,    mpHelp,    L"&Contents\tF1",                         -1,                                 kKey, VK_F1,   12, biStandard, STD_HELP,        L"Help",       L"Help contents",                      false, false, nullptr},
  {0,                    mpHelp},
  {IDM_ABOUT,            mpHelp,    L"&About Tessaly...",                     -1,                                 0, 0,          -1, biStandard, 0,               nullptr,       nullptr,                               false, false, &V::AboutCommand},
};
// clang-format on

struct TMenuTitle {
  TMenuPlace Place;
  const wchar_t* Caption;
};
constexpr TMenuTitle kMenuTitles[] = {
    {mpFile, L"&File"},    {mpEdit, L"&Edit"},       {mpActions, L"&Actions"},
    {mpView, L"&View"},    {mpOptions, L"&Options"}, {mpHelp, L"&Help"},
};

constexpr int kButtonCount = 14;  // the characters of the setting "Buttons"
constexpr std::string_view kDefaultButtons = "11100111100100";
// First button of each group; a separator stands between two groups that both show a button.
constexpr int kButtonGroupStarts[] = {0, 3, 5, 9, 12};
constexpr int kRecentCount = 5;

const TCommandDef* FindCommand(UINT id) {
  for (const TCommandDef& d : kCommands)
    if (d.Id == id && d.Caption) return &d;
  return nullptr;
}

int SortBase(int code) { return code > app::kSortReversed ? code - app::kSortReversed : code; }

// The recent-archive slot (1..5) of a menu item: its caption begins with "&k ".
int RecentSlotOf(const app::TRecentItem& item) {
  const std::string& c = item.MenuCaption;
  if (c.size() >= 2 && c[0] == '&' && c[1] >= '1' && c[1] <= '0' + kRecentCount) return c[1] - '0';
  return 0;
}

// The Open dialog's filters; the 13th is the default of "LastOpenFilterIndex".
constexpr std::wstring_view kAllArchives =
    L"*.zip;*.jar;*.pk3;*.lzh;*.lha;*.arj;*.arc;*.zoo;*.cab;*.rar;*.ace;*.bh;*.tar;*.gz;*.tgz;"
    L"*.z;*.bz2;*.bz;*.tbz;*.tbz2";
struct TFilter {
  std::wstring_view Name, Pattern;
};
constexpr TFilter kOpenFilters[] = {
    {L"ZIP files (*.zip, *.jar, *.pk3)", L"*.zip;*.jar;*.pk3"},
    {L"LHA files (*.lzh, *.lha)", L"*.lzh;*.lha"},
    {L"ARJ files (*.arj)", L"*.arj"},
    {L"ARC files (*.arc)", L"*.arc"},
    {L"ZOO files (*.zoo)", L"*.zoo"},
    {L"CAB files (*.cab)", L"*.cab"},
    {L"RAR files (*.rar)", L"*.rar"},
    {L"ACE files (*.ace)", L"*.ace"},
    {L"BH (BlakHole) files (*.bh)", L"*.bh"},
    {L"TAR, GZIP and bzip2 files", L"*.tar;*.gz;*.tgz;*.z;*.bz2;*.bz;*.tbz;*.tbz2"},
    {L"All Archives", kAllArchives},
    {L"Encoded files (*.uue, *.xxe)", L"*.uue;*.xxe;*.enc"},
    {L"All Archives, encoded and .exe files", L""},  // kAllArchives + encoded + .exe
    {L"All files (*.*)", L"*.*"},
};
constexpr DWORD kDefaultOpenFilter = 13;

}  // namespace

std::span<const TCommandDef> TMainFormView::CommandTable() { return kCommands; }

// ---------------------------------------------------------------------------------------
// Menus, toolbar, accelerators

void TMainFormView::BuildMenuBar() {
  if (!hwnd_) return;
  const HMENU bar = CreateMenu();
  for (const TMenuTitle& title : kMenuTitles) {
    const HMENU popup = CreatePopupMenu();
    for (const TCommandDef& d : kCommands) {
      if (d.Menu != title.Place) continue;
      if (d.Id == IDM_RECENT_FIRST && !d.Caption) {
        for (const app::TRecentItem& item : recent_)
          if (const int k = RecentSlotOf(item))
            AppendMenuW(popup, MF_STRING, IDM_RECENT_FIRST + k - 1, Widen(item.MenuCaption).c_str());
        if (!recent_.empty()) AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      } else if (d.Id == 0 && d.Caption) {
        const HMENU sub = CreatePopupMenu();
        for (const TCommandDef& s : kCommands)
          if (s.Menu == mpArrange) AppendMenuW(sub, MF_STRING, s.Id, s.Caption);
        AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), d.Caption);
      } else if (d.Id == 0) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      } else {
        AppendMenuW(popup, MF_STRING, d.Id, d.Caption);
      }
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title.Caption);
  }
  const HMENU old = menu_;
  menu_ = bar;
  SetMenu(hwnd_, bar);
  if (old) DestroyMenu(old);
  ApplyCommandStates();
  ApplyMenuChecks();
  DrawMenuBar(hwnd_);
}

HMENU TMainFormView::BuildPopup(bool filePopup) const {
  const HMENU popup = CreatePopupMenu();
  TMenuPlace lastPlace = mpNone;
  for (const TCommandDef& d : kCommands) {
    if (!d.Caption || d.Id == 0 || (filePopup ? !d.InFilePopup : !d.InSortPopup)) continue;
    if (lastPlace != mpNone && d.Menu != lastPlace) AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    lastPlace = d.Menu;
    // The pop-up shows the caption without its shortcut text.
    std::wstring caption = d.Caption;
    caption = caption.substr(0, caption.find(L'\t'));
    UINT flags = MF_STRING | (IsCommandEnabled(d.Id) ? MF_ENABLED : MF_GRAYED);
    if (!filePopup && d.Id == static_cast<UINT>(IDM_SORT_FIRST + SortBase(sortCheck_) - 1))
      flags |= MF_CHECKED;
    AppendMenuW(popup, flags, d.Id, caption.c_str());
  }
  return popup;
}

void TMainFormView::ShowListPopup(POINT screen) {
  if (listPopup_ == app::TListPopup::lpNone) return;
  const HMENU popup = BuildPopup(listPopup_ == app::TListPopup::lpFileMenu);
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd_, nullptr);
  DestroyMenu(popup);
}

void TMainFormView::BuildAccelerators() {
  std::vector<ACCEL> keys;
  for (const TCommandDef& d : kCommands)
    if (d.AccelKey != 0) keys.push_back(ACCEL{d.AccelFlags, d.AccelKey, static_cast<WORD>(d.Id)});
  if (accel_) DestroyAcceleratorTable(accel_);
  accel_ = keys.empty() ? nullptr : CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void TMainFormView::CreateToolbar() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  DWORD style = WS_CHILD | CCS_TOP | CCS_NODIVIDER;
  if (settings_.FlatButtons != 0) style |= TBSTYLE_FLAT;
  if (settings_.ToolbarTips != 0) style |= TBSTYLE_TOOLTIPS;
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(IDC_TOOLBAR), instance, nullptr);
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolbar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  const bool large = settings_.LargeButtons != 0;
  SendMessageW(toolbar_, TB_LOADIMAGES, large ? IDB_STD_LARGE_COLOR : IDB_STD_SMALL_COLOR,
               reinterpret_cast<LPARAM>(HINST_COMMCTRL));
  // Each standard list is appended to the toolbar's image list; its images start where
  // the list ended.
  const auto imageCount = [this] {
    const auto list = reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar_, TB_GETIMAGELIST, 0, 0));
    return list ? ImageList_GetImageCount(list) : 0;
  };
  const int viewOffset = imageCount();
  SendMessageW(toolbar_, TB_LOADIMAGES, large ? IDB_VIEW_LARGE_COLOR : IDB_VIEW_SMALL_COLOR,
               reinterpret_cast<LPARAM>(HINST_COMMCTRL));
  const int historyOffset = imageCount();
  SendMessageW(toolbar_, TB_LOADIMAGES, large ? IDB_HIST_LARGE_COLOR : IDB_HIST_SMALL_COLOR,
               reinterpret_cast<LPARAM>(HINST_COMMCTRL));

  std::string visible = settings_.Buttons;
  if (visible.size() != static_cast<std::size_t>(kButtonCount)) visible = std::string(kDefaultButtons);
  std::array<const TCommandDef*, kButtonCount> byButton{};
  for (const TCommandDef& d : kCommands)
    if (d.Button >= 0 && d.Button < kButtonCount) byButton[static_cast<std::size_t>(d.Button)] = &d;

  const bool withText = settings_.ShowToolbarText != 0;
  std::vector<TBBUTTON> buttons;
  bool previousGroupShown = false;
  for (std::size_t g = 0; g < std::size(kButtonGroupStarts); ++g) {
    const int from = kButtonGroupStarts[g];
    const int to = g + 1 < std::size(kButtonGroupStarts) ? kButtonGroupStarts[g + 1] : kButtonCount;
    bool groupShown = false;
    for (int b = from; b < to; ++b) {
      const TCommandDef* d = byButton[static_cast<std::size_t>(b)];
      if (!d || visible[static_cast<std::size_t>(b)] != '1') continue;
      if (!groupShown && previousGroupShown) {
        TBBUTTON sep{};
        sep.fsStyle = BTNS_SEP;
        buttons.push_back(sep);
      }
      groupShown = true;
      TBBUTTON button{};
      button.iBitmap = d->Image + (d->Images == biView      ? viewOffset
                                   : d->Images == biHistory ? historyOffset
                                                            : 0);
      button.idCommand = static_cast<int>(d->Id);
      button.fsState = 0;
      button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
      button.iString = withText ? reinterpret_cast<INT_PTR>(d->ButtonText) : -1;
      buttons.push_back(button);
    }
    previousGroupShown = previousGroupShown || groupShown;
  }
  SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  if (settings_.ViewToolbar != 0) ShowWindow(toolbar_, SW_SHOW);
}

bool TMainFormView::IsCommandEnabled(UINT id) const {
  if (id >= IDM_RECENT_FIRST && id < IDM_RECENT_FIRST + kRecentCount)
    return std::any_of(recent_.begin(), recent_.end(), [id](const app::TRecentItem& item) {
      return RecentSlotOf(item) == static_cast<int>(id - IDM_RECENT_FIRST) + 1;
    });
  const TCommandDef* d = FindCommand(id);
  if (!d || !d->Handler) return false;
  if (d->Command >= 0) return commands_.test(static_cast<std::size_t>(d->Command));
  if (id == IDM_UP_FOLDER) return (form_ && form_->IsArchiveOpen()) || explorerParts_;
  return true;
}

void TMainFormView::ApplyCommandStates() {
  for (const TCommandDef& d : kCommands) {
    if (d.Id == 0 || !d.Caption) continue;
    const bool on = IsCommandEnabled(d.Id);
    if (menu_) EnableMenuItem(menu_, d.Id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    if (toolbar_ && d.Button >= 0) SendMessageW(toolbar_, TB_ENABLEBUTTON, d.Id, MAKELPARAM(on, 0));
  }
}

void TMainFormView::ApplyMenuChecks() {
  if (!menu_) return;
  const int base = std::clamp(SortBase(sortCheck_), 1, 8);
  CheckMenuRadioItem(menu_, IDM_SORT_FIRST, IDM_SORT_FIRST + 7, IDM_SORT_FIRST + base - 1,
                     MF_BYCOMMAND);
  CheckMenuRadioItem(menu_, IDM_STYLE_CLASSIC, IDM_STYLE_EXPLORER,
                     explorerParts_ ? IDM_STYLE_EXPLORER : IDM_STYLE_CLASSIC, MF_BYCOMMAND);
  CheckMenuItem(menu_, IDM_VIEW_TOOLBAR,
                MF_BYCOMMAND | (settings_.ViewToolbar != 0 ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu_, IDM_VIEW_STATUSBAR,
                MF_BYCOMMAND | (settings_.ViewStatusLine != 0 ? MF_CHECKED : MF_UNCHECKED));
}

bool TMainFormView::PreTranslateMessage(MSG& msg) {
  if (!hwnd_) return false;
  return accel_ && TranslateAcceleratorW(hwnd_, accel_, &msg) != 0;
}

void TMainFormView::OnCommand(UINT id) {
  if (id == IDC_SELECT_ALL_TOOL) id = IDM_SELECT_ALL;
  if (id == IDC_SELECT_NONE_TOOL) id = IDM_SELECT_NONE;
  if (!IsCommandEnabled(id)) return;
  if (id >= IDM_RECENT_FIRST && id < IDM_RECENT_FIRST + kRecentCount) {
    RecentCommand(static_cast<int>(id - IDM_RECENT_FIRST) + 1);
    return;
  }
  const TCommandDef* d = FindCommand(id);
  if (d && d->Handler) (this->*(d->Handler))();
}

// ---------------------------------------------------------------------------------------
// Handlers

void TMainFormView::OpenCommand() {
  std::wstring filters;
  for (const TFilter& f : kOpenFilters) {
    filters += f.Name;
    filters += L'\0';
    if (f.Pattern.empty()) {
      filters += kAllArchives;
      filters += L";*.uue;*.xxe;*.enc;*.exe";
    } else {
      filters += f.Pattern;
    }
    filters += L'\0';
  }
  filters += L'\0';
  std::wstring file(32768, L'\0');
  // "Start-up base folder": 0 the program's folder, 1 the last open folder, 2 a fixed one.
  const std::string& start = settings_.StartupBaseFolder == 0   ? env_.ProgramFolder
                             : settings_.StartupBaseFolder == 2 ? settings_.StartupFolder
                                                                : settings_.LastOpenDir;
  const std::wstring folder = Widen(start);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filters.c_str();
  const DWORD filterCount = static_cast<DWORD>(std::size(kOpenFilters));
  ofn.nFilterIndex = settings_.LastOpenFilterIndex >= 1 &&
                             static_cast<DWORD>(settings_.LastOpenFilterIndex) <= filterCount
                         ? static_cast<DWORD>(settings_.LastOpenFilterIndex)
                         : kDefaultOpenFilter;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = L"Open Archive";
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
              OFN_ENABLESIZING;
  if (!GetOpenFileNameW(&ofn)) return;
  settings_.LastOpenFilterIndex = static_cast<std::int32_t>(ofn.nFilterIndex);
  file.resize(wcslen(file.c_str()));
  form_->OpenAndLoad(Narrow(file));
  FocusList();
}

void TMainFormView::CloseCommand() { form_->CloseArchiveClick(); }

void TMainFormView::ExitCommand() {
  // Closing the archive deletes its temporary files; then the settings are kept.
  form_->CloseArchiveClick();
  settings_.PanelSize = paneWidth_;
  if (options_.SaveSettingsOnClose) settings_.SaveSettings();
  DestroyWindow(hwnd_);
}

void TMainFormView::RecentCommand(int k) {
  form_->RecentArchiveClick(k);
  FocusList();
}

void TMainFormView::SelectAllCommand() { form_->SelectAllClick(); }
void TMainFormView::SelectNoneCommand() { form_->UnSelectAllClick(); }
void TMainFormView::InvertSelectionCommand() { form_->InvertSelectionClick(); }
void TMainFormView::SortByName() { form_->SortCommand(app::kSortName); }
void TMainFormView::SortByPath() { form_->SortCommand(app::kSortPath); }
void TMainFormView::SortByType() { form_->SortCommand(app::kSortType); }
void TMainFormView::SortBySize() { form_->SortCommand(app::kSortSize); }
void TMainFormView::SortByPacked() { form_->SortCommand(app::kSortPacked); }
void TMainFormView::SortByRatio() { form_->SortCommand(app::kSortRatio); }
void TMainFormView::SortByDate() { form_->SortCommand(app::kSortDate); }
void TMainFormView::SortByListedOrder() { form_->SortCommand(app::kSortListed); }
void TMainFormView::ClassicStyleCommand() { form_->N9Click(); }
void TMainFormView::ExplorerStyleCommand() { form_->ExplorerDisplayStyle1Click(); }
void TMainFormView::UpFolderCommand() { form_->UpOneFolderButtClick(); }
void TMainFormView::RefreshCommand() { form_->LoadListing(); }
void TMainFormView::ExtractCommand() { form_->ExtractButtonClick(); }

void TMainFormView::ViewToolbarCommand() {
  settings_.ViewToolbar = settings_.ViewToolbar != 0 ? 0 : 1;
  ShowWindow(toolbar_, settings_.ViewToolbar != 0 ? SW_SHOW : SW_HIDE);
  ApplyMenuChecks();
  Layout();
}

void TMainFormView::ViewStatusBarCommand() {
  settings_.ViewStatusLine = settings_.ViewStatusLine != 0 ? 0 : 1;
  ShowWindow(status_, settings_.ViewStatusLine != 0 ? SW_SHOW : SW_HIDE);
  ApplyMenuChecks();
  Layout();
}

void TMainFormView::AboutCommand() {
  ShowMessageBox(std::string(app::kTitlePanelText) + "\rDesktop archive manager",
                 app::TMsgKind::mkInformation, app::TMsgButtons::mbOK);
}

}  // namespace win32ui
