#include "undo/memory_undo_store.h"

#include <algorithm>
#include <cstring>

namespace jukepak::undo {

void MemoryUndoStore::CutPower(size_t torn_bytes) {
  bytes_.resize(std::min(bytes_.size(), synced_ + torn_bytes));
  synced_ = bytes_.size();
}

Result MemoryUndoStore::Append(const uint8_t* data, size_t size) {
  if (PowerOn()) bytes_.insert(bytes_.end(), data, data + size);
  return Result::Ok();
}

Result MemoryUndoStore::Sync() {
  if (PowerOn()) {
    synced_ = bytes_.size();
    ++syncs_;
  }
  return Result::Ok();
}

Result MemoryUndoStore::ReadAt(uint64_t offset, size_t size, uint8_t* out) const {
  if (offset > bytes_.size() || bytes_.size() - offset < size) {
    return Result::Error(ResultCode::kCorrupt, "the undo file ends early");
  }
  std::memcpy(out, bytes_.data() + offset, size);
  return Result::Ok();
}

}  // namespace jukepak::undo
