// Initialization: the layout it writes, the order of its writes, and what a
// failing drive leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "driver/bind_module.h"
#include "driver/image_file.h"
#include "format/remote_code_table.h"
#include "testing/fault_device.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_volumes.h"

namespace jukepak {
namespace {

using testing::FaultDevice;
using testing::FaultPlan;
using testing::Tree;
using testing::RecordingReporter;
using testing::Share;

bool AllBytes(const uint8_t* p, size_t n, uint8_t value) {
  return std::all_of(p, p + n, [&](uint8_t b) { return b == value; });
}

// The image's bytes at `sector`, `count` sectors.
std::vector<uint8_t> ReadImage(const std::string& path, uint32_t sector, uint32_t count) {
  std::vector<uint8_t> bytes(size_t(count) * 512);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return bytes;
  std::fseek(file, long(sector) * 512, SEEK_SET);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fclose(file);
  return bytes;
}

void FillImage(const std::string& path, uint32_t sector, uint32_t count, uint8_t value) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  std::fseek(file, long(sector) * 512, SEEK_SET);
  const std::vector<uint8_t> bytes(size_t(count) * 512, value);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

TEST(InitJob, LaysOutAMillionSectorDriveByteForByte) {
  // A sparse image through the disk-image module, as `songlift-cli init` uses it.
  const std::string image = ::testing::TempDir() + "init_million.img";
  std::remove(image.c_str());
  ASSERT_TRUE(CreateSparseImage(image, 1000000).ok());
  FillImage(image, 0, 600, 0xEE);  // whatever was there before
  setenv("JUKEPAK_IMAGE", image.c_str(), 1);
  RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  std::unique_ptr<DriverDevice> module;
  ASSERT_TRUE(BindModule(JUKEPAK_BIN_DIR "/diskimage.dld", RequiredEntries::kDevice, &module).ok());
  ASSERT_TRUE(volume.BindDevice(std::move(module)).ok()) << volume.bindError();
  ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());

  const std::vector<uint8_t> head = ReadImage(image, 0, 600);
  const auto sector = [&](uint32_t s) { return head.data() + size_t(s) * 512; };
  VolumeHeader h;
  std::memcpy(h.data(), sector(0), 1024);
  EXPECT_TRUE(h.HasSignature());
  EXPECT_EQ(h.banner(), format::kBanner);
  EXPECT_EQ(h.fatStart(), 4u);
  EXPECT_EQ(h.fatSectors(), 489u);
  EXPECT_EQ(h.audioStart(), 31u);
  EXPECT_EQ(h.audioClusters(), 62469u);
  EXPECT_EQ(h.cdStart(), 0u);
  EXPECT_EQ(h.cdCount(), 0u);
  EXPECT_TRUE(AllBytes(sector(0) + 4, 4, 0));
  EXPECT_TRUE(AllBytes(sector(0) + 56, 456, 0));
  for (uint32_t slot = 0; slot < 128; ++slot) {
    const uint8_t* e = sector(1) + 4 * slot;
    if (slot < 100) {
      EXPECT_EQ(e[0], 0x32);
      EXPECT_EQ(e[1], slot);
      EXPECT_EQ(e[2], slot + 1);
      EXPECT_EQ(e[3], 0);
    } else {
      EXPECT_TRUE(AllBytes(e, 4, 0)) << slot;
    }
  }
  // Sectors 2 and 3 are left as found.
  EXPECT_TRUE(AllBytes(sector(2), 1024, 0xEE));
  // FAT: sectors 4-492, all free except the placeholder's chain 0 -> 1 -> end.
  EXPECT_EQ(LoadLe32(sector(4)), 1u);
  EXPECT_EQ(LoadLe32(sector(4) + 4), format::kFatEndOfChain);
  for (uint32_t c = 2; c < 489 * 128; ++c) {
    ASSERT_EQ(LoadLe32(sector(4) + 4 * c), format::kFatFree) << c;
  }
  EXPECT_TRUE(AllBytes(sector(493), 3 * 512, 0x55));
  // The placeholder track in sectors 496-527.
  const uint8_t* record = sector(496);
  EXPECT_EQ(0, std::memcmp(record, "MPTK", 4));
  EXPECT_EQ(LoadLe32(record + 4), 0x4000u);
  EXPECT_EQ(0, std::memcmp(record + 8, "Empty Track\0", 12));
  EXPECT_TRUE(AllBytes(record + 128, 5, 0));
  EXPECT_TRUE(AllBytes(record + 133, 3, 0xFF));
  EXPECT_TRUE(AllBytes(sector(498), 30 * 512, 0));
  EXPECT_TRUE(AllBytes(sector(528), 512, 0xEE));

  // It ends mounted and ready, with nothing on the player.
  EXPECT_EQ(volume.deviceState(), DeviceState::kReady);
  EXPECT_EQ(volume.busyState(), BusyState::kIdle);
  EXPECT_TRUE(volume.model().playerCds.empty());
  // 62,469 clusters less the placeholder's two, 8 KB each.
  EXPECT_EQ(volume.FreeKilobytes(), (62469u - 2u) * 8u);
  const std::vector<std::string> statuses = reporter.statuses();
  EXPECT_EQ(statuses, (std::vector<std::string>{"Initializing file system", "Unloaded",
                                                "Reading Directory...", "Reading FAT...",
                                                "Ready"}));
  // The busy state stays at initialize through the mount of the new volume.
  EXPECT_EQ(reporter.busyStates(),
            (std::vector<BusyState>{BusyState::kInitialize, BusyState::kIdle}));
  volume.UnbindDriver();
  unsetenv("JUKEPAK_IMAGE");
  std::remove(image.c_str());
}

// The test kit's builder lays new volumes from the format alone; the tests
// built on it hold only while it writes what the engine writes.
TEST(InitJob, WritesWhatTheTestKitsBuilderLaysOut) {
  for (uint32_t sectors : {3000u, 20000u, 100000u}) {
    MemoryDevice engine(sectors), built(sectors);
    ASSERT_TRUE(testing::InitializeWithEngine(&engine).ok());
    ASSERT_TRUE(testing::VolumeBuilder(&built).Format().ok());
    EXPECT_TRUE(engine.bytes() == built.bytes()) << sectors << " sectors";
  }
}

TEST(InitJob, ZeroesTheSignatureFirstAndWritesTheHeaderLast) {
  MemoryDevice disk(20000);
  auto logged = std::make_unique<FaultDevice>(&disk);
  const FaultPlan& plan = logged->plan();
  RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_TRUE(volume.BindDevice(std::move(logged)).ok());
  ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
  const std::vector<uint32_t> writes = plan.WrittenSectors();
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes.front(), 0u);
  EXPECT_EQ(writes.back(), 0u);
  EXPECT_EQ(std::count(writes.begin(), writes.end(), 0u), 2);
  // Every sector it writes is written once (sector 0 aside).
  std::set<uint32_t> distinct(writes.begin(), writes.end());
  EXPECT_EQ(distinct.size(), writes.size() - 1);
}

TEST(InitJob, AFailingDriveNeverLeavesAValidLookingHeader) {
  // Count the writes of a whole initialization, then fail at each in turn.
  MemoryDevice probe(3000);
  {
    auto logged = std::make_unique<FaultDevice>(&probe);
    const FaultPlan& plan = logged->plan();
    RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(volume.BindDevice(std::move(logged)).ok());
    ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
    ASSERT_GT(plan.writeCalls(), 30u);
  }
  testing::AddCd(probe, "Artist", "Album", {{"Song", "Artist", 2}});
  for (int good_writes : {1, 2, 10, 33, 34}) {
    SCOPED_TRACE(good_writes);
    MemoryDevice disk(3000);
    disk.bytes() = probe.bytes();  // an earlier, valid volume
    RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    auto failing = std::make_unique<FaultDevice>(&disk);
    failing->plan().FailWriteCallsFrom(good_writes + 1);
    ASSERT_TRUE(volume.BindDevice(std::move(failing)).ok());
    ASSERT_TRUE(volume.CheckVolume());
    ASSERT_TRUE(volume.RunJobNow(Job::kMount).ok());
    ASSERT_EQ(volume.model().playerCds.size(), 1u);
    const Result done = volume.RunJobNow(Job::kInit);
    EXPECT_FALSE(done.ok());
    EXPECT_FALSE(testing::ReadHeader(disk).HasSignature());
    // The old directory is gone with the signature it stood on.
    EXPECT_TRUE(volume.model().playerCds.empty());
    EXPECT_EQ(reporter.TreeText(Tree::kPlayer), "");
    EXPECT_EQ(volume.model().header.cdCount(), 0u);
    EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
    EXPECT_EQ(volume.busyState(), BusyState::kIdle);
    EXPECT_NE(reporter.lastStatus().find("Initialization failed"), std::string::npos);
  }
}

TEST(InitJob, RefusesADriveTooSmallForAVolume) {
  MemoryDevice disk(40);
  RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_TRUE(volume.BindDevice(Share(disk)).ok());
  EXPECT_EQ(volume.RunJobNow(Job::kInit).code(), ResultCode::kInvalidArgument);
  EXPECT_EQ(disk.writeCalls(), 0u);
  EXPECT_EQ(volume.deviceState(), DeviceState::kNoVolume);
}

TEST(InitJob, ReplacesLearnedRemoteCodesWithTheDefaultTable) {
  MemoryDevice disk(3000);
  RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_TRUE(volume.BindDevice(Share(disk)).ok());
  ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
  volume.SetRemoteCode(0, EncodeRemoteEntry({0x1234, 1, 0}));
  volume.SetRemoteCode(120, EncodeRemoteEntry({0x4321, 2, 0}));
  ASSERT_TRUE(volume.WriteHeader().ok());
  ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
  EXPECT_EQ(volume.GetRemoteCode(0), DefaultRemoteEntry(0));
  EXPECT_EQ(volume.GetRemoteCode(120), 0u);
  EXPECT_EQ(testing::ReadHeader(disk).remoteEntry(0), DefaultRemoteEntry(0));
}

}  // namespace
}  // namespace jukepak
