#include "base/debug_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace jukepak {

bool DebugChannelEnabled() {
  static const bool enabled = std::getenv("JUKEPAK_DEBUG") != nullptr;
  return enabled;
}

void DebugPrint(const char* format, ...) {
  if (!DebugChannelEnabled()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace jukepak
