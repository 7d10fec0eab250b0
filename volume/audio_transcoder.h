// How the engine looks into audio files that are not MP3 and turns them into
// MP3 for the player. The real implementation (ffmpeg_transcoder.h) decodes
// with FFmpeg and encodes with LAME; tests may hand the engine their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/result.h"
#include "volume/song_audio.h"

namespace jukepak {

// What the player gets from a conversion: MPEG-1 Layer III at this rate, two
// channels, a constant bitrate.
inline constexpr uint32_t kConvertedSampleRate = 44100;
inline constexpr uint32_t kDefaultBitrateKbps = 192;
// The bitrates a user may choose: MPEG-1 Layer III's from 128 to 320 kbit/s.
inline constexpr uint32_t kConversionBitrates[] = {128, 160, 192, 224, 256, 320};
inline constexpr bool IsConversionBitrate(uint32_t kbps) {
  for (const uint32_t allowed : kConversionBitrates) {
    if (allowed == kbps) return true;
  }
  return false;
}

struct AudioProbe {
  bool audio = false;   // a stream the decoder can turn into sound
  bool video = false;   // a moving-picture stream (cover art does not count)
  bool mp3 = false;     // the file is a plain MPEG audio Layer III stream
  double seconds = 0;   // play time of the audio stream; 0 when it has none
};

class AudioTranscoder {
 public:
  virtual ~AudioTranscoder() = default;

  // Opens the file at `path` and looks at its streams. Ok with probe->audio
  // false when the file is not one the decoder understands or holds no
  // audio; fails only when the file cannot be read. Thread-safe.
  virtual Result Probe(const std::string& path, AudioProbe* probe) = 0;

  // Decodes the audio of `path` and appends it to *mp3 as MPEG-1 Layer III,
  // 44.1 kHz, stereo, `kbps` constant bitrate, without tags. Damaged
  // packets are passed over; a file of which nothing decodes fails. Gives
  // up with kCancelled soon after `stop` turns true. Several conversions may
  // run at once on different threads.
  virtual Result Convert(const std::string& path, uint32_t kbps, const std::atomic<bool>& stop,
                         EncodedAudio* mp3) = 0;
};

}  // namespace jukepak
