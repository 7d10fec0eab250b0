// Copying tracks off the player into a folder on the PC.
//
// BackupVolume copies every track of the mounted directory into the folder,
// as "<CD artist>/<album>/<NN> <title>.mp3" (backup_names.h), and keeps the
// folder's manifest (backup_manifest.h) in step with the player. A backup
// into a folder that holds one already copies only what is new or changed:
// - a track the manifest knows, at the same place with the same texts and
//   size, whose file is untouched (same size and modification time, or the
//   same digest), is not read and its file not touched;
// - a track whose file is missing gets it again;
// - a track whose file was changed in the folder is reported and left as
//   it is;
// - a track renamed, moved or renumbered on the player gets a new file
//   under its new name; its older copy goes when it is untouched;
// - files of tracks the player no longer holds stay, and are reported.
// The manifest is written only when its text changes, after each CD that
// got new files and at the end, so after a cancel or a failure it describes
// exactly the files that are there.
//
// CopyTracks is Copy to PC: the chosen tracks, named the same way, no
// manifest; an identical file already there counts as copied (unchanged),
// any other file at a name is left as it is, listed in changedInFolder, and
// the copy takes the next numbered name.
//
// Both read through the volume's device: the caller makes sure no job runs
// meanwhile (the command-line tool runs them on its thread, the window as a
// job of the worker). Cancel with PlayerVolume::RequestCancel (any thread, a
// signal handler too): the run stops within the cluster in hand, removes
// the file it was making, saves the manifest and returns kCancelled; the
// request is withdrawn at the end.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/player_volume.h"

namespace frontend {

// Follows a run. Calls come on the thread that runs it.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  // Once, with the number of tracks that will be read off the player.
  virtual void BeginCopies(size_t count) = 0;
  // Track `index` (from 0) of `count` is being read; `label` is "artist /
  // title" (UTF-8), `clusters` how many clusters it takes.
  virtual void BeginTrack(size_t index, size_t count, const std::string& label,
                          uint32_t clusters) = 0;
  virtual void TrackPosition(uint32_t clusters_read) = 0;
  virtual void EndCopies() = 0;
};

struct TrackFailure {
  std::string track;  // "artist / title", UTF-8
  std::string error;
  std::string file;  // the file it was to be, relative to the folder
};

struct CopySummary {
  size_t tracks = 0;                         // tracks the run covered
  std::vector<std::string> written;          // files written, relative to the folder
  size_t unchanged = 0;                      // tracks whose file was there and up to date
  std::vector<std::string> changedInFolder;  // files changed in the folder, left as they are
  std::vector<std::string> replaced;         // older copies of changed tracks, removed
  std::vector<std::string> notOnPlayer;      // files of tracks the player no longer holds, kept
  std::vector<TrackFailure> failures;        // tracks that could not be copied
  bool cancelled = false;
  bool complete = false;  // every track has its file (the manifest says so, for a backup)
};

// Backs up the mounted directory into `folder` (created when missing), as
// above. Fails with kCorrupt without touching the folder when its manifest
// cannot be read; with kCancelled after a cancel; with the first error when
// a track could not be copied (the others are, *summary lists each). A
// read failure of the driver stops the run and is reported as the engine
// reports driver failures; a damaged track is passed over.
jukepak::Result BackupVolume(jukepak::PlayerVolume& volume, const QString& folder,
                             CopyObserver& observer, CopySummary* summary);

struct TrackChoice {
  const jukepak::CdNode* cd = nullptr;
  uint32_t slot = 0;
};

// Copy to PC of `tracks` into `folder`, as above. Results as BackupVolume's.
jukepak::Result CopyTracks(jukepak::PlayerVolume& volume, const std::vector<TrackChoice>& tracks,
                           const QString& folder, CopyObserver& observer, CopySummary* summary);

// "artist / title" of a track, UTF-8.
std::string TrackDescription(const jukepak::TrackNode& track);

}  // namespace frontend
