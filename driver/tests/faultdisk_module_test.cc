// faultdisk.dld through its entry points: what its fault list makes it do to
// the image, the record it keeps of the writes, and how it refuses a fault
// list it cannot read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/driver_module.h"
#include "driver/faultdisk/disk_faults.h"
#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using testing::FdCapture;
using testing::ReadFileBytes;
using testing::ReadImageSectors;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;

class FaultDiskModuleTest : public testing::ImageModuleTest {
 protected:
  FaultDiskModuleTest() : ImageModuleTest("faultdisk.dld", 128) {}
  // Opens the module with `faults` in its variable.
  int32_t OpenWith(const std::string& faults) {
    ScopedEnv variable(kDiskFaultsVariable, faults.c_str());
    return e().Open();
  }
  std::string LogFile() const { return dir_.File("writes.log"); }
  std::string LogText() const {
    const std::vector<uint8_t> bytes = ReadFileBytes(LogFile());
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(FaultDiskModuleTest, WithoutFaultsItIsADiskImage) {
  EXPECT_STREQ(e().GetDisplayName(), "Fault-Injecting Disk Image");
  ASSERT_EQ(OpenWith(""), 0);
  uint32_t sectors = 0;
  ASSERT_EQ(e().QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, 128u);
  const std::vector<uint8_t> data = SectorPattern(5, 17, 3);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(e().WriteSectors(5, 17, data.data()), 0);
  ASSERT_EQ(e().ReadSectors(5, 17, back.data()), 0);
  EXPECT_EQ(back, data);
  EXPECT_NE(e().WriteSectors(120, 9, data.data()), 0);  // runs past the end
}

TEST_F(FaultDiskModuleTest, APowerCutTearsAWriteAndLastsUntilTheNextOpen) {
  ASSERT_EQ(OpenWith("power-cut-after-sectors=5, write-log=" + LogFile()), 0);
  const std::vector<uint8_t> first = SectorPattern(0, 3, 1);
  const std::vector<uint8_t> second = SectorPattern(10, 4, 2);
  const std::vector<uint8_t> third = SectorPattern(20, 1, 3);
  ASSERT_EQ(e().WriteSectors(0, 3, first.data()), 0);
  ASSERT_EQ(e().WriteSectors(10, 4, second.data()), 0);  // torn after two sectors
  ASSERT_EQ(e().WriteSectors(20, 1, third.data()), 0);   // lost, yet reported done
  e().Close();

  const std::vector<uint8_t> zero(512, 0);
  EXPECT_EQ(ReadImageSectors(image_, 0, 3), first);
  EXPECT_EQ(ReadImageSectors(image_, 10, 2),
            std::vector<uint8_t>(second.begin(), second.begin() + 1024));
  EXPECT_EQ(ReadImageSectors(image_, 12, 1), zero);
  EXPECT_EQ(ReadImageSectors(image_, 20, 1), zero);
  EXPECT_EQ(LogText(), "0 3\n10 4 landed 2\n20 1 landed 0\n");

  // Switched on again without faults, the player takes writes.
  ASSERT_EQ(OpenWith(""), 0);
  ASSERT_EQ(e().WriteSectors(20, 1, third.data()), 0);
  EXPECT_EQ(ReadImageSectors(image_, 20, 1), third);
}

TEST_F(FaultDiskModuleTest, FailsChosenTransfersAndLogsTheFailedWrites) {
  ASSERT_EQ(OpenWith("fail-read-at=7,fail-write-at=30,once,write-log=" + LogFile()), 0);
  std::vector<uint8_t> buffer(8 * 512, 0x5A);
  EXPECT_EQ(e().ReadSectors(0, 7, buffer.data()), 0);  // ends just before
  EXPECT_NE(e().ReadSectors(6, 2, buffer.data()), 0);
  EXPECT_EQ(e().ReadSectors(6, 2, buffer.data()), 0);  // once
  EXPECT_NE(e().WriteSectors(28, 4, buffer.data()), 0);
  EXPECT_EQ(e().WriteSectors(28, 4, buffer.data()), 0);
  EXPECT_EQ(LogText(), "28 4 failed\n28 4\n");
  e().Close();

  ASSERT_EQ(OpenWith("fail-writes-from-call=2"), 0);
  EXPECT_EQ(e().WriteSectors(0, 1, buffer.data()), 0);
  EXPECT_NE(e().WriteSectors(1, 1, buffer.data()), 0);
  EXPECT_NE(e().WriteSectors(2, 1, buffer.data()), 0);
  EXPECT_EQ(ReadImageSectors(image_, 1, 1), std::vector<uint8_t>(512, 0));
}

TEST_F(FaultDiskModuleTest, WriteProtectedImageIsReadAndItsRefusedWritesLoggedAsFailed) {
  const std::vector<uint8_t> data = SectorPattern(4, 1, 2);
  ASSERT_TRUE(testing::WriteImageSectors(image_, 4, data));
  ASSERT_EQ(chmod(image_.c_str(), 0444), 0);
  ASSERT_EQ(OpenWith("write-log=" + LogFile()), 0);
  std::vector<uint8_t> back(512);
  EXPECT_EQ(e().ReadSectors(4, 1, back.data()), 0);
  EXPECT_EQ(back, data);
  FdCapture err(2);
  EXPECT_NE(e().WriteSectors(4, 1, SectorPattern(4, 1, 3).data()), 0);
  EXPECT_NE(err.Finish().find("is read-only"), std::string::npos);
  EXPECT_EQ(LogText(), "4 1 failed\n");
  EXPECT_EQ(ReadImageSectors(image_, 4, 1), data);
}

TEST_F(FaultDiskModuleTest, AFaultListItCannotReadFailsOpenWithTheReason) {
  FdCapture err(2);
  EXPECT_NE(OpenWith("power-cut-after=3"), 0);
  EXPECT_NE(err.Finish().find("disk fault \"power-cut-after=3\": unknown switch"),
            std::string::npos);
  uint32_t sectors = 0;
  EXPECT_NE(e().QueryNumSectors(&sectors), 0);  // not open

  FdCapture log_err(2);
  EXPECT_NE(OpenWith("write-log=" + dir_.File("no/such/folder/w.log")), 0);
  EXPECT_NE(log_err.Finish().find("cannot open the write log"), std::string::npos);
}

TEST(DiskFaults, ParsesEverySwitchAndNamesTheBadItem) {
  DiskFaults faults;
  ASSERT_TRUE(ParseDiskFaults(" power-cut-after-sectors=0x10 ,fail-read-at=1,fail-read-at=9,"
                              "fail-write-at=4,fail-reads-from-call=2,fail-writes-from-call=3,"
                              "once,write-log=/tmp/w.log,",
                              &faults)
                  .ok());
  EXPECT_EQ(faults.power_cut_after_sectors, 16u);
  EXPECT_EQ(faults.failing_read_sectors, (std::vector<uint32_t>{1, 9}));
  EXPECT_EQ(faults.failing_write_sectors, (std::vector<uint32_t>{4}));
  EXPECT_EQ(faults.fail_reads_from_call, 2u);
  EXPECT_EQ(faults.fail_writes_from_call, 3u);
  EXPECT_TRUE(faults.once);
  EXPECT_EQ(faults.write_log, "/tmp/w.log");

  ASSERT_TRUE(ParseDiskFaults(nullptr, &faults).ok());
  EXPECT_FALSE(faults.power_cut_after_sectors.has_value());

  const struct {
    const char* text;
    const char* message;
  } kBad[] = {
      {"fail-read-at", "disk fault \"fail-read-at\": needs a value"},
      {"fail-read-at=x", "disk fault \"fail-read-at=x\": not a number"},
      {"fail-read-at=-1", "disk fault \"fail-read-at=-1\": not a number"},
      {"power-cut-after-sectors=4294967296",
       "disk fault \"power-cut-after-sectors=4294967296\": not a number"},
      {"fail-writes-from-call=0",
       "disk fault \"fail-writes-from-call=0\": calls are counted from 1"},
      {"once=1", "disk fault \"once=1\": takes no value"},
      {"write-log=", "disk fault \"write-log=\": needs a file name"},
      {"fail-read-at=1,powercut", "disk fault \"powercut\": unknown switch"},
  };
  for (const auto& bad : kBad) {
    DiskFaults untouched;
    untouched.once = true;
    const Result result = ParseDiskFaults(bad.text, &untouched);
    EXPECT_EQ(result.code(), ResultCode::kInvalidArgument) << bad.text;
    EXPECT_EQ(result.message(), bad.message);
    EXPECT_TRUE(untouched.once && untouched.failing_read_sectors.empty()) << bad.text;
  }
}

}  // namespace
}  // namespace jukepak
