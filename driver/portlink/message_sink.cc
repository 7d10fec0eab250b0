#include "driver/portlink/message_sink.h"

#include <cstdio>

#include "base/debug_channel.h"

namespace jukepak::portlink {

void ChannelSink::Debug(const char* text) { DebugPrint("%s", text); }

void ChannelSink::Failure(const char* text) { std::fputs(text, stderr); }

}  // namespace jukepak::portlink
