// Environment variables (UTF-8 names and values).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::optional<std::string> GetEnv(std::string_view name);
// Sets or, with nullopt, removes a variable of this process.
bool SetEnv(std::string_view name, std::optional<std::string_view> value);

}  // namespace platform
