#include "volume/mpeg_frame_scanner.h"

#include <algorithm>

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

MpegFrameScan::MpegFrameScan(std::span<double> cluster_times, uint64_t audio_size)
    : cluster_times_(cluster_times), audio_size_(audio_size) {}

void MpegFrameScan::Feed(std::span<const uint8_t> piece) {
  const uint64_t base = fed_;
  fed_ += piece.size();
  if (!kept_.empty()) {
    // The bytes kept from the pieces before, joined to the start of this
    // one, for the headers that begin before it.
    const size_t join = std::min(piece.size(), kJoinBytes);
    kept_.insert(kept_.end(), piece.begin(), piece.begin() + join);
    const std::vector<uint8_t> joined = std::move(kept_);
    kept_.clear();
    if (join == piece.size()) {
      ScanBytes(joined, kept_start_, kNoStop);
      Keep(joined, kept_start_);
      return;
    }
    ScanBytes(joined, kept_start_, base);
  }
  ScanBytes(piece, base, kNoStop);
  Keep(piece, base);
}

void MpegFrameScan::ScanBytes(std::span<const uint8_t> bytes, uint64_t offset, uint64_t stop) {
  const uint64_t end = offset + bytes.size();
  if (!tag_checked_) {
    // The tag header is read from the first bytes, which are all here while
    // it has not been checked.
    if (bytes.size() < kId3v2HeaderBytes && end < audio_size_) return;
    pos_ = Id3v2TagLength(bytes, audio_size_);
    tag_checked_ = true;
  }
  while (pos_ < stop && pos_ + 4 <= end) {
    MpegFrameHeader frame;
    if (!DecodeMpegFrameHeader(LoadBe32(bytes.data() + (pos_ - offset)), &frame)) {
      ++pos_;
      continue;
    }
    const uint64_t cluster = (pos_ + format::kTrackRecordSize) / format::kClusterSize;
    if (int64_t(cluster) > last_cluster_) {
      last_cluster_ = int64_t(cluster);
      if (cluster < cluster_times_.size()) cluster_times_[cluster] = time_;
    }
    time_ += double(frame.samples) / double(frame.sampleRate);
    ++frames_;
    pos_ += frame.frameLength;
  }
}

void MpegFrameScan::Keep(std::span<const uint8_t> bytes, uint64_t offset) {
  // Until the tag is checked every byte is kept (fewer than its header's
  // ten). After, the scan has stopped less than four bytes before the end,
  // where a header begins that the next piece completes, or past the end.
  const uint64_t end = offset + bytes.size();
  const uint64_t from = tag_checked_ ? pos_ : offset;
  if (from >= end) return;
  kept_start_ = from;
  kept_.assign(bytes.begin() + ptrdiff_t(from - offset), bytes.end());
}

double ScanMpegFrames(std::span<const uint8_t> audio, std::span<double> cluster_times,
                      uint64_t* frames) {
  MpegFrameScan scan(cluster_times, audio.size());
  scan.Feed(audio);
  if (frames != nullptr) *frames = scan.frames();
  return scan.time();
}

}  // namespace jukepak
