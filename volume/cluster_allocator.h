// Cluster allocation in the in-memory FAT. A track takes its clusters in
// ascending order from the volume's next free cluster, wrapping round to the
// lowest free cluster, and never one at or above the allocation limit (the
// audio area's end, or the CD area while the volume holds CDs).
#pragma once

#include <cstdint>
#include <vector>

#include "base/result.h"
#include "format/fat.h"

namespace jukepak {

// Takes `count` free clusters below `limit`: first from *next_free upward,
// then from cluster 0 up to *next_free. On success they form one chain in
// `fat` (each entry names the next, the last is kFatEndOfChain; their FAT
// sectors are dirty), *chain lists them in chain order and *next_free is the
// next free cluster after the last one taken (or `limit` when none is left
// above it). Fails with kNoSpace "The player is full." and changes nothing
// when fewer than `count` clusters are free below the limit. Each cluster
// taken is named on the debug channel.
Result AllocateChain(Fat& fat, uint32_t limit, uint32_t count, uint32_t* next_free,
                     std::vector<uint32_t>* chain);

// Marks every cluster of `chain` free again and lowers *next_free to the
// lowest of them when that is lower. Used to undo a track that was not
// written to the end.
void FreeChain(Fat& fat, const std::vector<uint32_t>& chain, uint32_t* next_free);

}  // namespace jukepak
