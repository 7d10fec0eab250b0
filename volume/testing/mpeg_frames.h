// MPEG audio frames made by hand, for tests: the frame headers are real, the
// payloads a byte that can never start a frame header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jukepak::testing {

// `count` frames of the given header, each `length` bytes long (the caller
// states the length itself).
inline std::vector<uint8_t> Frames(uint32_t header, uint32_t length, size_t count) {
  std::vector<uint8_t> bytes;
  bytes.reserve(length * count);
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(uint8_t(header >> 24));
    bytes.push_back(uint8_t(header >> 16));
    bytes.push_back(uint8_t(header >> 8));
    bytes.push_back(uint8_t(header));
    bytes.insert(bytes.end(), length - 4, 0x11);
  }
  return bytes;
}

}  // namespace jukepak::testing
