// InterruptScope: Ctrl-C for the life of the object. SIGINT no longer ends
// the program; it sets a flag that the work in hand polls (and, if given,
// calls a hook), so that a sync or a repair stops between two written steps
// instead of in the middle of one.
//
// The handler is installed without SA_RESTART, so a read waiting for an
// answer returns at once. The previous handler comes back when the scope
// ends. One scope at a time, on the main thread.
#pragma once

#include <signal.h>

namespace songlift::cli {

class InterruptScope {
 public:
  // `hook(arg)` runs inside the signal handler on each Ctrl-C: it may only
  // store lock-free atomics (PlayerVolume::RequestCancel does).
  explicit InterruptScope(void (*hook)(void*) = nullptr, void* arg = nullptr);
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // True once Ctrl-C was pressed within the scope (and until the next one begins).
  static bool Interrupted();

 private:
  struct sigaction previous_ {};
};

}  // namespace songlift::cli
