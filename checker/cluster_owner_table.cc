#include "checker/cluster_owner_table.h"

namespace jukepak::checker {

void ClusterOwnerTable::Reset(uint32_t clusters) { entries_.assign(clusters, Entry{}); }

void ClusterOwnerTable::Release() {
  entries_.clear();
  entries_.shrink_to_fit();
}

}  // namespace jukepak::checker
