// TransferWorker: the one thread that runs the slow volume jobs. It sleeps on
// four auto-reset events (sync, mount, initialize and a front end's task, in
// that order of priority) and runs the job of the event that fired. A signalled event stays set until
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

// kTask: a reading job of the front end's own (PlayerVolume::SignalTask).
enum class Job : int { kSync = 0, kMount = 1, kInit = 2, kTask = 3 };
inline constexpr size_t kJobKinds = 4;

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
  std::array<bool, kJobKinds> signalled_{};
  bool stop_requested_ = false;
  std::atomic<bool> job_running_{false};
  std::thread thread_;
};

}  // namespace jukepak
