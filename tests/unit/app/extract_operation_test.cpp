// The Extract command through the main window's controller: real fixtures of several kinds
// extracted with scripted dialog answers and compared with their expected SHA-256s, the
// file specifications, the overwrite question, cancel and interrupt, passwords and the
// recent target folders.
#include "app/extract_operation.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/main_form.h"
#include "platform/yield.h"
#include "tests/unit/app/app_test_util.h"
#include "tests/unit/fixture_check.h"

namespace {

namespace fs = std::filesystem;
using app::TOverwriteAnswer;
using dialogs::TExtractFiles;
using dialogs::TExtractForm;

// The recording view with the log window kept.
class TLogView : public apptest::TFakeView {
 public:
  std::vector<std::string> Log;
  std::vector<std::int64_t> ProgressMaxima;
  void AppendLog(const std::string& line) override { Log.push_back(line); }
  void SetProgress(std::int64_t, std::int64_t maximum) override { ProgressMaxima.push_back(maximum); }
};

class TPrompts : public app::IExtractPrompts {
 public:
  std::function<void(TExtractForm&)> Dialog;  // the user's part; Extract is clicked after it
  std::deque<TOverwriteAnswer> Answers;       // empty: No
  std::vector<std::string> Questions;
  int Shown = 0, Resets = 0;
  std::vector<bool> MenuStates;
  void ShowExtractDialog(TExtractForm& form) override {
    ++Shown;
    if (Dialog) Dialog(form);
    form.ExtractButtClick();
  }
  TOverwriteAnswer AskOverwrite(const std::string& text) override {
    Questions.push_back(text);
    if (Answers.empty()) return TOverwriteAnswer::oaNo;
    const TOverwriteAnswer a = Answers.front();
    Answers.pop_front();
    return a;
  }
  void ResetLastOutput() override { ++Resets; }
  void EnableOperationMenus(bool on) override { MenuStates.push_back(on); }
};

class ExtractOperation : public apptest::TMainFormTest {
 protected:
  void TearDown() override { platform::SetYieldHook(nullptr); }

  app::TMainForm& F() {
    if (!form_) {
      settings_->ExtractOverwrite = 0;  // ask (the default overwrites)
      app::TMainFormEnvironment env;
      env.ProgramFolder = Path("prog/");
      form_ = std::make_unique<app::TMainForm>(view_, *settings_, env, locale_);
      form_->UnGZIP1.SetTempDir(Path("etmp"));
      form_->CloseArchiveClick();
      form_->SetExtractPrompts(&prompts_);
    }
    return *form_;
  }

  // Opens a copy of a shared fixture and lists it.
  std::string Open(const std::string& fixture, const std::string& as) {
    const std::string path = apptest::CopyFixture(fixture, Path("files/" + as));
    EXPECT_EQ(F().OpenAndLoad(path), app::TOpenResult::orOpened);
    return path;
  }

  // Extracts into `target` with the dialog choices `choose` makes.
  void Extract(const std::string& target, std::function<void(TExtractForm&)> choose = {}) {
    prompts_.Dialog = [target, choose](TExtractForm& form) {
      form.DestinationChange(target);
      if (choose) choose(form);
    };
    F().ExtractButtonClick();
  }

  void Select(std::initializer_list<std::string> names) {
    for (std::size_t i = 0; i < F().Contents.EntryCount(); ++i) {
      const app::TFile& f = F().Contents.EntryTable[i];
      for (const std::string& n : names)
        if (f.Path + f.Name == n) view_.Selected.insert(i);
    }
    F().UpdateSelectionStatus();
  }

  // The expected files of `fixture` whose names `keep` accepts, against what `dir` holds.
  void ExpectTree(const std::string& fixture, const std::string& dir,
                  std::function<bool(const std::string&)> keep = {}) {
    std::map<std::string, test::TExpectedFile> want;
    for (const auto& e : test::ReadExpected(fixture))
      if (!keep || keep(e.name)) want[e.name] = e;
    const auto got = test::HashTree(dir);
    ASSERT_EQ(got.size(), want.size()) << dir;
    for (const auto& [name, e] : want) {
      const auto it = got.find(name);
      ASSERT_NE(it, got.end()) << name;
      EXPECT_EQ(it->second.sha256, e.sha256) << name;
      EXPECT_EQ(it->second.size, e.size) << name;
    }
  }

  TLogView view_;
  TPrompts prompts_;
};

TEST_F(ExtractOperation, AllFilesOfZipLhaAndTarMatchTheirChecksums) {
  const char* fixtures[] = {"zip/zip_deflate_max.zip", "lha/unix114i_h2_subdir.lzh", "tar/ustar.tar"};
  int n = 0;
  for (const char* fixture : fixtures) {
    SCOPED_TRACE(fixture);
    const std::string name = fs::path(fixture).filename().string();
    Open(fixture, name);
    const std::string out = Path("out" + std::to_string(n++));
    Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
    ExpectTree(fixture, out);
    EXPECT_TRUE(view_.Messages.empty()) << view_.Messages[0].Text;
  }
  EXPECT_EQ(prompts_.Shown, 3);
  EXPECT_EQ(prompts_.Resets, 3);
  EXPECT_EQ(prompts_.MenuStates, (std::vector<bool>{false, true, false, true, false, true}));
  // The window is back as it was.
  EXPECT_FALSE(view_.ProgressVisible);
  EXPECT_TRUE(view_.SecondPanelVisible);
  EXPECT_EQ(view_.Status[0], "No file(s) selected.");
}

TEST_F(ExtractOperation, DecoderRunsAreLoggedAndShownOnTheStatusBar) {
  Open("lha/unix114i_h2_subdir.lzh", "sub.lzh");
  const std::string out = Path("out");
  Extract(out);
  const std::string file = test::ReadExpected("lha/unix114i_h2_subdir.lzh").at(0).name;
  ASSERT_EQ(view_.Log.size(), 2u);
  EXPECT_EQ(view_.Log[0].rfind("Extracting: ", 0), 0u);
  EXPECT_EQ(view_.Log[1], "                --> OK");
  EXPECT_TRUE(std::any_of(view_.StatusHistory.begin(), view_.StatusHistory.end(),
                          [](const std::string& s) { return s.rfind("Extracting ", 0) == 0; }));
  EXPECT_TRUE(fs::exists(out + "/" + file));
}

TEST_F(ExtractOperation, SelectedEntriesInsideFoldersExtractExactlyThose) {
  // ustar.tar: text.txt, dir/mid.bin, dir/sub/deep.txt, random.bin.
  for (const bool bridge : {false, true}) {
    SCOPED_TRACE(bridge ? "zip" : "tar");
    if (bridge) {
      apptest::MakeStoredZip(Path("files/same.zip"), {{"text.txt", "top"},
                                                     {"dir/text.txt", "inner"},
                                                     {"dir/sub/text.txt", "deeper"},
                                                     {"other/text.txt", "other"}});
      ASSERT_EQ(F().OpenAndLoad(Path("files/same.zip")), app::TOpenResult::orOpened);
      Select({"dir\\text.txt"});
    } else {
      Open("tar/ustar.tar", "ustar.tar");
      Select({"dir\\sub\\deep.txt", "random.bin"});
    }
    const std::string out = Path(bridge ? "outzip" : "outtar");
    Extract(out);
    const auto got = test::HashTree(out);
    std::vector<std::string> names;
    for (const auto& [n, e] : got) names.push_back(n);
    if (bridge) {
      EXPECT_EQ(names, (std::vector<std::string>{"dir/text.txt"}));
    } else {
      EXPECT_EQ(names, (std::vector<std::string>{"dir/sub/deep.txt", "random.bin"}));
      ExpectTree("tar/ustar.tar", out,
                 [](const std::string& n) { return n == "dir/sub/deep.txt" || n == "random.bin"; });
    }
  }
}

TEST_F(ExtractOperation, FolderPseudoEntryExtractsOnlyThatFolder) {
  settings_->DisplayStyle = 1;  // explorer style: folders are pseudo entries
  apptest::MakeStoredZip(Path("files/tree.zip"), {{"v1.2/readme", "r"},
                                                 {"v1.2/sub/a.txt", "a"},
                                                 {"v1.20/b.txt", "b"},
                                                 {"top.txt", "t"}});
  ASSERT_EQ(F().OpenAndLoad(Path("files/tree.zip")), app::TOpenResult::orOpened);
  Select({"v1.2\\"});
  const std::string out = Path("out");
  Extract(out);
  std::vector<std::string> names;
  for (const auto& [n, e] : test::HashTree(out)) names.push_back(n);
  // A dotted folder name and its look-alike neighbour "v1.20".
  EXPECT_EQ(names, (std::vector<std::string>{"v1.2/readme", "v1.2/sub/a.txt"}));
}

TEST_F(ExtractOperation, MaskSelection) {
  Open("tar/ustar.tar", "ustar.tar");
  const std::string out = Path("out");
  Extract(out, [](TExtractForm& f) {
    f.SetFiles(TExtractFiles::efMask);
    f.SetMask("*.TXT");
  });
  ExpectTree("tar/ustar.tar", out, [](const std::string& n) { return n.ends_with(".txt"); });

  // Nothing matches: said so, nothing written.
  const std::string none = Path("none");
  Extract(none, [](TExtractForm& f) {
    f.SetFiles(TExtractFiles::efMask);
    f.SetMask("*.doc");
  });
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_EQ(view_.Messages[0].Text, "No files in the open archive match the specified files.");
  EXPECT_TRUE(test::HashTree(none).empty());
}

TEST_F(ExtractOperation, FileSpecificationsOfEachChoice) {
  app::TContentsModel m;
  auto add = [&](std::string name, std::string path, std::int64_t size, bool selected) {
    app::TFile f;
    f.Name = std::move(name);
    f.Path = std::move(path);
    f.SizeValue = size;
    f.Selected = selected;
    m.EntryTable.push_back(f);
  };
  add("..\\", "a\\", -1, true);
  add("docs\\", "a\\", -1, true);
  add("notes.txt", "a\\", 100, true);
  add("data.bin", "a\\", 50, false);
  add("old.txt\\", "a\\", -1, false);  // a folder whose name matches the mask
  std::int64_t total = 0;
  EXPECT_EQ(app::ExtractFileSpecs(m, TExtractFiles::efSelected, "", &total),
            (std::vector<std::string>{"a\\docs\\*", "a\\notes.txt"}));
  EXPECT_EQ(total, 100);
  EXPECT_EQ(app::ExtractFileSpecs(m, TExtractFiles::efMask, "*.txt"),
            (std::vector<std::string>{"a\\notes.txt", "a\\old.txt\\*"}));
  EXPECT_EQ(app::ExtractFileSpecs(m, TExtractFiles::efAll, ""), (std::vector<std::string>{"*.*"}));
  EXPECT_EQ(app::ZipProgressUnit(1000), 32768);
  EXPECT_EQ(app::ZipProgressUnit(std::int64_t{32765} * 32768), 65536);
}

TEST_F(ExtractOperation, DotDestinationAndRecentFolders) {
  const std::string archive = Open("tar/ustar.tar", "ustar.tar");
  Extract(".", [](TExtractForm& f) {
    f.SetFiles(TExtractFiles::efMask);
    f.SetMask("random.bin");
  });
  EXPECT_TRUE(fs::exists(Path("files/random.bin")));
  const std::string folder = platform::DirectoryPart(archive);
  EXPECT_TRUE(app::SameTextCI(settings_->ExtractDirs[0], folder));

  Extract(Path("Second"));
  EXPECT_TRUE(app::SameTextCI(settings_->ExtractDirs[0], Path("Second")));
  EXPECT_TRUE(app::SameTextCI(settings_->ExtractDirs[1], folder));
  // The dialog offers them next time, newest first.
  EXPECT_TRUE(app::SameTextCI(F().ExtractForm.Controls().DestinationList.at(0), folder));
}

TEST_F(ExtractOperation, AllAnswerSuppressesLaterQuestions) {
  for (const char* fixture : {"tar/ustar.tar", "zip/zip_deflate_max.zip"}) {
    SCOPED_TRACE(fixture);
    prompts_.Questions.clear();
    Open(fixture, fs::path(fixture).filename().string());
    const std::string out = Path(std::string("all-") + fs::path(fixture).filename().string());
    for (const auto& e : test::ReadExpected(fixture)) {
      fs::create_directories(fs::path(out + "/" + e.name).parent_path());
      apptest::WriteFile(out + "/" + e.name, "old");
    }
    prompts_.Answers = {TOverwriteAnswer::oaAll};
    Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
    ASSERT_EQ(prompts_.Questions.size(), 1u);
    EXPECT_NE(prompts_.Questions[0].find("Overwrite?\r\rReplace file: "), std::string::npos);
    EXPECT_NE(prompts_.Questions[0].find("\r                      3 bytes, "), std::string::npos);
    EXPECT_TRUE(F().OverwriteAll());
    ExpectTree(fixture, out);
    EXPECT_EQ(settings_->ExtractOverwrite, 0);  // the option was not ticked
  }
}

TEST_F(ExtractOperation, OverwriteOptionAndNoAnswer) {
  Open("tar/ustar.tar", "ustar.tar");
  const std::string out = Path("out");
  fs::create_directories(out);
  apptest::WriteFile(out + "/text.txt", "mine");
  // No keeps the file; nothing else is asked.
  Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
  EXPECT_EQ(prompts_.Questions.size(), 1u);
  EXPECT_EQ(test::HashTree(out).at("text.txt").size, 4);
  EXPECT_EQ(test::HashTree(out).size(), 4u);
  // The ticked option overwrites without asking and is remembered.
  Extract(out, [](TExtractForm& f) {
    f.SetFiles(TExtractFiles::efAll);
    f.SetOverwrite(true);
  });
  EXPECT_EQ(prompts_.Questions.size(), 1u);
  EXPECT_EQ(settings_->ExtractOverwrite, 1);
  ExpectTree("tar/ustar.tar", out);
}

TEST_F(ExtractOperation, CancelKeepsWhatWasExtracted) {
  // ustar.tar holds text.txt first, then dir/mid.bin, dir/sub/deep.txt, random.bin.
  Open("tar/ustar.tar", "ustar.tar");
  const std::string out = Path("out");
  fs::create_directories(out + "/dir");
  apptest::WriteFile(out + "/dir/mid.bin", "old");
  prompts_.Answers = {TOverwriteAnswer::oaCancel};
  Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
  const auto got = test::HashTree(out);
  EXPECT_EQ(got.size(), 2u);
  EXPECT_EQ(got.at("dir/mid.bin").size, 3);  // kept, and nothing after it was written
  for (const auto& e : test::ReadExpected("tar/ustar.tar"))
    if (e.name == "text.txt") EXPECT_EQ(got.at("text.txt").sha256, e.sha256);
  EXPECT_TRUE(view_.Messages.empty());
  EXPECT_FALSE(F().IsExtracting());
}

TEST_F(ExtractOperation, InterruptQuestionStopsTheEngine) {
  for (const char* fixture : {"zip/zip_deflate_max.zip", "tar/ustar.tar"}) {
    SCOPED_TRACE(fixture);
    view_.Messages.clear();
    Open(fixture, fs::path(fixture).filename().string());
    bool sawRunning = false;
    platform::SetYieldHook([&] {
      if (!F().IsExtracting()) return;
      sawRunning = true;
      F().ExtractInterruptCheck();  // a click in the window
    });
    view_.Answers = {app::TMsgResult::mrNo};
    const std::string out = Path(std::string("int-") + fs::path(fixture).filename().string());
    Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
    platform::SetYieldHook(nullptr);
    EXPECT_TRUE(sawRunning);
    ASSERT_FALSE(view_.Messages.empty());
    EXPECT_EQ(view_.Messages[0].Text, "Archive Operation Interrupted. Continue?");
    EXPECT_EQ(view_.Messages[0].Kind, app::TMsgKind::mkWarning);
    EXPECT_EQ(view_.Messages.size(), 1u);  // asked once, nothing else said
    EXPECT_LT(test::HashTree(out).size(), test::ReadExpected(fixture).size());
  }
}

TEST_F(ExtractOperation, ZipPasswordIsAskedAndRemembered) {
  Open("zip/sc_zipcrypto.zip", "crypto.zip");
  view_.Passwords = {std::string("test"), std::string("test"), std::string("test"),
                     std::string("test"), std::string("test"), std::string("test"),
                     std::string("test"), std::string("test")};
  const std::string out = Path("out");
  Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
  ExpectTree("zip/sc_zipcrypto.zip", out);
  EXPECT_EQ(F().RememberedPassword(), "test");

  // A wrong password, then giving up: the file is skipped and said so.
  view_.Passwords = {std::string("wrong"), std::nullopt};
  const std::string out2 = Path("out2");
  Extract(out2, [](TExtractForm& f) {
    f.SetFiles(TExtractFiles::efMask);
    f.SetMask("dog.txt");
  });
  EXPECT_FALSE(fs::exists(out2 + "/dog.txt"));
  ASSERT_FALSE(view_.Messages.empty());
  EXPECT_EQ(view_.Messages.back().Text,
            "File \"dog.txt\" is skipped because\rentered password for this file is incorrect.");
  EXPECT_EQ(F().RememberedPassword(), "");
}

TEST_F(ExtractOperation, NamesNeverLeaveTheTarget) {
  Open("lha/regression_abspath.lzh", "abs.lzh");
  const std::string out = Path("out");
  Extract(out, [](TExtractForm& f) { f.SetFiles(TExtractFiles::efAll); });
  // The stored absolute path lands below the target.
  ExpectTree("lha/regression_abspath.lzh", out);
}

TEST_F(ExtractOperation, CommandNeedsEntriesAndMoreThanTheUpEntry) {
  settings_->DisplayStyle = 1;
  apptest::MakeStoredZip(Path("files/t.zip"), {{"d/a.txt", "a"}});
  ASSERT_EQ(F().OpenAndLoad(Path("files/t.zip")), app::TOpenResult::orOpened);
  F().Contents.CurrentFolder = "d\\";
  F().LoadListing();
  ASSERT_TRUE(F().Contents.EntryTable[0].IsUpEntry());
  view_.Selected = {0};
  F().ExtractButtonClick();
  EXPECT_EQ(prompts_.Shown, 0);
  view_.Selected = {0, 1};
  prompts_.Dialog = [](TExtractForm& f) { f.DestinationChange(""); };
  F().ExtractButtonClick();
  EXPECT_EQ(prompts_.Shown, 1);
}

TEST_F(ExtractOperation, DragOutExtractsSelectedFilesIntoTheWorkingFolder) {
  apptest::MakeStoredZip(Path("files/d.zip"), {{"x/one.txt", "1"}, {"two.txt", "22"}});
  ASSERT_EQ(F().OpenAndLoad(Path("files/d.zip")), app::TOpenResult::orOpened);
  Select({"x\\one.txt", "two.txt"});
  F().FileListMouseDown(100, 100);
  EXPECT_FALSE(F().FileListMouseMove(105, 109, true));  // not far enough
  EXPECT_TRUE(F().FileListMouseMove(111, 100, true));
  const std::vector<std::string> files = F().DragFileList();
  ASSERT_EQ(files.size(), 2u);
  ASSERT_TRUE(F().DropFileSource1Drop());
  for (const std::string& f : files) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_EQ(test::HashTree(F().TempFolder()).at("one.txt").size, 1);
}

}  // namespace
