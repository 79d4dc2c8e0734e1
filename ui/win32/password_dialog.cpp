// The password dialog: shows the member's name, returns the typed password.
#include "ui/win32/password_dialog.h"

#include "platform/win32/utf16.h"
#include "ui/win32/message_box.h"
#include "ui/win32/resources/resource.h"

namespace win32ui {

namespace {

struct TPasswordDialog {
  std::string MemberName;
  std::optional<std::string> Password;

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TPasswordDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {
      return self->OnMessage(hwnd, msg, wParam);
    } catch (...) {
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    }
  }

  INT_PTR OnMessage(HWND hwnd, UINT msg, WPARAM wParam) {
    switch (msg) {
      case WM_INITDIALOG:
        SetDlgItemTextW(hwnd, IDC_PASSWORD_PROMPT,
                        platform::win32::Widen("Password for " + MemberName + ":").c_str());
        CenterOnOwner(hwnd, GetParent(hwnd));
        return TRUE;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDOK: OkClick(hwnd); return TRUE;
          case IDCANCEL: EndDialog(hwnd, IDCANCEL); return TRUE;
        }
        break;
    }
    return FALSE;
  }

  void OkClick(HWND hwnd) {
    const HWND edit = GetDlgItem(hwnd, IDC_PASSWORD_EDIT);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    Password = platform::win32::Narrow(text);
    EndDialog(hwnd, IDOK);
  }
};

}  // namespace

std::optional<std::string> AskPasswordDialog(HWND owner, const std::string& memberName) {
  TPasswordDialog dialog{memberName, std::nullopt};
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), owner,
                      &TPasswordDialog::Proc, reinterpret_cast<LPARAM>(&dialog));
  if (result != IDOK) return std::nullopt;
  return dialog.Password;
}

}  // namespace win32ui
