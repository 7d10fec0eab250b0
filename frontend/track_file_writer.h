// Writing one player track into a folder on the PC as export writes it
// (its own ID3v2.3 tag, the audio bytes, an ID3v1 block), safely: the file
// is made under a temporary name beside its final one, synced and renamed
// into place, so an interrupted copy never leaves a half file under a final
// name; a file of another content is never replaced.
#pragma once

#include <QString>
#include <span>
#include <string>

#include "base/result.h"
#include "frontend/backup_manifest.h"
#include "frontend/backup_names.h"
#include "volume/song_tags.h"
#include "volume/volume_model.h"

namespace frontend {

// What may stand at the track's path already.
enum class Placement {
  // Anything there stays: a file of the same bytes is taken as the copy
  // (nothing is written), another gets the next free numbered name.
  kKeepExisting,
  // The file there is this track's older copy, untouched since it was
  // written: it is replaced.
  kReplaceOlderCopy,
};

struct TrackFileRequest {
  const jukepak::CdNode* cd = nullptr;
  uint32_t slot = 0;
  QString folder;        // the top folder
  std::string relative;  // the wanted path below it (TrackFilePath, or an older copy's)
  Placement placement = Placement::kKeepExisting;
  // Keep the ID3v2 tag the audio begins with in kLeadingTagFolder when the
  // file's own tag takes its place (backups, for restore; not Copy to PC).
  bool keepLeadingTag = false;
};

struct WrittenTrackFile {
  BackupCopy copy;       // copy.file: where it ended, possibly numbered
  bool adopted = false;  // an identical file was there: nothing was written
};

// Writes the file of track request.slot of request.cd, whose audio bytes
// (ReadTrackAudio) are `audio`, with tags through `tag_writer`, and puts it
// into place as the request says, claiming its path in *claims (a claimed
// path counts as taken). On success *written describes the file. Fails with
// kIoError when the file or a folder cannot be made; nothing is left under
// the final name then. Requires request.slot < request.cd->tracks.size().
jukepak::Result WriteTrackFile(const TrackFileRequest& request, std::span<const uint8_t> audio,
                               jukepak::TagWriter& tag_writer, PathClaims* claims,
                               WrittenTrackFile* written);

// The modification time of `path` in nanoseconds and its size; false when
// it is not a regular file.
bool StatFile(const QString& path, int64_t* modified_ns, uint64_t* size);

// The size of the ID3v2 tag `header` (a file's first 10 bytes) begins with,
// header and footer included; 0 when it does not begin with one.
uint64_t LeadingId3v2Size(const QByteArray& header);

// A path of the engine's (8-bit, as the file system takes it) for a Qt path.
std::string NativePath(const QString& path);

}  // namespace frontend
