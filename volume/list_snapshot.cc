// The two lists as values, and the events that carry them.

#include "volume/list_snapshot.h"

#include <atomic>

#include "base/latin1.h"
#include "format/format_constants.h"
#include "volume/player_volume.h"

namespace jukepak {
namespace {

CdView CdViewOf(const CdNode& cd) {
  CdView view;
  view.id = cd.id;
  view.label = CdLabel(cd.record);
  view.artist = Utf8FromLatin1(cd.record.artist());
  view.album = Utf8FromLatin1(cd.record.album());
  return view;
}

TrackView TrackViewOf(const TrackNode& track, std::string label) {
  TrackView view;
  view.id = track.id;
  view.label = std::move(label);
  view.title = Utf8FromLatin1(track.record.title());
  view.artist = Utf8FromLatin1(track.record.artist());
  view.sourcePath = track.sourcePath;
  view.estimated = track.needsConversion;
  return view;
}

}  // namespace

uint64_t NewNodeId() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

DirectorySnapshot PlayerVolume::SnapshotDirectory() {
  DirectorySnapshot snapshot;
  snapshot.sequence = ++snapshot_sequence_;
  for (const auto& cd : model_.playerCds) {
    CdView view = CdViewOf(*cd);
    const std::string artist = cd->record.artist();
    for (const auto& track : cd->tracks) {
      TrackView t = TrackViewOf(*track, TrackLabel(track->record, artist));
      // The record's size counts the record itself; damaged records may say less.
      const uint64_t size = track->record.size();
      t.audioBytes = size > format::kTrackRecordSize ? size - format::kTrackRecordSize : 0;
      t.sourcePath.clear();
      view.tracks.push_back(std::move(t));
    }
    snapshot.cds.push_back(std::move(view));
  }
  snapshot.freeKilobytes = FreeKilobytes();
  return snapshot;
}

PendingSnapshot PlayerVolume::SnapshotPending() {
  PendingSnapshot snapshot;
  MutexLock lock(&model_.pendingMutex);
  snapshot.downloadKilobytes = EstimateDownloadKilobytesLocked();
  // Numbered under the lock: the order of the numbers is the order of the
  // states they show, whichever thread took them.
  snapshot.sequence = ++snapshot_sequence_;
  // The list keeps the newest CD first; the tree shows them as they came.
  for (auto cd = model_.pendingCds.rbegin(); cd != model_.pendingCds.rend(); ++cd) {
    CdView view = CdViewOf(**cd);
    const std::string artist = (*cd)->record.artist();
    for (const auto& song : (*cd)->pendingTracks) {
      TrackView t = TrackViewOf(*song, PendingSongLabel(*song, artist));
      t.audioBytes = song->record.size();
      view.tracks.push_back(std::move(t));
    }
    snapshot.cds.push_back(std::move(view));
  }
  return snapshot;
}

void PlayerVolume::PublishDirectory() {
  const DirectorySnapshot snapshot = SnapshotDirectory();
  {
    MutexLock lock(&model_.pendingMutex);
    DirectoryFacts& facts = model_.directoryFacts;
    facts.cdCount = uint32_t(model_.playerCds.size());
    facts.tracksOfKey.clear();
    for (const auto& cd : model_.playerCds) {
      // A damaged directory may hold one key twice: the first CD counts, as
      // the sync writes into the first it finds.
      facts.tracksOfKey.emplace(std::make_pair(cd->record.album(), cd->record.artist()),
                                cd->record.trackCount());
    }
  }
  reporter_->PlayerDirectoryChanged(snapshot);
}

void PlayerVolume::PublishPending() { reporter_->PendingListChanged(SnapshotPending()); }

}  // namespace jukepak
