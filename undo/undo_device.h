// UndoDevice: forwards to a device and keeps an undo file of what the
// writes through it overwrite. Before a sector is written for the first
// time, its old content is read from the device, appended to the file and
// synced; only then does the write go out. Finish() then records a digest
// of what the saved sectors hold, so that an undo can tell whether the
// volume still holds what the operation left.
//
// Any operation can be given one: the checker's repair and reinitializing,
// Songlift's initialization. Not thread-safe, like the device it wraps.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "undo/undo_store.h"
#include "format/sector_device.h"

namespace jukepak::undo {

class UndoDevice : public ForwardingDevice {
 public:
  // `store` starts empty; neither it nor `target` is owned. `operation`
  // names what writes ("fsck -y", "init") in the file's header.
  UndoDevice(SectorDevice* target, UndoStore* store, std::string operation);

  // Saves what the write overwrites first, then writes. A failure to read
  // the old content or to save it fails the write, which then never reaches
  // the device.
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

  // Records the digest of the saved sectors as they are now and syncs the
  // file; later writes are refused. Call once the operation has ended,
  // whether it succeeded or not (a file without it still restores, only
  // unchecked). A file that saved nothing is written too, header and digest.
  Result Finish();

  uint64_t savedSectors() const { return order_.size(); }

 private:
  Result WriteHeader();
  Result SaveOldContents(uint32_t sector, uint32_t count);

  UndoStore* store_;
  std::string operation_;
  bool header_written_ = false;
  bool finished_ = false;
  std::unordered_set<uint32_t> saved_;
  std::vector<uint32_t> order_;
};

}  // namespace jukepak::undo
