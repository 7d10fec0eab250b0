// The volume engine over portlink-sim.dld and over diskimage.dld: the same
// operations must leave the same image, except sector 2, which every
// Portlink Open overwrites with its EPP test pattern.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"
#include "volume/player_volume.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using testing::ReadFileBytes;
using testing::ScopedEnv;
using testing::TempDir;

constexpr uint32_t kImageSectors = 65536;  // 32 MB
constexpr size_t kSector = 512;

// Initializes the volume on `image` through `module`, then binds again and
// mounts it, as Songlift does at its next start.
void InitializeAndMount(const std::string& module, const std::string& image) {
  ScopedEnv env("JUKEPAK_IMAGE", image.c_str());
  {
    testing::RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_EQ(volume.BindDriver(module), kBindOk) << volume.bindError();
    const Result init = volume.RunJobNow(Job::kInit);
    ASSERT_TRUE(init.ok()) << init.message();
    EXPECT_EQ(volume.deviceState(), DeviceState::kReady);
  }
  testing::RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_EQ(volume.BindDriver(module), kBindOk) << volume.bindError();
  ASSERT_TRUE(volume.CheckVolume());
  const Result mount = volume.RunJobNow(Job::kMount);
  ASSERT_TRUE(mount.ok()) << mount.message();
  EXPECT_EQ(volume.deviceState(), DeviceState::kReady);
  EXPECT_EQ(volume.model().sectorCount, kImageSectors);
}

TEST(EngineParityTest, InitializeAndMountLeaveTheSameImageExceptSector2) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string over_image = dir.File("diskimage.img");
  const std::string over_link = dir.File("portlink.img");
  ASSERT_TRUE(CreateSparseImage(over_image, kImageSectors).ok());
  ASSERT_TRUE(CreateSparseImage(over_link, kImageSectors).ok());

  InitializeAndMount(std::string(JUKEPAK_BIN_DIR) + "/diskimage.dld", over_image);
  InitializeAndMount(std::string(JUKEPAK_BIN_DIR) + "/portlink-sim.dld", over_link);

  const std::vector<uint8_t> a = ReadFileBytes(over_image);
  const std::vector<uint8_t> b = ReadFileBytes(over_link);
  ASSERT_EQ(a.size(), size_t(kImageSectors) * kSector);
  ASSERT_EQ(b.size(), a.size());
  ASSERT_EQ(std::string(a.begin(), a.begin() + 4), "MPFS");  // a volume was written at all
  for (uint32_t s = 0; s < kImageSectors; ++s) {
    if (s == 2) continue;
    ASSERT_TRUE(
        std::equal(a.begin() + s * kSector, a.begin() + (s + 1) * kSector, b.begin() + s * kSector))
        << "the images differ in sector " << s;
  }
  // Sector 2 really is the exception: Portlink left its pattern there.
  EXPECT_NE(std::count(b.begin() + 2 * kSector, b.begin() + 3 * kSector, 0), long(kSector));
}

}  // namespace
}  // namespace jukepak
