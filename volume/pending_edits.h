// Edits of the pending tree besides adding and removing: renaming a pending
// CD or song, and moving a song within its CD or to another pending CD.
// They change only the PC-side list (nothing is written to the player).
//
// Threads: the front end's thread; each takes the model's pendingMutex. While
// a sync runs they are refused with kBusy ("Pending songs cannot be changed
// while a sync runs."), so no edit touches a song the job is writing.
#pragma once

#include <string_view>

#include "base/result.h"
#include "volume/player_volume.h"

namespace jukepak {

// New artist and album (UTF-8, stored as the player's text, PlayerFieldFromUtf8) of the
// pending CD shown by `cd_item`; its songs are labelled anew, since their
// labels compare with the CD's artist. kNotFound when no pending CD has it.
Result RenamePendingCd(PlayerVolume& volume, TreeItem cd_item, std::string_view artist_utf8,
                       std::string_view album_utf8);

// New artist and title of the pending song shown by `song_item`.
Result RenamePendingSong(PlayerVolume& volume, TreeItem song_item, std::string_view artist_utf8,
                         std::string_view title_utf8);

// The drop of the song shown by `song_item` onto the entry `onto_item` of
// the pending tree: onto a song, the dragged song takes that song's slot
// (within one CD onto a later song it ends after it, onto an earlier one
// before it; into another CD it goes before it); onto its own CD nothing
// changes; onto another CD it goes last. A move into a CD of another album
// is refused with "No more tracks allowed on this CD" (kLimit) when that
// album's pending songs and the player's tracks of it reach 100. Both
// CDs' song entries are rebuilt; a CD left without songs goes from the list.
Result DropPendingSong(PlayerVolume& volume, TreeItem song_item, TreeItem onto_item);

// Artist and title (UTF-8) of a pending CD or song, for the rename dialog.
// False when no pending entry has that tree item.
bool PendingTexts(PlayerVolume& volume, TreeItem item, std::string* artist_utf8,
                  std::string* title_utf8);

}  // namespace jukepak
