#include "volume/header_check.h"

#include <string>

#include "format/cd_run.h"
#include "format/format_constants.h"

namespace jukepak {
namespace {

Result Broken(const std::string& why) { return Result::Error(ResultCode::kCorrupt, why); }

}  // namespace

Result CheckHeaderStructure(const VolumeHeader& h, uint32_t sector_count) {
  const uint64_t n = sector_count;
  const uint64_t fat_start = h.fatStart();
  const uint64_t fat_sectors = h.fatSectors();
  const uint64_t audio_first = uint64_t(h.audioStart()) * format::kSectorsPerCluster;
  const uint64_t audio_end = h.AudioEndSector();
  if (fat_start < format::kFirstFatSector) return Broken("the FAT starts before sector 4");
  if (fat_sectors == 0) return Broken("the FAT has no sectors");
  if (fat_start + fat_sectors > n) return Broken("the FAT claims more sectors than the drive has");
  if (fat_sectors * 2048 > n + 2047) return Broken("the FAT is larger than the drive needs");
  if (fat_sectors * format::kFatEntriesPerSector < h.audioClusters()) {
    return Broken("the FAT is too small for the audio area");
  }
  if (audio_first < fat_start + fat_sectors) return Broken("the audio area overlaps the FAT");
  if (h.audioClusters() < 2) return Broken("the audio area has no room for the placeholder track");
  if (audio_end > n) return Broken("the audio area runs past the end of the drive");
  if (PlaceOfCdRun(h.audioStart(), h.audioClusters(), h.cdStart(), h.cdCount()) ==
      CdRunPlace::kOutsideAudioArea) {
    return Broken("the CD records lie outside the audio area");
  }
  return Result::Ok();
}

}  // namespace jukepak
