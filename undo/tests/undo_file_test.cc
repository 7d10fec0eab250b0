// Undo files: an operation through an UndoDevice and its undo give back the
// drive byte for byte; an undo refuses a volume changed since, or another
// drive, unless forced; a file cut anywhere still reads as the sectors it
// saved completely.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "testing/memory_device.h"
#include "testing/scripted_device.h"
#include "undo/memory_undo_store.h"
#include "undo/undo_device.h"
#include "undo/undo_format.h"
#include "undo/undo_restore.h"

namespace jukepak::undo {
namespace {

constexpr uint32_t kSectors = 200;

class UndoFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = uint8_t(i * 31 + 7);
    original = disk.bytes();
  }
  // Writes through an UndoDevice: sector 5 twice, a run over 9..12 that
  // crosses sectors written before, sector 199; then finishes the file.
  void Operate() {
    UndoDevice device(&disk, &store, "test");
    std::vector<uint8_t> data(4 * 512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i ^ 0x5A);
    ASSERT_TRUE(device.Write(5, 1, data.data()).ok());
    ASSERT_TRUE(device.Write(10, 2, data.data() + 512).ok());
    ASSERT_TRUE(device.Write(5, 1, data.data() + 1024).ok());
    ASSERT_TRUE(device.Write(9, 4, data.data()).ok());
    ASSERT_TRUE(device.Write(199, 1, data.data()).ok());
    EXPECT_EQ(device.savedSectors(), 6u) << "each sector saved once";
    ASSERT_TRUE(device.Finish().ok());
    EXPECT_FALSE(device.Write(1, 1, data.data()).ok()) << "a finished file takes no more";
  }

  MemoryDevice disk{kSectors};
  MemoryUndoStore store;
  std::vector<uint8_t> original;
};

TEST_F(UndoFileTest, UndoGivesBackTheDriveByteForByte) {
  Operate();
  ASSERT_NE(disk.bytes(), original);
  UndoReport report;
  ASSERT_TRUE(RestoreUndoFile(disk, store, false, &report).ok());
  EXPECT_EQ(report.refusal, UndoRefusal::kNone);
  EXPECT_EQ(report.restored, 6u);
  EXPECT_FALSE(report.unfinished);
  EXPECT_EQ(disk.bytes(), original);
  // A second undo finds the old contents in place and changes nothing.
  ASSERT_TRUE(RestoreUndoFile(disk, store, false, &report).ok());
  EXPECT_TRUE(report.alreadyRestored);
  EXPECT_EQ(disk.bytes(), original);
}

TEST_F(UndoFileTest, ChangedVolumeOrAnotherDriveIsRefusedUnlessForced) {
  Operate();
  const std::vector<uint8_t> left = disk.bytes();
  disk.sector(10)[3] ^= 1;  // the volume changed after the operation
  UndoReport report;
  ASSERT_TRUE(RestoreUndoFile(disk, store, false, &report).ok());
  EXPECT_EQ(report.refusal, UndoRefusal::kVolumeChanged);
  EXPECT_EQ(report.changed, 1u);
  EXPECT_EQ(report.firstChanged, 10u);
  EXPECT_EQ(report.restored, 0u);
  EXPECT_NE(disk.bytes(), original);

  MemoryDevice other(kSectors + 1);
  ASSERT_TRUE(RestoreUndoFile(other, store, false, &report).ok());
  EXPECT_EQ(report.refusal, UndoRefusal::kOtherDrive);
  EXPECT_EQ(other.writeCalls(), 0u);

  ASSERT_TRUE(RestoreUndoFile(disk, store, true, &report).ok());
  EXPECT_EQ(report.restored, 6u);
  EXPECT_EQ(disk.bytes(), original);
}

TEST_F(UndoFileTest, FileCutAnywhereReadsAsTheSectorsItSavedWhole) {
  Operate();
  const std::vector<uint8_t> whole = store.bytes();
  for (size_t length = kUndoHeaderSize; length <= whole.size(); ++length) {
    MemoryUndoStore cut;
    ASSERT_TRUE(cut.Append(whole.data(), length).ok());
    UndoFile file;
    ASSERT_TRUE(ReadUndoFile(cut, &file).ok()) << length;
    const size_t complete = (length - kUndoHeaderSize) / kSavedBlockSize;
    ASSERT_EQ(file.sectors.size(), std::min<size_t>(complete, 6)) << length;
    EXPECT_EQ(file.finished, length == whole.size()) << length;
  }
  MemoryUndoStore garbage;
  ASSERT_TRUE(garbage.Append(original.data(), 600).ok());
  UndoFile file;
  EXPECT_EQ(ReadUndoFile(garbage, &file).code(), ResultCode::kCorrupt);
}

TEST_F(UndoFileTest, OldContentIsDurableBeforeEachWriteReachesTheDrive) {
  // The drive checks, at every write, that the store has synced the old
  // content of every sector written.
  jukepak::testing::ScriptedDevice watched(&disk);
  watched.BeforeEach([&](const jukepak::testing::DeviceCall& call) -> std::optional<Result> {
    if (call.op != jukepak::testing::Op::kWrite) return std::nullopt;
    MemoryUndoStore durable = store;
    durable.CutPower();
    UndoFile file;
    EXPECT_TRUE(ReadUndoFile(durable, &file).ok());
    for (uint32_t s = call.sector; s < call.sector + call.count; ++s) {
      EXPECT_NE(std::find(file.sectors.begin(), file.sectors.end(), s), file.sectors.end())
          << "sector " << s << " written before its old content was synced";
    }
    return std::nullopt;
  });
  UndoDevice device(&watched, &store, "test");
  const std::vector<uint8_t> data(3 * 512, 0xAB);
  ASSERT_TRUE(device.Write(7, 3, data.data()).ok());
  ASSERT_TRUE(device.Write(8, 1, data.data()).ok());
  ASSERT_TRUE(device.Write(0, 2, data.data()).ok());
}

}  // namespace
}  // namespace jukepak::undo
