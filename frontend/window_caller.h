// WindowCaller: runs functions on the window thread for worker threads.
//
// A worker hands a call over and either waits until the window thread has
// run it (Call) or goes on at once (Post). The hand-off is a queue under the
// object's std::mutex and an eventfd that wakes the window thread's event
// loop: what the worker did before handing a call over is visible to the
// call, and what the call did is visible to the worker once Call returns.
// Qt's blocking queued call gives the same order, but through
// synchronisation inside Qt that ThreadSanitizer cannot see, and a worker
// posting events writes Qt's own event queue; here the worker touches
// nothing of Qt's, and every edge of the hand-off is one ThreadSanitizer
// sees.
//
// The window thread is the thread that made the object (after the
// application object); calls run there in the order they were handed over,
// from its event loop (so also inside modal loops and QEventLoops). The
// object must outlive every thread that hands it calls: its owner joins them
// before deleting it.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

#include "base/mutex.h"

class QSocketNotifier;

namespace frontend {

class WindowCaller : public QObject {
 public:
  explicit WindowCaller(QObject* parent = nullptr);
  // Calls not yet run are dropped.
  ~WindowCaller() override;

  // Runs `call` on the window thread and returns once it has run; on the
  // window thread itself it runs at once. From a worker it waits until the
  // window thread's event loop has reached the call.
  void Call(const std::function<void()>& call);
  // Queues `call` for the window thread and returns at once.
  void Post(std::function<void()> call);
  // Runs `call` at once on the window thread, else queues it (Post). For
  // events whose senders never wait for them.
  void Deliver(std::function<void()> call);
  // Window thread: runs the calls queued so far now, oldest first, instead
  // of at the event loop's next turn.
  void RunPending() { RunQueued(); }

 private:
  struct Queued {
    std::function<void()> call;
    bool* done = nullptr;  // the waiting worker's flag; null for a posted call
  };
  void Enqueue(Queued queued);
  // Window thread: runs the queued calls, oldest first.
  void RunQueued();

  const std::thread::id window_thread_;
  const int wake_fd_;  // an eventfd; -1 if none could be made
  QSocketNotifier* notifier_ = nullptr;
  jukepak::Mutex mutex_;
  std::condition_variable ran_;
  std::deque<Queued> queue_ GUARDED_BY(mutex_);  // the done flags too
};

}  // namespace frontend
