// The volume's texts are 8-bit Latin-1. Text typed by a user or passed on a
// command line arrives as UTF-8; these convert between the two.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jukepak {

// UTF-8 to Latin-1. Characters above U+00FF and malformed sequences become '?'.
std::string Latin1FromUtf8(std::string_view utf8);

// Latin-1 to UTF-8; every byte is a character.
std::string Utf8FromLatin1(std::string_view latin1);

// Latin-1 text as stored in a 48-byte field: converted from UTF-8 and cut to
// `limit` bytes (one byte per character, so no character is ever split).
std::string VolumeTextFromUtf8(std::string_view utf8, std::size_t limit = 47);

}  // namespace jukepak
