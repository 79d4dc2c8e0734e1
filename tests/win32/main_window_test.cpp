// The real main window in-process: archives of several kinds are opened and the list
// view, tree, caption, status bar, menus and toolbar are read back through their own
// window messages, as a user would see them.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/main_form.h"
#include "app/settings.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/win32/utf16.h"
#include "tests/unit/fixture_check.h"
#include "tests/unit/test_paths.h"
#include "ui/win32/extract_dialog_view.h"
#include "ui/win32/main_form_view.h"
#include "ui/win32/resources/extract_dialog_res.h"
#include "ui/win32/resources/resource.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;
using win32ui::TMainFormView;

// One listed member as the window shows it, or as the fixture's expected file lists it.
struct TRow {
  std::string Name, Path, Size;
  bool operator<(const TRow& o) const {
    return std::tie(Path, Name, Size) < std::tie(o.Path, o.Name, o.Size);
  }
  bool operator==(const TRow& o) const {
    return Name == o.Name && Path == o.Path && Size == o.Size;
  }
};

std::ostream& operator<<(std::ostream& os, const TRow& r) {
  return os << "{" << r.Path << "|" << r.Name << "|" << r.Size << "}";
}

// expected/<fixture>.txt: "sha256 size name" per member; folders and links start with "-".
std::vector<TRow> ExpectedRows(const std::string& fixture, bool sizesKnown) {
  std::ifstream in(test::FixturePath("expected/" + fixture + ".txt"), std::ios::binary);
  std::vector<TRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '-') continue;
    std::istringstream fields(line);
    std::string sha, size;
    fields >> sha >> size;
    std::string full;
    std::getline(fields >> std::ws, full);
    const std::size_t slash = full.find_last_of('/');
    TRow row;
    row.Name = slash == std::string::npos ? full : full.substr(slash + 1);
    row.Path = slash == std::string::npos ? "" : full.substr(0, slash + 1);
    std::replace(row.Path.begin(), row.Path.end(), '/', '\\');
    row.Size = sizesKnown ? size : "?";
    rows.push_back(row);
  }
  return rows;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { registry_ = platform::OpenFileRegistry(""); }

  void TearDown() override {
    view_.reset();
    Pump();
  }

  // The window in the given display style, with settings in memory and a fixed locale.
  void CreateWindowInStyle(int displayStyle, const std::string& lastOpenDir = {}) {
    app::TSettingsEnvironment env = app::DefaultSettingsEnvironment(test::TempPath("Tessaly.exe"));
    settings_ = std::make_unique<app::TSettings>(*registry_, env);
    app::ApplyDefaults(*settings_, env);
    settings_->DisplayStyle = displayStyle;
    settings_->TempFolder = test::TempDir().string() + "\\";
    settings_->Favorites.AddFolderMode = 2;  // never ask about favourite folders
    if (!lastOpenDir.empty()) settings_->LastOpenDir = lastOpenDir;
    app::TMainFormEnvironment formEnv;
    formEnv.ProgramFolder = env.ProgramFolder;
    win32ui::TMainFormViewOptions options;
    options.Locale = app::TLocaleFormat{};
    options.SaveSettingsOnClose = false;
    options.QuitOnDestroy = false;
    view_ = std::make_unique<TMainFormView>(*settings_, formEnv, options);
    view_->MessageBoxOverride = [this](const std::string& text, app::TMsgKind, app::TMsgButtons) {
      messages_.push_back(text);
      return app::TMsgResult::mrOK;
    };
    ASSERT_TRUE(view_->Create(SW_SHOWNORMAL));
  }

  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  void Command(UINT id) {
    SendMessageW(view_->Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Pump();
  }

  int ItemCount() { return ListView_GetItemCount(view_->ListView()); }

  // LVM_GETITEMTEXTW on an owner-data list asks the window (LVN_GETDISPINFOW).
  std::string Cell(int row, app::TColumn column) {
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = static_cast<int>(column);
    item.pszText = buffer;
    item.cchTextMax = 512;
    SendMessageW(view_->ListView(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return Narrow(buffer);
  }

  std::vector<TRow> ListedRows() {
    std::vector<TRow> rows;
    for (int i = 0; i < ItemCount(); ++i) {
      std::string size = Cell(i, app::TColumn::coSize);
      size.erase(std::remove(size.begin(), size.end(), ','), size.end());
      rows.push_back({Cell(i, app::TColumn::coName), Cell(i, app::TColumn::coPath), size});
    }
    return rows;
  }

  std::string Caption() {
    wchar_t buffer[512] = {};
    GetWindowTextW(view_->Handle(), buffer, 512);
    return Narrow(buffer);
  }

  std::string Status(int part) {
    const HWND status = view_->StatusBar();
    const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, part, 0));
    std::wstring text(length + 1u, L'\0');
    SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Narrow(text);
  }

  std::string WindowText(HWND w) {
    wchar_t buffer[512] = {};
    GetWindowTextW(w, buffer, 512);
    return Narrow(buffer);
  }

  bool MenuEnabled(UINT id) {
    const UINT state = GetMenuState(GetMenu(view_->Handle()), id, MF_BYCOMMAND);
    return state != 0xFFFFFFFF && !(state & (MF_GRAYED | MF_DISABLED));
  }
  bool ButtonEnabled(UINT id) {
    return SendMessageW(view_->Toolbar(), TB_ISBUTTONENABLED, id, 0) != 0;
  }

  std::string MenuText(UINT id) {
    wchar_t buffer[512] = {};
    GetMenuStringW(GetMenu(view_->Handle()), id, buffer, 512, MF_BYCOMMAND);
    return Narrow(buffer);
  }

  // A click on a column header as the list view reports it.
  void ClickHeader(app::TColumn column) {
    NMLISTVIEW nm{};
    nm.hdr.hwndFrom = view_->ListView();
    nm.hdr.idFrom = IDC_FILELIST;
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iItem = -1;
    nm.iSubItem = static_cast<int>(column);
    SendMessageW(view_->Handle(), WM_NOTIFY, IDC_FILELIST, reinterpret_cast<LPARAM>(&nm));
    Pump();
  }

  int HeaderSortFlags(app::TColumn column) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(ListView_GetHeader(view_->ListView()), static_cast<int>(column), &item);
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }

  std::unique_ptr<platform::IRegistry> registry_;
  std::unique_ptr<app::TSettings> settings_;
  std::unique_ptr<TMainFormView> view_;
  std::vector<std::string> messages_;
};

TEST_F(MainWindowTest, StartsInTheEmptyState) {
  CreateWindowInStyle(0);
  EXPECT_EQ(Caption(), "Tessaly 2000");
  EXPECT_EQ(ItemCount(), 0);
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), app::kEmptyStateText);
  EXPECT_TRUE(MenuEnabled(IDM_OPEN));
  EXPECT_TRUE(ButtonEnabled(IDM_OPEN));
  EXPECT_FALSE(MenuEnabled(IDM_CLOSE));
  EXPECT_FALSE(MenuEnabled(IDM_SELECT_ALL));
  EXPECT_FALSE(ButtonEnabled(IDM_EXTRACT));
  EXPECT_EQ(view_->Lamp(), app::TLamp::lpIdle);
  EXPECT_TRUE(messages_.empty());
}

// ---- every kind lists its members in the list view ----

struct TListCase {
  const char* Fixture;   // below the fixture folder
  bool SizesKnown;       // false: the kind shows "?" (a bzip2 file's one entry)
};

void PrintTo(const TListCase& c, std::ostream* os) { *os << c.Fixture; }

class ListsArchive : public MainWindowTest, public ::testing::WithParamInterface<TListCase> {};

TEST_P(ListsArchive, ShowsEveryMemberWithItsTexts) {
  const TListCase& c = GetParam();
  CreateWindowInStyle(0);
  const std::string path = test::FixturePath(c.Fixture);
  view_->OpenFromCommandLine(path);
  Pump();
  ASSERT_TRUE(messages_.empty()) << messages_.front();

  std::vector<TRow> expected = ExpectedRows(c.Fixture, c.SizesKnown);
  ASSERT_FALSE(expected.empty()) << "no expected listing for " << c.Fixture;
  std::vector<TRow> listed = ListedRows();
  // Archivers of MS-DOS store upper-case names, which some listers show in lower case.
  for (std::vector<TRow>* rows : {&expected, &listed})
    for (TRow& r : *rows) {
      r.Name = app::LowerText(r.Name);
      r.Path = app::LowerText(r.Path);
    }
  std::sort(expected.begin(), expected.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);

  std::string name = platform::FileNamePart(path);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  EXPECT_EQ(Caption(), "Tessaly 2000 - " + name);
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), app::kNoFilesSelectedText);
  const std::size_t n = expected.size();
  EXPECT_EQ(Status(win32ui::kStatusPartSecond).rfind("Total " + std::to_string(n) +
                                                         (n == 1 ? " file, " : " files, "), 0),
            0u)
      << Status(win32ui::kStatusPartSecond);
  EXPECT_EQ(view_->Lamp(), app::TLamp::lpReady);
  // Modified column: the fixed test locale's "yyyy-MM-dd HH:mm".
  EXPECT_EQ(Cell(0, app::TColumn::coModified).size(), 16u) << Cell(0, app::TColumn::coModified);
  EXPECT_TRUE(MenuEnabled(IDM_CLOSE));
  EXPECT_TRUE(MenuEnabled(IDM_SELECT_ALL));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ListsArchive,
    ::testing::Values(TListCase{"zip/sc_zip64.zip", true},        // ZIP64, a UTF-8 Cyrillic name
                      TListCase{"zip/zip_as_jar.jar", true},      // a .jar is listed as ZIP
                      TListCase{"lha/regression_multiple.lzh", true},
                      TListCase{"lha/lha213_subdir.lzh", true},   // a member two folders deep
                      TListCase{"tar/ustar.tar", true},           // folders, a folder member
                      TListCase{"gzip/all_flags.gz", true},
                      TListCase{"bzip2/text.txt.bz2", false}),
    [](const ::testing::TestParamInfo<TListCase>& info) {
      std::string name = info.param.Fixture;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// ---- explorer style: the folder tree drives the list ----

TEST_F(MainWindowTest, ExplorerStyleTreeSelectsTheFolderShown) {
  CreateWindowInStyle(1);
  view_->OpenFromCommandLine(test::FixturePath("tar/ustar.tar"));
  Pump();
  ASSERT_TRUE(messages_.empty()) << messages_.front();
  EXPECT_TRUE(IsWindowVisible(view_->FolderTree()));
  EXPECT_FALSE(IsWindowVisible(view_->FileBrowser()));

  // ustar.tar: dir/emptydir/, dir/mid.bin, dir/sub/deep.txt, random.bin, text.txt.
  const HWND tree = view_->FolderTree();
  // Folder members are not listed, so emptydir has no node: ustar.tar, dir, sub.
  EXPECT_EQ(TreeView_GetCount(tree), 3u);
  std::vector<TRow> root = ListedRows();
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[0], (TRow{"dir", "", "SUB-DIR"}));  // folders first
  EXPECT_EQ(WindowText(view_->TitlePanel()), "ustar");

  // Choosing the node "sub" below "dir" (what a click does) lists that folder.
  const HTREEITEM archive = TreeView_GetRoot(tree);
  const HTREEITEM dir = TreeView_GetChild(tree, archive);
  HTREEITEM sub = TreeView_GetChild(tree, dir);
  wchar_t text[64] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.pszText = text;
  item.cchTextMax = 64;
  for (; sub; sub = TreeView_GetNextSibling(tree, sub)) {
    item.hItem = sub;
    TreeView_GetItem(tree, &item);
    if (Narrow(text) == "sub") break;
  }
  ASSERT_NE(sub, nullptr);
  TreeView_SelectItem(tree, sub);
  Pump();
  std::vector<TRow> listed = ListedRows();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0], (TRow{"..", "dir\\sub\\", "UP---DIR"}));
  EXPECT_EQ(listed[1], (TRow{"deep.txt", "dir\\sub\\", "1618"}));
  EXPECT_EQ(WindowText(view_->TitlePanel()), "ustar\\dir\\sub");

  // Up one level (Backspace's command) goes to dir.
  Command(IDM_UP_FOLDER);
  listed = ListedRows();
  ASSERT_EQ(listed.size(), 3u);  // up entry, sub, mid.bin
  EXPECT_EQ(WindowText(view_->TitlePanel()), "ustar\\dir");
  // The tree follows the folder shown.
  const HTREEITEM selected = TreeView_GetSelection(tree);
  EXPECT_EQ(selected, dir);
}

TEST_F(MainWindowTest, FileBrowserPaneOpensAnArchiveAndComesBackAtTheRoot) {
  CreateWindowInStyle(1, test::FixturePath("zip"));
  const HWND browser = view_->FileBrowser();
  ASSERT_TRUE(IsWindowVisible(browser));
  EXPECT_FALSE(IsWindowVisible(view_->FolderTree()));
  int index = -1;
  for (int i = 0; i < ListView_GetItemCount(browser); ++i) {
    wchar_t text[260] = {};
    ListView_GetItemText(browser, i, 0, text, 260);
    if (Narrow(text) == "sc_zip64.zip") index = i;
  }
  ASSERT_GE(index, 0) << "the browser does not list the zip folder";

  NMITEMACTIVATE activate{};
  activate.hdr.hwndFrom = browser;
  activate.hdr.idFrom = IDC_FILEBROWSER;
  activate.hdr.code = LVN_ITEMACTIVATE;
  activate.iItem = index;
  SendMessageW(view_->Handle(), WM_NOTIFY, IDC_FILEBROWSER, reinterpret_cast<LPARAM>(&activate));
  Pump();
  EXPECT_EQ(Caption(), "Tessaly 2000 - sc_zip64.zip");
  EXPECT_TRUE(IsWindowVisible(view_->FolderTree()));
  EXPECT_FALSE(IsWindowVisible(browser));
  EXPECT_EQ(ItemCount(), 3);  // exe, jpg and the Cyrillic text file at the root

  // Up from the archive's root closes it; the browser returns.
  Command(IDM_UP_FOLDER);
  EXPECT_EQ(Caption(), "Tessaly 2000");
  EXPECT_TRUE(IsWindowVisible(browser));
  EXPECT_EQ(ItemCount(), 0);
}

TEST_F(MainWindowTest, SwitchingTheDisplayStyleRelists) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("lha/lha213_subdir.lzh"));
  Pump();
  ASSERT_EQ(ItemCount(), 1);
  // The LHA lister gives names of MS-DOS archives in lower case.
  EXPECT_EQ(Cell(0, app::TColumn::coPath), "subdir\\subdir2\\");
  EXPECT_FALSE(IsWindowVisible(view_->FolderTree()));

  Command(IDM_STYLE_EXPLORER);
  EXPECT_EQ(settings_->DisplayStyle, 1);
  EXPECT_TRUE(IsWindowVisible(view_->FolderTree()));
  EXPECT_TRUE(IsWindowVisible(view_->TitlePanel()));
  ASSERT_EQ(ItemCount(), 1);
  EXPECT_EQ(Cell(0, app::TColumn::coName), "subdir");
  EXPECT_EQ(Cell(0, app::TColumn::coSize), "SUB-DIR");
  EXPECT_EQ(GetMenuState(GetMenu(view_->Handle()), IDM_STYLE_EXPLORER, MF_BYCOMMAND) & MF_CHECKED,
            static_cast<UINT>(MF_CHECKED));

  Command(IDM_STYLE_CLASSIC);
  EXPECT_FALSE(IsWindowVisible(view_->FolderTree()));
  ASSERT_EQ(ItemCount(), 1);
  EXPECT_EQ(Cell(0, app::TColumn::coName), "hello.txt");
}

// ---- sorting through the column headers ----

TEST_F(MainWindowTest, HeaderClicksSortAndShowTheArrow) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("tar/ustar.tar"));
  Pump();
  ASSERT_EQ(ItemCount(), 4);
  const auto sizes = [this] {
    std::vector<long long> out;
    for (const TRow& r : ListedRows()) out.push_back(std::stoll(r.Size));
    return out;
  };

  ClickHeader(app::TColumn::coSize);  // largest first
  EXPECT_EQ(sizes(), (std::vector<long long>{21957, 12000, 3500, 1618}));
  EXPECT_EQ(HeaderSortFlags(app::TColumn::coSize), HDF_SORTDOWN);
  EXPECT_EQ(HeaderSortFlags(app::TColumn::coName), 0);
  EXPECT_EQ(GetMenuState(GetMenu(view_->Handle()), IDM_SORT_FIRST + 3, MF_BYCOMMAND) & MF_CHECKED,
            static_cast<UINT>(MF_CHECKED));

  ClickHeader(app::TColumn::coSize);  // again: reversed
  EXPECT_EQ(sizes(), (std::vector<long long>{1618, 3500, 12000, 21957}));
  EXPECT_EQ(HeaderSortFlags(app::TColumn::coSize), HDF_SORTUP);

  ClickHeader(app::TColumn::coName);
  EXPECT_EQ(Cell(0, app::TColumn::coName), "deep.txt");
  EXPECT_EQ(Cell(3, app::TColumn::coName), "text.txt");
  EXPECT_EQ(HeaderSortFlags(app::TColumn::coName), HDF_SORTUP);
  EXPECT_EQ(HeaderSortFlags(app::TColumn::coSize), 0);
}

// ---- selection commands and the status bar ----

TEST_F(MainWindowTest, SelectionCommandsUpdateTheStatusBar) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("tar/ustar.tar"));
  Pump();
  ASSERT_EQ(ItemCount(), 4);

  Command(IDM_SELECT_ALL);
  EXPECT_EQ(ListView_GetSelectedCount(view_->ListView()), 4u);
  // 3500 + 1618 + 12000 + 21957 bytes = 38 kB.
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), "Selected 4 files, 38 kB");

  Command(IDM_INVERT_SELECTION);
  EXPECT_EQ(ListView_GetSelectedCount(view_->ListView()), 0u);
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), app::kNoFilesSelectedText);

  // A selection made in the list itself reaches the status bar too.
  ListView_SetItemState(view_->ListView(), 0, LVIS_SELECTED, LVIS_SELECTED);
  Pump();
  EXPECT_EQ(Status(win32ui::kStatusPartFirst).rfind("Selected 1 file, ", 0), 0u)
      << Status(win32ui::kStatusPartFirst);

  Command(IDM_SELECT_NONE);
  EXPECT_EQ(ListView_GetSelectedCount(view_->ListView()), 0u);
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), app::kNoFilesSelectedText);
}

TEST_F(MainWindowTest, TypingANameFocusesTheMatchingRow) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("tar/ustar.tar"));
  Pump();
  ASSERT_EQ(ItemCount(), 4);  // deep.txt, mid.bin, random.bin, text.txt (by name)
  SetFocus(view_->ListView());
  SendMessageW(view_->ListView(), WM_CHAR, 'r', 1);  // lParam: repeat count 1
  Pump();
  const int focused = ListView_GetNextItem(view_->ListView(), -1, LVNI_FOCUSED);
  ASSERT_GE(focused, 0);
  EXPECT_EQ(Cell(focused, app::TColumn::coName), "random.bin");
  EXPECT_EQ(ListView_GetSelectedCount(view_->ListView()), 1u);
}

// ---- commands follow the open archive; unbuilt commands stay disabled ----

TEST_F(MainWindowTest, CommandsFollowTheArchiveAndCloseEmptiesTheWindow) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("zip/sc_zip64.zip"));
  Pump();
  ASSERT_EQ(ItemCount(), 3);
  EXPECT_TRUE(MenuEnabled(IDM_REFRESH));
  EXPECT_TRUE(MenuEnabled(IDM_INVERT_SELECTION));
  // The controller enables Extract for every kind; menu item and button follow it.
  EXPECT_TRUE(app::HasCommand(view_->Form().Commands(), app::TCommand::cmExtract));
  EXPECT_TRUE(MenuEnabled(IDM_EXTRACT));
  EXPECT_TRUE(ButtonEnabled(IDM_EXTRACT));

  Command(IDM_REFRESH);
  EXPECT_EQ(ItemCount(), 3);

  Command(IDM_CLOSE);
  EXPECT_EQ(ItemCount(), 0);
  EXPECT_EQ(Caption(), "Tessaly 2000");
  EXPECT_EQ(Status(win32ui::kStatusPartFirst), app::kEmptyStateText);
  EXPECT_FALSE(MenuEnabled(IDM_CLOSE));
  EXPECT_FALSE(MenuEnabled(IDM_SELECT_ALL));
  EXPECT_EQ(view_->Lamp(), app::TLamp::lpIdle);
}

TEST_F(MainWindowTest, RecentArchivesMenuReopensAnArchive) {
  CreateWindowInStyle(0);
  const std::string zip = test::FixturePath("zip/sc_zip64.zip");
  const std::string tar = test::FixturePath("tar/ustar.tar");
  view_->OpenFromCommandLine(zip);
  view_->OpenFromCommandLine(tar);
  Pump();
  EXPECT_EQ(Caption(), "Tessaly 2000 - ustar.tar");
  EXPECT_TRUE(MenuEnabled(IDM_RECENT_FIRST));
  EXPECT_TRUE(MenuEnabled(IDM_RECENT_FIRST + 1));
  EXPECT_FALSE(MenuEnabled(IDM_RECENT_FIRST + 2));
  // Four or more folder levels: the File menu shortens the folder names.
  EXPECT_EQ(MenuText(IDM_RECENT_FIRST + 1), app::TMainForm::RecentMenuCaption(2, zip));

  Command(IDM_RECENT_FIRST + 1);
  EXPECT_EQ(Caption(), "Tessaly 2000 - sc_zip64.zip");
  EXPECT_EQ(ItemCount(), 3);
  EXPECT_EQ(MenuText(IDM_RECENT_FIRST), app::TMainForm::RecentMenuCaption(1, zip));
}

// The Open command's file dialog, answered from a timer that runs inside its modal loop.
std::wstring gDialogAnswer;
std::wstring gDialogFilter;
void CALLBACK AnswerOpenDialog(HWND, UINT, UINT_PTR id, DWORD) {
  const HWND dialog = FindWindowW(L"#32770", L"Open Archive");
  if (!dialog) return;
  KillTimer(nullptr, id);
  // The file name field: a combo box (cmb13) in the explorer-style dialog, else edt1.
  HWND edit = GetDlgItem(dialog, 0x47C);
  if (!edit) edit = GetDlgItem(dialog, 0x480);
  const HWND types = GetDlgItem(dialog, 0x470);  // cmb1: the file types
  if (types) {
    const auto sel = SendMessageW(types, CB_GETCURSEL, 0, 0);
    wchar_t text[256] = {};
    if (sel >= 0) SendMessageW(types, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(text));
    gDialogFilter = text;
  }
  SetWindowTextW(edit, gDialogAnswer.c_str());
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(MainWindowTest, OpenCommandUsesTheFileDialog) {
  CreateWindowInStyle(0);
  gDialogAnswer = Widen(test::FixturePath("lha/regression_multiple.lzh"));
  gDialogFilter.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &AnswerOpenDialog);
  Command(IDM_OPEN);
  KillTimer(nullptr, timer);
  // The default filter of a first run.
  EXPECT_EQ(Narrow(gDialogFilter), "All Archives, encoded and .exe files");
  EXPECT_EQ(Caption(), "Tessaly 2000 - regression_multiple.lzh");
  EXPECT_EQ(ItemCount(), 5);
  EXPECT_EQ(settings_->LastOpenFilterIndex, 13);
}

TEST_F(MainWindowTest, AFileThatIsNoArchiveIsRefused) {
  CreateWindowInStyle(0);
  view_->OpenFromCommandLine(test::FixturePath("README.md"));
  Pump();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], app::kCannotOpenText);
  EXPECT_EQ(Caption(), "Tessaly 2000");
  EXPECT_EQ(ItemCount(), 0);
  EXPECT_FALSE(MenuEnabled(IDM_CLOSE));
}

// The Extract command of the menu bar, through the window's own dialog and prompts: a ZIP
// archive with folders and a non-ASCII name is extracted by the ZIP engine library, and
// the log of an earlier operation is emptied first.
TEST_F(MainWindowTest, ExtractCommandExtractsAllThroughTheDialog) {
  CreateWindowInStyle(0);
  // The engine libraries sit one folder up, beside the other test programs.
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  view_->Form().ExtractForm.ZipMaster1.SetDLLDirectory(
      std::filesystem::path(program).parent_path().parent_path().string());
  const std::string fixture = "zip/sc_zip64.zip";
  view_->OpenFromCommandLine(test::FixturePath(fixture));
  Pump();
  ASSERT_EQ(ItemCount(), 3);
  ASSERT_TRUE(MenuEnabled(IDM_EXTRACT));
  view_->AppendLog("output of an earlier operation");

  int dialogs = 0;
  const std::string target = test::FreshDir("mw-extract-all");
  view_->ExtractPrompts().OnDialogInit = [&](HWND dialog) {
    ++dialogs;
    SetDlgItemTextW(dialog, IDC_EXTRACT_DEST, Widen(target).c_str());
    SendDlgItemMessageW(dialog, IDC_EXTRACT_ALL, BM_CLICK, 0, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  };
  Command(IDM_EXTRACT);
  EXPECT_EQ(dialogs, 1);
  const auto expected = test::ReadExpected(fixture);
  const auto got = test::HashTree(target);
  ASSERT_EQ(got.size(), expected.size()) << target;
  for (const auto& e : expected) {
    ASSERT_TRUE(got.count(e.name)) << e.name;
    EXPECT_EQ(got.at(e.name).sha256, e.sha256) << e.name;
  }
  EXPECT_TRUE(std::find(view_->LogLines().begin(), view_->LogLines().end(),
                        "output of an earlier operation") == view_->LogLines().end());
  EXPECT_TRUE(MenuEnabled(IDM_EXTRACT));
  EXPECT_TRUE(IsWindowEnabled(view_->Toolbar()));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
}

}  // namespace
