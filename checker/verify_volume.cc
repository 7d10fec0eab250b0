// VerifyVolume: the pass driver. Fixed steps in a fixed order:
//   1. forget every cluster owner;
//   2. free FAT entries that point outside the audio area, and restore the
//      placeholder track's chain 0 -> 1 -> end;
//   3. drop CD records duplicated by an interrupted move, then check every
//      CD, track record and chain (directory_checks.cc, chain_checks.cc);
//      every removal restarts the pass;
//   4. free the clusters in use that no surviving track owns, then count
//      what is left by the linkage rule Songlift's integrity check uses
//      (linkage_faults.h), so a volume called clean is clean for it too;
//   5. report how many clusters are in use.
// Each step ends with a flush, so with a writer the disk goes from one
// consistent state to the next.
//
// A restart need not repeat what cannot change: removals never touch the
// FAT, so step 2 finds nothing after the first pass, and the tracks verified
// before a removal still own exactly their clusters. Under kResume the pass
// therefore goes on at the removal (cursor), and starts again from the first
// CD only when a removal reached back into what was verified.

#include <cinttypes>
#include <unordered_set>

#include "checker/check_engine.h"
#include "format/format_constants.h"
#include "format/linkage_faults.h"

namespace jukepak::checker {

Result CheckEngine::VerifyVolume(int* verdict) {
  *verdict = kVolumeClean;
  if (header_ == nullptr || !cds_attached_ || fat_ == nullptr) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "the header, the CD sectors and the FAT must be attached");
  }
  int result = kVolumeClean;
  bool swept = false;
  Cursor cursor;
  owners_.NewEpoch();
  for (;;) {
    if (policy_ == RestartPolicy::kFromScratch) {
      owners_.ClearEveryEntry();
      cursor = Cursor{};
      swept = false;
    } else if (cursor.fullRestart) {
      owners_.NewEpoch();
      cursor = Cursor{};
    }
    if (!swept) {
      if (SweepFatRange()) result = kVolumeRepaired;
      if (RestorePlaceholderChain()) result = kVolumeRepaired;
      swept = true;
    }
    Result r = FlushChanges();
    if (!r.ok()) return r;

    bool removed = false;
    r = RemoveDuplicateCds(&cursor, &removed);
    if (r.ok() && !removed) r = CheckDirectory(&cursor, &removed);
    if (!r.ok()) return r;
    if (!removed) break;
    result = kVolumeRepaired;
  }
  Result r = FreeLostClusters(&result);
  if (r.ok()) ReportLinkageFaults(&result);
  if (r.ok()) r = ReportClustersUsed();
  if (!r.ok()) return r;
  *verdict = result;
  return Result::Ok();
}

bool CheckEngine::SweepFatRange() {
  const uint32_t clusters = AudioClusters();
  bool found = false;
  for (uint32_t c = 0; c < clusters; ++c) {
    const uint32_t next = FatEntry(c);
    if (next >= clusters && next != format::kFatFree && next != format::kFatEndOfChain) {
      SetFatEntry(c, format::kFatFree);
      found = true;
    }
  }
  if (found) Report("Found out-of-range FAT entries\n");
  return found;
}

bool CheckEngine::RestorePlaceholderChain() {
  if (FatEntry(0) == 1 && FatEntry(1) == format::kFatEndOfChain) return false;
  SetFatEntry(0, 1);
  SetFatEntry(1, format::kFatEndOfChain);
  Report("Placeholder track's chain repaired\n");
  return true;
}

void CheckEngine::ReportLinkageFaults(int* result) {
  std::unordered_set<uint32_t> starts;
  for (uint32_t cd = 0; cd < cds_.size(); ++cd) {
    for (uint32_t track = 0; track < cds_[cd].tracks.size(); ++track) {
      starts.insert(StartCluster(cd, track));
    }
  }
  const LinkageFaults faults = CountLinkageFaults(
      AudioClusters(), [&](uint32_t c) { return FatEntry(c); },
      [&](uint32_t c) { return starts.count(c) != 0; });
  if (faults.clean()) return;
  Report("Linkage errors remain: %u null, %u multiple, %u free\n", faults.nullLinkages,
         faults.multipleLinkages, faults.freeLinkages);
  *result = kVolumeRepaired;
}

Result CheckEngine::FreeLostClusters(int* result) {
  const uint32_t clusters = AudioClusters();
  uint64_t lost = 0;
  // Clusters 0 and 1 hold the placeholder track, which no CD lists.
  for (uint32_t c = 2; c < clusters; ++c) {
    if (!Owned(c) && FatEntry(c) != format::kFatFree) {
      SetFatEntry(c, format::kFatFree);
      ++lost;
    }
  }
  if (lost > 0) {
    Report("%" PRIu64 "KB in damaged files/lost chains\n", lost * (format::kClusterSize / 1024));
    *result = kVolumeRepaired;
  }
  return FlushChanges();
}

Result CheckEngine::ReportClustersUsed() {
  const uint32_t clusters = AudioClusters();
  uint64_t used = 0;
  for (uint32_t c = 0; c < clusters; ++c) {
    if (FatEntry(c) != format::kFatFree) ++used;
  }
  // 64-bit: used * 1600 overflows 32 bits on large drives.
  const uint64_t percent = sectors_ != 0 ? used * 1600 / sectors_ : 0;
  Report("Clusters used: %" PRIu64 " - %%%02" PRIu64 " of drive\n", used, percent);
  return FlushChanges();
}

}  // namespace jukepak::checker
