#include "format/cd_run.h"

#include "format/format_constants.h"

namespace jukepak {

CdRunPlace PlaceOfCdRun(uint64_t audio_start, uint64_t audio_clusters, uint64_t cd_start,
                        uint64_t cd_count) {
  if (cd_count == 0) return CdRunPlace::kEmpty;
  const uint64_t audio_first = audio_start * format::kSectorsPerCluster;
  const uint64_t audio_end = (audio_start + audio_clusters) * format::kSectorsPerCluster;
  const uint64_t placeholder_end = audio_first + 2 * format::kSectorsPerCluster;
  if (cd_start < placeholder_end || cd_start + cd_count > audio_end) {
    return CdRunPlace::kOutsideAudioArea;
  }
  return cd_start + cd_count == audio_end ? CdRunPlace::kAtAudioEnd : CdRunPlace::kNotAtAudioEnd;
}

}  // namespace jukepak
