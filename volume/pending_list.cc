#include "volume/pending_list.h"

#include <algorithm>
#include <cstdio>

#include "base/file_name.h"
#include "base/player_text.h"
#include "format/format_constants.h"
#include "volume/song_probe.h"
#include "volume/song_tags.h"

namespace jukepak {
namespace {

// A file name as a 47-character title: too long a name loses characters
// before its extension, so "….mp3" still tells what the file was.
std::string TitleFromFileName(const std::string& name_utf8) {
  std::string title = PlayerTextFromUtf8(name_utf8);
  if (title.size() <= format::kTextLimit) return title;
  const size_t dot = title.rfind('.');
  if (dot == std::string::npos || dot == 0 || title.size() - dot >= format::kTextLimit) {
    return title.substr(0, format::kTextLimit);
  }
  const std::string extension = title.substr(dot);
  return title.substr(0, format::kTextLimit - extension.size()) + extension;
}

// A tag text as a field: converted, cut, and without the spaces at its ends
// that conversion may leave.
std::string TagField(const std::string& utf8) {
  std::string text = PlayerFieldFromUtf8(utf8);
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void ApplyTags(const SongTags& tags, const std::optional<std::string>& default_album,
               TrackNode* song, std::string* album) {
  const std::string path_title = TitleFromFileName(AfterLastSlash(song->sourcePath));
  const std::string title = TagField(tags.title);
  const std::string artist = TagField(tags.artist);
  const std::string album_artist = TagField(tags.albumArtist);
  const std::string tag_album = TagField(tags.album);
  if (title.empty() && artist.empty() && tag_album.empty()) {
    // No tag at all (or only empty fields): named after the file.
    song->record.setArtist(kUnknownArtist);
    song->record.setTitle(path_title);
    *album = kNewCdAlbum;
    return;
  }
  const std::string song_artist =
      !artist.empty() ? artist : !album_artist.empty() ? album_artist : kUnknownArtist;
  song->record.setTitle(title.empty() ? path_title : title);
  song->record.setArtist(song_artist);
  song->cdArtist = !album_artist.empty() ? album_artist
                   : tags.compilation    ? kVariousArtists
                                         : song_artist;
  song->tagTrackNumber = int32_t(tags.track);
  song->tagDiscNumber = int32_t(tags.disc);
  if (!tag_album.empty()) {
    *album = tag_album;
  } else {
    *album = default_album.has_value() ? *default_album : kNewCdAlbum;
  }
}

std::string CdArtistOf(const TrackNode& song) {
  return song.cdArtist.empty() ? song.record.artist() : song.cdArtist;
}

bool SameKey(const CdNode& cd, const std::string& album, const std::string& artist) {
  return cd.record.album() == album && cd.record.artist() == artist;
}

// Tracks the player's CD of this key already holds. The player list is only
// looked at while no job but a sync runs (a sync changes it under the
// pending lock, which the caller holds; a mount or an initialization
// rebuilds it without one).
uint32_t PlayerTracksOfKey(const PlayerVolume& volume, const std::string& album,
                           const std::string& artist) {
  if (volume.deviceState() != DeviceState::kReady) return 0;
  const BusyState busy = volume.busyState();
  if (busy != BusyState::kIdle && busy != BusyState::kSync) return 0;
  for (const auto& cd : volume.model().playerCds) {
    if (SameKey(*cd, album, artist)) return cd->record.trackCount();
  }
  return 0;
}

}  // namespace

// Songs of one key may sit in two pending CDs while a sync writes one of
// them, and all of them end on the same player CD.
uint32_t SongsBoundForKey(const PlayerVolume& volume, const std::string& album,
                          const std::string& artist) {
  size_t songs = PlayerTracksOfKey(volume, album, artist);
  for (const auto& cd : volume.model().pendingCds) {
    if (SameKey(*cd, album, artist)) songs += cd->pendingTracks.size();
  }
  return uint32_t(songs);
}

namespace {

// Songs play by disc, then track; a song without a track number has no
// place of its own and goes last.
bool PlaysBefore(const TrackNode& song, const TrackNode& other) {
  if (song.tagTrackNumber == 0) return false;
  const int32_t disc = std::max(song.tagDiscNumber, 1);
  const int32_t other_disc = std::max(other.tagDiscNumber, 1);
  if (disc != other_disc) return disc < other_disc;
  return song.tagTrackNumber < other.tagTrackNumber;
}

}  // namespace

Result PrepareSong(const std::string& path, const std::optional<std::string>& default_album_latin1,
                   std::unique_ptr<TrackNode>* song, std::string* album_latin1,
                   const MediaLibraries& media, uint32_t kbps) {
  SongProbe probe;
  Result r = ProbeSong(path, *media.transcoder, &probe);
  if (!r.ok()) return r;
  SongTags tags;
  // Tags that cannot be read leave the song named after its file.
  if (!media.tags->Read(path, &tags).ok()) tags = SongTags();

  auto node = std::make_unique<TrackNode>();
  node->sourcePath = path;
  uint64_t audio_bytes = probe.audioBytes;
  if (probe.format == SongFormat::kConverted) {
    node->needsConversion = true;
    node->sourceSeconds = probe.seconds;
    audio_bytes = EstimatedMp3Bytes(probe.seconds, kbps);
  }
  if (audio_bytes > kMaxSongAudioBytes) return Result::Error(ResultCode::kLimit, kFileTooLarge);
  node->record.setSize(uint32_t(audio_bytes));
  std::string album;
  ApplyTags(tags, default_album_latin1, node.get(), &album);
  *album_latin1 = album;
  *song = std::move(node);
  return Result::Ok();
}

Result AddFile(PlayerVolume& volume, const std::string& path,
               const std::optional<std::string>& default_album) {
  std::optional<std::string> album_default;
  if (default_album.has_value()) album_default = PlayerFieldFromUtf8(*default_album);
  std::unique_ptr<TrackNode> song;
  std::string album;
  Result r = PrepareSong(path, album_default, &song, &album, volume.media(),
                         volume.syncOptions().bitrateKbps);
  if (!r.ok()) return r;
  r = AddToPendingCd(volume, album, std::move(song));
  volume.EstimateDownloadKilobytes();
  return r;
}

Result AddToPendingCd(PlayerVolume& volume, const std::string& album_latin1,
                      std::unique_ptr<TrackNode> song) {
  const std::string artist = CdArtistOf(*song);
  return AddToPendingCdOfArtist(volume, album_latin1, artist, std::move(song));
}

Result AddToPendingCdOfArtist(PlayerVolume& volume, const std::string& album_latin1,
                              const std::string& cd_artist_latin1,
                              std::unique_ptr<TrackNode> song) {
  VolumeModel& model = volume.model();
  std::lock_guard<std::mutex> lock(model.pendingMutex);
  const std::string album = album_latin1.substr(0, format::kTextLimit);
  const std::string artist = cd_artist_latin1.substr(0, format::kTextLimit);

  CdNode* target = nullptr;
  for (const auto& cd : model.pendingCds) {
    if (!SameKey(*cd, album, artist)) continue;
    for (const auto& pending : cd->pendingTracks) {
      if (pending->sourcePath == song->sourcePath) return Result::Ok();  // already pending
    }
    if (target == nullptr && cd->hasWork) target = cd.get();
  }
  if (SongsBoundForKey(volume, album, artist) >= format::kMaxTracksPerCd) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }

  if (target == nullptr) {
    auto cd = std::make_unique<CdNode>();
    cd->record.setAlbum(album);
    cd->record.setArtist(artist);
    cd->hasWork = true;
    target = cd.get();
    cd->treeItem =
        volume.reporter().InsertCdItem(Tree::kPending, CdLabel(cd->record), target, false);
    model.pendingCds.insert(model.pendingCds.begin(), std::move(cd));
  }

  auto& slots = target->pendingTracks;
  const auto at = std::find_if(slots.begin(), slots.end(),
                               [&](const std::unique_ptr<TrackNode>& other) {
                                 return PlaysBefore(*song, *other);
                               });
  slots.insert(at, std::move(song));
  FillProposedCdTracks(volume.reporter(), *target);
  return Result::Ok();
}

void FillProposedCdTracks(VolumeReporter& reporter, CdNode& cd) {
  reporter.DeleteChildren(Tree::kPending, cd.treeItem);
  const std::string cd_artist = cd.record.artist();
  for (const auto& song : cd.pendingTracks) {
    song->treeItem = reporter.InsertTrackItem(Tree::kPending, cd.treeItem,
                                              PendingSongLabel(*song, cd_artist), song.get());
  }
  reporter.RedrawTree(Tree::kPending);
}

void EstimateConversions(PlayerVolume& volume) {
  const uint32_t kbps = volume.syncOptions().bitrateKbps;
  {
    VolumeModel& model = volume.model();
    std::lock_guard<std::mutex> lock(model.pendingMutex);
    for (const auto& cd : model.pendingCds) {
      // A CD without work is being written by the sync, which reads its songs.
      if (!cd->hasWork) continue;
      bool changed = false;
      for (const auto& song : cd->pendingTracks) {
        if (!song->needsConversion) continue;
        const uint64_t bytes = std::min(EstimatedMp3Bytes(song->sourceSeconds, kbps), kMaxSongAudioBytes);
        song->record.setSize(uint32_t(bytes));
        changed = true;
      }
      if (changed) FillProposedCdTracks(volume.reporter(), *cd);
    }
  }
  volume.EstimateDownloadKilobytes();
}

std::string DescribeFailure(const AddFailure& failure) {
  return AfterLastSlash(failure.path) + ": " + failure.result.message();
}

bool PendingEditsAllowed(const PlayerVolume& volume) {
  return volume.busyState() != BusyState::kSync;
}

Result RemovePendingSong(PlayerVolume& volume, TreeItem item) {
  VolumeModel& model = volume.model();
  std::lock_guard<std::mutex> lock(model.pendingMutex);
  if (!PendingEditsAllowed(volume)) return Result::Error(ResultCode::kBusy, kPendingBusy);
  for (auto cd = model.pendingCds.begin(); cd != model.pendingCds.end(); ++cd) {
    auto& slots = (*cd)->pendingTracks;
    auto song = std::find_if(slots.begin(), slots.end(), [&](const std::unique_ptr<TrackNode>& s) {
      return item != kNoTreeItem && s->treeItem == item;
    });
    if (song == slots.end()) continue;
    volume.reporter().DeleteItem(Tree::kPending, item);
    slots.erase(song);
    if (slots.empty()) {
      volume.reporter().DeleteItem(Tree::kPending, (*cd)->treeItem);
      model.pendingCds.erase(cd);
    }
    volume.reporter().RedrawTree(Tree::kPending);
    return Result::Ok();
  }
  return Result::Error(ResultCode::kNotFound, "no pending song has this entry");
}

Result RemovePendingCd(PlayerVolume& volume, TreeItem item) {
  VolumeModel& model = volume.model();
  std::lock_guard<std::mutex> lock(model.pendingMutex);
  if (!PendingEditsAllowed(volume)) return Result::Error(ResultCode::kBusy, kPendingBusy);
  auto cd = std::find_if(
      model.pendingCds.begin(), model.pendingCds.end(),
      [&](const std::unique_ptr<CdNode>& c) { return item != kNoTreeItem && c->treeItem == item; });
  if (cd == model.pendingCds.end()) {
    return Result::Error(ResultCode::kNotFound, "no pending CD has this entry");
  }
  volume.reporter().DeleteItem(Tree::kPending, item);
  model.pendingCds.erase(cd);
  volume.reporter().RedrawTree(Tree::kPending);
  return Result::Ok();
}

std::string SizeLabelText(uint32_t kilobytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%02u Mb", kilobytes / 1024, (kilobytes % 1024) * 100 / 1024);
  return text;
}

SizeLabelUpdate SizeLabels::Refresh(PlayerVolume& volume) {
  SizeLabelUpdate update;
  const uint32_t download = volume.EstimateDownloadKilobytes();
  const DeviceState device = volume.deviceState();
  if (device == DeviceState::kReady && volume.busyState() == BusyState::kIdle) {
    free_kilobytes_ = volume.FreeKilobytes();
  } else if (device == DeviceState::kNoDriver || device == DeviceState::kNoVolume) {
    free_kilobytes_ = 0;  // no volume: the last player's free space no longer holds
  }
  update.download = SizeLabelText(download);
  update.free = SizeLabelText(free_kilobytes_);
  update.downloadChanged = download != shown_download_;
  update.freeChanged = free_kilobytes_ != shown_free_;
  shown_download_ = download;
  shown_free_ = free_kilobytes_;
  return update;
}

}  // namespace jukepak
