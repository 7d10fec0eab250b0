// The directory checks of the pass: CD records left twice by an interrupted
// move of the run, then per CD its signature and track count, then per
// track its start cluster, its record's signature and its index marks,
// before its chain is walked (chain_checks.cc). Every finding is raised; a
// damaged CD or track is removed, or, when the choice declines, held: left
// as found with whatever its chains reach kept in use.

#include <cstring>
#include <unordered_map>

#include "base/byte_order.h"
#include "base/fnv1a.h"
#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {

// Closing up the run writes its records from the top down, so a cut leaves
// a record both where it was and where it went, higher up; the lower copy
// is the stale one. Identical records are found through a hash of every
// record, so the step is linear in the run.
Result CheckEngine::RemoveDuplicateCds() {
  const uint32_t count = uint32_t(cds_.size());
  std::unordered_map<uint64_t, uint32_t> highest;
  highest.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (std::memcmp(CdRecordBytes(i), format::kCdSignature, 4) != 0) continue;
    highest[Fnv1a(CdRecordBytes(i), format::kCdRecordSize)] = i;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (std::memcmp(CdRecordBytes(i), format::kCdSignature, 4) != 0) continue;
    const auto it = highest.find(Fnv1a(CdRecordBytes(i), format::kCdRecordSize));
    if (it->second == i ||
        std::memcmp(CdRecordBytes(i), CdRecordBytes(it->second), format::kCdRecordSize) != 0) {
      continue;
    }
    ProblemDetails d;
    d.album = Album(i);
    if (FixProblem(Problem::kCdDuplicate, d)) MarkCdRemoved(i);
  }
  return FlushChanges();
}

Result CheckEngine::CheckDirectory() {
  live_before_ = 0;
  for (scan_cd_ = 0; scan_cd_ < cds_.size(); ++scan_cd_) {
    const uint32_t i = scan_cd_;
    Result r = Poll();
    if (!r.ok()) return r;
    if (cds_[i].removed) continue;
    bool removed = false;
    r = CheckCd(i, &removed);
    if (!r.ok()) return r;
    if (removed) continue;
    for (uint32_t j = 0; !cds_[i].held && j < cds_[i].listings.size();) {
      TrackStep step;
      r = CheckTrack(i, j, &step);
      if (!r.ok()) return r;
      j = j + (step.kept ? 1 : 0) - step.removedBefore;
    }
    if (!cds_[i].removed) ++live_before_;
  }
  scan_cd_ = uint32_t(cds_.size());
  return Result::Ok();
}

Result CheckEngine::CheckCd(uint32_t cd, bool* removed) {
  const uint8_t* record = CdRecordBytes(cd);
  const uint32_t count = record[format::kCdTrackCountOffset];
  ProblemDetails d;
  d.album = Album(cd);
  d.cd = live_before_;
  Problem problem;
  if (std::memcmp(record, format::kCdSignature, 4) != 0) {
    problem = Problem::kCdInvalid;
  } else if (count == 0) {
    problem = Problem::kCdNoTracks;
  } else if (count > format::kMaxTracksPerCd) {
    problem = Problem::kCdTrackCount;
  } else {
    return Result::Ok();
  }
  if (!FixProblem(problem, d)) {
    HoldCd(cd);
    return Result::Ok();
  }
  *removed = true;
  MarkCdRemoved(cd);
  return FlushChanges();
}

Result CheckEngine::CheckTrack(uint32_t cd, uint32_t track, TrackStep* step) {
  const uint32_t id = cds_[cd].listings[track];
  Listing& listing = listings_[id];
  listing.start = StartCluster(cd, track);
  ProblemDetails d = Names(id);
  d.cluster = listing.start;
  Problem problem;
  const uint8_t* record = listing.record;
  if (listing.start >= AudioClusters()) {
    problem = Problem::kTrackStartCluster;
  } else if (record == nullptr || std::memcmp(record, format::kTrackSignature, 4) != 0) {
    problem = Problem::kTrackSignature;
  } else {
    bool ended = false;
    problem = Problem::kTooManyIndexMarks;
    for (uint32_t k = 0; k < format::kIndexMarkSlots && !ended; ++k) {
      const uint8_t* mark = record + format::kIndexMarksOffset + format::kIndexMarkSize * k;
      if (mark[2] == format::kIndexTerminatorByte) {
        ended = true;
      } else if (const uint32_t cluster = LoadLe24(mark); cluster >= AudioClusters()) {
        d.cluster = cluster;
        problem = Problem::kIndexMark;
        break;
      }
    }
    if (ended) return WalkChain(cd, track, step);
  }
  if (!FixProblem(problem, d)) {
    HoldListing(id);
    return Result::Ok();
  }
  return RemoveListing(id, step);
}

}  // namespace jukepak::checker
