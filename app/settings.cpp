// The settings store: the table of registry values, load, save and the favourites file.
#include "app/settings.h"

#include "platform/env.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <utility>

namespace app {
namespace {

using platform::TRegRoot;
constexpr TRegRoot kUser = TRegRoot::rrCurrentUser;

constexpr TSettingDef Int(std::string_view key, std::string_view name,
                          std::int32_t TSettingValues::*member, std::int32_t def) {
  TSettingDef d;
  d.Key = key;
  d.Name = name;
  d.Type = TSettingType::stInteger;
  d.Integer = member;
  d.IntegerDefault = def;
  return d;
}

constexpr TSettingDef Str(std::string_view key, std::string_view name,
                          std::string TSettingValues::*member, std::string_view def,
                          TSettingDefault kind = TSettingDefault::sdFixed,
                          std::size_t requiredLength = 0) {
  TSettingDef d;
  d.Key = key;
  d.Name = name;
  d.Type = TSettingType::stString;
  d.Text = member;
  d.TextDefault = def;
  d.Default = kind;
  d.RequiredLength = requiredLength;
  return d;
}

constexpr TSettingDef Slot(std::string_view key, std::string_view name,
                           THistory TSettingValues::*member, std::size_t slot) {
  TSettingDef d;
  d.Key = key;
  d.Name = name;
  d.Type = TSettingType::stString;
  d.History = member;
  d.Slot = slot;
  return d;
}

using V = TSettingValues;
using enum TSettingDefault;

// The one list of every value: key, name, member, default. The save writes in this order.
const TSettingDef kSettingTable[] = {
    Int(kSettingsKey, "Sort order", &V::SortOrder, 1),
    Str(kSettingsKey, "Last open dir", &V::LastOpenDir, "", sdProgramFolder),
    Str(kSettingsKey, "Last add dir", &V::LastAddDir, ""),
    Slot(kSettingsKey, "Extract1", &V::ExtractDirs, 0),
    Slot(kSettingsKey, "Extract2", &V::ExtractDirs, 1),
    Slot(kSettingsKey, "Extract3", &V::ExtractDirs, 2),
    Slot(kSettingsKey, "Extract4", &V::ExtractDirs, 3),
    Slot(kSettingsKey, "Extract5", &V::ExtractDirs, 4),
    Slot(kSettingsKey, "SelDir1", &V::SelDirs, 0),
    Slot(kSettingsKey, "SelDir2", &V::SelDirs, 1),
    Slot(kSettingsKey, "SelDir3", &V::SelDirs, 2),
    Slot(kSettingsKey, "SelDir4", &V::SelDirs, 3),
    Slot(kSettingsKey, "SelDir5", &V::SelDirs, 4),
    Str(kSettingsKey, "Temp", &V::TempFolder, "", sdTempFolder),
    Str(kSettingsKey, "Viewer", &V::Viewer, "", sdViewer),
    Slot(kSettingsKey, "Active_File1", &V::RecentArchives, 0),
    Slot(kSettingsKey, "Active_File2", &V::RecentArchives, 1),
    Slot(kSettingsKey, "Active_File3", &V::RecentArchives, 2),
    Slot(kSettingsKey, "Active_File4", &V::RecentArchives, 3),
    Slot(kSettingsKey, "Active_File5", &V::RecentArchives, 4),
    Int(kSettingsKey, "FullRow", &V::FullRow, 1),
    Int(kSettingsKey, "GridLines", &V::GridLines, 0),
    Int(kSettingsKey, "ToolbarTips", &V::ToolbarTips, 1),
    Int(kSettingsKey, "FlatButtons", &V::FlatButtons, 1),
    Int(kSettingsKey, "ShowToolbarText", &V::ShowToolbarText, 1),
    Int(kSettingsKey, "AlignToolbar", &V::AlignToolbar, 2),
    Int(kSettingsKey, "ViewToolbar", &V::ViewToolbar, 1),
    Int(kSettingsKey, "ViewStatusLine", &V::ViewStatusLine, 1),
    Int(kSettingsKey, "ViewStyle", &V::ListStyle, 3),
    Int(kSettingsKey, "AsWebPage", &V::AsWebPage, 0),
    Int(kSettingsKey, "AutoAdd", &V::AutoAdd, 1),
    Int(kSettingsKey, "Add folder", &V::AddFolderMode, 1),
    Str(kSettingsKey, "Add from folder", &V::AddFromFolder, ""),
    Int(kSettingsKey, "Start-up base folder", &V::StartupBaseFolder, 1),
    Str(kSettingsKey, "Start-up folder", &V::StartupFolder, ""),
    Str(kSettingsKey, "Checkout base folder", &V::CheckoutBaseFolder, ""),
    Int(kSettingsKey, "Associate with Zip files", &V::AssociateWithZip, 0),
    Int(kSettingsKey, "Check for Zip association", &V::CheckZipAssociation, 0),
    Int(kSettingsKey, "Current Tip", &V::CurrentTip, 1),
    Int(kSettingsKey, "Tip of the day", &V::TipOfTheDay, 1),

    Int(kAddingKey, "Default compression", &V::DefaultCompression, 0),
    Int(kAddingKey, "Save Dir names", &V::SaveDirNames, 0),
    Int(kAddingKey, "Spanning mode", &V::SpanningMode, 2),
    Int(kAddingKey, "Spanning MAX volume size", &V::SpanningMaxVolumeSize, 1440000),
    Int(kAddingKey, "Spanning Free size", &V::SpanningFreeSize, 0),

    Int(kExtractingKey, "Extract overwrite", &V::ExtractOverwrite, 1),

    Str(kGeneralKey, "Buttons", &V::Buttons, "11100111100100", sdFixed, kButtonsLength),
    Int(kGeneralKey, "AShowComment", &V::AShowComment, 0),
    Int(kGeneralKey, "LargeButtons", &V::LargeButtons, 1),
    Int(kGeneralKey, "AutoVolume", &V::AutoVolume, 1),
    Int(kGeneralKey, "Show view dialog", &V::ShowViewDialog, 1),
    Int(kGeneralKey, "Last view mode", &V::LastViewMode, 2),
    Int(kGeneralKey, "On Top", &V::OnTop, 0),
    Str(kGeneralKey, "Virus Scan Program", &V::VirusScanProgram, ""),
    Str(kGeneralKey, "Virus Scan Parameters", &V::VirusScanParameters, ""),
    Int(kGeneralKey, "Reuse Windows", &V::ReuseWindows, 0),
    Int(kGeneralKey, "Down case file names", &V::DownCaseFileNames, 1),
    Int(kGeneralKey, "Show open on startup", &V::ShowOpenOnStartup, 0),
    Str(kGeneralKey, "Directory", &V::Directory, "", sdProgramPath),
    Int(kGeneralKey, "Use Explorer Shell Extensions", &V::UseShellExtensions, 1),
    Int(kGeneralKey, "Efolder", &V::EFolder, 2),
    Int(kGeneralKey, "Automatic Package Installation", &V::AutoPackageInstall, 1),
    Str(kGeneralKey, "Associated Archives", &V::AssociatedArchives, "111111111111111", sdFixed,
        kAssociatedArchivesLength),
    Int(kGeneralKey, "View Style", &V::DisplayStyle, 0),
    Int(kGeneralKey, "View Folders", &V::ViewFolders, 1),
    Int(kGeneralKey, "LastOpenFilterIndex", &V::LastOpenFilterIndex, 13),

    Int(kShellExtKey, "UseBitmapImages", &V::UseBitmapImages, 1),
    Int(kShellExtKey, "CheckForSFXs", &V::CheckForSFXs, 1),
    Int(kShellExtKey, "NonCascade", &V::NonCascade, 1),
    Int(kShellExtKey, "ConvertZIP", &V::ConvertZIP, 1),
    Int(kShellExtKey, "ConvertSFX", &V::ConvertSFX, 1),
    Int(kShellExtKey, "AddZIP", &V::AddZIP, 1),
    Int(kShellExtKey, "AddCAB", &V::AddCAB, 0),
    Int(kShellExtKey, "AddLHA", &V::AddLHA, 0),
    Int(kShellExtKey, "AddBH", &V::AddBH, 0),
    Int(kShellExtKey, "MakeSpan", &V::MakeSpan, 1),
    Int(kShellExtKey, "ExtractTo", &V::ExtractTo, 1),
    Int(kShellExtKey, "ExtractHere", &V::ExtractHere, 1),
    Int(kShellExtKey, "ExtracttoSubFolder", &V::ExtracttoSubFolder, 1),
    Int(kShellExtKey, "OpenSFX", &V::OpenSFX, 1),
    Int(kShellExtKey, "EmailIt", &V::EmailIt, 1),
};

std::string DefaultText(const TSettingDef& def, const TSettingsEnvironment& env) {
  switch (def.Default) {
    case sdProgramFolder:
      return env.ProgramFolder;
    case sdTempFolder:
      return env.TempFolder;
    case sdViewer:
      return env.Viewer;
    case sdProgramPath:
      return env.ProgramPath;
    case sdFixed:
      break;
  }
  return std::string(def.TextDefault);
}

void ApplyDefault(TSettingValues& values, const TSettingDef& def,
                  const TSettingsEnvironment& env) {
  if (def.Type == TSettingType::stInteger) {
    IntegerOf(values, def) = def.IntegerDefault;
  } else {
    TextOf(values, def) = DefaultText(def, env);
  }
}

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && !platform::IsPathSeparator(dir.back())) dir += platform::kPathSeparator;
  return dir;
}

// One decimal line; nullopt when it is not a number.
std::optional<std::int32_t> ParseNumber(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (ec != std::errc() || end != line.data() + line.size() || line.empty()) return std::nullopt;
  return value;
}

bool WriteWholeFile(const std::string& path, std::string_view data) {
  platform::File f;
  bool ok = f.Open(path, platform::TFileAccess::faCreate, platform::TShareMode::smExclusive) &&
            f.WriteAll(data.data(), data.size());
  return f.Close() && ok;
}

}  // namespace

std::span<const TSettingDef> SettingTable() { return kSettingTable; }

std::int32_t& IntegerOf(TSettingValues& values, const TSettingDef& def) {
  return values.*(def.Integer);
}

std::string& TextOf(TSettingValues& values, const TSettingDef& def) {
  if (def.History != nullptr) return (values.*(def.History))[def.Slot];
  return values.*(def.Text);
}

void ApplyDefaults(TSettingValues& values, const TSettingsEnvironment& env) {
  for (const TSettingDef& def : kSettingTable) ApplyDefault(values, def, env);
}

TSettingsEnvironment DefaultSettingsEnvironment(std::string_view programPath) {
  TSettingsEnvironment env;
  env.ProgramPath = std::string(programPath);
  env.ProgramFolder = WithTrailingSeparator(platform::DirectoryPart(programPath));
  env.TempFolder = WithTrailingSeparator(platform::TempDirectory());
  std::string windows = platform::GetEnv("SystemRoot").value_or("");
  if (windows.empty()) windows = platform::GetEnv("windir").value_or("");
  if (!windows.empty()) env.Viewer = WithTrailingSeparator(windows) + "notepad.exe";
  env.FavoritesFallbackFolder = env.ProgramFolder;
  if (!platform::kIsWindows) {
    const std::string config = platform::UserConfigDirectory();
    if (!config.empty()) {
      env.FavoritesFallbackFolder = WithTrailingSeparator(platform::JoinPath(config, "tessaly"));
    }
  }
  return env;
}

std::string FormatFavorites(const TFavorites& favorites) {
  std::string out;
  out += std::to_string(favorites.Folders.size()) + "\r\n";
  out += std::to_string(favorites.DisplayState) + "\r\n";
  out += std::to_string(favorites.AddFolderMode) + "\r\n";
  for (const std::string& folder : favorites.Folders) out += folder + "\r\n";
  return out;
}

TFavorites ParseFavorites(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    pos = end + 1;
  }
  TFavorites favorites;
  std::int32_t count = 0;
  if (lines.size() > 0) count = ParseNumber(lines[0]).value_or(0);
  if (lines.size() > 1) favorites.DisplayState = ParseNumber(lines[1]).value_or(1);
  if (lines.size() > 2) favorites.AddFolderMode = ParseNumber(lines[2]).value_or(0);
  for (std::size_t i = 3; i < lines.size() && favorites.Folders.size() < static_cast<std::size_t>(
                                                  std::max<std::int32_t>(count, 0));
       ++i) {
    if (!lines[i].empty()) favorites.Folders.emplace_back(lines[i]);
  }
  return favorites;
}

std::string ExpandEnvStrings(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    const std::string_view name = text.substr(open + 1, close - open - 1);
    const auto value = name.empty() ? std::nullopt : platform::GetEnv(name);
    if (value) {
      out += *value;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(text.substr(std::min(pos, text.size())));
  return out;
}

TSettings::TSettings(platform::IRegistry& registry, TSettingsEnvironment env)
    : registry_(registry), env_(std::move(env)) {
  ApplyDefaults(*this, env_);
}

bool TSettings::LoadSettings() {
  repaired_.clear();
  // The favourites first: a first use saves them, and must not overwrite a file that a
  // removed registry left behind.
  LoadFavorites();
  if (!registry_.KeyExists(kUser, kSettingsKey)) {
    ApplyDefaults(*this, env_);
    if (OnFirstUse) OnFirstUse(*this);
    SaveSettings();
    return true;
  }
  for (const TSettingDef& def : kSettingTable) {
    bool ok = false;
    if (def.Type == TSettingType::stInteger) {
      if (const auto v = registry_.ReadDword(kUser, def.Key, def.Name)) {
        IntegerOf(*this, def) = std::bit_cast<std::int32_t>(*v);
        ok = true;
      }
    } else if (auto v = registry_.ReadString(kUser, def.Key, def.Name)) {
      if (def.RequiredLength == 0 || v->size() == def.RequiredLength) {
        TextOf(*this, def) = std::move(*v);
        ok = true;
      }
    }
    if (!ok) {
      ApplyDefault(*this, def, env_);
      repaired_.push_back(def.Name);
    }
  }
  if (const auto v = registry_.ReadDword(kUser, kLayoutKey, kPanelSizeValue)) {
    PanelSize = std::bit_cast<std::int32_t>(*v);
  }
  return false;
}

bool TSettings::SaveSettings() {
  Directory = env_.ProgramPath;
  bool ok = true;
  registry_.BeginUpdate();
  if (PanelSize) {
    ok &= registry_.WriteDword(kUser, kLayoutKey, kPanelSizeValue,
                               std::bit_cast<std::uint32_t>(*PanelSize));
  }
  for (const TSettingDef& def : kSettingTable) {
    if (def.Type == TSettingType::stInteger) {
      ok &= registry_.WriteDword(kUser, def.Key, def.Name,
                                 std::bit_cast<std::uint32_t>(IntegerOf(*this, def)));
    } else {
      ok &= registry_.WriteString(kUser, def.Key, def.Name, TextOf(*this, def));
    }
  }
  ok &= registry_.EndUpdate();
  ok &= SaveFavorites();
  return ok;
}

bool TSettings::SettingsComplete() {
  bool complete = true;
  for (const TSettingDef& def : kSettingTable) {
    bool present;
    if (def.Type == TSettingType::stInteger) {
      present = registry_.ReadDword(kUser, def.Key, def.Name).has_value();
    } else {
      const auto v = registry_.ReadString(kUser, def.Key, def.Name);
      present = v.has_value();
      if (present && def.Text == &V::AssociatedArchives) {
        present = v->size() >= kAssociatedArchivesLength;
      }
    }
    if (!present && def.Default == sdProgramPath) {
      // The shell extension needs the program's path before any save.
      present = registry_.WriteString(kUser, def.Key, def.Name, env_.ProgramPath);
    }
    complete = complete && present;
  }
  return complete;
}

std::string TSettings::FavoritesPath() {
  std::string folder;
  if (const auto personal = registry_.ReadString(kUser, kUserShellFoldersKey, kPersonalValue)) {
    folder = ExpandEnvStrings(*personal);
  }
  if (folder.empty()) folder = env_.FavoritesFallbackFolder;
  return platform::JoinPath(folder, kFavoritesFileName);
}

void TSettings::LoadFavorites() {
  const std::string path = FavoritesPath();
  platform::File f;
  if (!f.Open(path, platform::TFileAccess::faRead, platform::TShareMode::smDenyNone)) {
    Favorites = TFavorites{};
    if (!platform::FileExists(path)) SaveFavorites();
    return;
  }
  const std::int64_t size = f.Size();
  // A favourites file is a few lines; anything huge is not ours.
  constexpr std::int64_t kMaxFavoritesSize = 16 << 20;
  std::string text;
  if (size > 0 && size <= kMaxFavoritesSize) {
    text.resize(static_cast<std::size_t>(size));
    if (!f.ReadExact(text.data(), text.size())) text.clear();
  }
  Favorites = ParseFavorites(text);
}

bool TSettings::SaveFavorites() {
  const std::string path = FavoritesPath();
  const std::string dir = platform::DirectoryPart(path);
  if (!dir.empty() && !platform::DirectoryExists(dir)) return false;
  if (platform::FileExists(path)) platform::SetFileAttributes(path, platform::kAttrArchive);
  const auto temp = platform::CreateTempFileName(dir.empty() ? std::string_view(".") : dir, "fav");
  if (!temp) return false;
  bool ok = WriteWholeFile(*temp, FormatFavorites(Favorites)) && platform::ReplaceFile(*temp, path);
  if (!ok) {
    platform::DeleteFile(*temp);
    return false;
  }
  platform::SetFileAttributes(path, platform::kAttrHidden | platform::kAttrSystem |
                                        platform::kAttrArchive);
  return true;
}

}  // namespace app
