// MemoryUndoStore: an undo file held in memory, for tests, with a model of
// a power cut: what was synced survives, of what was appended after the last
// sync only a torn prefix may, and nothing reaches it while the power is off.
#pragma once

#include <functional>
#include <vector>

#include "undo/undo_store.h"

namespace jukepak::undo {

class MemoryUndoStore : public UndoStore {
 public:
  // While `power_on` answers false (a device that has lost its power in the
  // same cut), appends and syncs change nothing.
  void SetPowerSource(std::function<bool()> power_on) { power_on_ = std::move(power_on); }
  // The cut: the bytes appended since the last sync are lost, all but the
  // first `torn_bytes` of them.
  void CutPower(size_t torn_bytes = 0);

  Result Append(const uint8_t* data, size_t size) override;
  Result Sync() override;
  uint64_t Size() const override { return bytes_.size(); }
  Result ReadAt(uint64_t offset, size_t size, uint8_t* out) const override;

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint64_t syncs() const { return syncs_; }

 private:
  bool PowerOn() const { return !power_on_ || power_on_(); }

  std::vector<uint8_t> bytes_;
  size_t synced_ = 0;
  uint64_t syncs_ = 0;
  std::function<bool()> power_on_;
};

}  // namespace jukepak::undo
