// Putting back what an undo file saved: the old content of every sector an
// operation overwrote, so the drive holds again what it held before.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "undo/undo_store.h"
#include "format/sector_device.h"

namespace jukepak::undo {

// Why an undo wrote nothing.
enum class UndoRefusal {
  kNone,
  kOtherDrive,     // the device's size is not the size of the drive the file was made on
  kVolumeChanged,  // a saved sector no longer holds what the operation left
};

struct UndoReport {
  UndoRefusal refusal = UndoRefusal::kNone;
  uint64_t saved = 0;         // sectors the file holds
  uint64_t changed = 0;       // of those, sectors the volume changed since
  uint32_t firstChanged = 0;  // the first of them
  uint32_t driveSectors = 0;  // the drive the file was made on
  bool unfinished = false;    // the operation was cut: nothing could be compared
  bool alreadyRestored = false;
  bool empty = false;         // the file saved nothing: the operation wrote nothing
  uint64_t restored = 0;      // sectors written back
};

// Puts the old contents saved in `store` back on `device` (open), the last
// saved first. Before that it compares: a sector counts as changed when it
// holds neither what the operation left (the file's digest) nor, once an
// undo has begun, its old content; any changed sector, or a device of
// another size, refuses the undo (report->refusal, nothing written) unless
// `force`. A file whose operation was cut has no digest and restores
// unchecked. The file gets "UNDO", synced, before the first write and
// "REST" after the last, so an undo cut at any point can simply be run
// again. An empty file (an operation cut before its first write) restores
// nothing. Fails with kCorrupt for a file that is not an undo file, or with
// the device's or the store's failure.
Result RestoreUndoFile(SectorDevice& device, UndoStore& store, bool force, UndoReport* report);

}  // namespace jukepak::undo
