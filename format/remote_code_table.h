// Entries of the remote-control code table (header sector 1). An entry's four
// bytes are: the code's high byte, its low byte, the player function number
// (1..16 name a function) and one byte nobody interprets. As a 32-bit value,
// byte 0 is the lowest byte.
#pragma once

#include <cstdint>

namespace jukepak {

struct RemoteCodeEntry {
  uint16_t code = 0;     // 0 assigns no code
  uint8_t function = 0;  // 1..16; other values name none
  uint8_t spare = 0;
};

inline RemoteCodeEntry DecodeRemoteEntry(uint32_t entry) {
  RemoteCodeEntry e;
  e.code = uint16_t(((entry & 0xFF) << 8) | ((entry >> 8) & 0xFF));
  e.function = uint8_t(entry >> 16);
  e.spare = uint8_t(entry >> 24);
  return e;
}

inline uint32_t EncodeRemoteEntry(const RemoteCodeEntry& e) {
  return uint32_t(e.code >> 8) | (uint32_t(e.code & 0xFF) << 8) | (uint32_t(e.function) << 16) |
         (uint32_t(e.spare) << 24);
}

// The default table's entry for slot i (0..99): bytes 0x32, i, i + 1, 0, so
// function n starts with code 0x3200 + n - 1.
inline uint32_t DefaultRemoteEntry(uint32_t slot) {
  return EncodeRemoteEntry({uint16_t(0x3200 | (slot & 0xFF)), uint8_t(slot + 1), 0});
}

}  // namespace jukepak
