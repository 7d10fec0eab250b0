// The hooks through which the check engine meets the outside world: where
// its findings go, how it asks whether to stop and whether to mend a
// problem, and how its changes reach the disk. The front ends (Volmend's
// window, songlift-cli fsck) and the tests each supply their own.
//
// Every hook is called on the thread that runs the engine.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "checker/problem.h"

namespace jukepak::checker {

// Receives each problem as it is raised, with its text (UTF-8; album and
// track titles converted from the volume's Latin-1).
class FindingSink {
 public:
  virtual ~FindingSink() = default;
  virtual void Found(const Finding& finding) = 0;
};

// Asked between the steps of a check, in a dry run as in a repair: after
// every CD, every stretch of clusters swept and every flush that wrote.
// Returning true asks the engine to stop: the operation in hand returns
// kCancelled at once, leaving the disk between two complete repair steps.
class PollHook {
 public:
  virtual ~PollHook() = default;
  virtual bool StopRequested() = 0;
};

// Asked, when a repair runs in the asking mode, whether to mend a problem
// that has just been reported. True mends it; false leaves it as found
// (what it holds stays in use, so no later step frees it).
class ProblemChoice {
 public:
  virtual ~ProblemChoice() = default;
  virtual bool ShouldFix(const Finding& finding, Remedy remedy) = 0;
};

// Writes count sectors (count * 512 bytes) starting at `sector`, like a
// driver's WriteSectors. A failure is returned as a Result with kIoError.
class SectorWriter {
 public:
  virtual ~SectorWriter() = default;
  virtual Result WriteSectors(uint32_t sector, uint32_t count, const uint8_t* data) = 0;
};

// Reads count sectors into `out`, like a driver's ReadSectors. The repair
// reads through it only to copy clusters (a clone of shared clusters).
class SectorReader {
 public:
  virtual ~SectorReader() = default;
  virtual Result ReadSectors(uint32_t sector, uint32_t count, uint8_t* out) = 0;
};

}  // namespace jukepak::checker
