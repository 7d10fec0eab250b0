// Where the regions of a new volume go on a drive of N sectors, how many
// clusters a track of s audio bytes takes, and which clusters tracks may use
// while CD records take the top of the audio area.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "format/volume_header.h"

namespace jukepak {

struct VolumeLayout {
  uint32_t fatStart = 0;
  uint32_t fatSectors = 0;
  uint32_t audioStart = 0;  // in clusters of 16 sectors
  uint32_t audioClusters = 0;
};

// clusters = (N + 15) / 16; fatStart = 4; fatSectors = (clusters + 127) / 128;
// audioStart = (fatStart + fatSectors + 15) / 16; audioClusters =
// (N - audioStart * 16) / 16. Fails with kInvalidArgument when the drive is
// too small to hold the placeholder track and one cluster more.
Result ComputeLayout(uint32_t sector_count, VolumeLayout* layout);

// The clusters a track of `audio_bytes` takes: (s + 10239) / 8192, so the
// last cluster always keeps at least 1024 spare bytes. 64-bit so that files of
// 4 GB and more do not wrap.
inline uint64_t ClustersForAudio(uint64_t audio_bytes) { return (audio_bytes + 10239) / 8192; }

// One past the highest cluster a track may use: the lowest of audioClusters,
// kTrackClusterBound (0xFF0000) and, while the volume holds CD records, the
// first cluster that a CD record lies in (cdStart / 16 - audioStart).
uint32_t AllocatableClusterLimit(const VolumeHeader& header);

// The clusters the CD area needs for cd_count records: whole groups of 16,
// as the run ends on a cluster boundary.
inline uint32_t CdAreaClusters(uint32_t cd_count) { return (cd_count + 15) / 16; }

}  // namespace jukepak
