// Choosing a track's index marks: up to 178 (cluster, moment) pairs spread
// evenly over the play time, from the cluster start times the frame scanner
// found (mpeg_frame_scanner.h).
#pragma once

#include <cstdint>
#include <span>

#include "volume/track_record.h"

namespace jukepak {

// The number of marks for a play time: 178 from 356 seconds on, otherwise
// one for every 2 whole seconds.
uint32_t IndexMarkCount(double time);

// Writes IndexMarkCount(time) marks and the terminator (FE FF FF) into
// `record` from slot 0 on. Mark i names the first chain cluster whose start
// time is not below i * time / count (the search never moves back and stops
// at the last cluster) with that cluster's start time. cluster_times and
// cluster_list have one entry per chain cluster (at least one). Bytes 3-4 of
// the terminator slot and the slots after it are left as they are.
void PlaceIndexMarks(double time, std::span<const double> cluster_times,
                     std::span<const uint32_t> cluster_list, TrackRecord* record);

}  // namespace jukepak
