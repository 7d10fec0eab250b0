// Small volumes for the engine's tests over a MemoryDevice: a lent device,
// the header and FAT entries read and patched in place, and CDs added to a
// volume the engine initialized.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "format/volume_header.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
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

// Appends a CD below the current CD run of the volume on `disk`, through
// the test kit's builder; its tracks take the lowest free clusters. Returns
// the record's sector. A CD that does not fit aborts the run: the test
// itself is wrong.
inline uint32_t AddCd(MemoryDevice& disk, const std::string& artist, const std::string& album,
                      const std::vector<TrackSpec>& tracks) {
  VolumeBuilder builder(&disk);
  int id = 0;
  Result r = builder.Load();
  if (r.ok()) r = builder.AddCd(album, artist, &id);
  for (size_t i = 0; r.ok() && i < tracks.size(); ++i) {
    uint32_t start = 0;
    r = builder.AddTrack(id, tracks[i].title, tracks[i].clusters, &start);
    if (!r.ok()) break;
    builder.track(start).setArtist(tracks[i].artist);
    r = builder.WriteTrack(start);
  }
  if (!r.ok()) {
    std::fprintf(stderr, "AddCd: %s\n", r.message().c_str());
    std::abort();
  }
  return builder.cdSector(id);
}

}  // namespace jukepak::testing
