// The debug channel: diagnostic lines of the engines and the driver modules.
// They go to standard error when JUKEPAK_DEBUG is set in the environment and
// are dropped otherwise, so they never mix with a program's own output.
#pragma once

namespace jukepak {

// True when JUKEPAK_DEBUG is set (read once).
bool DebugChannelEnabled();

// printf-style; the text is written as given (callers end lines with "\n").
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace jukepak
