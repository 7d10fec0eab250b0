// A power cut in the middle of songlift-cli sync, made by running the sync
// through faultdisk.dld: after the cut, fsck repairs what the cut left, a
// second fsck finds nothing, and every song that was on the player before
// the sync is still there, byte for byte.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/tests/cli_runner.h"
#include "volume/tests/test_media.h"

namespace {

using jukepak::testing::TaggedMp3;
using jukepak::testing::WriteBytes;
using songlift::cli::testing::CliRun;
using songlift::cli::testing::RunCli;
using songlift::cli::testing::Slurp;
using songlift::cli::testing::TestFolder;

const std::string kFaultDisk = "'" JUKEPAK_BIN_DIR "/faultdisk.dld'";

class PowerCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunCli(dir_, "mkimage p.img 20000").status, 0);
    ASSERT_EQ(RunCli(dir_, "--image p.img --yes init").status, 0);
    for (int t = 1; t <= 3; ++t) {
      WriteBytes(dir_ + "/a" + std::to_string(t) + ".mp3",
                 TaggedMp3(2.0 + t, "Old " + std::to_string(t), "Band", "Before", t));
      WriteBytes(dir_ + "/b" + std::to_string(t) + ".mp3",
                 TaggedMp3(3.0, "New " + std::to_string(t), "Band", "During", t));
    }
    ASSERT_EQ(RunCli(dir_, "--image p.img sync a1.mp3 a2.mp3 a3.mp3").status, 0);
    listing_before_ = RunCli(dir_, "--image p.img ls").out;
    ASSERT_EQ(listing_before_, "1 Band / Before\n  1 Old 1\n  2 Old 2\n  3 Old 3\n");
    ASSERT_EQ(OldCdListing("p.img"), listing_before_);
    songs_before_ = ExportOldSongs("p.img");
  }
  void TearDown() override { unsetenv("JUKEPAK_DISK_FAULTS"); }

  // The number `ls` gives the CD synced first, 0 when it is not listed.
  int OldCdNumber(const std::string& image) {
    std::istringstream listing(RunCli(dir_, "--image " + image + " ls").out);
    std::string line;
    while (std::getline(listing, line)) {
      const size_t space = line.find(' ');
      if (space != std::string::npos && line.substr(space) == " Band / Before") {
        return std::stoi(line.substr(0, space));
      }
    }
    return 0;
  }
  // The listing of the CD synced first.
  std::string OldCdListing(const std::string& image) {
    const std::string listing = RunCli(dir_, "--image " + image + " ls").out;
    const size_t start = listing.find(" Band / Before\n");
    if (start == std::string::npos) return listing;
    const size_t end = listing.find("\n", listing.find("  3 ", start));
    return "1" + listing.substr(start, end + 1 - start);
  }
  // The three songs of the CD synced first, as export writes them.
  std::vector<std::string> ExportOldSongs(const std::string& image) {
    std::vector<std::string> songs;
    const std::string cd = std::to_string(OldCdNumber(image));
    for (int t = 1; t <= 3; ++t) {
      const std::string file = "old" + std::to_string(t) + ".mp3";
      std::remove((dir_ + "/" + file).c_str());
      const CliRun run =
          RunCli(dir_, "--image " + image + " export " + cd + " " + std::to_string(t) + " " + file);
      EXPECT_EQ(run.status, 0) << run.err;
      songs.push_back(Slurp(dir_ + "/" + file));
    }
    return songs;
  }
  // Syncs the second album into a copy of the player through faultdisk.dld.
  CliRun SyncThroughFaults(const std::string& image, const std::string& faults) {
    EXPECT_EQ(std::system(("cp '" + dir_ + "/p.img' '" + dir_ + "/" + image + "'").c_str()), 0);
    setenv("JUKEPAK_DISK_FAULTS", faults.c_str(), 1);
    const CliRun run =
        RunCli(dir_, "--driver " + kFaultDisk + " --image " + image + " sync b1.mp3 b2.mp3 b3.mp3");
    unsetenv("JUKEPAK_DISK_FAULTS");
    return run;
  }
  // The sectors a full sync writes, from faultdisk.dld's write log.
  uint64_t SectorsOfAFullSync() {
    const CliRun run = SyncThroughFaults("probe.img", "write-log=" + dir_ + "/probe.log");
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream log(Slurp(dir_ + "/probe.log"));
    uint64_t total = 0, sector = 0, count = 0;
    while (log >> sector >> count) total += count;
    return total;
  }

  TestFolder folder_{"power_cut_"};
  const std::string dir_ = folder_.path();
  std::string listing_before_;
  std::vector<std::string> songs_before_;
};

TEST_F(PowerCutTest, EverySongFromBeforeTheSyncSurvivesACutAnywhereInIt) {
  const uint64_t total = SectorsOfAFullSync();
  ASSERT_GT(total, 100u);
  const uint64_t cuts[] = {0, 1, 17, total / 4, total / 2, total - 40, total - 3, total - 1};
  int repaired = 0;
  for (uint64_t cut : cuts) {
    SCOPED_TRACE("power cut after " + std::to_string(cut) + " of " + std::to_string(total) +
                 " sectors");
    const std::string image = "cut" + std::to_string(cut) + ".img";
    SyncThroughFaults(image, "power-cut-after-sectors=" + std::to_string(cut));

    const CliRun repair = RunCli(dir_, "--image " + image + " fsck -y");
    EXPECT_TRUE(repair.status == 0 || repair.status == 1) << repair.out << repair.err;
    repaired += repair.status == 1;
    if (cut == 0) {
      EXPECT_TRUE(Slurp(dir_ + "/" + image) == Slurp(dir_ + "/p.img")) << "a write got through";
    }
    const CliRun recheck = RunCli(dir_, "--image " + image + " fsck -n");
    EXPECT_EQ(recheck.status, 0) << recheck.out << recheck.err;

    EXPECT_EQ(OldCdListing(image), listing_before_);
    EXPECT_TRUE(ExportOldSongs(image) == songs_before_);
  }
  // The cuts did leave damage behind (the faults reached the disk).
  EXPECT_GT(repaired, 0);
}

TEST_F(PowerCutTest, AFailingDiskEndsTheSyncWithAMessageAndLosesNothing) {
  const CliRun run = SyncThroughFaults("failing.img", "fail-writes-from-call=4");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(run.err.empty());
  const CliRun check = RunCli(dir_, "--image failing.img fsck -y");
  EXPECT_TRUE(check.status == 0 || check.status == 1) << check.out << check.err;
  EXPECT_EQ(RunCli(dir_, "--image failing.img fsck -n").status, 0);
  EXPECT_EQ(OldCdListing("failing.img"), listing_before_);
  EXPECT_TRUE(ExportOldSongs("failing.img") == songs_before_);
}

}  // namespace
