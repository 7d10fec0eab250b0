#include "volume/pending_edits.h"

#include <algorithm>

#include "base/latin1.h"
#include "base/player_text.h"
#include "format/format_constants.h"
#include "volume/pending_list.h"

namespace jukepak {
namespace {

struct SongPlace {
  CdNode* cd = nullptr;
  size_t slot = 0;
};

CdNode* FindCd(VolumeModel& model, uint64_t id) REQUIRES(model.pendingMutex) {
  if (id == 0) return nullptr;
  for (const auto& cd : model.pendingCds) {
    if (cd->id == id) return cd.get();
  }
  return nullptr;
}

bool FindSong(VolumeModel& model, uint64_t id, SongPlace* place) REQUIRES(model.pendingMutex) {
  if (id == 0) return false;
  for (const auto& cd : model.pendingCds) {
    for (size_t slot = 0; slot < cd->pendingTracks.size(); ++slot) {
      if (cd->pendingTracks[slot]->id == id) {
        *place = {cd.get(), slot};
        return true;
      }
    }
  }
  return false;
}

// A move between two CDs of one key (a sync writes one of them) keeps the
// key's count; into another key it adds one song to what the player's CD of
// that key will hold.
bool MoveFillsTarget(const VolumeModel& model, const CdNode& from, const CdNode& target)
    REQUIRES(model.pendingMutex) {
  const CdRecord& to = target.record;
  if (from.record.album() == to.album() && from.record.artist() == to.artist()) return false;
  return SongsBoundForKey(model, to.album(), to.artist()) >= format::kMaxTracksPerCd;
}

// A renamed CD joins the songs of its new key (a player CD or another
// pending CD of that album and artist); the sync writes them all onto one
// player CD, so together they must fit in it.
bool RenameOverfillsKey(const VolumeModel& model, const CdNode& cd, const std::string& artist,
                        const std::string& album) REQUIRES(model.pendingMutex) {
  if (cd.record.album() == album && cd.record.artist() == artist) return false;
  const size_t joined = SongsBoundForKey(model, album, artist) + cd.pendingTracks.size();
  return joined > format::kMaxTracksPerCd;
}

Result Busy() { return Result::Error(ResultCode::kBusy, kPendingBusy); }

void RemoveEmptyCd(VolumeModel& model, CdNode* cd) REQUIRES(model.pendingMutex) {
  if (!cd->pendingTracks.empty()) return;
  model.pendingCds.erase(std::find_if(model.pendingCds.begin(), model.pendingCds.end(),
                                      [&](const std::unique_ptr<CdNode>& c) { return c.get() == cd; }));
}

// The move itself, under the lock.
Result MoveLocked(VolumeModel& model, const SongPlace& from, CdNode* target, size_t position)
    REQUIRES(model.pendingMutex) {
  auto& source = from.cd->pendingTracks;
  if (target == from.cd) {
    position = std::min(position, source.size() - 1);
    if (position == from.slot) return Result::Ok();
  } else if (MoveFillsTarget(model, *from.cd, *target)) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }
  std::unique_ptr<TrackNode> song = std::move(source[from.slot]);
  source.erase(source.begin() + long(from.slot));
  auto& slots = target->pendingTracks;
  position = std::min(position, slots.size());
  slots.insert(slots.begin() + long(position), std::move(song));
  if (target != from.cd) RemoveEmptyCd(model, from.cd);
  return Result::Ok();
}

Result RenameCdLocked(VolumeModel& model, uint64_t cd_id, std::string_view artist_utf8,
                      std::string_view album_utf8) REQUIRES(model.pendingMutex) {
  CdNode* cd = FindCd(model, cd_id);
  if (cd == nullptr) return Result::Error(ResultCode::kNotFound, "no pending CD has this id");
  const std::string artist = PlayerFieldFromUtf8(artist_utf8);
  const std::string album = PlayerFieldFromUtf8(album_utf8);
  if (RenameOverfillsKey(model, *cd, artist, album)) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }
  cd->record.setArtist(artist);
  cd->record.setAlbum(album);
  return Result::Ok();
}

Result RenameSongLocked(VolumeModel& model, uint64_t song_id, std::string_view artist_utf8,
                        std::string_view title_utf8) REQUIRES(model.pendingMutex) {
  SongPlace place;
  if (!FindSong(model, song_id, &place)) {
    return Result::Error(ResultCode::kNotFound, "no pending song has this id");
  }
  TrackRecord& record = place.cd->pendingTracks[place.slot]->record;
  record.setArtist(PlayerFieldFromUtf8(artist_utf8));
  record.setTitle(PlayerFieldFromUtf8(title_utf8));
  return Result::Ok();
}

Result MoveSongLocked(VolumeModel& model, uint64_t song_id, uint64_t cd_id, size_t position)
    REQUIRES(model.pendingMutex) {
  SongPlace from;
  if (!FindSong(model, song_id, &from)) {
    return Result::Error(ResultCode::kNotFound, "no pending song has this id");
  }
  CdNode* target = FindCd(model, cd_id);
  if (target == nullptr) return Result::Error(ResultCode::kNotFound, "no pending CD has this id");
  return MoveLocked(model, from, target, position);
}

Result DropSongLocked(VolumeModel& model, uint64_t song_id, uint64_t onto_id)
    REQUIRES(model.pendingMutex) {
  SongPlace from;
  if (!FindSong(model, song_id, &from)) {
    return Result::Error(ResultCode::kNotFound, "no pending song has this id");
  }
  SongPlace onto;
  if (FindSong(model, onto_id, &onto)) {
    // The slot counts before the song leaves its own: within one CD the song
    // ends where the one it was dropped on stood.
    return MoveLocked(model, from, onto.cd, onto.slot);
  }
  CdNode* target = FindCd(model, onto_id);
  if (target == nullptr) return Result::Error(ResultCode::kNotFound, "no pending entry there");
  if (target == from.cd) return Result::Ok();
  return MoveLocked(model, from, target, target->pendingTracks.size());
}

// Every edit: under the lock, refused while a sync runs; the list is sent
// once the lock is released.
template <typename... Args>
Result EditPending(PlayerVolume& volume, Result (*edit)(VolumeModel&, Args...), Args... args) {
  VolumeModel& model = volume.model();
  Result r = Busy();
  {
    MutexLock lock(&model.pendingMutex);
    if (PendingEditsAllowed(volume)) r = edit(model, args...);
  }
  if (r.ok()) volume.PublishPending();
  return r;
}

}  // namespace

Result RenamePendingCd(PlayerVolume& volume, uint64_t cd_id, std::string_view artist_utf8,
                       std::string_view album_utf8) {
  return EditPending(volume, RenameCdLocked, cd_id, artist_utf8, album_utf8);
}

Result RenamePendingSong(PlayerVolume& volume, uint64_t song_id, std::string_view artist_utf8,
                         std::string_view title_utf8) {
  return EditPending(volume, RenameSongLocked, song_id, artist_utf8, title_utf8);
}

Result MovePendingSong(PlayerVolume& volume, uint64_t song_id, uint64_t cd_id, size_t position) {
  return EditPending(volume, MoveSongLocked, song_id, cd_id, position);
}

Result DropPendingSong(PlayerVolume& volume, uint64_t song_id, uint64_t onto_id) {
  return EditPending(volume, DropSongLocked, song_id, onto_id);
}

bool PendingTexts(PlayerVolume& volume, uint64_t id, std::string* artist_utf8,
                  std::string* title_utf8) {
  VolumeModel& model = volume.model();
  MutexLock lock(&model.pendingMutex);
  if (CdNode* cd = FindCd(model, id)) {
    *artist_utf8 = Utf8FromLatin1(cd->record.artist());
    *title_utf8 = Utf8FromLatin1(cd->record.album());
    return true;
  }
  SongPlace place;
  if (!FindSong(model, id, &place)) return false;
  const TrackRecord& record = place.cd->pendingTracks[place.slot]->record;
  *artist_utf8 = Utf8FromLatin1(record.artist());
  *title_utf8 = Utf8FromLatin1(record.title());
  return true;
}

}  // namespace jukepak
