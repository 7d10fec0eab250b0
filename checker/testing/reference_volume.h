// ReferenceVolume: a plain, independent reading of a player volume, written
// apart from the checker to judge its repairs: its own field offsets, its
// own FAT walk and its own owner table, nothing shared with the engine but
// the device interface. It knows what a whole track is and what each track's
// chain holds, and nothing about repairing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "format/sector_device.h"

namespace jukepak::checker::testing {

struct ReferenceTrack {
  std::string album;
  std::string title;
  uint32_t cd = 0;      // position in the CD run
  uint32_t index = 0;   // position in its CD record
  uint32_t start = 0;
  uint32_t size = 0;
  // The clusters of its chain as far as they can be followed: it stops
  // before a cluster outside the audio area, in the CD area, of the
  // placeholder or already in this chain.
  std::vector<uint32_t> chain;
  // A whole track: its CD record and its own record are sound, its chain
  // ends in an end-of-chain entry without leaving the clusters a track may
  // use or running into itself, and its length agrees with its size (at
  // least ceil(size / 8192) clusters, at most what Songlift allocates for
  // it). Whether another track shares its clusters does not matter.
  bool whole = false;
  // Some cluster of its chain is also in another listing's chain.
  bool shares = false;
};

struct ReferenceVolume {
  uint32_t sectors = 0;
  uint32_t audioStart = 0;
  uint32_t audioClusters = 0;
  std::vector<ReferenceTrack> tracks;  // in directory order
};

// Reads the volume on `device`. Fails when the device does, or with
// kCorrupt when the header is not a volume header.
Result ReadReference(SectorDevice& device, ReferenceVolume* out);

// The bytes a track's chain holds after its record: every byte of its
// clusters but the first cluster's 1024-byte record, cut to its size when
// `to_size` (and the size is one).
Result ReferenceAudio(SectorDevice& device, const ReferenceVolume& volume,
                      const ReferenceTrack& track, bool to_size, std::vector<uint8_t>* audio);

}  // namespace jukepak::checker::testing
