// Helpers of the main-window tests: a recording IMainView, a small stored-ZIP maker and a
// scratch folder with settings.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/main_view.h"
#include "app/settings.h"
#include "engine/core/crc.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "tests/unit/test_paths.h"

namespace apptest {

// A view that records what the controller shows and answers questions from a queue.
class TFakeView : public app::IMainView {
 public:
  std::string Caption, Title;
  std::string Status[2];
  std::vector<std::string> StatusHistory;  // every first-panel text, in order
  app::TCommandSet Commands;
  app::TCheckOutButton CheckOut;
  std::vector<app::TRecentItem> Recent;
  int SortCheck = 0;
  app::TSortIndicator Indicator;
  app::TListPopup Popup = app::TListPopup::lpNone;
  std::size_t ItemCount = 0;
  bool ListEnabled = true;
  std::set<std::size_t> Selected;
  std::ptrdiff_t Focused = -1;
  app::TLeftPane Pane = app::TLeftPane::lpFileBrowser;
  std::string BrowsedFolder;
  std::vector<app::TFolderNode> Tree;
  int SelectedNode = -1;
  bool CommentShown = false;
  bool SecondPanelVisible = true;
  bool ProgressVisible = false;
  struct TMessage {
    std::string Text;
    app::TMsgKind Kind;
    app::TMsgButtons Buttons;
  };
  std::vector<TMessage> Messages;
  std::deque<app::TMsgResult> Answers;  // empty: OK / Yes
  std::deque<std::optional<std::string>> Passwords;
  std::vector<std::string> Opened;      // ShellOpen paths
  int ShellOpenError = 0;               // error ShellOpen reports (0: success)
  std::vector<std::string> Programs;    // RunProgram calls: program + " " + parameters
  std::vector<std::string> RecentDocs;
  std::map<std::string, int> IconQueries;  // path -> count

  void SetCaption(const std::string& c) override { Caption = c; }
  void SetTitle(const std::string& t) override { Title = t; }
  void SetStatusText(app::TStatusPanel p, const std::string& t) override {
    Status[static_cast<int>(p)] = t;
    if (p == app::TStatusPanel::spFirst) StatusHistory.push_back(t);
  }
  void RepaintStatus() override {}
  void ShowSecondPanel(bool v) override { SecondPanelVisible = v; }
  void ShowProgress(bool v) override { ProgressVisible = v; }
  void SetProgress(std::int64_t, std::int64_t) override {}
  void SetLamp(app::TLamp) override {}
  void SetBusyCursor(bool) override {}
  void ShowSelectionTools(bool) override {}
  void ShowCommentIndicator(bool v) override { CommentShown = v; }
  void SetCommands(const app::TCommandSet& e) override { Commands = e; }
  void SetCheckOutButton(const app::TCheckOutButton& b) override { CheckOut = b; }
  void SetRecentArchives(const std::vector<app::TRecentItem>& items) override { Recent = items; }
  void SetSortMenuCheck(int s) override { SortCheck = s; }
  void SetListPopup(app::TListPopup p) override { Popup = p; }
  void SetItemCount(std::size_t n) override {
    ItemCount = n;
    Selected.clear();
    Focused = -1;
  }
  void SetSortIndicator(const app::TSortIndicator& i) override { Indicator = i; }
  void SetWebStyle(bool) override {}
  bool IsListEnabled() override { return ListEnabled; }
  void EnableList(bool e) override { ListEnabled = e; }
  void FocusList() override {}
  std::vector<std::size_t> SelectedItems() override {
    return std::vector<std::size_t>(Selected.begin(), Selected.end());
  }
  void SelectAllItems(bool s) override {
    Selected.clear();
    if (s)
      for (std::size_t i = 0; i < ItemCount; ++i) Selected.insert(i);
  }
  void SetItemSelected(std::size_t i, bool s) override {
    if (s) Selected.insert(i);
    else Selected.erase(i);
  }
  std::ptrdiff_t FocusedItem() override { return Focused; }
  void FocusItem(std::size_t i) override { Focused = static_cast<std::ptrdiff_t>(i); }
  void ShowLeftPane(app::TLeftPane p) override { Pane = p; }
  void ShowExplorerParts(bool) override {}
  void BrowseFolder(const std::string& f) override { BrowsedFolder = f; }
  void BrowseParentFolder() override { BrowsedFolder = ".."; }
  void ClearFolderTree() override {
    Tree.clear();
    SelectedNode = -1;
  }
  void SetFolderTree(const std::vector<app::TFolderNode>& n) override { Tree = n; }
  void SelectFolderNode(int i) override { SelectedNode = i; }
  app::TMsgResult ShowMessageBox(const std::string& text, app::TMsgKind kind,
                                 app::TMsgButtons buttons) override {
    Messages.push_back({text, kind, buttons});
    if (!Answers.empty()) {
      const app::TMsgResult r = Answers.front();
      Answers.pop_front();
      return r;
    }
    return buttons == app::TMsgButtons::mbYesNo ? app::TMsgResult::mrYes : app::TMsgResult::mrOK;
  }
  std::optional<std::string> AskPassword(const std::string&) override {
    if (Passwords.empty()) return std::nullopt;
    auto p = Passwords.front();
    Passwords.pop_front();
    return p;
  }
  void AppendLog(const std::string&) override {}
  int SmallIconIndex(const std::string& path, bool isFolder) override {
    ++IconQueries[path];
    if (isFolder) return 1;
    return static_cast<int>(IconQueries.size()) + 1;
  }
  bool ShellOpen(const std::string& path, const std::string&, int& err) override {
    Opened.push_back(path);
    err = ShellOpenError;
    return ShellOpenError == 0;
  }
  bool RunProgram(const std::string& program, const std::string& params) override {
    Programs.push_back(program + " " + params);
    return true;
  }
  void AddToRecentDocuments(const std::string& path) override { RecentDocs.push_back(path); }
};

// One member of a hand-made ZIP.
struct TZipMember {
  std::string Name;     // "/" between folders; a trailing "/" makes a folder member
  std::string Data;
  std::uint32_t DosDateTime = (44u << 25) | (3u << 21) | (5u << 16) | (10u << 11) | (20u << 5);
};

inline void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// Writes a ZIP of stored members (the smallest real ZIP there is).
inline void MakeStoredZip(const std::string& path, const std::vector<TZipMember>& members,
                          const std::string& comment = {}) {
  std::string out, central;
  for (const TZipMember& m : members) {
    const std::uint32_t crc = engine::Crc32Of(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(m.Data.data()), m.Data.size()));
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    Put32(out, 0x04034b50);
    Put16(out, 10);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, m.DosDateTime);
    Put32(out, crc);
    Put32(out, static_cast<std::uint32_t>(m.Data.size()));
    Put32(out, static_cast<std::uint32_t>(m.Data.size()));
    Put16(out, static_cast<std::uint32_t>(m.Name.size()));
    Put16(out, 0);
    out += m.Name;
    out += m.Data;
    Put32(central, 0x02014b50);
    Put16(central, 20);
    Put16(central, 10);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, m.DosDateTime);
    Put32(central, crc);
    Put32(central, static_cast<std::uint32_t>(m.Data.size()));
    Put32(central, static_cast<std::uint32_t>(m.Data.size()));
    Put16(central, static_cast<std::uint32_t>(m.Name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, !m.Name.empty() && m.Name.back() == '/' ? 0x10 : 0x20);
    Put32(central, offset);
    central += m.Name;
  }
  const std::uint32_t cdOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(members.size()));
  Put16(out, static_cast<std::uint32_t>(members.size()));
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, cdOffset);
  Put16(out, static_cast<std::uint32_t>(comment.size()));
  out += comment;
  std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string CopyFixture(const std::string& relative, const std::string& to) {
  std::filesystem::copy_file(test::FixturePath(relative), to,
                             std::filesystem::copy_options::overwrite_existing);
  // The shared fixtures are read-only; a copy is the user's own, writable file.
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return to;
}

// A scratch folder with a program folder, a working folder, a file registry and settings.
class TMainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = (test::TempDir() / ::testing::UnitTest::GetInstance()->current_test_info()->name())
                .string();
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ + "/prog");
    std::filesystem::create_directories(root_ + "/work");
    std::filesystem::create_directories(root_ + "/etmp");
    std::filesystem::create_directories(root_ + "/files");
    registry_ = platform::OpenFileRegistry(root_ + "/registry");
    app::TSettingsEnvironment env;
    // Paths as the program itself would have them: with the system's separators.
    env.ProgramPath = Path("prog/Tessaly.exe");
    env.ProgramFolder = Path("prog/");
    env.TempFolder = Path("work/");
    env.FavoritesFallbackFolder = Path("prog/");
    settings_ = std::make_unique<app::TSettings>(*registry_, env);
    app::ApplyDefaults(*settings_, env);
    settings_->TempFolder = Path("work/");
    settings_->Favorites.AddFolderMode = 2;  // never, unless a test says otherwise
    settings_->DisplayStyle = 0;
    settings_->SortOrder = 1;
    settings_->DownCaseFileNames = 0;
  }

  app::TMainForm& Form() {
    if (!form_) {
      app::TMainFormEnvironment env;
      env.ProgramFolder = Path("prog/");
      env.Parameters = parameters_;
      form_ = std::make_unique<app::TMainForm>(view_, *settings_, env, locale_);
      form_->UnGZIP1.SetTempDir(Path("etmp"));
      form_->UUDecode1.SetTempDir(Path("etmp"));
      form_->CloseArchiveClick();
    }
    return *form_;
  }

  std::string Path(const std::string& rel) const {
    return platform::ToNativeSeparators(root_ + "/" + rel);
  }

  // Names of the listed entries in their order ("path" + "name").
  std::vector<std::string> Listed() {
    std::vector<std::string> out;
    for (const app::TFile& f : Form().Contents.EntryTable) out.push_back(f.Path + f.Name);
    return out;
  }

  std::string root_;
  std::unique_ptr<platform::IRegistry> registry_;
  std::unique_ptr<app::TSettings> settings_;
  std::vector<std::string> parameters_;
  app::TLocaleFormat locale_;
  TFakeView view_;
  std::unique_ptr<app::TMainForm> form_;
};

}  // namespace apptest
