// The user's locale facts for the listing texts (thousands separator, date and time).
#pragma once

#include "app/display_texts.h"

namespace win32ui {

// From the user's default locale; the defaults of TLocaleFormat where it says nothing.
app::TLocaleFormat UserLocaleFormat();

}  // namespace win32ui
