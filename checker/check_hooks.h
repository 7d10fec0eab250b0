// The three hooks through which the check engine meets the outside world:
// where its findings go, how it asks whether to stop, and how its changes
// reach the disk. The front ends (Volmend's window, songlift-cli fsck) and the
// tests each supply their own.
//
// Every hook is called on the thread that runs the engine.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/result.h"

namespace jukepak::checker {

// Receives each finding. The text is 8-bit (Latin-1: album and track titles
// are copied from the volume as they stand) and ends in "\n".
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Message(std::string_view text) = 0;
};

// Asked after every flush that wrote (never in a dry run). Returning true asks
// the engine to stop: the operation in hand then returns kCancelled at once,
// leaving the disk between two complete repair steps.
class PollHook {
 public:
  virtual ~PollHook() = default;
  virtual bool StopRequested() = 0;
};

// Writes count sectors (count * 512 bytes) starting at `sector`, like a
// driver's WriteSectors. A failure is returned as a Result with kIoError.
class SectorWriter {
 public:
  virtual ~SectorWriter() = default;
  virtual Result WriteSectors(uint32_t sector, uint32_t count, const uint8_t* data) = 0;
};

}  // namespace jukepak::checker
