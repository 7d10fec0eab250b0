// What a file holds, as the pending list sees it when the file is added: MP3
// audio the player plays as it is, audio in another format that the sync
// converts to MP3, or nothing the player can use.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "volume/audio_transcoder.h"

namespace jukepak {

inline constexpr char kNotAnAudioFile[] = "not an audio file";
inline constexpr char kVideoNotAudio[] = "not an audio file (it holds video)";
inline constexpr char kNoSound[] = "holds no sound (its play time is 0 seconds)";

enum class SongFormat { kMp3, kConverted };

struct SongProbe {
  SongFormat format = SongFormat::kMp3;
  // MP3: the bytes the player gets, the file less a trailing ID3v1 block.
  uint64_t audioBytes = 0;
  bool id3v1 = false;  // MP3: the file ends in an ID3v1 block
  // Converted: the source's play time in seconds.
  double seconds = 0;
};

// Looks at the file at `path`. A file named *.mp3, and any file the decoder
// finds to be a plain MP3 stream, must hold a run of MPEG audio frames
// (mpeg_frame_run.h) in its first 256 KB of audio; it stays MP3. Any other
// file the decoder opens as audio with a play time is converted. Fails with
// "Could not open file!" (kNotFound), "Could not read file!" (kIoError), "The
// file is empty!" (kInvalidArgument), "The file is too large for the
// player!" (kLimit, an MP3), or kUnsupported and kNotAnAudioFile,
// kVideoNotAudio or kNoSound; *probe is untouched then.
Result ProbeSong(const std::string& path, AudioTranscoder& transcoder, SongProbe* probe);

// The audio bytes a conversion of `seconds` at `kbps` is expected to give:
// the bitrate's bytes per second and two frames for the encoder's delay and
// its last, padded frame.
uint64_t EstimatedMp3Bytes(double seconds, uint32_t kbps);

}  // namespace jukepak
