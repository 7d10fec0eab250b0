// Index marks: 5 bytes naming the cluster in which playback of a moment
// begins. Bytes 0-2: the cluster (least significant first). Byte 3: tenths in
// bits 0-3, seconds bits 0-3 in bits 4-7. Byte 4: minutes (0..63) in bits
// 0-5, seconds bits 4-5 in bits 6-7.
#pragma once

#include <cstdint>

namespace jukepak {

struct IndexMark {
  uint32_t cluster = 0;  // 24 bits
  uint32_t minutes = 0;  // stored modulo 64
  uint32_t seconds = 0;  // 0..59
  uint32_t tenths = 0;   // 0..9
};

// The moment t (seconds) as the mark stores it: minutes = whole seconds / 60,
// seconds = the whole rest, tenths = (fraction * 9.5) truncated, which keeps
// them within 0..9.
IndexMark IndexMarkAt(uint32_t cluster, double t);

void EncodeIndexMark(const IndexMark& mark, uint8_t* out);
IndexMark DecodeIndexMark(const uint8_t* in);

// Writes the terminator Songlift uses: cluster value 0xFFFFFE (FE FF FF);
// bytes 3 and 4 are left as they are.
void EncodeIndexTerminator(uint8_t* out);

}  // namespace jukepak
