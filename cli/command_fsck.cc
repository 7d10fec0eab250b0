// fsck [-n | -y] [--reinit]: the checker's engine for terminals and scripts,
// after the conventions of fsck. It prints the report lines as Volmend's list
// shows them (progress goes to stderr on a terminal), then repairs:
//   -n        checks only and writes nothing;
//   -y        repairs without asking (so does the global --yes);
//   neither   on a terminal, asks once the check has shown what it found;
//   --reinit  allows writing a fresh, empty volume over a header beyond
//             repair, after its own confirmation (or -y).
// Exit status as e2fsck's: 0 nothing found; 1 errors found and repaired;
// 4 errors found and left; 8 operational error (no driver, a communications
// failure); 16 usage error; 32 cancelled by Ctrl-C, which stops the check at
// its next stop check, between two written steps.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "base/latin1.h"
#include "checker/check_run.h"
#include "cli/commands.h"
#include "driver/driver_module.h"
#include "driver/image_file.h"
#include "volume/driver_device.h"

namespace songlift::cli {
namespace {

constexpr int kFsckClean = 0;
constexpr int kFsckRepaired = 1;
constexpr int kFsckLeft = 4;
constexpr int kFsckOperational = 8;
constexpr int kFsckUsage = 16;
constexpr int kFsckCancelled = 32;

using jukepak::checker::CheckOutcome;
using jukepak::checker::Notice;
using jukepak::checker::RepairDecision;

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// Ctrl-C sets a flag for the stop check instead of killing the program, so a
// repair ends between two written steps. Without SA_RESTART a question
// waiting for its answer returns at once.
class InterruptCatcher {
 public:
  InterruptCatcher() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptCatcher() { sigaction(SIGINT, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

struct FsckOptions {
  bool checkOnly = false;
  bool yes = false;
  bool reinit = false;
};

class TerminalConsole : public jukepak::checker::CheckConsole {
 public:
  TerminalConsole(const CliContext& context, const FsckOptions& options)
      : context_(context), options_(options), progress_(isatty(STDERR_FILENO) != 0) {}

  ~TerminalConsole() override { ClearProgress(); }

  void ListLine(const std::string& line) override {
    ClearProgress();
    context_.Out(jukepak::Utf8FromLatin1(line) + "\n");
    std::fflush(stdout);
  }
  void TitleLine(const std::string& line) override {
    if (!progress_) return;
    std::fprintf(stderr, "\r%s\033[K", jukepak::Utf8FromLatin1(line).c_str());
    std::fflush(stderr);
    progress_shown_ = true;
  }
  bool StopRequested() override { return g_interrupted != 0; }
  void OfferRepair() override {}

  RepairDecision AwaitRepair(bool reinitialize) override {
    ClearProgress();
    if (g_interrupted != 0) return RepairDecision::kStop;
    if (options_.checkOnly) return RepairDecision::kLeave;
    if (reinitialize) {
      if (options_.reinit) return RepairDecision::kRepair;
      std::fputs(
          "songlift-cli: the volume header is beyond repair; 'songlift-cli fsck --reinit' "
          "writes a new, empty volume\n",
          stderr);
      return RepairDecision::kLeave;
    }
    if (options_.yes) return RepairDecision::kRepair;
    return Ask("Repair the volume?") ? RepairDecision::kRepair
           : g_interrupted != 0      ? RepairDecision::kStop
                                     : RepairDecision::kLeave;
  }

  bool ConfirmReinitialize() override {
    if (options_.yes) return true;
    std::string question = jukepak::checker::kReinitializeQuestion;
    question.pop_back();  // Ask puts its prompt right after the text
    return Ask(question);
  }

  void ShowNotice(Notice notice) override {
    ClearProgress();
    if (notice == Notice::kCommunicationsError || notice == Notice::kReinitializeFailed) {
      std::fprintf(stderr, "songlift-cli: %s\n", jukepak::checker::NoticeText(notice));
    } else {
      context_.Out(std::string(jukepak::checker::NoticeText(notice)) + "\n");
      std::fflush(stdout);
    }
  }

 private:
  // Asks on the terminal. The answer is waited for in short polls, so a
  // Ctrl-C is seen even when it comes before the read begins.
  bool Ask(const std::string& question) {
    if (isatty(STDIN_FILENO) == 0) {
      std::fputs("songlift-cli: no terminal to ask on; nothing was changed (-y repairs)\n", stderr);
      return false;
    }
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    for (;;) {
      if (g_interrupted != 0) {
        std::fputs("\n", stderr);
        return false;
      }
      pollfd input{STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&input, 1, 100);
      if (ready > 0) break;
      if (ready < 0 && errno != EINTR) return false;
    }
    std::string answer;
    if (!std::getline(std::cin, answer) || g_interrupted != 0) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  }
  void ClearProgress() {
    if (!progress_shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    progress_shown_ = false;
  }

  const CliContext& context_;
  const FsckOptions& options_;
  bool progress_;
  bool progress_shown_ = false;
};

int ParseOptions(const CliContext& context, FsckOptions* options) {
  options->yes = context.options().yes;
  for (const std::string& arg : context.args()) {
    if (arg == "-n") {
      options->checkOnly = true;
    } else if (arg == "-y" || arg == "--yes") {
      options->yes = true;
    } else if (arg == "--reinit") {
      options->reinit = true;
    } else {
      context.Usage("fsck: unknown option '" + arg + "'");
      return kFsckUsage;
    }
  }
  if (options->checkOnly && options->yes) {
    context.Usage("fsck: -n and -y exclude each other");
    return kFsckUsage;
  }
  if (context.options().json) {
    context.Usage("fsck prints no JSON");
    return kFsckUsage;
  }
  return kFsckClean;
}

// Loads the driver the options name and refuses one that lacks any of the
// nine entry points. kFsckClean, or kFsckOperational after saying why.
int LoadDriver(const CliContext& context, std::unique_ptr<jukepak::DriverModule>* module) {
  if (!context.options().image.empty()) setenv("JUKEPAK_IMAGE", context.options().image.c_str(), 1);
  std::string error;
  const std::string path = context.DriverPath(&error);
  if (path.empty()) {
    context.Fail(error);
    return kFsckOperational;
  }
  const jukepak::Result loaded = jukepak::DriverModule::Load(path, module);
  if (!loaded.ok()) {
    context.Fail(loaded.message());
    return kFsckOperational;
  }
  const std::string missing = (*module)->FirstMissingEntry();
  if (!missing.empty()) {
    context.Fail("Can't locate DLL function: " + missing);
    return kFsckOperational;
  }
  return kFsckClean;
}

int ExitStatus(CheckOutcome outcome) {
  if (g_interrupted != 0 && outcome == CheckOutcome::kLeft) return kFsckCancelled;
  switch (outcome) {
    case CheckOutcome::kClean:
      return kFsckClean;
    case CheckOutcome::kRepaired:
    case CheckOutcome::kReinitialized:
      return kFsckRepaired;
    case CheckOutcome::kLeft:
      return kFsckLeft;
    case CheckOutcome::kCommunicationsError:
    case CheckOutcome::kReinitializeFailed:
      return kFsckOperational;
    case CheckOutcome::kCancelled:
      return kFsckCancelled;
  }
  return kFsckOperational;
}

}  // namespace

int RunFsck(CliContext& context) {
  FsckOptions options;
  int status = ParseOptions(context, &options);
  if (status != kFsckClean) return status;
  std::unique_ptr<jukepak::DriverModule> module;
  status = LoadDriver(context, &module);
  if (status != kFsckClean) return status;

  InterruptCatcher interrupts;
  jukepak::DriverDevice device(std::move(module));
  CheckOutcome outcome = CheckOutcome::kCommunicationsError;
  {
    TerminalConsole console(context, options);
    outcome = jukepak::checker::RunCheck(device, console);
  }
  device.Close();
  if (outcome == CheckOutcome::kCommunicationsError && !context.options().image.empty()) {
    std::unique_ptr<jukepak::ImageFile> image;
    const jukepak::Result opened = jukepak::ImageFile::Open(context.options().image, &image);
    if (!opened.ok()) context.Fail(opened.message());
  }
  const int exit_status = ExitStatus(outcome);
  if (exit_status == kFsckCancelled) std::fputs("songlift-cli: fsck cancelled\n", stderr);
  return exit_status;
}

}  // namespace songlift::cli
