#include "volume/song_tags.h"

namespace jukepak {

uint32_t ParseTagNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint32_t value = 0;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (value <= kMaxTagNumber) value = value * 10 + uint32_t(text[i] - '0');
    ++i;
    ++digits;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  const bool ends_well = i == text.size() || text[i] == '/';
  if (digits == 0 || !ends_well || value > kMaxTagNumber) return 0;
  return value;
}

}  // namespace jukepak
