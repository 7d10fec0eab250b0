// The MPEG audio frame scanner: walks the frame headers of a track's audio
// bytes to learn its play time and, for every cluster of the track, the time
// at which the first frame that begins in that cluster starts. The index
// marks of the track record are chosen from these times (index_marks.h).
#pragma once

#include <cstdint>
#include <span>

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
