// Where the CD records of a volume may lie. Both programs hold one rule:
// the cdCount records form one run that ends at the end of the audio area,
// (audioStart + audioClusters) * 16, above the placeholder's clusters 0 and
// 1. A new CD goes just below the run, so a run anywhere else would put the
// next record into clusters the allocator hands to tracks.
#pragma once

#include <cstdint>

namespace jukepak {

enum class CdRunPlace {
  kEmpty,             // cdCount is 0
  kAtAudioEnd,        // the sound place
  kOutsideAudioArea,  // reaches past the audio area's end or into clusters 0 and 1
  kNotAtAudioEnd,     // inside the audio area but ending below its end
};

// Judges the run of `cd_count` records from sector `cd_start` in an audio
// area of `audio_clusters` clusters from cluster sector `audio_start` * 16.
// 64-bit, so no header field passes by wrapping round.
CdRunPlace PlaceOfCdRun(uint64_t audio_start, uint64_t audio_clusters, uint64_t cd_start,
                        uint64_t cd_count);

}  // namespace jukepak
