// The worker's events: priority, requests that race with a job's end, stop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "volume/transfer_worker.h"

namespace jukepak {
namespace {

using namespace std::chrono_literals;

class JobLog {
 public:
  void Add(int job) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(job);
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return jobs_.size() >= count; });
  }
  std::vector<int> jobs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> jobs_;
};

TEST(TransferWorker, RunsEachSignalledJobOnceLowestIndexFirst) {
  JobLog log;
  std::mutex gate;
  gate.lock();  // holds the first job until every event is set
  TransferWorker worker({[&] { log.Add(0); },
                         [&] {
                           std::lock_guard<std::mutex> wait(gate);
                           log.Add(1);
                         },
                         [&] { log.Add(2); }, [&] { log.Add(3); }});
  worker.Signal(Job::kMount);
  std::this_thread::sleep_for(20ms);  // let the worker take the mount
  worker.Signal(Job::kTask);
  worker.Signal(Job::kInit);
  worker.Signal(Job::kSync);
  worker.Signal(Job::kSync);  // an auto-reset event set twice runs once
  gate.unlock();
  ASSERT_TRUE(log.WaitFor(4));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(log.jobs(), (std::vector<int>{1, 0, 2, 3}));
}

TEST(TransferWorker, ARequestMadeWhileAJobRunsIsNotDropped) {
  JobLog log;
  std::atomic<int> runs{0};
  TransferWorker* self = nullptr;
  TransferWorker worker({[&] {
                           // The first sync asks for a second one just before it ends.
                           if (runs.fetch_add(1) == 0) self->Signal(Job::kSync);
                           log.Add(0);
                         },
                         nullptr, nullptr});
  self = &worker;
  worker.Signal(Job::kSync);
  ASSERT_TRUE(log.WaitFor(2));
  EXPECT_EQ(runs.load(), 2);
}

TEST(TransferWorker, StopEndsTheThreadWithoutRunningAPendingJob) {
  JobLog log;
  std::mutex gate;
  gate.lock();
  TransferWorker worker({[&] {
                           std::lock_guard<std::mutex> wait(gate);
                           log.Add(0);
                         },
                         [&] { log.Add(1); }, nullptr});
  worker.Signal(Job::kSync);
  std::this_thread::sleep_for(20ms);
  worker.Signal(Job::kMount);
  std::thread stopper([&] { worker.Stop(); });
  std::this_thread::sleep_for(20ms);
  gate.unlock();  // the job in hand finishes; the mount never starts
  stopper.join();
  EXPECT_EQ(log.jobs(), (std::vector<int>{0}));
}

}  // namespace
}  // namespace jukepak
