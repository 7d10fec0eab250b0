// The manifest of a backup folder: the player's directory exactly (CD order,
// the texts as the player stores them, track order) and, for each track, the
// file of the folder that holds it and what a restore needs to give the
// player back the same audio bytes. It lies at the folder's top as JSON
// (kManifestName); the README describes the format.
//
// Texts are the player's 8-bit bytes. In the JSON each byte is the character
// of the same number (U+0001 to U+00FF), which keeps every byte and reads as
// the Latin-1 text the player shows.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace frontend {

inline constexpr char kManifestName[] = "songlift-backup.json";
// Where the ID3v2 tags that tracks began with are kept (see BackupCopy).
inline constexpr char kLeadingTagFolder[] = ".songlift-backup/tags";

// A track's file in the backup folder and where its audio bytes lie in it.
// The file is the track as export writes it: its own ID3v2 tag, the audio
// bytes, an ID3v1 block. When the audio began with an ID3v2 tag, the file's
// tag took that tag's place; the original tag is kept apart (leadingTag), so
// the audio bytes are that tag followed by the file's bytes from audioOffset.
struct BackupCopy {
  std::string file;  // relative to the folder, '/'-separated, UTF-8
  uint64_t fileSize = 0;
  std::string fileSha256;      // lowercase hex, of the file as written
  int64_t fileModifiedNs = 0;  // its modification time as written (a quick "untouched" check)
  std::string audioSha256;     // of the track's audio bytes
  uint64_t audioOffset = 0;
  std::string leadingTag;  // relative path of the kept tag; empty when there is none
  uint64_t leadingTagSize = 0;
};

struct BackupTrack {
  std::string title;               // 8-bit, as stored
  std::string artist;              // 8-bit, as stored
  uint32_t audioSize = 0;          // the record's size field less the 1024 of the record
  std::optional<BackupCopy> copy;  // none: not backed up (an interrupted or failed backup)
};

struct BackupCd {
  std::string artist;               // 8-bit, as stored
  std::string album;                // 8-bit, as stored
  std::vector<BackupTrack> tracks;  // in the CD record's order
};

struct BackupManifest {
  std::vector<BackupCd> cds;  // in the directory's order: CD 1 of ls first

  // True when every track has a copy.
  bool Complete() const;
};

// The manifest as JSON text (indented, ending in a newline).
QByteArray ManifestJson(const BackupManifest& manifest);

// Reads JSON text into *manifest. Fails with kCorrupt, saying what is wrong,
// on text that is not such a manifest: not JSON, another format or version,
// a missing or mistyped field, a text with a character above U+00FF or
// longer than 47, a path that is absolute or climbs out of the folder
// ("..", "."), a leading tag outside kLeadingTagFolder. *manifest is
// untouched then.
jukepak::Result ParseManifest(const QByteArray& json, BackupManifest* manifest);

// Reads the manifest of `folder`. *found is false (and *manifest empty)
// when the folder holds none; fails when it cannot be read or parsed.
jukepak::Result LoadManifest(const QString& folder, BackupManifest* manifest, bool* found);

// Writes the manifest of `folder` atomically (a reader sees the old one or
// the new one), and only when its text differs from what is there, so a
// backup that changed nothing leaves the file as it was.
jukepak::Result SaveManifest(const QString& folder, const BackupManifest& manifest);

// True when `path` is a relative path that stays inside the folder: no
// leading '/', no empty, "." or ".." component, no NUL.
bool IsPathInsideFolder(const std::string& path);

}  // namespace frontend
