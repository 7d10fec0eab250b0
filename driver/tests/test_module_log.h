// The test modules (modules/test_driver_module.cc) note every call in the
// file JUKEPAK_TEST_CALL_LOG names: a fixture that gives each test a log of
// its own and reads it back, and the path of a module variant.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace jukepak::testing {

inline std::string TestModule(const char* variant) {
  return std::string(JUKEPAK_TEST_MODULE_DIR) + "/test_" + variant + ".dld";
}

class TestModuleLog : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest runs each test in its own process, side by side: one log each.
    log_ = ::testing::TempDir() + "bind_calls_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    std::remove(log_.c_str());
    setenv("JUKEPAK_TEST_CALL_LOG", log_.c_str(), 1);
  }
  void TearDown() override { unsetenv("JUKEPAK_TEST_CALL_LOG"); }
  // Every call that reached a test module, one name a line.
  std::string Calls() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string log_;
};

}  // namespace jukepak::testing
