// The state word the window and Volmend's worker share: running, stop
// requested, repair requested. A stop request is never overwritten by a
// repair request, and the worker's taking of a repair request never erases a
// stop that came at the same moment. The worker waits for the user's answer
// on a condition variable that every request wakes.
//
// Any thread.
#pragma once

#include <condition_variable>

#include "base/mutex.h"

namespace volmend {

enum WorkerState : int { kRunning = 0, kStopRequested = 1, kRepairRequested = 2 };

class SharedWorkerState {
 public:
  WorkerState value() const;
  bool stopRequested() const { return value() == kStopRequested; }

  // The window's requests.
  void RequestStop();
  // Only while running: after a stop the stop stands.
  void RequestRepair();

  // The worker's wait for the user: true when the repair was asked for (the
  // state is running again then), false for a stop.
  bool AwaitRepairOrStop();

 private:
  mutable jukepak::Mutex mutex_;
  std::condition_variable changed_;
  WorkerState value_ GUARDED_BY(mutex_) = kRunning;
};

}  // namespace volmend
