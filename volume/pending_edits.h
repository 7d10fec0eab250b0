// Edits of the pending tree besides adding and removing: renaming a pending
// CD or song, and moving a song within its CD or to another pending CD.
// They change only the PC-side list (nothing is written to the player).
// Entries are named by their node ids; each edit that changes the list sends
// it (PendingListChanged).
//
// Threads: the front end's thread; each takes the model's pendingMutex. While
// a sync runs they are refused with kBusy ("Pending songs cannot be changed
// while a sync runs."), so no edit touches a song the job is writing.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "volume/player_volume.h"

namespace jukepak {

// New artist and album (UTF-8, stored as the player's text,
// PlayerFieldFromUtf8) of the pending CD `cd_id`; its songs are labelled
// anew, since their labels compare with the CD's artist. kNotFound when no
// pending CD has that id.
Result RenamePendingCd(PlayerVolume& volume, uint64_t cd_id, std::string_view artist_utf8,
                       std::string_view album_utf8);

// New artist and title of the pending song `song_id`.
Result RenamePendingSong(PlayerVolume& volume, uint64_t song_id, std::string_view artist_utf8,
                         std::string_view title_utf8);

// Moves the song `song_id` so that it stands at slot `position` of the
// pending CD `cd_id` afterwards: within its own CD 0 <= position < count
// (larger values mean last), into another CD 0 <= position <= count. A move
// into a CD of another album is refused with "No more tracks allowed on
// this CD" (kLimit) when that album's pending songs and the player's tracks
// of it reach 100. A CD left without songs goes from the list.
Result MovePendingSong(PlayerVolume& volume, uint64_t song_id, uint64_t cd_id, size_t position);

// The drop of the song `song_id` onto the entry `onto_id` (a song or a CD)
// of the pending tree: onto a song, the dragged song takes that song's slot
// (within one CD onto a later song it ends after it, onto an earlier one
// before it; into another CD it goes before it); onto its own CD nothing
// changes; onto another CD it goes last. Refused as MovePendingSong.
Result DropPendingSong(PlayerVolume& volume, uint64_t song_id, uint64_t onto_id);

// Artist and title (UTF-8) of a pending CD (artist, album) or song (artist,
// title). False when no pending entry has that id.
bool PendingTexts(PlayerVolume& volume, uint64_t id, std::string* artist_utf8,
                  std::string* title_utf8);

}  // namespace jukepak
