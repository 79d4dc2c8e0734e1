// The Extract dialog's logic: its state for each archive kind and setting, the target
// folder checks, the recent target folders, the new-folder action and the folder tree.
#include "dialogs/extract_form.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "platform/path.h"
#include "tests/unit/test_paths.h"

namespace {

using dialogs::TDialogMessage;
using dialogs::TExtractContext;
using dialogs::TExtractFiles;
using dialogs::TExtractForm;

const std::string kSep(1, platform::kPathSeparator);

class TFakeExtractView : public dialogs::IExtractView {
 public:
  std::vector<std::string> Messages;
  std::optional<std::string> FolderName;
  std::vector<std::string> Explored;
  std::string Help;
  int Changes = 0;
  void ShowMessage(const std::string& text, TDialogMessage) override { Messages.push_back(text); }
  std::optional<std::string> AskNewFolderName(const std::string&) override { return FolderName; }
  void ExploreFolder(const std::string& f) override { Explored.push_back(f); }
  void ShowHelpTopic(std::string_view t) override { Help = std::string(t); }
  void ControlsChanged() override { ++Changes; }
};

class ExtractForm : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = (test::TempDir() / ("dlg-" + std::string(::testing::UnitTest::GetInstance()
                                                          ->current_test_info()
                                                          ->name())))
                .string();
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    form_.View = &view_;
  }

  TExtractContext Context(std::string kind, bool selection = true) {
    TExtractContext c;
    c.ArchiveKind = kind;
    c.ArchivePath = root_ + kSep + "Docs.v1" + kind;
    c.HasSelection = selection;
    return c;
  }

  std::string root_;
  TFakeExtractView view_;
  TExtractForm form_;
};

TEST_F(ExtractForm, OptionsFollowTheArchiveKind) {
  struct TRow {
    const char* Kind;
    bool FileChoice, Overwrite, OverwriteOn, SkipOlder, FolderNames;
  };
  // With "Extract overwrite" 0: only ".cab" and ".bz2" force the overwrite option on.
  const TRow rows[] = {
      {".zip", true, true, false, true, true},   {".exe", true, true, false, true, true},
      {".gz", true, true, false, true, true},    {".tar", true, true, false, true, true},
      {".bh", true, true, false, true, true},    {".lzh", true, true, false, false, true},
      {".arj", true, true, false, false, true},  {".cab", true, false, true, false, true},
      {".bz2", false, false, true, false, false},
  };
  for (const TRow& r : rows) {
    SCOPED_TRACE(r.Kind);
    form_.FormShow(Context(r.Kind));
    const auto& c = form_.Controls();
    EXPECT_EQ(c.FileChoiceEnabled, r.FileChoice);
    EXPECT_EQ(c.OverwriteEnabled, r.Overwrite);
    EXPECT_EQ(c.Overwrite, r.OverwriteOn);
    EXPECT_EQ(c.SkipOlderEnabled, r.SkipOlder);
    EXPECT_FALSE(c.SkipOlder);
    EXPECT_EQ(c.UseFolderNamesEnabled, r.FolderNames);
    EXPECT_TRUE(c.UseFolderNames);
    EXPECT_TRUE(c.Mask.empty());
    // ".bz2" has one pseudo entry: the whole file, whatever is selected.
    EXPECT_EQ(c.SelectedEnabled, r.FileChoice);
    EXPECT_EQ(c.Files, r.FileChoice ? TExtractFiles::efSelected : TExtractFiles::efAll);
  }
}

TEST_F(ExtractForm, SelectionAndOverwriteSettingDecideTheStart) {
  TExtractContext c = Context(".zip", false);
  c.ExtractOverwrite = 1;
  form_.FormShow(c);
  EXPECT_FALSE(form_.Controls().SelectedEnabled);
  EXPECT_EQ(form_.Controls().Files, TExtractFiles::efAll);
  EXPECT_TRUE(form_.Controls().Overwrite);
  // A disabled choice cannot be made.
  form_.SetFiles(TExtractFiles::efSelected);
  EXPECT_EQ(form_.Controls().Files, TExtractFiles::efAll);
  form_.SetSkipOlder(true);
  form_.SetOverwrite(false);
  EXPECT_TRUE(form_.Controls().SkipOlder);
  EXPECT_FALSE(form_.Controls().Overwrite);
  // Skip older cannot be ticked where the kind does not offer it.
  form_.FormShow(Context(".lzh"));
  form_.SetSkipOlder(true);
  EXPECT_FALSE(form_.Controls().SkipOlder);
}

TEST_F(ExtractForm, InitialDestinationBySetting) {
  TExtractContext c = Context(".zip");
  c.RecentFolders = {"", "/x/newest", "/x/older"};
  c.EFolder = 0;
  form_.FormShow(c);
  EXPECT_EQ(form_.Controls().Destination, root_);
  EXPECT_TRUE(form_.Controls().NewFolderEnabled);  // the folder exists
  EXPECT_EQ(form_.Controls().DestinationList, (std::vector<std::string>{"/x/newest", "/x/older"}));
  c.EFolder = 1;  // the file name up to its first "."
  form_.FormShow(c);
  EXPECT_EQ(form_.Controls().Destination, root_ + kSep + "Docs");
  EXPECT_FALSE(form_.Controls().NewFolderEnabled);  // not there yet
  c.EFolder = 2;
  form_.FormShow(c);
  EXPECT_EQ(form_.Controls().Destination, "/x/newest");
  c.RecentFolders.clear();  // nothing remembered yet: the archive's folder
  form_.FormShow(c);
  EXPECT_EQ(form_.Controls().Destination, root_);
}

TEST_F(ExtractForm, ExtractButtonChecksAndCreatesTheTarget) {
  form_.FormShow(Context(".zip"));
  form_.DestinationChange("   ");
  EXPECT_FALSE(form_.ExtractButtClick());  // empty: nothing happens
  EXPECT_TRUE(view_.Messages.empty());

  form_.DestinationChange(".");  // the archive's folder
  ASSERT_TRUE(form_.ExtractButtClick());
  EXPECT_EQ(form_.Request().TargetFolder, root_ + kSep);

  form_.DriveExists = [](std::string_view drive) { return drive != "Q:"; };
  form_.DestinationChange("Q:\\out");
  EXPECT_FALSE(form_.ExtractButtClick());
  EXPECT_FALSE(form_.Accepted());
  EXPECT_EQ(view_.Messages, (std::vector<std::string>{"Drive not exist!"}));

  // Missing levels are created; the mask defaults to "*.*".
  const std::string deep = root_ + kSep + "a" + kSep + "b" + kSep + "c";
  form_.DestinationChange(deep);
  form_.SetFiles(TExtractFiles::efMask);
  form_.SetMask(" . ");
  ASSERT_TRUE(form_.ExtractButtClick());
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_EQ(form_.Request().TargetFolder, deep + kSep);
  EXPECT_EQ(form_.Request().Files, TExtractFiles::efMask);
  EXPECT_EQ(form_.Request().Mask, "*.*");
  EXPECT_TRUE(form_.Request().StoreOverwrite);

  // A relative destination lies next to the archive.
  form_.DestinationChange("rel");
  ASSERT_TRUE(form_.ExtractButtClick());
  EXPECT_EQ(form_.Request().TargetFolder, root_ + kSep + "rel" + kSep);
}

TEST_F(ExtractForm, CabinetOverwriteIsNotRemembered) {
  form_.FormShow(Context(".cab"));
  form_.SetOverwrite(false);  // disabled: stays on
  ASSERT_TRUE(form_.ExtractButtClick());
  EXPECT_TRUE(form_.Request().Overwrite);
  EXPECT_FALSE(form_.Request().StoreOverwrite);
}

TEST_F(ExtractForm, RecentTargetFolders) {
  auto folder = [](std::string text) {
    if (platform::kIsWindows)
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string out = "D:" + kSep + "Out";
  const std::string temp = "c:" + kSep + "temp";
  std::array<std::string, 5> slots;
  dialogs::RememberTargetFolder(slots, out + kSep);
  dialogs::RememberTargetFolder(slots, out + kSep);
  dialogs::RememberTargetFolder(slots, temp + kSep);
  EXPECT_EQ(slots, (std::array<std::string, 5>{folder(temp), folder(out), "", "", ""}));

  // Found in slot 4: the slots above it shift down one.
  slots = {"a", "b", "c", "d", "e"};
  dialogs::RememberTargetFolder(slots, "d");
  EXPECT_EQ(slots, (std::array<std::string, 5>{"d", "a", "b", "c", "e"}));
  // Absent: everything shifts and the last is dropped.
  dialogs::RememberTargetFolder(slots, "f");
  EXPECT_EQ(slots, (std::array<std::string, 5>{"f", "d", "a", "b", "c"}));
  // Empty slots are closed up first.
  slots = {"", "a", "", "b", ""};
  dialogs::RememberTargetFolder(slots, "b");
  EXPECT_EQ(slots, (std::array<std::string, 5>{"b", "a", "", "", ""}));
}

TEST_F(ExtractForm, NewFolderExploreAndHelp) {
  form_.FormShow(Context(".zip"));
  view_.FolderName = "Fresh";
  form_.NewFolderButtClick();
  EXPECT_TRUE(std::filesystem::is_directory(root_ + kSep + "Fresh"));
  EXPECT_EQ(form_.Controls().Destination, root_ + kSep + "Fresh");
  EXPECT_GT(view_.Changes, 0);

  view_.FolderName = "..";  // a name, not a path
  form_.NewFolderButtClick();
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_EQ(form_.Controls().Destination, root_ + kSep + "Fresh");

  view_.FolderName.reset();  // cancelled
  form_.NewFolderButtClick();
  EXPECT_EQ(view_.Messages.size(), 1u);

  form_.ExploreButtClick();
  EXPECT_EQ(view_.Explored, (std::vector<std::string>{root_ + kSep + "Fresh"}));
  form_.HelpButtClick();
  EXPECT_EQ(view_.Help, "extractfiles.html");

  // Typing a missing folder disables New Folder; the tree sets the destination.
  form_.DestinationChange(root_ + kSep + "nope");
  EXPECT_FALSE(form_.Controls().NewFolderEnabled);
  form_.TreeListChange(root_);
  EXPECT_TRUE(form_.Controls().NewFolderEnabled);
  EXPECT_EQ(form_.Controls().Destination, root_);
}

TEST_F(ExtractForm, TreeListsSubFoldersOnly) {
  for (const char* d : {"beta", "Alpha", "gamma"})
    std::filesystem::create_directories(root_ + kSep + d);
  std::ofstream(root_ + kSep + "file.txt") << "x";
  EXPECT_EQ(form_.TreeListExpanding(root_), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

}  // namespace
