// What counts as a linkage fault of the FAT, defined once for Songlift's
// integrity check and Volmend's check, so that a volume the checker calls
// clean is clean for the integrity check too.
//
// Over the entries of clusters 0 .. clusters - 1 (an entry naming a cluster
// at or above that bound links nowhere):
// - a null linkage is a used cluster that no entry leads into and no chain
//   starts at; chains start at the tracks' first clusters and at cluster 0,
//   the placeholder track's;
// - a multiple linkage is a cluster that two or more entries lead into,
//   among them a track chain that runs into the placeholder's cluster 1;
// - a free linkage is a free cluster that an entry leads into.
#pragma once

#include <cstdint>
#include <vector>

#include "format/format_constants.h"

namespace jukepak {

struct LinkageFaults {
  uint32_t nullLinkages = 0;
  uint32_t multipleLinkages = 0;
  uint32_t freeLinkages = 0;

  bool clean() const { return nullLinkages == 0 && multipleLinkages == 0 && freeLinkages == 0; }
};

// `entry(c)` gives FAT entry c and `is_track_start(c)` whether a track's
// chain starts at c, for every c below `clusters`. Linear in `clusters`.
template <typename EntryOf, typename IsTrackStart>
LinkageFaults CountLinkageFaults(uint32_t clusters, EntryOf entry, IsTrackStart is_track_start) {
  std::vector<uint8_t> links(clusters, 0);  // 2 stands for two or more
  for (uint32_t c = 0; c < clusters; ++c) {
    const uint32_t next = entry(c);
    const bool link = next != format::kFatFree && next != format::kFatEndOfChain;
    if (link && next < clusters && links[next] < 2) ++links[next];
  }
  LinkageFaults found;
  for (uint32_t c = 0; c < clusters; ++c) {
    if (entry(c) == format::kFatFree) {
      if (links[c] != 0) ++found.freeLinkages;
    } else if (links[c] == 0) {
      if (c != 0 && !is_track_start(c)) ++found.nullLinkages;
    } else if (links[c] > 1) {
      ++found.multipleLinkages;
    }
  }
  return found;
}

}  // namespace jukepak
