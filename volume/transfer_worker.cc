#include "volume/transfer_worker.h"

#include <algorithm>

namespace jukepak {

TransferWorker::TransferWorker(JobTable jobs) : jobs_(std::move(jobs)) {
  thread_ = std::thread([this] { Run(); });
}

TransferWorker::~TransferWorker() { Stop(); }

void TransferWorker::Signal(Job job) {
  {
    MutexLock lock(&mutex_);
    signalled_[size_t(job)] = true;
  }
  wake_.notify_one();
}

void TransferWorker::Stop() {
  {
    MutexLock lock(&mutex_);
    stop_requested_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TransferWorker::TakeNextJob(size_t* job) {
  MutexLock lock(&mutex_);
  while (!stop_requested_ &&
         std::find(signalled_.begin(), signalled_.end(), true) == signalled_.end()) {
    mutex_.Await(wake_);
  }
  if (stop_requested_) return false;
  // Like a wait on several events: the lowest signalled index wins, and
  // taking it resets it.
  *job = 0;
  while (!signalled_[*job]) ++*job;
  signalled_[*job] = false;
  return true;
}

void TransferWorker::Run() {
  size_t job = 0;
  while (TakeNextJob(&job)) {
    if (jobs_[job]) jobs_[job]();
  }
}

}  // namespace jukepak
