// Small volumes for the engine's tests, written straight into a MemoryDevice
// the way Songlift lays them out: CD records from the end of the audio area
// downward, track records at the start of each chain, chains in the FAT.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "format/cd_record.h"
#include "format/fat.h"
#include "format/track_record.h"
#include "format/volume_header.h"
#include "testing/memory_device.h"
#include "volume/player_volume.h"

namespace jukepak::testing {

// A device that forwards to a MemoryDevice the test keeps.
inline std::unique_ptr<SectorDevice> Share(MemoryDevice& disk) {
  return std::make_unique<ForwardingDevice>(&disk);
}

inline VolumeHeader ReadHeader(MemoryDevice& disk) {
  VolumeHeader h;
  std::memcpy(h.data(), disk.sector(0), format::kHeaderSize);
  return h;
}

inline void WriteHeaderTo(MemoryDevice& disk, const VolumeHeader& h) {
  std::memcpy(disk.sector(0), h.data(), format::kHeaderSize);
}

inline uint32_t FatEntry(MemoryDevice& disk, uint32_t cluster) {
  const VolumeHeader h = ReadHeader(disk);
  return LoadLe32(disk.sector(h.fatStart()) + 4 * cluster);
}

inline void SetFatEntry(MemoryDevice& disk, uint32_t cluster, uint32_t value) {
  const VolumeHeader h = ReadHeader(disk);
  StoreLe32(disk.sector(h.fatStart()) + 4 * cluster, value);
}

struct TrackSpec {
  std::string title;
  std::string artist;
  uint32_t clusters = 1;
};

// Appends a CD below the current CD run; its tracks take the lowest free
// clusters. Returns the record's sector.
inline uint32_t AddCd(MemoryDevice& disk, const std::string& artist, const std::string& album,
                      const std::vector<TrackSpec>& tracks) {
  VolumeHeader h = ReadHeader(disk);
  CdRecord cd;
  cd.StampSignature();
  cd.setArtist(artist);
  cd.setAlbum(album);
  cd.setTrackCount(uint8_t(tracks.size()));
  uint32_t next = 0;
  for (size_t j = 0; j < tracks.size(); ++j) {
    std::vector<uint32_t> chain;
    while (chain.size() < tracks[j].clusters) {
      if (FatEntry(disk, next) == format::kFatFree) chain.push_back(next);
      ++next;
    }
    for (size_t k = 0; k < chain.size(); ++k) {
      SetFatEntry(disk, chain[k], k + 1 < chain.size() ? chain[k + 1] : format::kFatEndOfChain);
    }
    TrackRecord t;
    t.StampSignature();
    t.setSize(1024 + 100);
    t.setTitle(tracks[j].title);
    t.setArtist(tracks[j].artist);
    std::memcpy(disk.sector(uint32_t(h.ClusterSector(chain[0]))), t.data(), t.bytes().size());
    cd.setStartCluster(uint32_t(j), chain[0]);
  }
  const uint32_t sector =
      h.cdCount() == 0 ? uint32_t(h.AudioEndSector()) - 1 : h.cdStart() - 1;
  std::memcpy(disk.sector(sector), cd.data(), cd.bytes().size());
  h.setCdStart(sector);
  h.setCdCount(h.cdCount() + 1);
  WriteHeaderTo(disk, h);
  return sector;
}

}  // namespace jukepak::testing
