// UserLocaleFormat: LOCALE_STHOUSAND, LOCALE_SSHORTDATE, LOCALE_SSHORTTIME and the AM/PM
// texts of the user's locale.
#include "ui/win32/user_locale.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace win32ui {

namespace {

void ReadLocaleText(LCTYPE type, std::string& target) {
  wchar_t buffer[128] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 128);
  if (n > 1) target = platform::win32::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
}

}  // namespace

app::TLocaleFormat UserLocaleFormat() {
  app::TLocaleFormat locale;
  ReadLocaleText(LOCALE_STHOUSAND, locale.ThousandsSeparator);
  ReadLocaleText(LOCALE_SSHORTDATE, locale.ShortDate);
  ReadLocaleText(LOCALE_SSHORTTIME, locale.ShortTime);
  ReadLocaleText(LOCALE_S1159, locale.AmText);
  ReadLocaleText(LOCALE_S2359, locale.PmText);
  return locale;
}

}  // namespace win32ui
