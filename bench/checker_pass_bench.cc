// checker_pass_bench [TRACKS [DAMAGED]]: the cost of the checker's
// directory and chain pass.
//  1. On the largest drive the player can address (2^28 sectors, 2^24
//     clusters) holding TRACKS tracks (default 10,000) in CDs of ten, DAMAGED
//     of them (default 1,000) broken: the dry run, then the repair, over
//     identical images.
//  2. A crafted directory on a 49 MB drive: as many one-track CD records as
//     the drive holds, every one listing the same track, so that all but one
//     go: the dry run and the repair.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "checker/testing/engine_fixtures.h"
#include "format/format_constants.h"
#include "testing/sparse_device.h"
#include "testing/volume_builder.h"

namespace {

using jukepak::checker::CheckEngine;
using jukepak::checker::VolumeImages;
using jukepak::checker::testing::RecordingSink;
using jukepak::testing::VolumeBuilder;
using jukepak::testing::SparseDevice;
namespace format = jukepak::format;

constexpr uint32_t kSectors = 1u << 28;

bool Check(const jukepak::Result& r, const char* what) {
  if (!r.ok()) std::fprintf(stderr, "%s: %s\n", what, r.message().c_str());
  return r.ok();
}

// Breaks one track in one of five ways: the first three remove it, the last
// two end its chain where its size says.
void Damage(VolumeBuilder& volume, int cd, uint32_t track, uint32_t start, int kind) {
  const std::vector<uint32_t> chain = volume.Chain(start);
  switch (kind) {
    case 0:  // record signature
      volume.track(start).data()[0] = 'X';
      (void)volume.WriteTrack(start);
      break;
    case 1:  // start cluster outside the audio area
      volume.cd(cd).setStartCluster(track, 0xFFFFFFF0);
      (void)volume.WriteCd(cd);
      break;
    case 2:  // no terminator among the index marks (on this drive every
             // 24-bit mark below 0xFF0000 names a cluster of the audio area)
      for (uint32_t k = 0; k < format::kIndexMarkSlots; ++k) {
        jukepak::StoreLe24(volume.track(start).indexSlot(k), start);
      }
      (void)volume.WriteTrack(start);
      break;
    case 3:  // chain ends on a free entry
      volume.fat().set(chain.back(), format::kFatFree);
      (void)volume.WriteFat();
      break;
    default:  // chain runs into itself
      volume.fat().set(chain.back(), chain[chain.size() / 2]);
      (void)volume.WriteFat();
      break;
  }
}

struct Timing {
  double seconds = 0;
  size_t findings = 0;
  std::string last;
};

// One pass over the images as read: a dry run, or a repair through `writer`.
Timing Run(VolumeImages& images, jukepak::checker::testing::DeviceLogWriter* writer) {
  images.RestoreSaved();
  RecordingSink sink;
  CheckEngine engine;
  engine.SetFindingSink(&sink);
  engine.SetDriveSize(images.sectorCount);
  engine.SetSectorWriter(writer);
  engine.SetSectorReader(writer);
  Timing t;
  if (!Check(AttachImages(engine, images), "attach")) return t;
  jukepak::checker::VolumeVerdict verdict;
  const auto begin = std::chrono::steady_clock::now();
  const jukepak::Result r = engine.VerifyVolume(&verdict);
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  Check(r, "verify");
  t.findings = sink.findings.size();
  if (!sink.findings.empty()) t.last = sink.findings.back().text;
  return t;
}

void Print(const char* what, const Timing& t) {
  std::printf("%-34s %8.3f s, %zu findings, last: %s", what, t.seconds, t.findings,
              t.last.c_str());
}

// Scenario 2: a 49 MB drive whose CD run fills all but the clusters of one
// track, every record listing that track.
int CraftedRun() {
  constexpr uint32_t kCraftedSectors = 100352;
  SparseDevice device(kCraftedSectors);
  VolumeBuilder volume(&device);
  int id = 0;
  uint32_t start = 0;
  if (!Check(volume.Format(), "format") || !Check(volume.AddCd("A", "B", &id), "cd") ||
      !Check(volume.AddTrack(id, "T", 1, &start), "track")) {
    return 1;
  }
  const uint32_t end = uint32_t(volume.header().AudioEndSector());
  const uint32_t count = end - (volume.header().audioStart() + 3) * 16;
  std::vector<uint8_t> record(volume.cd(id).data(), volume.cd(id).data() + 512);
  for (uint32_t s = end - count; s < end; ++s) {
    record[16] = uint8_t('A' + s % 26);  // no two records alike
    record[17] = uint8_t('A' + s / 26 % 26);
    record[18] = uint8_t('A' + s / 676 % 26);
    record[19] = uint8_t('A' + s / 17576 % 26);
    if (!Check(device.Write(s, 1, record.data()), "record")) return 1;
  }
  volume.header().setCdStart(end - count);
  volume.header().setCdCount(count);
  if (!Check(volume.WriteHeader(), "header")) return 1;
  VolumeImages images;
  if (!Check(jukepak::checker::testing::LoadImages(device, &images), "read")) return 1;
  std::printf("crafted: %u sectors, %u CD records listing one track\n", kCraftedSectors, count);
  Print("dry run", Run(images, nullptr));
  jukepak::checker::testing::DeviceLogWriter writer(&device);
  Print("repair", Run(images, &writer));
  std::printf("repair writes: %zu\n", writer.log.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int tracks = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int damaged = argc > 2 ? std::atoi(argv[2]) : 1000;
  if (tracks <= 0 || damaged < 0 || damaged > tracks) {
    std::fprintf(stderr, "usage: checker_pass_bench [TRACKS [DAMAGED]]\n");
    return 2;
  }
  SparseDevice device(kSectors);
  VolumeBuilder volume(&device);
  if (!Check(volume.Format(), "format")) return 1;
  std::mt19937 random(1);
  struct Listed {
    int cd;
    uint32_t track, start;
  };
  std::vector<Listed> listed;
  uint64_t clusters = 0;
  for (int n = 0; n < tracks; ++n) {
    if (n % 10 == 0) {
      int id = 0;
      if (!Check(volume.AddCd("Album " + std::to_string(n / 10), "Artist", &id), "cd")) return 1;
    }
    const int cd = volume.cdAt(0);
    const uint32_t length = 300 + uint32_t(random() % 401);  // 2.4 to 5.6 MB
    uint32_t start = 0;
    if (!Check(volume.AddTrack(cd, "Track " + std::to_string(n), length, &start), "track")) {
      return 1;
    }
    listed.push_back({cd, uint32_t(n % 10), start});
    clusters += length;
  }
  // Spread the damage evenly over the directory and over the track positions.
  const uint64_t stride = damaged > 0 ? uint64_t(tracks) / uint64_t(damaged) : 1;
  for (int k = 0; k < damaged; ++k) {
    const Listed& t = listed[size_t(uint64_t(k) * stride + uint64_t(k) % stride)];
    Damage(volume, t.cd, t.track, t.start, k % 5);
  }

  VolumeImages images;
  if (!Check(jukepak::checker::testing::LoadImages(device, &images), "read")) return 1;
  std::printf("volume: %u sectors, %u clusters, %u CDs, %d tracks (%llu clusters), %d damaged\n",
              kSectors, jukepak::LoadLe32(images.header.data() + format::kAudioClustersOffset),
              volume.cdCount(), tracks, static_cast<unsigned long long>(clusters), damaged);

  Print("dry run", Run(images, nullptr));
  SparseDevice copy = device;
  jukepak::checker::testing::DeviceLogWriter writer(&copy);
  Print("repair", Run(images, &writer));
  return CraftedRun();
}
