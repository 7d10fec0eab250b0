// The volume's texts are 8-bit Latin-1. Front ends show them as UTF-8; text
// going the other way goes through player_text.h.
#pragma once

#include <string>
#include <string_view>

namespace jukepak {

// Latin-1 to UTF-8; every byte is a character.
std::string Utf8FromLatin1(std::string_view latin1);

}  // namespace jukepak
