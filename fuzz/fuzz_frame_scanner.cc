// The frame scanner, the frame-run test and the index marks over arbitrary
// bytes: no crash, no read outside the input, and marks that name only
// clusters of the chain.

#include <cstdlib>
#include <span>
#include <vector>

#include "format/format_constants.h"
#include "format/track_record.h"
#include "volume/index_marks.h"
#include "volume/mpeg_frame_run.h"
#include "volume/mpeg_frame_scanner.h"

using namespace jukepak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> audio(data, data + size);  // exact bounds for the sanitizers
  const size_t clusters = (size + 1024) / format::kClusterSize + 1;
  std::vector<double> times(clusters, 0.0);
  uint64_t frames = 0;
  const double total = ScanMpegFrames(std::span<const uint8_t>(audio), times, &frames);
  if (!(total >= 0.0)) std::abort();
  if (frames == 0 && total != 0.0) std::abort();
  std::vector<uint32_t> chain(clusters);
  for (size_t i = 0; i < clusters; ++i) chain[i] = uint32_t(100 + i);
  TrackRecord record;
  PlaceIndexMarks(total, times, chain, &record);
  (void)HasMpegFrameRun(audio, size % 2 == 0);
  return 0;
}
