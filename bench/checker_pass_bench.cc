// checker_restart_bench [TRACKS [DAMAGED]]: the cost of the checker's
// directory and chain pass on the largest drive the player can address
// (2^28 sectors, 2^24 clusters) holding TRACKS tracks (default 10,000) in CDs
// of ten, DAMAGED of them (default 1,000) broken so that each must be
// removed. Every removal restarts the pass; the two restart policies are
// timed over identical images and their findings compared line by line.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "checker/testing/engine_fixtures.h"
#include "checker/testing/songlift_volume_builder.h"
#include "checker/testing/sparse_device.h"
#include "format/format_constants.h"

namespace {

using jukepak::checker::CheckEngine;
using jukepak::checker::RestartPolicy;
using jukepak::checker::VolumeImages;
using jukepak::checker::testing::RecordingSink;
using jukepak::checker::testing::SongliftVolumeBuilder;
using jukepak::checker::testing::SparseDevice;
namespace format = jukepak::format;

constexpr uint32_t kSectors = 1u << 28;

bool Check(const jukepak::Result& r, const char* what) {
  if (!r.ok()) std::fprintf(stderr, "%s: %s\n", what, r.message().c_str());
  return r.ok();
}

// Breaks one track in one of five ways, each of which removes exactly that
// track.
void Damage(SongliftVolumeBuilder& volume, int cd, uint32_t track, uint32_t start, int kind) {
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
  std::vector<std::string> findings;
};

Timing Run(VolumeImages& images, RestartPolicy policy) {
  images.RestoreSaved();
  RecordingSink sink;
  CheckEngine engine;
  engine.SetMessageSink(&sink);
  engine.SetDriveSize(images.sectorCount);
  engine.SetRestartPolicy(policy);
  Timing t;
  if (!Check(AttachImages(engine, images), "attach")) return t;
  int verdict = 0;
  const auto begin = std::chrono::steady_clock::now();
  const jukepak::Result r = engine.VerifyVolume(&verdict);
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  Check(r, "verify");
  t.findings = sink.messages;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int tracks = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int damaged = argc > 2 ? std::atoi(argv[2]) : 1000;
  if (tracks <= 0 || damaged < 0 || damaged > tracks) {
    std::fprintf(stderr, "usage: checker_restart_bench [TRACKS [DAMAGED]]\n");
    return 2;
  }
  SparseDevice device(kSectors);
  SongliftVolumeBuilder volume(&device);
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

  const Timing resumed = Run(images, RestartPolicy::kResume);
  std::printf("go on after each removal:     %8.3f s\n", resumed.seconds);
  const Timing restarted = Run(images, RestartPolicy::kFromScratch);
  std::printf("restart from the first CD:    %8.3f s\n", restarted.seconds);
  const bool same = resumed.findings == restarted.findings;
  std::printf("findings: %zu lines, %s\n", resumed.findings.size(),
              same ? "identical" : "DIFFERENT");
  if (std::getenv("BENCH_VERBOSE") != nullptr) {
    for (const auto& line : resumed.findings) std::printf("  %s", line.c_str());
  } else if (!resumed.findings.empty()) {
    std::printf("last: %s", resumed.findings.back().c_str());
  }
  return same ? 0 : 1;
}
