#include "volume/integrity_check.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "volume/format_constants.h"

namespace jukepak {
namespace {

bool InUse(uint32_t entry) { return entry != format::kFatFree; }

bool IsLink(uint32_t entry) { return entry != format::kFatFree && entry != format::kFatEndOfChain; }

// How many entries lead into each cluster; 2 stands for two or more.
std::vector<uint8_t> CountLinks(const Fat& fat, uint32_t n) {
  std::vector<uint8_t> refs(n, 0);
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t v = fat.entry(i);
    if (IsLink(v) && v < n && refs[v] < 2) ++refs[v];
  }
  return refs;
}

std::unordered_set<uint32_t> TrackStarts(const VolumeModel& model) {
  std::unordered_set<uint32_t> starts;
  for (const auto& cd : model.playerCds) {
    for (const auto& track : cd->tracks) starts.insert(track->firstCluster);
  }
  return starts;
}

}  // namespace

Result CheckIntegrity(const PlayerVolume& volume, IntegrityCounts* counts) {
  const VolumeModel& model = volume.model();
  if (!model.fat.loaded()) return Result::Error(ResultCode::kBusy, "the volume is not mounted");
  const uint32_t n = std::min(model.header.audioClusters(), model.fat.entryCount());
  const std::vector<uint8_t> refs = CountLinks(model.fat, n);
  // One set instead of a directory scan per cluster; the same question as
  // PlayerVolume::IsTrackStart.
  const std::unordered_set<uint32_t> starts = TrackStarts(model);

  IntegrityCounts found;
  for (uint32_t i = 0; i < n; ++i) {
    if (!InUse(model.fat.entry(i))) {
      if (refs[i] != 0) ++found.freeLinkages;
    } else if (refs[i] == 0) {
      if (i != 0 && starts.count(i) == 0) ++found.nullLinkages;
    } else if (refs[i] > 1) {
      ++found.multipleLinkages;
    }
  }
  *counts = found;
  return Result::Ok();
}

std::string IntegrityMessage(const IntegrityCounts& counts, bool ask_to_fix) {
  if (counts.clean()) return kNoIntegrityErrors;
  char text[256];
  std::snprintf(text, sizeof text,
                "The filesystem has errors: \nNull-Linkages: %u\nMultiple-Linkages:%u\n"
                "Free-Linkages: %u\n",
                counts.nullLinkages, counts.multipleLinkages, counts.freeLinkages);
  std::string message = text;
  if (ask_to_fix) message += "\nWould you like to fix them now?";
  return message;
}

}  // namespace jukepak
