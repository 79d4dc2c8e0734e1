// TZipMaster's own directory reader: against zipinfo on every ZIP fixture, and the end
// record search, garbage and shifted offsets.
#include <algorithm>
#include <cstdint>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/unit/decoders/zip_test_util.h"
#include "tests/unit/zipbridge/bridge_test_util.h"

namespace {

using namespace bridgetest;
using zipbridge::TZipMaster;

// What zipinfo -v says of an archive.
struct TInfoEntry {
  std::string Name, Comment;
  std::uint64_t Offset = 0, Packed = 0, Unpacked = 0;
  std::uint32_t Crc = 0;
};
struct TInfo {
  std::vector<TInfoEntry> Entries;
  std::string Comment;
  std::int64_t ExtraBytes = 0;  // "N extra bytes at beginning or within zipfile"
};

std::string AfterColon(const std::string& line) {
  const auto c = line.find(':');
  std::string v = c == std::string::npos ? std::string() : line.substr(c + 1);
  v.erase(0, v.find_first_not_of(' '));
  return v;
}

TInfo ParseZipinfo(const std::string& text) {
  TInfo info;
  std::istringstream in(text);
  std::string line;
  std::string* block = nullptr;
  bool nameNext = false;
  while (std::getline(in, line)) {
    if (block) {
      if (line.find("comment ends") != std::string::npos) {
        if (!block->empty() && block->back() == '\n') block->pop_back();
        block = nullptr;
      } else {
        *block += line + "\n";
      }
      continue;
    }
    if (line.find("zipfile comment begins") != std::string::npos) {
      block = &info.Comment;
    } else if (line.find("file comment begins") != std::string::npos) {
      block = &info.Entries.back().Comment;
    } else if (line.rfind("Central directory entry #", 0) == 0) {
      info.Entries.emplace_back();
      nameNext = true;
      std::getline(in, line);  // the dashes
    } else if (nameNext && !line.empty() && line.find("There are an extra") == std::string::npos) {
      info.Entries.back().Name = line.substr(2);
      nameNext = false;
    } else if (line.find("offset of local header from start of archive:") != std::string::npos) {
      info.Entries.back().Offset = std::stoull(AfterColon(line));
    } else if (line.find("32-bit CRC value (hex):") != std::string::npos) {
      info.Entries.back().Crc = static_cast<std::uint32_t>(std::stoul(AfterColon(line), nullptr, 16));
    } else if (line.find("  compressed size:") != std::string::npos && line.find("un") == std::string::npos) {
      info.Entries.back().Packed = std::stoull(AfterColon(line));
    } else if (line.find("uncompressed size:") != std::string::npos) {
      info.Entries.back().Unpacked = std::stoull(AfterColon(line));
    } else if (const auto at = line.find(" extra bytes at beginning or within zipfile");
               at != std::string::npos) {
      const auto colon = line.rfind(':', at);
      info.ExtraBytes = std::stoll(line.substr(colon + 1, at - colon - 1));
    }
  }
  return info;
}

TEST(ZipMasterList, AgreesWithZipinfoOnEveryFixture) {
  if (!HaveTool("zipinfo")) GTEST_SKIP() << "zipinfo not installed";
  const auto rows = ziptest::ZipFixtureRows();
  ASSERT_GE(rows.size(), 40u);
  int compared = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Path);
    const std::string path = test::FixturePath(row.Path);
    const TInfo info = ParseZipinfo(RunAll("zipinfo -v " + Quote(path)));
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    z.SetZipFileName(path);
    ASSERT_EQ(z.ZipFileName(), path) << z.LastMessage();
    ASSERT_EQ(z.ZipEntryCount(), static_cast<int>(info.Entries.size()));
    std::uint64_t smallest = UINT64_MAX;
    for (int i = 0; i < z.ZipEntryCount(); ++i) {
      const auto& mine = z.Entries()[static_cast<std::size_t>(i)];
      const auto& theirs = info.Entries[static_cast<std::size_t>(i)];
      std::string name = theirs.Name;
      std::replace(name.begin(), name.end(), '/', '\\');
      if (ziptest::IsAscii(name)) {
        EXPECT_EQ(mine.EntryName, name);
      }
      EXPECT_EQ(mine.RelOffLocalHdr, theirs.Offset) << name;
      EXPECT_EQ(mine.PackedSize, theirs.Packed) << name;
      EXPECT_EQ(mine.UnpackedSize, theirs.Unpacked) << name;
      EXPECT_EQ(mine.CRC32, theirs.Crc) << name;
      if (ziptest::IsAscii(theirs.Comment)) {
        EXPECT_EQ(mine.EntryComment, theirs.Comment) << name;
      }
      smallest = std::min(smallest, theirs.Offset);
    }
    std::string comment = z.ArchiveComment();
    comment.erase(std::remove(comment.begin(), comment.end(), '\r'), comment.end());
    while (!comment.empty() && comment.back() == '\n') comment.pop_back();
    if (ziptest::IsAscii(info.Comment)) {
      EXPECT_EQ(comment, info.Comment);
    }
    // Where the ZIP data starts: the first local header, moved by bytes the offsets do not
    // count.
    if (!info.Entries.empty() && !z.SpannedArchive()) {
      EXPECT_EQ(z.ZipDataStart(), static_cast<std::int64_t>(smallest) + info.ExtraBytes);
    }
    EXPECT_EQ(z.OffsetsShifted(), info.ExtraBytes != 0);
    if (!HasFailure()) ++compared;
  }
  std::printf("[ fixtures ] %zu ZIP fixtures listed as zipinfo lists them: %d\n", rows.size(), compared);
}

std::vector<std::uint8_t> FixtureBytes(const char* name) {
  return ReadBytes(test::FixturePath(name));
}

TEST(ZipMasterList, EndRecordSearchGarbageAndPadding) {
  ScratchDir s;
  TZipMaster z;
  // An end record alone.
  const std::string empty = s / "empty.zip";
  WriteBytes(empty, FixtureBytes("zip/zip_empty.zip"));
  z.SetZipFileName(empty);
  EXPECT_EQ(z.ZipFileName(), empty);
  EXPECT_EQ(z.ZipEntryCount(), 0);
  EXPECT_EQ(z.ZipDataStart(), 0);

  // A commented archive is found by the backward search.
  const auto commented = FixtureBytes("zip/zip_comments.zip");
  const std::string c = s / "c.zip";
  WriteBytes(c, commented);
  z.SetZipFileName(c);
  EXPECT_EQ(z.ZipEntryCount(), 2) << z.LastMessage();
  EXPECT_NE(z.ArchiveComment().find("This is the archive comment."), std::string::npos);

  // Zero bytes up to a multiple of 512 are padding; anything else is garbage.
  auto base = FixtureBytes("zip/zip_stored.zip");
  const std::size_t pad = 512 - base.size() % 512;
  ASSERT_GT(pad, 0u);
  for (const std::uint8_t fill : {0, 0x41}) {
    SCOPED_TRACE(static_cast<int>(fill));
    auto bytes = base;
    bytes.insert(bytes.end(), pad, fill);
    const std::string p = s / "padded.zip";
    WriteBytes(p, bytes);
    TZipMaster m;
    m.SetZipFileName(p);
    EXPECT_GT(m.ZipEntryCount(), 0);
    EXPECT_EQ(m.LastErrorCode(), fill == 0 ? 0 : zipbridge::kZmGarbage);
  }
}

TEST(ZipMasterList, UnadjustedPrefixSetsOffsetsShifted) {
  TZipMaster z;
  TEvents ev;
  ev.Attach(z);
  z.SetZipFileName(test::FixturePath("zip/zip_prefix_unadjusted.zip"));
  ASSERT_EQ(z.ZipEntryCount(), 2);
  EXPECT_TRUE(z.OffsetsShifted());
  EXPECT_EQ(z.LastErrorCode(), zipbridge::kZmStructure);
  EXPECT_EQ(z.ZipDataStart(), 1000);
}

TEST(ZipMasterList, FailuresClearTheNameAndReport) {
  ScratchDir s;
  const std::string junk = s / "junk.zip";
  WriteText(junk, std::string(300, 'x'));
  const std::string firstPart = test::FixturePath("zip/zip_split.z01");
  struct TCase {
    std::string Path;
    int Id;
  } const cases[] = {{junk, zipbridge::kZmNotZip}, {firstPart, zipbridge::kZmFirstFile}};
  for (const TCase& c : cases) {
    TZipMaster z;
    TEvents ev;
    ev.Attach(z);
    int dirUpdates = 0;
    z.OnDirUpdate = [&](TZipMaster&) { ++dirUpdates; };
    z.SetZipFileName(c.Path);
    EXPECT_TRUE(z.ZipFileName().empty());
    EXPECT_EQ(z.ZipEntryCount(), 0);
    EXPECT_EQ(z.LastErrorCode(), c.Id) << z.LastMessage();
    ASSERT_EQ(ev.Messages.size(), 1u);
    EXPECT_EQ(ev.Messages[0].first, 0);
    EXPECT_EQ(ev.Messages[0].second, zipbridge::ZipMessageText(c.Id));
    EXPECT_EQ(dirUpdates, 1);
  }
}

TEST(ZipMasterList, SplitSetListsFromItsLastPart) {
  TZipMaster z;
  z.SetZipFileName(test::FixturePath("zip/zip_split.zip"));
  ASSERT_EQ(z.ZipEntryCount(), 2) << z.LastMessage();
  EXPECT_TRUE(z.SpannedArchive());
  EXPECT_EQ(z.LastDiskNumber(), 1);
}

TEST(ZipMasterList, CodePageRuleAndMessages) {
  EXPECT_EQ(zipbridge::ZipMessageText(10604), "ZIPDLL.DLL not found!");
  EXPECT_EQ(zipbridge::ZipMessageText(12345),
            "ZipMsgXX.res is probably not linked to the executable\nMissing String ID is: 12345");
  EXPECT_EQ(zipbridge::ZipMessageFormat(10304, -3), "Error -3 occurred during Auto SFX creation.");
  TZipMaster z;
  z.SetPasswordReqCount(20);
  EXPECT_EQ(z.PasswordReqCount(), 15u);
  z.SetDLLDirectory("C:\\libs\\");
  EXPECT_EQ(z.DLLDirectory(), "C:\\libs");
  EXPECT_EQ(z.VersionInfo(), "1.60 K");
}

}  // namespace
