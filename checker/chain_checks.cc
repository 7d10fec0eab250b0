// The chain checks of the pass: each track's chain is followed through the
// FAT from its start cluster, and every cluster is claimed for the track in
// the owner table. A cluster that an earlier track already owns is a
// crosslink (both tracks go), or, at the start cluster of a track that starts
// at the same cluster, the same track listed twice (only the later listing
// goes); one the track itself owns is a chain that runs into itself. A chain
// must end in an end-of-chain entry and stay out of the CD area and out of
// the placeholder track's clusters 0 and 1.
//
// Every walk is bounded: each step claims a cluster not claimed before or
// stops, so no walk takes more steps than the audio area has clusters.

#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {
namespace {

constexpr uint32_t kPlaceholderClusters = 2;

}  // namespace

bool CheckEngine::Owned(uint32_t cluster) const {
  const uint32_t owner = owners_.Owner(cluster);
  return owner != 0 && listing_alive_[owner] != 0;
}

void CheckEngine::FindListing(uint32_t listing, uint32_t* cd, uint32_t* track) const {
  *cd = cd_position_[listing_cd_[listing]];
  const std::vector<TrackSlot>& tracks = cds_[*cd].tracks;
  *track = 0;
  while (*track < tracks.size() && tracks[*track].listing != listing) ++*track;
}

Result CheckEngine::WalkChain(uint32_t cd, uint32_t track, Cursor* cursor, bool* removed) {
  const uint32_t clusters = AudioClusters();
  const uint32_t cd_area = CdAreaFirstCluster();
  const uint32_t listing = cds_[cd].tracks[track].listing;
  const uint32_t start = StartCluster(cd, track);
  const uint8_t* record = cds_[cd].tracks[track].record;
  uint32_t c = start;
  do {
    if (c < kPlaceholderClusters) {
      Report("[%s]:[%s] runs into the placeholder track at cluster %08x\n", Album(cd).c_str(),
             Title(record).c_str(), c);
      *removed = true;
      return RemoveListing(cd, track, cursor);
    }
    if (c >= cd_area) {
      Report("[%s]:[%s] runs into the CD area at cluster %08x\n", Album(cd).c_str(),
             Title(record).c_str(), c);
      *removed = true;
      return RemoveListing(cd, track, cursor);
    }
    if (Owned(c)) {
      const uint32_t owner = owners_.Owner(c);
      *removed = true;
      if (c == start && owner != listing) {
        uint32_t owner_cd = 0, owner_track = 0;
        FindListing(owner, &owner_cd, &owner_track);
        if (StartCluster(owner_cd, owner_track) == start) {
          Report("[%s]:[%s] is listed twice\n", Album(cd).c_str(), Title(record).c_str());
          return RemoveListing(cd, track, cursor);
        }
      }
      return RemoveCrosslinked(cd, track, owner, c, cursor);
    }
    owners_.SetOwner(c, listing);
    c = FatEntry(c);
  } while (c < clusters);
  if (c != format::kFatEndOfChain) {
    Report("[%s]:[%s] incorrectly terminated\n", Album(cd).c_str(), Title(record).c_str());
    *removed = true;
    return RemoveListing(cd, track, cursor);
  }
  return Result::Ok();
}

Result CheckEngine::RemoveCrosslinked(uint32_t cd, uint32_t track, uint32_t owner, uint32_t cluster,
                                      Cursor* cursor) {
  const uint32_t listing = cds_[cd].tracks[track].listing;
  const uint32_t id = cds_[cd].id;
  uint32_t owner_cd = 0, owner_track = 0;
  FindListing(owner, &owner_cd, &owner_track);
  Report("[%s]:[%s] and [%s]:[%s] are crosslinked at cluster %08x\n", Album(owner_cd).c_str(),
         Title(cds_[owner_cd].tracks[owner_track].record).c_str(), Album(cd).c_str(),
         Title(cds_[cd].tracks[track].record).c_str(), cluster);
  const bool itself = owner == listing;
  // The owner was verified before this track; when it sits in the same CD,
  // one verified track fewer stays in front of the cursor.
  const uint32_t kept = track - (!itself && owner_cd == cd ? 1 : 0);
  Result r = RemoveTrack(cd, track);
  uint32_t shift = 0;
  if (r.ok() && !itself) {
    const uint32_t owner_id = cds_[owner_cd].id;
    r = RemoveTrack(owner_cd, owner_track);
    if (cd_position_[owner_id] == kGone && owner_cd < cd) shift = 1;
  }
  *cursor = Cursor{cd - shift, cd_position_[id] != kGone ? kept : 0, false};
  return r;
}

}  // namespace jukepak::checker
