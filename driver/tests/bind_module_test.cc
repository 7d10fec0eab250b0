// Binding driver modules by path: what is refused, and before which call.

#include "driver/bind_module.h"

#include <gtest/gtest.h>

#include <fstream>

#include "driver/tests/test_module_log.h"

namespace jukepak {
namespace {

using testing::TestModule;

class BindModuleTest : public testing::TestModuleLog {};

TEST_F(BindModuleTest, AFileThatDoesNotLoadIsRefusedNamingIt) {
  const std::string not_a_module = ::testing::TempDir() + "not_a_module.dld";
  std::ofstream(not_a_module) << "text, not a shared library\n";
  // "": the first run, no driver chosen yet.
  for (const std::string& path : {std::string("/nonexistent/module.dld"), not_a_module,
                                  std::string()}) {
    SCOPED_TRACE(path);
    std::unique_ptr<DriverDevice> device;
    const Result bound = BindModule(path, RequiredEntries::kDevice, &device);
    EXPECT_EQ(bound.code(), ResultCode::kNotFound);
    EXPECT_NE(bound.message().find(path.empty() ? "no driver module" : path), std::string::npos);
    EXPECT_EQ(device, nullptr);
  }
}

TEST_F(BindModuleTest, AModuleLackingARequiredEntryIsRefusedBeforeAnyCall) {
  struct Case {
    const char* variant;
    RequiredEntries required;
    const char* missing;
  };
  for (const Case& c : {Case{"omit_open", RequiredEntries::kDevice, "Open"},
                        Case{"omit_readir", RequiredEntries::kDevice, "ReadIR"},
                        Case{"omit_debugmsg", RequiredEntries::kAll, "DebugMsg"},
                        Case{"omit_queryvalidity", RequiredEntries::kAll, "QueryValidity"}}) {
    SCOPED_TRACE(c.variant);
    std::unique_ptr<DriverDevice> device;
    std::string missing;
    const Result bound = BindModule(TestModule(c.variant), c.required, &device, &missing);
    EXPECT_EQ(bound.code(), ResultCode::kUnsupported);
    EXPECT_NE(bound.message().find(TestModule(c.variant)), std::string::npos);
    EXPECT_NE(bound.message().find(c.missing), std::string::npos);
    EXPECT_EQ(missing, c.missing);
    EXPECT_EQ(device, nullptr);
  }
  EXPECT_EQ(Calls(), "");
}

TEST_F(BindModuleTest, SongliftDoesNotNeedTheEntriesItNeverCalls) {
  std::unique_ptr<DriverDevice> device;
  ASSERT_TRUE(BindModule(TestModule("omit_debugmsg"), RequiredEntries::kDevice, &device).ok());
  // The checker is stricter: the loader names the first missing name.
  EXPECT_EQ(device->module().FirstMissingEntry(), "DebugMsg");
  EXPECT_EQ(device->module().FirstMissingDeviceEntry(), "");
  ASSERT_TRUE(BindModule(TestModule("complete"), RequiredEntries::kAll, &device).ok());
  EXPECT_EQ(device->module().FirstMissingEntry(), "");
  EXPECT_STREQ(device->module().entries().GetDisplayName(), "Test Module");
  EXPECT_EQ(Calls(), "");  // binding calls nothing; whoever takes the device opens it
}

TEST_F(BindModuleTest, AFailedOpenNamesItsResult) {
  std::unique_ptr<DriverDevice> device;
  ASSERT_TRUE(BindModule(TestModule("open_fails"), RequiredEntries::kAll, &device).ok());
  const Result opened = device->Open();
  EXPECT_EQ(opened.code(), ResultCode::kIoError);
  EXPECT_NE(opened.message().find("(result 7)"), std::string::npos);
  EXPECT_EQ(device->lastOpenResult(), 7);
  EXPECT_EQ(Calls(), "Open\n");
}

}  // namespace
}  // namespace jukepak
