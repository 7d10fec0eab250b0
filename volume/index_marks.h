// Choosing a track's index marks: up to 178 (cluster, moment) pairs spread
// evenly over the play time, from the cluster start times the frame scanner
// found (mpeg_frame_scanner.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "format/track_record.h"

namespace jukepak {

// The number of marks for a play time: 178 from 356 seconds on, otherwise
// one for every 2 whole seconds.
uint32_t IndexMarkCount(double time);

// The last chain cluster in which a frame begins: the highest one whose
// start time is above 0 (every frame after the first starts later than
// 0.0), or cluster 0 when none is. `cluster_times` holds at least one entry.
size_t LastClusterWithFrameStart(std::span<const double> cluster_times);

// Writes IndexMarkCount(time) marks and the terminator (FE FF FF) into
// `record` from slot 0 on. Mark i names the first chain cluster whose start
// time is not below i * time / count with that cluster's start time. The
// search never moves back and stops at the last cluster that holds a frame
// start (LastClusterWithFrameStart), so the marks never go back in time and
// never name a cluster without audio. cluster_times and
// cluster_list have one entry per chain cluster (at least one). Bytes 3-4 of
// the terminator slot and the slots after it are left as they are.
void PlaceIndexMarks(double time, std::span<const double> cluster_times,
                     std::span<const uint32_t> cluster_list, TrackRecord* record);

}  // namespace jukepak
