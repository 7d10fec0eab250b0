// A driver module with eight of the nine entry points: DebugMsg is missing.
// Its disk is 2048 empty sectors in memory.

#include <cstring>

#include "driver/jukepak_driver.h"

namespace {
unsigned char g_disk[2048 * 512];
}

extern "C" {

JUKEPAK_DRIVER_EXPORT int32_t Open(void) { return 0; }
JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out) {
  *out = 2048;
  return 0;
}
JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer) {
  if (uint64_t(sector) + count > 2048) return 1;
  std::memcpy(g_disk + sector * 512, buffer, count * 512);
  return 0;
}
JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {
  if (uint64_t(sector) + count > 2048) return 1;
  std::memcpy(buffer, g_disk + sector * 512, count * 512);
  return 0;
}
JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code) {
  *code = 0;
  return 0;
}
JUKEPAK_DRIVER_EXPORT int32_t Close(void) { return 0; }
JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void) { return 1; }
JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void) { return "No DebugMsg"; }

}  // extern "C"
