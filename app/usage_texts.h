// The three usage texts shown for -h and -?.
#pragma once

#include <string_view>

namespace app {

// The line naming the program and its version, which opens the first text.
inline constexpr std::string_view kUsageBanner = "Tessaly 0.1";
// The texts, as the program shows them ("\r" is a carriage return).
extern const std::string_view kUsageTexts[3];

}  // namespace app
