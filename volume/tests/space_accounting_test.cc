// Free space and the download estimate: what the window promises must fit.

#include "volume/space_accounting.h"

#include <gtest/gtest.h>

#include "testing/memory_device.h"
#include "volume/cluster_allocator.h"
#include "volume/player_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_volumes.h"

namespace jukepak {
namespace {

using testing::RecordingReporter;
using testing::Share;

class SpaceTest : public ::testing::Test {
 protected:
  SpaceTest() : disk_(100000), volume_(&reporter_) {}
  void SetUp() override {
    ASSERT_TRUE(volume_.BindDevice(Share(disk_)).ok());
    ASSERT_TRUE(volume_.RunJobNow(Job::kInit).ok());
  }
  void Remount() {
    ASSERT_TRUE(volume_.CheckVolume());
    ASSERT_TRUE(volume_.RunJobNow(Job::kMount).ok());
  }
  void AddPendingCd(std::vector<uint32_t> audio_sizes) {
    auto cd = std::make_unique<CdNode>();
    cd->hasWork = true;
    for (uint32_t size : audio_sizes) {
      auto track = std::make_unique<TrackNode>();
      track->record.setSize(size);
      cd->pendingTracks.push_back(std::move(track));
    }
    VolumeModel& model = volume_.model();
    MutexLock lock(&model.pendingMutex);
    model.pendingCds.insert(model.pendingCds.begin(), std::move(cd));
  }

  MemoryDevice disk_;
  RecordingReporter reporter_;
  PlayerVolume volume_;
};

TEST_F(SpaceTest, FreeSpaceCountsOnlyClustersTheAllocatorCanHandOut) {
  const uint32_t clusters = volume_.model().header.audioClusters();
  // The FAT has entries past the audio area; they never count.
  ASSERT_GT(volume_.model().fat.entryCount(), clusters);
  EXPECT_EQ(volume_.FreeKilobytes(), (clusters - 2) * 8);
  // A CD record takes the last cluster of the audio area away from tracks.
  testing::AddCd(disk_, "Band", "Album", {{"One", "Band", 3}});
  Remount();
  EXPECT_EQ(AllocatableClusterLimit(volume_.model().header), clusters - 1);
  EXPECT_EQ(volume_.FreeKilobytes(), (clusters - 1 - 5) * 8);
  EXPECT_EQ(volume_.model().freeKilobytes, volume_.FreeKilobytes());
}

TEST_F(SpaceTest, ClustersFromTheIndexTerminatorBoundUpAreNeitherFreeNorAllocatable) {
  // The audio area of a 2^28-sector drive, 0xFF0000 and the 0xFF80 clusters above it.
  VolumeHeader& header = volume_.model().header;
  header.setAudioClusters(format::kTrackClusterBound + 0xFF80);
  Fat& fat = volume_.model().fat;
  fat.Reset((header.audioClusters() + 127) / 128);
  fat.set(5, format::kFatEndOfChain);
  EXPECT_EQ(AllocatableClusterLimit(header), format::kTrackClusterBound);
  EXPECT_EQ(volume_.FreeKilobytes(), uint64_t(format::kTrackClusterBound - 1) * 8);

  uint32_t next_free = format::kTrackClusterBound - 1;
  std::vector<uint32_t> chain;
  ASSERT_TRUE(AllocateChain(fat, AllocatableClusterLimit(header), 2, &next_free, &chain).ok());
  EXPECT_EQ(chain, (std::vector<uint32_t>{format::kTrackClusterBound - 1, 0}));
}

TEST_F(SpaceTest, AFullFatLeavesNoFreeSpace) {
  Fat& fat = volume_.model().fat;
  for (uint32_t c = 0; c < fat.entryCount(); ++c) fat.set(c, format::kFatEndOfChain);
  EXPECT_EQ(volume_.FreeKilobytes(), 0u);
}

TEST_F(SpaceTest, TheEstimateRoundsEachSongAsTheSyncAllocates) {
  EXPECT_EQ(volume_.EstimateDownloadKilobytes(), 0u);
  AddPendingCd({6144, 7168, 14337});  // 1 + 2 + 3 clusters
  // 48 KB of songs and one cluster for the first CD record.
  EXPECT_EQ(volume_.EstimateDownloadKilobytes(), 48u + 8u);
  volume_.PublishPending();
  EXPECT_EQ(reporter_.pending().downloadKilobytes, 56u);
}

TEST_F(SpaceTest, TheCdAreaCostsOneClusterPerSixteenRecords) {
  EXPECT_EQ(CdAreaGrowthKilobytes(0, 1), 8u);
  EXPECT_EQ(CdAreaGrowthKilobytes(15, 1), 0u);
  EXPECT_EQ(CdAreaGrowthKilobytes(16, 1), 8u);
  EXPECT_EQ(CdAreaGrowthKilobytes(1, 16), 8u);
  EXPECT_EQ(CdAreaGrowthKilobytes(1, 31), 8u);
  EXPECT_EQ(CdAreaGrowthKilobytes(1, 32), 16u);
  EXPECT_EQ(CdAreaGrowthKilobytes(5, 0), 0u);
  EXPECT_EQ(SongKilobytes(0), 8u);  // the record alone takes a cluster
}

}  // namespace
}  // namespace jukepak
