#include "frontend/restore_plan.h"

#include <QFile>
#include <QFileInfo>

#include "base/latin1.h"
#include "format/format_constants.h"
#include "frontend/file_digest.h"
#include "frontend/track_file_writer.h"
#include "volume/pending_list.h"

namespace frontend {
namespace {

using jukepak::Result;
using jukepak::ResultCode;

std::string Describe(const BackupTrack& track) {
  return jukepak::Utf8FromLatin1(track.artist) + " / " + jukepak::Utf8FromLatin1(track.title);
}

// How many tracks of the player's CD (artist, album) match each manifest
// track, used up one by one.
class PlayerTracks {
 public:
  PlayerTracks(const jukepak::VolumeModel& model, const BackupCd& cd) {
    for (const auto& player : model.playerCds) {
      if (player->record.artist() != cd.artist || player->record.album() != cd.album) continue;
      for (const auto& track : player->tracks) tracks_.push_back(&track->record);
    }
  }
  // True, using it up, when the player holds this track.
  bool Take(const BackupTrack& track) {
    for (auto& record : tracks_) {
      if (record == nullptr || record->title() != track.title || record->artist() != track.artist ||
          record->size() != uint64_t(track.audioSize) + jukepak::format::kTrackRecordSize) {
        continue;
      }
      record = nullptr;
      return true;
    }
    return false;
  }

 private:
  std::vector<const jukepak::TrackRecord*> tracks_;
};

// Where the audio may lie in the file: where the backup put it, and after
// the file's leading tag now (the file was retagged since).
std::vector<uint64_t> AudioOffsets(const QString& file, uint64_t recorded) {
  std::vector<uint64_t> offsets{recorded};
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return offsets;
  const uint64_t now = LeadingId3v2Size(in.read(10));
  if (now != recorded) offsets.push_back(now);
  return offsets;
}

Result AddSong(jukepak::PlayerVolume& volume, const QString& folder, const BackupCd& cd,
               uint32_t slot, std::vector<jukepak::FilePiece> pieces) {
  const BackupTrack& track = cd.tracks[slot];
  auto song = std::make_unique<jukepak::TrackNode>();
  song->sourcePath = NativePath(folder + "/" + QString::fromStdString(track.copy->file));
  song->record.setTitle(track.title);
  song->record.setArtist(track.artist);
  song->record.setSize(track.audioSize);
  song->cdArtist = cd.artist;
  song->tagTrackNumber = int32_t(slot + 1);  // keeps the manifest's order in the pending CD
  song->audioPieces = std::move(pieces);
  return jukepak::AddToPendingCdOfArtist(volume, cd.album, cd.artist, std::move(song));
}

}  // namespace

Result RestoredAudio(const QString& folder, const BackupTrack& track,
                     std::vector<jukepak::FilePiece>* pieces) {
  pieces->clear();
  if (!track.copy) return Result::Error(ResultCode::kNotFound, "it was not backed up");
  const BackupCopy& copy = *track.copy;
  if (copy.leadingTagSize > track.audioSize) {
    return Result::Error(ResultCode::kCorrupt,
                         "the manifest's leading tag is larger than the audio");
  }
  const QString file = folder + "/" + QString::fromStdString(copy.file);
  if (!QFileInfo(file).isFile()) {
    return Result::Error(ResultCode::kNotFound, copy.file + " is missing");
  }
  std::vector<jukepak::FilePiece> head;
  if (!copy.leadingTag.empty()) {
    head.push_back(
        jukepak::FilePiece{NativePath(folder + "/" + QString::fromStdString(copy.leadingTag)), 0,
                           copy.leadingTagSize});
  }
  const uint64_t rest = track.audioSize - copy.leadingTagSize;
  for (const uint64_t offset : AudioOffsets(file, copy.audioOffset)) {
    std::vector<jukepak::FilePiece> candidate = head;
    if (rest > 0) candidate.push_back(jukepak::FilePiece{NativePath(file), offset, rest});
    std::string digest;
    const Result r = Sha256OfPieces(candidate, &digest);
    if (r.code() == ResultCode::kNotFound) return r;  // the kept tag is missing
    if (r.ok() && digest == copy.audioSha256) {
      *pieces = std::move(candidate);
      return Result::Ok();
    }
  }
  return Result::Error(ResultCode::kCorrupt, copy.file + " no longer holds the track's audio");
}

Result AddRestoredSongs(jukepak::PlayerVolume& volume, const QString& folder,
                        const BackupManifest& manifest, const CheckProgress& progress,
                        RestoreSummary* summary) {
  *summary = RestoreSummary();
  for (const BackupCd& cd : manifest.cds) summary->tracks += cd.tracks.size();
  Result first;
  size_t index = 0;
  for (const BackupCd& cd : manifest.cds) {
    PlayerTracks on_player(volume.model(), cd);
    for (uint32_t slot = 0; slot < cd.tracks.size(); ++slot, ++index) {
      if (progress && !progress(index, summary->tracks)) {
        volume.EstimateDownloadKilobytes();
        return Result::Error(ResultCode::kCancelled, "the restore was cancelled");
      }
      const BackupTrack& track = cd.tracks[slot];
      if (on_player.Take(track)) {
        ++summary->alreadyThere;
        continue;
      }
      std::vector<jukepak::FilePiece> pieces;
      Result r = RestoredAudio(folder, track, &pieces);
      if (r.ok()) r = AddSong(volume, folder, cd, slot, std::move(pieces));
      if (r.ok()) {
        ++summary->added;
        continue;
      }
      summary->failures.push_back(
          TrackFailure{Describe(track), r.message(), track.copy ? track.copy->file : std::string()});
      if (first.ok()) first = r;
    }
  }
  volume.EstimateDownloadKilobytes();
  if (first.ok()) return first;
  return Result::Error(
      first.code(), std::to_string(summary->failures.size()) + " track(s) cannot be restored: " +
                        summary->failures.front().track + ": " + summary->failures.front().error);
}

}  // namespace frontend
