#include "volume/track_cluster_move.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "format/format_constants.h"
#include "format/index_mark.h"
#include "volume/cluster_allocator.h"

namespace jukepak {
namespace {

constexpr uint32_t kNoCluster = 0xFFFFFFFFu;

// The track that uses a cluster, and what leads into the cluster.
struct ClusterUser {
  CdNode* cd = nullptr;
  uint32_t slot = 0;
  TrackNode* track = nullptr;
  uint32_t previous = kNoCluster;  // the chain's cluster before it; none for the first
  int users = 0;
};

// Follows `track`'s chain (at most as many steps as the audio area has
// clusters, so a loop ends) and notes where it meets `cluster`.
void FindInChain(const VolumeModel& model, CdNode& cd, uint32_t slot, uint32_t cluster,
                 ClusterUser* user) {
  TrackNode& track = *cd.tracks[slot];
  const uint32_t clusters = model.header.audioClusters();
  uint32_t previous = kNoCluster;
  uint32_t c = track.firstCluster;
  for (uint32_t steps = 0; c < clusters && c < model.fat.entryCount() && steps < clusters;
       ++steps) {
    if (c == cluster) {
      ++user->users;
      *user = ClusterUser{&cd, slot, &track, previous, user->users};
      return;
    }
    previous = c;
    c = model.fat.entry(c);
  }
}

uint32_t LinksInto(const Fat& fat, uint32_t limit, uint32_t cluster) {
  uint32_t links = 0;
  for (uint32_t c = 0; c < limit; ++c) {
    if (fat.entry(c) == cluster) ++links;
  }
  return links;
}

Result FindUser(VolumeModel& model, uint32_t cluster, ClusterUser* user) {
  for (auto& cd : model.playerCds) {
    for (uint32_t slot = 0; slot < cd->tracks.size(); ++slot) {
      FindInChain(model, *cd, slot, cluster, user);
    }
  }
  const uint32_t limit = std::min(model.header.audioClusters(), model.fat.entryCount());
  const uint32_t expected_links = user->previous == kNoCluster ? 0 : 1;
  if (user->users != 1 || LinksInto(model.fat, limit, cluster) != expected_links) {
    return Result::Error(ResultCode::kCorrupt,
                         "cluster " + std::to_string(cluster) +
                             " below the CD records is not one track's; run Volmend");
  }
  return Result::Ok();
}

// Renames `from` to `to` in every index mark of `record`. True when one did.
bool RepointMarks(TrackRecord* record, uint32_t from, uint32_t to) {
  bool changed = false;
  for (uint32_t slot = 0; slot < format::kIndexMarkSlots; ++slot) {
    uint8_t* bytes = record->indexSlot(slot);
    if (bytes[2] == format::kIndexTerminatorByte) break;
    IndexMark mark = DecodeIndexMark(bytes);
    if (mark.cluster != from) continue;
    mark.cluster = to;
    EncodeIndexMark(mark, bytes);
    changed = true;
  }
  return changed;
}

}  // namespace

Result MoveTrackCluster(PlayerVolume& volume, uint32_t cluster, uint32_t limit,
                        uint32_t* moved_to) {
  VolumeModel& model = volume.model();
  SectorDevice& device = *volume.device();
  ClusterUser user;
  Result r = FindUser(model, cluster, &user);
  if (!r.ok()) return r;
  // The marks that name the cluster may lie in either sector of the record.
  r = volume.LoadIndexMarks(*user.track);
  if (!r.ok()) return r;
  const bool first = user.previous == kNoCluster;

  std::vector<uint32_t> taken;
  r = AllocateChain(model.fat, limit, 1, &model.nextFreeCluster, &taken);
  if (!r.ok()) return r;
  const uint32_t to = taken[0];
  const uint32_t next = model.fat.entry(cluster);

  std::vector<uint8_t> bytes(format::kClusterSize);
  const uint32_t from_sector = uint32_t(model.header.ClusterSector(cluster));
  const uint32_t to_sector = uint32_t(model.header.ClusterSector(to));
  TrackRecord record = user.track->record;
  const bool marks_changed = RepointMarks(&record, cluster, to);
  r = device.Read(from_sector, format::kSectorsPerCluster, bytes.data());
  if (r.ok() && first) {
    // The copy carries the track record; its marks name the new place already.
    TrackRecord on_disk;
    std::copy(bytes.begin(), bytes.begin() + format::kTrackRecordSize, on_disk.data());
    RepointMarks(&on_disk, cluster, to);
    std::copy(on_disk.bytes().begin(), on_disk.bytes().end(), bytes.begin());
  }
  if (r.ok()) r = device.Write(to_sector, format::kSectorsPerCluster, bytes.data());
  if (!r.ok()) {
    FreeChain(model.fat, taken, &model.nextFreeCluster);
    return r;
  }
  model.fat.set(to, next);
  r = volume.FlushFat();
  if (!r.ok()) return r;

  if (first) {
    user.cd->record.setStartCluster(user.slot, to);
    r = device.Write(user.cd->sector, 1, user.cd->record.data());
  } else {
    model.fat.set(user.previous, to);
    r = volume.FlushFat();
  }
  if (!r.ok()) return r;
  if (first) user.track->firstCluster = to;
  if (marks_changed && !first) {
    const uint32_t record_sector = uint32_t(model.header.ClusterSector(user.track->firstCluster));
    r = device.Write(record_sector, format::kTrackRecordSectors, record.data());
    if (!r.ok()) return r;
  }
  user.track->record = record;
  for (uint32_t& c : user.track->clusterList) {
    if (c == cluster) c = to;
  }

  model.fat.set(cluster, format::kFatFree);
  r = volume.FlushFat();
  if (!r.ok()) return r;
  *moved_to = to;
  return Result::Ok();
}

}  // namespace jukepak
