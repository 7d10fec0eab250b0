#include "volume/pending_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "base/latin1.h"
#include "volume/format_constants.h"
#include "volume/id3_tags.h"
#include "volume/source_file.h"

namespace jukepak {
namespace {

// The text after the last "/" (the whole text when there is none).
std::string AfterLastSlash(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file name as a 47-character title: too long a name loses characters
// before its extension, so "….mp3" still tells what the file was.
std::string TitleFromFileName(const std::string& name_utf8) {
  std::string title = Latin1FromUtf8(name_utf8);
  if (title.size() <= format::kTextLimit) return title;
  const size_t dot = title.rfind('.');
  if (dot == std::string::npos || dot == 0 || title.size() - dot >= format::kTextLimit) {
    return title.substr(0, format::kTextLimit);
  }
  const std::string extension = title.substr(dot);
  return title.substr(0, format::kTextLimit - extension.size()) + extension;
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

bool EndsWithMp3(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char ch) { return char(std::tolower(ch)); });
  return tail == ".mp3";
}

// The MP3 files directly in `folder`, sorted by name; false when it cannot
// be read.
bool ListMp3Files(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!EndsWithMp3(name)) continue;
    struct stat info;
    const std::string path = folder + "/" + name;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    names->push_back(name);
  }
  closedir(dir);
  std::sort(names->begin(), names->end());
  return true;
}

std::string FolderName(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return AfterLastSlash(folder);
}

}  // namespace

Result PrepareSong(const std::string& path, const std::optional<std::string>& default_album_latin1,
                   std::unique_ptr<TrackNode>* song, std::string* album_latin1) {
  SourceFile file;
  Result r = file.Open(path, kCouldNotOpenFile);
  if (!r.ok()) return r;
  if (file.size() == 0) return Result::Error(ResultCode::kInvalidArgument, kFileEmpty);

  auto node = std::make_unique<TrackNode>();
  node->sourcePath = path;
  uint64_t audio_bytes = file.size();
  Id3v1Tag tag;
  bool tagged = false;
  if (file.size() >= kId3v1Size) {
    std::array<uint8_t, kId3v1Size> block{};
    r = file.ReadAt(file.size() - kId3v1Size, kId3v1Size, block.data(), kCouldNotReadFile);
    if (!r.ok()) return r;
    tagged = ParseId3v1(block, &tag);
  }
  if (tagged) {
    audio_bytes -= kId3v1Size;
    node->record.setArtist(tag.artist);
    node->record.setTitle(tag.title);
    node->tagTrackNumber = tag.trackNumber;
    if (!tag.album.empty()) {
      *album_latin1 = tag.album;
    } else {
      *album_latin1 = default_album_latin1.has_value() ? *default_album_latin1 : kNewCdAlbum;
    }
  } else {
    node->record.setArtist(kUnknownArtist);
    node->record.setTitle(TitleFromFileName(AfterLastSlash(path)));
    node->tagTrackNumber = 0;
    *album_latin1 = kNewCdAlbum;
  }
  if (audio_bytes > kMaxSongAudioBytes) return Result::Error(ResultCode::kLimit, kFileTooLarge);
  node->record.setSize(uint32_t(audio_bytes));
  *song = std::move(node);
  return Result::Ok();
}

Result AddFile(PlayerVolume& volume, const std::string& path,
               const std::optional<std::string>& default_album) {
  std::optional<std::string> album_default;
  if (default_album.has_value()) album_default = VolumeTextFromUtf8(*default_album);
  std::unique_ptr<TrackNode> song;
  std::string album;
  Result r = PrepareSong(path, album_default, &song, &album);
  if (!r.ok()) return r;
  r = AddToPendingCd(volume, album, std::move(song));
  volume.EstimateDownloadKilobytes();
  return r;
}

Result AddToPendingCd(PlayerVolume& volume, const std::string& album_latin1,
                      std::unique_ptr<TrackNode> song) {
  VolumeModel& model = volume.model();
  std::lock_guard<std::mutex> lock(model.pendingMutex);
  const std::string album = album_latin1.substr(0, format::kTextLimit);
  const std::string artist = song->record.artist();

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
  auto at = slots.end();
  if (song->tagTrackNumber != 0) {
    at = std::find_if(slots.begin(), slots.end(), [&](const std::unique_ptr<TrackNode>& other) {
      return song->tagTrackNumber < other->tagTrackNumber;
    });
  }
  slots.insert(at, std::move(song));
  FillProposedCdTracks(volume.reporter(), *target);
  return Result::Ok();
}

void FillProposedCdTracks(VolumeReporter& reporter, CdNode& cd) {
  reporter.DeleteChildren(Tree::kPending, cd.treeItem);
  const std::string cd_artist = cd.record.artist();
  for (const auto& song : cd.pendingTracks) {
    song->treeItem = reporter.InsertTrackItem(Tree::kPending, cd.treeItem,
                                              TrackLabel(song->record, cd_artist), song.get());
  }
  reporter.RedrawTree(Tree::kPending);
}

std::vector<AddFailure> DropFiles(PlayerVolume& volume, const std::vector<std::string>& paths) {
  std::vector<AddFailure> failures;
  for (const std::string& path : paths) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      std::vector<std::string> names;
      if (!ListMp3Files(path, &names)) {
        failures.push_back({path, Result::Error(ResultCode::kNotFound, "Could not open folder!")});
        continue;
      }
      const std::string name = FolderName(path);
      const std::optional<std::string> album =
          name.empty() ? std::nullopt : std::optional<std::string>(name);
      const std::string prefix = path.back() == '/' ? path : path + "/";
      for (const std::string& file : names) {
        Result r = AddFile(volume, prefix + file, album);
        if (!r.ok()) failures.push_back({prefix + file, r});
      }
      continue;
    }
    Result r = AddFile(volume, path, std::nullopt);
    if (!r.ok()) failures.push_back({path, r});
  }
  return failures;
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
  if (volume.deviceState() == DeviceState::kReady && volume.busyState() == BusyState::kIdle) {
    free_kilobytes_ = volume.FreeKilobytes();
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
