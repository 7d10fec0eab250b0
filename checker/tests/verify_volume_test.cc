// The directory and chain pass: every class of damage with its exact report,
// each checked with the two-run protocol (the repair run reports and fixes,
// a second run finds nothing but the usage line).

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "format/layout.h"

namespace jukepak::checker {
namespace {

class VerifyVolumeTest : public SmallVolumeTest {};

TEST_F(VerifyVolumeTest, SoundVolumeReportsOnlyItsUsage) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);
  AddTrack(a, "Two", 2);
  int verdict = -1;
  EXPECT_EQ(Check(&verdict), Lines{Used(7)});
  EXPECT_EQ(verdict, 0);
}

TEST_F(VerifyVolumeTest, OutOfRangeFatEntriesAreFreed) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);  // clusters 2, 3, 4
  PatchFat(100, 5000);
  PatchFat(3, 0x00ABCDEF);  // One's chain now ends on a freed entry
  EXPECT_EQ(RepairTwice(), (Lines{"Found out-of-range FAT entries\n",
                                  "[A]:[One] incorrectly terminated\n", Lost(2), Used(2)}));
}

TEST_F(VerifyVolumeTest, CdRecordChecks) {
  const int a = AddCd("A");
  AddTrack(a, "One", 2);
  const int empty = AddCd("Empty");
  const int b = AddCd("B");  // the run is now B, Empty, A
  AddTrack(b, "Two", 2);
  volume.cd(a).data()[0] = 'X';
  ASSERT_TRUE(volume.WriteCd(a).ok());
  (void)empty;
  EXPECT_EQ(RepairTwice(),
            (Lines{"CD [Empty] has no tracks\n", "CD [1] is invalid\n", Lost(2), Used(4)}));
  EXPECT_EQ(volume.header().cdCount(), 3u) << "the builder's model is untouched";
}

TEST_F(VerifyVolumeTest, HundredTracksAreValidMoreAreNot) {
  const int big = AddCd("Big");
  for (int i = 0; i < 100; ++i) AddTrack(big, "T" + std::to_string(i), 1);
  EXPECT_EQ(Check(), Lines{Used(102)});
  volume.cd(big).setTrackCount(101);
  ASSERT_TRUE(volume.WriteCd(big).ok());
  EXPECT_EQ(RepairTwice(), (Lines{"CD [Big] has invalid track count\n", Lost(100), Used(2)}));
}

TEST_F(VerifyVolumeTest, TrackRecordChecks) {
  const int a = AddCd("A");
  const uint32_t one = AddTrack(a, "One", 2);
  AddTrack(a, "Two", 2);
  const uint32_t three = AddTrack(a, "Three", 2);
  const uint32_t four = AddTrack(a, "Four", 2);
  AddTrack(a, "Five", 2);
  volume.track(one).data()[3] = 'X';
  ASSERT_TRUE(volume.WriteTrack(one).ok());
  volume.cd(a).setStartCluster(1, 5000);
  ASSERT_TRUE(volume.WriteCd(a).ok());
  StoreLe24(volume.track(three).indexSlot(1), 5000);
  ASSERT_TRUE(volume.WriteTrack(three).ok());
  for (uint32_t k = 0; k < format::kIndexMarkSlots; ++k) {
    StoreLe24(volume.track(four).indexSlot(k), four);
  }
  ASSERT_TRUE(volume.WriteTrack(four).ok());
  // In scan order, each finding restarting the pass.
  EXPECT_EQ(RepairTwice(), (Lines{"CD [A], Track 1 has invalid signature\n",
                                  "CD [A], Track 1 has invalid start cluster 00001388\n",
                                  "[A]:[Three] has invalid index mark 00001388\n",
                                  "[A]:[Four] has too many index marks\n", Lost(8), Used(4)}));
}

TEST_F(VerifyVolumeTest, CrosslinkNamesTheEarlierOwnerFirstAndRemovesBoth) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);  // 2, 3, 4
  AddTrack(a, "Keep", 1);
  const int b = AddCd("B");  // scanned first
  AddTrack(b, "Two", 3);     // 6, 7, 8
  PatchFat(3, 7);
  EXPECT_EQ(RepairTwice(), (Lines{"[B]:[Two] and [A]:[One] are crosslinked at cluster 00000007\n",
                                  Lost(6), Used(3)}));
}

TEST_F(VerifyVolumeTest, ChainIntoItselfIsCrosslinkedWithItselfAndRemovedOnce) {
  const int a = AddCd("A");
  AddTrack(a, "Keep", 1);  // 2
  AddTrack(a, "Loop", 3);  // 3, 4, 5
  PatchFat(5, 4);
  EXPECT_EQ(RepairTwice(), (Lines{"[A]:[Loop] and [A]:[Loop] are crosslinked at cluster 00000004\n",
                                  Lost(3), Used(3)}));
}

TEST_F(VerifyVolumeTest, ChainEndingOnAFreeClusterIsIncorrectlyTerminated) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);
  PatchFat(4, format::kFatFree);
  EXPECT_EQ(RepairTwice(), (Lines{"[A]:[One] incorrectly terminated\n", Lost(2), Used(2)}));
}

TEST_F(VerifyVolumeTest, ChainIntoTheCdAreaIsDamaged) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);
  const uint32_t cd_cluster = volume.header().cdStart() / 16 - volume.header().audioStart();
  ASSERT_EQ(cd_cluster, 1248u);
  PatchFat(4, cd_cluster);
  PatchFat(cd_cluster, format::kFatEndOfChain);
  EXPECT_EQ(RepairTwice(),
            (Lines{"[A]:[One] runs into the CD area at cluster 000004e0\n", Lost(4), Used(2)}));
}

TEST_F(VerifyVolumeTest, LostClustersSpareThePlaceholderWhoseChainIsRestored) {
  const int a = AddCd("A");
  AddTrack(a, "One", 1);
  PatchFat(100, 101);
  PatchFat(101, format::kFatEndOfChain);
  PatchFat(200, format::kFatEndOfChain);
  PatchFat(0, format::kFatEndOfChain);
  PatchFat(1, 7);
  EXPECT_EQ(RepairTwice(), (Lines{"Placeholder track's chain repaired\n", Lost(3), Used(3)}));
}

TEST_F(VerifyVolumeTest, RecordCopiedByAnInterruptedMoveIsRemovedOnce) {
  // The run A, B, C, D; removing C moves B up over C's sector first.
  for (const char* album : {"D", "C", "B", "A"}) AddTrack(AddCd(album), album, 2);
  const int b = volume.cdAt(1);
  ASSERT_TRUE(device.Write(volume.cdSector(volume.cdAt(2)), 1, volume.cd(b).data()).ok());
  EXPECT_EQ(RepairTwice(), (Lines{"CD [B] has a duplicate record\n", Lost(2), Used(8)}));
  VolumeImages images;
  ASSERT_TRUE(testing::LoadImages(device, &images).ok());
  ASSERT_EQ(LoadLe32(images.header.data() + format::kCdCountOffset), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(images.cds.data()) + i * 512 + 16),
              std::string(1, "ABD"[i]));
  }
}

TEST_F(VerifyVolumeTest, TrackListedTwiceLosesItsLaterListingOnly) {
  const int a = AddCd("A");
  AddTrack(a, "One", 2);
  const int b = AddCd("B");  // scanned first
  AddTrack(b, "Two", 2);
  // A move of One from A to B cut after the target record was written.
  volume.cd(b).setStartCluster(1, volume.cd(a).startCluster(0));
  volume.cd(b).setTrackCount(2);
  ASSERT_TRUE(volume.WriteCd(b).ok());
  // A loses its only listing and goes with it.
  EXPECT_EQ(RepairTwice(), (Lines{"[A]:[One] is listed twice\n", Used(6)}));
  EXPECT_EQ(Check(), Lines{Used(6)});
}

TEST_F(VerifyVolumeTest, DryRunChangesMemoryOnly) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);
  PatchFat(4, format::kFatFree);
  const auto before = device.contents();
  const uint64_t writes = device.writeCalls();
  int verdict = 0;
  EXPECT_EQ(Check(&verdict), (Lines{"[A]:[One] incorrectly terminated\n", Lost(2), Used(2)}));
  EXPECT_EQ(verdict, 1);
  EXPECT_EQ(device.writeCalls(), writes);
  EXPECT_EQ(device.contents(), before);
}

// Used clusters * 1600 overflows 32 bits on a drive this large.
TEST(ClustersUsed, PercentageIsComputedIn64Bits) {
  const uint32_t n = 48000000;
  VolumeLayout l;
  ASSERT_TRUE(ComputeLayout(n, &l).ok());
  std::array<uint8_t, 1024> header{};
  std::copy(format::kVolumeSignature, format::kVolumeSignature + 4, header.begin());
  StoreLe32(header.data() + format::kFatStartOffset, l.fatStart);
  StoreLe32(header.data() + format::kFatSectorsOffset, l.fatSectors);
  StoreLe32(header.data() + format::kAudioStartOffset, l.audioStart);
  StoreLe32(header.data() + format::kAudioClustersOffset, l.audioClusters);
  std::vector<uint8_t> fat(size_t(l.fatSectors) * 512);
  for (uint32_t c = 0; c < l.fatSectors * 128; ++c) StoreLe32(&fat[4 * c], format::kFatFree);
  // One track owning every cluster from 2 up.
  StoreLe32(&fat[0], 1);
  StoreLe32(&fat[4], format::kFatEndOfChain);
  for (uint32_t c = 2; c + 1 < l.audioClusters; ++c) StoreLe32(&fat[4 * size_t(c)], c + 1);
  StoreLe32(&fat[4 * size_t(l.audioClusters - 1)], format::kFatEndOfChain);
  std::vector<uint8_t> cds(512);
  std::copy(format::kCdSignature, format::kCdSignature + 4, cds.begin());
  cds[format::kCdTrackCountOffset] = 1;
  StoreLe32(&cds[format::kCdStartClustersOffset], 2);
  std::array<uint8_t, 1024> track{};
  std::copy(format::kTrackSignature, format::kTrackSignature + 4, track.begin());
  track[format::kIndexMarksOffset + 2] = 0xFF;

  testing::RecordingSink sink;
  CheckEngine engine;
  engine.SetMessageSink(&sink);
  engine.SetDriveSize(n);
  // The CD record sits in the audio area's last sector.
  StoreLe32(header.data() + format::kCdStartOffset, (l.audioStart + l.audioClusters) * 16 - 1);
  StoreLe32(header.data() + format::kCdCountOffset, 1);
  StoreLe32(&fat[4 * size_t(l.audioClusters - 2)], format::kFatEndOfChain);  // keep out of it
  StoreLe32(&fat[4 * size_t(l.audioClusters - 1)], format::kFatFree);
  engine.AttachHeader(header.data());
  ASSERT_EQ(engine.VerifyHeader(), kHeaderSound);
  ASSERT_TRUE(engine.AttachCdSectors(cds.data(), cds.size()).ok());
  ASSERT_TRUE(engine.AttachFat(fat.data(), fat.size()).ok());
  engine.SetTrackRecord(0, 0, track.data());
  int verdict = -1;
  ASSERT_TRUE(engine.VerifyVolume(&verdict).ok());
  EXPECT_EQ(verdict, 0);
  const uint64_t used = l.audioClusters - 1;
  EXPECT_EQ(sink.messages, Lines{"Clusters used: " + std::to_string(used) + " - %" +
                                 std::to_string(used * 1600 / n) + " of drive\n"});
  EXPECT_GT(used * 1600, uint64_t(UINT32_MAX));
}

}  // namespace
}  // namespace jukepak::checker
