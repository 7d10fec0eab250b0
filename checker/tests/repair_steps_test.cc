// The repair steps and the flush: which sectors RemoveTrack and RemoveCd
// mark, the order the flush writes them in, the dry run, failed writes and
// the stop request.

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "testing/fault_device.h"

namespace jukepak::checker {
namespace {

using jukepak::testing::FaultDevice;
using jukepak::testing::Repeat;
using testing::DeviceLogWriter;
using testing::WriteRecord;

class RepairStepsTest : public SmallVolumeTest {
 protected:
  // Four CDs of two one-cluster tracks each; the run is A, B, C, D.
  void SetUp() override {
    SmallVolumeTest::SetUp();
    for (const char* album : {"D", "C", "B", "A"}) {
      const int id = AddCd(album);
      AddTrack(id, std::string(album) + "1", 1);
      AddTrack(id, std::string(album) + "2", 1);
    }
    ASSERT_TRUE(testing::LoadImages(device, &images).ok());
    engine.SetDriveSize(kSectors);
    engine.SetFindingSink(&sink);
    ASSERT_TRUE(AttachImages(engine, images).ok());
    cd_start = engine.cdStart();
  }
  std::string AlbumAt(uint32_t sector) {
    uint8_t bytes[512];
    EXPECT_TRUE(device.Read(sector, 1, bytes).ok());
    return std::string(reinterpret_cast<const char*>(bytes) + format::kCdAlbumOffset);
  }
  uint32_t CdField(uint32_t cd, uint32_t offset) {
    return LoadLe32(images.cds.data() + cd * 512 + offset);
  }

  VolumeImages images;
  CheckEngine engine;
  testing::RecordingSink sink;
  uint32_t cd_start = 0;
};

TEST_F(RepairStepsTest, RemoveCdRewritesTheCdsBeforeItTopDownThenTheHeader) {
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  ASSERT_TRUE(engine.RemoveCd(2).ok());  // C
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{{cd_start + 2, 1}, {cd_start + 1, 1}, {0, 2}}));
  EXPECT_EQ(engine.cdCount(), 3u);
  EXPECT_EQ(engine.cdStart(), cd_start + 1);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(AlbumAt(cd_start + 1 + i), std::string(1, "ABD"[i]));
  EXPECT_EQ(LoadLe32(images.header.data() + format::kAudioClustersOffset), 1249u)
      << "the audio area never grows";

  writer.log.clear();
  ASSERT_TRUE(engine.RemoveCd(0).ok());  // the lowest record moves nothing
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{{0, 2}}));
  ASSERT_TRUE(engine.RemoveCd(7).ok());  // no such CD: nothing changes
  EXPECT_EQ(engine.cdCount(), 2u);
}

TEST_F(RepairStepsTest, RemoveTrackClosesTheGapAndTakesAnEmptyCdWithIt) {
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  const uint32_t second = CdField(1, format::kCdStartClustersOffset + 4);
  ASSERT_TRUE(engine.RemoveTrack(1, 0).ok());  // B1
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{{cd_start + 1, 1}}));
  EXPECT_EQ(engine.trackCount(1), 1u);
  EXPECT_EQ(CdField(1, format::kCdStartClustersOffset), second);
  EXPECT_EQ(CdField(1, format::kCdStartClustersOffset + 4), 0u);

  writer.log.clear();
  ASSERT_TRUE(engine.RemoveTrack(1, 5).ok());  // no such track
  EXPECT_TRUE(writer.log.empty());
  ASSERT_TRUE(engine.RemoveTrack(1, 0).ok());  // B's last track: B goes
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{{cd_start + 1, 1}, {0, 2}}));
  EXPECT_EQ(engine.cdCount(), 3u);
  EXPECT_EQ(AlbumAt(cd_start + 1), "A");
}

TEST_F(RepairStepsTest, FatSectorsGoOutInAscendingOrderBetweenCdsAndHeader) {
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  engine.SetFatEntry(900, format::kFatFree);
  engine.SetFatEntry(5, format::kFatFree);
  engine.SetFatEntry(300, format::kFatFree);
  engine.SetFatEntry(6, format::kFatFree);
  ASSERT_TRUE(engine.RemoveCd(1).ok());
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{
                            {cd_start + 1, 1}, {4 + 0, 1}, {4 + 2, 1}, {4 + 7, 1}, {0, 2}}));
}

TEST_F(RepairStepsTest, DryRunFlushWritesNothingKeepsMarksAndDoesNotPoll) {
  testing::CountingPoll poll;
  engine.SetPollHook(&poll);
  const uint64_t writes = device.writeCalls();
  ASSERT_TRUE(engine.RemoveTrack(3, 1).ok());
  ASSERT_TRUE(engine.RemoveCd(2).ok());
  engine.SetFatEntry(40, format::kFatFree);
  ASSERT_TRUE(engine.FlushChanges().ok());
  EXPECT_EQ(device.writeCalls(), writes);
  EXPECT_EQ(poll.polls, 0u);
  EXPECT_TRUE(engine.headerDirty());
  EXPECT_TRUE(engine.cdDirty(0) && engine.cdDirty(1) && engine.cdDirty(2));
  EXPECT_TRUE(engine.fatSectorDirty(0));

  // Installing a writer later flushes everything that was kept.
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  ASSERT_TRUE(engine.FlushChanges().ok());
  EXPECT_EQ(writer.log,
            (std::vector<WriteRecord>{
                {cd_start + 3, 1}, {cd_start + 2, 1}, {cd_start + 1, 1}, {4, 1}, {0, 2}}));
  EXPECT_EQ(poll.polls, 1u);
}

TEST_F(RepairStepsTest, FailedWriteStopsTheFlushAndKeepsItsMark) {
  FaultDevice faulty(&device);
  faulty.plan().FailWriteCallsFrom(2, Repeat::kOnce);
  DeviceLogWriter writer(&faulty);
  engine.SetSectorWriter(&writer);
  const Result r = engine.RemoveCd(2);
  EXPECT_EQ(r.code(), ResultCode::kIoError);
  EXPECT_EQ(writer.log.size(), 2u) << "nothing after the failed write";
  EXPECT_FALSE(engine.cdDirty(1)) << "the first write went out";
  EXPECT_TRUE(engine.cdDirty(0));
  EXPECT_TRUE(engine.headerDirty());
  ASSERT_TRUE(engine.FlushChanges().ok());
  EXPECT_EQ(writer.log.back(), (WriteRecord{0, 2}));
  EXPECT_FALSE(engine.headerDirty());
}

TEST_F(RepairStepsTest, StopRequestEndsTheStepAfterItsWrites) {
  DeviceLogWriter writer(&device);
  testing::CountingPoll poll;
  poll.stopAt = 1;
  engine.SetSectorWriter(&writer);
  engine.SetPollHook(&poll);
  EXPECT_EQ(engine.RemoveTrack(0, 0).code(), ResultCode::kCancelled);
  EXPECT_EQ(writer.log, (std::vector<WriteRecord>{{cd_start, 1}}));
}

}  // namespace
}  // namespace jukepak::checker
