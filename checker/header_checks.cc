// VerifyHeader: the structural checks of the volume header, in a fixed order.
// The first that fails is reported and means the volume must be
// reinitialized.
//
// The CD area is where Songlift puts it: the run of cdCount records ends at
// the end of the audio area, (audioStart + audioClusters) * 16, inside the
// area's last clusters and above the placeholder's clusters 0 and 1.
//
// All arithmetic is 64-bit, so that no header, however large its fields,
// passes a check by wrapping around.

#include <cstring>

#include "checker/check_engine.h"
#include "format/cd_run.h"
#include "format/format_constants.h"

namespace jukepak::checker {
namespace {

struct HeaderFigures {
  uint64_t n, fat_start, fat_sectors, audio_first, audio_end, cd_start, cd_count;
};

}  // namespace

int CheckEngine::VerifyHeader() {
  if (header_ == nullptr) return kHeaderNeedsReinitializing;
  const uint64_t audio_start = HeaderField(format::kAudioStartOffset);
  const HeaderFigures h{sectors_,
                        HeaderField(format::kFatStartOffset),
                        HeaderField(format::kFatSectorsOffset),
                        audio_start * format::kSectorsPerCluster,
                        (audio_start + AudioClusters()) * format::kSectorsPerCluster,
                        HeaderField(format::kCdStartOffset),
                        HeaderField(format::kCdCountOffset)};
  const CdRunPlace cd_run = PlaceOfCdRun(audio_start, AudioClusters(), h.cd_start, h.cd_count);
  const uint64_t need_fat = (h.n / 16 + 127) / 128;  // the FAT the whole drive would need

  const char* failure = nullptr;
  if (std::memcmp(header_, format::kVolumeSignature, 4) != 0) {
    failure = "Invalid header signature\n";
  } else if (h.audio_first < need_fat + h.fat_start) {
    failure = "Audio data starts too early!\n";
  } else if (h.fat_start < format::kFirstFatSector) {
    failure = "FAT starts at sector <4!\n";
  } else if (h.audio_first < h.fat_start + h.fat_sectors) {
    failure = "Audio data overlaps end of FAT!\n";
  } else if (cd_run == CdRunPlace::kOutsideAudioArea) {
    failure = "CD sectors overlap end of audio data!\n";
  } else if (cd_run == CdRunPlace::kNotAtAudioEnd) {
    failure = "CD's don't start at end of drive!\n";
  } else if (h.audio_end > h.n || h.n - h.audio_end >= format::kSectorsPerCluster) {
    failure = "Incorrectly sized audio area\n";
  } else if (h.fat_sectors * format::kFatEntriesPerSector < AudioClusters()) {
    failure = "FAT is too small!\n";
  } else if (h.fat_sectors * 2048 > h.n + 2047) {
    failure = "FAT is too big!\n";
  }
  if (failure == nullptr) return kHeaderSound;
  Report("%s", failure);
  return kHeaderNeedsReinitializing;
}

}  // namespace jukepak::checker
