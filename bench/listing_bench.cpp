// Main-window listing speed: OpenArchive + LoadListing (sorted by name) of a ZIP with
// 50,000 members, against "7zz l" on the same archive.
//
// Usage: listing_bench [runs] [zip]. Without a zip, bench/make_many_members_zip.py makes
// /tmp/many_members.zip (50,000 members) once. The median wall time of each side is
// reported, with the lister alone for reference.
#include "app/main_form.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

// A view that shows nothing and answers every question with OK.
class TNullView final : public app::IMainView {
 public:
  void SetCaption(const std::string&) override {}
  void SetTitle(const std::string&) override {}
  void SetStatusText(app::TStatusPanel, const std::string&) override {}
  void RepaintStatus() override {}
  void ShowSecondPanel(bool) override {}
  void ShowProgress(bool) override {}
  void SetProgress(std::int64_t, std::int64_t) override {}
  void SetLamp(app::TLamp) override {}
  void SetBusyCursor(bool) override {}
  void ShowSelectionTools(bool) override {}
  void ShowCommentIndicator(bool) override {}
  void SetCommands(const app::TCommandSet&) override {}
  void SetCheckOutButton(const app::TCheckOutButton&) override {}
  void SetRecentArchives(const std::vector<app::TRecentItem>&) override {}
  void SetSortMenuCheck(int) override {}
  void SetListPopup(app::TListPopup) override {}
  void SetItemCount(std::size_t n) override { Count = n; }
  void SetSortIndicator(const app::TSortIndicator&) override {}
  void SetWebStyle(bool) override {}
  bool IsListEnabled() override { return true; }
  void EnableList(bool) override {}
  void FocusList() override {}
  std::vector<std::size_t> SelectedItems() override { return {}; }
  void SelectAllItems(bool) override {}
  void SetItemSelected(std::size_t, bool) override {}
  std::ptrdiff_t FocusedItem() override { return -1; }
  void FocusItem(std::size_t) override {}
  void ShowLeftPane(app::TLeftPane) override {}
  void ShowExplorerParts(bool) override {}
  void BrowseFolder(const std::string&) override {}
  void BrowseParentFolder() override {}
  void ClearFolderTree() override {}
  void SetFolderTree(const std::vector<app::TFolderNode>&) override {}
  void SelectFolderNode(int) override {}
  app::TMsgResult ShowMessageBox(const std::string& text, app::TMsgKind,
                                 app::TMsgButtons) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return app::TMsgResult::mrOK;
  }
  std::optional<std::string> AskPassword(const std::string&) override { return std::nullopt; }
  void AppendLog(const std::string&) override {}
  int SmallIconIndex(const std::string&, bool) override { return 0; }
  bool ShellOpen(const std::string&, const std::string&, int&) override { return true; }
  bool RunProgram(const std::string&, const std::string&) override { return true; }
  void AddToRecentDocuments(const std::string&) override {}
  std::size_t Count = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

template <class F>
double Seconds(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  std::string zip = argc > 2 ? argv[2] : "/tmp/many_members.zip";
  if (!std::filesystem::exists(zip)) {
    const std::string script =
        (std::filesystem::path(__FILE__).parent_path() / "make_many_members_zip.py").string();
    const std::string make = "python3 '" + script + "' '" + zip + "' 50000 >/dev/null";
    if (std::system(make.c_str()) != 0 || !std::filesystem::exists(zip)) {
      std::fprintf(stderr, "cannot make %s\n", zip.c_str());
      return 2;
    }
  }

  const std::string scratch = (std::filesystem::temp_directory_path() / "tessaly-listing-bench").string();
  std::filesystem::create_directories(scratch + "/work");
  auto registry = platform::OpenFileRegistry(scratch + "/registry");
  app::TSettingsEnvironment env;
  env.ProgramFolder = scratch + "/";
  env.TempFolder = scratch + "/work/";
  env.FavoritesFallbackFolder = scratch + "/";
  app::TSettings settings(*registry, env);
  app::ApplyDefaults(settings, env);
  settings.TempFolder = scratch + "/work/";
  settings.Favorites.AddFolderMode = 2;
  settings.SortOrder = app::kSortName;
  settings.DisplayStyle = 0;

  TNullView view;
  app::TMainForm form(view, settings, {scratch + "/", {}});

  std::vector<double> lister, ours, unsorted, explorer, peer;
  std::size_t entries = 0;
  for (int r = 0; r < runs; ++r) {
    lister.push_back(Seconds([&] {
      engine::TDivED d;
      int n = 0;
      d.OnRead = [&](engine::TZipCommon&, std::int64_t, int) { ++n; };
      d.SetArchiveFile(zip);
      d.SetFileSpec({"*.*"});
      d.Activate();
    }));
    settings.DisplayStyle = 0;
    ours.push_back(Seconds([&] {
      form.CloseArchiveClick();
      if (form.OpenArchive(zip) == app::TOpenResult::orOpened) form.LoadListing();
    }));
    entries = view.Count;
    form.Contents.SortOrder = app::kSortListed;
    unsorted.push_back(Seconds([&] {
      form.CloseArchiveClick();
      if (form.OpenArchive(zip) == app::TOpenResult::orOpened) form.LoadListing();
    }));
    form.Contents.SortOrder = app::kSortName;
    settings.DisplayStyle = 1;
    explorer.push_back(Seconds([&] {
      form.CloseArchiveClick();
      if (form.OpenArchive(zip) == app::TOpenResult::orOpened) form.LoadListing();
    }));
    const std::string cmd = "7zz l '" + zip + "' >/dev/null 2>&1";
    peer.push_back(Seconds([&] {
      if (std::system(cmd.c_str()) != 0) peer.clear();
    }));
  }
  form.CloseArchiveClick();
  std::filesystem::remove_all(scratch);

  std::printf("archive: %s, %zu entries listed (classic style), %d runs, median wall time\n",
              zip.c_str(), entries, runs);
  std::printf("  lister alone (TDivED::Activate)          %8.1f ms\n", Median(lister) * 1e3);
  std::printf("  OpenArchive + LoadListing, sort by name %8.1f ms\n", Median(ours) * 1e3);
  std::printf("  the same in the listed order (no sort)  %8.1f ms\n", Median(unsorted) * 1e3);
  std::printf("  the same in explorer style (root)       %8.1f ms\n", Median(explorer) * 1e3);
  if (peer.size() == static_cast<std::size_t>(runs))
    std::printf("  7zz l (process, output to /dev/null)    %8.1f ms\n", Median(peer) * 1e3);
  else
    std::printf("  7zz l: not available\n");
  return 0;
}
