// Telling MP3 audio from other bytes: a file holds MPEG audio when its frame
// headers follow one another, each where the one before ends, with the same
// version, layer and sample rate. A text file or random bytes may hold a
// lone header-like word, but almost never a run of them.
#pragma once

#include <cstdint>
#include <span>

namespace jukepak {

// Consecutive frames that make a run.
inline constexpr uint32_t kMpegFrameRun = 4;

// True when a run of kMpegFrameRun frames begins somewhere in `bytes`; or,
// when `bytes` reach the end of the file, a shorter chain of at least two
// frames runs to that end (a song of a few frames). The run may reach past
// the end of `bytes` only with its last frame.
bool HasMpegFrameRun(std::span<const uint8_t> bytes, bool reaches_file_end);

}  // namespace jukepak
