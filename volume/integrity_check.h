// The quick consistency check of the mounted volume: counts the linkage
// errors of the in-memory FAT against the in-memory directory. It reads
// nothing from the disk and changes nothing.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "volume/player_volume.h"

namespace jukepak {

struct IntegrityCounts {
  // Used clusters that no entry leads into and no track starts at (cluster 0,
  // the placeholder's start, excepted).
  uint32_t nullLinkages = 0;
  // Clusters that two or more entries lead into.
  uint32_t multipleLinkages = 0;
  // Free clusters that an entry leads into.
  uint32_t freeLinkages = 0;

  bool clean() const { return nullLinkages == 0 && multipleLinkages == 0 && freeLinkages == 0; }
};

inline constexpr char kIntegrityCaption[] = "Integrity Check";
inline constexpr char kNoIntegrityErrors[] = "No errors were detected in the file system";

// Examines FAT entries 0 .. audioClusters - 1: each entry that names a
// cluster below audioClusters counts as a link into it; then every cluster is
// judged by its entry and the links into it. Fills *counts on success; fails
// with kBusy (and leaves *counts alone) when no FAT is loaded. Front end's
// thread, while no job runs.
Result CheckIntegrity(const PlayerVolume& volume, IntegrityCounts* counts);

// The counts as the message box shows them: kNoIntegrityErrors when clean,
// otherwise "The filesystem has errors: \n" and the three counts, and, with
// `ask_to_fix`, the question "Would you like to fix them now?".
std::string IntegrityMessage(const IntegrityCounts& counts, bool ask_to_fix);

}  // namespace jukepak
