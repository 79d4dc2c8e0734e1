// The program's modal message box: centred on its owner and kept inside the screen.
#pragma once

#include "platform/win32/windows_api.h"

#include <string>
#include <string_view>

namespace win32ui {

// MessageBoxW whose box is moved over the middle of `owner` and then pulled back inside
// the work area of the owner's monitor. Lone "\r" line breaks become "\r\n".
int CenteredMessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags);

// Centres `window` on `owner` (the screen when null) inside the work area.
void CenterOnOwner(HWND window, HWND owner);

// "\r" alone and "\n" alone become "\r\n" (edit controls and message boxes want pairs).
std::wstring WithLineBreaks(std::string_view text);

}  // namespace win32ui
