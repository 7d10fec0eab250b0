#include "volume/id3_tags.h"

namespace jukepak {
namespace {

constexpr size_t kTitleOffset = 3;
constexpr size_t kArtistOffset = 33;
constexpr size_t kAlbumOffset = 63;
constexpr size_t kFieldWidth = 30;
constexpr size_t kTrackByte = 126;

constexpr size_t kId3v2HeaderSize = 10;
constexpr uint8_t kId3v2FooterFlag = 0x10;

}  // namespace

std::string TrimTagField(std::span<const uint8_t> field) {
  size_t length = 0;
  while (length < field.size() && field[length] != 0) ++length;
  while (length > 0 && field[length - 1] == ' ') --length;
  return std::string(reinterpret_cast<const char*>(field.data()), length);
}

bool ParseId3v1(std::span<const uint8_t, kId3v1Size> block, Id3v1Tag* tag) {
  if (block[0] != 'T' || block[1] != 'A' || block[2] != 'G') return false;
  tag->title = TrimTagField(block.subspan(kTitleOffset, kFieldWidth));
  tag->artist = TrimTagField(block.subspan(kArtistOffset, kFieldWidth));
  tag->album = TrimTagField(block.subspan(kAlbumOffset, kFieldWidth));
  tag->trackNumber = int32_t(int8_t(block[kTrackByte]));
  return true;
}

uint64_t Id3v2TagLength(std::span<const uint8_t> audio) {
  if (audio.size() < kId3v2HeaderSize) return 0;
  const uint8_t* h = audio.data();
  if (h[0] != 'I' || h[1] != 'D' || h[2] != '3') return 0;
  const uint8_t major = h[3];
  if (major < 2 || major > 4 || h[4] == 0xFF) return 0;
  // The size is synchsafe: four 7-bit groups, so no byte may have its top bit.
  if (((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0) return 0;
  uint64_t length = kId3v2HeaderSize + ((uint64_t(h[6]) << 21) | (uint64_t(h[7]) << 14) |
                                        (uint64_t(h[8]) << 7) | uint64_t(h[9]));
  if (major == 4 && (h[5] & kId3v2FooterFlag) != 0) length += kId3v2HeaderSize;
  return length <= audio.size() ? length : 0;
}

}  // namespace jukepak
