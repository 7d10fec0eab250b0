// The repair steps: removing a track listing from a CD record and removing a
// CD record from the run. Neither touches a chain: whatever they orphan is
// freed by the lost-cluster step of the pass.

#include <cstring>

#include "checker/check_engine.h"
#include "format/cd_record.h"
#include "format/format_constants.h"

namespace jukepak::checker {

Result CheckEngine::RemoveTrack(uint32_t cd, uint32_t track) {
  if (!cds_attached_ || cd >= cds_.size()) return FlushChanges();
  uint8_t* record = CdRecordBytes(cd);
  const uint32_t count = record[format::kCdTrackCountOffset];
  CdSlot& slot = cds_[cd];
  if (track >= count || track >= slot.tracks.size()) return FlushChanges();

  // Close the gap in the start-cluster list; the freed last entry is zeroed.
  CdRecord edited;
  std::memcpy(edited.data(), record, format::kCdRecordSize);
  edited.RemoveStartCluster(track, uint32_t(slot.tracks.size()));
  edited.setTrackCount(uint8_t(count - 1));
  std::memcpy(record, edited.data(), format::kCdRecordSize);

  listing_alive_[slot.tracks[track].listing] = 0;
  slot.tracks.erase(slot.tracks.begin() + track);
  slot.dirty = true;
  if (count - 1 == 0) {
    Result r = RemoveCd(cd);
    if (!r.ok()) return r;
  }
  return FlushChanges();
}

Result CheckEngine::RemoveCd(uint32_t cd) {
  if (!cds_attached_ || cd >= cds_.size()) return FlushChanges();
  const uint32_t count = uint32_t(cds_.size());
  // cdStart moves up by one, so every CD before this one lands a sector later.
  for (uint32_t k = 0; k < cd; ++k) cds_[k].dirty = true;
  // The CDs after it move down one place in the image and keep their sectors.
  std::memmove(CdRecordBytes(cd), CdRecordBytes(cd + 1),
               size_t(count - cd - 1) * format::kCdRecordSize);
  for (const TrackSlot& track : cds_[cd].tracks) listing_alive_[track.listing] = 0;
  cd_position_[cds_[cd].id] = kGone;
  cds_.erase(cds_.begin() + cd);
  for (uint32_t k = cd; k < cds_.size(); ++k) cd_position_[cds_[k].id] = k;

  SetHeaderField(format::kCdCountOffset, count - 1);
  SetHeaderField(format::kCdStartOffset, HeaderField(format::kCdStartOffset) + 1);
  header_dirty_ = true;
  return FlushChanges();
}

}  // namespace jukepak::checker
