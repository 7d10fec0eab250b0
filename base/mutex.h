// Mutex and MutexLock: std::mutex and its scoped lock with the annotations
// clang's thread-safety analysis reads (base/thread_annotations.h), so that
// data marked GUARDED_BY(mutex) is checked at compile time. ThreadSanitizer
// sees the std::mutex inside as it sees any other.
//
// Waiting: Await(cv) waits on a std::condition_variable with the mutex held
// (it is released while waiting and held again on return). Callers loop on
// their own condition, so the analysis sees the guarded reads under the lock:
//   MutexLock lock(&mutex_);
//   while (!ready_) mutex_.Await(changed_);
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/thread_annotations.h"

namespace jukepak {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  bool TryLock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  // Releases the mutex while waiting for `cv` to be notified (or a spurious
  // wake-up) and holds it again when it returns.
  void Await(std::condition_variable& cv) REQUIRES(this) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    cv.wait(lock);
    lock.release();  // the caller's MutexLock unlocks
  }
  // Await with a deadline: false when it passed without a notification.
  bool AwaitUntil(std::condition_variable& cv, std::chrono::steady_clock::time_point deadline)
      REQUIRES(this) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    const bool notified = cv.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return notified;
  }

 private:
  std::mutex mutex_;
};

// Holds `mutex` for its own lifetime.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() RELEASE() { mutex_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* mutex_;
};

}  // namespace jukepak
