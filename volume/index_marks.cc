#include "volume/index_marks.h"

#include "format/format_constants.h"
#include "format/index_mark.h"

namespace jukepak {

uint32_t IndexMarkCount(double time) {
  if (!(time < 2.0 * format::kMaxIndexMarks)) return format::kMaxIndexMarks;
  if (time < 0) return 0;
  return uint32_t(time) / 2;
}

// Every frame start after the track's first lies at a time above 0, so a
// later cluster whose time is still 0.0 holds only filler (zero bytes after
// the audio, or the tail of a low-bitrate frame).
size_t LastClusterWithFrameStart(std::span<const double> cluster_times) {
  size_t last = cluster_times.size() - 1;
  while (last > 0 && !(cluster_times[last] > 0.0)) --last;
  return last;
}

void PlaceIndexMarks(double time, std::span<const double> cluster_times,
                     std::span<const uint32_t> cluster_list, TrackRecord* record) {
  const size_t clusters =
      cluster_times.size() < cluster_list.size() ? cluster_times.size() : cluster_list.size();
  const uint32_t count = clusters == 0 ? 0 : IndexMarkCount(time);
  const size_t last = clusters == 0 ? 0 : LastClusterWithFrameStart(cluster_times.first(clusters));
  size_t m = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const double target = double(i) * time / double(count);
    while (target > cluster_times[m] && m < last) ++m;
    EncodeIndexMark(IndexMarkAt(cluster_list[m], cluster_times[m]), record->indexSlot(i));
  }
  EncodeIndexTerminator(record->indexSlot(count));
}

}  // namespace jukepak
