// Restoring a backup folder onto the player through the ordinary sync.
//
// AddRestoredSongs turns the manifest's tracks that the player lacks into
// pending songs with the manifest's texts exactly, in the manifest's CD and
// track order, each reading its audio bytes from the folder (its kept
// leading tag, then its file from audioOffset); a sync then writes them.
// New CDs end up in the manifest's order, before the CDs the player holds;
// the songs of a CD the player holds already go after its tracks.
//
// A track is on the player already when the player's CD of the same artist
// and album holds one of the same title, artist and size; they are counted,
// so a CD that holds the same song twice gets both back. Every file is
// checked against the manifest's digest of the audio before its song is
// added: a file retagged since the backup still serves (its audio is found
// after its new tag), one whose audio changed is reported. CDs without
// tracks are not made (the sync makes a CD with its first track).
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"
#include "frontend/backup_manifest.h"
#include "frontend/backup_run.h"
#include "volume/player_volume.h"

namespace frontend {

struct RestoreSummary {
  size_t tracks = 0;        // in the manifest
  size_t alreadyThere = 0;  // on the player before the restore
  size_t added = 0;         // to the pending list
  // Not backed up, file missing or changed, no room left on the CD.
  std::vector<TrackFailure> failures;
};

// Called before track `index` (from 0) of `count` is checked; returning
// false stops the checks (kCancelled, nothing more added).
using CheckProgress = std::function<bool(size_t index, size_t count)>;

// Adds the songs as above to `volume`'s pending list (the front end's
// thread, no sync running; the player's directory mounted). Fails with
// kCancelled when `progress` says so, with the first failure's code when a
// track could not be added (the others are; *summary lists each).
jukepak::Result AddRestoredSongs(jukepak::PlayerVolume& volume, const QString& folder,
                                 const BackupManifest& manifest, const CheckProgress& progress,
                                 RestoreSummary* summary);

// The file ranges that hold a backed-up track's audio bytes, checked
// against its digest. Fails with kNotFound when a file is missing and
// kCorrupt when none of the places the audio may lie holds it.
jukepak::Result RestoredAudio(const QString& folder, const BackupTrack& track,
                              std::vector<jukepak::FilePiece>* pieces);

}  // namespace frontend
