#include "volume/index_marks.h"

#include "volume/format_constants.h"
#include "volume/index_mark.h"

namespace jukepak {

uint32_t IndexMarkCount(double time) {
  if (!(time < 2.0 * format::kMaxIndexMarks)) return format::kMaxIndexMarks;
  if (time < 0) return 0;
  return uint32_t(time) / 2;
}

void PlaceIndexMarks(double time, std::span<const double> cluster_times,
                     std::span<const uint32_t> cluster_list, TrackRecord* record) {
  const size_t clusters =
      cluster_times.size() < cluster_list.size() ? cluster_times.size() : cluster_list.size();
  const uint32_t count = clusters == 0 ? 0 : IndexMarkCount(time);
  size_t m = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const double target = double(i) * time / double(count);
    // Low bitrates can leave the last clusters without a frame start (their
    // time stays 0.0); the search then ends on the last cluster.
    while (target > cluster_times[m] && m + 1 < clusters) ++m;
    EncodeIndexMark(IndexMarkAt(cluster_list[m], cluster_times[m]), record->indexSlot(i));
  }
  EncodeIndexTerminator(record->indexSlot(count));
}

}  // namespace jukepak
