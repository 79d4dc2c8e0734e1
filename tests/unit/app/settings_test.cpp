// The settings store: first use, per-value repair, in-place saves and the favourites file.
// Runs on a file registry in a scratch folder and, on Windows, also on the system
// registry below a throw-away key.
#include "app/settings.h"

#include "platform/env.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace {

using app::TSettingDef;
using app::TSettings;
using app::TSettingType;
using platform::IRegistry;
using platform::TRegRoot;

constexpr TRegRoot kUser = TRegRoot::rrCurrentUser;

std::string UniqueName() {
  std::random_device rd;
  std::string name = "T";
  name += std::to_string(rd());
  name += '_';
  name += std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  return name;
}

std::string Native(std::string_view path) { return platform::ToNativeSeparators(path); }

bool WriteFile(const std::string& path, std::string_view content) {
  platform::File f;
  return f.Open(path, platform::TFileAccess::faCreate) &&
         f.WriteAll(content.data(), content.size()) && f.Close();
}

std::string ReadFile(const std::string& path) {
  platform::File f;
  if (!f.Open(path, platform::TFileAccess::faRead)) return "<cannot open>";
  std::string data(static_cast<std::size_t>(f.Size()), '\0');
  if (!f.ReadExact(data.data(), data.size())) return "<cannot read>";
  return data;
}

// The real registry seen through a prefix: every HKCU key K becomes
// "Software\TessalyTest\<unique>\K", so tests never touch the user's settings. It also
// counts the deletions the settings store asks for.
class TPrefixRegistry final : public IRegistry {
 public:
  TPrefixRegistry(IRegistry& inner, std::string prefix)
      : inner_(inner), prefix_(std::move(prefix)) {}
  ~TPrefixRegistry() override { inner_.DeleteKey(kUser, prefix_); }

  int Deletions = 0;

  bool KeyExists(TRegRoot r, std::string_view k) override { return inner_.KeyExists(r, P(k)); }
  bool CreateKey(TRegRoot r, std::string_view k) override { return inner_.CreateKey(r, P(k)); }
  bool DeleteKey(TRegRoot r, std::string_view k) override {
    ++Deletions;
    return inner_.DeleteKey(r, P(k));
  }
  std::optional<std::uint32_t> ReadDword(TRegRoot r, std::string_view k,
                                         std::string_view n) override {
    return inner_.ReadDword(r, P(k), n);
  }
  std::optional<std::string> ReadString(TRegRoot r, std::string_view k,
                                        std::string_view n) override {
    return inner_.ReadString(r, P(k), n);
  }
  std::optional<std::vector<std::uint8_t>> ReadBinary(TRegRoot r, std::string_view k,
                                                      std::string_view n) override {
    return inner_.ReadBinary(r, P(k), n);
  }
  bool WriteDword(TRegRoot r, std::string_view k, std::string_view n, std::uint32_t v) override {
    return inner_.WriteDword(r, P(k), n, v);
  }
  bool WriteString(TRegRoot r, std::string_view k, std::string_view n,
                   std::string_view v) override {
    return inner_.WriteString(r, P(k), n, v);
  }
  bool WriteBinary(TRegRoot r, std::string_view k, std::string_view n,
                   const std::vector<std::uint8_t>& v) override {
    return inner_.WriteBinary(r, P(k), n, v);
  }
  bool DeleteValue(TRegRoot r, std::string_view k, std::string_view n) override {
    ++Deletions;
    return inner_.DeleteValue(r, P(k), n);
  }
  std::vector<std::string> ValueNames(TRegRoot r, std::string_view k) override {
    return inner_.ValueNames(r, P(k));
  }
  std::vector<std::string> SubkeyNames(TRegRoot r, std::string_view k) override {
    return inner_.SubkeyNames(r, P(k));
  }
  void BeginUpdate() override { inner_.BeginUpdate(); }
  bool EndUpdate() override { return inner_.EndUpdate(); }

 private:
  std::string P(std::string_view key) const { return prefix_ + "\\" + std::string(key); }
  IRegistry& inner_;
  std::string prefix_;
};

enum class TKind { File, System };

class SettingsTest : public ::testing::TestWithParam<TKind> {
 protected:
  void SetUp() override {
    const auto root = platform::CreateTempDirectory("tsl");
    ASSERT_TRUE(root);
    root_ = *root;
    ASSERT_TRUE(platform::CreateDirectory(Path("prog")));
    env_.ProgramPath = Path("prog/Tessaly.exe");
    env_.ProgramFolder = Path("prog/");
    env_.TempFolder = Path("tmp/");
    env_.Viewer = "C:\\Windows\\notepad.exe";
    env_.FavoritesFallbackFolder = Path("prog/");
    if (GetParam() == TKind::File) {
      file_ = platform::OpenFileRegistry(Path("cfg/registry"));
      registry_ = std::make_unique<TPrefixRegistry>(*file_, "Software\\TessalyTest\\X");
    } else {
      registry_ = std::make_unique<TPrefixRegistry>(platform::SystemRegistry(),
                                                    "Software\\TessalyTest\\" + UniqueName());
    }
  }

  void TearDown() override {
    registry_.reset();
    if (GetParam() == TKind::System &&
        platform::SystemRegistry().SubkeyNames(kUser, "Software\\TessalyTest").empty()) {
      platform::SystemRegistry().DeleteKey(kUser, "Software\\TessalyTest");
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  std::string Path(std::string_view rel) const { return Native(root_ + "/" + std::string(rel)); }
  IRegistry& Reg() { return *registry_; }
  std::unique_ptr<TSettings> NewSettings() {
    return std::make_unique<TSettings>(*registry_, env_);
  }
  // A registry after a first use, optionally changed before the next load.
  void FirstUse() {
    auto s = NewSettings();
    ASSERT_TRUE(s->LoadSettings());
  }

  std::string root_;
  app::TSettingsEnvironment env_;
  std::unique_ptr<IRegistry> file_;
  std::unique_ptr<TPrefixRegistry> registry_;
};

TEST_P(SettingsTest, FirstUseWritesTheCompleteDefaultSet) {
  auto s = NewSettings();
  int firstUseCalls = 0;
  s->OnFirstUse = [&](TSettings& sender) {
    ++firstUseCalls;
    EXPECT_EQ(sender.SortOrder, 1);  // the defaults are in place for the window
    EXPECT_FALSE(Reg().KeyExists(kUser, app::kSettingsKey));  // not yet saved
  };
  ASSERT_TRUE(s->LoadSettings());
  EXPECT_EQ(firstUseCalls, 1);

  // Every value of the five keys, with its type.
  struct KeyCount {
    std::string_view key;
    std::size_t values;
  };
  for (const KeyCount& k : {KeyCount{app::kSettingsKey, 40}, KeyCount{app::kAddingKey, 5},
                            KeyCount{app::kExtractingKey, 1}, KeyCount{app::kGeneralKey, 20},
                            KeyCount{app::kShellExtKey, 15}}) {
    EXPECT_EQ(Reg().ValueNames(kUser, k.key).size(), k.values) << k.key;
  }
  EXPECT_TRUE(s->SettingsComplete());

  struct Expect {
    std::string_view key;
    std::string_view name;
    std::optional<std::uint32_t> dword;
    std::string text;
  };
  const Expect expected[] = {
      {app::kSettingsKey, "Sort order", 1, {}},
      {app::kSettingsKey, "Last open dir", {}, env_.ProgramFolder},
      {app::kSettingsKey, "Extract5", {}, ""},
      {app::kSettingsKey, "Temp", {}, env_.TempFolder},
      {app::kSettingsKey, "Viewer", {}, env_.Viewer},
      {app::kSettingsKey, "Active_File1", {}, ""},
      {app::kSettingsKey, "AlignToolbar", 2, {}},
      {app::kSettingsKey, "ViewStyle", 3, {}},
      {app::kSettingsKey, "GridLines", 0, {}},
      {app::kSettingsKey, "Start-up base folder", 1, {}},
      {app::kSettingsKey, "Tip of the day", 1, {}},
      {app::kAddingKey, "Spanning mode", 2, {}},
      {app::kAddingKey, "Spanning MAX volume size", 1440000, {}},
      {app::kExtractingKey, "Extract overwrite", 1, {}},
      {app::kGeneralKey, "Buttons", {}, "11100111100100"},
      {app::kGeneralKey, "Last view mode", 2, {}},
      {app::kGeneralKey, "Directory", {}, env_.ProgramPath},
      {app::kGeneralKey, "Efolder", 2, {}},
      {app::kGeneralKey, "Associated Archives", {}, "111111111111111"},
      {app::kGeneralKey, "View Style", 0, {}},
      {app::kGeneralKey, "LastOpenFilterIndex", 13, {}},
      {app::kShellExtKey, "AddCAB", 0, {}},
      {app::kShellExtKey, "MakeSpan", 1, {}},
      {app::kShellExtKey, "ExtracttoSubFolder", 1, {}},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    if (e.dword) {
      EXPECT_EQ(Reg().ReadDword(kUser, e.key, e.name), e.dword);
    } else {
      EXPECT_EQ(Reg().ReadString(kUser, e.key, e.name), e.text);
    }
  }
  // The favourites file is created with count 0, state 1, mode 0.
  EXPECT_EQ(ReadFile(Path("prog/favorites.dat")), "0\r\n1\r\n0\r\n");

  // The next start is an ordinary one.
  auto again = NewSettings();
  again->OnFirstUse = [&](TSettings&) { ++firstUseCalls; };
  EXPECT_FALSE(again->LoadSettings());
  EXPECT_EQ(firstUseCalls, 1);
  EXPECT_TRUE(again->RepairedValues().empty());
  EXPECT_EQ(again->Buttons, "11100111100100");
}

TEST_P(SettingsTest, AMissingValueTakesItsDefaultAloneAndIsWrittenAtTheNextSave) {
  FirstUse();
  ASSERT_TRUE(Reg().WriteDword(kUser, app::kSettingsKey, "Sort order", 4));
  ASSERT_TRUE(Reg().WriteString(kUser, app::kSettingsKey, "Extract2", "D:\\Out"));
  ASSERT_TRUE(Reg().WriteDword(kUser, app::kShellExtKey, "AddCAB", 1));
  ASSERT_TRUE(Reg().DeleteValue(kUser, app::kShellExtKey, "MakeSpan"));

  auto s = NewSettings();
  bool firstUse = false;
  s->OnFirstUse = [&](TSettings&) { firstUse = true; };
  s->MakeSpan = 0;
  EXPECT_FALSE(s->LoadSettings());
  EXPECT_FALSE(firstUse);
  EXPECT_EQ(s->MakeSpan, 1);
  EXPECT_EQ(s->SortOrder, 4);
  EXPECT_EQ(s->ExtractDirs[1], "D:\\Out");
  EXPECT_EQ(s->AddCAB, 1);
  EXPECT_EQ(s->RepairedValues(), std::vector<std::string_view>{"MakeSpan"});
  EXPECT_FALSE(s->SettingsComplete());
  EXPECT_FALSE(Reg().ReadDword(kUser, app::kShellExtKey, "MakeSpan"));  // load does not write

  s->SaveSettings();
  EXPECT_EQ(Reg().ReadDword(kUser, app::kShellExtKey, "MakeSpan"), 1u);
  EXPECT_EQ(Reg().ReadDword(kUser, app::kSettingsKey, "Sort order"), 4u);
  EXPECT_TRUE(s->SettingsComplete());
}

TEST_P(SettingsTest, MalformedValuesAreReplacedOneByOne) {
  struct Row {
    std::string_view key;
    std::string_view name;
    std::optional<std::uint32_t> dword;  // else the string below is stored
    std::string_view text;
  };
  const Row rows[] = {
      {app::kGeneralKey, "Associated Archives", {}, "11111111111111"},    // 14
      {app::kGeneralKey, "Associated Archives", {}, "1111111111111111"},  // 16
      {app::kGeneralKey, "Associated Archives", {}, ""},
      {app::kGeneralKey, "Associated Archives", 1, {}},
      {app::kGeneralKey, "Buttons", {}, "1111"},
      {app::kGeneralKey, "Buttons", {}, "111001111001001"},  // 15
      {app::kSettingsKey, "Sort order", {}, "2"},            // a string where a DWORD belongs
      {app::kShellExtKey, "MakeSpan", {}, "0"},
      {app::kSettingsKey, "Temp", 5, {}},                    // a DWORD where a string belongs
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " = " +
                 (row.dword ? std::to_string(*row.dword) : std::string(row.text)));
    Reg().DeleteKey(kUser, app::kSettingsKey);
    FirstUse();
    ASSERT_TRUE(Reg().WriteDword(kUser, app::kSettingsKey, "GridLines", 1));
    ASSERT_TRUE(Reg().WriteString(kUser, app::kGeneralKey, "Virus Scan Program", "scan.exe"));
    if (row.dword) {
      ASSERT_TRUE(Reg().WriteDword(kUser, row.key, row.name, *row.dword));
    } else {
      ASSERT_TRUE(Reg().WriteString(kUser, row.key, row.name, row.text));
    }
    auto s = NewSettings();
    s->AssociatedArchives = s->Buttons = s->TempFolder = "x";
    s->SortOrder = s->MakeSpan = 9;
    EXPECT_FALSE(s->LoadSettings());
    EXPECT_EQ(s->RepairedValues(), std::vector<std::string_view>{row.name});
    EXPECT_EQ(s->AssociatedArchives, "111111111111111");
    EXPECT_EQ(s->Buttons, "11100111100100");
    EXPECT_EQ(s->TempFolder, env_.TempFolder);
    EXPECT_EQ(s->SortOrder, 1);
    EXPECT_EQ(s->MakeSpan, 1);
    EXPECT_EQ(s->GridLines, 1);
    EXPECT_EQ(s->VirusScanProgram, "scan.exe");
  }
  // A button string of the right length is taken as it is, whatever it shows.
  ASSERT_TRUE(Reg().WriteString(kUser, app::kGeneralKey, "Buttons", "00000001000000"));
  auto s = NewSettings();
  s->LoadSettings();
  EXPECT_EQ(s->Buttons, "00000001000000");
}

TEST_P(SettingsTest, SaveWritesInPlaceAndKeepsUnknownValues) {
  FirstUse();
  ASSERT_TRUE(Reg().WriteString(kUser, app::kSettingsKey, "Foreign", "kept"));
  ASSERT_TRUE(Reg().WriteDword(kUser, app::kGeneralKey, "Newer option", 7));
  ASSERT_TRUE(Reg().WriteDword(kUser, "Software\\Tessaly\\Plugins", "Enabled", 1));

  auto s = NewSettings();
  s->LoadSettings();
  const int deletionsBefore = registry_->Deletions;
  s->SortOrder = 3;
  s->SaveSettings();
  EXPECT_EQ(registry_->Deletions, deletionsBefore);  // nothing is removed, even for a moment
  EXPECT_EQ(Reg().ReadDword(kUser, app::kSettingsKey, "Sort order"), 3u);
  EXPECT_EQ(Reg().ReadString(kUser, app::kSettingsKey, "Foreign"), "kept");
  EXPECT_EQ(Reg().ReadDword(kUser, app::kGeneralKey, "Newer option"), 7u);
  EXPECT_EQ(Reg().ReadDword(kUser, "Software\\Tessaly\\Plugins", "Enabled"), 1u);
}

TEST_P(SettingsTest, EveryValueRoundTrips) {
  FirstUse();
  auto s = NewSettings();
  s->LoadSettings();
  // A distinct value per row; integers include negative bit patterns.
  std::int32_t n = -3;
  for (const TSettingDef& def : app::SettingTable()) {
    if (def.Type == TSettingType::stInteger) {
      app::IntegerOf(*s, def) = n++;
    } else if (def.RequiredLength != 0) {
      app::TextOf(*s, def) = std::string(def.RequiredLength, static_cast<char>('0' + (n++ & 1)));
    } else {
      app::TextOf(*s, def) = "v \xc3\xa9 " + std::string(def.Name);
    }
  }
  s->PanelSize = 217;
  s->SaveSettings();

  auto t = NewSettings();
  EXPECT_FALSE(t->LoadSettings());
  EXPECT_TRUE(t->RepairedValues().empty());
  for (const TSettingDef& def : app::SettingTable()) {
    SCOPED_TRACE(def.Name);
    if (def.Type == TSettingType::stInteger) {
      EXPECT_EQ(app::IntegerOf(*t, def), app::IntegerOf(*s, def));
    } else if (def.Name == "Directory") {
      EXPECT_EQ(app::TextOf(*t, def), env_.ProgramPath);  // always the running program
    } else {
      EXPECT_EQ(app::TextOf(*t, def), app::TextOf(*s, def));
    }
  }
  EXPECT_EQ(t->PanelSize, 217);
  EXPECT_EQ(Reg().ReadDword(kUser, app::kLayoutKey, app::kPanelSizeValue), 217u);
}

TEST_P(SettingsTest, SettingsCompleteChecksPresenceAndWritesDirectory) {
  FirstUse();
  ASSERT_TRUE(Reg().DeleteValue(kUser, app::kGeneralKey, "Directory"));
  auto s = NewSettings();
  EXPECT_TRUE(s->SettingsComplete());
  EXPECT_EQ(Reg().ReadString(kUser, app::kGeneralKey, "Directory"), env_.ProgramPath);

  ASSERT_TRUE(Reg().WriteString(kUser, app::kGeneralKey, "Associated Archives", "11111111111111"));
  EXPECT_FALSE(s->SettingsComplete());
  ASSERT_TRUE(Reg().WriteString(kUser, app::kGeneralKey, "Associated Archives", "111111111111111"));
  ASSERT_TRUE(Reg().WriteString(kUser, app::kAddingKey, "Save Dir names", "0"));  // mistyped
  EXPECT_FALSE(s->SettingsComplete());
}

TEST_P(SettingsTest, FavouritesLiveInTheExpandedDocumentsFolderAndSaveTwice) {
  ASSERT_TRUE(platform::CreateDirectory(Path("docs")));
  ASSERT_TRUE(platform::SetEnv("TSL_SETTINGS_TEST_ROOT", root_));
  ASSERT_TRUE(Reg().WriteString(kUser, app::kUserShellFoldersKey, app::kPersonalValue,
                                Native("%TSL_SETTINGS_TEST_ROOT%/docs")));
  const std::string favorites = Path("docs/favorites.dat");

  auto s = NewSettings();
  EXPECT_EQ(s->FavoritesPath(), favorites);
  ASSERT_TRUE(s->LoadSettings());
  EXPECT_EQ(ReadFile(favorites), "0\r\n1\r\n0\r\n");

  s->Favorites.Folders = {"C:\\Archives", "D:\\Downloads \xc3\xa9"};
  s->Favorites.DisplayState = 0;
  s->Favorites.AddFolderMode = 2;
  EXPECT_TRUE(s->SaveSettings());
  const auto attributes = platform::FileAttributes(favorites);
  ASSERT_TRUE(attributes);
  if (platform::kIsWindows) {
    EXPECT_EQ(*attributes & (platform::kAttrHidden | platform::kAttrSystem),
              platform::kAttrHidden | platform::kAttrSystem);
  }
  // A hidden, system file cannot be opened for rewriting as it is; the save copes.
  s->Favorites.Folders.pop_back();
  EXPECT_TRUE(s->SaveSettings());
  EXPECT_EQ(ReadFile(favorites), "1\r\n0\r\n2\r\nC:\\Archives\r\n");

  auto t = NewSettings();
  EXPECT_FALSE(t->LoadSettings());
  EXPECT_EQ(t->Favorites.Folders, std::vector<std::string>{"C:\\Archives"});
  EXPECT_EQ(t->Favorites.DisplayState, 0);
  EXPECT_EQ(t->Favorites.AddFolderMode, 2);
  EXPECT_TRUE(platform::FindFiles(Path("docs"), "*.tmp").empty());
  platform::SetEnv("TSL_SETTINGS_TEST_ROOT", std::nullopt);
}

TEST_P(SettingsTest, AFirstUseKeepsExistingFavourites) {
  // Settings removed, favourites left behind: the first use must not empty them.
  ASSERT_TRUE(WriteFile(Path("prog/favorites.dat"), "1\r\n1\r\n1\r\nE:\\Old\r\n"));
  auto s = NewSettings();
  ASSERT_TRUE(s->LoadSettings());
  EXPECT_EQ(s->Favorites.Folders, std::vector<std::string>{"E:\\Old"});
  EXPECT_EQ(ReadFile(Path("prog/favorites.dat")), "1\r\n1\r\n1\r\nE:\\Old\r\n");
}

TEST_P(SettingsTest, FavouritesAreNotWrittenIntoAMissingFolder) {
  ASSERT_TRUE(Reg().WriteString(kUser, app::kUserShellFoldersKey, app::kPersonalValue,
                                Path("no such folder")));
  auto s = NewSettings();
  EXPECT_TRUE(s->LoadSettings());
  EXPECT_FALSE(s->SaveFavorites());
  EXPECT_FALSE(platform::DirectoryExists(Path("no such folder")));
}

INSTANTIATE_TEST_SUITE_P(Registries, SettingsTest,
                         ::testing::ValuesIn(platform::kIsWindows
                                                 ? std::vector<TKind>{TKind::File, TKind::System}
                                                 : std::vector<TKind>{TKind::File}),
                         [](const auto& info) {
                           return std::string(info.param == TKind::File ? "File" : "System");
                         });

TEST(Favorites, ParseIsLenient) {
  struct Row {
    std::string_view text;
    std::vector<std::string> folders;
    std::int32_t state;
    std::int32_t mode;
  };
  const Row rows[] = {
      {"2\r\n0\r\n1\r\nC:\\A\r\nC:\\B\r\n", {"C:\\A", "C:\\B"}, 0, 1},
      {"2\n0\n1\nC:\\A\nC:\\B", {"C:\\A", "C:\\B"}, 0, 1},        // LF only, no final break
      {"5\r\n1\r\n0\r\nC:\\A\r\n", {"C:\\A"}, 1, 0},              // count above the lines
      {"1\r\n1\r\n0\r\nC:\\A\r\nC:\\B\r\n", {"C:\\A"}, 1, 0},     // count below the lines
      {"2\r\n1\r\n0\r\n\r\nC:\\A\r\n", {"C:\\A"}, 1, 0},          // empty line dropped
      {"x\r\ny\r\nz\r\nC:\\A\r\n", {}, 1, 0},                     // non-numeric header
      {"-4\r\n1\r\n0\r\nC:\\A\r\n", {}, 1, 0},
      {"", {}, 1, 0},
      {"3", {}, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const app::TFavorites f = app::ParseFavorites(row.text);
    EXPECT_EQ(f.Folders, row.folders);
    EXPECT_EQ(f.DisplayState, row.state);
    EXPECT_EQ(f.AddFolderMode, row.mode);
    EXPECT_EQ(app::ParseFavorites(app::FormatFavorites(f)).Folders, f.Folders);
  }
}

TEST(Settings, ExpandEnvStrings) {
  ASSERT_TRUE(platform::SetEnv("TSL_EXPAND_A", "alpha"));
  platform::SetEnv("TSL_EXPAND_UNSET", std::nullopt);
  struct Row {
    std::string_view in;
    std::string_view out;
  };
  const Row rows[] = {
      {"%TSL_EXPAND_A%\\docs", "alpha\\docs"},
      {"a%TSL_EXPAND_A%b%TSL_EXPAND_A%c", "aalphabalphac"},
      {"%TSL_EXPAND_UNSET%\\x", "%TSL_EXPAND_UNSET%\\x"},
      {"100%", "100%"},
      {"%%", "%%"},
      {"50% of %TSL_EXPAND_A%", "50% of %TSL_EXPAND_A%"},  // the first pair is " of "
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(app::ExpandEnvStrings(row.in), row.out) << row.in;
  platform::SetEnv("TSL_EXPAND_A", std::nullopt);
}

TEST(Settings, DefaultEnvironment) {
  const std::string program = Native("/opt/tessaly/Tessaly.exe");
  const app::TSettingsEnvironment env = app::DefaultSettingsEnvironment(program);
  EXPECT_EQ(env.ProgramPath, program);
  EXPECT_EQ(env.ProgramFolder, Native("/opt/tessaly/"));
  ASSERT_FALSE(env.TempFolder.empty());
  EXPECT_TRUE(platform::IsPathSeparator(env.TempFolder.back()));
  if (platform::kIsWindows) {
    EXPECT_TRUE(env.Viewer.ends_with("\\notepad.exe")) << env.Viewer;
    EXPECT_EQ(env.FavoritesFallbackFolder, env.ProgramFolder);
  }
}

}  // namespace
