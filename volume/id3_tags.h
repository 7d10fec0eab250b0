// The two kinds of ID3 tag an MP3 file may carry, as far as the engine reads
// them itself: the 128-byte ID3v1 block at its end, which the player does not
// get, and the length of the ID3v2 tag at its start, which the frame scanner
// steps over. Their texts are read through the TagReader (song_tags.h).
#pragma once

#include <cstdint>
#include <span>

namespace jukepak {

inline constexpr uint32_t kId3v1Size = 128;

// The length in bytes of the ID3v2 tag that `audio` begins with (versions
// 2.2, 2.3 and 2.4: the 10-byte header, the synchsafe size and, when a 2.4
// tag's footer flag is set, the 10-byte footer), or 0 when it begins with no
// well-formed tag or the tag would run past the end of `audio`.
uint64_t Id3v2TagLength(std::span<const uint8_t> audio);

// The same from the first 10 bytes of a file of `file_size` bytes, for
// callers that read only the file's head.
uint64_t Id3v2TagLength(std::span<const uint8_t> head, uint64_t file_size);

}  // namespace jukepak
