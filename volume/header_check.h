// The structural test a volume header must pass before Songlift mounts it:
// every region it names must lie inside the drive and in the right order, so
// that no later read or write of the mount, the sync or an edit can leave
// the tables it sized from the header.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "format/volume_header.h"

namespace jukepak {

// Fails with kCorrupt and a message naming the first broken rule:
// fatStart >= 4; the FAT inside the drive, covering every cluster, not
// larger than the drive needs, and ending at or before the audio area; the
// audio area inside the drive with room for the placeholder; the CD records
// (when cdCount > 0) a run inside the audio area above the placeholder. A run
// there that does not end at the audio area's end passes: the mount shows
// such a volume read-only (cd_run.h).
Result CheckHeaderStructure(const VolumeHeader& header, uint32_t sector_count);

}  // namespace jukepak
