// TransferWorker: the one thread that runs the slow volume jobs. It sleeps on
// four auto-reset events (sync, mount, initialize and a front end's task, in
// that order of priority) and runs the job of the event that fired. A signalled event stays set until
// the worker takes it, so a request made just after a job has ended, before
// the worker waits again, still runs.
#pragma once

#include <array>
#include <condition_variable>
#include <functional>
#include <thread>

#include "base/mutex.h"
#include "volume/job.h"

namespace jukepak {

class TransferWorker {
 public:
  using JobTable = std::array<std::function<void()>, kJobKinds>;

  // Starts the thread at once. The jobs run on it, one at a time.
  explicit TransferWorker(JobTable jobs);
  // Stops and joins (see Stop).
  ~TransferWorker();
  TransferWorker(const TransferWorker&) = delete;
  TransferWorker& operator=(const TransferWorker&) = delete;

  // Sets the job's event. Any thread.
  void Signal(Job job) EXCLUDES(mutex_);

  // Asks the worker to end and waits for it: a job in hand runs to its end
  // first (ask a sync to cancel before, to make that quick). No job starts
  // after the stop request, even one whose event is set. The jobs never wait
  // for the thread that calls this, so it may be any thread but the worker.
  void Stop() EXCLUDES(mutex_);

 private:
  void Run() EXCLUDES(mutex_);
  // The signalled job to run next, taking its event; false once a stop is
  // asked for.
  bool TakeNextJob(size_t* job) EXCLUDES(mutex_);

  JobTable jobs_;
  Mutex mutex_;
  std::condition_variable wake_;
  std::array<bool, kJobKinds> signalled_ GUARDED_BY(mutex_){};
  bool stop_requested_ GUARDED_BY(mutex_) = false;
  std::thread thread_;
};

}  // namespace jukepak
