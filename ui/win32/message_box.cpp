// Centred, on-screen message boxes through a one-shot CBT hook.
#include "ui/win32/message_box.h"

#include "platform/win32/utf16.h"

namespace win32ui {

namespace {

// The box is created inside MessageBoxW; a thread-local hook catches its activation.
thread_local HHOOK tHook = nullptr;
thread_local HWND tOwner = nullptr;

LRESULT CALLBACK CenterHook(int code, WPARAM wParam, LPARAM lParam) {
  const HHOOK hook = tHook;
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0) {
      CenterOnOwner(box, tOwner);
      UnhookWindowsHookEx(hook);
      tHook = nullptr;
    }
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

std::wstring WithLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return platform::win32::Widen(out);
}

void CenterOnOwner(HWND window, HWND owner) {
  RECT box{}, area{};
  GetWindowRect(window, &box);
  HMONITOR monitor = MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTONEAREST);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(monitor, &mi)) area = mi.rcWork;
  else SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT base = area;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &base);
  const int w = box.right - box.left, h = box.bottom - box.top;
  int x = base.left + ((base.right - base.left) - w) / 2;
  int y = base.top + ((base.bottom - base.top) - h) / 2;
  if (x + w > area.right) x = area.right - w;
  if (y + h > area.bottom) y = area.bottom - h;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CenteredMessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  if (!tHook) {
    tOwner = owner;
    tHook = SetWindowsHookExW(WH_CBT, CenterHook, nullptr, GetCurrentThreadId());
  }
  const int result = MessageBoxW(owner, WithLineBreaks(text).c_str(),
                                 platform::win32::Widen(caption).c_str(), flags);
  if (tHook) {
    UnhookWindowsHookEx(tHook);
    tHook = nullptr;
  }
  return result;
}

}  // namespace win32ui
