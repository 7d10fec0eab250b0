// Copies of clusters: a track that shares the tail of a whole track's chain
// gets its own copies of the shared clusters (a clone), and a track with
// clusters at or above the mark limit gets them moved below it. Both copy
// the chain from one position to its end into free clusters and point the
// track at the copies.
//
// Order on the disk, so that a cut at any sector leaves every track whole:
// the data goes into the free clusters first; then the copies' own FAT
// entries; then the one entry (or the CD record's start cluster) that links
// them in place of the old clusters; the track record's index marks, which
// name clusters, follow last. Until the link is written the copies are lost
// clusters that the next check frees, and the track still reads its old
// clusters; after it, the old clusters hold the same bytes as the copies.

#include <unordered_map>
#include <vector>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {

Result CheckEngine::CopyPendingClusters() {
  for (size_t i = 0; i < pending_copies_.size(); ++i) {
    Result r = CopyChainTail(pending_copies_[i]);
    if (!r.ok()) return r;
  }
  pending_copies_.clear();
  return Result::Ok();
}

bool CheckEngine::Allocate(uint32_t count, std::vector<uint32_t>* clusters) {
  const uint32_t limit = AllocationLimit();
  auto usable = [&](uint32_t c) { return FatEntry(c) == format::kFatFree && !Owned(c); };
  if (free_budget_ == kNone) {
    free_budget_ = 0;
    for (uint32_t c = allocation_cursor_; c < limit; ++c) free_budget_ += usable(c) ? 1 : 0;
  }
  if (count > free_budget_) return false;
  clusters->clear();
  for (uint32_t c = allocation_cursor_; c < limit && clusters->size() < count; ++c) {
    if (usable(c)) clusters->push_back(c);
  }
  allocation_cursor_ = clusters->empty() ? allocation_cursor_ : clusters->back() + 1;
  free_budget_ -= count;
  return true;
}

Result CheckEngine::CopyClusterData(uint32_t from, uint32_t to, const uint8_t* record) {
  if (writer_ == nullptr) return Result::Ok();
  if (reader_ == nullptr) {
    return Result::Error(ResultCode::kInvalidArgument, "copying clusters needs a sector reader");
  }
  const uint64_t audio_start = HeaderField(format::kAudioStartOffset);
  std::vector<uint8_t> data(format::kClusterSize);
  Result r = reader_->ReadSectors(uint32_t((audio_start + from) * format::kSectorsPerCluster),
                                  format::kSectorsPerCluster, data.data());
  if (!r.ok()) return r;
  if (record != nullptr) std::copy(record, record + format::kTrackRecordSize, data.begin());
  return writer_->WriteSectors(uint32_t((audio_start + to) * format::kSectorsPerCluster),
                               format::kSectorsPerCluster, data.data());
}

Result CheckEngine::CopyChainTail(const PendingCopy& copy) {
  const uint32_t id = copy.listing;
  if (!listings_[id].alive || listings_[id].held) return Result::Ok();
  // The chain as it stands: the cluster before the copied part, then the part.
  uint32_t previous = kNone;
  uint32_t c = listings_[id].start;
  for (uint32_t k = 0; k < copy.position; ++k) {
    previous = c;
    c = FatEntry(c);
  }
  std::vector<uint32_t> old;
  for (uint32_t k = copy.position; k < listings_[id].length && c < AudioClusters(); ++k) {
    old.push_back(c);
    c = FatEntry(c);
  }
  std::vector<uint32_t> fresh;
  if (!Allocate(uint32_t(old.size()), &fresh)) {
    ProblemDetails d = Names(id);
    d.first = old.size();
    FixProblem(Problem::kNoRoomToClone, d);
    if (!copy.clone) return Result::Ok();  // above the mark limit it still plays
    TrackStep step;
    listings_[id].length = copy.position;
    return EndOrRemove(id, copy.position, Problem::kCrosslinkedRemoved,
                       "shares clusters that cannot be copied", &step);
  }

  std::unordered_map<uint32_t, uint32_t> moved;
  for (size_t k = 0; k < old.size(); ++k) moved[old[k]] = fresh[k];
  bool marks_moved = false;
  uint8_t* record = EditableRecord(id);
  for (uint32_t k = 0; k < format::kIndexMarkSlots; ++k) {
    uint8_t* mark = record + format::kIndexMarksOffset + format::kIndexMarkSize * k;
    if (mark[2] == format::kIndexTerminatorByte) break;
    if (auto it = moved.find(LoadLe24(mark)); it != moved.end()) {
      StoreLe24(mark, it->second);
      marks_moved = true;
    }
  }

  for (size_t k = 0; k < old.size(); ++k) {
    Result r = CopyClusterData(old[k], fresh[k], k == 0 && copy.position == 0 ? record : nullptr);
    if (!r.ok()) return r;
    if (k % 64 == 63 && !(r = Poll()).ok()) return r;
  }
  for (size_t k = 0; k < fresh.size(); ++k) {
    SetFatEntry(fresh[k], k + 1 < fresh.size() ? fresh[k + 1] : format::kFatEndOfChain);
  }
  Result r = FlushChanges();
  if (!r.ok()) return r;

  if (copy.position > 0) {
    SetFatEntry(previous, fresh[0]);
  } else {
    const uint32_t cd = listings_[id].cd;
    StoreLe32(CdRecordBytes(cd) + format::kCdStartClustersOffset + 4 * TrackIndex(id), fresh[0]);
    MarkCdDirty(cd);
    listings_[id].start = fresh[0];
  }
  for (size_t k = 0; k < old.size(); ++k) {
    if (owners_.Owner(old[k]) == id) owners_.Clear(old[k]);
    owners_.SetOwner(fresh[k], id, copy.position + uint32_t(k));
  }
  r = FlushChanges();
  if (!r.ok() || copy.position == 0 || !marks_moved) return r;
  dirty_records_[id] |= 3;
  return FlushChanges();
}

}  // namespace jukepak::checker
