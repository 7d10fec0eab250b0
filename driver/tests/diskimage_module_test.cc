// diskimage.dld through its nine entry points: transfers and their bounds,
// the disk size, which images it opens or creates, the lock between two
// loaded copies, and the remote-control side file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_module.h"
#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using testing::ReadFileBytes;
using testing::ReadImageSectors;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;

constexpr uint32_t kImageSectors = 256;
const std::string kModulePath = std::string(JUKEPAK_BIN_DIR) + "/diskimage.dld";

class DiskImageModuleTest : public testing::ImageModuleTest {
 protected:
  DiskImageModuleTest() : ImageModuleTest("diskimage.dld", kImageSectors) {}
};

TEST_F(DiskImageModuleTest, CountZeroAndSeventeenSectorTransfers) {
  ASSERT_EQ(e().Open(), 0);
  uint8_t unused = 0;
  EXPECT_EQ(e().ReadSectors(3, 0, &unused), 0);
  EXPECT_EQ(e().WriteSectors(3, 0, &unused), 0);

  const std::vector<uint8_t> data = SectorPattern(20, 17, 1);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(e().WriteSectors(20, 17, data.data()), 0);
  ASSERT_EQ(e().ReadSectors(20, 17, back.data()), 0);
  EXPECT_EQ(back, data);
  EXPECT_EQ(ReadImageSectors(image_, 20, 17), data);
  EXPECT_EQ(ReadImageSectors(image_, 19, 1), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(ReadImageSectors(image_, 37, 1), std::vector<uint8_t>(512, 0));
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

}  // namespace
}  // namespace jukepak
