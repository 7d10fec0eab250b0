// The names tracks get in a folder on the PC: "<CD artist>/<album>/<NN>
// <title>.mp3", each part made from the player's 8-bit text so that any file
// system takes it, and numbered when two tracks would get the same name.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "format/cd_record.h"
#include "format/track_record.h"

namespace frontend {

// The longest name part, in UTF-8 bytes (file systems allow 255; this
// leaves room for a " (n)" and a temporary file's prefix).
inline constexpr size_t kMaxNamePartBytes = 180;

// One file or folder name (UTF-8) from a player text (8-bit): "/", "\",
// control characters and the characters FAT and NTFS refuse (<>:"|?*)
// become "_", a leading dot too (no hidden files, no "." or ".."); trailing
// dots and spaces go, as do leading spaces; cut to kMaxNamePartBytes at a
// character's end. `fallback` when nothing is left.
std::string SafeNamePart(std::string_view player_text, std::string_view fallback);

// "<CD artist>/<album>/<NN> <title>.mp3" for track `slot` of a CD (NN = slot
// + 1, two digits; "NN.mp3" for an empty title; "Unknown" for an empty
// artist or album).
std::string TrackFilePath(const jukepak::CdRecord& cd, uint32_t slot,
                          const jukepak::TrackRecord& track);

// `path` with " (n)" before its extension, for n >= 2; `path` itself for n < 2.
std::string NumberedPath(const std::string& path, int n);

// The relative paths taken in one run, compared without regard to case so
// that names stay distinct on file systems that ignore it.
class PathClaims {
 public:
  bool Claimed(const std::string& path) const;
  // False (and nothing claimed) when the path is taken already.
  bool Claim(const std::string& path);
  // True when two paths name the same file on such a file system.
  static bool Same(const std::string& a, const std::string& b) { return Key(a) == Key(b); }

 private:
  static std::string Key(const std::string& path);
  std::set<std::string> keys_;
};

}  // namespace frontend
