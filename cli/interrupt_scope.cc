#include "cli/interrupt_scope.h"

#include <atomic>

namespace songlift::cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;
std::atomic<void (*)(void*)> g_hook{nullptr};
std::atomic<void*> g_hook_arg{nullptr};
static_assert(std::atomic<void (*)(void*)>::is_always_lock_free &&
                  std::atomic<void*>::is_always_lock_free,
              "the signal handler reads them");

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
  if (void (*hook)(void*) = g_hook.load()) hook(g_hook_arg.load());
}

}  // namespace

InterruptScope::InterruptScope(void (*hook)(void*), void* arg) {
  g_interrupted = 0;
  g_hook_arg.store(arg);
  g_hook.store(hook);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptScope::~InterruptScope() {
  sigaction(SIGINT, &previous_, nullptr);
  g_hook.store(nullptr);
  g_hook_arg.store(nullptr);
}

bool InterruptScope::Interrupted() { return g_interrupted != 0; }

}  // namespace songlift::cli
