// An independent reading of a volume on an in-memory disk, for the sync
// tests: the directory, every chain, and every broken rule of the format as
// a line of text. It reads the bytes itself and shares no code with the
// engine beyond the record accessors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "format/cd_record.h"
#include "format/format_constants.h"
#include "format/track_record.h"
#include "format/volume_header.h"
#include "testing/memory_device.h"

namespace jukepak::testing {

struct AuditedTrack {
  TrackRecord record;
  std::vector<uint32_t> chain;
};

struct AuditedCd {
  CdRecord record;
  uint32_t sector = 0;
  std::vector<AuditedTrack> tracks;
};

struct Audit {
  VolumeHeader header;
  std::vector<uint32_t> fat;
  std::vector<AuditedCd> cds;
  std::vector<std::string> errors;
  uint32_t leakedClusters = 0;  // in use, in no chain
  uint32_t freeClusters = 0;    // free and below the CD area
};

inline uint32_t ClusterOfSector(const VolumeHeader& h, uint64_t sector) {
  return uint32_t(sector / format::kSectorsPerCluster - h.audioStart());
}

inline Audit AuditVolume(MemoryDevice& disk) {
  Audit a;
  std::copy(disk.sector(0), disk.sector(0) + format::kHeaderSize, a.header.data());
  const VolumeHeader& h = a.header;
  auto error = [&](const std::string& text) { a.errors.push_back(text); };
  if (!h.HasSignature()) {
    error("no MPFS signature");
    return a;
  }
  for (uint32_t i = 0; i < h.fatSectors() * format::kFatEntriesPerSector; ++i) {
    a.fat.push_back(LoadLe32(disk.sector(h.fatStart()) + 4 * i));
  }
  const uint32_t audio = h.audioClusters();
  uint32_t cd_cluster = audio;
  if (h.cdCount() > 0) {
    if (uint64_t(h.cdStart()) + h.cdCount() != h.AudioEndSector())
      error("CD area does not end the audio area");
    cd_cluster = ClusterOfSector(h, h.cdStart());
  }
  std::map<uint32_t, std::string> owner;
  auto own = [&](uint32_t c, const std::string& who) {
    if (!owner.emplace(c, who).second) error("cluster " + std::to_string(c) + " in two chains");
  };
  own(0, "placeholder");
  own(1, "placeholder");
  for (uint32_t i = 0; i < h.cdCount(); ++i) {
    AuditedCd cd;
    cd.sector = h.cdStart() + i;
    std::copy(disk.sector(cd.sector), disk.sector(cd.sector) + 512, cd.record.data());
    const std::string name = "CD " + cd.record.artist() + " / " + cd.record.album();
    if (!cd.record.HasSignature()) error(name + ": no MPCD");
    if (cd.record.trackCount() == 0 || cd.record.trackCount() > 100) error(name + ": track count");
    for (uint32_t j = 0; j < cd.record.trackCount() && j < 100; ++j) {
      AuditedTrack track;
      uint32_t c = cd.record.startCluster(j);
      const std::string who = name + " track " + std::to_string(j);
      if (c >= cd_cluster) {
        error(who + ": start cluster outside the audio area");
        continue;
      }
      std::copy(disk.sector(uint32_t(h.ClusterSector(c))),
                disk.sector(uint32_t(h.ClusterSector(c))) + 1024, track.record.data());
      if (!track.record.HasSignature()) error(who + ": no MPTK");
      while (c < cd_cluster && track.chain.size() <= a.fat.size()) {
        own(c, who);
        track.chain.push_back(c);
        if (a.fat[c] == format::kFatEndOfChain) break;
        c = a.fat[c];
      }
      if (c >= cd_cluster) error(who + ": chain leaves the audio area");
      const uint64_t audio_bytes = track.record.size() - 1024ull;
      if (track.chain.size() != (audio_bytes + 10239) / 8192) error(who + ": chain length");
      const int marks = track.record.CountIndexMarks();
      if (marks < 0 || marks > 178) error(who + ": index marks");
      for (int m = 0; m < marks; ++m) {
        const uint32_t marked = LoadLe24(track.record.indexSlot(uint32_t(m)));
        if (std::find(track.chain.begin(), track.chain.end(), marked) == track.chain.end()) {
          error(who + ": mark names a cluster outside its chain");
        }
      }
      cd.tracks.push_back(std::move(track));
    }
    a.cds.push_back(std::move(cd));
  }
  for (uint32_t c = 0; c < audio; ++c) {
    const bool used = a.fat[c] != format::kFatFree;
    if (used && owner.count(c) == 0) ++a.leakedClusters;
    if (!used && c < cd_cluster) ++a.freeClusters;
    if (c >= cd_cluster && used)
      error("cluster " + std::to_string(c) + " in the CD area is in use");
  }
  return a;
}

// The audio bytes of a track as its chain holds them, and whether every
// byte after them up to the end of the last cluster is zero.
inline std::vector<uint8_t> TrackAudio(MemoryDevice& disk, const Audit& a,
                                       const AuditedTrack& track, bool* zero_tail) {
  std::vector<uint8_t> bytes;
  for (uint32_t c : track.chain) {
    const uint8_t* cluster = disk.sector(uint32_t(a.header.ClusterSector(c)));
    bytes.insert(bytes.end(), cluster, cluster + format::kClusterSize);
  }
  const uint64_t audio_bytes = track.record.size() - 1024ull;
  *zero_tail = std::all_of(bytes.begin() + 1024 + long(audio_bytes), bytes.end(),
                           [](uint8_t b) { return b == 0; });
  return std::vector<uint8_t>(bytes.begin() + 1024, bytes.begin() + 1024 + long(audio_bytes));
}

}  // namespace jukepak::testing
