// Power lost in the middle of a write sequence, by the checker's repair or by
// Songlift's own edits: whatever was written, the next check and repair
// bring the volume back without losing a healthy CD or track.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/byte_order.h"
#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "format/text_field.h"
#include "testing/fault_device.h"

namespace jukepak::checker {
namespace {

using jukepak::testing::FaultDevice;

// The albums of the run on the disk, in CD-area order, and how many track
// listings each start cluster has.
struct Directory {
  std::vector<std::string> albums;
  std::map<uint32_t, int> listings;
};

Directory ReadDirectory(jukepak::testing::SparseDevice& disk) {
  VolumeImages images;
  EXPECT_TRUE(testing::LoadImages(disk, &images).ok());
  Directory d;
  const uint32_t count = LoadLe32(images.header.data() + format::kCdCountOffset);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* cd = images.cds.data() + i * 512;
    d.albums.push_back(ReadTextField(cd + format::kCdAlbumOffset));
    for (uint32_t j = 0; j < cd[format::kCdTrackCountOffset]; ++j) {
      ++d.listings[LoadLe32(cd + format::kCdStartClustersOffset + 4 * j)];
    }
  }
  return d;
}

// Repairs until a check finds nothing; at most three runs.
void RepairFully(jukepak::testing::SparseDevice& disk) {
  for (int run = 0; run < 3; ++run) {
    testing::ScriptedConsole console;
    const CheckOutcome outcome = RunCheck(disk, console);
    if (outcome == CheckOutcome::kClean) return;
    ASSERT_EQ(outcome, CheckOutcome::kRepaired);
  }
  ADD_FAILURE() << "still damaged after three repairs";
}

class PowerLossTest : public SmallVolumeTest {
 protected:
  // The run A, B, C, D, E, one track each; C's track record is damaged, so
  // the repair removes C from the middle of the run.
  void SetUp() override {
    SmallVolumeTest::SetUp();
    for (const char* album : {"E", "D", "C", "B", "A"}) AddTrack(AddCd(album), album, 2);
    volume.track(volume.cd(volume.cdAt(2)).startCluster(0)).data()[0] = 'X';
    ASSERT_TRUE(volume.WriteTrack(volume.cd(volume.cdAt(2)).startCluster(0)).ok());
  }
};

TEST_F(PowerLossTest, RepairCutAtAnyWriteLosesNoHealthyCd) {
  uint64_t writes = 0;
  {
    jukepak::testing::SparseDevice copy = device;
    FaultDevice counting(&copy);
    testing::ScriptedConsole console;
    ASSERT_EQ(RunCheck(counting, console), CheckOutcome::kRepaired);
    writes = counting.plan().writeCalls();
    EXPECT_EQ(ReadDirectory(copy).albums, (std::vector<std::string>{"A", "B", "D", "E"}));
  }
  ASSERT_GE(writes, 4u) << "B and A move up, the FAT, the header";
  for (uint64_t cut = 0; cut < writes; ++cut) {
    jukepak::testing::SparseDevice copy = device;
    FaultDevice faulty(&copy);
    faulty.plan().CutPowerAfterWrites(cut);
    testing::ScriptedConsole console;
    RunCheck(faulty, console);
    RepairFully(copy);
    const Directory d = ReadDirectory(copy);
    EXPECT_EQ(d.albums, (std::vector<std::string>{"A", "B", "D", "E"})) << "cut after " << cut;
    for (const auto& [start, count] : d.listings) EXPECT_EQ(count, 1) << start;
  }
}

class SongliftEditCutTest : public SmallVolumeTest {
 protected:
  // Runs `edit` on a copy of the disk with the power cut after `cut` writes,
  // then repairs the copy fully and returns its directory.
  template <typename Edit>
  Directory CutAndRepair(uint64_t cut, Edit edit) {
    jukepak::testing::SparseDevice copy = device;
    FaultDevice faulty(&copy);
    faulty.plan().CutPowerAfterWrites(cut);
    testing::SongliftVolumeBuilder editor = volume;
    editor.RebindDevice(&faulty);
    EXPECT_TRUE(edit(editor).ok());
    RepairFully(copy);
    return ReadDirectory(copy);
  }
};

TEST_F(SongliftEditCutTest, DeleteCdCutAtAnyWriteLosesNoOtherCd) {
  for (const char* album : {"E", "D"}) AddTrack(AddCd(album), album, 2);
  const int empty = AddCd("Empty");
  for (const char* album : {"B", "A"}) AddTrack(AddCd(album), album, 2);
  // Deleting Empty moves B, then A, one sector up, then writes the header.
  for (uint64_t cut = 0; cut <= 3; ++cut) {
    const Directory d = CutAndRepair(cut, [&](auto& editor) { return editor.DeleteCd(empty); });
    EXPECT_EQ(d.albums, (std::vector<std::string>{"A", "B", "D", "E"})) << "cut after " << cut;
    EXPECT_EQ(d.listings.size(), 4u);
  }
}

TEST_F(SongliftEditCutTest, MoveCutAtAnyWriteLeavesTheTrackListedOnce) {
  const int b = AddCd("B");
  AddTrack(b, "Two", 2);
  const int a = AddCd("A");
  const uint32_t one = AddTrack(a, "One", 2);
  AddTrack(a, "Keep", 1);
  for (uint64_t cut = 0; cut <= 2; ++cut) {
    const Directory d = CutAndRepair(cut, [&](auto& editor) { return editor.MoveTrack(a, 0, b); });
    EXPECT_EQ(d.listings.size(), 3u) << "cut after " << cut;
    EXPECT_EQ(d.listings.at(one), 1) << "cut after " << cut;
  }
}

}  // namespace
}  // namespace jukepak::checker
