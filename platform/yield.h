// The yield hook: engines call YieldToHost() at each progress point; a GUI front end pumps its
// messages there so Cancel can be clicked, a console front end does nothing.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

void SetYieldHook(std::function<void()> hook);
void YieldToHost();

// Yes/No question the engines themselves may need to ask (e.g. creating TempDir).
// Without a hook installed the answer is No.
void SetConfirmHook(std::function<bool(std::string_view text)> hook);
bool Confirm(std::string_view text);

}  // namespace platform
