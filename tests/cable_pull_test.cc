// A Portlink cable pulled in the middle of a sync, over the simulated board:
// the job ends with a message on the status line, and once the cable is back
// (a new Open without the fault) a mount and a check show every track written
// before intact.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "driver/driver_device.h"
#include "driver/driver_module.h"
#include "driver/image_file.h"
#include "frontend/bind_player.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_media.h"
#include "volume/track_export.h"

namespace jukepak {
namespace {

constexpr uint32_t kImageSectors = 30000;
const std::string kModule = std::string(JUKEPAK_BIN_DIR) + "/portlink-sim.dld";

void SetFaults(const std::string& faults) {
  if (faults.empty()) {
    unsetenv("JUKEPAK_SIM_FAULTS");
  } else {
    setenv("JUKEPAK_SIM_FAULTS", faults.c_str(), 1);
  }
}

// Title -> audio bytes of every track a fresh mount over the simulator shows.
std::map<std::string, std::vector<uint8_t>> MountedTracks() {
  testing::RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  std::map<std::string, std::vector<uint8_t>> tracks;
  EXPECT_TRUE(frontend::BindPlayerModule(volume, kModule).ok()) << volume.bindError();
  EXPECT_TRUE(volume.CheckVolume());
  const Result mount = volume.RunJobNow(Job::kMount);
  EXPECT_TRUE(mount.ok()) << mount.message();
  for (const auto& cd : volume.model().playerCds) {
    for (const auto& track : cd->tracks) {
      std::vector<uint8_t> audio;
      EXPECT_TRUE(ReadTrackAudio(volume, *track, &audio).ok()) << track->record.title();
      tracks[track->record.title()] = std::move(audio);
    }
  }
  return tracks;
}

// Runs the checker over the simulator; the console repairs what it finds.
checker::CheckOutcome CheckOverSimulator(checker::RepairDecision decision) {
  std::unique_ptr<DriverModule> module;
  EXPECT_TRUE(DriverModule::Load(kModule, &module).ok());
  if (module == nullptr) return checker::CheckOutcome::kCommunicationsError;
  DriverDevice device(std::move(module));
  checker::testing::ScriptedConsole console;
  console.decision = decision;
  const checker::CheckOutcome outcome = checker::RunCheck(device, console);
  device.Close();
  return outcome;
}

class CablePullTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    image = dir / "player.img";
    setenv("JUKEPAK_IMAGE", image.c_str(), 1);
    SetFaults("");
    ASSERT_TRUE(CreateSparseImage(image, kImageSectors).ok());
    // The tracks that must survive: one CD written before the pull.
    testing::RecordingReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(frontend::BindPlayerModule(volume, kModule).ok()) << volume.bindError();
    ASSERT_TRUE(volume.RunJobNow(Job::kInit).ok());
    std::vector<std::string> old;
    for (int i = 1; i <= 2; ++i) {
      old.push_back(dir / ("old" + std::to_string(i) + ".mp3"));
      testing::WriteBytes(old.back(),
                          testing::TaggedMp3(0.3, "old" + std::to_string(i), "Ann", "Before", i));
    }
    ASSERT_TRUE(testing::SyncFiles(volume, old).ok());
  }
  void TearDown() override {
    unsetenv("JUKEPAK_IMAGE");
    SetFaults("");
  }

  testing::TempDir dir;
  std::string image;
};

TEST_F(CablePullTest, APullDuringASyncEndsTheJobAndLosesNoEarlierTrack) {
  const std::map<std::string, std::vector<uint8_t>> before = MountedTracks();
  ASSERT_EQ(before.size(), 2u);
  const std::string pristine = dir / "pristine.img";
  std::filesystem::copy_file(image, pristine);
  std::vector<std::string> songs;
  for (int i = 1; i <= 3; ++i) {
    const std::string path = dir / ("new" + std::to_string(i) + ".mp3");
    testing::WriteBytes(path,
                        testing::TaggedMp3(1.0, "new" + std::to_string(i), "Bob", "After", i));
    songs.push_back(path);
  }

  // The pull comes after more and more port operations until the sync gets
  // through; every pull that met the sync must have ended it cleanly.
  // Coarse steps until the first pull meets the sync, then fine ones.
  int pulls_during_sync = 0;
  bool finished = false;
  for (uint32_t ops = 20000; !finished && ops < 400000000u;
       ops += pulls_during_sync == 0 ? ops / 8 : 5000) {
    SCOPED_TRACE("cable pulled after " + std::to_string(ops) + " port operations");
    std::filesystem::copy_file(pristine, image, std::filesystem::copy_options::overwrite_existing);
    {
      SetFaults("cable-pulled-after-ops=" + std::to_string(ops));
      testing::RecordingReporter reporter;
      PlayerVolume volume(&reporter);
      if (!frontend::BindPlayerModule(volume, kModule).ok()) continue;  // pulled during Open
      if (!volume.CheckVolume() || !volume.RunJobNow(Job::kMount).ok()) continue;
      for (const auto& song : songs) ASSERT_TRUE(AddFile(volume, song, std::nullopt).ok());
      const Result sync = volume.RunJobNow(Job::kSync);
      if (sync.ok()) {
        finished = true;
      } else {
        ++pulls_during_sync;
        EXPECT_EQ(volume.busyState(), BusyState::kIdle);
        EXPECT_EQ(volume.deviceState(), DeviceState::kNoDriver);
        const std::vector<std::string> statuses = reporter.statuses();
        ASSERT_FALSE(statuses.empty());
        EXPECT_FALSE(statuses.back().empty()) << "the job ended without a message";
        std::printf("pull after %u port operations: %s\n", ops, statuses.back().c_str());
      }
    }
    // Reconnected: the check repairs what the torn sync left, a second check
    // finds nothing, and every earlier track is there byte for byte.
    SetFaults("");
    const checker::CheckOutcome repair = CheckOverSimulator(checker::RepairDecision::kRepair);
    EXPECT_TRUE(repair == checker::CheckOutcome::kClean ||
                repair == checker::CheckOutcome::kRepaired)
        << int(repair);
    EXPECT_EQ(CheckOverSimulator(checker::RepairDecision::kLeave), checker::CheckOutcome::kClean);
    const std::map<std::string, std::vector<uint8_t>> after = MountedTracks();
    for (const auto& [title, audio] : before) {
      auto it = after.find(title);
      ASSERT_NE(it, after.end()) << "lost " << title;
      EXPECT_TRUE(it->second == audio) << title << " changed";
    }
    if (HasFailure()) return;
  }
  EXPECT_TRUE(finished) << "the sync never got through";
  EXPECT_GE(pulls_during_sync, 3) << "too few pulls came in the middle of the sync";
  std::printf("cable pulls during a sync: %d\n", pulls_during_sync);
}

}  // namespace
}  // namespace jukepak
