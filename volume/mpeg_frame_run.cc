#include "volume/mpeg_frame_run.h"

#include "base/byte_order.h"
#include "volume/mpeg_frame_scanner.h"

namespace jukepak {
namespace {

// Sync, version and layer bits, and the sample-rate index: what stays the
// same from frame to frame of one stream.
constexpr uint32_t kStreamBits = 0xFFFE0C00u;

// The frames chained from `pos`, at most kMpegFrameRun; *to_end tells
// whether the last one ends at or past the end of `bytes`.
uint32_t ChainLength(std::span<const uint8_t> bytes, uint64_t pos, bool* to_end) {
  uint32_t count = 0;
  uint32_t first = 0;
  *to_end = false;
  while (count < kMpegFrameRun) {
    if (pos >= bytes.size()) {
      *to_end = true;
      break;
    }
    if (pos + 4 > bytes.size()) break;
    const uint32_t h = LoadBe32(bytes.data() + pos);
    MpegFrameHeader frame;
    if (!DecodeMpegFrameHeader(h, &frame)) break;
    if (count == 0) first = h;
    if ((h & kStreamBits) != (first & kStreamBits)) break;
    ++count;
    pos += frame.frameLength;
  }
  return count;
}

}  // namespace

bool HasMpegFrameRun(std::span<const uint8_t> bytes, bool reaches_file_end) {
  for (uint64_t pos = 0; pos + 4 <= bytes.size(); ++pos) {
    if (bytes[pos] != 0xFF) continue;
    bool to_end = false;
    const uint32_t chain = ChainLength(bytes, pos, &to_end);
    if (chain >= kMpegFrameRun) return true;
    if (reaches_file_end && to_end && chain >= 2) return true;
  }
  return false;
}

}  // namespace jukepak
