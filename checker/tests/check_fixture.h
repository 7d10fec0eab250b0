// A small volume laid out the way Songlift writes it, and the two-run
// protocol: a repair run reports and fixes, a second run finds nothing but
// the "Clusters used" line.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/testing/engine_fixtures.h"
#include "checker/testing/songlift_volume_builder.h"
#include "checker/testing/sparse_device.h"

namespace jukepak::checker {

using Lines = std::vector<std::string>;

class SmallVolumeTest : public ::testing::Test {
 protected:
  // 20,000 sectors: FAT of 10 sectors, audio area from sector 16, 1249 clusters.
  static constexpr uint32_t kSectors = 20000;

  void SetUp() override { ASSERT_TRUE(volume.Format().ok()); }

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
  Lines Check(int* verdict = nullptr) {
    int v = 0;
    Lines lines = testing::CheckDevice(device, nullptr, &v);
    if (verdict != nullptr) *verdict = v;
    return lines;
  }
  // The repair run; then the second run must find nothing but the usage line.
  Lines RepairTwice() {
    testing::DeviceLogWriter writer(&device);
    int verdict = 0;
    Lines first = testing::CheckDevice(device, &writer, &verdict);
    EXPECT_EQ(verdict, 1) << "the repair run found nothing";
    int again = 0;
    const Lines second = Check(&again);
    EXPECT_EQ(again, 0);
    EXPECT_EQ(second.size(), 1u);
    if (!second.empty()) {
      EXPECT_EQ(second.back().rfind("Clusters used: ", 0), 0u) << second.back();
    }
    return first;
  }
  static std::string Used(uint32_t clusters) {
    char text[64];
    std::snprintf(text, sizeof text, "Clusters used: %u - %%%02u of drive\n", clusters,
                  clusters * 1600 / kSectors);
    return text;
  }
  static std::string Lost(uint32_t clusters) {
    return std::to_string(clusters * 8) + "KB in damaged files/lost chains\n";
  }

  testing::SparseDevice device{kSectors};
  testing::SongliftVolumeBuilder volume{&device};
};

}  // namespace jukepak::checker
