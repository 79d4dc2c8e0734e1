// Extraction engines by archive kind and the shared console helpers.
#include "ui/console/engine_table.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "engine/decoders/un_gzip.h"
#include "engine/decoders/un_lha.h"
#include "engine/decoders/uu_decode.h"
#include "engine/decoders/un_tar.h"
#include "engine/decoders/un_zip.h"

namespace console {

namespace {

using TEngineFactory = std::unique_ptr<engine::TUnBase> (*)();

struct TExtractorRow {
  engine::TArcType Kind;
  TEngineFactory Make;
};

template <class T>
std::unique_ptr<engine::TUnBase> Make() {
  return std::make_unique<T>();
}

// A UU/XX set continues in its next volume file by itself when that file exists.
std::unique_ptr<engine::TUnBase> MakeUuDecoder() {
  auto uu = std::make_unique<engine::TUUDecode>();
  uu->AutoNextVolume = true;
  return uu;
}

// One row per archive kind the console extracts; the other kinds are refused.
constexpr TExtractorRow kExtractors[] = {
    {engine::TArcType::atZip, &Make<engine::TUnZIP>},
    {engine::TArcType::atZipExe, &Make<engine::TUnZIP>},
    {engine::TArcType::atZipMV, &Make<engine::TUnZIP>},
    {engine::TArcType::atJar, &Make<engine::TUnJar>},
    {engine::TArcType::atTar, &Make<engine::TUnTAR>},
    {engine::TArcType::atGZip, &Make<engine::TUnGZIP>},
    {engine::TArcType::atLha, &Make<engine::TUnLHA>},
    {engine::TArcType::atLhaExe, &Make<engine::TUnLHA>},
    {engine::TArcType::atLzh, &Make<engine::TUnLHA>},
    {engine::TArcType::atLzhExe, &Make<engine::TUnLHA>},
    {engine::TArcType::atUue, &MakeUuDecoder},
};

}  // namespace

std::unique_ptr<engine::TUnBase> MakeExtractor(engine::TArcType type) {
  for (const TExtractorRow& row : kExtractors)
    if (row.Kind == type) return row.Make();
  return nullptr;
}

TCommandArgs ParseCommandArgs(const std::vector<std::string>& args) {
  TCommandArgs out;
  for (const std::string& a : args) {
    if (a.size() >= 2 && a[0] == '-' && (a[1] == 'p' || a[1] == 'P')) {
      if (a.size() > 2) out.Passwords.push_back(a.substr(2));
      else if (out.BadOption.empty()) out.BadOption = a;
    } else if (a.size() >= 2 && a[0] == '-') {
      if (out.BadOption.empty()) out.BadOption = a;
    } else {
      out.Positional.push_back(a);
    }
  }
  return out;
}

bool HaveTerminal() { return isatty(0) != 0; }

std::optional<std::string> AskLine(const std::string& prompt) {
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ErrorMessage(int code, const std::string& msgEx) {
  // Nobody to ask for a password: for a console user the member is simply protected.
  if (code == engine::kErrEventNotAssigned && msgEx == "OnGetPassword")
    return std::string(engine::ErrorText(engine::kErrPasswordProtected));
  std::string text(engine::ErrorText(code));
  if (text.empty()) text = "Error " + std::to_string(code);
  if (!msgEx.empty()) text += " (" + msgEx + ")";
  return text;
}

}  // namespace console
