// The two kinds of ID3 tag an MP3 file may carry: the 128-byte ID3v1 block at
// its end, which gives a pending song its title, artist, album and track
// number, and the ID3v2 tag at its start, which the frame scanner steps over.
// Tag texts are 8-bit (Latin-1) and are kept as bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace jukepak {

inline constexpr uint32_t kId3v1Size = 128;

struct Id3v1Tag {
  std::string title;  // Latin-1, trimmed, at most 30 bytes
  std::string artist;
  std::string album;        // may be empty
  int32_t trackNumber = 0;  // byte 126 read as a signed 8-bit value
};

// True when `block` (the last 128 bytes of a file) begins with "TAG"; then
// *tag holds its title (bytes 3-32), artist (33-62) and album (63-92), each
// trimmed, and the ID3v1.1 track byte. *tag is untouched otherwise.
bool ParseId3v1(std::span<const uint8_t, kId3v1Size> block, Id3v1Tag* tag);

// A tag field as text: its bytes up to the first NUL, then cut after the last
// byte that is neither a space nor a NUL. A field of spaces and NULs only
// gives the empty text.
std::string TrimTagField(std::span<const uint8_t> field);

// The length in bytes of the ID3v2 tag that `audio` begins with (versions
// 2.2, 2.3 and 2.4: the 10-byte header, the synchsafe size and, when a 2.4
// tag's footer flag is set, the 10-byte footer), or 0 when it begins with no
// well-formed tag or the tag would run past the end of `audio`.
uint64_t Id3v2TagLength(std::span<const uint8_t> audio);

}  // namespace jukepak
