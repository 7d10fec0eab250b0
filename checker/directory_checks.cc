// The directory checks of the pass: duplicated CD records, then per CD its
// signature and track count, then per track its start cluster, its record's
// signature and its index marks, before its chain is walked
// (chain_checks.cc). Every finding is reported, the damaged listing is
// removed and the pass restarts.

#include <cstring>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {

Result CheckEngine::RemoveDuplicateCds(Cursor* cursor, bool* removed) {
  const uint32_t count = uint32_t(cds_.size());
  for (uint32_t i = 0; i + 1 < count; ++i) {
    const uint8_t* lower = CdRecordBytes(i);
    if (std::memcmp(lower, format::kCdSignature, 4) != 0) continue;
    if (std::memcmp(lower, CdRecordBytes(i + 1), format::kCdRecordSize) != 0) continue;
    // One record copied by an interrupted move: the lower copy goes.
    Report("CD [%s] has a duplicate record\n", Album(i).c_str());
    // Removing a CD the pass has verified tracks of invalidates what it learnt.
    if (i < cursor->cd || (i == cursor->cd && cursor->track > 0)) cursor->fullRestart = true;
    *removed = true;
    return RemoveCd(i);
  }
  return Result::Ok();
}

Result CheckEngine::CheckDirectory(Cursor* cursor, bool* removed) {
  for (uint32_t i = cursor->cd; i < cds_.size(); ++i) {
    Result r = CheckCd(i, cursor, removed);
    if (!r.ok() || *removed) return r;
    const uint32_t first = i == cursor->cd ? cursor->track : 0;
    for (uint32_t j = first; j < trackCount(i); ++j) {
      r = CheckTrack(i, j, cursor, removed);
      if (!r.ok() || *removed) return r;
    }
  }
  return Result::Ok();
}

Result CheckEngine::CheckCd(uint32_t cd, Cursor* cursor, bool* removed) {
  const uint8_t* record = CdRecordBytes(cd);
  const uint32_t count = record[format::kCdTrackCountOffset];
  if (std::memcmp(record, format::kCdSignature, 4) != 0) {
    Report("CD [%u] is invalid\n", cd);
  } else if (count == 0) {
    Report("CD [%s] has no tracks\n", Album(cd).c_str());
  } else if (count > format::kMaxTracksPerCd) {
    Report("CD [%s] has invalid track count\n", Album(cd).c_str());
  } else {
    return Result::Ok();
  }
  *cursor = Cursor{cd, 0, false};
  *removed = true;
  return RemoveCd(cd);
}

Result CheckEngine::CheckTrack(uint32_t cd, uint32_t track, Cursor* cursor, bool* removed) {
  const uint32_t start = StartCluster(cd, track);
  if (start >= AudioClusters()) {
    Report("CD [%s], Track %u has invalid start cluster %08x\n", Album(cd).c_str(), track + 1,
           start);
    *removed = true;
    return RemoveListing(cd, track, cursor);
  }
  const uint8_t* record = cds_[cd].tracks[track].record;
  if (record == nullptr || std::memcmp(record, format::kTrackSignature, 4) != 0) {
    Report("CD [%s], Track %u has invalid signature\n", Album(cd).c_str(), track + 1);
    *removed = true;
    return RemoveListing(cd, track, cursor);
  }
  bool ended = false;
  for (uint32_t k = 0; k < format::kIndexMarkSlots && !ended; ++k) {
    const uint8_t* mark = record + format::kIndexMarksOffset + format::kIndexMarkSize * k;
    if (mark[2] == format::kIndexTerminatorByte) {
      ended = true;
    } else if (const uint32_t cluster = LoadLe24(mark); cluster >= AudioClusters()) {
      Report("[%s]:[%s] has invalid index mark %08x\n", Album(cd).c_str(), Title(record).c_str(),
             cluster);
      *removed = true;
      return RemoveListing(cd, track, cursor);
    }
  }
  if (!ended) {
    Report("[%s]:[%s] has too many index marks\n", Album(cd).c_str(), Title(record).c_str());
    *removed = true;
    return RemoveListing(cd, track, cursor);
  }
  return WalkChain(cd, track, cursor, removed);
}

Result CheckEngine::RemoveListing(uint32_t cd, uint32_t track, Cursor* cursor) {
  const uint32_t id = cds_[cd].id;
  Result r = RemoveTrack(cd, track);
  // The tracks before this one stay verified; the pass goes on with the one
  // that took its place, or with the CD that took the removed CD's place.
  *cursor = Cursor{cd, cd_position_[id] == cd ? track : 0, false};
  return r;
}

}  // namespace jukepak::checker
