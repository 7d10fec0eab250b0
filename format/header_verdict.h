// The verdict on a volume header, shared by both engines: which structural
// rule it breaks first, and whether the fields that can be worked out again
// (the layout from the drive's size, the CD run from the CD records at the
// end of the audio area) give a header that the rest of the volume agrees
// with. The checker reports and mends by this verdict; Songlift's mount
// follows the same verdict, so the two never disagree about a header.
//
// No Qt, no state: plain functions over a header image and a device.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/result.h"
#include "format/format_constants.h"
#include "format/sector_device.h"

namespace jukepak {

// The structural rules of a header, in the order they are applied. Together
// the CD-run rules say: the cdCount records end exactly at the end of the
// audio area, (audioStart + audioClusters) * 16, and lie above the
// placeholder's clusters 0 and 1.
enum class HeaderRule {
  kSound,
  kSignature,            // sector 0 does not begin with "MPFS"
  kAudioStartsTooEarly,  // the audio area starts before a FAT the whole drive would need
  kFatStartsTooEarly,    // fatStart < 4
  kAudioOverlapsFat,     // the audio area starts inside the FAT
  kCdRunOverlapsAudio,   // the CD run reaches past the audio area or into clusters 0 and 1
  kCdRunNotAtEnd,        // the CD run does not end at the end of the audio area
  kAudioAreaMisSized,    // the audio area does not end within the drive's last 16 sectors
  kFatTooSmall,          // the FAT has fewer entries than the audio area has clusters
  kFatTooBig,            // the FAT is larger than the drive can need
};

// The first rule that the 1024-byte `header` breaks on a drive of
// `sector_count` sectors, or kSound. 64-bit arithmetic: no field, however
// large, passes a rule by wrapping around.
HeaderRule FirstBrokenRule(const uint8_t* header, uint32_t sector_count);

enum class HeaderVerdict {
  kSound,         // the header as read is right
  kRebuilt,       // fields were worked out again; the rest of the volume agrees
  kBeyondRepair,  // nothing to rebuild from: only a fresh volume remains
};

// One header field that the verdict sets to another value.
struct RebuiltField {
  const char* name;  // "fatStart", "fatSectors", "audioStart", "audioClusters", "cdStart", "cdCount"
  uint32_t offset;   // its byte offset in the header
  uint32_t was;
  uint32_t now;
};

struct HeaderAssessment {
  HeaderVerdict verdict = HeaderVerdict::kBeyondRepair;
  HeaderRule broken = HeaderRule::kSound;  // the first rule the header as read breaks
  // The header to work with: as read, or with the rebuilt fields set.
  std::array<uint8_t, format::kHeaderSize> header{};
  std::vector<RebuiltField> rebuilt;  // in header order; empty unless kRebuilt
  // The header listed more CD records than the run at the end of the audio
  // area holds (cdStart and cdCount are among the rebuilt fields).
  bool cdRunShortened = false;
  uint32_t cdRunFound = 0;  // CD records found in that run
};

// Judges `header` (1024 bytes, as read from sectors 0 and 1) on `device`,
// whose size is `sector_count` sectors:
// - a header without "MPFS" is beyond repair;
// - a header that breaks another rule gets the layout rule's fatStart,
//   fatSectors, audioStart and audioClusters and a CD run found by reading
//   the records at the end of the rebuilt audio area; it is rebuilt when the
//   rebuilt header keeps every rule and the volume agrees with it (the
//   placeholder's record and its FAT entries 0 -> 1 -> end where the layout
//   puts them; at most 1 in 100 FAT entries out of range or listed start
//   clusters outside the audio area; no CD record that the header as read
//   lists left out, unless it is a copy of one kept), else beyond repair;
// - a sound header whose CD run holds fewer "MPCD" records than cdCount
//   lists (the run ends at the first 16 sectors in a row without one) gets
//   the run's cdStart and cdCount when the volume agrees with them in the
//   same way, and one with no CD gets cdStart 0.
// Reads at most the FAT, the placeholder's record and the CD records found
// plus 16 sectors, in chunks, so a crafted cdCount costs neither time nor
// memory. Fails only when a read fails (kIoError); *out is
// then unchanged.
Result AssessHeader(SectorDevice& device, uint32_t sector_count, const uint8_t* header,
                    HeaderAssessment* out);

}  // namespace jukepak
