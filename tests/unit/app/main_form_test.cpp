// The main window's controller against a recording view: opening each kind, listing
// totals, recent archives, explorer navigation, sorting, selection and opening entries.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/archive_kinds.h"
#include "platform/fs.h"
#include "tests/unit/app/app_test_util.h"

namespace {

using apptest::MakeStoredZip;
using apptest::TZipMember;
using app::TCommand;
using app::TMsgResult;
using app::TOpenResult;

class MainForm : public apptest::TMainFormTest {};

bool Enabled(const app::TCommandSet& set, TCommand c) { return app::HasCommand(set, c); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A uuencoded text of `data`.
std::string UuEncode(const std::string& name, const std::string& data) {
  auto enc = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
  std::string out = "begin 644 " + name + "\n";
  for (std::size_t at = 0; at < data.size(); at += 45) {
    const std::size_t n = std::min<std::size_t>(45, data.size() - at);
    out += enc(static_cast<unsigned>(n));
    for (std::size_t i = 0; i < n; i += 3) {
      unsigned char b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k)
        b[k] = static_cast<unsigned char>(data[at + i + k]);
      out += enc(b[0] >> 2);
      out += enc(((b[0] & 3) << 4) | (b[1] >> 4));
      out += enc(((b[1] & 15) << 2) | (b[2] >> 6));
      out += enc(b[2] & 63);
    }
    out += "\n";
  }
  return out + "`\nend\n";
}

TEST_F(MainForm, OpensLhaWithEntriesTotalsAndCaption) {
  const std::string lzh = apptest::CopyFixture("lha/lha213_subdir.lzh", Path("files/Sub.LZH"));
  EXPECT_EQ(Form().OpenAndLoad(lzh), TOpenResult::orOpened);
  EXPECT_EQ(Form().ArchiveKind(), ".lzh");
  EXPECT_EQ(view_.Caption, "Tessaly 2000 - sub.lzh");
  ASSERT_EQ(Listed(), (std::vector<std::string>{"SUBDIR\\SUBDIR2\\HELLO.TXT"}));
  const app::TFile& f = Form().Contents.EntryTable[0];
  EXPECT_EQ(f.Size, "12");
  EXPECT_EQ(f.Ratio, "00%");
  EXPECT_EQ(Form().Contents.VolumeOf(f), lzh);
  EXPECT_EQ(view_.Status[1], "Total 1 file, 0 kB [0 kB]");
  EXPECT_EQ(view_.Status[0], "No file(s) selected.");
  EXPECT_EQ(view_.ItemCount, 1u);
  EXPECT_EQ(view_.Pane, app::TLeftPane::lpFolderTree);
  // The listing reports its progress in this order.
  const auto& h = view_.StatusHistory;
  const auto at = [&](const char* t) { return std::find(h.begin(), h.end(), t) - h.begin(); };
  EXPECT_LT(at("Reading directory..."), at("Sorting files..."));
  EXPECT_LT(at("Sorting files..."), at("Loading file list..."));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmAdd));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmDeleteEntries));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmComment));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmMakeExe));
  EXPECT_EQ(settings_->LastOpenDir, Path("files") + platform::kPathSeparator);
}

TEST_F(MainForm, KindFromExtensionThenDetection) {
  const std::string zip = test::FixturePath("zip/zip_stored.zip");
  apptest::WriteFile(Path("files/junk.dat"), "this is no archive at all, just text\n");
  apptest::WriteFile(Path("files/odd.lha"), "this is no archive at all, just text\n");
  struct {
    std::string path;
    const char* kind;  // "" : refused
  } rows[] = {
      {apptest::CopyFixture("zip/zip_stored.zip", Path("files/a.JAR")), ".zip"},
      {apptest::CopyFixture("zip/zip_stored.zip", Path("files/b.pk3")), ".zip"},
      {apptest::CopyFixture("zip/zip_stored.zip", Path("files/zip_named.dat")), ".zip"},
      {apptest::CopyFixture("zip/zip_mz_stub.exe", Path("files/sfx.exe")), ".exe"},
      {apptest::CopyFixture("lha/lha213_sfx.exe", Path("files/lsfx.exe")), ".lzh"},
      {test::FixturePath("cab/gcab_paths.cab"), ".cab"},
      {test::FixturePath("tar/ustar.tar"), ".tar"},
      {test::FixturePath("gzip/text.txt.gz"), ".gz"},
      {test::FixturePath("arj/arj_m1.arj"), ".arj"},
      {test::FixturePath("arc/arc_stored.arc"), ".arc"},
      {test::FixturePath("zoo/zoo_stored.zoo"), ".zoo"},
      {test::FixturePath("uue/text.uue"), ".enc"},
      {Path("files/odd.lha"), ".lzh"},          // not classified, still LHA by its name
      {Path("files/new.xyz"), ".xyz"},          // does not exist: a new archive
      {Path("files/new.zip"), ".zip"},
      {Path("files/junk.dat"), ""},
      {apptest::CopyFixture("detect/central_dir_first.bin", Path("files/bad.zip")), ""},
      {test::FixturePath("detect/nineteen_bytes.zip"), ""},
  };
  for (const auto& r : rows) {
    view_.Messages.clear();
    const TOpenResult result = Form().OpenAndLoad(r.path);
    if (*r.kind) {
      EXPECT_EQ(result, TOpenResult::orOpened) << r.path;
      EXPECT_EQ(Form().ArchiveKind(), r.kind) << r.path;
      EXPECT_TRUE(view_.Messages.empty()) << r.path << ": " << view_.Messages.front().Text;
    } else {
      EXPECT_EQ(result, TOpenResult::orClosed) << r.path;
      EXPECT_FALSE(Form().IsArchiveOpen()) << r.path;
      ASSERT_EQ(view_.Messages.size(), 1u) << r.path;
      EXPECT_EQ(view_.Messages[0].Text, app::kCannotOpenText);
      EXPECT_EQ(view_.Messages[0].Kind, app::TMsgKind::mkError);
    }
  }
  // A new archive lists nothing.
  Form().OpenAndLoad(Path("files/new.xyz"));
  EXPECT_EQ(Form().Contents.EntryCount(), 0u);
  EXPECT_EQ(view_.Status[1], "Total 0 files, 0 kB [0 kB]");
}

TEST_F(MainForm, SpannedZipAskedForItsLastDisk) {
  const std::string first = apptest::CopyFixture("zip/zip_split.z01", Path("files/first.zip"));
  EXPECT_EQ(Form().OpenAndLoad(first), TOpenResult::orClosed);
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_EQ(view_.Messages[0].Text, app::kBackupSetText);

  apptest::CopyFixture("zip/zip_split.z01", Path("files/zip_split.z01"));
  const std::string last = apptest::CopyFixture("zip/zip_split.zip", Path("files/zip_split.zip"));
  view_.Messages.clear();
  ASSERT_EQ(Form().OpenAndLoad(last), TOpenResult::orOpened);
  EXPECT_TRUE(Form().IsMultiDisk());
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmRenameEntry));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmMakeExe));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmAdd));
  EXPECT_EQ(Form().Contents.EntryCount(), 2u);
}

TEST_F(MainForm, CabinetsHaveNoPackedSizes) {
  Form().OpenAndLoad(apptest::CopyFixture("cab/gcab_paths.cab", Path("files/p.cab")));
  ASSERT_EQ(Listed(), (std::vector<std::string>{"dir\\sub\\deep.txt", "dir\\mid.bin"}));
  for (const app::TFile& f : Form().Contents.EntryTable) {
    EXPECT_EQ(f.Packed, "?");
    EXPECT_EQ(f.Ratio, "?");
  }
  EXPECT_EQ(view_.Status[1], "Total 2 files, 5 kB [? kB]");
  EXPECT_EQ(Form().Totals().PackedKB, "?");
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmTest));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmAdd));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmDeleteEntries));

  // A read-only archive file cannot be changed.
  Form().OpenAndLoad(test::FixturePath("cab/gcab_paths.cab"));
  if (!(platform::FileAttributes(test::FixturePath("cab/gcab_paths.cab")).value_or(0) &
        platform::kAttrReadOnly))
    GTEST_SKIP() << "the shared fixtures are writable here";
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmAdd));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmDeleteArchive));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmExtract));
}

TEST_F(MainForm, EmptyMembersAndFolderMembers) {
  MakeStoredZip(Path("files/zero.zip"), {{"a.txt", ""}, {"dir/", ""}, {"dir/b.txt", ""}});
  Form().OpenAndLoad(Path("files/zero.zip"));
  ASSERT_EQ(Listed(), (std::vector<std::string>{"a.txt", "dir\\b.txt"}));
  for (const app::TFile& f : Form().Contents.EntryTable) EXPECT_EQ(f.Ratio, "00%");
  EXPECT_EQ(view_.Status[1], "Total 2 files, 0 kB [0 kB]");
  EXPECT_FALSE(Form().Totals().OverallRatio.has_value());
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmRenameEntry));
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmMakeExe));
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmExeToZip));
}

TEST_F(MainForm, Bzip2FilesListOnePseudoEntry) {
  struct {
    const char* file;
    const char* entry;
  } rows[] = {{"data.bz2", "data.out"}, {"src.tbz", "src.tar"}, {"x.tar.bz2", "x.tar"},
              {"y.tbz2", "y.tar"},      {"z.tar.tbz", "z.tar"}, {"w.txt.bz", "w.txt"}};
  for (const auto& r : rows) {
    const std::string path =
        apptest::CopyFixture("bzip2/text.txt.bz2", Path(std::string("files/") + r.file));
    Form().OpenAndLoad(path);
    EXPECT_EQ(Form().ArchiveKind(), ".bz2");
    ASSERT_EQ(Form().Contents.EntryCount(), 1u) << r.file;
    const app::TFile& f = Form().Contents.EntryTable[0];
    EXPECT_EQ(f.Name, r.entry);
    EXPECT_EQ(f.Path, "");
    EXPECT_EQ(f.Size, "?");
    EXPECT_EQ(f.Ratio, "?");
    EXPECT_EQ(f.Packed, std::to_string(std::filesystem::file_size(path)));
    EXPECT_EQ(view_.Status[1], "Total 1 file, 0 kB [? kB]");
  }
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmTest));

  // Opening the entry decompresses the whole file into the working folder.
  Form().OpenAndLoad(Path("files/data.bz2"));
  view_.Selected = {0};
  view_.Focused = 0;
  Form().OpenClick();
  if (!view_.Messages.empty() && view_.Messages.back().Text.find("Error load") != std::string::npos)
    GTEST_SKIP() << "the bzip2 library cannot be loaded";
  ASSERT_EQ(view_.Opened.size(), 1u);
  EXPECT_EQ(view_.Opened[0], Form().TempFolder() + "data.out");
  EXPECT_EQ(std::filesystem::file_size(view_.Opened[0]), 21957u);
  EXPECT_EQ(view_.Status[0], "Selected 1 file, ? kB");
}

TEST_F(MainForm, TgzOpensTheDecompressedTar) {
  const std::string tgz = apptest::CopyFixture("gzip/archive.tar.gz", Path("files/pack.tgz"));
  EXPECT_EQ(Form().OpenAndLoad(tgz), TOpenResult::orOpened);
  EXPECT_EQ(Form().ArchiveKind(), ".tar");
  EXPECT_EQ(platform::ExtensionPart(Form().CurrentArchive()), ".tar");
  EXPECT_EQ(platform::DirectoryPart(Form().CurrentArchive()), Path("etmp"));
  EXPECT_GT(Form().Contents.EntryCount(), 0u);

  // A damaged .tgz says why instead of opening an empty archive.
  std::string bytes = ReadAll(tgz);
  bytes.resize(bytes.size() / 2);
  apptest::WriteFile(Path("files/cut.tgz"), bytes);
  view_.Messages.clear();
  EXPECT_EQ(Form().OpenAndLoad(Path("files/cut.tgz")), TOpenResult::orClosed);
  EXPECT_EQ(view_.Messages.size(), 1u);
}

TEST_F(MainForm, RecentArchivesKeepFiveSlots) {
  std::vector<std::string> z;
  for (char c : std::string("abcdefg")) {
    z.push_back(Path(std::string("files/") + c + ".zip"));
    MakeStoredZip(z.back(), {{std::string(1, c) + ".txt", "x"}});
  }
  for (int i = 0; i < 4; ++i) Form().OpenAndLoad(z[static_cast<std::size_t>(i)]);
  using H = app::THistory;
  EXPECT_EQ(Form().RecentArchives(), (H{z[3], z[2], z[1], z[0], ""}));
  // Opening the archive of slot 3 moves it to slot 1 and loads it once.
  EXPECT_EQ(Form().OpenAndLoad(z[1]), TOpenResult::orRedirected);
  EXPECT_EQ(Form().RecentArchives(), (H{z[1], z[3], z[2], z[0], ""}));
  EXPECT_EQ(Form().CurrentArchive(), z[1]);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"b.txt"}));
  // Slot 1 again: nothing moves.
  EXPECT_EQ(Form().OpenAndLoad(z[1]), TOpenResult::orOpened);
  EXPECT_EQ(Form().RecentArchives(), (H{z[1], z[3], z[2], z[0], ""}));
  Form().OpenAndLoad(z[4]);
  Form().OpenAndLoad(z[5]);
  EXPECT_EQ(Form().RecentArchives(), (H{z[5], z[4], z[1], z[3], z[2]}));
  ASSERT_EQ(view_.Recent.size(), 5u);
  EXPECT_EQ(view_.Recent[4].DropDownCaption, "&5 " + z[2]);

  // A slot whose file is gone is dropped; the others move up.
  std::filesystem::remove(z[1]);
  Form().RecentArchiveClick(3);
  EXPECT_EQ(Form().RecentArchives(), (H{z[5], z[4], z[3], z[2], ""}));
  EXPECT_EQ(Form().CurrentArchive(), z[5]);  // still open
  // An existing slot opens and moves to the top.
  Form().RecentArchiveClick(4);
  EXPECT_EQ(Form().CurrentArchive(), z[2]);
  EXPECT_EQ(Form().RecentArchives(), (H{z[2], z[5], z[4], z[3], ""}));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"c.txt"}));
}

TEST_F(MainForm, RecentMenuCaptionsShortenDeepPaths) {
  EXPECT_EQ(app::TMainForm::RecentMenuCaption(1, "C:\\Program Files\\Archives\\old\\new\\x.zip"),
            "&1 C:\\Pro...\\Arc...\\old\\new\\x.zip");
  EXPECT_EQ(app::TMainForm::RecentMenuCaption(2, "C:\\Program Files\\Archives\\old\\x.zip"),
            "&2 C:\\Program Files\\Archives\\old\\x.zip");
  EXPECT_EQ(app::TMainForm::RecentMenuCaption(3, "/home/someone/Downloads/zips/x.zip"),
            "&3 /hom.../som.../Dow.../zip.../x.zip");
}

TEST_F(MainForm, ExplorerStyleNavigation) {
  settings_->DisplayStyle = 1;
  MakeStoredZip(Path("files/Nest.zip"),
                {{"a/b/c/x.txt", "xx"}, {"setup.exe", "MZ"}, {"A/y.txt", "yyy"}});
  Form().OpenAndLoad(Path("files/Nest.zip"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a\\", "setup.exe"}));
  EXPECT_EQ(view_.Status[1], "Total 3 files; 3 dirs, 0 kB [0 kB]");
  ASSERT_EQ(view_.Tree.size(), 4u);
  EXPECT_EQ(view_.Tree[0].Name, "nest.zip");
  EXPECT_EQ(view_.SelectedNode, 0);
  EXPECT_EQ(view_.Title, "nest");
  EXPECT_TRUE(Enabled(view_.Commands, TCommand::cmInstall));
  EXPECT_EQ(view_.CheckOut.Caption, "Install");

  view_.Selected = {0};
  view_.Focused = 0;
  Form().OpenClick();  // into a
  EXPECT_EQ(Form().Contents.CurrentFolder, "a\\");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a\\..\\", "a\\b\\", "A\\y.txt"}));
  EXPECT_EQ(view_.Title, "nest\\a");
  EXPECT_EQ(view_.Focused, 0);
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmInstall));  // setup.exe is not shown
  EXPECT_EQ(view_.CheckOut.Caption, "CheckOut");
  view_.Selected = {0};
  EXPECT_EQ((Form().UpdateSelectionStatus(), view_.Status[0]), "No file(s) selected.");

  view_.Selected = {1};
  view_.Focused = 1;
  Form().OpenClick();  // into b
  EXPECT_EQ(Form().Contents.CurrentFolder, "a\\b\\");
  EXPECT_EQ(view_.Tree[static_cast<std::size_t>(view_.SelectedNode)].Folder, "a\\b\\");

  Form().UpOneFolderButtClick();
  EXPECT_EQ(Form().Contents.CurrentFolder, "a\\");
  Form().TreeView1Change(3);  // a\b\c\ .
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a\\b\\c\\..\\", "a\\b\\c\\x.txt"}));
  view_.Selected = {0};
  view_.Focused = 0;
  Form().OpenClick();  // up
  EXPECT_EQ(Form().Contents.CurrentFolder, "a\\b\\");
  Form().TreeView1Change(0);
  EXPECT_TRUE(Form().Contents.IsRoot());
  Form().UpOneFolderButtClick();  // at the root: closes
  EXPECT_FALSE(Form().IsArchiveOpen());

  // Back to the classic style: one flat list with paths.
  Form().OpenAndLoad(Path("files/Nest.zip"));
  Form().N9Click();
  EXPECT_EQ(settings_->DisplayStyle, 0);
  EXPECT_EQ(Form().Contents.EntryCount(), 3u);
  EXPECT_EQ(view_.Status[1], "Total 3 files, 0 kB [0 kB]");
}

TEST_F(MainForm, SortCommandsCycleAndReload) {
  MakeStoredZip(Path("files/s.zip"), {{"b", std::string(10, 'b')},
                                      {"a", std::string(100, 'a')},
                                      {"c", std::string(9, 'c')}});
  Form().OpenAndLoad(Path("files/s.zip"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a", "b", "c"}));
  Form().SortCommand(app::kSortName);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(settings_->SortOrder, 10);
  EXPECT_EQ(view_.SortCheck, 10);
  EXPECT_EQ(view_.Indicator.Arrow, app::TSortArrow::saDown);
  Form().SortCommand(app::kSortName);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a", "b", "c"}));
  Form().FILELISTColumnClick(app::TColumn::coSize);
  EXPECT_EQ(settings_->SortOrder, app::kSortSize);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a", "b", "c"}));  // 100, 10, 9
  Form().FILELISTColumnClick(app::TColumn::coSize);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"c", "b", "a"}));
  Form().SortCommand(app::kSortListed);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"b", "a", "c"}));
  Form().SortCommand(app::kSortListed);
  EXPECT_EQ(settings_->SortOrder, app::kSortListed);
}

TEST_F(MainForm, SelectionCommandsAndTypeAhead) {
  MakeStoredZip(Path("files/sel.zip"), {{"alpha", std::string(2048, 'a')},
                                        {"beta", std::string(1024, 'b')},
                                        {"bravo", "b"}});
  Form().OpenAndLoad(Path("files/sel.zip"));
  EXPECT_EQ(view_.Popup, app::TListPopup::lpSortMenu);
  Form().SelectAllClick();
  EXPECT_EQ(view_.Status[0], "Selected 3 files, 3 kB");
  EXPECT_EQ(view_.Popup, app::TListPopup::lpFileMenu);
  view_.Selected = {1};
  Form().InvertSelectionClick();
  EXPECT_EQ(view_.Selected, (std::set<std::size_t>{0, 2}));
  EXPECT_EQ(view_.Status[0], "Selected 2 files, 2 kB");
  Form().UnSelectAllClick();
  EXPECT_EQ(view_.Status[0], "No file(s) selected.");
  view_.ListEnabled = false;
  Form().SelectAllClick();
  EXPECT_TRUE(view_.Selected.empty());
  view_.ListEnabled = true;

  view_.Focused = 0;
  view_.Selected = {0};
  Form().ListKeyChar('B');
  EXPECT_EQ(view_.Focused, 1);
  EXPECT_EQ(view_.Selected, (std::set<std::size_t>{1}));
  Form().ListKeyChar('b');
  EXPECT_EQ(view_.Focused, 2);
  Form().ListKeyChar('a');  // no wrap-around
  EXPECT_EQ(view_.Focused, 2);

  Form().CloseArchiveClick();
  EXPECT_EQ(view_.Popup, app::TListPopup::lpNone);
}

TEST_F(MainForm, OpeningFileEntriesExtractsAndCleansUp) {
  MakeStoredZip(Path("files/o.zip"), {{"docs/notes.txt", "hello"}, {"pic.xyz", "P"}});
  Form().OpenAndLoad(Path("files/o.zip"));
  // Row texts for the virtual list, from the prepared window or made on the spot.
  Form().CacheHint(0, 0);
  EXPECT_EQ(Form().DisplayItem(0).Texts[0], "notes.txt");
  EXPECT_EQ(Form().DisplayItem(0).Texts[1], "2024-03-05 10:20");
  EXPECT_EQ(Form().DisplayItem(0).Texts[5], "docs\\");
  EXPECT_EQ(Form().DisplayItem(1).Texts[0], "pic.xyz");
  EXPECT_EQ(Form().DisplayItem(1).Texts[2], "1");
  EXPECT_EQ(Form().DisplayItem(7).Texts[0], "");  // beyond the table: an empty row
  view_.Selected = {0};
  view_.Focused = 0;
  Form().OpenClick();
  const std::string notes = Form().TempFolder() + "notes.txt";  // without its folder
  ASSERT_EQ(view_.Opened, (std::vector<std::string>{notes}));
  EXPECT_EQ(ReadAll(notes), "hello");
  EXPECT_EQ(Form().OpenedTempFiles, (std::vector<std::string>{notes}));
  EXPECT_TRUE(view_.ListEnabled);

  view_.ShellOpenError = 31;  // nothing associated: the viewer opens it
  view_.Selected = {1};
  view_.Focused = 1;
  Form().OpenClick();
  const std::string pic = Form().TempFolder() + "pic.xyz";
  ASSERT_EQ(view_.Programs.size(), 1u);
  EXPECT_EQ(view_.Programs[0], settings_->Viewer + " \"" + pic + "\"");

  Form().CloseArchiveClick();
  EXPECT_FALSE(platform::FileExists(notes));
  EXPECT_FALSE(platform::FileExists(pic));
  EXPECT_TRUE(Form().OpenedTempFiles.empty());
  EXPECT_EQ(view_.RecentDocs.back(), Path("files/o.zip"));
  EXPECT_EQ(view_.Caption, "Tessaly 2000");
  EXPECT_EQ(view_.Status[0], app::kEmptyStateText);
  EXPECT_TRUE(view_.Commands.none());
  EXPECT_EQ(view_.Pane, app::TLeftPane::lpFileBrowser);
  EXPECT_EQ(view_.BrowsedFolder, settings_->LastOpenDir);
}

TEST_F(MainForm, NestedArchiveOpensInPlace) {
  MakeStoredZip(Path("files/inner.zip"), {{"deep.txt", "deep"}});
  MakeStoredZip(Path("files/outer.zip"), {{"inner.zip", ReadAll(Path("files/inner.zip"))}});
  Form().OpenAndLoad(Path("files/outer.zip"));
  view_.Selected = {0};
  view_.Focused = 0;
  Form().OpenClick();
  const std::string inner = Form().TempFolder() + "inner.zip";
  EXPECT_EQ(Form().CurrentArchive(), inner);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"deep.txt"}));
  EXPECT_TRUE(view_.Opened.empty());
  Form().CloseArchiveClick();
  EXPECT_FALSE(platform::FileExists(inner));  // a temporary file like every opened entry
}

TEST_F(MainForm, EncodedFileAsksToDecodeWithOneParameter) {
  // Without exactly one program parameter the encoded file is listed as it is.
  Form().OpenAndLoad(test::FixturePath("uue/text.uue"));
  EXPECT_EQ(Form().ArchiveKind(), ".enc");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"text.txt"}));
  EXPECT_TRUE(view_.Messages.empty());
  EXPECT_FALSE(Enabled(view_.Commands, TCommand::cmUUencode));
  form_.reset();

  MakeStoredZip(Path("files/payload.zip"), {{"inside.txt", "in"}});
  apptest::WriteFile(Path("files/mail.uue"), UuEncode("payload.zip", ReadAll(Path("files/payload.zip"))));
  parameters_ = {Path("files/mail.uue")};
  view_.Answers = {TMsgResult::mrNo};
  Form().OpenAndLoad(Path("files/mail.uue"));
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_EQ(view_.Messages[0].Text, app::kDecodeAskText);
  EXPECT_EQ(Form().ArchiveKind(), ".enc");

  view_.Messages.clear();
  Form().OpenAndLoad(Path("files/mail.uue"));  // answered Yes
  EXPECT_EQ(Form().ArchiveKind(), ".zip");
  EXPECT_EQ(Form().CurrentArchive(), Path("etmp/payload.zip"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"inside.txt"}));
}

TEST_F(MainForm, VolumePrompts) {
  settings_->AutoVolume = 1;  // volumes that exist are taken without asking
  Form().OpenAndLoad(test::FixturePath("arj/arj_multivol.arj"));
  EXPECT_TRUE(view_.Messages.empty());
  const std::size_t all = Form().Contents.EntryCount();
  EXPECT_EQ(all, 2u);

  settings_->AutoVolume = 0;
  view_.Answers = {TMsgResult::mrCancel};
  Form().OpenAndLoad(test::FixturePath("arj/arj_multivol.arj"));
  ASSERT_FALSE(view_.Messages.empty());
  EXPECT_EQ(view_.Messages[0].Text.rfind("Insert volume(", 0), 0u) << view_.Messages[0].Text;
  EXPECT_NE(view_.Messages[0].Text.find("arj_multivol.a01"), std::string::npos);
  EXPECT_EQ(view_.Messages[0].Buttons, app::TMsgButtons::mbOKCancel);
  EXPECT_LT(Form().Contents.EntryCount(), all);

  bool cancel = false;
  view_.Answers = {TMsgResult::mrCancel};
  Form().UnZIPGetZipLastDisk(Form().DivED1, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(view_.Messages.back().Text, "Insert LAST disk of this archive set.");
  Form().UnZIPGetZipNextDisk(Form().DivED1, "PKBACK# 002", cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(view_.Messages.back().Text, "Insert disk#: PKBACK# 002");
}

TEST_F(MainForm, FavouriteFoldersByMode) {
  MakeStoredZip(Path("files/f.zip"), {{"f.txt", "f"}});
  settings_->Favorites.Folders.clear();
  settings_->Favorites.AddFolderMode = 1;
  view_.Answers = {TMsgResult::mrNo};
  Form().OpenAndLoad(Path("files/f.zip"));
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_EQ(view_.Messages[0].Text,
            "Add \"" + app::LowerText(Path("files")) + "\" TO favorite Zip Folders?");
  EXPECT_TRUE(settings_->Favorites.Folders.empty());
  settings_->Favorites.AddFolderMode = 0;
  Form().OpenAndLoad(Path("files/f.zip"));
  Form().OpenAndLoad(Path("files/f.zip"));
  EXPECT_EQ(settings_->Favorites.Folders, (std::vector<std::string>{Path("files")}));
}

TEST_F(MainForm, CommentIndicatorAndFirstLoadHooks) {
  MakeStoredZip(Path("files/c.zip"), {{"c.txt", "c"}}, "an archive comment");
  settings_->AShowComment = 1;
  settings_->AutoPackageInstall = 1;
  int comments = 0, installs = 0;
  Form().OnShowComment = [&] { ++comments; };
  Form().OnAutoInstall = [&] { ++installs; };
  Form().OpenAndLoad(Path("files/c.zip"));
  EXPECT_TRUE(view_.CommentShown);
  EXPECT_EQ(comments, 1);
  Form().LoadListing();  // a reload is not the first load after the open
  EXPECT_EQ(comments, 1);
  EXPECT_EQ(installs, 0);  // no setup.exe

  MakeStoredZip(Path("files/n.zip"), {{"n.txt", "n"}});
  Form().OpenAndLoad(Path("files/n.zip"));
  EXPECT_FALSE(view_.CommentShown);
}

TEST_F(MainForm, WorkingFolderFallsBackToProgramTemp) {
  settings_->TempFolder = Path("missing/");
  MakeStoredZip(Path("files/w.zip"), {{"w.txt", "w"}});
  Form().OpenAndLoad(Path("files/w.zip"));
  const std::string expected = platform::JoinPath(Path("prog/"), "TEMP") + platform::kPathSeparator;
  EXPECT_EQ(Form().TempFolder(), expected);
  EXPECT_EQ(settings_->TempFolder, expected);
  EXPECT_TRUE(platform::DirectoryExists(expected));
}

TEST_F(MainForm, DownCaseAndIcons) {
  settings_->DownCaseFileNames = 1;
  MakeStoredZip(Path("files/d.zip"), {{"DIR/README.TXT", "r"}, {"A.TXT", "a"}, {"B.Txt", "b"},
                                      {"Setup.EXE", "s"}, {"run.exe", "e"}});
  Form().OpenAndLoad(Path("files/d.zip"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "b.txt", "dir\\readme.txt", "run.exe",
                                                "setup.exe"}));
  // One shell query per extension, and the special icons once each.
  EXPECT_EQ(view_.IconQueries[Form().TempFolder() + "tslytmp.txt"], 1);
  EXPECT_EQ(view_.IconQueries[platform::JoinPath(Path("prog/"), "exe.ico")], 1);
  EXPECT_EQ(view_.IconQueries[platform::JoinPath(Path("prog/"), "INSTALL.ico")], 1);
  EXPECT_EQ(view_.IconQueries[platform::JoinPath(Path("prog/"), "readme.ico")], 1);
  const auto& t = Form().Contents.EntryTable;
  EXPECT_EQ(t[0].Icon, t[1].Icon);
  EXPECT_NE(t[0].Icon, t[2].Icon);  // readme
  EXPECT_NE(t[3].Icon, t[4].Icon);  // setup.exe
}

TEST_F(MainForm, DroppedFiles) {
  MakeStoredZip(Path("files/drop.zip"), {{"d.txt", "d"}});
  std::vector<std::string> dialog;
  Form().OnShowDragDialog = [&](const std::vector<std::string>& f) { dialog = f; };
  EXPECT_TRUE(Form().FileDrag1Drop({Path("files/drop.zip")}, false));
  EXPECT_EQ(Form().CurrentArchive(), Path("files/drop.zip"));
  EXPECT_FALSE(Form().FileDrag1Drop({Path("files/drop.zip")}, false));  // open: add dialog
  EXPECT_EQ(dialog.size(), 1u);
  EXPECT_TRUE(Form().FileDrag1Drop({Path("files/drop.zip")}, true));
  EXPECT_FALSE(Form().FileDrag1Drop({Path("files/a.txt"), Path("files/b.txt")}, true));
}

TEST_F(MainForm, CheckOutFolderRemovedOnClose) {
  MakeStoredZip(Path("files/k.zip"), {{"k.txt", "k"}});
  Form().OpenAndLoad(Path("files/k.zip"));
  std::filesystem::create_directories(Path("co/sub"));
  apptest::WriteFile(Path("co/sub/locked.txt"), "x");
  platform::SetFileAttributes(Path("co/sub/locked.txt"), platform::kAttrReadOnly);
  Form().CheckOutFolder = Path("co");
  Form().CheckOutProgramGroup = Path("group");
  Form().CloseArchiveClick();
  ASSERT_EQ(view_.Messages.size(), 1u);
  EXPECT_NE(view_.Messages[0].Text.find("You were using checkout feature."), std::string::npos);
  EXPECT_FALSE(platform::DirectoryExists(Path("co")));
  EXPECT_TRUE(Form().CheckOutFolder.empty());
}

TEST(ArchiveKinds, CommandTable) {
  using app::TCommandFacts;
  auto cmds = [](std::string kind, std::string ext, bool readOnly = false, bool multi = false) {
    TCommandFacts f;
    f.Kind = std::move(kind);
    f.FileExtension = std::move(ext);
    f.ReadOnly = readOnly;
    f.MultiDisk = multi;
    return app::CommandsForArchive(f);
  };
  struct {
    const char* kind;
    bool add, del, comment, rename, test, uuenc;
  } rows[] = {
      {".zip", 1, 1, 1, 1, 1, 1}, {".exe", 1, 1, 1, 0, 1, 1}, {".rar", 0, 0, 0, 0, 1, 1},
      {".lzh", 1, 1, 0, 0, 1, 1}, {".cab", 1, 0, 0, 0, 0, 1}, {".tar", 1, 1, 0, 0, 1, 1},
      {".bh", 1, 1, 0, 0, 1, 1},  {".enc", 0, 0, 0, 0, 0, 0}, {".bz2", 0, 0, 0, 0, 0, 1},
      {".gz", 0, 0, 0, 0, 1, 1},  {".arj", 0, 0, 0, 0, 1, 1}, {".ace", 0, 0, 0, 0, 1, 1},
  };
  for (const auto& r : rows) {
    const app::TCommandSet s = cmds(r.kind, r.kind);
    EXPECT_EQ(Enabled(s, TCommand::cmAdd), r.add) << r.kind;
    EXPECT_EQ(Enabled(s, TCommand::cmDeleteEntries), r.del) << r.kind;
    EXPECT_EQ(Enabled(s, TCommand::cmComment), r.comment) << r.kind;
    EXPECT_EQ(Enabled(s, TCommand::cmRenameEntry), r.rename) << r.kind;
    EXPECT_EQ(Enabled(s, TCommand::cmTest), r.test) << r.kind;
    EXPECT_EQ(Enabled(s, TCommand::cmUUencode), r.uuenc) << r.kind;
    EXPECT_TRUE(Enabled(s, TCommand::cmExtract)) << r.kind;
  }
  EXPECT_TRUE(Enabled(cmds(".zip", ".zip"), TCommand::cmMakeExe));
  EXPECT_FALSE(Enabled(cmds(".zip", ".exe"), TCommand::cmMakeExe));
  EXPECT_TRUE(Enabled(cmds(".zip", ".exe"), TCommand::cmExeToZip));
  EXPECT_TRUE(Enabled(cmds(".exe", ".exe"), TCommand::cmExeToZip));
  EXPECT_FALSE(Enabled(cmds(".lzh", ".exe"), TCommand::cmExeToZip));
  const app::TCommandSet ro = cmds(".zip", ".zip", true);
  for (TCommand c : {TCommand::cmAdd, TCommand::cmDeleteEntries, TCommand::cmRenameEntry,
                     TCommand::cmMoveArchive, TCommand::cmRenameArchive, TCommand::cmDeleteArchive})
    EXPECT_FALSE(Enabled(ro, c));
  EXPECT_TRUE(Enabled(ro, TCommand::cmCopyArchive));
  const app::TCommandSet mv = cmds(".zip", ".zip", false, true);
  EXPECT_FALSE(Enabled(mv, TCommand::cmRenameEntry));
  EXPECT_FALSE(Enabled(mv, TCommand::cmMakeExe));
  EXPECT_TRUE(Enabled(mv, TCommand::cmAdd));

  EXPECT_EQ(app::KindOfArcType(engine::TArcType::atLhaExe), ".lzh");
  EXPECT_EQ(app::KindOfArcType(engine::TArcType::atZipMV), ".zip");
  EXPECT_EQ(app::KindOfArcType(engine::TArcType::atHa), "");
  EXPECT_NE(app::MakeExtractor(".lzh"), nullptr);
  EXPECT_EQ(app::MakeExtractor(".rar"), nullptr);
}

}  // namespace
