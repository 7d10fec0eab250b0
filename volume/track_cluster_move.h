// Moving one cluster of a track to another place on the player. The sync
// does it when a new CD record must go into a cluster that a track uses (the
// CD records grow downward from the end of the audio area into the clusters
// just below them).
//
// The order of the writes keeps every track whole whatever sector a power
// cut stops at: the copy goes to a cluster that is free on the disk; its FAT
// entry is written before anything names it; then the one reference to the
// old cluster (the FAT entry before it, or the track's start in its CD
// record) is repointed in one sector; then the track record's index marks
// that named the old cluster; the old cluster is freed last. Until then it
// still holds the same bytes, so a cut in between leaves at most a cluster
// that no chain reaches (the checker frees it).
#pragma once

#include <cstdint>

#include "base/result.h"
#include "volume/player_volume.h"

namespace jukepak {

// Moves `cluster` of the mounted volume's track that uses it to a free
// cluster below `limit`, on the disk and in the model (the FAT, the track's
// first cluster and cluster list, its CD record and its index marks).
// *moved_to receives the new cluster. Fails with kNoSpace "The player is
// full." when no cluster below `limit` is free, with kCorrupt when the
// cluster is used by no track, by more than one, or is reached other than
// through one chain (left for the checker), and with the driver's result when
// a read or write fails. Worker thread, inside the sync.
Result MoveTrackCluster(PlayerVolume& volume, uint32_t cluster, uint32_t limit,
                        uint32_t* moved_to);

}  // namespace jukepak
