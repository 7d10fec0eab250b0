// The directory and chain pass: every class of damage with the problems it
// raises, each checked with the two-run protocol (the repair run reports and
// fixes, a second run finds nothing but the usage line), and what the repair
// keeps of each damaged track.

#include <gtest/gtest.h>

#include <algorithm>

#include "base/byte_order.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "format/layout.h"

namespace jukepak::checker {
namespace {

using P = Problem;

class VerifyVolumeTest : public SmallVolumeTest {
 protected:
  // The volume as the disk holds it now.
  VolumeImages OnDisk() {
    VolumeImages images;
    EXPECT_TRUE(testing::LoadImages(device, &images).ok());
    return images;
  }
  std::vector<uint32_t> ChainOnDisk(uint32_t start) {
    const VolumeImages images = OnDisk();
    std::vector<uint32_t> chain;
    for (uint32_t c = start; c < 1249 && chain.size() < 1249;
         c = LoadLe32(images.fat.data() + 4 * size_t(c))) {
      chain.push_back(c);
    }
    return chain;
  }
  uint32_t SizeOnDisk(uint32_t start) {
    uint8_t record[512];
    EXPECT_TRUE(device.Read((1 + start) * 16, 1, record).ok());
    return LoadLe32(record + format::kTrackSizeOffset);
  }
  // Sector 2 of cluster c (the first audio sector of a first cluster).
  std::vector<uint8_t> AudioOf(uint32_t c) {
    std::vector<uint8_t> bytes(512);
    EXPECT_TRUE(device.Read((1 + c) * 16 + 2, 1, bytes.data()).ok());
    return bytes;
  }
  void FillAudio(uint32_t c, uint8_t value) {
    std::vector<uint8_t> bytes(512, value);
    ASSERT_TRUE(device.Write((1 + c) * 16 + 2, 1, bytes.data()).ok());
  }
  uint32_t StartOnDisk(uint32_t cd_index, uint32_t track) {
    const VolumeImages images = OnDisk();
    return LoadLe32(images.cds.data() + 512 * cd_index + format::kCdStartClustersOffset +
                    4 * track);
  }
  uint32_t CdCountOnDisk() { return LoadLe32(OnDisk().header.data() + format::kCdCountOffset); }
  // On a blank disk, CD A with One (clusters 2, 3, 4) and Keep (5).
  void OneAndKeep() {
    Reformat();
    const int a = AddCd("A");
    AddTrack(a, "One", 3);
    AddTrack(a, "Keep", 1);
  }
};

TEST_F(VerifyVolumeTest, SoundVolumeReportsOnlyItsUsage) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);
  AddTrack(a, "Two", 2);
  const testing::CheckResult result = Check();
  EXPECT_TRUE(result.clean());
  EXPECT_EQ(result.codes(), Codes{P::kClustersUsed});
  EXPECT_EQ(result.findings[0].text, Used(7));
}

TEST_F(VerifyVolumeTest, OutOfRangeFatEntriesAreFreed) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);  // clusters 2, 3, 4; its size needs two
  PatchFat(100, 5000);
  PatchFat(3, 0x00ABCDEF);  // One's chain now ends on a freed entry after two clusters
  EXPECT_EQ(RepairTwice(),
            (Codes{P::kFatOutOfRange, P::kChainEndedAtSize, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(ChainOnDisk(2), (std::vector<uint32_t>{2, 3}));
}

TEST_F(VerifyVolumeTest, CdRecordChecks) {
  const int a = AddCd("A");
  AddTrack(a, "One", 2);
  AddCd("Bj\xF6rk");  // Latin-1, as the volume holds its texts
  const int b = AddCd("B");  // the run is now B, Bj\xF6rk, A
  AddTrack(b, "Two", 2);
  volume.cd(a).data()[0] = 'X';
  ASSERT_TRUE(volume.WriteCd(a).ok());
  EXPECT_EQ(RepairTwice(),
            (Codes{P::kCdNoTracks, P::kCdInvalid, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kCdInvalid), "CD [1] is invalid\n") << "counted among the CDs left";
  EXPECT_EQ(RepairedText(P::kCdNoTracks), "CD [Bj\xC3\xB6rk] has no tracks\n") << "texts are UTF-8";
  EXPECT_EQ(CdCountOnDisk(), 1u);
}

TEST_F(VerifyVolumeTest, HundredTracksAreValidMoreAreNot) {
  const int big = AddCd("Big");
  for (int i = 0; i < 100; ++i) AddTrack(big, "T" + std::to_string(i), 1);
  EXPECT_TRUE(Check().clean());
  volume.cd(big).setTrackCount(101);
  ASSERT_TRUE(volume.WriteCd(big).ok());
  EXPECT_EQ(RepairTwice(), (Codes{P::kCdTrackCount, P::kLostClusters, P::kClustersUsed}));
  // The last CD gone, the header says the volume holds none at 0.
  const VolumeImages images = OnDisk();
  EXPECT_EQ(LoadLe32(images.header.data() + format::kCdCountOffset), 0u);
  EXPECT_EQ(LoadLe32(images.header.data() + format::kCdStartOffset), 0u);
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
  // In directory order; each removal closes up the list.
  EXPECT_EQ(RepairTwice(), (Codes{P::kTrackSignature, P::kTrackStartCluster, P::kIndexMark,
                                  P::kTooManyIndexMarks, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kTrackStartCluster),
            "CD [A], Track 1 has invalid start cluster 00001388\n");
  EXPECT_EQ(RepairedText(P::kIndexMark), "[A]:[Three] has invalid index mark 00001388\n");
}

// Chains that break: kept and ended where the size says when what comes
// before the break holds the track, removed when it does not.
TEST_F(VerifyVolumeTest, BrokenChainsAreEndedAtTheirSizeOrRemoved) {
  struct Case {
    const char* name;
    uint32_t patched;  // the cluster of a three-cluster track (2, 3, 4) whose entry breaks
    uint32_t value;
    Codes codes;
    std::vector<uint32_t> kept;  // its chain afterwards; empty: removed
  };
  const uint32_t cd_area = 1248;
  const Case cases[] = {
      {"free after all three", 4, format::kFatFree,
       {P::kChainEndedAtSize, P::kClustersUsed}, {2, 3, 4}},
      {"free after two", 3, format::kFatFree,
       {P::kChainEndedAtSize, P::kLostClusters, P::kClustersUsed}, {2, 3}},
      {"free after one", 2, format::kFatFree,
       {P::kChainUnterminated, P::kLostClusters, P::kClustersUsed}, {}},
      {"into the placeholder", 2, 1,
       {P::kChainIntoPlaceholder, P::kLostClusters, P::kClustersUsed}, {}},
      {"into the placeholder after two", 3, 0,
       {P::kChainEndedAtSize, P::kLostClusters, P::kClustersUsed}, {2, 3}},
      {"into the CD area", 2, cd_area,
       {P::kChainIntoCdArea, P::kLostClusters, P::kClustersUsed}, {}},
      {"into itself", 2, 2, {P::kCrosslinked, P::kCrosslinkedRemoved, P::kLostClusters,
                             P::kClustersUsed}, {}},
      {"into itself after three", 4, 3, {P::kCrosslinked, P::kChainEndedAtSize, P::kClustersUsed},
       {2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneAndKeep();
    PatchFat(c.patched, c.value);
    EXPECT_EQ(RepairTwice(), c.codes);
    if (c.kept.empty()) {
      EXPECT_EQ(StartOnDisk(0, 0), 5u) << "One is gone, Keep moved up";
    } else {
      EXPECT_EQ(ChainOnDisk(2), c.kept);
    }
    // The placeholder's chain is never given to a track nor freed.
    EXPECT_EQ(ChainOnDisk(0), (std::vector<uint32_t>{0, 1}));
  }
}

TEST_F(VerifyVolumeTest, PlaceholderEntriesAreRestored) {
  const int a = AddCd("A");
  AddTrack(a, "One", 1);
  PatchFat(100, 101);
  PatchFat(101, format::kFatEndOfChain);
  PatchFat(0, format::kFatEndOfChain);
  PatchFat(1, 7);
  EXPECT_EQ(RepairTwice(), (Codes{P::kPlaceholderChain, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kPlaceholderChain), "Placeholder track's chain repaired\n");
  EXPECT_EQ(ChainOnDisk(0), (std::vector<uint32_t>{0, 1}));
}

// A track whose chain runs into one that an earlier track claimed.
TEST_F(VerifyVolumeTest, CrosslinkKeepsTheFirstWholeTrackAndClonesForTheSecond) {
  const int a = AddCd("A");
  const uint32_t one = AddTrack(a, "One", 3);  // 2, 3, 4
  const int b = AddCd("B");                    // scanned first
  AddTrack(b, "Two", 3);                       // 5, 6, 7
  FillAudio(6, 0x66);
  FillAudio(7, 0x77);
  // One's chain now runs 2 -> 6 -> 7: three clusters, as its size says.
  PatchFat(2, 6);
  EXPECT_EQ(RepairTwice(),
            (Codes{P::kCrosslinked, P::kCloneShared, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kCrosslinked),
            "[B]:[Two] and [A]:[One] are crosslinked at cluster 00000006\n");
  EXPECT_EQ(ChainOnDisk(5), (std::vector<uint32_t>{5, 6, 7})) << "the first claim keeps its own";
  const std::vector<uint32_t> cloned = ChainOnDisk(one);
  ASSERT_EQ(cloned.size(), 3u);
  EXPECT_EQ(cloned[0], 2u);
  for (uint32_t k : {1u, 2u}) {
    EXPECT_NE(cloned[k], 5 + k);
    EXPECT_EQ(AudioOf(cloned[k]), AudioOf(5 + k)) << "the copy holds the shared bytes";
  }
}

TEST_F(VerifyVolumeTest, CrosslinkKeepsWhatEachTrackCanMakeWhole) {
  struct Case {
    const char* name;
    uint32_t two_size;  // Two's size field (Two: 6, 7, 8 in B, scanned first)
    uint32_t one_size;  // One's size field (One: 2, 3, 4 in A; 3 -> 7 below)
    Codes codes;
    std::vector<uint32_t> one, two;  // the chains afterwards; empty: removed
  };
  // One's chain 2 -> 3 -> 7 -> 8 is four clusters, one more than its size takes.
  const uint32_t three = 15361, one_cluster = 1024, five = 35841;
  const Case cases[] = {
      {"only the owner whole: One keeps what it had", three, three,
       {P::kCrosslinked, P::kChainEndedAtSize, P::kLostClusters, P::kClustersUsed},
       {2, 3}, {6, 7, 8}},
      {"only the owner whole: One cannot keep enough", three, five,
       {P::kCrosslinked, P::kCrosslinkedRemoved, P::kLostClusters, P::kClustersUsed},
       {}, {6, 7, 8}},
      {"owner not whole: it keeps what it had, One takes the tail", one_cluster,
       uint32_t(4 * 8192 - 9215),
       {P::kCrosslinked, P::kChainEndedAtSize, P::kLostClusters, P::kClustersUsed},
       {2, 3, 7, 8}, {6}},
      {"neither whole", five, five,
       {P::kCrosslinked, P::kCrosslinkedRemoved, P::kCrosslinkedRemoved, P::kLostClusters,
        P::kClustersUsed},
       {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneAndKeep();
    const int b = AddCd("B");
    AddTrack(b, "Two", 3);
    volume.track(2).setSize(c.one_size);
    ASSERT_TRUE(volume.WriteTrack(2).ok());
    volume.track(6).setSize(c.two_size);
    ASSERT_TRUE(volume.WriteTrack(6).ok());
    PatchFat(3, 7);
    EXPECT_EQ(RepairTwice(), c.codes);
    if (!c.one.empty()) EXPECT_EQ(ChainOnDisk(2), c.one);
    if (!c.two.empty()) EXPECT_EQ(ChainOnDisk(6), c.two);
    const uint32_t listed = (c.one.empty() ? 0 : 1) + (c.two.empty() ? 0 : 1) + 1;
    const VolumeImages images = OnDisk();
    uint32_t tracks = 0;
    for (uint32_t i = 0; i < LoadLe32(images.header.data() + format::kCdCountOffset); ++i) {
      tracks += images.cds[512 * i + format::kCdTrackCountOffset];
    }
    EXPECT_EQ(tracks, listed);
  }
}

TEST_F(VerifyVolumeTest, SizeThatDisagreesWithAWholeChainBecomesWhatItHolds) {
  const int a = AddCd("A");
  const uint32_t one = AddTrack(a, "One", 3);
  const uint32_t two = AddTrack(a, "Two", 3);
  volume.track(one).setSize(5 * 8192);  // more than three clusters hold
  ASSERT_TRUE(volume.WriteTrack(one).ok());
  volume.track(two).setSize(100);  // less than its own record
  ASSERT_TRUE(volume.WriteTrack(two).ok());
  EXPECT_EQ(RepairTwice(), (Codes{P::kSizeMismatch, P::kSizeMismatch, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kSizeMismatch),
            "[A]:[One] has size 40960 but its chain of 3 clusters holds 24576 bytes\n");
  EXPECT_EQ(SizeOnDisk(one), 3u * 8192);
  EXPECT_EQ(SizeOnDisk(two), 3u * 8192);
  EXPECT_EQ(ChainOnDisk(one).size(), 3u);
}

TEST_F(VerifyVolumeTest, RecordCopiedByAnInterruptedMoveIsRemovedOnce) {
  // The run A, B, C, D; removing C moves B up over C's sector first.
  for (const char* album : {"D", "C", "B", "A"}) AddTrack(AddCd(album), album, 2);
  const int b = volume.cdAt(1);
  ASSERT_TRUE(device.Write(volume.cdSector(volume.cdAt(2)), 1, volume.cd(b).data()).ok());
  EXPECT_EQ(RepairTwice(), (Codes{P::kCdDuplicate, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kCdDuplicate), "CD [B] has a duplicate record\n");
  const VolumeImages images = OnDisk();
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
  EXPECT_EQ(RepairTwice(), (Codes{P::kListedTwice, P::kClustersUsed}));
}

TEST_F(VerifyVolumeTest, DryRunChangesMemoryOnly) {
  const int a = AddCd("A");
  AddTrack(a, "One", 3);  // 2, 3, 4
  AddTrack(AddCd("B"), "Two", 3);  // 5, 6, 7; scanned first
  PatchFat(2, 6);  // One runs into Two's tail: copies in memory only
  const auto before = device.contents();
  const uint64_t writes = device.writeCalls();
  const testing::CheckResult result = Check();
  EXPECT_EQ(result.volume, VolumeVerdict::kRepaired);
  EXPECT_EQ(result.codes(),
            (Codes{P::kCrosslinked, P::kCloneShared, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(result.findings.back().text, Used(8))
      << "the placeholder, Two, and One with its copies; One's old 3 and 4 freed";
  EXPECT_EQ(device.writeCalls(), writes);
  EXPECT_EQ(device.contents(), before);
}

// The asking mode: what the choice declines is left as found and its
// clusters stay in use; what it accepts is mended.
TEST_F(VerifyVolumeTest, AskingModeMendsOnlyWhatTheChoiceAccepts) {
  class DeclineRemovals : public ProblemChoice {
   public:
    bool ShouldFix(const Finding&, Remedy remedy) override {
      asked.push_back(remedy);
      return remedy != Remedy::kRemoveTrack;
    }
    std::vector<Remedy> asked;
  };
  const int a = AddCd("A");
  const uint32_t one = AddTrack(a, "One", 3);  // 2, 3, 4
  AddTrack(a, "Two", 1);
  StoreLe24(volume.track(one).indexSlot(1), 5000);  // a removal, declined
  ASSERT_TRUE(volume.WriteTrack(one).ok());
  PatchFat(200, format::kFatEndOfChain);  // a lost cluster, freed
  DeclineRemovals choice;
  testing::DeviceLogWriter writer(&device);
  const testing::CheckResult asked = testing::CheckDevice(device, &writer, &choice);
  EXPECT_EQ(asked.codes(), (Codes{P::kIndexMark, P::kLostClusters, P::kClustersUsed}));
  EXPECT_EQ(choice.asked, (std::vector<Remedy>{Remedy::kRemoveTrack, Remedy::kFreeClusters}));
  // One is still listed and its chain is whole; cluster 200 was freed.
  EXPECT_EQ(StartOnDisk(0, 0), one);
  EXPECT_EQ(ChainOnDisk(one), (std::vector<uint32_t>{2, 3, 4}));
  EXPECT_EQ(LoadLe32(OnDisk().fat.data() + 4 * 200), format::kFatFree);
  // A dry run mends in memory what the repair left, and counts what follows.
  EXPECT_EQ(Check().codes(), (Codes{P::kIndexMark, P::kLostClusters, P::kClustersUsed}));
}

// A stop asked for during a dry run ends it at once; nothing was written.
TEST_F(VerifyVolumeTest, DryRunStopsAtTheFirstPollThatAsks) {
  for (int i = 0; i < 5; ++i) AddTrack(AddCd("CD" + std::to_string(i)), "T", 1);
  testing::CountingPoll poll;
  poll.stopAt = 2;
  const testing::CheckResult result = testing::CheckDevice(device, nullptr, nullptr, &poll);
  EXPECT_EQ(result.result.code(), ResultCode::kCancelled);
  EXPECT_EQ(poll.polls, 2u);
}

// The header and FAT images of a fresh volume over `sectors` sectors (the
// placeholder's chain only) that lists one CD, in the audio area's last sector.
struct OneCdImages {
  explicit OneCdImages(uint32_t sectors) {
    EXPECT_TRUE(ComputeLayout(sectors, &layout).ok());
    std::copy(format::kVolumeSignature, format::kVolumeSignature + 4, header.begin());
    StoreLe32(header.data() + format::kFatStartOffset, layout.fatStart);
    StoreLe32(header.data() + format::kFatSectorsOffset, layout.fatSectors);
    StoreLe32(header.data() + format::kAudioStartOffset, layout.audioStart);
    StoreLe32(header.data() + format::kAudioClustersOffset, layout.audioClusters);
    StoreLe32(header.data() + format::kCdStartOffset,
              (layout.audioStart + layout.audioClusters) * 16 - 1);
    StoreLe32(header.data() + format::kCdCountOffset, 1);
    fat.resize(size_t(layout.fatSectors) * 512);
    for (uint32_t c = 0; c < layout.fatSectors * 128; ++c) {
      StoreLe32(&fat[4 * size_t(c)], format::kFatFree);
    }
    StoreLe32(&fat[0], 1);
    StoreLe32(&fat[4], format::kFatEndOfChain);
  }
  VolumeLayout layout;
  std::array<uint8_t, 1024> header{};
  std::vector<uint8_t> fat;
};

// Used clusters * 1600 overflows 32 bits on a drive this large.
TEST(ClustersUsed, PercentageIsComputedIn64Bits) {
  const uint32_t n = 48000000;
  OneCdImages v(n);
  auto& [l, header, fat] = v;
  // Eight tracks own every cluster from 2 up to the CD record's cluster.
  constexpr uint32_t kTracks = 8;
  const uint32_t end = l.audioClusters - 1;
  const uint32_t each = (end - 2) / kTracks;
  std::vector<uint8_t> cds(512);
  std::copy(format::kCdSignature, format::kCdSignature + 4, cds.begin());
  cds[format::kCdTrackCountOffset] = kTracks;
  std::vector<std::array<uint8_t, 1024>> records(kTracks);
  for (uint32_t t = 0; t < kTracks; ++t) {
    const uint32_t first = 2 + t * each;
    const uint32_t last = t + 1 == kTracks ? end - 1 : first + each - 1;
    for (uint32_t c = first; c < last; ++c) StoreLe32(&fat[4 * size_t(c)], c + 1);
    StoreLe32(&fat[4 * size_t(last)], format::kFatEndOfChain);
    StoreLe32(&cds[format::kCdStartClustersOffset + 4 * t], first);
    std::copy(format::kTrackSignature, format::kTrackSignature + 4, records[t].begin());
    StoreLe32(records[t].data() + format::kTrackSizeOffset, (last - first + 1) * 8192u);
    records[t][format::kIndexMarksOffset + 2] = 0xFF;
  }

  testing::RecordingSink sink;
  CheckEngine engine;
  engine.SetFindingSink(&sink);
  engine.SetDriveSize(n);
  engine.AttachHeader(header.data());
  ASSERT_EQ(engine.VerifyHeader(), HeaderRule::kSound);
  ASSERT_TRUE(engine.AttachCdSectors(cds.data(), cds.size()).ok());
  ASSERT_TRUE(engine.AttachFat(fat.data(), fat.size()).ok());
  for (uint32_t t = 0; t < kTracks; ++t) engine.SetTrackRecord(0, t, records[t].data());
  VolumeVerdict verdict = VolumeVerdict::kRepaired;
  ASSERT_TRUE(engine.VerifyVolume(&verdict).ok());
  EXPECT_EQ(verdict, VolumeVerdict::kClean);
  const uint64_t used = end;
  ASSERT_EQ(sink.codes(), Codes{Problem::kClustersUsed});
  EXPECT_EQ(sink.findings.back().text, "Clusters used: " + std::to_string(used) + " - %" +
                                           std::to_string(used * 1600 / n) + " of drive\n");
  EXPECT_GT(used * 1600, uint64_t(UINT32_MAX));
}

// Index marks cannot name clusters at or above 0xFF0000: a track there gets
// its clusters moved below, in memory here (the drive is 2^28 sectors).
TEST(MarkLimit, TrackClustersAtOrAboveItAreMovedBelow) {
  const uint32_t n = 1u << 28;
  OneCdImages v(n);
  auto& [l, header, fat] = v;
  const uint32_t high = format::kTrackClusterBound;
  StoreLe32(&fat[4 * size_t(high)], high + 1);
  StoreLe32(&fat[4 * size_t(high + 1)], format::kFatEndOfChain);
  std::vector<uint8_t> cds(512);
  std::copy(format::kCdSignature, format::kCdSignature + 4, cds.begin());
  cds[format::kCdTrackCountOffset] = 1;
  StoreLe32(&cds[format::kCdStartClustersOffset], high);
  std::array<uint8_t, 1024> track{};
  std::copy(format::kTrackSignature, format::kTrackSignature + 4, track.begin());
  StoreLe32(track.data() + format::kTrackSizeOffset, 8192 + 1024);
  StoreLe24(track.data() + format::kIndexMarksOffset, format::kIndexTerminatorCluster);

  testing::RecordingSink sink;
  CheckEngine engine;
  engine.SetFindingSink(&sink);
  engine.SetDriveSize(n);
  engine.AttachHeader(header.data());
  ASSERT_TRUE(engine.AttachCdSectors(cds.data(), cds.size()).ok());
  ASSERT_TRUE(engine.AttachFat(fat.data(), fat.size()).ok());
  engine.SetTrackRecord(0, 0, track.data());
  VolumeVerdict verdict = VolumeVerdict::kClean;
  ASSERT_TRUE(engine.VerifyVolume(&verdict).ok());
  EXPECT_EQ(sink.codes(),
            (Codes{Problem::kClusterAboveMarkLimit, Problem::kLostClusters, Problem::kClustersUsed}));
  const uint32_t start = LoadLe32(&cds[format::kCdStartClustersOffset]);
  EXPECT_LT(start, high);
  const uint32_t next = LoadLe32(&fat[4 * size_t(start)]);
  EXPECT_LT(next, high);
  EXPECT_EQ(LoadLe32(&fat[4 * size_t(next)]), format::kFatEndOfChain);
  EXPECT_EQ(LoadLe32(&fat[4 * size_t(high)]), format::kFatFree);

  // The copy's own record goes with it; checked again, the volume is clean.
  engine.Release();
  sink.findings.clear();
  engine.AttachHeader(header.data());
  ASSERT_TRUE(engine.AttachCdSectors(cds.data(), cds.size()).ok());
  ASSERT_TRUE(engine.AttachFat(fat.data(), fat.size()).ok());
  engine.SetTrackRecord(0, 0, track.data());
  ASSERT_TRUE(engine.VerifyVolume(&verdict).ok());
  EXPECT_EQ(verdict, VolumeVerdict::kClean);
}

}  // namespace
}  // namespace jukepak::checker
