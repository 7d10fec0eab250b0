#include "volume/mpeg_frame_scanner.h"

#include "base/byte_order.h"
#include "format/format_constants.h"
#include "volume/id3_tags.h"

namespace jukepak {
namespace {

// Rows of the tables: 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5; -1 for the reserved
// version 01. Indexed by header bits 20-19.
constexpr int kVersionRow[4] = {2, -1, 1, 0};
// Rows of the layers: 0 Layer I, 1 Layer II, 2 Layer III; -1 for the
// reserved layer 00. Indexed by header bits 18-17.
constexpr int kLayerRow[4] = {-1, 2, 1, 0};

// kbit/s by [version row][layer row][bitrate index 0..14]. MPEG-2 and
// MPEG-2.5 share the low-sampling-frequency rows; index 0 (free format) is 0.
constexpr uint16_t kBitrates[3][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

// Hz by [version row][sample-rate index 0..2].
constexpr uint32_t kSampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

}  // namespace

bool DecodeMpegFrameHeader(uint32_t h, MpegFrameHeader* header) {
  if ((h & 0xFFE00000u) != 0xFFE00000u) return false;
  const int version = kVersionRow[(h >> 19) & 3];
  const int layer = kLayerRow[(h >> 17) & 3];
  const uint32_t bitrate_index = (h >> 12) & 0xF;
  const uint32_t rate_index = (h >> 10) & 3;
  if (version < 0 || layer < 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) {
    return false;
  }
  const uint32_t padding = (h >> 9) & 1;
  const uint32_t kbps = kBitrates[version][layer][bitrate_index];
  const uint32_t rate = kSampleRates[version][rate_index];
  header->bitrateKbps = kbps;
  header->sampleRate = rate;
  if (layer == 0) {
    header->samples = 384;
    header->frameLength = (12 * kbps * 1000 / rate + padding) * 4;
  } else if (layer == 2 && version != 0) {
    // Layer III of the low sampling frequencies: one granule per frame.
    header->samples = 576;
    header->frameLength = 72 * kbps * 1000 / rate + padding;
  } else {
    header->samples = 1152;
    header->frameLength = 144 * kbps * 1000 / rate + padding;
  }
  return true;
}

double ScanMpegFrames(std::span<const uint8_t> audio, std::span<double> cluster_times,
                      uint64_t* frames) {
  const uint64_t size = audio.size();
  uint64_t pos = Id3v2TagLength(audio);
  int64_t last_cluster = -1;
  double time = 0.0;
  uint64_t count = 0;
  while (pos + 4 <= size) {
    MpegFrameHeader frame;
    if (!DecodeMpegFrameHeader(LoadBe32(audio.data() + pos), &frame)) {
      ++pos;
      continue;
    }
    const uint64_t cluster = (pos + format::kTrackRecordSize) / format::kClusterSize;
    if (int64_t(cluster) > last_cluster) {
      last_cluster = int64_t(cluster);
      if (cluster < cluster_times.size()) cluster_times[cluster] = time;
    }
    time += double(frame.samples) / double(frame.sampleRate);
    ++count;
    pos += frame.frameLength;
  }
  if (frames != nullptr) *frames = count;
  return time;
}

}  // namespace jukepak
