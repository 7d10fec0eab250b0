// VolumeBuilder: lays out player volumes for tests the way Songlift's
// initialization and sync write them, so that edits, checks and exports can
// be tested over realistic directories: CD records filling the CD area
// downward from the last sector of the audio area, each track's clusters
// taken from the lowest free cluster upward, track records with "MPTK",
// size, title, artist, index marks and terminator, deterministic audio bytes.
//
// Not thread-safe; the device is not owned and must outlive the builder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "format/fat.h"
#include "format/sector_device.h"
#include "format/volume_header.h"
#include "testing/memory_device.h"
#include "volume/player_volume.h"

namespace jukepak::testing {

struct SongContent {
  std::string title;   // Latin-1, as stored
  std::string artist;  // Latin-1
  std::vector<uint8_t> audio;
};

struct CdContent {
  std::string artist;  // Latin-1
  std::string album;   // Latin-1
  std::vector<SongContent> songs;
};

// `bytes` bytes that differ from seed to seed and from cluster to cluster.
std::vector<uint8_t> TestAudio(size_t bytes, uint32_t seed);

class VolumeBuilder {
 public:
  explicit VolumeBuilder(SectorDevice* device) : device_(device) {}

  // An empty volume over the whole device, written by the engine's own
  // initialization.
  Result Format();
  // Writes a new CD as a sync writes a pending CD that matches no player CD:
  // its record goes just below the CD run; per song the chain, the track
  // record and its audio, then the FAT, the CD record and the header. The
  // newest CD is CD 1 of the directory. Fails with kNoSpace when the songs
  // or the record do not fit.
  Result AddCd(const CdContent& cd);
  // Takes a chain of `clusters` clusters that no track owns (a leftover) and
  // returns its first cluster.
  Result AddLeftoverChain(uint32_t clusters, uint32_t* first);
  // Writes FAT entry `cluster` as `value` on the disk (damaged volumes).
  Result SetFatEntry(uint32_t cluster, uint32_t value);

  const VolumeHeader& header() const { return header_; }
  const Fat& fat() const { return fat_; }

 private:
  Result Allocate(uint32_t clusters, std::vector<uint32_t>* chain);
  uint32_t FirstFree(uint32_t from, uint32_t limit) const;
  Result WriteSong(const SongContent& song, const std::vector<uint32_t>& chain);
  Result FlushFat();

  SectorDevice* device_;
  VolumeHeader header_;
  Fat fat_;
  uint32_t next_free_ = 0;
};

// A formatted device holding `cds` in directory order: cds[0] becomes CD 1
// (the CDs are written last first, as each new CD goes below the others).
Result BuildVolume(SectorDevice* device, const std::vector<CdContent>& cds);

// Binds `volume` to `device` (through a ForwardingDevice, so the device stays
// with the caller), reads the header and runs the mount on this thread.
Result MountVolume(PlayerVolume& volume, SectorDevice* device);

// The model as text, for comparing an edited model with a fresh mount:
// header fields, nextFreeCluster, the kilobyte counters, every CD with its
// sector and record, every track with its first cluster and record, and
// every FAT entry that is not free. Records appear as a hash of their bytes
// beside their texts.
std::string DescribeModel(const VolumeModel& model);

// Writes the device's sectors to a new image file at `path`.
Result SaveImage(const MemoryDevice& device, const std::string& path);

}  // namespace jukepak::testing
