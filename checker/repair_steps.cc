// The repair steps: removing a track listing from a CD record, removing CD
// records and closing up the run, and holding what a choice declined to
// mend. None of them touches a chain: whatever they orphan is freed by the
// lost-cluster step of the pass.

#include <cstring>

#include "checker/check_engine.h"
#include "format/cd_record.h"
#include "format/format_constants.h"

namespace jukepak::checker {

void CheckEngine::HoldListing(uint32_t listing) {
  Listing& l = listings_[listing];
  l.held = true;
  // Keep in use whatever its chain reaches that nobody else owns, so that no
  // later step frees the clusters of a track the user chose to keep.
  const uint32_t clusters = AudioClusters();
  const uint32_t cd_area = CdAreaFirstCluster();
  uint32_t c = l.start;
  uint32_t pos = 0;
  while (c < clusters && c < cd_area) {
    if (Owned(c)) {
      if (owners_.Owner(c) != listing || owners_.Position(c) != pos) break;
    } else {
      owners_.SetOwner(c, listing, pos);
    }
    ++pos;
    c = FatEntry(c);
  }
  if (pos > l.length) l.length = pos;
}

void CheckEngine::HoldCd(uint32_t cd) {
  cds_[cd].held = true;
  for (uint32_t j = 0; j < cds_[cd].listings.size(); ++j) {
    const uint32_t id = cds_[cd].listings[j];
    listings_[id].start = StartCluster(cd, j);
    HoldListing(id);
  }
}

Result CheckEngine::RemoveListing(uint32_t listing, TrackStep* step) {
  Listing& l = listings_[listing];
  const uint32_t cd = l.cd;
  const uint32_t track = TrackIndex(listing);
  CdSlot& slot = cds_[cd];
  uint8_t* record = CdRecordBytes(cd);
  const uint32_t count = record[format::kCdTrackCountOffset];
  // Close the gap in the start-cluster list; the freed last entry is zeroed.
  CdRecord edited;
  std::memcpy(edited.data(), record, format::kCdRecordSize);
  edited.RemoveStartCluster(track, uint32_t(slot.listings.size()));
  edited.setTrackCount(uint8_t(count - 1));
  std::memcpy(record, edited.data(), format::kCdRecordSize);

  l.alive = false;
  slot.listings.erase(slot.listings.begin() + track);
  MarkCdDirty(cd);
  step->kept = false;
  if (count - 1 == 0) MarkCdRemoved(cd);
  return FlushChanges();
}

void CheckEngine::MarkCdDirty(uint32_t cd) {
  if (cds_[cd].dirty) return;
  cds_[cd].dirty = true;
  dirty_cds_.push_back(cd);
}

void CheckEngine::MarkCdRemoved(uint32_t cd) {
  CdSlot& slot = cds_[cd];
  if (slot.removed) return;
  slot.removed = true;
  slot.dirty = false;
  ++removed_cds_;
  for (uint32_t id : slot.listings) listings_[id].alive = false;
  if (cd < scan_cd_) --live_before_;
}

Result CheckEngine::CloseUpCdRun() {
  if (removed_cds_ == 0) return Result::Ok();
  const uint32_t count = uint32_t(cds_.size());
  const uint32_t survivors = count - removed_cds_;
  // Every CD below a removed one lands as many sectors higher as there are
  // removed CDs above it; the CDs above the highest removed one stay.
  uint32_t removed_above = 0;
  for (uint32_t i = count; i-- > 0;) {
    if (cds_[i].removed) {
      ++removed_above;
    } else if (removed_above > 0) {
      MarkCdDirty(i);
    }
  }
  uint32_t k = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (cds_[i].removed) continue;
    if (k != i) {
      std::memcpy(CdRecordBytes(k), CdRecordBytes(i), format::kCdRecordSize);
      cds_[k] = std::move(cds_[i]);
    }
    for (uint32_t id : cds_[k].listings) listings_[id].cd = k;
    ++k;
  }
  cds_.resize(survivors);
  dirty_cds_.clear();
  for (uint32_t i = 0; i < survivors; ++i) {
    if (cds_[i].dirty) dirty_cds_.push_back(i);
  }
  const uint32_t start = HeaderField(format::kCdStartOffset);
  SetHeaderField(format::kCdCountOffset, survivors);
  // A volume without CDs keeps its CD run at 0.
  SetHeaderField(format::kCdStartOffset, survivors != 0 ? start + removed_cds_ : 0);
  header_dirty_ = true;
  removed_cds_ = 0;
  return FlushChanges();
}

uint8_t* CheckEngine::EditableRecord(uint32_t listing) {
  Listing& l = listings_[listing];
  auto [it, added] = edited_records_.try_emplace(listing);
  if (added) {
    if (l.record != nullptr) std::memcpy(it->second.data(), l.record, format::kTrackRecordSize);
    l.record = it->second.data();
  }
  return it->second.data();
}

Result CheckEngine::RemoveTrack(uint32_t cd, uint32_t track) {
  if (!cds_attached_ || cd >= cds_.size() || cds_[cd].removed ||
      track >= cds_[cd].listings.size()) {
    return FlushChanges();
  }
  TrackStep step;
  Result r = RemoveListing(cds_[cd].listings[track], &step);
  if (!r.ok()) return r;
  return CloseUpCdRun();
}

Result CheckEngine::RemoveCd(uint32_t cd) {
  if (!cds_attached_ || cd >= cds_.size()) return FlushChanges();
  MarkCdRemoved(cd);
  Result r = CloseUpCdRun();
  if (!r.ok()) return r;
  return FlushChanges();
}

}  // namespace jukepak::checker
