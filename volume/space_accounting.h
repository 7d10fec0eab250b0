// What the allocator may hand out, and how much room pending songs need.
#pragma once

#include <cstdint>

#include "format/volume_header.h"

namespace jukepak {

// One past the highest cluster a track may use: the lowest of audioClusters,
// kTrackClusterBound (0xFF0000) and, while the volume holds CD records, the
// first cluster that a CD record lies in (cdStart / 16 - audioStart).
uint32_t AllocatableClusterLimit(const VolumeHeader& header);

// The clusters the CD area needs for cd_count records: whole groups of 16,
// as the run ends on a cluster boundary.
inline uint32_t CdAreaClusters(uint32_t cd_count) { return (cd_count + 15) / 16; }

// Kilobytes a pending song of `audio_bytes` takes on the player: its whole
// clusters, counted exactly as the sync allocates them.
uint64_t SongKilobytes(uint64_t audio_bytes);

// Kilobytes the CD area grows by when `new_cds` records join `cd_count`.
uint32_t CdAreaGrowthKilobytes(uint32_t cd_count, uint32_t new_cds);

}  // namespace jukepak
