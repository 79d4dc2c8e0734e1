// The Extract dialog's view: copies TExtractForm's controls into the window, forwards each
// change, builds the folder tree on demand; the overwrite question and the main window's
// side of the Extract operation.
#include "ui/win32/extract_dialog_view.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "app/main_form.h"
#include "platform/path.h"
#include "platform/win32/utf16.h"
#include "platform/yield.h"
#include "ui/win32/main_form_view.h"
#include "ui/win32/message_box.h"
#include "ui/win32/resources/extract_dialog_res.h"

namespace win32ui {

namespace {

using dialogs::TExtractFiles;
using platform::win32::Narrow;
using platform::win32::Widen;

std::string WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

std::string SpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
  return Narrow(buffer);
}

int ShellIcon(const std::string& path) {
  SHFILEINFOW info{};
  SHGetFileInfoW(Widen(path).c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return info.iIcon;
}

int SpecialIcon(int csidl) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl) return 0;
  SHFILEINFOW info{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof info,
                 SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  CoTaskMemFree(pidl);
  return info.iIcon;
}

// The dialog's window procedure and its state.
class TExtractDialogView final : public dialogs::IExtractView {
 public:
  TExtractDialogView(dialogs::TExtractForm& form, std::function<void(HWND)> onInit)
      : form_(form), onInit_(std::move(onInit)) {}

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TExtractDialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    // Nothing may unwind into the dialog manager.
    try {
      return self->OnMessage(hwnd, msg, wParam, lParam);
    } catch (...) {
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    }
  }

  // ---- IExtractView ----
  void ShowMessage(const std::string& text, dialogs::TDialogMessage kind) override {
    const UINT icon = kind == dialogs::TDialogMessage::dmError     ? MB_ICONERROR
                      : kind == dialogs::TDialogMessage::dmWarning ? MB_ICONWARNING
                                                                   : MB_ICONINFORMATION;
    CenteredMessageBox(hwnd_, text, app::kMessageBoxCaption, MB_OK | icon);
  }
  std::optional<std::string> AskNewFolderName(const std::string& parent) override {
    return AskNewFolderDialog(hwnd_, parent);
  }
  void ExploreFolder(const std::string& folder) override {
    ShellExecuteW(hwnd_, L"explore", Widen(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
  void ShowHelpTopic(std::string_view topic) override {
    // The help pages are files beside the program.
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::string page =
        platform::JoinPath(platform::DirectoryPart(Narrow(module)), std::string("help\\") + std::string(topic));
    ShellExecuteW(hwnd_, L"open", Widen(page).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
  void ControlsChanged() override { Fill(); }

 private:
  INT_PTR OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_INITDIALOG:
        hwnd_ = hwnd;
        form_.View = this;
        BuildTree();
        Fill();
        CenterOnOwner(hwnd, GetParent(hwnd));
        if (onInit_) onInit_(hwnd);
        return TRUE;
      case WM_DESTROY:
        form_.View = nullptr;
        return FALSE;
      case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (header.idFrom != IDC_EXTRACT_TREE) break;
        if (header.code == TVN_ITEMEXPANDINGW)
          Expand(reinterpret_cast<NMTREEVIEWW*>(lParam)->itemNew.hItem);
        else if (header.code == TVN_SELCHANGEDW && quiet_ == 0)
          TreeChange(reinterpret_cast<NMTREEVIEWW*>(lParam)->itemNew.lParam);
        return FALSE;
      }
      case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
  }

  void OnCommand(UINT id, UINT code) {
    if (quiet_ > 0) return;
    switch (id) {
      case IDC_EXTRACT_DEST:
        if (code == CBN_EDITCHANGE) {
          form_.DestinationChange(WindowText(Item(IDC_EXTRACT_DEST)));
          EnableWindow(Item(IDC_EXTRACT_NEW_FOLDER), form_.Controls().NewFolderEnabled);
        } else if (code == CBN_SELCHANGE) {
          const LRESULT i = SendMessageW(Item(IDC_EXTRACT_DEST), CB_GETCURSEL, 0, 0);
          const auto& list = form_.Controls().DestinationList;
          if (i >= 0 && static_cast<std::size_t>(i) < list.size()) {
            form_.DestinationChange(list[static_cast<std::size_t>(i)]);
            EnableWindow(Item(IDC_EXTRACT_NEW_FOLDER), form_.Controls().NewFolderEnabled);
          }
        }
        break;
      case IDC_EXTRACT_SELECTED: form_.SetFiles(TExtractFiles::efSelected); break;
      case IDC_EXTRACT_ALL: form_.SetFiles(TExtractFiles::efAll); break;
      case IDC_EXTRACT_MASK_RADIO: form_.SetFiles(TExtractFiles::efMask); break;
      case IDC_EXTRACT_MASK:
        if (code == EN_CHANGE) form_.SetMask(WindowText(Item(IDC_EXTRACT_MASK)));
        if (code == EN_SETFOCUS) {
          // Typing a mask chooses "F&iles:".
          form_.SetFiles(TExtractFiles::efMask);
          Fill();
        }
        break;
      case IDC_EXTRACT_OVERWRITE: form_.SetOverwrite(Checked(IDC_EXTRACT_OVERWRITE)); break;
      case IDC_EXTRACT_SKIP_OLDER: form_.SetSkipOlder(Checked(IDC_EXTRACT_SKIP_OLDER)); break;
      case IDC_EXTRACT_FOLDER_NAMES:
        form_.SetUseFolderNames(Checked(IDC_EXTRACT_FOLDER_NAMES));
        break;
      case IDC_EXTRACT_NEW_FOLDER: form_.NewFolderButtClick(); break;
      case IDC_EXTRACT_EXPLORE: form_.ExploreButtClick(); break;
      case IDC_EXTRACT_HELP: form_.HelpButtClick(); break;
      case IDOK:
        form_.DestinationChange(WindowText(Item(IDC_EXTRACT_DEST)));
        form_.SetMask(WindowText(Item(IDC_EXTRACT_MASK)));
        if (form_.ExtractButtClick()) EndDialog(hwnd_, IDOK);
        break;
      case IDCANCEL:
        form_.CancelButtClick();
        EndDialog(hwnd_, IDCANCEL);
        break;
    }
  }

  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  bool Checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
  void Check(int id, bool on) { CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED); }

  void Fill() {
    ++quiet_;
    const dialogs::TExtractControls& c = form_.Controls();
    const HWND dest = Item(IDC_EXTRACT_DEST);
    SendMessageW(dest, CB_RESETCONTENT, 0, 0);
    for (const std::string& f : c.DestinationList)
      SendMessageW(dest, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(f).c_str()));
    SetWindowTextW(dest, Widen(c.Destination).c_str());
    Check(IDC_EXTRACT_SELECTED, c.Files == TExtractFiles::efSelected);
    Check(IDC_EXTRACT_ALL, c.Files == TExtractFiles::efAll);
    Check(IDC_EXTRACT_MASK_RADIO, c.Files == TExtractFiles::efMask);
    EnableWindow(Item(IDC_EXTRACT_SELECTED), c.FileChoiceEnabled && c.SelectedEnabled);
    EnableWindow(Item(IDC_EXTRACT_ALL), c.FileChoiceEnabled);
    EnableWindow(Item(IDC_EXTRACT_MASK_RADIO), c.FileChoiceEnabled);
    EnableWindow(Item(IDC_EXTRACT_MASK), c.FileChoiceEnabled);
    if (WindowText(Item(IDC_EXTRACT_MASK)) != c.Mask)
      SetWindowTextW(Item(IDC_EXTRACT_MASK), Widen(c.Mask).c_str());
    Check(IDC_EXTRACT_OVERWRITE, c.Overwrite);
    EnableWindow(Item(IDC_EXTRACT_OVERWRITE), c.OverwriteEnabled);
    Check(IDC_EXTRACT_SKIP_OLDER, c.SkipOlder);
    EnableWindow(Item(IDC_EXTRACT_SKIP_OLDER), c.SkipOlderEnabled);
    Check(IDC_EXTRACT_FOLDER_NAMES, c.UseFolderNames);
    EnableWindow(Item(IDC_EXTRACT_FOLDER_NAMES), c.UseFolderNamesEnabled);
    EnableWindow(Item(IDC_EXTRACT_NEW_FOLDER), c.NewFolderEnabled);
    --quiet_;
  }

  // ---- folder tree: Desktop, My Computer, the drives, their folders on demand ----
  struct TNode {
    std::string Path;  // empty: a node that is no folder (My Computer)
    bool Filled = false;
  };

  HTREEITEM AddNode(HTREEITEM parent, const std::string& text, std::string path, int icon,
                    bool children) {
    nodes_.push_back({std::move(path), false});
    std::wstring wtext = Widen(text);
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = wtext.data();
    ins.item.lParam = static_cast<LPARAM>(nodes_.size() - 1);
    ins.item.cChildren = children ? 1 : 0;
    ins.item.iImage = ins.item.iSelectedImage = icon;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(Item(IDC_EXTRACT_TREE), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
  }

  void BuildTree() {
    const HWND tree = Item(IDC_EXTRACT_TREE);
    SHFILEINFOW info{};
    const auto images = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
        L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images) TreeView_SetImageList(tree, images, TVSIL_NORMAL);
    ++quiet_;
    const HTREEITEM desktop =
        AddNode(TVI_ROOT, "Desktop", SpecialFolder(CSIDL_DESKTOPDIRECTORY), SpecialIcon(CSIDL_DESKTOP), true);
    nodes_.back().Filled = true;  // its children are made here
    const HTREEITEM computer = AddNode(desktop, "My Computer", {}, SpecialIcon(CSIDL_DRIVES), true);
    nodes_.back().Filled = true;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if (!(drives & (1u << i))) continue;
      const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
      AddNode(computer, root.substr(0, 2), root, ShellIcon(root), true);
    }
    const std::string desktopPath = nodes_[0].Path;
    if (!desktopPath.empty())
      for (const std::string& name : form_.TreeListExpanding(desktopPath)) {
        const std::string path = platform::JoinPath(desktopPath, name);
        AddNode(desktop, name, path, ShellIcon(path), true);
      }
    TreeView_Expand(tree, desktop, TVE_EXPAND);
    TreeView_Expand(tree, computer, TVE_EXPAND);
    --quiet_;
  }

  void Expand(HTREEITEM item) {
    TVITEMW tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!SendMessageW(Item(IDC_EXTRACT_TREE), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return;
    const auto index = static_cast<std::size_t>(tv.lParam);
    if (index >= nodes_.size() || nodes_[index].Filled) return;
    nodes_[index].Filled = true;
    const std::string folder = nodes_[index].Path;
    const std::vector<std::string> children = form_.TreeListExpanding(folder);
    for (const std::string& name : children) {
      const std::string path = platform::JoinPath(folder, name);
      AddNode(item, name, path, ShellIcon(path), true);
    }
    if (children.empty()) {
      tv.mask = TVIF_CHILDREN;
      tv.cChildren = 0;
      SendMessageW(Item(IDC_EXTRACT_TREE), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    }
  }

  void TreeChange(LPARAM param) {
    const auto index = static_cast<std::size_t>(param);
    if (index < nodes_.size() && !nodes_[index].Path.empty())
      form_.TreeListChange(nodes_[index].Path);
  }

  dialogs::TExtractForm& form_;
  std::function<void(HWND)> onInit_;
  HWND hwnd_ = nullptr;
  int quiet_ = 0;
  std::vector<TNode> nodes_;
};

struct TTextDialog {
  std::string Prompt;
  std::string Text;
  app::TOverwriteAnswer Answer = app::TOverwriteAnswer::oaCancel;

  static INT_PTR CALLBACK NewFolderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TTextDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {
      if (msg == WM_INITDIALOG) {
        SetDlgItemTextW(hwnd, IDC_NEW_FOLDER_PROMPT, Widen(self->Prompt).c_str());
        CenterOnOwner(hwnd, GetParent(hwnd));
        return TRUE;
      }
      if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK) self->Text = WindowText(GetDlgItem(hwnd, IDC_NEW_FOLDER_NAME));
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
      }
    } catch (...) {
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    }
    return FALSE;
  }

  static INT_PTR CALLBACK OverwriteProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TTextDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {
      if (msg == WM_INITDIALOG) {
        SetDlgItemTextW(hwnd, IDC_OVERWRITE_TEXT, WithLineBreaks(self->Prompt).c_str());
        SendDlgItemMessageW(hwnd, IDC_OVERWRITE_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_QUESTION)), 0);
        SetWindowTextW(hwnd, Widen(app::kMessageBoxCaption).c_str());
        CenterOnOwner(hwnd, GetParent(hwnd));
        return TRUE;
      }
      if (msg == WM_COMMAND) {
        using enum app::TOverwriteAnswer;
        switch (LOWORD(wParam)) {
          case IDYES: self->Answer = oaYes; break;
          case IDNO: self->Answer = oaNo; break;
          case IDC_OVERWRITE_ALL: self->Answer = oaAll; break;
          case IDCANCEL: self->Answer = oaCancel; break;
          default: return FALSE;
        }
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
      }
    } catch (...) {
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    }
    return FALSE;
  }
};

}  // namespace

void ShowExtractDialog(HWND owner, dialogs::TExtractForm& form,
                       const std::function<void(HWND)>& onInit) {
  TExtractDialogView view(form, onInit);
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EXTRACT), owner,
                  &TExtractDialogView::Proc, reinterpret_cast<LPARAM>(&view));
  form.View = nullptr;
}

app::TOverwriteAnswer AskOverwriteDialog(HWND owner, const std::string& text) {
  TTextDialog dialog{text, {}, app::TOverwriteAnswer::oaCancel};
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OVERWRITE), owner,
                  &TTextDialog::OverwriteProc, reinterpret_cast<LPARAM>(&dialog));
  return dialog.Answer;
}

std::optional<std::string> AskNewFolderDialog(HWND owner, const std::string& parent) {
  TTextDialog dialog{"New folder in " + parent + ":", {}, app::TOverwriteAnswer::oaCancel};
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NEW_FOLDER), owner,
                      &TTextDialog::NewFolderProc, reinterpret_cast<LPARAM>(&dialog));
  if (result != IDOK) return std::nullopt;
  return dialog.Text;
}

// ---------------------------------------------------------------------------------------
// The main window's side

TExtractPrompts::~TExtractPrompts() {
  if (installed_) {
    platform::SetYieldHook(nullptr);
    view_.Form().SetExtractPrompts(nullptr);
  }
}

void TExtractPrompts::Install() {
  view_.Form().SetExtractPrompts(this);
  platform::SetYieldHook([this] { PumpDuringRun(); });
  installed_ = true;
}

void TExtractPrompts::PumpDuringRun() {
  app::TMainForm& form = view_.Form();
  MSG msg;
  if (!form.IsExtracting()) {
    // Other engine work (a listing): the window only repaints, as the window's own hook
    // does, since a click handled in the middle would re-enter the controller.
    const ULONGLONG now = GetTickCount64();
    if (now - lastPaint_ < 50) return;
    lastPaint_ = now;
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    return;
  }
  const HWND main = view_.Handle();
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    // A click or key meant for the main window or one of its children interrupts.
    const bool input = msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
                       msg.message == WM_KEYDOWN || msg.message == WM_NCLBUTTONDOWN;
    if (input && msg.hwnd && (msg.hwnd == main || IsChild(main, msg.hwnd))) {
      form.ExtractInterruptCheck();
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TExtractPrompts::ShowExtractDialog(dialogs::TExtractForm& form) {
  win32ui::ShowExtractDialog(view_.Handle(), form, OnDialogInit);
}

app::TOverwriteAnswer TExtractPrompts::AskOverwrite(const std::string& text) {
  if (OverwriteOverride) return OverwriteOverride(text);
  return AskOverwriteDialog(view_.Handle(), text);
}

void TExtractPrompts::ResetLastOutput() {
  if (OnResetLastOutput) OnResetLastOutput();
}

void TExtractPrompts::EnableOperationMenus(bool enabled) {
  if (view_.Toolbar()) EnableWindow(view_.Toolbar(), enabled);
  // The File and Actions menus: the first and the third of the menu bar.
  if (const HMENU bar = GetMenu(view_.Handle())) {
    for (const UINT position : {0u, 2u})
      EnableMenuItem(bar, position, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(view_.Handle());
  }
}

}  // namespace win32ui
