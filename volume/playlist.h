// .m3u and .m3u8 playlists: a list of songs, one a line. Lines starting
// with "#" are comments (the extended format's "#EXTINF" lines included);
// the rest name a file, by a path relative to the playlist's folder or an
// absolute one, or a URL. A .m3u8 is UTF-8; an .m3u is UTF-8 when it reads
// as UTF-8 and Latin-1 otherwise; a Latin-1 entry names the file whose name
// is those bytes when there is one, else the file named by its text in UTF-8.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace jukepak {

inline constexpr char kUrlRefused[] = "a URL, not a file on this computer";

struct PlaylistEntry {
  // A path (as the file system takes it), or for an entry that is a URL the URL as written.
  std::string location;
  bool url = false;
};

// True when the name ends in ".m3u" or ".m3u8" (any case).
bool IsPlaylistName(const std::string& path);

// Reads the playlist at `path` into *entries (cleared first), in its order.
// Relative paths are made absolute from the playlist's folder; "file://"
// URLs become paths; a Windows path with backslashes that does not exist as
// written is tried with slashes. Fails with kNotFound when the playlist
// cannot be read and kLimit when it is larger than 4 MB.
Result ReadPlaylist(const std::string& path, std::vector<PlaylistEntry>* entries);

}  // namespace jukepak
