// Songlift's engine bound to driver modules by path: the states a refused
// module leaves, and which calls reach the module.

#include "frontend/bind_player.h"

#include <gtest/gtest.h>

#include "driver/tests/test_module_log.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using frontend::BindPlayerModule;
using testing::TestModule;

class BindPlayerTest : public testing::TestModuleLog {
 protected:
  testing::RecordingReporter reporter_;
};

TEST_F(BindPlayerTest, AModuleThatCannotBeBoundLeavesNoDriver) {
  for (const std::string& path :
       {std::string("/nonexistent/module.dld"), TestModule("omit_open"), TestModule("open_fails")}) {
    SCOPED_TRACE(path);
    PlayerVolume volume(&reporter_);
    const Result bound = BindPlayerModule(volume, path);
    EXPECT_FALSE(bound.ok());
    EXPECT_EQ(volume.bindError(), bound.message());
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
    EXPECT_FALSE(volume.bound());
    EXPECT_FALSE(volume.CheckVolume());
  }
  EXPECT_EQ(Calls(), "Open\n");  // only open_fails got as far as a call
}

TEST_F(BindPlayerTest, ABoundDriverIsOpenedOnceAndClosedOnceAtUnbind) {
  {
    PlayerVolume volume(&reporter_);
    ASSERT_TRUE(BindPlayerModule(volume, TestModule("omit_debugmsg")).ok());
    volume.UnbindDriver();
    EXPECT_EQ(Calls(), "Open\nClose\n");
    EXPECT_TRUE(BindPlayerModule(volume, TestModule("complete")).ok());
    EXPECT_EQ(volume.ReadRemoteCode(), 0x1234u);
    EXPECT_FALSE(volume.CheckVolume());  // its disk holds no volume
    // Binding again (the same module chosen once more) closes the first binding.
    EXPECT_TRUE(BindPlayerModule(volume, TestModule("complete")).ok());
  }
  EXPECT_EQ(Calls(), "Open\nClose\nOpen\nReadIR\nReadSectors\nClose\nOpen\nClose\n");
}

}  // namespace
}  // namespace jukepak
