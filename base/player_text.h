// The player's texts are 8-bit Latin-1, 47 characters to a field. Tags, file
// names and what users type arrive as Unicode (UTF-8); these turn them into
// text the player can show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jukepak {

// UTF-8 to the player's 8-bit text. The text is composed first (a letter and
// a combining accent become one character); characters Latin-1 holds are
// kept ("Björk"); others are transliterated into Latin letters ("Кино" gives
// "Kino", "—" gives "-", accents Latin-1 lacks are dropped); what no
// transliteration reaches becomes "?". Control characters become spaces and
// malformed UTF-8 bytes "?". Any thread.
std::string PlayerTextFromUtf8(std::string_view utf8);

// PlayerTextFromUtf8, then cut to `limit` characters (one byte each, so the
// cut never falls inside a character) with the spaces the cut leaves at the
// end removed: the text of a 48-byte field.
std::string PlayerFieldFromUtf8(std::string_view utf8, std::size_t limit = 47);

// For bytes of unknown encoding: the length of `bytes` less an incomplete
// UTF-8 sequence at its very end (a field cut short in the middle of a
// character), when everything before is well-formed UTF-8 (no overlong
// forms, no surrogates); std::string_view::npos when it is not.
std::size_t Utf8LengthCutAtEnd(std::string_view bytes);

}  // namespace jukepak
