#include "volume/transfer_worker.h"

#include <algorithm>

namespace jukepak {

TransferWorker::TransferWorker(JobTable jobs) : jobs_(std::move(jobs)) {
  thread_ = std::thread([this] { Run(); });
}

TransferWorker::~TransferWorker() { Stop(); }

void TransferWorker::Signal(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_[size_t(job)] = true;
  }
  wake_.notify_one();
}

void TransferWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_requested_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TransferWorker::Run() {
  for (;;) {
    size_t job = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] {
        return stop_requested_ ||
               std::find(signalled_.begin(), signalled_.end(), true) != signalled_.end();
      });
      if (stop_requested_) return;
      // Like a wait on several events: the lowest signalled index wins, and
      // taking it resets it.
      while (!signalled_[job]) ++job;
      signalled_[job] = false;
      job_running_.store(true);
    }
    if (jobs_[job]) jobs_[job]();
    job_running_.store(false);
  }
}

}  // namespace jukepak
