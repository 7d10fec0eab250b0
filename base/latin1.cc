#include "base/latin1.h"

#include <cstdint>

namespace jukepak {

std::string Utf8FromLatin1(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size() * 2);
  for (char ch : latin1) {
    const uint8_t byte = uint8_t(ch);
    if (byte < 0x80) {
      out.push_back(char(byte));
    } else {
      out.push_back(char(0xC0 | (byte >> 6)));
      out.push_back(char(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

}  // namespace jukepak
