// The fault device and its plan: a test double that lies breaks every test
// built on it.

#include "testing/fault_device.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "testing/memory_device.h"
#include "testing/scripted_device.h"

namespace jukepak::testing {
namespace {

std::vector<uint8_t> Filled(uint32_t sectors, uint8_t value) {
  return std::vector<uint8_t>(size_t(sectors) * 512, value);
}

TEST(FaultDevice, APowerCutTearsAWriteAndDropsEveryLaterOne) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  device.plan().CutPowerAfterSectors(5);
  ASSERT_TRUE(device.Write(0, 3, Filled(3, 1).data()).ok());
  EXPECT_FALSE(device.plan().powerCut());
  ASSERT_TRUE(device.Write(10, 4, Filled(4, 2).data()).ok());  // torn after its second sector
  EXPECT_TRUE(device.plan().powerCut());
  ASSERT_TRUE(device.Write(20, 1, Filled(1, 3).data()).ok());
  EXPECT_EQ(disk.sector(2)[0], 1);
  EXPECT_EQ(disk.sector(11)[511], 2);
  EXPECT_EQ(disk.sector(12)[0], 0);
  EXPECT_EQ(disk.sector(20)[0], 0);
  EXPECT_EQ(device.plan().writeLog(),
            (std::vector<WriteRecord>{{0, 3, 3, false}, {10, 4, 2, false}, {20, 1, 0, false}}));
  EXPECT_EQ(device.plan().sectorsWritten(), 8u);
}

TEST(FaultDevice, APowerCutAfterTheKthWriteCallKeepsThoseWhole) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  ASSERT_TRUE(device.Write(0, 1, Filled(1, 1).data()).ok());
  device.plan().CutPowerAfterWrites(2);  // counted from here
  ASSERT_TRUE(device.Write(1, 4, Filled(4, 2).data()).ok());
  ASSERT_TRUE(device.Write(5, 4, Filled(4, 3).data()).ok());
  EXPECT_TRUE(device.plan().powerCut());
  ASSERT_TRUE(device.Write(9, 1, Filled(1, 4).data()).ok());
  EXPECT_EQ(disk.sector(8)[511], 3);
  EXPECT_EQ(disk.sector(9)[0], 0);
  EXPECT_EQ(device.plan().writeLog().back(), (WriteRecord{9, 1, 0, false}));
}

TEST(FaultDevice, FailsAtChosenSectorsOnceOrForGood) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  std::vector<uint8_t> buffer = Filled(8, 0);
  device.plan().FailReadsAt(7, Repeat::kOnce);
  EXPECT_TRUE(device.Read(0, 7, buffer.data()).ok());  // ends just before
  EXPECT_FALSE(device.Read(6, 2, buffer.data()).ok());
  EXPECT_TRUE(device.Read(6, 2, buffer.data()).ok());
  device.plan().FailWritesAt(30);
  EXPECT_FALSE(device.Write(28, 4, buffer.data()).ok());
  EXPECT_FALSE(device.Write(30, 1, buffer.data()).ok());
  EXPECT_TRUE(device.Write(31, 1, buffer.data()).ok());
  EXPECT_EQ(disk.sector(28)[0], 0);
  EXPECT_EQ(device.plan().injectedFailures(), 3u);
  EXPECT_EQ(device.plan().readCalls(), 3u);
  EXPECT_EQ(WriteLogLine(device.plan().writeLog().front()), "28 4 failed");
}

TEST(FaultDevice, FailsFromTheNthCallOfEachKind) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  std::vector<uint8_t> buffer = Filled(1, 9);
  device.plan().FailWriteCallsFrom(2);
  EXPECT_TRUE(device.Write(0, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(1, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(2, 1, buffer.data()).ok());
  device.plan().FailReadCallsFrom(1, Repeat::kOnce);
  EXPECT_FALSE(device.Read(0, 1, buffer.data()).ok());
  EXPECT_TRUE(device.Read(0, 1, buffer.data()).ok());

  uint32_t sectors = 0;
  device.plan().FailSizeQueries(Repeat::kOnce);
  EXPECT_FALSE(device.QuerySectorCount(&sectors).ok());
  EXPECT_TRUE(device.QuerySectorCount(&sectors).ok());
  EXPECT_EQ(sectors, 64u);
  device.plan().FailOpens();
  EXPECT_FALSE(device.Open().ok());
  EXPECT_FALSE(device.Open().ok());
  EXPECT_FALSE(disk.isOpen());
}

TEST(FaultDevice, AWriteTheDiskRefusesIsLoggedAsFailed) {
  MemoryDevice disk(8);
  FaultDevice device(&disk);
  EXPECT_FALSE(device.Write(6, 4, Filled(4, 1).data()).ok());  // past the end
  EXPECT_EQ(device.plan().writeLog(), (std::vector<WriteRecord>{{6, 4, 0, true}}));
  EXPECT_EQ(device.plan().injectedFailures(), 0u);
}

TEST(ScriptedDevice, RecordsNumbersAnswersAndHoldsCalls) {
  MemoryDevice disk(8);
  ScriptedDevice device(&disk);
  std::vector<uint8_t> buffer = Filled(2, 5);
  device.BeforeEach([](const DeviceCall& call) -> std::optional<Result> {
    if (call.op != Op::kWrite || call.number != 2) return std::nullopt;
    return Result::Error(ResultCode::kIoError, "refused");
  });
  EXPECT_TRUE(device.Write(1, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(2, 1, buffer.data()).ok());  // answered in the disk's place
  EXPECT_EQ(disk.sector(2)[0], 0);
  EXPECT_EQ(disk.writeCalls(), 1u);
  device.ClearCalls();  // the numbering starts again
  EXPECT_TRUE(device.Write(3, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(3, 1, buffer.data()).ok());
  device.BeforeEach(nullptr);

  device.Hold(Op::kRead);
  std::thread reader([&] { EXPECT_TRUE(device.Read(4, 2, buffer.data()).ok()); });
  ASSERT_TRUE(device.WaitUntilHeld(std::chrono::seconds(10)));
  EXPECT_EQ(disk.readCalls(), 0u) << "a held call has not reached the disk";
  device.Release();
  reader.join();
  EXPECT_FALSE(device.holding());
  EXPECT_EQ(disk.readCalls(), 1u);
  const std::vector<DeviceCall> calls = device.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].op, Op::kRead);
  EXPECT_EQ(calls[2].sector, 4u);
  EXPECT_EQ(calls[2].count, 2u);
  EXPECT_EQ(calls[2].number, 1u);
}

}  // namespace
}  // namespace jukepak::testing
