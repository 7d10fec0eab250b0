// FNV-1a, 64 bits: a quick hash of a few bytes, for telling records apart
// (never for anything a user or an attacker chooses against).
#pragma once

#include <cstddef>
#include <cstdint>

namespace jukepak {

inline uint64_t Fnv1a(const uint8_t* bytes, size_t count) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  return hash;
}

}  // namespace jukepak
