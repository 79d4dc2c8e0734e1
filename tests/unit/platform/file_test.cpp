// platform::File: creation modes, reads and writes, 64-bit positions, truncation, sharing.
#include "platform/file.h"

#include "platform/fs.h"
#include "platform/path.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using platform::File;
using platform::TFileAccess;
using platform::TSeekOrigin;
using platform::TShareMode;
using platform_test::ReadWholeFile;
using platform_test::ScratchDir;
using platform_test::WriteFile;

TEST(PlatformFile, CreateWriteSeekReadTruncate) {
  ScratchDir dir;
  const std::string path = dir / "data.bin";
  File f;
  ASSERT_TRUE(f.Open(path, TFileAccess::faCreate)) << f.LastError();
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Path(), path);
  ASSERT_TRUE(f.WriteAll("hello world", 11));
  EXPECT_EQ(f.Tell(), 11);
  EXPECT_EQ(f.Size(), 11);
  EXPECT_EQ(f.Seek(6), 6);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f.Read(buf, sizeof buf), 0);  // at the end
  EXPECT_EQ(f.Seek(-5, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(f.Seek(-1, TSeekOrigin::soCurrent), 5);
  EXPECT_TRUE(f.Truncate());
  EXPECT_EQ(f.Size(), 5);
  EXPECT_FALSE(f.ReadExact(buf, 1));
  EXPECT_TRUE(f.Flush());
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(ReadWholeFile(path), "hello");

  // faCreate truncates an existing file.
  ASSERT_TRUE(f.Open(path, TFileAccess::faCreate));
  EXPECT_EQ(f.Size(), 0);
}

TEST(PlatformFile, OpenModes) {
  ScratchDir dir;
  const std::string path = dir / "modes.txt";
  File f;
  EXPECT_FALSE(f.Open(path, TFileAccess::faRead));
  EXPECT_NE(f.LastError(), 0);
  EXPECT_FALSE(f.Open(path, TFileAccess::faReadWrite));

  ASSERT_TRUE(f.Open(path, TFileAccess::faCreateNew));
  ASSERT_TRUE(f.WriteAll("abc", 3));
  f.Close();
  EXPECT_FALSE(f.Open(path, TFileAccess::faCreateNew)) << "the file exists";

  ASSERT_TRUE(f.Open(path, TFileAccess::faAppend));
  EXPECT_EQ(f.Tell(), 3);
  ASSERT_TRUE(f.WriteAll("def", 3));
  f.Close();
  EXPECT_EQ(ReadWholeFile(path), "abcdef");

  ASSERT_TRUE(f.Open(path, TFileAccess::faReadWrite));
  ASSERT_TRUE(f.WriteAll("X", 1));
  f.Close();
  EXPECT_EQ(ReadWholeFile(path), "Xbcdef");

  ASSERT_TRUE(f.Open(path, TFileAccess::faRead));
  EXPECT_EQ(f.Write("Y", 1), -1) << "a file opened for reading refuses writes";
  f.Close();

  // A folder is not a file on either platform.
  EXPECT_FALSE(f.Open(dir.Path(), TFileAccess::faRead));
}

TEST(PlatformFile, PositionsBeyond4GiB) {
  ScratchDir dir;
  File f;
  ASSERT_TRUE(f.Open(dir / "big.bin", TFileAccess::faCreate));
  constexpr std::int64_t kFar = (std::int64_t{5} << 30) + 123;  // 5 GiB + 123
  EXPECT_EQ(f.Seek(kFar), kFar);
  EXPECT_EQ(f.Tell(), kFar);
  EXPECT_EQ(f.Seek(kFar, TSeekOrigin::soCurrent), 2 * kFar);
  EXPECT_EQ(f.Tell(), 2 * kFar);
  EXPECT_EQ(f.Size(), 0) << "seeking alone does not grow the file";
  EXPECT_EQ(f.Seek(-1), -1) << "before the start";
}

TEST(PlatformFile, MoveTransfersTheHandle) {
  ScratchDir dir;
  File a;
  ASSERT_TRUE(a.Open(dir / "m.txt", TFileAccess::faCreate));
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  EXPECT_TRUE(b.WriteAll("z", 1));
  File c;
  c = std::move(b);
  EXPECT_FALSE(b.IsOpen());
  EXPECT_EQ(c.Size(), 1);
}

TEST(PlatformFile, DenyWriteRefusesASecondWriter) {
  if (!platform::kIsWindows) GTEST_SKIP() << "share modes are a Windows feature";
  ScratchDir dir;
  const std::string path = dir / "shared.txt";
  ASSERT_TRUE(WriteFile(path, "x"));
  File first;
  ASSERT_TRUE(first.Open(path, TFileAccess::faReadWrite, TShareMode::smDenyWrite));
  File second;
  EXPECT_FALSE(second.Open(path, TFileAccess::faReadWrite, TShareMode::smDenyNone));
  // A reader that lets others write may join.
  EXPECT_TRUE(second.Open(path, TFileAccess::faRead, TShareMode::smDenyNone));
  second.Close();
  first.Close();

  File exclusive;
  ASSERT_TRUE(exclusive.Open(path, TFileAccess::faRead, TShareMode::smExclusive));
  EXPECT_FALSE(second.Open(path, TFileAccess::faRead, TShareMode::smDenyNone));
}

}  // namespace
