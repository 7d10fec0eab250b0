// What a song file's tags say, and the interfaces through which the engine
// reads and writes tags. The real implementations (taglib_tags.h) use
// TagLib; tests may hand the engine their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace jukepak {

// Tag texts as Unicode (UTF-8), trimmed; empty when the tags lack them.
struct SongTags {
  std::string title;
  std::string artist;
  std::string album;
  std::string albumArtist;
  uint32_t track = 0;  // 0: no usable number
  uint32_t disc = 0;
  bool compilation = false;

  // True when a tag gave a title, an artist or an album: a file without
  // that is named after its file instead.
  bool HasTexts() const { return !title.empty() || !artist.empty() || !album.empty(); }
};

// Track and disc numbers above this are taken for garbage (no number).
inline constexpr uint32_t kMaxTagNumber = 999;

// A track or disc number as tags store it: "7", " 07 ", "2/10" (the part
// before the slash). Anything else ("x/y", "3a", "", "99999", "0") gives 0.
uint32_t ParseTagNumber(std::string_view text);

class TagReader {
 public:
  virtual ~TagReader() = default;
  // Reads the tags of the file at `path` into *tags (cleared first). The
  // richer tag wins field by field: an MP3's ID3v2 over its APE tag over its
  // ID3v1 block; other formats' own tags (Xiph comments, MP4 atoms, ...)
  // over ID3 tags they may carry. A file without tags, or one the reader
  // does not understand, gives Ok and empty tags. Fails only when the file
  // cannot be read at all. Thread-safe.
  virtual Result Read(const std::string& path, SongTags* tags) = 0;
};

// The texts an exported track's tags get: the player's 8-bit (Latin-1) texts.
struct ExportTags {
  std::string title;
  std::string artist;
  std::string album;
  std::string albumArtist;
  uint32_t track = 0;  // 0: none
};

class TagWriter {
 public:
  virtual ~TagWriter() = default;
  // Gives the MP3 file at `path` an ID3v2.3 tag with these texts (title,
  // artist, album, album artist, track number). An ID3v2 tag the file
  // begins with is updated in place, its other frames kept, so the file
  // never carries two; the rest of the file (an ID3v1 block included) stays
  // as it is. Fails with kIoError when the file cannot be rewritten.
  virtual Result Write(const std::string& path, const ExportTags& tags) = 0;
};

}  // namespace jukepak
