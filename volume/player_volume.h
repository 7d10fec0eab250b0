// PlayerVolume: Songlift's engine for one player. It takes the device that
// reaches the disk (a driver module bound by driver/bind_module.h, or any
// other SectorDevice), owns the in-memory volume (VolumeModel) and the worker
// thread that runs the mount, sync and initialize jobs, and offers the small
// queries and writers the window, the dialogs and the command-line tool use.
//
// Threads: jobs run on the worker (or, for the command-line tool and tests,
// directly on the caller's thread through RunJobNow). Everything else is
// called from the front end's thread while no job runs; busyState is the
// exclusion, as the front ends keep volume commands disabled while a job runs.
// The pending additions are the exception: they may be changed while a sync
// runs (pending_list.h). deviceState and busyState are atomic and may be read
// from any thread. The engine tells its front end what changes through the
// reporter's events (volume_reporter.h) and never waits for it.
//
// Failures: every driver transfer is checked. A job or writer that meets a
// driver failure reports it on the status line and leaves deviceState
// kNoDriver, so nothing more runs over a model that may no longer match the
// disk until the driver is bound again.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/mutex.h"
#include "base/result.h"
#include "format/sector_device.h"
#include "volume/sync_options.h"
#include "volume/transfer_worker.h"
#include "volume/volume_model.h"
#include "volume/volume_reporter.h"

namespace jukepak {

// The status, and the reason every write is refused, while the directory is
// read-only.
inline constexpr char kDamagedDirectory[] = "The player's directory is damaged: run Volmend";

class PlayerVolume {
 public:
  // The reporter must outlive the engine.
  explicit PlayerVolume(VolumeReporter* reporter);
  ~PlayerVolume();  // unbinds
  PlayerVolume(const PlayerVolume&) = delete;
  PlayerVolume& operator=(const PlayerVolume&) = delete;

  // Unbinds any device bound before, then opens `device` and starts the
  // worker. On success deviceState is kStartUp (the volume is not looked at
  // yet); on failure Open's Result is returned, the device is dropped
  // without further calls, deviceState is kNoDriver and bindError() says why.
  Result BindDevice(std::unique_ptr<SectorDevice> device);
  // For a front end whose device could not even be made (a module that does
  // not load): unbinds, leaves deviceState kNoDriver and bindError() = why.
  void RefuseBinding(const Result& why);
  // Stops and joins the worker (a job in hand runs to its end first; cancel a
  // sync before), releases the FAT and the player's directory (an empty
  // directory is sent), closes the device.
  void UnbindDriver();
  bool bound() const { return device_ != nullptr; }
  const std::string& bindError() const { return bind_error_; }

  // Reads the two header sectors into the model; true exactly when they
  // begin with "MPFS". False without reading while deviceState is kNoDriver.
  bool CheckVolume();

  // Front-end entry to the jobs: sets the job's event (the front end sets the
  // busy state first). The worker runs it.
  void SignalJob(Job job);
  // Sets busyState for the job and runs it on the calling thread; for the
  // command-line tool and tests. Returns the job's result. A job, here or on
  // the worker, ends with JobEnded and busyState kIdle. Job::kTask runs the
  // task handed to SignalTask that the worker has not taken yet.
  Result RunJobNow(Job job);
  // Hands `task` to the worker as a job (Job::kTask), for a front end's jobs
  // that read the player, such as copying tracks to the PC: they run on the
  // worker so that only one driver call is ever in flight. The front end
  // sets busyState first (kCopy); it is kIdle again when the task returns.
  // A task not yet taken is replaced by a newer one. False, and nothing
  // runs, while no device is bound.
  bool SignalTask(std::function<void()> task);
  // Asks a running sync to stop after the cluster in hand. Only stores an
  // atomic flag, so any thread and a signal handler may call it.
  void RequestCancel();
  bool CancelRequested() const;
  // Withdraws a cancel request; the sync calls it at its end.
  void ClearCancel();

  // Writes every dirty FAT sector, ascending. Stops at the first failure (the
  // failed sector stays dirty). Refused with kCorrupt (kDamagedDirectory)
  // while the directory is read-only.
  Result FlushFat();
  // Writes header sectors 0 and 1. Refused like FlushFat while read-only.
  Result WriteHeader();

  // True after a mount found the CD records away from the end of the audio
  // area: the sync, the edits and the remote table are refused until a
  // repaired volume is mounted or the drive is initialized.
  bool ReadOnly() const { return model_.readOnly.load(); }

  // Free space: 8 KB for each free FAT entry the allocator could hand out
  // (below audioClusters and below the CD area). Stored in the model.
  uint32_t FreeKilobytes();
  // The space the pending additions will take, rounded as the sync allocates,
  // plus 8 KB for each further cluster the CD area grows into. Stored.
  uint32_t EstimateDownloadKilobytes() EXCLUDES(model_.pendingMutex);

  uint32_t ReadRemoteCode();
  uint32_t GetRemoteCode(uint32_t slot) const;
  void SetRemoteCode(uint32_t slot, uint32_t entry);
  bool IsTrackStart(uint32_t cluster) const;
  // Reads the second sector of a mounted track's record, which holds its
  // later index marks, into track.record unless it is there already
  // (marksLoaded). Fails with kCorrupt when the record would lie outside the
  // audio area and with the driver's result; the record is unchanged then.
  // The thread that may make driver calls (a job's, or the front end's while
  // no job runs).
  Result LoadIndexMarks(TrackNode& track);

  DeviceState deviceState() const { return device_state_.load(); }
  BusyState busyState() const { return busy_state_.load(); }
  void SetDeviceState(DeviceState state);
  void SetBusyState(BusyState state);

  // What the user chose for syncs and additions. Any thread; a sync uses the
  // options of the moment it starts. A new bitrate re-estimates the pending
  // songs that will be converted and relabels them (the front end's thread).
  void SetSyncOptions(const SyncOptions& options);
  SyncOptions syncOptions() const;
  // The libraries songs are read and converted through; set before songs
  // are added, while no job runs.
  void SetMediaLibraries(const MediaLibraries& media) { media_ = media; }
  const MediaLibraries& media() const { return media_; }
  // What the last sync did; the sync job stores it at its end.
  SyncSummary lastSyncSummary() const;
  void SetLastSyncSummary(SyncSummary summary);

  // The two lists as values (list_snapshot.h). The directory on the thread
  // that owns it; the pending list from any thread, not with pendingMutex held.
  DirectorySnapshot SnapshotDirectory();
  PendingSnapshot SnapshotPending() EXCLUDES(model_.pendingMutex);
  // Sends the directory as it is now (PlayerDirectoryChanged) and brings the
  // pending list's facts about it up to date. Called by whatever changed the
  // directory, on the thread that owns it, not with pendingMutex held.
  void PublishDirectory() EXCLUDES(model_.pendingMutex);
  // Sends the pending list as it is now (PendingListChanged), with the
  // download estimate. Any thread, not with pendingMutex held.
  void PublishPending() EXCLUDES(model_.pendingMutex);

  VolumeModel& model() { return model_; }
  const VolumeModel& model() const { return model_; }
  VolumeReporter& reporter() { return *reporter_; }
  SectorDevice* device() { return device_.get(); }

  // Reports a driver failure met by a job or an edit: the status line says
  // `what` and why, deviceState becomes kNoDriver. Returns `failure` for
  // chaining.
  Result ReportDriverFailure(const std::string& what, const Result& failure);

 private:
  // The jobs. Each leaves the device state it ends in and returns what
  // happened (already reported); RunJob adds the job's end.
  Result MountJob();
  Result InitJob();
  Result SyncJob();
  // Runs the task SignalTask handed over, if any.
  Result TaskJob();
  Result RunJob(Job job);
  uint32_t EstimateDownloadKilobytesLocked() REQUIRES(model_.pendingMutex);
  // The worker's side of RunJob.
  void RunQueuedJob(Job job) { (void)RunJob(job); }

  // Opens the device and starts the worker; on failure the device stays with
  // the caller and bindError() says why.
  Result Attach(std::unique_ptr<SectorDevice>& device);
  void ClearPlayerDirectory();
  Result MountDirectory();
  Result ReadCd(SectorDevice& device, uint32_t index, int* damaged_tracks);
  Result WriteEmptyVolume(uint32_t sector_count);

  VolumeReporter* reporter_;
  VolumeModel model_;
  std::unique_ptr<SectorDevice> device_;
  std::unique_ptr<TransferWorker> worker_;
  std::string bind_error_;
  std::atomic<DeviceState> device_state_{DeviceState::kStartUp};
  std::atomic<BusyState> busy_state_{BusyState::kIdle};
  // The cancel request, set from the window, the worker or a signal handler.
  std::atomic<bool> cancel_requested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the cancel flag");
  MediaLibraries media_ = DefaultMediaLibraries();
  mutable Mutex options_mutex_;
  SyncOptions sync_options_ GUARDED_BY(options_mutex_);
  SyncSummary last_sync_ GUARDED_BY(options_mutex_);
  Mutex task_mutex_;
  std::function<void()> task_ GUARDED_BY(task_mutex_);
  // Numbers the snapshots, so a front end knows the newer of two.
  std::atomic<uint64_t> snapshot_sequence_{0};
};

}  // namespace jukepak
