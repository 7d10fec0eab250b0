// The chain checks of the pass: each track's chain is followed through the
// FAT from its start cluster, and every cluster is claimed for the track in
// the owner table with its position in the chain. A chain must end in an
// end-of-chain entry, stay out of the CD area and out of the placeholder's
// clusters 0 and 1, and not run into itself; a cluster another track owns is
// a crosslink (crosslinks.cc), or, at the start of a track that starts at the
// same cluster, the same track listed twice (the later listing goes).
//
// A chain that breaks after it already holds every byte its size says is
// ended there and the track kept; one that breaks before is removed. Whether
// a whole chain's length agrees with the size is judged at the end of the
// pass (track_sizes.cc), once crosslinks have had their say.
//
// Every walk is bounded: each step claims a cluster not claimed before or
// stops, so no walk takes more steps than the audio area has clusters.

#include <cinttypes>
#include <cstdio>

#include "checker/check_engine.h"
#include "checker/chain_length.h"
#include "format/format_constants.h"

namespace jukepak::checker {
std::string CheckEngine::AtCluster(const char* what, uint32_t cluster) {
  char text[96];
  std::snprintf(text, sizeof text, "%s %08" PRIx32, what, cluster);
  return text;
}

bool CheckEngine::Owned(uint32_t cluster) const {
  const uint32_t owner = owners_.Owner(cluster);
  return owner != kNoListing && listings_[owner].alive;
}

Result CheckEngine::WalkChain(uint32_t cd, uint32_t track, TrackStep* step) {
  const uint32_t id = cds_[cd].listings[track];
  const uint32_t clusters = AudioClusters();
  const uint32_t cd_area = CdAreaFirstCluster();
  uint32_t c = listings_[id].start;
  uint32_t pos = 0;
  uint32_t high = kNone;  // the first position at or above the mark limit
  while (c < clusters) {
    if (c >= cd_area) {
      return ChainFailure(id, pos, Problem::kChainIntoCdArea, AtCluster("runs into the CD area at cluster", c),
                          step);
    }
    const uint32_t owner = Owned(c) ? owners_.Owner(c) : kNoListing;
    if (owner == kPlaceholderListing) {
      return ChainFailure(id, pos, Problem::kChainIntoPlaceholder,
                          AtCluster("runs into the placeholder track at cluster", c), step);
    }
    if (owner == id) {
      ProblemDetails d = Names(id);
      d.otherAlbum = d.album;
      d.otherTitle = d.title;
      d.cluster = c;
      FixProblem(Problem::kCrosslinked, d);
      return ChainFailure(id, pos, Problem::kCrosslinkedRemoved, AtCluster("runs into itself at cluster", c),
                         step);
    }
    if (owner != kNoListing) {
      if (pos == 0 && listings_[owner].start == c) {
        if (!FixProblem(Problem::kListedTwice, Names(id))) {
          HoldListing(id);
          return Result::Ok();
        }
        return RemoveListing(id, step);
      }
      Walk walk = Walk::kKept;
      Result r = ResolveCrosslink(id, pos, c, owner, step, &walk);
      if (!r.ok() || walk != Walk::kGoOn) return r;
      continue;  // the owner gave the cluster up: claim it
    }
    if (c >= format::kTrackClusterBound && high == kNone) high = pos;
    owners_.SetOwner(c, id, pos++);
    c = FatEntry(c);
  }
  listings_[id].length = pos;
  if (c != format::kFatEndOfChain) {
    return ChainFailure(id, pos, Problem::kChainUnterminated, "incorrectly terminated", step);
  }
  listings_[id].terminated = true;
  if (high != kNone) {
    ProblemDetails d = Names(id);
    uint32_t at = listings_[id].start;
    for (uint32_t k = 0; k < high; ++k) at = FatEntry(at);
    d.cluster = at;
    if (FixProblem(Problem::kClusterAboveMarkLimit, d)) {
      pending_copies_.push_back({id, high, false});
    }
  }
  return Result::Ok();
}

Result CheckEngine::ChainFailure(uint32_t listing, uint32_t have, Problem removal,
                                 const std::string& reason, TrackStep* step) {
  listings_[listing].length = have;
  return EndOrRemove(listing, have, removal, reason, step);
}

Result CheckEngine::EndOrRemove(uint32_t listing, uint32_t have, Problem removal,
                                const std::string& reason, TrackStep* step) {
  const uint32_t size = TrackSize(listing);
  if (ChainHoldsSize(size, have)) {
    const uint32_t keep = KeptLength(size, have);
    ProblemDetails d = Names(listing);
    d.note = reason;
    d.cluster = listings_[listing].start;
    for (uint32_t k = 1; k < keep; ++k) d.cluster = FatEntry(d.cluster);
    if (!FixProblem(Problem::kChainEndedAtSize, d)) {
      HoldListing(listing);
      return Result::Ok();
    }
    return EndChain(listing, keep);
  }
  if (!FixProblem(removal, Names(listing))) {
    HoldListing(listing);
    return Result::Ok();
  }
  return RemoveListing(listing, step);
}

Result CheckEngine::EndChain(uint32_t listing, uint32_t length) {
  Listing& l = listings_[listing];
  const uint32_t clusters = AudioClusters();
  uint32_t last = l.start;
  for (uint32_t k = 1; k < length; ++k) last = FatEntry(last);
  uint32_t c = FatEntry(last);
  SetFatEntry(last, format::kFatEndOfChain);
  // What the walk claimed past the new end is no longer this track's.
  for (uint32_t k = length; k < l.length && c < clusters; ++k) {
    if (owners_.Owner(c) == listing && owners_.Position(c) == k) owners_.Clear(c);
    c = FatEntry(c);
  }
  l.length = length;
  l.terminated = true;
  return FlushChanges();
}

}  // namespace jukepak::checker
