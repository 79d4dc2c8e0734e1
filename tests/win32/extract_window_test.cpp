// The Extract command in the real main window: ZIP and LHA fixtures are opened, the real
// Extract dialog is filled as a user would (destination, file choice, mask) and the
// extracted files are compared with their expected SHA-256s.
//
// TESSALY_HOLD_DIALOG_MS=<ms> keeps each dialog on screen that long before Extract is
// clicked, for a screenshot taken from outside (docs/screenshots/extract-dialog.png:
// this test under `wine explorer /desktop=Tessaly,800x560` on Xvfb, `import -window root`).
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "app/settings.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/win32/utf16.h"
#include "tests/unit/fixture_check.h"
#include "ui/win32/extract_dialog_view.h"
#include "ui/win32/main_form_view.h"
#include "ui/win32/resources/extract_dialog_res.h"

namespace {

namespace fs = std::filesystem;
using platform::win32::Narrow;
using platform::win32::Widen;

std::string ProgramFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return fs::path(buffer).parent_path().string();
}

// Holds the dialog on screen a while (TESSALY_HOLD_DIALOG_MS), then clicks Extract.
void CALLBACK ExtractAfterHold(HWND dialog, UINT, UINT_PTR id, DWORD) {
  KillTimer(dialog, id);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

class ExtractWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = platform::OpenFileRegistry("");
    app::TSettingsEnvironment env = app::DefaultSettingsEnvironment(test::TempPath("Tessaly.exe"));
    settings_ = std::make_unique<app::TSettings>(*registry_, env);
    app::ApplyDefaults(*settings_, env);
    settings_->TempFolder = test::TempDir().string() + "\\";
    settings_->Favorites.AddFolderMode = 2;
    settings_->ExtractOverwrite = 0;
    app::TMainFormEnvironment formEnv;
    formEnv.ProgramFolder = env.ProgramFolder;
    win32ui::TMainFormViewOptions options;
    options.Locale = app::TLocaleFormat{};
    options.SaveSettingsOnClose = false;
    options.QuitOnDestroy = false;
    view_ = std::make_unique<win32ui::TMainFormView>(*settings_, formEnv, options);
    view_->MessageBoxOverride = [this](const std::string& text, app::TMsgKind, app::TMsgButtons) {
      messages_.push_back(text);
      return app::TMsgResult::mrOK;
    };
    ASSERT_TRUE(view_->Create(SW_SHOWNORMAL));
    // The ZIP engine libraries sit one folder up, beside the other test programs.
    view_->Form().ExtractForm.ZipMaster1.SetDLLDirectory(fs::path(ProgramFolder()).parent_path().string());
    prompts_ = std::make_unique<win32ui::TExtractPrompts>(*view_);
    prompts_->Install();
  }

  void TearDown() override {
    prompts_.reset();
    view_.reset();
    Pump();
  }

  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  void Open(const std::string& fixture) {
    const std::string copy = test::TempPath(fs::path(fixture).filename().string());
    fs::copy_file(test::FixturePath(fixture), copy, fs::copy_options::overwrite_existing);
    view_->OpenFromCommandLine(copy);
    Pump();
    ASSERT_GT(ListView_GetItemCount(view_->ListView()), 0);
  }

  void SelectRowsNamed(const std::function<bool(const app::TFile&)>& pick) {
    const HWND list = view_->ListView();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    const auto& table = view_->Form().Contents.EntryTable;
    for (std::size_t i = 0; i < table.size(); ++i)
      if (pick(table[i])) ListView_SetItemState(list, static_cast<int>(i), LVIS_SELECTED, LVIS_SELECTED);
    Pump();
  }

  // Runs the Extract command; the dialog is filled through its controls and Extract is
  // clicked. `choice` is the radio button to click (0: leave as it starts).
  void ExtractVia(const std::string& target, int choice, const std::string& mask = {},
                  bool* sawDialog = nullptr) {
    prompts_->OnDialogInit = [&](HWND dialog) {
      if (sawDialog) *sawDialog = true;
      SetDlgItemTextW(dialog, IDC_EXTRACT_DEST, Widen(target).c_str());
      if (choice) SendDlgItemMessageW(dialog, choice, BM_CLICK, 0, 0);
      if (!mask.empty()) SetDlgItemTextW(dialog, IDC_EXTRACT_MASK, Widen(mask).c_str());
      if (const char* hold = std::getenv("TESSALY_HOLD_DIALOG_MS")) {
        SetTimer(dialog, 1, static_cast<UINT>(std::atoi(hold)), &ExtractAfterHold);
        return;
      }
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    view_->Form().ExtractButtonClick();
    Pump();
  }

  void ExpectTree(const std::string& fixture, const std::string& dir,
                  const std::function<bool(const std::string&)>& keep = {}) {
    std::map<std::string, test::TExpectedFile> want;
    for (const auto& e : test::ReadExpected(fixture))
      if (!keep || keep(e.name)) want[e.name] = e;
    const auto got = test::HashTree(dir);
    ASSERT_EQ(got.size(), want.size()) << dir;
    for (const auto& [name, e] : want) {
      ASSERT_TRUE(got.count(name)) << name;
      EXPECT_EQ(got.at(name).sha256, e.sha256) << name;
    }
  }

  std::unique_ptr<platform::IRegistry> registry_;
  std::unique_ptr<app::TSettings> settings_;
  std::unique_ptr<win32ui::TMainFormView> view_;
  std::unique_ptr<win32ui::TExtractPrompts> prompts_;
  std::vector<std::string> messages_;
};

TEST_F(ExtractWindowTest, ZipAllSelectedAndMask) {
  const char* fixture = "zip/zip_deflate_max.zip";
  Open(fixture);
  bool sawDialog = false;
  const std::string all = test::FreshDir("xw-zip-all");
  ExtractVia(all, IDC_EXTRACT_ALL, {}, &sawDialog);
  EXPECT_TRUE(sawDialog);
  ExpectTree(fixture, all);
  EXPECT_TRUE(messages_.empty()) << messages_.front();

  SelectRowsNamed([](const app::TFile& f) { return f.Name == "runs.dat"; });
  const std::string selected = test::FreshDir("xw-zip-sel");
  ExtractVia(selected, 0);  // starts on "&Selected files"
  ExpectTree(fixture, selected, [](const std::string& n) { return n == "runs.dat"; });

  const std::string masked = test::FreshDir("xw-zip-mask");
  ExtractVia(masked, IDC_EXTRACT_MASK_RADIO, "*.dat");
  ExpectTree(fixture, masked, [](const std::string& n) { return n.ends_with(".dat"); });
  // The newest target folder comes first in the next dialog's list.
  EXPECT_TRUE(app::SameTextCI(settings_->ExtractDirs[0], masked));
}

TEST_F(ExtractWindowTest, LhaAllAndSelectedWithOverwriteQuestion) {
  const char* fixture = "lha/unix114i_h2_subdir.lzh";
  Open(fixture);
  const std::string all = test::FreshDir("xw-lzh-all");
  ExtractVia(all, IDC_EXTRACT_ALL);
  ExpectTree(fixture, all);

  // Again into the same folder: the question comes, All answers it.
  int asked = 0;
  prompts_->OverwriteOverride = [&](const std::string&) {
    ++asked;
    return app::TOverwriteAnswer::oaAll;
  };
  SelectRowsNamed([](const app::TFile& f) { return !f.IsUpEntry(); });
  ExtractVia(all, 0);
  EXPECT_EQ(asked, 1);
  ExpectTree(fixture, all);
  EXPECT_TRUE(IsWindowEnabled(view_->Toolbar()));
}

}  // namespace
