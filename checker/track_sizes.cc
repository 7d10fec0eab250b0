// Track sizes: a whole chain (ended in an end-of-chain entry, its own, not
// crosslinked) whose length disagrees with its track's size gets the size of
// what it holds, so that the player and an export read the chain to its
// end and never past it. Judged after every chain is walked, because a
// crosslink decides by the sizes as found.

#include "base/byte_order.h"
#include "checker/chain_length.h"
#include "checker/check_engine.h"

namespace jukepak::checker {

Result CheckEngine::FixTrackSizes() {
  for (uint32_t cd = 0; cd < cds_.size(); ++cd) {
    Result r = Poll();
    if (!r.ok()) return r;
    if (cds_[cd].removed || cds_[cd].held) continue;
    for (uint32_t id : std::vector<uint32_t>(cds_[cd].listings)) {
      const Listing& l = listings_[id];
      if (!l.alive || l.held || !l.terminated) continue;
      const uint32_t size = TrackSize(id);
      if (SizeAgrees(size, l.length)) continue;
      const uint32_t length = std::min(l.length, kMostSizedClusters);
      ProblemDetails d = Names(id);
      d.first = size;
      d.second = l.length;
      d.third = uint64_t(length) * format::kClusterSize;
      if (!FixProblem(Problem::kSizeMismatch, d)) continue;
      // A chain longer than a 32-bit size can count keeps what it can count.
      if (length < l.length && !(r = EndChain(id, length)).ok()) return r;
      StoreLe32(EditableRecord(id) + format::kTrackSizeOffset, length * format::kClusterSize);
      dirty_records_[id] |= 1;
      r = FlushChanges();
      if (!r.ok()) return r;
    }
  }
  return Result::Ok();
}

}  // namespace jukepak::checker
