// ReinitializeVolume: what it writes, in which order, what survives, and the
// code of the first failed step.

#include <gtest/gtest.h>

#include <array>

#include "base/byte_order.h"
#include "checker/testing/engine_fixtures.h"
#include "testing/sparse_device.h"
#include "format/format_constants.h"
#include "testing/fault_device.h"

namespace jukepak::checker {
namespace {

using jukepak::testing::FaultDevice;
using jukepak::testing::Repeat;
using testing::DeviceLogWriter;
using testing::WriteRecord;

constexpr uint32_t kSectors = 20000;  // FAT sectors 4..13, filler 14..15, audio from 16

class ReinitializeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A ruined header whose remote-control table must survive.
    header.fill(0xEE);
    for (uint32_t i = 0; i < 128; ++i) StoreLe32(header.data() + 512 + 4 * i, 0x01023200 + i);
    engine.SetDriveSize(kSectors);
    engine.AttachHeader(header.data());
  }
  std::array<uint8_t, 512> Sector(uint32_t s) { return device.Get(s); }

  std::array<uint8_t, 1024> header{};
  jukepak::testing::SparseDevice device{kSectors};
  CheckEngine engine;
};

TEST_F(ReinitializeTest, WritesTheEmptyVolumeWithTheHeaderLast) {
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  ReinitOutcome code = ReinitOutcome::kNoWriter;
  ASSERT_TRUE(engine.ReinitializeVolume(&code).ok());
  EXPECT_EQ(code, ReinitOutcome::kDone);

  std::vector<WriteRecord> expected{{0, 1}};
  for (uint32_t s = 4; s < 14; ++s) expected.push_back({s, 1});
  expected.push_back({14, 1});
  expected.push_back({15, 1});
  expected.push_back({16, 2});
  for (uint32_t s = 18; s < 48; ++s) expected.push_back({s, 1});
  expected.push_back({4, 1});
  expected.push_back({0, 2});
  EXPECT_EQ(writer.log, expected);

  const auto h0 = Sector(0), h1 = Sector(1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h0.data()), 4), "MPFS");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h0.data()) + 8), format::kBanner);
  EXPECT_EQ(LoadLe32(h0.data() + format::kFatStartOffset), 4u);
  EXPECT_EQ(LoadLe32(h0.data() + format::kFatSectorsOffset), 10u);
  EXPECT_EQ(LoadLe32(h0.data() + format::kAudioStartOffset), 1u);
  EXPECT_EQ(LoadLe32(h0.data() + format::kAudioClustersOffset), 1249u);
  EXPECT_EQ(LoadLe32(h0.data() + format::kCdStartOffset), 0u);
  EXPECT_EQ(LoadLe32(h0.data() + format::kCdCountOffset), 0u);
  for (uint32_t b = 56; b < 512; ++b) ASSERT_EQ(h0[b], 0) << b;
  for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(LoadLe32(h1.data() + 4 * i), 0x01023200 + i);
  for (uint32_t i = 100; i < 128; ++i) EXPECT_EQ(LoadLe32(h1.data() + 4 * i), 0u);

  const auto fat0 = Sector(4), fat9 = Sector(13);
  EXPECT_EQ(LoadLe32(fat0.data()), 1u);
  EXPECT_EQ(LoadLe32(fat0.data() + 4), format::kFatEndOfChain);
  for (uint32_t i = 2; i < 128; ++i) EXPECT_EQ(LoadLe32(fat0.data() + 4 * i), format::kFatFree);
  for (uint32_t i = 0; i < 128; ++i) EXPECT_EQ(LoadLe32(fat9.data() + 4 * i), format::kFatFree);
  EXPECT_EQ(Sector(15)[100], 0x55);

  std::array<uint8_t, 1024> record{};
  ASSERT_TRUE(device.Read(16, 2, record.data()).ok());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()), 4), "MPTK");
  EXPECT_EQ(LoadLe32(record.data() + 4), 0x4000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 8), "Empty Trk");
  EXPECT_EQ(record[133], 0xFF);
  EXPECT_EQ(record[135], 0xFF);
  EXPECT_EQ(record[132], 0);

  const testing::CheckResult check = testing::CheckDevice(device, nullptr);
  EXPECT_TRUE(check.clean());
  ASSERT_EQ(check.codes(), testing::Codes{Problem::kClustersUsed});
  EXPECT_EQ(check.findings[0].text, "Clusters used: 2 - %00 of drive\n");
}

TEST_F(ReinitializeTest, FirstFailedWriteEndsItWithItsStepsCode) {
  // Write n of 46 fails: the code names its step and nothing follows it.
  const auto code_of = [](uint64_t n) {
    if (n == 1 || n == 46) return ReinitOutcome::kHeaderFailed;
    if (n <= 11) return ReinitOutcome::kFatFailed;
    if (n <= 13) return ReinitOutcome::kFillerFailed;
    if (n == 14) return ReinitOutcome::kPlaceholderRecordFailed;
    if (n <= 44) return ReinitOutcome::kPlaceholderDataFailed;
    return ReinitOutcome::kFirstFatSectorFailed;
  };
  for (uint64_t n = 1; n <= 47; ++n) {
    jukepak::testing::SparseDevice fresh(kSectors);
    FaultDevice faulty(&fresh);
    faulty.plan().FailWriteCallsFrom(n, Repeat::kOnce);
    DeviceLogWriter writer(&faulty);
    engine.SetSectorWriter(&writer);
    ReinitOutcome code = ReinitOutcome::kNoWriter;
    const Result r = engine.ReinitializeVolume(&code);
    if (n == 47) {  // past the last write: nothing fails
      EXPECT_TRUE(r.ok());
      EXPECT_EQ(code, ReinitOutcome::kDone);
      EXPECT_EQ(faulty.plan().writeCalls(), 46u);
      continue;
    }
    EXPECT_EQ(r.code(), ResultCode::kIoError) << n;
    EXPECT_EQ(code, code_of(n)) << n;
    EXPECT_EQ(faulty.plan().writeCalls(), n) << "no write after the failed one";
    EXPECT_NE(std::string(reinterpret_cast<const char*>(fresh.Get(0).data()), 4), "MPFS")
        << "the volume never looks valid before the end";
  }
}

TEST_F(ReinitializeTest, WithoutAWriterNothingIsWritten) {
  ReinitOutcome code = ReinitOutcome::kNoWriter;
  EXPECT_FALSE(engine.ReinitializeVolume(&code).ok());
  EXPECT_EQ(code, ReinitOutcome::kNoWriter);
  EXPECT_EQ(device.writeCalls(), 0u);
}

TEST_F(ReinitializeTest, DriveTooSmallForAVolumeIsRefusedBeforeAnyWrite) {
  DeviceLogWriter writer(&device);
  engine.SetSectorWriter(&writer);
  engine.SetDriveSize(40);
  ReinitOutcome code = ReinitOutcome::kNoWriter;
  const Result r = engine.ReinitializeVolume(&code);
  EXPECT_EQ(code, ReinitOutcome::kDriveTooSmall);
  EXPECT_EQ(r.message(), "the drive holds 40 sectors; a volume needs at least 64");
  EXPECT_TRUE(writer.log.empty());
}

}  // namespace
}  // namespace jukepak::checker
