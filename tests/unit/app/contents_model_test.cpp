// The listing model: entries from members, explorer folders, sorting, selection texts,
// display texts and the mask matcher.
#include "app/contents_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/display_texts.h"
#include "engine/core/dates.h"

namespace {

using app::TContentsModel;
using app::TDisplayStyle;
using app::TFile;
using app::TListedMember;

struct TMember {
  std::string Name;
  std::int64_t Packed;
  std::int64_t Unpacked;
  double Date = 40000;
};

TContentsModel Listing(const std::vector<TMember>& members,
                       TDisplayStyle style = TDisplayStyle::dsClassic,
                       std::string folder = "\\", int sortOrder = 8) {
  TContentsModel m;
  m.Style = style;
  m.CurrentFolder = folder;
  m.SortOrder = sortOrder;
  m.BeginListing();
  for (const TMember& x : members) {
    TListedMember lm;
    lm.FullName = x.Name;
    lm.PackedSize = x.Packed;
    lm.UnpackedSize = x.Unpacked;
    lm.Date = x.Date;
    m.AddMember(lm);
  }
  m.FinishListing();
  m.Sort();
  return m;
}

std::vector<std::string> Names(const TContentsModel& m) {
  std::vector<std::string> out;
  for (const TFile& f : m.EntryTable) out.push_back(f.Name);
  return out;
}

TEST(DisplayTexts, RatioTextAlwaysTwoDigitsOrHundred) {
  struct {
    std::int64_t packed, unpacked;
    const char* text;
  } rows[] = {
      {0, 0, "00%"},        // nothing unpacked
      {5, 0, "00%"},
      {120, 100, "00%"},    // grew
      {95, 100, "05%"},
      {955, 1000, "05%"},   // 4.5 rounds up
      {50, 100, "50%"},
      {1, 1000, "100%"},    // 99.9 rounds to 100
      {0, 100, "100%"},
      {10, 100, "90%"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(app::RatioText(r.packed, r.unpacked), r.text) << r.packed << "/" << r.unpacked;
}

TEST(DisplayTexts, ThousandsAndLocaleDates) {
  app::TLocaleFormat de;
  de.ThousandsSeparator = ".";
  de.ShortDate = "dd.MM.yyyy";
  de.ShortTime = "HH:mm:ss";
  EXPECT_EQ(app::ThousandsText("1234567", de), "1.234.567");
  EXPECT_EQ(app::ThousandsText("123", de), "123");
  EXPECT_EQ(app::ThousandsText("-1234", de), "-1.234");
  EXPECT_EQ(app::ThousandsText("?", de), "?");
  EXPECT_EQ(app::ThousandsText("SUB-DIR", de), "SUB-DIR");
  EXPECT_EQ(app::ThousandsText(std::int64_t{1000}, app::TLocaleFormat{}), "1,000");

  const double date = engine::EncodeDate({2024, 3, 5, 14, 7, 59});
  EXPECT_EQ(app::FormatEntryDate(date, de), "05.03.2024 14:07");  // seconds dropped
  app::TLocaleFormat us;
  us.ShortDate = "M/d/yy";
  us.ShortTime = "h:mm:ss tt";
  EXPECT_EQ(app::FormatEntryDate(date, us), "3/5/24 2:07 PM");
  us.ShortDate = "'Day' d";
  EXPECT_EQ(app::FormatEntryDate(engine::EncodeDate({2024, 3, 5, 0, 5, 0}), us), "Day 5 12:05 AM");
}

TEST(ContentsModel, EntriesFromMembers) {
  TContentsModel m;
  m.Kind = ".zip";
  m.BeginListing();
  TListedMember a;
  a.FullName = "docs/Read Me.txt";
  a.PackedSize = 40;
  a.UnpackedSize = 100;
  a.Encrypted = true;
  a.Volume = "vol1";
  m.AddMember(a);
  TListedMember b;
  b.FullName = "\\top.bin";
  b.PackedSize = 0;
  b.UnpackedSize = 0;
  m.AddMember(b);
  ASSERT_EQ(m.EntryCount(), 2u);
  const TFile& f = m.EntryTable[0];
  EXPECT_EQ(f.Name, "Read Me.txt");
  EXPECT_EQ(f.Path, "docs\\");
  EXPECT_EQ(f.Size, "100");
  EXPECT_EQ(f.Packed, "40");
  EXPECT_EQ(f.Ratio, "60%");
  EXPECT_EQ(f.Encrypted, 1);
  EXPECT_EQ(m.VolumeOf(f), "vol1");
  EXPECT_EQ(m.EntryTable[1].Path, "");  // a path of "\" alone becomes empty
  EXPECT_EQ(m.EntryTable[1].Ratio, "00%");
  EXPECT_EQ(m.TotalPacked, 40);
  EXPECT_EQ(m.TotalUnpacked, 100);
  EXPECT_EQ(m.EntriesRead, 2);

  app::TLocaleFormat loc;
  const app::TDisplayRecord r = m.DisplayRecordOf(0, loc);
  EXPECT_EQ(r.Texts[0], "Read Me.txt+");  // encrypted
  EXPECT_EQ(r.Texts[5], "docs\\");

  TContentsModel cab;
  cab.Kind = ".cab";
  cab.DownCaseNames = true;
  cab.BeginListing();
  cab.AddMember(a);
  EXPECT_EQ(cab.EntryTable[0].Packed, "?");
  EXPECT_EQ(cab.EntryTable[0].Ratio, "?");
  EXPECT_EQ(cab.EntryTable[0].Name, "read me.txt");
  EXPECT_EQ(cab.EntryTable[0].Path, "docs\\");
}

TEST(ContentsModel, ExplorerStyleFoldersPseudoEntriesAndTree) {
  const std::vector<TMember> members = {
      {"a\\b\\c\\x.txt", 1, 1}, {"root.txt", 1, 1}, {"A\\y.txt", 1, 1}, {"d\\z.txt", 1, 1}};
  TContentsModel root = Listing(members, TDisplayStyle::dsExplorer);
  EXPECT_EQ(Names(root), (std::vector<std::string>{"a\\", "d\\", "root.txt"}));
  EXPECT_EQ(root.FolderEntries, 2);
  EXPECT_EQ(root.EntriesRead, 4);
  EXPECT_EQ(root.FolderList,
            (std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\c\\", "d\\"}));

  const auto tree = root.BuildFolderTree("Data.ZIP");
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[0].Name, "data.zip");
  EXPECT_EQ(tree[2].Name, "b");
  EXPECT_EQ(tree[2].Parent, 1);
  EXPECT_EQ(tree[3].Folder, "a\\b\\c\\");
  EXPECT_EQ(tree[3].Parent, 2);
  EXPECT_EQ(TContentsModel::FindFolderNode(tree, "A\\B\\"), 2);
  EXPECT_EQ(root.FolderTitle("Data.ZIP"), "data");

  // Inside a: the folder b, the member y.txt (folder A\ matches a\ without regard to
  // case), and the up entry, folders first.
  TContentsModel inA = Listing(members, TDisplayStyle::dsExplorer, "a\\", app::kSortName);
  EXPECT_EQ(Names(inA), (std::vector<std::string>{"..\\", "b\\", "y.txt"}));
  EXPECT_EQ(inA.EntryTable[0].Size, "UP---DIR");
  EXPECT_EQ(inA.EntryTable[1].Size, "SUB-DIR");
  EXPECT_EQ(inA.EntryTable[1].Path, "a\\");
  EXPECT_EQ(inA.FolderTitle("Data.ZIP"), "data\\a");
  const app::TDisplayRecord r = inA.DisplayRecordOf(1, app::TLocaleFormat{});
  EXPECT_EQ(r.Texts[0], "b");
  EXPECT_EQ(r.Texts[1], "");

  EXPECT_EQ(TContentsModel::ParentFolder("a\\b\\"), "a\\");
  EXPECT_EQ(TContentsModel::ParentFolder("a\\"), "\\");
  EXPECT_EQ(TContentsModel::ParentFolder("\\"), "\\");
}

TEST(ContentsModel, SortOrderCommandsCycle) {
  EXPECT_EQ(app::NextSortOrder(1, 1), 10);
  EXPECT_EQ(app::NextSortOrder(10, 1), 1);
  EXPECT_EQ(app::NextSortOrder(10, 4), 4);
  EXPECT_EQ(app::NextSortOrder(4, 4), 13);
  EXPECT_EQ(app::NextSortOrder(8, 8), 8);
  EXPECT_EQ(app::NextSortOrder(3, 8), 8);

  using app::TColumn;
  using app::TSortArrow;
  EXPECT_EQ(app::SortIndicatorFor(13).Column, TColumn::coSize);
  EXPECT_EQ(app::SortIndicatorFor(13).Arrow, TSortArrow::saUp);
  EXPECT_EQ(app::SortIndicatorFor(4).Arrow, TSortArrow::saDown);
  EXPECT_EQ(app::SortIndicatorFor(16).Column, TColumn::coModified);
  EXPECT_EQ(app::SortIndicatorFor(16).Arrow, TSortArrow::saUp);
  for (int none : {3, 12, 8}) EXPECT_EQ(app::SortIndicatorFor(none).Arrow, TSortArrow::saNone);
  EXPECT_EQ(app::SortBaseForColumn(TColumn::coModified), app::kSortDate);
}

TEST(ContentsModel, EverySortOrder) {
  const std::vector<TMember> members = {
      {"b.txt", 5, 10, 40002},  {"C.doc", 9, 9, 40001}, {"a.zip", 1, 100, 40003},
      {"z\\d", 50, 100, 40000}, {"e.doc", 0, 0, 40004}, {"y\\f.txt", 20, 200, 39999},
  };
  struct {
    int order;
    std::vector<std::string> names;
  } rows[] = {
      {1, {"a.zip", "b.txt", "C.doc", "d", "e.doc", "f.txt"}},
      {10, {"f.txt", "e.doc", "d", "C.doc", "b.txt", "a.zip"}},
      {2, {"a.zip", "b.txt", "C.doc", "e.doc", "f.txt", "d"}},       // root, then y, then z
      {3, {"d", "C.doc", "e.doc", "b.txt", "f.txt", "a.zip"}},       // no extension first
      {4, {"f.txt", "a.zip", "d", "b.txt", "C.doc", "e.doc"}},       // largest first
      {13, {"e.doc", "C.doc", "b.txt", "d", "a.zip", "f.txt"}},      // ties reversed too
      {5, {"d", "f.txt", "C.doc", "b.txt", "a.zip", "e.doc"}},
      {6, {"a.zip", "f.txt", "b.txt", "d", "C.doc", "e.doc"}},       // 99% 90% 50% 50% 00% 00%
      {7, {"e.doc", "a.zip", "b.txt", "C.doc", "d", "f.txt"}},       // newest first
      {16, {"f.txt", "d", "C.doc", "b.txt", "a.zip", "e.doc"}},
      {8, {"b.txt", "C.doc", "a.zip", "d", "e.doc", "f.txt"}},       // as listed
  };
  for (const auto& r : rows)
    EXPECT_EQ(Names(Listing(members, TDisplayStyle::dsClassic, "\\", r.order)), r.names)
        << "order " << r.order;
}

TEST(ContentsModel, SizesSortAsNumbersAndRatiosAsText) {
  const std::vector<TMember> sizes = {{"nine", 9, 9}, {"hundred", 100, 100}, {"ten", 10, 10}};
  EXPECT_EQ(Names(Listing(sizes, TDisplayStyle::dsClassic, "\\", app::kSortSize)),
            (std::vector<std::string>{"hundred", "ten", "nine"}));
  // 100% falls between 11% and 10% when ratio texts are compared byte by byte.
  const std::vector<TMember> ratios = {{"r10", 90, 100}, {"r100", 0, 100}, {"r11", 89, 100}};
  EXPECT_EQ(Names(Listing(ratios, TDisplayStyle::dsClassic, "\\", app::kSortRatio)),
            (std::vector<std::string>{"r11", "r100", "r10"}));
}

TEST(ContentsModel, FolderEntriesStayFirstInEveryOrder) {
  const std::vector<TMember> members = {{"b\\1", 1, 1}, {"x.txt", 1, 50}, {"a\\2", 1, 1},
                                        {"w.txt", 1, 5}, {"c\\3", 1, 1}};
  for (int order : {1, 10, 4, 13, 7, 16, 3, 12, 6, 15}) {
    const auto names = Names(Listing(members, TDisplayStyle::dsExplorer, "\\", order));
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"a\\", "b\\", "c\\"}))
        << "order " << order;
  }
  EXPECT_EQ(Names(Listing(members, TDisplayStyle::dsExplorer, "\\", 10)),
            (std::vector<std::string>{"a\\", "b\\", "c\\", "x.txt", "w.txt"}));
  // The listed order moves nothing but the folder entries to the front.
  EXPECT_EQ(Names(Listing(members, TDisplayStyle::dsExplorer, "\\", 8)),
            (std::vector<std::string>{"b\\", "a\\", "c\\", "w.txt", "x.txt"}));
}

TEST(ContentsModel, SelectionStatusAndTypeAhead) {
  TContentsModel m = Listing({{"d\\x", 1, 1}, {"d\\big", 1, 3000}, {"d\\small", 1, 100},
                              {"d\\e\\y", 1, 1}},
                             TDisplayStyle::dsExplorer, "d\\", app::kSortName);
  ASSERT_EQ(Names(m), (std::vector<std::string>{"..\\", "e\\", "big", "small", "x"}));
  app::TLocaleFormat loc;
  EXPECT_EQ(m.SelectionStatusText(loc), "No file(s) selected.");
  m.SetSelection({0});
  EXPECT_EQ(m.SelectionStatusText(loc), "No file(s) selected.");  // the up entry alone
  m.SetSelection({0, 1, 2, 3});
  EXPECT_EQ(m.SelectionStatusText(loc), "Selected 4 files, 3 kB");  // 3100 bytes
  m.SetSelection({3});
  EXPECT_EQ(m.SelectionStatusText(loc), "Selected 1 file, 0 kB");
  m.Kind = ".cab";
  EXPECT_EQ(m.SelectionStatusText(loc), "Selected 1 file, ? kB");

  EXPECT_EQ(m.FindByFirstChar(-1, 'S'), 3u);
  EXPECT_EQ(m.FindByFirstChar(2, 'b'), std::nullopt);  // no wrap-around
  EXPECT_EQ(m.FindByFirstChar(0, 'E'), 1u);
}

TEST(MatchMask, Cases) {
  struct {
    const char* name;
    const char* mask;
    bool match;
  } rows[] = {
      {"ReadMe.TXT", "*.txt", true}, {"abc", "a?c", true},      {"abc", "abc*bc", false},
      {"readme", "*.*", false},      {"readme", "*", true},     {"", "*", true},
      {"abc", "a**c", true},         {"abcbc", "abc*bc", true}, {"abc", "ab", false},
      {"ab", "abc", false},          {"x.tar.gz", "*.gz", true}, {"x.tar.gz", "*t*.?z", true},
      {"axbxc", "a*b*c", true},      {"axbxd", "a*b*c", false}, {"a.b", "*.", false},
      {"setup.exe", "SET*", true},   {"abc", "?", false},       {"abc", "*?", true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(app::MatchMask(r.name, r.mask), r.match) << r.name << " ~ " << r.mask;
}

}  // namespace
