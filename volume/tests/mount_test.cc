// Binding a driver, looking at the header and mounting the directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "testing/fault_device.h"
#include "testing/memory_device.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_media.h"
#include "volume/tests/test_volumes.h"
#include "volume/volume_edits.h"

namespace jukepak {
namespace {

using testing::Tree;

using testing::AddCd;
using testing::RecordingReporter;
using testing::Share;

class MountTest : public ::testing::Test {
 protected:
  MountTest() : disk_(4096), volume_(&reporter_) {}

  void Initialize() {
    ASSERT_TRUE(volume_.BindDevice(Share(disk_)).ok());
    ASSERT_TRUE(volume_.RunJobNow(Job::kInit).ok());
    volume_.UnbindDriver();
  }

  Result Mount() {
    EXPECT_TRUE(volume_.BindDevice(Share(disk_)).ok());
    if (!volume_.CheckVolume()) return Result::Error(ResultCode::kCorrupt, "no signature");
    return volume_.RunJobNow(Job::kMount);
  }

  MemoryDevice disk_;
  RecordingReporter reporter_;
  PlayerVolume volume_;
};

TEST_F(MountTest, ShowsCdsInRecordOrderWithTheirTrackLabels) {
  Initialize();
  AddCd(disk_, "Band", "First", {{"One", "Band", 1}, {"Two", "Guest", 2}});
  AddCd(disk_, "Other", "Second", {{"Solo", "Other", 3}});
  ASSERT_TRUE(Mount().ok());
  EXPECT_EQ(volume_.deviceState(), DeviceState::kReady);
  EXPECT_EQ(volume_.busyState(), BusyState::kIdle);
  // The CD of the lowest sector (the newest) comes first.
  EXPECT_EQ(reporter_.TreeText(Tree::kPlayer),
            "Other / Second\n  Solo\nBand / First\n  One\n  Guest / Two\n");
  const std::vector<std::string> statuses = reporter_.statuses();
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(statuses.end() - 3, statuses.end()),
            (std::vector<std::string>{"Reading Directory...", "Reading FAT...", "Ready"}));
  const VolumeModel& m = volume_.model();
  ASSERT_EQ(m.playerCds.size(), 2u);
  EXPECT_EQ(m.playerCds[0]->sector, m.header.cdStart());
  EXPECT_EQ(m.playerCds[1]->sector, m.header.cdStart() + 1);
  EXPECT_EQ(m.playerCds[1]->tracks[1]->firstCluster, 3u);  // clusters 0, 1 hold the placeholder
  EXPECT_TRUE(volume_.IsTrackStart(3));
  EXPECT_FALSE(volume_.IsTrackStart(4));
  EXPECT_EQ(m.nextFreeCluster, 8u);
}

TEST_F(MountTest, ReadsTheFirstSectorOfEachTrackRecordAndTheMarksWhenAsked) {
  Initialize();
  AddCd(disk_, "Band", "First", {{"One", "Band", 1}, {"Two", "Band", 2}});
  AddCd(disk_, "Other", "Second", {{"Solo", "Other", 3}});
  const uint32_t first = 3;  // "Two", behind the placeholder and "One"
  uint8_t* second_sector =
      disk_.sector(uint32_t(testing::ReadHeader(disk_).ClusterSector(first)) + 1);
  for (int i = 0; i < 512; ++i) second_sector[i] = uint8_t(i * 5 + 1);  // later marks
  const uint64_t before = disk_.sectorsRead();
  ASSERT_TRUE(Mount().ok());
  VolumeModel& m = volume_.model();
  // The header, the two CD records, one sector per track and the FAT.
  EXPECT_EQ(disk_.sectorsRead() - before, 2 + 2 + 3 + m.header.fatSectors());
  TrackNode& two = *m.playerCds[1]->tracks[1];
  ASSERT_EQ(two.firstCluster, first);
  EXPECT_FALSE(two.marksLoaded);

  const uint64_t mounted = disk_.sectorsRead();
  ASSERT_TRUE(volume_.LoadIndexMarks(two).ok());
  ASSERT_TRUE(volume_.LoadIndexMarks(two).ok());  // once loaded, not read again
  EXPECT_EQ(disk_.sectorsRead() - mounted, 1u);
  EXPECT_TRUE(two.marksLoaded);
  EXPECT_EQ(two.record.title(), "Two");
  EXPECT_TRUE(std::equal(two.record.data() + 512, two.record.data() + 1024, second_sector));
}

TEST_F(MountTest, ArtistsThatDifferOnlyInCaseAreShown) {
  Initialize();
  AddCd(disk_, "Band", "Album", {{"Same", "Band", 1}, {"Case", "band", 1}});
  ASSERT_TRUE(Mount().ok());
  EXPECT_EQ(reporter_.TreeText(Tree::kPlayer), "Band / Album\n  Same\n  band / Case\n");
}

TEST_F(MountTest, LabelsAreCutTo98CharactersAndDecodedAsLatin1) {
  Initialize();
  const std::string artist = std::string(46, 'a') + "\xE9";  // 47 bytes, ends in e-acute
  AddCd(disk_, artist, std::string(47, 'b'), {{"T", "x", 1}});
  ASSERT_TRUE(Mount().ok());
  const std::string label = reporter_.TopLabels(Tree::kPlayer).at(0);
  // 47 + 3 + 47 = 97 bytes of Latin-1 fit; the e-acute becomes two UTF-8 bytes.
  EXPECT_EQ(label, std::string(46, 'a') + "\xC3\xA9 / " + std::string(47, 'b'));
}

TEST_F(MountTest, AnEmptyDirectoryReplacesWhatWasShownBefore) {
  Initialize();
  AddCd(disk_, "Band", "Album", {{"T", "Band", 1}});
  ASSERT_TRUE(Mount().ok());
  ASSERT_EQ(reporter_.TopLabels(Tree::kPlayer).size(), 1u);
  ASSERT_TRUE(volume_.RunJobNow(Job::kInit).ok());
  EXPECT_TRUE(volume_.model().playerCds.empty());
  EXPECT_EQ(reporter_.TreeText(Tree::kPlayer), "");
  EXPECT_EQ(volume_.deviceState(), DeviceState::kReady);
}

TEST_F(MountTest, ATrackCountAbove100IsClampedSoNoEditIndexesPastTheRecord) {
  Initialize();
  const uint32_t sector = AddCd(disk_, "Band", "Album", {{"T", "Band", 1}});
  disk_.sector(sector)[4] = 200;  // damaged count; slots past the first are zero clusters
  ASSERT_TRUE(Mount().ok());
  const CdNode& cd = *volume_.model().playerCds.at(0);
  EXPECT_EQ(cd.record.trackCount(), 100);
  EXPECT_EQ(cd.tracks.size(), 100u);
  EXPECT_NE(reporter_.lastStatus().find("run volmend"), std::string::npos);
}

TEST_F(MountTest, StartClustersPastTheAudioAreaAreNeverRead) {
  Initialize();
  const uint32_t sector = AddCd(disk_, "Band", "Album", {{"T", "Band", 1}, {"U", "Band", 1}});
  StoreLe32(disk_.sector(sector) + 112 + 4, 0x00FFFFF0);
  const uint64_t reads_before = disk_.readCalls();
  ASSERT_TRUE(Mount().ok());
  const CdNode& cd = *volume_.model().playerCds.at(0);
  ASSERT_EQ(cd.tracks.size(), 2u);
  EXPECT_FALSE(cd.tracks[1]->record.HasSignature());
  // header, the CD run (read once for the header verdict and the mount), one
  // track record, FAT
  EXPECT_EQ(disk_.readCalls() - reads_before, 4u);
  EXPECT_EQ(volume_.deviceState(), DeviceState::kReady);
}

TEST_F(MountTest, ADriveWithoutSignatureIsNotMounted) {
  ASSERT_TRUE(volume_.BindDevice(Share(disk_)).ok());
  EXPECT_FALSE(volume_.CheckVolume());
}

TEST_F(MountTest, HeadersThatNameRegionsOutsideTheDriveAreRefused) {
  struct Damage {
    const char* name;
    void (*apply)(VolumeHeader&);
    const char* words;
  } damages[] = {
      {"fatStart 3", [](VolumeHeader& h) { h.setFatStart(3); }, "before sector 4"},
      {"FAT past drive", [](VolumeHeader& h) { h.setFatSectors(5000); }, "more sectors"},
      {"FAT too small", [](VolumeHeader& h) { h.setAudioClusters(300); }, "too small"},
      {"audio past drive", [](VolumeHeader& h) { h.setAudioStart(250); }, "past the end"},
      {"audio over FAT", [](VolumeHeader& h) { h.setAudioStart(0); }, "overlaps the FAT"},
      {"CDs outside",
       [](VolumeHeader& h) {
         h.setCdCount(2);
         h.setCdStart(4095);
       },
       "CD records"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    MemoryDevice disk(4096);
    RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(volume.BindDevice(Share(disk)).ok());
    ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
    VolumeHeader h = testing::ReadHeader(disk);
    damage.apply(h);
    testing::WriteHeaderTo(disk, h);
    std::memset(disk.sector(4), 0, format::kSectorSize);  // no FAT a rebuilt header agrees with
    ASSERT_TRUE(volume.CheckVolume());
    const Result mounted = volume.RunJobNow(Job::kMount);
    EXPECT_EQ(mounted.code(), ResultCode::kCorrupt);
    EXPECT_NE(mounted.message().find(damage.words), std::string::npos) << mounted.message();
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoVolume);
    EXPECT_EQ(volume.busyState(), BusyState::kIdle);
    EXPECT_NE(reporter.lastStatus().find("run volmend"), std::string::npos);
    EXPECT_FALSE(volume.model().fat.loaded());
  }
}

// Header fields the checker would rebuild: the mount uses them rebuilt and
// shows the directory read-only until Volmend has written them.
TEST_F(MountTest, HeaderFieldsTheCheckerRebuildsAreMountedReadOnly) {
  struct Damage {
    const char* name;
    void (*apply)(VolumeHeader&);
  } damages[] = {
      {"fatStart 3", [](VolumeHeader& h) { h.setFatStart(3); }},
      {"audio over FAT", [](VolumeHeader& h) { h.setAudioStart(0); }},
      {"FAT too small", [](VolumeHeader& h) { h.setAudioClusters(30); }},
      {"crafted CD count",
       [](VolumeHeader& h) {
         h.setCdCount(h.cdCount() + 3000);
         h.setCdStart(h.cdStart() - 3000);
       }},
  };
  Initialize();
  AddCd(disk_, "Band", "Album", {{"T", "Band", 2}});
  const std::vector<uint8_t> sound = disk_.bytes();
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    disk_.bytes() = sound;
    VolumeHeader h = testing::ReadHeader(disk_);
    damage.apply(h);
    testing::WriteHeaderTo(disk_, h);
    const std::vector<uint8_t> damaged = disk_.bytes();
    ASSERT_TRUE(Mount().ok());
    EXPECT_TRUE(volume_.ReadOnly());
    EXPECT_EQ(reporter_.lastStatus(), kDamagedDirectory);
    EXPECT_EQ(reporter_.TreeText(Tree::kPlayer), "Band / Album\n  T\n");
    EXPECT_TRUE(disk_.bytes() == damaged) << "the mount writes nothing";
    volume_.UnbindDriver();
  }
}

// A CD run that ends below the audio area's end: the next CD record would go
// into clusters that tracks use. The directory is shown; nothing is written.
TEST_F(MountTest, ACdRunAwayFromTheAudioAreasEndIsShownReadOnly) {
  Initialize();
  AddCd(disk_, "Band", "Album", {{"T", "Band", 2}});
  VolumeHeader h = testing::ReadHeader(disk_);
  const uint32_t low = h.cdStart() - 40;  // inside the audio area, clear of the track
  std::memcpy(disk_.sector(low), disk_.sector(h.cdStart()), format::kSectorSize);
  h.setCdStart(low);
  testing::WriteHeaderTo(disk_, h);
  testing::TempDir dir;
  testing::WriteBytes(dir / "new.mp3", testing::TaggedMp3(0.5, "New", "Other", "CD", 1));

  ASSERT_TRUE(Mount().ok());
  EXPECT_TRUE(volume_.ReadOnly());
  EXPECT_EQ(reporter_.lastStatus(), kDamagedDirectory);
  EXPECT_EQ(reporter_.TreeText(Tree::kPlayer), "Band / Album\n  T\n");
  const std::vector<uint8_t> before = disk_.bytes();
  ASSERT_TRUE(AddFile(volume_, dir / "new.mp3", std::nullopt).ok());
  const Result synced = volume_.RunJobNow(Job::kSync);
  EXPECT_EQ(synced.code(), ResultCode::kCorrupt);
  EXPECT_EQ(reporter_.lastStatus(), kDamagedDirectory);
  CdNode* cd = volume_.model().playerCds[0].get();
  EXPECT_EQ(RenameCd(volume_, cd, "Band", "Renamed").code(), ResultCode::kCorrupt);
  EXPECT_EQ(DeletePlayerTrack(volume_, cd, 0).code(), ResultCode::kCorrupt);
  volume_.SetRemoteCode(0, 0x12345678);
  EXPECT_EQ(volume_.WriteHeader().code(), ResultCode::kCorrupt);
  EXPECT_TRUE(disk_.bytes() == before);

  // An initialization lays a new volume, which is writable again.
  ASSERT_TRUE(volume_.RunJobNow(Job::kInit).ok());
  EXPECT_FALSE(volume_.ReadOnly());
  EXPECT_EQ(reporter_.lastStatus(), "Ready");
}

TEST_F(MountTest, AFailedReadEndsTheMountWithNoDirectoryShown) {
  Initialize();
  AddCd(disk_, "Band", "Album", {{"T", "Band", 1}, {"U", "Band", 1}});
  for (int good = 1; good <= 4; ++good) {  // the header, then each later read in turn
    SCOPED_TRACE(good);
    RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    auto failing = std::make_unique<testing::FaultDevice>(&disk_);
    failing->plan().FailReadCallsFrom(good + 1);
    ASSERT_TRUE(volume.BindDevice(std::move(failing)).ok());
    ASSERT_TRUE(volume.CheckVolume());
    EXPECT_FALSE(volume.RunJobNow(Job::kMount).ok());
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
    EXPECT_EQ(volume.busyState(), BusyState::kIdle);
    EXPECT_TRUE(volume.model().playerCds.empty());
    EXPECT_EQ(reporter.TreeText(Tree::kPlayer), "");
    EXPECT_NE(reporter.lastStatus().find("injected read failure"), std::string::npos)
        << reporter.lastStatus();
  }
}

}  // namespace
}  // namespace jukepak
