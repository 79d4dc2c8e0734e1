// Volume information for the temporary folder (a fixed drive on the build hosts).
#include "platform/volume.h"

#include "platform/path.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformVolume, TempFolderIsOnAFixedDrive) {
  const std::string temp = platform::TempDirectory();
  const platform::TVolumeInfo info = platform::VolumeInfoOf(temp);
  EXPECT_EQ(info.DriveType, platform::kDriveFixed) << info.Root;
  EXPECT_FALSE(info.Root.empty());
  EXPECT_EQ(temp.compare(0, info.Root.size(), info.Root), 0)
      << "the root " << info.Root << " leads " << temp;
  EXPECT_GT(info.TotalBytes, 0);
  EXPECT_GE(info.FreeBytes, 0);
  EXPECT_LE(info.FreeBytes, info.TotalBytes);
  EXPECT_FALSE(platform::IsRemovable(temp));
  if (!platform::kIsWindows) {
    EXPECT_TRUE(info.Label.empty());
  }

  // A path that does not exist yet reports the volume of its nearest folder.
  const platform::TVolumeInfo later =
      platform::VolumeInfoOf(platform::JoinPath(temp, "not/yet/there.zip"));
  EXPECT_EQ(later.DriveType, info.DriveType);
  EXPECT_EQ(later.Serial, info.Serial);
}

}  // namespace
