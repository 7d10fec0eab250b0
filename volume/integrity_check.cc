#include "volume/integrity_check.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "format/format_constants.h"

namespace jukepak {
namespace {

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
  // One set instead of a directory scan per cluster; the same question as
  // PlayerVolume::IsTrackStart.
  const std::unordered_set<uint32_t> starts = TrackStarts(model);
  const IntegrityCounts found = CountLinkageFaults(
      n, [&](uint32_t c) { return model.fat.entry(c); },
      [&](uint32_t c) { return starts.count(c) != 0; });
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
