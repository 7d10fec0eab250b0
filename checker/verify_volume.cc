// VerifyVolume: the pass driver. Fixed steps in a fixed order, each ending
// with a flush, so with a writer the disk goes from one consistent state to
// the next:
//   1. the FAT: the placeholder's entries 0 -> 1 -> end, and entries that
//      point outside the audio area freed;
//   2. CD records that are copies left by an interrupted move of the run;
//   3. every CD, track record and chain, once, in directory order
//      (directory_checks.cc, chain_checks.cc, crosslinks.cc): a track whose
//      chain can be made whole is kept, the rest removed; clusters claimed
//      by two tracks go to the one that claimed them first;
//   4. copies for tracks that share clusters with a whole track, and moves
//      of clusters from above the mark limit (cluster_copies.cc);
//   5. the CD run closed up over the CDs removed, in one step;
//   6. sizes set to what whole chains hold (track_sizes.cc);
//   7. the clusters in use that no surviving track owns freed, then what is
//      left counted by the linkage rule Songlift's integrity check uses
//      (linkage_faults.h), so a volume called clean is clean for it too;
//   8. how many clusters are in use.
// Nothing learnt is ever invalidated by a later step, so no step restarts
// the pass: a removal forgets the removed track's clusters through its
// listing, and the CD run is closed up once, after the directory.

#include <cinttypes>
#include <unordered_set>

#include "checker/check_engine.h"
#include "format/format_constants.h"
#include "format/linkage_faults.h"

namespace jukepak::checker {

Result CheckEngine::VerifyVolume(VolumeVerdict* verdict) {
  *verdict = VolumeVerdict::kClean;
  if (header_ == nullptr || !cds_attached_ || fat_ == nullptr) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "the header, the CD sectors and the FAT must be attached");
  }
  found_ = false;
  declined_ = false;
  pending_copies_.clear();
  allocation_cursor_ = 2;
  free_budget_ = kNone;
  owners_.Reset(AudioClusters());
  for (uint32_t c = 0; c < 2 && c < AudioClusters(); ++c) {
    owners_.SetOwner(c, kPlaceholderListing, c);
  }
  Result r = SweepFat();
  if (r.ok()) r = RemoveDuplicateCds();
  if (r.ok()) r = CheckDirectory();
  if (r.ok()) r = CopyPendingClusters();
  if (r.ok()) r = CloseUpCdRun();
  if (r.ok()) r = FixTrackSizes();
  if (r.ok()) r = FreeLostClusters();
  if (r.ok()) ReportLinkageFaults();
  if (r.ok()) r = ReportClustersUsed();
  if (!r.ok()) return r;
  *verdict = found_ ? VolumeVerdict::kRepaired : VolumeVerdict::kClean;
  return Result::Ok();
}

Result CheckEngine::SweepFat() {
  const uint32_t clusters = AudioClusters();
  if (clusters >= 2 && (FatEntry(0) != 1 || FatEntry(1) != format::kFatEndOfChain)) {
    ProblemDetails d;
    d.x = FatEntry(0);
    d.y = FatEntry(1);
    if (FixProblem(Problem::kPlaceholderChain, d)) {
      SetFatEntry(0, 1);
      SetFatEntry(1, format::kFatEndOfChain);
    }
  }
  auto out_of_range = [&](uint32_t c) {
    const uint32_t next = FatEntry(c);
    return next >= clusters && next != format::kFatFree && next != format::kFatEndOfChain;
  };
  uint32_t first = 2;
  for (; first < clusters && !out_of_range(first); ++first) {
    Result r = PollEvery(first);
    if (!r.ok()) return r;
  }
  if (first < clusters && FixProblem(Problem::kFatOutOfRange)) {
    for (uint32_t c = first; c < clusters; ++c) {
      if (out_of_range(c)) SetFatEntry(c, format::kFatFree);
      Result r = PollEvery(c);
      if (!r.ok()) return r;
    }
  }
  return FlushChanges();
}

Result CheckEngine::FreeLostClusters() {
  const uint32_t clusters = AudioClusters();
  auto lost = [&](uint32_t c) { return !Owned(c) && FatEntry(c) != format::kFatFree; };
  uint64_t count = 0;
  // Clusters 0 and 1 hold the placeholder track, which no CD lists.
  for (uint32_t c = 2; c < clusters; ++c) {
    if (lost(c)) ++count;
    Result r = PollEvery(c);
    if (!r.ok()) return r;
  }
  if (count == 0) return Result::Ok();
  ProblemDetails d;
  d.first = count * (format::kClusterSize / 1024);
  if (FixProblem(Problem::kLostClusters, d)) {
    for (uint32_t c = 2; c < clusters; ++c) {
      if (lost(c)) SetFatEntry(c, format::kFatFree);
    }
  }
  return FlushChanges();
}

void CheckEngine::ReportLinkageFaults() {
  std::unordered_set<uint32_t> starts;
  for (const CdSlot& cd : cds_) {
    if (cd.removed) continue;
    for (uint32_t id : cd.listings) starts.insert(listings_[id].start);
  }
  const LinkageFaults faults = CountLinkageFaults(
      AudioClusters(), [&](uint32_t c) { return FatEntry(c); },
      [&](uint32_t c) { return starts.count(c) != 0; });
  if (faults.clean()) return;
  ProblemDetails d;
  d.first = faults.nullLinkages;
  d.second = faults.multipleLinkages;
  d.third = faults.freeLinkages;
  FixProblem(Problem::kLinkageFaults, d);
}

Result CheckEngine::ReportClustersUsed() {
  const uint32_t clusters = AudioClusters();
  uint64_t used = 0;
  for (uint32_t c = 0; c < clusters; ++c) {
    if (FatEntry(c) != format::kFatFree) ++used;
  }
  ProblemDetails d;
  d.first = used;
  // 64-bit: used * 1600 overflows 32 bits on large drives.
  d.percent = sectors_ != 0 ? used * 1600 / sectors_ : 0;
  FixProblem(Problem::kClustersUsed, d);
  return FlushChanges();
}

}  // namespace jukepak::checker
