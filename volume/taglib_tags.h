// The tag interfaces of song_tags.h over TagLib: ID3v2.2/2.3/2.4 in every
// text encoding, ID3v1, APE, Xiph comments (FLAC, Ogg Vorbis, Opus, Speex),
// MP4 atoms, ASF attributes and the tags of WAV and AIFF files.
//
// An ID3v1 field that holds valid multi-byte UTF-8 (as ffmpeg writes) is read
// as UTF-8, even when the 30-byte field cut its last character in two; any
// other field is Latin-1. TagLib's own diagnostics go to the debug channel.
// No exception leaves these: a failure inside TagLib is a Result.
#pragma once

#include "volume/song_tags.h"

namespace jukepak {

// Process-wide instances; they keep no state between calls.
TagReader& TagLibReader();
TagWriter& TagLibWriter();

}  // namespace jukepak
