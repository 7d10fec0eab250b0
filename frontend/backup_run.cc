#include "frontend/backup_run.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <optional>

#include "base/latin1.h"
#include "format/format_constants.h"
#include "frontend/backup_manifest.h"
#include "frontend/backup_names.h"
#include "frontend/file_digest.h"
#include "frontend/track_file_writer.h"
#include "volume/track_export.h"

namespace frontend {
namespace {

using jukepak::CdNode;
using jukepak::Result;
using jukepak::ResultCode;

// A track of the player as the run sees it.
struct PlayerTrack {
  const CdNode* cd = nullptr;
  size_t cdIndex = 0;  // in the new manifest
  uint32_t slot = 0;
  uint32_t entrySlot = 0;  // in its manifest CD
  const jukepak::TrackNode* node = nullptr;
  uint32_t audioSize() const { return node->record.size() - jukepak::format::kTrackRecordSize; }
};

// A track of the old manifest that has a file.
struct OldCopy {
  const BackupCd* cd = nullptr;
  uint32_t slot = 0;
  const BackupTrack* track = nullptr;
  bool used = false;
};

// A file to write.
struct FileWork {
  size_t track = 0;  // in the run's tracks
  std::string relative;
  Placement placement = Placement::kKeepExisting;
  // The track's older copy, removed once the new one is there.
  std::optional<std::string> superseded;
};

enum class FileState { kMissing, kUntouched, kChanged };

bool SameCd(const CdNode& cd, const BackupCd& old) {
  return cd.record.artist() == old.artist && cd.record.album() == old.album;
}

enum class MatchRule { kSameSongSamePlace, kSameSongSameCd, kSameSong, kSamePlace };

bool Matches(const PlayerTrack& t, const OldCopy& old, MatchRule rule) {
  if (t.audioSize() != old.track->audioSize) return false;
  const bool same_song =
      t.node->record.title() == old.track->title && t.node->record.artist() == old.track->artist;
  switch (rule) {
    case MatchRule::kSameSongSamePlace:
      return same_song && t.slot == old.slot && SameCd(*t.cd, *old.cd);
    case MatchRule::kSameSongSameCd:
      return same_song && SameCd(*t.cd, *old.cd);
    case MatchRule::kSameSong:
      return same_song;
    case MatchRule::kSamePlace:
      return t.slot == old.slot && SameCd(*t.cd, *old.cd);
  }
  return false;
}

// Whether the copy's file is as the run left it. A file whose size or time
// differ is compared by its digest; a match brings the recorded time up to
// date.
FileState CheckCopy(const QString& folder, BackupCopy* copy) {
  const QString path = folder + "/" + QString::fromStdString(copy->file);
  int64_t modified = 0;
  uint64_t size = 0;
  if (!StatFile(path, &modified, &size)) {
    return QFileInfo::exists(path) ? FileState::kChanged : FileState::kMissing;
  }
  if (size == copy->fileSize && modified == copy->fileModifiedNs) return FileState::kUntouched;
  std::string digest;
  if (size != copy->fileSize || !Sha256OfFile(path, &digest).ok() || digest != copy->fileSha256) {
    return FileState::kChanged;
  }
  copy->fileModifiedNs = modified;
  return FileState::kUntouched;
}

class CopyRun {
 public:
  CopyRun(jukepak::PlayerVolume& volume, const QString& folder, CopyObserver& observer,
          CopySummary* summary, bool keep_manifest)
      : volume_(volume),
        folder_(folder),
        observer_(observer),
        summary_(*summary),
        keep_manifest_(keep_manifest) {
    summary_ = CopySummary();
  }

  Result Backup();
  Result Copy(const std::vector<TrackChoice>& choices);

 private:
  void ListPlayerTracks();
  void MatchOldCopies(const BackupManifest& old);
  OldCopy* FindOld(const PlayerTrack& track, MatchRule rule);
  void Decide(size_t index, OldCopy* old);
  Result WriteFiles();
  // Reads and writes one file; false when the run must stop.
  bool WriteOne(size_t k);
  void RemoveSuperseded(const std::string& relative);
  BackupTrack& Entry(size_t index);
  Result SaveIfKept();
  Result Finish(Result failure);

  jukepak::PlayerVolume& volume_;
  QString folder_;
  CopyObserver& observer_;
  CopySummary& summary_;
  bool keep_manifest_;
  std::vector<PlayerTrack> tracks_;
  std::vector<OldCopy> old_;
  std::vector<OldCopy*> matches_;  // per track; null when new
  std::vector<FileWork> work_;
  BackupManifest manifest_;
  PathClaims claims_;
  Result stopped_;  // why the run stopped early
};

void CopyRun::ListPlayerTracks() {
  for (const auto& cd : volume_.model().playerCds) {
    BackupCd entry{cd->record.artist(), cd->record.album(), {}};
    for (uint32_t slot = 0; slot < cd->tracks.size(); ++slot) {
      const jukepak::TrackNode& node = *cd->tracks[slot];
      tracks_.push_back(PlayerTrack{cd.get(), manifest_.cds.size(), slot, slot, &node});
      entry.tracks.push_back(BackupTrack{node.record.title(), node.record.artist(),
                                         tracks_.back().audioSize(), std::nullopt});
    }
    manifest_.cds.push_back(std::move(entry));
  }
}

OldCopy* CopyRun::FindOld(const PlayerTrack& track, MatchRule rule) {
  for (OldCopy& old : old_) {
    if (old.used || !Matches(track, old, rule)) continue;
    old.used = true;
    return &old;
  }
  return nullptr;
}

// A track's older copy is the one of the same song (texts and size) at the
// same place; failing that, in the same CD (a track moved up); elsewhere
// (the CD renamed); failing that, of the same size at the same place of the
// same CD (the track renamed).
void CopyRun::MatchOldCopies(const BackupManifest& old) {
  for (const BackupCd& cd : old.cds) {
    for (uint32_t slot = 0; slot < cd.tracks.size(); ++slot) {
      if (cd.tracks[slot].copy) old_.push_back(OldCopy{&cd, slot, &cd.tracks[slot]});
    }
  }
  matches_.assign(tracks_.size(), nullptr);
  for (const MatchRule rule : {MatchRule::kSameSongSamePlace, MatchRule::kSameSongSameCd,
                               MatchRule::kSameSong, MatchRule::kSamePlace}) {
    for (size_t i = 0; i < tracks_.size(); ++i) {
      if (matches_[i] == nullptr) matches_[i] = FindOld(tracks_[i], rule);
    }
  }
}

BackupTrack& CopyRun::Entry(size_t index) {
  const PlayerTrack& track = tracks_[index];
  return manifest_.cds[track.cdIndex].tracks[track.entrySlot];
}

void CopyRun::Decide(size_t index, OldCopy* old) {
  const PlayerTrack& track = tracks_[index];
  const std::string wanted = TrackFilePath(track.cd->record, track.slot, track.node->record);
  if (old == nullptr) {
    work_.push_back(FileWork{index, wanted, Placement::kKeepExisting, std::nullopt});
    return;
  }
  BackupCopy copy = *old->track->copy;
  const FileState state = CheckCopy(folder_, &copy);
  // The same texts at the same place: the file export would write now is
  // the one written then.
  const bool same_file = Matches(track, *old, MatchRule::kSameSongSamePlace);
  if (same_file && state != FileState::kMissing) {
    claims_.Claim(copy.file);
    Entry(index).copy = copy;
    if (state == FileState::kUntouched) ++summary_.unchanged;
    if (state == FileState::kChanged) summary_.changedInFolder.push_back(copy.file);
    return;
  }
  if (same_file) {  // its file went: made again where it was
    work_.push_back(FileWork{index, copy.file, Placement::kKeepExisting, std::nullopt});
    return;
  }
  if (state == FileState::kChanged) {
    claims_.Claim(copy.file);
    summary_.changedInFolder.push_back(copy.file);
  }
  const bool untouched = state == FileState::kUntouched;
  if (untouched && PathClaims::Same(copy.file, wanted)) {
    work_.push_back(FileWork{index, copy.file, Placement::kReplaceOlderCopy, std::nullopt});
    return;
  }
  work_.push_back(FileWork{index, wanted, Placement::kKeepExisting,
                           untouched ? std::optional<std::string>(copy.file) : std::nullopt});
}

void CopyRun::RemoveSuperseded(const std::string& relative) {
  if (claims_.Claimed(relative)) return;
  if (QFile::remove(folder_ + "/" + QString::fromStdString(relative))) {
    summary_.replaced.push_back(relative);
  }
}

bool CopyRun::WriteOne(size_t k) {
  const FileWork& work = work_[k];
  const PlayerTrack& track = tracks_[work.track];
  const std::string label = TrackDescription(*track.node);
  const uint64_t record_bytes = track.node->record.size();
  const uint32_t clusters =
      uint32_t((record_bytes + jukepak::format::kClusterSize - 1) / jukepak::format::kClusterSize);
  observer_.BeginTrack(k, work_.size(), label, clusters);
  std::vector<uint8_t> audio;
  Result r = jukepak::ReadTrackAudio(volume_, *track.node, &audio, [this](uint32_t read, uint32_t) {
    observer_.TrackPosition(read);
    return !volume_.CancelRequested();
  });
  if (r.code() == ResultCode::kCancelled) {
    summary_.cancelled = true;
    return false;
  }
  if (r.code() == ResultCode::kCorrupt) {  // this track's chain; the others may be fine
    summary_.failures.push_back(TrackFailure{label, r.message(), work.relative});
    return true;
  }
  if (!r.ok()) {
    stopped_ = volume_.ReportDriverFailure("Could not read " + label, r);
    summary_.failures.push_back(TrackFailure{label, r.message(), work.relative});
    return false;
  }
  const TrackFileRequest request{track.cd,      track.slot,     folder_,
                                 work.relative, work.placement, keep_manifest_};
  const bool claimed_before = claims_.Claimed(work.relative);
  WrittenTrackFile written;
  r = WriteTrackFile(request, audio, *volume_.media().tagWriter, &claims_, &written);
  if (!r.ok()) {  // the PC's disk: full or refusing, the next would fail alike
    stopped_ = r;
    summary_.failures.push_back(TrackFailure{label, r.message(), work.relative});
    return false;
  }
  // Copy to PC: another file stood at the name (the user's own, or a copy
  // changed since); it stays, and the user is told where the copy went.
  if (!keep_manifest_ && !claimed_before && written.copy.file != work.relative) {
    summary_.changedInFolder.push_back(work.relative);
  }
  Entry(work.track).copy = written.copy;
  if (written.adopted) {
    ++summary_.unchanged;
  } else {
    summary_.written.push_back(written.copy.file);
  }
  if (work.superseded) RemoveSuperseded(*work.superseded);
  return true;
}

Result CopyRun::WriteFiles() {
  observer_.BeginCopies(work_.size());
  for (size_t k = 0; k < work_.size(); ++k) {
    if (volume_.CancelRequested()) {
      summary_.cancelled = true;
      break;
    }
    if (!WriteOne(k)) break;
    const bool cd_done =
        k + 1 == work_.size() || tracks_[work_[k + 1].track].cd != tracks_[work_[k].track].cd;
    if (cd_done) {
      Result saved = SaveIfKept();
      if (!saved.ok()) {
        stopped_ = saved;
        break;
      }
    }
  }
  observer_.EndCopies();
  return SaveIfKept();
}

Result CopyRun::SaveIfKept() {
  return keep_manifest_ ? SaveManifest(folder_, manifest_) : Result::Ok();
}

Result CopyRun::Finish(Result saved) {
  volume_.ClearCancel();
  summary_.complete = manifest_.Complete();
  if (!stopped_.ok()) return stopped_;
  if (!saved.ok()) return saved;
  if (summary_.cancelled) {
    size_t missing = 0;
    for (const BackupCd& cd : manifest_.cds) {
      missing += size_t(std::count_if(cd.tracks.begin(), cd.tracks.end(),
                                      [](const BackupTrack& t) { return !t.copy; }));
    }
    return Result::Error(
        ResultCode::kCancelled,
        "the copy was cancelled; " + std::to_string(missing) + " track(s) were not copied");
  }
  if (!summary_.failures.empty()) {
    return Result::Error(ResultCode::kIoError,
                         std::to_string(summary_.failures.size()) +
                             " track(s) could not be copied: " + summary_.failures.front().track +
                             ": " + summary_.failures.front().error);
  }
  return Result::Ok();
}

Result CopyRun::Backup() {
  if (!QDir().mkpath(folder_)) {
    return Result::Error(ResultCode::kIoError, "cannot create " + folder_.toStdString());
  }
  BackupManifest old;
  bool found = false;
  Result r = LoadManifest(folder_, &old, &found);
  if (!r.ok()) return r;
  ListPlayerTracks();
  summary_.tracks = tracks_.size();
  MatchOldCopies(old);
  for (size_t i = 0; i < tracks_.size(); ++i) Decide(i, matches_[i]);
  const Result saved = WriteFiles();
  for (const OldCopy& unused : old_) {
    const std::string& file = unused.track->copy->file;
    if (unused.used || claims_.Claimed(file)) continue;
    if (QFileInfo::exists(folder_ + "/" + QString::fromStdString(file))) {
      summary_.notOnPlayer.push_back(file);
    }
  }
  return Finish(saved);
}

Result CopyRun::Copy(const std::vector<TrackChoice>& choices) {
  for (const TrackChoice& choice : choices) {
    if (choice.cd == nullptr || choice.slot >= choice.cd->tracks.size()) continue;
    const jukepak::TrackNode* node = choice.cd->tracks[choice.slot].get();
    const bool listed = std::any_of(tracks_.begin(), tracks_.end(),
                                    [&](const PlayerTrack& t) { return t.node == node; });
    if (listed) continue;
    manifest_.cds.push_back(BackupCd{choice.cd->record.artist(), choice.cd->record.album(), {}});
    tracks_.push_back(PlayerTrack{choice.cd, manifest_.cds.size() - 1, choice.slot, 0, node});
    manifest_.cds.back().tracks.push_back(BackupTrack{node->record.title(), node->record.artist(),
                                                      tracks_.back().audioSize(), std::nullopt});
    work_.push_back(FileWork{tracks_.size() - 1,
                             TrackFilePath(choice.cd->record, choice.slot, node->record),
                             Placement::kKeepExisting, std::nullopt});
  }
  summary_.tracks = tracks_.size();
  if (!QDir().mkpath(folder_)) {
    return Result::Error(ResultCode::kIoError, "cannot create " + folder_.toStdString());
  }
  return Finish(WriteFiles());
}

}  // namespace

std::string TrackDescription(const jukepak::TrackNode& track) {
  return jukepak::Utf8FromLatin1(track.record.artist()) + " / " +
         jukepak::Utf8FromLatin1(track.record.title());
}

Result BackupVolume(jukepak::PlayerVolume& volume, const QString& folder, CopyObserver& observer,
                    CopySummary* summary) {
  CopyRun run(volume, folder, observer, summary, true);
  return run.Backup();
}

Result CopyTracks(jukepak::PlayerVolume& volume, const std::vector<TrackChoice>& tracks,
                  const QString& folder, CopyObserver& observer, CopySummary* summary) {
  CopyRun run(volume, folder, observer, summary, false);
  return run.Copy(tracks);
}

}  // namespace frontend
