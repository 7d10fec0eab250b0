// Writing to a disk that holds something else: the guard's verdicts over
// image files with a scripted probe, and libblkid's probe over files that hold
// a partition table or a file system.

#include "driver/foreign_disk_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/blkid_probe.h"
#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"
#include "driver/tests/loop_device.h"

namespace jukepak {
namespace {

using testing::ReadImageSectors;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;
using testing::WriteImageSectors;
using Kind = DiskSignature::Kind;

constexpr uint32_t kSectors = 64;

struct ProbeCalls {
  int probes = 0;
  int wipes = 0;
};

// Finds what it is told to, or fails; counts its calls.
class ScriptedProbe : public DiskProbe {
 public:
  ScriptedProbe(DiskSignature found, bool fails, ProbeCalls* calls)
      : found_(std::move(found)), fails_(fails), calls_(calls) {}
  Result Probe(int, uint64_t, DiskSignature* found) const override {
    ++calls_->probes;
    *found = DiskSignature();
    if (fails_)
      return Result::Error(ResultCode::kIoError, "the disk probe failed to read the disk");
    *found = found_;
    return Result::Ok();
  }
  Result Wipe(int, uint64_t) const override {
    ++calls_->wipes;
    return Result::Ok();
  }

 private:
  DiskSignature found_;
  bool fails_;
  ProbeCalls* calls_;
};

class ForeignDiskGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = dir_.File("disk.img");
    ASSERT_TRUE(CreateSparseImage(disk_, kSectors).ok());
  }
  // The image opened with its writes guarded by a scripted probe.
  std::unique_ptr<ImageFile> Guarded(DiskSignature found, bool probe_fails) {
    std::unique_ptr<ImageFile> image;
    EXPECT_TRUE(ImageFile::Open(disk_, &image).ok());
    if (image != nullptr)
      image->GuardWrites(std::make_unique<ScriptedProbe>(found, probe_fails, &calls_));
    return image;
  }

  TempDir dir_;
  std::string disk_;
  ProbeCalls calls_;
};

TEST_F(ForeignDiskGuardTest, VerdictsOnWhatTheDiskHolds) {
  enum class Force { kNone, kThisDisk, kOtherDisk };
  struct Case {
    const char* name;
    bool player_volume;
    DiskSignature found;
    bool probe_fails;
    Force force;
    const char* refusal;  // after "<disk> "; nullptr when the writes go ahead
    int probes, wipes;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"player volume, never probed", true, {Kind::kFileSystem, "ext4"}, false, Force::kNone, nullptr, 0, 0},
      {"nothing recognised", false, {}, false, Force::kNone, nullptr, 1, 0},
      {"file system", false, {Kind::kFileSystem, "ext4"}, false, Force::kNone,
       "holds an ext4 file system; not touched", 1, 0},
      {"file system, a before a consonant", false, {Kind::kFileSystem, "vfat"}, false, Force::kNone,
       "holds a vfat file system; not touched", 1, 0},
      {"partition table", false, {Kind::kPartitionTable, "gpt"}, false, Force::kNone,
       "holds a gpt partition table; not touched", 1, 0},
      {"other signature", false, {Kind::kOther, "crypto_LUKS"}, false, Force::kNone,
       "holds a crypto_LUKS signature; not touched", 1, 0},
      {"contradicting signatures", false, {Kind::kAmbiguous, ""}, false, Force::kNone,
       "holds several conflicting signatures; not touched", 1, 0},
      {"probe fails", false, {}, true, Force::kNone,
       "cannot be looked at (the disk probe failed to read the disk); not touched", 1, 0},
      {"forced for this disk, old signature erased once", false, {Kind::kFileSystem, "ext4"}, false,
       Force::kThisDisk, nullptr, 1, 1},
      {"forced for another disk", false, {Kind::kFileSystem, "ext4"}, false, Force::kOtherDisk,
       "holds an ext4 file system; not touched", 1, 0},
  };
  // clang-format on
  const std::vector<uint8_t> header = SectorPattern(0, 1, 9);
  const std::vector<uint8_t> data = SectorPattern(5, 2, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls_ = ProbeCalls();
    std::vector<uint8_t> first = header;
    if (c.player_volume) std::copy_n("MPFS", 4, first.begin());
    ASSERT_TRUE(WriteImageSectors(disk_, 0, first));
    ASSERT_TRUE(WriteImageSectors(disk_, 5, std::vector<uint8_t>(1024, 0)));
    // Another path to the same disk must count, another disk must not.
    const std::string alias = dir_.File("alias.img");
    unlink(alias.c_str());
    ASSERT_EQ(symlink(disk_.c_str(), alias.c_str()), 0);
    const std::string other = dir_.File("other.img");
    unlink(other.c_str());
    ASSERT_TRUE(CreateSparseImage(other, 1).ok());
    ScopedEnv force(kForceDiskVariable, c.force == Force::kThisDisk    ? alias.c_str()
                                        : c.force == Force::kOtherDisk ? other.c_str()
                                                                       : nullptr);
    std::unique_ptr<ImageFile> image = Guarded(c.found, c.probe_fails);
    ASSERT_NE(image, nullptr);
    const Result checked = image->CheckWritable();
    EXPECT_EQ(calls_.wipes, 0) << "asking never writes";
    const Result first_write = image->Write(5, 2, data.data());
    const Result second_write = image->Write(5, 2, data.data());
    if (c.refusal == nullptr) {
      EXPECT_TRUE(checked.ok()) << checked.message();
      EXPECT_TRUE(first_write.ok()) << first_write.message();
      EXPECT_TRUE(second_write.ok()) << second_write.message();
      EXPECT_EQ(ReadImageSectors(disk_, 5, 2), data);
    } else {
      EXPECT_EQ(checked.code(), ResultCode::kRefused);
      EXPECT_EQ(first_write.code(), ResultCode::kRefused);
      EXPECT_EQ(first_write.message(), disk_ + " " + c.refusal);
      EXPECT_EQ(second_write.message(), first_write.message());
      EXPECT_EQ(ReadImageSectors(disk_, 5, 2), std::vector<uint8_t>(1024, 0));
    }
    EXPECT_EQ(calls_.probes, c.probes) << "the disk is looked at once";
    EXPECT_EQ(calls_.wipes, c.wipes);
  }
}

TEST_F(ForeignDiskGuardTest, WordGivenAfterTheRefusalLetsTheNextWriteThrough) {
  ScopedEnv no_force(kForceDiskVariable, nullptr);
  std::unique_ptr<ImageFile> image = Guarded({Kind::kFileSystem, "ext4"}, false);
  ASSERT_NE(image, nullptr);
  const std::vector<uint8_t> data = SectorPattern(0, 1, 1);
  EXPECT_EQ(image->Write(0, 1, data.data()).code(), ResultCode::kRefused);
  AllowForeignDisk(disk_);  // what a front end does once the user has said yes
  EXPECT_TRUE(image->Write(0, 1, data.data()).ok());
  EXPECT_EQ(ReadImageSectors(disk_, 0, 1), data);
  EXPECT_EQ(calls_.probes, 1);
  EXPECT_EQ(calls_.wipes, 1);
}

// --- libblkid's probe over files ---

class BlkidProbeTest : public ::testing::Test {
 protected:
  static DiskSignature ProbeFile(const std::string& path, bool wipe_first = false) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    const uint64_t size = std::filesystem::file_size(path);
    BlkidProbe probe;
    if (wipe_first) {
      EXPECT_TRUE(probe.Wipe(fd, size).ok());
    }
    DiskSignature found;
    EXPECT_TRUE(probe.Probe(fd, size, &found).ok());
    close(fd);
    return found;
  }
  TempDir dir_;
};

TEST_F(BlkidProbeTest, FindsAPartitionTableAndNothingOnAZeroDisk) {
  const std::string disk = dir_.File("mbr.img");
  ASSERT_TRUE(CreateSparseImage(disk, 4096).ok());
  EXPECT_EQ(ProbeFile(disk).kind, Kind::kNothing);
  // One Linux partition from sector 2048, 2048 sectors long, and the boot signature.
  std::vector<uint8_t> mbr(512, 0);
  const uint8_t entry[16] = {0x00, 0, 0, 0, 0x83, 0, 0, 0, 0x00, 0x08, 0, 0, 0x00, 0x08, 0, 0};
  std::copy(entry, entry + 16, mbr.begin() + 446);
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  ASSERT_TRUE(WriteImageSectors(disk, 0, mbr));
  const DiskSignature found = ProbeFile(disk);
  EXPECT_EQ(found.kind, Kind::kPartitionTable);
  EXPECT_EQ(found.Describe(), "a dos partition table");
}

TEST_F(BlkidProbeTest, FindsAnExt4FileSystemAndWipeErasesIt) {
  const std::string disk = dir_.File("ext4.img");
  ASSERT_TRUE(CreateSparseImage(disk, 16384).ok());
  if (!testing::MakeExt4FileSystem(disk)) GTEST_SKIP() << testing::kNoMkfsExt4;
  const DiskSignature found = ProbeFile(disk);
  EXPECT_EQ(found.kind, Kind::kFileSystem);
  EXPECT_EQ(found.Describe(), "an ext4 file system");
  EXPECT_EQ(ProbeFile(disk, true).kind, Kind::kNothing);
}

}  // namespace
}  // namespace jukepak
