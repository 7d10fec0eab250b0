// DropFiles: what a drop on the window, an import or the command line's
// sync adds: files, folders of audio files and playlists.

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>

#include "volume/audio_folder.h"
#include "volume/pending_list.h"
#include "volume/playlist.h"

namespace jukepak {
namespace {

constexpr size_t kMaxPlaylistNesting = 8;

class Drop {
 public:
  Drop(PlayerVolume& volume, const DropOptions& options) : volume_(volume), options_(options) {}

  void AddPath(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      AddFolder(path);
    } else if (IsPlaylistName(path)) {
      AddPlaylist(path);
    } else {
      AddSong(path, std::nullopt);
    }
  }

  std::vector<AddFailure> failures() { return std::move(failures_); }

 private:
  void AddSong(const std::string& path, const std::optional<std::string>& album) {
    const Result r = AddFileQuietly(volume_, path, album);
    if (!r.ok()) failures_.push_back({path, r});
  }

  void AddFolder(const std::string& folder) {
    std::vector<FolderSong> songs;
    std::vector<FolderProblem> problems;
    ListAudioFiles(folder, options_.includeSubfolders, &songs, &problems);
    for (const FolderProblem& problem : problems) failures_.push_back({problem.path, problem.result});
    for (const FolderSong& song : songs) {
      AddSong(song.path, song.folderName.empty() ? std::nullopt
                                                 : std::optional<std::string>(song.folderName));
    }
  }

  void AddPlaylist(const std::string& path) {
    char resolved[PATH_MAX];
    const std::string real = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    if (std::find(open_.begin(), open_.end(), real) != open_.end()) {
      Fail(path, ResultCode::kInvalidArgument, "the playlist lists itself");
      return;
    }
    if (open_.size() >= kMaxPlaylistNesting) {
      Fail(path, ResultCode::kLimit, "playlists within playlists go too deep");
      return;
    }
    std::vector<PlaylistEntry> entries;
    const Result read = ReadPlaylist(path, &entries);
    if (!read.ok()) {
      failures_.push_back({path, read});
      return;
    }
    open_.push_back(real);
    for (const PlaylistEntry& entry : entries) {
      if (entry.url) {
        Fail(entry.location, ResultCode::kUnsupported, kUrlRefused);
      } else {
        AddPath(entry.location);
      }
    }
    open_.pop_back();
  }

  void Fail(const std::string& path, ResultCode code, const std::string& why) {
    failures_.push_back({path, Result::Error(code, why)});
  }

  PlayerVolume& volume_;
  const DropOptions options_;
  std::vector<std::string> open_;  // the playlists being read, outermost first
  std::vector<AddFailure> failures_;
};

}  // namespace

std::vector<AddFailure> DropFiles(PlayerVolume& volume, const std::vector<std::string>& paths,
                                  const DropOptions& options) {
  Drop drop(volume, options);
  for (const std::string& path : paths) drop.AddPath(path);
  // One event for the whole drop: a folder of a thousand songs is one change.
  volume.PublishPending();
  return drop.failures();
}

}  // namespace jukepak
