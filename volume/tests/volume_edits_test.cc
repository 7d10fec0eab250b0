// Deleting, renaming and moving over volumes laid out as a sync writes them.
// Every edit is followed by a fresh mount of the disk, which must read the
// same directory, FAT and tree as the edited model holds.

#include "volume/volume_edits.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/fault_device.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/integrity_check.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using testing::Tree;

using testing::BuildVolume;
using testing::CdContent;
using testing::DescribeModel;
using testing::FaultDevice;
using testing::FaultPlan;
using testing::MountVolume;
using testing::RecordingReporter;
using testing::Repeat;
using testing::SongContent;
using testing::TestAudio;

constexpr uint32_t kSectors = 8000;  // 499 clusters; the first CD record at sector 7999

SongContent Song(const std::string& title, size_t bytes, const std::string& artist = "Band") {
  static uint32_t seed = 0;
  return SongContent{title, artist, TestAudio(bytes, ++seed)};
}

// Sizes of 1, 2 and 3 clusters in turn.
CdContent Cd(const std::string& album, const std::vector<std::string>& titles) {
  const size_t sizes[] = {5000, 9000, 20000};
  CdContent cd{"Band", album, {}};
  for (size_t i = 0; i < titles.size(); ++i) cd.songs.push_back(Song(titles[i], sizes[i % 3]));
  return cd;
}

class EditsTest : public ::testing::Test {
 protected:
  void Build(const std::vector<CdContent>& cds) {
    ASSERT_TRUE(BuildVolume(&disk_, cds).ok());
    Mount();
  }
  void Mount() {
    auto device = std::make_unique<FaultDevice>(&disk_);
    plan_ = &device->plan();
    ASSERT_TRUE(volume_.BindDevice(std::move(device)).ok());
    ASSERT_TRUE(volume_.CheckVolume());
    ASSERT_TRUE(volume_.RunJobNow(Job::kMount).ok());
    plan_->ClearWriteLog();
  }
  // The first sector of each write of the volume since the log was cleared.
  std::vector<uint32_t> Writes() const { return plan_->WrittenSectors(); }

  CdNode* cd(size_t i) { return volume_.model().playerCds.at(i).get(); }
  std::vector<std::string> Titles(const CdNode* node) const {
    std::vector<std::string> titles;
    for (const auto& t : node->tracks) titles.push_back(t->record.title());
    return titles;
  }
  std::vector<uint32_t> Starts(const CdNode* node) const {
    std::vector<uint32_t> starts;
    for (uint32_t i = 0; i < node->record.trackCount(); ++i) {
      starts.push_back(node->record.startCluster(i));
    }
    return starts;
  }
  IntegrityCounts Check() const {
    IntegrityCounts counts;
    EXPECT_TRUE(CheckIntegrity(volume_, &counts).ok());
    return counts;
  }
  // A second engine mounts the disk afresh: it must read what the edited
  // model holds and show the same tree.
  void ExpectSameAsRemount() {
    RecordingReporter fresh_reporter;
    PlayerVolume fresh(&fresh_reporter);
    ASSERT_TRUE(MountVolume(fresh, &disk_).ok());
    EXPECT_EQ(DescribeModel(fresh.model()), DescribeModel(volume_.model()));
    EXPECT_EQ(fresh_reporter.TreeText(Tree::kPlayer), reporter_.TreeText(Tree::kPlayer));
  }
  bool InFat(uint32_t sector) const {
    const VolumeHeader& h = volume_.model().header;
    return sector >= h.fatStart() && sector < h.fatStart() + h.fatSectors();
  }
  uint32_t Fat(uint32_t cluster) const { return volume_.model().fat.entry(cluster); }
  std::vector<uint32_t> FatEntries() const {
    std::vector<uint32_t> entries;
    for (uint32_t c = 0; c < volume_.model().fat.entryCount(); ++c) entries.push_back(Fat(c));
    return entries;
  }
  void PatchDiskCd(uint32_t sector, const std::vector<uint32_t>& starts) {
    CdRecord record;
    std::copy(disk_.sector(sector), disk_.sector(sector) + 512, record.data());
    for (uint32_t i = 0; i < starts.size(); ++i) record.setStartCluster(i, starts[i]);
    record.setTrackCount(uint8_t(starts.size()));
    std::copy(record.data(), record.data() + 512, disk_.sector(sector));
  }

  MemoryDevice disk_{kSectors};
  FaultPlan* plan_ = nullptr;  // the bound device's
  RecordingReporter reporter_;
  PlayerVolume volume_{&reporter_};
};

// --- deleting tracks -------------------------------------------------------

TEST_F(EditsTest, DeletingTrackZeroShiftsTheStartsAndWritesTheRecordBeforeTheFat) {
  Build({Cd("Three", {"t1", "t2", "t3"})});
  CdNode* three = cd(0);
  const std::vector<uint32_t> before = Starts(three);
  const uint32_t first = before[0];
  const uint32_t second_cluster = Fat(first);  // t1 takes 1 cluster, so its entry ends the chain
  ASSERT_EQ(second_cluster, format::kFatEndOfChain);
  const uint32_t free_before = volume_.model().freeKilobytes;

  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, three, three->tracks[0].get(), &left).ok());
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(Starts(three), (std::vector<uint32_t>{before[1], before[2]}));
  EXPECT_EQ(three->record.startCluster(2), 0u);  // the vacated slot is cleared
  ASSERT_GE(Writes().size(), 2u);
  EXPECT_EQ(Writes()[0], three->sector);
  for (size_t i = 1; i < Writes().size(); ++i) EXPECT_TRUE(InFat(Writes()[i]));
  EXPECT_EQ(Fat(first), format::kFatFree);
  EXPECT_EQ(volume_.model().nextFreeCluster, first);
  EXPECT_EQ(volume_.model().freeKilobytes, free_before + 8);
  EXPECT_FALSE(volume_.IsTrackStart(first));
  EXPECT_TRUE(Check().clean());
  EXPECT_EQ(reporter_.ChildLabels(Tree::kPlayer, three->id),
            (std::vector<std::string>{"t2", "t3"}));
  ExpectSameAsRemount();
}

TEST_F(EditsTest, EveryDeleteKeepsIsTrackStartAndTheCheckInAgreement) {
  Build({Cd("One", {"a", "b", "c", "d"}), Cd("Two", {"e", "f", "g"})});
  const uint32_t free_at_start = volume_.model().freeKilobytes;
  // From the middle, the end and the front, alternating between the CDs.
  const struct {
    size_t cd, slot;
  } order[] = {{0, 1}, {1, 2}, {0, 2}, {1, 0}, {0, 0}, {1, 0}, {0, 0}};
  for (const auto& step : order) {
    CdNode* node = cd(step.cd);
    const uint32_t first = node->tracks[step.slot]->firstCluster;
    uint32_t left = 0;
    ASSERT_TRUE(DeleteTrack(volume_, node, node->tracks[step.slot].get(), &left).ok());
    EXPECT_FALSE(volume_.IsTrackStart(first));
    const IntegrityCounts counts = Check();
    EXPECT_TRUE(counts.clean()) << IntegrityMessage(counts, false);
    EXPECT_LE(volume_.model().nextFreeCluster, first);
    ExpectSameAsRemount();
  }
  // Both CDs stay, empty, and every cluster the tracks took is free again.
  EXPECT_EQ(cd(0)->record.trackCount(), 0);
  EXPECT_EQ(cd(1)->record.trackCount(), 0);
  EXPECT_EQ(volume_.model().freeKilobytes, free_at_start + 8 * ((1 + 2 + 3 + 1) + (1 + 2 + 3)));
  EXPECT_EQ(volume_.model().nextFreeCluster, 2u);
}

TEST_F(EditsTest, TheOnlyTrackTakesItsCdAlongAndAZeroTrackCdAtTheBottomGoesAtOnce) {
  Build({Cd("Single", {"only"}), CdContent{"Band", "Empty", {}}, Cd("Stays", {"x"})});
  const uint64_t single_item = cd(0)->id;
  ASSERT_TRUE(DeletePlayerTrack(volume_, cd(0), 0).ok());
  EXPECT_FALSE(reporter_.HasItem(Tree::kPlayer, single_item));
  ASSERT_EQ(volume_.model().playerCds.size(), 2u);
  EXPECT_EQ(cd(0)->record.album(), "Empty");
  ExpectSameAsRemount();

  plan_->ClearWriteLog();
  ASSERT_TRUE(DeletePlayerCd(volume_, cd(0)).ok());
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{1, 0}));  // at the bottom: only the header
  ASSERT_EQ(volume_.model().playerCds.size(), 1u);
  EXPECT_EQ(cd(0)->record.album(), "Stays");
  ExpectSameAsRemount();
}

TEST_F(EditsTest, DeletingACdGoesTrackByTrackAndFreesEveryChain) {
  Build({Cd("Keep", {"k1", "k2"}), Cd("Drop", {"d1", "d2", "d3"})});
  std::vector<uint32_t> dropped = Starts(cd(1));
  ASSERT_TRUE(DeletePlayerCd(volume_, cd(1)).ok());
  ASSERT_EQ(volume_.model().playerCds.size(), 1u);
  EXPECT_EQ(Titles(cd(0)), (std::vector<std::string>{"k1", "k2"}));
  for (uint32_t first : dropped) EXPECT_EQ(Fat(first), format::kFatFree);
  EXPECT_EQ(reporter_.TopLabels(Tree::kPlayer), (std::vector<std::string>{"Band / Keep"}));
  EXPECT_TRUE(Check().clean());
  ExpectSameAsRemount();
}

// --- deleting CDs: the CD area stays one gapless run -----------------------

TEST_F(EditsTest, DeletingTheCdAtTheTopMovesEveryRecordBelowItUpByOne) {
  Build({Cd("Low", {"l"}), Cd("Mid", {"m"}), Cd("Top", {"t"})});
  ASSERT_EQ(cd(2)->sector, kSectors - 1);
  const CdRecord low = cd(0)->record;
  const CdRecord mid = cd(1)->record;
  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, cd(2), cd(2)->tracks[0].get(), &left).ok());
  plan_->ClearWriteLog();

  ASSERT_TRUE(DeleteCd(volume_, cd(2)).ok());
  // Nearest first, then the header (its signature sector last).
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{kSectors - 1, kSectors - 2, 1, 0}));
  EXPECT_TRUE(std::equal(mid.data(), mid.data() + 512, disk_.sector(kSectors - 1)));
  EXPECT_TRUE(std::equal(low.data(), low.data() + 512, disk_.sector(kSectors - 2)));
  EXPECT_EQ(volume_.model().header.cdStart(), kSectors - 2);
  EXPECT_EQ(volume_.model().header.cdCount(), 2u);
  EXPECT_EQ(cd(0)->sector, kSectors - 2);
  EXPECT_EQ(cd(1)->sector, kSectors - 1);
  ExpectSameAsRemount();
}

TEST_F(EditsTest, TheLastCdGoneLeavesCdStartZeroAndItsClusterFree) {
  Build({Cd("Only", {"a", "b"})});
  ASSERT_TRUE(DeletePlayerCd(volume_, cd(0)).ok());
  const VolumeModel& model = volume_.model();
  EXPECT_EQ(model.header.cdCount(), 0u);
  EXPECT_EQ(model.header.cdStart(), 0u);
  // All but the placeholder's two clusters, the last one (the CD area's) included.
  EXPECT_EQ(model.freeKilobytes, 8u * (model.header.audioClusters() - 2));
  EXPECT_EQ(model.nextFreeCluster, 2u);
  ExpectSameAsRemount();
}

TEST_F(EditsTest, OnAFullVolumeTheClusterTheLastCdRecordLeavesBecomesTheNextFree) {
  testing::VolumeBuilder builder(&disk_);
  ASSERT_TRUE(builder.Format().ok());
  ASSERT_TRUE(builder.AddCd(CdContent{"Band", "Empty", {}}).ok());
  uint32_t leftover = 0;  // every cluster below the CD area
  ASSERT_TRUE(builder.AddLeftoverChain(kSectors / 16 - 1 - 1 - 2, &leftover).ok());
  Mount();
  ASSERT_EQ(volume_.model().freeKilobytes, 0u);
  ASSERT_EQ(volume_.model().nextFreeCluster, kSectors / 16 - 2);
  // An allocator that ran dry may leave it anywhere at or past the limit.
  volume_.model().nextFreeCluster = volume_.model().header.audioClusters();

  ASSERT_TRUE(DeletePlayerCd(volume_, cd(0)).ok());
  EXPECT_EQ(volume_.model().nextFreeCluster, kSectors / 16 - 2);
  EXPECT_EQ(volume_.model().freeKilobytes, 8u);
  ExpectSameAsRemount();
}

// --- damaged FATs and directories ------------------------------------------

TEST_F(EditsTest, DeleteFollowsALoopOrAStrayLinkOnlyAsFarAsItsOwnClusters) {
  Build({Cd("A", {"one", "two", "three"}), Cd("B", {"other"})});
  const uint32_t three = cd(0)->tracks[2]->firstCluster;  // 3 clusters
  const uint32_t other = cd(1)->tracks[0]->firstCluster;
  const uint32_t second = Fat(three);
  const uint32_t third = Fat(second);
  // The loop case: the last cluster leads back to the first.
  volume_.model().fat.set(third, three);
  ASSERT_TRUE(volume_.FlushFat().ok());
  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, cd(0), cd(0)->tracks[2].get(), &left).ok());
  EXPECT_EQ(Fat(three), format::kFatFree);
  EXPECT_EQ(Fat(second), format::kFatFree);
  EXPECT_EQ(Fat(third), format::kFatFree);
  EXPECT_EQ(Fat(other), format::kFatEndOfChain);
  ExpectSameAsRemount();

  // Links past the audio area and past the table: the walk frees the track's
  // own clusters and goes no further.
  for (uint32_t stray : {volume_.model().header.audioClusters() + 3, 0x00ABCDEFu}) {
    CdNode* a = cd(0);
    const uint32_t first = a->tracks.back()->firstCluster;
    volume_.model().fat.set(first, stray);
    const uint32_t past_entry = Fat(volume_.model().header.audioClusters() + 3);
    ASSERT_TRUE(DeleteTrack(volume_, a, a->tracks.back().get(), &left).ok());
    EXPECT_EQ(Fat(first), format::kFatFree);
    EXPECT_EQ(Fat(volume_.model().header.audioClusters() + 3), past_entry);
    ExpectSameAsRemount();
  }
  EXPECT_EQ(cd(0)->tracks.size(), 0u);
}

TEST_F(EditsTest, DeleteOfAChainMergingIntoAnotherLeavesAFreeLinkageTheCheckFinds) {
  Build({Cd("A", {"x", "y"}), Cd("B", {"p", "q", "r"})});
  const uint32_t y = cd(0)->tracks[1]->firstCluster;  // 2 clusters
  const uint32_t r = cd(1)->tracks[2]->firstCluster;  // 3 clusters
  const uint32_t r2 = Fat(r);
  volume_.model().fat.set(Fat(y), r2);  // y's second cluster leads into r's second
  ASSERT_TRUE(volume_.FlushFat().ok());
  EXPECT_EQ(Check().multipleLinkages, 1u);

  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, cd(0), cd(0)->tracks[1].get(), &left).ok());
  EXPECT_EQ(Fat(y), format::kFatFree);
  EXPECT_EQ(Fat(r2), format::kFatFree);  // walked through, so freed
  EXPECT_EQ(Fat(r), r2);                 // r's own start is untouched
  const IntegrityCounts counts = Check();
  EXPECT_EQ(counts.freeLinkages, 1u);
  EXPECT_EQ(counts.nullLinkages, 0u);
  ExpectSameAsRemount();
}

TEST_F(EditsTest, DeleteStopsAtAFreeEntryInsideTheChain) {
  Build({Cd("A", {"s", "m", "long"})});
  const uint32_t first = cd(0)->tracks[2]->firstCluster;
  const uint32_t second = Fat(first);
  const uint32_t third = Fat(second);
  volume_.model().fat.set(second, format::kFatFree);
  ASSERT_TRUE(volume_.FlushFat().ok());
  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, cd(0), cd(0)->tracks[2].get(), &left).ok());
  EXPECT_EQ(Fat(first), format::kFatFree);
  EXPECT_EQ(Fat(third), format::kFatEndOfChain);  // beyond the break: left for the checker
  EXPECT_EQ(Check().nullLinkages, 1u);
  ExpectSameAsRemount();
}

TEST_F(EditsTest, ATrackStartingPastTheAudioAreaIsDeletedWithoutTouchingTheFat) {
  ASSERT_TRUE(BuildVolume(&disk_, {Cd("A", {"ok", "bad"})}).ok());
  const uint32_t past = 600;  // audioClusters is 499
  PatchDiskCd(kSectors - 1, {2, past});
  Mount();
  ASSERT_EQ(cd(0)->tracks[1]->firstCluster, past);
  plan_->ClearWriteLog();

  EXPECT_EQ(RenameTrack(volume_, cd(0), 1, "x", "y").code(), ResultCode::kCorrupt);
  EXPECT_TRUE(Writes().empty());

  const std::vector<uint32_t> fat_before = FatEntries();
  ASSERT_TRUE(DeletePlayerTrack(volume_, cd(0), 1).ok());
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{kSectors - 1}));
  EXPECT_EQ(FatEntries(), fat_before);
  ExpectSameAsRemount();
}

TEST_F(EditsTest, EveryDuplicateStartGoesAndAChainAnotherCdNamesIsKept) {
  ASSERT_TRUE(BuildVolume(&disk_, {Cd("A", {"a", "b"}), Cd("B", {"c"})}).ok());
  {
    RecordingReporter quiet;
    PlayerVolume probe(&quiet);
    ASSERT_TRUE(MountVolume(probe, &disk_).ok());
    const uint32_t a = probe.model().playerCds[0]->tracks[0]->firstCluster;
    const uint32_t b = probe.model().playerCds[0]->tracks[1]->firstCluster;
    const uint32_t c = probe.model().playerCds[1]->tracks[0]->firstCluster;
    PatchDiskCd(probe.model().playerCds[0]->sector, {a, a, b});
    PatchDiskCd(probe.model().playerCds[1]->sector, {c, a});
  }
  Mount();
  const uint32_t a = cd(0)->tracks[0]->firstCluster;
  uint32_t left = 0;
  ASSERT_TRUE(DeleteTrack(volume_, cd(0), cd(0)->tracks[0].get(), &left).ok());
  EXPECT_EQ(left, 1u);
  EXPECT_EQ(Titles(cd(0)), (std::vector<std::string>{"b"}));
  EXPECT_EQ(reporter_.ChildLabels(Tree::kPlayer, cd(0)->id), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(volume_.IsTrackStart(a));  // CD B still plays it
  EXPECT_NE(Fat(a), format::kFatFree);
  EXPECT_TRUE(Check().clean());
  ExpectSameAsRemount();
}

// --- renaming ----------------------------------------------------------------

TEST_F(EditsTest, RenamingACdRelabelsItsTracksAgainstTheNewArtist) {
  CdContent content{"Band", "Album", {Song("guest song", 3000, "Guest"), Song("own song", 3000)}};
  Build({content});
  EXPECT_EQ(reporter_.ChildLabels(Tree::kPlayer, cd(0)->id),
            (std::vector<std::string>{"Guest / guest song", "own song"}));
  ASSERT_TRUE(RenameCd(volume_, cd(0), "Guest", "New Album").ok());
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{cd(0)->sector}));
  EXPECT_EQ(reporter_.TopLabels(Tree::kPlayer), (std::vector<std::string>{"Guest / New Album"}));
  EXPECT_EQ(reporter_.ChildLabels(Tree::kPlayer, cd(0)->id),
            (std::vector<std::string>{"guest song", "Band / own song"}));
  ExpectSameAsRemount();
}

TEST_F(EditsTest, RenamedTextsAreThePlayersTextCutTo47CharactersAndMayBeEmpty) {
  Build({Cd("Album", {"old"})});
  const std::string long_title = "Caf\xC3\xA9 " + std::string(60, 'x');  // UTF-8 e-acute
  const TrackNode& track = *cd(0)->tracks[0];
  const uint32_t sector = uint32_t(volume_.model().header.ClusterSector(track.firstCluster));
  // The record's second sector, with the later index marks, which the
  // mount has not read: the rename must leave it as it is.
  const std::vector<uint8_t> marks(512, 0x5A);
  std::copy(marks.begin(), marks.end(), disk_.sector(sector + 1));
  ASSERT_TRUE(RenameTrack(volume_, cd(0), 0, "", long_title).ok());
  EXPECT_EQ(track.record.title(), "Caf\xE9 " + std::string(42, 'x'));
  EXPECT_EQ(track.record.artist(), "");
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{sector}));
  EXPECT_TRUE(std::equal(track.record.data(), track.record.data() + 512, disk_.sector(sector)));
  EXPECT_TRUE(std::equal(marks.begin(), marks.end(), disk_.sector(sector + 1)));
  EXPECT_EQ(reporter_.Label(Tree::kPlayer, track.id),
            " / Caf\xC3\xA9 " + std::string(42, 'x'));

  ASSERT_TRUE(RenameCd(volume_, cd(0), "", "").ok());
  EXPECT_EQ(reporter_.TopLabels(Tree::kPlayer), (std::vector<std::string>{" / "}));
  // What Latin-1 lacks is transliterated, as for tags.
  const char* kino = "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE";
  ASSERT_TRUE(RenameCd(volume_, cd(0), kino, "\xE2\x80\x9C" "Best" "\xE2\x80\x9D").ok());
  EXPECT_EQ(reporter_.TopLabels(Tree::kPlayer), (std::vector<std::string>{"Kino / \"Best\""}));
  ExpectSameAsRemount();
}

// --- moving ------------------------------------------------------------------

TEST_F(EditsTest, DraggingWithinACdFollowsTheDropRule) {
  const struct {
    uint32_t from, onto;
    std::vector<std::string> expected;
  } cases[] = {
      {0, 2, {"2", "3", "1", "4"}},  // onto a later track: ends after it
      {3, 1, {"1", "4", "2", "3"}},  // onto an earlier track: ends before it
      {1, 1, {"1", "2", "3", "4"}},  // onto itself: nothing changes
      {3, 0, {"4", "1", "2", "3"}}, {0, 3, {"2", "3", "4", "1"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("from " + std::to_string(cases[i].from) + " onto " +
                 std::to_string(cases[i].onto));
    Build({Cd("Four", {"1", "2", "3", "4"})});
    CdNode* four = cd(0);
    ASSERT_TRUE(DropTrackOntoTrack(volume_, four, cases[i].from, four, cases[i].onto).ok());
    EXPECT_EQ(Titles(four), cases[i].expected);
    EXPECT_EQ(reporter_.ChildLabels(Tree::kPlayer, four->id), cases[i].expected);
    for (size_t k = 0; k < four->tracks.size(); ++k) {
      EXPECT_EQ(four->record.startCluster(uint32_t(k)), four->tracks[k]->firstCluster);
    }
    const bool unchanged = cases[i].from == cases[i].onto;
    EXPECT_EQ(Writes(), unchanged ? std::vector<uint32_t>{} : std::vector<uint32_t>{four->sector});
    ExpectSameAsRemount();
  }
}

TEST_F(EditsTest, DroppingOntoCdItemsAppendsToAnotherCdAndLeavesItsOwnAlone) {
  Build({Cd("Src", {"1", "2", "3"}), Cd("Dst", {"x", "y"})});
  ASSERT_TRUE(DropTrackOntoCd(volume_, cd(0), 1, cd(0)).ok());
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(Titles(cd(0)), (std::vector<std::string>{"1", "2", "3"}));

  ASSERT_TRUE(DropTrackOntoCd(volume_, cd(0), 1, cd(1)).ok());
  EXPECT_EQ(Titles(cd(0)), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Titles(cd(1)), (std::vector<std::string>{"x", "y", "2"}));
  EXPECT_EQ(cd(0)->record.trackCount(), 2);
  EXPECT_EQ(cd(1)->record.trackCount(), 3);
  // The target first: a cut between the two writes lists the track twice.
  EXPECT_EQ(Writes(), (std::vector<uint32_t>{cd(1)->sector, cd(0)->sector}));
  ExpectSameAsRemount();

  ASSERT_TRUE(DropTrackOntoTrack(volume_, cd(0), 0, cd(1), 1).ok());
  EXPECT_EQ(Titles(cd(1)), (std::vector<std::string>{"x", "1", "y", "2"}));
  ExpectSameAsRemount();
}

TEST_F(EditsTest, MovingTheLastTrackOutLeavesAnEmptyCdOnThePlayer) {
  Build({Cd("Lonely", {"solo"}), Cd("Other", {"o"})});
  ASSERT_TRUE(DropTrackOntoCd(volume_, cd(0), 0, cd(1)).ok());
  ASSERT_EQ(volume_.model().playerCds.size(), 2u);
  EXPECT_EQ(cd(0)->record.trackCount(), 0);
  EXPECT_TRUE(reporter_.ChildLabels(Tree::kPlayer, cd(0)->id).empty());
  EXPECT_EQ(Titles(cd(1)), (std::vector<std::string>{"o", "solo"}));
  EXPECT_TRUE(Check().clean());
  ExpectSameAsRemount();
}

TEST_F(EditsTest, AMoveIntoAFullCdIsRefusedAndChangesNothing) {
  CdContent full{"Band", "Full", {}};
  for (int i = 0; i < 100; ++i) full.songs.push_back(Song("f" + std::to_string(i), 100));
  Build({full, Cd("Other", {"o"})});
  const std::string before = DescribeModel(volume_.model());
  const std::string tree_before = reporter_.TreeText(Tree::kPlayer);

  const Result r = DropTrackOntoCd(volume_, cd(1), 0, cd(0));
  EXPECT_EQ(r.code(), ResultCode::kLimit);
  EXPECT_EQ(r.message(), "No more tracks allowed on this CD");
  EXPECT_EQ(DropTrackOntoTrack(volume_, cd(1), 0, cd(0), 5).code(), ResultCode::kLimit);
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(DescribeModel(volume_.model()), before);
  EXPECT_EQ(reporter_.TreeText(Tree::kPlayer), tree_before);

  // Within the full CD, and out of it, tracks still move.
  ASSERT_TRUE(MoveTrack(volume_, cd(0), 0, cd(0), 99).ok());
  EXPECT_EQ(cd(0)->tracks[99]->record.title(), "f0");
  ASSERT_TRUE(MoveTrack(volume_, cd(0), 99, cd(1), 0).ok());
  EXPECT_EQ(Titles(cd(1)), (std::vector<std::string>{"f0", "o"}));
  ExpectSameAsRemount();
}

// --- refusals and driver failures --------------------------------------------

TEST_F(EditsTest, EditsAreRefusedWhileAJobRunsOrForNodesNotInTheDirectory) {
  Build({Cd("A", {"1", "2"})});
  volume_.SetBusyState(BusyState::kSync);
  uint32_t left = 0;
  EXPECT_EQ(DeleteTrack(volume_, cd(0), cd(0)->tracks[0].get(), &left).code(), ResultCode::kBusy);
  EXPECT_EQ(DeletePlayerCd(volume_, cd(0)).code(), ResultCode::kBusy);
  EXPECT_EQ(RenameCd(volume_, cd(0), "a", "b").code(), ResultCode::kBusy);
  EXPECT_EQ(MoveTrack(volume_, cd(0), 0, cd(0), 1).code(), ResultCode::kBusy);
  volume_.SetBusyState(BusyState::kIdle);

  CdNode stranger;
  TrackNode lost;
  EXPECT_EQ(DeleteCd(volume_, &stranger).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(DeleteTrack(volume_, cd(0), &lost, &left).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(DeletePlayerTrack(volume_, cd(0), 2).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(RenameTrack(volume_, cd(0), 7, "a", "b").code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(MoveTrack(volume_, cd(0), 0, &stranger, 0).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(MoveTrack(volume_, cd(0), 0, cd(0), 2).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(MoveTrack(volume_, cd(0), 2, cd(0), 0).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(DeleteCd(volume_, cd(0)).code(), ResultCode::kInvalidArgument);  // still holds tracks
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(cd(0)->tracks.size(), 2u);
  EXPECT_EQ(volume_.model().playerCds.size(), 1u);
}

TEST_F(EditsTest, AFailedRecordWriteStopsTheDeleteBeforeTheFatAndIsReported) {
  Build({Cd("A", {"1", "2"})});
  RecordingReporter probe;
  PlayerVolume before(&probe);
  ASSERT_TRUE(MountVolume(before, &disk_).ok());
  const std::string disk_before = DescribeModel(before.model());

  plan_->FailWriteCallsFrom(1, Repeat::kOnce);
  uint32_t left = 0;
  const Result r = DeleteTrack(volume_, cd(0), cd(0)->tracks[0].get(), &left);
  EXPECT_EQ(r.code(), ResultCode::kIoError);
  EXPECT_EQ(Writes().size(), 1u);  // nothing after the failed record write
  EXPECT_EQ(volume_.deviceState(), DeviceState::kNoDriver);
  EXPECT_EQ(volume_.busyState(), BusyState::kIdle);
  EXPECT_EQ(reporter_.lastStatus(),
            "Could not delete the track: injected write failure at sector 7999");
  EXPECT_EQ(RenameCd(volume_, cd(0), "a", "b").code(), ResultCode::kBusy);

  PlayerVolume after(&probe);
  ASSERT_TRUE(MountVolume(after, &disk_).ok());
  EXPECT_EQ(DescribeModel(after.model()), disk_before);
}

// A cut at any write of a CD's deletion (track records, FAT sectors, moved
// CD records, header) leaves a disk whose directory never names a freed
// cluster: records always go before the FAT.
TEST(EditFaultTest, ACutAtAnyWriteNeverLeavesATrackOverFreeClusters) {
  size_t k = 1;
  for (;; ++k) {
    ASSERT_LT(k, 40u) << "the deletion never completed";
    MemoryDevice disk(kSectors);
    ASSERT_TRUE(
        BuildVolume(&disk, {Cd("L", {"l"}), Cd("M", {"m1", "m2"}), Cd("T", {"t1", "t2", "t3"})})
            .ok());
    RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    auto device = std::make_unique<FaultDevice>(&disk);
    FaultPlan* plan = &device->plan();
    ASSERT_TRUE(volume.BindDevice(std::move(device)).ok());
    ASSERT_TRUE(volume.CheckVolume());
    ASSERT_TRUE(volume.RunJobNow(Job::kMount).ok());
    plan->FailWriteCallsFrom(k, Repeat::kOnce);
    const Result r = DeletePlayerCd(volume, volume.model().playerCds[2].get());
    if (r.ok()) break;
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);

    RecordingReporter fresh_reporter;
    PlayerVolume fresh(&fresh_reporter);
    ASSERT_TRUE(MountVolume(fresh, &disk).ok()) << "cut at write " << k;
    IntegrityCounts counts;
    ASSERT_TRUE(CheckIntegrity(fresh, &counts).ok());
    EXPECT_EQ(counts.freeLinkages, 0u) << "cut at write " << k;
    for (const auto& node : fresh.model().playerCds) {
      for (const auto& track : node->tracks) {
        EXPECT_NE(fresh.model().fat.entry(track->firstCluster), format::kFatFree)
            << "cut at write " << k;
      }
    }
  }
  // Three tracks (record and FAT each), two moved records and the header's
  // two sectors.
  EXPECT_EQ(k, 11u);
}

}  // namespace
}  // namespace jukepak
