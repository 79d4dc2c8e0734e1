// The settings registry: the file registry (and an in-memory one) everywhere, the system
// registry under a throw-away key on Windows.
#include "platform/registry.h"

#include "platform/fs.h"
#include "platform/path.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::IRegistry;
using platform::TRegRoot;
using platform_test::ReadWholeFile;
using platform_test::ScratchDir;
using platform_test::WriteFile;

constexpr TRegRoot kUser = TRegRoot::rrCurrentUser;
constexpr TRegRoot kClasses = TRegRoot::rrClassesRoot;

std::string UniqueName() {
  std::random_device rd;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  std::string name = "T";
  name += std::to_string(rd());
  name += '_';
  name += std::to_string(now);
  return name;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

enum class TKind { File, Memory, System };

// One registry under test. Keys go below `base_` (HKCU) and `classesBase_` (HKCR), which
// are unique throw-away keys for the system registry and removed at the end.
class RegistryTest : public ::testing::TestWithParam<TKind> {
 protected:
  void SetUp() override {
    const std::string unique = UniqueName();
    base_ = "Software\\TessalyTest\\" + unique;
    classesBase_ = "TessalyTest." + unique;
    switch (GetParam()) {
      case TKind::File:
        file_ = scratch_ / "cfg" + std::string(1, platform::kPathSeparator) + "registry";
        registry_ = platform::OpenFileRegistry(file_);
        break;
      case TKind::Memory:
        registry_ = platform::OpenFileRegistry("");
        break;
      case TKind::System:
        break;
    }
  }

  void TearDown() override {
    if (GetParam() == TKind::System) {
      Reg().DeleteKey(kUser, base_);
      Reg().DeleteKey(kClasses, classesBase_);
      // Leave HKCU\Software\TessalyTest only when another run still uses it.
      if (Reg().SubkeyNames(kUser, "Software\\TessalyTest").empty()) {
        Reg().DeleteKey(kUser, "Software\\TessalyTest");
      }
    }
  }

  IRegistry& Reg() { return registry_ ? *registry_ : platform::SystemRegistry(); }
  // For the file registry: a second object on the same file, so that reads go through
  // the file; the others stay as they are.
  void Reopen() {
    if (GetParam() == TKind::File) registry_ = platform::OpenFileRegistry(file_);
  }
  std::string Key(std::string_view sub = {}) const {
    return sub.empty() ? base_ : base_ + "\\" + std::string(sub);
  }

  ScratchDir scratch_;
  std::string file_;
  std::unique_ptr<IRegistry> registry_;
  std::string base_;
  std::string classesBase_;
};

TEST_P(RegistryTest, ValuesRoundTripWithTheirTypes) {
  std::vector<std::uint8_t> allBytes(256);
  for (int i = 0; i < 256; ++i) allBytes[i] = static_cast<std::uint8_t>(i);
  const std::string awkward = "a=b%20[x]\\y\t\"q\" \xc3\x9cnicode \xe2\x9c\x93 100%";
  const std::string lines = "line1\r\nline2\n";

  ASSERT_TRUE(Reg().WriteDword(kUser, Key(), "Zero", 0));
  ASSERT_TRUE(Reg().WriteDword(kUser, Key(), "Max", 0xFFFFFFFFu));
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "Empty", ""));
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "Awkward", awkward));
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "Lines", lines));
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "", "default value"));
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "name = with [odd] %chars%", "v"));
  ASSERT_TRUE(Reg().WriteBinary(kUser, Key(), "Bytes", allBytes));
  ASSERT_TRUE(Reg().WriteBinary(kUser, Key(), "NoBytes", {}));
  ASSERT_TRUE(Reg().WriteDword(kClasses, classesBase_, "Zero", 7));  // another root
  Reopen();

  EXPECT_EQ(Reg().ReadDword(kUser, Key(), "Zero"), 0u);
  EXPECT_EQ(Reg().ReadDword(kUser, Key(), "Max"), 0xFFFFFFFFu);
  EXPECT_EQ(Reg().ReadString(kUser, Key(), "Empty"), "");
  EXPECT_EQ(Reg().ReadString(kUser, Key(), "Awkward"), awkward);
  EXPECT_EQ(Reg().ReadString(kUser, Key(), "Lines"), lines);
  EXPECT_EQ(Reg().ReadString(kUser, Key(), ""), "default value");
  EXPECT_EQ(Reg().ReadString(kUser, Key(), "name = with [odd] %chars%"), "v");
  EXPECT_EQ(Reg().ReadBinary(kUser, Key(), "Bytes"), allBytes);
  EXPECT_EQ(Reg().ReadBinary(kUser, Key(), "NoBytes"), std::vector<std::uint8_t>{});
  EXPECT_EQ(Reg().ReadDword(kClasses, classesBase_, "Zero"), 7u);

  // A value of another type, a missing value and a missing key read as nothing.
  EXPECT_FALSE(Reg().ReadString(kUser, Key(), "Zero"));
  EXPECT_FALSE(Reg().ReadBinary(kUser, Key(), "Zero"));
  EXPECT_FALSE(Reg().ReadDword(kUser, Key(), "Empty"));
  EXPECT_FALSE(Reg().ReadDword(kUser, Key(), "Bytes"));
  EXPECT_FALSE(Reg().ReadString(kUser, Key(), "Bytes"));
  EXPECT_FALSE(Reg().ReadDword(kUser, Key(), "Missing"));
  EXPECT_FALSE(Reg().ReadDword(kUser, Key("Nowhere"), "Zero"));

  // A write replaces the value whatever its type.
  ASSERT_TRUE(Reg().WriteString(kUser, Key(), "Zero", "now text"));
  Reopen();
  EXPECT_FALSE(Reg().ReadDword(kUser, Key(), "Zero"));
  EXPECT_EQ(Reg().ReadString(kUser, Key(), "Zero"), "now text");
}

TEST_P(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
  ASSERT_TRUE(Reg().WriteDword(kUser, Key("Adding Options"), "Sort Order", 1));
  ASSERT_TRUE(Reg().WriteDword(kUser, Key("ADDING OPTIONS"), "SORT ORDER", 2));
  Reopen();
  EXPECT_TRUE(Reg().KeyExists(kUser, Key("adding options")));
  EXPECT_EQ(Reg().ReadDword(kUser, Key("adding OPTIONS"), "sort order"), 2u);
  EXPECT_EQ(Reg().SubkeyNames(kUser, Key()), std::vector<std::string>{"Adding Options"});
  EXPECT_EQ(Reg().ValueNames(kUser, Key("Adding Options")),
            std::vector<std::string>{"Sort Order"});
}

TEST_P(RegistryTest, KeysTreesAndEnumeration) {
  EXPECT_FALSE(Reg().KeyExists(kUser, Key()));
  EXPECT_TRUE(Reg().ValueNames(kUser, Key()).empty());
  EXPECT_TRUE(Reg().SubkeyNames(kUser, Key()).empty());

  // Creating a key creates its parents; an empty key persists.
  ASSERT_TRUE(Reg().CreateKey(kUser, Key("A\\Empty")));
  ASSERT_TRUE(Reg().WriteString(kUser, Key("A\\B\\C"), "deep", "x"));
  ASSERT_TRUE(Reg().WriteDword(kUser, Key("A"), "one", 1));
  ASSERT_TRUE(Reg().WriteDword(kUser, Key("A"), "two", 2));
  ASSERT_TRUE(Reg().WriteDword(kUser, Key("A b"), "sibling", 3));  // sorts between A and A\B
  Reopen();
  EXPECT_TRUE(Reg().KeyExists(kUser, Key("A\\Empty")));
  EXPECT_TRUE(Reg().KeyExists(kUser, Key("A\\B")));
  EXPECT_EQ(Sorted(Reg().SubkeyNames(kUser, Key())), (std::vector<std::string>{"A", "A b"}));
  EXPECT_EQ(Sorted(Reg().SubkeyNames(kUser, Key("A"))), (std::vector<std::string>{"B", "Empty"}));
  EXPECT_EQ(Sorted(Reg().ValueNames(kUser, Key("A"))), (std::vector<std::string>{"one", "two"}));

  ASSERT_TRUE(Reg().DeleteValue(kUser, Key("A"), "ONE"));
  EXPECT_TRUE(Reg().DeleteValue(kUser, Key("A"), "never there"));
  EXPECT_FALSE(Reg().DeleteValue(kUser, Key("No such key"), "x"));
  Reopen();
  EXPECT_EQ(Reg().ValueNames(kUser, Key("A")), std::vector<std::string>{"two"});

  // Deleting a key takes its whole tree and nothing beside it.
  ASSERT_TRUE(Reg().DeleteKey(kUser, Key("a")));
  Reopen();
  EXPECT_FALSE(Reg().KeyExists(kUser, Key("A")));
  EXPECT_FALSE(Reg().KeyExists(kUser, Key("A\\B\\C")));
  EXPECT_FALSE(Reg().ReadString(kUser, Key("A\\B\\C"), "deep"));
  EXPECT_EQ(Reg().ReadDword(kUser, Key("A b"), "sibling"), 3u);
  EXPECT_TRUE(Reg().DeleteKey(kUser, Key("A")));  // already gone
  EXPECT_FALSE(Reg().DeleteKey(kUser, ""));       // never the root
}

TEST_P(RegistryTest, KeyPathsWithEmptyComponentsAreRefused) {
  std::string leading(1, '\\');
  leading += Key();
  for (const std::string& bad : {Key() + "\\\\x", leading, Key() + "\\"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Reg().CreateKey(kUser, bad));
    EXPECT_FALSE(Reg().WriteDword(kUser, bad, "v", 1));
    EXPECT_FALSE(Reg().ReadDword(kUser, bad, "v"));
    EXPECT_FALSE(Reg().KeyExists(kUser, bad));
  }
  EXPECT_FALSE(Reg().KeyExists(kUser, Key()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, RegistryTest,
                         ::testing::ValuesIn(platform::kIsWindows
                                                 ? std::vector<TKind>{TKind::File, TKind::Memory,
                                                                      TKind::System}
                                                 : std::vector<TKind>{TKind::File, TKind::Memory}),
                         [](const auto& info) {
                           switch (info.param) {
                             case TKind::File: return std::string("File");
                             case TKind::Memory: return std::string("Memory");
                             case TKind::System: return std::string("System");
                           }
                           return std::string();
                         });

// --- The file registry's own behaviour ---

class FileRegistryTest : public ::testing::Test {
 protected:
  std::string Path() const { return scratch_ / "registry"; }
  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    for (const auto& e : platform::FindFiles(scratch_.Path())) names.push_back(e.Name);
    return Sorted(names);
  }
  ScratchDir scratch_;
};

TEST_F(FileRegistryTest, TextFormatIsStableAndReadable) {
  auto reg = platform::OpenFileRegistry(Path());
  ASSERT_TRUE(reg->WriteDword(kUser, "Software\\Tessaly", "Sort order", 1));
  ASSERT_TRUE(reg->WriteString(kUser, "Software\\Tessaly", "Last open dir", "C:\\Archives\\"));
  ASSERT_TRUE(reg->WriteBinary(kClasses, ".zip", "Blob", {0x00, 0xff, 0x10}));
  ASSERT_TRUE(reg->WriteString(kUser, "Software\\Tessaly\\General", "a=b", "x\ny%"));
  EXPECT_EQ(ReadWholeFile(Path()),
            "TessalyRegistry 1\n"
            "[HKCR]\n"
            "[HKCR\\.zip]\n"
            "Blob=binary:00ff10\n"
            "[HKCU]\n"
            "[HKCU\\Software]\n"
            "[HKCU\\Software\\Tessaly]\n"
            "Sort order=dword:1\n"
            "Last open dir=string:C:\\Archives\\\n"
            "[HKCU\\Software\\Tessaly\\General]\n"
            "a%3Db=string:x%0Ay%25\n"
            "EndOfRegistry\n");
  // Hand-written files may use CR LF and blank lines.
  ASSERT_TRUE(WriteFile(Path(),
                        "TessalyRegistry 1\r\n\r\n[hkcu\\Software\\Tessaly]\r\nSort order=dword:"
                        "4294967295\r\nEndOfRegistry\r\n\r\n"));
  auto again = platform::OpenFileRegistry(Path());
  EXPECT_EQ(again->ReadDword(kUser, "software\\tessaly", "SORT ORDER"), 0xFFFFFFFFu);
  EXPECT_TRUE(again->KeyExists(kUser, "Software"));
}

TEST_F(FileRegistryTest, DamagedFilesReadAsEmptyAndAreKeptAside) {
  const std::string good = "TessalyRegistry 1\n[HKCU\\K]\nv=dword:1\nEndOfRegistry\n";
  const char* const damaged[] = {
      "",
      "TessalyRegistry 2\n[HKCU\\K]\nv=dword:1\n",
      "v=dword:1\n",
      "TessalyRegistry 1\nv=dword:1\nEndOfRegistry\n",                    // value before any key
      "TessalyRegistry 1\n[HKLM\\K]\nv=dword:1\nEndOfRegistry\n",         // unknown root
      "TessalyRegistry 1\n[HKCU\\\\K]\nv=dword:1\nEndOfRegistry\n",       // empty component
      "TessalyRegistry 1\n[HKCU\\K%5CL]\nv=dword:1\nEndOfRegistry\n",     // separator inside a name
      "TessalyRegistry 1\n[HKCU\\K\nv=dword:1\nEndOfRegistry\n",          // unclosed key line
      "TessalyRegistry 1\n[HKCU\\K]\nv=dword:abc\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=dword:4294967296\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=dword:\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=binary:0f0\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=binary:zz\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=string:50%\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=string:%4\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=float:1.5\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nno equals sign\nEndOfRegistry\n",
      "TessalyRegistry 1\n[HKCU\\K]\nv=dwo",                // truncated
      "\x7f\x45LF\x02\x01\x01\0\0\0garbage\xff\xfe",
      "TessalyRegistry 1\n[HKCU\\K]\nv=dword:1\n",           // no end line
      "TessalyRegistry 1\n[HKCU\\K]\nv=dword:1\nEndOfRegistry\nw=dword:2\n",
  };
  for (const char* text : damaged) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(WriteFile(Path(), text));
    auto reg = platform::OpenFileRegistry(Path());
    EXPECT_FALSE(reg->KeyExists(kUser, "K"));
    EXPECT_FALSE(reg->ReadDword(kUser, "K", "v"));
    EXPECT_TRUE(reg->SubkeyNames(kUser, "").empty());
    // The first write starts afresh and keeps the unreadable file beside it.
    ASSERT_TRUE(reg->WriteDword(kUser, "New", "v", 2));
    EXPECT_EQ(ReadWholeFile(Path() + ".damaged"), text);
    auto reread = platform::OpenFileRegistry(Path());
    EXPECT_EQ(reread->ReadDword(kUser, "New", "v"), 2u);
    platform::DeleteFile(Path() + ".damaged");
  }
  // The good variant is read, so the table above fails for the reason given.
  ASSERT_TRUE(WriteFile(Path(), good));
  EXPECT_EQ(platform::OpenFileRegistry(Path())->ReadDword(kUser, "K", "v"), 1u);
}

TEST_F(FileRegistryTest, EveryTruncationOfAFileIsSafe) {
  {
    auto reg = platform::OpenFileRegistry(Path());
    reg->BeginUpdate();
    reg->WriteString(kUser, "Software\\Tessaly", "Name", "with %escapes% [and] =signs=");
    reg->WriteBinary(kUser, "Software\\Tessaly\\Bin", "b", {1, 2, 3, 4});
    reg->WriteDword(kClasses, ".lzh", "", 12345);
    ASSERT_TRUE(reg->EndUpdate());
  }
  const std::string full = ReadWholeFile(Path());
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    ASSERT_TRUE(WriteFile(Path(), full.substr(0, cut)));
    auto reg = platform::OpenFileRegistry(Path());
    // Whatever survives is consistent: a value read back is exactly the one written.
    const auto name = reg->ReadString(kUser, "Software\\Tessaly", "Name");
    if (name) {
      EXPECT_EQ(*name, "with %escapes% [and] =signs=") << "cut at " << cut;
    }
    const auto dword = reg->ReadDword(kClasses, ".lzh", "");
    if (dword) {
      EXPECT_EQ(*dword, 12345u) << "cut at " << cut;
    }
    reg->SubkeyNames(kUser, "Software");
  }
}

TEST_F(FileRegistryTest, WritesAreSeenByOtherObjectsAndLeaveNoTemporaries) {
  auto a = platform::OpenFileRegistry(Path());
  auto b = platform::OpenFileRegistry(Path());
  ASSERT_TRUE(a->WriteDword(kUser, "K", "v", 1));
  EXPECT_EQ(b->ReadDword(kUser, "K", "v"), 1u);
  ASSERT_TRUE(b->WriteDword(kUser, "K", "v", 2));  // same size as before
  ASSERT_TRUE(b->WriteDword(kUser, "K", "w", 3));
  EXPECT_EQ(a->ReadDword(kUser, "K", "v"), 2u);
  EXPECT_EQ(a->ReadDword(kUser, "K", "w"), 3u);
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"registry"});
}

TEST_F(FileRegistryTest, AnUpdateWritesOnceAtItsEnd) {
  const std::string path = scratch_ / "new folder" + std::string(1, platform::kPathSeparator) +
                           "registry";
  auto reg = platform::OpenFileRegistry(path);
  {
    platform::TRegistryUpdate update(*reg);
    reg->BeginUpdate();  // nested
    ASSERT_TRUE(reg->WriteDword(kUser, "K", "v", 1));
    ASSERT_TRUE(reg->EndUpdate());
    ASSERT_TRUE(reg->WriteString(kUser, "K", "s", "x"));
    EXPECT_EQ(reg->ReadDword(kUser, "K", "v"), 1u);  // visible inside the update
    EXPECT_FALSE(platform::FileExists(path));
  }
  // The folder is created on the way.
  auto other = platform::OpenFileRegistry(path);
  EXPECT_EQ(other->ReadDword(kUser, "K", "v"), 1u);
  EXPECT_EQ(other->ReadString(kUser, "K", "s"), "x");
}

TEST_F(FileRegistryTest, AFailedWriteReportsFalseAndKeepsTheFile) {
  // The registry's folder is a file: nothing can be written.
  ASSERT_TRUE(WriteFile(scratch_ / "blocker", "not a folder"));
  auto reg = platform::OpenFileRegistry(scratch_ / "blocker" +
                                        std::string(1, platform::kPathSeparator) + "registry");
  EXPECT_FALSE(reg->WriteDword(kUser, "K", "v", 1));
  EXPECT_FALSE(reg->ReadDword(kUser, "K", "v"));  // the memory does not pretend otherwise
  reg->BeginUpdate();
  EXPECT_TRUE(reg->WriteDword(kUser, "K", "v", 1));
  EXPECT_FALSE(reg->EndUpdate());
  EXPECT_EQ(ReadWholeFile(scratch_ / "blocker"), "not a folder");
}

TEST(SystemRegistry, CanBeReplacedForTests) {
  auto memory = platform::OpenFileRegistry("");
  platform::SetSystemRegistryForTesting(memory.get());
  EXPECT_EQ(&platform::SystemRegistry(), memory.get());
  platform::SetSystemRegistryForTesting(nullptr);
  EXPECT_NE(&platform::SystemRegistry(), memory.get());
}

}  // namespace
