// A freshly initialized volume holds no CD: its check reads no CD sector and
// sends no zero-sector transfer to the driver (a read of nothing into no
// buffer, which drivers need not accept).

#include <gtest/gtest.h>


#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "testing/memory_device.h"
#include "testing/scripted_device.h"
#include "volume/testing/engine_volume.h"

namespace jukepak::checker {
namespace {

using jukepak::testing::DeviceCall;
using jukepak::testing::Op;
using jukepak::testing::ScriptedDevice;

TEST(EmptyVolumeCheck, IsCleanWithoutZeroSectorTransfers) {
  MemoryDevice disk(30000);
  ASSERT_TRUE(jukepak::testing::InitializeWithEngine(&disk).ok());
  ScriptedDevice device(&disk);
  testing::ScriptedConsole console;
  EXPECT_EQ(RunCheck(device, console), CheckOutcome::kClean);
  ASSERT_GT(device.callCount(Op::kRead), 0u);
  for (const DeviceCall& call : device.calls()) {
    const bool transfer = call.op == Op::kRead || call.op == Op::kWrite;
    EXPECT_FALSE(transfer && call.count == 0) << "a transfer of no sector at " << call.sector;
  }
}

}  // namespace
}  // namespace jukepak::checker
