// A driver module for the loader's tests. Compile-time switches leave out one
// entry point or make Open fail; every call is noted in the file named by
// JUKEPAK_TEST_CALL_LOG so a test can see which calls reached the module.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/jukepak_driver.h"

namespace {

void Note(const char* name) {
  const char* log = std::getenv("JUKEPAK_TEST_CALL_LOG");
  if (log == nullptr) return;
  if (FILE* file = std::fopen(log, "a")) {
    std::fprintf(file, "%s\n", name);
    std::fclose(file);
  }
}

unsigned char g_disk[64 * 512];

}  // namespace

extern "C" {

#ifndef OMIT_OPEN
JUKEPAK_DRIVER_EXPORT int32_t Open(void) {
  Note("Open");
#ifdef OPEN_RESULT
  return OPEN_RESULT;
#else
  return 0;
#endif
}
#endif

#ifndef OMIT_QUERYNUMSECTORS
JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out) {
  Note("QueryNumSectors");
  *out = sizeof g_disk / 512;
  return 0;
}
#endif

JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer) {
  Note("WriteSectors");
  if (uint64_t(sector) + count > sizeof g_disk / 512) return 1;
  std::memcpy(g_disk + sector * 512, buffer, count * 512);
  return 0;
}

JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {
  Note("ReadSectors");
  if (uint64_t(sector) + count > sizeof g_disk / 512) return 1;
  std::memcpy(buffer, g_disk + sector * 512, count * 512);
  return 0;
}

#ifndef OMIT_DEBUGMSG
JUKEPAK_DRIVER_EXPORT int32_t DebugMsg(const char* text) { return std::printf("[%s]\n", text); }
#endif

#ifndef OMIT_READIR
JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code) {
  Note("ReadIR");
  *code = 0x1234;
  return 0;
}
#endif

JUKEPAK_DRIVER_EXPORT int32_t Close(void) {
  Note("Close");
  return 0;
}

#ifndef OMIT_QUERYVALIDITY
JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void) {
#ifdef VALIDITY_RESULT
  return VALIDITY_RESULT;
#else
  return 1;
#endif
}
#endif

JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void) { return "Test Module"; }

}  // extern "C"
