// The quick consistency check of the mounted volume: counts the linkage
// errors of the in-memory FAT against the in-memory directory. It reads
// nothing from the disk and changes nothing.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "format/linkage_faults.h"
#include "volume/player_volume.h"

namespace jukepak {

// The three counts of linkage_faults.h.
using IntegrityCounts = LinkageFaults;

inline constexpr char kIntegrityCaption[] = "Integrity Check";
inline constexpr char kNoIntegrityErrors[] = "No errors were detected in the file system";

// Counts the linkage faults (linkage_faults.h) of FAT entries 0 ..
// audioClusters - 1 against the player's tracks. Fills *counts on success; fails
// with kBusy (and leaves *counts alone) when no FAT is loaded. Front end's
// thread, while no job runs.
Result CheckIntegrity(const PlayerVolume& volume, IntegrityCounts* counts);

// The counts as the message box shows them: kNoIntegrityErrors when clean,
// otherwise "The filesystem has errors: \n" and the three counts, and, with
// `ask_to_fix`, the question "Would you like to fix them now?".
std::string IntegrityMessage(const IntegrityCounts& counts, bool ask_to_fix);

}  // namespace jukepak
