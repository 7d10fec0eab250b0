// A freshly initialized volume holds no CD: its check reads no CD sector and
// sends no zero-sector transfer to the driver (a read of nothing into no
// buffer, which drivers need not accept).

#include <gtest/gtest.h>

#include <memory>

#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "testing/memory_device.h"
#include "volume/player_volume.h"

namespace jukepak::checker {
namespace {

class ZeroCountRefusingDevice : public ForwardingDevice {
 public:
  using ForwardingDevice::ForwardingDevice;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override {
    if (count == 0) ++zeroCountTransfers;
    return ForwardingDevice::Read(sector, count, out);
  }
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override {
    if (count == 0) ++zeroCountTransfers;
    return ForwardingDevice::Write(sector, count, in);
  }
  int zeroCountTransfers = 0;
};

TEST(EmptyVolumeCheck, IsCleanWithoutZeroSectorTransfers) {
  MemoryDevice disk(30000);
  {
    QuietReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(volume.BindDevice(std::make_unique<ForwardingDevice>(&disk)).ok());
    ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
  }
  ZeroCountRefusingDevice device(&disk);
  testing::ScriptedConsole console;
  EXPECT_EQ(RunCheck(device, console), CheckOutcome::kClean);
  EXPECT_EQ(device.zeroCountTransfers, 0);
}

}  // namespace
}  // namespace jukepak::checker
