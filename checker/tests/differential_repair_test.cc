// The repair judged by an independent reading of the format
// (checker/testing/reference_volume.h) over a few hundred randomly damaged
// volumes. After each repair a second check finds nothing; every track the
// reference calls whole before the repair is still listed, with the same
// audio bytes (and the same chain, unless it shared clusters and got
// copies); and every track that survives holds no byte its chain did not
// hold before. The run ends with a tally on stdout.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include "base/byte_order.h"
#include "checker/testing/reference_volume.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"

namespace jukepak::checker {
namespace {

using testing::ReferenceTrack;
using testing::ReferenceVolume;

class DifferentialRepairTest : public SmallVolumeTest {
 protected:
  // A random directory with a distinct pattern in every cluster, then
  // `damages` random faults of every kind the pass knows.
  void BuildDamaged(uint32_t seed, int damages) {
    random.seed(seed);
    const int cds = 4 + int(random() % 10);
    for (int i = 0; i < cds; ++i) {
      const int id = AddCd("CD" + std::to_string(i));
      const int tracks = int(random() % 7);  // some CDs stay empty
      for (int t = 0; t < tracks; ++t) {
        const uint32_t start = AddTrack(id, "T" + std::to_string(i) + "." + std::to_string(t),
                                        1 + uint32_t(random() % 8));
        starts.push_back(start);
        for (uint32_t c : volume.Chain(start)) Stamp(c, seed);
      }
    }
    for (int k = 0; k < damages; ++k) Damage();
  }
  void Stamp(uint32_t cluster, uint32_t seed) {
    uint8_t sector[512];
    for (uint32_t b = 0; b < 512; ++b) sector[b] = uint8_t(cluster * 7 + seed * 13 + b);
    ASSERT_TRUE(device.Write((1 + cluster) * 16 + 8, 1, sector).ok());
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
    switch (random() % 15) {
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
        break;  // CD area
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
      case 13:
        PatchFat(AnyCluster(start), Pick(2));
        break;  // into the placeholder
      case 14:
        volume.track(start).setSize(volume.track(start).size() + 8192 * (1 + Pick(3)));
        ASSERT_TRUE(volume.WriteTrack(start).ok());
        break;
    }
    ASSERT_TRUE(volume.WriteCd(cd).ok());
  }

  std::vector<uint8_t> Audio(const ReferenceVolume& v, const ReferenceTrack& t, bool to_size) {
    std::vector<uint8_t> audio;
    EXPECT_TRUE(testing::ReferenceAudio(device, v, t, to_size, &audio).ok());
    return audio;
  }

  std::mt19937 random;
  std::vector<uint32_t> starts;
};

struct Tally {
  int volumes = 0, damaged = 0, whole = 0, survivors = 0, removed = 0, clones = 0, ended = 0;
};

TEST_F(DifferentialRepairTest, RepairKeepsEveryWholeTrackAndChangesNoAudio) {
  Tally tally;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Reformat();
    starts.clear();
    BuildDamaged(seed, 1 + int(seed % 8));

    ReferenceVolume before;
    ASSERT_TRUE(testing::ReadReference(device, &before).ok());
    std::map<std::string, std::vector<uint8_t>> whole_audio, chain_bytes;
    std::map<std::string, std::vector<uint32_t>> own_chain;
    for (const ReferenceTrack& t : before.tracks) {
      chain_bytes[t.title] = Audio(before, t, false);
      if (!t.whole) continue;
      whole_audio[t.title] = Audio(before, t, true);
      if (!t.shares) own_chain[t.title] = t.chain;
    }

    const Codes codes = RepairTwice();
    ++tally.volumes;
    if (codes != Codes{Problem::kClustersUsed}) ++tally.damaged;
    for (Problem p : codes) {
      tally.clones += p == Problem::kCloneShared;
      tally.ended += p == Problem::kChainEndedAtSize;
    }

    ReferenceVolume after;
    ASSERT_TRUE(testing::ReadReference(device, &after).ok());
    std::map<std::string, const ReferenceTrack*> kept;
    for (const ReferenceTrack& t : after.tracks) kept[t.title] = &t;
    for (const auto& [title, audio] : whole_audio) {
      ++tally.whole;
      auto it = kept.find(title);
      if (it == kept.end()) {
        ADD_FAILURE() << "whole track " << title << " was removed";
        continue;
      }
      EXPECT_EQ(Audio(after, *it->second, true), audio) << title;
      if (own_chain.count(title) != 0) EXPECT_EQ(it->second->chain, own_chain[title]) << title;
    }
    for (const ReferenceTrack& t : after.tracks) {
      ++tally.survivors;
      EXPECT_TRUE(t.whole) << t.title << " survives but is not whole";
      const std::vector<uint8_t>& held = chain_bytes[t.title];
      const std::vector<uint8_t> now = Audio(after, t, true);
      EXPECT_TRUE(now.size() <= held.size() && std::equal(now.begin(), now.end(), held.begin()))
          << t.title << " holds bytes its chain did not hold";
    }
    tally.removed += int(before.tracks.size()) - int(after.tracks.size());
    if (HasFailure()) break;
  }
  std::printf("differential repair: %d volumes, %d damaged, %d whole tracks kept, %d survivors "
              "checked, %d listings removed, %d clones, %d chains ended at their size\n",
              tally.volumes, tally.damaged, tally.whole, tally.survivors, tally.removed,
              tally.clones, tally.ended);
  EXPECT_GT(tally.damaged, 250) << "most seeds damage something";
  EXPECT_GT(tally.clones, 0);
}

}  // namespace
}  // namespace jukepak::checker
