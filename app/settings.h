// The settings store: every user setting, its registry value, its default, load and save,
// and the favourite folders file "favorites.dat".
//
// Layout (HKEY_CURRENT_USER): "Software\Tessaly" and its sub-keys "Adding options",
// "Extracting options", "General" and "ShellExt" hold the values of SettingTable();
// "Software\TESSLY" holds the window layout ("PanelSize"). The shell extension reads
// "General" "Directory" and the "ShellExt" values.
//
// Load: a registry without the key "Software\Tessaly" is a first use: every default is
// applied, OnFirstUse runs (the window controller centres the window and creates the
// shortcuts there) and everything is saved. Otherwise each value is read on its own; a
// missing value, one of the wrong type, or a "Buttons" / "Associated Archives" string of
// the wrong length takes its default alone (and reaches the registry at the next save),
// and every other value is kept.
//
// Save: every value is written in place, in table order. The key is never deleted, so
// values this program does not know survive and a reader (a second instance, the shell
// extension) never sees an empty key. Registry errors are ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace app {

inline constexpr std::size_t kHistorySlots = 5;  // "Extract1".."Extract5" and the like
using THistory = std::array<std::string, kHistorySlots>;

// Registry keys below HKEY_CURRENT_USER.
inline constexpr std::string_view kSettingsKey = "Software\\Tessaly";
inline constexpr std::string_view kAddingKey = "Software\\Tessaly\\Adding options";
inline constexpr std::string_view kExtractingKey = "Software\\Tessaly\\Extracting options";
inline constexpr std::string_view kGeneralKey = "Software\\Tessaly\\General";
inline constexpr std::string_view kShellExtKey = "Software\\Tessaly\\ShellExt";
inline constexpr std::string_view kLayoutKey = "Software\\TESSLY";
inline constexpr std::string_view kPanelSizeValue = "PanelSize";
// Where the user's documents folder is named ("Personal", an expandable string).
inline constexpr std::string_view kUserShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr std::string_view kPersonalValue = "Personal";
inline constexpr std::string_view kFavoritesFileName = "favorites.dat";

inline constexpr std::size_t kButtonsLength = 14;             // one character per button
inline constexpr std::size_t kAssociatedArchivesLength = 15;  // one character per file type

// Every setting value, one member per registry value. Integers are DWORD values kept
// with their bit pattern. A default-constructed object holds zeros and empty strings:
// ApplyDefaults() (or TSettings::LoadSettings) fills in the real defaults.
struct TSettingValues {
  // Key "Software\Tessaly".
  std::int32_t SortOrder = 0;           // "Sort order"
  std::string LastOpenDir;              // "Last open dir"
  std::string LastAddDir;               // "Last add dir"
  THistory ExtractDirs;                 // "Extract1".."Extract5"
  THistory SelDirs;                     // "SelDir1".."SelDir5"
  std::string TempFolder;               // "Temp"
  std::string Viewer;                   // "Viewer"
  THistory RecentArchives;              // "Active_File1".."Active_File5", slot 0 newest
  std::int32_t FullRow = 0;             // "FullRow"
  std::int32_t GridLines = 0;           // "GridLines"
  std::int32_t ToolbarTips = 0;         // "ToolbarTips"
  std::int32_t FlatButtons = 0;         // "FlatButtons"
  std::int32_t ShowToolbarText = 0;     // "ShowToolbarText"
  std::int32_t AlignToolbar = 0;        // "AlignToolbar": 0 left, 1 right, 2 top, 3 bottom
  std::int32_t ViewToolbar = 0;         // "ViewToolbar"
  std::int32_t ViewStatusLine = 0;      // "ViewStatusLine"
  std::int32_t ListStyle = 0;           // "ViewStyle": 0 large icons, 1 small, 2 list, 3 details
  std::int32_t AsWebPage = 0;           // "AsWebPage"
  std::int32_t AutoAdd = 0;             // "AutoAdd"
  std::int32_t AddFolderMode = 0;       // "Add folder"
  std::string AddFromFolder;            // "Add from folder"
  std::int32_t StartupBaseFolder = 0;   // "Start-up base folder": 0 program, 1 last, 2 fixed
  std::string StartupFolder;            // "Start-up folder"
  std::string CheckoutBaseFolder;       // "Checkout base folder"
  std::int32_t AssociateWithZip = 0;    // "Associate with Zip files"
  std::int32_t CheckZipAssociation = 0; // "Check for Zip association"
  std::int32_t CurrentTip = 0;          // "Current Tip"
  std::int32_t TipOfTheDay = 0;         // "Tip of the day"

  // Key "Adding options".
  std::int32_t DefaultCompression = 0;      // "Default compression"
  std::int32_t SaveDirNames = 0;            // "Save Dir names"
  std::int32_t SpanningMode = 0;            // "Spanning mode"
  std::int32_t SpanningMaxVolumeSize = 0;   // "Spanning MAX volume size"
  std::int32_t SpanningFreeSize = 0;        // "Spanning Free size"

  // Key "Extracting options".
  std::int32_t ExtractOverwrite = 0;  // "Extract overwrite"

  // Key "General".
  std::string Buttons;                      // "Buttons", kButtonsLength characters
  std::int32_t AShowComment = 0;            // "AShowComment"
  std::int32_t LargeButtons = 0;            // "LargeButtons"
  std::int32_t AutoVolume = 0;              // "AutoVolume"
  std::int32_t ShowViewDialog = 0;          // "Show view dialog"
  std::int32_t LastViewMode = 0;            // "Last view mode"
  std::int32_t OnTop = 0;                   // "On Top"
  std::string VirusScanProgram;             // "Virus Scan Program"
  std::string VirusScanParameters;          // "Virus Scan Parameters"
  std::int32_t ReuseWindows = 0;            // "Reuse Windows"
  std::int32_t DownCaseFileNames = 0;       // "Down case file names"
  std::int32_t ShowOpenOnStartup = 0;       // "Show open on startup"
  std::string Directory;                    // "Directory": the program's full path
  std::int32_t UseShellExtensions = 0;      // "Use Explorer Shell Extensions"
  std::int32_t EFolder = 0;                 // "Efolder"
  std::int32_t AutoPackageInstall = 0;      // "Automatic Package Installation"
  std::string AssociatedArchives;           // "Associated Archives", 15 characters
  std::int32_t DisplayStyle = 0;            // "View Style": 0 classic, 1 explorer
  std::int32_t ViewFolders = 0;             // "View Folders"
  std::int32_t LastOpenFilterIndex = 0;     // "LastOpenFilterIndex"

  // Key "ShellExt" (1 = the menu item is on).
  std::int32_t UseBitmapImages = 0;     // "UseBitmapImages"
  std::int32_t CheckForSFXs = 0;        // "CheckForSFXs"
  std::int32_t NonCascade = 0;          // "NonCascade"
  std::int32_t ConvertZIP = 0;          // "ConvertZIP"
  std::int32_t ConvertSFX = 0;          // "ConvertSFX"
  std::int32_t AddZIP = 0;              // "AddZIP"
  std::int32_t AddCAB = 0;              // "AddCAB"
  std::int32_t AddLHA = 0;              // "AddLHA"
  std::int32_t AddBH = 0;               // "AddBH"
  std::int32_t MakeSpan = 0;            // "MakeSpan"
  std::int32_t ExtractTo = 0;           // "ExtractTo"
  std::int32_t ExtractHere = 0;         // "ExtractHere"
  std::int32_t ExtracttoSubFolder = 0;  // "ExtracttoSubFolder"
  std::int32_t OpenSFX = 0;             // "OpenSFX"
  std::int32_t EmailIt = 0;             // "EmailIt"

  // Key "Software\TESSLY" "PanelSize": width of the left pane; empty until the window
  // sets it or a stored value is read. Not part of the defaults or of completeness.
  std::optional<std::int32_t> PanelSize;
};

// Defaults that depend on the machine.
struct TSettingsEnvironment {
  std::string ProgramPath;     // full path of the running program ("Directory")
  std::string ProgramFolder;   // its folder with a trailing separator ("Last open dir")
  std::string TempFolder;      // the system's temporary folder, trailing separator ("Temp")
  std::string Viewer;          // Windows folder + "\notepad.exe" ("Viewer")
  // Folder of "favorites.dat" when the registry names no documents folder: the program's
  // folder on Windows; on POSIX the program's folder is seldom writable, so the
  // configuration folder ($XDG_CONFIG_HOME/tessaly/).
  std::string FavoritesFallbackFolder;
};

// The environment of this process, given the running program's full path.
TSettingsEnvironment DefaultSettingsEnvironment(std::string_view programPath);

// One row of the settings table: where a value lives, its type, member and default.
enum class TSettingType : std::uint8_t { stInteger, stString };
enum class TSettingDefault : std::uint8_t {
  sdFixed,          // IntegerDefault / TextDefault
  sdProgramFolder,  // TSettingsEnvironment::ProgramFolder
  sdTempFolder,     // TSettingsEnvironment::TempFolder
  sdViewer,         // TSettingsEnvironment::Viewer
  sdProgramPath,    // TSettingsEnvironment::ProgramPath
};

struct TSettingDef {
  std::string_view Key;    // below HKEY_CURRENT_USER
  std::string_view Name;   // registry value name
  TSettingType Type = TSettingType::stInteger;
  std::int32_t TSettingValues::*Integer = nullptr;
  std::string TSettingValues::*Text = nullptr;
  THistory TSettingValues::*History = nullptr;  // Text of one slot of a history list
  std::size_t Slot = 0;
  std::int32_t IntegerDefault = 0;
  std::string_view TextDefault;
  TSettingDefault Default = TSettingDefault::sdFixed;
  std::size_t RequiredLength = 0;  // a string of another length takes the default (0: any)
};

// Every setting value, in the order the save writes them.
std::span<const TSettingDef> SettingTable();

// The members a row stands for.
std::int32_t& IntegerOf(TSettingValues& values, const TSettingDef& def);
std::string& TextOf(TSettingValues& values, const TSettingDef& def);

// Every default of the table (PanelSize is left alone).
void ApplyDefaults(TSettingValues& values, const TSettingsEnvironment& env);

// The favourite archive folders ("favorites.dat").
struct TFavorites {
  std::vector<std::string> Folders;
  std::int32_t DisplayState = 1;  // the favourites dialog's display state
  std::int32_t AddFolderMode = 0; // 0 add each opened archive's folder, 1 ask, 2 never
};

// "favorites.dat" text: lines ended by CR LF: the folder count, the display state, the
// add-folder mode, then one folder per line.
std::string FormatFavorites(const TFavorites& favorites);
// Lenient: a missing or non-numeric header line keeps the field's default; a count above
// the lines present takes the lines present; empty folder lines are dropped.
TFavorites ParseFavorites(std::string_view text);

// Windows-style expansion: each %NAME% of a defined variable is replaced by its value;
// undefined names and a lone '%' stay as they are.
std::string ExpandEnvStrings(std::string_view text);

class TSettings : public TSettingValues {
 public:
  TSettings(platform::IRegistry& registry, TSettingsEnvironment env);

  // Reads every value (see the header comment) and the favourites file. Returns true on
  // first use; the configuration dialog is then shown once at start-up.
  bool LoadSettings();
  // Writes every value, "Directory" being the running program, "PanelSize" when known,
  // and the favourites file. Errors are ignored by callers; false reports that some
  // value or the favourites file could not be written.
  bool SaveSettings();
  // True when every value of the table exists with its type and "Associated Archives" is
  // longer than 14 characters. Writes "Directory" when it is missing.
  bool SettingsComplete();

  // Runs on first use after the defaults are applied and before they are saved: the
  // window controller centres the window (477 x 350) and creates the shortcuts here.
  std::function<void(TSettings& sender)> OnFirstUse;

  TFavorites Favorites;
  // The full path of "favorites.dat": the expanded "Personal" folder, else the fallback.
  std::string FavoritesPath();
  // Reads the favourites file; creates it with the defaults when it does not exist.
  void LoadFavorites();
  // Writes the favourites file when its folder exists and marks it hidden, system and
  // archive. The hidden and system attributes are cleared first: Windows refuses to
  // overwrite a hidden or system file without them.
  bool SaveFavorites();

  // The value names whose stored value was missing, mistyped or malformed at the last
  // load and took its default.
  const std::vector<std::string_view>& RepairedValues() const { return repaired_; }
  const TSettingsEnvironment& Environment() const { return env_; }
  platform::IRegistry& Registry() { return registry_; }

 private:
  platform::IRegistry& registry_;
  TSettingsEnvironment env_;
  std::vector<std::string_view> repaired_;
};

}  // namespace app
