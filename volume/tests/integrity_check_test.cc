// The linkage counts over volumes written as a sync writes them, damaged on
// purpose one way at a time.

#include "volume/integrity_check.h"

#include <gtest/gtest.h>

#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using testing::CdContent;
using testing::SongContent;
using testing::TestAudio;
using testing::VolumeBuilder;

constexpr uint32_t kSectors = 8000;  // 499 clusters

class IntegrityTest : public ::testing::Test {
 protected:
  // Two CDs of two tracks; the second track of each takes 3 clusters.
  void Build() {
    ASSERT_TRUE(builder_.Format().ok());
    for (const char* album : {"One", "Two"}) {
      CdContent cd{"Band", album, {}};
      cd.songs.push_back(SongContent{"short", "Band", TestAudio(3000, 1)});
      cd.songs.push_back(SongContent{"long", "Band", TestAudio(20000, 2)});
      ASSERT_TRUE(builder_.AddCd(cd).ok());
    }
  }
  IntegrityCounts Mount() {
    EXPECT_TRUE(testing::MountVolume(volume_, &disk_).ok());
    IntegrityCounts counts;
    EXPECT_TRUE(CheckIntegrity(volume_, &counts).ok());
    return counts;
  }
  uint32_t Start(size_t cd, size_t track) const {
    return volume_.model().playerCds[cd]->tracks[track]->firstCluster;
  }
  uint32_t Next(uint32_t cluster) const { return builder_.fat().entry(cluster); }

  MemoryDevice disk_{kSectors};
  VolumeBuilder builder_{&disk_};
  testing::RecordingReporter reporter_;
  PlayerVolume volume_{&reporter_};
};

TEST_F(IntegrityTest, FreshAndSyncedVolumesAreClean) {
  ASSERT_TRUE(builder_.Format().ok());
  IntegrityCounts counts = Mount();
  EXPECT_TRUE(counts.clean());
  EXPECT_EQ(IntegrityMessage(counts, true), "No errors were detected in the file system");

  Build();
  counts = Mount();
  EXPECT_TRUE(counts.clean()) << IntegrityMessage(counts, false);
}

TEST_F(IntegrityTest, AChainIntoAClusterClearedToFreeIsOneFreeLinkage) {
  Build();
  Mount();
  const uint32_t first = Start(0, 1);
  const uint32_t last = Next(Next(first));
  ASSERT_EQ(Next(last), format::kFatEndOfChain);
  ASSERT_TRUE(builder_.SetFatEntry(last, format::kFatFree).ok());
  const IntegrityCounts counts = Mount();
  EXPECT_EQ(counts.freeLinkages, 1u);
  EXPECT_EQ(counts.nullLinkages, 0u);
  EXPECT_EQ(counts.multipleLinkages, 0u);
}

TEST_F(IntegrityTest, TwoChainsMergingAtOneClusterAreOneMultipleLinkage) {
  Build();
  Mount();
  const uint32_t a_second = Next(Start(0, 1));
  const uint32_t b_second = Next(Start(1, 1));
  ASSERT_TRUE(builder_.SetFatEntry(a_second, Next(b_second)).ok());  // a's third is now lost
  const IntegrityCounts counts = Mount();
  EXPECT_EQ(counts.multipleLinkages, 1u);
  EXPECT_EQ(counts.nullLinkages, 1u);  // a's old third cluster, which nothing leads into now
  EXPECT_EQ(counts.freeLinkages, 0u);
}

TEST_F(IntegrityTest, ALeftoverChainIsOneNullLinkageAtItsFirstCluster) {
  Build();
  uint32_t leftover = 0;
  ASSERT_TRUE(builder_.AddLeftoverChain(3, &leftover).ok());
  const IntegrityCounts counts = Mount();
  EXPECT_EQ(counts.nullLinkages, 1u);
  EXPECT_EQ(counts.multipleLinkages, 0u);
  EXPECT_EQ(counts.freeLinkages, 0u);
  EXPECT_FALSE(volume_.IsTrackStart(leftover));
}

TEST_F(IntegrityTest, EntriesAtAndPastTheAudioAreaAreNotExamined) {
  Build();
  Mount();
  const uint32_t n = volume_.model().header.audioClusters();
  ASSERT_GT(volume_.model().fat.entryCount(), n + 2);
  // Used entries past the area, one leading into a track's start and one
  // naming a free cluster: neither counts.
  ASSERT_TRUE(builder_.SetFatEntry(n, Start(0, 0)).ok());
  ASSERT_TRUE(builder_.SetFatEntry(n + 1, n - 5).ok());
  // An entry inside the area that names a cluster past it is no link either.
  ASSERT_TRUE(builder_.SetFatEntry(Next(Next(Start(1, 1))), n + 1).ok());
  const IntegrityCounts counts = Mount();
  EXPECT_TRUE(counts.clean()) << IntegrityMessage(counts, false);
}

TEST(IntegrityMessageTest, TheCountsStandInTheFixedText) {
  IntegrityCounts counts;
  counts.nullLinkages = 1;
  counts.multipleLinkages = 22;
  counts.freeLinkages = 333;
  EXPECT_EQ(IntegrityMessage(counts, true),
            "The filesystem has errors: \nNull-Linkages: 1\nMultiple-Linkages:22\n"
            "Free-Linkages: 333\n\nWould you like to fix them now?");
  EXPECT_EQ(IntegrityMessage(counts, false),
            "The filesystem has errors: \nNull-Linkages: 1\nMultiple-Linkages:22\n"
            "Free-Linkages: 333\n");
  counts.nullLinkages = counts.multipleLinkages = counts.freeLinkages = 4294967295u;
  EXPECT_LE(IntegrityMessage(counts, true).size(), 255u);
}

}  // namespace
}  // namespace jukepak
