// RecordingReporter: a VolumeReporter for tests. It keeps the newest snapshot
// of each list as the window would show it, every status text, every state
// change, the progress and the ends of the jobs, and lets a test wait until
// a job running on the worker has ended. Thread-safe: the worker reports
// while the test thread reads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "volume/volume_reporter.h"

namespace jukepak::testing {

// Which list a question is about.
enum class Tree { kPending, kPlayer };

class RecordingReporter : public VolumeReporter {
 public:
  void ShowStatus(std::string_view text) override;
  void DeviceStateChanged(DeviceState state) override;
  void BusyStateChanged(BusyState state) override;
  void PlayerDirectoryChanged(const DirectorySnapshot& directory) override;
  void PendingListChanged(const PendingSnapshot& pending) override;
  void SyncProgressed(const SyncProgress& progress) override;
  void JobEnded(const JobSummary& summary) override;

  // The list as text: one line per CD label, its tracks indented by two spaces.
  std::string TreeText(Tree tree) const;
  // Labels of the CDs, in order.
  std::vector<std::string> TopLabels(Tree tree) const;
  // Labels of the tracks of the CD with id `cd_id`.
  std::vector<std::string> ChildLabels(Tree tree, uint64_t cd_id) const;
  // The label of the CD or track with id `id`; empty when the list has none.
  std::string Label(Tree tree, uint64_t id) const;
  bool HasItem(Tree tree, uint64_t id) const;
  DirectorySnapshot directory() const;
  PendingSnapshot pending() const;

  std::vector<std::string> statuses() const;
  std::string lastStatus() const;
  std::vector<DeviceState> deviceStates() const;
  std::vector<BusyState> busyStates() const;
  // The progress as lines "cd C/Cs track T/Ts song S/Ss TITLE K/N", K the
  // clusters written of the track's N.
  std::vector<std::string> progress() const;
  std::vector<SyncProgress> progressEvents() const;
  std::vector<JobSummary> jobs() const;

  // Waits until busyState has been reported idle `count` times in all.
  bool WaitForIdleReports(size_t count, std::chrono::milliseconds timeout);

 private:
  const std::vector<CdView>& Cds(Tree tree) const REQUIRES(mutex_);

  mutable Mutex mutex_;
  std::condition_variable changed_;
  DirectorySnapshot directory_ GUARDED_BY(mutex_);
  PendingSnapshot pending_ GUARDED_BY(mutex_);
  std::vector<std::string> statuses_ GUARDED_BY(mutex_);
  std::vector<DeviceState> device_states_ GUARDED_BY(mutex_);
  std::vector<BusyState> busy_states_ GUARDED_BY(mutex_);
  size_t idle_reports_ GUARDED_BY(mutex_) = 0;
  std::vector<SyncProgress> progress_ GUARDED_BY(mutex_);
  std::vector<JobSummary> jobs_ GUARDED_BY(mutex_);
};

}  // namespace jukepak::testing
