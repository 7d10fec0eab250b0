// Crosslinks: a track's chain runs into a cluster that an earlier track
// already owns. Chains are linked lists, so from that cluster on the two
// share the owner's whole tail. What each keeps:
//   - both whole (their chains end where their sizes say, the later one's
//     counted through the shared tail): the owner keeps the tail, the later
//     track gets its own copies of the shared clusters (cluster_copies.cc);
//   - only the owner whole: the later track keeps what it has before the
//     shared cluster when that holds its size, else it is removed;
//   - the owner not whole: it keeps what it has before the shared cluster
//     when that holds its size, else it is removed; a later track that is
//     whole then takes the tail, one that is not is ended or removed too.
// A track declined for removal keeps what it holds, so the other one gives
// way.

#include "checker/chain_length.h"
#include "checker/check_engine.h"

namespace jukepak::checker {

Result CheckEngine::ResolveCrosslink(uint32_t id, uint32_t prefix, uint32_t cluster,
                                     uint32_t owner, TrackStep* step, Walk* walk) {
  *walk = Walk::kKept;
  const uint32_t at = owners_.Position(cluster);
  const Listing& a = listings_[owner];
  const uint64_t tail = uint64_t(a.length) - at;
  const bool owner_whole = a.held || (a.terminated && SizeAgrees(TrackSize(owner), a.length));
  const bool track_whole = a.terminated && SizeAgrees(TrackSize(id), prefix + tail);
  ProblemDetails d = Names(id);
  const ProblemDetails o = Names(owner);
  d.otherAlbum = o.album;
  d.otherTitle = o.title;
  d.cluster = cluster;
  FixProblem(Problem::kCrosslinked, d);
  const std::string reason = AtCluster("is crosslinked at cluster", cluster);
  listings_[id].length = prefix;

  if (owner_whole && track_whole) {
    ProblemDetails c = Names(id);
    c.first = tail;
    c.cluster = cluster;
    if (!FixProblem(Problem::kCloneShared, c)) {
      HoldListing(id);
      return Result::Ok();
    }
    pending_copies_.push_back({id, prefix, true});
    listings_[id].length = uint32_t(prefix + tail);
    listings_[id].terminated = true;
    return Result::Ok();
  }
  if (owner_whole) return EndOrRemove(id, prefix, Problem::kCrosslinkedRemoved, reason, step);

  const bool owner_before = a.cd == listings_[id].cd && TrackIndex(owner) < TrackIndex(id);
  TrackStep owner_step;
  Result r = EndOrRemove(owner, at, Problem::kCrosslinkedRemoved, reason, &owner_step);
  if (!r.ok()) return r;
  if (owner_before && !listings_[owner].alive) ++step->removedBefore;
  if (track_whole && !Owned(cluster)) {
    *walk = Walk::kGoOn;
    return Result::Ok();
  }
  return EndOrRemove(id, prefix, Problem::kCrosslinkedRemoved, reason, step);
}

}  // namespace jukepak::checker
