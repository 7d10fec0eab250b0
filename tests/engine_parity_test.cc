// The volume engine over portlink-sim.dld and over diskimage.dld: the same
// operations (initialize, a sync, a delete and a sync into the freed space,
// each in a session of its own as Songlift's starts are) must leave the same
// image, except sector 2, which every Portlink Open overwrites with its EPP
// test pattern.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "driver/image_file.h"
#include "frontend/bind_player.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_media.h"
#include "volume/volume_edits.h"

namespace jukepak {
namespace {

using testing::TempDir;

constexpr uint32_t kImageSectors = 65536;  // 32 MB
constexpr size_t kSector = 512;

// Binds `module` over the image JUKEPAK_IMAGE names, mounts the volume unless
// `mount` is false, and runs `step` on it.
void Session(const std::string& module, bool mount,
             const std::function<void(PlayerVolume&)>& step) {
  testing::RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_TRUE(frontend::BindPlayerModule(volume, module).ok()) << volume.bindError();
  if (mount) {
    ASSERT_TRUE(volume.CheckVolume());
    const Result mounted = volume.RunJobNow(Job::kMount);
    ASSERT_TRUE(mounted.ok()) << mounted.message();
    EXPECT_EQ(volume.model().sectorCount, kImageSectors);
  }
  step(volume);
  EXPECT_EQ(volume.deviceState(), DeviceState::kReady);
}

void Sync(PlayerVolume& volume, const std::vector<std::string>& songs) {
  const Result synced = testing::SyncFiles(volume, songs);
  ASSERT_TRUE(synced.ok()) << synced.message();
}

CdNode* CdWithAlbum(PlayerVolume& volume, const std::string& album) {
  for (const auto& cd : volume.model().playerCds) {
    if (cd->record.album() == album) return cd.get();
  }
  return nullptr;
}

std::set<std::string> TrackTitles(PlayerVolume& volume) {
  std::set<std::string> titles;
  for (const auto& cd : volume.model().playerCds) {
    for (const auto& track : cd->tracks) titles.insert(track->record.title());
  }
  return titles;
}

// Songs of several clusters each, in two albums, and one for the second sync.
struct Songs {
  std::vector<std::string> first_sync;
  std::string after_delete;
};

Songs WriteSongs(const TempDir& dir) {
  const auto song = [&dir](const std::string& title, const std::string& album, int track) {
    const std::string path = dir / (title + ".mp3");
    testing::WriteBytes(path, testing::TaggedMp3(2.5, title, "Ann", album, track));
    return path;
  };
  return {{song("a1", "One", 1), song("a2", "One", 2), song("b1", "Two", 1)},
          song("c1", "Three", 1)};
}

void PlayScenario(const std::string& module, const std::string& image, const Songs& songs) {
  ASSERT_TRUE(CreateSparseImage(image, kImageSectors).ok());
  setenv("JUKEPAK_IMAGE", image.c_str(), 1);
  Session(module, false, [](PlayerVolume& volume) {
    const Result init = volume.RunJobNow(Job::kInit);
    ASSERT_TRUE(init.ok()) << init.message();
  });
  Session(module, true, [&songs](PlayerVolume& volume) { Sync(volume, songs.first_sync); });
  Session(module, true, [&songs](PlayerVolume& volume) {
    ASSERT_EQ(TrackTitles(volume), (std::set<std::string>{"a1", "a2", "b1"}));
    CdNode* one = CdWithAlbum(volume, "One");
    ASSERT_NE(one, nullptr);
    ASSERT_TRUE(DeletePlayerTrack(volume, one, 0).ok());
    Sync(volume, {songs.after_delete});
  });
  Session(module, true, [](PlayerVolume& volume) {
    EXPECT_EQ(TrackTitles(volume), (std::set<std::string>{"a2", "b1", "c1"}));
  });
  unsetenv("JUKEPAK_IMAGE");
}

TEST(EngineParityTest, InitSyncDeleteAndSyncLeaveTheSameImageExceptSector2) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const Songs songs = WriteSongs(dir);
  const std::string over_image = dir / "diskimage.img";
  const std::string over_link = dir / "portlink.img";
  PlayScenario(std::string(JUKEPAK_BIN_DIR) + "/diskimage.dld", over_image, songs);
  PlayScenario(std::string(JUKEPAK_BIN_DIR) + "/portlink-sim.dld", over_link, songs);

  const std::vector<uint8_t> a = testing::ReadBytes(over_image);
  const std::vector<uint8_t> b = testing::ReadBytes(over_link);
  ASSERT_EQ(a.size(), size_t(kImageSectors) * kSector);
  ASSERT_EQ(b.size(), a.size());
  ASSERT_EQ(std::string(a.begin(), a.begin() + 4), "MPFS");  // a volume was written at all
  for (uint32_t s = 0; s < kImageSectors; ++s) {
    if (s == 2) continue;
    ASSERT_TRUE(
        std::equal(a.begin() + s * kSector, a.begin() + (s + 1) * kSector, b.begin() + s * kSector))
        << "the images differ in sector " << s;
  }
  // Sector 2 really is the exception: Portlink left its pattern there.
  EXPECT_NE(std::count(b.begin() + 2 * kSector, b.begin() + 3 * kSector, 0), long(kSector));
}

}  // namespace
}  // namespace jukepak
