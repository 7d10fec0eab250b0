// What the user chooses about syncs and additions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "volume/audio_transcoder.h"
#include "volume/job_report.h"
#include "volume/song_tags.h"

namespace jukepak {

struct SyncOptions {
  // A pending song already on the player (same CD, title and artist; for an
  // MP3 the same size) is passed over instead of written a second time.
  bool skipDuplicates = true;
  // The bitrate songs in other formats than MP3 are converted at.
  uint32_t bitrateKbps = kDefaultBitrateKbps;
  // Threads that convert ahead of the writer; 0: one per core.
  unsigned converterThreads = 0;
};

// The libraries songs are read and converted through. Tests hand in their
// own; by default TagLib and FFmpeg with LAME. Not owned.
struct MediaLibraries {
  TagReader* tags = nullptr;
  AudioTranscoder* transcoder = nullptr;
  TagWriter* tagWriter = nullptr;
};
MediaLibraries DefaultMediaLibraries();

inline constexpr char kAlreadyOnPlayer[] = "already on the player: ";

}  // namespace jukepak
