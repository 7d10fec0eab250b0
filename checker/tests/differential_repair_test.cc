// Going on after a removal instead of restarting from the first CD must not
// change anything the user or the disk sees: on randomly damaged volumes both
// policies report the same lines and write the same sectors in the same order.

#include <gtest/gtest.h>

#include <random>

#include "base/byte_order.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"

namespace jukepak::checker {
namespace {

class RestartPolicyTest : public SmallVolumeTest {
 protected:
  // A random directory, then `damages` random faults of every kind the pass knows.
  void BuildDamaged(uint32_t seed, int damages) {
    random.seed(seed);
    const int cds = 4 + int(random() % 10);
    for (int i = 0; i < cds; ++i) {
      const int id = AddCd("CD" + std::to_string(i));
      const int tracks = int(random() % 7);  // some CDs stay empty
      for (int t = 0; t < tracks; ++t) {
        starts.push_back(AddTrack(id, "T" + std::to_string(i) + "." + std::to_string(t),
                                  1 + uint32_t(random() % 8)));
      }
    }
    for (int k = 0; k < damages; ++k) Damage();
  }

  uint32_t Pick(uint32_t n) { return n == 0 ? 0 : uint32_t(random() % n); }
  uint32_t AnyStart() { return starts[Pick(uint32_t(starts.size()))]; }
  uint32_t AnyCluster(uint32_t start) {
    const auto chain = volume.Chain(start);
    return chain.empty() ? start : chain[Pick(uint32_t(chain.size()))];
  }
  int AnyCd() { return volume.cdAt(Pick(volume.cdCount())); }

  void Damage() {
    if (starts.empty() || volume.cdCount() < 2) return;
    const int cd = AnyCd();
    CdRecord& record = volume.cd(cd);
    const uint32_t start = AnyStart();
    switch (random() % 13) {
      case 0:
        record.data()[Pick(4)] ^= 0x20;
        break;
      case 1:
        record.setTrackCount(random() % 2 ? 0 : uint8_t(101 + Pick(100)));
        break;
      case 2:
        if (record.trackCount() > 0)
          record.setStartCluster(Pick(record.trackCount()), 5000 + Pick(9));
        break;
      case 3:
        volume.track(start).data()[Pick(4)] ^= 1;
        ASSERT_TRUE(volume.WriteTrack(start).ok());
        break;
      case 4:
        StoreLe24(volume.track(start).indexSlot(0), 2000);
        ASSERT_TRUE(volume.WriteTrack(start).ok());
        break;
      case 5:
        PatchFat(AnyCluster(start), AnyCluster(AnyStart()));
        break;  // crosslink or loop
      case 6:
        PatchFat(AnyCluster(start), format::kFatFree);
        break;
      case 7:
        PatchFat(AnyCluster(start), 0x00123456);
        break;
      case 8:
        PatchFat(AnyCluster(start), volume.header().audioClusters() - 1);
        break;   // CD area
      case 9: {  // an interrupted move: a record also written one sector up
        const uint32_t i = Pick(volume.cdCount() - 1);
        ASSERT_TRUE(
            device.Write(volume.header().cdStart() + i + 1, 1, volume.cd(volume.cdAt(i)).data())
                .ok());
        return;
      }
      case 10:  // the same track listed again, here or in another CD
        if (record.trackCount() < 100) {
          record.setStartCluster(record.trackCount(), start);
          record.setTrackCount(uint8_t(record.trackCount() + 1));
        }
        break;
      case 11:
        PatchFat(1100 + Pick(100), format::kFatEndOfChain);
        break;  // lost
      case 12:
        PatchFat(Pick(2), 1 + Pick(20));
        break;  // the placeholder's entries
    }
    ASSERT_TRUE(volume.WriteCd(cd).ok());
  }

  std::mt19937 random;
  std::vector<uint32_t> starts;
};

TEST_F(RestartPolicyTest, ResumingFindsAndWritesExactlyWhatRestartingDoes) {
  int repaired = 0;
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    RestartPolicyTest::TearDown();
    device = testing::SparseDevice(kSectors);
    volume = testing::SongliftVolumeBuilder(&device);
    starts.clear();
    ASSERT_TRUE(volume.Format().ok());
    BuildDamaged(seed, 1 + int(seed % 8));

    testing::SparseDevice resumed = device, restarted = device;
    testing::DeviceLogWriter resume_log(&resumed), restart_log(&restarted);
    int v1 = 0, v2 = 0;
    const Lines dry = testing::CheckDevice(device, nullptr, &v1, RestartPolicy::kResume);
    EXPECT_EQ(dry, testing::CheckDevice(device, nullptr, &v2, RestartPolicy::kFromScratch))
        << "seed " << seed;
    const Lines a = testing::CheckDevice(resumed, &resume_log, &v1, RestartPolicy::kResume);
    const Lines b = testing::CheckDevice(restarted, &restart_log, &v2, RestartPolicy::kFromScratch);
    EXPECT_EQ(a, b) << "seed " << seed;
    EXPECT_EQ(a, dry) << "seed " << seed;
    EXPECT_EQ(v1, v2);
    EXPECT_EQ(resume_log.log, restart_log.log) << "seed " << seed;
    EXPECT_EQ(resumed.contents(), restarted.contents()) << "seed " << seed;
    int again = -1;
    const Lines second = testing::CheckDevice(resumed, nullptr, &again);
    EXPECT_EQ(again, 0) << "seed " << seed;
    EXPECT_EQ(second.size(), 1u) << "seed " << seed;
    repaired += v1;
  }
  EXPECT_GT(repaired, 120) << "most seeds damage something";
}

}  // namespace
}  // namespace jukepak::checker
