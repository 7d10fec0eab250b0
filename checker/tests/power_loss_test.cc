// Power lost in the middle of the checker's repair: whatever was written, the
// next check and repair bring the volume back without losing a healthy CD or
// track. (Songlift's edits cut at every write: tests/crash_consistency_test.)

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

}  // namespace
}  // namespace jukepak::checker
