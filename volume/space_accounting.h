// How much room pending songs need on the player (which clusters the
// allocator may hand out is the layout rule, format/layout.h).
#pragma once

#include <cstdint>

#include "format/layout.h"
#include "format/volume_header.h"

namespace jukepak {

// Kilobytes a pending song of `audio_bytes` takes on the player: its whole
// clusters, counted exactly as the sync allocates them.
uint64_t SongKilobytes(uint64_t audio_bytes);

// Kilobytes the CD area grows by when `new_cds` records join `cd_count`.
uint32_t CdAreaGrowthKilobytes(uint32_t cd_count, uint32_t new_cds);

}  // namespace jukepak
