#include "volume/id3_tags.h"

namespace jukepak {
namespace {

constexpr size_t kId3v2HeaderSize = 10;
constexpr uint8_t kId3v2FooterFlag = 0x10;

}  // namespace

uint64_t Id3v2TagLength(std::span<const uint8_t> audio) {
  return Id3v2TagLength(audio, audio.size());
}

uint64_t Id3v2TagLength(std::span<const uint8_t> head, uint64_t file_size) {
  if (head.size() < kId3v2HeaderSize) return 0;
  const uint8_t* h = head.data();
  if (h[0] != 'I' || h[1] != 'D' || h[2] != '3') return 0;
  const uint8_t major = h[3];
  if (major < 2 || major > 4 || h[4] == 0xFF) return 0;
  // The size is synchsafe: four 7-bit groups, so no byte may have its top bit.
  if (((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0) return 0;
  uint64_t length = kId3v2HeaderSize + ((uint64_t(h[6]) << 21) | (uint64_t(h[7]) << 14) |
                                        (uint64_t(h[8]) << 7) | uint64_t(h[9]));
  if (major == 4 && (h[5] & kId3v2FooterFlag) != 0) length += kId3v2HeaderSize;
  return length <= file_size ? length : 0;
}

}  // namespace jukepak
