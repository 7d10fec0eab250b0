#include "volmend/worker_state.h"

namespace volmend {

WorkerState SharedWorkerState::value() const {
  jukepak::MutexLock lock(&mutex_);
  return value_;
}

void SharedWorkerState::RequestStop() {
  {
    jukepak::MutexLock lock(&mutex_);
    value_ = kStopRequested;
  }
  changed_.notify_all();
}

void SharedWorkerState::RequestRepair() {
  {
    jukepak::MutexLock lock(&mutex_);
    if (value_ != kRunning) return;
    value_ = kRepairRequested;
  }
  changed_.notify_all();
}

bool SharedWorkerState::AwaitRepairOrStop() {
  jukepak::MutexLock lock(&mutex_);
  while (value_ == kRunning) mutex_.Await(changed_);
  if (value_ == kStopRequested) return false;
  value_ = kRunning;
  return true;
}

}  // namespace volmend
