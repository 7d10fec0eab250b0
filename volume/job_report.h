// What the jobs report besides their status texts: a sync's progress after
// each cluster, its account song by song, and how a job ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/job.h"

namespace jukepak {

// Where a sync stands. Counts start at 1; `cluster` is the number of the
// track's clusters written so far (the first one holds the track record).
struct SyncProgress {
  int cd = 0;  // the pending CD being written, of `cds`
  int cds = 0;
  int track = 0;  // the song of that CD, of `tracks`
  int tracks = 0;
  int song = 0;  // the song of the whole sync, of `songs`
  int songs = 0;
  std::string title;  // UTF-8
  uint32_t cluster = 0;
  uint32_t clusters = 0;
  uint64_t bytesWritten = 0;   // audio of this sync written so far
  uint64_t bytesTotal = 0;     // audio it set out to write (conversions estimated)
  uint32_t freeKilobytes = 0;  // the player's free space as the writes take it
};

// A song the sync could not write, and why.
struct SongFailure {
  std::string path;    // the file on the PC
  std::string reason;  // the engine's message, e.g. "Could not open file!"
};

// How a sync ended, song by song.
struct SyncSummary {
  size_t written = 0;
  // "ARTIST / TITLE" (UTF-8) of each song passed over as a duplicate.
  std::vector<std::string> duplicates;
  std::vector<SongFailure> failed;
  size_t leftPending = 0;  // songs that stayed pending (failed, no room, cancelled)
  bool cancelled = false;
};

struct JobSummary {
  Job job = Job::kMount;
  // What the job returned; for a sync its message lists every failure and
  // says so when it was cancelled ("The sync was cancelled; 3 songs stay
  // pending.").
  Result result;
  SyncSummary sync;  // a sync's account; empty for the other jobs
};

}  // namespace jukepak
