// Yield and confirm hooks (portable: no OS calls).
#include "platform/yield.h"

#include <utility>

namespace platform {
namespace {
std::function<void()>& YieldHook() {
  static std::function<void()> hook;
  return hook;
}
std::function<bool(std::string_view)>& ConfirmHook() {
  static std::function<bool(std::string_view)> hook;
  return hook;
}
}  // namespace

void SetYieldHook(std::function<void()> hook) { YieldHook() = std::move(hook); }
void YieldToHost() {
  if (auto& h = YieldHook()) h();
}
void SetConfirmHook(std::function<bool(std::string_view)> hook) {
  ConfirmHook() = std::move(hook);
}
bool Confirm(std::string_view text) {
  auto& h = ConfirmHook();
  return h ? h(text) : false;
}

}  // namespace platform
