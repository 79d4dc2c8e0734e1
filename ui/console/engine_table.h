// The console's choice of extraction engine by archive kind, and what the extract and
// test commands share: their options and the questions asked on a terminal.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/un_base.h"

namespace console {

// The engine that extracts archives of `type`; null when the console cannot extract
// that kind yet.
std::unique_ptr<engine::TUnBase> MakeExtractor(engine::TArcType type);

// Parameters of -e and -test: "-pPASSWORD" options anywhere, the rest positional.
struct TCommandArgs {
  std::vector<std::string> Passwords;
  std::vector<std::string> Positional;
  std::string BadOption;  // the first option that is not understood
};
TCommandArgs ParseCommandArgs(const std::vector<std::string>& args);

// True when standard input is a terminal: only then are questions asked.
bool HaveTerminal();
// Prints `prompt` and reads one line from standard input; nullopt at its end.
std::optional<std::string> AskLine(const std::string& prompt);

// "text (extra)" for an engine error code, as the console prints it.
std::string ErrorMessage(int code, const std::string& msgEx);

}  // namespace console
