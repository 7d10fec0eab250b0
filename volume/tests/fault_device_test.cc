// The fault device itself: a test double that lies breaks every test built on it.

#include <gtest/gtest.h>

#include <vector>

#include "volume/memory_device.h"
#include "volume/testing/fault_device.h"

namespace jukepak::testing {
namespace {

std::vector<uint8_t> Filled(uint32_t sectors, uint8_t value) {
  return std::vector<uint8_t>(size_t(sectors) * 512, value);
}

TEST(FaultDevice, APowerCutTearsAWriteAndDropsEveryLaterOne) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  device.CutPowerAfterSectors(5);
  ASSERT_TRUE(device.Write(0, 3, Filled(3, 1).data()).ok());
  EXPECT_FALSE(device.powerCut());
  ASSERT_TRUE(device.Write(10, 4, Filled(4, 2).data()).ok());  // torn after its second sector
  EXPECT_TRUE(device.powerCut());
  ASSERT_TRUE(device.Write(20, 1, Filled(1, 3).data()).ok());
  EXPECT_EQ(disk.sector(2)[0], 1);
  EXPECT_EQ(disk.sector(11)[511], 2);
  EXPECT_EQ(disk.sector(12)[0], 0);
  EXPECT_EQ(disk.sector(20)[0], 0);
  ASSERT_EQ(device.writes().size(), 3u);
  EXPECT_EQ(device.writes()[1].sector, 10u);
  EXPECT_EQ(device.writes()[1].count, 4u);
  EXPECT_EQ(device.sectorsWritten(), 8u);
}

TEST(FaultDevice, FailsAtChosenSectorsOnceOrForGood) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  std::vector<uint8_t> buffer = Filled(8, 0);
  device.FailReadsAt(7, /*once=*/true);
  EXPECT_TRUE(device.Read(0, 7, buffer.data()).ok());  // ends just before
  EXPECT_FALSE(device.Read(6, 2, buffer.data()).ok());
  EXPECT_TRUE(device.Read(6, 2, buffer.data()).ok());
  device.FailWritesAt(30);
  EXPECT_FALSE(device.Write(28, 4, buffer.data()).ok());
  EXPECT_FALSE(device.Write(30, 1, buffer.data()).ok());
  EXPECT_TRUE(device.Write(31, 1, buffer.data()).ok());
  EXPECT_EQ(disk.sector(28)[0], 0);
  EXPECT_EQ(device.injectedFailures(), 3u);
}

TEST(FaultDevice, FailsFromTheNthCall) {
  MemoryDevice disk(64);
  FaultDevice device(&disk);
  std::vector<uint8_t> buffer = Filled(1, 9);
  device.FailWriteCallsFrom(2);
  EXPECT_TRUE(device.Write(0, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(1, 1, buffer.data()).ok());
  EXPECT_FALSE(device.Write(2, 1, buffer.data()).ok());
  device.FailReadCallsFrom(1, /*once=*/true);
  EXPECT_FALSE(device.Read(0, 1, buffer.data()).ok());
  EXPECT_TRUE(device.Read(0, 1, buffer.data()).ok());
}

}  // namespace
}  // namespace jukepak::testing
