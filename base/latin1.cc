#include "base/latin1.h"

#include <cstdint>

namespace jukepak {
namespace {

// Length of the UTF-8 sequence that starts with `lead`, 0 when `lead` cannot start one.
int SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::string Latin1FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const uint8_t lead = uint8_t(utf8[i]);
    const int length = SequenceLength(lead);
    bool complete = length > 0 && i + size_t(length) <= utf8.size();
    for (int k = 1; complete && k < length; ++k) {
      complete = (uint8_t(utf8[i + k]) & 0xC0) == 0x80;
    }
    if (!complete) {
      out.push_back('?');
      ++i;
      continue;
    }
    if (length == 1) {
      out.push_back(char(lead));
    } else if (length == 2) {
      const uint32_t cp = (uint32_t(lead & 0x1F) << 6) | (uint8_t(utf8[i + 1]) & 0x3F);
      out.push_back(cp <= 0xFF ? char(cp) : '?');
    } else {
      out.push_back('?');
    }
    i += size_t(length);
  }
  return out;
}

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

std::string VolumeTextFromUtf8(std::string_view utf8, std::size_t limit) {
  std::string text = Latin1FromUtf8(utf8);
  if (text.size() > limit) text.resize(limit);
  return text;
}

}  // namespace jukepak
