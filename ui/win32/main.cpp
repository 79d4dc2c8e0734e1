// Tessaly.exe: the desktop archive manager's main program.
//
// Environment: TESSALY_DISPLAY_STYLE=classic|explorer starts the window in that display
// style (and keeps it as the setting "View Style"); used to take screenshots of both.
#include "platform/win32/windows_api.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/settings.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/win32/utf16.h"
#include "ui/win32/main_form_view.h"

namespace {

using platform::win32::Narrow;

std::vector<std::string> CommandLineParameters() {
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return out;
  for (int i = 1; i < count; ++i) out.push_back(Narrow(args[i]));
  LocalFree(args);
  return out;
}

std::string ProgramPath() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return Narrow(buffer);
}

int Run(int showCommand) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                           ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  const std::string program = ProgramPath();
  app::TSettings settings(platform::SystemRegistry(), app::DefaultSettingsEnvironment(program));
  settings.LoadSettings();
  if (const char* style = std::getenv("TESSALY_DISPLAY_STYLE")) {
    const std::string s = style;
    if (s == "explorer") settings.DisplayStyle = 1;
    else if (s == "classic") settings.DisplayStyle = 0;
  }

  app::TMainFormEnvironment env;
  env.ProgramFolder = settings.Environment().ProgramFolder;
  env.Parameters = CommandLineParameters();

  win32ui::TMainFormView view(settings, env);
  if (!view.Create(showCommand)) return 1;
  // One parameter that is no switch: the archive to open.
  if (env.Parameters.size() == 1 && !env.Parameters[0].empty() && env.Parameters[0][0] != '-')
    view.OpenFromCommandLine(env.Parameters[0]);

  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (view.PreTranslateMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  const HRESULT com = OleInitialize(nullptr);
  int result = 1;
  try {
    result = Run(showCommand);
  } catch (const std::exception& e) {
    MessageBoxW(nullptr, platform::win32::Widen(e.what()).c_str(), L"Tessaly 2000",
                MB_OK | MB_ICONERROR);
  }
  if (SUCCEEDED(com)) OleUninitialize();
  return result;
}
