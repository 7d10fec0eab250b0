// Volumes as Songlift writes them pass every check, through syncs and
// through the deletes and moves of Songlift's own engine; and a volume the
// checker repaired mounts in Songlift's engine.

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "volume/integrity_check.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/volume_edits.h"

namespace jukepak::checker {
namespace {

class StatusReporter : public QuietReporter {
 public:
  void ShowStatus(std::string_view text) override { status = std::string(text); }
  std::string status;
};

struct Mounted {
  bool ok = false;
  std::string status;
  std::vector<uint32_t> tracksPerCd;
  std::string integrity;  // the integrity check's message
};

// Binds Songlift's engine to the disk and mounts it.
Mounted MountWithSonglift(SectorDevice* disk) {
  StatusReporter reporter;
  Mounted m;
  PlayerVolume volume(&reporter);
  if (!volume.BindDevice(std::make_unique<ForwardingDevice>(disk)).ok()) return m;
  if (volume.CheckVolume() && volume.RunJobNow(Job::kMount).ok()) {
    m.ok = volume.deviceState() == DeviceState::kReady;
    for (const auto& cd : volume.model().playerCds)
      m.tracksPerCd.push_back(uint32_t(cd->tracks.size()));
    IntegrityCounts counts;
    if (CheckIntegrity(volume, &counts).ok()) m.integrity = IntegrityMessage(counts, false);
  }
  m.status = reporter.status;
  volume.UnbindDriver();
  return m;
}

// Songlift's engine mounted over the disk, for its edits.
struct Songlift {
  explicit Songlift(SectorDevice* disk) : volume(&reporter) {
    EXPECT_TRUE(jukepak::testing::MountVolume(volume, disk).ok());
  }
  CdNode* Cd(const std::string& album) {
    for (const auto& cd : volume.model().playerCds) {
      if (cd->record.album() == album) return cd.get();
    }
    ADD_FAILURE() << "no CD " << album;
    return nullptr;
  }
  QuietReporter reporter;
  PlayerVolume volume;
};

class SongliftVolumesTest : public SmallVolumeTest {
 protected:
  uint32_t UsedClusters() {
    uint32_t used = 0;
    for (uint32_t c = 0; c < volume.header().audioClusters(); ++c) {
      if (volume.fat().entry(c) != format::kFatFree) ++used;
    }
    return used;
  }
  // The builder's id of the CD `album` (after Load, ids are new).
  int Id(const std::string& album) {
    for (uint32_t i = 0; i < volume.cdCount(); ++i) {
      if (volume.cd(volume.cdAt(i)).album() == album) return volume.cdAt(i);
    }
    ADD_FAILURE() << "no CD " << album;
    return 0;
  }
  // Judges the disk as it stands (the builder takes it up again first).
  void ExpectSound(const char* when) {
    ASSERT_TRUE(volume.Load().ok()) << when;
    const testing::CheckResult check = Check();
    EXPECT_TRUE(check.clean()) << when;
    EXPECT_EQ(check.findings.back().text, Used(UsedClusters())) << when;
    const Mounted m = MountWithSonglift(&device);
    EXPECT_TRUE(m.ok) << when << ": " << m.status;
    EXPECT_EQ(m.status, "Ready") << when;
    EXPECT_EQ(m.tracksPerCd.size(), volume.cdCount()) << when;
  }
};

TEST_F(SongliftVolumesTest, SyncsDeletesAndMovesKeepTheVolumeSound) {
  std::mt19937 random(7);
  std::vector<int> cds;
  // 40 CDs: the CD area crosses two cluster boundaries.
  for (int i = 0; i < 40; ++i) {
    cds.push_back(AddCd("Album " + std::to_string(i)));
    const int tracks = 1 + int(random() % 4);
    for (int t = 0; t < tracks; ++t)
      AddTrack(cds.back(), "T" + std::to_string(t), 1 + random() % 9);
  }
  const int full = AddCd("Full");
  for (int t = 0; t < 100; ++t) AddTrack(full, "F" + std::to_string(t), 1);
  ExpectSound("after the syncs");

  {
    Songlift songlift(&device);
    PlayerVolume& v = songlift.volume;
    ASSERT_TRUE(DeletePlayerTrack(v, songlift.Cd("Album 3"), 0).ok());
    ASSERT_TRUE(DeletePlayerCd(v, songlift.Cd("Album 0")).ok());   // the top of the run
    ASSERT_TRUE(DeletePlayerCd(v, songlift.Cd("Full")).ok());      // the bottom of the run
    ASSERT_TRUE(DeletePlayerCd(v, songlift.Cd("Album 20")).ok());  // the middle
    ASSERT_TRUE(DeletePlayerCd(v, songlift.Cd("Album 7")).ok());
  }
  ExpectSound("after the deletes");

  for (int i = 0; i < 5; ++i) AddTrack(Id("Album 10"), "New" + std::to_string(i), 2 + i);
  {
    Songlift songlift(&device);
    PlayerVolume& v = songlift.volume;
    CdNode* ten = songlift.Cd("Album 10");
    CdNode* eleven = songlift.Cd("Album 11");
    ASSERT_TRUE(MoveTrack(v, ten, 0, eleven, uint32_t(eleven->tracks.size())).ok());
    ASSERT_TRUE(MoveTrack(v, songlift.Cd("Album 12"), 0, ten, 0).ok());
  }
  ExpectSound("after the moves");
}

TEST_F(SongliftVolumesTest, EmptiedRunAndItsNextCdAreSound) {
  const int a = AddCd("A");
  AddTrack(a, "One", 2);
  {
    Songlift songlift(&device);
    ASSERT_TRUE(DeletePlayerTrack(songlift.volume, songlift.Cd("A"), 0).ok());
  }
  ASSERT_TRUE(volume.Load().ok());
  ASSERT_EQ(volume.header().cdCount(), 0u);
  ASSERT_EQ(volume.header().cdStart(), 0u) << "a volume without CDs keeps its run at 0";
  ExpectSound("with no CD left");
  AddTrack(AddCd("B"), "Two", 3);
  EXPECT_EQ(volume.header().cdStart() + 1, volume.header().AudioEndSector());
  ExpectSound("with a new CD");
}

TEST_F(SongliftVolumesTest, CdEmptiedByAMoveIsReportedAndRemoved) {
  const int a = AddCd("A");
  AddTrack(a, "One", 2);
  const int b = AddCd("B");
  AddTrack(b, "Two", 2);
  {
    Songlift songlift(&device);
    ASSERT_TRUE(MoveTrack(songlift.volume, songlift.Cd("A"), 0, songlift.Cd("B"), 1).ok());
  }
  EXPECT_EQ(RepairTwice(), (Codes{Problem::kCdNoTracks, Problem::kClustersUsed}));
  const Mounted m = MountWithSonglift(&device);
  EXPECT_TRUE(m.ok);
  EXPECT_EQ(m.tracksPerCd, std::vector<uint32_t>{2});
}

TEST_F(SongliftVolumesTest, RepairedVolumeMountsCleanly) {
  for (const char* album : {"C", "B", "A"}) {
    const int id = AddCd(album);
    AddTrack(id, "One", 2);
    AddTrack(id, "Two", 3);
  }
  volume.cd(volume.cdAt(0)).setStartCluster(1, 99999);  // A's Two outside the audio area
  ASSERT_TRUE(volume.WriteCd(volume.cdAt(0)).ok());
  volume.cd(volume.cdAt(1)).data()[1] = 'X';  // B unreadable
  ASSERT_TRUE(volume.WriteCd(volume.cdAt(1)).ok());
  EXPECT_EQ(MountWithSonglift(&device).status,
            "Ready - the directory has damaged entries; run volmend to check and repair it");

  testing::ScriptedConsole console;
  ASSERT_EQ(RunCheck(device, console), CheckOutcome::kRepaired);
  const Mounted m = MountWithSonglift(&device);
  EXPECT_TRUE(m.ok);
  EXPECT_EQ(m.status, "Ready");
  EXPECT_EQ(m.tracksPerCd, (std::vector<uint32_t>{1, 2}));
}

// The checker and Songlift's integrity check judge linkage by one rule: what
// the repair leaves is clean for both, also where a chain ran into the
// placeholder track's clusters 0 and 1.
TEST_F(SongliftVolumesTest, WhatTheRepairLeavesIsCleanForTheIntegrityCheck) {
  struct Damage {
    const char* name;
    uint32_t cluster;  // 0 and 1 stand for themselves, 2 for the last cluster of track Two
    uint32_t value;
  } damages[] = {
      {"chain into cluster 1", 2, 1},
      {"chain into cluster 0", 2, 0},
      {"placeholder's chain cut", 0, format::kFatEndOfChain},
      {"placeholder's end freed", 1, format::kFatFree},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    ASSERT_TRUE(volume.Format().ok());
    const int a = AddCd("A");
    AddTrack(a, "One", 2);
    const uint32_t two = AddTrack(a, "Two", 3);
    PatchFat(damage.cluster == 2 ? two + 2 : damage.cluster, damage.value);

    testing::ScriptedConsole console;
    EXPECT_EQ(RunCheck(device, console), CheckOutcome::kRepaired);
    testing::ScriptedConsole again;
    again.decision = RepairDecision::kLeave;
    EXPECT_EQ(RunCheck(device, again), CheckOutcome::kClean);
    const Mounted m = MountWithSonglift(&device);
    EXPECT_TRUE(m.ok) << m.status;
    EXPECT_EQ(m.integrity, kNoIntegrityErrors);
  }
}

}  // namespace
}  // namespace jukepak::checker
