// The password question for an encrypted member (dialog IDD_PASSWORD).
#pragma once

#include "platform/win32/windows_api.h"

#include <optional>
#include <string>

namespace win32ui {

// Modal, centred on `owner`; nullopt when the user cancels.
std::optional<std::string> AskPasswordDialog(HWND owner, const std::string& memberName);

}  // namespace win32ui
