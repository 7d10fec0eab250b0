#include "volume/testing/recording_reporter.h"

namespace jukepak::testing {

void RecordingReporter::ShowStatus(std::string_view text) {
  MutexLock lock(&mutex_);
  statuses_.emplace_back(text);
}

void RecordingReporter::DeviceStateChanged(DeviceState state) {
  MutexLock lock(&mutex_);
  device_states_.push_back(state);
}

void RecordingReporter::BusyStateChanged(BusyState state) {
  {
    MutexLock lock(&mutex_);
    busy_states_.push_back(state);
    if (state == BusyState::kIdle) ++idle_reports_;
  }
  changed_.notify_all();
}

void RecordingReporter::PlayerDirectoryChanged(const DirectorySnapshot& directory) {
  MutexLock lock(&mutex_);
  if (directory.sequence > directory_.sequence) directory_ = directory;
}

void RecordingReporter::PendingListChanged(const PendingSnapshot& pending) {
  MutexLock lock(&mutex_);
  // Two threads send it while a sync runs: the newer one stands.
  if (pending.sequence > pending_.sequence) pending_ = pending;
}

void RecordingReporter::SyncProgressed(const SyncProgress& progress) {
  MutexLock lock(&mutex_);
  progress_.push_back(progress);
}

void RecordingReporter::JobEnded(const JobSummary& summary) {
  MutexLock lock(&mutex_);
  jobs_.push_back(summary);
}

const std::vector<CdView>& RecordingReporter::Cds(Tree tree) const {
  return tree == Tree::kPlayer ? directory_.cds : pending_.cds;
}

std::string RecordingReporter::TreeText(Tree tree) const {
  MutexLock lock(&mutex_);
  std::string text;
  for (const CdView& cd : Cds(tree)) {
    text += cd.label + "\n";
    for (const TrackView& track : cd.tracks) text += "  " + track.label + "\n";
  }
  return text;
}

std::vector<std::string> RecordingReporter::TopLabels(Tree tree) const {
  MutexLock lock(&mutex_);
  std::vector<std::string> labels;
  for (const CdView& cd : Cds(tree)) labels.push_back(cd.label);
  return labels;
}

std::vector<std::string> RecordingReporter::ChildLabels(Tree tree, uint64_t cd_id) const {
  MutexLock lock(&mutex_);
  std::vector<std::string> labels;
  for (const CdView& cd : Cds(tree)) {
    if (cd.id != cd_id) continue;
    for (const TrackView& track : cd.tracks) labels.push_back(track.label);
  }
  return labels;
}

std::string RecordingReporter::Label(Tree tree, uint64_t id) const {
  MutexLock lock(&mutex_);
  for (const CdView& cd : Cds(tree)) {
    if (cd.id == id) return cd.label;
    for (const TrackView& track : cd.tracks) {
      if (track.id == id) return track.label;
    }
  }
  return std::string();
}

bool RecordingReporter::HasItem(Tree tree, uint64_t id) const {
  MutexLock lock(&mutex_);
  for (const CdView& cd : Cds(tree)) {
    if (cd.id == id) return true;
    for (const TrackView& track : cd.tracks) {
      if (track.id == id) return true;
    }
  }
  return false;
}

DirectorySnapshot RecordingReporter::directory() const {
  MutexLock lock(&mutex_);
  return directory_;
}

PendingSnapshot RecordingReporter::pending() const {
  MutexLock lock(&mutex_);
  return pending_;
}

std::vector<std::string> RecordingReporter::statuses() const {
  MutexLock lock(&mutex_);
  return statuses_;
}

std::string RecordingReporter::lastStatus() const {
  MutexLock lock(&mutex_);
  return statuses_.empty() ? std::string() : statuses_.back();
}

std::vector<DeviceState> RecordingReporter::deviceStates() const {
  MutexLock lock(&mutex_);
  return device_states_;
}

std::vector<BusyState> RecordingReporter::busyStates() const {
  MutexLock lock(&mutex_);
  return busy_states_;
}

std::vector<std::string> RecordingReporter::progress() const {
  MutexLock lock(&mutex_);
  std::vector<std::string> lines;
  for (const SyncProgress& p : progress_) {
    lines.push_back("cd " + std::to_string(p.cd) + "/" + std::to_string(p.cds) + " track " +
                    std::to_string(p.track) + "/" + std::to_string(p.tracks) + " song " +
                    std::to_string(p.song) + "/" + std::to_string(p.songs) + " " + p.title + " " +
                    std::to_string(p.cluster) + "/" + std::to_string(p.clusters));
  }
  return lines;
}

std::vector<SyncProgress> RecordingReporter::progressEvents() const {
  MutexLock lock(&mutex_);
  return progress_;
}

std::vector<JobSummary> RecordingReporter::jobs() const {
  MutexLock lock(&mutex_);
  return jobs_;
}

bool RecordingReporter::WaitForIdleReports(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(&mutex_);
  while (idle_reports_ < count) {
    if (!mutex_.AwaitUntil(changed_, deadline)) return idle_reports_ >= count;
  }
  return true;
}

}  // namespace jukepak::testing
