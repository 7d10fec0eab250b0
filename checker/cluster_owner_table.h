// ClusterOwnerTable: which track listing owns each cluster of the audio area
// while a check walks the chains, and at which position of that listing's
// chain the cluster stands (0 = the track's first cluster).
//
// Owners are listing ids handed out by the engine (0 is none); the engine
// decides separately whether a listing is still alive, so removing a track
// forgets its clusters without touching the table. Eight bytes per cluster.
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

  // The listing that owns `cluster`, or 0. Requires cluster < size().
  uint32_t Owner(uint32_t cluster) const { return entries_[cluster].listing; }
  // Its position in the owner's chain. Requires cluster < size().
  uint32_t Position(uint32_t cluster) const { return entries_[cluster].position; }
  void SetOwner(uint32_t cluster, uint32_t listing, uint32_t position) {
    entries_[cluster] = Entry{listing, position};
  }
  void Clear(uint32_t cluster) { entries_[cluster] = Entry{}; }

 private:
  struct Entry {
    uint32_t listing = 0;
    uint32_t position = 0;
  };
  std::vector<Entry> entries_;
};

}  // namespace jukepak::checker
