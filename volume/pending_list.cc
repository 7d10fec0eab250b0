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

// Tracks the player's CD of this key already holds, as the directory was
// last sent (a sync may be changing it on the worker meanwhile; while a
// mount reads it, none are known yet).
uint32_t PlayerTracksOfKey(const VolumeModel& model, const std::string& album,
                           const std::string& artist) REQUIRES(model.pendingMutex) {
  const auto found = model.directoryFacts.tracksOfKey.find({album, artist});
  return found == model.directoryFacts.tracksOfKey.end() ? 0 : found->second;
}

CdNode* FindPendingCd(VolumeModel& model, uint64_t id) REQUIRES(model.pendingMutex) {
  for (const auto& cd : model.pendingCds) {
    if (id != 0 && cd->id == id) return cd.get();
  }
  return nullptr;
}

}  // namespace

// Songs of one key may sit in two pending CDs while a sync writes one of
// them, and all of them end on the same player CD.
uint32_t SongsBoundForKey(const VolumeModel& model, const std::string& album,
                          const std::string& artist) {
  size_t songs = PlayerTracksOfKey(model, album, artist);
  for (const auto& cd : model.pendingCds) {
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
  const Result r = AddFileQuietly(volume, path, default_album);
  volume.PublishPending();
  return r;
}

Result AddFileQuietly(PlayerVolume& volume, const std::string& path,
                      const std::optional<std::string>& default_album) {
  std::optional<std::string> album_default;
  if (default_album.has_value()) album_default = PlayerFieldFromUtf8(*default_album);
  std::unique_ptr<TrackNode> song;
  std::string album;
  Result r = PrepareSong(path, album_default, &song, &album, volume.media(),
                         volume.syncOptions().bitrateKbps);
  if (!r.ok()) return r;
  VolumeModel& model = volume.model();
  MutexLock lock(&model.pendingMutex);
  return AddToPendingCd(model, album, std::move(song));
}

Result AddToPendingCd(VolumeModel& model, const std::string& album_latin1,
                      std::unique_ptr<TrackNode> song) {
  const std::string artist = CdArtistOf(*song);
  return AddToPendingCdOfArtist(model, album_latin1, artist, std::move(song));
}

Result AddToPendingCdOfArtist(PlayerVolume& volume, const std::string& album_latin1,
                              const std::string& cd_artist_latin1,
                              std::unique_ptr<TrackNode> song) {
  Result r;
  {
    VolumeModel& model = volume.model();
    MutexLock lock(&model.pendingMutex);
    r = AddToPendingCdOfArtist(model, album_latin1, cd_artist_latin1, std::move(song));
  }
  volume.PublishPending();
  return r;
}

Result AddToPendingCdOfArtist(VolumeModel& model, const std::string& album_latin1,
                              const std::string& cd_artist_latin1,
                              std::unique_ptr<TrackNode> song) {
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
  if (SongsBoundForKey(model, album, artist) >= format::kMaxTracksPerCd) {
    return Result::Error(ResultCode::kLimit, kNoMoreTracks);
  }

  if (target == nullptr) {
    auto cd = std::make_unique<CdNode>();
    cd->record.setAlbum(album);
    cd->record.setArtist(artist);
    cd->hasWork = true;
    target = cd.get();
    model.pendingCds.insert(model.pendingCds.begin(), std::move(cd));
  }

  auto& slots = target->pendingTracks;
  const auto at = std::find_if(slots.begin(), slots.end(),
                               [&](const std::unique_ptr<TrackNode>& other) {
                                 return PlaysBefore(*song, *other);
                               });
  slots.insert(at, std::move(song));
  return Result::Ok();
}

void EstimateConversions(PlayerVolume& volume) {
  const uint32_t kbps = volume.syncOptions().bitrateKbps;
  {
    VolumeModel& model = volume.model();
    MutexLock lock(&model.pendingMutex);
    for (const auto& cd : model.pendingCds) {
      // A CD without work is being written by the sync, which reads its songs.
      if (!cd->hasWork) continue;
      for (const auto& song : cd->pendingTracks) {
        if (!song->needsConversion) continue;
        const uint64_t bytes = std::min(EstimatedMp3Bytes(song->sourceSeconds, kbps), kMaxSongAudioBytes);
        song->record.setSize(uint32_t(bytes));
      }
    }
  }
  volume.PublishPending();
}

std::string DescribeFailure(const AddFailure& failure) {
  return AfterLastSlash(failure.path) + ": " + failure.result.message();
}

bool PendingEditsAllowed(const PlayerVolume& volume) {
  return volume.busyState() != BusyState::kSync;
}

namespace {

Result RemoveSongLocked(VolumeModel& model, uint64_t song_id) REQUIRES(model.pendingMutex) {
  for (auto cd = model.pendingCds.begin(); cd != model.pendingCds.end(); ++cd) {
    auto& slots = (*cd)->pendingTracks;
    auto song = std::find_if(slots.begin(), slots.end(), [&](const std::unique_ptr<TrackNode>& s) {
      return song_id != 0 && s->id == song_id;
    });
    if (song == slots.end()) continue;
    slots.erase(song);
    if (slots.empty()) model.pendingCds.erase(cd);
    return Result::Ok();
  }
  return Result::Error(ResultCode::kNotFound, "no pending song has this id");
}

Result RemoveCdLocked(VolumeModel& model, uint64_t cd_id) REQUIRES(model.pendingMutex) {
  CdNode* cd = FindPendingCd(model, cd_id);
  if (cd == nullptr) return Result::Error(ResultCode::kNotFound, "no pending CD has this id");
  model.pendingCds.erase(std::find_if(
      model.pendingCds.begin(), model.pendingCds.end(),
      [&](const std::unique_ptr<CdNode>& c) { return c.get() == cd; }));
  return Result::Ok();
}

}  // namespace

Result RemovePendingSong(PlayerVolume& volume, uint64_t song_id) {
  return RemovePendingEntries(volume, {}, {song_id});
}

Result RemovePendingCd(PlayerVolume& volume, uint64_t cd_id) {
  return RemovePendingEntries(volume, {cd_id}, {});
}

Result RemovePendingEntries(PlayerVolume& volume, const std::vector<uint64_t>& cd_ids,
                            const std::vector<uint64_t>& song_ids) {
  Result first_failure;
  bool removed = false;
  {
    VolumeModel& model = volume.model();
    MutexLock lock(&model.pendingMutex);
    if (!PendingEditsAllowed(volume)) return Result::Error(ResultCode::kBusy, kPendingBusy);
    for (uint64_t id : cd_ids) {
      const Result r = RemoveCdLocked(model, id);
      removed = removed || r.ok();
      if (!r.ok() && first_failure.ok()) first_failure = r;
    }
    for (uint64_t id : song_ids) {
      const Result r = RemoveSongLocked(model, id);
      removed = removed || r.ok();
      // A song of a CD removed above went with it.
      const bool gone_with_cd = r.code() == ResultCode::kNotFound && !cd_ids.empty();
      if (!r.ok() && !gone_with_cd && first_failure.ok()) first_failure = r;
    }
  }
  if (removed) volume.PublishPending();
  return first_failure;
}

std::string SizeLabelText(uint32_t kilobytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%02u Mb", kilobytes / 1024, (kilobytes % 1024) * 100 / 1024);
  return text;
}

SizeLabelUpdate SizeLabels::Refresh(PlayerVolume& volume) {
  const uint32_t download = volume.EstimateDownloadKilobytes();
  const DeviceState device = volume.deviceState();
  if (device == DeviceState::kReady && volume.busyState() == BusyState::kIdle) {
    free_kilobytes_ = volume.FreeKilobytes();
  } else if (device == DeviceState::kNoDriver || device == DeviceState::kNoVolume) {
    free_kilobytes_ = 0;  // no volume: the last player's free space no longer holds
  }
  return Update(download, free_kilobytes_);
}

SizeLabelUpdate SizeLabels::Update(uint32_t download_kilobytes, uint32_t free_kilobytes) {
  SizeLabelUpdate update;
  free_kilobytes_ = free_kilobytes;
  update.download = SizeLabelText(download_kilobytes);
  update.free = SizeLabelText(free_kilobytes);
  update.downloadChanged = download_kilobytes != shown_download_;
  update.freeChanged = free_kilobytes != shown_free_;
  shown_download_ = download_kilobytes;
  shown_free_ = free_kilobytes;
  return update;
}

}  // namespace jukepak
