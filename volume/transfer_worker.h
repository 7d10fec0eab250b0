// TransferWorker: the one thread that runs the slow volume jobs. It sleeps on
// three auto-reset events (sync, mount, initialize, in that order of priority)
// and runs the job of the event that fired. A signalled event stays set until
// the worker takes it, so a request made just after a job has ended, before
// the worker waits again, still runs.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace jukepak {

enum class Job : int { kSync = 0, kMount = 1, kInit = 2 };

class TransferWorker {
 public:
  using JobTable = std::array<std::function<void()>, 3>;

  // Starts the thread at once. The jobs run on it, one at a time.
  explicit TransferWorker(JobTable jobs);
  // Stops and joins (see Stop).
  ~TransferWorker();
  TransferWorker(const TransferWorker&) = delete;
  TransferWorker& operator=(const TransferWorker&) = delete;

  // Sets the job's event. Any thread.
  void Signal(Job job);

  // Asks the worker to end and waits for it: a job in hand runs to its end
  // first (ask a sync to cancel before, to make that quick). No job starts
  // after the stop request, even one whose event is set.
  void Stop();

  // True from the moment the worker takes a job until the job has returned,
  // including the job's last calls to its front end.
  bool JobRunning() const { return job_running_.load(); }

 private:
  void Run();

  JobTable jobs_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::array<bool, 3> signalled_{};
  bool stop_requested_ = false;
  std::atomic<bool> job_running_{false};
  std::thread thread_;
};

}  // namespace jukepak
