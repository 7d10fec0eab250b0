// ClusterOwnerTable: which track listing owns each cluster of the audio area
// while a check pass walks the chains.
//
// An entry counts only while it carries the table's current epoch, so a new
// pass forgets every owner with one increment instead of clearing a table as
// large as the drive. Owners are listing ids handed out by the engine (0 is
// none); the engine decides separately whether a listing is still alive.
#pragma once

#include <cstdint>
#include <vector>

namespace jukepak::checker {

class ClusterOwnerTable {
 public:
  // A table for `clusters` clusters, every one unowned.
  void Reset(uint32_t clusters);
  void Release();

  uint32_t size() const { return uint32_t(entries_.size()); }

  // Forgets every owner in O(1) (amortised: the entries are cleared only
  // when the epoch counter wraps).
  void NewEpoch();
  // Forgets every owner by clearing every entry: the cost of a table
  // without epochs, kept for comparison.
  void ClearEveryEntry();

  // The listing that owns `cluster` in this epoch, or 0. Requires cluster < size().
  uint32_t Owner(uint32_t cluster) const {
    const Entry& e = entries_[cluster];
    return e.epoch == epoch_ ? e.listing : 0;
  }
  void SetOwner(uint32_t cluster, uint32_t listing) { entries_[cluster] = Entry{epoch_, listing}; }

 private:
  struct Entry {
    uint32_t epoch = 0;
    uint32_t listing = 0;
  };
  std::vector<Entry> entries_;
  uint32_t epoch_ = 1;
};

}  // namespace jukepak::checker
