// How long a track's chain may be for its size. A track of `size` bytes (its
// 1024-byte record and its audio) needs ceil(size / 8192) clusters; Songlift
// gives it ClustersForAudio(size - 1024), which is that or one more. A chain
// between the two agrees with the size; a size below 1024 agrees with none.
#pragma once

#include <algorithm>
#include <cstdint>

#include "format/format_constants.h"
#include "format/layout.h"

namespace jukepak::checker {

inline uint64_t ClustersNeeded(uint32_t size) {
  return (uint64_t(size) + format::kClusterSize - 1) / format::kClusterSize;
}

inline uint64_t ClustersAllocated(uint32_t size) {
  return ClustersForAudio(uint64_t(size) - format::kTrackRecordSize);
}

inline bool SizeAgrees(uint32_t size, uint64_t clusters) {
  return size >= format::kTrackRecordSize && clusters >= ClustersNeeded(size) &&
         clusters <= ClustersAllocated(size);
}

// Whether the first `have` clusters of a chain hold every byte of the size.
inline bool ChainHoldsSize(uint32_t size, uint64_t have) {
  return size >= format::kTrackRecordSize && have >= ClustersNeeded(size);
}

// Where a chain that holds its size is ended: as long as Songlift would have
// made it, or shorter when it broke before.
inline uint32_t KeptLength(uint32_t size, uint32_t have) {
  return uint32_t(std::min<uint64_t>(have, ClustersAllocated(size)));
}

// The longest chain whose bytes a 32-bit size can count.
inline constexpr uint32_t kMostSizedClusters = UINT32_MAX / format::kClusterSize;

}  // namespace jukepak::checker
