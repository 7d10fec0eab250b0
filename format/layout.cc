#include "format/layout.h"

#include <algorithm>
#include <string>

#include "format/format_constants.h"

namespace jukepak {

Result ComputeLayout(uint32_t sector_count, VolumeLayout* layout) {
  const uint64_t n = sector_count;
  const uint64_t clusters = (n + 15) / 16;
  VolumeLayout l;
  l.fatStart = format::kFirstFatSector;
  l.fatSectors = uint32_t((clusters + 127) / 128);
  l.audioStart = uint32_t((uint64_t(l.fatStart) + l.fatSectors + 15) / 16);
  const uint64_t audio_first_sector = uint64_t(l.audioStart) * 16;
  // The placeholder takes clusters 0 and 1; a volume needs room for a song too.
  if (n < audio_first_sector + 3 * format::kSectorsPerCluster) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "a drive of " + std::to_string(sector_count) +
                             " sectors is too small for a volume");
  }
  l.audioClusters = uint32_t((n - audio_first_sector) / 16);
  *layout = l;
  return Result::Ok();
}

uint32_t AllocatableClusterLimit(const VolumeHeader& header) {
  uint32_t limit = std::min(header.audioClusters(), format::kTrackClusterBound);
  if (header.cdCount() > 0) {
    const uint64_t cd_cluster = header.cdStart() / format::kSectorsPerCluster;
    const uint64_t first = cd_cluster > header.audioStart() ? cd_cluster - header.audioStart() : 0;
    limit = uint32_t(std::min<uint64_t>(limit, first));
  }
  return limit;
}

}  // namespace jukepak
