#include "volume/pending_edits.h"

#include <algorithm>
#include <mutex>

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

CdNode* FindCd(VolumeModel& model, TreeItem item) {
  if (item == kNoTreeItem) return nullptr;
  for (const auto& cd : model.pendingCds) {
    if (cd->treeItem == item) return cd.get();
  }
  return nullptr;
}

bool FindSong(VolumeModel& model, TreeItem item, SongPlace* place) {
  if (item == kNoTreeItem) return false;
  for (const auto& cd : model.pendingCds) {
    for (size_t slot = 0; slot < cd->pendingTracks.size(); ++slot) {
      if (cd->pendingTracks[slot]->treeItem == item) {
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
bool MoveFillsTarget(const PlayerVolume& volume, const CdNode& from, const CdNode& target) {
  const CdRecord& to = target.record;
  if (from.record.album() == to.album() && from.record.artist() == to.artist()) return false;
  return SongsBoundForKey(volume, to.album(), to.artist()) >= format::kMaxTracksPerCd;
}

// A renamed CD joins the songs of its new key (a player CD or another
// pending CD of that album and artist); the sync writes them all onto one
// player CD, so together they must fit in it.
bool RenameOverfillsKey(const PlayerVolume& volume, const CdNode& cd, const std::string& artist,
                        const std::string& album) {
  if (cd.record.album() == album && cd.record.artist() == artist) return false;
  const size_t joined = SongsBoundForKey(volume, album, artist) + cd.pendingTracks.size();
  return joined > format::kMaxTracksPerCd;
}

Result Busy() { return Result::Error(ResultCode::kBusy, kPendingBusy); }

void RemoveEmptyCd(PlayerVolume& volume, CdNode* cd) {
  if (!cd->pendingTracks.empty()) return;
  VolumeModel& model = volume.model();
  volume.reporter().DeleteItem(Tree::kPending, cd->treeItem);
  model.pendingCds.erase(std::find_if(model.pendingCds.begin(), model.pendingCds.end(),
                                      [&](const std::unique_ptr<CdNode>& c) { return c.get() == cd; }));
}

}  // namespace

Result RenamePendingCd(PlayerVolume& volume, TreeItem cd_item, std::string_view artist_utf8,
                       std::string_view album_utf8) {
  std::lock_guard<std::mutex> lock(volume.model().pendingMutex);
  if (!PendingEditsAllowed(volume)) return Busy();
  CdNode* cd = FindCd(volume.model(), cd_item);
  if (cd == nullptr) return Result::Error(ResultCode::kNotFound, "no pending CD has this entry");
  const std::string artist = PlayerFieldFromUtf8(artist_utf8);
  const std::string album = PlayerFieldFromUtf8(album_utf8);
  if (RenameOverfillsKey(volume, *cd, artist, album)) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }
  cd->record.setArtist(artist);
  cd->record.setAlbum(album);
  volume.reporter().SetItemLabel(Tree::kPending, cd->treeItem, CdLabel(cd->record));
  FillProposedCdTracks(volume.reporter(), *cd);
  return Result::Ok();
}

Result RenamePendingSong(PlayerVolume& volume, TreeItem song_item, std::string_view artist_utf8,
                         std::string_view title_utf8) {
  std::lock_guard<std::mutex> lock(volume.model().pendingMutex);
  if (!PendingEditsAllowed(volume)) return Busy();
  SongPlace place;
  if (!FindSong(volume.model(), song_item, &place)) {
    return Result::Error(ResultCode::kNotFound, "no pending song has this entry");
  }
  TrackNode& song = *place.cd->pendingTracks[place.slot];
  song.record.setArtist(PlayerFieldFromUtf8(artist_utf8));
  song.record.setTitle(PlayerFieldFromUtf8(title_utf8));
  volume.reporter().SetItemLabel(Tree::kPending, song.treeItem,
                                 PendingSongLabel(song, place.cd->record.artist()));
  return Result::Ok();
}

Result DropPendingSong(PlayerVolume& volume, TreeItem song_item, TreeItem onto_item) {
  VolumeModel& model = volume.model();
  std::lock_guard<std::mutex> lock(model.pendingMutex);
  if (!PendingEditsAllowed(volume)) return Busy();
  SongPlace from;
  if (!FindSong(model, song_item, &from)) {
    return Result::Error(ResultCode::kNotFound, "no pending song has this entry");
  }
  CdNode* target = nullptr;
  size_t index = 0;  // the slot the song takes, counted before it leaves its own
  SongPlace onto;
  if (FindSong(model, onto_item, &onto)) {
    target = onto.cd;
    index = onto.slot;
  } else if ((target = FindCd(model, onto_item)) != nullptr) {
    if (target == from.cd) return Result::Ok();
    index = target->pendingTracks.size();
  } else {
    return Result::Error(ResultCode::kNotFound, "no pending entry there");
  }
  if (target == from.cd && index == from.slot) return Result::Ok();
  if (MoveFillsTarget(volume, *from.cd, *target)) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }
  std::unique_ptr<TrackNode> song = std::move(from.cd->pendingTracks[from.slot]);
  from.cd->pendingTracks.erase(from.cd->pendingTracks.begin() + long(from.slot));
  index = std::min(index, target->pendingTracks.size());
  target->pendingTracks.insert(target->pendingTracks.begin() + long(index), std::move(song));
  FillProposedCdTracks(volume.reporter(), *target);
  if (target != from.cd) {
    FillProposedCdTracks(volume.reporter(), *from.cd);
    RemoveEmptyCd(volume, from.cd);
  }
  return Result::Ok();
}

bool PendingTexts(PlayerVolume& volume, TreeItem item, std::string* artist_utf8,
                  std::string* title_utf8) {
  std::lock_guard<std::mutex> lock(volume.model().pendingMutex);
  if (CdNode* cd = FindCd(volume.model(), item)) {
    *artist_utf8 = Utf8FromLatin1(cd->record.artist());
    *title_utf8 = Utf8FromLatin1(cd->record.album());
    return true;
  }
  SongPlace place;
  if (!FindSong(volume.model(), item, &place)) return false;
  const TrackRecord& record = place.cd->pendingTracks[place.slot]->record;
  *artist_utf8 = Utf8FromLatin1(record.artist());
  *title_utf8 = Utf8FromLatin1(record.title());
  return true;
}

}  // namespace jukepak
