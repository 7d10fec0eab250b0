// diskimage.dld through its nine entry points: transfers and their bounds,
// the disk size, which images it opens or creates, the lock between two
// loaded copies, the remote-control side file, read-only images, and block
// devices (loop devices where the machine has them).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/blkid_probe.h"
#include "driver/driver_module.h"
#include "driver/foreign_disk_guard.h"
#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"
#include "driver/tests/loop_device.h"

namespace jukepak {
namespace {

using testing::FdCapture;
using testing::LoopDevice;
using testing::ReadFileBytes;
using testing::ReadImageSectors;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;

constexpr uint32_t kImageSectors = 1024;
const std::string kModulePath = std::string(JUKEPAK_BIN_DIR) + "/diskimage.dld";

class DiskImageModuleTest : public testing::ImageModuleTest {
 protected:
  DiskImageModuleTest() : ImageModuleTest("diskimage.dld", kImageSectors) {}
};

TEST_F(DiskImageModuleTest, CountZeroSeventeenAndSixHundredSectorTransfers) {
  ASSERT_EQ(e().Open(), 0);
  uint8_t unused = 0;
  EXPECT_EQ(e().ReadSectors(3, 0, &unused), 0);
  EXPECT_EQ(e().WriteSectors(3, 0, &unused), 0);

  // 600 sectors: a long run, which the image takes in several pieces.
  for (const uint32_t count : {17u, 600u}) {
    const std::vector<uint8_t> data = SectorPattern(20, count, 1);
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(e().WriteSectors(20, count, data.data()), 0);
    ASSERT_EQ(e().ReadSectors(20, count, back.data()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(ReadImageSectors(image_, 20, count), data);
    EXPECT_EQ(ReadImageSectors(image_, 19, 1), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(ReadImageSectors(image_, 20 + count, 1), std::vector<uint8_t>(512, 0));
  }
}

TEST_F(DiskImageModuleTest, TransferPastTheEndFailsAndMovesNothing) {
  ASSERT_EQ(e().Open(), 0);
  const std::vector<uint8_t> data = SectorPattern(kImageSectors - 1, 2, 2);
  EXPECT_EQ(e().WriteSectors(kImageSectors - 1, 2, data.data()), 1);
  EXPECT_EQ(ReadImageSectors(image_, kImageSectors - 1, 1), std::vector<uint8_t>(512, 0));
  std::vector<uint8_t> back(1024, 0xEE);
  EXPECT_EQ(e().ReadSectors(kImageSectors - 1, 2, back.data()), 1);
  EXPECT_EQ(back, std::vector<uint8_t>(1024, 0xEE));
  EXPECT_EQ(e().ReadSectors(0xFFFFFFFF, 2, back.data()), 1);  // no wrap to sector 0
  EXPECT_EQ(std::filesystem::file_size(image_), uint64_t(kImageSectors) * 512);
}

TEST_F(DiskImageModuleTest, QueryNumSectorsIsSizeOver512) {
  ASSERT_EQ(e().Open(), 0);
  uint32_t sectors = 0;
  EXPECT_EQ(e().QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, kImageSectors);
}

TEST_F(DiskImageModuleTest, ImageThatIsNotWholeSectorsFailsOpen) {
  std::filesystem::resize_file(image_, kImageSectors * 512 + 100);
  EXPECT_NE(e().Open(), 0);
}

TEST_F(DiskImageModuleTest, NamedImageThatIsMissingFailsOpenAndIsNotCreated) {
  const std::string missing = dir_.File("typo.img");
  ScopedEnv env("JUKEPAK_IMAGE", missing.c_str());
  EXPECT_NE(e().Open(), 0);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(DiskImageModuleTest, DefaultImageIsCreatedSparseAtTheBuiltInSize) {
  ScopedEnv image("JUKEPAK_IMAGE", nullptr);
  ScopedEnv data_home("XDG_DATA_HOME", dir_.File("data").c_str());
  ScopedEnv home("HOME", dir_.File("home").c_str());  // never the user's own
  ASSERT_EQ(e().Open(), 0);
  const std::string created = dir_.File("data") + "/Corvane/jukepak.img";
  ASSERT_TRUE(std::filesystem::exists(created));
  EXPECT_EQ(std::filesystem::file_size(created), uint64_t(kBuiltInPlayerSectors) * 512);
  struct stat info {};
  ASSERT_EQ(stat(created.c_str(), &info), 0);
  EXPECT_LT(uint64_t(info.st_blocks) * 512, uint64_t(1) << 20);  // sparse: nothing allocated
  uint32_t sectors = 0;
  EXPECT_EQ(e().QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, 12594960u);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("home")));
}

TEST_F(DiskImageModuleTest, SecondLoadedCopyIsLockedOutUntilClose) {
  const std::string copy = dir_.File("second.dld");
  std::filesystem::copy_file(kModulePath, copy);
  std::unique_ptr<DriverModule> second;
  ASSERT_TRUE(DriverModule::Load(copy, &second).ok());
  ASSERT_EQ(e().Open(), 0);
  EXPECT_NE(second->entries().Open(), 0);
  EXPECT_EQ(e().Close(), 0);
  EXPECT_EQ(second->entries().Open(), 0);
  EXPECT_EQ(second->entries().Close(), 0);
}

TEST_F(DiskImageModuleTest, ReadIrReadsTheSideFileAndEmptiesIt) {
  ASSERT_EQ(e().Open(), 0);
  const std::string side = image_ + ".ir";
  int32_t code = -1;
  e().ReadIR(&code);
  EXPECT_EQ(code, 0);  // no side file yet
  testing::WriteTextFile(side, "4660\n");
  e().ReadIR(&code);
  EXPECT_EQ(code, 0x1234);
  EXPECT_TRUE(ReadFileBytes(side).empty());
  e().ReadIR(&code);
  EXPECT_EQ(code, 0);
}

TEST_F(DiskImageModuleTest, WriteProtectedImageIsReadAndNeverWritten) {
  const std::vector<uint8_t> data = SectorPattern(7, 2, 4);
  ASSERT_TRUE(testing::WriteImageSectors(image_, 7, data));
  ASSERT_EQ(chmod(image_.c_str(), 0444), 0);  // root included: the mode is the user's word
  ASSERT_EQ(e().Open(), 0);
  std::vector<uint8_t> back(data.size());
  EXPECT_EQ(e().ReadSectors(7, 2, back.data()), 0);
  EXPECT_EQ(back, data);
  const std::vector<uint8_t> other = SectorPattern(7, 2, 5);
  FdCapture err(2);
  EXPECT_EQ(e().WriteSectors(7, 2, other.data()), 1);
  EXPECT_EQ(e().WriteSectors(7, 2, other.data()), 1);
  const std::string said = err.Finish();
  EXPECT_EQ(said, image_ + " is read-only (write-protected: mode 0444); nothing is written to it\n")
      << "said once, however often refused";
  EXPECT_EQ(ReadImageSectors(image_, 7, 2), data);
}

// --- block devices ---

class BlockDeviceTest : public DiskImageModuleTest {
 protected:
  // The image as a loop device that JUKEPAK_IMAGE names.
  void UseLoopDevice(const std::string& options = "") {
    loop_env_.reset();  // the last one's value goes back first
    loop_ = std::make_unique<LoopDevice>(image_, options);
    if (loop_->ok())
      loop_env_ = std::make_unique<ScopedEnv>("JUKEPAK_IMAGE", loop_->path().c_str());
  }
  std::string OpenFailure() const {
    std::unique_ptr<ImageFile> image;
    return ImageFile::Open(loop_->path(), &image).message();
  }
  std::unique_ptr<LoopDevice> loop_;
  std::unique_ptr<ScopedEnv> loop_env_;
};

TEST_F(BlockDeviceTest, SizeFromTheDeviceAndTransfersReachTheDisk) {
  UseLoopDevice();
  SKIP_WITHOUT_LOOP_DEVICE(*loop_);
  ASSERT_EQ(e().Open(), 0);
  uint32_t sectors = 0;
  EXPECT_EQ(e().QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, kImageSectors);
  const std::vector<uint8_t> data = SectorPattern(20, 17, 6);  // a blank disk may be written
  ASSERT_EQ(e().WriteSectors(20, 17, data.data()), 0);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(e().ReadSectors(20, 17, back.data()), 0);
  EXPECT_EQ(back, data);
  EXPECT_EQ(e().WriteSectors(kImageSectors - 1, 2, data.data()), 1);
  EXPECT_EQ(e().Close(), 0);
  EXPECT_EQ(ReadImageSectors(image_, 20, 17), data);
}

TEST_F(BlockDeviceTest, OtherSectorSizeAndADeviceInUseAreRefused) {
  UseLoopDevice("-b 4096");
  SKIP_WITHOUT_LOOP_DEVICE(*loop_);
  EXPECT_NE(e().Open(), 0);
  EXPECT_EQ(OpenFailure(),
            loop_->path() + " has 4096-byte sectors; the player's disk has 512-byte sectors");
  loop_.reset();

  UseLoopDevice();
  ASSERT_TRUE(loop_->ok());
  const int holder =
      open(loop_->path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);  // as a mount holds it
  ASSERT_GE(holder, 0);
  EXPECT_NE(e().Open(), 0);
  EXPECT_EQ(OpenFailure(), loop_->path() +
                               " is in use (mounted, or open in another program); "
                               "unmount or close it first");
  close(holder);
  EXPECT_EQ(e().Open(), 0);
}

TEST_F(BlockDeviceTest, ReadOnlyDeviceIsReadAndNeverWritten) {
  const std::vector<uint8_t> data = SectorPattern(3, 1, 7);
  ASSERT_TRUE(testing::WriteImageSectors(image_, 3, data));
  UseLoopDevice("-r");
  SKIP_WITHOUT_LOOP_DEVICE(*loop_);
  ASSERT_EQ(e().Open(), 0);
  std::vector<uint8_t> back(512);
  EXPECT_EQ(e().ReadSectors(3, 1, back.data()), 0);
  EXPECT_EQ(back, data);
  FdCapture err(2);
  EXPECT_EQ(e().WriteSectors(3, 1, SectorPattern(3, 1, 8).data()), 1);
  EXPECT_EQ(err.Finish(),
            loop_->path() + " is read-only (a read-only device); nothing is written to it\n");
  EXPECT_EQ(ReadImageSectors(image_, 3, 1), data);
}

TEST_F(BlockDeviceTest, FileSystemIsNotWrittenOverUntilTheUserSaysSo) {
  if (!testing::MakeExt4FileSystem(image_)) GTEST_SKIP() << testing::kNoMkfsExt4;
  UseLoopDevice();
  SKIP_WITHOUT_LOOP_DEVICE(*loop_);
  ScopedEnv no_force(kForceDiskVariable, nullptr);
  const std::vector<uint8_t> before = ReadImageSectors(image_, 0, 4);
  const std::vector<uint8_t> header = SectorPattern(0, 2, 9);
  ASSERT_EQ(e().Open(), 0);
  FdCapture err(2);
  EXPECT_EQ(e().WriteSectors(0, 2, header.data()), 1);
  EXPECT_EQ(err.Finish(), loop_->path() + " holds an ext4 file system; not touched\n");
  EXPECT_EQ(CheckImageWritable(loop_->path()).code(), ResultCode::kRefused)
      << "as the front ends ask";

  AllowForeignDisk(loop_->path());
  EXPECT_TRUE(CheckImageWritable(loop_->path()).ok());
  EXPECT_EQ(ReadImageSectors(image_, 0, 4), before) << "asking writes nothing";
  EXPECT_EQ(e().WriteSectors(0, 2, header.data()), 0);
  EXPECT_EQ(e().Close(), 0);
  EXPECT_EQ(ReadImageSectors(image_, 0, 2), header);
  // The old superblock's magic is gone too, so the system no longer mounts it as ext4.
  const int fd = open(image_.c_str(), O_RDONLY | O_CLOEXEC);
  DiskSignature found;
  EXPECT_TRUE(BlkidProbe().Probe(fd, uint64_t(kImageSectors) * 512, &found).ok());
  close(fd);
  EXPECT_EQ(found.kind, DiskSignature::Kind::kNothing) << found.Describe();
}

}  // namespace
}  // namespace jukepak
