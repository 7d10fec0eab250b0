#include "checker/cluster_owner_table.h"

#include <algorithm>

namespace jukepak::checker {

void ClusterOwnerTable::Reset(uint32_t clusters) {
  entries_.assign(clusters, Entry{});
  epoch_ = 1;
}

void ClusterOwnerTable::Release() {
  entries_.clear();
  entries_.shrink_to_fit();
  epoch_ = 1;
}

void ClusterOwnerTable::NewEpoch() {
  if (epoch_ == UINT32_MAX) {
    ClearEveryEntry();
    return;
  }
  ++epoch_;
}

void ClusterOwnerTable::ClearEveryEntry() {
  std::fill(entries_.begin(), entries_.end(), Entry{});
  epoch_ = 1;
}

}  // namespace jukepak::checker
