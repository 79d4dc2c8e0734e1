// Drive type names, spanned-set disk numbers and a refresh of a real folder's volume.
#include "engine/core/disk_manager.h"

#include <gtest/gtest.h>

#include <cctype>

#include "scratch_dir.h"

namespace engine {
namespace {

TEST(DiskManager, DriveTypeNames) {
  const char* names[] = {"Unknown", "None", "Floppy", "Fixed", "Network", "CD-ROM", "RAM",
                         "3\xC2\xBD Floppy", "5\xC2\xBC Floppy"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(DriveTypeName(i), names[i]) << i;
  EXPECT_EQ(DriveTypeName(9), "Unknown");
  EXPECT_EQ(DriveTypeName(-1), "Unknown");
}

TEST(DiskManager, DiskNumberFromLabel) {
  struct Row { const char* label; int number; };
  const Row rows[] = {
      {"PKBACK# 001", 1}, {"PKBACK# 123", 123}, {"x PKBACK# 7", 7},
      {"PKBACK# 1 PKBACK# 2", 2},  // the last occurrence counts
      {"PKBACK# 01a", 0}, {"PKBACK# ", 0}, {"PKBACK#001", 0}, {"BACKUP", 0}, {"", 0},
      {"PKBACK# 99999999999999", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(DiskNumberFromLabel(r.label), r.number) << r.label;
}

TEST(DiskManager, RefreshReadsTheVolumeOfAFolder) {
  tessaly_test::ScratchDir dir;
  TDiskManager disk;
  int asked = 0;
  disk.OnNotAccessible = [&](const std::string&) { return ++asked < 0; };
  ASSERT_TRUE(disk.Refresh(dir.Path()));
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(disk.Drive().empty());
  ASSERT_EQ(disk.SerialNumber().size(), 8u);
  for (char c : disk.SerialNumber()) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)));
  EXPECT_EQ(disk.DriveTypeText(), DriveTypeName(disk.DriveType()));
  EXPECT_EQ(disk.DiskNumber(), 0);
  // The same disk polled again has not changed.
  int changes = 0;
  disk.OnChange = [&](TDiskManager&) { ++changes; };
  EXPECT_FALSE(disk.Poll());
  EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace engine
