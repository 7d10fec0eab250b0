// The in-memory volume: the header, the whole FAT with its dirty sectors, the
// player's directory and the pending additions. One CdNode layout serves both
// the player list and the pending list; a pending TrackNode becomes a player
// track when the sync writes it.
//
// Threads: the player's directory, the header and the FAT belong to the
// thread that runs the volume's work at the moment: the worker while a job
// runs, the front end's thread otherwise (busyState is the hand-over). The
// pending list is shared: the front end adds to it while a sync consumes it,
// so it, and what the additions need to know of the directory, are guarded
// by pendingMutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/mutex.h"

#include "format/cd_record.h"
#include "format/fat.h"
#include "format/track_record.h"
#include "format/volume_header.h"
#include "volume/song_audio.h"

namespace jukepak {

// A new id for a CD or track node: unique in the process and never 0. Front
// ends name entries by it (list_snapshot.h).
uint64_t NewNodeId();

struct TrackNode {
  uint64_t id = NewNodeId();    // kept when a pending song becomes a player track
  std::string sourcePath;       // the song's file on the PC (pending songs)
  int32_t tagTrackNumber = 0;   // the tags' track number; 0 without one
  int32_t tagDiscNumber = 0;    // the tags' disc number; 0 without one
  // Pending songs: the artist of the CD the song joins (its album artist,
  // "Various Artists" or its own artist), 8-bit; empty means its own.
  std::string cdArtist;
  // Pending songs in another format than MP3: the sync converts them, and
  // their size field holds an estimate from the play time until then.
  bool needsConversion = false;
  double sourceSeconds = 0;     // their play time
  // Pending songs whose audio is not simply the start of sourcePath (a song
  // restored from a backup): the file ranges that make it up, in order,
  // their lengths adding up to the size field. Empty for the others.
  std::vector<FilePiece> audioPieces;
  uint32_t clusterCount = 0;
  std::vector<uint32_t> clusterList;  // chain order; filled when the track is written
  uint32_t firstCluster = 0;
  std::vector<double> clusterTimes;   // start time of each chain cluster (seconds)
  // A mount reads only the record's first sector (signature, size, texts and
  // the first marks); the second, with the later index marks, is read when
  // something needs them (PlayerVolume::LoadIndexMarks). True once `record`
  // holds both: written by the sync, or loaded.
  bool marksLoaded = false;
  TrackRecord record;
};

struct CdNode {
  uint64_t id = NewNodeId();
  CdRecord record;
  // Pending CDs: the songs still to be written, in play order (at most 100).
  std::vector<std::unique_ptr<TrackNode>> pendingTracks;
  // Player CDs: the tracks in the record's order (at most 100).
  std::vector<std::unique_ptr<TrackNode>> tracks;
  bool hasWork = false;
  uint32_t sector = 0;  // the record's sector on the volume (player CDs)
};

// What the pending list must know of the player's directory: the CD count
// (the estimate counts the CD records the new CDs add) and the tracks each
// player CD holds (an addition may not take its CD past 100). Whoever changes
// the directory brings them up to date (PlayerVolume::PublishDirectory).
struct DirectoryFacts {
  uint32_t cdCount = 0;
  std::map<std::pair<std::string, std::string>, uint32_t> tracksOfKey;  // (album, artist), 8-bit
};

struct VolumeModel {
  VolumeHeader header;
  uint32_t sectorCount = 0;   // N, from the driver
  uint32_t clusterLimit = 0;  // N / 16
  Fat fat;                    // empty until the first mount
  // Player CDs in CD-area order: the node of sector cdStart first.
  std::vector<std::unique_ptr<CdNode>> playerCds;
  mutable Mutex pendingMutex;
  // Pending CDs, most recently created first.
  std::vector<std::unique_ptr<CdNode>> pendingCds GUARDED_BY(pendingMutex);
  DirectoryFacts directoryFacts GUARDED_BY(pendingMutex);
  uint32_t downloadKilobytes GUARDED_BY(pendingMutex) = 0;
  uint32_t nextFreeCluster = 0;
  // Set by the mount when the CD records are not where the next CD record
  // can safely go (cd_run.h): the directory is shown, and nothing of it is
  // written until Volmend has repaired it. The window reads it.
  std::atomic<bool> readOnly{false};
  uint32_t freeKilobytes = 0;

  // Test-only: the pending CDs without the lock, for a test that looks while
  // no other thread can touch them.
  std::vector<std::unique_ptr<CdNode>>& TEST_pendingCds() NO_THREAD_SAFETY_ANALYSIS {
    return pendingCds;
  }
};

// Tree labels (UTF-8). A CD: artist, " / ", album. A track: its title, or its
// artist, " / ", its title when the track's artist differs from the CD's
// (exact comparison). Both cut to 98 characters.
std::string CdLabel(const CdRecord& record);
std::string TrackLabel(const TrackRecord& track, const std::string& cd_artist_latin1);
// A pending song's label: TrackLabel, and for a song the sync will convert
// its estimated size, marked as an estimate ("  (~1.41 Mb, estimated)").
std::string PendingSongLabel(const TrackNode& song, const std::string& cd_artist_latin1);

}  // namespace jukepak
