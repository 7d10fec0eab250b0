#include "frontend/window_caller.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>
#include <cstdint>

namespace frontend {

WindowCaller::WindowCaller(QObject* parent)
    : QObject(parent),
      window_thread_(std::this_thread::get_id()),
      wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wake_fd_ < 0) return;  // Enqueue falls back to a queued Qt call
  notifier_ = new QSocketNotifier(wake_fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &WindowCaller::RunQueued);
}

WindowCaller::~WindowCaller() {
  delete notifier_;
  if (wake_fd_ >= 0) close(wake_fd_);
  jukepak::MutexLock lock(&mutex_);
  queue_.clear();
}

void WindowCaller::Call(const std::function<void()>& call) {
  if (std::this_thread::get_id() == window_thread_) {
    call();
    return;
  }
  bool done = false;
  Enqueue({call, &done});
  jukepak::MutexLock lock(&mutex_);
  while (!done) mutex_.Await(ran_);
}

void WindowCaller::Post(std::function<void()> call) { Enqueue({std::move(call), nullptr}); }

void WindowCaller::Deliver(std::function<void()> call) {
  if (std::this_thread::get_id() == window_thread_) {
    call();
    return;
  }
  Post(std::move(call));
}

void WindowCaller::Enqueue(Queued queued) {
  {
    jukepak::MutexLock lock(&mutex_);
    queue_.push_back(std::move(queued));
  }
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    // Only a full counter (2^64 - 2 wake-ups unread) could refuse this, and
    // then the window thread has a wake-up pending anyway.
    [[maybe_unused]] ssize_t written = write(wake_fd_, &one, sizeof one);
  } else {
    QMetaObject::invokeMethod(this, &WindowCaller::RunQueued, Qt::QueuedConnection);
  }
}

void WindowCaller::RunQueued() {
  if (wake_fd_ >= 0) {
    uint64_t wakeups = 0;
    [[maybe_unused]] ssize_t got = read(wake_fd_, &wakeups, sizeof wakeups);
  }
  for (;;) {
    Queued queued;
    {
      jukepak::MutexLock lock(&mutex_);
      if (queue_.empty()) return;
      queued = std::move(queue_.front());
      queue_.pop_front();
    }
    // The call runs without the mutex: it may open a modal loop in which
    // later calls run.
    queued.call();
    queued.call = nullptr;  // its captures go before the worker goes on
    if (queued.done != nullptr) {
      jukepak::MutexLock lock(&mutex_);
      *queued.done = true;
      ran_.notify_all();
    }
  }
}

}  // namespace frontend
