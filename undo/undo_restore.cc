#include "undo/undo_restore.h"

#include <cstring>

#include "undo/undo_format.h"

namespace jukepak::undo {
namespace {

// Counts the saved sectors that hold neither what the operation left nor,
// once an undo began, their old content.
Result CountChanged(SectorDevice& device, const UndoStore& store, const UndoFile& file,
                    UndoReport* report) {
  uint8_t now[kUndoSectorSize], old[kUndoSectorSize];
  for (size_t i = 0; i < file.sectors.size(); ++i) {
    Result r = device.Read(file.sectors[i], 1, now);
    if (!r.ok()) return r;
    if (Crc32(now, sizeof now) == file.newCrcs[i]) continue;
    if (file.undoBegun) {
      r = store.ReadAt(file.offsets[i], sizeof old, old);
      if (!r.ok()) return r;
      if (std::memcmp(now, old, sizeof now) == 0) continue;
    }
    if (report->changed++ == 0) report->firstChanged = file.sectors[i];
  }
  return Result::Ok();
}

Result Mark(UndoStore& store, const char tag[4]) {
  const auto marker = EncodeMarker(tag);
  Result r = store.Append(marker.data(), marker.size());
  return r.ok() ? store.Sync() : r;
}

}  // namespace

Result RestoreUndoFile(SectorDevice& device, UndoStore& store, bool force, UndoReport* report) {
  *report = UndoReport{};
  UndoFile file;
  Result r = ReadUndoFile(store, &file);
  if (!r.ok()) return r;
  report->empty = file.empty;
  if (file.empty) return Result::Ok();
  report->saved = file.sectors.size();
  report->driveSectors = file.driveSectors;
  report->unfinished = !file.finished;
  report->alreadyRestored = file.restored;
  uint32_t sectors = 0;
  r = device.QuerySectorCount(&sectors);
  if (!r.ok()) return r;
  if (sectors != file.driveSectors && !force) {
    report->refusal = UndoRefusal::kOtherDrive;
    return Result::Ok();
  }
  if (file.finished) {
    r = CountChanged(device, store, file, report);
    if (!r.ok()) return r;
    if (report->changed != 0 && !force) {
      report->refusal = UndoRefusal::kVolumeChanged;
      return Result::Ok();
    }
  }
  if (!file.undoBegun) {
    r = Mark(store, "UNDO");
    if (!r.ok()) return r;
  }
  uint8_t old[kUndoSectorSize];
  for (size_t i = file.sectors.size(); i-- > 0;) {
    if (file.sectors[i] >= sectors) continue;  // forced onto a smaller drive
    r = store.ReadAt(file.offsets[i], sizeof old, old);
    if (r.ok()) r = device.Write(file.sectors[i], 1, old);
    if (!r.ok()) return r;
    ++report->restored;
  }
  return Mark(store, "REST");
}

}  // namespace jukepak::undo
