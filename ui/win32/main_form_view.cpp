// TMainFormView: window creation, layout, notifications and the IMainView calls.
#include "ui/win32/main_form_view.h"

#include <shellapi.h>
#include <shlobj.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <exception>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/win32/utf16.h"
#include "platform/yield.h"
#include "ui/win32/extract_dialog_view.h"
#include "ui/win32/message_box.h"
#include "ui/win32/password_dialog.h"
#include "ui/win32/resources/resource.h"
#include "ui/win32/user_locale.h"

namespace win32ui {

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

constexpr wchar_t kWindowClass[] = L"TessalyMainForm";
// Posted once for a burst of selection changes by the user.
constexpr UINT kSelectionChanged = WM_APP + 1;

// Pixel sizes at 96 dots per inch; Scale() adapts them.
constexpr int kDefaultPaneWidth = 200;
constexpr int kMinPaneWidth = 60;
constexpr int kSplitterWidth = 4;
constexpr int kToolButtonWidth = 22;
constexpr int kCommentPartWidth = 70;
constexpr int kLampPartWidth = 24;
constexpr int kMinSecondPartWidth = 220;
constexpr int kWindowWidth = 760;
constexpr int kWindowHeight = 520;

struct TColumnDef {
  const wchar_t* Caption;
  int Width;
  int Format;
};
// Name, Modified, Size, Ratio, Packed, Path: sizes right-aligned, the ratio centred.
constexpr TColumnDef kColumns[app::kColumnCount] = {
    {L"Name", 180, LVCFMT_LEFT},   {L"Modified", 115, LVCFMT_LEFT},
    {L"Size", 75, LVCFMT_RIGHT},   {L"Ratio", 48, LVCFMT_CENTER},
    {L"Packed", 75, LVCFMT_RIGHT}, {L"Path", 120, LVCFMT_LEFT},
};

// Quiet scope: programmatic list and tree changes are not reported to the controller.
class TQuiet {
 public:
  explicit TQuiet(int& counter) : counter_(counter) { ++counter_; }
  ~TQuiet() { --counter_; }
  TQuiet(const TQuiet&) = delete;
  TQuiet& operator=(const TQuiet&) = delete;

 private:
  int& counter_;
};

void CopyToBuffer(const std::wstring& text, wchar_t* buffer, int size) {
  if (!buffer || size <= 0) return;
  lstrcpynW(buffer, text.c_str(), size);
}

HFONT CreateMessageFont(int weight) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  metrics.lfMessageFont.lfWeight = weight;
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

TMainFormView::TMainFormView(app::TSettings& settings, app::TMainFormEnvironment env,
                             TMainFormViewOptions options)
    : settings_(settings), env_(std::move(env)), options_(std::move(options)) {}

TMainFormView::~TMainFormView() {
  platform::SetYieldHook(nullptr);
  platform::SetConfirmHook(nullptr);
  if (hwnd_) DestroyWindow(hwnd_);
  if (accel_) DestroyAcceleratorTable(accel_);
  if (font_ && font_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font_);
  if (titleFont_ && titleFont_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(titleFont_);
}

// ---------------------------------------------------------------------------------------
// Creation

bool TMainFormView::Create(int showCommand) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &TMainFormView::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSALY));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TESSALY), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc)) return false;
  }

  const HDC screen = GetDC(nullptr);
  dpi_ = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;
  const auto scale = [this](int px) { return MulDiv(px, dpi_, 96); };
  paneWidth_ = settings_.PanelSize && *settings_.PanelSize >= kMinPaneWidth
                   ? *settings_.PanelSize
                   : scale(kDefaultPaneWidth);

  hwnd_ = CreateWindowExW(WS_EX_ACCEPTFILES, kWindowClass, L"Tessaly 2000",
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                          scale(kWindowWidth), scale(kWindowHeight), nullptr, nullptr, instance,
                          this);
  if (!hwnd_) return false;

  CreateControls();
  BuildMenuBar();
  BuildAccelerators();

  platform::SetConfirmHook([this](std::string_view text) {
    return ShowMessageBox(std::string(text), app::TMsgKind::mkConfirmation,
                          app::TMsgButtons::mbYesNo) == app::TMsgResult::mrYes;
  });

  form_ = std::make_unique<app::TMainForm>(
      *this, settings_, env_, options_.Locale ? *options_.Locale : UserLocaleFormat());
  // The Extract dialog and questions, and the yield hook: while an engine works the window
  // keeps painting; only during an extraction are other messages let through (a click
  // handled in the middle of a listing would re-enter the controller).
  extractPrompts_ = std::make_unique<TExtractPrompts>(*this);
  extractPrompts_->OnResetLastOutput = [this] { log_.clear(); };
  extractPrompts_->Install();
  // The window starts in the empty state in the display style of the settings.
  ShowExplorerParts(form_->Contents.Style == app::TDisplayStyle::dsExplorer);
  SetSortMenuCheck(form_->Contents.SortOrder);
  SetSortIndicator(app::SortIndicatorFor(form_->Contents.SortOrder));
  form_->CloseArchiveClick();
  {
    // The recent archives of the settings, as the controller shows them after an open.
    std::vector<app::TRecentItem> items;
    for (std::size_t i = 0; i < settings_.RecentArchives.size(); ++i) {
      const std::string& path = settings_.RecentArchives[i];
      if (path.empty()) continue;
      const int k = static_cast<int>(i) + 1;
      std::string dropDown = "&";
      dropDown += std::to_string(k);
      dropDown += ' ';
      dropDown += path;
      items.push_back({app::TMainForm::RecentMenuCaption(k, path), std::move(dropDown)});
    }
    SetRecentArchives(items);
  }
  Layout();
  ShowWindow(hwnd_, showCommand);
  if (showCommand != SW_HIDE) UpdateWindow(hwnd_);
  return true;
}

void TMainFormView::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  font_ = CreateMessageFont(FW_NORMAL);
  titleFont_ = CreateMessageFont(FW_BOLD);
  const auto setFont = [this](HWND w, HFONT f) {
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f ? f : font_), FALSE);
  };

  // The system's small icons: list, tree and browser share them, none owns them.
  SHFILEINFOW info{};
  smallIcons_ = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
      L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));

  CreateToolbar();

  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr,
                            WS_CHILD | WS_CLIPSIBLINGS | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                            reinterpret_cast<HMENU>(IDC_STATUSBAR), instance, nullptr);
  setFont(status_, nullptr);
  if (settings_.ViewStatusLine != 0) ShowWindow(status_, SW_SHOW);
  progress_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0,
                              status_, reinterpret_cast<HMENU>(IDC_PROGRESS), instance, nullptr);
  SendMessageW(progress_, PBM_SETRANGE32, 0, 10000);
  selectAllTool_ = CreateWindowExW(0, WC_BUTTONW, L"+", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(IDC_SELECT_ALL_TOOL), instance, nullptr);
  selectNoneTool_ = CreateWindowExW(0, WC_BUTTONW, L"-", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0,
                                    hwnd_, reinterpret_cast<HMENU>(IDC_SELECT_NONE_TOOL), instance,
                                    nullptr);
  setFont(selectAllTool_, nullptr);
  setFont(selectNoneTool_, nullptr);

  title_ = CreateWindowExW(0, WC_STATICW, L"Tessaly 2000 v5.5",
                           WS_CHILD | SS_LEFT | SS_CENTERIMAGE | SS_ENDELLIPSIS | SS_NOPREFIX, 0, 0,
                           0, 0, hwnd_, reinterpret_cast<HMENU>(IDC_TITLEPANEL), instance, nullptr);
  setFont(title_, titleFont_);

  tree_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr,
                          WS_CHILD | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                              TVS_SHOWSELALWAYS,
                          0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IDC_FOLDERTREE), instance,
                          nullptr);
  SetWindowTheme(tree_, L"Explorer", nullptr);
  setFont(tree_, nullptr);
  if (smallIcons_) TreeView_SetImageList(tree_, smallIcons_, TVSIL_NORMAL);

  browser_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                             WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                 LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS,
                             0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IDC_FILEBROWSER), instance,
                             nullptr);
  SetWindowTheme(browser_, L"Explorer", nullptr);
  setFont(browser_, nullptr);
  if (smallIcons_) ListView_SetImageList(browser_, smallIcons_, LVSIL_SMALL);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH | LVCF_TEXT;
  column.cx = 100;
  column.pszText = const_cast<wchar_t*>(L"Name");
  ListView_InsertColumn(browser_, 0, &column);
  ListView_SetExtendedListViewStyle(browser_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);

  // "ViewStyle": 0 large icons, 1 small icons, 2 list, 3 details (the default).
  constexpr DWORD kListStyles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  const DWORD listStyle = settings_.ListStyle >= 0 && settings_.ListStyle <= 3
                              ? kListStyles[settings_.ListStyle]
                              : LVS_REPORT;
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | listStyle | LVS_OWNERDATA |
                              LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                          0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IDC_FILELIST), instance,
                          nullptr);
  SetWindowTheme(list_, L"Explorer", nullptr);
  setFont(list_, nullptr);
  if (smallIcons_) ListView_SetImageList(list_, smallIcons_, LVSIL_SMALL);
  if (listStyle == LVS_ICON) {
    // Large icons: the system's large list, asked for separately.
    const auto large = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_LARGEICON));
    if (large) ListView_SetImageList(list_, large, LVSIL_NORMAL);
  }
  DWORD exStyle = LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP;
  if (settings_.FullRow != 0) exStyle |= LVS_EX_FULLROWSELECT;
  if (settings_.GridLines != 0) exStyle |= LVS_EX_GRIDLINES;
  ListView_SetExtendedListViewStyle(list_, exStyle);
  for (int i = 0; i < app::kColumnCount; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = kColumns[i].Format;
    c.cx = MulDiv(kColumns[i].Width, dpi_, 96);
    c.pszText = const_cast<wchar_t*>(kColumns[i].Caption);
    c.iSubItem = i;
    ListView_InsertColumn(list_, i, &c);
  }
  DragAcceptFiles(hwnd_, TRUE);
}

// ---------------------------------------------------------------------------------------
// Layout

RECT TMainFormView::SplitterRect() const {
  RECT r{};
  if (!ExplorerStyle()) return r;
  RECT client{};
  GetClientRect(hwnd_, &client);
  int top = 0, bottom = client.bottom;
  if (toolbar_ && IsWindowVisible(toolbar_)) {
    RECT t{};
    GetWindowRect(toolbar_, &t);
    top = t.bottom - t.top;
  }
  if (status_ && IsWindowVisible(status_)) {
    RECT s{};
    GetWindowRect(status_, &s);
    bottom -= s.bottom - s.top;
  }
  r.left = paneWidth_;
  r.right = paneWidth_ + MulDiv(kSplitterWidth, dpi_, 96);
  r.top = top;
  r.bottom = bottom;
  return r;
}

void TMainFormView::Layout() {
  if (!hwnd_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  int top = 0, bottom = client.bottom;
  if (toolbar_) {
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    if (IsWindowVisible(toolbar_)) {
      RECT t{};
      GetWindowRect(toolbar_, &t);
      top = t.bottom - t.top;
    }
  }
  if (status_) {
    SendMessageW(status_, WM_SIZE, 0, 0);
    if (IsWindowVisible(status_)) {
      RECT s{};
      GetWindowRect(status_, &s);
      bottom -= s.bottom - s.top;
    }
    LayoutStatusBar();
  }
  const int height = std::max(0, bottom - top);
  int left = 0;
  const bool explorer = ExplorerStyle();
  const bool showTree = explorer && leftPane_ == app::TLeftPane::lpFolderTree;
  const bool showBrowser = explorer && leftPane_ == app::TLeftPane::lpFileBrowser;
  if (explorer) {
    const int maxPane = std::max(kMinPaneWidth, static_cast<int>(client.right) - kMinPaneWidth);
    paneWidth_ = std::clamp(paneWidth_, kMinPaneWidth, maxPane);
    MoveWindow(showTree ? tree_ : browser_, 0, top, paneWidth_, height, TRUE);
    left = paneWidth_ + MulDiv(kSplitterWidth, dpi_, 96);
    if (showBrowser) {
      RECT b{};
      GetClientRect(browser_, &b);
      ListView_SetColumnWidth(browser_, 0, std::max<LONG>(b.right - GetSystemMetrics(SM_CXVSCROLL), 40));
    }
  }
  ShowWindow(tree_, showTree ? SW_SHOW : SW_HIDE);
  ShowWindow(browser_, showBrowser ? SW_SHOW : SW_HIDE);
  int listTop = top;
  if (explorer) {
    // The title panel: a bold line above the list, inset a little from the splitter.
    const int titleHeight = MulDiv(22, dpi_, 96);
    const int inset = MulDiv(4, dpi_, 96);
    MoveWindow(title_, left + inset, top, std::max(0, static_cast<int>(client.right) - left - inset),
               titleHeight, TRUE);
    listTop += titleHeight;
  }
  ShowWindow(title_, explorer ? SW_SHOW : SW_HIDE);
  MoveWindow(list_, left, listTop, std::max(0, static_cast<int>(client.right) - left),
             std::max(0, bottom - listTop), TRUE);
}

void TMainFormView::LayoutStatusBar() {
  RECT client{};
  GetClientRect(status_, &client);
  const auto scale = [this](int px) { return MulDiv(px, dpi_, 96); };
  const int width = client.right;
  const int tools = selectionToolsVisible_ ? 2 * scale(kToolButtonWidth) + scale(6) : 0;
  const int lamp = scale(kLampPartWidth) + GetSystemMetrics(SM_CXVSCROLL);
  const int comment = scale(kCommentPartWidth);
  const int second = std::max(scale(kMinSecondPartWidth), width * 2 / 5);
  int edges[kStatusPartCount];
  edges[kStatusPartTools] = tools;
  edges[kStatusPartLamp] = -1;
  edges[kStatusPartComment] = std::max(tools, width - lamp);
  edges[kStatusPartSecond] = std::max(tools, edges[kStatusPartComment] - comment);
  edges[kStatusPartFirst] = std::max(tools, edges[kStatusPartSecond] - second);
  SendMessageW(status_, SB_SETPARTS, kStatusPartCount, reinterpret_cast<LPARAM>(edges));
  SendMessageW(status_, SB_SETTEXTW, kStatusPartLamp | SBT_OWNERDRAW, 0);

  // The progress bar lies over the second panel; the tools over the first part.
  RECT part{};
  SendMessageW(status_, SB_GETRECT, kStatusPartSecond, reinterpret_cast<LPARAM>(&part));
  MoveWindow(progress_, part.left + 1, part.top + 1, std::max<LONG>(0, part.right - part.left - 2),
             std::max<LONG>(0, part.bottom - part.top - 2), TRUE);
  ShowWindow(progress_, progressVisible_ ? SW_SHOW : SW_HIDE);

  const bool showTools = selectionToolsVisible_ && IsWindowVisible(status_);
  if (showTools) {
    SendMessageW(status_, SB_GETRECT, kStatusPartTools, reinterpret_cast<LPARAM>(&part));
    MapWindowPoints(status_, hwnd_, reinterpret_cast<POINT*>(&part), 2);
    const int w = scale(kToolButtonWidth);
    const int h = std::max<LONG>(0, part.bottom - part.top - 2);
    SetWindowPos(selectAllTool_, HWND_TOP, part.left + 2, part.top + 1, w, h, 0);
    SetWindowPos(selectNoneTool_, HWND_TOP, part.left + 2 + w, part.top + 1, w, h, 0);
  }
  ShowWindow(selectAllTool_, showTools ? SW_SHOW : SW_HIDE);
  ShowWindow(selectNoneTool_, showTools ? SW_SHOW : SW_HIDE);
}

// ---------------------------------------------------------------------------------------
// Window procedure

LRESULT CALLBACK TMainFormView::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<TMainFormView*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TMainFormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  // Nothing may leave a window procedure by exception: the system's caller cannot
  // unwind. What goes wrong is told and the message counts as handled.
  try {
    return self->OnMessage(msg, wParam, lParam);
  } catch (const std::exception& e) {
    try {
      self->ShowMessageBox(e.what(), app::TMsgKind::mkError, app::TMsgButtons::mbOK);
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
}

LRESULT TMainFormView::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_COMMAND:
      if (lParam != 0 && HIWORD(wParam) != BN_CLICKED && reinterpret_cast<HWND>(lParam) != toolbar_)
        break;
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == list_) {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (pt.x == -1 && pt.y == -1) {
          // From the keyboard: below the focused row, or the list's corner.
          RECT r{};
          const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
          if (focused < 0 || !ListView_GetItemRect(list_, focused, &r, LVIR_LABEL)) r = RECT{};
          pt = {r.left, r.bottom};
          ClientToScreen(list_, &pt);
        }
        ShowListPopup(pt);
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.hwndItem == status_) {
        DrawLamp(item);
        return TRUE;
      }
      break;
    }
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      if (reinterpret_cast<HWND>(wParam) == hwnd_ && LOWORD(lParam) == HTCLIENT) {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
        const RECT s = SplitterRect();
        if (PtInRect(&s, pt)) {
          SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN: {
      const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT s = SplitterRect();
      if (PtInRect(&s, pt)) {
        dragging_ = true;
        SetCapture(hwnd_);
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      if (dragging_) {
        paneWidth_ = GET_X_LPARAM(lParam);
        Layout();
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragging_) {
        dragging_ = false;
        if (msg == WM_LBUTTONUP) ReleaseCapture();
        settings_.PanelSize = paneWidth_;
      }
      return 0;
    case WM_DROPFILES: {
      const auto drop = reinterpret_cast<HDROP>(wParam);
      std::vector<std::string> files;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        files.push_back(Narrow(name));
      }
      DragFinish(drop);
      form_->FileDrag1Drop(files, (GetKeyState(VK_CONTROL) & 0x8000) != 0);
      return 0;
    }
    case kSelectionChanged:
      selectionUpdatePending_ = false;
      if (form_) form_->UpdateSelectionStatus();
      return 0;
    case WM_CLOSE:
      ExitCommand();
      return 0;
    case WM_DESTROY:
      if (options_.QuitOnDestroy) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT TMainFormView::OnNotify(NMHDR& header) {
  if (header.hwndFrom == list_) return OnListNotify(header);
  if (header.hwndFrom == tree_) {
    if (header.code == TVN_SELCHANGEDW && quiet_ == 0) {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      if (change.itemNew.hItem) form_->TreeView1Change(static_cast<int>(change.itemNew.lParam));
    }
    return 0;
  }
  if (header.hwndFrom == browser_) {
    if (header.code == LVN_ITEMACTIVATE) {
      OpenBrowserItem(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
    }
    return 0;
  }
  if (header.code == TTN_GETDISPINFOW) {
    auto& tip = reinterpret_cast<NMTTDISPINFOW&>(header);
    const UINT id = static_cast<UINT>(header.idFrom);
    if (id == IDM_CHECKOUT && !checkOutHint_.empty()) {
      tip.lpszText = const_cast<wchar_t*>(checkOutHint_.c_str());
      return 0;
    }
    for (const TCommandDef& d : CommandTable())
      if (d.Id == id && d.Hint) {
        tip.lpszText = const_cast<wchar_t*>(d.Hint);
        break;
      }
    return 0;
  }
  return 0;
}

LRESULT TMainFormView::OnListNotify(NMHDR& header) {
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& info = reinterpret_cast<NMLVDISPINFOW&>(header).item;
      if (!form_ || info.iItem < 0 ||
          static_cast<std::size_t>(info.iItem) >= form_->Contents.EntryCount())
        return 0;
      const app::TDisplayRecord& row = form_->DisplayItem(static_cast<std::size_t>(info.iItem));
      if ((info.mask & LVIF_TEXT) && info.iSubItem >= 0 && info.iSubItem < app::kColumnCount)
        CopyToBuffer(Widen(row.Texts[info.iSubItem]), info.pszText, info.cchTextMax);
      if (info.mask & LVIF_IMAGE) info.iImage = row.Icon;
      return 0;
    }
    case LVN_ODCACHEHINT: {
      const auto& hint = reinterpret_cast<const NMLVCACHEHINT&>(header);
      if (form_ && hint.iFrom >= 0 && hint.iTo >= hint.iFrom)
        form_->CacheHint(static_cast<std::size_t>(hint.iFrom), static_cast<std::size_t>(hint.iTo));
      return 0;
    }
    case LVN_ODFINDITEMW: {
      // Typing in the list: the controller's own type-ahead, one character at a time.
      const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
      if ((find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) && find.lvfi.psz && find.lvfi.psz[0]) {
        const std::size_t len = wcslen(find.lvfi.psz);
        const wchar_t c = find.lvfi.psz[len - 1];
        if (c > 0 && c < 0x80) form_->ListKeyChar(static_cast<char>(c));
      }
      return -1;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
      if (column >= 0 && column < app::kColumnCount)
        form_->FILELISTColumnClick(static_cast<app::TColumn>(column));
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) &&
          ((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
        ScheduleSelectionStatus();
      return 0;
    }
    case LVN_ODSTATECHANGED: {
      const auto& change = reinterpret_cast<const NMLVODSTATECHANGE&>(header);
      if ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) ScheduleSelectionStatus();
      return 0;
    }
    case LVN_ITEMACTIVATE:
      if (quiet_ == 0) form_->OpenClick();
      return 0;
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
      // Backspace is the accelerator of "Up One Level".
      if (key == VK_DELETE) form_->ListDeleteKey();
      return 0;
    }
  }
  return 0;
}

void TMainFormView::ScheduleSelectionStatus() {
  if (quiet_ != 0 || selectionUpdatePending_ || !hwnd_) return;
  selectionUpdatePending_ = true;
  PostMessageW(hwnd_, kSelectionChanged, 0, 0);
}

void TMainFormView::DrawLamp(const DRAWITEMSTRUCT& item) {
  const COLORREF colours[] = {RGB(160, 160, 160), RGB(220, 40, 30), RGB(40, 180, 60)};
  const COLORREF colour = colours[static_cast<int>(lamp_)];
  RECT r = item.rcItem;
  const int size = std::min(r.right - r.left, r.bottom - r.top) - 6;
  if (size <= 0) return;
  const int x = r.left + 4, y = r.top + (r.bottom - r.top - size) / 2;
  const HBRUSH brush = CreateSolidBrush(colour);
  const HPEN pen = CreatePen(PS_SOLID, 1, RGB(80, 80, 80));
  const HGDIOBJ oldBrush = SelectObject(item.hDC, brush);
  const HGDIOBJ oldPen = SelectObject(item.hDC, pen);
  Ellipse(item.hDC, x, y, x + size, y + size);
  SelectObject(item.hDC, oldBrush);
  SelectObject(item.hDC, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

// ---------------------------------------------------------------------------------------
// File browser pane (the left pane while no archive is open)

void TMainFormView::FillFileBrowser() {
  browserStale_ = false;
  TQuiet quiet(quiet_);
  SendMessageW(browser_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(browser_);
  browserItems_.clear();
  std::vector<platform::TFindEntry> entries = platform::FindFiles(browsedFolder_);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    if (a.IsDirectory() != b.IsDirectory()) return a.IsDirectory();
    return app::LowerText(a.Name) < app::LowerText(b.Name);
  });
  for (const auto& e : entries) {
    if (e.Attributes & (platform::kAttrHidden | platform::kAttrSystem)) continue;
    browserItems_.push_back({e.Name, e.IsDirectory()});
    const std::wstring name = Widen(e.Name);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = static_cast<int>(browserItems_.size() - 1);
    item.pszText = const_cast<wchar_t*>(name.c_str());
    item.iImage = SmallIconIndex(platform::JoinPath(browsedFolder_, e.Name), e.IsDirectory());
    item.lParam = static_cast<LPARAM>(browserItems_.size() - 1);
    ListView_InsertItem(browser_, &item);
  }
  SendMessageW(browser_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(browser_, nullptr, TRUE);
}

void TMainFormView::OpenBrowserItem(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= browserItems_.size()) return;
  const TBrowserItem item = browserItems_[static_cast<std::size_t>(index)];
  const std::string path = platform::JoinPath(browsedFolder_, item.Name);
  if (item.IsFolder) BrowseFolder(path);
  else form_->OpenAndLoad(path);
}

// ---------------------------------------------------------------------------------------
// IMainView: texts

void TMainFormView::SetCaption(const std::string& caption) {
  SetWindowTextW(hwnd_, Widen(caption).c_str());
}

void TMainFormView::SetTitle(const std::string& title) {
  SetWindowTextW(title_, Widen(title).c_str());
}

void TMainFormView::SetStatusText(app::TStatusPanel panel, const std::string& text) {
  const int i = static_cast<int>(panel);
  statusTexts_[i] = Widen(text);
  if (panel == app::TStatusPanel::spSecond && !secondPanelVisible_) return;
  SendMessageW(status_, SB_SETTEXTW, i == 0 ? kStatusPartFirst : kStatusPartSecond,
               reinterpret_cast<LPARAM>(statusTexts_[i].c_str()));
}

void TMainFormView::RepaintStatus() { UpdateWindow(status_); }

void TMainFormView::ShowSecondPanel(bool visible) {
  secondPanelVisible_ = visible;
  SendMessageW(status_, SB_SETTEXTW, kStatusPartSecond,
               reinterpret_cast<LPARAM>(visible ? statusTexts_[1].c_str() : L""));
}

void TMainFormView::ShowProgress(bool visible) {
  progressVisible_ = visible;
  ShowWindow(progress_, visible ? SW_SHOW : SW_HIDE);
}

void TMainFormView::SetProgress(std::int64_t position, std::int64_t maximum) {
  const std::int64_t scaled =
      maximum > 0 ? std::clamp<std::int64_t>(position * 10000 / maximum, 0, 10000) : 0;
  SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(scaled), 0);
}

void TMainFormView::SetLamp(app::TLamp lamp) {
  lamp_ = lamp;
  SendMessageW(status_, SB_SETTEXTW, kStatusPartLamp | SBT_OWNERDRAW, 0);
  RECT r{};
  SendMessageW(status_, SB_GETRECT, kStatusPartLamp, reinterpret_cast<LPARAM>(&r));
  InvalidateRect(status_, &r, TRUE);
}

void TMainFormView::SetBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void TMainFormView::ShowSelectionTools(bool visible) {
  selectionToolsVisible_ = visible;
  LayoutStatusBar();
}

void TMainFormView::ShowCommentIndicator(bool visible) {
  commentVisible_ = visible;
  SendMessageW(status_, SB_SETTEXTW, kStatusPartComment,
               reinterpret_cast<LPARAM>(visible ? kCommentIndicatorText.data() : L""));
}

// ---------------------------------------------------------------------------------------
// IMainView: commands

void TMainFormView::SetCommands(const app::TCommandSet& enabled) {
  commands_ = enabled;
  ApplyCommandStates();
}

void TMainFormView::SetCheckOutButton(const app::TCheckOutButton& button) {
  checkOutHint_ = Widen(button.Hint);
  const std::wstring caption = Widen(button.Caption);
  TBBUTTONINFOW info{};
  info.cbSize = sizeof info;
  info.dwMask = TBIF_TEXT;
  info.pszText = const_cast<wchar_t*>(caption.c_str());
  SendMessageW(toolbar_, TB_SETBUTTONINFOW, IDM_CHECKOUT, reinterpret_cast<LPARAM>(&info));
}

void TMainFormView::SetRecentArchives(const std::vector<app::TRecentItem>& items) {
  recent_ = items;
  BuildMenuBar();
}

void TMainFormView::SetSortMenuCheck(int sortOrder) {
  sortCheck_ = sortOrder;
  ApplyMenuChecks();
}

void TMainFormView::SetListPopup(app::TListPopup popup) { listPopup_ = popup; }

// ---------------------------------------------------------------------------------------
// IMainView: the list

void TMainFormView::SetItemCount(std::size_t count) {
  TQuiet quiet(quiet_);
  // A new listing: the old rows' selection and focus mean nothing any more.
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(list_, static_cast<int>(std::min<std::size_t>(count, INT_MAX)), 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void TMainFormView::SetSortIndicator(const app::TSortIndicator& indicator) {
  const HWND header = ListView_GetHeader(list_);
  for (int i = 0; i < app::kColumnCount; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, i, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (indicator.Arrow != app::TSortArrow::saNone && i == static_cast<int>(indicator.Column))
      item.fmt |= indicator.Arrow == app::TSortArrow::saUp ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, i, &item);
  }
}

void TMainFormView::SetWebStyle(bool on) {
  const DWORD web = LVS_EX_ONECLICKACTIVATE | LVS_EX_UNDERLINEHOT;
  ListView_SetExtendedListViewStyleEx(list_, web | LVS_EX_TWOCLICKACTIVATE, on ? web : 0);
}

bool TMainFormView::IsListEnabled() { return IsWindowEnabled(list_) != FALSE; }

void TMainFormView::EnableList(bool enabled) {
  EnableWindow(list_, enabled);
  EnableWindow(toolbar_, enabled);
}

void TMainFormView::FocusList() {
  if (IsWindowVisible(hwnd_)) SetFocus(list_);
}

std::vector<std::size_t> TMainFormView::SelectedItems() {
  std::vector<std::size_t> out;
  const std::size_t total = form_ ? form_->Contents.EntryCount() : 0;
  out.reserve(std::min<std::size_t>(static_cast<std::size_t>(ListView_GetSelectedCount(list_)), total));
  for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0;
       i = ListView_GetNextItem(list_, i, LVNI_SELECTED))
    out.push_back(static_cast<std::size_t>(i));
  return out;
}

void TMainFormView::SelectAllItems(bool selected) {
  TQuiet quiet(quiet_);
  ListView_SetItemState(list_, -1, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

void TMainFormView::SetItemSelected(std::size_t index, bool selected) {
  TQuiet quiet(quiet_);
  ListView_SetItemState(list_, static_cast<int>(index), selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

std::ptrdiff_t TMainFormView::FocusedItem() { return ListView_GetNextItem(list_, -1, LVNI_FOCUSED); }

void TMainFormView::FocusItem(std::size_t index) {
  TQuiet quiet(quiet_);
  ListView_SetItemState(list_, static_cast<int>(index), LVIS_FOCUSED, LVIS_FOCUSED);
  ListView_EnsureVisible(list_, static_cast<int>(index), FALSE);
}

// ---------------------------------------------------------------------------------------
// IMainView: left pane

void TMainFormView::ShowLeftPane(app::TLeftPane pane) {
  leftPane_ = pane;
  Layout();
}

void TMainFormView::ShowExplorerParts(bool visible) {
  explorerParts_ = visible;
  if (visible && browserStale_) FillFileBrowser();
  ApplyMenuChecks();
  ApplyCommandStates();
  Layout();
}

void TMainFormView::BrowseFolder(const std::string& folder) {
  browsedFolder_ = folder;
  while (browsedFolder_.size() > 3 && platform::IsPathSeparator(browsedFolder_.back()))
    browsedFolder_.pop_back();
  // The pane shows only in explorer style; a hidden one is filled when it appears.
  browserStale_ = true;
  if (explorerParts_) FillFileBrowser();
}

void TMainFormView::BrowseParentFolder() {
  const std::string parent = platform::DirectoryPart(browsedFolder_);
  if (!parent.empty() && parent != browsedFolder_) BrowseFolder(parent);
}

void TMainFormView::ClearFolderTree() {
  TQuiet quiet(quiet_);
  TreeView_DeleteAllItems(tree_);
  treeItems_.clear();
}

void TMainFormView::SetFolderTree(const std::vector<app::TFolderNode>& nodes) {
  ClearFolderTree();
  TQuiet quiet(quiet_);
  const int closed = SmallIconIndex(form_ ? form_->TempFolder() : std::string("C:\\"), true);
  int open = closed;
  SHFILEINFOW info{};
  if (SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON |
                         SHGFI_USEFILEATTRIBUTES))
    open = info.iIcon;
  SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
  treeItems_.reserve(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const app::TFolderNode& node = nodes[i];
    const std::wstring name = Widen(node.Name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = node.Parent >= 0 && static_cast<std::size_t>(node.Parent) < treeItems_.size()
                         ? treeItems_[static_cast<std::size_t>(node.Parent)]
                         : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<wchar_t*>(name.c_str());
    insert.item.lParam = static_cast<LPARAM>(i);
    insert.item.iImage = closed;
    insert.item.iSelectedImage = open;
    treeItems_.push_back(TreeView_InsertItem(tree_, &insert));
  }
  SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree_, nullptr, TRUE);
}

void TMainFormView::SelectFolderNode(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= treeItems_.size()) return;
  TQuiet quiet(quiet_);
  const HTREEITEM item = treeItems_[static_cast<std::size_t>(index)];
  TreeView_Expand(tree_, item, TVE_EXPAND);
  TreeView_SelectItem(tree_, item);
  TreeView_EnsureVisible(tree_, item);
}

// ---------------------------------------------------------------------------------------
// IMainView: questions and the shell

app::TMsgResult TMainFormView::ShowMessageBox(const std::string& text, app::TMsgKind kind,
                                              app::TMsgButtons buttons) {
  if (MessageBoxOverride) return MessageBoxOverride(text, kind, buttons);
  UINT flags = MB_APPLMODAL;
  switch (kind) {
    case app::TMsgKind::mkWarning: flags |= MB_ICONWARNING; break;
    case app::TMsgKind::mkError: flags |= MB_ICONERROR; break;
    case app::TMsgKind::mkInformation: flags |= MB_ICONINFORMATION; break;
    case app::TMsgKind::mkConfirmation: flags |= MB_ICONQUESTION; break;
  }
  switch (buttons) {
    case app::TMsgButtons::mbOK: flags |= MB_OK; break;
    case app::TMsgButtons::mbYesNo: flags |= MB_YESNO; break;
    case app::TMsgButtons::mbOKCancel: flags |= MB_OKCANCEL; break;
  }
  const HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
  switch (CenteredMessageBox(owner, text, app::kMessageBoxCaption, flags)) {
    case IDYES: return app::TMsgResult::mrYes;
    case IDNO: return app::TMsgResult::mrNo;
    case IDCANCEL: return app::TMsgResult::mrCancel;
    default: return app::TMsgResult::mrOK;
  }
}

std::optional<std::string> TMainFormView::AskPassword(const std::string& memberName) {
  if (PasswordOverride) return PasswordOverride(memberName);
  return AskPasswordDialog(hwnd_, memberName);
}

void TMainFormView::AppendLog(const std::string& line) { log_.push_back(line); }

int TMainFormView::SmallIconIndex(const std::string& path, bool isFolder) {
  SHFILEINFOW info{};
  const std::wstring wide = Widen(path);
  if (!SHGetFileInfoW(wide.c_str(), isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL,
                      &info, sizeof info,
                      SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
    return 0;
  return info.iIcon;
}

bool TMainFormView::ShellOpen(const std::string& path, const std::string& folder, int& shellError) {
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
      hwnd_, nullptr, Widen(path).c_str(), nullptr, Widen(folder).c_str(), SW_SHOWNORMAL));
  shellError = result > 32 ? 0 : static_cast<int>(result);
  return result > 32;
}

bool TMainFormView::RunProgram(const std::string& program, const std::string& parameters) {
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
      hwnd_, nullptr, Widen(program).c_str(), Widen(parameters).c_str(), nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void TMainFormView::AddToRecentDocuments(const std::string& path) {
  const std::wstring wide = Widen(path);
  SHAddToRecentDocs(SHARD_PATHW, wide.c_str());
}

// ---------------------------------------------------------------------------------------
// Start-up

void TMainFormView::OpenFromCommandLine(const std::string& path) {
  form_->OpenAndLoad(path);
  FocusList();
}

}  // namespace win32ui
