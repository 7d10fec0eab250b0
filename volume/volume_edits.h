// Edits of the player's directory: deleting tracks and CDs, renaming them and
// moving a track within a CD or to another one. Each edit changes the
// in-memory model, writes the records it changed at once, so that the model
// stays what a fresh mount of the disk would read, and then sends the
// directory (PlayerDirectoryChanged).
//
// Threads: the front end's thread, while the volume is mounted (deviceState
// kReady) and no job runs (busyState kIdle). Otherwise an edit changes
// nothing and returns kBusy.
//
// Failures: arguments that name no CD, track or slot of the directory are
// refused with kInvalidArgument before anything changes. A driver failure
// stops the edit at the failed write; it is reported through
// PlayerVolume::ReportDriverFailure (deviceState kNoDriver, busyState kIdle)
// and returned. The model then holds the edit's outcome, which the disk may
// lack, and nothing more runs over it until the volume is mounted again.
//
// Nodes: CdNode and TrackNode pointers must belong to the volume's player
// list (FindPlayerCd finds them by the ids a front end shows). An edit that
// removes a node releases it; the pointer is dangling afterwards.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "volume/player_volume.h"

namespace jukepak {

// The message of a move into a CD that is full.
inline constexpr char kCdFullMessage[] = "No more tracks allowed on this CD";

// Writes the CD's record to its sector. Refuses (kCorrupt) a sector outside
// the CD area. Not guarded by the busy test: the edits below call it.
Result WriteCdRecord(PlayerVolume& volume, const CdNode& cd);
// Writes the first sector of the track's record (signature, size, texts and
// the first index marks) to its first cluster; the second sector, with the
// later marks, is left as it is on the disk. Refuses (kCorrupt) a track whose first cluster is not
// in the audio area.
Result WriteTrackRecord(PlayerVolume& volume, const TrackNode& track);

// Removes `track` from `cd`: every start-cluster slot of the record that
// names the track's first cluster goes (with the tracks it stands for), the
// record is written, then the track's chain is freed
// in the FAT and the dirty FAT sectors are flushed. The chain walk stops at an
// end-of-chain entry, a free entry, an entry at or above audioClusters or
// after audioClusters steps; it frees only what it walked, and nothing while
// another CD still has a track starting at that cluster. nextFreeCluster is
// lowered to the lowest freed cluster. *tracks_left receives the CD's new
// track count (the CD itself stays, also with 0 tracks).
Result DeleteTrack(PlayerVolume& volume, CdNode* cd, TrackNode* track, uint32_t* tracks_left);

// Removes a CD that holds no track (kInvalidArgument otherwise): every record
// below it in the CD area moves up one sector, nearest first, then the header
// is written with cdStart one higher and cdCount one lower. With the last CD gone cdStart stays one above its last value.
Result DeleteCd(PlayerVolume& volume, CdNode* cd);

// Deletes track `slot` of `cd`; when it was the CD's last track, the CD goes
// as well. This is how the window deletes a track.
Result DeletePlayerTrack(PlayerVolume& volume, CdNode* cd, uint32_t slot);
// Deletes a CD as the window does: its tracks one by one from the first, and
// the CD with the last one; a CD whose record holds no track goes at once.
Result DeletePlayerCd(PlayerVolume& volume, CdNode* cd);

// New artist and album of a CD (UTF-8; stored as the player's text, 47 characters,
// empty allowed); the tracks' labels change with it, since they compare with
// the CD's artist. Writes the CD record.
Result RenameCd(PlayerVolume& volume, CdNode* cd, std::string_view artist_utf8,
                std::string_view album_utf8);
// New artist and title of track `slot` of `cd`, as RenameCd; writes its
// track record.
Result RenameTrack(PlayerVolume& volume, CdNode* cd, uint32_t slot, std::string_view artist_utf8,
                   std::string_view title_utf8);

// Moves track `from` of `source` so that it stands at slot `position` of
// `target` afterwards; within one CD 0 <= position < count, into another CD
// 0 <= position <= its count. Only the start-cluster lists and the track
// counts change: for two CDs the target record is written first, then the
// source record (a cut between leaves the track listed twice, never lost).
// A CD that would lose its last track stays with 0 tracks. A move into
// another CD that holds 100 tracks is refused with kLimit and kCdFullMessage.
// Both CDs' track items are rebuilt. A move to the slot the track holds
// already changes and writes nothing.
Result MoveTrack(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target,
                 uint32_t position);
// The drop of a dragged track onto the track at slot `onto` of `target`: the
// track takes that slot. Within one CD a track dropped onto a later track
// thus ends after it, onto an earlier one before it; into another CD it goes
// before the track it was dropped on.
Result DropTrackOntoTrack(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target,
                          uint32_t onto);
// The drop onto a CD item: onto its own CD nothing changes; onto another CD
// the track goes last.
Result DropTrackOntoCd(PlayerVolume& volume, CdNode* source, uint32_t from, CdNode* target);

// The player CD with node id `cd_id`, or nullptr. While no job runs.
CdNode* FindPlayerCd(PlayerVolume& volume, uint64_t cd_id);
// The slot of the track with node id `track_id` in `cd`, or -1.
int FindPlayerTrack(const CdNode& cd, uint64_t track_id);

}  // namespace jukepak
