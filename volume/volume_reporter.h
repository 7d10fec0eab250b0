// VolumeReporter: what the engine tells its front end, as events that carry
// values. The window, the command-line tool and the tests' recorder each
// implement it.
//
// Events come from whichever thread runs the engine: the worker thread for
// jobs (mount, sync, initialize), the caller's thread for edits and
// additions. The engine holds none of its locks while it calls, and an
// implementation neither blocks nor calls back into the engine: it copies
// what it keeps (the window hands the values to its own thread and returns
// at once). The engine never waits for its front end; a question to the user
// is asked by the front end before it calls the engine.
//
// Order: a job reports its status texts and states as it goes, a sync its
// progress after every cluster it writes; each job ends with JobEnded and
// then BusyStateChanged(kIdle), its last event.
#pragma once

#include <string_view>

#include "volume/job_report.h"
#include "volume/list_snapshot.h"

namespace jukepak {

// What the player can do now.
enum class DeviceState : int {
  kNoDriver = 0,        // no usable driver (not loaded, lacks entries, Open failed, failed later)
  kStartUp = 1,         // bound, volume not looked at yet
  kNoVolume = 2,        // driver bound, no usable volume on the drive
  kVolumeNotLoaded = 3, // valid volume found, directory not loaded
  kReady = 4,           // directory loaded
};

// Which job runs.
// kRepair: the checker repairs the mounted volume (Songlift's "fix them now").
// kCopy: tracks are being copied off the player to the PC (a task).
enum class BusyState : int {
  kIdle = 0,
  kMount = 1,
  kSync = 2,
  kInitialize = 3,
  kRepair = 4,
  kCopy = 5,
};

class VolumeReporter {
 public:
  virtual ~VolumeReporter() = default;

  // The status line. UTF-8.
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void DeviceStateChanged(DeviceState state) = 0;
  virtual void BusyStateChanged(BusyState state) = 0;
  // The player's directory or the pending list changed; each snapshot holds
  // the whole list. Snapshots of the pending list come from two threads
  // while a sync runs, so they may arrive out of order: the higher sequence
  // is the newer.
  virtual void PlayerDirectoryChanged(const DirectorySnapshot& directory) = 0;
  virtual void PendingListChanged(const PendingSnapshot& pending) = 0;
  virtual void SyncProgressed(const SyncProgress& progress) = 0;
  virtual void JobEnded(const JobSummary& summary) = 0;
};

// A reporter that keeps nothing. The command-line tool derives from it for
// what it prints.
class QuietReporter : public VolumeReporter {
 public:
  void ShowStatus(std::string_view) override {}
  void DeviceStateChanged(DeviceState) override {}
  void BusyStateChanged(BusyState) override {}
  void PlayerDirectoryChanged(const DirectorySnapshot&) override {}
  void PendingListChanged(const PendingSnapshot&) override {}
  void SyncProgressed(const SyncProgress&) override {}
  void JobEnded(const JobSummary&) override {}
};

}  // namespace jukepak
