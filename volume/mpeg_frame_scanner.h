// The MPEG audio frame scanner: walks the frame headers of a track's audio
// bytes to learn its play time and, for every cluster of the track, the time
// at which the first frame that begins in that cluster starts. The index
// marks of the track record are chosen from these times (index_marks.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace jukepak {

// The fields of one usable 4-byte frame header.
struct MpegFrameHeader {
  uint32_t bitrateKbps = 0;
  uint32_t sampleRate = 0;   // Hz
  uint32_t samples = 0;      // samples per channel in the frame: 384, 576 or 1152
  uint32_t frameLength = 0;  // bytes, header included
};

// Decodes the header word `h` (the four bytes read most significant first).
// True when it is usable: 11 sync bits, a known version and layer, a bitrate
// index other than 0 (free format) and 15, a sample-rate index other than 3.
// Frame lengths: Layer I (12 * bitrate * 1000 / rate + padding) * 4; Layer II
// and MPEG-1 Layer III 144 * bitrate * 1000 / rate + padding; Layer III of
// MPEG-2 and MPEG-2.5 72 * bitrate * 1000 / rate + padding (576 samples).
bool DecodeMpegFrameHeader(uint32_t h, MpegFrameHeader* header);

// The frame scan over audio that arrives in consecutive pieces (the sync
// reads a file a piece at a time): after the last piece it has found what
// ScanMpegFrames finds over the whole. A header that begins in one piece and
// ends in the next is read whole; only those few bytes are kept between
// pieces. Not thread-safe: one thread feeds it.
class MpegFrameScan {
 public:
  // `cluster_times` (zeroed by the caller, one entry per chain cluster)
  // receives the cluster start times and must outlive the scan;
  // `audio_size` is the length of the whole audio (a leading ID3v2 tag that
  // claims more is no tag).
  MpegFrameScan(std::span<double> cluster_times, uint64_t audio_size);

  // The next bytes of the audio, right after those fed before.
  void Feed(std::span<const uint8_t> piece);

  // The play time and the frames counted so far.
  double time() const { return time_; }
  uint64_t frames() const { return frames_; }

 private:
  static constexpr size_t kId3v2HeaderBytes = 10;
  // Bytes of a new piece joined to those kept, enough for any header that
  // begins before the piece.
  static constexpr size_t kJoinBytes = 16;
  static constexpr uint64_t kNoStop = UINT64_MAX;

  // Scans the headers that begin before `stop` and end within `bytes`,
  // which hold the audio from `offset` on.
  void ScanBytes(std::span<const uint8_t> bytes, uint64_t offset, uint64_t stop);
  // Keeps the bytes from the scan position on that the next piece may need.
  void Keep(std::span<const uint8_t> bytes, uint64_t offset);

  std::span<double> cluster_times_;
  uint64_t audio_size_;
  uint64_t fed_ = 0;  // bytes fed so far
  uint64_t pos_ = 0;  // where the next header may begin
  bool tag_checked_ = false;
  std::vector<uint8_t> kept_;
  uint64_t kept_start_ = 0;
  int64_t last_cluster_ = -1;
  double time_ = 0.0;
  uint64_t frames_ = 0;
};

// Scans `audio` from its first byte, or from the end of a leading ID3v2 tag
// (any version; see Id3v2TagLength), frame by frame; an unusable header moves
// the scan on by one byte. For every frame that begins in chain cluster c
// (byte k of the audio lies in cluster (k + 1024) / 8192, behind the 1024-byte
// track record) and is the first to do so, cluster_times[c] is set to the
// play time before that frame; other entries are left as they are (callers
// pass them zeroed). Frames whose cluster lies past cluster_times are counted
// but not recorded. Returns the total play time in seconds; *frames, when
// given, receives the number of frames counted.
double ScanMpegFrames(std::span<const uint8_t> audio, std::span<double> cluster_times,
                      uint64_t* frames = nullptr);

}  // namespace jukepak
