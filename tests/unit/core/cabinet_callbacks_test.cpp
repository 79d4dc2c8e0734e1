// The cabinet library's file callbacks over temporary files.
#include "engine/core/cabinet_callbacks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/fs.h"
#include "scratch_dir.h"

namespace engine {
namespace {

TEST(CabinetCallbacks, CreateWriteSeekReadClose) {
  tessaly_test::ScratchDir dir;
  const std::string name = dir / "cab.tmp";
  TStreamCabinetFileHandler h;
  int err = 99;
  const TCabHandle w = h.Open(name, kCabOpenCreate | kCabOpenReadWrite, 0, err);
  ASSERT_NE(w, kCabInvalidHandle);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(h.Write(w, "0123456789", 10, err), 10);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(h.Seek(w, 4, 0, err), 4);
  EXPECT_EQ(err, 0);
  char buf[16] = {};
  EXPECT_EQ(h.Read(w, buf, 3, err), 3);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(std::string(buf, 3), "456");
  EXPECT_EQ(h.Seek(w, -2, 2, err), 8);
  EXPECT_EQ(h.Seek(w, 1, 1, err), 9);
  // A short read at the end is not an error of the system.
  EXPECT_EQ(h.Read(w, buf, 5, err), 1);
  EXPECT_EQ(buf[0], '9');

  // A second handle on the same file, read-only (both shared).
  const TCabHandle r = h.Open(name, 0, 0, err);
  ASSERT_NE(r, kCabInvalidHandle);
  EXPECT_NE(r, w);
  EXPECT_EQ(h.OpenCount(), 2u);
  EXPECT_EQ(h.Close(w, err), 0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(h.OpenCount(), 1u);
  EXPECT_EQ(h.Read(r, buf, 10, err), 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");

  // Handles not (or no longer) in the list.
  for (TCabHandle bad : {w, TCabHandle{12345}}) {
    err = 0;
    EXPECT_EQ(h.Read(bad, buf, 1, err), 0);
    EXPECT_EQ(err, -1);
    err = 0;
    EXPECT_EQ(h.Write(bad, buf, 1, err), 0);
    EXPECT_EQ(err, -1);
    err = 0;
    EXPECT_EQ(h.Seek(bad, 0, 0, err), 0);
    EXPECT_EQ(err, -1);
    EXPECT_EQ(h.Close(bad, err), 0);
    EXPECT_EQ(err, 0);
  }
  EXPECT_EQ(h.Close(r, err), 0);
  EXPECT_EQ(h.OpenCount(), 0u);

  EXPECT_EQ(h.Delete(name, err), 0);
  EXPECT_EQ(err, 0);
  EXPECT_FALSE(platform::FileExists(name));
  EXPECT_EQ(h.Delete(name, err), 0);
  EXPECT_NE(err, 0);
}

TEST(CabinetCallbacks, OpenFailuresAndFlags) {
  tessaly_test::ScratchDir dir;
  TStreamCabinetFileHandler h;
  int err = 0;
  EXPECT_EQ(h.Open(dir / "missing.cab", 0, 0, err), kCabInvalidHandle);
  EXPECT_NE(err, 0);
  EXPECT_EQ(h.Open(dir / "missing.cab", kCabOpenReadWrite, 0, err), kCabInvalidHandle);
  EXPECT_EQ(h.OpenCount(), 0u);

  // Create replaces an existing file; write-only opens an existing one for writing.
  const std::string name = dir / "x.cab";
  tessaly_test::WriteBytes(name, {1, 2, 3, 4, 5});
  TCabHandle c = h.Open(name, kCabOpenCreate | kCabOpenWriteOnly | kCabOpenExclusive, 0, err);
  ASSERT_NE(c, kCabInvalidHandle);
  EXPECT_EQ(platform::FileSize(name), 0);
  h.Close(c, err);
  c = h.Open(name, kCabOpenWriteOnly, 0, err);
  ASSERT_NE(c, kCabInvalidHandle);
  EXPECT_EQ(h.Write(c, "ab", 2, err), 2);
  h.Close(c, err);
  EXPECT_EQ(tessaly_test::ReadBytes(name), (std::vector<std::uint8_t>{'a', 'b'}));
}

TEST(CabinetCallbacks, DestroyingTheHandlerClosesItsFiles) {
  tessaly_test::ScratchDir dir;
  const std::string name = dir / "open.cab";
  {
    TStreamCabinetFileHandler h;
    int err = 0;
    const TCabHandle c = h.Open(name, kCabOpenCreate | kCabOpenReadWrite, 0, err);
    ASSERT_NE(c, kCabInvalidHandle);
    EXPECT_EQ(h.Write(c, "data", 4, err), 4);
  }
  // Closed (and flushed): the data is there and the file can be removed.
  EXPECT_EQ(platform::FileSize(name), 4);
  EXPECT_TRUE(platform::DeleteFile(name));
}

TEST(CabinetCallbacks, MemoryAndTypeWords) {
  TStreamCabinetFileHandler h;
  void* block = h.Alloc(1000);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 1000);
  EXPECT_EQ(h.Free(block), 0);
  EXPECT_EQ(CabLzxType(21), 21 * 256 + 3);
  EXPECT_EQ(CabLzxType(15), 0x0F03);
  EXPECT_EQ(CabCompressionType(2, 7, 21), 21 * 256 + 7 * 16 + 2);
  EXPECT_EQ(CabCompressionType(1, 0, 0), 1);
}

}  // namespace
}  // namespace engine
