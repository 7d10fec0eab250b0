// A small volume laid out the way Songlift writes it, and the two-run
// protocol: a repair run reports and fixes, a second run finds nothing but
// the usage line.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "checker/testing/engine_fixtures.h"
#include "testing/sparse_device.h"
#include "testing/volume_builder.h"

namespace jukepak::checker {

using testing::Codes;

class SmallVolumeTest : public ::testing::Test {
 protected:
  // 20,000 sectors: FAT of 10 sectors, audio area from sector 16, 1249 clusters.
  static constexpr uint32_t kSectors = 20000;

  void SetUp() override { ASSERT_TRUE(volume.Format().ok()); }
  // A blank disk with a new, empty volume, for each case of a table.
  void Reformat() {
    device = jukepak::testing::SparseDevice(kSectors);
    volume = jukepak::testing::VolumeBuilder(&device);
    ASSERT_TRUE(volume.Format().ok());
  }

  int AddCd(const std::string& album) {
    int id = 0;
    EXPECT_TRUE(volume.AddCd(album, "Artist", &id).ok());
    return id;
  }
  uint32_t AddTrack(int cd, const std::string& title, uint32_t clusters) {
    uint32_t start = 0;
    EXPECT_TRUE(volume.AddTrack(cd, title, clusters, &start).ok());
    return start;
  }
  // Rewrites FAT entry `cluster` on the disk.
  void PatchFat(uint32_t cluster, uint32_t value) {
    volume.fat().set(cluster, value);
    ASSERT_TRUE(volume.WriteFat().ok());
  }

  // A dry check of the disk as it stands.
  testing::CheckResult Check() { return testing::CheckDevice(device, nullptr); }
  // The repair run; then the second run must find nothing but the usage
  // line. Returns the repair run's codes; its texts stay in `repaired`.
  Codes RepairTwice() {
    testing::DeviceLogWriter writer(&device);
    repaired = testing::CheckDevice(device, &writer);
    EXPECT_TRUE(repaired.result.ok()) << repaired.result.message();
    EXPECT_FALSE(repaired.clean()) << "the repair run found nothing";
    const testing::CheckResult again = Check();
    EXPECT_TRUE(again.clean());
    EXPECT_EQ(again.codes(), Codes{Problem::kClustersUsed});
    return repaired.codes();
  }
  // The usage line of a volume with `clusters` in use.
  static std::string Used(uint32_t clusters) {
    char text[64];
    std::snprintf(text, sizeof text, "Clusters used: %u - %%%02u of drive\n", clusters,
                  clusters * 1600 / kSectors);
    return text;
  }
  // The text of the repair run's first finding with code `problem`.
  std::string RepairedText(Problem problem) const {
    for (const Finding& f : repaired.findings) {
      if (f.problem == problem) return f.text;
    }
    return "";
  }

  jukepak::testing::SparseDevice device{kSectors};
  jukepak::testing::VolumeBuilder volume{&device};
  testing::CheckResult repaired;
};

}  // namespace jukepak::checker
