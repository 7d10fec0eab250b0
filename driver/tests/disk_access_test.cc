// Disk access over the simulated board with a memory disk: command
// splitting, the write brackets, the 28-bit limit, the disk's error bit, EPP
// and standard-port writes, timeouts and the out-of-step rule.

#include "driver/portlink/disk_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "driver/sim/interface_board.h"
#include "driver/sim/sim_port.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using portlink::DiskAccess;
using sim::InterfaceBoard;
using sim::MemoryMedium;
using sim::SimFaults;
using sim::SimPort;
using testing::RecordingSink;
using testing::SectorPattern;

constexpr uint32_t kDiskSectors = 4096;

class DiskAccessTest : public ::testing::Test {
 protected:
  // A new board with these faults, opened; returns Open's result.
  int32_t OpenWith(const SimFaults& faults) {
    auto medium = std::make_unique<MemoryMedium>(kDiskSectors);
    medium_ = medium.get();
    port_ = std::make_unique<SimPort>(std::make_unique<InterfaceBoard>(std::move(medium), faults));
    board().set_word_log(&words_);
    sink_ = RecordingSink();
    disk_ = std::make_unique<DiskAccess<SimPort>>(*port_, sink_);
    const int32_t rc = disk_->Open();
    words_.clear();
    board().ClearPortOps();
    return rc;
  }
  void SetUp() override { ASSERT_EQ(OpenWith(SimFaults()), 0); }

  InterfaceBoard& board() { return port_->board(); }
  DiskAccess<SimPort>& disk() { return *disk_; }
  std::vector<uint8_t> MediumSectors(uint32_t first, uint32_t count) {
    return std::vector<uint8_t>(medium_->sector(first), medium_->sector(first) + count * 512);
  }
  int WordCount(uint16_t word) const { return int(std::count(words_.begin(), words_.end(), word)); }
  int WordsWithCode(uint8_t code) const {
    return int(std::count_if(words_.begin(), words_.end(),
                             [code](uint16_t word) { return (word >> 8) == code; }));
  }

  RecordingSink sink_;
  MemoryMedium* medium_ = nullptr;
  std::vector<uint16_t> words_;
  std::unique_ptr<SimPort> port_;
  std::unique_ptr<DiskAccess<SimPort>> disk_;
};

TEST_F(DiskAccessTest, OpenChoosesEppAndLeavesItsPatternInSector2) {
  EXPECT_TRUE(disk().eppEnabled());
  EXPECT_EQ(sink_.debug.front(), "Opening EPP driver\n");
  EXPECT_EQ(sink_.debug.back(), "EPP enabled\n");
  EXPECT_TRUE(sink_.Said("testing IDE in EPP mode\n"));
  const std::vector<uint8_t> sector2 = MediumSectors(2, 1);
  EXPECT_NE(std::count(sector2.begin(), sector2.end(), 0), 512);
  EXPECT_EQ(board().eppBlocks(), 1u);
}

TEST_F(DiskAccessTest, ReadOf16IsOneCommandAnd17IsTwo) {
  std::vector<uint8_t> buffer(17 * 512);
  const uint64_t before = board().disk().counts().read_commands;
  ASSERT_EQ(disk().ReadSectors(100, 16, buffer.data()), 0);
  EXPECT_EQ(board().disk().counts().read_commands, before + 1);
  ASSERT_EQ(disk().ReadSectors(100, 17, buffer.data()), 0);
  EXPECT_EQ(board().disk().counts().read_commands, before + 3);
  EXPECT_EQ(board().disk().lastCommand().lba, 116u);
  EXPECT_EQ(board().disk().lastCommand().count, 1u);
}

TEST_F(DiskAccessTest, CountZeroReadMakesNoTrafficAndCountZeroWriteOnlyBrackets) {
  uint8_t buffer[512];
  EXPECT_EQ(disk().ReadSectors(5, 0, buffer), 0);
  EXPECT_EQ(board().portOps().total(), 0u);

  EXPECT_EQ(disk().WriteSectors(5, 0, buffer), 0);
  ASSERT_FALSE(words_.empty());
  EXPECT_EQ(words_.front(), 0x0A00);
  EXPECT_EQ(words_.back(), 0x0AA0);
  EXPECT_GE(WordCount(0x0417), 1);    // the ready, idle wait between them
  EXPECT_EQ(WordsWithCode(0x03), 0);  // no task file, no command
}

TEST_F(DiskAccessTest, SectorsAtOrAbove2To28AreRefusedWithoutTraffic) {
  std::vector<uint8_t> buffer(2 * 512, 0xEE);
  EXPECT_EQ(disk().WriteSectors(0x10000000, 1, buffer.data()), 1);
  EXPECT_EQ(disk().WriteSectors(0x10000005, 1, buffer.data()), 1);
  EXPECT_EQ(disk().ReadSectors(0xFFFFFFFF, 1, buffer.data()), 1);
  EXPECT_EQ(disk().ReadSectors(0x0FFFFFFF, 2, buffer.data()), 1);  // its last sector passes 2^28
  EXPECT_EQ(disk().WriteSectors(0x0FFFFFFF, 0xFFFFFFFF, buffer.data()), 1);
  EXPECT_EQ(board().portOps().total(), 0u);
  EXPECT_TRUE(sink_.Said("sectors 268435461+1 lie beyond the disk's 28-bit sector numbers\n"));
  EXPECT_EQ(MediumSectors(5, 1), std::vector<uint8_t>(512, 0));

  // The last addressable sectors still go out, high bits in the drive/head
  // register; this disk is smaller, so it answers with its error bit.
  EXPECT_EQ(disk().ReadSectors(0x0FFFFFF0, 16, buffer.data()), 1);
  EXPECT_EQ(board().disk().lastCommand().lba, 0x0FFFFFF0u);
  EXPECT_TRUE(sink_.Said("IDE error bit set\n"));
}

TEST_F(DiskAccessTest, ErrorBitFailsTheTransferButNotTheNextOne) {
  SimFaults faults;
  faults.disk_error_sector = 100;
  ASSERT_EQ(OpenWith(faults), 0);
  std::vector<uint8_t> buffer(8 * 512);
  EXPECT_EQ(disk().ReadSectors(100, 1, buffer.data()), 1);  // at the data request
  EXPECT_EQ(disk().ReadSectors(96, 8, buffer.data()), 1);   // in the middle of a command
  EXPECT_EQ(disk().ReadSectors(0, 8, buffer.data()), 0);

  const std::vector<uint8_t> data = SectorPattern(98, 4, 1);
  EXPECT_EQ(disk().WriteSectors(98, 4, data.data()), 1);
  EXPECT_EQ(MediumSectors(98, 2), std::vector<uint8_t>(data.begin(), data.begin() + 1024));
  EXPECT_EQ(MediumSectors(101, 1), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(disk().WriteSectors(0, 1, data.data()), 0);
}

TEST_F(DiskAccessTest, ErrorOnTheLastSectorOfACommandStopsTheNextCommand) {
  SimFaults faults;
  faults.disk_error_sector = 215;  // sector 16 of 17: the first command's last
  ASSERT_EQ(OpenWith(faults), 0);
  const uint64_t commands = board().disk().counts().write_commands;
  const std::vector<uint8_t> data = SectorPattern(200, 17, 2);
  EXPECT_EQ(disk().WriteSectors(200, 17, data.data()), 1);
  EXPECT_EQ(board().disk().counts().write_commands, commands + 1);
  EXPECT_EQ(MediumSectors(216, 1), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(WordCount(0x0AA0), 0);
}

TEST_F(DiskAccessTest, EppTimeoutKeepsEarlierSectorsAndPutsTheLinkOutOfStep) {
  SimFaults faults;
  faults.epp_timeout_at = 4;  // block 1 is Open's test, so the third sector written here
  ASSERT_EQ(OpenWith(faults), 0);
  const std::vector<uint8_t> data = SectorPattern(50, 5, 3);
  EXPECT_EQ(disk().WriteSectors(50, 5, data.data()), 1);
  EXPECT_EQ(sink_.debug.back(), "EPP timeout misery\n");
  EXPECT_EQ(MediumSectors(50, 2), std::vector<uint8_t>(data.begin(), data.begin() + 1024));
  EXPECT_EQ(MediumSectors(52, 3), std::vector<uint8_t>(3 * 512, 0));
  EXPECT_EQ(WordCount(0x0AA0), 0);

  board().ClearPortOps();
  std::vector<uint8_t> buffer(512);
  int32_t code = 7;
  uint32_t sectors = 0;
  EXPECT_EQ(disk().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(disk().WriteSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(disk().QueryNumSectors(&sectors), 1);
  EXPECT_EQ(disk().ReadIR(&code), 1);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(board().portOps().total(), 0u);
  EXPECT_TRUE(sink_.Said("link out of step; the driver must be opened again\n"));

  ASSERT_EQ(disk().Open(), 0);  // resets the unit; the fault was for one block only
  EXPECT_EQ(disk().WriteSectors(52, 3, data.data() + 1024), 0);
  EXPECT_EQ(MediumSectors(50, 5), data);
}

TEST_F(DiskAccessTest, BrokenEppFallsBackAndWritesGoThroughTheStandardPort) {
  SimFaults faults;
  faults.epp_broken = true;
  ASSERT_EQ(OpenWith(faults), 0);
  EXPECT_FALSE(disk().eppEnabled());
  EXPECT_EQ(sink_.Count("testing SRAM... \n"), 1);  // the second reset skips it
  EXPECT_EQ(sink_.Count("checking comms... \n"), 2);
  EXPECT_EQ(sink_.debug.back(), "EPP disabled\n");

  sink_.debug.clear();
  const std::vector<uint8_t> data = SectorPattern(300, 2, 4);
  ASSERT_EQ(disk().WriteSectors(300, 2, data.data()), 0);
  EXPECT_EQ(MediumSectors(300, 2), data);
  EXPECT_EQ(board().eppBlocks(), 1u);  // only Open's test went through EPP
  EXPECT_EQ(WordCount(0x0500), 2);
  EXPECT_EQ(board().portOps().epp_data_writes, 0u);
  EXPECT_EQ(sink_.debug,
            (std::vector<std::string>{"spp write\n", "Write...\n", "datawrite\n", "done\n",
                                      "Write...\n", "datawrite\n", "done\n"}));
}

TEST_F(DiskAccessTest, DriveBusyTooLongTimesOutThenEveryTransferFailsAtOnce) {
  SimFaults faults;
  faults.busy_reads = 5000;  // longer than the 2 s status bound allows for
  ASSERT_EQ(OpenWith(faults), 0);
  EXPECT_FALSE(disk().eppEnabled());  // Open's test write timed out; the reset recovered
  std::vector<uint8_t> buffer(512);
  const uint64_t t0 = board().clock().shown();
  EXPECT_EQ(disk().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(sink_.debug.back(), "IDE status timeout\n");
  EXPECT_LE(board().clock().shown() - t0, portlink::kStatusTimeoutMs + 10);
  board().ClearPortOps();
  EXPECT_EQ(disk().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(board().portOps().total(), 0u);
}

// Writes 40 sectors (three commands) and reads them back, asks the disk
// size, then writes and reads 4 sectors whose last one fails: true when all
// of it comes out right with `omitted` left out. The board keeps its default
// timing: the drive is busy for two status polls after each command, after
// each sector it writes and after a read's last sector.
bool TransfersComeOutRight(portlink::DiskWait omitted, bool epp) {
  SimFaults faults;
  faults.disk_error_sector = 600;
  faults.epp_broken = !epp;
  SimPort port(
      std::make_unique<InterfaceBoard>(std::make_unique<MemoryMedium>(kDiskSectors), faults));
  RecordingSink sink;
  DiskAccess<SimPort> disk(port, sink);
  if (disk.Open() != 0) return false;
  disk.TEST_OmitWait(omitted);
  const std::vector<uint8_t> data = SectorPattern(100, 40, 9);
  std::vector<uint8_t> back(data.size());
  uint32_t sectors = 0;
  return disk.WriteSectors(100, 40, data.data()) == 0 &&
         disk.ReadSectors(100, 40, back.data()) == 0 && back == data &&
         disk.QueryNumSectors(&sectors) == 0 && sectors == kDiskSectors &&
         disk.WriteSectors(597, 4, data.data()) == 1 && disk.ReadSectors(597, 4, back.data()) == 1;
}

TEST(DiskAccessWaitTest, LeavingOutAnyTransferWaitMakesTransfersFail) {
  using portlink::DiskWait;
  for (bool epp : {true, false}) {
    SCOPED_TRACE(epp ? "EPP writes" : "standard-port writes");
    EXPECT_TRUE(TransfersComeOutRight(DiskWait::kNone, epp));
    // Not kIdentifyReady: every call leaves the drive settled, so IDENTIFY
    // never meets a busy drive.
    const std::pair<DiskWait, const char*> kWaits[] = {
        {DiskWait::kReadReady, "read ready"},
        {DiskWait::kReadDataRequest, "read data request"},
        {DiskWait::kReadDone, "read done"},
        {DiskWait::kWriteReady, "write ready"},
        {DiskWait::kWriteDataRequest, "write data request"},
        {DiskWait::kWriteDone, "write done"},
        {DiskWait::kIdentifyDataRequest, "identify data request"}};
    for (const auto& [omitted, name] : kWaits) {
      EXPECT_FALSE(TransfersComeOutRight(omitted, epp)) << "left out: " << name;
    }
  }
}

TEST(DiskAccessWaitTest, StatusWaitPollsOnceMoreAfterTheProcessWasDescheduled) {
  SimFaults faults;
  faults.busy_reads = 0;
  SimPort port(std::make_unique<InterfaceBoard>(std::make_unique<MemoryMedium>(64), faults));
  bool armed = false;
  testing::DescheduledPort late(port, 3 * portlink::kStatusTimeoutMs, [&armed] { return armed; });
  RecordingSink sink;
  DiskAccess<testing::DescheduledPort> disk(late, sink);
  ASSERT_EQ(disk.Open(), 0);
  armed = true;  // the read's first status wait is left past its bound before its first poll
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(disk.ReadSectors(2, 1, buffer.data()), 0);
  EXPECT_TRUE(disk.link().inStep());
}

TEST_F(DiskAccessTest, CablePulledAfterOpenFailsTransfersWithinTheBound) {
  board().faults().cable_pulled = true;
  std::vector<uint8_t> buffer(512);
  const uint64_t t0 = board().clock().shown();
  EXPECT_EQ(disk().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(disk().WriteSectors(0, 1, buffer.data()), 1);
  EXPECT_LE(board().clock().shown() - t0, portlink::kHandshakeTimeoutMs + 10);
  EXPECT_TRUE(sink_.Said("handshake timeout: the player does not answer\n"));
}

}  // namespace
}  // namespace jukepak
