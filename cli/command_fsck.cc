// fsck [-n | -y] [--reinit] [--undo FILE]: the checker's engine for
// terminals and scripts, after the conventions of fsck. It prints the report
// lines as Volmend's list shows them (progress goes to stderr on a terminal),
// then repairs:
//   -n           checks only and writes nothing;
//   -y           repairs without asking (so does the global --yes);
//   neither      on a terminal, asks once the check has shown what it found;
//   --reinit     allows writing a fresh, empty volume over a header beyond
//                repair, after its own confirmation (or -y);
//   --undo FILE  keeps an undo file of every sector the repair overwrites
//                ('songlift-cli undo FILE' puts them back).
// With --json the report lines and notices are gathered into one document
// with the outcome instead (see README).
// Exit status as e2fsck's: 0 nothing found; 1 errors found and repaired;
// 4 errors found and left; 8 operational error (no driver, a communications
// failure); 16 usage error; 32 cancelled by Ctrl-C, which stops the check at
// its next stop check, between two written steps.

#include <poll.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "checker/check_run.h"
#include "cli/commands.h"
#include "cli/fsck_exit_status.h"
#include "cli/interrupt_scope.h"
#include "cli/undo_session.h"

namespace songlift::cli {
namespace {

using jukepak::checker::CheckOutcome;
using jukepak::checker::Notice;
using jukepak::checker::RepairDecision;

struct FsckOptions {
  bool checkOnly = false;
  bool yes = false;
  bool reinit = false;
  std::string undoFile;
};

class TerminalConsole : public jukepak::checker::CheckConsole {
 public:
  TerminalConsole(const CliContext& context, const FsckOptions& options)
      : context_(context), options_(options), progress_(isatty(STDERR_FILENO) != 0) {}

  ~TerminalConsole() override { ClearProgress(); }

  void ListLine(const std::string& line) override {
    ClearProgress();
    report_.append(QString::fromStdString(line));
    context_.Out(line + "\n");
  }
  void TitleLine(const std::string& line) override {
    if (!progress_) return;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    progress_shown_ = true;
  }
  // Every problem, for --json, with the pass that raised it.
  void Found(const jukepak::checker::Finding& finding) override {
    char code[8];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(finding.problem));
    std::string text = finding.text;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    findings_.append(QJsonObject{{"pass", repair_pass_ ? "repair" : "check"},
                                 {"code", code},
                                 {"name", jukepak::checker::DescribeProblem(finding.problem).name},
                                 {"text", QString::fromStdString(text)}});
    CheckConsole::Found(finding);
  }
  bool StopRequested() override { return InterruptScope::Interrupted(); }
  void OfferRepair(bool) override {}

  RepairDecision AwaitRepair(bool reinitialize) override {
    ClearProgress();
    RepairDecision decision = Decide(reinitialize);
    // Asked only now, so that a read-only image is still checked in full.
    if (decision == RepairDecision::kRepair && !context_.WriteAllowed()) {
      decision = RepairDecision::kLeave;
    }
    repair_pass_ = decision == RepairDecision::kRepair;
    return decision;
  }

  bool ConfirmReinitialize() override {
    if (options_.yes) return true;
    std::string question = jukepak::checker::kReinitializeQuestion;
    question.pop_back();  // Ask puts its prompt right after the text
    return Ask(question);
  }

  void ShowNotice(Notice notice) override {
    ClearProgress();
    const char* text = jukepak::checker::NoticeText(notice);
    notices_.append(QString::fromUtf8(text));
    if (notice == Notice::kCommunicationsError || notice == Notice::kReinitializeFailed ||
        notice == Notice::kDriveTooSmall) {
      context_.Fail(text);
    } else {
      context_.Out(std::string(text) + "\n");
    }
  }

  // Takes the progress line off the terminal.
  void ClearProgress() {
    if (!progress_shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    progress_shown_ = false;
  }

  // What --json prints: the report's lines, the problems and the notices,
  // in order.
  const QJsonArray& report() const { return report_; }
  const QJsonArray& findings() const { return findings_; }
  const QJsonArray& notices() const { return notices_; }

 private:
  RepairDecision Decide(bool reinitialize) {
    if (InterruptScope::Interrupted()) return RepairDecision::kStop;
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
    return Ask("Repair the volume?")       ? RepairDecision::kRepair
           : InterruptScope::Interrupted() ? RepairDecision::kStop
                                           : RepairDecision::kLeave;
  }

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
      if (InterruptScope::Interrupted()) {
        std::fputs("\n", stderr);
        return false;
      }
      pollfd input{STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&input, 1, 100);
      if (ready > 0) break;
      if (ready < 0 && errno != EINTR) return false;
    }
    std::string answer;
    if (!std::getline(std::cin, answer) || InterruptScope::Interrupted()) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  }

  const CliContext& context_;
  const FsckOptions& options_;
  bool progress_;
  bool progress_shown_ = false;
  bool repair_pass_ = false;
  QJsonArray report_;
  QJsonArray findings_;
  QJsonArray notices_;
};

int ParseOptions(const CliContext& context, FsckOptions* options) {
  options->checkOnly = context.flag("n");
  options->yes = context.options().yes;
  options->reinit = context.flag("reinit");
  options->undoFile = context.value("undo");
  if (options->checkOnly && options->yes) {
    context.Usage("fsck: -n and -y exclude each other");
    return kFsckUsage;
  }
  if (options->checkOnly && !options->undoFile.empty()) {
    context.Usage("fsck: -n writes nothing, so it keeps no undo file");
    return kFsckUsage;
  }
  return kFsckClean;
}

// Binds the driver the options name and refuses one that lacks any of the
// nine entry points. kFsckClean, or kFsckOperational after saying why.
int LoadDriver(const CliContext& context, std::unique_ptr<jukepak::DriverDevice>* device) {
  CliContext::DriverBinding binding;
  const jukepak::Result bound = context.BindDriverModule(jukepak::RequiredEntries::kAll, &binding);
  if (!bound.ok()) {
    // Volmend's words for a module without one of the nine.
    context.Fail(binding.missingEntry.empty()
                     ? bound.message()
                     : "Can't locate DLL function: " + binding.missingEntry);
    return kFsckOperational;
  }
  *device = std::move(binding.device);
  return kFsckClean;
}

// Each outcome with its name in --json and its exit status.
struct OutcomeReport {
  CheckOutcome outcome;
  const char* name;
  int exitStatus;
};

constexpr OutcomeReport kOutcomeReports[] = {
    {CheckOutcome::kClean, "clean", kFsckClean},
    {CheckOutcome::kRepaired, "repaired", kFsckRepaired},
    {CheckOutcome::kReinitialized, "reinitialized", kFsckRepaired},
    {CheckOutcome::kLeft, "left", kFsckLeft},
    {CheckOutcome::kCommunicationsError, "communicationsError", kFsckOperational},
    {CheckOutcome::kReinitializeFailed, "reinitializeFailed", kFsckOperational},
    {CheckOutcome::kCancelled, "cancelled", kFsckCancelled},
    {CheckOutcome::kDriveTooSmall, "driveTooSmall", kFsckOperational},
};

// A run left because Ctrl-C came at the question counts as cancelled.
OutcomeReport ReportOf(CheckOutcome outcome) {
  if (InterruptScope::Interrupted() && outcome == CheckOutcome::kLeft)
    outcome = CheckOutcome::kCancelled;
  for (const OutcomeReport& report : kOutcomeReports) {
    if (report.outcome == outcome) return report;
  }
  return {outcome, "communicationsError", kFsckOperational};
}

}  // namespace

int RunFsck(CliContext& context) {
  FsckOptions options;
  int status = ParseOptions(context, &options);
  if (status != kFsckClean) return status;
  std::unique_ptr<jukepak::DriverDevice> device;
  status = LoadDriver(context, &device);
  if (status != kFsckClean) return status;

  InterruptScope interrupts;
  std::unique_ptr<UndoSession> undo;
  if (!options.undoFile.empty() &&
      UndoSession::Start(context, options.undoFile, "songlift-cli fsck", device.get(), &undo) !=
          kExitOk) {
    return kFsckOperational;
  }
  TerminalConsole console(context, options);
  const CheckOutcome outcome =
      jukepak::checker::RunCheck(undo ? undo->device() : *device, console);
  console.ClearProgress();
  if (undo) (void)undo->Finish(context);
  device->Close();
  const OutcomeReport report = ReportOf(outcome);
  if (report.exitStatus == kFsckCancelled) context.Fail("fsck cancelled");
  context.OutJson(QJsonObject{{"outcome", report.name},
                              {"exitStatus", report.exitStatus},
                              {"report", console.report()},
                              {"findings", console.findings()},
                              {"notices", console.notices()}});
  return report.exitStatus;
}

}  // namespace songlift::cli
