#include "checker/testing/reference_volume.h"

#include <cstring>
#include <map>
#include <set>

namespace jukepak::checker::testing {
namespace {

// The format, restated here on purpose rather than taken from the engine.
constexpr uint32_t kSector = 512;
constexpr uint32_t kCluster = 16 * kSector;
constexpr uint32_t kEnd = 0x00FFFFFE;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string Text(const uint8_t* p) {
  size_t n = 0;
  while (n < 48 && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

struct Header {
  uint32_t fatStart, fatSectors, audioStart, audioClusters, cdStart, cdCount;
};

bool RecordSound(const uint8_t* record, uint32_t clusters) {
  if (std::memcmp(record, "MPTK", 4) != 0) return false;
  for (uint32_t k = 0; k < 179; ++k) {
    const uint8_t* mark = record + 128 + 5 * k;
    if (mark[2] == 0xFF) return true;
    if ((uint32_t(mark[0]) | uint32_t(mark[1]) << 8 | uint32_t(mark[2]) << 16) >= clusters) {
      return false;
    }
  }
  return false;
}

bool LengthAgrees(uint32_t size, uint64_t clusters) {
  if (size < 1024) return false;
  const uint64_t least = (uint64_t(size) + kCluster - 1) / kCluster;
  const uint64_t most = (uint64_t(size) - 1024 + 10239) / kCluster;
  return clusters >= least && clusters <= most;
}

}  // namespace

Result ReadReference(SectorDevice& device, ReferenceVolume* out) {
  ReferenceVolume v;
  Result r = device.QuerySectorCount(&v.sectors);
  uint8_t h[kSector];
  if (r.ok()) r = device.Read(0, 1, h);
  if (!r.ok()) return r;
  if (std::memcmp(h, "MPFS", 4) != 0) return Result::Error(ResultCode::kCorrupt, "no volume");
  const Header hd{U32(h + 32), U32(h + 36), U32(h + 40), U32(h + 44), U32(h + 48), U32(h + 52)};
  v.audioStart = hd.audioStart;
  v.audioClusters = hd.audioClusters;
  std::vector<uint8_t> fat(size_t(hd.fatSectors) * kSector);
  r = device.Read(hd.fatStart, hd.fatSectors, fat.data());
  if (!r.ok()) return r;
  auto entry = [&](uint32_t c) { return U32(fat.data() + 4 * size_t(c)); };
  // Clusters a track may use: above the placeholder, below the CD records.
  const uint64_t cd_cluster =
      hd.cdCount == 0 ? hd.audioClusters : hd.cdStart / 16 - uint64_t(hd.audioStart);
  const uint64_t usable_end = std::min<uint64_t>(hd.audioClusters, cd_cluster);

  std::map<uint32_t, std::set<size_t>> owners;  // cluster -> listings whose chain holds it
  for (uint32_t i = 0; i < hd.cdCount; ++i) {
    uint8_t cd[kSector];
    r = device.Read(hd.cdStart + i, 1, cd);
    if (!r.ok()) return r;
    const bool cd_sound = std::memcmp(cd, "MPCD", 4) == 0 && cd[4] >= 1 && cd[4] <= 100;
    const uint32_t listed = std::min<uint32_t>(cd[4], 100);
    for (uint32_t j = 0; j < listed; ++j) {
      ReferenceTrack t;
      t.album = Text(cd + 16);
      t.cd = i;
      t.index = j;
      t.start = U32(cd + 112 + 4 * j);
      bool sound = cd_sound && t.start >= 2 && t.start < usable_end;
      if (t.start < hd.audioClusters) {
        uint8_t record[1024];
        r = device.Read((hd.audioStart + t.start) * 16, 2, record);
        if (!r.ok()) return r;
        t.title = Text(record + 8);
        t.size = U32(record + 4);
        sound = sound && RecordSound(record, hd.audioClusters);
      }
      bool ended = false;
      std::set<uint32_t> seen;
      for (uint32_t c = t.start; t.start < hd.audioClusters;) {
        if (c < 2 || c >= usable_end || seen.count(c) != 0) break;
        seen.insert(c);
        t.chain.push_back(c);
        const uint32_t next = entry(c);
        if (next == kEnd) {
          ended = true;
          break;
        }
        c = next;
      }
      t.whole = sound && ended && LengthAgrees(t.size, t.chain.size());
      for (uint32_t c : t.chain) owners[c].insert(v.tracks.size());
      v.tracks.push_back(t);
    }
  }
  for (const auto& [cluster, listings] : owners) {
    if (listings.size() < 2) continue;
    for (size_t l : listings) v.tracks[l].shares = true;
  }
  *out = std::move(v);
  return Result::Ok();
}

Result ReferenceAudio(SectorDevice& device, const ReferenceVolume& volume,
                      const ReferenceTrack& track, bool to_size, std::vector<uint8_t>* audio) {
  audio->clear();
  std::vector<uint8_t> cluster(kCluster);
  for (size_t k = 0; k < track.chain.size(); ++k) {
    Result r = device.Read((volume.audioStart + track.chain[k]) * 16, 16, cluster.data());
    if (!r.ok()) return r;
    audio->insert(audio->end(), cluster.begin() + (k == 0 ? 1024 : 0), cluster.end());
  }
  if (to_size && track.size >= 1024 && audio->size() > track.size - 1024) {
    audio->resize(track.size - 1024);
  }
  return Result::Ok();
}

}  // namespace jukepak::checker::testing
