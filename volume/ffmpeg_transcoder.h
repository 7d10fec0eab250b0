// The AudioTranscoder over FFmpeg's libavformat, libavcodec and
// libswresample (decoding any format they know, resampling to 44.1 kHz
// stereo) and LAME (encoding). Files are opened through FFmpeg's "file"
// protocol only, so a name never reaches the network or another protocol.
// FFmpeg's log lines go to the debug channel.
#pragma once

#include "volume/audio_transcoder.h"

namespace jukepak {

// The process-wide instance; it keeps no state between calls.
AudioTranscoder& FfmpegTranscoder();

}  // namespace jukepak
