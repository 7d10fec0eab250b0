#include "volume/volume_edits.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

#include "base/latin1.h"
#include "base/player_text.h"
#include "format/format_constants.h"
#include "volume/space_accounting.h"

namespace jukepak {
namespace {

constexpr uint32_t kNoCluster = 0xFFFFFFFFu;

Result Refuse(const std::string& why) { return Result::Error(ResultCode::kInvalidArgument, why); }

// The edits run only over a loaded directory while no job runs.
Result EditAllowed(const PlayerVolume& volume) {
  if (volume.busyState() != BusyState::kIdle) {
    return Result::Error(ResultCode::kBusy, "the player is busy");
  }
  if (volume.deviceState() != DeviceState::kReady || !volume.model().fat.loaded()) {
    return Result::Error(ResultCode::kBusy, "the player's directory is not loaded");
  }
  if (volume.ReadOnly()) return Result::Error(ResultCode::kCorrupt, kDamagedDirectory);
  return Result::Ok();
}

// Position of `cd` in the player list, or -1.
int IndexOfCd(const VolumeModel& model, const CdNode* cd) {
  for (size_t i = 0; i < model.playerCds.size(); ++i) {
    if (model.playerCds[i].get() == cd) return int(i);
  }
  return -1;
}

int SlotOfTrack(const CdNode& cd, const TrackNode* track) {
  for (size_t i = 0; i < cd.tracks.size(); ++i) {
    if (cd.tracks[i].get() == track) return int(i);
  }
  return -1;
}

Result CheckCd(const PlayerVolume& volume, const CdNode* cd) {
  if (cd == nullptr || IndexOfCd(volume.model(), cd) < 0) {
    return Refuse("the CD is not in the player's directory");
  }
  return Result::Ok();
}

Result CheckSlot(const CdNode& cd, uint32_t slot) {
  if (slot >= cd.tracks.size()) return Refuse("the CD has no track at that place");
  return Result::Ok();
}

uint32_t TrackCount(const CdNode& cd) { return uint32_t(cd.tracks.size()); }

// Takes every track whose start cluster is `first` out of the CD's record and
// list. Each removed slot is looked at again, so two neighbouring entries of
// the same cluster both go.
void RemoveTracksStartingAt(CdNode* cd, uint32_t first) {
  uint32_t count = TrackCount(*cd);
  for (uint32_t i = 0; i < count;) {
    if (cd->tracks[i]->firstCluster != first) {
      ++i;
      continue;
    }
    cd->record.RemoveStartCluster(i, count);
    cd->tracks.erase(cd->tracks.begin() + i);
    --count;
  }
  cd->record.setTrackCount(uint8_t(count));
}

// Frees the chain from `first` and returns the lowest cluster freed, or
// kNoCluster. A damaged FAT cannot make the walk leave the table or run for
// ever: it stops at an end-of-chain or free entry, at a successor outside the
// audio area, and after as many steps as the audio area has clusters.
uint32_t FreeChain(Fat& fat, uint32_t audio_clusters, uint32_t first) {
  const uint32_t n = std::min(audio_clusters, fat.entryCount());
  uint32_t lowest = kNoCluster;
  uint32_t c = first;
  for (uint32_t steps = 0; c < n && steps < n; ++steps) {
    const uint32_t next = fat.entry(c);
    if (next == format::kFatFree) break;
    fat.set(c, format::kFatFree);
    lowest = std::min(lowest, c);
    if (next == format::kFatEndOfChain) break;
    c = next;
  }
  return lowest;
}

// The lowest free cluster in [from, limit), or limit.
uint32_t FirstFreeFrom(const Fat& fat, uint32_t from, uint32_t limit) {
  limit = std::min(limit, fat.entryCount());
  for (uint32_t c = from; c < limit; ++c) {
    if (fat.entry(c) == format::kFatFree) return c;
  }
  return limit;
}

// The records must lie at cdStart, cdStart + 1, ... in list order, as the
// mount reads them; DeleteCd moves records by that rule.
Result CheckCdRun(const VolumeModel& model) {
  if (model.playerCds.size() != model.header.cdCount()) {
    return Result::Error(ResultCode::kCorrupt, "the directory in memory does not match the header");
  }
  for (size_t i = 0; i < model.playerCds.size(); ++i) {
    if (model.playerCds[i]->sector != model.header.cdStart() + i) {
      return Result::Error(ResultCode::kCorrupt,
                           "the directory in memory does not match the CD area");
    }
  }
  return Result::Ok();
}

// The edits themselves; the public functions below check that an edit may
// run and send the directory after it.
Result DeleteTrackEdit(PlayerVolume& volume, CdNode* cd, TrackNode* track, uint32_t* tracks_left);
Result DeleteCdEdit(PlayerVolume& volume, CdNode* cd);

// Deletes the track and, when none is left, the CD. *cd_gone tells whether
// the CD went.
Result DeleteTrackAndEmptyCd(PlayerVolume& volume, CdNode* cd, TrackNode* track, bool* cd_gone) {
  *cd_gone = false;
  uint32_t left = 0;
  Result r = DeleteTrackEdit(volume, cd, track, &left);
  if (!r.ok() || left > 0) return r;
  r = DeleteCdEdit(volume, cd);
  *cd_gone = r.ok();
  return r;
}

}  // namespace

Result WriteCdRecord(PlayerVolume& volume, const CdNode& cd) {
  const VolumeHeader& h = volume.model().header;
  if (volume.device() == nullptr) return Result::Error(ResultCode::kIoError, "no driver is bound");
  if (cd.sector < h.cdStart() || uint64_t(cd.sector) >= uint64_t(h.cdStart()) + h.cdCount() ||
      cd.sector >= volume.model().sectorCount) {
    return Result::Error(ResultCode::kCorrupt, "the CD record's sector lies outside the CD area");
  }
  return volume.device()->Write(cd.sector, 1, cd.record.data());
}

Result WriteTrackRecord(PlayerVolume& volume, const TrackNode& track) {
  const VolumeHeader& h = volume.model().header;
  if (volume.device() == nullptr) return Result::Error(ResultCode::kIoError, "no driver is bound");
  if (track.firstCluster >= h.audioClusters()) {
    return Result::Error(ResultCode::kCorrupt, "the track's record lies outside the audio area");
  }
  // The texts lie in the first sector; the second, with the later index
  // marks, may not have been read and stays as it is on the disk.
  return volume.device()->Write(uint32_t(h.ClusterSector(track.firstCluster)), 1,
                                track.record.data());
}

namespace {

Result DeleteTrackEdit(PlayerVolume& volume, CdNode* cd, TrackNode* track, uint32_t* tracks_left) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  if (SlotOfTrack(*cd, track) < 0) return Refuse("the track is not on this CD");

  VolumeModel& model = volume.model();
  const uint32_t first = track->firstCluster;
  RemoveTracksStartingAt(cd, first);  // releases `track`
  *tracks_left = TrackCount(*cd);

  // The record goes first, so the disk never lists a track whose clusters
  // are free.
  r = WriteCdRecord(volume, *cd);
  if (!r.ok()) return volume.ReportDriverFailure("Could not delete the track", r);

  // A crosslinked directory may list the same start in another CD; that
  // track still owns the chain.
  if (!volume.IsTrackStart(first)) {
    const uint32_t lowest = FreeChain(model.fat, model.header.audioClusters(), first);
    if (lowest < model.nextFreeCluster && lowest < AllocatableClusterLimit(model.header)) {
      model.nextFreeCluster = lowest;
    }
  }
  r = volume.FlushFat();
  if (!r.ok()) return volume.ReportDriverFailure("Could not delete the track", r);
  volume.FreeKilobytes();
  return Result::Ok();
}

Result DeleteCdEdit(PlayerVolume& volume, CdNode* cd) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  if (!cd->tracks.empty()) return Refuse("the CD still holds tracks; delete them first");
  VolumeModel& model = volume.model();
  r = CheckCdRun(model);
  if (!r.ok()) return r;

  const uint32_t old_limit = AllocatableClusterLimit(model.header);
  const int index = IndexOfCd(model, cd);
  model.playerCds.erase(model.playerCds.begin() + index);  // releases `cd`
  for (int k = index - 1; k >= 0; --k) model.playerCds[size_t(k)]->sector += 1;
  model.header.setCdCount(model.header.cdCount() - 1);
  // A volume without CDs keeps its CD run at 0.
  model.header.setCdStart(model.header.cdCount() != 0 ? model.header.cdStart() + 1 : 0);

  // The CD area may have shrunk past clusters the allocator could not reach.
  if (model.nextFreeCluster >= old_limit) {
    model.nextFreeCluster =
        FirstFreeFrom(model.fat, old_limit, AllocatableClusterLimit(model.header));
  }

  // Nearest first: each record lands on the sector the one above it left.
  for (int k = index - 1; k >= 0; --k) {
    r = WriteCdRecord(volume, *model.playerCds[size_t(k)]);
    if (!r.ok()) return volume.ReportDriverFailure("Could not delete the CD", r);
  }
  r = volume.WriteHeader();
  if (!r.ok()) return volume.ReportDriverFailure("Could not delete the CD", r);
  volume.FreeKilobytes();
  volume.EstimateDownloadKilobytes();
  return Result::Ok();
}

Result DeletePlayerTrackEdit(PlayerVolume& volume, CdNode* cd, uint32_t slot) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  r = CheckSlot(*cd, slot);
  if (!r.ok()) return r;
  bool cd_gone = false;
  return DeleteTrackAndEmptyCd(volume, cd, cd->tracks[slot].get(), &cd_gone);
}

Result DeletePlayerCdEdit(PlayerVolume& volume, CdNode* cd) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  if (cd->tracks.empty()) return DeleteCdEdit(volume, cd);
  // Every pass removes at least one track, and the CD goes with the last.
  for (;;) {
    bool cd_gone = false;
    r = DeleteTrackAndEmptyCd(volume, cd, cd->tracks.front().get(), &cd_gone);
    if (!r.ok() || cd_gone) return r;
  }
}

Result RenameCdEdit(PlayerVolume& volume, CdNode* cd, std::string_view artist_utf8,
                std::string_view album_utf8) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  cd->record.setArtist(PlayerFieldFromUtf8(artist_utf8));
  cd->record.setAlbum(PlayerFieldFromUtf8(album_utf8));
  r = WriteCdRecord(volume, *cd);
  if (!r.ok()) return volume.ReportDriverFailure("Could not rename the CD", r);
  return Result::Ok();
}

Result RenameTrackEdit(PlayerVolume& volume, CdNode* cd, uint32_t slot, std::string_view artist_utf8,
                   std::string_view title_utf8) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, cd);
  if (!r.ok()) return r;
  r = CheckSlot(*cd, slot);
  if (!r.ok()) return r;
  TrackNode& track = *cd->tracks[slot];
  if (track.firstCluster >= volume.model().header.audioClusters()) {
    return Result::Error(ResultCode::kCorrupt,
                         "the track's record lies outside the audio area; run volmend to check "
                         "and repair the volume");
  }
  track.record.setArtist(PlayerFieldFromUtf8(artist_utf8));
  track.record.setTitle(PlayerFieldFromUtf8(title_utf8));
  r = WriteTrackRecord(volume, track);
  if (!r.ok()) return volume.ReportDriverFailure("Could not rename the track", r);
  return Result::Ok();
}

Result MoveTrackEdit(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target,
                 uint32_t position) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, source);
  if (!r.ok()) return r;
  r = CheckCd(volume, target);
  if (!r.ok()) return r;
  r = CheckSlot(*source, from);
  if (!r.ok()) return r;
  const bool same = source == target;
  if (same) {
    if (position >= TrackCount(*target)) return Refuse("the CD has no track at that place");
    if (position == from) return Result::Ok();
  } else {
    if (TrackCount(*target) >= format::kMaxTracksPerCd) {
      return Result::Error(ResultCode::kLimit, kCdFullMessage);
    }
    if (position > TrackCount(*target)) return Refuse("the CD has no track at that place");
  }

  std::unique_ptr<TrackNode> node = std::move(source->tracks[from]);
  source->record.RemoveStartCluster(from, TrackCount(*source));
  source->tracks.erase(source->tracks.begin() + from);
  source->record.setTrackCount(uint8_t(TrackCount(*source)));
  target->record.InsertStartCluster(position, TrackCount(*target), node->firstCluster);
  target->tracks.insert(target->tracks.begin() + position, std::move(node));
  target->record.setTrackCount(uint8_t(TrackCount(*target)));

  // Target first: a cut between the writes lists the track twice, never nowhere.
  if (!same) {
    r = WriteCdRecord(volume, *target);
    if (!r.ok()) return volume.ReportDriverFailure("Could not move the track", r);
  }
  r = WriteCdRecord(volume, *source);
  if (!r.ok()) return volume.ReportDriverFailure("Could not move the track", r);
  return Result::Ok();
}

Result DropTrackOntoCdEdit(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = CheckCd(volume, source);
  if (!r.ok()) return r;
  r = CheckCd(volume, target);
  if (!r.ok()) return r;
  r = CheckSlot(*source, from);
  if (!r.ok() || source == target) return r;
  return MoveTrackEdit(volume, source, from, target, TrackCount(*target));
}

// Runs an edit over the directory and sends the directory afterwards,
// whatever the edit's result: a failed write leaves the model changed. An
// edit that may not run now changes nothing and sends nothing (a job may own
// the directory).
template <typename Edit>
Result Published(PlayerVolume& volume, Edit edit) {
  Result r = EditAllowed(volume);
  if (!r.ok()) return r;
  r = edit();
  volume.PublishDirectory();
  return r;
}

}  // namespace

Result DeleteTrack(PlayerVolume& volume, CdNode* cd, TrackNode* track, uint32_t* tracks_left) {
  return Published(volume, [&] { return DeleteTrackEdit(volume, cd, track, tracks_left); });
}

Result DeleteCd(PlayerVolume& volume, CdNode* cd) {
  return Published(volume, [&] { return DeleteCdEdit(volume, cd); });
}

Result DeletePlayerTrack(PlayerVolume& volume, CdNode* cd, uint32_t slot) {
  return Published(volume, [&] { return DeletePlayerTrackEdit(volume, cd, slot); });
}

Result DeletePlayerCd(PlayerVolume& volume, CdNode* cd) {
  return Published(volume, [&] { return DeletePlayerCdEdit(volume, cd); });
}

Result RenameCd(PlayerVolume& volume, CdNode* cd, std::string_view artist_utf8,
                std::string_view album_utf8) {
  return Published(volume, [&] { return RenameCdEdit(volume, cd, artist_utf8, album_utf8); });
}

Result RenameTrack(PlayerVolume& volume, CdNode* cd, uint32_t slot, std::string_view artist_utf8,
                   std::string_view title_utf8) {
  return Published(volume,
                   [&] { return RenameTrackEdit(volume, cd, slot, artist_utf8, title_utf8); });
}

Result MoveTrack(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target,
                 uint32_t position) {
  return Published(volume, [&] { return MoveTrackEdit(volume, source, from, target, position); });
}

Result DropTrackOntoTrack(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target,
                          uint32_t onto) {
  return Published(volume, [&] { return MoveTrackEdit(volume, source, from, target, onto); });
}

Result DropTrackOntoCd(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target) {
  return Published(volume, [&] { return DropTrackOntoCdEdit(volume, source, from, target); });
}

CdNode* FindPlayerCd(PlayerVolume& volume, uint64_t cd_id) {
  for (const auto& cd : volume.model().playerCds) {
    if (cd_id != 0 && cd->id == cd_id) return cd.get();
  }
  return nullptr;
}

int FindPlayerTrack(const CdNode& cd, uint64_t track_id) {
  for (size_t slot = 0; slot < cd.tracks.size(); ++slot) {
    if (track_id != 0 && cd.tracks[slot]->id == track_id) return int(slot);
  }
  return -1;
}

}  // namespace jukepak
