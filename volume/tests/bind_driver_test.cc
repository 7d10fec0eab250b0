// Binding driver modules by path: what is refused, and before which call.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "driver/driver_module.h"
#include "volume/player_volume.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using testing::RecordingReporter;

std::string Module(const char* variant) {
  return std::string(JUKEPAK_TEST_MODULE_DIR) + "/test_" + variant + ".dld";
}

class BindDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest runs each test in its own process, side by side: one log each.
    log_ = ::testing::TempDir() + "bind_calls_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    std::remove(log_.c_str());
    setenv("JUKEPAK_TEST_CALL_LOG", log_.c_str(), 1);
  }
  void TearDown() override { unsetenv("JUKEPAK_TEST_CALL_LOG"); }
  std::string Calls() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string log_;
  RecordingReporter reporter_;
};

TEST_F(BindDriverTest, AModuleThatCannotBeLoadedLeavesNoDriver) {
  PlayerVolume volume(&reporter_);
  EXPECT_EQ(volume.BindDriver("/nonexistent/module.dld"), kBindCannotLoad);
  EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
  EXPECT_NE(volume.bindError().find("/nonexistent/module.dld"), std::string::npos);
  EXPECT_FALSE(volume.CheckVolume());
  EXPECT_EQ(volume.BindDriver(""), kBindCannotLoad);  // the first run: no driver chosen
}

TEST_F(BindDriverTest, AFileThatIsNoModuleIsRefused) {
  const std::string path = ::testing::TempDir() + "not_a_module.dld";
  std::ofstream(path) << "text, not a shared library\n";
  PlayerVolume volume(&reporter_);
  EXPECT_EQ(volume.BindDriver(path), kBindCannotLoad);
  EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
}

TEST_F(BindDriverTest, AModuleLackingADeviceEntryIsRefusedBeforeAnyCall) {
  for (const char* variant : {"omit_open", "omit_readir"}) {
    SCOPED_TRACE(variant);
    PlayerVolume volume(&reporter_);
    EXPECT_EQ(volume.BindDriver(Module(variant)), kBindMissingEntry);
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
    EXPECT_NE(volume.bindError().find(std::string(variant) == "omit_open" ? "Open" : "ReadIR"),
              std::string::npos);
    volume.UnbindDriver();
    EXPECT_EQ(Calls(), "");
  }
}

TEST_F(BindDriverTest, SongliftDoesNotNeedTheEntriesItNeverCalls) {
  PlayerVolume volume(&reporter_);
  EXPECT_EQ(volume.BindDriver(Module("omit_debugmsg")), kBindOk);
  volume.UnbindDriver();
  EXPECT_EQ(Calls(), "Open\nClose\n");
  // The checker is stricter: the loader names the first missing name.
  std::unique_ptr<DriverModule> module;
  ASSERT_TRUE(DriverModule::Load(Module("omit_debugmsg"), &module).ok());
  EXPECT_EQ(module->FirstMissingEntry(), "DebugMsg");
  EXPECT_EQ(module->FirstMissingDeviceEntry(), "");
  ASSERT_TRUE(DriverModule::Load(Module("complete"), &module).ok());
  EXPECT_EQ(module->FirstMissingEntry(), "");
  EXPECT_STREQ(module->entries().GetDisplayName(), "Test Module");
}

TEST_F(BindDriverTest, AFailedOpenGivesOneHundredPlusItsResultAndNoFurtherCalls) {
  PlayerVolume volume(&reporter_);
  EXPECT_EQ(volume.BindDriver(Module("open_fails")), kBindOpenFailedBase + 7);
  EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
  EXPECT_FALSE(volume.CheckVolume());
  volume.UnbindDriver();
  EXPECT_EQ(Calls(), "Open\n");
}

TEST_F(BindDriverTest, ABoundDriverIsOpenedOnceAndClosedOnceAtUnbind) {
  {
    PlayerVolume volume(&reporter_);
    EXPECT_EQ(volume.BindDriver(Module("complete")), kBindOk);
    EXPECT_EQ(volume.ReadRemoteCode(), 0x1234u);
    EXPECT_FALSE(volume.CheckVolume());  // its disk holds no volume
    // Binding again (the same module chosen once more) closes the first binding.
    EXPECT_EQ(volume.BindDriver(Module("complete")), kBindOk);
  }
  EXPECT_EQ(Calls(), "Open\nReadIR\nReadSectors\nClose\nOpen\nClose\n");
}

}  // namespace
}  // namespace jukepak
