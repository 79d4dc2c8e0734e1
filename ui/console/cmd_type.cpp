// -type FILE and the usage texts.
#include <cstdio>
#include <string>

#include "app/usage_texts.h"
#include "engine/core/zip_common.h"
#include "ui/console/commands.h"

namespace console {

namespace {
// The usage texts use carriage returns between lines; a terminal wants line feeds.
void PrintText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r') c = '\n';
  std::printf("%s\n\n", out.c_str());
}

// An engine used only for what assignment of ArchiveFile tells.
class TProbeEngine : public engine::TZipCommon {};
}  // namespace

void PrintUsage() {
  std::printf("%.*s\n", static_cast<int>(app::kUsageBanner.size()), app::kUsageBanner.data());
  for (std::string_view text : app::kUsageTexts) PrintText(text);
}

int RunType(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    PrintUsage();
    return 2;
  }
  TProbeEngine probe;
  probe.SetArchiveFile(args[0]);
  const engine::TArcType type = probe.ArcType();
  const std::string_view name = engine::ArcTypeName(type);
  if (!engine::IsRecognised(type)) {
    std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
    return 1;
  }
  std::printf("%.*s %lld\n", static_cast<int>(name.size()), name.data(),
              static_cast<long long>(probe.StartOffset()));
  return 0;
}

}  // namespace console
